// The module's busiest statements on a database the size of a canton, told to the planner
// through its statistics: each finds its rows through the index meant for it, and none reads a
// whole table into a Bloom filter before its first row.
#include "suitedbtest.h"
#include "tsqlprogram.h"
#include "tsqlruntime.h"

#include <string>

namespace qvtest {
namespace {

class CantonPlanTest : public SuiteDb {
protected:
    void SetUp() override {
        SuiteDb::SetUp();
        // 100,000 persons, 1,000,000 registrations: most of them planned (-1) or without group.
        Sql("ANALYZE");
        Sql(R"sql(
DELETE FROM sqlite_stat1;
INSERT INTO sqlite_stat1 (tbl, idx, stat) VALUES
  ('PersonKurs', NULL, '1000000'),
  ('PersonKurs', 'PersonKurs_Person', '1000000 10 2'),
  ('PersonKurs', 'PersonKurs_Kurs', '1000000 500 250'),
  ('PersonKurs', 'PersonKurs_Kursinstanz', '1000000 250 200'),
  ('PersonKurs', 'PersonKurs_Gruppe', '1000000 500000'),
  ('PersonKurs', 'PersonKurs_Timestamp', '1000000 20 20 20'),
  ('Person', NULL, '100000'),
  ('Person', 'Person_Mandant', '100000 700'),
  ('Person', 'Person_Name', '100000 100 2'),
  ('Contact', 'Contact_Person', '100000 1'),
  ('Contact', 'Contact_Guid', '100000 1'),
  ('Kursinstanz', 'Kursinstanz_Kurs', '37500 20 1'),
  ('Kursinstanz', 'Kursinstanz_Guid', '37500 1'),
  ('Kursinstanz', 'Kursinstanz_Open', '3750 2'),
  ('Kursinstanz', 'Kursinstanz_Closed', '33750 3 2 2'),
  ('Kursinstanz', 'Kursinstanz_Publish', '37500 20'),
  ('Kurs', NULL, '2000'),
  ('SecKurs', 'SecKurs_Object', '40000 20 1 1'),
  ('SecKurs', 'SecKurs_Kursinstanz', '40000 2 1'),
  ('SecKurs', 'SecKurs_User', '40000 20000 1'),
  ('Devicenumber', 'Devicenumber_Device', '20000 1 1');
ANALYZE sqlite_schema;
)sql");
    }

    static std::string Plan(sqlite3* h, const std::string& tsql) {
        const auto program = qv::tsql::Translate(tsql);
        std::string plan;
        for (const qv::tsql::Step& step : program->steps) {
            sqlite3_stmt* st = nullptr;
            EXPECT_EQ(sqlite3_prepare_v2(h, ("EXPLAIN QUERY PLAN " + step.sql).c_str(), -1, &st, nullptr), SQLITE_OK)
                << sqlite3_errmsg(h) << "\n" << step.sql;
            while (st && sqlite3_step(st) == SQLITE_ROW) plan += std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 3))) + "\n";
            sqlite3_finalize(st);
        }
        return plan;
    }
};

