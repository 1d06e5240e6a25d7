#include "qvlanguage.h"

#include <cstdlib>
#include <string>

CString QvGetSysLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        const std::string locale(value);
        if (locale.rfind("fr", 0) == 0) return CString(L"FR");
        if (locale.rfind("it", 0) == 0) return CString(L"IT");
        if (locale.rfind("en", 0) == 0) return CString(L"EN");
        return CString(L"DE");
    }
    return CString(L"DE");
}
