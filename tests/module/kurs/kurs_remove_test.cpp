// Taking registrations out of their runs and deleting them: the local installation's choice, the
// online removal, status reset, leaders, log entries and notification items.
#include "centralstandin.h"
#include "kurstest.h"

#ifdef QV_KURS_PG
#include "pgcluster.h"
#include "pgfaultproxy.h"
#include "qvregvalue.h"
#endif

namespace kurstest {
namespace {

using qvtest::CentralStandIn;

class KursRemove : public KursTest {
protected:
    void SetUp() override {
        KursTest::SetUp();
        mandant = AddMandant("FW Nord", true);
        person = AddPerson("Muster", "Hans", mandant);
        kurs = AddKurs(3, "GK");
        run = AddRun(kurs, "2031-05-04");
    }
    long Regs() { return static_cast<long>(Int("SELECT count(*) FROM PersonKurs")); }
    std::vector<std::string> Items() {
        return Rows("SELECT lPersonID, lKursinstanzID, lArt, lStatus FROM KursnotificationItem ORDER BY "
                    "lKursnotificationItemID");
    }
    long mandant = 0, person = 0, kurs = 0, run = 0;
};

TEST_F(KursRemove, ParticipantLeavesTheRunAndWaitingStatusesArePlannedAgain) {
    Central(true);
    const std::vector<std::pair<long, long>> statuses = {{0, 0}, {1, 1}, {2, 2}, {3, 0}, {4, 0},
                                                         {5, 5}, {6, 6}, {7, 0}};
    for (const auto& [before, after] : statuses) {
        const long p = AddPerson("Person", std::to_string(before), mandant);
        const long reg = AddReg(p, kurs, run, before, "2031-05-04");
        Sql("UPDATE PersonKurs SET lKursinstanzGruppeID = 3, changedBy = 0 WHERE lPersonKursID = " + K(reg));
        CVRQKurs booking;
        ASSERT_EQ(booking.RemovePersonFromKursinstanz(reg, 0, -1, true), S_OK) << before;
        EXPECT_EQ(Reg(reg, "lKursinstanzID, lKursinstanzGruppeID, lStatus, changedBy"), "-1|-1|" + K(after) + "|7")
            << before;
    }
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), statuses.size());
    EXPECT_EQ(entries[3].kind, 2);
    EXPECT_EQ(entries[3].text, L"Person von einer Kursaustragung entfernt.");
    EXPECT_EQ(entries[3].detail, L"Teilnehmer:Person 3 | Status:auf Warteliste");
    EXPECT_EQ(entries[3].module, L"Ausbildung.Person");
    EXPECT_EQ(entries[3].value, 3);
    EXPECT_EQ(entries[3].tableID, 42);
    EXPECT_EQ(Plain(entries[3].object), Guid("Kursinstanz", run));
    // Every removal is queued for the participant's Mandant as kind 3 with status 0.
    const auto items = Items();
    ASSERT_EQ(items.size(), statuses.size());
    EXPECT_EQ(items[0].substr(items[0].find('|')), "|" + K(run) + "|3|0");
    EXPECT_TRUE(script.Log().Records().empty());
}

TEST_F(KursRemove, NothingToDoWithoutARunOrWithoutARegistration) {
    const long planned = AddReg(person, kurs, -1, 3, "2031-12-31");
    Sql("UPDATE PersonKurs SET changedBy = 0");
    CVRQKurs booking;
    EXPECT_EQ(booking.RemovePersonFromKursinstanz(planned, person, -1, true), S_OK);
    EXPECT_EQ(Reg(planned, "lStatus, changedBy"), "3|0");
    EXPECT_EQ(booking.RemovePersonFromKursinstanz(99999, person, -1, true), S_FALSE);
    EXPECT_EQ(booking.RemoveInstruktorFromKursinstanz(99999, person, -1), S_FALSE);
    EXPECT_EQ(booking.RemovePersonFromKursinstanz(0, person, run, true), E_FAIL);
    EXPECT_TRUE(userLog.Entries().empty());
    EXPECT_TRUE(script.Log().Records().empty());
}

