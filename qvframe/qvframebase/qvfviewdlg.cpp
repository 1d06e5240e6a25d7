#include "qvfviewdlg.h"
#include "denywindow.h"
#include "qvcomserver.h"
#include "qvfserver.h"
#include "qvfview.h"
#include "qvhrtrace.h"
#include "qvsec.h"
#include "trace.h"

IMPLEMENT_DYNAMIC(CQvFViewDlg, CQvDialog)

#define VIEWDLG_TRACEHR(hr) QvAddHRErrorFile(L"qvfviewdlg", __LINE__, (hr))

CQvFViewDlg::CQvFViewDlg(CQvFView* pServer, UINT nTemplateID, CWnd* pParent)
    : CQvDialog(nTemplateID, pParent), m_pServer(pServer), m_nTemplateID(nTemplateID) {}

CQvFViewDlg::~CQvFViewDlg() {
    delete m_pDenyWindow;
    m_pDenyWindow = nullptr;
    if (m_pFrameAccel) m_pFrameAccel->Release();
    m_pFrameAccel = nullptr;
}

const QvStaticMapEntry* CQvFViewDlg::GetStaticMap() const {
    static const QvStaticMapEntry entries[] = {{0, 0}};
    return entries;
}

HRESULT CQvFViewDlg::CreateView(HWND hParent) {
    CWnd* pParent = CWnd::FromHandle(hParent);
    if (!Create(m_nTemplateID, pParent)) return VIEWDLG_TRACEHR(E_FAIL);
    return S_OK;
}

HRESULT CQvFViewDlg::ShowView(BOOL bShow) {
    m_bShown = bShow ? TRUE : FALSE;
    HRESULT hr = S_OK;
    bool bShowStep = true;
    if (m_bShown) {
        hr = ApplyDefaultSecurity();
        if (FAILED(hr)) {
            VIEWDLG_TRACEHR(hr);
            bShowStep = false;
        }
    }
    if (bShowStep && GetSafeHwnd()) ShowWindow(m_bShown && !m_pDenyWindow ? SW_SHOW : SW_HIDE);
    if (!m_bShown && m_pDenyWindow) {
        delete m_pDenyWindow;
        m_pDenyWindow = nullptr;
    }
    return hr;
}

HRESULT CQvFViewDlg::OnUpAndRunning() {
    if (m_pFrameAccel || !GetSafeHwnd()) return S_OK;
    const HRESULT hr = QvFQueryFrame(IID_IQvFAccel, reinterpret_cast<void**>(&m_pFrameAccel));
    return FAILED(hr) ? VIEWDLG_TRACEHR(hr) : S_OK;
}

HRESULT CQvFViewDlg::OnAsyncInit() { return S_OK; }
HRESULT CQvFViewDlg::OnHostNotify() { return S_OK; }

HRESULT CQvFViewDlg::CloseView() {
    m_bClosing = TRUE;
    delete m_pDenyWindow;
    m_pDenyWindow = nullptr;
    return S_OK;
}

HRESULT CQvFViewDlg::ReleaseView() {
    if (m_pFrameAccel) m_pFrameAccel->Release();
    m_pFrameAccel = nullptr;
    return S_OK;
}

BOOL CQvFViewDlg::IsClosing() { return m_bClosing; }

HRESULT CQvFViewDlg::OnApplySecurity(CString strHint, UINT nBitmapID, int nMode) {
    long lRights = 1;
    HRESULT hr = S_OK;
    if (m_pServer && m_pServer->GetSecurityFrameValue() != 0) {
        CQvSec sec;
        hr = sec.LoadRights(m_pServer->GetServerGUID());
        if (FAILED(hr)) VIEWDLG_TRACEHR(hr);
        lRights = long(LONG(sec.GetRights()));
    }
    const BOOL bAccess = nMode == 2 || (nMode != 3 && lRights > 0);
    if (m_bShown || m_pDenyWindow) {
        if (bAccess)
            RemoveDenyWindow(TRUE);
        else
            CreateDenyWindow(strHint, nBitmapID);
    }
    // Settings pages have no view-bar entry.
    if (m_pServer) {
        if (IQvFViewbarItem* pItem = GetMyViewbarItem()) {
            if (SUCCEEDED(hr)) {
                HRESULT hrItem = S_OK;
                if (m_pServer->GetViewbarKind() == 2)
                    hrItem = pItem->put_Access(bAccess);
                else if (m_pServer->GetViewbarKind() == 1)
                    hrItem = pItem->put_Enabled(bAccess);
                if (FAILED(hrItem)) VIEWDLG_TRACEHR(hrItem);
            }
            pItem->Release();
        }
    }
    return hr;
}

