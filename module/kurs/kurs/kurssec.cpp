// Course rights rows: per security user the rights on each course and run (SecKurs), so that
// lists and windows filter by a join instead of asking the security server record by record.
#include "kursint.h"

#include "nqcommon.h"
#include "qvsec.h"

namespace {

// The scope condition of a refresh: -1 every record, 0 none, else the one record.
CString ScopeCondition(LPCWSTR lpszColumn, long lID) {
    CString strCondition;
    if (lID == -1)
        strCondition.Format(L"%s <> -1", lpszColumn);
    else if (lID == 0)
        strCondition.Format(L"%s = 0", lpszColumn);
    else
        strCondition.Format(L"%s = %d", lpszColumn, lID);
    return strCondition;
}

// Confirms the user's row of the record with the mask, or inserts it when the record still exists.
CString UpsertStatement(long lKursID, long lKursinstanzID, long lQvSecUserID, DWORD dwMask) {
    CString strSQL;
    strSQL.Format(L"DECLARE @kursid int = %d DECLARE @kursinstanzId int = %d IF EXISTS (SELECT 1 FROM SecKurs WHERE "
                  L"lKursID = @kursid AND lKursInstanzID = @kursinstanzId AND lQvSecUserID = %d) UPDATE SecKurs SET "
                  L"fValid = 1, lRight = %d WHERE lKursID = @kursid AND lKursinstanzID = @kursinstanzId AND "
                  L"lQvSecUserID = %d ELSE BEGIN DECLARE @newID int execute dbo.sp_GetUniqueID 'SecKurs', "
                  L"'lSecKursID', @newID output IF (EXISTS (SELECT 1 FROM Kurs WHERE lKursID = @kursid) OR @kursid = "
                  L"-1) AND (EXISTS (SELECT 1 FROM Kursinstanz WHERE lKursinstanzID = @kursinstanzId) OR "
                  L"@kursinstanzId = -1) INSERT INTO SecKurs (lSecKursID, lKursID, lKursinstanzID, lQvSecUserID, "
                  L"lRight, fValid) VALUES (@newID, @kursid, @kursinstanzId, %d, %d, 1) END",
                  lKursID, lKursinstanzID, lQvSecUserID, kurs::SignedMask(dwMask), lQvSecUserID, lQvSecUserID,
                  kurs::SignedMask(dwMask));
    return strSQL;
}

// Takes the rights away; the row stays invalid and goes with the refresh's final delete.
CString RevokeStatement(long lKursID, long lKursinstanzID, long lQvSecUserID) {
    CString strSQL;
    strSQL.Format(L"DECLARE @kursid int = %d DECLARE @kursinstanzId int = %d IF EXISTS (SELECT 1 FROM SecKurs WHERE "
                  L"lKursID = @kursid AND lKursInstanzID = @kursinstanzId AND lQvSecUserID = %d) UPDATE SecKurs SET "
                  L"lRight = 0 WHERE lKursID = @kursid AND lKursinstanzID = @kursinstanzId AND lQvSecUserID = %d ELSE "
                  L"BEGIN DECLARE @newID int execute dbo.sp_GetUniqueID 'SecKurs', 'lSecKursID', @newID output IF "
                  L"(EXISTS (SELECT 1 FROM Kurs WHERE lKursID = @kursid) OR @kursid = -1) AND (EXISTS (SELECT 1 FROM "
                  L"Kursinstanz WHERE lKursinstanzID = @kursinstanzId) OR @kursinstanzId = -1) INSERT INTO SecKurs "
                  L"(lSecKursID, lKursID, lKursinstanzID, lQvSecUserID, lRight, fValid) VALUES (@newID, @kursid, "
                  L"@kursinstanzId, %d, 0, 0) END",
                  lKursID, lKursinstanzID, lQvSecUserID, lQvSecUserID, lQvSecUserID);
    return strSQL;
}

// The user's rights on the course module without the course-leader right, which a local
// installation does not hand out through the rights rows.
long LocalMask(DWORD& dwMask) {
    CQvSec sec;
    const long hr = sec.LoadRights(CQvGUID(kurs::kSecFunctionKursModul));
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    if (sec.HasAllRights(kurs::kRightKursleiter)) sec &= ~kurs::kRightKursleiter;
    dwMask = sec.GetRights();
    return S_OK;
}

}  // namespace

