// The suite database's own behaviour: schema creation, defaults, row time stamps, what deleting
// does to the rows that refer to the deleted one, the display views and the database functions.
#include "suitedbtest.h"

#include <ctime>
#include <regex>

namespace qvtest {
namespace {

const char* kZero = "1899-12-30 00:00:00";

bool IsGuid(const std::string& s) {
    static const std::regex re("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
    return std::regex_match(s, re);
}

// The local time as the database writes it.
std::string Now() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

// ---- schema creation ------------------------------------------------------------------------

using SchemaTest = SuiteDb;

TEST_F(SchemaTest, CreatingAgainKeepsTheDatabaseAndItsRows) {
    Sql("INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'Grundkurs')");
    std::string error;
    EXPECT_EQ(CreateSchemaAgain(&error), 0) << error;
    EXPECT_EQ(SchemaVersionNow(), qv::suite::kSchemaVersion);
    EXPECT_EQ(Table("SELECT strBezeichnung FROM Kurs"), Rows({"Grundkurs"}));
}

TEST_F(SchemaTest, AnotherVersionIsRefused) {
    Sql("UPDATE System SET lSchemaVersion = 99");
    std::string error;
    EXPECT_NE(CreateSchemaAgain(&error), 0);
    EXPECT_NE(error.find("99"), std::string::npos) << error;
}

TEST_F(SchemaTest, AFailedCreationLeavesNothingBehind) {
    SQLITE_ONLY("a second database file; on PostgreSQL SuiteDbPg covers the refused schema");
    qv::sql::SqliteDb other;
    ASSERT_EQ(other.Open("sqlite:" + dir_.file("other.db")), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other.Handle(), "CREATE TABLE Kurs (x)", nullptr, nullptr, nullptr), SQLITE_OK);
    std::string error;
    EXPECT_NE(qv::suite::CreateSchema(other.Handle(), &error), SQLITE_OK);
    EXPECT_NE(error.find("Kurs"), std::string::npos) << error;
    EXPECT_EQ(qv::suite::SchemaVersion(other.Handle()), 0);
    EXPECT_TRUE(sqlite3_get_autocommit(other.Handle()));
}

TEST_F(SchemaTest, InsideTheCallersTransactionItGoesWithIt) {
    SQLITE_ONLY("a second database file; on PostgreSQL SuiteDbPg covers the caller's transaction");
    qv::sql::SqliteDb other;
    ASSERT_EQ(other.Open("sqlite:" + dir_.file("other.db")), SQLITE_OK);
    ASSERT_EQ(other.Begin(), SQLITE_OK);
    std::string error;
    ASSERT_EQ(qv::suite::CreateSchema(other.Handle(), &error), SQLITE_OK) << error;
    EXPECT_EQ(qv::suite::SchemaVersion(other.Handle()), qv::suite::kSchemaVersion);
    ASSERT_EQ(other.Rollback(), SQLITE_OK);
    EXPECT_EQ(qv::suite::SchemaVersion(other.Handle()), 0);
}

// "SELECT TOP 2 @@TRANCOUNT MyValue FROM System" needs exactly one row; the settings are read and
// written without WHERE.
TEST_F(SchemaTest, OneRowTablesKeepTheirOneRow) {
    EXPECT_EQ(Value("SELECT count(*) FROM System"), "1");
    EXPECT_NE(SqlError("DELETE FROM System"), "");
    EXPECT_NE(SqlError("INSERT INTO System (lSystemID, lSchemaVersion) VALUES (2, 1)"), "");
    EXPECT_EQ(Value("SELECT count(*) FROM System"), "1");
    EXPECT_NE(SqlError("DELETE FROM DataExchange"), "");
    EXPECT_EQ(Tsql("SELECT TOP 2 @@TRANCOUNT MyValue FROM System"), Rows({"0"}));
    Tsql("UPDATE DataExchange SET lDefaultPersonKursStatus = 7");
    EXPECT_EQ(Tsql("SELECT TOP 2 lDefaultPersonKursStatus MyValue FROM DataExchange"), Rows({"7"}));
}

// Every table with a time stamp renews it on update, and every table with a GUID fills it in.
TEST_F(SchemaTest, EveryTimeStampAndGuidColumnIsKept) {
    // The tables with the column, and an update that changes nothing.
#ifdef QV_TEST_PG
    auto tablesWith = [&](const char* column) {
        return Table(std::string("SELECT c.table_name FROM information_schema.columns c JOIN information_schema.tables t "
                                 "USING (table_schema, table_name) WHERE c.table_schema = 'public' AND t.table_type = "
                                 "'BASE TABLE' AND c.column_name = '") + column + "' AND c.table_name <> 'deletedrow'");
    };
    auto touch = [&](const std::string& table) {
        const std::string key = Value("SELECT column_name FROM information_schema.columns WHERE table_schema = 'public' "
                                      "AND table_name = '" + table + "' AND ordinal_position = 1");
        return "UPDATE " + table + " SET " + key + " = " + key;
    };
#else
    auto tablesWith = [&](const char* column) {
        return Table(std::string("SELECT m.name FROM sqlite_master m JOIN pragma_table_info(m.name) c "
                                 "WHERE m.type = 'table' AND c.name = '") + column + "' AND m.name <> 'DeletedRow'");
    };
    auto touch = [](const std::string& table) { return "UPDATE " + table + " SET rowid = rowid"; };
#endif
    const Rows stamped = tablesWith(OnPg() ? "dttimestamp" : "dtTimestamp");
    EXPECT_GE(stamped.size(), 8u);
    for (const std::string& table : stamped) {
        Sql("INSERT INTO " + table + " DEFAULT VALUES");
        Sql("UPDATE " + table + " SET dtTimestamp = '2000-01-01 00:00:00'");
        const std::string before = Now();
        Sql(touch(table));
        EXPECT_GE(Value("SELECT dtTimestamp FROM " + table), before) << table;
    }
    const Rows guids = tablesWith("guid");
    EXPECT_GE(guids.size(), 20u);
    for (const std::string& table : guids) {
        Sql("INSERT INTO " + table + " DEFAULT VALUES");
        const std::string guid = Value("SELECT guid FROM " + table + " LIMIT 1");
        EXPECT_TRUE(IsGuid(guid)) << table << ": " << guid;
    }
}

// ---- defaults -------------------------------------------------------------------------------

using DefaultsTest = SuiteDb;

TEST_F(DefaultsTest, NewRowsGetUpperCaseGuidsOfTheirOwn) {
    Tsql("INSERT INTO Kurs (lKursID, lTyp, fActive, strKurzbezeichnung, strBezeichnung, strBemerkung) "
         "VALUES (1, 3, 1, '', '', '')");
    Tsql("INSERT INTO Kurs (lKursID, lTyp, fActive, strKurzbezeichnung, strBezeichnung, strBemerkung) "
         "VALUES (2, 3, 1, '', '', '')");
    const std::string a = Value("SELECT guid FROM Kurs WHERE lKursID = 1");
    const std::string b = Value("SELECT guid FROM Kurs WHERE lKursID = 2");
    EXPECT_TRUE(IsGuid(a)) << a;
    EXPECT_TRUE(IsGuid(b)) << b;
    EXPECT_NE(a, b);
    // An explicit NULL gets one too; a given GUID is kept and found in any case.
    Sql("INSERT INTO PersonKurs (lPersonKursID, guid) VALUES (1, NULL), (2, '6F9619FF-8B86-D011-B42D-00C04FC964FF')");
    EXPECT_TRUE(IsGuid(Value("SELECT guid FROM PersonKurs WHERE lPersonKursID = 1")));
    EXPECT_EQ(Value("SELECT lPersonKursID FROM PersonKurs WHERE guid = '6f9619ff-8b86-d011-b42d-00c04fc964ff'"), "2");
}

// Text is never NULL (a NULL in a searched concatenation would hide the record) and an unset date
// is the empty date the statements compare with.
TEST_F(DefaultsTest, NullBecomesTheColumnsDefault) {
    Sql("INSERT INTO Kursinstanz (lKursinstanzID, lKursID, strOrt, dtAbgesagt, dtAnmeldenVon) VALUES (1, 1, NULL, NULL, NULL)");
    EXPECT_EQ(Value("SELECT strOrt || '|' || dtAbgesagt || '|' || dtAnmeldenVon || '|' || dtAnmeldenBis || '|' || "
                    "dtPublish || '|' || fGeschlossen || '|' || lOrtID FROM Kursinstanz"),
              std::string("|") + kZero + "|" + kZero + "|" + kZero + "|" + kZero + "|1|0");
    Sql("UPDATE Kursinstanz SET strBemerkung = NULL, dtAbgesagt = NULL WHERE lKursinstanzID = 1");
    EXPECT_EQ(Value("SELECT strBemerkung || '|' || dtAbgesagt FROM Kursinstanz"), std::string("|") + kZero);
}

TEST_F(DefaultsTest, RowsWrittenWithoutTheseColumnsGetWhatTheReadersExpect) {
    Tsql("INSERT INTO Kursnotification (lKursnotificationID, lMandantID) VALUES (1, 1)");
    const Rows n = Tsql("SELECT lPersonID, dtSent, CASE WHEN dtCreate >= DATEADD(minute, -1, GETDATE()) THEN 1 ELSE 0 END "
                        "FROM Kursnotification");
    EXPECT_EQ(n, Rows({std::string("-1|") + kZero + "|1"}));
    // The open notification is found by the empty date.
    EXPECT_EQ(Tsql("SELECT 1 FROM Kursnotification WHERE dtSent = '1899-12-30 00:00:00'"), Rows({"1"}));
    Tsql("INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, lEinsatzGruppeID, strBezeichnung, "
         "lMaxTeilnehmer) VALUES (1, 1, -1, 'Gruppe A', 10)");
    EXPECT_EQ(Value("SELECT lKursID FROM KursinstanzGruppe"), "-1");  // a run group is no template row
    Tsql("INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, lKursinstanzID, lKursinstanzGruppeID, "
         "lAbsenzgrundID, lKursleitungID, fTeilnehmer, lStatus, dtDatum, dtAnmeldung, strBemerkung, changedBy, "
         "fEntschuldigt, guid) VALUES (1, 1, 1, 1, -1, -1, -1, 1, 0, '2031-06-15 00:00:00', '2031-06-15 00:00:00', "
         "'', dbo.fn_GetSystemID(), 0, '6F9619FF-8B86-D011-B42D-00C04FC964FF')");
    EXPECT_EQ(Tsql("SELECT fLeiter, fLinked, strGrundNichtBestanden, dblInstanzDauer FROM PersonKurs"), Rows({"0|0||0"}));
}

// A record lock is taken only on a row whose lock column is empty (or already the taker's), so a
// new row must start with an empty text, not NULL.
TEST_F(DefaultsTest, NewRecordsCanBeLocked) {
    Sql("INSERT INTO Kurs (lKursID) VALUES (1)");
    const char* take = "UPDATE Kurs SET strLock = convert(char(19),getdate(),20) + '%s' WHERE (lKursID = 1) "
                       "AND (strLock = '' OR strLock like '%%%s')";
    auto Take = [&](const std::string& owner) {
        char sql[512];
        std::snprintf(sql, sizeof sql, take, owner.c_str(), owner.c_str());
        return Affected(sql);
    };
    EXPECT_EQ(Take("|WS07|user1"), 1);
    EXPECT_EQ(Take("|WS08|user2"), 0);  // someone else holds it
    EXPECT_EQ(Take("|WS07|user1"), 1);  // the holder renews it
    EXPECT_NE(Value("SELECT strLock FROM Kurs").find("|WS07|user1"), std::string::npos);
}

// ---- time stamps ----------------------------------------------------------------------------

using TimestampTest = SuiteDb;

TEST_F(TimestampTest, EveryUpdateRenewsTheRowsTimeStampEvenWithoutChange) {
    Sql("INSERT INTO Kursinstanz (lKursinstanzID, lKursID, dtPublish, dtTimestamp) VALUES "
        "(1, 1, '2031-06-15 00:00:00', '2000-01-01 00:00:00'), (2, 1, '2031-06-15 00:00:00', '2000-01-01 00:00:00')");
    const std::string before = Now();
    Tsql("UPDATE Kursinstanz SET dtPublish = dtPublish WHERE lKursinstanzID = 1");
    EXPECT_GE(Value("SELECT dtTimestamp FROM Kursinstanz WHERE lKursinstanzID = 1"), before);
    EXPECT_EQ(Value("SELECT dtTimestamp FROM Kursinstanz WHERE lKursinstanzID = 2"), "2000-01-01 00:00:00");
}

TEST_F(TimestampTest, AStatementThatSetsTheTimeStampKeepsItsValue) {
    Sql("INSERT INTO PersonKurs (lPersonKursID) VALUES (1)");
    Sql("UPDATE PersonKurs SET lStatus = 3, dtTimestamp = '2001-02-03 04:05:06'");
    EXPECT_EQ(Value("SELECT lStatus || '|' || dtTimestamp FROM PersonKurs"), "3|2001-02-03 04:05:06");
}

TEST_F(TimestampTest, RecursiveTriggersDoNotLoop) {
    SQLITE_ONLY("SQLite's recursive_triggers setting");
    Sql("PRAGMA recursive_triggers = ON");
    Sql("INSERT INTO PersonKurs (lPersonKursID, dtTimestamp) VALUES (1, '2000-01-01 00:00:00')");
    const std::string before = Now();
    EXPECT_EQ(SqlError("UPDATE PersonKurs SET lStatus = lStatus"), "");
    EXPECT_GE(Value("SELECT dtTimestamp FROM PersonKurs"), before);
}

// ---- deleting -------------------------------------------------------------------------------

class DeleteTest : public SuiteDb {
protected:
    // Course 1 with runs 1 and 2; in run 1 a participant in group 1, the leader and a participant
    // who has dates, a group, a rights row, a remark, an activity and a custom value around it.
    void SetUp() override {
        SuiteDb::SetUp();
        Sql(R"sql(
INSERT INTO Kurs (lKursID, strKurzbezeichnung, strBezeichnung) VALUES (1, 'GK', 'Grundkurs'), (2, 'AS', 'Atemschutz');
INSERT INTO Kursinstanz (lKursinstanzID, lKursID, dtDatum) VALUES (1, 1, '2031-06-15 00:00:00'), (2, 1, '2031-09-15 00:00:00');
INSERT INTO Kursinstanzdate (lKursinstanzdateID, lKursinstanzID, dtStart) VALUES (1, 1, '2031-06-15 08:00:00'), (2, 2, '2031-09-15 08:00:00');
INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, strBezeichnung) VALUES (1, 1, 'A'), (2, 2, 'A');
INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursID, strBezeichnung) VALUES (3, 1, 'Vorlage');
INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, lKursinstanzID, lKursinstanzGruppeID, fTeilnehmer, fLeiter, lStatus, dtDatum, guid)
    VALUES (1, 1, 1, 1, 1, 1, 0, 1, '2031-06-15 00:00:00', '11111111-1111-4111-8111-111111111111'),
           (2, 2, 1, 1, -1, 0, 1, 0, '2031-06-15 00:00:00', '22222222-2222-4222-8222-222222222222'),
           (3, 3, 1, 2, 2, 1, 0, 7, '2031-09-15 00:00:00', '33333333-3333-4333-8333-333333333333');
INSERT INTO SecKurs (lSecKursID, lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (1, 1, -1, 1, 256), (2, -1, 1, 1, 256), (3, -1, 2, 1, 256);
INSERT INTO Kursbemerkung (lKursbemerkungID, lKursinstanzID, strBemerkungIntern) VALUES (1, 1, 'intern'), (2, 2, 'intern');
INSERT INTO Kursbemerkung (lKursbemerkungID, lKursID, strBemerkungIntern) VALUES (3, 1, 'Kurs');
INSERT INTO Einsatz (lEinsatzID) VALUES (1);
INSERT INTO KursinstanzEinsatz (lKursinstanzEinsatzID, lKursinstanzID, lEinsatzID) VALUES (1, 1, 1);
INSERT INTO CustFieldType (lCFTypeID, lTableID) VALUES (1, 42), (2, 4);
INSERT INTO CustFieldValue (lCFTypeID, lID, strValue) VALUES (1, 1, 'run'), (2, 1, 'person'), (1, 2, 'other run');
)sql");
    }
};