TEST_F(KursRemove, LocalInstallationOffersToDeregisterInstead) {
    const long reg = AddReg(person, kurs, run, 0, "2031-05-04");
    CVRQKurs booking;

    script.ExpectSelection(0);
    EXPECT_EQ(booking.RemovePersonFromKursinstanz(reg, person, run, true), E_ABORT);
    const auto boxes = script.Log().Records(qv::InteractionKind::Selection);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].selection.title, L"Person entfernen");
    EXPECT_EQ(boxes[0].selection.statement, L"Die Person wird nicht mehr an der Austragung teilnehmen.");
    EXPECT_EQ(boxes[0].selection.choice1, L"Die Person von der Austragung abmelden.");
    EXPECT_EQ(boxes[0].selection.choice2, L"Die Anmeldung löschen.");
    EXPECT_EQ(boxes[0].selection.note,
              L"Notieren Sie anschliessend in den Bemerkungen den Grund für die Abmeldung.");
    EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus"), K(run) + "|0");

    script.ExpectSelection(1);
    EXPECT_EQ(booking.RemovePersonFromKursinstanz(reg, person, run, true), S_FALSE);
    EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus, date(dtDatum) = date('now', 'localtime')"), K(run) + "|5|1");
    ASSERT_EQ(userLog.Entries().size(), 1u);
    EXPECT_EQ(userLog.Entries()[0].text, L"Person-Kurs Zuordnung aktualisiert.");

    script.ExpectSelection(2);
    EXPECT_EQ(booking.RemovePersonFromKursinstanz(reg, person, run, true), S_OK);
    EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus"), "-1|5");
    // Asked only when the caller wishes.
    const long other = AddReg(AddPerson("Meier", "Eva", mandant), kurs, run, 0, "2031-05-04");
    EXPECT_EQ(booking.RemovePersonFromKursinstanz(other, 0, run, false), S_OK);
    EXPECT_TRUE(Items().empty());
}

TEST_F(KursRemove, CentralRefusalKeepsTheParticipantInTheRun) {
    CentralStandIn central;
    Sql("UPDATE DataExchange SET fOnlineKursEnabled = 1, strOnlineKursURL = '" + central.BaseUrl() + "'");
    optionServer.Set(-1060, L"OnlineKursanmeldungASPX", L"kurs/anmeldung.aspx");
    const long kantonal = AddKurs(2, "KK");
    const long kantonalRun = AddRun(kantonal, "2031-05-04");
    const long reg = AddReg(person, kantonal, kantonalRun, 0, "2031-05-04");
    CVRQKurs booking;
    central.QueueStatus("closed");
    script.ExpectSelection(2);
    script.ExpectMessageBox(IDOK, L"Die Kursaustragung ist geschlossen");
    EXPECT_EQ(booking.RemovePersonFromKursinstanz(reg, 0, kantonalRun, true), E_ABORT);
    EXPECT_EQ(Reg(reg, "lKursinstanzID"), K(kantonalRun));
    ASSERT_EQ(central.RequestCount(), 1u);
    // The person the caller did not name is read before the request.
    EXPECT_EQ(central.Requests()[0].Param("Op"), "remove");
    EXPECT_EQ(central.Requests()[0].Param("Person"), "{" + Guid("Person", person) + "}");
    EXPECT_TRUE(userLog.Entries().empty());

    script.ExpectSelection(2);
    EXPECT_EQ(booking.RemovePersonFromKursinstanz(reg, 0, kantonalRun, true), S_OK);
    EXPECT_EQ(Reg(reg, "lKursinstanzID"), "-1");
}

