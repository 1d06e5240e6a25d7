// The report list beyond choosing rows: what it tells about removed rows and keys, how its owner
// colours cells, how columns size themselves, where rows are and what is under a point.
#include "ui_fixture.h"
#include <QAbstractItemView>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QTest>

namespace {

using namespace qv::ui::test;

// The owner of a list: keeps its notifications and colours the rows of absent participants.
class Roster : public CWnd {
public:
    std::vector<std::pair<UINT, int>> told;  // code, item
    std::vector<WORD> keys;
    std::vector<LPARAM> deletedData;
    std::vector<std::pair<DWORD, int>> stages;  // draw stage, sub-item
    bool colour = false;
    bool rowsOnly = false;  // the common way: whole rows at the item stage, a bold font for the first
    CFont bold;
    bool vetoChecks = false;
    std::vector<std::pair<int, bool>> checks;  // row, ticked: a box changed (LVN_ITEMCHANGED)
    BOOL quiet = FALSE;  // the answer to LVN_DELETEALLITEMS
    NMITEMACTIVATE lastClick;
    std::vector<std::pair<int, int>> widths;  // column, width told by the header

    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) override {
        const auto* nm = reinterpret_cast<const NMHDR*>(lp);
        switch (nm->code) {
        case LVN_DELETEITEM: {
            const auto* lv = reinterpret_cast<const NMLISTVIEW*>(lp);
            told.push_back({nm->code, lv->iItem});
            deletedData.push_back(lv->lParam);
            return TRUE;
        }
        case LVN_DELETEALLITEMS:
            told.push_back({nm->code, reinterpret_cast<const NMLISTVIEW*>(lp)->iItem});
            *result = quiet;  // FALSE: one LVN_DELETEITEM per row follows
            return TRUE;
        case HDN_ITEMCHANGEDW: {
            const auto* hd = reinterpret_cast<const NMHEADERW*>(lp);
            widths.push_back({hd->iItem, hd->pitem ? hd->pitem->cxy : -1});
            return TRUE;
        }
        case NM_CLICK:
            lastClick = *reinterpret_cast<const NMITEMACTIVATE*>(lp);
            [[fallthrough]];
        case LVN_INSERTITEM:
        case NM_RCLICK:
        case NM_RETURN:
            told.push_back({nm->code, nm->code == LVN_INSERTITEM ? reinterpret_cast<const NMLISTVIEW*>(lp)->iItem
                                       : nm->code == NM_RETURN   ? -1
                                                                 : reinterpret_cast<const NMITEMACTIVATE*>(lp)->iItem});
            return TRUE;
        case LVN_KEYDOWN:
            keys.push_back(reinterpret_cast<const NMLVKEYDOWN*>(lp)->wVKey);
            return TRUE;
        case LVN_ITEMCHANGED: {
            const auto* lv = reinterpret_cast<const NMLISTVIEW*>(lp);
            if ((lv->uChanged & LVIF_STATE) && ((lv->uNewState ^ lv->uOldState) & LVIS_STATEIMAGEMASK))
                checks.push_back({lv->iItem, (lv->uNewState & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2)});
            return CWnd::OnNotify(wp, lp, result);
        }
        case LVN_ITEMCHANGING: {
            const auto* lv = reinterpret_cast<const NMLISTVIEW*>(lp);
            *result = vetoChecks && (lv->uChanged & LVIF_STATE) &&
                      ((lv->uNewState ^ lv->uOldState) & LVIS_STATEIMAGEMASK);
            return TRUE;
        }
        case NM_CUSTOMDRAW: {
            auto* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(lp);
            stages.push_back({cd->nmcd.dwDrawStage, cd->iSubItem});
            if (!colour) {
                *result = CDRF_DODEFAULT;
                return TRUE;
            }
            if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) *result = CDRF_NOTIFYITEMDRAW;
            else if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && rowsOnly) {
                cd->clrText = cd->nmcd.dwItemSpec == 3 ? RGB(0, 0, 160) : RGB(90, 90, 90);
                if (cd->nmcd.dwItemSpec == 2) cd->clrTextBk = RGB(220, 240, 255);
                *result = CDRF_DODEFAULT;
                if (cd->nmcd.dwItemSpec == 0) {
                    if (!bold.m_hObject) bold.CreateFont(-12, 0, 0, 0, FW_BOLD, FALSE, FALSE, 0, 0, 0, 0, 0, 0, L"Arial");
                    ::SelectObject(cd->nmcd.hdc, bold.m_hObject);
                    *result = CDRF_NEWFONT;
                }
            } else if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) *result = CDRF_NOTIFYSUBITEMDRAW;
            else if (cd->nmcd.dwDrawStage == (CDDS_ITEMPREPAINT | CDDS_SUBITEM)) {
                if (cd->nmcd.lItemlParam == 2) cd->clrText = RGB(180, 0, 0);  // absent
                if (cd->iSubItem == 1) cd->clrTextBk = RGB(255, 255, 200);
                *result = CDRF_DODEFAULT;
            }
            return TRUE;
        }
        default:
            return CWnd::OnNotify(wp, lp, result);
        }
    }
    std::size_t Count(UINT code) const {
        return std::size_t(std::count_if(told.begin(), told.end(), [code](const auto& t) { return t.first == code; }));
    }
};

