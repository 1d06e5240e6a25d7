#include "kursdatendlg.h"

#include "kursint.h"
#include "kurspreconditiondlg.h"
#include "kursresource.h"
#include "nqcommon.h"

#include <clocale>
#include <cstdio>
#include <cwchar>
#include <utility>

namespace {

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_KURSDATEN;
        dlg.cx = 440;
        dlg.cy = 236;
        dlg.style = WS_CHILD | DS_CONTROL | DS_SHELLFONT;
        const UINT s = static_cast<UINT>(IDC_STATIC);
        dlg.items = {
            LText(L"Kurzbezeichnung:", s, 7, 9, 70, 8),
            EditText(IDC_KURSDATEN_KURZ, 80, 7, 90, 12, ES_AUTOHSCROLL | WS_TABSTOP),
            LText(L"Typ:", s, 190, 9, 20, 8),
            LText(L"", IDC_KURSDATEN_TYP, 212, 9, 60, 8),
            AutoCheckBox(L"aktiv", IDC_KURSDATEN_ACTIVE, 290, 8, 50, 10, WS_TABSTOP),
            AutoCheckBox(L"Mehrfachanmeldung", IDC_KURSDATEN_MULTI, 345, 8, 90, 10, WS_TABSTOP),
            LText(L"Bezeichnung:", s, 7, 27, 70, 8),
            EditText(IDC_KURSDATEN_BEZEICHNUNG, 80, 25, 353, 12, ES_AUTOHSCROLL | WS_TABSTOP),
            LText(L"Zielpublikum:", s, 7, 45, 70, 8),
            EditText(IDC_KURSDATEN_ZIELPUBLIKUM, 80, 43, 353, 12, ES_AUTOHSCROLL | WS_TABSTOP),
            LText(L"Kursziel:", s, 7, 63, 70, 8),
            EditText(IDC_KURSDATEN_KURSZIEL, 80, 61, 353, 12, ES_AUTOHSCROLL | WS_TABSTOP),
            LText(L"Tenü:", s, 7, 81, 70, 8),
            EditText(IDC_KURSDATEN_TENU, 80, 79, 160, 12, ES_AUTOHSCROLL | WS_TABSTOP),
            LText(L"Material:", s, 250, 81, 40, 8),
            EditText(IDC_KURSDATEN_MATERIAL, 293, 79, 140, 12, ES_AUTOHSCROLL | WS_TABSTOP),
            LText(L"Überbuchung (%):", s, 7, 99, 70, 8),
            EditText(IDC_KURSDATEN_OVERBOOK, 80, 97, 40, 12, ES_AUTOHSCROLL | WS_TABSTOP),
            PushButton(L"Voraussetzungen...", IDC_KURSDATEN_PRECONDITION, 353, 96, 80, 14, WS_TABSTOP),
            LText(L"Bemerkung:", s, 7, 117, 70, 8),
            EditText(IDC_KURSDATEN_BEMERKUNG, 80, 115, 353, 50,
                     ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP),
            LText(L"interne Bemerkung:", s, 7, 173, 70, 8),
            EditText(IDC_KURSDATEN_INTERN, 80, 171, 353, 50,
                     ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

constexpr DWORD kRightEdit = 0x100;

// The overbooking percentage as the page shows and reads it, independent of the user's locale.
CString PercentText(double dbl) {
    wchar_t buf[32];
    std::swprintf(buf, 32, L"%g", dbl);
    return CString(buf);
}

bool ParsePercent(const CString& strText, double& dbl) {
    CString str = strText;
    str.Trim();
    str.Replace(L',', L'.');
    if (str.IsEmpty()) {
        dbl = 0;
        return true;
    }
    wchar_t* pEnd = nullptr;
    dbl = std::wcstod(static_cast<LPCWSTR>(str), &pEnd);
    return pEnd && *pEnd == L'\0' && dbl >= 0 && dbl <= 100;
}

}  // namespace

IMPLEMENT_DYNCREATE(CKursdatenDlg, CKursChildDlg)

BEGIN_MESSAGE_MAP(CKursdatenDlg, CKursChildDlg)
    ON_CONTROL_RANGE(EN_CHANGE, IDC_KURSDATEN_KURZ, IDC_KURSDATEN_INTERN, &CKursdatenDlg::OnChangedRange)
    ON_CONTROL_RANGE(BN_CLICKED, IDC_KURSDATEN_ACTIVE, IDC_KURSDATEN_MULTI, &CKursdatenDlg::OnChangedRange)
    ON_BN_CLICKED(IDC_KURSDATEN_PRECONDITION, &CKursdatenDlg::OnPrecondition)
END_MESSAGE_MAP()

CKursdatenDlg::CKursdatenDlg::CKursdatenDlgFactory g_kursdatenFactory(CLSID_KursdatenDlg, RUNTIME_CLASS(CKursdatenDlg),
                                                                    FALSE, L"Qovaro.NQ2.Tab.Std.Kurs.Kursdaten");

CKursdatenDlg::CKursdatenDlg() : CKursChildDlg(IDD_KURSDATEN, IDS_KURSDATEN_CAPTION, L"Kursdaten", 0, -1, IDC_KURSDATEN_KURZ) {
    m_guidFunction = CQvGUID(kurs::kSecFunctionKursModul);
    m_guidScope = CQvGUID(GUID_ScopeKurs);
    // The course's own page: showing it reads nothing of the run.
    m_bKursinstanzContext = FALSE;
}

HRESULT CKursdatenDlg::GetClassID(GUID* pClsid) {
    if (!pClsid) return E_POINTER;
    *pClsid = CLSID_KursdatenDlg;
    return S_OK;
}

BOOL CKursdatenDlg::OnInitDialog() {
    CKursResourceScope scope;
    m_bLoading = TRUE;
    CKursChildDlg::OnInitDialog();
    // The fields take no more than the course's columns keep; the remarks have no limit.
    static const std::pair<UINT, int> limits[] = {{IDC_KURSDATEN_KURZ, 254},         {IDC_KURSDATEN_BEZEICHNUNG, 254},
                                                  {IDC_KURSDATEN_ZIELPUBLIKUM, 254}, {IDC_KURSDATEN_KURSZIEL, 1024},
                                                  {IDC_KURSDATEN_TENU, 1024},        {IDC_KURSDATEN_MATERIAL, 1024}};
    for (const auto& [nID, nLimit] : limits)
        if (auto* pEdit = static_cast<CEdit*>(GetDlgItem(static_cast<int>(nID)))) pEdit->LimitText(nLimit);
    m_bLoading = FALSE;
    return TRUE;
}

void CKursdatenDlg::DoDataExchange(CDataExchange* pDX) {
    CKursChildDlg::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_KURSDATEN_KURZ, m_strKurzbezeichnung);
    DDX_Text(pDX, IDC_KURSDATEN_BEZEICHNUNG, m_strBezeichnung);
    DDX_Text(pDX, IDC_KURSDATEN_TYP, m_strTyp);
    DDX_Check(pDX, IDC_KURSDATEN_ACTIVE, m_bActive);
    DDX_Check(pDX, IDC_KURSDATEN_MULTI, m_bMulti);
    DDX_Text(pDX, IDC_KURSDATEN_OVERBOOK, m_strOverbook);
    DDX_Text(pDX, IDC_KURSDATEN_ZIELPUBLIKUM, m_strZielpublikum);
    DDX_Text(pDX, IDC_KURSDATEN_KURSZIEL, m_strKursziel);
    DDX_Text(pDX, IDC_KURSDATEN_TENU, m_strTenu);
    DDX_Text(pDX, IDC_KURSDATEN_MATERIAL, m_strMaterial);
    DDX_Text(pDX, IDC_KURSDATEN_BEMERKUNG, m_strBemerkung);
    DDX_Text(pDX, IDC_KURSDATEN_INTERN, m_strBemerkungIntern);
}

BOOL CKursdatenDlg::IsOwnKurs() const { return lTyp == eAuthorityTypLokal || NQ_IsEnterpriseEdition(); }

HRESULT CKursdatenDlg::Refresh() {
    // Filling the fields is no change of the user's.
    m_bLoading = TRUE;
    const HRESULT hr = CKursChildDlg::Refresh();
    m_bLoading = FALSE;
    return hr;
}

void CKursdatenDlg::GetStoredStateStatements(std::vector<std::pair<CString, long>>& statements) {
    // The course as the page shows and saves it, without its lock and the time of its last change,
    // which every lock renews.
    CString strSQL;
    strSQL.Format(L"SELECT lTyp, fActive, strKurzbezeichnung, strBezeichnung, strBemerkung, dblProzOverbook, "
                  L"strZielpublikum, strKursziel, strTenu, strMaterial, fMultiregistration FROM Kurs WHERE lKursID = %d",
                  GetRecordID());
    statements.emplace_back(strSQL, 11);
}

HRESULT CKursdatenDlg::LoadData() {
    CKursResourceScope scope;
    HRESULT hr = LoadKurs();
    const HRESULT hrRights = CKursChildDlg::LoadData();
    if (SUCCEEDED(hr)) hr = hrRights;
    SecurePage();
    // Without a course (one just deleted) the window reloads the pages but shows nothing of
    // them: the fields are emptied here, so that no deleted course's data stays on the page.
    if (lKursID == 0 && GetSafeHwnd()) {
        const BOOL bLoading = m_bLoading;
        m_bLoading = TRUE;
        UpdateData(FALSE);
        m_bLoading = bLoading;
    }
    return hr;
}

void CKursdatenDlg::ClearFields(BOOL bActive) {
    for (CString* pText : {&m_strKurzbezeichnung, &m_strBezeichnung, &m_strBemerkung, &m_strZielpublikum, &m_strKursziel,
                           &m_strTenu, &m_strMaterial, &m_strBemerkungIntern, &m_strOverbook, &m_strTyp})
        pText->Empty();
    m_bActive = bActive;
    m_bMulti = FALSE;
}

HRESULT CKursdatenDlg::LoadKurs() {
    ClearFields(TRUE);
    HRESULT hr = LoadKursContext();
    // A course that could not be read shows nothing, not even the flags of a new one.
    if (FAILED(hr)) ClearFields(FALSE);
    if (FAILED(hr) || lKursID == 0) return hr;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    CString strSQL;
    strSQL.Format(L"SELECT strKurzbezeichnung, strBezeichnung, strBemerkung, dblProzOverbook, strZielpublikum, "
                  L"strKursziel, strTenu, strMaterial, fMultiregistration, fActive, isnull(b.strBemerkungIntern, '') "
                  L"AS strBemerkungIntern FROM Kurs LEFT OUTER JOIN Kursbemerkung b ON b.lKursID = Kurs.lKursID AND "
                  L"b.lKursinstanzID = -1 WHERE Kurs.lKursID = %d",
                  lKursID);
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    double dblOverbook = 0;
    if (SUCCEEDED(hr) && !bEOF) {
        hr = rs.GetFieldValue(L"strKurzbezeichnung", &m_strKurzbezeichnung);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBezeichnung", &m_strBezeichnung);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBemerkung", &m_strBemerkung);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dblProzOverbook", &dblOverbook);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strZielpublikum", &m_strZielpublikum);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKursziel", &m_strKursziel);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strTenu", &m_strTenu);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strMaterial", &m_strMaterial);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fMultiregistration", &m_bMulti);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fActive", &m_bActive);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBemerkungIntern", &m_strBemerkungIntern);
    }
    rs.Close();
    m_strOverbook = PercentText(dblOverbook);
    switch (lTyp) {
    case eAuthorityTypBund: m_strTyp = kurs::Text(IDS_KURSDATEN_TYP_BUND); break;
    case eAuthorityTypKanton: m_strTyp = kurs::Text(IDS_KURSDATEN_TYP_KANTON); break;
    case eAuthorityTypLokal: m_strTyp = kurs::Text(IDS_KURSDATEN_TYP_LOKAL); break;
    default: break;
    }
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        KURS_REPORTDBERROR(conn, hr);
        ClearFields(FALSE);
    }
    return hr;
}

