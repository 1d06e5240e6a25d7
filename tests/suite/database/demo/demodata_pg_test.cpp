// Demo data on PostgreSQL: the tool builds the same database there as in a file (every table's
// rows, read back through the ADO objects), and leaves a database that holds anything else as it
// was.
#include "demodata.h"
#include "olevariant.h"
#include "pgcluster.h"
#include "pgdb.h"
#include "qvado.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "suitedbpg.h"
#include "readmeblock.h"
#include "tempdir.h"
#include "utf.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using qv::ado::ComPtr;
using Rows = std::vector<std::vector<std::string>>;

constexpr int kYear = 2041;

struct ToolRun {
    int exitCode = -1;
    std::string output;
};

std::string ReadmeBlock(const std::string& paragraph) { return qvtest::ReadmeBlock(QV_README, paragraph); }

ToolRun RunTool(const std::string& args) {
    ToolRun run;
    FILE* p = popen((std::string(QV_DEMODB_TOOL) + " " + args + " 2>&1").c_str(), "r");
    if (!p) return run;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) run.output.append(buf, n);
    const int status = pclose(p);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// All rows of a query through a connection object, the first `count` columns as text ("NULL"
// for none).
Rows AdoRows(const std::string& connectionString, const std::wstring& sql, long count) {
    ComPtr<_Connection> c;
    qv::ado::CreateInstance(CLSID_Connection, nullptr, IID__Connection, reinterpret_cast<void**>(&c));
    BSTR cs = SysAllocString(qv::FromUtf8(connectionString).c_str());
    const HRESULT opened = c->Open(cs, nullptr, nullptr, 0);
    SysFreeString(cs);
    EXPECT_EQ(opened, S_OK) << connectionString;
    Rows out;
    if (FAILED(opened)) return out;
    ComPtr<Recordset20> rs;
    qv::ado::CreateInstance(CLSID_Recordset, nullptr, IID_Recordset20, reinterpret_cast<void**>(&rs));
    rs->putref_ActiveConnection(c.get());
    VARIANT missing;
    VariantInit(&missing);
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    const HRESULT hr = rs->Open(COleVariant(sql.c_str()), missing, adOpenForwardOnly, adLockReadOnly, adCmdText);
    EXPECT_EQ(hr, S_OK) << qv::ToUtf8(sql);
    if (FAILED(hr)) return out;
    for (VARIANT_BOOL eof = VARIANT_FALSE; rs->get_EOF(&eof) == S_OK && !eof; rs->MoveNext()) {
        auto& row = out.emplace_back();
        for (long i = 0; i < count; ++i) {
            COleVariant v;
            rs->get_Collect(COleVariant(i), &v);
            if (v.vt == VT_NULL) {
                row.emplace_back("NULL");
                continue;
            }
            VARIANT text;
            VariantInit(&text);
            EXPECT_EQ(VariantChangeType(&text, &v, 0, VT_BSTR), S_OK);
            row.push_back(text.vt == VT_BSTR ? qv::ToUtf8(text.bstrVal) : "?");
            VariantClear(&text);
        }
    }
    rs->Close();
    return out;
}

std::map<std::string, long long> PgCounts(qv::sql::PgDb& db) {
    qv::sql::PgRows tables, count;
    EXPECT_EQ(db.Query("SELECT relname FROM pg_class WHERE relnamespace = 'public'::regnamespace AND relkind = 'r'", &tables), 0);
    std::map<std::string, long long> out;
    for (const auto& t : tables.rows) {
        EXPECT_EQ(db.Query("SELECT count(*) FROM " + *t[0], &count), 0);
        out[*t[0]] = std::stoll(*count.rows.at(0)[0]);
    }
    return out;
}

std::map<std::string, long long> SqliteCounts(const std::string& path) {
    qv::sql::SqliteDb db;
    EXPECT_EQ(db.Open("sqlite:" + path), SQLITE_OK);
    std::map<std::string, long long> out;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db.Handle(), "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%'", -1, &st, nullptr);
    std::vector<std::string> tables;
    while (sqlite3_step(st) == SQLITE_ROW) tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    for (std::string t : tables) {
        sqlite3_prepare_v2(db.Handle(), ("SELECT count(*) FROM \"" + t + "\"").c_str(), -1, &st, nullptr);
        sqlite3_step(st);
        for (char& ch : t) ch = char(std::tolower(static_cast<unsigned char>(ch)));
        out[t] = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
    }
    return out;
}

class DemoPg : public ::testing::Test {
protected:
    void SetUp() override { qv::suite::InstallSuiteDatabase(); }
    qvtest::TempDir dir_;
};

