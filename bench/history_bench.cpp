// The archive of a course with 100,000 finished registrations in the course window on the demo
// database: the loader thread reads them while the GUI thread takes its rows in batches. Measured:
// the time to the first rows shown, to the last, and the longest the GUI thread was kept from its
// messages meanwhile (one call of the event loop). Goal: first rows under 0.5 s, no stall over 50 ms.
#include "demodata.h"
#include "framehost.h"
#include "framestartup.h"
#include "historydlg.h"
#include "kursdlg.h"
#include "qvinteract.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "uidriver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kRegistrations = 100000;
constexpr int kPersons = 2000;

void Die(const std::string& why) {
    std::fprintf(stderr, "bench_history: %s\n", why.c_str());
    std::exit(1);
}

class AcceptingInteraction : public qv::IInteraction {
public:
    int ShowMessageBox(const qv::MessageBoxRequest& r) override { return qv::DefaultAnswer(r.type); }
    void ShowReport(const qv::ReportRequest& r) override {
        std::fprintf(stderr, "bench_history: report %ls\n", r.text.c_str());
    }
    int ShowSelection(const qv::SelectionRequest&) override { return 1; }
    void OpenWait(qv::WaitWindow&) override {}
    void UpdateWait(qv::WaitWindow&) override {}
    void CloseWait(qv::WaitWindow&) override {}
    INT_PTR RunModal(qv::IModalDialog& dialog) override {
        dialog.EndModal(IDCANCEL);
        return IDCANCEL;
    }
};

void Exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) Die(error ? error : sql);
}

struct Environment {
    AcceptingInteraction interaction;
    long lKursID = 0;
    CQvFrameHost* host = nullptr;
    CWnd pane;
    CHistoryDlg* page = nullptr;

    Environment() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        char tmpl[] = "/tmp/qvhistory-bench-XXXXXX";
        if (!mkdtemp(tmpl)) Die("no temporary folder");
        const std::string folder = tmpl;
        setenv("QV_REGISTRY", (folder + "/registry.db").c_str(), 1);
        setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
        if (!qv::ui::EnsureApplication()) Die("no window system");
        qv::SetInteraction(&interaction);
        qv::suite::InstallSuiteDatabase();
        const std::string database = folder + "/demo.sqlite";
        {
            qv::sql::SqliteDb db;
            if (db.Open("sqlite:" + database) != SQLITE_OK) Die(db.LastError().description);
            std::string error;
            if (qv::suite::CreateSchema(db.Handle(), &error) != SQLITE_OK) Die(error);
            if (qv::suite::GenerateDemoData(db.Handle(), 1, &error) != SQLITE_OK) Die(error);
            sqlite3* h = db.Handle();
            Exec(h, "UPDATE DataExchange SET fOnlineKursEnabled = 0");
            sqlite3_stmt* stmt = nullptr;
            sqlite3_prepare_v2(h, "SELECT lKursID FROM Kurs ORDER BY lKursID LIMIT 1", -1, &stmt, nullptr);
            if (stmt && sqlite3_step(stmt) == SQLITE_ROW) lKursID = sqlite3_column_int(stmt, 0);
            sqlite3_finalize(stmt);
            if (lKursID == 0) Die("the demo database has no courses");
            const std::string kurs = std::to_string(lKursID);
            Exec(h, "DELETE FROM PersonKurs WHERE lKursID = " + kurs);
            Exec(h, "DELETE FROM CustFieldValue WHERE guid = 'd4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d'");
            Exec(h, "INSERT INTO CustFieldValue (guid, lCFTypeID, lID, strValue) VALUES "
                    "('d4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d', -1, -1, '6')");
            Exec(h, "BEGIN");
            Exec(h, "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                        std::to_string(kPersons - 1) + ") INSERT INTO Person (lPersonID, lMandantID, strName, "
                        "strVorname, lOrtID, fWeiblich) SELECT 900000 + i, (SELECT min(lMandantID) FROM Mandant), "
                        "'Archiv' || i, 'Vorname', (SELECT max(lOrtID) FROM Ort), i % 2 FROM n");
            // Finished registrations of twenty years, attended, absent, deregistered or partly.
            Exec(h, "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                        std::to_string(kRegistrations - 1) + ") INSERT INTO PersonKurs (lPersonKursID, lPersonID, "
                        "lKursID, lKursinstanzID, lStatus, dtDatum, dtAnmeldung, fTeilnehmer) SELECT 2000000 + i, "
                        "900000 + i % " + std::to_string(kPersons) + ", " + kurs + ", -1, CASE i % 4 WHEN 0 THEN 1 "
                        "WHEN 1 THEN 2 WHEN 2 THEN 5 ELSE 6 END, printf('%04d-05-01 00:00:00', 2000 + i % 20), "
                        "printf('%04d-04-01 00:00:00', 2000 + i % 20), CASE WHEN i % 10 = 0 THEN 0 ELSE 1 END FROM n");
            Exec(h, "COMMIT");
            Exec(h, "PRAGMA wal_checkpoint(TRUNCATE)");
        }
        QvFrameConfigure(database, false);
        std::vector<std::string> libraries = QvFrameServerLibraries();
        for (const std::string& module : QvFrameModuleLibraries()) libraries.push_back(module);
        for (const auto& [path, hr] : QvFrameRegisterLibraries(libraries))
            Die("cannot register " + path + " (" + std::to_string(hr) + ")");