void CKursdatenDlg::SecurePage() {
    if (!GetSafeHwnd()) return;
    const BOOL bOwn = IsOwnKurs();
    for (UINT nID : {IDC_KURSDATEN_KURZ, IDC_KURSDATEN_BEZEICHNUNG, IDC_KURSDATEN_ACTIVE, IDC_KURSDATEN_MULTI,
                     IDC_KURSDATEN_OVERBOOK, IDC_KURSDATEN_ZIELPUBLIKUM, IDC_KURSDATEN_KURSZIEL, IDC_KURSDATEN_TENU,
                     IDC_KURSDATEN_MATERIAL, IDC_KURSDATEN_BEMERKUNG})
        EnableDlgItemByRights(nID, TRUE, bOwn, kRightEdit);
    // The internal remark is the central installation's.
    EnableDlgItemByRights(IDC_KURSDATEN_INTERN, TRUE, NQ_IsEnterpriseEdition(), kRightEdit);
    GetDlgItem(IDC_KURSDATEN_PRECONDITION)->EnableWindow(lKursID != 0);
}

void CKursdatenDlg::OnChangedRange(UINT) { OnChanged(); }

void CKursdatenDlg::OnChanged() {
    // A course the window still names but the page no longer finds was deleted meanwhile: the
    // edit that is asked for says so.
    if (m_bLoading || GetRecordID() == 0) return;
    const HRESULT hr = BeginEdit();
    // Another user holds the course: the parent has shown the stored data again.
    if (hr != eRecordEditing && !IsSavePending()) Reload();
}

