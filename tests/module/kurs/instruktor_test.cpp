// The instructors page: offered in the central installation only, the status line against the
// run's minimum, booking by role through the person search, the leader choice with the course
// rights it carries, re-statusing, moving and removing instructors, and a page whose role menu
// could not be read that still hears its run.
#include "editpersondlg.h"
#include "getstatusdlg.h"
#include "qveventsource.h"
#include "leftworkers.h"
#include "runpagestest.h"
#include "../../suite/frame/fakeview.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QPainter>

#include <filesystem>
#include <map>
#include <thread>

namespace kurstest {
namespace {

using namespace qv::ui::test;

constexpr GUID kRunChanged = qv::MakeGuid("FE598CA4-2B6D-41E3-AE09-2DB75EE0C56F");
constexpr GUID kRolesChanged = qv::MakeGuid("8C500EC2-129C-4CCF-BF2C-8BBA4F7CE8D2");

// Hears the bookings-changed and run-changed events the page fires.
struct Listener {
    void OnBookings(COleVariant value) { bookings.push_back(static_cast<const VARIANT&>(value).lVal); }
    void OnRun(COleVariant value) { runs.push_back(static_cast<const VARIANT&>(value).lVal); }
    DECLARE_QVEVENT_MAP()
    std::vector<long> bookings, runs;  // handed over on the GUI thread
    CQvAsyncEventSink sink;
};

BEGIN_QVEVENT_MAP(Listener)
    ON_QVEVENT(CKursChildDlg::GUID_BookingsChanged, OnBookings)
    ON_QVEVENT(kRunChanged, OnRun)
END_QVEVENT_MAP()

class Instruktor : public RunPages {
protected:
    void SetUp() override {
        RunPages::SetUp();
        ASSERT_EQ(listener.sink.Create(&listener, Listener::GetQvEventMap()), S_OK);
    }
    void TearDown() override {
        listener.sink.Unadvise();
        RunPages::TearDown();
    }
    void Open() {
        OpenView();
        page = Show<CInstruktorDlg>();
        ASSERT_NE(page, nullptr);
    }
    HWND Grid() const { return page->m_grid.m_hWnd; }
    HWND Button(int id) const { return qv::ui::test::Item(page->GetSafeHwnd(), id); }
    std::wstring Status() const { return qv::ui::test::Text(Button(IDC_INSTRUKTOR_STATUS)); }
    std::string Instruktoren(long r) {
        return Text("SELECT group_concat(lPersonID || ':' || lKursleitungID || ':' || fLeiter, ' ') FROM (SELECT * "
                    "FROM PersonKurs WHERE fTeilnehmer = 0 AND lKursinstanzID = " + K(r) + " ORDER BY lPersonID, lKursleitungID)");
    }
    // The row of the search's list that names the person.
    static int SearchRow(HWND list, const std::wstring& name) {
        for (int row = 0; row < Rows(list); ++row)
            for (int column = 0; column < Columns(list); ++column)
                if (Cell(list, row, column).find(name) != std::wstring::npos) return row;
        return -1;
    }
    CInstruktorDlg* page = nullptr;
    Listener listener;
};

TEST_F(Instruktor, BothPagesAreOfferedInTheCentralInstallationOnly) {
    for (bool central : {false, true}) {
        SCOPED_TRACE(central ? "central" : "local");
        qv::nq::SetEnterpriseEdition(central);
        OpenView();
        EXPECT_EQ(Has<CInstruktorDlg>(), central);
        EXPECT_EQ(Has<CGruppenDlg>(), central);
        const auto labels = TabLabels(Dlg()->GetTabCtrl().GetSafeHwnd());
        EXPECT_EQ(std::count(labels.begin(), labels.end(), L"Kursleitung"), central ? 1 : 0);
        EXPECT_EQ(std::count(labels.begin(), labels.end(), L"Gruppen"), central ? 1 : 0);
        CloseView();
    }
}

// Each button shows the picture of its command, the same on every page and dialog. The command
// is read as the user reads it, from the button's tool tip; the picture is the one on its face.
TEST_F(Instruktor, EachButtonShowsThePictureOfItsCommandOnEveryPageAndDialog) {
    for (const wchar_t* function : {L"{8BDEFAFA-61B5-4DB5-8CBD-5C38E19AEB70}", L"{B92A2088-34E1-4211-8BC9-2A743F3B16CD}",
                                    L"{924411CF-EA09-4E11-ABA5-F7779B9C6523}", L"{44C5D8A8-3AE7-4B09-9743-C8583EF78ED6}"})
        security.Answer(function, L"", 0x101);
    const auto command = [](const std::wstring& tip) -> std::string {
        const auto starts = [&](const wchar_t* text) { return tip.rfind(text, 0) == 0; };
        if (starts(L"Fügt ")) return "new";
        if (starts(L"Entfernt den gewählten") || starts(L"Löscht ")) return "delete";
        if (starts(L"Öffnet ein Fenster zum Bearbeiten") || starts(L"Öffnet ein Fenster zum gleichzeitigen Ändern"))
            return "edit";
        if (starts(L"Ändert den Anmeldestatus")) return "state";
        if (starts(L"Kopiert ")) return "copy";
        return {};
    };
    struct Shown {
        std::string where;
        QImage picture;
    };
    std::map<std::string, std::vector<Shown>> byCommand;
    std::map<std::string, int> perWindow;
    const auto collect = [&](HWND window, const std::string& where) {
        for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            auto* button = qobject_cast<QAbstractButton*>(Widget(child));
            if (!button || button->icon().isNull()) continue;
            // A button that shows only a picture says what it does in its tool tip (the switch
            // button of the participants has none).
            if (::GetDlgCtrlID(child) != IDC_TEILNEHMER_SWITCH)
                EXPECT_FALSE(ToolTip(child).empty()) << where << " " << ::GetDlgCtrlID(child);
            const std::string what = command(ToolTip(child));
            if (what.empty()) continue;
            if (where != "Kursanmeldeänderungen") {
                auto* push = qobject_cast<QPushButton*>(button);
                EXPECT_TRUE(push && push->isFlat()) << where << " " << what << ": a page's command buttons are flat";
            }
            const QImage picture = button->icon().pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32);
            byCommand[what].push_back({where + " " + std::to_string(::GetDlgCtrlID(child)), picture});
            ++perWindow[where];
        }
    };
    std::vector<std::wstring> topics;
    qv::SetHelpHandler([&](const CString& topic) {
        topics.push_back(topic.GetString());
        return true;
    });
    OpenView();
    for (int i = 0; i < Dlg()->GetTabCtrl().GetTabCount(); ++i) {
        ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), i));
        Pump();
        collect(Page(i)->GetSafeHwnd(), W2U(TabLabels(Dlg()->GetTabCtrl().GetSafeHwnd())[std::size_t(i)]));
        // Each page's help button shows the page's own help.
        if (HWND help = qv::ui::test::Item(Page(i)->GetSafeHwnd(), IDC_HELPBUTTON)) Click(help);
    }
    qv::SetHelpHandler(nullptr);
    EXPECT_EQ(topics, (std::vector<std::wstring>{L"HELP_KURS_TAB_TEILNEHMER", L"HELP_KURS_TAB_GRUPPEN",
                                                 L"HELP_KURS_TAB_INSTRUKTOR", L"HELP_KURS_TAB_PLANUNG",
                                                 L"HELP_KURS_TAB_HISTORY"}));
    script.ExpectModal(IDD_NOTIFICATION, [&](qv::IModalDialog& modal) {
        collect(dynamic_cast<CWnd&>(modal).GetSafeHwnd(), "Kursanmeldeänderungen");
        modal.EndModal(IDCANCEL);
    });
    Action(ID_KURS_NOTIFICATION);
    for (const char* where : {"Austragung", "Teilnehmer", "Planung", "Archiv", "Kursleitung", "Gruppen",
                              "Kursanmeldeänderungen"})
        EXPECT_GE(perWindow[where], 2) << where;
    for (const char* what : {"new", "delete", "edit", "state", "copy"}) {
        SCOPED_TRACE(what);
        const auto& shown = byCommand[what];
        ASSERT_FALSE(shown.empty());
        for (const Shown& s : shown) EXPECT_EQ(s.picture, shown.front().picture) << s.where << " as " << shown.front().where;
        for (const auto& [other, others] : byCommand) {
            if (other == what) continue;
            EXPECT_NE(others.front().picture, shown.front().picture) << other;
        }
    }
    // And the pictures say it: new is a plus, delete a cross.
    const auto ink = [](const QImage& p, int x, int y) { return qAlpha(p.pixel(x, y)) > 100; };
    const QImage plus = byCommand["new"].front().picture, cross = byCommand["delete"].front().picture;
    EXPECT_TRUE(ink(plus, 8, 3) && ink(plus, 3, 8) && ink(plus, 8, 8) && !ink(plus, 3, 3) && !ink(plus, 12, 12));
    EXPECT_TRUE(ink(cross, 3, 3) && ink(cross, 12, 12) && ink(cross, 12, 3) && !ink(cross, 8, 3) && !ink(cross, 3, 8));
    // The pictures as the user sees them, one row per command.
    QImage sheet(16 * 12, 20 * int(byCommand.size()), QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    {
        QPainter painter(&sheet);
        int row = 0;
        for (const auto& [what, shown] : byCommand) {
            for (std::size_t i = 0; i < shown.size() && i < 12; ++i)
                painter.drawImage(QPoint(int(i) * 16, row * 20 + 2), shown[i].picture);
            ++row;
        }
    }
    std::filesystem::create_directories(QV_SCREENS_DIR);
    EXPECT_TRUE(sheet.scaled(sheet.size() * 3).save(QV_SCREENS_DIR "/buttons" + QString(kOnPg ? "_pg" : "") + ".png"));
}

