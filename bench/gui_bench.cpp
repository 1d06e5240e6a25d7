// How long the GUI thread is kept from its events while rows come from workers, at the size of a
// canton: the place combo box with 3,000 places, the multi-select person search with 20,000 rows
// shown, the person search of 100,000 persons without a word or limit, the archive of 100,000
// finished registrations in the course window, and the closing of windows that hold these rows.
//
// A probe timer ticks every 5 ms on the GUI thread and notes the longest gap between two ticks and
// the number of gaps over 50 ms. Also noted: the time to the first rows and to the last, the time
// a window takes to close, and the resident memory of the whole program.
//
// The database is made here: the demo data, its persons copied until there are 100,000 (2,000 of
// them with the archive's registrations), and 3,000 places whose postcodes hold "99" and whose
// names begin with "Ber".
#include "historydlg.h"
#include "kursbench.h"
#include "optionserver.h"
#include "ortcombobox.h"
#include "searchpersondlg.h"
#include "searchresource.h"
#include "uidriver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace {

using kursbench::Die;
using kursbench::Exec;
using Clock = std::chrono::steady_clock;

constexpr long long kPersons = 100000;
constexpr int kArchivePersons = 2000;
constexpr int kRegistrations = 100000;
constexpr int kPlaces = 3000;

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double ResidentMB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Ticks on the GUI thread while it runs; a tick that comes late tells how long the thread was busy.
class StallProbe {
public:
    StallProbe() {
        m_timer.setInterval(5);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        m_longest = 0;
        m_over50 = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    void Stop() {
        Tick();
        m_timer.stop();
    }
    double Longest() const { return m_longest; }
    int Over50() const { return m_over50; }

private:
    void Tick() {
        const qint64 now = m_clock.nsecsElapsed();
        const double gap = double(now - m_last) / 1e6;
        m_last = now;
        m_longest = std::max(m_longest, gap);
        if (gap > 50) ++m_over50;
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_longest = 0;
    int m_over50 = 0;
};

// Runs the GUI thread's events until the condition holds.
void RunUntil(const std::function<bool()>& done, int timeoutMs = 600000) {
    const auto start = Clock::now();
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        if (Ms(start, Clock::now()) > timeoutMs) Die("timed out");
    }
}

// Notes when a window's rows first went down to 'floor' (the old rows are gone) and when new rows
// came after that, as the window's own messages run.
class RowWatch {
public:
    RowWatch(HWND wnd, std::function<int()> count) : m_wnd(wnd), m_count(std::move(count)) {
        m_cookie = qv::ui::AddMessageObserver(m_wnd, [this](HWND, UINT, WPARAM, LPARAM) { Look(); });
    }
    ~RowWatch() { qv::ui::RemoveMessageObserver(m_wnd, m_cookie); }
    void Arm(int floor) {
        m_floor = floor;
        m_cleared = false;
        m_first = {};
        Look();
    }
    Clock::time_point First() const { return m_first; }

private:
    void Look() {
        if (m_inside || m_first != Clock::time_point{}) return;
        m_inside = true;
        const int n = m_count();
        if (!m_cleared) m_cleared = n <= m_floor;
        else if (n > m_floor) m_first = Clock::now();
        m_inside = false;
    }
    HWND m_wnd;
    std::function<int()> m_count;
    int m_cookie = 0;
    int m_floor = 0;
    bool m_cleared = false;
    bool m_inside = false;
    Clock::time_point m_first{};
};

void Grow(sqlite3* db, long long target) {
    std::string columns;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM pragma_table_xinfo('Person') WHERE name NOT IN ('lPersonID', 'guid') "
                           "AND hidden = 0", -1, &st, nullptr);
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        if (!columns.empty()) columns += ", ";
        columns += reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    for (;;) {
        sqlite3_prepare_v2(db, "SELECT count(*) FROM Person", -1, &st, nullptr);
        sqlite3_step(st);
        const long long have = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        if (have >= target) break;
        Exec(db, "INSERT INTO Person (" + columns + ") SELECT " + columns + " FROM Person ORDER BY lPersonID LIMIT " +
                     std::to_string(std::min(have, target - have)));
    }
}

