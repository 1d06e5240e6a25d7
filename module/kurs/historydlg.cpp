#include "historydlg.h"

#include "qvdbsettings.h"

#include "kursint.h"
#include "kursresource.h"
#include "nqcommon.h"
#include "nqkurscalls.h"
#include "nqlogicint.h"
#include "planungdlg.h"
#include "optionserver.h"
#include "thread.h"
#include "heaptrim.h"
#include "adosession.h"
#include "leftworkers.h"
#include "qvdatetime.h"

#include <algorithm>
#include <limits>
#include <cerrno>
#include <cstring>
#include <unordered_map>

namespace {

constexpr const wchar_t* kSource = L"module\\kurs\\historydlg";
#define HI_TRACEHR(hr) QvAddHRErrorFile(kSource, __LINE__, (hr))

const CQvGUID kSecTab(L"{B92A2088-34E1-4211-8BC9-2A743F3B16CD}");
const CQvGUID kMsgThreadFailed(L"{52910CDB-DC68-43A8-906C-F1DC84B193B8}");
constexpr GUID kEventMandantChanged = qv::MakeGuid("D643F415-8768-44A9-8804-C701EF1FCAD9");
constexpr DWORD kRightEdit = 0x100;
constexpr UINT_PTR kStatusTimer = 1;
// The loader has handed rows or the end of a load to the GUI thread.
constexpr UINT WM_HISTORY_LOADER = WM_APP + 0x340;
// The registrations one statement of the archive reads (and sorts) at most, unless one year holds
// more.
constexpr long kYearRunRows = 10000;
// The rows the loader hands to the GUI thread together.
constexpr std::size_t kHandRows = 32;

// The columns of RowsStatement by their position in its select list.
enum ERowsColumn {
    eColID, eColKursinstanzID, eColPersonID, eColPerson, eColAdresse, eColWeiblich, eColOrt, eColMandant, eColStatus,
    eColAnmeldung, eColBemerkung, eColDatum, eColYear, eColArt, eColDauer, eColKursort, eColLeitung,
    eColKursleitungID, eColFunktion, eColRight, eColGradRang, eColGradKurz, eColGradKurzF
};

// The planning's list; the add and move buttons stay hidden.
struct TemplateRegistrar {
    TemplateRegistrar() { RegisterPlanungListTemplate(IDD_HISTORY, {5, 5, 41, 23, 41}); }
};
TemplateRegistrar g_templateRegistrar;

}  // namespace

IMPLEMENT_DYNCREATE(CHistoryDlg, CKursChildDlg)

BEGIN_MESSAGE_MAP(CHistoryDlg, CKursChildDlg)
    ON_WM_TIMER()
    ON_MESSAGE(WM_HISTORY_LOADER, &CHistoryDlg::OnLoaderRows)
    ON_BN_CLICKED(IDC_PLANUNG_REMOVE, &CHistoryDlg::OnBnRemove)
    ON_BN_CLICKED(IDC_PLANUNG_EDIT, &CHistoryDlg::OnBnEdit)
    ON_BN_CLICKED(IDC_PLANUNG_CHANGESTATE, &CHistoryDlg::OnBnChangeState)
    ON_NOTIFY(QVLN_LINKCLICKED, IDC_PLANUNG_LIST, &CHistoryDlg::OnLinkClickList)
    ON_NOTIFY(NM_DBLCLK, IDC_PLANUNG_LIST, &CHistoryDlg::OnDblClkList)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_PLANUNG_LIST, &CHistoryDlg::OnItemChangedList)
END_MESSAGE_MAP()

BEGIN_QVEVENT_MAP(CHistoryDlg)
    ON_QVEVENT(kEventMandantChanged, OnMandantChanged)
END_QVEVENT_MAP()

CHistoryDlg::CHistoryDlgFactory g_historyFactory(CLSID_HistoryDlg, RUNTIME_CLASS(CHistoryDlg), FALSE,
                                                 L"Qovaro.NQ2.Tab.Std.Kurs.History");

CHistoryDlg::CHistoryDlg() : CKursChildDlg(IDD_HISTORY, IDS_HISTORY_CAPTION, L"History", 0, -1, 0) {
    m_guidFunction = kSecTab;
    m_guidScope = CQvGUID(GUID_ScopeKurs);
    // The archive is the course's: showing it reads nothing of the run on the GUI thread, where a
    // statement on registrations another session holds would keep the page from being drawn.
    m_bKursinstanzContext = FALSE;
}

CHistoryDlg::~CHistoryDlg() {
    // A window destroyed without CloseTab still ends its loader.
    LeaveLoader();
}

HRESULT CHistoryDlg::GetClassID(GUID* pClsid) {
    if (!pClsid) return E_POINTER;
    *pClsid = CLSID_HistoryDlg;
    return S_OK;
}

void CHistoryDlg::DoDataExchange(CDataExchange* pDX) {
    CKursChildDlg::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PLANUNG_LIST, m_list);
    DDX_Text(pDX, IDC_PLANUNG_STATUS, m_strStatus);
}

