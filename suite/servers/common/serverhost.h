#pragma once
// Running a suite server in this process the way the host frame does: created by ProgID, taken
// through Init and UpAndRunning, and offered in the running-server table under its ProgID, where
// QueryCOMServer finds it. Stopping takes it through Close and ReleaseServers and withdraws it.
#include "qvcom.h"

namespace qv::servers {

// The server must be registered (its DllRegisterServer). ppServer (may be null) gets its
// IUnknown with a reference.
HRESULT StartRunningServer(LPCWSTR lpszProgID, BOOL bConnectToFrame = FALSE, IUnknown** ppServer = nullptr);
// S_FALSE when no server of that ProgID runs.
HRESULT StopRunningServer(LPCWSTR lpszProgID);

}  // namespace qv::servers
