#include "framehost.h"
#include "framecom.h"
#include "leftwork.h"
#include "qvcomserver.h"
#include "qvhrtrace.h"
#include "qvrunning.h"
#include "serverhost.h"
#include "wnd.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>

using qvframe::FetchText;
using qvframe::Out;
using qvframe::OutValue;
using qvframe::Text;

#define FRAME_TRACEHR(hr) QvAddHRErrorFile(L"qvframe", __LINE__, (hr))

// ---- view-bar entries

HRESULT CQvFrameViewbarItem::QueryInterface(REFIID iid, void** ppv) {
    return qvframe::QueryOwn(static_cast<IQvFViewbarItem*>(this), IID_IQvFViewbarItem, iid, ppv);
}

ULONG CQvFrameViewbarItem::Release() { return qvframe::ReleaseOwn(this, m_lRefs); }

HRESULT CQvFrameViewbarItem::get_Caption(BSTR* pbstrCaption) { return Out(pbstrCaption, m_strCaption); }
HRESULT CQvFrameViewbarItem::get_Group(BSTR* pbstrGroup) { return Out(pbstrGroup, m_strGroup); }

HRESULT CQvFrameViewbarItem::put_Enabled(BOOL bEnabled) {
    m_bEnabled = bEnabled ? TRUE : FALSE;
    if (m_onChange) m_onChange();
    return S_OK;
}

HRESULT CQvFrameViewbarItem::get_Enabled(BOOL* pbEnabled) { return OutValue(pbEnabled, m_bEnabled); }

HRESULT CQvFrameViewbarItem::put_Access(BOOL bAccess) {
    m_bAccess = bAccess ? TRUE : FALSE;
    if (m_onChange) m_onChange();
    return S_OK;
}

HRESULT CQvFrameViewbarItem::get_Access(BOOL* pbAccess) { return OutValue(pbAccess, m_bAccess); }

// ---- the frame

BEGIN_INTERFACE_MAP(CQvFrameHost, CCmdTarget)
    INTERFACE_PART(CQvFrameHost, IID_IQvFFrame, Frame)
    INTERFACE_PART(CQvFrameHost, IID_IQvFServerList, ServerList)
    INTERFACE_PART(CQvFrameHost, IID_IQvFMenu, Menu)
    INTERFACE_PART(CQvFrameHost, IID_IQvFAccel, Accel)
    INTERFACE_PART(CQvFrameHost, IID_IQvFViewbar, Viewbar)
    INTERFACE_PART(CQvFrameHost, IID_IConnectionPointContainer, ConnPtContainer)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CQvFrameHost, Frame)
IMPLEMENT_IUNKNOWN(CQvFrameHost, ServerList)
IMPLEMENT_IUNKNOWN(CQvFrameHost, Accel)
IMPLEMENT_IUNKNOWN(CQvFrameHost, Viewbar)

CQvFrameHost::CQvFrameHost()
    : m_menu(std::make_unique<CQvFrameMenu>(static_cast<IUnknown*>(&m_xFrame))), m_xMenu(m_menu->Root()) {}

CQvFrameHost::~CQvFrameHost() {
    CloseAll();
    m_menu.reset();
}

HRESULT CQvFrameHost::RegisterAsFrame() {
    m_bClosed = false;
    const HRESULT hr = qv::RegisterRunningServer(QV_FRAME_PROGID, GetInterface(&IID_IUnknown));
    if (SUCCEEDED(hr)) m_bRegistered = true;
    return hr;
}

void CQvFrameHost::RevokeAsFrame() {
    if (!m_bRegistered) return;
    m_bRegistered = false;
    qv::RevokeRunningServer(QV_FRAME_PROGID);
}

// ---- servers

HRESULT CQvFrameHost::StartServer(LPCWSTR lpszProgID) {
    m_bClosed = false;
    Server server;
    server.strProgID = lpszProgID;
    server.bStarted = true;
    HRESULT hr = CLSIDFromProgID(lpszProgID, &server.clsid);
    if (SUCCEEDED(hr)) hr = qv::servers::StartRunningServer(lpszProgID, TRUE);
    if (FAILED(hr)) {
        m_failedServers.emplace_back(CString(lpszProgID), hr);
        return FRAME_TRACEHR(hr);
    }
    m_servers.push_back(server);
    FireServerListChanged();
    return hr;
}

