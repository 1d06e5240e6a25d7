#include "ortcombobox.h"
#include "leftworkers.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdblookup.h"
#include "qvhrtrace.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwctype>
#include <utility>

IMPLEMENT_DYNAMIC(COrtComboBox, CMultiComboBox)

namespace {

constexpr const wchar_t* kProfile = L"Qovaro.NQ2";
constexpr const wchar_t* kSource = L"COrtComboBox";
// Rows of the worker have arrived for the GUI thread.
constexpr UINT WM_ORT_PLACESARRIVED = WM_USER + 0x6F1;
// The worker failed: its failure waits in its state.
constexpr UINT WM_ORT_LOADERFAILED = WM_USER + 0x6F2;
// The rows a save waited for are in: the parent is told in a turn of its own.
constexpr UINT WM_ORT_SAVEREADY = WM_USER + 0x6F3;

enum EColumn { eColPLZ, eColOrt, eColGemeinde, eColKanton, eColText, eColCount };

// The statement of the places a text finds; empty when the text asks for none. No index serves a
// word anywhere in the place's text, so the statement is bounded: a list longer than a user reads
// is cut, and the scan stops there.
CString PlacesStatement(const CString& strFilter, const CString& strText) {
    const CString strCondition = COrtComboBox::BuildSearchCondition(strFilter, strText);
    if (strCondition.IsEmpty()) return CString();
    CString sql;
    sql.Format(L"SELECT TOP %d lOrtID, strPLZ, strOrt, strZusatz, strGemeinde, strKanton, strPLZOrtEx "
               L"\t\t\t\t\t\t\tFROM view_Ort \t\t\t\t\t\t\tWHERE %s ",
               COrtComboBox::kMaxPlaces, strCondition);
    return sql;
}

// The row of the current place in the column order of the list.
void ReadColumns(CQvADORecordset& rs, CString (&columns)[eColCount], long& hr) {
    CString strPLZ, strOrt, strKanton, strGemeinde, strPLZOrtEx;
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPLZ", &strPLZ);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strOrt", &strOrt);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKanton", &strKanton);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strGemeinde", &strGemeinde);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPLZOrtEx", &strPLZOrtEx);
    if (FAILED(hr)) return;
    columns[eColPLZ] = strPLZ;
    columns[eColOrt] = strOrt;
    columns[eColGemeinde] = strGemeinde;
    columns[eColKanton] = strKanton;
    columns[eColText].Format(L" %s %s", strPLZOrtEx, strKanton);
}

// A text as it is compared with a place's: blanks at the ends dropped, blanks inside run into one,
// lower case.
CString Normalized(const CString& strText) {
    CString strOut;
    bool bBlank = false;
    for (int i = 0; i < strText.GetLength(); ++i) {
        const wchar_t c = strText[i];
        if (std::iswspace(static_cast<wint_t>(c))) {
            bBlank = !strOut.IsEmpty();
            continue;
        }
        if (bBlank) strOut += L' ';
        bBlank = false;
        strOut += static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    return strOut;
}

}  // namespace

BEGIN_MESSAGE_MAP(COrtComboBox, CMultiComboBox)
    ON_WM_DESTROY()
    ON_MESSAGE(WM_ORT_PLACESARRIVED, &COrtComboBox::OnPlacesArrived)
    ON_MESSAGE(WM_ORT_LOADERFAILED, &COrtComboBox::OnLoaderFailed)
    ON_MESSAGE(WM_ORT_SAVEREADY, &COrtComboBox::OnSaveReady)
END_MESSAGE_MAP()

COrtComboBox::LoaderState::LoaderState() { hWake = CreateEvent(nullptr, TRUE, FALSE, nullptr); }

COrtComboBox::LoaderState::~LoaderState() {
    if (hWake) CloseHandle(hWake);
}

void COrtComboBox::LoaderState::Cancel() {
    std::lock_guard c(connLock);
    if (pConn) pConn->Cancel();
}

void COrtComboBox::LoaderState::HandOver(PlaceRow row) {
    {
        std::lock_guard g(lock);
        if (row.lSearch != lSearch || row.lSearch == lSettled) return;
    }
    handoff.Hand(std::move(row));
}

