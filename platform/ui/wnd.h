#pragma once
// Windows and messages. A window is a handle (HWND) to a window-toolkit widget plus the C++ object
// (CWnd) whose message map handles its messages. Messages sent to a window run its WindowProc at
// once (from another thread: on the GUI thread while the sender waits); posted messages queue on
// the GUI thread and run there in order. Controls notify their parent with WM_COMMAND and
// WM_NOTIFY, which the parent first reflects to the control's own map (OnChildNotify).
#include "cstring.h"
#include "gdi.h"
#include "qvcmdtarget.h"
#include "msgmap.h"
#include "sync.h"
#include "thread.h"
#include "winmsg.h"
#include <functional>
#include <string>

#define afx_msg

class CMenu;
class CScrollBar;
class CDataExchange;
class CFont;

using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

class CWnd : public CCmdTarget {
    DECLARE_DYNAMIC(CWnd)
public:
    CWnd();
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    operator HWND() const { return qv::Opaque(this) ? m_hWnd : nullptr; }
    HWND GetSafeHwnd() const { return qv::Opaque(this) ? m_hWnd : nullptr; }

    // The object attached to the handle, else a temporary one that lives as long as the window.
    static CWnd* FromHandle(HWND wnd);
    // The object attached to the handle, or null.
    static CWnd* FromHandlePermanent(HWND wnd);
    BOOL Attach(HWND wnd);
    HWND Detach();
    // Attaches this object to an existing window: its messages go to this object's map from now on.
    BOOL SubclassWindow(HWND wnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();
    // Runs when the object is attached to its window (created or subclassed), before it is used.
    virtual void PreSubclassWindow();

    // className: a registered class (AfxRegisterWndClass) or a control class ("Button", "Edit",
    // "Static", "ComboBox", "ListBox", "ScrollBar", "SysListView32", "msctls_updown32",
    // "msctls_progress32"). Without WS_CHILD the window is a top-level window.
    virtual BOOL Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect, CWnd* parent,
                        UINT id, LPVOID context = nullptr);
    virtual BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect,
                          CWnd* parent, UINT id, LPVOID param = nullptr);
    BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                  int height, HWND parent, HMENU idOrMenu, LPVOID param = nullptr);
    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
    virtual BOOL DestroyWindow();
    // Called after the window is gone (the last message); objects that delete themselves do it here.
    virtual void PostNcDestroy();
    // The last COM reference went: the window goes, then the object.
    void OnFinalRelease() override;

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Looks the message up in the message maps; FALSE when no entry handled it.
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // The window class's own processing (the control's behaviour).
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The default processing of the message being handled.
    LRESULT Default();
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    // A notification or colour message of this control, reflected by the parent; TRUE keeps it
    // from the parent's own map.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Commands by id and code through the message map (code CN_COMMAND = 0 for menus and clicks).
    virtual BOOL OnCmdMsg(UINT id, int code, void* extra, void* handlerInfo);
    // Keys and other input before they reach their window; TRUE when handled.
    virtual BOOL PreTranslateMessage(MSG* msg);
    static BOOL ReflectLastMsg(HWND child, LRESULT* result = nullptr);
    // The message being handled on this thread (for handlers without arguments).
    static const MSG* GetCurrentMessage();

    virtual void DoDataExchange(CDataExchange* dx);
    // TRUE: controls to members; FALSE: members to controls. FALSE when a check failed.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // Geometry: window rectangles in screen coordinates; client rectangles start at 0, 0.
    void GetWindowRect(LPRECT rect) const;
    void GetClientRect(LPRECT rect) const;
    void ScreenToClient(LPPOINT point) const;
    void ScreenToClient(LPRECT rect) const;
    void ClientToScreen(LPPOINT point) const;
    void ClientToScreen(LPRECT rect) const;
    void MapWindowPoints(CWnd* to, LPRECT rect) const;
    void MapWindowPoints(CWnd* to, LPPOINT points, UINT count) const;
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    void MoveWindow(LPCRECT rect, BOOL repaint = TRUE);
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
    void CenterWindow(CWnd* alternateOwner = nullptr);
    BOOL GetWindowPlacement(WINDOWPLACEMENT* placement) const;
    BOOL SetWindowPlacement(const WINDOWPLACEMENT* placement);
    void BringWindowToTop();

    BOOL ShowWindow(int command);
    BOOL IsWindowVisible() const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL IsChild(const CWnd* wnd) const;
    BOOL IsIconic() const { return FALSE; }
    BOOL IsZoomed() const;

    void SetWindowText(LPCWSTR text);
    int GetWindowText(LPWSTR buffer, int max) const;
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const;
    void SetFont(CFont* font, BOOL redraw = TRUE);
    CFont* GetFont() const;

    CWnd* GetParent() const;
    CWnd* SetParent(CWnd* parent);
    CWnd* GetOwner() const;
    CWnd* GetTopLevelParent() const;
    CWnd* GetDlgItem(int id) const;
    void GetDlgItem(int id, HWND* wnd) const;
    int GetDlgCtrlID() const;
    int SetDlgCtrlID(int id);
    CWnd* GetWindow(UINT command) const;
    CWnd* GetNextWindow(UINT command = GW_HWNDNEXT) const { return GetWindow(command); }
    // The next (or previous) control of the group of 'control' (groups start at WS_GROUP), wrapping.
    CWnd* GetNextDlgGroupItem(CWnd* control, BOOL previous = FALSE) const;
    CWnd* GetNextDlgTabItem(CWnd* control, BOOL previous = FALSE) const;

    void SetDlgItemText(int id, LPCWSTR text);
    int GetDlgItemText(int id, LPWSTR buffer, int max) const;
    int GetDlgItemText(int id, CString& text) const;
    UINT GetDlgItemInt(int id, BOOL* translated = nullptr, BOOL isSigned = TRUE) const;
    void SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE);
    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;
    void CheckRadioButton(int first, int last, int check);
    int GetCheckedRadioButton(int first, int last) const;

    CWnd* SetFocus();
    static CWnd* GetFocus();
    static CWnd* GetActiveWindow();

    void Invalidate(BOOL erase = TRUE);
    void InvalidateRect(LPCRECT rect, BOOL erase = TRUE);
    void UpdateWindow();
    BOOL RedrawWindow(LPCRECT rect = nullptr, void* region = nullptr, UINT flags = 0);
    // With FALSE, changes are not shown until redraw is switched on again.
    void SetRedraw(BOOL redraw = TRUE);

    DWORD GetStyle() const;
    DWORD GetExStyle() const;
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);

    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc = nullptr);
    BOOL KillTimer(UINT_PTR id);

    BOOL SetScrollInfo(int bar, LPSCROLLINFO info, BOOL redraw = TRUE);
    BOOL GetScrollInfo(int bar, LPSCROLLINFO info, UINT mask = SIF_ALL);
    int SetScrollPos(int bar, int pos, BOOL redraw = TRUE);
    int GetScrollPos(int bar) const;
    void SetScrollRange(int bar, int minPos, int maxPos, BOOL redraw = TRUE);
    void GetScrollRange(int bar, int* minPos, int* maxPos) const;
    int GetScrollLimit(int bar);
    void ShowScrollBar(UINT bar, BOOL show = TRUE);
    // Moves the children (and the painted content) by dx, dy.
    void ScrollWindow(int dx, int dy, LPCRECT scrollRect = nullptr, LPCRECT clipRect = nullptr);

    int MessageBox(LPCWSTR text, LPCWSTR caption = nullptr, UINT type = MB_OK);
    CDC* GetDC();
    int ReleaseDC(CDC* dc);
    void DragAcceptFiles(BOOL accept = TRUE);
    void BeginWaitCursor();
    void EndWaitCursor();
    void RestoreWaitCursor();

    // Default handlers of the standard message-map entries: each runs the default processing.
    afx_msg void OnTimer(UINT_PTR id);
    afx_msg void OnSize(UINT type, int cx, int cy);
    afx_msg void OnMove(int x, int y);
    afx_msg void OnVScroll(UINT code, UINT pos, CScrollBar* bar);
    afx_msg void OnHScroll(UINT code, UINT pos, CScrollBar* bar);
    afx_msg void OnDestroy();
    afx_msg void OnClose();
    afx_msg void OnPaint();
    afx_msg void OnShowWindow(BOOL show, UINT status);
    afx_msg HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnLButtonUp(UINT flags, CPoint point);
    afx_msg void OnLButtonDblClk(UINT flags, CPoint point);
    afx_msg void OnRButtonDown(UINT flags, CPoint point);
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    afx_msg void OnMenuSelect(UINT item, UINT flags, HMENU menu);
    afx_msg void OnDrawItem(int id, LPDRAWITEMSTRUCT dis);
    afx_msg void OnMeasureItem(int id, LPMEASUREITEMSTRUCT mis);
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg int OnCreate(LPCREATESTRUCT cs);
    afx_msg void OnWindowPosChanging(WINDOWPOS* pos);
    afx_msg void OnSetFocus(CWnd* old);
    afx_msg void OnKillFocus(CWnd* next);
    afx_msg void OnContextMenu(CWnd* wnd, CPoint point);
    afx_msg void OnKeyDown(UINT key, UINT repeat, UINT flags);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

