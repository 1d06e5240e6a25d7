#pragma once
// CQvWinApp: the application object of a module. It keeps the module's own language code and, when
// the user works in another language, the language library whose resources replace the module's.
// A module has one, as a static; the module's first entry starts it (InitInstance) and its unload
// ends it (ExitInstance).
#include "cstring.h"
#include "qvcmdtarget.h"
#include "wnd.h"

class CQvWinApp : public CWinApp {
public:
    CQvWinApp(LPCWSTR lpszLanguage, LPCWSTR lpszAppName = nullptr);
    ~CQvWinApp() override;

    // Loads the language library of the user's language list.
    BOOL InitInstance() override;
    // Frees the language library.
    int ExitInstance() override;

    // Replaces the application's name (the caption of its message boxes).
    void SetAppName(const CString& strName);

    CString m_strLanguage;
    HINSTANCE m_hLanguageDll = nullptr;

private:
    HINSTANCE m_hOwnResource = nullptr;  // the module's own tables, while a language library replaces them
};

// Starts the module's application the first time it is called (every export calls it first);
// FALSE when its InitInstance failed. TRUE without an application object.
QV_MODULE_LOCAL BOOL QvFStartModuleApp();
