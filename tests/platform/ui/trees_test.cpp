// Trees and date pickers as the organisation tree, the group tree and the run page use them: items
// with data, colours, bold text and check boxes, the user's changes told to the form (the
// selection refusable), every deleted item told; dates whose show-none box makes them null, typed
// as a person types them, with a German calendar.
#include "ui_fixture.h"
#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <functional>
#include <tuple>

namespace {

using namespace qv::ui::test;

enum : UINT { kTreePage = 930, kTree = 1058, kFrom = 1196, kPublish = 1200 };

void RegisterTreePage() {
    using namespace qv::ui;
    DialogTemplate t;
    t.id = kTreePage;
    t.cx = 260;
    t.cy = 160;
    t.style = WS_CHILD | DS_CONTROL | DS_SETFONT;
    t.items = {Control(L"", kTree, WC_TREEVIEWW, TVS_HASBUTTONS | TVS_LINESATROOT | TVS_CHECKBOXES | WS_BORDER, 5, 5, 150, 150),
               Control(L"", kFrom, DATETIMEPICK_CLASSW, DTS_SHOWNONE, 160, 5, 90, 12),
               Control(L"", kPublish, DATETIMEPICK_CLASSW, DTS_RIGHTALIGN, 160, 22, 90, 12)};
    RegisterDialogTemplate(uitest::Module(), t);
}

class TreePage : public CDialog {
public:
    TreePage() : CDialog(kTreePage) {}
    CTreeCtrlEx tree;
    COleDateTime from, publish;
    std::vector<std::pair<UINT, DWORD_PTR>> heard;  // notification, item data
    std::vector<DWORD> dateFlags;
    SYSTEMTIME heardDate{};  // the last date told
    DWORD_PTR refuse = 0;  // the item the form will not let be selected
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Control(dx, kTree, tree);
        DDX_DateTimeCtrl(dx, kFrom, from);
        DDX_DateTimeCtrl(dx, kPublish, publish);
    }
    void OnSelChanging(NMHDR* nm, LRESULT* result) {
        const auto* tv = reinterpret_cast<NMTREEVIEW*>(nm);
        heard.push_back({TVN_SELCHANGING, DWORD_PTR(tv->itemNew.lParam)});
        *result = refuse && DWORD_PTR(tv->itemNew.lParam) == refuse;
    }
    void OnSelChanged(NMHDR* nm, LRESULT*) { heard.push_back({TVN_SELCHANGED, DWORD_PTR(reinterpret_cast<NMTREEVIEW*>(nm)->itemNew.lParam)}); }
    void OnDeleted(NMHDR* nm, LRESULT*) { heard.push_back({TVN_DELETEITEM, DWORD_PTR(reinterpret_cast<NMTREEVIEW*>(nm)->itemOld.lParam)}); }
    void OnChecked(NMHDR* nm, LRESULT*) { heard.push_back({TVN_ITEMCHANGED, DWORD_PTR(reinterpret_cast<NMTVITEMCHANGE*>(nm)->lParam)}); }
    void OnDateChange(NMHDR* nm, LRESULT* result) {
        dateFlags.push_back(reinterpret_cast<NMDATETIMECHANGE*>(nm)->dwFlags);
        if (dateFlags.back() == GDT_VALID) heardDate = reinterpret_cast<NMDATETIMECHANGE*>(nm)->st;
        *result = 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TreePage, CDialog)
    ON_NOTIFY(TVN_SELCHANGING, kTree, &TreePage::OnSelChanging)
    ON_NOTIFY(TVN_SELCHANGED, kTree, &TreePage::OnSelChanged)
    ON_NOTIFY(TVN_DELETEITEM, kTree, &TreePage::OnDeleted)
    ON_NOTIFY(TVN_ITEMCHANGED, kTree, &TreePage::OnChecked)
    ON_NOTIFY(DTN_DATETIMECHANGE, kFrom, &TreePage::OnDateChange)
END_MESSAGE_MAP()

class Trees : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        RegisterTreePage();
        ASSERT_TRUE(frame.CreateEx(0, AfxRegisterWndClass(0), L"Kurs", WS_OVERLAPPED, CRect(0, 0, 600, 400), nullptr, 0));
        ASSERT_TRUE(page.Create(kTreePage, &frame));
        page.ShowWindow(SW_SHOW);
        frame.ShowWindow(SW_SHOW);
        // Two Mandanten with their fire brigades.
        aarau = Add(L"Aarau", 45, TVI_ROOT);
        Add(L"Feuerwehr Aarau", 1, aarau);
        Add(L"Stützpunkt Aarau", 2, aarau);
        baden = Add(L"Baden", 46, TVI_ROOT);
        Add(L"Feuerwehr Baden", 3, baden);
        page.tree.Expand(aarau, TVE_EXPAND);
        page.tree.Expand(baden, TVE_EXPAND);
        page.heard.clear();
    }
    HTREEITEM Add(const wchar_t* text, LPARAM data, HTREEITEM parent) {
        return page.tree.InsertItem(TVIF_TEXT | TVIF_PARAM, text, 0, 0, 0, 0, data, parent, TVI_LAST);
    }
    HWND Tree() { return page.tree.m_hWnd; }
    CWnd frame;
    TreePage page;
    HTREEITEM aarau = nullptr, baden = nullptr;
};

