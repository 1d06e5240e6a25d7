// Windows and messages: sent and posted messages between threads, draining a window's queue,
// timers, key pre-translation, accelerators, popup menus, window scroll bars and file drops.
#include "ui_fixture.h"

#include <memory>
#include <atomic>
#include <thread>

namespace {

using namespace qv::ui::test;

DWORD GuiThread() {
    static const DWORD id = GetCurrentThreadId();
    return id;
}

class Sink : public CWnd {
public:
    struct Seen {
        UINT message;
        WPARAM value;
        DWORD thread;
    };
    std::vector<Seen> seen;
    std::vector<UINT_PTR> timers;
    std::vector<UINT> commands;
    std::vector<std::pair<UINT, UINT>> menuSelects;

    BOOL Open() {
        return CreateEx(0, AfxRegisterWndClass(0), L"QvAsyncEventSinkWnd", 0, CRect(0, 0, 0, 0), nullptr, 0);
    }
    LRESULT OnOne(WPARAM w, LPARAM) {
        seen.push_back({WM_USER + 1, w, GetCurrentThreadId()});
        return 0;
    }
    LRESULT OnDouble(WPARAM w, LPARAM) {
        seen.push_back({WM_USER + 2, w, GetCurrentThreadId()});
        return LRESULT(w * 2);
    }
    void OnTimer(UINT_PTR id) { timers.push_back(id); }
    void OnCommandRange(UINT id) { commands.push_back(id); }
    void OnMenuSelect(UINT item, UINT flags, HMENU) { menuSelects.push_back({item, flags}); }
    std::size_t Count(UINT message) const {
        std::size_t n = 0;
        for (const auto& s : seen) n += s.message == message ? 1 : 0;
        return n;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Sink, CWnd)
    ON_MESSAGE(WM_USER + 1, &Sink::OnOne)
    ON_MESSAGE(WM_USER + 2, &Sink::OnDouble)
    ON_WM_TIMER()
    ON_COMMAND_RANGE(100, 199, &Sink::OnCommandRange)
    ON_WM_MENUSELECT()
END_MESSAGE_MAP()

class Messages : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        GuiThread();
        ASSERT_TRUE(sink.Open());
    }
    Sink sink;
};

TEST_F(Messages, PostedFromAWorkerRunOnTheGuiThreadInOrder) {
    const HWND target = sink.m_hWnd;
    std::thread worker([target] {
        for (WPARAM i = 0; i < 200; ++i) PostMessageW(target, WM_USER + 1, i, 0);
    });
    worker.join();
    EXPECT_TRUE(sink.seen.empty()) << "posted messages wait for the GUI thread";
    ASSERT_TRUE(WaitFor([&] { return sink.seen.size() == 200; }));
    for (std::size_t i = 0; i < sink.seen.size(); ++i) {
        EXPECT_EQ(sink.seen[i].value, i);
        EXPECT_EQ(sink.seen[i].thread, GuiThread());
    }
}

TEST_F(Messages, SentFromAWorkerRunOnTheGuiThreadWhileTheSenderWaits) {
    const HWND target = sink.m_hWnd;
    std::atomic<LRESULT> answer{0};
    DWORD workerThread = 0;
    const HANDLE done = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            const std::unique_ptr<std::pair<HWND, std::atomic<LRESULT>*>> args(
                static_cast<std::pair<HWND, std::atomic<LRESULT>*>*>(p));
            // The layer's forwarding itself is tested here, so the thread guard lets it pass.
            qv::ui::AllowForeignThreadCalls allow;
            args->second->store(SendMessageW(args->first, WM_USER + 2, 21, 0));
            return 0;
        },
        new std::pair<HWND, std::atomic<LRESULT>*>(target, &answer), 0, &workerThread);
    ASSERT_NE(done, nullptr);
    ASSERT_EQ(WaitForSingleObjectAndPumpMsg(done, 10000), WAIT_OBJECT_0);
    CloseHandle(done);
    EXPECT_EQ(answer.load(), 42);
    ASSERT_EQ(sink.Count(WM_USER + 2), 1u);
    EXPECT_EQ(sink.seen[0].thread, GuiThread());
    EXPECT_NE(sink.seen[0].thread, workerThread);

    // Under the test driver the thread guard is on: a worker that sends to a window, or works on
    // its widget, ends the test at once; posting stays free.
    EXPECT_TRUE(qv::ui::IsThreadGuardOn());
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(std::thread([target] { SendMessageW(target, WM_USER + 2, 1, 0); }).join(), "thread guard: a sent message");
    EXPECT_DEATH(std::thread([target] { ::ShowWindow(target, SW_SHOW); }).join(), "thread guard: ShowWindow");
    std::thread([target] { PostMessageW(target, WM_USER + 1, 7, 0); }).join();
    EXPECT_TRUE(WaitFor([&] { return sink.Count(WM_USER + 1) == 1; }));
}

