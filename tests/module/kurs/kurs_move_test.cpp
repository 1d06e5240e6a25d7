// Moving registrations between runs as one unit of work, and writing a registration's data and
// the run data stored on it.
#include "centralstandin.h"
#include "kurstest.h"

#include <clocale>

#ifdef QV_KURS_PG
#include "pgcluster.h"
#include "pgfaultproxy.h"
#include "qvregvalue.h"
#endif

namespace kurstest {
namespace {

using qvtest::CentralStandIn;

class KursMove : public KursTest {
protected:
    void SetUp() override {
        KursTest::SetUp();
        mandant = AddMandant("FW Nord");
        person = AddPerson("Muster", "Hans", mandant);
        kurs = AddKurs(3, "GK");
        oldRun = AddRun(kurs, "2031-05-04");
        newRun = AddRun(kurs, "2031-09-07");
    }
    long Move(long reg, EPersonKursStatus& status, long lKurs = 0, long from = 0, long to = 0) {
        CVRQKurs booking;
        return booking.ChangePersonKursinstanz(reg, person, lKurs ? lKurs : kurs, from ? from : oldRun,
                                               to ? to : newRun, 2031, status);
    }
    long mandant = 0, person = 0, kurs = 0, oldRun = 0, newRun = 0;
};

TEST_F(KursMove, TakenOutOfTheOldRunTheSameRegistrationJoinsTheNewOne) {
    const long reg = AddReg(person, kurs, oldRun, 7, "2031-05-04");
    EPersonKursStatus status = ePersonKursStatusBesucht;
    script.ExpectSelection(2);
    ASSERT_EQ(Move(reg, status), S_OK);
    EXPECT_EQ(status, ePersonKursStatusAngemeldet);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 1);
    // A moved registration keeps its date.
    EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus, dtDatum"), K(newRun) + "|0|2031-05-04 00:00:00");
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].text, L"Person von einer Kursaustragung entfernt.");
    EXPECT_EQ(Plain(entries[0].object), Guid("Kursinstanz", oldRun));
    EXPECT_EQ(entries[1].text, L"Person zu einem Kurs hinzugefügt.");
    EXPECT_EQ(Plain(entries[1].object), Guid("Kursinstanz", newRun));

    // Moved again from the run it has left (a page that still shows it there): said to be changed;
    // then after another user deleted it, as participant and as instructor: said to be gone. Each
    // once, before anything is asked; nothing written.
    const std::function<long()> again[] = {
        [&] { return Move(reg, status); },
        [&] {
            Sql("DELETE FROM PersonKurs");
            return Move(reg, status);
        },
        [&] { return CVRQKurs().ChangeInstruktorKursinstanz(reg, person, kurs, oldRun, newRun, 2031, 44, status); },
    };
    for (const auto& move : again) {
        script.ExpectMessageBox(IDOK, &move == &again[0]
                                          ? L"Diese Anmeldung wurde inzwischen geändert oder entfernt."
                                          : L"Diese Anmeldung besteht nicht mehr, sie wurde inzwischen entfernt.");
        EXPECT_EQ(move(), E_ABORT);
        if (Int("SELECT count(*) FROM PersonKurs") != 0) EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus"), K(newRun) + "|0");
    }
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Selection), 1u);
    EXPECT_EQ(userLog.Entries().size(), 2u);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 0);
}

TEST_F(KursMove, DeregisteredFromTheOldRunTheNewRunGetsARegistrationOfItsOwn) {
    const long reg = AddReg(person, kurs, oldRun, 0, "2031-05-04");
    AddAbsence(person, "2031-09-01", "2031-09-30", "Ferien");
    EPersonKursStatus status = ePersonKursStatusBesucht;
    script.ExpectSelection(1);
    // The booking's question comes before the move's unit as well: meanwhile another workstation
    // writes the row.
    script.ExpectMessageBox(IDYES, L"Wollen Sie die Person trotzdem hinzufügen?", [this, reg] {
        Sql("UPDATE PersonKurs SET strBemerkung = 'Absenz' WHERE lPersonKursID = " + K(reg));
    });
    ASSERT_EQ(Move(reg, status), S_OK);
    EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus, strBemerkung"), K(oldRun) + "|5|Absenz");
    EXPECT_EQ(Rows("SELECT lKursinstanzID, lStatus FROM PersonKurs WHERE lPersonKursID <> " + K(reg)),
              std::vector<std::string>{K(newRun) + "|0"});
}

