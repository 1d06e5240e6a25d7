#include "qvdblookup.h"
#include "adoint.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvcrackvariant.h"
#include "qvdbretry.h"
#include "qvdbsettings.h"
#include "qvhrtrace.h"
#include "qvinteract.h"

#include <utility>

namespace {

constexpr const wchar_t* kTrace = L"qvdblookup";

HRESULT Traced(HRESULT hr, long line) { return FAILED(hr) ? QvAddHRErrorFile(kTrace, line, hr) : hr; }
#define TRACED(hr) Traced((hr), __LINE__)

// The lookup's statement on an open connection; a failure is left for the caller to report.
long ReadFirst(CQvADOConnection& conn, const CString& strColumn, const CString& strTable, const CString& strCondition,
               VARIANT* pValue, BOOL* pbFound) {
    CQvADORecordset rs(&conn);
    CString strSQL;
    if (strCondition.IsEmpty()) {
        strSQL.Format(L"SELECT TOP 2 %s MyValue FROM %s", strColumn, strTable);
    } else {
        strSQL.Format(L"SELECT TOP 2 %s MyValue FROM %s WHERE (%s)", strColumn, strTable, strCondition);
    }
    long hr = TRACED(rs.OpenSQL(strSQL, adOpenForwardOnly, adLockReadOnly));
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = TRACED(rs.IsEOF(&bEOF));
    if (FAILED(hr)) return hr;
    if (bEOF) return S_FALSE;
    if (pbFound) *pbFound = TRUE;
    COleVariant v;
    hr = TRACED(rs.GetFieldValue(L"MyValue", &v));
    if (pValue) {
        VariantClear(pValue);
        VariantCopy(pValue, &v);
    }
    if (SUCCEEDED(hr)) hr = TRACED(rs.MoveNext(&bEOF));
    if (SUCCEEDED(hr)) hr = bEOF ? S_OK : S_FALSE;
    return hr;
}

// A single row's value, read as a variant, on the connection given or else on one of the profile
// opened for the call.
template <class Store>
long Lookup(CQvADOConnection* pConnection, const CString& strColumn, const CString& strTable,
            const CString& strCondition, const CString& strSource, Store store) {
    COleVariant v;
    BOOL bFound = FALSE;
    const long hr = pConnection ? QvDBLookupVariant(*pConnection, strColumn, strTable, strCondition, &v, &bFound)
                                : QvDBLookupVariant(strColumn, strTable, strCondition, &v, strSource, &bFound);
    if (bFound) store(v);
    return hr;
}

// Where a found value goes, for the lookups with and without a connection of the caller's.
auto BoolInto(BOOL* pValue) {
    return [pValue](const VARIANT& v) {
        if (pValue) *pValue = CrackBoolVariant(v);
    };
}
auto LongInto(long* pValue) {
    return [pValue](const VARIANT& v) {
        if (pValue) *pValue = CrackLongVariant(v);
    };
}

}  // namespace

long QvDBLookupVariant(const CString& strColumn, const CString& strTable, const CString& strCondition, VARIANT* pValue,
                       const CString& strSource, BOOL* pbFound) {
    if (pbFound) *pbFound = FALSE;
    // The connection's settings and the recordset's class come from one look at the registry.
    const QvDBSettingsScope settings;
    CQvADOConnection conn;
    long hr = TRACED(conn.Open(strSource, 0));
    if (SUCCEEDED(hr)) hr = ReadFirst(conn, strColumn, strTable, strCondition, pValue, pbFound);
    if (FAILED(hr)) QvReportDBError(&conn, hr, __FILE__, __LINE__);
    return hr;
}

long QvDBLookupVariant(CQvADOConnection& conn, const CString& strColumn, const CString& strTable,
                       const CString& strCondition, VARIANT* pValue, BOOL* pbFound) {
    if (pbFound) *pbFound = FALSE;
    const QvDBSettingsScope settings;
    const long hr = ReadFirst(conn, strColumn, strTable, strCondition, pValue, pbFound);
    if (FAILED(hr)) QvReportDBError(&conn, hr, __FILE__, __LINE__);
    return hr;
}

long QvDBLookupBool(const CString& strColumn, const CString& strTable, const CString& strCondition, BOOL* pValue,
                    const CString& strSource) {
    return Lookup(nullptr, strColumn, strTable, strCondition, strSource, BoolInto(pValue));
}

long QvDBLookupLong(const CString& strColumn, const CString& strTable, const CString& strCondition, long* pValue,
                    const CString& strSource) {
    return Lookup(nullptr, strColumn, strTable, strCondition, strSource, LongInto(pValue));
}

long QvDBLookupBool(CQvADOConnection& conn, const CString& strColumn, const CString& strTable,
                    const CString& strCondition, BOOL* pValue) {
    return Lookup(&conn, strColumn, strTable, strCondition, CString(), BoolInto(pValue));
}