void CKursdatenDlg::OnPrecondition() {
    CKursPreconditionDlg dlg(lKursID, guidKurs, static_cast<EAuthorityTyp>(lTyp), this);
    dlg.DoModal();
}

HRESULT CKursdatenDlg::SaveData() {
    CKursResourceScope scope;
    if (!IsSavePending() || lKursID == 0) return CKursChildDlg::SaveData();
    if (!UpdateData(TRUE)) return E_ABORT;
    m_strKurzbezeichnung.Trim();
    // Blanks at the end make no other name; they are not stored.
    m_strBezeichnung.TrimRight(L' ');
    if (m_strKurzbezeichnung.IsEmpty()) {
        QvReportMsg(1, kurs::Text(IDS_KURSDATEN_ERR_KURZ), L"CKursdatenDlg::SaveData", L"Default", __FILE__, __LINE__, 0);
        GetDlgItem(IDC_KURSDATEN_KURZ)->SetFocus();
        return E_ABORT;
    }
    double dblOverbook = 0;
    if (!ParsePercent(m_strOverbook, dblOverbook)) {
        QvReportMsg(1, kurs::Text(IDS_KURSDATEN_ERR_OVERBOOK), L"CKursdatenDlg::SaveData", L"Default", __FILE__,
                    __LINE__, 0);
        GetDlgItem(IDC_KURSDATEN_OVERBOOK)->SetFocus();
        return E_ABORT;
    }
    wchar_t bufOverbook[32];
    std::swprintf(bufOverbook, 32, L"%.6f", dblOverbook);

    CString strSQL;
    strSQL.Format(L"UPDATE Kurs SET strKurzbezeichnung = '%s', strBezeichnung = '%s', strBemerkung = '%s', "
                  L"dblProzOverbook = %s, strZielpublikum = '%s', strKursziel = '%s', strTenu = '%s', strMaterial = '%s', "
                  L"fMultiregistration = %d, fActive = %d WHERE lKursID = %d",
                  QvSQLString(m_strKurzbezeichnung, 254), QvSQLString(m_strBezeichnung, 254),
                  QvSQLString(m_strBemerkung, 0), bufOverbook, QvSQLString(m_strZielpublikum, 254),
                  QvSQLString(m_strKursziel, 1024), QvSQLString(m_strTenu, 1024), QvSQLString(m_strMaterial, 1024),
                  m_bMulti ? 1 : 0, m_bActive ? 1 : 0, lKursID);

    CQvADOConnection conn;
    HRESULT hr = kurs::OpenConnection(conn);
    if (SUCCEEDED(hr)) {
        kurs::CKursTransaction trans(conn);
        hr = trans.Begin();
        // Nothing is written over what was stored since the page loaded it.
        if (SUCCEEDED(hr)) hr = CheckStoredRecord();
        if (hr == eRecordDeleted || hr == eRecordChangedMeanwhile) {
            trans.End(E_ABORT);
            return hr;
        }
        if (SUCCEEDED(hr)) hr = kurs::Execute(conn, strSQL);
        if (SUCCEEDED(hr) && NQ_IsEnterpriseEdition()) {
            // At most one course-level row: it goes with an empty remark.
            CString strText = m_strBemerkungIntern;
            strText.Trim();
            long lRowID = 0;
            CString strWhere;
            strWhere.Format(L"lKursID = %d AND lKursinstanzID = -1", lKursID);
            const HRESULT hrRow = QvDBLookupLong(L"lKursbemerkungID", L"Kursbemerkung", strWhere, &lRowID, kurs::kProfile);
            if (FAILED(hrRow)) hr = KURS_TRACEHR(hrRow);
            CString strRow;
            if (SUCCEEDED(hr) && strText.IsEmpty()) {
                strRow.Format(L"DELETE FROM Kursbemerkung WHERE lKursID = %d AND lKursinstanzID = -1", lKursID);
            } else if (SUCCEEDED(hr) && hrRow == S_OK) {
                strRow.Format(L"UPDATE Kursbemerkung SET strBemerkungIntern = '%s' WHERE lKursbemerkungID = %d",
                              QvSQLString(m_strBemerkungIntern, 0), lRowID);
            } else if (SUCCEEDED(hr)) {
                hr = kurs::GetUniqueID(conn, L"Kursbemerkung", L"lKursbemerkungID", lRowID);
                strRow.Format(L"INSERT INTO Kursbemerkung (lKursbemerkungID, lKursID, lKursinstanzID, strBemerkungIntern) "
                              L"VALUES (%d, %d, -1, '%s')",
                              lRowID, lKursID, QvSQLString(m_strBemerkungIntern, 0));
            }
            if (SUCCEEDED(hr)) hr = kurs::Execute(conn, strRow);
        }
        hr = trans.End(hr);
    }
    if (FAILED(hr)) {
        KURS_REPORTDBERROR(conn, hr);
        return hr;
    }
    // The course is saved: a log entry that cannot be written does not make the save a failure.
    CString strDetail;
    strDetail.Format(L"Kurzbezeichnung:%s | Bezeichnung:%s | Aktiv:%d | Mehrfachanmeldung:%d | Überbuchung:%s",
                     QvSQLString(m_strKurzbezeichnung, 50), QvSQLString(m_strBezeichnung, 100), m_bActive ? 1 : 0,
                     m_bMulti ? 1 : 0, bufOverbook);
    kurs::WriteUserLog(1, IDS_LOG_KURS_UPDATED, strDetail, L"Ausbildung.Kurs", 0, 39, guidKurs, CQvGUID());
    kurs::FireKursEvent(KURS_EVENT_KURS_CHANGED, lKursID);
    return CKursChildDlg::SaveData();
}
