#include "qvfactory.h"
#include "qvregistry.h"
#include "utf.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <new>

IMPLEMENT_DYNAMIC(COleObjectFactory, CCmdTarget)

BEGIN_INTERFACE_MAP(COleObjectFactory, CCmdTarget)
    INTERFACE_PART(COleObjectFactory, IID_IClassFactory, ClassFactory)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(COleObjectFactory, ClassFactory)

namespace {

LONG SetDefault(const std::wstring& subKey, const std::wstring& text) {
    return RegSetValueW(HKEY_CLASSES_ROOT, subKey.c_str(), REG_SZ, text.c_str(),
                        DWORD((text.size() + 1) * sizeof(wchar_t)));
}

bool DeleteTree(const std::wstring& subKey) {
    LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, subKey.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

}  // namespace

COleObjectFactory::COleObjectFactory(qv::ModuleState& module, REFCLSID clsid, CRuntimeClass* pRuntimeClass,
                                     BOOL bMultiInstance, LPCWSTR lpszProgID)
    : m_clsid(clsid),
      m_pRuntimeClass(pRuntimeClass),
      m_bMultiInstance(bMultiInstance),
      m_strProgID(lpszProgID ? lpszProgID : L""),
      m_pModuleState(&module) {
    std::lock_guard<std::mutex> lock(module.factoryMutex);
    m_pNextFactory = module.firstFactory;
    module.firstFactory = this;
}

COleObjectFactory::~COleObjectFactory() {
    std::lock_guard<std::mutex> lock(m_pModuleState->factoryMutex);
    for (COleObjectFactory** p = &m_pModuleState->firstFactory; *p; p = &(*p)->m_pNextFactory) {
        if (*p == this) {
            *p = m_pNextFactory;
            break;
        }
    }
}

std::wstring COleObjectFactory::GetModuleFileName() const {
    // Any address inside the module names it; its state is one.
    Dl_info info{};
    if (!dladdr(m_pModuleState, &info) || !info.dli_fname || !*info.dli_fname) return {};
    char resolved[PATH_MAX];
    const char* path = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    return qv::FromUtf8(path);
}

BOOL COleObjectFactory::Register() {
    m_bRegistered = TRUE;
    return TRUE;
}

void COleObjectFactory::Revoke() { m_bRegistered = FALSE; }

BOOL COleObjectFactory::UpdateRegistry(BOOL bRegister) {
    const std::wstring clsid = qv::GuidToString(m_clsid);
    const std::wstring clsidKey = L"CLSID\\" + clsid;
    if (!bRegister) {
        bool ok = DeleteTree(clsidKey);
        // An empty ProgID would name HKCR itself.
        if (!m_strProgID.empty()) ok = DeleteTree(m_strProgID) && ok;
        return ok ? TRUE : FALSE;
    }
    const std::wstring module = GetModuleFileName();
    if (module.empty()) return FALSE;
    const std::wstring name = m_strProgID.empty() ? clsid : m_strProgID;
    bool ok = true;
    if (!m_strProgID.empty()) {
        ok = ok && SetDefault(m_strProgID, name) == ERROR_SUCCESS;
        ok = ok && SetDefault(m_strProgID + L"\\CLSID", clsid) == ERROR_SUCCESS;
        ok = ok && SetDefault(clsidKey + L"\\ProgID", m_strProgID) == ERROR_SUCCESS;
    }
    ok = ok && SetDefault(clsidKey, name) == ERROR_SUCCESS;
    ok = ok && SetDefault(clsidKey + L"\\InProcServer32", module) == ERROR_SUCCESS;
    if (ok) {
        HKEY key = nullptr;
        ok = RegOpenKeyExW(HKEY_CLASSES_ROOT, (clsidKey + L"\\InProcServer32").c_str(), 0, KEY_SET_VALUE, &key) ==
             ERROR_SUCCESS;
        if (ok) {
            static const wchar_t kBoth[] = L"Both";
            ok = RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(kBoth),
                                sizeof kBoth) == ERROR_SUCCESS;
            RegCloseKey(key);
        }
    }
    return ok ? TRUE : FALSE;
}

BOOL COleObjectFactory::RegisterAll(qv::ModuleState& module) {
    std::lock_guard<std::mutex> lock(module.factoryMutex);
    BOOL ok = TRUE;
    for (COleObjectFactory* f = module.firstFactory; f; f = f->m_pNextFactory)
        if (!f->Register()) ok = FALSE;
    return ok;
}

void COleObjectFactory::RevokeAll(qv::ModuleState& module) {
    std::lock_guard<std::mutex> lock(module.factoryMutex);
    for (COleObjectFactory* f = module.firstFactory; f; f = f->m_pNextFactory) f->Revoke();
}

BOOL COleObjectFactory::UpdateRegistryAll(qv::ModuleState& module, BOOL bRegister) {
    std::lock_guard<std::mutex> lock(module.factoryMutex);
    BOOL ok = TRUE;
    for (COleObjectFactory* f = module.firstFactory; f; f = f->m_pNextFactory)
        if (!f->UpdateRegistry(bRegister)) ok = FALSE;
    return ok;
}

HRESULT COleObjectFactory::GetClassObject(qv::ModuleState& module, REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    std::lock_guard<std::mutex> lock(module.factoryMutex);
    for (COleObjectFactory* f = module.firstFactory; f; f = f->m_pNextFactory)
        if (f->m_clsid == rclsid) return f->InternalQueryInterface(&riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT COleObjectFactory::CanUnloadNow(qv::ModuleState& module) {
    if (module.lockCount.load() != 0 || module.objectCount.load() != 0) return S_FALSE;
    std::lock_guard<std::mutex> lock(module.factoryMutex);
    for (COleObjectFactory* f = module.firstFactory; f; f = f->m_pNextFactory)
        if (f->m_dwRef.load() > 1) return S_FALSE;
    return S_OK;
}

CCmdTarget* COleObjectFactory::OnCreateObject() {
    if (!m_pRuntimeClass) return nullptr;
    CObject* obj = m_pRuntimeClass->CreateObject();
    auto* target = dynamic_cast<CCmdTarget*>(obj);
    if (obj && !target) delete obj;
    return target;
}

HRESULT COleObjectFactory::XClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
    METHOD_PROLOGUE(COleObjectFactory, ClassFactory)
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    // An outer object may only ask for the inner object's own IUnknown.
    if (pUnkOuter && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    CCmdTarget* obj = nullptr;
    try {
        obj = pThis->OnCreateObject();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (!obj) return E_OUTOFMEMORY;
    ++pThis->m_pModuleState->objectCount;
    obj->m_pCountedIn = pThis->m_pModuleState;
    if (pUnkOuter) {
        if (!obj->m_bAggregatable) {
            obj->InternalRelease();
            return CLASS_E_NOAGGREGATION;
        }
        obj->m_pOuterUnknown = pUnkOuter;
    }
    HRESULT hr = obj->InternalQueryInterface(&riid, ppvObject);
    obj->InternalRelease();  // the creation reference; the interface holds the object now
    return hr;
}

HRESULT COleObjectFactory::XClassFactory::LockServer(BOOL fLock) {
    METHOD_PROLOGUE(COleObjectFactory, ClassFactory)
    if (fLock)
        qv::LockModule(*pThis->m_pModuleState);
    else
        qv::UnlockModule(*pThis->m_pModuleState);
    return S_OK;
}
