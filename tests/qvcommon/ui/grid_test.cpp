// The grid as the run dates and the quota editor use it: cells edited by keyboard and mouse
// through the owner, who may refuse a value, cell kinds that check what is typed, a read-only
// grid that stays as it is, and edits started by the program.
#include "qvgridctrl.h"
#include "scripted.h"
#include "strtable.h"
#include "tempdir.h"
#include "uidriver.h"
#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace qv::ui::test;
using G = CQvGridCtrl;

enum : UINT { kGrid = 1121, kHeaders = 924 };

HINSTANCE Module() {
    static int tag;
    return reinterpret_cast<HINSTANCE>(&tag);
}

// The form holding the grid: records every grid notification and refuses what it is told to.
class Owner : public CWnd {
public:
    struct Heard {
        UINT code;
        int row;
        int column;
        std::wstring text;
    };
    std::vector<Heard> heard;
    std::vector<std::pair<int, int>> typedAt;  // the cells the user typed into, key by key
    std::wstring refuse = L"-";  // a value the owner refuses
    bool refuseBegin = false;
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) override {
        const auto* nm = reinterpret_cast<const NMQVGRID*>(lp);
        if (nm->hdr.code == QVLN_LINKCLICKED) {
            const auto* link = reinterpret_cast<const NMQVLISTLINK*>(lp);
            heard.push_back({QVLN_LINKCLICKED, link->nItem, link->nSubItem, link->pszLink});
            return TRUE;
        }
        if (nm->hdr.code == QVGN_EDITCHANGE) {
            typedAt.push_back({nm->nItem, nm->nSubItem});
            return TRUE;
        }
        if (nm->hdr.code == QVGN_CELLCHANGING || nm->hdr.code == QVGN_CELLCHANGED || nm->hdr.code == QVGN_BEGINEDIT) {
            heard.push_back({nm->hdr.code, nm->nItem, nm->nSubItem, nm->pszText ? nm->pszText : L""});
            *result = (nm->hdr.code == QVGN_CELLCHANGING && nm->pszText && refuse == nm->pszText) ||
                      (nm->hdr.code == QVGN_BEGINEDIT && refuseBegin);
            return TRUE;
        }
        return CWnd::OnNotify(wp, lp, result);
    }
    std::vector<UINT> Codes() const {
        std::vector<UINT> codes;
        for (const auto& h : heard) codes.push_back(h.code);
        return codes;
    }
};

class Grid : public ::testing::Test {
protected:
    void SetUp() override {
        qv::ui::EnsureApplication();
        script.OnFailure([](const std::string& m) { ADD_FAILURE() << "interaction: " << m; });
        previous = qv::SetInteraction(&script);
        AfxSetResourceHandle(Module());
        qv::RegisterStringTable(Module(), {{kHeaders, L"Anfang"}, {kHeaders + 1, L"von"}, {kHeaders + 2, L"Ende"},
                                           {kHeaders + 3, L"bis"}, {kHeaders + 4, L"Anzahl"}, {kHeaders + 5, L"Farbe"},
                                           {kHeaders + 6, L"Leiter"}});
        ASSERT_TRUE(owner.CreateEx(0, AfxRegisterWndClass(0), L"Kurszeiten", WS_OVERLAPPED, CRect(0, 0, 520, 220), nullptr, 0));
        ASSERT_TRUE(grid.Create(WS_VISIBLE | WS_BORDER | LVS_SINGLESEL | LVS_SHOWSELALWAYS, CRect(0, 0, 500, 200), &owner, kGrid));
        const int types[] = {G::eColDate, G::eColDate, G::eColDate, G::eColDate, G::eColDouble, G::eColText, G::eColBool};
        const int widths[] = {80, 50, 80, 50, 60, 70, 50};
        ASSERT_TRUE(grid.QvInsertColumn(7, kHeaders, types, widths));
        grid.QvSetChoiceList(5, {{1, L"Rot"}, {2, L"Grün"}, {3, L"Blau"}});
        AddRow(COleDateTime(2024, 3, 10, 8, 0, 0), COleDateTime(2024, 3, 10, 12, 0, 0), 11, 1, FALSE);
        AddRow(COleDateTime(2024, 3, 17, 0, 0, 0), Null(), 4, 3, TRUE);
        owner.ShowWindow(SW_SHOW);
    }
    void TearDown() override {
        owner.DestroyWindow();
        EXPECT_EQ(script.Pending(), 0u);
        qv::SetInteraction(previous);
        Pump();
    }
    static COleDateTime Null() {
        COleDateTime d;
        d.SetStatus(COleDateTime::null);
        return d;
    }
    void AddRow(const COleDateTime& start, const COleDateTime& end, double count, long colour, BOOL leader) {
        CQvGridItem* row = nullptr;
        ASSERT_TRUE(grid.QvAddItem(row, TRUE));
        row->SetColumnDate(0, start, 1, 0, G::eEditDate);
        row->SetColumnDate(1, start, 0, 10, G::eEditTimeOrEmpty);
        row->SetColumnDate(2, end, 1, 0, G::eEditDateOrEmpty);
        row->SetColumnDate(3, end, 0, 10, G::eEditTimeOrEmpty);
        row->SetColumnNumber(4, count, L"%3.2f", G::eEditNumber);
        row->SetColumnChoice(5, colour, G::eEditChoice);
        row->SetColumnCheck(6, leader);
        row->SetParam(0, 40 + grid.GetItemCount());
        row->SetParam(1, L"7F1C0E5A-0000-4000-8000-000000000001");
        row->Unlock();
    }
    HWND Editor() const { return grid.GetEditor() ? grid.GetEditor()->m_hWnd : nullptr; }