BOOL CHistoryDlg::OnInitDialog() {
    CKursResourceScope scope;
    CKursChildDlg::OnInitDialog();
    m_btnRemove.AttachButton(IDC_PLANUNG_REMOVE, this, QVBB_IMAGE_ONLY, 10);
    m_btnEdit.AttachButton(IDC_PLANUNG_EDIT, this, QVBB_IMAGE_ONLY, 2);
    m_btnChangeState.AttachButton(IDC_PLANUNG_CHANGESTATE, this, QVBB_IMAGE_ONLY, 4);
    for (CQvBitmapButton* pButton : {&m_btnRemove, &m_btnEdit, &m_btnChangeState}) pButton->SetFlatButton(TRUE);
    for (UINT nHidden : {IDC_PLANUNG_ADD, IDC_PLANUNG_CHANGEINSTANZ})
        if (CWnd* pWnd = GetDlgItem(static_cast<int>(nHidden))) pWnd->ShowWindow(SW_HIDE);
    m_btnHelp.AttachButton(IDC_HELPBUTTON, this);
    m_btnHelp.SetHelpTopic(L"HELP_KURS_TAB_HISTORY");

    static const int types[] = {3, 4, 2, 1, 3, 3, 3, 3, 3, 3, 3, 3};
    static const int widths[] = {150, 80, 50, 45, 80, 150, 140, 120, 100, 100, 140, 120};
    static const int tips[] = {2, 0, 0, 0, 0, 2, 2, 0, 0, 0, 2, 0};
    m_list.QvSetRegistryKey(L"Software\\Qovaro\\NQ2\\KursView\\HistoryList");
    // The page keeps nothing per row: a reload clears the list at once.
    m_list.m_bTellEachRemovedRow = FALSE;
    m_list.QvInsertColumn(12, NQ_IsEnterpriseEdition() ? IDS_HISTORY_COL_CENTRAL : IDS_HISTORY_COL_LOCAL, types,
                          widths, nullptr, tips);
    m_imageList.Create(IDB_PERSONKURS_STATUS, 16, 0, RGB(255, 255, 255));
    m_list.SetImageList(&m_imageList, LVSIL_SMALL);
    CreateLayout();
    AddToolTipText(IDC_PLANUNG_REMOVE, IDS_TEILNEHMER_TIP_REMOVE);
    AddToolTipText(IDC_PLANUNG_EDIT, IDS_TEILNEHMER_TIP_EDIT);
    AddToolTipText(IDC_PLANUNG_CHANGESTATE, IDS_TEILNEHMER_TIP_CHANGESTATE);
    AddToolTipText(IDC_HELPBUTTON, m_btnHelp.GetToolTipText());
    const HRESULT hr = m_eventSink.Create(this, GetQvEventMap());
    if (FAILED(hr)) {
        HI_TRACEHR(hr);
        QvReportMsg(1, CrackHR(hr), L"CHistoryDlg::OnInitDialog", L"Default", __FILE__, __LINE__, 1);
    }
    return TRUE;
}

void CHistoryDlg::CreateLayout() {
    CreateListLayout(IDC_PLANUNG_LIST, IDC_PLANUNG_STATUS, {IDC_PLANUNG_REMOVE, IDC_PLANUNG_EDIT, IDC_PLANUNG_CHANGESTATE},
                     FALSE);
}

HRESULT CHistoryDlg::CloseTab() {
    HRESULT hr = m_eventSink.Unadvise();
    if (FAILED(hr)) HI_TRACEHR(hr);
    LeaveLoader();
    const HRESULT hrBase = CKursChildDlg::CloseTab();
    return FAILED(hr) ? hr : hrBase;
}

HRESULT CHistoryDlg::SaveData() {
    UpdateData(TRUE);
    ClearSavePending();
    return S_OK;
}

HRESULT CHistoryDlg::Refresh() {
    CKursResourceScope scope;
    long lColor = 0;
    HRESULT hr;
    {
        COptionServer options;
        hr = options.GetOption(-1000, L"ColorFemale", &lColor, 1, 0);
    }
    m_colorFemale = static_cast<COLORREF>(lColor);
    if (FAILED(hr)) return HI_TRACEHR(hr);
    lKursID = 0;
    if (GetRecordID() == 0 && IsLoading()) {
        // The running load of the course before would refill the list: it ends with an empty one.
        StartThread();
    } else if (GetRecordID() == 0) {
        m_list.SetRedraw(FALSE, L"default");
        m_list.DeleteAllItems();
        m_list.SetRedraw(TRUE, L"default");
        m_lArt = 0;
    } else {
        hr = LoadKursContext();
        StartThread();
        if (FAILED(hr)) return HI_TRACEHR(hr);
    }
    hr = CKursChildDlg::Refresh();
    return FAILED(hr) ? HI_TRACEHR(hr) : hr;
}

HRESULT CHistoryDlg::ShowTab(BOOL bShow) {
    const HRESULT hr = CKursChildDlg::ShowTab(bShow);
    if (bShow) {
        m_nStatusTimer = SetTimer(kStatusTimer, 1000, nullptr);
    } else if (m_nStatusTimer) {
        KillTimer(m_nStatusTimer);
        m_nStatusTimer = 0;
    }
    return hr;
}

