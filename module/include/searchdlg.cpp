#include "searchdlg.h"

#include "heaptrim.h"
#include "leftworkers.h"
#include "nqcommon.h"
#include "nqsearchcalls.h"
#include "optionserver.h"
#include "qvdblookup.h"
#include "qvdbretry.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "qvregvalue.h"
#include "qvsec.h"
#include "searchres.h"
#include "searchresource.h"

#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <memory>
#include <set>
#include <cstring>

namespace {
const wchar_t kTraceSource[] = L"searchdlg.cpp";
const wchar_t kCommonKey[] = L"Software\\Qovaro\\NQ2\\Common";
const wchar_t kProfile[] = L"Qovaro.NQ2";
// The rights function of the contact menu.
const wchar_t kContactFunction[] = L"B358A8C3-4EB1-4646-8C69-095D3D0C45EF";

// What the worker of this thread read ahead for the statement it builds; none elsewhere.
thread_local const CSearchDlg::ReadAhead* t_pReadAhead = nullptr;

// The option server of a statement builder: the answers read ahead, and the server itself for an
// option not named.
class ReadAheadOptions : public IOptionServer {
public:
    explicit ReadAheadOptions(const CSearchDlg::ReadAhead& readAhead) : m_readAhead(readAhead) {}
    HRESULT QueryInterface(const IID& riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IOptionServer) {
            *ppv = static_cast<IOptionServer*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_nRefs; }
    ULONG Release() override {
        const ULONG n = --m_nRefs;
        if (n == 0) delete this;
        return n;
    }
    HRESULT GetOption(long lArea, BSTR bstrName, long lScope, long lLookup, VARIANT* pValue) override {
        const CString strName(bstrName ? bstrName : L"");
        for (const auto& o : m_readAhead.options) {
            if (o.lArea != lArea || o.lLookup != lLookup || o.lScope != lScope || o.strName != strName) continue;
            if (pValue) {
                VariantClear(pValue);
                VariantCopy(pValue, &o.value);
            }
            return o.hr;
        }
        COptionServer server;
        return server.GetOption(lArea, strName, pValue, lLookup, lScope);
    }
    HRESULT SetOption(long lArea, BSTR bstrName, long lLookup, VARIANT value) override {
        COptionServer server;
        return server.SetOption(lArea, CString(bstrName ? bstrName : L""), value, lLookup);
    }

private:
    const CSearchDlg::ReadAhead& m_readAhead;
    ULONG m_nRefs = 1;
};
}  // namespace

IMPLEMENT_DYNAMIC(CSearchDlg, CQvDialog)

BEGIN_MESSAGE_MAP(CSearchDlg, CQvDialog)
    ON_EN_CHANGE(IDC_SEARCH_TEXT, &CSearchDlg::OnSearchChanged)
    ON_BN_CLICKED(IDC_SEARCH_CASESENSITIVE, &CSearchDlg::OnSearchChanged)
    ON_NOTIFY(NM_DBLCLK, IDC_SEARCH_LIST, &CSearchDlg::OnDblClkList)
    ON_NOTIFY(NM_DBLCLK, IDC_SEARCH_LIST_UNSORTED, &CSearchDlg::OnDblClkList)
    ON_BN_CLICKED(IDC_SEARCH_FILTER, &CSearchDlg::OnFilter)
    ON_BN_CLICKED(IDC_SEARCH_MENU, &CSearchDlg::OnNewContact)
    ON_WM_DESTROY()
    ON_MESSAGE(WM_SEARCH_BEGIN, &CSearchDlg::OnSearchBegin)
    ON_MESSAGE(WM_SEARCH_ROW, &CSearchDlg::OnSearchRow)
    ON_MESSAGE(WM_SEARCH_END, &CSearchDlg::OnSearchEnd)
    ON_MESSAGE(WM_SEARCH_FAILED, &CSearchDlg::OnSearchFailed)
    ON_MESSAGE(WM_SEARCH_TAKE, &CSearchDlg::OnSearchTake)
END_MESSAGE_MAP()

CSearchDlg::CSearchDlg(CString strListKey, CWnd* pParent)
    : CQvDialog(IDD_SEARCH, pParent), m_strListKey(strListKey) {
    COptionServer opt;
    opt.GetOption(-1000, L"ApplyMandantFilterOnAddItems", &m_bApplyMandantFilter, 1, 0);
}

CSearchDlg::~CSearchDlg() {
    // The window went without OnDestroy (never created): no worker takes messages of it.
    StopWorkers();
}

void CSearchDlg::DoDataExchange(CDataExchange* pDX) {
    CQvDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SEARCH_TEXT, m_edtSearch);
    DDX_Control(pDX, m_bSortList ? IDC_SEARCH_LIST : IDC_SEARCH_LIST_UNSORTED, m_lstResult);
    DDX_Control(pDX, m_bSortList ? IDC_SEARCH_LIST_UNSORTED : IDC_SEARCH_LIST, m_lstSpare);
    DDX_Check(pDX, IDC_SEARCH_CASESENSITIVE, m_bCaseSensitive);
}

