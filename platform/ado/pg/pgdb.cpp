#include "pgdb.h"
#include "extensions.h"

#include <libpq-fe.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <iterator>
#include <mutex>
#include <thread>
#include <utility>

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace qv::sql {

namespace {

constexpr const char* kStatementSavepoint = "qv_statement";

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// What the user is told first, in his words, above the driver's or the server's own text.
constexpr const char* kNoAnswer = "Der Datenbankserver antwortet nicht.";
constexpr const char* kOutcomeUnknown = "Ob die Änderungen gespeichert wurden, ist nicht bekannt.";
constexpr const char* kNoneSaved = "Keine der Änderungen wurde gespeichert.";

// How much longer than the server's own statement time-out the client waits for the answer, at
// the least: the server's cancel, and the undo of the statement behind it, must reach the client
// on a busy machine too, or the connection and its transaction would be given up with them.
constexpr std::chrono::milliseconds kServerMargin{400};

// How long a statement waits for a cancel sent for an earlier one to arrive when it has no bound
// of its own.
constexpr std::chrono::seconds kStrayCancelLimit{30};

bool IsFailure(pg_result* res) {
    const ExecStatusType status = PQresultStatus(res);
    return status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY &&
           status != PGRES_SINGLE_TUPLE;
}

bool IsCopy(pg_result* res) {
    const ExecStatusType status = PQresultStatus(res);
    return status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH;
}

std::string Seconds(int ms) {
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) text += "." + std::to_string(ms % 1000 / 100);
    return text + " s";
}

// A connection that could not be made, in the user's words and then libpq's.
ErrorInfo NoConnection(const std::string& message) {
    return MapPgError("08001", std::string(kNoAnswer) + "\nNo connection to it could be made.\n" + message);
}

// Whether the context of a cancelled statement says that it was waiting for another session's
// row ("while updating tuple (0,1) in relation …", "while locking tuple …").
bool WaitedForARow(const std::string& context) {
    return context.find(" tuple ") != std::string::npos || context.find("while locking") != std::string::npos;
}

// libpq prints the server's notices on stderr by default; the suite has its own log.
void IgnoreNotice(void*, const char*) {}

std::string Lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    }
    return s;
}

}  // namespace

// A cancel request is a connection of its own to the server, which libpq makes and then waits on
// until the server closes it, with no time-out (a listener that has stopped, or a host that drops
// packets, keeps it for as long as it stays so). It is sent from a thread of its own, never from
// the caller's and under no lock; whoever waits for it waits a bounded time. One is on its way per
// connection at a time: it ends whatever statement runs when it arrives, which is what a second
// would ask for.
class PgCanceller : public std::enable_shared_from_this<PgCanceller> {
public:
    // How long the end of a call waits for a cancel sent during it.
    static constexpr std::chrono::milliseconds kPatience{2000};

    explicit PgCanceller(PGcancel* cancel) : cancel_(cancel) {}
    ~PgCanceller() {
        if (cancel_) PQfreeCancel(cancel_);
    }
    PgCanceller(const PgCanceller&) = delete;
    PgCanceller& operator=(const PgCanceller&) = delete;

    // Sends the cancel unless one is on its way; returns at once.
    void Send() {
        std::lock_guard g(lock_);
        if (!cancel_ || onItsWay_) return;
        onItsWay_ = true;
        sentAt_ = std::chrono::steady_clock::now();
        try {
            std::thread([self = shared_from_this()] { self->Deliver(); }).detach();
        } catch (...) {
            onItsWay_ = false;  // no thread to be had: the statement runs to its end
        }
    }
    // Until the cancel on its way has arrived, or for kPatience since it was sent.
    void Settle() {
        std::unique_lock l(lock_);
        arrived_.wait_until(l, sentAt_ + kPatience, [&] { return !onItsWay_; });
    }
    // Whether no cancel is on its way any more, waiting until `until` for one that is. One that
    // arrives while the connection is idle ends nothing; one that arrived later would end the
    // next statement, which is not what it was sent for.
    bool Drain(std::chrono::steady_clock::time_point until) {
        std::unique_lock l(lock_);
        return arrived_.wait_until(l, until, [&] { return !onItsWay_; });
    }

private:
    void Deliver() {
        char why[256];
        PQcancel(cancel_, why, sizeof why);
        std::lock_guard g(lock_);
        onItsWay_ = false;
        arrived_.notify_all();
    }

    PGcancel* const cancel_;  // the server process and its key, kept apart from the connection
    std::mutex lock_;
    std::condition_variable arrived_;
    bool onItsWay_ = false;
    std::chrono::steady_clock::time_point sentAt_{};
};

namespace {

// The server processes given up on, by connection string, until a connection to the same
// database ends them: the next connection of this one, or of another thread.
std::mutex g_givenUpLock;
std::vector<std::pair<std::string, int>> g_givenUp;

void NoteGivenUp(const std::string& connectionString, int pid) {
    if (pid == 0) return;
    std::lock_guard g(g_givenUpLock);
    g_givenUp.emplace_back(connectionString, pid);
}

std::vector<int> TakeGivenUp(const std::string& connectionString) {
    std::vector<int> pids;
    std::lock_guard g(g_givenUpLock);
    std::erase_if(g_givenUp, [&](const auto& entry) {
        if (entry.first != connectionString) return false;
        pids.push_back(entry.second);
        return true;
    });
    return pids;
}

// Servers a connection could not be made to within its bound, by connection string: until the
// mark runs out, a further connection to it fails at once with the same reason instead of waiting
// as long again, so that one piece of the user's work waits for a server that does not answer once.
struct Unreachable {
    std::chrono::steady_clock::time_point until;
    std::string why;
};
std::mutex g_unreachableLock;
std::unordered_map<std::string, Unreachable> g_unreachable;

void NoteUnreachable(const std::string& connectionString, std::chrono::steady_clock::duration bound, const std::string& why) {
    std::lock_guard g(g_unreachableLock);
    g_unreachable[connectionString] = {std::chrono::steady_clock::now() + std::max<std::chrono::steady_clock::duration>(bound, std::chrono::seconds(1)), why};
}

void NoteReachable(const std::string& connectionString) {
    std::lock_guard g(g_unreachableLock);
    g_unreachable.erase(connectionString);
}

// The reason a connection to the string was given up on a moment ago; nullopt: it may be tried.
std::optional<std::string> StillUnreachable(const std::string& connectionString) {
    std::lock_guard g(g_unreachableLock);
    const auto it = g_unreachable.find(connectionString);
    if (it == g_unreachable.end()) return std::nullopt;
    if (std::chrono::steady_clock::now() >= it->second.until) {
        g_unreachable.erase(it);
        return std::nullopt;
    }
    return it->second.why;
}

}  // namespace

