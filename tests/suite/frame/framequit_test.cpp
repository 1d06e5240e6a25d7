// The program's end while a closed search's worker is held inside a database call that no cancel
// reaches (a server that does not answer): the window goes at once, and the end waits for the
// worker once, a bounded time, on a file and on a server database.
#include "framehost.h"
#include "framestartup.h"
#include "framewindow.h"
#include "leftwork.h"
#include "leftworkers.h"
#include "qvregvalue.h"
#include "qvrunning.h"
#include "qtwidget.h"
#include "qvui.h"
#include "scripted.h"
#include "searchpopupdlg.h"
#include "searchresource.h"
#include "tempdir.h"
#include "uidriver.h"
#include "wnd.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#ifdef QV_FRAME_PG
#include "pgcluster.h"
#include "pgdb.h"
#include "pgfaultproxy.h"
#include <csignal>
#include <sys/wait.h>
#else
#include "extensions.h"
#include "sqlitedb.h"
#include <sqlite3.h>
#endif

namespace frametest {
namespace {

using namespace qv::ui::test;
using Clock = std::chrono::steady_clock;

// Holds the first thread other than the test's that reaches it while armed, until released.
struct Stall {
    std::mutex lock;
    std::condition_variable change;
    bool armed = false;
    bool released = false;
    std::thread::id gui = std::this_thread::get_id();
    std::thread::id held;
    int holding = 0;

    void Reach() {
        std::unique_lock l(lock);
        if (!armed || std::this_thread::get_id() == gui) return;
        if (held == std::thread::id()) held = std::this_thread::get_id();
        if (held != std::this_thread::get_id()) return;
        ++holding;
        change.notify_all();
        change.wait(l, [&] { return released; });
        --holding;
        change.notify_all();
    }
    void Arm() {
        std::lock_guard g(lock);
        armed = true;
    }
    int Holding() {
        std::lock_guard g(lock);
        return holding;
    }
    void Release() {
        {
            std::lock_guard g(lock);
            released = true;
        }
        change.notify_all();
    }
};

Stall* g_stall = nullptr;

// Notes when the window is hidden.
class HideWatch : public QObject {
public:
    Clock::time_point at{};
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Hide && at == Clock::time_point{}) at = Clock::now();
        return false;
    }
};

