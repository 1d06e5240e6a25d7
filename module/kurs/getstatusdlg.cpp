#include "getstatusdlg.h"

#include "kursres.h"
#include "kursresource.h"
#include "nqkurscalls.h"
#include "nqsearchcalls.h"

namespace {

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_GETSTATUS;
        dlg.caption = L"Status auswählen";
        dlg.cx = 186;
        dlg.cy = 58;
        dlg.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION;
        dlg.items = {
            LText(L"Status", static_cast<UINT>(IDC_STATIC), 7, 9, 30, 8),
            ComboBox(IDC_GETSTATUS_STATUS, 40, 7, 139, 120, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP),
            DefPushButton(L"OK", IDOK, 73, 37, 50, 14, WS_TABSTOP),
            PushButton(L"Abbrechen", IDCANCEL, 129, 37, 50, 14, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

}  // namespace

BEGIN_MESSAGE_MAP(CGetStatusDlg, CQvDialog)
    ON_CBN_SELCHANGE(IDC_GETSTATUS_STATUS, &CGetStatusDlg::OnSelchangeStatus)
END_MESSAGE_MAP()

CGetStatusDlg::CGetStatusDlg(CWnd*) : CQvDialog(IDD_GETSTATUS, nullptr) {}

void CGetStatusDlg::DoDataExchange(CDataExchange* pDX) {
    CQvDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_GETSTATUS_STATUS, m_cbStatus);
    DDX_CBParam(pDX, IDC_GETSTATUS_STATUS, lStatus);
}

void CGetStatusDlg::FillStatusList() {
    m_cbStatus.ResetContent();
    auto add = [&](long lValue, UINT nText) {
        const int nIndex = m_cbStatus.AddString(KursLoadString(nText));
        m_cbStatus.SetItemData(nIndex, static_cast<DWORD_PTR>(lValue));
    };
    if (lKursinstanzID != -1) add(3, bTeilnehmer ? IDS_STATUS_WARTELISTE : IDS_STATUS_RESERVE);
    // The penalty waiting list is a rule of one canton; the canton is asked only where it matters.
    if (lTyp != 3 && lKursinstanzID != -1) {
        CString strCode, strName;
        int nIndex = 0;
        NQ_GetActKanton(strCode, strName, &nIndex);
        if (strCode == L"SH") add(4, IDS_STATUS_WARTELISTE_PENALTY);
    }
    add(7, IDS_STATUS_PROVISORISCH);
    add(0, lKursinstanzID != -1 ? IDS_STATUS_ANGEMELDET : IDS_STATUS_GEPLANT);
    add(1, IDS_STATUS_BESUCHT);
    add(6, IDS_STATUS_TEILWEISE);
    add(2, IDS_STATUS_NICHT_BESUCHT);
    add(5, IDS_STATUS_ABGEMELDET);
}

BOOL CGetStatusDlg::OnInitDialog() {
    CKursResourceScope scope;
    CQvDialog::OnInitDialog();
    FillStatusList();
    UpdateData(FALSE);
    GetDlgItem(IDOK)->EnableWindow(m_cbStatus.GetCurSel() >= 0);
    return TRUE;
}

void CGetStatusDlg::OnSelchangeStatus() {
    UpdateData(TRUE);
    GetDlgItem(IDOK)->EnableWindow(m_cbStatus.GetCurSel() >= 0);
}
