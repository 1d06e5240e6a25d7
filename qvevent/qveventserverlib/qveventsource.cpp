#include "qveventsource.h"
#include "qvcomserver.h"
#include "qveventserver.h"
#include "qvhrtrace.h"

HRESULT CQvEventSource::FireEvent(GUID event, long lID, BOOL flag) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = LONG(lID);
    HRESULT hr = FireEvent(event, value, flag);
    VariantClear(&value);
    return hr;
}

HRESULT CQvEventSource::FireEvent(GUID event, VARIANT value, BOOL flag) {
    IQvEventServer* pServer = nullptr;
    HRESULT hr = QueryCOMServer(QV_EVENTSERVER_PROGID, IID_IQvEventServer, reinterpret_cast<void**>(&pServer));
    if (FAILED(hr)) {
        QV_TRACEHR(L"qveventsource", hr);
    } else {
        hr = pServer->FireEvent(event, value, flag);
        if (FAILED(hr)) QV_TRACEHR(L"qveventsource", hr);
    }
    if (pServer) pServer->Release();
    VariantClear(&value);
    return hr;
}

HRESULT CQvEventSource::FireEventString(GUID event, CString text) {
    IQvEventServer* pServer = nullptr;
    HRESULT hr = QueryCOMServer(QV_EVENTSERVER_PROGID, IID_IQvEventServer, reinterpret_cast<void**>(&pServer));
    if (FAILED(hr)) {
        QV_TRACEHR(L"qveventsource", hr);
    } else {
        BSTR bstrText = text.AllocSysString();
        hr = pServer->FireEventString(event, bstrText);
        SysFreeString(bstrText);
        if (FAILED(hr)) QV_TRACEHR(L"qveventsource", hr);
    }
    if (pServer) pServer->Release();
    return hr;
}
