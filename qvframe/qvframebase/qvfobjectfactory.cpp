#include "qvfobjectfactory.h"
#include "qvregistry.h"
#include "utf.h"

#include <climits>
#include <cstdlib>

CString QvFFindLongPath(const CString& strPath) {
    char resolved[PATH_MAX];
    if (!realpath(strPath.ToUtf8().c_str(), resolved)) return strPath;
    return CString(resolved);
}

BOOL CQvFObjectFactory::UpdateRegistry(BOOL bRegister) {
    wchar_t szClsid[39] = {};
    StringFromGUID2(m_clsid, szClsid, 39);
    const CString strClsidKey = CString(L"CLSID\\") + szClsid;
    if (!bRegister) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, strClsidKey);
        if (!m_strProgID.empty()) RegDeleteTreeW(HKEY_CLASSES_ROOT, m_strProgID.c_str());
        return TRUE;
    }

    COleObjectFactory::UpdateRegistry(TRUE);
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, strClsidKey + L"\\InProcServer32", 0, KEY_READ | KEY_WRITE, &hKey) !=
        ERROR_SUCCESS)
        return TRUE;
    RegSetValueExW(hKey, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(m_strThreadingModel.GetString()),
                   DWORD((m_strThreadingModel.GetLength() + 1) * sizeof(wchar_t)));
    wchar_t szPath[260] = {};
    DWORD dwSize = sizeof szPath - sizeof(wchar_t);
    DWORD dwType = 0;
    if (RegQueryValueExW(hKey, nullptr, nullptr, &dwType, reinterpret_cast<LPBYTE>(szPath), &dwSize) == ERROR_SUCCESS &&
        dwType == REG_SZ) {
        const CString strPath(szPath);
        // A path that names the library by another name is written as the file finder reports it.
        if (strPath.Find(L'~', 1) >= 0) {
            const CString strLong = QvFFindLongPath(strPath);
            RegSetValueExW(hKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(strLong.GetString()),
                           DWORD((strLong.GetLength() + 1) * sizeof(wchar_t)));
        }
    }
    RegCloseKey(hKey);
    return TRUE;
}
