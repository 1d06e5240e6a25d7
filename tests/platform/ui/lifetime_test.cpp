// The life of windows and objects: creation, destruction order, self-deleting objects, temporary
// objects, subclassing, parents, z-order and tab order, visibility and enabling; user-interface
// threads with their own queue; tool tips.
#include "ui_fixture.h"
#include <atomic>
#include <thread>

namespace {

using namespace qv::ui::test;

std::vector<std::wstring>* g_events = nullptr;

class Logged : public CWnd {
public:
    explicit Logged(std::wstring name) : name_(std::move(name)) {}
    BOOL Make(CWnd* parent, UINT id, DWORD style = WS_CHILD | WS_VISIBLE) {
        return CreateEx(0, AfxRegisterWndClass(0), name_.c_str(), style, CRect(0, 0, 50, 20), parent, id);
    }
    int OnCreate(LPCREATESTRUCT cs) {
        if (g_events) g_events->push_back(L"create " + std::wstring(cs->lpszName));
        return CWnd::OnCreate(cs);
    }
    void OnDestroy() {
        if (g_events) g_events->push_back(L"destroy " + name_);
        CWnd::OnDestroy();
    }
    void OnShowWindow(BOOL show, UINT) {
        if (g_events) g_events->push_back(std::wstring(show ? L"show " : L"hide ") + name_);
    }
    void PostNcDestroy() override {
        if (g_events) g_events->push_back(L"gone " + name_);
        if (selfDeleting) delete this;
    }
    void PreSubclassWindow() override { ++subclassed; }
    bool selfDeleting = false;
    int subclassed = 0;
    DECLARE_MESSAGE_MAP()

private:
    std::wstring name_;
};

BEGIN_MESSAGE_MAP(Logged, CWnd)
    ON_WM_CREATE()
    ON_WM_DESTROY()
    ON_WM_SHOWWINDOW()
END_MESSAGE_MAP()

class Lifetime : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        g_events = &events;
    }
    void TearDown() override {
        g_events = nullptr;
        UiTest::TearDown();
    }
    std::vector<std::wstring> events;
};