    qv::ScriptedInteraction script;
    qv::IInteraction* previous = nullptr;
    Owner owner;
    CQvGridCtrl grid;
};

TEST_F(Grid, CellsAreEditedByKeyboardAndTheOwnerHearsBeforeAndAfter) {
    ASSERT_TRUE(SelectRow(grid.m_hWnd, 1));
    ASSERT_TRUE(PressKey(grid.m_hWnd, VK_F2));
    ASSERT_TRUE(WaitFor([&] { return Editor() != nullptr; }));
    EXPECT_EQ(grid.GetEditColumn(), 0) << "F2 opens the first editable cell";
    EXPECT_EQ(Text(Editor()), L"17.03.2024");
    EXPECT_TRUE(owner.typedAt.empty()) << "the cell's value put into its editor is no typing";
    ASSERT_TRUE(Retype(Editor(), L"18.3.2024"));
    ASSERT_FALSE(owner.typedAt.empty()) << "the owner hears each key typed";
    EXPECT_EQ(owner.typedAt.back(), (std::pair<int, int>{1, 0}));
    // Tab takes the value over and goes on to the next cell of the row.
    ASSERT_TRUE(PressKey(Editor(), VK_TAB));
    ASSERT_TRUE(WaitFor([&] { return grid.GetEditColumn() == 1; }));
    EXPECT_EQ(Cell(grid.m_hWnd, 1, 0), L"18.03.2024");
    ASSERT_TRUE(Retype(Editor(), L"9:30"));
    ASSERT_TRUE(PressKey(Editor(), VK_RETURN));
    ASSERT_TRUE(WaitFor([&] { return !grid.IsEditing(); }));
    EXPECT_EQ(Cell(grid.m_hWnd, 1, 1), L"09:30");
    const COleDateTime start = grid.QvGetGridItem(1)->GetColumnDate(1);
    EXPECT_EQ(start.GetDay(), 17) << "a time keeps the date its cell had";
    EXPECT_EQ(start.GetHour(), 9);

    ASSERT_EQ(owner.heard.size(), 6u);
    EXPECT_EQ(owner.Codes(), (std::vector<UINT>{QVGN_BEGINEDIT, QVGN_CELLCHANGING, QVGN_CELLCHANGED, QVGN_BEGINEDIT,
                                                QVGN_CELLCHANGING, QVGN_CELLCHANGED}));
    EXPECT_EQ(owner.heard[1].row, 1);
    EXPECT_EQ(owner.heard[1].column, 0);
    EXPECT_EQ(owner.heard[1].text, L"18.03.2024");
    EXPECT_EQ(owner.heard[4].text, L"09:30");

    // Escape drops what was typed, and an unchanged value tells the owner nothing.
    owner.heard.clear();
    ASSERT_TRUE(grid.EditCell(1, 4));
    EXPECT_EQ(Text(Editor()), L"4.00");
    ASSERT_TRUE(Retype(Editor(), L"99"));
    ASSERT_TRUE(PressKey(Editor(), VK_ESCAPE));
    ASSERT_TRUE(WaitFor([&] { return !grid.IsEditing(); }));
    EXPECT_EQ(Cell(grid.m_hWnd, 1, 4), L"4.00");
    ASSERT_TRUE(grid.EditCell(1, 4));
    ASSERT_TRUE(PressKey(Editor(), VK_RETURN));
    EXPECT_EQ(owner.Codes(), (std::vector<UINT>{QVGN_BEGINEDIT, QVGN_BEGINEDIT}));

    // Space on a check box cell toggles it.
    ASSERT_TRUE(PressKey(grid.m_hWnd, VK_RIGHT));
    ASSERT_TRUE(PressKey(grid.m_hWnd, VK_RIGHT));
    ASSERT_TRUE(PressKey(grid.m_hWnd, VK_SPACE));
    EXPECT_FALSE(grid.QvGetGridItem(1)->GetColumnCheck(6));
    EXPECT_EQ(Cell(grid.m_hWnd, 1, 6), L"\u2610");
    // Left goes back one cell.
    ASSERT_TRUE(PressKey(grid.m_hWnd, VK_LEFT));
    ASSERT_TRUE(PressKey(grid.m_hWnd, VK_F2));
    EXPECT_EQ(grid.GetEditColumn(), 5);
    ASSERT_TRUE(PressKey(Editor(), VK_ESCAPE));
}

