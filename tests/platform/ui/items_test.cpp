// Item lists drawn by their owners, list boxes choosing several items, and the smaller controls
// (pictures, scroll bars, multi-line edits) as forms use them.
#include "qtwidget.h"
#include "ui_fixture.h"
#include <QAbstractItemView>
#include <QClipboard>
#include <QGuiApplication>
#include <QComboBox>
#include <QListWidget>
#include <QScrollBar>
#include <QTest>
#include <cwchar>

namespace {

using namespace qv::ui::test;

struct Course {
    const wchar_t* name;
    COLORREF colour;
};

// A combo box of courses, each drawn as a field of its colour.
class CourseCombo : public CComboBox {
public:
    std::vector<std::pair<UINT, ULONG_PTR>> drawn;  // item, data
    std::vector<UINT> states;
    std::vector<ULONG_PTR> deleted;
    std::vector<UINT> measured;
    int compares = 0;
    UINT height = 0;  // for variable heights: the height of item 1; others 16

    void DrawItem(LPDRAWITEMSTRUCT d) override {
        drawn.push_back({d->itemID, d->itemData});
        states.push_back(d->itemState);
        CDC* dc = CDC::FromHandle(d->hDC);
        if (!dc) return;
        const auto* c = reinterpret_cast<const Course*>(d->itemData);
        dc->FillSolidRect(&d->rcItem, c ? c->colour : RGB(255, 255, 255));
    }
    void MeasureItem(LPMEASUREITEMSTRUCT m) override {
        measured.push_back(m->itemID);
        if (height) m->itemHeight = m->itemID == 1 ? height : 16;
    }
    int CompareItem(LPCOMPAREITEMSTRUCT c) override {
        ++compares;
        return std::wcscmp(reinterpret_cast<const Course*>(c->itemData1)->name,
                           reinterpret_cast<const Course*>(c->itemData2)->name);
    }
    void DeleteItem(LPDELETEITEMSTRUCT d) override { deleted.push_back(d->itemData); }
    // Asked for the colours of its list as the list is shown.
    int listColours = 0;
    HBRUSH OnCtlColor(CDC*, CWnd*, UINT kind) {
        listColours += kind == CTLCOLOR_LISTBOX;
        return nullptr;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CourseCombo, CComboBox)
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

class CourseList : public CListBox {
public:
    std::vector<UINT> measured;
    std::vector<ULONG_PTR> deleted;
    std::vector<UINT> drawn;
    void MeasureItem(LPMEASUREITEMSTRUCT m) override {
        measured.push_back(m->itemID);
        m->itemHeight = 12 + 8 * m->itemID;
    }
    void DrawItem(LPDRAWITEMSTRUCT d) override {
        drawn.push_back(d->itemID);
        CDC* dc = CDC::FromHandle(d->hDC);
        if (!dc) return;
        dc->FillSolidRect(&d->rcItem, (d->itemState & ODS_SELECTED) ? RGB(0, 0, 160) : RGB(240, 240, 200));
    }
    void DeleteItem(LPDELETEITEMSTRUCT d) override { deleted.push_back(d->itemData); }
};

// A combo box's list that keeps itself low and a little to the right.
class LowList : public CListBox {
public:
    void OnWindowPosChanging(WINDOWPOS* pos) {
        CListBox::OnWindowPosChanging(pos);
        pos->cy = 50;
        pos->x += 7;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(LowList, CListBox)
    ON_WM_WINDOWPOSCHANGING()
END_MESSAGE_MAP()

// The form the controls sit on: it keeps what its controls tell it.
class Form : public CWnd {
public:
    std::vector<std::pair<UINT, UINT>> commands;  // id, code
    std::vector<std::pair<UINT, UINT>> scrolls;   // code, position
    std::vector<HWND> scrollBars;
    BOOL OnCommand(WPARAM wp, LPARAM lp) override {
        commands.push_back({LOWORD(wp), HIWORD(wp)});
        return CWnd::OnCommand(wp, lp);
    }
    std::size_t Count(UINT id, UINT code) const {
        return std::size_t(std::count(commands.begin(), commands.end(), std::make_pair(id, code)));
    }
    void OnHScroll(UINT code, UINT pos, CScrollBar* bar) {
        scrolls.push_back({code, pos});
        scrollBars.push_back(bar ? bar->m_hWnd : nullptr);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Form, CWnd)
    ON_WM_HSCROLL()
END_MESSAGE_MAP()

class Items : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ASSERT_TRUE(form.CreateEx(0, AfxRegisterWndClass(0), L"Kurse", WS_OVERLAPPED, CRect(0, 0, 500, 400), nullptr, 0));
        form.ShowWindow(SW_SHOW);
    }
    QAbstractItemView* PopupOf(CComboBox& combo) {
        auto* c = qobject_cast<QComboBox*>(Widget(combo.m_hWnd));
        return c ? c->view() : nullptr;
    }
    Form form;
    Course maschinist{L"Maschinist", RGB(200, 0, 0)};
    Course atemschutz{L"Atemschutz", RGB(0, 160, 0)};
    Course funk{L"Funk", RGB(0, 0, 200)};
};

LPCWSTR AsItem(const Course& c) { return reinterpret_cast<LPCWSTR>(&c); }

TEST_F(Items, AnOwnerDrawnComboSortsByItsOwnerAndDrawsEachItemWithItsData) {
    CourseCombo combo;
    ASSERT_TRUE(combo.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_SORT,
                             CRect(5, 5, 205, 200), &form, 200));
    EXPECT_EQ(combo.AddString(AsItem(maschinist)), 0);
    EXPECT_EQ(combo.AddString(AsItem(atemschutz)), 0);
    EXPECT_EQ(combo.AddString(AsItem(funk)), 1);
    EXPECT_GT(combo.compares, 0) << "without strings the owner compares";
    EXPECT_EQ(combo.GetItemData(0), reinterpret_cast<DWORD_PTR>(&atemschutz)) << "the item is its data";
    EXPECT_EQ(combo.GetItemData(2), reinterpret_cast<DWORD_PTR>(&maschinist));

