// The host frame's start-up on a server database: the user given on the command line is checked
// against the database's users as on a file.
#include "framestartup.h"
#include "qvregvalue.h"
#include "suiteschemapg.h"

#include "tempdir.h"

#include <QImage>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

TEST(FrameStartupPg, TheUserIsCheckedAgainstTheServerDatabase) {
    qvtest::PgTestDatabase database(qvtest::SuiteSchemaTemplatePg());
    qv::sql::PgDb db;
    ASSERT_EQ(db.Open(database.url()), 0) << db.LastError().description;

    QvFrameOptions options;
    std::string message;
    options.user = "Gast";
    EXPECT_FALSE(QvFrameCheckUser(options, database.url(), &message));
    EXPECT_EQ(message, "unknown user 'Gast'; the database knows no users");

    ASSERT_EQ(db.Exec("INSERT INTO QvSecUser (lQvSecUserID, strUserID, strName) VALUES "
                      "(1, '5B1D9A1E-7C2F-4E8A-9B3C-1D2E3F4A5B6C', 'Administrator'), (2, '', 'Kursleiter')"),
              0);
    // By name or user id in any case, or by number.
    for (const char* known : {"kursleiter", "ADMINISTRATOR", "5b1d9a1e-7c2f-4e8a-9b3c-1d2e3f4a5b6c", "2"}) {
        options.user = known;
        message.clear();
        EXPECT_TRUE(QvFrameCheckUser(options, database.url(), &message)) << known << ": " << message;
    }
    // A quote in the name is a name, not SQL.
    for (const char* unknown : {"Gast", "x' OR '1'='1", "3"}) {
        options.user = unknown;
        EXPECT_FALSE(QvFrameCheckUser(options, database.url(), &message)) << unknown;
        EXPECT_EQ(message, "unknown user '" + std::string(unknown) + "'; known users: Administrator, Kursleiter");
    }

    // A server that does not answer refuses the start with its reason.
    options.user = "Kursleiter";
    message.clear();
    EXPECT_FALSE(QvFrameCheckUser(options, "postgresql://qvtest@127.0.0.1:1/nq2", &message));
    EXPECT_FALSE(message.empty());
}

