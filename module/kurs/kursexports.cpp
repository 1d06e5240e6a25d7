// The course module's entry points as an in-process server: class objects, the unload test and
// the registration of its classes.
#include "qvfactory.h"
#include "qvfmodule.h"
#include "qvwinapp.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    QVF_MANAGE_STATE();
    QvFStartModuleApp();
    return AfxDllGetClassObject(rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow() {
    QVF_MANAGE_STATE();
    return AfxDllCanUnloadNow();
}

STDAPI DllRegisterServer() {
    QVF_MANAGE_STATE();
    QvFStartModuleApp();
    return COleObjectFactory::UpdateRegistryAll(TRUE) ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
    QVF_MANAGE_STATE();
    QvFStartModuleApp();
    return COleObjectFactory::UpdateRegistryAll(FALSE) ? S_OK : SELFREG_E_CLASS;
}