void CSearchDlg::AddFilter(CString strJoin, CString strWhere) {
    if (!strJoin.IsEmpty()) m_strJoin += strJoin + L" ";
    if (!strWhere.IsEmpty()) m_strWhere += strWhere + L" AND ";
}

void CSearchDlg::ReadAheadOption(long lArea, const wchar_t* lpszName, long lLookup, long lScope) {
    ReadAhead::Option option;
    option.lArea = lArea;
    option.strName = lpszName;
    option.lLookup = lLookup;
    option.lScope = lScope;
    m_readAhead.options.push_back(std::move(option));
}

void CSearchDlg::ReadAheadRights(const wchar_t* lpszFunction) {
    ReadAhead::Rights rights;
    rights.strFunction = lpszFunction;
    m_readAhead.rights.push_back(std::move(rights));
}

void CSearchDlg::ReadAhead::Read() {
    COptionServer opt;
    for (Option& o : options) {
        o.value.Clear();
        o.hr = opt.GetOption(o.lArea, o.strName, &o.value, o.lLookup, o.lScope);
    }
    for (Rights& r : rights) {
        CQvSec sec;
        sec.LoadRights(CQvGUID(r.strFunction));
        r.dwRights = sec.GetRights();
    }
    CQvSec sec;
    CString strName, strUserID;
    lUserID = 0;
    sec.GetUser(&strName, &strUserID, &lUserID);
}

void CSearchDlg::AnswerFromReadAhead(COptionServer& opt) {
    if (!t_pReadAhead || opt.m_pServer) return;
    opt.m_pServer = new ReadAheadOptions(*t_pReadAhead);
}

DWORD CSearchDlg::ReadAheadRightsOf(const wchar_t* lpszFunction) {
    if (t_pReadAhead) {
        for (const auto& r : t_pReadAhead->rights)
            if (r.strFunction.CompareNoCase(lpszFunction) == 0) return r.dwRights;
    }
    CQvSec sec;
    sec.LoadRights(CQvGUID(lpszFunction));
    return sec.GetRights();
}

BOOL CSearchDlg::OnInitDialog() {
    CSearchResourceScope scope;
    CQvDialog::OnInitDialog();
    m_lstSpare.ShowWindow(SW_HIDE);
    m_lstSpare.SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOMOVE);
    m_lstResult.ShowStatusLine(TRUE);

    m_btnFilter.AttachButton(IDC_SEARCH_FILTER, this, QVBB_IMAGE_ONLY, 41);
    m_btnFilter.SetFlatButton(TRUE);
    m_menuNew.CreatePopupMenu();

    DWORD dwMenuRights = 0;
    if (m_bShowMenu && m_lTableID == 71) {
        m_menuNew.AppendMenu(MF_STRING, IDS_SEARCH_NEWCONTACT, SearchLoadString(IDS_SEARCH_NEWCONTACT));
        m_menuNew.AppendMenu(MF_STRING, IDS_SEARCH_CONTACTFROMPERSON, SearchLoadString(IDS_SEARCH_CONTACTFROMPERSON));
        CQvSec sec;
        sec.LoadRights(CQvGUID(kContactFunction));
        dwMenuRights = sec.GetRights();
    }
    m_btnMenu.AttachButton(IDC_SEARCH_MENU, this, &m_menuNew, 3);
    m_btnMenu.SetFlatButton(TRUE);
    const BOOL bMenuShown = m_bShowMenu && !CQvSec::HasNoRights(dwMenuRights);
    m_btnMenu.ShowWindow(bMenuShown ? SW_SHOW : SW_HIDE);
    m_btnMenu.EnableWindow(bMenuShown && (dwMenuRights & 0x100) != 0);

    // The two top rows keep their height; the edit stretches up to the filter button, the list
    // takes the rest (up to the menu button when it is shown).
    CQvLayoutNode* root = m_Layout.CreateRelativeNode(this);
    m_Layout.CreateWindowNode(root, IDC_SEARCH_TEXT)
        ->Attach(eQvRight, root, eQvRight, -24)
        ->KeepSize(FALSE, TRUE);
    m_Layout.CreateWindowNode(root, IDC_SEARCH_FILTER)->Attach(eQvRight, root, eQvRight, -3)->KeepSize();
    m_Layout.CreateWindowNode(root, IDC_SEARCH_CASESENSITIVE)->Attach(eQvRight, root, eQvRight, -3)->KeepSize();
    CQvLayoutNode* list = m_Layout.CreateWindowNode(root, &m_lstResult);
    list->Attach(eQvBottom, root, eQvBottom, -3);
    if (m_bShowMenu) {
        list->Attach(eQvRight, root, eQvRight, -30);
        m_Layout.CreateWindowNode(root, IDC_SEARCH_MENU)->Attach(eQvRight, root, eQvRight, -3)->KeepSize();
    } else {
        list->Attach(eQvRight, root, eQvRight, -3);
    }
    m_Layout.CreateLayoutListener(this, root);

    SetupColumns();

    const CString strKey = CString(kCommonKey) + m_strListKey;
    BOOL bRestore = FALSE;
    {
        COptionServer opt;
        opt.GetOption(-4000, L"RestoreLastSearchtext", &bRestore, 1, 0);
    }
    if (bRestore) {
        CString strLast;
        if (CQvRegistry::GetValue(strKey, L"LastSearchtext", strLast) && !strLast.IsEmpty())
            m_edtSearch.SetWindowText(strLast);
    }
    // After the text: its change reads the still unset check box into the option.
    DWORD dwCase = 0;
    if (CQvRegistry::GetValue(strKey, L"CaseSensitiv", dwCase)) m_bCaseSensitive = dwCase ? TRUE : FALSE;

    long lCount = 0;
    CString strCondition;
    strCondition.Format(L"fUsed4Search = 1 AND lTableID = %d", m_lTableID);
    const long hrFields = QvDBLookupLong(L"count(*)", L"CustFieldType", strCondition, &lCount, kProfile);
    m_bCustFieldsUsed = lCount > 0;
    // The database's failure was told just now: the first search does not tell it again.
    if (FAILED(hrFields)) m_nQuietFailure = m_nRequested.load() + 1;

    if (m_lstResult.m_hWnd) {
        if (m_bMultiSelect) {
            m_lstResult.m_bKeepSelection = FALSE;
            m_lstResult.QvSetMultiSelection();
            m_lstResult.QvSetCheckable(TRUE);
        } else {
            m_lstResult.QvSetSingleSelection();
        }
    }
    AddToolTipText(IDC_SEARCH_FILTER, IDS_SEARCH_FILTER_TIP);
    UpdateData(FALSE);
    m_handoff.Attach(m_hWnd, WM_SEARCH_TAKE);

    m_bStop = FALSE;
    SearchWorker* pWorker = nullptr;
    {
        std::lock_guard g(m_runningLock);
        pWorker = m_pCurrent = StartWorker();
    }
    if (!pWorker) {
        char buf[101] = {};
        std::strncpy(buf, std::strerror(errno), 100);
        CString strMsg;
        strMsg.Format(L"CSearchDlg::OnInitDialog() AfxBeginThread() failed: '%s', lTableID %d",
                      CString(buf).GetString(), m_lTableID);
        QvReportMsg(1, strMsg, L"CSearchDlg::OnInitDialog", L"Default", __FILE__, __LINE__, 1);
        return FALSE;
    }
    if (m_bAutoSearch) Refresh();
    return TRUE;
}