// The data exchange learns of deleted registrations through DeletedRow.
TEST_F(DeleteTest, DeletedRegistrationsAreRecordedForTheExport) {
    const std::string before = Now();
    Tsql("DELETE PersonKurs WHERE lPersonKursID = 1");
    EXPECT_EQ(Table("SELECT lTableID, lID, guid FROM DeletedRow"),
              Rows({"23|1|11111111-1111-4111-8111-111111111111"}));
    EXPECT_GE(Value("SELECT dtTimestamp FROM DeletedRow"), before);
    // The export's pending check sees it.
    Sql("INSERT INTO UserLog (dtTime, strModul, lCode) VALUES ('2001-01-01 00:00:00', 'System.ImportExport', 8)");
    EXPECT_EQ(Tsql("SELECT isnull(max(1), 0) AS fPending FROM DeletedRow WHERE DeletedRow.dtTimestamp > "
                   "(SELECT isnull(max(dtTime), '1899-12-30 00:00:00') FROM UserLog WHERE strModul = "
                   "'System.ImportExport' AND lCode = 8) AND DeletedRow.lTableID = 23"),
              Rows({"1"}));
}

// A deleted run's registrations fall back to "no run" with course, year and status kept; what
// belonged to the run alone goes; the other run keeps everything.
TEST_F(DeleteTest, DeletingARunKeepsItsRegistrationsWithoutRun) {
    Tsql("DELETE Kursinstanz WHERE lKursinstanzID = 1");
    EXPECT_EQ(Table("SELECT lPersonKursID, lKursID, lKursinstanzID, lKursinstanzGruppeID, fLeiter, lStatus, dtDatum "
                    "FROM PersonKurs ORDER BY lPersonKursID"),
              Rows({"1|1|-1|-1|0|1|2031-06-15 00:00:00", "2|1|-1|-1|0|0|2031-06-15 00:00:00",
                    "3|1|2|2|0|7|2031-09-15 00:00:00"}));
    EXPECT_EQ(Table("SELECT lKursinstanzdateID FROM Kursinstanzdate"), Rows({"2"}));
    EXPECT_EQ(Table("SELECT lKursinstanzGruppeID FROM KursinstanzGruppe ORDER BY 1"), Rows({"2", "3"}));
    EXPECT_EQ(Table("SELECT lSecKursID FROM SecKurs ORDER BY 1"), Rows({"1", "3"}));
    EXPECT_EQ(Table("SELECT lKursbemerkungID FROM Kursbemerkung ORDER BY 1"), Rows({"2", "3"}));
    EXPECT_EQ(Value("SELECT count(*) FROM KursinstanzEinsatz"), "0");
    EXPECT_EQ(Value("SELECT count(*) FROM Einsatz"), "1");  // the activity is a record of its own
    EXPECT_EQ(Table("SELECT strValue FROM CustFieldValue ORDER BY 1"), Rows({"other run", "person"}));
    EXPECT_EQ(Value("SELECT count(*) FROM DeletedRow"), "0");  // no registration was deleted
}

