// The same work on both databases, driver against driver: a single-row lookup by key (prepared
// once, key bound; and as the system sends it, T-SQL with the key written in, translated and
// run), and a booking (a transaction that takes the next number from a counter row
// and inserts a registration); opening a connection, by the driver and through a connection
// object of the ADO layer, which the system opens and closes for every check and booking.
// PostgreSQL runs in a private cluster on loopback unless QV_BENCH_PG names a database
// ("postgresql://…").
#include "pgcluster.h"
#include "pgdb.h"
#include "pgexec.h"
#include "qvado.h"
#include "utf.h"
#include "sqlitedb.h"
#include "tsqlexec.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

constexpr int kRows = 1000;
constexpr const char* kSchema =
    "CREATE TABLE Kurs (lKursID INTEGER PRIMARY KEY, strBezeichnung TEXT NOT NULL, lTyp INTEGER, lPlaetze INTEGER);"
    "CREATE TABLE PersonKurs (lPersonKursID INTEGER PRIMARY KEY, lKursID INTEGER NOT NULL, lPersonID INTEGER NOT NULL);";

[[noreturn]] void Die(const std::string& why) {
    std::fprintf(stderr, "bench_pg: %s\n", why.c_str());
    std::exit(1);
}

struct Pg {
    std::string stateDir;
    std::unique_ptr<qvtest::PgTestDatabase> db;
    std::string url;
    ~Pg() {
        db.reset();
        if (!stateDir.empty()) qvtest::StopPgCluster(stateDir);
    }
};

const std::string& PgUrl() {
    static Pg pg;
    static const std::string& url = [] () -> const std::string& {
        if (const char* given = std::getenv("QV_BENCH_PG")) {
            pg.url = given;
        } else {
            try {
                pg.stateDir =
                    (std::filesystem::temp_directory_path() / ("qvpg-bench-" + std::to_string(::getpid()))).string();
                qvtest::StartPgCluster(pg.stateDir, static_cast<int>(::getpid()));
                ::setenv("QV_TEST_PG_DIR", pg.stateDir.c_str(), 1);
                pg.db = std::make_unique<qvtest::PgTestDatabase>();
                pg.url = pg.db->url();
            } catch (const std::exception& e) {
                Die(std::string("no PostgreSQL server (") + e.what() + "); QV_BENCH_PG names one");
            }
        }
        qv::sql::PgDb db;
        if (db.Open(pg.url) != 0 || db.Exec("DROP TABLE IF EXISTS Kurs, PersonKurs") != 0 || db.Exec(kSchema) != 0 ||
            db.Exec("INSERT INTO Kurs SELECT i, 'Kurs Nummer ' || i, i % 7, 0 FROM generate_series(1, 1000) i") != 0) {
            Die("the tables on PostgreSQL: " + db.LastError().description);
        }
        return pg.url;
    }();
    return url;
}

// The folder goes with the process (a static's destructor, so the path is still there).
struct SqliteFolder {
    std::string path;
    ~SqliteFolder() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
};

const std::string& SqliteFile() {
    static SqliteFolder folder;
    static const std::string file = [] {
        char name[] = "/tmp/qvpg-bench-sqlite-XXXXXX";
        if (!mkdtemp(name)) Die("no temporary folder");
        folder.path = name;
        const std::string path = folder.path + "/kurs.db";
        qv::sql::SqliteDb db;
        if (db.Open("sqlite:" + path) != SQLITE_OK || db.Exec(kSchema) != SQLITE_OK ||
            db.Exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
                    "INSERT INTO Kurs SELECT i, 'Kurs Nummer ' || i, i % 7, 0 FROM n") != SQLITE_OK) {
            Die("the tables on SQLite: " + db.LastError().description);
        }
        return path;
    }();
    return file;
}

// SQLite: one prepared statement from the driver's cache, bound and stepped.
std::string SqliteScalar(qv::sql::SqliteDb& db, const char* sql, long key) {
    auto st = db.Statements()->Acquire(sql);
    sqlite3_bind_int64(st.get(), 1, key);
    std::string out;
    if (sqlite3_step(st.get()) == SQLITE_ROW) out = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
    return out;
}

void BM_Lookup_SQLite(benchmark::State& state) {
    qv::sql::SqliteDb db;
    if (db.Open("sqlite:" + SqliteFile()) != SQLITE_OK) Die(db.LastError().description);
    long id = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SqliteScalar(db, "SELECT strBezeichnung FROM Kurs WHERE lKursID = ?1", id++ % kRows + 1));
    }
}

void BM_Lookup_PostgreSQL(benchmark::State& state) {
    qv::sql::PgDb db;
    if (db.Open(PgUrl()) != 0) Die(db.LastError().description);
    long id = 0;
    qv::sql::PgRows rows;
    for (auto _ : state) {
        db.Query("SELECT strBezeichnung FROM Kurs WHERE lKursID = $1", {std::to_string(id++ % kRows + 1)}, &rows);
        benchmark::DoNotOptimize(rows.rows);
    }
}

std::string LookupText(long id) {
    return "SELECT TOP 2 strBezeichnung MyValue FROM Kurs WHERE (lKursID = " + std::to_string(id) + ")";
}

void BM_TsqlLookup_SQLite(benchmark::State& state) {
    qv::sql::SqliteDb db;
    if (db.Open("sqlite:" + SqliteFile()) != SQLITE_OK) Die(db.LastError().description);
    long id = 0;
    for (auto _ : state) {
        qv::tsql::Execution run = qv::tsql::Execute(db.Handle(), LookupText(id++ % kRows + 1));
        if (run.Next()) benchmark::DoNotOptimize(run.Get(0));
    }
}

