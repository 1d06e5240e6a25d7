#include "userlogstandin.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdblookup.h"
#include "qverrorinfo.h"
#include "qvguid.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "qvsysinfo.h"
#include "suitedb.h"

#include <string>

IMPLEMENT_DYNCREATE(CQvUserLogServer, CQvStandInServer)

BEGIN_INTERFACE_MAP(CQvUserLogServer, CQvStandInServer)
    INTERFACE_PART(CQvUserLogServer, IID_IUserLog, UserLog)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CQvUserLogServer, UserLog)

namespace {

constexpr const wchar_t* kSource = L"qvuserlogserver";
constexpr const wchar_t* kProfile = L"Qovaro.NQ2";

CString Text(BSTR b) { return b ? CString(std::wstring(b, SysStringLen(b))) : CString(); }

// Leaves the cause of a refused entry for the caller (the thread's error object).
void SetRefusal(const CString& strCause) {
    if (strCause.IsEmpty()) return;
    ICreateErrorInfo* pCreate = nullptr;
    if (FAILED(CreateErrorInfo(&pCreate))) return;
    std::wstring strSource = QVUSERLOG_PROGID;
    std::wstring strText = static_cast<LPCWSTR>(strCause);
    pCreate->SetSource(strSource.data());
    pCreate->SetDescription(strText.data());
    IErrorInfo* pInfo = nullptr;
    if (SUCCEEDED(pCreate->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&pInfo)))) {
        SetErrorInfo(0, pInfo);
        pInfo->Release();
    }
    pCreate->Release();
}

}  // namespace

CQvUserLogServer::CQvUserLogServer() = default;

HRESULT CQvUserLogServer::XUserLog::Write(long lKind, BSTR bstrText, BSTR bstrDetail, BSTR bstrModul, long lValue,
                                          long lTableID, GUID guidObject, GUID guidParent, long lCode,
                                          long lGrouping) {
    const CString strText = Text(bstrText);
    const CString strModul = Text(bstrModul);
    if (lKind < QVUSERLOG_INSERT || lKind > QVUSERLOG_DELETE || strText.IsEmpty() || strModul.IsEmpty()) {
        return QV_TRACEHR(kSource, E_INVALIDARG);
    }

    CQvADOConnection conn;
    HRESULT hr = conn.Open(kProfile, 0);
    long lUserLogID = 0;
    if (SUCCEEDED(hr)) hr = conn.GetUniqueID(L"UserLog", L"lUserLogID", &lUserLogID);
    if (SUCCEEDED(hr)) {
        const long lUserID = static_cast<long>(qv::suite::GetSystemID());
        CString sql;
        sql.Format(L"INSERT INTO UserLog (lUserLogID, lGrouping, lKind, strText, strDetail, strModul, lCode, lTableID, "
                   L"guidRecord, guidParent, lValue, strUser, strComputer) "
                   L"SELECT %d, %d, %d, '%s', '%s', '%s', %d, %d, '%s', '%s', %d, "
                   L"isnull((SELECT strName FROM QvSecUser WHERE lQvSecUserID = %d), ''), '%s'",
                   lUserLogID, lGrouping, lKind, QvSQLString(strText, 0), QvSQLString(Text(bstrDetail), 0),
                   QvSQLString(strModul, 0), lCode, lTableID, CQvGUID(guidObject).GetGUID(TRUE),
                   CQvGUID(guidParent).GetGUID(TRUE), lValue, lUserID, QvSQLString(QvGetComputerName(), 0));
        hr = conn.Execute(sql);
    }
    if (FAILED(hr)) {
        // The caller's report names the database's cause of the refusal.
        CString strCause;
        conn.GetErrorText(strCause);
        SetRefusal(strCause);
        return QV_TRACEHR(kSource, hr);
    }
    return S_OK;
}

HRESULT CQvUserLogServer::XUserLog::ShowSpecificUserLog(long lMode, BSTR bstrName, BSTR, BSTR, GUID guidObject) {
    if (lMode != 1) return QV_TRACEHR(kSource, E_INVALIDARG);

    CQvADOConnection conn;
    HRESULT hr = conn.Open(kProfile, 0);
    CString strEntries;
    if (SUCCEEDED(hr)) {
        CString sql;
        sql.Format(L"SELECT dtTime, strUser, strText, strDetail FROM UserLog WHERE guidRecord = '%s' "
                   L"ORDER BY dtTime, lUserLogID",
                   CQvGUID(guidObject).GetGUID(TRUE));
        CQvADORecordset rs(&conn);
        hr = rs.OpenSQL(sql, 0, 1);
        BOOL eof = TRUE;
        if (SUCCEEDED(hr)) hr = rs.IsEOF(&eof);
        while (SUCCEEDED(hr) && !eof) {
            COleDateTime dtTime;
            CString strUser, strText, strDetail;
            hr = rs.GetFieldValue(L"dtTime", &dtTime);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strUser", &strUser);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strText", &strText);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strDetail", &strDetail);
            if (SUCCEEDED(hr)) {
                strEntries.AppendFormat(L"%s | %s | %s", dtTime.Format(L"%d.%m.%Y %H:%M:%S"), strUser, strText);
                if (!strDetail.IsEmpty()) strEntries.AppendFormat(L" | %s", strDetail);
                strEntries += L"\n";
                hr = rs.MoveNext(&eof);
            }
        }
        rs.Close();
    }
    if (FAILED(hr)) return QV_TRACEHR(kSource, hr);

    CString strCaption = Text(bstrName);
    if (strCaption.IsEmpty()) strCaption = L"Benutzerprotokoll";
    if (strEntries.IsEmpty()) strEntries = L"Keine Einträge vorhanden.";
    // A record's log is no error: a plain box with the entries, under the record's name.
    ::MessageBox(nullptr, strEntries, strCaption, MB_OK | MB_ICONINFORMATION);
    return S_OK;
}

QV_STANDIN_SERVER_EXPORTS(CLSID_UserLog, CQvUserLogServer, QVUSERLOG_PROGID, AfxDllCanUnloadNow())