    // The closed field draws the chosen item, marked as the field.
    combo.SetCurSel(1);
    combo.drawn.clear();
    combo.states.clear();
    combo.Invalidate();
    ASSERT_TRUE(WaitFor([&] { return !combo.drawn.empty(); }));
    EXPECT_EQ(combo.drawn.back(), std::make_pair(UINT(1), ULONG_PTR(&funk)));
    EXPECT_TRUE(combo.states.back() & ODS_COMBOBOXEDIT);
    EXPECT_EQ(PixelAt(combo.m_hWnd, 20, 10), funk.colour);
    {
        const QImage closed = Grab(combo.m_hWnd, false);
        bool arrow = false;
        for (int x = closed.width() - 20; x < closed.width(); ++x)
            for (int y = 0; y < closed.height(); ++y) arrow = arrow || closed.pixelColor(x, y).lightness() < 100;
        EXPECT_TRUE(arrow) << "the field keeps its frame and arrow around the owner's drawing";
    }

    // The dropped list draws every item with its own data, as wide as asked for.
    EXPECT_EQ(combo.SetDroppedWidth(10), 200) << "never narrower than the field";
    EXPECT_EQ(combo.SetDroppedWidth(320), 320);
    EXPECT_EQ(combo.GetDroppedWidth(), 320);
    CRect dropped;
    combo.GetDroppedControlRect(&dropped);
    EXPECT_EQ(dropped.Width(), 320);
    EXPECT_EQ(dropped.Height(), 195) << "the height the combo box was made with";
    combo.drawn.clear();
    combo.ShowDropDown(TRUE);
    ASSERT_TRUE(WaitFor([&] { return combo.GetDroppedState() && combo.drawn.size() >= 3; }));
    std::map<UINT, ULONG_PTR> byItem(combo.drawn.begin(), combo.drawn.end());
    EXPECT_EQ(byItem[0], ULONG_PTR(&atemschutz));
    EXPECT_EQ(byItem[1], ULONG_PTR(&funk));
    EXPECT_EQ(byItem[2], ULONG_PTR(&maschinist));
    EXPECT_GT(combo.listColours, 0) << "the combo box is asked for its list's colours";
    QAbstractItemView* popup = PopupOf(combo);
    ASSERT_NE(popup, nullptr);
    const QImage shown = popup->viewport()->grab().toImage();
    const QRect row2 = popup->visualRect(popup->model()->index(2, 0));
    EXPECT_EQ(shown.pixelColor(row2.center()), QColor(200, 0, 0)) << "the owner's drawing is what the list shows";
    const QRect row1 = popup->visualRect(popup->model()->index(1, 0));
    EXPECT_EQ(shown.pixelColor(row1.center()), QColor(0, 0, 200)) << "the chosen row too, not the list's own highlight";
    EXPECT_GE(popup->window()->width(), 320);
    EXPECT_EQ(form.Count(200, CBN_DROPDOWN), 1u);