TEST_F(Trees, ItemsKeepTheirPlaceDataColourBoldAndCheck) {
    EXPECT_EQ(TreeItems(Tree()), (std::vector<std::wstring>{L"Aarau", L"  Feuerwehr Aarau", L"  Stützpunkt Aarau", L"Baden",
                                                            L"  Feuerwehr Baden"}));
    EXPECT_EQ(page.tree.GetCount(), 5u);
    HTREEITEM first = page.tree.GetChildItem(aarau);
    EXPECT_EQ(page.tree.GetItemData(first), 1u);
    EXPECT_EQ(page.tree.GetParentItem(first), aarau);
    EXPECT_EQ(page.tree.GetItemData(page.tree.GetNextSiblingItem(first)), 2u);
    EXPECT_EQ(page.tree.GetNextSiblingItem(page.tree.GetRootItem()), baden);
    // A sorted insert lands in its place.
    page.tree.InsertItem(L"Brugg", TVI_ROOT, TVI_SORT);
    EXPECT_EQ(page.tree.GetItemText(page.tree.GetNextSiblingItem(baden)), CString(L"Brugg"));

    page.tree.SetItemColor(first, RGB(0, 0, 192));
    page.tree.SetItemBold(aarau, TRUE);
    page.tree.SetCheck(baden);
    EXPECT_EQ(TreeItemColor(Tree(), L"Feuerwehr Aarau"), RGB(0, 0, 192));
    EXPECT_EQ(page.tree.GetItemColor(first), RGB(0, 0, 192));
    EXPECT_EQ(TreeItemColor(Tree(), L"Stützpunkt Aarau"), CLR_DEFAULT);
    EXPECT_TRUE(TreeItemBold(Tree(), L"Aarau"));
    EXPECT_EQ(page.tree.GetItemState(aarau, TVIS_BOLD), UINT(TVIS_BOLD));
    EXPECT_TRUE(TreeItemChecked(Tree(), L"Baden"));
    EXPECT_TRUE(page.tree.GetCheck(baden));
    EXPECT_FALSE(page.tree.GetCheck(aarau));
    EXPECT_TRUE(page.heard.empty()) << "what the program does is not told";

    // Images come from the tree's image list, also for items that had their image before it.
    QImage strip(32, 16, QImage::Format_ARGB32);
    strip.fill(Qt::darkRed);
    qv::ui::RegisterBitmap(uitest::Module(), 11208, strip);
    CImageList images;
    ASSERT_TRUE(images.Create(11208, 16, 0, RGB(255, 255, 255)));
    page.tree.SetItemImage(aarau, 1, 0);
    EXPECT_FALSE(TreeItemHasImage(Tree(), L"Aarau"));
    page.tree.SetImageList(&images, TVSIL_NORMAL);
    EXPECT_TRUE(TreeItemHasImage(Tree(), L"Aarau"));
    int image = -1, selected = -1;
    EXPECT_TRUE(page.tree.GetItemImage(aarau, image, selected));
    EXPECT_EQ(image, 1);
    EXPECT_EQ(selected, 0);

    // The user's check is told with the item's data.
    ASSERT_TRUE(ClickTreeCheckBox(Tree(), L"Feuerwehr Baden"));
    EXPECT_TRUE(page.tree.GetCheck(page.tree.GetChildItem(baden)));
    EXPECT_EQ(page.heard, (std::vector<std::pair<UINT, DWORD_PTR>>{{TVN_ITEMCHANGED, 3}}));
}

