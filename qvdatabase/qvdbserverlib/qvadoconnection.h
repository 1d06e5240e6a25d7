#pragma once
// CQvADOConnection: the module's way to the database. It gets an ADO connection of a profile
// from the database server "Qovaro.QvDBServer" (the host frame's, or one it creates itself when
// no frame runs), applies the profile's cursor location and command timeout, and hands the
// connection back, with what it changed restored, on Close or destruction.
//
// Statements that fail through a deadlock or a timeout are tried again up to the profile's
// "DefaultExecuteRetry" tries, each retry and each final failure leaving a data-logger entry;
// statements slower than "Command4LogDuration [ms, 0=Disabled]" are logged too. A statement whose
// connection was lost after it was sent is not tried again unless it only read (the driver then
// reports the server as unreachable) or its caller says so. Inside a
// transaction a failed statement is never tried again on its own: the database may already have
// ended the transaction, so the failure goes to the transaction's owner, who rolls back.
//
// Every result is an HRESULT-style long; failing steps are traced. One object belongs to the
// thread that made it.
#include "qvbase.h"
#include "qvdbserverint.h"
#include "qvobject.h"

struct _Connection;

class CQvADOConnection : public CObject {
public:
    CQvADOConnection();
    ~CQvADOConnection() override;

    // Gets the connection of the profile (lReserved: 0); S_OK at once while one is held, after
    // reading the slow-statement settings again.
    long Open(const CString& strSource, long lReserved);
    // Restores what Open changed and hands the connection back; the server stays held.
    long Close(long lFlag);
    // A statement that returns no rows. A connection lost while it was on its way is repeated
    // only when `bSafeToRepeat` says that running it twice changes nothing more than once.
    // `plAffected` (may be null) gets the rows the statement inserted, updated or deleted.
    long Execute(const CString& strStatement, BOOL bSafeToRepeat = FALSE, long* plAffected = nullptr);

    long BeginTrans();
    long CommitTrans();
    long RollbackTrans();
    long SetIsolationLevel(long lLevel);
    long GetIsolationLevel(long* plLevel);
    long GetCursorLocation(long* plLocation);
    long GetCommandTimeout(long* plTimeout);
    // 0 stands for the profile's long command timeout.
    long SetCommandTimeout(long lSeconds);

    // Number, native error and SQL state of the first error of the last failed call; left as
    // they are when there is none.
    long GetLastErrorInfo(long* plNumber, long* plNativeError, CString& strSQLState);
    // All errors of the last failed call as text for a message box; empty when there are none.
    // After a failed Open, the errors of the connection that could not be opened.
    long GetErrorText(CString& strText);
    long GetErrorText(CString* pstrText) { return pstrText ? GetErrorText(*pstrText) : E_POINTER; }
    // A new key for the column of the table, from dbo.sp_GetUniqueID.
    long GetUniqueID(const CString& strTable, const CString& strColumn, long* plID);

    // TRUE when the database connection behind this one holds an open transaction.
    BOOL IsInTransaction() const;
    // Ends the statement running on the connection now (it fails with SQL state "HY008"); nothing
    // when none runs. The one member another thread may call, while the owner keeps this object
    // open. Only this object's statement ends: another object of the owner's thread that shares
    // the database connection (a lookup) runs on.
    long Cancel();

    CString m_strSource;
    BSTR m_bstrSource = nullptr;
    _Connection* m_pConnection = nullptr;
    _Connection* m_pFailedConnection = nullptr;  // of the last failed Open, for its errors only
    IQvDBServer* m_pDBServer = nullptr;
    BOOL m_fOwnServer = FALSE;
    long m_lExecuteRetry = 3;
    long m_lCommand4LogDuration = 0;
    CString m_strCommand4LogFilter;  // lower case
    long m_lSavedIsolationLevel = -1;
    long m_lSavedCursorLocation = 3;
    long m_lSavedCommandTimeout = 0;
};

// The client's own debugger trace: "QvDBServerLib: <local time>; 0x<thread id>; <message>".
void QvDBTraceText(const CString& strMessage);
template <class... A>
void QvDBTrace(LPCWSTR lpszFormat, const A&... args) {
    CString s;
    s.Format(lpszFormat, args...);
    QvDBTraceText(s);
}