long VRQ_DoUpdateSecKurs(long lQvSecUserID, long lKursID, long lKursinstanzID, CKursDlg* pDlg) {
    CKursResourceScope scope;
    const BOOL bCentral = NQ_IsEnterpriseEdition();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);

    const CString strKurs = ScopeCondition(L"lKursID", lKursID);
    const CString strKursinstanz = ScopeCondition(L"lKursinstanzID", lKursinstanzID);

    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"UPDATE SecKurs SET fValid = 0 WHERE %s AND lQvSecUserID = %d UPDATE SecKurs SET fValid = 0 "
                      L"WHERE %s AND lQvSecUserID = %d",
                      strKurs, lQvSecUserID, strKursinstanz, lQvSecUserID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT 1 AS lKind, lKursID AS lID, guid FROM Kurs WHERE %s UNION ALL SELECT 2 AS lKind, "
                      L"lKursinstanzID AS lID, guid FROM Kursinstanz WHERE %s",
                      strKurs, strKursinstanz);
        hr = rs.Open(strSQL);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    DWORD dwLocalMask = 0;
    if (SUCCEEDED(hr)) hr = LocalMask(dwLocalMask);

    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) {
        hr = rs.IsEOF(&bEOF);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    bool bClosing = false;
    while (SUCCEEDED(hr) && !bEOF) {
        if (kurs::IsKursDlgClosing(pDlg)) {
            bClosing = true;
            break;
        }
        CQvGUID guid;
        long lID = -1;
        long lKind = 0;
        hr = rs.GetFieldValue(L"guid", &guid);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lID", &lID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKind", &lKind);
        if (FAILED(hr)) {
            KURS_TRACEHR(hr);
            break;
        }
        if (lKind == 1 || lKind == 2) {
            const long lRowKursID = lKind == 1 ? lID : -1;
            const long lRowKursinstanzID = lKind == 2 ? lID : -1;
            CString strSQL;
            if (bCentral) {
                CQvSec sec;
                hr = sec.LoadRights(CQvGUID(), guid.GetGUID(TRUE));
                if (FAILED(hr)) {
                    KURS_TRACEHR(hr);
                    break;
                }
                if (sec.HasAnyRight(kurs::kRightRead | kurs::kRightKursleiter))
                    strSQL = UpsertStatement(lRowKursID, lRowKursinstanzID, lQvSecUserID, sec.GetRights());
                else
                    strSQL = RevokeStatement(lRowKursID, lRowKursinstanzID, lQvSecUserID);
            } else {
                strSQL = UpsertStatement(lRowKursID, lRowKursinstanzID, lQvSecUserID, dwLocalMask);
            }
            hr = conn.Execute(strSQL);
            if (FAILED(hr)) {
                KURS_TRACEHR(hr);
                break;
            }
        }
        hr = rs.MoveNext(&bEOF);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    // A closing window must not wait for the rest; the next refresh confirms what is left invalid.
    if (bClosing) return hr;

    if (SUCCEEDED(hr) && bCentral) {
        // Leaders of a run who hold the course-leader right there get the leader's right on it. The
        // GUID columns are compared as they stand, so the user's contact is found by its index.
        CString strSQL;
        strSQL.Format(L"UPDATE SecKurs SET fValid = 1, lRight = lRight | %lu FROM PersonKurs pk JOIN Person ON "
                      L"pk.lPersonID = Person.lPersonID JOIN SecKurs ON SecKurs.lKursinstanzID = pk.lKursinstanzID "
                      L"AND SecKurs.lKursID = -1 JOIN Contact ON Contact.lPersonID = Person.lPersonID JOIN QvSecUser "
                      L"ON Contact.guid = QvSecUser.strUserID AND SecKurs.lQvSecUserID = "
                      L"QvSecUser.lQvSecUserID WHERE fTeilnehmer = 0 AND fLeiter = 1 AND QvSecUser.lQvSecUserID = %d "
                      L"AND SecKurs.lRight & %lu = %lu",
                      kurs::kRightLeader, lQvSecUserID, kurs::kRightKursleiter, kurs::kRightKursleiter);
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"Delete SecKurs WHERE fValid = 0 AND lQvSecUserID = %d", lQvSecUserID);
        hr = kurs::Execute(conn, strSQL);
    }

    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

