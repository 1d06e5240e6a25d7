// The multi-column combo box and the place combo box through their real widgets: rows and their
// item data as the parent sees them, the text column, the drop width and the list window; the
// place search on its worker with the demo data, while the GUI thread keeps answering.
#include "combos_fixture.h"

#include <QComboBox>
#include <QAbstractItemView>

#include <gtest/gtest.h>

using namespace combostest;
namespace t = qv::ui::test;

namespace {

class MultiCombo : public ComboDialogTest {};

int Add(CMultiComboBox& combo, std::initializer_list<LPCWSTR> texts) {
    std::vector<LPCWSTR> v(texts);
    return combo.AddRow(v.data(), int(v.size()));
}

TEST_F(MultiCombo, RowsKeepTheirCellsAndRefuseTooManyTexts) {
    CMultiComboBox combo;
    ASSERT_TRUE(Make(combo));
    combo.SetColumnCount(3);
    EXPECT_EQ(Add(combo, {L"8400", L"Winterthur", L"ZH"}), 0);
    EXPECT_EQ(Add(combo, {L"3000", L"Bern"}), 1) << "fewer texts than columns";
    EXPECT_EQ(Add(combo, {L"a", L"b", L"c", L"d"}), CB_ERR);
    EXPECT_EQ(combo.GetCount(), 2) << "a refused row adds nothing";
    combo.AddString(L"plain");

    struct Case {
        int item, column;
        const wchar_t* text;
    } cases[] = {{0, 0, L"8400"}, {0, 1, L"Winterthur"}, {0, 2, L"ZH"}, {1, 1, L"Bern"}, {1, 2, L""},
                 {2, 0, L""},     {3, 0, L""},           {0, 3, L""},   {-1, 0, L""},   {0, -1, L""}};
    for (const Case& c : cases) {
        CString text = L"unchanged";
        combo.GetCellText(c.item, c.column, text);
        EXPECT_EQ(std::wstring(text), c.text) << c.item << "/" << c.column;
    }
    EXPECT_EQ(t::ComboItems(combo.GetSafeHwnd()), (std::vector<std::wstring>{L"8400", L"3000", L"plain"}))
        << "the text column is the item's string";
}

TEST_F(MultiCombo, ItemDataIsWhatTheParentSeesAndTheRowsStay) {
    CMultiComboBox combo;
    ASSERT_TRUE(Make(combo));
    combo.SetColumnCount(2);
    Add(combo, {L"1", L"eins"});
    Add(combo, {L"2", L"zwei"});
    combo.AddString(L"plain");
    combo.SetItemData(0, 4711);
    combo.SetItemData(1, 815);
    combo.SetItemData(2, 99);
    EXPECT_EQ(combo.GetItemData(0), 4711u);
    EXPECT_EQ(combo.GetItemData(1), 815u);
    EXPECT_EQ(combo.GetItemData(2), 0u) << "an item without row keeps no data";
    CString text;
    combo.GetCellText(1, 1, text);
    EXPECT_EQ(std::wstring(text), L"zwei") << "setting the data leaves the row in place";

    std::map<UINT, ULONG_PTR> drawn;
    const int cookie = qv::ui::AddMessageObserver(dialog->GetSafeHwnd(), [&](HWND, UINT m, WPARAM, LPARAM lp) {
        if (m == WM_DRAWITEM) {
            auto* dis = reinterpret_cast<LPDRAWITEMSTRUCT>(lp);
            if (!(dis->itemState & ODS_COMBOBOXEDIT)) drawn[dis->itemID] = dis->itemData;
        }
    });
    combo.ShowDropDown(TRUE);
    ASSERT_TRUE(t::WaitFor([&] { return drawn.size() >= 2; }));
    combo.ShowDropDown(FALSE);
    qv::ui::RemoveMessageObserver(dialog->GetSafeHwnd(), cookie);
    EXPECT_EQ(drawn[0], 4711u);
    EXPECT_EQ(drawn[1], 815u);
    EXPECT_EQ(drawn.count(2), 0u) << "an item without row is not handed to the parent";
}

TEST_F(MultiCombo, ChangingTheTextColumnReordersAndKeepsTheSelection) {
    CMultiComboBox combo;
    ASSERT_TRUE(Make(combo, CBS_SORT));
    combo.SetColumnCount(2);
    Add(combo, {L"1", L"Zürich"});
    Add(combo, {L"2", L"Bern"});
    Add(combo, {L"3", L"Genf"});
    combo.SetItemData(combo.FindStringExact(-1, L"2"), 2);
    ASSERT_EQ(combo.SetCurSel(combo.FindStringExact(-1, L"3")), 2);

    EXPECT_TRUE(combo.SetTextColumn(1));
    EXPECT_EQ(t::ComboItems(combo.GetSafeHwnd()), (std::vector<std::wstring>{L"Bern", L"Genf", L"Zürich"}));
    EXPECT_EQ(combo.GetCurSel(), 1) << "the selection stays on the row whose old text matched";
    EXPECT_EQ(combo.GetItemData(0), 2u) << "the row keeps its data";
    EXPECT_TRUE(combo.SetTextColumn(1)) << "the same column again";
    EXPECT_FALSE(combo.SetTextColumn(2)) << "no such column";
    EXPECT_EQ(combo.GetTextColumn(), 1);
}

TEST_F(MultiCombo, TheListIsWiderThanTheComboOnlyWhenItFitsItsColumns) {
    CMultiComboBox combo;
    ASSERT_TRUE(Make(combo));
    combo.SetColumnCount(3);
    for (int c = 0; c < 3; ++c) combo.SetColumnWidth(c, 200);
    Add(combo, {L"a", L"b", L"c"});
    CRect rc;
    combo.GetWindowRect(&rc);
    EXPECT_EQ(combo.GetDroppedWidth(), rc.Width()) << "as wide as the combo box by default";

    FitCombo fit;
    ASSERT_TRUE(Make(fit));
    fit.SetColumnCount(3);
    fit.Fit();
    for (int c = 0; c < 3; ++c) fit.SetColumnWidth(c, 200);
    Add(fit, {L"a", L"b", L"c"});
    EXPECT_GE(fit.GetDroppedWidth(), 600);
    fit.SetColumnWidth(0, 100000);
    EXPECT_EQ(fit.GetDroppedWidth(), GetSystemMetrics(SM_CXVIRTUALSCREEN)) << "never wider than the screen";
}

TEST_F(MultiCombo, TheListWindowIsTakenOverAndFitsItsRows) {
    FitCombo combo;
    ASSERT_TRUE(Make(combo));
    combo.SetColumnCount(2);
    combo.Fit();
    for (int i = 0; i < 3; ++i) Add(combo, {L"x", L"y"});
    EXPECT_FALSE(combo.List().GetSafeHwnd()) << "attached when the list first shows";
    combo.ShowDropDown(TRUE);
    t::Pump();
    ASSERT_TRUE(combo.List().GetSafeHwnd());
    EXPECT_EQ(combo.List().GetCount(), 3);
    QWidget* popup = t::Widget(combo.List().GetSafeHwnd())->window();
    const int rows = 3 * combo.GetItemHeight(0) + 2 * GetSystemMetrics(SM_CYBORDER);
    EXPECT_EQ(popup->height(), rows) << "the list is as high as its rows";
    combo.ShowDropDown(FALSE);

    for (int i = 0; i < 40; ++i) Add(combo, {L"x", L"y"});
    combo.ShowDropDown(TRUE);
    t::Pump();
    CRect dropped;
    combo.GetDroppedControlRect(&dropped);
    EXPECT_LE(popup->height(), dropped.Height()) << "a long list stops at the dropped height";
    EXPECT_EQ((popup->height() - 2 * GetSystemMetrics(SM_CYBORDER)) % combo.GetItemHeight(0), 0)
        << "whole rows only";
    EXPECT_TRUE(combo.List().m_bVScroll);
    combo.ShowDropDown(FALSE);
}

TEST_F(MultiCombo, ANarrowListScrollsSidewaysByCharactersAndPages) {
    FitCombo combo;
    ASSERT_TRUE(Make(combo));
    combo.SetColumnCount(3);
    for (int c = 0; c < 3; ++c) combo.SetColumnWidth(c, 300);
    Add(combo, {L"links", L"mitte", L"rechts"});
    combo.ShowDropDown(TRUE);
    t::Pump();
    CMultiComboBox::CMultiComboLBox& list = combo.List();
    ASSERT_TRUE(list.GetSafeHwnd());
    EXPECT_TRUE(list.m_bHScroll) << "the columns are wider than the list";
    EXPECT_FALSE(list.m_bVScroll);
    ASSERT_GT(combo.Line(), 0);
    ASSERT_GT(combo.Page(), 0);
    struct Step {
        UINT code;
        int pos;
        int expected;
    } steps[] = {{SB_LINERIGHT, 0, combo.Line()},
                 {SB_PAGERIGHT, 0, combo.Line() + combo.Page() * 2 / 3},
                 {SB_LINELEFT, 0, combo.Page() * 2 / 3},
                 {SB_THUMBTRACK, 123, 123},
                 {SB_PAGELEFT, 0, std::max(0, 123 - combo.Page() * 2 / 3)},
                 {SB_THUMBTRACK, 30000, 900 - combo.Page()},
                 {SB_LEFT, 0, 0}};
    for (const Step& s : steps) {
        list.SendMessage(WM_HSCROLL, MAKEWPARAM(WORD(s.code), WORD(s.pos)), 0);
        EXPECT_EQ(list.GetScrollPos(SB_HORZ), s.expected) << "code " << s.code;
    }
    combo.ShowDropDown(FALSE);
}

// ---- the place combo box

class PlaceCombo : public PlaceComboTest {};

TEST_F(PlaceCombo, FindsBernByPostcodeAndByWordWhileTheGuiAnswers) {
    for (const wchar_t* typed : {L"300", L"ber"}) {
        SCOPED_TRACE(std::string(typed, typed + wcslen(typed)));
        // Each edit change returns at once with an empty list and the search handed to the worker.
        std::vector<std::pair<int, bool>> atChange;
        const int cookie = qv::ui::AddMessageObserver(dialog->GetSafeHwnd(), [&](HWND, UINT m, WPARAM wp, LPARAM) {
            if (m == WM_COMMAND && HIWORD(wp) == CBN_EDITCHANGE) atChange.emplace_back(place->GetCount(), Searching());
        });
        ASSERT_TRUE(t::Retype(place->GetSafeHwnd(), typed));
        qv::ui::RemoveMessageObserver(dialog->GetSafeHwnd(), cookie);
        ASSERT_EQ(atChange.size(), wcslen(typed));
        for (const auto& [count, searching] : atChange) {
            EXPECT_EQ(count, 0) << "rows never arrive inside the edit notification";
            EXPECT_TRUE(searching) << "the worker searches while the window goes on";
        }
        EXPECT_EQ(std::wstring(t::Text(place->GetSafeHwnd())), typed) << "the typed text stays";
        ASSERT_TRUE(t::WaitFor([&] { return FindRow(L"3000") >= 0 && !Searching(); }));
        const int row = FindRow(L"3000");
        CString ort, text;
        place->GetCellText(row, 1, ort);
        place->GetLBText(row, text);
        EXPECT_EQ(std::wstring(ort), L"Bern");
        EXPECT_EQ(std::wstring(text), L" 3000 Bern BE BE") << "the text column: postcode, place and canton";
        EXPECT_EQ(long(place->GetItemData(row)), bernID);
        EXPECT_TRUE(place->GetDroppedState()) << "the list drops down with the rows";
        for (int i = 0; i < place->GetCount(); ++i) {
            CString plz;
            place->GetCellText(i, 0, plz);
            EXPECT_FALSE(plz.IsEmpty()) << "places without postcode are never offered";
        }
    }
    SaveListPicture("ortcombobox.png");
}

TEST_F(PlaceCombo, ShortWordsQueryNothingAndNewTypingReplacesTheRows) {
    struct Case {
        const wchar_t* typed;
        bool rows;
    } cases[] = {{L"b", false}, {L"3", false}, {L"  ", false}, {L"84", true}, {L"Tann", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed, c.typed + wcslen(c.typed)));
        ASSERT_TRUE(t::Retype(place->GetSafeHwnd(), c.typed));
        ASSERT_TRUE(t::WaitFor([&] { return !Searching(); }));
        EXPECT_EQ(place->GetCount() > 0, c.rows);
        for (int i = 0; i < place->GetCount(); ++i) {
            CString text;
            place->GetLBText(i, text);
            EXPECT_NE(text.Find(CString(c.typed).Trim()), -1) << "every row holds what was typed: " << i;
        }
    }
    ASSERT_TRUE(t::Retype(place->GetSafeHwnd(), L"ber"));
    ASSERT_TRUE(t::WaitFor([&] { return FindRow(L"3000") >= 0 && !Searching(); }));
    ASSERT_TRUE(t::Retype(place->GetSafeHwnd(), L"8471"));
    ASSERT_TRUE(t::WaitFor([&] { return !Searching(); }));
    EXPECT_EQ(FindRow(L"3000"), -1) << "the rows of the old text are gone";
    EXPECT_GE(FindRow(L"8471"), 0);
}

