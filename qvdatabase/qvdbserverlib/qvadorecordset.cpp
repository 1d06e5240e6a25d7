#include "qvadorecordset.h"
#include "adoint.h"
#include "qvadoconnection.h"
#include "qvcrackvariant.h"
#include "qvdatalogger.h"
#include "qvdbretry.h"
#include "qvdbsettings.h"
#include "qvhrtrace.h"
#include "qvperfmeter.h"

#include <mutex>

namespace {

constexpr const wchar_t* kTrace = L"qvadorecordset";

const CQvGUID kDeadlock(L"391f6e47-7bc2-48f2-9e56-05469b217c48");
const CQvGUID kTimeout(L"48d6f477-04c7-4cd3-bdb2-31eab794a10d");
const CQvGUID kNotSupported(L"94620d8a-6323-40f9-a0cb-d0e3eb6591d0");
const CQvGUID kConnectTimeout(L"168ba02a-70d5-48fc-86e3-595111a0091a");
const CQvGUID kFailed(L"44527bec-f017-477f-8d70-0ead8537077b");
const CQvGUID kSlow(L"d6740669-698b-47c1-8462-59fdc6ab5ce8");

HRESULT Traced(HRESULT hr, long line) { return FAILED(hr) ? QvAddHRErrorFile(kTrace, line, hr) : hr; }
#define TRACED(hr) Traced((hr), __LINE__)

VARIANT Missing() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

// A new ADO recordset from the class's factory, which is looked up in the registry once and
// again only after the registry was written: a lookup per recordset is a registry transaction
// each time.
HRESULT NewRecordset(Recordset20** ppRecordset) {
    static std::mutex mutex;
    static IClassFactory* factory = nullptr;
    static unsigned long generation = 0;
    std::lock_guard<std::mutex> lock(mutex);
    const unsigned long now = QvDBRegistryGeneration();
    if (factory && generation != now) {
        factory->Release();
        factory = nullptr;
    }
    if (!factory) {
        generation = now;
        if (FAILED(CoGetClassObject(CLSID_Recordset, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                    reinterpret_cast<void**>(&factory))))
            factory = nullptr;
    }
    if (!factory)
        return CoCreateInstance(CLSID_Recordset, nullptr, CLSCTX_INPROC_SERVER, IID_Recordset20,
                                reinterpret_cast<void**>(ppRecordset));
    return factory->CreateInstance(nullptr, IID_Recordset20, reinterpret_cast<void**>(ppRecordset));
}

}  // namespace

CQvADORecordset::CQvADORecordset(CQvADOConnection* pConnection) : m_pConnection(pConnection) {}

CQvADORecordset::~CQvADORecordset() {
    if (m_pRecordset) m_pRecordset->Release();
    m_pRecordset = nullptr;
}

long CQvADORecordset::CreateRecordset() {
    if (m_pRecordset) return S_OK;
    HRESULT hr = TRACED(NewRecordset(&m_pRecordset));
    if (FAILED(hr)) return hr;
    if (!m_pRecordset) return TRACED(E_FAIL);
    hr = TRACED(m_pRecordset->putref_ActiveConnection(m_pConnection ? m_pConnection->m_pConnection : nullptr));
    if (FAILED(hr)) {
        // Made again by the next call.
        m_pRecordset->Release();
        m_pRecordset = nullptr;
    }
    return hr;
}

long CQvADORecordset::Open(const CString& strStatement) {
    if (!m_pConnection) return TRACED(E_FAIL);
    return OpenSQL(strStatement, QvDBGetDefaultCursorType(m_pConnection->m_strSource),
                   QvDBGetDefaultLockType(m_pConnection->m_strSource));
}

