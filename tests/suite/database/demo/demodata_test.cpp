// The demo data generator and the tool qvdemodb: the same seed gives the same database, the
// content has the promised size and spread and hangs together, and the tool neither overwrites
// data nor leaves a half-made file behind.
#include "demodata.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "tempdir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A year whose dates cannot be today's, so a column left to a "now" default shows.
constexpr int kYear = 2041;

std::int64_t Int(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db) << "\n" << sql;
    std::int64_t v = -999999;
    if (st && sqlite3_step(st) == SQLITE_ROW) v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return v;
}

std::vector<std::string> Column(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db) << "\n" << sql;
    std::vector<std::string> out;
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        const unsigned char* t = sqlite3_column_text(st, 0);
        out.emplace_back(t ? reinterpret_cast<const char*>(t) : "NULL");
    }
    sqlite3_finalize(st);
    return out;
}

// Every row of every table, in key order, hashed (FNV-1a) with each value's type.
std::uint64_t Digest(sqlite3* db) {
    std::uint64_t h = 1469598103934665603ull;
    auto mix = [&](const void* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) h = (h ^ static_cast<const unsigned char*>(p)[i]) * 1099511628211ull;
    };
    // The planner's statistics are not data.
    for (const std::string& table : Column(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                                               "'sqlite_stat%' ORDER BY name")) {
        mix(table.data(), table.size());
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, ("SELECT * FROM \"" + table + "\"").c_str(), -1, &st, nullptr);
        std::string order;
        for (int i = 1; i <= sqlite3_column_count(st); ++i) order += (i > 1 ? ", " : "") + std::to_string(i);
        sqlite3_finalize(st);
        sqlite3_prepare_v2(db, ("SELECT * FROM \"" + table + "\" ORDER BY " + order).c_str(), -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const int type = sqlite3_column_type(st, i);
                mix(&type, sizeof type);
                const void* blob = sqlite3_column_blob(st, i);
                mix(blob, std::size_t(sqlite3_column_bytes(st, i)));
            }
        sqlite3_finalize(st);
    }
    return h;
}

class DemoData : public ::testing::Test {
protected:
    void SetUp() override { qv::suite::InstallSuiteDatabase(); }

    // A database with the schema, opened as the driver opens every connection.
    void Open(qv::sql::SqliteDb& db, const std::string& name) {
        ASSERT_EQ(db.Open("sqlite:" + dir_.file(name)), SQLITE_OK) << db.LastError().description;
        std::string error;
        ASSERT_EQ(qv::suite::CreateSchema(db.Handle(), &error), SQLITE_OK) << error;
    }

    void Generate(qv::sql::SqliteDb& db, unsigned seed, int year = kYear) {
        std::string error;
        ASSERT_EQ(qv::suite::GenerateDemoData(db.Handle(), seed, year, &error), SQLITE_OK) << error;
    }

    qvtest::TempDir dir_;
};

TEST_F(DemoData, SameSeedAndYearGiveTheSameDatabaseAndOthersDoNot) {
    qv::sql::SqliteDb a, b, c, d;
    Open(a, "a.db");
    Open(b, "b.db");
    Open(c, "c.db");
    Open(d, "d.db");
    Generate(a, 5);
    Generate(b, 5);
    Generate(c, 6);
    Generate(d, 5, kYear + 1);
    EXPECT_EQ(Digest(a.Handle()), Digest(b.Handle()));
    EXPECT_NE(Digest(a.Handle()), Digest(c.Handle()));
    EXPECT_NE(Digest(a.Handle()), Digest(d.Handle()));

    // No column left to a default of the moment: no date of today, no key or GUID missing.
    sqlite3* db = a.Handle();
    for (const std::string& table : Column(db, "SELECT name FROM sqlite_master WHERE type = 'table'"))
        for (const std::string& column : Column(db, "SELECT name FROM pragma_table_info('" + table + "')")) {
            if (column.rfind("dt", 0) == 0) {
                EXPECT_EQ(Int(db, "SELECT count(*) FROM " + table + " WHERE substr(" + column +
                                      ", 1, 10) = date('now', 'localtime')"),
                          0)
                    << table << "." << column;
            }
            if (column == "guid") {
                EXPECT_EQ(Int(db, "SELECT count(*) - count(DISTINCT guid) FROM " + table), 0) << table;
            }
        }
}