    // The list is a window of its own that answers for its rows and scrolls across its extent.
    const HWND lb = ::GetWindow(combo.m_hWnd, GW_CHILD);
    ASSERT_NE(lb, nullptr);
    EXPECT_EQ(::SendMessageW(lb, LB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(::SendMessageW(lb, LB_GETITEMHEIGHT, 2, 0), row2.height());
    EXPECT_EQ(::SendMessageW(lb, LB_GETTOPINDEX, 0, 0), 0);
    ::SendMessageW(lb, LB_SETHORIZONTALEXTENT, 1000, 0);
    EXPECT_EQ(popup->horizontalScrollBar()->maximum(), 1000 - popup->viewport()->width()) << "the user may scroll across it";
    const int page = popup->viewport()->width(), step = popup->horizontalScrollBar()->singleStep();
    const auto scroll = [lb](UINT code, int pos = 0) {
        ::SendMessageW(lb, WM_HSCROLL, MAKEWPARAM(WORD(code), WORD(pos)), 0);
        return ::GetScrollPos(lb, SB_HORZ);
    };
    ASSERT_GT(step, 0);
    EXPECT_EQ(scroll(SB_THUMBPOSITION, 123), 123);
    EXPECT_EQ(scroll(SB_PAGERIGHT), 123 + page);
    EXPECT_EQ(scroll(SB_PAGELEFT), 123);
    EXPECT_EQ(scroll(SB_ENDSCROLL), 123);
    EXPECT_EQ(scroll(SB_LINELEFT), std::max(0, 123 - step));
    EXPECT_EQ(scroll(SB_LINERIGHT), std::min(1000 - page, std::max(0, 123 - step) + step));
    EXPECT_EQ(scroll(SB_RIGHT), 1000 - page) << "the last position leaves the list's width";
    EXPECT_EQ(scroll(SB_LEFT), 0);
    combo.ShowDropDown(FALSE);
    EXPECT_TRUE(WaitFor([&] { return !combo.GetDroppedState(); }));
    EXPECT_EQ(form.Count(200, CBN_CLOSEUP), 1u);

    // The list's window may place and size the list as it drops.
    const QRect free = popup->window()->geometry();
    LowList low;
    ASSERT_TRUE(low.SubclassWindow(lb));
    combo.ShowDropDown(TRUE);
    ASSERT_TRUE(WaitFor([&] { return combo.GetDroppedState() != FALSE; }));
    EXPECT_EQ(popup->window()->height(), 50);
    EXPECT_EQ(popup->window()->x(), free.x() + 7);
    combo.ShowDropDown(FALSE);
    low.UnsubclassWindow();

    // Rows of a height given by the program; the field keeps its own.
    EXPECT_EQ(combo.SetItemHeight(0, 22), 0);
    EXPECT_EQ(combo.GetItemHeight(0), 22);
    EXPECT_EQ(::SendMessageW(lb, LB_GETITEMHEIGHT, 0, 0), 22);
    CRect field;
    combo.GetWindowRect(&field);
    EXPECT_EQ(combo.GetItemHeight(-1), field.Height());
    combo.ResetContent();
    EXPECT_EQ(::SendMessageW(lb, LB_GETCOUNT, 0, 0), 0);
    CourseCombo plain;
    ASSERT_TRUE(plain.Create(WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, CRect(5, 30, 205, 200), &form, 201));
    plain.AddString(L"Funk");
    plain.SetCurSel(0);
    {
        const QImage field = Grab(plain.m_hWnd, false);
        bool text = false;
        for (int x = 2; x < 60; ++x)
            for (int y = 2; y < field.height() - 2; ++y) text = text || field.pixelColor(x, y).lightness() < 100;
        EXPECT_TRUE(text) << "a plain combo box shows its chosen text";
    }
    plain.ResetContent();
    plain.ShowDropDown(TRUE);
    plain.ShowDropDown(FALSE);
    const HWND empty = ::GetWindow(plain.m_hWnd, GW_CHILD);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(::SendMessageW(empty, LB_GETITEMHEIGHT, 0, 0), plain.GetItemHeight(0)) << "an empty list has the font's rows";
}

TEST_F(Items, OwnerDataIsGivenBackForEveryItemRemovedAlsoWhenTheControlGoes) {
    CourseCombo combo;
    ASSERT_TRUE(combo.Create(WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED, CRect(5, 5, 205, 200), &form, 200));
    combo.AddString(AsItem(maschinist));
    combo.AddString(AsItem(atemschutz));
    combo.AddString(AsItem(funk));
    EXPECT_EQ(combo.compares, 0) << "an unsorted combo asks nobody";
    EXPECT_EQ(combo.GetItemData(1), reinterpret_cast<DWORD_PTR>(&atemschutz)) << "in the order added";
    EXPECT_EQ(combo.DeleteString(1), 2);
    EXPECT_EQ(combo.deleted, std::vector<ULONG_PTR>{ULONG_PTR(&atemschutz)});
    EXPECT_EQ(combo.DeleteString(5), CB_ERR);
    combo.ResetContent();
    EXPECT_EQ(combo.deleted, (std::vector<ULONG_PTR>{ULONG_PTR(&atemschutz), ULONG_PTR(&maschinist), ULONG_PTR(&funk)}));
    combo.AddString(AsItem(funk));
    combo.DestroyWindow();
    EXPECT_EQ(combo.deleted.back(), ULONG_PTR(&funk)) << "destroying the control removes its items";

    // A combo with strings keeps them even when drawn by its owner; plain combos tell nobody.
    CourseCombo named;
    ASSERT_TRUE(named.Create(WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | CBS_SORT,
                             CRect(5, 5, 205, 200), &form, 201));
    named.AddString(L"Funk");
    named.AddString(L"Atemschutz");
    CString text;
    named.GetLBText(0, text);
    EXPECT_EQ(text, L"Atemschutz");
    EXPECT_EQ(named.compares, 0) << "strings are compared by the control";
    CComboBox plain;
    ASSERT_TRUE(plain.Create(WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, CRect(5, 30, 205, 200), &form, 202));
    plain.AddString(L"Funk");
    plain.SetItemData(0, 77);
    plain.DeleteString(0);
    EXPECT_TRUE(named.deleted.empty());
}

TEST_F(Items, AVariableListAsksTheHeightOfEachItemAndDrawsItsSelection) {
    CourseList list;
    ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS | LBS_NOTIFY,
                            CRect(5, 5, 205, 205), &form, 300));
    list.AddString(L"Grundlehrgang");
    list.AddString(L"Truppführer");
    list.AddString(L"Gruppenführer");
    list.SetItemData(2, 42);
    auto* view = qobject_cast<QListWidget*>(Widget(list.m_hWnd));
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(WaitFor([&] { return list.drawn.size() >= 3; }));
    for (UINT i : {0u, 1u, 2u})
        EXPECT_NE(std::find(list.measured.begin(), list.measured.end(), i), list.measured.end()) << "item " << i;
    EXPECT_EQ(view->visualItemRect(view->item(0)).height(), 12);
    EXPECT_EQ(view->visualItemRect(view->item(2)).height(), 28);