TEST_F(Instruktor, TheStatusLineCountsTheInstructorsAgainstTheRunsMinimum) {
    struct Case {
        long min;
        std::vector<long> statuses;
        bool closed;
        std::wstring text;
        COLORREF color;
    };
    const COLORREF green = RGB(100, 255, 50), yellow = RGB(255, 255, 0), red = RGB(255, 50, 50);
    const std::vector<Case> cases = {
        {0, {0, 0}, false, L"Anzahl/min.: 2/0  |  Reserve: 0  Angemeldet: 2  Anwesend: 0  Abwesend: 0", CLR_DEFAULT},
        {3, {0, 0, 0}, false, L"Anzahl/min.: 3/3  |  noch fehlend: 0  |  Reserve: 0  Angemeldet: 3  Anwesend: 0  "
                              L"Abwesend: 0", green},
        {3, {0, 0}, false, L"Anzahl/min.: 2/3  |  noch fehlend: 1  |  Reserve: 0  Angemeldet: 2  Anwesend: 0  "
                           L"Abwesend: 0", red},
        {3, {0, 0, 0, 2}, false, L"Anzahl/min.: 4/3  |  nicht zwingend benötigt: 1  |  Reserve: 0  Angemeldet: 3  "
                                 L"Anwesend: 0  Abwesend: 1", yellow},
        // An absent instructor counts against the need but not towards green.
        {3, {0, 0, 2}, false, L"Anzahl/min.: 3/3  |  noch fehlend: 0  |  Reserve: 0  Angemeldet: 2  Anwesend: 0  "
                              L"Abwesend: 1", red},
        {2, {0, 0, 5}, false, L"Anzahl/min.: 3/2  |  noch fehlend: 0  |  Reserve: 0  Angemeldet: 2  Anwesend: 0  "
                              L"Abwesend: 1", green},
        {2, {1, 3, 6}, true, L"Die Austragung ist geschlossen.  |  Anzahl/min.: 3/2  |  nicht zwingend benötigt: 1  |  "
                             L"Reserve: 1  Angemeldet: 0  Anwesend: 2  Abwesend: 0", RGB(200, 200, 200)},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(qv::ToUtf8(c.text));
        Sql("DELETE FROM PersonKurs");
        Sql("UPDATE Kursinstanz SET lMinInstruktor = " + K(c.min) + ", fGeschlossen = " + (c.closed ? "1" : "0") +
            " WHERE lKursinstanzID = " + K(run));
        for (long status : c.statuses) AddInstruktor(AddPerson("Leiter"), run, status);
        ASSERT_TRUE(SUCCEEDED(page->Refresh()));
        EXPECT_EQ(Rows(Grid()), static_cast<int>(c.statuses.size()));
        EXPECT_EQ(Status(), c.text);
        EXPECT_EQ(page->GetStatusColor(), c.color);
        const HWND status = Button(IDC_INSTRUKTOR_STATUS);
        const COLORREF shown = PixelAt(status, Widget(status)->width() - 4, 4);
        if (c.color != CLR_DEFAULT) EXPECT_EQ(shown, c.color) << "the line is painted in it";
        else EXPECT_NE(shown, green);
    }
    Grant(run, 0x100);  // a rights row without reading hides the run's instructors
    ASSERT_TRUE(SUCCEEDED(page->Refresh()));
    EXPECT_EQ(Rows(Grid()), 0);
}

