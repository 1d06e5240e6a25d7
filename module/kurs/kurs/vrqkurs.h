#pragma once
// The course API: the exported VRQ_ functions and the booking class CVRQKurs through which the
// course windows and the other modules of the suite book persons into courses and runs, with
// every check, and through which a local installation registers bookings of federal and cantonal
// courses online with the central installation.
//
// Results are HRESULT-style: 0 done, 1 refused by a check or by the user (or nothing to do),
// negative failure. Checks that showed their own message return E_ABORT.
#include "cstring.h"
#include "qvdatetime.h"
#include "qvguid.h"
#include "qvtypes.h"

#include <vector>

#define KURS_API __attribute__((visibility("default")))

// The authority a course belongs to (Kurs.lTyp).
enum EAuthorityTyp : LONG {
    eAuthorityTypNone = 0,     // course or run not found
    eAuthorityTypBund = 1,     // federal course, owned by the central installation
    eAuthorityTypKanton = 2,   // cantonal course, owned by the central installation
    eAuthorityTypLokal = 3,    // course of a local installation
};

// The status of a registration (PersonKurs.lStatus).
enum EPersonKursStatus : LONG {
    ePersonKursStatusAngemeldet = 0,         // planned (no run) or registered
    ePersonKursStatusBesucht = 1,            // attended or passed
    ePersonKursStatusNichtBesucht = 2,       // not attended
    ePersonKursStatusWarteliste = 3,         // waiting list (participant) or reserve (instructor)
    ePersonKursStatusWartelistePenalty = 4,  // waiting list with penalty
    ePersonKursStatusAbgemeldet = 5,         // deregistered
    ePersonKursStatusTeilweise = 6,          // partly attended or failed
    ePersonKursStatusProvisorisch = 7,       // provisionally registered
};

// Events of the course module (event GUID, record id).
// Reservations changed; record id: the course.
#define KURS_EVENT_RESERVATION_CHANGED L"3E018E57-48D1-479F-8324-A5D4507578C8"
// Course changed (created, deleted or edited); record id: the course.
#define KURS_EVENT_KURS_CHANGED L"285D3D5E-82F8-4A8E-80F1-4EDBCC39D1EF"
// Run changed (created, copied, deleted or edited); record id: the run.
#define KURS_EVENT_KURSINSTANZ_CHANGED L"FE598CA4-2B6D-41E3-AE09-2DB75EE0C56F"

// The main dialog of the course window; the rights refresh asks it whether it is closing.
class CKursDlg;

class KURS_API CVRQKurs {
public:
    CVRQKurs();
    ~CVRQKurs();
    CVRQKurs(const CVRQKurs& other);
    CVRQKurs& operator=(const CVRQKurs& other);

    // Books a participant into a course (run -1: planned for lYear) or into a run. lPersonKursID
    // is 0 for a new registration or the registration to re-register; on return the written row.
    long AddPersonToKurs(long lPersonID, long lKursID, long lKursinstanzID, long lYear, long& lPersonKursID,
                         EPersonKursStatus& eStatus);
    // The members that write a registration a caller shows take the state it shows: lShownStatus the
    // status (-1: any) and lShownKursinstanzID the run (-1: in no run, a planned registration;
    // kRunAsNamed: the run named for the work, lKursinstanzID, or any run when that is -1 too). A
    // registration no longer stored so (moved, removed or changed meanwhile) is left as it is: nothing
    // is asked, sent, written, logged or queued, the user is told once that it was changed (or is
    // gone), and the result is E_ABORT.
    static constexpr long kRunAsNamed = -2;
    // Sets the status of a registration of a participant (bTeilnehmer TRUE) or an instructor; the
    // local rules follow the run named (lKursinstanzID).
    // lShownLeiter: the leader flag an instructor's row shows (0 or 1; -1: not shown), held by the
    // members that take it.
    long UpdatePersonKursStatus(BOOL bTeilnehmer, long lPersonKursID, long lPersonID, long lKursinstanzID,
                                EPersonKursStatus eStatus, long lShownStatus = -1,
                                long lShownKursinstanzID = kRunAsNamed, long lShownLeiter = -1);
    // Hands a registration of the run lKursinstanzID to another person; only while it is the
    // registration of the person shown (lShownPersonID, 0: any).
    long SwitchPerson(long lNewPersonID, long lKursID, long lKursinstanzID, long lPersonKursID,
                      long lShownStatus = -1, long lShownPersonID = 0);

