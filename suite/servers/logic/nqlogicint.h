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

// The short rank name shown for a person: the female form for a woman where the rank has one.
// Lists that read many persons' ranks in their own statement show them by the same rule.
inline const wchar_t* NQ_DienstgradKurz(bool bWeiblich, const wchar_t* pszKurz, const wchar_t* pszKurzF) {
    return bWeiblich && pszKurzF && *pszKurzF ? pszKurzF : (pszKurz ? pszKurz : L"");
}

inline constexpr IID IID_INQLogicServer = qv::MakeGuid("2C64DA50-CA19-11D1-BDDE-00A024772D03");
inline constexpr CLSID CLSID_NQLogicServer = qv::MakeGuid("6E3C1F4A-8B27-4D59-A1C3-5F0B9D2E7A61");
#define NQ_LOGICSERVER_PROGID L"Qovaro.NQ2.DBServer"

// The pay of a person: the values of a pay rate and the deductions of a period.
struct INQSold : IUnknown {
    // Pay per unit, pay supplement, income per unit and income supplement of the rate for the
    // person, the quantity and the start date. A rate that does not exist gives zeros.
    virtual HRESULT GetSoldansatzValues(long lSoldansatzID, double dblAnzahl, long lPersonID, DATE dtVon,
                                        CY* pcurSoldansatz, CY* pcurZuschlag, CY* pcurErtragansatz,
                                        CY* pcurErtragzuschlag) = 0;  // 3
    // What is deducted from the person's pay of the rate within the period.
    virtual HRESULT GetSoldDeduction(DATE dtVon, DATE dtBis, long lSoldansatzID, long lPersonID, CY* pcurAbzug) = 0;  // 4
};

inline constexpr IID IID_INQSold = qv::MakeGuid("171032F0-D549-11D1-BDEA-00A024772D03");