TEST_F(KursRemove, LeadingInstructorLeavesTheRunStillFlaggedAsLeaderAndKeepsItsStatus) {
    Central(true);
    const long reg = AddReg(person, kurs, run, 3, "2031-12-31", false);
    Sql("UPDATE PersonKurs SET fLeiter = 1 WHERE lPersonKursID = " + K(reg));
    CVRQKurs booking;
    ASSERT_EQ(booking.RemoveInstruktorFromKursinstanz(reg, 0, -1), S_OK);
    EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus, fLeiter"), "-1|3|1");
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, 2);
    EXPECT_EQ(entries[0].text, L"Person von einer Kursaustragung entfernt.");
    EXPECT_EQ(entries[0].detail, L"Instruktor:" + PersonName(person) + L" | Status:Reserve");
    EXPECT_EQ(entries[0].module, L"Ausbildung.Person.Instruktor");
    EXPECT_EQ(entries[0].value, 3);
    EXPECT_EQ(entries[0].tableID, 42);
    EXPECT_EQ(entries[0].code, 0);
    EXPECT_EQ(entries[0].grouping, 0);
    EXPECT_EQ(Plain(entries[0].object), Guid("Kursinstanz", run));
    EXPECT_EQ(Plain(entries[0].parent), Guid("Person", person));
    // The removal is queued in the instructor's own notification, not in the Mandant's for participants.
    EXPECT_EQ(Rows("SELECT n.lPersonID, i.lPersonID, i.lKursinstanzID, i.lArt, i.lStatus FROM KursnotificationItem i "
                   "JOIN Kursnotification n ON n.lKursnotificationID = i.lKursnotificationID"),
              std::vector<std::string>{K(person) + "|" + K(person) + "|" + K(run) + "|3|0"});
}

TEST_F(KursRemove, ALeaderTakenOutAndBackIntoItsRunGetsItsRightsAgain) {
    secServer.Answer(L"{5F03AD81-548C-4F27-8FDA-45FC8E49B17C}", L"", 0x00010F01);
    const long reg = AddReg(person, kurs, run, 0, "2031-12-31", false);
    Sql("UPDATE PersonKurs SET fLeiter = 1 WHERE lPersonKursID = " + K(reg));
    CVRQKurs booking;
    ASSERT_EQ(booking.RemoveInstruktorFromKursinstanz(reg, person, run), S_OK);
    Sql("DELETE FROM SecKurs");
    long id = reg;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    ASSERT_EQ(booking.AddInstruktorToKurs(person, kurs, run, 2031, 44, id, status), S_OK);
    EXPECT_EQ(id, reg);
    EXPECT_EQ(Reg(reg, "lKursinstanzID, fLeiter"), K(run) + "|1");
    EXPECT_EQ(Rows("SELECT lKursID, lKursinstanzID, lQvSecUserID, lRight, fValid FROM SecKurs"),
              std::vector<std::string>{"-1|" + K(run) + "|5|" + K(0x0F01) + "|1"});
}

TEST_F(KursRemove, RightsOfTheUserAreRebuiltForTheRunTheLeaderLeft) {
    secServer.Answer(L"{5F03AD81-548C-4F27-8FDA-45FC8E49B17C}", L"", 0x0F01);
    const long helper = AddReg(AddPerson("Meier", "Eva", mandant), kurs, run, 0, "2031-12-31", false);
    const long reg = AddReg(person, kurs, run, 0, "2031-12-31", false);
    Sql("UPDATE PersonKurs SET fLeiter = 1 WHERE lPersonKursID = " + K(reg));
    Sql("INSERT INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight, fValid) VALUES (-1, " + K(run) +
        ", 5, 1, 1)");
    CVRQKurs booking;
    // An instructor who does not lead leaves the rights alone.
    ASSERT_EQ(booking.RemoveInstruktorFromKursinstanz(helper, 0, run), S_OK);
    EXPECT_EQ(Int("SELECT lRight FROM SecKurs"), 1);
    ASSERT_EQ(booking.RemoveInstruktorFromKursinstanz(reg, person, run), S_OK);
    EXPECT_EQ(Rows("SELECT lKursinstanzID, lQvSecUserID, lRight FROM SecKurs"),
              std::vector<std::string>{K(run) + "|5|" + K(0x0F01)});
}

TEST_F(KursRemove, InstructorWithoutRegistrationIdIsShownWhenARunWasNamed) {
    CVRQKurs booking;
    EXPECT_EQ(booking.RemoveInstruktorFromKursinstanz(0, person, -1), E_FAIL);
    script.ExpectReport(L"No OLEDB Error available!");
    EXPECT_EQ(booking.RemoveInstruktorFromKursinstanz(0, person, run), E_FAIL);
}

