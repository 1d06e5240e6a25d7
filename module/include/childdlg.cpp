#include "childdlg.h"

#include "nqcommon.h"
#include "nqframeworkres.h"
#include "parentdlg.h"
#include "qvhrtrace.h"

#include <algorithm>

namespace {
#define CHILD_TRACEHR(hr) QvAddHRErrorFile(L"childdlg", __LINE__, (hr))

CString FromBSTR(BSTR b) { return b ? CString(std::wstring(b, SysStringLen(b)).c_str()) : CString(); }

// Takes a BSTR result and frees it.
CString TakeBSTR(BSTR b) {
    CString s = FromBSTR(b);
    SysFreeString(b);
    return s;
}
}  // namespace

namespace qv::nq {
COLORREF DarkenColor(COLORREF color, int nAmount) {
    auto channel = [&](int shift) { return std::max(0, int((color >> shift) & 0xFF) - nAmount); };
    return RGB(channel(0), channel(8), channel(16));
}
}  // namespace qv::nq

IMPLEMENT_DYNAMIC(CChildDlg, CQvDialog)

BEGIN_MESSAGE_MAP(CChildDlg, CQvDialog)
    ON_WM_VSCROLL()
    ON_WM_SIZE()
    ON_WM_TIMER()
END_MESSAGE_MAP()

BEGIN_INTERFACE_MAP(CChildDlg, CQvDialog)
    INTERFACE_PART(CChildDlg, IID_INQTabWindowBase, NQTabWindowBase)
    INTERFACE_PART(CChildDlg, IID_INQTabWindowControl, NQTabWindowControl)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CChildDlg, NQTabWindowBase)
IMPLEMENT_IUNKNOWN(CChildDlg, NQTabWindowControl)

CChildDlg::CChildDlg(UINT nTemplateID, UINT nCaptionID, LPCWSTR lpszTabName, CWnd* pParent, int nContentHeight,
                     UINT nFirstFocusID, HINSTANCE hResource)
    : CQvDialog(nTemplateID, pParent),
      m_DataLogger(CString(L"Qovaro.Ostrel.") + L"Child"),
      m_nFirstFocusID(nFirstFocusID),
      m_nCaptionID(nCaptionID),
      m_strTabName(lpszTabName ? lpszTabName : L""),
      m_nContentHeight(nContentHeight),
      m_nTemplateID(nTemplateID),
      m_hResource(hResource) {
    AfxOleLockApp();
}

CChildDlg::~CChildDlg() {
    delete m_pScrollHelper;
    m_pScrollHelper = nullptr;
    if (m_pParentControl) m_pParentControl->Release();
    m_pParentControl = nullptr;
    AfxOleUnlockApp();
}

BOOL CChildDlg::OnInitDialog() {
    // A shade darker than the parent, so a page stands out from the header around it.
    SetBackgroundColor(QVBK_COLOR, qv::nq::DarkenColor(GetSysColor(COLOR_BTNFACE), 0x14));
    CQvDialog::OnInitDialog();
    if (m_nContentHeight > 0) {
        m_pScrollHelper = new CDlgScrollHelper;
        m_pScrollHelper->AttachWnd(this);
        m_pScrollHelper->SetDisplaySize(0, m_nContentHeight);
    }
    return TRUE;
}

void CChildDlg::OnFinalRelease() {
    if (m_bFinalReleased) return;
    m_bFinalReleased = TRUE;
    if (m_nLoadTimerID && GetSafeHwnd()) KillTimer(m_nLoadTimerID);
    m_nLoadTimerID = 0;
    if (GetSafeHwnd()) DestroyWindow();
    delete this;
}

BOOL CChildDlg::IsParentReady() const {
    return m_pParentDlg && m_pParentDlg->IsShown() && !m_pParentDlg->GetDenyWindow();
}

HRESULT CChildDlg::CloseTab() { return S_OK; }

HRESULT CChildDlg::ReleaseParentControl() {
    if (m_pParentControl) m_pParentControl->Release();
    m_pParentControl = nullptr;
    return S_OK;
}

