// Taking registrations out of their runs, and deleting registrations for good.
#include "kursint.h"

#include "kursapiresource.h"
#include "kursresource.h"
#include "nqcommon.h"
#include "qvinteract.h"

namespace {

// What the log entries of a removal name: the run, the person, the person's name and the old
// status. Null GUIDs, an empty name and status 0 when the registration has no run or no row.
struct RemovedRegistration {
    bool bFound = false;
    CQvGUID guidKursinstanz;
    CQvGUID guidPerson;
    CString strBezeichnung;
    long lStatus = 0;
};

// Reads the registration while it is stored as shown (in the run named); not found when it was
// removed, moved to another run, handed over or changed meanwhile.
long ReadRegistrationInRun(CQvADORecordset& rs, const kurs::ShownRegistration& shown, RemovedRegistration& reg) {
    CString strSQL;
    strSQL.Format(L"SELECT Kursinstanz.guid, Person.guid AS guidPerson, dbo.fn_GetPersonBezeichnung(pk.lPersonID, "
                  L"'A') AS strBezeichnung, pk.lStatus FROM PersonKurs pk JOIN Kursinstanz ON pk.lKursinstanzID = "
                  L"Kursinstanz.lKursinstanzID JOIN Person ON pk.lPersonID = Person.lPersonID WHERE %s",
                  static_cast<LPCWSTR>(kurs::ShownCondition(shown, L"pk")));
    BOOL bEOF = TRUE;
    long hr = kurs::OpenRows(rs, strSQL, bEOF);
    if (SUCCEEDED(hr) && !bEOF) {
        reg.bFound = true;
        hr = rs.GetFieldValue(L"guid", &reg.guidKursinstanz);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guidPerson", &reg.guidPerson);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBezeichnung", &reg.strBezeichnung);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStatus", &reg.lStatus);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    return hr;
}

// Reads a column of the registration for an argument the caller did not know; the lookup's result.
long LookupRegistration(LPCWSTR lpszColumn, long lPersonKursID, long& lValue) {
    CString strWhere;
    strWhere.Format(L"lPersonKursID=%d", lPersonKursID);
    const long hr = QvDBLookupLong(lpszColumn, L"PersonKurs", strWhere, &lValue, kurs::kProfile);
    if (FAILED(hr)) KURS_TRACEHR(hr);
    return hr;
}

// Leaves the run: no run, no group. The leader flag stays, so that a leader taken back into the run
// gets its rights again; joining a run that has a leader clears it (KeepOneKursLeiter). A
// registration removed meanwhile, moved out of the run named, handed over or changed from the
// status shown is left as it is, and the user is told so.
long UnlinkFromKursinstanz(CQvADOConnection& conn, const kurs::ShownRegistration& shown) {
    CString strSQL;
    strSQL.Format(L"UPDATE PersonKurs SET lKursinstanzID = -1, lKursinstanzGruppeID = -1, changedBy = "
                  L"dbo.fn_GetSystemID() WHERE %s",
                  static_cast<LPCWSTR>(kurs::ShownCondition(shown)));
    long lAffected = 0;
    const long hr = kurs::Execute(conn, strSQL, &lAffected);
    if (SUCCEEDED(hr) && lAffected == 0) return kurs::RegistrationNotAsShown(shown.lPersonKursID);
    return hr;
}

// The run a removal works on. A caller that shows the registration (in a run, or in none: -1) finds
// it there with the status it shows, or the user is told that it is gone or changed (E_ABORT)
// before anything is asked or sent; a caller that knows neither gets the run the registration is in.
// S_FALSE: no such registration while its run had to be looked up.
long FindRunToLeave(long lPersonKursID, long lPersonID, long lKursinstanzID, long lShownStatus,
                    long lShownKursinstanzID, long& lRun, long lShownLeiter = -1) {
    lRun = kurs::ShownRun(lKursinstanzID, lShownKursinstanzID);
    // Neither run nor status known: the person is held by the writes that follow.
    if (lRun == CVRQKurs::kRunAsNamed && lShownStatus < 0 && lShownLeiter < 0) {
        lRun = -1;
        return LookupRegistration(L"lKursinstanzID", lPersonKursID, lRun);
    }
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    kurs::ShownRegistration stored;
    if (SUCCEEDED(hr))
        hr = kurs::CheckRegistrationShown(
            conn, kurs::Shown(lPersonKursID, lRun, lShownStatus, lPersonID, lShownLeiter), &stored);
    if (SUCCEEDED(hr)) lRun = stored.lKursinstanzID;
    return hr;
}

}  // namespace

