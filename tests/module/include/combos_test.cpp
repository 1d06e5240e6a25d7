// The multi-column combo box and the place combo box through their real widgets: rows, cells and
// item data as the parent sees them, the text column, the list's width, height and sideways
// scrolling; the place search on its worker over the demo data while the window goes on.
// The session before Qt, whose "slots" it would otherwise meet as a macro.
#include "adosession.h"
#include "combos_fixture.h"
#include "extensions.h"
#include "leftworkers.h"

#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <thread>

using namespace combostest;
namespace t = qv::ui::test;

namespace {

// place_gate(x) gives x; while the gate is shut, the search that reads it waits (where no cancel
// reaches it), and it fails once opened with gateFails, as on a lost server.
std::atomic<bool> gateOpen{true};
std::atomic<bool> gateFails{false};
std::atomic<int> gateWaiting{0};
void PlaceGate(sqlite3_context* ctx, int, sqlite3_value** argv) {
    ++gateWaiting;
    while (!gateOpen) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    --gateWaiting;
    if (gateFails) return sqlite3_result_error(ctx, "the server closed the connection", -1);
    sqlite3_result_value(ctx, argv[0]);
}

// view_Ort read through place_gate.
void GatePlaces(qv::sql::SqliteDb& db) {
    qv::sql::RegisterConnectionInitializer("place-gate", [](sqlite3* h) {
        sqlite3_create_function_v2(h, "place_gate", 1, SQLITE_UTF8, nullptr, PlaceGate, nullptr, nullptr, nullptr);
    });
    qv::ado::Session::ReleasePool();
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db.Handle(), "SELECT sql FROM sqlite_master WHERE name = 'view_Ort'", -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    std::string view(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    view.replace(view.find("view_Ort"), 8, "view_OrtBase");
    ASSERT_EQ(db.Exec("DROP VIEW view_Ort"), SQLITE_OK);
    ASSERT_EQ(db.Exec(view), SQLITE_OK);
    ASSERT_EQ(db.Exec("CREATE VIEW view_Ort AS SELECT * FROM view_OrtBase WHERE place_gate(lOrtID) IS NOT NULL"), SQLITE_OK);
}

int Add(CMultiComboBox& combo, std::initializer_list<LPCWSTR> texts) {
    std::vector<LPCWSTR> v(texts);
    return combo.AddRow(v.data(), int(v.size()));
}

class MultiCombo : public ComboDialogTest {};

TEST_F(MultiCombo, RowsKeepTheirCellsAndTheParentSeesTheCallersItemData) {
    CMultiComboBox combo;
    ASSERT_TRUE(Make(combo));
    combo.SetColumnCount(3);
    EXPECT_EQ(Add(combo, {L"8400", L"Winterthur", L"ZH"}), 0);
    EXPECT_EQ(Add(combo, {L"3000", L"Bern"}), 1);
    EXPECT_EQ(Add(combo, {L"a", L"b", L"c", L"d"}), CB_ERR) << "more texts than columns";
    combo.AddString(L"plain");
    EXPECT_EQ(t::ComboItems(combo.GetSafeHwnd()), (std::vector<std::wstring>{L"8400", L"3000", L"plain"}));
    const struct {
        int item, column;
        const wchar_t* text;
    } cells[] = {{0, 1, L"Winterthur"}, {1, 1, L"Bern"}, {1, 2, L""}, {2, 0, L""}, {3, 0, L""}, {0, 3, L""}, {-1, 0, L""}};
    for (const auto& c : cells) {
        CString text = L"unchanged";
        combo.GetCellText(c.item, c.column, text);
        EXPECT_EQ(std::wstring(text), c.text) << c.item << "/" << c.column;
    }

    combo.SetItemData(0, 4711);
    combo.SetItemData(1, 815);
    combo.SetItemData(2, 99);
    EXPECT_EQ(combo.GetItemData(1), 815u);
    EXPECT_EQ(combo.GetItemData(2), 0u) << "an item without row keeps no data";
    std::map<UINT, ULONG_PTR> drawn, deleted;
    const int cookie = qv::ui::AddMessageObserver(dialog.GetSafeHwnd(), [&](HWND, UINT m, WPARAM, LPARAM lp) {
        if (auto* dis = reinterpret_cast<LPDRAWITEMSTRUCT>(lp); m == WM_DRAWITEM && !(dis->itemState & ODS_COMBOBOXEDIT))
            drawn[dis->itemID] = dis->itemData;
        if (auto* del = reinterpret_cast<LPDELETEITEMSTRUCT>(lp); m == WM_DELETEITEM) deleted[del->itemID] = del->itemData;
    });
    combo.ShowDropDown(TRUE);
    ASSERT_TRUE(t::WaitFor([&] { return drawn.size() >= 2; }));
    EXPECT_EQ(drawn, (std::map<UINT, ULONG_PTR>{{0, 4711}, {1, 815}})) << "the row without data is not handed on";
    // Every row's cells are written, the first row's too.
    const QImage list = t::Widget(::GetWindow(combo.GetSafeHwnd(), GW_CHILD))->window()->grab().toImage();
    const int height = combo.GetItemHeight(0);
    for (int row : {0, 1}) {
        int ink = 0;
        for (int y = row * height + 3; y < (row + 1) * height - 2; ++y)
            for (int x = 3; x < list.width() - 3; ++x) ink += qGray(list.pixel(x, y)) < 80;
        EXPECT_GT(ink, 30) << "row " << row;
    }
    combo.ShowDropDown(FALSE);
    combo.ResetContent();
    qv::ui::RemoveMessageObserver(dialog.GetSafeHwnd(), cookie);
    EXPECT_EQ(deleted, (std::map<UINT, ULONG_PTR>{{0, 4711}, {1, 815}, {2, 0}})) << "the parent never sees a freed row";
    EXPECT_EQ(combo.AddRow(nullptr, 0), 0) << "a row of empty cells";
}

TEST_F(MultiCombo, ChangingTheTextColumnReordersAndKeepsTheSelection) {
    CMultiComboBox combo;
    ASSERT_TRUE(Make(combo, 1001, CBS_DROPDOWNLIST, CBS_SORT));
    combo.SetColumnCount(2);
    for (auto row : {std::pair{L"1", L"Zürich"}, {L"2", L"Bern"}, {L"3", L"Genf"}}) Add(combo, {row.first, row.second});
    combo.SetItemData(1, 2);
    ASSERT_EQ(combo.SetCurSel(2), 2);
    EXPECT_TRUE(combo.SetTextColumn(1));
    EXPECT_EQ(t::ComboItems(combo.GetSafeHwnd()), (std::vector<std::wstring>{L"Bern", L"Genf", L"Zürich"}));
    EXPECT_EQ(combo.GetCurSel(), 1) << "still on the row whose old text matched";
    EXPECT_EQ(combo.GetItemData(0), 2u) << "the row keeps its data";
    EXPECT_FALSE(combo.SetTextColumn(2)) << "no such column";
    ASSERT_EQ(combo.SetCurSel(2), 2);
    EXPECT_TRUE(combo.SetTextColumn(0));
    EXPECT_EQ(combo.GetCurSel(), 0) << "Zürich, now the first row, stays chosen";
    EXPECT_TRUE(combo.SetTextColumn(0)) << "the column it has already";
    // The closed box writes the chosen row's text.
    const auto shot = [&] { return t::Widget(combo.GetSafeHwnd())->grab().toImage(); };
    const QImage chosen = shot();
    combo.SetCurSel(-1);
    const QImage none = shot();
    int written = 0;
    for (int y = 0; y < chosen.height(); ++y)
        for (int x = 0; x < chosen.width(); ++x) written += chosen.pixel(x, y) != none.pixel(x, y);
    EXPECT_GT(written, 10);
    combo.SetCurSel(0);

    // A row takes only the texts it is given: a text column beyond them shows empty. Rows taken
    // down after the reorder still reach the parent with their data.
    ASSERT_EQ(combo.SetCurSel(0), 0);
    ASSERT_TRUE(combo.SetTextColumn(1));
    EXPECT_EQ(combo.GetCurSel(), 2) << "the first row stays chosen too";
    const LPCWSTR olten[] = {L"4", L"Olten"};
    EXPECT_EQ(combo.AddRow(olten, 1), 0);
    EXPECT_EQ(t::ComboItems(combo.GetSafeHwnd()), (std::vector<std::wstring>{L"", L"Bern", L"Genf", L"Zürich"}));
    combo.SetColumnCount(1);
    CString kept;
    combo.GetCellText(1, 1, kept);
    EXPECT_EQ(std::wstring(kept), L"Bern") << "the text column is not taken away";
    std::map<UINT, ULONG_PTR> deleted;
    const int cookie = qv::ui::AddMessageObserver(dialog.GetSafeHwnd(), [&](HWND, UINT m, WPARAM, LPARAM lp) {
        if (auto* del = reinterpret_cast<LPDELETEITEMSTRUCT>(lp); m == WM_DELETEITEM) deleted[del->itemID] = del->itemData;
    });
    combo.ResetContent();
    qv::ui::RemoveMessageObserver(dialog.GetSafeHwnd(), cookie);
    EXPECT_EQ(deleted, (std::map<UINT, ULONG_PTR>{{0, 0}, {1, 2}, {2, 0}, {3, 0}}));
}

TEST_F(MultiCombo, TheListFitsItsColumnsAndRowsOnTheScreen) {
    FitCombo combo;
    ASSERT_TRUE(Make(combo));
    combo.SetColumnCount(2);
    combo.SetColumnWidth(0, 400);
    for (int i = 0; i < 3; ++i) Add(combo, {L"x", L"y"});
    CRect rc, dropped;
    combo.GetWindowRect(&rc);
    EXPECT_EQ(combo.GetDroppedWidth(), rc.Width()) << "as wide as the combo box unless asked to fit";
    combo.Fit();
    combo.SetColumnWidth(1, 200);
    EXPECT_GE(combo.GetDroppedWidth(), 600);
    combo.SetColumnWidth(0, 100000);
    EXPECT_EQ(combo.GetDroppedWidth(), GetSystemMetrics(SM_CXVIRTUALSCREEN));
    combo.SetColumnWidth(0, 200);

    combo.ShowDropDown(TRUE);
    ASSERT_TRUE(combo.List().GetSafeHwnd()) << "the list window is taken over when it shows";
    QWidget* popup = t::Widget(combo.List().GetSafeHwnd())->window();
    const int frame = 2 * GetSystemMetrics(SM_CYBORDER), row = combo.GetItemHeight(0);
    EXPECT_EQ(popup->height(), 3 * row + frame) << "as high as its rows";
    combo.ShowDropDown(FALSE);
    for (int i = 0; i < 40; ++i) Add(combo, {L"x", L"y"});
    combo.ShowDropDown(TRUE);
    combo.GetDroppedControlRect(&dropped);
    EXPECT_LE(popup->height(), dropped.Height());
    EXPECT_EQ((popup->height() - frame) % row, 0) << "whole rows only";
    EXPECT_TRUE(combo.List().m_bVScroll);
    // A list wider than its room takes an upright bar beside the sideways one only when its rows
    // are higher than the room the sideways bar leaves.
    combo.ShowDropDown(FALSE);
    combo.ResetContent();
    Add(combo, {L"x", L"y"});
    const int room = dropped.Height() - frame - GetSystemMetrics(SM_CYHSCROLL);
    for (int extra : {0, 1}) {
        combo.SetItemHeight(0, UINT(room + extra));
        combo.SetDroppedWidth(0);
        combo.SetColumnWidth(1, 400);
        EXPECT_EQ(combo.GetDroppedWidth(), 2 * GetSystemMetrics(SM_CXBORDER) + 600 + extra * GetSystemMetrics(SM_CXVSCROLL))
            << extra;
    }
    // Columns that fill the list exactly need no sideways bar, so rows it would have crowded
    // take no upright one either.
    combo.SetDroppedWidth(UINT(2 * GetSystemMetrics(SM_CXBORDER) + 600));
    combo.ShowDropDown(TRUE);
    EXPECT_FALSE(combo.List().m_bHScroll);
    EXPECT_FALSE(combo.List().m_bVScroll);
    // Nor does a row that fills the room exactly.
    combo.ShowDropDown(FALSE);
    combo.SetItemHeight(0, UINT(dropped.Height() - frame));
    combo.SetColumnWidth(1, 400);
    combo.ShowDropDown(TRUE);
    EXPECT_FALSE(combo.List().m_bHScroll);
    EXPECT_FALSE(combo.List().m_bVScroll);
    // An item added as a plain string counts as the list opens again.
    combo.ShowDropDown(FALSE);
    combo.AddString(L"plain");
    combo.ShowDropDown(TRUE);
    EXPECT_TRUE(combo.List().m_bVScroll);
}

TEST_F(MultiCombo, ANarrowListScrollsSidewaysByCharactersAndPages) {
    FitCombo combo;
    ASSERT_TRUE(Make(combo));
    combo.SetColumnCount(3);
    for (int c = 0; c < 3; ++c) combo.SetColumnWidth(c, 300);
    Add(combo, {L"links", L"mitte", L"rechts"});
    combo.ShowDropDown(TRUE);
    CMultiComboBox::CMultiComboLBox& list = combo.List();
    ASSERT_TRUE(list.m_bHScroll);
    const int line = combo.Line(), page = combo.Page() * 2 / 3;
    ASSERT_GT(line, 0);
    const struct {
        UINT code;
        int pos, expected;
    } steps[] = {{SB_LINERIGHT, 0, line},      {SB_PAGERIGHT, 0, line + page},    {SB_LINELEFT, 0, page},
                 {SB_THUMBTRACK, 123, 123},    {SB_THUMBTRACK, 30000, 900 - combo.Page()}, {SB_LEFT, 0, 0}};
    for (const auto& s : steps) {
        list.SendMessage(WM_HSCROLL, MAKEWPARAM(WORD(s.code), WORD(s.pos)), 0);
        EXPECT_EQ(list.GetScrollPos(SB_HORZ), s.expected) << "code " << s.code;
    }
}

class PlaceCombo : public PlaceComboTest {};

TEST_F(PlaceCombo, FindsBernByPostcodeAndByWordWhileTheWindowGoesOn) {
    const long bern = BernID();
    ASSERT_GT(bern, 0) << "the demo data has Bern";
    for (const wchar_t* typed : {L"300", L"ber"}) {
        SCOPED_TRACE(std::string(typed, typed + wcslen(typed)));
        // Each edit change returns at once with an empty list and the search handed to the worker.
        std::vector<std::pair<int, bool>> atChange;
        const int cookie = qv::ui::AddMessageObserver(dialog.GetSafeHwnd(), [&](HWND, UINT m, WPARAM wp, LPARAM) {
            if (m == WM_COMMAND && HIWORD(wp) == CBN_EDITCHANGE) atChange.emplace_back(place.GetCount(), place.Searching());
        });
        ASSERT_TRUE(Search(place, typed));
        qv::ui::RemoveMessageObserver(dialog.GetSafeHwnd(), cookie);
        EXPECT_EQ(atChange, (std::vector<std::pair<int, bool>>(wcslen(typed), {0, true})));
        EXPECT_EQ(std::wstring(t::Text(place.GetSafeHwnd())), typed) << "the typed text stays";
        const int row = FindRow(L"3000");
        ASSERT_GE(row, 0);
        CString text;
        place.GetLBText(row, text);
        EXPECT_EQ(std::wstring(text), L" 3000 Bern BE") << "the canton once";
        EXPECT_EQ(long(place.GetItemData(row)), bern);
        EXPECT_TRUE(place.GetDroppedState());
        EXPECT_GE(place.GetDroppedWidth(), 400) << "the list as wide as its columns";
    }
    // The picture: the dialog with the dropped list below the combo box.
    QWidget* top = t::Widget(dialog.GetSafeHwnd())->window();
    QWidget* popup = t::Widget(::GetWindow(place.GetSafeHwnd(), GW_CHILD))->window();
    QImage shot = t::Grab(dialog.GetSafeHwnd());
    const QPoint frame((shot.width() - top->width()) / 2, shot.height() - top->height());
    QPainter(&shot).drawImage(popup->mapToGlobal(QPoint()) - top->mapToGlobal(QPoint()) + frame, popup->grab().toImage());
    std::filesystem::create_directories(QV_SCREENS_DIR);
    EXPECT_TRUE(shot.save(QV_SCREENS_DIR "/ortcombobox.png"));
}

TEST_F(PlaceCombo, TypingGoesOnIntoTheFieldWhileTheListIsOpenAndAKeyPicksARow) {
    // Key by key as a user types, each after the list of the text so far has come: once the
    // list is open the keys still reach the field, a backspace too.
    const std::wstring name = L"Rietstetten";
    // The places are read through a gate the test can shut.
    GatePlaces(db);
    const auto typeKey = [&](const std::wstring& keys) {
        ASSERT_TRUE(keys == L"\b" ? t::PressKey(nullptr, VK_BACK) : t::Type(place.GetSafeHwnd(), keys));
        ASSERT_TRUE(t::WaitFor([&] { return !place.Searching(); }));
    };
    typeKey(L"R");
    typeKey(L"i");
    EXPECT_TRUE(place.GetDroppedState()) << "two letters open the list";
    typeKey(L"x");
    EXPECT_EQ(std::wstring(t::Text(place.GetSafeHwnd())), L"Rix");
    typeKey(L"\b");
    EXPECT_TRUE(place.GetDroppedState());
    for (wchar_t c : name.substr(2)) {
        typeKey(std::wstring(1, c));
        EXPECT_TRUE(place.GetDroppedState()) << "after " << char(c);
    }
    EXPECT_EQ(std::wstring(t::Text(place.GetSafeHwnd())), name);
    DWORD start = 0, end = 0;
    place.SendMessage(CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(std::make_pair(start, end), std::make_pair(DWORD(name.size()), DWORD(name.size()))) << "the caret at the end";
    ASSERT_EQ(place.GetCount(), 1);
    CString ort;
    place.GetCellText(0, 1, ort);
    EXPECT_EQ(std::wstring(ort), name);
    std::filesystem::create_directories(QV_SCREENS_DIR);
    QWidget* popup = t::Widget(::GetWindow(place.GetSafeHwnd(), GW_CHILD))->window();
    EXPECT_TRUE(popup->grab().save(QV_SCREENS_DIR "/ortcombobox-typed.png"));

    // The list's own keys: down to the row and Enter take it.
    ASSERT_TRUE(t::PressKey(nullptr, VK_DOWN));
    ASSERT_TRUE(t::PressKey(nullptr, VK_RETURN));
    EXPECT_FALSE(place.GetDroppedState());
    EXPECT_TRUE(t::Visible(dialog.GetSafeHwnd())) << "the list took the Enter, not the dialog";
    ASSERT_EQ(place.GetCurSel(), 0);
    EXPECT_NE(std::wstring(t::Text(place.GetSafeHwnd())).find(L"9643 Rietstetten"), std::wstring::npos);

    // Enter before the rows of the typed text have come picks its place as they come, and opens
    // no list over the field.
    gateOpen = false;
    const bool typed = t::Retype(place.GetSafeHwnd(), name);
    const bool entered = t::PressKey(nullptr, VK_RETURN);
    gateOpen = true;
    ASSERT_TRUE(typed && entered);
    // A save meanwhile reads nothing itself: it waits for the rows, and its window hears once when
    // they are in.
    using EPick = COrtComboBox::EPick;
    EXPECT_EQ(place.PickTypedPlace(TRUE), EPick::Pending);
    EXPECT_EQ(placesRead, 0);
    ASSERT_TRUE(t::WaitFor([&] { return placesRead > 0 && !place.Searching(); }));
    t::Pump();
    EXPECT_EQ(placesRead, 1);
    EXPECT_EQ(place.GetCurSel(), 0) << "the save finds the place picked";
    EXPECT_EQ(place.PickTypedPlace(FALSE), EPick::Picked) << "and so does the next save";
    EXPECT_FALSE(place.GetDroppedState());
    qv::sql::RegisterConnectionInitializer("place-gate", [](sqlite3*) {});
}

TEST_F(PlaceCombo, WordsFindTheirPlacesAndNewTypingReplacesTheRows) {
    Exec("INSERT INTO Ort (lOrtID, strPLZ, strOrt, lTyp) VALUES (9001, '1999', 'L''Abbaye', 1), "
         "(9002, '3001', 'Bern Postfach', 3), (9003, '', 'Ohnepostleitzahl', 1)");
    const struct {
        const wchar_t* typed;
        std::vector<std::wstring> places;  // empty: no rows
    } cases[] = {{L"b", {}}, {L"3", {}}, {L"  ", {}}, {L"l'ab", {L"L'Abbaye"}}, {L"3001", {}}, {L"ohnepost", {}},
                 {L"8474 ober", {L"Oberfrechtingen"}}, {L"9613", {L"Tannegg", L"Tanneggerhöhe"}}};
    for (const auto& c : cases) {
        ASSERT_TRUE(Search(place, c.typed));
        std::vector<std::wstring> places;
        for (int i = 0; i < place.GetCount(); ++i) {
            CString ort;
            place.GetCellText(i, 1, ort);
            places.push_back(std::wstring(ort));
        }
        EXPECT_EQ(places, c.places) << std::string(c.typed, c.typed + wcslen(c.typed));
        // The list closes in a turn after the rows came.
        if (c.places.empty())
            EXPECT_TRUE(t::WaitFor([&] { return !place.GetDroppedState(); })) << "the list of the old text closes";
    }
    // The open list covers the field below; Escape closes it.
    ASSERT_TRUE(place.GetDroppedState());
    ASSERT_TRUE(t::PressKey(nullptr, VK_ESCAPE));
    EXPECT_FALSE(place.GetDroppedState());
    EXPECT_TRUE(t::Visible(dialog.GetSafeHwnd())) << "the list took the Escape, not the dialog";
    EXPECT_EQ(place.GetCurSel(), -1) << "the text of two places picks neither";
    place.EndAgain();
    ASSERT_TRUE(t::WaitFor([&] { return !place.Searching(); }));
    EXPECT_FALSE(place.GetDroppedState()) << "the list the user closed stays closed";
    // The typed text of one of several rows, with or without its postcode and canton, picks that
    // row as the list closes, though another place begins with it; the text is then no longer the
    // user's typing.
    for (const wchar_t* typed : {L"9613 tannegg", L"9613 Tannegg SG", L"Tannegg", L"tannegg sg"}) {
        ASSERT_TRUE(Search(place, typed));
        ASSERT_EQ(place.GetCount(), 2);
        EXPECT_TRUE(t::WaitFor([&] { return place.GetDroppedState(); })) << "the list opens after a pick too";
        ASSERT_TRUE(t::PressKey(nullptr, VK_ESCAPE));
        CString picked;
        place.GetCellText(place.GetCurSel(), 1, picked);
        EXPECT_EQ(std::wstring(picked), L"Tannegg");
        EXPECT_FALSE(place.HasTypedText());
        place.EndAgain();
        ASSERT_TRUE(t::WaitFor([&] { return !place.Searching(); }));
        EXPECT_FALSE(place.GetDroppedState()) << "a second end of the text opens no list over the picked place";
    }
    // A place with an addition, typed without its canton, is told from the plain place of its name.
    Exec("INSERT INTO Ort (lOrtID, strPLZ, strOrt, strZusatz, lTyp, lGemeindeID) SELECT 9004, strPLZ, strOrt, 'B', "
         "lTyp, lGemeindeID FROM Ort WHERE strPLZ = '9613' AND strOrt = 'Tannegg'");
    ASSERT_TRUE(Search(place, L"9613 tannegg b"));
    ASSERT_EQ(place.GetCount(), 3);
    EXPECT_TRUE(t::WaitFor([&] { return place.GetDroppedState(); }));
    ASSERT_TRUE(t::PressKey(nullptr, VK_ESCAPE));
    EXPECT_EQ(place.GetCurSel() < 0 ? -1L : long(place.GetItemData(place.GetCurSel())), 9004L);
    // Postcode and name without the addition pick the one place of that name beside a longer name.
    Exec("UPDATE Ort SET strZusatz = 'Dorf' WHERE lOrtID = 9001");
    Exec("INSERT INTO Ort (lOrtID, strPLZ, strOrt, lTyp) VALUES (9005, '1999', 'L''Abbaye-Dessus', 1)");
    ASSERT_TRUE(Search(place, L"1999 l'abbaye"));
    ASSERT_EQ(place.GetCount(), 2);
    EXPECT_TRUE(t::WaitFor([&] { return place.GetDroppedState(); }));
    ASSERT_TRUE(t::PressKey(nullptr, VK_ESCAPE));
    EXPECT_EQ(place.GetCurSel() < 0 ? -1L : long(place.GetItemData(place.GetCurSel())), 9001L);
}

TEST_F(PlaceCombo, ALocalInstallationOffersEveryKindOfPlace) {
    Exec("INSERT INTO Ort (lOrtID, strPLZ, strOrt, lTyp) VALUES (9002, '3001', 'Bern Postfach', 3)");
    TestPlaceCombo local;
    ASSERT_TRUE(Make(local, 1002, CBS_DROPDOWN));
    local.BuildFilter(FALSE);
    ASSERT_TRUE(Search(local, L"3001"));
    EXPECT_EQ(local.GetCount(), 1) << "a local installation offers every kind of place";
}

TEST_F(PlaceCombo, SetOrtIDShowsOnePlaceAndClosingEndsTheWorkerFirst) {
    EXPECT_EQ(place.SetOrtID(BernID()), S_OK);
    ASSERT_EQ(place.GetCount(), 1);
    EXPECT_GE(place.GetDroppedWidth(), 400) << "the list as wide as its columns";
    EXPECT_EQ(long(place.GetItemData(0)), BernID());
    EXPECT_EQ(place.GetCurSel(), -1);
    EXPECT_EQ(place.SetOrtID(987654), S_OK) << "an unknown place is no failure";
    EXPECT_EQ(place.GetCount(), 0);

    Exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) INSERT INTO Ort "
         "(lOrtID, strPLZ, strOrt, lTyp) SELECT 20000 + i, '4' || (100 + i % 800), 'Bergdorf ' || i, 1 FROM n");
    // A search lists no more places than a user reads, however many hold the words.
    ASSERT_TRUE(Search(place, L"bergdorf"));
    EXPECT_EQ(place.GetCount(), COrtComboBox::kMaxPlaces);
    // For a save, the pick takes the typed place once its rows are there.
    ASSERT_TRUE(t::Retype(place.GetSafeHwnd(), L"Bergdorf 2999"));
    if (place.PickTypedPlace(TRUE) == COrtComboBox::EPick::Pending) {
        ASSERT_TRUE(t::WaitFor([&] { return placesRead > 0; }));
    }
    ASSERT_GE(place.GetCurSel(), 0);
    EXPECT_EQ(long(place.GetItemData(place.GetCurSel())), 22999);
    EXPECT_FALSE(place.GetDroppedState());
    ASSERT_TRUE(t::Retype(place.GetSafeHwnd(), L"berg"));
    ASSERT_TRUE(t::WaitFor([&] { return place.GetCount() > 0; }));
    place.DestroyWindow();
    EXPECT_FALSE(place.Worker()) << "the worker is gone with the window";

    // Closed while its worker is held in a call no cancel reaches, the window does not wait for it
    // (it takes none of the window's messages meanwhile), and the worker's failure once it goes
    // on shows nothing: the window it belonged to is gone.
    TestPlaceCombo held;
    ASSERT_TRUE(Make(held, 1002, CBS_DROPDOWN));
    held.BuildFilter(TRUE);
    GatePlaces(db);
    gateOpen = false;
    gateFails = true;
    script.AllowReports(true);
    script.Log().Clear();
    ASSERT_TRUE(t::Retype(held.GetSafeHwnd(), L"bern"));
    ASSERT_TRUE(t::WaitFor([&] { return gateWaiting.load() > 0; })) << "the worker reads the places";
    // A watch that lets the call go if the close waits for it.
    std::atomic<bool> closed{false};
    std::thread watch([&] {
        for (int i = 0; i < 250 && !closed; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        gateOpen = true;
    });
    bool turnTaken = false;
    QTimer::singleShot(0, [&] { turnTaken = true; });
    held.DestroyWindow();
    closed = true;
    EXPECT_FALSE(turnTaken) << "the close took the window's messages while it waited for its worker";
    EXPECT_FALSE(held.Worker());
    watch.join();
    gateOpen = true;
    EXPECT_TRUE(CLeftWorkers::End(10000)) << "the left worker ends once its call goes on";
    t::Pump();
    EXPECT_TRUE(script.Log().Records(qv::InteractionKind::Report).empty()) << "the failure of a closed window's worker was shown";
    gateFails = false;
    qv::sql::RegisterConnectionInitializer("place-gate", [](sqlite3*) {});
}

TEST_F(PlaceCombo, AFailedSearchIsShownAndTheNextTypingSearchesAgain) {
    place.Filter(L"strNoSuchColumn <> ''");
    script.AllowReports(true);
    ASSERT_TRUE(t::Retype(place.GetSafeHwnd(), L"ber"));
    const auto shown = [&] { return script.Log().Records(qv::InteractionKind::Report); };
    ASSERT_TRUE(t::WaitFor([&] { return !shown().empty() && !place.Searching(); }));
    t::Pump();
    ASSERT_EQ(shown().size(), 1u) << "the failure is shown once, by the window";
    EXPECT_EQ(shown().front().caption, L"OLEDB Errormessage");
    EXPECT_EQ(place.GetCount(), 0);
    // A save's pick after it searches again; failing again, the failure is shown once more, the
    // save hears nothing and the typed text stays.
    using EPick = COrtComboBox::EPick;
    EXPECT_EQ(place.PickTypedPlace(TRUE), EPick::Pending);
    ASSERT_TRUE(t::WaitFor([&] { return shown().size() == 2 && !place.Searching(); }));
    t::Pump();
    EXPECT_EQ(shown().size(), 2u);
    EXPECT_EQ(placesRead, 0);
    EXPECT_TRUE(place.HasTypedText());
    EXPECT_EQ(std::wstring(t::Text(place.GetSafeHwnd())), L"ber");
    // The next save's pick, on a sound statement, is told when the rows are in: "ber" names none.
    place.Filter(L"strPLZ <> ''");
    EXPECT_EQ(place.PickTypedPlace(TRUE), EPick::Pending);
    ASSERT_TRUE(t::WaitFor([&] { return placesRead == 1 && !place.Searching(); }));
    EXPECT_GE(FindRow(L"3000"), 0);
    EXPECT_EQ(place.PickTypedPlace(TRUE), EPick::NamesNone);
    EXPECT_EQ(shown().size(), 2u);
    ASSERT_TRUE(Search(place, L"bern"));
    EXPECT_GE(FindRow(L"3000"), 0) << "a new worker took over";
}

TEST(PlaceSearch, EachLongEnoughWordIsOneQuotedCondition) {
    const CString word = L"AND CHARINDEX('%s', ' ' + strPLZ + ' ' + strOrt   + ' ' + strKanton) > 0 ";
    const auto cond = [&](std::initializer_list<const wchar_t*> words) {
        CString s = L"F";
        for (const wchar_t* w : words) {
            CString c;
            c.Format(word, w);
            s += L" " + c;
        }
        return std::wstring(s);
    };
    const struct {
        const wchar_t* typed;
        std::wstring condition;
    } cases[] = {{L"b", L""},          {L"3", L""},           {L"30", cond({L"30"})},
                 {L"ber", cond({L" ber"})}, {L"3000  be", cond({L"3000", L" be"})}, {L" 3000 be", cond({L"3000", L" be"})}, {L"l'a", cond({L" l''a"})},
                 {L"x'); DROP TABLE Ort --", cond({L" x'');", L" DROP", L" TABLE", L" Ort", L" --"})}};
    for (const auto& c : cases) EXPECT_EQ(std::wstring(COrtComboBox::BuildSearchCondition(L"F", c.typed)), c.condition);
}

}  // namespace