TEST_F(Lifetime, AParentIsDestroyedBeforeItsChildrenAndEveryObjectHearsItLast) {
    Logged top(L"top");
    ASSERT_TRUE(top.Make(nullptr, 0, WS_OVERLAPPED));
    Logged child(L"child");
    ASSERT_TRUE(child.Make(&top, 1));
    auto* page = new Logged(L"page");
    page->selfDeleting = true;
    ASSERT_TRUE(page->Make(&top, 2));
    Logged grandchild(L"grandchild");
    ASSERT_TRUE(grandchild.Make(&child, 3));
    EXPECT_EQ(events.front(), L"create top");
    events.clear();
    const HWND h = child.m_hWnd;
    top.DestroyWindow();
    EXPECT_EQ(events, (std::vector<std::wstring>{L"destroy top", L"destroy child", L"destroy grandchild",
                                                 L"gone grandchild", L"gone child", L"destroy page", L"gone page",
                                                 L"gone top"}));
    EXPECT_EQ(child.m_hWnd, nullptr);
    EXPECT_EQ(grandchild.m_hWnd, nullptr);
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(Lifetime, AnObjectThatGoesTakesItsWindow) {
    HWND h = nullptr;
    {
        Logged temporary(L"temporary");
        ASSERT_TRUE(temporary.Make(nullptr, 0, WS_OVERLAPPED));
        h = temporary.m_hWnd;
    }
    EXPECT_FALSE(IsWindow(h));
}

class Refuser : public CWnd {
public:
    int OnCreate(LPCREATESTRUCT) { return -1; }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(Refuser, CWnd)
    ON_WM_CREATE()
END_MESSAGE_MAP()

TEST_F(Lifetime, AWindowThatRefusesItsCreationIsNotMade) {
    Refuser r;
    EXPECT_FALSE(r.CreateEx(0, AfxRegisterWndClass(0), L"", WS_OVERLAPPED, CRect(0, 0, 10, 10), nullptr, 0));
    EXPECT_EQ(r.m_hWnd, nullptr);
    CWnd unknown;
    EXPECT_FALSE(unknown.CreateEx(0, L"NoSuchClass", L"", WS_OVERLAPPED, CRect(0, 0, 10, 10), nullptr, 0));
    CWnd orphan;
    EXPECT_FALSE(orphan.CreateEx(0, L"Static", L"", WS_CHILD, CRect(0, 0, 10, 10), nullptr, 0)) << "a child needs a parent";
}

TEST_F(Lifetime, TemporaryObjectsStandForWindowsWithoutObjectsUntilSubclassed) {
    Logged top(L"top");
    ASSERT_TRUE(top.Make(nullptr, 0, WS_OVERLAPPED));
    CStatic label;
    ASSERT_TRUE(label.Create(L"Name:", WS_CHILD | WS_VISIBLE, CRect(0, 0, 40, 10), &top, 10));
    CEdit made;
    ASSERT_TRUE(made.Create(WS_CHILD | WS_VISIBLE, CRect(50, 0, 100, 12), &top, 11));
    const HWND edit = made.Detach();
    CWnd* first = CWnd::FromHandle(edit);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(CWnd::FromHandle(edit), first) << "the same temporary object each time";
    EXPECT_EQ(CWnd::FromHandlePermanent(edit), nullptr);
    EXPECT_TRUE(first->IsKindOf(RUNTIME_CLASS(CEdit))) << "of the control's class";
    Logged own(L"own");
    EXPECT_TRUE(own.SubclassWindow(edit));
    EXPECT_EQ(own.subclassed, 1);
    EXPECT_EQ(CWnd::FromHandle(edit), &own);
    EXPECT_EQ(own.Detach(), edit);
    EXPECT_EQ(CWnd::FromHandlePermanent(edit), nullptr);
    EXPECT_EQ(CWnd::FromHandle(nullptr), nullptr);
}

TEST_F(Lifetime, ChildrenFollowTheirParentAndKeepTheirOrder) {
    Logged top(L"top"), other(L"other");
    ASSERT_TRUE(top.Make(nullptr, 0, WS_OVERLAPPED));
    ASSERT_TRUE(other.Make(nullptr, 0, WS_OVERLAPPED));
    CButton a, b, c;
    a.Create(L"A", WS_CHILD | WS_VISIBLE | WS_TABSTOP, CRect(0, 0, 10, 10), &top, 1);
    b.Create(L"B", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_DISABLED, CRect(0, 0, 10, 10), &top, 2);
    c.Create(L"C", WS_CHILD | WS_VISIBLE | WS_TABSTOP, CRect(0, 0, 10, 10), &top, 3);
    top.ShowWindow(SW_SHOW);
    EXPECT_EQ(top.GetWindow(GW_CHILD)->m_hWnd, a.m_hWnd);
    EXPECT_EQ(a.GetWindow(GW_HWNDNEXT)->m_hWnd, b.m_hWnd);
    EXPECT_EQ(c.GetWindow(GW_HWNDNEXT), nullptr);
    EXPECT_EQ(top.GetNextDlgTabItem(&a)->m_hWnd, c.m_hWnd) << "disabled controls are skipped";
    EXPECT_EQ(top.GetNextDlgTabItem(&c)->m_hWnd, a.m_hWnd) << "and it wraps";
    EXPECT_EQ(top.GetNextDlgTabItem(&a, TRUE)->m_hWnd, c.m_hWnd);
    c.SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);  // to the top
    EXPECT_EQ(top.GetWindow(GW_CHILD)->m_hWnd, c.m_hWnd) << "brought to the top of the order";

    b.SetParent(&other);
    EXPECT_EQ(b.GetParent()->m_hWnd, other.m_hWnd);
    EXPECT_EQ(top.GetDlgItem(2), nullptr);
    EXPECT_EQ(other.GetDlgItem(2)->m_hWnd, b.m_hWnd);
    EXPECT_TRUE(other.IsChild(&b));
    EXPECT_FALSE(top.IsChild(&b));
    EXPECT_EQ(a.GetTopLevelParent()->m_hWnd, top.m_hWnd);
}

TEST_F(Lifetime, VisibilityAndEnablingAreTheWindowsAndItsParents) {
    Logged top(L"top"), child(L"child");
    ASSERT_TRUE(top.Make(nullptr, 0, WS_OVERLAPPED));
    ASSERT_TRUE(child.Make(&top, 1));
    EXPECT_FALSE(child.IsWindowVisible()) << "a visible child of a hidden window is not visible";
    events.clear();
    top.ShowWindow(SW_SHOW);
    EXPECT_TRUE(child.IsWindowVisible());
    top.ShowWindow(SW_SHOW);
    EXPECT_EQ(events, std::vector<std::wstring>{L"show top"}) << "showing twice tells once";
    EXPECT_TRUE(child.ShowWindow(SW_HIDE)) << "it was visible";
    EXPECT_FALSE(child.IsWindowVisible());
    EXPECT_FALSE(child.GetStyle() & WS_VISIBLE);
    child.ModifyStyle(0, WS_VISIBLE);
    EXPECT_TRUE(child.IsWindowVisible());
    EXPECT_FALSE(child.EnableWindow(FALSE)) << "it was enabled";
    EXPECT_TRUE(child.EnableWindow(TRUE)) << "it was disabled";
    EXPECT_TRUE(child.IsWindowEnabled());
    child.SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_HIDEWINDOW);
    EXPECT_FALSE(child.IsWindowVisible());
}