TEST_F(DeleteTest, ACourseWithRunsIsRefusedAndKept) {
    const std::string error = TsqlError("DELETE Kurs WHERE lKursID = 1");
    EXPECT_NE(error.find("Austragungen"), std::string::npos) << error;
    EXPECT_EQ(Value("SELECT count(*) FROM Kurs WHERE lKursID = 1"), "1");
    EXPECT_EQ(Value("SELECT count(*) FROM SecKurs"), "3");
}

TEST_F(DeleteTest, ACourseWithRegistrationsIsRefused) {
    Sql("DELETE FROM Kursinstanz");  // registrations stay without run
    const std::string error = TsqlError("DELETE Kurs WHERE lKursID = 1");
    EXPECT_NE(error.find("angemeldet"), std::string::npos) << error;
    EXPECT_EQ(Value("SELECT count(*) FROM Kurs WHERE lKursID = 1"), "1");
}

TEST_F(DeleteTest, ACourseOthersRequireIsRefused) {
    Sql("INSERT INTO Kursprecondition (lKurspreconditionID, lKursID) VALUES (1, 1);"
        "INSERT INTO KurspreconditionItem (lKurspreconditionItemID, lKurspreconditionID, lKursID) VALUES (1, 1, 2)");
    const std::string error = TsqlError("DELETE Kurs WHERE lKursID = 2");
    EXPECT_NE(error.find("Voraussetzung"), std::string::npos) << error;
}