class ListView : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ASSERT_TRUE(roster.CreateEx(0, AfxRegisterWndClass(0), L"Teilnehmer", WS_OVERLAPPED, CRect(0, 0, 500, 300), nullptr, 0));
        ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS, CRect(0, 0, 480, 260), &roster, 77));
        list.SetExtendedStyle(LVS_EX_FULLROWSELECT);
        list.InsertColumn(0, L"Name", LVCFMT_LEFT, 120);
        list.InsertColumn(1, L"Ort", LVCFMT_LEFT, 100);
        list.InsertColumn(2, L"Punkte", LVCFMT_RIGHT, 60);
        const wchar_t* names[] = {L"Keller", L"Brunner", L"Frei", L"Zürcher"};
        const wchar_t* places[] = {L"Aarau", L"Baden", L"Brugg", L"Wohlen"};
        EXPECT_TRUE(list.SetItemCount(4)) << "room made ahead";
        for (int i = 0; i < 4; ++i) {
            list.InsertItem(LVIF_TEXT | LVIF_PARAM, i, names[i], 0, 0, 0, i + 1);
            list.SetItemText(i, 1, places[i]);
            list.SetItemText(i, 2, std::to_wstring(10 * (i + 1)).c_str());
        }
        roster.ShowWindow(SW_SHOW);
        roster.told.clear();
    }
    Roster roster;
    CListCtrl list;
};

