#pragma once
// What the connection and the recordset share about failed statements: which failures are worth
// another try, the slow-statement entry, and the wait before some tries.
#include "cstring.h"
#include "qvguid.h"
#include "qvtypes.h"

#include <functional>

class CQvADOConnection;
class CQvDataLogger;

namespace qv::db {

enum class Failure {
    Deadlock,        // native error 1205, whatever the result code
    Timeout,         // the command timed out
    NotSupported,    // "the requested properties cannot be supported" (queries only)
    ConnectTimeout,  // E_FAIL with native 0 and "HYT00", or native 17 and "08001"
    LinkLost,        // native 17 and "08S01": lost after the statement was sent, which may have
                     // taken effect; repeated only when the caller marked it safe to repeat
    Cancelled,       // "HY008": ended because the program asked it to (a closed window's search);
                     // neither repeated nor a failure to log
    Other,           // not repeated
};

Failure Classify(HRESULT hr, long lNativeError, const CString& strSQLState, bool bQuery);

// A statement as a log entry holds it: at most kLoggedStatementLength characters, a longer one
// cut with a marker that says so (a pasted search may be megabytes long).
constexpr int kLoggedStatementLength = 2000;
CString LoggedStatement(const CString& strStatement);

// Writes the slow-statement entry when the connection's threshold is on, the try took longer
// and the statement passes the filter. The template takes the seconds and the statement.
void LogSlowStatement(CQvDataLogger& log, const CQvGUID& message, LPCWSTR lpszTemplate, const CQvADOConnection& conn,
                      const CString& strStatement, double dMilliseconds);

// A connection to the server lost on this thread (native error 17), with the error text, until a
// statement succeeds again: a failure reported without an error of its own (it came back through
// another connection object, as a server's write does) is then reported as that lost connection.
void NoteStatementResult(long lNativeError, CQvADOConnection* pConnection);
// The same for a connection that could not be made (its error text; empty: none known).
void NoteConnectFailure(const CString& strText);
CString LostConnectionText();

// The wait before a query is tried again after NotSupported; tests replace it (an empty
// function puts Sleep back).
void Wait(DWORD dwMilliseconds);
void SetWaitFunction(std::function<void(DWORD)> wait);

}  // namespace qv::db