TEST_F(KursRemove, PlannedRegistrationIsDeletedAndTheEntryNamesTheCourse) {
    const long planned = AddReg(person, kurs, -1, 0, "2031-12-31");
    CVRQKurs booking;
    ASSERT_EQ(booking.RemovePersonFromKurs(planned, person, -1), S_OK);
    EXPECT_EQ(Regs(), 0);
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, 2);
    EXPECT_EQ(entries[0].text, L"Person von einem Kurs entfernt.");
    EXPECT_EQ(entries[0].detail, L"Teilnehmer:" + PersonName(person) + L" | Status:Geplant");
    EXPECT_EQ(entries[0].tableID, 39);
    EXPECT_EQ(Plain(entries[0].object), Guid("Kurs", kurs));
    EXPECT_EQ(Plain(entries[0].parent), Guid("Person", person));
    EXPECT_TRUE(script.Log().Records().empty());
}

TEST_F(KursRemove, RegistrationInARunIsDeletedAndTheEntryNamesThatRun) {
    Central(true);
    // Not the first run of the table, by number nor by key: the entries name the run the rows were in.
    const long later = AddRun(kurs, "2031-09-07");
    Sql("UPDATE Kursinstanz SET guid = 'FFFFFFFF-FFFF-4FFF-8FFF-FFFFFFFFFFFF' WHERE lKursinstanzID = " + K(later));
    const long reg = AddReg(person, kurs, later, 0, "2031-09-07");
    const long instr = AddReg(person, kurs, later, 0, "2031-12-31", false);
    CVRQKurs booking;
    ASSERT_EQ(booking.RemovePersonFromKurs(reg, person, -1), S_OK);
    ASSERT_EQ(booking.RemoveInstruktorFromKurs(instr, person, later), S_OK);
    EXPECT_EQ(Regs(), 0);
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].text, L"Person von einer Kursaustragung entfernt.");
    EXPECT_EQ(entries[1].text, L"Person von einem Kurs entfernt.");
    EXPECT_EQ(entries[1].tableID, 42);
    EXPECT_EQ(Plain(entries[1].object), Guid("Kursinstanz", later));
    EXPECT_EQ(entries[3].text, L"Person von einem Kurs entfernt.");
    EXPECT_EQ(entries[3].module, L"Ausbildung.Person.Instruktor");
    EXPECT_EQ(entries[3].detail, L"Instruktor:" + PersonName(person) + L" | Status:Angemeldet");
    EXPECT_EQ(entries[3].tableID, 42);
    EXPECT_EQ(Plain(entries[3].object), Guid("Kursinstanz", later));

    // Removed a second time (a page that still shows them, another user who removed them first):
    // said to be gone; moved by another user from the run named to another one: said to be changed.
    // Nothing is written and no entry names nobody.
    const long moved = AddReg(person, kurs, run, 3, "2031-05-04");
    const long movedInstr = AddReg(person, kurs, run, 0, "2031-12-31", false);
    const long other = AddPerson("Meier", "Eva", mandant);
    EPersonKursStatus eMoved = ePersonKursStatusAngemeldet;
    const std::size_t items = Items().size();
    const std::function<long()> again[] = {
        [&] { return booking.RemovePersonFromKurs(reg, person, later); },
        [&] { return booking.RemoveInstruktorFromKurs(instr, person, later); },
        [&] { return booking.RemovePersonFromKursinstanz(reg, person, later, false); },
        [&] { return booking.RemoveInstruktorFromKursinstanz(instr, person, later); },
        [&] { return booking.UpdatePersonKursStatus(TRUE, reg, person, later, ePersonKursStatusAbgemeldet); },
        [&] { return booking.RemovePersonFromKursinstanz(moved, person, later, false); },
        [&] { return booking.RemoveInstruktorFromKursinstanz(movedInstr, person, later); },
        [&] { return booking.RemovePersonFromKurs(moved, person, later); },
        [&] { return booking.RemoveInstruktorFromKurs(movedInstr, person, later); },
        // The plan's rows, shown without a run: placed into a run meanwhile.
        [&] { return booking.RemovePersonFromKurs(moved, person, -1, 3, -1); },
        [&] { return booking.RemoveInstruktorFromKurs(movedInstr, person, -1, 0, -1); },
        [&] { return booking.ChangePersonKursinstanz(moved, person, kurs, -1, later, 0, eMoved); },
        [&] { return booking.ChangeInstruktorKursinstanz(movedInstr, person, kurs, -1, later, 0, 44, eMoved); },
        // Shown in its run with another status than it holds now: neither deleted, taken out of the
        // run, moved, handed over nor edited.
        [&] { return booking.RemovePersonFromKurs(moved, person, run, 0); },
        [&] { return booking.RemoveInstruktorFromKurs(movedInstr, person, run, 5); },
        [&] { return booking.RemovePersonFromKursinstanz(moved, person, run, false, 0); },
        [&] { return booking.RemoveInstruktorFromKursinstanz(movedInstr, person, run, 5); },
        [&] { return booking.ChangePersonKursinstanz(moved, person, kurs, run, later, 0, eMoved, 0); },
        [&] { return booking.ChangeInstruktorKursinstanz(movedInstr, person, kurs, run, later, 0, 44, eMoved, 5); },
        [&] { return booking.SwitchPerson(other, kurs, run, moved, 0); },
        [&] {
            return booking.UpdatePersonKursData(moved, kurs, CQvDateTime(2031, 5, 4, 0, 0, 0), L"x", L"", -1,
                                                ePersonKursStatusAngemeldet, -1, FALSE, 0, run);
        },
    };
    for (const auto& remove : again) {
        script.ExpectMessageBox(IDOK, &remove < &again[5]
                                          ? L"Diese Anmeldung besteht nicht mehr, sie wurde inzwischen entfernt."
                                          : L"Diese Anmeldung wurde inzwischen geändert oder entfernt.");
        EXPECT_EQ(remove(), E_ABORT);
    }
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), std::size(again));
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
    EXPECT_EQ(userLog.Entries().size(), 4u);
    EXPECT_EQ(Items().size(), items);
    EXPECT_EQ(Reg(moved, "lKursinstanzID, lStatus, lPersonID, strBemerkung"), K(run) + "|3|" + K(person) + "|");
    EXPECT_EQ(Reg(movedInstr, "lKursinstanzID, lStatus"), K(run) + "|0");
    EXPECT_EQ(Regs(), 2);

    // Handed over to another person meanwhile (the participant's through the hand-over, the
    // instructor's row by another writer), in the same run with the same status: every member
    // given the person it was shown for leaves the new person's registration as it is.
    ASSERT_EQ(booking.SwitchPerson(other, kurs, run, moved, 3, person), S_OK);
    Sql("UPDATE PersonKurs SET lPersonID = " + K(other) + " WHERE lPersonKursID = " + K(movedInstr));
    const std::size_t logged = userLog.Entries().size();
    const long third = AddPerson("Keller", "Urs", mandant);
    const std::function<long()> handedOver[] = {
        [&] { return booking.RemovePersonFromKurs(moved, person, run, 3); },
        [&] { return booking.RemoveInstruktorFromKurs(movedInstr, person, run, 0); },
        [&] { return booking.RemovePersonFromKursinstanz(moved, person, run, false, 3); },
        [&] { return booking.RemoveInstruktorFromKursinstanz(movedInstr, person, run, 0); },
        [&] { return booking.UpdatePersonKursStatus(TRUE, moved, person, run, ePersonKursStatusAbgemeldet, 3); },
        [&] { return booking.UpdatePersonKursStatus(FALSE, movedInstr, person, run, ePersonKursStatusAbgemeldet, 0); },
        [&] { return booking.ChangePersonKursinstanz(moved, person, kurs, run, later, 0, eMoved, 3); },
        [&] { return booking.ChangeInstruktorKursinstanz(movedInstr, person, kurs, run, later, 0, 44, eMoved, 0); },
        [&] { return booking.SwitchPerson(third, kurs, run, moved, 3, person); },
        [&] {
            return booking.UpdatePersonKursData(moved, kurs, CQvDateTime(2031, 5, 4, 0, 0, 0), L"x", L"", -1,
                                                ePersonKursStatusAngemeldet, -1, FALSE, 3, run, person);
        },
        [&] {
            long id = moved;
            EPersonKursStatus status = ePersonKursStatusAngemeldet;
            return booking.AddPersonToKurs(person, kurs, later, 2031, id, status);
        },
        [&] {
            long id = movedInstr;
            EPersonKursStatus status = ePersonKursStatusAngemeldet;
            return booking.AddInstruktorToKurs(person, kurs, later, 2031, 44, id, status);
        },
    };
    for (const auto& change : handedOver) {
        script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert oder entfernt.");
        EXPECT_EQ(change(), E_ABORT) << &change - handedOver;
    }
    EXPECT_EQ(userLog.Entries().size(), logged);
    EXPECT_EQ(Items().size(), items);
    EXPECT_EQ(Reg(moved, "lKursinstanzID, lStatus, lPersonID, strBemerkung"), K(run) + "|3|" + K(other) + "|");
    EXPECT_EQ(Reg(movedInstr, "lKursinstanzID, lStatus, lPersonID"), K(run) + "|0|" + K(other));
    EXPECT_EQ(Regs(), 2);

    // Shown as the run's leader, and another user set another leader meanwhile: no member given the
    // leader flag shown changes the row that no longer leads.
    const long leader = AddReg(person, kurs, run, 0, "2031-12-31", false);
    Sql("UPDATE PersonKurs SET fLeiter = 1 WHERE lPersonKursID = " + K(leader));
    ASSERT_EQ(VRQ_SaveKursLeiter(movedInstr, run, TRUE, 0, other), S_OK);
    const std::size_t loggedLeader = userLog.Entries().size();
    const std::function<long()> leaderSet[] = {
        [&] { return booking.RemoveInstruktorFromKurs(leader, person, run, 0, run, 1); },
        [&] { return booking.RemoveInstruktorFromKursinstanz(leader, person, run, 0, run, 1); },
        [&] {
            return booking.UpdatePersonKursStatus(FALSE, leader, person, run, ePersonKursStatusAbgemeldet, 0,
                                                  CVRQKurs::kRunAsNamed, 1);
        },
        [&] { return booking.ChangeInstruktorKursinstanz(leader, person, kurs, run, later, 0, 44, eMoved, 0, 1); },
    };
    for (const auto& change : leaderSet) {
        script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert oder entfernt.");
        EXPECT_EQ(change(), E_ABORT) << &change - leaderSet;
    }
    EXPECT_EQ(userLog.Entries().size(), loggedLeader);
    EXPECT_EQ(Items().size(), items);
    EXPECT_EQ(Reg(leader, "lKursinstanzID, lStatus, fLeiter"), K(run) + "|0|0");
    EXPECT_EQ(Reg(movedInstr, "fLeiter"), "1");
}

