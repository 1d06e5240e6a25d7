// The archive of a course with 100,000 finished registrations in the course window on the demo
// database: the loader thread reads them while the GUI thread takes its rows in batches. Measured:
// the time to the first rows shown, to the last, and the longest the GUI thread was kept from its
// messages meanwhile (one call of the event loop). Goal: first rows under 0.5 s, no stall over 50 ms.
// Beside it, in the same run: the loader thread's CPU time per row and that of a plain step-and-read
// of the loader's statement in SQLite (every column of every row), and their ratio; the machine's
// load is noted with them. With the argument `pg` the same on PostgreSQL (see benchpg.h), with
// 100,000 distinct persons: the loader's time beside the wall time of the statement's rows fetched
// through libpq.
#include "historydlg.h"
#include "kursbench.h"
#include "uidriver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

using kursbench::Die;
using kursbench::Exec;

constexpr int kRegistrations = 100000;
constexpr int kPersons = 2000;
constexpr int kPgPersons = 100000;
bool g_pg = false;

struct Environment : kursbench::KursWindow {
    long lKursID = 0;
    CHistoryDlg* page = nullptr;

    Environment() {
        if (g_pg) {
            kursbench::PreparePgArchive("/tmp/qvhistory-bench-XXXXXX", interaction, kPgPersons, kRegistrations, &lKursID);
        } else {
            kursbench::PrepareDemo("/tmp/qvhistory-bench-XXXXXX", interaction, [this](sqlite3* h) {
                lKursID = kursbench::FirstKursID(h);
                Exec(h, "BEGIN");
                kursbench::FillArchive(h, lKursID, kPersons, kRegistrations);
                Exec(h, "COMMIT");
            });
        }
        page = kursbench::FindPage<CHistoryDlg>(Show(lKursID, 0));
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
    if (g_env) g_env->Close();
}

// One complete load of the archive, the GUI thread running its event loop all along.
void BM_ArchiveLoad(benchmark::State& state) {
    Environment& env = Env();
    double first = 0, last = 0, stall = 0, loaderMs = 0;
    for (auto _ : state) {
        const auto threadsBefore = kursbench::ThreadCpuMs();
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
        loaderMs = kursbench::BusiestOtherThreadMs(threadsBefore, kursbench::ThreadCpuMs());
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
    const kursbench::PlainRead plain = kursbench::ReadArchivePlain(env.lKursID);
    if (plain.rows != kRegistrations) Die("the plain read gives " + std::to_string(plain.rows) + " rows");
    const double rows = double(kRegistrations);
    state.counters["loader_cpu_us_per_row"] = loaderMs * 1e3 / rows;
    state.counters["plain_cpu_us_per_row"] = plain.cpuMs * 1e3 / rows;
    state.counters["plain_wall_ms"] = plain.wallMs;
    state.counters["loader_to_plain"] = plain.cpuMs > 0 ? loaderMs / plain.cpuMs : 0;
    // On PostgreSQL the server reads and sorts: the loader's time to its last row beside the plain
    // fetch's.
    state.counters["plain_wall_us_per_row"] = plain.wallMs * 1e3 / rows;
    state.counters["last_row_us_per_row"] = last * 1e3 / rows;
    state.counters["load"] = kursbench::LoadAverage();
}
BENCHMARK(BM_ArchiveLoad)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    // `pg`: on PostgreSQL.
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) != "pg") continue;
        g_pg = true;
        for (int k = i; k + 1 < argc; ++k) argv[k] = argv[k + 1];
        --argc;
        break;
    }
    return kursbench::RunBenchmarks(argc, argv, TearDown);
}