TEST_F(Instruktor, InstructorsAreBookedByRoleAmongThoseHoldingItOnTheRunDate) {
    const long lehrer = AddRole("Klassenlehrer");
    const long aufsicht = AddRole("Aufsicht");
    const long offen = AddPerson("Offen"), endetAm = AddPerson("EndetAm"), beginntAm = AddPerson("BeginntAm"),
               spaeter = AddPerson("EndetSpaeter"), andere = AddPerson("Andere");
    Hold(offen, lehrer, "2030-01-01", "1899-12-30");
    Hold(endetAm, lehrer, "2030-01-01", "2031-09-01");
    Hold(beginntAm, lehrer, "2031-09-01", "1899-12-30");
    Hold(spaeter, lehrer, "2030-01-01", "2032-01-01");
    Hold(andere, aufsicht, "2030-01-01", "1899-12-30");
    Open();

    std::vector<std::wstring> found;
    ExpectSearch([&](HWND list) {
        for (const wchar_t* name : {L"Offen", L"EndetAm", L"BeginntAm", L"EndetSpaeter", L"Andere"})
            if (SearchRow(list, name) >= 0) found.push_back(name);
        for (int row = 0; row < Rows(list); ++row) ClickRowCheckBox(list, row);
    });
    // The roles stand by name after the one without.
    ChooseFromMenu(Button(IDC_INSTRUKTOR_ADD), ID_INSTRUKTOR_ROLE_FIRST + 2);
    EXPECT_EQ(LastPopupMenuItems(),
              (std::vector<std::wstring>{L"ohne spezielle Funktion", L"Aufsicht", L"Klassenlehrer"}));
    EXPECT_EQ(found, (std::vector<std::wstring>{L"Offen", L"EndetSpaeter"}));
    EXPECT_EQ(Instruktoren(run), K(offen) + ":" + K(lehrer) + ":0 " + K(spaeter) + ":" + K(lehrer) + ":0");
    ASSERT_EQ(Rows(Grid()), 2);
    for (int row = 0; row < 2; ++row) EXPECT_EQ(Cell(Grid(), row, 1), L"Klassenlehrer");
    EXPECT_EQ(Text("SELECT strLock FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), "") << "the edit ended";

    // Without a role anyone can be chosen; the booking carries no role.
    ExpectSearch([&](HWND list) {
        const int row = SearchRow(list, L"Andere");
        ASSERT_GE(row, 0);
        ClickRowCheckBox(list, row);
    });
    ChooseFromMenu(Button(IDC_INSTRUKTOR_ADD), ID_INSTRUKTOR_ROLE_FIRST);
    EXPECT_EQ(Text("SELECT lKursleitungID FROM PersonKurs WHERE lPersonID = " + K(andere)), "-1");
    ASSERT_EQ(Rows(Grid()), 3);
    const int row = RowOf(Grid(), 4, L"Andere");
    ASSERT_GE(row, 0);
    EXPECT_EQ(Cell(Grid(), row, 1), L"ohne spezielle Funktion");
    EXPECT_FALSE(page->m_grid.QvGetGridItem(row)->GetColumnCheck(8)) << "not the leader";
}

TEST_F(Instruktor, ALeaderWithoutTheRightToBookFindsOnlyHimself) {
    const long lehrer = AddRole("Klassenlehrer");
    const long selbst = AddPerson("Selbst"), andere = AddPerson("Andere");
    for (long person : {selbst, andere}) Hold(person, lehrer, "2030-01-01", "1899-12-30");
    // The page's function reads only; the user leads participants and instructors of this run.
    security.Answer(L"{7DFFEFCC-5812-42A6-BEB3-F9E7369EF042}", L"", 0x1);
    security.Answer(L"{8C720C47-85F3-4C83-B183-DA593FA4F230}", L"", 0x10000);
    Grant(run, 0x10101);
    Open();
    page->m_lUserPersonID = selbst;
    page->LoadData();
    ASSERT_TRUE(Enabled(Button(IDC_INSTRUKTOR_ADD))) << "leading the participants opens the button";
    security.Answer(L"{E9A11836-A84D-464E-91ED-A1E0C3317237}", L"", 0x10000);
    for (UINT role : {ID_INSTRUKTOR_ROLE_FIRST, ID_INSTRUKTOR_ROLE_FIRST + 1}) {
        int offered = 0, self = -1;
        ExpectSearch([&](HWND list) {
            offered = Rows(list);
            self = SearchRow(list, L"Selbst");
            ClickRowCheckBox(list, 0);
        });
        ChooseFromMenu(Button(IDC_INSTRUKTOR_ADD), role);
        EXPECT_EQ(offered, 1) << role;
        EXPECT_EQ(self, 0) << role;
    }
    EXPECT_EQ(Instruktoren(run), K(selbst) + ":-1:0 " + K(selbst) + ":" + K(lehrer) + ":0");

    // The organisation page offers his brigade with him alone.
    security.Answer(L"{CEE77DFE-AA1F-4CE7-9903-3BC6D2448E7F}", L"", 0x1);
    script.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog& modal) {
        CSearchTabDlg* tab = dynamic_cast<CSearchPopupDlg&>(modal).m_pSearchTabDlg;
        if (tab && tab->m_nTreePage >= 0) {
            ClickTab(tab->m_tabCtrl.m_hWnd, tab->m_nTreePage);
            // The tree fills over several turns of the GUI thread: his brigade and then him.
            EXPECT_TRUE(WaitFor([&] { return tab->m_treeOrg.GetCount() >= 2; }, 10000));
            Pump();
            EXPECT_EQ(tab->m_treeOrg.GetCount(), 2u);
        } else {
            ADD_FAILURE() << "no organisation page";
        }
        modal.EndModal(IDCANCEL);
    });
    ChooseFromMenu(Button(IDC_INSTRUKTOR_ADD), ID_INSTRUKTOR_ROLE_FIRST);

    // Closed while the tree's loader is held in its statement, the popup goes at once and leaves
    // the loader behind; the program's end ends it once its call ends.
    HeldTable held([this](const std::string& sql) { Sql(sql); }, "Mandant");
    const std::size_t left = CLeftWorkers::Count();
    std::chrono::steady_clock::time_point closing;
    script.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog& modal) {
        CSearchTabDlg* tab = dynamic_cast<CSearchPopupDlg&>(modal).m_pSearchTabDlg;
        ASSERT_TRUE(tab && tab->m_nTreePage >= 0);
        CSearchDlg& search = *tab->m_pPersonDlg;
        ASSERT_TRUE(WaitFor([&] { return !search.IsSearching() && Rows(search.m_lstResult.m_hWnd) > 0; }, 10000));
        held.Hold();
        ClickTab(tab->m_tabCtrl.m_hWnd, tab->m_nTreePage);
        ASSERT_TRUE(held.Wait()) << "the tree's statement runs";
        closing = std::chrono::steady_clock::now();
        Click(dynamic_cast<CSearchPopupDlg&>(modal).m_hWnd, IDCANCEL);
        if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
    });
    std::thread giveUp([&] {
        for (int i = 0; i < 500 && CLeftWorkers::Count() == left; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        held.Let();
    });
    ChooseFromMenu(Button(IDC_INSTRUKTOR_ADD), ID_INSTRUKTOR_ROLE_FIRST);
    const auto took = std::chrono::steady_clock::now() - closing;
    EXPECT_LT(took, std::chrono::milliseconds(1000)) << "the popup waited for its tree";
    giveUp.join();
    EXPECT_TRUE(CLeftWorkers::End(5000)) << "the tree's loader ends once its call ends";
    EXPECT_TRUE(script.Log().Records(qv::InteractionKind::Report).empty());
}

