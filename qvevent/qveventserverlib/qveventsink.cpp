#include "qveventsink.h"
#include "qvcomserver.h"
#include "qvconnpt.h"
#include "qveventserver.h"
#include "qvhrtrace.h"
#include "qvinteract.h"

// Also drops the references a failed Advise left.
CQvEventSink::~CQvEventSink() { Unadvise(); }

BOOL CQvEventSink::Advise(IUnknown* pSink) {
    // Advising again would leave the first connection delivering for good.
    if (m_dwCookie != 0 || m_pSink || m_pServer) Unadvise();

    m_pSink = pSink;
    if (m_pSink) m_pSink->AddRef();

    HRESULT hr = QueryCOMServer(QV_EVENTSERVER_PROGID, IID_IQvEventServer, reinterpret_cast<void**>(&m_pServer));
    if (FAILED(hr)) {
        QV_TRACEHR(L"qveventsink", hr);
    } else if (!AfxConnectionAdvise(m_pServer, IID_IEventSink, pSink, TRUE, &m_dwCookie)) {
        m_dwCookie = 0;
        hr = QV_TRACEHR(L"qveventsink", E_FAIL);
    }
    if (FAILED(hr)) {
        CString text;
        text.Format(L"Unable to connect QvEventServer: hr: 0x%X: %s", hr, CrackHR(hr));
        QvReportMsg(1, text, L"CQvEventSink::Advise", L"Default", __FILE__, __LINE__, 0);
    }
    return SUCCEEDED(hr);
}

BOOL CQvEventSink::Unadvise() {
    BOOL result = TRUE;
    if (m_dwCookie != 0 && m_pServer) {
        result = AfxConnectionUnadvise(m_pServer, IID_IEventSink, m_pSink, TRUE, m_dwCookie);
    }
    m_dwCookie = 0;
    if (m_pSink) {
        m_pSink->Release();
        m_pSink = nullptr;
    }
    if (m_pServer) {
        m_pServer->Release();
        m_pServer = nullptr;
    }
    return result;
}

BOOL CQvEventSink::HasEventData(long count, const GUID* ids, const VARIANT* values, GUID id) {
    COleVariant value;
    return GetEventData(count, ids, values, id, &value);
}

BOOL CQvEventSink::GetEventData(long count, const GUID* ids, const VARIANT* values, GUID id, COleVariant* pValue) {
    if (count < 1 || !ids || !values) return FALSE;
    for (long i = 0; i < count; ++i) {
        if (ids[i] == id) {
            if (pValue) *pValue = values[i];
            return TRUE;
        }
    }
    return FALSE;
}
