// The program as a user meets it: qvframe in an X server of its own (Xvfb) on a fresh demo
// database, driven from outside the process by the input tool (xdotool) as a person types and
// clicks, its screen read back as pictures and the X selection, the database read after it.
// The cases of `FrameInXPg` run the program on a demo database in the test run's PostgreSQL
// cluster (they carry the prefix "pg." and need the cluster's fixture).
//
// The frame starts at its own size at the screen's origin (no window manager places it); the
// points clicked below are read from that layout. A layout that moved makes the test fail at the
// first step whose effect it checks, never pass by chance.
#include "tempdir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#ifdef QV_FRAME_X11_PG
#include "pgcluster.h"

#include <libpq-fe.h>
#endif

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool Have(const char* tool) { return std::system(("command -v " + std::string(tool) + " > /dev/null 2>&1").c_str()) == 0; }

// A child process with its own environment additions; ended (and waited for) with the object.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& log, int keepFd = -1) {
        pid_ = fork();
        if (pid_ != 0) return;
        for (const std::string& e : env) putenv(strdup(e.c_str()));
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        for (int fd = 3; fd < 256; ++fd)
            if (fd != keepFd) close(fd);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    ~Child() { Stop(); }
    bool Running() {
        if (pid_ <= 0) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        return true;
    }
    // Waits for the process to end by itself.
    bool WaitEnd(int seconds) {
        const auto end = Clock::now() + std::chrono::seconds(seconds);
        while (Running() && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return !Running();
    }
    void Stop() {
        if (!Running()) return;
        kill(pid_, SIGTERM);
        if (!WaitEnd(10)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

bool WaitFor(const std::function<bool()>& condition, int seconds) {
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (condition()) return true;
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
}

// The demo database read with the suite's text comparison; a PostgreSQL database when `path` is
// a connection string. The statements below are written so that both take them.
class Db {
public:
    explicit Db(const std::string& path) {
#ifdef QV_FRAME_X11_PG
        if (path.starts_with("postgresql://")) {
            pg_ = PQconnectdb(path.c_str());
            if (PQstatus(pg_) != CONNECTION_OK) ADD_FAILURE() << PQerrorMessage(pg_);
            return;
        }
#endif
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_enable_load_extension(db_, 1);
        char* error = nullptr;
        if (sqlite3_load_extension(db_, QV_SQLITE_EXTENSION, nullptr, &error) != SQLITE_OK) {
            ADD_FAILURE() << "extension: " << (error ? error : "?");
            sqlite3_free(error);
        }
    }
    ~Db() {
#ifdef QV_FRAME_X11_PG
        if (pg_) PQfinish(pg_);
#endif
        sqlite3_close(db_);
    }
    std::vector<std::string> Row(const std::string& sql) {
        std::vector<std::string> out;
#ifdef QV_FRAME_X11_PG
        if (pg_) {
            PGresult* result = PQexec(pg_, sql.c_str());
            if (PQresultStatus(result) != PGRES_TUPLES_OK && PQresultStatus(result) != PGRES_COMMAND_OK)
                ADD_FAILURE() << PQerrorMessage(pg_) << "\n" << sql;
            else if (PQntuples(result) > 0)
                for (int i = 0; i < PQnfields(result); ++i) out.emplace_back(PQgetvalue(result, 0, i));
            PQclear(result);
            return out;
        }
#endif
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sqlite3_errmsg(db_) << "\n" << sql;
            return out;
        }
        if (sqlite3_step(stmt) == SQLITE_ROW)
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                const unsigned char* t = sqlite3_column_text(stmt, i);
                out.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
            }
        sqlite3_finalize(stmt);
        return out;
    }
    std::string Value(const std::string& sql) {
        const auto row = Row(sql);
        return row.empty() ? std::string() : row.front();
    }
    void Exec(const std::string& sql) {
#ifdef QV_FRAME_X11_PG
        if (pg_) {
            Row(sql);
            return;
        }
#endif
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) ADD_FAILURE() << (error ? error : "?");
        sqlite3_free(error);
    }

private:
    sqlite3* db_ = nullptr;
#ifdef QV_FRAME_X11_PG
    PGconn* pg_ = nullptr;
#endif
};

// Points of the frame's layout at its start size (1180 x 760), in screen pixels.
struct Point {
    int x, y;
};
constexpr Point kKursWaehlen{302, 104};
constexpr Point kSpeichern{530, 104};
constexpr Point kSearchField{692, 212};         // the course search's word field
constexpr Point kPersonSearchField{692, 237};   // the person search's word field (behind its tab)
constexpr Point kFirstPersonCheck{359, 296};    // the check box of the person search's first row
constexpr Point kPersonOk{939, 581};
constexpr Point kDateiMenu{24, 8};
constexpr int kTabsY = 133;
struct Page {
    const char* name;
    int tabX;
    Point control;  // where the user clicks into the page before Escape: a field or a list
};
constexpr Page kPages[] = {{"Kursdaten", 278, {649, 196}}, {"Austragung", 361, {930, 167}},
                           {"Teilnehmer", 448, {649, 560}}, {"Planung", 525, {680, 540}},
                           {"Archiv", 589, {330, 440}},     {"Eigene Daten", 668, {730, 490}}};
constexpr Point kOrt{811, 226};        // the edit field of "Ort" on the page "Austragung"
constexpr Point kTeilnehmerAdd{1149, 167};
constexpr Point kAnmeldenVonDay{409, 254};  // the day's digits in "Anmelden von" on the page "Austragung"
constexpr Point kAnmeldenBisDay{409, 283};  // the day's digits in "bis" on the page "Austragung"
// The cells "Anfang" and "Ende" of the first row of the run's dates.
constexpr Point kFirstDateStart{281, 414};
constexpr Point kFirstDateEnd{430, 414};
// The rows of the run's dates on the page "Austragung".
const QRect kDateRows(250, 400, 420, 80);
// The course window (header, tabs and page), what must look the same after a restart.
const QRect kCourseWindow(238, 60, 940, 670);
const QRect kPageArea(238, 150, 940, 580);
// The course window's command buttons and tabs.
const QRect kTabsArea(238, 90, 940, 55);

