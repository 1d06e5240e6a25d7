#pragma once
// The option server "Qovaro.NQ2.OptionServer": named option values in numbered areas.
#include "oleauto.h"
#include "qvcom.h"

#define QVOPTIONSERVER_PROGID L"Qovaro.NQ2.OptionServer"

struct IOptionServer : IUnknown {
    // The option's value: VT_I4 for numbers, VT_BSTR for texts and dates ("YYYY-MM-DD HH:MM:SS").
    // S_FALSE with an empty VARIANT when the option has no value.
    virtual HRESULT GetOption(long lArea, BSTR bstrName, long lScope, long lLookup, VARIANT* pValue) = 0;  // 3
    virtual HRESULT SetOption(long lArea, BSTR bstrName, long lLookup, VARIANT value) = 0;                 // 4
};

inline constexpr IID IID_IOptionServer = qv::MakeGuid("19C18B87-667D-4F57-9698-54F8E86C8C0A");
inline constexpr CLSID CLSID_OptionServer = qv::MakeGuid("5FF7D848-63FA-4B5B-8FF1-C33530AC0CD4");