    // Books an instructor with the leadership role lKursleitungID into a course (run -1: planned
    // for lYear) or into a run; no checks, nothing sent online. eStatus: for a run the default
    // status is written and returned, without run the value passed in is written.
    long AddInstruktorToKurs(long lPersonID, long lKursID, long lKursinstanzID, long lYear, long lKursleitungID,
                             long& lPersonKursID, EPersonKursStatus& eStatus);

    // Delete a registration for good, after taking it out of its run (lKursinstanzID -1: read from
    // the row). 1: the participant was deregistered from the run instead and the row stays.
    long RemovePersonFromKurs(long lPersonKursID, long lPersonID, long lKursinstanzID, long lShownStatus = -1,
                              long lShownKursinstanzID = kRunAsNamed);
    long RemoveInstruktorFromKurs(long lPersonKursID, long lPersonID, long lKursinstanzID, long lShownStatus = -1,
                                  long lShownKursinstanzID = kRunAsNamed, long lShownLeiter = -1);

    // Take a registration out of its run; it stays a registration of the course. lPersonID 0 and
    // lKursinstanzID -1 are read from the row. bAsk: a local installation lets the user deregister
    // the participant instead (result 1) or cancel (E_ABORT).
    long RemovePersonFromKursinstanz(long lPersonKursID, long lPersonID, long lKursinstanzID, bool bAsk,
                                     long lShownStatus = -1, long lShownKursinstanzID = kRunAsNamed);
    long RemoveInstruktorFromKursinstanz(long lPersonKursID, long lPersonID, long lKursinstanzID,
                                         long lShownStatus = -1, long lShownKursinstanzID = kRunAsNamed,
                                         long lShownLeiter = -1);

    // Move a registration from one run of a course (lOldKursinstanzID, -1: a planned registration)
    // to another as one unit of work; the registration is found in the old run, with the status
    // shown. 1: the booking into the new run was refused by a check and the removal from the old run
    // stays.
    long ChangePersonKursinstanz(long lPersonKursID, long lPersonID, long lKursID, long lOldKursinstanzID,
                                 long lNewKursinstanzID, long lYear, EPersonKursStatus& eStatus,
                                 long lShownStatus = -1);
    long ChangeInstruktorKursinstanz(long lPersonKursID, long lPersonID, long lKursID, long lOldKursinstanzID,
                                     long lNewKursinstanzID, long lYear, long lKursleitungID,
                                     EPersonKursStatus& eStatus, long lShownStatus = -1, long lShownLeiter = -1);

    // The editable data of a registration (eStatus is not written), and the run data stored on it;
    // the data only while it is the registration of the person shown (lShownPersonID, 0: any).
    long UpdatePersonKursData(long lPersonKursID, long lKursID, CQvDateTime dtDatum, CString strBemerkung,
                              CString strGrundNichtBestanden, long lKursleitungID, EPersonKursStatus eStatus,
                              long lAbsenzgrundID, BOOL fEntschuldigt, long lShownStatus = -1,
                              long lShownKursinstanzID = kRunAsNamed, long lShownPersonID = 0);
    long UpdatePersonKursInstanzData(long lPersonKursID, CString strInstanzOrt, double dblInstanzDauer,
                                     CString strInstanzLeitung, long lShownPersonID = 0);

    // Online registration with the central installation (local installations, course types 1 and 2).
    long WebAddPersonToKursinstanz(long lPersonID, long lKursinstanzID, CQvGUID& guidPersonKurs);
    long WebRemovePersonFromKurs(long lPersonID, long lKursID, long lPersonKursID);
    long WebRemovePersonFromKursinstanz(long lPersonID, long lKursinstanzID);
    long WebUpdatePersonKursStatus(long lPersonID, long lKursinstanzID, EPersonKursStatus eStatus);
    long WebSwitchPersonOnKursinstanz(long lPersonID, long lKursinstanzID, CQvGUID& guidPersonKurs);
    // Books a planned registration (no run) of an online course again, named by its GUID ("add"
    // without a run).
    long WebAddPlannedPersonKurs(long lPersonID, long lKursID, CQvGUID& guidPersonKurs);
    // Appends the fill-level items of the central installation's runs ("…;<run GUID>;<count>;<max>").
    long WebGetKursinstanzFillUpCount(std::vector<CString>& arrItems);

