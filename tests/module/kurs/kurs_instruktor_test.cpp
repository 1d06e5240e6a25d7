// Instructors and the course leader: instructor rows and their reuse, the leader of a run with its
// leader text and log entries, and the leader's rights when a leading row comes back into its run.
#include "kurstest.h"

namespace kurstest {
namespace {

class KursInstruktor : public KursTest {
protected:
    void SetUp() override {
        KursTest::SetUp();
        mandant = AddMandant("FW Nord");
        person = AddPerson("Muster", "Hans", mandant);
        other = AddPerson("Meier", "Eva", mandant);
        kurs = AddKurs(3, "GK");
        run = AddRun(kurs, "2031-05-04");
        run2 = AddRun(kurs, "2031-09-01");
    }
    long Instruktor(long lPerson, long lRun, long lYear, long lLeitung, long& id, EPersonKursStatus& status) {
        CVRQKurs booking;
        return booking.AddInstruktorToKurs(lPerson, kurs, lRun, lYear, lLeitung, id, status);
    }
    long mandant = 0, person = 0, other = 0, kurs = 0, run = 0, run2 = 0;
};

TEST_F(KursInstruktor, RunBookingIsDatedAtTheYearsEndWithTheDefaultStatusAndLogged) {
    Sql("UPDATE DataExchange SET lDefaultPersonKursStatus = 7");
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusWarteliste;
    ASSERT_EQ(Instruktor(person, run, 1999, 44, id, status), S_OK);
    ASSERT_NE(id, 0);
    // Unlike a participant, an instructor takes the default status also in a local installation.
    EXPECT_EQ(status, ePersonKursStatusProvisorisch);
    EXPECT_EQ(Reg(id, "lKursinstanzID, lKursleitungID, fTeilnehmer, lStatus, dtDatum, fLeiter, changedBy"),
              std::to_string(run) + "|44|0|7|2031-12-31 00:00:00|0|7");

    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, 0);
    EXPECT_EQ(entries[0].text, L"Person zu einem Kurs hinzugefügt.");
    EXPECT_EQ(entries[0].detail, L"Instruktor:" + PersonName(person) + L" | Status:Provisorisch Angemeldet");
    EXPECT_EQ(entries[0].module, L"Ausbildung.Person.Instruktor");
    EXPECT_EQ(entries[0].value, 7);
    EXPECT_EQ(entries[0].tableID, 42);
    EXPECT_EQ(Plain(entries[0].object), Guid("Kursinstanz", run));
    EXPECT_EQ(Plain(entries[0].parent), Guid("Person", person));

    // The year is the one of the run booked, whatever the caller names.
    long next = 0;
    ASSERT_EQ(Instruktor(other, AddRun(kurs, "2032-03-01"), 2031, 44, next, status), S_OK);
    EXPECT_EQ(Reg(next, "dtDatum"), "2032-12-31 00:00:00");
}

TEST_F(KursInstruktor, BookingWithoutRunWritesTheCallersStatusAndNamesTheCourse) {
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusWarteliste;
    ASSERT_EQ(Instruktor(person, -1, 2032, 44, id, status), S_OK);
    EXPECT_EQ(status, ePersonKursStatusWarteliste);
    EXPECT_EQ(Reg(id, "lKursinstanzID, lStatus, dtDatum"), "-1|3|2032-12-31 00:00:00");
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].tableID, 39);
    EXPECT_EQ(Plain(entries[0].object), Guid("Kurs", kurs));
    EXPECT_EQ(entries[0].detail, L"Instruktor:" + PersonName(person) + L" | Status:Reserve");
}

TEST_F(KursInstruktor, PlannedInstructorIsReusedAndKeepsItsRole) {
    const long planned = AddReg(person, kurs, -1, 0, "2031-12-31", false);
    Sql("UPDATE PersonKurs SET lKursleitungID = 12 WHERE lPersonKursID = " + std::to_string(planned));
    // A planned participant row of the same person is no instructor row.
    AddReg(person, kurs, -1, 0, "2031-12-31", true);
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    ASSERT_EQ(Instruktor(person, run, 2031, 44, id, status), S_OK);
    EXPECT_EQ(id, planned);
    EXPECT_EQ(Reg(planned, "lKursinstanzID, lKursleitungID"), std::to_string(run) + "|12");
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 2);
    // A row the caller names moves to the other run; another planned row of the year stays planned.
    const long again = AddReg(person, kurs, -1, 0, "2031-12-31", false);
    ASSERT_EQ(Instruktor(person, run2, 2031, 44, id, status), S_OK);
    EXPECT_EQ(id, planned);
    EXPECT_EQ(Reg(planned, "lKursinstanzID"), std::to_string(run2));
    EXPECT_EQ(Reg(again, "lKursinstanzID"), "-1");
}

