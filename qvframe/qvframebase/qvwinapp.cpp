#include "qvwinapp.h"
#include "qvflanguage.h"
#include "qvfmodule.h"

#include <cstdlib>
#include <cwchar>

CQvWinApp::CQvWinApp(LPCWSTR lpszLanguage, LPCWSTR lpszAppName)
    : CWinApp(lpszAppName), m_strLanguage(lpszLanguage ? lpszLanguage : L"") {
    QvFSetModuleApp(this);
}

CQvWinApp::~CQvWinApp() {
    if (QvFGetModuleApp() == this) QvFSetModuleApp(nullptr);
}

BOOL CQvWinApp::InitInstance() {
    m_hOwnResource = QvFGetModuleResourceHandle();
    QvLoadLanguageRessourceDll(m_strLanguage, &m_hLanguageDll);
    // The class library's own start-up of a module has nothing left to do.
    return TRUE;
}

int CQvWinApp::ExitInstance() {
    if (m_hLanguageDll) {
        if (QvFGetModuleResourceHandle() == m_hLanguageDll) QvFSetModuleResourceHandle(m_hOwnResource);
        QvFreeLanguageRessourceDll(m_hLanguageDll);
        m_hLanguageDll = nullptr;
    }
    return CWinApp::ExitInstance();
}

void CQvWinApp::SetAppName(const CString& strName) {
    const std::size_t n = std::size_t(strName.GetLength()) + 1;
    auto* copy = static_cast<wchar_t*>(std::malloc(n * sizeof(wchar_t)));
    if (!copy) return;
    wmemcpy(copy, strName.GetString(), n);
    std::free(const_cast<wchar_t*>(m_pszAppName));
    m_pszAppName = copy;
}

namespace {
// Built on the module's first entry, after every static of the module; so it goes before them.
struct ModuleAppStarter {
    ModuleAppStarter() : pApp(QvFGetModuleApp()), bStarted(pApp ? pApp->InitInstance() : TRUE) {}
    ~ModuleAppStarter() {
        if (pApp && QvFGetModuleApp() == pApp) pApp->ExitInstance();
    }
    CQvWinApp* pApp;
    BOOL bStarted;
};
}  // namespace

BOOL QvFStartModuleApp() {
    static ModuleAppStarter starter;
    return starter.bStarted;
}