TEST_F(ListView, RemovedRowsAreToldOneByOneWithTheirData) {
    ASSERT_TRUE(list.DeleteItem(1));
    ASSERT_EQ(roster.Count(LVN_DELETEITEM), 1u);
    EXPECT_EQ(roster.told.back().second, 1);
    EXPECT_EQ(roster.deletedData, std::vector<LPARAM>{2}) << "the owner may free what the row held";
    EXPECT_FALSE(list.DeleteItem(7));
    EXPECT_FALSE(list.DeleteItem(3)) << "one past the last";
    EXPECT_EQ(roster.Count(LVN_DELETEITEM), 1u) << "nothing is told for a row that is not there";

    roster.told.clear();
    roster.deletedData.clear();
    ASSERT_TRUE(list.DeleteAllItems());
    ASSERT_FALSE(roster.told.empty());
    EXPECT_EQ(roster.told.front(), std::make_pair(UINT(LVN_DELETEALLITEMS), -1)) << "first the whole, then each row";
    EXPECT_EQ(roster.Count(LVN_DELETEITEM), 3u);
    EXPECT_EQ(roster.deletedData, (std::vector<LPARAM>{1, 3, 4}));
    EXPECT_EQ(list.GetItemCount(), 0);
    roster.told.clear();
    EXPECT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(roster.Count(LVN_DELETEALLITEMS), 1u) << "told also for an empty list";
    EXPECT_EQ(list.InsertItem(0, L"Neu"), 0);
    EXPECT_EQ(roster.Count(LVN_INSERTITEM), 1u);

    // Many rows at once, quietly: the owner took back what they held; the others keep their order.
    for (int i = 1; i <= 4; ++i) list.InsertItem(LVIF_TEXT | LVIF_PARAM, i, L"Neu", 0, 0, 0, 10 + i);
    roster.told.clear();
    roster.deletedData.clear();
    const int told[] = {4, 2};
    EXPECT_EQ(::SendMessageW(list.m_hWnd, LVM_QV_DELETEROWS, 2, reinterpret_cast<LPARAM>(told)), 2);
    EXPECT_EQ(roster.told, (std::vector<std::pair<UINT, int>>{{LVN_DELETEITEM, 2}, {LVN_DELETEITEM, 3}}))
        << "each by the index it has while the earlier ones go";
    EXPECT_EQ(roster.deletedData, (std::vector<LPARAM>{12, 14}));
    list.InsertItem(LVIF_TEXT | LVIF_PARAM, 2, L"Neu", 0, 0, 0, 12);
    list.InsertItem(LVIF_TEXT | LVIF_PARAM, 4, L"Neu", 0, 0, 0, 14);
    roster.told.clear();
    const int gone[] = {3, 0, 3, 9};
    EXPECT_EQ(::SendMessageW(list.m_hWnd, LVM_QV_DELETEROWSQUIETLY, 4, reinterpret_cast<LPARAM>(gone)), 2);
    EXPECT_EQ(roster.Count(LVN_DELETEITEM), 0u);
    list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    LVQVROWINFO rows[4];
    ASSERT_EQ(::SendMessageW(list.m_hWnd, LVM_QV_GETROWS, 2, reinterpret_cast<LPARAM>(rows)), 3) << "all rows counted";
    EXPECT_EQ(rows[0].lParam, 11);
    EXPECT_EQ(rows[1].lParam, 12);
    EXPECT_EQ(rows[1].state & LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(rows[2].lParam, 0) << "nothing written beyond the room given";
    EXPECT_EQ(list.GetItemData(2), DWORD_PTR(14));

    // The list destroyed with its rows: the whole first, then each row, unless the owner wants
    // no word per row.
    roster.told.clear();
    roster.deletedData.clear();
    roster.quiet = TRUE;
    ASSERT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(roster.told, (std::vector<std::pair<UINT, int>>{{LVN_DELETEALLITEMS, -1}}));
    for (int i = 0; i < 3; ++i) list.InsertItem(LVIF_TEXT | LVIF_PARAM, i, L"Neu", 0, 0, 0, 20 + i);
    CListCtrl other;
    ASSERT_TRUE(other.Create(WS_CHILD | LVS_REPORT, CRect(0, 0, 100, 100), &roster, 78));
    other.InsertColumn(0, L"Name", LVCFMT_LEFT, 80);
    other.InsertItem(LVIF_TEXT | LVIF_PARAM, 0, L"Andere", 0, 0, 0, 30);
    roster.told.clear();
    ASSERT_TRUE(other.DestroyWindow());
    EXPECT_EQ(roster.told, (std::vector<std::pair<UINT, int>>{{LVN_DELETEALLITEMS, -1}}));
    roster.quiet = FALSE;
    roster.told.clear();
    ASSERT_TRUE(list.DestroyWindow());
    EXPECT_EQ(roster.told.front(), std::make_pair(UINT(LVN_DELETEALLITEMS), -1));
    EXPECT_EQ(roster.Count(LVN_DELETEITEM), 3u);
    EXPECT_EQ(roster.deletedData, (std::vector<LPARAM>{20, 21, 22}));
}

// A slice of rows added to a long list costs what the slice costs: the view asks the size of no
// row already there nor of each new one (rows of one height: one row's cells are measured).
TEST_F(ListView, RowsAddedToALongListAreNotMeasuredAgainstTheRowsAlreadyThere) {
    struct Counting : QStyledItemDelegate {
        using QStyledItemDelegate::QStyledItemDelegate;
        mutable int asked = 0;
        QSize sizeHint(const QStyleOptionViewItem& o, const QModelIndex& i) const override {
            ++asked;
            return QStyledItemDelegate::sizeHint(o, i);
        }
    };
    auto* view = qobject_cast<QAbstractItemView*>(Widget(list.m_hWnd));
    ASSERT_NE(view, nullptr);
    std::vector<LVQVROW> many(10000);
    const wchar_t* texts[] = {L"Keller", L"Aarau", L"10"};
    for (LVQVROW& row : many) row.cTexts = 3, row.pszTexts = texts;
    ASSERT_EQ(::SendMessageW(list.m_hWnd, LVM_QV_INSERTROWS, many.size(), reinterpret_cast<LPARAM>(many.data())), 4);
    Pump();
    auto* counting = new Counting(view);
    view->setItemDelegate(counting);
    Pump();
    counting->asked = 0;
    for (int i = 0; i < 100; ++i) list.InsertItem(LVIF_TEXT | LVIF_PARAM, list.GetItemCount(), L"Neu", 0, 0, 0, i);
    Pump();
    EXPECT_LE(counting->asked, 3) << "one by one: one row's cells measured, not the rows'";
    counting->asked = 0;
    ASSERT_GE(::SendMessageW(list.m_hWnd, LVM_QV_INSERTROWS, 100, reinterpret_cast<LPARAM>(many.data())), 0);
    Pump();
    EXPECT_LE(counting->asked, 3) << "as a slice";
    EXPECT_EQ(list.GetItemCount(), 10204);
    EXPECT_EQ(list.GetItemText(10204 - 1, 1), L"Aarau");
    view->setItemDelegate(nullptr);
    delete counting;
}

TEST_F(ListView, KeysClicksAndReturnReachTheOwner) {
    ASSERT_TRUE(SelectRow(list, 0));
    EXPECT_EQ(roster.Count(NM_CLICK), 1u);
    EXPECT_EQ(roster.told.back().second, 0) << "the click names its row";
    ASSERT_TRUE(PressKey(list.m_hWnd, VK_DOWN));
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 1) << "the arrow moves the selection";
    ASSERT_TRUE(PressKey(list.m_hWnd, VK_DELETE));
    EXPECT_EQ(roster.keys, (std::vector<WORD>{WORD(VK_DOWN), WORD(VK_DELETE)}));
    ASSERT_TRUE(PressKey(list.m_hWnd, VK_RETURN));
    EXPECT_EQ(roster.Count(NM_RETURN), 1u);
    EXPECT_EQ(list.GetItemCount(), 4) << "the list deletes nothing by itself";
    ASSERT_TRUE(ClickCell(list.m_hWnd, 2, 1, Qt::ControlModifier));
    EXPECT_EQ(roster.lastClick.iItem, 2);
    EXPECT_EQ(roster.lastClick.iSubItem, 1) << "the click names its cell";
    EXPECT_TRUE(roster.lastClick.uKeyFlags & 0x2u) << "and the ctrl key";
    CRect cell;
    ASSERT_TRUE(list.GetSubItemRect(2, 1, LVIR_BOUNDS, cell));
    EXPECT_TRUE(cell.PtInRect(roster.lastClick.ptAction)) << "the point in the list's own coordinates";
}

