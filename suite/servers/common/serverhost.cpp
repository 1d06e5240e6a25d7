#include "serverhost.h"
#include "qvfinit.h"
#include "qvrunning.h"

namespace qv::servers {

HRESULT StartRunningServer(LPCWSTR lpszProgID, BOOL bConnectToFrame, IUnknown** ppServer) {
    if (ppServer) *ppServer = nullptr;
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(lpszProgID, &clsid);
    if (FAILED(hr)) return hr;
    IQvFInit* init = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IQvFInit, reinterpret_cast<void**>(&init));
    if (FAILED(hr)) return hr;
    hr = init->Init(bConnectToFrame);
    if (SUCCEEDED(hr)) hr = init->UpAndRunning();
    if (SUCCEEDED(hr)) hr = qv::RegisterRunningServer(lpszProgID, init);
    if (FAILED(hr)) {
        init->Close();
        init->ReleaseServers();
    } else if (ppServer) {
        hr = init->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(ppServer));
    }
    init->Release();
    return FAILED(hr) ? hr : S_OK;
}

HRESULT StopRunningServer(LPCWSTR lpszProgID) {
    IQvFInit* init = nullptr;
    if (SUCCEEDED(qv::QueryRunningServer(lpszProgID, IID_IQvFInit, reinterpret_cast<void**>(&init))) && init) {
        init->Close();
        init->ReleaseServers();
        init->Release();
    }
    return qv::RevokeRunningServer(lpszProgID);
}

}  // namespace qv::servers
