#include "getkursyeardlg.h"

#include "kursres.h"
#include "kursresource.h"
#include "qvfmodule.h"

namespace {

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_GETKURSYEAR;
        dlg.caption = L"Kurs Jahr";
        dlg.cx = 186;
        dlg.cy = 70;
        dlg.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION;
        dlg.items = {
            LText(L"Geben Sie bitte das gewünschte Jahr für die Kursanmeldungen an", static_cast<UINT>(IDC_STATIC),
                  7, 7, 172, 18),
            EditText(IDC_GETKURSYEAR_YEAR, 7, 29, 60, 14, ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP),
            Control(L"", IDC_GETKURSYEAR_SPIN, L"msctls_updown32",
                    UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 67, 29, 10,
                    14),
            DefPushButton(L"OK", IDOK, 129, 49, 50, 14, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

}  // namespace

CGetKursYearDlg::CGetKursYearDlg(CWnd*)
    : CQvDialog(IDD_GETKURSYEAR, nullptr), lYear(COleDateTime::GetCurrentTime().GetYear()) {}

void CGetKursYearDlg::DoDataExchange(CDataExchange* pDX) {
    CQvDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_GETKURSYEAR_SPIN, m_spinYear);
    DDX_Text(pDX, IDC_GETKURSYEAR_YEAR, lYear);
    DDV_MinMaxLong(pDX, lYear, 1900, 2200);
}

BOOL CGetKursYearDlg::OnInitDialog() {
    CQvDialog::OnInitDialog();
    m_spinYear.SetRange(1900, 2200);
    m_spinYear.SetPos(static_cast<short>(lYear));
    return TRUE;
}

int VRQ_ShowGetKursYearDlg(long& lYear) {
    QVF_MANAGE_STATE();
    CKursResourceScope scope;
    CGetKursYearDlg dlg;
    const INT_PTR nResult = dlg.DoModal();
    if (nResult == IDOK) lYear = dlg.lYear;
    return static_cast<int>(nResult);
}
