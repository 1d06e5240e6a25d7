#pragma once
// CSearchDlg: the search form that every "find a record" function uses, embedded by a host (the
// search popup or the search tab). While the user types, the dialog's worker runs the variant's
// statement and hands the rows to the GUI thread, which shows them as they come; a new keystroke
// abandons the running search at the next row, and one that finds the worker inside a statement
// it cannot leave at once is searched by another worker meanwhile. The window closes without
// waiting for such a statement: its worker ends by itself afterwards. On OK the host collects the
// chosen ids.
// The class is abstract: one variant per searched table supplies columns, statement and rows.
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvbuttons.h"
#include "qvdialog.h"
#include "qvlayout.h"
#include "qvlistctrl.h"
#include "qvrowhandoff.h"
#include "menu.h"
#include "optionserver.h"
#include "sync.h"
#include "thread.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

// Article types; the article search defines the values.
enum EArtikelTyp : LONG;

// Messages from the worker to the dialog (GUI thread). wParam: the search's number.
#define WM_SEARCH_BEGIN (WM_APP + 0x310)   // a new search starts
#define WM_SEARCH_ROW (WM_APP + 0x311)     // lParam: std::vector of filled items made by QvCreateItem (taken over)
#define WM_SEARCH_END (WM_APP + 0x312)     // lParam: 1 when the limit cut the result
#define WM_SEARCH_FAILED (WM_APP + 0x313)  // lParam: CString* with the error text (taken over)
// The four above are queued as they come and taken in slices of a few milliseconds, in order.
#define WM_SEARCH_TAKE (WM_APP + 0x314)

class CSearchDlg : public CQvDialog {
    DECLARE_DYNAMIC(CSearchDlg)
public:
    CSearchDlg(CString strListKey, CWnd* pParent = nullptr);
    ~CSearchDlg() override;

    // Appends a JOIN text and a WHERE condition to the statement; calls accumulate.
    void AddFilter(CString strJoin, CString strWhere);
    // Reads the active Mandant (and, when not embedded, the Mandant-filter option) and starts a
    // new search.
    void Refresh();
    // Fills the result arrays from the selected and the checked rows.
    void CollectSelection();

