// The precondition editor: who may edit, editing rules and items through the dialog so that the
// booking check follows them, and input that cannot make a rule.
#include "kurspreconditiondlg.h"
#include "kursresource.h"
#include "kurswintest.h"

namespace kurstest {
namespace {

using namespace qv::ui::test;

class KursPreconditionEditor : public KursWinTest {
protected:
    void SetUp() override {
        KursWinTest::SetUp();
        mandant = AddMandant("FW Nord");
        person = AddPerson("Muster", "Hans", mandant);
        a = AddKurs(3, "A");
        b = AddKurs(3, "B");
        kurs = AddKurs(3, "ZIEL");
        GrantModule(0x101);
    }
    CQvGUID KursGuid() {
        CQvGUID guid;
        guid.SetGUID(CString(qv::FromUtf8(Guid("Kurs", kurs)).c_str()));
        return guid;
    }
    // Runs the editor for the course; the script acts on it.
    void Edit(const std::function<void(CKursPreconditionDlg&)>& act, EAuthorityTyp typ = eAuthorityTypLokal) {
        CKursPreconditionDlg dlg(kurs, KursGuid(), typ);
        script.ExpectModal(IDD_KURSPRECONDITION, [&](qv::IModalDialog& modal) {
            act(dlg);
            modal.EndModal(IDCANCEL);
        });
        dlg.DoModal();
    }
    // Fills the item fields as the user does: the course by its place in the box (courses sorted
    // by short name), the time limit by its choice and the years N and M.
    static void Fields(CKursPreconditionDlg& dlg, int kursIndex, int limit, const std::wstring& n = L"",
                       const std::wstring& m = L"") {
        SelectComboItem(Item(dlg, IDC_PRECONDITION_KURS), kursIndex);
        SelectComboItem(Item(dlg, IDC_PRECONDITION_LIMIT), limit);
        if (!n.empty()) Retype(Item(dlg, IDC_PRECONDITION_MAXYEAR), n);
        if (!m.empty()) Retype(Item(dlg, IDC_PRECONDITION_LOCKYEAR), m);
    }
    long Check() {
        const CQvDateTime day(2031, 5, 4, 0, 0, 0);
        return VRQ_CheckKursPrecondition(person, kurs, day, day);
    }
    std::vector<std::string> Rules() {
        return Rows("SELECT r.lOrder || ':' || r.lOperator || ':' || i.lKursID || ':' || i.lOperator || ':' || "
                    "i.lMaxYear || ':' || i.lLockYear FROM Kursprecondition r JOIN KurspreconditionItem i ON "
                    "r.lKurspreconditionID = i.lKurspreconditionID WHERE r.lKursID = " +
                    K(kurs) + " ORDER BY r.lOrder, i.lKurspreconditionItemID");
    }
    long mandant = 0, person = 0, kurs = 0, a = 0, b = 0;
};

TEST_F(KursPreconditionEditor, EditingNeedsAnOwnCourseWithGuidAndTheEditRight) {
    struct Case {
        const char* what;
        bool withGuid;
        EAuthorityTyp typ;
        bool central;
        DWORD rights;
        bool editable;
    };
    const Case cases[] = {
        {"own course with the right", true, eAuthorityTypLokal, false, 0x100, true},
        {"own course without the right", true, eAuthorityTypLokal, false, 0x1, false},
        {"cantonal course in a local installation", true, eAuthorityTypKanton, false, 0x100, false},
        {"cantonal course in the central installation", true, eAuthorityTypKanton, true, 0x100, true},
        {"no GUID, as the booking check shows it", false, eAuthorityTypLokal, true, 0x100, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Central(c.central);
        GrantModule(c.rights);
        CKursPreconditionDlg dlg(kurs, c.withGuid ? KursGuid() : CQvGUID(), c.typ);
        EXPECT_EQ(!dlg.IsReadOnly(), c.editable);
        script.ExpectModal(IDD_KURSPRECONDITION, [&](qv::IModalDialog& modal) {
            EXPECT_EQ(Enabled(Item(dlg, IDC_PRECONDITION_NEWRULE)), c.editable);
            EXPECT_EQ(Enabled(Item(dlg, IDC_PRECONDITION_KURS)), c.editable);
            EXPECT_TRUE(Enabled(Item(dlg, IDCANCEL)));
            // A course without rules offers a first rule joined by UND and without a time limit.
            for (int id : {IDC_PRECONDITION_RULEOP, IDC_PRECONDITION_ITEMOP, IDC_PRECONDITION_LIMIT})
                EXPECT_EQ(qv::ui::test::Text(Item(dlg, id)), ComboItems(Item(dlg, id)).front()) << id;
            modal.EndModal(IDCANCEL);
        });
        dlg.DoModal();
    }
}

TEST_F(KursPreconditionEditor, RulesMadeInTheEditorDecideTheBookingCheck) {
    Edit([&](CKursPreconditionDlg& dlg) {
        // Rule 1: A at most two years ago, OR B without limit.
        Fields(dlg, 0, 1, L"2");
        Click(dlg, IDC_PRECONDITION_NEWRULE);
        ASSERT_EQ(qv::ui::test::Rows(dlg.m_listRules), 1);
        EXPECT_EQ(Cell(dlg.m_listRules, 0, 2), L"A, A Kurs");
        EXPECT_EQ(Cell(dlg.m_listRules, 0, 3), L"maximal vor 2 Jahr(en)");
        SelectComboItem(Item(dlg, IDC_PRECONDITION_ITEMOP), 1);
        Fields(dlg, 1, 0);
        Click(dlg, IDC_PRECONDITION_NEWITEM);
        EXPECT_TRUE(RowSelected(dlg.m_listRules, 1)) << "the new line stays chosen";
        EXPECT_FALSE(RowSelected(dlg.m_listRules, 0));
        // Rule 2: AND NOT the course itself, taken at any time.
        Fields(dlg, 2, 0);
        SelectComboItem(Item(dlg, IDC_PRECONDITION_RULEOP), 2);
        Click(dlg, IDC_PRECONDITION_NEWRULE);
        ASSERT_EQ(qv::ui::test::Rows(dlg.m_listRules), 3);
        EXPECT_EQ(Cell(dlg.m_listRules, 1, 1), L"ODER");
        EXPECT_EQ(Cell(dlg.m_listRules, 2, 0), L"2");
        EXPECT_EQ(Cell(dlg.m_listRules, 2, 1), L"UND NICHT");
        EXPECT_EQ(Cell(dlg.m_listRules, 2, 2), L"ZIEL, ZIEL Kurs");
    });
    EXPECT_EQ(Rules(), (std::vector<std::string>{"1:0:" + K(a) + ":1:2:-1", "1:0:" + K(b) + ":2:-1:-1",
                                                 "2:3:" + K(kurs) + ":1:-1:-1"}));
    const auto log = userLog.Entries();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].text, L"Voraussetzung wurde gespeichert.");
    EXPECT_EQ(log[0].tableID, 39);
    EXPECT_EQ(log[0].detail, L"A, A Kurs");

