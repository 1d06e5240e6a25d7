#include "userlog.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvcomserver.h"
#include "qvdblookup.h"
#include "qverrorinfo.h"
#include "qvfinit.h"
#include "qvhrtrace.h"
#include "trace.h"

#define USERLOG_TRACE(hr) QvAddHRErrorFile(L"userlog", __LINE__, (hr))

namespace {

// What the server said of the entry it refused (its error object); empty when it said nothing.
CString RefusalText() {
    IErrorInfo* pInfo = nullptr;
    CString strText;
    if (GetErrorInfo(0, &pInfo) == S_OK && pInfo) {
        BSTR bstr = nullptr;
        if (SUCCEEDED(pInfo->GetDescription(&bstr)) && bstr) strText = bstr;
        SysFreeString(bstr);
        pInfo->Release();
    }
    return strText;
}

}  // namespace

CUserLog::CUserLog() = default;

CUserLog::~CUserLog() {
    if (m_pUserLog) m_pUserLog->Release();
}

long CUserLog::ConnectUserLog() {
    if (m_pUserLog) return S_OK;
    if (m_lConnectAttempts >= kMaxConnectAttempts) {
        CString strMsg;
        strMsg.Format(L"CUserLog::ConnectUserLog() Server ist not available, (%d/10)\n", m_lConnectAttempts);
        OutputDebugString(strMsg);
        return S_OK;
    }

    IUnknown* pFrame = nullptr;
    IQvFServerList* pServerList = nullptr;
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(QVUSERLOG_PROGID, &clsid);
    if (FAILED(hr)) USERLOG_TRACE(hr);
    if (SUCCEEDED(hr)) {
        hr = GetFrameIUnk(&pFrame);
        if (FAILED(hr)) USERLOG_TRACE(hr);
    }
    if (SUCCEEDED(hr)) {
        hr = pFrame->QueryInterface(IID_IQvFServerList, reinterpret_cast<void**>(&pServerList));
        if (SUCCEEDED(hr) && !pServerList) hr = E_NOINTERFACE;
        if (FAILED(hr)) USERLOG_TRACE(hr);
    }
    // A host that does not offer the server is no failure: the entries are dropped.
    if (SUCCEEDED(hr) && pServerList->IsServerAvailable(clsid) == S_OK) {
        hr = QueryCOMServer(QVUSERLOG_PROGID, IID_IUserLog, reinterpret_cast<void**>(&m_pUserLog));
        if (FAILED(hr)) {
            m_pUserLog = nullptr;
            USERLOG_TRACE(hr);
        }
    }
    if (pServerList) pServerList->Release();
    if (pFrame) pFrame->Release();
    ++m_lConnectAttempts;
    return hr;
}

long CUserLog::GetNewGrouping() {
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long lGrouping = 0;
    HRESULT hr = conn.Open(L"Qovaro.NQ2", 0);
    if (SUCCEEDED(hr)) {
        hr = rs.OpenSQL(L"DECLARE @newID as int \t\t\t\texecute dbo.sp_GetUniqueID 'UserLog', 'lGrouping', @newID output "
                        L"\t\t\t\tSELECT @newID AS newID",
                        0, 1);
    }
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"newID", &lGrouping);
    if (SUCCEEDED(hr)) hr = rs.Close();
    if (FAILED(hr)) {
        USERLOG_TRACE(hr);
        QvReportDBError(&conn, hr, "userlog.cpp", __LINE__);
        return 0;
    }
    return lGrouping;
}

long CUserLog::Write(long lKind, CString* pstrText, CString* pstrDetail, CString* pstrModul, long lValue,
                     long lTableID, CQvGUID* pguidObject, CQvGUID* pguidParent, long lCode, long lGrouping) {
    m_strLastError.Empty();
    if (!pstrText || pstrText->IsEmpty()) {
        m_strLastError = L"Der Text des Logeintrages ist leer!";
        return E_FAIL;
    }
    if (!pstrModul || pstrModul->IsEmpty()) {
        m_strLastError = L"Die Modulbezeichnung ist leer!";
        return E_FAIL;
    }

    CSingleLock lock(&m_lock, TRUE);
    HRESULT hr = ConnectUserLog();
    if (FAILED(hr)) USERLOG_TRACE(hr);
    if (!m_pUserLog) return hr;

    BSTR bstrText = pstrText->AllocSysString();
    BSTR bstrDetail = pstrDetail ? pstrDetail->AllocSysString() : SysAllocString(L"");
    BSTR bstrModul = pstrModul->AllocSysString();
    const GUID guidObject = pguidObject ? pguidObject->GetValue() : GUID_NULL;
    const GUID guidParent = pguidParent ? pguidParent->GetValue() : GUID_NULL;
    if (SUCCEEDED(hr)) {
        SetErrorInfo(0, nullptr);
        hr = m_pUserLog->Write(lKind, bstrText, bstrDetail, bstrModul, lValue, lTableID, guidObject, guidParent, lCode,
                               lGrouping);
        if (FAILED(hr)) {
            USERLOG_TRACE(hr);
            m_strLastError = RefusalText();
        }
    }
    SysFreeString(bstrText);
    SysFreeString(bstrDetail);
    SysFreeString(bstrModul);
    return hr;
}

long CUserLog::WriteInsert(CString* pstrText, CString* pstrDetail, CString* pstrModul, long lValue, long lTableID,
                           CQvGUID* pguidObject, CQvGUID* pguidParent, long lCode, long lGrouping) {
    return Write(QVUSERLOG_INSERT, pstrText, pstrDetail, pstrModul, lValue, lTableID, pguidObject, pguidParent, lCode,
                 lGrouping);
}

long CUserLog::WriteUpdate(CString* pstrText, CString* pstrDetail, CString* pstrModul, long lValue, long lTableID,
                           CQvGUID* pguidObject, CQvGUID* pguidParent, long lCode, long lGrouping) {
    return Write(QVUSERLOG_UPDATE, pstrText, pstrDetail, pstrModul, lValue, lTableID, pguidObject, pguidParent, lCode,
                 lGrouping);
}

long CUserLog::WriteDelete(CString* pstrText, CString* pstrDetail, CString* pstrModul, long lValue, long lTableID,
                           CQvGUID* pguidObject, CQvGUID* pguidParent, long lCode, long lGrouping) {
    return Write(QVUSERLOG_DELETE, pstrText, pstrDetail, pstrModul, lValue, lTableID, pguidObject, pguidParent, lCode,
                 lGrouping);
}

long CUserLog::ShowSpecificUserLog(long lMode, CString strName, CString strText2, CString strText3,
                                   CQvGUID guidObject) {
    m_strLastError.Empty();
    HRESULT hr = S_OK;
    {
        CSingleLock lock(&m_lock, TRUE);
        hr = ConnectUserLog();
        if (FAILED(hr)) USERLOG_TRACE(hr);
    }
    if (!m_pUserLog) return hr;

    BSTR bstrName = strName.AllocSysString();
    BSTR bstrText2 = strText2.AllocSysString();
    BSTR bstrText3 = strText3.AllocSysString();
    if (SUCCEEDED(hr)) {
        hr = m_pUserLog->ShowSpecificUserLog(lMode, bstrName, bstrText2, bstrText3, guidObject.GetValue());
        if (FAILED(hr)) USERLOG_TRACE(hr);
    }
    SysFreeString(bstrName);
    SysFreeString(bstrText2);
    SysFreeString(bstrText3);
    return hr;
}