void CSearchDlg::Refresh() {
    long lMandantID = 0;
    NQ_GetActMandantID(lMandantID);
    m_lActMandantID = lMandantID;
    if (!m_bEmbedded) {
        COptionServer opt;
        opt.GetOption(-1000, L"ApplyMandantFilterOnAddItems", &m_bApplyMandantFilter, 1, 0);
    }
    RequestSearch();
}

void CSearchDlg::TakeSnapshot() {
    CString strText;
    if (m_edtSearch.m_hWnd) m_edtSearch.GetWindowText(strText);
    std::vector<int> widths;
    if (m_lstResult.m_hWnd) {
        CHeaderCtrl* header = m_lstResult.GetHeaderCtrl();
        const int count = header ? header->GetItemCount() : 0;
        for (int i = 0; i < count; ++i) widths.push_back(m_lstResult.GetColumnWidth(i));
    }
    std::lock_guard g(m_snapshotLock);
    m_strSnapshotText = strText;
    m_bSnapshotCase = m_bCaseSensitive;
    m_snapshotWidths = std::move(widths);
}

void CSearchDlg::RequestSearch() {
    std::lock_guard g(m_runningLock);
    if (m_bStop) return;
    TakeSnapshot();
    ++m_nRequested;
    SearchWorker* pWorker = m_pCurrent;
    if (pWorker && (pWorker->bBusy || pWorker->bGone)) {
        // Given up: its statement is ended where a cancel reaches it (sent by the left work's
        // thread, never by this one), and nothing more of its search is shown.
        pWorker->bRestart = TRUE;
        std::shared_ptr<SearchWorker> pKept = pWorker->shared_from_this();
        CLeftWorkers::Cancel([pRaw = pKept.get(), nFor = pWorker->nServing.load()] { pRaw->Cancel(nFor); }, pKept);
        SearchWorker* pNext = nullptr;
        for (const auto& w : m_workers)
            if (!w->bBusy && !w->bGone) pNext = w.get();
        // A bound for a user who keeps typing while every search is held up: the newest text
        // then waits for the current worker.
        constexpr std::size_t kMaxWorkers = 8;
        if (!pNext && m_workers.size() < kMaxWorkers) pNext = StartWorker();
        if (pNext) m_pCurrent = pNext;
    }
    if (m_pCurrent) {
        m_pCurrent->bRestart = TRUE;
        SetEvent(m_pCurrent->hEvent);
    }
}

