#include "parentdlg.h"

#include "nqcommon.h"
#include "nqframeworkres.h"
#include "optionserver.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdblookup.h"
#include "qvfint.h"
#include "qvfserver.h"
#include "qvfview.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "qvregvalue.h"
#include "qvwaitdlg.h"
#include "qtwidget.h"
#include "statuslinereports.h"

#include <QMetaObject>
#include <QWidget>

#include <utility>

#define PARENT_TRACEHR(hr) QvAddHRErrorFile(L"parentdlg", __LINE__, (hr))

namespace {

constexpr const wchar_t* kCommonKey = L"Software\\Qovaro\\NQ2\\Common";

CString FromBSTR(BSTR b) { return b ? CString(std::wstring(b, SysStringLen(b)).c_str()) : CString(); }

// The state codes' text ids and icon indexes; every other code reads as unchanged.
void StateLook(long lCode, UINT& nTextID, long& lIcon) {
    switch (lCode) {
    case eRecordEditing: nTextID = IDS_NQ_RECORD_CHANGED; lIcon = 2; break;
    case eRecordLockedByOther: nTextID = IDS_NQ_RECORD_LOCKED; lIcon = 1; break;
    case eRecordDeleted: nTextID = IDS_NQ_RECORD_DELETED; lIcon = 3; break;
    default: nTextID = IDS_NQ_RECORD_UNCHANGED; lIcon = 0; break;
    }
}

// Asks the dialog, on its own thread, to mark itself and its pages closing.
const UINT WM_NQ_VIEWCLOSING = RegisterWindowMessage(L"NQParentDlg.ViewClosing");

// The last tenant whose logo was read, and whether it had one: read once per process.
long g_lLogoMandantID = 0;
BOOL g_bLogoShown = FALSE;

}  // namespace

namespace qv::nq {
CString RecordRightStatement(const CString& strTable, long lMandantID, long lTableID, long lUserID, long lRecordID) {
    // The tenant comes from the dialog's record query: the tables have no tenant column of their own.
    CString strSQL;
    strSQL.Format(L"SELECT SecMandant.lRight AS lRight \t\t\t\tFROM %s JOIN SecMandant ON SecMandant.lMandantID = %d "
                  L"AND SecMandant.lTableID = %d AND SecMandant.lQvSecUserID = %d \t\t\t\tWHERE l%sID = %d",
                  strTable, lMandantID, lTableID, lUserID, strTable, lRecordID);
    return strSQL;
}
}  // namespace qv::nq

IMPLEMENT_DYNAMIC(CParentDlg, CQvFViewDlg)

BEGIN_MESSAGE_MAP(CParentDlg, CQvFViewDlg)
    ON_WM_TIMER()
    ON_STN_CLICKED(IDC_NQ_ICON_DOCMNGMT, &CParentDlg::OnDocumentIconClicked)
    ON_REGISTERED_MESSAGE(AFX_WM_CHANGE_ACTIVE_TAB, &CParentDlg::OnChangeActiveTab)
    ON_REGISTERED_MESSAGE(WM_NQ_VIEWCLOSING, &CParentDlg::OnViewClosing)
END_MESSAGE_MAP()

BEGIN_INTERFACE_MAP(CParentDlg, CQvFViewDlg)
    INTERFACE_PART(CParentDlg, IID_INQParentControl, NQParentControl)
    INTERFACE_PART(CParentDlg, IID_IEventSink, QvEventSink)
END_INTERFACE_MAP()

CParentDlg::CParentDlg(CQvFView* pView, LPCWSTR lpszTable, LPCWSTR lpszSubTable, CWnd* pParent,
                       HINSTANCE hResource)
    : CQvFViewDlg(pView, IDD_NQ_PARENTDLG, pParent),
      m_logger(CString(L"Qovaro.Ostrel.") + L"Parent"),
      m_tabCtrl(lpszTable),
      m_strTable(lpszTable ? lpszTable : L""),
      m_strSubTable(lpszSubTable ? lpszSubTable : L""),
      m_hResource(hResource) {
    m_guidScope.SetNULL();
    m_guidMandant.SetNULL();
}

CParentDlg::~CParentDlg() {
    // A dialog that goes without being closed as a view must not leave its drop thread behind.
    StopDropTarget();
    for (auto it = m_listTabs.rbegin(); it != m_listTabs.rend(); ++it) (*it)->Release();
    m_listTabs.clear();
    m_tabCtrl.ReleaseAll();
}

void CParentDlg::DoDataExchange(CDataExchange* pDX) {
    CQvFViewDlg::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_NQ_ICON_EDIT, m_iconEdit);
    DDX_Control(pDX, IDC_NQ_ICON_DOCMNGMT, m_iconDocMngmt);
    DDX_Control(pDX, IDC_NQ_LOGO, m_logo);
}

INQParentControl* CParentDlg::GetParentControl() {
    INQParentControl* p = nullptr;
    ExternalQueryInterface(&IID_INQParentControl, reinterpret_cast<void**>(&p));
    return p;
}

CQvGUID CParentDlg::GetFunctionGUID() const { return m_pServer ? m_pServer->GetServerGUID() : CQvGUID(); }

HRESULT CParentDlg::ReportDBError(CQvADOConnection& connection, HRESULT hr, long lLine) {
    return QvReportDBError(connection, hr, __FILE__, lLine);
}

// ---- window life

BOOL CParentDlg::OnInitDialog() {
    CQvDialog::OnInitDialog();
    m_logo.SetProperty(DISPID_BACKCOLOR, VT_UI4, DWORD(GetBackgroundColor()));
    long lInterval = 0;
    COptionServer options;
    options.GetOption(-1000, L"LockUpdateIntervall", &lInterval, 1, 0);
    if (lInterval > 0 && SetTimer(kLockTimerID, UINT(lInterval * 1000)) != 0) m_nLockTimer = kLockTimerID;
    SetDocumentIconGUIDs(GetFunctionGUID(), m_guidScope);
    StartDropTarget();
    m_eventSink.Advise(GetInterface(&IID_IEventSink));
    return TRUE;
}

HRESULT CParentDlg::OnUpAndRunning() {
    if (m_pServer) m_pServer->GetProgID(m_strViewProgID);
    HRESULT hr = m_tabCtrl.CreateTabWindows(CString());
    if (FAILED(hr)) return PARENT_TRACEHR(hr);
    hr = CQvFViewDlg::OnUpAndRunning();
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    return hr;
}