TEST_F(Messages, OneWindowsQueueCanBeDrainedWithoutTheOthers) {
    Sink other;
    ASSERT_TRUE(other.Open());
    for (WPARAM i = 0; i < 5; ++i) {
        sink.PostMessage(WM_USER + 1, i);
        other.PostMessage(WM_USER + 1, 10 + i);
    }
    MSG msg;
    while (PeekMessageW(&msg, sink.m_hWnd, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    ASSERT_EQ(sink.seen.size(), 5u);
    EXPECT_EQ(sink.seen[4].value, 4u);
    EXPECT_TRUE(other.seen.empty());
    EXPECT_TRUE(WaitFor([&] { return other.seen.size() == 5; }));
    EXPECT_EQ(sink.seen.size(), 5u) << "drained messages do not come a second time";
}

TEST_F(Messages, AWindowThatIsGoneGetsNothing) {
    Sink gone;
    ASSERT_TRUE(gone.Open());
    const HWND h = gone.m_hWnd;
    gone.PostMessage(WM_USER + 1, 1);
    gone.DestroyWindow();
    EXPECT_EQ(gone.m_hWnd, nullptr);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_FALSE(PostMessageW(h, WM_USER + 1, 2, 0));
    EXPECT_EQ(SendMessageW(h, WM_USER + 2, 3, 0), 0);
    sink.PostMessage(WM_USER + 1, 9);  // a marker behind the message to the destroyed window
    ASSERT_TRUE(WaitFor([&] { return !sink.seen.empty(); }));
    EXPECT_TRUE(gone.seen.empty());
}

TEST_F(Messages, ATimerFiresWithItsIdUntilItIsKilled) {
    EXPECT_EQ(sink.SetTimer(98, 20), 98u);
    ASSERT_TRUE(WaitFor([&] { return std::count(sink.timers.begin(), sink.timers.end(), 98u) >= 2; }));
    EXPECT_TRUE(sink.KillTimer(98));
    EXPECT_FALSE(sink.KillTimer(98));
    const auto fired = std::count(sink.timers.begin(), sink.timers.end(), 98u);
    // A second timer as the clock: several of its periods pass without the killed one.
    sink.SetTimer(1, 10);
    ASSERT_TRUE(WaitFor([&] { return std::count(sink.timers.begin(), sink.timers.end(), 1u) >= 6; }));
    EXPECT_EQ(std::count(sink.timers.begin(), sink.timers.end(), 98u), fired);

    // Two timers running together each fire with their own id, and killing one leaves the other.
    sink.timers.clear();
    EXPECT_EQ(sink.SetTimer(7, 15), 7u);
    ASSERT_TRUE(WaitFor([&] {
        return std::count(sink.timers.begin(), sink.timers.end(), 1u) >= 2 && std::count(sink.timers.begin(), sink.timers.end(), 7u) >= 2;
    }));
    EXPECT_TRUE(std::all_of(sink.timers.begin(), sink.timers.end(), [](UINT_PTR id) { return id == 1 || id == 7; }));
    EXPECT_TRUE(sink.KillTimer(1));
    sink.timers.clear();
    ASSERT_TRUE(WaitFor([&] { return std::count(sink.timers.begin(), sink.timers.end(), 7u) >= 3; }));
    EXPECT_EQ(std::count(sink.timers.begin(), sink.timers.end(), 1u), 0);
    sink.KillTimer(7);
}

TEST_F(Messages, CommandRangesAndRegisteredMessagesReachTheirHandlers) {
    sink.SendMessage(WM_COMMAND, MAKEWPARAM(150, 0), 0);
    sink.SendMessage(WM_COMMAND, MAKEWPARAM(200, 0), 0);  // outside the range
    ASSERT_EQ(sink.commands.size(), 1u);
    EXPECT_EQ(sink.commands[0], 150u);
    EXPECT_EQ(RegisterWindowMessageW(L"AFX_WM_CHANGE_ACTIVE_TAB"), AFX_WM_CHANGE_ACTIVE_TAB);
    EXPECT_EQ(RegisterWindowMessageW(L"afx_wm_change_active_tab"), AFX_WM_CHANGE_ACTIVE_TAB);
    EXPECT_GE(AFX_WM_CHANGE_ACTIVE_TAB, 0xC000u);
}

// ---- keys

class KeyDialog : public CDialog {
public:
    KeyDialog() : CDialog(900) {}
    std::vector<UINT> keys;
    int accelerated = 0;
    HACCEL accel = nullptr;
    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message == WM_KEYDOWN) keys.push_back(UINT(msg->wParam));
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_F1) return TRUE;  // help: swallowed
        if (accel && TranslateAcceleratorW(m_hWnd, accel, msg)) return TRUE;
        return CDialog::PreTranslateMessage(msg);
    }
    void OnSearch() { ++accelerated; }
    void OnOK() override { ++oks; }
    void OnCancel() override { ++cancels; }
    int oks = 0;
    int cancels = 0;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(KeyDialog, CDialog)
    ON_COMMAND(32916, &KeyDialog::OnSearch)
