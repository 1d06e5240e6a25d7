#include "setupdlg.h"

#include "childdlg.h"
#include "nqframeworkres.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "strtable.h"

#define SETUPDLG_TRACEHR(hr) QvAddHRErrorFile(L"setupdlg", __LINE__, (hr))

IMPLEMENT_DYNAMIC(CSetupDlg, CQvFSetupDlg)

BEGIN_MESSAGE_MAP(CSetupDlg, CQvFSetupDlg)
    ON_WM_VSCROLL()
    ON_WM_SIZE()
END_MESSAGE_MAP()

namespace {
const bool g_registered = [] {
    qv::RegisterStringTable(NQFrameworkModuleHandle(),
                            {{IDS_NQ_SETUP_LOCKED,
                              L"Die Daten sind gesperrt von '%s'.\nBitte versuchen Sie es später nochmals!"}});
    return true;
}();
}  // namespace

namespace qv::nq {
COLORREF SetupBackgroundColor(COLORREF crFace) {
    return DarkenColor(crFace, 20);
}
}  // namespace qv::nq

CSetupDlg::CSetupDlg(UINT nTemplateID, CWnd* pParent) : CQvFSetupDlg(nTemplateID, pParent) {}

CSetupDlg::~CSetupDlg() {
    if (m_pScrollHelper) {
        m_pScrollHelper->AttachWnd(nullptr);
        delete m_pScrollHelper;
        m_pScrollHelper = nullptr;
    }
}

BOOL CSetupDlg::OnInitDialog() {
    SetBackgroundColor(QVBK_COLOR, qv::nq::SetupBackgroundColor(GetSysColor(COLOR_BTNFACE)));
    CQvDialog::OnInitDialog();
    if (m_nDisplayHeight > 0) {
        m_pScrollHelper = new CDlgScrollHelper;
        m_pScrollHelper->AttachWnd(this);
        m_pScrollHelper->SetDisplaySize(0, m_nDisplayHeight);
    }
    return TRUE;
}

long CSetupDlg::Lock(long lID, CString strTable, CString strIDColumn) {
    if (IsModified()) return eRecordEditing;
    CString strOwner;
    const long lResult = m_lock.LockDbRecord(strTable, strIDColumn, lID, &strOwner);
    if (lResult == eRecordEditing) {
        SetModified(TRUE);
        return eRecordEditing;
    }
    CString strText;
    strText.Format(NQLoadString(IDS_NQ_SETUP_LOCKED), strOwner);
    QvReportMsg(2, strText, L"CSetupDlg::Lock()", L"Default", __FILE__, __LINE__, 0);
    const HRESULT hr = LoadSettings();
    if (FAILED(hr)) SETUPDLG_TRACEHR(hr);
    return hr;
}

BOOL CSetupDlg::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_F1 && GetSafeHwnd()) m_btnHelp.ShowHelp();
    return CQvFSetupDlg::PreTranslateMessage(pMsg);
}

void CSetupDlg::OnVScroll(UINT nSBCode, UINT /*nPos*/, CScrollBar* pScrollBar) {
    if (m_pScrollHelper && GetSafeHwnd()) m_pScrollHelper->OnVScroll(nSBCode, pScrollBar);
}

void CSetupDlg::OnSize(UINT nType, int cx, int cy) {
    CQvFSetupDlg::OnSize(nType, cx, cy);
    if (m_pScrollHelper) m_pScrollHelper->OnSize();
}
