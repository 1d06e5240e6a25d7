// The course window on the demo database: the host frame's own start (servers running, no view)
// beside opening the course view in the frame and showing a run of the demo database with its
// course data page, as the user sees it after a click in the view bar. Goal: under 1 s.
#include "demodata.h"
#include "framehost.h"
#include "framestartup.h"
#include "kursdlg.h"
#include "qvinteract.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "uidriver.h"
#include "ikursinstanz.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Die(const std::string& why) {
    std::fprintf(stderr, "bench_kurswin: %s\n", why.c_str());
    std::exit(1);
}

// Answers every box with its default button and closes every modal dialog.
class AcceptingInteraction : public qv::IInteraction {
public:
    int ShowMessageBox(const qv::MessageBoxRequest& r) override { return qv::DefaultAnswer(r.type); }
    void ShowReport(const qv::ReportRequest&) override {}
    int ShowSelection(const qv::SelectionRequest&) override { return 1; }
    void OpenWait(qv::WaitWindow&) override {}
    void UpdateWait(qv::WaitWindow&) override {}
    void CloseWait(qv::WaitWindow&) override {}
    INT_PTR RunModal(qv::IModalDialog& dialog) override {
        dialog.EndModal(IDCANCEL);
        return IDCANCEL;
    }
};

struct Environment {
    AcceptingInteraction interaction;
    long lKursID = 0;
    long lKursinstanzID = 0;

    Environment() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        char tmpl[] = "/tmp/qvkurswin-bench-XXXXXX";
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
            db.Exec("UPDATE DataExchange SET fOnlineKursEnabled = 0");
            sqlite3_stmt* stmt = nullptr;
            sqlite3_prepare_v2(db.Handle(),
                               "SELECT lKursID, lKursinstanzID FROM Kursinstanz ORDER BY lKursinstanzID LIMIT 1 OFFSET 40",
                               -1, &stmt, nullptr);
            if (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
                lKursID = sqlite3_column_int(stmt, 0);
                lKursinstanzID = sqlite3_column_int(stmt, 1);
            }
            sqlite3_finalize(stmt);
            db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
        }
        if (lKursinstanzID == 0) Die("the demo database has no runs");
        QvFrameConfigure(database, false);
        std::vector<std::string> libraries = QvFrameServerLibraries();
        for (const std::string& module : QvFrameModuleLibraries()) libraries.push_back(module);
        for (const auto& [path, hr] : QvFrameRegisterLibraries(libraries))
            Die("cannot register " + path + " (" + std::to_string(hr) + ")");
    }
};

Environment& Env() {
    static Environment env;
    return env;
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

// The frame's own start: its servers running, no view.
void BM_FrameStart(benchmark::State& state) {
    Env();
    for (auto _ : state) {
        CQvFrameHost* host = StartFrame();
        state.PauseTiming();
        StopFrame(host);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FrameStart)->Unit(benchmark::kMillisecond)->Iterations(5);

// The course view opened and shown in the frame's pane with a run of the demo database and its page.
void BM_KursViewShown(benchmark::State& state) {
    Environment& env = Env();
    CQvFrameHost* host = StartFrame();
    CWnd pane;
    if (!pane.CreateEx(0, AfxRegisterWndClass(0), L"Kurse", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1000, 700, nullptr,
                       nullptr))
        Die("no pane");
    for (auto _ : state) {
        if (FAILED(host->OpenView(KURSVIEW_PROGID))) Die("the course view cannot be opened");
        if (FAILED(host->ActivateView(KURSVIEW_PROGID, pane.GetSafeHwnd(), RECT{0, 0, 1000, 700})))
            Die("the course view cannot be shown");
        CKursDlg* pDlg = nullptr;
        for (CWnd* p = pane.GetWindow(GW_CHILD); p && !pDlg; p = p->GetWindow(GW_HWNDNEXT))
            pDlg = dynamic_cast<CKursDlg*>(p);
        if (!pDlg) Die("no course dialog");
        pDlg->Navigate(env.lKursID, env.lKursinstanzID);
        qv::ui::test::Pump();
        if (pDlg->GetSubRecordID() != env.lKursinstanzID) Die("the run was not selected");
        state.PauseTiming();
        host->CloseView(KURSVIEW_PROGID);
        qv::ui::test::Pump();
        state.ResumeTiming();
    }
    pane.DestroyWindow();
    StopFrame(host);
}
BENCHMARK(BM_KursViewShown)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
