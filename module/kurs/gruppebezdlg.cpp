#include "gruppebezdlg.h"

#include "kursres.h"
#include "kursresource.h"

namespace {

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_GRUPPEBEZ;
        dlg.caption = L"Gruppen bearbeiten";
        dlg.cx = 200;
        dlg.cy = 82;
        dlg.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION;
        dlg.items = {
            LText(L"Geben Sie den Namen der Gruppe ein:", static_cast<UINT>(IDC_STATIC), 7, 7, 186, 8),
            EditText(IDC_GRUPPEBEZ_NAME, 7, 19, 186, 14, ES_AUTOHSCROLL | WS_TABSTOP),
            LText(L"max. Teilnehmer", IDC_GRUPPEBEZ_MAX_LABEL, 7, 42, 60, 8),
            EditText(IDC_GRUPPEBEZ_MAX, 70, 40, 40, 14, ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP),
            Control(L"", IDC_GRUPPEBEZ_SPIN, L"msctls_updown32",
                    UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS, 110, 40, 10, 14),
            DefPushButton(L"OK", IDOK, 87, 61, 50, 14, WS_TABSTOP),
            PushButton(L"Abbrechen", IDCANCEL, 143, 61, 50, 14, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

}  // namespace

CGruppeBezDlg::CGruppeBezDlg(CWnd*) : CQvDialog(IDD_GRUPPEBEZ, nullptr) {}

void CGruppeBezDlg::DoDataExchange(CDataExchange* pDX) {
    CQvDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_GRUPPEBEZ_SPIN, m_spinMax);
    DDX_Text(pDX, IDC_GRUPPEBEZ_NAME, strBezeichnung);
    // Blanks at the end do not make another name: the name is kept without them.
    if (pDX->m_bSaveAndValidate) strBezeichnung.TrimRight(L' ');
    DDV_MaxChars(pDX, strBezeichnung, 254);
    DDX_Text(pDX, IDC_GRUPPEBEZ_MAX, lMaxTeilnehmer);
}

BOOL CGruppeBezDlg::OnInitDialog() {
    CQvDialog::OnInitDialog();
    // The arrows stop at 999; a larger number may still be typed.
    m_spinMax.SetRange(0, 999);
    static_cast<CEdit*>(GetDlgItem(IDC_GRUPPEBEZ_NAME))->LimitText(254);
    return TRUE;
}
