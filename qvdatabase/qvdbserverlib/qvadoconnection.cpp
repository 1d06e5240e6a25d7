#include "qvadoconnection.h"
#include "adoint.h"
#include "qvadorecordset.h"
#include "qvcomserver.h"
#include "qvdatalogger.h"
#include "qvdbretry.h"
#include "qvdbsettings.h"
#include "qvfinit.h"
#include "qvhrtrace.h"
#include "qvperfmeter.h"
#include "qvregvalue.h"

namespace {

constexpr const wchar_t* kTrace = L"qvadoconnection";

const CQvGUID kDeadlock(L"f322e3e5-4677-4b37-85d8-bee4392c19f1");
const CQvGUID kTimeout(L"57dd0233-9e6a-422e-a7cb-7121c7fa4ecc");
const CQvGUID kConnectTimeout(L"9b0086c7-6e61-48bb-a290-6a7c532e24f0");
const CQvGUID kFailed(L"edd64096-9b0d-4ff7-a784-89286ec5f107");
const CQvGUID kSlow(L"fb9f52d9-86cb-4311-ad64-b36ef1fd9146");

// A BSTR for the length of a call.
class Bstr {
public:
    explicit Bstr(const CString& s) : b_(s.AllocSysString()) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return b_; }

private:
    BSTR b_;
};

CString Text(BSTR b) { return b ? CString(std::wstring(b, SysStringLen(b))) : CString(); }

HRESULT Traced(HRESULT hr, long line) { return FAILED(hr) ? QvAddHRErrorFile(kTrace, line, hr) : hr; }
#define TRACED(hr) Traced((hr), __LINE__)

}  // namespace

void QvDBTraceText(const CString& strMessage) {
    CString line;
    line.Format(L"QvDBServerLib: %s; 0x%X; %s\n", COleDateTime::GetCurrentTime().Format(), GetCurrentThreadId(),
                strMessage);
    OutputDebugStringW(line);
}

CQvADOConnection::CQvADOConnection() = default;

CQvADOConnection::~CQvADOConnection() {
    Close(0);
    if (m_pFailedConnection) m_pFailedConnection->Release();
    if (m_fOwnServer && m_pDBServer) {
        IQvFInit* pInit = nullptr;
        if (SUCCEEDED(TRACED(m_pDBServer->QueryInterface(IID_IQvFInit, reinterpret_cast<void**>(&pInit)))) && pInit) {
            if (SUCCEEDED(TRACED(pInit->Close()))) TRACED(pInit->ReleaseServers());
            pInit->Release();
        }
    }
    if (m_pDBServer) {
        m_pDBServer->Release();
        m_pDBServer = nullptr;
    }
    SysFreeString(m_bstrSource);
    m_bstrSource = nullptr;
}

