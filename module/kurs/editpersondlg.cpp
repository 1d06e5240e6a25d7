#include "editpersondlg.h"

#include "getdatumdlg.h"
#include "kursint.h"
#include "kursresource.h"
#include "nqcommon.h"
#include "nqkurscalls.h"
#include "optionserver.h"
#include "qveventsource.h"
#include "qvfmodule.h"
#include "qvsec.h"

namespace {

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_EDITPERSON;
        dlg.caption = L"Anmeldung bearbeiten";
        dlg.cx = 277;
        dlg.cy = 309;
        dlg.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION;
        const UINT s = static_cast<UINT>(IDC_STATIC);
        const DWORD label = SS_RIGHT | SS_CENTERIMAGE;
        const DWORD shown = SS_SUNKEN | SS_CENTERIMAGE;
        dlg.items = {
            LText(L"...", IDC_EDITPERSON_PERSON, 83, 5, 189, 14, shown),
            LText(L"...", IDC_EDITPERSON_KURS, 83, 21, 189, 14, shown),
            ComboBox(IDC_EDITPERSON_INSTANZ, 83, 40, 189, 75, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP),
            ComboBox(IDC_EDITPERSON_FUNKTION, 83, 55, 189, 60, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP),
            ComboBox(IDC_EDITPERSON_STATUS, 83, 70, 189, 60, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP),
            LText(L"...", IDC_EDITPERSON_ANMELDUNG, 83, 87, 186, 14, shown),
            EditText(IDC_EDITPERSON_YEAR, 83, 106, 70, 15, ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP),
            Control(L"Spin1", IDC_EDITPERSON_YEARSPIN, L"msctls_updown32",
                    UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 145, 106, 11,
                    15),
            EditText(IDC_EDITPERSON_DATUM, 83, 106, 70, 15, ES_AUTOHSCROLL | WS_TABSTOP),
            ComboBox(IDC_EDITPERSON_ABSENZGRUND, 83, 125, 115, 115,
                     CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP),
            AutoCheckBox(L"Entschuldigt", IDC_EDITPERSON_ENTSCHULDIGT, 203, 125, 69, 12, WS_TABSTOP),
            EditText(IDC_EDITPERSON_GRUND, 83, 142, 189, 24,
                     ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP),
            EditText(IDC_EDITPERSON_BEMERKUNG, 83, 171, 189, 52,
                     ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP),
            EditText(IDC_EDITPERSON_ORT, 83, 230, 189, 15, ES_AUTOHSCROLL | WS_TABSTOP),
            EditText(IDC_EDITPERSON_LEITUNG, 83, 248, 189, 15, ES_AUTOHSCROLL | WS_TABSTOP),
            EditText(IDC_EDITPERSON_DAUER, 83, 266, 70, 15, ES_AUTOHSCROLL | WS_TABSTOP),
            DefPushButton(L"OK", IDOK, 131, 288, 70, 16, WS_TABSTOP),
            PushButton(L"Abbrechen", IDCANCEL, 202, 288, 70, 16, WS_TABSTOP),
            LText(L"Kurs", s, 5, 21, 75, 14, label),
            LText(L"Austragung", s, 5, 40, 75, 12, label),
            LText(L"Status", IDC_EDITPERSON_STATUS_LABEL, 5, 70, 75, 12, label),
            LText(L"Kursdatum", IDC_EDITPERSON_DATUM_LABEL, 5, 106, 75, 15, label),
            LText(L"Bemerkung", s, 5, 172, 75, 8, label),
            LText(L"Absenzgrund", IDC_EDITPERSON_ABSENZ_LABEL, 5, 125, 75, 12, label),
            LText(L"Grund nicht Bestanden", IDC_EDITPERSON_GRUND_LABEL, 5, 142, 75, 21, SS_RIGHT),
            LText(L"Kursort", s, 5, 230, 75, 15, label),
            LText(L"Kursleitung", s, 5, 248, 75, 15, label),
            LText(L"Kursdauer", IDC_EDITPERSON_DAUER_LABEL, 5, 266, 75, 15, label),
            LText(L"Anmeldung am", s, 5, 87, 75, 14, label),
            LText(L"Funktion", IDC_EDITPERSON_FUNKTION_LABEL, 5, 55, 75, 12, label),
            LText(L"Person", s, 5, 5, 75, 14, label),
            PushButton(L"", IDC_HELPBUTTON, 5, 288, 18, 16, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

// The rights functions of participant and instructor registrations.
const CQvGUID kSecTeilnehmer(L"{26C2F4CD-E822-4E3B-B665-F7A60A24B65B}");
const CQvGUID kSecInstruktor(L"{7AC2F5A3-00A0-4147-A25D-730B31F0BC8B}");
constexpr DWORD kRightEdit = 0x100;
constexpr DWORD kRightOwn = 0x10000;
// The bookings of a course changed; record id: the course.
constexpr GUID kBookingsChanged = qv::MakeGuid("4EF7DB46-118D-4C0B-9338-BE2434638F5B");

bool IsPlanned(long lStatus) { return lStatus == 0 || lStatus == 7 || lStatus == 3 || lStatus == 4; }

// A combo box whose list lacks the stored value (a run the user may not see, a status or role the
// installation does not offer) shows no entry; reading it then keeps the stored value instead of
// writing -1 over the registration.
void DDX_CBParamKept(CDataExchange* pDX, CComboBox& combo, int nIDC, long& lValue) {
    if (pDX->m_bSaveAndValidate && combo.GetSafeHwnd() && combo.GetCurSel() < 0) return;
    DDX_CBParam(pDX, nIDC, lValue);
}

}  // namespace

BEGIN_MESSAGE_MAP(CEditPersonDlg, CNQPopupDialog)
    ON_CBN_SELCHANGE(IDC_EDITPERSON_INSTANZ, &CEditPersonDlg::OnSelchangeComboInstanz)
    ON_CBN_SELCHANGE(IDC_EDITPERSON_STATUS, &CEditPersonDlg::OnSelchangeComboStatus)
    ON_CBN_SELCHANGE(IDC_EDITPERSON_ABSENZGRUND, &CEditPersonDlg::OnSelchangeComboAbsenzgrund)
END_MESSAGE_MAP()

CEditPersonDlg::CEditPersonDlg(CWnd* pParent)
    : CNQPopupDialog(IDD_EDITPERSON, pParent), lYear(COleDateTime::GetCurrentTime().GetYear()) {}

CEditPersonDlg::~CEditPersonDlg() = default;

void CEditPersonDlg::DoDataExchange(CDataExchange* pDX) {
    CKursResourceScope scope;
    CNQPopupDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_EDITPERSON_YEARSPIN, m_spinYear);
    DDX_Control(pDX, IDC_EDITPERSON_STATUS, m_cbStatus);
    DDX_Control(pDX, IDC_EDITPERSON_FUNKTION, m_cbFunktion);
    DDX_Control(pDX, IDC_EDITPERSON_INSTANZ, m_cbInstanz);
    DDX_Control(pDX, IDC_EDITPERSON_ABSENZGRUND, m_cbAbsenzgrund);
    DDX_Text(pDX, IDC_EDITPERSON_GRUND, strGrundNichtBestanden);
    DDX_Text(pDX, IDC_EDITPERSON_BEMERKUNG, strBemerkung);
    DDX_Text(pDX, IDC_EDITPERSON_PERSON, strPerson);
    DDX_Text(pDX, IDC_EDITPERSON_KURS, strKursBez);
    DDX_Text(pDX, IDC_EDITPERSON_YEAR, lYear);
    DDX_Text(pDX, IDC_EDITPERSON_ANMELDUNG, strAnmeldung);
    DDV_MinMaxLong(pDX, lYear, 1900, 2200);
    DDX_Check(pDX, IDC_EDITPERSON_ENTSCHULDIGT, fEntschuldigt);
    DDX_KursDate(pDX, IDC_EDITPERSON_DATUM, dtDatum);
    DDX_Text(pDX, IDC_EDITPERSON_ORT, strInstanzOrt);
    DDX_Text(pDX, IDC_EDITPERSON_LEITUNG, strInstanzLeitung);
    DDX_DoubleRes(pDX, IDC_EDITPERSON_DAUER, dblInstanzDauer, IDS_DAUER_FORMAT, 0);
    DDX_CBParamKept(pDX, m_cbInstanz, IDC_EDITPERSON_INSTANZ, lKursinstanzID);
    long lValue = lStatus;
    DDX_CBParamKept(pDX, m_cbStatus, IDC_EDITPERSON_STATUS, lValue);
    lStatus = static_cast<EPersonKursStatus>(lValue);
    DDX_CBParamKept(pDX, m_cbFunktion, IDC_EDITPERSON_FUNKTION, lKursleitungID);
    DDX_CBParamKept(pDX, m_cbAbsenzgrund, IDC_EDITPERSON_ABSENZGRUND, lAbsenzgrundID);
}

BOOL CEditPersonDlg::OnInitDialog() {
    CKursResourceScope scope;
    CNQPopupDialog::OnInitDialog();
    m_btnHelp.AttachButton(IDC_HELPBUTTON, this);
    m_btnHelp.SetHelpTopic(L"HELP_KURS_EDITPERSON");
    AddToolTipText(IDC_HELPBUTTON, m_btnHelp.GetToolTipText());
    m_spinYear.SetRange(1900, 2200);
    m_spinYear.SetPos(static_cast<int>(lYear));
    static_cast<CEdit*>(GetDlgItem(IDC_EDITPERSON_GRUND))->LimitText(4000);
    // The run's place and leader as kept on the registration.
    static_cast<CEdit*>(GetDlgItem(IDC_EDITPERSON_ORT))->LimitText(254);
    static_cast<CEdit*>(GetDlgItem(IDC_EDITPERSON_LEITUNG))->LimitText(254);
    const long lReports = kurs::ReportCount();
    const long lGone = kurs::GoneCount();
    const long hr = LoadPersonKurs();
    if (FAILED(hr) && kurs::GoneCount() != lGone) {
        // Removed by another user meanwhile, as the user has been told: there is nothing to edit,
        // and the page that opened the editor shows what is stored, as after a save that found it
        // gone.
        EndDialog(IDOK);
        return TRUE;
    }
    // A step that failed has reported it, with its cause.
    if (FAILED(hr) && kurs::ReportCount() == lReports)
        QvReportMsg(hr, CrackHR(hr), L"CEditPersonDlg::OnInitDialog", L"Default", __FILE__, __LINE__, 0);
    // What was not read must never be written over the registration.
    GetDlgItem(IDOK)->EnableWindow(m_bLoaded);
    return TRUE;
}

long CEditPersonDlg::LoadPersonKurs() {
    m_bLoaded = FALSE;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    const long lUserID = kurs::CurrentSecUserID();
    CString strSQL;
    strSQL.Format(
        L"SELECT pk.lKursID, pk.lKursinstanzID, pk.lPersonID, pk.lKursleitungID, isnull(pkL.lPersonID, 0) AS "
        L"lKursleiterID, \t\t\t\t\t\tpk.strBemerkung, pk.dtDatum, pk.lStatus, pk.fTeilnehmer, pk.lAbsenzgrundID, "
        L"pk.fEntschuldigt, pk.strGrundNichtBestanden, pk.strInstanzOrt, pk.strInstanzLeitung, pk.dblInstanzDauer, "
        L"pk.dtAnmeldung,\t\t\t\t\t\tdbo.fn_GetKursBezeichnung(pk.lKursID) AS strKursBez, "
        L"dbo.fn_GetPersonBezeichnung(pk.lPersonID, 'A') AS strPerson, \t\t\t\t\t\tisnull(secK.lRight,0) AS "
        L"lRightK, isnull(secI.lRight,0) AS lRightI \t\t\t\tFROM PersonKurs pk JOIN SecKurs secK ON pk.lKursID = "
        L"secK.lKursID AND secK.lQvSecUserID = %d \t\t\t\t\t\tLEFT OUTER JOIN SecKurs secI ON pk.lKursinstanzID = "
        L"secI.lKursinstanzID AND secI.lQvSecUserID = %d                         LEFT OUTER JOIN PersonKurs pkL ON "
        L"pkL.lKursinstanzID = pk.lKursinstanzID AND pkL.fTeilnehmer = 0 AND pkL.fLeiter = 1 \t\t\t\tWHERE "
        L"pk.lPersonKursID = %d",
        lUserID, lUserID, lPersonKursID);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    // No row: the registration is gone or the user holds no rights row on its course.
    if (SUCCEEDED(hr) && bEOF) {
        rs.Close();
        long lCount = 1;
        CString strWhere;
        strWhere.Format(L"lPersonKursID = %d", lPersonKursID);
        hr = QvDBLookupLong(L"count(*)", L"PersonKurs", strWhere, &lCount, kurs::kProfile);
        if (FAILED(hr)) KURS_TRACEHR(hr);
        if (SUCCEEDED(hr) && lCount == 0) return kurs::RegistrationGone();
        if (SUCCEEDED(hr)) hr = KURS_TRACEHR(E_ACCESSDENIED);
    }
    long lRightK = 0, lRightI = 0, lValue = 0;
    CQvDateTime dtAnmeldung;
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursinstanzID", &lKursinstanzID);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lPersonID", &lPersonID);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursleitungID", &lKursleitungID);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursleiterID", &lKursleiterID);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBemerkung", &strBemerkung);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtDatum", &dtDatum);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fTeilnehmer", &fTeilnehmer);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStatus", &lValue);
    if (SUCCEEDED(hr)) lStatus = static_cast<EPersonKursStatus>(lValue);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lAbsenzgrundID", &lAbsenzgrundID);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fEntschuldigt", &fEntschuldigt);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strGrundNichtBestanden", &strGrundNichtBestanden);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strInstanzOrt", &strInstanzOrt);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strInstanzLeitung", &strInstanzLeitung);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dblInstanzDauer", &dblInstanzDauer);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKursBez", &strKursBez);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPerson", &strPerson);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lRightK", &lRightK);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lRightI", &lRightI);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtAnmeldung", &dtAnmeldung);
    if (SUCCEEDED(hr)) {
        lRight = lKursinstanzID == -1 ? lRightK : lRightI;
        strAnmeldung = dtAnmeldung.IsNull() ? CString() : dtAnmeldung.Format(L"%d.%m.%Y %H:%M");
        lStatusOld = lStatus;
        lKursinstanzIDOld = lKursinstanzID;
        lYear = lYearOld = dtDatum.IsNull() ? -1 : dtDatum.GetYear();
    }
    rs.Close();
    if (SUCCEEDED(hr)) hr = FillComboInstanz();
    if (SUCCEEDED(hr)) hr = FillComboStatus();
    if (SUCCEEDED(hr)) hr = FillComboFunktion();
    if (SUCCEEDED(hr)) {
        m_cbAbsenzgrund.ResetContent();
        hr = NQ_FillCombo(L"SELECT lAbsenzgrundID as id, strBezeichnung as str FROM view_Absenzgrund ORDER BY "
                          L"strBezeichnung ",
                          &m_cbAbsenzgrund, 0, 0, nullptr);
    }
    if (SUCCEEDED(hr)) hr = UpdateControls();
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    m_bLoaded = SUCCEEDED(hr);
    UpdateData(FALSE);
    return FAILED(hr) ? hr : S_OK;
}