TEST_F(Lifetime, AUserInterfaceThreadTakesItsMessagesUntilItQuits) {
    std::atomic<DWORD> thread{0};
    std::vector<UINT> seen;
    std::atomic<int> idles{0};
    std::atomic<int> code{-1};
    std::thread ui([&] {
        thread = GetCurrentThreadId();
        code = qv::ui::ThreadMessageLoop(
            [&](LONG) {
                ++idles;
                return FALSE;
            },
            [&](MSG& m) {
                seen.push_back(m.message);
                if (m.message == WM_USER + 1) PostQuitMessage(7);
            });
    });
    ASSERT_TRUE(WaitFor([&] { return thread.load() != 0 && idles.load() > 0; }));
    EXPECT_TRUE(PostThreadMessageW(thread, WM_USER + 5, 0, 0));
    EXPECT_TRUE(PostThreadMessageW(thread, WM_USER + 1, 0, 0));
    ui.join();
    EXPECT_EQ(code.load(), 7);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 5, WM_USER + 1}));
}

TEST_F(Lifetime, ToolTipsShowOnHoverAndTrackingTipsWhereTheyArePut) {
    Logged top(L"top");
    ASSERT_TRUE(top.Make(nullptr, 0, WS_OVERLAPPED));
    CButton button;
    button.Create(L"Bericht", WS_CHILD | WS_VISIBLE, CRect(0, 0, 60, 20), &top, 1024);
    top.ShowWindow(SW_SHOW);
    CToolTipCtrl tips;
    ASSERT_TRUE(tips.Create(&top, TTS_NOPREFIX));
    tips.AddTool(&button, L"Berichte anzeigen");
    EXPECT_EQ(ToolTip(button), L"Berichte anzeigen");
    tips.UpdateTipText(L"Teilnehmerliste drucken", &button);
    EXPECT_EQ(ToolTip(button), L"Teilnehmerliste drucken");
    tips.Activate(FALSE);
    EXPECT_EQ(ToolTip(button), L"");

    CToolTipCtrl tracking;
    ASSERT_TRUE(tracking.Create(&top, TTS_NOPREFIX));
    TOOLINFOW info;
    info.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE | TTF_TRANSPARENT;
    info.hwnd = top.m_hWnd;
    info.uId = reinterpret_cast<UINT_PTR>(button.m_hWnd);
    info.lpszText = const_cast<LPWSTR>(L"");
    tracking.AddTool(&info);
    tracking.SetMaxTipWidth(300);
    tracking.UpdateTipText(L"X", &button);
    tracking.TrackActivate(TRUE, &info);
    CRect line;
    tracking.GetWindowRect(&line);
    tracking.UpdateTipText(L"Liste der Teilnehmer mit Adressen", &button);
    tracking.TrackPosition(200, 150);
    tracking.TrackActivate(TRUE, &info);
    EXPECT_TRUE(tracking.IsTracking());
    CRect r;
    tracking.GetWindowRect(&r);
    EXPECT_EQ(r.TopLeft(), CPoint(200, 150));
    EXPECT_LE(r.Width(), 300 + 4);
    EXPECT_EQ(r.Height(), line.Height()) << "a text narrower than the greatest width stays on one line";
    tracking.UpdateTipText(std::wstring(40, L'W').append(L" ").append(40, L'W').c_str(), &button);
    tracking.GetWindowRect(&r);
    EXPECT_GT(r.Height(), line.Height()) << "a longer one is broken";
    EXPECT_LE(r.Width(), 300 + 4);
    tracking.TrackActivate(FALSE, &info);
    EXPECT_FALSE(tracking.IsTracking());
}