ErrorInfo MapPgError(const std::string& sqlState, const std::string& message, const std::string& context) {
    ErrorInfo e;
    e.description = message;
    e.hresult = kHrFail;
    e.sqlState = "HY000";
    const std::string cls = sqlState.substr(0, 2);
    if (sqlState.empty() || sqlState == "00000") {
        e.hresult = 0;
        e.sqlState = "00000";
    } else if (sqlState == "40P01" || sqlState == "40001") {
        e.nativeError = kNativeDeadlock;
        e.sqlState = "40001";
    } else if (sqlState == "55P03") {
        e.hresult = kHrTimeout;
        e.nativeError = kNativeLockTimeout;
        e.sqlState = "HYT00";
        e.description = std::string(kHeldByOther) + "\n" + message;
    } else if (sqlState == "57014") {
        e.hresult = kHrTimeout;
        e.sqlState = "HYT00";
        // The statement time-out that ran out while the statement waited for another session.
        if (WaitedForARow(context)) {
            e.nativeError = kNativeLockTimeout;
            e.description = std::string(kHeldByOther) + "\n" + message;
        }
    } else if (cls == "08" || sqlState == "57P01" || sqlState == "57P02" || sqlState == "57P03") {
        e.nativeError = kNativeConnectionLost;
        e.sqlState = "08001";
    } else if (cls == "23") {
        e.sqlState = "23000";
        if (sqlState == "23505") e.nativeError = 2627;
        else if (sqlState == "23502") e.nativeError = 515;
        else e.nativeError = 547;
    } else if (cls == "42") {
        e.sqlState = "42000";
        if (sqlState == "42601") e.nativeError = 102;
        else if (sqlState == "42P01") e.nativeError = 208;
        else if (sqlState == "42703") e.nativeError = 207;
    } else if (cls == "25") {
        e.sqlState = "25000";
    }
    return e;
}

bool IsPgConnectionString(const std::string& connectionString) {
    const std::string lower = Lower(connectionString.substr(0, 13));
    return StartsWith(lower, "postgresql://") || StartsWith(lower, "postgres://");
}

PgDb::~PgDb() { Close(); }

int PgDb::Fail(const ErrorInfo& e) {
    error_ = e;
    return e.nativeError != 0 ? e.nativeError : -1;
}

int PgDb::FailFrom(pg_result* res) {
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    const char* primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const char* context = res ? PQresultErrorField(res, PG_DIAG_CONTEXT) : nullptr;
    std::string message = primary ? primary : (conn_ ? PQerrorMessage(conn_) : "");
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    // Without a state from the server, the connection itself failed.
    std::string sqlState = state ? state : (conn_ && PQstatus(conn_) == CONNECTION_BAD ? "08006" : "XX000");
    if (message.empty()) message = "The database server gave no reason.";
    if (gaveUp_) {
        // The statement was sent and its answer has not come: whether it took effect is unknown,
        // and stays so whatever the server does later (a server that stood still may go on and
        // commit it). Told as a connection lost in flight, which only a caller who marked the
        // statement safe to repeat repeats; one that never left whole is a failure to reach the
        // server.
        ErrorInfo e;
        e.hresult = kHrTimeout;
        e.nativeError = kNativeConnectionLost;
        e.sqlState = gaveUpUnsent_ ? "08001" : kLostInFlight;
        e.description = kNoAnswer;
        // A transaction dies with its connection; a COMMIT given up may have been carried out.
        if (depth_ > 0 && (!committing_ || gaveUpUnsent_)) e.description += std::string("\n") + kNoneSaved;
        else if (!gaveUpUnsent_) e.description += std::string("\n") + kOutcomeUnknown;
        e.description += "\nNo answer came within the command timeout of " + Seconds(options_.statementTimeoutMs) +
                         "; the connection to it was closed" +
                         (gaveUpUnsent_ ? " before the statement had been sent whole." : ".");
        // libpq's own text now only tells of the connection closed here.
        e.description += "\n(server process " + std::to_string(gaveUpPid_) + " gave no answer)";
        return Fail(e);
    }
    // A cancel asked for through the interrupter, not the statement time-out (which the retry
    // rules would repeat).
    if (sqlState == "57014" && interrupter_->Asked()) {
        ErrorInfo e;
        e.hresult = kHrFail;
        e.sqlState = kInterrupted;
        e.description = message;
        return Fail(e);
    }
    return Fail(MapPgError(sqlState, message, context ? context : ""));
}

void PgDb::MarkLossRepeatable() {
    if (error_.sqlState != kLostInFlight) return;
    error_.sqlState = "08001";
    // A read has no changes whose fate the user would need to know.
    const std::string unknown = std::string("\n") + kOutcomeUnknown;
    if (const auto at = error_.description.find(unknown); at != std::string::npos) error_.description.erase(at, unknown.size());
}

int PgDb::Simple(const char* sql) {
    pg_result* res = Ask(sql);
    int rc = Check(res, nullptr);
    PQclear(res);
    return rc;
}

