// Deleting courses and runs. The log entry comes first, while the record can still be named.
#include "kursint.h"

#include "kursresource.h"

namespace {

// The record's GUID and display name for the log; the null GUID and an empty text without a row.
long ReadRecord(CQvADORecordset& rs, const CString& strSQL, CQvGUID& guid, CString& strBezeichnung) {
    long hr = rs.Open(strSQL);
    if (FAILED(hr)) KURS_TRACEHR(hr);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) {
        hr = rs.IsEOF(&bEOF);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    if (SUCCEEDED(hr) && !bEOF) {
        hr = rs.GetFieldValue(L"guid", &guid);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBezeichnung", &strBezeichnung);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    return hr;
}

}  // namespace

long VRQ_DeleteKurs(long lKursID) {
    CKursResourceScope scope;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = conn.Open(kurs::kProfile, 0);
    if (FAILED(hr)) KURS_TRACEHR(hr);

    CQvGUID guidKurs;
    CString strBezeichnung;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT guid, dbo.fn_GetKursBezeichnung(lKursID) AS strBezeichnung FROM Kurs WHERE lKursID = %d",
                      lKursID);
        hr = ReadRecord(rs, strSQL, guidKurs, strBezeichnung);
    }
    if (SUCCEEDED(hr)) {
        hr = kurs::WriteUserLog(2, IDS_LOG_KURS_DELETED, strBezeichnung, L"Ausbildung.Kurs", 0, 39, guidKurs,
                                CQvGUID());
    }
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"DELETE Kurs WHERE lKursID = %d", lKursID);
        hr = conn.Execute(strSQL);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    kurs::FireKursEvent(KURS_EVENT_KURS_CHANGED, lKursID);
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

long VRQ_DeleteKursinstanz(long lKursinstanzID) {
    CKursResourceScope scope;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = conn.Open(kurs::kProfile, 0);
    if (FAILED(hr)) KURS_TRACEHR(hr);

    CQvGUID guidKursinstanz;
    CString strBezeichnung;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT guid, dbo.fn_GetKursinstanzBezeichnung(lKursinstanzID) AS strBezeichnung FROM "
                      L"Kursinstanz WHERE lKursinstanzID = %d",
                      lKursinstanzID);
        hr = ReadRecord(rs, strSQL, guidKursinstanz, strBezeichnung);
    }
    if (SUCCEEDED(hr)) {
        hr = kurs::WriteUserLog(2, IDS_LOG_KURSINSTANZ_DELETED, strBezeichnung, L"Ausbildung.Instanz", 0, 42,
                                guidKursinstanz, CQvGUID());
    }
    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();
    if (SUCCEEDED(hr)) {
        // The run's waiting list does not go with it: those persons are planned for the course.
        CString strSQL;
        strSQL.Format(L"UPDATE PersonKurs SET lStatus = %d, changedBy = dbo.fn_GetSystemID() FROM PersonKurs JOIN Kurs "
                      L"On PersonKurs.lKursID = Kurs.lKursID WHERE lStatus IN (%d,%d) AND lKursinstanzId = %d ",
                      0, 3, 4, lKursinstanzID);
        hr = conn.Execute(strSQL);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"DELETE Kursinstanz WHERE lKursinstanzID = %d", lKursinstanzID);
        hr = conn.Execute(strSQL);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    hr = trans.End(hr);

    kurs::FireKursEvent(KURS_EVENT_KURSINSTANZ_CHANGED, lKursinstanzID);
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}
