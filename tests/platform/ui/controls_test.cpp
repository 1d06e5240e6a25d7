// The standard controls as the system's code drives them: by messages (also from worker
// threads) and by the user; notifications arrive for what the user did, not for what the code did.
#include "ui_fixture.h"
#include <QFontMetrics>
#include <QListWidget>
#include <QWidget>
#include <atomic>
#include <thread>

namespace {

using namespace qv::ui::test;

enum : UINT { kControls = 920 };

void RegisterControls() {
    using namespace qv::ui;
    DialogTemplate t;
    t.id = kControls;
    t.cx = 300;
    t.cy = 220;
    t.style = WS_CHILD | DS_CONTROL | DS_SETFONT;
    t.items = {ComboBox(1035, 5, 5, 100, 80, CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL),
               ComboBox(1037, 5, 22, 100, 80, CBS_DROPDOWN),
               EditText(1041, 5, 40, 100, 12, ES_AUTOHSCROLL),
               EditText(1042, 110, 40, 30, 12, ES_NUMBER),
               Control(L"", 1043, L"msctls_updown32", UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS,
                       140, 40, 10, 12),
               ListBox(1050, 5, 60, 100, 60, WS_VSCROLL),
               ListBox(1051, 110, 60, 100, 60, WS_VSCROLL),
               Control(L"", 1060, L"SysListView32", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER, 5, 125,
                       200, 80),
               Control(L"", 1070, L"msctls_progress32", 0, 210, 5, 80, 10)};
    RegisterDialogTemplate(uitest::Module(), t);
}

class Page : public CDialog {
public:
    Page() : CDialog(kControls) {}
    std::vector<std::pair<UINT, UINT>> commands;  // id, code
    std::vector<NMLISTVIEW> changes;
    std::vector<UINT> notifications;
    std::vector<UINT> spins;
    BOOL refuseSpin = FALSE;
    BOOL OnCommand(WPARAM wp, LPARAM lp) override {
        commands.push_back({LOWORD(wp), HIWORD(wp)});
        return CDialog::OnCommand(wp, lp);
    }
    std::size_t Count(UINT id, UINT code) const {
        return std::size_t(std::count(commands.begin(), commands.end(), std::make_pair(id, code)));
    }
    void OnItemChanged(NMHDR* nm, LRESULT*) { changes.push_back(*reinterpret_cast<NMLISTVIEW*>(nm)); }
    void OnDblClk(NMHDR*, LRESULT*) { notifications.push_back(NM_DBLCLK); }
    void OnSetFocus(NMHDR*, LRESULT*) { notifications.push_back(NM_SETFOCUS); }
    void OnKillFocus(NMHDR*, LRESULT*) { notifications.push_back(NM_KILLFOCUS); }
    void OnColumnClick(NMHDR* nm, LRESULT*) {
        notifications.push_back(LVN_COLUMNCLICK);
        columns.push_back(reinterpret_cast<NMLISTVIEW*>(nm)->iSubItem);
    }
    std::vector<int> columns;
    void OnDeltaPos(NMHDR*, LRESULT* result) { *result = refuseSpin; }
    void OnVScroll(UINT code, UINT pos, CScrollBar* bar) {
        if (bar && bar->GetDlgCtrlID() == 1043 && code == SB_THUMBPOSITION) spins.push_back(pos);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Page, CDialog)
    ON_NOTIFY(LVN_ITEMCHANGED, 1060, &Page::OnItemChanged)
    ON_NOTIFY(NM_DBLCLK, 1060, &Page::OnDblClk)
    ON_NOTIFY(NM_SETFOCUS, 1060, &Page::OnSetFocus)
    ON_NOTIFY(NM_KILLFOCUS, 1060, &Page::OnKillFocus)
    ON_NOTIFY(LVN_COLUMNCLICK, 1060, &Page::OnColumnClick)
    ON_NOTIFY(UDN_DELTAPOS, 1043, &Page::OnDeltaPos)
    ON_WM_VSCROLL()
END_MESSAGE_MAP()

class Controls : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        RegisterControls();
        ASSERT_TRUE(frame.CreateEx(0, AfxRegisterWndClass(0), L"Kurs", WS_OVERLAPPED, CRect(0, 0, 640, 480), nullptr, 0));
        ASSERT_TRUE(page.Create(kControls, &frame));
        page.ShowWindow(SW_SHOW);
        frame.ShowWindow(SW_SHOW);
        combo = static_cast<CComboBox*>(page.GetDlgItem(1035));
        list = static_cast<CListCtrl*>(page.GetDlgItem(1060));
    }
    CWnd frame;
    Page page;
    CComboBox* combo = nullptr;
    CListCtrl* list = nullptr;
};

