#pragma once
// The life cycle the host frame drives in every server and module (slots 3 to 20), and the
// frame's server list.
#include "qvcom.h"

// Once-only steps (CanLoad, Init, UpAndRunning, AsyncInit, Close, ReleaseServers) answer S_FALSE
// when called again; CanLoad answers E_FAIL once Init was called. A Close the user stopped (his
// view keeps an edit whose save was refused) answers HRESULT_FROM_WIN32(ERROR_CANCELLED), closes
// nothing and may be called again.
#ifndef ERROR_CANCELLED
#define ERROR_CANCELLED 1223L
#endif
struct IQvFInit : IUnknown {
    virtual HRESULT CanLoad() = 0;                                                   // 3
    virtual HRESULT Init(BOOL bConnectToFrame) = 0;                                  // 4
    virtual HRESULT UpAndRunning() = 0;                                              // 5
    virtual HRESULT AsyncInit() = 0;                                                 // 6
    virtual HRESULT OnHostNotify() = 0;                                              // 7
    virtual HRESULT Close() = 0;                                                     // 8
    virtual HRESULT ReleaseServers() = 0;                                            // 9
    virtual HRESULT OnApplySecurity() = 0;                                           // 10
    virtual HRESULT GetClassID(GUID* pClsid) = 0;                                    // 11
    virtual HRESULT GetProductVersion(WORD* pw1, WORD* pw2, WORD* pw3, WORD* pw4) = 0;  // 12
    virtual HRESULT GetProgID(BSTR* pbstrProgID) = 0;                                // 13
    virtual HRESULT CreateSetupPage(int nIndex, IUnknown** ppPage) = 0;              // 14
    virtual HRESULT GetServerGUID(BSTR* pbstrGUID) = 0;                              // 15
    virtual HRESULT SetKeepAlive(BOOL bKeepAlive) = 0;                               // 16
    // The server library's own file split into drive, directory, name and extension.
    virtual HRESULT GetModuleFile(BSTR* pbstrDrive, BSTR* pbstrDir, BSTR* pbstrName, BSTR* pbstrExt) = 0;  // 17
    virtual HRESULT put_ServerFlag(BOOL bServer) = 0;                                // 18
    virtual HRESULT get_ServerFlag(BOOL* pbServer) = 0;                              // 19
    virtual HRESULT GetBuildConfiguration(BSTR* pbstrBuild) = 0;                     // 20
};

// The frame's list of the servers it runs.
struct IQvFServerList : IUnknown {
    // Not called by the modules; a frame may answer E_NOTIMPL.
    virtual HRESULT Reserved() = 0;                              // 3
    // Releases the frame's server of that class.
    virtual HRESULT ReleaseServer(CLSID clsid) = 0;              // 4
    // S_OK when the frame offers a server of that class, S_FALSE when not.
    virtual HRESULT IsServerAvailable(CLSID clsid) = 0;          // 5
};

inline constexpr IID IID_IQvFInit = qv::MakeGuid("EF8BC617-A37E-11D1-BDB2-00A024772D03");
inline constexpr IID IID_IQvFServerList = qv::MakeGuid("EF8BC601-A37E-11D1-BDB2-00A024772D03");