END_MESSAGE_MAP()

void RegisterKeyDialog() {
    qv::ui::DialogTemplate t;
    t.id = 900;
    t.caption = L"Tasten";
    t.cx = 160;
    t.cy = 60;
    t.style = WS_POPUP | WS_CAPTION | DS_SETFONT;
    t.items = {qv::ui::EditText(1000, 5, 5, 100, 12), qv::ui::EditText(1001, 5, 20, 100, 30, ES_MULTILINE | ES_WANTRETURN),
               qv::ui::DefPushButton(L"OK", IDOK, 110, 5, 45, 14), qv::ui::PushButton(L"Abbrechen", IDCANCEL, 110, 22, 45, 14)};
    qv::ui::RegisterDialogTemplate(uitest::Module(), t);
}

class Keys : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        RegisterKeyDialog();
        ASSERT_TRUE(dlg.Create(900));
        dlg.ShowWindow(SW_SHOW);
    }
    KeyDialog dlg;
};

TEST_F(Keys, KeysPassThroughPreTranslateOfTheWindowsAboveTheFocus) {
    ASSERT_TRUE(PressKey(Item(dlg, 1000), VK_F1));
    ASSERT_FALSE(dlg.keys.empty());
    EXPECT_EQ(dlg.keys.back(), UINT(VK_F1));
    ASSERT_TRUE(Type(Item(dlg, 1000), L"ab"));
    EXPECT_EQ(Text(Item(dlg, 1000)), L"ab") << "keys that nobody takes reach the edit";
}

TEST_F(Keys, EnterPressesTheDefaultButtonAndEscapeCancelsExceptInAWantReturnEdit) {
    PressKey(Item(dlg, 1000), VK_RETURN);
    EXPECT_EQ(dlg.oks, 1);
    PressKey(Item(dlg, 1000), VK_ESCAPE);
    EXPECT_EQ(dlg.cancels, 1);
    Type(Item(dlg, 1001), L"a\nb");
    EXPECT_EQ(dlg.oks, 1) << "Enter in a multi-line edit that wants it is a new line";
    EXPECT_EQ(Text(Item(dlg, 1001)), L"a\r\nb");
}

TEST_F(Keys, AcceleratorsTurnKeysIntoCommands) {
    ACCEL entries[] = {{FVIRTKEY | FCONTROL, 'F', 32916}};
    dlg.accel = CreateAcceleratorTableW(entries, 1);
    PressKey(Item(dlg, 1000), 'F', Qt::ControlModifier);
    EXPECT_EQ(dlg.accelerated, 1);
    PressKey(Item(dlg, 1000), 'F');
    EXPECT_EQ(dlg.accelerated, 1) << "without Ctrl the key is typed";
    EXPECT_EQ(Text(Item(dlg, 1000)), L"f");
    DestroyAcceleratorTable(dlg.accel);
}

