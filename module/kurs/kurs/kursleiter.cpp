// The course leader: the one registration of a run that leads it, and the run's leader text.
#include "kursint.h"

#include "kursresource.h"

namespace kurs {

long LookupKursLeiter(long lPersonKursID, BOOL& bLeiter) {
    CString strWhere;
    strWhere.Format(L"lPersonKursID=%d", lPersonKursID);
    const long hr = QvDBLookupBool(L"fLeiter", L"PersonKurs", strWhere, &bLeiter, kProfile);
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    return S_OK;
}

long KeepOneKursLeiter(CQvADOConnection& conn, long lPersonKursID, long lKursinstanzID) {
    if (lKursinstanzID == -1) return S_OK;
    CString strSQL;
    strSQL.Format(L"UPDATE PersonKurs SET fLeiter = 0 WHERE lPersonKursID = %d AND fLeiter = 1 AND EXISTS (SELECT 1 "
                  L"FROM PersonKurs pk WHERE pk.lKursinstanzID = %d AND pk.lPersonKursID <> %d AND pk.fLeiter = 1)",
                  lPersonKursID, lKursinstanzID, lPersonKursID);
    return Execute(conn, strSQL);
}

}  // namespace kurs

long VRQ_SaveKursLeiter(long lPersonKursID, long lKursinstanzID, BOOL bLeiter) {
    CKursResourceScope scope;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);

    if (SUCCEEDED(hr)) {
        CString strSQL;
        if (bLeiter) {
            strSQL.Format(L"UPDATE PersonKurs SET fLeiter = 1 WHERE lPersonKursID = %d UPDATE PersonKurs SET fLeiter = "
                          L"0 WHERE fLeiter = 1 AND lPersonKursID <> %d AND lKursinstanzID = %d UPDATE Kursinstanz SET "
                          L"strLeitung = dbo.fn_GetPersonBezeichnung(lPersonID, 'A') FROM Kursinstanz JOIN PersonKurs "
                          L"On Kursinstanz.lKursinstanzID = PersonKurs.lKursinstanzID WHERE PersonKurs.lPersonKursID = "
                          L"%d",
                          lPersonKursID, lPersonKursID, lKursinstanzID, lPersonKursID);
        } else {
            strSQL.Format(L"UPDATE PersonKurs SET fLeiter = 0 WHERE lPersonKursID = %d", lPersonKursID);
        }
        hr = kurs::Execute(conn, strSQL);
    }

    CQvGUID guidKursinstanz;
    CQvGUID guidPerson;
    CString strBezeichnung;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT Kursinstanz.guid AS guidKursinstanz, Person.guid AS guidPerson, "
                      L"dbo.fn_GetPersonBezeichnung(pk.lPersonID, 'A') AS strBezeichnung FROM PersonKurs pk JOIN "
                      L"Kursinstanz ON pk.lKursinstanzID = Kursinstanz.lKursinstanzID JOIN Person ON pk.lPersonID = "
                      L"Person.lPersonID WHERE pk.lPersonKursID = %d",
                      lPersonKursID);
        BOOL bEOF = TRUE;
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && !bEOF) {
            hr = rs.GetFieldValue(L"guidKursinstanz", &guidKursinstanz);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guidPerson", &guidPerson);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBezeichnung", &strBezeichnung);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
        rs.Close();
    }

    if (SUCCEEDED(hr)) {
        hr = kurs::WriteUserLog(1, bLeiter ? IDS_LOG_LEITER_SET : IDS_LOG_LEITER_REMOVED, strBezeichnung,
                                L"Ausbildung.Instanz", bLeiter ? 1 : 0, 42, guidKursinstanz, guidPerson);
    }

    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}