HRESULT CParentDlg::ShowView(BOOL bShow) {
    const HRESULT hr = CQvFViewDlg::ShowView(bShow);
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    if (m_bShown && !m_pDenyWindow) {
        NQ_AddViewToNavigate(m_strViewProgID);
        if (SUCCEEDED(hr)) RefreshAll();
    } else if (m_nSecurityApplied >= 1 && SUCCEEDED(hr)) {
        Navigate(m_lRecordID, m_lSubRecordID);
    }
    return hr;
}

HRESULT CParentDlg::OnApplySecurity(CString strHint, UINT nBitmapID, int nMode) {
    if (GetSafeHwnd() && !m_bClosing && m_nSecurityApplied >= 1) {
        if (IsViewReady()) {
            const HRESULT hr = ApplyRights();
            if (FAILED(hr)) return PARENT_TRACEHR(hr);
        }
    } else {
        ++m_nSecurityApplied;
    }
    const HRESULT hr = CQvFViewDlg::OnApplySecurity(strHint, nBitmapID, nMode);
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    return hr;
}

long CParentDlg::FailureReportCount() { return QvReportMsgCount() + QvDBErrorReportCount(); }

LRESULT CParentDlg::OnChangeActiveTab(WPARAM, LPARAM) {
    if (m_bClosing) return 0;
    const long lReports = FailureReportCount();
    HRESULT hr = m_tabCtrl.OnActiveTabChanged();
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    if (IsViewReady() && SUCCEEDED(hr)) hr = ApplyRights();
    // A page whose load failed has said why: one report for one failure.
    if (FAILED(hr) && FailureReportCount() == lReports)
        QvReportMsg(hr, NQLoadString(IDS_NQ_PAGE_FAILED) + L"\n\n" + CrackHR(hr), L"CParentDlg::OnChangeActiveTab",
                    L"Default", __FILE__, __LINE__, 1);
    return 0;
}

HRESULT CParentDlg::CloseView() {
    // Not from inside the message loop of a page's box while it loads or saves: the page's load or
    // save goes on when the box is answered.
    if (IsPageBusy()) return PARENT_TRACEHR(HRESULT_FROM_WIN32(ERROR_CANCELLED));
    const HRESULT hrAsk = AskBeforeClose();
    if (FAILED(hrAsk)) return hrAsk;
    return CloseAsked();
}

HRESULT CParentDlg::AskBeforeClose() {
    m_bSaveRefused = FALSE;
    m_bQuitWhenSaved = FALSE;
    m_bAskingToClose = TRUE;
    Navigate(m_lRecordID, m_lSubRecordID);
    m_bAskingToClose = FALSE;
    const BOOL bKeep = m_bSaveRefused && m_bEditing && m_bShown;
    m_bSaveRefused = FALSE;
    if (!bKeep) m_bQuitWhenSaved = FALSE;
    return bKeep ? HRESULT_FROM_WIN32(ERROR_CANCELLED) : S_OK;
}

void CParentDlg::QuitWhenSaved() {
    if (m_bAskingToClose || m_bQuitSaveRunning) m_bQuitWhenSaved = TRUE;
}

BOOL CParentDlg::TakeQuitWhenSaved() { return std::exchange(m_bQuitWhenSaved, FALSE); }

void CParentDlg::QuitAfterSave() {
    // The frame's window closes as a quit does, in a turn of its own: it asks nothing more, for
    // the edit has been saved.
    HWND hMain = nullptr;
    IQvFFrame* pFrame = nullptr;
    if (SUCCEEDED(QvFQueryFrame(IID_IQvFFrame, reinterpret_cast<void**>(&pFrame))) && pFrame) {
        pFrame->GetMainWindow(&hMain);
        pFrame->Release();
    }
    QWidget* pWidget = qv::ui::WidgetOf(hMain);
    if (!pWidget) pWidget = qv::ui::WidgetOf(GetSafeHwnd());
    if (pWidget) QMetaObject::invokeMethod(pWidget->window(), "close", Qt::QueuedConnection);
}

HRESULT CParentDlg::CloseAsked() {
    HRESULT hr = EndEdit();
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    CQvRegistry::SetValue(kCommonKey, CString(L"LastID_") + m_strTable, GetRecordID());
    if (!m_strSubTable.IsEmpty()) CQvRegistry::SetValue(kCommonKey, CString(L"LastID_") + m_strSubTable, GetSubRecordID());
    if (m_nLockTimer) {
        KillTimer(kLockTimerID);
        m_nLockTimer = 0;
    }
    // Pages, sink and tabs go down even when the edit could not be ended: nothing may reach a
    // dialog that is about to be destroyed. The first failure stays the result.
    HRESULT hrStep = S_OK;
    for (int i = 0; i < m_tabCtrl.GetTabCount(); ++i) {
        hrStep = m_tabCtrl.GetTabData(i)->pTab->CloseTab();
        if (FAILED(hrStep)) {
            PARENT_TRACEHR(hrStep);
            break;
        }
    }
    if (SUCCEEDED(hr)) hr = hrStep;
    StopDropTarget();
    if (!m_eventSink.Unadvise() && SUCCEEDED(hr)) hr = PARENT_TRACEHR(E_FAIL);
    // Taking the tabs down is no tab switch: the strip's notice of a new active tab would
    // overwrite the remembered tab (and navigate) while the view goes. The flag itself keeps
    // telling whether the closing event came.
    const BOOL bClosing = m_bClosing;
    m_bClosing = TRUE;
    hrStep = m_tabCtrl.RemoveAllTabWindows();
    m_bClosing = bClosing;
    if (FAILED(hrStep)) PARENT_TRACEHR(hrStep);
    hrStep = CQvFViewDlg::CloseView();
    return FAILED(hr) ? hr : hrStep;
}

HRESULT CParentDlg::ReleaseView() {
    while (!m_listTabs.empty()) {
        INQTabWindowControl* pTab = m_listTabs.back();
        m_listTabs.pop_back();
        pTab->Release();
    }
    return CQvFViewDlg::ReleaseView();
}

CString CParentDlg::GetToolTipText(HWND hControl) {
    if (m_iconEdit.GetSafeHwnd() && hControl == m_iconEdit.GetSafeHwnd()) return m_strRecordStateText;
    if (m_iconDocMngmt.GetSafeHwnd() && hControl == m_iconDocMngmt.GetSafeHwnd())
        return m_iconDocMngmt.m_bShowBitmap ? m_iconDocMngmt.m_strToolTip : CString();
    return CQvFViewDlg::GetToolTipText(hControl);
}

