// The database functions (fn_...) and procedures (sp_...) as the module's statements call them.
#include "extensions.h"
#include "suitedbtest.h"
#include "tsqlruntime.h"

#include <fstream>
#include <set>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace qvtest {
namespace {

// ---- display names --------------------------------------------------------------------------

class FunctionTest : public SuiteDb {
protected:
    void SetUp() override {
        SuiteDb::SetUp();
        Sql(R"sql(
INSERT INTO Ort (lOrtID, strPLZ, strOrt) VALUES (1, '8610', 'Uster');
INSERT INTO Person (lPersonID, strName, strVorname, lOrtID) VALUES (1, 'Muster', 'Hans', 1), (2, 'Meier', 'Anna', 0);
INSERT INTO Kurs (lKursID, strKurzbezeichnung, strBezeichnung) VALUES (1, 'GK', 'Grundkurs'), (2, 'AS', '');
INSERT INTO Kursinstanz (lKursinstanzID, lKursID, dtDatum, strBezeichnung) VALUES (1, 1, '2031-06-15 00:00:00', 'GK, Grundkurs'),
                                                                                  (2, 1, '2031-06-20 00:00:00', '');
INSERT INTO Funktion (lFunktionID, strBezeichnung) VALUES (1, 'Klassenlehrer');
INSERT INTO Area (lAreaID, strKurzbezeichnung, strBezeichnung) VALUES (1, 'N', 'Region Nord'), (2, '', 'Sued');
INSERT INTO Taetigkeit (lTaetigkeitID, strBezeichnung) VALUES (1, 'Maschinist');
INSERT INTO Arbeitsplan (lArbeitsplanID, strArbeitsplanNr, strBezeichnung, dtStart) VALUES
    (1, 'AP-7', 'Pikett', '2031-06-15 07:30:00'), (2, '', 'Reserve', '1899-12-30 00:00:00');
)sql");
    }
};

TEST_F(FunctionTest, PersonNamesWithPlaceWhenKnown) {
    EXPECT_EQ(Tsql("SELECT dbo.fn_GetPersonBezeichnung(1, 'A'), dbo.fn_GetPersonBezeichnung(2, 'A'), "
                   "dbo.fn_GetPersonBezeichnung(99, 'A'), dbo.fn_GetPersonBezeichnungEx(isnull(1,0), 'A', 'FR'), "
                   "dbo.fn_GetPersonBezeichnung(NULL, 'A')"),
              Rows({"Muster Hans, Uster|Meier Anna||Muster Hans, Uster|"}));
    // The leader text of a run takes the name the moment the leader is set.
    Sql("INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, lKursinstanzID) VALUES (5, 1, 1, 1)");
    Tsql("UPDATE Kursinstanz SET strLeitung = dbo.fn_GetPersonBezeichnung(lPersonID, 'A') FROM Kursinstanz "
         "JOIN PersonKurs On Kursinstanz.lKursinstanzID = PersonKurs.lKursinstanzID WHERE PersonKurs.lPersonKursID = 5");
    EXPECT_EQ(Table("SELECT strLeitung FROM Kursinstanz ORDER BY lKursinstanzID"), Rows({"Muster Hans, Uster", ""}));
}

TEST_F(FunctionTest, CourseAndRunNames) {
    EXPECT_EQ(Tsql("SELECT dbo.fn_GetKursBezeichnung(1), dbo.fn_GetKursBezeichnung(2), dbo.fn_GetKursBezeichnung(9), "
                   "dbo.fn_GetKursBezeichnungEx(isnull(1,0), 'IT')"),
              Rows({"GK, Grundkurs|AS||GK, Grundkurs"}));
    // Runs of one course are told apart by their date; a run without name takes the course's.
    EXPECT_EQ(Tsql("SELECT dbo.fn_GetKursinstanzBezeichnung(lKursinstanzID) FROM Kursinstanz ORDER BY lKursinstanzID"),
              Rows({"GK, Grundkurs (15.06.2031)", "GK, Grundkurs (20.06.2031)"}));
    EXPECT_EQ(Tsql("SELECT dbo.fn_GetKursinstanzBezeichnung(77)"), Rows({""}));
}

TEST_F(FunctionTest, OtherRecordNames) {
    EXPECT_EQ(Tsql("SELECT dbo.fn_GetFunktionBezeichnung(1), dbo.fn_GetFunktionBezeichnung(isnull(NULL, 0)), "
                   "dbo.fn_GetTaetigkeitBezeichnung(1), dbo.fn_GetAreaBezeichnung(1), dbo.fn_GetAreaBezeichnung(2), "
                   "dbo.fn_GetArbeitsplanBezeichnung(1), dbo.fn_GetArbeitsplanBezeichnung(2)"),
              Rows({"Klassenlehrer||Maschinist|N, Region Nord|Sued|AP-7 Pikett (15.06.2031)|Reserve"}));
}

// The writer of a registration is the user the security layer signed in.
TEST_F(FunctionTest, TheSystemIdIsTheSignedInUser) {
    qv::suite::SetSystemID(0);
    EXPECT_EQ(Tsql("SELECT dbo.fn_GetSystemID()"), Rows({"0"}));
    qv::suite::SetSystemID(42);
    Sql("INSERT INTO PersonKurs (lPersonKursID) VALUES (1)");
    Tsql("UPDATE PersonKurs SET lStatus = 5, changedBy = dbo.fn_GetSystemID() WHERE lPersonKursID = 1");
    EXPECT_EQ(Value("SELECT changedBy FROM PersonKurs"), "42");
    qv::suite::SetSystemID(0);
}

// A run and an absence clash when they share a day; a run without dates lasts the day of dtDatum.
TEST_F(FunctionTest, AbsenceClashesByDay) {
    Sql(R"sql(
INSERT INTO Kursinstanzdate (lKursinstanzID, dtStart, dtEnde) VALUES
    (1, '2031-06-15 08:00:00', '2031-06-15 17:00:00'), (1, '2031-06-17 08:00:00', NULL);
INSERT INTO Absenzgrund (lAbsenzgrundID, strBezeichnung) VALUES (1, 'Ferien');
INSERT INTO Personabsenz (lPersonabsenzID, lPersonID, lAbsenzgrundID, dtStart, dtEnde) VALUES
    (1, 1, 1, '2031-06-10 00:00:00', '2031-06-14 00:00:00'),
    (2, 1, 1, '2031-06-16 00:00:00', '2031-06-16 00:00:00'),
    (3, 1, 1, '2031-06-17 00:00:00', '2031-06-30 00:00:00'),
    (4, 1, 1, '2031-06-15 00:00:00', '1899-12-30 00:00:00'),
    (5, 1, 1, '2031-06-20 00:00:00', '2031-06-20 00:00:00');
)sql");
    EXPECT_EQ(Tsql("SELECT lPersonabsenzID, dbo.fn_CheckAbsenz4Kurs(1, lPersonabsenzID), "
                   "dbo.fn_CheckAbsenz4Kurs(2, lPersonabsenzID) FROM view_Personabsenz ORDER BY lPersonabsenzID"),
              Rows({"1|0|0", "2|0|0", "3|1|1", "4|1|0", "5|0|1"}));
    // The booking's absence question finds the clashing absence with its reason and days.
    EXPECT_EQ(Tsql("SELECT TOP 1 strBezeichnung + ' ' + convert(varchar(10),dtStart,104) + ' - ' + "
                   "convert(varchar(10),dtEnde,104) AS strAbsenz, dbo.fn_GetPersonBezeichnung(lPersonID, 'A') AS strPerson "
                   "FROM view_Personabsenz WHERE lPersonID = 1 AND dbo.fn_CheckAbsenz4Kurs(1, lPersonabsenzID) = 1 "
                   "ORDER BY dtStart desc"),
              Rows({"Ferien 17.06.2031 - 30.06.2031|Muster Hans, Uster"}));
}

// ---- search helpers -------------------------------------------------------------------------

TEST_F(FunctionTest, PhoneNumbersLoseTheirSeparators) {
    EXPECT_EQ(Tsql("SELECT dbo.fn_RemoveChars('+41 (0)44 123-45.67 / 8'), dbo.fn_RemoveChars('Zürich 1'), "
                   "dbo.fn_RemoveChars(NULL)"),
              Rows({"+4104412345678|Zürich1|"}));
    EXPECT_EQ(Tsql("SELECT 1 WHERE CHARINDEX('0441234567', dbo.fn_RemoveChars('044 123 45 67')) > 0"), Rows({"1"}));
}

TEST_F(FunctionTest, CustomFieldsTakePartInTheSearchWhenMarked) {
    // Asked before the fields exist, by the same statement as below: nothing kept from this run.
    EXPECT_EQ(Tsql("SELECT dbo.fn_GetCustFieldValuesUsed4Search(39, 1), dbo.fn_GetCustFieldValuesUsed4Search(42, 1), "
                   "dbo.fn_GetCustFieldValuesUsed4Search(39, 5)"),
              Rows({"||"}));
    Sql(R"sql(
INSERT INTO CustFieldType (lCFTypeID, lTableID, fUsed4Search, lOrder) VALUES (1, 39, 1, 2), (2, 39, 1, 1), (3, 39, 0, 3), (4, 42, 1, 1);
INSERT INTO CustFieldValue (lCFTypeID, lID, strValue) VALUES (1, 1, 'Zweiter'), (2, 1, 'Erster'), (3, 1, 'geheim'),
                                                             (4, 1, 'Lauf'), (1, 2, 'anderer'), (2, 1, '');
)sql");
    EXPECT_EQ(Tsql("SELECT dbo.fn_GetCustFieldValuesUsed4Search(39, 1), dbo.fn_GetCustFieldValuesUsed4Search(42, 1), "
                   "dbo.fn_GetCustFieldValuesUsed4Search(39, 5)"),
              Rows({"Erster Zweiter|Lauf|"}));
    // Without values the record is still found by its other columns.
    EXPECT_EQ(Tsql("SELECT vk.lKursID FROM view_Kurs vk WHERE (CHARINDEX('as', strKurs + ' ' + "
                   "dbo.fn_GetCustFieldValuesUsed4Search(39, vk.lKursID)) > 0)"),
              Rows({"2"}));
}

// A search calls the function for every record it looks at: the statement behind it is prepared
// once per connection and kept, not once per call; a connection without a statement cache still
// gets the same values.
TEST_F(FunctionTest, CustomFieldStatementIsPreparedOncePerConnection) {
    SQLITE_ONLY("the statements SQLite keeps on a connection");
    Sql("INSERT INTO CustFieldType (lCFTypeID, lTableID, fUsed4Search) VALUES (1, 4, 1)");
    Sql("WITH RECURSIVE n(i) AS (SELECT 10 UNION ALL SELECT i + 1 FROM n WHERE i < 209) "
        "INSERT INTO Person (lPersonID, strName) SELECT i, 'P' || i FROM n");
    Sql("INSERT INTO CustFieldValue (lCFTypeID, lID, strValue) SELECT 1, lPersonID, 'Feld ' || lPersonID FROM Person "
        "WHERE lPersonID >= 10");
    const std::string search = "SELECT count(*) FROM Person WHERE lPersonID >= 10 AND "
                               "fn_GetCustFieldValuesUsed4Search(4, lPersonID) = 'Feld ' || lPersonID";
    auto functionStatements = [](sqlite3* h) {
        int n = 0;
        for (sqlite3_stmt* st = sqlite3_next_stmt(h, nullptr); st; st = sqlite3_next_stmt(h, st))
            n += std::string(sqlite3_sql(st)).find("FROM CustFieldValue v") != std::string::npos;
        return n;
    };
    EXPECT_EQ(Value(search), "200");
    EXPECT_EQ(functionStatements(db()), 1) << "kept for the next call";
    EXPECT_EQ(Value(search), "200");
    EXPECT_EQ(functionStatements(db()), 1) << "and used again";

    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path().c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    ASSERT_EQ(qv::sql::RegisterTsqlRuntime(raw), SQLITE_OK);
    ASSERT_EQ(qv::suite::RegisterSuiteFunctions(raw), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(raw, search.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), 200);
    sqlite3_finalize(st);
    EXPECT_EQ(functionStatements(raw), 0) << "nothing left behind without a cache";
    EXPECT_EQ(sqlite3_close(raw), SQLITE_OK);
}

TEST_F(FunctionTest, ContactCategoriesEachFollowedByAComma) {
    Sql(R"sql(
INSERT INTO Contact (lContactID, strName) VALUES (1, 'Muster AG'), (2, 'Leer');
INSERT INTO Kategorie (lKategorieID, strBezeichnung) VALUES (1, 'Lieferant'), (2, 'Behörde');
INSERT INTO ContactKategorie (lContactID, lKategorieID) VALUES (1, 1), (1, 2);
)sql");
    EXPECT_EQ(Tsql("SELECT dbo.fn_GetKategories4Contact(1), dbo.fn_GetKategories4Contact(2)"),
              Rows({"Behörde, Lieferant,|"}));
}

// ---- keys -----------------------------------------------------------------------------------


class UniqueIdTest : public SuiteDb {
protected:
    std::int64_t Draw(const char* table, const char* column) {
        std::int64_t id = 0;
        std::string error;
        EXPECT_EQ(DrawKey(table, column, &id, &error), 0) << error;
        return id;
    }
};

TEST_F(UniqueIdTest, KeysFollowTheLargestKeyOfTheColumn) {
    EXPECT_EQ(Draw("Kurs", "lKursID"), 1);
    EXPECT_EQ(Draw("Kurs", "lKursID"), 2);
    Sql("INSERT INTO Kurs (lKursID) VALUES (41)");  // written by hand, e.g. demo data
    EXPECT_EQ(Draw("kurs", "LKURSID"), 42);
    EXPECT_EQ(Draw("Kursinstanz", "lKursinstanzID"), 1);  // each column counts for itself
    // The built-in rows below 1 do not lead to a key of 0 or below.
    EXPECT_EQ(Draw("QvLabel", "lQvLabelID"), 1);
}

TEST_F(UniqueIdTest, TheBatchesOfTheModuleGetTheirKeys) {
    EXPECT_EQ(Tsql("DECLARE @newID INT \t\t\t\t\t  EXECUTE dbo.sp_GetUniqueID 'Kursinstanz', 'lKursinstanzID', @newID "
                   "OUTPUT \t\t\t\t\t  SELECT @newID AS newID"),
              Rows({"1"}));
    EXPECT_EQ(Tsql("DECLARE @newID as int execute dbo.sp_GetUniqueID 'UserLog', 'lGrouping', @newID output "
                   "SELECT @newID AS newID"),
              Rows({"1"}));
    Tsql("if not exists (SELECT 1 FROM Kursbemerkung WHERE lKursinstanzID = 7) begin DECLARE @lKursbemerkungID int "
         "EXEC sp_GetUniqueID 'Kursbemerkung', 'lKursbemerkungID', @lKursbemerkungID OUTPUT INSERT INTO "
         "Kursbemerkung(lKursbemerkungID, lKursinstanzID, strBemerkungIntern) VALUES(@lKursbemerkungID, 7, 'intern') "
         "end else begin UPDATE Kursbemerkung SET strBemerkungIntern = 'intern' WHERE lKursinstanzID = 7 end");
    EXPECT_EQ(Table("SELECT lKursbemerkungID, lKursinstanzID FROM Kursbemerkung"), Rows({"1|7"}));
}

// The names come from the statement text: only a table and column of the schema are accepted.
TEST_F(UniqueIdTest, UnknownNamesAreRefused) {
    std::int64_t id = 0;
    std::string error;
    EXPECT_NE(DrawKey("Kurs\"; DROP TABLE Kurs; --", "lKursID", &id, &error), 0);
    EXPECT_NE(error.find("no table"), std::string::npos) << error;
    EXPECT_NE(DrawKey("Kurs", "lKursID) FROM Kurs; --", &id, &error), 0);
    EXPECT_NE(error.find("no column"), std::string::npos) << error;
    EXPECT_NE(DrawKey("view_Kurs", "lKursID", &id, &error), 0);
    EXPECT_EQ(SqlError("SELECT count(*) FROM Kurs"), "") << "the table is still there";
    const std::string batchError =
        TsqlError("DECLARE @newID INT EXECUTE dbo.sp_GetUniqueID 'Nichts', 'lNichtsID', @newID OUTPUT SELECT @newID");
    EXPECT_NE(batchError.find("no table Nichts"), std::string::npos) << batchError;
}

// Inside the caller's transaction: a rolled-back key may come again, but never for a row that exists.
TEST_F(UniqueIdTest, ARolledBackKeyNeverClashesWithACommittedRow) {
    ASSERT_EQ(Begin(), 0);
    const std::int64_t first = Draw("PersonKurs", "lPersonKursID");
    Sql("INSERT INTO PersonKurs (lPersonKursID) VALUES (" + std::to_string(first) + ")");
    ASSERT_EQ(Rollback(), 0);
    EXPECT_EQ(Value("SELECT count(*) FROM PersonKurs"), "0");

    ASSERT_EQ(Begin(), 0);
    const std::int64_t second = Draw("PersonKurs", "lPersonKursID");
    Sql("INSERT INTO PersonKurs (lPersonKursID) VALUES (" + std::to_string(second) + ")");
    ASSERT_EQ(Commit(), 0);
    const std::int64_t third = Draw("PersonKurs", "lPersonKursID");
    EXPECT_GT(third, second);
    EXPECT_EQ(SqlError("INSERT INTO PersonKurs (lPersonKursID) VALUES (" + std::to_string(third) + ")"), "");
}

// Two connections: the one that waits for the other's transaction gets the next key after it.
TEST_F(UniqueIdTest, AWaitingConnectionGetsTheNextKey) {
#ifdef QV_TEST_PG
    // Another workstation's session waits for this transaction's lock on the key counter.
    qv::sql::PgDb other;
    ASSERT_EQ(other.Open(database_->url()), 0) << other.LastError().description;
    ASSERT_EQ(Begin(), 0);
    const std::int64_t mine = Draw("Kurs", "lKursID");
    std::int64_t theirs = 0;
    std::thread t([&] {
        qv::sql::PgRows rows;
        ASSERT_EQ(other.Query("SELECT dbo.sp_GetUniqueID('Kurs', 'lKursID')", &rows), 0) << other.LastError().description;
        theirs = std::stoll(rows.rows.at(0).at(0).value_or("0"));
    });
    bool blocked = false;
    for (int i = 0; i < 1000 && !blocked; ++i) {
        blocked = Value("SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() AND "
                        "wait_event_type = 'Lock'") != "0";
        if (!blocked) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(blocked);
    EXPECT_EQ(Commit(), 0);
    t.join();
    EXPECT_EQ(theirs, mine + 1);
#else
    qv::sql::SqliteDb other;
    ASSERT_EQ(other.Open("sqlite:" + path()), SQLITE_OK);
    struct Waiting {
        std::mutex m;
        std::condition_variable cv;
        bool blocked = false;
    } waiting;
    // Tells the test when the other connection finds the database locked, then keeps waiting.
    sqlite3_busy_handler(
        other.Handle(),
        [](void* p, int tries) -> int {
            auto* w = static_cast<Waiting*>(p);
            {
                std::lock_guard<std::mutex> lk(w->m);
                w->blocked = true;
            }
            w->cv.notify_all();
            sqlite3_sleep(1);
            return tries < 10000;
        },
        &waiting);

    ASSERT_EQ(Begin(), 0);
    const std::int64_t mine = Draw("Kurs", "lKursID");
    std::int64_t theirs = 0;
    std::thread t([&] {
        std::string error;
        EXPECT_EQ(qv::suite::DrawUniqueID(other.Handle(), "Kurs", "lKursID", &theirs, &error), SQLITE_OK) << error;
    });
    {
        std::unique_lock<std::mutex> lk(waiting.m);
        EXPECT_TRUE(waiting.cv.wait_for(lk, std::chrono::seconds(10), [&] { return waiting.blocked; }));
    }
    EXPECT_EQ(db_.Commit(), SQLITE_OK);
    t.join();
    EXPECT_EQ(theirs, mine + 1);
#endif
}

// Two processes drawing at the same time never get the same key.
TEST_F(UniqueIdTest, TwoProcessesNeverGetTheSameKey) {
    const std::string helper = SiblingBinary("suitedb_uniqueid_helper");
#ifdef QV_TEST_PG
    const std::string database = database_->url();  // two workstations on one server
#else
    const std::string database = path();
#endif
    const std::string go = dir_.file("go");
    std::vector<pid_t> pids;
    for (const char* out : {"a.txt", "b.txt"}) {
        const std::string outPath = dir_.file(out);
        std::vector<std::string> args = {helper, database, "1000", outPath, go};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, helper.c_str(), nullptr, nullptr, argv.data(), environ), 0);
        pids.push_back(pid);
    }
    std::ofstream(go).put('1');  // both start drawing now