TEST_F(ListView, TheOwnerColoursCellsAndIsAskedAtEachStage) {
    roster.colour = true;
    list.RedrawItems(0, 3);
    ASSERT_TRUE(WaitFor([&] { return CellTextColor(list.m_hWnd, 1, 0) == RGB(180, 0, 0); }));
    EXPECT_EQ(CellTextColor(list.m_hWnd, 1, 2), RGB(180, 0, 0)) << "the whole row of the absent one";
    EXPECT_EQ(CellTextColor(list.m_hWnd, 0, 0), CLR_DEFAULT);
    EXPECT_EQ(CellBackColor(list.m_hWnd, 0, 1), RGB(255, 255, 200)) << "one column has a background";
    EXPECT_EQ(CellBackColor(list.m_hWnd, 0, 0), CLR_DEFAULT);
    const auto has = [&](DWORD stage) {
        return std::any_of(roster.stages.begin(), roster.stages.end(), [stage](const auto& s) { return s.first == stage; });
    };
    EXPECT_TRUE(has(CDDS_PREPAINT));
    EXPECT_TRUE(has(CDDS_ITEMPREPAINT));
    EXPECT_TRUE(has(CDDS_ITEMPREPAINT | CDDS_SUBITEM));

    // Colours given for a whole row hold for all its cells; so does a font.
    roster.rowsOnly = true;
    roster.stages.clear();
    list.RedrawItems(0, 3);
    ASSERT_TRUE(WaitFor([&] { return CellTextColor(list.m_hWnd, 3, 0) == RGB(0, 0, 160); }));
    EXPECT_EQ(CellTextColor(list.m_hWnd, 3, 2), RGB(0, 0, 160));
    EXPECT_EQ(CellTextColor(list.m_hWnd, 1, 1), RGB(90, 90, 90));
    EXPECT_TRUE(CellBold(list.m_hWnd, 0, 1));
    EXPECT_EQ(CellBackColor(list.m_hWnd, 2, 0), RGB(220, 240, 255)) << "a row's background reaches every cell";
    EXPECT_EQ(CellBackColor(list.m_hWnd, 2, 2), RGB(220, 240, 255));
    EXPECT_EQ(CellBackColor(list.m_hWnd, 1, 0), CLR_DEFAULT);
    EXPECT_FALSE(CellBold(list.m_hWnd, 1, 1));
    EXPECT_FALSE(has(CDDS_ITEMPREPAINT | CDDS_SUBITEM)) << "cells are not asked when the rows say so";
    roster.rowsOnly = false;

    // An owner that does not ask for items is asked nothing more.
    roster.colour = false;
    list.RedrawItems(0, 3);
    ASSERT_TRUE(WaitFor([&] { return CellTextColor(list.m_hWnd, 1, 0) == CLR_DEFAULT; }));
    roster.stages.clear();
    list.RedrawItems(0, 3);
    Pump();
    EXPECT_FALSE(has(CDDS_ITEMPREPAINT));

    // The list's own colours hold where the owner gives none.
    ASSERT_TRUE(list.SetTextColor(RGB(20, 40, 60)));
    ASSERT_TRUE(list.SetTextBkColor(RGB(250, 250, 210)));
    EXPECT_EQ(CellTextColor(list.m_hWnd, 2, 1), RGB(20, 40, 60));
    EXPECT_EQ(CellBackColor(list.m_hWnd, 2, 1), RGB(250, 250, 210));
    roster.colour = true;
    list.RedrawItems(0, 3);
    EXPECT_EQ(CellTextColor(list.m_hWnd, 1, 0), RGB(180, 0, 0)) << "the owner's colour wins";
    EXPECT_EQ(CellTextColor(list.m_hWnd, 0, 0), RGB(20, 40, 60));
    EXPECT_EQ(CellBackColor(list.m_hWnd, 0, 1), RGB(255, 255, 200));
    roster.colour = false;
    list.SetTextBkColor(CLR_NONE);
    EXPECT_EQ(CellBackColor(list.m_hWnd, 2, 1), CLR_DEFAULT) << "no background of its own";
    ASSERT_TRUE(list.SetBkColor(RGB(230, 240, 250)));
    CRect last;
    ASSERT_TRUE(list.GetItemRect(3, &last, LVIR_BOUNDS));
    EXPECT_EQ(PixelAt(list.m_hWnd, 200, last.bottom + 30), RGB(230, 240, 250)) << "the list's background below the rows";

    // Images from the small list stand in the first column only.
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32, 0, 1));
    QImage red(32, 16, QImage::Format_ARGB32);
    red.fill(QColor(200, 0, 0));
    qv::ui::RegisterBitmap(uitest::Module(), 11208, red);
    CBitmap strip;
    ASSERT_TRUE(strip.LoadBitmap(11208));
    ASSERT_EQ(images.Add(&strip, CLR_NONE), 0);
    EXPECT_EQ(list.SetImageList(&images, LVSIL_SMALL), nullptr) << "none before";
    ASSERT_NE(list.GetImageList(LVSIL_SMALL), nullptr);
    EXPECT_EQ(list.GetImageList(LVSIL_SMALL)->m_hImageList, images.m_hImageList);
    EXPECT_EQ(list.GetImageList(LVSIL_STATE), nullptr);
    list.SetItem(1, 0, LVIF_IMAGE, nullptr, 1, 0, 0, 0);
    LVITEMW it;
    it.mask = LVIF_IMAGE;
    it.iItem = 1;
    ASSERT_TRUE(list.GetItem(&it));
    EXPECT_EQ(it.iImage, 1);
    auto* view = qobject_cast<QAbstractItemView*>(Widget(list.m_hWnd));
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->model()->index(1, 0).data(Qt::DecorationRole).isValid());
    EXPECT_FALSE(view->model()->index(1, 1).data(Qt::DecorationRole).isValid());
    EXPECT_FALSE(view->model()->index(0, 0).data(Qt::DecorationRole).isValid()) << "a row without an image";
    list.SetItem(2, 0, LVIF_IMAGE, nullptr, 2, 0, 0, 0);
    EXPECT_TRUE(view->model()->index(2, 0).data(Qt::DecorationRole).value<QPixmap>().isNull()) << "an image the list does not have";
    list.SetItem(3, 0, LVIF_IMAGE, nullptr, 0, 0, 0, 0);
    EXPECT_TRUE(view->model()->index(3, 0).data(Qt::DecorationRole).isValid()) << "the first image too";
    EXPECT_EQ(list.SetImageList(nullptr, LVSIL_SMALL)->m_hImageList, images.m_hImageList) << "the one before";
    EXPECT_FALSE(view->model()->index(1, 0).data(Qt::DecorationRole).isValid());

    // Rows removed together: the owner's colours move with their rows.
    roster.colour = true;
    list.RedrawItems(0, 3);
    ASSERT_EQ(CellTextColor(list.m_hWnd, 1, 0), RGB(180, 0, 0));
    ASSERT_NE(CellTextColor(list.m_hWnd, 2, 0), RGB(180, 0, 0));
    const int first[] = {0};
    ASSERT_EQ(::SendMessageW(list.m_hWnd, LVM_QV_DELETEROWSQUIETLY, 1, reinterpret_cast<LPARAM>(first)), 1);
    EXPECT_EQ(CellTextColor(list.m_hWnd, 0, 0), RGB(180, 0, 0));
    EXPECT_NE(CellTextColor(list.m_hWnd, 1, 0), RGB(180, 0, 0));
}

