// The common library's windows: the result list with its typed cells, parameters, colours,
// links, sort and remembered layout; the resize layout with its listener; the dialog base; the
// buttons; and a sample window drawn to a picture.
#include "qvbuttons.h"
#include "qvdialog.h"
#include "qvlayout.h"
#include "qvlistctrl.h"
#include "qvregvalue.h"
#include "qvtabctrl.h"
#include "scripted.h"
#include "strtable.h"
#include "tempdir.h"
#include "uidriver.h"
#include <gtest/gtest.h>
#include <QImage>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QScrollBar>
#include <atomic>
#include <cstdlib>
#include <thread>

namespace {

using namespace qv::ui::test;

HINSTANCE Module() {
    static int tag;
    return reinterpret_cast<HINSTANCE>(&tag);
}

enum : UINT { kPage = 400, kList = 1002, kStatus = 1090, kHelp = 1159, kCombo = 1035, kReport = 1024 };
const wchar_t kListKey[] = L"Software\\Qovaro\\NQ2\\KursView\\TeilnehmerList";

void RegisterResources() {
    qv::RegisterStringTable(Module(), {{809, L"Status"},
                                       {810, L"Rang"},
                                       {811, L"Name"},
                                       {812, L"Anmeldung am"},
                                       {813, L"Entschuldigt"},
                                       {10050, L"Hauptmodule"},
                                       {100, L"Ausbildung"}});
    using namespace qv::ui;
    DialogTemplate t;
    t.id = kPage;
    t.caption = L"Teilnehmer";
    t.cx = 195;
    t.cy = 186;
    t.style = WS_POPUP | WS_CAPTION | WS_THICKFRAME | DS_SETFONT;
    t.items = {Control(L"", kList, L"SysListView32", WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, 5,
                       5, 168, 147),
               PushButton(L"+", 1030, 177, 5, 18, 16),
               PushButton(L"-", 1032, 177, 23, 18, 16),
               PushButton(L"", kReport, 177, 41, 18, 16),
               PushButton(L"?", kHelp, 177, 165, 18, 16),
               LText(L"Frei: 3", kStatus, 5, 156, 142, 20, SS_SUNKEN | SS_CENTERIMAGE),
               ComboBox(kCombo, 5, 166, 100, 60, CBS_DROPDOWNLIST)};
    RegisterDialogTemplate(Module(), t);
}

class CommonUi : public ::testing::Test {
protected:
    void SetUp() override {
        qv::ui::EnsureApplication();
        script.OnFailure([](const std::string& m) { ADD_FAILURE() << "interaction: " << m; });
        previous = qv::SetInteraction(&script);
        AfxSetResourceHandle(Module());
        RegisterResources();
    }
    void TearDown() override {
        EXPECT_EQ(script.Pending(), 0u);
        qv::SetInteraction(previous);
        Pump();
    }
    qvtest::TempDir dir;
    qvtest::ScopedEnv registry{"QV_REGISTRY", dir.file("registry.db")};
    qv::ScriptedInteraction script;
    qv::IInteraction* previous = nullptr;
};

class Page : public CQvDialog {
public:
    Page() : CQvDialog(kPage) {}
    CQvListCtrl list;
    std::vector<std::wstring> links;
    std::vector<UINT> commands;
    CString dynamicTip;
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, kList, list); }
    void OnLink(NMHDR* nm, LRESULT* result) {
        links.push_back(reinterpret_cast<NMQVLISTLINK*>(nm)->pszLink);
        *result = 1;
    }
    void OnReportCommand(UINT id) { commands.push_back(id); }
    CString GetToolTipText(HWND control) override {
        if (::GetDlgCtrlID(control) == kStatus && !dynamicTip.IsEmpty()) return dynamicTip;
        return CQvDialog::GetToolTipText(control);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Page, CQvDialog)
    ON_NOTIFY(QVLN_LINKCLICKED, kList, &Page::OnLink)
    ON_COMMAND_RANGE(100, 199, &Page::OnReportCommand)
END_MESSAGE_MAP()

const int kTypes[] = {CQvListCtrl::eColText, CQvListCtrl::eColLong, CQvListCtrl::eColText, CQvListCtrl::eColDate,
                      CQvListCtrl::eColBool};

class ResultList : public CommonUi {
protected:
    void SetUp() override {
        CommonUi::SetUp();
        ASSERT_TRUE(page.Create(kPage));
        page.UpdateData(FALSE);
        page.ShowWindow(SW_SHOW);
        page.list.QvSetRegistryKey(kListKey);
        // Headers 809, 810, 811 ... are consecutive string ids.
        ASSERT_TRUE(page.list.QvInsertColumn(5, 809, kTypes));
    }
    CQvListItem* Add(const wchar_t* status, long rank, const wchar_t* name, COleDateTime date, BOOL excused, long id) {
        CQvListItem* item = nullptr;
        EXPECT_TRUE(page.list.QvAddItem(item, TRUE));
        item->SetParam(0, id);
        item->SetColumnText(0, status);
        item->SetColumnLong(1, rank);
        item->SetColumnText(2, name);
        item->SetColumnDate(3, date, 1, 0);
        item->SetColumnBool(4, excused);
        item->Unlock();
        return item;
    }
    Page page;
};