TEST_F(Trees, TheSelectionGoesThroughTheFormAndDeletedItemsAreToldChildrenFirst) {
    ASSERT_TRUE(SelectTreeItem(Tree(), L"Stützpunkt Aarau"));
    EXPECT_EQ(page.tree.GetItemData(page.tree.GetSelectedItem()), 2u);
    EXPECT_EQ(page.heard, (std::vector<std::pair<UINT, DWORD_PTR>>{{TVN_SELCHANGING, 2}, {TVN_SELCHANGED, 2}}));
    // The form refuses one item: the old selection stays.
    page.refuse = 3;
    page.heard.clear();
    EXPECT_FALSE(SelectTreeItem(Tree(), L"Feuerwehr Baden"));
    EXPECT_EQ(page.tree.GetItemData(page.tree.GetSelectedItem()), 2u);
    EXPECT_EQ(page.heard, (std::vector<std::pair<UINT, DWORD_PTR>>{{TVN_SELCHANGING, 3}}));
    EXPECT_FALSE(page.tree.SelectItem(page.tree.GetChildItem(baden))) << "by program as well";
    EXPECT_TRUE(page.tree.SelectItem(baden));
    EXPECT_EQ(page.tree.GetSelectedItem(), baden);

    page.tree.SetItemColor(aarau, RGB(192, 0, 0));
    page.heard.clear();
    ASSERT_TRUE(page.tree.DeleteItem(aarau));
    EXPECT_EQ(page.heard, (std::vector<std::pair<UINT, DWORD_PTR>>{{TVN_DELETEITEM, 2}, {TVN_DELETEITEM, 1}, {TVN_DELETEITEM, 45}}));
    EXPECT_FALSE(page.tree.DeleteItem(aarau)) << "a stale handle is refused";
    page.heard.clear();
    EXPECT_TRUE(page.tree.DeleteAllItems());
    EXPECT_EQ(page.heard, (std::vector<std::pair<UINT, DWORD_PTR>>{{TVN_DELETEITEM, 3}, {TVN_DELETEITEM, 46}}));
    EXPECT_EQ(page.tree.GetCount(), 0u);
    EXPECT_EQ(page.tree.GetSelectedItem(), nullptr);
}

TEST_F(Trees, AnUntickedDateIsNullAndOnlyTheUsersChangesAreTold) {
    page.from.SetStatus(COleDateTime::null);
    page.publish = COleDateTime(2024, 5, 1, 0, 0, 0);
    page.UpdateData(FALSE);
    EXPECT_EQ(Text(Item(page, kFrom)), L"") << "a null date shows the box unticked";
    EXPECT_EQ(Text(Item(page, kPublish)), L"01.05.2024");
    EXPECT_TRUE(page.dateFlags.empty());

    ASSERT_TRUE(TickDatePicker(Item(page, kFrom), true));
    ASSERT_TRUE(PickDate(Item(page, kFrom), 2024, 3, 10));
    EXPECT_EQ(Text(Item(page, kFrom)), L"10.03.2024");
    const SYSTEMTIME& heard = page.heardDate;
    EXPECT_EQ(std::make_tuple(heard.wYear, heard.wMonth, heard.wDay), std::make_tuple(WORD(2024), WORD(3), WORD(10)))
        << "the form heard the date typed";
    ASSERT_TRUE(page.UpdateData(TRUE));
    EXPECT_EQ(page.from.GetStatus(), COleDateTime::valid);
    EXPECT_EQ(page.from.GetDay(), 10);
    EXPECT_EQ(page.from.GetMonth(), 3);
    ASSERT_TRUE(TickDatePicker(Item(page, kFrom), false));
    EXPECT_EQ(Widget(Item(page, kFrom))->findChild<QDateTimeEdit*>()->text().trimmed(), QString()) << "no date shown";
    ASSERT_TRUE(page.UpdateData(TRUE));
    EXPECT_EQ(page.from.GetStatus(), COleDateTime::null);
    ASSERT_GE(page.dateFlags.size(), 3u);
    EXPECT_EQ(page.dateFlags.front(), DWORD(GDT_VALID));
    EXPECT_EQ(page.dateFlags.back(), DWORD(GDT_NONE));

    // A picker without the box keeps its date when given a null one.
    CDateTimeCtrl* publish = static_cast<CDateTimeCtrl*>(page.GetDlgItem(kPublish));
    COleDateTime null;
    null.SetStatus(COleDateTime::null);
    EXPECT_FALSE(publish->SetTime(null));
    COleDateTime shown;
    EXPECT_TRUE(publish->GetTime(shown));
    EXPECT_EQ(shown.GetDay(), 1);
    const std::size_t told = page.dateFlags.size();
    page.from = COleDateTime(2025, 1, 2, 0, 0, 0);
    page.UpdateData(FALSE);
    EXPECT_EQ(page.dateFlags.size(), told) << "the program's dates are not told";
}

