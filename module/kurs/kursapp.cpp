#include "kursapp.h"
#include "kursres.h"
#include "qvfactory.h"
#include "qvfmodule.h"

CKursApp theApp;

CKursApp::CKursApp() : CQvWinApp(L"DE", nullptr) { QvFSetModuleResourceHandle(KursModuleHandle()); }

BOOL CKursApp::InitInstance() {
    AfxEnableControlContainer();
    COleObjectFactory::RegisterAll();
    const BOOL bResult = CQvWinApp::InitInstance();
    // The course code reads its texts through its own resource handle.
    if (m_hLanguageDll) KursSetResourceHandle(m_hLanguageDll);
    return bResult;
}

int CKursApp::ExitInstance() {
    KursSetResourceHandle(nullptr);
    return CQvWinApp::ExitInstance();
}
