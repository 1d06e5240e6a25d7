#include "qvfview.h"
#include "denywindow.h"
#include "qvcomserver.h"
#include "qvfviewcommon.h"
#include "qvfviewdlg.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "qvwinapp.h"

IMPLEMENT_DYNCREATE(CQvFView, CQvFServer)

BEGIN_INTERFACE_MAP(CQvFView, CQvFServer)
    INTERFACE_PART(CQvFView, IID_IQvFViewControl, ViewControl)
END_INTERFACE_MAP()

CQvFView::CQvFView() = default;

CQvFView::~CQvFView() {
    delete m_pViewDlg;
    m_pViewDlg = nullptr;
}

// ---- added operations

HRESULT CQvFView::CreateView(HWND hParent) {
    if (!m_pViewDlg) return QVF_TRACEHR(E_FAIL);
    if (m_pViewDlg->GetSafeHwnd()) return S_FALSE;
    const HRESULT hr = m_pViewDlg->CreateView(hParent);
    if (FAILED(hr)) QVF_TRACEHR(hr);
    return hr;
}

HRESULT CQvFView::GetPaneName(CString& strName) {
    strName = m_strPaneName;
    return S_OK;
}

HRESULT CQvFView::GetGroupName(CString& strName) {
    const HRESULT hr = QvFGetGroupName(m_nGroupID, m_strGroupText, strName);
    return FAILED(hr) ? QVF_TRACEHR(hr) : hr;
}

HRESULT CQvFView::GetImageList(HIMAGELIST* phList, long* plSize, long* plCount) {
    return QvFGetImageList(m_nBitmapID, E_FAIL, phList, plSize, plCount);
}

HRESULT CQvFView::GetViewValue(long* plValue) { return QvFGetOrderValue(m_lViewValue, plValue); }

HRESULT CQvFView::GetServerNameText(CString& strName) { return GetName(strName); }

HRESULT CQvFView::ShowView(BOOL bShow) {
    m_bCommandsEnabled = bShow ? TRUE : FALSE;
    HRESULT hr = S_OK;
    if (m_pViewDlg) {
        hr = m_pViewDlg->ShowView(bShow);
        if (FAILED(hr)) return QVF_TRACEHR(hr);
    }
    ActivateMenuItem();
    ActivateAccelerators();
    if (bShow) {
        CString strCaption;
        if (SUCCEEDED(GetCaption(strCaption))) {
            if (CQvWinApp* pApp = QvFGetModuleApp()) pApp->SetAppName(strCaption);
        }
    }
    return hr;
}

void CQvFView::MoveView(RECT rc) {
    if (m_pViewDlg && m_pViewDlg->GetSafeHwnd()) m_pViewDlg->MoveView(&rc, TRUE);
}

BOOL CQvFView::EntryEnabled(const CControlObj& entry) const {
    if (m_pViewDlg && m_pViewDlg->IsShown() && !m_pViewDlg->GetDenyWindow()) return TRUE;
    return entry.m_lValue != 0;
}

namespace {

// Enables or disables the frame's entry of each name in the list, as the view says; the first
// failure ends it.
template <class TEntry, class FEnabled>
HRESULT EnableEntries(IQvFMenu* pMenu, const CControlObjList& list, HRESULT (IQvFMenuPopup::*pfnGet)(BSTR, TEntry**),
                      FEnabled&& enabled) {
    HRESULT hr = S_OK;
    for (auto it = list.begin(); SUCCEEDED(hr) && it != list.end(); ++it) {
        TEntry* pEntry = nullptr;
        hr = QvFCallWithBSTR((*it)->m_strName, [&](BSTR bstrName) { return (pMenu->*pfnGet)(bstrName, &pEntry); });
        if (FAILED(hr)) return QVF_TRACEHR(hr);
        hr = pEntry->put_Enabled(enabled(**it));
        if (FAILED(hr)) QVF_TRACEHR(hr);
        pEntry->Release();
    }
    return hr;
}

}  // namespace

