// The archive of a course with 100,000 finished registrations in the course window on the demo
// database: the loader thread reads them while the GUI thread takes its rows in batches. Measured:
// the time to the first rows shown, to the last, and the longest the GUI thread was kept from its
// messages meanwhile (one call of the event loop). Goal: first rows under 0.5 s, no stall over 50 ms.
// Beside it, in the same run: the loader thread's CPU time per row and that of a plain step-and-read
// of the loader's statement in SQLite (every column of every row), and their ratio; the machine's
// load is noted with them. With the argument `pg` the same on PostgreSQL (see benchpg.h), with
// 100,000 distinct persons: the loader's time beside the wall time of the statement's rows fetched
// through libpq.
//
// BM_ArchiveSort: the archive sorted by a click on a column header (Name, Datum, Status, each
// twice: ascending, then descending), and a reload with that sort remembered. A timer of 1 ms on
// the GUI thread notes the longest gap between its ticks from the click to the list shown in its
// new order (the click comes through the window system as the event loop runs), beside the
// longest gap of the idle loop; the reload's last row is the list shown complete and sorted,
// beside that of a reload before any sort was chosen.
// With the argument `canton` the database is the canton (see kursbench.h; on PostgreSQL
// QV_PG_CANTON=1 is set) with 100,000 archive persons, each with a rank.
#include "historydlg.h"
#include "kursbench.h"
#include "uidriver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using kursbench::Die;
using kursbench::Exec;

constexpr int kRegistrations = 100000;
constexpr int kPersons = 2000;
constexpr int kPgPersons = 100000;
bool g_pg = false;
bool g_canton = false;

// Whether the list is still being sorted away from the GUI thread (a build whose lists sort on the
// GUI thread within the click has no such state).
template <class List>
bool Sorting(const List& list) {
    if constexpr (requires { list.QvIsSorting(); }) return list.QvIsSorting();
    else return false;
}

struct Environment : kursbench::KursWindow {
    long lKursID = 0;
    CHistoryDlg* page = nullptr;
    CKursDlg* dlg = nullptr;