TEST_F(DemoData, HasTheAskedSizeAndSpread) {
    for (unsigned seed : {1u, 99u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        qv::sql::SqliteDb demo;
        Open(demo, "spread" + std::to_string(seed) + ".db");
        Generate(demo, seed);
        sqlite3* db = demo.Handle();

        EXPECT_EQ(Int(db, "SELECT count(*) FROM Mandant"), 3);
        EXPECT_EQ(Int(db, "SELECT count(DISTINCT o.strKanton) FROM Mandant m JOIN view_Ort o ON m.lOrtID = o.lOrtID "
                          "WHERE o.strKanton <> ''"),
                  2);
        const std::int64_t persons = Int(db, "SELECT count(*) FROM Person");
        EXPECT_GE(persons, 1900);
        EXPECT_LE(persons, 2100);
        EXPECT_EQ(Int(db, "SELECT count(DISTINCT lMandantID) FROM Person"), 3);
        EXPECT_GT(Int(db, "SELECT count(*) FROM Person WHERE lCAktGradID > 0"), persons * 9 / 10);
        EXPECT_GT(Int(db, "SELECT count(*) FROM Person WHERE strName GLOB '*[äöüéèÄÖÜ]*' OR strVorname GLOB '*[äöüéëè]*'"), 0);
        EXPECT_EQ(Int(db, "SELECT count(*) FROM Person WHERE strName LIKE '%''%'"), 1);
        EXPECT_GT(Int(db, "SELECT count(*) FROM Device WHERE lTyp = 6"), persons / 2);
        EXPECT_GE(Int(db, "SELECT count(*) FROM Contact WHERE lPersonID <> -1"), persons);

        EXPECT_EQ(Int(db, "SELECT count(*) FROM Kurs"), 40);
        EXPECT_EQ(Column(db, "SELECT DISTINCT lTyp FROM Kurs ORDER BY 1"), (std::vector<std::string>{"1", "2", "3"}));
        EXPECT_EQ(Int(db, "SELECT count(*) FROM Kursinstanz"), 150);
        const std::string y = std::to_string(kYear);
        EXPECT_EQ(Column(db, "SELECT DISTINCT substr(dtDatum, 1, 4) FROM Kursinstanz ORDER BY 1"),
                  (std::vector<std::string>{std::to_string(kYear - 1), y, std::to_string(kYear + 1)}));
        EXPECT_GE(Int(db, "SELECT min(n) FROM (SELECT count(*) AS n FROM Kursinstanz GROUP BY substr(dtDatum, 1, 4))"), 30);
        EXPECT_GT(Int(db, "SELECT count(*) FROM Kursinstanz WHERE fGeschlossen = 0"), 0);
        EXPECT_GT(Int(db, "SELECT count(*) FROM Kursinstanz WHERE fGeschlossen = 1 AND dtAbgesagt = '1899-12-30 00:00:00'"), 0);
        EXPECT_GT(Int(db, "SELECT count(*) FROM Kursinstanz WHERE dtAbgesagt <> '1899-12-30 00:00:00'"), 0);
        EXPECT_GT(Int(db, "SELECT count(*) FROM Kursinstanz WHERE dtAnmeldenVon <> '1899-12-30 00:00:00'"), 100);
        EXPECT_EQ(Int(db, "SELECT count(*) FROM Kursinstanz WHERE lMaxTeilnehmer <= 0"), 0);
        EXPECT_GT(Int(db, "SELECT count(*) FROM Kursinstanz WHERE lMinInstruktor > 0"), 100);
        EXPECT_GT(Int(db, "SELECT count(*) FROM KursinstanzGruppe WHERE lKursinstanzID <> -1"), 0);
        EXPECT_GT(Int(db, "SELECT count(*) FROM KursinstanzGruppe WHERE lKursID <> -1"), 0);

        EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs"), 5000);
        EXPECT_EQ(Column(db, "SELECT DISTINCT lStatus FROM PersonKurs ORDER BY 1"),
                  (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7"}));
        EXPECT_GT(Int(db, "SELECT count(*) FROM PersonKurs WHERE fTeilnehmer = 0"), 150);
        EXPECT_GT(Int(db, "SELECT count(*) FROM PersonKurs WHERE fLeiter = 1"), 100);
        EXPECT_GT(Int(db, "SELECT count(*) FROM PersonKurs WHERE lKursinstanzID = -1 AND lStatus = 0"), 100);
        EXPECT_GT(Int(db, "SELECT count(*) FROM PersonKurs WHERE lKursinstanzGruppeID <> -1"), 0);

        EXPECT_GT(Int(db, "SELECT count(*) FROM Kursreservation"), 0);
        EXPECT_GT(Int(db, "SELECT count(*) FROM MaxTeilnehmer"), 0);
        EXPECT_GT(Int(db, "SELECT count(*) FROM view_Personabsenz"), 0);
        EXPECT_GT(Int(db, "SELECT count(*) FROM Kursprecondition p JOIN KurspreconditionItem i "
                          "ON i.lKurspreconditionID = p.lKurspreconditionID"),
                  0);
        EXPECT_EQ(Int(db, "SELECT count(*) FROM QvSecUser"), 2);
        EXPECT_GT(Int(db, "SELECT count(*) FROM KursnotificationMailtemplate"), 0);
        EXPECT_EQ(Column(db, "SELECT strValue FROM CustFieldValue WHERE guid = 'd4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d'"),
                  std::vector<std::string>{"12"}) << "the archive age in months";
        EXPECT_EQ(Int(db, "SELECT count(*) FROM QvReportServerProfile p JOIN view_QvReportServerReport r "
                          "ON p.lQvReportServerProfileID = r.lQvReportServerProfileID "
                          "WHERE p.guid = '9226ADE4-9631-4108-A7D0-EC5FB3DE9D36'"),
                  3);
        EXPECT_EQ(Int(db, "SELECT count(*) FROM System"), 1);
        EXPECT_EQ(Int(db, "SELECT count(*) FROM DataExchange"), 1);
    }
}

TEST_F(DemoData, RowsReferToRowsThatExist) {
    qv::sql::SqliteDb demo;
    Open(demo, "refs.db");
    Generate(demo, 3);
    sqlite3* db = demo.Handle();
    const std::string now = "'" + std::to_string(kYear) + "-07-01 00:00:00'";

    // Registrations: person and course exist; the run is -1 or one of the course's runs; the
    // group one of the run's; roles only for instructors; at most one leader per run, an instructor.
    EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs pk WHERE NOT EXISTS (SELECT 1 FROM Person p WHERE p.lPersonID = pk.lPersonID) "
                      "OR NOT EXISTS (SELECT 1 FROM Kurs k WHERE k.lKursID = pk.lKursID)"),
              0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs pk WHERE lKursinstanzID <> -1 AND NOT EXISTS "
                      "(SELECT 1 FROM Kursinstanz ki WHERE ki.lKursinstanzID = pk.lKursinstanzID AND ki.lKursID = pk.lKursID)"),
              0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs pk WHERE lKursinstanzGruppeID <> -1 AND NOT EXISTS "
                      "(SELECT 1 FROM KursinstanzGruppe g WHERE g.lKursinstanzGruppeID = pk.lKursinstanzGruppeID "
                      "AND g.lKursinstanzID = pk.lKursinstanzID)"),
              0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs WHERE fTeilnehmer = 1 AND (lKursleitungID <> -1 OR fLeiter = 1)"), 0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs pk WHERE lKursleitungID <> -1 AND NOT EXISTS "
                      "(SELECT 1 FROM Kursleitung l WHERE l.lKursleitungID = pk.lKursleitungID)"),
              0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs WHERE fLeiter = 1 AND lKursinstanzID = -1"), 0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM (SELECT lKursinstanzID FROM PersonKurs WHERE fLeiter = 1 "
                      "GROUP BY lKursinstanzID HAVING count(*) > 1)"),
              0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs pk WHERE lAbsenzgrundID <> -1 AND NOT EXISTS "
                      "(SELECT 1 FROM Absenzgrund a WHERE a.lAbsenzgrundID = pk.lAbsenzgrundID)"),
              0);
    // The run's leader text is the leader's display name, as setting a leader writes it.
    EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs pk JOIN Kursinstanz ki ON pk.lKursinstanzID = ki.lKursinstanzID "
                      "WHERE pk.fLeiter = 1 AND ki.strLeitung <> fn_GetPersonBezeichnung(pk.lPersonID, 'A')"),
              0);
    // Instructors with a role hold its function from before the run, so the instructor search finds them.
    EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs pk JOIN Kursinstanz ki ON pk.lKursinstanzID = ki.lKursinstanzID "
                      "JOIN Kursleitung l ON pk.lKursleitungID = l.lKursleitungID WHERE NOT EXISTS (SELECT 1 FROM PersonFunktion pf "
                      "WHERE pf.lPersonID = pk.lPersonID AND pf.lFunktionID = l.lFunktionID AND pf.dtStart < ki.dtDatum "
                      "AND (pf.dtEnde > ki.dtDatum OR pf.dtEnde = '1899-12-30 00:00:00'))"),
              0);
    // No double booking of a participant in a course and year, except where the course allows it.
    EXPECT_EQ(Int(db, "SELECT count(*) FROM (SELECT 1 FROM PersonKurs pk JOIN Kurs k ON pk.lKursID = k.lKursID "
                      "WHERE pk.fTeilnehmer = 1 AND k.fMultiregistration = 0 "
                      "GROUP BY pk.lPersonID, pk.lKursID, substr(pk.dtDatum, 1, 4) HAVING count(*) > 1)"),
              0);
    // Statuses fit the time: nobody has attended a coming run, nobody is still registered for a past one.
    EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs pk JOIN Kursinstanz ki ON pk.lKursinstanzID = ki.lKursinstanzID "
                      "WHERE pk.fTeilnehmer = 1 AND ki.dtDatum > " + now + " AND pk.lStatus IN (1, 2, 6)"),
              0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs pk JOIN Kursinstanz ki ON pk.lKursinstanzID = ki.lKursinstanzID "
                      "WHERE pk.fTeilnehmer = 1 AND ki.dtDatum < " + now +
                      " AND ki.dtAbgesagt = '1899-12-30 00:00:00' AND pk.lStatus IN (0, 7)"),
              0);
    // Registrations were made before the reference date.
    EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs WHERE dtAnmeldung >= " + now), 0);

    // Persons: Mandant, place (listed through view_Ort), rank and e-mail devices of their own.
    EXPECT_EQ(Int(db, "SELECT count(*) FROM Person p WHERE NOT EXISTS (SELECT 1 FROM Mandant m WHERE m.lMandantID = p.lMandantID) "
                      "OR NOT EXISTS (SELECT 1 FROM view_Ort o WHERE o.lOrtID = p.lOrtID) "
                      "OR NOT EXISTS (SELECT 1 FROM Grad g WHERE g.lGradID = p.lCAktGradID)"),
              0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM Person p WHERE (lEMailP <> -1 AND NOT EXISTS (SELECT 1 FROM Device d JOIN "
                      "view_DevicenumberCall n ON n.lDeviceID = d.lDeviceID WHERE d.lDeviceID = p.lEMailP AND d.lPersonID = "
                      "p.lPersonID AND d.lTyp = 6 AND n.strNr LIKE '%@%.example'))"),
              0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM Personabsenz a WHERE NOT EXISTS (SELECT 1 FROM Person p WHERE p.lPersonID = a.lPersonID) "
                      "OR (a.dtEnde <> '1899-12-30 00:00:00' AND a.dtEnde < a.dtStart)"),
              0);

    // Runs: course, place and dates; the run's date is its earliest start.
    EXPECT_EQ(Int(db, "SELECT count(*) FROM Kursinstanz ki WHERE NOT EXISTS (SELECT 1 FROM Kurs k WHERE k.lKursID = ki.lKursID) "
                      "OR (lOrtID <> 0 AND NOT EXISTS (SELECT 1 FROM Ort o WHERE o.lOrtID = ki.lOrtID)) "
                      "OR dtDatum IS NOT (SELECT min(dtStart) FROM Kursinstanzdate d WHERE d.lKursinstanzID = ki.lKursinstanzID)"),
              0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM Kursinstanz WHERE dtAnmeldenBis <> '1899-12-30 00:00:00' AND dtAnmeldenBis < dtAnmeldenVon"), 0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM KurspreconditionItem i WHERE NOT EXISTS (SELECT 1 FROM Kursprecondition p "
                      "WHERE p.lKurspreconditionID = i.lKurspreconditionID) OR NOT EXISTS (SELECT 1 FROM Kurs k WHERE k.lKursID = i.lKursID)"),
              0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM (SELECT lKursID, lMandantID FROM Kursreservation UNION ALL "
                      "SELECT lKursID, lMandantID FROM MaxTeilnehmer) r WHERE NOT EXISTS (SELECT 1 FROM Kurs k WHERE k.lKursID = r.lKursID) "
                      "OR NOT EXISTS (SELECT 1 FROM Mandant m WHERE m.lMandantID = r.lMandantID)"),
              0);

    // Security: each user is a person's contact; rights rows name existing objects and users.
    EXPECT_EQ(Int(db, "SELECT count(*) FROM QvSecUser u JOIN Contact c ON c.guid = u.strUserID JOIN Person p ON p.lPersonID = c.lPersonID"), 2);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM SecKurs s WHERE NOT EXISTS (SELECT 1 FROM QvSecUser u WHERE u.lQvSecUserID = s.lQvSecUserID) "
                      "OR (lKursID <> -1) = (lKursinstanzID <> -1) "
                      "OR (lKursID <> -1 AND NOT EXISTS (SELECT 1 FROM Kurs k WHERE k.lKursID = s.lKursID)) "
                      "OR (lKursinstanzID <> -1 AND NOT EXISTS (SELECT 1 FROM Kursinstanz ki WHERE ki.lKursinstanzID = s.lKursinstanzID))"),
              0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM SecMandant s WHERE NOT EXISTS (SELECT 1 FROM Mandant m WHERE m.lMandantID = s.lMandantID) "
                      "OR NOT EXISTS (SELECT 1 FROM QvSecUser u WHERE u.lQvSecUserID = s.lQvSecUserID)"),
              0);
    // The course leader leads runs and holds the leader right on exactly those.
    EXPECT_GT(Int(db, "SELECT count(*) FROM SecKurs WHERE lQvSecUserID = 2 AND lRight & 65792 = 65792"), 0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM SecKurs s WHERE lQvSecUserID = 2 AND lRight & 256 = 256 AND NOT EXISTS "
                      "(SELECT 1 FROM PersonKurs pk JOIN Contact c ON c.lPersonID = pk.lPersonID JOIN QvSecUser u "
                      "ON u.strUserID = c.guid WHERE u.lQvSecUserID = 2 AND pk.fLeiter = 1 AND pk.lKursinstanzID = s.lKursinstanzID)"),
              0);
}

