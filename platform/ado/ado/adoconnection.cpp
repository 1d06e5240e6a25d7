#include "adoconnection.h"

#include "adorecordset.h"
#include "adovalue.h"
#include "tsqlerror.h"
#include "utf.h"

#include <sqlite3.h>

#include <climits>
#include <new>

namespace qv::ado {

namespace {

std::string TextOf(BSTR b) { return Utf8Of(b); }

}  // namespace

bool IsTextCommand(long options) {
    if (options == adOptionUnspecified) return true;
    // adCmdTable 2, adCmdStoredProc 4, adCmdFile 256, adCmdTableDirect 512.
    return (options & (2 | 4 | 256 | 512)) == 0;
}

ErrorRecord RecordFromCurrentException() {
    ErrorRecord r;
    r.number = E_FAIL;
    r.source = kSourceObjects;
    r.sqlState = L"HY000";
    try {
        throw;
    } catch (const qv::tsql::TranslateStopped&) {
        return RecordInterrupted();
    } catch (const qv::tsql::TranslateError& e) {
        r.source = kSourceTranslator;
        r.sqlState = L"42000";
        r.description = qv::FromUtf8(e.what());
    } catch (const qv::tsql::ExecError& e) {
        return RecordFromDriver(qv::sql::MapError(e.code(), e.message()));
    } catch (const std::bad_alloc&) {
        r.number = E_OUTOFMEMORY;
        r.description = L"Out of memory.";
    } catch (const std::exception& e) {
        r.description = qv::FromUtf8(e.what());
    } catch (...) {
        r.description = L"Unknown failure.";
    }
    return r;
}

ErrorRecord RecordInterrupted() {
    qv::sql::ErrorInfo e = qv::sql::MapError(SQLITE_INTERRUPT, "The statement was interrupted before it started.");
    return RecordFromDriver(e);
}

ConnectionImpl::ConnectionImpl() : errors_(ComPtr<ErrorCollection>::Adopt(new ErrorCollection())) {}

ConnectionImpl::~ConnectionImpl() {
    if (session_) Close();
}

ConnectionImpl* ConnectionImpl::From(IUnknown* unknown) {
    if (!unknown) return nullptr;
    _Connection* conn = nullptr;
    if (FAILED(unknown->QueryInterface(IID__Connection, reinterpret_cast<void**>(&conn))) || !conn) return nullptr;
    auto* impl = dynamic_cast<ConnectionImpl*>(conn);
    conn->Release();
    return impl;
}

HRESULT ConnectionImpl::Fail(HRESULT hr, const wchar_t* description) {
    ErrorRecord r;
    r.number = hr;
    r.source = kSourceObjects;
    r.description = description;
    return Fail(std::move(r));
}

HRESULT ConnectionImpl::FailFromException() {
    if (session_ && session_->OnPg()) {
        // The server's error, with its state and native number, is the driver's last one; a
        // failure of the runner itself is not.
        try {
            throw;
        } catch (const qv::tsql::ExecError& e) {
            const qv::sql::ErrorInfo& last = session_->LastError();
            if (last.description == e.message()) return Fail(RecordFromDriver(last, kSourcePgDriver));
            ErrorRecord r;
            r.number = E_FAIL;
            r.source = kSourcePgDriver;
            r.sqlState = L"HY000";
            r.description = qv::FromUtf8(e.message());
            return Fail(std::move(r));
        } catch (...) {
        }
    }
    return Fail(RecordFromCurrentException());
}

HRESULT ConnectionImpl::DriverFailure() { return Fail(RecordFromDriver(session_->LastError(), session_->DriverSource())); }

HRESULT ConnectionImpl::NotOpen() {
    return Fail(ADO_E_OBJECTCLOSED, L"Operation is not allowed when the connection is closed.");
}

HRESULT ConnectionImpl::Open(BSTR connectionString, BSTR, BSTR, long) {
    errors_->Clear();
    if (session_) return Fail(ADO_E_OBJECTOPEN, L"Operation is not allowed when the connection is open.");
    const std::string cs = TextOf(connectionString);
    if (cs.empty()) return Fail(ADO_E_INVALIDARGUMENT, L"The connection string is empty.");
    qv::sql::ErrorInfo error;
    try {
        // A connection to a server is made within the command timeout set before Open.
        session_ = Session::ForThisThread(cs, &error, timeout_ > 0 && timeout_ < INT_MAX / 1000 ? int(timeout_ * 1000) : 0);
    } catch (...) {
        return FailFromException();
    }
    if (!session_) return Fail(RecordFromDriver(error, Session::DriverSourceOf(cs)));
    ++session_->users;
    std::lock_guard g(interrupterLock_);
    interrupter_ = session_->Interrupter();
    return S_OK;
}

HRESULT ConnectionImpl::Cancel() {
    std::shared_ptr<qv::sql::StatementInterrupter> interrupter;
    {
        std::lock_guard g(interrupterLock_);
        interrupter = interrupter_;
    }
    if (!interrupter) return ADO_E_OBJECTCLOSED;
    // The session is shared by this thread's connection objects: only this one's call ends.
    interrupter->Interrupt(this);
    return S_OK;
}

HRESULT ConnectionImpl::Close() {
    errors_->Clear();
    if (!session_) return NotOpen();
    std::shared_ptr<Session> session = std::move(session_);
    {
        std::lock_guard g(interrupterLock_);
        interrupter_.reset();
    }
    HRESULT hr = S_OK;
    // The last user ends what nobody can finish any more; the others leave it to whoever began it.
    if (--session->users == 0 && session->Depth() > 0) {
        if (session->Rollback() != 0) hr = Fail(RecordFromDriver(session->LastError(), session->DriverSource()));
    }
    session->KeepIdleCache();
    return hr;
}

HRESULT ConnectionImpl::Execute(BSTR commandText, VARIANT* recordsAffected, long options, _Recordset** ppiRset) {
    if (ppiRset) *ppiRset = nullptr;
    errors_->Clear();
    if (!session_) return NotOpen();
    if (!IsTextCommand(options)) return Fail(ADO_E_INVALIDARGUMENT, L"Only statement text can be executed.");
    const bool noRecords = options != adOptionUnspecified && (options & adExecuteNoRecords) != 0;
    qv::sql::InterruptibleCall call(session_->Interrupter(), this);
    try {
        if (session_->OnPg()) {
            // The text is translated before it is sent; nothing of the client runs inside the server's work.
            qv::tsql::StopScope stop(session_->Interrupter()->AskedFlag());
            return ExecuteOnPg(TextOf(commandText), recordsAffected, !noRecords ? ppiRset : nullptr);
        }
        qv::tsql::SharedProgram shared;
        {
            // Only the translation of this text: what runs inside SQLite's steps is never stopped so.
            qv::tsql::StopScope stop(session_->Interrupter()->AskedFlag());
            shared = qv::tsql::TranslateShared(TextOf(commandText));
        }
        if (session_->Interrupter()->Asked()) return Fail(RecordInterrupted());
        std::shared_ptr<const qv::tsql::Program> program = shared.program;
        session_->UseTimeout(timeout_);
        const bool records = !noRecords && ppiRset;
        Session::ColumnList columns = records ? session_->Columns(program, nullptr) : nullptr;
        qv::tsql::Execution run = qv::tsql::Execute(session_->Db().Handle(), std::move(shared), session_->ExecOptions());
        if (!records) {
            // Runs the batch to its end: a failure in a later row is still a failure.
            while (run.Next()) {
            }
        }
        if (recordsAffected) {
            VariantClear(recordsAffected);
            recordsAffected->vt = VT_I4;
            recordsAffected->lVal = static_cast<LONG>(run.RowsAffected());
        }
        if (records) {
            ComPtr<RecordsetImpl> rs = ComPtr<RecordsetImpl>::Adopt(new RecordsetImpl());
            if (run.HasResult()) rs->OpenOnRun(this, std::move(program), std::move(columns), std::move(run));
            *ppiRset = rs.Detach();
        }
    } catch (...) {
        return FailFromException();
    }
    return S_OK;
}

HRESULT ConnectionImpl::ExecuteOnPg(const std::string& sql, VARIANT* recordsAffected, _Recordset** ppiRset) {
    session_->UseTimeout(timeout_);
    // The recordset Execute returns reads forward only: its rows can come as the server sends them.
    Session::Rows rows = session_->RunPg(sql, ppiRset != nullptr);
    if (recordsAffected) {
        VariantClear(recordsAffected);
        recordsAffected->vt = VT_I4;
        recordsAffected->lVal = static_cast<LONG>(rows.affected);
    }
    if (ppiRset) {
        ComPtr<RecordsetImpl> rs = ComPtr<RecordsetImpl>::Adopt(new RecordsetImpl());
        if (rows.hasResult) rs->OpenOnRows(this, std::move(rows));
        *ppiRset = rs.Detach();
    }
    return S_OK;
}

HRESULT ConnectionImpl::BeginTrans(long* transactionLevel) {
    errors_->Clear();
    if (!session_) return NotOpen();
    session_->UseTimeout(timeout_);
    if (session_->Begin() != 0) return DriverFailure();
    if (transactionLevel) *transactionLevel = session_->Depth();
    return S_OK;
}

HRESULT ConnectionImpl::CommitTrans() {
    errors_->Clear();
    if (!session_) return NotOpen();
    session_->UseTimeout(timeout_);
    return session_->Commit() != 0 ? DriverFailure() : S_OK;
}

HRESULT ConnectionImpl::RollbackTrans() {
    if (!session_) {
        errors_->Clear();
        return NotOpen();
    }
    // A rollback follows a failure, of a statement or of the commit (a full disk leaves the
    // transaction open, a lost connection ends it): that failure stays the one to read and to
    // report. Only a rollback that fails itself replaces it.
    if (session_->Rollback() != 0) {
        errors_->Clear();
        return DriverFailure();
    }
    return S_OK;
}

HRESULT ConnectionImpl::get_IsolationLevel(long* plLevel) {
    if (!plLevel) return E_POINTER;
    *plLevel = session_ ? session_->IsolationLevel() : static_cast<long>(adXactReadCommitted);
    return S_OK;
}

HRESULT ConnectionImpl::put_IsolationLevel(long level) {
    errors_->Clear();
    switch (level) {
        case adXactUnspecified:
        case adXactChaos:
        case adXactReadUncommitted:
        case adXactReadCommitted:
        case adXactRepeatableRead:
        case adXactSerializable: break;
        default: return Fail(ADO_E_INVALIDARGUMENT, L"Unknown isolation level.");
    }
    if (!session_) return NotOpen();
    return session_->SetIsolationLevel(level) != 0 ? DriverFailure() : S_OK;
}

HRESULT ConnectionImpl::get_CursorLocation(long* plCursorLoc) {
    if (!plCursorLoc) return E_POINTER;
    *plCursorLoc = cursorLocation_;
    return S_OK;
}

HRESULT ConnectionImpl::put_CursorLocation(long cursorLoc) {
    errors_->Clear();
    if (cursorLoc != adUseServer && cursorLoc != adUseClient) {
        return Fail(ADO_E_INVALIDARGUMENT, L"Unknown cursor location.");
    }
    cursorLocation_ = cursorLoc;
    return S_OK;
}

HRESULT ConnectionImpl::get_CommandTimeout(long* plTimeout) {
    if (!plTimeout) return E_POINTER;
    *plTimeout = timeout_;
    return S_OK;
}

HRESULT ConnectionImpl::put_CommandTimeout(long timeout) {
    errors_->Clear();
    if (timeout < 0) return Fail(ADO_E_INVALIDARGUMENT, L"The command timeout cannot be negative.");
    timeout_ = timeout;
    return S_OK;
}

HRESULT ConnectionImpl::get_State(long* plObjState) {
    if (!plObjState) return E_POINTER;
    *plObjState = session_ ? adStateOpen : adStateClosed;
    return S_OK;
}

HRESULT ConnectionImpl::get_Errors(Errors** ppvObject) {
    if (!ppvObject) return E_POINTER;
    errors_->AddRef();
    *ppvObject = errors_.get();
    return S_OK;
}

}  // namespace qv::ado