COrtComboBox::COrtComboBox() { m_hSearchEnded = CreateEvent(nullptr, TRUE, TRUE, nullptr); }

COrtComboBox::~COrtComboBox() {
    if (GetSafeHwnd()) DestroyWindow();
    StopLoader();
    if (m_hSearchEnded) CloseHandle(m_hSearchEnded);
}

void COrtComboBox::BuildFilter(BOOL bTypFilter) {
    ResetContent();
    SetColumnCount(eColCount);
    SetTextColumn(eColText);
    const int widths[eColCount] = {50, 150, 150, 50, 0};
    for (int c = 0; c < eColCount; ++c) SetColumnWidth(c, widths[c]);
    std::lock_guard g(m_pState->lock);
    CString& strFilter = m_pState->strFilter;
    if (!strFilter.IsEmpty()) strFilter += L" AND ";
    strFilter += L"strPLZ <> ''";
    if (bTypFilter) {
        CString strTyp;
        strTyp.Format(L"lTyp IN (%d,%d)", 1, 2);
        strFilter += L" AND ";
        strFilter += strTyp;
    }
}

HRESULT COrtComboBox::SetOrtID(long lOrtID) {
    SettleSearch();
    ResetContent();
    CQvADOConnection conn;
    long hr = conn.Open(kProfile, 0);
    if (FAILED(hr)) QV_TRACEHR(kSource, hr);
    CQvADORecordset rs(&conn);
    if (SUCCEEDED(hr)) {
        CString sql;
        sql.Format(L"SELECT strPLZ, strOrt, strZusatz, strGemeinde, strKanton, strPLZOrtEx \t\t\t\t\tFROM view_Ort "
                   L"\t\t\t\t\tWHERE lOrtID = %d",
                   lOrtID);
        hr = rs.OpenSQL(sql, 0, 1);
        if (FAILED(hr)) QV_TRACEHR(kSource, hr);
    }
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    if (SUCCEEDED(hr) && !bEOF) {
        PlaceRow row;
        row.lOrtID = lOrtID;
        ReadColumns(rs, row.strColumns, hr);
        if (SUCCEEDED(hr)) {
            NoteChosenRow(row);
            ShowRow(row);
        } else {
            QV_TRACEHR(kSource, hr);
        }
    }
    rs.Close();
    if (FAILED(hr)) QvReportDBError(&conn, hr, __FILE__, __LINE__);
    return hr;
}

void COrtComboBox::ShowRow(const PlaceRow& row) {
    LPCWSTR texts[eColCount];
    for (int c = 0; c < eColCount; ++c) texts[c] = row.strColumns[c];
    const int nItem = AddRow(texts, eColCount);
    if (nItem >= 0) SetItemData(nItem, DWORD_PTR(row.lOrtID));
    m_bFitDropWidth = TRUE;
    AdjustDroppedWidth();
}

COrtComboBox::PlaceRow COrtComboBox::RowAt(int nItem) const {
    PlaceRow row;
    row.lOrtID = long(GetItemData(nItem));
    for (int c = 0; c < eColCount; ++c) GetCellText(nItem, c, row.strColumns[c]);
    return row;
}

void COrtComboBox::NoteChosenRow(const PlaceRow& row) {
    const auto known = std::find_if(m_chosenRows.begin(), m_chosenRows.end(),
                                    [&](const PlaceRow& r) { return r.lOrtID == row.lOrtID; });
    if (known != m_chosenRows.end()) *known = row;
    else m_chosenRows.push_back(row);
}

BOOL COrtComboBox::ShowPlace(long lOrtID) {
    SettleSearch();
    if (GetDroppedState()) {
        m_bClosingOwnList = TRUE;
        ShowDropDown(FALSE);
        m_bClosingOwnList = FALSE;
    }
    ResetContent();
    const auto known = std::find_if(m_chosenRows.begin(), m_chosenRows.end(),
                                    [&](const PlaceRow& r) { return r.lOrtID == lOrtID; });
    if (known == m_chosenRows.end()) return FALSE;
    ShowRow(*known);
    return TRUE;
}