    ASSERT_TRUE(SelectListBoxItem(list.m_hWnd, 1));
    EXPECT_EQ(list.GetCurSel(), 1);
    EXPECT_EQ(form.Count(300, LBN_SELCHANGE), 1u);
    const QRect second = view->visualItemRect(view->item(1));
    EXPECT_EQ(PixelAt(list.m_hWnd, second.center().x(), second.center().y()), RGB(0, 0, 160));
    const QRect first = view->visualItemRect(view->item(0));
    EXPECT_EQ(PixelAt(list.m_hWnd, first.center().x(), first.center().y()), RGB(240, 240, 200));
    list.ResetContent();
    EXPECT_EQ(list.deleted, (std::vector<ULONG_PTR>{0, 0, 42}));
}

TEST_F(Items, ListsOfSeveralChoicesSelectByProgramAndByTheUserWithCtrl) {
    CListBox list;
    ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LBS_EXTENDEDSEL | LBS_NOTIFY, CRect(5, 5, 205, 205), &form, 310));
    for (const wchar_t* s : {L"Montag", L"Dienstag", L"Mittwoch", L"Donnerstag", L"Freitag"}) list.AddString(s);
    EXPECT_EQ(list.GetSelCount(), 0);
    EXPECT_EQ(list.SetSel(1), 0);
    EXPECT_EQ(list.SetSel(3), 0);
    EXPECT_EQ(list.SetSel(-1, TRUE), 0) << "minus one selects them all";
    EXPECT_EQ(list.GetSelCount(), 5);
    EXPECT_EQ(list.SetSel(-1, FALSE), 0);
    list.SetSel(3);
    list.SetSel(1);
    EXPECT_EQ(form.Count(310, LBN_SELCHANGE), 0u) << "the program's selection is not told";
    int items[10] = {};
    ASSERT_EQ(list.GetSelItems(10, items), 2);
    EXPECT_EQ(items[0], 1) << "in list order";
    EXPECT_EQ(items[1], 3);
    EXPECT_EQ(list.GetSelItems(1, items), 1) << "no more than asked";
    EXPECT_TRUE(list.GetSel(3));
    EXPECT_FALSE(list.GetSel(2));
    EXPECT_EQ(list.SetSel(9), LB_ERR);
    CString text = L"alt";
    list.GetText(9, text);
    EXPECT_EQ(text, L"") << "no such row: nothing";

    ASSERT_TRUE(SelectListBoxItem(list.m_hWnd, 4, Qt::ControlModifier));
    EXPECT_EQ(list.GetSelCount(), 3) << "ctrl adds to the selection";
    EXPECT_GE(form.Count(310, LBN_SELCHANGE), 1u);
    ASSERT_TRUE(SelectListBoxItem(list.m_hWnd, 0));
    EXPECT_EQ(list.GetSelCount(), 1) << "a plain click chooses only that one";
    EXPECT_TRUE(list.GetSel(0));
    CListBox one;
    ASSERT_TRUE(one.Create(WS_CHILD | WS_VISIBLE | LBS_NOTIFY, CRect(210, 5, 400, 20), &form, 313));
    one.AddString(L"Samstag");
    ASSERT_TRUE(DoubleClick(one.m_hWnd));
    EXPECT_EQ(form.Count(313, LBN_DBLCLK), 1u);

    // A single-choice list answers the other way round.
    CListBox sorted;
    ASSERT_TRUE(sorted.Create(WS_CHILD | WS_VISIBLE | LBS_SORT, CRect(210, 210, 400, 300), &form, 312));
    EXPECT_EQ(sorted.AddString(L"Montag"), 0);
    EXPECT_EQ(sorted.AddString(L"Dienstag"), 0);
    EXPECT_EQ(sorted.AddString(L"montag"), 2) << "after the one of the same name";
    EXPECT_EQ(sorted.AddString(L"Mittwoch"), 1);
    CListBox single;
    ASSERT_TRUE(single.Create(WS_CHILD | WS_VISIBLE, CRect(210, 5, 400, 205), &form, 311));
    single.AddString(L"Montag");
    EXPECT_EQ(single.SetSel(0), LB_ERR) << "single-choice lists select with SetCurSel";
    EXPECT_EQ(single.GetSelCount(), LB_ERR);
    EXPECT_EQ(single.SetCurSel(0), 0);
    EXPECT_EQ(single.GetCurSel(), 0);
    EXPECT_EQ(form.Count(311, LBN_SELCHANGE), 0u) << "without LBS_NOTIFY nothing is told";
}