struct Environment : kursbench::KursWindow {
    kursbench::AcceptingInteraction quiet{false};
    long lKursID = 0;
    CKursDlg* kursDlg = nullptr;
    StallProbe probe;

    Environment() {
        kursbench::PrepareDemo("/tmp/qvgui-bench-XXXXXX", interaction, [this](sqlite3* h) {
            lKursID = kursbench::FirstKursID(h);
            Exec(h, "BEGIN");
            Grow(h, kPersons - kArchivePersons);
            kursbench::FillArchive(h, lKursID, kArchivePersons, kRegistrations);
            Exec(h, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                        std::to_string(kPlaces) + ") INSERT INTO Ort (lOrtID, strPLZ, strOrt, lTyp) SELECT 700000 + i, "
                        "'99' || printf('%02d', i % 100), 'Bergdorf ' || i, 1 FROM n");
            Exec(h, "COMMIT");
        });
        kursDlg = Show(lKursID, 0);
        COptionServer options;
        options.SetOption(-4000, L"MaxSearchResults", 0L, 0);
    }

    // A plain window that holds the search dialog or the combo box.
    CDialog* OpenHolder() {
        auto* holder = new CDialog;
        qv::ui::DialogTemplate tpl;
        tpl.caption = L"Halter";
        tpl.cx = 600;
        tpl.cy = 400;
        tpl.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
        if (!holder->CreateIndirect(tpl, nullptr)) Die("no holder window");
        return holder;
    }
};

Environment* g_env = nullptr;

Environment& Env() {
    if (!g_env) g_env = new Environment;
    return *g_env;
}

void TearDown() {
    if (!g_env) return;
    if (g_env->kursDlg) g_env->host->CloseView(KURSVIEW_PROGID);
    qv::ui::test::Pump();
    g_env->pane.DestroyWindow();
    kursbench::StopFrame(g_env->host);
}

void Report(benchmark::State& state, const StallProbe& probe, double first, double last) {
    state.counters["longest_gap_ms"] = probe.Longest();
    state.counters["gaps_over_50ms"] = probe.Over50();
    state.counters["first_rows_ms"] = first;
    state.counters["last_row_ms"] = last;
    state.counters["resident_mb"] = ResidentMB();
}

// ---- the place combo box

class BenchPlaceCombo : public COrtComboBox {
public:
    bool Searching() {
        DWORD exit = 0;
        if (!m_pLoaderThread || (GetExitCodeThread(m_pLoaderThread->m_hThread, &exit) && exit != STILL_ACTIVE))
            return false;
        if (m_bTextChanged || WaitForSingleObject(m_hWakeEvent, 0) == WAIT_OBJECT_0) return true;
        return m_handoff.IsPending();
    }
};

void BM_PlaceCombo(benchmark::State& state, std::wstring text) {
    Environment& env = Env();
    CDialog* holder = env.OpenHolder();
    BenchPlaceCombo combo;
    if (!combo.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
                      CRect(12, 12, 312, 232), holder, 1001))
        Die("no place combo box");
    combo.BuildFilter(FALSE);
    qv::ui::test::Pump();
    RowWatch watch(combo.GetSafeHwnd(), [&] { return combo.GetCount(); });
    double first = 0, last = 0, rows = 0;
    for (auto _ : state) {
        qv::ui::test::Retype(combo.GetSafeHwnd(), L"x");
        RunUntil([&] { return !combo.Searching(); });
        watch.Arm(0);
        env.probe.Start();
        const auto start = Clock::now();
        qv::ui::test::Retype(combo.GetSafeHwnd(), text);
        RunUntil([&] { return !combo.Searching(); });
        const auto done = Clock::now();
        env.probe.Stop();
        first = watch.First() == Clock::time_point{} ? Ms(start, done) : Ms(start, watch.First());
        last = Ms(start, done);
        rows = combo.GetCount();
        state.SetIterationTime(last / 1000.0);
    }
    Report(state, env.probe, first, last);
    state.counters["rows"] = rows;
    combo.DestroyWindow();
    holder->DestroyWindow();
    delete holder;
}

// ---- the person search

