// Course rights rows: per security user the rights on each course and run (SecKurs), so that
// lists and windows filter by a join instead of asking the security server record by record.
#include "kursint.h"

#include "nqcommon.h"
#include "qvsec.h"

#include <vector>

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

// A course (kind 1) or run (kind 2) of a refresh and what the user's row on it becomes: the
// mask, or a revoke (rights 0, the row goes with the final delete).
struct Record {
    long lKind = 0;
    long lID = -1;
    bool bExists = false;  // the user has a row on it already
    bool bRevoke = false;
    DWORD dwMask = 0;
};

bool SameOutcome(const Record& a, const Record& b) {
    return a.lKind == b.lKind && a.bRevoke == b.bRevoke && (a.bRevoke || a.dwMask == b.dwMask);
}

// The table, key column and row-key columns of a kind: a course row is (course, -1), a run row
// (-1, run).
LPCWSTR TableOf(long lKind) { return lKind == 1 ? L"Kurs" : L"Kursinstanz"; }
LPCWSTR KeyOf(long lKind) { return lKind == 1 ? L"lKursID" : L"lKursinstanzID"; }
LPCWSTR OtherKeyOf(long lKind) { return lKind == 1 ? L"lKursinstanzID" : L"lKursID"; }

// The user's row of the record in the FROM of the statement exists.
CString RowExists(long lKind, long lQvSecUserID) {
    CString str;
    str.Format(L"EXISTS (SELECT 1 FROM SecKurs s WHERE s.%s = %s.%s AND s.%s = -1 AND s.lQvSecUserID = %d)",
               KeyOf(lKind), TableOf(lKind), KeyOf(lKind), OtherKeyOf(lKind), lQvSecUserID);
    return str;
}

// The records of the scope in key order, courses first. Without bAll only those the user has no
// row on yet.
long ReadRecords(CQvADORecordset& rs, const CString& strKurs, const CString& strKursinstanz, long lQvSecUserID,
                 bool bAll, std::vector<Record>& records, std::vector<CQvGUID>* pGuids) {
    CString strSelect[2];
    for (long lKind = 1; lKind <= 2; ++lKind) {
        CString& str = strSelect[lKind - 1];
        if (bAll)
            str.Format(L"SELECT %d AS lKind, %s AS lID, guid, CASE WHEN %s THEN 1 ELSE 0 END AS fExists FROM %s "
                       L"WHERE %s",
                       lKind, KeyOf(lKind), RowExists(lKind, lQvSecUserID), TableOf(lKind),
                       lKind == 1 ? strKurs : strKursinstanz);
        else
            str.Format(L"SELECT %d AS lKind, %s AS lID, 0 AS fExists FROM %s WHERE %s AND NOT %s", lKind,
                       KeyOf(lKind), TableOf(lKind), lKind == 1 ? strKurs : strKursinstanz,
                       RowExists(lKind, lQvSecUserID));
    }
    CString strSQL;
    strSQL.Format(L"%s UNION ALL %s ORDER BY lKind, lID", strSelect[0], strSelect[1]);
    BOOL bEOF = TRUE;
    long hr = kurs::OpenRows(rs, strSQL, bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        Record rec;
        long lExists = 0;
        hr = rs.GetFieldValue(L"lKind", &rec.lKind);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lID", &rec.lID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fExists", &lExists);
        if (SUCCEEDED(hr) && pGuids) {
            CQvGUID guid;
            hr = rs.GetFieldValue(L"guid", &guid);
            pGuids->push_back(guid);
        }
        if (FAILED(hr)) {
            KURS_TRACEHR(hr);
            break;
        }
        rec.bExists = lExists != 0;
        records.push_back(rec);
        hr = rs.MoveNext(&bEOF);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    return hr;
}

// What a confirmed row is set to, and what a revoked one.
CString SetClause(const Record& rec) {
    CString str;
    if (rec.bRevoke)
        str = L"lRight = 0";
    else
        str.Format(L"fValid = 1, lRight = %d", kurs::SignedMask(rec.dwMask));
    return str;
}

