// How long the GUI thread is kept from its events while rows come from workers, at the size of a
// canton: the place combo box with 3,000 and with 6,000 places, the multi-select person search with
// 20,000 rows shown, the person search of 100,000 persons without a word or limit, the archive of
// 100,000 finished registrations of 100,000 distinct persons in the course window, and the closing
// of windows that hold these rows; and the longest time a user's key waits while a search, the
// archive and a run's page close while their workers are busy.
//
// Two measures of the GUI thread. What the program controls: the thread's own CPU time in each
// turn of its event loop (the thread's CPU clock read around each event it dispatches; a nested
// loop that waits ends the turn), its longest turn and the number of turns over 25 ms. And the
// wall gap: a probe timer ticks every 5 ms and notes the longest gap between two ticks and the
// number of gaps over 50 ms; on a busy machine this also holds the other programs' work, so the
// machine's load (/proc/loadavg) is noted beside it. Also noted: the time to the first rows and to
// the last, the time a window takes to close, and the resident memory of the whole program, now
// and at its peak (VmHWM).
//
// The database is the canton that bench_canton builds (100,000 persons, 1,000,000 registrations;
// QV_CANTON_DB names another), copied before any timing and completed in a child process, so that
// the fixture's work is not the program's memory: 100,000 archive persons, each with a rank and one
// finished registration in the first course, and 6,000 places whose names begin with "Ber", the
// first 3,000 with postcodes that hold "99". A fixture that cannot be built stops the program with
// the reason. The peak of resident memory is never reset: it is that of the frame's own code on the
// canton. The course window opens in the archive's case, which notes the resident memory before it
// opens, the peak once it is open and once its names are sorted, and the memory after it is closed.
#include "historydlg.h"
#include "instanzdatendlg.h"
#include "kursbench.h"
#include "optionserver.h"
#include "ortcombobox.h"
#include "searchpersondlg.h"
#include "searchresource.h"
#include "uidriver.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QWindow>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using kursbench::Die;
using kursbench::Exec;
using Clock = std::chrono::steady_clock;

// The canton's persons and the archive's.
constexpr long long kPersons = 200000;
constexpr int kArchivePersons = 100000;
constexpr int kRegistrations = 100000;
constexpr int kPlaces = 6000;      // names begin with "Ber"
constexpr int kPlaces99 = 3000;    // of them, those whose postcodes hold "99"
constexpr double kLongTurnMs = 25;

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

using kursbench::PeakResidentMB;
using kursbench::ResidentMB;
using kursbench::StatusMB;

// Where resident memory goes: the heap's blocks in use and free (all arenas, and the large blocks
// mapped apart), and SQLite's own share of the blocks in use (page caches, sorts, statements).
void NoteHeap(benchmark::State& state, const std::string& prefix) {
    const struct mallinfo2 mi = mallinfo2();
    state.counters[prefix + "heap_used_mb"] = double(mi.uordblks + mi.hblkhd) / 1048576.0;
    state.counters[prefix + "heap_free_mb"] = double(mi.fordblks) / 1048576.0;
    state.counters[prefix + "sqlite_mb"] = double(sqlite3_memory_used()) / 1048576.0;
}

using kursbench::LoadAverage;

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// The application, which reads the GUI thread's CPU clock around each event it dispatches: a turn
// is the outermost dispatch, less the time a nested event loop waits inside it (a nested loop that
// waits has given the thread back to its events).
class TurnMeterApp : public QApplication {
public:
    using QApplication::QApplication;
    void Start() {
        m_longest = 0;
        m_over = 0;
        m_on = true;
    }
    void Stop() { m_on = false; }
    double Longest() const { return m_longest; }
    int Over() const { return m_over; }
    void WatchDispatcher() {
        QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();
        if (!d) return;
        QObject::connect(d, &QAbstractEventDispatcher::aboutToBlock, [this] {
            if (m_depth > 0) EndTurn();
        });
        QObject::connect(d, &QAbstractEventDispatcher::awake, [this] {
            if (m_depth > 0) m_turnStart = ThreadCpuMs();
        });
    }
    // What the benchmark itself does on the GUI thread outside the event loop (closing a window,
    // showing a page) is one turn as well.
    template <class F>
    void Turn(F&& work) {
        if (m_depth++ == 0) m_turnStart = ThreadCpuMs();
        work();
        if (--m_depth == 0) EndTurn();
    }
    bool notify(QObject* receiver, QEvent* event) override {
        if (m_depth++ == 0) m_turnStart = ThreadCpuMs();
        const bool r = QApplication::notify(receiver, event);
        if (--m_depth == 0) EndTurn();
        return r;
    }

private:
    void EndTurn() {
        const double now = ThreadCpuMs();
        const double turn = now - m_turnStart;
        m_turnStart = now;
        if (!m_on) return;
        m_longest = std::max(m_longest, turn);
        if (turn > kLongTurnMs) ++m_over;
    }
    int m_depth = 0;
    double m_turnStart = 0;
    double m_longest = 0;
    int m_over = 0;
    bool m_on = false;
};