TEST_F(PlaceCombo, AnApostropheIsSearchedAsAnApostrophe) {
    Exec("INSERT INTO Ort (lOrtID, strPLZ, strOrt, lGemeindeID, lTyp) VALUES (9001, '1999', 'L''Abbaye', -1, 1)");
    ASSERT_TRUE(t::Retype(place->GetSafeHwnd(), L"l'ab"));
    ASSERT_TRUE(t::WaitFor([&] { return !Searching(); }));
    ASSERT_EQ(place->GetCount(), 1);
    EXPECT_EQ(place->GetItemData(0), 9001u);
    EXPECT_EQ(CountRows("SELECT count(*) FROM Ort"), ortRows + 1) << "the statement changed nothing";
}

TEST_F(PlaceCombo, TheCentralInstallationOffersPlacesOfKindsOneAndTwoOnly) {
    Exec("INSERT INTO Ort (lOrtID, strPLZ, strOrt, lGemeindeID, lTyp) VALUES (9002, '3001', 'Bern Postfach', -1, 3)");
    ASSERT_TRUE(t::Retype(place->GetSafeHwnd(), L"3001"));
    ASSERT_TRUE(t::WaitFor([&] { return !Searching(); }));
    EXPECT_EQ(place->GetCount(), 0) << "kind 3 is left out";

    COrtComboBox local;
    ASSERT_TRUE(Make(local, 0, 1002, CBS_DROPDOWN));
    local.BuildFilter(FALSE);
    ASSERT_TRUE(t::Retype(local.GetSafeHwnd(), L"3001"));
    ASSERT_TRUE(t::WaitFor([&] { return local.GetCount() == 1; }));
    EXPECT_EQ(local.GetItemData(0), 9002u);
}

