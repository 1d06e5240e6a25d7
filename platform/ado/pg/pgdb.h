#pragma once
// The PostgreSQL driver: one server connection opened from a "postgresql://" connection string,
// with the transaction depth counted the way T-SQL counts it, a statement that fails inside a
// transaction undone alone (as SQL Server does, where PostgreSQL would spoil the whole
// transaction), prepared statements kept per connection, and server errors mapped to what the
// ADO layer and the callers' retry rules expect.
//
// Threads: a connection belongs to one thread at a time, like the SQLite driver's.
#include "sqlitedb.h"  // ErrorInfo, kHrTimeout, kHrFail

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <deque>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct pg_conn;
struct pg_result;

namespace qv::sql {

// Native errors the callers look for, in SQL Server's numbering.
constexpr std::int32_t kNativeDeadlock = 1205;
constexpr std::int32_t kNativeLockTimeout = 1222;
constexpr std::int32_t kNativeConnectionLost = 17;
// The state of a statement whose connection was lost after it was sent: it may have taken
// effect, so unlike "08001" (the server could not be reached) it is not simply repeated.
inline constexpr const char* kLostInFlight = "08S01";

// Deadlock and serialization failure: E_FAIL, native 1205 (the whole transaction is gone).
// Lock not available and statement time-out: the timeout code, "HYT00". Connection failures
// (class 08, server shut down): E_FAIL, native 17, "08001". Integrity: E_FAIL "23000"; syntax and
// access: E_FAIL "42000"; else E_FAIL "HY000".
// A statement time-out ("57014") whose context tells of a wait for another session's row is told
// as the lock it waited for, in the user's words above the server's text.
ErrorInfo MapPgError(const std::string& sqlState, const std::string& message, const std::string& context = {});

// Whether the string names a PostgreSQL database ("postgresql://…" or "postgres://…").
bool IsPgConnectionString(const std::string& connectionString);

struct PgOpenOptions {
    int lockTimeoutMs = 5000;      // waiting for a row or table lock; 0 = without limit
    // The command timeout: the server ends a statement that runs longer, and the client gives up
    // on one whose answer has not come within it (see PgDb); 0 = without limit.
    int statementTimeoutMs = 0;
    // The bound on making the connection besides its connect_timeout (the caller's command
    // timeout); 0 = connect_timeout alone.
    int connectTimeoutMs = 0;
    std::size_t statementCacheSize = 1024;  // as many as the SQLite sessions keep
};

// A query's result, all values as the server's text.
struct PgRows {
    std::vector<std::string> columns;
    std::vector<std::uint32_t> types;  // the columns' type oids
    std::vector<int> modifiers;        // their type modifiers (numeric's precision and scale), -1 none
    std::vector<std::vector<std::optional<std::string>>> rows;
    long affected = 0;                 // rows an INSERT, UPDATE or DELETE touched
};

using PgParams = std::vector<std::optional<std::string>>;
using PgRow = std::vector<std::optional<std::string>>;

class PgDb;
class PgCanceller;

// A query's rows as the server sends them, one at a time, so that the first can be shown while
// the server still produces the rest. While it is read the connection is busy: any other
// statement on it first reads the rest into memory, and they come from there. Destroyed before
// its end, it cancels the rest of the query.
class PgStream {
public:
    ~PgStream();
    PgStream(const PgStream&) = delete;
    PgStream& operator=(const PgStream&) = delete;

    // Columns, types and modifiers; no rows.
    const PgRows& Head() const { return head_; }
    // The next row into `row`, *got false at the end. On a failure in the middle of the rows
    // (after those before it) returns the native error or -1 with the driver's LastError().
    int Next(PgRow* row, bool* got);

private:
    friend class PgDb;
    PgStream(PgDb* db, std::weak_ptr<int> life, bool guarded) : db_(db), life_(std::move(life)), guarded_(guarded) {}
    PgDb* Db() const { return life_.expired() ? nullptr : db_; }

    PgDb* db_;
    std::weak_ptr<int> life_;  // expires with the driver
    bool guarded_;             // the statement runs under its own savepoint
    PgRows head_;
    std::deque<PgRow> parked_;  // read ahead for another statement's sake
    int failed_ = 0;            // a failure met while reading ahead, reported after the rows
    ErrorInfo failure_;
};

class PgDb {
public:
    PgDb() = default;
    // Rolls back an open transaction and closes.
    ~PgDb();
    PgDb(const PgDb&) = delete;
    PgDb& operator=(const PgDb&) = delete;

