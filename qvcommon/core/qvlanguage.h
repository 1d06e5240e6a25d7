#pragma once
// The language of the running system, as the suite names its languages.
#include "cstring.h"

// "DE", "FR", "IT" or "EN" from the system's locale (LC_ALL, LC_MESSAGES, LANG in that order);
// "DE" when none is set or it names another language.
CString QvGetSysLanguage();
