#pragma once
// The SQLite driver: one database connection opened from a connection string with the settings
// the suite relies on, the transaction depth counted the way T-SQL counts it, and engine errors
// mapped to what the ADO layer reports.
//
// Threads: a connection belongs to one thread at a time (the ADO layer gives each thread its
// own). It is opened in serialized mode, so a slip costs speed, not the database.
#include "stmtcache.h"
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

struct sqlite3;

namespace qv::sql {

constexpr std::int32_t kHrTimeout = static_cast<std::int32_t>(0x80040E31u);  // DB_E_ABORTLIMITREACHED
constexpr std::int32_t kHrFail = static_cast<std::int32_t>(0x80004005u);     // E_FAIL

struct ErrorInfo {
    std::int32_t hresult = 0;
    std::int32_t nativeError = 0;  // the SQLite extended result code
    std::string sqlState;
    std::string description;
};

// What the user is told first, above the engine's own text, when another session holds a lock
// the work needs and the wait for it ran out (on either database).
inline constexpr const char* kHeldByOther =
    "Eine andere Sitzung hält die Daten, die diese Arbeit braucht; versuchen Sie es wieder, sobald sie frei sind.";

// Busy and locked: the timeout code and "HYT00", so the callers' retry rules apply, with the
// user's words above SQLite's text. Constraint:
// E_FAIL "23000". SQL errors: E_FAIL "42000". Cannot open: E_FAIL "08001". Interrupted: E_FAIL
// kInterrupted, which no retry rule repeats. Else E_FAIL "HY000".
ErrorInfo MapError(int extendedRc, const std::string& message);

// The state of a statement given up on request (Interrupt), on either database.
inline constexpr const char* kInterrupted = "HY008";

// Ends the call a connection's user is making (its statement text translated, prepared and run
// to its first rows), asked from any thread: the one thing another thread may do to a connection
// (a search that a new keystroke makes useless). The connection's driver says how to stop the
// engine while it is open; the user brackets each call that may be ended (InterruptibleCall).
// Asked while no such call is in progress, it does nothing. The objects of one thread that share
// a database connection name themselves as a call's owner: a request for one of them ends only
// its own call, never a lookup another object of the thread makes meanwhile.
class StatementInterrupter {
public:
    // owner: the calls of that owner only; nullptr: whatever call is in progress.
    void Interrupt(const void* owner = nullptr);
    // The driver: how to stop the engine of the connection now open; empty when it closed. A
    // driver whose stop travels to a server on its own (and may arrive late) gives `settle` too:
    // the call's end waits with it until a stop sent for that call has arrived or been given up,
    // so that it never ends the next call's statement.
    void Set(std::function<void()> interrupt, std::function<void()> settle = {});
    void BeginCall(const void* owner = nullptr);
    void EndCall();
    // Whether the call in progress was asked to end: the driver starts no statement then, and
    // reports a statement the engine gave up as interrupted.
    bool Asked() const { return asked_; }
    // The same, for a translation to look at while it runs.
    const std::atomic<bool>* AskedFlag() const { return &asked_; }
    // The driver brackets the preparing of a statement while nothing else of the connection runs:
    // the engine may be stopped then without harm to other statements. Such a stop is made only
    // inside the bracket (StopWhilePreparingAlone); one that comes as the prepare returns waits for
    // the bracket to close and then stops nothing, since the engine would keep the stop for the
    // statement's rows and the calls after it.
    void BeginPreparingAlone();
    void EndPreparingAlone();
    bool PreparingAlone() const { return preparingAlone_.load(std::memory_order_relaxed); }
    void StopWhilePreparingAlone(const std::function<void()>& stop);
    // For tests: runs inside StopWhilePreparingAlone between seeing the bracket open and the stop,
    // so that a stop that comes late can be made to come later still.
    std::function<void()> beforeStop;

private:
    std::mutex lock_;
    std::function<void()> interrupt_;
    std::function<void()> settle_;
    bool inCall_ = false;         // guarded by lock_
    const void* owner_ = nullptr;  // guarded by lock_: of the call in progress
    std::atomic<bool> asked_{false};
    std::mutex preparingLock_;  // taken after lock_, never before it
    std::atomic<bool> preparingAlone_{false};
};

class InterruptibleCall {
public:
    explicit InterruptibleCall(std::shared_ptr<StatementInterrupter> interrupter, const void* owner = nullptr)
        : interrupter_(std::move(interrupter)) {
        if (interrupter_) interrupter_->BeginCall(owner);
    }
    ~InterruptibleCall() {
        if (interrupter_) interrupter_->EndCall();
    }
    InterruptibleCall(const InterruptibleCall&) = delete;
    InterruptibleCall& operator=(const InterruptibleCall&) = delete;

private:
    std::shared_ptr<StatementInterrupter> interrupter_;
};

// A file this process may not write: no write permission bits (root ignores them, so they are
// looked at too), no write access, or a folder where the write-ahead log cannot be kept.
bool IsReadOnlyFile(const std::string& path);

// A "file:" URI for sqlite3_open_v2 with SQLITE_OPEN_URI; `query` without its "?".
std::string FileUri(const std::string& path, const std::string& query);

struct OpenOptions {
    int busyTimeoutMs = 5000;
    std::size_t statementCacheSize = 64;
    std::size_t statementCacheBytes = StatementCache::kDefaultMaxBytes;
};

class SqliteDb {
public:
    SqliteDb();
    // Rolls back an open transaction and closes.
    ~SqliteDb();
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    // "sqlite:PATH", "sqlite://PATH" or "sqlite::memory:". A missing file is created, with its
    // folders. Files run in WAL mode with synchronous=NORMAL; foreign keys are enforced. A file
    // that cannot be written (IsReadOnlyFile) is opened read-only and left exactly as it is. The
    // T-SQL runtime and then the registered connection initializers are installed. Returns an
    // SQLite result code; LastError() describes a failure.
    int Open(const std::string& connectionString, const OpenOptions& options = {});
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    bool IsReadOnly() const { return readOnly_; }
    sqlite3* Handle() const { return db_; }
    // The file, or ":memory:".
    const std::string& Path() const { return path_; }

