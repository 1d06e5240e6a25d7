#include "mailtemplatedlg.h"

#include "kursint.h"
#include "kursresource.h"
#include "optionserver.h"
#include "qvdblookup.h"

namespace {

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_MAILTEMPLATE;
        dlg.caption = L"E-Mail Vorlage";
        dlg.cx = 359;
        dlg.cy = 216;
        dlg.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
        const UINT s = static_cast<UINT>(IDC_STATIC);
        const DWORD label = SS_RIGHT;
        const DWORD multi = ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP;
        dlg.items = {
            LText(L"Bezeichnung", s, 5, 5, 73, 8, label),
            LText(L"E-Mail CC", s, 5, 25, 73, 8, label),
            LText(L"E-Mail BCC", s, 5, 43, 73, 8, label),
            LText(L"Betreff", s, 5, 60, 73, 8, label),
            LText(L"Kopfzeile", s, 5, 79, 73, 8, label),
            LText(L"Fusszeile", s, 5, 134, 73, 8, label),
            EditText(IDC_MAILTEMPLATE_NAME, 82, 5, 272, 15, ES_AUTOHSCROLL | WS_TABSTOP),
            EditText(IDC_MAILTEMPLATE_CC, 82, 25, 272, 15, ES_AUTOHSCROLL | WS_TABSTOP),
            EditText(IDC_MAILTEMPLATE_BCC, 82, 43, 272, 15, ES_AUTOHSCROLL | WS_TABSTOP),
            EditText(IDC_MAILTEMPLATE_SUBJECT, 82, 60, 243, 15, ES_AUTOHSCROLL | WS_TABSTOP),
            PushButton(L"", IDC_MAILTEMPLATE_LABEL, 328, 61, 26, 14, WS_TABSTOP),
            EditText(IDC_MAILTEMPLATE_HEADER, 82, 78, 272, 52, multi),
            EditText(IDC_MAILTEMPLATE_FOOTER, 82, 133, 272, 57, multi),
            PushButton(L"", IDC_HELPBUTTON, 5, 195, 18, 16, WS_TABSTOP),
            DefPushButton(L"OK", IDOK, 210, 195, 70, 16, WS_TABSTOP),
            PushButton(L"Abbrechen", IDCANCEL, 284, 195, 70, 16, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

constexpr int kShortText = 254;
constexpr int kLongText = 2048;

}  // namespace

BEGIN_MESSAGE_MAP(CMailtemplateDlg, CNQPopupDialog)
    ON_BN_CLICKED(IDC_MAILTEMPLATE_LABEL, &CMailtemplateDlg::OnBnLabel)
END_MESSAGE_MAP()

CMailtemplateDlg::CMailtemplateDlg(long lID)
    : CNQPopupDialog(IDD_MAILTEMPLATE, nullptr), lKursnotificationMailtemplateID(lID) {}

CMailtemplateDlg::~CMailtemplateDlg() = default;

void CMailtemplateDlg::DoDataExchange(CDataExchange* pDX) {
    CNQPopupDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_MAILTEMPLATE_NAME, strName);
    DDX_Text(pDX, IDC_MAILTEMPLATE_CC, strCC);
    DDX_Text(pDX, IDC_MAILTEMPLATE_BCC, strBCC);
    DDX_Text(pDX, IDC_MAILTEMPLATE_SUBJECT, strSubject);
    DDX_Text(pDX, IDC_MAILTEMPLATE_HEADER, strHeader);
    DDX_Text(pDX, IDC_MAILTEMPLATE_FOOTER, strFooter);
}

BOOL CMailtemplateDlg::OnInitDialog() {
    CKursResourceScope scope;
    CNQPopupDialog::OnInitDialog();
    m_btnHelp.AttachButton(IDC_HELPBUTTON, this);
    m_btnHelp.SetHelpTopic(L"HELP_KURS_MAILTEMPLATE");
    {
        CKursNotifResourceScope texts;
        m_btnLabel.AttachButton(IDC_MAILTEMPLATE_LABEL, this, 0,
                                L"KursnotificationMailtemplate_Subject;KursnotificationMailtemplate_Header;"
                                L"KursnotificationMailtemplate_Footer",
                                IDS_MAILTEMPLATE_SUBJECT);
    }
    m_btnLabel.SetMultiLine(L"0;1;1");
    AddToolTipText(IDC_HELPBUTTON, m_btnHelp.GetToolTipText());
    AddToolTipText(IDC_MAILTEMPLATE_LABEL, m_btnLabel.GetToolTipText());
    for (const auto& [nID, nMax] : {std::pair{IDC_MAILTEMPLATE_NAME, kShortText}, {IDC_MAILTEMPLATE_CC, kShortText},
                                    {IDC_MAILTEMPLATE_BCC, kShortText}, {IDC_MAILTEMPLATE_SUBJECT, kShortText},
                                    {IDC_MAILTEMPLATE_HEADER, kLongText}, {IDC_MAILTEMPLATE_FOOTER, kLongText}})
        static_cast<CEdit*>(GetDlgItem(nID))->LimitText(nMax);
    LoadData();
    return TRUE;
}

long CMailtemplateDlg::LoadData() {
    long hr = S_OK;
    if (lKursnotificationMailtemplateID == 0) {
        COptionServer opt;
        hr = opt.GetOption(-1060, L"NotificationSubject", &strSubject, 1, 0);
    } else {
        CQvADOConnection conn;
        CQvADORecordset rs(&conn);
        hr = kurs::OpenConnection(conn);
        CString strSQL;
        strSQL.Format(L"SELECT strName, strSubject, strHeader, strFooter, strBCC, strCC \t\t\t\t\tFROM "
                      L"KursnotificationMailtemplate \t\t\t\t\tWHERE lKursnotificationMailtemplateID = %d",
                      lKursnotificationMailtemplateID);
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && !bEOF) {
            hr = rs.GetFieldValue(L"strName", &strName);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strSubject", &strSubject);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strHeader", &strHeader);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strFooter", &strFooter);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBCC", &strBCC);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strCC", &strCC);
        }
        rs.Close();
        if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
    }
    UpdateData(FALSE);
    return hr;
}

