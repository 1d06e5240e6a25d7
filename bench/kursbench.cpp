#include "kursbench.h"

#include "demodata.h"
#include "historydlg.h"
#include "kursint.h"
#include "framestartup.h"
#include "ikursinstanz.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "tsqlprogram.h"
#ifdef QV_BENCH_WITH_PG
#include "benchpg.h"
#include "pgdb.h"
#endif
#include "uidriver.h"

#include <dirent.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace kursbench {

void Die(const std::string& why) {
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, why.c_str());
    std::exit(1);
}

void Exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) Die(error ? error : sql);
}

long FirstKursID(sqlite3* db) {
    long lKursID = 0;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT lKursID FROM Kurs ORDER BY lKursID LIMIT 1", -1, &stmt, nullptr);
    if (stmt && sqlite3_step(stmt) == SQLITE_ROW) lKursID = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    if (lKursID == 0) Die("the demo database has no courses");
    return lKursID;
}

void FillArchive(sqlite3* db, long lKursID, long persons, long registrations) {
    const std::string kurs = std::to_string(lKursID);
    // Above the registrations there are (the canton's reach beyond 2,000,000).
    long long firstID = 2000000;
    {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT ifnull(max(lPersonKursID), 0) + 1 FROM PersonKurs", -1, &st, nullptr);
        if (st && sqlite3_step(st) == SQLITE_ROW) firstID = std::max(firstID, (long long)sqlite3_column_int64(st, 0));
        sqlite3_finalize(st);
    }
    Exec(db, "DELETE FROM PersonKurs WHERE lKursID = " + kurs);
    Exec(db, "DELETE FROM CustFieldValue WHERE guid = 'd4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d'");
    Exec(db, "INSERT INTO CustFieldValue (guid, lCFTypeID, lID, strValue) VALUES "
             "('d4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d', -1, -1, '6')");
    Exec(db, "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(persons - 1) +
                 ") INSERT INTO Person (lPersonID, lMandantID, strName, strVorname, lOrtID, fWeiblich, fActive) "
                 "SELECT 900000 + i, (SELECT min(lMandantID) FROM Mandant), 'Archiv' || i, 'Vorname', "
                 "(SELECT max(lOrtID) FROM Ort), i % 2, 1 FROM n");
    Exec(db, "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                 std::to_string(registrations - 1) + ") INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, "
                 "lKursinstanzID, lStatus, dtDatum, dtAnmeldung, fTeilnehmer) SELECT " + std::to_string(firstID) +
                 " + i, 900000 + i % " +
                 std::to_string(persons) + ", " + kurs + ", -1, CASE i % 4 WHEN 0 THEN 1 WHEN 1 THEN 2 WHEN 2 THEN 5 "
                 "ELSE 6 END, printf('%04d-05-01 00:00:00', 2000 + i % 20), printf('%04d-04-01 00:00:00', 2000 + i % "
                 "20), CASE WHEN i % 10 = 0 THEN 0 ELSE 1 END FROM n");
}

void AcceptingInteraction::ShowReport(const qv::ReportRequest& r) {
    if (m_bPrintReports) std::fprintf(stderr, "%s: report %ls\n", program_invocation_short_name, r.text.c_str());
}

namespace {

std::string g_folder;
std::string g_database;

// A temporary folder with its own registry and the window system; the database goes into it.
void PrepareFolder(const char* tmpl, qv::IInteraction& interaction) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    g_folder = tmpl;
    if (!mkdtemp(g_folder.data())) Die("no temporary folder");
    // The database and its registry go with the program, however it ends.
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(g_folder, ignored);
    });
    setenv("QV_REGISTRY", (g_folder + "/registry.db").c_str(), 1);
    setenv("XDG_DATA_HOME", (g_folder + "/data").c_str(), 1);
    if (!qv::ui::EnsureApplication()) Die("no window system");
    qv::SetInteraction(&interaction);
    qv::suite::InstallSuiteDatabase();
}

// Registers the frame's servers and modules for the database.
void RegisterFrame() {
    QvFrameConfigure(g_database, false);
    std::vector<std::string> libraries = QvFrameServerLibraries();
    for (const std::string& module : QvFrameModuleLibraries()) libraries.push_back(module);
    for (const auto& [path, hr] : QvFrameRegisterLibraries(libraries))
        Die("cannot register " + path + " (" + std::to_string(hr) + ")");
}

void Complete(sqlite3* db, const std::function<void(sqlite3*)>& fill) {
    Exec(db, "UPDATE DataExchange SET fOnlineKursEnabled = 0");
    fill(db);
    Exec(db, "PRAGMA wal_checkpoint(TRUNCATE)");
}

