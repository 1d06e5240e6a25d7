// Double-booking checks: a person planned twice for a course in one year, or booked into two open
// runs of a course in one year, or twice into the same run.
#include "kursint.h"

#include "nqcommon.h"
#include "qvinteract.h"
#include "kursresource.h"

namespace {

// The lookups of the run's double-booking check, on one connection, the profile's settings looked
// at once. lCount: the registrations it collides with (none when the registration is written
// unchanged), nMsgID: the message of a collision.
long CountKursinstanzDoppelbelegung(long lPersonKursID, long lPersonID, long lKursID, long lKursinstanzID,
                                    long& lCount, UINT& nMsgID) {
    const QvDBSettingsScope settings;
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    if (FAILED(hr)) return KURS_REPORTDBERROR(conn, hr);
    CString strWhere;

    if (lPersonKursID != 0) {
        // Writing a registration that already holds this person in this run again changes nothing
        // to check. A registration handed to another person or moved to another run is checked
        // like a new one (it is left out of the counts below).
        long lFound = 0;
        strWhere.Format(L"lPersonKursID = %d AND lPersonID = %d AND lKursinstanzID = %d", lPersonKursID, lPersonID,
                        lKursinstanzID);
        hr = QvDBLookupLong(conn, L"lPersonKursID", L"PersonKurs", strWhere, &lFound);
        if (FAILED(hr)) return KURS_TRACEHR(hr);
        if (hr == S_OK && lFound == lPersonKursID) return S_OK;
    }

    BOOL bClosed = FALSE;
    if (lKursinstanzID != -1) {
        strWhere.Format(L"lKursinstanzID = %d", lKursinstanzID);
        hr = QvDBLookupBool(conn, L"fGeschlossen", L"Kursinstanz", strWhere, &bClosed);
        if (FAILED(hr)) return KURS_TRACEHR(hr);
    }

    BOOL bMulti = FALSE;
    strWhere.Format(L"lKursID = %d", lKursID);
    hr = QvDBLookupBool(conn, L"fMultiregistration", L"Kurs", strWhere, &bMulti);
    if (FAILED(hr)) return KURS_TRACEHR(hr);

    if (bClosed || bMulti) {
        strWhere.Format(L"lPersonKursID <> %d AND PersonKurs.lKursID = %d AND PersonKurs.lPersonID = %d AND "
                        L"PersonKurs.lKursinstanzID = %d",
                        lPersonKursID, lKursID, lPersonID, lKursinstanzID);
        nMsgID = IDS_DOPPEL_SAME_KURSINSTANZ;
    } else {
        strWhere.Format(L"lPersonKursID <> %d AND PersonKurs.lKursID = %d AND PersonKurs.lStatus <> %d AND "
                        L"PersonKurs.lPersonID = %d AND PersonKurs.lKursinstanzID <> -1 AND Kursinstanz.fGeschlossen "
                        L"= 0 AND year(Kursinstanz.dtDatum) = (SELECT year(dtDatum) FROM Kursinstanz WHERE "
                        L"lKursinstanzID = %d)",
                        lPersonKursID, lKursID, 5, lPersonID, lKursinstanzID);
        nMsgID = IDS_DOPPEL_KURSINSTANZ;
    }

    hr = QvDBLookupLong(conn, L"count(*)",
                        L"PersonKurs JOIN Kursinstanz ON PersonKurs.lKursinstanzID = Kursinstanz.lKursinstanzID",
                        strWhere, &lCount);
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    return hr;
}

}  // namespace

long VRQ_CheckKursinstanzDoppelbelegung(long lPersonKursID, long lPersonID, long lKursID, long lKursinstanzID) {
    CKursResourceScope scope;
    long lCount = 0;
    UINT nMsgID = 0;
    const long hr = CountKursinstanzDoppelbelegung(lPersonKursID, lPersonID, lKursID, lKursinstanzID, lCount, nMsgID);
    if (FAILED(hr)) return hr;
    // The person's name is read only for the message, when the check refuses.
    if (lCount > 0) {
        CString strMsg;
        strMsg.Format(nMsgID, NQ_GetPersonBezeichnung(lPersonID, CString()));
        kurs::Tell(strMsg, MB_OK | MB_ICONEXCLAMATION);
        return E_ABORT;
    }
    return hr;
}

long VRQ_CheckKursDoppelbelegung(long lPersonKursID, long lPersonID, long lKursID, long lKursinstanzID, long lYear) {
    CKursResourceScope scope;
    // The yearly check is for planned registrations, without run, only.
    if (lKursinstanzID != -1) return S_OK;

    CString strWhere;
    BOOL bMulti = FALSE;
    strWhere.Format(L"lKursID = %d", lKursID);
    long hr = QvDBLookupBool(L"fMultiregistration", L"Kurs", strWhere, &bMulti, kurs::kProfile);
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    if (bMulti) return hr;

    strWhere.Format(L"fTeilnehmer = 1 AND lPersonKursID <> %d AND lPersonID = %d AND lKursID = %d AND "
                    L"lKursinstanzID =-1 AND lStatus IN (%d,%d,%d,%d) AND year(dtDatum) = %d",
                    lPersonKursID, lPersonID, lKursID, 0, 3, 4, 7, lYear);
    long lCount = 0;
    hr = QvDBLookupLong(L"count(*)", L"PersonKurs", strWhere, &lCount, kurs::kProfile);
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    if (lCount != 0) {
        CString strMsg;
        strMsg.Format(IDS_DOPPEL_YEAR, NQ_GetPersonBezeichnung(lPersonID, CString()), lYear);
        kurs::Tell(strMsg, MB_OK | MB_ICONEXCLAMATION);
        return E_ABORT;
    }
    return hr;
}