TEST_F(DeleteTest, ACourseWithoutRunsOrRegistrationsGoesWithWhatIsOnlyItsOwn) {
    Sql(R"sql(
INSERT INTO Kurs (lKursID) VALUES (3);
INSERT INTO SecKurs (lSecKursID, lKursID, lKursinstanzID, lQvSecUserID) VALUES (10, 3, -1, 1);
INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursID, strBezeichnung) VALUES (10, 3, 'Vorlage');
INSERT INTO Kursbemerkung (lKursbemerkungID, lKursID, strBemerkungIntern) VALUES (10, 3, 'x');
INSERT INTO Kursprecondition (lKurspreconditionID, lKursID) VALUES (10, 3);
INSERT INTO KurspreconditionItem (lKurspreconditionItemID, lKurspreconditionID, lKursID) VALUES (10, 10, 2), (11, 10, 3);
INSERT INTO Kursreservation (lKursreservationID, lMandantID, lKursID, lYear) VALUES (10, 1, 3, 2031), (11, 1, 1, 2031);
INSERT INTO MaxTeilnehmer (lMaxTeilnehmerID, lKursID, lMandantID) VALUES (10, 3, 1);
INSERT INTO CustFieldType (lCFTypeID, lTableID) VALUES (3, 39);
INSERT INTO CustFieldValue (lCFTypeID, lID, strValue) VALUES (3, 3, 'x');
)sql");
    EXPECT_EQ(TsqlError("DELETE Kurs WHERE lKursID = 3"), "");
    EXPECT_EQ(Value("SELECT count(*) FROM SecKurs WHERE lKursID = 3"), "0");
    EXPECT_EQ(Value("SELECT count(*) FROM KursinstanzGruppe WHERE lKursID = 3"), "0");
    EXPECT_EQ(Value("SELECT count(*) FROM Kursbemerkung WHERE lKursID = 3"), "0");
    EXPECT_EQ(Value("SELECT count(*) FROM Kursprecondition"), "0");
    EXPECT_EQ(Value("SELECT count(*) FROM KurspreconditionItem"), "0");
    EXPECT_EQ(Table("SELECT lKursreservationID FROM Kursreservation"), Rows({"11"}));
    EXPECT_EQ(Value("SELECT count(*) FROM MaxTeilnehmer"), "0");
    EXPECT_EQ(Value("SELECT count(*) FROM CustFieldValue WHERE lCFTypeID = 3"), "0");
    EXPECT_EQ(Value("SELECT count(*) FROM Kurs"), "2");
}

