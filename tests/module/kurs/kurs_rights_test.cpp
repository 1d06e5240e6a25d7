// Course rights rows: the refresh of a user's rows in both kinds of installation, the leader's
// right, the early stop for a closing dialog, and the creator's row of a new run.
#include "demodata.h"
#include "kursdlg.h"
#include "kurstest.h"
#include "nqcommon.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvsec.h"

namespace kurstest {
namespace {

const wchar_t* const kModul = L"{5F03AD81-548C-4F27-8FDA-45FC8E49B17C}";
const wchar_t* const kRunFunction = L"{FB4C0C46-8C91-4F55-BA7B-9E5FEBB97358}";

std::string Mask(DWORD mask) { return std::to_string(static_cast<LONG>(mask)); }

class KursRights : public KursTest {
protected:
    void SetUp() override {
        KursTest::SetUp();
        mandant = AddMandant("FW Nord");
        person = AddPerson("Muster", "Hans", mandant);
        kursA = AddKurs(3, "GK");
        kursB = AddKurs(2, "KK");
        runA = AddRun(kursA, "2031-05-04");
        runB = AddRun(kursB, "2031-06-04");
    }
    // The security user 5 of the person: his contact's GUID is his user id text.
    void SignInAs(long lPerson) {
        Sql("INSERT INTO Contact (lContactID, lPersonID) VALUES (" + std::to_string(lPerson + 50000) + ", " +
            std::to_string(lPerson) + ")");
        Sql("INSERT INTO QvSecUser (lQvSecUserID, strUserID, strName) SELECT 5, guid, 'Kursleiter' FROM Contact "
            "WHERE lPersonID = " +
            std::to_string(lPerson));
    }
    void Row(long lKurs, long lRun, long lUser, DWORD mask, int valid = 1) {
        Sql("INSERT INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight, fValid) VALUES (" +
            std::to_string(lKurs) + ", " + std::to_string(lRun) + ", " + std::to_string(lUser) + ", " + Mask(mask) +
            ", " + std::to_string(valid) + ")");
    }
    std::vector<std::string> Rights(long lUser = 5) {
        return Rows("SELECT lKursID, lKursinstanzID, lRight, fValid FROM SecKurs WHERE lQvSecUserID = " +
                    std::to_string(lUser) + " ORDER BY lKursID, lKursinstanzID");
    }
    // The refresh one batch per course and run, the records taken in key order: the rows, keys
    // and key counter the set-based refresh must leave.
    void RecordByRecord(long user, long kurs, long run) {
        auto scope = [](LPCWSTR column, long id) {
            CString s;
            s.Format(id == -1 ? L"%s <> -1" : L"%s = %d", column, id);
            return s;
        };
        const CString strKurs = scope(L"lKursID", kurs), strRun = scope(L"lKursinstanzID", run);
        CQvADOConnection conn;
        ASSERT_EQ(conn.Open(L"Qovaro.NQ2", 0), S_OK);
        CString sql;
        sql.Format(L"UPDATE SecKurs SET fValid = 0 WHERE %s AND lQvSecUserID = %d UPDATE SecKurs SET fValid = 0 WHERE "
                   L"%s AND lQvSecUserID = %d",
                   strKurs, user, strRun, user);
        ASSERT_EQ(conn.Execute(sql), S_OK);
        CQvSec local;
        local.LoadRights(CQvGUID(kModul));
        if (local.HasAllRights(0x10000)) local &= ~0x10000u;
        CQvADORecordset rs(&conn);
        sql.Format(L"SELECT 1 AS lKind, lKursID AS lID, guid FROM Kurs WHERE %s UNION ALL SELECT 2 AS lKind, "
                   L"lKursinstanzID AS lID, guid FROM Kursinstanz WHERE %s ORDER BY lKind, lID",
                   strKurs, strRun);
        ASSERT_EQ(rs.Open(sql), S_OK);
        std::vector<CString> batches;
        BOOL eof = TRUE;
        for (rs.IsEOF(&eof); !eof; rs.MoveNext(&eof)) {
            long kind = 0, id = -1;
            CQvGUID guid;
            rs.GetFieldValue(L"lKind", &kind);
            rs.GetFieldValue(L"lID", &id);
            rs.GetFieldValue(L"guid", &guid);
            DWORD mask = local.GetRights();
            bool keep = true;
            if (NQ_IsEnterpriseEdition()) {
                CQvSec sec;
                sec.LoadRights(CQvGUID(), guid.GetGUID(TRUE));
                keep = sec.HasAnyRight(0x10001);
                mask = sec.GetRights();
            }
            CString batch;
            batch.Format(L"DECLARE @kursid int = %d DECLARE @kursinstanzId int = %d IF EXISTS (SELECT 1 FROM SecKurs "
                         L"WHERE lKursID = @kursid AND lKursInstanzID = @kursinstanzId AND lQvSecUserID = %d) UPDATE "
                         L"SecKurs SET %s WHERE lKursID = @kursid AND lKursinstanzID = @kursinstanzId AND "
                         L"lQvSecUserID = %d ELSE BEGIN DECLARE @newID int execute dbo.sp_GetUniqueID 'SecKurs', "
                         L"'lSecKursID', @newID output IF (EXISTS (SELECT 1 FROM Kurs WHERE lKursID = @kursid) OR "
                         L"@kursid = -1) AND (EXISTS (SELECT 1 FROM Kursinstanz WHERE lKursinstanzID = @kursinstanzId) "
                         L"OR @kursinstanzId = -1) INSERT INTO SecKurs (lSecKursID, lKursID, lKursinstanzID, "
                         L"lQvSecUserID, lRight, fValid) VALUES (@newID, @kursid, @kursinstanzId, %d, %d, %d) END",
                         kind == 1 ? id : -1, kind == 2 ? id : -1, user,
                         keep ? CString(L"fValid = 1, lRight = ") + CString(std::to_wstring(LONG(mask)).c_str())
                              : CString(L"lRight = 0"),
                         user, user, keep ? LONG(mask) : 0, keep ? 1 : 0);
            batches.push_back(batch);
        }
        rs.Close();
        for (const CString& batch : batches) ASSERT_EQ(conn.Execute(batch), S_OK) << U(batch);
        if (NQ_IsEnterpriseEdition()) {
            sql.Format(L"UPDATE SecKurs SET fValid = 1, lRight = lRight | 256 FROM PersonKurs pk JOIN Person ON "
                       L"pk.lPersonID = Person.lPersonID JOIN SecKurs ON SecKurs.lKursinstanzID = pk.lKursinstanzID "
                       L"AND SecKurs.lKursID = -1 JOIN Contact ON Contact.lPersonID = Person.lPersonID JOIN "
                       L"QvSecUser ON Contact.guid = QvSecUser.strUserID AND SecKurs.lQvSecUserID = "
                       L"QvSecUser.lQvSecUserID WHERE fTeilnehmer = 0 AND fLeiter = 1 AND QvSecUser.lQvSecUserID = "
                       L"%d AND SecKurs.lRight & 65536 = 65536",
                       user);
            ASSERT_EQ(conn.Execute(sql), S_OK);
        }
        sql.Format(L"Delete SecKurs WHERE fValid = 0 AND lQvSecUserID = %d", user);
        ASSERT_EQ(conn.Execute(sql), S_OK);
    }
    // Every rights row with its key, and the key counter.
    std::vector<std::string> AllRights() {
        std::vector<std::string> rows = Rows(
            "SELECT lSecKursID, lKursID, lKursinstanzID, lQvSecUserID, lRight, fValid FROM SecKurs ORDER BY lSecKursID");
        for (const std::string& c : Rows("SELECT lLastID FROM UniqueIDCounter WHERE lower(strTable) = 'seckurs'"))
            rows.push_back("counter " + c);
        return rows;
    }
    // Refreshes both ways from the same rows; both must leave the same.
    void ExpectSameAsRecordByRecord(long user, long kurs, long run) {
        const std::vector<std::string> before = Rows("SELECT lSecKursID, lKursID, lKursinstanzID, lQvSecUserID, lRight, "
                                                     "fValid FROM SecKurs");
        const std::vector<std::string> counter =
            Rows("SELECT strTable, strColumn, lLastID FROM UniqueIDCounter WHERE lower(strTable) = 'seckurs'");
        RecordByRecord(user, kurs, run);
        const std::vector<std::string> expected = AllRights();
        Sql("DELETE FROM SecKurs");
        Sql("DELETE FROM UniqueIDCounter WHERE lower(strTable) = 'seckurs'");
        auto values = [](std::string row, bool quote) {
            std::vector<std::string> parts;
            for (size_t at; (at = row.find('|')) != std::string::npos; row.erase(0, at + 1))
                parts.push_back(row.substr(0, at));
            parts.push_back(row);
            std::string out;
            for (size_t i = 0; i < parts.size(); ++i)
                out += (i ? ", " : "") + (quote && i < 2 ? "'" + parts[i] + "'" : parts[i]);
            return "(" + out + ")";
        };
        for (const std::string& row : before)
            Sql("INSERT INTO SecKurs (lSecKursID, lKursID, lKursinstanzID, lQvSecUserID, lRight, fValid) VALUES " +
                values(row, false));
        for (const std::string& row : counter)
            Sql("INSERT INTO UniqueIDCounter (strTable, strColumn, lLastID) VALUES " + values(row, true));
        ASSERT_EQ(VRQ_DoUpdateSecKurs(user, kurs, run, nullptr), S_OK);
        EXPECT_EQ(AllRights(), expected) << "user " << user << ", course " << kurs << ", run " << run;
    }
    // A refresh again over rows it has just brought up to date changes no rights row: every
    // write to the table is refused while it runs.
    void ExpectNoRowWritten(long user, long kurs, long run) {
        const std::string rows =
            "SELECT lSecKursID, lKursID, lKursinstanzID, lQvSecUserID, lRight, fValid FROM SecKurs ORDER BY lSecKursID";
        const std::vector<std::string> before = Rows(rows);
        for (const char* verb : {"INSERT", "UPDATE", "DELETE"})
            Sql(std::string("CREATE TRIGGER SecKurs_No") + verb + " BEFORE " + verb +
                " ON SecKurs BEGIN SELECT RAISE(ABORT, 'gesperrt'); END");
        EXPECT_EQ(VRQ_DoUpdateSecKurs(user, kurs, run, nullptr), S_OK)
            << "user " << user << ", course " << kurs << ", run " << run;
        for (const char* verb : {"INSERT", "UPDATE", "DELETE"}) Sql(std::string("DROP TRIGGER SecKurs_No") + verb);
        EXPECT_EQ(Rows(rows), before);
    }
    long mandant = 0, person = 0, kursA = 0, kursB = 0, runA = 0, runB = 0;
};

TEST_F(KursRights, LocalRefreshGivesEveryRecordTheModuleRightsWithoutTheLeaderRight) {
    secServer.Answer(kModul, L"", 0x00010F03);
    Row(kursA, -1, 5, 0x1);          // confirmed with the new mask
    Row(999, -1, 5, 0x1, 0);         // an invalid row of a course that is gone
    Row(kursA, -1, 6, 0x7);          // another user's row
    ASSERT_EQ(VRQ_DoUpdateSecKurs(5, -1, -1, nullptr), S_OK);
    const std::string m = Mask(0x0F03);
    EXPECT_EQ(Rights(), (std::vector<std::string>{"-1|" + K(runA) + "|" + m + "|1", "-1|" + K(runB) + "|" + m + "|1",
                                                  K(kursA) + "|-1|" + m + "|1", K(kursB) + "|-1|" + m + "|1"}));
    EXPECT_EQ(Rights(6), std::vector<std::string>{K(kursA) + "|-1|7|1"});
    EXPECT_TRUE(script.Log().Records().empty());
}

TEST_F(KursRights, RefreshOfOneRunLeavesTheOtherRowsAlone) {
    secServer.Answer(kModul, L"", 0x0F01);
    Row(kursA, -1, 5, 0x1);
    Row(-1, runB, 5, 0x3);
    Row(-1, 4711, 5, 0x3, 0);  // left invalid by an earlier refresh: goes with this one
    ASSERT_EQ(VRQ_DoUpdateSecKurs(5, 0, runA, nullptr), S_OK);
    EXPECT_EQ(Rights(), (std::vector<std::string>{"-1|" + K(runA) + "|" + Mask(0x0F01) + "|1",
                                                  "-1|" + K(runB) + "|3|1", K(kursA) + "|-1|1|1"}));
    // With nothing else to change, an invalid row goes all the same.
    Row(-1, 4712, 5, 0x3, 0);
    ASSERT_EQ(VRQ_DoUpdateSecKurs(5, 0, runA, nullptr), S_OK);
    EXPECT_EQ(Rights().size(), 3u);
}

TEST_F(KursRights, CentralRefreshKeepsRowsOnlyWhereTheUserMayReadOrLead) {
    Central(true);
    secServer.Answer(L"", qv::FromUtf8(Guid("Kurs", kursA)), 0x88000F01);  // top bit set
    secServer.Answer(L"", qv::FromUtf8(Guid("Kursinstanz", runA)), 0x00010000);
    secServer.Answer(L"", qv::FromUtf8(Guid("Kursinstanz", runB)), 0x00000F00);  // neither 0x1 nor 0x10000
    Row(-1, runB, 5, 0x1);
    ASSERT_EQ(VRQ_DoUpdateSecKurs(5, -1, -1, nullptr), S_OK);
    EXPECT_EQ(Rights(), (std::vector<std::string>{"-1|" + K(runA) + "|" + Mask(0x10000) + "|1",
                                                  K(kursA) + "|-1|" + Mask(0x88000F01) + "|1"}));
    // The mask reads back as the 32-bit value the security server gave.
    EXPECT_EQ(Int("SELECT lRight FROM SecKurs WHERE lKursID = " + K(kursA)), -2013262079);
}

TEST_F(KursRights, CentralLeaderOfARunGetsTheLeadersRightOnlyWithTheCourseLeaderRight) {
    Central(true);
    SignInAs(person);
    const long runC = AddRun(kursB, "2031-07-04");
    for (long lRun : {runA, runB, runC}) {
        const long reg = AddReg(person, lRun == runA ? kursA : kursB, lRun, 0, "2031-12-31", false);
        if (lRun != runC) Sql("UPDATE PersonKurs SET fLeiter = 1 WHERE lPersonKursID = " + K(reg));
    }
    secServer.Answer(L"", qv::FromUtf8(Guid("Kursinstanz", runA)), 0x00010001);
    secServer.Answer(L"", qv::FromUtf8(Guid("Kursinstanz", runB)), 0x00000001);  // leads, but without the right
    secServer.Answer(L"", qv::FromUtf8(Guid("Kursinstanz", runC)), 0x00010001);  // has the right, does not lead
    Row(-1, runB, 5, 0x101);  // the leader's right of an earlier refresh goes with the course-leader right
    Row(-1, runC, 5, 0x10101);
    ASSERT_EQ(VRQ_DoUpdateSecKurs(5, 0, -1, nullptr), S_OK);
    EXPECT_EQ(Rights(), (std::vector<std::string>{"-1|" + K(runA) + "|" + Mask(0x10101) + "|1",
                                                  "-1|" + K(runB) + "|1|1", "-1|" + K(runC) + "|" + Mask(0x10001) + "|1"}));
}

TEST_F(KursRights, SetBasedRefreshLeavesTheRowsOfTheRefreshRecordByRecord) {
    SignInAs(person);
    // Courses with consecutive keys, one deleted between them; a run of each and one more of A.
    const long k1 = AddKurs(3, "K1"), k2 = AddKurs(3, "K2"), k3 = AddKurs(3, "K3"), k4 = AddKurs(3, "K4");
    Sql("DELETE FROM Kurs WHERE lKursID = " + K(k3));
    const long r1 = AddRun(k1, "2031-08-01"), r2 = AddRun(k2, "2031-08-02"), r4 = AddRun(kursA, "2031-08-04");
    for (long lRun : {runA, r1}) {
        const long reg = AddReg(person, lRun == runA ? kursA : k1, lRun, 0, "2031-12-31", false);
        Sql("UPDATE PersonKurs SET fLeiter = 1 WHERE lPersonKursID = " + K(reg));
    }
    secServer.Answer(kModul, L"", 0x00010F03);
    const std::pair<long, DWORD> central[] = {{kursA, 0x88000F01}, {k1, 0x10001}, {k2, 0x0F00},   {k4, 0x10001},
                                              {runA, 0x10001},     {runB, 0x0F00}, {r1, 0x10001}, {r2, 0x1}};
    for (const auto& [id, mask] : central)
        secServer.Answer(L"", qv::FromUtf8(Guid(id == runA || id == runB || id > k4 ? "Kursinstanz" : "Kurs", id)),
                         mask);
    struct Case {
        bool central;
        long kurs, run;
    };
    const Case cases[] = {{false, -1, -1}, {false, 0, -1}, {false, kursB, 0}, {false, 0, r4}, {true, -1, -1},
                          {true, -1, 0},   {true, 0, r1},  {true, -1, -1}};
    for (const Case& c : cases) {
        Central(c.central);
        // Rows left by earlier refreshes and of other users, gone records, odd keys.
        Sql("DELETE FROM SecKurs");
        Row(kursA, -1, 5, 0x1);
        Row(k2, -1, 5, 0x3, 0);
        Row(k3, -1, 5, 0x3);          // its course is gone
        Row(-1, runB, 5, 0x10001);
        Row(-1, 4711, 5, 0x3, 0);     // invalid, of a run that is gone
        Row(kursA, runA, 5, 0x1);     // neither a course row nor a run row
        Row(-1, -1, 5, 0x1);
        Row(k4, -1, 6, 0x7);          // another user's
        Row(-1, r1, 6, 0x10001);
        ExpectSameAsRecordByRecord(5, c.kurs, c.run);
        ExpectSameAsRecordByRecord(5, c.kurs, c.run);  // again, over its own rows
        ExpectSameAsRecordByRecord(6, c.kurs, c.run);
        ExpectNoRowWritten(5, c.kurs, c.run);
        ExpectNoRowWritten(6, c.kurs, c.run);
    }
}

TEST_F(KursRights, ARefreshThatFailsPartWayKeepsNothingOfIt) {
    secServer.Answer(kModul, L"", 0x0F03);
    Row(kursA, -1, 5, 0x1);    // gets the new mask first
    Row(-1, 4711, 5, 0x3, 0);  // would go with the final delete
    Sql("CREATE TRIGGER SecKurs_NoINSERT BEFORE INSERT ON SecKurs BEGIN SELECT RAISE(ABORT, 'gesperrt'); END");
    const std::vector<std::string> before = Rights();
    script.ExpectReport();
    EXPECT_LT(VRQ_DoUpdateSecKurs(5, -1, -1, nullptr), 0);
    Sql("DROP TRIGGER SecKurs_NoINSERT");
    EXPECT_EQ(Rights(), before);
}

// The same comparison on the demo database: its courses, runs, users and rights rows.
class KursRightsDemo : public KursRights {
protected:
    void SetUp() override {
        KursTest::SetUp();
        if (kOnPg) GTEST_SKIP() << "the demo is generated on SQLite";
        std::string error;
        ASSERT_EQ(qv::suite::GenerateDemoData(db->Handle(), 1, 2031, &error), SQLITE_OK) << error;
    }
};

TEST_F(KursRightsDemo, SetBasedRefreshLeavesTheRowsOfTheRefreshRecordByRecord) {
    secServer.Answer(kModul, L"", 0x0001FF03);
    const std::vector<std::string> users = Rows("SELECT lQvSecUserID FROM QvSecUser ORDER BY 1");
    ASSERT_FALSE(users.empty());
    // Central: the runs of every third course's GUID readable, the rest revoked.
    for (const std::string& row : Rows("SELECT guid FROM Kursinstanz WHERE lKursinstanzID % 3 = 0"))
        secServer.Answer(L"", qv::FromUtf8(row), 0x10101);
    for (bool central : {false, true}) {
        Central(central);
        for (const std::string& user : users) {
            ExpectSameAsRecordByRecord(std::stol(user), -1, -1);
            ExpectNoRowWritten(std::stol(user), -1, -1);
        }
    }
}

// A course dialog that starts closing after it was asked twice.
class ClosingAfterTwoRows : public CKursDlg {
public:
    ClosingAfterTwoRows() : CKursDlg(nullptr) {}
    BOOL IsClosing() override { return ++asked > 2; }
    int asked = 0;
};

TEST_F(KursRights, AClosingDialogStopsTheRefreshAndLeavesTheRestForTheNextOne) {
    Central(true);
    secServer.Answer(L"", qv::FromUtf8(Guid("Kurs", kursA)), 0x1);
    secServer.Answer(L"", qv::FromUtf8(Guid("Kurs", kursB)), 0x1);
    secServer.Answer(L"", qv::FromUtf8(Guid("Kursinstanz", runA)), 0x1);
    secServer.Answer(L"", qv::FromUtf8(Guid("Kursinstanz", runB)), 0x1);
    Row(kursA, -1, 5, 0x3);
    Row(kursB, -1, 5, 0x3);
    Row(-1, runA, 5, 0x3);
    Row(-1, runB, 5, 0x3);
    Row(-1, 4711, 5, 0x1, 0);
    ClosingAfterTwoRows dlg;
    ASSERT_EQ(VRQ_DoUpdateSecKurs(5, -1, -1, &dlg), S_OK);
    // Closed while the rights were asked record by record: nothing of the refresh is kept.
    EXPECT_EQ(Int("SELECT count(*) FROM SecKurs WHERE fValid = 1 AND lRight = 3"), 4);
    EXPECT_EQ(Int("SELECT count(*) FROM SecKurs WHERE fValid = 0"), 1);

    // Without the dialog the refresh runs to the end.
    ASSERT_EQ(VRQ_DoUpdateSecKurs(5, -1, -1, nullptr), S_OK);
    EXPECT_EQ(Int("SELECT count(*) FROM SecKurs WHERE fValid = 0"), 0);
    EXPECT_EQ(Int("SELECT count(*) FROM SecKurs"), 4);
}

TEST_F(KursRights, LocalCreatorGetsTheModuleRightsOnTheNewRun) {
    secServer.Answer(kModul, L"", 0x8001FFFF);
    ASSERT_EQ(VRQ_SetSecKurs(kursA, runA), S_OK);
    EXPECT_EQ(Rights(), std::vector<std::string>{"-1|" + K(runA) + "|" + Mask(0x8000FFFF) + "|1"});
    EXPECT_TRUE(secServer.grants.empty());
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 0);
}

class KursCentralCreator : public KursRights {
protected:
    void SetUp() override {
        KursRights::SetUp();
        Central(true);
        SignInAs(person);
        // The person's main function is a course-leader role; a second, inactive one is not used.
        Sql("INSERT INTO Funktion (lFunktionID, strBezeichnung) VALUES (71, 'Klassenlehrer'), (72, 'Kursleiter')");
        Sql("INSERT INTO Kursleitung (lKursleitungID, lFunktionID) VALUES (81, 71), (82, 72)");
        Sql("INSERT INTO PersonFunktion (lPersonFunktionID, lPersonID, lFunktionID, fActive, fHauptFunktion) "
            "VALUES (91, " +
            K(person) + ", 71, 1, 0), (92, " + K(person) + ", 72, 1, 1)");
        secServer.Answer(kRunFunction, qv::FromUtf8(Guid("Kurs", kursB)), 0x00010F01);
    }
};

TEST_F(KursCentralCreator, CreatorLeadsTheNewRunWithTheLeadersRight) {
    ASSERT_EQ(VRQ_SetSecKurs(kursB, runB), S_OK);
    EXPECT_EQ(Rows("SELECT lPersonID, lKursinstanzID, fTeilnehmer, lKursleitungID, fLeiter FROM PersonKurs"),
              std::vector<std::string>{K(person) + "|" + K(runB) + "|0|82|1"});
    EXPECT_EQ(qv::FromUtf8(Text("SELECT strLeitung FROM Kursinstanz WHERE lKursinstanzID = " + K(runB))),
              PersonName(person));
    ASSERT_EQ(secServer.grants.size(), 1u);
    EXPECT_EQ(W2U(secServer.grants[0].objectKey), Guid("Kursinstanz", runB));
    EXPECT_EQ(W2U(secServer.grants[0].key2), Guid("Kurs", kursB));
    EXPECT_EQ(secServer.grants[0].function, qv::MakeGuid("FB4C0C46-8C91-4F55-BA7B-9E5FEBB97358"));
    EXPECT_EQ(secServer.grants[0].mask, static_cast<LONG>(0x88000D01));
    EXPECT_EQ(Rights(), std::vector<std::string>{"-1|" + K(runB) + "|" + Mask(0x10F01 | 0x100) + "|1"});
}

TEST_F(KursCentralCreator, CreatorWithoutActiveRoleIsNoLeader) {
    Sql("UPDATE PersonFunktion SET fActive = 0");
    ASSERT_EQ(VRQ_SetSecKurs(kursB, runB), S_OK);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 0);
    EXPECT_EQ(Rights(), std::vector<std::string>{"-1|" + K(runB) + "|" + Mask(0x10F01) + "|1"});
}

TEST_F(KursCentralCreator, CreatorWhoMayNotReadTheRunGetsNoRow) {
    secServer.Answer(kRunFunction, qv::FromUtf8(Guid("Kurs", kursB)), 0x00010F00);
    ASSERT_EQ(VRQ_SetSecKurs(kursB, runB), S_OK);
    EXPECT_EQ(secServer.grants.size(), 1u);
    EXPECT_TRUE(Rights().empty());
}

}  // namespace
}  // namespace kurstest