// A click on an unticked field gives it the focus: the digits typed land there and tick its box, as
// a day picked from its calendar does. No field shows a section chosen while another has the focus.
TEST_F(Trees, AClickOnAnUntickedDateTakesTheFocusAndADateTypedOrPickedTicksIt) {
    page.from.SetStatus(COleDateTime::null);
    page.publish = COleDateTime(2027, 3, 1, 0, 0, 0);
    page.UpdateData(FALSE);
    HWND from = Item(page, kFrom), publish = Item(page, kPublish);
    const auto selectionOnlyWithFocus = [&](const char* when) {
        for (HWND picker : {from, publish})
            if (!HasFocus(picker))
                EXPECT_FALSE(Widget(picker)->findChild<QLineEdit*>()->hasSelectedText()) << when;
    };
    const QDate tomorrow = QDate::currentDate().addDays(1);
    const std::wstring tomorrowText = tomorrow.toString(QStringLiteral("dd.MM.yyyy")).toStdWString();
    struct Case {
        const char* what;
        std::function<bool()> act;
        std::wstring shown;  // empty: unticked
        const wchar_t* refused = nullptr;
    };
    const std::vector<Case> cases = {
        {"digits typed", [&] { return Type(from, L"01122026"); }, L"01.12.2026"},
        {"a day that does not exist", [&] { return Type(from, L"31.02.2027"); }, L"", L"\"31.02.2027\" ist kein"},
        {"a day picked in the calendar",
         [&] { return OpenDateCalendar(from) && PressKey(nullptr, VK_RIGHT) && PressKey(nullptr, VK_RETURN); }, tomorrowText},
        {"the calendar closed without a pick", [&] { return OpenDateCalendar(from) && PressKey(nullptr, VK_ESCAPE); }, L""},
    };
    for (const Case& c : cases) {
        page.from.SetStatus(COleDateTime::null);
        page.UpdateData(FALSE);
        page.dateFlags.clear();
        ASSERT_TRUE(TypeDate(publish, 0, L"")) << c.what;
        ASSERT_TRUE(Click(from)) << c.what;
        EXPECT_TRUE(HasFocus(from)) << c.what << ": the click gives the field the focus";
        selectionOnlyWithFocus(c.what);
        if (c.refused) script.ExpectMessageBox(IDOK, c.refused);
        ASSERT_TRUE(c.act()) << c.what;
        EXPECT_EQ(script.Pending(), 0u) << c.what;
        EXPECT_EQ(Text(from), c.shown) << c.what;
        EXPECT_EQ(Checked(from), !c.shown.empty()) << c.what;
        EXPECT_EQ(Text(publish), L"01.03.2027") << c.what << ": nothing typed into the other field";
        ASSERT_TRUE(page.UpdateData(TRUE));
        EXPECT_EQ(page.from.GetStatus(), c.shown.empty() ? COleDateTime::null : COleDateTime::valid) << c.what;
        if (c.shown.empty() && !c.refused) {
            EXPECT_TRUE(page.dateFlags.empty()) << c.what << ": nothing to tell";
        } else {
            ASSERT_FALSE(page.dateFlags.empty()) << c.what;
            EXPECT_EQ(page.dateFlags.back(), DWORD(c.shown.empty() ? GDT_NONE : GDT_VALID)) << c.what << ": the form was told";
        }
        ASSERT_TRUE(TypeDate(publish, 1, L"")) << c.what;
        selectionOnlyWithFocus(c.what);
    }
    // Unticked, the field is not stepped to a date.
    page.from.SetStatus(COleDateTime::null);
    page.UpdateData(FALSE);
    ASSERT_TRUE(Click(from));
    ASSERT_TRUE(PressKey(nullptr, VK_UP));
    EXPECT_EQ(Text(from), L"");
    EXPECT_FALSE(Checked(from));
}