void COrtComboBox::SettleSearch() {
    m_bTypedText = FALSE;
    m_bPickPending = FALSE;
    m_bSaveWaiting = FALSE;
    m_bSaveReady = FALSE;
    {
        std::lock_guard g(m_pState->lock);
        m_pState->lSettled = m_pState->lSearch;
    }
    m_pState->handoff.Clear();
    SetEvent(m_hSearchEnded);
    FollowSaveWait();
}

void COrtComboBox::ListRows(std::vector<PlaceRow>& rows) const {
    rows.clear();
    rows.resize(std::size_t(std::max(0, GetCount())));
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (int c = 0; c < eColCount; ++c) GetCellText(int(i), c, rows[i].strColumns[c]);
}

int COrtComboBox::FindTypedRow() const {
    CString strTyped;
    GetWindowText(strTyped);
    std::vector<PlaceRow> rows;
    ListRows(rows);
    return FindTypedRow(strTyped, rows);
}

int COrtComboBox::FindTypedRow(const CString& strTypedText, const std::vector<PlaceRow>& rows) {
    const CString strTyped = Normalized(strTypedText);
    if (strTyped.IsEmpty()) return -1;
    // A place's whole name (postcode, place and addition) names it before its name without the
    // addition does: "9613 Tannegg" is the plain place beside "9613 Tannegg B".
    int nFound[2] = {-1, -1};
    int nMatches[2] = {0, 0};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CString& strText = rows[i].strColumns[eColText];
        const CString& strPLZ = rows[i].strColumns[eColPLZ];
        const CString& strOrt = rows[i].strColumns[eColOrt];
        const CString& strKanton = rows[i].strColumns[eColKanton];
        const CString strFull = Normalized(strText);
        CString strPlace = strFull;
        const CString strCanton = Normalized(strKanton);
        const CString strWithCanton = strCanton.IsEmpty() ? CString() : L" " + strCanton;
        if (!strCanton.IsEmpty() && strFull.GetLength() > strCanton.GetLength() &&
            strFull.Right(strCanton.GetLength() + 1) == strWithCanton)
            strPlace = strFull.Left(strFull.GetLength() - strCanton.GetLength() - 1);
        // The name without the postcode, with or without the canton.
        const CString strCode = Normalized(strPLZ);
        CString strName = strPlace;
        if (!strCode.IsEmpty() && strPlace.Left(strCode.GetLength() + 1) == strCode + L" ")
            strName = strPlace.Mid(strCode.GetLength() + 1);
        const CString strBare = Normalized(strOrt);
        const bool bWhole = strTyped == strFull || strTyped == strPlace || strTyped == strName ||
                            (!strCanton.IsEmpty() && strTyped == strName + strWithCanton);
        const bool bBare = strTyped == Normalized(strPLZ + L" " + strOrt) || strTyped == strBare ||
                           (!strCanton.IsEmpty() && strTyped == strBare + strWithCanton);
        for (int t = 0; t < 2; ++t)
            if (t == 0 ? bWhole : bBare) {
                nFound[t] = int(i);
                ++nMatches[t];
            }
    }
    if (nMatches[0] == 1) return nFound[0];
    if (nMatches[0] == 0 && nMatches[1] == 1) return nFound[1];
    // Several places of that text: the text alone does not say which. None: the list's only row.
    if (nMatches[0] == 0 && nMatches[1] == 0 && rows.size() == 1) return 0;
    return -1;
}

void COrtComboBox::SelectTypedRow(int nItem) {
    m_bTypedText = FALSE;
    m_bPickPending = FALSE;
    if (GetDroppedState()) {
        m_bClosingOwnList = TRUE;
        ShowDropDown(FALSE);
        m_bClosingOwnList = FALSE;
    }
    SetCurSel(nItem);
    NoteChosenRow(RowAt(nItem));
    // The parent hears of it as of a row picked from the list.
    if (CWnd* pParent = GetParent())
        pParent->SendMessage(WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(), CBN_SELCHANGE), reinterpret_cast<LPARAM>(m_hWnd));
}