// What one works with first: in the weeks after the day the demo is made, runs of local courses
// open for registration, with free places, nearly full or with a waiting list; every run named;
// the registrations of runs that took place with the run's place, leader and days; and custom
// fields with values on courses and runs. Whatever the day of the year.
TEST_F(DemoData, TheComingWeeksHoldOpenRunsOfLocalCoursesAndThePastIsRecorded) {
    const struct {
        qv::suite::DemoDate today;
        unsigned seed;
    } days[] = {{{kYear, 7, 1}, 1}, {{kYear, 12, 8}, 1}, {{kYear, 1, 3}, 5}, {{kYear, 11, 20}, 9}};
    int made = 0;
    for (const auto& d : days) {
        char day[16];
        std::snprintf(day, sizeof day, "%04d-%02d-%02d", d.today.year, d.today.month, d.today.day);
        SCOPED_TRACE(std::string(day) + " seed " + std::to_string(d.seed));
        qv::sql::SqliteDb demo, again;
        Open(demo, "asof" + std::to_string(++made) + ".db");
        Open(again, "asof" + std::to_string(made) + "b.db");
        std::string error;
        ASSERT_EQ(qv::suite::GenerateDemoDataAsOf(demo.Handle(), d.seed, d.today, &error), SQLITE_OK) << error;
        ASSERT_EQ(qv::suite::GenerateDemoDataAsOf(again.Handle(), d.seed, d.today, &error), SQLITE_OK) << error;
        sqlite3* db = demo.Handle();
        EXPECT_EQ(Digest(db), Digest(again.Handle())) << "the same seed and day give the same database";
        const std::string now = "'" + std::string(day) + " 00:00:00'";

        // Open runs ahead, not cancelled, with the registration window running, within four months,
        // with their free places (every registration but a deregistered one takes a place); the
        // local installation books into its local courses, the central one into every course.
        const std::string open =
            "SELECT ki.lMaxTeilnehmer - (SELECT count(*) FROM PersonKurs pk WHERE pk.lKursinstanzID = ki.lKursinstanzID "
            "AND pk.fTeilnehmer = 1 AND pk.lStatus <> 5) AS free, (SELECT count(*) FROM PersonKurs pk WHERE "
            "pk.lKursinstanzID = ki.lKursinstanzID AND pk.lStatus IN (3, 4)) AS waiting FROM Kursinstanz ki JOIN Kurs k "
            "ON k.lKursID = ki.lKursID WHERE k.fActive = 1 AND ki.fGeschlossen = 0 AND ki.dtAbgesagt = '1899-12-30 00:00:00' "
            "AND ki.dtDatum > " + now + " AND ki.dtDatum < datetime(" + now + ", '+4 months') AND ki.dtAnmeldenVon <= " +
            now + " AND ki.dtAnmeldenBis > " + now;
        for (const char* kind : {" AND k.lTyp = 3", ""}) {
            SCOPED_TRACE(*kind ? "local installation" : "central installation");
            const std::string runs = "FROM (" + open + kind + ")";
            EXPECT_GE(Int(db, "SELECT count(*) " + runs + " WHERE free > 2"), 4);
            EXPECT_GE(Int(db, "SELECT count(*) " + runs + " WHERE free BETWEEN 1 AND 2"), 1) << "nearly full";
            EXPECT_GE(Int(db, "SELECT count(*) " + runs + " WHERE free <= 0 AND waiting > 0"), 1) << "a waiting list";
        }
        // Nobody has attended a coming run or is still registered for a past one; nobody registered
        // after the day.
        EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs pk JOIN Kursinstanz ki ON pk.lKursinstanzID = ki.lKursinstanzID "
                          "WHERE ki.dtDatum > " + now + " AND pk.lStatus IN (1, 2, 6)"),
                  0);
        EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs pk JOIN Kursinstanz ki ON pk.lKursinstanzID = ki.lKursinstanzID "
                          "WHERE pk.fTeilnehmer = 1 AND ki.dtDatum < " + now +
                          " AND ki.dtAbgesagt = '1899-12-30 00:00:00' AND pk.lStatus IN (0, 7)"),
                  0);
        EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs WHERE dtAnmeldung >= " + now), 0);

        EXPECT_EQ(Int(db, "SELECT count(*) FROM Kursinstanz WHERE trim(strBezeichnung) = ''"), 0);

        // A registration of a run that took place keeps the run's place and leader, and the days
        // attended: the run's days when attended, some when partly attended, none when absent.
        EXPECT_GT(Int(db, "SELECT count(*) FROM PersonKurs WHERE lKursinstanzID <> -1 AND lStatus IN (1, 6)"), 500);
        EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs pk JOIN Kursinstanz ki ON pk.lKursinstanzID = ki.lKursinstanzID "
                          "WHERE pk.lStatus IN (1, 2, 6) AND (pk.strInstanzOrt <> ki.strOrt OR pk.strInstanzOrt = '' "
                          "OR pk.strInstanzleitung <> ki.strLeitung)"),
                  0);
        EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs pk JOIN Kursinstanz ki ON pk.lKursinstanzID = ki.lKursinstanzID "
                          "WHERE (pk.lStatus = 1 AND pk.dblInstanzDauer <> ki.dblDauer) OR (pk.lStatus = 6 AND "
                          "(pk.dblInstanzDauer <= 0 OR pk.dblInstanzDauer > ki.dblDauer)) OR (pk.lStatus = 2 AND "
                          "pk.dblInstanzDauer <> 0)"),
                  0);
        EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs WHERE lStatus IN (1, 6) AND (dblInstanzDauer <= 0 OR "
                          "strInstanzOrt = '')"),
                  0);

        // "Eigene Daten": every course and every run has a value for each of its custom fields.
        for (const auto& [table, key, id] : {std::tuple{"Kurs", "lKursID", 39}, std::tuple{"Kursinstanz", "lKursinstanzID", 42}}) {
            EXPECT_GE(Int(db, "SELECT count(*) FROM CustFieldType WHERE lTableID = " + std::to_string(id)), 1) << table;
            EXPECT_EQ(Int(db, std::string("SELECT count(*) FROM ") + table + " r JOIN CustFieldType t ON t.lTableID = " +
                                  std::to_string(id) + " WHERE NOT EXISTS (SELECT 1 FROM CustFieldValue v WHERE v.lCFTypeID = "
                                  "t.lCFTypeID AND v.lID = r." + key + " AND v.strValue <> '')"),
                      0)
                << table;
        }
    }
}