TEST_F(ResultList, ColumnsComeFromConsecutiveStringsAndRowsShowWhenUnlocked) {
    EXPECT_EQ(Columns(page.list), 5);
    EXPECT_EQ(Header(page.list, 0), L"Status");
    EXPECT_EQ(Header(page.list, 1), L"Rang");
    EXPECT_EQ(Header(page.list, 2), L"Name");
    EXPECT_EQ(Header(page.list, 4), L"Entschuldigt");
    EXPECT_TRUE(page.list.GetExtendedStyle() & LVS_EX_FULLROWSELECT) << "a row is chosen whole";
    CQvListItem* item = nullptr;
    ASSERT_TRUE(page.list.QvAddItem(item, TRUE));
    item->SetColumnText(2, L"Ammann Peter");
    EXPECT_EQ(Cell(page.list, 0, 2), L"") << "a locked item shows nothing yet";
    item->SetColumnDate(3, COleDateTime(2024, 3, 7, 18, 30, 0), 1, 10);
    item->SetColumnDouble(1, 2.5, L"%3.2f Tg");
    item->SetColumnBool(4, TRUE);
    item->Unlock();
    EXPECT_EQ(Cell(page.list, 0, 2), L"Ammann Peter");
    EXPECT_EQ(Cell(page.list, 0, 3), L"07.03.2024 18:30");
    EXPECT_EQ(Cell(page.list, 0, 1), L"2.50 Tg");
    EXPECT_EQ(Cell(page.list, 0, 4), L"Ja");
    COleDateTime none;
    none.SetStatus(COleDateTime::null);
    item->SetColumnDate(3, none, 1, 0);
    EXPECT_EQ(Cell(page.list, 0, 3), L"") << "an unlocked item shows each change";
}

TEST_F(ResultList, ParametersAreKeptByIndexAndMissingOnesAreSaid) {
    CQvListItem* item = Add(L"angemeldet", 3, L"Meier", COleDateTime(2024, 1, 1, 0, 0, 0), FALSE, 4711);
    item->SetParam(3, COleVariant(L"17"));
    long value = -1;
    EXPECT_TRUE(item->GetParam(0, &value));
    EXPECT_EQ(value, 4711);
    EXPECT_TRUE(item->GetParam(3, &value));
    EXPECT_EQ(value, 17);
    value = -1;
    EXPECT_FALSE(item->GetParam(1, &value)) << "a gap between parameters is no parameter";
    EXPECT_FALSE(item->GetParam(9, &value));
    EXPECT_EQ(value, -1);
    page.list.QvSetSelection(0);
    EXPECT_TRUE(page.list.QvGetSelParamValue(0, value));
    EXPECT_EQ(value, 4711);
}

TEST_F(ResultList, RowsAndCellsTakeTheirColoursAndLinksReportTheirText) {
    CQvListItem* grey = Add(L"angemeldet", 1, L"Linked", COleDateTime(2024, 1, 2, 0, 0, 0), FALSE, 1);
    grey->SetRowTextColor(RGB(128, 128, 128));
    CQvListItem* female = Add(L"angemeldet", 2, L"Keller Anna", COleDateTime(2024, 1, 3, 0, 0, 0), FALSE, 2);
    female->SetColumnTextColor(2, RGB(192, 0, 0));
    female->SetColumnBkColor(1, RGB(255, 255, 200));
    female->SetColumnLink(2, L"1;4711");
    EXPECT_EQ(CellTextColor(page.list, 0, 0), RGB(128, 128, 128));
    EXPECT_EQ(CellTextColor(page.list, 0, 4), RGB(128, 128, 128));
    EXPECT_EQ(CellTextColor(page.list, 1, 2), RGB(192, 0, 0));
    EXPECT_EQ(CellTextColor(page.list, 1, 0), CLR_DEFAULT);
    EXPECT_EQ(CellBackColor(page.list, 1, 1), RGB(255, 255, 200));
    EXPECT_TRUE(CellUnderlined(page.list, 1, 2));
    EXPECT_FALSE(CellUnderlined(page.list, 1, 1));
    // A cell given a longer text keeps its colour and link; a colour given back goes.
    female->SetColumnText(2, L"Keller-Brunner Anna Maria");
    female->SetColumnBkColor(1, CLR_DEFAULT);
    EXPECT_EQ(Cell(page.list, 1, 2), L"Keller-Brunner Anna Maria");
    EXPECT_EQ(Cell(page.list, 1, 1), L"2");
    EXPECT_EQ(CellTextColor(page.list, 1, 2), RGB(192, 0, 0));
    EXPECT_TRUE(CellUnderlined(page.list, 1, 2));
    EXPECT_EQ(CellBackColor(page.list, 1, 1), CLR_DEFAULT);

    ClickCell(page.list, 1, 1);
    EXPECT_TRUE(page.links.empty()) << "only the link cell is a link";
    ClickCell(page.list, 1, 2);
    EXPECT_EQ(page.links, std::vector<std::wstring>{L"1;4711"});

    // A row's background reaches every cell; a colour given back goes; a link without a colour
    // of its own is blue.
    EXPECT_EQ(CellBackColor(page.list, 0, 3), CLR_DEFAULT);
    grey->SetRowBkColor(RGB(240, 240, 240));
    EXPECT_EQ(CellBackColor(page.list, 0, 3), RGB(240, 240, 240));
    EXPECT_EQ(CellBackColor(page.list, 1, 3), CLR_DEFAULT);
    grey->SetRowTextColor(CLR_DEFAULT);
    EXPECT_EQ(CellTextColor(page.list, 0, 4), CLR_DEFAULT);
    grey->SetColumnLink(-1, L"2;7");
    EXPECT_EQ(CellTextColor(page.list, 0, 0), RGB(0, 0, 192));
    EXPECT_TRUE(CellUnderlined(page.list, 0, 0));
    EXPECT_EQ(grey->GetColumnLink(0), L"2;7");
    EXPECT_EQ(grey->GetColumnLink(1), L"");
    female->SetColumnTextColor(2, CLR_DEFAULT);
    EXPECT_EQ(CellTextColor(page.list, 1, 2), RGB(0, 0, 192)) << "its own colour gone, the link is blue";
    ClickCell(page.list, 0, 0);
    EXPECT_EQ(page.links, (std::vector<std::wstring>{L"1;4711", L"2;7"}));
}

