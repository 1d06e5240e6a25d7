// Booking instructors: the same registration row as a participant's, with a leadership role and
// without the checks and the online registration of participants.
#include "kursint.h"

#include "kursresource.h"
#include "nqcommon.h"
#include "qvsec.h"

long CVRQKurs::AddInstruktorToKurs(long lPersonID, long lKursID, long lKursinstanzID, long lYear, long lKursleitungID,
                                   long& lPersonKursID, EPersonKursStatus& eStatus) {
    CKursResourceScope scope;
    if (lPersonID == 0) return KURS_TRACEHR(E_FAIL);

    CQvGUID guidPersonKurs;
    if (lPersonKursID != 0) guidPersonKurs = GetPersonKursGUID(lPersonKursID);

    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = conn.Open(kurs::kProfile, 0);
    if (FAILED(hr)) KURS_TRACEHR(hr);
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
    if (SUCCEEDED(hr) && lPersonKursID == 0 && lKursinstanzID != -1) {
        CString strWhere;
        strWhere.Format(L"fTeilnehmer=0 AND lPersonID=%d AND lKursID=%d AND lKursinstanzID =-1 AND lStatus=%d AND "
                        L"year(dtDatum) = %d",
                        lPersonID, lKursID, 0, lYear);
        long lPlanned = 0;
        hr = QvDBLookupLong(L"lPersonKursID", L"PersonKurs", strWhere, &lPlanned, kurs::kProfile);
        if (FAILED(hr)) KURS_TRACEHR(hr);
        if (hr == S_OK) {
            lPersonKursID = lPlanned;
            bReregistered = true;
        }
        if (SUCCEEDED(hr)) hr = S_OK;
    }

    if (SUCCEEDED(hr) && lKursinstanzID != -1) eStatus = kurs::BookingDefaultStatus();

    if (SUCCEEDED(hr)) {
        CString strSQL;
        if (lPersonKursID == 0) {
            if (guidPersonKurs.IsNULL()) guidPersonKurs.NewGUID();
            long lNewID = 0;
            hr = conn.GetUniqueID(L"PersonKurs", L"lPersonKursID", &lNewID);
            if (FAILED(hr)) KURS_TRACEHR(hr);
            if (SUCCEEDED(hr)) {
                strSQL.Format(L"INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, lKursinstanzID, "
                              L"lKursinstanzGruppeID, lAbsenzgrundID, lKursleitungID, fTeilnehmer, lStatus, dtDatum, "
                              L"dtAnmeldung, strBemerkung, changedBy, fEntschuldigt, guid) VALUES (%d, %d, %d, %d, -1, "
                              L"-1, %d, 0, %d, %s, %s, '', dbo.fn_GetSystemID(), 0, '%s')",
                              lNewID, lPersonID, lKursID, lKursinstanzID, lKursleitungID, static_cast<long>(eStatus),
                              dtDatum.SQLConvert(), dtAnmeldung.SQLConvert(),
                              QvSQLString(guidPersonKurs.GetGUID(TRUE), 0));
                hr = conn.Execute(strSQL);
                if (FAILED(hr)) KURS_TRACEHR(hr);
            }
            if (SUCCEEDED(hr)) lPersonKursID = lNewID;
        } else {
            strSQL.Format(L"UPDATE PersonKurs SET lKursID = %d, lKursinstanzID = %d, dtAnmeldung = %s, lStatus = %d, "
                          L"dtDatum = %s, changedBy = dbo.fn_GetSystemID() WHERE lPersonKursID = %d",
                          lKursID, lKursinstanzID, dtAnmeldung.SQLConvert(), static_cast<long>(eStatus),
                          dtDatum.SQLConvert(), lPersonKursID);
            hr = conn.Execute(strSQL);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
    }

    if (SUCCEEDED(hr)) hr = VRQ_AddKursNotificationItem(FALSE, lPersonID, lKursinstanzID, 1, eStatus);

    // The leader of a run taken back into it gets the rights of its leader again.
    if (SUCCEEDED(hr) && bReregistered && lKursinstanzID != -1) {
        long lQvSecUserID = 0;
        {
            CQvSec sec;
            sec.GetUser(nullptr, nullptr, &lQvSecUserID);
        }
        BOOL bLeiter = FALSE;
        CString strWhere;
        strWhere.Format(L"lPersonKursID=%d", lPersonKursID);
        hr = QvDBLookupBool(L"fLeiter", L"PersonKurs", strWhere, &bLeiter, kurs::kProfile);
        if (FAILED(hr)) KURS_TRACEHR(hr);
        if (SUCCEEDED(hr)) hr = S_OK;
        if (SUCCEEDED(hr) && bLeiter) {
            hr = VRQ_DoUpdateSecKurs(lQvSecUserID, 0, lKursinstanzID, nullptr);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
    }

    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT Kurs.guid AS guidKurs, isnull(Kursinstanz.guid, "
                      L"'00000000-0000-0000-0000-000000000000') AS guidKursinstanz, Person.guid AS guidPerson, "
                      L"dbo.fn_GetPersonBezeichnung(pk.lPersonID, 'A') AS strBezeichnung FROM PersonKurs pk JOIN Kurs "
                      L"ON pk.lKursID = Kurs.lKursID LEFT OUTER JOIN Kursinstanz ON pk.lKursinstanzID = "
                      L"Kursinstanz.lKursinstanzID JOIN Person ON pk.lPersonID = Person.lPersonID WHERE "
                      L"pk.lPersonKursID = %d",
                      lPersonKursID);
        hr = rs.Open(strSQL);
        if (FAILED(hr)) KURS_TRACEHR(hr);
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) {
            hr = rs.IsEOF(&bEOF);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
        CQvGUID guidKurs;
        CQvGUID guidKursinstanz;
        CQvGUID guidPerson;
        CString strBezeichnung;
        if (SUCCEEDED(hr) && !bEOF) {
            hr = rs.GetFieldValue(L"guidKurs", &guidKurs);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guidKursinstanz", &guidKursinstanz);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guidPerson", &guidPerson);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBezeichnung", &strBezeichnung);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
        rs.Close();
        if (SUCCEEDED(hr)) {
            const bool bKurs = lKursinstanzID == -1;
            CString strDetail;
            strDetail.Format(L"Instruktor:%s | Status:%s", strBezeichnung,
                             NQ_GetPersonKursStatusBezeichnung(eStatus, lKursinstanzID, FALSE, CString()));
            hr = kurs::WriteUserLog(0, IDS_LOG_PERSON_ADDED, strDetail, CString(L"Ausbildung") + L".Person.Instruktor",
                                    static_cast<long>(eStatus), bKurs ? 39 : 42, bKurs ? guidKurs : guidKursinstanz,
                                    guidPerson);
        }
    }

    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}
