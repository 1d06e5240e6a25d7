// The result list as the forms use it day to day: rows removed with their items, tool tips per
// column, a selection kept when the user clicks beside the rows, parameters of any kind, and the
// remembered sort applied to rows that a worker delivers.
#include "qvlistctrl.h"
#include "scripted.h"
#include "strtable.h"
#include "tempdir.h"
#include "uidriver.h"
#include <gtest/gtest.h>
#include <atomic>
#include <thread>

namespace {

using namespace qv::ui::test;

HINSTANCE Module() {
    static int tag;
    return reinterpret_cast<HINSTANCE>(&tag);
}

enum : UINT { kHeaders = 820, kList = 77 };
const wchar_t kKey[] = L"Software\\Qovaro\\NQ2\\KursView\\ResultatList";

// The form holding the list: it hears of removed rows and may read them while it does.
class Holder : public CWnd {
public:
    std::vector<std::wstring> removedNames;
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) override {
        const auto* nm = reinterpret_cast<const NMLISTVIEW*>(lp);
        if (nm->hdr.code == LVN_DELETEITEM) {
            const auto* item = reinterpret_cast<const CQvListItem*>(nm->lParam);
            removedNames.push_back(item ? std::wstring(item->GetColumnText(0).GetString()) : L"?");
        }
        return CWnd::OnNotify(wp, lp, result);
    }
};

const int kTypes[] = {CQvListCtrl::eColText, CQvListCtrl::eColLong, CQvListCtrl::eColText};
const int kTips[] = {CQvListCtrl::eTipTruncated, CQvListCtrl::eTipNone, CQvListCtrl::eTipAlways};
const int kWidths[] = {70, 50, 120};

class Results : public ::testing::Test {
protected:
    void SetUp() override {
        qv::ui::EnsureApplication();
        script.OnFailure([](const std::string& m) { ADD_FAILURE() << "interaction: " << m; });
        previous = qv::SetInteraction(&script);
        AfxSetResourceHandle(Module());
        qv::RegisterStringTable(Module(), {{kHeaders, L"Name"}, {kHeaders + 1, L"Punkte"}, {kHeaders + 2, L"Bemerkung"}});
        ASSERT_TRUE(holder.CreateEx(0, AfxRegisterWndClass(0), L"Resultate", WS_OVERLAPPED, CRect(0, 0, 400, 300), nullptr, 0));
        ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                                CRect(0, 0, 380, 260), &holder, kList));
        list.QvSetRegistryKey(kKey);
        ASSERT_TRUE(list.QvInsertColumn(3, kHeaders, kTypes, kWidths, nullptr, kTips));
        holder.ShowWindow(SW_SHOW);
    }
    void TearDown() override {
        EXPECT_EQ(script.Pending(), 0u);
        qv::SetInteraction(previous);
        Pump();
    }
    CQvListItem* Add(const wchar_t* name, long points, const wchar_t* remark, long id) {
        CQvListItem* item = nullptr;
        EXPECT_TRUE(list.QvAddItem(item, TRUE));
        item->SetColumnText(0, name);
        item->SetColumnLong(1, points);
        item->SetColumnText(2, remark);
        item->SetParam(0, id);
        item->Unlock();
        return item;
    }
    qvtest::TempDir dir;
    qvtest::ScopedEnv registry{"QV_REGISTRY", dir.file("registry.db")};
    qv::ScriptedInteraction script;
    qv::IInteraction* previous = nullptr;
    Holder holder;
    CQvListCtrl list;
};

