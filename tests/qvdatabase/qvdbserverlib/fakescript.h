#pragma once
// How the fake recordset asks the test's connection what a query does: the connection answers
// from its script (result, errors, time taken).
#include "adoint.h"

struct IFakeScript : IUnknown {
    virtual HRESULT RunQuery(BSTR bstrStatement) = 0;
};

inline constexpr IID IID_IFakeScript = qv::MakeGuid("3B0C7E2A-51D4-4F7B-9E63-0A8C2D4E6F10");