int PgDb::Check(pg_result* res, PgRows* out) {
    const ExecStatusType status = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY) return FailFrom(res);
    if (!out) return 0;
    const int nCols = PQnfields(res);
    const int nRows = PQntuples(res);
    out->columns.clear();
    out->types.clear();
    out->modifiers.clear();
    out->rows.clear();
    for (int c = 0; c < nCols; ++c) {
        out->columns.emplace_back(PQfname(res, c));
        out->types.push_back(PQftype(res, c));
        out->modifiers.push_back(PQfmod(res, c));
    }
    out->rows.reserve(static_cast<std::size_t>(nRows));
    for (int r = 0; r < nRows; ++r) {
        auto& row = out->rows.emplace_back();
        row.reserve(static_cast<std::size_t>(nCols));
        for (int c = 0; c < nCols; ++c) {
            if (PQgetisnull(res, r, c)) row.emplace_back(std::nullopt);
            else row.emplace_back(std::string(PQgetvalue(res, r, c), static_cast<std::size_t>(PQgetlength(res, r, c))));
        }
    }
    const char* tuples = PQcmdTuples(res);
    out->affected = tuples && *tuples ? std::strtol(tuples, nullptr, 10) : 0;
    return 0;
}

int PgDb::Open(const std::string& connectionString, const PgOpenOptions& options) {
    Close();
    error_ = {};
    if (!IsPgConnectionString(connectionString)) {
        return Fail(MapPgError("08001", "Not a PostgreSQL connection string: '" + connectionString + "'"));
    }
    // Limits on the client's side, each unless the connection string names its own (its values,
    // expanded after these, win): a server that takes the connection and never answers fails it
    // within seconds, one that falls silent for about 30 s ends it.
    if (const auto why = StillUnreachable(connectionString)) return Fail(NoConnection(*why));
    static const char* const kKeywords[] = {"connect_timeout", "keepalives",       "keepalives_idle", "keepalives_interval",
                                            "keepalives_count", "tcp_user_timeout", "dbname",          nullptr};
    const char* const values[] = {"5", "1", "10", "5", "4", "30000", connectionString.c_str(), nullptr};
    conn_ = PQconnectStartParams(kKeywords, values, 1);
    if (!conn_ || PQstatus(conn_) == CONNECTION_BAD) {
        std::string message = conn_ ? PQerrorMessage(conn_) : "Out of memory.";
        while (!message.empty() && message.back() == '\n') message.pop_back();
        PQfinish(conn_);
        conn_ = nullptr;
        return Fail(NoConnection(message));
    }
    // A reconnection is bounded as the first connection was.
    connectLimitS_ = 0;
    if (PQconninfoOption* info = PQconninfo(conn_)) {
        for (PQconninfoOption* o = info; o->keyword; ++o) {
            if (std::strcmp(o->keyword, "connect_timeout") == 0 && o->val) connectLimitS_ = std::atoi(o->val);
        }
        PQconninfoFree(info);
    }
    if (connectLimitS_ > 0 && connectLimitS_ < 2) connectLimitS_ = 2;  // as libpq takes it
    connectionString_ = connectionString;
    options_ = options;
    // Made within the connection's limit and the caller's bound (the command timeout), whichever
    // is shorter, however many addresses the host has.
    auto limit = std::chrono::steady_clock::duration::max();
    if (connectLimitS_ > 0) limit = std::chrono::seconds(connectLimitS_);
    if (options.connectTimeoutMs > 0) limit = std::min<std::chrono::steady_clock::duration>(limit, std::chrono::milliseconds(options.connectTimeoutMs));
    if (!Connect(false, limit)) {
        ErrorInfo keep = error_;
        PQfinish(conn_);
        conn_ = nullptr;
        error_ = keep;
        return keep.nativeError != 0 ? keep.nativeError : -1;
    }
    PQsetNoticeProcessor(conn_, IgnoreNotice, nullptr);
    lockTimeoutMs_ = options.lockTimeoutMs;
    isolation_.clear();
    gaveUpPid_ = 0;
    StartClock();
    if (int rc = Reconnect() ? 0 : -1; rc != 0) {
        ErrorInfo keep = error_;
        Close();
        error_ = keep;
        return rc;
    }
    return 0;
}

// Session settings, on a new or reset connection. Prepared statements do not survive a reset.
bool PgDb::Reconnect() {
    if (PQstatus(conn_) != CONNECTION_OK && !ResetInTime()) return false;
    const int lockTimeoutMs = LockTimeoutSent();
    // Statements are sent without waiting for the socket; every wait is the driver's, bounded.
    PQsetnonblocking(conn_, 1);
    prepared_.clear();
    lru_.clear();
    seenOnce_.clear();
    sentValues_ = 0;
    // Texts are written into statements with their quotes doubled, which is all a literal needs
    // only while backslashes are plain characters: that is pinned here, whatever the server's or
    // the database's default.
    // The statements are short and many, each planned anew: compiling one with JIT costs more
    // than running it (about 95 ms against 13 ms for the course search on a canton), and starting
    // a parallel worker more than the few milliseconds of work it would share (40 ms against 2.5).
    const std::string setup = "SET client_encoding TO 'UTF8'; SET DateStyle TO ISO, YMD; "
                              "SET standard_conforming_strings TO on; SET jit TO off; "
                              "SET max_parallel_workers_per_gather TO 0; "
                              "SET client_min_messages TO warning; SET lock_timeout = " +
                              std::to_string(lockTimeoutMs) + "; SET statement_timeout = " +
                              std::to_string(ServerTimeoutMs(options_.statementTimeoutMs)) +
                              (isolation_.empty() ? "" : "; SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL " + isolation_);
    // The cancel key belongs to the server process of this connection.
    auto canceller = std::make_shared<PgCanceller>(PQgetCancel(conn_));
    canceller_ = canceller;
    interrupter_->Set([canceller] { canceller->Send(); }, [canceller] { canceller->Settle(); });
    if (Simple(setup.c_str()) != 0) return false;
    if (const std::vector<int> pids = TakeGivenUp(connectionString_); !pids.empty()) {
        // A server process given up on may only have stopped: when it goes on, it ends instead
        // of running what it was sent (a write the caller was told timed out, and may repeat).
        std::string list;
        for (int pid : pids) list += (list.empty() ? "" : ",") + std::to_string(pid);
        const std::string end = "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE pid IN (" + list +
                                ") AND usename = current_user";
        const ErrorInfo keep = error_;
        PQclear(Ask(end.c_str()));
        error_ = keep;
    }
    return true;
}

