// Booking 1,000 persons one by one into runs of the demo database through the course API, with
// every check of a booking (double booking per year and per run, preconditions, absences, the
// reservation count, the notification queue and the user log; no online step), against 1,000
// plain INSERTs of the same rows on one connection; and the run's double-booking check through
// the course API against the same lookups prepared directly. QV_KURS_BENCH_DB names a database
// to copy instead of the demo (the canton database of bench_canton, build/canton/canton.db).
// Copies are made and synced to the disk outside the timing, so that their write-back does not
// slow the commits timed after them. The check's baseline is the API's own lookups as the
// translator gives them, prepared once; the hand-written lookups are printed beside.
// The second argument `pg` 1 runs the same on PostgreSQL (see benchpg.h), each time on a fresh
// database copied from one filled with the same demo data (the demo only, not QV_KURS_BENCH_DB).
#include "demodata.h"
#ifdef QV_BENCH_WITH_PG
#include "benchpg.h"
#include "pgdb.h"
#endif
#include "qvcomserver.h"
#include "qvdbserverlib.h"
#include "qvfinit.h"
#include "qvinteract.h"
#include "qvregvalue.h"
#include "qvrunning.h"
#include "serverhost.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "tsqlprogram.h"
#include "utf.h"
#include "vrqkurs.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>
#include <sys/resource.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kBookings = 1000;

struct Pair {
    long person;
    long kurs;
    long run;
    std::string date;  // the run's date, as the booking stores it
};

// Answers every box with its default button, as a user who accepts would.
class AcceptingInteraction : public qv::IInteraction {
public:
    int ShowMessageBox(const qv::MessageBoxRequest& r) override {
        ++boxes;
        Keep(r.text);
        return qv::DefaultAnswer(r.type);
    }
    void ShowReport(const qv::ReportRequest& r) override {
        ++reports;
        Keep(r.text);
    }
    // The first text shown since the last Take, to say why bookings failed.
    std::string Take() {
        std::lock_guard<std::mutex> lock(mutex);
        return qv::ToUtf8(std::exchange(first, std::wstring()));
    }
    int ShowSelection(const qv::SelectionRequest&) override { return 1; }
    void OpenWait(qv::WaitWindow&) override {}
    void UpdateWait(qv::WaitWindow&) override {}
    void CloseWait(qv::WaitWindow&) override {}
    INT_PTR RunModal(qv::IModalDialog& dialog) override {
        dialog.EndModal(IDCANCEL);
        return IDCANCEL;
    }
    std::atomic<int> boxes{0};
    std::atomic<int> reports{0};

private:
    void Keep(const std::wstring& text) {
        std::lock_guard<std::mutex> lock(mutex);
        if (first.empty()) first = text;
    }
    std::mutex mutex;
    std::wstring first;
};

// The host frame: offers the user log that runs in this process.
class Frame : public IQvFServerList {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (iid == IID_IUnknown || iid == IID_IQvFServerList) {
            *ppv = static_cast<IQvFServerList*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT Reserved() override { return E_NOTIMPL; }
    HRESULT ReleaseServer(CLSID) override { return S_OK; }
    HRESULT IsServerAvailable(CLSID) override { return S_OK; }
};

void Die(const std::string& why) {
    std::fprintf(stderr, "bench_kurs: %s\n", why.c_str());
    std::exit(1);
}

void RegisterModule(const char* path) {
    void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) Die(dlerror());
    auto reg = reinterpret_cast<HRESULT (*)()>(dlsym(lib, "DllRegisterServer"));
    if (!reg || FAILED(reg())) Die(std::string("cannot register ") + path);
    dlclose(lib);
}

struct Environment {
    std::string folder;
    std::string templateFile;
    std::vector<Pair> pairs;
    AcceptingInteraction interaction;
    Frame frame;
    int copies = 0;
    std::string current;  // the database of the last FreshDatabase
    std::string pgTemplate, pgCurrent;  // databases on the server