COrtComboBox::EPick COrtComboBox::PickTypedPlace(BOOL bForSave) {
    if (!m_bTypedText) return GetCurSel() >= 0 ? EPick::Picked : EPick::NamesNone;
    if (WaitForSingleObject(m_hSearchEnded, 0) != WAIT_OBJECT_0) {
        m_bPickPending = TRUE;
        if (!bForSave) return EPick::Pending;
        // A search that ended on a failure gives no rows: the save starts it again. One whose
        // failure is still to be shown stops the save when it is shown.
        if (WorkerEnded()) {
            BOOL bFailureToShow = FALSE;
            {
                std::lock_guard g(m_pState->lock);
                bFailureToShow = m_pState->bFailed;
            }
            if (!bFailureToShow) {
                SearchEditText();
                m_bPickPending = TRUE;
            }
        }
        m_bSaveWaiting = TRUE;
        FollowSaveWait();
        return EPick::Pending;
    }
    const int nItem = FindTypedRow();
    if (nItem < 0) return EPick::NamesNone;
    SelectTypedRow(nItem);
    return EPick::Picked;
}

BOOL COrtComboBox::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_RETURN && m_bTypedText && GetCurSel() < 0 &&
        !GetDroppedState())
        PickTypedPlace(FALSE);
    return CMultiComboBox::PreTranslateMessage(pMsg);
}

BOOL COrtComboBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_COMMAND) {
        switch (HIWORD(wParam)) {
        case CBN_SELCHANGE:
            // A row picked from the list ends the typing.
            if (GetCurSel() >= 0) {
                m_bTypedText = FALSE;
                m_bPickPending = FALSE;
                NoteChosenRow(RowAt(GetCurSel()));
            }
            break;
        case CBN_CLOSEUP:
            // Closed by the user (Return, Escape, a click elsewhere): the typed text picks its place.
            if (!m_bClosingOwnList && m_bTypedText && GetCurSel() < 0) PickTypedPlace(FALSE);
            break;
        case CBN_KILLFOCUS:
            // The open list takes the keys, not the focus: the user is still in the field.
            if (m_bTypedText && GetCurSel() < 0 && !GetDroppedState()) PickTypedPlace(FALSE);
            break;
        default: break;
        }
    }
    if (message != WM_COMMAND || HIWORD(wParam) != CBN_EDITCHANGE)
        return CMultiComboBox::OnChildNotify(message, wParam, lParam, pResult);
    SearchEditText();
    if (pResult) *pResult = 0;
    // The parent hears of the typing too: a typed place is a change of the form from the first key.
    return FALSE;
}

void COrtComboBox::SearchEditText() {
    LoaderState& state = *m_pState;
    CString strText;
    GetWindowText(strText);
    {
        // The old rows go under the lock that hands the worker the new text: rows of the new text
        // can only be handed after it, and are not dropped with the old.
        std::lock_guard g(state.lock);
        state.strSearchText = strText;
        ++state.lSearch;
        state.hWnd = m_hWnd;
        state.handoff.Clear();
    }
    // New typing takes back what a save waited for.
    m_bTypedText = TRUE;
    m_bPickPending = FALSE;
    m_bSaveWaiting = FALSE;
    m_bSaveReady = FALSE;
    FollowSaveWait();
    ResetEvent(m_hSearchEnded);
    // The rows of the old text go at once; the user's text and caret stay.
    if (GetDroppedState()) {
        m_bClosingOwnList = TRUE;
        ShowDropDown(FALSE);
        m_bClosingOwnList = FALSE;
    }
    ResetContent();
    SetWindowText(strText);
    SetEditSel(strText.GetLength(), strText.GetLength());

    // A worker that ended on a database failure gives way to a new one, so the search goes on;
    // one whose thread is still going is left to end by itself.
    if (m_pLoaderThread && WorkerEnded()) {
        if (WaitForSingleObject(m_pLoaderThread->m_hThread, 0) != WAIT_TIMEOUT) delete m_pLoaderThread;
        else CLeftWorkers::Leave(m_pLoaderThread, [] {}, m_pState);
        m_pLoaderThread = nullptr;
    }
    if (!m_pLoaderThread) {
        state.bStop = FALSE;
        state.bEnded = false;
        auto* pShared = new std::shared_ptr<LoaderState>(m_pState);
        m_pLoaderThread = AfxBeginThread(&COrtComboBox::LoaderThreadProc, pShared, THREAD_PRIORITY_NORMAL, 0,
                                         CREATE_SUSPENDED, nullptr);
        if (m_pLoaderThread) {
            m_pLoaderThread->m_bAutoDelete = FALSE;
            m_pLoaderThread->ResumeThread();
        } else {
            delete pShared;
            const CString strError = CString(std::strerror(errno)).Left(100);
            m_DataLogger.Error(CQvGUID(L"a21c3d39-1720-4e1b-a7c4-e0ad2e50eb24"),
                               L"COrtComboBox::CreateThread() AfxBeginThread() failed: '%s'", strError);
        }
    }
    state.handoff.Attach(m_hWnd, WM_ORT_PLACESARRIVED);
    state.bTextChanged = TRUE;
    SetEvent(state.hWake);
}