TEST_F(DemoPg, ToolFillsAnEmptyDatabaseAsItFillsAFile) {
    qvtest::PgTestDatabase pgDatabase;
    const std::string file = dir_.file("demo.sqlite");
    const std::string seed = " --seed 7 --year " + std::to_string(kYear);
    ToolRun run = RunTool("--db " + file + seed);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    run = RunTool("--db " + pgDatabase.url() + seed);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("copying"), std::string::npos) << run.output;

    // Every table, the cache of descriptions and the counters of the key procedure included.
    qv::sql::PgDb pg;
    ASSERT_EQ(pg.Open(pgDatabase.url()), 0);
    std::map<std::string, long long> onPg = PgCounts(pg), inFile = SqliteCounts(file);
    EXPECT_GT(inFile["personkurs"], 1000);
    for (const auto& [table, n] : inFile) EXPECT_EQ(onPg.count(table) ? onPg.at(table) : -1, n) << table;

    // The same statements through the ADO objects give the same rows on both.
    const std::wstring kCounts =
        L"SELECT (SELECT COUNT(*) FROM Mandant), (SELECT COUNT(*) FROM Person), (SELECT COUNT(*) FROM Kurs), "
        L"(SELECT COUNT(*) FROM Kursinstanz), (SELECT COUNT(*) FROM PersonKurs)";
    EXPECT_EQ(AdoRows(pgDatabase.url(), kCounts, 5), AdoRows("sqlite:" + file, kCounts, 5));
    EXPECT_EQ(AdoRows(pgDatabase.url(), L"SELECT strValue FROM CustFieldValue WHERE guid = 'd4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d'", 1),
              Rows{{"12"}}) << "the archive age";
    const Rows course = AdoRows("sqlite:" + file,
                                L"SELECT TOP 1 k.lKursID FROM Kurs k WHERE EXISTS (SELECT * FROM Kursinstanz i "
                                L"WHERE i.lKursID = k.lKursID) ORDER BY k.lKursID DESC", 1);
    ASSERT_EQ(course.size(), 1u);
    const std::wstring runs =
        L"SELECT k.strBezeichnung, k.strKurzbezeichnung, i.lKursinstanzID, i.dtDatum, i.strBezeichnung, "
        L"(SELECT COUNT(*) FROM PersonKurs pk WHERE pk.lKursinstanzID = i.lKursinstanzID) "
        L"FROM Kurs k JOIN Kursinstanz i ON i.lKursID = k.lKursID WHERE k.lKursID = " +
        qv::FromUtf8(course[0][0]) + L" ORDER BY i.lKursinstanzID";
    const Rows onPgRuns = AdoRows(pgDatabase.url(), runs, 6);
    EXPECT_FALSE(onPgRuns.empty());
    EXPECT_EQ(onPgRuns, AdoRows("sqlite:" + file, runs, 6));

    // The option server adds an option without naming its key.
    const std::string newOption =
        "INSERT INTO QvOption (lArea, strName, lQvSecUserID, lType, strValue) VALUES (-1060, 'MaxSearchResults', 0, 3, '20000')";
    EXPECT_EQ(pg.Exec(newOption), 0) << pg.LastError().description;
    ++onPg["qvoption"];

    // Filled now: refused and left as it is, unless forced.
    run = RunTool("--db " + pgDatabase.url() + " --seed 8");
    EXPECT_EQ(run.exitCode, 3) << run.output;
    EXPECT_NE(run.output.find("already holds data"), std::string::npos) << run.output;
    EXPECT_EQ(PgCounts(pg), onPg);
    run = RunTool("--db " + pgDatabase.url() + seed + " --force");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    --onPg["qvoption"];
    EXPECT_EQ(PgCounts(pg), onPg);
    EXPECT_EQ(pg.Exec(newOption), 0) << "made again: " << pg.LastError().description;

    // The README's user, place and person, with psql on the demo the program never opened.
    const std::string readme = ReadmeBlock("To add a user") + ReadmeBlock("Persons and places");
    EXPECT_EQ(pg.Exec(readme), 0) << pg.LastError().description;
    EXPECT_EQ(AdoRows(pgDatabase.url(),
                      L"SELECT r.fAdmin, (SELECT count(*) FROM Person WHERE strName = 'Muster') FROM QvSecRole r "
                      L"JOIN QvSecUser u ON u.lQvSecUserID = r.lQvSecUserID WHERE u.strName = 'Anna'", 2),
              (Rows{{"1", "1"}}));
}

