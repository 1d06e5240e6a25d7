// Preconditions of a course: items by their year limits, rules joined with AND, OR and NOT, the
// message with the missing course, the rules dialog, and database failures that must stop.
#include "kurspreconditiondlg.h"
#include "kursresource.h"
#include "kurstest.h"

namespace kurstest {
namespace {

class KursPrecondition : public KursTest {
protected:
    void SetUp() override {
        KursTest::SetUp();
        mandant = AddMandant("FW Nord");
        person = AddPerson("Muster", "Hans", mandant);
        kurs = AddKurs(3, "ZIEL");
        a = AddKurs(3, "A");
        b = AddKurs(3, "B");
    }
    long AddRule(long order, long op) {
        const long id = ++ruleID;
        Sql("INSERT INTO Kursprecondition (lKurspreconditionID, lKursID, lOrder, lOperator) VALUES (" +
            std::to_string(id) + ", " + std::to_string(kurs) + ", " + std::to_string(order) + ", " +
            std::to_string(op) + ")");
        return id;
    }
    void AddItem(long rule, long required, long op, long maxYear, long lockYear) {
        Sql("INSERT INTO KurspreconditionItem (lKurspreconditionID, lKursID, lOperator, lMaxYear, lLockYear) VALUES (" +
            std::to_string(rule) + ", " + std::to_string(required) + ", " + std::to_string(op) + ", " +
            std::to_string(maxYear) + ", " + std::to_string(lockYear) + ")");
    }
    // The check for a run on 4 May 2031 (both ends of the window are the run's date).
    long Check() {
        const CQvDateTime day(2031, 5, 4, 0, 0, 0);
        return VRQ_CheckKursPrecondition(person, kurs, day, day);
    }
    // A failing check asks whether to show the rules; the test answers No.
    long CheckRefused(const std::wstring& missing) {
        script.ExpectMessageBox(IDNO, L"Die Voraussetzung wird mindesten durch den Kurs '" + missing + L"' nicht");
        return Check();
    }
    void Attended(long required, const std::string& date, long status = 1) {
        AddReg(person, required, -1, status, date);
    }
    long mandant = 0, person = 0, kurs = 0, a = 0, b = 0, ruleID = 0;
};

TEST_F(KursPrecondition, CourseWithoutRulesPasses) { EXPECT_EQ(Check(), S_OK); }

TEST_F(KursPrecondition, AttendanceUpToTheWindowsEndFulfilsAnItem) {
    AddItem(AddRule(1, 0), a, 1, -1, -1);
    Attended(a, "2031-05-05");
    EXPECT_EQ(CheckRefused(L"A, A Kurs"), E_ABORT);
    Attended(a, "2031-05-04");
    EXPECT_EQ(Check(), S_OK);
}

TEST_F(KursPrecondition, RefusalMessageNamesPersonAndCourseAndDefaultsToNo) {
    AddItem(AddRule(1, 0), a, 1, -1, -1);
    EXPECT_EQ(CheckRefused(L"A, A Kurs"), E_ABORT);
    const auto boxes = script.Log().Records(qv::InteractionKind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].type, 0x144u);
    EXPECT_EQ(boxes[0].text, PersonName(person) +
                                 L" kann diesem Kurs nicht hinzugefügt werden!\nDie Voraussetzung wird mindesten "
                                 L"durch den Kurs 'A, A Kurs' nicht erfüllt.\n\nSollen die Voraussetzungen angezeigt "
                                 L"werden?");
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Modal), 0u);
}

TEST_F(KursPrecondition, PlannedOrProvisionalBookingCountsWithinAYearBeforeTheWindow) {
    AddItem(AddRule(1, 0), a, 1, -1, -1);
    Attended(a, "2029-06-01", 0);  // too early
    Attended(a, "2031-05-10", 7);  // after the window
    EXPECT_EQ(CheckRefused(L"A, A Kurs"), E_ABORT);
    Attended(a, "2030-06-01", 7);
    EXPECT_EQ(Check(), S_OK);
    // A plain registration in that year counts as well.
    Sql("DELETE FROM PersonKurs WHERE lStatus = 7");
    EXPECT_EQ(CheckRefused(L"A, A Kurs"), E_ABORT);
    Attended(a, "2030-06-01", 0);
    EXPECT_EQ(Check(), S_OK);
}