TEST_F(Controls, TemplateControlsHaveTheirClassNamesAndObjects) {
    wchar_t name[100] = {};
    RealGetWindowClassW(Item(page, 1043), name, 100);
    EXPECT_STREQ(name, L"msctls_updown32");
    GetClassNameW(Item(page, 1041), name, 100);
    EXPECT_STREQ(name, L"Edit");
    EXPECT_TRUE(page.GetDlgItem(1041)->IsKindOf(RUNTIME_CLASS(CEdit)));
    EXPECT_TRUE(page.GetDlgItem(1060)->IsKindOf(RUNTIME_CLASS(CListCtrl)));
    EXPECT_FALSE(page.GetDlgItem(1060)->IsKindOf(RUNTIME_CLASS(CEdit)));
    EXPECT_EQ(HWND(::SendMessageW(Item(page, 1043), UDM_GETBUDDY, 0, 0)), Item(page, 1042)) << "the control before it";
    CRect buddy, arrows;
    ::GetWindowRect(Item(page, 1042), &buddy);
    ::GetWindowRect(Item(page, 1043), &arrows);
    EXPECT_EQ(arrows.left, buddy.right) << "the arrows sit at the right, in the buddy's place";
    EXPECT_EQ(arrows.top, buddy.top);
    EXPECT_EQ(arrows.Height(), buddy.Height());
    CSpinButtonCtrl alone;
    ASSERT_TRUE(alone.Create(WS_CHILD | WS_VISIBLE | UDS_SETBUDDYINT, CRect(250, 40, 265, 60), &page, 1044));
    EXPECT_EQ(alone.GetBuddy(), nullptr) << "no buddy unless asked for";
    alone.SetPos32(50);
    EXPECT_EQ(alone.GetPos32(), 50) << "the default range runs from 100 down to 0";
}

TEST_F(Controls, ComboBoxesSortKeepItemDataAndTellOnlyWhatTheUserDid) {
    EXPECT_EQ(combo->AddString(L"Zürich"), 0);
    EXPECT_EQ(combo->AddString(L"aarau"), 0);
    EXPECT_EQ(combo->AddString(L"Bern"), 1);
    combo->SetItemData(0, 11);
    combo->SetItemData(1, 22);
    combo->SetItemData(2, 33);
    EXPECT_EQ(combo->GetCurSel(), CB_ERR) << "adding selects nothing";
    EXPECT_EQ(combo->SetCurSel(2), 2);
    EXPECT_EQ(page.Count(1035, CBN_SELCHANGE), 0u);
    CString text;
    combo->GetLBText(2, text);
    EXPECT_EQ(text, L"Zürich");
    combo->GetLBText(7, text);
    EXPECT_EQ(text, L"") << "no such row: nothing";
    EXPECT_EQ(combo->DeleteString(3), CB_ERR);
    EXPECT_EQ(combo->FindString(-1, L"BE"), 1);
    EXPECT_EQ(combo->FindStringExact(-1, L"bern"), 1);
    EXPECT_EQ(combo->FindStringExact(-1, L"Be"), CB_ERR);
    EXPECT_EQ(combo->SelectString(-1, L"aa"), 0);
    EXPECT_EQ(combo->GetItemData(combo->GetCurSel()), 11u);
    EXPECT_EQ(combo->GetCount(), 3);
    EXPECT_EQ(combo->FindString(1, L"a"), 0) << "the search goes round after the last item";
    EXPECT_EQ(combo->SelectString(-1, L"Olten"), CB_ERR);
    EXPECT_EQ(combo->GetCurSel(), 0) << "a text not found keeps the choice";
    EXPECT_EQ(combo->GetLBTextLen(2), 6);
    EXPECT_EQ(combo->GetLBTextLen(0), 5);
    EXPECT_EQ(combo->AddString(L"Aarburg"), 1) << "after aarau, before Bern";
    EXPECT_EQ(combo->FindString(4, L"a"), 0) << "a start beyond the last searches from the first";
    EXPECT_EQ(combo->DeleteString(1), 3);
    EXPECT_EQ(combo->AddString(L"BERN"), 2) << "after the one of the same name";
    EXPECT_EQ(combo->DeleteString(2), 3);
    EXPECT_EQ(combo->GetLBTextLen(3), CB_ERR);
    EXPECT_EQ(combo->GetLBText(3, nullptr), CB_ERR);
    EXPECT_EQ(combo->GetItemData(3), DWORD_PTR(CB_ERR));
    EXPECT_EQ(combo->SetItemData(3, 44), CB_ERR);
    EXPECT_EQ(combo->SetCurSel(3), CB_ERR);
    EXPECT_EQ(combo->GetCurSel(), CB_ERR) << "an index beyond the items chooses none";
    EXPECT_EQ(Text(*combo), L"");
    EXPECT_EQ(combo->InsertString(1, L"Olten"), 1) << "inserted where asked, also in a sorted list";
    EXPECT_EQ(combo->InsertString(-1, L"Aarburg"), 4) << "minus one appends";
    combo->GetLBText(1, text);
    EXPECT_EQ(text, L"Olten");
    EXPECT_EQ(combo->DeleteString(4), 4);
    EXPECT_EQ(combo->DeleteString(1), 3);

    ASSERT_TRUE(SelectComboItem(*combo, 1));
    EXPECT_EQ(page.Count(1035, CBN_SELCHANGE), 1u);
    EXPECT_EQ(combo->GetItemData(combo->GetCurSel()), 22u);

    EXPECT_EQ(combo->DeleteString(0), 2);
    EXPECT_EQ(combo->GetItemData(0), 22u) << "item data moves with its item";
    combo->ResetContent();
    EXPECT_EQ(combo->GetCount(), 0);
    EXPECT_EQ(combo->GetCurSel(), CB_ERR);
}