void CHistoryDlg::OnTimer(UINT_PTR nIDEvent) {
    if (m_nStatusTimer != 0 && nIDEvent == m_nStatusTimer) {
        // The status of the loader that closing left goes on being shown while the page is.
        if (!m_pLoader) return;
        std::lock_guard<std::mutex> lock(m_pLoader->statusLock);
        if (m_pLoader->bThreadStatusChanged) {
            m_strStatus = m_pLoader->strThreadStatus;
            m_pLoader->bThreadStatusChanged = false;
            SetDlgItemText(IDC_PLANUNG_STATUS, m_strStatus);
        }
        return;
    }
    CKursChildDlg::OnTimer(nIDEvent);
}

HRESULT CHistoryDlg::LoadData() {
    CKursResourceScope scope;
    const HRESULT hr = CKursChildDlg::LoadData();
    EnableDlgItemByRights(IDC_PLANUNG_REMOVE, TRUE, m_lArt != 0, kRightEdit);
    EnableDlgItemByRights(IDC_PLANUNG_EDIT, TRUE, m_lArt != 0, kRightEdit);
    EnableControlByRights(&m_list, TRUE, TRUE, kRightEdit);
    EnableDlgItemByRights(IDC_PLANUNG_CHANGESTATE, TRUE, m_lArt == 1, kRightEdit);
    return hr;
}

void CHistoryDlg::OnItemChangedList(NMHDR* pNMHDR, LRESULT* pResult) {
    *pResult = 0;
    FollowSelection(pNMHDR, m_list, eParamArt, m_lArt);
}

void CHistoryDlg::OnDblClkList(NMHDR*, LRESULT* pResult) {
    *pResult = 0;
    if (IsDlgItemEnabled(IDC_PLANUNG_EDIT)) OnBnEdit();
}

void CHistoryDlg::OnLinkClickList(NMHDR* pNMHDR, LRESULT* pResult) { FollowKindPersonLink(pNMHDR, pResult, 1, 3); }

void CHistoryDlg::OnMandantChanged(COleVariant) { MarkModifiedAndReload(); }

// ---- the loader

