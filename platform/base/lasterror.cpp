#include "lasterror.h"
#include <cerrno>
#include <string>

namespace {
thread_local DWORD t_lastError = 0;
}

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD code) { t_lastError = code; }

namespace qv {

std::wstring SystemErrorText(DWORD code) {
    if ((code & 0xFFFF0000u) == 0x80070000u) code &= 0xFFFFu;
    switch (code) {
    case ERROR_SUCCESS: return L"The operation completed successfully.";
    case ERROR_INVALID_FUNCTION: return L"Incorrect function.";
    case ERROR_FILE_NOT_FOUND: return L"The system cannot find the file specified.";
    case ERROR_PATH_NOT_FOUND: return L"The system cannot find the path specified.";
    case ERROR_ACCESS_DENIED: return L"Access is denied.";
    case ERROR_INVALID_HANDLE: return L"The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY: return L"Not enough memory resources are available to process this command.";
    case ERROR_INVALID_DATA: return L"The data is invalid.";
    case ERROR_OUTOFMEMORY: return L"Not enough memory resources are available to complete this operation.";
    case ERROR_NOT_SUPPORTED: return L"The request is not supported.";
    case ERROR_INVALID_PARAMETER: return L"The parameter is incorrect.";
    case ERROR_INSUFFICIENT_BUFFER: return L"The data area passed to a system call is too small.";
    case ERROR_INVALID_NAME: return L"The filename, directory name, or volume label syntax is incorrect.";
    case ERROR_BAD_ARGUMENTS: return L"One or more arguments are not correct.";
    case ERROR_ALREADY_EXISTS: return L"Cannot create a file when that file already exists.";
    case ERROR_MORE_DATA: return L"More data is available.";
    case ERROR_NO_MORE_ITEMS: return L"No more data is available.";
    case ERROR_NOT_OWNER: return L"Attempt to release mutex not owned by caller.";
    case ERROR_BADKEY: return L"The configuration registry key is invalid.";
    case ERROR_CANTOPEN: return L"The configuration registry key could not be opened.";
    case ERROR_CANTREAD: return L"The configuration registry key could not be read.";
    case ERROR_CANTWRITE: return L"The configuration registry key could not be written.";
    case ERROR_KEY_DELETED: return L"Illegal operation attempted on a registry key that has been marked for deletion.";
    case ERROR_TIMEOUT: return L"This operation returned because the timeout period expired.";
    case ERROR_RESOURCE_TYPE_NOT_FOUND: return L"The specified resource type cannot be found in the image file.";
    case ERROR_RESOURCE_NAME_NOT_FOUND: return L"The specified resource name cannot be found in the image file.";
    default: return L"Error " + std::to_wstring(code);
    }
}

DWORD Win32ErrorFromErrno(int err) {
    switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENAMETOOLONG: return ERROR_INVALID_NAME;
    case ETIMEDOUT: return ERROR_TIMEOUT;
    case ENOSYS:
    case ENOTSUP: return ERROR_NOT_SUPPORTED;
    default: return ERROR_INVALID_FUNCTION;
    }
}

}  // namespace qv