// ---- accessors and the tab list

long CParentDlg::GetRecordID() { return m_lRecordID; }
long CParentDlg::GetSubRecordID() { return m_lSubRecordID; }
long CParentDlg::GetThirdID() { return m_lThirdID; }

CString CParentDlg::GetMandantGUID() {
    return m_guidMandant.IsNULL() ? CString() : m_guidMandant.GetGUID(TRUE);
}

CString CParentDlg::GetActiveTabName() { return m_tabCtrl.GetActiveTabName(); }

HRESULT CParentDlg::AddTabWindow(INQTabWindowControl* pTab) {
    if (!pTab) return PARENT_TRACEHR(E_POINTER);
    pTab->AddRef();
    m_listTabs.push_back(pTab);
    return S_OK;
}

HRESULT CParentDlg::RemoveTabWindow(INQTabWindowControl* pTab) {
    for (auto it = m_listTabs.begin(); it != m_listTabs.end(); ++it) {
        if (*it != pTab) continue;
        (*it)->Release();
        m_listTabs.erase(it);
        if (m_listTabs.empty()) m_listTabs.shrink_to_fit();
        break;
    }
    return S_OK;
}

// ---- header

HRESULT CParentDlg::UpdateHeader() {
    m_bHeaderPending = FALSE;
    SetDocumentStatus(GetMandantGUID(), GetRecordID());
    const HRESULT hr = UpdateRecordRight();
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    LoadMandantLogo();
    UpdateData(FALSE);
    return hr;
}

void CParentDlg::LoadMandantLogo() {
    const long lID = GetThirdID();
    if (!m_logo.GetSafeHwnd()) return;
    if (lID == 0) {
        m_logo.ShowWindow(SW_HIDE);
        return;
    }
    if (lID == g_lLogoMandantID) {
        m_logo.ShowWindow(g_bLogoShown ? SW_SHOW : SW_HIDE);
        return;
    }
    CQvADOConnection connection;
    HRESULT hr = connection.Open(L"Qovaro.NQ2", 0);
    COleVariant value;
    if (SUCCEEDED(hr)) {
        CQvADORecordset rs(&connection);
        CString strSQL;
        strSQL.Format(L"SELECT imglogo2 FROM Mandant WHERE lMandantID = %d", lID);
        hr = rs.Open(strSQL);
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
        if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"imgLogo2", &value);
        rs.Close();
    }
    if (FAILED(hr)) {
        // Nothing is remembered: the next navigation to this tenant reads the logo again.
        PARENT_TRACEHR(hr);
        ReportDBError(connection, hr, __LINE__);
        m_logo.ShowWindow(SW_HIDE);
        return;
    }
    BOOL bShown = FALSE;
    const VARIANT& v = value;
    if (v.vt == VT_NULL || v.vt == VT_EMPTY) {
        COleVariant empty;
        const VARIANT& e = empty;
        m_logo.SetProperty(QVIMAGEVIEW_DISPID_PICTURE, VT_VARIANT, &e);
    } else {
        m_logo.SetProperty(QVIMAGEVIEW_DISPID_PICTURE, VT_VARIANT, &v);
        bShown = TRUE;
    }
    g_lLogoMandantID = lID;
    g_bLogoShown = bShown;
    m_logo.ShowWindow(bShown ? SW_SHOW : SW_HIDE);
}

// ---- record state and edit protocol

HRESULT CParentDlg::LockRecord(CString strTable, CString strIDColumn, CString* pstrOwner, long lID) {
    if (lID == 0) lID = m_lRecordID;
    if (lID == 0) return S_FALSE;
    return m_lock.LockDbRecord(strTable, strIDColumn, lID, pstrOwner);
}

HRESULT CParentDlg::UnlockRecord(CString strTable, CString strIDColumn, long lID) {
    if (lID == 0) lID = m_lRecordID;
    if (lID == 0) return S_FALSE;
    return m_lock.UnlockDbRecord(strTable, strIDColumn, lID);
}

HRESULT CParentDlg::CheckRecordLock(CString strTable, CString strIDColumn, CString* pstrOwner, long lID) {
    if (lID == 0) lID = m_lRecordID;
    if (lID == 0) return S_FALSE;
    return m_lock.CheckDbRecordLock(strTable, strIDColumn, lID, pstrOwner);
}

CString CParentDlg::ReadStoredState(const CStoredState& state) {
    CString strState;
    if (GetRecordID() != 0 && !state.statements.empty() && FAILED(m_lock.ReadStoredState(state.statements, strState)))
        strState.Empty();
    return strState;
}

HRESULT CParentDlg::BeginEdit() {
    const CStoredState* pPageState = m_pPageState;
    m_pPageState = nullptr;
    HRESULT hr = eRecordEditing;
    BOOL bChangedMeanwhile = FALSE;
    const auto changedMeanwhile = [&] {
        // Read under the lock: another user may have saved the record between the page's load
        // and this change, and the page's old values would be written over his.
        if (!pPageState || pPageState->strLoaded.IsEmpty()) return false;
        const CString strStored = ReadStoredState(*pPageState);
        return !strStored.IsEmpty() && strStored != pPageState->strLoaded;
    };
    if (!m_bEditing) {
        hr = AcquireEditLock();
        if (FAILED(hr)) PARENT_TRACEHR(hr);
        // The lock of a record holds its sub-record too: another user may have deleted either.
        if (hr == eRecordDeleted || (hr == eRecordEditing && IsRecordGone())) {
            m_bEditing = hr == eRecordEditing;
            return ShowRecordGone(L"CParentDlg::BeginEdit()");
        }
        if (hr == eRecordEditing && changedMeanwhile()) {
            m_bEditing = TRUE;
            EndEdit();
            m_bEditing = FALSE;
            hr = eRecordUnchanged;
            bChangedMeanwhile = TRUE;
        }
        CString strOwner;
        UpdateRecordState(&strOwner);
    } else if (changedMeanwhile()) {
        // A page loaded before this window's lock is loaded again; the edit of the others goes on.
        hr = eRecordUnchanged;
        bChangedMeanwhile = TRUE;
    }
    if (bChangedMeanwhile) {
        HRESULT hrReload = S_OK;
        if (!m_bEditing) {
            m_bLockedByOther = FALSE;
            hrReload = InvalidateTabs();
            if (SUCCEEDED(hrReload)) hrReload = RefreshAll();
        }
        QvReportMsg(2, NQLoadString(IDS_NQ_CHANGED_MEANWHILE), L"CParentDlg::BeginEdit()", L"Default", __FILE__,
                    __LINE__, 0);
        if (FAILED(hrReload)) return PARENT_TRACEHR(hrReload);
        return eRecordUnchanged;
    }
    m_bEditing = hr == eRecordEditing;
    m_bLockedByOther = hr == eRecordLockedByOther;
    if (hr == eRecordLockedByOther) {
        EndEdit();
        RefreshAll();
        const HRESULT hrReload = ReloadVisibleTabs();
        if (FAILED(hrReload)) return PARENT_TRACEHR(hrReload);
        return hrReload;
    }
    return hr;
}

