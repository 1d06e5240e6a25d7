// The course window on the demo database: the host frame's own start (servers running, no view)
// beside opening the course view in the frame and showing a run of the demo database with its
// course data page, as the user sees it after a click in the view bar. Goal: under 1 s.
#include "ikursinstanz.h"
#include "kursbench.h"
#include "uidriver.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <string>

namespace {

using kursbench::CreatePane;
using kursbench::Die;
using kursbench::ShowKursView;
using kursbench::StartFrame;
using kursbench::StopFrame;

struct Environment {
    kursbench::AcceptingInteraction interaction{false};
    long lKursID = 0;
    long lKursinstanzID = 0;

    Environment() {
        kursbench::PrepareDemo("/tmp/qvkurswin-bench-XXXXXX", interaction, [this](sqlite3* h) {
            sqlite3_stmt* stmt = nullptr;
            sqlite3_prepare_v2(h,
                               "SELECT lKursID, lKursinstanzID FROM Kursinstanz ORDER BY lKursinstanzID LIMIT 1 OFFSET 40",
                               -1, &stmt, nullptr);
            if (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
                lKursID = sqlite3_column_int(stmt, 0);
                lKursinstanzID = sqlite3_column_int(stmt, 1);
            }
            sqlite3_finalize(stmt);
        });
        if (lKursinstanzID == 0) Die("the demo database has no runs");
    }
};

Environment& Env() {
    static Environment env;
    return env;
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
    CreatePane(pane);
    for (auto _ : state) {
        CKursDlg* pDlg = ShowKursView(*host, pane);
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