void CQvFView::ActivateMenuItem() {
    CSingleLock lock(&m_listLock, TRUE);
    // Nothing in the frame's menu: nothing to ask it.
    if (m_commandList.empty() && m_popupList.empty()) return;
    const auto enabled = [this](const CControlObj& entry) { return EntryEnabled(entry); };
    IQvFMenu* pMenu = nullptr;
    HRESULT hr = GetFrameMenu(&pMenu);
    if (SUCCEEDED(hr)) hr = EnableEntries(pMenu, m_commandList, &IQvFMenuPopup::GetItem, enabled);
    if (SUCCEEDED(hr)) hr = EnableEntries(pMenu, m_popupList, &IQvFMenuPopup::GetPopup, enabled);
    if (SUCCEEDED(hr)) {
        hr = pMenu->Apply();
        if (FAILED(hr)) QVF_TRACEHR(hr);
    }
    if (pMenu) pMenu->Release();
    lock.Unlock();
    if (FAILED(hr)) QvReportMsg(1, CrackHR(hr), L"CQvFView::ActivateMenuItem", L"Default", L"qvfview", __LINE__, 1);
}

void CQvFView::ActivateAccelerators() {
    CSingleLock lock(&m_listLock, TRUE);
    for (const auto& entry : m_accelList) AddAccel(entry->m_strName, EntryEnabled(*entry), 0);
}

// ---- overrides of the server

HRESULT CQvFView::ReleaseServers() {
    HRESULT hr = S_OK;
    if (m_pViewDlg) {
        hr = m_pViewDlg->ReleaseView();
        if (FAILED(hr)) QVF_TRACEHR(hr);
    }
    CQvFServer::ReleaseServers();
    return hr;
}

const QV_CONTROLSINK_ENTRY* CQvFView::GetControlSinkMap() {
    static const QV_CONTROLSINK_ENTRY entries[] = {{0, nullptr, nullptr}};
    return entries;
}

namespace {

// A life-cycle step: the dialog's part first, whose failure ends the step, then the server's.
template <class FServer>
HRESULT DialogThenServer(CQvFViewDlg* pDialog, HRESULT (CQvFViewDlg::*pfnDialog)(), FServer&& serverStep) {
    if (pDialog) {
        const HRESULT hr = (pDialog->*pfnDialog)();
        if (FAILED(hr)) return QVF_TRACEHR(hr);
    }
    const HRESULT hr = serverStep();
    if (FAILED(hr)) QVF_TRACEHR(hr);
    return hr;
}

}  // namespace

HRESULT CQvFView::UpAndRunning() {
    return DialogThenServer(m_pViewDlg, &CQvFViewDlg::OnUpAndRunning, [this] { return CQvFServer::UpAndRunning(); });
}

HRESULT CQvFView::AsyncInit() {
    return DialogThenServer(m_pViewDlg, &CQvFViewDlg::OnAsyncInit, [this] { return CQvFServer::AsyncInit(); });
}

HRESULT CQvFView::OnHostNotify() {
    if (m_pViewDlg) {
        const HRESULT hr = m_pViewDlg->OnHostNotify();
        if (FAILED(hr)) QVF_TRACEHR(hr);
        if (hr != S_OK) return hr;
    }
    return CQvFServer::OnHostNotify();
}

HRESULT CQvFView::Close() {
    return DialogThenServer(m_pViewDlg, &CQvFViewDlg::CloseView, [this] { return CQvFServer::Close(); });
}

HRESULT CQvFView::OnApplySecurity() {
    HRESULT hr = S_OK;
    if (m_pViewDlg && m_pViewDlg->GetSafeHwnd()) {
        hr = m_pViewDlg->ApplyDefaultSecurity();
        if (FAILED(hr)) QVF_TRACEHR(hr);
        if (m_bCommandsEnabled) {
            ActivateMenuItem();
            ActivateAccelerators();
        }
        if (FAILED(hr)) return hr;
    }
    hr = CQvFServer::OnApplySecurity();
    if (FAILED(hr)) QVF_TRACEHR(hr);
    return hr;
}