    Environment() {
        char tmpl[] = "/tmp/qvkurs-bench-XXXXXX";
        if (!mkdtemp(tmpl)) Die("no temporary folder");
        folder = tmpl;
        setenv("QV_REGISTRY", (folder + "/registry.db").c_str(), 1);
        setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
        RegisterModule(QV_ADO_SERVER_MODULE);
        RegisterModule(QV_DBSERVER_MODULE);
#ifdef QV_USERLOG_SERVER_MODULE
        RegisterModule(QV_USERLOG_SERVER_MODULE);
#endif
#ifdef QV_EVENT_SERVER_MODULE
        RegisterModule(QV_EVENT_SERVER_MODULE);
#endif
        qv::SetInteraction(&interaction);
        qv::RegisterRunningServer(QV_FRAME_PROGID, &frame);

        qv::suite::InstallSuiteDatabase();
        qv::suite::SetSystemID(1);
        templateFile = folder + "/demo.sqlite";
        {
            qv::sql::SqliteDb db;
            std::string error;
            if (const char* given = std::getenv("QV_KURS_BENCH_DB")) {
                std::filesystem::copy_file(given, templateFile);
                if (db.Open("sqlite:" + templateFile) != SQLITE_OK) Die(db.LastError().description);
            } else {
                if (db.Open("sqlite:" + templateFile) != SQLITE_OK) Die(db.LastError().description);
                if (qv::suite::CreateSchema(db.Handle(), &error) != SQLITE_OK) Die(error);
                if (qv::suite::GenerateDemoData(db.Handle(), 1, &error) != SQLITE_OK) Die(error);
            }
            db.Exec("UPDATE DataExchange SET fOnlineKursEnabled = 0");
            pairs = ChoosePairs(db.Handle());
            db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
        }
        if (static_cast<int>(pairs.size()) < kBookings) Die("the demo database has too few free persons");
    }

    // Distinct persons, each into an open run of a course he has no registration of, whose
    // preconditions he does not need to meet, at a date without absence.
    static std::vector<Pair> ChoosePairs(sqlite3* db) {
        auto rows = [db](const char* sql) {
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) Die(sqlite3_errmsg(db));
            std::vector<std::vector<std::string>> out;
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                std::vector<std::string> row;
                for (int i = 0; i < sqlite3_column_count(stmt); ++i)
                    row.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)));
                out.push_back(std::move(row));
            }
            sqlite3_finalize(stmt);
            return out;
        };
        const auto runs = rows(
            "SELECT lKursinstanzID, lKursID, dtDatum FROM Kursinstanz ki WHERE fGeschlossen = 0 AND NOT EXISTS "
            "(SELECT 1 FROM Kursprecondition pc WHERE pc.lKursID = ki.lKursID) ORDER BY lKursinstanzID");
        const auto persons = rows(
            "SELECT lPersonID FROM Person p WHERE fActive = 1 AND NOT EXISTS (SELECT 1 FROM Personabsenz a WHERE "
            "a.lPersonID = p.lPersonID) ORDER BY lPersonID");
        // Asked pair by pair: the registrations of a canton would not fit the memory measured.
        sqlite3_stmt* taken = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT 1 FROM PersonKurs WHERE lPersonID = ?1 AND lKursID = ?2", -1, &taken,
                               nullptr) != SQLITE_OK)
            Die(sqlite3_errmsg(db));
        auto known = [taken](const std::string& person, const std::string& kurs) {
            sqlite3_bind_int64(taken, 1, std::stoll(person));
            sqlite3_bind_int64(taken, 2, std::stoll(kurs));
            const bool found = sqlite3_step(taken) == SQLITE_ROW;
            sqlite3_reset(taken);
            return found;
        };
        std::vector<Pair> out;
        if (runs.empty()) {
            sqlite3_finalize(taken);
            return out;
        }
        std::size_t r = 0;
        for (const auto& person : persons) {
            if (static_cast<int>(out.size()) == kBookings) break;
            for (std::size_t tries = 0; tries < runs.size(); ++tries, ++r) {
                const auto& run = runs[r % runs.size()];
                if (known(person[0], run[1])) continue;
                out.push_back({std::stol(person[0]), std::stol(run[1]), std::stol(run[0]), run[2]});
                ++r;
                break;
            }
        }
        sqlite3_finalize(taken);
        return out;
    }

