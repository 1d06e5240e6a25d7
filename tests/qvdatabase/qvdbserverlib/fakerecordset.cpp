// A recordset whose queries the active connection's script decides; it has no rows.
#include "fakescript.h"
#include "qvcom.h"
#include "qvregistry.h"
#include "utf.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <string>

namespace {

class FakeRecordset final : public Recordset20 {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_Recordset20) {
            *ppv = static_cast<Recordset20*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    HRESULT putref_ActiveConnection(IUnknown* pconn) override {
        if (script_) script_->Release();
        script_ = nullptr;
        if (pconn) pconn->QueryInterface(IID_IFakeScript, reinterpret_cast<void**>(&script_));
        return S_OK;
    }
    HRESULT Open(VARIANT source, VARIANT, long, long, long) override {
        if (open_) return ADO_E_OBJECTOPEN;
        if (!script_ || source.vt != VT_BSTR) return ADO_E_INVALIDCONNECTION;
        const HRESULT hr = script_->RunQuery(source.bstrVal);
        if (hr == S_OK) open_ = true;
        return hr;
    }
    HRESULT Close() override {
        if (!open_) return ADO_E_OBJECTCLOSED;
        open_ = false;
        return S_OK;
    }
    HRESULT get_State(long* p) override {
        *p = open_ ? adStateOpen : adStateClosed;
        return S_OK;
    }
    HRESULT get_EOF(VARIANT_BOOL* pb) override {
        if (!open_) return ADO_E_OBJECTCLOSED;
        *pb = VARIANT_TRUE;
        return S_OK;
    }
    HRESULT MoveNext() override { return open_ ? ADO_E_NOCURRENTRECORD : ADO_E_OBJECTCLOSED; }
    HRESULT get_Collect(VARIANT, VARIANT*) override { return open_ ? ADO_E_NOCURRENTRECORD : ADO_E_OBJECTCLOSED; }
    HRESULT put_Collect(VARIANT, VARIANT) override { return open_ ? ADO_E_NOCURRENTRECORD : ADO_E_OBJECTCLOSED; }
    HRESULT Update(VARIANT, VARIANT) override { return open_ ? ADO_E_NOCURRENTRECORD : ADO_E_OBJECTCLOSED; }

private:
    ~FakeRecordset() {
        if (script_) script_->Release();
    }
    std::atomic<ULONG> refs_{1};
    IFakeScript* script_ = nullptr;
    bool open_ = false;
};

class Factory final : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* rs = new FakeRecordset();
        const HRESULT hr = rs->QueryInterface(riid, ppv);
        rs->Release();
        return hr;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

std::wstring ThisLibrary() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ThisLibrary), &info) || !info.dli_fname) return {};
    char resolved[PATH_MAX];
    return qv::FromUtf8(realpath(info.dli_fname, resolved) ? resolved : info.dli_fname);
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (rclsid != CLSID_Recordset) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() { return S_FALSE; }

STDAPI DllRegisterServer() {
    const std::wstring key = L"CLSID\\" + qv::GuidToString(CLSID_Recordset) + L"\\InProcServer32";
    const std::wstring file = ThisLibrary();
    return RegSetValueW(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, file.c_str(),
                        static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS
               ? S_OK
               : SELFREG_E_CLASS;
}