BOOL CParentDlg::IsRecordGone() {
    if (m_lRecordID == 0) return FALSE;
    long lID = m_lRecordID, lSubID = m_lSubRecordID;
    CQvADOConnection connection;
    HRESULT hr = connection.Open(L"Qovaro.NQ2", 0);
    if (SUCCEEDED(hr)) hr = FindStoredRecord(connection, lID, lSubID);
    // Not reported: the lock and the page's own reading meet the same failure and report it.
    if (FAILED(hr)) {
        PARENT_TRACEHR(hr);
        return FALSE;
    }
    return lID != m_lRecordID || lSubID != m_lSubRecordID;
}

HRESULT CParentDlg::ShowRecordGone(LPCWSTR lpszWhere) {
    // A lock still held on a record whose sub-record is gone is let go; a row that is gone holds
    // none.
    HRESULT hr = EndEdit();
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    m_bEditing = FALSE;
    hr = ResetEditState();
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    const HRESULT hrState = SetRecordState(eRecordDeleted, CString());
    if (FAILED(hrState)) PARENT_TRACEHR(hrState);
    long lID = m_lRecordID, lSubID = m_lSubRecordID;
    {
        CQvADOConnection connection;
        hr = connection.Open(L"Qovaro.NQ2", 0);
        if (SUCCEEDED(hr)) hr = FindStoredRecord(connection, lID, lSubID);
    }
    if (FAILED(hr)) {
        PARENT_TRACEHR(hr);
        lID = 0;
        lSubID = 0;
    }
    QvReportMsg(2, NQLoadString(IDS_NQ_RECORD_DELETED), lpszWhere, L"Default", __FILE__, __LINE__, 0);
    // What is stored: the record without its sub-record, or no record.
    NavigateToRecord(lID, lSubID);
    return eRecordDeleted;
}

HRESULT CParentDlg::ShowChangedMeanwhile(LPCWSTR lpszWhere) {
    HRESULT hr = EndEdit();
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    if (SUCCEEDED(hr)) hr = ResetEditState();
    if (SUCCEEDED(hr)) hr = InvalidateTabs();
    if (SUCCEEDED(hr)) hr = RefreshAll();
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    QvReportMsg(2, NQLoadString(IDS_NQ_CHANGED_MEANWHILE), lpszWhere, L"Default", __FILE__, __LINE__, 0);
    return hr;
}

HRESULT CParentDlg::CheckStoredState(const CStoredState& state) {
    if (state.statements.empty() || state.strLoaded.IsEmpty() || m_lRecordID == 0) return S_OK;
    std::vector<CHeldRow> rows;
    for (const auto& [strTable, lID] : {std::pair{m_strTable, m_lRecordID}, std::pair{m_strSubTable, m_lSubRecordID}}) {
        if (lID != 0 && !strTable.IsEmpty()) rows.push_back({strTable, L"l" + strTable + L"ID", lID});
    }
    CString strStored;
    const HRESULT hr = m_lock.CheckStoredState(
        rows, [&](CString& strRead) { return m_lock.ReadStoredState(state.statements, strRead); }, state.strLoaded,
        &strStored);
    if (FAILED(hr)) return PARENT_TRACEHR(hr);
    // The page's first statement reads its own row: a course page saves though its run is gone.
    if (strStored.Left(1) == L"\x1D") return eRecordDeleted;
    return hr;
}

HRESULT CParentDlg::AcquireEditLock() { return eRecordEditing; }

HRESULT CParentDlg::EndEdit() {
    if (!m_bEditing) return S_OK;
    const HRESULT hr = ReleaseEditLock();
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    CString strOwner;
    UpdateRecordState(&strOwner);
    if (SUCCEEDED(hr)) m_bEditing = FALSE;
    return hr;
}

HRESULT CParentDlg::ReleaseEditLock() { return S_OK; }

HRESULT CParentDlg::UpdateRecordState(CString* pstrOwner) {
    HRESULT hr = eRecordUnchanged;
    CString strOwner;
    for (std::size_t i = 0; i < m_listTabs.size(); ++i) {
        BSTR bstrText = nullptr;
        hr = m_listTabs[i]->GetRecordState(&bstrText);
        strOwner = FromBSTR(bstrText);
        SysFreeString(bstrText);
        if (FAILED(hr)) {
            PARENT_TRACEHR(hr);
            if (i + 1 < m_listTabs.size()) strOwner.Empty();
            break;
        }
        if (hr == eRecordLockedByOther) break;
    }
    if (hr == eRecordUnchanged) {
        hr = GetRecordState(&strOwner);
        if (FAILED(hr)) PARENT_TRACEHR(hr);
    }
    if (pstrOwner) *pstrOwner = strOwner;
    if (hr == eRecordDeleted) ResetEditState();
    m_bLockedByOther = hr == eRecordLockedByOther;
    if (FAILED(hr)) return hr;
    return SetRecordState(hr, strOwner);
}

HRESULT CParentDlg::GetRecordState(CString*) { return eRecordUnchanged; }

HRESULT CParentDlg::SetRecordState(long lCode, CString strOwner) {
    UINT nTextID = 0;
    long lIcon = 0;
    StateLook(lCode, nTextID, lIcon);
    CString strText = NQLoadString(nTextID);
    if (lCode == eRecordLockedByOther) {
        CString strFormat = strText;
        strText.Format(strFormat, strOwner);
    }
    HRESULT hr = S_OK;
    BSTR bstrText = strText.AllocSysString();
    for (INQTabWindowControl* pTab : m_listTabs) {
        hr = pTab->ShowRecordState(lIcon, bstrText);
        if (FAILED(hr)) {
            PARENT_TRACEHR(hr);
            break;
        }
    }
    SysFreeString(bstrText);
    if (SUCCEEDED(hr)) ShowRecordStateIcon(lIcon, strText);
    if (IsViewReady() && lCode != m_lRecordState && SUCCEEDED(hr)) {
        // The new state is stored first, so that a reload that asks again sees it unchanged.
        m_lRecordState = lCode;
        const HRESULT hrReload = ReloadVisibleTabs();
        if (FAILED(hrReload)) PARENT_TRACEHR(hrReload);
    }
    m_lRecordState = lCode;
    return FAILED(hr) ? hr : lCode;
}

