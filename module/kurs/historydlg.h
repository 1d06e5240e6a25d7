#pragma once
// CHistoryDlg: the page "Archiv" of the course window. It lists the course's finished
// registrations (older than the archive age, with a final status), read by a loader thread of its
// own that hands the rows to the GUI thread, with the attendances per year in the status line, and
// edits, removes and re-states them through the course API.
#include "kurschilddlg.h"
#include "qvbuttons.h"
#include "qvfobjectfactory.h"
#include "qvlistctrl.h"
#include "qvrowhandoff.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

inline constexpr CLSID CLSID_HistoryDlg = qv::MakeGuid("959604CB-268A-4F6F-9B83-3A02093D2E3C");

class CWinThread;
class CQvADOConnection;

class CHistoryDlg : public CKursChildDlg {
    DECLARE_DYNCREATE(CHistoryDlg)
public:
    CHistoryDlg();
    ~CHistoryDlg() override;

    HRESULT GetClassID(GUID* pClsid) override;
    HRESULT CloseTab() override;
    HRESULT Refresh() override;
    HRESULT SaveData() override;
    HRESULT LoadData() override;
    HRESULT ShowTab(BOOL bShow) override;
    void CreateLayout() override;

    // Wakes the loader for a fresh load (creating it on first use); GUI thread only.
    void StartThread();
    static UINT LoaderThread(LPVOID pParam);
    // The loader's statements: the condition of the course's archived registrations (strLimit: a
    // date literal before which a registration is past the archive age, or empty), and the
    // statement of their rows (strYears: a condition ending in AND that narrows them, or empty).
    static CString ArchivedCondition(long lKursID, const CString& strLimit = CString());
    // The moment the archive age ends now (one row, one date; NULL without an archive age).
    static CString LimitStatement();
    static CString RowsStatement(long lSecUserID, const CString& strArchived, const CString& strYears);
    // Whether a load runs (for callers that wait for its end).
    BOOL IsLoading() const;

    void OnBnEdit();
    void OnBnRemove();
    void OnBnChangeState();

    // Row parameters.
    enum { eParamID = 0, eParamPerson = 1, eParamKursinstanz = 2, eParamStatus = 3, eParamArt = 4, eParamRight = 5 };

    CQvAsyncEventSink m_eventSink;
    CQvListCtrl m_list;
    CQvBitmapButton m_btnRemove;
    CQvBitmapButton m_btnEdit;
    CQvBitmapButton m_btnChangeState;
    CString m_strStatus;
    CImageList m_imageList;
    COLORREF m_colorFemale = 0;
    long m_lArt = 0;
    UINT_PTR m_nStatusTimer = 0;

    class CHistoryDlgFactory : public CQvFObjectFactory {
    public:
        using CQvFObjectFactory::CQvFObjectFactory;
    };

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg LRESULT OnLoaderRows(WPARAM wParam, LPARAM lParam);
    void OnItemChangedList(NMHDR* pNMHDR, LRESULT* pResult);
    void OnDblClkList(NMHDR* pNMHDR, LRESULT* pResult);
    void OnLinkClickList(NMHDR* pNMHDR, LRESULT* pResult);
    DECLARE_MESSAGE_MAP()

    void OnMandantChanged(COleVariant value);
    DECLARE_QVEVENT_MAP()

private:
    // One archive row as plain values; the GUI thread makes its list item.
    struct ArchiveRow {
        long lID = 0, lPersonID = 0, lRun = -1, lStatus = 0, lArt = 0, lRight = 0, lRang = 0;
        int nImage = -1;
        BOOL bWeiblich = FALSE;
        double dtDatum = 0;
        double dblDauer = 0;
        CString strStatus, strDienstgrad, strPerson, strAdresse, strOrt, strKursort, strLeitung, strBemerkung,
            strMandant;
    };
    // What the loader hands to the GUI thread, in order: a new load starts (the list is emptied),
    // a row to show, the load ended (sort, redraw and the summary).
    struct LoaderStep {
        enum Kind { Begin, Row, End } kind = Row;
        ArchiveRow row;
        CString strSummary;
        CString strError;  // the database error of a failed load, shown by the GUI thread
        COLORREF colorFemale = 0;
    };
    // What the loader uses, shared by the window and the loader's thread: a window that closes
    // does not wait for its loader. It stops it, cancels its statement and leaves the thread with
    // this state to CLeftWorkers; from then on the loader's rows, status and failure go nowhere.
    struct Loader {
        HANDLE hEvent = nullptr;  // auto reset: a request, or the stop
        std::atomic<long> lCancel{0};
        std::atomic<long> lStop{0};
        std::atomic<long> lIdle{1};
        // Counts the loads asked for: a load that began before the last request is cancelled,
        // wherever it is, however the cancel request and the load's start meet.
        std::atomic<long> lRequests{0};
        // The count of requests when the last load began: that load serves all of them. A wake-up
        // given for a request it served asks for nothing more, so that any number of requests
        // during a load gives one load after it.
        std::atomic<long> lBegun{0};
        // The course and the colour of women for the load asked for last.
        std::atomic<long> lLoadKursID{0};
        std::atomic<COLORREF> colorLoad{0};
        // Taken on the GUI thread in slices of a few milliseconds.
        CQvRowHandoff<LoaderStep> handoff;
        std::mutex statusLock;
        CString strThreadStatus;
        bool bThreadStatusChanged = false;
        // The loader's connection while it is open.
        std::mutex connLock;
        CQvADOConnection* pConn = nullptr;

        ~Loader();
        // Ends the statement the loader is in, where a cancel reaches it.
        void Cancel();
        // The load that began as request nLoad is to end: a newer request, the cancel request or
        // the stop request.
        bool Cancelled(long nLoad) const {
            return lRequests.load() != nLoad || lCancel.load() != 0 || lStop.load() != 0;
        }
        void SetThreadStatus(const CString& strText);
    };
    // One complete load, on the loader thread.
    static HRESULT LoadList(Loader& loader);
    // GUI thread: stops the loader and leaves it to CLeftWorkers, without waiting for it.
    void LeaveLoader();
    void TakeStep(LoaderStep& step);
    // bNow: also when the list was laid out only a moment ago (a long list is laid out anew with
    // each insertion, so rows beyond the first thousands go in a few times a second).
    void InsertTakenRows(bool bNow);
    std::chrono::steady_clock::time_point m_tLastInsert{};

    std::shared_ptr<Loader> m_pLoader;
    CWinThread* m_pThread = nullptr;
    std::vector<CQvListItem*> m_arrTaken;  // items of the slice, inserted together
    COLORREF m_colorTaken = 0;             // the colour of women of the load being shown
    CString m_strTakenError;               // a failed load's report, shown once its slice is taken
};
