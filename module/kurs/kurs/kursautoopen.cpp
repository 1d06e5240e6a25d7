// Opening and closing runs by their registration windows. A local installation handles only the
// runs of its own courses; the central installation opens and closes those of the authorities.
#include "kursint.h"

#include "kursresource.h"
#include "nqcommon.h"
#include "qvdatalogger.h"

#include <vector>

namespace {

const CQvGUID kClosedMessage(L"{ce6d9d23-e9ca-4266-93e9-c6e59964a935}");

CString LocalCoursesOnly() {
    CString strSQL;
    strSQL.Format(L"AND EXISTS (SELECT 1 FROM Kurs WHERE Kurs.lKursID = Kursinstanz.lKursID AND Kurs.lTyp = %d) ",
                  static_cast<long>(eAuthorityTypLokal));
    return strSQL;
}

// Whether the connection's last failure says that the database may not be written: SQLite's
// read-only result (primary code 8 under its extended codes), PostgreSQL's read-only transaction.
bool IsReadOnlyFailure(CQvADOConnection& conn) {
    long lNumber = 0;
    long lNative = 0;
    CString strState;
    if (FAILED(conn.GetLastErrorInfo(&lNumber, &lNative, strState))) return false;
    return (lNative & 0xFF) == 8 || strState == L"25006";
}

// Whether the run's open state is out of line with its registration window, by the conditions of
// the opening and the closing step.
long IsChangeDue(CQvADORecordset& rs, long lKursinstanzID, BOOL bCentral, const CString& strZero, BOOL& bDue) {
    CString strSQL;
    strSQL.Format(L"SELECT lKursinstanzID FROM Kursinstanz WHERE lKursinstanzID = %d AND ((fGeschlossen = 1 AND "
                  L"dtAbgesagt = %s AND dtAnmeldenVon <> %s AND dtAnmeldenVon < getdate() AND CASE WHEN "
                  L"dtAnmeldenBis = %s THEN dtDatum ELSE dtAnmeldenBis END > getdate()) OR (fGeschlossen = 0 AND "
                  L"dtAnmeldenBis < getdate() AND dtAnmeldenBis <> %s)) ",
                  lKursinstanzID, strZero, strZero, strZero, strZero);
    if (!bCentral) strSQL += LocalCoursesOnly();
    BOOL bEOF = TRUE;
    const long hr = kurs::OpenRows(rs, strSQL, bEOF);
    rs.Close();
    bDue = SUCCEEDED(hr) && !bEOF;
    return hr;
}

// The steps of VRQ_CheckAutoOpenAutoCloseKursinstanz; for the run the course window shows
// (bShown) nothing is written unless its state is due to change, and a database that may not be
// written is passed over without a report.
long CheckAutoOpenAutoClose(long lKursinstanzID, bool bShown) {
    CKursResourceScope scope;
    const BOOL bCentral = NQ_IsEnterpriseEdition();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    CQvDataLogger logger(L"Qovaro.Ostrel.Kurs");

    CString strFilter;
    if (lKursinstanzID != 0) strFilter.Format(L" AND lKursinstanzID = %d ", lKursinstanzID);
    const CString strZero = kurs::ZeroDateSQL();

    if (SUCCEEDED(hr) && bShown) {
        BOOL bDue = FALSE;
        hr = IsChangeDue(rs, lKursinstanzID, bCentral, strZero, bDue);
        if (SUCCEEDED(hr) && !bDue) return S_OK;
    }

    if (SUCCEEDED(hr)) {
        // A closed run opens while its window runs: not cancelled, started, and its end (the run's
        // date when no end is set) still ahead. The local installation keeps to runs of local
        // courses by asking the course of each candidate, a single-table form with the same rows
        // as the join, which would otherwise run a lookup per row. The statement renews the change
        // stamp itself, as the database would row by row after it.
        CString strSQL;
        strSQL.Format(L"UPDATE Kursinstanz SET fGeschlossen = 0, dtTimestamp = getdate() WHERE fGeschlossen = 1 AND "
                      L"dtAbgesagt = %s AND dtAnmeldenVon <> %s AND dtAnmeldenVon < getdate() AND CASE WHEN "
                      L"dtAnmeldenBis = %s THEN dtDatum ELSE dtAnmeldenBis END > getdate() ",
                      strZero, strZero, strZero);
        if (!bCentral) strSQL += LocalCoursesOnly();
        strSQL += strFilter;
        hr = kurs::Execute(conn, strSQL);
    }

    std::vector<long> closed;
    if (SUCCEEDED(hr)) {
        // An open run closes when its window has ended. The closings and their log entries are one
        // unit: a refused entry leaves every run open, to be closed by the next check.
        kurs::CKursTransaction trans(conn);
        hr = trans.Begin();
        CString strSQL;
        strSQL.Format(L"SELECT lKursinstanzID, fGeschlossen, guid FROM Kursinstanz WHERE fGeschlossen = 0 AND "
                      L"dtAnmeldenBis < getdate() AND dtAnmeldenBis <> %s ",
                      strZero);
        if (!bCentral) strSQL += LocalCoursesOnly();
        strSQL += strFilter;
        // The database client writes back rows only of statements without subqueries: the local
        // installation closes its runs by their key.
        const bool bRowUpdate = bCentral;
        if (SUCCEEDED(hr)) {
            hr = bRowUpdate ? rs.OpenSQL(strSQL, 1, 3) : rs.Open(strSQL);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) {
            hr = rs.IsEOF(&bEOF);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
        while (SUCCEEDED(hr) && !bEOF) {
            CQvGUID guidKursinstanz;
            long lID = 0;
            hr = rs.GetFieldValue(L"guid", &guidKursinstanz);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursinstanzID", &lID);
            if (FAILED(hr)) KURS_TRACEHR(hr);
            if (SUCCEEDED(hr) && bRowUpdate) {
                hr = rs.SetFieldValue(L"fGeschlossen", 1L);
                if (SUCCEEDED(hr)) hr = rs.Update();
                if (FAILED(hr)) KURS_TRACEHR(hr);
            } else if (SUCCEEDED(hr)) {
                CString strUpdate;
                strUpdate.Format(L"UPDATE Kursinstanz SET fGeschlossen = 1 WHERE lKursinstanzID = %d", lID);
                hr = kurs::Execute(conn, strUpdate);
            }
            if (SUCCEEDED(hr)) {
                hr = kurs::WriteUserLog(1, IDS_LOG_KURSINSTANZ_AUTOCLOSED, CString(), L"Ausbildung.Instanz", 0, 42,
                                        guidKursinstanz, CQvGUID());
            }
            if (SUCCEEDED(hr)) {
                closed.push_back(lID);
                hr = rs.MoveNext(&bEOF);
                if (FAILED(hr)) KURS_TRACEHR(hr);
            }
        }
        rs.Close();
        hr = trans.End(hr);
    }
    // The data log names only closings that were committed.
    if (SUCCEEDED(hr)) {
        for (const long lID : closed) {
            logger.Info(kClosedMessage,
                        L"VRQ_CheckAutoOpenAutoCloseKursinstanz() Kursinstanz automatisch geschlossen! "
                        L"(lKursinstanzID: %d)",
                        lID);
        }
    }

    if (SUCCEEDED(hr) && bCentral && lKursinstanzID == 0) {
        // Runs published today count as changed today, so that the exchange picks them up.
        hr = kurs::Execute(conn, L"UPDATE Kursinstanz SET dtPublish = dtPublish WHERE dtPublish = dateadd(dd, "
                                 L"datediff(dd, 0, GETDATE()), 0) AND dtTimestamp < dateadd(dd, datediff(dd, 0, "
                                 L"GETDATE()), 0)");
    }

    if (FAILED(hr) && !(bShown && IsReadOnlyFailure(conn))) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

}  // namespace

long VRQ_CheckAutoOpenAutoCloseKursinstanz(long lKursinstanzID) { return CheckAutoOpenAutoClose(lKursinstanzID, false); }

long kurs::CheckShownKursinstanz(long lKursinstanzID) {
    if (lKursinstanzID <= 0) return S_OK;
    return CheckAutoOpenAutoClose(lKursinstanzID, true);
}