TEST_F(KursMove, BookingRefusedByTheUserKeepsTheRemoval) {
    const long reg = AddReg(person, kurs, oldRun, 3, "2031-05-04");
    AddAbsence(person, "2031-09-01", "2031-09-30", "Ferien");
    EPersonKursStatus status = ePersonKursStatusBesucht;
    // Both questions come before the move's unit: meanwhile another workstation writes the row.
    const auto writeMeanwhile = [&](const char* text) {
        return [this, reg, text] {
            Sql(std::string("UPDATE PersonKurs SET strBemerkung = '") + text + "' WHERE lPersonKursID = " + K(reg));
        };
    };
    script.ExpectSelection(2, {}, writeMeanwhile("gefragt"));
    script.ExpectMessageBox(IDNO, L"Wollen Sie die Person trotzdem hinzufügen?", writeMeanwhile("Absenz"));
    EXPECT_EQ(Move(reg, status), S_FALSE);
    EXPECT_EQ(status, ePersonKursStatusBesucht);
    EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus, strBemerkung"), "-1|0|Absenz");
}

TEST_F(KursMove, FailureOfTheRemovalRollsItsWritesBack) {
    const long reg = AddReg(person, kurs, oldRun, 3, "2031-05-04");
    userLog.fail = E_ACCESSDENIED;
    EPersonKursStatus status = ePersonKursStatusBesucht;
    script.ExpectSelection(2);
    // The removal's report, once: the move does not show the same failure again.
    script.ExpectReport(L"No OLEDB Error available!");
    EXPECT_EQ(Move(reg, status), E_ACCESSDENIED);
    EXPECT_EQ(status, ePersonKursStatusBesucht);
    // Unlinked and planned again before the log failed; all of it undone.
    EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus"), K(oldRun) + "|3");
}

TEST_F(KursMove, RefusalOfTheCentralInstallationRollsBackBothHalves) {
    CentralStandIn central;
    Sql("UPDATE DataExchange SET fOnlineKursEnabled = 1, strOnlineKursURL = '" + central.BaseUrl() + "'");
    optionServer.Set(-1060, L"OnlineKursanmeldungASPX", L"kurs/anmeldung.aspx");
    const long kantonal = AddKurs(2, "KK");
    const long from = AddRun(kantonal, "2031-05-04");
    const long to = AddRun(kantonal, "2031-09-07");
    const long reg = AddReg(person, kantonal, from, 7, "2031-05-04");
    central.QueueStatus("ok");
    central.QueueStatus("overbook");
    EPersonKursStatus status = ePersonKursStatusBesucht;
    script.ExpectSelection(2);
    script.ExpectMessageBox(IDOK, L"Die maximale Anzahl Anmeldungen für die Kursaustragung wurde erreicht.");
    script.ExpectReport(L"No OLEDB Error available!");
    EXPECT_EQ(Move(reg, status, kantonal, from, to), E_ABORT);
    EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus"), K(from) + "|7");
    EXPECT_EQ(status, ePersonKursStatusBesucht);
    const auto reqs = central.Requests();
    ASSERT_EQ(reqs.size(), 4u);
    EXPECT_EQ(reqs[0].Param("Op"), "remove");
    EXPECT_EQ(reqs[1].Param("Op"), "add");
    // The removal went with the move: the central installation books the registration back, with
    // the status stored.
    EXPECT_EQ(reqs[2].Param("Op"), "add");
    EXPECT_EQ(reqs[2].Param("Kursinstanz"), "{" + Guid("Kursinstanz", from) + "}");
    EXPECT_EQ(reqs[2].Param("PersonKurs"), "{" + Guid("PersonKurs", reg) + "}");
    EXPECT_EQ(reqs[3].Param("Op") + " " + reqs[3].Param("Status"), "update 7");
    EXPECT_EQ(reqs[3].Param("Kursinstanz"), "{" + Guid("Kursinstanz", from) + "}");
}

