// Booking participants: adding a person to a course or run, changing the status of a
// registration and handing a registration to another person.
#include "kursint.h"

#include "nqcommon.h"
#include "qvinteract.h"
#include "kursapiresource.h"
#include "kursresource.h"
#include "userlog.h"

namespace kurs {

long LookupPlannedRegistration(BOOL bTeilnehmer, long lPersonID, long lKursID, long lYear, long& lPlannedID) {
    CString strWhere;
    strWhere.Format(L"fTeilnehmer=%d AND lPersonID=%d AND lKursID=%d AND lKursinstanzID =-1 AND lStatus=%d AND "
                    L"year(dtDatum) = %d",
                    bTeilnehmer ? 1 : 0, lPersonID, lKursID, 0, lYear);
    const long hr = QvDBLookupLong(L"lPersonKursID", L"PersonKurs", strWhere, &lPlannedID, kProfile);
    if (FAILED(hr)) KURS_TRACEHR(hr);
    return hr;
}

namespace {

// A registration as stored, for what the central installation is told.
struct StoredForCentral {
    bool bFound = false;
    long lPersonID = 0;
    long lKursID = -1;
    long lKursinstanzID = -1;
    long lStatus = -1;
    CQvGUID guid;
};

// Reads the registration on a statement of its own, without a report: the failure that led here is
// the one the user hears of. False when it cannot be read: nothing may then be sent, and the user's
// message says that the central installation may differ.
bool ReadStoredForCentral(long lPersonKursID, StoredForCentral& stored) {
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = OpenConnection(conn);
    CString strSQL;
    strSQL.Format(L"SELECT lPersonID, lKursID, lKursinstanzID, lStatus, guid FROM PersonKurs WHERE lPersonKursID = %d",
                  lPersonKursID);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = OpenRows(rs, strSQL, bEOF);
    if (SUCCEEDED(hr) && !bEOF) {
        stored.bFound = true;
        hr = rs.GetFieldValue(L"lPersonID", &stored.lPersonID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursID", &stored.lKursID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursinstanzID", &stored.lKursinstanzID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStatus", &stored.lStatus);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guid", &stored.guid);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    if (FAILED(hr)) {
        NoteCentralMayDiffer();
        return false;
    }
    return true;
}

// Books the registration at the central installation again, in its run with its status; a planned
// one (no run) is named by its GUID alone.
void BookAgainOnline(CVRQKurs& booking, long lPersonID, const StoredForCentral& stored) {
    CQvGUID guid = stored.guid;
    long hr = stored.lKursinstanzID == -1 ? booking.WebAddPlannedPersonKurs(lPersonID, stored.lKursID, guid)
                                          : booking.WebAddPersonToKursinstanz(lPersonID, stored.lKursinstanzID, guid);
    if (SUCCEEDED(hr) && stored.lKursinstanzID != -1)
        hr = booking.WebUpdatePersonKursStatus(lPersonID, stored.lKursinstanzID,
                                               static_cast<EPersonKursStatus>(stored.lStatus));
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        booking.DisplayStatusMsg();
    }
}

}  // namespace

void TakeBackOnline(CVRQKurs& booking, long lPersonKursID, long lPersonID, long lKursinstanzID, SentOnline eSent,
                    long lSentStatus, long lStatusBefore) {
    StoredForCentral stored;
    if (lStatusBefore >= 0) {
        // The caller's transaction, rolled back by the caller: the registration as it was shown.
        if (!ReadStoredForCentral(lPersonKursID, stored)) return;
        stored.bFound = true;
        stored.lPersonID = lPersonID;
        stored.lKursinstanzID = lKursinstanzID;
        stored.lStatus = lStatusBefore;
    } else if (!ReadStoredForCentral(lPersonKursID, stored)) {
        return;
    }
    // Removed meanwhile: whoever did that told the central installation.
    if (!stored.bFound) return;
    long hr = S_OK;
    switch (eSent) {
    case SentOnline::eStatus:
        // Stored with the status sent (a commit whose answer was lost), or no longer in the run.
        if (stored.lKursinstanzID != lKursinstanzID) return;
        if (stored.lPersonID == lPersonID && stored.lStatus == lSentStatus) return;
        // Handed over meanwhile, the registration keeps its status there too whichever of the two
        // requests came first: the status is sent for the person who holds it.
        hr = booking.WebUpdatePersonKursStatus(stored.lPersonID, lKursinstanzID,
                                               static_cast<EPersonKursStatus>(stored.lStatus));
        break;
    case SentOnline::eRemoval:
        // Out of the run as sent (stored after all), moved on, or handed over meanwhile: the hand-over
        // went to the central installation for the person who holds it.
        if (stored.lKursinstanzID != lKursinstanzID || stored.lPersonID != lPersonID) return;
        BookAgainOnline(booking, lPersonID, stored);
        return;
    case SentOnline::eDeletion: {
        if (stored.lPersonID != lPersonID) return;
        BookAgainOnline(booking, lPersonID, stored);
        return;
    }
    }
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        booking.DisplayStatusMsg();
    }
}