void BM_TsqlLookup_PostgreSQL(benchmark::State& state) {
    qv::sql::PgDb db;
    if (db.Open(PgUrl()) != 0) Die(db.LastError().description);
    long id = 0;
    for (auto _ : state) {
        qv::sql::PgRun run = qv::sql::RunBatch(db, LookupText(id++ % kRows + 1));
        benchmark::DoNotOptimize(run.result.rows);
    }
}

void BM_Booking_SQLite(benchmark::State& state) {
    qv::sql::SqliteDb db;
    if (db.Open("sqlite:" + SqliteFile()) != SQLITE_OK) Die(db.LastError().description);
    long n = 0;
    for (auto _ : state) {
        const long course = n++ % kRows + 1;
        db.Begin();
        {
            auto up = db.Statements()->Acquire("UPDATE Kurs SET lPlaetze = lPlaetze + 1 WHERE lKursID = ?1");
            sqlite3_bind_int64(up.get(), 1, course);
            if (sqlite3_step(up.get()) != SQLITE_DONE) state.SkipWithError(sqlite3_errmsg(db.Handle()));
        }
        {
            auto ins = db.Statements()->Acquire("INSERT INTO PersonKurs (lPersonKursID, lKursID, lPersonID) VALUES ("
                                                   "(SELECT coalesce(max(lPersonKursID), 0) + 1 FROM PersonKurs), ?1, ?1)");
            sqlite3_bind_int64(ins.get(), 1, course);
            if (sqlite3_step(ins.get()) != SQLITE_DONE) state.SkipWithError(sqlite3_errmsg(db.Handle()));
        }
        if (db.Commit() != SQLITE_OK) state.SkipWithError("commit failed");
        if (state.error_occurred()) break;
    }
}

void BM_Booking_PostgreSQL(benchmark::State& state) {
    qv::sql::PgDb db;
    if (db.Open(PgUrl()) != 0) Die(db.LastError().description);
    long n = 0;
    for (auto _ : state) {
        const std::string course = std::to_string(n++ % kRows + 1);
        if (db.Begin() != 0 || db.Query("UPDATE Kurs SET lPlaetze = lPlaetze + 1 WHERE lKursID = $1", {course}, nullptr) != 0 ||
            db.Query("INSERT INTO PersonKurs (lPersonKursID, lKursID, lPersonID) VALUES ("
                     "(SELECT coalesce(max(lPersonKursID), 0) + 1 FROM PersonKurs), $1::int, $1::int)",
                     {course}, nullptr) != 0 ||
            db.Commit() != 0) {
            state.SkipWithError(db.LastError().description.c_str());
            break;
        }
    }
}

void BM_Open_SQLite(benchmark::State& state) {
    const std::string cs = "sqlite:" + SqliteFile();  // the file is made before the timing
    for (auto _ : state) {
        qv::sql::SqliteDb db;
        if (db.Open(cs) != SQLITE_OK) Die(db.LastError().description);
        benchmark::DoNotOptimize(SqliteScalar(db, "SELECT strBezeichnung FROM Kurs WHERE lKursID = ?1", 1));
    }
}

void BM_Open_PostgreSQL(benchmark::State& state) {
    qv::sql::PgRows rows;
    const std::string url = PgUrl();  // the server is started before the timing
    for (auto _ : state) {
        qv::sql::PgDb db;
        if (db.Open(url) != 0) Die(db.LastError().description);
        db.Query("SELECT strBezeichnung FROM Kurs WHERE lKursID = $1", {"1"}, &rows);
    }
}

// A connection object opened, one lookup, closed: the pool keeps the session between them.
void ConnectionObject(benchmark::State& state, const std::string& cs) {
    BSTR text = SysAllocString(qv::FromUtf8(cs).c_str());
    BSTR sql = SysAllocString(L"SELECT strBezeichnung FROM Kurs WHERE lKursID = 1");
    for (auto _ : state) {
        qv::ado::ComPtr<_Connection> c;
        qv::ado::CreateInstance(CLSID_Connection, nullptr, IID__Connection, reinterpret_cast<void**>(&c));
        if (FAILED(c->Open(text, nullptr, nullptr, 0))) Die("a connection object cannot open " + cs);
        _Recordset* rs = nullptr;
        if (FAILED(c->Execute(sql, nullptr, adCmdText, &rs))) Die("a lookup fails through a connection object on " + cs);
        rs->Release();
        c->Close();
    }
    SysFreeString(sql);
    SysFreeString(text);
}

void BM_ConnectionObject_SQLite(benchmark::State& state) { ConnectionObject(state, "sqlite:" + SqliteFile()); }
void BM_ConnectionObject_PostgreSQL(benchmark::State& state) { ConnectionObject(state, PgUrl()); }

}  // namespace

BENCHMARK(BM_Open_SQLite);
BENCHMARK(BM_Open_PostgreSQL);
BENCHMARK(BM_ConnectionObject_SQLite);
BENCHMARK(BM_ConnectionObject_PostgreSQL);
BENCHMARK(BM_Lookup_SQLite);
BENCHMARK(BM_Lookup_PostgreSQL);
BENCHMARK(BM_TsqlLookup_SQLite);
BENCHMARK(BM_TsqlLookup_PostgreSQL);
BENCHMARK(BM_Booking_SQLite);
BENCHMARK(BM_Booking_PostgreSQL);

BENCHMARK_MAIN();