TEST_F(KursRemove, DeregisteringOrCancellingInTheChoiceDeletesNothing) {
    const long reg = AddReg(person, kurs, run, 0, "2031-05-04");
    CVRQKurs booking;
    script.ExpectSelection(1);
    EXPECT_EQ(booking.RemovePersonFromKurs(reg, person, run), S_FALSE);
    EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus"), K(run) + "|5");

    // A cancel is the user's choice, no failure to report.
    script.ExpectSelection(3);
    EXPECT_EQ(booking.RemovePersonFromKurs(reg, person, run), E_ABORT);
    EXPECT_EQ(Regs(), 1);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);

    // "Die Anmeldung löschen" of the deregistration shown, while another user records her as
    // attended: nothing is deleted, logged or queued, and she is told once.
    const std::size_t entries = userLog.Entries().size();
    script.ExpectSelection(2, L"", [&] { Sql("UPDATE PersonKurs SET lStatus = 1 WHERE lPersonKursID = " + K(reg)); });
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert");
    EXPECT_EQ(booking.RemovePersonFromKurs(reg, person, run, 5, run), E_ABORT);
    EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus"), K(run) + "|1");
    EXPECT_EQ(userLog.Entries().size(), entries);
    EXPECT_TRUE(Items().empty());
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);

    script.ExpectReport(L"No OLEDB Error available!");
    EXPECT_EQ(booking.RemovePersonFromKurs(0, person, run), E_FAIL);
}

