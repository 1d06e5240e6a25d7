// Booking 1,000 persons one by one into runs of the demo database through the course API, with
// every check of a booking (double booking per year and per run, preconditions, absences, the
// reservation count, the notification queue and the user log; no online step), against 1,000
// plain INSERTs of the same rows on one connection.
#include "demodata.h"
#include "qvcomserver.h"
#include "qvdbserverlib.h"
#include "qvfinit.h"
#include "qvinteract.h"
#include "qvregvalue.h"
#include "qvrunning.h"
#include "serverhost.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "utf.h"
#include "vrqkurs.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
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
        return qv::DefaultAnswer(r.type);
    }
    void ShowReport(const qv::ReportRequest&) override { ++reports; }
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
            if (db.Open("sqlite:" + templateFile) != SQLITE_OK) Die(db.LastError().description);
            std::string error;
            if (qv::suite::CreateSchema(db.Handle(), &error) != SQLITE_OK) Die(error);
            if (qv::suite::GenerateDemoData(db.Handle(), 1, &error) != SQLITE_OK) Die(error);
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
        const auto taken = rows("SELECT DISTINCT lPersonID || ':' || lKursID FROM PersonKurs");
        std::vector<std::string> known;
        for (const auto& t : taken) known.push_back(t[0]);
        std::sort(known.begin(), known.end());
        std::vector<Pair> out;
        if (runs.empty()) return out;
        std::size_t r = 0;
        for (const auto& person : persons) {
            if (static_cast<int>(out.size()) == kBookings) break;
            for (std::size_t tries = 0; tries < runs.size(); ++tries, ++r) {
                const auto& run = runs[r % runs.size()];
                if (std::binary_search(known.begin(), known.end(), person[0] + ":" + run[1])) continue;
                out.push_back({std::stol(person[0]), std::stol(run[1]), std::stol(run[0]), run[2]});
                ++r;
                break;
            }
        }
        return out;
    }

    // A fresh copy of the demo database as the profile's database, with the servers restarted on
    // it.
    void FreshDatabase() {
        qv::RevokeRunningServer(L"Qovaro.NQ2.UserLog");
        qv::RevokeRunningServer(L"Qovaro.QvEventServer");
        qv::servers::StopRunningServer(L"Qovaro.QvDBServer");
        const std::string file = folder + "/run" + std::to_string(++copies) + ".sqlite";
        std::filesystem::copy_file(templateFile, file);
        CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DBConnection",
                              CString(qv::FromUtf8("sqlite:" + file).c_str()));
        if (FAILED(qv::servers::StartRunningServer(L"Qovaro.QvDBServer"))) Die("database server");
#ifdef QV_USERLOG_SERVER_MODULE
        qv::servers::StopRunningServer(L"Qovaro.NQ2.UserLog");
        if (FAILED(qv::servers::StartRunningServer(L"Qovaro.NQ2.UserLog"))) Die("user-log server");
#endif
#ifdef QV_EVENT_SERVER_MODULE
        qv::servers::StopRunningServer(L"Qovaro.QvEventServer");
        if (FAILED(qv::servers::StartRunningServer(L"Qovaro.QvEventServer"))) Die("event server");
#endif
    }
};

Environment& Env() {
    static Environment* env = new Environment;
    return *env;
}

double g_bookingSeconds = std::numeric_limits<double>::max();
double g_pooledSeconds = std::numeric_limits<double>::max();
double g_insertSeconds = std::numeric_limits<double>::max();

// state.range(0) 1: one more connection of the profile stays open on the thread while the
// bookings run, so every connection of a booking joins its session instead of opening the
// database anew, as a pool of the database server would have it.
void BM_AddPersonToKurs(benchmark::State& state) {
    Environment& env = Env();
    const bool pooled = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        env.FreshDatabase();
        CQvADOConnection pool;
        if (pooled && FAILED(pool.Open(L"Qovaro.NQ2", 0))) Die("connection");
        state.ResumeTiming();
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
        if (booked != kBookings) state.SkipWithError(("only " + std::to_string(booked) + " booked").c_str());
        double& best = pooled ? g_pooledSeconds : g_bookingSeconds;
        best = std::min(best, seconds);
        state.ResumeTiming();
    }
    state.counters["bookings_per_s"] = benchmark::Counter(kBookings, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PlainInsert(benchmark::State& state) {
    Environment& env = Env();
    for (auto _ : state) {
        state.PauseTiming();
        env.FreshDatabase();
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
        g_insertSeconds = std::min(g_insertSeconds, seconds);
        state.ResumeTiming();
    }
    state.counters["inserts_per_s"] = benchmark::Counter(kBookings, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_AddPersonToKurs)->ArgName("pooled")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PlainInsert)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    constexpr double none = std::numeric_limits<double>::max();
    if (g_insertSeconds < none) {
        std::printf("\nbest of each: %d plain INSERTs in %.3f s (%.0f per second)\n", kBookings, g_insertSeconds,
                    kBookings / g_insertSeconds);
        for (const auto& [name, seconds] : {std::pair{"bookings", g_bookingSeconds},
                                            std::pair{"bookings, pooled session", g_pooledSeconds}}) {
            if (seconds < none)
                std::printf("%d %s in %.3f s (%.0f per second); a booking costs %.1f plain INSERTs\n", kBookings,
                            name, seconds, kBookings / seconds, seconds / g_insertSeconds);
        }
    }
    benchmark::Shutdown();
    std::filesystem::remove_all(Env().folder);
    return 0;
}