#ifdef QV_KURS_PG
TEST_F(KursMove, AnAnswerLostOnTheWayIsReportedOnceAsALostConnection) {
    // The module reaches the server through a proxy that loses the answer to one statement; the
    // test's own connection goes straight to the server.
    qvtest::PgFaultProxy proxy(qvtest::PortOf(qvtest::PgClusterUrl()));
    const wchar_t* const profile = L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2";
    const std::string direct = qvtest::PgClusterUrl() + "/" + pgName;
    ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DBConnection", CString(proxy.Through(direct).c_str())));
    const struct {
        const char* lost;         // the statement whose answer is lost
        const wchar_t* report;    // the one report
        bool moved;               // what the server kept
    } cases[] = {
        // The server committed the move; the user hears that the outcome is unknown, not the
        // failure of the rollback that follows.
        {"COMMIT", L"Ob die Änderungen gespeichert wurden, ist nicht bekannt.", true},
        // The removal's own report, and nothing after it: the server rolled everything back.
        {"fn_GetSystemID", L"SQLState:     08S01", false},
        // Each other write of the removal and of the booking: one report that says so.
        {"lStatus IN", L"Keine der Änderungen wurde gespeichert.", false},
        {"SET lKursID", L"Keine der Änderungen wurde gespeichert.", false},
        {"INSERT INTO KursnotificationItem", L"Keine der Änderungen wurde gespeichert.", false},
    };
    Sql("UPDATE Mandant SET fKursNotification = 1");
    for (const auto& c : cases) {
        // The central installation asks nothing and queues notification items.
        const bool central = std::string(c.lost).find("Kursnotification") != std::string::npos;
        Central(central);
        const long reg = AddReg(person, kurs, oldRun, 0, "2031-05-04");
        if (!central) script.ExpectSelection(2);
        script.ExpectReport(c.report);
        proxy.DropReplyTo(c.lost);
        EPersonKursStatus status = ePersonKursStatusBesucht;
        EXPECT_LT(Move(reg, status), 0) << c.lost;
        EXPECT_TRUE(proxy.Dropped()) << c.lost;
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u) << c.lost;
        EXPECT_EQ(Reg(reg, "lKursinstanzID"), K(c.moved ? newRun : oldRun)) << c.lost;
        script.Log().Clear();
        Sql("DELETE FROM PersonKurs");
    }
    CQvRegistry::SetValue(profile, L"DBConnection", CString(direct.c_str()));
}
#endif

TEST_F(KursMove, InsideACallersTransactionTheCallerDecides) {
    const long reg = AddReg(person, kurs, oldRun, 0, "2031-05-04");
    Central(true);  // no choice
    CQvADOConnection caller;
    ASSERT_EQ(caller.Open(L"Qovaro.NQ2", 0), S_OK);
    ASSERT_EQ(caller.BeginTrans(), S_OK);
    EPersonKursStatus status = ePersonKursStatusBesucht;
    ASSERT_EQ(Move(reg, status), S_OK);
    EXPECT_TRUE(caller.IsInTransaction());
    // Not committed: another connection still sees the old run.
    EXPECT_EQ(Reg(reg, "lKursinstanzID"), K(oldRun));
    ASSERT_EQ(caller.RollbackTrans(), S_OK);
    EXPECT_EQ(Reg(reg, "lKursinstanzID"), K(oldRun));

    // A failure inside the caller's transaction is not rolled back by the move either.
    ASSERT_EQ(caller.BeginTrans(), S_OK);
    userLog.fail = E_ACCESSDENIED;
    script.ExpectReport(L"No OLEDB Error available!");
    EXPECT_EQ(Move(reg, status), E_ACCESSDENIED);
    EXPECT_TRUE(caller.IsInTransaction());
    ASSERT_EQ(caller.CommitTrans(), S_OK);
    EXPECT_EQ(Reg(reg, "lKursinstanzID"), "-1");
}

