#include "editreservationdlg.h"

#include "kursint.h"
#include "kursresource.h"
#include "nqkurscalls.h"

namespace {

constexpr const wchar_t* kSource = L"module\\kurs\\editreservationdlg";
#define RES_TRACEHR(hr) QvAddHRErrorFile(kSource, __LINE__, (hr))

// An UPDATE that found no row to change: the reservation is gone.
constexpr long kNoRow = static_cast<long>(0x80070490);  // HRESULT_FROM_WIN32(ERROR_NOT_FOUND)

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_EDITRESERVATION;
        dlg.caption = L"Reservationen bearbeiten";
        dlg.cx = 230;
        dlg.cy = 146;
        dlg.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION;
        const UINT s = static_cast<UINT>(IDC_STATIC);
        const DWORD label = SS_RIGHT | SS_CENTERIMAGE;
        const DWORD spin = UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS | UDS_NOTHOUSANDS;
        dlg.items = {
            LText(L"Kurs", s, 5, 7, 50, 12, label),
            LText(L"", IDC_EDITRESERVATION_KURS, 60, 7, 165, 12, SS_SUNKEN | SS_CENTERIMAGE),
            LText(L"Jahr", s, 5, 25, 50, 12, label),
            EditText(IDC_EDITRESERVATION_YEAR, 60, 25, 50, 12, ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP),
            Control(L"", IDC_EDITRESERVATION_YEARSPIN, L"msctls_updown32", spin, 110, 25, 10, 12),
            LText(L"Anzahl", s, 5, 43, 50, 12, label),
            EditText(IDC_EDITRESERVATION_ANZAHL, 60, 43, 50, 12, ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP),
            Control(L"", IDC_EDITRESERVATION_ANZAHLSPIN, L"msctls_updown32", spin, 110, 43, 10, 12),
            LText(L"Bemerkung", s, 5, 61, 50, 12, label),
            EditText(IDC_EDITRESERVATION_BEMERKUNG, 60, 61, 165, 56,
                     ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP),
            PushButton(L"", IDC_HELPBUTTON, 5, 125, 18, 16, BS_OWNERDRAW | WS_TABSTOP),
            DefPushButton(L"OK", IDOK, 119, 125, 50, 16, WS_TABSTOP),
            PushButton(L"Abbrechen", IDCANCEL, 175, 125, 50, 16, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

long CurrentYear() { return COleDateTime::GetCurrentTime().GetYear(); }

}  // namespace

BEGIN_MESSAGE_MAP(CEditReservationDlg, CNQPopupDialog)
    ON_EN_KILLFOCUS(IDC_EDITRESERVATION_YEAR, &CEditReservationDlg::OnKillfocusYear)
END_MESSAGE_MAP()

CEditReservationDlg::CEditReservationDlg(long lMandant, CWnd*)
    : CNQPopupDialog(IDD_EDITRESERVATION, nullptr), lYear(CurrentYear()), lYearLoaded(CurrentYear()),
      lMandantID(lMandant) {
    guidKurs.SetNULL();
}

void CEditReservationDlg::DoDataExchange(CDataExchange* pDX) {
    CKursResourceScope scope;
    CNQPopupDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_EDITRESERVATION_ANZAHLSPIN, m_spinAnzahl);
    DDX_Control(pDX, IDC_EDITRESERVATION_YEARSPIN, m_spinYear);
    DDX_Text(pDX, IDC_EDITRESERVATION_BEMERKUNG, strBemerkung);
    DDX_Text(pDX, IDC_EDITRESERVATION_KURS, strKursBez);
    DDX_Text(pDX, IDC_EDITRESERVATION_ANZAHL, lAnzahl);
    DDV_MinMaxLong(pDX, lAnzahl, 0, 99);
    DDX_Text(pDX, IDC_EDITRESERVATION_YEAR, lYear);
    DDV_MinMaxLong(pDX, lYear, 1900, 2200);
}

BOOL CEditReservationDlg::OnInitDialog() {
    CKursResourceScope scope;
    CNQPopupDialog::OnInitDialog();
    m_btnHelp.AttachButton(IDC_HELPBUTTON, this);
    m_btnHelp.SetHelpTopic(L"HELP_KURS_EDITRESERVATION");
    AddToolTipText(IDC_HELPBUTTON, m_btnHelp.GetToolTipText());
    m_spinYear.SetRange(1900, 2200);
    m_spinYear.SetPos(static_cast<short>(lYear));
    m_spinAnzahl.SetRange(0, 99);
    m_spinAnzahl.SetPos(0);
    const HRESULT hr = LoadData();
    UpdateData(FALSE);
    if (FAILED(hr))
        QvReportMsg(hr, CrackHR(hr), L"CEditReservationDlg::OnInitDialog", L"Default", __FILE__, __LINE__, 0);
    return TRUE;
}

HRESULT CEditReservationDlg::LoadData() {
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    HRESULT hr = kurs::OpenConnection(conn);
    strKursBez = NQ_GetKursBezeichnung(lKursID, CString());
    CString strSQL;
    BOOL bEOF = TRUE;
    if (!IsNew()) {
        strSQL.Format(L"SELECT kr.lKursreservationID, kr.lMandantID, kr.lYear, kr.strBemerkung, kr.lAnzahl, "
                      L"\t\t\t\t\t\t\t\tdbo.fn_GetKursBezeichnung(kr.lKursID) AS strKursBez, Kurs.guid AS guidKurs "
                      L"\t\t\t\t\t\tFROM Kursreservation kr JOIN Kurs ON kr.lKursID = Kurs.lKursID \t\t\t\t\t\tWHERE "
                      L"kr.lKursreservationID = %d",
                      lKursreservationID);
        if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && !bEOF) {
            hr = rs.GetFieldValue(L"lKursreservationID", &lKursreservationID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBemerkung", &strBemerkung);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lAnzahl", &lAnzahl);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lMandantID", &lMandantID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lYear", &lYear);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKursBez", &strKursBez);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guidKurs", &guidKurs);
            if (FAILED(hr)) RES_TRACEHR(hr);
        }
        rs.Close();
    } else if (SUCCEEDED(hr)) {
        lKursreservationID = 0;
        strBemerkung.Empty();
        lAnzahl = 1;
        lYear = CurrentYear();
        CString strWhere;
        strWhere.Format(L"lKursID = %d", lKursID);
        hr = QvDBLookupGUID(L"guid", L"Kurs", strWhere, &guidKurs, kurs::kProfile);
        if (FAILED(hr)) RES_TRACEHR(hr);
        // The first year from now on that the Mandant has not reserved yet.
        strSQL.Format(L"SELECT lYear \t\t\t\t\t\tFROM Kursreservation \t\t\t\t\t\tWHERE lKursID = %d AND lMandantID = %d "
                      L"AND lYear >= year(getdate()) \t\t\t\t\t\tORDER BY lYear",
                      lKursID, lMandantID);
        if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
        while (SUCCEEDED(hr) && !bEOF) {
            long lRowYear = 0;
            hr = rs.GetFieldValue(L"lYear", &lRowYear);
            if (FAILED(hr) || lRowYear != lYear) break;
            ++lYear;
            hr = rs.MoveNext(&bEOF);
        }
        rs.Close();
        if (FAILED(hr)) RES_TRACEHR(hr);
    }
    lYearLoaded = lYear;
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    if (GetSafeHwnd()) UpdateData(FALSE);
    return hr;
}