long QvDBLookupLong(CQvADOConnection& conn, const CString& strColumn, const CString& strTable,
                    const CString& strCondition, long* pValue) {
    return Lookup(&conn, strColumn, strTable, strCondition, CString(), LongInto(pValue));
}

long QvDBLookupString(const CString& strColumn, const CString& strTable, const CString& strCondition, CString* pValue,
                      const CString& strSource) {
    return Lookup(nullptr, strColumn, strTable, strCondition, strSource, [&](const VARIANT& v) {
        if (pValue) *pValue = CrackStrVariant(v);
    });
}

long QvDBLookupGUID(const CString& strColumn, const CString& strTable, const CString& strCondition, CQvGUID* pValue,
                    const CString& strSource) {
    CString strText;
    const long hr = QvDBLookupString(strColumn, strTable, strCondition, &strText, strSource);
    if (hr == S_OK && strText.IsEmpty()) {
        if (pValue) pValue->SetNULL();
        return S_OK;
    }
    if ((hr == S_OK || hr == S_FALSE) && !strText.IsEmpty()) return pValue ? pValue->SetGUID(strText) : hr;
    return hr;
}

long QvDBLookupDate(const CString& strColumn, const CString& strTable, const CString& strCondition,
                    COleDateTime* pValue, const CString& strSource) {
    const long hr = Lookup(nullptr, strColumn, strTable, strCondition, strSource, [&](const VARIANT& v) {
        if (!pValue) return;
        *pValue = COleDateTime(CrackDateVariant(v));
        pValue->SetStatus(COleDateTime::valid);
    });
    if (pValue && pValue->m_dt == 0.0) pValue->SetStatus(COleDateTime::null);
    return hr;
}

long QvDBExecute(const CString& strStatement, const CString& strSource) {
    CQvADOConnection conn;
    long hr = TRACED(conn.Open(strSource, 0));
    if (SUCCEEDED(hr)) hr = TRACED(conn.Execute(strStatement));
    if (FAILED(hr)) QvReportDBError(&conn, hr, __FILE__, __LINE__);
    return hr;
}

CString QvSQLString(const CString& strText, int nMaxLength) {
    const CString strCut = nMaxLength > 0 ? strText.Left(nMaxLength) : strText;
    CString strOut;
    for (int i = 0; i < strCut.GetLength(); ++i) {
        const wchar_t c = strCut[i];
        strOut.AppendChar(c);
        if (c == L'\'') strOut.AppendChar(L'\'');
    }
    return strOut;
}

namespace {
thread_local long t_lDBErrorReports = 0;
thread_local QvDBErrorReportHook t_reportHook;
thread_local CString t_strHeadline;
}  // namespace

QvDBErrorReportHook QvSetDBErrorReportHook(QvDBErrorReportHook hook) {
    return std::exchange(t_reportHook, std::move(hook));
}

QvDBErrorHeadline::QvDBErrorHeadline(const CString& strLine) : m_strPrevious(t_strHeadline) {
    // The outer one names what the user asked for.
    if (t_strHeadline.IsEmpty()) t_strHeadline = strLine;
}

QvDBErrorHeadline::~QvDBErrorHeadline() { t_strHeadline = m_strPrevious; }

long QvDBErrorReportCount() { return t_lDBErrorReports; }

namespace {
long ReportDBErrorText(CString strText, long hr, LPCWSTR lpszFile, long lLine) {
    ++t_lDBErrorReports;
    if (strText.IsEmpty()) strText.Format(L"No OLEDB Error available!\n%s", CrackHR(static_cast<HRESULT>(hr)));
    if (!t_strHeadline.IsEmpty()) strText = t_strHeadline + L"\n\n" + strText;
    QvReportMsg(1, strText, L"OLEDB Errormessage", L"Default", lpszFile, lLine, TRUE);
    return hr;
}
}  // namespace

long QvReportDBError(CQvADOConnection* pConnection, long hr, LPCWSTR lpszFile, long lLine) {
    CString strText;
    if (pConnection) pConnection->GetErrorText(strText);
    if (strText.IsEmpty()) strText = qv::db::LostConnectionText();
    if (t_reportHook) {
        ++t_lDBErrorReports;
        t_reportHook(strText, hr, lpszFile ? lpszFile : L"", lLine);
        return hr;
    }
    return ReportDBErrorText(strText, hr, lpszFile, lLine);
}

long QvReportDBErrorText(const CString& strErrorText, long hr, LPCSTR lpszFile, long lLine) {
    const std::wstring file = qv::FromUtf8(lpszFile ? lpszFile : "");
    if (t_reportHook) {
        ++t_lDBErrorReports;
        t_reportHook(strErrorText, hr, file, lLine);
        return hr;
    }
    return ReportDBErrorText(strErrorText, hr, file.c_str(), lLine);
}

long QvReportDBError(CQvADOConnection* pConnection, long hr, LPCSTR lpszFile, long lLine) {
    const std::wstring file = qv::FromUtf8(lpszFile ? lpszFile : "");
    return QvReportDBError(pConnection, hr, file.c_str(), lLine);
}