    // B attended: the first rule passes; once the course itself was taken, NOT fails the second.
    AddReg(person, b, -1, 1, "2020-01-01");
    EXPECT_EQ(Check(), S_OK);
    AddReg(person, kurs, -1, 1, "2029-01-01");
    script.ExpectMessageBox(IDNO, L"ZIEL, ZIEL Kurs");
    EXPECT_EQ(Check(), E_ABORT);

    // Deleting one of the first rule's two courses keeps the rule with the other.
    Edit([&](CKursPreconditionDlg& dlg) {
        SelectRow(dlg.m_listRules, 1);
        script.ExpectMessageBox(IDYES, L"gelöscht");
        Click(dlg, IDC_PRECONDITION_DELETE);
    });
    EXPECT_EQ(Rules(), (std::vector<std::string>{"1:0:" + K(a) + ":1:2:-1", "2:3:" + K(kurs) + ":1:-1:-1"}));
}

TEST_F(KursPreconditionEditor, ChangingAndDeletingKeepTheRulesNumberedFromOne) {
    Edit([&](CKursPreconditionDlg& dlg) {
        Fields(dlg, 0, 0);
        Click(dlg, IDC_PRECONDITION_NEWRULE);
        Fields(dlg, 1, 2, L"", L"3");
        SelectComboItem(Item(dlg, IDC_PRECONDITION_RULEOP), 1);  // ODER
        Click(dlg, IDC_PRECONDITION_NEWRULE);

        // The second rule becomes "AND B at most 4 and at least 1 year ago".
        SelectRow(dlg.m_listRules, 1);
        EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_PRECONDITION_LOCKYEAR)), L"3") << "the line's values are shown";
        SelectComboItem(Item(dlg, IDC_PRECONDITION_RULEOP), 0);
        Fields(dlg, 1, 3, L"4", L"1");
        Click(dlg, IDC_PRECONDITION_APPLY);
        EXPECT_EQ(Cell(dlg.m_listRules, 1, 3), L"maximal vor 4 Jahr(en) und mindestens vor 1 Jahr(en)");