class BenchSearchDlg : public CSearchPersonDlg {
public:
    BenchSearchDlg() : CSearchPersonDlg(L"BenchGui") {}
};

struct SearchWindow {
    CDialog* holder = nullptr;
    BenchSearchDlg* dlg = nullptr;
    explicit SearchWindow(Environment& env, BOOL bMultiSelect, long limit) {
        COptionServer options;
        options.SetOption(-4000, L"MaxSearchResults", limit, 0);
        holder = env.OpenHolder();
        dlg = new BenchSearchDlg;
        dlg->m_bAutoSearch = FALSE;
        dlg->m_bMultiSelect = bMultiSelect;
        if (!dlg->Create(IDD_SEARCH, holder)) Die("the search dialog");
        dlg->MoveWindow(0, 0, 1200, 700);
        dlg->ShowWindow(SW_SHOW);
        qv::ui::test::Pump();
    }
    HWND Edit() const { return qv::ui::test::Item(dlg->m_hWnd, IDC_SEARCH_TEXT); }
    // Types the text (its last character starts the search) and waits for its rows.
    void Search(const std::wstring& text) {
        dlg->m_bAutoSearch = FALSE;
        qv::ui::test::Retype(Edit(), text.substr(0, text.size() - 1));
        dlg->m_bAutoSearch = TRUE;
        qv::ui::test::Type(Edit(), text.substr(text.size() - 1));
        RunUntil([&] { return !dlg->IsSearching(); });
    }
    // Runs `keystroke` under the probe and waits for the search it starts; the times of its first
    // and last rows (from the keystroke) and the rows shown.
    void Timed(Environment& env, benchmark::State& state, const std::function<void()>& keystroke, int checked) {
        RowWatch watch(dlg->m_lstResult.GetSafeHwnd(), [&] { return dlg->m_lstResult.GetItemCount(); });
        watch.Arm(checked);
        env.probe.Start();
        const auto start = Clock::now();
        keystroke();
        RunUntil([&] { return !dlg->IsSearching(); });
        const auto done = Clock::now();
        env.probe.Stop();
        first = watch.First() == Clock::time_point{} ? Ms(start, done) : Ms(start, watch.First());
        last = Ms(start, done);
        rows = dlg->m_lstResult.GetItemCount();
        state.SetIterationTime(last / 1000.0);
    }
    // The figures of the last timed search, and the closing of the dialog with its rows.
    void ReportAndClose(Environment& env, benchmark::State& state) {
        Report(state, env.probe, first, last);
        state.counters["rows"] = rows;
        env.probe.Start();
        state.counters["close_ms"] = Close();
        env.probe.Stop();
    }
    double first = 0, last = 0, rows = 0;
    // Time to close the dialog with its rows.
    double Close() {
        const auto start = Clock::now();
        dlg->DestroyWindow();
        delete dlg;
        dlg = nullptr;
        const double ms = Ms(start, Clock::now());
        holder->DestroyWindow();
        delete holder;
        qv::ui::test::Pump();
        return ms;
    }
};

// Multi-select: 20,000 rows shown (the limit), three of them checked, then one letter typed.
void BM_MultiSelectSearchKeystroke(benchmark::State& state) {
    Environment& env = Env();
    SearchWindow w(env, TRUE, 20000);
    for (auto _ : state) {
        w.Search(L" ");
        if (w.dlg->m_lstResult.GetItemCount() != 20000)
            Die("the search shows " + std::to_string(w.dlg->m_lstResult.GetItemCount()) + " rows");
        for (int row : {0, 100, 1000}) qv::ui::test::ClickRowCheckBox(w.dlg->m_lstResult.GetSafeHwnd(), row);
        w.Timed(env, state, [&] { qv::ui::test::Type(w.Edit(), L"a"); }, 3);
    }
    w.ReportAndClose(env, state);
}