TEST_F(Grid, TheOwnerRefusesAnEditAndTheCellKeepsItsValue) {
    owner.refuse = L"09.03.2024";
    ASSERT_TRUE(grid.SetEditAndSelection(0, 2));
    EXPECT_TRUE(RowSelected(grid.m_hWnd, 0));
    ASSERT_TRUE(Retype(Editor(), L"9.3.2024"));
    ASSERT_TRUE(PressKey(Editor(), VK_RETURN));
    ASSERT_TRUE(WaitFor([&] { return !grid.IsEditing(); }));
    EXPECT_EQ(Cell(grid.m_hWnd, 0, 2), L"10.03.2024");
    EXPECT_EQ(owner.Codes(), (std::vector<UINT>{QVGN_BEGINEDIT, QVGN_CELLCHANGING})) << "no change after a refusal";

    // A text that is no date is refused with a word, and the editor left with Tab opens again
    // with it; digits alone are a date, Tab takes them over.
    script.ExpectMessageBox(IDOK, L"\"28.01\" ist kein gültiges Datum");
    ASSERT_TRUE(grid.EditCell(0, 0));
    ASSERT_TRUE(Retype(Editor(), L"28.01"));
    ASSERT_TRUE(PressKey(Editor(), VK_TAB));
    EXPECT_EQ(script.Pending(), 0u);
    ASSERT_TRUE(grid.IsEditing());
    EXPECT_EQ(grid.GetEditColumn(), 0);
    EXPECT_EQ(Text(Editor()), L"28.01");
    ASSERT_TRUE(Retype(Editor(), L"28012027"));
    ASSERT_TRUE(PressKey(Editor(), VK_TAB));
    ASSERT_TRUE(WaitFor([&] { return grid.GetEditColumn() == 1; }));
    EXPECT_EQ(Cell(grid.m_hWnd, 0, 0), L"28.01.2027");
    ASSERT_TRUE(Retype(Editor(), L"0930"));
    ASSERT_TRUE(PressKey(Editor(), VK_RETURN));
    EXPECT_EQ(Cell(grid.m_hWnd, 0, 1), L"09:30");
    // Left with a click elsewhere, it opens again with it too.
    script.ExpectMessageBox(IDOK, L"\"28.01\" ist kein gültiges Datum");
    ASSERT_TRUE(grid.EditCell(0, 0));
    ASSERT_TRUE(Retype(Editor(), L"28.01"));
    ASSERT_TRUE(ClickCell(grid.m_hWnd, 1, 4));
    ASSERT_TRUE(WaitFor([&] { return script.Pending() == 0u && grid.IsEditing(); }));
    EXPECT_EQ(grid.GetEditColumn(), 0);
    EXPECT_EQ(Text(Editor()), L"28.01");
    EXPECT_TRUE(HasFocus(Editor()));
    ASSERT_TRUE(PressKey(Editor(), VK_ESCAPE));
    EXPECT_EQ(Cell(grid.m_hWnd, 0, 0), L"28.01.2027");

    // A refused check box stays as it was; a refused opening leaves no editor.
    owner.refuse = L"1";
    EXPECT_FALSE(grid.EditCell(0, 6));
    EXPECT_FALSE(grid.QvGetGridItem(0)->GetColumnCheck(6));
    owner.refuseBegin = true;
    EXPECT_FALSE(grid.EditCell(0, 4));
    EXPECT_FALSE(grid.IsEditing());
}

