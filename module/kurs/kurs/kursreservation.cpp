// Reservation count: a new registration uses up one of the places its person's Mandant reserved
// for the course in the registration's year.
#include "kursint.h"

#include "qvinteract.h"
#include "kursresource.h"

long VRQ_UpdateKursreservation(long lPersonKursID) {
    CKursResourceScope scope;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT Kurs.lKursID, lKursreservationID, lYear, Kurs.strKurzbezeichnung AS strKurs, Kurs.guid "
                      L"FROM Kursreservation JOIN Person ON Kursreservation.lMandantID = Person.lMandantID JOIN "
                      L"PersonKurs ON Person.lPersonID = PersonKurs.lPersonID JOIN Kurs ON PersonKurs.lKursID = "
                      L"Kurs.lKursID AND Kursreservation.lKursID = Kurs.lKursID WHERE PersonKurs.lPersonKursID = %d "
                      L"AND Kursreservation.lYear = year(PersonKurs.dtDatum)",
                      lPersonKursID);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
    }
    long lKursID = 0;
    long lKursreservationID = 0;
    long lYear = 0;
    CString strKurs;
    CQvGUID guidKurs;
    if (SUCCEEDED(hr) && !bEOF) {
        hr = rs.GetFieldValue(L"lKursID", &lKursID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursreservationID", &lKursreservationID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lYear", &lYear);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKurs", &strKurs);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guid", &guidKurs);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();

    if (SUCCEEDED(hr) && !bEOF) {
        CString strSQL;
        strSQL.Format(L"UPDATE Kursreservation SET lAnzahl = lAnzahl-1 WHERE lKursreservationID = %d",
                      lKursreservationID);
        hr = kurs::Execute(conn, strSQL);

        if (SUCCEEDED(hr)) {
            // Told, and announced, once the count-down is committed: inside a booking that is
            // when the booking is.
            CString strMsg;
            strMsg.Format(IDS_RESERVATION_DECREMENTED, strKurs, lYear);
            kurs::TellAfterUnit([strMsg] { AfxMessageBox(strMsg, MB_OK | MB_ICONINFORMATION); }, true);

            CString strDetail;
            strDetail.Format(L"Jahr:%d", lYear);
            hr = kurs::WriteUserLog(1, IDS_LOG_RESERVATION_DECREMENTED, strDetail, L"Ausbildung.Kurs", 0, 39, guidKurs,
                                    CQvGUID());
            kurs::TellAfterUnit([lKursID] { kurs::FireKursEvent(KURS_EVENT_RESERVATION_CHANGED, lKursID); }, true);
        }
    }
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}