class FrameInX : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "xdotool"})
            ASSERT_TRUE(Have(tool)) << tool << " is missing: scripts/setup installs it";
        // The X server picks a free display itself and names it on the pipe.
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        xvfb_ = std::make_unique<Child>(
            std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1400x1000x24",
                                     "-nolisten", "tcp", "-noreset"},
            std::vector<std::string>{}, dir_.file("xvfb.log"), fds[1]);
        close(fds[1]);
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        display_ = ":" + number;
        setenv("DISPLAY", display_.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        static int argc = 1;
        static char name[] = "frame_x11_test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QGuiApplication>(argc, argv);
        ASSERT_NE(QGuiApplication::primaryScreen(), nullptr);

        std::filesystem::create_directories(dir_.file("data/qovaro"));
        database_ = dir_.file("data/qovaro/nq2.sqlite");
#ifndef QV_FRAME_X11_PG
        if (pg_) GTEST_SKIP() << "built without the PostgreSQL test cluster";
#else
        if (pg_) {
            pgDatabase_ = std::make_unique<qvtest::PgTestDatabase>();
            database_ = pgDatabase_->url();
        }
#endif
        ASSERT_EQ(std::system((std::string(QV_DEMODB_PROGRAM) + " --db " + database_ + " > " + dir_.file("demo.log") +
                               " 2>&1").c_str()),
                  0);
        std::filesystem::create_directories(QV_SCREENS_DIR);
    }
    void TearDown() override {
        frame_.reset();
        app_.reset();
        xvfb_.reset();
#ifdef QV_FRAME_X11_PG
        pgDatabase_.reset();
#endif
    }

    void StartFrame() {
        frame_ = std::make_unique<Child>(
            std::vector<std::string>{QV_FRAME_PROGRAM, "--db", database_},
            std::vector<std::string>{"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "XDG_DATA_HOME=" + dir_.file("data"),
                                     "XDG_CONFIG_HOME=" + dir_.file("config"), "QV_REGISTRY=" + dir_.file("registry.db"),
                                     "XDG_RUNTIME_DIR=" + dir_.file("runtime")},
            dir_.file("frame.log"));
        std::string window;
        ASSERT_TRUE(WaitFor([&] { return !(window = Tool("search --name '^Qovaro'")).empty() || !frame_->Running(); }, 60))
            << "no window";
        ASSERT_TRUE(frame_->Running()) << "the frame ended; see " << dir_.file("frame.log");
        window_ = window.substr(0, window.find('\n'));
        // No window manager gives the focus: the window takes it as a click would.
        Tool("windowfocus --sync " + window_);
        const std::string geometry = Tool("getwindowgeometry " + window_);
        ASSERT_NE(geometry.find("Position: 0,0"), std::string::npos) << geometry;
        ASSERT_NE(geometry.find("Geometry: 1180x760"), std::string::npos) << geometry;
        Settle();
    }
    // The frame's own end: Datei, Beenden.
    void QuitFrame() {
        Click(kDateiMenu);
        Settle();
        Tool("key b");
        EXPECT_TRUE(frame_->WaitEnd(30)) << "the frame did not end";
    }

    // The run through the course search, by its name, on its page "Austragung".
    void OpenRunPage(const std::string& runName) {
        Click(kKursWaehlen);
        Settle();
        Click(kSearchField);
        Key("ctrl+a");
        TypeText(runName, 60);
        Settle();
        Key("Return");
        Settle();
        Click({kPages[1].tabX, kTabsY});
        Settle();
    }
    // The first local run ahead with a name: its id and name.
    std::vector<std::string> LocalRunAhead(Db& db) {
        return db.Row("SELECT i.lKursinstanzID, i.strBezeichnung FROM Kursinstanz i JOIN Kurs k ON k.lKursID = i.lKursID "
                      "WHERE k.lTyp = 3 AND i.dtDatum > CURRENT_TIMESTAMP AND length(i.strBezeichnung) > 0 "
                      "ORDER BY i.dtDatum, i.lKursinstanzID LIMIT 1");
    }

    // The frame started on the page "Austragung" of a run with one date while `fail` keeps the
    // lookup of the run's place from answering: the failure is told, the page is not taken for the
    // run, F5 after `mend` shows the run with its one date, and the quit writes nothing.
    void FailedPlaceLookupAtTheStart(const std::function<void()>& fail, const std::function<void()>& mend) {
        std::string run, runName, stored, dates;
        const std::string runColumns =
            "SELECT strBezeichnung || '|' || coalesce(CAST(lOrtID AS varchar(20)), '') || '|' || CAST(dtDatum AS "
            "varchar(30)) || '|' || CAST(dtAnmeldenVon AS varchar(30)) || '|' || CAST(dtAnmeldenBis AS varchar(30)) || "
            "'|' || coalesce(CAST(dtAbgesagt AS varchar(30)), '') || '|' || CAST(dblDauer AS varchar(20)) FROM "
            "Kursinstanz WHERE lKursinstanzID = ";
        const std::string dateColumns = "SELECT count(*) || '|' || CAST(min(dtStart) AS varchar(30)) || '|' || "
                                        "CAST(max(dtEnde) AS varchar(30)) FROM Kursinstanzdate WHERE lKursinstanzID = ";
        {
            Db db(database_);
            const auto row = LocalRunAhead(db);
            ASSERT_EQ(row.size(), 2u) << "the demo has local runs ahead";
            run = row[0];
            runName = row[1];
            // One date and a place; the registration ends a minute before midnight.
            db.Exec("DELETE FROM Kursinstanzdate WHERE lKursinstanzID = " + run + " AND lKursinstanzdateID > (SELECT "
                    "min(lKursinstanzdateID) FROM Kursinstanzdate WHERE lKursinstanzID = " + run + ")");
            db.Exec("UPDATE Kursinstanz SET lOrtID = (SELECT min(lOrtID) FROM Ort WHERE strPLZ <> '') WHERE "
                    "lKursinstanzID = " + run + " AND coalesce(lOrtID, -1) <= 0");
            ASSERT_EQ(db.Value(dateColumns + run).substr(0, 2), "1|");
        }
        // The run's page shown at the end of a first start comes back at the next.
        ASSERT_NO_FATAL_FAILURE(StartFrame());
        OpenRunPage(runName);
        const QImage loaded = Settle();
        Picture(loaded, "run-page-loaded");
        QuitFrame();
        {
            Db db(database_);
            stored = db.Value(runColumns + run);
            dates = db.Value(dateColumns + run);
            ASSERT_NE(stored.find(" 23:59:00|"), std::string::npos) << stored;
        }

        fail();
        ASSERT_NO_FATAL_FAILURE(StartFrame());
        // The boxes of the failure, answered.
        Picture(Settle(), "place-lookup-failed-at-start");
        int boxes = 0;
        for (int i = 0; i < 6 && WaitFor([&] { return Boxes() > 0; }, i == 0 ? 20 : 3); ++i) {
            ++boxes;
            // A box shown before the window took the focus at the start has to be given it.
            for (const std::string& box : BoxWindows()) Tool("windowfocus --sync " + box);
            Key("Return");
            Settle();
        }
        EXPECT_GE(boxes, 1) << "the failure is not told";
        const QImage failed = Settle();
        Picture(failed, "place-lookup-failed-page");
        EXPECT_GT(Differing(loaded, failed, kDateRows), 0) << "the page that failed looks like the run";
        {
            Db db(database_);
            EXPECT_EQ(db.Value(runColumns + run), stored) << "written by the load that failed";
        }

        mend();
        Click(kPages[1].control);
        Key("F5");
        const QImage again = Settle();
        Picture(again, "place-lookup-mended-f5");
        EXPECT_EQ(Boxes(), 0);
        EXPECT_EQ(Differing(loaded, again, kDateRows), 0) << "the run's one date is not shown once";
        // Nobody changed anything: the program ends without asking.
        Click(kDateiMenu);
        Settle();
        Key("b");
        if (!frame_->WaitEnd(10)) {
            Picture(Settle(), "place-lookup-quit-asked");
            ADD_FAILURE() << "asked to save a page nobody changed";
            Key("Return");
            EXPECT_TRUE(frame_->WaitEnd(30)) << "the frame did not end";
        }
        Db db(database_);
        EXPECT_EQ(db.Value(runColumns + run), stored);
        EXPECT_EQ(db.Value(dateColumns + run), dates);
    }

    std::string Tool(const std::string& args) {
        const std::string command = "DISPLAY=" + display_ + " xdotool " + args + " 2>/dev/null";
        std::string out;
        if (FILE* p = popen(command.c_str(), "r")) {
            char buffer[256];
            while (fgets(buffer, sizeof buffer, p)) out += buffer;
            pclose(p);
        }
        return out;
    }
    void Click(Point p) { Tool("mousemove " + std::to_string(p.x) + " " + std::to_string(p.y) + " click 1"); }
    void Key(const std::string& keys) { Tool("key " + keys); }
    // Types as a person does, a key at a time with a pause that lets the window answer each.
    void TypeText(const std::string& text, int delayMs) {
        Tool("type --delay " + std::to_string(delayMs) + " '" + text + "'");
    }

    // The boxes up over the window (the visible windows with a name other than the frame's).
    std::vector<std::string> BoxWindows() {
        const std::string all = Tool("search --onlyvisible --name '.'");
        std::vector<std::string> boxes;
        for (size_t at = 0, end; at < all.size(); at = end + 1) {
            end = all.find('\n', at);
            if (end == std::string::npos) end = all.size();
            if (end > at && all.substr(at, end - at) != window_) boxes.push_back(all.substr(at, end - at));
        }
        return boxes;
    }
    int Boxes() { return int(BoxWindows().size()); }

    QImage Screen() { return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32); }
    static int Differing(const QImage& a, const QImage& b, const QRect& r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (a.pixel(x, y) != b.pixel(x, y)) ++n;
        return n;
    }
    // Until the screen stops changing (a caret that blinks aside).
    QImage Settle() {
        QImage last = Screen();
        int still = 0;
        WaitFor([&] {
            QImage now = Screen();
            still = Differing(now, last, now.rect()) <= 60 ? still + 1 : 0;
            last = now;
            return still >= 3;
        }, 30);
        return last;
    }
    void Picture(const QImage& image, std::string name) {
        std::replace(name.begin(), name.end(), ' ', '-');
        EXPECT_TRUE(image.save(QString::fromStdString(std::string(QV_SCREENS_DIR) + "/x11-" + name + ".png")));
    }
    // The text the user selected last (the X primary selection).
    std::string Selection() {
        QGuiApplication::processEvents();
        return QGuiApplication::clipboard()->text(QClipboard::Selection).toStdString();
    }

    // The program runs on a database in the PostgreSQL cluster (set by `FrameInXPg`).
    bool pg_ = false;
