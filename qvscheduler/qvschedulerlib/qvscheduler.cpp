#include "qvscheduler.h"
#include "oledate.h"
#include "qvcomserver.h"
#include "qvhrtrace.h"
#include "qvschedulerserver.h"

HRESULT CQvScheduler::Connect() {
    if (m_pServer) return S_OK;
    HRESULT hr = QueryCOMServer(QV_SCHEDULER_PROGID, IID_IQvScheduler, reinterpret_cast<void**>(&m_pServer));
    if (FAILED(hr)) {
        m_pServer = nullptr;
        QV_TRACEHR(L"qvscheduler", hr);
    }
    return hr;
}

void CQvScheduler::Disconnect() {
    if (m_pServer) {
        m_pServer->Release();
        m_pServer = nullptr;
    }
}

HRESULT CQvScheduler::AddJob(long lSeconds, GUID event, long lValue) {
    HRESULT hr = Connect();
    if (FAILED(hr)) return QV_TRACEHR(L"qvscheduler", hr);
    COleDateTime start(static_cast<std::time_t>(_time64(nullptr)));
    start += COleDateTimeSpan(double(lSeconds) / 86400.0);
    // An invalid start would reach the scheduler as 1899-12-30 and fire at once.
    if (start.GetStatus() != COleDateTime::valid) return QV_TRACEHR(L"qvscheduler", E_INVALIDARG);
    hr = m_pServer->AddJob(start.m_dt, event, lValue);
    if (FAILED(hr)) QV_TRACEHR(L"qvscheduler", hr);
    return hr;
}

HRESULT CQvScheduler::SetJob(DWORD dwPeriod, GUID event, DWORD dwValue1, DWORD dwValue2) {
    HRESULT hr = Connect();
    if (FAILED(hr)) return QV_TRACEHR(L"qvscheduler", hr);
    hr = m_pServer->SetJob(dwPeriod, event, dwValue1, dwValue2);
    if (FAILED(hr)) QV_TRACEHR(L"qvscheduler", hr);
    return hr;
}
