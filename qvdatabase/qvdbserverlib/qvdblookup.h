#pragma once
#include <functional>
#include <string>
// Single-value lookups, the one-shot statement, quoting of text for SQL and the database error
// report. Each lookup and QvDBExecute opens a connection of the profile for the call.
//
// Lookups run "SELECT TOP 2 <column> MyValue FROM <table> [WHERE (<condition>)]"; the three parts
// are SQL text the caller built (text values through QvSQLString). Results: 0 when exactly one
// row matched; 1 when none matched (the value is left as it was, so callers set the default
// first) or several did (the first row's value is stored); negative on failure, after the error
// report was shown.
#include "qvbase.h"
#include "qvguid.h"

class CQvADOConnection;

long QvDBLookupVariant(const CString& strColumn, const CString& strTable, const CString& strCondition, VARIANT* pValue,
                       const CString& strSource, BOOL* pbFound);
long QvDBLookupBool(const CString& strColumn, const CString& strTable, const CString& strCondition, BOOL* pValue,
                    const CString& strSource);
long QvDBLookupLong(const CString& strColumn, const CString& strTable, const CString& strCondition, long* pValue,
                    const CString& strSource);
long QvDBLookupString(const CString& strColumn, const CString& strTable, const CString& strCondition, CString* pValue,
                      const CString& strSource);
// The same on a connection the caller holds open, so that several lookups of one piece of work
// open it once; its failures are reported as above.
long QvDBLookupVariant(CQvADOConnection& conn, const CString& strColumn, const CString& strTable,
                       const CString& strCondition, VARIANT* pValue, BOOL* pbFound);
long QvDBLookupBool(CQvADOConnection& conn, const CString& strColumn, const CString& strTable,
                    const CString& strCondition, BOOL* pValue);
long QvDBLookupLong(CQvADOConnection& conn, const CString& strColumn, const CString& strTable,
                    const CString& strCondition, long* pValue);
// An empty or NULL text gives the null GUID with 0; a text read from the first of several rows
// gives the result of CQvGUID::SetGUID.
long QvDBLookupGUID(const CString& strColumn, const CString& strTable, const CString& strCondition, CQvGUID* pValue,
                    const CString& strSource);
// Afterwards a value of 0.0, found or left, has status null.
long QvDBLookupDate(const CString& strColumn, const CString& strTable, const CString& strCondition,
                    COleDateTime* pValue, const CString& strSource);

// Runs one statement (with the connection's retries); a failure has been reported when it returns.
long QvDBExecute(const CString& strStatement, const CString& strSource);

// The text ready to stand between single quotes: cut to nMaxLength characters when that is
// above 0, then every single quote doubled (so the result may be longer than nMaxLength).
CString QvSQLString(const CString& strText, int nMaxLength);

// Shows the connection's error text (or, without one, "No OLEDB Error available!" and the text of
// the failure code) under the caption "OLEDB Errormessage" and returns when it was closed.
// Returns hr.
long QvReportDBError(CQvADOConnection* pConnection, long hr, LPCSTR lpszFile, long lLine);
long QvReportDBError(CQvADOConnection* pConnection, long hr, LPCWSTR lpszFile, long lLine);
inline long QvReportDBError(CQvADOConnection& connection, long hr, LPCSTR lpszFile, long lLine) {
    return QvReportDBError(&connection, hr, lpszFile, lLine);
}
// The same with an error text read earlier or given by another party (empty: none), for a
// report shown after the work that failed has ended or of a failure the connection does not know.
long QvReportDBErrorText(const CString& strErrorText, long hr, LPCSTR lpszFile, long lLine);
// While a unit of work of this thread holds its transaction open, its owner takes the reports
// (with the error text as it is now) and shows them when the unit has ended; an empty hook
// shows them at once again. Taken reports count as shown.
using QvDBErrorReportHook = std::function<void(const CString& strText, long hr, const std::wstring& strFile, long lLine)>;
// Returns the hook it replaces, for a scope that puts it back.
QvDBErrorReportHook QvSetDBErrorReportHook(QvDBErrorReportHook hook);
// While one lives on this thread, the reports shown start with its line (the user's words for
// what could not be done), above the database's own text; inside another, the outer line stays.
class QvDBErrorHeadline {
public:
    explicit QvDBErrorHeadline(const CString& strLine);
    ~QvDBErrorHeadline();
    QvDBErrorHeadline(const QvDBErrorHeadline&) = delete;
    QvDBErrorHeadline& operator=(const QvDBErrorHeadline&) = delete;

private:
    CString m_strPrevious;
};
// How many database error reports this thread has shown so far: a caller whose nested operation
// failed and already showed its report compares the count before and after the call and does not
// show the same failure a second time.
long QvDBErrorReportCount();