#ifdef QV_BENCH_WITH_PG
    // The server's address with another database in place of the benchmarks' own.
    static std::string PgDatabaseUrl(const std::string& name) {
        std::string url = qvbench::PgUrl(), query;
        const std::size_t slash = url.find('/', url.find("://") + 3);
        if (slash != std::string::npos) {
            const std::size_t q = url.find('?', slash);
            if (q != std::string::npos) query = url.substr(q);
            url.erase(slash);
        }
        return url + "/" + name + query;
    }

    static void Admin(const std::string& sql) {
        qv::sql::PgDb db;
        if (db.Open(qvbench::PgUrl()) != 0 || db.Exec(sql) != 0) Die(sql + ": " + db.LastError().description);
    }

    // The demo on the server once, the template of every fresh database there.
    void EnsurePgTemplate() {
        if (!pgTemplate.empty()) return;
        pgTemplate = "qvkurs_" + std::to_string(::getpid()) + "_demo";
        Admin("DROP DATABASE IF EXISTS " + pgTemplate);
        Admin("CREATE DATABASE " + pgTemplate);
        qv::suite::DemoFileOptions options;
        options.path = PgDatabaseUrl(pgTemplate);
        options.seed = 1;
        qv::suite::DemoFileReport report;
        std::string error;
        if (qv::suite::MakeDemoDatabase(options, &report, &error) != qv::suite::DemoFileResult::Built) Die(error);
        qv::sql::PgDb db;
        if (db.Open(options.path) != 0 || db.Exec("UPDATE DataExchange SET fOnlineKursEnabled = 0") != 0)
            Die(db.LastError().description);
    }

    void DropPgDatabases() {
        for (std::string* name : {&pgCurrent, &pgTemplate})
            if (!name->empty()) Admin("DROP DATABASE IF EXISTS " + *name + " WITH (FORCE)");
    }
#endif

    // A fresh copy of the demo database as the profile's database, with the servers restarted on
    // it.
    void FreshDatabase(bool pg = false) {
        qv::RevokeRunningServer(L"Qovaro.NQ2.UserLog");
        qv::RevokeRunningServer(L"Qovaro.QvEventServer");
        qv::servers::StopRunningServer(L"Qovaro.QvDBServer");
        std::string connection;
        if (pg) {
#ifdef QV_BENCH_WITH_PG
            EnsurePgTemplate();
            if (!pgCurrent.empty()) Admin("DROP DATABASE IF EXISTS " + pgCurrent + " WITH (FORCE)");
            pgCurrent = "qvkurs_" + std::to_string(::getpid()) + "_" + std::to_string(++copies);
            Admin("CREATE DATABASE " + pgCurrent + " TEMPLATE " + pgTemplate);
            connection = PgDatabaseUrl(pgCurrent);
#else
            Die("this build has no PostgreSQL driver");
#endif
        } else {
            const std::string file = folder + "/run" + std::to_string(++copies) + ".sqlite";
            std::filesystem::copy_file(templateFile, file);
            // The copies before are not used again: a canton's database is large.
            if (!current.empty()) {
                std::error_code ec;
                for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(current + suffix, ec);
            }
            current = file;
            connection = "sqlite:" + file;
            // The copy's pages reach the disk now, not while the bookings commit.
            ::sync();
        }
        CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DBConnection",
                              CString(qv::FromUtf8(connection).c_str()));
        if (FAILED(qv::servers::StartRunningServer(L"Qovaro.QvDBServer"))) Die("database server");