TEST_F(ListView, ColumnsSizeToTheirContentOrHeadingAndMayBeChangedAndRemoved) {
    auto* shown = qobject_cast<QAbstractItemView*>(Widget(list.m_hWnd));
    ASSERT_NE(shown, nullptr);
    std::vector<int> refreshed;
    {
        QObject guard;
        QObject::connect(shown->model(), &QAbstractItemModel::dataChanged, &guard,
                         [&](const QModelIndex& from, const QModelIndex&) { refreshed.push_back(from.row()); });
        list.SetItemText(0, 1, L"Aarburg");
        list.SetItemText(0, 1, L"Aarau");
    }
    EXPECT_EQ(refreshed, (std::vector<int>{0, 0})) << "the first row shows each new text";
    list.SetItemText(2, 1, L"Rheinfelden-Augarten");
    ASSERT_TRUE(list.SetColumnWidth(1, LVSCW_AUTOSIZE));
    const int content = list.GetColumnWidth(1);
    EXPECT_GE(content, list.GetStringWidth(L"Rheinfelden-Augarten")) << "the widest text fits";
    EXPECT_LT(content, list.GetStringWidth(L"Rheinfelden-Augarten") + 40);
    list.SetItemText(2, 1, L"Brugg");
    ASSERT_TRUE(list.SetColumnWidth(1, LVSCW_AUTOSIZE_USEHEADER));
    EXPECT_GE(list.GetColumnWidth(1), list.GetStringWidth(L"Ort"));
    EXPECT_LT(list.GetColumnWidth(1), content) << "now the heading is the widest";

    LVCOLUMNW col;
    wchar_t buffer[64] = {};
    col.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
    col.pszText = buffer;
    col.cchTextMax = 64;
    ASSERT_TRUE(list.GetColumn(2, &col));
    EXPECT_STREQ(buffer, L"Punkte");
    EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_RIGHT);
    EXPECT_EQ(col.cx, 60);
    col.mask = LVCF_SUBITEM | LVCF_ORDER;
    ASSERT_TRUE(list.GetColumn(2, &col));
    EXPECT_EQ(col.iSubItem, 2);
    EXPECT_EQ(col.iOrder, 2);
    EXPECT_FALSE(list.GetColumn(3, &col));
    wchar_t one[2] = {L'x', L'x'};
    col.mask = LVCF_TEXT;
    col.pszText = one;
    col.cchTextMax = 1;
    ASSERT_TRUE(list.GetColumn(0, &col));
    EXPECT_EQ(one[0], L'\0') << "room for the end only";
    EXPECT_EQ(list.GetColumnWidth(3), 0);
    EXPECT_EQ(list.GetColumnWidth(-1), 0);

    // The header answers for the same columns; a width the user drags is told through it.
    CHeaderCtrl* header = list.GetHeaderCtrl();
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->GetItemCount(), 3);
    HDITEMW hd;
    wchar_t name[8] = {};
    hd.mask = HDI_TEXT | HDI_WIDTH | HDI_FORMAT | HDI_ORDER;
    hd.pszText = name;
    hd.cchTextMax = 4;
    ASSERT_TRUE(header->GetItem(2, &hd));
    EXPECT_STREQ(name, L"Pun") << "cut to the room given";
    EXPECT_EQ(hd.cxy, 60);
    EXPECT_EQ(hd.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_RIGHT);
    EXPECT_EQ(hd.iOrder, 2);
    EXPECT_FALSE(header->GetItem(3, &hd));
    EXPECT_FALSE(header->GetItem(-1, &hd));
    hd.mask = HDI_WIDTH;
    ASSERT_TRUE(header->GetItem(0, &hd));
    EXPECT_STREQ(name, L"Pun") << "a text not asked for is not written";
    hd.mask = HDI_WIDTH;
    hd.cxy = 70;
    ASSERT_TRUE(header->SetItem(2, &hd));
    EXPECT_EQ(list.GetColumnWidth(2), 70);
    EXPECT_TRUE(roster.widths.empty()) << "the program's widths are not told";
    ASSERT_TRUE(ResizeColumn(list.m_hWnd, 0, 140));
    ASSERT_FALSE(roster.widths.empty());
    EXPECT_EQ(roster.widths.back(), std::make_pair(0, 140));
    EXPECT_EQ(list.GetColumnWidth(0), 140);

    // Numbers stand at the right of their cells, centred texts in the middle.
    LVCOLUMNW centred;
    centred.mask = LVCF_FMT;
    centred.fmt = LVCFMT_CENTER;
    ASSERT_TRUE(list.SetColumn(1, &centred));
    ASSERT_TRUE(list.SetColumnWidth(1, 100));
    EXPECT_EQ(shown->visualRect(shown->model()->index(0, 1)).width(), 100) << "shown at its width";
    auto* view = qobject_cast<QAbstractItemView*>(Widget(list.m_hWnd));
    ASSERT_NE(view, nullptr);
    Pump();
    const QImage rows = view->viewport()->grab().toImage();
    const auto inked = [&](int column, int from, int to) {
        const QRect r = view->visualRect(view->model()->index(0, column));
        for (int x = r.left() + from; x < r.left() + to; ++x)
            for (int y = r.top() + 2; y < r.bottom() - 1; ++y)
                if (rows.pixelColor(x, y).lightness() < 128) return true;
        return false;
    };
    EXPECT_FALSE(inked(2, 2, 40));
    EXPECT_TRUE(inked(2, 40, 68));
    EXPECT_FALSE(inked(1, 2, 20));
    EXPECT_TRUE(inked(1, 30, 70));
    EXPECT_TRUE(inked(0, 2, 30)) << "the rest to the left";
    LVCOLUMNW rename;
    rename.mask = LVCF_TEXT;
    rename.pszText = const_cast<LPWSTR>(L"Note");
    ASSERT_TRUE(list.SetColumn(2, &rename));
    EXPECT_EQ(Header(list.m_hWnd, 2), L"Note");
    EXPECT_FALSE(list.DeleteColumn(5));
    ASSERT_TRUE(list.DeleteColumn(1));
    EXPECT_EQ(Columns(list.m_hWnd), 2);
    EXPECT_EQ(Cell(list.m_hWnd, 0, 1), L"10") << "the texts of later columns move along";
    EXPECT_EQ(list.GetItemText(0, 1), L"10");
    EXPECT_EQ(list.InsertColumn(1, L"Ort", LVCFMT_LEFT, 80), 1);
    EXPECT_EQ(Cell(list.m_hWnd, 0, 2), L"10") << "and move on for a column put before them";
    EXPECT_EQ(Cell(list.m_hWnd, 0, 1), L"");
    EXPECT_EQ(list.InsertColumn(9, L"Bemerkung", LVCFMT_LEFT, 50), 3) << "beyond the last: at the end";
    EXPECT_EQ(Header(list.m_hWnd, 3), L"Bemerkung");
    // The last column sized to its heading reaches to the right edge.
    ASSERT_TRUE(list.SetColumnWidth(3, LVSCW_AUTOSIZE_USEHEADER));
    const int used = list.GetColumnWidth(0) + list.GetColumnWidth(1) + list.GetColumnWidth(2);
    EXPECT_EQ(list.GetColumnWidth(3), view->viewport()->width() - used);
    ASSERT_TRUE(list.SetColumnWidth(1, LVSCW_AUTOSIZE));
    EXPECT_LT(list.GetColumnWidth(1), 20) << "an empty column shrinks";
}

