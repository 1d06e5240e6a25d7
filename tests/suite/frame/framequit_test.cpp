// The program's end while a closed search's worker is held inside a database call that no cancel
// reaches (a server that does not answer): the window goes at once, and the end waits for the
// worker once, a bounded time, on a file and on a server database. And its end with a course's
// edit open: asked over the window still shown, kept when the save the user wanted is refused.
#include "framehost.h"
#include "framestartup.h"
#include "framewindow.h"
#include "leftwork.h"
#include "kursresource.h"
#include "leftworkers.h"
#include "qtinteraction.h"
#include "qvadoconnection.h"
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

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
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
    // Armed again after a release, for the next thread that reaches it.
    void Rearm() {
        std::lock_guard g(lock);
        armed = true;
        released = false;
        held = std::thread::id();
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
        databasePath = path;
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

    // The first value of the statement's first row, through the program's own connection.
    template <class T>
    static T Value(const CString& strSQL) {
        CQvADOConnection connection;
        CQvADORecordset rs(&connection);
        T value{};
        BOOL bEOF = TRUE;
        EXPECT_EQ(connection.Open(L"Qovaro.NQ2", 0), S_OK);
        EXPECT_EQ(rs.Open(strSQL), S_OK);
        if (SUCCEEDED(rs.IsEOF(&bEOF)) && !bEOF) rs.GetFieldValue(long(0), &value);
        rs.Close();
        return value;
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
    std::string databasePath;
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
// The shown window below `root` that holds a shown control with the id, depth first (the pane is
// the frame's widget, no window of the program's own).
HWND ShownWith(HWND root, int id) {
    for (HWND child = ::GetWindow(root, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!Widget(child) || !Widget(child)->isVisible()) continue;
        const HWND item = Item(child, id);
        if (item && Widget(item)->isVisible()) return child;
        if (const HWND deeper = ShownWith(child, id)) return deeper;
    }
    return nullptr;
}

// Acts on the next message box once it is up (a menu open meanwhile is no box), inside its wait.
void WhenBoxOpened(std::function<void(QMessageBox* box)> act, qint64 limitMs = 10000) {
    auto* timer = new QTimer(qApp);
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, limitMs, act = std::move(act)] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        const bool up = box && box->isVisible();
        if (!up && clock->elapsed() < limitMs) return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (up) act(box);
    });
    timer->start();
}

QAbstractButton* ButtonOf(QWidget* box, const QString& text) {
    for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
        if (b->text().remove(QLatin1Char('&')) == text) return b;
    return nullptr;
}