void TakeBackSwitch(CVRQKurs& booking, long lPersonKursID, long lNewPersonID, long lKursinstanzID,
                    bool bCallersUnit) {
    StoredForCentral stored;
    if (!bCallersUnit) {
        if (!ReadStoredForCentral(lPersonKursID, stored)) return;
        // Stored after all (a commit whose answer was lost): the central installation holds it so too.
        if (stored.bFound && stored.lPersonID == lNewPersonID && stored.lKursinstanzID == lKursinstanzID) return;
    }
    const long hr = booking.WebRemovePersonFromKursinstanz(lNewPersonID, lKursinstanzID);
    if (FAILED(hr)) booking.DisplayStatusMsg();
}

long HoldRegistrationAsRead(CQvADOConnection& conn, long lPersonKursID, long lPersonID, bool bPlanned,
                            CString& strHeld) {
    ShownRegistration shown = Shown(lPersonKursID, bPlanned ? -1 : CVRQKurs::kRunAsNamed,
                                    bPlanned ? ePersonKursStatusAngemeldet : -1, lPersonID);
    ShownRegistration stored;
    const long hr = CheckRegistrationShown(conn, shown, &stored);
    if (SUCCEEDED(hr)) strHeld = ShownCondition(stored);
    return hr;
}

long InsertRegistration(CQvADOConnection& conn, BOOL bTeilnehmer, long lPersonID, long lKursID, long lKursinstanzID,
                        long lKursleitungID, EPersonKursStatus eStatus, const CQvDateTime& dtDatum,
                        const CQvDateTime& dtAnmeldung, CQvGUID& guidPersonKurs, long& lPersonKursID) {
    if (guidPersonKurs.IsNULL()) guidPersonKurs.NewGUID();
    long lNewID = 0;
    long hr = GetUniqueID(conn, L"PersonKurs", L"lPersonKursID", lNewID);
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, lKursinstanzID, "
                      L"lKursinstanzGruppeID, lAbsenzgrundID, lKursleitungID, fTeilnehmer, lStatus, dtDatum, "
                      L"dtAnmeldung, strBemerkung, changedBy, fEntschuldigt, guid) VALUES (%d, %d, %d, %d, -1, "
                      L"-1, %d, %d, %d, %s, %s, '', dbo.fn_GetSystemID(), 0, '%s')",
                      lNewID, lPersonID, lKursID, lKursinstanzID, lKursleitungID, bTeilnehmer ? 1 : 0,
                      static_cast<long>(eStatus), dtDatum.SQLConvert(), dtAnmeldung.SQLConvert(),
                      QvSQLString(guidPersonKurs.GetGUID(TRUE), 0));
        hr = Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) lPersonKursID = lNewID;
    return hr;
}

