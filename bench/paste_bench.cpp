// A long paste into the person search on the canton (100,000 persons; with the argument `pg` on
// PostgreSQL, see benchpg.h and kursbench.h): what stays on the heap once the windows are closed,
// and how long a window takes to close while the paste's search is still at work.
//
// Each case opens the search eight times, each time in a window of its own, and pastes a text of
// 29,000 characters (some 4,000 distinct words, a new text each time, just under the field's
// limit) with Ctrl+V as the window system sends it:
// - PasteSearchedThenClosed: the window closes once the paste's search has ended. Noted: the heap
//   in use (blocks in use and the large blocks mapped apart), SQLite's own share and the resident
//   memory of the whole program (and of it the program's own, RssAnon), before the first paste
//   (after one ordinary search, so that the program's usual statements are there) and after the
//   eighth window closed, and what was kept between them; the resident memory after one more trim
//   asked for then (what the closing windows left that a trim would still give back); the time a paste's search takes to its end; the GUI thread's CPU time of the
//   Ctrl+V (the key and what it posted at once). Then what the translation caches count
//   (cache_counted_mb) beside what they hold, the heap their clearing gives back (cache_held_mb),
//   and the bound of the cache the search's statements go to (cache_bound_mb).
// - PasteLongerThanField: one paste each of 29,000, 60,000 and 300,000 characters into the field
//   of 30,000, which keeps what fits: the GUI thread's CPU time and the wall time of the Ctrl+V.
// - PasteThenClosed: the window closes 0 to 4,000 ms after the paste, while the paste's statement
//   is translated, prepared or run. Noted: the time each closing took (close_after_<ms>) and the
//   longest, and how long the workers the windows left behind still ran after the last close.
// - TranslationCacheOfLongTexts: the shared translations of 100 texts of 150 KB, each of a shape of
//   its own (as searches of many words of different lengths are): what the translation caches
//   count, what their clearing gives back, and their bound.
// The machine's load (/proc/loadavg) is noted with each case: the figures are wall-clock times.
#include "kursbench.h"
#include "optionserver.h"
#include "qvregvalue.h"
#include "searchpersondlg.h"
#include "searchresource.h"
#include "tsqlprogram.h"
#include "uidriver.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <time.h>

