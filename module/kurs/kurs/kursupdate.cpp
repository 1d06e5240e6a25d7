// Writing the editable data of a registration and the run data stored on it.
#include "kursint.h"

#include "kursresource.h"

namespace kurs {

long ReadChangedRegistration(CQvADORecordset& rs, const CString& strSQL, bool bWithRun, ChangedRegistration& reg) {
    BOOL bEOF = TRUE;
    long hr = OpenRows(rs, strSQL, bEOF);
    if (SUCCEEDED(hr) && !bEOF) {
        long lKursinstanzID = -1;
        if (bWithRun) hr = rs.GetFieldValue(L"lKursinstanzID", &lKursinstanzID);
        if (SUCCEEDED(hr)) {
            reg.lTableID = lKursinstanzID == -1 ? 39 : 42;
            hr = rs.GetFieldValue(lKursinstanzID == -1 ? L"guidKurs" : L"guidKursinstanz", &reg.guidObject);
        }
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guidPerson", &reg.guidPerson);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPerson", &reg.strPerson);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strData", &reg.strData);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStatus", &reg.lStatus);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fTeilnehmer", &reg.bTeilnehmer);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    return hr;
}

long LogRegistrationChanged(const ChangedRegistration& reg) {
    CString strDetail;
    strDetail.Format(reg.bTeilnehmer ? L"Teilnehmer:%s | %s" : L"Instruktor:%s | %s", reg.strPerson, reg.strData);
    return WriteUserLog(1, IDS_LOG_PERSONKURS_UPDATED, strDetail, PersonModul(reg.bTeilnehmer), reg.lStatus,
                        reg.lTableID, reg.guidObject, reg.guidPerson);
}

}  // namespace kurs

long CVRQKurs::UpdatePersonKursData(long lPersonKursID, long lKursID, CQvDateTime dtDatum, CString strBemerkung,
                                    CString strGrundNichtBestanden, long lKursleitungID, EPersonKursStatus /*eStatus*/,
                                    long lAbsenzgrundID, BOOL fEntschuldigt, long lShownStatus,
                                    long lShownKursinstanzID, long lShownPersonID) {
    CKursResourceScope scope;
    const long lReports = kurs::ReportCount();
    const long lGone = kurs::GoneCount();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    // The data, its date and the log entry are one unit: stored together or not at all. Inside a
    // caller's transaction they stay part of that one.
    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();

    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"UPDATE PersonKurs SET lKursID = %d, lAbsenzgrundID = %d, fEntschuldigt = %d, strBemerkung = "
                      L"'%s', strGrundNichtBestanden = '%s', lKursleitungID = %d, changedBy = dbo.fn_GetSystemID() "
                      L"WHERE %s",
                      lKursID, lAbsenzgrundID, fEntschuldigt, QvSQLString(strBemerkung, 0),
                      QvSQLString(strGrundNichtBestanden, 4000), lKursleitungID,
                      static_cast<LPCWSTR>(kurs::ShownCondition(
                          kurs::Shown(lPersonKursID, lShownKursinstanzID, lShownStatus, lShownPersonID))));
        long lAffected = 0;
        hr = kurs::Execute(conn, strSQL, &lAffected);
        // A registration removed, handed over or changed meanwhile has no data to change and no entry
        // to log.
        if (SUCCEEDED(hr) && lAffected == 0) hr = kurs::RegistrationNotAsShown(lPersonKursID);
    }
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"UPDATE PersonKurs SET dtDatum = %s WHERE lPersonKursID = %d", dtDatum.SQLConvert(),
                      lPersonKursID);
        hr = kurs::Execute(conn, strSQL);
    }

    kurs::ChangedRegistration reg;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT Kurs.guid AS guidKurs, isnull(Kursinstanz.guid, "
                      L"'00000000-0000-0000-0000-000000000000') AS guidKursinstanz, Person.guid AS guidPerson, "
                      L"pk.lStatus, pk.fTeilnehmer, pk.lKursinstanzID, dbo.fn_GetPersonBezeichnung(Person.lPersonID, "
                      L"'A') AS strPerson, 'Absenz:' + convert(varchar,pk.lAbsenzgrundID) + ' | entschuldigt:' + "
                      L"convert(varchar,pk.fEntschuldigt) + ' | Bemerkung:' + convert(varchar(100),pk.strBemerkung) + "
                      L"' | Grund:' + pk.strGrundNichtBestanden + ' | Leitung:' + convert(varchar,pk.lKursleitungID) AS "
                      L"strData FROM PersonKurs pk JOIN Kurs ON pk.lKursID = Kurs.lKursID LEFT OUTER JOIN Kursinstanz "
                      L"ON pk.lKursinstanzID = Kursinstanz.lKursinstanzID JOIN Person ON pk.lPersonID = "
                      L"Person.lPersonID WHERE pk.lPersonKursID = %d",
                      lPersonKursID);
        hr = kurs::ReadChangedRegistration(rs, strSQL, true, reg);
    }
    if (SUCCEEDED(hr)) hr = kurs::LogRegistrationChanged(reg);

    hr = trans.End(hr);
    if (FAILED(hr) && kurs::ReportCount() == lReports && kurs::GoneCount() == lGone) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