long LogBookingAdded(CQvADORecordset& rs, BOOL bTeilnehmer, long lPersonKursID, long lKursinstanzID,
                     EPersonKursStatus eStatus) {
    CString strSQL;
    strSQL.Format(L"SELECT Kurs.guid AS guidKurs, isnull(Kursinstanz.guid, "
                  L"'00000000-0000-0000-0000-000000000000') AS guidKursinstanz, Person.guid AS guidPerson, "
                  L"dbo.fn_GetPersonBezeichnung(pk.lPersonID, 'A') AS strBezeichnung FROM PersonKurs pk JOIN Kurs "
                  L"ON pk.lKursID = Kurs.lKursID LEFT OUTER JOIN Kursinstanz ON pk.lKursinstanzID = "
                  L"Kursinstanz.lKursinstanzID JOIN Person ON pk.lPersonID = Person.lPersonID WHERE "
                  L"pk.lPersonKursID = %d",
                  lPersonKursID);
    BOOL bEOF = TRUE;
    long hr = OpenRows(rs, strSQL, bEOF);
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
    if (FAILED(hr)) return hr;

    const bool bKurs = lKursinstanzID == -1;
    CString strDetail;
    strDetail.Format(bTeilnehmer ? L"Teilnehmer:%s | Status:%s" : L"Instruktor:%s | Status:%s", strBezeichnung,
                     NQ_GetPersonKursStatusBezeichnung(eStatus, lKursinstanzID, bTeilnehmer, CString()));
    return WriteUserLog(0, IDS_LOG_PERSON_ADDED, strDetail, PersonModul(bTeilnehmer), static_cast<long>(eStatus),
                        bKurs ? 39 : 42, bKurs ? guidKurs : guidKursinstanz, guidPerson);
}

}  // namespace kurs