TEST_F(Items, APictureControlKeepsItsBitmapAndReportsClicksOnlyWhenAsked) {
    CBitmap red, blue;
    red.CreateBitmap(16, 16, 1, 32, nullptr);
    blue.CreateBitmap(16, 16, 1, 32, nullptr);
    {
        CDC dc;
        dc.CreateCompatibleDC(nullptr);
        CBitmap* old = dc.SelectObject(&red);
        dc.FillSolidRect(0, 0, 16, 16, RGB(220, 0, 0));
        dc.SelectObject(&blue);
        dc.FillSolidRect(0, 0, 16, 16, RGB(0, 0, 220));
        dc.SelectObject(old);
    }
    CStatic picture;
    ASSERT_TRUE(picture.Create(L"", WS_CHILD | WS_VISIBLE | SS_BITMAP | SS_NOTIFY, CRect(5, 5, 21, 21), &form, 400));
    EXPECT_EQ(picture.SetBitmap(red), nullptr);
    EXPECT_EQ(picture.GetBitmap(), HBITMAP(red));
    EXPECT_EQ(PixelAt(picture.m_hWnd, 8, 8), RGB(220, 0, 0));
    EXPECT_EQ(picture.SetBitmap(blue), HBITMAP(red)) << "the previous one is given back";
    EXPECT_EQ(PixelAt(picture.m_hWnd, 8, 8), RGB(0, 0, 220));
    CButton pictured;
    ASSERT_TRUE(pictured.Create(L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | BS_BITMAP, CRect(140, 5, 180, 35), &form, 402));
    EXPECT_EQ(pictured.SetBitmap(red), nullptr);
    EXPECT_EQ(pictured.GetBitmap(), HBITMAP(red));
    EXPECT_EQ(PixelAt(pictured.m_hWnd, 20, 15), RGB(220, 0, 0)) << "a button shows its picture";
    EXPECT_EQ(pictured.SetBitmap(nullptr), HBITMAP(red));
    EXPECT_NE(PixelAt(pictured.m_hWnd, 20, 15), RGB(220, 0, 0));
    ASSERT_TRUE(Click(picture.m_hWnd));
    EXPECT_EQ(form.Count(400, STN_CLICKED), 1u);
    ASSERT_TRUE(DoubleClick(picture.m_hWnd));
    EXPECT_EQ(form.Count(400, STN_DBLCLK), 1u);

    CStatic label;
    ASSERT_TRUE(label.Create(L"Kursnummer:", WS_CHILD | WS_VISIBLE, CRect(30, 5, 130, 21), &form, 401));
    ASSERT_TRUE(Click(label.m_hWnd));
    EXPECT_EQ(form.Count(401, STN_CLICKED), 0u) << "a label without SS_NOTIFY says nothing";
    label.ModifyStyle(0, SS_NOTIFY);
    ASSERT_TRUE(Click(label.m_hWnd));
    EXPECT_EQ(form.Count(401, STN_CLICKED), 1u) << "the style may be given later";
    EXPECT_EQ(Text(label.m_hWnd), L"Kursnummer:");
    const auto darkest = [&] {
        const QImage shot = Grab(label.m_hWnd, false);
        int least = 255;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) least = std::min(least, qGray(shot.pixel(x, y)));
        return least;
    };
    EXPECT_LT(darkest(), 60) << "black while it may be used";
    label.EnableWindow(FALSE);
    EXPECT_GT(darkest(), 80) << "grey when not";

    // A frame takes the outermost pixels on every side.
    CStatic frame;
    ASSERT_TRUE(frame.Create(L"", WS_CHILD | WS_VISIBLE | SS_GRAYFRAME, CRect(150, 5, 190, 25), &form, 402));
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    for (const CPoint at : {CPoint(0, 10), CPoint(39, 10), CPoint(20, 0), CPoint(20, 19)})
        EXPECT_EQ(PixelAt(frame.m_hWnd, at.x, at.y), shadow) << at.x << "," << at.y;
    EXPECT_NE(PixelAt(frame.m_hWnd, 20, 10), shadow);
    // An etched line: shadow, then light.
    CStatic etched;
    ASSERT_TRUE(etched.Create(L"", WS_CHILD | WS_VISIBLE | SS_ETCHEDVERT, CRect(200, 5, 202, 25), &form, 403));
    EXPECT_EQ(PixelAt(etched.m_hWnd, 0, 10), shadow);
    EXPECT_EQ(PixelAt(etched.m_hWnd, 1, 10), GetSysColor(COLOR_BTNHIGHLIGHT));
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    const struct {
        DWORD style;
        CPoint at;
        COLORREF colour;
    } looks[] = {{SS_BLACKRECT, {10, 5}, GetSysColor(COLOR_3DDKSHADOW)},
                 {SS_GRAYRECT, {10, 5}, shadow},
                 {SS_WHITERECT, {10, 5}, light},
                 {SS_WHITEFRAME, {0, 5}, light},
                 {SS_ETCHEDHORZ, {10, 0}, shadow},
                 {SS_ETCHEDHORZ, {10, 1}, light},
                 {SS_ETCHEDFRAME, {0, 5}, shadow},
                 {SS_ETCHEDFRAME, {1, 5}, light},
                 {SS_ETCHEDFRAME, {19, 5}, light},
                 {SS_SUNKEN, {0, 5}, shadow},
                 {SS_SUNKEN, {10, 0}, shadow},
                 {SS_SUNKEN, {19, 5}, light},
                 {SS_SUNKEN, {10, 9}, light}};
    UINT id = 410;
    for (const auto& look : looks) {
        CStatic s;
        ASSERT_TRUE(s.Create(L"", WS_CHILD | WS_VISIBLE | look.style, CRect(300, 5, 320, 15), &form, id++));
        EXPECT_EQ(PixelAt(s.m_hWnd, look.at.x, look.at.y), look.colour) << std::hex << look.style << std::dec << " at " << look.at.x << "," << look.at.y;
    }

    // Texts sit where their style puts them; a text cut with an ellipsis keeps to its line.
    const auto inked = [](HWND h, QRect part) {
        const QImage shot = Grab(h, false);
        part = part.intersected(shot.rect());
        for (int y = part.top(); y <= part.bottom(); ++y)
            for (int x = part.left(); x <= part.right(); ++x)
                if (shot.pixelColor(x, y).lightness() < 128) return true;
        return false;
    };
    CStatic right, centre, cut;
    ASSERT_TRUE(right.Create(L"Nr.", WS_CHILD | WS_VISIBLE | SS_RIGHT, CRect(5, 40, 205, 60), &form, 404));
    ASSERT_TRUE(centre.Create(L"Nr.", WS_CHILD | WS_VISIBLE | SS_CENTER, CRect(5, 60, 205, 80), &form, 405));
    ASSERT_TRUE(cut.Create(L"Atemschutz Grundkurs Teil zwei", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_ENDELLIPSIS,
                           CRect(5, 80, 85, 130), &form, 406));
    EXPECT_TRUE(inked(right.m_hWnd, QRect(150, 0, 50, 20)));
    EXPECT_FALSE(inked(right.m_hWnd, QRect(0, 0, 150, 20)));
    EXPECT_TRUE(inked(centre.m_hWnd, QRect(80, 0, 40, 20)));
    EXPECT_FALSE(inked(centre.m_hWnd, QRect(0, 0, 60, 20)));
    EXPECT_FALSE(inked(centre.m_hWnd, QRect(140, 0, 60, 20)));
    EXPECT_TRUE(inked(cut.m_hWnd, QRect(0, 0, 80, 14)));
    EXPECT_FALSE(inked(cut.m_hWnd, QRect(0, 18, 80, 32))) << "not wrapped onto a second line";
}