// Beenden with a course's short name emptied: the question comes over the window still shown, as a
// box that Escape and a close of its window leave up. Yes, and the page refuses the save: the
// program goes on with the window and what was typed. No at the next Beenden: the window goes at
// once and nothing was stored.
TEST_F(FrameQuit, AnOpenEditIsAskedAboutOverTheWindowAndARefusedSaveKeepsTheProgram) {
    ASSERT_NO_FATAL_FAILURE(Start());
    const long lKurs = Value<long>(L"SELECT min(lKursID) FROM Kurs WHERE lTyp = 3");
    ASSERT_NE(lKurs, 0);
    CString strKurs;
    strKurs.Format(L"%d", lKurs);
    const auto text = [&](LPCWSTR lpszColumn) {
        return Value<CString>(CString(L"SELECT ") + lpszColumn + L" FROM Kurs WHERE lKursID = " + strKurs);
    };
    const CString strKurz = text(L"strKurzbezeichnung");
    ASSERT_FALSE(strKurz.IsEmpty());
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"LastID_Kurs", lKurs);
    ASSERT_EQ(host->OpenView(L"Qovaro.NQ2.KursView"), S_OK);
    auto* window = new CQvFrameWindow(host, QvFrameSettings{QString::fromUtf8("kurse"), QString::fromUtf8("Admin")});
    host->SetMainWindow(qv::ui::HandleOf(window));
    window->show();
    window->ShowView(L"Qovaro.NQ2.KursView");
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == window; }));
    HideWatch hidden;
    window->installEventFilter(&hidden);
    HWND page = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (page = ShownWith(window->Pane(), IDC_KURSDATEN_KURZ)) != nullptr; }, 10000))
        << "the course's page";
    const HWND kurz = Item(page, IDC_KURSDATEN_KURZ);
    ASSERT_EQ(qv::ui::test::Text(kurz), std::wstring(strKurz.wstr()));
    // A control of the course window is visible as the window shows it in the frame's pane.
    EXPECT_TRUE(::IsWindowVisible(kurz));
    ASSERT_TRUE(Retype(kurz, L""));
    ASSERT_NE(text(L"strLock"), CString()) << "the change is an edit";

    // The desktop's boxes, answered as the user does.
    qv::RecordingInteraction boxes{&qv::ui::QtInteraction()};
    qv::ScopedInteraction real{&boxes};
    bool shownOver = false, keptByEscape = false, keptByClose = false, told = false;
    QString question;
    auto quit = [&] {
        window->activateWindow();
        EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == window; }));
        EXPECT_TRUE(PressKey(nullptr, 'D', Qt::AltModifier));
        EXPECT_TRUE(ClickMenuItem(L"&Beenden"));
    };
    WhenBoxOpened([&](QMessageBox* box) {
        question = box->text();
        shownOver = window->isVisible() && box->parentWidget() && box->parentWidget()->window() == window;
        EXPECT_FALSE(box->windowFlags() & Qt::WindowCloseButtonHint) << "a Yes/No box has no close button";
        PressKey(nullptr, VK_ESCAPE);
        Pump();
        keptByEscape = box->isVisible();
        box->close();
        Pump();
        keptByClose = box->isVisible();
        // The page's word why it does not save, then the program goes on.
        WhenBoxOpened([&](QMessageBox* report) {
            told = report->text().contains(QString::fromUtf8("Kurzbezeichnung"));
            if (QAbstractButton* ok = ButtonOf(report, QStringLiteral("OK"))) ok->click();
        });
        if (QAbstractButton* yes = ButtonOf(box, QStringLiteral("Ja"))) yes->click();
    });
    quit();
    EXPECT_EQ(question, QString::fromUtf8("Sie haben die Daten geändert!\nWollen Sie die Änderungen speichern?"));
    EXPECT_TRUE(shownOver) << "the question stood alone, without the window";
    EXPECT_TRUE(keptByEscape) << "Escape answered the question";
    EXPECT_TRUE(keptByClose) << "the box's window closed without an answer";
    EXPECT_TRUE(told) << "the refusal was not said";
    EXPECT_TRUE(window->isVisible()) << "the program ended though the save was refused";
    EXPECT_EQ(hidden.at, Clock::time_point{});
    EXPECT_EQ(qv::ui::test::Text(kurz), L"") << "what was typed is kept";
    EXPECT_EQ(text(L"strKurzbezeichnung"), strKurz);
    EXPECT_NE(text(L"strLock"), CString()) << "the edit keeps its lock";

    // Asked again, No: the window goes at once, the course as it was stored, its lock released.
    Clock::time_point answered{};
    WhenBoxOpened([&](QMessageBox* box) {
        answered = Clock::now();
        if (QAbstractButton* no = ButtonOf(box, QStringLiteral("Nein"))) no->click();
    });
    quit();
    ASSERT_NE(answered, Clock::time_point{}) << "not asked again";
    ASSERT_NE(hidden.at, Clock::time_point{}) << "the window was not hidden";
    EXPECT_LT(hidden.at - answered, std::chrono::milliseconds(500)) << "the window stayed after the answer";
    EXPECT_EQ(boxes.Log().Count(qv::InteractionKind::MessageBox), 2u);
    host->CloseAll();
    delete window;
    EXPECT_EQ(text(L"strKurzbezeichnung"), strKurz);
    EXPECT_EQ(text(L"strLock"), CString());
}