#ifdef QV_USERLOG_SERVER_MODULE
        qv::servers::StopRunningServer(L"Qovaro.NQ2.UserLog");
        if (FAILED(qv::servers::StartRunningServer(L"Qovaro.NQ2.UserLog"))) Die("user-log server");
#endif
#ifdef QV_EVENT_SERVER_MODULE
        qv::servers::StopRunningServer(L"Qovaro.QvEventServer");
        if (FAILED(qv::servers::StartRunningServer(L"Qovaro.QvEventServer"))) Die("event server");
#endif
        // The first connection to a file this process has not seen checks the file (seconds on a
        // canton): done here, before any timing.
        CQvADOConnection first;
        if (FAILED(first.Open(L"Qovaro.NQ2", 0))) Die("first connection to " + connection);
    }
};

Environment& Env() {
    static Environment* env = new Environment;
    return *env;
}

// Per database: [0] SQLite, [1] PostgreSQL.
double g_bookingSeconds[2] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
double g_pooledSeconds[2] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
double g_insertSeconds[2] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};

// Microseconds per check of the last run of each (SQLite): through the API [pooled], the
// translated lookups prepared once, the hand-written ones prepared once.
double g_checkMicros[2] = {0, 0};
double g_translatedMicros = 0;
double g_handMicros = 0;

double PerIteration(const benchmark::State& state, std::chrono::steady_clock::time_point start) {
    const double micros =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    return state.iterations() ? micros / double(state.iterations()) : 0;
}

// state.range(0) 1: one more connection of the profile stays open on the thread while the
// bookings run, so every connection of a booking joins its session instead of opening the
// database anew, as a pool of the database server would have it.
void BM_AddPersonToKurs(benchmark::State& state) {
    Environment& env = Env();
    const bool pooled = state.range(0) != 0;
    const int pg = state.range(1) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        env.FreshDatabase(pg);
        CQvADOConnection pool;
        if (pooled && FAILED(pool.Open(L"Qovaro.NQ2", 0))) Die("connection");
        state.ResumeTiming();
        env.interaction.Take();
        const auto start = std::chrono::steady_clock::now();
        int booked = 0;
        for (int i = 0; i < kBookings; ++i) {
            const Pair& p = env.pairs[i];
            CVRQKurs booking;
            long lPersonKursID = 0;
            EPersonKursStatus eStatus = ePersonKursStatusAngemeldet;
            if (booking.AddPersonToKurs(p.person, p.kurs, p.run, 2000, lPersonKursID, eStatus) == S_OK) ++booked;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        if (booked != kBookings) {
            state.SkipWithError(("only " + std::to_string(booked) + " booked: " + env.interaction.Take()).c_str());
            break;
        }
        double& best = pooled ? g_pooledSeconds[pg] : g_bookingSeconds[pg];
        best = std::min(best, seconds);
        state.ResumeTiming();
    }
    state.counters["bookings_per_s"] = benchmark::Counter(kBookings, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PlainInsert(benchmark::State& state) {
    Environment& env = Env();
    const int pg = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        env.FreshDatabase(pg);
        CQvADOConnection conn;
        if (FAILED(conn.Open(L"Qovaro.NQ2", 0))) Die("connection");
        std::vector<CString> statements;
        for (int i = 0; i < kBookings; ++i) {
            const Pair& p = env.pairs[i];
            CString sql;
            sql.Format(L"INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, lKursinstanzID, "
                       L"lKursinstanzGruppeID, lAbsenzgrundID, lKursleitungID, fTeilnehmer, lStatus, dtDatum, "
                       L"dtAnmeldung, strBemerkung, changedBy, fEntschuldigt, guid) VALUES (%d, %d, %d, %d, -1, -1, "
                       L"-1, 1, 0, '%s', '%s', '', dbo.fn_GetSystemID(), 0, '%s')",
                       900000 + i, p.person, p.kurs, p.run, CString(p.date.c_str()),
                       CString(L"2026-01-01 10:00:00"), CString(qv::GuidToString(qv::NewGuid(), false).c_str()));
            statements.push_back(sql);
        }
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        for (const CString& sql : statements)
            if (FAILED(conn.Execute(sql))) Die("insert");
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        g_insertSeconds[pg] = std::min(g_insertSeconds[pg], seconds);
        state.ResumeTiming();
    }
    state.counters["inserts_per_s"] = benchmark::Counter(kBookings, benchmark::Counter::kIsIterationInvariantRate);
}

// The run's double-booking check of a booking that it lets pass, through the course API;
// state.range(1) 1: with a connection of the profile held open, as in BM_AddPersonToKurs.
void BM_CheckThroughApi(benchmark::State& state) {
    Environment& env = Env();
    env.FreshDatabase(state.range(0) != 0);  // outside the timed loop
    CQvADOConnection pool;
    if (state.range(1) != 0 && FAILED(pool.Open(L"Qovaro.NQ2", 0))) Die("connection");
    std::size_t i = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const Pair& p = env.pairs[i++ % env.pairs.size()];
        if (VRQ_CheckKursinstanzDoppelbelegung(0, p.person, p.kurs, p.run) != S_OK) {
            state.SkipWithError("the check refused");
            break;
        }
    }
    if (state.range(0) == 0) g_checkMicros[state.range(1)] = PerIteration(state, start);
}

