// The participant quota editor through its real grid over a database from the suite schema: the
// quotas of a course per Mandant, what a cell takes, the logged inserts, updates and deletions,
// the all-row, the areas with their current Mandanten, and a mode switch whose search was left.
#include "kursresource.h"
#include "kurswin_window.h"
#include "maxteilnehmerdlg.h"
#include "qvregvalue.h"
#include "searchdlg.h"
#include "searchpopupdlg.h"
#include "searchresource.h"

namespace kurstest {
namespace {

using namespace qv::ui::test;

class MaxTeilnehmerTest : public KursWindow {
protected:
    void SetUp() override {
        KursWindow::SetUp();
        security.Answer(L"{DBC49068-BD2A-4DB3-9FC0-F46585DD46E3}", L"", 0x101);
        kurs = AddKurs(1, "GK");
        Sql("UPDATE Mandant SET strMandantName = 'A Nord' WHERE lMandantID = " + K(mandant));
        sued = Mandant("B Süd");
        year = COleDateTime::GetCurrentTime().GetYear();
    }
    long Mandant(const std::string& name) {
        const long id = mandant + 50 + ++mandanten;
        Sql("INSERT INTO Mandant (lMandantID, strMandantName) VALUES (" + K(id) + ", '" + name + "')");
        return id;
    }
    void Quota(long m, long y, long anzahl) {
        Sql("INSERT INTO MaxTeilnehmer (lKursID, lMandantID, lYear, lAnzahl) VALUES (" + K(kurs) + ", " + K(m) + ", " +
            K(y) + ", " + K(anzahl) + ")");
    }
    std::string Quotas() {
        std::string out;
        for (const auto& r : Rows("SELECT lMandantID || ':' || lYear || '=' || lAnzahl FROM MaxTeilnehmer ORDER BY "
                                  "lMandantID, lYear"))
            out += r + " ";
        return out;
    }
    std::vector<std::string> Rows(const std::string& sql) {
        std::vector<std::string> out;
        const long long n = Int("SELECT count(*) FROM (" + sql + ")");
        for (long long i = 0; i < n; ++i) out.push_back(Text(sql + " LIMIT 1 OFFSET " + std::to_string(i)));
        return out;
    }
    void Run(int mode, const std::function<void(CMaxTeilnehmerDlg&)>& body) {
        script.ExpectModal(IDD_MAXTEILNEHMER, [&](qv::IModalDialog& modal) {
            body(dynamic_cast<CMaxTeilnehmerDlg&>(modal));
            if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        });
        CMaxTeilnehmerDlg dlg;
        dlg.m_lMandantID = mandant;
        dlg.m_lKursID = kurs;
        dlg.m_lAreaID = area;
        dlg.m_nMode = mode;
        dlg.DoModal();
    }
    static int RowOf(HWND grid, const std::wstring& name) {
        for (int r = 0; r < qv::ui::test::Rows(grid); ++r)
            if (Cell(grid, r, 0) == name) return r;
        return -1;
    }
    long kurs = 0, sued = 0, area = 0, year = 0, mandanten = 0;
};

TEST_F(MaxTeilnehmerTest, ACellTakesOnlyAWholeNumberOrNothingAndOKWritesAndLogsWhatChanged) {
    Quota(sued, 0, 8);
    Quota(sued, year - 1, 3);  // gone by: neither shown nor touched
    Quota(sued, year + 4, 2);  // the last year shown: kept as it is
    Run(0, [&](CMaxTeilnehmerDlg& dlg) {
        HWND grid = dlg.m_grid.GetSafeHwnd();
        ASSERT_EQ(qv::ui::test::Rows(grid), 3);
        EXPECT_EQ(Cell(grid, 0, 0), L"<Alle>");
        EXPECT_EQ(Cell(grid, 0, 1), L"---");
        EXPECT_EQ(Cell(grid, 0, 6), L"---") << "the all-row reaches the last year";
        EXPECT_EQ(Header(grid, 2), std::to_wstring(year));
        EXPECT_EQ(Header(grid, 6), std::to_wstring(year + 4));
        EXPECT_FALSE(ToolTip(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_HELPBUTTON)).empty());
        HWND heading = qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_MAXTEILNEHMER_HEADING);
        EXPECT_EQ(qv::ui::test::Text(heading).rfind(L"Kurs: GK", 0), 0u) << W2U(qv::ui::test::Text(heading));
        EXPECT_TRUE(Widget(heading)->font().bold());
        const int nord = RowOf(grid, L"A Nord"), south = RowOf(grid, L"B Süd");
        EXPECT_EQ(Cell(grid, south, 1), L"8");
        EXPECT_FALSE(dlg.m_grid.SetCellValue(nord, 0, L"X")) << "the names are not edited";
        struct Case {
            const wchar_t* text;
            bool taken;
        };
        const Case cases[] = {{L"-9", false}, {L"abc", false},      {L"1.5", false},      {L"<>", false},
                              {L"1234567890", false}, {L"999999999", true}, {L"12", true},  {L"", true}};
        for (const auto& c : cases) {
            if (!c.taken) script.ExpectMessageBox(IDOK, L"ganze Zahl");
            EXPECT_EQ(bool(dlg.m_grid.SetCellValue(nord, 1, c.text)), c.taken) << W2U(c.text);
        }
        EXPECT_EQ(Cell(grid, nord, 1), L"");
        ASSERT_TRUE(dlg.m_grid.SetCellValue(nord, 1, L"12"));
        ASSERT_TRUE(dlg.m_grid.SetCellValue(nord, 2, L"0"));  // nobody: a quota too
        ASSERT_TRUE(dlg.m_grid.SetCellValue(south, 1, L""));
        ASSERT_TRUE(dlg.m_grid.SetCellValue(south, 3, L"5"));
        Screen(dlg.GetSafeHwnd(), "maxteilnehmerdlg");
        // A larger dialog gives the room to the grid; OK and Cancel keep their size and place at
        // the lower right corner.
        const auto rect = [&](int id) { return Widget(qv::ui::test::Item(dlg.GetSafeHwnd(), id))->geometry(); };
        const QSize ok = rect(IDOK).size(), help = rect(IDC_HELPBUTTON).size(), gridSize = Widget(grid)->size(),
                    change = rect(IDC_MAXTEILNEHMER_CHANGE).size();
        const int headingWidth = rect(IDC_MAXTEILNEHMER_HEADING).width(), textWidth = rect(IDC_MAXTEILNEHMER_TEXT).width();
        CRect before, after;
        dlg.GetClientRect(&before);
        ASSERT_TRUE(ResizeWindow(dlg.GetSafeHwnd(), before.Width() + 200, before.Height() + 100));
        dlg.GetClientRect(&after);
        ASSERT_GT(after.Width(), before.Width());
        EXPECT_EQ(rect(IDOK).size(), ok);
        EXPECT_EQ(rect(IDC_HELPBUTTON).size(), help);
        EXPECT_EQ(rect(IDC_MAXTEILNEHMER_CHANGE).size(), change);
        EXPECT_EQ(after.Width() - rect(IDC_MAXTEILNEHMER_CHANGE).x() - rect(IDC_MAXTEILNEHMER_CHANGE).width(), 10);
        EXPECT_EQ(Widget(grid)->width(), gridSize.width() + after.Width() - before.Width());
        EXPECT_EQ(rect(IDC_MAXTEILNEHMER_HEADING).width(), headingWidth + after.Width() - before.Width());
        EXPECT_EQ(rect(IDC_MAXTEILNEHMER_TEXT).width(), textWidth + after.Width() - before.Width());
        EXPECT_EQ(after.Width() - rect(IDCANCEL).x() - rect(IDCANCEL).width(), 10);
        EXPECT_EQ(after.Width() - rect(IDOK).x() - rect(IDOK).width(), 112);
        EXPECT_EQ(after.Height() - rect(IDOK).y() - rect(IDOK).height(), 7);
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    EXPECT_EQ(Quotas(), K(mandant) + ":0=12 " + K(mandant) + ":" + K(year) + "=0 " + K(sued) + ":" + K(year - 1) + "=3 " +
                            K(sued) + ":" + K(year + 1) + "=5 " + K(sued) + ":" + K(year + 4) + "=2 ");
    EXPECT_EQ(Text("SELECT strBemerkung FROM MaxTeilnehmer WHERE lMandantID = " + K(mandant)), "");
    const auto log = Rows("SELECT strText || '|' || strDetail || '|' || strModul || '|' || lTableID || '|' || "
                          "CASE WHEN guidRecord = (SELECT guid FROM Kurs WHERE lKursID = " + K(kurs) + ") THEN 1 ELSE 0 END FROM UserLog "
                          "ORDER BY lUserLogID");
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "Max. Kurs Teilnehmer aktualisiert.|Mandant:A Nord | Jahr:0 | Anzahl:12|Ausbildung.Kurs|39|1");
    EXPECT_EQ(log[1], "Max. Kurs Teilnehmer aktualisiert.|Mandant:A Nord | Jahr:" + K(year) + " | Anzahl:0|Ausbildung.Kurs|39|1");
    EXPECT_EQ(log[2], "Max. Kurs Teilnehmer aktualisiert.|Mandant:B Süd | Jahr:0 | Anzahl:|Ausbildung.Kurs|39|1");
    EXPECT_EQ(log[3], "Max. Kurs Teilnehmer aktualisiert.|Mandant:B Süd | Jahr:" + K(year + 1) + " | Anzahl:5|Ausbildung.Kurs|39|1");
}

TEST_F(MaxTeilnehmerTest, AFailedSaveWritesNothingAndTheNextOKWritesEachQuotaOnce) {
    Sql("CREATE TRIGGER refuse_sued BEFORE INSERT ON MaxTeilnehmer WHEN NEW.lMandantID = " + K(sued) +
        " BEGIN SELECT RAISE(ABORT, 'refused'); END");
    Quota(mandant, year - 1, 4);  // gone by: no column, never touched
    Quota(mandant, year + 4, 2);  // the last column's: kept as it is
    Quota(mandant, year, 7);      // this year's: written once more, not twice
    const long west = Mandant("C West");
    Run(0, [&](CMaxTeilnehmerDlg& dlg) {
        HWND grid = dlg.m_grid.GetSafeHwnd();
        ASSERT_TRUE(dlg.m_grid.SetCellValue(RowOf(grid, L"A Nord"), 1, L"12"));
        ASSERT_TRUE(dlg.m_grid.SetCellValue(RowOf(grid, L"B Süd"), 1, L"3"));
        ASSERT_TRUE(dlg.m_grid.SetCellValue(RowOf(grid, L"C West"), 6, L"8"));
        // Another user gives A Nord a general quota meanwhile, changes its last one (a cell this
        // user leaves alone) and gives C West one in the cell this user typed in.
        Quota(mandant, 0, 5);
        Sql("UPDATE MaxTeilnehmer SET lAnzahl = 6 WHERE lYear = " + K(year + 4));
        Quota(west, year + 4, 4);
        script.AllowReports(true);
        // A switch whose save failed keeps the mode, and shows it.
        ASSERT_TRUE(Click(dlg.GetSafeHwnd(), IDC_MAXTEILNEHMER_MODE_MANDANT));
        EXPECT_EQ(dlg.m_nMode, 0);
        EXPECT_TRUE(dlg.IsDlgButtonChecked(IDC_MAXTEILNEHMER_MODE_KURS));
        EXPECT_FALSE(dlg.IsDlgButtonChecked(IDC_MAXTEILNEHMER_MODE_MANDANT));
        Click(dlg.GetSafeHwnd(), IDOK);
        script.AllowReports(false);
        EXPECT_FALSE(dlg.IsModalEnded()) << "the dialog stays open";
        EXPECT_EQ(Quotas(), K(mandant) + ":0=5 " + K(mandant) + ":" + K(year - 1) + "=4 " + K(mandant) + ":" + K(year) + "=7 " +
                                K(mandant) + ":" + K(year + 4) + "=6 " + K(west) + ":" + K(year + 4) + "=4 ")
            << "the save was taken back whole";
        EXPECT_EQ(Int("SELECT count(*) FROM UserLog"), 0);
        Sql("DROP TRIGGER refuse_sued");
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    EXPECT_EQ(Quotas(), K(mandant) + ":0=12 " + K(mandant) + ":" + K(year - 1) + "=4 " + K(mandant) + ":" + K(year) + "=7 " +
                            K(mandant) + ":" + K(year + 4) + "=6 " + K(sued) + ":0=3 " + K(west) + ":" + K(year + 4) + "=8 ")
        << "one row per course, Mandant and year; the other user's change to an untouched cell stays";
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog"), 3);
}

TEST_F(MaxTeilnehmerTest, TheAllRowSetsAColumnForEveryRowAndCancelWritesNothing) {
    Quota(sued, year, 4);
    Run(0, [&](CMaxTeilnehmerDlg& dlg) {
        ASSERT_TRUE(dlg.m_grid.SetCellValue(0, 2, L"9"));
        Click(dlg.GetSafeHwnd(), IDCANCEL);
    });
    EXPECT_EQ(Quotas(), K(sued) + ":" + K(year) + "=4 ");
    Run(0, [&](CMaxTeilnehmerDlg& dlg) {
        ASSERT_TRUE(dlg.m_grid.SetCellValue(0, 2, L"9"));
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    EXPECT_EQ(Quotas(), K(mandant) + ":" + K(year) + "=9 " + K(sued) + ":" + K(year) + "=9 ");
    // The general column too.
    Run(0, [&](CMaxTeilnehmerDlg& dlg) {
        ASSERT_TRUE(dlg.m_grid.SetCellValue(0, 1, L"7"));
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    EXPECT_EQ(Int("SELECT count(*) FROM MaxTeilnehmer WHERE lYear = 0 AND lAnzahl = 7"), 2);
    Sql("DELETE FROM MaxTeilnehmer WHERE lYear = 0");
    // Cleared in the all-row, the column's quota goes from every row; the other columns stay.
    Quota(sued, 0, 6);
    Run(0, [&](CMaxTeilnehmerDlg& dlg) {
        ASSERT_TRUE(dlg.m_grid.SetCellValue(0, 2, L""));
        ASSERT_TRUE(dlg.m_grid.SetCellValue(0, 3, L" "));  // a blank is no amount: nothing for any row
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    EXPECT_EQ(Quotas(), K(sued) + ":0=6 ");
}

TEST_F(MaxTeilnehmerTest, ClearingAnAreaCellDeletesOnlyTheQuotasOfItsCurrentMandanten) {
    // The area management runs.
    qvtest::ScopedRunningServer areas(L"Qovaro.NQ2.AreaMngmtView", &startup);
    area = 600;
    Sql("INSERT INTO Area (lAreaID, strKurzbezeichnung, strBezeichnung) VALUES (600, 'Ost', 'Gebiet Ost')");
    const long left = Mandant("C Weg");
    Sql("INSERT INTO AreaMandant (lAreaID, lMandantID, fDeleted) VALUES (600, " + K(mandant) + ", 0), (600, " +
        K(sued) + ", 0), (600, " + K(left) + ", 1)");
    Quota(mandant, 0, 10);
    Quota(sued, 0, 10);
    Quota(left, 0, 10);
    Quota(mandant, year, 2);
    Quota(mandant, year + 2, 1);
    Run(2, [&](CMaxTeilnehmerDlg& dlg) {
        HWND grid = dlg.m_grid.GetSafeHwnd();
        const int ost = RowOf(grid, L"Ost, Gebiet Ost");
        ASSERT_GE(ost, 0);
        EXPECT_EQ(Cell(grid, ost, 1), L"10") << "the Mandant that left does not count";
        EXPECT_EQ(Cell(grid, ost, 2), L"<>") << "one Mandant of two has a quota";
        EXPECT_EQ(CellBackColor(grid, ost, 2), RGB(255, 255, 200));
        ASSERT_TRUE(dlg.m_grid.SetCellValue(ost, 1, L""));
        ASSERT_TRUE(dlg.m_grid.SetCellValue(ost, 3, L"7"));
        ASSERT_TRUE(dlg.m_grid.SetCellValue(ost, 5, L"0"));  // nobody: a quota for each Mandant too
        // A mixed cell may keep its mark; a number replaces the quota one has and adds the other's.
        EXPECT_TRUE(dlg.m_grid.SetCellValue(ost, 4, L"<>"));
        ASSERT_TRUE(dlg.m_grid.SetCellValue(ost, 4, L"5"));
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    EXPECT_EQ(Quotas(), K(mandant) + ":" + K(year) + "=2 " + K(mandant) + ":" + K(year + 1) + "=7 " + K(mandant) + ":" +
                            K(year + 2) + "=5 " + K(mandant) + ":" + K(year + 3) + "=0 " + K(sued) + ":" + K(year + 1) +
                            "=7 " + K(sued) + ":" + K(year + 2) + "=5 " + K(sued) + ":" + K(year + 3) + "=0 " + K(left) +
                            ":0=10 ");
    // The area's courses: a quota all its current Mandanten share, one that only some have.
    Run(3, [&](CMaxTeilnehmerDlg& dlg) {
        HWND grid = dlg.m_grid.GetSafeHwnd();
        int row = -1;
        for (int r = 1; r < qv::ui::test::Rows(grid); ++r)
            if (Cell(grid, r, 0).find(L"GK") == 0) row = r;
        ASSERT_GE(row, 1);
        EXPECT_EQ(Cell(grid, row, 3), L"7");
        EXPECT_EQ(Cell(grid, row, 2), L"<>");
        EXPECT_EQ(Cell(grid, row, 1), L"");
    });
    // The general column of an area whose Mandanten differ may keep its mark too.
    Quota(mandant, 0, 3);
    Run(2, [&](CMaxTeilnehmerDlg& dlg) {
        const int ost = RowOf(dlg.m_grid.GetSafeHwnd(), L"Ost, Gebiet Ost");
        EXPECT_EQ(Cell(dlg.m_grid.GetSafeHwnd(), ost, 1), L"<>");
        EXPECT_TRUE(dlg.m_grid.SetCellValue(ost, 1, L"<>"));
        // The area's courses and back, by the mode buttons.
        ASSERT_TRUE(Click(dlg.GetSafeHwnd(), IDC_MAXTEILNEHMER_MODE_AREAKURS));
        EXPECT_EQ(dlg.m_nMode * 10 + int(dlg.m_grid.GetInsertedItemCount() > 1), 31);
        ASSERT_TRUE(Click(dlg.GetSafeHwnd(), IDC_MAXTEILNEHMER_MODE_AREA));
        EXPECT_EQ(Cell(dlg.m_grid.GetSafeHwnd(), RowOf(dlg.m_grid.GetSafeHwnd(), L"Ost, Gebiet Ost"), 1), L"<>");
    });
}

TEST_F(MaxTeilnehmerTest, ASwitchWhoseSearchWasLeftKeepsTheModeAndItsRows) {
    Run(0, [&](CMaxTeilnehmerDlg& dlg) {
        dlg.m_lMandantID = 0;
        HWND wnd = dlg.GetSafeHwnd();
        ASSERT_TRUE(dlg.m_grid.SetCellValue(1, 1, L"6"));
        script.ExpectModal(IDD_SEARCHPOPUP, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
        ASSERT_TRUE(Click(wnd, IDC_MAXTEILNEHMER_MODE_MANDANT));
        EXPECT_EQ(dlg.m_nMode, 0);
        EXPECT_TRUE(dlg.IsDlgButtonChecked(IDC_MAXTEILNEHMER_MODE_KURS));
        EXPECT_FALSE(dlg.IsDlgButtonChecked(IDC_MAXTEILNEHMER_MODE_MANDANT));
        EXPECT_EQ(Cell(dlg.m_grid.GetSafeHwnd(), 0, 0), L"<Alle>");
        EXPECT_FALSE(Visible(qv::ui::test::Item(wnd, IDC_MAXTEILNEHMER_MODE_AREA))) << "no area module";
        // Change in the rows of a course looks for another course.
        script.ExpectModal(IDD_SEARCHPOPUP, [](qv::IModalDialog& modal) {
            EXPECT_EQ(dynamic_cast<CSearchPopupDlg&>(modal).m_lTableID, 39) << "the course table";
            modal.EndModal(IDCANCEL);
        });
        ASSERT_TRUE(Click(wnd, IDC_MAXTEILNEHMER_CHANGE));
        EXPECT_EQ(script.Pending(), 0u);
        ASSERT_TRUE(dlg.m_grid.SetCellValue(2, 1, L"3"));
        Click(wnd, IDOK);
    });
    EXPECT_EQ(Quotas(), K(mandant) + ":0=6 " + K(sued) + ":0=3 ") << "saved before the switch and at OK, under courses";

    // With a Mandant at hand the switch asks for none: the rows are the Mandant's courses.
    Run(0, [&](CMaxTeilnehmerDlg& dlg) {
        ASSERT_TRUE(Click(dlg.GetSafeHwnd(), IDC_MAXTEILNEHMER_MODE_MANDANT));
        EXPECT_EQ(dlg.m_nMode, 1);
        EXPECT_EQ(Header(dlg.m_grid.GetSafeHwnd(), 0), L"Kurs");
        EXPECT_EQ(qv::ui::test::Text(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_MAXTEILNEHMER_CHANGE)), L"Mandant ändern...");
        HWND grid = dlg.m_grid.GetSafeHwnd();
        int row = -1;
        for (int r = 1; r < qv::ui::test::Rows(grid); ++r)
            if (Cell(grid, r, 0).find(L"GK") == 0) row = r;
        ASSERT_GE(row, 1);
        EXPECT_EQ(Cell(grid, row, 1), L"6");
        ASSERT_TRUE(dlg.m_grid.SetCellValue(row, 2, L"4"));
        // Another Mandant chosen: the change is saved first, and the rows are his.
        Sql("INSERT INTO SecMandant (lMandantID, lTableID, lQvSecUserID, lRight) VALUES (" + K(sued) + ", 0, 5, 257)");
        script.ExpectModal(IDD_SEARCHPOPUP, [](qv::IModalDialog& modal) {
            auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
            ASSERT_NE(popup.m_pSearchDlg, nullptr);
            Retype(qv::ui::test::Item(popup.m_pSearchDlg->GetSafeHwnd(), IDC_SEARCH_TEXT), L"Süd");
            HWND list = popup.m_pSearchDlg->m_lstResult.GetSafeHwnd();
            // The rows of the text typed, not those of the search before it.
            ASSERT_TRUE(WaitFor([&] { return !popup.m_pSearchDlg->IsSearching() && qv::ui::test::Rows(list) > 0; },
                                30000));
            for (int r = 0; r < qv::ui::test::Rows(list); ++r)
                if (Cell(list, r, 0) == L"B Süd") SelectRow(list, r);
            Click(popup.GetSafeHwnd(), IDOK);
            if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        });
        ASSERT_TRUE(Click(dlg.GetSafeHwnd(), IDC_MAXTEILNEHMER_CHANGE));
        EXPECT_EQ(dlg.m_lMandantID, sued);
        EXPECT_EQ(Cell(grid, row, 1), L"3");
        // Back to the course's rows: the change is saved and shown in the Mandant's row.
        ASSERT_TRUE(Click(dlg.GetSafeHwnd(), IDC_MAXTEILNEHMER_MODE_KURS));
        EXPECT_EQ(dlg.m_nMode, 0);
        EXPECT_EQ(Cell(grid, RowOf(grid, L"A Nord"), 2), L"4");
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    EXPECT_EQ(Quotas(), K(mandant) + ":0=6 " + K(mandant) + ":" + K(year) + "=4 " + K(sued) + ":0=3 ");
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog WHERE guidRecord = (SELECT guid FROM Kurs WHERE lKursID = " + K(kurs) + ")"),
              3) << "logged under the course in either mode";
}

TEST_F(MaxTeilnehmerTest, WithoutEditRightTheGridIsReadOnly) {
    security.Answer(L"{DBC49068-BD2A-4DB3-9FC0-F46585DD46E3}", L"", 0x1);
    Run(0, [&](CMaxTeilnehmerDlg& dlg) {
        EXPECT_TRUE(Visible(dlg.m_grid.GetSafeHwnd())) << "shown to be read";
        EXPECT_FALSE(dlg.m_grid.SetCellValue(1, 1, L"5"));
        EXPECT_FALSE(Enabled(qv::ui::test::Item(dlg.GetSafeHwnd(), IDOK)));
    });
    // Without any right on the quotas neither grid nor OK is shown.
    security.Answer(L"{DBC49068-BD2A-4DB3-9FC0-F46585DD46E3}", L"", 0);
    Run(0, [&](CMaxTeilnehmerDlg& dlg) {
        EXPECT_FALSE(Visible(dlg.m_grid.GetSafeHwnd()));
        EXPECT_FALSE(Visible(qv::ui::test::Item(dlg.GetSafeHwnd(), IDOK)));
    });
    EXPECT_EQ(Quotas(), "");
}

}  // namespace
}  // namespace kurstest