TEST_F(Controls, AnEditableComboReportsTypingAndAcceptsRowsFromAWorker) {
    CComboBox* places = static_cast<CComboBox*>(page.GetDlgItem(1037));
    ASSERT_TRUE(Type(*places, L"Wi"));
    EXPECT_EQ(page.Count(1037, CBN_EDITCHANGE), 2u);
    const HWND h = *places;
    std::atomic<bool> done{false};
    std::thread worker([h, &done] {
        // The layer forwards this thread's calls to the GUI thread: what is tested here.
        qv::ui::AllowForeignThreadCalls allow;
        // The place search fills the list from its thread with messages.
        for (int i = 0; i < 20; ++i) {
            const std::wstring row = L"84" + std::to_wstring(10 + i) + L" Winterthur";
            const LRESULT at = SendMessageW(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
            SendMessageW(h, CB_SETITEMDATA, WPARAM(at), LPARAM(1000 + i));
        }
        SendMessageW(h, CB_SETEDITSEL, 0, MAKELPARAM(2, 2));
        done = true;
    });
    // The GUI thread keeps running while the worker sends; joining it blindly would block both.
    ASSERT_TRUE(WaitFor([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(places->GetCount(), 20);
    EXPECT_EQ(places->GetItemData(19), 1019u);
    EXPECT_EQ(Text(*places), L"Wi") << "the typed text stays while rows arrive";
    EXPECT_EQ(LOWORD(places->GetEditSel()), 2);

    // While the list is open the field keeps the typing; Return without a marked row, and Tab,
    // close it and leave the text.
    places->ShowDropDown(TRUE);
    ASSERT_TRUE(WaitFor([&] { return places->GetDroppedState() != FALSE; }));
    ASSERT_TRUE(Type(*places, L"n"));
    EXPECT_EQ(Text(*places), L"Win");
    EXPECT_TRUE(places->GetDroppedState());
    ASSERT_TRUE(PressKey(nullptr, VK_RETURN));
    EXPECT_TRUE(WaitFor([&] { return !places->GetDroppedState(); }));
    EXPECT_EQ(Text(*places), L"Win") << "no row taken";
    places->ShowDropDown(TRUE);
    ASSERT_TRUE(WaitFor([&] { return places->GetDroppedState() != FALSE; }));
    ASSERT_TRUE(PressKey(nullptr, VK_TAB));
    EXPECT_TRUE(WaitFor([&] { return !places->GetDroppedState(); }));
    EXPECT_FALSE(HasFocus(*places)) << "Tab went on to the next control";
    EXPECT_EQ(Text(*places), L"Win");
    EXPECT_EQ(page.Count(1037, CBN_CLOSEUP), 2u);
    EXPECT_EQ(page.Count(1037, CBN_DROPDOWN), 2u);
    EXPECT_EQ(page.Count(1037, CBN_SELCHANGE), 0u);

    places->SetEditSel(0, -1);
    EXPECT_EQ(places->GetEditSel(), DWORD(MAKELONG(0, 3))) << "minus one: to the end";
    places->SetEditSel(0, 0);
    EXPECT_EQ(places->GetEditSel(), DWORD(0)) << "nothing chosen, the caret at the start";
    places->SetEditSel(-1, 0);
    EXPECT_EQ(HIWORD(places->GetEditSel()), LOWORD(places->GetEditSel())) << "no selection";
    EXPECT_EQ(combo->SetEditSel(0, 1), CB_ERR) << "a list without a field";
    places->ResetContent();
    EXPECT_EQ(Text(*places), L"") << "emptied, the field too";
    EXPECT_EQ(places->GetCount(), 0);
}

TEST_F(Controls, EditsReportChangesAndKeepTheirLimitAndReadOnlyState) {
    CEdit* edit = static_cast<CEdit*>(page.GetDlgItem(1041));
    edit->SetWindowText(L"Grundkurs");
    EXPECT_EQ(page.Count(1041, EN_CHANGE), 1u) << "setting the text is a change too";
    edit->LimitText(12);
    Type(*edit, L" Atemschutz");
    EXPECT_EQ(Text(*edit), L"Grundkurs At");
    edit->SetSel(0, -1);
    int start = 0, end = 0;
    edit->GetSel(start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 12);
    edit->SetSel(-1, 0);
    EXPECT_EQ(edit->GetSel(), DWORD(MAKELONG(12, 12))) << "no selection: the caret stays where it was";
    EXPECT_EQ(edit->GetLimitText(), 12u);
    CRect inside;
    edit->GetClientRect(&inside);
    const CPoint blank(inside.right - 4, inside.Height() / 2);
    EXPECT_EQ(PixelAt(*edit, blank.x, blank.y), GetSysColor(COLOR_WINDOW));
    CEdit bare;
    ASSERT_TRUE(bare.Create(WS_CHILD | WS_VISIBLE, CRect(150, 60, 250, 80), &page, 1045));
    EXPECT_EQ(PixelAt(bare, 0, 10), GetSysColor(COLOR_WINDOW)) << "a field without a border is white to its edge";
    EXPECT_NE(PixelAt(*edit, 0, blank.y), GetSysColor(COLOR_WINDOW)) << "one with a border has its line";
    bare.DestroyWindow();
    CEdit fixed;
    ASSERT_TRUE(fixed.Create(WS_CHILD | WS_VISIBLE | WS_BORDER | ES_READONLY, CRect(150, 60, 250, 80), &page, 1046));
    Type(fixed, L"x");
    EXPECT_EQ(Text(fixed), L"") << "made read-only, it takes no typing";
    bare.GetSel(start, end);
    EXPECT_EQ(start + end, 0) << "a field that is gone has no selection";
    EXPECT_TRUE(edit->SetReadOnly(TRUE));
    EXPECT_TRUE(ReadOnly(*edit));
    EXPECT_EQ(PixelAt(*edit, blank.x, blank.y), GetSysColor(COLOR_BTNFACE)) << "a read-only field is grey";
    const std::size_t before = page.Count(1041, EN_CHANGE);
    Retype(*edit, L"anders");
    EXPECT_EQ(Text(*edit), L"Grundkurs At");
    EXPECT_EQ(page.Count(1041, EN_CHANGE), before);
    edit->SetReadOnly(FALSE);
    EXPECT_FALSE(ReadOnly(*edit));
    edit->LimitText(0);
    EXPECT_EQ(edit->GetLimitText(), 0x7FFFFFFEu) << "zero lifts the limit";
    ASSERT_TRUE(Focus(Item(page, 1042)));
    const std::size_t gained = page.Count(1041, EN_SETFOCUS), lost = page.Count(1041, EN_KILLFOCUS);
    ASSERT_TRUE(Focus(*edit));
    ASSERT_TRUE(Focus(Item(page, 1042)));
    EXPECT_EQ(page.Count(1041, EN_SETFOCUS), gained + 1);
    EXPECT_EQ(page.Count(1041, EN_KILLFOCUS), lost + 1);

    // The program's edits of a single line: replaced, undone, marked as changed.
    edit->SetWindowText(L"Grundkurs");
    EXPECT_EQ(edit->GetSel(), DWORD(0)) << "a text set is shown from its start";
    edit->SetSel(0, 0);
    EXPECT_EQ(edit->GetSel(), DWORD(0)) << "an end of zero selects nothing";
    EXPECT_EQ(edit->GetLineCount(), 1);
    EXPECT_FALSE(edit->GetModify());
    edit->SetSel(0, 5);
    edit->ReplaceSel(L"Kader");
    EXPECT_EQ(Text(*edit), L"Kaderkurs");
    EXPECT_TRUE(edit->CanUndo());
    EXPECT_TRUE(edit->Undo());
    EXPECT_EQ(Text(*edit), L"Grundkurs");
    edit->SetModify(FALSE);
    ASSERT_TRUE(Type(*edit, L"e"));
    EXPECT_TRUE(edit->GetModify()) << "the user's typing marks it";
    edit->SetModify(FALSE);
    EXPECT_FALSE(edit->GetModify());
}

TEST_F(Controls, TheUpDownControlStepsItsBuddyAndMayBeRefused) {
    CSpinButtonCtrl* spin = static_cast<CSpinButtonCtrl*>(page.GetDlgItem(1043));
    spin->SetRange32(0, 99);
    spin->SetPos32(5);
    EXPECT_EQ(Text(Item(page, 1042)), L"5");
    PressKey(Item(page, 1042), VK_UP);
    EXPECT_EQ(spin->GetPos32(), 6);
    EXPECT_EQ(Text(Item(page, 1042)), L"6");
    EXPECT_EQ(page.spins, std::vector<UINT>{6});
    page.refuseSpin = TRUE;
    PressKey(Item(page, 1042), VK_UP);
    EXPECT_EQ(spin->GetPos32(), 6) << "the parent refused the step";
    page.refuseSpin = FALSE;
    CRect arrows;
    spin->GetClientRect(&arrows);
    ASSERT_TRUE(ClickAt(*spin, arrows.Width() / 2, 2));
    EXPECT_EQ(spin->GetPos32(), 7) << "the upper arrow steps up";
    ASSERT_TRUE(ClickAt(*spin, arrows.Width() / 2, arrows.Height() - 2));
    EXPECT_EQ(spin->GetPos32(), 6) << "the lower one down";
    EXPECT_EQ(page.spins, (std::vector<UINT>{6, 7, 6}));
    ASSERT_TRUE(ClickAt(*spin, arrows.Width() / 2, arrows.Height() / 2 - 1));
    EXPECT_EQ(spin->GetPos32(), 7) << "the upper arrow reaches down to the middle";
    Retype(Item(page, 1042), L"98");
    PressKey(Item(page, 1042), VK_UP);
    PressKey(Item(page, 1042), VK_UP);
    EXPECT_EQ(spin->GetPos32(), 99) << "the position read from the buddy stops at the range";
    EXPECT_EQ(Text(Item(page, 1042)), L"99");
    PressKey(Item(page, 1042), VK_DOWN);
    EXPECT_EQ(Text(Item(page, 1042)), L"98") << "down steps back";
    spin->SetRange(0, 10);
    EXPECT_EQ(spin->GetRange(), DWORD(MAKELONG(10, 0))) << "the upper end in the low word";
    int lower = -1, upper = -1;
    spin->GetRange(lower, upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 10);
    EXPECT_EQ(spin->SetPos32(3), 10) << "the old position, held in the new range";
    EXPECT_EQ(spin->GetPos(), 3);
    spin->SetRange32(10, 0);
    PressKey(Item(page, 1042), VK_UP);
    EXPECT_EQ(spin->GetPos32(), 2) << "a range that runs down steps down on up";
    EXPECT_EQ(spin->SetPos(-5), 2);
    EXPECT_EQ(spin->GetPos32(), 0);
    BOOL error = FALSE;
    Retype(Item(page, 1042), L"");
    spin->GetPos32(&error);
    EXPECT_TRUE(error) << "an empty buddy is no number";
    EXPECT_NE(HIWORD(DWORD(spin->GetPos())), 0) << "and says so in the high word";
}

TEST_F(Controls, CheckListBoxesCheckAndDisableItems) {
    CCheckListBox checks;
    ASSERT_TRUE(checks.SubclassDlgItem(1051, &page));
    checks.AddString(L"Grundkurs");
    checks.AddString(L"Atemschutz");
    checks.SetCheck(1, BST_CHECKED);
    EXPECT_EQ(checks.GetCheck(0), 0);
    EXPECT_EQ(checks.GetCheck(1), 1);
    checks.SetCheck(0, BST_INDETERMINATE);
    EXPECT_EQ(checks.GetCheck(0), 2);
    checks.SetCheck(0, BST_UNCHECKED);
    EXPECT_EQ(checks.GetCheck(0), 0);
    checks.Enable(0, FALSE);
    EXPECT_FALSE(checks.IsEnabled(0));
    EXPECT_TRUE(checks.IsEnabled(1));
    EXPECT_EQ(checks.GetCount(), 2);
    checks.Enable(0, TRUE);
    EXPECT_TRUE(checks.IsEnabled(0));
    // The user ticks a box with the space key; the list tells its owner, the program's ticks not.
    EXPECT_EQ(page.Count(1051, CLBN_CHKCHANGE), 0u);
    ASSERT_TRUE(SelectListBoxItem(checks.m_hWnd, 1));
    ASSERT_TRUE(PressKey(checks.m_hWnd, VK_SPACE));
    EXPECT_EQ(checks.GetCheck(1), 0);
    EXPECT_EQ(page.Count(1051, CLBN_CHKCHANGE), 1u);
    ASSERT_TRUE(SelectListBoxItem(checks.m_hWnd, 0));
    ASSERT_TRUE(PressKey(checks.m_hWnd, VK_SPACE));
    EXPECT_EQ(checks.GetCheck(0), 1) << "every item has its box, the first too";
    EXPECT_FALSE(checks.IsEnabled(2));

    CListBox* plain = static_cast<CListBox*>(page.GetDlgItem(1050));
    plain->AddString(L"B");
    plain->AddString(L"A");
    plain->SetItemData(1, 7);
    ASSERT_TRUE(SelectListBoxItem(*plain, 1));
    EXPECT_EQ(plain->GetCurSel(), 1);
    EXPECT_EQ(page.Count(1050, LBN_SELCHANGE), 1u);
    plain->SetCurSel(0);
    EXPECT_EQ(page.Count(1050, LBN_SELCHANGE), 1u) << "the program's choice is not reported";
    EXPECT_EQ(plain->InsertString(1, L"Chur"), 1);
    EXPECT_EQ(plain->InsertString(7, L"Davos"), 3) << "beyond the end: appended";
    CString text;
    plain->GetText(1, text);
    EXPECT_EQ(text, L"Chur");
    EXPECT_EQ(plain->GetTextLen(3), 5);
    EXPECT_EQ(plain->GetTextLen(4), LB_ERR);
    EXPECT_EQ(plain->GetText(4, nullptr), LB_ERR);
    EXPECT_EQ(plain->FindString(-1, L"d"), 3);
    EXPECT_EQ(plain->FindString(3, L"c"), 1) << "the search goes round";
    EXPECT_EQ(plain->FindStringExact(-1, L"chur"), 1);
    EXPECT_EQ(plain->FindStringExact(-1, L"Ch"), LB_ERR);
    EXPECT_EQ(plain->SelectString(-1, L"Da"), 3);
    EXPECT_EQ(plain->GetCurSel(), 3);
    EXPECT_EQ(plain->GetSel(3), 1);
    EXPECT_EQ(plain->GetSel(0), 0);
    EXPECT_EQ(plain->GetItemData(2), 7u) << "the data moved with its item";
    EXPECT_EQ(plain->GetItemData(4), DWORD_PTR(LB_ERR));
    EXPECT_EQ(plain->SetItemData(4, 1), LB_ERR);
    EXPECT_EQ(plain->SetCurSel(9), LB_ERR);
    EXPECT_EQ(plain->GetCurSel(), LB_ERR);
    EXPECT_EQ(plain->DeleteString(1), 3);
    EXPECT_EQ(plain->DeleteString(3), LB_ERR);
    EXPECT_EQ(plain->GetTopIndex(), 0);
    auto* shown = qobject_cast<QListWidget*>(Widget(*plain));
    ASSERT_NE(shown, nullptr);
    EXPECT_FALSE(shown->item(0)->data(Qt::CheckStateRole).isValid()) << "a plain list shows no boxes";
    EXPECT_EQ(plain->GetItemHeight(0), QFontMetrics(Widget(*plain)->font()).height() + 2) << "rows of the font's height";
    EXPECT_EQ(page.Count(1050, LBN_SELCHANGE), 1u);
}

TEST_F(Controls, TheProgressBarKeepsItsRangeAndSteps) {
    CProgressCtrl* bar = static_cast<CProgressCtrl*>(page.GetDlgItem(1070));
    bar->SetRange32(0, 50);
    bar->SetStep(20);
    bar->StepIt();
    bar->StepIt();
    EXPECT_EQ(bar->GetPos(), 40);
    bar->OffsetPos(100);
    EXPECT_EQ(bar->GetPos(), 50);
    int lo = -1, hi = -1;
    bar->GetRange(lo, hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 50);
    EXPECT_EQ(bar->SetPos(45), 50) << "the old position";
    EXPECT_EQ(bar->StepIt(), 45);
    EXPECT_EQ(bar->GetPos(), 15) << "a step beyond the end starts again from the start";
    EXPECT_EQ(bar->OffsetPos(-20), 15);
    EXPECT_EQ(bar->GetPos(), 0);
    EXPECT_EQ(bar->SetStep(5), 20);
    bar->SetRange(10, 20);
    bar->GetRange(lo, hi);
    EXPECT_EQ(lo, 10);
    EXPECT_EQ(hi, 20);
    EXPECT_EQ(bar->GetPos(), 10) << "held in the new range";
    EXPECT_EQ(bar->SetPos(99), 10);
    EXPECT_EQ(bar->GetPos(), 20);
}

// ---- the report list

class ReportList : public Controls {
protected:
    void SetUp() override {
        Controls::SetUp();
        list->InsertColumn(0, L"Name", LVCFMT_LEFT, 120);
        list->InsertColumn(1, L"Status", LVCFMT_LEFT, 60);
        const wchar_t* names[] = {L"Meier", L"Müller", L"Ammann"};
        for (int i = 0; i < 3; ++i) {
            list->InsertItem(LVIF_TEXT | LVIF_PARAM, i, names[i], 0, 0, 0, LPARAM(100 + i));
            list->SetItemText(i, 1, L"angemeldet");
        }
    }
};

TEST_F(ReportList, SelectingAnotherRowTellsTheOldRowLosingBeforeTheNewRowGaining) {
    ASSERT_TRUE(SelectRow(*list, 0));
    page.changes.clear();
    ASSERT_TRUE(SelectRow(*list, 2));
    ASSERT_EQ(page.changes.size(), 2u);
    EXPECT_EQ(page.changes[0].iItem, 0);
    EXPECT_EQ(page.changes[0].uOldState & LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(page.changes[0].uNewState & LVIS_SELECTED, 0u);
    EXPECT_EQ(page.changes[0].lParam, 100);
    EXPECT_EQ(page.changes[1].iItem, 2);
    EXPECT_EQ(page.changes[1].uOldState & LVIS_SELECTED, 0u);
    EXPECT_EQ(page.changes[1].uNewState & (LVIS_SELECTED | LVIS_FOCUSED), LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ(page.changes[1].uChanged, LVIF_STATE);
    EXPECT_EQ(page.changes[1].iSubItem, 0);
    EXPECT_EQ(page.changes[1].lParam, 102);
    EXPECT_EQ(list->GetNextItem(-1, LVNI_SELECTED), 2);
    EXPECT_EQ(list->GetSelectedCount(), 1u);
    EXPECT_TRUE(RowSelected(*list, 2));
    EXPECT_FALSE(RowSelected(*list, 0));
}

TEST_F(ReportList, TheProgramsSelectionIsReportedAndKeptSingle) {
    list->SetItemState(1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ASSERT_EQ(page.changes.size(), 1u);
    list->SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(list->GetSelectedCount(), 1u) << "a single-selection list keeps one row";
    ASSERT_EQ(page.changes.size(), 3u);
    EXPECT_EQ(page.changes[1].iItem, 1);
    EXPECT_EQ(page.changes[1].uNewState & LVIS_SELECTED, 0u);
    EXPECT_TRUE(RowSelected(*list, 0)) << "the view shows the program's selection";
    POSITION pos = list->GetFirstSelectedItemPosition();
    EXPECT_EQ(list->GetNextSelectedItem(pos), 0);
    EXPECT_EQ(pos, nullptr);
    // One row has the focus: focusing another by program takes it from the old one.
    list->SetItemState(2, LVIS_FOCUSED, LVIS_FOCUSED);
    EXPECT_EQ(list->GetNextItem(-1, LVNI_FOCUSED), 2);
    EXPECT_EQ(list->GetItemState(1, LVIS_FOCUSED), 0u);
    EXPECT_EQ(list->GetItemState(2, LVIS_FOCUSED), UINT(LVIS_FOCUSED));
    EXPECT_EQ(list->GetItemState(0, LVIS_SELECTED), UINT(LVIS_SELECTED)) << "the selection stays";
    EXPECT_EQ(list->GetItemState(3, LVIS_SELECTED), 0u);
    EXPECT_EQ(list->GetNextItem(-1, LVNI_ALL), 0);
    EXPECT_EQ(list->GetNextItem(0, LVNI_ALL), 1);
    EXPECT_EQ(list->GetNextItem(2, LVNI_ALL), -1);
    EXPECT_EQ(list->SetSelectionMark(1), -1) << "no mark before";
    EXPECT_EQ(list->SetSelectionMark(2), 1);
    const std::size_t told = page.changes.size();
    list->SetItemState(-1, 0, LVIS_SELECTED);
    EXPECT_EQ(list->GetSelectedCount(), 0u) << "minus one: every row";
    EXPECT_FALSE(RowSelected(*list, 0));
    ASSERT_EQ(page.changes.size(), told + 1) << "only the row that changed is told";
    EXPECT_EQ(page.changes.back().iItem, 0);
    list->SetItemState(2, LVIS_FOCUSED, LVIS_FOCUSED);
    EXPECT_EQ(page.changes.size(), told + 1) << "no change, no word";
    list->InsertItem(LVIF_TEXT | LVIF_STATE, 3, L"Zaugg", LVIS_SELECTED, LVIS_SELECTED, 0, 0);
    EXPECT_TRUE(RowSelected(*list, 3)) << "a row may come selected";
}

TEST_F(ReportList, ItemsKeepTheirDataThroughSortingAndDeletion) {
    list->SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    list->SortItems([](LPARAM a, LPARAM b, LPARAM) { return int(b - a); }, 0);
    EXPECT_EQ(list->GetItemText(0, 0), L"Ammann");
    EXPECT_EQ(list->GetItemData(0), 102u);
    EXPECT_EQ(list->GetNextItem(-1, LVNI_SELECTED), 1) << "the selection moves with its row";
    EXPECT_TRUE(RowSelected(*list, 1)) << "also as shown";
    EXPECT_FALSE(RowSelected(*list, 2));
    EXPECT_EQ(list->GetItemData(1), 101u);
    EXPECT_TRUE(list->SetItemData(1, 111));
    EXPECT_EQ(list->GetItemData(1), 111u);
    LVFINDINFOW find;
    find.flags = LVFI_PARAM;
    find.lParam = 100;
    EXPECT_EQ(list->FindItem(&find), 2);
    EXPECT_TRUE(list->DeleteItem(0));
    EXPECT_EQ(list->GetItemCount(), 2);
    EXPECT_EQ(Cell(*list, 0, 0), L"Müller");
    EXPECT_EQ(Cell(*list, 0, 1), L"angemeldet");

    // What a row holds comes back as it was given: image, indent, state, text cut to the room.
    LVITEMW it;
    it.mask = LVIF_IMAGE | LVIF_INDENT | LVIF_PARAM;
    it.iItem = 1;
    it.iImage = 5;
    it.iIndent = 2;
    it.lParam = 55;
    ASSERT_TRUE(list->SetItem(&it));
    it.iSubItem = 1;
    it.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
    it.lParam = 999;
    it.iImage = 7;
    it.pszText = const_cast<LPWSTR>(L"abgemeldet");
    ASSERT_TRUE(list->SetItem(&it));
    EXPECT_EQ(Cell(*list, 1, 1), L"abgemeldet");
    wchar_t buffer[4] = {};
    LVITEMW back;
    back.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_INDENT | LVIF_PARAM | LVIF_STATE;
    back.iItem = 1;
    back.pszText = buffer;
    back.cchTextMax = 4;
    back.stateMask = LVIS_SELECTED;
    ASSERT_TRUE(list->GetItem(&back));
    EXPECT_STREQ(buffer, L"Mei");
    EXPECT_EQ(back.iImage, 5) << "a later column's image and data are not the row's";
    EXPECT_EQ(back.iIndent, 2);
    EXPECT_EQ(back.lParam, 55);
    EXPECT_EQ(back.state, 0u);
    EXPECT_EQ(list->GetItemText(1, 1, buffer, 4), 3);
    EXPECT_STREQ(buffer, L"abg");
    back.iItem = 2;
    EXPECT_FALSE(list->GetItem(&back));
    EXPECT_EQ(list->GetItemText(2, 0), L"");
    EXPECT_FALSE(list->SetItemText(2, 0, L"x"));
    const std::wstring remark(700, L'x');
    ASSERT_TRUE(list->SetItemText(0, 1, remark.c_str()));
    EXPECT_EQ(list->GetItemText(0, 1).GetLength(), 700) << "a long text comes back whole";
    EXPECT_EQ(list->InsertItem(LVIF_TEXT, 9, L"Zaugg", 0, 0, 0, 0), 2) << "beyond the end: appended";
    LVITEMW sub;
    sub.mask = LVIF_TEXT;
    sub.iItem = 0;
    sub.iSubItem = 1;
    sub.pszText = const_cast<LPWSTR>(L"x");
    EXPECT_EQ(list->InsertItem(&sub), -1) << "a row is added by its first column";
    EXPECT_EQ(list->GetItemCount(), 3);
    list->SortItemsEx([](LPARAM a, LPARAM b, LPARAM) { return int(b - a); }, 0);
    EXPECT_EQ(list->GetItemText(0, 0), L"Zaugg") << "by index: the last row first";
    EXPECT_EQ(list->GetItemText(2, 0), L"Müller");
}

TEST_F(ReportList, ColumnWidthsAreReadThroughTheHeaderAlsoFromAWorker) {
    CHeaderCtrl* header = list->GetHeaderCtrl();
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->GetItemCount(), 2);
    ASSERT_TRUE(ResizeColumn(*list, 1, 90));
    const HWND h = header->m_hWnd;
    int width = -1;
    std::thread worker([&] {
        // The layer forwards this thread's calls to the GUI thread: what is tested here.
        qv::ui::AllowForeignThreadCalls allow;
        HDITEMW item;
        item.mask = HDI_WIDTH;
        if (SendMessageW(h, HDM_GETITEMW, 1, reinterpret_cast<LPARAM>(&item))) width = item.cxy;
    });
    ASSERT_TRUE(WaitFor([&] { return width != -1; }));
    worker.join();
    EXPECT_EQ(width, 90);
    list->SetColumnWidth(0, 0);
    EXPECT_EQ(list->GetColumnWidth(0), 0) << "a hidden column has width 0";
}

TEST_F(ReportList, DoubleClicksColumnClicksAndCheckBoxesAreReported) {
    DoubleClickRow(*list, 1);
    ClickColumnHeader(*list, 1);
    EXPECT_NE(std::find(page.notifications.begin(), page.notifications.end(), NM_DBLCLK), page.notifications.end());
    EXPECT_EQ(page.columns, std::vector<int>{1}) << "the column clicked";
    list->ModifyStyle(0, LVS_NOSORTHEADER);
    ClickColumnHeader(*list, 0);
    EXPECT_EQ(page.columns.size(), 1u) << "a header that does not sort takes no clicks";
    CRect withHeader, without;
    ASSERT_TRUE(list->GetItemRect(0, &withHeader, LVIR_BOUNDS));
    list->ModifyStyle(0, LVS_NOCOLUMNHEADER);
    Pump();
    ASSERT_TRUE(list->GetItemRect(0, &without, LVIR_BOUNDS));
    EXPECT_LT(without.top, withHeader.top) << "without its header the rows start at the top";
    EXPECT_NE(std::find(page.notifications.begin(), page.notifications.end(), NM_SETFOCUS), page.notifications.end())
        << "the list tells when it takes the focus";
    ASSERT_TRUE(Focus(page.GetDlgItem(1041)->m_hWnd));
    EXPECT_EQ(page.notifications.back(), UINT(NM_KILLFOCUS)) << "and when it loses it";

    list->SetExtendedStyle(list->GetExtendedStyle() | LVS_EX_CHECKBOXES);
    EXPECT_FALSE(list->GetCheck(2));
    page.changes.clear();
    ASSERT_TRUE(ClickRowCheckBox(*list, 2));
    EXPECT_TRUE(list->GetCheck(2));
    ASSERT_EQ(page.changes.size(), 1u);
    EXPECT_EQ(page.changes[0].uNewState & LVIS_STATEIMAGEMASK, INDEXTOSTATEIMAGEMASK(2));
    EXPECT_EQ(page.changes[0].uOldState & LVIS_STATEIMAGEMASK, INDEXTOSTATEIMAGEMASK(1));
}

TEST_F(ReportList, RowsAddedByAWorkerArriveInOrder) {
    list->DeleteAllItems();
    const HWND h = *list;
    std::atomic<bool> done{false};
    std::thread worker([h, &done] {
        // The layer forwards this thread's calls to the GUI thread: what is tested here.
        qv::ui::AllowForeignThreadCalls allow;
        CListCtrl remote;
        remote.Attach(h);
        for (int i = 0; i < 50; ++i) {
            const int row = remote.InsertItem(LVIF_TEXT | LVIF_PARAM, remote.GetItemCount(), std::to_wstring(i).c_str(), 0, 0, 0, i);
            remote.SetItemText(row, 1, L"x");
        }
        remote.Detach();
        done = true;
    });
    ASSERT_TRUE(WaitFor([&] { return done.load(); }));
    worker.join();
    ASSERT_EQ(list->GetItemCount(), 50);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(list->GetItemData(i), DWORD_PTR(i));
}

// ---- tab strip

class TabHost : public CWnd {
public:
    std::vector<WPARAM> changes;
    LRESULT OnChangeActiveTab(WPARAM w, LPARAM) {
        changes.push_back(w);
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(TabHost, CWnd)
    ON_REGISTERED_MESSAGE(AFX_WM_CHANGE_ACTIVE_TAB, &TabHost::OnChangeActiveTab)
END_MESSAGE_MAP()

TEST_F(Controls, TheTabStripShowsOnePageAndTellsItsParentAboutChanges) {
    TabHost host;
    ASSERT_TRUE(host.CreateEx(0, AfxRegisterWndClass(0), L"", WS_OVERLAPPED, CRect(0, 0, 400, 300), nullptr, 0));
    CMFCTabCtrl tabs;
    ASSERT_TRUE(tabs.Create(CMFCTabCtrl::STYLE_3D, CRect(0, 0, 400, 300), &host, 1, CMFCTabCtrl::LOCATION_TOP));
    CStatic one, two;
    one.Create(L"Teilnehmer", WS_CHILD | WS_VISIBLE, CRect(0, 0, 10, 10), &host, 2);
    two.Create(L"Instruktoren", WS_CHILD | WS_VISIBLE, CRect(0, 0, 10, 10), &host, 3);
    tabs.InsertTab(&one, L"Teilnehmer", -1, UINT(-1), FALSE);
    tabs.InsertTab(&two, L"Instruktoren", 1, UINT(-1), FALSE);
    host.ShowWindow(SW_SHOW);
    EXPECT_EQ(tabs.GetTabsNum(), 2);
    EXPECT_EQ(tabs.GetActiveTab(), 0);
    EXPECT_TRUE(one.IsWindowVisible());
    EXPECT_FALSE(two.IsWindowVisible());
    EXPECT_EQ(one.GetParent()->m_hWnd, tabs.m_hWnd) << "pages live in the strip";
    EXPECT_TRUE(host.changes.empty()) << "the first tab is active without a change";

    ASSERT_TRUE(ClickTab(tabs, 1));
    EXPECT_EQ(host.changes, std::vector<WPARAM>{1});
    EXPECT_TRUE(two.IsWindowVisible());
    EXPECT_FALSE(one.IsWindowVisible());
    CRect area, page;
    tabs.GetWndArea(area);
    two.GetWindowRect(&page);
    tabs.ScreenToClient(&page);
    EXPECT_EQ(page, area) << "the page fills the page area";

    tabs.SetActiveTab(1);
    EXPECT_EQ(host.changes.size(), 1u) << "no change, no message";
    // The program's change is told once, with the new index.
    EXPECT_TRUE(tabs.SetActiveTab(0));
    EXPECT_EQ(host.changes, (std::vector<WPARAM>{1, 0}));
    EXPECT_TRUE(one.IsWindowVisible());
    EXPECT_FALSE(two.IsWindowVisible());
    EXPECT_TRUE(tabs.RemoveTab(1));
    EXPECT_EQ(tabs.GetActiveTab(), 0);
    EXPECT_EQ(tabs.GetTabWnd(0)->m_hWnd, one.m_hWnd);
    tabs.RemoveAllTabs();
    EXPECT_EQ(tabs.GetTabsNum(), 0);
}

}  // namespace