TEST_F(ResultList, SortingFollowsTheColumnKindAndIsRemembered) {
    Add(L"b", 10, L"zulu", COleDateTime(2024, 5, 1, 0, 0, 0), TRUE, 1);
    Add(L"a", 9, L"Alpha", COleDateTime(2023, 5, 1, 0, 0, 0), FALSE, 2);
    Add(L"c", 100, L"mike", COleDateTime(2025, 1, 1, 0, 0, 0), FALSE, 3);
    page.list.QvSort(1, TRUE);
    EXPECT_EQ(Cell(page.list, 0, 1), L"9") << "numbers sort as numbers, not as text";
    EXPECT_EQ(Cell(page.list, 2, 1), L"100");
    page.list.QvSort(2, TRUE);
    EXPECT_EQ(Cell(page.list, 0, 2), L"Alpha") << "text sorts without regard to case";
    EXPECT_EQ(Cell(page.list, 1, 2), L"mike");
    // As a German reader looks for names: "ä" beside "a", not after "z".
    page.list.QvGetVisibleListItem(1)->SetColumnText(2, L"Brändli");
    page.list.QvGetVisibleListItem(2)->SetColumnText(2, L"bärtschi");
    page.list.QvSort(2, TRUE);
    EXPECT_EQ(Cell(page.list, 1, 2), L"bärtschi");
    EXPECT_EQ(Cell(page.list, 2, 2), L"Brändli");
    ClickColumnHeader(page.list, 3);
    EXPECT_EQ(Cell(page.list, 0, 3), L"01.05.2023");
    ClickColumnHeader(page.list, 3);
    EXPECT_EQ(Cell(page.list, 0, 3), L"01.01.2025") << "a second click turns the order";
    Add(L"d", 1, L"Bravo", COleDateTime(2026, 1, 1, 0, 0, 0), FALSE, 4);
    page.list.QvSort(-1, TRUE);
    EXPECT_EQ(Cell(page.list, 0, 2), L"Bravo") << "the remembered sort: dates, newest first";
    EXPECT_EQ(page.list.QvGetSortColumn(), 3);
    EXPECT_FALSE(page.list.QvGetSortAscending());
    ClickColumnHeader(page.list, 1);
    EXPECT_EQ(Cell(page.list, 0, 1), L"1") << "another column starts ascending";
    EXPECT_TRUE(page.list.QvGetSortAscending());
    page.list.QvSort(1, FALSE);
    EXPECT_EQ(Cell(page.list, 0, 1), L"100");
    EXPECT_EQ(Cell(page.list, 3, 1), L"1");
    page.list.QvSort(4, FALSE);
    EXPECT_EQ(Cell(page.list, 0, 4), L"Ja") << "yes before no, descending";
    COleDateTime none;
    none.SetStatus(COleDateTime::null);
    Add(L"e", 50, L"Charlie", none, FALSE, 5);
    page.list.QvSort(3, TRUE);
    EXPECT_EQ(Cell(page.list, 0, 2), L"Charlie") << "an empty date before all others";
    EXPECT_EQ(Cell(page.list, 1, 3), L"01.05.2023");
    // A number column with a text in it: that pair sorts as text.
    page.list.QvGetVisibleListItem(0)->SetColumnText(1, L"viele");
    page.list.QvSort(1, TRUE);
    EXPECT_EQ(Cell(page.list, 4, 1), L"viele");
    page.list.ModifyStyle(0, LVS_NOSORTHEADER);
    ClickColumnHeader(page.list, 2);
    EXPECT_EQ(page.list.QvGetSortColumn(), 1) << "a header that does not sort";

    // A long list sorts apart. Rows removed meanwhile: the rest comes in order; the row selected
    // by its index meanwhile is the one at that index in the new order.
    page.list.DeleteAllItems();
    for (long i = 0; i < 3000; ++i) Add(L"x", (i * 7919) % 3000, L"n", COleDateTime(2024, 1, 1, 0, 0, 0), FALSE, i);
    page.list.QvSort(1, FALSE);
    EXPECT_TRUE(page.list.QvIsSorting());
    page.list.QvDeleteItems({0, 1, 2});
    page.list.QvSetSelection(0);
    ASSERT_TRUE(WaitFor([&] { Pump(); return !page.list.QvIsSorting(); }));
    ASSERT_EQ(Rows(page.list), 2997);
    for (int row = 1; row < 2997; ++row) ASSERT_GT(std::stol(Cell(page.list, row - 1, 1)), std::stol(Cell(page.list, row, 1)));
    EXPECT_EQ(page.list.GetNextItem(-1, LVNI_SELECTED), 0);
    EXPECT_EQ(page.list.GetSelectedCount(), 1u);
    // Such a row is selected at once, so that it can be taken while the rows are sorted; a row the
    // user clicks meanwhile is the one chosen once they are in order, wherever it went.
    page.list.SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    page.list.QvSort(1, TRUE);
    ASSERT_TRUE(page.list.QvIsSorting());
    page.list.QvSetSelection(0);
    EXPECT_TRUE(RowSelected(page.list, 0)) << "selected while the rows are sorted";
    long clicked = 0, chosen = 0;
    ASSERT_TRUE(page.list.QvGetVisibleListItem(5)->GetParam(0, &clicked));
    ASSERT_TRUE(ClickCell(page.list, 5, 2));
    ASSERT_TRUE(WaitFor([&] { Pump(); return !page.list.QvIsSorting(); }));
    ASSERT_EQ(std::stol(Cell(page.list, 0, 1)), 1) << "in the new order";
    EXPECT_EQ(page.list.GetSelectedCount(), 1u);
    EXPECT_TRUE(page.list.QvGetSelParamValue(0, chosen));
    EXPECT_EQ(chosen, clicked);
}