public:
    static const AFX_MSGMAP* StaticMessageMap() { return GetThisMessageMap(); }

private:
    friend struct CWndAccess;
    bool temporary_ = false;  // made by FromHandle, owned by the window
};

// ---- handles
// The window class's own processing of a message.
LRESULT DefWindowProcW(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam);
inline LRESULT DefWindowProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(wnd, message, wParam, lParam);
}
LRESULT SendMessageW(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam);
inline LRESULT SendMessage(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageW(wnd, message, wParam, lParam);
}
// From any thread; the message runs later on the GUI thread. FALSE for a window that is gone.
BOOL PostMessageW(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam);
inline BOOL PostMessage(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(wnd, message, wParam, lParam);
}
BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
inline BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostThreadMessageW(threadId, message, wParam, lParam);
}
// The calling thread's queue (on the GUI thread: the posted window messages). wnd null: any
// message; otherwise exactly that window's messages. Filters 0, 0: every message number.
BOOL PeekMessageW(LPMSG msg, HWND wnd, UINT filterMin, UINT filterMax, UINT removeFlags);
inline BOOL PeekMessage(LPMSG msg, HWND wnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
    return PeekMessageW(msg, wnd, filterMin, filterMax, removeFlags);
}
// Waits for a message of the calling thread's queue; FALSE for WM_QUIT. On the GUI thread it
// keeps the window toolkit running while it waits.
BOOL GetMessageW(LPMSG msg, HWND wnd, UINT filterMin, UINT filterMax);
inline BOOL GetMessage(LPMSG msg, HWND wnd, UINT filterMin, UINT filterMax) {
    return GetMessageW(msg, wnd, filterMin, filterMax);
}
LRESULT DispatchMessageW(const MSG* msg);
inline LRESULT DispatchMessage(const MSG* msg) { return DispatchMessageW(msg); }
BOOL TranslateMessage(const MSG* msg);
void PostQuitMessage(int exitCode);
UINT RegisterWindowMessageW(LPCWSTR name);
inline UINT RegisterWindowMessage(LPCWSTR name) { return RegisterWindowMessageW(name); }