TEST_F(Trees, DigitsGoIntoTheSectionTheyAreTypedIn) {
    struct Case {
        const char* what;
        COleDateTime shown;
        int section;  // clicked: 0 the day, 1 the month, 2 the year
        std::wstring keys;
        int day, month, year;
        const wchar_t* refused = nullptr;  // the word to the user; the field keeps the date shown
    };
    const COleDateTime dec8(2026, 12, 8, 0, 0, 0);
    const std::vector<Case> cases = {
        {"a day", dec8, 0, L"15", 15, 12, 2026},
        {"a day late in the month", dec8, 0, L"29", 29, 12, 2026},
        {"a day with its zero", dec8, 0, L"05", 5, 12, 2026},
        {"a digit no day goes on with starts anew", dec8, 0, L"45", 5, 12, 2026},
        {"no 32nd", dec8, 0, L"32", 2, 12, 2026},
        {"a month of one digit", dec8, 1, L"3", 8, 3, 2026},
        {"a year", dec8, 2, L"2027", 8, 12, 2027},
        {"the separator goes on to the next section", dec8, 0, L"15.01.2027", 15, 1, 2027},
        {"the 31st typed while a shorter month is shown", COleDateTime(2026, 11, 30, 0, 0, 0), 0, L"31.12", 31, 12, 2026},
        {"no 31st in a shorter month", dec8, 0, L"31.2", 8, 12, 2026, L"\"31.02.2026\" ist kein gültiges Datum."},
        {"no 31st by its month either", COleDateTime(2027, 1, 31, 0, 0, 0), 1, L"2", 31, 1, 2027, L"\"31.02.2027\" ist kein"},
        {"a whole date of a day that does not exist", dec8, 0, L"31.02.2027", 8, 12, 2026,
         L"\"31.02.2027\" ist kein gültiges Datum. Geben Sie es als TT.MM.JJJJ oder TTMMJJJJ ein."},
        {"the same as digits alone", dec8, 0, L"31022027", 8, 12, 2026, L"\"31022027\" ist kein gültiges Datum."},
        {"seven digits are no date", dec8, 0, L"1122026", 8, 12, 2026, L"\"1122026\" ist kein gültiges Datum."},
        {"a year of two digits", dec8, 0, L"1.2.27", 1, 2, 2027},
        {"30 the first of the last century", dec8, 0, L"1.2.30", 1, 2, 1930},
        {"six digits", dec8, 0, L"290228", 29, 2, 2028},
        {"digits alone fill day, month and year in turn", dec8, 0, L"01122026", 1, 12, 2026},
        {"digits alone into another year", COleDateTime(2026, 11, 30, 0, 0, 0), 0, L"26012027", 26, 1, 2027},
        {"a full day goes on to the month, the separator typed after it too", dec8, 0, L"15.3", 15, 3, 2026},
        {"a month typed full goes on to the year", dec8, 1, L"022028", 8, 2, 2028},
    };
    HWND from = Item(page, kFrom);
    // The field is left, as a person leaves it: a click into the other one.
    const auto leave = [this] { return TypeDate(Item(page, kPublish), 0, L""); };
    for (const Case& c : cases) {
        page.from = c.shown;
        page.UpdateData(FALSE);
        page.heardDate = {};
        if (c.refused) script.ExpectMessageBox(IDOK, c.refused);
        ASSERT_TRUE(TypeDate(from, c.section, c.keys) && leave()) << c.what;
        EXPECT_EQ(script.Pending(), 0u) << c.what;
        ASSERT_TRUE(page.UpdateData(TRUE)) << c.what;
        EXPECT_EQ(std::make_tuple(page.from.GetDay(), page.from.GetMonth(), page.from.GetYear()), std::make_tuple(c.day, c.month, c.year))
            << c.what;
        const SYSTEMTIME& heard = page.heardDate;
        EXPECT_EQ(std::make_tuple(int(heard.wDay), int(heard.wMonth), int(heard.wYear)), std::make_tuple(c.day, c.month, c.year))
            << c.what << ": the form heard the date typed";
    }
    // A month typed first onto a 31st, then the day.
    page.from = COleDateTime(2027, 1, 31, 0, 0, 0);
    page.UpdateData(FALSE);
    ASSERT_TRUE(TypeDate(from, 1, L"02") && TypeDate(from, 0, L"28") && leave());
    EXPECT_EQ(Text(from), L"28.02.2027");

    // A year of two digits is taken when the section is left; the whole field selected takes a
    // whole date.
    page.from = dec8;
    page.UpdateData(FALSE);
    ASSERT_TRUE(TypeDate(from, 2, L"27"));
    ASSERT_TRUE(TypeDate(from, 1, L"1"));
    EXPECT_EQ(Text(from), L"08.01.2027");
    ASSERT_TRUE(PressKey(from, 'A', Qt::ControlModifier));
    ASSERT_TRUE(Type(from, L"03.04.2028"));
    EXPECT_EQ(Text(from), L"03.04.2028");
    ASSERT_TRUE(PickDate(from, 2024, 2, 29));
    EXPECT_EQ(Text(from), L"29.02.2024");

    // Hours and minutes where the format shows them.
    HWND publish = Item(page, kPublish);
    ASSERT_TRUE(static_cast<CDateTimeCtrl*>(page.GetDlgItem(kPublish))->SetFormat(L"dd.MM.yyyy HH:mm"));
    page.publish = COleDateTime(2027, 3, 1, 8, 0, 0);
    page.UpdateData(FALSE);
    ASSERT_TRUE(TypeDate(publish, 3, L"14"));
    ASSERT_TRUE(TypeDate(publish, 4, L"5"));
    EXPECT_EQ(Text(publish), L"01.03.2027 14:05");
    ASSERT_TRUE(TypeDate(publish, 0, L"020420280930"));
    EXPECT_EQ(Text(publish), L"02.04.2028 09:30") << "digits alone run on from the year into the time";
}

