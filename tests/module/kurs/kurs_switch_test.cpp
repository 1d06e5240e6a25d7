// Handing a registration of a run to another person.
#include "kurstest.h"

namespace kurstest {
namespace {

class KursSwitch : public KursTest {
protected:
    void SetUp() override {
        KursTest::SetUp();
        mandant = AddMandant("FW Nord");
        oldPerson = AddPerson("Muster", "Hans", mandant);
        newPerson = AddPerson("O'Brien", "Sean", mandant);
        kurs = AddKurs(3, "LK");
        run = AddRun(kurs, "2031-05-04");
        reg = AddReg(oldPerson, kurs, run, 3, "2031-05-04");
        Sql("UPDATE PersonKurs SET lKursinstanzGruppeID = 55, dtAnmeldung = '2001-01-01 08:00:00'");
    }
    long mandant = 0, oldPerson = 0, newPerson = 0, kurs = 0, run = 0, reg = 0;
};

TEST_F(KursSwitch, RegistrationPassesToTheNewPersonAndKeepsItsData) {
    CVRQKurs booking;
    ASSERT_EQ(booking.SwitchPerson(newPerson, kurs, run, reg), S_OK);
    EXPECT_EQ(Text("SELECT lPersonID, lStatus, lKursinstanzGruppeID, dtDatum, changedBy FROM PersonKurs WHERE "
                   "lPersonKursID = " + std::to_string(reg)),
              std::to_string(newPerson) + "|3|55|2031-05-04 00:00:00|7");
    EXPECT_EQ(Int("SELECT date(dtAnmeldung) = date('now', 'localtime') FROM PersonKurs"), 1);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 1);
}

TEST_F(KursSwitch, EachPersonsHistoryNamesTheOtherOne) {
    CVRQKurs booking;
    ASSERT_EQ(booking.SwitchPerson(newPerson, kurs, run, reg), S_OK);
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 2u);
    for (const auto& e : entries) {
        EXPECT_EQ(e.kind, 1);
        EXPECT_EQ(e.text, L"Person an Person-Kurs Zuordnung getauscht.");
        EXPECT_EQ(e.module, L"Ausbildung.Person");
        EXPECT_EQ(e.value, 3);
        EXPECT_EQ(e.tableID, 42);
        EXPECT_EQ(Plain(e.object), Guid("Kursinstanz", run));
    }
    EXPECT_EQ(entries[0].detail, L"Neu:" + PersonName(newPerson));
    EXPECT_EQ(Plain(entries[0].parent), Guid("Person", oldPerson));
    EXPECT_EQ(entries[1].detail, L"Alt:" + PersonName(oldPerson));
    EXPECT_EQ(Plain(entries[1].parent), Guid("Person", newPerson));
    EXPECT_NE(entries[0].detail.find(L"O'Brien"), std::wstring::npos);
}

TEST_F(KursSwitch, MissingPersonOrRunDoesNothing) {
    CVRQKurs booking;
    EXPECT_EQ(booking.SwitchPerson(0, kurs, run, reg), E_FAIL);
    EXPECT_EQ(booking.SwitchPerson(newPerson, kurs, -1, reg), E_FAIL);
    EXPECT_EQ(Int("SELECT lPersonID FROM PersonKurs"), oldPerson);
    EXPECT_TRUE(script.Log().Records().empty());
}

TEST_F(KursSwitch, NewPersonAlreadyInTheRunIsRefused) {
    AddReg(newPerson, kurs, run, 0, "2031-05-04");
    Sql("UPDATE Kurs SET fMultiregistration = 1");
    CVRQKurs booking;
    script.ExpectMessageBox(IDOK, L"ist bereits dieser Kursaustragung zugewiesen!");
    EXPECT_EQ(booking.SwitchPerson(newPerson, kurs, run, reg), S_FALSE);
    EXPECT_EQ(Int("SELECT lPersonID FROM PersonKurs WHERE lPersonKursID = " + std::to_string(reg)), oldPerson);
}

TEST_F(KursSwitch, NewPersonMustMeetThePreconditions) {
    const long basis = AddKurs(3, "BASIS");
    Sql("INSERT INTO Kursprecondition (lKurspreconditionID, lKursID, lOrder, lOperator) VALUES (1, " +
        std::to_string(kurs) + ", 1, 0)");
    Sql("INSERT INTO KurspreconditionItem (lKurspreconditionID, lKursID, lOperator, lMaxYear, lLockYear) VALUES (1, " +
        std::to_string(basis) + ", 1, -1, -1)");
    CVRQKurs booking;
    script.ExpectMessageBox(IDNO, L"kann diesem Kurs nicht hinzugefügt werden!");
    EXPECT_EQ(booking.SwitchPerson(newPerson, kurs, run, reg), S_FALSE);
    EXPECT_EQ(Int("SELECT lPersonID FROM PersonKurs WHERE lPersonKursID = " + std::to_string(reg)), oldPerson);

    AddReg(newPerson, basis, -1, 1, "2029-12-31");
    EXPECT_EQ(booking.SwitchPerson(newPerson, kurs, run, reg), S_OK);
}

TEST_F(KursSwitch, ARegistrationDeletedMeanwhileIsReportedAndNothingIsLogged) {
    Sql("DELETE FROM PersonKurs");
    CVRQKurs booking;
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung besteht nicht mehr, sie wurde inzwischen entfernt.");
    EXPECT_EQ(booking.SwitchPerson(newPerson, kurs, run, reg), E_ABORT);
    EXPECT_EQ(CountRegs(), 0);
    EXPECT_TRUE(userLog.Entries().empty());
}

// The hand-over and its entries are one unit: without its entries it is not stored.
TEST_F(KursSwitch, FailingLogTakesTheSwitchBack) {
    userLog.fail = E_ACCESSDENIED;
    CVRQKurs booking;
    script.ExpectReport(L"No OLEDB Error available!");
    EXPECT_EQ(booking.SwitchPerson(newPerson, kurs, run, reg), E_ACCESSDENIED);
    EXPECT_EQ(Int("SELECT lPersonID FROM PersonKurs"), oldPerson);
}

}  // namespace
}  // namespace kurstest