void COrtComboBox::OnDestroy() {
    StopLoader();
    CMultiComboBox::OnDestroy();
}

BOOL COrtComboBox::WorkerEnded() const {
    return !m_pLoaderThread || m_pState->bEnded || WaitForSingleObject(m_pLoaderThread->m_hThread, 0) != WAIT_TIMEOUT;
}

void COrtComboBox::StopLoader() {
    // Whatever the worker still does goes nowhere: no row, no failure reaches the window, and a
    // save that waited for it ends with the window.
    m_bSaveWaiting = FALSE;
    m_bSaveReady = FALSE;
    FollowSaveWait(FALSE);
    const std::shared_ptr<LoaderState> pState = m_pState;
    {
        std::lock_guard g(pState->lock);
        pState->hWnd = nullptr;
        pState->bFailed = false;
    }
    pState->handoff.Attach(nullptr, 0);
    pState->handoff.Clear();
    if (!m_pLoaderThread) return;
    pState->bStop = TRUE;
    SetEvent(pState->hWake);
    // The worker is not waited for: its statement is cancelled and it ends by itself, its state
    // going with it. The window keeps a state of its own for a later search.
    CLeftWorkers::Leave(m_pLoaderThread, [pState] { pState->Cancel(); }, pState);
    m_pLoaderThread = nullptr;
    auto pFresh = std::make_shared<LoaderState>();
    {
        std::lock_guard g(pState->lock);
        pFresh->strFilter = pState->strFilter;
        pFresh->lSearch = pState->lSearch;
    }
    m_pState = std::move(pFresh);
}

UINT COrtComboBox::LoaderThreadProc(LPVOID pParam) {
    const std::unique_ptr<std::shared_ptr<LoaderState>> pShared(static_cast<std::shared_ptr<LoaderState>*>(pParam));
    const std::shared_ptr<LoaderState> pState = *pShared;
    LoadPlaces(*pState);
    return 0;
}

