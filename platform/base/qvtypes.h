#pragma once
// The scalar types and result codes of the Windows-shaped API the system is written against.
// Widths are those of Win32: LONG, HRESULT and DWORD are 32 bits wide on every platform.
#include <cstdint>
#include <cstddef>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using INT = int;
using BOOL = int;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using HRESULT = std::int32_t;
using WCHAR = wchar_t;
using LPWSTR = wchar_t*;
using LPCWSTR = const wchar_t*;
using LPTSTR = wchar_t*;
using LPCTSTR = const wchar_t*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using DATE = double;
using VARIANT_BOOL = std::int16_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

constexpr HRESULT MAKE_HR(std::uint32_t v) { return static_cast<HRESULT>(v); }

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define HRESULT_FROM_WIN32(x) \
    (static_cast<HRESULT>(x) <= 0 ? static_cast<HRESULT>(x) \
                                  : MAKE_HR((static_cast<std::uint32_t>(x) & 0x0000FFFFu) | 0x80070000u))

// Success codes
#define S_OK MAKE_HR(0x00000000u)
#define S_FALSE MAKE_HR(0x00000001u)
#define NOERROR S_OK

// Generic failures
#define E_NOTIMPL MAKE_HR(0x80004001u)
#define E_NOINTERFACE MAKE_HR(0x80004002u)
#define E_POINTER MAKE_HR(0x80004003u)
#define E_ABORT MAKE_HR(0x80004004u)
#define E_FAIL MAKE_HR(0x80004005u)
#define E_UNEXPECTED MAKE_HR(0x8000FFFFu)
#define E_ACCESSDENIED MAKE_HR(0x80070005u)
#define E_HANDLE MAKE_HR(0x80070006u)
#define E_OUTOFMEMORY MAKE_HR(0x8007000Eu)
#define E_INVALIDARG MAKE_HR(0x80070057u)

// COM class and registration failures
#define CLASS_E_NOAGGREGATION MAKE_HR(0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE MAKE_HR(0x80040111u)
#define SELFREG_E_CLASS MAKE_HR(0x80040201u)
#define SELFREG_E_TYPELIB MAKE_HR(0x80040200u)
#define REGDB_E_CLASSNOTREG MAKE_HR(0x80040154u)
#define REGDB_E_READREGDB MAKE_HR(0x80040150u)
#define REGDB_E_WRITEREGDB MAKE_HR(0x80040151u)
#define CO_E_CLASSSTRING MAKE_HR(0x800401F3u)
#define CO_E_NOTINITIALIZED MAKE_HR(0x800401F0u)
#define CO_E_DLLNOTFOUND MAKE_HR(0x800401F8u)
#define CO_E_ERRORINDLL MAKE_HR(0x800401F9u)
#define CONNECT_E_NOCONNECTION MAKE_HR(0x80040200u)
#define CONNECT_E_ADVISELIMIT MAKE_HR(0x80040201u)
#define CONNECT_E_CANNOTCONNECT MAKE_HR(0x80040202u)
#define CONNECT_E_NOSUCHINTERFACE CONNECT_E_CANNOTCONNECT
#define DISP_E_TYPEMISMATCH MAKE_HR(0x80020005u)
#define DISP_E_OVERFLOW MAKE_HR(0x8002000Au)
#define DISP_E_BADVARTYPE MAKE_HR(0x80020008u)
#define DISP_E_PARAMNOTFOUND MAKE_HR(0x80020004u)

// ADO / OLE DB
#define DB_E_ERRORSINCOMMAND MAKE_HR(0x80040E14u)
#define DB_E_INTEGRITYVIOLATION MAKE_HR(0x80040E2Fu)
#define DB_E_ERRORSOCCURRED MAKE_HR(0x80040E21u)
#define DB_E_ABORTLIMITREACHED MAKE_HR(0x80040E31u)
#define DB_E_NOTFOUND MAKE_HR(0x80040E19u)

// Win32 error codes (GetLastError, registry results)
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_TIMEOUT 1460L
#define ERROR_CANTOPEN 1011L
#define ERROR_CANTREAD 1012L
#define ERROR_CANTWRITE 1013L
#define ERROR_KEY_DELETED 1018L
#define ERROR_BADKEY 1010L
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define INFINITE 0xFFFFFFFFu

// Handles. Kernel objects (events, mutexes, threads) are numbered handles, never raw pointers, so a
// stale or closed handle is reported as ERROR_INVALID_HANDLE instead of crashing.
using HANDLE = void*;
using LPHANDLE = HANDLE*;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;

using LPDWORD = DWORD*;
using PVOID = void*;
using LONG64 = std::int64_t;
using ULONG64 = std::uint64_t;
using DWORD_PTR = std::uintptr_t;
using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using LCID = DWORD;
using SCODE = LONG;
using VARTYPE = std::uint16_t;
using OLECHAR = wchar_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;

struct SECURITY_ATTRIBUTES {
    DWORD nLength = sizeof(SECURITY_ATTRIBUTES);
    LPVOID lpSecurityDescriptor = nullptr;
    BOOL bInheritHandle = FALSE;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// More Win32 error codes
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_BAD_ARGUMENTS 160L
#define ERROR_NOT_OWNER 288L
#define ERROR_INVALID_NAME 123L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L

// More automation failures
#define DISP_E_ARRAYISLOCKED MAKE_HR(0x8002000Du)
#define DISP_E_BADINDEX MAKE_HR(0x8002000Bu)

// Waits and threads
#define WAIT_ABANDONED_0 WAIT_ABANDONED
#define MAXIMUM_WAIT_OBJECTS 64
#define STILL_ACTIVE 0x00000103u
#define CREATE_SUSPENDED 0x00000004u
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
