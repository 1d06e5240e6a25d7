#pragma once
// CQvRegistry: one value under a key of a hive. Reads report TRUE when the value was there with a
// fitting type; otherwise the out value keeps what the caller put in it, which is the default.
#include "cstring.h"
#include "qvregistry.h"

class CQvRegistry {
public:
    // A DWORD value; its 32 bits are taken as a signed long.
    static BOOL GetValue(LPCWSTR lpszKey, LPCWSTR lpszName, long& lValue, HKEY hHive = HKEY_CURRENT_USER);
    static BOOL GetValue(LPCWSTR lpszKey, LPCWSTR lpszName, DWORD& dwValue, HKEY hHive = HKEY_CURRENT_USER);
    // A string value (REG_SZ or REG_EXPAND_SZ, not expanded).
    static BOOL GetValue(LPCWSTR lpszKey, LPCWSTR lpszName, CString& strValue, HKEY hHive = HKEY_CURRENT_USER);

    // Creates the key when needed. TRUE when written.
    static BOOL SetValue(LPCWSTR lpszKey, LPCWSTR lpszName, long lValue, HKEY hHive = HKEY_CURRENT_USER);
    static BOOL SetValue(LPCWSTR lpszKey, LPCWSTR lpszName, int nValue, HKEY hHive = HKEY_CURRENT_USER) {
        return SetValue(lpszKey, lpszName, static_cast<long>(nValue), hHive);
    }
    static BOOL SetValue(LPCWSTR lpszKey, LPCWSTR lpszName, DWORD dwValue, HKEY hHive = HKEY_CURRENT_USER);
    static BOOL SetValue(LPCWSTR lpszKey, LPCWSTR lpszName, const CString& strValue, HKEY hHive = HKEY_CURRENT_USER);
    static BOOL SetValue(LPCWSTR lpszKey, LPCWSTR lpszName, LPCWSTR lpszValue, HKEY hHive = HKEY_CURRENT_USER) {
        return SetValue(lpszKey, lpszName, CString(lpszValue), hHive);
    }
};