// A local run's page in the program's window, with the search of a place held in the database:
// behind another session's lock of the places on a server, in the held call that the rows pass
// through on a file.
class FrameQuitPlace : public FrameQuit {
protected:
    void OpenRun() {
        ASSERT_NO_FATAL_FAILURE(Start());
#ifdef QV_FRAME_PG
        ASSERT_EQ(locker.Open(database.url()), 0) << locker.LastError().description;
        hold = [&] { ASSERT_EQ(locker.Exec("BEGIN; LOCK TABLE ort IN ACCESS EXCLUSIVE MODE"), 0); };
        held = [&] {
            qv::sql::PgRows rows;
            locker.Exec("SELECT pg_stat_clear_snapshot()");
            locker.Query("SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND datname = current_database()",
                         &rows);
            return !rows.rows.empty() && rows.rows[0][0].value_or("0") != "0";
        };
        letGo = [&] { locker.Exec("ROLLBACK"); };
#else
        {
            qv::sql::SqliteDb db;
            ASSERT_EQ(db.Open("sqlite:" + databasePath), SQLITE_OK);
            ASSERT_EQ(db.Exec("PRAGMA legacy_alter_table = ON; ALTER TABLE Ort RENAME TO OrtHeld; CREATE VIEW Ort AS "
                              "SELECT o.* FROM OrtHeld o WHERE Stalled()"),
                      SQLITE_OK)
                << db.LastError().description;
        }
        hold = [&] { stall.Rearm(); };
        held = [&] { return stall.Holding() == 1; };
        letGo = [&] { stall.Release(); };
#endif
        const long lRun = Value<long>(L"SELECT min(i.lKursinstanzID) FROM Kursinstanz i JOIN Kurs k ON k.lKursID = i.lKursID "
                                      L"WHERE k.lTyp = 3");
        ASSERT_NE(lRun, 0);
        strRun.Format(L"%d", lRun);
        const long lKurs = Value<long>(L"SELECT lKursID FROM Kursinstanz WHERE lKursinstanzID = " + strRun);
        lBerg = Value<long>(L"SELECT lOrtID FROM Ort WHERE strOrt = 'Gossenauerberg'");
        lRiet = Value<long>(L"SELECT lOrtID FROM Ort WHERE strOrt = 'Rietstetten'");
        ASSERT_NE(lBerg, 0);
        ASSERT_NE(lRiet, 0);
        lBefore = Place();
        ASSERT_NE(lBefore, lBerg);
        CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"LastID_Kurs", lKurs);
        CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"LastID_Kursinstanz", lRun);
        CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"LastTab_Kurs", 1L);
        ASSERT_EQ(host->OpenView(L"Qovaro.NQ2.KursView"), S_OK);
        window = new CQvFrameWindow(host, QvFrameSettings{QString::fromUtf8("kurse"), QString::fromUtf8("Admin")});
        host->SetMainWindow(qv::ui::HandleOf(window));
        window->show();
        window->ShowView(L"Qovaro.NQ2.KursView");
        ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == window; }));
        HWND page = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (page = ShownWith(window->Pane(), IDC_INSTANZDATEN_ORT)) != nullptr; }, 10000))
            << "the run's page";
        const HWND course = ShownWith(window->Pane(), IDC_KURSDLG_SAVE);
        ASSERT_NE(course, nullptr);
        ort = Item(page, IDC_INSTANZDATEN_ORT);
        save = Item(course, IDC_KURSDLG_SAVE);
        window->installEventFilter(&hidden);
        real = std::make_unique<qv::ScopedInteraction>(&boxes);
    }
    void TearDown() override {
        real.reset();
        if (host) host->CloseAll();
        delete window;
        FrameQuit::TearDown();
    }
    long Place() { return Value<long>(L"SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + strRun); }
    QString Status() { return window->statusBar()->currentMessage(); }
    static bool WaitCursor() {
        return QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    }
    void Quit() {
        window->activateWindow();
        EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == window; }));
        EXPECT_TRUE(PressKey(nullptr, 'D', Qt::AltModifier));
        EXPECT_TRUE(ClickMenuItem(L"&Beenden"));
    }
    // The place typed while its rows are held, and saved.
    void TypeHeldAndSave(LPCWSTR lpszPlace) {
        hold();
        ASSERT_TRUE(Retype(ort, lpszPlace));
        const bool bHeld = WaitFor(held, 10000);
        if (!bHeld) letGo();
        ASSERT_TRUE(bHeld) << "the search of the place runs";
        ASSERT_TRUE(Click(save));
    }

#ifdef QV_FRAME_PG
    qv::sql::PgDb locker;
#endif
    std::function<void()> hold, letGo;
    std::function<bool()> held;
    CString strRun;
    long lBerg = 0, lRiet = 0, lBefore = 0;
    CQvFrameWindow* window = nullptr;
    HWND ort = nullptr, save = nullptr;
    HideWatch hidden;
    qv::RecordingInteraction boxes{&qv::ui::QtInteraction()};
    std::unique_ptr<qv::ScopedInteraction> real;
};

