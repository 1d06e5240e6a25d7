#include "serverbase.h"
#include "oleauto.h"
#include "utf.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <string>

IMPLEMENT_DYNAMIC(CQvStandInServer, CCmdTarget)

BEGIN_INTERFACE_MAP(CQvStandInServer, CCmdTarget)
    INTERFACE_PART(CQvStandInServer, IID_IQvFInit, FInit)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CQvStandInServer, FInit)

namespace {

// The file of the server library this code is linked into.
std::wstring ThisModuleFile() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ThisModuleFile), &info) || !info.dli_fname) return {};
    char resolved[PATH_MAX];
    return qv::FromUtf8(realpath(info.dli_fname, resolved) ? resolved : info.dli_fname);
}

HRESULT Out(BSTR* p, const std::wstring& text) {
    if (!p) return E_POINTER;
    *p = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *p ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

std::string QvStandInDataHome(const std::string& strWithoutHome) {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return data;
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.local/share";
    return strWithoutHome;
}

HRESULT CQvStandInServer::OnInit(BOOL) { return S_OK; }
HRESULT CQvStandInServer::OnUpAndRunning() { return S_OK; }
HRESULT CQvStandInServer::OnClose() { return S_OK; }
HRESULT CQvStandInServer::OnReleaseServers() { return S_OK; }

template <class F>
HRESULT CQvStandInServer::RunOnce(Step step, F&& work) {
    long expected = 0;
    if (!m_steps[step].compare_exchange_strong(expected, 1)) return S_FALSE;
    const HRESULT hr = work();
    m_steps[step] = 2;
    return hr;
}

HRESULT CQvStandInServer::XFInit::CanLoad() {
    METHOD_PROLOGUE(CQvStandInServer, FInit)
    return pThis->m_steps[StepInit] != 0 ? E_FAIL : S_OK;
}

HRESULT CQvStandInServer::XFInit::Init(BOOL bConnectToFrame) {
    METHOD_PROLOGUE(CQvStandInServer, FInit)
    return pThis->RunOnce(StepInit, [&] {
        pThis->m_bConnectToFrame = bConnectToFrame ? TRUE : FALSE;
        return pThis->OnInit(bConnectToFrame);
    });
}

HRESULT CQvStandInServer::XFInit::UpAndRunning() {
    METHOD_PROLOGUE(CQvStandInServer, FInit)
    return pThis->RunOnce(StepUpAndRunning, [&] { return pThis->OnUpAndRunning(); });
}

HRESULT CQvStandInServer::XFInit::AsyncInit() {
    METHOD_PROLOGUE(CQvStandInServer, FInit)
    return pThis->RunOnce(StepAsyncInit, [] { return S_OK; });
}

HRESULT CQvStandInServer::XFInit::OnHostNotify() { return S_OK; }

HRESULT CQvStandInServer::XFInit::Close() {
    METHOD_PROLOGUE(CQvStandInServer, FInit)
    return pThis->RunOnce(StepClose, [&] { return pThis->OnClose(); });
}

HRESULT CQvStandInServer::XFInit::ReleaseServers() {
    METHOD_PROLOGUE(CQvStandInServer, FInit)
    return pThis->RunOnce(StepReleaseServers, [&] { return pThis->OnReleaseServers(); });
}

HRESULT CQvStandInServer::XFInit::OnApplySecurity() { return S_OK; }

HRESULT CQvStandInServer::XFInit::GetClassID(GUID* pClsid) {
    METHOD_PROLOGUE(CQvStandInServer, FInit)
    if (!pClsid) return E_POINTER;
    *pClsid = pThis->GetServerClassID();
    return S_OK;
}

HRESULT CQvStandInServer::XFInit::GetProductVersion(WORD* pw1, WORD* pw2, WORD* pw3, WORD* pw4) {
    if (!pw1 || !pw2 || !pw3 || !pw4) return E_POINTER;
    *pw1 = 1;
    *pw2 = *pw3 = *pw4 = 0;
    return S_OK;
}

HRESULT CQvStandInServer::XFInit::GetProgID(BSTR* pbstrProgID) {
    METHOD_PROLOGUE(CQvStandInServer, FInit)
    return Out(pbstrProgID, pThis->GetServerProgID());
}

HRESULT CQvStandInServer::XFInit::CreateSetupPage(int, IUnknown** ppPage) {
    if (ppPage) *ppPage = nullptr;
    return E_NOTIMPL;
}

HRESULT CQvStandInServer::XFInit::GetServerGUID(BSTR* pbstrGUID) {
    return Out(pbstrGUID, L"00000000-0000-0000-0000-000000000000");
}

HRESULT CQvStandInServer::XFInit::SetKeepAlive(BOOL bKeepAlive) {
    METHOD_PROLOGUE(CQvStandInServer, FInit)
    pThis->m_bKeepAlive = bKeepAlive;
    return S_OK;
}

HRESULT CQvStandInServer::XFInit::GetModuleFile(BSTR* pbstrDrive, BSTR* pbstrDir, BSTR* pbstrName, BSTR* pbstrExt) {
    if (!pbstrDrive || !pbstrDir || !pbstrName || !pbstrExt) return E_POINTER;
    const std::wstring file = ThisModuleFile();
    const std::size_t slash = file.rfind(L'/');
    const std::wstring dir = slash == std::wstring::npos ? std::wstring() : file.substr(0, slash + 1);
    const std::wstring base = slash == std::wstring::npos ? file : file.substr(slash + 1);
    const std::size_t dot = base.rfind(L'.');
    const std::wstring name = dot == std::wstring::npos || dot == 0 ? base : base.substr(0, dot);
    const std::wstring ext = dot == std::wstring::npos || dot == 0 ? std::wstring() : base.substr(dot);
    Out(pbstrDrive, L"");
    Out(pbstrDir, dir);
    Out(pbstrName, name);
    return Out(pbstrExt, ext);
}

HRESULT CQvStandInServer::XFInit::put_ServerFlag(BOOL bServer) {
    METHOD_PROLOGUE(CQvStandInServer, FInit)
    pThis->m_bServerFlag = bServer;
    return S_OK;
}

HRESULT CQvStandInServer::XFInit::get_ServerFlag(BOOL* pbServer) {
    METHOD_PROLOGUE(CQvStandInServer, FInit)
    if (!pbServer) return E_POINTER;
    *pbServer = pThis->m_bServerFlag;
    return S_OK;
}

HRESULT CQvStandInServer::XFInit::GetBuildConfiguration(BSTR* pbstrBuild) { return Out(pbstrBuild, L"Release"); }
