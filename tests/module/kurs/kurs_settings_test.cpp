// Course settings and authority: course types, the default registration status and its cache,
// pending exports and planned registrations waiting for an open run.
#include "kurstest.h"

namespace kurstest {
namespace {

class KursSettings : public KursTest {};

TEST_F(KursSettings, AuthorityOfCoursesAndOfTheCourseOfARun) {
    const long bund = AddKurs(1, "BK");
    const long lokal = AddKurs(3, "LK");
    const long run = AddRun(bund, "2031-05-04");
    EXPECT_EQ(VRQ_GetKursAuthority(bund, FALSE), eAuthorityTypBund);
    EXPECT_EQ(VRQ_GetKursAuthority(lokal, FALSE), eAuthorityTypLokal);
    EXPECT_EQ(VRQ_GetKursAuthority(run, TRUE), eAuthorityTypBund);
    // A run id read as a course id, and ids that do not exist, name no authority.
    EXPECT_EQ(VRQ_GetKursAuthority(run, FALSE), eAuthorityTypNone);
    EXPECT_EQ(VRQ_GetKursAuthority(99999, TRUE), eAuthorityTypNone);
}

TEST_F(KursSettings, OnlineSwitchFollowsTheSettings) {
    EXPECT_EQ(VRQ_IsOnlineKursActive(), 0);
    Sql("UPDATE DataExchange SET fOnlineKursEnabled = 1");
    EXPECT_NE(VRQ_IsOnlineKursActive(), 0);
}

TEST_F(KursSettings, DefaultStatusOnlyAcceptsRegisteredAndProvisional) {
    EXPECT_EQ(VRQ_SetDefaultPersonKursStatus(ePersonKursStatusWarteliste), S_OK);
    EXPECT_EQ(Int("SELECT lDefaultPersonKursStatus FROM DataExchange"), 0);
    EXPECT_EQ(VRQ_GetDefaultPersonKursStatus(), ePersonKursStatusAngemeldet);
    EXPECT_TRUE(userLog.Entries().empty());
}

TEST_F(KursSettings, SettingTheDefaultStoresLogsAndServesFromTheCache) {
    ASSERT_EQ(VRQ_SetDefaultPersonKursStatus(ePersonKursStatusProvisorisch), S_OK);
    EXPECT_EQ(Int("SELECT lDefaultPersonKursStatus FROM DataExchange"), 7);

    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, 1);
    EXPECT_EQ(entries[0].text, L"Der Kurs Anmeldemodus wurde neu gesetzt.");
    EXPECT_EQ(entries[0].detail, L"Provisorisch Angemeldet");
    EXPECT_EQ(entries[0].module, L"Ausbildung");
    EXPECT_EQ(entries[0].value, 7);
    EXPECT_EQ(entries[0].tableID, 76);
    EXPECT_EQ(entries[0].object, GUID_NULL);

