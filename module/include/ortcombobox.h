#pragma once
// COrtComboBox: the combo box in which the user picks a place (postcode and locality) by typing.
// Every change of the edit text restarts a search on a worker thread; the worker reads view_Ort
// with its own connection and hands each row to the GUI thread, which adds it to the list, so the
// rows appear as they arrive while the user goes on typing. Five columns: postcode, place,
// municipality, canton and the hidden text column; each item's data is the place's lOrtID.
// A place typed in full is the place chosen: when the user leaves the field or closes the list
// without picking a row, a text that is exactly one place's text (its name with or without postcode
// and canton), or that the list narrowed to one row, picks that row (once the search for the text
// has ended; a save waits for that end, see PickTypedPlace). One search lists at most kMaxPlaces.
// The parent hears every change of the text (CBN_EDITCHANGE) as well.
// The window never waits for its worker: what the worker uses lives in a state of its own; as the
// window goes it stops the worker, cancels its statement and leaves it to CLeftWorkers, and the
// worker's rows and failures then go nowhere. A failure of the worker is shown by the window.
#include "multicombobox.h"
#include "qvadoconnection.h"
#include "qvdatalogger.h"
#include "qvrowhandoff.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class COrtComboBox : public CMultiComboBox {
    DECLARE_DYNAMIC(COrtComboBox)
public:
    COrtComboBox();
    ~COrtComboBox() override;

    // Sets up the columns and the fixed part of the search (with bTypFilter: places of kinds 1
    // and 2 only).
    void BuildFilter(BOOL bTypFilter);
    // Empties the list and adds the place's single row; an unknown id leaves it empty.
    HRESULT SetOrtID(long lOrtID);

    // Whether the user typed a text that no row was picked for yet.
    BOOL HasTypedText() const { return m_bTypedText; }
    // What the pick of a typed text came to.
    enum class EPick { Picked, NamesNone, Pending };
    // Picks the row the typed text names (see above) from the rows of the list and tells the parent
    // as a pick from the list does (CBN_SELCHANGE); nothing is read here. While the rows of the text
    // are still coming the pick follows when they are all in (Pending). With bForSave the parent
    // is then told CBN_PLACESREAD, so that the save that waits for the place goes on, and a search
    // that ended on a failure is started again; new typing, SetOrtID, ShowPlace, a failure of the
    // search (shown once, by this window) or the window's end take that back. Picked is also the
    // answer when nothing was typed and a row is chosen.
    EPick PickTypedPlace(BOOL bForSave);
    // The parent's notification (WM_COMMAND) that the rows a save waited for are in.
    static constexpr UINT CBN_PLACESREAD = 0x0F01;
    // The parent's notification (WM_COMMAND) that a save began or ended waiting for the rows (see
    // IsSaveWaiting); the wait cursor is shown meanwhile.
    static constexpr UINT CBN_SAVEWAIT = 0x0F02;
    // The parent's notification (WM_COMMAND) that the search a save waited for failed, before the
    // failure is shown: the parent may give the report's first line (SetFailureHeadline).
    static constexpr UINT CBN_SAVEFAILED = 0x0F03;
    void SetFailureHeadline(const CString& strLine) { m_strFailureHeadline = strLine; }
    // A save waits for the rows of the typed text.
    BOOL IsSaveWaiting() const { return m_bSaveWaiting || m_bSaveReady; }
    // The row the typed text names: exactly one row with that text (the place's name, with or
    // without postcode and canton; blanks and case do not count), else the only row of the list;
    // -1 none.
    int FindTypedRow() const;
    // Shows the place again as SetOrtID shows it, from the row this box read or picked for it (no
    // statement); FALSE when it knows none (the list is then empty). Typing and a search still
    // running are dropped.
    BOOL ShowPlace(long lOrtID);
    // The most places one search lists: the statement stops there, however many places hold the
    // typed words.
    static constexpr int kMaxPlaces = 500;

    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    // Return in the field with the list closed takes the typed place too.
    BOOL PreTranslateMessage(MSG* pMsg) override;

    // pParam: a std::shared_ptr<LoaderState>* made for the thread (taken over).
    static UINT LoaderThreadProc(LPVOID pParam);

    // The condition the worker's statement is built from (for the word rules).
    static CString BuildSearchCondition(const CString& strFilter, const CString& strText);