TEST_F(Lifetime, MenusAreEditedByPositionAndByCommand) {
    CMenu menu;
    ASSERT_TRUE(menu.CreatePopupMenu());
    menu.AppendMenu(MF_STRING, 100, L"Bericht A");
    menu.AppendMenu(MF_STRING, 102, L"Bericht C");
    menu.InsertMenu(1, MF_BYPOSITION | MF_STRING, 101, L"Bericht B");
    CMenu sub;
    sub.CreatePopupMenu();
    sub.AppendMenu(MF_STRING, 200, L"Unterpunkt");
    const HMENU subHandle = sub.Detach();
    menu.AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(subHandle), L"Mehr");
    EXPECT_EQ(menu.GetMenuItemCount(), 4);
    CString text;
    menu.GetMenuString(1, text, MF_BYPOSITION);
    EXPECT_EQ(text, L"Bericht B");
    menu.CheckMenuItem(102, MF_CHECKED);
    EXPECT_EQ(menu.GetMenuState(102, MF_BYCOMMAND) & MF_CHECKED, MF_CHECKED);
    EXPECT_EQ(menu.EnableMenuItem(200, MF_GRAYED), 0u) << "commands are found in submenus too";
    EXPECT_EQ(menu.EnableMenuItem(999, MF_GRAYED), UINT(-1));
    menu.ModifyMenu(100, MF_BYCOMMAND | MF_STRING, 100, L"Bericht Eins");
    menu.GetMenuString(100, text, MF_BYCOMMAND);
    EXPECT_EQ(text, L"Bericht Eins");
    EXPECT_TRUE(menu.DeleteMenu(3, MF_BYPOSITION));
    EXPECT_FALSE(IsMenu(subHandle)) << "deleting destroys the submenu, removing would keep it";
    EXPECT_TRUE(menu.RemoveMenu(101, MF_BYCOMMAND));
    EXPECT_EQ(menu.GetMenuItemCount(), 2);

    qv::ui::RegisterAccelerators(uitest::Module(), 10591, {{FVIRTKEY | FCONTROL, 'F', 32916}});
    const HACCEL accel = LoadAcceleratorsW(AfxGetResourceHandle(), MAKEINTRESOURCEW(10591));
    EXPECT_NE(accel, nullptr);
    EXPECT_EQ(LoadAcceleratorsW(AfxGetResourceHandle(), MAKEINTRESOURCEW(4711)), nullptr);
    DestroyAcceleratorTable(accel);
}

// A window for messages only, as event sinks use: it takes messages posted from workers, and a
// sink that goes drains its own queue without running what is left.
class Sink : public CWnd {
public:
    std::vector<WPARAM> events;
    LRESULT OnEvent(WPARAM wp, LPARAM) {
        events.push_back(wp);
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Sink, CWnd)
    ON_MESSAGE(WM_USER + 20, &Sink::OnEvent)
END_MESSAGE_MAP()

TEST_F(Lifetime, AMessageOnlyWindowIsNeverShownAndItsQueueCanBeDrained) {
    Sink sink;
    ASSERT_TRUE(sink.CreateEx(0, AfxRegisterWndClass(0), L"QvAsyncEventSinkWnd", WS_VISIBLE | WS_CHILD, CRect(0, 0, 0, 0),
                              CWnd::FromHandle(HWND_MESSAGE), 0));
    EXPECT_FALSE(Visible(sink.m_hWnd)) << "even asked to be visible";
    EXPECT_EQ(sink.GetParent(), nullptr);
    const HWND h = sink.m_hWnd;
    std::thread worker([h] {
        for (WPARAM i = 1; i <= 3; ++i) ::PostMessageW(h, WM_USER + 20, i, 0);
    });
    worker.join();
    ASSERT_TRUE(WaitFor([&] { return sink.events.size() == 3; }));
    EXPECT_EQ(sink.events, (std::vector<WPARAM>{1, 2, 3}));

    // Posted, then drained before they run: nothing reaches the handler.
    for (WPARAM i = 4; i <= 6; ++i) ::PostMessageW(h, WM_USER + 20, i, 0);
    MSG msg;
    int drained = 0;
    while (::PeekMessageW(&msg, h, 0, 0, PM_REMOVE)) ++drained;
    EXPECT_EQ(drained, 3);
    Pump();
    EXPECT_EQ(sink.events.size(), 3u);
    sink.DestroyWindow();
    EXPECT_FALSE(::PostMessageW(h, WM_USER + 20, 7, 0)) << "a window that is gone takes nothing";

    Sink plain;
    ASSERT_TRUE(plain.CreateEx(0, AfxRegisterWndClass(0), L"QvAsyncEventSinkWnd", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr));
    EXPECT_FALSE(Visible(plain.m_hWnd));
    plain.ShowWindow(SW_HIDE);
    EXPECT_TRUE(plain.DestroyWindow());
}

}  // namespace
