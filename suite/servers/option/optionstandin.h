#pragma once
// The option server "Qovaro.NQ2.OptionServer". Options live in the table QvOption of the suite's
// database (profile "Qovaro.NQ2"), one row per area, name and owner: the installation (user 0) or
// one user. An option that was never set has the value of its default.
//
// Reads: scope -1 (the list filters) takes the signed-in user's own value first, then the
// installation's; any other scope only the installation's. Writes: lookup flag 0 sets the
// installation's value (the settings pages), any other the signed-in user's own.
// Numbers come back as VT_I4, texts and dates ("YYYY-MM-DD HH:MM:SS") as VT_BSTR; an option
// without a value answers S_FALSE with an empty VARIANT.
#include "optionserverint.h"
#include "serverbase.h"

class CQvOptionServer : public CQvStandInServer {
    DECLARE_DYNCREATE(CQvOptionServer)
public:
    CQvOptionServer();

protected:
    const CLSID& GetServerClassID() const override { return CLSID_OptionServer; }
    LPCWSTR GetServerProgID() const override { return QVOPTIONSERVER_PROGID; }

    BEGIN_INTERFACE_PART(OptionServer, IOptionServer)
        HRESULT GetOption(long lArea, BSTR bstrName, long lScope, long lLookup, VARIANT* pValue) override;
        HRESULT SetOption(long lArea, BSTR bstrName, long lLookup, VARIANT value) override;
    END_INTERFACE_PART(OptionServer)

    DECLARE_INTERFACE_MAP()
};
