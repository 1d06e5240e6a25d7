#include "setupdlg.h"

#include "nqframeworkres.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "strtable.h"

#define SETUPDLG_TRACEHR(hr) QvAddHRErrorFile(L"setupdlg", __LINE__, (hr))

namespace {

constexpr UINT IDS_NQ_SETUP_LOCKED = 10204;

struct Registrar {
    Registrar() {
        qv::RegisterStringTable(NQFrameworkModuleHandle(),
                                {{IDS_NQ_SETUP_LOCKED,
                                  L"Die Daten sind gesperrt von '%s'.\nBitte versuchen Sie es später nochmals!"}});
    }
};
Registrar g_registrar;

}  // namespace

IMPLEMENT_DYNAMIC(CSetupDlg, CQvFSetupDlg)

BEGIN_MESSAGE_MAP(CSetupDlg, CQvFSetupDlg)
    ON_WM_VSCROLL()
    ON_WM_SIZE()
END_MESSAGE_MAP()

CSetupDlg::CSetupDlg(UINT nTemplateID, CWnd* pParent) : CQvFSetupDlg(nTemplateID, pParent) {}

CSetupDlg::~CSetupDlg() {
    if (m_pScrollHelper) m_pScrollHelper->AttachWnd(nullptr);
    delete m_pScrollHelper;
    m_pScrollHelper = nullptr;
}

BOOL CSetupDlg::OnInitDialog() {
    // A shade darker than the face colour; each channel wraps as a byte.
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const auto channel = [&](int shift) { return static_cast<BYTE>(((face >> shift) & 0xFF) - 20); };
    SetBackgroundColor(QVBK_COLOR, RGB(channel(0), channel(8), channel(16)));
    CQvFSetupDlg::OnInitDialog();
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
    const long hr = m_lock.LockDbRecord(strTable, strIDColumn, lID, &strOwner);
    if (hr == eRecordEditing) {
        SetModified(TRUE);
        return eRecordEditing;
    }
    std::wstring strFormat;
    qv::LookupString(NQFrameworkModuleHandle(), IDS_NQ_SETUP_LOCKED, strFormat);
    CString strText;
    strText.Format(strFormat.c_str(), static_cast<LPCWSTR>(strOwner));
    QvReportMsg(2, strText, L"CSetupDlg::Lock()", L"Default", __FILE__, __LINE__, 0);
    const long hrLoad = LoadSettings();
    if (FAILED(hrLoad)) SETUPDLG_TRACEHR(hrLoad);
    return hrLoad;
}

BOOL CSetupDlg::PreTranslateMessage(MSG* pMsg) {
    if (pMsg && pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_F1 && GetSafeHwnd()) m_btnHelp.ShowHelp();
    return CQvFSetupDlg::PreTranslateMessage(pMsg);
}

void CSetupDlg::OnVScroll(UINT nSBCode, UINT, CScrollBar* pScrollBar) {
    if (m_pScrollHelper) m_pScrollHelper->OnVScroll(nSBCode, pScrollBar);
}

void CSetupDlg::OnSize(UINT nType, int cx, int cy) {
    CQvFSetupDlg::OnSize(nType, cx, cy);
    if (m_pScrollHelper) m_pScrollHelper->OnSize();
}
