#pragma once
// The running-server table: the host registers the servers it runs under their ProgIDs, and
// code in any module of the process looks them up by ProgID and interface. ProgIDs compare
// without regard to case, as in the registry. Thread-safe.
#include "qvcom.h"

namespace qv {
// Holds a reference on the server until it is revoked; a second registration under the same
// ProgID replaces (and releases) the first. E_INVALIDARG for a null or empty ProgID or server.
HRESULT RegisterRunningServer(LPCWSTR progId, IUnknown* server);
// S_OK when a server was removed, S_FALSE when none was registered.
HRESULT RevokeRunningServer(LPCWSTR progId);
// Releases every registered server.
void RevokeAllRunningServers();
// The server's interface iid, with a reference: E_FAIL when no server runs under that ProgID,
// otherwise the answer of its QueryInterface (E_NOINTERFACE).
HRESULT QueryRunningServer(LPCWSTR progId, REFIID iid, void** ppv);
}  // namespace qv