TurnMeterApp* g_app = nullptr;

// Made before the window system would make its own application.
void MakeApplication() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        const std::string dir = "/tmp/runtime-" + std::to_string(getuid());
        mkdir(dir.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 0);
    }
    static int argc = 1;
    static char name[] = "bench_gui";
    static char* argv[] = {name, nullptr};
    g_app = new TurnMeterApp(argc, argv);
    g_app->WatchDispatcher();
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
        m_load = LoadAverage();
        m_clock.start();
        m_last = 0;
        m_timer.start();
        g_app->Start();
    }
    void Stop() {
        Tick();
        m_timer.stop();
        g_app->Stop();
        m_load = std::max(m_load, LoadAverage());
    }
    double Longest() const { return m_longest; }
    int Over50() const { return m_over50; }
    // The GUI thread's CPU time in its longest turn, and the turns over 25 ms of it.
    double LongestTurnCpu() const { return g_app->Longest(); }
    int TurnsOver25() const { return g_app->Over(); }
    // The machine's load (the higher of its start and end).
    double Load() const { return m_load; }

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
    double m_load = 0;
};

// The widgets of a closed window go once the event loop has its turn again (deleteLater), as in
// the frame's event loop; outside one, Qt keeps them until they are asked for.
void DeleteClosedWidgets() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// Runs the GUI thread's events until the condition holds.
void RunUntil(const std::function<bool()>& done, int timeoutMs = 600000) {
    const auto start = Clock::now();
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        DeleteClosedWidgets();
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

struct Environment : kursbench::KursWindow {
    kursbench::AcceptingInteraction quiet{false};
    long lKursID = 0;
    long lRunKursID = 0, lRunID = 0;  // a run, for the run's page
    CKursDlg* kursDlg = nullptr;
    StallProbe probe;

    Environment() {
        kursbench::PrepareCanton("/tmp/qvgui-bench-XXXXXX", interaction, [](sqlite3* h) {
            const long lKursID = kursbench::FirstKursID(h);
            Exec(h, "BEGIN");
            kursbench::FillArchive(h, lKursID, kArchivePersons, kRegistrations);
            // Each archive person with a rank, as in a brigade's records.
            Exec(h, "WITH g AS (SELECT lGradID, row_number() OVER (ORDER BY lGradID) - 1 AS n, count(*) OVER () AS c "
                    "FROM Grad) UPDATE Person SET lCAktGradID = (SELECT lGradID FROM g WHERE g.n = Person.lPersonID % "
                    "g.c) WHERE lPersonID >= 900000");
            Exec(h, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                        std::to_string(kPlaces) + ") INSERT INTO Ort (lOrtID, strPLZ, strOrt, lTyp) SELECT 700000 + i, "
                        "CASE WHEN i <= " + std::to_string(kPlaces99) + " THEN '99' ELSE '88' END || printf('%02d', "
                        "i % 100), 'Bergdorf ' || i, 1 FROM n");
            Exec(h, "COMMIT");
        });
        // Read again here: the fixture was completed in a child process.
        {
            sqlite3* h = nullptr;
            if (sqlite3_open_v2(kursbench::DatabasePath().c_str(), &h, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
                Die("the canton cannot be read");
            lKursID = kursbench::FirstKursID(h);
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v2(h, "SELECT lKursID, lKursinstanzID FROM Kursinstanz ORDER BY lKursinstanzID LIMIT 1",
                                   -1, &stmt, nullptr) == SQLITE_OK &&
                sqlite3_step(stmt) == SQLITE_ROW) {
                lRunKursID = sqlite3_column_int(stmt, 0);
                lRunID = sqlite3_column_int(stmt, 1);
            }
            sqlite3_finalize(stmt);
            sqlite3_close(h);
            if (lRunID == 0) Die("the canton has no runs");
        }
        host = kursbench::StartFrame();
        kursbench::CreatePane(pane);
        COptionServer options;
        options.SetOption(-4000, L"MaxSearchResults", 0L, 0);
    }

    // The course window at the course.
    void OpenKursView() {
        kursDlg = kursbench::ShowKursView(*host, pane);
        kursDlg->Navigate(lKursID, 0);
        qv::ui::test::Pump();
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

// The probe's figures under a name's prefix ("" for the case itself).
void ReportProbe(benchmark::State& state, const StallProbe& probe, const std::string& prefix) {
    state.counters[prefix + "longest_gap_ms"] = probe.Longest();
    state.counters[prefix + "gaps_over_50ms"] = probe.Over50();
    state.counters[prefix + "longest_turn_cpu_ms"] = probe.LongestTurnCpu();
    state.counters[prefix + "turns_over_25ms_cpu"] = probe.TurnsOver25();
    state.counters[prefix + "load"] = probe.Load();
}

void Report(benchmark::State& state, const StallProbe& probe, double first, double last) {
    ReportProbe(state, probe, "");
    state.counters["first_rows_ms"] = first;
    state.counters["last_row_ms"] = last;
    state.counters["resident_mb"] = ResidentMB();
    state.counters["peak_resident_mb"] = PeakResidentMB();
}

// ---- the place combo box

class BenchPlaceCombo : public COrtComboBox {
public:
    bool Searching() {
        DWORD exit = 0;
        if (!m_pLoaderThread || (GetExitCodeThread(m_pLoaderThread->m_hThread, &exit) && exit != STILL_ACTIVE))
            return false;
        if (m_pState->bTextChanged || WaitForSingleObject(m_pState->hWake, 0) == WAIT_OBJECT_0) return true;
        return m_pState->handoff.IsPending();
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
        ReportProbe(state, env.probe, "close_");
    }
    double first = 0, last = 0, rows = 0;
    // Time to close the dialog with its rows.
    double Close() {
        const auto start = Clock::now();
        g_app->Turn([&] {
            dlg->DestroyWindow();
            delete dlg;
        });
        dlg = nullptr;
        DeleteClosedWidgets();
        const double ms = Ms(start, Clock::now());
        holder->DestroyWindow();
        delete holder;
        qv::ui::test::Pump();
        DeleteClosedWidgets();
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
}

// ---- the archive: opened, reloaded with its rows shown, and the course window closed

void BM_Archive(benchmark::State& state) {
    Environment& env = Env();
    // The frame has drawn its own window with its texts before the course window opens.
    {
        CDialog* holder = env.OpenHolder();
        holder->SetDlgItemText(0, L"Start");
        qv::ui::test::Grab(holder->GetSafeHwnd());
        holder->DestroyWindow();
        delete holder;
    }
    qv::ui::test::Pump();
    DeleteClosedWidgets();
    const double residentBefore = ResidentMB();
    const double anonBefore = StatusMB("RssAnon");
    state.counters["resident_before_open_mb"] = residentBefore;
    NoteHeap(state, "before_open_");
    env.OpenKursView();
    CHistoryDlg* page = kursbench::FindPage<CHistoryDlg>(env.kursDlg);
    if (!page) Die("the archive page is not offered");
    RowWatch watch(page->m_list.GetSafeHwnd(), [&] { return page->m_list.GetItemCount(); });
    double openFirst = 0, openLast = 0, reloadFirst = 0, reloadLast = 0, loaderMs = 0;
    for (auto _ : state) {
        // Opened: the page is shown and loads.
        watch.Arm(0);
        env.probe.Start();
        auto start = Clock::now();
        int tab = -1;
        for (int i = 0; i < env.kursDlg->GetTabCtrl().GetTabCount(); ++i)
            if (env.kursDlg->GetTabCtrl().GetTabWnd(i) == page) tab = i;
        if (tab < 0) Die("no archive tab");
        auto threadsBefore = kursbench::ThreadCpuMs();
        g_app->Turn([&] { env.kursDlg->GetTabCtrl().ShowTabWindow(tab); });
        RunUntil([&] { return !page->IsLoading(); });
        auto done = Clock::now();
        env.probe.Stop();
        openFirst = Ms(start, watch.First() == Clock::time_point{} ? done : watch.First());
        openLast = Ms(start, done);
        ReportProbe(state, env.probe, "open_");
        state.counters["resident_mb"] = ResidentMB();
        NoteHeap(state, "open_");
        state.counters["open_peak_resident_mb"] = PeakResidentMB();
        if (page->m_list.GetItemCount() != kRegistrations)
            Die("the archive lists " + std::to_string(page->m_list.GetItemCount()) + " rows");
        loaderMs = kursbench::BusiestOtherThreadMs(threadsBefore, kursbench::ThreadCpuMs());
        // Reloaded with its rows shown (F5, another run).
        watch.Arm(0);
        env.probe.Start();
        start = Clock::now();
        g_app->Turn([&] { page->StartThread(); });
        RunUntil([&] { return !page->IsLoading(); });
        done = Clock::now();
        env.probe.Stop();
        reloadFirst = Ms(start, watch.First() == Clock::time_point{} ? done : watch.First());
        reloadLast = Ms(start, done);
        ReportProbe(state, env.probe, "reload_");
        state.SetIterationTime(openLast / 1000.0);
    }
    state.counters["open_first_rows_ms"] = openFirst;
    state.counters["open_last_row_ms"] = openLast;
    state.counters["reload_first_rows_ms"] = reloadFirst;
    state.counters["reload_last_row_ms"] = reloadLast;
    // Sorted by a click on the names' header, as the user sorts it: the peak with the archive
    // open and sorted, and the time to the list shown in its new order.
    {
        env.probe.Start();
        const auto start = Clock::now();
        int clicked = -1;
        QTimer::singleShot(0, [&] { clicked = qv::ui::test::ClickColumnHeader(page->m_list.GetSafeHwnd(), 5); });
        RunUntil([&] { return clicked >= 0 && !page->m_list.QvIsSorting(); });
        if (!clicked) Die("the archive's names cannot be sorted");
        state.counters["sort_shown_ms"] = Ms(start, Clock::now());
        env.probe.Stop();
        ReportProbe(state, env.probe, "sort_");
        state.counters["sorted_peak_resident_mb"] = PeakResidentMB();
    }
    // The course window closed while the archive holds its rows.
    env.probe.Start();
    const auto start = Clock::now();
    g_app->Turn([&] { env.host->CloseView(KURSVIEW_PROGID); });
    qv::ui::test::Pump();
    DeleteClosedWidgets();
    env.kursDlg = nullptr;
    state.counters["close_ms"] = Ms(start, Clock::now());
    env.probe.Stop();
    ReportProbe(state, env.probe, "close_");
    state.counters["peak_resident_mb"] = PeakResidentMB();
    // What the window's closing gave back, once its messages have run.
    RunUntil([&] { return Ms(start, Clock::now()) > 500; });
    state.counters["resident_after_close_mb"] = ResidentMB();
    state.counters["kept_after_close_mb"] = ResidentMB() - residentBefore;
    // Of it, the program's own memory; the rest are pages of the libraries' code and data that the
    // window's code brought in, which the system may drop and read again as it needs.
    state.counters["kept_anon_after_close_mb"] = StatusMB("RssAnon") - anonBefore;
    NoteHeap(state, "after_close_");
    // The loader's CPU time per row (of the opening) beside a plain step-and-read of its statement.
    const kursbench::PlainRead plain = kursbench::ReadArchivePlain(env.lKursID);
    if (plain.rows != kRegistrations) Die("the plain read gives " + std::to_string(plain.rows) + " rows");
    state.counters["loader_cpu_us_per_row"] = loaderMs * 1e3 / double(kRegistrations);
    state.counters["plain_cpu_us_per_row"] = plain.cpuMs * 1e3 / double(kRegistrations);
    state.counters["loader_to_plain"] = plain.cpuMs > 0 ? loaderMs / plain.cpuMs : 0;
}

// ---- a user's key while windows close whose workers are busy

// Posts a key to a window of its own every 5 ms from a thread of its own, as the window system
// hands over a user's keys, and notes how long each waited for the GUI thread to take it: the
// longest wait while a window closes is what a user who types on feels. A key still not taken at
// the end has waited until then.
class KeyProbe {
public:
    KeyProbe() {
        m_target.resize(120, 40);
        m_target.show();
        qv::ui::test::Pump();
        m_target.windowHandle()->installEventFilter(&m_filter);
        m_filter.probe = this;
    }
    ~KeyProbe() { m_target.windowHandle()->removeEventFilter(&m_filter); }
    void Start() {
        {
            std::lock_guard g(m_lock);
            m_posted.clear();
            m_taken.clear();
        }
        m_longest = 0;
        m_on = true;
        m_poster = std::thread([this] {
            QWindow* window = m_target.windowHandle();
            while (m_on) {
                int n = 0;
                {
                    std::lock_guard g(m_lock);
                    n = int(m_posted.size());
                    m_posted.push_back(Clock::now());
                    m_taken.push_back(false);
                }
                QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyPress, Qt::Key_F24, Qt::NoModifier,
                                                                  QString::number(n)));
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    // After the close: the keys posted meanwhile are taken for a while, then the longest wait.
    double Stop() {
        RunUntil([&, start = Clock::now()] { return Ms(start, Clock::now()) > 300; });
        m_on = false;
        m_poster.join();
        qv::ui::test::Pump();
        std::lock_guard g(m_lock);
        const auto now = Clock::now();
        for (std::size_t i = 0; i < m_posted.size(); ++i)
            if (!m_taken[i]) m_longest = std::max(m_longest, Ms(m_posted[i], now));
        return m_longest;
    }

private:
    struct Filter : QObject {
        KeyProbe* probe = nullptr;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F24) return false;
            probe->Taken(static_cast<QKeyEvent*>(event)->text().toInt());
            return true;
        }
    };
    void Taken(int n) {
        std::lock_guard g(m_lock);
        if (n < 0 || std::size_t(n) >= m_posted.size()) return;
        m_taken[std::size_t(n)] = true;
        m_longest = std::max(m_longest, Ms(m_posted[std::size_t(n)], Clock::now()));
    }
    QWidget m_target;
    Filter m_filter;
    std::mutex m_lock;
    std::vector<Clock::time_point> m_posted;
    std::vector<bool> m_taken;
    double m_longest = 0;
    std::atomic<bool> m_on{false};
    std::thread m_poster;
};

// The person search of every person closed while its worker reads; the course window closed while
// its archive loads; the course window closed on the run's page while its place box looks up
// 6,000 places. Each is closed at several moments after its worker began (in its statement or
// among its rows); the longest wait of a key in each, and the machine's load.
void BM_KeyWaitWhileClosing(benchmark::State& state) {
    Environment& env = Env();
    KeyProbe keys;
    double search = 0, archive = 0, run = 0;
    const int delaysMs[] = {0, 20, 50, 100, 200, 400};
    const auto after = [](int ms) { RunUntil([&, start = Clock::now()] { return Ms(start, Clock::now()) >= ms; }); };
    const auto showPage = [&](CWnd* page) {
        for (int i = 0; i < env.kursDlg->GetTabCtrl().GetTabCount(); ++i)
            if (env.kursDlg->GetTabCtrl().GetTabWnd(i) == page) env.kursDlg->GetTabCtrl().ShowTabWindow(i);
    };
    for (auto _ : state) {
        search = archive = run = 0;
        for (const int delay : delaysMs) {
            {
                SearchWindow w(env, FALSE, 0);
                w.dlg->m_bAutoSearch = TRUE;
                qv::ui::test::Retype(w.Edit(), L" ");
                after(delay);
                keys.Start();
                w.Close();
                search = std::max(search, keys.Stop());
            }
            {
                env.OpenKursView();
                CHistoryDlg* page = kursbench::FindPage<CHistoryDlg>(env.kursDlg);
                if (!page) Die("the archive page is not offered");
                showPage(page);
                after(delay);
                keys.Start();
                env.host->CloseView(KURSVIEW_PROGID);
                env.kursDlg = nullptr;
                archive = std::max(archive, keys.Stop());
                DeleteClosedWidgets();
            }
            {
                env.kursDlg = kursbench::ShowKursView(*env.host, env.pane);
                env.kursDlg->Navigate(env.lRunKursID, env.lRunID);
                qv::ui::test::Pump();
                CInstanzdatenDlg* page = kursbench::FindPage<CInstanzdatenDlg>(env.kursDlg);
                if (!page) Die("the run's page is not offered");
                showPage(page);
                qv::ui::test::Pump();
                qv::ui::test::Retype(page->m_cbOrt.GetSafeHwnd(), L"ber");
                after(delay / 4);
                keys.Start();
                env.host->CloseView(KURSVIEW_PROGID);
                env.kursDlg = nullptr;
                run = std::max(run, keys.Stop());
                DeleteClosedWidgets();
            }
        }
        state.SetIterationTime(std::max({search, archive, run}) / 1000.0);
    }
    state.counters["search_key_wait_ms"] = search;
    state.counters["archive_key_wait_ms"] = archive;
    state.counters["run_page_key_wait_ms"] = run;
    state.counters["longest_key_wait_ms"] = std::max({search, archive, run});
    state.counters["load"] = LoadAverage();
}

}  // namespace

// The archive runs first, so that its resident memory is not that of the searches after it.
BENCHMARK(BM_Archive)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PersonSearchAllThenClose)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_MultiSelectSearchKeystroke)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
// "99": the 3,000 places whose postcodes hold it; "ber": all 6,000 (and the demo's own); the box
// lists the first COrtComboBox::kMaxPlaces of them.
BENCHMARK_CAPTURE(BM_PlaceCombo, digits_99_3000, std::wstring(L"99"))->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_PlaceCombo, word_ber_6000, std::wstring(L"ber"))->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_KeyWaitWhileClosing)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
    MakeApplication();
    return kursbench::RunBenchmarks(argc, argv, TearDown);
}