protected:
    afx_msg void OnDestroy();
    afx_msg LRESULT OnPlacesArrived(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnLoaderFailed(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnSaveReady(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

    enum EColumn { eColPLZ, eColOrt, eColGemeinde, eColKanton, eColText, eColCount };
    // A row (or, with bEnd, the end of the rows) of one search, on its way to the GUI thread.
    struct PlaceRow {
        long lSearch = 0;
        bool bEnd = false;
        long lOrtID = 0;
        CString strColumns[eColCount];
    };

    // What the worker uses: shared by the window and the worker, and left with the worker when
    // the window goes.
    struct LoaderState {
        LoaderState();
        ~LoaderState();
        HANDLE hWake = nullptr;  // manual reset: new typing, or the stop
        std::atomic<BOOL> bStop{FALSE};
        std::atomic<BOOL> bTextChanged{TRUE};
        std::atomic<bool> bEnded{false};  // the worker left its loop (its failure, if any, is set)
        std::mutex lock;         // guards what follows
        CString strFilter;
        CString strSearchText;   // the edit text of the latest change
        long lSearch = 0;        // counts the changes; rows of an older search are dropped
        long lSettled = -1;      // the search whose rows the window no longer takes (SetOrtID came)
        HWND hWnd = nullptr;     // the window told of a failure; none once it goes
        bool bFailed = false;    // a failure waits for the window
        long hrFailure = S_OK;
        CString strFailure;
        // Rows on their way to the GUI thread, taken there in slices of a few milliseconds.
        CQvRowHandoff<PlaceRow> handoff;
        // The worker's connection while open (for the cancel).
        std::mutex connLock;
        CQvADOConnection* pConn = nullptr;
        void Cancel();
        // Worker: the row goes to the window unless a newer search or the window's own reading
        // of the places replaced its search.
        void HandOver(PlaceRow row);
    };
    static void LoadPlaces(LoaderState& state);

    void StopLoader();
    // The worker left its loop (on a failure) or never started: no search of it ends any more.
    BOOL WorkerEnded() const;
    void SelectTypedRow(int nItem);
    // The rows of the list as the worker hands them (for the pick of the typed text).
    void ListRows(std::vector<PlaceRow>& rows) const;
    static int FindTypedRow(const CString& strTyped, const std::vector<PlaceRow>& rows);
    // GUI thread: the list emptied and the search of the edit text handed to the worker (a new one
    // when the last ended).
    void SearchEditText();
    // GUI thread: the rows of the running search go nowhere; the list is what the caller puts in.
    void SettleSearch();
    // GUI thread: a row put into the list as SetOrtID puts it.
    void ShowRow(const PlaceRow& row);
    // GUI thread: the row of a place set or picked, for ShowPlace.
    void NoteChosenRow(const PlaceRow& row);
    PlaceRow RowAt(int nItem) const;
    // GUI thread: one row (or the end) taken from the hand-off.
    void TakeRow(const PlaceRow& row, long lSearch);
    // GUI thread: the wait cursor follows IsSaveWaiting; the parent is told of a change (bTell).
    void FollowSaveWait(BOOL bTell = TRUE);

    CWinThread* m_pLoaderThread = nullptr;
    std::shared_ptr<LoaderState> m_pState = std::make_shared<LoaderState>();
    CQvDataLogger m_DataLogger{L"Qovaro.Ostrel.Ort"};
    bool m_bRowsAdded = false;  // the slice added rows: the list is fitted once at its end

    BOOL m_bTypedText = FALSE;      // typed since the last pick or SetOrtID
    BOOL m_bPickPending = FALSE;    // the user left the field before the search of the text ended
    BOOL m_bClosingOwnList = FALSE; // the list is closed for new typing, not by the user
    BOOL m_bSaveWaiting = FALSE;    // a save waits for the rows of the typed text
    BOOL m_bSaveReady = FALSE;      // ... which are in: the parent is told in a turn of its own
    CString m_strFailureHeadline;   // the first line of the next failure's report, for once
    BOOL m_bWaitShown = FALSE;      // the wait cursor is shown for the save that waits
    std::vector<PlaceRow> m_chosenRows;  // the places set or picked in this box (a few)
    HANDLE m_hSearchEnded = nullptr;  // set while the rows of the latest text are all in the list
};