TEST_F(ListView, RowsHaveTheirPlaceAndPointsFindTheirCell) {
    CRect first, second;
    ASSERT_TRUE(list.GetItemRect(0, &first, LVIR_BOUNDS));
    ASSERT_TRUE(list.GetItemRect(1, &second, LVIR_BOUNDS));
    EXPECT_EQ(second.top, first.bottom) << "rows follow each other";
    EXPECT_GT(first.top, 0) << "below the header";
    EXPECT_FALSE(list.GetItemRect(9, &first, LVIR_BOUNDS));
    CRect cell;
    ASSERT_TRUE(list.GetSubItemRect(1, 1, LVIR_BOUNDS, cell));
    EXPECT_EQ(cell.left, 120);
    EXPECT_EQ(cell.Width(), 100);
    CRect none;
    EXPECT_FALSE(list.GetSubItemRect(9, 1, LVIR_BOUNDS, none)) << "no row, no cell";

    LVHITTESTINFO hit;
    hit.pt = CPoint(cell.left + 10, cell.top + 2);
    EXPECT_EQ(list.SubItemHitTest(&hit), 1);
    EXPECT_EQ(hit.iItem, 1);
    EXPECT_EQ(hit.iSubItem, 1);
    EXPECT_TRUE(hit.flags & LVHT_ONITEM);
    UINT flags = 0;
    EXPECT_EQ(list.HitTest(CPoint(10, second.bottom + 200), &flags), -1);
    EXPECT_TRUE(flags & LVHT_NOWHERE);

    EXPECT_GE(list.GetCountPerPage(), 4);
    for (int i = 4; i < 60; ++i) list.InsertItem(i, std::to_wstring(i).c_str());
    EXPECT_EQ(list.GetTopIndex(), 0);
    ASSERT_TRUE(list.EnsureVisible(50, FALSE));
    Pump();
    EXPECT_GT(list.GetTopIndex(), 30) << "the list scrolled to the row";
    EXPECT_LE(list.GetTopIndex(), 50);
    EXPECT_GT(list.GetTopIndex() + list.GetCountPerPage(), 50) << "the row is on the page";
    EXPECT_TRUE(::SendMessageW(list.m_hWnd, LVM_QV_SETSTATUSLINE, TRUE, reinterpret_cast<LPARAM>(L"60 Zeilen")));
}