HRESULT CParentDlg::ShowRecordStateIcon(long lIconIndex, CString strText) {
    static constexpr UINT kBitmaps[] = {IDB_NQ_STATE_UNCHANGED, IDB_NQ_STATE_LOCKED, IDB_NQ_STATE_EDITING,
                                        IDB_NQ_STATE_DELETED};
    m_strRecordStateText = strText;
    m_iconEdit.m_strToolTip = strText;
    m_iconEdit.m_bitmap.DeleteObject();
    if (lIconIndex >= 0 && lIconIndex <= 3)
        m_iconEdit.m_bitmap.Attach(LoadBitmap(NQFrameworkModuleHandle(), MAKEINTRESOURCE(kBitmaps[lIconIndex])));
    if (m_iconEdit.GetSafeHwnd()) {
        m_iconEdit.ShowBitmap();
        m_iconEdit.SetWindowText(strText);
        if (QWidget* pIcon = qv::ui::WidgetOf(m_iconEdit.GetSafeHwnd())) {
            // A static lets the mouse through; the icon must take it to show its tip.
            pIcon->setAttribute(Qt::WA_TransparentForMouseEvents, false);
            pIcon->setToolTip(QString::fromStdWString(strText.wstr()));
        }
    }
    return S_OK;
}

HRESULT CParentDlg::SaveData() {
    // A save asked for inside the message loop of a box of a page's load or of a save.
    if (IsPageBusy()) return PARENT_TRACEHR(E_ABORT);
    ++m_nPagesBusy;
    const HRESULT hr = SaveShownData();
    --m_nPagesBusy;
    return hr;
}

HRESULT CParentDlg::SaveShownData() {
    CQvWaitDlg wait;
    HRESULT hr = wait.Open(this, 1000, -1, 10);
    if (SUCCEEDED(hr)) hr = wait.ShowCancel(FALSE);
    if (SUCCEEDED(hr)) hr = wait.ShowTimer(FALSE);
    if (FAILED(hr)) return PARENT_TRACEHR(hr);
    const CString strText = NQLoadString(IDS_NQ_SAVING);
    if (strText.IsEmpty()) return PARENT_TRACEHR(E_FAIL);
    CString strCaption;
    if (m_pServer) m_pServer->GetCaption(strCaption);
    wait.SetDescription(strText + L"\n(" + strCaption + L")");
    for (INQTabWindowControl* pTab : m_listTabs) {
        hr = pTab->SaveData();
        if (FAILED(hr)) {
            PARENT_TRACEHR(hr);
            break;
        }
        // The page found the stored record gone or changed and wrote nothing.
        if (hr == eRecordDeleted || hr == eRecordChangedMeanwhile) break;
    }
    if (SUCCEEDED(hr) && hr != eRecordDeleted && hr != eRecordChangedMeanwhile) {
        hr = SaveRecord();
        if (FAILED(hr)) PARENT_TRACEHR(hr);
    }
    wait.Close();
    // Told after the save's units have ended; the user has been told why nothing more was saved.
    if (hr == eRecordDeleted) {
        ShowRecordGone(L"CParentDlg::SaveData()");
        return E_ABORT;
    }
    if (hr == eRecordChangedMeanwhile) {
        ShowChangedMeanwhile(L"CParentDlg::SaveData()");
        return E_ABORT;
    }
    return hr;
}

HRESULT CParentDlg::SaveRecord() { return EndEdit(); }

HRESULT CParentDlg::CancelEdit() {
    HRESULT hr = S_OK;
    for (INQTabWindowControl* pTab : m_listTabs) {
        hr = pTab->DiscardChanges();
        if (FAILED(hr)) return PARENT_TRACEHR(hr);
    }
    return FinishEdit();
}

HRESULT CParentDlg::FinishEdit() {
    HRESULT hr = UpdateHeader();
    if (SUCCEEDED(hr)) hr = EndEdit();
    return hr;
}

BOOL CParentDlg::IsEditing() { return m_bEditing; }
BOOL CParentDlg::IsEditingRecord() { return m_bEditing; }

HRESULT CParentDlg::ResetEditState() {
    for (INQTabWindowControl* pTab : m_listTabs) {
        const HRESULT hr = pTab->ClearSavePending();
        if (FAILED(hr)) return PARENT_TRACEHR(hr);
    }
    return ClearEditFlags();
}

HRESULT CParentDlg::ClearEditFlags() {
    m_bLockedByOther = FALSE;
    m_bEditing = FALSE;
    m_bHeaderPending = TRUE;
    return S_OK;
}

void CParentDlg::OnOK() {}

void CParentDlg::OnCancel() {}

void CParentDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == kLockTimerID && !IsClosing() && IsViewReady()) {
        const BOOL bWasLocked = m_bLockedByOther;
        CString strOwner;
        UpdateRecordState(&strOwner);
        if (bWasLocked != m_bLockedByOther) {
            // The user did not ask for this refresh: a failure is told in the status line.
            const CString strWhat = NQLoadString(IDS_NQ_REFRESH_FAILED);
            const long lReports = FailureReportCount();
            CStatusLineReports quiet(strWhat);
            HRESULT hr = InvalidateTabs();
            if (FAILED(hr)) PARENT_TRACEHR(hr);
            const HRESULT hrRefresh = RefreshAll();
            if (FAILED(hrRefresh)) PARENT_TRACEHR(hrRefresh);
            if (SUCCEEDED(hr)) hr = hrRefresh;
            if (FAILED(hr) && FailureReportCount() == lReports) CStatusLineReports::Show(strWhat, CrackHR(hr));
        }
    }
    Default();
}

BOOL CParentDlg::IsRecordReadOnly() { return FALSE; }
BOOL CParentDlg::IsLockedByOther() { return m_bLockedByOther ? TRUE : IsRecordReadOnly(); }

// ---- navigation, refresh and rights

