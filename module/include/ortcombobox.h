#pragma once
// COrtComboBox: the combo box in which the user picks a place (postcode and locality) by typing.
// Every change of the edit text restarts a search on a worker thread; the worker reads view_Ort
// with its own connection and hands each row to the GUI thread, which adds it to the list, so the
// rows appear as they arrive while the user goes on typing. Five columns: postcode, place,
// municipality, canton and the hidden text column; each item's data is the place's lOrtID.
// A place typed in full is the place chosen: when the user leaves the field or closes the list
// without picking a row, a text that is exactly one place's text (its name with or without postcode
// and canton), or that the list narrowed to one row, picks that row (once the search for the text
// has ended). The parent hears every change of the text (CBN_EDITCHANGE) as well.
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
    // Picks the row the typed text names (see above) and tells the parent as a pick from the list
    // does (CBN_SELCHANGE). With bNow a search still running is not waited for: the places of the
    // text are read at once on this thread and replace the list; without it the pick follows when
    // the search ends. FALSE: the text names no place (or its search has not ended).
    BOOL PickTypedPlace(BOOL bNow);
    // The row the typed text names: exactly one row with that text (the place's name, with or
    // without postcode and canton; blanks and case do not count), else the only row of the list;
    // -1 none.
    int FindTypedRow() const;

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
        std::mutex lock;         // guards what follows
        CString strFilter;
        CString strSearchText;   // the edit text of the latest change
        long lSearch = 0;        // counts the changes; rows of an older search are dropped
        long lSettled = -1;      // the search whose places were read by the window itself
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
    void SelectTypedRow(int nItem);
    // The rows of the list as the worker hands them (for the pick of the typed text).
    void ListRows(std::vector<PlaceRow>& rows) const;
    static int FindTypedRow(const CString& strTyped, const std::vector<PlaceRow>& rows);
    // GUI thread: the places of the text read at once, as the worker would; FALSE on a failure
    // (reported).
    BOOL ReadPlacesNow(const CString& strText, std::vector<PlaceRow>& rows);
    // GUI thread: one row (or the end) taken from the hand-off.
    void TakeRow(const PlaceRow& row, long lSearch);

    CWinThread* m_pLoaderThread = nullptr;
    std::shared_ptr<LoaderState> m_pState = std::make_shared<LoaderState>();
    CQvDataLogger m_DataLogger{L"Qovaro.Ostrel.Ort"};
    bool m_bRowsAdded = false;  // the slice added rows: the list is fitted once at its end

    BOOL m_bTypedText = FALSE;      // typed since the last pick or SetOrtID
    BOOL m_bPickPending = FALSE;    // the user left the field before the search of the text ended
    BOOL m_bClosingOwnList = FALSE; // the list is closed for new typing, not by the user
    HANDLE m_hSearchEnded = nullptr;  // set while the rows of the latest text are all in the list
};
