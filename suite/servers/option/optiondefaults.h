#pragma once
// The value of every option the modules read before anybody set it. The readers overwrite their
// variables with whatever the server answers, so an option without a default here reads as 0 or
// as an empty text.
#include "qvtypes.h"

struct QvOptionDefault {
    long lArea;
    LPCWSTR lpszName;
    VARTYPE vt;         // VT_I4 for numbers and flags, VT_BSTR for texts and dates
    long lValue;        // numbers
    LPCWSTR lpszValue;  // texts and dates ("YYYY-MM-DD HH:MM:SS"); empty: no value
};

// Null when the option has no default. Names compare without regard to case.
const QvOptionDefault* QvFindOptionDefault(long lArea, LPCWSTR lpszName);
