#include "qvfview.h"
#include "denywindow.h"
#include "qvcomserver.h"
#include "qvfviewdlg.h"
#include "qvhrtrace.h"
#include "qvimagelist.h"
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
    if (m_nGroupID != 0) {
        CString text;
        if (!text.LoadString(m_nGroupID)) return QVF_TRACEHR(E_FAIL);
        strName = text;
        return S_OK;
    }
    if (m_strGroupText.IsEmpty())
        strName.Empty();
    else
        strName = m_strGroupText;
    return S_OK;
}

HRESULT CQvFView::GetImageList(HIMAGELIST* phList, long* plSize, long* plCount) {
    if (phList) *phList = nullptr;
    if (plSize) *plSize = 0;
    if (plCount) *plCount = 0;
    if (int(m_nBitmapID) <= 0 || !phList) return E_FAIL;
    *phList = CreateImageList(QvFGetModuleResourceHandle(), m_nBitmapID, 0x7D7C7B, plSize, plCount);
    return *phList ? S_OK : E_FAIL;
}

HRESULT CQvFView::GetViewValue(long* plValue) {
    if (!plValue) return E_POINTER;
    *plValue = m_lViewValue > 0 ? m_lViewValue : 0;
    return S_OK;
}

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

void CQvFView::ActivateMenuItem() {
    CSingleLock lock(&m_listLock, TRUE);
    // Nothing in the frame's menu: nothing to ask it.
    if (m_commandList.empty() && m_popupList.empty()) return;
    IQvFMenu* pMenu = nullptr;
    HRESULT hr = GetFrameMenu(&pMenu);
    for (auto it = m_commandList.begin(); SUCCEEDED(hr) && it != m_commandList.end(); ++it) {
        BSTR bstrName = (*it)->m_strName.AllocSysString();
        IQvFMenuItem* pItem = nullptr;
        hr = pMenu->GetItem(bstrName, &pItem);
        SysFreeString(bstrName);
        if (FAILED(hr)) {
            QVF_TRACEHR(hr);
            break;
        }
        hr = pItem->put_Enabled(EntryEnabled(**it));
        if (FAILED(hr)) QVF_TRACEHR(hr);
        pItem->Release();
    }
    for (auto it = m_popupList.begin(); SUCCEEDED(hr) && it != m_popupList.end(); ++it) {
        BSTR bstrName = (*it)->m_strName.AllocSysString();
        IQvFMenuPopup* pPopup = nullptr;
        hr = pMenu->GetPopup(bstrName, &pPopup);
        SysFreeString(bstrName);
        if (FAILED(hr)) {
            QVF_TRACEHR(hr);
            break;
        }
        hr = pPopup->put_Enabled(EntryEnabled(**it));
        if (FAILED(hr)) QVF_TRACEHR(hr);
        pPopup->Release();
    }
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

HRESULT CQvFView::UpAndRunning() {
    HRESULT hr = S_OK;
    if (m_pViewDlg) {
        hr = m_pViewDlg->OnUpAndRunning();
        if (FAILED(hr)) return QVF_TRACEHR(hr);
    }
    hr = CQvFServer::UpAndRunning();
    if (FAILED(hr)) QVF_TRACEHR(hr);
    return hr;
}

HRESULT CQvFView::AsyncInit() {
    HRESULT hr = S_OK;
    if (m_pViewDlg) {
        hr = m_pViewDlg->OnAsyncInit();
        if (FAILED(hr)) return QVF_TRACEHR(hr);
    }
    hr = CQvFServer::AsyncInit();
    if (FAILED(hr)) QVF_TRACEHR(hr);
    return hr;
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
    HRESULT hr = S_OK;
    if (m_pViewDlg) {
        hr = m_pViewDlg->CloseView();
        if (FAILED(hr)) return QVF_TRACEHR(hr);
    }
    hr = CQvFServer::Close();
    if (FAILED(hr)) QVF_TRACEHR(hr);
    return hr;
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
    CWinApp* pApp = QvFGetModuleApp();
    if (!pApp || !pMsg) return S_FALSE;
    try {
        return pApp->PreTranslateMessage(pMsg) ? S_OK : S_FALSE;
    } catch (const std::exception&) {
        return S_FALSE;
    }
}

namespace {
HRESULT OutText(BSTR* pbstr, const CString& strText, HRESULT hr) {
    if (pbstr) *pbstr = strText.AllocSysString();
    return hr;
}
}  // namespace

HRESULT CQvFView::XViewControl::GetPaneName(BSTR* pbstrName) {
    METHOD_PROLOGUE(CQvFView, ViewControl)
    QVF_MANAGE_STATE();
    CString text;
    const HRESULT hr = pThis->GetPaneName(text);
    return OutText(pbstrName, text, hr);
}

HRESULT CQvFView::XViewControl::GetGroupName(BSTR* pbstrName) {
    METHOD_PROLOGUE(CQvFView, ViewControl)
    QVF_MANAGE_STATE();
    CString text;
    const HRESULT hr = pThis->GetGroupName(text);
    return OutText(pbstrName, text, hr);
}

HRESULT CQvFView::XViewControl::GetImageList(HIMAGELIST* phList, long* plSize, long* plCount) {
    METHOD_PROLOGUE(CQvFView, ViewControl)
    QVF_MANAGE_STATE();
    return pThis->GetImageList(phList, plSize, plCount);
}

HRESULT CQvFView::XViewControl::GetCaption(BSTR* pbstrCaption) {
    METHOD_PROLOGUE(CQvFView, ViewControl)
    QVF_MANAGE_STATE();
    CString text;
    const HRESULT hr = pThis->GetCaption(text);
    return OutText(pbstrCaption, text, hr);
}

HRESULT CQvFView::XViewControl::GetServerNameText(BSTR* pbstrName) {
    METHOD_PROLOGUE(CQvFView, ViewControl)
    QVF_MANAGE_STATE();
    CString text;
    const HRESULT hr = pThis->GetServerNameText(text);
    return OutText(pbstrName, text, hr);
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
