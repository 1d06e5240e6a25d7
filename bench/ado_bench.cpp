// A single-value lookup as the system runs it (T-SQL text with the key written in, through the
// connection and recordset objects: open, read the one column, close) against the same query
// prepared once and run directly on SQLite (bind, step, read, reset). The ADO lookups run on
// SQLite and on PostgreSQL side by side (see benchpg.h for the server).
#include "olevariant.h"
#ifdef QV_BENCH_WITH_PG
#include "benchpg.h"
#include "pgdb.h"
#endif
#include "qvado.h"
#include "utf.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using qv::ado::ComPtr;

constexpr int kRows = 1000;

[[noreturn]] void Die(const std::string& why) {
    std::fprintf(stderr, "bench_ado: %s\n", why.c_str());
    std::exit(1);
}

// The run's temporary folder, removed when the process ends.
struct TempFolder {
    std::string path;
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

// A database file with the table Kurs of kRows rows, made once per run.
const std::string& DatabaseFile() {
    static const TempFolder folder = [] {
        char name[] = "/tmp/qvado-bench-XXXXXX";
        if (!mkdtemp(name)) Die("no temporary folder");
        return TempFolder{name};
    }();
    static const std::string file = [] {
        std::string path = folder.path + "/kurs.db";
        sqlite3* db = nullptr;
        if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
            sqlite3_exec(db,
                         "PRAGMA journal_mode=WAL;"
                         "CREATE TABLE Kurs (lKursID INTEGER PRIMARY KEY, strBezeichnung TEXT NOT NULL, lTyp INTEGER);"
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
                         "INSERT INTO Kurs SELECT i, 'Kurs Nummer ' || i, i % 7 FROM n;",
                         nullptr, nullptr, nullptr) != SQLITE_OK)
            Die(path + ": " + sqlite3_errmsg(db));
        sqlite3_close(db);
        return path;
    }();
    return file;
}

VARIANT Missing() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

std::wstring LookupText(long id) {
    return L"SELECT TOP 2 strBezeichnung MyValue FROM Kurs WHERE (lKursID = " + std::to_wstring(id) + L")";
}

enum class Db { SQLite, PostgreSQL };

#ifdef QV_BENCH_WITH_PG
// The same table on the server, made once per run (a database that has it already keeps it).
const std::string& PgDatabase() {
    static const std::string url = [] {
        qv::sql::PgDb db;
        if (db.Open(qvbench::PgUrl()) != 0 ||
            db.Exec("CREATE TABLE IF NOT EXISTS Kurs (lKursID integer PRIMARY KEY, strBezeichnung text NOT NULL, lTyp integer)") != 0 ||
            db.Exec("INSERT INTO Kurs (lKursID, strBezeichnung, lTyp) SELECT i, 'Kurs Nummer ' || i, i % 7 "
                    "FROM generate_series(1, 1000) i ON CONFLICT DO NOTHING; ANALYZE Kurs") != 0) {
            Die(db.LastError().description);
        }
        return qvbench::PgUrl();
    }();
    return url;
}
#endif

ComPtr<_Connection> OpenConnection(Db which = Db::SQLite) {
    ComPtr<_Connection> c;
    qv::ado::CreateInstance(CLSID_Connection, nullptr, IID__Connection, reinterpret_cast<void**>(&c));
    std::wstring cs = L"sqlite:" + qv::FromUtf8(DatabaseFile());
#ifdef QV_BENCH_WITH_PG
    if (which == Db::PostgreSQL) cs = qv::FromUtf8(PgDatabase());
#else
    (void)which;
#endif
    BSTR b = SysAllocString(cs.c_str());
    if (FAILED(c->Open(b, nullptr, nullptr, 0))) Die("a connection object cannot open " + qv::ToUtf8(cs));
    SysFreeString(b);
    return c;
}

// One lookup: open forward-only and read-only, read MyValue, close.
void Lookup(Recordset20* rs, const COleVariant& text, const COleVariant& column) {
    if (FAILED(rs->Open(text, Missing(), adOpenForwardOnly, adLockReadOnly, adCmdText))) Die("a lookup fails through ADO");
    VARIANT_BOOL eof = VARIANT_TRUE;
    rs->get_EOF(&eof);
    COleVariant value;
    if (!eof) rs->get_Collect(column, &value);
    benchmark::DoNotOptimize(value.bstrVal);
    rs->Close();
}

void BM_AdoLookup(benchmark::State& state, Db which) {
    ComPtr<_Connection> c = OpenConnection(which);
    ComPtr<Recordset20> rs;
    qv::ado::CreateInstance(CLSID_Recordset, nullptr, IID_Recordset20, reinterpret_cast<void**>(&rs));
    rs->putref_ActiveConnection(c.get());
    std::vector<COleVariant> texts;
    for (long id = 1; id <= kRows; ++id) texts.emplace_back(LookupText(id).c_str());
    const COleVariant column(L"MyValue");
    std::size_t i = 0;
    for (auto _ : state) {
        Lookup(rs.get(), texts[i], column);
        if (++i == texts.size()) i = 0;
    }
    // What SQLite holds, mostly the prepared statements of the 1,000 texts.
    if (which == Db::SQLite) state.counters["sqlite_MB"] = static_cast<double>(sqlite3_memory_used()) / 1e6;
}
BENCHMARK_CAPTURE(BM_AdoLookup, SQLite, Db::SQLite);
#ifdef QV_BENCH_WITH_PG
BENCHMARK_CAPTURE(BM_AdoLookup, PostgreSQL, Db::PostgreSQL);
#endif

// Every text seen for the first time: translation and preparation included.
void BM_AdoLookupUnseenText(benchmark::State& state, Db which) {
    ComPtr<_Connection> c = OpenConnection(which);
    ComPtr<Recordset20> rs;
    qv::ado::CreateInstance(CLSID_Recordset, nullptr, IID_Recordset20, reinterpret_cast<void**>(&rs));
    rs->putref_ActiveConnection(c.get());
    const COleVariant column(L"MyValue");
    static long next = 1;
    for (auto _ : state) {
        state.PauseTiming();
        // Keys beyond the table's: texts nobody has run before, the row looked up is missing.
        const COleVariant text(LookupText(kRows + next++).c_str());
        state.ResumeTiming();
        Lookup(rs.get(), text, column);
    }
}
BENCHMARK_CAPTURE(BM_AdoLookupUnseenText, SQLite, Db::SQLite);
#ifdef QV_BENCH_WITH_PG
BENCHMARK_CAPTURE(BM_AdoLookupUnseenText, PostgreSQL, Db::PostgreSQL);
#endif

void BM_DirectLookup(benchmark::State& state) {
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_open(DatabaseFile().c_str(), &db) != SQLITE_OK ||
        sqlite3_prepare_v3(db, "SELECT strBezeichnung AS MyValue FROM Kurs WHERE (lKursID = ?1) LIMIT 2", -1,
                           SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
        Die(sqlite3_errmsg(db));
    long id = 1;
    for (auto _ : state) {
        sqlite3_bind_int64(stmt, 1, id);
        std::string value;
        if (sqlite3_step(stmt) == SQLITE_ROW) {
            value.assign(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                         static_cast<std::size_t>(sqlite3_column_bytes(stmt, 0)));
        }
        benchmark::DoNotOptimize(value.data());
        sqlite3_reset(stmt);
        if (++id > kRows) id = 1;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}
BENCHMARK(BM_DirectLookup);

}  // namespace

BENCHMARK_MAIN();