// The API's lookups of the check as it sends them (QvDBLookup's text) for a pair.
std::array<std::string, 3> CheckTexts(const Pair& p) {
    const std::string run = std::to_string(p.run), kurs = std::to_string(p.kurs), person = std::to_string(p.person);
    return {"SELECT TOP 2 fGeschlossen MyValue FROM Kursinstanz WHERE (lKursinstanzID = " + run + ")",
            "SELECT TOP 2 fMultiregistration MyValue FROM Kurs WHERE (lKursID = " + kurs + ")",
            "SELECT TOP 2 count(*) MyValue FROM PersonKurs JOIN Kursinstanz ON PersonKurs.lKursinstanzID = "
            "Kursinstanz.lKursinstanzID WHERE (lPersonKursID <> 0 AND PersonKurs.lKursID = " + kurs +
                " AND PersonKurs.lStatus <> 5 AND PersonKurs.lPersonID = " + person +
                " AND PersonKurs.lKursinstanzID <> -1 AND Kursinstanz.fGeschlossen = 0 AND year(Kursinstanz.dtDatum) = "
                "(SELECT year(dtDatum) FROM Kursinstanz WHERE lKursinstanzID = " + run + "))"};
}

// The same lookups as the translator gives them (one shared translation per lookup), each
// prepared once; every pair's values are bound as its shared translation takes them. Translating
// happens before the timing: this is what the check costs without the API around it.
void BM_CheckTranslated(benchmark::State& state) {
    Environment& env = Env();
    env.FreshDatabase();  // outside the timed loop, as the preparing below
    qv::sql::SqliteDb db;
    if (db.Open("sqlite:" + env.current) != SQLITE_OK) Die(db.LastError().description);
    const std::size_t pairs = std::min<std::size_t>(env.pairs.size(), 1000);
    std::vector<std::array<qv::tsql::SharedProgram, 3>> bound(pairs);
    for (std::size_t k = 0; k < pairs; ++k) {
        const std::array<std::string, 3> texts = CheckTexts(env.pairs[k]);
        for (std::size_t j = 0; j < texts.size(); ++j) bound[k][j] = qv::tsql::TranslateShared(texts[j]);
    }
    std::array<sqlite3_stmt*, 3> statements{};
    for (std::size_t j = 0; j < statements.size(); ++j) {
        const qv::tsql::Program& program = *bound[0][j].program;
        if (program.steps.size() != 1) Die("a lookup translates to more than one step");
        for (std::size_t k = 1; k < pairs; ++k)
            if (bound[k][j].program != bound[0][j].program) Die("a lookup's texts do not share their translation");
        if (sqlite3_prepare_v3(db.Handle(), program.steps[0].sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT,
                               &statements[j], nullptr) != SQLITE_OK)
            Die(sqlite3_errmsg(db.Handle()));
    }
    std::size_t i = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const std::array<qv::tsql::SharedProgram, 3>& values = bound[i++ % pairs];
        for (std::size_t j = 0; j < statements.size(); ++j) {
            sqlite3_stmt* st = statements[j];
            const qv::tsql::Program& program = *values[j].program;
            for (int slot : program.steps[0].params) {
                const qv::sql::Value& v = values[j].literals.at(static_cast<std::size_t>(slot - program.literalBase));
                if (const auto* n = std::get_if<std::int64_t>(&v))
                    sqlite3_bind_int64(st, slot + 1, *n);
                else if (const auto* t = std::get_if<std::string>(&v))
                    sqlite3_bind_text(st, slot + 1, t->data(), static_cast<int>(t->size()), SQLITE_STATIC);
                else
                    Die("a lookup binds a value other than a number or a text");
            }
            if (sqlite3_step(st) == SQLITE_ROW) benchmark::DoNotOptimize(sqlite3_column_int64(st, 0));
            sqlite3_reset(st);
        }
    }
    g_translatedMicros = PerIteration(state, start);
    for (sqlite3_stmt* st : statements) sqlite3_finalize(st);
}

