// The loadable extension: the sqlite3 shell reads every view of a demo database and writes every
// column of every table (firing the triggers) once it is loaded, and cannot without it; with it the
// README's statements for a user, a place and a person work on a demo file the program never opened.
#include "demodata.h"
#include "readmeblock.h"
#include "tempdir.h"

#include <gtest/gtest.h>
#include <link.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

std::vector<std::string> Column(const std::string& file, const std::string& sql) {
    std::vector<std::string> values;
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    while (sqlite3_step(st) == SQLITE_ROW) values.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return values;
}

// The address sanitizer's runtime when this test runs under it, else empty. An instrumented
// extension needs it loaded first in the shell, which is not instrumented itself.
std::string SanitizerRuntime() {
    std::string runtime;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            const std::string name = info->dlpi_name ? info->dlpi_name : "";
            if (name.find("/libasan.so") == std::string::npos) return 0;
            *static_cast<std::string*>(data) = name;
            return 1;
        },
        &runtime);
    return runtime;
}

std::string ReadmeBlock(const std::string& paragraph) { return qvtest::ReadmeBlock(QV_README, paragraph); }

class SqliteShell : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v sqlite3 > /dev/null") != 0) GTEST_SKIP() << "no sqlite3 shell";
        qv::suite::DemoFileOptions options;
        options.path = dir.file("nq2.sqlite");
        std::string error;
        ASSERT_EQ(qv::suite::MakeDemoDatabase(options, nullptr, &error), qv::suite::DemoFileResult::Built) << error;
        views = Column(options.path, "SELECT name FROM sqlite_master WHERE type = 'view' ORDER BY name");
        ASSERT_GE(views.size(), 10u);
        std::ofstream script(dir.file("script.sql"));
        for (const std::string& view : views) script << "SELECT '" << view << "', count(*) FROM " << view << ";\n";
        // Every column of every table written back as it is, inside a transaction that is undone.
        script << "BEGIN;\n";
        for (const std::string& table :
             Column(options.path, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%'")) {
            std::string set;
            for (const std::string& column : Column(options.path, "SELECT name FROM pragma_table_info('" + table + "')"))
                set += (set.empty() ? "" : ", ") + ("\"" + column + "\" = \"" + column + "\"");
            script << "UPDATE \"" << table << "\" SET " << set << ";\n";
        }
        script << "ROLLBACK;\n";
    }
    // The shell's exit code; its output in `out`.
    int Shell(const std::string& load, std::string* out) {
        const std::string runtime = SanitizerRuntime();
        const std::string command = (runtime.empty() ? "" : "LD_PRELOAD=" + runtime + " ") + "sqlite3 -bail " + load +
                                    dir.file("nq2.sqlite") + " < " + dir.file("script.sql") + " > " +
                                    dir.file("out.txt") + " 2>&1";
        const int status = std::system(command.c_str());
        std::ifstream in(dir.file("out.txt"));
        out->assign(std::istreambuf_iterator<char>(in), {});
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    qvtest::TempDir dir;
    std::vector<std::string> views;
};

TEST_F(SqliteShell, WithTheExtensionEveryViewIsReadAndEveryTableWritten) {
    std::string out;
    ASSERT_EQ(Shell("-cmd \".load " QV_SUITE_EXTENSION "\" ", &out), 0) << out;
    for (const std::string& view : views) EXPECT_NE(out.find(view + "|"), std::string::npos) << view;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), long(views.size())) << out;

    EXPECT_NE(Shell("", &out), 0) << "without the extension the shell lacks QVCI and the functions";
    EXPECT_NE(out.find("QVCI"), std::string::npos) << out;

    const std::string user = ReadmeBlock("To add a user"), person = ReadmeBlock("Persons and places");
    ASSERT_NE(user.find("QvSecRole"), std::string::npos);
    ASSERT_NE(person.find("INSERT INTO Person"), std::string::npos);
    std::ofstream(dir.file("script.sql"))
        << user << person
        << "SELECT r.fAdmin FROM QvSecRole r JOIN QvSecUser u ON u.lQvSecUserID = r.lQvSecUserID "
           "WHERE u.strName = 'Anna';\n"
           "SELECT (SELECT count(*) FROM SecMandant WHERE lQvSecUserID = u.lQvSecUserID) = (SELECT count(*) FROM "
           "SecMandant s JOIN QvSecUser a ON a.lQvSecUserID = s.lQvSecUserID AND a.strName = 'Administrator') FROM "
           "QvSecUser u WHERE u.strName = 'Anna';\n"
           "SELECT p.strPerson || '|' || o.strPLZOrt FROM view_PersonSmall p JOIN view_Ort o ON o.lOrtID = p.lOrtID "
           "WHERE p.strName = 'Muster';\n";
    ASSERT_EQ(Shell("-cmd \".load " QV_SUITE_EXTENSION "\" ", &out), 0) << out;
    EXPECT_EQ(out, "1\n1\nMuster Hans|8400 Winterthur\n") << "Anna an administrator with his rights, Hans bookable";
}

}  // namespace