TEST_F(Grid, EachKindOfCellTakesOnlyItsValues) {
    struct Case {
        int row, column;
        const wchar_t* typed;
        bool taken;
        const wchar_t* shown;
    };
    const Case cases[] = {
        {0, 0, L"28012027", true, L"28.01.2027"},  // digits alone, as the date pickers take them
        {0, 0, L"3/5/27", true, L"03.05.2027"},
        {0, 0, L"310227", false, L"03.05.2027"},
        {0, 0, L"2801202", false, L"03.05.2027"},
        {0, 0, L"1.4.2024", true, L"01.04.2024"},
        {0, 0, L"31.02.2024", false, L"01.04.2024"},
        {0, 0, L"08:00", false, L"01.04.2024"},      // a time is no day
        {0, 0, L"", false, L"01.04.2024"},           // a start date must be there
        {0, 2, L"", true, L""},                      // an end date may be empty
        {0, 3, L"25:00", false, L"12:00"},
        {0, 3, L"0800", true, L"08:00"},
        {0, 3, L"01.04.2024", false, L"08:00"},      // nor a day a time
        {0, 3, L"2500", false, L"08:00"},
        {0, 3, L"745", true, L"07:45"},
        {0, 3, L"", true, L""},
        {0, 4, L"1,5", true, L"1.50"},
        {0, 4, L"zwei", false, L"1.50"},
        {0, 5, L"blau", true, L"Blau"},
        {0, 5, L"Gelb", false, L"Blau"},
        {0, 6, L"1", true, L"\u2611"},
        {0, 6, L"vielleicht", false, L"\u2611"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(grid.SetCellValue(c.row, c.column, c.typed) != FALSE, c.taken) << c.column << " '" << CString(c.typed).GetString();
        EXPECT_EQ(Cell(grid.m_hWnd, c.row, c.column), c.shown) << c.column;
    }
    EXPECT_EQ(grid.QvGetGridItem(0)->GetColumnChoice(5), 3);
    double count = 0;
    EXPECT_TRUE(grid.QvGetGridItem(0)->GetColumnNumber(4, &count));
    EXPECT_DOUBLE_EQ(count, 1.5);
    EXPECT_EQ(grid.QvGetGridItem(0)->GetColumnDate(2).GetStatus(), COleDateTime::null);
    // The row's parameters stay with it through a sort.
    grid.QvSort(0, FALSE);
    EXPECT_EQ(grid.QvGetGridItem(0)->GetParamText(1), CString(L"7F1C0E5A-0000-4000-8000-000000000001"));
    long id = 0;
    EXPECT_TRUE(grid.QvGetGridItem(0)->GetParam(0, &id));
    EXPECT_EQ(id, 41) << "the later start sorts first, descending";
}

TEST_F(Grid, AReadOnlyGridChangesNothing) {
    grid.SetReadOnly();
    ASSERT_TRUE(ClickCell(grid.m_hWnd, 0, 6));
    ASSERT_TRUE(SelectRow(grid.m_hWnd, 0));
    ASSERT_TRUE(PressKey(grid.m_hWnd, VK_F2));
    ASSERT_TRUE(PressKey(grid.m_hWnd, VK_RETURN));
    Pump();
    EXPECT_FALSE(grid.IsEditing());
    EXPECT_FALSE(grid.SetCellValue(0, 4, L"3"));
    EXPECT_FALSE(grid.EditCell(0, 0));
    EXPECT_EQ(Cell(grid.m_hWnd, 0, 4), L"11.00");
    EXPECT_EQ(Cell(grid.m_hWnd, 0, 6), L"\u2610");
    EXPECT_TRUE(owner.heard.empty());

    // Made read-only while a cell is edited: the typed value is dropped.
    grid.SetReadOnly(FALSE);
    ASSERT_TRUE(grid.EditCell(0, 4));
    ASSERT_TRUE(Retype(Editor(), L"3"));
    grid.SetReadOnly(TRUE);
    EXPECT_FALSE(grid.IsEditing());
    EXPECT_EQ(Cell(grid.m_hWnd, 0, 4), L"11.00");
}

TEST_F(Grid, AClickOpensACellAndLeavingItTakesTheValueOver) {
    ASSERT_TRUE(ClickCell(grid.m_hWnd, 1, 6));
    EXPECT_FALSE(grid.QvGetGridItem(1)->GetColumnCheck(6)) << "a click toggles a check box";
    // The first click on a row selects it, the next one opens the cell.
    ASSERT_TRUE(ClickCell(grid.m_hWnd, 0, 5));
    EXPECT_FALSE(grid.IsEditing());
    ASSERT_TRUE(ClickCell(grid.m_hWnd, 0, 5));
    ASSERT_TRUE(WaitFor([&] { return Editor() != nullptr; }));

    ASSERT_TRUE(SelectComboItem(Editor(), 1));
    // Clicking another cell ends the edit with the chosen value.
    ASSERT_TRUE(ClickCell(grid.m_hWnd, 1, 4));
    ASSERT_TRUE(WaitFor([&] { return Cell(grid.m_hWnd, 0, 5) == L"Grün"; }));
    EXPECT_EQ(grid.QvGetGridItem(0)->GetColumnChoice(5), 2);
    EXPECT_FALSE(grid.IsEditing()) << "that click only selected the other row";
    ASSERT_TRUE(ClickCell(grid.m_hWnd, 1, 4));
    EXPECT_EQ(grid.GetEditColumn(), 4);
    // A link cell reports its link, and is not opened.
    grid.QvGetGridItem(0)->SetColumnLink(3, L"4711");
    owner.heard.clear();
    ASSERT_TRUE(ClickCell(grid.m_hWnd, 0, 3));
    ASSERT_TRUE(ClickCell(grid.m_hWnd, 0, 3));
    ASSERT_FALSE(owner.heard.empty());
    EXPECT_EQ(owner.heard.front().code, UINT(QVLN_LINKCLICKED));
    EXPECT_EQ(owner.heard.front().text, L"4711");
    EXPECT_EQ(std::count_if(owner.heard.begin(), owner.heard.end(), [](const auto& h) { return h.code == UINT(QVLN_LINKCLICKED); }),
              2)
        << "one notice per click: a person's link opens the person once";
    EXPECT_FALSE(grid.IsEditing());
    ASSERT_TRUE(ClickCell(grid.m_hWnd, 1, 4));
    ASSERT_TRUE(ClickCell(grid.m_hWnd, 1, 4));
    ASSERT_TRUE(grid.IsEditing());
    // A row removed while its cell is edited takes the editor along.
    grid.QvDeleteItem(1);
    EXPECT_FALSE(grid.IsEditing());
}

}  // namespace