HRESULT CQvFrameHost::OfferServer(LPCWSTR lpszProgID, REFCLSID clsid, IUnknown* pServer, bool bClose) {
    m_bClosed = false;
    const HRESULT hr = qv::RegisterRunningServer(lpszProgID, pServer);
    if (FAILED(hr)) return FRAME_TRACEHR(hr);
    m_servers.push_back({CString(lpszProgID), clsid, bClose});
    FireServerListChanged();
    return hr;
}

std::vector<CString> CQvFrameHost::RunningServers() const {
    std::vector<CString> names;
    for (const Server& s : m_servers) names.push_back(s.strProgID);
    return names;
}

void CQvFrameHost::StopServer(const Server& server) {
    if (server.bStarted)
        qv::servers::StopRunningServer(server.strProgID);
    else
        qv::RevokeRunningServer(server.strProgID);
}

// ---- views

QvFrameView* CQvFrameHost::FindView(const CString& strProgID) const {
    for (const auto& v : m_views)
        if (v->strProgID.CompareNoCase(strProgID) == 0) return v.get();
    return nullptr;
}

QvFrameView* CQvFrameHost::ActiveView() const {
    for (const auto& v : m_views)
        if (v->bShown) return v.get();
    return nullptr;
}

QvFrameView* CQvFrameHost::ViewOf(IUnknown* pServer) const {
    if (!pServer) return nullptr;
    IUnknown* pIdentity = nullptr;
    if (FAILED(pServer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity))) || !pIdentity)
        return nullptr;
    pIdentity->Release();
    for (const auto& v : m_views)
        if (v->pIdentity == pIdentity) return v.get();
    return nullptr;
}

void CQvFrameHost::ViewsChanged() const {
    if (m_onViewsChanged) m_onViewsChanged();
}

HRESULT CQvFrameHost::OpenView(const CString& strProgID) {
    if (FindView(strProgID)) return S_FALSE;
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(strProgID, &clsid);
    if (FAILED(hr)) return FRAME_TRACEHR(hr);
    IQvFInit* pInit = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IQvFInit, reinterpret_cast<void**>(&pInit));
    if (FAILED(hr)) return FRAME_TRACEHR(hr);
    return AddView(strProgID, pInit);
}

HRESULT CQvFrameHost::AddView(const CString& strProgID, IQvFInit* pInit) {
    if (!pInit) return E_POINTER;
    m_bClosed = false;
    if (FindView(strProgID)) {
        pInit->Release();
        return S_FALSE;
    }
    auto view = std::make_unique<QvFrameView>();
    view->strProgID = strProgID;
    view->pInit = pInit;
    if (FAILED(pInit->GetClassID(&view->clsid))) view->clsid = GUID_NULL;
    pInit->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&view->pIdentity));
    // In the list while it starts, so that it finds its view-bar entry.
    m_views.push_back(std::move(view));
    const HRESULT hr = StartView(*m_views.back());
    if (FAILED(hr)) {
        std::unique_ptr<QvFrameView> failed = std::move(m_views.back());
        m_views.pop_back();
        ReleaseView(*failed);
        return hr;
    }
    ViewsChanged();
    FireServerListChanged();
    return S_OK;
}

