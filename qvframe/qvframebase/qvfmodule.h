#pragma once
// The module (shared library) this code is linked into: its file and the resource tables its calls
// read. The frame base is linked into every module as a static library, so each module has its own
// copy of what is declared here.
#include "cstring.h"
#include "qvcmdtarget.h"

class CQvWinApp;

// The module's file, as it was loaded (symbolic links kept).
QV_MODULE_LOCAL CString QvFGetModuleFileName();

// The file split into drive (always empty here), folder with its trailing '/', name and extension
// with its dot.
void QvFSplitPath(const CString& strPath, CString* pstrDrive, CString* pstrDir, CString* pstrName, CString* pstrExt);

// The module's application object, null before it is built.
QV_MODULE_LOCAL CQvWinApp* QvFGetModuleApp();
QV_MODULE_LOCAL void QvFSetModuleApp(CQvWinApp* pApp);

// The resource tables of the module: its own (German) ones, or a language library that replaces
// them. Null until the module names its own.
QV_MODULE_LOCAL HINSTANCE QvFGetModuleResourceHandle();
QV_MODULE_LOCAL void QvFSetModuleResourceHandle(HINSTANCE hResource);

// Makes the module's resource tables the current ones for the life of the object: every entry into
// the module (exports, interface methods) starts with one, so that its texts, menus and dialogs come
// from the module and not from whoever called it.
class QV_MODULE_LOCAL CQvFModuleState {
public:
    CQvFModuleState();
    ~CQvFModuleState();
    CQvFModuleState(const CQvFModuleState&) = delete;
    CQvFModuleState& operator=(const CQvFModuleState&) = delete;

private:
    HINSTANCE m_hPrevious;
    bool m_bSwitched;
};

#define QVF_MANAGE_STATE() CQvFModuleState qvfModuleState_

// Writes "<source>: <local time>; 0x<thread id>; <message>" to the debugger output.
void QvFTraceLine(LPCWSTR lpszSource, const CString& strMessage);
template <class... A>
void QvFTrace(LPCWSTR lpszSource, LPCWSTR lpszFormat, const A&... args) {
    CString s;
    s.Format(lpszFormat, args...);
    QvFTraceLine(lpszSource, s);
}