TEST_F(DemoData, RunDatesFallOnPlausibleDays) {
    qv::sql::SqliteDb demo;
    Open(demo, "days.db");
    Generate(demo, 11);
    sqlite3* db = demo.Handle();
    // One-day courses on Saturdays, evening exercises from Monday to Thursday, longer courses on
    // consecutive days from a Monday; every date of a run in the run's year.
    EXPECT_EQ(Int(db, "SELECT count(*) FROM Kursinstanz WHERE dblDauer = 1 AND strftime('%w', dtDatum) <> '6'"), 0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM Kursinstanz WHERE dblDauer < 1 AND (strftime('%w', dtDatum) NOT IN ('1', '2', '3', '4') "
                      "OR substr(dtDatum, 12) <> '19:00:00')"),
              0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM Kursinstanz WHERE dblDauer > 1 AND strftime('%w', dtDatum) <> '1'"), 0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM Kursinstanz ki WHERE (SELECT count(*) FROM Kursinstanzdate d WHERE "
                      "d.lKursinstanzID = ki.lKursinstanzID) <> max(1, CAST(ceil(dblDauer) AS INTEGER))"),
              0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM Kursinstanzdate d JOIN Kursinstanz ki ON d.lKursinstanzID = ki.lKursinstanzID "
                      "WHERE julianday(substr(d.dtStart, 1, 10)) - julianday(substr(ki.dtDatum, 1, 10)) "
                      "NOT BETWEEN 0 AND CAST(ceil(ki.dblDauer) AS INTEGER) - 1 "
                      "OR substr(d.dtStart, 1, 4) <> substr(ki.dtDatum, 1, 4) OR d.dtEnde <= d.dtStart"),
              0);
    // Planned registrations (this year and the next) and instructors carry the last day of their year.
    EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs WHERE (lKursinstanzID = -1 AND substr(dtDatum, 1, 4) >= '" +
                      std::to_string(kYear) + "' OR fTeilnehmer = 0) AND substr(dtDatum, 5) <> '-12-31 00:00:00'"),
              0);
    EXPECT_GT(Int(db, "SELECT count(*) FROM PersonKurs WHERE lKursinstanzID = -1 AND substr(dtDatum, 1, 4) >= '" +
                      std::to_string(kYear) + "'"),
              500);
}

