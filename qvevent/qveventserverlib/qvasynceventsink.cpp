#include "qvasynceventsink.h"
#include "lasterror.h"
#include "qvhrtrace.h"
#include "sync.h"
#include "trace.h"

#include <new>

namespace {

// Every process may take the copy mutex: the sinks of all processes share it.
LPSECURITY_ATTRIBUTES QvEveryoneFullControl() {
    static SECURITY_ATTRIBUTES attributes{};
    return &attributes;
}

void FreeList(QV_EVENTLIST* record, long count) {
    delete[] record->pGuids;
    for (long i = 0; i < count; ++i) VariantClear(&record->pValues[i]);
    delete[] record->pValues;
    delete record;
}

}  // namespace

BEGIN_MESSAGE_MAP(CQvAsyncEventSink, CWnd)
    ON_MESSAGE(WM_QVEVENT_ITEM, &CQvAsyncEventSink::OnEventItem)
    ON_MESSAGE(WM_QVEVENT_LIST, &CQvAsyncEventSink::OnEventList)
END_MESSAGE_MAP()

BEGIN_INTERFACE_MAP(CQvAsyncEventSink, CWnd)
    INTERFACE_PART(CQvAsyncEventSink, IID_IEventSink, QvEventSink)
END_INTERFACE_MAP()

HRESULT CQvAsyncEventSink::XQvEventSink::QueryInterface(REFIID iid, LPVOID* ppvObj) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    METHOD_PROLOGUE(CQvAsyncEventSink, QvEventSink)
    return HRESULT(pThis->ExternalQueryInterface(&iid, ppvObj));
}

ULONG CQvAsyncEventSink::XQvEventSink::AddRef() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    METHOD_PROLOGUE(CQvAsyncEventSink, QvEventSink)
    return ULONG(pThis->ExternalAddRef());
}

ULONG CQvAsyncEventSink::XQvEventSink::Release() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    METHOD_PROLOGUE(CQvAsyncEventSink, QvEventSink)
    return ULONG(pThis->ExternalRelease());
}

HRESULT CQvAsyncEventSink::XQvEventSink::OnEvent(long count, GUID* ids, VARIANT* values) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    METHOD_PROLOGUE(CQvAsyncEventSink, QvEventSink)
    return pThis->OnEvent(count, ids, values);
}

CQvAsyncEventSink::CQvAsyncEventSink() {
    m_hMutex = CreateMutexW(QvEveryoneFullControl(), FALSE, L"Global\\QvVariantMutex");
}

CQvAsyncEventSink::~CQvAsyncEventSink() {
    Unadvise();
    if (m_hMutex) CloseHandle(m_hMutex);
}

HRESULT CQvAsyncEventSink::Create(void* pOwner, const QV_EVENTSINK_ENTRY* pTable) {
    m_pOwner = pOwner;
    m_pTable = pTable;
    LPCWSTR lpszClass = AfxRegisterWndClass(0);
    if (!CreateEx(0, lpszClass, L"QvAsyncEventSinkWnd", 0, RECT{0, 0, 0, 0}, nullptr, 0, nullptr)) return E_FAIL;
    return m_EventSink.Advise(GetControllingUnknown()) ? S_OK : E_FAIL;
}