int PgDb::ServerTimeoutMs(int ms) {
    // The server's own limit ends a statement that runs too long a little before the client's,
    // so that while the server works the connection is kept; the client's limit is the timeout.
    // It keeps a margin (kServerMargin at the least) in which the server's cancel reaches the
    // client, down to half the timeout; below that the client waits longer (ClientTimeoutMs).
    if (ms <= 0) return ms;
    const int margin = std::max(std::min<int>(static_cast<int>(kAnswerGrace.count()), ms / 10),
                                static_cast<int>(kServerMargin.count()));
    return std::max(ms - margin, ms / 2);
}

int PgDb::ClientTimeoutMs(int ms) {
    if (ms <= 0) return ms;
    return std::max<int>(ms, ServerTimeoutMs(ms) + static_cast<int>(kServerMargin.count()));
}

int PgDb::LockTimeoutSent() const {
    // A wait for another session's lock ends by the lock time-out a little before the statement
    // time-out would end it, so that the user is told that another session holds the data.
    const int server = ServerTimeoutMs(options_.statementTimeoutMs);
    if (server <= 0) return lockTimeoutMs_;
    const int before = std::max(1, server - std::max(1, server / 20));
    return lockTimeoutMs_ <= 0 ? before : std::min(lockTimeoutMs_, before);
}

std::chrono::steady_clock::time_point PgDb::Bound() const {
    const int ms = ClientTimeoutMs(options_.statementTimeoutMs);
    return ms > 0 ? std::chrono::steady_clock::now() + std::chrono::milliseconds(ms)
                  : std::chrono::steady_clock::time_point::max();
}

void PgDb::StartClock() {
    gaveUp_ = false;
    gaveUpUnsent_ = false;
    deadline_ = Bound();
}

int PgDb::WaitSocket(short events, std::chrono::steady_clock::time_point until) {
    for (;;) {
        const int fd = PQsocket(conn_);
        if (fd < 0) return -1;
        int ms = -1;
        bool last = false;
        if (until != std::chrono::steady_clock::time_point::max()) {
            const auto left = until - std::chrono::steady_clock::now();
            // At the bound the socket is looked at once more: an answer that came in the
            // meantime (the caller was busy, or not given the processor) is taken.
            last = left <= std::chrono::steady_clock::duration::zero();
            ms = last ? 0 : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
        }
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, ms);
        if (n > 0) return 1;
        if (n < 0 && errno != EINTR) return -1;
        if (n == 0 && last) return 0;
    }
}

bool PgDb::Connect(bool reset, std::chrono::steady_clock::duration limit) {
    const auto start = std::chrono::steady_clock::now();
    const auto until = limit == std::chrono::steady_clock::duration::max() ? std::chrono::steady_clock::time_point::max()
                                                                           : start + limit;
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED) {
        const int ready = WaitSocket(state == PGRES_POLLING_READING ? POLLIN : POLLOUT, until);
        if (ready == 0) {
            // Left half made: the next statement starts it again, when the mark has run out.
            const char* host = PQhost(conn_);
            const char* port = PQport(conn_);
            const std::string why = std::string("No answer came from the server at ") + (host ? host : "?") + ":" +
                                    (port ? port : "?") + " within " +
                                    Seconds(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(limit).count())) +
                                    " while the connection was being made (timeout).";
            NoteUnreachable(connectionString_, limit, why);
            Fail(NoConnection(why));
            return false;
        }
        if (ready < 0) break;
        state = reset ? PQresetPoll(conn_) : PQconnectPoll(conn_);
    }
    if (state == PGRES_POLLING_OK && PQstatus(conn_) == CONNECTION_OK) {
        NoteReachable(connectionString_);
        return true;
    }
    std::string message = PQerrorMessage(conn_);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    Fail(NoConnection(message));
    return false;
}