// Members of a deleted group become unassigned, so that they show in the page's list again.
TEST_F(DeleteTest, DeletingAGroupFreesItsMembers) {
    Tsql("DELETE KursinstanzGruppe WHERE lKursinstanzGruppeID = 1");
    EXPECT_EQ(Table("SELECT lPersonKursID, lKursinstanzGruppeID FROM PersonKurs ORDER BY 1"),
              Rows({"1|-1", "2|-1", "3|2"}));
}

TEST_F(DeleteTest, DeletingANotificationOrTemplateTakesItsItemsAndLabels) {
    Sql(R"sql(
INSERT INTO Kursnotification (lKursnotificationID, lMandantID) VALUES (1, 1), (2, 1);
INSERT INTO KursnotificationItem (lKursnotificationItemID, lKursnotificationID) VALUES (1, 1), (2, 1), (3, 2);
INSERT INTO KursnotificationMailtemplate (lKursnotificationMailtemplateID, strName) VALUES (1, 'A'), (2, 'B');
INSERT INTO QvLabel (lQvLabelID, lFkID, strName, strLabel) VALUES
    (1, 1, 'KursnotificationMailtemplate_Subject', 's'), (2, 1, 'KursnotificationMailtemplate_Footer', 'f'),
    (3, 2, 'KursnotificationMailtemplate_Subject', 's'), (4, 1, 'Artikeltyp', 'keep');
)sql");
    Tsql("Delete Kursnotification WHERE lKursnotificationID = 1");
    EXPECT_EQ(Table("SELECT lKursnotificationItemID FROM KursnotificationItem"), Rows({"3"}));
    Tsql("Delete KursnotificationMailtemplate WHERE lKursnotificationMailtemplateID = 1");
    EXPECT_EQ(Table("SELECT lQvLabelID FROM QvLabel WHERE lQvLabelID > 0 ORDER BY 1"), Rows({"3", "4"}));
}

