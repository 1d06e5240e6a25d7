#pragma once
// The error object of a failed call: a server that fails a call may leave the description of its
// failure for the calling thread (SetErrorInfo), which the caller takes once (GetErrorInfo). The
// object is made by the runtime (CreateErrorInfo), never in a server's own library, so that a
// description left behind outlives the server that wrote it.
#include "oleauto.h"
#include "qvcom.h"

struct IErrorInfo : IUnknown {
    virtual HRESULT GetGUID(GUID* pGUID) = 0;
    virtual HRESULT GetSource(BSTR* pBstrSource) = 0;
    virtual HRESULT GetDescription(BSTR* pBstrDescription) = 0;
    virtual HRESULT GetHelpFile(BSTR* pBstrHelpFile) = 0;
    virtual HRESULT GetHelpContext(DWORD* pdwHelpContext) = 0;
};

struct ICreateErrorInfo : IUnknown {
    virtual HRESULT SetGUID(REFGUID rguid) = 0;
    virtual HRESULT SetSource(LPOLESTR szSource) = 0;
    virtual HRESULT SetDescription(LPOLESTR szDescription) = 0;
    virtual HRESULT SetHelpFile(LPOLESTR szHelpFile) = 0;
    virtual HRESULT SetHelpContext(DWORD dwHelpContext) = 0;
};

inline constexpr IID IID_IErrorInfo = qv::MakeGuid("1CF2B120-547D-101B-8E65-08002B2BD119");
inline constexpr IID IID_ICreateErrorInfo = qv::MakeGuid("22F03340-547D-101B-8E65-08002B2BD119");

// A new, empty error object; QueryInterface gives its IErrorInfo.
HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);
// Puts the error object into this thread's slot (null empties it), releasing the one before;
// dwReserved is 0.
HRESULT SetErrorInfo(DWORD dwReserved, IErrorInfo* perrinfo);
// Takes the error object out of this thread's slot, which is then empty: S_FALSE and null when
// there is none.
HRESULT GetErrorInfo(DWORD dwReserved, IErrorInfo** pperrinfo);