HRESULT CEditReservationDlg::CheckYearTaken(BOOL& bTaken) {
    bTaken = FALSE;
    if (lYear == lYearLoaded && !IsNew()) return S_FALSE;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    HRESULT hr = kurs::OpenConnection(conn);
    CString strSQL;
    strSQL.Format(L"SELECT 1 \t\t\t\t\tFROM Kursreservation \t\t\t\t\tWHERE lYear = %d AND lMandantID = %d AND lKursID = %d",
                  lYear, lMandantID, lKursID);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    rs.Close();
    if (FAILED(hr)) {
        RES_TRACEHR(hr);
        KURS_REPORTDBERROR(conn, hr);
        return hr;
    }
    bTaken = !bEOF;
    return bTaken ? S_OK : S_FALSE;
}

void CEditReservationDlg::RefuseYear() {
    CString strText;
    strText.Format(KursLoadString(IDS_RESERVATION_DUPLICATE), lYear);
    AfxMessageBox(strText, MB_ICONINFORMATION | MB_OK);
    lYear = lYearLoaded;
    UpdateData(FALSE);
}

void CEditReservationDlg::OnKillfocusYear() {
    CKursResourceScope scope;
    if (!UpdateData(TRUE)) return;
    if (lYear == lYearLoaded) return;
    BOOL bTaken = FALSE;
    if (SUCCEEDED(CheckYearTaken(bTaken)) && bTaken) RefuseYear();
}

