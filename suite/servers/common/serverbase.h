#pragma once
// CQvStandInServer: the base of the suite's stand-in servers. It answers the host's life cycle
// (IQvFInit): each of the steps CanLoad, Init, UpAndRunning, AsyncInit, Close and ReleaseServers
// runs once, a repetition answers S_FALSE and CanLoad after Init E_FAIL. A derived server adds
// its own interfaces to its map (BEGIN_INTERFACE_MAP(CMyServer, CQvStandInServer)) and does its
// work in the On... operations.
#include "qvcmdtarget.h"
#include "qvfactory.h"
#include "qvfinit.h"

#include <atomic>
#include <string>

class CQvStandInServer : public CCmdTarget {
    DECLARE_DYNAMIC(CQvStandInServer)
public:
    // 0 not called, 1 running, 2 finished.
    enum Step { StepInit, StepUpAndRunning, StepAsyncInit, StepClose, StepReleaseServers, StepCount };
    long GetStepState(Step step) const { return m_steps[step].load(); }

protected:
    CQvStandInServer() = default;

    virtual const CLSID& GetServerClassID() const = 0;
    virtual LPCWSTR GetServerProgID() const = 0;
    virtual HRESULT OnInit(BOOL bConnectToFrame);
    virtual HRESULT OnUpAndRunning();
    virtual HRESULT OnClose();
    virtual HRESULT OnReleaseServers();

    BOOL m_bConnectToFrame = FALSE;
    BOOL m_bServerFlag = TRUE;
    BOOL m_bKeepAlive = TRUE;

    BEGIN_INTERFACE_PART(FInit, IQvFInit)
        HRESULT CanLoad() override;
        HRESULT Init(BOOL bConnectToFrame) override;
        HRESULT UpAndRunning() override;
        HRESULT AsyncInit() override;
        HRESULT OnHostNotify() override;
        HRESULT Close() override;
        HRESULT ReleaseServers() override;
        HRESULT OnApplySecurity() override;
        HRESULT GetClassID(GUID* pClsid) override;
        HRESULT GetProductVersion(WORD* pw1, WORD* pw2, WORD* pw3, WORD* pw4) override;
        HRESULT GetProgID(BSTR* pbstrProgID) override;
        HRESULT CreateSetupPage(int nIndex, IUnknown** ppPage) override;
        HRESULT GetServerGUID(BSTR* pbstrGUID) override;
        HRESULT SetKeepAlive(BOOL bKeepAlive) override;
        HRESULT GetModuleFile(BSTR* pbstrDrive, BSTR* pbstrDir, BSTR* pbstrName, BSTR* pbstrExt) override;
        HRESULT put_ServerFlag(BOOL bServer) override;
        HRESULT get_ServerFlag(BOOL* pbServer) override;
        HRESULT GetBuildConfiguration(BSTR* pbstrBuild) override;
    END_INTERFACE_PART(FInit)

    DECLARE_INTERFACE_MAP()

private:
    // Runs a once-only step: S_FALSE when it ran before.
    template <class F>
    HRESULT RunOnce(Step step, F&& work);
    std::atomic<long> m_steps[StepCount] = {};
};

// The user's data folder, where the servers keep their files: $XDG_DATA_HOME, else
// $HOME/.local/share, else strWithoutHome.
std::string QvStandInDataHome(const std::string& strWithoutHome = "./.local/share");

// The class factory of a stand-in server and the exports the COM layer looks for in its library.
// canUnload is what DllCanUnloadNow answers: AfxDllCanUnloadNow(), or S_FALSE for a server whose
// library must stay loaded.
#define QV_STANDIN_SERVER_EXPORTS(clsid, theClass, progID, canUnload)                                             \
    static COleObjectFactory qvStandInFactory(clsid, RUNTIME_CLASS(theClass), FALSE, progID);                      \
    STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {                                           \
        return AfxDllGetClassObject(rclsid, riid, ppv);                                                             \
    }                                                                                                               \
    STDAPI DllCanUnloadNow() { return canUnload; }                                                                  \
    STDAPI DllRegisterServer() { return COleObjectFactory::UpdateRegistryAll(TRUE) ? S_OK : SELFREG_E_CLASS; }      \
    STDAPI DllUnregisterServer() { return COleObjectFactory::UpdateRegistryAll(FALSE) ? S_OK : SELFREG_E_CLASS; }