namespace {

// The grid, a tree and a date picker with data, as a form shows them, saved for looking at.
TEST_F(Grid, TheGridATreeAndADatePickerAreDrawnWithTheirData) {
    owner.MoveWindow(0, 0, 760, 240);
    grid.QvGetGridItem(0)->SetColumnBkColor(4, RGB(255, 255, 200));
    grid.QvGetGridItem(1)->SetRowTextColor(RGB(0, 0, 160));
    grid.QvSetSelection(1);
    CTreeCtrlEx tree;
    ASSERT_TRUE(tree.Create(WS_VISIBLE | WS_BORDER | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_CHECKBOXES, CRect(510, 0, 750, 170),
                            &owner, 1058));
    HTREEITEM aarau = tree.InsertItem(L"Aarau");
    tree.SetItemBold(aarau, TRUE);
    tree.SetCheck(tree.InsertItem(L"Feuerwehr Aarau", aarau));
    tree.SetItemColor(tree.InsertItem(L"Stützpunkt Aarau", aarau), RGB(192, 0, 0));
    tree.InsertItem(L"Baden");
    tree.Expand(aarau, TVE_EXPAND);
    CDateTimeCtrl from;
    ASSERT_TRUE(from.Create(WS_VISIBLE | DTS_SHOWNONE, CRect(510, 180, 660, 204), &owner, 1196));
    from.SetTime(COleDateTime(2024, 3, 10, 0, 0, 0));
    CDateTimeCtrl none;
    ASSERT_TRUE(none.Create(WS_VISIBLE | DTS_SHOWNONE, CRect(510, 208, 660, 232), &owner, 1198));
    none.SetTime(Null());
    ASSERT_TRUE(grid.EditCell(1, 4));
    Pump();

    const std::string path = std::string(QV_SCREENS_DIR) + "/grid_tree_picker.png";
    ASSERT_TRUE(SavePng(owner.m_hWnd, path));
    const QImage shot = Grab(owner.m_hWnd, false);
    EXPECT_GE(shot.width(), 740);
    EXPECT_EQ(Cell(grid.m_hWnd, 0, 5), L"Rot");
    EXPECT_EQ(CellBackColor(grid.m_hWnd, 0, 4), RGB(255, 255, 200));
    EXPECT_EQ(CellTextColor(grid.m_hWnd, 1, 0), RGB(0, 0, 160));
    EXPECT_EQ(Text(from.m_hWnd), L"10.03.2024");
    EXPECT_EQ(Text(none.m_hWnd), L"");
    grid.EndEdit(FALSE);
}

}  // namespace