TEST_F(DemoData, MostParticipantsMeetTheirCoursesPreconditions) {
    qv::sql::SqliteDb demo;
    Open(demo, "pre.db");
    Generate(demo, 12);
    sqlite3* db = demo.Handle();
    // Participants of runs of courses whose first rule asks for an attended course: most of them
    // attended it before the run, as the history of earlier years provides.
    const std::int64_t total = Int(db,
        "SELECT count(*) FROM PersonKurs pk JOIN Kursinstanz ki ON pk.lKursinstanzID = ki.lKursinstanzID "
        "JOIN Kursprecondition r ON r.lKursID = pk.lKursID AND r.lOrder = 1 AND r.lOperator IN (0, 1) "
        "JOIN KurspreconditionItem i ON i.lKurspreconditionID = r.lKurspreconditionID AND i.lKursID <> pk.lKursID "
        "WHERE pk.fTeilnehmer = 1 AND i.lKurspreconditionItemID = "
        "(SELECT min(lKurspreconditionItemID) FROM KurspreconditionItem WHERE lKurspreconditionID = r.lKurspreconditionID)");
    const std::int64_t met = Int(db,
        "SELECT count(*) FROM PersonKurs pk JOIN Kursinstanz ki ON pk.lKursinstanzID = ki.lKursinstanzID "
        "JOIN Kursprecondition r ON r.lKursID = pk.lKursID AND r.lOrder = 1 AND r.lOperator IN (0, 1) "
        "JOIN KurspreconditionItem i ON i.lKurspreconditionID = r.lKurspreconditionID AND i.lKursID <> pk.lKursID "
        "WHERE pk.fTeilnehmer = 1 AND i.lKurspreconditionItemID = "
        "(SELECT min(lKurspreconditionItemID) FROM KurspreconditionItem WHERE lKurspreconditionID = r.lKurspreconditionID) "
        "AND EXISTS (SELECT 1 FROM PersonKurs h WHERE h.lPersonID = pk.lPersonID AND h.lKursID = i.lKursID "
        "AND h.fTeilnehmer = 1 AND h.lStatus = 1 AND h.dtDatum < ki.dtDatum)");
    EXPECT_GT(total, 300);
    EXPECT_GT(met * 10, total * 8) << met << " of " << total;
}

TEST_F(DemoData, MandantenThatWantNotificationsHaveReceiversWithAddresses) {
    qv::sql::SqliteDb demo;
    Open(demo, "mail.db");
    Generate(demo, 13);
    sqlite3* db = demo.Handle();
    EXPECT_GT(Int(db, "SELECT count(*) FROM Mandant WHERE fKursNotification = 1"), 0);
    EXPECT_GT(Int(db, "SELECT count(*) FROM Mandant WHERE fKursNotification = 0"), 0);
    // The recipients' statement of the notification mails, per Mandant that wants them.
    for (const std::string& mandant : Column(db, "SELECT lMandantID FROM Mandant WHERE fKursNotification = 1"))
        EXPECT_GT(Int(db, "SELECT count(DISTINCT Devicenumber.strNr) FROM Devicenumber JOIN Device ON Devicenumber.lDeviceID = "
                          "Device.lDeviceID JOIN VIPPersonMandant ON Device.lPersonID = VIPPersonMandant.lPersonID JOIN VIP ON "
                          "VIP.lVIPID = VIPPersonMandant.lVIPID WHERE Device.lTyp = 6 AND Devicenumber.lTyp = 0 AND "
                          "VIPPersonMandant.lMandantID = " + mandant + " AND VIP.fKursNotificationReceiver = 1"),
                  0)
            << "Mandant " << mandant;
    // Every address the demo holds goes to the reserved domain, so no mail from it reaches anyone.
    EXPECT_EQ(Int(db, "SELECT count(*) FROM Devicenumber WHERE strNr NOT LIKE '%.example'"), 0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM Contact WHERE (strEMailP <> '' AND strEMailP NOT LIKE '%.example') "
                      "OR (strEMailG <> '' AND strEMailG NOT LIKE '%.example')"),
              0);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM KursnotificationMailtemplate WHERE (strCC <> '' AND strCC NOT LIKE '%.example') "
                      "OR (strBCC <> '' AND strBCC NOT LIKE '%.example')"),
              0);
    EXPECT_EQ(Int(db, "SELECT fOnlineKursEnabled FROM DataExchange"), 0);
}