TEST_F(KursInstruktor, NoCheckRefusesAnInstructor) {
    // Already a participant of the closed run: a participant could not be booked, an instructor is.
    Sql("UPDATE Kursinstanz SET fGeschlossen = 1");
    AddReg(person, kurs, run, 0, "2031-05-04", true);
    AddAbsence(person, "2031-05-01", "2031-05-10", "Militär");
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    EXPECT_EQ(Instruktor(person, run, 2031, 44, id, status), S_OK);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lKursinstanzID = " + std::to_string(run)), 2);
    EXPECT_TRUE(script.Log().Records().empty());
    // Only a write the database refuses: reported and returned, nothing logged.
    Sql("CREATE TRIGGER PersonKurs_NoInsert BEFORE INSERT ON PersonKurs BEGIN SELECT RAISE(ABORT, 'gesperrt'); END");
    script.ExpectReport(L"gesperrt");
    const size_t logged = userLog.Entries().size();
    long refused = 0;
    EXPECT_TRUE(FAILED(Instruktor(other, run, 2031, 44, refused, status)));
    EXPECT_EQ(userLog.Entries().size(), logged);
}

TEST_F(KursInstruktor, PersonZeroIsRefusedSilently) {
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    EXPECT_EQ(Instruktor(0, run, 2031, 44, id, status), E_FAIL);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 0);
    EXPECT_TRUE(script.Log().Records().empty());
}

TEST_F(KursInstruktor, LeaderRowTakenBackIntoItsRunRefreshesTheUsersRights) {
    secServer.Answer(L"{5F03AD81-548C-4F27-8FDA-45FC8E49B17C}", L"", 0x00010F01);
    const long leader = AddReg(person, kurs, -1, 0, "2031-12-31", false);
    Sql("UPDATE PersonKurs SET fLeiter = 1 WHERE lPersonKursID = " + std::to_string(leader));

    // A new row never refreshes the rights.
    long fresh = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    ASSERT_EQ(Instruktor(other, run, 2031, 44, fresh, status), S_OK);
    EXPECT_EQ(Int("SELECT count(*) FROM SecKurs"), 0);

    long id = leader;
    ASSERT_EQ(Instruktor(person, run, 2031, 44, id, status), S_OK);
    EXPECT_EQ(Rows("SELECT lKursID, lKursinstanzID, lQvSecUserID, lRight, fValid FROM SecKurs"),
              std::vector<std::string>{"-1|" + std::to_string(run) + "|5|" + std::to_string(0x0F01) + "|1"});
}

class KursLeiter : public KursInstruktor {
protected:
    void SetUp() override {
        KursInstruktor::SetUp();
        first = AddReg(person, kurs, run, 0, "2031-12-31", false);
        second = AddReg(other, kurs, run, 0, "2031-12-31", false);
        elsewhere = AddReg(other, kurs, run2, 0, "2031-12-31", false);
        Sql("UPDATE PersonKurs SET fLeiter = 1 WHERE lPersonKursID IN (" + std::to_string(first) + ", " +
            std::to_string(elsewhere) + ")");
    }
    std::vector<std::string> Leaders() {
        return Rows("SELECT lPersonKursID FROM PersonKurs WHERE fLeiter = 1 ORDER BY lPersonKursID");
    }
    std::string Leitung(long lRun) {
        return Text("SELECT strLeitung FROM Kursinstanz WHERE lKursinstanzID = " + std::to_string(lRun));
    }
    long first = 0, second = 0, elsewhere = 0;
};