void PgDb::GiveUp(bool unsent) {
    gaveUp_ = true;
    gaveUpUnsent_ = unsent;
    gaveUpPid_ = PQbackendPID(conn_);
    NoteGivenUp(connectionString_, gaveUpPid_);
    // libpq reads the end of the connection from here on; the server process is ended from the
    // next connection (Reconnect).
    if (const int fd = PQsocket(conn_); fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void PgDb::Await() {
    if (!conn_ || gaveUp_) return;
    for (;;) {
        const int flushed = PQflush(conn_);
        if (flushed < 0) return;
        if (flushed == 0 && !PQisBusy(conn_)) return;
        const int ready = WaitSocket(flushed ? POLLIN | POLLOUT : POLLIN, deadline_);
        // Past the bound, what libpq holds already is looked at once more.
        if (ready == 0 && flushed == 0 && PQconsumeInput(conn_) && !PQisBusy(conn_)) return;
        // A statement not all of which has left cannot have been carried out.
        if (ready == 0) GiveUp(flushed != 0);
        if (ready <= 0 || !PQconsumeInput(conn_)) return;
    }
}

pg_result* PgDb::NextResult() {
    Await();
    return PQgetResult(conn_);
}

pg_result* PgDb::Answer(int sent) {
    if (!sent) return nullptr;
    pg_result* kept = nullptr;
    while (pg_result* res = NextResult()) {
        // The first failure, else the last result; a COPY goes to its caller.
        if (kept && IsFailure(kept) && !IsCopy(kept)) {
            PQclear(res);
            continue;
        }
        PQclear(kept);
        kept = res;
        if (IsCopy(res)) break;
    }
    return kept;
}

pg_result* PgDb::Ask(const char* sql) {
    EndCopy();
    return Answer(PQsendQuery(conn_, sql));
}

void PgDb::EndCopy() {
    while (pg_result* res = NextResult()) {
        const ExecStatusType status = PQresultStatus(res);
        PQclear(res);
        if (status == PGRES_COPY_IN) {
            if (!PutCopy([&] { return PQputCopyEnd(conn_, "The bulk load was not fed."); })) return;
        } else if (status == PGRES_COPY_OUT) {
            for (;;) {
                char* data = nullptr;
                const int n = PQgetCopyData(conn_, &data, 1);
                if (data) PQfreemem(data);
                if (n > 0) continue;
                if (n < 0) break;
                const int ready = WaitSocket(POLLIN, deadline_);
                if (ready == 0) GiveUp(false);
                if (ready <= 0 || !PQconsumeInput(conn_)) return;
            }
        } else if (status == PGRES_COPY_BOTH) {
            return;
        }
        if (PQstatus(conn_) == CONNECTION_BAD) return;
    }
}

bool PgDb::PutCopy(const std::function<int()>& put) {
    for (;;) {
        const int rc = put();
        if (rc != 0) return rc == 1;
        const int ready = WaitSocket(POLLOUT, deadline_);
        if (ready == 0) GiveUp(false);
        if (ready <= 0) return false;
    }
}

bool PgDb::ResetInTime() {
    if (const auto why = StillUnreachable(connectionString_)) {
        Fail(NoConnection(*why));
        return false;
    }
    auto limit = std::chrono::steady_clock::duration::max();
    if (deadline_ != std::chrono::steady_clock::time_point::max()) limit = deadline_ - std::chrono::steady_clock::now();
    if (connectLimitS_ > 0) limit = std::min<std::chrono::steady_clock::duration>(limit, std::chrono::seconds(connectLimitS_));
    if (!PQresetStart(conn_)) {
        FailFrom(nullptr);
        error_ = NoConnection(error_.description);
        return false;
    }
    return Connect(true, std::max<std::chrono::steady_clock::duration>(limit, std::chrono::steady_clock::duration::zero()));
}

bool PgDb::IdleAndAlive() const {
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK || PQtransactionStatus(conn_) != PQTRANS_IDLE) return false;
    const int fd = PQsocket(conn_);
    if (fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 0;
}

void PgDb::Close() {
    if (!conn_) return;
    interrupter_->Set({});
    canceller_.reset();
    Park();
    StartClock();
    if (PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) != PQTRANS_IDLE) PQclear(Ask("ROLLBACK"));
    PQfinish(conn_);
    conn_ = nullptr;
    prepared_.clear();
    lru_.clear();
    depth_ = 0;
    lostTransaction_ = false;
}

int PgDb::BackendPid() const { return conn_ ? PQbackendPID(conn_) : 0; }

int PgDb::SetLockTimeout(int ms) {
    lockTimeoutMs_ = ms;
    if (!conn_) return 0;
    return Run("SET lock_timeout = " + std::to_string(LockTimeoutSent()), nullptr, nullptr);
}

int PgDb::SetIsolationLevel(const std::string& level) {
    isolation_ = level;
    if (!conn_) return 0;
    return Run("SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL " + level, nullptr, nullptr);
}

int PgDb::SetStatementTimeout(int ms) {
    options_.statementTimeoutMs = ms;
    if (!conn_) return 0;
    return Run("SET statement_timeout = " + std::to_string(ServerTimeoutMs(ms)) +
                   "; SET lock_timeout = " + std::to_string(LockTimeoutSent()),
               nullptr, nullptr);
}

void PgDb::LoseTransaction() {
    // The depth stays: the unit of work is still the caller's, and nothing of it may run
    // autocommitted in its place until its owner rolls back.
    if (depth_ > 0 && !doomed_) {
        doomed_ = true;
        doomCause_ = error_;
    }
    sentValues_ = 0;  // a value sent inside the transaction went with it
}

int PgDb::FailDoomed(const char* note) {
    ErrorInfo e = doomCause_;
    if (note) e.description += note;
    return Fail(e);
}

// Ends the transaction the database already rolled back; the server's side is made sure of.
void PgDb::EndDoomed() {
    if (conn_ && PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) != PQTRANS_IDLE) {
        StartClock();
        PQclear(Ask("ROLLBACK"));
    }
    depth_ = 0;
    doomed_ = false;
    sentValues_ = 0;
}

int PgDb::SendSessionValues() {
    const std::uint64_t version = SessionValuesVersion();
    for (const auto& [name, value] : SessionValues()) {
        const char* values[] = {name.c_str(), value.c_str()};
        pg_result* res =
            Answer(PQsendQueryParams(conn_, "SELECT set_config($1, $2, false)", 2, nullptr, values, nullptr, nullptr, 0));
        const int rc = Check(res, nullptr);
        PQclear(res);
        if (rc != 0) return rc;
    }
    sentValues_ = version;
    return 0;
}

const PgDb::Prepared* PgDb::PrepareCached(const std::string& sql, const std::vector<std::uint32_t>* types, int* rc) {
    if (auto it = prepared_.find(sql); it != prepared_.end()) {
        lru_.splice(lru_.begin(), lru_, it->second.use);
        return &it->second;
    }
    const std::string name = "qv" + std::to_string(++nextName_);
    pg_result* res = Answer(types ? PQsendPrepare(conn_, name.c_str(), sql.c_str(), static_cast<int>(types->size()),
                                                  types->data())
                                  : PQsendPrepare(conn_, name.c_str(), sql.c_str(), 0, nullptr));
    *rc = Check(res, nullptr);
    PQclear(res);
    if (*rc != 0) return nullptr;
    lru_.push_front(sql);
    auto [it, inserted] = prepared_.emplace(sql, Prepared{name, lru_.begin()});
    (void)inserted;
    while (prepared_.size() > options_.statementCacheSize && !lru_.empty()) {
        auto old = prepared_.find(lru_.back());
        PQclear(Ask(("DEALLOCATE " + old->second.name).c_str()));
        prepared_.erase(old);
        lru_.pop_back();
    }
    return &it->second;
}