TEST_F(PlaceCombo, SetOrtIDShowsOnePlaceOrNone) {
    EXPECT_EQ(place->SetOrtID(bernID), S_OK);
    ASSERT_EQ(place->GetCount(), 1);
    EXPECT_EQ(long(place->GetItemData(0)), bernID);
    EXPECT_EQ(place->GetCurSel(), -1) << "selects nothing";
    EXPECT_EQ(place->SetOrtID(987654), S_OK) << "an unknown place is no failure";
    EXPECT_EQ(place->GetCount(), 0);
}

TEST_F(PlaceCombo, ClosingWhileRowsArriveEndsTheWorkerFirst) {
    Exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
         "INSERT INTO Ort (lOrtID, strPLZ, strOrt, lGemeindeID, lTyp) SELECT 20000 + i, '4' || (100 + i % 800), "
         "'Bergdorf ' || i, -1, 1 FROM n");
    ASSERT_TRUE(t::Retype(place->GetSafeHwnd(), L"berg"));
    ASSERT_TRUE(t::WaitFor([&] { return place->GetCount() > 0; }));
    EXPECT_TRUE(place->Worker()) << "the worker runs";
    place->DestroyWindow();
    EXPECT_FALSE(place->Worker()) << "the worker is gone with the window";
    t::Pump();
}

