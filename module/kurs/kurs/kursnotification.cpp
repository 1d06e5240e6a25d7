// Notification queue: in the central installation each change of a registration in a run goes as
// an item into the open notification of its addressee (the participant's Mandant, or the
// instructor), which the notification windows later send by e-mail.
#include "kursint.h"

#include "nqcommon.h"

namespace {

// The open notification of the addressee, created when none is open and the addressee wants
// notifications. lKursnotificationID stays 0 when no notification applies.
long GetOpenKursNotification(BOOL bTeilnehmer, long lPersonID, long& lKursnotificationID) {
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    const CString strOpen = kurs::ZeroDateSQL();
    long hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        if (bTeilnehmer) {
            strSQL.Format(L"SELECT TOP 1 Mandant.lMandantID, fKursNotification, "
                          L"isnull(Kursnotification.lKursnotificationID, 0) AS lKursnotificationID FROM Person JOIN "
                          L"Mandant ON Person.lMandantID = Mandant.lMandantID LEFT OUTER JOIN Kursnotification ON "
                          L"Person.lMandantID = Kursnotification.lMandantID AND Kursnotification.lPersonID = -1 AND "
                          L"dtSent = %s WHERE Person.lPersonID = %d",
                          strOpen, lPersonID);
        } else {
            strSQL.Format(L"SELECT TOP 1 Person.lMandantID, 1 as fKursNotification, "
                          L"isnull(Kursnotification.lKursnotificationID, 0) AS lKursnotificationID FROM Person LEFT "
                          L"OUTER JOIN Kursnotification ON Person.lPersonID = Kursnotification.lPersonID AND dtSent = "
                          L"%s WHERE Person.lPersonID = %d",
                          strOpen, lPersonID);
        }
        hr = kurs::OpenRows(rs, strSQL, bEOF);
    }
    if (SUCCEEDED(hr) && !bEOF) {
        long lID = 0;
        BOOL bNotify = FALSE;
        hr = rs.GetFieldValue(L"lKursnotificationID", &lID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fKursNotification", &bNotify);
        if (FAILED(hr)) KURS_TRACEHR(hr);
        if (SUCCEEDED(hr) && lID == 0 && bNotify) {
            long lMandantID = 0;
            hr = rs.GetFieldValue(L"lMandantID", &lMandantID);
            if (FAILED(hr)) KURS_TRACEHR(hr);
            if (SUCCEEDED(hr)) hr = kurs::GetUniqueID(conn, L"Kursnotification", L"lKursnotificationID", lID);
            if (SUCCEEDED(hr)) {
                CString strSQL;
                if (bTeilnehmer)
                    strSQL.Format(L"INSERT INTO Kursnotification (lKursnotificationID, lMandantID) VALUES (%d, %d)",
                                  lID, lMandantID);
                else
                    strSQL.Format(L"INSERT INTO Kursnotification (lKursnotificationID, lMandantID, lPersonID) VALUES "
                                  L"(%d, %d, %d)",
                                  lID, lMandantID, lPersonID);
                hr = kurs::Execute(conn, strSQL);
            }
        }
        if (SUCCEEDED(hr)) lKursnotificationID = lID;
    }
    rs.Close();
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

}  // namespace

long VRQ_AddKursNotificationItem(BOOL bTeilnehmer, long lPersonID, long lKursinstanzID, long lArt,
                                 EPersonKursStatus eStatus) {
    CKursResourceScope scope;
    if (!NQ_IsEnterpriseEdition()) return S_OK;
    if (lKursinstanzID == -1) return S_OK;

    long lKursnotificationID = 0;
    long hr = GetOpenKursNotification(bTeilnehmer, lPersonID, lKursnotificationID);
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    if (lKursnotificationID == 0) return hr;

    CQvADOConnection conn;
    hr = kurs::OpenConnection(conn);
    long lItemID = 0;
    if (SUCCEEDED(hr)) hr = kurs::GetUniqueID(conn, L"KursnotificationItem", L"lKursnotificationItemID", lItemID);
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"INSERT INTO KursnotificationItem (lKursnotificationItemID, lKursnotificationID, lPersonID, "
                      L"lKursID, lKursinstanzID, strPerson, strKurs, strKursinstanz, lArt, lStatus) SELECT %d, %d, %d, "
                      L"lKursID, %d, dbo.fn_GetPersonBezeichnung(%d, 'A'), dbo.fn_GetKursBezeichnung(lKursID), "
                      L"dbo.fn_GetKursinstanzBezeichnung(%d), %d, %d FROM Kursinstanz WHERE lKursinstanzID = %d",
                      lItemID, lKursnotificationID, lPersonID, lKursinstanzID, lPersonID, lKursinstanzID, lArt,
                      static_cast<long>(eStatus), lKursinstanzID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}