long CQvADOConnection::Open(const CString& strSource, long lReserved) {
    SysFreeString(m_bstrSource);
    m_strSource = strSource;
    m_bstrSource = m_strSource.AllocSysString();

    const QvDBSettingsScope settings;
    m_lCommand4LogDuration = QvDBReadSetting(QVDB_BASE_KEY, L"Command4LogDuration [ms, 0=Disabled]", m_lCommand4LogDuration);
    m_strCommand4LogFilter = QvDBReadSetting(QVDB_BASE_KEY, L"Command4LogFilter", m_strCommand4LogFilter);
    m_strCommand4LogFilter.MakeLower();

    if (m_pConnection) return S_OK;

    HRESULT hr = S_OK;
    if (!m_pDBServer) {
        hr = QueryCOMServer(QVDBSERVER_PROGID, IID_IQvDBServer, reinterpret_cast<void**>(&m_pDBServer));
        if (hr == E_FAIL || hr == E_NOINTERFACE) {
            // No host frame: this object runs a database server of its own.
            if (m_pDBServer) {
                m_pDBServer->Release();
                m_pDBServer = nullptr;
            }
            QvDBTrace(L"Connecting to QvDBServer without QvFrame!");
            CLSID clsid{};
            IQvFInit* pInit = nullptr;
            hr = TRACED(CLSIDFromProgID(QVDBSERVER_PROGID, &clsid));
            if (SUCCEEDED(hr)) {
                hr = TRACED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IQvFInit,
                                             reinterpret_cast<void**>(&pInit)));
            }
            if (SUCCEEDED(hr)) hr = TRACED(pInit->Init(FALSE));
            if (SUCCEEDED(hr)) hr = TRACED(pInit->QueryInterface(IID_IQvDBServer, reinterpret_cast<void**>(&m_pDBServer)));
            if (pInit) pInit->Release();
            m_fOwnServer = SUCCEEDED(hr) && m_pDBServer ? TRUE : FALSE;
            if (FAILED(hr)) return hr;
        } else if (FAILED(hr)) {
            return TRACED(hr);
        }
    }
    if (!m_pDBServer) return TRACED(E_FAIL);

    if (m_pFailedConnection) m_pFailedConnection->Release();
    m_pFailedConnection = nullptr;
    hr = TRACED(m_pDBServer->GetConnection(m_bstrSource, lReserved, &m_pConnection));
    if (FAILED(hr)) {
        // Why it could not be opened is told by the connection that failed, when the server kept it.
        IQvDBConnectionInfo* pInfo = nullptr;
        if (SUCCEEDED(m_pDBServer->QueryInterface(IID_IQvDBConnectionInfo, reinterpret_cast<void**>(&pInfo))) && pInfo) {
            pInfo->TakeFailedConnection(&m_pFailedConnection);
            pInfo->Release();
        }
        // A report on this thread that has no error of its own (a lookup's caller, a search that
        // never got its connection) tells why.
        CString strWhy;
        if (m_pFailedConnection) GetErrorText(strWhy);
        qv::db::NoteConnectFailure(strWhy);
        return hr;
    }
    if (!m_pConnection) return TRACED(E_FAIL);

    m_lExecuteRetry = QvDBGetDefaultExecuteRetry(m_strSource);
    hr = TRACED(m_pConnection->get_CursorLocation(&m_lSavedCursorLocation));
    if (SUCCEEDED(hr)) hr = TRACED(m_pConnection->put_CursorLocation(QvDBGetDefaultCursorLocation(m_strSource)));
    if (SUCCEEDED(hr)) hr = TRACED(m_pConnection->get_CommandTimeout(&m_lSavedCommandTimeout));
    if (SUCCEEDED(hr)) hr = TRACED(m_pConnection->put_CommandTimeout(QvDBGetDefaultCommandTimeout(m_strSource, 0)));
    if (SUCCEEDED(hr)) hr = TRACED(m_pConnection->get_IsolationLevel(&m_lSavedIsolationLevel));
    return hr;
}

long CQvADOConnection::Close(long lFlag) {
    if (!m_pConnection) return S_OK;
    long lLevel = 0;
    HRESULT hr = TRACED(m_pConnection->get_IsolationLevel(&lLevel));
    if (SUCCEEDED(hr) && lLevel != m_lSavedIsolationLevel) TRACED(m_pConnection->put_IsolationLevel(m_lSavedIsolationLevel));
    if (m_lSavedCommandTimeout != 0) TRACED(SetCommandTimeout(m_lSavedCommandTimeout));
    if (m_lSavedCursorLocation != 3) TRACED(m_pConnection->put_CursorLocation(m_lSavedCursorLocation));

    const long lReleaseFlag = m_strSource.Find(L"QvInternalDBProfile_") == 0 ? 1 : lFlag;
    if (m_pDBServer) hr = TRACED(m_pDBServer->ReleaseConnection(m_pConnection, lReleaseFlag));
    m_pConnection->Release();
    m_pConnection = nullptr;
    return hr;
}

BOOL CQvADOConnection::IsInTransaction() const {
    if (!m_pConnection || !m_pDBServer) return FALSE;
    IQvDBConnectionInfo* pInfo = nullptr;
    if (FAILED(m_pDBServer->QueryInterface(IID_IQvDBConnectionInfo, reinterpret_cast<void**>(&pInfo))) || !pInfo) {
        return FALSE;
    }
    long lDepth = 0;
    const HRESULT hr = pInfo->GetTransactionDepth(m_pConnection, &lDepth);
    pInfo->Release();
    return SUCCEEDED(hr) && lDepth > 0 ? TRUE : FALSE;
}

long CQvADOConnection::Cancel() { return m_pConnection ? m_pConnection->Cancel() : E_FAIL; }