TEST(PlaceSearch, WordsBecomeConditions) {
    struct Case {
        const wchar_t* typed;
        const wchar_t* condition;
    } cases[] = {
        {L"b", L""},
        {L"3", L""},
        {L"", L""},
        {L"30", L"F AND CHARINDEX('30', ' ' + strPLZ + ' ' + strOrt   + ' ' + strKanton) > 0 "},
        {L"ber", L"F AND CHARINDEX(' ber', ' ' + strPLZ + ' ' + strOrt   + ' ' + strKanton) > 0 "},
        {L"3000  be", L"F AND CHARINDEX('3000', ' ' + strPLZ + ' ' + strOrt   + ' ' + strKanton) > 0  "
                      L"AND CHARINDEX(' be', ' ' + strPLZ + ' ' + strOrt   + ' ' + strKanton) > 0 "},
        {L"l'a", L"F AND CHARINDEX(' l''a', ' ' + strPLZ + ' ' + strOrt   + ' ' + strKanton) > 0 "},
        {L"x'); DROP TABLE Ort; --", L"F AND CHARINDEX(' x'');', ' ' + strPLZ + ' ' + strOrt   + ' ' + strKanton) > 0  "
                                     L"AND CHARINDEX(' DROP', ' ' + strPLZ + ' ' + strOrt   + ' ' + strKanton) > 0  "
                                     L"AND CHARINDEX(' TABLE', ' ' + strPLZ + ' ' + strOrt   + ' ' + strKanton) > 0  "
                                     L"AND CHARINDEX(' Ort;', ' ' + strPLZ + ' ' + strOrt   + ' ' + strKanton) > 0  "
                                     L"AND CHARINDEX(' --', ' ' + strPLZ + ' ' + strOrt   + ' ' + strKanton) > 0 "},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::wstring(COrtComboBox::BuildSearchCondition(L"F", c.typed)), c.condition) << c.typed;
}

}  // namespace