class FrameQuit : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(qv::ui::EnsureApplication());
        backend.OnFailure([](const std::string& message) { ADD_FAILURE() << message; });
        g_stall = &stall;
    }
    void TearDown() override {
        stall.Release();
        CLeftWorkers::End(INFINITE);
        if (host) {
            host->CloseAll();
            host->InternalRelease();
            delete host;
        }
        qv::RevokeAllRunningServers();
#ifdef QV_FRAME_PG
        qv::sql::PgDb::SetAfterSendHookForTests({});
#endif
        g_stall = nullptr;
    }
    // The demo database, the suite's servers on it and the program's window; on a server, reached
    // through `proxy` when given.
    void Start() {
        QvFrameOptions options;
#ifdef QV_FRAME_PG
        const std::string demo = std::string(QV_DEMODB_PROGRAM) + " --db " + database.url() + " > " +
                                 dir.file("demo.txt") + " 2>&1";
        const int status = std::system(demo.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << demo;
        options.database = proxy ? proxy->Through(database.url()) : database.url();
#else
        // The held call: a function of the database that the rows of Person pass through.
        qv::sql::RegisterConnectionInitializer("frame-quit-stall", [](sqlite3* h) {
            sqlite3_create_function(h, "Stalled", 0, SQLITE_UTF8, nullptr,
                                    [](sqlite3_context* c, int, sqlite3_value**) {
                                        if (g_stall) g_stall->Reach();
                                        sqlite3_result_int(c, 1);
                                    },
                                    nullptr, nullptr);
        });
#endif
        std::string path, message;
        ASSERT_TRUE(QvFramePrepareDatabase(options, &path, &message)) << message;
        ASSERT_TRUE(QvFrameCheckUser(options, path, &message)) << message;
        QvFrameConfigure(path, false);
        CQvRegistry::SetValue(L"Software\\Qovaro\\QvWebServer", L"Port", DWORD(0));
        ASSERT_TRUE(QvFrameRegisterLibraries(QvFrameServerLibraries()).empty());
        ASSERT_TRUE(QvFrameRegisterLibraries(QvFrameModuleLibraries()).empty());
        host = new CQvFrameHost;
        ASSERT_EQ(host->RegisterAsFrame(), S_OK);
        QvFrameStartServers(*host, QvFrameUser(options));
        for (const auto& [progId, hr] : host->FailedServers()) ADD_FAILURE() << progId.ToUtf8() << " " << hr;
#ifdef QV_FRAME_PG
        // As a server that does not answer: the worker's statement is sent, its answer never read.
        qv::sql::PgDb::SetAfterSendHookForTests([](int) {
            if (g_stall) g_stall->Reach();
        });
#else
        qv::sql::SqliteDb db;
        ASSERT_EQ(db.Open("sqlite:" + path), SQLITE_OK) << db.LastError().description;
        ASSERT_EQ(db.Exec("PRAGMA legacy_alter_table = ON; ALTER TABLE Person RENAME TO PersonHeld; CREATE VIEW Person "
                          "AS SELECT p.* FROM PersonHeld p WHERE Stalled()"),
                  SQLITE_OK)
            << db.LastError().description;
#endif
    }

    qvtest::TempDir dir;
    qvtest::ScopedEnv registry{"QV_REGISTRY", dir.file("registry.db")};
    qvtest::ScopedEnv data{"XDG_DATA_HOME", dir.file("data")};
#ifdef QV_FRAME_PG
    qvtest::PgTestDatabase database;
    std::unique_ptr<qvtest::PgFaultProxy> proxy;
#endif
    qv::ScriptedInteraction backend;
    qv::ScopedInteraction interaction{&backend};
    CQvFrameHost* host = nullptr;
    Stall stall;
};

TEST_F(FrameQuit, WithASearchWorkerHeldTheWindowGoesAtOnceAndTheEndWaitsForItOnceABoundedTime) {
    ASSERT_NO_FATAL_FAILURE(Start());
    auto* window = new CQvFrameWindow(host, QvFrameSettings{QString::fromUtf8("kurse"), QString::fromUtf8("Admin")});
    host->SetMainWindow(qv::ui::HandleOf(window));
    window->show();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == window; }));
    HideWatch hidden;
    window->installEventFilter(&hidden);

    // A search closed while its worker is held: the worker is left running.
    stall.Arm();
    CSearchPopupDlg popup(4, L"Quit", -1, 0);
    backend.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog&) {
        EXPECT_TRUE(WaitFor([&] { return stall.Holding() == 1; }, 30000)) << "the search's statement runs";
        Click(popup.m_hWnd, IDCANCEL);
    });
    popup.DoModal();
    ASSERT_EQ(stall.Holding(), 1);
    ASSERT_EQ(CLeftWorkers::Count(), 1u);

    // Datei, Beenden, once the window system has given the window its activation back.
    window->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == window; }));
    const Clock::time_point quit = Clock::now();
    ASSERT_TRUE(PressKey(nullptr, 'D', Qt::AltModifier));
    ASSERT_TRUE(ClickMenuItem(L"&Beenden"));
    ASSERT_NE(hidden.at, Clock::time_point{}) << "the window was not hidden";
    EXPECT_LT(hidden.at - quit, std::chrono::milliseconds(500)) << "the window stayed while the end waited";
    // The program's end: after its loop, the host closes everything and goes.
    host->CloseAll();
    delete window;
    host->InternalRelease();
    delete host;
    host = nullptr;
    const auto took = Clock::now() - quit;
    EXPECT_GE(took, std::chrono::milliseconds(4500)) << "the end waited for the held worker";
    EXPECT_LT(took, std::chrono::seconds(6)) << "the end waited more than once";
    // Still held: the program ends without unloading what it runs.
    EXPECT_FALSE(QvEndLeftWork(0));
    EXPECT_EQ(stall.Holding(), 1);
}