std::string CantonPath() {
    if (const char* p = std::getenv("QV_CANTON_DB")) return p;
    return QV_CANTON_DIR "/canton.db";
}

}  // namespace

const std::string& DatabasePath() { return g_database; }

void PrepareDemo(const char* tmpl, qv::IInteraction& interaction, const std::function<void(sqlite3*)>& fill) {
    PrepareFolder(tmpl, interaction);
    g_database = g_folder + "/demo.sqlite";
    {
        qv::sql::SqliteDb db;
        if (db.Open("sqlite:" + g_database) != SQLITE_OK) Die(db.LastError().description);
        std::string error;
        if (qv::suite::CreateSchema(db.Handle(), &error) != SQLITE_OK) Die(error);
        if (qv::suite::GenerateDemoData(db.Handle(), 1, &error) != SQLITE_OK) Die(error);
        Complete(db.Handle(), fill);
    }
    RegisterFrame();
}

void PrepareCanton(const char* tmpl, qv::IInteraction& interaction, const std::function<void(sqlite3*)>& fill) {
    PrepareFolder(tmpl, interaction);
    const std::string canton = CantonPath();
    if (!std::filesystem::exists(canton)) {
        // As bench_canton builds it.
        std::fprintf(stderr, "%s: building %s\n", program_invocation_short_name, canton.c_str());
        std::filesystem::create_directories(std::filesystem::path(canton).parent_path());
        qv::suite::DemoFileOptions options;
        options.path = canton;
        options.baseYear = 2026;
        options.force = true;
        options.scale.persons = 100000;
        options.scale.registrations = 1000000;
        qv::suite::DemoFileReport report;
        std::string error;
        if (qv::suite::MakeDemoDatabase(options, &report, &error) != qv::suite::DemoFileResult::Built) Die(error);
    }
    g_database = g_folder + "/canton.sqlite";
    {
        // The write-ahead log goes into the file before the copy.
        qv::sql::SqliteDb db;
        if (db.Open("sqlite:" + canton) != SQLITE_OK) Die(db.LastError().description);
        Exec(db.Handle(), "PRAGMA wal_checkpoint(TRUNCATE)");
    }
    std::filesystem::copy_file(canton, g_database);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) Die("no child process for the fixture");
    if (child == 0) {
        qv::sql::SqliteDb db;
        if (db.Open("sqlite:" + g_database) != SQLITE_OK) Die(db.LastError().description);
        Complete(db.Handle(), fill);
        db.Close();
        std::fflush(nullptr);
        _exit(0);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Die("the fixture could not be built");
    RegisterFrame();
}

double StatusMB(const char* name) {
    double kb = 0;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        const std::size_t n = std::strlen(name);
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, name, n) == 0 && line[n] == ':') kb = std::atof(line + n + 1);
        std::fclose(f);
    }
    return kb / 1024.0;
}

double LoadAverage() {
    double load = 0;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = 0;
        std::fclose(f);
    }
    return load;
}

