// Moving a registration from one run of a course to another: the removal from the old run and
// the booking into the new one as one unit of work.
#include "kursint.h"

namespace {

// The failure of a move is shown once: a failure of the removal or the booking that showed its
// own report, or that said the registration is gone, is not shown again; a failed commit always is
// (with the commit's error, which the rollback after it leaves in place).
long ReportMoveFailure(CQvADOConnection& conn, long lReportsBefore, long lGoneBefore, long hrWork, long hr) {
    const bool bCommitFailed = SUCCEEDED(hrWork) && FAILED(hr);
    const bool bTold = kurs::ReportCount() != lReportsBefore || kurs::GoneCount() != lGoneBefore;
    // E_ABORT is a refusal the user has been shown, or his own cancel: nothing to report.
    if (FAILED(hr) && hr != E_ABORT && (bCommitFailed || !bTold)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

}  // namespace

long CVRQKurs::ChangePersonKursinstanz(long lPersonKursID, long lPersonID, long lKursID, long lOldKursinstanzID,
                                       long lNewKursinstanzID, long lYear, EPersonKursStatus& eStatus,
                                       long lShownStatus) {
    CKursResourceScope scope;
    // The removal's choice and the booking's questions are asked before the move's unit begins.
    kurs::CQuestionsFirst questions;
    {
        // Nothing is written yet, so the registration still holds its place in the old run. The unit
        // takes it out or deregisters it before the booking, whose checks then leave it out: here
        // they leave it out by its key, so that they come to the questions the unit would ask.
        long lID = lPersonKursID;
        const long hrAsk = RemovePersonFromKursinstanz(lPersonKursID, lPersonID, lOldKursinstanzID, true,
                                                       lShownStatus, lOldKursinstanzID);
        EPersonKursStatus eAsked = ePersonKursStatusAngemeldet;
        if (SUCCEEDED(hrAsk)) AddPersonToKurs(lPersonID, lKursID, lNewKursinstanzID, lYear, lID, eAsked);
    }
    if (!questions.Done()) return S_OK;

    const long lReports = kurs::ReportCount();
    const long lGone = kurs::GoneCount();
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();

    long lID = lPersonKursID;
    long hrRemoved = E_FAIL;
    if (SUCCEEDED(hr)) {
        // The old run is the one the caller shows: a registration planned there is found still
        // planned, one in a run still in that run, each with the status shown.
        hr = hrRemoved = RemovePersonFromKursinstanz(lPersonKursID, lPersonID, lOldKursinstanzID, true, lShownStatus,
                                                     lOldKursinstanzID);
        if (FAILED(hr)) KURS_TRACEHR(hr);
        // Deregistered from the old run: that registration stays there, the new run gets its own.
        if (hr == S_FALSE) lID = 0;
    }
    EPersonKursStatus eNewStatus = ePersonKursStatusAngemeldet;
    if (SUCCEEDED(hr)) {
        hr = AddPersonToKurs(lPersonID, lKursID, lNewKursinstanzID, lYear, lID, eNewStatus);
        if (FAILED(hr)) KURS_TRACEHR(hr);
        if (hr == S_OK) hr = kurs::KeepOneKursLeiter(conn, lID, lNewKursinstanzID);
    }
    if (hr == S_OK) eStatus = eNewStatus;
    const long hrWork = hr;
    const bool bOwn = trans.Owns();
    // The removal from the old run, or the deregistration there, went online and was rolled back
    // with the move: the central installation gets the registration back as it is stored.
    hr = trans.End(hr, [&](long hrEnd) {
        if (FAILED(hrEnd) && bOwn && SUCCEEDED(hrRemoved) && lOldKursinstanzID != -1)
            kurs::TakeBackOnline(*this, lPersonKursID, lPersonID, lOldKursinstanzID,
                                 hrRemoved == S_OK ? kurs::SentOnline::eRemoval : kurs::SentOnline::eStatus,
                                 ePersonKursStatusAbgemeldet);
    });
    hr = ReportMoveFailure(conn, lReports, lGone, hrWork, hr);
    kurs::TellCentralMayDiffer();
    return hr;
}

long CVRQKurs::ChangeInstruktorKursinstanz(long lPersonKursID, long lPersonID, long lKursID, long lOldKursinstanzID,
                                           long lNewKursinstanzID, long lYear, long lKursleitungID,
                                           EPersonKursStatus& eStatus, long lShownStatus, long lShownLeiter) {
    CKursResourceScope scope;
    if (kurs::Rehearsing()) return S_OK;  // asks nothing
    const long lReports = kurs::ReportCount();
    const long lGone = kurs::GoneCount();
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();

    if (SUCCEEDED(hr)) {
        hr = RemoveInstruktorFromKursinstanz(lPersonKursID, lPersonID, lOldKursinstanzID, lShownStatus,
                                             lOldKursinstanzID, lShownLeiter);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    long lID = lPersonKursID;
    EPersonKursStatus eNewStatus = ePersonKursStatusAngemeldet;
    if (SUCCEEDED(hr)) {
        hr = AddInstruktorToKurs(lPersonID, lKursID, lNewKursinstanzID, lYear, lKursleitungID, lID, eNewStatus);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    if (hr == S_OK) eStatus = eNewStatus;
    const long hrWork = hr;
    hr = trans.End(hr);
    return ReportMoveFailure(conn, lReports, lGone, hrWork, hr);
}