        // Deleting the first rule asks; No keeps it, Yes deletes it and the second rule moves up.
        SelectRow(dlg.m_listRules, 0);
        script.ExpectMessageBox(IDNO, L"'A, A Kurs' gelöscht");
        Click(dlg, IDC_PRECONDITION_DELETE);
        EXPECT_EQ(qv::ui::test::Rows(dlg.m_listRules), 2);
        script.ExpectMessageBox(IDYES, L"'A, A Kurs' gelöscht");
        Click(dlg, IDC_PRECONDITION_DELETE);
        ASSERT_EQ(qv::ui::test::Rows(dlg.m_listRules), 1);
        EXPECT_EQ(Cell(dlg.m_listRules, 0, 0), L"1");
    });
    EXPECT_EQ(Rules(), (std::vector<std::string>{"1:1:" + K(b) + ":1:4:1"}));
    const auto log = userLog.Entries();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[2].kind, 1);
    EXPECT_EQ(log[3].text, L"Voraussetzung wurde gelöscht.");
    EXPECT_EQ(log[3].kind, 2);
    EXPECT_EQ(Int("SELECT count(*) FROM KurspreconditionItem"), 1);
}

TEST_F(KursPreconditionEditor, InputThatMakesNoRuleIsRefusedWithAReason) {
    struct Case {
        const char* what;
        int kurs, limit;
        std::wstring n, m, message;
    };
    const Case cases[] = {
        {"no course", -1, 0, L"", L"", L"Kurs aus"},
        {"no years", 0, 1, L"", L"", L"zwischen 1 und 99"},
        {"too many years", 0, 2, L"", L"100", L"zwischen 1 und 99"},
        {"empty window", 0, 3, L"2", L"2", L"Zeitraum ist leer"},
    };
    Edit([&](CKursPreconditionDlg& dlg) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            if (c.kurs >= 0) SelectComboItem(Item(dlg, IDC_PRECONDITION_KURS), c.kurs);
            SelectComboItem(Item(dlg, IDC_PRECONDITION_LIMIT), c.limit);
            Retype(Item(dlg, IDC_PRECONDITION_MAXYEAR), c.n);
            Retype(Item(dlg, IDC_PRECONDITION_LOCKYEAR), c.m);
            script.ExpectReport(c.message);
            Click(dlg, IDC_PRECONDITION_NEWRULE);
            EXPECT_EQ(qv::ui::test::Rows(dlg.m_listRules), 0);
            if (c.kurs < 0) EXPECT_TRUE(HasFocus(Item(dlg, IDC_PRECONDITION_KURS))) << "the course is asked for";
        }
    });
    EXPECT_EQ(Int("SELECT count(*) FROM Kursprecondition"), 0);
    EXPECT_TRUE(userLog.Entries().empty());
}

TEST_F(KursPreconditionEditor, TimeLimitChoicesGiveTheStoredYearPairs) {
    struct Case {
        int index;
        long n, m;
        UINT error;
        long maxYear, lockYear;
    };
    const Case cases[] = {
        {0, 0, 0, 0, -1, -1},   {1, 3, 0, 0, 3, -1},   {2, 0, 4, 0, -1, 4},
        {3, 5, 2, 0, 5, 2},     {4, 0, 6, 0, 0, 6},    {3, 2, 5, IDS_PRECOND_ERR_WINDOW, 0, 0},
        {1, 0, 0, IDS_PRECOND_ERR_YEARS, 0, 0},        {-1, 1, 1, IDS_PRECOND_ERR_LIMIT, 0, 0},
        // One to 99 years.
        {1, 1, 0, 0, 1, -1},   {1, 99, 0, 0, 99, -1}, {1, 100, 0, IDS_PRECOND_ERR_YEARS, 0, 0},
        {2, 0, 1, 0, -1, 1},   {2, 0, 99, 0, -1, 99}, {2, 0, 100, IDS_PRECOND_ERR_YEARS, 0, 0},
    };
    for (const Case& c : cases) {
        long maxYear = 0, lockYear = 0;
        EXPECT_EQ(CKursPreconditionDlg::CheckLimit(c.index, c.n, c.m, maxYear, lockYear), c.error) << c.index;
        if (c.error != 0) continue;
        EXPECT_EQ(maxYear, c.maxYear) << c.index;
        EXPECT_EQ(lockYear, c.lockYear) << c.index;
        // And back: the stored pair selects the same choice.
        EXPECT_EQ(CKursPreconditionDlg::LimitIndex(maxYear, lockYear), c.index);
    }
    // Pairs that never pass select nothing.
    for (const auto& [maxYear, lockYear] : {std::pair{-1L, 0L}, std::pair{0L, -1L}, std::pair{0L, 0L}})
        EXPECT_EQ(CKursPreconditionDlg::LimitIndex(maxYear, lockYear), -1) << maxYear << "/" << lockYear;
}