    int SetBusyTimeout(int ms);
    int BusyTimeout() const { return busyTimeoutMs_; }

    // Runs plain SQLite SQL (no T-SQL translation), rows discarded.
    int Exec(const std::string& sql);

    // T-SQL's transaction count: Begin at depth 0 starts a transaction (taking the write lock at
    // once, so that two writers wait for each other instead of failing half-way), a nested Begin
    // only counts; Commit counts down and commits at the outermost level; Rollback at any depth
    // rolls everything back and the depth becomes 0. Commit or Rollback at depth 0 is an error.
    int Begin();
    int Commit();
    int Rollback();
    // Also follows what the engine did on its own: a transaction ended by a plain COMMIT or
    // ROLLBACK statement counts as ended, and a later Commit reports that nothing was committed.
    int Depth();

    // A transaction the engine rolled back on its own after a failed statement (a full disk, an
    // I/O error; see NoteFailure) keeps its depth: every statement, Begin and Commit fails with
    // that statement's error until Rollback, so that nothing of the unit runs autocommitted in
    // its place; the outermost Commit ends it too, reporting that error. Returns SQLITE_OK, or
    // the error (LastError) while the transaction is so lost.
    int CheckUsable();
    // Told of a statement that failed on this connection (those run past Exec too).
    void NoteFailure(int extendedRc, const std::string& message);

    const ErrorInfo& LastError() const { return error_; }
    // Null when the connection is not open.
    StatementCache* Statements() const { return cache_.get(); }
    // Kept by whoever wants to end this connection's call from another thread.
    const std::shared_ptr<StatementInterrupter>& Interrupter() const { return interrupter_; }

private:
    int Fail(int rc, const std::string& message);
    int FailFromDb(int rc);
    void SyncDepth();
    int FailDoomed(const char* note);

    sqlite3* db_ = nullptr;
    std::string path_;
    int busyTimeoutMs_ = 5000;
    int depth_ = 0;
    bool lostTransaction_ = false;
    bool doomed_ = false;
    ErrorInfo doomCause_;
    bool readOnly_ = false;
    ErrorInfo error_;
    std::unique_ptr<StatementCache> cache_;
    std::shared_ptr<StatementInterrupter> interrupter_ = std::make_shared<StatementInterrupter>();
};

}  // namespace qv::sql