// The same lookups prepared once and stepped directly: the run's closed flag, the course's
// multi-registration flag and the count of the person's open runs of the course in that year.
void BM_CheckDirect(benchmark::State& state) {
    Environment& env = Env();
    env.FreshDatabase();  // outside the timed loop, as the preparing below
    qv::sql::SqliteDb db;
    if (db.Open("sqlite:" + env.current) != SQLITE_OK) Die(db.LastError().description);
    const char* const kSql[] = {
        "SELECT fGeschlossen FROM Kursinstanz WHERE lKursinstanzID = ?1 LIMIT 2",
        "SELECT fMultiregistration FROM Kurs WHERE lKursID = ?2 LIMIT 2",
        "SELECT count(*) FROM PersonKurs JOIN Kursinstanz ON PersonKurs.lKursinstanzID = Kursinstanz.lKursinstanzID "
        "WHERE lPersonKursID <> 0 AND PersonKurs.lKursID = ?2 AND PersonKurs.lStatus <> 5 AND PersonKurs.lPersonID = ?3 "
        "AND PersonKurs.lKursinstanzID <> -1 AND Kursinstanz.fGeschlossen = 0 AND substr(Kursinstanz.dtDatum, 1, 4) = "
        "(SELECT substr(dtDatum, 1, 4) FROM Kursinstanz WHERE lKursinstanzID = ?1) LIMIT 2"};
    std::vector<sqlite3_stmt*> statements;
    for (const char* sql : kSql) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v3(db.Handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
            Die(sqlite3_errmsg(db.Handle()));
        statements.push_back(st);
    }
    std::size_t i = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const Pair& p = env.pairs[i++ % env.pairs.size()];
        for (sqlite3_stmt* st : statements) {
            sqlite3_bind_int64(st, 1, p.run);
            sqlite3_bind_int64(st, 2, p.kurs);
            if (sqlite3_bind_parameter_count(st) >= 3) sqlite3_bind_int64(st, 3, p.person);
            if (sqlite3_step(st) == SQLITE_ROW) benchmark::DoNotOptimize(sqlite3_column_int64(st, 0));
            sqlite3_reset(st);
        }
    }
    g_handMicros = PerIteration(state, start);
    for (sqlite3_stmt* st : statements) sqlite3_finalize(st);
}