TEST_F(ResultList, SelectionsComeInListOrderAndCanBeSetByParameter) {
    for (long i = 0; i < 5; ++i) Add(L"x", i, L"n", COleDateTime(2024, 1, 1, 0, 0, 0), FALSE, 100 + i);
    page.list.QvSetMultiSelection();
    int found = -1;
    EXPECT_TRUE(page.list.QvSetSelectionByParam(0, 103, &found));
    EXPECT_EQ(found, 3);
    EXPECT_TRUE(page.list.QvSetSelection(1, TRUE, TRUE));
    CQvListItemArray selected;
    page.list.QvGetSelListItemArray(selected);
    ASSERT_EQ(selected.GetSize(), 2);
    long id = 0;
    selected.QvGetItem(0)->GetParam(0, &id);
    EXPECT_EQ(id, 101);
    selected.QvGetItem(1)->GetParam(0, &id);
    EXPECT_EQ(id, 103);
    EXPECT_FALSE(page.list.QvSetSelectionByParam(0, 999, &found));
    EXPECT_EQ(found, -1);
    EXPECT_EQ(page.list.QvGetInsertedListItem(4)->GetIndex(), 4);
    EXPECT_FALSE(page.list.QvSetSelection(5));
    EXPECT_FALSE(page.list.QvSetSelection(-1));
    EXPECT_TRUE(page.list.QvSetSelection(4));
    page.list.QvGetSelListItemArray(selected);
    ASSERT_EQ(selected.GetSize(), 1) << "the others are let go";
    selected.QvGetItem(0)->GetParam(0, &id);
    EXPECT_EQ(id, 104);
    EXPECT_EQ(page.list.GetNextItem(-1, LVNI_FOCUSED), 4);
    page.list.SetItemState(-1, 0, LVIS_SELECTED);
    EXPECT_FALSE(page.list.QvGetSelParamValue(0, id)) << "nothing chosen";
    page.list.QvSetSelection(1);
    page.list.QvSetSelection(3, FALSE, TRUE);
    page.list.QvSetSingleSelection();
    EXPECT_EQ(page.list.GetSelectedCount(), 1u);
    EXPECT_TRUE(page.list.QvGetSelParamValue(0, id));
    EXPECT_EQ(id, 101) << "made single, the first row stays chosen";
}

TEST_F(ResultList, AReadOnlyListKeepsItsCheckBoxes) {
    page.list.QvSetMultiSelection();
    page.list.QvSetCheckable(TRUE);
    Add(L"x", 1, L"n", COleDateTime(2024, 1, 1, 0, 0, 0), FALSE, 1);
    Add(L"x", 2, L"n", COleDateTime(2024, 1, 1, 0, 0, 0), FALSE, 2);
    ClickRowCheckBox(page.list, 0);
    EXPECT_TRUE(page.list.QvGetCheck(0));
    page.list.SetReadOnly(TRUE);
    ClickRowCheckBox(page.list, 1);
    EXPECT_FALSE(page.list.QvGetCheck(1));
    ClickRowCheckBox(page.list, 0);
    EXPECT_TRUE(page.list.QvGetCheck(0));
    std::vector<CQvListItem*> items;
    std::vector<bool> checked;
    page.list.QvGetVisibleListItems(items, &checked);
    EXPECT_EQ(checked, (std::vector<bool>{true, false})) << "read for all rows at once";
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], page.list.QvGetVisibleListItem(0));
    EXPECT_EQ(items[1], page.list.QvGetVisibleListItem(1));
    SelectRow(page.list, 1);
    EXPECT_TRUE(RowSelected(page.list, 1)) << "rows can still be chosen";
    page.list.SetReadOnly(FALSE);
    ClickRowCheckBox(page.list, 1);
    EXPECT_TRUE(page.list.QvGetCheck(1)) << "writable again";
    page.list.QvSetCheckable(FALSE);
    auto* view = qobject_cast<QAbstractItemView*>(Widget(page.list));
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(view->model()->index(0, 0).data(Qt::CheckStateRole).isValid()) << "no boxes any more";
}

TEST_F(ResultList, AWorkerAddsAndFillsLockedItems) {
    std::atomic<bool> done{false};
    CQvListCtrl* list = &page.list;
    std::thread worker([list, &done] {
        // The layer forwards this thread's calls to the GUI thread: what is tested here.
        qv::ui::AllowForeignThreadCalls allow;
        for (long i = 0; i < 30; ++i) {
            CQvListItem* item = nullptr;
            if (!list->QvAddItem(item, TRUE)) break;
            item->SetParam(0, i);
            item->SetColumnText(2, (L"Person " + std::to_wstring(i)).c_str());
            item->SetRowTextColor(i % 2 ? RGB(128, 128, 128) : CLR_DEFAULT);
            item->Unlock();
        }
        list->QvSort(1, TRUE);
        done = true;
    });
    ASSERT_TRUE(WaitFor([&] { return done.load(); }, 20000));
    worker.join();
    ASSERT_EQ(Rows(page.list), 30);
    EXPECT_EQ(page.list.GetInsertedItemCount(), 30);
    EXPECT_EQ(Cell(page.list, 29, 2), L"Person 29");
    EXPECT_EQ(CellTextColor(page.list, 29, 2), RGB(128, 128, 128));
}

