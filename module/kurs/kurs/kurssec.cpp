// Course rights rows: per security user the rights on each course and run (SecKurs), so that
// lists and windows filter by a join instead of asking the security server record by record.
#include "kursint.h"
#include "lockdbrecord.h"
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

// A statement that brings rows up to date and touches only rows whose values change: its verb
// ("UPDATE SecKurs SET ..."), the FROM of an update over a join (empty for SecKurs alone) and
// the condition. Whether it would change any row is asked first with a plain SELECT, so a
// refresh that finds nothing to change writes nothing and needs no write lock.
struct Write {
    CString strVerb;
    CString strFrom;
    CString strWhere;
};

// The rows are counted rather than the first one asked for: the planner then joins the sets
// instead of looking up row by row for a first row that, most often, is not there.
long WouldChange(CQvADORecordset& rs, const Write& write, bool& bChange) {
    CString strSQL;
    strSQL.Format(L"SELECT count(*) AS lCount %s WHERE %s", write.strFrom.IsEmpty() ? L"FROM SecKurs" : write.strFrom,
                  write.strWhere);
    BOOL bEOF = TRUE;
    long lCount = 0;
    long hr = kurs::OpenRows(rs, strSQL, bEOF);
    if (SUCCEEDED(hr) && !bEOF) {
        hr = rs.GetFieldValue(L"lCount", &lCount);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    bChange = SUCCEEDED(hr) && lCount > 0;
    return hr;
}

long Run(CQvADOConnection& conn, const Write& write) {
    CString strSQL;
    strSQL.Format(L"%s %s WHERE %s", write.strVerb, write.strFrom, write.strWhere);
    return kurs::Execute(conn, strSQL);
}

// The user's person leads the run of the SecKurs row in the statement (as an instructor marked
// leader). The GUID columns are compared as they stand, so the user's contact is found by its
// index.
CString LeadsRun(long lQvSecUserID) {
    CString str;
    str.Format(L"EXISTS (SELECT 1 FROM PersonKurs pk JOIN Person ON pk.lPersonID = Person.lPersonID JOIN Contact ON "
               L"Contact.lPersonID = Person.lPersonID JOIN QvSecUser ON Contact.guid = QvSecUser.strUserID WHERE "
               L"pk.lKursinstanzID = SecKurs.lKursinstanzID AND pk.fTeilnehmer = 0 AND pk.fLeiter = 1 AND "
               L"QvSecUser.lQvSecUserID = %d)",
               lQvSecUserID);
    return str;
}

// The rows of the scope that no record of it confirms become invalid and go with the final
// delete: rows of neither kind (both keys set), and rows whose record is gone.
Write InvalidateOdd(long lKind, const CString& strScope, long lQvSecUserID) {
    Write write;
    write.strVerb = L"UPDATE SecKurs SET fValid = 0";
    write.strWhere.Format(L"%s AND lQvSecUserID = %d AND fValid <> 0 AND %s <> -1", strScope, lQvSecUserID,
                          OtherKeyOf(lKind));
    return write;
}

Write InvalidateGone(long lKind, const CString& strScope, long lQvSecUserID) {
    Write write;
    write.strVerb = L"UPDATE SecKurs SET fValid = 0";
    write.strWhere.Format(L"%s AND lQvSecUserID = %d AND fValid <> 0 AND %s = -1 AND NOT EXISTS (SELECT 1 FROM %s r "
                          L"WHERE r.%s = SecKurs.%s)",
                          strScope, lQvSecUserID, OtherKeyOf(lKind), TableOf(lKind), KeyOf(lKind), KeyOf(lKind));
    return write;
}

// Brings the existing rows of records[first..last] (one kind, one outcome, in key order) up to
// date; only rows of records of the scope are touched, and only those that are not already
// what the refresh leaves. A revoked row loses its rights and goes with the final delete; a
// confirmed run row keeps the leader's right that the leader step would give it again.
Write UpdateRows(const std::vector<Record>& records, size_t first, size_t last, const CString& strScope,
                 long lQvSecUserID, bool bCentral) {
    const Record& rec = records[first];
    const LONG lMask = kurs::SignedMask(rec.dwMask);
    CString strSame;
    if (rec.bRevoke) {
        strSame = L"fValid = 0 AND lRight = 0";
    } else if (bCentral && rec.lKind == 2 && (rec.dwMask & kurs::kRightKursleiter) != 0 &&
               (rec.dwMask | kurs::kRightLeader) != rec.dwMask) {
        strSame.Format(L"fValid = 1 AND (lRight = %d OR lRight = %d AND %s)", lMask,
                       static_cast<LONG>(kurs::SignedMask(rec.dwMask | kurs::kRightLeader)), LeadsRun(lQvSecUserID));
    } else {
        strSame.Format(L"fValid = 1 AND lRight = %d", lMask);
    }
    Write write;
    if (rec.bRevoke)
        write.strVerb = L"UPDATE SecKurs SET fValid = 0, lRight = 0";
    else
        write.strVerb.Format(L"UPDATE SecKurs SET fValid = 1, lRight = %d", lMask);
    CString strRange;
    if (bCentral) strRange.Format(L" AND %s BETWEEN %d AND %d", KeyOf(rec.lKind), rec.lID, records[last].lID);
    write.strWhere.Format(L"lQvSecUserID = %d AND %s = -1%s AND %s IN (SELECT %s FROM %s WHERE %s) AND NOT (%s)",
                          lQvSecUserID, OtherKeyOf(rec.lKind), strRange, KeyOf(rec.lKind), KeyOf(rec.lKind),
                          TableOf(rec.lKind), strScope, strSame);
    return write;
}

// Central installation: every run row of the user (in the scope or not) for a run the user's
// person leads, holding the course-leader right, gets the leader's right and is valid.
Write LeaderRows(long lQvSecUserID) {
    Write write;
    write.strVerb.Format(L"UPDATE SecKurs SET fValid = 1, lRight = lRight | %lu", kurs::kRightLeader);
    write.strFrom = L"FROM PersonKurs pk JOIN Person ON pk.lPersonID = Person.lPersonID JOIN SecKurs ON "
                    L"SecKurs.lKursinstanzID = pk.lKursinstanzID AND SecKurs.lKursID = -1 JOIN Contact ON "
                    L"Contact.lPersonID = Person.lPersonID JOIN QvSecUser ON Contact.guid = QvSecUser.strUserID AND "
                    L"SecKurs.lQvSecUserID = QvSecUser.lQvSecUserID";
    write.strWhere.Format(L"fTeilnehmer = 0 AND fLeiter = 1 AND QvSecUser.lQvSecUserID = %d AND SecKurs.lRight & %lu "
                          L"= %lu AND (SecKurs.fValid = 0 OR (SecKurs.lRight & %lu) = 0)",
                          lQvSecUserID, kurs::kRightKursleiter, kurs::kRightKursleiter, kurs::kRightLeader);
    return write;
}

// The user's rows still invalid, also those outside the scope, are removed.
Write DeleteInvalid(long lQvSecUserID) {
    Write write;
    write.strVerb = L"DELETE FROM SecKurs";
    write.strWhere.Format(L"fValid = 0 AND lQvSecUserID = %d", lQvSecUserID);
    return write;
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

// The rows of the whole scope are brought up to date set by set: the courses, then the runs,
// each in key order, and new rows get the keys one drawing per record would give them. Each
// statement touches only rows whose values change, and all of them are first asked whether they
// would change anything: a refresh that finds the rows as they should be writes nothing and
// opens no transaction (a database that may not be written is then only read). Otherwise the
// writes go in one transaction.
long VRQ_DoUpdateSecKurs(long lQvSecUserID, long lKursID, long lKursinstanzID, CKursDlg* pDlg) {
    CKursResourceScope scope;
    if (kurs::IsKursDlgClosing(pDlg)) return S_OK;
    const bool bCentral = NQ_IsEnterpriseEdition() != FALSE;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);

    const CString strKurs = ScopeCondition(L"lKursID", lKursID);
    const CString strKursinstanz = ScopeCondition(L"lKursinstanzID", lKursinstanzID);
    auto scopeOf = [&](long lKind) { return lKind == 1 ? strKurs : strKursinstanz; };

    std::vector<Record> records;
    DWORD dwLocalMask = 0;
    if (SUCCEEDED(hr) && bCentral) {
        // The rights of each record come from the security server one by one, before anything
        // is written; a closing window ends the refresh with nothing of it kept.
        std::vector<CQvGUID> guids;
        hr = ReadRecords(rs, strKurs, strKursinstanz, lQvSecUserID, true, records, &guids);
        for (size_t i = 0; SUCCEEDED(hr) && i < records.size(); ++i) {
            if (kurs::IsKursDlgClosing(pDlg)) return S_OK;
            CQvSec sec;
            hr = sec.LoadRights(CQvGUID(), guids[i].GetGUID(TRUE));
            if (FAILED(hr)) {
                KURS_TRACEHR(hr);
                break;
            }
            records[i].bRevoke = !sec.HasAnyRight(kurs::kRightRead | kurs::kRightKursleiter);
            records[i].dwMask = sec.GetRights();
        }
    } else if (SUCCEEDED(hr)) {
        hr = LocalMask(dwLocalMask);
    }

    // The set statements, in the order they run; new rows go in after the updates.
    std::vector<Write> updates;
    std::vector<Write> finals;
    if (SUCCEEDED(hr)) {
        for (long lKind = 1; lKind <= 2; ++lKind) {
            updates.push_back(InvalidateOdd(lKind, scopeOf(lKind), lQvSecUserID));
            updates.push_back(InvalidateGone(lKind, scopeOf(lKind), lQvSecUserID));
        }
        if (bCentral) {
            // Runs of records with one outcome in key order: one statement each.
            for (size_t i = 0; i < records.size();) {
                size_t end = i + 1;
                while (end < records.size() && SameOutcome(records[i], records[end])) ++end;
                bool bAnyRow = false;
                for (size_t k = i; k < end; ++k) bAnyRow = bAnyRow || records[k].bExists;
                if (bAnyRow)
                    updates.push_back(
                        UpdateRows(records, i, end - 1, scopeOf(records[i].lKind), lQvSecUserID, true));
                i = end;
            }
            finals.push_back(LeaderRows(lQvSecUserID));
        } else {
            for (long lKind = 1; lKind <= 2; ++lKind) {
                Record rec;
                rec.lKind = lKind;
                rec.dwMask = dwLocalMask;
                updates.push_back(UpdateRows({rec}, 0, 0, scopeOf(lKind), lQvSecUserID, false));
            }
        }
        finals.push_back(DeleteInvalid(lQvSecUserID));
    }

    // Whether anything changes: a record without its row, or a statement that finds a row.
    std::vector<Record> missing;
    if (SUCCEEDED(hr) && !bCentral)
        hr = ReadRecords(rs, strKurs, strKursinstanz, lQvSecUserID, false, missing, nullptr);
    bool bChange = false;
    for (const Record& rec : records) bChange = bChange || !rec.bExists;
    bChange = bChange || !missing.empty();
    for (const std::vector<Write>* pWrites : {&updates, &finals}) {
        for (size_t i = 0; SUCCEEDED(hr) && !bChange && i < pWrites->size(); ++i)
            hr = WouldChange(rs, (*pWrites)[i], bChange);
    }
    if (FAILED(hr) || !bChange) {
        if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
        return hr;
    }

    // One transaction of its own, unless the caller's is open on the connection.
    const bool bOwnTransaction = !conn.IsInTransaction();
    if (bOwnTransaction) {
        hr = conn.BeginTrans();
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    for (size_t i = 0; SUCCEEDED(hr) && i < updates.size(); ++i) hr = Run(conn, updates[i]);
    if (SUCCEEDED(hr) && !bCentral) {
        // The records without a row, read again under the transaction's lock.
        missing.clear();
        hr = ReadRecords(rs, strKurs, strKursinstanz, lQvSecUserID, false, missing, nullptr);
        for (Record& rec : missing) rec.dwMask = dwLocalMask;
    }
    if (SUCCEEDED(hr)) hr = InsertRows(conn, bCentral ? records : missing, lQvSecUserID);
    for (size_t i = 0; SUCCEEDED(hr) && i < finals.size(); ++i) hr = Run(conn, finals[i]);
    // A database that may not be written refuses the first write (asked before the rollback,
    // which forgets the error): the rows stay as they are and the window works with them; the
    // failure is traced, not shown.
    const bool bReadOnly = FAILED(hr) && qv::nq::IsReadOnlyFailure(conn);
    if (bOwnTransaction) {
        if (SUCCEEDED(hr)) {
            const long hrCommit = conn.CommitTrans();
            if (FAILED(hrCommit)) {
                KURS_TRACEHR(hrCommit);
                hr = hrCommit;
            }
        }
        if (FAILED(hr)) conn.RollbackTrans();
    }

    if (bReadOnly) return S_FALSE;
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
