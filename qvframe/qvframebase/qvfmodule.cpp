#include "qvfmodule.h"
#include "oledate.h"
#include "strtable.h"
#include "sync.h"
#include "trace.h"
#include "utf.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {
QV_MODULE_LOCAL CQvWinApp* g_pModuleApp = nullptr;
QV_MODULE_LOCAL HINSTANCE g_hModuleResource = nullptr;
}  // namespace

void QvFTraceLine(LPCWSTR lpszSource, const CString& strMessage) {
    CString line;
    line.Format(L"%s: %s; 0x%X; %s\n", lpszSource, COleDateTime::GetCurrentTime().Format(), GetCurrentThreadId(),
                strMessage);
    OutputDebugStringW(line);
}

CString QvFGetModuleFileName() {
    // Any address inside the module names it.
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&QvFGetModuleFileName), &info) || !info.dli_fname) return CString();
    std::string path = info.dli_fname;
    // The program itself is named as it was started, perhaps relative to a folder left since.
    if (path.empty() || path[0] != '/') {
        char resolved[PATH_MAX];
        if (!path.empty() && realpath(path.c_str(), resolved)) {
            path = resolved;
        } else {
            const ssize_t n = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
            if (n > 0) path.assign(resolved, std::size_t(n));
        }
    }
    return CString(qv::FromUtf8(path));
}

void QvFSplitPath(const CString& strPath, CString* pstrDrive, CString* pstrDir, CString* pstrName, CString* pstrExt) {
    const std::wstring& path = strPath.wstr();
    const std::size_t slash = path.rfind(L'/');
    const std::wstring dir = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    const std::wstring file = slash == std::wstring::npos ? path : path.substr(slash + 1);
    // A leading dot starts a hidden file's name, not its extension.
    const std::size_t dot = file.rfind(L'.');
    const bool hasExt = dot != std::wstring::npos && dot != 0;
    if (pstrDrive) pstrDrive->Empty();
    if (pstrDir) *pstrDir = dir;
    if (pstrName) *pstrName = hasExt ? file.substr(0, dot) : file;
    if (pstrExt) *pstrExt = hasExt ? file.substr(dot) : std::wstring();
}

CQvWinApp* QvFGetModuleApp() { return g_pModuleApp; }
void QvFSetModuleApp(CQvWinApp* pApp) { g_pModuleApp = pApp; }

HINSTANCE QvFGetModuleResourceHandle() { return g_hModuleResource; }
void QvFSetModuleResourceHandle(HINSTANCE hResource) { g_hModuleResource = hResource; }

CQvFModuleState::CQvFModuleState() : m_hPrevious(AfxGetResourceHandle()), m_bSwitched(g_hModuleResource != nullptr) {
    if (m_bSwitched) AfxSetResourceHandle(g_hModuleResource);
}

CQvFModuleState::~CQvFModuleState() {
    if (m_bSwitched) AfxSetResourceHandle(m_hPrevious);
}
