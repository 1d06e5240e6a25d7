// The French texts of the frame base's tests, as a language library beside the test program.
#include "qvflanguage.h"
#include "strtable.h"

extern "C" __attribute__((visibility("default"))) void QvRegisterLanguageResources(HINSTANCE hLibrary) {
    qv::RegisterStringTable(hLibrary, {{600, L"Formation"}, {601, L"Modules principaux"}});
}
