#include "getdatumdlg.h"

#include "datetimectrl.h"
#include "kursres.h"
#include "kursresource.h"
#include "typeddate.h"

namespace {

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_GETDATUM;
        dlg.caption = L"Datum auswählen";
        dlg.cx = 210;
        dlg.cy = 76;
        dlg.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION;
        dlg.items = {
            LText(L"Bitte wählen Sie ein neues Austragungs Begin Datum aus.\nEs werden alle vorhanden "
                  L"Austragungsdaten entsprechend angepasst.",
                  static_cast<UINT>(IDC_STATIC), 7, 7, 196, 26),
            Control(L"", IDC_GETDATUM_DATUM, DATETIMEPICK_CLASSW, DTS_SHORTDATEFORMAT | DTS_RIGHTALIGN | WS_TABSTOP, 7, 37,
                    70, 14),
            DefPushButton(L"OK", IDOK, 97, 55, 50, 14, WS_TABSTOP),
            PushButton(L"Abbrechen", IDCANCEL, 153, 55, 50, 14, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

}  // namespace

void DDX_KursDate(CDataExchange* pDX, int nIDC, CQvDateTime& dt) {
    HWND hWnd = pDX->PrepareEditCtrl(nIDC);
    if (pDX->m_bFailed || !hWnd) return;
    if (!pDX->m_bSaveAndValidate) {
        const CString strText = (dt.IsNull() || dt.GetStatus() != COleDateTime::valid) ? CString()
                                                                                        : dt.Format(L"%d.%m.%Y");
        ::SetWindowTextW(hWnd, strText);
        return;
    }
    wchar_t buffer[64] = {};
    ::GetWindowTextW(hWnd, buffer, 64);
    CString strText(buffer);
    strText.Trim();
    if (strText.IsEmpty()) {
        dt.SetNull();
        return;
    }
    COleDateTime parsed;
    if (!qv::ParseDateEntry(strText, qv::DateEntry::date, parsed)) {
        AfxMessageBox(KursLoadString(IDS_BAD_DATE), MB_ICONEXCLAMATION);
        pDX->Fail();
        return;
    }
    // The field shows the day; the time of the value is kept.
    const COleDateTime old = dt;
    const bool bKeepTime = !dt.IsNull() && dt.GetStatus() == COleDateTime::valid;
    dt.SetDateTime(parsed.GetYear(), parsed.GetMonth(), parsed.GetDay(), bKeepTime ? old.GetHour() : 0,
                   bKeepTime ? old.GetMinute() : 0, bKeepTime ? old.GetSecond() : 0);
}

CGetDatumDlg::CGetDatumDlg(CWnd*) : CQvDialog(IDD_GETDATUM, nullptr) {}

void CGetDatumDlg::DoDataExchange(CDataExchange* pDX) {
    CQvDialog::DoDataExchange(pDX);
    DDX_DateTimeCtrl(pDX, IDC_GETDATUM_DATUM, dtDatum);
}