HRESULT CQvAsyncEventSink::Unadvise() {
    HRESULT hr = S_OK;
    if (!m_EventSink.Unadvise()) hr = QV_TRACEHR(L"qvasynceventsink", E_FAIL);
    // The server calls nothing after Unadvise; what it posted before reaches the owner now.
    if (m_hWnd) {
        MSG msg;
        while (PeekMessageW(&msg, m_hWnd, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        DestroyWindow();
    }
    return hr;
}

BOOL CQvAsyncEventSink::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    // Without a window a post would land in the calling thread's own queue and never be freed.
    if (!m_hWnd) {
        SetLastError(1400);  // invalid window handle
        return FALSE;
    }
    return ::PostMessageW(m_hWnd, message, wParam, lParam);
}

void CQvAsyncEventSink::TracePostFailure() {
    const DWORD dwErr = GetLastError();
    const std::wstring text = qv::SystemErrorText(dwErr);
    CString line;
    // SystemErrorText answers "Error <n>" when the system has no text for the code.
    if (text.empty() || text.rfind(L"Error ", 0) == 0)
        line.Format(L"CQvAsyncEventSink::OnEvent() ERROR %u at PostMessage()", dwErr);
    else
        line.Format(L"CQvAsyncEventSink::OnEvent() ERROR %u at PostMessage(): '%s'", dwErr, text.c_str());
    OutputDebugStringW(line);
}

HRESULT CQvAsyncEventSink::OnEvent(long count, GUID* ids, VARIANT* values) {
    if (count < 0) return E_INVALIDARG;
    if (count > 0 && (!ids || !values)) return E_POINTER;

    auto* record = new (std::nothrow) QV_EVENTLIST{count, nullptr, nullptr};
    if (!record) return E_FAIL;
    record->pGuids = new (std::nothrow) GUID[std::size_t(count)];
    record->pValues = new (std::nothrow) VARIANT[std::size_t(count)];
    if (!record->pGuids || !record->pValues) {
        delete[] record->pGuids;
        delete[] record->pValues;
        delete record;
        return E_FAIL;
    }
    for (long i = 0; i < count; ++i) record->pGuids[i] = ids[i];

    // The sinks of all processes copy VARIANTs one at a time.
    if (m_hMutex) WaitForSingleObject(m_hMutex, INFINITE);
    for (long i = 0; i < count; ++i) {
        VariantInit(&record->pValues[i]);
        VariantCopy(&record->pValues[i], &values[i]);
    }
    if (m_hMutex) ReleaseMutex(m_hMutex);

    if (!Post(WM_QVEVENT_LIST, reinterpret_cast<WPARAM>(record), LPARAM(count))) {
        TracePostFailure();
        FreeList(record, count);
    }

    for (long i = 0; i < count; ++i) {
        auto* pGuid = new (std::nothrow) GUID(ids[i]);
        auto* pValue = new (std::nothrow) COleVariant(values[i]);
        if (!pGuid || !pValue ||
            !Post(WM_QVEVENT_ITEM, reinterpret_cast<WPARAM>(pGuid), reinterpret_cast<LPARAM>(pValue))) {
            if (pGuid && pValue) TracePostFailure();
            delete pGuid;
            delete pValue;
        }
    }
    return S_OK;
}

LRESULT CQvAsyncEventSink::OnEventItem(WPARAM wParam, LPARAM lParam) {
    auto* pGuid = reinterpret_cast<GUID*>(wParam);
    auto* pValue = reinterpret_cast<COleVariant*>(lParam);
    if (!pGuid || !pValue) return 0;
    for (const QV_EVENTSINK_ENTRY* entry = m_pTable; entry && entry->nKind != 0; ++entry) {
        if (entry->nKind == 1 && entry->pGuid && *entry->pGuid == *pGuid && entry->pfnItem)
            entry->pfnItem(m_pOwner, *pValue);
    }
    delete pGuid;
    delete pValue;
    return 0;
}

LRESULT CQvAsyncEventSink::OnEventList(WPARAM wParam, LPARAM lParam) {
    auto* record = reinterpret_cast<QV_EVENTLIST*>(wParam);
    if (!record || record->lCount != long(lParam) || record->lCount < 0) return 0;
    if (record->lCount > 0 && (!record->pGuids || !record->pValues)) return 0;
    for (const QV_EVENTSINK_ENTRY* entry = m_pTable; entry && entry->nKind != 0; ++entry) {
        if (entry->nKind == 2 && entry->pfnList) entry->pfnList(m_pOwner, record->lCount, record->pGuids, record->pValues);
    }
    FreeList(record, record->lCount);
    return 0;
}