TEST_F(CantonPlanTest, EachStatementUsesTheIndexMeantForIt) {
    const struct {
        const char* what;
        const char* tsql;
        const char* uses;
    } kCases[] = {
        {"groups page: bookings of a run without a group",
         "SELECT Person.lPersonID, PersonKurs.lStatus FROM Person JOIN PersonKurs ON Person.lPersonID = "
         "PersonKurs.lPersonID WHERE PersonKurs.lKursinstanzID = 5 AND PersonKurs.lKursinstanzGruppeID = -1",
         "PersonKurs_Kursinstanz (lKursinstanzID=? AND lKursinstanzGruppeID=?)"},
        {"planning list: planned registrations of a course",
         "SELECT lPersonKursID FROM PersonKurs WHERE PersonKurs.fTeilnehmer = 1 AND PersonKurs.lKursinstanzID = -1 "
         "AND PersonKurs.lKursID = 1",
         "PersonKurs_Kurs (lKursID=? AND lKursinstanzID=?)"},
        {"registration editor: the user's right on a course",
         "SELECT secK.lRight FROM SecKurs secK WHERE secK.lKursID = 1 AND secK.lQvSecUserID = 1", "lKursID=?"},
        {"the user's course-leader role",
         "SELECT TOP 1 Person.lPersonID, Kursleitung.lKursleitungID FROM Person JOIN PersonFunktion ON "
         "Person.lPersonID = PersonFunktion.lPersonID JOIN Kursleitung ON PersonFunktion.lFunktionID = "
         "Kursleitung.lFunktionID JOIN Contact ON Contact.lPersonID = Person.lPersonID JOIN QvSecUser ON "
         "Contact.guid = QvSecUser.strUserID WHERE lQvSecUserID = 1 AND PersonFunktion.fActive = 1 ORDER BY "
         "fHauptFunktion desc",
         "Contact_Guid (guid=?)"},
        {"export pending",
         "SELECT CASE WHEN EXISTS (SELECT 1 FROM PersonKurs JOIN Kurs ON PersonKurs.lKursID = Kurs.lKursID WHERE "
         "PersonKurs.dtTimestamp > (SELECT isnull(max(dtTime), '1899-12-30 00:00:00') FROM UserLog WHERE strModul = "
         "'System.ImportExport' AND lCode = 8) AND PersonKurs.lKursinstanzID <> -1 AND Kurs.lTyp IN (1, 2)) OR EXISTS "
         "(SELECT 1 FROM DeletedRow WHERE DeletedRow.dtTimestamp > '1899-12-30 00:00:00' AND DeletedRow.lTableID = "
         "23) THEN 1 ELSE 0 END AS fPending",
         "COVERING INDEX PersonKurs_Timestamp (dtTimestamp>?)"},
        {"automatic closing: open runs past their window",
         "SELECT lKursinstanzID, fGeschlossen, guid FROM Kursinstanz WHERE fGeschlossen = 0 AND dtAnmeldenBis < "
         "getdate() AND dtAnmeldenBis <> '1899-12-30 00:00:00'",
         "Kursinstanz_Open (dtAnmeldenBis<?)"},
        {"automatic opening: closed runs whose window runs",
         "UPDATE Kursinstanz SET fGeschlossen = 0, dtTimestamp = getdate() WHERE fGeschlossen = 1 AND dtAbgesagt = "
         "'1899-12-30 00:00:00' AND "
         "dtAnmeldenVon <> '1899-12-30 00:00:00' AND dtAnmeldenVon < getdate() AND CASE WHEN dtAnmeldenBis = "
         "'1899-12-30 00:00:00' THEN dtDatum ELSE dtAnmeldenBis END > getdate() ",
         "Kursinstanz_Closed (<expr>>?)"},
        {"automatic opening, local installation",
         "UPDATE Kursinstanz SET fGeschlossen = 0, dtTimestamp = getdate() WHERE fGeschlossen = 1 AND dtAbgesagt = "
         "'1899-12-30 00:00:00' AND "
         "dtAnmeldenVon <> '1899-12-30 00:00:00' AND dtAnmeldenVon < getdate() AND CASE WHEN dtAnmeldenBis = "
         "'1899-12-30 00:00:00' THEN dtDatum ELSE dtAnmeldenBis END > getdate() AND EXISTS (SELECT 1 FROM Kurs WHERE "
         "Kurs.lKursID = Kursinstanz.lKursID AND Kurs.lTyp = 3) ",
         "Kursinstanz_Closed (<expr>>?)"},
        {"automatic closing, local installation",
         "SELECT lKursinstanzID, fGeschlossen, guid FROM Kursinstanz WHERE fGeschlossen = 0 AND dtAnmeldenBis < "
         "getdate() AND dtAnmeldenBis <> '1899-12-30 00:00:00' AND EXISTS (SELECT 1 FROM Kurs WHERE Kurs.lKursID = "
         "Kursinstanz.lKursID AND Kurs.lTyp = 3) ",
         "Kursinstanz_Open (dtAnmeldenBis<?)"},
        {"daily touch of the runs published today",
         "UPDATE Kursinstanz SET dtPublish = dtPublish WHERE dtPublish = dateadd(dd, datediff(dd, 0, GETDATE()), 0) AND "
         "dtTimestamp < dateadd(dd, datediff(dd, 0, GETDATE()), 0)",
         "Kursinstanz_Publish (dtPublish=?)"},
    };
    for (const auto& c : kCases) {
        const std::string plan = Plan(db(), c.tsql);
        EXPECT_NE(plan.find(c.uses), std::string::npos) << c.what << ":\n" << plan;
    }
}

TEST_F(CantonPlanTest, SearchesBuildNoBloomFilterBeforeTheirFirstRow) {
    const std::string search =
        "SELECT p.lPersonID, d1.strNr, d2.strNr FROM Person p "
        "LEFT OUTER JOIN Devicenumber d1 ON p.lTelefonP = d1.lDeviceID AND d1.lTyp = 0 "
        "LEFT OUTER JOIN Devicenumber d2 ON p.lMobilP = d2.lDeviceID AND d2.lTyp = 0 WHERE p.fActive = 1";
    // A plain connection to the same file would build them: the statistics call for it.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path().c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    ASSERT_EQ(qv::sql::RegisterTsqlRuntime(raw), SQLITE_OK);
    EXPECT_NE(Plan(raw, search).find("BLOOM FILTER"), std::string::npos);
    sqlite3_close(raw);
    EXPECT_EQ(Plan(db(), search).find("BLOOM FILTER"), std::string::npos) << Plan(db(), search);
}

}  // namespace
}  // namespace qvtest