TEST_F(KursLeiter, SettingALeaderMovesTheRoleAndNamesTheLeader) {
    // Only a registration as the caller shows it takes the role or loses it: in the run named, with
    // the status, as the person's instructor registration and leading or not as shown; a caller
    // that shows the leader gives the role only once the leaders it showed lost it, so "first",
    // still leading, is one it did not show. Else nothing is written or logged.
    const long teilnehmer = AddReg(other, kurs, run, 0, "2031-12-31");
    for (const auto& [id, leiter, status, shownPerson, shownLeiter] :
         std::initializer_list<std::tuple<long, BOOL, long, long, long>>{{elsewhere, TRUE, -1, 0, -1},
                                                                         {second, TRUE, 3, 0, -1},
                                                                         {second, TRUE, 0, person, -1},
                                                                         {teilnehmer, TRUE, 0, other, -1},
                                                                         {second, TRUE, 0, other, 1},
                                                                         {second, TRUE, 0, other, 0},
                                                                         {second, FALSE, 0, other, 1},
                                                                         {first, FALSE, 0, person, 0}}) {
        script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert");
        EXPECT_EQ(VRQ_SaveKursLeiter(id, run, leiter, status, shownPerson, shownLeiter), E_ABORT)
            << id << " " << leiter << " " << status << " " << shownLeiter;
    }
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung besteht nicht mehr");
    EXPECT_EQ(VRQ_SaveKursLeiter(teilnehmer + 1, run, FALSE), E_ABORT);
    EXPECT_EQ(Leaders(), (std::vector<std::string>{std::to_string(first), std::to_string(elsewhere)}));
    EXPECT_EQ(Leitung(run2), "");
    EXPECT_TRUE(userLog.Entries().empty());

    ASSERT_EQ(VRQ_SaveKursLeiter(second, run, TRUE, 0, other), S_OK);
    // The leader of the other run keeps the role.
    EXPECT_EQ(Leaders(), (std::vector<std::string>{std::to_string(second), std::to_string(elsewhere)}));
    EXPECT_EQ(qv::FromUtf8(Leitung(run)), PersonName(other));
    EXPECT_EQ(Leitung(run2), "");

    // The log says of each person whose role changed.
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].text, L"Kursleiter entfernt.");
    EXPECT_EQ(entries[0].value, 0);
    EXPECT_EQ(Plain(entries[0].parent), Guid("Person", person));
    EXPECT_EQ(entries[1].kind, 1);
    EXPECT_EQ(entries[1].text, L"Neuer Kursleiter gesetzt.");
    EXPECT_EQ(entries[1].detail, PersonName(other));
    EXPECT_EQ(entries[1].module, L"Ausbildung.Instanz");
    EXPECT_EQ(entries[1].value, 1);
    EXPECT_EQ(entries[1].tableID, 42);
    EXPECT_EQ(Plain(entries[1].object), Guid("Kursinstanz", run));
    EXPECT_EQ(Plain(entries[1].parent), Guid("Person", other));
    EXPECT_TRUE(eventServer.Events().empty());

    // A participant leads as well, for a caller that does not show whose registration it is.
    ASSERT_EQ(VRQ_SaveKursLeiter(teilnehmer, run, TRUE), S_OK);
    EXPECT_EQ(Leaders(), (std::vector<std::string>{std::to_string(elsewhere), std::to_string(teilnehmer)}));
}

TEST_F(KursLeiter, SettingTheLeaderAgainRefreshesTheLeaderText) {
    Sql("UPDATE Kursinstanz SET strLeitung = 'Freitext' WHERE lKursinstanzID = " + std::to_string(run));
    Sql("UPDATE Person SET strVorname = 'Hansruedi' WHERE lPersonID = " + std::to_string(person));
    ASSERT_EQ(VRQ_SaveKursLeiter(first, run, TRUE), S_OK);
    EXPECT_EQ(Leaders(), (std::vector<std::string>{std::to_string(first), std::to_string(elsewhere)}));
    EXPECT_EQ(qv::FromUtf8(Leitung(run)), PersonName(person));
    EXPECT_NE(Leitung(run).find("Hansruedi"), std::string::npos);
    ASSERT_EQ(userLog.Entries().size(), 1u);
    EXPECT_EQ(userLog.Entries()[0].text, L"Neuer Kursleiter gesetzt.");
}

TEST_F(KursLeiter, ClearingTheLeaderKeepsTheLeaderText) {
    Sql("UPDATE Kursinstanz SET strLeitung = 'Hans Muster' WHERE lKursinstanzID = " + std::to_string(run));
    ASSERT_EQ(VRQ_SaveKursLeiter(first, run, FALSE), S_OK);
    EXPECT_EQ(Leaders(), std::vector<std::string>{std::to_string(elsewhere)});
    EXPECT_EQ(Leitung(run), "Hans Muster");
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].text, L"Kursleiter entfernt.");
    EXPECT_EQ(entries[0].value, 0);
    EXPECT_EQ(Plain(entries[0].parent), Guid("Person", person));
}

// The change and its entries are one unit: a refused entry leaves the run with the leader it had.
TEST_F(KursLeiter, AFailedLogIsShownAndTheLeaderStays) {
    userLog.fail = E_ACCESSDENIED;
    script.ExpectReport(L"No OLEDB Error available!");
    EXPECT_EQ(VRQ_SaveKursLeiter(second, run, TRUE), E_ACCESSDENIED);
    EXPECT_EQ(Leaders(), (std::vector<std::string>{std::to_string(first), std::to_string(elsewhere)}));
    EXPECT_EQ(Leitung(run), "");
}

}  // namespace
}  // namespace kurstest