long CQvADORecordset::OpenSQL(const CString& strStatement, long lCursorType, long lLockType) {
    CQvDataLogger log(L"QvDBServerLib");
    const HRESULT hrCreate = TRACED(CreateRecordset());
    const BOOL bInTransaction = m_pConnection ? m_pConnection->IsInTransaction() : FALSE;
    for (long lTry = 1;; ++lTry) {
        CQvPerfMeter meter;
        HRESULT hr = hrCreate;
        if (SUCCEEDED(hr)) {
            VARIANT vSource;
            VariantInit(&vSource);
            vSource.vt = VT_BSTR;
            vSource.bstrVal = strStatement.AllocSysString();
            hr = m_pRecordset->Open(vSource, Missing(), lCursorType, lLockType, adCmdText);
            VariantClear(&vSource);
        }
        meter.Stop();

        const bool bLastTry = !m_pConnection || m_pConnection->m_lExecuteRetry <= lTry;
        if (SUCCEEDED(hr)) {
            qv::db::NoteStatementResult(0, m_pConnection);
            if (m_pConnection) {
                qv::db::LogSlowStatement(log, kSlow, L" CQvADORecordset::OpenSQL: Command time: %0.3f sec for: %s",
                                         *m_pConnection, strStatement, meter.GetTime());
            }
            return S_OK;
        }

        long lNumber = 0;
        long lNative = 0;
        CString strState;
        if (m_pConnection) m_pConnection->GetLastErrorInfo(&lNumber, &lNative, strState);
        qv::db::NoteStatementResult(lNative, m_pConnection);
        const qv::db::Failure failure = qv::db::Classify(hr, lNative, strState, true);
        // Ended because the program asked it to: what the caller wanted is gone, nothing failed.
        if (failure == qv::db::Failure::Cancelled) return hr;
        const CString strLogged = qv::db::LoggedStatement(strStatement);
        if (failure == qv::db::Failure::Other || failure == qv::db::Failure::LinkLost || bInTransaction) {
            log.Error(&kFailed,
                      L"CQvADORecordset::OpenSQL(): failed (hr: 0x%X, error number: 0x%X, nativ error %d) for "
                      L"Statement '%s'",
                      hr, lNumber, lNative, strLogged);
            return TRACED(hr);
        }
        switch (failure) {
        case qv::db::Failure::Deadlock:
            log.Warning(&kDeadlock,
                        L"CQvADORecordset::OpenSQL(): %d. Deadlock detected (error number: 0x%X, nativ error %d) for "
                        L"Statement '%s', it will be repeated",
                        lTry, lNumber, lNative, strLogged);
            break;
        case qv::db::Failure::Timeout:
            log.Warning(&kTimeout,
                        L"CQvADORecordset::OpenSQL(): %d. Timeout detected (hr: 0x%X, error number: 0x%X, nativ error "
                        L"%d) for Statement '%s', it will be repeated",
                        lTry, hr, lNumber, lNative, strLogged);
            break;
        case qv::db::Failure::NotSupported:
            log.Warning(&kNotSupported,
                        L"CQvADORecordset::OpenSQL(): %d. The requested properties cannot be supported detected (hr: "
                        L"0x%X, error number: 0x%X, nativ error %d) for Statement '%s', it will be repeated",
                        lTry, hr, lNumber, lNative, strLogged);
            qv::db::Wait(1000);
            break;
        default:
            log.Warning(&kConnectTimeout,
                        L"CQvADORecordset::OpenSQL(): %d. Connect Timeout detected (hr: 0x%X, error number: 0x%X, "
                        L"nativ error %d, SQLState: %s) for Statement '%s', it will be repeated",
                        lTry, E_FAIL, lNumber, lNative, strState, strLogged);
            break;
        }
        if (bLastTry) return TRACED(hr);
    }
}

long CQvADORecordset::IsEOF(BOOL* pbEOF) {
    if (!pbEOF) return E_POINTER;
    HRESULT hr = CreateRecordset();
    if (FAILED(hr)) {
        *pbEOF = TRUE;
        return TRACED(hr);
    }
    long lState = adStateClosed;
    hr = m_pRecordset->get_State(&lState);
    if (FAILED(hr)) {
        *pbEOF = TRUE;
        return TRACED(hr);
    }
    if (lState == adStateClosed) {
        *pbEOF = TRUE;
        return S_OK;
    }
    VARIANT_BOOL bEOF = VARIANT_FALSE;
    hr = m_pRecordset->get_EOF(&bEOF);
    if (FAILED(hr)) {
        *pbEOF = FALSE;
        return TRACED(hr);
    }
    *pbEOF = bEOF != VARIANT_FALSE ? TRUE : FALSE;
    return S_OK;
}

long CQvADORecordset::MoveNext(BOOL* pbEOF) {
    HRESULT hr = CreateRecordset();
    if (SUCCEEDED(hr)) hr = m_pRecordset->MoveNext();
    if (FAILED(hr)) return TRACED(hr);
    return IsEOF(pbEOF);
}

long CQvADORecordset::Close() {
    HRESULT hr = CreateRecordset();
    if (FAILED(hr)) return TRACED(hr);
    long lState = adStateClosed;
    hr = TRACED(m_pRecordset->get_State(&lState));
    if (SUCCEEDED(hr) && lState != adStateClosed) hr = TRACED(m_pRecordset->Close());
    return hr;
}

long CQvADORecordset::Read(const CString& strColumn, VARIANT* pValue) {
    HRESULT hr = CreateRecordset();
    if (FAILED(hr)) return TRACED(hr);
    COleVariant vIndex(strColumn);
    return TRACED(m_pRecordset->get_Collect(vIndex, pValue));
}