TEST_F(KursPrecondition, ItemsJoinedWithOrNeedOneAndWithAndNeedAll) {
    const long rule = AddRule(1, 0);
    AddItem(rule, a, 1, -1, -1);
    AddItem(rule, b, 2, -1, -1);
    Attended(b, "2020-01-01");
    EXPECT_EQ(Check(), S_OK);

    Sql("UPDATE KurspreconditionItem SET lOperator = 1");
    EXPECT_EQ(CheckRefused(L"A, A Kurs"), E_ABORT);
    Sql("DELETE FROM PersonKurs");
    Attended(a, "2020-01-01");
    // The course named is the one of the item that made the rule fail.
    EXPECT_EQ(CheckRefused(L"B, B Kurs"), E_ABORT);
}

TEST_F(KursPrecondition, MaximumAgeOfTheAttendance) {
    AddItem(AddRule(1, 0), a, 1, 2, -1);
    Attended(a, "2028-05-01");
    EXPECT_EQ(CheckRefused(L"A, A Kurs"), E_ABORT);
    Attended(a, "2030-05-01");
    EXPECT_EQ(Check(), S_OK);
}

TEST_F(KursPrecondition, NotWithinTheLastYears) {
    AddItem(AddRule(1, 0), a, 1, 0, 5);
    EXPECT_EQ(Check(), S_OK);
    Attended(a, "2025-05-01");
    EXPECT_EQ(Check(), S_OK);
    Attended(a, "2027-05-01", 0);
    EXPECT_EQ(CheckRefused(L"A, A Kurs"), E_ABORT);
}

TEST_F(KursPrecondition, MinimumAgeOfTheAttendance) {
    AddItem(AddRule(1, 0), a, 1, -1, 3);
    Attended(a, "2026-05-01");
    EXPECT_EQ(Check(), S_OK);
    Attended(a, "2030-05-01");
    EXPECT_EQ(CheckRefused(L"A, A Kurs"), E_ABORT);
}

TEST_F(KursPrecondition, MaximumAndMinimumAgeTogether) {
    AddItem(AddRule(1, 0), a, 1, 5, 2);
    Attended(a, "2024-05-01");  // older than five years
    EXPECT_EQ(CheckRefused(L"A, A Kurs"), E_ABORT);
    Attended(a, "2028-05-01");
    EXPECT_EQ(Check(), S_OK);
    // The shortest lock, one year, is a limit like the others.
    Sql("UPDATE KurspreconditionItem SET lLockYear = 1");
    EXPECT_EQ(Check(), S_OK);
}

TEST_F(KursPrecondition, LimitsWithoutMeaningNeverPass) {
    const long rule = AddRule(1, 0);
    AddItem(rule, a, 1, -1, 0);
    Attended(a, "2020-01-01");
    EXPECT_EQ(CheckRefused(L"A, A Kurs"), E_ABORT);
    Sql("UPDATE KurspreconditionItem SET lMaxYear = 0, lLockYear = -1");
    EXPECT_EQ(CheckRefused(L"A, A Kurs"), E_ABORT);
    Sql("UPDATE KurspreconditionItem SET lLockYear = 0");
    EXPECT_EQ(CheckRefused(L"A, A Kurs"), E_ABORT);
}

TEST_F(KursPrecondition, FirstRuleWithNotPassesWhenTheCourseWasNotTaken) {
    const long rule = AddRule(1, 3);
    AddItem(rule, a, 1, -1, -1);
    EXPECT_EQ(Check(), S_OK);
    Attended(a, "2020-01-01");
    EXPECT_EQ(CheckRefused(L"A, A Kurs"), E_ABORT);

    // NOT (A or B): taking B alone is refused too.
    Sql("DELETE FROM PersonKurs");
    AddItem(rule, b, 2, -1, -1);
    EXPECT_EQ(Check(), S_OK);
    Attended(b, "2020-01-01");
    script.ExpectMessageBox(IDNO, L"Die Voraussetzung wird mindesten durch den Kurs");
    EXPECT_EQ(Check(), E_ABORT);
}

