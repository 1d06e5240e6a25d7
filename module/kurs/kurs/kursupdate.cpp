// Writing the editable data of a registration and the run data stored on it.
#include "kursint.h"

#include "kursresource.h"

long CVRQKurs::UpdatePersonKursData(long lPersonKursID, long lKursID, CQvDateTime dtDatum, CString strBemerkung,
                                    CString strGrundNichtBestanden, long lKursleitungID, EPersonKursStatus /*eStatus*/,
                                    long lAbsenzgrundID, BOOL fEntschuldigt) {
    CKursResourceScope scope;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = conn.Open(kurs::kProfile, 0);
    if (FAILED(hr)) KURS_TRACEHR(hr);

    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"UPDATE PersonKurs SET lKursID = %d, lAbsenzgrundID = %d, fEntschuldigt = %d, strBemerkung = "
                      L"'%s', strGrundNichtBestanden = '%s', lKursleitungID = %d, changedBy = dbo.fn_GetSystemID() "
                      L"WHERE lPersonKursID = %d",
                      lKursID, lAbsenzgrundID, fEntschuldigt, QvSQLString(strBemerkung, 0),
                      QvSQLString(strGrundNichtBestanden, 4000), lKursleitungID, lPersonKursID);
        hr = conn.Execute(strSQL);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"UPDATE PersonKurs SET dtDatum = %s WHERE lPersonKursID = %d", dtDatum.SQLConvert(),
                      lPersonKursID);
        hr = conn.Execute(strSQL);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }

    long lTableID = 0;
    CQvGUID guidObject;
    CQvGUID guidPerson;
    CString strPerson;
    CString strData;
    long lStatus = 0;
    BOOL bTeilnehmer = TRUE;
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
        hr = rs.Open(strSQL);
        if (FAILED(hr)) KURS_TRACEHR(hr);
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) {
            hr = rs.IsEOF(&bEOF);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
        if (SUCCEEDED(hr) && !bEOF) {
            long lKursinstanzID = -1;
            hr = rs.GetFieldValue(L"lKursinstanzID", &lKursinstanzID);
            if (SUCCEEDED(hr)) {
                lTableID = lKursinstanzID == -1 ? 39 : 42;
                hr = rs.GetFieldValue(lKursinstanzID == -1 ? L"guidKurs" : L"guidKursinstanz", &guidObject);
            }
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guidPerson", &guidPerson);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPerson", &strPerson);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strData", &strData);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStatus", &lStatus);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fTeilnehmer", &bTeilnehmer);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
        rs.Close();
    }
    if (SUCCEEDED(hr)) {
        CString strDetail;
        strDetail.Format(bTeilnehmer ? L"Teilnehmer:%s | %s" : L"Instruktor:%s | %s", strPerson, strData);
        hr = kurs::WriteUserLog(1, IDS_LOG_PERSONKURS_UPDATED, strDetail,
                                CString(L"Ausbildung") + (bTeilnehmer ? L".Person" : L".Person.Instruktor"), lStatus,
                                lTableID, guidObject, guidPerson);
    }

    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

long CVRQKurs::UpdatePersonKursInstanzData(long lPersonKursID, CString strInstanzOrt, double dblInstanzDauer,
                                           CString strInstanzLeitung) {
    CKursResourceScope scope;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = conn.Open(kurs::kProfile, 0);
    if (FAILED(hr)) KURS_TRACEHR(hr);

    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"UPDATE PersonKurs SET strInstanzOrt = '%s', dblInstanzDauer = %s, strInstanzleitung = '%s' "
                      L"WHERE lPersonKursID = %d",
                      QvSQLString(strInstanzOrt, 254), DoubleToSqlText(dblInstanzDauer),
                      QvSQLString(strInstanzLeitung, 254), lPersonKursID);
        hr = conn.Execute(strSQL);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }

    CQvGUID guidKurs;
    CQvGUID guidPerson;
    CString strPerson;
    CString strData;
    long lStatus = 0;
    BOOL bTeilnehmer = TRUE;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT Kurs.guid AS guidKurs, Person.guid AS guidPerson, pk.lStatus, pk.fTeilnehmer, "
                      L"dbo.fn_GetPersonBezeichnung(pk.lPersonID, 'A') AS strPerson, 'Ort:' + pk.strInstanzOrt + ' | "
                      L"Dauer:' + convert(varchar,pk.dblInstanzDauer) + ' | Leitung:' + pk.strInstanzleitung AS strData "
                      L"FROM PersonKurs pk JOIN Kurs ON pk.lKursID = Kurs.lKursID JOIN Person ON pk.lPersonID = "
                      L"Person.lPersonID WHERE pk.lPersonKursID = %d",
                      lPersonKursID);
        hr = rs.Open(strSQL);
        if (FAILED(hr)) KURS_TRACEHR(hr);
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) {
            hr = rs.IsEOF(&bEOF);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
        if (SUCCEEDED(hr) && !bEOF) {
            hr = rs.GetFieldValue(L"guidKurs", &guidKurs);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guidPerson", &guidPerson);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPerson", &strPerson);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strData", &strData);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStatus", &lStatus);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fTeilnehmer", &bTeilnehmer);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
        rs.Close();
    }
    if (SUCCEEDED(hr)) {
        CString strDetail;
        strDetail.Format(bTeilnehmer ? L"Teilnehmer: %s | %s" : L"Instruktor: %s | %s", strPerson, strData);
        hr = kurs::WriteUserLog(1, IDS_LOG_PERSONKURS_UPDATED, strDetail,
                                CString(L"Ausbildung") + (bTeilnehmer ? L".Person" : L".Person.Instruktor"), lStatus,
                                39, guidKurs, guidPerson);
    }

    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}
