#pragma once
// The database server "Qovaro.QvDBServer". A profile is a registry key
// HKCU "Software\Qovaro\QvDBServer\<profile>" whose string value "DBConnection" holds the
// connection string ("sqlite:PATH" now); the profile "Qovaro.NQ2" defaults to
// "sqlite:$XDG_DATA_HOME/qovaro/nq2.sqlite". Only a suite database of this schema version is used;
// any other file is refused and left as it is. A missing or empty file gets the schema only when
// asked for: the default profile's own database, or a profile whose DWORD "CreateDatabase" is 1.
//
// Every GetConnection gives a connection object of its own; those of one connection string on one
// thread share the database connection (and so its transaction), worker threads get theirs.
#include "serverbase.h"
#include "qvdbserverint.h"

#include <map>
#include <mutex>
#include <string>
#include <thread>

class CQvDBServer : public CQvStandInServer {
    DECLARE_DYNCREATE(CQvDBServer)
public:
    CQvDBServer();
    ~CQvDBServer() override;

    // The connection string of a profile; empty when it has none.
    static std::wstring ConnectionStringOf(const std::wstring& profile);

protected:
    const CLSID& GetServerClassID() const override { return CLSID_QvDBServer; }
    LPCWSTR GetServerProgID() const override { return QVDBSERVER_PROGID; }
    HRESULT OnInit(BOOL bConnectToFrame) override;

    BEGIN_INTERFACE_PART(DBServer, IQvDBServer)
        HRESULT GetConnection(BSTR bstrProfile, long lReserved, _Connection** ppConnection) override;
        HRESULT ReleaseConnection(_Connection* pConnection, long lFlag) override;
        HRESULT Reserved() override;
        HRESULT ReportConnectionErrors(_Connection* pConnection, BSTR bstrCodes) override;
    END_INTERFACE_PART(DBServer)

    BEGIN_INTERFACE_PART(ConnectionInfo, IQvDBConnectionInfo)
        HRESULT GetTransactionDepth(_Connection* pConnection, long* plDepth) override;
        HRESULT TakeFailedConnection(_Connection** ppConnection) override;
    END_INTERFACE_PART(ConnectionInfo)

    DECLARE_INTERFACE_MAP()

private:
    // Checks the database, and creates the schema when `create` allows it, once per connection
    // string and process (a client without a frame makes a server for each connection object).
    static HRESULT PrepareDatabase(const std::string& connectionString, bool create);
    // Whether a missing or empty database of the profile may be made.
    static bool MayCreate(const std::wstring& profile);
    // Keeps the connection whose open failed on this thread for its errors (none: forgets it).
    void KeepFailed(_Connection* pConnection);

    std::mutex m_failedLock;
    std::map<std::thread::id, _Connection*> m_failed;  // by the thread that asked
};
