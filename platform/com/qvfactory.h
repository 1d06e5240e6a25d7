#pragma once
// COleObjectFactory: the class object of one creatable class of a module. Factories are
// process-wide statics of the module that defines them; each joins its module's list when
// constructed, and DllGetClassObject, DllCanUnloadNow and the registration exports of the
// module work on that list:
//
//     static COleObjectFactory factory(CLSID_Counter, RUNTIME_CLASS(CCounter), FALSE, L"Qovaro.Counter");
//     STDAPI DllGetClassObject(REFCLSID c, REFIID i, void** p) { return AfxDllGetClassObject(c, i, p); }
//     STDAPI DllCanUnloadNow() { return AfxDllCanUnloadNow(); }
//     STDAPI DllRegisterServer() { return COleObjectFactory::UpdateRegistryAll(TRUE) ? S_OK : SELFREG_E_CLASS; }
//
// The module a factory belongs to is the binary that compiles the call of its four-argument
// constructor (for a derived factory class: the binary that compiles the derived constructor).
#include "qvcmdtarget.h"

#include <string>

class COleObjectFactory : public CCmdTarget {
    DECLARE_DYNAMIC(COleObjectFactory)
public:
    QV_MODULE_LOCAL COleObjectFactory(REFCLSID clsid, CRuntimeClass* pRuntimeClass, BOOL bMultiInstance,
                                      LPCWSTR lpszProgID)
        : COleObjectFactory(qv::ThisModule(), clsid, pRuntimeClass, bMultiInstance, lpszProgID) {}
    ~COleObjectFactory() override;

    REFCLSID GetClassID() const { return m_clsid; }
    // Null when the class has no ProgID.
    LPCWSTR GetProgID() const { return m_strProgID.empty() ? nullptr : m_strProgID.c_str(); }
    CRuntimeClass* GetRuntimeClassToCreate() const { return m_pRuntimeClass; }
    BOOL IsMultiInstance() const { return m_bMultiInstance; }
    BOOL IsRegistered() const { return m_bRegistered; }
    qv::ModuleState* GetModuleState() const { return m_pModuleState; }
    // The file of the module the factory lives in, as written to InProcServer32.
    std::wstring GetModuleFileName() const;

    // Makes the class available while the module is loaded (in-process: a flag).
    virtual BOOL Register();
    void Revoke();

    // TRUE: writes HKCR\<ProgID> (default: the ProgID, subkey CLSID = "{clsid}") and
    // HKCR\CLSID\{clsid} (default: the ProgID; subkeys ProgID and InProcServer32 = the module
    // file, with ThreadingModel = "Both"). FALSE: removes both trees; missing keys are fine.
    virtual BOOL UpdateRegistry(BOOL bRegister = TRUE);

    // The calling module's factories.
    QV_MODULE_LOCAL static BOOL RegisterAll() { return RegisterAll(qv::ThisModule()); }
    QV_MODULE_LOCAL static void RevokeAll() { RevokeAll(qv::ThisModule()); }
    QV_MODULE_LOCAL static BOOL UpdateRegistryAll(BOOL bRegister = TRUE) {
        return UpdateRegistryAll(qv::ThisModule(), bRegister);
    }
    static BOOL RegisterAll(qv::ModuleState& module);
    static void RevokeAll(qv::ModuleState& module);
    static BOOL UpdateRegistryAll(qv::ModuleState& module, BOOL bRegister);

    // The module's class object for rclsid: CLASS_E_CLASSNOTAVAILABLE when it has none.
    static HRESULT GetClassObject(qv::ModuleState& module, REFCLSID rclsid, REFIID riid, LPVOID* ppv);
    // S_OK when the module has no application lock, no object made by its factories is alive and
    // no one holds one of its class objects; S_FALSE otherwise.
    static HRESULT CanUnloadNow(qv::ModuleState& module);

protected:
    COleObjectFactory(qv::ModuleState& module, REFCLSID clsid, CRuntimeClass* pRuntimeClass, BOOL bMultiInstance,
                      LPCWSTR lpszProgID);

    // A new object of the run-time class; null when it cannot be made.
    virtual CCmdTarget* OnCreateObject();
    // Factories are statics: the count dropping to its start value ends nothing.
    void OnFinalRelease() override {}

    CLSID m_clsid;
    CRuntimeClass* m_pRuntimeClass;
    BOOL m_bMultiInstance;
    std::wstring m_strProgID;
    BOOL m_bRegistered = FALSE;

    BEGIN_INTERFACE_PART(ClassFactory, IClassFactory)
        HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
        HRESULT LockServer(BOOL fLock) override;
    END_INTERFACE_PART(ClassFactory)

    DECLARE_INTERFACE_MAP()

private:
    qv::ModuleState* m_pModuleState;
    COleObjectFactory* m_pNextFactory = nullptr;
};

// The bodies of the calling module's DllGetClassObject and DllCanUnloadNow.
QV_MODULE_LOCAL inline HRESULT AfxDllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return COleObjectFactory::GetClassObject(qv::ThisModule(), rclsid, riid, ppv);
}
QV_MODULE_LOCAL inline HRESULT AfxDllCanUnloadNow() { return COleObjectFactory::CanUnloadNow(qv::ThisModule()); }