    std::set<std::int64_t> keys;
    for (std::size_t i = 0; i < pids.size(); ++i) {
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (waitpid(pids[i], &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pids[i], SIGKILL);
                waitpid(pids[i], &status, 0);
                FAIL() << "helper did not finish";
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "helper failed: " << status;
        std::ifstream in(dir_.file(i == 0 ? "a.txt" : "b.txt"));
        std::int64_t k;
        int count = 0;
        while (in >> k) {
            keys.insert(k);
            ++count;
        }
        EXPECT_EQ(count, 1000);
    }
    EXPECT_EQ(keys.size(), 2000u);
    EXPECT_EQ(*keys.begin(), 1);
    EXPECT_EQ(*keys.rbegin(), 2000);
}

// ---- group templates ------------------------------------------------------------------------

class TemplateTest : public SuiteDb {
protected:
    void SetUp() override {
        SuiteDb::SetUp();
        Sql(R"sql(
INSERT INTO Kurs (lKursID) VALUES (1), (2);
INSERT INTO Kursinstanz (lKursinstanzID, lKursID) VALUES (10, 1), (11, 1), (20, 2);
INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, strBezeichnung, lMaxTeilnehmer)
    VALUES (100, 10, 'Gruppe A', 8), (101, 10, 'Gruppe B', 0), (102, 11, 'gruppe a', 3), (103, 20, 'Andere', 1);
)sql");
    }