// Single-select, no word, no limit: every person; then the dialog with its rows is closed.
void BM_PersonSearchAllThenClose(benchmark::State& state) {
    Environment& env = Env();
    SearchWindow w(env, FALSE, 0);
    for (auto _ : state) {
        w.dlg->m_bAutoSearch = FALSE;
        qv::ui::test::Retype(w.Edit(), L"zzzzzz");
        w.dlg->Refresh();
        RunUntil([&] { return !w.dlg->IsSearching(); });
        w.dlg->m_bAutoSearch = TRUE;
        w.Timed(env, state, [&] { qv::ui::test::Retype(w.Edit(), L" "); }, 0);
    }
    if (w.rows < double(kPersons) * 0.9) Die("the search shows only " + std::to_string(long(w.rows)) + " rows");
    w.ReportAndClose(env, state);
    state.counters["close_longest_gap_ms"] = env.probe.Longest();
}

// ---- the archive: opened, reloaded with its rows shown, and the course window closed

void BM_Archive(benchmark::State& state) {
    Environment& env = Env();
    CHistoryDlg* page = kursbench::FindPage<CHistoryDlg>(env.kursDlg);
    if (!page) Die("the archive page is not offered");
    RowWatch watch(page->m_list.GetSafeHwnd(), [&] { return page->m_list.GetItemCount(); });
    double openFirst = 0, openLast = 0, openGap = 0, reloadFirst = 0, reloadLast = 0, reloadGap = 0;
    int openOver = 0, reloadOver = 0;
    state.counters["resident_before_open_mb"] = ResidentMB();
    for (auto _ : state) {
        // Opened: the page is shown and loads.
        watch.Arm(0);
        env.probe.Start();
        auto start = Clock::now();
        int tab = -1;
        for (int i = 0; i < env.kursDlg->GetTabCtrl().GetTabCount(); ++i)
            if (env.kursDlg->GetTabCtrl().GetTabWnd(i) == page) tab = i;
        if (tab < 0) Die("no archive tab");
        env.kursDlg->GetTabCtrl().ShowTabWindow(tab);
        RunUntil([&] { return !page->IsLoading(); });
        auto done = Clock::now();
        env.probe.Stop();
        openFirst = Ms(start, watch.First() == Clock::time_point{} ? done : watch.First());
        openLast = Ms(start, done);
        openGap = env.probe.Longest();
        openOver = env.probe.Over50();
        state.counters["resident_mb"] = ResidentMB();
        if (page->m_list.GetItemCount() != kRegistrations)
            Die("the archive lists " + std::to_string(page->m_list.GetItemCount()) + " rows");
        // Reloaded with its rows shown (F5, another run).
        watch.Arm(0);
        env.probe.Start();
        start = Clock::now();
        page->StartThread();
        RunUntil([&] { return !page->IsLoading(); });
        done = Clock::now();
        env.probe.Stop();
        reloadFirst = Ms(start, watch.First() == Clock::time_point{} ? done : watch.First());
        reloadLast = Ms(start, done);
        reloadGap = env.probe.Longest();
        reloadOver = env.probe.Over50();
        state.SetIterationTime(openLast / 1000.0);
    }
    state.counters["open_first_rows_ms"] = openFirst;
    state.counters["open_last_row_ms"] = openLast;
    state.counters["open_longest_gap_ms"] = openGap;
    state.counters["open_gaps_over_50ms"] = openOver;
    state.counters["reload_first_rows_ms"] = reloadFirst;
    state.counters["reload_last_row_ms"] = reloadLast;
    state.counters["reload_longest_gap_ms"] = reloadGap;
    state.counters["reload_gaps_over_50ms"] = reloadOver;
    // The course window closed while the archive holds its rows.
    env.probe.Start();
    const auto start = Clock::now();
    env.host->CloseView(KURSVIEW_PROGID);
    qv::ui::test::Pump();
    env.kursDlg = nullptr;
    state.counters["close_ms"] = Ms(start, Clock::now());
    env.probe.Stop();
    state.counters["close_longest_gap_ms"] = env.probe.Longest();
}

}  // namespace

// The archive runs first, so that its resident memory is not that of the searches after it.
BENCHMARK(BM_Archive)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PersonSearchAllThenClose)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_MultiSelectSearchKeystroke)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_PlaceCombo, digits_99, std::wstring(L"99"))->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_PlaceCombo, word_ber, std::wstring(L"ber"))->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) { return kursbench::RunBenchmarks(argc, argv, TearDown); }
