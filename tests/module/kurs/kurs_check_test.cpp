// Double-booking checks per year (planned registrations) and per run, and that handing a
// registration over or moving it into another run is checked as well.
#include "kurstest.h"

namespace kurstest {
namespace {

class KursCheck : public KursTest {
protected:
    void SetUp() override {
        KursTest::SetUp();
        mandant = AddMandant("FW Nord");
        person = AddPerson("Muster", "Hans", mandant);
        kurs = AddKurs(3, "GK");
    }
    long mandant = 0, person = 0, kurs = 0;
};

TEST_F(KursCheck, PlannedTwiceInOneYearIsRefusedWithTheYear) {
    AddReg(person, kurs, -1, 0, "2031-12-31");
    script.ExpectMessageBox(IDOK, L"ist für das Jahr 2031 bereits als geplant diesem Kurs zugewiesen!");
    EXPECT_EQ(VRQ_CheckKursDoppelbelegung(0, person, kurs, -1, 2031), E_ABORT);
    const auto boxes = script.Log().Records(qv::InteractionKind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_NE(boxes[0].text.find(L"Muster"), std::wstring::npos);
}

TEST_F(KursCheck, YearlyCheckCountsOnlyOpenParticipantPlansOfThatYear) {
    AddReg(person, kurs, -1, 0, "2030-12-31");  // another year
    AddReg(person, kurs, -1, 1, "2031-12-31");  // attended
    AddReg(person, kurs, -1, 2, "2031-12-31");
    AddReg(person, kurs, -1, 5, "2031-12-31");
    AddReg(person, kurs, -1, 6, "2031-12-31");
    AddReg(person, kurs, -1, 0, "2031-12-31", false);  // instructor
    EXPECT_EQ(VRQ_CheckKursDoppelbelegung(0, person, kurs, -1, 2031), S_OK);

    for (long status : {3L, 4L, 7L}) {
        const long reg = AddReg(person, kurs, -1, status, "2031-12-31");
        script.ExpectMessageBox(IDOK, L"bereits als geplant");
        EXPECT_EQ(VRQ_CheckKursDoppelbelegung(0, person, kurs, -1, 2031), E_ABORT) << status;
        // The registration being written is not counted against itself.
        EXPECT_EQ(VRQ_CheckKursDoppelbelegung(reg, person, kurs, -1, 2031), S_OK) << status;
        Sql("DELETE FROM PersonKurs WHERE lPersonKursID = " + std::to_string(reg));
    }
}

TEST_F(KursCheck, YearlyCheckIsOnlyForPlansAndNotForMultiRegistration) {
    AddReg(person, kurs, -1, 0, "2031-12-31");
    const long run = AddRun(kurs, "2031-06-01");
    EXPECT_EQ(VRQ_CheckKursDoppelbelegung(0, person, kurs, run, 2031), S_OK);
    Sql("UPDATE Kurs SET fMultiregistration = 1");
    EXPECT_EQ(VRQ_CheckKursDoppelbelegung(0, person, kurs, -1, 2031), S_OK);
}

TEST_F(KursCheck, AnotherOpenRunOfTheSameYearIsRefused) {
    const long runA = AddRun(kurs, "2031-04-01");
    const long runB = AddRun(kurs, "2031-09-01");
    AddReg(person, kurs, runA, 0, "2031-04-01");
    script.ExpectMessageBox(IDOK, L"ist bereits einer Kursaustragung zugewiesen!");
    EXPECT_EQ(VRQ_CheckKursinstanzDoppelbelegung(0, person, kurs, runB), E_ABORT);
    // Instructor registrations count as well.
    const long other = AddPerson("Meier", "Eva", mandant);
    AddReg(other, kurs, runA, 0, "2031-12-31", false);
    script.ExpectMessageBox(IDOK, L"Meier");
    EXPECT_EQ(VRQ_CheckKursinstanzDoppelbelegung(0, other, kurs, runB), E_ABORT);
}

TEST_F(KursCheck, DeregisteredClosedOrOtherYearRunsDoNotBlock) {
    const long target = AddRun(kurs, "2031-09-01");
    AddReg(person, kurs, AddRun(kurs, "2031-03-01"), 5, "2031-03-01");
    AddReg(person, kurs, AddRun(kurs, "2031-05-01", true), 0, "2031-05-01");
    AddReg(person, kurs, AddRun(kurs, "2030-09-01"), 0, "2030-09-01");
    EXPECT_GE(VRQ_CheckKursinstanzDoppelbelegung(0, person, kurs, target), S_OK);
    EXPECT_TRUE(script.Log().Records().empty());
}

TEST_F(KursCheck, MultiRegistrationAllowsTwoRunsButNotTheSameTwice) {
    Sql("UPDATE Kurs SET fMultiregistration = 1");
    const long runA = AddRun(kurs, "2031-04-01");
    const long runB = AddRun(kurs, "2031-09-01");
    AddReg(person, kurs, runA, 0, "2031-04-01");
    EXPECT_GE(VRQ_CheckKursinstanzDoppelbelegung(0, person, kurs, runB), S_OK);
    script.ExpectMessageBox(IDOK, L"ist bereits dieser Kursaustragung zugewiesen!");
    EXPECT_EQ(VRQ_CheckKursinstanzDoppelbelegung(0, person, kurs, runA), E_ABORT);
}

TEST_F(KursCheck, ClosedTargetRunOnlyRefusesAPersonAlreadyInIt) {
    const long closed = AddRun(kurs, "2031-04-01", true);
    AddReg(person, kurs, AddRun(kurs, "2031-09-01"), 0, "2031-09-01");
    EXPECT_GE(VRQ_CheckKursinstanzDoppelbelegung(0, person, kurs, closed), S_OK);
    AddReg(person, kurs, closed, 0, "2031-04-01");
    script.ExpectMessageBox(IDOK, L"dieser Kursaustragung");
    EXPECT_EQ(VRQ_CheckKursinstanzDoppelbelegung(0, person, kurs, closed), E_ABORT);
}

TEST_F(KursCheck, RegistrationAlreadyHoldingThePersonInTheRunIsNotCheckedAgain) {
    const long runA = AddRun(kurs, "2031-04-01");
    const long runB = AddRun(kurs, "2031-09-01");
    AddReg(person, kurs, runA, 0, "2031-04-01");
    // An old double booking stays editable: writing the registration again asks nothing.
    const long regB = AddReg(person, kurs, runB, 0, "2031-09-01");
    EXPECT_EQ(VRQ_CheckKursinstanzDoppelbelegung(regB, person, kurs, runB), S_OK);
}

TEST_F(KursCheck, RegistrationHandedToAnotherPersonIsChecked) {
    const long runA = AddRun(kurs, "2031-04-01");
    const long runB = AddRun(kurs, "2031-09-01");
    const long other = AddPerson("Meier", "Eva", mandant);
    AddReg(other, kurs, runA, 0, "2031-04-01");
    const long reg = AddReg(person, kurs, runB, 0, "2031-09-01");
    script.ExpectMessageBox(IDOK, L"Meier");
    EXPECT_EQ(VRQ_CheckKursinstanzDoppelbelegung(reg, other, kurs, runB), E_ABORT);

    CVRQKurs booking;
    script.ExpectMessageBox(IDOK, L"ist bereits einer Kursaustragung zugewiesen!");
    EXPECT_EQ(booking.SwitchPerson(other, kurs, runB, reg), S_FALSE);
    EXPECT_EQ(Int("SELECT lPersonID FROM PersonKurs WHERE lPersonKursID = " + std::to_string(reg)), person);
    EXPECT_TRUE(userLog.Entries().empty());
}

TEST_F(KursCheck, RegistrationMovedIntoAnotherRunIsChecked) {
    const long runA = AddRun(kurs, "2031-04-01");
    const long runB = AddRun(kurs, "2031-06-01");
    const long runC = AddRun(kurs, "2031-09-01");
    const long regA = AddReg(person, kurs, runA, 0, "2031-04-01");

    // Moving the only registration: the registration itself is no clash.
    CVRQKurs booking;
    long id = regA;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    ASSERT_EQ(booking.AddPersonToKurs(person, kurs, runB, 2031, id, status), S_OK);
    EXPECT_EQ(id, regA);
    EXPECT_EQ(Int("SELECT lKursinstanzID FROM PersonKurs WHERE lPersonKursID = " + std::to_string(regA)), runB);

    // With a second registration in an open run, moving into a third run is refused.
    AddReg(person, kurs, runC, 0, "2031-09-01");
    script.ExpectMessageBox(IDOK, L"ist bereits einer Kursaustragung zugewiesen!");
    id = regA;
    EXPECT_EQ(booking.AddPersonToKurs(person, kurs, runA, 2031, id, status), S_FALSE);
    EXPECT_EQ(Int("SELECT lKursinstanzID FROM PersonKurs WHERE lPersonKursID = " + std::to_string(regA)), runB);
}

}  // namespace
}  // namespace kurstest
