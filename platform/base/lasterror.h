#pragma once
// The calling thread's last error, as Win32 keeps it.
#include "qvtypes.h"
#include <string>

DWORD GetLastError();
void SetLastError(DWORD code);

namespace qv {
// A short English text for a Win32 error code (an HRESULT wrapping one is unwrapped), or
// "Error <n>" for codes without one.
std::wstring SystemErrorText(DWORD code);
// The Win32 code for an errno value, for the layers that call the C library.
DWORD Win32ErrorFromErrno(int err);
}  // namespace qv
