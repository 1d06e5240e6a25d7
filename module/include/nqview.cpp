#include "nqview.h"

#include "nqframeworkres.h"
#include "parentdlg.h"
#include "qvcomserver.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "qvsysinfo.h"

#define VIEW_TRACEHR(hr) QvAddHRErrorFile(L"nqview", __LINE__, (hr))

IMPLEMENT_DYNCREATE(CNQView, CQvFView)

BEGIN_INTERFACE_MAP(CNQView, CQvFView)
    INTERFACE_PART(CNQView, IID_INQViewControl, NQViewControl)
END_INTERFACE_MAP()

CNQView::CNQView(HINSTANCE hResource) : m_hResource(hResource) {}

CNQView::~CNQView() {
    if (m_pStartupServer) m_pStartupServer->Release();
    m_pStartupServer = nullptr;
}

CParentDlg* CNQView::GetParentDlg() const { return dynamic_cast<CParentDlg*>(m_pViewDlg); }

HRESULT CNQView::GetCaption(CString& strCaption) {
    NQ_MANAGE_STATE(m_hResource);
    return CQvFView::GetCaption(strCaption);
}

HRESULT CNQView::SendProgress(UINT nTextID) {
    if (!m_pStartupServer) return S_OK;
    NQ_MANAGE_STATE(m_hResource);
    const CString strText = NQLoadString(nTextID);
    CString strCaption;
    GetCaption(strCaption);
    BSTR bstrText = (strText + strCaption).AllocSysString();
    const HRESULT hr = m_pStartupServer->SetProgressText(bstrText);
    SysFreeString(bstrText);
    return FAILED(hr) ? VIEW_TRACEHR(hr) : hr;
}

HRESULT CNQView::Init(BOOL bConnectToFrame) {
    const HRESULT hr = CQvFServer::Init(bConnectToFrame);
    if (FAILED(hr)) return VIEW_TRACEHR(hr);
    if (QvGetRunAsService()) return hr;
    const HRESULT hrServer =
        QueryCOMServer(NQ_STARTUPSERVER_PROGID, IID_INQStartupServer, reinterpret_cast<void**>(&m_pStartupServer));
    if (FAILED(hrServer)) {
        m_pStartupServer = nullptr;
        return VIEW_TRACEHR(hrServer);
    }
    return SendProgress(IDS_NQ_LOAD_MODULE);
}

HRESULT CNQView::CreateView(HWND hParent) {
    if (m_pStartupServer) {
        const HRESULT hr = SendProgress(IDS_NQ_CREATE_MODULE);
        if (FAILED(hr)) return hr;
    }
    const HRESULT hr = CQvFView::CreateView(hParent);
    if (FAILED(hr)) VIEW_TRACEHR(hr);
    return hr;
}

HRESULT CNQView::UpAndRunning() {
    if (m_pStartupServer) {
        const HRESULT hrSend = SendProgress(IDS_NQ_INIT_MODULE);
        m_pStartupServer->Release();
        m_pStartupServer = nullptr;
        if (FAILED(hrSend)) return hrSend;
    }
    HRESULT hr = CQvFView::UpAndRunning();
    if (FAILED(hr)) return VIEW_TRACEHR(hr);
    // The menus and their command texts are the framework's own.
    NQ_MANAGE_STATE(NQFrameworkModuleHandle());
    BOOL bOK = AddMenu(IDR_NQ_MENU_VIEW, 0);
    if (bOK) bOK = AddMenu(IDR_NQ_MENU_HELP, 0);
    if (bOK) bOK = SetAccel(1, 0x70, L"F1", 0);
    if (bOK) bOK = SetAccel(1, 0x74, L"F5", 0);
    if (bOK) bOK = SetAccel(9, 0x46, L"CTRL-F", 0);
    if (!bOK) return VIEW_TRACEHR(E_FAIL);
    m_bMenusMerged = TRUE;
    return S_OK;
}

