#include "qvhrtrace.h"
#include "lasterror.h"
#include "trace.h"
#include "utf.h"

#include <deque>
#include <mutex>

namespace {

struct HRText {
    HRESULT hr;
    const wchar_t* text;
};

// SELFREG_E_* share their numbers with two CONNECT_E_* codes; the registration texts win.
const HRText kTexts[] = {
    {S_OK, L"The operation completed successfully."},
    {S_FALSE, L"The operation completed without result."},
    {E_NOTIMPL, L"Not implemented."},
    {E_NOINTERFACE, L"No such interface supported."},
    {E_POINTER, L"Invalid pointer."},
    {E_ABORT, L"Operation aborted."},
    {E_FAIL, L"Unspecified error."},
    {E_UNEXPECTED, L"Catastrophic failure."},
    {E_ACCESSDENIED, L"Access is denied."},
    {E_HANDLE, L"Invalid handle."},
    {E_OUTOFMEMORY, L"Not enough memory to complete this operation."},
    {E_INVALIDARG, L"One or more arguments are invalid."},
    {CLASS_E_NOAGGREGATION, L"Class does not support aggregation."},
    {CLASS_E_CLASSNOTAVAILABLE, L"The class factory cannot supply the requested class."},
    {SELFREG_E_CLASS, L"The server could not register or unregister its classes."},
    {SELFREG_E_TYPELIB, L"The server could not register or unregister its type library."},
    {REGDB_E_CLASSNOTREG, L"Class not registered."},
    {REGDB_E_READREGDB, L"Could not read key from registry."},
    {REGDB_E_WRITEREGDB, L"Could not write key to registry."},
    {CO_E_CLASSSTRING, L"Invalid class string."},
    {CO_E_NOTINITIALIZED, L"The component runtime has not been initialized."},
    {CO_E_DLLNOTFOUND, L"The server library could not be found."},
    {CO_E_ERRORINDLL, L"The server library could not be loaded."},
    {DISP_E_TYPEMISMATCH, L"Type mismatch."},
    {DISP_E_OVERFLOW, L"Out of present range."},
    {DISP_E_BADVARTYPE, L"Bad variable type."},
    {DISP_E_PARAMNOTFOUND, L"Parameter not found."},
    {DISP_E_ARRAYISLOCKED, L"Memory is locked."},
    {DISP_E_BADINDEX, L"Invalid index."},
    {DB_E_ERRORSINCOMMAND, L"The command contained one or more errors."},
    {DB_E_INTEGRITYVIOLATION, L"A value violated the integrity constraints of a column or table."},
    {DB_E_ERRORSOCCURRED, L"Multiple-step operation generated errors; the requested properties cannot be supported."},
    {DB_E_ABORTLIMITREACHED, L"The command timed out."},
    {DB_E_NOTFOUND, L"No rows were found that match the bookmark."},
};

struct ErrorList {
    std::mutex lock;
    std::deque<QvHRError> entries;
};

ErrorList& Errors() {
    static ErrorList* list = new ErrorList;  // never destroyed: threads may trace during exit
    return *list;
}

}  // namespace

CString CrackHR(HRESULT hr) {
    for (const HRText& t : kTexts) {
        if (t.hr == hr) return CString(t.text);
    }
    // Win32 codes wrapped into a result: the system's own text, when it has one.
    const auto code = static_cast<std::uint32_t>(hr);
    if ((code & 0xFFFF0000u) == 0x80070000u) {
        const std::wstring text = qv::SystemErrorText(code & 0xFFFFu);
        if (text.rfind(L"Error ", 0) != 0) return CString(text);
    }
    CString s;
    s.Format(L"Unknown error 0x%08X", hr);
    return s;
}

HRESULT QvAddHRErrorFile(LPCWSTR lpszFile, long lLine, HRESULT hr) {
    const DWORD dwErr = GetLastError();
    QvHRError entry;
    entry.strFile = lpszFile ? lpszFile : L"";
    entry.lLine = lLine;
    entry.hr = hr;
    entry.dwLastError = dwErr;

    CString line;
    line.Format(L"%s(%d) : hr=0x%X, dwErr=%u\n", entry.strFile, lLine, hr, dwErr);
    OutputDebugStringW(line);
    {
        ErrorList& list = Errors();
        std::lock_guard g(list.lock);
        list.entries.push_back(std::move(entry));
        if (list.entries.size() > kQvHRErrorCapacity) list.entries.pop_front();
    }
    // The caller may still want the error of the call that failed.
    SetLastError(dwErr);
    return hr;
}

HRESULT QvAddHRErrorFile(LPCSTR lpszFile, long lLine, HRESULT hr) {
    const DWORD dwErr = GetLastError();
    const std::wstring file = qv::FromUtf8(lpszFile ? lpszFile : "");
    SetLastError(dwErr);
    return QvAddHRErrorFile(file.c_str(), lLine, hr);
}

std::vector<QvHRError> QvGetHRErrorList() {
    ErrorList& list = Errors();
    std::lock_guard g(list.lock);
    return {list.entries.begin(), list.entries.end()};
}

void QvClearHRErrorList() {
    ErrorList& list = Errors();
    std::lock_guard g(list.lock);
    list.entries.clear();
}
