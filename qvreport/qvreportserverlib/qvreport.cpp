#include "qvreport.h"
#include "qvcomserver.h"
#include "qvhrtrace.h"
#include "qvinteract.h"

#define REPORT_TRACEHR(hr) QvAddHRErrorFile(L"qvreport", __LINE__, (hr))

CQvReport::CQvReport(const CQvGUID& guidReport) {
    HRESULT hr = guidReport.IsNULL() ? E_FAIL : S_OK;
    IQvReportServer* pServer = nullptr;
    if (SUCCEEDED(hr)) hr = QueryCOMServer(QV_REPORTSERVER_PROGID, IID_IQvReportServer, reinterpret_cast<void**>(&pServer));
    if (SUCCEEDED(hr)) {
        hr = pServer->CreateReport(&m_pReport);
        if (SUCCEEDED(hr) && !m_pReport) hr = E_FAIL;
    }
    if (SUCCEEDED(hr)) hr = m_pReport->SelectReport(guidReport);
    if (pServer) pServer->Release();
    if (FAILED(hr)) {
        REPORT_TRACEHR(hr);
        QvReportMsg(1, CrackHR(hr), L"CQvReport::CQvReport", L"Default", L"qvreport", __LINE__, 1);
    }
}

CQvReport::~CQvReport() {
    if (m_pReport) m_pReport->Release();
    m_pReport = nullptr;
}

HRESULT CQvReport::SetParameter(const CString& strName, long lValue) {
    if (!m_pReport) return REPORT_TRACEHR(E_FAIL);
    BSTR bstrName = strName.AllocSysString();
    const HRESULT hr = m_pReport->SetParameter(bstrName, lValue);
    SysFreeString(bstrName);
    if (FAILED(hr)) REPORT_TRACEHR(hr);
    return hr;
}

HRESULT CQvReport::Run(BOOL bFallback) {
    if (!m_pReport) return REPORT_TRACEHR(E_FAIL);
    HRESULT hr = m_pReport->Run();
    // The user cancelled: nothing went wrong.
    if (hr == E_ABORT) hr = S_OK;
    if (FAILED(hr) && bFallback) {
        REPORT_TRACEHR(hr);
        hr = m_pReport->Export();
    }
    if (FAILED(hr)) REPORT_TRACEHR(hr);
    return hr;
}
