// The SQLite driver on real database files: opening, locking, transaction depth, error mapping
// and the statement cache.
#include "extensions.h"
#include "sqlitedb.h"
#include "tempdir.h"
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

using qv::sql::SqliteDb;

std::string Scalar(SqliteDb& db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    std::string out = "<error>";
    if (sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
        int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            auto t = sqlite3_column_text(st, 0);
            out = t ? reinterpret_cast<const char*>(t) : "NULL";
        } else if (rc == SQLITE_DONE) {
            out = "<no row>";
        }
    }
    sqlite3_finalize(st);
    return out;
}

class Driver : public ::testing::Test {
protected:
    std::string File() const { return "sqlite:" + dir_.file("qv.db"); }
    void OpenBoth() {
        ASSERT_EQ(a_.Open(File()), SQLITE_OK) << a_.LastError().description;
        ASSERT_EQ(b_.Open(File()), SQLITE_OK) << b_.LastError().description;
        ASSERT_EQ(a_.Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT UNIQUE)"), SQLITE_OK);
    }
    int Rows(SqliteDb& db) { return std::stoi(Scalar(db, "SELECT count(*) FROM t")); }

    qvtest::TempDir dir_;
    SqliteDb a_, b_;
};

// ---- opening -------------------------------------------------------------------------------

TEST_F(Driver, OpensAFileInMissingFoldersWithTheSuiteSettings) {
    std::string path = dir_.file("a/b/kurs.db");
    ASSERT_EQ(a_.Open("sqlite:" + path), SQLITE_OK) << a_.LastError().description;
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(a_.Path(), path);
    EXPECT_EQ(Scalar(a_, "PRAGMA journal_mode"), "wal");
    EXPECT_EQ(Scalar(a_, "PRAGMA foreign_keys"), "1");
    EXPECT_EQ(Scalar(a_, "PRAGMA synchronous"), "1");  // NORMAL
    EXPECT_EQ(Scalar(a_, "PRAGMA busy_timeout"), "5000");
    EXPECT_EQ(Scalar(a_, "SELECT tsql_len('Müller  ')"), "6") << "runtime installed";
    a_.SetBusyTimeout(250);
    EXPECT_EQ(Scalar(a_, "PRAGMA busy_timeout"), "250");
}

TEST_F(Driver, AcceptsTheConnectionStringForms) {
    ASSERT_EQ(a_.Open("sqlite://" + dir_.file("x.db")), SQLITE_OK);
    EXPECT_EQ(a_.Path(), dir_.file("x.db"));
    ASSERT_EQ(a_.Open("SQLite::memory:"), SQLITE_OK);
    EXPECT_EQ(Scalar(a_, "PRAGMA journal_mode"), "memory");
    EXPECT_EQ(Scalar(a_, "PRAGMA foreign_keys"), "1");
    ASSERT_EQ(b_.Open("sqlite:///" + dir_.file("y.db").substr(1)), SQLITE_OK);
    EXPECT_EQ(b_.Path(), dir_.file("y.db"));
}

TEST_F(Driver, AFileWithoutWritePermissionIsReadAndLeftAsItIs) {
    const std::string path = dir_.file("nur lesen #1 100%?/qv.db");
    ASSERT_EQ(a_.Open("sqlite:" + path), SQLITE_OK) << a_.LastError().description;
    ASSERT_EQ(a_.Exec("CREATE TABLE t (id INTEGER PRIMARY KEY); INSERT INTO t VALUES (7)"), SQLITE_OK);
    a_.Close();
    using std::filesystem::perms;
    std::filesystem::permissions(path, perms::owner_read | perms::group_read | perms::others_read);
    const auto size = std::filesystem::file_size(path);
    ASSERT_EQ(a_.Open("sqlite:" + path), SQLITE_OK) << a_.LastError().description;
    EXPECT_TRUE(a_.IsReadOnly());
    EXPECT_EQ(Scalar(a_, "SELECT id FROM t"), "7");
    EXPECT_NE(a_.Exec("INSERT INTO t VALUES (8)"), SQLITE_OK);
    a_.Close();
    EXPECT_EQ(std::filesystem::file_size(path), size);
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
        EXPECT_EQ(entry.path().filename(), "qv.db") << "left behind: " << entry.path();
}

