// The course module's entry points as an in-process server: class objects, the unload test and
// the registration of its classes.
#include "kursview.h"
#include "qvfactory.h"
#include "qvfmodule.h"
#include "qvwinapp.h"
#include "searchdlg.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    QVF_MANAGE_STATE();
    QvFStartModuleApp();
    return AfxDllGetClassObject(rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow() {
    QVF_MANAGE_STATE();
    if (NQFrameworkCanUnloadNow() != S_OK) return S_FALSE;
    return AfxDllCanUnloadNow();
}

STDAPI DllRegisterServer() {
    QVF_MANAGE_STATE();
    QvFStartModuleApp();
    if (!COleObjectFactory::UpdateRegistryAll(TRUE)) return SELFREG_E_CLASS;
    // The course view's pages, for an installation that has no list of its own yet.
    CKursView::RegisterTabList();
    return S_OK;
}

STDAPI DllUnregisterServer() {
    QVF_MANAGE_STATE();
    QvFStartModuleApp();
    return COleObjectFactory::UpdateRegistryAll(FALSE) ? S_OK : SELFREG_E_CLASS;
}