#ifdef QV_FRAME_X11_PG
    std::unique_ptr<qvtest::PgTestDatabase> pgDatabase_;
#endif
    qvtest::TempDir dir_;
    std::unique_ptr<Child> xvfb_;
    std::unique_ptr<Child> frame_;
    std::unique_ptr<QGuiApplication> app_;
    std::string display_, database_, window_;
};

// The same on a demo database in the PostgreSQL cluster of the test run.
class FrameInXPg : public FrameInX {
protected:
    FrameInXPg() { pg_ = true; }

#ifdef QV_FRAME_X11_PG
    // As a stopped server: the program's sessions end and no new one is taken; and back again.
    // (The database's connections are allowed and refused from the cluster's own database.)
    void StopServer(Db& db) {
        Db cluster(database_.substr(0, database_.rfind('/') + 1) + "postgres");
        cluster.Exec("ALTER DATABASE \"" + pgDatabase_->name() + "\" ALLOW_CONNECTIONS false");
        db.Exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = current_database() AND "
                "pid <> pg_backend_pid()");
    }
    void StartServer() {
        Db cluster(database_.substr(0, database_.rfind('/') + 1) + "postgres");
        cluster.Exec("ALTER DATABASE \"" + pgDatabase_->name() + "\" ALLOW_CONNECTIONS true");
    }
