#include "sqlitedb.h"
#include "extensions.h"
#include "tsqlruntime.h"
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace qv::sql {

ErrorInfo MapError(int extendedRc, const std::string& message) {
    ErrorInfo e;
    e.nativeError = extendedRc;
    e.description = message.empty() ? sqlite3_errstr(extendedRc) : message;
    switch (extendedRc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        e.hresult = 0;
        e.sqlState = "00000";
        break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        e.hresult = kHrTimeout;
        e.sqlState = "HYT00";
        e.description = std::string(kHeldByOther) + "\n" + e.description;
        break;
    case SQLITE_CONSTRAINT:
        e.hresult = kHrFail;
        e.sqlState = "23000";
        break;
    case SQLITE_ERROR:
        e.hresult = kHrFail;
        e.sqlState = "42000";
        break;
    case SQLITE_CANTOPEN:
        e.hresult = kHrFail;
        e.sqlState = "08001";
        break;
    case SQLITE_INTERRUPT:
        e.hresult = kHrFail;
        e.sqlState = kInterrupted;
        break;

    default:
        e.hresult = kHrFail;
        e.sqlState = "HY000";
        break;
    }
    return e;
}

namespace {

// SQLite's bit for the Bloom-filter optimization in the optimizations mask (SQLITE_BloomFilter
// inside the library), switched off per connection through the test-control interface.
constexpr int kBloomFilterOptimization = 0x00080000;

// The path of a connection string; empty when the string names no SQLite database.
std::string PathOf(const std::string& cs) {
    std::string lower;
    for (char c : cs.substr(0, 7)) lower += (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    if (lower != "sqlite:") return {};
    std::string rest = cs.substr(7);
    if (rest.rfind("//", 0) == 0) rest.erase(0, 2);
    return rest;
}

}  // namespace

bool IsReadOnlyFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0) return true;
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) != 0) return true;
    return (dir.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(folder.c_str(), W_OK) != 0;
}

std::string FileUri(const std::string& path, const std::string& query) {
    static const char* const hex = "0123456789ABCDEF";
    std::string uri = "file:";
    for (unsigned char c : path) {
        if (c == '%' || c == '?' || c == '#' || c <= ' ' || c >= 0x7F) {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        } else {
            uri += char(c);
        }
    }
    return query.empty() ? uri : uri + "?" + query;
}

SqliteDb::SqliteDb() = default;

SqliteDb::~SqliteDb() { Close(); }

int SqliteDb::Fail(int rc, const std::string& message) {
    error_ = MapError(rc, message);
    return rc;
}

int SqliteDb::FailFromDb(int rc) {
    if (!db_) return Fail(rc, "");
    return Fail(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
}

int SqliteDb::Open(const std::string& connectionString, const OpenOptions& options) {
    Close();
    error_ = {};
    std::string path = PathOf(connectionString);
    if (path.empty()) return Fail(SQLITE_CANTOPEN, "Not an SQLite connection string: '" + connectionString + "'");
    bool memory = path == ":memory:";
    if (!memory) {
        std::error_code ec;
        std::filesystem::path parent = std::filesystem::path(path).parent_path();
        if (!parent.empty()) std::filesystem::create_directories(parent, ec);
        if (ec) return Fail(SQLITE_CANTOPEN, "Cannot create the folder '" + parent.string() + "': " + ec.message());
    }
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    std::string name = path;
    const bool readOnly = !memory && IsReadOnlyFile(path);
    if (readOnly) {
        // Without a log of its own the file is read as it stands, so no -wal or -shm file is made
        // beside it; a log another program keeps is read too.
        std::error_code ec;
        const bool hasLog = std::filesystem::exists(path + "-wal", ec);
        name = FileUri(path, hasLog ? "mode=ro" : "immutable=1");
        flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_FULLMUTEX;
    }
    int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        int ext = db_ ? sqlite3_extended_errcode(db_) : rc;
        std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        return Fail(ext, msg + ": '" + path + "'");
    }
    path_ = path;
    readOnly_ = readOnly;
    sqlite3_extended_result_codes(db_, 1);
    busyTimeoutMs_ = options.busyTimeoutMs;
    sqlite3_busy_timeout(db_, busyTimeoutMs_);
    // No Bloom filters: SQLite builds one by reading the whole inner table before the first row,
    // which the searches pay on every run although their windows show the first page at once
    // (seconds' worth of phone numbers for a search of 100,000 persons), and whole results
    // measured no faster with them.
    sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, db_, kBloomFilterOptimization);
    const char* setup = memory || readOnly ? "PRAGMA foreign_keys=ON;"
                               : "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;";
    rc = sqlite3_exec(db_, setup, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        rc = RegisterTsqlRuntime(db_);
        if (rc == SQLITE_OK) {
            try {
                RunConnectionInitializers(db_);
            } catch (const std::exception& e) {
                Fail(SQLITE_ERROR, std::string("A connection initializer failed: ") + e.what());
                Close();
                return SQLITE_ERROR;
            }
        }
    }
    if (rc != SQLITE_OK) {
        FailFromDb(rc);
        Close();
        return error_.nativeError;
    }
    cache_ = std::make_unique<StatementCache>(db_, options.statementCacheSize, options.statementCacheBytes);
    StatementCache::Attach(db_, cache_.get());
    // A call asked to end ends at the engine's next check, a few thousand instructions in. The
    // request belongs to the call: SQLite's own interrupt is not used, as it stays with the
    // connection while any of its statements is open and would end the next call, which nobody
    // asked to end.
    sqlite3_progress_handler(
        db_, 4096, [](void* interrupter) { return static_cast<StatementInterrupter*>(interrupter)->Asked() ? 1 : 0; },
        interrupter_.get());
    // The engine checks no progress handler while it prepares a statement: there its own
    // interrupt (while it reads the text) and the authorizer (while it resolves the names) end
    // it, when no other statement of the connection runs that the interrupt would end too.
    cache_->WatchPreparing(interrupter_.get());
    WatchPreparing(db_, interrupter_.get());
    interrupter_->Set([db = db_, interrupter = interrupter_.get()] {
        interrupter->StopWhilePreparingAlone([db] { sqlite3_interrupt(db); });
    });
    return SQLITE_OK;
}