long CVRQKurs::UpdatePersonKursInstanzData(long lPersonKursID, CString strInstanzOrt, double dblInstanzDauer,
                                           CString strInstanzLeitung, long lShownPersonID) {
    CKursResourceScope scope;
    const long lReports = kurs::ReportCount();
    const long lGone = kurs::GoneCount();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    // The run data and its log entry are one unit.
    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();

    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"UPDATE PersonKurs SET strInstanzOrt = '%s', dblInstanzDauer = %s, strInstanzleitung = '%s' "
                      L"WHERE %s",
                      QvSQLString(strInstanzOrt, 254), DoubleToSqlText(dblInstanzDauer),
                      QvSQLString(strInstanzLeitung, 254),
                      static_cast<LPCWSTR>(kurs::ShownCondition(
                          kurs::Shown(lPersonKursID, kRunAsNamed, -1, lShownPersonID))));
        long lAffected = 0;
        hr = kurs::Execute(conn, strSQL, &lAffected);
        if (SUCCEEDED(hr) && lAffected == 0) hr = kurs::RegistrationNotAsShown(lPersonKursID);
    }

    kurs::ChangedRegistration reg;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT Kurs.guid AS guidKurs, Person.guid AS guidPerson, pk.lStatus, pk.fTeilnehmer, "
                      L"dbo.fn_GetPersonBezeichnung(pk.lPersonID, 'A') AS strPerson, 'Ort:' + pk.strInstanzOrt + ' | "
                      L"Dauer:' + convert(varchar,pk.dblInstanzDauer) + ' | Leitung:' + pk.strInstanzleitung AS strData "
                      L"FROM PersonKurs pk JOIN Kurs ON pk.lKursID = Kurs.lKursID JOIN Person ON pk.lPersonID = "
                      L"Person.lPersonID WHERE pk.lPersonKursID = %d",
                      lPersonKursID);
        hr = kurs::ReadChangedRegistration(rs, strSQL, false, reg);
    }
    if (SUCCEEDED(hr)) {
        // The run data is logged under the course.
        CString strDetail;
        strDetail.Format(reg.bTeilnehmer ? L"Teilnehmer: %s | %s" : L"Instruktor: %s | %s", reg.strPerson,
                         reg.strData);
        hr = kurs::WriteUserLog(1, IDS_LOG_PERSONKURS_UPDATED, strDetail, kurs::PersonModul(reg.bTeilnehmer),
                                reg.lStatus, 39, reg.guidObject, reg.guidPerson);
    }

    hr = trans.End(hr);
    if (FAILED(hr) && kurs::ReportCount() == lReports && kurs::GoneCount() == lGone) KURS_REPORTDBERROR(conn, hr);
    return hr;
}