long CVRQKurs::RemovePersonFromKursinstanz(long lPersonKursID, long lPersonID, long lKursinstanzID, bool bAsk,
                                           long lShownStatus, long lShownKursinstanzID) {
    CKursResourceScope scope;
    if (lPersonKursID == 0) return KURS_TRACEHR(E_FAIL);

    long hr =
        FindRunToLeave(lPersonKursID, lPersonID, lKursinstanzID, lShownStatus, lShownKursinstanzID, lKursinstanzID);
    if (FAILED(hr) || lKursinstanzID == -1) return hr;
    if (lPersonID == 0) {
        hr = LookupRegistration(L"lPersonID", lPersonKursID, lPersonID);
        if (FAILED(hr)) return hr;
    }

    if (bAsk && !NQ_IsEnterpriseEdition()) {
        const int nChoice =
            kurs::AskSelection(IDS_REMOVE_TITLE, IDS_REMOVE_STATEMENT, IDS_REMOVE_DEREGISTER, IDS_REMOVE_DELETE,
                               IDS_REMOVE_NOTE);
        if (nChoice == 1) {
            if (kurs::Rehearsing()) return S_FALSE;
            // Deregistered: the registration stays in the run with status 5. Only as the caller shows
            // it in this run: a registration moved, or deregistered meanwhile, is left as it is.
            hr = UpdatePersonKursStatus(TRUE, lPersonKursID, lPersonID, lKursinstanzID, ePersonKursStatusAbgemeldet,
                                        lShownStatus, lKursinstanzID);
            if (FAILED(hr)) return KURS_TRACEHR(hr);
            return S_FALSE;
        }
        if (nChoice != 2) return E_ABORT;
    }
    if (kurs::Rehearsing()) return S_OK;

    // A registration no longer in the run is said to be gone before the central installation is asked.
    const long lReports = kurs::ReportCount();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    RemovedRegistration reg;
    hr = kurs::OpenConnection(conn);
    const kurs::ShownRegistration shown = kurs::Shown(lPersonKursID, lKursinstanzID, lShownStatus, lPersonID);
    if (SUCCEEDED(hr)) hr = ReadRegistrationInRun(rs, shown, reg);
    if (SUCCEEDED(hr) && !reg.bFound) return kurs::RegistrationNotAsShown(lPersonKursID);

    if (SUCCEEDED(hr)) {
        hr = WebRemovePersonFromKursinstanz(lPersonID, lKursinstanzID);
        if (FAILED(hr)) {
            KURS_TRACEHR(hr);
            DisplayStatusMsg();
            return hr;
        }
    }
    // The removal, its log entry and its notification item are one unit, begun after the online
    // request; found changed meanwhile or failed, the central installation gets the registration
    // back as it is stored.
    const bool bSent = hr == S_OK;  // 1: nothing was sent
    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();
    if (SUCCEEDED(hr)) hr = UnlinkFromKursinstanz(conn, shown);
    // Unlinked as read: whatever fails after this, the registration was in the run before.
    const bool bUnlinked = SUCCEEDED(hr);
    if (SUCCEEDED(hr)) {
        // Provisional and waiting registrations are planned again without their run.
        CString strSQL;
        strSQL.Format(L"UPDATE PersonKurs SET lStatus = %d WHERE lPersonKursID = %d AND lStatus IN (%d, %d,%d)", 0,
                      lPersonKursID, 7, 3, 4);
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) {
        CString strDetail;
        strDetail.Format(L"Teilnehmer:%s | Status:%s", reg.strBezeichnung,
                         NQ_GetPersonKursStatusBezeichnung(static_cast<EPersonKursStatus>(reg.lStatus), lKursinstanzID,
                                                           TRUE, CString()));
        hr = kurs::WriteUserLog(2, IDS_LOG_PERSON_REMOVED_KURSINSTANZ, strDetail, kurs::PersonModul(TRUE),
                                reg.lStatus, 42, reg.guidKursinstanz, reg.guidPerson);
    }
    if (SUCCEEDED(hr)) {
        hr = VRQ_AddKursNotificationItem(TRUE, lPersonID, lKursinstanzID, 3, ePersonKursStatusAngemeldet);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    // Not stored, or not known to be (a commit whose answer was lost): the central installation is
    // told what is stored, before the user hears of the failure.
    const bool bOwn = trans.Owns();
    hr = trans.End(hr, [&](long hrEnd) {
        if (FAILED(hrEnd) && bSent)
            kurs::TakeBackOnline(*this, lPersonKursID, lPersonID, lKursinstanzID, kurs::SentOnline::eRemoval, -1,
                                 bUnlinked && !bOwn ? reg.lStatus : -1);
    });
    if (FAILED(hr) && hr != E_ABORT && kurs::ReportCount() == lReports) KURS_REPORTDBERROR(conn, hr);
    kurs::TellCentralMayDiffer();
    return hr;
}

long CVRQKurs::RemoveInstruktorFromKursinstanz(long lPersonKursID, long lPersonID, long lKursinstanzID,
                                               long lShownStatus, long lShownKursinstanzID, long lShownLeiter) {
    CKursResourceScope scope;
    if (kurs::Rehearsing()) return S_OK;  // asks nothing
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = S_OK;

    if (lPersonKursID == 0) {
        hr = KURS_TRACEHR(E_FAIL);
        if (lKursinstanzID != -1) KURS_REPORTDBERROR(conn, hr);
        return hr;
    }
    hr = FindRunToLeave(lPersonKursID, lPersonID, lKursinstanzID, lShownStatus, lShownKursinstanzID, lKursinstanzID,
                        lShownLeiter);
    if (FAILED(hr) || lKursinstanzID == -1) return hr;
    if (lPersonID == 0) hr = LookupRegistration(L"lPersonID", lPersonKursID, lPersonID);
    if (SUCCEEDED(hr)) hr = S_OK;

    RemovedRegistration reg;
    if (SUCCEEDED(hr)) hr = kurs::OpenConnection(conn);
    const kurs::ShownRegistration shown =
        kurs::Shown(lPersonKursID, lKursinstanzID, lShownStatus, lPersonID, lShownLeiter);
    if (SUCCEEDED(hr)) hr = ReadRegistrationInRun(rs, shown, reg);
    if (SUCCEEDED(hr) && !reg.bFound) return kurs::RegistrationNotAsShown(lPersonKursID);

    // The unlinking, the rights, the log entry and the notification item are one unit.
    const long lReports = kurs::ReportCount();
    const long lGone = kurs::GoneCount();
    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();
    // Whether it led the run is read before the unlinking takes the role away.
    BOOL bLeiter = FALSE;
    if (SUCCEEDED(hr)) hr = kurs::LookupKursLeiter(lPersonKursID, bLeiter);
    if (SUCCEEDED(hr)) hr = UnlinkFromKursinstanz(conn, shown);
    if (SUCCEEDED(hr) && bLeiter) {
        // The run lost its leader: the rights rows of the user at work are rebuilt for it.
        hr = VRQ_DoUpdateSecKurs(kurs::CurrentSecUserID(), 0, lKursinstanzID, nullptr);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    if (SUCCEEDED(hr)) {
        CString strDetail;
        strDetail.Format(L"Instruktor:%s | Status:%s", reg.strBezeichnung,
                         NQ_GetPersonKursStatusBezeichnung(static_cast<EPersonKursStatus>(reg.lStatus), lKursinstanzID,
                                                           FALSE, CString()));
        hr = kurs::WriteUserLog(2, IDS_LOG_PERSON_REMOVED_KURSINSTANZ, strDetail, kurs::PersonModul(FALSE),
                                reg.lStatus, 42, reg.guidKursinstanz, reg.guidPerson);
    }
    if (SUCCEEDED(hr)) {
        hr = VRQ_AddKursNotificationItem(FALSE, lPersonID, lKursinstanzID, 3, ePersonKursStatusAngemeldet);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    hr = trans.End(hr);
    if (FAILED(hr) && hr != E_ABORT && kurs::ReportCount() == lReports && kurs::GoneCount() == lGone)
        KURS_REPORTDBERROR(conn, hr);
    return hr;
}

namespace {

// Deleting a registration of a participant (bTeilnehmer) or an instructor: out of its run first,
// then the row goes and the log names the run it was in, or the course.
long RemoveFromKurs(CVRQKurs& booking, BOOL bTeilnehmer, long lPersonKursID, long lPersonID, long lKursinstanzID,
                    long lShownStatus, long lShownKursinstanzID, long lShownLeiter = -1) {
    // A step that failed and showed its own report is not reported a second time.
    const long lReports = kurs::ReportCount();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = S_OK;
    if (lPersonKursID == 0) hr = KURS_TRACEHR(E_FAIL);

    // A registration removed meanwhile, or no longer in the run (or in no run) and with the status the
    // caller shows, is said to be gone or changed before anything is asked, sent or written; the run
    // it is in stands for a run the caller did not know.
    if (SUCCEEDED(hr)) {
        const long lShownRun = kurs::ShownRun(lKursinstanzID, lShownKursinstanzID);
        hr = kurs::OpenConnection(conn);
        kurs::ShownRegistration stored;
        if (SUCCEEDED(hr))
            hr = kurs::CheckRegistrationShown(
                conn, kurs::Shown(lPersonKursID, lShownRun, lShownStatus, lPersonID, lShownLeiter), &stored);
        if (hr == E_ABORT) return hr;
        if (SUCCEEDED(hr)) {
            lKursinstanzID = stored.lKursinstanzID;
            if (lPersonID == 0) lPersonID = stored.lPersonID;
        }
    }

    // The run's GUID is read while the registration is still in it: the entry names that run.
    CQvGUID guidKursinstanz;
    if (SUCCEEDED(hr) && lKursinstanzID != -1) {
        CString strWhere;
        strWhere.Format(L"lKursinstanzID=%d", lKursinstanzID);
        hr = QvDBLookupGUID(L"guid", L"Kursinstanz", strWhere, &guidKursinstanz, kurs::kProfile);
        if (FAILED(hr)) KURS_TRACEHR(hr);
        if (SUCCEEDED(hr)) hr = S_OK;
    }

    if (SUCCEEDED(hr) && lKursinstanzID != -1) {
        if (bTeilnehmer) {
            hr = booking.RemovePersonFromKursinstanz(lPersonKursID, lPersonID, lKursinstanzID, true, lShownStatus,
                                                     lKursinstanzID);
            if (hr == S_FALSE) return S_FALSE;
            // The user cancelled the choice, or was shown the refusal: nothing to report.
            if (hr == E_ABORT) return hr;
        } else {
            hr = booking.RemoveInstruktorFromKursinstanz(lPersonKursID, lPersonID, lKursinstanzID, lShownStatus,
                                                         lKursinstanzID, lShownLeiter);
            if (hr == E_ABORT) return hr;
        }
        if (FAILED(hr)) KURS_TRACEHR(hr);
        if (SUCCEEDED(hr)) hr = S_OK;
    }
    if (kurs::Rehearsing()) return hr;

    long lKursID = -1;
    CQvGUID guidKurs;
    CQvGUID guidPerson;
    CString strBezeichnung;
    long lStatus = 0;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT %sKurs.guid AS guidKurs, isnull(Kursinstanz.guid, "
                      L"'00000000-0000-0000-0000-000000000000') AS guidKursinstanz, Person.guid AS guidPerson, "
                      L"dbo.fn_GetPersonBezeichnung(pk.lPersonID, 'A') AS strBezeichnung, pk.lStatus FROM PersonKurs pk "
                      L"JOIN Kurs ON pk.lKursID = Kurs.lKursID LEFT OUTER JOIN Kursinstanz ON pk.lKursinstanzID = "
                      L"Kursinstanz.lKursinstanzID JOIN Person ON pk.lPersonID = Person.lPersonID WHERE "
                      L"pk.lPersonKursID = %d",
                      bTeilnehmer ? L"pk.lKursID, " : L"", lPersonKursID);
        BOOL bEOF = TRUE;
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && !bEOF) {
            if (bTeilnehmer) hr = rs.GetFieldValue(L"lKursID", &lKursID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guidKurs", &guidKurs);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guidPerson", &guidPerson);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBezeichnung", &strBezeichnung);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStatus", &lStatus);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
        rs.Close();
    }

    bool bSentOnline = false;
    if (SUCCEEDED(hr) && bTeilnehmer) {
        hr = booking.WebRemovePersonFromKurs(lPersonID, lKursID, lPersonKursID);
        if (FAILED(hr)) KURS_TRACEHR(hr);
        bSentOnline = hr == S_OK;
        if (SUCCEEDED(hr)) hr = S_OK;
    }
    // The deletion and its log entry are one unit, begun after the online request. Not stored (found
    // changed meanwhile, failed, or a commit whose answer was lost), the central installation, told
    // of the deletion, is given the registration back as it is stored.
    const long lGone = kurs::GoneCount();
    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();
    if (SUCCEEDED(hr)) {
        CString strSQL;
        // Out of its run now; a planned registration only with the status shown.
        strSQL.Format(L"DELETE PersonKurs WHERE %s",
                      static_cast<LPCWSTR>(kurs::ShownCondition(
                          kurs::Shown(lPersonKursID, -1, lKursinstanzID == -1 ? lShownStatus : -1, lPersonID,
                                      lShownLeiter))));
        long lAffected = 0;
        hr = kurs::Execute(conn, strSQL, &lAffected);
        if (SUCCEEDED(hr) && lAffected == 0) hr = kurs::RegistrationNotAsShown(lPersonKursID);
    }
    if (SUCCEEDED(hr)) {
        const bool bKurs = lKursinstanzID == -1;
        CString strDetail;
        strDetail.Format(bTeilnehmer ? L"Teilnehmer:%s | Status:%s" : L"Instruktor:%s | Status:%s", strBezeichnung,
                         NQ_GetPersonKursStatusBezeichnung(static_cast<EPersonKursStatus>(lStatus), lKursinstanzID,
                                                           bTeilnehmer, CString()));
        hr = kurs::WriteUserLog(2, IDS_LOG_PERSON_REMOVED_KURS, strDetail, kurs::PersonModul(bTeilnehmer), lStatus,
                                bKurs ? 39 : 42, bKurs ? guidKurs : guidKursinstanz, guidPerson);
    }
    hr = trans.End(hr, [&](long hrEnd) {
        if (FAILED(hrEnd) && bSentOnline)
            kurs::TakeBackOnline(booking, lPersonKursID, lPersonID, -1, kurs::SentOnline::eDeletion);
    });
    // A registration found changed has been told of; a refused request is reported here.
    if (FAILED(hr) && kurs::ReportCount() == lReports && kurs::GoneCount() == lGone) KURS_REPORTDBERROR(conn, hr);
    kurs::TellCentralMayDiffer();
    return hr;
}

}  // namespace

long CVRQKurs::RemovePersonFromKurs(long lPersonKursID, long lPersonID, long lKursinstanzID, long lShownStatus,
                                    long lShownKursinstanzID) {
    CKursResourceScope scope;
    return RemoveFromKurs(*this, TRUE, lPersonKursID, lPersonID, lKursinstanzID, lShownStatus, lShownKursinstanzID);
}

long CVRQKurs::RemoveInstruktorFromKurs(long lPersonKursID, long lPersonID, long lKursinstanzID, long lShownStatus,
                                        long lShownKursinstanzID, long lShownLeiter) {
    CKursResourceScope scope;
    return RemoveFromKurs(*this, FALSE, lPersonKursID, lPersonID, lKursinstanzID, lShownStatus, lShownKursinstanzID,
                          lShownLeiter);
}