TEST_F(Instruktor, ARunHasOneLeaderAndTheLeadersRightsFollowTheSavedChoice) {
    const long bisher = AddPerson("Bisher"), neu = AddPerson("Neu");
    AddInstruktor(bisher, run, 0, -1, 1);
    AddInstruktor(neu, run, 0);
    const long dritter = AddPerson("Dritter");
    AddInstruktor(dritter, run, 0);
    // The user is the person "Neu"; the run grants him the course-leader right.
    Sql("INSERT INTO Contact (lContactID, lPersonID) VALUES (90001, " + K(neu) + ")");
    Sql("INSERT INTO QvSecUser (lQvSecUserID, strUserID, strName) SELECT 5, guid, 'Neu' FROM Contact WHERE "
        "lContactID = 90001");
    security.Answer(L"", qv::FromUtf8(Text("SELECT guid FROM Kursinstanz WHERE lKursinstanzID = " + K(run))),
                    0x00010001);
    Open();
    const int rowBisher = RowOf(Grid(), 4, L"Bisher"), rowNeu = RowOf(Grid(), 4, L"Neu");
    ASSERT_TRUE(page->m_grid.QvGetGridItem(rowBisher)->GetColumnCheck(8));
    EXPECT_FALSE(page->m_grid.SetCellValue(rowNeu, 5, L"anders")) << "only the leader's box is the user's";

    ASSERT_TRUE(page->m_grid.SetCellValue(rowNeu, 8, L"1"));
    EXPECT_TRUE(page->m_grid.QvGetGridItem(rowNeu)->GetColumnCheck(8));
    EXPECT_FALSE(page->m_grid.QvGetGridItem(rowBisher)->GetColumnCheck(8)) << "the box moved";
    EXPECT_TRUE(page->m_grid.SetCellValue(rowBisher, 8, L"1")) << "and may move back before the save";
    ASSERT_TRUE(page->m_grid.SetCellValue(rowNeu, 8, L"1"));
    EXPECT_EQ(Text("SELECT group_concat(fLeiter) FROM (SELECT fLeiter FROM PersonKurs ORDER BY lPersonKursID)"), "1,0,0") << "nothing is written before the save";
    ASSERT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE)));
    Click(Item(IDC_KURSDLG_SAVE));
    EXPECT_EQ(Instruktoren(run), K(bisher) + ":-1:0 " + K(neu) + ":-1:1 " + K(dritter) + ":-1:0");
    // Only the two changed rows are written and logged.
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog WHERE strModul = 'Ausbildung.Instanz'"), 2);
    EXPECT_EQ(Int("SELECT lRight FROM SecKurs WHERE lQvSecUserID = 5 AND lKursinstanzID = " + K(run)), 0x10101)
        << "the new leader holds the leader's right on the run";
    EXPECT_TRUE(WaitFor([&] { return !listener.runs.empty(); }));
    EXPECT_EQ(listener.runs, std::vector<long>{run}) << "the other windows hear of the run";

    page->Refresh();
    ASSERT_TRUE(page->m_grid.SetCellValue(RowOf(Grid(), 4, L"Bisher"), 8, L"1"));
    Click(Item(IDC_KURSDLG_SAVE));
    EXPECT_EQ(Instruktoren(run), K(bisher) + ":-1:1 " + K(neu) + ":-1:0 " + K(dritter) + ":-1:0");
    EXPECT_EQ(Int("SELECT lRight FROM SecKurs WHERE lQvSecUserID = 5 AND lKursinstanzID = " + K(run)), 0x10001)
        << "the former leader lost it";
}