namespace {

class DatesPage : public CDialog {
public:
    DatesPage() : CDialog(160) {}
    CQvGridCtrl dates;
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, kGrid, dates); }
};

TEST(GridTemplate, AGridOfADialogTemplateIsBoundToItsMemberAndEditable) {
    qv::ui::EnsureApplication();
    qv::ui::DialogTemplate t;
    t.id = 160;
    t.cx = 200;
    t.cy = 100;
    t.style = WS_CHILD | DS_CONTROL | DS_SETFONT;
    t.items = {qv::ui::Control(L"", kGrid, QVGRID_CLASSNAME, LVS_REPORT | LVS_SINGLESEL | WS_BORDER, 5, 5, 190, 90)};
    qv::ui::RegisterDialogTemplate(Module(), t);
    CWnd frame;
    ASSERT_TRUE(frame.CreateEx(0, AfxRegisterWndClass(0), L"Kurs", WS_OVERLAPPED, CRect(0, 0, 400, 300), nullptr, 0));
    DatesPage page;
    ASSERT_TRUE(page.Create(160, &frame));
    ASSERT_EQ(page.GetDlgItem(kGrid), &page.dates);
    page.dates.InsertColumn(0, L"Anfang", LVCFMT_LEFT, 80);
    CQvGridItem* row = nullptr;
    ASSERT_TRUE(page.dates.QvAddItem(row, FALSE));
    row->SetColumnDate(0, COleDateTime(2024, 3, 10, 0, 0, 0), 1, 0, CQvGridCtrl::eEditDate);
    EXPECT_TRUE(page.dates.SetCellValue(0, 0, L"11.03.2024"));
    EXPECT_EQ(Cell(page.dates.m_hWnd, 0, 0), L"11.03.2024");
    wchar_t name[64] = {};
    RealGetWindowClassW(page.dates.m_hWnd, name, 63);
    EXPECT_EQ(std::wstring(name), L"QvGridCtrl");
    frame.DestroyWindow();
}

}  // namespace
