#include "qvcom.h"
#include "qvregistry.h"
#include "utf.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

// ---- apartments -----------------------------------------------------------------------------

namespace {
thread_local int t_initCount = 0;
}

HRESULT CoInitialize(LPVOID pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

HRESULT CoInitializeEx(LPVOID, DWORD) { return t_initCount++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
    if (t_initCount > 0) --t_initCount;
}

// ---- task allocator -------------------------------------------------------------------------

namespace {

// Every block carries its size (for IMalloc::GetSize) and a mark that tells our blocks from
// foreign pointers, which are never handed to free().
struct alignas(std::max_align_t) BlockHeader {
    std::size_t size;
    std::size_t mark;
};
constexpr std::size_t kMark = 0x51564D454D424C4Bull;  // "QVMEMBLK"

BlockHeader* HeaderOf(void* pv) {
    if (!pv) return nullptr;
    auto* h = static_cast<BlockHeader*>(pv) - 1;
    return h->mark == kMark ? h : nullptr;
}

class TaskAllocator final : public IMalloc {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IMalloc) {
            *ppv = static_cast<IMalloc*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 1; }  // one allocator for the life of the process
    ULONG Release() override { return 1; }
    void* Alloc(SIZE_T cb) override { return CoTaskMemAlloc(cb); }
    void* Realloc(void* pv, SIZE_T cb) override { return CoTaskMemRealloc(pv, cb); }
    void Free(void* pv) override { CoTaskMemFree(pv); }
    SIZE_T GetSize(void* pv) override {
        BlockHeader* h = HeaderOf(pv);
        return h ? h->size : SIZE_T(-1);
    }
    int DidAlloc(void* pv) override {
        if (!pv) return -1;
        return HeaderOf(pv) ? 1 : 0;
    }
    void HeapMinimize() override {}
};

TaskAllocator g_allocator;

}  // namespace

LPVOID CoTaskMemAlloc(SIZE_T cb) {
    if (cb > SIZE_T(-1) - sizeof(BlockHeader)) return nullptr;
    auto* h = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + cb));
    if (!h) return nullptr;
    h->size = cb;
    h->mark = kMark;
    return h + 1;
}

LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
    if (!pv) return CoTaskMemAlloc(cb);
    BlockHeader* h = HeaderOf(pv);
    if (!h) return nullptr;
    if (cb == 0) {
        CoTaskMemFree(pv);
        return nullptr;
    }
    if (cb > SIZE_T(-1) - sizeof(BlockHeader)) return nullptr;
    auto* n = static_cast<BlockHeader*>(std::realloc(h, sizeof(BlockHeader) + cb));
    if (!n) return nullptr;  // the old block stays valid, as with realloc
    n->size = cb;
    return n + 1;
}

void CoTaskMemFree(LPVOID pv) {
    if (BlockHeader* h = HeaderOf(pv)) {
        h->mark = 0;
        std::free(h);
    }
}

HRESULT CoGetMalloc(DWORD dwMemContext, LPMALLOC* ppMalloc) {
    if (!ppMalloc) return E_POINTER;
    *ppMalloc = nullptr;
    if (dwMemContext != MEMCTX_TASK) return E_INVALIDARG;
    *ppMalloc = &g_allocator;
    return S_OK;
}

// ---- GUID text ------------------------------------------------------------------------------

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (!lpsz || cchMax < 39) return 0;
    const std::wstring s = qv::GuidToString(rguid);
    std::memcpy(lpsz, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
    return int(s.size() + 1);
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    if (!lplpsz) return E_INVALIDARG;
    *lplpsz = static_cast<LPOLESTR>(CoTaskMemAlloc(39 * sizeof(wchar_t)));
    if (!*lplpsz) return E_OUTOFMEMORY;
    StringFromGUID2(rclsid, *lplpsz, 39);
    return S_OK;
}

HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) { return StringFromCLSID(rclsid, lplpsz); }

namespace {
bool ParseBraced(LPCOLESTR text, GUID& out) {
    if (!text) return false;
    std::wstring_view t(text);
    if (t.size() != 38 || t.front() != L'{' || t.back() != L'}') return false;
    return qv::GuidFromString(t.substr(1, 36), out);
}
}  // namespace

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    if (!pclsid) return E_INVALIDARG;
    GUID g;
    if (!ParseBraced(lpsz, g)) return CO_E_CLASSSTRING;
    *pclsid = g;
    return S_OK;
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
    if (!lpiid) return E_INVALIDARG;
    GUID g;
    if (!ParseBraced(lpsz, g)) return E_INVALIDARG;
    *lpiid = g;
    return S_OK;
}

// ---- registry lookups -----------------------------------------------------------------------

