// A module as the frame loads it: two creatable classes with their factories, the application
// object and the four entry points.
#include "qvfmodule.h"
#include "qvfobjectfactory.h"
#include "qvfserver.h"
#include "qvwinapp.h"

namespace {

constexpr CLSID CLSID_ModServer = qv::MakeGuid("5D0C9A17-2E4B-4C83-A1F6-0B9D3E7A5C11");
constexpr CLSID CLSID_ModPage = qv::MakeGuid("5D0C9A17-2E4B-4C83-A1F6-0B9D3E7A5C12");

class CModServer : public CQvFServer {
    DECLARE_DYNCREATE(CModServer)
public:
    CModServer() { SetName(L"Qovaro.Test.ModServer"); }
    HRESULT GetClassID(GUID* pClsid) override {
        *pClsid = CLSID_ModServer;
        return S_OK;
    }
    class CModServerFactory : public CQvFObjectFactory {
    public:
        using CQvFObjectFactory::CQvFObjectFactory;
    };
};
IMPLEMENT_DYNCREATE(CModServer, CQvFServer)

class CModPage : public CQvFCOMObject {
    DECLARE_DYNCREATE(CModPage)
};
IMPLEMENT_DYNCREATE(CModPage, CQvFCOMObject)

CModServer::CModServerFactory g_serverFactory(CLSID_ModServer, RUNTIME_CLASS(CModServer), FALSE,
                                              L"Qovaro.Test.ModServer");
CModServer::CModServerFactory g_pageFactory(CLSID_ModPage, RUNTIME_CLASS(CModPage), FALSE, L"Qovaro.Test.ModPage");

class CModApp : public CQvWinApp {
public:
    CModApp() : CQvWinApp(L"DE") {}
    BOOL InitInstance() override {
        COleObjectFactory::RegisterAll();
        return CQvWinApp::InitInstance();
    }
};
CModApp theApp;

}  // namespace

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