BOOL IsWindow(HWND wnd);
BOOL IsWindowVisible(HWND wnd);
BOOL IsWindowEnabled(HWND wnd);
BOOL EnableWindow(HWND wnd, BOOL enable);
BOOL ShowWindow(HWND wnd, int command);
BOOL DestroyWindow(HWND wnd);
HWND GetParent(HWND wnd);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND wnd);
HWND GetWindow(HWND wnd, UINT command);
HWND GetFocus();
HWND SetFocus(HWND wnd);
HWND GetActiveWindow();
BOOL GetWindowRect(HWND wnd, LPRECT rect);
BOOL GetClientRect(HWND wnd, LPRECT rect);
BOOL ScreenToClient(HWND wnd, LPPOINT point);
BOOL ClientToScreen(HWND wnd, LPPOINT point);
int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count);
BOOL MoveWindow(HWND wnd, int x, int y, int width, int height, BOOL repaint);
BOOL SetWindowPos(HWND wnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
int GetWindowTextW(HWND wnd, LPWSTR buffer, int max);
int GetWindowTextLengthW(HWND wnd);
BOOL SetWindowTextW(HWND wnd, LPCWSTR text);
LONG_PTR GetWindowLongPtrW(HWND wnd, int index);
LONG_PTR SetWindowLongPtrW(HWND wnd, int index, LONG_PTR value);
inline LONG GetWindowLongW(HWND wnd, int index) { return LONG(GetWindowLongPtrW(wnd, index)); }
inline LONG SetWindowLongW(HWND wnd, int index, LONG value) { return LONG(SetWindowLongPtrW(wnd, index, value)); }
int GetClassNameW(HWND wnd, LPWSTR buffer, int max);
UINT RealGetWindowClassW(HWND wnd, LPWSTR buffer, UINT max);
UINT_PTR SetTimer(HWND wnd, UINT_PTR id, UINT elapse, TIMERPROC proc);
BOOL KillTimer(HWND wnd, UINT_PTR id);
BOOL InvalidateRect(HWND wnd, const RECT* rect, BOOL erase);
BOOL UpdateWindow(HWND wnd);
int GetScrollPos(HWND wnd, int bar);
int SetScrollPos(HWND wnd, int bar, int pos, BOOL redraw);
BOOL GetScrollInfo(HWND wnd, int bar, LPSCROLLINFO info);
int SetScrollInfo(HWND wnd, int bar, LPCSCROLLINFO info, BOOL redraw);
BOOL ScrollWindow(HWND wnd, int dx, int dy, const RECT* scrollRect, const RECT* clipRect);
// The high bit is set while the key is down (Shift, Ctrl, Alt and the mouse buttons are known).
SHORT GetKeyState(int virtualKey);
SHORT GetAsyncKeyState(int virtualKey);
BOOL GetCursorPos(LPPOINT point);
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
HCURSOR SetCursor(HCURSOR cursor);

// A class name for CreateEx; styles and handles are accepted and not used.
LPCWSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                            HICON icon = nullptr);