CSearchDlg::SearchWorker* CSearchDlg::StartWorker() {
    auto pWorker = std::make_shared<SearchWorker>();
    pWorker->pDlg = this;
    pWorker->hWnd = m_hWnd;
    pWorker->readAhead = m_readAhead;
    pWorker->hEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    pWorker->pThread =
        AfxBeginThread(&CSearchDlg::WorkerProc, pWorker.get(), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    if (!pWorker->pThread) {
        const int nError = errno;
        CloseHandle(pWorker->hEvent);
        errno = nError;
        return nullptr;
    }
    pWorker->pThread->m_bAutoDelete = FALSE;
    pWorker->pThread->ResumeThread();
    m_workers.push_back(std::move(pWorker));
    return m_workers.back().get();
}

std::function<void()> CSearchDlg::beforeInterrupt;

void CSearchDlg::SearchWorker::Cancel(long nSearch) {
    // The worker takes its next search only under this lock too: the search found here is the
    // one interrupted.
    std::lock_guard c(connLock);
    if (!pConn || (nSearch != 0 && nServing != nSearch)) return;
    if (beforeInterrupt) beforeInterrupt();
    pConn->Cancel();
}

CSearchDlg::SearchWorker::~SearchWorker() {
    // Only once its thread has ended.
    delete pThread;
    if (hEvent) CloseHandle(hEvent);
}

void CSearchDlg::StopWorkers() {
    // No worker is waited for: each is told to end, its statement is cancelled where a cancel
    // reaches it, and it is left to the library's owner of left workers.
    std::vector<std::shared_ptr<SearchWorker>> workers;
    {
        std::lock_guard g(m_runningLock);
        m_bStop = TRUE;
        for (const auto& w : m_workers) SetEvent(w->hEvent);
        workers.swap(m_workers);
        m_pCurrent = nullptr;
    }
    // A worker waiting for room in the hand-off goes on to see the stop.
    m_handoff.Detach();
    for (auto& w : workers) {
        {
            // A worker holds its gate only for steps that wait neither for this thread nor for a
            // server (its database calls, the options and rights its statements read, and its
            // failures' reports are outside, and a wait for room ends with the stop): the gate is
            // had at once, and from then on the worker touches nothing of the window. The rows it
            // made go with the window.
            std::lock_guard gate(w->gate);
            for (CQvListItem* pItem : w->batch) m_lstResult.QvDiscardCreatedItem(pItem);
            w->batch.clear();
            w->bLeft = true;
        }
        // One that has ended goes with the list; the others end by themselves.
        if (WaitForSingleObject(w->pThread->m_hThread, 0) != WAIT_TIMEOUT) continue;
        LeaveBehind(std::move(w));
    }
    workers.clear();
    ReapLeftWorkers(0);
}

void CSearchDlg::LeaveBehind(std::shared_ptr<SearchWorker> pWorker) {
    SearchWorker* pRaw = pWorker.get();
    const HANDLE hThread = pRaw->pThread->m_hThread;
    CLeftWorkers::Leave(hThread, [pRaw] { pRaw->Cancel(); }, std::move(pWorker));
}

BOOL CSearchDlg::ReapLeftWorkers(DWORD dwWaitMs) { return dwWaitMs ? CLeftWorkers::End(dwWaitMs) : CLeftWorkers::Reap(); }

void CSearchDlg::WaitForLeftWorkers() { ReapLeftWorkers(INFINITE); }

BOOL CSearchDlg::EndLeftWorkers(DWORD dwMilliseconds) { return ReapLeftWorkers(dwMilliseconds); }

HRESULT NQFrameworkCanUnloadNow() {
    CLeftWorkers::Reap();
    return AfxOleCanExitApp() ? S_OK : S_FALSE;
}

void CSearchDlg::OnSearchChanged() {
    UpdateData(TRUE);
    if (m_bAutoSearch) RequestSearch();
}

void CSearchDlg::OnDblClkList(NMHDR*, LRESULT* pResult) {
    if (m_pHost) m_pHost->SendMessage(WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(m_pHost->m_hWnd));
    *pResult = 0;
}

void CSearchDlg::OnFilter() {
    if (NQ_ShowFilterDlg(m_lTableID) == 1) Refresh();
    m_edtSearch.SetFocus();
}

void CSearchDlg::OnNewContact() {
    if (!m_bShowMenu || m_lTableID != 71) return;
    const BOOL bFromPerson = m_btnMenu.GetChosenCommand() == IDS_SEARCH_CONTACTFROMPERSON;
    if (NQ_ShowContactEditDlg(-1, 0, bFromPerson)) Refresh();
}

void CSearchDlg::OnOK() {
    if (m_pHost) m_pHost->SendMessage(WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(m_pHost->m_hWnd));
}

void CSearchDlg::OnCancel() {
    if (m_pHost) m_pHost->SendMessage(WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(m_pHost->m_hWnd));
}

BOOL CSearchDlg::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_F1 && m_pHost) {
        // The host shows its help; the key then ends here, or the walk up the parents would hand
        // it to the host a second time.
        m_pHost->PreTranslateMessage(pMsg);
        CQvDialog::PreTranslateMessage(pMsg);
        return TRUE;
    }
    return CQvDialog::PreTranslateMessage(pMsg);
}