HRESULT CParentDlg::Navigate(long lID, long lID2) {
    for (INQTabWindowControl* pTab : m_listTabs) {
        const HRESULT hr = pTab->CanNavigate(lID, lID2);
        if (hr != S_OK) {
            if (FAILED(hr)) PARENT_TRACEHR(hr);
            return hr;
        }
    }
    const HRESULT hr = NavigateToRecord(lID, lID2);
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    return hr;
}

HRESULT CParentDlg::NavigateToRecord(long lID, long lID2) {
    if (m_bEditing) {
        long lConfirm = 0;
        COptionServer options;
        options.GetOption(-1000, L"ConfirmSave", &lConfirm, 1, 0);
        int nAnswer = IDYES;
        if (lConfirm != 0) {
            const CString strText = NQLoadString(IDS_NQ_CONFIRM_SAVE);
            m_eSaveQuestion = eSaveAsking;
            nAnswer = AfxMessageBox(strText, MB_YESNO | MB_ICONQUESTION, 0);
            m_eSaveQuestion = eSaveNotAsked;
        }
        if (nAnswer == IDYES) {
            // A failed save keeps the user on the record with the edit and its lock: moving on
            // would lose the changes and leave the lock behind.
            m_eSaveQuestion = eSaveAnswered;
            const HRESULT hrSave = SaveData();
            m_eSaveQuestion = eSaveNotAsked;
            if (FAILED(hrSave)) {
                m_bSaveRefused = TRUE;
                return PARENT_TRACEHR(hrSave);
            }
        } else if (m_bAskingToClose) {
            // No at the close: the view goes, so the pages read nothing again (a read that waits
            // for a lock would keep the program from ending); their changes are dropped.
            for (INQTabWindowControl* pTab : m_listTabs) {
                const HRESULT hr = pTab->ClearSavePending();
                if (FAILED(hr)) PARENT_TRACEHR(hr);
            }
            if (FAILED(EndEdit())) ResetEditState();
        } else {
            // No discards: the pages drop their changes and show the stored data again, so that
            // the next input begins an edit of its own. A lock that cannot be released has been
            // reported; the edit ends all the same, so that nobody is asked again about changes
            // that are gone.
            for (INQTabWindowControl* pTab : m_listTabs) {
                const HRESULT hr = pTab->DiscardChanges();
                if (FAILED(hr)) PARENT_TRACEHR(hr);
            }
            if (FAILED(EndEdit())) ResetEditState();
            const HRESULT hr = RefreshAll();
            if (FAILED(hr)) PARENT_TRACEHR(hr);
        }
    }
    if (lID == m_lRecordID && lID2 == m_lSubRecordID) return S_OK;
    HRESULT hr = S_OK;
    if (lID != -1) {
        m_lSubRecordID = lID2;
        m_lRecordID = lID;
        m_lThirdID = 0;
        m_guidMandant.SetNULL();
        if (lID != 0) {
            NQ_AddIDToNavigate(m_strViewProgID, lID, lID2);
            CQvADOConnection connection;
            hr = connection.Open(L"Qovaro.NQ2", 0);
            if (SUCCEEDED(hr)) {
                CString strQuery = GetRecordQuery();
                if (!strQuery.IsEmpty()) {
                    CString strSQL;
                    strSQL.Format(strQuery, lID);
                    CQvADORecordset rs(&connection);
                    hr = rs.Open(strSQL);
                    BOOL bEOF = TRUE;
                    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
                    if (SUCCEEDED(hr) && !bEOF) {
                        hr = rs.GetFieldValue(L"guid", &m_guidMandant);
                        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lID", &m_lThirdID);
                    }
                    rs.Close();
                }
            }
            if (FAILED(hr)) {
                PARENT_TRACEHR(hr);
                ReportDBError(connection, hr, __LINE__);
            }
        }
    }
    if (SUCCEEDED(hr)) {
        HRESULT hrStep = InvalidateTabs();
        if (FAILED(hrStep)) PARENT_TRACEHR(hrStep);
        hrStep = RefreshAll();
        if (FAILED(hrStep)) PARENT_TRACEHR(hrStep);
    }
    return S_OK;
}

void CParentDlg::RestoreLastRecord() {
    BOOL bRestore = TRUE;
    COptionServer options;
    const HRESULT hrOption = options.GetOption(-1000, L"RestoreLastID", &bRestore, 1, 0);
    if (FAILED(hrOption)) {
        PARENT_TRACEHR(hrOption);
        return;
    }
    if (!bRestore) return;
    long lLastID = 0, lLastSubID = 0;
    CQvRegistry::GetValue(kCommonKey, CString(L"LastID_") + m_strTable, lLastID);
    if (!m_strSubTable.IsEmpty()) CQvRegistry::GetValue(kCommonKey, CString(L"LastID_") + m_strSubTable, lLastSubID);

    CQvADOConnection connection;
    HRESULT hr = connection.Open(L"Qovaro.NQ2", 0);
    if (SUCCEEDED(hr)) hr = FindStoredRecord(connection, lLastID, lLastSubID);
    if (FAILED(hr)) {
        PARENT_TRACEHR(hr);
        lLastID = 0;
        lLastSubID = 0;
        ReportDBError(connection, hr, __LINE__);
    }
    Navigate(lLastID, lLastSubID);
}

HRESULT CParentDlg::FindStoredRecord(CQvADOConnection& connection, long& lID, long& lSubID) {
    auto exists = [&](const CString& strTable, long lRecordID, BOOL* pbFound) {
        CQvADORecordset rs(&connection);
        CString strSQL;
        strSQL.Format(L"SELECT 1 FROM %s WHERE l%sID = %d", strTable, strTable, lRecordID);
        HRESULT hrRead = rs.Open(strSQL);
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hrRead)) hrRead = rs.IsEOF(&bEOF);
        rs.Close();
        *pbFound = !bEOF;
        return hrRead;
    };
    BOOL bFound = FALSE;
    HRESULT hr = exists(m_strTable, lID, &bFound);
    if (SUCCEEDED(hr)) {
        if (!bFound) {
            lID = 0;
            lSubID = 0;
        } else if (lSubID != 0 && !m_strSubTable.IsEmpty()) {
            hr = exists(m_strSubTable, lSubID, &bFound);
            if (SUCCEEDED(hr) && !bFound) lSubID = 0;
        }
    }
    return hr;
}

HRESULT CParentDlg::InvalidateTabs() {
    m_bHeaderPending = TRUE;
    for (INQTabWindowControl* pTab : m_listTabs) {
        const HRESULT hr = pTab->SetModified();
        if (FAILED(hr)) return PARENT_TRACEHR(hr);
    }
    return S_OK;
}

