#pragma once
// CKursApp: the course module's application object, a static of the library: its texts are German
// ("DE"), a language library may replace them.
#include "qvwinapp.h"

class CKursApp : public CQvWinApp {
public:
    CKursApp();

    // Registers the module's class factories and loads the language library.
    BOOL InitInstance() override;
    int ExitInstance() override;
};