    // The variant contract.
    virtual void SetupColumns() = 0;
    virtual HRESULT BuildQuery(CString strSearchText, CString& strQuery) = 0;
    virtual HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) = 0;
    virtual void CollectSelectedItem(CQvListItem* pItem);
    virtual void CollectCheckedItem(CQvListItem* pItem);

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    void OnOK() override;
    void OnCancel() override;

    // True while a search is running (the worker has not finished it yet).
    // True from a search request until its rows are all shown.
    BOOL IsSearching() const { return m_nRequested.load() != m_nFinished.load(); }
    // Options and rights a variant's statement reads, named in its constructor: the worker reads
    // them for each search before it takes its gate (a read may wait on a lock or on a server, and
    // the window's close never waits for one), and the statement builder is answered from there.
    void ReadAheadOption(long lArea, const wchar_t* lpszName, long lLookup = 1, long lScope = 0);
    void ReadAheadRights(const wchar_t* lpszFunction);
    // In a statement builder: the option server answers what the worker read ahead (an option
    // not named is asked of the server itself); the rights of a function likewise.
    static void AnswerFromReadAhead(COptionServer& opt);
    static DWORD ReadAheadRightsOf(const wchar_t* lpszFunction);

    // Waits for the end of the workers that closed windows left behind (each is cancelled
    // again meanwhile), before a database they may use goes.
    static void WaitForLeftWorkers();
    // The same at the program's end, at most dwMilliseconds; TRUE when none runs any more.
    static BOOL EndLeftWorkers(DWORD dwMilliseconds);
    // For tests: runs in a worker's cancel between finding the search it was sent for still served
    // and the interrupt of its statement.
    static std::function<void()> beforeInterrupt;

    CEdit m_edtSearch;
    CQvListCtrl m_lstResult;
    CQvListCtrl m_lstSpare;
    CQvBitmapButton m_btnFilter;
    CQvMenuButton m_btnMenu;
    std::vector<long> m_arSelectedIDs;
    std::vector<long> m_arSelectedIDs2;
    std::vector<long> m_arCheckedIDs;
    std::unordered_set<long> m_mapKeptIDs;
    BOOL m_bMultiSelect = FALSE;
    BOOL m_bSortList = TRUE;
    BOOL m_bAutoSearch = TRUE;
    BOOL m_bCaseSensitive = FALSE;
    BOOL m_bEmbedded = FALSE;
    BOOL m_bApplyMandantFilter = FALSE;
    BOOL m_bCustFieldsUsed = FALSE;
    BOOL m_bShowMenu = FALSE;
    CMenu m_menuNew;
    CImageList m_imgList;
    long m_lCurrentID = 0;
    long m_lSelectID = 0;
    CWnd* m_pHost = nullptr;
    UINT m_nCaptionID = 12000;
    long m_lTableID = 0;
    std::atomic<long> m_lActMandantID{0};
    CString m_strListKey;
    CString m_strSearchText;
    CString m_strSecTableID;
    CString m_strJoin = L" ";
    CString m_strWhere = L" WHERE ";
    DWORD m_dwRightMask = 1;
    std::vector<EArtikelTyp> m_arSelectedTypes;
    std::vector<EArtikelTyp> m_arCheckedTypes;
    // The workers end (the window goes).
    std::atomic<BOOL> m_bStop{FALSE};
    CQvLayoutFactory m_Layout;

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    afx_msg void OnSearchChanged();
    afx_msg void OnDblClkList(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnFilter();
    afx_msg void OnNewContact();
    afx_msg void OnDestroy();
    afx_msg LRESULT OnSearchBegin(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnSearchRow(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnSearchEnd(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnSearchFailed(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnSearchTake(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

    // For the variants' statements: the words of the search text with apostrophes doubled and
    // blanks dropped (empty words left out); whether a list column is shown (width above 0) as
    // it was when the search was asked for; the closing of a word condition.
    static std::vector<CString> SplitWords(const CString& strSearchText);
    BOOL IsColumnVisible(int nColumn) const;
    CString WordClosing() const;
    // The case option of the search being built.
    BOOL IsCaseSensitiveSearch() const { return m_bWorkerCase; }
    // The logged-in user's id (0 when the security server does not name one); read ahead on a
    // worker.
    static long CurrentUserID();
    // The result list's columns, their widths remembered under the variant's list key, and the
    // pictures of its rows (nImagesID 0: none).
    void InsertResultColumns(int nCount, UINT nColumnsID, const int* types, const int* widths, UINT nImagesID = 0,
                             const int* toolTipModes = nullptr);

public:
    // What a worker reads ahead, and its answers.
    struct ReadAhead {
        struct Option {
            long lArea = 0;
            CString strName;
            long lLookup = 1;
            long lScope = 0;
            long hr = E_FAIL;
            COleVariant value;
        };
        struct Rights {
            CString strFunction;
            DWORD dwRights = 0;
        };
        std::vector<Option> options;
        std::vector<Rights> rights;
        long lUserID = 0;
        // Reads them all anew (the worker, outside its gate).
        void Read();
    };

private:
    ReadAhead m_readAhead;  // what the variant named (GUI thread, before the first worker starts)
    // A worker thread with a connection of its own. The newest request goes to the current
    // worker when it waits for one. A worker still busy with an older search (building its
    // statement, or inside the database's preparing or stepping of it, which a cancel does not
    // always reach) is given up instead: it ends that call where it must, hands over nothing more
    // and waits for a later request, while a waiting worker, or a new one, searches at once.
    // A worker uses the window only while it holds its gate; it lets go of it for each call into
    // the database. A window that closes while a worker is still inside such a call does not wait
    // for it: the worker is left behind (bLeft), ends the call where it must, closes its
    // connection and ends without touching the window again. Under the gate a worker only fills
    // and hands over rows and builds statements: nothing there waits on a server or on the GUI
    // thread (the options and rights of a statement are read ahead outside it, and a database
    // failure reported on the worker's thread is posted to the window), so a close that takes the
    // gate has it at once.
    struct SearchWorker : std::enable_shared_from_this<SearchWorker> {
        CSearchDlg* pDlg = nullptr;         // under gate, while not bLeft
        HWND hWnd = nullptr;                // the window's, for reports outside the gate
        CWinThread* pThread = nullptr;
        HANDLE hEvent = nullptr;            // manual reset: a request for it, or the end
        std::atomic<BOOL> bRestart{FALSE};  // what it does is no longer wanted
        // Under m_runningLock:
        bool bBusy = false;                  // at work on a search; else waiting for a request
        bool bGone = false;                  // ended early (no connection): takes no request
        // Under gate:
        std::mutex gate;
        bool bLeft = false;                  // the window went: it is not to be touched
        std::vector<CQvListItem*> batch;     // rows made and not yet handed to the window
        // Under connLock: its connection while open.
        std::mutex connLock;
        CQvADOConnection* pConn = nullptr;
        // Its own copy of what the variant reads ahead, read by it alone.
        ReadAhead readAhead;
        // The search it serves (its number; 0 before the first): changed under connLock too, so
        // that a cancel finds it unchanged until its interrupt is made.
        std::atomic<long> nServing{0};
        // Its statement is ended where a cancel reaches it: that of search nSearch only (a cancel
        // sent late never ends a later search of the worker), or whatever it runs (0).
        void Cancel(long nSearch = 0);
        ~SearchWorker();
    };
    static UINT WorkerProc(LPVOID pParam);
    // The worker's life, from the first time it holds its gate (gate) while the window is there.
    void Work(SearchWorker& worker, std::unique_lock<std::mutex>& gate);
    // GUI thread, under m_runningLock: a new worker, started; nullptr when no thread can be had.
    SearchWorker* StartWorker();
    // GUI thread: every worker told to end, its statement cancelled, and those still running
    // left behind, without waiting for any.
    void StopWorkers();
    // The workers that windows left behind, until they end (dwWaitMs: waits for all of them so
    // long, cancelling each again meanwhile; 0 takes only those that have ended).
    static void LeaveBehind(std::shared_ptr<SearchWorker> pWorker);
    // TRUE when none runs any more.
    static BOOL ReapLeftWorkers(DWORD dwWaitMs);
    // GUI thread: what the worker reads of the window, taken when a search is asked for.
    void TakeSnapshot();
    void RequestSearch();
    void ShowStatus(UINT nStatusID);
    void KeepCheckedRows();
    // What the worker's messages do, taken from the queue in order.
    struct SearchStep {
        UINT nMessage = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        CQvListItem* pItem = nullptr;  // one row of WM_SEARCH_ROW
    };
    void TakeStep(SearchStep& step);
    // bNow: also when the list was laid out only a moment ago (a long list is laid out anew with
    // each insertion, so rows beyond the first thousands go in a few times a second).
    void InsertTakenRows(bool bNow);
    void DiscardStep(SearchStep& step);
    std::chrono::steady_clock::time_point m_tLastInsert{};
    CQvRowHandoff<SearchStep> m_handoff;
    std::vector<CQvListItem*> m_arrTaken;  // rows of the current slice, inserted together

    mutable std::mutex m_snapshotLock;
    CString m_strSnapshotText;
    BOOL m_bSnapshotCase = FALSE;
    std::vector<int> m_snapshotWidths;
    // The case option of the newest search being built (a given-up build may read a newer one:
    // its rows are dropped).
    std::atomic<BOOL> m_bWorkerCase{FALSE};
    std::atomic<long> m_nRequested{0};  // searches asked for (GUI thread, under m_runningLock)
    std::atomic<long> m_nFinished{0};   // the last request whose search has been shown to its end
    long m_nQuietFailure = 0;  // the first search, when the dialog's start reported the database failing
    long m_nSearch = 0;                 // the request whose rows are shown

    // The workers and which of them serves the newest request; a worker takes a request, and
    // posts its start, under this lock, so a given-up search never takes a newer number.
    std::mutex m_runningLock;
    std::vector<std::shared_ptr<SearchWorker>> m_workers;
    SearchWorker* m_pCurrent = nullptr;
    // One worker at a time fills rows (the variants keep ids of the row being filled): a given-up
    // worker fills none once it knows.
    std::mutex m_rowLock;
};

// The dialog framework's part of a module's DllCanUnloadNow: S_FALSE while its work runs on (a
// worker a closed search left behind) or its objects are in use.
HRESULT NQFrameworkCanUnloadNow();