HRESULT CChildDlg::MarkModifiedAndReload() {
    m_bModified = TRUE;
    if (GetRecordID() != 0) return IsModified() ? Reload() : S_OK;
    return ReloadTabs();
}

CChildDlg::CBusyScope::CBusyScope(CChildDlg* pPage) : m_pPage(pPage), m_pParent(pPage->m_pParentDlg) {
    ++m_pPage->m_nBusy;
    if (m_pParent) ++m_pParent->m_nPagesBusy;
}

CChildDlg::CBusyScope::~CBusyScope() {
    --m_pPage->m_nBusy;
    if (m_pParent) --m_pParent->m_nPagesBusy;
}

HRESULT CChildDlg::Reload() {
    if (m_nBusy > 0) {
        m_bModified = TRUE;
        m_bReloadAsked = TRUE;
        return S_FALSE;
    }
    CBusyScope busy(this);
    m_bReloadAsked = FALSE;
    OnLoadStarting();
    HRESULT hr = Refresh();
    // Asked for inside a box of the load: the record shown may have changed meanwhile.
    if (SUCCEEDED(hr) && m_bReloadAsked) {
        m_bReloadAsked = FALSE;
        hr = Refresh();
    }
    m_bReloadAsked = FALSE;
    // The page is stale until a load succeeds: it loads again when it is asked to.
    if (FAILED(hr)) m_bModified = TRUE;
    m_bLoadFailed = FAILED(hr);
    OnLoadEnded(hr);
    return hr;
}

void CChildDlg::OnLoadStarting() { UngreyControls(); }

void CChildDlg::OnLoadEnded(HRESULT hr) {
    if (FAILED(hr)) GreyControls(nullptr);
}