void CSearchDlg::OnDestroy() {
    const CString strKey = CString(kCommonKey) + m_strListKey;
    CQvRegistry::SetValue(strKey, L"CaseSensitiv", DWORD(m_bCaseSensitive ? 1 : 0));
    CString strText;
    m_edtSearch.GetWindowText(strText);
    CQvRegistry::SetValue(strKey, L"LastSearchtext", strText);
    StopWorkers();
    // What the worker handed over and the window will no longer take.
    MSG msg;
    while (PeekMessage(&msg, m_hWnd, WM_SEARCH_ROW, WM_SEARCH_FAILED, PM_REMOVE)) {
        if (msg.message == WM_SEARCH_ROW) {
            std::unique_ptr<std::vector<CQvListItem*>> pRows(reinterpret_cast<std::vector<CQvListItem*>*>(msg.lParam));
            for (CQvListItem* pItem : *pRows) m_lstResult.QvDiscardCreatedItem(pItem);
        } else if (msg.message == WM_SEARCH_FAILED) {
            delete reinterpret_cast<CString*>(msg.lParam);
        }
    }
    m_handoff.Clear([this](SearchStep& step) { DiscardStep(step); });
    for (CQvListItem* pItem : m_arrTaken) m_lstResult.QvDiscardCreatedItem(pItem);
    m_arrTaken.clear();
    m_nFinished = m_nRequested.load();
    CQvDialog::OnDestroy();
    // A long paste's statement was translated, prepared and run on the workers' heaps.
    QvReleaseFreeHeapSoon();
}

void CSearchDlg::CollectSelection() {
    m_arSelectedIDs.clear();
    m_arSelectedIDs2.clear();
    m_arCheckedIDs.clear();
    m_arSelectedTypes.clear();
    m_arCheckedTypes.clear();
    CQvListItemArray items;
    m_lstResult.QvGetSelListItemArray(items);
    for (int i = 0; i < items.GetSize(); ++i) {
        CQvListItem* pItem = items[i];
        if (!pItem) continue;
        long lID = 0;
        if (pItem->GetParam(0, &lID)) m_arSelectedIDs.push_back(lID);
        if (pItem->GetParam(1, &lID)) m_arSelectedIDs2.push_back(lID);
        CollectSelectedItem(pItem);
    }
    if (!m_bMultiSelect) return;
    for (int i = 0; i < m_lstResult.GetVisibleItemCount(); ++i) {
        if (m_lstResult.QvGetCheck(i) != 1) continue;
        CQvListItem* pItem = m_lstResult.QvGetVisibleListItem(i);
        if (!pItem) continue;
        long lID = 0;
        if (pItem->GetParam(0, &lID)) m_arCheckedIDs.push_back(lID);
        CollectCheckedItem(pItem);
    }
}

void CSearchDlg::CollectSelectedItem(CQvListItem*) {}
void CSearchDlg::CollectCheckedItem(CQvListItem*) {}

// ---- the worker and its hand-off

UINT CSearchDlg::WorkerProc(LPVOID pParam) {
    auto* pWorker = static_cast<SearchWorker*>(pParam);
    // A window closed before its worker first ran is not touched at all.
    std::unique_lock gate(pWorker->gate);
    if (pWorker->bLeft) return 0;
    pWorker->pDlg->Work(*pWorker, gate);
    return 0;
}