TEST_F(Items, AScrollBarControlKeepsItsRangeAndTellsItsParentWhatTheUserDid) {
    CScrollBar bar;
    ASSERT_TRUE(bar.Create(WS_CHILD | WS_VISIBLE | SBS_HORZ, CRect(5, 300, 305, 317), &form, 500));
    bar.SetScrollRange(0, 100);
    int low = -1, high = -1;
    bar.GetScrollRange(&low, &high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 100);
    EXPECT_EQ(bar.SetScrollPos(40), 0) << "the old position comes back";
    EXPECT_EQ(bar.GetScrollPos(), 40);
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_PAGE | SIF_POS;
    info.nPage = 20;
    info.nPos = 95;
    bar.SetScrollInfo(&info);
    EXPECT_EQ(bar.GetScrollLimit(), 81) << "the last position leaves a page";
    EXPECT_EQ(bar.GetScrollPos(), 81) << "a position beyond the limit is held at it";
    EXPECT_EQ(bar.SetScrollPos(81), 81);
    SCROLLINFO back{};
    back.cbSize = sizeof(back);
    ASSERT_TRUE(bar.GetScrollInfo(&back));
    EXPECT_EQ(back.nPage, 20u);
    EXPECT_EQ(back.nMax, 100);
    info.nPos = 0;
    EXPECT_TRUE(bar.SetScrollInfo(&info)) << "also at the start";
    EXPECT_TRUE(form.scrolls.empty()) << "the program's changes are not told";

    bar.SetScrollPos(10);
    ASSERT_TRUE(ClickAt(bar.m_hWnd, 250, 8));
    ASSERT_FALSE(form.scrolls.empty());
    EXPECT_EQ(form.scrolls.front().first, UINT(SB_PAGEDOWN)) << "beside the thumb: a page";
    ASSERT_TRUE(ClickAt(bar.m_hWnd, 4, 8));
    EXPECT_EQ(form.scrolls[2].first, UINT(SB_LINEUP)) << "the left arrow steps back";
    form.scrolls.clear();
    form.scrollBars.clear();
    ASSERT_TRUE(ClickAt(bar.m_hWnd, 295, 8));
    ASSERT_FALSE(form.scrolls.empty());
    EXPECT_EQ(form.scrolls.front().first, UINT(SB_LINEDOWN)) << "the right arrow steps forward";
    EXPECT_EQ(form.scrollBars.front(), bar.m_hWnd) << "the control comes with the message";
    EXPECT_EQ(form.scrolls.back().first, UINT(SB_ENDSCROLL));
    EXPECT_EQ(bar.GetScrollPos(), 10) << "the parent moves the bar itself";
    bar.SetScrollPos(81);
    form.scrolls.clear();
    ASSERT_TRUE(ClickAt(bar.m_hWnd, 200, 8));
    ASSERT_FALSE(form.scrolls.empty());
    EXPECT_EQ(form.scrolls.front().first, UINT(SB_PAGEUP)) << "just before the thumb the program moved: a page back";
}