TEST_F(ResultList, TheStatusLineCountsTheRows) {
    page.list.ShowStatusLine(TRUE);
    Add(L"x", 1, L"n", COleDateTime(2024, 1, 1, 0, 0, 0), FALSE, 1);
    Add(L"x", 2, L"n", COleDateTime(2024, 1, 1, 0, 0, 0), FALSE, 2);
    // The line follows the rows once per turn of the GUI thread.
    Pump();
    auto* view = qobject_cast<QAbstractScrollArea*>(Widget(page.list));
    ASSERT_NE(view, nullptr);
    QWidget* line = nullptr;
    for (QObject* child : view->children())
        if (auto* label = qobject_cast<QWidget*>(child); label && label->isVisible() && label->inherits("QLabel"))
            line = label;
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->property("text").toString(), QStringLiteral("2 Einträge"));
    // Columns wider than the list: the line lies between the rows and the horizontal scroll bar,
    // covering neither.
    for (int c = 0; c < 5; ++c) page.list.SetColumnWidth(c, 400);
    Pump();
    QScrollBar* bar = view->horizontalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    const QRect rows = view->viewport()->geometry();
    const QRect barRect(bar->mapTo(view, QPoint(0, 0)), bar->size());
    EXPECT_FALSE(line->geometry().intersects(rows));
    EXPECT_FALSE(line->geometry().intersects(barRect));
    EXPECT_LT(rows.bottom(), line->geometry().top());
    EXPECT_LT(line->geometry().bottom(), barRect.top());
    // Rows removed together: the line follows too.
    EXPECT_EQ(page.list.QvDeleteItems({0}), 1);
    Pump();
    EXPECT_EQ(line->property("text").toString(), QStringLiteral("1 Eintrag"));
    page.list.SetStatusText(L"1 von 5");
    EXPECT_EQ(line->property("text").toString(), QStringLiteral("1 von 5")) << "a text of the form's own";
    page.list.SetStatusText(nullptr);
    EXPECT_EQ(line->property("text").toString(), QStringLiteral("1 Eintrag"));
    page.list.ShowStatusLine(FALSE);
    EXPECT_FALSE(line->isVisible());
    EXPECT_EQ(view->viewport()->geometry().bottom(), barRect.top() - 1) << "the rows take the strip back";
    page.list.DeleteAllItems();
    page.list.ShowStatusLine(TRUE);
    EXPECT_EQ(line->property("text").toString(), QStringLiteral("0 Einträge"));
}

TEST_F(CommonUi, ColumnWidthsAndTheSortSurviveARestartThroughTheRegistry) {
    {
        Page first;
        ASSERT_TRUE(first.Create(kPage));
        first.UpdateData(FALSE);
        first.ShowWindow(SW_SHOW);
        first.list.QvSetRegistryKey(kListKey);
        first.list.QvInsertColumn(5, 809, kTypes);
        ASSERT_TRUE(ResizeColumn(first.list, 0, 66));
        ASSERT_TRUE(ResizeColumn(first.list, 2, 173));
        ASSERT_TRUE(ResizeColumn(first.list, 4, 0));
        first.list.QvSort(2, FALSE);
        first.DestroyWindow();
    }
    long stored = 0;
    EXPECT_TRUE(CQvRegistry::GetValue(kListKey, L"ColumnWidth2", stored));
    EXPECT_EQ(stored, 173);
    qv::RegistryReset();  // as a new process opens the store afresh
    Page second;
    ASSERT_TRUE(second.Create(kPage));
    second.UpdateData(FALSE);
    second.list.QvSetRegistryKey(kListKey);
    second.list.QvInsertColumn(5, 809, kTypes);
    EXPECT_EQ(second.list.GetColumnWidth(0), 66);
    EXPECT_EQ(second.list.GetColumnWidth(2), 173);
    EXPECT_EQ(second.list.GetColumnWidth(4), 0) << "a hidden column stays hidden";
    EXPECT_EQ(second.list.QvGetSortColumn(), 2);
    EXPECT_FALSE(second.list.QvGetSortAscending());
}

// ---- the resize layout

class Layout : public CommonUi {
protected:
    void SetUp() override {
        CommonUi::SetUp();
        ASSERT_TRUE(page.Create(kPage));
        page.UpdateData(FALSE);
        page.ShowWindow(SW_SHOW);
        root = layout.CreateRelativeNode(&page);
        root->SetMinSize(&page);
        // The buttons keep their size 5 pixels from the right edge; the help button also 5 from
        // the bottom; the status line keeps its height at the bottom and ends 10 before the help
        // button; the list takes all the rest.
        for (UINT id : {1030u, 1032u, UINT(kReport)})
            layout.CreateWindowNode(root, id)->KeepSize()->Attach(eQvRight, root, eQvRight, -5);
        help = layout.CreateWindowNode(root, kHelp);
        help->KeepSize()->Attach(eQvRight, root, eQvRight, -5)->Attach(eQvBottom, root, eQvBottom, -5);
        status = layout.CreateWindowNode(root, kStatus);
        status->KeepSize(FALSE, TRUE)->Attach(eQvBottom, root, eQvBottom, -5)->Attach(eQvRight, help, eQvLeft, -10);
        list = layout.CreateWindowNode(root, kList);
        list->Attach(eQvRight, layout.CreateWindowNode(root, 1030), eQvLeft, -4)->Attach(eQvBottom, status, eQvTop, -4);
    }
    CRect Rect(int id) {
        CRect r;
        page.GetDlgItem(id)->GetWindowRect(&r);
        page.ScreenToClient(&r);
        return r;
    }
    Page page;
    CQvLayoutFactory layout;
    CQvLayoutNode* root = nullptr;
    CQvLayoutNode* help = nullptr;
    CQvLayoutNode* status = nullptr;
    CQvLayoutNode* list = nullptr;
};

