// Changing the status of a registration: the local installation's rule for courses it does not
// own, the deregistration date, notification items and the user-log entry.
#include "kurstest.h"

namespace kurstest {
namespace {

class KursStatus : public KursTest {
protected:
    void SetUp() override {
        KursTest::SetUp();
        mandant = AddMandant("FW Nord", true);
        person = AddPerson("Muster", "Hans", mandant);
        kantonal = AddKurs(2, "KK");
        lokal = AddKurs(3, "LK");
        kantonalRun = AddRun(kantonal, "2031-05-04");
        lokalRun = AddRun(lokal, "2031-05-04");
    }
    long Update(BOOL teilnehmer, long reg, long lRun, EPersonKursStatus status) {
        CVRQKurs booking;
        return booking.UpdatePersonKursStatus(teilnehmer, reg, person, lRun, status);
    }
    long mandant = 0, person = 0, kantonal = 0, lokal = 0, kantonalRun = 0, lokalRun = 0;
};

TEST_F(KursStatus, LocalInstallationMayOnlyDeregisterFromCantonalRuns) {
    const long reg = AddReg(person, kantonal, kantonalRun, 0, "2031-05-04");
    EXPECT_EQ(Update(TRUE, reg, kantonalRun, ePersonKursStatusBesucht), E_FAIL);
    EXPECT_EQ(Reg(reg, "lStatus"), "0");
    EXPECT_TRUE(script.Log().Records().empty());
    EXPECT_TRUE(userLog.Entries().empty());
}

TEST_F(KursStatus, LocalInstallationCannotChangeAClosedOrUnknownRun) {
    Sql("UPDATE Kursinstanz SET fGeschlossen = 1 WHERE lKursinstanzID = " + std::to_string(kantonalRun));
    const long reg = AddReg(person, kantonal, kantonalRun, 0, "2031-05-04");
    script.ExpectMessageBox(IDOK, L"Die Kursaustragung ist geschlossen, es können keine weiteren Änderungen mehr "
                                  L"vorgenommen werden.");
    EXPECT_EQ(Update(TRUE, reg, kantonalRun, ePersonKursStatusAbgemeldet), E_ABORT);
    EXPECT_EQ(Reg(reg, "lStatus"), "0");
    EXPECT_EQ(script.Log().Records(qv::InteractionKind::MessageBox)[0].type, MB_OK | MB_ICONINFORMATION);

    // A run that cannot be read counts as closed.
    script.ExpectMessageBox(IDOK, L"geschlossen");
    EXPECT_EQ(Update(TRUE, reg, 99999, ePersonKursStatusAbgemeldet), E_ABORT);
}

TEST_F(KursStatus, DeregistrationFromAnOpenRunDatesTheRegistration) {
    const long reg = AddReg(person, kantonal, kantonalRun, 0, "2031-05-04");
    ASSERT_EQ(Update(TRUE, reg, kantonalRun, ePersonKursStatusAbgemeldet), S_OK);
    EXPECT_EQ(Reg(reg, "lStatus, changedBy"), "5|7");
    EXPECT_EQ(Reg(reg, "date(dtDatum) = date('now', 'localtime')"), "1");
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, 1);
    EXPECT_EQ(entries[0].text, L"Person-Kurs Zuordnung aktualisiert.");
    EXPECT_EQ(entries[0].detail, L"Teilnehmer:" + PersonName(person) + L" | Status:5");
    EXPECT_EQ(entries[0].module, L"Ausbildung.Person");
    EXPECT_EQ(entries[0].value, 5);
    EXPECT_EQ(entries[0].tableID, 42);
    EXPECT_EQ(Plain(entries[0].object), Guid("Kursinstanz", kantonalRun));
    EXPECT_EQ(Plain(entries[0].parent), Guid("Person", person));
}

TEST_F(KursStatus, LocalCoursesAndTheCentralInstallationAcceptEveryStatus) {
    Sql("UPDATE Kursinstanz SET fGeschlossen = 1");
    const long regLokal = AddReg(person, lokal, lokalRun, 0, "2031-05-04");
    ASSERT_EQ(Update(TRUE, regLokal, lokalRun, ePersonKursStatusBesucht), S_OK);
    EXPECT_EQ(Reg(regLokal, "lStatus, dtDatum"), "1|2031-05-04 00:00:00");

    Central(true);
    const long regKantonal = AddReg(person, kantonal, kantonalRun, 0, "2031-05-04");
    ASSERT_EQ(Update(TRUE, regKantonal, kantonalRun, ePersonKursStatusTeilweise), S_OK);
    EXPECT_EQ(Reg(regKantonal, "lStatus"), "6");
    EXPECT_TRUE(script.Log().Records().empty());
}

TEST_F(KursStatus, PlannedRegistrationIsNeitherDatedNorRuleBoundAndNamesTheCourse) {
    const long reg = AddReg(person, kantonal, -1, 0, "2031-12-31");
    ASSERT_EQ(Update(TRUE, reg, -1, ePersonKursStatusAbgemeldet), S_OK);
    EXPECT_EQ(Reg(reg, "lStatus, dtDatum"), "5|2031-12-31 00:00:00");
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].tableID, 39);
    EXPECT_EQ(Plain(entries[0].object), Guid("Kurs", kantonal));
}

TEST_F(KursStatus, InstructorStatusLeavesDateAndWriterAlone) {
    const long reg = AddReg(person, kantonal, kantonalRun, 0, "2031-12-31", false);
    Sql("UPDATE PersonKurs SET changedBy = 3");
    Central(true);
    ASSERT_EQ(Update(FALSE, reg, kantonalRun, ePersonKursStatusAbgemeldet), S_OK);
    EXPECT_EQ(Reg(reg, "lStatus, dtDatum, changedBy"), "5|2031-12-31 00:00:00|3");
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].module, L"Ausbildung.Person.Instruktor");
    EXPECT_EQ(entries[0].detail, L"Instruktor:" + PersonName(person) + L" | Status:5");
}

TEST_F(KursStatus, LogEntryFollowsTheStoredRowNotTheCaller) {
    const long reg = AddReg(person, kantonal, kantonalRun, 0, "2031-12-31", false);
    Central(true);
    ASSERT_EQ(Update(TRUE, reg, kantonalRun, ePersonKursStatusBesucht), S_OK);
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].module, L"Ausbildung.Person.Instruktor");
}

TEST_F(KursStatus, CentralInstallationQueuesTheNewStatus) {
    Central(true);
    const long reg = AddReg(person, kantonal, kantonalRun, 0, "2031-05-04");
    ASSERT_EQ(Update(TRUE, reg, kantonalRun, ePersonKursStatusWarteliste), S_OK);
    EXPECT_EQ(Text("SELECT lArt, lStatus, lPersonID FROM KursnotificationItem"), "2|3|" + std::to_string(person));
}

}  // namespace
}  // namespace kurstest