// Two users, each in a course window of his own on the run. The leader box of an instructor Anna
// moved to the other run, re-statused or removed after the first user's grid was loaded saves
// nothing: not the flag, not the leader taken from the row that had the box, not a leader text. Nor
// does a choice after Anna gave the role to another instructor: the leader the grid shows is no
// longer one, or the grid shows none and the run has one. He is told once, nothing is logged, no
// edit stays open, and the grid shows what is stored, on which his next choice is saved.
TEST_F(Instruktor, ALeaderChosenOnAGridAnotherUserChangedMeanwhileWritesNothing) {
    const long leiter = AddPerson("Leiter"), neu = AddPerson("Neu");
    AddInstruktor(leiter, run, 0, -1, 1);
    AddInstruktor(AddPerson("Wechsler"), run, 0);
    AddInstruktor(neu, run, 0);
    AddInstruktor(AddPerson("Weg"), run, 0);
    const long dritte = AddPerson("Dritte");
    AddInstruktor(dritte, run, 0);
    AddInstruktor(AddPerson("Anders"), other, 0, -1, 1);
    Sql("UPDATE Kursinstanz SET strLeitung = 'Leitung ' || lKursinstanzID");
    Open();
    auto* hers = ShowOther<CInstruktorDlg>();
    ASSERT_NE(hers, nullptr);
    const HWND herGrid = hers->m_grid.m_hWnd;
    const auto herCommand = [&](const std::wstring& name, int button) {
        ASSERT_TRUE(SelectRow(herGrid, RowOf(herGrid, 4, name)));
        Click(qv::ui::test::Item(hers->GetSafeHwnd(), button));
        script.Log().Clear();
    };
    const auto stored = [&] {
        return Text("SELECT group_concat(lPersonKursID || ':' || lKursinstanzID || ':' || lStatus || ':' || fLeiter, ' ') "
                    "FROM (SELECT * FROM PersonKurs ORDER BY lPersonKursID)") + " | " +
               Text("SELECT group_concat(strLeitung, ', ') FROM (SELECT strLeitung FROM Kursinstanz ORDER BY "
                    "lKursinstanzID)");
    };
    const auto leaderLogs = [&] { return Int("SELECT count(*) FROM UserLog WHERE strModul = 'Ausbildung.Instanz'"); };
    const auto checked = [&](const std::wstring& name) {
        const int row = RowOf(Grid(), 4, name);
        return row >= 0 && page->m_grid.QvGetGridItem(row)->GetColumnCheck(8);
    };
    // The first user ticks the person's box, which takes it from "Leiter", and saves.
    const auto choose = [&](const std::wstring& name, const wchar_t* message) {
        const int row = RowOf(Grid(), 4, name);
        ASSERT_GE(row, 0) << "the grid is Anna's change behind";
        ASSERT_TRUE(ClickCell(Grid(), row, 8));
        ASSERT_TRUE(checked(name));
        ASSERT_FALSE(checked(L"Leiter"));
        if (message) script.ExpectMessageBox(IDOK, message);
        Click(Item(IDC_KURSDLG_SAVE));
    };

    // Anna moves Wechsler to the spring run, which has a leader of its own.
    ExpectSearch([&](HWND list) { SelectRow(list, 0); });
    herCommand(L"Wechsler", IDC_INSTRUKTOR_CHANGEINSTANZ);
    std::string before = stored();
    choose(L"Wechsler", L"Diese Anmeldung wurde inzwischen geändert oder entfernt.");
    EXPECT_EQ(stored(), before) << "both runs keep their leaders and leader texts";
    EXPECT_EQ(RowOf(Grid(), 4, L"Wechsler"), -1);
    EXPECT_TRUE(checked(L"Leiter"));
    ToldOnce("moved");

    // Anna re-statuses Neu to "Anwesend".
    script.ExpectModal(IDD_GETSTATUS, [](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CGetStatusDlg&>(modal);
        for (int i = 0; i < dlg.m_cbStatus.GetCount(); ++i)
            if (dlg.m_cbStatus.GetItemData(i) == 1) SelectComboItem(dlg.m_cbStatus.GetSafeHwnd(), i);
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    herCommand(L"Neu", IDC_INSTRUKTOR_CHANGESTATE);
    before = stored();
    choose(L"Neu", L"Diese Anmeldung wurde inzwischen geändert oder entfernt.");
    EXPECT_EQ(stored(), before);
    EXPECT_TRUE(checked(L"Leiter"));
    ToldOnce("re-statused");

    // Anna removes Weg.
    script.ExpectMessageBox(IDYES, L"wirklich löschen");
    herCommand(L"Weg", IDC_INSTRUKTOR_REMOVE);
    before = stored();
    choose(L"Weg", L"Diese Anmeldung besteht nicht mehr");
    EXPECT_EQ(stored(), before);
    EXPECT_EQ(RowOf(Grid(), 4, L"Weg"), -1);
    ToldOnce("removed");
    EXPECT_EQ(leaderLogs(), 0);

    // Anna gives the role to Dritte in her window: "Leiter", leader on his grid, is no longer one.
    const HWND herSave = qv::ui::test::Item(otherDlg->GetSafeHwnd(), IDC_KURSDLG_SAVE);
    const auto herLeader = [&](const std::wstring& name) {
        ASSERT_TRUE(ClickCell(herGrid, RowOf(herGrid, 4, name), 8));
        Click(herSave);
        ASSERT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u);
        ASSERT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
    };
    herLeader(L"Dritte");
    ASSERT_EQ(Instruktoren(run), K(leiter) + ":-1:0 " + K(neu) + ":-1:0 " + K(dritte) + ":-1:1");
    long long logs = leaderLogs();
    before = stored();
    choose(L"Neu", L"Diese Anmeldung wurde inzwischen geändert oder entfernt.");
    EXPECT_EQ(stored(), before) << "Dritte keeps the role, and Leiter has no second entry";
    EXPECT_EQ(leaderLogs(), logs);
    EXPECT_TRUE(checked(L"Dritte"));
    EXPECT_FALSE(checked(L"Leiter"));
    ToldOnce("the leader shown lost the role");

    // Anna takes the role from Dritte: his choice is refused again, and his grid shows the run
    // without a leader. Then she gives the role to Neu: his choice would take it from a leader he
    // was never shown.
    herLeader(L"Dritte");
    before = stored();
    choose(L"Neu", L"Diese Anmeldung wurde inzwischen geändert oder entfernt.");
    EXPECT_EQ(stored(), before);
    ASSERT_FALSE(checked(L"Dritte"));
    ToldOnce("the leader shown lost the role and the run has none");
    herLeader(L"Neu");
    logs = leaderLogs();
    before = stored();
    choose(L"Dritte", L"Diese Anmeldung wurde inzwischen geändert oder entfernt.");
    EXPECT_EQ(stored(), before) << "Neu keeps the role";
    EXPECT_EQ(leaderLogs(), logs);
    EXPECT_TRUE(checked(L"Neu"));
    ToldOnce("a leader not shown");

    // On the grid as stored, his choice is saved, with an entry for each of the two.
    choose(L"Dritte", nullptr);
    EXPECT_EQ(Instruktoren(run), K(leiter) + ":-1:0 " + K(neu) + ":-1:0 " + K(dritte) + ":-1:1");
    EXPECT_NE(Text("SELECT strLeitung FROM Kursinstanz WHERE lKursinstanzID = " + K(run)).find("Dritte"),
              std::string::npos);
    EXPECT_EQ(leaderLogs(), logs + 2);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u);
    EXPECT_EQ(Lock(), "");
}