// ---- views ----------------------------------------------------------------------------------

class ViewTest : public SuiteDb {
protected:
    void SetUp() override {
        SuiteDb::SetUp();
        Sql(R"sql(
INSERT INTO Gemeinde (lGemeindeID, strBezeichnung, strKanton) VALUES (1, 'Winterthur', 'ZH');
INSERT INTO Ort (lOrtID, strPLZ, strOrt, strZusatz, lGemeindeID) VALUES (1, '8400', 'Winterthur', 'Seen', 1);
INSERT INTO Mandant (lMandantID, strMandantName, lOrtID) VALUES (1, 'Feuerwehr Winterthur', 1);
INSERT INTO Person (lPersonID, lMandantID, strName, strVorname, lOrtID) VALUES (1, 1, 'Muster', 'Hans', 1), (2, 1, 'Meier', 'Anna', 0);
INSERT INTO Kurs (lKursID, strKurzbezeichnung, strBezeichnung) VALUES (1, 'GK', 'Grundkurs'), (2, '', 'Atemschutz');
INSERT INTO Kursinstanz (lKursinstanzID, lKursID, dtDatum, strBezeichnung, strOrt, strAdresse, lOrtID)
    VALUES (1, 1, '2031-06-15 00:00:00', 'GK, Grundkurs', 'Depot', 'Hauptstrasse 1
Hof', 1),
           (2, 2, '2031-09-01 00:00:00', '', '', '', 0);
)sql");
    }
};

TEST_F(ViewTest, PlacesAreShownWithPostcodeAdditionAndTheirCantonApart) {
    EXPECT_EQ(Table("SELECT strPLZOrt, strPLZOrtEx, strGemeinde, strKanton FROM view_Ort WHERE lOrtID = 1"),
              Rows({"8400 Winterthur|8400 Winterthur Seen|Winterthur|ZH"}));
    EXPECT_EQ(Table("SELECT strPLZOrt FROM view_Mandant"), Rows({"8400 Winterthur"}));
    EXPECT_EQ(Table("SELECT strPerson, strPLZOrt FROM view_PersonSmall ORDER BY lPersonID"),
              Rows({"Muster Hans|8400 Winterthur", "Meier Anna|"}));
}

TEST_F(ViewTest, DisplayNamesByTable) {
    EXPECT_EQ(Table("SELECT lTableID, lID, strMode, strBezeichnung FROM view_CacheBezeichnung ORDER BY lTableID, lID"),
              Rows({"4|1|A|Muster Hans, Winterthur", "4|2|A|Meier Anna", "39|1||GK, Grundkurs", "39|2||Atemschutz",
                    "42|1||GK, Grundkurs (15.06.2031)", "42|2||Atemschutz (01.09.2031)", "45|1||Feuerwehr Winterthur"}));
}

// The display names follow every change of what they are made of.
TEST_F(ViewTest, DisplayNamesFollowTheirRecords) {
    Sql("UPDATE Ort SET strOrt = 'Winti' WHERE lOrtID = 1");
    Sql("UPDATE Person SET strVorname = 'Anna Maria', lOrtID = 1 WHERE lPersonID = 2");
    Sql("UPDATE Kurs SET strBezeichnung = 'Grundausbildung' WHERE lKursID = 1");
    Sql("UPDATE Kurs SET strKurzbezeichnung = 'AS' WHERE lKursID = 2");  // run 2 has no name of its own
    Sql("UPDATE Kursinstanz SET dtDatum = '2031-06-16 00:00:00' WHERE lKursinstanzID = 1");
    Sql("UPDATE Mandant SET strMandantName = 'FW Winterthur'");
    Sql("INSERT INTO Person (lPersonID, strName, strVorname) VALUES (3, 'Neu', 'Nina')");
    EXPECT_EQ(Table("SELECT lTableID, lID, strBezeichnung FROM view_CacheBezeichnung ORDER BY lTableID, lID"),
              Rows({"4|1|Muster Hans, Winti", "4|2|Meier Anna Maria, Winti", "4|3|Neu Nina", "39|1|GK, Grundausbildung",
                    "39|2|AS, Atemschutz", "42|1|GK, Grundkurs (16.06.2031)", "42|2|AS, Atemschutz (01.09.2031)",
                    "45|1|FW Winterthur"}));
    Sql("DELETE FROM Person WHERE lPersonID = 3; DELETE FROM Kursinstanz WHERE lKursinstanzID = 2; DELETE FROM Kurs "
        "WHERE lKursID = 2; DELETE FROM Mandant");
    EXPECT_EQ(Table("SELECT lTableID, lID FROM view_CacheBezeichnung ORDER BY lTableID, lID"),
              Rows({"4|1", "4|2", "39|1", "42|1"}));
}

TEST_F(ViewTest, ARunsAddressFitsOnOneLine) {
    EXPECT_EQ(Table("SELECT strAnschrift1L FROM view_Kursinstanz ORDER BY lKursinstanzID"),
              Rows({"Depot, Hauptstrasse 1, Hof, 8400 Winterthur", ""}));
}

// Texts compare as on the server: without regard to case, also in the views.
TEST_F(ViewTest, TextComparesWithoutCase) {
    EXPECT_EQ(Tsql("SELECT lPersonID FROM Person WHERE strName = 'MUSTER'"), Rows({"1"}));
    EXPECT_EQ(Tsql("SELECT lID FROM view_CacheBezeichnung WHERE lTableID = 39 AND strBezeichnung = 'gk, grundkurs'"),
              Rows({"1"}));
    EXPECT_EQ(Tsql("SELECT strPerson FROM view_PersonSmall ORDER BY strPerson"), Rows({"Meier Anna", "Muster Hans"}));
}

// The participants list joins the absence reason and the place with inner joins: a registration
// without reason and a person without place must still be listed.
TEST_F(ViewTest, TheParticipantsListShowsRegistrationsWithoutReasonOrPlace) {
    Sql("INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, lKursinstanzID) VALUES (1, 1, 1, 1), (2, 2, 1, 1)");
    EXPECT_EQ(Tsql("SELECT lPersonKursID, strName + ' ' + strVorname AS strPerson, strPLZOrt, cbm.strBezeichnung AS "
                   "strMandant, Absenzgrund.strBezeichnung AS strAbsenzgrund FROM Person JOIN view_CacheBezeichnung cbm "
                   "ON Person.lMandantID = cbm.lID AND cbm.lTableID = 45 JOIN PersonKurs ON Person.lPersonID = "
                   "PersonKurs.lPersonID JOIN view_Ort ON Person.lOrtID = view_Ort.lOrtID JOIN Absenzgrund ON "
                   "PersonKurs.lAbsenzgrundID = Absenzgrund.lAbsenzgrundID WHERE PersonKurs.fTeilnehmer = 1 AND "
                   "PersonKurs.lKursinstanzID = 1 ORDER BY lPersonKursID"),
              Rows({"1|Muster Hans|8400 Winterthur|Feuerwehr Winterthur|", "2|Meier Anna||Feuerwehr Winterthur|"}));
    // The registration editor offers "no reason"; the place combo leaves the empty place out.
    EXPECT_EQ(Tsql("SELECT lAbsenzgrundID as id, strBezeichnung as str FROM view_Absenzgrund ORDER BY strBezeichnung"),
              Rows({"-1|"}));
    EXPECT_EQ(Tsql("SELECT lOrtID FROM view_Ort WHERE lOrtID <> 0"), Rows({"1"}));
}

// A new course type's label exists, so the course search finds the course by its text.
TEST_F(ViewTest, CourseTypesHaveLabels) {
    EXPECT_EQ(Tsql("SELECT vk.strKurs + ' ' + vla.strLabel FROM view_Kurs vk LEFT OUTER JOIN view_QvLabel vla "
                   "ON vla.strName = 'Authoritytyp' AND vk.lTyp = vla.lFkID WHERE vk.lKursID = 1"),
              Rows({"GK, Grundkurs Lokal"}));
}

}  // namespace
}  // namespace qvtest