#endif
    // The names of the windows up over the frame's.
    std::string ShownNames() {
        const std::string all = Tool("search --onlyvisible --name '.'");
        std::string names;
        for (size_t at = 0, end; at < all.size(); at = end + 1) {
            end = all.find('\n', at);
            if (end == std::string::npos) end = all.size();
            const std::string id = all.substr(at, end - at);
            if (!id.empty() && id != window_) names += "[" + Tool("getwindowname " + id) + "]";
        }
        return names;
    }
    // Until the frame has ended, every box up is answered with Return (a question with its
    // default); how many were answered.
    int AnswerBoxesUntilTheEnd(int seconds) {
        int answered = 0;
        const auto end = Clock::now() + std::chrono::seconds(seconds);
        while (frame_->Running() && Clock::now() < end) {
            if (Boxes() > 0) {
                Picture(Screen(), "pg-quit-waiting-box-" + std::to_string(answered));
                Key("Return");
                ++answered;
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
        return answered;
    }
};

// The line of the course window's header that names the course and the run.
const QRect kHeaderTitle(238, 60, 700, 26);

TEST_F(FrameInX, ARunIsChosenItsPlaceTypedPagesKeepEscapeAPersonIsBookedAndTheRestartComesBackToIt) {
    std::string run, runName, personID, personNr, ortID;
    {
        Db db(database_);
        // A local run ahead with a name to search for; opened for booking where the demo closed it.
        const auto row = db.Row(
            "SELECT i.lKursinstanzID, i.strBezeichnung FROM Kursinstanz i JOIN Kurs k ON k.lKursID = i.lKursID "
            "WHERE k.lTyp = 3 AND i.dtDatum > datetime('now') AND length(i.strBezeichnung) > 0 "
            "ORDER BY i.dtDatum, i.lKursinstanzID LIMIT 1");
        ASSERT_EQ(row.size(), 2u) << "the demo has local runs ahead";
        run = row[0];
        runName = row[1];
        db.Exec("UPDATE Kursinstanz SET fGeschlossen = 0 WHERE lKursinstanzID = " + run);
        const auto person = db.Row("SELECT lPersonID, strPersonNr FROM Person WHERE lPersonID > 0 AND fActive = 1 AND strPersonNr <> '' "
                                   "AND lPersonID NOT IN (SELECT lPersonID FROM PersonKurs WHERE lKursinstanzID = " +
                                   run + ") ORDER BY lPersonID LIMIT 1");
        ASSERT_EQ(person.size(), 2u);
        personID = person[0];
        personNr = person[1];
        ortID = db.Value("SELECT lOrtID FROM Ort WHERE strPLZ = '9643' AND strOrt = 'Rietstetten'");
        ASSERT_FALSE(ortID.empty()) << "the demo has Rietstetten";
        ASSERT_NE(db.Value("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + run), ortID);
    }

    ASSERT_NO_FATAL_FAILURE(StartFrame());
    // The run through the course search: its name as the search words, the one row taken with Enter.
    Click(kKursWaehlen);
    Settle();
    Click(kSearchField);
    Key("ctrl+a");
    TypeText(runName, 60);
    Settle();
    Key("Return");
    Settle();

    // "Ort": the whole name typed while its list opens and fills, read back from the field.
    Click({kPages[1].tabX, kTabsY});
    Settle();
    Click(kOrt);
    Key("Home shift+End");
    TypeText("Rietstetten", 250);
    const QImage typed = Settle();
    Picture(typed, "ort-list-open");
    Key("shift+Home");
    EXPECT_TRUE(WaitFor([&] { return Selection() == "Rietstetten"; }, 10)) << "the field holds '" << Selection() << "'";
    Key("End");
    // The place is the list's one row: down to it, Enter, then "Speichern".
    Key("Down Return");
    Settle();
    Click(kSpeichern);
    Settle();
    {
        Db db(database_);
        EXPECT_EQ(db.Value("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + run), ortID);
    }

    // Escape in each page, after a click into one of its fields or lists: the page stays.
    for (const Page& page : kPages) {
        SCOPED_TRACE(page.name);
        Click({page.tabX, kTabsY});
        Settle();
        Click(page.control);
        const QImage before = Settle();
        Key("Escape");
        const QImage after = Settle();
        Picture(after, std::string("escape-") + page.name);
        const int changed = Differing(before, after, kPageArea);
        EXPECT_LT(changed, kPageArea.width() * kPageArea.height() / 50) << "the page's controls are gone";
    }

    // A person booked on "Teilnehmer" through the person search, by the number as search word.
    Click({kPages[2].tabX, kTabsY});
    Settle();
    Click(kTeilnehmerAdd);
    Settle();
    Click(kPersonSearchField);
    TypeText(personNr, 60);
    Settle();
    Click(kFirstPersonCheck);
    Click(kPersonOk);
    Settle();
    {
        Db db(database_);
        EXPECT_EQ(db.Value("SELECT count(*) FROM PersonKurs WHERE lKursinstanzID = " + run + " AND lPersonID = " + personID),
                  "1");
    }
    const QImage last = Settle();
    Picture(last, "teilnehmer-booked");
    QuitFrame();

    // Started again: the same run on the same tab, as the user left it.
    ASSERT_NO_FATAL_FAILURE(StartFrame());
    const QImage again = Settle();
    Picture(again, "restarted");
    EXPECT_LT(Differing(last, again, kCourseWindow), kCourseWindow.width() * kCourseWindow.height() / 100)
        << "the window does not show the run and tab it was left on";
    QuitFrame();
}

TEST_F(FrameInX, ADateTypedDigitByDigitIntoAnmeldenBisIsSaved) {
    std::string run, runName, month;
    {
        Db db(database_);
        const auto row = db.Row(
            "SELECT i.lKursinstanzID, i.strBezeichnung FROM Kursinstanz i JOIN Kurs k ON k.lKursID = i.lKursID "
            "WHERE k.lTyp = 3 AND i.dtDatum > datetime('now') AND length(i.strBezeichnung) > 0 "
            "ORDER BY i.dtDatum, i.lKursinstanzID LIMIT 1");
        ASSERT_EQ(row.size(), 2u) << "the demo has local runs ahead";
        run = row[0];
        runName = row[1];
        // Open, the registration closing on the 20th of the month before the run.
        db.Exec("UPDATE Kursinstanz SET fGeschlossen = 0, dtAbgesagt = NULL, "
                "dtAnmeldenVon = strftime('%Y-%m-01 00:00:00', dtDatum, '-2 months'), "
                "dtAnmeldenBis = strftime('%Y-%m-20 23:59:59', dtDatum, '-1 month') WHERE lKursinstanzID = " + run);
        month = db.Value("SELECT strftime('%m.%Y', dtAnmeldenBis) FROM Kursinstanz WHERE lKursinstanzID = " + run);
    }

    ASSERT_NO_FATAL_FAILURE(StartFrame());
    Click(kKursWaehlen);
    Settle();
    Click(kSearchField);
    Key("ctrl+a");
    TypeText(runName, 60);
    Settle();
    Key("Return");
    Settle();
    Click({kPages[1].tabX, kTabsY});
    Settle();

    // A click on the day, then the whole date, a key at a time.
    Click(kAnmeldenBisDay);
    TypeText("15." + month, 150);
    Picture(Settle(), "anmelden-bis-typed");
    Click(kSpeichern);
    Settle();
    {
        Db db(database_);
        EXPECT_EQ(db.Value("SELECT strftime('%d.%m.%Y %H:%M:%S', dtAnmeldenBis) FROM Kursinstanz WHERE lKursinstanzID = " + run),
                  "15." + month + " 23:59:59");
    }
    QuitFrame();
}

// Dates typed as digits alone, as many people type them: into the date fields, where each full
// section goes on to the next, and into the table of the run's dates, whose cells take them on Tab;
// the start moved takes its end along. An end typed before its start is refused with a message.
TEST_F(FrameInX, DatesTypedAsDigitsAloneAreTheDatesSavedAndAnEndBeforeTheStartIsRefused) {
    std::string run, runName, von, bis, start, dateID, end;
    {
        Db db(database_);
        const auto row = LocalRunAhead(db);
        ASSERT_EQ(row.size(), 2u) << "the demo has local runs ahead";
        run = row[0];
        runName = row[1];
        db.Exec("UPDATE Kursinstanz SET fGeschlossen = 0, dtAbgesagt = NULL, "
                "dtAnmeldenVon = strftime('%Y-%m-01 00:00:00', dtDatum, '-2 months'), "
                "dtAnmeldenBis = strftime('%Y-%m-20 23:59:59', dtDatum, '-1 month') WHERE lKursinstanzID = " + run);
        von = db.Value("SELECT strftime('02%m%Y', dtAnmeldenVon) FROM Kursinstanz WHERE lKursinstanzID = " + run);
        bis = db.Value("SELECT strftime('14%m%Y', dtAnmeldenBis) FROM Kursinstanz WHERE lKursinstanzID = " + run);
        ASSERT_EQ(db.Value("SELECT count(*) FROM Kursinstanzdate WHERE lKursinstanzID = " + run), "1");
        const auto date = db.Row("SELECT lKursinstanzdateID, strftime('%d%m%Y', dtStart, '-1 day'), "
                                 "datetime(dtEnde, '-1 day') FROM Kursinstanzdate WHERE lKursinstanzID = " + run);
        ASSERT_EQ(date.size(), 3u);
        dateID = date[0];
        start = date[1];
        end = date[2];
    }

    ASSERT_NO_FATAL_FAILURE(StartFrame());
    OpenRunPage(runName);

    Click(kAnmeldenVonDay);
    TypeText(von, 150);
    Click(kAnmeldenBisDay);
    TypeText(bis, 150);
    // The run's day a day earlier, from half past six: the first click selects the row, the next
    // opens the cell.
    Click(kFirstDateStart);
    Settle();
    Click(kFirstDateStart);
    Settle();
    TypeText(start, 150);
    Key("Tab");
    TypeText("1830", 150);
    Key("Return");
    Picture(Settle(), "dates-typed-as-digits");
    Click(kSpeichern);
    Settle();
    {
        Db db(database_);
        EXPECT_EQ(db.Value("SELECT strftime('%d%m%Y', dtAnmeldenVon) || '|' || strftime('%d%m%Y', dtAnmeldenBis) FROM "
                           "Kursinstanz WHERE lKursinstanzID = " + run),
                  von + "|" + bis);
        EXPECT_EQ(db.Value("SELECT strftime('%d%m%Y %H:%M', dtStart) FROM Kursinstanzdate WHERE lKursinstanzdateID = " +
                           dateID),
                  start + " 18:30");
        EXPECT_EQ(db.Value("SELECT dtEnde FROM Kursinstanzdate WHERE lKursinstanzdateID = " + dateID), end)
            << "the day keeps its length";
    }

    // An end two days before that start: refused with a message that names both.
    std::string before;
    {
        Db db(database_);
        before = db.Value("SELECT strftime('%d%m%Y', dtStart, '-2 days') FROM Kursinstanzdate WHERE lKursinstanzdateID = " +
                          dateID);
    }
    const QImage page = Settle();
    Click(kFirstDateEnd);
    Settle();
    TypeText(before, 150);
    Key("Tab");
    const QImage refused = Settle();
    Picture(refused, "date-row-end-before-start");
    EXPECT_GT(Differing(page, refused, QRect(0, 0, 1180, 760)), 2000) << "no message over the page";
    Key("Return");
    Settle();
    Click(kSpeichern);
    Settle();
    {
        Db db(database_);
        EXPECT_EQ(db.Value("SELECT dtEnde FROM Kursinstanzdate WHERE lKursinstanzdateID = " + dateID), end);
    }
    QuitFrame();
}

// A place's name alone, though other places begin with it: typed into "Ort" and left with Tab, it
// is the run's place, and leaving the program asks to save it over the window still shown, a
// question that Escape does not answer.
TEST_F(FrameInX, APlacesNameAloneTypedIntoOrtIsKeptWhenTheProgramIsLeft) {
    std::string run, runName, ortID;
    {
        Db db(database_);
        const auto row = LocalRunAhead(db);
        ASSERT_EQ(row.size(), 2u) << "the demo has local runs ahead";
        run = row[0];
        runName = row[1];
        ortID = db.Value("SELECT lOrtID FROM Ort WHERE strPLZ = '9613' AND strOrt = 'Tannegg'");
        ASSERT_FALSE(ortID.empty()) << "the demo has Tannegg";
        ASSERT_EQ(db.Value("SELECT count(*) FROM Ort WHERE strOrt LIKE 'Tannegg%'"), "2") << "and Tanneggerhöhe beside it";
        ASSERT_NE(db.Value("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + run), ortID);
    }

    ASSERT_NO_FATAL_FAILURE(StartFrame());
    OpenRunPage(runName);

    Click(kOrt);
    Key("Home shift+End");
    TypeText("Tannegg", 150);
    Key("Tab");
    Picture(Settle(), "ort-name-alone-left-with-tab");
    // Datei, Beenden: the question to save, over the window with the run's page.
    const QImage before = Settle();
    Click(kDateiMenu);
    Settle();
    Key("b");
    const QImage asked = Settle();
    Picture(asked, "ort-name-alone-quit");
    EXPECT_TRUE(frame_->Running()) << "the program ended without asking to save the typed place";
    EXPECT_EQ(Tool("search --onlyvisible --name '^Qovaro'").substr(0, window_.size()), window_)
        << "the question stands without the window";
    EXPECT_LT(Differing(before, asked, kTabsArea), kTabsArea.width() * kTabsArea.height() / 50)
        << "the course window is not shown behind the question";
    EXPECT_GT(Differing(before, asked, QRect(0, 0, 1180, 760)), 2000) << "no question over the window";
    // Escape leaves the question up; its first button, "Ja", answers it.
    Key("Escape");
    const QImage escaped = Settle();
    EXPECT_TRUE(frame_->Running()) << "Escape answered the question";
    EXPECT_LT(Differing(asked, escaped, QRect(0, 0, 1180, 760)), 200) << "Escape took the question away";
    Key("Return");
    EXPECT_TRUE(frame_->WaitEnd(30)) << "the frame did not end";
    {
        Db db(database_);
        EXPECT_EQ(db.Value("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + run), ortID);
    }
}

// "Ort" as a person fills it: the whole place typed key by key, Tab to leave it, another field
// changed and "Speichern": the run keeps the typed place.
TEST_F(FrameInX, APlaceTypedInFullAndLeftWithTabIsTheRunsPlaceAfterAnotherChangeIsSaved) {
    std::string run, runName, ortID;
    {
        Db db(database_);
        const auto row = LocalRunAhead(db);
        ASSERT_EQ(row.size(), 2u) << "the demo has local runs ahead";
        run = row[0];
        runName = row[1];
        ortID = db.Value("SELECT lOrtID FROM Ort WHERE strPLZ = '9643' AND strOrt = 'Rietstetten'");
        ASSERT_FALSE(ortID.empty()) << "the demo has Rietstetten";
        ASSERT_EQ(db.Value("SELECT count(*) FROM Ort WHERE strPLZ = '9643'"), "1") << "the postcode names one place";
        ASSERT_NE(db.Value("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + run), ortID);
    }

    ASSERT_NO_FATAL_FAILURE(StartFrame());
    OpenRunPage(runName);

    Click(kOrt);
    Key("Home shift+End");
    TypeText("9643 Rietstetten", 150);
    Key("Tab");
    const QImage left = Settle();
    Picture(left, "ort-typed-left-with-tab");
    // Another field: the run's name, a word added at its end.
    Click(kPages[1].control);
    Key("End");
    TypeText(" Herbst", 150);
    Settle();
    Click(kSpeichern);
    const QImage saved = Settle();
    Picture(saved, "ort-typed-saved");
    {
        Db db(database_);
        EXPECT_EQ(db.Value("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + run), ortID);
        EXPECT_EQ(db.Value("SELECT strBezeichnung FROM Kursinstanz WHERE lKursinstanzID = " + run), runName + " Herbst");
    }
    QuitFrame();
}

// A date the table refuses, left by a click into another field: told once, and the cell opens again
// with what was typed, to be mended as after Tab; a save meanwhile says so once and writes nothing,
// neither the date nor the other change.
TEST_F(FrameInX, ARefusedDateCellLeftByAClickOpensAgainAndASaveMeanwhileWritesNothing) {
    std::string run, runName, dateID, start;
    {
        Db db(database_);
        const auto row = LocalRunAhead(db);
        ASSERT_EQ(row.size(), 2u) << "the demo has local runs ahead";
        run = row[0];
        runName = row[1];
        dateID = db.Value("SELECT min(lKursinstanzdateID) FROM Kursinstanzdate WHERE lKursinstanzID = " + run);
        start = db.Value("SELECT dtStart FROM Kursinstanzdate WHERE lKursinstanzdateID = " + dateID);
    }

    ASSERT_NO_FATAL_FAILURE(StartFrame());
    OpenRunPage(runName);
    Click(kPages[1].control);
    Key("End");
    TypeText(" Hof", 150);
    Click(kFirstDateStart);
    Settle();
    Click(kFirstDateStart);
    Settle();
    Key("ctrl+a");
    TypeText("31.04.2027", 150);
    Click(kPages[1].control);
    Picture(Settle(), "date-cell-refused-left-by-click");
    EXPECT_EQ(Boxes(), 1) << "the refusal is not said";
    Key("Return");
    Settle();
    EXPECT_EQ(Boxes(), 0);
    // The cell is open again, with the date typed.
    Key("End shift+Home");
    EXPECT_TRUE(WaitFor([&] { return Selection() == "31.04.2027"; }, 10)) << "the focus holds '" << Selection() << "'";
    Click(kSpeichern);
    Picture(Settle(), "date-cell-refused-save");
    EXPECT_EQ(Boxes(), 1) << "the save does not say why it stops";
    Key("Return");
    Settle();
    EXPECT_EQ(Boxes(), 0) << "said more than once";
    {
        Db db(database_);
        EXPECT_EQ(db.Value("SELECT strBezeichnung FROM Kursinstanz WHERE lKursinstanzID = " + run), runName);
        EXPECT_EQ(db.Value("SELECT dtStart FROM Kursinstanzdate WHERE lKursinstanzdateID = " + dateID), start);
    }
}

// Part of a place typed into "Ort" and "Speichern" clicked at once, while the place list the rows
// opened stands over the page: the one click closes the list and saves. A text of one place saves
// that place; one of two places is told that it names none, and the other change is saved.
TEST_F(FrameInX, OneClickOnSpeichernWithThePlaceListOpenSaves) {
    std::string run, runName, ortID;
    {
        Db db(database_);
        const auto row = LocalRunAhead(db);
        ASSERT_EQ(row.size(), 2u) << "the demo has local runs ahead";
        run = row[0];
        runName = row[1];
        ortID = db.Value("SELECT lOrtID FROM Ort WHERE strOrt = 'Gossenauerberg'");
        ASSERT_FALSE(ortID.empty()) << "the demo has Gossenauerberg";
        ASSERT_EQ(db.Value("SELECT count(*) FROM Ort WHERE strOrt LIKE 'Gossen%'"), "2") << "and Gossenau beside it";
        ASSERT_NE(db.Value("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + run), ortID);
    }

    ASSERT_NO_FATAL_FAILURE(StartFrame());
    OpenRunPage(runName);
    Click(kOrt);
    Key("Home shift+End");
    TypeText("Gossenauer", 100);
    Picture(Settle(), "ort-part-typed-list-open");
    Click(kSpeichern);
    Picture(Settle(), "ort-part-typed-saved");
    EXPECT_EQ(Boxes(), 0);
    {
        Db db(database_);
        EXPECT_EQ(db.Value("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + run), ortID);
    }

    Click(kPages[1].control);
    Key("End");
    TypeText(" Hof", 150);
    Click(kOrt);
    Key("Home shift+End");
    TypeText("Gossen", 100);
    Settle();
    Click(kSpeichern);
    Picture(Settle(), "ort-two-places-typed-save");
    EXPECT_EQ(Boxes(), 1) << "not told that the text names no place";
    Key("Return");
    Settle();
    {
        Db db(database_);
        EXPECT_EQ(db.Value("SELECT strBezeichnung FROM Kursinstanz WHERE lKursinstanzID = " + run), runName + " Hof");
        EXPECT_EQ(db.Value("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + run), ortID);
    }
}

// Beenden while the rows of a typed place are still coming (its search made slow in the database):
// Yes says why the program waits, and the save ends by itself once the rows are in, and the program
// with it; No, with the rows coming in under the question, drops the change and the program ends.
TEST_F(FrameInX, AtTheQuitWhileThePlaceIsSearchedTheAnswerIsWhatHappens) {
    std::string run, runName, berg, riet, before;
    int seconds = 8;
    {
        Db db(database_);
        const auto row = LocalRunAhead(db);
        ASSERT_EQ(row.size(), 2u) << "the demo has local runs ahead";
        run = row[0];
        runName = row[1];
        berg = db.Value("SELECT lOrtID FROM Ort WHERE strOrt = 'Gossenauerberg'");
        riet = db.Value("SELECT lOrtID FROM Ort WHERE strOrt = 'Rietstetten'");
        before = db.Value("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + run);
        ASSERT_FALSE(berg.empty());
        ASSERT_FALSE(riet.empty());
        ASSERT_NE(before, berg);
        // While OrtHold has a row, a statement on the places first counts for about `seconds`.
        const auto start = Clock::now();
        db.Value("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000000) SELECT count(*) FROM c");
        const double perMillion = std::chrono::duration<double>(Clock::now() - start).count();
        const long long count = (long long)(seconds / std::max(perMillion, 0.001) * 1000000);
        std::string view = db.Value("SELECT sql FROM sqlite_master WHERE name = 'view_Ort'");
        ASSERT_FALSE(view.empty());
        db.Exec("CREATE TABLE OrtHold (x INTEGER); DROP VIEW view_Ort");
        db.Exec(view + " WHERE NOT EXISTS (SELECT 1 FROM OrtHold) OR (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL "
                       "SELECT x + 1 FROM c WHERE x < " + std::to_string(count) + ") SELECT count(*) FROM c) > 0");
    }
    // The last key of the place typed while the search is slow.
    const auto typeSlowly = [&](const std::string& text) {
        TypeText(text.substr(0, text.size() - 1), 100);
        Settle();
        {
            Db db(database_);
            db.Exec("INSERT INTO OrtHold VALUES (1)");
        }
        TypeText(text.substr(text.size() - 1), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        Db db(database_);
        db.Exec("DELETE FROM OrtHold");
    };
    const auto place = [&] {
        Db db(database_);
        return db.Value("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + run);
    };

    ASSERT_NO_FATAL_FAILURE(StartFrame());
    OpenRunPage(runName);
    Click(kOrt);
    Key("Home shift+End");
    typeSlowly("Gossenauer");
    Click(kSpeichern);
    Picture(Settle(), "ort-save-waits");
    EXPECT_EQ(place(), before);
    // Beenden, Yes: the program stays and says why.
    Click(kDateiMenu);
    Settle();
    Key("b");
    Settle();
    ASSERT_EQ(Boxes(), 1) << "not asked";
    Key("Return");
    Picture(Settle(), "ort-quit-yes-while-searched");
    EXPECT_TRUE(frame_->Running());
    EXPECT_EQ(Boxes(), 1) << "the program stays without a word why";
    EXPECT_EQ(place(), before);
    Key("Return");
    Settle();
    // The rows come: the save ends by itself, and the quit that waited for it ends the program.
    EXPECT_TRUE(WaitFor([&] { return place() == berg; }, seconds * 4)) << "the waiting save did not end";
    EXPECT_TRUE(frame_->WaitEnd(30)) << "the quit that waited for the save was lost";

    // Another place saved while it is searched; Beenden, and the rows come in under the question: No
    // drops the change.
    ASSERT_NO_FATAL_FAILURE(StartFrame());
    OpenRunPage(runName);
    Click(kOrt);
    Key("Home shift+End");
    typeSlowly("Rietstetten");
    Click(kSpeichern);
    Settle();
    Click(kDateiMenu);
    Settle();
    Key("b");
    Settle();
    ASSERT_EQ(Boxes(), 1) << "not asked";
    std::this_thread::sleep_for(std::chrono::seconds(seconds + 2));
    Picture(Settle(), "ort-quit-rows-under-question");
    Key("n");
    EXPECT_TRUE(frame_->WaitEnd(30)) << "No kept the program";
    EXPECT_EQ(place(), berg) << "the change declined was stored";
}

// The box of a refused save answered with Return held a while, as a slow hand does: the key's
// repeats and its release stay with the box, and Speichern behind it, which has the focus, does not
// start the save again.
TEST_F(FrameInX, AKeyThatAnswersABoxIsNotSeenByTheWindowBehindIt) {
    std::string run, runName;
    {
        Db db(database_);
        const auto row = LocalRunAhead(db);
        ASSERT_EQ(row.size(), 2u) << "the demo has local runs ahead";
        run = row[0];
        runName = row[1];
        // A date stored ending before it starts: every save of the run's page is refused with a box.
        db.Exec("UPDATE Kursinstanzdate SET dtEnde = datetime(dtStart, '-1 day') WHERE lKursinstanzID = " + run);
    }

    ASSERT_NO_FATAL_FAILURE(StartFrame());
    OpenRunPage(runName);
    Click(kPages[1].control);
    Key("End");
    TypeText(" Hof", 150);
    // Speichern takes the focus (pressed, and let go beside it), and Return saves.
    Tool("mousemove " + std::to_string(kSpeichern.x) + " " + std::to_string(kSpeichern.y) + " mousedown 1 mousemove " +
         std::to_string(kSpeichern.x) + " 300 mouseup 1");
    Settle();
    Key("Return");
    Picture(Settle(), "save-refused-box");
    ASSERT_EQ(Boxes(), 1) << "the save is not refused";
    ASSERT_TRUE(Have("xev")) << "xev is missing: scripts/setup installs it";
    // The mouse over the status line, where it shows no tip: the keys go to the window under it
    // once the box has gone, as no window manager gives the focus back.
    Tool("mousemove 100 745");
    auto made = std::make_unique<Child>(std::vector<std::string>{"xev", "-root", "-event", "substructure"},
                                        std::vector<std::string>{"DISPLAY=" + display_}, dir_.file("xev.log"));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // Return held two seconds, long enough for the key to repeat; the window behind takes the focus
    // back meanwhile, as a window manager gives it.
    Tool("keydown Return");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Tool("windowfocus " + window_);
    std::this_thread::sleep_for(std::chrono::milliseconds(1800));
    Tool("keyup Return");
    Settle();
    made.reset();
    // A box is made at the toolkit's first size before it is laid out (the save's wait window, shown
    // again for a moment as the box goes, is made at its own).
    int again = 0;
    if (FILE* f = fopen(dir_.file("xev.log").c_str(), "r")) {
        char line[512];
        bool created = false;
        while (fgets(line, sizeof line, f)) {
            const std::string text = line;
            if (created && text.find(", width 100, height 30") != std::string::npos) ++again;
            created = text.find("CreateNotify") != std::string::npos;
        }
        fclose(f);
    }
    EXPECT_EQ(again, 0) << "the held key saved again behind the box";
    EXPECT_EQ(Boxes(), 0);
    {
        Db db(database_);
        EXPECT_EQ(db.Value("SELECT strBezeichnung FROM Kursinstanz WHERE lKursinstanzID = " + run), runName);
    }
}

#ifdef QV_FRAME_X11_PG
// With the server stopped, what the user does fails once: the course search, a tab and Speichern
// each show one box; the work nobody started (the course window's refreshes after events and on
// its timers) shows none, and the header keeps the course and run after the failed save.
TEST_F(FrameInXPg, ATabTheCourseSearchAndSpeichernWithTheServerStoppedGiveOneBoxEach) {
    std::string run, runName;
    {
        Db db(database_);
        const auto row = LocalRunAhead(db);
        ASSERT_EQ(row.size(), 2u) << "the demo has local runs ahead";
        run = row[0];
        runName = row[1];
    }
    ASSERT_NO_FATAL_FAILURE(StartFrame());
    OpenRunPage(runName);
    Db db(database_);

    StopServer(db);
    Click(kKursWaehlen);
    Picture(Settle(), "pg-stopped-course-search");
    std::string names = ShownNames();
    EXPECT_EQ(Boxes() - (names.find("Kurs/Austragung suchen") != std::string::npos ? 1 : 0), 1) << names;
    Key("Return");
    Settle();
    if (Boxes() > 0) Key("Escape");
    Settle();
    EXPECT_EQ(Boxes(), 0) << ShownNames();

    Click({kPages[2].tabX, kTabsY});
    Picture(Settle(), "pg-stopped-tab");
    EXPECT_EQ(Boxes(), 1) << ShownNames();
    Key("Return");
    Settle();
    EXPECT_EQ(Boxes(), 0) << ShownNames();

    StartServer();
    Click({kPages[1].tabX, kTabsY});
    Settle();
    Click(kPages[1].control);
    Key("End");
    TypeText(" Hof", 120);
    const QImage before = Settle();
    StopServer(db);
    Click(kSpeichern);
    Picture(Settle(), "pg-stopped-save");
    EXPECT_EQ(Boxes(), 1) << ShownNames();
    Key("Return");
    // The course window's refreshes that follow a save and its timers find the server stopped too.
    std::this_thread::sleep_for(std::chrono::seconds(12));
    const QImage after = Settle();
    Picture(after, "pg-stopped-after-save");
    EXPECT_EQ(Boxes(), 0) << "work nobody started showed a box: " << ShownNames();
    EXPECT_LE(Differing(before, after, kHeaderTitle), 40) << "the header lost the course and run";

    StartServer();
    Click(kDateiMenu);
    Settle();
    Key("b");
    Settle();
    EXPECT_EQ(Boxes(), 1) << "not asked about the change: " << ShownNames();
    Key("n");
    EXPECT_TRUE(frame_->WaitEnd(30)) << "the frame did not end";
    EXPECT_EQ(db.Value("SELECT strBezeichnung FROM Kursinstanz WHERE lKursinstanzID = " + run), runName);
}

// Beenden clicked while the run's page reads again behind another session's lock on the places:
// when the wait has ended and its failure was told, the program ends.
TEST_F(FrameInXPg, AQuitClickedWhileAPageWaitsBehindALockEndsTheProgram) {
    std::string runName;
    {
        Db db(database_);
        const auto row = LocalRunAhead(db);
        ASSERT_EQ(row.size(), 2u) << "the demo has local runs ahead";
        runName = row[1];
    }
    ASSERT_NO_FATAL_FAILURE(StartFrame());
    OpenRunPage(runName);
    Db locker(database_);
    locker.Exec("BEGIN");
    locker.Exec("LOCK TABLE ort IN ACCESS EXCLUSIVE MODE");
    Key("F5");
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    Click(kDateiMenu);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Key("b");
    const int answered = AnswerBoxesUntilTheEnd(40);
    const bool ended = !frame_->Running();
    locker.Exec("ROLLBACK");
    EXPECT_TRUE(ended) << "the quit given while the page waited was lost (" << answered << " boxes answered)";
    EXPECT_LE(answered, 1) << "one failure, one box";
}

// No at Beenden while the search of a typed place waits behind another session's lock on the
// places: the program ends at once.
TEST_F(FrameInXPg, NoAtTheQuitWhileAPlaceIsSearchedBehindALockEndsAtOnce) {
    std::string run, runName, before;
    {
        Db db(database_);
        const auto row = LocalRunAhead(db);
        ASSERT_EQ(row.size(), 2u) << "the demo has local runs ahead";
        run = row[0];
        runName = row[1];
        before = db.Value("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + run);
    }
    ASSERT_NO_FATAL_FAILURE(StartFrame());
    OpenRunPage(runName);
    Click(kOrt);
    Key("Home shift+End");
    Db locker(database_);
    locker.Exec("BEGIN");
    locker.Exec("LOCK TABLE ort IN ACCESS EXCLUSIVE MODE");
    TypeText("Gossenauer", 100);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    Click(kDateiMenu);
    Settle();
    Key("b");
    Picture(Settle(), "pg-quit-place-searched");
    ASSERT_EQ(Boxes(), 1) << "not asked: " << ShownNames();
    const auto answered = Clock::now();
    Key("n");
    while (frame_->Running() && Clock::now() - answered < std::chrono::seconds(30))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const double took = std::chrono::duration<double>(Clock::now() - answered).count();
    locker.Exec("ROLLBACK");
    EXPECT_FALSE(frame_->Running());
    EXPECT_LT(took, 1.0) << "No kept the program " << took << " s";
    Db db(database_);
    EXPECT_EQ(db.Value("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + run), before);
}
#endif

// The place of the run shown at the start cannot be read: on SQLite its view fails.
TEST_F(FrameInX, APlaceLookupThatFailsAsTheRunPageLoadsLeavesThePageNotLoadedAndWritesNothing) {
    {
        Db db(database_);
        const std::string view = db.Value("SELECT sql FROM sqlite_master WHERE name = 'view_Ort'");
        ASSERT_FALSE(view.empty());
        db.Exec("CREATE TABLE OrtFail (x TEXT); DROP VIEW view_Ort");
        db.Exec(view + " WHERE (SELECT count(json(x)) FROM OrtFail) >= 0");
    }
    FailedPlaceLookupAtTheStart([&] { Db(database_).Exec("INSERT INTO OrtFail VALUES ('kein JSON')"); },
                                [&] { Db(database_).Exec("DELETE FROM OrtFail"); });
}

// On PostgreSQL another session holds the table of the places locked.
TEST_F(FrameInXPg, APlaceLookupThatFailsAsTheRunPageLoadsLeavesThePageNotLoadedAndWritesNothing) {
    std::unique_ptr<Db> holder;
    FailedPlaceLookupAtTheStart(
        [&] {
            holder = std::make_unique<Db>(database_);
            holder->Exec("BEGIN; LOCK TABLE ort");
        },
        [&] { holder.reset(); });
}

}  // namespace