// A server database is used only with the suite's schema; an empty one gets it with --create;
// another program's database is refused and left as it is.
TEST(FrameStartupPg, OnlyASuiteDatabaseIsUsedAndAnEmptyOneOnlyWhenAskedFor) {
    qvtest::PgTestDatabase empty, foreign, suite(qvtest::SuiteSchemaTemplatePg());
    qv::sql::PgDb other;
    ASSERT_EQ(other.Open(foreign.url()), 0);
    ASSERT_EQ(other.Exec("CREATE TABLE kunde (id integer); INSERT INTO kunde VALUES (1)"), 0);
    struct Case {
        const std::string* url;
        bool create, used;
        const char* says;
    } const cases[] = {
        {&empty.url(), false, false, "is empty (--create makes the suite schema there)"},
        {&foreign.url(), true, false, "is no database of the suite"},
        {&suite.url(), false, true, ""},
        {&empty.url(), true, true, ""},
        {&empty.url(), false, true, ""},  // made by the case before
    };
    int made = 0;
    for (const Case& c : cases) {
        QvFrameOptions options;
        options.database = *c.url;
        options.create = c.create;
        options.user = "Hans O'Neill";
        std::string path, message;
        bool created = false;
        EXPECT_EQ(QvFramePrepareDatabase(options, &path, &message, nullptr, &created), c.used) << *c.url << ": " << message;
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
        EXPECT_EQ(QvFrameForeignObjects(), std::vector<std::string>{}) << *c.url;
        made += created;
    }
    // The schema made once, with its maker as its user and the installation's Mandant, whose
    // records he may change.
    EXPECT_EQ(made, 1);
    qv::sql::PgDb made1;
    ASSERT_EQ(made1.Open(empty.url()), 0);
    qv::sql::PgRows users;
    ASSERT_EQ(made1.Query("SELECT u.strName, m.strMandantName, count(*) FROM QvSecUser u JOIN SecMandant s ON "
                          "s.lQvSecUserID = u.lQvSecUserID AND s.lRight = -1 JOIN Mandant m ON m.lMandantID = "
                          "s.lMandantID GROUP BY u.strName, m.strMandantName",
                          &users),
              0)
        << made1.LastError().description;
    ASSERT_EQ(users.rows.size(), 1u);
    EXPECT_EQ(users.rows[0].at(0).value_or(""), "Hans O'Neill");
    EXPECT_EQ(users.rows[0].at(1).value_or(""), kNewDatabaseMandant);
    EXPECT_GE(std::stoi(users.rows[0].at(2).value_or("0")), 10);
    // And the demo's archive age, without which his course archives would stay empty.
    ASSERT_EQ(made1.Query("SELECT strValue FROM CustFieldValue WHERE guid = 'd4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d' AND "
                          "lCFTypeID = -1 AND lID = -1",
                          &users),
              0)
        << made1.LastError().description;
    ASSERT_EQ(users.rows.size(), 1u);
    EXPECT_EQ(users.rows[0].at(0).value_or(""), "12");
    // Someone else's function, triggers and view are named, not refused, also a trigger named like the
    // suite's NULL-to-default ones on a table that has none.
    qv::sql::PgDb planted;
    qv::sql::PgRows rows;
    ASSERT_EQ(planted.Open(suite.url()), 0);
    ASSERT_EQ(planted.Exec("CREATE FUNCTION umbenennen() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN NEW.strName := 'X'; "
                           "RETURN NEW; END $$; CREATE TRIGGER trg_umbenennen BEFORE UPDATE ON Person FOR EACH ROW "
                           "EXECUTE FUNCTION umbenennen(); CREATE VIEW view_eigene AS SELECT 1 AS a; CREATE TRIGGER "
                           "uniqueidcounter_defaults BEFORE UPDATE ON UniqueIDCounter FOR EACH ROW EXECUTE FUNCTION umbenennen()"),
              0);
    // The option table as earlier demo generators made it, with a key that has no identity: found, it
    // is mended, and a new option is saved above the keys it holds.
    ASSERT_EQ(planted.Exec("CREATE TABLE QvOption (lQvOptionID integer PRIMARY KEY, lArea integer NOT NULL, strName text "
                           "COLLATE qvci NOT NULL, lQvSecUserID integer NOT NULL DEFAULT 0, lType integer NOT NULL DEFAULT "
                           "8, strValue text COLLATE qvci NOT NULL DEFAULT '', UNIQUE (lArea, strName, lQvSecUserID)); "
                           "INSERT INTO QvOption VALUES (7, -4000, 'KursTyp', 0, 8, '0 1 1 1')"),
              0);
    QvFrameOptions options;
    options.database = suite.url();
    std::string path, message;
    EXPECT_TRUE(QvFramePrepareDatabase(options, &path, &message)) << message;
    EXPECT_EQ(message, "");
    ASSERT_EQ(planted.Query("INSERT INTO QvOption (lArea, strName, lQvSecUserID, lType, strValue) VALUES "
                            "(-1060, 'MaxSearchResults', 0, 3, '20000') RETURNING lQvOptionID",
                            &rows),
              0)
        << planted.LastError().description;
    EXPECT_EQ(rows.rows.at(0).at(0).value_or(""), "8");
    EXPECT_TRUE(QvFramePrepareDatabase(options, &path, &message)) << "mended once: " << message;
    EXPECT_EQ(QvFrameForeignObjects(),
              (std::vector<std::string>{"function umbenennen", "trigger trg_umbenennen", "trigger uniqueidcounter_defaults",
                                        "view view_eigene"}));
    ASSERT_EQ(other.Query("SELECT string_agg(tablename, ',') FROM pg_tables WHERE schemaname = 'public'", &rows), 0);
    EXPECT_EQ(rows.rows.at(0).at(0).value_or(""), "kunde");
}