    // Returns 0 or, on failure, LastError().nativeError or -1. The server's messages are read in
    // UTF-8, dates in ISO order, backslashes in literals as plain characters, on every connection
    // and reconnection. Unless the string names its own ("?connect_timeout=…", keepalives_…,
    // tcp_user_timeout), a server that does not answer fails the connection within 5 s, and one
    // silent for about 30 s ends it.
    int Open(const std::string& connectionString, const PgOpenOptions& options = {});
    void Close();
    bool IsOpen() const { return conn_ != nullptr; }
    // Whether an idle connection still stands, asked without a round trip. Nothing comes
    // unasked on an idle connection of ours but the server's word that it ends it, so anything
    // waiting on the socket counts as lost.
    bool IdleAndAlive() const;

    int SetLockTimeout(int ms);
    // The command timeout, kept on both sides: the server cancels a statement that runs longer
    // a little before the timeout (by a tenth of it up to kAnswerGrace, by 400 ms at the least, and
    // at most by half of it; the connection stays), and
    // the client, whatever the server does (a server process that stopped, a host gone silent),
    // waits for an answer until the timeout, and at least a margin past the server's own limit
    // (ClientTimeoutMs); looking at the socket once more then, it gives a statement whose answer
    // has not come up and drops the connection, which the next statement outside a transaction
    // makes anew within the same bound. Whether a statement given up took effect is unknown
    // (kHrTimeout, native 17, kLostInFlight; "08001" when it had not left whole): a transaction
    // dies with it, a COMMIT may have been carried out. The server process given up on is ended
    // from the next connection. A wait for a lock ends by the lock time-out a little before the
    // statement time-out would end it.
    int SetStatementTimeout(int ms);
    static constexpr std::chrono::milliseconds kAnswerGrace{1000};
    static int ServerTimeoutMs(int ms);
    static int ClientTimeoutMs(int ms);
    // The session's isolation level ("READ COMMITTED", "REPEATABLE READ", "SERIALIZABLE"); like
    // the time-outs, sent again on a new connection.
    int SetIsolationLevel(const std::string& level);
    int LockTimeout() const { return lockTimeoutMs_; }

    // Plain PostgreSQL SQL, possibly several statements, rows discarded.
    int Exec(const std::string& sql);
    // One statement with $1… bound to `params` (nullopt = NULL). A text is prepared when it
    // comes a second time, and then once per connection: the system writes keys into its texts,
    // and most of those come once. `out` may be null.
    int Query(const std::string& sql, const PgParams& params, PgRows* out);
    // With the parameters' type oids (0 = as the statement implies); a text's is 25. The same
    // text must always come with the same types.
    int Query(const std::string& sql, const PgParams& params, const std::vector<std::uint32_t>& types, PgRows* out);
    int Query(const std::string& sql, PgRows* out) { return Query(sql, {}, out); }
    // As Query with types, the rows handed over as they come (see PgStream).
    int Stream(const std::string& sql, const PgParams& params, const std::vector<std::uint32_t>& types,
               std::shared_ptr<PgStream>* out);

    // A bulk load: `copySql` is a "COPY … FROM STDIN" in the text format; `next` appends the
    // following piece of data to its argument and returns 1, or 0 when all is sent, or -1 to
    // abandon the copy (nothing of it stays). Inside a transaction a failed copy is undone alone.
    int CopyIn(const std::string& copySql, const std::function<int(std::string*)>& next);

    // T-SQL's transaction count, as the SQLite driver keeps it: Begin at depth 0 starts a
    // transaction, a nested Begin only counts; Commit counts down and commits at the outermost
    // level; Rollback at any depth rolls everything back. Commit or Rollback at depth 0 is an
    // error. A transaction the database ended on its own (a deadlock, a lost connection, a
    // statement that failed outside its savepoint) keeps its depth: every statement, Begin and
    // Commit fails with the error that ended it, nothing runs autocommitted in its place, until
    // Rollback; the outermost Commit ends it too, reporting that error.
    int Begin();
    int Commit();
    int Rollback();
    int Depth() const { return depth_; }

    const ErrorInfo& LastError() const { return error_; }
    // For a caller whose failed statement could not change data (a read): a connection lost in
    // flight (kLostInFlight) becomes a failure to reach the server, which may be repeated.
    void MarkLossRepeatable();
    std::size_t PreparedCount() const { return prepared_.size(); }
    // Kept by whoever wants to end this connection's call from another thread: the server is
    // asked to cancel the statement, which fails with kInterrupted. The request is sent from a
    // thread of its own, so the asking never waits on the server (see PgCanceller).
    const std::shared_ptr<StatementInterrupter>& Interrupter() const { return interrupter_; }
    // The server process serving this connection (to tell sessions apart, e.g. in pg_locks).
    int BackendPid() const;

