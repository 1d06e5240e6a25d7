#pragma once
// The client of the web server running in the host: a module registers its web extension there
// and hands its replies back through QvWebReply.
#include "cstring.h"
#include "unknwn.h"

// Registers the extension (asked for IQvWebExt) with the web server.
HRESULT QvWebRegister(IUnknown* pExtension);
// Unregisters it; S_OK at once when no web server runs.
HRESULT QvWebUnregister(IUnknown* pExtension);

// The reply of a web request: the text as UTF-16 units without a terminator in a buffer from the
// task allocator (the receiver frees it), *pSize in bytes. An empty text leaves both untouched.
// UTF-16 and not wchar_t, whose 4 bytes would not fit the size the receiver is told.
HRESULT QvWebReply(CString strText, char16_t** ppBuffer, DWORD* pSize);
// The same into the out arguments of IQvWebExt::Request.
HRESULT QvWebReply(CString strText, void** ppBuffer, long* pSize);
