#pragma once
// The suite's logic server: the person queries that several lists share.
#include "oleauto.h"
#include "qvcom.h"

struct INQLogicServer : IUnknown {
    // The person's current rank: its id (-1 none), full name, short name (the female form for a
    // woman where the rank has one), order number (0 without rank) and whether the person exists.
    // The date is the day the rank is asked for; 0.0 asks for the current rank, which is all the
    // suite keeps.
    virtual HRESULT GetPersonDienstgrad(long lPersonID, DATE dtDate, long* plGradID, BSTR* pbstrBezeichnung,
                                        BSTR* pbstrDienstgrad, long* plRang, long* plFound) = 0;  // 3
};

inline constexpr IID IID_INQLogicServer = qv::MakeGuid("2C64DA50-CA19-11D1-BDDE-00A024772D03");
inline constexpr CLSID CLSID_NQLogicServer = qv::MakeGuid("6E3C1F4A-8B27-4D59-A1C3-5F0B9D2E7A61");
#define NQ_LOGICSERVER_PROGID L"Qovaro.NQ2.DBServer"