// The same lookups as the system writes them, ids in the text, each text prepared anew.
void BM_CheckDirectText(benchmark::State& state) {
    Environment& env = Env();
    env.FreshDatabase();  // outside the timed loop
    qv::sql::SqliteDb db;
    if (db.Open("sqlite:" + env.current) != SQLITE_OK) Die(db.LastError().description);
    std::size_t i = 0;
    for (auto _ : state) {
        const Pair& p = env.pairs[i++ % env.pairs.size()];
        const std::string run = std::to_string(p.run), kurs = std::to_string(p.kurs), person = std::to_string(p.person);
        const std::string texts[] = {
            "SELECT fGeschlossen AS MyValue FROM Kursinstanz WHERE (lKursinstanzID = " + run + ") LIMIT 2",
            "SELECT fMultiregistration AS MyValue FROM Kurs WHERE (lKursID = " + kurs + ") LIMIT 2",
            "SELECT count(*) AS MyValue FROM PersonKurs JOIN Kursinstanz ON PersonKurs.lKursinstanzID = "
            "Kursinstanz.lKursinstanzID WHERE (lPersonKursID <> 0 AND PersonKurs.lKursID = " + kurs +
                " AND PersonKurs.lStatus <> 5 AND PersonKurs.lPersonID = " + person +
                " AND PersonKurs.lKursinstanzID <> -1 AND Kursinstanz.fGeschlossen = 0 AND substr(Kursinstanz.dtDatum, 1, "
                "4) = (SELECT substr(dtDatum, 1, 4) FROM Kursinstanz WHERE lKursinstanzID = " + run + ")) LIMIT 2"};
        for (const std::string& sql : texts) {
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &st, nullptr) != SQLITE_OK) Die(sqlite3_errmsg(db.Handle()));
            if (sqlite3_step(st) == SQLITE_ROW) benchmark::DoNotOptimize(sqlite3_column_int64(st, 0));
            sqlite3_finalize(st);
        }
    }
}

BENCHMARK(BM_CheckThroughApi)
    ->ArgNames({"pg", "pooled"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(0.5);
BENCHMARK(BM_CheckTranslated)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_CheckDirectText)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_CheckDirect)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

BENCHMARK(BM_AddPersonToKurs)
    ->ArgNames({"pooled", "pg"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(BM_PlainInsert)->ArgName("pg")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    constexpr double none = std::numeric_limits<double>::max();
    for (int pg = 0; pg < 2; ++pg) {
        if (g_insertSeconds[pg] == none) continue;
        std::printf("\n%s, best of each: %d plain INSERTs in %.3f s (%.0f per second)\n", pg ? "PostgreSQL" : "SQLite",
                    kBookings, g_insertSeconds[pg], kBookings / g_insertSeconds[pg]);
        for (const auto& [name, seconds] : {std::pair{"bookings", g_bookingSeconds[pg]},
                                            std::pair{"bookings, pooled session", g_pooledSeconds[pg]}}) {
            if (seconds < none)
                std::printf("%d %s in %.3f s (%.0f per second); a booking costs %.1f plain INSERTs\n", kBookings,
                            name, seconds, kBookings / seconds, seconds / g_insertSeconds[pg]);
        }
    }
    if (g_translatedMicros > 0) {
        for (int pooled = 0; pooled < 2; ++pooled) {
            if (g_checkMicros[pooled] <= 0) continue;
            std::printf("check through the API%s: %.1f us = %.1fx its translated lookups prepared once (%.1f us); "
                        "%.1fx the hand-written lookups prepared once (%.1f us)\n",
                        pooled ? ", pooled session" : "", g_checkMicros[pooled],
                        g_checkMicros[pooled] / g_translatedMicros, g_translatedMicros,
                        g_handMicros > 0 ? g_checkMicros[pooled] / g_handMicros : 0.0, g_handMicros);
        }
    }
    const std::string folder = Env().folder;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory (resident): %.1f MB, of it SQLite's heap at most %.1f MB\n", double(usage.ru_maxrss) / 1024.0,
                double(sqlite3_memory_highwater(0)) / 1e6);
    benchmark::Shutdown();
#ifdef QV_BENCH_WITH_PG
    qv::servers::StopRunningServer(L"Qovaro.QvDBServer");
    Env().DropPgDatabases();
#endif
    std::filesystem::remove_all(folder);
    return 0;
}
