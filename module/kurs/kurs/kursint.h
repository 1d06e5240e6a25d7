#pragma once
// What the course API's sources share: the database profile, the failure trace under the source
// name of the course rules, the database error report, the default status of new bookings, the
// rights bits and security functions of the rights rows, the traced database steps, the reading
// and logging of registration rows, the transaction rule of operations that write several tables,
// user-log entries and change events.
#include "kursplatform.h"
#include "kursres.h"
#include "kurssqltext.h"
#include "qvcommon.h"
#include "qvdbserverlib.h"
#include "vrqkurs.h"

#include <functional>

namespace kurs {

// Every piece of database work of the course API opens its connection under this profile.
inline constexpr const wchar_t* kProfile = L"Qovaro.NQ2";
// The source named in the failure traces of the course rules.
inline constexpr const wchar_t* kTraceSource = L"kurs";

// The SQL literal of the empty date (30 December 1899, 00:00).
CString ZeroDateSQL();

// The status a new booking gets when it takes the installation's default: the stored default, or
// 0 when none can be read.
EPersonKursStatus BookingDefaultStatus();
// Forgets the cached default status, so that the next call reads it again (another database).
void ForgetDefaultPersonKursStatus();

// The text with the id from the module's table.
inline CString Text(UINT id) { return KursLoadString(id); }

// Security functions: the course module, the rights on runs, the courses registered as objects.
inline constexpr const wchar_t* kSecFunctionKursModul = L"{5F03AD81-548C-4F27-8FDA-45FC8E49B17C}";
inline constexpr const wchar_t* kSecFunctionKursinstanz = L"{FB4C0C46-8C91-4F55-BA7B-9E5FEBB97358}";
inline constexpr const wchar_t* kSecFunctionKurs = L"{00D42EE5-F393-45EB-BCDF-5873430E1432}";

// Rights bits of the course rights rows.
inline constexpr DWORD kRightRead = 0x1;
inline constexpr DWORD kRightLeader = 0x100;         // added to the run row of a run the user leads
inline constexpr DWORD kRightKursleiter = 0x10000;   // the course-leader right
inline constexpr DWORD kRightsNewKurs = 0x88000F01;  // granted on a course created centrally
inline constexpr DWORD kRightsNewKursinstanz = 0x88000D01;

// A rights mask as the rights rows keep it: a signed 32-bit number, so that a mask with the top
// bit set reads back unchanged.
inline long SignedMask(DWORD dwMask) { return static_cast<long>(static_cast<LONG>(dwMask)); }

// Operations that write several tables begin a transaction of their own only when the shared
// connection holds none; inside a caller's transaction they issue no transaction statement and
// leave commit and rollback to the caller.
class CKursTransaction {
public:
    explicit CKursTransaction(CQvADOConnection& conn) : m_conn(conn) {}
    // A transaction left open (an early return) is rolled back.
    ~CKursTransaction();
    CKursTransaction(const CKursTransaction&) = delete;
    CKursTransaction& operator=(const CKursTransaction&) = delete;

    // Reads the depth ("SELECT TOP 2 @@TRANCOUNT MyValue FROM System") and begins at depth 0. A
    // depth that cannot be read fails.
    long Begin();
    // Commits after success (a failed commit is rolled back and returned) or rolls back after a
    // failure; returns the operation's result. Nothing happens when the caller owns the
    // transaction. beforeTelling (may be empty) gets the result once the transaction has ended,
    // before what waits for the unit's end is told.
    long End(long hr, const std::function<void(long)>& beforeTelling = {});
    bool Owns() const { return m_bOwn; }

private:
    void Ended(bool bCommitted);