namespace {

bool ReadDefault(const std::wstring& subKey, std::wstring& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, cb = 0;
    bool ok = RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &cb) == ERROR_SUCCESS &&
              (type == REG_SZ || type == REG_EXPAND_SZ);
    if (ok) {
        std::vector<wchar_t> buf(cb / sizeof(wchar_t) + 1, L'\0');
        cb = DWORD(buf.size() * sizeof(wchar_t));
        ok = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(buf.data()), &cb) ==
             ERROR_SUCCESS;
        if (ok) out = buf.data();
    }
    RegCloseKey(key);
    return ok;
}

}  // namespace

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (!lpszProgID || !lpclsid) return E_INVALIDARG;
    std::wstring text;
    if (!*lpszProgID || !ReadDefault(std::wstring(lpszProgID) + L"\\CLSID", text)) return CO_E_CLASSSTRING;
    GUID g;
    if (!ParseBraced(text.c_str(), g)) return CO_E_CLASSSTRING;
    *lpclsid = g;
    return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (!lplpszProgID) return E_INVALIDARG;
    *lplpszProgID = nullptr;
    std::wstring progId;
    if (!ReadDefault(L"CLSID\\" + qv::GuidToString(clsid) + L"\\ProgID", progId) || progId.empty())
        return REGDB_E_CLASSNOTREG;
    auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((progId.size() + 1) * sizeof(wchar_t)));
    if (!out) return E_OUTOFMEMORY;
    std::memcpy(out, progId.c_str(), (progId.size() + 1) * sizeof(wchar_t));
    *lplpszProgID = out;
    return S_OK;
}

// ---- in-process servers ---------------------------------------------------------------------

namespace {

// A library loaded by CoGetClassObject. `busy` counts calls into it in progress, `uses` every
// call ever made, so that CoFreeUnusedLibraries can tell whether its unload test is still valid.
struct Library {
    void* handle = nullptr;
    LPFNGETCLASSOBJECT getClassObject = nullptr;
    LPFNCANUNLOADNOW canUnloadNow = nullptr;
    int busy = 0;
    unsigned long uses = 0;
};

struct Libraries {
    std::mutex mu;
    std::map<std::string, Library> byPath;
};

Libraries& TheLibraries() {
    static Libraries* l = new Libraries;  // never destroyed: unloading at exit would race static destructors
    return *l;
}

HRESULT AcquireLibrary(const std::string& path, Library*& out) {
    Libraries& libs = TheLibraries();
    std::lock_guard<std::mutex> lock(libs.mu);
    auto it = libs.byPath.find(path);
    if (it == libs.byPath.end()) {
        void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) return access(path.c_str(), F_OK) == 0 || path.find('/') == std::string::npos
                           ? CO_E_ERRORINDLL
                           : CO_E_DLLNOTFOUND;
        Library lib;
        lib.handle = h;
        lib.getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(h, "DllGetClassObject"));
        lib.canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(h, "DllCanUnloadNow"));
        if (!lib.getClassObject) {
            dlclose(h);
            return CO_E_ERRORINDLL;
        }
        it = libs.byPath.emplace(path, lib).first;
    }
    ++it->second.busy;
    ++it->second.uses;
    out = &it->second;  // map nodes stay put; busy keeps the entry from being erased
    return S_OK;
}

void ReleaseLibrary(Library* lib) {
    Libraries& libs = TheLibraries();
    std::lock_guard<std::mutex> lock(libs.mu);
    --lib->busy;
}

}  // namespace

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (!(dwClsContext & CLSCTX_INPROC)) return REGDB_E_CLASSNOTREG;
    std::wstring path;
    if (!ReadDefault(L"CLSID\\" + qv::GuidToString(rclsid) + L"\\InProcServer32", path) || path.empty())
        return REGDB_E_CLASSNOTREG;
    Library* lib = nullptr;
    if (HRESULT hr = AcquireLibrary(qv::ToUtf8(path), lib); FAILED(hr)) return hr;
    // Not under the table's lock: the library may create objects of other libraries meanwhile.
    HRESULT hr = lib->getClassObject(rclsid, riid, ppv);
    ReleaseLibrary(lib);
    return hr;
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    if (!factory) return E_UNEXPECTED;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    return hr;
}

void CoFreeUnusedLibraries() {
    Libraries& libs = TheLibraries();
    struct Candidate {
        std::string path;
        LPFNCANUNLOADNOW canUnloadNow;
        unsigned long uses;
    };
    std::vector<Candidate> candidates;
    {
        std::lock_guard<std::mutex> lock(libs.mu);
        for (auto& [path, lib] : libs.byPath) {
            if (lib.busy || !lib.canUnloadNow) continue;
            ++lib.busy;  // keeps it loaded while we ask
            candidates.push_back({path, lib.canUnloadNow, lib.uses});
        }
    }
    std::vector<void*> unload;
    for (auto& c : candidates) {
        const bool idle = c.canUnloadNow() == S_OK;
        std::lock_guard<std::mutex> lock(libs.mu);
        auto it = libs.byPath.find(c.path);
        --it->second.busy;
        // Anyone who reached the library after we asked may hold its objects by now.
        if (idle && it->second.busy == 0 && it->second.uses == c.uses) {
            unload.push_back(it->second.handle);
            libs.byPath.erase(it);
        }
    }
    for (void* h : unload) dlclose(h);
}