TEST_F(Driver, RefusesWhatItCannotOpen) {
    EXPECT_EQ(a_.Open("postgresql://host/db"), SQLITE_CANTOPEN);
    EXPECT_FALSE(a_.IsOpen());
    EXPECT_EQ(a_.LastError().sqlState, "08001");
    EXPECT_EQ(a_.LastError().hresult, qv::sql::kHrFail);
    EXPECT_EQ(a_.Open("sqlite:"), SQLITE_CANTOPEN);
    // A folder where the file should be.
    std::filesystem::create_directories(dir_.file("folder.db"));
    EXPECT_EQ(a_.Open("sqlite:" + dir_.file("folder.db")) & 0xFF, SQLITE_CANTOPEN);
    EXPECT_EQ(a_.LastError().sqlState, "08001");
    EXPECT_NE(a_.LastError().description.find("folder.db"), std::string::npos);
    EXPECT_FALSE(a_.IsOpen());
    // A file that is no database.
    std::ofstream(dir_.file("text.db")) << std::string(600, 'x');
    EXPECT_NE(a_.Open("sqlite:" + dir_.file("text.db")), SQLITE_OK);
    EXPECT_FALSE(a_.IsOpen());
    // Also one without write permission.
    std::filesystem::permissions(dir_.file("folder.db"),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_NE(a_.Open("sqlite:" + dir_.file("folder.db")), SQLITE_OK);
    EXPECT_FALSE(a_.IsOpen());
    EXPECT_EQ(a_.LastError().sqlState, "08001") << a_.LastError().description;
}

TEST_F(Driver, RunsInitializersAfterTheRuntime) {
    qv::sql::RegisterConnectionInitializer("driver-test", [](sqlite3* db) {
        // Uses the runtime, so it must already be there.
        sqlite3_exec(db, "CREATE TEMP TABLE init AS SELECT tsql_upper('ä') v", nullptr, nullptr, nullptr);
    });
    ASSERT_EQ(a_.Open("sqlite::memory:"), SQLITE_OK);
    EXPECT_EQ(Scalar(a_, "SELECT v FROM init"), "Ä");

    qv::sql::RegisterConnectionInitializer("driver-test", [](sqlite3*) { throw std::runtime_error("no schema"); });
    EXPECT_NE(b_.Open("sqlite::memory:"), SQLITE_OK);
    EXPECT_FALSE(b_.IsOpen());
    EXPECT_NE(b_.LastError().description.find("no schema"), std::string::npos);
    qv::sql::RegisterConnectionInitializer("driver-test", [](sqlite3*) {});
}

// ---- locking -------------------------------------------------------------------------------

TEST_F(Driver, BusyDatabaseMapsToTheTimeoutCode) {
    OpenBoth();
    ASSERT_EQ(a_.Begin(), SQLITE_OK);
    ASSERT_EQ(a_.Exec("INSERT INTO t (name) VALUES ('a')"), SQLITE_OK);
    b_.SetBusyTimeout(50);

    int rc = b_.Exec("INSERT INTO t (name) VALUES ('b')");
    EXPECT_EQ(rc & 0xFF, SQLITE_BUSY);
    const auto& e = b_.LastError();
    EXPECT_EQ(e.hresult, static_cast<std::int32_t>(0x80040E31u));
    EXPECT_EQ(e.sqlState, "HYT00");
    EXPECT_EQ(e.nativeError, rc);
    EXPECT_FALSE(e.description.empty());

    EXPECT_EQ(b_.Begin() & 0xFF, SQLITE_BUSY) << "a writer's Begin waits for the lock, then times out";
    EXPECT_EQ(b_.Depth(), 0);
    EXPECT_EQ(b_.LastError().hresult, qv::sql::kHrTimeout);

    EXPECT_EQ(Rows(b_), 0) << "readers go on under WAL and see only committed rows";
    ASSERT_EQ(a_.Commit(), SQLITE_OK);
    EXPECT_EQ(b_.Exec("INSERT INTO t (name) VALUES ('b')"), SQLITE_OK);
    EXPECT_EQ(Rows(b_), 2);
}

// ---- transactions --------------------------------------------------------------------------

TEST_F(Driver, NestedCommitCommitsOnlyAtTheOutermostLevel) {
    OpenBoth();
    EXPECT_EQ(a_.Depth(), 0);
    ASSERT_EQ(a_.Begin(), SQLITE_OK);
    ASSERT_EQ(a_.Begin(), SQLITE_OK);
    EXPECT_EQ(a_.Depth(), 2);
    ASSERT_EQ(a_.Exec("INSERT INTO t (name) VALUES ('inner')"), SQLITE_OK);
    ASSERT_EQ(a_.Commit(), SQLITE_OK);
    EXPECT_EQ(a_.Depth(), 1);
    EXPECT_EQ(Rows(b_), 0) << "the inner commit must not commit";
    ASSERT_EQ(a_.Commit(), SQLITE_OK);
    EXPECT_EQ(a_.Depth(), 0);
    EXPECT_EQ(Rows(b_), 1);
    EXPECT_EQ(a_.Rollback(), SQLITE_ERROR) << "nothing begun after the commit";
    // A transaction begun by a plain BEGIN statement counts as one level.
    ASSERT_EQ(a_.Exec("BEGIN"), SQLITE_OK);
    EXPECT_EQ(a_.Depth(), 1);
    ASSERT_EQ(a_.Rollback(), SQLITE_OK);
    EXPECT_EQ(a_.Depth(), 0);
}

TEST_F(Driver, RollbackAtAnyDepthRollsBackEverything) {
    OpenBoth();
    ASSERT_EQ(a_.Begin(), SQLITE_OK);
    ASSERT_EQ(a_.Exec("INSERT INTO t (name) VALUES ('outer')"), SQLITE_OK);
    ASSERT_EQ(a_.Begin(), SQLITE_OK);
    ASSERT_EQ(a_.Exec("INSERT INTO t (name) VALUES ('inner')"), SQLITE_OK);
    ASSERT_EQ(a_.Rollback(), SQLITE_OK);
    EXPECT_EQ(a_.Depth(), 0);
    EXPECT_EQ(Rows(a_), 0);
    // The outer level's commit now has nothing to commit.
    EXPECT_EQ(a_.Commit(), SQLITE_ERROR);
    EXPECT_NE(a_.LastError().description.find("no corresponding BEGIN"), std::string::npos);
    EXPECT_EQ(a_.Rollback(), SQLITE_ERROR);
    EXPECT_EQ(Rows(b_), 0);
}

TEST_F(Driver, ATransactionTheEngineRolledBackIsNotReportedCommitted) {
    OpenBoth();
    ASSERT_EQ(a_.Exec("INSERT INTO t (name) VALUES ('dup')"), SQLITE_OK);
    ASSERT_EQ(a_.Begin(), SQLITE_OK);
    ASSERT_EQ(a_.Begin(), SQLITE_OK);
    ASSERT_EQ(a_.Exec("INSERT INTO t (name) VALUES ('lost')"), SQLITE_OK);
    EXPECT_NE(a_.Exec("INSERT OR ROLLBACK INTO t (name) VALUES ('dup')"), SQLITE_OK);
    // The unit of work stays failed with that error: nothing of it runs autocommitted.
    EXPECT_EQ(a_.Depth(), 2);
    EXPECT_EQ(a_.Exec("INSERT INTO t (name) VALUES ('after')"), SQLITE_CONSTRAINT_UNIQUE);
    EXPECT_EQ(a_.Begin(), SQLITE_CONSTRAINT_UNIQUE);
    EXPECT_EQ(a_.Commit(), SQLITE_CONSTRAINT_UNIQUE) << "the inner commit reports it too";
    EXPECT_EQ(a_.Commit(), SQLITE_CONSTRAINT_UNIQUE);
    EXPECT_NE(a_.LastError().description.find("Nothing was committed"), std::string::npos);
    EXPECT_EQ(a_.Depth(), 0);
    EXPECT_EQ(a_.Rollback(), SQLITE_OK) << "the owner's rollback after a failed commit has nothing left to do";
    EXPECT_EQ(Rows(b_), 1);
    ASSERT_EQ(a_.Begin(), SQLITE_OK) << "the connection is usable again";
    ASSERT_EQ(a_.Commit(), SQLITE_OK);

    // A full disk: the engine rolls the whole transaction back; the unit stays failed until its
    // owner rolls back.
    ASSERT_EQ(a_.Exec("CREATE TABLE big (b BLOB)"), SQLITE_OK);
    const std::string limit = Scalar(a_, "PRAGMA page_count");
    ASSERT_EQ(a_.Exec("PRAGMA max_page_count = " + std::to_string(std::stoi(limit) + 4)), SQLITE_OK);
    ASSERT_EQ(a_.Begin(), SQLITE_OK);
    ASSERT_EQ(a_.Exec("INSERT INTO t (name) VALUES ('1')"), SQLITE_OK);
    EXPECT_EQ(a_.Exec("INSERT INTO big VALUES (zeroblob(100000))") & 0xFF, SQLITE_FULL);
    EXPECT_EQ(a_.Exec("INSERT INTO t (name) VALUES ('3')") & 0xFF, SQLITE_FULL);
    EXPECT_NE(a_.LastError().description.find("full"), std::string::npos) << a_.LastError().description;
    EXPECT_EQ(a_.Commit() & 0xFF, SQLITE_FULL);
    EXPECT_EQ(Rows(b_), 1) << "nothing of the unit was committed";
    ASSERT_EQ(a_.Exec("INSERT INTO t (name) VALUES ('later')"), SQLITE_OK);
    EXPECT_EQ(Rows(b_), 2);
}

TEST_F(Driver, ClosingRollsBackAnOpenTransaction) {
    OpenBoth();
    ASSERT_EQ(a_.Begin(), SQLITE_OK);
    ASSERT_EQ(a_.Exec("INSERT INTO t (name) VALUES ('x')"), SQLITE_OK);
    a_.Close();
    EXPECT_EQ(Rows(b_), 0);
    EXPECT_EQ(b_.Exec("INSERT INTO t (name) VALUES ('y')"), SQLITE_OK) << "the lock went with it";
    // A connection that wrote leaves planner statistics behind, the first ones of the file too.
    b_.Close();
    ASSERT_EQ(a_.Open(File()), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(a_.Handle(), "SELECT tbl FROM sqlite_stat1", -1, &st, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))), "t");
    sqlite3_finalize(st);
    // Opening again closes the connection it had, with its transaction.
    ASSERT_EQ(a_.Begin(), SQLITE_OK);
    ASSERT_EQ(a_.Exec("INSERT INTO t (name) VALUES ('z')"), SQLITE_OK);
    ASSERT_EQ(a_.Open(File()), SQLITE_OK);
    EXPECT_EQ(a_.Exec("INSERT INTO t (name) VALUES ('w')"), SQLITE_OK) << "no lock left behind";
}