    // Groups as the page lists them for a run, and the template rows of a course.
    Rows RunGroups(int run) {
        return Table("SELECT strBezeichnung, lMaxTeilnehmer, lKursID, lEinsatzGruppeID FROM KursinstanzGruppe "
                     "WHERE lKursinstanzID = " + std::to_string(run) + " ORDER BY lKursinstanzGruppeID");
    }
    Rows TemplateOf(int course) {
        return Table("SELECT strBezeichnung, lMaxTeilnehmer, lKursinstanzID FROM KursinstanzGruppe WHERE lKursID = " +
                     std::to_string(course) + " ORDER BY lKursinstanzGruppeID");
    }
};

TEST_F(TemplateTest, ACourseWithoutTemplateGetsNoGroups) {
    EXPECT_EQ(Tsql("SELECT 1 FROM KursinstanzGruppe WHERE lKursID = 1"), Rows());
    EXPECT_EQ(TsqlError("EXEC sp_CreateKursinstanzGruppeFromTemplate 11"), "");
    EXPECT_EQ(RunGroups(11), Rows({"gruppe a|3|-1|-1"}));
    EXPECT_EQ(TsqlError("EXEC sp_CreateKursinstanzGruppeFromTemplate 999"), "");  // no such run
}

TEST_F(TemplateTest, SavingATemplateReplacesTheCoursesEarlierOne) {
    Sql("INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursID, strBezeichnung) VALUES (200, 1, 'Alt')");
    EXPECT_EQ(TsqlError("EXEC sp_CreateKursinstanzGruppeTemplate 10"), "");
    EXPECT_EQ(TemplateOf(1), Rows({"Gruppe A|8|-1", "Gruppe B|0|-1"}));
    EXPECT_EQ(RunGroups(10), Rows({"Gruppe A|8|-1|-1", "Gruppe B|0|-1|-1"}));  // the run keeps its groups
    EXPECT_EQ(TemplateOf(2), Rows());
    EXPECT_EQ(Tsql("SELECT 1 FROM KursinstanzGruppe WHERE lKursID = 1"), Rows({"1", "1"}));
}

