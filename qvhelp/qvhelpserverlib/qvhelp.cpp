#include "qvhelp.h"
#include "qvcomserver.h"
#include "qvhelpserver.h"
#include "qvhrtrace.h"

CQvHelp::~CQvHelp() {
    if (m_pServer) m_pServer->Release();
}

HRESULT CQvHelp::Connect() {
    if (m_pServer) return S_OK;
    HRESULT hr = QueryCOMServer(QV_HELPSERVER_PROGID, IID_IQvHelpServer, reinterpret_cast<void**>(&m_pServer));
    if (FAILED(hr)) {
        m_pServer = nullptr;
        QV_TRACEHR(L"qvhelp", hr);
    }
    return hr;
}

CString CQvHelp::GetHelpText(CString strKey1, CString strKey2) {
    CString strText;
    HRESULT hr = Connect();
    if (FAILED(hr)) {
        QV_TRACEHR(L"qvhelp", hr);
        return strText;
    }
    BSTR bstrKey1 = strKey1.AllocSysString();
    BSTR bstrKey2 = strKey2.AllocSysString();
    BSTR bstrText = nullptr;
    hr = m_pServer->GetHelpText(bstrKey1, bstrKey2, &bstrText);
    if (FAILED(hr))
        QV_TRACEHR(L"qvhelp", hr);
    else if (bstrText)
        strText = CString(bstrText);
    SysFreeString(bstrKey1);
    SysFreeString(bstrKey2);
    SysFreeString(bstrText);
    return strText;
}

HRESULT CQvHelp::ShowHelp(CString strTopic) {
    HRESULT hr = Connect();
    if (FAILED(hr)) return QV_TRACEHR(L"qvhelp", hr);
    BSTR bstrTopic = strTopic.AllocSysString();
    hr = m_pServer->ShowHelp(bstrTopic);
    SysFreeString(bstrTopic);
    if (FAILED(hr)) QV_TRACEHR(L"qvhelp", hr);
    return hr;
}