// A statement inside a transaction keeps an undo copy of every page it changes (its statement
// journal); a large one must spill to its temporary file and still commit, in either journal mode.
TEST_F(Driver, AStatementWhoseUndoCopiesOutgrowMemoryCommitsInEveryJournalMode) {
    for (const char* mode : {"wal", "delete"}) {
        SCOPED_TRACE(mode);
        std::string path = dir_.file(std::string("big-") + mode + ".db");
        ASSERT_EQ(a_.Open("sqlite:" + path), SQLITE_OK) << a_.LastError().description;
        ASSERT_EQ(Scalar(a_, std::string("PRAGMA journal_mode = ") + mode), mode);
        ASSERT_EQ(a_.Exec("CREATE TABLE w (a INTEGER PRIMARY KEY, b TEXT UNIQUE)"), SQLITE_OK);
        ASSERT_EQ(a_.Begin(), SQLITE_OK);
        ASSERT_EQ(a_.Exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40000) "
                          "INSERT INTO w (b) SELECT printf('%08d', i) || substr(hex(zeroblob(96)), 1, 192) FROM n"),
                  SQLITE_OK) << a_.LastError().description;
        EXPECT_EQ(a_.Exec("UPDATE w SET b = b || 'x'"), SQLITE_OK) << a_.LastError().description;
        EXPECT_EQ(a_.Commit(), SQLITE_OK) << a_.LastError().description;
        EXPECT_EQ(Scalar(a_, "SELECT count(*) FROM w WHERE b LIKE '%x'"), "40000");
        a_.Close();
    }
}

