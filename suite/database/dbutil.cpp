#include "dbutil.h"

namespace qv::suite::detail {

Stmt::Stmt(sqlite3* db, std::string_view sql) {
    if (qv::sql::StatementCache* cache = qv::sql::StatementCache::For(db)) {
        lease_ = cache->Acquire(sql, &rc_);
        stmt_ = lease_.get();
    } else {
        rc_ = sqlite3_prepare_v2(db, sql.data(), int(sql.size()), &stmt_, nullptr);
    }
    if (rc_ == SQLITE_OK && !stmt_) rc_ = SQLITE_MISUSE;  // empty text
}

Stmt::~Stmt() {
    if (!lease_) sqlite3_finalize(stmt_);
}

Stmt& Stmt::bind(int i, std::int64_t v) {
    if (stmt_) sqlite3_bind_int64(stmt_, i, v);
    return *this;
}

Stmt& Stmt::bind(int i, std::string_view v) {
    if (stmt_) sqlite3_bind_text(stmt_, i, v.data(), int(v.size()), SQLITE_TRANSIENT);
    return *this;
}

int Stmt::step() { return stmt_ ? sqlite3_step(stmt_) : rc_; }

int Stmt::reset() { return stmt_ ? sqlite3_reset(stmt_) : rc_; }

std::int64_t Stmt::int64(int col) const { return sqlite3_column_int64(stmt_, col); }

std::string Stmt::text(int col) const {
    const unsigned char* p = sqlite3_column_text(stmt_, col);
    return p ? std::string(reinterpret_cast<const char*>(p), size_t(sqlite3_column_bytes(stmt_, col)))
             : std::string();
}

bool Stmt::isNull(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }

namespace {
int Exec(sqlite3* db, const std::string& sql) { return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); }
}  // namespace

WriteTransaction::WriteTransaction(sqlite3* db, const char* name)
    : db_(db), name_(name), own_(sqlite3_get_autocommit(db) != 0), open_(false) {
    rc_ = Exec(db_, own_ ? "BEGIN IMMEDIATE" : "SAVEPOINT " + name_);
    open_ = rc_ == SQLITE_OK;
}

WriteTransaction::~WriteTransaction() {
    if (!open_) return;
    if (own_) {
        // The engine may have rolled back by itself after an error.
        if (!sqlite3_get_autocommit(db_)) Exec(db_, "ROLLBACK");
        return;
    }
    // Rolling back to a savepoint keeps it open; release it so the caller's transaction goes on.
    Exec(db_, "ROLLBACK TO " + name_);
    Exec(db_, "RELEASE " + name_);
}

int WriteTransaction::commit() {
    const int rc = Exec(db_, own_ ? "COMMIT" : "RELEASE " + name_);
    if (rc == SQLITE_OK) open_ = false;
    return rc;
}

std::string ErrorText(sqlite3* db) {
    const char* m = sqlite3_errmsg(db);
    return m ? m : "";
}

int Fail(int rc, std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return rc;
}

}  // namespace qv::suite::detail