TEST_F(KursPrecondition, LaterRulesJoinWithAndNotAndOr) {
    AddItem(AddRule(1, 0), a, 1, -1, -1);
    AddItem(AddRule(2, 3), b, 1, -1, -1);  // AND NOT B
    Attended(a, "2020-01-01");
    EXPECT_EQ(Check(), S_OK);
    Attended(b, "2020-01-01");
    EXPECT_EQ(CheckRefused(L"B, B Kurs"), E_ABORT);

    Sql("DELETE FROM PersonKurs; UPDATE Kursprecondition SET lOperator = 2 WHERE lOrder = 2");
    Attended(b, "2020-01-01");  // A missing, OR B
    EXPECT_EQ(Check(), S_OK);
}

TEST_F(KursPrecondition, CentralInstallationChecksOnlyWhenTheOptionSaysSo) {
    AddItem(AddRule(1, 0), a, 1, -1, -1);
    Central(true);
    optionServer.Set(-1060, L"EntCheckKursPrecondition", 0);
    EXPECT_EQ(Check(), S_OK);
    optionServer.Set(-1060, L"EntCheckKursPrecondition", 1);
    EXPECT_EQ(CheckRefused(L"A, A Kurs"), E_ABORT);
}

TEST_F(KursPrecondition, BookingRefusedByThePreconditionsWritesNothing) {
    AddItem(AddRule(1, 0), a, 1, -1, -1);
    const long run = AddRun(kurs, "2031-05-04");
    CVRQKurs booking;
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    script.ExpectMessageBox(IDNO, L"kann diesem Kurs nicht hinzugefügt werden!");
    EXPECT_EQ(booking.AddPersonToKurs(person, kurs, run, 2031, id, status), S_FALSE);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lKursID = " + std::to_string(kurs)), 0);
}

TEST_F(KursPrecondition, DatabaseFailureInAnItemStopsTheCheck) {
    const long rule = AddRule(1, 0);
    AddItem(rule, a, 1, -1, -1);
    // The rules stay readable, the registrations do not.
    Sql("ALTER TABLE PersonKurs RENAME TO PersonKursWeg");
    script.ExpectReport();
    const long hr = Check();
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_NE(hr, E_ABORT);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u);
    Sql("ALTER TABLE PersonKursWeg RENAME TO PersonKurs");

    // Also when the failing item follows a fulfilled one (a limit the database cannot reckon).
    Attended(a, "2030-01-01");
    Attended(b, "2030-01-01");
    AddItem(rule, b, 1, 99999, -1);
    script.ExpectReport();
    const long hrLater = Check();
    EXPECT_TRUE(FAILED(hrLater)) << std::hex << hrLater;
    EXPECT_NE(hrLater, E_ABORT);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 2u);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u);
}

TEST_F(KursPrecondition, YesShowsTheRulesReadOnly) {
    const long rule = AddRule(1, 0);
    AddItem(rule, a, 1, 2, -1);
    AddItem(rule, b, 2, 0, 5);
    const long c = AddKurs(3, "C");
    AddItem(AddRule(2, 3), c, 1, -1, 3);
    Attended(c, "2026-01-01");  // makes the NOT rule fail
    script.ExpectMessageBox(IDYES, L"kann diesem Kurs nicht hinzugefügt werden!");
    std::vector<CKursPreconditionDlg::Line> lines;
    BOOL readOnly = FALSE;
    int listRows = -1;
    script.ExpectModal(IDD_KURSPRECONDITION, [&](qv::IModalDialog& dialog) {
        auto& dlg = dynamic_cast<CKursPreconditionDlg&>(dialog);
        lines = dlg.GetLines();
        readOnly = dlg.IsReadOnly();
        listRows = dlg.m_listRules.GetItemCount();
        dialog.EndModal(IDCANCEL);
    });
    EXPECT_EQ(Check(), E_ABORT);
    EXPECT_TRUE(readOnly);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(listRows, 3);
    EXPECT_EQ(U(lines[0].strOrder), "1");
    EXPECT_EQ(U(lines[0].strKurs), "A, A Kurs");
    EXPECT_EQ(U(lines[0].strLimit), "maximal vor 2 Jahr(en)");
    EXPECT_EQ(U(lines[1].strOperator), "ODER");
    EXPECT_EQ(U(lines[1].strLimit), "nicht innerhalb der letzten 5 Jahr(en)");
    EXPECT_EQ(U(lines[2].strOrder), "2");
    EXPECT_EQ(U(lines[2].strOperator), "UND NICHT");
    EXPECT_EQ(U(lines[2].strLimit), "mindestens vor 3 Jahr(en)");
}

}  // namespace
}  // namespace kurstest