// A save of a place typed while its rows are still coming (the search held in the database): the
// window shows that it waits, a second Speichern adds nothing, and the save ends by itself. At
// Beenden the answer is what happens: Yes while the rows are still coming says why the program
// waits, and once the rows are in the save is made and the program ends.
TEST_F(FrameQuitPlace, ASaveWaitingForItsPlaceIsShownAndAtTheQuitTheAnswerIsWhatHappens) {
    ASSERT_NO_FATAL_FAILURE(OpenRun());
    // Saved while the rows are held: the wait is shown, a second click adds nothing.
    ASSERT_NO_FATAL_FAILURE(TypeHeldAndSave(L"Gossenauer"));
    EXPECT_TRUE(Status().contains(QString::fromUtf8("Ort wird gesucht"))) << Status().toStdString();
    EXPECT_TRUE(WaitCursor());
    ASSERT_TRUE(Click(save));
    Pump();
    EXPECT_EQ(Place(), lBefore);
    EXPECT_EQ(boxes.Log().Count(qv::InteractionKind::MessageBox), 0u);

    // Beenden, Yes, the rows still held: the program waits for them and says why.
    bool told = false;
    WhenBoxOpened([&](QMessageBox* question) {
        WhenBoxOpened([&](QMessageBox* report) {
            told = report->text().contains(QString::fromUtf8("Ort wird noch gesucht"));
            if (QAbstractButton* ok = ButtonOf(report, QStringLiteral("OK"))) ok->click();
        });
        if (QAbstractButton* yes = ButtonOf(question, QStringLiteral("Ja"))) yes->click();
    });
    Quit();
    EXPECT_TRUE(told) << "the program stayed without a word why";
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Place(), lBefore);
    // The rows come: the save is made, and the quit that waited for it ends the program.
    letGo();
    EXPECT_TRUE(WaitFor([&] { return Place() == lBerg; }, 10000)) << "the waiting save did not end";
    EXPECT_TRUE(WaitFor([&] { return !window->isVisible(); }, 5000)) << "the quit that waited for the save was lost";
    EXPECT_EQ(boxes.Log().Count(qv::InteractionKind::MessageBox), 2u) << "asked again after the save";
}

// Another place saved while its rows are held; Beenden, and the rows come under the question: No
// drops the change, the program ends.
TEST_F(FrameQuitPlace, NoAtTheQuitDropsTheChangeThatWaitsForItsPlace) {
    ASSERT_NO_FATAL_FAILURE(OpenRun());
    ASSERT_NO_FATAL_FAILURE(TypeHeldAndSave(L"Rietstetten"));
    EXPECT_TRUE(WaitCursor());
    bool rowsIn = false;
    WhenBoxOpened([&](QMessageBox* question) {
        letGo();
        rowsIn = WaitFor([&] { return Status() == QString::fromUtf8("Bereit"); }, 10000);
        if (QAbstractButton* no = ButtonOf(question, QStringLiteral("Nein"))) no->click();
    });
    Quit();
    EXPECT_TRUE(rowsIn) << "the rows did not come under the question";
    EXPECT_TRUE(WaitFor([&] { return !window->isVisible(); }, 5000)) << "No kept the program";
    EXPECT_EQ(Place(), lBefore) << "the change declined was stored";
}

#ifdef QV_FRAME_PG
// Yes at Beenden while the rows are held, and the lock on the places outlasts the search's time-out:
// the save cannot be made, one box says why in the user's words, and the program stays open with
// what was typed.
TEST_F(FrameQuitPlace, YesAtTheQuitWhoseSaveCannotBeMadeSaysSoOnceAndTheProgramStays) {
    ASSERT_NO_FATAL_FAILURE(OpenRun());
    ASSERT_NO_FATAL_FAILURE(TypeHeldAndSave(L"Gossenauer"));
    QString failure;
    WhenBoxOpened([&](QMessageBox* question) {
        WhenBoxOpened([&](QMessageBox* report) {
            if (QAbstractButton* ok = ButtonOf(report, QStringLiteral("OK"))) ok->click();
        });
        if (QAbstractButton* yes = ButtonOf(question, QStringLiteral("Ja"))) yes->click();
    });
    Quit();
    // The search gives up behind the lock: its failure is the one box, and says the program stays.
    const auto reported = [&] { return boxes.Log().Count(qv::InteractionKind::Report) > 0; };
    WhenBoxOpened([&](QMessageBox* report) {
        failure = report->text();
        if (QAbstractButton* ok = ButtonOf(report, QStringLiteral("OK"))) ok->click();
    }, 30000);
    EXPECT_TRUE(WaitFor(reported, 30000)) << "the failed search was not told";
    Pump();
    letGo();
    EXPECT_TRUE(failure.startsWith(QString::fromUtf8("Die Daten konnten nicht gespeichert werden. Das Programm bleibt offen")))
        << failure.toStdString();
    EXPECT_EQ(boxes.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(boxes.Log().Count(qv::InteractionKind::MessageBox), 2u) << "the question and the word that the place is searched";
    EXPECT_TRUE(window->isVisible()) << "the program ended without the save";
    EXPECT_EQ(qv::ui::test::Text(ort), L"Gossenauer") << "what was typed is kept";
    EXPECT_EQ(Place(), lBefore);
    // A later save of the user's does not end the program.
    ASSERT_TRUE(Click(save));
    EXPECT_TRUE(WaitFor([&] { return Place() == lBerg; }, 10000));
    Pump();
    EXPECT_TRUE(window->isVisible());
}
#endif

}  // namespace
}  // namespace frametest