// ---- popup menus

TEST_F(Messages, APopupMenuReportsTheChosenCommandAndItsItems) {
    qv::ui::RegisterMenu(uitest::Module(), 163,
                         {{0, L"Kurs", MF_POPUP, {{100, L"Bericht &A", 0, {}}, {0, L"", MF_SEPARATOR, {}}, {101, L"Bericht B", 0, {}}}}});
    CMenu bar;
    ASSERT_TRUE(bar.LoadMenu(163));
    CMenu* popup = bar.GetSubMenu(0);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->GetMenuItemCount(), 3);
    EXPECT_EQ(popup->GetMenuItemID(1), 0u) << "a separator";
    EXPECT_EQ(bar.GetMenuItemID(0), UINT(-1)) << "a popup";
    EXPECT_EQ(popup->EnableMenuItem(101, MF_GRAYED | MF_DISABLED), 0u);
    EXPECT_EQ(popup->GetMenuState(101, MF_BYCOMMAND) & MF_GRAYED, MF_GRAYED);

    AnswerNextPopupMenu(101);
    EXPECT_EQ(UINT(popup->TrackPopupMenu(TPM_RETURNCMD, 0, 0, &sink)), 0u) << "a greyed item cannot be chosen";
    EXPECT_EQ(LastPopupMenuItems(), (std::vector<std::wstring>{L"Bericht &A", L"", L"Bericht B"}));
    popup->EnableMenuItem(101, MF_ENABLED);
    AnswerNextPopupMenu(101);
    EXPECT_EQ(UINT(popup->TrackPopupMenu(TPM_RETURNCMD, 0, 0, &sink)), 101u);

    AnswerNextPopupMenu(100);
    EXPECT_TRUE(popup->TrackPopupMenu(0, 0, 0, &sink));
    ASSERT_TRUE(WaitFor([&] { return !sink.commands.empty(); }));
    EXPECT_EQ(sink.commands, std::vector<UINT>{100});
    ASSERT_FALSE(sink.menuSelects.empty());
    EXPECT_EQ(sink.menuSelects.back().second, 0xFFFFu) << "the owner hears that the menu closed";

    // Removing by position until empty, as the report list does.
    while (popup->GetMenuItemCount() > 0) popup->RemoveMenu(0, MF_BYPOSITION);
    EXPECT_EQ(popup->GetMenuItemCount(), 0);
}

// ---- scroll bars of a window

