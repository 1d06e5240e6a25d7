// The course selector: courses with their runs, the search text, and what OK and Cancel hand back.
#include "kursresource.h"
#include "kursselectdlg.h"
#include "kurswintest.h"

namespace kurstest {
namespace {

using namespace qv::ui::test;

class KursSelectList : public KursWinTest {
protected:
    void SetUp() override {
        KursWinTest::SetUp();
        gk = AddKurs(3, "GK");
        ak = AddKurs(3, "AK");
        spring = AddRun(gk, "2031-03-01");
        autumn = AddRun(gk, "2031-09-01", true);
        Sql("UPDATE Kursinstanz SET strBezeichnung = 'Herbst O''Neill' WHERE lKursinstanzID = " + K(autumn));
    }
    // Runs the selector through the course window's call; the script acts on the dialog.
    BOOL Select(long& kurs, long& run, const std::function<void(CKursSelectDlg&)>& act) {
        script.ExpectModal(IDD_KURSSELECT, [&](qv::IModalDialog& modal) {
            act(dynamic_cast<CKursSelectDlg&>(modal));
            if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        });
        return KursSelect(nullptr, kurs, run);
    }
    long gk = 0, ak = 0, spring = 0, autumn = 0;
};

TEST_F(KursSelectList, ARunOrACourseAloneIsChosenAndCancelChangesNothing) {
    long kurs = gk, run = autumn;
    ASSERT_TRUE(Select(kurs, run, [&](CKursSelectDlg& dlg) {
        // AK without runs, then GK with its two runs; the current run is preselected.
        ASSERT_EQ(qv::ui::test::Rows(dlg.m_list), 4);
        EXPECT_EQ(Cell(dlg.m_list, 0, 0), L"AK, AK Kurs");
        EXPECT_EQ(Cell(dlg.m_list, 2, 2), L"01.03.2031");
        EXPECT_EQ(Cell(dlg.m_list, 3, 4), L"Ja");
        EXPECT_TRUE(RowSelected(dlg.m_list, 3));
        Screen(dlg, "kursselectdlg");
        SelectRow(dlg.m_list, 2);
        Click(dlg, IDOK);
    }));
    EXPECT_EQ(kurs, gk);
    EXPECT_EQ(run, spring);

    ASSERT_TRUE(Select(kurs, run, [&](CKursSelectDlg& dlg) { DoubleClickRow(dlg.m_list, 0); }));
    EXPECT_EQ(kurs, ak);
    EXPECT_EQ(run, 0) << "a course row has no run";

    EXPECT_FALSE(Select(kurs, run, [&](CKursSelectDlg& dlg) {
        SelectRow(dlg.m_list, 3);
        Click(dlg, IDCANCEL);
    }));
    EXPECT_EQ(kurs, ak);
}

TEST_F(KursSelectList, TheSearchTextNarrowsTheListAndAQuoteIsJustAText) {
    long kurs = 0, run = 0;
    ASSERT_TRUE(Select(kurs, run, [&](CKursSelectDlg& dlg) {
        Type(Item(dlg, IDC_KURSSELECT_FILTER), L"o'neill");
        ASSERT_EQ(qv::ui::test::Rows(dlg.m_list), 2) << "the course row and its matching run";
        EXPECT_EQ(Cell(dlg.m_list, 1, 1), L"Herbst O'Neill");
        Click(dlg, IDOK);
        EXPECT_FALSE(dlg.IsModalEnded()) << "nothing chosen yet";
        SelectRow(dlg.m_list, 1);
        Click(dlg, IDOK);
    }));
    EXPECT_EQ(run, autumn);
}

}  // namespace
}  // namespace kurstest
