#pragma once
// Small helpers around the SQLite C API, used inside this library only.
#include "stmtcache.h"

#include <cstdint>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace qv::suite::detail {

// A prepared statement that finalizes itself; on a connection with a statement cache it is
// borrowed from the cache and given back, so the procedures and functions a statement calls for
// every row prepare their SQL once per connection.
class Stmt {
public:
    Stmt(sqlite3* db, std::string_view sql);
    ~Stmt();
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    int rc() const { return rc_; }  // result of prepare
    bool ok() const { return rc_ == SQLITE_OK && stmt_ != nullptr; }
    Stmt& bind(int i, std::int64_t v);
    Stmt& bind(int i, std::string_view v);
    int step();  // SQLITE_ROW, SQLITE_DONE or an error
    int reset();
    std::int64_t int64(int col) const;
    std::string text(int col) const;
    bool isNull(int col) const;

private:
    qv::sql::StatementCache::Lease lease_;
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_OK;
};

// All-or-nothing work that writes: without a transaction of the caller it is one of its own,
// begun IMMEDIATE so that it holds the write lock from the start (a read transaction turned into
// a write one fails at once when another connection writes); inside the caller's transaction it
// is a savepoint. Rolled back unless committed.
class WriteTransaction {
public:
    WriteTransaction(sqlite3* db, const char* name);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    int rc() const { return rc_; }
    int commit();

private:
    sqlite3* db_;
    std::string name_;
    bool own_;   // a transaction of its own, not a savepoint
    int rc_;
    bool open_;
};

// The connection's last error text.
std::string ErrorText(sqlite3* db);
// Sets *error (when not null) and returns rc.
int Fail(int rc, std::string* error, std::string text);

}  // namespace qv::suite::detail
