#pragma once
// What the course API's sources share: the database profile, the failure trace under the source
// name of the course rules, the database error report, the default status of new bookings, the
// rights bits and security functions of the rights rows, the transaction rule of operations that
// write several tables, user-log entries and change events.
#include "kursdlgclosing.h"
#include "kursplatform.h"
#include "kursres.h"
#include "kurssqltext.h"
#include "qvcommon.h"
#include "qvdbserverlib.h"
#include "vrqkurs.h"

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
    // transaction.
    long End(long hr);
    bool Owns() const { return m_bOwn; }

private:
    CQvADOConnection& m_conn;
    bool m_bOwn = false;
};

// One user-log entry of the course module (kind 0 created, 1 changed, 2 deleted); the text is the
// string with the entry's code. The two trailing numbers are 0.
long WriteUserLog(long lKind, UINT nCode, const CString& strDetail, const CString& strModul, long lValue,
                  long lTableID, const CQvGUID& guidObject, const CQvGUID& guidParent);

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
#define KURS_REPORTDBERROR(conn, hr) QvReportDBError((conn), (hr), __FILE__, __LINE__)
