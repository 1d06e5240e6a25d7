#pragma once
// The language library of a module: a shared library beside the module whose file name is the
// module's name with the language code as extension ("libkurs.FR" beside "libkurs.so"). It holds
// the module's resources translated; loaded, its tables replace the module's own.
//
// A language library exports
//     extern "C" void QvRegisterLanguageResources(HINSTANCE hLibrary);
// which registers its tables (qv::RegisterStringTable, qv::ui::RegisterDialogTemplate ...) under the
// handle it is given.
#include "cstring.h"
#include "qvcmdtarget.h"

#define QV_LANGUAGE_REGISTER_FUNCTION "QvRegisterLanguageResources"
extern "C" {
using QVREGISTERLANGUAGERESOURCES = void (*)(HINSTANCE);
}

// Looks for the language library of the user's languages (HKCU "Software\Qovaro\QvCommon",
// "ActSysLanguage": codes separated by blanks, in order of preference; "DE" when unset), skipping
// the module's own language; the first one found is loaded into *phLibrary and becomes the
// module's resource handle. *phLibrary stays as it is when none is found.
QV_MODULE_LOCAL void QvLoadLanguageRessourceDll(CString strOwnLanguage, HINSTANCE* phLibrary);

// Unloads a language library loaded by QvLoadLanguageRessourceDll and forgets its tables.
void QvFreeLanguageRessourceDll(HINSTANCE hLibrary);
