#pragma once
// The suite's web server: an HTTP server on the loopback interface that hands each request to the
// registered web extensions of the modules.
#include "qvcom.h"
#include "oleauto.h"

// A module's web extension. Request: the command is the request path without its leading '/',
// names and values the query parameters in order (decoded), method the HTTP method and body the
// request body. S_OK with the reply (UTF-16 units without terminator from the task allocator,
// *replySize in bytes; an empty reply leaves both untouched), S_FALSE when the command is meant
// for another module.
struct IQvWebExt : IUnknown {
    virtual HRESULT Request(BSTR command, long count, BSTR* names, BSTR* values, BSTR method, BSTR body,
                            long* replySize, void** replyBuffer) = 0;
    virtual HRESULT GetDescription(BSTR* text) = 0;
};

struct IQvWebServer : IUnknown {
    // The extension is asked for IQvWebExt; E_NOINTERFACE when it has none. Registering one twice
    // keeps one registration.
    virtual HRESULT Register(IUnknown* extension) = 0;
    // S_FALSE when the extension was not registered.
    virtual HRESULT Unregister(IUnknown* extension) = 0;
    // The port the server listens on; E_FAIL when it does not listen.
    virtual HRESULT GetPort(long* port) = 0;
};

inline constexpr IID IID_IQvWebExt = qv::MakeGuid("C83ED9BC-32F2-4DB6-AC31-7A31808AFD3B");
inline constexpr IID IID_IQvWebServer = qv::MakeGuid("2EDFDEC5-8464-4C80-B13B-2E872486C719");
inline constexpr CLSID CLSID_QvWebServer = qv::MakeGuid("129C78ED-CA94-4790-94B0-9F0C014B9828");
#define QV_WEBSERVER_PROGID L"Qovaro.QvWebServer"