void CHistoryDlg::StartThread() {
    if (!m_pThread) {
        auto pLoader = std::make_shared<Loader>();
        pLoader->hEvent = CreateEvent(nullptr, FALSE, FALSE, nullptr);
        pLoader->handoff.Attach(m_hWnd, WM_HISTORY_LOADER);
        // The thread's own reference, given back as it ends (a left loader's state is also kept
        // by CLeftWorkers until then).
        auto* pThreadRef = new std::shared_ptr<Loader>(pLoader);
        m_pThread = AfxBeginThread(&CHistoryDlg::LoaderThread, pThreadRef, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
        if (!m_pThread) {
            char szError[101] = {};
            std::strncpy(szError, std::strerror(errno), 100);
            m_DataLogger.Error(kMsgThreadFailed, L"CHistoryDlg::StartThread() AfxBeginThread() failed: '%s'",
                               CString(szError));
            delete pThreadRef;
            return;
        }
        m_pLoader = std::move(pLoader);
        m_pThread->m_bAutoDelete = FALSE;
        m_pThread->ResumeThread();
    }
    Loader& loader = *m_pLoader;
    loader.handoff.Attach(m_hWnd, WM_HISTORY_LOADER);
    // What the loader reads of the page, taken while only the GUI thread writes it.
    loader.lLoadKursID = lKursID;
    loader.colorLoad = m_colorFemale;
    // The new count ends a running load at its next check; the load that begins next serves it
    // and every other request made before it begins.
    ++loader.lRequests;
    SetEvent(loader.hEvent);
}

void CHistoryDlg::LeaveLoader() {
    if (!m_pThread) return;
    Loader& loader = *m_pLoader;
    loader.lCancel = 1;
    loader.lStop = 1;
    // Rows and the end of a load still on their way go nowhere; a loader waiting for room in the
    // hand-over stops waiting.
    loader.handoff.Attach(nullptr, 0);
    loader.handoff.Clear();
    SetEvent(loader.hEvent);
    std::shared_ptr<Loader> pLoader = m_pLoader;
    CLeftWorkers::Leave(m_pThread, [pLoader] { pLoader->Cancel(); }, pLoader);
    m_pThread = nullptr;
    for (CQvListItem* pItem : m_arrTaken) m_list.QvDiscardCreatedItem(pItem);
    m_arrTaken.clear();
    m_strTakenError.Empty();
}

BOOL CHistoryDlg::IsLoading() const {
    if (!m_pThread) return FALSE;
    const Loader& loader = *m_pLoader;
    return loader.lRequests.load() != loader.lBegun.load() || loader.lIdle.load() == 0 || loader.handoff.IsPending();
}

CHistoryDlg::Loader::~Loader() {
    if (hEvent) CloseHandle(hEvent);
}

void CHistoryDlg::Loader::Cancel() {
    std::lock_guard<std::mutex> lock(connLock);
    if (pConn) pConn->Cancel();
}

void CHistoryDlg::Loader::SetThreadStatus(const CString& strText) {
    std::lock_guard<std::mutex> lock(statusLock);
    strThreadStatus = strText;
    bThreadStatusChanged = true;
}

UINT CHistoryDlg::LoaderThread(LPVOID pParam) {
    std::shared_ptr<Loader> pLoader;
    {
        auto* pThreadRef = static_cast<std::shared_ptr<Loader>*>(pParam);
        pLoader = std::move(*pThreadRef);
        delete pThreadRef;
    }
    Loader& loader = *pLoader;
    CoInitializeEx(nullptr, 0);
    // The loader reads forward through the archive once: a small page cache serves it. The cache's
    // size also bounds what SQLite's sort of the rows (by year) holds in memory before it writes
    // sorted runs to a temporary file (at least 250 pages). Both are held beside the list's rows
    // until the last row is read, the program's peak with a canton's archive open: 2 MB here cost
    // about 2.5 MB more of that peak than 512 KB.
    qv::ado::Session::SetThreadPageCacheKiB(512);
    qv::ado::Session::SetThreadReadsInBulk(true);
    while (!loader.lStop.load()) {
        WaitForSingleObject(loader.hEvent, INFINITE);
        if (loader.lStop.load()) break;
        // Given again by a request that came after this thread woke, and that the load it woke
        // for served: no load follows.
        if (loader.lRequests.load() == loader.lBegun.load()) continue;
        LoadList(loader);
        // Between loads the thread sleeps, often for long: its database session, the pages it
        // cached (several megabytes after an archive) and what the statement's sort held are
        // given back, not kept for the next.
        qv::ado::Session::ReleasePool();
        QvReleaseFreeHeapSoon();
    }
    CoUninitialize();
    return 0;
}

LRESULT CHistoryDlg::OnLoaderRows(WPARAM, LPARAM) {
    // A few milliseconds per turn, so that input and paint get theirs between the slices.
    if (!m_pThread) return 0;
    m_pLoader->handoff.Take([this](LoaderStep& step) { TakeStep(step); }, [this] { InsertTakenRows(false); });
    // A failed load is reported once its slice is in, by the GUI thread's own loop: the box's loop
    // does not take the next slice inside this one.
    if (!m_strTakenError.IsEmpty()) {
        const CString strError = m_strTakenError;
        m_strTakenError.Empty();
        CBusyScope busy(this);
        QvReportMsg(1, strError, L"OLEDB Errormessage", L"Default", __FILE__, __LINE__, 1);
    }
    return 0;
}

void CHistoryDlg::InsertTakenRows(bool bNow) {
    if (m_arrTaken.empty()) return;
    const auto now = std::chrono::steady_clock::now();
    if (!bNow && m_list.GetItemCount() > 2000 && now - m_tLastInsert < std::chrono::milliseconds(150)) return;
    m_tLastInsert = now;
    std::vector<CQvListItem*> items;
    items.swap(m_arrTaken);
    m_list.QvInsertCreatedItems(items);
}

void CHistoryDlg::TakeStep(LoaderStep& step) {
    if (step.kind == LoaderStep::Row) {
        const ArchiveRow& row = step.row;
        CQvListItem* pItem = m_list.QvCreateItem();
        if (!pItem) return;
        pItem->SetParam(eParamPerson, row.lPersonID);
        pItem->SetParam(eParamID, row.lID);
        pItem->SetParam(eParamKursinstanz, row.lRun);
        pItem->SetParam(eParamStatus, row.lStatus);
        pItem->SetParam(eParamArt, row.lArt);
        pItem->SetParam(eParamRight, row.lRight);
        if (row.lArt == 1 || row.lArt == 3) {
            pItem->SetColumnText(0, row.strStatus);
            pItem->SetImage(row.nImage);
        }
        COleDateTime dtDatum(row.dtDatum);
        if (row.dtDatum == 0) dtDatum.SetStatus(COleDateTime::null);
        pItem->SetColumnDate(1, dtDatum, 1, 0);
        pItem->SetColumnDouble(2, row.dblDauer, L"%3.2f");
        pItem->SetColumnLong(3, row.lRang);
        pItem->SetColumnText(4, row.strDienstgrad);
        pItem->SetColumnText(5, row.strPerson);
        if (row.bWeiblich) pItem->SetColumnTextColor(5, m_colorTaken);
        CString strLink;
        strLink.Format(L"%d;%d", row.lArt, row.lPersonID);
        pItem->SetColumnLink(5, strLink);
        pItem->SetColumnText(6, row.strAdresse);
        pItem->SetColumnText(7, row.strOrt);
        pItem->SetColumnText(8, row.strKursort);
        pItem->SetColumnText(9, row.strLeitung);
        pItem->SetColumnText(10, row.strBemerkung);
        pItem->SetColumnText(11, row.strMandant);
        m_arrTaken.push_back(pItem);
        return;
    }
    InsertTakenRows(true);
    if (step.kind == LoaderStep::Begin) {
        m_colorTaken = step.colorFemale;
        m_list.SetRedraw(FALSE, L"default");
        m_list.DeleteAllItems();
        m_lArt = 0;
        return;
    }
    m_list.QvSort(-1, TRUE);
    m_list.SetRedraw(TRUE, L"default");
    {
        std::lock_guard<std::mutex> lock(m_pLoader->statusLock);
        m_strStatus = step.strSummary;
        m_pLoader->strThreadStatus = step.strSummary;
        m_pLoader->bThreadStatusChanged = false;
    }
    SetDlgItemText(IDC_PLANUNG_STATUS, m_strStatus);
    if (!step.strError.IsEmpty()) m_strTakenError = step.strError;
}

CString CHistoryDlg::ArchivedCondition(long lKursID, const CString& strLimit) {
    // The registrations of the archive: of the course, past the archive age, with a final status.
    // A registration on or before the limit (the archive age back from now, worked out once) is
    // past it: a plain comparison spares those rows the date arithmetic of each row.
    const CString strAge = L"dateadd(mm, (select convert(int,strValue) from CustFieldValue where guid = "
                           L"'d4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d'), PersonKurs.dtDatum) <= getdate()";
    CString strPastAge = strAge;
    if (!strLimit.IsEmpty()) strPastAge = L"(PersonKurs.dtDatum <= " + strLimit + L" OR " + strAge + L")";
    CString strArchived;
    strArchived.Format(L"PersonKurs.lKursID = %d AND \t\t%s AND \t\tlStatus NOT IN (%d,%d,%d,%d)", lKursID,
                       static_cast<LPCWSTR>(strPastAge), 0L, 7L, 3L, 4L);
    return strArchived;
}

CString CHistoryDlg::LimitStatement() {
    return L"SELECT dateadd(mm, 0 - (select convert(int,strValue) from CustFieldValue where guid = "
           L"'d4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d'), getdate()) AS dtLimit";
}

CString CHistoryDlg::RowsStatement(long lSecUserID, const CString& strArchived, const CString& strYears) {
    // The rank and its short name come with each row (the person's current grade), read in the
    // same statement rather than asked of the logic server person by person.
    CString strSQL;
    strSQL.Format(
        L"SELECT lPersonKursID AS ID, lKursinstanzID, Person.lPersonID, strName + ' ' + strVorname AS strPerson, "
        L"strAdresse1L, fWeiblich, strPLZOrt, \t\tcbm.strBezeichnung AS strMandant, lStatus, dtAnmeldung, "
        L"PersonKurs.strBemerkung, PersonKurs.dtDatum, year(PersonKurs.dtDatum) AS lYear, \t\tcase when "
        L"fTeilnehmer = 1 then 1 else 3 end AS art, dblInstanzDauer, strInstanzOrt, strInstanzLeitung, \t\t"
        L"isnull(PersonKurs.lKursleitungID, -1) as lKursleitungID, dbo.fn_GetFunktionBezeichnung(isnull(lFunktionID, "
        L"0)) as strFunktion, isnull(sm.lRight,0) AS lRight, \t\tisnull(Grad.lRang, 0) AS lGradRang, "
        L"isnull(Grad.strKurzbezeichnung, '') AS strGradKurz, isnull(Grad.strKurzbezeichnungF, '') AS strGradKurzF "
        L"\t\tFROM Person JOIN view_CacheBezeichnung cbm ON "
        L"Person.lMandantID = cbm.lID AND cbm.lTableID = 45 \t\tJOIN PersonKurs ON Person.lPersonID = "
        L"PersonKurs.lPersonID \t\tLEFT OUTER JOIN SecMandant sm ON Person.lMandantID = sm.lMandantID AND "
        L"sm.lQvSecUserID = %d AND sm.lTableID = 4 \t\tJOIN view_Ort ON Person.lOrtID = view_Ort.lOrtID \t\tLEFT "
        L"OUTER JOIN Kursleitung ON PersonKurs.lKursleitungID = Kursleitung.lKursleitungID \t\tLEFT OUTER JOIN "
        L"Grad ON Person.lCAktGradID = Grad.lGradID \t\tWHERE %s%s \t\tORDER BY lYear DESC",
        lSecUserID, static_cast<LPCWSTR>(strYears), static_cast<LPCWSTR>(strArchived));
    return strSQL;
}

HRESULT CHistoryDlg::LoadList(Loader& loader) {
    // No resource scope here: the module's texts are read by their own handle, and the current
    // one belongs to the GUI thread.
    // The rows of the load before that the list has not taken yet are dropped (this load empties
    // the list); its end stays. This load begins once the list has taken that end: the old and
    // the new rows are never held together, and the count of a cancelled load is shown before
    // this load's progress replaces it.
    loader.handoff.DropIf([](const LoaderStep& step) { return step.kind == LoaderStep::Row; });
    loader.handoff.WaitForRoom(0, [&loader] { return loader.lStop.load() != 0; });
    if (loader.lStop.load()) return S_OK;
    loader.lIdle = 0;
    loader.lCancel = 0;
    // A request made before this load began asked for this very load.
    const long nLoad = loader.lRequests.load();
    loader.lBegun = nLoad;
    const long lLoadKursID = loader.lLoadKursID.load();
    const COLORREF colorFemale = loader.colorLoad.load();
    // A statement ended by a cancel that was asked for is no failure, and is not traced as one.
    const auto traceFailure = [&loader, nLoad](HRESULT hrFailed, int nLine) {
        if (!loader.Cancelled(nLoad)) QvAddHRErrorFile(kSource, nLine, hrFailed);
    };
    {
        LoaderStep begin;
        begin.kind = LoaderStep::Begin;
        begin.colorFemale = colorFemale;
        loader.handoff.Hand(std::move(begin));
    }

    long lBesucht = 0, lTeilweise = 0, lAbwesend = 0, lRows = 0;
    std::vector<std::pair<long, long>> years;
    // The logic server is the suite's source of ranks: without it the archive reads nothing and
    // says why. The ranks themselves come with the rows (below), not from one call per person.
    INQLogicServer* pLogic = nullptr;
    HRESULT hr = OpenLogicServer(pLogic);
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    if (SUCCEEDED(hr)) hr = kurs::OpenConnection(conn);
    // A window that closes cancels the statement the loader is in; the connection is known to it
    // while it is open.
    struct ConnShown {
        Loader& loader;
        ConnShown(Loader& l, CQvADOConnection* pConn) : loader(l) {
            std::lock_guard<std::mutex> lock(loader.connLock);
            loader.pConn = pConn;
        }
        ~ConnShown() {
            std::lock_guard<std::mutex> lock(loader.connLock);
            loader.pConn = nullptr;
        }
    } connShown(loader, &conn);
    const CString strGeplant = KursLoadString(IDS_OHNE_FUNKTION);
    const CString strProgress = KursLoadString(IDS_HISTORY_PROGRESS);
    // The archive's years, newest first, with their registrations. The rows are read in runs of
    // years, each by a statement of its own: the newest year alone, so that its rows show at
    // once, then runs of years that may hold twice as many registrations as the run before,
    // from kYearRunRows on. Each statement sorts only its own years' rows, and the course's
    // rows are passed by a few times only.
    std::vector<std::pair<long, long>> yearRows;
    // A request is honoured wherever it meets the load: before each statement, while the
    // loader waits for room and at every tenth row.
    bool bCancelled = false;
    const auto honourCancel = [&] {
        if (!loader.Cancelled(nLoad)) return false;
        loader.lCancel = 0;
        bCancelled = true;
        return true;
    };
    // The limit of the archive age, a second before the moment the age ends now (none without
    // the age: the rows' own arithmetic then decides).
    CString strLimit;
    if (SUCCEEDED(hr) && !honourCancel()) {
        hr = rs.OpenSQL(LimitStatement(), 0, 1);
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
        COleDateTime dtLimit;
        if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(0L, &dtLimit);
        if (SUCCEEDED(hr) && !bEOF && dtLimit.GetStatus() == COleDateTime::valid)
            strLimit = CQvDateTime(dtLimit.m_dt - 1.0 / 86400.0).SQLConvert();
        if (SUCCEEDED(hr)) rs.Close();
        if (FAILED(hr)) traceFailure(hr, __LINE__);
    }
    const CString strArchived = ArchivedCondition(lLoadKursID, strLimit);
    if (SUCCEEDED(hr) && !honourCancel()) {
        hr = rs.OpenSQL(L"SELECT year(PersonKurs.dtDatum) AS lYear, count(*) AS lCount FROM PersonKurs WHERE " +
                            strArchived + L" GROUP BY year(PersonKurs.dtDatum) ORDER BY lYear DESC",
                        0, 1);
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
        while (SUCCEEDED(hr) && !bEOF) {
            long lYear = 0, lCount = 0;
            hr = rs.GetFieldValue(0L, &lYear);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(1L, &lCount);
            if (SUCCEEDED(hr)) yearRows.emplace_back(lYear, lCount);
            if (SUCCEEDED(hr)) hr = rs.MoveNext(&bEOF);
        }
        if (SUCCEEDED(hr)) rs.Close();
        if (FAILED(hr)) traceFailure(hr, __LINE__);
    }
    std::vector<CString> statements;
    // A server plans each statement on its own, and its plan passes by all persons of the
    // database once per statement, however few rows the statement has: there the newest year
    // comes alone and all others with the second statement.
    long lRunLimit = QvDBIsServerDatabase(kurs::kProfile) ? std::numeric_limits<long>::max() / 4 : kYearRunRows;
    for (std::size_t nFirst = 0; nFirst < yearRows.size();) {
        std::size_t nEnd = nFirst + 1;
        long lRunRows = yearRows[nFirst].second;
        while (nFirst > 0 && nEnd < yearRows.size() && lRunRows + yearRows[nEnd].second <= lRunLimit)
            lRunRows += yearRows[nEnd++].second;
        if (nFirst > 0) lRunLimit = std::max(lRunLimit, 2 * lRunRows);
        CString strYears;
        // The years as a range of dates, tested first: a plain comparison that passes by the
        // course's rows of other years before their archive age is worked out. The bounds are
        // days, which also hold for a date stored without its time.
        strYears.Format(L"PersonKurs.dtDatum >= '%04d-01-01' AND PersonKurs.dtDatum < '%04d-01-01' AND ",
                        yearRows[nEnd - 1].first, yearRows[nFirst].first + 1);
        statements.push_back(RowsStatement(kurs::CurrentSecUserID(), strArchived, strYears));
        nFirst = nEnd;
    }
    // No year: the statement still runs (and reports what keeps it from running).
    if (statements.empty()) statements = {RowsStatement(kurs::CurrentSecUserID(), strArchived, CString())};
    // The rows go to the GUI thread a few dozen at a time: its event loop wakes once for them, not
    // once for each row it would take as soon as it came. Rows wait as list rows, not in the
    // queue: the loader keeps a slice or two ahead.
    std::vector<LoaderStep> batch;
    batch.reserve(kHandRows);
    const auto handBatch = [&] {
        for (LoaderStep& waiting : batch) loader.handoff.Hand(std::move(waiting));
        batch.clear();
        loader.handoff.WaitForRoom(1024, [&loader, nLoad] { return loader.Cancelled(nLoad); });
    };
    for (std::size_t nStatement = 0; nStatement < statements.size() && SUCCEEDED(hr) && !bCancelled; ++nStatement) {
        if (honourCancel()) break;
        BOOL bEOF = TRUE;
        // Forward-only and read-only: the rows stream as they are read, none is held twice.
        hr = rs.OpenSQL(statements[nStatement], 0, 1);
        if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
        if (FAILED(hr)) traceFailure(hr, __LINE__);
        while (SUCCEEDED(hr) && !bEOF) {
            LoaderStep step;
            ArchiveRow& row = step.row;
            long lYear = 0, lKursleitungID = -1;
            CString strFunktion, strGradKurz, strGradKurzF;
            COleDateTime dtDatum;
            // By position (see RowsStatement), and only what the row shows: the role's name of
            // instructors, the rank's short name of the person's sex (a woman's falls back to the
            // common one).
            hr = rs.GetFieldValue(long(eColPersonID), &row.lPersonID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColID), &row.lID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColKursinstanzID), &row.lRun);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColStatus), &row.lStatus);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColYear), &lYear);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColArt), &row.lArt);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColRight), &row.lRight);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColKursleitungID), &lKursleitungID);
            if (SUCCEEDED(hr) && row.lArt == 3 && lKursleitungID != -1)
                hr = rs.GetFieldValue(long(eColFunktion), &strFunktion);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColDatum), &dtDatum);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColDauer), &row.dblDauer);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColPerson), &row.strPerson);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColWeiblich), &row.bWeiblich);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColAdresse), &row.strAdresse);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColOrt), &row.strOrt);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColKursort), &row.strKursort);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColLeitung), &row.strLeitung);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColBemerkung), &row.strBemerkung);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColMandant), &row.strMandant);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(long(eColGradRang), &row.lRang);
            if (SUCCEEDED(hr) && row.bWeiblich) hr = rs.GetFieldValue(long(eColGradKurzF), &strGradKurzF);
            if (SUCCEEDED(hr) && strGradKurzF.IsEmpty()) hr = rs.GetFieldValue(long(eColGradKurz), &strGradKurz);
            if (FAILED(hr)) {
                traceFailure(hr, __LINE__);
                break;
            }
            row.strDienstgrad = NQ_DienstgradKurz(row.bWeiblich != FALSE, strGradKurz, strGradKurzF);
            row.dtDatum = dtDatum.GetStatus() == COleDateTime::valid ? double(dtDatum.m_dt) : 0;
            long lAttended = 0;
            const auto eStatus = static_cast<EPersonKursStatus>(row.lStatus);
            if (row.lArt == 1) {
                if (row.lStatus == 1) ++lBesucht;
                else if (row.lStatus == 6) ++lTeilweise;
                else if (row.lStatus == 2 || row.lStatus == 5) ++lAbwesend;
                lAttended = (row.lStatus == 1 || row.lStatus == 6) ? 1 : 0;
                row.strStatus = NQ_GetPersonKursStatusBezeichnung(eStatus, -1, TRUE, CString());
                row.nImage = static_cast<int>(row.lStatus + 1);
            } else if (row.lArt == 3) {
                row.strStatus = NQ_GetPersonKursStatusBezeichnung(eStatus, -1, FALSE, CString()) + L" | " +
                                (lKursleitungID != -1 ? strFunktion : strGeplant);
                row.nImage = static_cast<int>(row.lStatus + 14);
            }
            batch.push_back(std::move(step));
            if (batch.size() >= kHandRows) handBatch();
            if (!years.empty() && years.back().first == lYear) years.back().second += lAttended;
            else years.emplace_back(lYear, lAttended);
            ++lRows;
            if (lRows % 10 == 0) {
                if (honourCancel()) break;
                CString strText;
                strText.Format(strProgress, lRows);
                loader.SetThreadStatus(strText);
            }
            hr = rs.MoveNext(&bEOF);
        }
        handBatch();
        if (SUCCEEDED(hr)) rs.Close();
    }
    // The report is the GUI thread's: the loader only composes its text.
    CString strError;
    if (FAILED(hr) && !loader.Cancelled(nLoad)) {
        conn.GetErrorText(strError);
        if (strError.IsEmpty()) strError.Format(L"No OLEDB Error available!\n%s", static_cast<LPCWSTR>(CrackHR(hr)));
    }
    if (pLogic) pLogic->Release();
    CString strYears;
    for (const auto& [lYear, lCount] : years) {
        CString strYear;
        strYear.Format(L"%d: %d;  ", lYear, lCount);
        strYears += strYear;
    }
    CString strSummary;
    strSummary.Format(KursLoadString(IDS_HISTORY_STATUS), static_cast<LPCWSTR>(strYears), lBesucht, lTeilweise,
                      lAbwesend);
    loader.SetThreadStatus(strSummary);
    {
        LoaderStep end;
        end.kind = LoaderStep::End;
        end.strSummary = strSummary;
        end.strError = strError;
        loader.handoff.Hand(std::move(end));
    }
    loader.lIdle = 1;
    return hr;
}