TEST_F(Trees, TheCalendarSpeaksGermanAndOpensRightAlignedWhereAsked) {
    page.from = COleDateTime(2026, 12, 8, 0, 0, 0);
    page.publish = COleDateTime(2027, 3, 1, 0, 0, 0);
    page.UpdateData(FALSE);
    ASSERT_TRUE(OpenDateCalendar(Item(page, kFrom)));
    EXPECT_EQ(CalendarTexts(Item(page, kFrom)),
              (std::vector<std::wstring>{L"Dezember", L"2026", L"Mo.", L"Di.", L"Mi.", L"Do.", L"Fr.", L"Sa.", L"So."}));
    ASSERT_TRUE(PressKey(nullptr, VK_ESCAPE));

    ASSERT_TRUE(OpenDateCalendar(Item(page, kPublish)));
    EXPECT_EQ(CalendarTexts(Item(page, kPublish)).at(0), L"März");
    QWidget* publish = Widget(Item(page, kPublish));
    QWidget* right = publish->findChild<QCalendarWidget*>()->window();
    EXPECT_EQ(right->geometry().right(), publish->mapToGlobal(QPoint(publish->width() - 1, 0)).x()) << "right edge under the field's";
    ASSERT_TRUE(PressKey(nullptr, VK_ESCAPE));
    EXPECT_FALSE(right->isVisible());
}

}  // namespace