long CVRQKurs::AddPersonToKurs(long lPersonID, long lKursID, long lKursinstanzID, long lYear, long& lPersonKursID,
                               EPersonKursStatus& eStatus) {
    CKursResourceScope scope;
    const long lReports = kurs::ReportCount();
    const long lGone = kurs::GoneCount();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);

    long hr = kurs::OpenConnection(conn);

    if (SUCCEEDED(hr) && lPersonID == 0) {
        eStatus = ePersonKursStatusAngemeldet;
        hr = KURS_TRACEHR(E_FAIL);
    }

    // The checks, in this order; a check that refused has told the user why.
    if (SUCCEEDED(hr)) hr = VRQ_CheckKursDoppelbelegung(lPersonKursID, lPersonID, lKursID, lKursinstanzID, lYear);
    if (SUCCEEDED(hr)) hr = VRQ_CheckKursinstanzDoppelbelegung(lPersonKursID, lPersonID, lKursID, lKursinstanzID);
    CQvDateTime dtBooking;
    CQvDateTime dtStart;
    if (SUCCEEDED(hr)) hr = GetKursdatum(lKursinstanzID, lYear, dtBooking, dtStart);
    if (SUCCEEDED(hr)) hr = VRQ_CheckKursPrecondition(lPersonID, lKursID, dtStart, dtBooking);
    if (hr == E_ABORT) return S_FALSE;

    // A planned registration of the person for this course and year moves into the run.
    bool bPlanned = false;
    if (SUCCEEDED(hr) && lPersonKursID == 0 && lKursinstanzID != -1) {
        long lPlanned = 0;
        hr = kurs::LookupPlannedRegistration(TRUE, lPersonID, lKursID, lYear, lPlanned);
        // Only a single planned row is taken; with several the booking gets a row of its own.
        if (hr == S_OK) {
            lPersonKursID = lPlanned;
            bPlanned = true;
        }
    }

    // A planned absence at the run's date: the user decides.
    if (SUCCEEDED(hr) && lKursinstanzID != -1) {
        CString strSQL;
        strSQL.Format(L"SELECT TOP 1 strBezeichnung + ' ' + convert(varchar(10),dtStart,104) + ' - ' + "
                      L"convert(varchar(10),dtEnde,104) AS strAbsenz, dbo.fn_GetPersonBezeichnung(lPersonID, 'A') AS "
                      L"strPerson FROM view_Personabsenz WHERE lPersonID = %d AND dbo.fn_CheckAbsenz4Kurs(%d, "
                      L"lPersonabsenzID) = 1 ORDER BY dtStart desc ",
                      lPersonID, lKursinstanzID);
        BOOL bEOF = TRUE;
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        CString strAbsenz;
        CString strPerson;
        if (SUCCEEDED(hr) && !bEOF) {
            hr = rs.GetFieldValue(L"strAbsenz", &strAbsenz);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPerson", &strPerson);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
        rs.Close();
        if (SUCCEEDED(hr) && !strAbsenz.IsEmpty()) {
            CString strMsg;
            strMsg.Format(IDS_ABSENZ_QUESTION, strPerson, strAbsenz);
            if (kurs::Ask(strMsg, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return S_FALSE;
        }
    }
    // A rehearsal ends with the questions: nothing is sent or written.
    if (kurs::Rehearsing()) return hr;

    // A registration taken up again (the planned one found above, or the caller's) is written only
    // while it is stored as read here: one placed or changed meanwhile is left as it is.
    CString strHeld;
    if (SUCCEEDED(hr) && lPersonKursID != 0) {
        hr = kurs::HoldRegistrationAsRead(conn, lPersonKursID, lPersonID, bPlanned, strHeld);
        if (hr == E_ABORT) return hr;
    }

    CQvGUID guidPersonKurs;
    if (SUCCEEDED(hr)) {
        eStatus = ePersonKursStatusAngemeldet;
        if (lPersonKursID != 0) guidPersonKurs = GetPersonKursGUID(lPersonKursID);
    }

    // Online registration; the central installation's answer sets the status.
    if (SUCCEEDED(hr)) {
        hr = WebAddPersonToKursinstanz(lPersonID, lKursinstanzID, guidPersonKurs);
        if (hr == S_OK) {
            eStatus = kurs::BookingDefaultStatus();
        } else if (hr == S_FALSE) {
            if (m_strLastStatus == L"provisorisch") {
                eStatus = ePersonKursStatusProvisorisch;
                hr = S_OK;
            } else if (m_strLastStatus == L"queue") {
                eStatus = ePersonKursStatusWarteliste;
                hr = S_OK;
            } else if (m_strLastStatus == L"penalty") {
                eStatus = ePersonKursStatusWartelistePenalty;
                hr = S_OK;
            } else {
                eStatus = ePersonKursStatusAngemeldet;
            }
        } else {
            eStatus = ePersonKursStatusAngemeldet;
            KURS_TRACEHR(hr);
            DisplayStatusMsg();
        }
    }

    const CQvDateTime dtAnmeldung = COleDateTime::GetCurrentTime();
    bool bInserted = false;
    // The registration row, the notification item and the reservation count-down are written as
    // one unit, begun only after the online request so that no write transaction waits on the
    // network. Inside a caller's transaction they stay part of that one.
    const bool bSent = SUCCEEDED(hr);
    const long lSentID = lPersonKursID;
    kurs::CKursTransaction trans(conn);
    // A deadlock victim's writes went with its transaction: the booking writes them again, as the
    // retry rule repeats a statement, when the transaction is its own.
    for (long lTry = 1;; ++lTry) {
        kurs::ForgetDeadlock();
        if (SUCCEEDED(hr)) hr = trans.Begin();
        if (SUCCEEDED(hr)) {
            if (lPersonKursID == 0) {
                hr = kurs::InsertRegistration(conn, TRUE, lPersonID, lKursID, lKursinstanzID, -1, eStatus, dtBooking,
                                              dtAnmeldung, guidPersonKurs, lPersonKursID);
                bInserted = SUCCEEDED(hr);
            } else {
                CString strSQL;
                long lAffected = 1;
                if (lKursinstanzID == -1) {
                    strSQL.Format(L"UPDATE PersonKurs SET dtDatum = %s WHERE %s", dtBooking.SQLConvert(),
                                  static_cast<LPCWSTR>(strHeld));
                    hr = kurs::Execute(conn, strSQL, &lAffected);
                }
                if (SUCCEEDED(hr) && lAffected != 0) {
                    strSQL.Format(L"UPDATE PersonKurs SET lKursID = %d, lKursinstanzID = %d, dtAnmeldung = %s, "
                                  L"lStatus = %d, changedBy = dbo.fn_GetSystemID() WHERE %s",
                                  lKursID, lKursinstanzID, dtAnmeldung.SQLConvert(), static_cast<long>(eStatus),
                                  static_cast<LPCWSTR>(strHeld));
                    hr = kurs::Execute(conn, strSQL, &lAffected);
                }
                // Placed or changed by another user since it was read: nothing of this booking is
                // written, and what was sent for it is taken back below.
                if (SUCCEEDED(hr) && lAffected == 0) hr = kurs::RegistrationNotAsShown(lPersonKursID);
            }
        }

        if (SUCCEEDED(hr)) hr = VRQ_AddKursNotificationItem(TRUE, lPersonID, lKursinstanzID, 1, eStatus);
        if (SUCCEEDED(hr) && bInserted) hr = VRQ_UpdateKursreservation(lPersonKursID);
        if (FAILED(hr) && trans.Owns() && kurs::TakeDeadlock() && lTry < conn.m_lExecuteRetry) {
            kurs::ForgetUnitMessages();
            trans.End(hr);
            hr = S_OK;
            lPersonKursID = lSentID;
            bInserted = false;
            continue;
        }
        break;
    }
    // Reported once the transaction has ended (the rollback leaves the error to read), unless the
    // step that failed reported it; a failed commit is reported here.
    const bool bOwn = trans.Owns();
    hr = trans.End(hr);
    const bool bReported = FAILED(hr);
    // A registration found changed has been told of.
    if (bReported && kurs::GoneCount() == lGone && kurs::ReportCount() == lReports) KURS_REPORTDBERROR(conn, hr);
    if (FAILED(hr) && bSent) {
        // Nothing of the booking stays here, so the central installation must not keep it either.
        if (bInserted) lPersonKursID = lSentID;
        const long hrRemove = WebRemovePersonFromKursinstanz(lPersonID, lKursinstanzID);
        if (FAILED(hrRemove)) DisplayStatusMsg();
    }

    if (SUCCEEDED(hr)) {
        const long hrLog = kurs::LogBookingAdded(rs, TRUE, lPersonKursID, lKursinstanzID, eStatus);
        if (FAILED(hrLog) && bOwn) {
            // The booking is committed: the user reads that it is saved, and why its entry is missing.
            CString strCause = kurs::TakeLogRefusal(hrLog);
            if (strCause.IsEmpty()) conn.GetErrorText(strCause);
            if (strCause.IsEmpty()) strCause.Format(L"No OLEDB Error available!\n%s", CrackHR(hrLog));
            CString strText;
            strText.Format(IDS_BOOKING_LOG_FAILED, static_cast<LPCWSTR>(strCause));
            QvReportDBErrorText(strText, hrLog, __FILE__, __LINE__);
        } else {
            hr = hrLog;
        }
    }

    if (FAILED(hr) && !bReported) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

long CVRQKurs::UpdatePersonKursStatus(BOOL bTeilnehmer, long lPersonKursID, long lPersonID, long lKursinstanzID,
                                      EPersonKursStatus eStatus, long lShownStatus, long lShownKursinstanzID,
                                      long lShownLeiter) {
    CKursResourceScope scope;
    long hr = S_OK;

    // A local installation may only deregister from open runs of the courses it does not own.
    if (lKursinstanzID != -1 && VRQ_GetKursAuthority(lKursinstanzID, TRUE) != eAuthorityTypLokal &&
        !NQ_IsEnterpriseEdition()) {
        if (eStatus != ePersonKursStatusAbgemeldet) return KURS_TRACEHR(E_FAIL);
        BOOL bClosed = TRUE;
        CString strWhere;
        strWhere.Format(L"lKursinstanzID = %d", lKursinstanzID);
        QvDBLookupBool(L"fGeschlossen", L"Kursinstanz", strWhere, &bClosed, kurs::kProfile);
        if (bClosed) {
            kurs::Tell(kurs::Text(IDS_KURSINSTANZ_CLOSED), MB_OK | MB_ICONINFORMATION);
            return KURS_TRACEHR(E_ABORT);
        }
    }

    // The registration is changed only as the caller shows it: in the run it names (or shows), with
    // the status it shows. Moved or changed by another user meanwhile, it is left as it is stored,
    // and the central installation and the log hear nothing of it.
    const kurs::ShownRegistration shown = kurs::Shown(
        lPersonKursID, kurs::ShownRun(lKursinstanzID, lShownKursinstanzID), lShownStatus, lPersonID, lShownLeiter);
    const CString strShown = kurs::ShownCondition(shown);

    const long lReports = kurs::ReportCount();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    hr = kurs::OpenConnection(conn);
    long lStatusBefore = -1;
    kurs::ShownRegistration stored;
    if (SUCCEEDED(hr)) hr = kurs::CheckRegistrationShown(conn, shown, &stored);
    if (SUCCEEDED(hr)) lStatusBefore = stored.lStatus;
    if (hr == E_ABORT) return hr;

    // A participant's change goes to the central installation first; a refusal changes nothing.
    bool bSent = false;
    if (SUCCEEDED(hr) && bTeilnehmer) {
        hr = WebUpdatePersonKursStatus(lPersonID, lKursinstanzID, eStatus);
        if (FAILED(hr)) {
            KURS_TRACEHR(hr);
            KURS_REPORTDBERROR(conn, hr);
            return hr;
        }
        bSent = hr == S_OK;  // 1: nothing was sent
    }

    // The status, its date, the notification item and the log entry are written as one unit, begun
    // after the online request so that no write transaction waits on the network: stored together
    // or not at all. Inside a caller's transaction they stay part of that one.
    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();
    if (FAILED(hr)) lStatusBefore = -1;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        if (bTeilnehmer) {
            strSQL.Format(L"UPDATE PersonKurs SET lStatus = %d, changedBy = dbo.fn_GetSystemID() WHERE %s",
                          static_cast<long>(eStatus), static_cast<LPCWSTR>(strShown));
        } else {
            strSQL.Format(L"UPDATE PersonKurs SET lStatus = %d WHERE %s", static_cast<long>(eStatus),
                          static_cast<LPCWSTR>(strShown));
        }
        long lAffected = 0;
        hr = kurs::Execute(conn, strSQL, &lAffected);
        // Changed or removed between the reading and the writing: no status to change, no entry to
        // log, and the central installation keeps nothing of it.
        if (SUCCEEDED(hr) && lAffected == 0) hr = kurs::RegistrationChanged();
        // Written as read: whatever fails after this, the status before is the one to restore.
        if (FAILED(hr)) lStatusBefore = -1;
    }
    if (SUCCEEDED(hr) && bTeilnehmer && lKursinstanzID != -1 && eStatus == ePersonKursStatusAbgemeldet) {
        CString strSQL;
        strSQL.Format(L"UPDATE PersonKurs SET dtDatum = getdate() WHERE lPersonKursID = %d", lPersonKursID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) {
        hr = VRQ_AddKursNotificationItem(bTeilnehmer, lPersonID, lKursinstanzID, 2, eStatus);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    kurs::ChangedRegistration reg;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT Kurs.guid AS guidKurs, isnull(Kursinstanz.guid, "
                      L"'00000000-0000-0000-0000-000000000000') AS guidKursinstanz, Person.guid AS guidPerson, "
                      L"pk.lStatus, pk.lKursinstanzID, pk.fTeilnehmer, dbo.fn_GetPersonBezeichnung(pk.lPersonID, 'A') "
                      L"AS strPerson, 'Status:' + convert(varchar,pk.lStatus) AS strData FROM PersonKurs pk JOIN Kurs "
                      L"ON pk.lKursID = Kurs.lKursID LEFT OUTER JOIN Kursinstanz ON pk.lKursinstanzID = "
                      L"Kursinstanz.lKursinstanzID JOIN Person ON pk.lPersonID = Person.lPersonID WHERE "
                      L"pk.lPersonKursID = %d",
                      lPersonKursID);
        hr = kurs::ReadChangedRegistration(rs, strSQL, true, reg);
    }
    if (SUCCEEDED(hr)) hr = kurs::LogRegistrationChanged(reg);

    // A change that is not stored is reported once, after the unit, unless a step reported it or
    // the user was told it changed meanwhile; a failed commit is reported here.
    // Not stored, or not known to be (a commit whose answer was lost): the central installation is
    // told what is stored, before the user hears of the failure.
    const bool bOwn = trans.Owns();
    hr = trans.End(hr, [&](long hrEnd) {
        if (FAILED(hrEnd) && bSent)
            kurs::TakeBackOnline(*this, lPersonKursID, lPersonID, lKursinstanzID, kurs::SentOnline::eStatus,
                                 static_cast<long>(eStatus), bOwn ? -1 : lStatusBefore);
    });
    if (FAILED(hr) && hr != E_ABORT && kurs::ReportCount() == lReports) KURS_REPORTDBERROR(conn, hr);
    kurs::TellCentralMayDiffer();
    return FAILED(hr) ? hr : S_OK;
}

long CVRQKurs::SwitchPerson(long lNewPersonID, long lKursID, long lKursinstanzID, long lPersonKursID,
                            long lShownStatus, long lShownPersonID) {
    CKursResourceScope scope;
    if (lNewPersonID == 0 || lKursinstanzID == -1) return KURS_TRACEHR(E_FAIL);

    // Only a registration still in the run, with the status shown, is handed over: one moved, changed
    // or removed meanwhile is left as it is, before a check asks anything or anything is sent.
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    const kurs::ShownRegistration shown = kurs::Shown(lPersonKursID, lKursinstanzID, lShownStatus, lShownPersonID);
    if (SUCCEEDED(hr)) hr = kurs::CheckRegistrationShown(conn, shown);
    if (hr == E_ABORT) return hr;
    if (FAILED(hr)) {
        KURS_REPORTDBERROR(conn, hr);
        return hr;
    }

    hr = VRQ_CheckKursinstanzDoppelbelegung(lPersonKursID, lNewPersonID, lKursID, lKursinstanzID);
    long lYear = 2000;
    CQvDateTime dtFirst;
    CQvDateTime dtSecond;
    if (SUCCEEDED(hr)) hr = GetKursdatum(lKursinstanzID, lYear, dtFirst, dtSecond);
    if (SUCCEEDED(hr)) hr = VRQ_CheckKursPrecondition(lNewPersonID, lKursID, dtSecond, dtFirst);
    if (hr == E_ABORT) return S_FALSE;
    if (FAILED(hr)) return KURS_TRACEHR(hr);

    CQvGUID guidPersonKurs;
    if (lPersonKursID != 0) guidPersonKurs = GetPersonKursGUID(lPersonKursID);

    hr = WebSwitchPersonOnKursinstanz(lNewPersonID, lKursinstanzID, guidPersonKurs);
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        DisplayStatusMsg();
        return hr;
    }

    const CQvDateTime dtAnmeldung = COleDateTime::GetCurrentTime();

    // The hand-over and the entries of both persons are one unit, begun after the online request:
    // stored together or not at all. Inside a caller's transaction they stay part of that one.
    const long lReports = kurs::ReportCount();
    const long lGone = kurs::GoneCount();
    kurs::CKursTransaction trans(conn);
    hr = trans.Begin();
    CQvGUID guidKursinstanz;
    CQvGUID guidOldPerson;
    CString strOldPerson;
    long lStatus = 0;
    if (SUCCEEDED(hr)) {
        // What the entries name is read while the registration is still the one shown.
        CString strSQL;
        strSQL.Format(L"SELECT Kursinstanz.guid AS guidKursinstanz, pk.lStatus, Person.guid AS guidPerson, "
                      L"dbo.fn_GetPersonBezeichnung(pk.lPersonID, 'A') AS strPerson FROM PersonKurs pk JOIN "
                      L"Kursinstanz ON pk.lKursinstanzID = Kursinstanz.lKursinstanzID JOIN Person ON pk.lPersonID = "
                      L"Person.lPersonID WHERE %s",
                      static_cast<LPCWSTR>(kurs::ShownCondition(shown, L"pk")));
        BOOL bEOF = TRUE;
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && !bEOF) {
            hr = rs.GetFieldValue(L"guidKursinstanz", &guidKursinstanz);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStatus", &lStatus);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guidPerson", &guidOldPerson);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPerson", &strOldPerson);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
        rs.Close();
        // Removed, handed over or changed since the check: nothing is written.
        if (SUCCEEDED(hr) && bEOF) hr = kurs::RegistrationNotAsShown(lPersonKursID);
    }
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"UPDATE PersonKurs SET lPersonID = %d, dtAnmeldung = %s, changedBy = dbo.fn_GetSystemID() WHERE %s",
                      lNewPersonID, dtAnmeldung.SQLConvert(), static_cast<LPCWSTR>(kurs::ShownCondition(shown)));
        long lAffected = 0;
        hr = kurs::Execute(conn, strSQL, &lAffected);
        if (SUCCEEDED(hr) && lAffected == 0) hr = kurs::RegistrationNotAsShown(lPersonKursID);
    }
    if (SUCCEEDED(hr)) {
        CString strText = kurs::Text(IDS_LOG_PERSON_SWITCHED);
        CString strModul = kurs::PersonModul(TRUE);
        CString strDetail;
        CUserLog log;
        strDetail.Format(L"Neu:%s", NQ_GetPersonBezeichnung(lNewPersonID, CString()));
        hr = log.WriteUpdate(&strText, &strDetail, &strModul, lStatus, 42, &guidKursinstanz, &guidOldPerson, 0, 0);
        if (FAILED(hr)) KURS_TRACEHR(hr);
        if (SUCCEEDED(hr)) {
            CQvGUID guidNewPerson = GetPersonGUID(lNewPersonID);
            strDetail.Format(L"Alt:%s", strOldPerson);
            hr = log.WriteUpdate(&strText, &strDetail, &strModul, lStatus, 42, &guidKursinstanz, &guidNewPerson, 0,
                                 0);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
    }
    const bool bOwn = trans.Owns();
    hr = trans.End(hr);
    if (FAILED(hr)) {
        // Not handed over here: the central installation hears of it, unless what is stored (read
        // again, when the unit was ours: a failed commit may have stored it) holds the new person.
        kurs::TakeBackSwitch(*this, lPersonKursID, lNewPersonID, lKursinstanzID, !bOwn);
        if (hr != E_ABORT && kurs::ReportCount() == lReports && kurs::GoneCount() == lGone)
            KURS_REPORTDBERROR(conn, hr);
        kurs::TellCentralMayDiffer();
        return hr;
    }
    return S_OK;
}
