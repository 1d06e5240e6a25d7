// Deleting courses and runs. The record's GUID and name are read first, so that the log entry can
// name it; the entry is written in the deletion's transaction, so that it stands exactly when the
// deletion was committed.
#include "kursint.h"

#include "kursresource.h"

long VRQ_DeleteKurs(long lKursID) {
    CKursResourceScope scope;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);

    CQvGUID guidKurs;
    CString strBezeichnung;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT guid, dbo.fn_GetKursBezeichnung(lKursID) AS strBezeichnung FROM Kurs WHERE lKursID = %d",
                      lKursID);
        hr = kurs::ReadRecord(rs, strSQL, L"strBezeichnung", guidKurs, strBezeichnung);
    }
    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"DELETE Kurs WHERE lKursID = %d", lKursID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) {
        hr = kurs::WriteUserLog(2, IDS_LOG_KURS_DELETED, strBezeichnung, L"Ausbildung.Kurs", 0, 39, guidKurs,
                                CQvGUID());
    }
    hr = trans.End(hr);
    kurs::FireKursEvent(KURS_EVENT_KURS_CHANGED, lKursID);
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

long VRQ_DeleteKursinstanz(long lKursinstanzID) {
    CKursResourceScope scope;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);

    CQvGUID guidKursinstanz;
    CString strBezeichnung;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT guid, dbo.fn_GetKursinstanzBezeichnung(lKursinstanzID) AS strBezeichnung FROM "
                      L"Kursinstanz WHERE lKursinstanzID = %d",
                      lKursinstanzID);
        hr = kurs::ReadRecord(rs, strSQL, L"strBezeichnung", guidKursinstanz, strBezeichnung);
    }
    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();
    if (SUCCEEDED(hr)) {
        // The run's waiting list does not go with it: those persons are planned for the course.
        CString strSQL;
        strSQL.Format(L"UPDATE PersonKurs SET lStatus = %d, changedBy = dbo.fn_GetSystemID() FROM PersonKurs JOIN Kurs "
                      L"On PersonKurs.lKursID = Kurs.lKursID WHERE lStatus IN (%d,%d) AND lKursinstanzId = %d ",
                      0, 3, 4, lKursinstanzID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"DELETE Kursinstanz WHERE lKursinstanzID = %d", lKursinstanzID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) {
        hr = kurs::WriteUserLog(2, IDS_LOG_KURSINSTANZ_DELETED, strBezeichnung, L"Ausbildung.Instanz", 0, 42,
                                guidKursinstanz, CQvGUID());
    }
    hr = trans.End(hr);

    kurs::FireKursEvent(KURS_EVENT_KURSINSTANZ_CHANGED, lKursinstanzID);
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}