TEST_F(Instruktor, InstructorsAreReStatusedMovedWithTheirRoleAndRemovedOnlyWhenConfirmed) {
    const long lehrer = AddRole("Klassenlehrer");
    const long mover = AddPerson("Wechsler"), bleiber = AddPerson("Bleiber");
    AddInstruktor(mover, run, 0, lehrer);
    AddInstruktor(bleiber, run, 3);
    Open();
    EXPECT_FALSE(Enabled(Button(IDC_INSTRUKTOR_CHANGEINSTANZ))) << "nothing selected";

    // Rows of different statuses open the picker without a preselection; both take the new one.
    ASSERT_TRUE(SelectRow(Grid(), 0));
    ASSERT_TRUE(SelectRow(Grid(), 1, Qt::ControlModifier));
    // A cancelled choice leaves the course unlocked.
    script.ExpectModal(IDD_GETSTATUS, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    Click(Button(IDC_INSTRUKTOR_CHANGESTATE));
    EXPECT_EQ(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(kurs)), "");
    int preselected = 0;
    script.ExpectModal(IDD_GETSTATUS, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CGetStatusDlg&>(modal);
        preselected = dlg.m_cbStatus.GetCurSel();
        EXPECT_EQ(ComboItems(dlg.m_cbStatus.GetSafeHwnd()).front(), L"Reserve");
        for (int i = 0; i < dlg.m_cbStatus.GetCount(); ++i)
            if (dlg.m_cbStatus.GetItemData(i) == 1) SelectComboItem(dlg.m_cbStatus.GetSafeHwnd(), i);
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    Click(Button(IDC_INSTRUKTOR_CHANGESTATE));
    EXPECT_EQ(preselected, -1);
    EXPECT_EQ(Text("SELECT group_concat(lStatus) FROM PersonKurs"), "1,1");
    EXPECT_TRUE(WaitFor([&] { return listener.bookings.size() == 1u; }));

    ASSERT_TRUE(SelectRow(Grid(), RowOf(Grid(), 4, L"Wechsler")));
    ASSERT_TRUE(Enabled(Button(IDC_INSTRUKTOR_CHANGEINSTANZ)));
    // A cancelled choice moves nobody and does not leave the course locked.
    script.ExpectModal(IDD_SEARCHPOPUP, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    Click(Button(IDC_INSTRUKTOR_CHANGEINSTANZ));
    EXPECT_EQ(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(kurs)), "");
    int offered = -1;
    ExpectSearch([&](HWND list) {
        offered = Rows(list);
        SelectRow(list, 0);
    });
    Click(Button(IDC_INSTRUKTOR_CHANGEINSTANZ));
    EXPECT_EQ(offered, 1) << "only the other run of the course";
    EXPECT_TRUE(WaitFor([&] { return listener.bookings.size() == 2u; }));
    EXPECT_EQ(listener.bookings, (std::vector<long>{kurs, kurs}));
    EXPECT_EQ(Instruktoren(other), K(mover) + ":" + K(lehrer) + ":0") << "the role goes along";
    EXPECT_EQ(Instruktoren(run), K(bleiber) + ":-1:0");
    ASSERT_EQ(Rows(Grid()), 1);

    ASSERT_TRUE(SelectRow(Grid(), 0));
    script.ExpectMessageBox(IDNO, L"wirklich löschen");
    Click(Button(IDC_INSTRUKTOR_REMOVE));
    EXPECT_EQ(Instruktoren(run), K(bleiber) + ":-1:0");
    // A refused DELETE leaves nothing of the removal behind, and is reported once.
    Sql("CREATE TRIGGER PersonKurs_NoDelete BEFORE DELETE ON PersonKurs BEGIN SELECT RAISE(ABORT, 'gesperrt'); END");
    ASSERT_TRUE(SelectRow(Grid(), 0));
    script.ExpectMessageBox(IDYES, L"wirklich löschen");
    script.ExpectReport(L"gesperrt");
    Click(Button(IDC_INSTRUKTOR_REMOVE));
    EXPECT_EQ(Instruktoren(run), K(bleiber) + ":-1:0");
    EXPECT_EQ(Int("SELECT lStatus FROM PersonKurs WHERE lPersonID = " + K(bleiber)), 1);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    Sql("DROP TRIGGER PersonKurs_NoDelete");
    ASSERT_TRUE(SelectRow(Grid(), 0));
    script.ExpectMessageBox(IDYES, L"wirklich löschen");
    Click(Button(IDC_INSTRUKTOR_REMOVE));
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonID = " + K(bleiber)), 0);
    EXPECT_EQ(Rows(Grid()), 0);
    EXPECT_EQ(Status(), L"Anzahl/min.: 0/0  |  Reserve: 0  Angemeldet: 0  Anwesend: 0  Abwesend: 0");

    // One another user removed meanwhile is said to be gone, and the list shows what is stored.
    const long weg = AddInstruktor(AddPerson("Weg"), run, 0);
    ASSERT_EQ(page->Refresh(), S_OK);
    ASSERT_TRUE(SelectRow(Grid(), 0));
    Sql("DELETE FROM PersonKurs WHERE lPersonKursID = " + K(weg));
    script.ExpectMessageBox(IDYES, L"wirklich löschen");
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung besteht nicht mehr");
    Click(Button(IDC_INSTRUKTOR_REMOVE));
    EXPECT_EQ(Rows(Grid()), 0);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u) << "only the refused DELETE's";

    // One another user re-stated meanwhile is neither removed nor moved: he is told once, and after
    // each refusal the grid shows what is stored, so that the next command acts on that.
    const long neuPerson = AddPerson("Neu");
    const long neu = AddInstruktor(neuPerson, run, 0);
    ASSERT_EQ(page->Refresh(), S_OK);
    const auto status = [&] { return Int("SELECT lStatus FROM PersonKurs WHERE lPersonKursID = " + K(neu)); };
    Sql("UPDATE PersonKurs SET lStatus = 3 WHERE lPersonKursID = " + K(neu));
    ASSERT_TRUE(SelectRow(Grid(), 0));
    script.ExpectMessageBox(IDYES, L"wirklich löschen");
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert");
    Click(Button(IDC_INSTRUKTOR_REMOVE));
    EXPECT_EQ(Instruktoren(run), K(neuPerson) + ":-1:0");
    EXPECT_EQ(status(), 3);
    Sql("UPDATE PersonKurs SET lStatus = 1 WHERE lPersonKursID = " + K(neu));
    ASSERT_TRUE(SelectRow(Grid(), 0));
    ExpectSearch([&](HWND list) { SelectRow(list, 0); });
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert");
    Click(Button(IDC_INSTRUKTOR_CHANGEINSTANZ));
    EXPECT_EQ(Instruktoren(run), K(neuPerson) + ":-1:0");
    EXPECT_EQ(Instruktoren(other), K(mover) + ":" + K(lehrer) + ":0");
    ASSERT_TRUE(SelectRow(Grid(), 0));
    script.ExpectMessageBox(IDYES, L"wirklich löschen");
    Click(Button(IDC_INSTRUKTOR_REMOVE));
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonKursID = " + K(neu)), 0) << "as the grid shows it now";
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
}