HRESULT CQvFrameHost::StartView(QvFrameView& view) {
    HRESULT hr = view.pInit->CanLoad();
    if (FAILED(hr)) return FRAME_TRACEHR(hr);
    hr = view.pInit->QueryInterface(IID_IQvFViewControl, reinterpret_cast<void**>(&view.pControl));
    if (FAILED(hr)) return FRAME_TRACEHR(hr);
    // The view-bar entry exists before Init, so that the view can find it when it checks rights.
    view.strCaption = FetchText(view.pControl, &IQvFViewControl::GetCaption);
    view.strGroup = FetchText(view.pControl, &IQvFViewControl::GetGroupName);
    view.strPane = FetchText(view.pControl, &IQvFViewControl::GetPaneName);
    view.pControl->GetViewValue(&view.lValue);
    long lSize = 0, lCount = 0;
    if (FAILED(view.pControl->GetImageList(&view.hImageList, &lSize, &lCount))) view.hImageList = nullptr;
    view.pItem = new CQvFrameViewbarItem;
    view.pItem->m_strCaption = view.strCaption;
    view.pItem->m_strGroup = view.strGroup;
    view.pItem->m_onChange = [this] { ViewsChanged(); };

    hr = view.pInit->Init(TRUE);
    if (FAILED(hr)) return FRAME_TRACEHR(hr);
    // The caption may come from the module's texts, available from Init on.
    const CString strCaption = FetchText(view.pControl, &IQvFViewControl::GetCaption);
    if (!strCaption.IsEmpty()) view.strCaption = view.pItem->m_strCaption = strCaption;
    // A view is told that it runs only once its window exists: Init, CreateView, UpAndRunning.
    if (m_hViewPane && ::IsWindow(m_hViewPane)) return BringUpView(view, m_hViewPane);
    return S_OK;
}

HRESULT CQvFrameHost::BringUpView(QvFrameView& view, HWND hPane) {
    if (!view.bCreated) {
        const HRESULT hr = view.pControl->CreateView(hPane);
        if (FAILED(hr)) return FRAME_TRACEHR(hr);
        view.bCreated = true;
    }
    if (view.bRunning) return S_OK;
    HRESULT hr = view.pInit->UpAndRunning();
    if (FAILED(hr)) return FRAME_TRACEHR(hr);
    hr = view.pInit->AsyncInit();
    if (FAILED(hr)) return FRAME_TRACEHR(hr);
    view.bRunning = true;
    // The view's start-up progress ends here: the status bar is the frame's again.
    if (m_onStatusText) m_onStatusText(CString(L"Bereit"));
    return S_OK;
}

void CQvFrameHost::SetViewPane(HWND hPane) {
    m_hViewPane = hPane;
    if (!hPane) return;
    for (const auto& v : m_views)
        if (!v->bRunning) BringUpView(*v, hPane);
}

void CQvFrameHost::ReleaseView(QvFrameView& view) {
    // Hidden first, a view closes in any case; one closed by CloseViews is only released.
    if (view.pControl && view.bShown && !view.bClosed) view.pControl->ShowView(FALSE);
    view.bShown = false;
    if (view.pInit) {
        if (!view.bClosed) view.pInit->Close();
        view.bClosed = true;
        view.pInit->ReleaseServers();
    }
    if (view.pItem) {
        view.pItem->m_onChange = nullptr;
        view.pItem->Release();
        view.pItem = nullptr;
    }
    if (view.pControl) view.pControl->Release();
    view.pControl = nullptr;
    if (view.pIdentity) view.pIdentity->Release();
    view.pIdentity = nullptr;
    if (view.pInit) view.pInit->Release();
    view.pInit = nullptr;
}

HRESULT CQvFrameHost::ActivateView(const CString& strProgID, HWND hPane, const RECT& rcPane) {
    QvFrameView* pView = FindView(strProgID);
    if (!pView) return E_INVALIDARG;
    for (const auto& v : m_views) {
        if (v.get() != pView && v->bShown) {
            v->pControl->ShowView(FALSE);
            v->bShown = false;
        }
    }
    m_hViewPane = hPane;
    HRESULT hr = BringUpView(*pView, hPane);
    if (FAILED(hr)) return hr;
    pView->pControl->MoveView(rcPane);
    hr = pView->pControl->ShowView(TRUE);
    if (FAILED(hr)) FRAME_TRACEHR(hr);
    pView->bShown = true;
    RecordHistory(strProgID);
    ViewsChanged();
    return hr;
}

void CQvFrameHost::RecordHistory(const CString& strEntry) {
    // Going back and showing the same again is no new step.
    if (m_lHistory >= 0 && m_history[size_t(m_lHistory)].CompareNoCase(strEntry) == 0) return;
    m_history.resize(size_t(m_lHistory + 1));
    m_history.push_back(strEntry);
    m_lHistory = long(m_history.size()) - 1;
}

void CQvFrameHost::HideViews() {
    bool bChanged = false;
    for (const auto& v : m_views) {
        if (v->bShown) {
            v->pControl->ShowView(FALSE);
            v->bShown = false;
            bChanged = true;
        }
    }
    if (bChanged) ViewsChanged();
}