void CChildDlg::GreyControls(HWND hKeep) {
    if (!GetSafeHwnd()) return;
    for (HWND h = ::GetWindow(GetSafeHwnd(), GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        if (h == hKeep || h == m_btnHelp.GetSafeHwnd() || !::IsWindowEnabled(h)) continue;
        ::EnableWindow(h, FALSE);
        m_greyedControls.push_back(h);
    }
}

void CChildDlg::UngreyControls() {
    for (HWND h : m_greyedControls)
        if (::IsWindow(h)) ::EnableWindow(h, TRUE);
    m_greyedControls.clear();
}

HRESULT CChildDlg::SetModified() {
    m_bModified = TRUE;
    if (!m_pParentControl) return CHILD_TRACEHR(E_FAIL);
    const HRESULT hr = m_pParentControl->RefreshAll();
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

BOOL CChildDlg::IsModified() { return m_bActive && IsParentReady() && m_bModified; }

HRESULT CChildDlg::Refresh() {
    m_bModified = FALSE;
    const HRESULT hr = LoadData();
    if (FAILED(hr)) CHILD_TRACEHR(hr);
    UpdateData(FALSE);
    m_storedState.statements.clear();
    if (GetRecordID() != 0) GetStoredStateStatements(m_storedState.statements);
    m_storedState.strLoaded = m_pParentDlg ? m_pParentDlg->ReadStoredState(m_storedState) : CString();
    return hr;
}

void CChildDlg::GetStoredStateStatements(std::vector<std::pair<CString, long>>&) {}

HRESULT CChildDlg::CheckStoredRecord() {
    if (!m_bSavePending || !m_pParentDlg) return S_OK;
    const HRESULT hr = m_pParentDlg->CheckStoredState(m_storedState);
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::RequestSave() {
    if (!m_pParentControl) return CHILD_TRACEHR(E_FAIL);
    const HRESULT hr = m_pParentControl->SaveData();
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::SaveData() {
    // What the page wrote, read while the lock is still held, is what it shows now.
    if (m_bSavePending && m_pParentDlg && !m_storedState.statements.empty())
        m_storedState.strLoaded = m_pParentDlg->ReadStoredState(m_storedState);
    m_bSavePending = FALSE;
    return S_OK;
}

HRESULT CChildDlg::RequestCancelEdit() {
    if (!m_pParentControl) return CHILD_TRACEHR(E_FAIL);
    const HRESULT hr = m_pParentControl->CancelEdit();
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::DiscardChanges() {
    m_bSavePending = FALSE;
    return Reload();
}

HRESULT CChildDlg::SetParentControl(INQParentControl* pParentControl) {
    if (pParentControl) pParentControl->AddRef();
    if (m_pParentControl) m_pParentControl->Release();
    m_pParentControl = pParentControl;
    return S_OK;
}

HRESULT CChildDlg::SetTabName(CString strName) {
    m_strWindowName = strName;
    return S_OK;
}

long CChildDlg::GetRecordID() {
    long lID = 0, lSubID = 0;
    if (m_pParentControl) m_pParentControl->GetRecordIDs(&lID, &lSubID);
    return lID;
}

long CChildDlg::GetSubRecordID() {
    long lID = 0, lSubID = 0;
    if (m_pParentControl) m_pParentControl->GetRecordIDs(&lID, &lSubID);
    return lSubID;
}

long CChildDlg::GetThirdID() {
    long lID = 0;
    if (m_pParentControl) m_pParentControl->GetThirdID(&lID);
    return lID;
}

CString CChildDlg::GetMandantGUID() {
    if (!m_pParentControl) return CString();
    BSTR b = nullptr;
    m_pParentControl->GetMandantGUID(&b);
    return TakeBSTR(b);
}

HRESULT CChildDlg::LockRecord(CString strTable, CString strIDColumn, CString* pstrOwner) {
    if (!m_pParentControl) return CHILD_TRACEHR(E_FAIL);
    BSTR bstrTable = strTable.AllocSysString(), bstrColumn = strIDColumn.AllocSysString(), bstrOwner = nullptr;
    const HRESULT hr = m_pParentControl->LockRecord(bstrTable, bstrColumn, &bstrOwner);
    SysFreeString(bstrTable);
    SysFreeString(bstrColumn);
    const CString strOwner = TakeBSTR(bstrOwner);
    if (FAILED(hr)) return CHILD_TRACEHR(hr);
    if (pstrOwner) *pstrOwner = strOwner;
    return hr;
}

HRESULT CChildDlg::UnlockRecord(CString strTable, CString strIDColumn) {
    if (!m_pParentControl) return CHILD_TRACEHR(E_FAIL);
    BSTR bstrTable = strTable.AllocSysString(), bstrColumn = strIDColumn.AllocSysString();
    const HRESULT hr = m_pParentControl->UnlockRecord(bstrTable, bstrColumn);
    SysFreeString(bstrTable);
    SysFreeString(bstrColumn);
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::CheckRecordLock(CString strTable, CString strIDColumn, CString* pstrOwner) {
    if (!m_pParentControl) return CHILD_TRACEHR(E_FAIL);
    BSTR bstrTable = strTable.AllocSysString(), bstrColumn = strIDColumn.AllocSysString(), bstrOwner = nullptr;
    const HRESULT hr = m_pParentControl->CheckRecordLock(bstrTable, bstrColumn, &bstrOwner);
    SysFreeString(bstrTable);
    SysFreeString(bstrColumn);
    const CString strOwner = TakeBSTR(bstrOwner);
    if (FAILED(hr)) return CHILD_TRACEHR(hr);
    if (pstrOwner) *pstrOwner = strOwner;
    return hr;
}

HRESULT CChildDlg::BeginEdit() {
    // No edit begins while the page shows stale data.
    if (!m_pParentControl || m_bModified) return eRecordUnchanged;
    // The page's first change: the parent compares what the page shows with what is stored.
    if (m_pParentDlg && !m_bSavePending) m_pParentDlg->SetEditingPage(&m_storedState);
    const HRESULT hr = m_pParentControl->BeginEdit();
    if (m_pParentDlg) m_pParentDlg->SetEditingPage(nullptr);
    // A change that may not be made (another user's lock or change, a database that may not be
    // written) leaves nothing on the page: it shows what is stored.
    if (hr != eRecordEditing && !m_bSavePending) Reload();
    if (FAILED(hr)) return CHILD_TRACEHR(hr);
    if (hr == eRecordEditing) m_bSavePending = TRUE;
    return hr;
}

HRESULT CChildDlg::EndEdit() {
    if (!m_pParentControl) return CHILD_TRACEHR(E_FAIL);
    const HRESULT hr = m_pParentControl->EndEdit();
    if (FAILED(hr)) return CHILD_TRACEHR(hr);
    m_bSavePending = FALSE;
    m_bModified = FALSE;
    return hr;
}

HRESULT CChildDlg::UpdateRecordState(CString* pstrOwner) {
    if (!m_pParentControl) return CHILD_TRACEHR(E_FAIL);
    BSTR bstrOwner = nullptr;
    const HRESULT hr = m_pParentControl->UpdateRecordState(&bstrOwner);
    const CString strOwner = TakeBSTR(bstrOwner);
    if (pstrOwner) *pstrOwner = strOwner;
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::GetRecordState(CString* /*pstrText*/) { return eRecordUnchanged; }

HRESULT CChildDlg::ReloadTabs() {
    if (!m_pParentControl) return CHILD_TRACEHR(E_FAIL);
    const HRESULT hr = m_pParentControl->ReloadVisibleTabs();
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::LoadData() {
    if (m_nLoadTimerID && GetSafeHwnd()) KillTimer(m_nLoadTimerID);
    m_nLoadTimerID = 0;
    const HRESULT hr = UpdateRights(CString());
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::LoadRightsForMandant(CQvGUID guidFunction, CQvGUID guidScope, CString strKey) {
    HRESULT hrLoad = m_Sec.LoadRights(guidFunction);
    if (FAILED(hrLoad)) CHILD_TRACEHR(hrLoad);
    HRESULT hr = hrLoad;
    if (strKey.IsEmpty()) strKey = GetMandantGUID();
    if (GetRecordID() == 0) {
        if (!strKey.IsEmpty()) {
            CQvSec secObject;
            if (SUCCEEDED(hrLoad)) {
                hr = secObject.LoadObjectRights(guidScope, strKey);
                if (FAILED(hr)) CHILD_TRACEHR(hr);
            }
            m_Sec &= secObject;
        }
    } else if (!strKey.IsEmpty() && SUCCEEDED(hrLoad)) {
        long lRight = 0;
        hr = m_pParentControl ? m_pParentControl->GetRecordRight(&lRight) : E_FAIL;
        if (hr == S_OK) m_Sec &= DWORD(lRight);
        if (FAILED(hr)) CHILD_TRACEHR(hr);
    }
    ApplyRightsFlags();
    return hr;
}

HRESULT CChildDlg::LoadRights(CQvGUID guidFunction, BOOL bApply) {
    const HRESULT hr = m_Sec.LoadRights(guidFunction);
    if (FAILED(hr)) CHILD_TRACEHR(hr);
    if (bApply) ApplyRightsFlags();
    return hr;
}

HRESULT CChildDlg::UpdateRights(CString strKey) {
    if (!m_guidScope.IsNULL()) return LoadRightsForMandant(m_guidFunction, m_guidScope, strKey);
    return LoadRights(m_guidFunction, TRUE);
}

void CChildDlg::ApplyRightsFlags() {
    const DWORD dwRights = m_Sec.GetRights();
    if ((dwRights & 0x10000) && m_lOwnerPersonID == m_lUserPersonID) {
        if (!(dwRights & 0x100)) m_Sec |= 0x100;
        return;
    }
    if (!(dwRights & 0x1)) m_Sec &= 0xFFFEFFFFu;
}

void CChildDlg::EnableDlgItemByRights(UINT nID, BOOL bVisible, BOOL bEditable, DWORD dwRights) {
    EnableControlByRights(GetDlgItem(int(nID)), bVisible, bEditable, dwRights);
}

void CChildDlg::EnableControlByRights(CWnd* pWnd, BOOL bVisible, BOOL bEditable, DWORD dwRights) {
    const long nShow = bVisible ? 1 : 3;
    BOOL bLocked = FALSE;
    if (m_pParentControl) m_pParentControl->IsLockedByOther(&bLocked);
    const long nEdit = (GetRecordID() == 0 || bLocked) ? 3 : (bEditable ? 1 : 3);
    m_Sec.EnableControl(pWnd, nShow, nEdit, dwRights, false);
}

HRESULT CChildDlg::NavigateTo(long lID, long lSubID) {
    if (!m_pParentControl) return CHILD_TRACEHR(E_FAIL);
    const HRESULT hr = m_pParentControl->Navigate(lID, lSubID);
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::CanNavigate(long, long) { return S_OK; }

HRESULT CChildDlg::SetRecordState(long lCode, CString strText) {
    if (!m_pParentControl) return CHILD_TRACEHR(E_FAIL);
    BSTR bstrText = strText.AllocSysString();
    const HRESULT hr = m_pParentControl->SetRecordState(lCode, bstrText);
    SysFreeString(bstrText);
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::ShowRecordState(long, CString) { return S_OK; }

BOOL CChildDlg::IsSavePending() { return m_bSavePending; }

HRESULT CChildDlg::ResetEditState() {
    if (!m_pParentControl) return CHILD_TRACEHR(E_FAIL);
    const HRESULT hr = m_pParentControl->ResetEditState();
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::ClearSavePending() {
    m_bSavePending = FALSE;
    return S_OK;
}

HRESULT CChildDlg::CreateTabWindow(HWND* phWnd, CParentDlg* pParentDlg) {
    m_pParentDlg = pParentDlg;
    CWnd* pParent = phWnd ? CWnd::FromHandle(*phWnd) : nullptr;
    if (!Create(m_nTemplateID & 0xFFFF, pParent)) return CHILD_TRACEHR(E_FAIL);
    SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_HIDEWINDOW);
    if (phWnd) *phWnd = GetSafeHwnd();
    return S_OK;
}

HRESULT CChildDlg::ShowTab(BOOL bShow) {
    if (!bShow) {
        if (m_bActive) ShowWindow(SW_HIDE);
        m_bActive = FALSE;
        return S_OK;
    }
    if (m_bActive && IsParentReady()) return S_OK;
    ShowWindow(SW_SHOW);
    m_bActive = TRUE;
    if (m_pParentDlg) NQ_AddTabToNavigate(m_pParentDlg->GetViewName(), m_strTabName);
    HRESULT hr = S_OK;
    if (m_bModified && GetRecordID() != 0) {
        hr = Reload();
        if (FAILED(hr)) CHILD_TRACEHR(hr);
    } else if (!m_nBusy) {
        LoadData();
    }
    if (m_nFirstFocusID) SetFirstFocus(m_nFirstFocusID);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CChildDlg::SetFirstFocus(UINT nID) {
    CWnd* pCtrl = GetDlgItem(int(nID));
    if (!pCtrl || !pCtrl->GetSafeHwnd()) return CHILD_TRACEHR(E_FAIL);
    pCtrl->SetFocus();
    pCtrl->SendMessage(EM_SETSEL, 0, -1);
    return S_OK;
}

HRESULT CChildDlg::CheckRightsFor(long lValue) {
    m_lRightsRequest = lValue;
    if (!m_guidFunction.IsNULL() && lValue != 0) {
        LoadRights(m_guidFunction, FALSE);
        return m_Sec.HasAllRights(0) ? S_OK : S_FALSE;
    }
    return S_FALSE;
}

HRESULT CChildDlg::Command1() { return E_FAIL; }
HRESULT CChildDlg::Command2() { return E_FAIL; }
HRESULT CChildDlg::Command3() { return E_FAIL; }
void CChildDlg::CreateLayout() {}

HRESULT CChildDlg::SetClosing() {
    m_bClosing = TRUE;
    return S_OK;
}

HRESULT CChildDlg::ShowHelp() {
    if (m_bActive && IsParentReady() && GetSafeHwnd()) {
        m_btnHelp.ShowHelp();
        return S_OK;
    }
    return S_FALSE;
}

void CChildDlg::EnsureFocusVisible() {
    if (!m_pScrollHelper) return;
    CWnd* pFocus = CWnd::GetFocus();
    if (!pFocus) return;
    CRect rc;
    pFocus->GetWindowRect(&rc);
    ScreenToClient(&rc);
    m_pScrollHelper->EnsureVisible(rc.left, rc.top, rc.right, rc.bottom);
}

void CChildDlg::OnOK() {}

void CChildDlg::OnCancel() {}

void CChildDlg::OnVScroll(UINT nSBCode, UINT /*nPos*/, CScrollBar* pScrollBar) {
    if (m_pScrollHelper) m_pScrollHelper->OnVScroll(nSBCode, pScrollBar);
}

void CChildDlg::OnSize(UINT nType, int cx, int cy) {
    CQvDialog::OnSize(nType, cx, cy);
    if (m_pScrollHelper) m_pScrollHelper->OnSize();
}

void CChildDlg::OnTimer(UINT_PTR nIDEvent) {
    // A load pending while the page loads or saves comes at a later tick.
    if (m_bActive && IsParentReady() && nIDEvent == m_nLoadTimerID && m_nLoadTimerID != 0 && !m_nBusy) LoadData();
    Default();
}

void CChildDlg::OnCtrlSetFocus() { EnsureFocusVisible(); }

void CChildDlg::OnNotifySetFocus(NMHDR*, LRESULT* pResult) {
    if (pResult) *pResult = 0;
    EnsureFocusVisible();
}

// ---- INQTabWindowBase

HRESULT CChildDlg::XNQTabWindowBase::SetParentControl(INQParentControl* pParent) {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowBase)
    NQ_MANAGE_STATE(pThis->m_hResource);
    pThis->SetParentControl(pParent);
    return S_OK;
}

HRESULT CChildDlg::XNQTabWindowBase::SetName(BSTR bstrName) {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowBase)
    NQ_MANAGE_STATE(pThis->m_hResource);
    pThis->SetTabName(FromBSTR(bstrName));
    return S_OK;
}

HRESULT CChildDlg::XNQTabWindowBase::Create(HWND* phWnd, void* pParentDlg) {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowBase)
    NQ_MANAGE_STATE(pThis->m_hResource);
    const HRESULT hr = pThis->CreateTabWindow(phWnd, static_cast<CParentDlg*>(pParentDlg));
    return FAILED(hr) ? CHILD_TRACEHR(E_FAIL) : S_OK;
}

HRESULT CChildDlg::XNQTabWindowBase::Show(BOOL bShow) {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowBase)
    NQ_MANAGE_STATE(pThis->m_hResource);
    return pThis->ShowTab(bShow);
}

HRESULT CChildDlg::XNQTabWindowBase::GetCaption(BSTR* pbstrCaption) {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowBase)
    NQ_MANAGE_STATE(pThis->m_hResource);
    CString strCaption;
    strCaption.LoadString(pThis->m_nCaptionID);
    if (pbstrCaption) *pbstrCaption = strCaption.AllocSysString();
    return S_OK;
}

HRESULT CChildDlg::XNQTabWindowBase::GetName(BSTR* pbstrName) {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowBase)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (pbstrName) *pbstrName = pThis->m_strTabName.AllocSysString();
    return S_OK;
}

HRESULT CChildDlg::XNQTabWindowBase::CheckRightsFor(long lValue, HRESULT* phrResult) {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowBase)
    NQ_MANAGE_STATE(pThis->m_hResource);
    const HRESULT hr = pThis->CheckRightsFor(lValue);
    if (phrResult) *phrResult = hr;
    return S_OK;
}

HRESULT CChildDlg::XNQTabWindowBase::Move(RECT rc) {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowBase)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (!pThis->GetSafeHwnd()) return CHILD_TRACEHR(E_FAIL);
    pThis->MoveWindow(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
    return S_OK;
}

HRESULT CChildDlg::XNQTabWindowBase::SetFocus(UINT nCtrlID) {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowBase)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (!pThis->GetSafeHwnd()) return CHILD_TRACEHR(E_FAIL);
    const HRESULT hr = pThis->SetFirstFocus(nCtrlID);
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::XNQTabWindowBase::CloseTab() {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowBase)
    NQ_MANAGE_STATE(pThis->m_hResource);
    return pThis->CloseTab();
}

HRESULT CChildDlg::XNQTabWindowBase::Detach() {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowBase)
    NQ_MANAGE_STATE(pThis->m_hResource);
    return pThis->ReleaseParentControl();
}

// ---- INQTabWindowControl

HRESULT CChildDlg::XNQTabWindowControl::LoadData() {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (!pThis->m_bActive || !pThis->IsParentReady()) return S_OK;
    if (!pThis->GetSafeHwnd()) return CHILD_TRACEHR(E_FAIL);
    if (pThis->m_nBusy) {
        pThis->m_bReloadAsked = TRUE;
        return S_FALSE;
    }
    return pThis->LoadData();
}

HRESULT CChildDlg::XNQTabWindowControl::RefreshIfModified() {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (!pThis->IsModified()) return S_FALSE;
    const HRESULT hr = pThis->Reload();
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::XNQTabWindowControl::GetRecordState(BSTR* pbstrText) {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    CString strText;
    const HRESULT hr = pThis->GetRecordState(&strText);
    if (pbstrText) *pbstrText = strText.AllocSysString();
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::XNQTabWindowControl::ShowRecordState(long lCode, BSTR bstrText) {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    const HRESULT hr = pThis->ShowRecordState(lCode, FromBSTR(bstrText));
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::XNQTabWindowControl::SaveData() {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (!pThis->IsSavePending()) return S_OK;
    // Not inside a box of the page's own load or save.
    if (pThis->m_nBusy) return CHILD_TRACEHR(E_ABORT);
    HRESULT hr = S_OK;
    {
        CBusyScope busy(pThis);
        hr = pThis->SaveData();
    }
    // A load asked for during the save is made when the page is asked to load next.
    if (pThis->m_bReloadAsked) {
        pThis->m_bReloadAsked = FALSE;
        pThis->m_bModified = TRUE;
    }
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::XNQTabWindowControl::DiscardChanges() {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (!pThis->IsSavePending()) return S_OK;
    const HRESULT hr = pThis->DiscardChanges();
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::XNQTabWindowControl::SetModified() {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    pThis->m_bModified = TRUE;
    return S_OK;
}

HRESULT CChildDlg::XNQTabWindowControl::FocusNext() {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (pThis->m_bActive && pThis->IsParentReady() && pThis->GetSafeHwnd()) pThis->SendMessage(WM_NEXTDLGCTL, 0, 0);
    return S_OK;
}

HRESULT CChildDlg::XNQTabWindowControl::CanNavigate(long lID, long lSubID) {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    return pThis->CanNavigate(lID, lSubID);
}

HRESULT CChildDlg::XNQTabWindowControl::ClearSavePending() {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    return pThis->ClearSavePending();
}

HRESULT CChildDlg::XNQTabWindowControl::ShowHelp() {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    return pThis->ShowHelp();
}

HRESULT CChildDlg::XNQTabWindowControl::SetClosing() {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    return pThis->SetClosing();
}

HRESULT CChildDlg::XNQTabWindowControl::Command1() {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (!pThis->m_bActive || !pThis->IsParentReady()) return S_OK;
    const HRESULT hr = pThis->Command1();
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::XNQTabWindowControl::Command2() {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (!pThis->m_bActive || !pThis->IsParentReady()) return S_OK;
    const HRESULT hr = pThis->Command2();
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}

HRESULT CChildDlg::XNQTabWindowControl::Command3() {
    METHOD_PROLOGUE(CChildDlg, NQTabWindowControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (!pThis->m_bActive || !pThis->IsParentReady()) return S_OK;
    const HRESULT hr = pThis->Command3();
    return FAILED(hr) ? CHILD_TRACEHR(hr) : hr;
}