int PgDb::Before(bool* guarded) {
    Park();
    StartClock();
    *guarded = false;
    if (!conn_) return Fail(MapPgError("08003", "The connection is not open."));
    if (doomed_) return FailDoomed(nullptr);
    if (interrupter_->Asked()) {
        // Asked while the statement was still on its way (translated, say): it is not started.
        ErrorInfo e;
        e.hresult = kHrFail;
        e.sqlState = kInterrupted;
        e.description = "The statement was interrupted before it started.";
        return Fail(e);
    }
    if (depth_ == 0 && PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) == PQTRANS_IDLE &&
        !IdleAndAlive()) {
        // The server has said that it ends this idle connection (a restart, a session ended by
        // an administrator): seen before sending, the statement goes on a new connection and
        // cannot have run on the old one.
        if (!ResetInTime() || !Reconnect()) return error_.nativeError ? error_.nativeError : -1;
    }
    if (PQstatus(conn_) != CONNECTION_OK) {
        // Outside a transaction nothing is lost with the old connection, so a retry works on a
        // new one; inside one the transaction is gone and the caller must start again.
        if (depth_ > 0) {
            const int rc = Fail(MapPgError("08006", "The connection to the database server was lost."));
            LoseTransaction();
            return rc;
        }
        if (!Reconnect()) return error_.nativeError ? error_.nativeError : -1;
    }
    if (const auto canceller = canceller_;
        canceller && !canceller->Drain(std::min(deadline_, std::chrono::steady_clock::now() + kStrayCancelLimit))) {
        // A cancel sent for an earlier statement has not reached the server: sent now, this
        // statement would be the one it ends. It is not sent; a new try may be.
        ErrorInfo e;
        e.hresult = kHrTimeout;
        e.sqlState = "HYT00";
        e.description = std::string(kNoAnswer) + " A cancel sent to it for an earlier statement has not arrived; "
                                                 "the statement was not sent.";
        return Fail(e);
    }
    if (sentValues_ != SessionValuesVersion() && SendSessionValues() != 0) return error_.nativeError ? error_.nativeError : -1;
    *guarded = depth_ > 0 && PQtransactionStatus(conn_) == PQTRANS_INTRANS;
    const int rc = *guarded ? Simple((std::string("SAVEPOINT ") + kStatementSavepoint).c_str()) : 0;
    if (rc != 0) {
        *guarded = false;
        if (PQstatus(conn_) != CONNECTION_OK || error_.nativeError == kNativeConnectionLost) LoseTransaction();
    }
    return rc;
}

int PgDb::Send(const std::string& sql, const PgParams* params, const std::vector<std::uint32_t>* types) {
    constexpr std::size_t kSeenOnceLimit = 4096;
    const bool once = params && !prepared_.count(sql) && seenOnce_.insert(sql).second;
    if (seenOnce_.size() > kSeenOnceLimit) seenOnce_.clear();
    int sent = 0;
    if (params) {
        std::vector<const char*> values;
        values.reserve(params->size());
        for (const auto& v : *params) values.push_back(v ? v->c_str() : nullptr);
        if (once) {
            sent = PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(values.size()), types ? types->data() : nullptr,
                                     values.data(), nullptr, nullptr, 0);
        } else {
            int rc = 0;
            const Prepared* p = PrepareCached(sql, types, &rc);
            if (!p) return rc;
            sent = PQsendQueryPrepared(conn_, p->name.c_str(), static_cast<int>(values.size()), values.data(), nullptr,
                                       nullptr, 0);
        }
    } else {
        sent = PQsendQuery(conn_, sql.c_str());
    }
    return sent ? 0 : FailFrom(nullptr);
}

void PgDb::DiscardResults() {
    while (pg_result* res = NextResult()) {
        const ExecStatusType status = PQresultStatus(res);
        PQclear(res);
        // A COPY nobody feeds would never end.
        if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH) break;
    }
}

// What PQexec would answer: the last result, or the first failure.
int PgDb::Collect(PgRows* out) {
    pg_result* kept = nullptr;
    while (pg_result* res = NextResult()) {
        const ExecStatusType status = PQresultStatus(res);
        PQclear(kept);
        kept = res;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY) {
            if (status != PGRES_COPY_IN && status != PGRES_COPY_OUT && status != PGRES_COPY_BOTH) DiscardResults();
            break;
        }
    }
    const int rc = Check(kept, out);
    PQclear(kept);
    return rc;
}

int PgDb::Finish(bool guarded, int rc) {
    if (rc == 0) {
        if (guarded && PQtransactionStatus(conn_) == PQTRANS_INTRANS) {
            // Within a bound of its own, not what the statement left of its one.
            deadline_ = Bound();
            PQclear(Ask((std::string("RELEASE SAVEPOINT ") + kStatementSavepoint).c_str()));
        }
        // Follows a BEGIN, COMMIT or ROLLBACK sent as plain SQL.
        const auto ts = PQtransactionStatus(conn_);
        if (depth_ == 0 && ts == PQTRANS_INTRANS) depth_ = 1;
        else if (depth_ > 0 && ts == PQTRANS_IDLE) depth_ = 0;
        return 0;
    }
    ErrorInfo failure = error_;
    if (gaveUp_) {
        // Given up, and the connection with it (see FailFrom).
        LoseTransaction();
    } else if (PQstatus(conn_) != CONNECTION_OK || failure.nativeError == kNativeConnectionLost) {
        // The statement may have reached the server and taken effect there before its answer
        // was lost: not a failure to reach the server, which may be repeated.
        failure.nativeError = kNativeConnectionLost;
        failure.sqlState = kLostInFlight;
        // The user is told what became of the change: a transaction dies with its connection.
        failure.description = (depth_ > 0 ? std::string(kNoneSaved) +
                                                "\nThe connection to the database server was lost: the database "
                                                "rolled the transaction back. ("
                                          : std::string(kOutcomeUnknown) +
                                                "\nThe connection to the database server was lost after the "
                                                "statement was sent. (") +
                              failure.description + ")";
        error_ = failure;
        LoseTransaction();
    } else if (failure.nativeError == kNativeDeadlock) {
        // The deadlock victim's whole transaction is rolled back, as on SQL Server.
        deadline_ = Bound();
        if (PQtransactionStatus(conn_) != PQTRANS_IDLE) PQclear(Ask("ROLLBACK"));
        LoseTransaction();
    } else if (guarded) {
        const std::string undo = std::string("ROLLBACK TO SAVEPOINT ") + kStatementSavepoint + "; RELEASE SAVEPOINT " +
                                 kStatementSavepoint;
        // The undo of a statement the server ended at its time-out gets a bound of its own.
        deadline_ = Bound();
        PQclear(Ask(undo.c_str()));
    } else if (depth_ > 0 && PQtransactionStatus(conn_) == PQTRANS_INERROR) {
        deadline_ = Bound();
        PQclear(Ask("ROLLBACK"));
        LoseTransaction();
    }
    error_ = failure;
    return rc;
}