TEST_F(Layout, TheRulesHoldAfterTheUserResizesTheWindow) {
    layout.CreateLayoutListener(&page, root);
    const CRect buttonBefore = Rect(1030);
    const CRect statusBefore = Rect(kStatus);
    CRect client;
    page.GetClientRect(&client);
    ASSERT_TRUE(ResizeWindow(page, client.Width() + 200, client.Height() + 120));
    page.GetClientRect(&client);
    const CRect button = Rect(1030);
    EXPECT_EQ(button.right, client.right - 5);
    EXPECT_EQ(button.Size(), buttonBefore.Size());
    const CRect h = Rect(kHelp);
    EXPECT_EQ(h.right, client.right - 5);
    EXPECT_EQ(h.bottom, client.bottom - 5);
    const CRect s = Rect(kStatus);
    EXPECT_EQ(s.Height(), statusBefore.Height());
    EXPECT_EQ(s.left, statusBefore.left);
    EXPECT_EQ(s.right, h.left - 10);
    EXPECT_EQ(s.bottom, client.bottom - 5);
    const CRect l = Rect(kList);
    EXPECT_EQ(l.right, button.left - 4);
    EXPECT_EQ(l.bottom, s.top - 4);
    EXPECT_GT(l.Width(), 300);

    EXPECT_FALSE(ResizeWindow(page, 50, 50));
    page.GetClientRect(&client);
    EXPECT_GE(client.Width(), buttonBefore.right) << "the window keeps the smallest size the layout allows";
}

TEST_F(Layout, FollowingMovesAnEdgeByAFactorOfItsTarget) {
    CQvLayoutNode* remove = layout.CreateWindowNode(root, 1032);
    remove->KeepSize()->Follow(eQvRight, root, eQvRight, 0.6);
    const CRect before = Rect(1032);
    CRect client;
    page.GetClientRect(&client);
    layout.CreateLayoutListener(&page, root);
    ResizeWindow(page, client.Width() + 100, client.Height());
    EXPECT_EQ(Rect(1032).right, before.right + 60);
}

TEST_F(Layout, TheListenerKeepsTheWindowPlacementUnderItsKey) {
    const wchar_t key[] = L"Software\\Qovaro\\NQ2\\KursView\\CNotificationDlg";
    layout.CreateLayoutListener(&page, root, key, TRUE, TRUE, FALSE);
    page.MoveWindow(40, 30, 520, 410);
    CRect client;
    page.GetClientRect(&client);
    page.DestroyWindow();
    long width = 0, left = 0;
    EXPECT_TRUE(CQvRegistry::GetValue(key, L"Width", width));
    EXPECT_TRUE(CQvRegistry::GetValue(key, L"Left", left));
    EXPECT_EQ(width, client.Width());
    EXPECT_EQ(left, 40);

    Page again;
    ASSERT_TRUE(again.Create(kPage));
    CQvLayoutFactory second;
    CQvLayoutNode* r = second.CreateRelativeNode(&again);
    second.CreateLayoutListener(&again, r, key, TRUE, TRUE, FALSE);
    again.ShowWindow(SW_SHOW);
    CRect placed, inner;
    again.GetWindowRect(&placed);
    again.GetClientRect(&inner);
    EXPECT_EQ(inner.Size(), client.Size()) << "the window comes back at its size, and does not grow";
    EXPECT_EQ(placed.left, 40);
    EXPECT_EQ(placed.top, 30);
}

// ---- dialog base and buttons

TEST_F(CommonUi, ToolTipsComeFromTheStringTableOrFromTheDialogWhenShown) {
    Page page;
    page.AddToolTipText(1030, 10050);  // before the window exists
    ASSERT_TRUE(page.Create(kPage));
    page.ShowWindow(SW_SHOW);
    page.AddToolTipText(kStatus, L"Freie Plätze");
    EXPECT_EQ(ToolTip(Item(page, 1030)), L"Hauptmodule");
    EXPECT_EQ(ToolTip(Item(page, kStatus)), L"Freie Plätze");
    page.dynamicTip = L"Austragung geschlossen";
    EXPECT_EQ(ToolTip(Item(page, kStatus)), L"Austragung geschlossen") << "asked again each time";
}

TEST_F(CommonUi, TheBackgroundColourIsTheDialogsAndItsStatics) {
    Page page;
    ASSERT_TRUE(page.Create(kPage));
    page.SetBackgroundColor(QVBK_COLOR, RGB(220, 220, 220));
    page.ShowWindow(SW_SHOW);
    EXPECT_EQ(page.GetBackgroundColor(), RGB(220, 220, 220));
    CRect r;
    page.GetClientRect(&r);
    EXPECT_EQ(PixelAt(page, r.Width() - 1, r.Height() - 1), RGB(220, 220, 220));
    page.SetBackgroundColor(QVBK_SYSTEM);
    EXPECT_EQ(page.GetBackgroundColor(), GetSysColor(COLOR_BTNFACE));
}

class ComboPage : public Page {
public:
    long place = -1;
    void DoDataExchange(CDataExchange* dx) override {
        Page::DoDataExchange(dx);
        DDX_CBParam(dx, kCombo, place);
    }
};