// ---- the row operations

void CHistoryDlg::OnBnEdit() {
    CKursResourceScope scope;
    long lID = 0;
    if (!BeginSelectedRowEdit(&m_list, eParamID, lID)) return;
    const BOOL bSaved = EditBooking(lID, TRUE);
    if (bSaved) StartThread();
    EndBookingCommand(S_OK, bSaved, L"CHistoryDlg::OnBnEdit", TRUE);
}

void CHistoryDlg::OnBnRemove() {
    CKursResourceScope scope;
    long lID = 0;
    if (!BeginSelectedRowEdit(&m_list, eParamID, lID)) return;
    CQvListItemArray items;
    m_list.QvGetSelListItemArray(items);
    if (!ConfirmRemoval(items)) {
        EndEdit();
        return;
    }
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    CVRQKurs kurs;
    BOOL bChanged = FALSE;
    for (int i = 0; i < items.GetSize() && SUCCEEDED(hr); ++i) {
        long lPersonKursID = 0, lPersonID = 0, lRun = -1, lArt = 0, lShown = -1;
        items[i]->GetParam(eParamID, &lPersonKursID);
        items[i]->GetParam(eParamPerson, &lPersonID);
        items[i]->GetParam(eParamKursinstanz, &lRun);
        items[i]->GetParam(eParamArt, &lArt);
        items[i]->GetParam(eParamStatus, &lShown);
        // Each row by its own kind: a mixed selection removes instructors as instructors.
        if (lPersonID == 0 || (lArt != 1 && lArt != 3)) continue;
        // Shown once; the loop stops at a failure.
        hr = RemoveBooking(conn, kurs, lArt == 1, lPersonKursID, lPersonID, lRun, lShown);
        if (SUCCEEDED(hr)) bChanged = TRUE;
    }
    StartThread();
    EndBookingCommand(hr, bChanged, L"CHistoryDlg::OnBnRemove", TRUE);
}