void CSearchDlg::Work(SearchWorker& worker, std::unique_lock<std::mutex>& gate) {
    // The window is used under the gate only; each call into the database lets go of it, and
    // after one the worker ends at once when the window went meanwhile.
    // Where the failures reported on this thread go: the handle the worker was given.
    const HWND hWnd = worker.hWnd;
    auto outside = [&](auto&& call) {
        gate.unlock();
        call();
        gate.lock();
        return !worker.bLeft;
    };
    long lMax = 0;
    long hr = S_OK;
    CQvADOConnection conn;
    const bool bStayed = outside([&] {
        COptionServer opt;
        hr = opt.GetOption(-4000, L"MaxSearchResults", &lMax, 1, 0);
        if (SUCCEEDED(hr)) hr = conn.Open(kProfile, 0);
        if (SUCCEEDED(hr)) {
            conn.SetIsolationLevel(0x100);
            std::lock_guard c(worker.connLock);
            worker.pConn = &conn;
        }
    });
    // A worker without its connection answers the request it was started for with the failure
    // and ends; the next request starts a worker that tries again.
    const long hrOpen = hr;
    CQvADORecordset rs(&conn);
    // Rows go to the GUI thread in small batches: the first at once, then every few rows or
    // milliseconds, so they appear as they arrive without one message per row.
    std::vector<CQvListItem*>& batch = worker.batch;
    auto lastFlush = std::chrono::steady_clock::now();
    auto flush = [&](long nFor) {
        if (batch.empty()) return;
        auto* pRows = new std::vector<CQvListItem*>(std::move(batch));
        batch.clear();
        if (!PostMessage(WM_SEARCH_ROW, WPARAM(nFor), reinterpret_cast<LPARAM>(pRows))) {
            for (CQvListItem* pItem : *pRows) m_lstResult.QvDiscardCreatedItem(pItem);
            delete pRows;
        }
        lastFlush = std::chrono::steady_clock::now();
    };
    bool bOpen = false;
    long nSearch = 0;
    // A database failure reported on this thread goes to the window as the search's failure,
    // shown there while it lives: the worker never asks the GUI thread for a box.
    QvSetDBErrorReportHook([hWnd, &nSearch](const CString& strText, long, const std::wstring&, long) {
        auto* pText = new CString(strText);
        if (!::PostMessageW(hWnd, WM_SEARCH_FAILED, WPARAM(nSearch), reinterpret_cast<LPARAM>(pText))) delete pText;
    });
    // Whether the search at hand is still wanted: a newer request (for this worker or another)
    // or the window's end gives it up.
    auto wanted = [&] { return !worker.bRestart && !m_bStop; };

    auto fail = [&](long hrFail) {
        QV_TRACEHR(kTraceSource, hrFail);
        flush(nSearch);
        CString strError;
        conn.GetErrorText(&strError);
        if (strError.IsEmpty()) strError = qv::db::LostConnectionText();
        if (strError.IsEmpty()) strError.Format(L"No OLEDB Error available!\n%s", CrackHR(hrFail).GetString());
        // The error first: the search counts as finished once its end arrives.
        auto* pText = new CString(strError);
        if (!PostMessage(WM_SEARCH_FAILED, WPARAM(nSearch), reinterpret_cast<LPARAM>(pText))) delete pText;
        PostMessage(WM_SEARCH_END, WPARAM(nSearch), 0);
    };

    auto givenUp = [&](long hrFail) {
        long lNumber = 0, lNative = 0;
        CString strState;
        conn.GetLastErrorInfo(&lNumber, &lNative, strState);
        if (strState != L"HY008") return;
        CString strTrace;
        strTrace.Format(L"CSearchDlg: the statement of search %d was interrupted for a newer one (0x%X)\n", nSearch,
                        static_cast<unsigned>(hrFail));
        OutputDebugString(strTrace);
    };

    while (bStayed) {
        // Rows of an abandoned search that were not handed over yet are dropped, and its
        // statement is closed before the worker waits.
        for (CQvListItem* pItem : batch) m_lstResult.QvDiscardCreatedItem(pItem);
        batch.clear();
        if (bOpen) {
            long hrClose = S_OK;
            bOpen = false;
            if (!outside([&] { hrClose = rs.Close(); })) break;
            if (FAILED(hrClose)) QV_TRACEHR(kTraceSource, hrClose);
        }
        {
            std::lock_guard g(m_runningLock);
            if (m_bStop) break;
            if (!worker.bRestart) {
                worker.bBusy = false;
                ResetEvent(worker.hEvent);
            }
        }
        if (!outside([&] { WaitForSingleObject(worker.hEvent, INFINITE); })) break;
        CString strText;
        {
            // A search is named by the request it serves; later requests make a new one. A
            // worker given up meanwhile waits for a request of its own.
            std::lock_guard g(m_runningLock);
            if (m_bStop) break;
            if (!worker.bRestart.exchange(FALSE) || m_pCurrent != &worker) continue;
            worker.bBusy = true;
            nSearch = m_nRequested.load();
            {
                // Not while a cancel of the search before is between its check and its interrupt.
                std::lock_guard c(worker.connLock);
                worker.nServing = nSearch;
            }
            {
                std::lock_guard s(m_snapshotLock);
                m_strSearchText = m_strSnapshotText;
                strText = m_strSnapshotText;
                m_bWorkerCase = m_bSnapshotCase;
            }
            PostMessage(WM_SEARCH_BEGIN, WPARAM(nSearch), 0);
        }
        if (FAILED(hrOpen)) {
            fail(hrOpen);
            break;
        }
        {
            std::lock_guard r(m_rowLock);
            m_lSelectID = 0;
            m_lCurrentID = 0;
        }
        // The options and rights of the statement, read before the gate is had again.
        if (!outside([&] { worker.readAhead.Read(); })) break;
        if (!wanted()) continue;
        CString strQuery;
        t_pReadAhead = &worker.readAhead;
        hr = BuildQuery(strText, strQuery);
        t_pReadAhead = nullptr;
        // A newer request came while the statement was built: it is not run at all.
        if (SUCCEEDED(hr) && !wanted()) continue;
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) {
            if (lMax > 0) {
                CString strTop;
                strTop.Format(L"SELECT TOP %d ", lMax + 1);
                strQuery = strTop + strQuery.Mid(7);
            }
            // Forward-only and read-only, so the rows stream from the first one on.
            const bool bWindow = outside([&] {
                hr = rs.OpenSQL(strQuery, 0, 1);
                if (SUCCEEDED(hr)) {
                    bOpen = true;
                    hr = rs.IsEOF(&bEOF);
                }
            });
            if (!bWindow) break;
        }
        if (FAILED(hr)) {
            // The worker stays: the next keystroke searches again. A statement ended for a
            // newer request is no failure.
            if (!wanted()) givenUp(hr);
            else fail(hr);
            continue;
        }
        long nRows = 0;
        bool bEnded = true;  // read to its end or to the limit
        bool bWindow = true;
        while (!bEOF && !(lMax > 0 && nRows >= lMax)) {
            if (!wanted()) {
                bEnded = false;
                break;
            }
            long lID = 0;
            hr = rs.GetFieldValue(L"lID", &lID);
            if (SUCCEEDED(hr)) {
                CQvListItem* pItem = nullptr;
                {
                    std::lock_guard r(m_rowLock);
                    if (worker.bRestart) {
                        bEnded = false;
                        break;
                    }
                    pItem = m_lstResult.QvCreateItem();
                    pItem->SetParam(0, lID);
                    m_lCurrentID = lID;
                    hr = FillRow(&rs, &pItem);
                }
                // A row that failed half-way is shown as far as it was filled.
                batch.push_back(pItem);
                if (nRows == 0 || batch.size() >= 200 ||
                    std::chrono::steady_clock::now() - lastFlush >= std::chrono::milliseconds(25)) {
                    flush(nSearch);
                    // The worker keeps a few slices ahead of the window, no more.
                    m_handoff.WaitForRoom(4096, [&] { return !wanted(); });
                }
            }
            ++nRows;
            if (SUCCEEDED(hr)) bWindow = outside([&] { hr = rs.MoveNext(&bEOF); });
            if (!bWindow) break;
            if (FAILED(hr)) {
                if (!wanted()) givenUp(hr);
                else fail(hr);
                bEnded = false;
                break;
            }
        }
        if (!bWindow) break;
        if (!bEnded) continue;
        flush(nSearch);
        long lSelectID = 0;
        {
            std::lock_guard r(m_rowLock);
            lSelectID = m_lSelectID;
        }
        // The row to select travels with the message: the next search resets it.
        PostMessage(WM_SEARCH_END, WPARAM(nSearch), (LPARAM(lSelectID) << 1) | (bEOF ? 0 : 1));
    }
    // Under the gate still: the window, when it is there, hears of a worker that could not
    // connect; one left behind has had its rows taken by the window.
    if (!worker.bLeft && FAILED(hrOpen)) {
        std::lock_guard g(m_runningLock);
        worker.bGone = true;
    }
    gate.unlock();
    QvSetDBErrorReportHook({});
    if (bOpen) rs.Close();
    std::lock_guard c(worker.connLock);
    worker.pConn = nullptr;
}