// ---- errors --------------------------------------------------------------------------------

TEST_F(Driver, ConstraintAndSyntaxErrorsAreMapped) {
    OpenBoth();
    ASSERT_EQ(a_.Exec("INSERT INTO t (name) VALUES ('a')"), SQLITE_OK);
    EXPECT_EQ(a_.Exec("INSERT INTO t (name) VALUES ('a')"), SQLITE_CONSTRAINT_UNIQUE);
    auto e = a_.LastError();
    EXPECT_EQ(e.hresult, static_cast<std::int32_t>(0x80004005u));
    EXPECT_EQ(e.nativeError, SQLITE_CONSTRAINT_UNIQUE);
    EXPECT_EQ(e.sqlState, "23000");
    EXPECT_NE(e.description.find("UNIQUE constraint failed"), std::string::npos);

    ASSERT_EQ(a_.Exec("CREATE TABLE child (tid INTEGER REFERENCES t(id))"), SQLITE_OK);
    EXPECT_EQ(a_.Exec("INSERT INTO child VALUES (99)"), SQLITE_CONSTRAINT_FOREIGNKEY);
    EXPECT_EQ(a_.LastError().sqlState, "23000");

    EXPECT_EQ(a_.Exec("SELEKT 1"), SQLITE_ERROR);
    EXPECT_EQ(a_.LastError().sqlState, "42000");
    EXPECT_NE(a_.LastError().description.find("syntax error"), std::string::npos);

    // A misspelt name in double quotes (as the translator quotes names) is an error, not a text.
    EXPECT_EQ(a_.Exec("SELECT \"NoSuchCol\" FROM (SELECT 1 AS a) x"), SQLITE_ERROR);
    EXPECT_EQ(a_.LastError().sqlState, "42000");
    EXPECT_NE(a_.LastError().description.find("no such column: NoSuchCol"), std::string::npos);
    EXPECT_EQ(a_.Exec("CREATE INDEX t_missing ON t (\"nme\")"), SQLITE_ERROR);

    EXPECT_EQ(a_.Exec("SELECT tsql_convert('int', 'abc')"), SQLITE_ERROR);
    EXPECT_NE(a_.LastError().description.find("'abc'"), std::string::npos);
}