TEST_F(KursMove, MovingTheLeadingInstructorNeverGivesTheTargetRunTwoLeaders) {
    const long other = AddPerson("Meier", "Eva", mandant);
    const long leader = AddReg(person, kurs, oldRun, 0, "2031-12-31", false);
    const long targetLeader = AddReg(other, kurs, newRun, 0, "2031-12-31", false);
    Sql("UPDATE PersonKurs SET fLeiter = 1, lKursleitungID = 12");
    CVRQKurs booking;
    EPersonKursStatus status = ePersonKursStatusBesucht;
    ASSERT_EQ(booking.ChangeInstruktorKursinstanz(leader, person, kurs, oldRun, newRun, 2031, 44, status), S_OK);
    EXPECT_EQ(Reg(leader, "lKursinstanzID, fLeiter, lKursleitungID"), K(newRun) + "|0|12");
    EXPECT_EQ(Rows("SELECT lPersonKursID FROM PersonKurs WHERE fLeiter = 1 AND lKursinstanzID = " + K(newRun)),
              std::vector<std::string>{K(targetLeader)});
    EXPECT_EQ(status, ePersonKursStatusAngemeldet);
    EXPECT_TRUE(script.Log().Records().empty());
}

TEST_F(KursMove, MovingAParticipantWhoLedTheOldRunBringsNoLeaderAlong) {
    const long reg = AddReg(person, kurs, oldRun, 0, "2031-05-04");
    const long targetLeader = AddReg(AddPerson("Meier", "Eva", mandant), kurs, newRun, 0, "2031-12-31", false);
    Sql("UPDATE PersonKurs SET fLeiter = 1");
    EPersonKursStatus status = ePersonKursStatusBesucht;
    script.ExpectSelection(2);
    ASSERT_EQ(Move(reg, status), S_OK);
    EXPECT_EQ(Rows("SELECT lPersonKursID FROM PersonKurs WHERE fLeiter = 1"),
              std::vector<std::string>{K(targetLeader)});
}

TEST_F(KursMove, ALeaderMovedIntoARunWithALeaderNoLongerLeadsIntoOneWithoutItStillLeads) {
    const long thirdRun = AddRun(kurs, "2031-10-05");
    const long leader = AddReg(person, kurs, oldRun, 0, "2031-12-31", false);
    const long targetLeader = AddReg(AddPerson("Meier", "Eva", mandant), kurs, newRun, 0, "2031-12-31", false);
    Sql("UPDATE PersonKurs SET fLeiter = 1");
    CVRQKurs booking;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    ASSERT_EQ(booking.ChangeInstruktorKursinstanz(leader, person, kurs, oldRun, thirdRun, 2031, 44, status), S_OK);
    EXPECT_EQ(Reg(leader, "lKursinstanzID, fLeiter"), K(thirdRun) + "|1");
    ASSERT_EQ(booking.ChangeInstruktorKursinstanz(leader, person, kurs, thirdRun, newRun, 2031, 44, status), S_OK);
    EXPECT_EQ(Reg(leader, "lKursinstanzID, fLeiter"), K(newRun) + "|0");
    EXPECT_EQ(Rows("SELECT lPersonKursID FROM PersonKurs WHERE fLeiter = 1"), std::vector<std::string>{K(targetLeader)});
}

class KursRegistrationData : public KursMove {
protected:
    long Update(long reg, const std::wstring& remark, const std::wstring& reason, const CQvDateTime& date) {
        CVRQKurs booking;
        return booking.UpdatePersonKursData(reg, kurs, date, CString(remark.c_str()), CString(reason.c_str()), 12,
                                            ePersonKursStatusBesucht, 9, TRUE);
    }
};