CString COrtComboBox::BuildSearchCondition(const CString& strFilter, const CString& strText) {
    CString strCondition = strFilter.IsEmpty() ? CString(L"1 = 1") : strFilter;
    bool bAnyWord = false;
    int nStart = 0;
    while (nStart <= strText.GetLength()) {
        int nEnd = strText.Find(L' ', nStart);
        if (nEnd < 0) nEnd = strText.GetLength();
        CString strWord = strText.Mid(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        strWord.TrimRight();
        strWord = QvSQLString(strWord, 0);
        strWord.Remove(L' ');
        int nMinLength = 2;
        if (!strWord.IsEmpty() && !(strWord[0] >= L'0' && strWord[0] <= L'9')) {
            strWord = L" " + strWord;
            nMinLength = 3;
        }
        if (strWord.GetLength() < nMinLength) continue;
        CString strWordCondition;
        strWordCondition.Format(L"AND CHARINDEX('%s', ' ' + strPLZ + ' ' + strOrt   + ' ' + strKanton) > 0 ", strWord);
        strCondition += L" " + strWordCondition;
        bAnyWord = true;
    }
    return bAnyWord ? strCondition : CString();
}

void COrtComboBox::LoadPlaces(LoaderState& state) {
    CQvADOConnection conn;
    long hr = conn.Open(kProfile, 0);
    if (SUCCEEDED(hr)) {
        std::lock_guard c(state.connLock);
        state.pConn = &conn;
    }
    CQvADORecordset rs(&conn);
    bool bOpen = false;
    BOOL bEOF = TRUE;
    long lSearch = 0;
    while (SUCCEEDED(hr)) {
        if (state.bStop) break;
        WaitForSingleObject(state.hWake, INFINITE);
        if (state.bStop) break;

        CString strText, strFilter;
        long lLatest = lSearch;
        if (state.bTextChanged.exchange(FALSE)) {
            std::lock_guard g(state.lock);
            strText = state.strSearchText;
            strFilter = state.strFilter;
            lLatest = state.lSearch;
        }
        // A change seen twice (its flag set again after its text was read) is searched once.
        if (lLatest != lSearch) {
            lSearch = lLatest;
            if (bOpen) rs.Close();
            bOpen = false;
            bEOF = TRUE;
            const CString sql = PlacesStatement(strFilter, strText);
            if (!sql.IsEmpty()) {
                hr = rs.OpenSQL(sql, 0, 1);
                if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
                bOpen = SUCCEEDED(hr);
                if (FAILED(hr)) break;
            }
        }

        if (bOpen && !bEOF) {
            PlaceRow row;
            row.lSearch = lSearch;
            hr = rs.GetFieldValue(L"lOrtID", &row.lOrtID);
            ReadColumns(rs, row.strColumns, hr);
            if (SUCCEEDED(hr)) hr = rs.MoveNext(&bEOF);
            if (FAILED(hr)) break;
            state.HandOver(std::move(row));
            continue;  // the event stays signalled: the next row, unless a stop or new typing came
        }

        if (bOpen) rs.Close();
        bOpen = false;
        PlaceRow end;
        end.lSearch = lSearch;
        end.bEnd = true;
        state.HandOver(std::move(end));
        ResetEvent(state.hWake);
        // A change that came while the last rows were read must not wait for the next key.
        if (state.bTextChanged || state.bStop) SetEvent(state.hWake);
    }
    // A failure is the window's to show, in its own turn; a statement cancelled because the window
    // went is none.
    const bool bFailureShown = FAILED(hr) && !state.bStop;
    if (bFailureShown) {
        QV_TRACEHR(kSource, hr);
        CString strError;
        conn.GetErrorText(&strError);
        HWND hWnd = nullptr;
        {
            // The end is known with its failure: a save that finds the worker ended waits for the
            // failure still to be shown, or searches again once it was.
            std::lock_guard g(state.lock);
            if (state.hWnd && !state.bFailed) {
                state.bFailed = true;
                state.hrFailure = hr;
                state.strFailure = strError;
                hWnd = state.hWnd;
            }
            state.bEnded = true;
        }
        if (hWnd) ::PostMessageW(hWnd, WM_ORT_LOADERFAILED, 0, 0);
    }
    // From here on a new worker may take the state: this one touches only its own connection (and
    // no longer its end, which a failure marked already: a worker started since then is not ended).
    if (!bFailureShown) state.bEnded = true;
    if (bOpen) rs.Close();
    std::lock_guard c(state.connLock);
    if (state.pConn == &conn) state.pConn = nullptr;
}

LRESULT COrtComboBox::OnLoaderFailed(WPARAM, LPARAM) {
    CString strError;
    long hr = S_OK;
    {
        std::lock_guard g(m_pState->lock);
        if (!m_pState->bFailed || m_pState->bStop) return 0;
        m_pState->bFailed = false;
        hr = m_pState->hrFailure;
        strError = m_pState->strFailure;
    }
    // The save that waited for the rows does not go on: the failure is its one message, and the
    // typed text stays for the next save.
    const BOOL bSaveWaited = m_bSaveWaiting || m_bSaveReady;
    m_bSaveWaiting = FALSE;
    m_bSaveReady = FALSE;
    m_bPickPending = FALSE;
    FollowSaveWait();
    m_strFailureHeadline.Empty();
    if (bSaveWaited && GetSafeHwnd())
        if (CWnd* pParent = GetParent())
            pParent->SendMessage(WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(), CBN_SAVEFAILED), reinterpret_cast<LPARAM>(m_hWnd));
    const QvDBErrorHeadline headline(std::exchange(m_strFailureHeadline, CString()));
    QvReportDBErrorText(strError, hr, __FILE__, __LINE__);
    return 0;
}