TEST(MapError, ClassifiesEveryFamily) {
    using qv::sql::MapError;
    for (int rc : {SQLITE_BUSY, SQLITE_BUSY_SNAPSHOT, SQLITE_BUSY_RECOVERY, SQLITE_LOCKED, SQLITE_LOCKED_SHAREDCACHE}) {
        auto e = MapError(rc, "locked");
        EXPECT_EQ(e.hresult, qv::sql::kHrTimeout) << rc;
        EXPECT_EQ(e.sqlState, "HYT00") << rc;
        EXPECT_EQ(e.nativeError, rc);
        EXPECT_EQ(e.description, std::string(qv::sql::kHeldByOther) + "\nlocked") << rc;
    }
    EXPECT_EQ(MapError(SQLITE_CONSTRAINT_NOTNULL, "").sqlState, "23000");
    EXPECT_EQ(MapError(SQLITE_CANTOPEN_ISDIR, "").sqlState, "08001");
    EXPECT_EQ(MapError(SQLITE_CANTOPEN_ISDIR, "").nativeError, SQLITE_CANTOPEN_ISDIR);
    EXPECT_EQ(MapError(SQLITE_READONLY, "").sqlState, "HY000");
    EXPECT_EQ(MapError(SQLITE_READONLY, "").hresult, qv::sql::kHrFail);
    EXPECT_EQ(MapError(SQLITE_IOERR_WRITE, "").sqlState, "HY000");
    EXPECT_EQ(MapError(SQLITE_READONLY, "").description, "attempt to write a readonly database");
    EXPECT_EQ(MapError(SQLITE_OK, "").hresult, 0);
}