TEST_F(KursRemove, AFailedRunRemovalIsReportedOnceAndDeletesNothing) {
    Central(true);
    const long reg = AddReg(person, kurs, run, 0, "2031-05-04");
    userLog.fail = E_ACCESSDENIED;
    script.ExpectReport(L"No OLEDB Error available!");
    CVRQKurs booking;
    EXPECT_EQ(booking.RemovePersonFromKurs(reg, person, run), E_ACCESSDENIED);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(Regs(), 1);

    // With the log server's cause, that cause is the report. The registration left its run with its
    // entry or not at all: it is still there.
    EXPECT_EQ(Reg(reg, "lKursinstanzID"), K(run));
    userLog.refusal = L"Das Benutzerprotokoll nimmt keine Einträge an.";
    script.ExpectReport(userLog.refusal);
    EXPECT_EQ(booking.RemovePersonFromKurs(reg, person, run), E_ACCESSDENIED);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 2u);
    EXPECT_EQ(Regs(), 1);
}

#ifdef QV_KURS_PG
// The connection lost at each write of a deletion: one report, which says so and that the write's
// fate is unknown; never a second one.
TEST_F(KursRemove, AConnectionLostAtAnyWriteIsReportedOnce) {
    Central(true);
    qvtest::PgFaultProxy proxy(qvtest::PortOf(qvtest::PgClusterUrl()));
    const wchar_t* const profile = L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2";
    const std::string direct = qvtest::PgClusterUrl() + "/" + pgName;
    ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DBConnection", CString(proxy.Through(direct).c_str())));
    // The removal from the run is one unit, rolled back with the connection; so is the deletion
    // after it with its entry.
    const std::pair<const char*, const wchar_t*> cases[] = {
        {"fn_GetSystemID", L"Keine der Änderungen wurde gespeichert."},
        {"lStatus IN", L"Keine der Änderungen wurde gespeichert."},
        {"INSERT INTO KursnotificationItem", L"Keine der Änderungen wurde gespeichert."},
        {"DELETE", L"Keine der Änderungen wurde gespeichert."},
    };
    for (const auto& [lost, report] : cases) {
        const long reg = AddReg(person, kurs, run, 3, "2031-05-04");
        script.ExpectReport(report);
        proxy.DropReplyTo(lost);
        CVRQKurs booking;
        EXPECT_LT(booking.RemovePersonFromKurs(reg, person, run), 0) << lost;
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u) << lost;
        script.Log().Clear();
        Sql("DELETE FROM PersonKurs");
    }
    CQvRegistry::SetValue(profile, L"DBConnection", CString(direct.c_str()));
}
#endif