TEST_F(KursPreconditionEditor, EveryTimeLimitIsShownInItsWordsAndPictured) {
    Edit([&](CKursPreconditionDlg& dlg) {
        Fields(dlg, 0, 1, L"1");
        Click(dlg, IDC_PRECONDITION_NEWRULE);
        SelectComboItem(Item(dlg, IDC_PRECONDITION_ITEMOP), 1);
        Fields(dlg, 1, 3, L"6", L"1");
        Click(dlg, IDC_PRECONDITION_NEWITEM);
        Fields(dlg, 2, 4, L"", L"5");
        SelectComboItem(Item(dlg, IDC_PRECONDITION_RULEOP), 2);
        Click(dlg, IDC_PRECONDITION_NEWRULE);
        Fields(dlg, 0, 2, L"", L"3");
        SelectComboItem(Item(dlg, IDC_PRECONDITION_RULEOP), 0);
        Click(dlg, IDC_PRECONDITION_NEWRULE);
        const std::vector<std::vector<std::wstring>> shown = {
            {L"1", L"", L"A, A Kurs", L"maximal vor 1 Jahr(en)"},
            {L"", L"ODER", L"B, B Kurs", L"maximal vor 6 Jahr(en) und mindestens vor 1 Jahr(en)"},
            {L"2", L"UND NICHT", L"ZIEL, ZIEL Kurs", L"nicht innerhalb der letzten 5 Jahr(en)"},
            {L"3", L"UND", L"A, A Kurs", L"mindestens vor 3 Jahr(en)"},
        };
        ASSERT_EQ(qv::ui::test::Rows(dlg.m_listRules), int(shown.size()));
        for (int row = 0; row < int(shown.size()); ++row)
            for (int column = 0; column < 4; ++column)
                EXPECT_EQ(Cell(dlg.m_listRules, row, column), shown[std::size_t(row)][std::size_t(column)])
                    << row << "/" << column;
        // A chosen line shows its years, one year too.
        ASSERT_TRUE(SelectRow(dlg.m_listRules, 0));
        EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_PRECONDITION_MAXYEAR)), L"1");
        EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_PRECONDITION_RULEOP)), L"UND");
        ASSERT_TRUE(SelectRow(dlg.m_listRules, 1));
        EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_PRECONDITION_MAXYEAR)), L"6");
        EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_PRECONDITION_LOCKYEAR)), L"1");
        EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_PRECONDITION_ITEMOP)), L"ODER");
        ASSERT_TRUE(SelectRow(dlg.m_listRules, 2));
        EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_PRECONDITION_RULEOP)), L"UND NICHT");
        EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_PRECONDITION_ITEMOP)), L"UND");
        Screen(dlg, "kurspreconditiondlg");
        // With no line chosen there is nothing to change, delete or add an item to.
        ClickCell(dlg.m_listRules, 2, 0, Qt::ControlModifier);
        ASSERT_FALSE(RowSelected(dlg.m_listRules, 2));
        for (int id : {IDC_PRECONDITION_APPLY, IDC_PRECONDITION_DELETE, IDC_PRECONDITION_NEWITEM})
            EXPECT_FALSE(Enabled(Item(dlg, id))) << id;
        EXPECT_TRUE(Enabled(Item(dlg, IDC_PRECONDITION_NEWRULE)));

        // Without its first course the rule is led by the next one, no longer joined by ODER.
        ASSERT_TRUE(SelectRow(dlg.m_listRules, 0));
        script.ExpectMessageBox(IDYES, L"gelöscht");
        Click(dlg, IDC_PRECONDITION_DELETE);
    });
    EXPECT_EQ(Rules().front(), "1:0:" + K(b) + ":1:6:1");
}

}  // namespace
}  // namespace kurstest
