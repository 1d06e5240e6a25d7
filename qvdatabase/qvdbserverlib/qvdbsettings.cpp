#include "qvdbsettings.h"
#include "qvregvalue.h"

namespace {

long Read(const CString& profile, LPCWSTR name, long lDefault) {
    long value = lDefault;
    CQvRegistry::GetValue(QvDBGetProfileKey(profile), name, value, HKEY_CURRENT_USER);
    return value;
}

}  // namespace

CString QvDBGetProfileKey(const CString& strProfile) {
    if (strProfile.Find(L"QvInternalDBProfile_") == 0) return CString(QVDB_BASE_KEY);
    CString key;
    key.Format(L"%s\\%s", QVDB_BASE_KEY, strProfile);
    return key;
}

long QvDBGetDefaultCommandTimeout(const CString& strProfile, long lKind) {
    if (lKind == 2) {
        const long lLong = Read(strProfile, L"DefaultLongCommandTimeout [s]", 600);
        return lLong == 0 ? 600 : lLong;
    }
    const long lTimeout = lKind == 1 ? Read(strProfile, L"DefaultMidCommandTimeout [s]", 180)
                                     : Read(strProfile, L"DefaultCommandTimeout [s]", 30);
    return lTimeout == 0 ? QvDBGetDefaultCommandTimeout(strProfile, 2) : lTimeout;
}

long QvDBGetDefaultCursorLocation(const CString& strProfile) { return Read(strProfile, L"DefaultCursorLocation", 3); }
long QvDBGetDefaultCursorType(const CString& strProfile) { return Read(strProfile, L"DefaultCursorType", 3); }
long QvDBGetDefaultLockType(const CString& strProfile) { return Read(strProfile, L"DefaultLockType", 3); }
long QvDBGetDefaultExecuteRetry(const CString& strProfile) { return Read(strProfile, L"DefaultExecuteRetry", 3); }
