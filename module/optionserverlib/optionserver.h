#pragma once
// COptionServer: reads and writes options of the option server and converts its VARIANTs into
// the module's types. A small stack object around one or a few reads; it connects on first use.
//
// Every read carries a lookup flag and a scope number that go to the server unchanged (the
// callers pass 1 and 0, the course settings page 0, the list filters of area -4000 scope -1).
// The number readers write their result in every case, also after a failure: the value a caller
// preset is never a default, the server holds the defaults.
#include "cstring.h"
#include "oleauto.h"
#include "optionserverint.h"
#include "qvdatetime.h"
#include "qvobject.h"

class COptionServer : public CObject {
public:
    COptionServer();
    ~COptionServer() override;

    // Finds the host frame's option server; every later call tries again after a failure.
    long Connect();

    // The server's answer as it is. Without a server the VARIANT stays empty.
    long GetOption(long lArea, CString strName, VARIANT* pValue, long lLookup, long lScope);
    // Sends the value; the VARIANT is cleared afterwards.
    long SetOption(long lArea, CString strName, VARIANT value, long lLookup);

    // Quiet readers: the result, and the value through the pointer (a failure is traced only).
    long GetOption(long lArea, CString strName, BOOL* pbValue, long lLookup, long lScope);
    long GetOption(long lArea, CString strName, long* plValue, long lLookup, long lScope);
    long GetOption(long lArea, CString strName, DWORD* pdwValue, long lLookup, long lScope);
    // S_FALSE (no value) empties the text; a failure leaves it as it was.
    long GetOption(long lArea, CString strName, CString* pstrValue, long lLookup, long lScope);
    // An option without a date gives the null date.
    long GetOption(long lArea, CString strName, CQvDateTime* pdtValue, long lLookup, long lScope);

    // Reporting readers for BOOL, long, CQvDateTime and CString: the value itself; a failure is
    // traced and shown to the user, and the value is then that of an empty answer.
    //     BOOL bConfirm = opt.GetOption<BOOL>(-1000, L"ConfirmSave", 1, 0);
    template <class T>
    T GetOption(long lArea, CString strName, long lLookup, long lScope);

    // The budget rounding step in currency units: option -1020 "RoundBudget" in hundredths.
    double GetRoundBudget();

    long SetOption(long lArea, CString strName, long lValue, long lLookup);
    long SetOption(long lArea, CString strName, CQvDateTime dtValue, long lLookup);

    IOptionServer* m_pServer = nullptr;

private:
    void ReportFailure(HRESULT hr, LPCWSTR lpszCaption, long lLine);
};

template <>
BOOL COptionServer::GetOption<BOOL>(long lArea, CString strName, long lLookup, long lScope);
template <>
long COptionServer::GetOption<long>(long lArea, CString strName, long lLookup, long lScope);
template <>
CQvDateTime COptionServer::GetOption<CQvDateTime>(long lArea, CString strName, long lLookup, long lScope);
template <>
CString COptionServer::GetOption<CString>(long lArea, CString strName, long lLookup, long lScope);