// ---- statement cache -----------------------------------------------------------------------

TEST_F(Driver, StatementCacheReusesIdleStatementsOnly) {
    ASSERT_EQ(a_.Open("sqlite::memory:", {5000, 2}), SQLITE_OK);
    auto* cache = qv::sql::StatementCache::For(a_.Handle());
    ASSERT_EQ(cache, a_.Statements());
    EXPECT_EQ(qv::sql::StatementCache::For(nullptr), nullptr);

    sqlite3_stmt* first = nullptr;
    {
        auto l = cache->Acquire("SELECT ?1");
        ASSERT_TRUE(l);
        first = l.get();
        sqlite3_bind_int(first, 1, 7);
        ASSERT_EQ(sqlite3_step(first), SQLITE_ROW);
    }
    auto again = cache->Acquire("SELECT ?1");
    EXPECT_EQ(again.get(), first) << "prepared once";
    ASSERT_EQ(sqlite3_step(again.get()), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_type(again.get(), 0), SQLITE_NULL) << "given back reset and unbound";
    {
        // The same text while the first is running gets its own statement.
        auto nested = cache->Acquire("SELECT ?1");
        EXPECT_NE(nested.get(), first);
        EXPECT_EQ(sqlite3_step(nested.get()), SQLITE_ROW);
        EXPECT_EQ(sqlite3_step(again.get()), SQLITE_DONE);
    }
    again = {};
    EXPECT_EQ(cache->Size(), 1u) << "one idle statement per text";

    { auto x = cache->Acquire("SELECT 2"); }
    { auto x = cache->Acquire("SELECT 3"); }
    EXPECT_EQ(cache->Size(), 2u) << "bounded";
    auto evicted = cache->Acquire("SELECT ?1");
    EXPECT_EQ(cache->Size(), 2u) << "the least recently used went first";

    int rc = SQLITE_OK;
    EXPECT_FALSE(cache->Acquire("SELEKT", &rc));
    EXPECT_EQ(rc, SQLITE_ERROR);
}

