// The in-process server of the database objects: CoCreateInstance finds CLSID_Connection and
// CLSID_Recordset through the registry entries DllRegisterServer writes, loads this library and
// asks it for their class objects.
#include "adoclass.h"
#include "qvcom.h"
#include "qvregistry.h"
#include "utf.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <string>

namespace {

class ClassFactory final : public IClassFactory {
public:
    explicit constexpr ClassFactory(const CLSID& clsid) : clsid_(clsid) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Statics of the library, alive as long as it is loaded.
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        return qv::ado::CreateInstance(clsid_, outer, riid, ppv);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    const CLSID& clsid_;
};

ClassFactory g_connectionFactory(CLSID_Connection);
ClassFactory g_recordsetFactory(CLSID_Recordset);

struct ClassEntry {
    const CLSID& clsid;
    const wchar_t* name;
};
const ClassEntry kClasses[] = {{CLSID_Connection, L"QvADO Connection"}, {CLSID_Recordset, L"QvADO Recordset"}};

std::wstring ThisLibrary() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ThisLibrary), &info) || !info.dli_fname) return {};
    char resolved[PATH_MAX];
    return qv::FromUtf8(realpath(info.dli_fname, resolved) ? resolved : info.dli_fname);
}

LONG SetDefault(const std::wstring& subKey, const std::wstring& text) {
    return RegSetValueW(HKEY_CLASSES_ROOT, subKey.c_str(), REG_SZ, text.c_str(),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = rclsid == CLSID_Connection  ? &g_connectionFactory
                             : rclsid == CLSID_Recordset ? &g_recordsetFactory
                                                         : nullptr;
    if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
    return factory->QueryInterface(riid, ppv);
}

// Never: connections kept per thread and their prepared statements live in this library.
STDAPI DllCanUnloadNow() { return S_FALSE; }

STDAPI DllRegisterServer() {
    const std::wstring file = ThisLibrary();
    if (file.empty()) return SELFREG_E_CLASS;
    for (const ClassEntry& c : kClasses) {
        const std::wstring key = L"CLSID\\" + qv::GuidToString(c.clsid);
        if (SetDefault(key, c.name) != ERROR_SUCCESS || SetDefault(key + L"\\InProcServer32", file) != ERROR_SUCCESS) {
            return SELFREG_E_CLASS;
        }
        HKEY server = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (key + L"\\InProcServer32").c_str(), 0, KEY_SET_VALUE, &server) !=
            ERROR_SUCCESS) {
            return SELFREG_E_CLASS;
        }
        static const wchar_t kBoth[] = L"Both";
        const LONG rc = RegSetValueExW(server, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(kBoth), sizeof kBoth);
        RegCloseKey(server);
        if (rc != ERROR_SUCCESS) return SELFREG_E_CLASS;
    }
    return S_OK;
}

STDAPI DllUnregisterServer() {
    HRESULT hr = S_OK;
    for (const ClassEntry& c : kClasses) {
        const LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + qv::GuidToString(c.clsid)).c_str());
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) hr = SELFREG_E_CLASS;
    }
    return hr;
}