        host = new CQvFrameHost;
        if (FAILED(host->RegisterAsFrame())) Die("the frame cannot register");
        QvFrameStartServers(*host, "Administrator");
        if (!pane.CreateEx(0, AfxRegisterWndClass(0), L"Kurse", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1000, 700,
                           nullptr, nullptr))
            Die("no pane");
        if (FAILED(host->OpenView(KURSVIEW_PROGID))) Die("the course view cannot be opened");
        if (FAILED(host->ActivateView(KURSVIEW_PROGID, pane.GetSafeHwnd(), RECT{0, 0, 1000, 700})))
            Die("the course view cannot be shown");
        CKursDlg* pDlg = nullptr;
        for (CWnd* p = pane.GetWindow(GW_CHILD); p && !pDlg; p = p->GetWindow(GW_HWNDNEXT))
            pDlg = dynamic_cast<CKursDlg*>(p);
        if (!pDlg) Die("no course dialog");
        pDlg->Navigate(lKursID, 0);
        qv::ui::test::Pump();
        for (int i = 0; i < pDlg->GetTabCtrl().GetTabCount() && !page; ++i)
            page = dynamic_cast<CHistoryDlg*>(pDlg->GetTabCtrl().GetTabWnd(i));
        if (!page) Die("the archive page is not offered");
        if (FAILED(page->LoadKursContext()) || page->lKursID != lKursID) Die("the course is not shown");
    }
};

Environment* g_env = nullptr;

Environment& Env() {
    if (!g_env) g_env = new Environment;
    return *g_env;
}

void TearDown() {
    if (!g_env) return;
    g_env->host->CloseView(KURSVIEW_PROGID);
    qv::ui::test::Pump();
    g_env->pane.DestroyWindow();
    g_env->host->CloseAll();
    g_env->host->InternalRelease();
    qv::ui::test::Pump();
}

// One complete load of the archive, the GUI thread running its event loop all along.
void BM_ArchiveLoad(benchmark::State& state) {
    Environment& env = Env();
    double first = 0, last = 0, stall = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        env.page->StartThread();
        double firstRows = -1;
        bool cleared = env.page->m_list.GetItemCount() == 0;
        qint64 longest = 0;
        while (env.page->IsLoading()) {
            QElapsedTimer call;
            call.start();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            longest = std::max(longest, call.nsecsElapsed());
            // The rows of the previous load go first.
            if (!cleared) cleared = env.page->m_list.GetItemCount() == 0;
            else if (firstRows < 0 && env.page->m_list.GetItemCount() > 0) firstRows = clock.nsecsElapsed() / 1e6;
        }
        QCoreApplication::processEvents();
        last = clock.nsecsElapsed() / 1e6;
        first = firstRows;
        stall = std::max(stall, longest / 1e6);
        state.SetIterationTime(last / 1000.0);
    }
    if (env.page->m_list.GetItemCount() != kRegistrations)
        Die("the archive lists " + std::to_string(env.page->m_list.GetItemCount()) + " rows");
    state.counters["rows"] = env.page->m_list.GetItemCount();
    state.counters["first_rows_ms"] = first;
    state.counters["last_row_ms"] = last;
    state.counters["longest_gui_stall_ms"] = stall;
}
BENCHMARK(BM_ArchiveLoad)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    TearDown();
    return 0;
}
