#pragma once
// The COM runtime of the platform: class objects of in-process servers found through the
// registry (HKCR\CLSID\{clsid}\InProcServer32) and loaded with dlopen, ProgID and CLSID lookups,
// the GUID text forms and the task allocator.
//
// Interfaces are abstract classes; slot 3 is the first function after IUnknown's three.
#include "guid.h"
#include "qvtypes.h"
#include "unknwn.h"

#include <cstddef>

using SIZE_T = std::size_t;
using LPIID = IID*;

#ifndef STDMETHOD
#define STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT method
#define STDMETHOD_(type, method) virtual type method
#define STDMETHODIMP HRESULT
#define STDMETHODIMP_(type) type
#define PURE = 0
#endif

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT LockServer(BOOL fLock) = 0;
};
using LPCLASSFACTORY = IClassFactory*;

struct IMalloc : IUnknown {
    virtual void* Alloc(SIZE_T cb) = 0;
    virtual void* Realloc(void* pv, SIZE_T cb) = 0;
    virtual void Free(void* pv) = 0;
    virtual SIZE_T GetSize(void* pv) = 0;
    virtual int DidAlloc(void* pv) = 0;
    virtual void HeapMinimize() = 0;
};
using LPMALLOC = IMalloc*;

inline constexpr IID IID_IClassFactory = qv::MakeGuid("00000001-0000-0000-C000-000000000046");
inline constexpr IID IID_IMalloc = qv::MakeGuid("00000002-0000-0000-C000-000000000046");

// Class contexts. Only in-process servers exist here; a request without CLSCTX_INPROC_SERVER
// (or the handler bit) finds no class.
enum CLSCTX : DWORD {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10,
    CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
    CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
    CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
};

enum COINIT : DWORD {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
};

#define MEMCTX_TASK 1

// Counted per thread: the first call on a thread answers S_OK, later ones S_FALSE. Nothing
// depends on it; objects may be created on threads that never called it.
HRESULT CoInitialize(LPVOID pvReserved);
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void CoUninitialize();

// REGDB_E_CLASSNOTREG when the class is not registered, CO_E_DLLNOTFOUND when its library file
// is missing, CO_E_ERRORINDLL when it cannot be loaded or lacks DllGetClassObject; otherwise
// the answer of the library's DllGetClassObject and of the class object.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid, LPVOID* ppv);
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);
// Asks every library loaded by CoGetClassObject whether it may go (DllCanUnloadNow) and unloads
// those that answer S_OK.
void CoFreeUnusedLibraries();

// HKCR\<ProgID>\CLSID; CO_E_CLASSSTRING when the ProgID is unknown or its CLSID text is bad.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
// HKCR\CLSID\{clsid}\ProgID, into text from CoTaskMemAlloc; REGDB_E_CLASSNOTREG when missing.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": returns the characters written with the terminator
// (39), or 0 when cchMax is too small.
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);
// Only the braced form: CO_E_CLASSSTRING (E_INVALIDARG for IIDFromString) on any other text.
HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid);

LPVOID CoTaskMemAlloc(SIZE_T cb);
LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
void CoTaskMemFree(LPVOID pv);
// The task allocator (dwMemContext 1); the same allocator as CoTaskMem*.
HRESULT CoGetMalloc(DWORD dwMemContext, LPMALLOC* ppMalloc);

// The exports an in-process server library offers: STDAPI DllGetClassObject(...) { ... }
#ifndef STDAPI
#define STDAPI extern "C" __attribute__((visibility("default"))) HRESULT
#define STDAPI_(type) extern "C" __attribute__((visibility("default"))) type
#endif
extern "C" {
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
using LPFNCANUNLOADNOW = HRESULT (*)();
}