TEST_F(Results, ARemovedRowTakesItsItemAlongAfterTheFormHeardOfIt) {
    Add(L"Frei", 12, L"", 1);
    Add(L"Brunner", 30, L"", 2);
    Add(L"Keller", 21, L"", 3);
    list.ShowStatusLine(TRUE);
    ASSERT_TRUE(list.QvDeleteItem(1));
    EXPECT_EQ(holder.removedNames, std::vector<std::wstring>{L"Brunner"}) << "the form could still read the item";
    EXPECT_EQ(list.GetInsertedItemCount(), 2) << "the item is gone from the order of adding too";
    EXPECT_EQ(list.QvGetInsertedListItem(1)->GetColumnText(0), L"Keller");
    EXPECT_EQ(list.QvGetInsertedListItem(1)->GetIndex(), 1);
    EXPECT_EQ(Rows(list.m_hWnd), 2);

    // Removing through the plain list works alike.
    ASSERT_TRUE(list.DeleteItem(0));
    EXPECT_EQ(list.GetInsertedItemCount(), 1);
    EXPECT_EQ(holder.removedNames.back(), L"Frei");
    EXPECT_FALSE(list.QvDeleteItem(5));

    // Several rows at once, named in any order: each is heard of, the others keep their order.
    Add(L"Ammann", 1, L"", 10);
    Add(L"Bieri", 2, L"", 11);
    Add(L"Casutt", 3, L"", 12);
    EXPECT_EQ(list.QvDeleteItems({3, 1, 3}), 2);
    EXPECT_EQ(std::vector<std::wstring>(holder.removedNames.end() - 2, holder.removedNames.end()),
              (std::vector<std::wstring>{L"Ammann", L"Casutt"}));
    ASSERT_EQ(Rows(list.m_hWnd), 2);
    EXPECT_EQ(Cell(list.m_hWnd, 0, 0), L"Keller");
    EXPECT_EQ(Cell(list.m_hWnd, 1, 0), L"Bieri");
    EXPECT_EQ(list.GetInsertedItemCount(), 2);
    EXPECT_EQ(list.QvGetInsertedListItem(1)->GetColumnText(0), L"Bieri");

    Add(L"Zürcher", 8, L"", 4);
    ASSERT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(list.GetInsertedItemCount(), 0);
    EXPECT_EQ(Rows(list.m_hWnd), 0);
    EXPECT_EQ(holder.removedNames.size(), 7u);
    EXPECT_EQ(list.QvGetInsertedListItem(0), nullptr);
    EXPECT_EQ(list.QvGetVisibleListItem(0), nullptr);

    // A form that keeps nothing per row is not told row by row; the list is emptied and filled
    // again all the same.
    list.m_bTellEachRemovedRow = FALSE;
    Add(L"Ammann", 1, L"", 10);
    Add(L"Bieri", 2, L"", 11);
    ASSERT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(holder.removedNames.size(), 7u);
    EXPECT_EQ(Rows(list.m_hWnd), 0);
    EXPECT_EQ(list.GetInsertedItemCount(), 0);
    Add(L"Casutt", 3, L"", 12);
    ASSERT_EQ(Rows(list.m_hWnd), 1);
    EXPECT_EQ(Cell(list.m_hWnd, 0, 0), L"Casutt");
    EXPECT_EQ(list.QvGetInsertedListItem(0)->GetColumnText(0), L"Casutt");
    // Nor when many rows go at once.
    CQvListItem* dahinden = Add(L"Dahinden", 4, L"", 13);
    Add(L"Egli", 5, L"", 14);
    EXPECT_EQ(list.QvDeleteItems({0, 2}), 2);
    EXPECT_EQ(holder.removedNames.size(), 7u);
    std::vector<CQvListItem*> shown;
    list.QvGetVisibleListItems(shown);
    EXPECT_EQ(shown, std::vector<CQvListItem*>{dahinden});
    EXPECT_EQ(list.GetInsertedItemCount(), 1);
    EXPECT_EQ(list.QvGetInsertedListItem(0), dahinden);

    // Many rows removed one by one from the front: the rest keep the order they were added in.
    for (int i = 0; i < 150; ++i) Add(std::to_wstring(i).c_str(), i, L"", 100 + i);
    for (int i = 0; i < 120; ++i) ASSERT_TRUE(list.QvDeleteItem(1));
    EXPECT_EQ(list.GetInsertedItemCount(), 31);
    EXPECT_EQ(list.QvGetInsertedListItem(0), dahinden);
    EXPECT_EQ(list.QvGetInsertedListItem(1)->GetColumnText(0), L"120");
    EXPECT_EQ(list.QvGetInsertedListItem(1)->GetIndex(), 1);
    EXPECT_EQ(list.QvGetInsertedListItem(30)->GetColumnText(0), L"149");
    EXPECT_EQ(list.QvGetInsertedListItem(31), nullptr);
    EXPECT_EQ(list.QvGetVisibleListItem(31), nullptr);
    EXPECT_EQ(list.QvGetVisibleListItem(-1), nullptr);
}