void CQvFrameHost::MoveViews(const RECT& rcPane) {
    for (const auto& v : m_views)
        if (v->bCreated) v->pControl->MoveView(rcPane);
}

HRESULT CQvFrameHost::CloseView(const CString& strProgID) {
    auto it = std::find_if(m_views.begin(), m_views.end(),
                           [&](const auto& v) { return v->strProgID.CompareNoCase(strProgID) == 0; });
    if (it == m_views.end()) return S_FALSE;
    std::unique_ptr<QvFrameView> view = std::move(*it);
    m_views.erase(it);
    ReleaseView(*view);
    ViewsChanged();
    FireServerListChanged();
    return S_OK;
}

BOOL CQvFrameHost::PreTranslateMessage(MSG* pMsg) {
    QvFrameView* pView = ActiveView();
    if (pView && pView->pControl && pView->pControl->PreTranslateMessage(pMsg) == S_OK) return TRUE;
    return m_xAccel.TranslateAccel(pMsg) == S_OK;
}

// ---- navigation

CString CQvFrameHost::Navigate(long lDirection) {
    if (!CanNavigate(lDirection)) return CString();
    m_lHistory += lDirection > 0 ? 1 : -1;
    return m_history[size_t(m_lHistory)];
}

BOOL CQvFrameHost::CanNavigate(long lDirection) const {
    if (lDirection < 0) return m_lHistory > 0;
    if (lDirection > 0) return m_lHistory >= 0 && m_lHistory + 1 < long(m_history.size());
    return FALSE;
}

// ---- menus and accelerators

CString CQvFrameHost::FindAccel(long lKey, long lModifiers) const {
    const long mask = FCONTROL | FSHIFT | FALT;
    for (const QvFrameAccel& a : m_accels)
        if (a.bEnabled && a.lKey == lKey && (a.lModifiers & mask) == (lModifiers & mask)) return a.strName;
    return CString();
}

namespace {
template <class Fn>
void FireControl(const CConnectionPoint& point, const CString& strName, Fn fn) {
    point.ForEachSink<IQvFControlSink>([&](IQvFControlSink* pSink) { (pSink->*fn)(strName.AllocSysString()); });
}
}  // namespace

void CQvFrameHost::FireMenuNotify(const CString& strName) {
    FireControl(m_cpControl, strName, &IQvFControlSink::OnMenuNotify);
}
void CQvFrameHost::FireMenuCommand(const CString& strName) {
    FireControl(m_cpControl, strName, &IQvFControlSink::OnMenuCommand);
}
void CQvFrameHost::FireAccelNotify(const CString& strName) {
    FireControl(m_cpControl, strName, &IQvFControlSink::OnAccelNotify);
}
void CQvFrameHost::FireAccelCommand(const CString& strName) {
    FireControl(m_cpControl, strName, &IQvFControlSink::OnAccelCommand);
}
void CQvFrameHost::FireServerListChanged() {
    m_cpServerList.ForEachSink<IQvFServerListSink>([](IQvFServerListSink* pSink) { pSink->OnServerListChanged(); });
}

// ---- shut-down

bool CQvFrameHost::CloseViews() {
    if (m_bClosing || m_bClosed) return true;
    std::vector<QvFrameView*> order;
    for (const auto& v : m_views)
        if (v->bShown) order.push_back(v.get());
    for (auto it = m_views.rbegin(); it != m_views.rend(); ++it)
        if (!(*it)->bShown) order.push_back(it->get());
    // No view is released while they are asked.
    m_bClosing = true;
    bool bClosed = true;
    for (QvFrameView* pView : order) {
        if (pView->bClosed || !pView->pInit) continue;
        // Only the view shown can keep its edit; it is the first, so nothing has closed before it.
        const HRESULT hr = pView->pInit->Close();
        if (hr == HRESULT_FROM_WIN32(ERROR_CANCELLED)) {
            bClosed = false;
            break;
        }
        pView->bClosed = true;
    }
    m_bClosing = false;
    return bClosed;
}

