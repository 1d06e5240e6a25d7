// Dialogs from templates: modal runs answered by the test script, data exchange with its checks,
// modeless child dialogs in dialog units, notifications and their reflection to the control.
#include "ui_fixture.h"
#include <QPushButton>

namespace {

using namespace qv::ui::test;

enum : UINT { kEditDialog = 910, kChildDialog = 911, IDC_STATIC = 0xFFFF };

void RegisterTemplates() {
    using namespace qv::ui;
    DialogTemplate edit;
    edit.id = kEditDialog;
    edit.caption = L"Anzahl Plätze";
    edit.cx = 180;
    edit.cy = 70;
    edit.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    edit.items = {LText(L"&Plätze:", IDC_STATIC, 5, 7, 40, 8), EditText(1000, 50, 5, 60, 12, ES_AUTOHSCROLL),
                  AutoCheckBox(L"Warteliste führen", 1001, 5, 22, 100, 10), EditText(1002, 50, 36, 60, 12),
                  DefPushButton(L"OK", IDOK, 125, 5, 50, 14), PushButton(L"Abbrechen", IDCANCEL, 125, 22, 50, 14)};
    RegisterDialogTemplate(uitest::Module(), edit);

    DialogTemplate child;
    child.id = kChildDialog;
    child.cx = 200;
    child.cy = 100;
    child.style = WS_CHILD | DS_CONTROL | DS_SETFONT;
    child.items = {PushButton(L"Hinzufügen", 1030, 150, 5, 45, 14), PushButton(L"Entfernen", 1032, 150, 22, 45, 14),
                   AutoRadioButton(L"Teilnehmer", 1063, 5, 5, 60, 10, WS_GROUP | WS_TABSTOP),
                   AutoRadioButton(L"Instruktoren", 1064, 5, 17, 60, 10),
                   AutoRadioButton(L"Alle", 1065, 5, 29, 60, 10),
                   AutoRadioButton(L"Heute", 1070, 70, 5, 60, 10, WS_GROUP | WS_TABSTOP),
                   AutoRadioButton(L"Morgen", 1071, 70, 17, 60, 10),
                   LText(L"", 1090, 5, 80, 140, 14, SS_SUNKEN)};
    RegisterDialogTemplate(uitest::Module(), child);
}

class PlacesDlg : public CDialog {
public:
    PlacesDlg() : CDialog(kEditDialog) {}
    long places = 12;
    BOOL waitingList = FALSE;
    CString remark = L"Bemerkung";
    int initCalls = 0;
    BOOL OnInitDialog() override {
        ++initCalls;
        return CDialog::OnInitDialog();
    }
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Text(dx, 1000, places);
        DDV_MinMaxLong(dx, places, 0, 99);
        DDX_Check(dx, 1001, waitingList);
        DDX_Text(dx, 1002, remark);
        DDV_MaxChars(dx, remark, 10);
    }
};

class Dialogs : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        RegisterTemplates();
    }
};