TEST_F(ListView, FindingRowsByTextAndByDataAndChecksTheOwnerMayRefuse) {
    LVFINDINFOW find;
    find.flags = LVFI_STRING;
    find.psz = L"frei";
    EXPECT_EQ(list.FindItem(&find), 2) << "case does not matter";
    find.flags = LVFI_STRING | LVFI_PARTIAL;
    find.psz = L"Br";
    EXPECT_EQ(list.FindItem(&find), 1);
    EXPECT_EQ(list.FindItem(&find, 1), -1) << "searching after the last match";
    find.psz = L"Z";
    EXPECT_EQ(list.FindItem(&find), 3);
    find.flags = LVFI_PARAM;
    find.lParam = 4;
    EXPECT_EQ(list.FindItem(&find), 3);

    EXPECT_EQ(list.SetExtendedStyle(list.GetExtendedStyle() | LVS_EX_CHECKBOXES), DWORD(LVS_EX_FULLROWSELECT))
        << "the style before";
    EXPECT_EQ(list.GetItemState(1, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1)) << "rows there get an empty box";
    EXPECT_EQ(list.InsertItem(4, L"Neu"), 4);
    EXPECT_EQ(list.GetItemState(4, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1)) << "so do new rows";
    auto* view = qobject_cast<QAbstractItemView*>(Widget(list.m_hWnd));
    ASSERT_NE(view, nullptr);
    const QModelIndex first = view->model()->index(0, 0), second = view->model()->index(0, 1);
    EXPECT_EQ(first.data(Qt::CheckStateRole), QVariant(Qt::Unchecked));
    EXPECT_TRUE(first.flags() & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(second.data(Qt::CheckStateRole).isValid()) << "the box is in the first column only";
    EXPECT_FALSE(second.flags() & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(view->model()->setData(second, Qt::Checked, Qt::CheckStateRole));
    ::SendMessageW(list.m_hWnd, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES | LVS_EX_LABELTIP);
    EXPECT_EQ(list.GetExtendedStyle(), DWORD(LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES))
        << "only the styles in the mask change";
    CRect lined;
    ASSERT_TRUE(list.GetItemRect(1, &lined, LVIR_BOUNDS));
    Pump();
    EXPECT_EQ(PixelAt(list.m_hWnd, 300, lined.bottom - 1), RGB(218, 218, 218)) << "grid lines below the rows";
    roster.vetoChecks = true;
    ASSERT_TRUE(ClickRowCheckBox(list.m_hWnd, 0));
    EXPECT_FALSE(list.GetCheck(0)) << "the owner refused";
    roster.vetoChecks = false;
    ASSERT_TRUE(ClickRowCheckBox(list.m_hWnd, 0));
    EXPECT_TRUE(list.GetCheck(0));
    // Space ticks and clears the box of the row clicked, whatever cell of it was clicked, told as a
    // click on the box is; the owner may refuse it as well.
    roster.checks.clear();
    ASSERT_TRUE(ClickCell(list.m_hWnd, 1, 1));
    ASSERT_TRUE(PressKey(list.m_hWnd, VK_SPACE));
    EXPECT_TRUE(list.GetCheck(1));
    ASSERT_TRUE(PressKey(list.m_hWnd, VK_SPACE));
    EXPECT_FALSE(list.GetCheck(1));
    roster.vetoChecks = true;
    ASSERT_TRUE(PressKey(list.m_hWnd, VK_SPACE));
    EXPECT_FALSE(list.GetCheck(1)) << "the owner refused";
    roster.vetoChecks = false;
    EXPECT_EQ(roster.checks, (std::vector<std::pair<int, bool>>{{1, true}, {1, false}}));
    EXPECT_TRUE(list.GetCheck(0)) << "the other rows keep theirs";
    list.SetCheck(3);
    EXPECT_TRUE(list.GetCheck(3));
    EXPECT_EQ(list.GetItemState(3, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2));
    list.SetCheck(3, FALSE);
    EXPECT_FALSE(list.GetCheck(3));
    EXPECT_EQ(first.data(Qt::CheckStateRole), QVariant(Qt::Checked)) << "the box shows the check";
    list.SetItemState(-1, INDEXTOSTATEIMAGEMASK(2), LVIS_STATEIMAGEMASK);
    for (int row = 0; row < 5; ++row) EXPECT_TRUE(list.GetCheck(row)) << "minus one: every row, " << row;
    EXPECT_EQ(view->model()->index(3, 0).data(Qt::CheckStateRole), QVariant(Qt::Checked));
    EXPECT_FALSE(list.SetItemState(5, 0, LVIS_STATEIMAGEMASK));
    EXPECT_EQ(list.GetItemState(5, LVIS_STATEIMAGEMASK), 0u);
}

TEST_F(ListView, AMultipleSelectionIsWalkedInRowOrderAndTheMarkIsKept) {
    list.ModifyStyle(0, 0);  // several rows may be chosen (no LVS_SINGLESEL)
    ASSERT_TRUE(SelectRow(list.m_hWnd, 3));
    ASSERT_TRUE(SelectRow(list.m_hWnd, 1, Qt::ControlModifier));
    EXPECT_EQ(list.GetSelectedCount(), 2u);
    std::vector<int> rows;
    for (POSITION pos = list.GetFirstSelectedItemPosition(); pos;) rows.push_back(list.GetNextSelectedItem(pos));
    EXPECT_EQ(rows, (std::vector<int>{1, 3}));
    EXPECT_EQ(list.GetNextItem(-1, LVNI_FOCUSED), 1) << "the last click has the focus";
    EXPECT_EQ(list.GetNextItem(1, LVNI_SELECTED), 3);
    EXPECT_EQ(list.GetNextItem(3, LVNI_SELECTED), -1);
    list.SetSelectionMark(2);
    EXPECT_EQ(list.GetSelectionMark(), 2);

    list.ModifyStyle(0, LVS_SINGLESEL);
    EXPECT_EQ(list.GetSelectedCount(), 1u) << "made single, the list keeps its first selected row";
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 1);
    EXPECT_FALSE(RowSelected(list.m_hWnd, 3));
    ASSERT_TRUE(SelectRow(list.m_hWnd, 0));
    ASSERT_TRUE(SelectRow(list.m_hWnd, 2, Qt::ControlModifier));
    EXPECT_EQ(list.GetSelectedCount(), 1u) << "a single-selection list keeps one row also with ctrl";
}

TEST_F(ListView, AClickBesideTheRowsDropsTheSelectionAndTellsIt) {
    ASSERT_TRUE(SelectRow(list.m_hWnd, 2));
    roster.told.clear();
    CRect last;
    ASSERT_TRUE(list.GetItemRect(3, &last, LVIR_BOUNDS));
    ASSERT_TRUE(ClickAt(list.m_hWnd, 30, last.bottom + 40));
    EXPECT_EQ(list.GetSelectedCount(), 0u);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_FOCUSED), 2) << "the focus stays on the row";
    ASSERT_EQ(roster.Count(NM_CLICK), 1u);
    EXPECT_EQ(roster.told.back(), std::make_pair(UINT(NM_CLICK), -1)) << "a click on no row";
}