TEST_F(Results, ColumnsShowToolTipsAsTheyWereMade) {
    Add(L"Aeschbacher-Hinterberger", 12, L"ok", 1);
    Add(L"Frei", 30, L"", 2);
    EXPECT_EQ(CellToolTip(list.m_hWnd, 0, 0), L"Aeschbacher-Hinterberger") << "a cut text shows whole";
    EXPECT_EQ(CellToolTip(list.m_hWnd, 1, 0), L"") << "a text that fits needs no tip";
    EXPECT_EQ(CellToolTip(list.m_hWnd, 0, 1), L"") << "a column without tips";
    EXPECT_EQ(CellToolTip(list.m_hWnd, 0, 2), L"ok") << "a column that always tips";
    EXPECT_EQ(CellToolTip(list.m_hWnd, 1, 2), L"") << "but not for an empty cell";
    list.SetColumnWidth(0, 300);
    EXPECT_EQ(CellToolTip(list.m_hWnd, 0, 0), L"") << "widened, the text fits";

    // Columns as they were made: widths given, numbers to the right, texts to the left.
    EXPECT_EQ(list.GetColumnWidth(1), 50);
    LVCOLUMNW col;
    col.mask = LVCF_FMT;
    ASSERT_TRUE(list.GetColumn(1, &col));
    EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_RIGHT);
    ASSERT_TRUE(list.GetColumn(2, &col));
    EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    EXPECT_FALSE(list.QvInsertColumn(-1, kHeaders));
    EXPECT_EQ(Columns(list.m_hWnd), 3) << "refused, the columns stay";
    // Made anew: the old columns go; a format given wins; a width not given fits the heading.
    const int formats[] = {LVCFMT_CENTER, LVCFMT_LEFT};
    ASSERT_TRUE(list.QvInsertColumn(2, kHeaders, kTypes, nullptr, formats));
    EXPECT_EQ(Columns(list.m_hWnd), 2);
    ASSERT_TRUE(list.GetColumn(0, &col));
    EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_CENTER);
    ASSERT_TRUE(list.GetColumn(1, &col));
    EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    EXPECT_EQ(list.GetColumnWidth(1), std::max(60, list.GetStringWidth(L"Punkte") + 24));
    EXPECT_EQ(list.GetColumnType(1), CQvListCtrl::eColLong);
    EXPECT_EQ(list.GetColumnType(2), CQvListCtrl::eColText) << "beyond the columns: text";
    EXPECT_EQ(list.GetColumnType(-1), CQvListCtrl::eColText);
    EXPECT_EQ(CellToolTip(list.m_hWnd, 0, 1), L"") << "no tips unless asked for";
    CQvListCtrl unmade;
    EXPECT_FALSE(unmade.QvInsertColumn(1, kHeaders));
}

TEST_F(Results, AClickBesideTheRowsKeepsTheRowWhenTheListIsToldSo) {
    Add(L"Frei", 12, L"", 1);
    Add(L"Brunner", 30, L"", 2);
    QWidget* view = Widget(list.m_hWnd);
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(SelectRow(list.m_hWnd, 1));
    ASSERT_TRUE(ClickAt(list.m_hWnd, 20, 230));
    EXPECT_EQ(list.GetSelectedCount(), 0u) << "as the system does, a click beside the rows drops the row";

    list.m_bKeepSelection = TRUE;
    ASSERT_TRUE(SelectRow(list.m_hWnd, 1));
    ASSERT_TRUE(ClickAt(list.m_hWnd, 20, 230));
    EXPECT_EQ(list.GetSelectedCount(), 1u);
    EXPECT_TRUE(RowSelected(list.m_hWnd, 1));
    long id = 0;
    EXPECT_TRUE(list.QvGetSelParamValue(0, id));
    EXPECT_EQ(id, 2);
    ASSERT_TRUE(SelectRow(list.m_hWnd, 0));
    ASSERT_TRUE(ClickAt(list.m_hWnd, 20, 230));
    EXPECT_TRUE(RowSelected(list.m_hWnd, 0)) << "the first row too";
}

