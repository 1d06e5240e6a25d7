#include "qvflanguage.h"
#include "qvfmodule.h"
#include "qvregistry.h"
#include "strtable.h"
#include "trace.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cwchar>
#include <dlfcn.h>

namespace {

void TraceFormat(LPCWSTR lpszFormat, const CString& strArg) {
    CString line;
    line.Format(lpszFormat, strArg);
    OutputDebugStringW(line);
}

HINSTANCE LoadLanguageLibrary(const CString& strPath) {
    void* handle = dlopen(strPath.ToUtf8().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return nullptr;
    auto hLibrary = static_cast<HINSTANCE>(handle);
    if (auto registerFn =
            reinterpret_cast<QVREGISTERLANGUAGERESOURCES>(dlsym(handle, QV_LANGUAGE_REGISTER_FUNCTION)))
        registerFn(hLibrary);
    return hLibrary;
}

}  // namespace

void QvLoadLanguageRessourceDll(CString strOwnLanguage, HINSTANCE* phLibrary) {
    if (!phLibrary) return;
    CString strList = L"DE";
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Qovaro\\QvCommon", 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
        wchar_t szList[100] = {};
        DWORD dwSize = sizeof szList;
        DWORD dwType = 0;
        if (RegQueryValueExW(hKey, L"ActSysLanguage", nullptr, &dwType, reinterpret_cast<LPBYTE>(szList), &dwSize) ==
                ERROR_SUCCESS &&
            (dwType == REG_SZ || dwType == REG_EXPAND_SZ))
            strList = CString(szList, int(wcsnlen(szList, 100)));
        RegCloseKey(hKey);
    } else {
        OutputDebugStringW(L"ERROR at load Resource DLL can not open Regkey HKCU.. QvCommon\n");
    }

    CString strPath = QvFGetModuleFileName();
    if (strPath.Find(L'~', 1) >= 0) {
        char resolved[PATH_MAX];
        if (realpath(strPath.ToUtf8().c_str(), resolved)) {
            strPath = CString(resolved);
        } else {
            CString line;
            line.Format(L"ERROR at load Resource DLL: GetLongPathName() returned: %u\n", unsigned(errno));
            OutputDebugStringW(line);
        }
    }
    CString strDrive, strDir, strName, strExt;
    QvFSplitPath(strPath, &strDrive, &strDir, &strName, &strExt);

    int nPos = 0;
    for (CString strToken = strList.Tokenize(L" ", nPos); nPos >= 0 && !*phLibrary;
         strToken = strList.Tokenize(L" ", nPos)) {
        strToken.Trim();
        if (strToken.IsEmpty() || strName.IsEmpty()) continue;
        CString strFile;
        strFile.Format(L"%s%s%s.%s", strDrive, strDir, strName, strToken);
        if (strToken.CompareNoCase(strOwnLanguage) == 0) {
            TraceFormat(L"Load Resource DLL '%s' is not needed\n", strFile);
            continue;
        }
        if (HINSTANCE hLibrary = LoadLanguageLibrary(strFile)) {
            *phLibrary = hLibrary;
            QvFSetModuleResourceHandle(hLibrary);
            TraceFormat(L"Resource DLL '%s' loaded\n", strFile);
            break;
        }
        TraceFormat(L"Resource DLL '%s' not available\n", strFile);
        if (strToken.GetLength() > 2) {
            strFile.Format(L"%s%s%s.%s", strDrive, strDir, strName, strToken.Left(2));
            if (HINSTANCE hLibrary = LoadLanguageLibrary(strFile)) {
                *phLibrary = hLibrary;
                QvFSetModuleResourceHandle(hLibrary);
                TraceFormat(L"Resource DLL '%s' loaded\n", strFile);
                break;
            }
            TraceFormat(L"Resource DLL '%s' not available\n", strFile);
        }
    }
}

void QvFreeLanguageRessourceDll(HINSTANCE hLibrary) {
    if (!hLibrary) return;
    qv::UnregisterStringTable(hLibrary);
    dlclose(hLibrary);
}
