// Course rights rows: the refresh of a user's rows in both kinds of installation, the leader's
// right, the early stop for a closing dialog, and the creator's row of a new run.
#include "kursdlg.h"
#include "kurstest.h"

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
    ASSERT_EQ(VRQ_DoUpdateSecKurs(5, 0, -1, nullptr), S_OK);
    EXPECT_EQ(Rights(), (std::vector<std::string>{"-1|" + K(runA) + "|" + Mask(0x10101) + "|1",
                                                  "-1|" + K(runB) + "|1|1", "-1|" + K(runC) + "|" + Mask(0x10001) + "|1"}));
}

// A course dialog that starts closing after it was asked twice.
class ClosingAfterTwoRows : public CKursDlg {
public:
    ClosingAfterTwoRows() : CKursDlg(nullptr) {}
    BOOL IsClosing() override { return ++asked > 2; }
    int asked = 0;
};

TEST_F(KursRights, AClosingDialogStopsTheRefreshAndLeavesTheRestForTheNextOne) {
    secServer.Answer(kModul, L"", 0x1);
    Row(kursA, -1, 5, 0x1);
    Row(kursB, -1, 5, 0x1);
    Row(-1, runA, 5, 0x1);
    Row(-1, runB, 5, 0x1);
    Row(-1, 4711, 5, 0x1, 0);
    ClosingAfterTwoRows dlg;
    ASSERT_EQ(VRQ_DoUpdateSecKurs(5, -1, -1, &dlg), S_OK);
    // Two rows confirmed, the others still invalid, and the final delete left out.
    EXPECT_EQ(Int("SELECT count(*) FROM SecKurs WHERE fValid = 1"), 2);
    EXPECT_EQ(Int("SELECT count(*) FROM SecKurs WHERE fValid = 0"), 3);

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
