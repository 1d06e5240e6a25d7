// The course leader: the one registration of a run that leads it, and the run's leader text.
#include "kursint.h"

#include "kursresource.h"

#include <vector>

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

// The registration as the caller shows it, in a statement's WHERE: in the run, with the status, as
// the person's instructor registration and leading the run or not, as shown.
CString ShownLeiterRow(long lPersonKursID, long lKursinstanzID, long lShownStatus, long lShownPersonID,
                       long lShownLeiter) {
    kurs::ShownRegistration shown = kurs::Shown(lPersonKursID, lKursinstanzID, lShownStatus, lShownPersonID);
    if (lShownPersonID != 0) shown.lTeilnehmer = 0;
    shown.lLeiter = lShownLeiter;
    return kurs::ShownCondition(shown);
}

// The log entry of one leader change, for the person whose registration it concerns, under the run
// the registration is in.
long LogLeiter(CQvADOConnection& conn, long lPersonKursID, BOOL bLeiter) {
    CQvADORecordset rs(&conn);
    CQvGUID guidKursinstanz;
    CQvGUID guidPerson;
    CString strBezeichnung;
    CString strSQL;
    strSQL.Format(L"SELECT Kursinstanz.guid AS guidKursinstanz, Person.guid AS guidPerson, "
                  L"dbo.fn_GetPersonBezeichnung(pk.lPersonID, 'A') AS strBezeichnung FROM PersonKurs pk JOIN "
                  L"Kursinstanz ON pk.lKursinstanzID = Kursinstanz.lKursinstanzID JOIN Person ON pk.lPersonID = "
                  L"Person.lPersonID WHERE pk.lPersonKursID = %d",
                  lPersonKursID);
    BOOL bEOF = TRUE;
    long hr = kurs::OpenRows(rs, strSQL, bEOF);
    if (SUCCEEDED(hr) && !bEOF) {
        hr = rs.GetFieldValue(L"guidKursinstanz", &guidKursinstanz);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guidPerson", &guidPerson);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBezeichnung", &strBezeichnung);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    if (SUCCEEDED(hr)) {
        hr = kurs::WriteUserLog(1, bLeiter ? IDS_LOG_LEITER_SET : IDS_LOG_LEITER_REMOVED, strBezeichnung,
                                L"Ausbildung.Instanz", bLeiter ? 1 : 0, 42, guidKursinstanz, guidPerson);
    }
    return hr;
}

// The other leaders of the run, read inside the unit that changes them.
long ReadOtherLeiter(CQvADOConnection& conn, long lPersonKursID, long lKursinstanzID, std::vector<long>& others) {
    CQvADORecordset rs(&conn);
    CString strSQL;
    strSQL.Format(L"SELECT lPersonKursID FROM PersonKurs WHERE fLeiter = 1 AND lPersonKursID <> %d AND "
                  L"lKursinstanzID = %d",
                  lPersonKursID, lKursinstanzID);
    BOOL bEOF = TRUE;
    long hr = kurs::OpenRows(rs, strSQL, bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        long lOther = 0;
        hr = rs.GetFieldValue(L"lPersonKursID", &lOther);
        if (SUCCEEDED(hr)) others.push_back(lOther);
        if (SUCCEEDED(hr)) hr = rs.MoveNext(&bEOF);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    return hr;
}

}  // namespace

long VRQ_SaveKursLeiter(long lPersonKursID, long lKursinstanzID, BOOL bLeiter, long lShownStatus,
                        long lShownPersonID, long lShownLeiter) {
    CKursResourceScope scope;
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);

    // The flags, the leader text and an entry for each person whose role changes are one unit, and
    // the registration is written only as shown: one moved, removed or changed before or while the
    // unit runs changes nothing.
    kurs::CKursTransaction unit(conn);
    if (SUCCEEDED(hr)) hr = unit.Begin();
    long lAffected = 0;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"UPDATE PersonKurs SET fLeiter = %d WHERE %s", bLeiter ? 1 : 0,
                      ShownLeiterRow(lPersonKursID, lKursinstanzID, lShownStatus, lShownPersonID, lShownLeiter));
        hr = kurs::Execute(conn, strSQL, &lAffected);
    }
    if (SUCCEEDED(hr) && lAffected == 0) {
        unit.End(E_ABORT);
        return kurs::RegistrationNotAsShown(lPersonKursID);
    }
    if (SUCCEEDED(hr) && bLeiter) {
        // Written before the other leaders are looked at: the run's row is held, so that two users
        // setting a leader in the same run take turns and the second sees the first one's leader.
        CString strSQL;
        strSQL.Format(L"UPDATE Kursinstanz SET strLeitung = dbo.fn_GetPersonBezeichnung(lPersonID, 'A') FROM "
                      L"Kursinstanz JOIN PersonKurs On Kursinstanz.lKursinstanzID = PersonKurs.lKursinstanzID "
                      L"WHERE PersonKurs.lPersonKursID = %d AND PersonKurs.lKursinstanzID = %d",
                      lPersonKursID, lKursinstanzID);
        hr = kurs::Execute(conn, strSQL);
    }
    std::vector<long> others;
    if (SUCCEEDED(hr) && bLeiter) hr = ReadOtherLeiter(conn, lPersonKursID, lKursinstanzID, others);
    if (SUCCEEDED(hr) && !others.empty() && lShownLeiter >= 0) {
        // A caller that shows the leader takes the role from the leaders it showed before it sets the
        // new one: a leader still there is one it did not show, set meanwhile by another user.
        unit.End(E_ABORT);
        return kurs::RegistrationChanged();
    }
    for (long lOther : others) {
        if (FAILED(hr)) break;
        CString strSQL;
        strSQL.Format(L"UPDATE PersonKurs SET fLeiter = 0 WHERE lPersonKursID = %d AND fLeiter = 1", lOther);
        hr = kurs::Execute(conn, strSQL);
        if (SUCCEEDED(hr)) hr = LogLeiter(conn, lOther, FALSE);
    }
    if (SUCCEEDED(hr)) hr = LogLeiter(conn, lPersonKursID, bLeiter);
    hr = unit.End(hr);

    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}