namespace {

using kursbench::Die;
using Clock = std::chrono::steady_clock;

constexpr int kPastes = 8;
constexpr int kPasteLength = 29000;
constexpr int kFieldLimit = 30000;
bool g_pg = false;

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

using kursbench::PeakResidentMB;
using kursbench::ResidentMB;
using kursbench::StatusMB;

double HeapUsedMB() {
    const struct mallinfo2 mi = mallinfo2();
    return double(mi.uordblks + mi.hblkhd) / 1048576.0;
}

// Words of four to nine letters, another text for each seed.
QString PasteText(std::uint32_t seed, int length = kPasteLength) {
    std::uint32_t x = seed * 2654435761u + 12345u;
    auto next = [&] {
        x = x * 1664525u + 1013904223u;
        return x >> 8;
    };
    QString text;
    text.reserve(length);
    while (text.size() < length - 10) {
        if (!text.isEmpty()) text += QLatin1Char(' ');
        const int n = 4 + int(next() % 6);
        for (int i = 0; i < n; ++i) text += QChar(u'a' + char16_t(next() % 26));
    }
    return text;
}

void RunFor(int ms) {
    const auto start = Clock::now();
    while (Ms(start, Clock::now()) < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void RunUntil(const std::function<bool()>& done, int timeoutMs = 600000) {
    const auto start = Clock::now();
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        if (Ms(start, Clock::now()) > timeoutMs) Die("timed out");
    }
}

struct Environment : kursbench::KursWindow {
    Environment() {
        if (g_pg) {
            setenv("QV_PG_CANTON", "1", 0);
            long lKursID = 0;
            kursbench::PreparePgArchive("/tmp/qvpaste-bench-XXXXXX", interaction, 10, 10, &lKursID);
        } else {
            kursbench::PrepareCanton("/tmp/qvpaste-bench-XXXXXX", interaction, [](sqlite3*) {});
        }
        host = kursbench::StartFrame();
        kursbench::CreatePane(pane);
    }
};

Environment* g_env = nullptr;

Environment& Env() {
    if (!g_env) g_env = new Environment;
    return *g_env;
}

void TearDown() {
    if (!g_env) return;
    qv::ui::test::Pump();
    g_env->pane.DestroyWindow();
    kursbench::StopFrame(g_env->host);
}

class BenchSearchDlg : public CSearchPersonDlg {
public:
    BenchSearchDlg() : CSearchPersonDlg(L"BenchPaste") {}
};

// The person search in a window of its own, as the options of a new installation have it.
struct SearchWindow {
    CDialog* holder = nullptr;
    BenchSearchDlg* dlg = nullptr;
    SearchWindow() {
        // Each paste goes into an empty field: the text the last window kept is not searched
        // again when the next one opens.
        CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common\\SearchPersonList_BenchPaste", L"LastSearchtext",
                              CString());
        holder = new CDialog;
        qv::ui::DialogTemplate tpl;
        tpl.caption = L"Person suchen";
        tpl.cx = 600;
        tpl.cy = 400;
        tpl.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
        if (!holder->CreateIndirect(tpl, nullptr)) Die("no window for the search");
        dlg = new BenchSearchDlg;
        if (!dlg->Create(IDD_SEARCH, holder)) Die("the search dialog");
        dlg->MoveWindow(0, 0, 1200, 700);
        dlg->ShowWindow(SW_SHOW);
        qv::ui::test::Pump();
        RunUntil([&] { return !dlg->IsSearching(); });
        if (!qv::ui::test::Text(Edit()).empty()) Die("the window restored the last window's text");
    }
    HWND Edit() const { return qv::ui::test::Item(dlg->m_hWnd, IDC_SEARCH_TEXT); }
    // The GUI thread's CPU time of the Ctrl+V; the wall time in `wallMs`.
    double Paste(std::uint32_t seed, int length = kPasteLength, double* wallMs = nullptr) {
        QGuiApplication::clipboard()->setText(PasteText(seed, length));
        qv::ui::test::Focus(Edit());
        const auto start = Clock::now();
        const double cpu = ThreadCpuMs();
        if (!qv::ui::test::PressKey(Edit(), 'V', Qt::ControlModifier)) Die("no paste");
        const double turn = ThreadCpuMs() - cpu;
        if (wallMs) *wallMs = Ms(start, Clock::now());
        if (qv::ui::test::Text(Edit()).size() < std::size_t(std::min(length, kFieldLimit)) - 10)
            Die("the paste was refused");
        return turn;
    }
    // The time the window takes to close.
    double Close() {
        const auto start = Clock::now();
        dlg->DestroyWindow();
        delete dlg;
        dlg = nullptr;
        const double ms = Ms(start, Clock::now());
        holder->DestroyWindow();
        delete holder;
        qv::ui::test::Pump();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return ms;
    }
};

void BM_PasteSearchedThenClosed(benchmark::State& state) {
    Env();
    {
        // An ordinary search first: the program's usual statements are then translated and kept.
        SearchWindow w;
        qv::ui::test::Type(w.Edit(), L"Muster");
        RunUntil([&] { return !w.dlg->IsSearching(); });
        w.Close();
    }
    RunFor(300);
    const double heapBefore = HeapUsedMB();
    const double sqliteBefore = double(sqlite3_memory_used()) / 1048576.0;
    const double residentBefore = ResidentMB();
    const double anonBefore = StatusMB("RssAnon");
    double load = kursbench::LoadAverage();
    double searchMs = 0, searchMax = 0, turnMax = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < kPastes; ++i) {
            SearchWindow w;
            const auto pasted = Clock::now();
            turnMax = std::max(turnMax, w.Paste(std::uint32_t(100 + i)));
            RunUntil([&] { return !w.dlg->IsSearching(); });
            const double ms = Ms(pasted, Clock::now());
            searchMs += ms / kPastes;
            searchMax = std::max(searchMax, ms);
            w.Close();
        }
        state.SetIterationTime(Ms(start, Clock::now()) / 1000.0);
    }
    RunFor(500);
    load = std::max(load, kursbench::LoadAverage());
    state.counters["heap_before_mb"] = heapBefore;
    state.counters["heap_after_mb"] = HeapUsedMB();
    state.counters["heap_kept_mb"] = HeapUsedMB() - heapBefore;
    state.counters["sqlite_kept_mb"] = double(sqlite3_memory_used()) / 1048576.0 - sqliteBefore;
    state.counters["resident_before_mb"] = residentBefore;
    state.counters["resident_after_mb"] = ResidentMB();
    // Of it, the program's own memory (the rest are pages of files: code, fonts, the database);
    // and what a trim asked for now would still give back.
    state.counters["resident_anon_before_mb"] = anonBefore;
    state.counters["resident_anon_after_mb"] = StatusMB("RssAnon");
    malloc_trim(0);
    state.counters["resident_after_another_trim_mb"] = ResidentMB();
    state.counters["search_mean_ms"] = searchMs;
    state.counters["search_max_ms"] = searchMax;
    state.counters["paste_turn_cpu_max_ms"] = turnMax;
    state.counters["cache_counted_mb"] = double(qv::tsql::TranslationCacheBytes()) / 1048576.0;
    const double heapWithCache = HeapUsedMB();
    qv::tsql::ClearTranslationCache();
    state.counters["cache_held_mb"] = heapWithCache - HeapUsedMB();
    state.counters["cache_bound_mb"] = double(qv::tsql::kTranslationCacheBytes) / 1048576.0;
    state.counters["load"] = load;
}