long CMailtemplateDlg::SaveData() {
    if (!UpdateData(TRUE)) return E_FAIL;
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    const CString n = QvSQLString(strName, kShortText), s = QvSQLString(strSubject, kShortText),
                  h = QvSQLString(strHeader, kLongText), f = QvSQLString(strFooter, kLongText),
                  c = QvSQLString(strCC, kShortText), b = QvSQLString(strBCC, kShortText);
    CString strSQL;
    if (lKursnotificationMailtemplateID == 0) {
        long lNewID = 0;
        if (SUCCEEDED(hr))
            hr = kurs::GetUniqueID(conn, L"KursnotificationMailtemplate", L"lKursnotificationMailtemplateID", lNewID);
        if (SUCCEEDED(hr)) {
            strSQL.Format(L"INSERT INTO KursnotificationMailtemplate (lKursnotificationMailtemplateID, strName, "
                          L"strSubject, strHeader, strFooter, strCC, strBCC) Values(%d, '%s', '%s', '%s', '%s', "
                          L"'%s', '%s')",
                          lNewID, (LPCWSTR)n, (LPCWSTR)s, (LPCWSTR)h, (LPCWSTR)f, (LPCWSTR)c, (LPCWSTR)b);
            hr = kurs::Execute(conn, strSQL);
        }
        if (SUCCEEDED(hr)) lKursnotificationMailtemplateID = lNewID;
    } else if (SUCCEEDED(hr)) {
        strSQL.Format(L"UPDATE KursnotificationMailtemplate \t\t\t\t\tSET strName = '%s', strSubject = '%s', "
                      L"strHeader = '%s', strFooter = '%s', strCC = '%s', strBCC = '%s' \t\t\t\t\tWHERE "
                      L"lKursnotificationMailtemplateID = %d",
                      (LPCWSTR)n, (LPCWSTR)s, (LPCWSTR)h, (LPCWSTR)f, (LPCWSTR)c, (LPCWSTR)b,
                      lKursnotificationMailtemplateID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
    return hr;
}

void CMailtemplateDlg::OnOK() {
    const long hr = SaveData();
    if (SUCCEEDED(hr)) {
        EndDialog(IDOK);
        return;
    }
    QvReportMsg(hr, CrackHR(hr), L"CMailtemplateDlg::OnOK", L"Default", __FILE__, __LINE__, 1);
}

void CMailtemplateDlg::OnBnLabel() {
    if (lKursnotificationMailtemplateID == 0 && FAILED(SaveData())) return;
    m_btnLabel.m_lFkID = lKursnotificationMailtemplateID;
    m_btnLabel.ShowLabelDialog();
}