TEST_F(DemoData, IdCountersLieAtOrAboveEveryKeyWritten) {
    qv::sql::SqliteDb demo;
    Open(demo, "ids.db");
    Generate(demo, 4);
    sqlite3* db = demo.Handle();
    for (const char* table : {"Person", "PersonKurs", "Kurs", "Kursinstanz", "Kursinstanzdate", "SecKurs", "QvLabel",
                              "Ort", "Device", "Contact", "KursinstanzGruppe", "Kursreservation", "MaxTeilnehmer"}) {
        const std::string key = std::string("l") + table + "ID";
        EXPECT_GE(Int(db, "SELECT lLastID FROM UniqueIDCounter WHERE strTable = '" + std::string(table) + "' AND strColumn = '" + key + "'"),
                  Int(db, "SELECT max(" + key + ") FROM " + table))
            << table;
    }
    EXPECT_EQ(Int(db, "SELECT count(*) FROM UniqueIDCounter WHERE strTable IN ('Wartungsjournal', 'System', 'DataExchange')"), 0);
    std::int64_t next = 0;
    std::string error;
    ASSERT_EQ(qv::suite::DrawUniqueID(db, "PersonKurs", "lPersonKursID", &next, &error), SQLITE_OK) << error;
    EXPECT_EQ(next, Int(db, "SELECT max(lPersonKursID) FROM PersonKurs") + 1);
}

TEST_F(DemoData, RefusesADatabaseThatIsNotFreshAndWritesNothing) {
    qv::sql::SqliteDb demo;
    Open(demo, "twice.db");
    Generate(demo, 1);
    sqlite3* db = demo.Handle();
    const std::uint64_t before = Digest(db);
    std::string error;
    EXPECT_NE(qv::suite::GenerateDemoData(db, 2, kYear, &error), SQLITE_OK);
    EXPECT_NE(error.find("already holds data"), std::string::npos) << error;
    EXPECT_EQ(Digest(db), before);

    // One added row is enough to refuse.
    qv::sql::SqliteDb other;
    Open(other, "one.db");
    ASSERT_EQ(other.Exec("INSERT INTO Absenzgrund (lAbsenzgrundID, strBezeichnung) VALUES (77, 'Eigene')"), SQLITE_OK);
    EXPECT_NE(qv::suite::GenerateDemoData(other.Handle(), 1, kYear, &error), SQLITE_OK);
    EXPECT_EQ(Int(other.Handle(), "SELECT count(*) FROM Person"), 0);

    // Without the schema there is nothing to fill.
    qv::sql::SqliteDb bare;
    ASSERT_EQ(bare.Open("sqlite:" + dir_.file("bare.db")), SQLITE_OK);
    EXPECT_NE(qv::suite::GenerateDemoData(bare.Handle(), 1, kYear, &error), SQLITE_OK);
    EXPECT_EQ(Int(bare.Handle(), "SELECT count(*) FROM sqlite_master"), 0);
}

TEST_F(DemoData, JoinsTheCallersTransaction) {
    qv::sql::SqliteDb demo;
    Open(demo, "tx.db");
    ASSERT_EQ(demo.Begin(), SQLITE_OK);
    Generate(demo, 1);
    EXPECT_EQ(Int(demo.Handle(), "SELECT count(*) FROM PersonKurs"), 5000);
    ASSERT_EQ(demo.Rollback(), SQLITE_OK);
    EXPECT_EQ(Int(demo.Handle(), "SELECT count(*) FROM PersonKurs"), 0);
    EXPECT_EQ(Int(demo.Handle(), "SELECT count(*) FROM UniqueIDCounter"), 0);
}

// ---------------------------------------------------------------------------------------------
// Canton size
// ---------------------------------------------------------------------------------------------