void PreparePgArchive(const char* tmpl, qv::IInteraction& interaction, long persons, long registrations,
                      long* lKursID) {
#ifdef QV_BENCH_WITH_PG
    PrepareFolder(tmpl, interaction);
    g_database = qvbench::PgUrl();
    qv::suite::DemoFileOptions options;
    options.path = g_database;
    options.seed = 1;
    const char* canton = std::getenv("QV_PG_CANTON");
    if (canton && std::string(canton) == "1") {
        options.scale.persons = 100000;
        options.scale.registrations = 1000000;
    }
    // A database named from outside keeps what it holds (the canton takes minutes to build).
    options.force = std::getenv("QV_BENCH_PG") == nullptr;
    qv::suite::DemoFileReport report;
    std::string error;
    const qv::suite::DemoFileResult made = qv::suite::MakeDemoDatabase(options, &report, &error);
    if (made != qv::suite::DemoFileResult::Built && (options.force || made != qv::suite::DemoFileResult::Refused))
        Die(error);
    qv::sql::PgDb db;
    if (db.Open(g_database) != 0) Die(db.LastError().description);
    const auto exec = [&](const std::string& sql) {
        if (db.Exec(sql) != 0) Die(sql + ": " + db.LastError().description);
    };
    const auto scalar = [&](const std::string& sql) {
        qv::sql::PgRows rows;
        if (db.Query(sql, &rows) != 0 || rows.rows.empty()) Die(sql + ": " + db.LastError().description);
        return std::atol(rows.rows[0][0].value_or("0").c_str());
    };
    // As FillArchive on SQLite.
    *lKursID = scalar("SELECT min(lKursID) FROM Kurs");
    const std::string kurs = std::to_string(*lKursID);
    const std::string firstID = std::to_string(std::max(2000000L, scalar("SELECT coalesce(max(lPersonKursID), 0) + 1 FROM PersonKurs")));
    exec("BEGIN");
    exec("UPDATE DataExchange SET fOnlineKursEnabled = 0");
    exec("DELETE FROM PersonKurs WHERE lKursID = " + kurs);
    exec("DELETE FROM Person WHERE lPersonID >= 900000 AND lPersonID < " + std::to_string(900000 + persons));
    exec("DELETE FROM CustFieldValue WHERE guid = 'd4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d'");
    exec("INSERT INTO CustFieldValue (guid, lCFTypeID, lID, strValue) VALUES ('d4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d', -1, "
         "-1, '6')");
    exec("INSERT INTO Person (lPersonID, lMandantID, strName, strVorname, lOrtID, fWeiblich, fActive) SELECT 900000 + i, "
         "(SELECT min(lMandantID) FROM Mandant), 'Archiv' || i, 'Vorname', (SELECT max(lOrtID) FROM Ort), i % 2, 1 FROM "
         "generate_series(0, " + std::to_string(persons - 1) + ") AS i");
    exec("INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, lKursinstanzID, lStatus, dtDatum, dtAnmeldung, "
         "fTeilnehmer) SELECT " + firstID + " + i, 900000 + i % " + std::to_string(persons) + ", " + kurs +
         ", -1, CASE i % 4 WHEN 0 THEN 1 WHEN 1 THEN 2 WHEN 2 THEN 5 ELSE 6 END, make_timestamp(2000 + i % 20, 5, 1, 0, "
         "0, 0), make_timestamp(2000 + i % 20, 4, 1, 0, 0, 0), CASE WHEN i % 10 = 0 THEN 0 ELSE 1 END FROM "
         "generate_series(0, " + std::to_string(registrations - 1) + ") AS i");
    exec("COMMIT");
    exec("ANALYZE");
    db.Close();
    RegisterFrame();
#else
    (void)tmpl, (void)interaction, (void)persons, (void)registrations, (void)lKursID;
    Die("this build has no PostgreSQL driver");
#endif
}

std::map<int, double> ThreadCpuMs() {
    std::map<int, double> times;
    const double tick = 1000.0 / double(sysconf(_SC_CLK_TCK));
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return times;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        const std::string path = std::string("/proc/self/task/") + e->d_name + "/stat";
        FILE* f = std::fopen(path.c_str(), "r");
        if (!f) continue;
        char line[1024] = {};
        const bool read = std::fgets(line, sizeof line, f) != nullptr;
        std::fclose(f);
        // The fields after the name in parentheses: state is the third, utime the 14th, stime the 15th.
        const char* p = read ? std::strrchr(line, ')') : nullptr;
        unsigned long utime = 0, stime = 0;
        if (p && std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) == 2)
            times[std::atoi(e->d_name)] = double(utime + stime) * tick;
    }
    closedir(dir);
    return times;
}

double BusiestOtherThreadMs(const std::map<int, double>& before, const std::map<int, double>& after) {
    const int self = int(gettid());
    double most = 0;
    for (const auto& [tid, ms] : after) {
        if (tid == self) continue;
        const auto it = before.find(tid);
        most = std::max(most, ms - (it == before.end() ? 0.0 : it->second));
    }
    return most;
}

PlainRead ReadArchivePlain(long lKursID) {
#ifdef QV_BENCH_WITH_PG
    if (qv::suite::IsPgAddress(g_database)) {
        const auto translate = [](const CString& strSQL) {
            try {
                const auto program = qv::tsql::TranslatePg(strSQL.ToUtf8());
                if (program->steps.size() != 1) Die("the archive's statement is not one statement");
                return program->steps[0].sql;
            } catch (const std::exception& e) {
                Die(std::string("the archive's statement: ") + e.what());
            }
        };
        qv::sql::PgDb db;
        if (db.Open(g_database) != 0) Die(db.LastError().description);
        qv::sql::PgRows limit;
        if (db.Query(translate(CHistoryDlg::LimitStatement()), &limit) != 0 || limit.rows.empty() ||
            !limit.rows[0][0])
            Die("the archive has no age: " + db.LastError().description);
        const std::string sql = translate(CHistoryDlg::RowsStatement(
            kurs::CurrentSecUserID(),
            CHistoryDlg::ArchivedCondition(lKursID, CString(("'" + *limit.rows[0][0] + "'").c_str())), CString()));
        PlainRead read;
        timespec cpu0{}, cpu1{};
        const auto wall0 = std::chrono::steady_clock::now();
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu0);
        qv::sql::PgRows rows;
        if (db.Query(sql, &rows) != 0) Die(db.LastError().description);
        std::size_t bytes = 0;
        for (const auto& row : rows.rows)
            for (const auto& value : row) bytes += value ? value->size() : 0;
        read.rows = long(rows.rows.size());
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu1);
        benchmark::DoNotOptimize(bytes);
        read.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0).count();
        read.cpuMs = double(cpu1.tv_sec - cpu0.tv_sec) * 1e3 + double(cpu1.tv_nsec - cpu0.tv_nsec) / 1e6;
        return read;
    }