TEST_F(ListView, CutLabelsShowWholeAsToolTipsOnlyWhenAskedFor) {
    list.SetItemText(0, 0, L"Keller-Hintermeister Anna-Barbara");
    EXPECT_EQ(CellToolTip(list.m_hWnd, 0, 0), L"") << "a plain list shows no tips";
    list.SetExtendedStyle(list.GetExtendedStyle() | LVS_EX_LABELTIP);
    EXPECT_EQ(CellToolTip(list.m_hWnd, 0, 0), L"Keller-Hintermeister Anna-Barbara");
    EXPECT_EQ(CellToolTip(list.m_hWnd, 1, 0), L"") << "a label that fits";
    EXPECT_EQ(CellToolTip(list.m_hWnd, 0, 1), L"") << "only the first column's labels";
    ::SendMessageW(list.m_hWnd, LVM_QV_SETCOLUMNTIPMODE, 1, LVQV_TIP_ALWAYS);
    EXPECT_EQ(CellToolTip(list.m_hWnd, 0, 1), L"Aarau");
    ::SendMessageW(list.m_hWnd, LVM_QV_SETCOLUMNTIPMODE, 0, LVQV_TIP_NONE);
    EXPECT_EQ(CellToolTip(list.m_hWnd, 0, 0), L"") << "a column's own mode wins";
}

}  // namespace