TEST_F(DemoData, CantonSizeCopiesTheBrigadesConsistently) {
    qv::sql::SqliteDb demo;
    Open(demo, "canton.db");
    Generate(demo, 3);
    sqlite3* db = demo.Handle();
    const std::int64_t persons = Int(db, "SELECT count(*) FROM Person");
    const std::int64_t mandanten = Int(db, "SELECT count(*) FROM Mandant");
    const std::int64_t courses = Int(db, "SELECT count(*) FROM Kurs");
    const std::int64_t runs = Int(db, "SELECT count(*) FROM Kursinstanz");
    const std::int64_t registrations = Int(db, "SELECT count(*) FROM PersonKurs");
    ASSERT_GT(persons, 0);
    const char* const kMostInOneRun = "SELECT max(n) FROM (SELECT count(*) AS n FROM PersonKurs WHERE lKursinstanzID <> -1 "
                                      "GROUP BY lPersonID, lKursinstanzID)";
    const std::int64_t mostInOneRun = Int(db, kMostInOneRun);

    qv::suite::DemoScale scale;
    scale.persons = 2 * persons + 1;  // three copies
    scale.registrations = 3 * registrations + 4000;
    std::vector<std::pair<std::string, double>> reported;
    scale.progress = [&](const std::string& step, double done) { reported.emplace_back(step, done); };
    std::string error;
    ASSERT_EQ(qv::suite::ScaleDemoData(db, scale, &error), SQLITE_OK) << error;

    EXPECT_EQ(Int(db, "SELECT count(*) FROM Person"), 3 * persons);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM Mandant"), 3 * mandanten);
    EXPECT_EQ(Int(db, "SELECT count(*) FROM Kurs"), 3 * courses);
    EXPECT_GT(Int(db, "SELECT count(*) FROM Kursinstanz"), 3 * runs) << "runs copied for the extra registrations";
    EXPECT_EQ(Int(db, "SELECT count(*) FROM PersonKurs"), scale.registrations);

    // Every key a registration, run, group, device or right holds names a row of the same copy.
    const char* const kDangling[] = {
        "SELECT count(*) FROM PersonKurs pk WHERE NOT EXISTS (SELECT 1 FROM Person p WHERE p.lPersonID = pk.lPersonID)",
        "SELECT count(*) FROM PersonKurs pk WHERE lKursinstanzID <> -1 AND NOT EXISTS (SELECT 1 FROM Kursinstanz ki "
        "WHERE ki.lKursinstanzID = pk.lKursinstanzID AND ki.lKursID = pk.lKursID)",
        "SELECT count(*) FROM PersonKurs pk WHERE lKursinstanzGruppeID <> -1 AND NOT EXISTS (SELECT 1 FROM "
        "KursinstanzGruppe g WHERE g.lKursinstanzGruppeID = pk.lKursinstanzGruppeID AND g.lKursinstanzID = pk.lKursinstanzID)",
        "SELECT count(*) FROM Kursinstanz ki WHERE NOT EXISTS (SELECT 1 FROM Kurs k WHERE k.lKursID = ki.lKursID)",
        "SELECT count(*) FROM Kursinstanzdate d WHERE NOT EXISTS (SELECT 1 FROM Kursinstanz ki WHERE ki.lKursinstanzID = "
        "d.lKursinstanzID)",
        "SELECT count(*) FROM Person p WHERE NOT EXISTS (SELECT 1 FROM Mandant m WHERE m.lMandantID = p.lMandantID)",
        "SELECT count(*) FROM Person p WHERE lEMailP <> -1 AND NOT EXISTS (SELECT 1 FROM Device d WHERE d.lDeviceID = "
        "p.lEMailP AND d.lPersonID = p.lPersonID)",
        "SELECT count(*) FROM Devicenumber n WHERE NOT EXISTS (SELECT 1 FROM Device d WHERE d.lDeviceID = n.lDeviceID)",
        "SELECT count(*) FROM Contact c WHERE lPersonID <> -1 AND NOT EXISTS (SELECT 1 FROM Person p WHERE p.lPersonID = "
        "c.lPersonID)",
        "SELECT count(*) FROM SecKurs s WHERE (lKursID <> -1 AND NOT EXISTS (SELECT 1 FROM Kurs k WHERE k.lKursID = "
        "s.lKursID)) OR (lKursinstanzID <> -1 AND NOT EXISTS (SELECT 1 FROM Kursinstanz ki WHERE ki.lKursinstanzID = "
        "s.lKursinstanzID))",
        "SELECT count(*) FROM SecMandant s WHERE NOT EXISTS (SELECT 1 FROM Mandant m WHERE m.lMandantID = s.lMandantID)",
        "SELECT count(*) FROM Kursreservation r WHERE NOT EXISTS (SELECT 1 FROM Mandant m WHERE m.lMandantID = "
        "r.lMandantID) OR NOT EXISTS (SELECT 1 FROM Kurs k WHERE k.lKursID = r.lKursID)",
    };
    for (const char* sql : kDangling) EXPECT_EQ(Int(db, sql), 0) << sql;

    // A person no more often in one run than the generated data has it, and no GUID twice.
    EXPECT_EQ(Int(db, kMostInOneRun), mostInOneRun);
    for (const char* table : {"Person", "Mandant", "Kurs", "Kursinstanz", "PersonKurs", "Contact"})
        EXPECT_EQ(Int(db, std::string("SELECT count(*) - count(DISTINCT guid) FROM ") + table), 0) << table;

    // The keys drawn next lie above the copies.
    std::int64_t next = 0;
    ASSERT_EQ(qv::suite::DrawUniqueID(db, "PersonKurs", "lPersonKursID", &next, &error), SQLITE_OK) << error;
    EXPECT_GT(next, Int(db, "SELECT max(lPersonKursID) FROM PersonKurs"));

    // Progress for both steps, ending complete; and the planner knows the new sizes.
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.front().first, "persons");
    EXPECT_DOUBLE_EQ(reported.back().second, 1.0);
    EXPECT_TRUE(std::any_of(reported.begin(), reported.end(), [](const auto& r) { return r.first == "registrations"; }));
    EXPECT_GT(Int(db, "SELECT count(*) FROM sqlite_stat1 WHERE tbl = 'PersonKurs'"), 0);
}

TEST_F(DemoData, CantonSizeBelowTheDemoChangesNothing) {
    qv::sql::SqliteDb demo;
    Open(demo, "small.db");
    Generate(demo, 3);
    const std::uint64_t before = Digest(demo.Handle());
    qv::suite::DemoScale scale;
    scale.persons = 10;
    scale.registrations = 10;
    std::string error;
    ASSERT_EQ(qv::suite::ScaleDemoData(demo.Handle(), scale, &error), SQLITE_OK) << error;
    EXPECT_EQ(Digest(demo.Handle()), before);
}

// ---------------------------------------------------------------------------------------------
// The tool
// ---------------------------------------------------------------------------------------------

struct ToolRun {
    int exitCode = -1;
    std::string output;
};