void BM_PasteLongerThanField(benchmark::State& state) {
    Env();
    double load = kursbench::LoadAverage();
    for (auto _ : state) {
        const auto start = Clock::now();
        std::uint32_t seed = 300;
        for (int length : {kPasteLength, 2 * kFieldLimit, 10 * kFieldLimit}) {
            SearchWindow w;
            double wall = 0;
            state.counters["turn_cpu_ms_" + std::to_string(length)] = w.Paste(seed++, length, &wall);
            state.counters["turn_wall_ms_" + std::to_string(length)] = wall;
            RunUntil([&] { return !w.dlg->IsSearching(); });
            w.Close();
        }
        state.SetIterationTime(Ms(start, Clock::now()) / 1000.0);
    }
    load = std::max(load, kursbench::LoadAverage());
    state.counters["load"] = load;
}

void BM_PasteThenClosed(benchmark::State& state) {
    Env();
    double load = kursbench::LoadAverage();
    double longest = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        std::uint32_t seed = 200;
        for (int delay : {0, 100, 300, 600, 1000, 1500, 2500, 4000}) {
            SearchWindow w;
            w.Paste(seed++);
            RunFor(delay);
            const double ms = w.Close();
            state.counters["close_after_" + std::to_string(delay)] = ms;
            longest = std::max(longest, ms);
        }
        state.SetIterationTime(Ms(start, Clock::now()) / 1000.0);
    }
    // The workers the windows left behind end by themselves; the time they still took.
    const auto waiting = Clock::now();
    CSearchDlg::WaitForLeftWorkers();
    state.counters["left_workers_ended_after_ms"] = Ms(waiting, Clock::now());
    load = std::max(load, kursbench::LoadAverage());
    state.counters["close_longest_ms"] = longest;
    state.counters["load"] = load;
}

void BM_TranslationCacheOfLongTexts(benchmark::State& state) {
    qv::tsql::ClearTranslationCache();
    const double heapBefore = HeapUsedMB();
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < 100; ++i) {
            std::string sql = "SELECT lPersonID AS c" + std::to_string(i) + " FROM Person WHERE strName <> ''";
            for (int w = 0; sql.size() < 150000; ++w) sql += " AND (CHARINDEX('w" + std::to_string(w) + "', strName) > 0)";
            qv::tsql::TranslateShared(sql);
        }
        state.SetIterationTime(Ms(start, Clock::now()) / 1000.0);
    }
    state.counters["cache_counted_mb"] = double(qv::tsql::TranslationCacheBytes()) / 1048576.0;
    const double heapWithCache = HeapUsedMB();
    qv::tsql::ClearTranslationCache();
    state.counters["cache_held_mb"] = heapWithCache - HeapUsedMB();
    state.counters["heap_kept_before_clearing_mb"] = heapWithCache - heapBefore;
    state.counters["cache_bound_mb"] = double(qv::tsql::kTranslationCacheBytes) / 1048576.0;
}

}  // namespace

BENCHMARK(BM_PasteSearchedThenClosed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PasteThenClosed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PasteLongerThanField)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_TranslationCacheOfLongTexts)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

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