HRESULT CQvFView::OnServerListChanged() { return m_pViewDlg ? m_pViewDlg->OnServerListChanged() : S_OK; }
HRESULT CQvFView::OnMenuNotify(CString strName) { return m_pViewDlg ? m_pViewDlg->OnMenuNotify(strName) : S_OK; }
HRESULT CQvFView::OnMenuCommand(CString strName) { return m_pViewDlg ? m_pViewDlg->OnMenuCommand(strName) : S_OK; }
HRESULT CQvFView::OnAccelNotify(CString strName) { return m_pViewDlg ? m_pViewDlg->OnAccelNotify(strName) : S_OK; }
HRESULT CQvFView::OnAccelCommand(CString strName) {
    return m_pViewDlg ? m_pViewDlg->OnAccelCommand(strName) : S_OK;
}

void CQvFView::OnFinalRelease() {
    if (CQvFViewDlg* pDialog = m_pViewDlg) {
        m_pViewDlg = nullptr;
        pDialog->OnFinalRelease();
    }
    CQvFServer::OnFinalRelease();
}

// ---- IQvFViewControl

QVF_IMPLEMENT_IUNKNOWN_EX(CQvFView, ViewControl)

HRESULT CQvFView::XViewControl::CreateView(HWND hParent) {
    METHOD_PROLOGUE(CQvFView, ViewControl)
    QVF_MANAGE_STATE();
    return pThis->CreateView(hParent);
}

HRESULT CQvFView::XViewControl::ShowView(BOOL bShow) {
    METHOD_PROLOGUE(CQvFView, ViewControl)
    QVF_MANAGE_STATE();
    return pThis->ShowView(bShow);
}

HRESULT CQvFView::XViewControl::PreTranslateMessage(MSG* pMsg) {
    QVF_MANAGE_STATE();
    return QvFPreTranslateMessage(pMsg);
}

HRESULT CQvFView::XViewControl::GetPaneName(BSTR* pbstrName) {
    METHOD_PROLOGUE(CQvFView, ViewControl)
    QVF_MANAGE_STATE();
    return QvFTextOut(pbstrName, pThis, &CQvFView::GetPaneName);
}

HRESULT CQvFView::XViewControl::GetGroupName(BSTR* pbstrName) {
    METHOD_PROLOGUE(CQvFView, ViewControl)
    QVF_MANAGE_STATE();
    return QvFTextOut(pbstrName, pThis, &CQvFView::GetGroupName);
}

HRESULT CQvFView::XViewControl::GetImageList(HIMAGELIST* phList, long* plSize, long* plCount) {
    METHOD_PROLOGUE(CQvFView, ViewControl)
    QVF_MANAGE_STATE();
    return pThis->GetImageList(phList, plSize, plCount);
}

HRESULT CQvFView::XViewControl::GetCaption(BSTR* pbstrCaption) {
    METHOD_PROLOGUE(CQvFView, ViewControl)
    QVF_MANAGE_STATE();
    return QvFTextOut(pbstrCaption, pThis, &CQvFView::GetCaption);
}

HRESULT CQvFView::XViewControl::GetServerNameText(BSTR* pbstrName) {
    METHOD_PROLOGUE(CQvFView, ViewControl)
    QVF_MANAGE_STATE();
    return QvFTextOut(pbstrName, pThis, &CQvFView::GetServerNameText);
}

HRESULT CQvFView::XViewControl::GetViewValue(long* plValue) {
    METHOD_PROLOGUE(CQvFView, ViewControl)
    QVF_MANAGE_STATE();
    return pThis->GetViewValue(plValue);
}

HRESULT CQvFView::XViewControl::MoveView(RECT rc) {
    METHOD_PROLOGUE(CQvFView, ViewControl)
    QVF_MANAGE_STATE();
    pThis->MoveView(rc);
    return S_OK;
}