namespace {
std::function<void(int)> g_afterSend;
}  // namespace

void PgDb::SetAfterSendHookForTests(std::function<void(int socket)> hook) { g_afterSend = std::move(hook); }

int PgDb::Run(const std::string& sql, const PgParams* params, PgRows* out, const std::vector<std::uint32_t>* types) {
    bool guarded = false;
    if (int rc = Before(&guarded); rc != 0) return rc;
    int rc = Send(sql, params, types);
    if (rc == 0 && g_afterSend) g_afterSend(PQsocket(conn_));
    if (rc == 0) rc = Collect(out);
    return Finish(guarded, rc);
}

namespace {

PgRow RowOf(pg_result* res, int r) {
    const int nCols = PQnfields(res);
    PgRow row;
    row.reserve(static_cast<std::size_t>(nCols));
    for (int c = 0; c < nCols; ++c) {
        if (PQgetisnull(res, r, c)) row.emplace_back(std::nullopt);
        else row.emplace_back(std::string(PQgetvalue(res, r, c), static_cast<std::size_t>(PQgetlength(res, r, c))));
    }
    return row;
}

void Describe(pg_result* res, PgRows* head) {
    const int nCols = PQnfields(res);
    for (int c = 0; c < nCols; ++c) {
        head->columns.emplace_back(PQfname(res, c));
        head->types.push_back(PQftype(res, c));
        head->modifiers.push_back(PQfmod(res, c));
    }
}

}  // namespace

int PgDb::Stream(const std::string& sql, const PgParams& params, const std::vector<std::uint32_t>& types,
                 std::shared_ptr<PgStream>* out) {
    out->reset();
    bool guarded = false;
    if (int rc = Before(&guarded); rc != 0) return rc;
    if (int rc = Send(sql, &params, &types); rc != 0) return Finish(guarded, rc);
    std::shared_ptr<PgStream> stream(new PgStream(this, life_, guarded));
    if (!PQsetSingleRowMode(conn_)) {
        // Refused: all rows at once, handed over from memory.
        PgRows all;
        if (int rc = Finish(guarded, Collect(&all)); rc != 0) return rc;
        stream->parked_.assign(std::make_move_iterator(all.rows.begin()), std::make_move_iterator(all.rows.end()));
        all.rows.clear();
        stream->head_ = std::move(all);
        *out = std::move(stream);
        return 0;
    }
    pg_result* res = NextResult();
    if (res && PQresultStatus(res) == PGRES_SINGLE_TUPLE) {
        Describe(res, &stream->head_);
        stream->parked_.push_back(RowOf(res, 0));
        PQclear(res);
        active_ = stream.get();
        *out = std::move(stream);
        return 0;
    }
    // No rows, or a failure before the first: the whole answer is in.
    int rc = Check(res, nullptr);
    if (rc == 0) Describe(res, &stream->head_);
    PQclear(res);
    DiscardResults();
    rc = Finish(guarded, rc);
    if (rc == 0) *out = std::move(stream);
    return rc;
}

int PgDb::Pull(PgStream* stream, PgRow* row, bool* got) {
    *got = false;
    // Each row is an answer of its own: the bound is the wait for it.
    StartClock();
    pg_result* res = NextResult();
    const ExecStatusType status = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    if (status == PGRES_SINGLE_TUPLE) {
        *row = RowOf(res, 0);
        PQclear(res);
        *got = true;
        return 0;
    }
    const int rc = status == PGRES_TUPLES_OK ? 0 : FailFrom(res);
    PQclear(res);
    DiscardResults();
    active_ = nullptr;
    return Finish(stream->guarded_, rc);
}

void PgDb::Park() {
    PgStream* stream = active_;
    if (!stream) return;
    for (;;) {
        PgRow row;
        bool got = false;
        if (int rc = Pull(stream, &row, &got); rc != 0) {
            stream->failed_ = rc;
            stream->failure_ = error_;
            return;
        }
        if (!got) return;
        stream->parked_.push_back(std::move(row));
    }
}

void PgDb::Abandon(PgStream* stream) {
    if (active_ != stream) return;
    StartClock();
    const ErrorInfo keep = error_;
    int rc = 0;
    bool cancelled = false;
    auto take = [&](pg_result* res) {
        const ExecStatusType status = PQresultStatus(res);
        if (status != PGRES_SINGLE_TUPLE && status != PGRES_TUPLES_OK && rc == 0) {
            const char* state = PQresultErrorField(res, PG_DIAG_SQLSTATE);
            cancelled = state && std::strcmp(state, "57014") == 0;
            rc = FailFrom(res);
        }
        PQclear(res);
    };
    // The rows already here are cheaper to pass over than a cancel, which costs the server a new
    // connection: a small result is usually in whole when its first row is.
    bool ended = false;
    if (PQconsumeInput(conn_)) {
        while (!PQisBusy(conn_)) {
            pg_result* res = PQgetResult(conn_);
            if (!res) {
                ended = true;
                break;
            }
            take(res);
        }
    }
    if (!ended) {
        const std::shared_ptr<PgCanceller> canceller = canceller_;
        if (canceller) canceller->Send();
        while (pg_result* res = NextResult()) take(res);
        // The cancel ends nothing after this statement.
        if (canceller) canceller->Settle();
    }
    active_ = nullptr;
    // Undoes the statement under its savepoint; a deadlock or a lost connection still ends the
    // transaction, and the caller's next Commit says so.
    Finish(stream->guarded_, rc);
    if (rc == 0 || cancelled) error_ = keep;
}

PgStream::~PgStream() {
    if (PgDb* db = Db()) db->Abandon(this);
}

int PgStream::Next(PgRow* row, bool* got) {
    *got = false;
    if (!parked_.empty()) {
        *row = std::move(parked_.front());
        parked_.pop_front();
        *got = true;
        return 0;
    }
    PgDb* db = Db();
    if (db && db->active_ == this) return db->Pull(this, row, got);
    if (failed_ != 0) {
        const int rc = std::exchange(failed_, 0);
        if (db) db->error_ = failure_;
        return rc;
    }
    return 0;
}