long CEditPersonDlg::FillComboInstanz() {
    m_cbInstanz.ResetContent();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    const long lUserID = kurs::CurrentSecUserID();
    CQvDateTime dtFrom;
    dtFrom.SetNull();
    {
        COptionServer options;
        options.GetOption(-4000, L"KursInstanzDate", &dtFrom, 1, -1);
    }
    // Without a first date every run counts, also those before the suite's zero date.
    const CString strFrom = dtFrom.IsNull() ? kurs::ZeroDateSQL() : dtFrom.SQLConvert();
    long lOwnPerson = 0;
    NQ_GetCurrUserPerson(lOwnPerson);
    const DWORD dwMask = (lOwnPerson != 0 && lPersonID == lOwnPerson) ? 0x10100 : kRightEdit;

    CString strSQL;
    strSQL.Format(L"SELECT secK.lRight \t\t\t\tFROM SecKurs secK \t\t\t\tWHERE secK.lKursID = %d AND "
                  L"secK.lQvSecUserID = %d",
                  lKursID, lUserID);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    long lRightK = 0;
    if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"lRight", &lRightK);
    rs.Close();
    // Only a user who may change the course can take a registration out of its run.
    if (SUCCEEDED(hr) && !bEOF && CQvSec::HasAnyRight(dwMask, static_cast<DWORD>(lRightK))) {
        const int nIndex = m_cbInstanz.AddString(L"-");
        m_cbInstanz.SetItemData(nIndex, static_cast<DWORD_PTR>(static_cast<LONG_PTR>(-1)));
    }
    // The runs of the course are read first and the user's row of each by its run ("+ 0" keeps
    // the index of all the user's rows out).
    if (NQ_IsEnterpriseEdition())
        strSQL.Format(L"SELECT Kursinstanz.lKursinstanzID, dbo.fn_GetKursinstanzBezeichnung(Kursinstanz.lKursinstanzID) "
                      L"AS strKursinstanz \t\t\t\t\tFROM Kursinstanz JOIN SecKurs secI ON Kursinstanz.lKursinstanzID = "
                      L"secI.lKursinstanzID AND secI.lQvSecUserID + 0 = %d AND secI.lRight & %lu > 0 \t\t\t\t\tWHERE "
                      L"(Kursinstanz.lKursID = %d) AND \t\t\t\t\t\t\t(dtDatum >= %s) OR \t\t\t\t\t\t\t"
                      L"(Kursinstanz.lKursinstanzID = %d) \t\t\t\t\tORDER BY dtDatum DESC",
                      lUserID, static_cast<unsigned long>(dwMask), lKursID, static_cast<LPCWSTR>(strFrom),
                      lKursinstanzID);
    else
        strSQL.Format(L"SELECT Kursinstanz.lKursinstanzID, dbo.fn_GetKursinstanzBezeichnung(Kursinstanz.lKursinstanzID) "
                      L"AS strKursinstanz \t\t\t\t\tFROM Kursinstanz JOIN SecKurs secI ON Kursinstanz.lKursinstanzID = "
                      L"secI.lKursinstanzID AND secI.lQvSecUserID + 0 = %d AND secI.lRight & %lu > 0 \t\t\t\t\tWHERE "
                      L"(Kursinstanz.lKursID = %d) AND \t\t\t\t\t\t\t(fGeschlossen = 0) AND \t\t\t\t\t\t\t"
                      L"(dtDatum >= %s) OR \t\t\t\t\t\t\t(Kursinstanz.lKursinstanzID = %d) \t\t\t\t\tORDER BY "
                      L"dtDatum DESC",
                      lUserID, static_cast<unsigned long>(dwMask), lKursID, static_cast<LPCWSTR>(strFrom),
                      lKursinstanzID);
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        long lID = 0;
        CString strText;
        hr = rs.GetFieldValue(L"lKursinstanzID", &lID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKursinstanz", &strText);
        if (FAILED(hr)) break;
        const int nIndex = m_cbInstanz.AddString(strText);
        m_cbInstanz.SetItemData(nIndex, static_cast<DWORD_PTR>(static_cast<LONG_PTR>(lID)));
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

long CEditPersonDlg::FillComboStatus() {
    m_cbStatus.ResetContent();
    auto add = [&](long lValue, UINT nText) {
        const int nIndex = m_cbStatus.AddString(KursLoadString(nText));
        m_cbStatus.SetItemData(nIndex, static_cast<DWORD_PTR>(lValue));
    };
    if (lKursinstanzID != -1) add(3, fTeilnehmer ? IDS_STATUS_WARTELISTE : IDS_STATUS_RESERVE);
    if (lKursinstanzID != -1 && lTyp != eAuthorityTypLokal) {
        CString strCode, strName;
        int nIndex = 0;
        NQ_GetActKanton(strCode, strName, &nIndex);
        if (strCode == L"SH") add(4, IDS_STATUS_WARTELISTE_PENALTY);
    }
    add(7, IDS_STATUS_PROVISORISCH);
    add(0, IDS_STATUS_GEPLANT_ANGEMELDET);
    add(1, IDS_STATUS_BESUCHT);
    add(6, IDS_STATUS_TEILWEISE);
    add(2, IDS_STATUS_NICHT_BESUCHT);
    add(5, IDS_STATUS_ABGEMELDET);
    return S_OK;
}

long CEditPersonDlg::FillComboFunktion() {
    m_cbFunktion.ResetContent();
    int nIndex = m_cbFunktion.AddString(KursLoadString(IDS_OHNE_FUNKTION));
    m_cbFunktion.SetItemData(nIndex, static_cast<DWORD_PTR>(static_cast<LONG_PTR>(-1)));
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    const CString strDatum = dtDatum.SQLConvert();
    CString strSQL;
    strSQL.Format(L"SELECT Kursleitung.lKursleitungID, dbo.fn_GetFunktionBezeichnung(Kursleitung.lFunktionID) as "
                  L"strFunktion \t\t\t\tFROM Kursleitung JOIN PersonFunktion ON PersonFunktion.lFunktionID = "
                  L"Kursleitung.lFunktionID \t\t\t\tWHERE PersonFunktion.lPersonID = %d AND \t\t\t\t\t  "
                  L"PersonFunktion.dtStart < %s AND \t\t\t\t\t  (PersonFunktion.dtEnde > %s OR PersonFunktion.dtEnde "
                  L"= %s) OR \t\t\t\t\t  (Kursleitung.lKursleitungID = %d AND PersonFunktion.lPersonID = "
                  L"%d)\t\t\t\t ORDER BY strFunktion",
                  lPersonID, static_cast<LPCWSTR>(strDatum), static_cast<LPCWSTR>(strDatum),
                  static_cast<LPCWSTR>(kurs::ZeroDateSQL()), lKursleitungID, lPersonID);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        long lID = 0;
        CString strText;
        hr = rs.GetFieldValue(L"lKursleitungID", &lID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strFunktion", &strText);
        if (FAILED(hr)) break;
        nIndex = m_cbFunktion.AddString(strText);
        m_cbFunktion.SetItemData(nIndex, static_cast<DWORD_PTR>(static_cast<LONG_PTR>(lID)));
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

long CEditPersonDlg::LookupRunDate() {
    CString strCondition;
    strCondition.Format(L"lKursinstanzID = %d", lKursinstanzID);
    COleDateTime dt = dtDatum;
    const long hr = QvDBLookupDate(L"dtDatum", L"Kursinstanz", strCondition, &dt, kurs::kProfile);
    if (SUCCEEDED(hr)) dtDatum = dt;
    return hr;
}

long CEditPersonDlg::UpdateControls() {
    CWnd* pDatum = GetDlgItem(IDC_EDITPERSON_DATUM);
    pDatum->ShowWindow(SW_SHOW);
    pDatum->EnableWindow(TRUE);
    m_spinYear.ShowWindow(SW_HIDE);
    GetDlgItem(IDC_EDITPERSON_YEAR)->ShowWindow(SW_HIDE);
    SetDlgItemText(IDC_EDITPERSON_DATUM_LABEL, KursLoadString(IDS_KURSDATUM));
    const bool bRun = lKursinstanzID != -1;
    long hr = S_OK;
    if (IsPlanned(lStatus) && !bRun) {
        pDatum->ShowWindow(SW_HIDE);
        m_spinYear.ShowWindow(SW_SHOW);
        m_spinYear.EnableWindow(TRUE);
        GetDlgItem(IDC_EDITPERSON_YEAR)->ShowWindow(SW_SHOW);
        lYear = dtDatum.IsNull() ? -1 : dtDatum.GetYear();
    } else if (IsPlanned(lStatus) || ((lStatus == 1 || lStatus == 2 || lStatus == 6) && bRun)) {
        pDatum->EnableWindow(FALSE);
        hr = LookupRunDate();
    } else if (lStatus == 5) {
        SetDlgItemText(IDC_EDITPERSON_DATUM_LABEL, KursLoadString(IDS_ABMELDUNG_AM));
        pDatum->EnableWindow(TRUE);
    }
    BOOL bClosed = FALSE;
    if (bRun && SUCCEEDED(hr)) {
        CString strCondition;
        strCondition.Format(L"lKursinstanzID=%d", lKursinstanzID);
        hr = QvDBLookupBool(L"fGeschlossen", L"Kursinstanz", strCondition, &bClosed, kurs::kProfile);
    }
    const BOOL bCentral = NQ_IsEnterpriseEdition();
    m_cbInstanz.EnableWindow(!(bClosed && !bCentral));

    CQvSec sec;
    sec.LoadRights(fTeilnehmer ? kSecTeilnehmer : kSecInstruktor);
    DWORD dwRights = sec.GetRights();
    long lOwnPerson = 0;
    NQ_GetCurrUserPerson(lOwnPerson);
    // A run's leader may change the statuses of the run he leads.
    if ((dwRights & kRightOwn) && !(dwRights & kRightEdit) && lOwnPerson != 0 && lOwnPerson == lKursleiterID)
        dwRights |= kRightEdit;
    dwRights &= static_cast<DWORD>(lRight);
    const BOOL bMayChange = (dwRights & kRightEdit) != 0;
    if (fTeilnehmer)
        m_cbStatus.EnableWindow(bMayChange && (lTyp == eAuthorityTypLokal || !bRun || bCentral));
    else
        m_cbStatus.EnableWindow(bMayChange);

    const BOOL bRole = !fTeilnehmer && bCentral;
    GetDlgItem(IDC_EDITPERSON_FUNKTION_LABEL)->ShowWindow(bRole ? SW_SHOW : SW_HIDE);
    m_cbFunktion.ShowWindow(bRole ? SW_SHOW : SW_HIDE);
    m_cbFunktion.EnableWindow(TRUE);

    const BOOL bAbsent = lStatus == 2 || lStatus == 5;
    m_cbAbsenzgrund.EnableWindow(bAbsent);
    GetDlgItem(IDC_EDITPERSON_ENTSCHULDIGT)->EnableWindow(bAbsent);
    GetDlgItem(IDC_EDITPERSON_GRUND)->EnableWindow(lStatus == 6);
    GetDlgItem(IDC_EDITPERSON_ORT)->EnableWindow(!bRun);
    GetDlgItem(IDC_EDITPERSON_LEITUNG)->EnableWindow(!bRun);
    if (lStatus == 1 || lStatus == 6) {
        SetDlgItemText(IDC_EDITPERSON_DAUER_LABEL, KursLoadString(IDS_KURSTAGE_BESUCHT));
        GetDlgItem(IDC_EDITPERSON_DAUER)
            ->EnableWindow((lTyp == eAuthorityTypLokal && !bClosed) || !bRun || bCentral);
    } else {
        SetDlgItemText(IDC_EDITPERSON_DAUER_LABEL, KursLoadString(IDS_KURSDAUER));
        GetDlgItem(IDC_EDITPERSON_DAUER)->EnableWindow(!bRun);
    }
    return hr;
}

void CEditPersonDlg::AfterSelchange(LPCWSTR lpszPlace) {
    const long hr = UpdateControls();
    if (FAILED(hr)) QvReportMsg(hr, CrackHR(hr), lpszPlace, L"Default", __FILE__, __LINE__, 0);
    UpdateData(FALSE);
}

void CEditPersonDlg::OnSelchangeComboInstanz() {
    CKursResourceScope scope;
    UpdateData(TRUE);
    lStatus = ePersonKursStatusAngemeldet;
    if ((lTyp == eAuthorityTypBund || lTyp == eAuthorityTypKanton) && lKursinstanzID != -1)
        lStatus = VRQ_GetDefaultPersonKursStatus();
    AfterSelchange(L"CEditPersonDlg::OnSelchangeComboInstanz");
}

void CEditPersonDlg::OnSelchangeComboStatus() {
    CKursResourceScope scope;
    const EPersonKursStatus eBefore = lStatus;
    UpdateData(TRUE);
    if (lStatus != eBefore && lStatus == ePersonKursStatusAbgemeldet) dtDatum = COleDateTime::GetCurrentTime();
    AfterSelchange(L"CEditPersonDlg::OnSelchangeComboStatus");
}

void CEditPersonDlg::OnSelchangeComboAbsenzgrund() {
    CKursResourceScope scope;
    UpdateData(TRUE);
    AfterSelchange(L"CEditPersonDlg::OnSelchangeComboAbsenzgrund");
}

void CEditPersonDlg::OnOK() {
    CKursResourceScope scope;
    if (!m_bLoaded) return;
    // An entry the dialog refuses has been told to the user; the editor stays open with it.
    if (!UpdateData(TRUE)) return;
    const long lReports = kurs::ReportCount();
    const long lGone = kurs::GoneCount();
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    if (SUCCEEDED(hr)) {
        kurs::CQuestionsFirst questions;
        AskBeforeSave();
        questions.Done();
        kurs::CKursTransaction trans(conn);
        hr = trans.Begin();
        const bool bOwn = trans.Owns();
        // What the save records as stored holds only while its transaction stands: a rolled-back
        // save leaves the stored status as it was loaded.
        const EPersonKursStatus eStoredStatus = lStatusOld;
        if (SUCCEEDED(hr)) hr = SavePersonKurs();
        hr = trans.End(hr);
        if (FAILED(hr) && bOwn) lStatusOld = eStoredStatus;
    }
    if (FAILED(hr) && kurs::GoneCount() != lGone) {
        // The registration is gone, as the user has been told: nothing was written, and the page
        // that opened the editor shows what is stored.
        CNQPopupDialog::OnOK();
        return;
    }
    if (FAILED(hr)) {
        // A step that failed has reported it, with its cause.
        if (kurs::ReportCount() == lReports)
            QvReportMsg(hr, CrackHR(hr), L"CEditPersonDlg::OnOK", L"Default", __FILE__, __LINE__, 0);
        return;
    }
    HRESULT hrEvent = S_OK;
    if (!bNoEvent) {
        CQvEventSource events;
        hrEvent = events.FireEvent(kBookingsChanged, lKursID, FALSE);
    }
    CNQPopupDialog::OnOK();
    if (FAILED(hrEvent))
        QvReportMsg(hrEvent, CrackHR(hrEvent), L"CEditPersonDlg::OnOK", L"Default", __FILE__, __LINE__, 0);
}

void CEditPersonDlg::AskBeforeSave() {
    if (!fTeilnehmer || !UpdateData(TRUE)) return;
    if (lKursinstanzID == lKursinstanzIDOld || lKursinstanzID == -1) return;
    const long lDatumYear = dtDatum.IsNull() ? -1 : dtDatum.GetYear();
    // A save the checks refuse asks nothing.
    if (VRQ_CheckKursDoppelbelegung(lPersonKursID, lPersonID, lKursID, lKursinstanzID, lDatumYear) != S_OK ||
        VRQ_CheckKursinstanzDoppelbelegung(lPersonKursID, lPersonID, lKursID, lKursinstanzID) != S_OK)
        return;
    CVRQKurs kurs;
    EPersonKursStatus eNew = ePersonKursStatusAngemeldet;
    kurs.ChangePersonKursinstanz(lPersonKursID, lPersonID, lKursID, lKursinstanzIDOld, lKursinstanzID, lDatumYear,
                                 eNew, lStatusOld);
}

long CEditPersonDlg::SavePersonKurs() {
    if (!UpdateData(TRUE)) return E_ABORT;
    if (lKursinstanzID == -1 && IsPlanned(lStatus)) dtDatum = CQvDateTime(static_cast<int>(lYear), 12, 31, 0, 0, 0);
    const long lDatumYear = dtDatum.IsNull() ? -1 : dtDatum.GetYear();
    // A registration found gone by a step stops the save: nothing more is written.
    const long lGone = kurs::GoneCount();
    CVRQKurs kurs;
    long hr = S_OK;
    if (fTeilnehmer) {
        hr = VRQ_CheckKursDoppelbelegung(lPersonKursID, lPersonID, lKursID, lKursinstanzID, lDatumYear);
        if (SUCCEEDED(hr)) hr = VRQ_CheckKursinstanzDoppelbelegung(lPersonKursID, lPersonID, lKursID, lKursinstanzID);
        if (FAILED(hr)) return KURS_TRACEHR(hr);
    }
    // Every step finds the registration as the editor loaded it, in its run with its status, or
    // leaves it as it is stored.
    const bool bMoved = lKursinstanzID != lKursinstanzIDOld;
    if (bMoved) {
        EPersonKursStatus eNew = ePersonKursStatusAngemeldet;
        if (fTeilnehmer && lKursinstanzID == -1) {
            hr = kurs.RemovePersonFromKursinstanz(lPersonKursID, lPersonID, lKursinstanzIDOld, false, lStatusOld,
                                                  lKursinstanzIDOld);
            // Deregistered instead: the registration keeps its run.
            if (hr == 1) lStatusOld = ePersonKursStatusAbgemeldet;
        } else if (fTeilnehmer) {
            hr = kurs.ChangePersonKursinstanz(lPersonKursID, lPersonID, lKursID, lKursinstanzIDOld, lKursinstanzID,
                                              lDatumYear, eNew, lStatusOld);
        } else {
            hr = kurs.ChangeInstruktorKursinstanz(lPersonKursID, lPersonID, lKursID, lKursinstanzIDOld,
                                                  lKursinstanzID, lDatumYear, lKursleitungID, eNew, lStatusOld);
        }
        if (hr == S_OK) {
            lStatus = lStatusOld = eNew;
        } else {
            lKursinstanzID = lKursinstanzIDOld;
            lStatus = lStatusOld;
            if (FAILED(hr)) {
                lKursinstanzID = -1;
                if (hr != E_ABORT || kurs::GoneCount() != lGone) return KURS_TRACEHR(hr);
                hr = S_OK;
            }
        }
    }
    if (lStatus != lStatusOld) {
        // As loaded: a status another user changed meanwhile is not written over.
        hr = kurs.UpdatePersonKursStatus(fTeilnehmer, lPersonKursID, lPersonID, lKursinstanzID, lStatus, lStatusOld,
                                         bMoved ? CVRQKurs::kRunAsNamed : lKursinstanzIDOld);
        if (FAILED(hr)) {
            lStatus = lStatusOld;
            return KURS_TRACEHR(hr);
        }
    }
    CQvDateTime dtStore;
    if (dtDatum.IsNull() || dtDatum.GetStatus() != COleDateTime::valid) dtStore.SetNull();
    else dtStore = kurs::DayStart(dtDatum);
    // Without a move the data goes to the registration as loaded, with the status now stored; after
    // a move the steps of the move have found it so.
    hr = kurs.UpdatePersonKursData(lPersonKursID, lKursID, dtStore, strBemerkung, strGrundNichtBestanden,
                                   lKursleitungID, lStatus, lAbsenzgrundID, fEntschuldigt, bMoved ? -1 : lStatus,
                                   bMoved ? CVRQKurs::kRunAsNamed : lKursinstanzIDOld, lPersonID);
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    // A deregistration takes no place: its date is that of the deregistration, not a course year.
    if (fTeilnehmer && lDatumYear != lYearOld && lStatus != ePersonKursStatusAbgemeldet) {
        hr = VRQ_UpdateKursreservation(lPersonKursID);
        if (FAILED(hr)) return KURS_TRACEHR(hr);
    }
    if (lKursinstanzID == -1 || lStatus == ePersonKursStatusBesucht || lStatus == ePersonKursStatusTeilweise)
        hr = kurs.UpdatePersonKursInstanzData(lPersonKursID, strInstanzOrt, dblInstanzDauer, strInstanzLeitung,
                                              lPersonID);
    return hr;
}

int VRQ_ShowEditPersonDlg(EAuthorityTyp eTyp, long lKursID, long lPersonKursID) {
    QVF_MANAGE_STATE();
    CKursResourceScope scope;
    CEditPersonDlg dlg(nullptr);
    dlg.lTyp = eTyp;
    dlg.lKursID = lKursID;
    dlg.lPersonKursID = lPersonKursID;
    return static_cast<int>(dlg.DoModal());
}
