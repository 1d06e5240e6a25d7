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
    strSQL.Format(L"UPDATE PersonKurs SET fLeiter = 0 WHERE lPersonKursID = %d AND lKursinstanzID = %d AND fLeiter = 1 "
                  L"AND EXISTS (SELECT 1 FROM PersonKurs pk WHERE pk.lKursinstanzID = %d AND pk.lPersonKursID <> %d AND "
                  L"pk.fLeiter = 1)",
                  lPersonKursID, lKursinstanzID, lKursinstanzID, lPersonKursID);
    return Execute(conn, strSQL);
}

}  // namespace kurs

namespace {

// The registration as the caller shows it, in a statement's WHERE (columns of the alias
// lpszAlias, none: of the table written): in the run, with the status and as the person's
// instructor registration shown.
CString ShownLeiterRow(LPCWSTR lpszAlias, long lPersonKursID, long lKursinstanzID, long lShownStatus,
                       long lShownPersonID) {
    const CString p = *lpszAlias ? CString(lpszAlias) + L"." : CString();
    CString strWhere;
    strWhere.Format(L"%slPersonKursID = %d AND %slKursinstanzID = %d", p, lPersonKursID, p, lKursinstanzID);
    if (lShownStatus >= 0) strWhere.AppendFormat(L" AND %slStatus = %d", p, lShownStatus);
    if (lShownPersonID != 0) strWhere.AppendFormat(L" AND %slPersonID = %d AND %sfTeilnehmer = 0", p, lShownPersonID, p);
    return strWhere;
}

}  // namespace

long VRQ_SaveKursLeiter(long lPersonKursID, long lKursinstanzID, BOOL bLeiter, long lShownStatus,
                        long lShownPersonID) {
    CKursResourceScope scope;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);

    // The flags and the leader text change together, and each statement holds the registration as
    // shown: one moved, removed or changed before or while the unit runs changes nothing.
    {
        kurs::CKursTransaction unit(conn);
        if (SUCCEEDED(hr)) hr = unit.Begin();
        long lAffected = 0;
        if (SUCCEEDED(hr)) {
            CString strSQL;
            strSQL.Format(L"UPDATE PersonKurs SET fLeiter = %d WHERE %s", bLeiter ? 1 : 0,
                          ShownLeiterRow(L"", lPersonKursID, lKursinstanzID, lShownStatus, lShownPersonID));
            hr = kurs::Execute(conn, strSQL, &lAffected);
        }
        if (SUCCEEDED(hr) && lAffected == 0) {
            unit.End(E_ABORT);
            return kurs::RegistrationNotAsShown(lPersonKursID);
        }
        if (SUCCEEDED(hr) && bLeiter) {
            CString strSQL;
            strSQL.Format(L"UPDATE PersonKurs SET fLeiter = 0 WHERE fLeiter = 1 AND lPersonKursID <> %d AND "
                          L"lKursinstanzID = %d AND EXISTS (SELECT 1 FROM PersonKurs pk WHERE %s)",
                          lPersonKursID, lKursinstanzID,
                          ShownLeiterRow(L"pk", lPersonKursID, lKursinstanzID, lShownStatus, lShownPersonID));
            hr = kurs::Execute(conn, strSQL);
        }
        if (SUCCEEDED(hr) && bLeiter) {
            CString strSQL;
            strSQL.Format(L"UPDATE Kursinstanz SET strLeitung = dbo.fn_GetPersonBezeichnung(lPersonID, 'A') FROM "
                          L"Kursinstanz JOIN PersonKurs On Kursinstanz.lKursinstanzID = PersonKurs.lKursinstanzID "
                          L"WHERE %s",
                          ShownLeiterRow(L"PersonKurs", lPersonKursID, lKursinstanzID, lShownStatus, lShownPersonID));
            hr = kurs::Execute(conn, strSQL);
        }
        hr = unit.End(hr);
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