TEST_F(Items, AMultiLineEditCountsLinesReplacesTheSelectionAndUndoes) {
    CEdit notes;
    ASSERT_TRUE(notes.Create(WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL, CRect(5, 5, 305, 105), &form, 600));
    notes.SetWindowText(L"Erste Zeile\r\nZweite Zeile");
    EXPECT_EQ(notes.GetLineCount(), 2);
    CString text;
    notes.GetWindowText(text);
    EXPECT_EQ(text, L"Erste Zeile\r\nZweite Zeile") << "lines are read with carriage returns";
    EXPECT_FALSE(notes.GetModify());
    notes.SetSel(0, 5);
    int start = -1, end = -1;
    notes.GetSel(start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 5);
    notes.ReplaceSel(L"Letzte", TRUE);
    notes.GetWindowText(text);
    EXPECT_EQ(text, L"Letzte Zeile\r\nZweite Zeile");
    EXPECT_TRUE(notes.CanUndo());
    EXPECT_TRUE(notes.Undo());
    notes.GetWindowText(text);
    EXPECT_EQ(text, L"Erste Zeile\r\nZweite Zeile");

    ASSERT_TRUE(PressKey(notes.m_hWnd, VK_END, Qt::ControlModifier));
    ASSERT_TRUE(Type(notes.m_hWnd, L"!"));
    ASSERT_TRUE(PressKey(notes.m_hWnd, VK_RETURN));
    ASSERT_TRUE(Type(notes.m_hWnd, L"Dritte"));
    EXPECT_EQ(notes.GetLineCount(), 3) << "return makes a new line in a want-return edit";
    EXPECT_TRUE(notes.GetModify());
    EXPECT_GE(form.Count(600, EN_CHANGE), 1u);
    notes.SetModify(FALSE);
    EXPECT_FALSE(notes.GetModify());
    notes.SetSel(0, -1);
    notes.GetSel(start, end);
    EXPECT_EQ(end, notes.GetWindowTextLength()) << "minus one is the end";
}

