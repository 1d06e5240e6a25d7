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
    // Sets the status of a registration of a participant (bTeilnehmer TRUE) or an instructor.
    long UpdatePersonKursStatus(BOOL bTeilnehmer, long lPersonKursID, long lPersonID, long lKursinstanzID,
                                EPersonKursStatus eStatus);
    // Hands a registration of a run to another person.
    long SwitchPerson(long lNewPersonID, long lKursID, long lKursinstanzID, long lPersonKursID);

    // Online registration with the central installation (local installations, course types 1 and 2).
    long WebAddPersonToKursinstanz(long lPersonID, long lKursinstanzID, CQvGUID& guidPersonKurs);
    long WebRemovePersonFromKurs(long lPersonID, long lKursID, long lPersonKursID);
    long WebRemovePersonFromKursinstanz(long lPersonID, long lKursinstanzID);
    long WebUpdatePersonKursStatus(long lPersonID, long lKursinstanzID, EPersonKursStatus eStatus);
    long WebSwitchPersonOnKursinstanz(long lPersonID, long lKursinstanzID, CQvGUID& guidPersonKurs);
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