TEST_F(KursRemove, CantonalRegistrationIsDeletedOnlineFirst) {
    CentralStandIn central;
    Sql("UPDATE DataExchange SET fOnlineKursEnabled = 1, strOnlineKursURL = '" + central.BaseUrl() + "'");
    optionServer.Set(-1060, L"OnlineKursanmeldungASPX", L"kurs/anmeldung.aspx");
    const long kantonal = AddKurs(2, "KK");
    const long planned = AddReg(person, kantonal, -1, 0, "2031-12-31");
    const std::string regGuid = Guid("PersonKurs", planned);
    CVRQKurs booking;
    central.QueueStatus("denied");
    script.ExpectReport(L"No OLEDB Error available!");
    EXPECT_EQ(booking.RemovePersonFromKurs(planned, person, -1), E_ABORT);
    EXPECT_EQ(Regs(), 1);
    // A refused delete shows no reply message of its own.
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u);

    ASSERT_EQ(booking.RemovePersonFromKurs(planned, person, -1), S_OK);
    EXPECT_EQ(Regs(), 0);
    ASSERT_EQ(central.RequestCount(), 2u);
    EXPECT_EQ(central.Requests()[1].Param("Op"), "delete");
    EXPECT_EQ(central.Requests()[1].Param("PersonKurs"), "{" + regGuid + "}");
}

}  // namespace
}  // namespace kurstest