// Brings the existing rows of records[first..last] (one kind, one outcome, in key order) up to
// date; only rows of records of the scope are touched.
long UpdateRows(CQvADOConnection& conn, const std::vector<Record>& records, size_t first, size_t last,
                const CString& strScope, long lQvSecUserID) {
    const Record& rec = records[first];
    CString strSQL;
    strSQL.Format(L"UPDATE SecKurs SET %s WHERE lQvSecUserID = %d AND %s = -1 AND %s BETWEEN %d AND %d AND %s IN "
                  L"(SELECT %s FROM %s WHERE %s)",
                  SetClause(rec), lQvSecUserID, OtherKeyOf(rec.lKind), KeyOf(rec.lKind), rec.lID, records[last].lID,
                  KeyOf(rec.lKind), KeyOf(rec.lKind), TableOf(rec.lKind), strScope);
    return kurs::Execute(conn, strSQL);
}

// Writes the rows of the records the user has no row on, under keys drawn as one drawing per
// record in key order would draw them (a revoked record takes its key too: its row would be
// deleted at the end). The block is drawn at once and the counter set to its last key.
long InsertRows(CQvADOConnection& conn, const std::vector<Record>& records, long lQvSecUserID) {
    std::vector<size_t> missing;
    for (size_t i = 0; i < records.size(); ++i) {
        if (!records[i].bExists) missing.push_back(i);
    }
    if (missing.empty()) return S_OK;
    long lFirstID = 0;
    long hr = kurs::GetUniqueID(conn, L"SecKurs", L"lSecKursID", lFirstID);
    const long lLastID = lFirstID + static_cast<long>(missing.size()) - 1;
    if (SUCCEEDED(hr) && lLastID > lFirstID) {
        CString strSQL;
        strSQL.Format(L"UPDATE UniqueIDCounter SET lLastID = %d WHERE lower(strTable) = 'seckurs' AND "
                      L"lower(strColumn) = 'lseckursid' AND lLastID < %d",
                      lLastID, lLastID);
        hr = kurs::Execute(conn, strSQL);
    }
    // Records with consecutive keys and the same outcome take consecutive keys: one statement each.
    for (size_t n = 0; SUCCEEDED(hr) && n < missing.size();) {
        size_t end = n + 1;
        while (end < missing.size() && SameOutcome(records[missing[n]], records[missing[end]]) &&
               records[missing[end]].lID == records[missing[end - 1]].lID + 1)
            ++end;
        const Record& rec = records[missing[n]];
        if (!rec.bRevoke) {
            const long lOffset = lFirstID + static_cast<long>(n) - rec.lID;
            CString strKey;
            strKey.Format(lOffset < 0 ? L"%s - %d" : L"%s + %d", KeyOf(rec.lKind), lOffset < 0 ? -lOffset : lOffset);
            CString strSQL;
            strSQL.Format(L"INSERT INTO SecKurs (lSecKursID, %s, %s, lQvSecUserID, lRight, fValid) SELECT %s, %s, -1, "
                          L"%d, %d, 1 FROM %s WHERE %s BETWEEN %d AND %d AND NOT %s",
                          KeyOf(rec.lKind), OtherKeyOf(rec.lKind), strKey, KeyOf(rec.lKind), lQvSecUserID,
                          kurs::SignedMask(rec.dwMask), TableOf(rec.lKind), KeyOf(rec.lKind), rec.lID,
                          records[missing[end - 1]].lID, RowExists(rec.lKind, lQvSecUserID));
            hr = kurs::Execute(conn, strSQL);
        }
        n = end;
    }
    return hr;
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

// The rows of the whole scope are brought up to date set by set in one transaction: the
// courses, then the runs, each in key order, and new rows get the keys one drawing per record
// would give them.
long VRQ_DoUpdateSecKurs(long lQvSecUserID, long lKursID, long lKursinstanzID, CKursDlg* pDlg) {
    CKursResourceScope scope;
    if (kurs::IsKursDlgClosing(pDlg)) return S_OK;
    const BOOL bCentral = NQ_IsEnterpriseEdition();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    // One transaction of its own, unless the caller's is open on the connection.
    const bool bOwnTransaction = SUCCEEDED(hr) && !conn.IsInTransaction();
    if (bOwnTransaction) {
        hr = conn.BeginTrans();
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    auto endTransaction = [&](long hrWork) {
        if (!bOwnTransaction) return hrWork;
        if (SUCCEEDED(hrWork)) {
            const long hrCommit = conn.CommitTrans();
            if (SUCCEEDED(hrCommit)) return hrWork;
            KURS_TRACEHR(hrCommit);
            hrWork = hrCommit;
        }
        conn.RollbackTrans();
        return hrWork;
    };

    const CString strKurs = ScopeCondition(L"lKursID", lKursID);
    const CString strKursinstanz = ScopeCondition(L"lKursinstanzID", lKursinstanzID);

    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"UPDATE SecKurs SET fValid = 0 WHERE %s AND lQvSecUserID = %d UPDATE SecKurs SET fValid = 0 "
                      L"WHERE %s AND lQvSecUserID = %d",
                      strKurs, lQvSecUserID, strKursinstanz, lQvSecUserID);
        hr = kurs::Execute(conn, strSQL);
    }

    std::vector<Record> records;
    bool bClosing = false;
    if (SUCCEEDED(hr) && bCentral) {
        // The rights of each record come from the security server one by one; a closing window
        // ends the refresh before anything of it is kept.
        std::vector<CQvGUID> guids;
        hr = ReadRecords(rs, strKurs, strKursinstanz, lQvSecUserID, true, records, &guids);
        for (size_t i = 0; SUCCEEDED(hr) && i < records.size(); ++i) {
            if (kurs::IsKursDlgClosing(pDlg)) {
                bClosing = true;
                break;
            }
            CQvSec sec;
            hr = sec.LoadRights(CQvGUID(), guids[i].GetGUID(TRUE));
            if (FAILED(hr)) {
                KURS_TRACEHR(hr);
                break;
            }
            records[i].bRevoke = !sec.HasAnyRight(kurs::kRightRead | kurs::kRightKursleiter);
            records[i].dwMask = sec.GetRights();
        }
        // Runs of records with one outcome in key order: one statement each.
        for (size_t i = 0; SUCCEEDED(hr) && !bClosing && i < records.size();) {
            size_t end = i + 1;
            while (end < records.size() && SameOutcome(records[i], records[end])) ++end;
            bool bAnyRow = false;
            for (size_t k = i; k < end; ++k) bAnyRow = bAnyRow || records[k].bExists;
            if (bAnyRow)
                hr = UpdateRows(conn, records, i, end - 1, records[i].lKind == 1 ? strKurs : strKursinstanz,
                                lQvSecUserID);
            i = end;
        }
    } else if (SUCCEEDED(hr)) {
        DWORD dwMask = 0;
        hr = LocalMask(dwMask);
        if (SUCCEEDED(hr)) hr = ReadRecords(rs, strKurs, strKursinstanz, lQvSecUserID, false, records, nullptr);
        for (Record& rec : records) rec.dwMask = dwMask;
        for (long lKind = 1; SUCCEEDED(hr) && lKind <= 2; ++lKind) {
            CString strSQL;
            strSQL.Format(L"UPDATE SecKurs SET fValid = 1, lRight = %d WHERE lQvSecUserID = %d AND %s = -1 AND %s IN "
                          L"(SELECT %s FROM %s WHERE %s)",
                          kurs::SignedMask(dwMask), lQvSecUserID, OtherKeyOf(lKind), KeyOf(lKind), KeyOf(lKind),
                          TableOf(lKind), lKind == 1 ? strKurs : strKursinstanz);
            hr = kurs::Execute(conn, strSQL);
        }
    }
    if (bClosing) {
        endTransaction(E_ABORT);
        return S_OK;
    }
    if (SUCCEEDED(hr)) hr = InsertRows(conn, records, lQvSecUserID);

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
    hr = endTransaction(hr);

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
