// Booking instructors: the same registration row as a participant's, with a leadership role and
// without the checks and the online registration of participants.
#include "kursint.h"

#include "kursresource.h"
#include "nqcommon.h"

long CVRQKurs::AddInstruktorToKurs(long lPersonID, long lKursID, long lKursinstanzID, long lYear, long lKursleitungID,
                                   long& lPersonKursID, EPersonKursStatus& eStatus) {
    CKursResourceScope scope;
    if (kurs::Rehearsing()) return S_OK;  // asks nothing
    if (lPersonID == 0) return KURS_TRACEHR(E_FAIL);

    CQvGUID guidPersonKurs;
    if (lPersonKursID != 0) guidPersonKurs = GetPersonKursGUID(lPersonKursID);

    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    const CQvDateTime dtAnmeldung = COleDateTime::GetCurrentTime();

    if (SUCCEEDED(hr) && lKursinstanzID != -1) {
        lYear = 2000;
        CString strWhere;
        strWhere.Format(L"lKursinstanzID=%d", lKursinstanzID);
        hr = QvDBLookupLong(L"year(dtDatum)", L"Kursinstanz", strWhere, &lYear, kurs::kProfile);
        if (FAILED(hr)) KURS_TRACEHR(hr);
        if (SUCCEEDED(hr)) hr = S_OK;
    }
    // Instructor rows are dated at the end of the year, also in a run.
    const CQvDateTime dtDatum(lYear, 12, 31, 0, 0, 0);

    bool bReregistered = lPersonKursID != 0;
    bool bPlanned = false;
    if (SUCCEEDED(hr) && lPersonKursID == 0 && lKursinstanzID != -1) {
        long lPlanned = 0;
        hr = kurs::LookupPlannedRegistration(FALSE, lPersonID, lKursID, lYear, lPlanned);
        if (hr == S_OK) {
            lPersonKursID = lPlanned;
            bReregistered = true;
            bPlanned = true;
        }
        if (SUCCEEDED(hr)) hr = S_OK;
    }
    // A registration taken up again is written only while it is stored as read here: one placed or
    // changed meanwhile is left as it is.
    CString strHeld;
    if (SUCCEEDED(hr) && lPersonKursID != 0) {
        hr = kurs::HoldRegistrationAsRead(conn, lPersonKursID, lPersonID, bPlanned, strHeld);
        if (hr == E_ABORT) return hr;
    }

    if (SUCCEEDED(hr) && lKursinstanzID != -1) eStatus = kurs::BookingDefaultStatus();

    // The row, the leader's role, the notification item, the rights and the log entry are one unit:
    // stored together or not at all. Inside a caller's transaction they stay part of that one.
    const long lReports = kurs::ReportCount();
    const long lGone = kurs::GoneCount();
    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();
    if (SUCCEEDED(hr)) {
        if (lPersonKursID == 0) {
            hr = kurs::InsertRegistration(conn, FALSE, lPersonID, lKursID, lKursinstanzID, lKursleitungID, eStatus,
                                          dtDatum, dtAnmeldung, guidPersonKurs, lPersonKursID);
        } else {
            CString strSQL;
            strSQL.Format(L"UPDATE PersonKurs SET lKursID = %d, lKursinstanzID = %d, dtAnmeldung = %s, lStatus = %d, "
                          L"dtDatum = %s, changedBy = dbo.fn_GetSystemID() WHERE %s",
                          lKursID, lKursinstanzID, dtAnmeldung.SQLConvert(), static_cast<long>(eStatus),
                          dtDatum.SQLConvert(), static_cast<LPCWSTR>(strHeld));
            long lAffected = 0;
            hr = kurs::Execute(conn, strSQL, &lAffected);
            // Placed, handed over or changed by another user since it was read: nothing of this booking
            // is written.
            if (SUCCEEDED(hr) && lAffected == 0) hr = kurs::RegistrationNotAsShown(lPersonKursID);
            if (SUCCEEDED(hr)) hr = kurs::KeepOneKursLeiter(conn, lPersonKursID, lKursinstanzID);
        }
    }

    if (SUCCEEDED(hr)) hr = VRQ_AddKursNotificationItem(FALSE, lPersonID, lKursinstanzID, 1, eStatus);

    // The leader of a run taken back into it gets the rights of its leader again.
    if (SUCCEEDED(hr) && bReregistered && lKursinstanzID != -1) {
        const long lQvSecUserID = kurs::CurrentSecUserID();
        BOOL bLeiter = FALSE;
        hr = kurs::LookupKursLeiter(lPersonKursID, bLeiter);
        if (SUCCEEDED(hr) && bLeiter) {
            hr = VRQ_DoUpdateSecKurs(lQvSecUserID, 0, lKursinstanzID, nullptr);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
    }

    if (SUCCEEDED(hr)) hr = kurs::LogBookingAdded(rs, FALSE, lPersonKursID, lKursinstanzID, eStatus);

    hr = trans.End(hr);
    if (FAILED(hr) && kurs::ReportCount() == lReports && kurs::GoneCount() == lGone) KURS_REPORTDBERROR(conn, hr);
    return hr;
}