    CString GetLastStatus() const { return m_strLastStatus; }
    CString GetLastHint() const { return m_strLastHint; }
    // Tells the user what the last reply of the central installation means.
    void DisplayStatusMsg();

protected:
    void BuildURL(CString strOp, long lPersonID, long lKursinstanzID, EPersonKursStatus eStatus,
                  CQvGUID* pGuidPersonKurs);
    long NavigateURL();
    CQvGUID GetMandantGUID(long lMandantID);
    CQvGUID GetPersonGUID(long lPersonID);
    CQvGUID GetKursinstanzGUID(long lKursinstanzID);
    CQvGUID GetPersonKursGUID(long lPersonKursID);
    // The period of a booking: for a run its date (both), else 1 January to 31 December of lYear.
    long GetKursdatum(long lKursinstanzID, long& lYear, CQvDateTime& dtLast, CQvDateTime& dtFirst);

    CString m_strURL;
    CString m_strLastHint;
    CString m_strLastStatus;
    CString m_strData;

private:
    long CheckReplyGUID(long hr, CQvGUID& guidPersonKurs);
};

// Course settings and authority
KURS_API int VRQ_IsOnlineKursActive();
KURS_API EAuthorityTyp VRQ_GetKursAuthority(long lID, BOOL bInstanz);
KURS_API EPersonKursStatus VRQ_GetDefaultPersonKursStatus();
KURS_API long VRQ_SetDefaultPersonKursStatus(EPersonKursStatus eStatus);
KURS_API long VRQ_IsPersonKursExportPending(BOOL& bPending);
KURS_API long VRQ_IsUnlinkedPersonToKursinstanz(long lMandantID, BOOL& bPending);

// Double-booking checks
KURS_API long VRQ_CheckKursinstanzDoppelbelegung(long lPersonKursID, long lPersonID, long lKursID,
                                                 long lKursinstanzID);
KURS_API long VRQ_CheckKursDoppelbelegung(long lPersonKursID, long lPersonID, long lKursID, long lKursinstanzID,
                                          long lYear);

// Preconditions
KURS_API long VRQ_CheckKursPrecondition(long lPersonID, long lKursID, CQvDateTime dtFrom, CQvDateTime dtTo);

// Notification queue and reservations
KURS_API long VRQ_AddKursNotificationItem(BOOL bTeilnehmer, long lPersonID, long lKursinstanzID, long lArt,
                                          EPersonKursStatus eStatus);
KURS_API long VRQ_UpdateKursreservation(long lPersonKursID);

// Opens the closed runs whose registration window is running and closes the open runs whose
// window has ended; lKursinstanzID 0: all runs.
KURS_API long VRQ_CheckAutoOpenAutoCloseKursinstanz(long lKursinstanzID);

// Course rights rows (SecKurs). lKursID and lKursinstanzID: -1 all, 0 none, else one record.
// pDlg may be null; when given, the refresh stops as soon as the dialog is closing.
KURS_API long VRQ_DoUpdateSecKurs(long lQvSecUserID, long lKursID, long lKursinstanzID, CKursDlg* pDlg);
// The logged-in user's row for a run just created.
KURS_API long VRQ_SetSecKurs(long lKursID, long lKursinstanzID);

// Creating, copying and deleting courses and runs. The out ids are written as soon as they are
// drawn; callers look at the result.
KURS_API long VRQ_CreateKurs(long& lKursID);
KURS_API long VRQ_CreateKursinstanz(long lKursID, long& lKursinstanzID);
KURS_API long VRQ_CopyKursinstanz(long lKursID, long lKursinstanzID, long& lNewKursinstanzID);
KURS_API long VRQ_DeleteKurs(long lKursID);
KURS_API long VRQ_DeleteKursinstanz(long lKursinstanzID);

// Makes the registration the leader of its run lKursinstanzID or takes the role away, in one unit
// with an entry in the log for each person whose role changes. Only while the registration is in
// that run and, as the caller shows it, with the status lShownStatus (-1: any), as the instructor
// registration of the person lShownPersonID (0: any registration) and leading the run or not
// (lShownLeiter 1 or 0; -1: either): one moved, removed or changed meanwhile is left as it is,
// nothing is written or logged, the user is told once and the result is E_ABORT. A caller that
// shows the leader (lShownLeiter 0 or 1) takes the role from the leaders it showed first, in its own
// unit: a leader of the run still there when the role is set is one it did not show, and the call is
// refused the same way. Without it every other leader of the run loses the role.
KURS_API long VRQ_SaveKursLeiter(long lPersonKursID, long lKursinstanzID, BOOL bLeiter, long lShownStatus = -1,
                                 long lShownPersonID = 0, long lShownLeiter = -1);
