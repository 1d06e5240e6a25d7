#pragma once
// CLockDbRecord: the cooperative record lock kept in a row's own strLock column. A lock is the
// database server's time ("yyyy-mm-dd hh:mi:ss") followed by the owner tag "|computer|user"; a
// foreign lock older than the stale limit is cleared by whoever checks it.
#include "cstring.h"
#include "nqinterfaces.h"
#include "oledate.h"

#include <functional>
#include <utility>
#include <vector>

class CQvADOConnection;

// A page's save that found the stored record changed since the page loaded it: it wrote nothing.
// Beside the record-state codes, never shown as a state.
constexpr long eRecordChangedMeanwhile = 0xF0010;

// What a page shows of the stored record: the statements (with their number of columns) whose rows
// it loads and saves, the first reading the page's own row, and their content as the page last
// loaded it (empty while unknown).
struct CStoredState {
    std::vector<std::pair<CString, long>> statements;
    CString strLoaded;
};

// A row a save holds until its unit of work ends.
struct CHeldRow {
    CString strTable;
    CString strIDColumn;
    long lID = 0;
};

class CLockDbRecord {
public:
    CLockDbRecord();

    // eRecordEditing when this owner holds the lock afterwards; eRecordLockedByOther,
    // eRecordDeleted, eRecordUnchanged; S_OK when no try was made; or a failure. *pstrOwner
    // receives the lock text as the last check read it.
    long LockDbRecord(CString strTable, CString strIDColumn, long lID, CString* pstrOwner);
    // eRecordUnchanged when the row is free afterwards, eRecordLockedByOther otherwise, or a failure.
    long UnlockDbRecord(CString strTable, CString strIDColumn, long lID);
    // eRecordDeleted, eRecordUnchanged, eRecordEditing or eRecordLockedByOther, or a failure.
    // pstrOwner (may be null) receives the trimmed lock text in every case.
    long CheckDbRecordLock(CString strTable, CString strIDColumn, long lID, CString* pstrOwner);
    // The stored content of a record as one text: every row of each statement, its first columns
    // as many as given. A holder of the lock compares it with what his pages loaded, so that a
    // change another user saved in between is not written over. A failure is only traced: the
    // content is then unknown.
    long ReadStoredState(const std::vector<std::pair<CString, long>>& statements, CString& strState);
    // At a save, inside the saver's unit of work and before it writes: the rows are held until the
    // unit ends (a writer without the lock waits for it, so that nothing changes between this
    // reading and the save's writing), then `read` reads the stored content again. S_OK when it is
    // strLoaded (or nothing was loaded to compare), eRecordChangedMeanwhile when another user or a
    // writer without the lock changed it; or a failure. pstrStored (may be null) receives what was
    // read.
    long CheckStoredState(const std::vector<CHeldRow>& rows, const std::function<long(CString&)>& read,
                          const CString& strLoaded, CString* pstrStored);

    // A database that may not be written refuses the first lock; the user is told once, and the
    // later tries fail with the same result at once.
    long m_hrReadOnly = S_OK;
    long m_nRetries = -1;
    long m_nRetryPause = 500;
    long m_nStaleMinutes = 720;
    CString m_strOwnerTag;
};

namespace qv::nq {
// The time part of a lock text in its fixed "yyyy-mm-dd hh:mi:ss" form, whatever the locale;
// false for anything else.
bool ParseLockTime(const CString& strTime, COleDateTime& dt);
// Whole minutes from the lock time to now, rounded to the nearest second first.
long long LockAgeMinutes(const COleDateTime& dtLock, const COleDateTime& dtNow);
// The SQL condition that the row's strLock belongs to the owner with this tag.
CString OwnerCondition(const CString& strOwnerTag);
// The same test on a lock text as read: its part from the first bar equals the tag, case-sensitive
// and without trailing blanks, as the server compares texts.
bool IsOwnLock(const CString& strLock, const CString& strOwnerTag);
// Whether the connection's last failure says that the database may not be written (a database
// file opened read-only: SQLite's primary result code 8 under its extended codes).
bool IsReadOnlyFailure(CQvADOConnection& connection);
}  // namespace qv::nq