TEST_F(Results, ParametersOfAnyKindComeBackAsTheyWereGiven) {
    CQvListItem* item = Add(L"Frei", 12, L"", 1);
    item->SetParam(1, COleVariant(L"K-2024-17"));
    COleVariant none;
    item->SetParam(2, none);
    COleVariant back;
    ASSERT_TRUE(item->GetParam(1, back));
    EXPECT_EQ(back.vt, VT_BSTR);
    EXPECT_STREQ(back.bstrVal, L"K-2024-17");
    ASSERT_TRUE(item->GetParam(0, back));
    EXPECT_EQ(back.vt, VT_I4);
    EXPECT_EQ(back.lVal, 1);
    EXPECT_TRUE(item->GetParam(2, back)) << "an empty value is still a parameter";
    EXPECT_EQ(back.vt, VT_EMPTY);
    long number = -1;
    EXPECT_FALSE(item->GetParam(1, &number)) << "a text that is no number gives no number";
    EXPECT_EQ(number, -1);
    EXPECT_FALSE(item->GetParam(3, back));
    // Given again, a parameter takes the new value and kind.
    item->SetParam(1, 5L);
    EXPECT_TRUE(item->GetParam(2, back)) << "the others stay";
    item->SetParam(0, COleVariant(L"K-1"));
    ASSERT_TRUE(item->GetParam(1, &number));
    EXPECT_EQ(number, 5);
    ASSERT_TRUE(item->GetParam(0, back));
    EXPECT_EQ(back.vt, VT_BSTR);
    item->SetParam(-1, 9L);
    EXPECT_FALSE(item->GetParam(-1, back)) << "no parameter before the first";

    // Texts of any length and columns far to the right are kept, beside the parameters.
    const std::wstring remark(300, L'\u00e4');
    item->SetColumnText(40, L"weit");
    item->SetColumnText(2, remark.c_str());
    EXPECT_EQ(std::wstring(item->GetColumnText(2).GetString()), remark);
    EXPECT_EQ(Cell(list.m_hWnd, 0, 2), remark);
    EXPECT_EQ(item->GetColumnText(40), L"weit");
    EXPECT_EQ(item->GetColumnText(8), L"");
    EXPECT_EQ(item->GetColumnText(-1), L"");
    item->SetColumnText(2, L"kurz");
    EXPECT_EQ(item->GetColumnText(2), L"kurz");
    EXPECT_EQ(item->GetColumnText(40), L"weit");
    EXPECT_EQ(Cell(list.m_hWnd, 0, 2), L"kurz");
    EXPECT_EQ(Cell(list.m_hWnd, 0, 1), L"12");
    ASSERT_TRUE(item->GetParam(1, &number));
    EXPECT_EQ(number, 5);
    item->SetColumnDouble(1, 2.5, nullptr);
    EXPECT_EQ(Cell(list.m_hWnd, 0, 1), L"2.5");
    COleDateTime evening(2024, 3, 7, 18, 30, 0);
    item->SetColumnDate(0, evening, 0, 1);
    EXPECT_EQ(Cell(list.m_hWnd, 0, 0), L"18:30") << "the time alone";
    item->SetColumnBool(0, FALSE);
    EXPECT_EQ(Cell(list.m_hWnd, 0, 0), L"Nein");
    // Locked twice, shown when unlocked twice.
    item->Lock();
    item->Lock();
    item->SetColumnText(0, L"Frei");
    item->Unlock();
    EXPECT_TRUE(item->IsLocked());
    EXPECT_EQ(Cell(list.m_hWnd, 0, 0), L"Nein");
    item->Unlock();
    EXPECT_FALSE(item->IsLocked());
    EXPECT_EQ(Cell(list.m_hWnd, 0, 0), L"Frei");
    item->Unlock();
    EXPECT_FALSE(item->IsLocked()) << "never below zero";
    item->SetImage(2);
    LVITEMW it;
    it.mask = LVIF_IMAGE;
    it.iItem = 0;
    ASSERT_TRUE(list.GetItem(&it));
    EXPECT_EQ(it.iImage, 2);
    item->SetImage(-1);
    ASSERT_TRUE(list.GetItem(&it));
    EXPECT_EQ(it.iImage, -1);
}

