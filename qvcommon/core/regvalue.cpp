#include "qvregvalue.h"

#include <vector>

namespace {

// Opens the key for reading; null when it is not there.
HKEY OpenForRead(HKEY hive, LPCWSTR key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(hive, key ? key : L"", 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return nullptr;
    return h;
}

BOOL ReadDword(HKEY hive, LPCWSTR key, LPCWSTR name, DWORD& out) {
    HKEY h = OpenForRead(hive, key);
    if (!h) return FALSE;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    const LONG rc = RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return FALSE;
    out = value;
    return TRUE;
}

BOOL Write(HKEY hive, LPCWSTR key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(hive, key ? key : L"", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &h,
                        nullptr) != ERROR_SUCCESS) {
        return FALSE;
    }
    const LONG rc = RegSetValueExW(h, name, 0, type, data, size);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

}  // namespace

BOOL CQvRegistry::GetValue(LPCWSTR lpszKey, LPCWSTR lpszName, long& lValue, HKEY hHive) {
    DWORD dw = 0;
    if (!ReadDword(hHive, lpszKey, lpszName, dw)) return FALSE;
    lValue = static_cast<LONG>(dw);
    return TRUE;
}

BOOL CQvRegistry::GetValue(LPCWSTR lpszKey, LPCWSTR lpszName, DWORD& dwValue, HKEY hHive) {
    return ReadDword(hHive, lpszKey, lpszName, dwValue);
}

BOOL CQvRegistry::GetValue(LPCWSTR lpszKey, LPCWSTR lpszName, CString& strValue, HKEY hHive) {
    HKEY h = OpenForRead(hHive, lpszKey);
    if (!h) return FALSE;
    DWORD type = 0;
    DWORD size = 0;
    LONG rc = RegQueryValueExW(h, lpszName, nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        RegCloseKey(h);
        return FALSE;
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    rc = RegQueryValueExW(h, lpszName, nullptr, &type, reinterpret_cast<LPBYTE>(buffer.data()), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS) return FALSE;
    buffer.back() = L'\0';
    strValue = buffer.data();
    return TRUE;
}

BOOL CQvRegistry::SetValue(LPCWSTR lpszKey, LPCWSTR lpszName, long lValue, HKEY hHive) {
    return SetValue(lpszKey, lpszName, static_cast<DWORD>(static_cast<LONG>(lValue)), hHive);
}

BOOL CQvRegistry::SetValue(LPCWSTR lpszKey, LPCWSTR lpszName, DWORD dwValue, HKEY hHive) {
    return Write(hHive, lpszKey, lpszName, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof dwValue);
}

BOOL CQvRegistry::SetValue(LPCWSTR lpszKey, LPCWSTR lpszName, const CString& strValue, HKEY hHive) {
    return Write(hHive, lpszKey, lpszName, REG_SZ, reinterpret_cast<const BYTE*>(strValue.GetString()),
                 static_cast<DWORD>((strValue.GetLength() + 1) * sizeof(wchar_t)));
}