TEST_F(CommonUi, ComboItemDataIsExchangedAsAParameter) {
    ComboPage page;
    ASSERT_TRUE(page.Create(kPage));
    CComboBox* combo = static_cast<CComboBox*>(page.GetDlgItem(kCombo));
    combo->SetItemData(combo->AddString(L"Bern"), 3001);
    combo->SetItemData(combo->AddString(L"Thun"), 3600);
    page.UpdateData(TRUE);
    EXPECT_EQ(page.place, -1) << "nothing chosen";
    page.place = 3600;
    page.UpdateData(FALSE);
    EXPECT_EQ(combo->GetCurSel(), 1);
    page.place = 9999;
    page.UpdateData(FALSE);
    EXPECT_EQ(combo->GetCurSel(), CB_ERR);
    SelectComboItem(*combo, 0);
    page.UpdateData(TRUE);
    EXPECT_EQ(page.place, 3001);
}

TEST_F(CommonUi, TheMenuButtonOffersItsMenuAtTheArrowAndReportsTheChoice) {
    Page page;
    ASSERT_TRUE(page.Create(kPage));
    page.ShowWindow(SW_SHOW);
    page.MoveWindow(0, 0, 600, 400);
    CMenu menu;
    menu.CreatePopupMenu();
    menu.AppendMenu(MF_STRING, 100, L"Teilnehmerliste");
    menu.AppendMenu(MF_STRING | MF_GRAYED, 101, L"Präsenzliste");
    CQvMenuButton button;
    ASSERT_TRUE(button.AttachButton(kReport, &page, &menu, QVBB_IMAGE_ONLY, 1));
    button.MoveWindow(300, 10, 120, 24);
    button.SetStandardImage(44);
    AnswerNextPopupMenu(100);
    ASSERT_TRUE(ClickAt(button, 115, 12));
    EXPECT_EQ(button.GetChosenCommand(), 100u);
    EXPECT_EQ(page.commands, std::vector<UINT>{100});
    EXPECT_EQ(LastPopupMenuItems(), (std::vector<std::wstring>{L"Teilnehmerliste", L"Präsenzliste"}));
    ASSERT_TRUE(ClickAt(button, 20, 12));
    EXPECT_EQ(button.GetChosenCommand(), 0u) << "the face gives no command";
    EXPECT_EQ(page.commands.size(), 1u);
}

TEST_F(CommonUi, TheHelpButtonShowsItsTopicAndBitmapButtonsTakeTheirImage) {
    Page page;
    ASSERT_TRUE(page.Create(kPage));
    page.ShowWindow(SW_SHOW);
    CString shown;
    qv::SetHelpHandler([&](const CString& topic) {
        shown = topic;
        return true;
    });
    CQvHelpButton help;
    ASSERT_TRUE(help.AttachButton(kHelp, &page));
    help.SetHelpTopic(L"HELP_KURS_TAB_TEILNEHMER");
    Click(help);
    EXPECT_EQ(shown, L"HELP_KURS_TAB_TEILNEHMER");
    shown.Empty();
    PressKey(help, VK_SPACE);
    EXPECT_EQ(shown, L"HELP_KURS_TAB_TEILNEHMER");
    qv::SetHelpHandler({});
    EXPECT_FALSE(help.ShowHelp()) << "without a help server there is no help";

    CQvBitmapButton next;
    ASSERT_TRUE(next.AttachButton(1032, &page, QVBB_IMAGE_ONLY, 32));
    next.SetFlatButton(TRUE);
    EXPECT_TRUE(next.GetStyle() & BS_FLAT);
    const QImage drawn = Grab(next, false);
    bool blue = false;
    for (int y = 0; y < drawn.height() && !blue; ++y)
        for (int x = 0; x < drawn.width() && !blue; ++x) blue = QColor(drawn.pixel(x, y)) == QColor(0x20, 0x50, 0x90);
    EXPECT_TRUE(blue) << "the arrow of image 32 is on the button";
}

// ---- a sample window, drawn

enum : UINT { kSample = 500, kTabs = 1200, kStatusLine = 1091, IDC_STATIC_SAMPLE = 0xFFFF };

void RegisterSample() {
    using namespace qv::ui;
    DialogTemplate t;
    t.id = kSample;
    t.caption = L"Ausbildung – Kurs „Atemschutz Grundkurs“";
    t.cx = 330;
    t.cy = 210;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_SETFONT;
    t.items = {LText(L"Kurs:", IDC_STATIC_SAMPLE, 7, 8, 30, 8),
               EditText(1010, 40, 6, 150, 12, ES_READONLY),
               PushButton(L"&Hinzufügen…", 1030, 268, 24, 55, 14),
               PushButton(L"&Entfernen", 1032, 268, 41, 55, 14),
               PushButton(L"Status ändern", 1038, 268, 58, 55, 14, WS_DISABLED),
               AutoCheckBox(L"Verknüpfte", 1040, 268, 80, 55, 10),
               LText(L"Die Austragung ist überbucht: 2 Plätze zu viel.", kStatusLine, 7, 180, 255, 12,
                     SS_SUNKEN | SS_CENTERIMAGE),
               DefPushButton(L"OK", IDOK, 212, 192, 50, 14),
               PushButton(L"Abbrechen", IDCANCEL, 268, 192, 55, 14)};
    RegisterDialogTemplate(Module(), t);
}

