#include "adorecordset.h"

#include "adovalue.h"
#include "stmtcache.h"
#include "textcase.h"
#include "tsqllexer.h"
#include "tsqlerror.h"
#include "utf.h"

#include <sqlite3.h>

#include <algorithm>

namespace qv::ado {

namespace {

bool IsMissing(const VARIANT& v) {
    return v.vt == VT_EMPTY || (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND);
}

const VARIANT& Deref(const VARIANT& v) {
    return v.vt == (VT_VARIANT | VT_BYREF) && v.pvarVal ? *v.pvarVal : v;
}

std::string QuoteName(const std::string& name) {
    std::string q = "\"";
    for (char c : name) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + '"';
}

bool SameNameNoCase(const std::wstring& lower, const wchar_t* name, std::size_t length) {
    if (lower.size() != length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (qv::ToLower(name[i]) != lower[i]) return false;
    }
    return true;
}

}  // namespace

// ---- opening and closing ---------------------------------------------------------------------

HRESULT RecordsetImpl::putref_ActiveConnection(IUnknown* pconn) {
    if (open_) return Fail(ADO_E_OBJECTOPEN, L"The connection of an open recordset cannot be changed.");
    if (!pconn) {
        bound_.Reset();
        return S_OK;
    }
    ConnectionImpl* conn = ConnectionImpl::From(pconn);
    if (!conn) return ADO_E_INVALIDARGUMENT;
    bound_ = ComPtr<ConnectionImpl>(conn);
    return S_OK;
}

HRESULT RecordsetImpl::Open(VARIANT source, VARIANT activeConnection, long cursorType, long lockType, long options) {
    if (!IsMissing(activeConnection)) {
        const VARIANT& ac = Deref(activeConnection);
        ConnectionImpl* conn = (ac.vt == VT_UNKNOWN || ac.vt == VT_DISPATCH)
                                   ? ConnectionImpl::From(reinterpret_cast<IUnknown*>(ac.punkVal))
                                   : nullptr;
        if (!conn) return Fail(ADO_E_INVALIDARGUMENT, L"The active connection is not a connection object.");
        if (open_) return Fail(ADO_E_OBJECTOPEN, L"Operation is not allowed when the recordset is open.");
        bound_ = ComPtr<ConnectionImpl>(conn);
    }
    if (open_) return Fail(ADO_E_OBJECTOPEN, L"Operation is not allowed when the recordset is open.");
    if (!bound_ || !bound_->IsOpen()) {
        return Fail(ADO_E_INVALIDCONNECTION, L"The recordset has no open connection to run on.");
    }
    bound_->ErrorList().Clear();
    const VARIANT& src = Deref(source);
    if (src.vt != VT_BSTR && src.vt != (VT_BSTR | VT_BYREF)) {
        return Fail(ADO_E_INVALIDARGUMENT, L"The source of a recordset must be statement text.");
    }
    if (!IsTextCommand(options)) return Fail(ADO_E_INVALIDARGUMENT, L"Only statement text can be opened.");
    const BSTR text = src.vt == VT_BSTR ? src.bstrVal : (src.pbstrVal ? *src.pbstrVal : nullptr);

    connection_ = bound_;
    session_ = connection_->GetSession();
    qv::sql::InterruptibleCall call(session_->Interrupter(), connection_.get());
    if (session_->OnPg()) {
        qv::tsql::StopScope stop(session_->Interrupter()->AskedFlag());
        return OpenOnPg(Utf8Of(text), cursorType, lockType);
    }
    try {
        const std::string sql = Utf8Of(text);
        qv::tsql::SharedProgram shared;
        updatable_ = false;
        // Only the translations of this text stop when asked: what runs inside SQLite's steps
        // is never ended so.
        auto translate = [&](auto how) {
            qv::tsql::StopScope stop(session_->Interrupter()->AskedFlag());
            return how(sql);
        };
        if (lockType == adLockReadOnly || lockType == adLockUnspecified) {
            readOnlyReason_ = L"The recordset was opened read-only.";
            shared = translate(qv::tsql::TranslateShared);
        } else {
            shared = translate(qv::tsql::TranslateSharedForUpdate);
            const std::shared_ptr<const qv::tsql::Program>& program = shared.program;
            if (!program->updateTarget) {
                readOnlyReason_ = L"The rows of this statement cannot be changed: it does not select from a single table.";
            } else if (!session_->HasRowid(program->updateTarget->table)) {
                readOnlyReason_ = L"The rows of '" + qv::FromUtf8(program->updateTarget->table) +
                                  L"' cannot be changed: it is not a table.";
                shared = translate(qv::tsql::TranslateShared);
            } else {
                updatable_ = true;
                table_ = program->updateTarget->table;
            }
        }
        if (session_->Interrupter()->Asked()) {
            const HRESULT hr = connection_->Fail(RecordInterrupted());
            Reset();
            return hr;
        }
        session_->UseTimeout(connection_->CommandTimeout());
        std::shared_ptr<const qv::tsql::Program> program = shared.program;
        Session::ColumnList columns = session_->Columns(program, nullptr);
        qv::tsql::Execution run = qv::tsql::Execute(session_->Db().Handle(), std::move(shared), session_->ExecOptions());
        if (!run.HasResult()) {
            Reset();
            return S_OK;
        }
        const bool buffered = updatable_ || (cursorType != adOpenForwardOnly && cursorType != adOpenUnspecified);
        Take(std::move(program), std::move(columns), std::move(run), buffered);
    } catch (...) {
        const HRESULT hr = FailFromException();
        Reset();
        return hr;
    }
    return S_OK;
}

void RecordsetImpl::OpenOnRun(ConnectionImpl* connection, std::shared_ptr<const qv::tsql::Program> program,
                              Session::ColumnList columns, qv::tsql::Execution run) {
    bound_ = ComPtr<ConnectionImpl>(connection);
    connection_ = bound_;
    session_ = connection->GetSession();
    updatable_ = false;
    readOnlyReason_ = L"The recordset was opened read-only.";
    try {
        Take(std::move(program), std::move(columns), std::move(run), false);
    } catch (...) {
        Reset();
        throw;
    }
}

HRESULT RecordsetImpl::OpenOnPg(const std::string& sql, long cursorType, long lockType) {
    try {
        session_->UseTimeout(connection_->CommandTimeout());
        std::shared_ptr<const qv::tsql::Program> program;
        std::wstring reason = L"The recordset was opened read-only.";
        if (lockType != adLockReadOnly && lockType != adLockUnspecified) {
            std::string asked;
            bool known = false;
            program = qv::tsql::TranslatePgForUpdate(sql, [&](const std::string& table) {
                const Session::PgTable& t = session_->PgTableOf(table);
                asked = table;
                known = !t.name.empty();
                return t.key;
            });
            if (program->updateTarget) {
                reason.clear();
            } else if (asked.empty()) {
                reason = L"The rows of this statement cannot be changed: it does not select from a single table.";
            } else {
                reason = L"The rows of '" + qv::FromUtf8(asked) + L"' cannot be changed: " +
                         (known ? L"it has no primary key." : L"it is not a table.");
            }
        }
        // Rows that are written back are all read first; read-only forward rows come as sent.
        const bool forwardOnly = cursorType == adOpenForwardOnly || cursorType == adOpenUnspecified;
        Session::Rows rows = session_->RunPg(sql, forwardOnly && !program, program);
        if (!rows.hasResult) {
            Reset();
            return S_OK;
        }
        OpenOnRows(connection_.get(), std::move(rows));
        if (reason.empty()) {
            TakeKey(*program->updateTarget);
        } else {
            readOnlyReason_ = reason;
        }
    } catch (...) {
        const HRESULT hr = FailFromException();
        Reset();
        return hr;
    }
    return S_OK;
}

void RecordsetImpl::TakeKey(const qv::tsql::UpdateTarget& target) {
    const int keys = static_cast<int>(target.keyColumns.size());
    if (static_cast<int>(columns_->size()) < keys) throw std::logic_error("the key of the updatable statement is missing");
    visibleColumns_ = static_cast<int>(columns_->size()) - keys;
    keyColumns_ = keys;
    updatable_ = true;
    const Session::PgTable& table = session_->PgTableOf(target.table);
    table_ = target.table;
    // Each visible column's place in the table, so that only the table's own columns change.
    std::vector<std::string> origins;
    for (const std::string& item : target.itemColumns) {
        if (item == "*") {
            origins.insert(origins.end(), table.columns.begin(), table.columns.end());
        } else {
            origins.push_back(qv::tsql::ToLowerAscii(item));
        }
    }
    auto columns = std::make_shared<std::vector<ColumnInfo>>(*columns_);
    if (static_cast<int>(origins.size()) == visibleColumns_) {
        for (int c = 0; c < visibleColumns_; ++c) {
            const std::string& origin = origins[static_cast<std::size_t>(c)];
            if (origin.empty()) continue;
            ColumnInfo& info = (*columns)[static_cast<std::size_t>(c)];
            for (const std::string& name : table.columns) {
                if (qv::tsql::ToLowerAscii(name) != origin) continue;
                info.table = target.table;
                info.column = name;
                break;
            }
        }
    }
    columns_ = std::move(columns);
}

void RecordsetImpl::OpenOnRows(ConnectionImpl* connection, Session::Rows rows) {
    bound_ = ComPtr<ConnectionImpl>(connection);
    connection_ = bound_;
    session_ = connection->GetSession();
    updatable_ = false;
    keyColumns_ = 0;
    readOnlyReason_ = L"The recordset was opened read-only.";
    columns_ = std::move(rows.columns);
    visibleColumns_ = static_cast<int>(columns_->size());
    program_.reset();
    open_ = true;
    pending_.clear();
    streaming_ = false;
    rows_ = std::move(rows.rows);
    row_ = 0;
    pgNext_ = std::move(rows.next);
    if (pgNext_) {
        rows_.resize(1);
        try {
            eof_ = !pgNext_(&rows_[0]);
        } catch (...) {
            Reset();
            throw;
        }
        return;
    }
    eof_ = rows_.empty();
}

void RecordsetImpl::Take(std::shared_ptr<const qv::tsql::Program> program, Session::ColumnList columns,
                         qv::tsql::Execution run, bool buffered) {
    columns_ = columns && static_cast<int>(columns->size()) == run.ColumnCount() ? std::move(columns)
                                                                                 : session_->Columns(program, &run);
    if (!columns_) {
        // Not found among the program's steps: names only.
        auto plain = std::make_shared<std::vector<ColumnInfo>>(static_cast<std::size_t>(run.ColumnCount()));
        for (int c = 0; c < run.ColumnCount(); ++c) {
            ColumnInfo& info = (*plain)[static_cast<std::size_t>(c)];
            info.name = qv::FromUtf8(run.ColumnName(c));
            info.lower = qv::ToLower(info.name);
        }
        columns_ = std::move(plain);
    }
    visibleColumns_ = static_cast<int>(columns_->size());
    if (updatable_) {
        if (visibleColumns_ == 0 || columns_->back().name != qv::FromUtf8(qv::tsql::kRowidColumn)) {
            throw std::logic_error("the row id of the updatable statement is missing");
        }
        --visibleColumns_;
    }
    program_ = std::move(program);
    open_ = true;
    pending_.clear();
    rows_.clear();
    row_ = 0;
    streaming_ = !buffered;
    if (streaming_) {
        run_ = std::move(run);
        eof_ = !run_.Next();
        return;
    }
    const int n = run.ColumnCount();
    while (run.Next()) {
        std::vector<qv::sql::Value> values;
        values.reserve(static_cast<std::size_t>(n));
        for (int c = 0; c < n; ++c) values.push_back(run.Get(c));
        rows_.push_back(std::move(values));
    }
    eof_ = rows_.empty();
}

void RecordsetImpl::Reset() {
    pgNext_ = nullptr;  // before the session goes: cancels the rows still coming
    open_ = false;
    eof_ = true;
    streaming_ = false;
    run_ = qv::tsql::Execution();
    rows_.clear();
    row_ = 0;
    pending_.clear();
    columns_.reset();
    program_.reset();
    session_.reset();
    connection_.Reset();
    updatable_ = false;
    keyColumns_ = 0;
}

HRESULT RecordsetImpl::Close() {
    if (!open_) return Fail(ADO_E_OBJECTCLOSED, L"Operation is not allowed when the recordset is closed.");
    // Changes not written by Update are dropped, as the caller has not asked for them.
    Reset();
    return S_OK;
}

HRESULT RecordsetImpl::get_State(long* plObjState) {
    if (!plObjState) return E_POINTER;
    *plObjState = open_ ? adStateOpen : adStateClosed;
    return S_OK;
}

HRESULT RecordsetImpl::get_EOF(VARIANT_BOOL* pb) {
    if (!pb) return E_POINTER;
    *pb = eof_ ? VARIANT_TRUE : VARIANT_FALSE;
    if (!open_) return Fail(ADO_E_OBJECTCLOSED, L"Operation is not allowed when the recordset is closed.");
    return S_OK;
}

// ---- failures --------------------------------------------------------------------------------

HRESULT RecordsetImpl::Fail(HRESULT hr, const std::wstring& description) {
    ErrorRecord r;
    r.number = hr;
    r.source = kSourceObjects;
    r.description = description;
    ConnectionImpl* conn = connection_ ? connection_.get() : bound_.get();
    return conn ? conn->Fail(std::move(r)) : hr;
}

HRESULT RecordsetImpl::FailFromException() {
    ConnectionImpl* conn = connection_ ? connection_.get() : bound_.get();
    return conn ? conn->FailFromException() : RecordFromCurrentException().number;
}

// ---- rows ------------------------------------------------------------------------------------

HRESULT RecordsetImpl::CheckCurrentRow() {
    if (!open_) return Fail(ADO_E_OBJECTCLOSED, L"Operation is not allowed when the recordset is closed.");
    if (eof_) return Fail(ADO_E_NOCURRENTRECORD, L"Either BOF or EOF is True: there is no current row.");
    return S_OK;
}

HRESULT RecordsetImpl::MoveNext() {
    if (HRESULT hr = CheckCurrentRow(); FAILED(hr)) return hr;
    if (!pending_.empty()) {
        if (HRESULT hr = WritePending(); FAILED(hr)) return hr;
    }
    if (pgNext_) {
        try {
            eof_ = !pgNext_(&rows_[0]);
        } catch (...) {
            eof_ = true;
            return FailFromException();
        }
        return S_OK;
    }
    if (!streaming_) {
        ++row_;
        eof_ = row_ >= rows_.size();
        return S_OK;
    }
    try {
        eof_ = !run_.Next();
    } catch (...) {
        // A failed fetch ends the rows, so that a reading loop cannot go on for ever.
        eof_ = true;
        return FailFromException();
    }
    return S_OK;
}

int RecordsetImpl::FindColumn(const VARIANT& indexArg, HRESULT* hr) {
    const VARIANT& index = Deref(indexArg);
    long ordinal = -1;
    switch (index.vt) {
        case VT_BSTR: {
            const std::size_t length = SysStringLen(index.bstrVal);
            for (int c = 0; c < visibleColumns_; ++c) {
                if (SameNameNoCase((*columns_)[static_cast<std::size_t>(c)].lower, index.bstrVal, length)) return c;
            }
            *hr = Fail(ADO_E_ITEMNOTFOUND,
                       L"There is no column '" + std::wstring(index.bstrVal ? index.bstrVal : L"", length) + L"'.");
            return -1;
        }
        case VT_I4: ordinal = index.lVal; break;
        case VT_I2: ordinal = index.iVal; break;
        default: *hr = Fail(ADO_E_INVALIDARGUMENT, L"A column is named by its name or its ordinal."); return -1;
    }
    if (ordinal < 0 || ordinal >= visibleColumns_) {
        *hr = Fail(ADO_E_ITEMNOTFOUND, L"There is no column " + std::to_wstring(ordinal) + L".");
        return -1;
    }
    return static_cast<int>(ordinal);
}

const qv::sql::Value& RecordsetImpl::Current(int column, qv::sql::Value& scratch) const {
    for (const auto& [c, v] : pending_) {
        if (c == column) return v;
    }
    if (streaming_) {
        scratch = run_.Get(column);
        return scratch;
    }
    return rows_[row_][static_cast<std::size_t>(column)];
}

HRESULT RecordsetImpl::get_Collect(VARIANT index, VARIANT* pvar) {
    if (!pvar) return E_POINTER;
    if (HRESULT hr = CheckCurrentRow(); FAILED(hr)) return hr;
    HRESULT hr = S_OK;
    const int column = FindColumn(index, &hr);
    if (column < 0) return hr;
    try {
        qv::sql::Value scratch;
        const qv::sql::Value& value = Current(column, scratch);
        VARIANT out;
        hr = ToVariant(value, (*columns_)[static_cast<std::size_t>(column)].kind, &out);
        if (FAILED(hr)) {
            return Fail(hr, L"The value of column '" + (*columns_)[static_cast<std::size_t>(column)].name +
                                L"' does not fit its type.");
        }
        VariantClear(pvar);
        *pvar = out;
    } catch (...) {
        return FailFromException();
    }
    return S_OK;
}

// ---- changing rows ---------------------------------------------------------------------------

HRESULT RecordsetImpl::SetValue(int column, const VARIANT& value) {
    const ColumnInfo& info = (*columns_)[static_cast<std::size_t>(column)];
    if (!updatable_) return Fail(ADO_E_FEATURENOTAVAILABLE, readOnlyReason_);
    if (info.column.empty() || qv::tsql::ToLowerAscii(info.table) != qv::tsql::ToLowerAscii(table_)) {
        return Fail(ADO_E_FEATURENOTAVAILABLE,
                    L"Column '" + info.name + L"' is not a column of table '" + qv::FromUtf8(table_) + L"' and cannot be changed.");
    }
    qv::sql::Value v;
    if (HRESULT hr = FromVariant(value, &v); FAILED(hr)) {
        return Fail(hr, L"The value for column '" + info.name + L"' cannot be stored in the database.");
    }
    for (auto& [c, old] : pending_) {
        if (c == column) {
            old = std::move(v);
            return S_OK;
        }
    }
    pending_.emplace_back(column, std::move(v));
    return S_OK;
}

HRESULT RecordsetImpl::put_Collect(VARIANT index, VARIANT value) {
    if (HRESULT hr = CheckCurrentRow(); FAILED(hr)) return hr;
    HRESULT hr = S_OK;
    const int column = FindColumn(index, &hr);
    if (column < 0) return hr;
    try {
        return SetValue(column, value);
    } catch (...) {
        return FailFromException();
    }
}

HRESULT RecordsetImpl::Update(VARIANT fields, VARIANT values) {
    if (HRESULT hr = CheckCurrentRow(); FAILED(hr)) return hr;
    const bool noFields = IsMissing(fields);
    if (noFields != IsMissing(values)) {
        return Fail(ADO_E_INVALIDARGUMENT, L"Update takes a column and a value, or neither.");
    }
    if (!noFields) {
        HRESULT hr = S_OK;
        const int column = FindColumn(fields, &hr);
        if (column < 0) return hr;
        try {
            if (hr = SetValue(column, values); FAILED(hr)) return hr;
        } catch (...) {
            return FailFromException();
        }
    }
    if (!updatable_) return Fail(ADO_E_FEATURENOTAVAILABLE, readOnlyReason_);
    return WritePending();
}

HRESULT RecordsetImpl::WritePending() {
    if (pending_.empty()) return S_OK;
    connection_->ErrorList().Clear();
    if (session_->OnPg()) return WritePendingPg();
    try {
        std::sort(pending_.begin(), pending_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::string sql = "UPDATE " + QuoteName(table_) + " SET ";
        int param = 1;
        for (const auto& [c, v] : pending_) {
            if (param > 1) sql += ", ";
            sql += QuoteName((*columns_)[static_cast<std::size_t>(c)].column) + " = ?" + std::to_string(param++);
        }
        // The row id comes back: a changed INTEGER PRIMARY KEY changes it, and the next write
        // must still find the row.
        sql += " WHERE rowid = ?" + std::to_string(param) + " RETURNING rowid";

        std::vector<qv::sql::Value>& row = rows_[row_];
        sqlite3* db = session_->Db().Handle();
        if (session_->Db().CheckUsable() != SQLITE_OK) return connection_->Fail(RecordFromDriver(session_->Db().LastError()));
        int rc = SQLITE_OK;
        qv::sql::StatementCache::Lease stmt = session_->Db().Statements()->Acquire(sql, &rc);
        if (!stmt) return connection_->Fail(RecordFromDriver(qv::sql::MapError(sqlite3_extended_errcode(db), sqlite3_errmsg(db))));
        int index = 1;
        for (const auto& [c, v] : pending_) {
            if (const auto* i = std::get_if<std::int64_t>(&v)) {
                rc = sqlite3_bind_int64(stmt.get(), index, *i);
            } else if (const auto* d = std::get_if<double>(&v)) {
                rc = sqlite3_bind_double(stmt.get(), index, *d);
            } else if (const auto* s = std::get_if<std::string>(&v)) {
                rc = sqlite3_bind_text(stmt.get(), index, s->data(), static_cast<int>(s->size()), SQLITE_STATIC);
            } else if (const auto* b = std::get_if<qv::sql::Blob>(&v)) {
                rc = sqlite3_bind_blob(stmt.get(), index, b->data(), static_cast<int>(b->size()), SQLITE_STATIC);
            } else {
                rc = sqlite3_bind_null(stmt.get(), index);
            }
            if (rc != SQLITE_OK) break;
            ++index;
        }
        const std::int64_t* rowid = std::get_if<std::int64_t>(&row.back());
        if (rc == SQLITE_OK) rc = rowid ? sqlite3_bind_int64(stmt.get(), index, *rowid) : sqlite3_bind_null(stmt.get(), index);
        session_->UseTimeout(connection_->CommandTimeout());
        if (rc == SQLITE_OK) rc = sqlite3_step(stmt.get());
        const bool found = rc == SQLITE_ROW;
        const std::int64_t newRowid = found ? sqlite3_column_int64(stmt.get(), 0) : 0;
        if (found) rc = sqlite3_step(stmt.get());
        if (rc != SQLITE_DONE) {
            const int code = sqlite3_extended_errcode(db);
            const std::string message = sqlite3_errmsg(db);
            stmt.Discard();
            session_->Db().NoteFailure(code, message);
            return connection_->Fail(RecordFromDriver(qv::sql::MapError(code, message)));
        }
        if (!found) {
            return Fail(E_FAIL, L"Row cannot be located for updating: it was deleted or its row id changed since it was read.");
        }
        row.back() = newRowid;
        for (auto& [c, v] : pending_) row[static_cast<std::size_t>(c)] = std::move(v);
        pending_.clear();
    } catch (...) {
        return FailFromException();
    }
    return S_OK;
}

HRESULT RecordsetImpl::WritePendingPg() {
    try {
        const Session::PgTable& table = session_->PgTableOf(table_);
        if (table.key.empty() || static_cast<int>(table.key.size()) != keyColumns_) {
            return Fail(ADO_E_FEATURENOTAVAILABLE,
                        L"The rows of '" + qv::FromUtf8(table_) + L"' cannot be changed: its key is not known.");
        }
        std::sort(pending_.begin(), pending_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::string> names;
        std::vector<qv::sql::Value> values;
        for (const auto& [c, v] : pending_) {
            names.push_back((*columns_)[static_cast<std::size_t>(c)].column);
            values.push_back(v);
        }
        std::vector<qv::sql::Value>& row = rows_[row_];
        const std::vector<qv::sql::Value> key(row.end() - keyColumns_, row.end());
        session_->UseTimeout(connection_->CommandTimeout());
        long changed = 0;
        if (session_->UpdatePgRow(table, names, values, key, &changed) != 0) {
            return connection_->Fail(RecordFromDriver(session_->LastError(), session_->DriverSource()));
        }
        if (changed == 0) {
            return Fail(E_FAIL, L"Row cannot be located for updating: it was deleted or its key changed since it was read.");
        }
        // A changed key names the row from now on.
        for (const auto& [c, v] : pending_) {
            const std::string& column = (*columns_)[static_cast<std::size_t>(c)].column;
            for (int k = 0; k < keyColumns_; ++k) {
                if (table.key[static_cast<std::size_t>(k)] == column) row[static_cast<std::size_t>(visibleColumns_ + k)] = v;
            }
        }
        for (auto& [c, v] : pending_) row[static_cast<std::size_t>(c)] = std::move(v);
        pending_.clear();
    } catch (...) {
        return FailFromException();
    }
    return S_OK;
}

}  // namespace qv::ado
