#include "qvdatalogger.h"
#include "qvcomserver.h"
#include "qvfinit.h"
#include "qvhrtrace.h"
#include "qvregvalue.h"

namespace {

constexpr const wchar_t* kSource = L"qvdatalogger";
constexpr long kMaxConnectAttempts = 10;

}  // namespace

CQvDataLogger::CQvDataLogger(const CString& strSource) : m_bstrSource(strSource.AllocSysString()) {}

CQvDataLogger::~CQvDataLogger() {
    Release();
    SysFreeString(m_bstrSource);
}

long CQvDataLogger::Release() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_pServer) {
        m_pServer->Release();
        m_pServer = nullptr;
    }
    return 0;
}

long CQvDataLogger::Connect() {
    if (m_pServer) return S_OK;
    CQvRegistry::GetValue(L"Software\\Qovaro\\QvDataLogger", L"LogToConsoleEnabled", m_lLogToConsole);
    if (m_lConnectAttempts >= kMaxConnectAttempts) return S_FALSE;

    IUnknown* pFrame = nullptr;
    IQvFServerList* pServerList = nullptr;
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(QVDATALOGGER_PROGID, &clsid);
    if (FAILED(hr)) QV_TRACEHR(kSource, hr);
    if (SUCCEEDED(hr)) {
        hr = GetFrameIUnk(&pFrame);
        if (FAILED(hr)) QV_TRACEHR(kSource, hr);
    }
    if (SUCCEEDED(hr)) {
        hr = pFrame->QueryInterface(IID_IQvFServerList, reinterpret_cast<void**>(&pServerList));
        if (FAILED(hr)) QV_TRACEHR(kSource, hr);
    }
    if (SUCCEEDED(hr)) {
        hr = pServerList->IsServerAvailable(clsid);
        if (FAILED(hr)) QV_TRACEHR(kSource, hr);
    }
    if (hr == S_OK) {
        hr = QueryCOMServer(QVDATALOGGER_PROGID, IID_IQvDataLogger, reinterpret_cast<void**>(&m_pServer));
        if (FAILED(hr)) QV_TRACEHR(kSource, hr);
    }
    if (pServerList) pServerList->Release();
    if (pFrame) pFrame->Release();
    ++m_lConnectAttempts;
    return hr;
}

long CQvDataLogger::Write(long lLevel, LPCWSTR lpszLevel, const CQvGUID* pMessage, const CString& strText) {
    const CQvGUID message = pMessage ? *pMessage : CQvGUID();
    CSingleLock lock(&m_lock, TRUE);
    HRESULT hr = Connect();
    if (FAILED(hr)) QV_TRACEHR(kSource, hr);
    if (m_pServer) {
        BSTR bstrGUID = message.GetGUID(TRUE).AllocSysString();
        BSTR bstrText = strText.AllocSysString();
        if (SUCCEEDED(hr)) {
            hr = m_pServer->WriteEntry(m_bstrSource, lLevel, bstrGUID, bstrText, static_cast<long>(GetCurrentThreadId()));
            if (FAILED(hr)) QV_TRACEHR(kSource, hr);
        }
        SysFreeString(bstrGUID);
        SysFreeString(bstrText);
    } else if (m_lLogToConsole != 0) {
        CString line;
        line.Format(L"CQvDataLogger %s: %s; %s; %s; 0x%X; %s\n", lpszLevel, COleDateTime::GetCurrentTime().Format(),
                    message.GetGUID(FALSE), m_bstrSource, GetCurrentThreadId(), strText);
        OutputDebugStringW(line);
    }
    return hr;
}
