#pragma once
// The database server "Qovaro.QvDBServer": hands out ADO connections of a profile.
#include "qvcom.h"

struct _Connection;

#define QVDBSERVER_PROGID L"Qovaro.QvDBServer"

struct IQvDBServer : IUnknown {
    // A connection of the profile with a reference for the caller; lReserved is 0.
    virtual HRESULT GetConnection(BSTR bstrProfile, long lReserved, _Connection** ppConnection) = 0;  // 3
    // Takes a connection back; lFlag is 1 for the internal profiles, else what the client passes.
    virtual HRESULT ReleaseConnection(_Connection* pConnection, long lFlag) = 0;                      // 4
    // Not called by the modules; a server may answer E_NOTIMPL.
    virtual HRESULT Reserved() = 0;                                                                  // 5
    // The codes of the errors a client met on a connection: "0x%X;STATE;%d;" per error.
    virtual HRESULT ReportConnectionErrors(_Connection* pConnection, BSTR bstrCodes) = 0;              // 6
};

// What a client needs to know about a connection it was handed beyond ADO: the depth of the
// transaction that the database connection behind it holds. A statement that fails inside a
// transaction must not be repeated on its own: the database may have ended the transaction, and
// the repetition would then run outside it.
// A connection that could not be opened is not handed out; its errors (why it could not) stay with
// the server for the thread that asked, until the thread asks again or takes them.
struct IQvDBConnectionInfo : IUnknown {
    virtual HRESULT GetTransactionDepth(_Connection* pConnection, long* plDepth) = 0;  // 3
    // The closed connection whose Open failed last on this thread, with its errors; S_FALSE and
    // none when the last GetConnection of this thread did not fail opening.
    virtual HRESULT TakeFailedConnection(_Connection** ppConnection) = 0;  // 4
};

inline constexpr IID IID_IQvDBServer = qv::MakeGuid("11AC6A60-7D57-11D2-A7A6-0060087BF908");
inline constexpr IID IID_IQvDBConnectionInfo = qv::MakeGuid("6C3E9F41-2B7A-4D8E-9A51-3F0D7C2B8E14");
inline constexpr CLSID CLSID_QvDBServer = qv::MakeGuid("6C3E9F41-2B7A-4D8E-9A51-3F0D7C2B8E01");