void StatementInterrupter::Interrupt(const void* owner) {
    std::lock_guard g(lock_);
    if (!inCall_ || (owner && owner != owner_)) return;
    asked_ = true;
    if (interrupt_) interrupt_();
}

void StatementInterrupter::Set(std::function<void()> interrupt, std::function<void()> settle) {
    std::lock_guard g(lock_);
    interrupt_ = std::move(interrupt);
    settle_ = std::move(settle);
}

void StatementInterrupter::BeginPreparingAlone() {
    std::lock_guard g(preparingLock_);
    preparingAlone_ = true;
}

void StatementInterrupter::EndPreparingAlone() {
    std::lock_guard g(preparingLock_);
    preparingAlone_ = false;
}

void StatementInterrupter::StopWhilePreparingAlone(const std::function<void()>& stop) {
    std::lock_guard g(preparingLock_);
    if (!preparingAlone_) return;
    if (beforeStop) beforeStop();
    stop();
}

void StatementInterrupter::BeginCall(const void* owner) {
    std::lock_guard g(lock_);
    inCall_ = true;
    owner_ = owner;
    asked_ = false;
}

void StatementInterrupter::EndCall() {
    std::function<void()> settle;
    {
        std::lock_guard g(lock_);
        inCall_ = false;
        owner_ = nullptr;
        asked_ = false;
        if (settle_) settle = settle_;
    }
    // No stop is asked for any more: one on its way arrives (or is given up) before the next call.
    if (settle) settle();
}

namespace {

// Tables with an index and at least one row that have no statistics yet.
std::vector<std::string> TablesWithoutStatistics(sqlite3* db) {
    bool analysed = false;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE name = 'sqlite_stat1'", -1, &st, nullptr) == SQLITE_OK)
        analysed = sqlite3_step(st) == SQLITE_ROW;
    sqlite3_finalize(st);
    std::string sql =
        "SELECT m.name FROM sqlite_master m WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite_%' AND EXISTS "
        "(SELECT 1 FROM sqlite_master i WHERE i.type = 'index' AND i.tbl_name = m.name)";
    if (analysed) sql += " AND NOT EXISTS (SELECT 1 FROM sqlite_stat1 s WHERE s.tbl = m.name)";
    std::vector<std::string> candidates, out;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) candidates.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    }
    sqlite3_finalize(st);
    for (const std::string& table : candidates) {
        if (table.find('"') != std::string::npos) continue;
        if (sqlite3_prepare_v2(db, ("SELECT 1 FROM \"" + table + "\" LIMIT 1").c_str(), -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            out.push_back(table);
        sqlite3_finalize(st);
    }
    return out;
}

}  // namespace

void SqliteDb::Close() {
    if (!db_) return;
    interrupter_->Set({});
    if (cache_) {
        StatementCache::Detach(db_);
        cache_.reset();
    }
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    // A connection that wrote leaves the planner's statistics fit for the data it changed: tables
    // with rows and indexes that were never analysed get their first statistics, and the tables
    // its statements used whose size changed much since are analysed again (PRAGMA optimize), all
    // on a sample of each index. Another writer at work makes it wait for the next close.
    if (!readOnly_ && path_ != ":memory:" && sqlite3_total_changes(db_) > 0) {
        sqlite3_busy_timeout(db_, 0);
        sqlite3_exec(db_, "PRAGMA analysis_limit = 400", nullptr, nullptr, nullptr);
        std::string analyse;
        for (const std::string& table : TablesWithoutStatistics(db_)) analyse += "ANALYZE \"" + table + "\";";
        if (!analyse.empty()) sqlite3_exec(db_, ("BEGIN;" + analyse + "COMMIT").c_str(), nullptr, nullptr, nullptr);
        if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_exec(db_, "PRAGMA optimize", nullptr, nullptr, nullptr);
    }
    // Statements still lent out keep the connection until they are given back.
    sqlite3_close_v2(db_);
    db_ = nullptr;
    path_.clear();
    depth_ = 0;
    lostTransaction_ = false;
    doomed_ = false;
    readOnly_ = false;
}

