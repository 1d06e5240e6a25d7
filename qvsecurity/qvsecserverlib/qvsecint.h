#pragma once
// The security server "Qovaro.QvSecServer": the logged-in user and his rights, 32-bit masks per
// function (a GUID naming a protected feature) and per object (a GUID and a key text).
#include "qvcom.h"

#define QVSECSERVER_PROGID L"Qovaro.QvSecServer"

struct IQvSecServer : IUnknown {
    // The user's rights on a function (bstrKey null or empty) or on an object and key. The mask is
    // a signed 32-bit value: masks with the top bit set are negative.
    virtual HRESULT GetRights(GUID guid, BSTR bstrKey, long* plRights) = 0;  // 3
    // Not called by the modules; the server answers E_NOTIMPL.
    virtual HRESULT Reserved4() = 0;  // 4
    virtual HRESULT Reserved5() = 0;  // 5
    virtual HRESULT Reserved6() = 0;  // 6
    // The rights dialog of an object, and of an object with a key.
    virtual HRESULT ShowRightDlg(GUID guidObject, long lFlag) = 0;                  // 7
    virtual HRESULT ShowSetRightDlg(GUID guidObject, BSTR bstrKey, long lFlag) = 0;  // 8
};

struct IQvSecUser : IUnknown {
    // Signs a user in: his name, his user id text or his number. The host frame calls it with the
    // user of its command line.
    virtual HRESULT Logon(BSTR bstrUser) = 0;  // 3
    // Not called by the modules; the server answers E_NOTIMPL.
    virtual HRESULT Reserved4() = 0;  // 4
    virtual HRESULT Reserved5() = 0;  // 5
    virtual HRESULT Reserved6() = 0;  // 6
    virtual HRESULT Reserved7() = 0;  // 7
    virtual HRESULT Reserved8() = 0;  // 8
    virtual HRESULT Reserved9() = 0;  // 9
    // The logged-in user: his name, his user id text and his number (lQvSecUserID).
    virtual HRESULT GetUser(BSTR* pbstrName, BSTR* pbstrUserID, long* plUserID) = 0;  // 10
};

struct IQvSecAdmin : IUnknown {
    // Registers an object (key, parent key, function, display name) and grants the logged-in user
    // the mask on it.
    virtual HRESULT SetRights(BSTR bstrObjectKey, BSTR bstrKey2, GUID guidFunction, BSTR bstrName, long lMask) = 0;  // 3
};

inline constexpr IID IID_IQvSecServer = qv::MakeGuid("C9461CB5-B2AA-468F-8208-695731BDEE19");
inline constexpr IID IID_IQvSecUser = qv::MakeGuid("AD2ED3F0-7EBC-477D-B09E-CA6A8F03CC94");
inline constexpr IID IID_IQvSecAdmin = qv::MakeGuid("29D7BA9F-8CF5-49F7-9C71-37C9EB957842");
inline constexpr CLSID CLSID_QvSecServer = qv::MakeGuid("7A141FC7-90B2-421C-B600-9A8DA99EC01B");
