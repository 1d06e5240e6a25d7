// Course settings and authority: online switch, course authority, default registration status,
// pending export and planned registrations that wait for an open run.
#include "kursint.h"

#include "nqcommon.h"
#include "kursresource.h"

namespace {

// The installation's default status as last read or stored; -1 until read. The module is used
// from the host's GUI thread only.
long g_lDefaultPersonKursStatus = -1;

}  // namespace

namespace kurs {

CString ZeroDateSQL() { return CQvDateTime(1899, 12, 30, 0, 0, 0).SQLConvert(); }

EPersonKursStatus BookingDefaultStatus() {
    // A registration must never be written with -1: without a readable default it is registered.
    const EPersonKursStatus eDefault = VRQ_GetDefaultPersonKursStatus();
    return static_cast<LONG>(eDefault) < 0 ? ePersonKursStatusAngemeldet : eDefault;
}

void ForgetDefaultPersonKursStatus() { g_lDefaultPersonKursStatus = -1; }

}  // namespace kurs

int VRQ_IsOnlineKursActive() {
    CKursResourceScope scope;
    BOOL bEnabled = FALSE;
    const long hr = QvDBLookupBool(L"fOnlineKursEnabled", L"DataExchange", L"", &bEnabled, kurs::kProfile);
    if (FAILED(hr)) KURS_TRACEHR(hr);
    return bEnabled;
}

EAuthorityTyp VRQ_GetKursAuthority(long lID, BOOL bInstanz) {
    CKursResourceScope scope;
    long lTyp = 0;
    CString strWhere;
    long hr;
    if (bInstanz) {
        strWhere.Format(L"lKursinstanzID = %d", lID);
        hr = QvDBLookupLong(L"lTyp", L"Kursinstanz JOIN Kurs ON Kursinstanz.lKursID = Kurs.lKursID", strWhere, &lTyp,
                            kurs::kProfile);
    } else {
        strWhere.Format(L"lKursID = %d", lID);
        hr = QvDBLookupLong(L"lTyp", L"Kurs", strWhere, &lTyp, kurs::kProfile);
    }
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        return eAuthorityTypNone;
    }
    return static_cast<EAuthorityTyp>(lTyp);
}

EPersonKursStatus VRQ_GetDefaultPersonKursStatus() {
    CKursResourceScope scope;
    if (g_lDefaultPersonKursStatus != -1) return static_cast<EPersonKursStatus>(g_lDefaultPersonKursStatus);
    long lStatus = -1;
    const long hr = QvDBLookupLong(L"lDefaultPersonKursStatus", L"DataExchange", L"", &lStatus, kurs::kProfile);
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        return static_cast<EPersonKursStatus>(-1);
    }
    g_lDefaultPersonKursStatus = lStatus;
    return static_cast<EPersonKursStatus>(g_lDefaultPersonKursStatus);
}

long VRQ_SetDefaultPersonKursStatus(EPersonKursStatus eStatus) {
    CKursResourceScope scope;
    if (eStatus != ePersonKursStatusAngemeldet && eStatus != ePersonKursStatusProvisorisch) return S_OK;

    CString strSQL;
    strSQL.Format(L"UPDATE DataExchange SET lDefaultPersonKursStatus = %d", static_cast<long>(eStatus));
    long hr = QvDBExecute(strSQL, kurs::kProfile);
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    // Only a stored value may serve the next bookings.
    g_lDefaultPersonKursStatus = eStatus;

    return kurs::WriteUserLog(1, IDS_LOG_DEFAULTSTATUS, NQ_GetPersonKursStatusBezeichnung(eStatus, 1, FALSE, CString()),
                              L"Ausbildung", static_cast<long>(eStatus), 76, CQvGUID(), CQvGUID());
}

long VRQ_IsPersonKursExportPending(BOOL& bPending) {
    CKursResourceScope scope;
    bPending = FALSE;
    if (!VRQ_IsOnlineKursActive() || NQ_IsEnterpriseEdition()) return S_OK;

    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) {
        const CString strZero = kurs::ZeroDateSQL();
        const CString strSystem = QvSQLString(L"System", 0);
        CString strSQL;
        // Whether any row changed since the last export: an existence test stops at the first one,
        // where an aggregate over the changed rows reads them all.
        strSQL.Format(
            L"SELECT CASE WHEN EXISTS (SELECT 1 FROM PersonKurs JOIN Kurs ON PersonKurs.lKursID = Kurs.lKursID "
            L"WHERE PersonKurs.dtTimestamp > (SELECT isnull(max(dtTime), %s) FROM UserLog WHERE strModul = "
            L"'%s.ImportExport' AND lCode = %d) AND PersonKurs.lKursinstanzID <> -1 AND Kurs.lTyp IN (%d, %d)) "
            L"OR EXISTS (SELECT 1 FROM DeletedRow WHERE DeletedRow.dtTimestamp > (SELECT "
            L"isnull(max(dtTime), %s) FROM UserLog WHERE strModul = '%s.ImportExport' AND lCode = %d) AND "
            L"DeletedRow.lTableID = 23) THEN 1 ELSE 0 END AS fPending",
            strZero, strSystem, 8, 1, 2, strZero, strSystem, 8);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
    }
    while (SUCCEEDED(hr) && !bEOF) {
        long lPending = 0;
        hr = rs.GetFieldValue(L"fPending", &lPending);
        if (FAILED(hr)) {
            KURS_TRACEHR(hr);
            break;
        }
        if (lPending) bPending = TRUE;
        hr = rs.MoveNext(&bEOF);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

long VRQ_IsUnlinkedPersonToKursinstanz(long lMandantID, BOOL& bPending) {
    CKursResourceScope scope;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    if (SUCCEEDED(hr)) {
        // An existence test: it stops at the first planned registration that a run could take.
        CString strSQL;
        strSQL.Format(
            L"SELECT CASE WHEN EXISTS (SELECT 1 FROM PersonKurs JOIN Person ON PersonKurs.lPersonID = "
            L"Person.lPersonID JOIN Kurs ON PersonKurs.lKursID = Kurs.lKursID JOIN Kursinstanz ON Kurs.lKursID = "
            L"Kursinstanz.lKursID WHERE PersonKurs.lKursinstanzID = -1 AND year(Kursinstanz.dtDatum) = "
            L"year(PersonKurs.dtDatum) AND Kursinstanz.fGeschlossen = 0 AND PersonKurs.lStatus = %d AND "
            L"PersonKurs.fTeilnehmer = 1 AND Kurs.lTyp IN (%d,%d) ",
            0, 1, 2);
        if (lMandantID != 0) strSQL.AppendFormat(L" AND Person.lMandantID = %d ", lMandantID);
        strSQL += L") THEN 1 ELSE 0 END AS fPending";
        hr = rs.Open(strSQL);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    if (SUCCEEDED(hr)) {
        hr = rs.GetFieldValue(L"fPending", &bPending);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}