void CHistoryDlg::OnBnChangeState() {
    CKursResourceScope scope;
    long lID = 0;
    if (!BeginSelectedRowEdit(&m_list, eParamID, lID)) return;
    CQvListItemArray items;
    m_list.QvGetSelListItemArray(items);
    long lNewStatus = 0;
    if (items.GetSize() == 0 || !AskNewStatus(TRUE, -1, SharedParam(items, eParamStatus), lNewStatus)) {
        EndEdit();
        return;
    }
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    CVRQKurs kurs;
    BOOL bChanged = FALSE;
    for (int i = 0; i < items.GetSize() && SUCCEEDED(hr); ++i) {
        long lPersonKursID = 0, lPersonID = 0, lArt = 0, lRun = -1, lShown = -1;
        items[i]->GetParam(eParamID, &lPersonKursID);
        items[i]->GetParam(eParamPerson, &lPersonID);
        items[i]->GetParam(eParamArt, &lArt);
        items[i]->GetParam(eParamKursinstanz, &lRun);
        items[i]->GetParam(eParamStatus, &lShown);
        // The participant statuses do not apply to instructors.
        if (lPersonID == 0 || lArt != 1) continue;
        // The archive's change follows no run's rules; it finds the registration as the archive
        // shows it, in its run and with its status, or leaves it as it is stored.
        hr = kurs.UpdatePersonKursStatus(TRUE, lPersonKursID, lPersonID, -1, static_cast<EPersonKursStatus>(lNewStatus),
                                         lShown, lRun);
        // The course API has shown the error of its own steps; the command's report follows.
        if (SUCCEEDED(hr)) bChanged = TRUE;
        else HI_TRACEHR(hr);
    }
    StartThread();
    EndBookingCommand(hr, bChanged, L"CHistoryDlg::OnBnChangeState", TRUE);
}