void CEditReservationDlg::OnOK() {
    CKursResourceScope scope;
    if (!UpdateData(TRUE)) return;
    // Enter in a changed year field reaches this without the field's own check.
    BOOL bTaken = FALSE;
    if (IsNew() && lAnzahl <= 0) bTaken = FALSE;
    else if (FAILED(CheckYearTaken(bTaken))) return;
    if (bTaken) {
        RefuseYear();
        return;
    }
    const HRESULT hr = SaveData();
    if (FAILED(hr)) {
        QvReportMsg(hr, CrackHR(hr), L"CEditReservationDlg::OnOK", L"Default", __FILE__, __LINE__, 0);
        return;
    }
    CNQPopupDialog::OnOK();
}

HRESULT CEditReservationDlg::SaveData() {
    BeginWaitCursor();
    CQvADOConnection conn;
    HRESULT hr = kurs::OpenConnection(conn);
    CString strSQL;
    UINT nLogText = 0;
    if (IsNew()) {
        if (SUCCEEDED(hr) && lAnzahl > 0) {
            long lNewID = 0;
            hr = kurs::GetUniqueID(conn, L"Kursreservation", L"lKursreservationID", lNewID);
            strSQL.Format(L"INSERT INTO Kursreservation (lKursreservationID, lMandantID, lYear, lKursID, strBemerkung, "
                          L"lAnzahl) \t\t\t\t\t\t\t\t\t\t    VALUES(%d,                 %d,         %d,    %d,      "
                          L"'%s',         %d)",
                          lNewID, lMandantID, lYear, lKursID, QvSQLString(strBemerkung, 0), lAnzahl);
            if (SUCCEEDED(hr)) hr = kurs::Execute(conn, strSQL);
            // The reservation is the dialog's once its row is there: a later OK updates it.
            if (SUCCEEDED(hr)) {
                lKursreservationID = lNewID;
                nLogText = IDS_LOG_RESERVATION_ADDED;
            }
        }
    } else if (SUCCEEDED(hr)) {
        long lFound = 0;
        CString strWhere;
        strWhere.Format(L"lKursreservationID = %d", lKursreservationID);
        hr = QvDBLookupLong(L"count(*)", L"Kursreservation", strWhere, &lFound, kurs::kProfile);
        if (SUCCEEDED(hr) && lFound == 0) hr = RES_TRACEHR(kNoRow);
        strSQL.Format(L"UPDATE Kursreservation \t\t\t\t\tSET strBemerkung = '%s', lAnzahl = %d, lYear = %d "
                      L"\t\t\t\t\tWHERE lKursreservationID = %d",
                      QvSQLString(strBemerkung, 0), lAnzahl, lYear, lKursreservationID);
        if (SUCCEEDED(hr)) hr = kurs::Execute(conn, strSQL);
        if (SUCCEEDED(hr)) nLogText = IDS_LOG_RESERVATION_UPDATED;
    }
    if (SUCCEEDED(hr) && nLogText != 0) {
        CString strDetail;
        strDetail.Format(L"Jahr:%d | Anzahl:%d | Bemerkung:%s", lYear, lAnzahl, QvSQLString(strBemerkung, 500));
        hr = kurs::WriteUserLog(1, nLogText, strDetail, L"Ausbildung.Kurs", 0, 39, guidKurs, CQvGUID());
    }
    if (SUCCEEDED(hr)) lYearLoaded = lYear;
    if (FAILED(hr)) {
        RES_TRACEHR(hr);
        KURS_REPORTDBERROR(conn, hr);
    }
    EndWaitCursor();
    return hr;
}