long CQvADORecordset::Read(long nColumn, VARIANT* pValue) {
    HRESULT hr = CreateRecordset();
    if (FAILED(hr)) return TRACED(hr);
    COleVariant vIndex(nColumn, VT_I4);
    return TRACED(m_pRecordset->get_Collect(vIndex, pValue));
}

namespace {

// The conversions of GetFieldValue, whichever way the column is named.
void Convert(const COleVariant& v, BOOL* pValue) { *pValue = CrackBoolVariant(v); }
void Convert(const COleVariant& v, long* pValue) { *pValue = CrackLongVariant(v); }
void Convert(const COleVariant& v, double* pValue) { *pValue = CrackDoubleVariant(v); }
void Convert(const COleVariant& v, CString* pValue) { *pValue = CrackStrVariant(v); }
void Convert(const COleVariant& v, COleDateTime* pValue) {
    *pValue = COleDateTime(CrackDateVariant(v));
    pValue->SetStatus(pValue->m_dt == 0.0 ? COleDateTime::null : COleDateTime::valid);
}

}  // namespace

template <typename T>
long CQvADORecordset::ReadAs(long nColumn, T* pValue) {
    COleVariant v;
    const long hr = Read(nColumn, &v);
    if (pValue) Convert(v, pValue);
    return hr;
}

long CQvADORecordset::GetFieldValue(long nColumn, BOOL* pValue) { return ReadAs(nColumn, pValue); }
long CQvADORecordset::GetFieldValue(long nColumn, long* pValue) { return ReadAs(nColumn, pValue); }
long CQvADORecordset::GetFieldValue(long nColumn, double* pValue) { return ReadAs(nColumn, pValue); }
long CQvADORecordset::GetFieldValue(long nColumn, CString* pValue) { return ReadAs(nColumn, pValue); }
long CQvADORecordset::GetFieldValue(long nColumn, COleDateTime* pValue) { return ReadAs(nColumn, pValue); }

long CQvADORecordset::GetFieldValue(const CString& strColumn, BOOL* pValue) {
    COleVariant v;
    const long hr = Read(strColumn, &v);
    if (pValue) Convert(v, pValue);
    return hr;
}

long CQvADORecordset::GetFieldValue(const CString& strColumn, long* pValue) {
    COleVariant v;
    const long hr = Read(strColumn, &v);
    if (pValue) Convert(v, pValue);
    return hr;
}

long CQvADORecordset::GetFieldValue(const CString& strColumn, double* pValue) {
    COleVariant v;
    const long hr = Read(strColumn, &v);
    if (pValue) Convert(v, pValue);
    return hr;
}

long CQvADORecordset::GetFieldValue(const CString& strColumn, CString* pValue) {
    COleVariant v;
    const long hr = Read(strColumn, &v);
    if (pValue) Convert(v, pValue);
    return hr;
}

long CQvADORecordset::GetFieldValue(const CString& strColumn, CQvGUID* pValue) {
    CString strText;
    const long hr = GetFieldValue(strColumn, &strText);
    if (FAILED(hr) || !pValue) return hr;
    return pValue->SetGUID(strText);
}

long CQvADORecordset::GetFieldValue(const CString& strColumn, COleDateTime* pValue) {
    COleVariant v;
    const long hr = Read(strColumn, &v);
    if (pValue) Convert(v, pValue);
    return hr;
}

long CQvADORecordset::GetFieldValue(const CString& strColumn, COleVariant* pValue) {
    if (!pValue) return E_POINTER;
    pValue->Clear();
    return Read(strColumn, pValue);
}

long CQvADORecordset::SetFieldValue(const CString& strColumn, const CString& strValue) {
    HRESULT hr = CreateRecordset();
    if (FAILED(hr)) return TRACED(hr);
    COleVariant vIndex(strColumn);
    COleVariant vValue(strValue);
    return TRACED(m_pRecordset->put_Collect(vIndex, vValue));
}

long CQvADORecordset::SetFieldValue(const CString& strColumn, long lValue) {
    HRESULT hr = CreateRecordset();
    if (FAILED(hr)) return TRACED(hr);
    COleVariant vIndex(strColumn);
    COleVariant vValue(lValue, VT_I4);
    return TRACED(m_pRecordset->put_Collect(vIndex, vValue));
}

long CQvADORecordset::SetFieldValue(const CString& strColumn, BOOL bValue) {
    return SetFieldValue(strColumn, static_cast<long>(bValue));
}

long CQvADORecordset::Update() {
    HRESULT hr = CreateRecordset();
    if (FAILED(hr)) return TRACED(hr);
    return TRACED(m_pRecordset->Update(Missing(), Missing()));
}

long CQvADORecordset::GetState(long* plState) {
    HRESULT hr = CreateRecordset();
    if (FAILED(hr)) return TRACED(hr);
    return TRACED(m_pRecordset->get_State(plState));
}