void COrtComboBox::FollowSaveWait(BOOL bTell) {
    const BOOL bWaiting = IsSaveWaiting();
    if (bWaiting == m_bWaitShown) return;
    m_bWaitShown = bWaiting;
    if (bWaiting) BeginWaitCursor();
    else EndWaitCursor();
    if (!bTell || !GetSafeHwnd()) return;
    if (CWnd* pParent = GetParent())
        pParent->SendMessage(WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(), CBN_SAVEWAIT), reinterpret_cast<LPARAM>(m_hWnd));
}

LRESULT COrtComboBox::OnSaveReady(WPARAM, LPARAM) {
    if (!m_bSaveReady) return 0;
    m_bSaveReady = FALSE;
    FollowSaveWait();
    if (CWnd* pParent = GetParent())
        pParent->SendMessage(WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(), CBN_PLACESREAD), reinterpret_cast<LPARAM>(m_hWnd));
    return 0;
}

LRESULT COrtComboBox::OnPlacesArrived(WPARAM, LPARAM) {
    LoaderState& state = *m_pState;
    long lSearch = 0;
    {
        std::lock_guard g(state.lock);
        lSearch = state.lSettled == state.lSearch ? -1 : state.lSearch;
    }
    if (state.bStop) {
        state.handoff.Clear();
        return 0;
    }
    // The list is fitted once per slice, not once per row.
    m_bDeferFit = TRUE;
    state.handoff.Take([&](PlaceRow& row) { TakeRow(row, lSearch); },
                       [&] {
                           m_bDeferFit = FALSE;
                           if (m_bRowsAdded) AdjustDroppedWidth();
                           m_bRowsAdded = false;
                       });
    m_bDeferFit = FALSE;
    return 0;
}

void COrtComboBox::TakeRow(const PlaceRow& row, long lSearch) {
    if (row.lSearch != lSearch) return;
    if (row.bEnd) {
        // A text seen twice by the worker ends twice: its second end finds the rows in and opens
        // nothing, since the user may have picked a place and gone on meanwhile.
        if (WaitForSingleObject(m_hSearchEnded, 0) == WAIT_OBJECT_0) return;
        SetEvent(m_hSearchEnded);
        // The user left the field (or closed the list) while the rows were coming: now the text
        // picks its place, and the list does not open behind him.
        const BOOL bLeft = m_bPickPending;
        m_bPickPending = FALSE;
        // A save that waited for these rows goes on in a turn of its own, whatever they pick.
        if (m_bSaveWaiting) {
            m_bSaveWaiting = FALSE;
            m_bSaveReady = TRUE;
            PostMessage(WM_ORT_SAVEREADY);
        }
        if (bLeft && m_bTypedText && GetCurSel() < 0) {
            const int nItem = FindTypedRow();
            if (nItem >= 0) {
                SelectTypedRow(nItem);
                return;
            }
        }
        if (GetCount() > 0) {
            m_bFitDropWidth = TRUE;
            const BOOL bDefer = m_bDeferFit;
            m_bDeferFit = FALSE;
            AdjustDroppedWidth();
            m_bDeferFit = bDefer;
            m_bRowsAdded = false;
            // Shown again so that the list fits the rows it now has, unless a row was picked.
            if (!bLeft && m_bTypedText) ShowDropDown(TRUE);
        }
        return;
    }
    LPCWSTR texts[eColCount];
    for (int c = 0; c < eColCount; ++c) texts[c] = row.strColumns[c];
    const int nItem = AddRow(texts, eColCount);
    if (nItem >= 0) {
        SetItemData(nItem, DWORD_PTR(row.lOrtID));
        m_bRowsAdded = true;
    }
    if (nItem == 0 && !GetDroppedState() && !m_bPickPending) ShowDropDown(TRUE);
}
