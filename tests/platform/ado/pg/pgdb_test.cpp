// The PostgreSQL driver against a private server: error mapping, T-SQL transaction depth with
// statement-level undo, prepared statements, lock and statement time-outs, deadlock victims, lost
// connections and replies, servers that never answer or stop answering, cancels that come late,
// and the settings every session pins.
#include "pgcluster.h"
#include "pgdb.h"
#include "pgexec.h"
#include "pgfaultproxy.h"
#include "qvdbretry.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <utility>

namespace {

using qv::sql::kHrFail;
using qv::sql::kHrTimeout;
using qv::sql::PgDb;
using qv::sql::PgRows;

TEST(PgErrorMap, ServerStatesBecomeWhatTheRetryRulesLookFor) {
    struct Case {
        const char* state;
        std::int32_t hr, native;
        const char* sqlState;
    } cases[] = {
        {"40P01", kHrFail, 1205, "40001"},   {"40001", kHrFail, 1205, "40001"}, {"55P03", kHrTimeout, 1222, "HYT00"},
        {"57014", kHrTimeout, 0, "HYT00"},   {"08006", kHrFail, 17, "08001"},   {"57P01", kHrFail, 17, "08001"},
        {"23505", kHrFail, 2627, "23000"},   {"23503", kHrFail, 547, "23000"},  {"23502", kHrFail, 515, "23000"},
        {"42601", kHrFail, 102, "42000"},    {"42P01", kHrFail, 208, "42000"},  {"22012", kHrFail, 0, "HY000"},
        {"00000", 0, 0, "00000"},
    };
    for (const Case& c : cases) {
        const auto e = qv::sql::MapPgError(c.state, "m");
        EXPECT_EQ(e.hresult, c.hr) << c.state;
        EXPECT_EQ(e.nativeError, c.native) << c.state;
        EXPECT_EQ(e.sqlState, c.sqlState) << c.state;
    }
    // The statement time-out that ran out while waiting for another session's row is that lock.
    const auto waited = qv::sql::MapPgError("57014", "canceling statement due to statement timeout",
                                            "while updating tuple (0,1) in relation \"t\"");
    EXPECT_EQ(waited.description.rfind(qv::sql::kHeldByOther, 0), 0u) << waited.description;
    EXPECT_EQ(waited.nativeError, 1222);
    EXPECT_EQ(waited.sqlState, "HYT00");
    EXPECT_EQ(qv::sql::MapPgError("57014", "m", "SQL function \"f\" statement 1").description, "m");
    EXPECT_TRUE(qv::sql::IsPgConnectionString("PostgreSQL://u@127.0.0.1:5/db"));
    EXPECT_TRUE(qv::sql::IsPgConnectionString("postgres://h/db"));
    EXPECT_FALSE(qv::sql::IsPgConnectionString("sqlite:/tmp/postgresql://x"));
}

class PgDriver : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(a_.Open(db_.url()), 0) << a_.LastError().description;
        ASSERT_EQ(b_.Open(db_.url()), 0) << b_.LastError().description;
        ASSERT_EQ(a_.Exec("CREATE TABLE t (id int PRIMARY KEY, name text UNIQUE)"), 0) << a_.LastError().description;
    }
    std::string Scalar(PgDb& db, const std::string& sql, const qv::sql::PgParams& params = {}) {
        PgRows rows;
        if (db.Query(sql, params, &rows) != 0) return "<error " + db.LastError().description + ">";
        if (rows.rows.empty()) return "<no row>";
        return rows.rows[0][0] ? *rows.rows[0][0] : "NULL";
    }
    int Count(PgDb& db) { return std::stoi(Scalar(db, "SELECT count(*) FROM t")); }
    // Until the server process has gone.
    bool Gone(int pid) {
        for (int i = 0; i < 500; ++i) {
            if (Scalar(a_, "SELECT count(*) FROM pg_stat_activity WHERE pid = $1::int", {std::to_string(pid)}) == "0")
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // Ends the server's session of `db` from a_ and waits until its process is gone.
    void EndSession(PgDb& db) {
        const std::string pid = std::to_string(db.BackendPid());
        ASSERT_EQ(Scalar(a_, "SELECT pg_terminate_backend($1::int)", {pid}), "t");
        for (int i = 0; i < 500 && Scalar(a_, "SELECT count(*) FROM pg_stat_activity WHERE pid = $1::int", {pid}) != "0"; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    qvtest::PgTestDatabase db_;
    PgDb a_, b_;
};

TEST_F(PgDriver, OpensWithTheSuiteSettingsAndRefusesOtherStrings) {
    EXPECT_EQ(Scalar(a_, "SHOW client_encoding"), "UTF8");
    EXPECT_EQ(Scalar(a_, "SHOW lock_timeout"), "5s");
    EXPECT_EQ(Scalar(a_, "SHOW jit"), "off") << "short statements are not compiled";
    EXPECT_EQ(Scalar(a_, "SHOW max_parallel_workers_per_gather"), "0");
    EXPECT_EQ(Scalar(a_, "SELECT $1::text || 'ü'", {std::string("Mü")}), "Müü");
    PgDb c;
    EXPECT_NE(c.Open("sqlite:/tmp/x.db"), 0);
    EXPECT_EQ(c.LastError().sqlState, "08001");
    EXPECT_NE(c.Open(db_.url() + "_missing"), 0);
    EXPECT_EQ(c.LastError().nativeError, 17);
    EXPECT_NE(c.LastError().description.back(), '\n') << "the server's message without its line end";
    EXPECT_FALSE(c.IsOpen());
}

TEST_F(PgDriver, TransactionsCountAsTsqlDoesAndAFailedStatementUndoesOnlyItself) {
    ASSERT_EQ(a_.Begin(), 0);
    ASSERT_EQ(a_.Begin(), 0);
    EXPECT_EQ(a_.Depth(), 2);
    ASSERT_EQ(a_.Exec("INSERT INTO t VALUES (1, 'a')"), 0);
    // A duplicate fails alone; the transaction and its first row stay.
    EXPECT_NE(a_.Exec("INSERT INTO t VALUES (2, 'a')"), 0);
    EXPECT_EQ(a_.LastError().sqlState, "23000");
    EXPECT_EQ(a_.LastError().nativeError, 2627);
    EXPECT_NE(a_.Query("SELEC 1", nullptr), 0) << "a statement that does not prepare";
    EXPECT_NE(a_.Exec("COPY t FROM STDIN"), 0) << "a bulk load without its rows";
    EXPECT_NE(a_.CopyIn("COPY missing FROM STDIN", [](std::string*) { return 0; }), 0);
    EXPECT_EQ(a_.LastError().nativeError, 208) << a_.LastError().description;
    EXPECT_EQ(a_.Depth(), 2);
    ASSERT_EQ(a_.Exec("INSERT INTO t VALUES (3, 'c')"), 0) << a_.LastError().description;
    ASSERT_EQ(a_.Commit(), 0);
    EXPECT_EQ(Count(b_), 0) << "the inner commit only counts";
    ASSERT_EQ(a_.Commit(), 0);
    EXPECT_EQ(Count(b_), 2);

    // A rollback at any depth undoes everything.
    ASSERT_EQ(a_.Begin(), 0);
    ASSERT_EQ(a_.Begin(), 0);
    ASSERT_EQ(a_.Exec("DELETE FROM t"), 0);
    ASSERT_EQ(a_.Rollback(), 0);
    EXPECT_EQ(a_.Depth(), 0);
    EXPECT_EQ(Count(b_), 2);

    EXPECT_NE(a_.Commit(), 0);
    EXPECT_EQ(a_.LastError().sqlState, "25000");
    EXPECT_NE(a_.Rollback(), 0);
    EXPECT_EQ(a_.LastError().sqlState, "25000");

    // BEGIN and COMMIT sent as SQL are followed.
    ASSERT_EQ(a_.Exec("BEGIN"), 0);
    EXPECT_EQ(a_.Depth(), 1);
    ASSERT_EQ(a_.Exec("COMMIT"), 0);
    EXPECT_EQ(a_.Depth(), 0);
}

TEST_F(PgDriver, PreparesEachTextOnceWithinItsBound) {
    PgDb c;
    qv::sql::PgOpenOptions o;
    o.statementCacheSize = 2;
    ASSERT_EQ(c.Open(db_.url(), o), 0);
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(c.Query("INSERT INTO t VALUES ($1, $2)", {std::to_string(i), i == 3 ? std::nullopt : std::optional<std::string>("n" + std::to_string(i))}, nullptr), 0)
            << c.LastError().description;
    }
    EXPECT_EQ(c.PreparedCount(), 1u);
    EXPECT_EQ(Scalar(c, "SELECT coalesce(name, 'NULL') FROM t WHERE id = $1", {"3"}), "NULL");
    EXPECT_EQ(c.PreparedCount(), 1u) << "a text that came once is not prepared";
    EXPECT_EQ(Scalar(c, "SELECT coalesce(name, 'NULL') FROM t WHERE id = $1", {"1"}), "n1");
    EXPECT_EQ(Scalar(c, "SELECT count(*) FROM t WHERE name IS NOT NULL"), "4");
    EXPECT_EQ(Scalar(c, "SELECT count(*) FROM t WHERE name IS NOT NULL"), "4");
    EXPECT_EQ(c.PreparedCount(), 2u) << "the oldest was let go";
    EXPECT_EQ(Scalar(c, "SELECT name FROM t WHERE id = $1", {"4"}), "n4");
    EXPECT_EQ(Scalar(c, "SELECT name FROM t WHERE id = $1", {"2"}), "n2");
    EXPECT_EQ(Scalar(c, "SELECT coalesce(name, 'NULL') FROM t WHERE id = $1", {"3"}), "NULL");
    EXPECT_EQ(c.PreparedCount(), 2u);
    PgRows rows;
    ASSERT_EQ(c.Query("UPDATE t SET name = name || 'x' WHERE id < $1", {"2"}, &rows), 0);
    EXPECT_EQ(rows.affected, 2);
}

TEST_F(PgDriver, LockAndStatementTimeoutsReportTheTimeoutAndKeepTheTransaction) {
    ASSERT_EQ(a_.Exec("INSERT INTO t VALUES (1, 'a'), (2, 'b')"), 0);
    ASSERT_EQ(a_.Begin(), 0);
    ASSERT_EQ(a_.Exec("UPDATE t SET name = 'A' WHERE id = 1"), 0);
    ASSERT_EQ(b_.SetLockTimeout(100), 0);
    EXPECT_EQ(Scalar(b_, "SHOW lock_timeout"), "100ms") << "an open connection takes it at once";
    ASSERT_EQ(b_.Begin(), 0);
    ASSERT_EQ(b_.Exec("UPDATE t SET name = 'B' WHERE id = 2"), 0);
    EXPECT_NE(b_.Exec("UPDATE t SET name = 'X' WHERE id = 1"), 0);
    EXPECT_EQ(b_.LastError().hresult, kHrTimeout);
    EXPECT_EQ(b_.LastError().sqlState, "HYT00");
    EXPECT_EQ(b_.LastError().description.rfind(qv::sql::kHeldByOther, 0), 0u) << b_.LastError().description;
    EXPECT_NE(b_.LastError().description.find("lock timeout"), std::string::npos) << "the server's text below";
    EXPECT_EQ(b_.Depth(), 1);
    ASSERT_EQ(b_.SetStatementTimeout(50), 0);
    EXPECT_NE(b_.Exec("SELECT pg_sleep(10)"), 0);
    EXPECT_EQ(b_.LastError().hresult, kHrTimeout);
    ASSERT_EQ(b_.Commit(), 0) << b_.LastError().description;
    ASSERT_EQ(a_.Commit(), 0);
    EXPECT_EQ(Scalar(a_, "SELECT string_agg(name, ',' ORDER BY id) FROM t"), "A,B");

    // A command timeout shorter than the lock time-out: a wait for a table another session
    // holds (an administrator's maintenance) is still told as the lock it is.
    ASSERT_EQ(a_.Begin(), 0);
    ASSERT_EQ(a_.Exec("LOCK TABLE t IN ACCESS EXCLUSIVE MODE"), 0);
    ASSERT_EQ(b_.SetLockTimeout(5000), 0);
    ASSERT_EQ(b_.SetStatementTimeout(1000), 0);
    EXPECT_NE(b_.Exec("SELECT count(*) FROM t"), 0);
    EXPECT_EQ(b_.LastError().description.rfind(qv::sql::kHeldByOther, 0), 0u) << b_.LastError().description;
    EXPECT_EQ(b_.LastError().hresult, kHrTimeout);
    ASSERT_EQ(a_.Rollback(), 0);
}

TEST_F(PgDriver, TheDeadlockVictimLosesItsWholeTransactionWithNative1205) {
    ASSERT_EQ(a_.Exec("INSERT INTO t VALUES (1, 'a'), (2, 'b')"), 0);
    for (PgDb* d : {&a_, &b_}) {
        ASSERT_EQ(d->Exec("SET deadlock_timeout = 50"), 0);
        ASSERT_EQ(d->SetLockTimeout(0), 0);
        ASSERT_EQ(d->Begin(), 0);
        ASSERT_EQ(d->Begin(), 0);
    }
    ASSERT_EQ(a_.Exec("UPDATE t SET name = 'a1' WHERE id = 1"), 0);
    ASSERT_EQ(b_.Exec("UPDATE t SET name = 'b2' WHERE id = 2"), 0);
    // a waits for b's row while b asks for a's: one of them is chosen as the victim.
    auto first = std::async(std::launch::async, [&] { return a_.Exec("UPDATE t SET name = 'a2' WHERE id = 2"); });
    const int second = b_.Exec("UPDATE t SET name = 'b1' WHERE id = 1");
    const int firstRc = first.get();
    ASSERT_NE(firstRc == 0, second == 0) << "exactly one victim";
    PgDb& victim = firstRc != 0 ? a_ : b_;
    PgDb& winner = firstRc != 0 ? b_ : a_;
    EXPECT_EQ(victim.LastError().nativeError, 1205);
    EXPECT_EQ(victim.LastError().hresult, kHrFail);
    // The unit of work stays failed: nothing runs autocommitted in its place until it ends.
    EXPECT_EQ(victim.Depth(), 2);
    EXPECT_NE(victim.Exec("INSERT INTO t VALUES (3, 'after')"), 0);
    EXPECT_EQ(victim.LastError().nativeError, 1205);
    EXPECT_NE(victim.Begin(), 0);
    EXPECT_NE(victim.Commit(), 0) << "the inner commit reports it too";
    EXPECT_NE(victim.Commit(), 0) << "nothing is left to commit";
    EXPECT_EQ(victim.LastError().nativeError, 1205);
    EXPECT_NE(victim.LastError().description.find("Nothing was committed"), std::string::npos);
    EXPECT_EQ(victim.Depth(), 0);
    EXPECT_EQ(victim.Rollback(), 0) << "the owner's rollback after a failed commit has nothing left to do";
    ASSERT_EQ(winner.Commit(), 0);
    ASSERT_EQ(winner.Commit(), 0);
    EXPECT_EQ(Count(winner), 2);
    const std::string names = Scalar(victim, "SELECT string_agg(name, ',' ORDER BY id) FROM t");
    EXPECT_EQ(names, &victim == &a_ ? "b1,b2" : "a1,a2");
}

TEST_F(PgDriver, ALostConnectionIsAConnectionErrorAndTheNextStatementReconnects) {
    // An idle connection the server ended is made again before the next statement is sent.
    ASSERT_EQ(b_.SetIsolationLevel("SERIALIZABLE"), 0);
    EXPECT_EQ(Scalar(b_, "SHOW default_transaction_isolation"), "serializable");
    const int before = b_.BackendPid();
    EndSession(b_);
    ASSERT_EQ(b_.Query("INSERT INTO t VALUES ($1, 'x')", {"1"}, nullptr), 0) << b_.LastError().description;
    EXPECT_NE(b_.BackendPid(), before);
    EXPECT_EQ(Scalar(b_, "SHOW default_transaction_isolation"), "serializable") << "the session's settings came along";
    EXPECT_EQ(Scalar(b_, "SHOW jit"), "off");
    EXPECT_EQ(Scalar(b_, "SHOW max_parallel_workers_per_gather"), "0");
    ASSERT_EQ(b_.SetIsolationLevel("READ COMMITTED"), 0);
    const std::string kill = "SELECT pg_terminate_backend($1::int)";

    // A server that takes no new connection says so.
    qvtest::PgTestDatabase closed;
    PgDb c;
    ASSERT_EQ(c.Open(closed.url()), 0) << c.LastError().description;
    ASSERT_EQ(a_.Exec("ALTER DATABASE " + closed.name() + " ALLOW_CONNECTIONS false"), 0) << a_.LastError().description;
    EndSession(c);
    EXPECT_NE(c.Exec("SELECT 1"), 0);
    EXPECT_EQ(c.LastError().nativeError, 17);
    EXPECT_NE(c.LastError().description.find("not currently accepting connections"), std::string::npos)
        << c.LastError().description;
    ASSERT_EQ(a_.Exec("ALTER DATABASE " + closed.name() + " ALLOW_CONNECTIONS true"), 0) << a_.LastError().description;

    // Inside a transaction the work is gone, and stays failed until its owner rolls back.
    ASSERT_EQ(b_.Begin(), 0);
    ASSERT_EQ(b_.Exec("INSERT INTO t VALUES (2, 'y')"), 0);
    ASSERT_EQ(Scalar(a_, kill, {std::to_string(b_.BackendPid())}), "t");
    EXPECT_NE(b_.Exec("INSERT INTO t VALUES (3, 'z')"), 0);
    EXPECT_EQ(b_.LastError().nativeError, 17);
    EXPECT_EQ(b_.Depth(), 1);
    EXPECT_NE(b_.Query("INSERT INTO t VALUES ($1, 'w')", {"4"}, nullptr), 0) << "no autocommitted half of the unit";
    EXPECT_EQ(b_.LastError().nativeError, 17);
    EXPECT_NE(b_.Commit(), 0);
    EXPECT_EQ(b_.LastError().nativeError, 17);
    EXPECT_EQ(Count(a_), 1);
    EXPECT_EQ(Count(b_), 1) << "reconnected";
    // The failed unit says nothing of the next one.
    ASSERT_EQ(b_.Begin(), 0);
    ASSERT_EQ(b_.Exec("COMMIT"), 0);
    EXPECT_NE(b_.Rollback(), 0) << "nothing begun";
    EXPECT_EQ(b_.LastError().sqlState, "25000");

    // The same unit cut while its owner rolls back: the rollback ends it, the next one runs.
    ASSERT_EQ(b_.Begin(), 0);
    ASSERT_EQ(Scalar(a_, kill, {std::to_string(b_.BackendPid())}), "t");
    EXPECT_NE(b_.Exec("INSERT INTO t VALUES (5, 'v')"), 0);
    EXPECT_EQ(b_.Rollback(), 0);
    EXPECT_EQ(b_.Depth(), 0);
    ASSERT_EQ(b_.Begin(), 0);
    ASSERT_EQ(b_.Exec("INSERT INTO t VALUES (6, 'u')"), 0) << b_.LastError().description;
    ASSERT_EQ(b_.Commit(), 0);
    EXPECT_EQ(Count(a_), 2);
}

TEST_F(PgDriver, AnInsertWhoseReplyIsLostIsReportedAndNotWrittenTwice) {
    // The server commits the autocommitted INSERT; its reply never arrives.
    bool looking = false;  // the hook also sees the statements that look
    qv::sql::PgDb::SetAfterSendHookForTests([&](int socket) {
        if (std::exchange(looking, true)) return;
        for (int i = 0; i < 500 && Count(a_) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // The connection ends under libpq: its socket now reads the end of a closed pipe.
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return;
        ::close(pair[1]);
        ::dup2(pair[0], socket);
        ::close(pair[0]);
    });
    const int rc = b_.Query("INSERT INTO t VALUES ($1, 'once')", {"1"}, nullptr);
    qv::sql::PgDb::SetAfterSendHookForTests({});
    EXPECT_NE(rc, 0);
    EXPECT_EQ(b_.LastError().nativeError, 17);
    EXPECT_EQ(b_.LastError().sqlState, "08S01");
    EXPECT_EQ(Count(a_), 1);
    // The next statement runs on a new connection.
    EXPECT_EQ(Scalar(b_, "SELECT name FROM t"), "once");
    EXPECT_EQ(Count(a_), 1);
}

TEST_F(PgDriver, AServerThatNeverAnswersFailsTheConnectionWithinItsLimit) {
    // Takes the connection (the kernel does, from the backlog) and never says a word.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string url = "postgresql://qv@127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x";
    for (const auto& [query, limit] : {std::pair{std::string("?connect_timeout=2"), 2}, {std::string(), 5}}) {
        PgDb c;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_NE(c.Open(url + query), 0);
        const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, limit + 2) << query;
        EXPECT_GE(seconds, limit - 1) << query << ": the profile's limit, or the default";
        EXPECT_EQ(c.LastError().nativeError, 17);
        EXPECT_NE(c.LastError().description.find("127.0.0.1"), std::string::npos) << c.LastError().description;
        EXPECT_NE(c.LastError().description.find("timeout"), std::string::npos) << c.LastError().description;
    }
    ::close(listener);
}

TEST_F(PgDriver, ACancelNeverWaitsForAServerWhoseListenerStoppedAndArrivesWhenItGoesOn) {
    // The server's listening process stands still (its sessions run on): a cancel, which is a new
    // connection to it, gets no answer until it goes on, here after 4 s at the latest.
    qvtest::PgFaultProxy proxy(qvtest::PortOf(db_.url()));
    PgDb c;
    ASSERT_EQ(c.Open(proxy.Through(db_.url())), 0) << c.LastError().description;
    const auto interrupter = c.Interrupter();
    std::atomic<bool> ended{false};
    int rc = 0;
    std::string state;
    std::thread worker([&] {
        qv::sql::InterruptibleCall call(interrupter);
        rc = c.Exec("SELECT pg_sleep(60)");
        state = c.LastError().sqlState;
        ended = true;
    });
    for (int i = 0; i < 500 && Scalar(a_, "SELECT count(*) FROM pg_stat_activity WHERE query = 'SELECT pg_sleep(60)' "
                                          "AND state = 'active'") != "1";
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    proxy.Listen(false);
    std::atomic<bool> listening{false};
    std::thread resume([&] {
        for (int i = 0; i < 400 && !ended; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        listening = true;
        proxy.Listen(true);
    });
    interrupter->Interrupt();
    EXPECT_FALSE(listening) << "the cancel waited for the server's listener";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(ended) << "the statement ended with no cancel received";
    // Once the listener goes on, the cancel arrives and ends the statement, and no other.
    resume.join();
    worker.join();
    EXPECT_NE(rc, 0);
    EXPECT_EQ(state, qv::sql::kInterrupted);
    {
        qv::sql::InterruptibleCall call(interrupter);
        EXPECT_EQ(Scalar(c, "SELECT 1"), "1");
    }
}

// A server process stopped (SIGSTOP) for as long as the object lives.
class Stopped {
public:
    explicit Stopped(int pid) : pid_(pid) { ::kill(pid_, SIGSTOP); }
    ~Stopped() { Go(); }
    void Go() {
        if (const int pid = std::exchange(pid_, 0); pid > 0) ::kill(pid, SIGCONT);
    }

private:
    int pid_;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(PgDriver, AStatementWhoseServerStopsIsGivenUpAfterTheCommandTimeoutAndNeverRunsLater) {
    PgDb c;
    ASSERT_EQ(c.Open(db_.url()), 0) << c.LastError().description;
    ASSERT_EQ(c.SetStatementTimeout(1000), 0);
    const int first = c.BackendPid();
    {
        Stopped stopped(first);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_NE(c.Exec("INSERT INTO t VALUES (1, 'lost')"), 0);
        const double waited = SecondsSince(start);
        EXPECT_GE(waited, 1.0);
        EXPECT_LT(waited, 1.0 + 1.0) << "given up at the command timeout";
        // Sent, and not answered: whether it was stored is unknown, which no retry rule repeats
        // unless the caller marked the statement safe to repeat.
        EXPECT_EQ(c.LastError().hresult, kHrTimeout);
        EXPECT_EQ(c.LastError().nativeError, 17);
        EXPECT_EQ(c.LastError().sqlState, qv::sql::kLostInFlight);
        EXPECT_EQ(c.LastError().description.rfind("Der Datenbankserver antwortet nicht.\n"
                                                  "Ob die Änderungen gespeichert wurden, ist nicht bekannt.\n", 0), 0u)
            << c.LastError().description;
        // The next statement runs on a new connection while the old process still stands still.
        EXPECT_EQ(Scalar(c, "SELECT count(*) FROM t"), "0");
        EXPECT_NE(c.BackendPid(), first);
    }
    // Going on, the old process ends instead of running the statement it was sent.
    EXPECT_TRUE(Gone(first));
    EXPECT_EQ(Count(a_), 0);

    // Inside a transaction the unit of work is lost, and its owner is told so.
    ASSERT_EQ(c.Begin(), 0);
    ASSERT_EQ(c.Exec("INSERT INTO t VALUES (2, 'kept')"), 0);
    const int second = c.BackendPid();
    {
        Stopped stopped(second);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_NE(c.Exec("INSERT INTO t VALUES (3, 'lost')"), 0);
        EXPECT_LT(SecondsSince(start), 3.0);
        EXPECT_EQ(c.LastError().hresult, kHrTimeout);
        EXPECT_EQ(c.LastError().description.rfind("Der Datenbankserver antwortet nicht.\n"
                                                  "Keine der Änderungen wurde gespeichert.\n", 0), 0u)
            << c.LastError().description;
        EXPECT_EQ(c.Depth(), 1);
        EXPECT_NE(c.Commit(), 0);
        EXPECT_EQ(c.Rollback(), 0);
    }
    EXPECT_TRUE(Gone(second));
    EXPECT_EQ(Count(a_), 0);
    EXPECT_EQ(Count(c), 0);

    // A COMMIT given up may have been carried out: the owner is told that this is unknown, and
    // nothing else.
    ASSERT_EQ(c.Begin(), 0);
    ASSERT_EQ(c.Exec("INSERT INTO t VALUES (4, 'maybe')"), 0);
    {
        Stopped stopped(c.BackendPid());
        EXPECT_NE(c.Commit(), 0);
        EXPECT_EQ(c.LastError().sqlState, qv::sql::kLostInFlight);
        EXPECT_EQ(c.LastError().description.rfind("Der Datenbankserver antwortet nicht.\n"
                                                  "Ob die Änderungen gespeichert wurden, ist nicht bekannt.\n", 0), 0u)
            << c.LastError().description;
        EXPECT_EQ(c.LastError().description.find("Keine der Änderungen"), std::string::npos) << c.LastError().description;
        EXPECT_EQ(c.Depth(), 0);
    }
}

TEST_F(PgDriver, AnAnswerThatCameBeforeALateLookIsKeptWithItsTransaction) {
    // The server answers at once; the client looks only well past its bound (a busy machine):
    // the answer is taken, the connection and the transaction stay.
    PgDb c;
    ASSERT_EQ(c.Open(db_.url()), 0) << c.LastError().description;
    ASSERT_EQ(c.SetStatementTimeout(100), 0);
    ASSERT_EQ(c.Begin(), 0);
    ASSERT_EQ(c.Exec("INSERT INTO t VALUES (1, 'first')"), 0);
    bool late = false;
    PgDb::SetAfterSendHookForTests([&](int) {
        if (std::exchange(late, true)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(PgDb::ClientTimeoutMs(100) + 300));
    });
    const int rc = c.Exec("INSERT INTO t VALUES (2, 'answered')");
    PgDb::SetAfterSendHookForTests({});
    EXPECT_EQ(rc, 0) << c.LastError().description;
    EXPECT_EQ(c.Depth(), 1);
    EXPECT_EQ(c.Commit(), 0) << c.LastError().description;
    EXPECT_EQ(Count(a_), 2);
    // The server's own time-out keeps a margin before the client's that is no mere millisecond.
    for (int ms : {50, 100, 1000, 3000, 30000}) {
        EXPECT_GE(PgDb::ClientTimeoutMs(ms) - PgDb::ServerTimeoutMs(ms), 300) << ms;
        EXPECT_GT(PgDb::ServerTimeoutMs(ms), 0) << ms;
        if (ms >= 1000) EXPECT_EQ(PgDb::ClientTimeoutMs(ms), ms) << "the client waits the timeout";
    }
}

TEST_F(PgDriver, AWriteGivenUpWhileTheWholeServerStoodStillIsStoredOnceOrToldUnknown) {
    // Listener and server process stand still; the client gives the INSERT up at its bound. The
    // server goes on, and its process carries the INSERT out before any new connection could
    // end it. The caller's retry rules then repeat the statement only when it was marked safe to
    // repeat: told as a loss in flight, it is stored once.
    qvtest::PgFaultProxy proxy(qvtest::PortOf(db_.url()));
    ASSERT_EQ(a_.Exec("CREATE TABLE w (n serial PRIMARY KEY, note text)"), 0) << a_.LastError().description;
    PgDb c;
    ASSERT_EQ(c.Open(proxy.Through(db_.url())), 0) << c.LastError().description;
    ASSERT_EQ(c.SetStatementTimeout(1000), 0);
    const int pid = c.BackendPid();
    const std::string insert = "INSERT INTO w (note) VALUES ('once')";
    proxy.Listen(false);
    Stopped stopped(pid);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(c.Exec(insert), 0);
    EXPECT_LT(SecondsSince(start), 2.0);
    const qv::sql::ErrorInfo given = c.LastError();
    // The server goes on; its process runs what it was sent.
    stopped.Go();
    proxy.Listen(true);
    EXPECT_TRUE(Gone(pid) || Scalar(a_, "SELECT count(*) FROM w") == "1");
    for (int i = 0; i < 300 && Scalar(a_, "SELECT count(*) FROM w") == "0"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string stored = Scalar(a_, "SELECT count(*) FROM w");
    const auto failure = qv::db::Classify(given.hresult, given.nativeError, CString(given.sqlState.c_str()), false);
    EXPECT_EQ(failure, qv::db::Failure::LinkLost) << given.sqlState << " " << given.description;
    EXPECT_NE(given.description.find("Ob die Änderungen gespeichert wurden, ist nicht bekannt."), std::string::npos)
        << given.description;
    // As CQvADOConnection::Execute does for a statement not marked safe to repeat.
    const bool repeated = failure == qv::db::Failure::Timeout || failure == qv::db::Failure::ConnectTimeout ||
                          failure == qv::db::Failure::Deadlock;
    if (repeated) {
        std::this_thread::sleep_for(std::chrono::milliseconds(PgDb::ClientTimeoutMs(1000)));
        EXPECT_EQ(c.Exec(insert), 0) << c.LastError().description;
    }
    EXPECT_EQ(Scalar(a_, "SELECT count(*) FROM w"), stored == "0" && repeated ? "1" : stored);
    EXPECT_LE(std::stoi(Scalar(a_, "SELECT count(*) FROM w")), 1) << "written twice";
}

TEST_F(PgDriver, AServerThatTakesNoConnectionIsToldWithinTheCommandTimeoutAndUsedAgainWhenItGoesOn) {
    qvtest::PgFaultProxy proxy(qvtest::PortOf(db_.url()));
    PgDb c;
    ASSERT_EQ(c.Open(proxy.Through(db_.url())), 0) << c.LastError().description;
    ASSERT_EQ(c.SetStatementTimeout(1000), 0);
    proxy.Listen(false);
    {
        Stopped stopped(c.BackendPid());
        EXPECT_NE(c.Exec("SELECT 1"), 0);
        EXPECT_EQ(c.LastError().hresult, kHrTimeout);
        // The new connection waits for a listener that does not answer, within the same bound.
        const auto start = std::chrono::steady_clock::now();
        EXPECT_NE(c.Exec("SELECT 1"), 0);
        EXPECT_LT(SecondsSince(start), 3.0);
        EXPECT_EQ(c.LastError().nativeError, 17) << "a failure to connect, which may be repeated";
        EXPECT_EQ(c.LastError().sqlState, "08001");
        EXPECT_EQ(c.LastError().description.rfind("Der Datenbankserver antwortet nicht.\n", 0), 0u)
            << c.LastError().description;
        // The same piece of work tries no further connection for as long: it is told at once.
        const auto again = std::chrono::steady_clock::now();
        EXPECT_NE(c.Exec("SELECT 1"), 0);
        EXPECT_LT(SecondsSince(again), 0.2);
        EXPECT_EQ(c.LastError().sqlState, "08001");
    }
    proxy.Listen(true);
    // Then a connection is tried again.
    std::this_thread::sleep_for(std::chrono::milliseconds(PgDb::ClientTimeoutMs(1000)));
    EXPECT_EQ(Scalar(c, "SELECT 1"), "1");
}

TEST_F(PgDriver, ACancelThatArrivesLateEndsNoLaterStatement) {
    // The cancel of the first statement reaches the server only after it ended on its own: the
    // next statement waits for it to arrive rather than being the one it ends.
    qvtest::PgFaultProxy proxy(qvtest::PortOf(db_.url()));
    PgDb c;
    ASSERT_EQ(c.Open(proxy.Through(db_.url())), 0) << c.LastError().description;
    const auto interrupter = c.Interrupter();
    int first = 0;
    std::thread worker([&] {
        qv::sql::InterruptibleCall call(interrupter);
        first = c.Exec("SELECT pg_sleep(0.5)");
    });
    for (int i = 0; i < 500 && Scalar(a_, "SELECT count(*) FROM pg_stat_activity WHERE query = 'SELECT pg_sleep(0.5)' "
                                          "AND state = 'active'") != "1";
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    proxy.Listen(false);
    interrupter->Interrupt();
    worker.join();
    std::thread resume([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        proxy.Listen(true);
    });
    int second = 0;
    std::string state;
    {
        qv::sql::InterruptibleCall call(interrupter);
        second = c.Exec("SELECT pg_sleep(1)");
        state = c.LastError().sqlState;
    }
    resume.join();
    EXPECT_EQ(second, 0) << state << ": " << c.LastError().description;
    EXPECT_EQ(Scalar(c, "SELECT 1"), "1");
    (void)first;
}

TEST_F(PgDriver, BackslashesArePlainCharactersWhateverTheDatabasesDefault) {
    ASSERT_EQ(a_.Exec("ALTER DATABASE " + db_.name() + " SET standard_conforming_strings = off"), 0)
        << a_.LastError().description;
    PgDb c;
    ASSERT_EQ(c.Open(db_.url()), 0) << c.LastError().description;
    EXPECT_EQ(Scalar(c, "SELECT 'Mei\\' || 'er\\'"), "Mei\\er\\");
    EXPECT_EQ(Scalar(c, "SELECT 'C:\\' LIKE 'C:\\' ESCAPE ''"), "t");
    // A search word ending in a backslash, as the translated T-SQL of a search sends it.
    const qv::sql::PgRun run = qv::sql::RunBatch(c, "SELECT 'Meier\\' AS w WHERE 'Meier\\' LIKE '%er\\%'");
    ASSERT_EQ(run.result.rows.size(), 1u);
    EXPECT_EQ(run.result.rows[0][0].value_or("NULL"), "Meier\\");
    // And after the connection was lost and made again.
    EndSession(c);
    EXPECT_EQ(Scalar(c, "SHOW standard_conforming_strings"), "on");
    EXPECT_EQ(Scalar(c, "SELECT 'x\\'"), "x\\");
}

}  // namespace
