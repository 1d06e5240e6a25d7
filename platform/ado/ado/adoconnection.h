#pragma once
// The connection object: a user of its thread's shared database connection for one connection
// string, with its own command timeout and error collection.
#include "adoerror.h"
#include "adoint.h"
#include "adoptr.h"
#include "adosession.h"

#include <memory>
#include <mutex>
#include <string>

namespace qv::ado {

class ConnectionImpl final : public ComObject<_Connection, IID__Connection> {
public:
    ConnectionImpl();

    HRESULT Open(BSTR connectionString, BSTR userID, BSTR password, long options) override;
    HRESULT Close() override;
    HRESULT Execute(BSTR commandText, VARIANT* recordsAffected, long options, _Recordset** ppiRset) override;
    HRESULT BeginTrans(long* transactionLevel) override;
    HRESULT CommitTrans() override;
    HRESULT RollbackTrans() override;
    HRESULT get_IsolationLevel(long* plLevel) override;
    HRESULT put_IsolationLevel(long level) override;
    HRESULT get_CursorLocation(long* plCursorLoc) override;
    HRESULT put_CursorLocation(long cursorLoc) override;
    HRESULT get_CommandTimeout(long* plTimeout) override;
    HRESULT put_CommandTimeout(long timeout) override;
    HRESULT get_State(long* plObjState) override;
    HRESULT get_Errors(Errors** ppvObject) override;
    HRESULT Cancel() override;

    // For the recordsets that run on this connection.
    bool IsOpen() const { return session_ != nullptr; }
    const std::shared_ptr<Session>& GetSession() const { return session_; }
    long CommandTimeout() const { return timeout_; }
    ErrorCollection& ErrorList() { return *errors_; }
    // Records the error and returns its number.
    HRESULT Fail(ErrorRecord record) { return errors_->Set(std::move(record)); }
    HRESULT Fail(HRESULT hr, const wchar_t* description);
    // For a catch block: records what was thrown.
    HRESULT FailFromException();

    // The connection behind an interface pointer, when it is one of ours.
    static ConnectionImpl* From(IUnknown* unknown);

private:
    ~ConnectionImpl() override;
    HRESULT DriverFailure();
    // Execute on PostgreSQL: every row read at once. Throws as Execute's body does.
    HRESULT ExecuteOnPg(const std::string& sql, VARIANT* recordsAffected, _Recordset** ppiRset);
    HRESULT NotOpen();

    std::shared_ptr<Session> session_;
    // The session's interrupter while open, for Cancel from another thread.
    std::mutex interrupterLock_;
    std::shared_ptr<qv::sql::StatementInterrupter> interrupter_;
    ComPtr<ErrorCollection> errors_;
    long cursorLocation_ = adUseServer;
    long timeout_ = Session::kDefaultTimeoutMs / 1000;
};

// The statement kinds of an `options` argument we run; false for tables, procedures by name or
// files.
bool IsTextCommand(long options);

// The record of what a catch block caught.
ErrorRecord RecordFromCurrentException();
// The record of a call on SQLite that was interrupted after its translation, before it started.
ErrorRecord RecordInterrupted();

}  // namespace qv::ado