TEST_F(Instruktor, APageWhoseRolesCouldNotBeReadStillHearsItsRunAndLaterRoles) {
    Sql("ALTER TABLE Kursleitung RENAME TO KursleitungAlt");
    script.AllowReports(true);
    OpenView();
    auto* pPage = Show<CInstruktorDlg>();
    ASSERT_NE(pPage, nullptr);
    EXPECT_EQ(pPage->m_roles.size(), 1u) << "only the entry without role";
    bool reported = false;
    for (const auto& report : script.Log().Records(qv::InteractionKind::Report))
        reported = reported || report.caption.find(L"CInstruktorDlg::OnInitDialog") != std::wstring::npos;
    EXPECT_TRUE(reported);
    Sql("ALTER TABLE KursleitungAlt RENAME TO Kursleitung");
    AddRole("Klassenlehrer");
    pPage->Refresh();
    ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 0);
    Pump();
    ASSERT_FALSE(pPage->GetModifiedFlag());

    CQvEventSource events;
    ASSERT_EQ(events.FireEvent(kRunChanged, run + 1000, FALSE), S_OK);
    Pump();
    EXPECT_FALSE(pPage->GetModifiedFlag()) << "another run's change leaves the page";
    ASSERT_EQ(events.FireEvent(kRunChanged, run, FALSE), S_OK);
    EXPECT_TRUE(WaitFor([&] { return pPage->GetModifiedFlag() == TRUE; })) << "the hidden page reloads when shown";
    ASSERT_EQ(events.FireEvent(kRolesChanged, 0, FALSE), S_OK);
    EXPECT_TRUE(WaitFor([&] { return pPage->m_roles.size() == 2u; })) << "the role menu was rebuilt";
    // Shown, it reloads; hidden again, a change of the active Mandant marks it for reload too.
    Show<CInstruktorDlg>();
    ASSERT_FALSE(pPage->GetModifiedFlag());
    ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 0);
    Pump();
    ASSERT_EQ(events.FireEvent(qv::MakeGuid("D643F415-8768-44A9-8804-C701EF1FCAD9"), 0L, FALSE), S_OK);
    EXPECT_TRUE(WaitFor([&] { return pPage->GetModifiedFlag() == TRUE; }));
}