    CQvADOConnection& m_conn;
    bool m_bOwn = false;
};

// What the user is told about a unit of work comes after it: while a unit of this thread owns its
// transaction, a note or a database error report waits for the unit's end, so that no other
// workstation waits on the database while a message is open. A note of a change
// (bCommitted) is shown only when the unit was committed; the others however it ended. Outside a
// unit of ours (nothing open, or a caller's own transaction) it is shown at once.
void TellAfterUnit(std::function<void()> tell, bool bCommitted);
// The questions of a unit of work are asked before it begins. An operation that may ask inside its
// unit rehearses its steps first, within this scope: each step asks its questions and stops
// before it would write or send anything, what it would tell is left to the unit, and the answers
// are kept; in the unit that follows the steps take them instead of asking again. A rehearsal
// inside another one adds to it; the answers go with the outermost scope.
class CQuestionsFirst {
public:
    CQuestionsFirst();
    ~CQuestionsFirst();
    CQuestionsFirst(const CQuestionsFirst&) = delete;
    CQuestionsFirst& operator=(const CQuestionsFirst&) = delete;
    // Ends the rehearsal this scope began; false inside another rehearsal, whose steps stop here.
    bool Done();

private:
    bool m_bRehearsing = false;
};
// Whether the steps run as a rehearsal.
bool Rehearsing();
// A question of a step (a message box): the answer of its rehearsal, else asked now.
int Ask(const CString& strText, UINT nType);
// The same for a choice of QvSelectionBox.
int AskSelection(UINT nTitle, UINT nStatement, UINT nFirst, UINT nSecond, UINT nNote);
// A note (a message box without a question) of a step: after the unit, however it ends.
void Tell(const CString& strText, UINT nType);

// The cause of a refused log entry (what the log server said) when hr is the failure of the last
// entry written on this thread; empty otherwise. Taken once.
CString TakeLogRefusal(long hr);
// Shows the database error of a failed step, or keeps its text for the end of the unit; a failure
// that the connection does not know and that was a refused log entry with the log server's cause.
long ReportDBError(CQvADOConnection& conn, long hr, LPCSTR lpszFile, long lLine);
// Database error reports shown or waiting on this thread so far: a unit compares the count before
// and after its steps and reports only a failure that no step reported.
long ReportCount();
// The messages of a try that is given up and written again are not shown.
void ForgetUnitMessages();

// Opens the connection under the course profile; a failure is traced.
long OpenConnection(CQvADOConnection& conn);
// A deadlock's victim loses its whole transaction, so the retry rule cannot repeat the statement
// alone: Execute and GetUniqueID note a victim (native error 1205), and a unit of work that owns
// its transaction writes itself again. TakeDeadlock tells and forgets.
void ForgetDeadlock();
bool TakeDeadlock();
// Runs the statement on the connection; a failure is traced. plAffected (may be null) gets the
// rows it wrote.
long Execute(CQvADOConnection& conn, const CString& strSQL, long* plAffected = nullptr);
// A registration that is no longer stored (removed meanwhile by another user, or by an earlier try
// whose outcome was unknown): the user is told so after the unit, and the caller stops without
// writing anything, as after a refusal shown to the user (E_ABORT).
long RegistrationGone();
// The same for a registration that is stored otherwise than the caller showed it (in another run,
// with another status): nothing of the change is written or sent.
long RegistrationChanged();
// How often this thread has said a registration is gone (or changed): a caller compares the count
// before and after its steps, stops at the first that found it gone and adds no report of its own.
long GoneCount();
// A registration as a page or a caller showed it: the columns a change of it holds. A column left
// at its "not shown" value is not held. Every writer of a registration holds it by this one
// description, in its statement's condition (ShownCondition) or by reading it first
// (CheckRegistrationShown), so that a column a page newly shows is held by every writer at once.
struct ShownRegistration {
    static constexpr long kNotShown = -2;
    long lPersonKursID = 0;
    long lPersonID = 0;                    // the person (0: not shown)
    long lKursinstanzID = kNotShown;       // the run (-1: in none; same as CVRQKurs::kRunAsNamed)
    long lStatus = -1;                     // the status (-1: not shown)
    long lTeilnehmer = -1;                 // 1 a participant's, 0 an instructor's registration (-1: not shown)
    long lLeiter = -1;                     // the leader flag, 0 or 1 (-1: not shown)
    long lGruppeID = kNotShown;            // the group (-1: in none)
    CString strGruppe;                     // with a group shown: its label as shown
};
// The condition that holds the registration as shown, for the WHERE of a statement on PersonKurs
// (lpszAlias: the table's alias or name in that statement, empty for none): its key and every
// column shown; the group shown with its label still as shown.
CString ShownCondition(const ShownRegistration& shown, LPCWSTR lpszAlias = L"");
// Whether the registration is stored as shown. S_OK as shown, with the row as stored (every column
// filled, the group's label empty without a group) in pStored (may be null); gone or stored
// otherwise, the user is told so once and the result is E_ABORT; a failed read is traced and
// returned.
long CheckRegistrationShown(CQvADOConnection& conn, const ShownRegistration& shown,
                            ShownRegistration* pStored = nullptr);
// The registration in the run lShownRun (-1: in none, CVRQKurs::kRunAsNamed: in any), with the
// status lShownStatus (-1: any), of the person lShownPersonID (0: any) and with the leader flag
// lShownLeiter (-1: any).
inline ShownRegistration Shown(long lPersonKursID, long lShownRun, long lShownStatus, long lShownPersonID,
                               long lShownLeiter = -1) {
    ShownRegistration shown;
    shown.lPersonKursID = lPersonKursID;
    shown.lKursinstanzID = lShownRun;
    shown.lStatus = lShownStatus;
    shown.lPersonID = lShownPersonID;
    shown.lLeiter = lShownLeiter;
    return shown;
}
// The run a caller shows a registration in: the one it names as shown, else the run it names for
// the work (-1 there: not known, CVRQKurs::kRunAsNamed).
inline long ShownRun(long lKursinstanzID, long lShownKursinstanzID) {
    if (lShownKursinstanzID != CVRQKurs::kRunAsNamed) return lShownKursinstanzID;
    return lKursinstanzID != -1 ? lKursinstanzID : CVRQKurs::kRunAsNamed;
}
// A write guarded by the shown state found no row: tells the user whether the registration is gone
// or stored otherwise (E_ABORT).
long RegistrationNotAsShown(long lPersonKursID);
// Draws a new key of the table's key column; a failure is traced.
long GetUniqueID(CQvADOConnection& conn, LPCWSTR lpszTable, LPCWSTR lpszColumn, long& lID);
// Opens the statement and tells whether it found no row; failures are traced.
long OpenRows(CQvADORecordset& rs, const CString& strSQL, BOOL& bEOF);
// The record's GUID ("guid") and its text (the column lpszTextColumn); the null GUID and an empty
// text without a row.
long ReadRecord(CQvADORecordset& rs, const CString& strSQL, LPCWSTR lpszTextColumn, CQvGUID& guid,
                CString& strText);
// Whether the run just written is there (exactly one row): nothing may be added to a run that is
// not. E_INVALIDARG when it is missing.
long CheckKursinstanzWritten(long lKursinstanzID);
// The security user at work; 0 when the security server cannot name one.
long CurrentSecUserID();
// Whether the registration leads its run (S_OK also when there is no row).
long LookupKursLeiter(long lPersonKursID, BOOL& bLeiter);
// A registration that led another run and now joins a run with a leader of its own no longer
// leads: a run has at most one leader. Nothing happens for -1 (no run).
long KeepOneKursLeiter(CQvADOConnection& conn, long lPersonKursID, long lKursinstanzID);

// The user-log module of a participant's or an instructor's registration.
inline CString PersonModul(BOOL bTeilnehmer) {
    return CString(L"Ausbildung") + (bTeilnehmer ? L".Person" : L".Person.Instruktor");
}

// The planned registration (no run, status 0) of the person for the course in the year; the
// lookup's result: S_OK when there is exactly one.
long LookupPlannedRegistration(BOOL bTeilnehmer, long lPersonID, long lKursID, long lYear, long& lPlannedID);
// What a request to the central installation did there to a participant's registration.
enum class SentOnline {
    eRemoval,   // took it out of a run ("remove")
    eStatus,    // gave it a status in its run ("update")
    eDeletion,  // deleted it ("delete")
};
// A request was sent to the central installation for a change of the participant's registration
// (in the run lKursinstanzID; for a deletion the run it was in, or -1) that may not be stored here:
// found changed, failed, or a commit whose outcome is unknown. What is stored is read again on a
// statement of its own, and the central installation is sent only what makes it hold the
// registration as stored: after a removal or a deletion of a registration still stored as this
// person's, it is booked again ("add", into its run, then "update" with its stored status; a
// planned one by its GUID alone); after a status (lSentStatus) the stored status is sent for the
// person who holds the registration in that run now, unless it is the status sent. Nothing is sent
// for a registration gone or no longer in that run. Inside a caller's transaction, which the
// caller rolls back, the registration is as it was shown (lStatusBefore, 0 or more) and only its
// GUID is read. When the read fails nothing is sent, and the user's one message says that the
// central installation may differ. A refused request shows the central installation's message.
void TakeBackOnline(CVRQKurs& booking, long lPersonKursID, long lPersonID, long lKursinstanzID, SentOnline eSent,
                    long lSentStatus = -1, long lStatusBefore = -1);
// The same for a hand-over to lNewPersonID that was sent: the new person is taken out of the run
// again unless what is stored holds the registration for the new person. Inside a caller's unit
// (bCallersUnit) nothing is stored yet.
void TakeBackSwitch(CVRQKurs& booking, long lPersonKursID, long lNewPersonID, long lKursinstanzID,
                    bool bCallersUnit);
// What is stored could not be read after a change sent to the central installation: the next
// message of this thread (a database error report, or a note that the registration changed) says
// that the central installation may differ from what is stored here. TellCentralMayDiffer shows
// it alone when no message took it.
void NoteCentralMayDiffer();
void TellCentralMayDiffer();
// A registration a booking takes up again (bPlanned: the person's planned one, found in no run with
// status 0; else the caller's, wherever it is stored), of the person lPersonID, is read before
// anything is sent: strHeld gets the condition that holds it as read (ShownCondition of the row as
// stored), for the statements that write it. Gone, handed over or stored otherwise the user is told
// so once (E_ABORT); a failed read is traced.
long HoldRegistrationAsRead(CQvADOConnection& conn, long lPersonKursID, long lPersonID, bool bPlanned,
                            CString& strHeld);
// Writes a new registration row under a new key, with a new GUID unless the central installation
// gave one; lPersonKursID is the new key once the row is written. Participants pass no
// leadership role (-1).
long InsertRegistration(CQvADOConnection& conn, BOOL bTeilnehmer, long lPersonID, long lKursID, long lKursinstanzID,
                        long lKursleitungID, EPersonKursStatus eStatus, const CQvDateTime& dtDatum,
                        const CQvDateTime& dtAnmeldung, CQvGUID& guidPersonKurs, long& lPersonKursID);

// The log entry of a booking just written: names the person and the status, under the run of the
// registration or its course when it has none.
long LogBookingAdded(CQvADORecordset& rs, BOOL bTeilnehmer, long lPersonKursID, long lKursinstanzID,
                     EPersonKursStatus eStatus);

// What the log entry of a changed registration names, read from a statement of the registration
// with the columns guidKurs, guidPerson, strPerson, strData, lStatus, fTeilnehmer and, when it
// also selects lKursinstanzID, guidKursinstanz. Zeros and null GUIDs without a row.
struct ChangedRegistration {
    long lTableID = 0;  // 42 in a run, else 39
    CQvGUID guidObject; // the run's GUID in a run, else the course's
    CQvGUID guidPerson;
    CString strPerson;
    CString strData;
    long lStatus = 0;
    BOOL bTeilnehmer = TRUE;
};
long ReadChangedRegistration(CQvADORecordset& rs, const CString& strSQL, bool bWithRun, ChangedRegistration& reg);
// Its user-log entry: the role, the person and the data, under the run or the course.
long LogRegistrationChanged(const ChangedRegistration& reg);

// One user-log entry of the course module (kind 0 created, 1 changed, 2 deleted); the text is the
// string with the entry's code. The two trailing numbers are 0.
long WriteUserLog(long lKind, UINT nCode, const CString& strDetail, const CString& strModul, long lValue,
                  long lTableID, const CQvGUID& guidObject, const CQvGUID& guidParent);

// The registration window of the run the course window shows (its command 1004), as
// VRQ_CheckAutoOpenAutoCloseKursinstanz for that run, except that nothing is written when its open
// state needs no change and that a database that may not be written is passed over without a word.
// Nothing for run 0.
long CheckShownKursinstanz(long lKursinstanzID);

// Fires an event of the course module with the record id; a failure is only traced, the change it
// announces has happened.
void FireKursEvent(LPCWSTR lpszEvent, long lID);

// Whether the course dialog passed to the rights refresh is closing.
BOOL IsKursDlgClosing(CKursDlg* pDlg);

// The date's day at 00:00:00 (null stays null).
CQvDateTime DayStart(const CQvDateTime& dt);

}  // namespace kurs

// Traces a failed step under the course rules' source name and returns hr.
#define KURS_TRACEHR(hr) QvAddHRErrorFile(kurs::kTraceSource, __LINE__, (hr))
// Shows the database error of a failed step (the connection's error text, else the result's text).
#define KURS_REPORTDBERROR(conn, hr) kurs::ReportDBError((conn), (hr), __FILE__, __LINE__)