// The worker's messages are queued in their order and taken in slices (OnSearchTake), so that a
// long result never keeps the window from its input and paint.
LRESULT CSearchDlg::OnSearchBegin(WPARAM wParam, LPARAM lParam) {
    m_handoff.Hand({WM_SEARCH_BEGIN, wParam, lParam, nullptr});
    return 0;
}

LRESULT CSearchDlg::OnSearchRow(WPARAM wParam, LPARAM lParam) {
    std::unique_ptr<std::vector<CQvListItem*>> pRows(reinterpret_cast<std::vector<CQvListItem*>*>(lParam));
    for (CQvListItem* pItem : *pRows) m_handoff.Hand({WM_SEARCH_ROW, wParam, 0, pItem});
    return 0;
}

LRESULT CSearchDlg::OnSearchEnd(WPARAM wParam, LPARAM lParam) {
    m_handoff.Hand({WM_SEARCH_END, wParam, lParam, nullptr});
    return 0;
}

LRESULT CSearchDlg::OnSearchFailed(WPARAM wParam, LPARAM lParam) {
    m_handoff.Hand({WM_SEARCH_FAILED, wParam, lParam, nullptr});
    return 0;
}

LRESULT CSearchDlg::OnSearchTake(WPARAM, LPARAM) {
    m_handoff.Take([this](SearchStep& step) { TakeStep(step); }, [this] { InsertTakenRows(false); });
    return 0;
}

void CSearchDlg::InsertTakenRows(bool bNow) {
    if (m_arrTaken.empty()) return;
    const auto now = std::chrono::steady_clock::now();
    if (!bNow && m_lstResult.GetItemCount() > 2000 && now - m_tLastInsert < std::chrono::milliseconds(150)) return;
    m_tLastInsert = now;
    std::vector<CQvListItem*> rows;
    rows.swap(m_arrTaken);
    m_lstResult.QvInsertCreatedItems(rows);
}

void CSearchDlg::DiscardStep(SearchStep& step) {
    if (step.pItem) m_lstResult.QvDiscardCreatedItem(step.pItem);
    if (step.nMessage == WM_SEARCH_FAILED) delete reinterpret_cast<CString*>(step.lParam);
}