TEST_F(Items, ALimitHoldsBackOnlyTheUserAndTextSetLongerStaysWhole) {
    CEdit name;
    ASSERT_TRUE(name.Create(WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, CRect(5, 5, 305, 25), &form, 700));
    EXPECT_EQ(name.GetLimitText(), 30000u) << "the default limit of a single line";
    CEdit given;
    ASSERT_TRUE(given.CreateEx(0, L"Edit", L"Anfang", WS_CHILD | WS_VISIBLE, CRect(5, 30, 305, 50), &form, 701));
    EXPECT_EQ(Text(given.m_hWnd), L"Anfang") << "an edit shows the text it is made with";
    name.LimitText(10);
    EXPECT_EQ(name.GetLimitText(), 10u);
    // A value from the data base longer than the field allows is shown whole, not cut.
    name.SetWindowText(L"Brandmeister-Lehrgang");
    EXPECT_EQ(Text(name.m_hWnd), L"Brandmeister-Lehrgang");
    const std::size_t maxTexts = form.Count(700, EN_MAXTEXT);
    ASSERT_TRUE(PressKey(name.m_hWnd, VK_END));
    ASSERT_TRUE(Type(name.m_hWnd, L"x"));
    EXPECT_EQ(Text(name.m_hWnd), L"Brandmeister-Lehrgang") << "nothing more may be typed";
    EXPECT_TRUE(WaitFor([&] { return form.Count(700, EN_MAXTEXT) > maxTexts; })) << "the refusal is told";
    ASSERT_TRUE(PressKey(name.m_hWnd, VK_BACK));
    EXPECT_EQ(Text(name.m_hWnd), L"Brandmeister-Lehrgan") << "but taken away";
    ASSERT_TRUE(Retype(name.m_hWnd, L"Maschinisten-Lehrgang"));
    EXPECT_EQ(Text(name.m_hWnd), L"Maschinist");
    EXPECT_EQ(name.GetWindowTextLength(), 10) << "as many characters as the limit";
    // Ctrl+V of a longer text keeps the part that fits, at the caret; a full field takes nothing.
    QGuiApplication::clipboard()->setText(QStringLiteral("Feuerwehrmann"));
    ASSERT_TRUE(Retype(name.m_hWnd, L"Ab"));
    ASSERT_TRUE(PressKey(name.m_hWnd, VK_HOME));
    const std::size_t cutTexts = form.Count(700, EN_MAXTEXT);
    ASSERT_TRUE(PressKey(name.m_hWnd, 'V', Qt::ControlModifier));
    EXPECT_EQ(Text(name.m_hWnd), L"FeuerwehAb");
    EXPECT_TRUE(WaitFor([&] { return form.Count(700, EN_MAXTEXT) > cutTexts; })) << "the cut is told";
    ASSERT_TRUE(Type(name.m_hWnd, L"x"));
    ASSERT_TRUE(PressKey(name.m_hWnd, 'V', Qt::ControlModifier));
    EXPECT_EQ(Text(name.m_hWnd), L"FeuerwehAb");
    // Over a selection, the paste takes its room too.
    ASSERT_TRUE(PressKey(name.m_hWnd, VK_END));
    ASSERT_TRUE(PressKey(name.m_hWnd, VK_LEFT, Qt::ShiftModifier));
    ASSERT_TRUE(PressKey(name.m_hWnd, VK_LEFT, Qt::ShiftModifier));
    ASSERT_TRUE(PressKey(name.m_hWnd, 'V', Qt::ControlModifier));
    EXPECT_EQ(Text(name.m_hWnd), L"FeuerwehFe");

    CEdit number;
    ASSERT_TRUE(number.Create(WS_CHILD | WS_VISIBLE | ES_NUMBER, CRect(5, 30, 105, 50), &form, 701));
    ASSERT_TRUE(Type(number.m_hWnd, L"12a3"));
    EXPECT_EQ(Text(number.m_hWnd), L"123") << "a number field takes digits only";
    CEdit code;
    ASSERT_TRUE(code.Create(WS_CHILD | WS_VISIBLE | ES_UPPERCASE, CRect(110, 30, 205, 50), &form, 703));
    ASSERT_TRUE(Type(code.m_hWnd, L"bk-1"));
    EXPECT_EQ(Text(code.m_hWnd), L"BK-1") << "typed in capitals";
    code.SetWindowText(L"kl");
    EXPECT_EQ(Text(code.m_hWnd), L"kl") << "the program's text as it is";

    // A multi-line edit counts each line break as two characters, as its text has them.
    CEdit notes;
    ASSERT_TRUE(notes.Create(WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN, CRect(5, 60, 305, 160), &form, 702));
    notes.SetWindowText(L"ab\r\ncd");
    notes.LimitText(8);
    notes.SetSel(4, 6);
    int start = 0, end = 0;
    notes.GetSel(start, end);
    EXPECT_EQ(start, 4);
    EXPECT_EQ(end, 6);
    notes.ReplaceSel(L"XY");
    CString text;
    notes.GetWindowText(text);
    EXPECT_EQ(text, L"ab\r\nXY") << "the selection after the break was where the text has it";
    ASSERT_TRUE(PressKey(notes.m_hWnd, VK_END, Qt::ControlModifier));
    ASSERT_TRUE(Type(notes.m_hWnd, L"12345"));
    notes.GetWindowText(text);
    EXPECT_EQ(text, L"ab\r\nXY12") << "eight characters with the break";
    notes.GetSel(start, end);
    EXPECT_EQ(start, 8) << "the caret stays at the end";

    // A remark from the data base longer than the limit is shown whole, as in a single line,
    // and the change is told.
    const std::size_t changes = form.Count(702, EN_CHANGE);
    notes.SetWindowText(L"Atemschutz\r\nTeil 2");
    notes.GetWindowText(text);
    EXPECT_EQ(text, L"Atemschutz\r\nTeil 2");
    EXPECT_GT(form.Count(702, EN_CHANGE), changes);
    ASSERT_TRUE(PressKey(notes.m_hWnd, VK_END, Qt::ControlModifier));
    ASSERT_TRUE(Type(notes.m_hWnd, L"x"));
    notes.GetWindowText(text);
    EXPECT_EQ(text, L"Atemschutz\r\nTeil 2") << "the user still cannot add to it";
}

TEST_F(Items, AnEditableComboTakesNoMoreThanItsLimitFromTheUser) {
    CComboBox combo;
    ASSERT_TRUE(combo.Create(WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, CRect(5, 5, 205, 200), &form, 800));
    combo.AddString(L"Kreisausbildung Nord");
    EXPECT_TRUE(combo.LimitText(6));
    combo.SetCurSel(0);
    EXPECT_EQ(Text(combo.m_hWnd), L"Kreisausbildung Nord") << "a chosen item is shown whole";
    ASSERT_TRUE(Type(combo.m_hWnd, L"-Ost"));
    EXPECT_EQ(Text(combo.m_hWnd), L"Kreisausbildung Nord") << "but nothing can be added to it";
    ASSERT_TRUE(Retype(combo.m_hWnd, L"Standortausbildung"));
    EXPECT_EQ(Text(combo.m_hWnd), L"Stando");
    QTest::keyClicks(Widget(combo.m_hWnd), QStringLiteral("uv"));
    EXPECT_EQ(Text(combo.m_hWnd), L"Stando") << "typed into the box itself";
    combo.LimitText(0);
    ASSERT_TRUE(Type(combo.m_hWnd, L"rt"));
    EXPECT_EQ(Text(combo.m_hWnd), L"Standort") << "zero lifts the limit";
}

}  // namespace