class SampleDlg : public CQvDialog {
public:
    SampleDlg() : CQvDialog(kSample) {}
    CQvTabCtrl tabs;
    CQvListCtrl participants;
    CQvListCtrl instructors;
    CBrush statusBrush{RGB(255, 255, 0)};
    CImageList images;
    BOOL OnInitDialog() override {
        CQvDialog::OnInitDialog();
        SetBackgroundColor(QVBK_COLOR, RGB(236, 233, 216));
        CRect area(7, 24, 262, 176);
        MapDialogRect(&area);
        tabs.Create(area, this, kTabs, CMFCTabCtrl::STYLE_3D, CMFCTabCtrl::LOCATION_TOP);
        const DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS;
        participants.Create(style | LVS_SINGLESEL, CRect(0, 0, 10, 10), this, 1002);
        instructors.Create(style, CRect(0, 0, 10, 10), this, 1003);
        tabs.InsertTab(&participants, L"Teilnehmer", 0, UINT(-1), FALSE);
        tabs.InsertTab(&instructors, L"Instruktoren", 1, UINT(-1), FALSE);
        const int types[] = {CQvListCtrl::eColText, CQvListCtrl::eColLong, CQvListCtrl::eColText, CQvListCtrl::eColDate,
                             CQvListCtrl::eColBool};
        const int widths[] = {95, 45, 130, 90, 80};
        participants.QvInsertColumn(5, 809, types, widths);
        images.Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 4);
        CBitmap strip;
        strip.CreateBitmap(48, 16, 1, 32, nullptr);
        {
            CDC dc;
            dc.CreateCompatibleDC(nullptr);
            CBitmap* old = dc.SelectObject(&strip);
            dc.FillSolidRect(0, 0, 48, 16, RGB(255, 255, 255));
            const COLORREF colours[] = {RGB(40, 160, 40), RGB(230, 160, 0), RGB(200, 40, 40)};
            for (int i = 0; i < 3; ++i) {
                CBrush b(colours[i]);
                CPen p(PS_SOLID, 1, colours[i]);
                CGdiObject* ob = dc.SelectObject(&b);
                CPen* op = dc.SelectObject(&p);
                dc.Ellipse(i * 16 + 3, 3, i * 16 + 13, 13);
                dc.SelectObject(ob);
                dc.SelectObject(op);
            }
            dc.SelectObject(old);
        }
        images.Add(&strip, RGB(255, 255, 255));
        participants.SetImageList(&images, LVSIL_SMALL);
        struct Row {
            const wchar_t* status;
            long rank;
            const wchar_t* name;
            int day;
            BOOL excused;
            int image;
        } rows[] = {{L"angemeldet", 3, L"Ammann Peter", 4, FALSE, 0},
                    {L"Warteliste", 5, L"Bühler Käthi", 9, TRUE, 1},
                    {L"angemeldet", 2, L"Gämperle Jürg", 12, FALSE, 0},
                    {L"abgemeldet", 7, L"Müller Anna", 15, FALSE, 2},
                    {L"angemeldet", 1, L"Zürcher Fritz", 21, FALSE, 0}};
        for (const Row& r : rows) {
            CQvListItem* item = nullptr;
            participants.QvAddItem(item, TRUE);
            item->SetColumnText(0, r.status);
            item->SetColumnLong(1, r.rank);
            item->SetColumnText(2, r.name);
            item->SetColumnDate(3, COleDateTime(2024, 3, r.day, 19, 0, 0), 1, 0);
            item->SetColumnBool(4, r.excused);
            item->SetImage(r.image);
            if (r.image == 2) item->SetRowTextColor(RGB(128, 128, 128));
            if (std::wstring(r.name).find(L"Käthi") != std::wstring::npos) item->SetColumnTextColor(2, RGB(192, 0, 0));
            item->SetColumnLink(2, L"1;42");
            item->Unlock();
        }
        participants.ShowStatusLine(TRUE);
        participants.QvSort(2, TRUE);
        participants.QvSetSelection(1);
        SetDlgItemText(1010, L"Atemschutz Grundkurs 2024 / 1");
        AddToolTipText(1030, L"Person zur Austragung hinzufügen");
        return TRUE;
    }
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) {
        if (wnd && wnd->GetDlgCtrlID() == kStatusLine) {
            dc->SetBkMode(TRANSPARENT);
            return statusBrush;
        }
        return CQvDialog::OnCtlColor(dc, wnd, ctlColor);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(SampleDlg, CQvDialog)
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

TEST_F(CommonUi, ASampleWindowIsDrawnWithItsListTabsButtonsAndStatusLine) {
    RegisterSample();
    SampleDlg dlg;
    ASSERT_TRUE(dlg.Create(kSample));
    dlg.ShowWindow(SW_SHOW);
    Pump();
    const char* out = std::getenv("QV_SAMPLE_PNG");
    const std::string path = out && *out ? std::string(out) : dir.file("sample.png");
    ASSERT_TRUE(SavePng(dlg, path));
    QImage picture(QString::fromStdString(path));
    ASSERT_FALSE(picture.isNull());
    CRect client;
    dlg.GetClientRect(&client);
    EXPECT_GT(picture.width(), client.Width()) << "the window has its frame";
    // The status line is yellow, the dialog beige, and the tabs show their labels.
    CRect status;
    dlg.GetDlgItem(kStatusLine)->GetClientRect(&status);
    EXPECT_EQ(PixelAt(Item(dlg, kStatusLine), status.Width() - 4, status.Height() / 2), RGB(255, 255, 0));
    EXPECT_EQ(PixelAt(dlg, client.Width() - 2, 3), RGB(236, 233, 216));
    EXPECT_EQ(TabLabels(dlg.tabs), (std::vector<std::wstring>{L"Teilnehmer", L"Instruktoren"}));
    EXPECT_EQ(Cell(dlg.participants, 0, 2), L"Ammann Peter");
    EXPECT_TRUE(RowSelected(dlg.participants, 1));
    EXPECT_FALSE(Enabled(Item(dlg, 1038)));
}

}  // namespace