TEST_F(Instruktor, ThePageIsShownWithItsInstructors) {
    options.Set(-1000, L"ColorFemale", static_cast<long>(RGB(200, 0, 120)));
    const long lehrer = AddRole("Klassenlehrer");
    Sql("UPDATE Kursinstanz SET lMinInstruktor = 3 WHERE lKursinstanzID = " + K(run));
    const long frau = AddPerson("Ammann");
    Sql("INSERT INTO Grad (lGradID, strBezeichnung, strKurzbezeichnung, strKurzbezeichnungF, lRang) VALUES "
        "(2, 'Leutnant', 'Lt', 'Lt F', 8)");
    Sql("UPDATE Person SET fWeiblich = 1, strVorname = 'Regula', lCAktGradID = 2 WHERE lPersonID = " + K(frau));
    AddInstruktor(frau, run, 0, lehrer, 1);
    AddInstruktor(AddPerson("Brunner"), run, 1);
    Open();
    ASSERT_EQ(Rows(Grid()), 2);
    const int row = RowOf(Grid(), 4, L"Ammann");
    EXPECT_EQ(CellTextColor(Grid(), row, 4), RGB(200, 0, 120));
    EXPECT_EQ(Cell(Grid(), row, 1), L"Klassenlehrer");
    EXPECT_EQ(Cell(Grid(), row, 2) + L"|" + Cell(Grid(), row, 3), L"8|Lt F");
    LVITEMW item{LVIF_IMAGE, row};
    EXPECT_TRUE(SendMessageW(Grid(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) && item.iImage == 14) << "her status";
    EXPECT_EQ(page->GetStatusColor(), RGB(255, 50, 50));
    EXPECT_FALSE(qobject_cast<QAbstractButton*>(Widget(Button(IDC_INSTRUKTOR_CHANGEINSTANZ)))->icon().isNull());
    Screen(Dlg()->GetSafeHwnd(), "kurs_instruktor");

    // The name opens the person's page on its instructor tab.
    static frametest::CallLog viewLog;
    static frametest::FakeView personView("person", viewLog, GUID_NULL, L"Person");
    ASSERT_EQ(host->AddView(L"Qovaro.NQ2.PersonView", personView.Init()), S_OK);
    std::vector<NQNavigateEntry> visited;
    qv::nq::SetNavigator([&](const NQNavigateEntry& e) -> long { visited.push_back(e); return S_OK; });
    ASSERT_TRUE(ClickCell(Grid(), row, 4));
    const CString view = L"Qovaro.NQ2.PersonView";
    ASSERT_GE(visited.size(), 2u);
    EXPECT_EQ(std::vector<NQNavigateEntry>(visited.begin(), visited.begin() + 2),
              (std::vector<NQNavigateEntry>{{NQNavigateEntry::Record, view, frau, 0, L""},
                                            {NQNavigateEntry::Tab, view, 0, 0, L"Instruktor"}}));

    // The editor, opened by a double click, offers the roles she holds on the run's date and the
    // one she is booked in (an expired one no longer once she left it), and saves the chosen one.
    const long aufsicht = AddRole("Aufsicht");
    AddRole("Kassier");
    Hold(frau, lehrer, "2020-01-01", "2021-01-01");
    Hold(frau, aufsicht, "2030-01-01", "1899-12-30");
    struct Edit { std::wstring choice; long role; std::vector<std::wstring> offered; };
    for (const Edit& e : {Edit{L"ohne spezielle Funktion", -1, {L"Aufsicht", L"Klassenlehrer"}},
                          Edit{L"Aufsicht", aufsicht, {L"Aufsicht"}}}) {
        script.ExpectModal(IDD_EDITPERSON, [&](qv::IModalDialog& modal) {
            HWND combo = dynamic_cast<CEditPersonDlg&>(modal).m_cbFunktion.GetSafeHwnd();
            const auto items = ComboItems(combo);
            EXPECT_EQ(std::vector<std::wstring>(items.begin() + 1, items.end()), e.offered);
            for (int i = 0; i < int(items.size()); ++i)
                if (items[std::size_t(i)] == e.choice) SelectComboItem(combo, i);
            Click(dynamic_cast<CWnd&>(modal).GetSafeHwnd(), IDOK);
        });
        ASSERT_TRUE(DoubleClickRow(Grid(), RowOf(Grid(), 4, L"Ammann")));
        EXPECT_EQ(Text("SELECT lKursleitungID FROM PersonKurs WHERE lPersonID = " + K(frau)), K(e.role));
    }

    // After the editor's OK the edited instructor is selected again, in the order the user chose.
    ASSERT_TRUE(ClickColumnHeader(Grid(), 4) && ClickColumnHeader(Grid(), 4));
    const std::wstring first = Cell(Grid(), 0, 4);
    ASSERT_TRUE(SelectRow(Grid(), RowOf(Grid(), 4, L"Brunner")));
    script.ExpectModal(IDD_EDITPERSON, [](qv::IModalDialog& modal) { modal.EndModal(IDOK); });
    Click(Button(IDC_INSTRUKTOR_EDIT));
    EXPECT_TRUE(RowSelected(Grid(), RowOf(Grid(), 4, L"Brunner")));
    EXPECT_EQ(Cell(Grid(), 0, 4), first);
    // A double click beside the rows drops the selection and opens no editor.
    ASSERT_TRUE(DoubleClick(Grid()));
    EXPECT_FALSE(RowSelected(Grid(), RowOf(Grid(), 4, L"Brunner")));
}

}  // namespace
}  // namespace kurstest
