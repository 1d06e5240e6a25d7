#pragma once
// CQvADORecordset: one query at a time on an open CQvADOConnection, which must outlive it. Rows
// are read one at a time, each value by column name converted to the caller's type; a caller
// that opened a keyset cursor with optimistic locking can change the current row and write it.
//
// Opening a query follows the connection's retry count and slow-statement settings; a query that
// fails because "the requested properties cannot be supported" is tried again after a second.
#include "qvbase.h"
#include "qvguid.h"
#include "qvobject.h"

class CQvADOConnection;
struct Recordset20;

class CQvADORecordset : public CObject {
public:
    explicit CQvADORecordset(CQvADOConnection* pConnection);
    ~CQvADORecordset() override;

    // With the profile's "DefaultCursorType" and "DefaultLockType".
    long Open(const CString& strStatement);
    // Cursor type 0 forward-only, 1 keyset, 3 static; lock type 1 read-only, 3 optimistic.
    long OpenSQL(const CString& strStatement, long lCursorType, long lLockType);
    // TRUE when not open (a statement without rows leaves it closed) or past the last row.
    long IsEOF(BOOL* pbEOF);
    long MoveNext(BOOL* pbEOF);
    long Close();

    // The value of the column in the current row. The conversion is stored also when the read
    // fails (the conversion of an empty value then); a NULL date and the date 0.0 give a null date.
    long GetFieldValue(const CString& strColumn, BOOL* pValue);
    long GetFieldValue(const CString& strColumn, long* pValue);
    long GetFieldValue(const CString& strColumn, double* pValue);
    long GetFieldValue(const CString& strColumn, CString* pValue);
    // Set only when the text was read; the result is then that of CQvGUID::SetGUID.
    long GetFieldValue(const CString& strColumn, CQvGUID* pValue);
    long GetFieldValue(const CString& strColumn, COleDateTime* pValue);
    long GetFieldValue(const CString& strColumn, COleVariant* pValue);
    // The same by the column's position in the result (0 the first): for a reader of many rows
    // that knows its statement's columns.
    long GetFieldValue(long nColumn, BOOL* pValue);
    long GetFieldValue(long nColumn, long* pValue);
    long GetFieldValue(long nColumn, double* pValue);
    long GetFieldValue(long nColumn, CString* pValue);
    long GetFieldValue(long nColumn, COleDateTime* pValue);

    long SetFieldValue(const CString& strColumn, const CString& strValue);
    long SetFieldValue(const CString& strColumn, long lValue);
    // Written as a 4-byte integer (TRUE as 1).
    long SetFieldValue(const CString& strColumn, BOOL bValue);
    // Writes the values set since the row was read.
    long Update();
    long GetState(long* plState);

    CQvADOConnection* m_pConnection;
    Recordset20* m_pRecordset = nullptr;

private:
    long CreateRecordset();
    // get_Collect into the variant; the result of the read.
    long Read(const CString& strColumn, VARIANT* pValue);
    long Read(long nColumn, VARIANT* pValue);
    // Reads the column at nColumn and converts it as the by-name reads do.
    template <typename T>
    long ReadAs(long nColumn, T* pValue);
};