    // Later reads come from the cache, not from the table.
    Sql("UPDATE DataExchange SET lDefaultPersonKursStatus = 0");
    EXPECT_EQ(VRQ_GetDefaultPersonKursStatus(), ePersonKursStatusProvisorisch);
}

TEST_F(KursSettings, WithoutASettingsRowTheDefaultIsMissingAndReadAgainEachTime) {
    Sql("DROP TRIGGER DataExchange_KeepRow; DELETE FROM DataExchange");
    EXPECT_EQ(static_cast<long>(VRQ_GetDefaultPersonKursStatus()), -1);
    EXPECT_EQ(static_cast<long>(VRQ_GetDefaultPersonKursStatus()), -1);
    Sql("INSERT INTO DataExchange (lDataExchangeID, lDefaultPersonKursStatus) VALUES (1, 7)");
    EXPECT_EQ(VRQ_GetDefaultPersonKursStatus(), ePersonKursStatusProvisorisch);
}

TEST_F(KursSettings, FailedStoreLeavesTheCachedDefaultAsItWas) {
    EXPECT_EQ(VRQ_GetDefaultPersonKursStatus(), ePersonKursStatusAngemeldet);
    Sql("CREATE TRIGGER DataExchange_NoUpdate BEFORE UPDATE ON DataExchange BEGIN SELECT RAISE(ABORT, 'gesperrt'); END");
    script.ExpectReport(L"gesperrt");
    EXPECT_TRUE(FAILED(VRQ_SetDefaultPersonKursStatus(ePersonKursStatusProvisorisch)));
    EXPECT_EQ(VRQ_GetDefaultPersonKursStatus(), ePersonKursStatusAngemeldet);
    EXPECT_TRUE(userLog.Entries().empty());
}

TEST_F(KursSettings, BookingWithoutReadableDefaultIsRegistered) {
    Central(true);
    Sql("DROP TRIGGER DataExchange_KeepRow; DELETE FROM DataExchange");
    const long mandant = AddMandant("FW Nord");
    const long person = AddPerson("Muster", "Hans", mandant);
    const long kurs = AddKurs(2, "GK");
    const long run = AddRun(kurs, "2031-03-01");
    CVRQKurs booking;
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusBesucht;
    ASSERT_EQ(booking.AddPersonToKurs(person, kurs, run, 2031, id, status), S_OK);
    EXPECT_EQ(status, ePersonKursStatusAngemeldet);
    EXPECT_EQ(Int("SELECT lStatus FROM PersonKurs WHERE lPersonKursID = " + std::to_string(id)), 0);
}

class KursExportPending : public KursTest {
protected:
    void SetUp() override {
        KursTest::SetUp();
        Sql("UPDATE DataExchange SET fOnlineKursEnabled = 1");
        mandant = AddMandant("FW Nord");
        person = AddPerson("Muster", "Hans", mandant);
    }
    long mandant = 0, person = 0;
};

TEST_F(KursExportPending, RegistrationOfAFederalRunIsPendingUntilTheNextExport) {
    const long kurs = AddKurs(1, "BK");
    AddReg(person, kurs, AddRun(kurs, "2031-04-01"), 0, "2031-04-01");
    BOOL pending = FALSE;
    ASSERT_EQ(VRQ_IsPersonKursExportPending(pending), S_OK);
    EXPECT_TRUE(pending);

    Sql("INSERT INTO UserLog (strModul, lCode, dtTime) VALUES ('System.ImportExport', 8, datetime('now', "
        "'localtime', '+1 minute'))");
    ASSERT_EQ(VRQ_IsPersonKursExportPending(pending), S_OK);
    EXPECT_FALSE(pending);
}

TEST_F(KursExportPending, LocalCoursesAndPlannedRegistrationsAreNotExported) {
    const long lokal = AddKurs(3, "LK");
    AddReg(person, lokal, AddRun(lokal, "2031-04-01"), 0, "2031-04-01");
    AddReg(person, AddKurs(2, "GK"), -1, 0, "2031-12-31");
    BOOL pending = TRUE;
    ASSERT_EQ(VRQ_IsPersonKursExportPending(pending), S_OK);
    EXPECT_FALSE(pending);
}

TEST_F(KursExportPending, DeletedRegistrationIsPending) {
    const long lokal = AddKurs(3, "LK");
    const long reg = AddReg(person, lokal, -1, 0, "2031-12-31");
    Sql("DELETE FROM PersonKurs WHERE lPersonKursID = " + std::to_string(reg));
    BOOL pending = FALSE;
    ASSERT_EQ(VRQ_IsPersonKursExportPending(pending), S_OK);
    EXPECT_TRUE(pending);
}

TEST_F(KursExportPending, CentralInstallationOrOnlineOffNeverExports) {
    const long kurs = AddKurs(1, "BK");
    AddReg(person, kurs, AddRun(kurs, "2031-04-01"), 0, "2031-04-01");
    BOOL pending = TRUE;
    Central(true);
    ASSERT_EQ(VRQ_IsPersonKursExportPending(pending), S_OK);
    EXPECT_FALSE(pending);
    Central(false);
    Sql("UPDATE DataExchange SET fOnlineKursEnabled = 0");
    pending = TRUE;
    ASSERT_EQ(VRQ_IsPersonKursExportPending(pending), S_OK);
    EXPECT_FALSE(pending);
}

TEST_F(KursSettings, PlannedParticipantsWaitingForAnOpenRunOfTheirYear) {
    const long nord = AddMandant("FW Nord");
    const long sued = AddMandant("FW Süd");
    const long person = AddPerson("Muster", "Hans", nord);
    const long kurs = AddKurs(2, "GK");
    AddReg(person, kurs, -1, 0, "2031-12-31");
    const long closedRun = AddRun(kurs, "2031-05-01", true);
    const long otherYear = AddRun(kurs, "2032-05-01");

    BOOL pending = TRUE;
    ASSERT_EQ(VRQ_IsUnlinkedPersonToKursinstanz(0, pending), S_OK);
    EXPECT_FALSE(pending) << "closed runs and runs of another year do not count";

    Sql("UPDATE Kursinstanz SET fGeschlossen = 0 WHERE lKursinstanzID = " + std::to_string(closedRun));
    ASSERT_EQ(VRQ_IsUnlinkedPersonToKursinstanz(0, pending), S_OK);
    EXPECT_TRUE(pending);
    ASSERT_EQ(VRQ_IsUnlinkedPersonToKursinstanz(nord, pending), S_OK);
    EXPECT_TRUE(pending);
    ASSERT_EQ(VRQ_IsUnlinkedPersonToKursinstanz(sued, pending), S_OK);
    EXPECT_FALSE(pending);
    (void)otherYear;
}

}  // namespace
}  // namespace kurstest