HRESULT CParentDlg::RefreshAll() {
    // Not again inside the message loop of a box of its own (the header's, a page's): once more
    // after it, when it went well.
    if (m_bRefreshing) {
        m_bRefreshAgain = TRUE;
        m_bHeaderPending = TRUE;
        return S_FALSE;
    }
    m_bRefreshing = TRUE;
    m_bRefreshAgain = FALSE;
    HRESULT hr = RefreshShown();
    if (SUCCEEDED(hr) && m_bRefreshAgain) hr = RefreshShown();
    m_bRefreshAgain = FALSE;
    m_bRefreshing = FALSE;
    return hr;
}

HRESULT CParentDlg::RefreshShown() {
    m_bHeaderPending = TRUE;
    if (!IsViewReady()) return S_OK;
    HRESULT hr = S_OK;
    if (GetRecordID() != 0) {
        CString strOwner;
        UpdateRecordState(&strOwner);
        if (IsDataReady()) {
            hr = UpdateHeader();
            if (FAILED(hr)) return PARENT_TRACEHR(hr);
        }
        for (INQTabWindowControl* pTab : m_listTabs) {
            hr = pTab->RefreshIfModified();
            if (FAILED(hr)) return PARENT_TRACEHR(hr);
        }
    } else {
        if (IsDataReady()) {
            hr = UpdateHeader();
            if (FAILED(hr)) return PARENT_TRACEHR(hr);
        }
        hr = ReloadVisibleTabs();
        if (FAILED(hr)) PARENT_TRACEHR(hr);
    }
    return hr;
}

BOOL CParentDlg::IsDataReady() { return IsViewReady() && m_bHeaderPending; }

HRESULT CParentDlg::ReloadVisibleTabs() {
    HRESULT hr = S_OK;
    for (INQTabWindowControl* pTab : m_listTabs) {
        hr = pTab->LoadData();
        if (FAILED(hr)) return PARENT_TRACEHR(hr);
    }
    if (GetSafeHwnd()) {
        hr = ApplyRights();
        if (FAILED(hr)) PARENT_TRACEHR(hr);
    }
    return hr;
}

HRESULT CParentDlg::OnRefreshViewCommand() { return Navigate(-1, 0); }

HRESULT CParentDlg::OnSearchCommand() { return S_OK; }

HRESULT CParentDlg::ShowContextHelp() {
    HRESULT hr = S_FALSE;
    for (std::size_t i = 0; i < m_listTabs.size() && hr == S_FALSE; ++i) {
        hr = m_listTabs[i]->ShowHelp();
        if (FAILED(hr)) return PARENT_TRACEHR(hr);
    }
    if (hr == S_FALSE && m_btnHelp.GetSafeHwnd()) {
        m_btnHelp.ShowHelp();
        hr = S_OK;
    }
    return hr;
}

void CParentDlg::CreateLayout() {}

HRESULT CParentDlg::ApplyRights() {
    const HRESULT hr = LoadRights(CString());
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    return hr;
}

HRESULT CParentDlg::LoadRights(CString strKey) {
    if (!m_guidScope.IsNULL()) return LoadRightsForMandant(GetFunctionGUID(), m_guidScope, strKey);
    return LoadRightsGeneral(GetFunctionGUID());
}

HRESULT CParentDlg::LoadRightsGeneral(CQvGUID guidFunction) {
    const HRESULT hr = m_sec.LoadRights(guidFunction);
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    return hr;
}

HRESULT CParentDlg::LoadRightsForMandant(CQvGUID guidFunction, CQvGUID guidScope, CString strKey) {
    HRESULT hr = m_sec.LoadRights(guidFunction);
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    if (strKey.IsEmpty()) strKey = GetMandantGUID();
    if (GetRecordID() == 0) {
        if (!strKey.IsEmpty()) {
            CQvSec secObject;
            hr = secObject.LoadRights(guidScope, strKey);
            if (FAILED(hr)) PARENT_TRACEHR(hr);
            m_sec &= secObject;
        }
    } else if (!strKey.IsEmpty()) {
        long lRight = 0;
        hr = GetRecordRight(&lRight);
        if (FAILED(hr)) PARENT_TRACEHR(hr);
        m_sec &= DWORD(lRight);
    }
    return hr;
}

HRESULT CParentDlg::GetRecordRight(long* plRight) {
    UpdateRecordRight();
    if (plRight) *plRight = m_lRecordRight;
    return S_OK;
}

HRESULT CParentDlg::UpdateRecordRight() {
    if (GetRecordID() == 0 || GetRecordID() == m_lRightsRecordID) return S_OK;
    const HRESULT hr = QueryRecordRight();
    if (FAILED(hr)) PARENT_TRACEHR(hr);
    return hr;
}

HRESULT CParentDlg::QueryRecordRight() {
    long lRight = 0;
    long lUserID = 0;
    {
        CQvSec sec;
        sec.GetUser(nullptr, nullptr, &lUserID);
    }
    CQvADOConnection connection;
    HRESULT hr = connection.Open(L"Qovaro.NQ2", 0);
    if (SUCCEEDED(hr)) {
        CQvADORecordset rs(&connection);
        hr = rs.Open(qv::nq::RecordRightStatement(m_strTable, m_lThirdID, m_lTableID, lUserID, GetRecordID()));
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
        if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"lRight", &lRight);
        rs.Close();
    }
    m_lRightsRecordID = GetRecordID();
    m_lRecordRight = lRight;
    if (FAILED(hr)) {
        PARENT_TRACEHR(hr);
        return ReportDBError(connection, hr, __LINE__);
    }
    return hr;
}

void CParentDlg::EnableDlgItemByRights(UINT nID, BOOL bVisible, BOOL bWritable, DWORD dwRights) {
    const long nEdit = (GetRecordID() != 0 && !IsLockedByOther() && bWritable) ? 1 : 3;
    m_sec.EnableDlgItem(this, int(nID), bVisible ? 1 : 3, nEdit, dwRights, false);
}

void CParentDlg::EnableControlByRights(CWnd* pWnd, BOOL bVisible, BOOL bWritable, DWORD dwRights) {
    const long nEdit = (GetRecordID() != 0 && !IsLockedByOther() && bWritable) ? 1 : 3;
    m_sec.EnableControl(pWnd, bVisible ? 1 : 3, nEdit, dwRights, false);
}

// ---- closing

