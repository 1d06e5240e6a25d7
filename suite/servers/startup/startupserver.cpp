// The start-up progress server: it shows each progress text in the host frame's status bar (and on
// stderr when QV_TRACE is set) while the frame starts its modules.
#include "nqstartupint.h"
#include "qvcomserver.h"
#include "qvfint.h"
#include "serverbase.h"
#include "utf.h"

#include <cstdio>
#include <cstdlib>

class CNQStartupServer : public CQvStandInServer {
    DECLARE_DYNCREATE(CNQStartupServer)
public:
    CNQStartupServer() = default;

protected:
    const CLSID& GetServerClassID() const override { return CLSID_NQStartupServer; }
    LPCWSTR GetServerProgID() const override { return NQ_STARTUPSERVER_PROGID; }

    BEGIN_INTERFACE_PART(Startup, INQStartupServer)
        HRESULT SetProgressText(BSTR bstrText) override;
    END_INTERFACE_PART(Startup)

    DECLARE_INTERFACE_MAP()
};

IMPLEMENT_DYNCREATE(CNQStartupServer, CQvStandInServer)

BEGIN_INTERFACE_MAP(CNQStartupServer, CQvStandInServer)
    INTERFACE_PART(CNQStartupServer, IID_INQStartupServer, Startup)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CNQStartupServer, Startup)

HRESULT CNQStartupServer::XStartup::SetProgressText(BSTR bstrText) {
    if (!bstrText) return E_POINTER;
    if (const char* trace = std::getenv("QV_TRACE"); trace && *trace)
        std::fprintf(stderr, "StartupServer: %s\n", qv::ToUtf8(std::wstring_view(bstrText, SysStringLen(bstrText))).c_str());
    IUnknown* pFrame = nullptr;
    if (SUCCEEDED(GetFrameIUnk(&pFrame)) && pFrame) {
        IQvFFrame* pMain = nullptr;
        if (SUCCEEDED(pFrame->QueryInterface(IID_IQvFFrame, reinterpret_cast<void**>(&pMain))) && pMain) {
            pMain->SetStatusText(bstrText);
            pMain->Release();
        }
        pFrame->Release();
    }
    return S_OK;
}

QV_STANDIN_SERVER_EXPORTS(CLSID_NQStartupServer, CNQStartupServer, NQ_STARTUPSERVER_PROGID, AfxDllCanUnloadNow())