// Runs qvdemodb; a file size limit makes its writes fail part-way as a full disk would.
ToolRun RunTool(const std::vector<std::string>& args, rlim_t fileSizeLimit = RLIM_INFINITY) {
    int pipeFd[2];
    if (pipe(pipeFd) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFd[1], 1);
        dup2(pipeFd[1], 2);
        close(pipeFd[0]);
        close(pipeFd[1]);
        if (fileSizeLimit != RLIM_INFINITY) {
            signal(SIGXFSZ, SIG_IGN);  // the write fails instead of ending the process
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv{const_cast<char*>(QV_DEMODB_TOOL)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(QV_DEMODB_TOOL, argv.data());
        _exit(127);
    }
    close(pipeFd[1]);
    ToolRun run;
    char buf[4096];
    ssize_t n;
    while ((n = read(pipeFd[0], buf, sizeof buf)) > 0) run.output.append(buf, std::size_t(n));
    close(pipeFd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

class DemoTool : public DemoData {
protected:
    std::uint64_t DigestOf(const std::string& path) {
        qv::sql::SqliteDb db;
        EXPECT_EQ(db.Open("sqlite:" + path), SQLITE_OK);
        return Digest(db.Handle());
    }
    // What the library writes for a seed, as the reference for the files the tool makes.
    std::uint64_t Expected(unsigned seed) {
        qv::sql::SqliteDb db;
        Open(db, "expected" + std::to_string(++made_) + ".db");
        Generate(db, seed);
        return Digest(db.Handle());
    }
    static std::vector<std::string> Files(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
        return names;
    }
    int made_ = 0;
};

TEST_F(DemoTool, BuildsAMissingFileWithItsFoldersAndReportsTheTime) {
    const std::string folder = dir_.file("data/qovaro");
    const std::string path = folder + "/nq2.sqlite";
    const ToolRun run = RunTool({"--db", path, "--seed", "3", "--year", std::to_string(kYear)});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("5000 registrations"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(" s (seed 3)"), std::string::npos) << run.output;
    EXPECT_EQ(Files(folder), std::vector<std::string>{"nq2.sqlite"});  // no temporary file, no log left
    EXPECT_EQ(DigestOf(path), Expected(3));
    // The file comes with the planner's statistics of its rows.
    qv::sql::SqliteDb db;
    ASSERT_EQ(db.Open("sqlite:" + path), SQLITE_OK);
    EXPECT_EQ(Column(db.Handle(), "SELECT DISTINCT tbl FROM sqlite_stat1 WHERE tbl = 'PersonKurs'"),
              std::vector<std::string>{"PersonKurs"});
}

TEST_F(DemoTool, RefusesToOverwriteDataUnlessForced) {
    const std::string path = dir_.file("kept.sqlite");
    ASSERT_EQ(RunTool({"--db", path, "--seed", "8", "--year", std::to_string(kYear)}).exitCode, 0);
    {
        qv::sql::SqliteDb db;
        ASSERT_EQ(db.Open("sqlite:" + path), SQLITE_OK);
        ASSERT_EQ(db.Exec("UPDATE Person SET strName = 'Geändert' WHERE lPersonID = 1001"), SQLITE_OK);
    }
    const std::uint64_t changed = DigestOf(path);
    const ToolRun refused = RunTool({"--db", path, "--seed", "8", "--year", std::to_string(kYear)});
    EXPECT_EQ(refused.exitCode, 3) << refused.output;
    EXPECT_NE(refused.output.find("already holds data"), std::string::npos) << refused.output;
    EXPECT_EQ(DigestOf(path), changed);

    // A file that is no database is not touched either.
    const std::string text = dir_.file("notes.txt");
    { std::FILE* f = std::fopen(text.c_str(), "w"); std::fputs("keine Datenbank\n", f); std::fclose(f); }
    EXPECT_EQ(RunTool({"--db", text}).exitCode, 3);
    EXPECT_EQ(fs::file_size(text), 16u);

    const ToolRun forced = RunTool({"--db", path, "--seed", "8", "--year", std::to_string(kYear), "--force"});
    ASSERT_EQ(forced.exitCode, 0) << forced.output;
    EXPECT_NE(forced.output.find("replaced"), std::string::npos) << forced.output;
    EXPECT_EQ(DigestOf(path), Expected(8));
}

TEST_F(DemoTool, FillsAnEmptyDatabaseWhereItIs) {
    const std::string path = dir_.file("empty.sqlite");
    {
        qv::sql::SqliteDb db;
        Open(db, "empty.sqlite");
    }
    const ToolRun run = RunTool({"--db", path, "--seed", "2", "--year", std::to_string(kYear)});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(DigestOf(path), Expected(2));

    // An empty file is no data either.
    const std::string zero = dir_.file("zero.sqlite");
    { std::FILE* f = std::fopen(zero.c_str(), "w"); std::fclose(f); }
    ASSERT_EQ(RunTool({"--db", zero, "--seed", "2", "--year", std::to_string(kYear)}).exitCode, 0);
    EXPECT_EQ(DigestOf(zero), Expected(2));
}

TEST_F(DemoTool, LeavesNoHalfMadeDatabaseWhenWritingFails) {
    // The schema fits under the limit, the data does not.
    const rlim_t limit = 1024 * 1024;
    const std::string folder = dir_.file("full");
    fs::create_directories(folder);
    const ToolRun run = RunTool({"--db", folder + "/new.sqlite", "--year", std::to_string(kYear)}, limit);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(Files(folder).empty()) << run.output;

    // An empty database that cannot be filled stays empty and usable.
    const std::string path = dir_.file("fresh.sqlite");
    {
        qv::sql::SqliteDb db;
        Open(db, "fresh.sqlite");
    }
    const std::uint64_t before = DigestOf(path);
    const ToolRun inPlace = RunTool({"--db", path, "--year", std::to_string(kYear)}, limit);
    EXPECT_EQ(inPlace.exitCode, 1) << inPlace.output;
    EXPECT_EQ(DigestOf(path), before);
}

// In the normal build the size is one whose largest statement (copying runs with their
// registrations) keeps about 13 MiB of undo copies inside the tool's transaction: far beyond
// what stays in memory, so they must go to a temporary file and come back. The sanitizer build
// takes a small size: the large one would take minutes there.
#if defined(__SANITIZE_ADDRESS__)
constexpr const char* kCantonPersons[] = {"5000", "6000 persons"};
constexpr const char* kCantonRegistrations[] = {"20000", "20000 registrations"};
#else
constexpr const char* kCantonPersons[] = {"20000", "20000 persons"};
constexpr const char* kCantonRegistrations[] = {"300000", "300000 registrations"};
#endif

TEST_F(DemoTool, BuildsACantonSizeDatabaseShowingItsProgress) {
    const std::string path = dir_.file("canton.sqlite");
    const ToolRun run = RunTool({"--db", path, "--year", std::to_string(kYear), "--persons", kCantonPersons[0],
                                 "--registrations", kCantonRegistrations[0]});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find(kCantonPersons[1]), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(kCantonRegistrations[1]), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("registrations  100%"), std::string::npos) << run.output;
    EXPECT_EQ(RunTool({"--db", dir_.file("x.sqlite"), "--persons", "viele"}).exitCode, 2);
    EXPECT_EQ(RunTool({"--db", dir_.file("x.sqlite"), "--registrations", "-5"}).exitCode, 2);
}

TEST_F(DemoTool, RejectsWrongArguments) {
    EXPECT_EQ(RunTool({}).exitCode, 2);
    EXPECT_EQ(RunTool({"--db", dir_.file("x.sqlite"), "--seed", "zwei"}).exitCode, 2);
    EXPECT_EQ(RunTool({"--db", dir_.file("x.sqlite"), "--year", "99"}).exitCode, 2);
    EXPECT_FALSE(fs::exists(dir_.file("x.sqlite")));
}

}  // namespace