HRESULT CQvFViewDlg::OnApplySecurity(UINT nHintID, UINT nBitmapID, int nMode) {
    CString strHint;
    strHint.LoadString(nHintID);
    return OnApplySecurity(strHint, nBitmapID, nMode);
}

HRESULT CQvFViewDlg::ApplyDefaultSecurity() { return OnApplySecurity(CString(QVF_DEFAULT_DENY_TEXT), 0, 0); }

HRESULT CQvFViewDlg::OnMenuNotify(CString) { return S_OK; }
HRESULT CQvFViewDlg::OnMenuCommand(CString) { return S_OK; }
HRESULT CQvFViewDlg::OnAccelNotify(CString) { return S_OK; }
HRESULT CQvFViewDlg::OnAccelCommand(CString) { return S_OK; }

void CQvFViewDlg::MoveView(const RECT* pRect, BOOL bRepaint) {
    if (!pRect) return;
    const int cx = pRect->right - pRect->left;
    const int cy = pRect->bottom - pRect->top;
    if (m_pDenyWindow && m_pDenyWindow->GetSafeHwnd())
        m_pDenyWindow->MoveWindow(pRect->left, pRect->top, cx, cy, bRepaint);
    if (GetSafeHwnd()) MoveWindow(pRect->left, pRect->top, cx, cy, bRepaint);
}

HRESULT CQvFViewDlg::OnServerListChanged() { return S_OK; }

BOOL CQvFViewDlg::PreTranslateMessage(MSG* pMsg) {
    // The frame's accelerators come first: it answers S_OK when it handled the key.
    if (m_pFrameAccel && m_pFrameAccel->TranslateAccel(pMsg) == S_OK) return TRUE;
    return CQvDialog::PreTranslateMessage(pMsg);
}

void CQvFViewDlg::OnFinalRelease() {
    if (m_bFinalRelease) return;
    m_bFinalRelease = TRUE;
    if (GetSafeHwnd()) DestroyWindow();
    Trace(L"OnFinalRelease() called for: '%s'", CString(GetRuntimeClass()->m_lpszClassName));
    delete this;
}

void CQvFViewDlg::CreateDenyWindow(CString strText, UINT nBitmapID) {
    if (m_pDenyWindow) {
        delete m_pDenyWindow;
        m_pDenyWindow = nullptr;
    } else if (m_bShown && GetSafeHwnd()) {
        ShowWindow(SW_HIDE);
    }
    if (strText == QVF_DEFAULT_DENY_TEXT)
        OutputDebugStringW(L"CQvFViewDlg::CreateDenyWindow() with Default Text, "
                           L"CQvFViewDlg::OnApplySecurity(strHint, uiBitmapID..) not called \n");
    m_pDenyWindow = new CDenyWindow(GetParent(), strText, nBitmapID);
}

void CQvFViewDlg::RemoveDenyWindow(BOOL bShow) {
    if (m_pDenyWindow) {
        delete m_pDenyWindow;
        m_pDenyWindow = nullptr;
    }
    if (m_bShown && bShow && GetSafeHwnd()) ShowWindow(SW_SHOW);
}

IQvFViewbarItem* CQvFViewDlg::GetMyViewbarItem() {
    IQvFViewbar* pViewbar = nullptr;
    IQvFViewbarItem* pItem = nullptr;
    HRESULT hr = QvFQueryFrame(IID_IQvFViewbar, reinterpret_cast<void**>(&pViewbar));
    if (FAILED(hr)) VIEWDLG_TRACEHR(hr);
    if (SUCCEEDED(hr)) {
        IUnknown* pServerUnknown = m_pServer ? m_pServer->GetControllingUnknown() : nullptr;
        hr = pViewbar->GetItem(pServerUnknown, &pItem);
        if (FAILED(hr)) {
            VIEWDLG_TRACEHR(hr);
            pItem = nullptr;
        }
    }
    if (pViewbar) pViewbar->Release();
    if (FAILED(hr))
        QvReportMsg(1, CrackHR(hr), L"CQvFViewDlg::GetMyViewbarItem", L"Default", L"qvfviewdlg", __LINE__, 1);
    return pItem;
}