long VRQ_SetSecKurs(long lKursID, long lKursinstanzID) {
    CKursResourceScope scope;
    const long lQvSecUserID = kurs::CurrentSecUserID();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);

    CString strInsert;
    if (SUCCEEDED(hr) && NQ_IsEnterpriseEdition()) {
        // The creator leads the new run with his main course-leader role; the user's contact is
        // found by its GUID index.
        long lPersonID = 0;
        long lKursleitungID = 0;
        BOOL bEOF = TRUE;
        CString strSQL;
        strSQL.Format(L"SELECT TOP 1 Person.lPersonID, Kursleitung.lKursleitungID FROM Person JOIN PersonFunktion ON "
                      L"Person.lPersonID = PersonFunktion.lPersonID JOIN Kursleitung ON PersonFunktion.lFunktionID = "
                      L"Kursleitung.lFunktionID JOIN Contact ON Contact.lPersonID = Person.lPersonID JOIN QvSecUser ON "
                      L"Contact.guid = QvSecUser.strUserID WHERE lQvSecUserID = %d AND "
                      L"PersonFunktion.fActive = 1 ORDER BY fHauptFunktion desc",
                      lQvSecUserID);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && !bEOF) {
            hr = rs.GetFieldValue(L"lPersonID", &lPersonID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursleitungID", &lKursleitungID);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
        rs.Close();

        bool bLeader = false;
        if (SUCCEEDED(hr) && !bEOF) {
            long lPersonKursID = 0;
            EPersonKursStatus eStatus = ePersonKursStatusAngemeldet;
            CVRQKurs booking;
            hr = booking.AddInstruktorToKurs(lPersonID, lKursID, lKursinstanzID, 0, lKursleitungID, lPersonKursID,
                                             eStatus);
            if (FAILED(hr)) KURS_TRACEHR(hr);
            if (SUCCEEDED(hr)) {
                hr = VRQ_SaveKursLeiter(lPersonKursID, lKursinstanzID, TRUE);
                if (FAILED(hr)) KURS_TRACEHR(hr);
            }
            bLeader = SUCCEEDED(hr);
        }

        CQvGUID guidKurs;
        CQvGUID guidKursinstanz;
        CString strKursinstanz;
        bEOF = TRUE;
        if (SUCCEEDED(hr)) {
            strSQL.Format(L"SELECT Kurs.guid AS guidKurs, Kursinstanz.guid, cbki.strBezeichnung AS strKursinstanz FROM "
                          L"Kursinstanz JOIN view_CacheBezeichnung cbki ON Kursinstanz.lKursinstanzID = cbki.lID AND "
                          L"cbki.lTableID = 42 JOIN Kurs ON Kursinstanz.lKursID = Kurs.lKursID WHERE lKursinstanzID = "
                          L"%d",
                          lKursinstanzID);
            hr = kurs::OpenRows(rs, strSQL, bEOF);
            if (SUCCEEDED(hr) && !bEOF) {
                hr = rs.GetFieldValue(L"guidKurs", &guidKurs);
                if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guid", &guidKursinstanz);
                if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKursinstanz", &strKursinstanz);
                if (FAILED(hr)) KURS_TRACEHR(hr);
            }
            rs.Close();
        }
        if (SUCCEEDED(hr) && !bEOF) {
            const CQvGUID guidFunction(kurs::kSecFunctionKursinstanz);
            hr = CQvSec::SetRights(guidKursinstanz.GetGUID(TRUE), guidKurs.GetGUID(TRUE), guidFunction,
                                   strKursinstanz, kurs::kRightsNewKursinstanz);
            if (FAILED(hr)) KURS_TRACEHR(hr);
            CQvSec sec;
            if (SUCCEEDED(hr)) {
                hr = sec.LoadRights(guidFunction, guidKurs.GetGUID(TRUE));
                if (FAILED(hr)) KURS_TRACEHR(hr);
            }
            if (SUCCEEDED(hr) && sec.HasAllRights(kurs::kRightRead)) {
                DWORD dwMask = sec.GetRights();
                if (bLeader && sec.HasAllRights(kurs::kRightKursleiter)) dwMask |= kurs::kRightLeader;
                long lSecKursID = 0;
                hr = kurs::GetUniqueID(conn, L"SecKurs", L"lSecKursID", lSecKursID);
                if (SUCCEEDED(hr))
                    strInsert.Format(L"INSERT INTO SecKurs (lSecKursID, lKursID, lKursinstanzID, lQvSecUserID, lRight, "
                                     L"fValid) VALUES (%d, -1, %d, %d, %d, 1)",
                                     lSecKursID, lKursinstanzID, lQvSecUserID, kurs::SignedMask(dwMask));
            }
        }
    } else if (SUCCEEDED(hr)) {
        DWORD dwMask = 0;
        hr = LocalMask(dwMask);
        long lSecKursID = 0;
        if (SUCCEEDED(hr)) hr = kurs::GetUniqueID(conn, L"SecKurs", L"lSecKursID", lSecKursID);
        if (SUCCEEDED(hr))
            strInsert.Format(L"INSERT INTO SecKurs (lSecKursID, lKursID, lKursinstanzID, lQvSecUserID, lRight, fValid) "
                             L"VALUES (%d, -1, %d, %d, %d, 1)",
                             lSecKursID, lKursinstanzID, lQvSecUserID, kurs::SignedMask(dwMask));
    }

    if (SUCCEEDED(hr) && !strInsert.IsEmpty()) hr = kurs::Execute(conn, strInsert);
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}