long CQvADOConnection::Execute(const CString& strStatement, BOOL bSafeToRepeat, long* plAffected) {
    if (plAffected) *plAffected = 0;
    if (!m_pConnection) return E_FAIL;
    CQvDataLogger log(L"QvDBServerLib");
    const BOOL bInTransaction = IsInTransaction();
    for (long lTry = 1;; ++lTry) {
        CQvPerfMeter meter;
        VARIANT vAffected;
        VariantInit(&vAffected);
        vAffected.vt = VT_I4;
        vAffected.lVal = 0;
        _Recordset* pRecordset = nullptr;
        HRESULT hr;
        {
            Bstr bstrStatement(strStatement);
            hr = m_pConnection->Execute(bstrStatement, &vAffected, adExecuteNoRecords, &pRecordset);
        }
        meter.Stop();
        if (SUCCEEDED(hr) && plAffected && vAffected.vt == VT_I4) *plAffected = vAffected.lVal;
        VariantClear(&vAffected);
        if (pRecordset) pRecordset->Release();

        const bool bLastTry = m_lExecuteRetry <= lTry;
        if (SUCCEEDED(hr)) {
            qv::db::NoteStatementResult(0, this);
            qv::db::LogSlowStatement(log, kSlow, L"CQvADOConnection::Execute(): Command time: %0.3f sec for: %s", *this,
                                     strStatement, meter.GetTime());
            return S_OK;
        }

        long lNumber = 0;
        long lNative = 0;
        CString strState;
        GetLastErrorInfo(&lNumber, &lNative, strState);
        qv::db::NoteStatementResult(lNative, this);
        const qv::db::Failure failure = qv::db::Classify(hr, lNative, strState, false);
        // Ended because the program asked it to: what the caller wanted is gone, nothing failed.
        if (failure == qv::db::Failure::Cancelled) return hr;
        const CString strLogged = qv::db::LoggedStatement(strStatement);
        if (failure == qv::db::Failure::Other || (failure == qv::db::Failure::LinkLost && !bSafeToRepeat) ||
            bInTransaction) {
            log.Error(&kFailed,
                      L"CQvADOConnection::Execute() failed (hr: 0x%X, error number: 0x%X, nativ error %d, SQLState: %s) "
                      L"for Statement '%s'",
                      hr, lNumber, lNative, strState, strLogged);
            return TRACED(hr);
        }
        switch (failure) {
        case qv::db::Failure::Deadlock:
            log.Warning(&kDeadlock,
                        L"CQvADOConnection::Execute(): %d. Deadlock detected (error number: 0x%X, nativ error %d) for "
                        L"Statement '%s', it will be repeated",
                        lTry, lNumber, lNative, strLogged);
            break;
        case qv::db::Failure::Timeout:
            log.Warning(&kTimeout,
                        L"CQvADOConnection::Execute(): %d. Timeout detected (hr: 0x%X, error number: 0x%X, nativ error "
                        L"%d) for Statement '%s', it will be repeated",
                        lTry, hr, lNumber, lNative, strLogged);
            break;
        default:
            log.Warning(&kConnectTimeout,
                        L"CQvADOConnection::Execute(): %d. Connect Timeout detected (hr: 0x%X, error number: 0x%X, nativ "
                        L"error %d, SQLState: %s) for Statement '%s', it will be repeated",
                        lTry, E_FAIL, lNumber, lNative, strState, strLogged);
            break;
        }
        if (bLastTry) return TRACED(hr);
    }
}

long CQvADOConnection::BeginTrans() {
    if (!m_pConnection) return E_FAIL;
    long lLevel = 0;
    return m_pConnection->BeginTrans(&lLevel);
}

long CQvADOConnection::CommitTrans() { return m_pConnection ? m_pConnection->CommitTrans() : E_FAIL; }

long CQvADOConnection::RollbackTrans() { return m_pConnection ? m_pConnection->RollbackTrans() : E_FAIL; }

long CQvADOConnection::SetIsolationLevel(long lLevel) {
    if (!m_pConnection) return TRACED(E_FAIL);
    return TRACED(m_pConnection->put_IsolationLevel(lLevel));
}

long CQvADOConnection::GetIsolationLevel(long* plLevel) {
    if (!m_pConnection) return TRACED(E_FAIL);
    return TRACED(m_pConnection->get_IsolationLevel(plLevel));
}

long CQvADOConnection::GetCursorLocation(long* plLocation) {
    if (!m_pConnection) return TRACED(E_FAIL);
    return TRACED(m_pConnection->get_CursorLocation(plLocation));
}

long CQvADOConnection::GetCommandTimeout(long* plTimeout) {
    if (!m_pConnection) return TRACED(E_FAIL);
    return TRACED(m_pConnection->get_CommandTimeout(plTimeout));
}

long CQvADOConnection::SetCommandTimeout(long lSeconds) {
    if (!m_pConnection) return TRACED(E_FAIL);
    if (lSeconds == 0) lSeconds = QvDBGetDefaultCommandTimeout(m_strSource, 2);
    return TRACED(m_pConnection->put_CommandTimeout(lSeconds));
}