TEST_F(Dialogs, AModalDialogIsHandedToTheScriptWhichAnswersIt) {
    PlacesDlg dlg;
    script.ExpectModal(kEditDialog, [&](qv::IModalDialog& modal) {
        EXPECT_EQ(modal.Caption(), L"Anzahl Plätze");
        EXPECT_TRUE(Visible(dlg)) << "the dialog is up when the script gets it";
        EXPECT_EQ(Text(Item(dlg, 1000)), L"12") << "OnInitDialog loaded the members";
        Retype(Item(dlg, 1000), L"24");
        Click(dlg, 1001);
        Click(dlg, IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.places, 24);
    EXPECT_TRUE(dlg.waitingList);
    EXPECT_EQ(dlg.initCalls, 1);
    EXPECT_EQ(dlg.m_hWnd, nullptr) << "the window is gone after the run";
}

TEST_F(Dialogs, AFailedCheckKeepsTheDialogOpenWithTheFocusOnTheField) {
    PlacesDlg dlg;
    script.ExpectModal(kEditDialog, [&](qv::IModalDialog& modal) {
        script.ExpectMessageBox(IDOK, L"ganze Zahl");
        Retype(Item(dlg, 1000), L"zwölf");
        Click(dlg, IDOK);
        EXPECT_FALSE(modal.IsModalEnded());
        EXPECT_TRUE(HasFocus(Item(dlg, 1000)));

        script.ExpectMessageBox(IDOK, L"zwischen 0 und 99");
        Retype(Item(dlg, 1000), L"100");
        Click(dlg, IDOK);
        EXPECT_FALSE(modal.IsModalEnded());

        // The length check also limits the edit, so the user cannot type past it.
        Retype(Item(dlg, 1000), L"99");
        Retype(Item(dlg, 1002), L"viel zu lange Bemerkung");
        EXPECT_EQ(Text(Item(dlg, 1002)), L"viel zu la");
        Click(dlg, IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.places, 99);
    EXPECT_EQ(dlg.remark, L"viel zu la");
}

TEST_F(Dialogs, ACancelledDialogLeavesTheMembers) {
    PlacesDlg dlg;
    script.ExpectModal(kEditDialog, [&](qv::IModalDialog&) {
        Retype(Item(dlg, 1000), L"55");
        PressKey(Item(dlg, 1000), VK_ESCAPE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.places, 12);
}

TEST_F(Dialogs, AMissingTemplateGivesMinusOneAndShowsNothing) {
    CDialog dlg(4711);
    EXPECT_EQ(dlg.DoModal(), -1);
}

TEST_F(Dialogs, TheProgramMovesTheFocusPastDisabledAndHiddenControls) {
    PlacesDlg dlg;
    ASSERT_TRUE(dlg.Create(kEditDialog));
    dlg.ShowWindow(SW_SHOW);
    const auto focusIs = [&](int id) { return WaitFor([&] { return HasFocus(Item(dlg, id)); }, 2000); };
    dlg.GotoDlgCtrl(dlg.GetDlgItem(1002));
    EXPECT_TRUE(focusIs(1002));
    dlg.GotoDlgCtrl(dlg.GetDlgItem(1000));
    EXPECT_TRUE(focusIs(1000));
    dlg.NextDlgCtrl();
    EXPECT_TRUE(focusIs(1001));
    dlg.PrevDlgCtrl();
    EXPECT_TRUE(focusIs(1000));
    // The check box cannot be used and the second field is not shown: both are passed over.
    dlg.GetDlgItem(1001)->EnableWindow(FALSE);
    dlg.GetDlgItem(1002)->ShowWindow(SW_HIDE);
    dlg.NextDlgCtrl();
    EXPECT_TRUE(focusIs(IDOK));
    dlg.PrevDlgCtrl();
    EXPECT_TRUE(focusIs(1000));
    dlg.DestroyWindow();
}

class Page : public CDialog {
public:
    Page() : CDialog(kChildDialog) {}
    std::vector<UINT> clicks;
    int radio = 1;
    HBRUSH status = nullptr;
    void OnAdd() { clicks.push_back(1030); }
    void OnRemove() { clicks.push_back(1032); }
    void DoDataExchange(CDataExchange* dx) override { DDX_Radio(dx, 1063, radio); }
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) {
        if (wnd && wnd->GetDlgCtrlID() == 1090 && status) {
            dc->SetBkMode(TRANSPARENT);
            return status;
        }
        return CDialog::OnCtlColor(dc, wnd, ctlColor);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Page, CDialog)
    ON_BN_CLICKED(1030, &Page::OnAdd)
    ON_BN_CLICKED(1032, &Page::OnRemove)
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

// A button that sees its own clicks first and lets the parent see them only when asked to.
class SelfishButton : public CButton {
public:
    BOOL share = FALSE;
    int own = 0;
    BOOL OnClicked() {
        ++own;
        return !share;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(SelfishButton, CButton)
    ON_CONTROL_REFLECT_EX(BN_CLICKED, &SelfishButton::OnClicked)
END_MESSAGE_MAP()

// A button its owner draws: a field red while pressed, else green.
class DrawnButton : public CButton {
public:
    std::vector<UINT> states;
    void DrawItem(LPDRAWITEMSTRUCT d) override {
        states.push_back(d->itemState);
        if (CDC* dc = CDC::FromHandle(d->hDC)) dc->FillSolidRect(&d->rcItem, (d->itemState & ODS_SELECTED) ? RGB(200, 0, 0) : RGB(0, 160, 0));
    }
};

class ChildDialogs : public Dialogs {
protected:
    void SetUp() override {
        Dialogs::SetUp();
        ASSERT_TRUE(frame.CreateEx(0, AfxRegisterWndClass(0), L"Kurs", WS_OVERLAPPED, CRect(0, 0, 500, 300), nullptr, 0));
        ASSERT_TRUE(page.Create(kChildDialog, &frame));
        page.SetWindowPos(nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        page.ShowWindow(SW_SHOW);
        frame.ShowWindow(SW_SHOW);
    }
    CWnd frame;
    Page page;
};

TEST_F(ChildDialogs, ControlsSitAtTheirDialogUnitsInsideTheParent) {
    EXPECT_EQ(page.GetParent()->m_hWnd, frame.m_hWnd);
    EXPECT_TRUE(page.GetStyle() & WS_CHILD);
    CRect expected(150, 22, 195, 36);
    page.MapDialogRect(&expected);
    CRect actual;
    page.GetDlgItem(1032)->GetWindowRect(&actual);
    page.ScreenToClient(&actual);
    EXPECT_EQ(actual, expected);
    CRect pageRect;
    page.GetWindowRect(&pageRect);
    frame.ScreenToClient(&pageRect);
    EXPECT_EQ(pageRect.TopLeft(), CPoint(10, 20));
    const LONG units = GetDialogBaseUnits();
    EXPECT_GT(LOWORD(units), 3);
    EXPECT_GT(HIWORD(units), 8);
}

TEST_F(ChildDialogs, ClicksReachTheirHandlersAndTheControlMayKeepThemForItself) {
    Click(page, 1030);
    Click(page, 1032);
    EXPECT_EQ(page.clicks, (std::vector<UINT>{1030, 1032}));
    ASSERT_TRUE(DoubleClick(Item(page, 1032)));
    EXPECT_EQ(page.clicks, (std::vector<UINT>{1030, 1032, 1032, 1032})) << "a double click presses twice";
    page.clicks.resize(2);

    SelfishButton button;
    ASSERT_TRUE(button.SubclassDlgItem(1030, &page));
    Click(page, 1030);
    EXPECT_EQ(button.own, 1);
    EXPECT_EQ(page.clicks.size(), 2u) << "the control kept the click";
    button.share = TRUE;
    Click(page, 1030);
    EXPECT_EQ(button.own, 2);
    EXPECT_EQ(page.clicks.size(), 3u);

    page.GetDlgItem(1032)->EnableWindow(FALSE);
    EXPECT_FALSE(Click(page, 1032));
    EXPECT_EQ(page.clicks.size(), 3u);

    // The program presses a button as the user does, but not a disabled one.
    ::SendMessageW(Item(page, 1030), BM_CLICK, 0, 0);
    ::SendMessageW(Item(page, 1032), BM_CLICK, 0, 0);
    EXPECT_EQ(page.clicks.size(), 4u);
    EXPECT_EQ(page.clicks.back(), 1030u);
    button.SetState(TRUE);
    EXPECT_EQ(button.GetState() & BST_PUSHED, UINT(BST_PUSHED));
    button.SetState(FALSE);
    EXPECT_EQ(button.GetState() & BST_PUSHED, 0u);
    EXPECT_EQ(button.GetCheck(), BST_UNCHECKED) << "a push button is never checked";
    auto* push = qobject_cast<QPushButton*>(Widget(button.m_hWnd));
    ASSERT_NE(push, nullptr);
    EXPECT_FALSE(push->isDefault());
    button.SetButtonStyle(BS_DEFPUSHBUTTON);
    EXPECT_EQ(button.GetButtonStyle(), UINT(BS_DEFPUSHBUTTON));
    EXPECT_TRUE(push->isDefault()) << "drawn as the default button";

    // An owner-drawn button shows what its owner draws, pressed or not.
    DrawnButton drawn;
    ASSERT_TRUE(drawn.Create(L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, CRect(10, 100, 60, 120), &page, 1040));
    ASSERT_TRUE(WaitFor([&] { return !drawn.states.empty(); }));
    EXPECT_EQ(drawn.states.back() & (ODS_SELECTED | ODS_DISABLED), 0u);
    EXPECT_EQ(PixelAt(drawn.m_hWnd, 25, 10), RGB(0, 160, 0));
    drawn.SetState(TRUE);
    drawn.Invalidate();
    ASSERT_TRUE(WaitFor([&] { return drawn.states.back() & ODS_SELECTED; }));
    EXPECT_EQ(PixelAt(drawn.m_hWnd, 25, 10), RGB(200, 0, 0));
    drawn.SetState(FALSE);
    drawn.EnableWindow(FALSE);
    drawn.Invalidate();
    ASSERT_TRUE(WaitFor([&] { return drawn.states.back() & ODS_DISABLED; }));
    EXPECT_EQ(drawn.states.back() & ODS_SELECTED, 0u);
}

TEST_F(ChildDialogs, RadioGroupsAreSeparatedByTheirGroupStyle) {
    page.UpdateData(FALSE);
    EXPECT_TRUE(Checked(Item(page, 1064)));
    page.CheckRadioButton(1070, 1071, 1070);
    Click(page, 1065);
    EXPECT_TRUE(Checked(Item(page, 1065)));
    EXPECT_FALSE(Checked(Item(page, 1064))) << "the other button of the group went out";
    EXPECT_TRUE(Checked(Item(page, 1070))) << "the next group is left alone";
    EXPECT_EQ(static_cast<CButton*>(page.GetDlgItem(1065))->GetCheck(), BST_CHECKED);
    EXPECT_EQ(static_cast<CButton*>(page.GetDlgItem(1064))->GetCheck(), BST_UNCHECKED);
    CButton group;
    ASSERT_TRUE(group.Create(L"Art", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, CRect(0, 0, 150, 60), &page, 1066));
    EXPECT_EQ(group.GetCheck(), BST_UNCHECKED) << "a frame is never checked";
    EXPECT_EQ(Text(group.m_hWnd), L"Art");
    group.SetWindowText(L"Teilnehmende");
    EXPECT_EQ(Text(group.m_hWnd), L"Teilnehmende");
    ASSERT_TRUE(page.UpdateData(TRUE));
    EXPECT_EQ(page.radio, 2);
    EXPECT_EQ(page.GetCheckedRadioButton(1063, 1065), 1065);
}

TEST_F(ChildDialogs, TheParentColoursAStaticThroughCtlColor) {
    CBrush red(RGB(255, 50, 50));
    page.status = red;
    page.GetDlgItem(1090)->Invalidate();
    Pump();
    CRect r;
    page.GetDlgItem(1090)->GetClientRect(&r);
    EXPECT_EQ(PixelAt(Item(page, 1090), r.Width() / 2, r.Height() / 2), RGB(255, 50, 50));
    CBrush green(RGB(100, 255, 50));
    page.status = green;
    page.GetDlgItem(1090)->Invalidate();
    EXPECT_EQ(PixelAt(Item(page, 1090), r.Width() / 2, r.Height() / 2), RGB(100, 255, 50));
}

TEST_F(ChildDialogs, EscapeInAChildDialogGoesToItsOwnCancelWhichHidesIt) {
    // The innermost dialog answers the key, as its OnCancel decides (pages usually override it).
    Focus(Item(page, 1030));
    PressKey(nullptr, VK_ESCAPE);
    EXPECT_FALSE(page.IsWindowVisible());
    EXPECT_TRUE(IsWindow(page.m_hWnd)) << "a modeless dialog is hidden, not destroyed";
}

TEST_F(Dialogs, ADialogWithABackgroundColourPaintsItAndItsStatics) {
    CDialogEx dlg(kChildDialog);
    CWnd frame;
    ASSERT_TRUE(frame.CreateEx(0, AfxRegisterWndClass(0), L"", WS_OVERLAPPED, CRect(0, 0, 400, 300), nullptr, 0));
    ASSERT_TRUE(dlg.Create(kChildDialog, &frame));
    dlg.SetBackgroundColor(RGB(220, 220, 220));
    dlg.ShowWindow(SW_SHOW);
    frame.ShowWindow(SW_SHOW);
    CRect r;
    dlg.GetClientRect(&r);
    EXPECT_EQ(PixelAt(dlg, r.Width() - 2, r.Height() - 2), RGB(220, 220, 220));
}

}  // namespace
