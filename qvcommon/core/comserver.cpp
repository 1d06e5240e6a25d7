#include "qvcomserver.h"
#include "qvrunning.h"

HRESULT QueryCOMServer(LPCWSTR lpszProgID, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!lpszProgID || !*lpszProgID) return E_FAIL;
    return qv::QueryRunningServer(lpszProgID, iid, ppv);
}

HRESULT GetFrameIUnk(IUnknown** ppUnk) {
    if (!ppUnk) return E_POINTER;
    *ppUnk = nullptr;
    const HRESULT hr = qv::QueryRunningServer(QV_FRAME_PROGID, IID_IUnknown, reinterpret_cast<void**>(ppUnk));
    // A frame that is there always answers IUnknown; anything else means no frame.
    return FAILED(hr) ? E_FAIL : hr;
}

BOOL QvIsCOMServerLoaded(LPCWSTR lpszProgID) {
    IUnknown* unknown = nullptr;
    if (FAILED(QueryCOMServer(lpszProgID, IID_IUnknown, reinterpret_cast<void**>(&unknown))) || !unknown) return FALSE;
    unknown->Release();
    return TRUE;
}