// Texts with their ids written in are all different: a count alone would let a thousand of them
// hold megabytes.
TEST_F(Driver, StatementCacheIsBoundedByTheMemoryItsStatementsHold) {
    constexpr std::size_t kBudget = 256 * 1024;
    ASSERT_EQ(a_.Open("sqlite::memory:", {5000, 1024, kBudget}), SQLITE_OK);
    ASSERT_EQ(a_.Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, a TEXT, b TEXT, c TEXT)"), SQLITE_OK);
    auto* cache = a_.Statements();
    ASSERT_EQ(cache->MaxBytes(), kBudget);
    auto text = [](int id) {
        std::string sql = "SELECT id";
        for (int i = 0; i < 20; ++i) sql += ", a || b || c || '" + std::to_string(i) + "'";
        return sql + " FROM t WHERE id = " + std::to_string(id);
    };
    sqlite3_stmt* last = nullptr;
    for (int id = 1; id <= 300; ++id) {
        auto lease = cache->Acquire(text(id));
        ASSERT_TRUE(lease);
        last = lease.get();
        EXPECT_LE(cache->Bytes(), kBudget) << "after " << id << " statements";
    }
    EXPECT_GT(cache->Size(), 1u);
    EXPECT_LT(cache->Size(), 300u) << "the memory bound, not the count, limits";
    EXPECT_GT(cache->Bytes(), 0u);
    EXPECT_EQ(cache->Acquire(text(300)).get(), last) << "the newest stays";

    // One statement larger than the whole budget is not kept at all.
    ASSERT_EQ(b_.Open("sqlite::memory:", {5000, 1024, 1024}), SQLITE_OK);
    ASSERT_EQ(b_.Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, a TEXT, b TEXT, c TEXT)"), SQLITE_OK);
    { auto big = b_.Statements()->Acquire(text(1)); }
    EXPECT_EQ(b_.Statements()->Size(), 0u);
    EXPECT_EQ(b_.Statements()->Bytes(), 0u);

    cache->Clear();
    EXPECT_EQ(cache->Bytes(), 0u);
    // A statement that fills the budget exactly is kept.
    { auto lease = cache->Acquire(text(1)); }
    const std::size_t one = cache->Bytes();
    cache->Clear();
    qv::sql::StatementCache exact(a_.Handle(), 8, one);
    { auto lease = exact.Acquire(text(1)); }
    EXPECT_EQ(exact.Size(), 1u);
}

TEST_F(Driver, StatementCacheKeepsItsEntriesThroughClearAndDiscard) {
    ASSERT_EQ(a_.Open("sqlite::memory:", {5000, 8}), SQLITE_OK);
    auto* cache = a_.Statements();
    sqlite3_stmt* kept = nullptr;
    {
        auto lease = cache->Acquire("SELECT 1");
        kept = lease.get();
        EXPECT_EQ(cache->Size(), 1u) << "held while lent";
    }
    {
        auto lease = cache->Acquire("SELECT 1");
        EXPECT_EQ(lease.get(), kept);
        // Cleared while lent: the lease still runs, and nothing is kept when it comes back.
        cache->Clear();
        EXPECT_EQ(cache->Size(), 0u);
        EXPECT_EQ(sqlite3_step(lease.get()), SQLITE_ROW);
    }
    EXPECT_EQ(cache->Size(), 0u);
    EXPECT_EQ(cache->Bytes(), 0u);
    {
        auto lease = cache->Acquire("SELECT 2");
        ASSERT_EQ(cache->Size(), 1u);
        lease.Discard();
        EXPECT_FALSE(lease);
        EXPECT_EQ(cache->Size(), 0u) << "a discarded statement leaves the cache";
    }
    auto fresh = cache->Acquire("SELECT 2");
    ASSERT_TRUE(fresh);
    EXPECT_EQ(sqlite3_step(fresh.get()), SQLITE_ROW);
}

TEST_F(Driver, StatementLentOutSurvivesClosingTheConnection) {
    ASSERT_EQ(a_.Open("sqlite:" + dir_.file("c.db")), SQLITE_OK);
    sqlite3* handle = a_.Handle();
    auto lease = a_.Statements()->Acquire("SELECT 1");
    ASSERT_TRUE(lease);
    a_.Close();
    EXPECT_EQ(qv::sql::StatementCache::For(handle), nullptr);
    EXPECT_EQ(sqlite3_step(lease.get()), SQLITE_ROW);
    lease = {};  // finalizes; the connection closes with it
}

}  // namespace