TEST_F(DemoPg, SchemaWithoutDataIsFilled) {
    qvtest::PgTestDatabase pgDatabase;
    qv::sql::PgDb pg;
    ASSERT_EQ(pg.Open(pgDatabase.url()), 0);
    std::string error;
    ASSERT_EQ(qv::suite::CreateSchemaPg(pg, &error), 0) << error;
    qv::suite::DemoFileOptions options;
    options.path = pgDatabase.url();
    options.baseYear = kYear;
    qv::suite::DemoFileReport report;
    ASSERT_EQ(qv::suite::MakeDemoDatabase(options, &report, &error), qv::suite::DemoFileResult::Built) << error;
    EXPECT_EQ(report.summary.mandanten, 3);
    EXPECT_GT(report.summary.registrations, 1000);
    EXPECT_FALSE(report.replaced);
}

TEST_F(DemoPg, DatabaseHoldingSomethingElseIsLeftAsItWas) {
    qvtest::PgTestDatabase pgDatabase;
    qv::sql::PgDb pg;
    ASSERT_EQ(pg.Open(pgDatabase.url()), 0);
    ASSERT_EQ(pg.Exec("CREATE TABLE Lager (lLagerID integer PRIMARY KEY, strName text); INSERT INTO Lager VALUES (1, 'Nord')"), 0);
    for (const char* extra : {"", " --force"}) {
        const ToolRun run = RunTool("--db " + pgDatabase.url() + extra);
        EXPECT_EQ(run.exitCode, 3) << extra << ": " << run.output;
        EXPECT_NE(run.output.find("no suite database"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("copying"), std::string::npos) << run.output;
        EXPECT_EQ(PgCounts(pg), (std::map<std::string, long long>{{"lager", 1}}));
    }
    qv::sql::PgRows rows;
    ASSERT_EQ(pg.Query("SELECT count(*) FROM pg_namespace WHERE nspname = 'dbo'", &rows), 0);
    EXPECT_EQ(rows.rows.at(0)[0], "0");

    // A server that does not answer: a failure with the reason, not a refusal.
    const ToolRun run = RunTool("--db postgresql://qvtest@127.0.0.1:1/none");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("Cannot connect to postgresql://qvtest@127.0.0.1:1/none"), std::string::npos) << run.output;
}

// The bulk load the demo rests on: inside a transaction a copy that fails, or that its producer
// abandons, is undone alone and the transaction goes on.
TEST(PgCopyIn, FailedOrAbandonedCopyIsUndoneAlone) {
    qvtest::PgTestDatabase pgDatabase;
    qv::sql::PgDb pg;
    ASSERT_EQ(pg.Open(pgDatabase.url()), 0);
    ASSERT_EQ(pg.Exec("CREATE TABLE Zahl (n integer PRIMARY KEY, s text)"), 0);
    auto pieces = [](std::vector<std::string> list, bool abandon) {
        return [list, abandon, i = std::size_t(0)](std::string* piece) mutable {
            if (i == list.size()) return abandon ? -1 : 0;
            *piece += list[i++];
            return 1;
        };
    };
    ASSERT_EQ(pg.Begin(), 0);
    ASSERT_EQ(pg.Exec("INSERT INTO Zahl VALUES (1, 'eins')"), 0);
    EXPECT_NE(pg.CopyIn("COPY Zahl FROM STDIN", pieces({"2\tzwei\n", "2\tnochmals\n"}, false)), 0);
    EXPECT_NE(pg.LastError().description.find("duplicate"), std::string::npos) << pg.LastError().description;
    EXPECT_NE(pg.CopyIn("COPY Zahl FROM STDIN", pieces({"3\tdrei\n"}, true)), 0);
    EXPECT_NE(pg.CopyIn("SELECT 1", pieces({}, false)), 0);
    EXPECT_EQ(pg.CopyIn("COPY Zahl (n, s) FROM STDIN", pieces({"4\tTab\\tund\\\\Strich\n5\t", "\\N\n"}, false)), 0)
        << pg.LastError().description;
    ASSERT_EQ(pg.Commit(), 0);
    qv::sql::PgRows rows;
    ASSERT_EQ(pg.Query("SELECT n, coalesce(s, 'NULL') FROM Zahl ORDER BY n", &rows), 0);
    ASSERT_EQ(rows.rows.size(), 3u);
    EXPECT_EQ(rows.rows[0][0], "1");
    EXPECT_EQ(rows.rows[1][1], "Tab\tund\\Strich");
    EXPECT_EQ(rows.rows[2][1], "NULL");
}

}  // namespace