#ifdef QV_FRAME_PROGRAM
int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadText(const std::string& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The program on a server database holding the demo: the course window opens on its data.
TEST(FrameProgramPg, TheCourseWindowOpensOnTheDemoOfAServerDatabase) {
    qvtest::PgTestDatabase database;
    qvtest::TempDir dir;
    const std::string env = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen XDG_DATA_HOME=" +
                            dir.file("data") + " QV_REGISTRY=" + dir.file("registry.db") + " ";
    ASSERT_EQ(RunCommand(env + QV_DEMODB_PROGRAM " --db " + database.url() + " > " + dir.file("demo.txt") + " 2>&1"), 0)
        << ReadText(dir.file("demo.txt"));
    std::filesystem::create_directories(QV_SCREENS_DIR);
    const std::string shot = QV_SCREENS_DIR "/qvframe_kurs_pg.png";
    std::filesystem::remove(shot);
    ASSERT_EQ(RunCommand(env + QV_FRAME_PROGRAM " --db " + database.url() + " --view Qovaro.NQ2.KursView --screenshot " +
                         shot + " > " + dir.file("out.txt") + " 2>&1"),
              0)
        << ReadText(dir.file("out.txt"));
    QImage image(QString::fromStdString(shot));
    ASSERT_FALSE(image.isNull());
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7) colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 10u);
    // The installation's own Mandant is recorded where the settings lock and new records read it:
    // the demo's first brigade.
    {
        qvtest::ScopedEnv registry("QV_REGISTRY", dir.file("registry.db"));
        long master = 0;
        EXPECT_TRUE(CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2", L"MasterMandantID", master, HKEY_LOCAL_MACHINE));
        EXPECT_EQ(master, 1);
    }

    // A new database on the server, made as the user makes it (./run): its maker is its
    // administrator, and it holds no demo data but the demo's settings.
    qvtest::PgTestDatabase fresh;
    ASSERT_EQ(RunCommand(env + "BUILD_DIR=" QV_BUILD_DIR " " QV_SOURCE_DIR "/run --db " + fresh.url() +
                         " --create --user Hans --view Qovaro.NQ2.KursView --screenshot " + dir.file("fresh.png") + " > " +
                         dir.file("fresh.txt") + " 2>&1"),
              0)
        << ReadText(dir.file("fresh.txt"));
    EXPECT_EQ(ReadText(dir.file("fresh.txt")).find("cannot"), std::string::npos) << ReadText(dir.file("fresh.txt"));
    qv::sql::PgDb db;
    ASSERT_EQ(db.Open(fresh.url()), 0);
    qv::sql::PgRows rows;
    ASSERT_EQ(db.Query("SELECT u.strName || '/' || r.fAdmin FROM QvSecUser u JOIN QvSecRole r ON r.lQvSecUserID = "
                       "u.lQvSecUserID",
                       &rows),
              0)
        << db.LastError().description;
    ASSERT_EQ(rows.rows.size(), 1u);
    EXPECT_EQ(rows.rows[0].at(0).value_or(""), "Hans/1");
    ASSERT_EQ(db.Query("SELECT (SELECT count(*) FROM Person) || '/' || (SELECT count(*) FROM Kurs) || '/' || (SELECT "
                       "strValue FROM CustFieldValue WHERE guid = 'd4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d')",
                       &rows),
              0)
        << db.LastError().description;
    EXPECT_EQ(rows.rows.at(0).at(0).value_or(""), "0/0/12");
    // And the course module's reports as the demo has them ("Berichte" offers them), each under a
    // GUID of its own.
    const char* const courseReports =
        "SELECT p.strName || ':' || string_agg(r.lQvReportServerReportID || '/' || r.strReport || '/' || r.strLabel || "
        "'/' || r.strHelpID || '/' || r.strLanguage, ',' ORDER BY r.lQvReportServerReportID) || ':' || count(DISTINCT "
        "r.guid) FROM QvReportServerProfile p JOIN view_QvReportServerReport r ON r.lQvReportServerProfileID = "
        "p.lQvReportServerProfileID WHERE p.guid = '9226ADE4-9631-4108-A7D0-EC5FB3DE9D36' GROUP BY p.strName";
    ASSERT_EQ(db.Query(courseReports, &rows), 0) << db.LastError().description;
    ASSERT_EQ(rows.rows.size(), 1u);
    const std::string own = rows.rows[0].at(0).value_or("");
    EXPECT_NE(own.find("Ausbildung:1/Kurs_Teilnehmerliste/"), std::string::npos) << own;
    EXPECT_TRUE(own.ends_with(":3")) << own;
    qv::sql::PgDb demo;
    ASSERT_EQ(demo.Open(database.url()), 0);
    ASSERT_EQ(demo.Query(courseReports, &rows), 0) << demo.LastError().description;
    EXPECT_EQ(rows.rows.at(0).at(0).value_or(""), own);
}
#endif

}  // namespace