#endif
    const auto translate = [](const CString& strSQL) {
        try {
            return qv::tsql::TranslateStatement(strSQL.ToUtf8());
        } catch (const std::exception& e) {
            Die(std::string("the archive's statement: ") + e.what());
        }
    };
    qv::sql::SqliteDb db;
    if (db.Open("sqlite:" + g_database) != SQLITE_OK) Die(db.LastError().description);
    // With the loader's limit of the archive age.
    std::string limit;
    {
        sqlite3_stmt* st = nullptr;
        const std::string sql = translate(CHistoryDlg::LimitStatement());
        if (sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW &&
            sqlite3_column_text(st, 0))
            limit = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
    }
    if (limit.empty()) Die("the archive has no age");
    const std::string sql = translate(CHistoryDlg::RowsStatement(
        kurs::CurrentSecUserID(), CHistoryDlg::ArchivedCondition(lKursID, CString(("'" + limit + "'").c_str())), CString()));
    PlainRead read;
    timespec cpu0{}, cpu1{};
    const auto wall0 = std::chrono::steady_clock::now();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu0);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &st, nullptr) != SQLITE_OK) Die(sqlite3_errmsg(db.Handle()));
    const int columns = sqlite3_column_count(st);
    std::size_t bytes = 0;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        ++read.rows;
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(st, c)) {
                case SQLITE_INTEGER: bytes += std::size_t(sqlite3_column_int64(st, c) & 1); break;
                case SQLITE_FLOAT: bytes += sqlite3_column_double(st, c) > 0; break;
                case SQLITE_TEXT:
                    sqlite3_column_text(st, c);
                    bytes += std::size_t(sqlite3_column_bytes(st, c));
                    break;
                default: break;
            }
        }
    }
    if (rc != SQLITE_DONE) Die(sqlite3_errmsg(db.Handle()));
    sqlite3_finalize(st);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu1);
    benchmark::DoNotOptimize(bytes);
    read.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0).count();
    read.cpuMs = double(cpu1.tv_sec - cpu0.tv_sec) * 1e3 + double(cpu1.tv_nsec - cpu0.tv_nsec) / 1e6;
    return read;
}

CQvFrameHost* StartFrame() {
    auto* host = new CQvFrameHost;
    if (FAILED(host->RegisterAsFrame())) Die("the frame cannot register");
    QvFrameStartServers(*host, "Administrator");
    return host;
}

void StopFrame(CQvFrameHost* host) {
    host->CloseAll();
    host->InternalRelease();
    qv::ui::test::Pump();
}

void CreatePane(CWnd& pane) {
    if (!pane.CreateEx(0, AfxRegisterWndClass(0), L"Kurse", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1000, 700, nullptr,
                       nullptr))
        Die("no pane");
}

CKursDlg* ShowKursView(CQvFrameHost& host, CWnd& pane) {
    if (FAILED(host.OpenView(KURSVIEW_PROGID))) Die("the course view cannot be opened");
    if (FAILED(host.ActivateView(KURSVIEW_PROGID, pane.GetSafeHwnd(), RECT{0, 0, 1000, 700})))
        Die("the course view cannot be shown");
    CKursDlg* pDlg = nullptr;
    for (CWnd* p = pane.GetWindow(GW_CHILD); p && !pDlg; p = p->GetWindow(GW_HWNDNEXT))
        pDlg = dynamic_cast<CKursDlg*>(p);
    if (!pDlg) Die("no course dialog");
    return pDlg;
}

void CloseKursView(CQvFrameHost* host, CWnd& pane) {
    host->CloseView(KURSVIEW_PROGID);
    qv::ui::test::Pump();
    pane.DestroyWindow();
    StopFrame(host);
}

CKursDlg* KursWindow::Show(long lKursID, long lKursinstanzID) {
    host = StartFrame();
    CreatePane(pane);
    CKursDlg* pDlg = ShowKursView(*host, pane);
    pDlg->Navigate(lKursID, lKursinstanzID);
    qv::ui::test::Pump();
    return pDlg;
}

int RunBenchmarks(int argc, char** argv, void (*tearDown)()) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    tearDown();
    return 0;
}

}  // namespace kursbench