    Environment() {
        if (g_pg) {
            if (g_canton) setenv("QV_PG_CANTON", "1", 1);
            kursbench::PreparePgArchive("/tmp/qvhistory-bench-XXXXXX", interaction, kPgPersons, kRegistrations, &lKursID);
        } else if (g_canton) {
            kursbench::PrepareCanton("/tmp/qvhistory-bench-XXXXXX", interaction, [](sqlite3* h) {
                Exec(h, "BEGIN");
                kursbench::FillArchive(h, kursbench::FirstKursID(h), kPgPersons, kRegistrations);
                Exec(h, "WITH g AS (SELECT lGradID, row_number() OVER (ORDER BY lGradID) - 1 AS n, count(*) OVER () AS c "
                        "FROM Grad) UPDATE Person SET lCAktGradID = (SELECT lGradID FROM g WHERE g.n = Person.lPersonID % "
                        "g.c) WHERE lPersonID >= 900000");
                Exec(h, "COMMIT");
            });
            sqlite3* h = nullptr;
            if (sqlite3_open_v2(kursbench::DatabasePath().c_str(), &h, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
                Die("the canton cannot be read");
            lKursID = kursbench::FirstKursID(h);
            sqlite3_close(h);
        } else {
            kursbench::PrepareDemo("/tmp/qvhistory-bench-XXXXXX", interaction, [this](sqlite3* h) {
                lKursID = kursbench::FirstKursID(h);
                Exec(h, "BEGIN");
                kursbench::FillArchive(h, lKursID, kPersons, kRegistrations);
                Exec(h, "COMMIT");
            });
        }
        dlg = Show(lKursID, 0);
        page = kursbench::FindPage<CHistoryDlg>(dlg);
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

// Ticks every millisecond on the GUI thread; the longest gap between two ticks is how long the
// thread was kept from its events, and the most CPU time the thread used between two ticks is its
// own share of that (the rest is other programs' on a busy machine).
double ThreadCpuNowMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

class GapProbe {
public:
    GapProbe() {
        m_timer.setInterval(1);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        m_longest = 0;
        m_longestCpu = 0;
        m_clock.start();
        m_last = 0;
        m_lastCpu = ThreadCpuNowMs();
        m_timer.start();
    }
    double Stop() {
        Tick();
        m_timer.stop();
        return m_longest;
    }
    double LongestCpu() const { return m_longestCpu; }

private:
    void Tick() {
        const qint64 now = m_clock.nsecsElapsed();
        const double cpu = ThreadCpuNowMs();
        m_longest = std::max(m_longest, double(now - m_last) / 1e6);
        m_longestCpu = std::max(m_longestCpu, cpu - m_lastCpu);
        m_last = now;
        m_lastCpu = cpu;
    }
    double m_lastCpu = 0;
    double m_longestCpu = 0;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_longest = 0;
};

using kursbench::PeakResidentMB;

// Runs the event loop until the condition holds.
void RunUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        if (clock.elapsed() > 600000) Die("timed out");
    }
}

void BM_ArchiveSort(benchmark::State& state) {
    Environment& env = Env();
    CQvListCtrl& list = env.page->m_list;
    const HWND wnd = list.GetSafeHwnd();
    const auto loaded = [&] { return !env.page->IsLoading() && !Sorting(list); };
    // The archive is the page shown, so that its headers can be clicked.
    for (int i = 0; i < env.dlg->GetTabCtrl().GetTabCount(); ++i)
        if (env.dlg->GetTabCtrl().GetTabWnd(i) == env.page) env.dlg->GetTabCtrl().ShowTabWindow(i);
    env.page->StartThread();
    RunUntil(loaded);
    if (list.GetItemCount() != kRegistrations) Die("the archive lists " + std::to_string(list.GetItemCount()) + " rows");
    // The peak before any sort: that of loading the archive.
    state.counters["loaded_peak_resident_mb"] = PeakResidentMB();
    GapProbe probe;
    // Beside the sorted reload: one without a sort chosen.
    {
        QElapsedTimer clock;
        clock.start();
        env.page->StartThread();
        RunUntil(loaded);
        state.counters["reload_unsorted_last_row_ms"] = clock.nsecsElapsed() / 1e6;
    }
    // The idle loop's own gaps.
    probe.Start();
    {
        QElapsedTimer idle;
        idle.start();
        RunUntil([&] { return idle.elapsed() >= 500; });
    }
    state.counters["idle_longest_gap_ms"] = probe.Stop();
    state.counters["idle_longest_gap_cpu_ms"] = probe.LongestCpu();
    const double loadBefore = kursbench::LoadAverage();
    double longestClick = 0, longestClickCpu = 0;
    for (auto _ : state) {
        for (const auto& [column, name] : std::vector<std::pair<int, std::string>>{{5, "name"}, {1, "datum"}, {0, "status"}}) {
            for (const char* way : {"asc", "desc"}) {
                probe.Start();
                QElapsedTimer clock;
                clock.start();
                int clicked = -1;
                // The click comes as the event loop runs, as the user's does.
                QTimer::singleShot(0, [&, column = column] { clicked = qv::ui::test::ClickColumnHeader(wnd, column); });
                RunUntil([&] { return clicked >= 0 && !Sorting(list); });
                if (!clicked) Die("the header " + name + " cannot be clicked");
                const double shown = clock.nsecsElapsed() / 1e6;
                const double gap = probe.Stop();
                longestClick = std::max(longestClick, gap);
                longestClickCpu = std::max(longestClickCpu, probe.LongestCpu());
                const std::string key = "click_" + name + "_" + way;
                state.counters[key + "_longest_gap_ms"] = gap;
                state.counters[key + "_longest_gap_cpu_ms"] = probe.LongestCpu();
                state.counters[key + "_shown_ms"] = shown;
                state.counters[key + "_peak_resident_mb"] = PeakResidentMB();
            }
        }
        // Reloaded with the sort remembered (Status, descending): the last row is the list shown
        // complete and in that order.
        probe.Start();
        QElapsedTimer clock;
        clock.start();
        env.page->StartThread();
        RunUntil(loaded);
        const double last = clock.nsecsElapsed() / 1e6;
        state.counters["reload_sorted_last_row_ms"] = last;
        state.counters["reload_sorted_longest_gap_ms"] = probe.Stop();
        state.counters["reload_sorted_longest_gap_cpu_ms"] = probe.LongestCpu();
        state.SetIterationTime(last / 1000.0);
    }
    if (list.GetItemCount() != kRegistrations) Die("the archive lists " + std::to_string(list.GetItemCount()) + " rows");
    if (list.QvGetSortColumn() != 0 || list.QvGetSortAscending()) Die("the sort was not remembered");
    state.counters["click_longest_gap_ms"] = longestClick;
    state.counters["click_longest_gap_cpu_ms"] = longestClickCpu;
    // The peak of resident memory (VmHWM) with the archive loaded and sorted.
    state.counters["peak_resident_mb"] = PeakResidentMB();
    state.counters["load"] = std::max(loadBefore, kursbench::LoadAverage());
}
BENCHMARK(BM_ArchiveSort)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    // `pg`: on PostgreSQL; `canton`: on the canton.
    for (int i = 1; i < argc;) {
        const std::string arg = argv[i];
        if (arg != "pg" && arg != "canton") {
            ++i;
            continue;
        }
        (arg == "pg" ? g_pg : g_canton) = true;
        for (int k = i; k + 1 < argc; ++k) argv[k] = argv[k + 1];
        --argc;
    }
    return kursbench::RunBenchmarks(argc, argv, TearDown);
}