TEST_F(KursRegistrationData, QuotesAreStoredAndOnlyTheReasonIsCut) {
    const long reg = AddReg(person, kurs, oldRun, 3, "2031-05-04");
    const std::wstring remark = L"Hat's geschafft " + std::wstring(5000, L'x');
    const std::wstring reason = L"d'accord " + std::wstring(5000, L'y');
    ASSERT_EQ(Update(reg, remark, reason, CQvDateTime(2031, 6, 1, 0, 0, 0)), S_OK);
    EXPECT_EQ(qv::FromUtf8(Reg(reg, "strBemerkung")), remark);
    EXPECT_EQ(qv::FromUtf8(Reg(reg, "strGrundNichtBestanden")), reason.substr(0, 4000));
    EXPECT_EQ(Reg(reg, "lKursleitungID, lAbsenzgrundID, fEntschuldigt, lStatus, dtDatum, changedBy"),
              "12|9|1|3|2031-06-01 00:00:00|7");

    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, 1);
    EXPECT_EQ(entries[0].text, L"Person-Kurs Zuordnung aktualisiert.");
    EXPECT_EQ(entries[0].detail, L"Teilnehmer:" + PersonName(person) + L" | Absenz:9 | entschuldigt:1 | Bemerkung:" +
                                     remark.substr(0, 100) + L" | Grund:" + reason.substr(0, 4000) + L" | Leitung:12");
    EXPECT_EQ(entries[0].module, L"Ausbildung.Person");
    EXPECT_EQ(entries[0].value, 3);
    EXPECT_EQ(entries[0].tableID, 42);
    EXPECT_EQ(Plain(entries[0].object), Guid("Kursinstanz", oldRun));
}

TEST_F(KursRegistrationData, InstructorWithoutRunIsLoggedForTheCourse) {
    const long reg = AddReg(person, kurs, -1, 0, "2031-12-31", false);
    ASSERT_EQ(Update(reg, L"", L"", CQvDateTime(2031, 12, 31, 0, 0, 0)), S_OK);
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].tableID, 39);
    EXPECT_EQ(Plain(entries[0].object), Guid("Kurs", kurs));
    EXPECT_EQ(entries[0].module, L"Ausbildung.Person.Instruktor");
    EXPECT_EQ(entries[0].detail.rfind(L"Instruktor:" + PersonName(person) + L" | Absenz:9", 0), 0u);
}

TEST_F(KursRegistrationData, RunDataAreCutQuotedAndAlwaysLoggedForTheCourse) {
    const long reg = AddReg(person, kurs, oldRun, 1, "2031-05-04");
    const std::wstring place = L"Ausbildungszentrum 'Nord' " + std::wstring(300, L'z');
    CVRQKurs booking;
    ASSERT_EQ(booking.UpdatePersonKursInstanzData(reg, CString(place.c_str()), 1.5, CString(L"O'Brien")), S_OK);
    EXPECT_EQ(qv::FromUtf8(Reg(reg, "strInstanzOrt")), place.substr(0, 254));
    EXPECT_EQ(Reg(reg, "dblInstanzDauer, strInstanzLeitung"), "1.5|O'Brien");
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].detail.rfind(L"Teilnehmer: " + PersonName(person) + L" | Ort:Ausbildungszentrum 'Nord' ", 0),
              0u);
    EXPECT_NE(entries[0].detail.find(L" | Leitung:O'Brien"), std::wstring::npos);
    EXPECT_EQ(entries[0].value, 1);
    EXPECT_EQ(entries[0].tableID, 39);
    EXPECT_EQ(Plain(entries[0].object), Guid("Kurs", kurs));

    // Removed by another user meanwhile: each change says it is gone, writes nothing, logs nothing.
    Sql("DELETE FROM PersonKurs");
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung besteht nicht mehr, sie wurde inzwischen entfernt.");
    EXPECT_EQ(booking.UpdatePersonKursInstanzData(reg, CString(L"Thayngen"), 2, CString()), E_ABORT);
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung besteht nicht mehr, sie wurde inzwischen entfernt.");
    EXPECT_EQ(Update(reg, L"", L"", CQvDateTime(2031, 6, 1, 0, 0, 0)), E_ABORT);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
    EXPECT_EQ(userLog.Entries().size(), 1u);
}

TEST(KursSqlText, DurationsKeepTheDecimalPointWhateverTheUsersFormat) {
    EXPECT_EQ(U(DoubleToSqlText(1.5)), "1.500000");
    EXPECT_EQ(U(DoubleToSqlText(-0.25)), "-0.250000");
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    bool comma = false;
    for (const char* name : {"de_CH.UTF-8", "de_DE.UTF-8", "de_CH.utf8", "de_DE.utf8", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            comma = true;
            break;
        }
    }
    if (!comma) GTEST_SKIP() << "no locale with a decimal comma installed";
    EXPECT_EQ(U(DoubleToSqlText(1.5)), "1.500000");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace kurstest