TEST_F(Results, RowsFromAWorkerFollowTheRememberedSort) {
    Add(L"x", 1, L"", 0);
    list.QvSort(1, FALSE);
    ASSERT_TRUE(list.QvSaveLayout());
    list.DeleteAllItems();

    // Another list under the same key, filled by a worker: the sort chosen before holds.
    CQvListCtrl again;
    ASSERT_TRUE(again.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT, CRect(0, 0, 380, 260), &holder, kList + 1));
    again.QvSetRegistryKey(kKey);
    ASSERT_TRUE(again.QvInsertColumn(3, kHeaders, kTypes));
    std::atomic<bool> done{false};
    std::thread worker([&] {
        // The layer forwards this thread's calls to the GUI thread: what is tested here.
        qv::ui::AllowForeignThreadCalls allow;
        for (long points : {5L, 40L, 12L, 7L}) {
            CQvListItem* item = nullptr;
            if (!again.QvAddItem(item, TRUE)) break;
            item->SetColumnText(0, std::to_wstring(points).c_str());
            item->SetColumnLong(1, points);
            item->Unlock();
        }
        again.QvSort();
        done = true;
    });
    ASSERT_TRUE(WaitFor([&] { return done.load(); }, 20000));
    worker.join();
    EXPECT_EQ(again.QvGetSortColumn(), 1);
    EXPECT_FALSE(again.QvGetSortAscending());
    ASSERT_EQ(Rows(again.m_hWnd), 4);
    EXPECT_EQ(Cell(again.m_hWnd, 0, 1), L"40");
    EXPECT_EQ(Cell(again.m_hWnd, 3, 1), L"5");
    EXPECT_EQ(again.QvGetInsertedListItem(0)->GetIndex(), 3) << "the first added, with the fewest points, is last";
}

TEST_F(Results, ItemsMadeAwayFromTheWindowAreShownOrDroppedInAnyOrder) {
    std::vector<CQvListItem*> made;
    for (const wchar_t* name : {L"Ammann", L"Bieri", L"Casutt", L"Dahinden", L"Egli"}) {
        made.push_back(list.QvCreateItem());
        made.back()->SetColumnText(0, name);
    }
    EXPECT_EQ(Rows(list.m_hWnd), 0) << "made, not shown";
    EXPECT_EQ(::SendMessageW(list.m_hWnd, LVM_QV_SETTEXTPROVIDER, 0, 0), TRUE);
    EXPECT_EQ(::SendMessageW(list.m_hWnd, LVM_QV_SETTEXTPROVIDER, 0, 0), TRUE) << "the same again";
    EXPECT_EQ(list.QvInsertCreatedItems({made[2], made[0]}), 2);
    list.QvDiscardCreatedItem(made[1]);
    EXPECT_EQ(list.QvInsertCreatedItems({made[4], made[3], made[0]}), 2) << "one already shown";
    // An item another list made is not this list's to show.
    CQvListCtrl other;
    EXPECT_FALSE(list.QvInsertCreatedItem(other.QvCreateItem()));
    ASSERT_EQ(Rows(list.m_hWnd), 4);
    const wchar_t* shown[] = {L"Casutt", L"Ammann", L"Egli", L"Dahinden"};
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(Cell(list.m_hWnd, row, 0), shown[row]);
        EXPECT_EQ(list.QvGetInsertedListItem(row)->GetColumnText(0), shown[row]);
    }
    EXPECT_EQ(list.GetInsertedItemCount(), 4);
    // Made items are taken in any order, also after many were taken.
    made.clear();
    for (int i = 0; i < 40; ++i) {
        made.push_back(list.QvCreateItem());
        made.back()->SetColumnText(0, std::to_wstring(i).c_str());
    }
    for (int i = 39; i >= 0; i -= 2) ASSERT_TRUE(list.QvInsertCreatedItem(made[std::size_t(i)]));
    for (int i = 0; i < 40; i += 2) ASSERT_TRUE(list.QvInsertCreatedItem(made[std::size_t(i)]));
    ASSERT_EQ(Rows(list.m_hWnd), 44);
    EXPECT_EQ(Cell(list.m_hWnd, 4, 0), L"39");
    EXPECT_EQ(Cell(list.m_hWnd, 24, 0), L"0");
    EXPECT_EQ(Cell(list.m_hWnd, 43, 0), L"38");
}

}  // namespace