int PgDb::Exec(const std::string& sql) { return Run(sql, nullptr, nullptr); }

int PgDb::CopyIn(const std::string& copySql, const std::function<int(std::string*)>& next) {
    Park();
    StartClock();
    if (doomed_) return FailDoomed(nullptr);
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) return Fail(MapPgError("08003", "The connection is not open."));
    const bool guarded = depth_ > 0 && PQtransactionStatus(conn_) == PQTRANS_INTRANS;
    int rc = guarded ? Simple((std::string("SAVEPOINT ") + kStatementSavepoint).c_str()) : 0;
    if (rc != 0) return rc;
    pg_result* res = Ask(copySql.c_str());
    if (PQresultStatus(res) != PGRES_COPY_IN) {
        rc = res && PQresultStatus(res) == PGRES_COMMAND_OK ? Fail(MapPgError("42000", "Not a COPY FROM STDIN: " + copySql))
                                                             : FailFrom(res);
        PQclear(res);
    } else {
        PQclear(res);
        std::string piece;
        int more = 1;
        bool sent = true;
        while (sent && (more = next(&piece)) >= 0) {
            if (!piece.empty()) sent = PutCopy([&] { return PQputCopyData(conn_, piece.data(), static_cast<int>(piece.size())); });
            piece.clear();
            if (more == 0) break;
        }
        const bool abandon = !sent || more < 0;
        PutCopy([&] { return PQputCopyEnd(conn_, abandon ? "The bulk load was abandoned." : nullptr); });
        res = NextResult();
        rc = Check(res, nullptr);
        PQclear(res);
        while ((res = NextResult()) != nullptr) PQclear(res);
        if (rc == 0 && abandon) rc = Fail(MapPgError("57014", "The bulk load was abandoned."));
    }
    if (rc == 0) {
        if (guarded) PQclear(Ask((std::string("RELEASE SAVEPOINT ") + kStatementSavepoint).c_str()));
        return 0;
    }
    const ErrorInfo failure = error_;
    if (PQstatus(conn_) != CONNECTION_OK) {
        LoseTransaction();
    } else if (guarded) {
        PQclear(Ask((std::string("ROLLBACK TO SAVEPOINT ") + kStatementSavepoint + "; RELEASE SAVEPOINT " +
                               kStatementSavepoint).c_str()));
    }
    error_ = failure;
    return rc;
}

int PgDb::Query(const std::string& sql, const PgParams& params, PgRows* out) { return Run(sql, &params, out); }

int PgDb::Query(const std::string& sql, const PgParams& params, const std::vector<std::uint32_t>& types, PgRows* out) {
    return Run(sql, &params, out, &types);
}

int PgDb::Begin() {
    if (doomed_) return FailDoomed(nullptr);
    if (depth_ > 0) {
        ++depth_;
        return 0;
    }
    if (int rc = Run("BEGIN", nullptr, nullptr); rc != 0) return rc;
    depth_ = 1;
    lostTransaction_ = false;
    return 0;
}

int PgDb::Commit() {
    if (depth_ == 0) {
        const bool lost = std::exchange(lostTransaction_, false);
        ErrorInfo e = MapPgError("25000", lost ? "The transaction was rolled back by the database after an error; nothing was committed."
                                               : "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
        return Fail(e);
    }
    if (depth_ > 1) {
        --depth_;
        return doomed_ ? FailDoomed(" Nothing was committed.") : 0;
    }
    Park();
    if (doomed_) {
        // The database rolled back on its own: the owner hears the failure it was.
        EndDoomed();
        lostTransaction_ = true;  // a Rollback that follows has nothing left to do
        return FailDoomed(" Nothing was committed.");
    }
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
        depth_ = 0;
        sentValues_ = 0;
        lostTransaction_ = true;  // the server rolled it back with the connection
        return Fail(MapPgError("08006", "The connection to the database server was lost; nothing was committed."));
    }
    StartClock();
    committing_ = true;
    pg_result* res = Ask("COMMIT");
    int rc = Check(res, nullptr);
    committing_ = false;
    // An aborted transaction answers COMMIT with ROLLBACK, without an error.
    if (rc == 0 && std::strcmp(PQcmdStatus(res), "ROLLBACK") == 0) {
        rc = Fail(MapPgError("25000", "The transaction was rolled back by the database after an error; nothing was committed."));
    }
    PQclear(res);
    if (rc != 0 && (PQstatus(conn_) != CONNECTION_OK || error_.nativeError == kNativeConnectionLost)) {
        // The COMMIT went out and its answer did not come back: the server may have committed
        // before the connection broke, or not. Nobody can tell from here.
        ErrorInfo e = error_;
        e.nativeError = kNativeConnectionLost;
        if (!(gaveUp_ && gaveUpUnsent_)) e.sqlState = kLostInFlight;
        // Given up at the command timeout, the text says so already.
        if (!gaveUp_) {
            e.description = std::string(kOutcomeUnknown) +
                            "\nThe connection to the database server was lost while the transaction was being "
                            "committed. (" + error_.description + ")";
        }
        rc = Fail(e);
        sentValues_ = 0;
    }
    // Whatever COMMIT answered, PostgreSQL has ended the transaction: a Rollback that follows
    // has nothing left to do, and the failure stays the one to report.
    depth_ = 0;
    lostTransaction_ = rc != 0;
    return rc;
}

int PgDb::Rollback() {
    if (depth_ == 0) {
        if (std::exchange(lostTransaction_, false)) return 0;  // already rolled back
        return Fail(MapPgError("25000", "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."));
    }
    Park();
    lostTransaction_ = false;
    if (doomed_) {
        EndDoomed();
        return 0;
    }
    depth_ = 0;
    sentValues_ = 0;  // a value sent inside the transaction went with it
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) return 0;  // the server rolled it back with the connection
    StartClock();
    return Simple("ROLLBACK");
}

}  // namespace qv::sql