class Scroller : public CWnd {
public:
    std::vector<std::pair<UINT, UINT>> scrolls;
    void OnVScroll(UINT code, UINT pos, CScrollBar*) { scrolls.push_back({code, pos}); }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(Scroller, CWnd)
    ON_WM_VSCROLL()
END_MESSAGE_MAP()

TEST_F(Messages, WindowScrollBarsReportRequestsAndScrollTheChildrenOnly) {
    Scroller top;
    ASSERT_TRUE(top.CreateEx(0, AfxRegisterWndClass(0), L"Seite", WS_OVERLAPPED | WS_VSCROLL, CRect(0, 0, 300, 200), nullptr, 0));
    CStatic label;
    ASSERT_TRUE(label.Create(L"Zeile", WS_CHILD | WS_VISIBLE, CRect(10, 100, 100, 120), &top, 5));
    top.ShowWindow(SW_SHOW);
    CRect client;
    top.GetClientRect(&client);
    EXPECT_EQ(client.Width(), 300) << "no bar without a range";

    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = 599;
    si.nPage = 200;
    si.nPos = 0;
    top.SetScrollInfo(SB_VERT, &si);
    top.GetClientRect(&client);
    EXPECT_EQ(client.Width(), 300 - GetSystemMetrics(SM_CXVSCROLL)) << "the bar takes client space";

    ASSERT_TRUE(Scroll(top, SB_VERT, SB_LINEDOWN));
    ASSERT_EQ(top.scrolls.size(), 1u);
    EXPECT_EQ(top.scrolls[0].first, UINT(SB_LINEDOWN));
    EXPECT_EQ(top.GetScrollPos(SB_VERT), 0) << "the window moves the bar itself";
    // A click below the thumb pages; the thumb dragged to the bottom tells where it is and where it ends.
    top.scrolls.clear();
    ASSERT_TRUE(Scroll(top, SB_VERT, SB_PAGEDOWN));
    ASSERT_TRUE(Scroll(top, SB_VERT, SB_BOTTOM));
    ASSERT_GE(top.scrolls.size(), 4u);
    EXPECT_EQ(top.scrolls[0].first, UINT(SB_PAGEDOWN));
    EXPECT_EQ(top.scrolls[1].first, UINT(SB_THUMBTRACK));
    EXPECT_EQ(top.scrolls[top.scrolls.size() - 2], (std::pair<UINT, UINT>{SB_THUMBPOSITION, 400}));
    EXPECT_EQ(top.scrolls.back().first, UINT(SB_ENDSCROLL));
    EXPECT_EQ(top.GetScrollPos(SB_VERT), 0);
    top.SetScrollPos(SB_VERT, 60);
    top.ScrollWindow(0, -60);
    CRect r;
    label.GetWindowRect(&r);
    top.ScreenToClient(&r);
    EXPECT_EQ(r.top, 40);
    SCROLLINFO read;
    top.GetScrollInfo(SB_VERT, &read, SIF_POS | SIF_TRACKPOS | SIF_RANGE);
    EXPECT_EQ(read.nPos, 60);
    EXPECT_EQ(read.nMax, 599);
    EXPECT_EQ(top.GetScrollLimit(SB_VERT), 400);
    top.SetScrollPos(SB_VERT, 5000);
    EXPECT_EQ(top.GetScrollPos(SB_VERT), 400) << "the position stays within range minus page";
}

// ---- file drops

class DocTarget : public COleDropTarget {
public:
    DROPEFFECT OnDragEnter(CWnd*, COleDataObject*, DWORD, CPoint) override {
        ++entered;
        return DROPEFFECT_NONE;
    }
    DROPEFFECT OnDragOver(CWnd*, COleDataObject* data, DWORD keys, CPoint) override {
        if (!data->IsDataAvailable(CLIPFORMAT(RegisterClipboardFormatW(L"FileNameW")))) return DROPEFFECT_NONE;
        return (keys & MK_SHIFT) ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
    }
    BOOL OnDrop(CWnd*, COleDataObject* data, DROPEFFECT effect, CPoint) override {
        HGLOBAL h = data->GetGlobalData(CLIPFORMAT(RegisterClipboardFormatW(L"FileNameW")));
        auto* text = static_cast<const wchar_t*>(GlobalLock(h));
        dropped = text ? text : L"";
        GlobalUnlock(h);
        GlobalFree(h);
        lastEffect = effect;
        return TRUE;
    }
    int entered = 0;
    std::wstring dropped;
    DROPEFFECT lastEffect = DROPEFFECT_NONE;
};

TEST_F(Messages, DroppedFilesReachTheDropTargetWithTheirPathAndEffect) {
    Scroller top;
    ASSERT_TRUE(top.CreateEx(0, AfxRegisterWndClass(0), L"Kurs", WS_OVERLAPPED, CRect(0, 0, 200, 100), nullptr, 0));
    CStatic icon;
    ASSERT_TRUE(icon.Create(L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, CRect(5, 5, 37, 37), &top, 11));
    top.ShowWindow(SW_SHOW);
    DocTarget target;
    EXPECT_FALSE(DropFiles(icon, {"/tmp/bericht.pdf"})) << "nothing is registered yet";
    ASSERT_TRUE(target.Register(&icon));
    ASSERT_TRUE(DropFiles(icon, {"/tmp/Prüfung/bericht.pdf"}));
    EXPECT_EQ(target.dropped, L"/tmp/Prüfung/bericht.pdf");
    EXPECT_EQ(target.lastEffect, DROPEFFECT_COPY);
    ASSERT_TRUE(DropFiles(icon, {"/tmp/a.txt"}, Qt::ShiftModifier));
    EXPECT_EQ(target.lastEffect, DROPEFFECT_MOVE);
    EXPECT_EQ(target.entered, 2);
    target.Revoke();
    EXPECT_FALSE(DropFiles(icon, {"/tmp/a.txt"}));
}

// A user-interface thread that registers a drop target on a window of the GUI thread when it
// first idles, and quits on its own message.
class DropThread : public CWinThread {
public:
    explicit DropThread(HWND icon) : icon_(icon) {}
    BOOL InitInstance() override {
        OleInitialize(nullptr);
        m_bAutoDelete = FALSE;
        return TRUE;
    }
    BOOL OnIdle(LONG count) override {
        if (!ready) {
            wnd.Attach(icon_);
            target.Register(&wnd);
            ready = true;
        }
        return CWinThread::OnIdle(count);
    }
    int ExitInstance() override {
        wnd.Detach();
        target.Revoke();
        OleUninitialize();
        return CWinThread::ExitInstance();
    }
    void OnQuit(WPARAM, LPARAM) { PostQuitMessage(3); }
    void OnCount(WPARAM w, LPARAM) { counted += int(w); }
    std::atomic<bool> ready{false};
    std::atomic<int> counted{0};
    CWnd wnd;
    DocTarget target;
    DECLARE_MESSAGE_MAP()

private:
    HWND icon_;
};

BEGIN_MESSAGE_MAP(DropThread, CWinThread)
    ON_THREAD_MESSAGE(WM_USER + 1, &DropThread::OnQuit)
    ON_THREAD_MESSAGE(WM_USER + 2, &DropThread::OnCount)
END_MESSAGE_MAP()

TEST_F(Messages, AUserInterfaceThreadsDropTargetTakesDropsOnTheGuiThreadUntilItQuits) {
    Scroller top;
    ASSERT_TRUE(top.CreateEx(0, AfxRegisterWndClass(0), L"Kurs", WS_OVERLAPPED, CRect(0, 0, 200, 100), nullptr, 0));
    CStatic icon;
    ASSERT_TRUE(icon.Create(L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, CRect(5, 5, 37, 37), &top, 11));
    top.ShowWindow(SW_SHOW);
    auto thread = std::make_unique<DropThread>(icon.m_hWnd);
    ASSERT_TRUE(thread->CreateThread(CREATE_SUSPENDED));
    thread->ResumeThread();
    ASSERT_TRUE(WaitFor([&] { return thread->ready.load(); }));
    EXPECT_EQ(CWnd::FromHandlePermanent(icon.m_hWnd), &icon) << "the window's messages stay with its own object";

    ASSERT_TRUE(WaitFor([&] { return DropFiles(icon, {"/tmp/bericht.pdf"}); }));
    EXPECT_EQ(thread->target.dropped, L"/tmp/bericht.pdf");
    EXPECT_TRUE(PostThreadMessageW(thread->m_nThreadID, WM_USER + 2, 5, 0));
    EXPECT_TRUE(PostThreadMessageW(thread->m_nThreadID, WM_USER + 2, 2, 0));
    EXPECT_TRUE(PostThreadMessageW(thread->m_nThreadID, WM_USER + 1, 0, 0));
    EXPECT_EQ(WaitForSingleObjectAndPumpMsg(thread->m_hThread, 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread->m_hThread, &code));
    EXPECT_EQ(code, 3u) << "Run ends with the code of the thread's quit message";
    EXPECT_EQ(thread->counted.load(), 7) << "its messages went through its message map in order before the quit";
    Pump();
    EXPECT_FALSE(DropFiles(icon, {"/tmp/a.txt"})) << "the target went with the thread";
    EXPECT_EQ(CWnd::FromHandlePermanent(icon.m_hWnd), &icon);
}

TEST(WaitCursor, IsShownForTheLifetimeOfItsObjectsAndNests) {
    qv::ui::EnsureApplication();
    const int before = qv::ui::WaitCursorDepth();
    {
        CWaitCursor outer;
        {
            CWaitCursor inner;
            EXPECT_EQ(qv::ui::WaitCursorDepth(), before + 2);
        }
        EXPECT_EQ(qv::ui::WaitCursorDepth(), before + 1);
    }
    EXPECT_EQ(qv::ui::WaitCursorDepth(), before);
}

}  // namespace