int SqliteDb::SetBusyTimeout(int ms) {
    busyTimeoutMs_ = ms;
    if (!db_) return SQLITE_OK;
    return sqlite3_busy_timeout(db_, ms);
}

int SqliteDb::Exec(const std::string& sql) {
    if (!db_) return Fail(SQLITE_MISUSE, "The connection is not open.");
    if (int rc = CheckUsable(); rc != SQLITE_OK) return rc;
    char* msg = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg);
    if (rc != SQLITE_OK) {
        std::string text = msg ? msg : sqlite3_errstr(rc);
        sqlite3_free(msg);
        const int code = sqlite3_extended_errcode(db_);
        NoteFailure(code, text);
        return Fail(code, text);
    }
    return SQLITE_OK;
}

void SqliteDb::NoteFailure(int extendedRc, const std::string& message) {
    if (db_ && depth_ > 0 && !doomed_ && sqlite3_get_autocommit(db_)) {
        doomed_ = true;
        doomCause_ = MapError(extendedRc, message);
    }
}

int SqliteDb::CheckUsable() { return doomed_ ? FailDoomed(nullptr) : SQLITE_OK; }

int SqliteDb::FailDoomed(const char* note) {
    error_ = doomCause_;
    if (note) error_.description += note;
    return error_.nativeError != 0 ? error_.nativeError : SQLITE_ERROR;
}

void SqliteDb::SyncDepth() {
    if (!db_) {
        depth_ = 0;
        return;
    }
    bool open = !sqlite3_get_autocommit(db_);
    if (doomed_) return;  // ended by the engine, kept until the owner rolls back
    if (depth_ > 0 && !open) {
        depth_ = 0;
        lostTransaction_ = true;
    } else if (depth_ == 0 && open) {
        depth_ = 1;  // begun by a plain BEGIN statement
    }
}

int SqliteDb::Depth() {
    SyncDepth();
    return depth_;
}

int SqliteDb::Begin() {
    if (!db_) return Fail(SQLITE_MISUSE, "The connection is not open.");
    SyncDepth();
    if (doomed_) return FailDoomed(nullptr);
    if (depth_ > 0) {
        ++depth_;
        return SQLITE_OK;
    }
    int rc = Exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) return rc;
    depth_ = 1;
    lostTransaction_ = false;
    return SQLITE_OK;
}

int SqliteDb::Commit() {
    if (!db_) return Fail(SQLITE_MISUSE, "The connection is not open.");
    SyncDepth();
    if (depth_ == 0) {
        bool lost = std::exchange(lostTransaction_, false);
        Fail(SQLITE_ERROR, lost ? "The transaction was rolled back by the database after an error; nothing was committed."
                                : "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
        error_.sqlState = "25000";
        return SQLITE_ERROR;
    }
    if (depth_ > 1) {
        --depth_;
        return doomed_ ? FailDoomed(" Nothing was committed.") : SQLITE_OK;
    }
    if (doomed_) {
        depth_ = 0;
        doomed_ = false;
        lostTransaction_ = true;  // a Rollback that follows has nothing left to do
        return FailDoomed(" Nothing was committed.");
    }
    int rc = Exec("COMMIT");
    SyncDepth();  // a failed COMMIT (busy) leaves the transaction open for a retry or a rollback
    if (rc == SQLITE_OK) lostTransaction_ = false;
    return rc;
}

int SqliteDb::Rollback() {
    if (!db_) return Fail(SQLITE_MISUSE, "The connection is not open.");
    SyncDepth();
    if (depth_ == 0) {
        if (std::exchange(lostTransaction_, false)) return SQLITE_OK;  // already rolled back
        Fail(SQLITE_ERROR, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
        error_.sqlState = "25000";
        return SQLITE_ERROR;
    }
    if (doomed_) {
        depth_ = 0;
        doomed_ = false;
        lostTransaction_ = false;
        // Normally the engine's rollback left nothing open; whatever it left is undone.
        if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return SQLITE_OK;
    }
    int rc = Exec("ROLLBACK");
    if (sqlite3_get_autocommit(db_)) depth_ = 0;
    lostTransaction_ = false;
    return rc;
}

}  // namespace qv::sql