HRESULT CParentDlg::SetClosing() {
    for (INQTabWindowControl* pTab : m_listTabs) {
        const HRESULT hr = pTab->SetClosing();
        if (FAILED(hr)) return PARENT_TRACEHR(hr);
    }
    return MarkClosing();
}

LRESULT CParentDlg::OnViewClosing(WPARAM, LPARAM) {
    SetClosing();
    return 0;
}

HRESULT CParentDlg::MarkClosing() {
    m_bClosing = TRUE;
    return S_OK;
}

// ---- INQParentControl

ULONG CParentDlg::XNQParentControl::AddRef() {
    METHOD_PROLOGUE(CParentDlg, NQParentControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    pThis->ExternalAddRef();
    return 0;
}
ULONG CParentDlg::XNQParentControl::Release() {
    METHOD_PROLOGUE(CParentDlg, NQParentControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    pThis->ExternalRelease();
    return 0;
}
HRESULT CParentDlg::XNQParentControl::QueryInterface(REFIID iid, LPVOID* ppv) {
    METHOD_PROLOGUE(CParentDlg, NQParentControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    return HRESULT(pThis->ExternalQueryInterface(&iid, ppv));
}

#define PARENT_FORWARD(call)                            \
    METHOD_PROLOGUE(CParentDlg, NQParentControl)        \
    NQ_MANAGE_STATE(pThis->m_hResource);                \
    const HRESULT hr = pThis->call;                     \
    return FAILED(hr) ? PARENT_TRACEHR(hr) : hr;

HRESULT CParentDlg::XNQParentControl::ReloadVisibleTabs() { PARENT_FORWARD(ReloadVisibleTabs()) }
HRESULT CParentDlg::XNQParentControl::RefreshAll() { PARENT_FORWARD(RefreshAll()) }
HRESULT CParentDlg::XNQParentControl::SaveData() { PARENT_FORWARD(SaveData()) }
HRESULT CParentDlg::XNQParentControl::CancelEdit() { PARENT_FORWARD(CancelEdit()) }
HRESULT CParentDlg::XNQParentControl::BeginEdit() { PARENT_FORWARD(BeginEdit()) }
HRESULT CParentDlg::XNQParentControl::EndEdit() { PARENT_FORWARD(EndEdit()) }
HRESULT CParentDlg::XNQParentControl::Navigate(long lID, long lSubID) { PARENT_FORWARD(Navigate(lID, lSubID)) }
HRESULT CParentDlg::XNQParentControl::ResetEditState() { PARENT_FORWARD(ResetEditState()) }
HRESULT CParentDlg::XNQParentControl::UnlockRecord(BSTR bstrTable, BSTR bstrIDColumn) {
    PARENT_FORWARD(UnlockRecord(FromBSTR(bstrTable), FromBSTR(bstrIDColumn), 0))
}
HRESULT CParentDlg::XNQParentControl::SetRecordState(long lCode, BSTR bstrText) {
    PARENT_FORWARD(SetRecordState(lCode, FromBSTR(bstrText)))
}

HRESULT CParentDlg::XNQParentControl::LockRecord(BSTR bstrTable, BSTR bstrIDColumn, BSTR* pbstrOwner) {
    METHOD_PROLOGUE(CParentDlg, NQParentControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    CString strOwner;
    const HRESULT hr = pThis->LockRecord(FromBSTR(bstrTable), FromBSTR(bstrIDColumn), &strOwner, 0);
    if (pbstrOwner) *pbstrOwner = strOwner.AllocSysString();
    return FAILED(hr) ? PARENT_TRACEHR(hr) : hr;
}

HRESULT CParentDlg::XNQParentControl::CheckRecordLock(BSTR bstrTable, BSTR bstrIDColumn, BSTR* pbstrOwner) {
    METHOD_PROLOGUE(CParentDlg, NQParentControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    CString strOwner;
    const HRESULT hr = pThis->CheckRecordLock(FromBSTR(bstrTable), FromBSTR(bstrIDColumn), &strOwner, 0);
    if (pbstrOwner) *pbstrOwner = strOwner.AllocSysString();
    return FAILED(hr) ? PARENT_TRACEHR(hr) : hr;
}

HRESULT CParentDlg::XNQParentControl::UpdateRecordState(BSTR* pbstrOwner) {
    METHOD_PROLOGUE(CParentDlg, NQParentControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    CString strOwner;
    const HRESULT hr = pThis->UpdateRecordState(&strOwner);
    if (pbstrOwner) *pbstrOwner = strOwner.AllocSysString();
    return FAILED(hr) ? PARENT_TRACEHR(hr) : hr;
}

HRESULT CParentDlg::XNQParentControl::GetRecordIDs(long* plID, long* plSubID) {
    METHOD_PROLOGUE(CParentDlg, NQParentControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (plID) *plID = pThis->GetRecordID();
    if (plSubID) *plSubID = pThis->GetSubRecordID();
    return S_OK;
}

HRESULT CParentDlg::XNQParentControl::IsLockedByOther(BOOL* pbLocked) {
    METHOD_PROLOGUE(CParentDlg, NQParentControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (pbLocked) *pbLocked = pThis->IsLockedByOther();
    return S_OK;
}

HRESULT CParentDlg::XNQParentControl::GetMandantGUID(BSTR* pbstrGUID) {
    METHOD_PROLOGUE(CParentDlg, NQParentControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (pbstrGUID) *pbstrGUID = pThis->GetMandantGUID().AllocSysString();
    return S_OK;
}

HRESULT CParentDlg::XNQParentControl::GetThirdID(long* plID) {
    METHOD_PROLOGUE(CParentDlg, NQParentControl)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (plID) *plID = pThis->GetThirdID();
    return S_OK;
}

HRESULT CParentDlg::XNQParentControl::GetRecordRight(long* plRight) { PARENT_FORWARD(GetRecordRight(plRight)) }

// ---- IEventSink

IMPLEMENT_IUNKNOWN(CParentDlg, QvEventSink)

HRESULT CParentDlg::XQvEventSink::OnEvent(long count, GUID* ids, VARIANT* values) {
    METHOD_PROLOGUE(CParentDlg, QvEventSink)
    NQ_MANAGE_STATE(pThis->m_hResource);
    if (!CQvEventSink::HasEventData(count, ids, values, GUID_NQViewClosing)) return S_OK;
    // The event server calls from its own thread; the pages are walked on the dialog's.
    if (!pThis->GetSafeHwnd() || !pThis->PostMessage(WM_NQ_VIEWCLOSING)) pThis->SetClosing();
    return S_OK;
}
