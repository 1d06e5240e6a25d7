#pragma once
// Texts of result codes and the HRESULT trace every module writes for a failed call:
// "<source>(<line>) : hr=0x<hr>, dwErr=<last error>" to the debugger output, also kept in the
// process's error list. The trace leaves the thread's last error as it found it.
#include "cstring.h"
#include "qvtypes.h"
#include <vector>

// The text of a result code; "Unknown error 0x%08X" for codes without one.
CString CrackHR(HRESULT hr);

// Writes the trace line and adds it to the error list; returns hr, so a caller can write
// `return QvAddHRErrorFile(L"module", __LINE__, hr);`.
HRESULT QvAddHRErrorFile(LPCWSTR lpszFile, long lLine, HRESULT hr);
HRESULT QvAddHRErrorFile(LPCSTR lpszFile, long lLine, HRESULT hr);

// Traces hr with the calling line under the given source name.
#define QV_TRACEHR(source, hr) QvAddHRErrorFile(source, __LINE__, (hr))

struct QvHRError {
    CString strFile;
    long lLine = 0;
    HRESULT hr = S_OK;
    DWORD dwLastError = 0;
};

// The most recent traces, oldest first (at most kQvHRErrorCapacity).
constexpr std::size_t kQvHRErrorCapacity = 1000;
std::vector<QvHRError> QvGetHRErrorList();
void QvClearHRErrorList();
