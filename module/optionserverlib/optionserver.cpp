#include "optionserver.h"
#include "qvcomserver.h"
#include "qvcrackvariant.h"
#include "qvhrtrace.h"
#include "qvinteract.h"

#define OPTION_TRACE(hr) QvAddHRErrorFile(L"optionserver", __LINE__, (hr))

namespace {

// Holds the answer of one read and frees it.
struct Answer {
    VARIANT v;
    Answer() { VariantInit(&v); }
    ~Answer() { VariantClear(&v); }
    Answer(const Answer&) = delete;
    Answer& operator=(const Answer&) = delete;
};

}  // namespace

COptionServer::COptionServer() = default;

COptionServer::~COptionServer() {
    if (m_pServer) m_pServer->Release();
}

long COptionServer::Connect() {
    if (m_pServer) return S_OK;
    const HRESULT hr = QueryCOMServer(QVOPTIONSERVER_PROGID, IID_IOptionServer, reinterpret_cast<void**>(&m_pServer));
    if (FAILED(hr)) {
        m_pServer = nullptr;
        OPTION_TRACE(hr);
    }
    return hr;
}

long COptionServer::GetOption(long lArea, CString strName, VARIANT* pValue, long lLookup, long lScope) {
    HRESULT hr = Connect();
    if (!m_pServer) return hr;
    BSTR bstrName = strName.AllocSysString();
    // The server takes the scope before the lookup flag.
    hr = m_pServer->GetOption(lArea, bstrName, lScope, lLookup, pValue);
    if (FAILED(hr)) OPTION_TRACE(hr);
    SysFreeString(bstrName);
    return hr;
}

long COptionServer::SetOption(long lArea, CString strName, VARIANT value, long lLookup) {
    HRESULT hr = Connect();
    if (m_pServer) {
        BSTR bstrName = strName.AllocSysString();
        hr = m_pServer->SetOption(lArea, bstrName, lLookup, value);
        if (FAILED(hr)) OPTION_TRACE(hr);
        SysFreeString(bstrName);
    }
    VariantClear(&value);
    return hr;
}

long COptionServer::GetOption(long lArea, CString strName, BOOL* pbValue, long lLookup, long lScope) {
    Answer a;
    const HRESULT hr = GetOption(lArea, strName, &a.v, lLookup, lScope);
    if (pbValue) *pbValue = static_cast<BOOL>(CrackLongVariant(a.v));
    return hr;
}

long COptionServer::GetOption(long lArea, CString strName, long* plValue, long lLookup, long lScope) {
    Answer a;
    const HRESULT hr = GetOption(lArea, strName, &a.v, lLookup, lScope);
    if (plValue) *plValue = CrackLongVariant(a.v);
    return hr;
}

long COptionServer::GetOption(long lArea, CString strName, DWORD* pdwValue, long lLookup, long lScope) {
    Answer a;
    const HRESULT hr = GetOption(lArea, strName, &a.v, lLookup, lScope);
    if (pdwValue) *pdwValue = static_cast<DWORD>(CrackLongVariant(a.v));
    return hr;
}

long COptionServer::GetOption(long lArea, CString strName, CString* pstrValue, long lLookup, long lScope) {
    Answer a;
    const HRESULT hr = GetOption(lArea, strName, &a.v, lLookup, lScope);
    if (pstrValue) {
        if (hr == S_FALSE) {
            pstrValue->Empty();
        } else if (SUCCEEDED(hr)) {
            *pstrValue = CrackStrVariant(a.v);
        }
    }
    return hr;
}

long COptionServer::GetOption(long lArea, CString strName, CQvDateTime* pdtValue, long lLookup, long lScope) {
    Answer a;
    const HRESULT hr = GetOption(lArea, strName, &a.v, lLookup, lScope);
    if (pdtValue) {
        pdtValue->SetNormalizedDateTime(CrackStrVariant(a.v));
        // No date is the null date, not 30 December 1899.
        if (pdtValue->m_dt == 0.0) pdtValue->SetStatus(COleDateTime::null);
    }
    return hr;
}

void COptionServer::ReportFailure(HRESULT hr, LPCWSTR lpszCaption, long lLine) {
    QvAddHRErrorFile(L"optionserver", lLine, hr);
    QvReportMsg(1, CrackHR(hr), lpszCaption, L"Default", L"optionserver.cpp", lLine, 0);
}

template <>
BOOL COptionServer::GetOption<BOOL>(long lArea, CString strName, long lLookup, long lScope) {
    BOOL bValue = 0;
    const HRESULT hr = GetOption(lArea, strName, &bValue, lLookup, lScope);
    if (FAILED(hr)) ReportFailure(hr, L"COptionServer::GetOption", __LINE__);
    return bValue;
}

template <>
long COptionServer::GetOption<long>(long lArea, CString strName, long lLookup, long lScope) {
    long lValue = 0;
    const HRESULT hr = GetOption(lArea, strName, &lValue, lLookup, lScope);
    if (FAILED(hr)) ReportFailure(hr, L"COptionServer::GetOption", __LINE__);
    return lValue;
}

template <>
CQvDateTime COptionServer::GetOption<CQvDateTime>(long lArea, CString strName, long lLookup, long lScope) {
    CQvDateTime dtValue;
    const HRESULT hr = GetOption(lArea, strName, &dtValue, lLookup, lScope);
    if (FAILED(hr)) ReportFailure(hr, L"COptionServer::GetOption", __LINE__);
    return dtValue;
}

template <>
CString COptionServer::GetOption<CString>(long lArea, CString strName, long lLookup, long lScope) {
    CString strValue;
    const HRESULT hr = GetOption(lArea, strName, &strValue, lLookup, lScope);
    if (FAILED(hr)) ReportFailure(hr, L"COptionServer::GetOption", __LINE__);
    return strValue;
}

double COptionServer::GetRoundBudget() {
    long lValue = 0;
    const HRESULT hr = GetOption(-1020, L"RoundBudget", &lValue, 1, 0);
    if (FAILED(hr)) {
        ReportFailure(hr, L"COptionServer::GetRoundBudget", __LINE__);
        return 0.0;
    }
    return lValue == 0 ? 0.0 : lValue / 100.0;
}

long COptionServer::SetOption(long lArea, CString strName, long lValue, long lLookup) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = static_cast<LONG>(lValue);
    return SetOption(lArea, strName, v, lLookup);
}

long COptionServer::SetOption(long lArea, CString strName, CQvDateTime dtValue, long lLookup) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = dtValue.GetNormalizedDateTime().AllocSysString();
    return SetOption(lArea, strName, v, lLookup);
}