HRESULT CNQView::Close() {
    if (m_pStartupServer) m_pStartupServer->Release();
    m_pStartupServer = nullptr;
    if (m_bMenusMerged) {
        NQ_MANAGE_STATE(NQFrameworkModuleHandle());
        BOOL bOK = RemoveMenu(IDR_NQ_MENU_VIEW);
        if (bOK) bOK = RemoveMenu(IDR_NQ_MENU_HELP);
        if (bOK) bOK = RemoveAccel(L"F1");
        if (bOK) bOK = RemoveAccel(L"F5");
        if (bOK) bOK = RemoveAccel(L"CTRL-F");
        if (!bOK) return VIEW_TRACEHR(E_FAIL);
        m_bMenusMerged = FALSE;
    }
    const HRESULT hr = CQvFView::Close();
    if (FAILED(hr)) VIEW_TRACEHR(hr);
    return hr;
}

HRESULT CNQView::OnMenuCommand(CString strName) {
    CParentDlg* pDlg = GetParentDlg();
    if (!pDlg) return S_OK;
    HRESULT hr = S_OK;
    if (strName == L"RefreshView")
        hr = pDlg->OnRefreshViewCommand();
    else if (strName == L"ShowOnlineKontextHelp")
        hr = pDlg->ShowContextHelp();
    if (FAILED(hr)) {
        VIEW_TRACEHR(hr);
        QvReportMsg(hr, CrackHR(hr), L"CNQView::OnMenuCommand", L"Default", __FILE__, __LINE__, 1);
    }
    return hr;
}

HRESULT CNQView::OnAccelCommand(CString strName) {
    CParentDlg* pDlg = GetParentDlg();
    if (!pDlg) return S_OK;
    HRESULT hr = S_OK;
    if (strName == L"F5")
        hr = pDlg->OnRefreshViewCommand();
    else if (strName == L"F1")
        hr = pDlg->ShowContextHelp();
    else if (strName == L"CTRL-F")
        hr = pDlg->OnSearchCommand();
    if (FAILED(hr)) {
        VIEW_TRACEHR(hr);
        QvReportMsg(hr, CrackHR(hr), L"CNQView::OnAccelCommand", L"Default", __FILE__, __LINE__, 1);
    }
    return hr;
}

HRESULT CNQView::NavigateTo(long lID, long lSubID) {
    CParentDlg* pDlg = GetParentDlg();
    if (!pDlg) return VIEW_TRACEHR(E_FAIL);
    const HRESULT hr = pDlg->Navigate(lID, lSubID);
    if (FAILED(hr)) VIEW_TRACEHR(hr);
    return hr;
}

HRESULT CNQView::ActivateTab(CString strName) {
    CParentDlg* pDlg = GetParentDlg();
    if (!pDlg) return VIEW_TRACEHR(E_FAIL);
    HRESULT hr = pDlg->GetTabCtrl().ActivateTabByName(strName, 0);
    if (SUCCEEDED(hr)) hr = pDlg->ApplyRights();
    if (FAILED(hr)) VIEW_TRACEHR(hr);
    return hr;
}

ULONG CNQView::XNQViewControl::AddRef() {
    METHOD_PROLOGUE(CNQView, NQViewControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    pThis->ExternalAddRef();
    return 0;
}
ULONG CNQView::XNQViewControl::Release() {
    METHOD_PROLOGUE(CNQView, NQViewControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    pThis->ExternalRelease();
    return 0;
}
HRESULT CNQView::XNQViewControl::QueryInterface(REFIID iid, LPVOID* ppv) {
    METHOD_PROLOGUE(CNQView, NQViewControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    return HRESULT(pThis->ExternalQueryInterface(&iid, ppv));
}

HRESULT CNQView::XNQViewControl::NavigateTo(long lID, long lSubID) {
    METHOD_PROLOGUE(CNQView, NQViewControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    return pThis->NavigateTo(lID, lSubID);
}

HRESULT CNQView::XNQViewControl::ActivateTab(BSTR bstrName) {
    METHOD_PROLOGUE(CNQView, NQViewControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    const CString strName = bstrName ? CString(std::wstring(bstrName, SysStringLen(bstrName)).c_str()) : CString();
    return pThis->ActivateTab(strName);
}