    // Tests only: called with the connection's socket after each statement has been sent and
    // before its answer is read (e.g. to lose the answer of a statement the server ran). Set
    // while no statement runs; an empty function removes it.
    static void SetAfterSendHookForTests(std::function<void(int socket)> hook);

private:
    friend class PgStream;
    struct Prepared {
        std::string name;
        std::list<std::string>::iterator use;
    };
    int Fail(const ErrorInfo& e);
    int FailFrom(pg_result* res);
    int Check(pg_result* res, PgRows* out);
    int Run(const std::string& sql, const PgParams* params, PgRows* out, const std::vector<std::uint32_t>* types = nullptr);
    int Before(bool* guarded);
    int Send(const std::string& sql, const PgParams* params, const std::vector<std::uint32_t>* types);
    int Collect(PgRows* out);
    int Finish(bool guarded, int rc);
    void DiscardResults();
    // The bound of the statement that starts now: the command timeout.
    void StartClock();
    // Sends what libpq holds and waits until a result can be read without waiting, at most until
    // the statement's bound; past it the statement is given up (GiveUp).
    void Await();
    // PQgetResult within the statement's bound.
    pg_result* NextResult();
    // What PQexec would answer to a query sent (`sent` from a PQsend… call), within the bound.
    pg_result* Answer(int sent);
    // As PQexec: a COPY left unfed is ended first.
    pg_result* Ask(const char* sql);
    void EndCopy();
    // Waits for the socket until `until`: 1 ready, 0 past it, -1 failed.
    int WaitSocket(short events, std::chrono::steady_clock::time_point until);
    // Drops the connection under the running statement: its answer has not come in time.
    // `unsent`: the statement had not all left.
    void GiveUp(bool unsent);
    // PQreset within the statement's bound and the connection's connect_timeout; at once not
    // when a connection to the server could not be made a moment ago.
    bool ResetInTime();
    // Polls the connection being made (PQconnectPoll, or PQresetPoll with `reset`) for `limit`;
    // one that gets no answer in time marks the server as not answering for as long.
    bool Connect(bool reset, std::chrono::steady_clock::duration limit);
    // The lock time-out sent to the server: the caller's, below the statement time-out.
    int LockTimeoutSent() const;
    // The end of a wait that starts now: the client's side of the command timeout.
    std::chrono::steady_clock::time_point Bound() const;
    // A piece of a bulk load handed to libpq (`put`: PQputCopyData or PQputCopyEnd), waiting
    // within the bound while the socket takes nothing; false when it failed.
    bool PutCopy(const std::function<int()>& put);
    // The active stream's next row from the server.
    int Pull(PgStream* stream, PgRow* row, bool* got);
    // Reads the rest of the active stream into memory, so that the connection is free.
    void Park();
    // Cancels the rest of the active stream.
    void Abandon(PgStream* stream);
    const Prepared* PrepareCached(const std::string& sql, const std::vector<std::uint32_t>* types, int* rc);
    bool Reconnect();
    // Marks an open transaction as ended by the database, with error_ as its cause.
    void LoseTransaction();
    int FailDoomed(const char* note);
    void EndDoomed();
    int Simple(const char* sql);
    int SendSessionValues();

    pg_conn* conn_ = nullptr;
    std::string connectionString_;
    PgOpenOptions options_;
    int lockTimeoutMs_ = 5000;
    std::string isolation_;  // empty: the server's default
    int depth_ = 0;
    bool lostTransaction_ = false;
    bool doomed_ = false;      // the database ended the transaction; see Begin
    ErrorInfo doomCause_;
    std::uint64_t sentValues_ = 0;  // SessionValuesVersion() last sent
    unsigned long nextName_ = 0;
    ErrorInfo error_;
    std::unordered_map<std::string, Prepared> prepared_;
    std::list<std::string> lru_;  // most recently used first
    std::unordered_set<std::string> seenOnce_;  // texts run once without preparing
    PgStream* active_ = nullptr;                // the stream the server is still sending
    std::shared_ptr<int> life_ = std::make_shared<int>(0);
    std::shared_ptr<StatementInterrupter> interrupter_ = std::make_shared<StatementInterrupter>();
    std::shared_ptr<PgCanceller> canceller_;  // of the server process now serving the connection
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
    bool gaveUp_ = false;   // the running statement was given up (GiveUp)
    bool gaveUpUnsent_ = false;  // ... before it had all been sent
    bool committing_ = false;    // the running statement is Commit's COMMIT
    int gaveUpPid_ = 0;     // the server process of the statement given up on, named in its message
    int connectLimitS_ = 5;  // the connection's connect_timeout
};

}  // namespace qv::sql