void CQvFrameHost::CloseAll() {
    // A second call would wait for the same left work again.
    if (m_bClosing || m_bClosed) return;
    m_bClosing = true;
    // The views first, the last opened first; each closes and lets its servers go.
    while (!m_views.empty()) {
        std::unique_ptr<QvFrameView> view = std::move(m_views.back());
        m_views.pop_back();
        ReleaseView(*view);
    }
    m_history.clear();
    m_lHistory = -1;
    ViewsChanged();
    // Work the views left running (a closed search's worker inside a database call) is cancelled
    // and waited for a bounded time while the servers it may use are still there; here and not as
    // a library is unloaded, since a thread's end may need the loader. What has not ended by then
    // keeps its library loaded. The only wait of the program's end.
    constexpr DWORD kLeftWorkPatience = 5000;
    if (!QvEndLeftWork(kLeftWorkPatience)) FRAME_TRACEHR(HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    // Then the suite's servers, the database last: the others write to it while they close.
    for (auto it = m_servers.rbegin(); it != m_servers.rend(); ++it) StopServer(*it);
    m_servers.clear();
    RevokeAsFrame();
    // Windows of the views go with their deferred deletes; their objects (tool tip filters and the
    // like) must be gone before the code of their classes is unloaded.
    if (QCoreApplication::instance()) QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    CoFreeUnusedLibraries();
    m_bClosing = false;
    m_bClosed = true;
}

// ---- IQvFFrame

HRESULT CQvFrameHost::XFrame::GetMainWindow(HWND* phWnd) {
    METHOD_PROLOGUE(CQvFrameHost, Frame)
    return OutValue(phWnd, pThis->m_hMainWnd);
}

HRESULT CQvFrameHost::XFrame::ActivateView(BSTR bstrProgID) {
    METHOD_PROLOGUE(CQvFrameHost, Frame)
    const CString strProgID = Text(bstrProgID);
    if (strProgID.IsEmpty()) return E_INVALIDARG;
    if (!pThis->FindView(strProgID)) {
        const HRESULT hr = pThis->OpenView(strProgID);
        if (FAILED(hr)) return hr;
    }
    if (pThis->m_onActivateRequest) pThis->m_onActivateRequest(strProgID);
    return S_OK;
}

HRESULT CQvFrameHost::XFrame::Navigate(long lDirection) {
    METHOD_PROLOGUE(CQvFrameHost, Frame)
    if (!pThis->CanNavigate(lDirection)) return S_FALSE;
    if (pThis->m_onNavigateRequest) pThis->m_onNavigateRequest(lDirection);
    return S_OK;
}

HRESULT CQvFrameHost::XFrame::CanNavigate(long lDirection, BOOL* pbCan) {
    METHOD_PROLOGUE(CQvFrameHost, Frame)
    return OutValue(pbCan, pThis->CanNavigate(lDirection));
}

HRESULT CQvFrameHost::XFrame::SetStatusText(BSTR bstrText) {
    METHOD_PROLOGUE(CQvFrameHost, Frame)
    if (pThis->m_onStatusText) pThis->m_onStatusText(Text(bstrText));
    return S_OK;
}

HRESULT CQvFrameHost::XFrame::GetUserName(BSTR* pbstrUser) {
    METHOD_PROLOGUE(CQvFrameHost, Frame)
    return Out(pbstrUser, pThis->m_strUser);
}

HRESULT CQvFrameHost::XFrame::GetFrameValue(long* plValue) {
    METHOD_PROLOGUE(CQvFrameHost, Frame)
    return OutValue(plValue, pThis->m_lFrameValue);
}

// ---- IQvFServerList

HRESULT CQvFrameHost::XServerList::ReleaseServer(CLSID clsid) {
    METHOD_PROLOGUE(CQvFrameHost, ServerList)
    if (pThis->m_onReleaseServer) pThis->m_onReleaseServer(clsid);
    if (pThis->m_bClosing) return S_FALSE;
    for (const auto& v : pThis->m_views)
        if (v->clsid == clsid) return pThis->CloseView(v->strProgID);
    for (auto it = pThis->m_servers.begin(); it != pThis->m_servers.end(); ++it) {
        if (it->clsid == clsid) {
            const Server server = *it;
            pThis->m_servers.erase(it);
            pThis->StopServer(server);
            pThis->FireServerListChanged();
            return S_OK;
        }
    }
    return S_FALSE;
}

HRESULT CQvFrameHost::XServerList::IsServerAvailable(CLSID clsid) {
    METHOD_PROLOGUE(CQvFrameHost, ServerList)
    for (const auto& v : pThis->m_views)
        if (v->clsid == clsid) return S_OK;
    for (const Server& s : pThis->m_servers)
        if (s.clsid == clsid) return S_OK;
    return S_FALSE;
}

// ---- IQvFAccel

HRESULT CQvFrameHost::XAccel::SetAccel(long lModifiers, long lKey, BSTR bstrName) {
    METHOD_PROLOGUE(CQvFrameHost, Accel)
    const CString strName = Text(bstrName);
    if (strName.IsEmpty()) return E_INVALIDARG;
    for (QvFrameAccel& a : pThis->m_accels) {
        if (a.strName.CompareNoCase(strName) == 0) {
            a.lModifiers = lModifiers;
            a.lKey = lKey;
            return S_OK;
        }
    }
    pThis->m_accels.push_back({strName, lModifiers, lKey, TRUE});
    return S_OK;
}

HRESULT CQvFrameHost::XAccel::RemoveAccel(BSTR bstrName) {
    METHOD_PROLOGUE(CQvFrameHost, Accel)
    const CString strName = Text(bstrName);
    auto& accels = pThis->m_accels;
    auto it = std::find_if(accels.begin(), accels.end(),
                           [&](const QvFrameAccel& a) { return a.strName.CompareNoCase(strName) == 0; });
    if (it == accels.end()) return S_FALSE;
    accels.erase(it);
    return S_OK;
}

HRESULT CQvFrameHost::XAccel::EnableAccel(BSTR bstrName, long lEnabled, long) {
    METHOD_PROLOGUE(CQvFrameHost, Accel)
    const CString strName = Text(bstrName);
    for (QvFrameAccel& a : pThis->m_accels) {
        if (a.strName.CompareNoCase(strName) == 0) {
            a.bEnabled = lEnabled ? TRUE : FALSE;
            return S_OK;
        }
    }
    return S_FALSE;
}

HRESULT CQvFrameHost::XAccel::TranslateAccel(MSG* pMsg) {
    METHOD_PROLOGUE(CQvFrameHost, Accel)
    if (!pMsg || (pMsg->message != WM_KEYDOWN && pMsg->message != WM_SYSKEYDOWN)) return S_FALSE;
    long lModifiers = 0;
    if (GetKeyState(VK_CONTROL) < 0) lModifiers |= FCONTROL;
    if (GetKeyState(VK_SHIFT) < 0) lModifiers |= FSHIFT;
    if (GetKeyState(VK_MENU) < 0) lModifiers |= FALT;
    const CString strName = pThis->FindAccel(long(pMsg->wParam), lModifiers);
    if (strName.IsEmpty()) return S_FALSE;
    pThis->FireAccelCommand(strName);
    return S_OK;
}

// ---- IQvFViewbar

HRESULT CQvFrameHost::XViewbar::get_Count(long* plCount) {
    METHOD_PROLOGUE(CQvFrameHost, Viewbar)
    return OutValue(plCount, long(pThis->m_views.size()));
}

HRESULT CQvFrameHost::XViewbar::SelectView(IUnknown* pServer) {
    METHOD_PROLOGUE(CQvFrameHost, Viewbar)
    QvFrameView* pView = pThis->ViewOf(pServer);
    if (!pView) return E_INVALIDARG;
    if (pThis->m_onActivateRequest) pThis->m_onActivateRequest(pView->strProgID);
    return S_OK;
}

HRESULT CQvFrameHost::XViewbar::GetItem(IUnknown* pServer, IQvFViewbarItem** ppItem) {
    METHOD_PROLOGUE(CQvFrameHost, Viewbar)
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    QvFrameView* pView = pThis->ViewOf(pServer);
    // A view asks while the frame still starts it: it is not in the list yet.
    if (!pView) return E_INVALIDARG;
    if (!pView->pItem) return E_FAIL;
    pView->pItem->AddRef();
    *ppItem = pView->pItem;
    return S_OK;
}
