#pragma once
// The settings of a database profile, per user under HKCU "Software\Qovaro\QvDBServer\<profile>"
// (profiles named "QvInternalDBProfile_..." use "Software\Qovaro\QvDBServer" itself). Each
// reader starts from the default and takes the registry value when there is one. Values are read
// once per process and kept until the registry is written (by any process), so opening a
// connection costs no registry transactions.
#include "cstring.h"

#define QVDB_BASE_KEY L"Software\\Qovaro\\QvDBServer"

// A value under HKCU `strKey`, or the default when there is none; kept as described above.
long QvDBReadSetting(const CString& strKey, LPCWSTR lpszName, long lDefault);
CString QvDBReadSetting(const CString& strKey, LPCWSTR lpszName, const CString& strDefault);

// While one lives on the thread, the settings read look at the registry once, with the first
// read: the settings of one connection open (or of one lookup, its recordset included) come
// from one state of the registry, at the price of one look.
class QvDBSettingsScope {
public:
    QvDBSettingsScope();
    ~QvDBSettingsScope();
    QvDBSettingsScope(const QvDBSettingsScope&) = delete;
    QvDBSettingsScope& operator=(const QvDBSettingsScope&) = delete;
};

// Moves on whenever the registry was written since the last call; what was looked up in the
// registry before another generation may be stale. Inside a QvDBSettingsScope it looks at the
// registry only if no read of the scope has.
unsigned long QvDBRegistryGeneration();

// The registry key of a profile's settings.
CString QvDBGetProfileKey(const CString& strProfile);

// lKind 0 normal (30 s), 1 mid (180 s), 2 long (600 s), any other value normal. A normal or mid
// timeout of 0 means the long one; a long one of 0 means 600.
long QvDBGetDefaultCommandTimeout(const CString& strProfile, long lKind);
long QvDBGetDefaultCursorLocation(const CString& strProfile);  // 3 (client side)
long QvDBGetDefaultCursorType(const CString& strProfile);      // 3 (static)
long QvDBGetDefaultLockType(const CString& strProfile);        // 3 (optimistic)
// Whether the profile's database is a server's (PostgreSQL), not a file.
BOOL QvDBIsServerDatabase(const CString& strProfile);
long QvDBGetDefaultExecuteRetry(const CString& strProfile);    // 3 tries