long CQvADOConnection::GetLastErrorInfo(long* plNumber, long* plNativeError, CString& strSQLState) {
    if (!m_pConnection) return TRACED(E_FAIL);
    Errors* pErrors = nullptr;
    HRESULT hr = TRACED(m_pConnection->get_Errors(&pErrors));
    long lCount = 0;
    if (SUCCEEDED(hr)) hr = TRACED(pErrors->get_Count(&lCount));
    if (SUCCEEDED(hr) && lCount > 0) {
        VARIANT vIndex;
        VariantInit(&vIndex);
        vIndex.vt = VT_I4;
        vIndex.lVal = 0;
        Error* pError = nullptr;
        hr = TRACED(pErrors->get_Item(vIndex, &pError));
        if (SUCCEEDED(hr) && pError) {
            long lNumber = 0;
            long lNative = 0;
            BSTR bstrState = nullptr;
            hr = TRACED(pError->get_Number(&lNumber));
            if (SUCCEEDED(hr)) hr = TRACED(pError->get_NativeError(&lNative));
            if (SUCCEEDED(hr)) hr = TRACED(pError->get_SQLState(&bstrState));
            if (SUCCEEDED(hr)) {
                if (plNumber) *plNumber = lNumber;
                if (plNativeError) *plNativeError = lNative;
                strSQLState = Text(bstrState);
            }
            SysFreeString(bstrState);
            pError->Release();
        }
    }
    if (pErrors) pErrors->Release();
    return hr;
}

long CQvADOConnection::GetErrorText(CString& strText) {
    _Connection* pConnection = m_pConnection ? m_pConnection : m_pFailedConnection;
    if (!pConnection) return E_FAIL;
    strText.Empty();
    CString strCodes;
    Errors* pErrors = nullptr;
    HRESULT hr = TRACED(pConnection->get_Errors(&pErrors));
    long lCount = 0;
    if (SUCCEEDED(hr)) hr = TRACED(pErrors->get_Count(&lCount));
    for (long i = 0; i < lCount; ++i) {
        VARIANT vIndex;
        VariantInit(&vIndex);
        vIndex.vt = VT_I4;
        vIndex.lVal = static_cast<LONG>(i);
        Error* pError = nullptr;
        hr = TRACED(pErrors->get_Item(vIndex, &pError));
        if (FAILED(hr) || !pError) break;
        if (!strText.IsEmpty()) strText += L"\n\n";

        // A property that cannot be read ends this error's block.
        CString strBlock;
        BSTR bstr = nullptr;
        long lValue = 0;
        hr = TRACED(pError->get_Description(&bstr));
        if (SUCCEEDED(hr)) {
            strBlock += L"Description:  " + Text(bstr);
            SysFreeString(bstr);
            bstr = nullptr;
            hr = TRACED(pError->get_Source(&bstr));
        }
        if (SUCCEEDED(hr)) {
            strBlock += L"\nSource:       " + Text(bstr);
            SysFreeString(bstr);
            bstr = nullptr;
            hr = TRACED(pError->get_Number(&lValue));
        }
        if (SUCCEEDED(hr)) {
            strBlock.AppendFormat(L"\nNumber:       0x%X", lValue);
            strCodes.AppendFormat(L"0x%X;", lValue);
            hr = TRACED(pError->get_SQLState(&bstr));
        }
        if (SUCCEEDED(hr)) {
            strBlock += L"\nSQLState:     " + Text(bstr);
            strCodes += Text(bstr) + L";";
            SysFreeString(bstr);
            bstr = nullptr;
            hr = TRACED(pError->get_NativeError(&lValue));
        }
        if (SUCCEEDED(hr)) {
            strBlock.AppendFormat(L"\nNative Error: %d", lValue);
            strCodes.AppendFormat(L"%d;", lValue);
        }
        SysFreeString(bstr);
        strText += strBlock;
        pError->Release();
    }
    if (pErrors) pErrors->Release();
    if (!strCodes.IsEmpty() && m_pDBServer && SUCCEEDED(hr)) {
        Bstr bstrCodes(strCodes);
        TRACED(m_pDBServer->ReportConnectionErrors(pConnection, bstrCodes));
    }
    return strText.IsEmpty() ? hr : S_OK;
}

long CQvADOConnection::GetUniqueID(const CString& strTable, const CString& strColumn, long* plID) {
    HRESULT hr = TRACED(Open(m_strSource, 0));
    if (FAILED(hr)) return hr;
    CQvADORecordset rs(this);
    CString strSQL;
    strSQL.Format(L"DECLARE @newID INT \t\t\t\t\t  EXECUTE dbo.sp_GetUniqueID '%s', '%s', @newID OUTPUT \t\t\t\t\t  "
                  L"SELECT @newID AS newID",
                  strTable, strColumn);
    hr = TRACED(rs.OpenSQL(strSQL, adOpenForwardOnly, adLockReadOnly));
    if (SUCCEEDED(hr)) hr = TRACED(rs.GetFieldValue(L"newID", plID));
    if (SUCCEEDED(hr)) hr = TRACED(rs.Close());
    return hr;
}