void CSearchDlg::TakeStep(SearchStep& step) {
    const long nFor = long(step.wParam);
    if (step.nMessage == WM_SEARCH_ROW) {
        long lID = 0;
        step.pItem->GetParam(0, &lID);
        // Rows of an abandoned search, and rows the user keeps checked, are not added again.
        if (nFor != m_nSearch || (m_bMultiSelect && m_mapKeptIDs.count(lID)))
            m_lstResult.QvDiscardCreatedItem(step.pItem);
        else
            m_arrTaken.push_back(step.pItem);
        return;
    }
    InsertTakenRows(true);
    if (step.nMessage == WM_SEARCH_BEGIN) {
        m_nSearch = nFor;
        ShowStatus(IDS_SEARCH_RUNNING);
        KeepCheckedRows();
    } else if (step.nMessage == WM_SEARCH_END) {
        if (nFor != m_nSearch) return;
        if (m_bSortList) m_lstResult.QvSort(-1, TRUE);
        const long lSelectID = long(step.lParam >> 1);
        if (lSelectID != 0) m_lstResult.QvSetSelectionByParam(0, lSelectID);
        else if (m_lstResult.GetVisibleItemCount() > 0) m_lstResult.QvSetSelection(0, TRUE, FALSE);
        ShowStatus((step.lParam & 1) ? IDS_SEARCH_MORE : 0);
        m_nFinished = nFor;
    } else if (step.nMessage == WM_SEARCH_FAILED) {
        std::unique_ptr<CString> pText(reinterpret_cast<CString*>(step.lParam));
        // The search ends with its end message; the worker waits for the next request. A failure
        // of a search that a newer request replaced is not shown: that one reports for itself.
        if (nFor == m_nRequested.load() && nFor != m_nQuietFailure)
            QvReportMsg(1, *pText, L"OLEDB Errormessage", L"Default", __FILE__, __LINE__, 1);
    }
}

void CSearchDlg::KeepCheckedRows() {
    m_mapKeptIDs.clear();
    if (!m_bMultiSelect) {
        m_lstResult.DeleteAllItems();
        return;
    }
    // The unchecked rows go in one removal, not one by one; the rows are read in one call too.
    std::vector<CQvListItem*> arrItems;
    std::vector<bool> arrChecked;
    m_lstResult.QvGetVisibleListItems(arrItems, &arrChecked);
    std::vector<int> arrGone;
    for (std::size_t i = 0; i < arrItems.size(); ++i) {
        long lID = 0;
        if (arrChecked[i] && arrItems[i] && arrItems[i]->GetParam(0, &lID)) m_mapKeptIDs.insert(lID);
        else arrGone.push_back(int(i));
    }
    if (arrGone.size() == arrItems.size()) m_lstResult.DeleteAllItems();
    else m_lstResult.QvDeleteItems(arrGone);
}

void CSearchDlg::ShowStatus(UINT nStatusID) {
    CSearchResourceScope scope;
    const CString strStatus = nStatusID ? SearchLoadString(nStatusID) : CString();
    if (m_pHost) {
        CString strTitle = SearchLoadString(m_nCaptionID);
        if (!strStatus.IsEmpty()) strTitle += L", " + strStatus;
        m_pHost->SetWindowText(strTitle);
    } else {
        SetDlgItemText(IDC_SEARCH_STATUS, strStatus);
    }
}

// ---- helpers of the variants' statements

// The words between blanks, quoted for SQL; a word given twice asks for nothing more, so each
// distinct word is tested once.
std::vector<CString> CSearchDlg::SplitWords(const CString& strSearchText) {
    std::vector<CString> words;
    std::set<std::wstring> seen;
    const std::wstring_view text(strSearchText.GetString(), static_cast<std::size_t>(strSearchText.GetLength()));
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(L' ', start);
        if (end == std::wstring_view::npos) end = text.size();
        const std::wstring word(text.substr(start, end - start));
        start = end + 1;
        if (word.empty() || !seen.insert(word).second) continue;
        CString strWord(word.c_str());
        strWord.Replace(L"'", L"''");
        words.push_back(strWord);
    }
    return words;
}

BOOL CSearchDlg::IsColumnVisible(int nColumn) const {
    std::lock_guard g(m_snapshotLock);
    return nColumn >= 0 && std::size_t(nColumn) < m_snapshotWidths.size() && m_snapshotWidths[std::size_t(nColumn)] > 0;
}

CString CSearchDlg::WordClosing() const {
    return m_bWorkerCase ? CString(L" COLLATE Latin1_General_CS_AS) > 0)") : CString(L") > 0) ");
}

long CSearchDlg::CurrentUserID() {
    if (t_pReadAhead) return t_pReadAhead->lUserID;
    CQvSec sec;
    CString strName, strUserID;
    long lUserID = 0;
    sec.GetUser(&strName, &strUserID, &lUserID);
    return lUserID;
}

void CSearchDlg::InsertResultColumns(int nCount, UINT nColumnsID, const int* types, const int* widths, UINT nImagesID,
                                     const int* toolTipModes) {
    m_lstResult.QvSetRegistryKey(CString(L"Software\\Qovaro\\NQ2\\Common") + m_strListKey);
    m_lstResult.m_bKeepSelection = TRUE;
    // The dialog keeps nothing per row: a new search clears the list at once.
    m_lstResult.m_bTellEachRemovedRow = FALSE;
    m_lstResult.QvInsertColumn(nCount, nColumnsID, types, widths, nullptr, toolTipModes);
    if (nImagesID == 0) return;
    m_imgList.Create(nImagesID, 16, 0, RGB(255, 255, 255));
    m_lstResult.SetImageList(&m_imgList, LVSIL_SMALL);
}