TEST_F(TemplateTest, ApplyingATemplateAddsTheGroupsTheRunLacks) {
    ASSERT_EQ(TsqlError("EXEC sp_CreateKursinstanzGruppeTemplate 10"), "");
    EXPECT_EQ(TsqlError("EXEC sp_CreateKursinstanzGruppeFromTemplate 11"), "");
    // "gruppe a" is "Gruppe A" for the database: it is not added a second time.
    EXPECT_EQ(RunGroups(11), Rows({"gruppe a|3|-1|-1", "Gruppe B|0|-1|-1"}));
    EXPECT_EQ(RunGroups(20), Rows({"Andere|1|-1|-1"}));
    // The new groups' keys are the id procedure's: the next key follows them.
    const std::string largest = Value("SELECT max(lKursinstanzGruppeID) FROM KursinstanzGruppe");
    std::int64_t next = 0;
    ASSERT_EQ(DrawKey("KursinstanzGruppe", "lKursinstanzGruppeID", &next, nullptr), 0);
    EXPECT_EQ(next, std::stoll(largest) + 1);
}

// Inside the caller's transaction the procedures go with it.
TEST_F(TemplateTest, ARolledBackTemplateLeavesTheOldOne) {
    Sql("INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursID, strBezeichnung) VALUES (200, 1, 'Alt')");
    ASSERT_EQ(Begin(), 0);
    EXPECT_EQ(TsqlError("EXEC sp_CreateKursinstanzGruppeTemplate 10"), "");
    ASSERT_EQ(Rollback(), 0);
    EXPECT_EQ(TemplateOf(1), Rows({"Alt|0|-1"}));
}

TEST_F(TemplateTest, ARunIdThatIsNoNumberIsRefused) {
    SQLITE_ONLY("the procedure as the SQLite engine calls it; PostgreSQL types the argument itself");
    std::vector<qv::sql::Value> args = {std::string("zehn")};
    const qv::sql::Procedure* proc = qv::sql::FindProcedure("dbo.sp_CreateKursinstanzGruppeFromTemplate");
    ASSERT_NE(proc, nullptr);
    EXPECT_THROW((*proc)(db(), args), qv::sql::ProcedureError);
}

}  // namespace
}  // namespace qvtest