// Accelerator tables. TranslateAccelerator sends WM_COMMAND (high word 1) for a matching key.
HACCEL CreateAcceleratorTableW(LPACCEL entries, int count);
BOOL DestroyAcceleratorTable(HACCEL table);
int TranslateAcceleratorW(HWND wnd, HACCEL table, LPMSG msg);
inline int TranslateAccelerator(HWND wnd, HACCEL table, LPMSG msg) { return TranslateAcceleratorW(wnd, table, msg); }

// Waits for the handle while the GUI thread's messages and windows keep running, the user's input
// too. No window waits so for a worker (it cancels it and leaves it to its owner): a quit taken
// inside such a wait would unload the code that waits.
DWORD WaitForSingleObjectAndPumpMsg(HANDLE handle, DWORD milliseconds);

// Shows the wait cursor for its lifetime.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    void Restore();
};

// The application object of the host (or of a module). Run keeps the GUI thread's message loop
// going; PreTranslateMessage passes input through the windows from the target up to the top.
class CWinApp : public CWinThread {
public:
    explicit CWinApp(LPCWSTR appName = nullptr);
    ~CWinApp() override;
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual BOOL OnIdle(LONG count);
    int Run() override;
    void DoWaitCursor(int code);  // 1 on, -1 off, 0 restore
    HCURSOR LoadStandardCursor(LPCWSTR name) const { return LoadCursorW(nullptr, name); }

    // The caption of message boxes; code may free and replace it (malloc'ed).
    LPCWSTR m_pszAppName = nullptr;
    CWnd* m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
};
CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
BOOL AfxEnableControlContainer();
BOOL AfxInitRichEdit2();
struct INITCOMMONCONTROLSEX {
    DWORD dwSize = sizeof(INITCOMMONCONTROLSEX);
    DWORD dwICC = 0;
};
#define ICC_BAR_CLASSES 0x00000004u
#define ICC_WIN95_CLASSES 0x000000FFu
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);

namespace qv::ui {

// Makes sure the window toolkit runs (offscreen when there is no display) and returns TRUE on
// the GUI thread. Every window function calls it.
bool EnsureApplication();
bool IsGuiThread();
// Runs fn on the GUI thread and waits for it (at once when called there).
void RunOnGuiThread(const std::function<void()>& fn);

// The thread guard: a window or widget called from a thread other than the GUI thread (a sent
// message, or a function that works on the widget) is a fault of the caller. Off, such calls are
// carried out on the GUI thread as before; on (test builds turn it on), the call is reported on
// stderr and the process ends at once, so the test that made it fails. Posting stays free.
void SetThreadGuard(bool on);
bool IsThreadGuardOn();
// Within its scope, the current thread may call windows from another thread (tests of the window
// layer's own forwarding).
class AllowForeignThreadCalls {
public:
    AllowForeignThreadCalls();
    ~AllowForeignThreadCalls();
    AllowForeignThreadCalls(const AllowForeignThreadCalls&) = delete;
    AllowForeignThreadCalls& operator=(const AllowForeignThreadCalls&) = delete;
};
// Handles what is pending: posted messages, timers, painting, sent messages of other threads.
void ProcessPending();
// Runs the GUI thread's events until the condition holds or the time is up; TRUE when it held.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// Observers of a window's messages, called after its WindowProc (layout listeners, tests).
using MessageObserver = std::function<void(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam)>;
int AddMessageObserver(HWND wnd, MessageObserver observer);
void RemoveMessageObserver(HWND wnd, int cookie);

// The message loop of a user-interface thread other than the GUI thread (a thread's Run calls it):
// takes the thread's messages until WM_QUIT and returns its exit code; onIdle runs whenever the
// queue is empty (with the count of idle calls since the last message) until it returns FALSE;
// each other message goes to onMessage (thread messages have no window), or to its window.
int ThreadMessageLoop(const std::function<BOOL(LONG)>& onIdle, const std::function<void(MSG&)>& onMessage);

// Is the wait cursor shown (depth of nested wait cursors)?
int WaitCursorDepth();

// A window class of a control of one's own (the suite's controls): its windows behave like those
// of AfxRegisterWndClass, so that dialog templates can name the class and the control's object
// takes the window over with DDX_Control or SubclassDlgItem.
void RegisterPlainWindowClass(const std::wstring& name);
// A window class of one's own whose windows are report lists (the suite's grid).
void RegisterListViewWindowClass(const std::wstring& name);

}  // namespace qv::ui