#ifdef QV_FRAME_PG
TEST_F(FrameQuit, WithTheServersListenerStoppedASearchClosesAtOnceAndTheEndKeepsItsBound) {
    // The server's listening process stands still (a hung server host): every cancel, a new
    // connection to it, gets no answer. A watch lets it go on after 12 s, should anything wait.
    proxy = std::make_unique<qvtest::PgFaultProxy>(qvtest::PortOf(database.url()));
    ASSERT_NO_FATAL_FAILURE(Start());
    auto* window = new CQvFrameWindow(host, QvFrameSettings{QString::fromUtf8("kurse"), QString::fromUtf8("Admin")});
    host->SetMainWindow(qv::ui::HandleOf(window));
    window->show();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == window; }));

    // The search's statement waits for a lock another session holds, in a server process that
    // stands still as well: nothing but the program's bound ends the wait.
    qv::sql::PgDb holder;
    ASSERT_EQ(holder.Open(database.url()), 0) << holder.LastError().description;
    ASSERT_EQ(holder.Exec("BEGIN; LOCK TABLE Person IN ACCESS EXCLUSIVE MODE"), 0) << holder.LastError().description;
    std::atomic<bool> listening{true}, done{false};
    int held = 0;
    std::thread watch;
    struct Let {
        std::atomic<bool>& done;
        std::thread& watch;
        int& held;
        qv::sql::PgDb& holder;
        ~Let() {
            done = true;
            if (watch.joinable()) watch.join();
            if (held > 0) kill(held, SIGCONT);
            holder.Exec("ROLLBACK");
        }
    } let{done, watch, held, holder};
    CSearchPopupDlg popup(4, L"Quit", -1, 0);
    bool turnTaken = false;
    backend.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog&) {
        EXPECT_TRUE(WaitFor([&] {
            qv::sql::PgRows rows;
            holder.Exec("SELECT pg_stat_clear_snapshot()");
            holder.Query("SELECT pid FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND datname = current_database()",
                         &rows);
            if (rows.rows.empty() || !rows.rows[0][0]) return false;
            held = std::stoi(*rows.rows[0][0]);
            return kill(held, SIGSTOP) == 0;
        }, 30000)) << "the search's statement waits";
        proxy->Listen(false);
        listening = false;
        watch = std::thread([&] {
            for (int i = 0; i < 1200 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            listening = true;
            proxy->Listen(true);
        });
        // The close sends its cancel without waiting for the server: the frame's next turn comes.
        QTimer::singleShot(0, [&] { turnTaken = true; });
        Click(popup.m_hWnd, IDCANCEL);
    });
    popup.DoModal();
    EXPECT_TRUE(WaitFor([&] { return turnTaken; }, 2000));
    EXPECT_FALSE(listening) << "the close waited for the server";
    ASSERT_EQ(CLeftWorkers::Count(), 1u);

    window->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == window; }));
    const Clock::time_point quit = Clock::now();
    ASSERT_TRUE(PressKey(nullptr, 'D', Qt::AltModifier));
    ASSERT_TRUE(ClickMenuItem(L"&Beenden"));
    host->CloseAll();
    delete window;
    host->InternalRelease();
    delete host;
    host = nullptr;
    const auto took = Clock::now() - quit;
    EXPECT_GE(took, std::chrono::milliseconds(4500)) << "the end waited for the held worker";
    EXPECT_LT(took, std::chrono::seconds(6)) << "the end outlasted its bound";
    EXPECT_FALSE(listening) << "the end waited for the server";
    // Still held: the program ends without unloading what it runs.
    EXPECT_FALSE(QvEndLeftWork(0));
}
#endif

}  // namespace
}  // namespace frametest
