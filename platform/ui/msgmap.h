#pragma once
// Message maps: a class declares DECLARE_MESSAGE_MAP() and defines its table between
// BEGIN_MESSAGE_MAP(Class, Base) and END_MESSAGE_MAP(). Each entry names a message (and for
// commands and notifications a code and a control id range) and a member function; the entry
// macro checks the member's signature at compile time. Tables chain to the base class's table.
#include "gdi.h"
#include "winmsg.h"
#include "wintypes.h"

class CWnd;
class CScrollBar;
class CWinThread;

namespace qv::ui {

// What one entry does with the message it matched; 'handled' false lets the search go on.
using MsgThunk = LRESULT (*)(CWnd* self, UINT message, WPARAM wParam, LPARAM lParam, UINT id, bool& handled);

enum class EntryKind : int {
    Message,       // nMessage
    Registered,    // *pRegistered
    Command,       // WM_COMMAND with code, ids nID..nLastID (ids given to the handler)
    Notify,        // WM_NOTIFY with code, ids nID..nLastID
    ReflectCommand,  // WM_COMMAND code reflected to the control itself
    ReflectNotify,   // WM_NOTIFY code reflected to the control itself
    ReflectMessage,  // WM_CTLCOLOR, WM_DRAWITEM ... reflected to the control itself
    ThreadMessage,   // a message posted to a user-interface thread (the entry's 'self' is the thread)
};

template <class T>
struct MemberClass;
template <class C, class R, class... A>
struct MemberClass<R (C::*)(A...)> {
    using type = C;
};

}  // namespace qv::ui

struct AFX_MSGMAP_ENTRY {
    qv::ui::EntryKind kind;
    UINT nMessage;
    UINT nCode;
    UINT nID;
    UINT nLastID;
    const UINT* pRegistered;
    qv::ui::MsgThunk thunk;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                              \
protected:                                                 \
    static const AFX_MSGMAP* GetThisMessageMap();          \
    const AFX_MSGMAP* GetMessageMap() const override;      \
                                                           \
public:                                                    \
    static const AFX_MSGMAP* StaticMessageMap() { return GetThisMessageMap(); }

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                          \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }   \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                   \
        using ThisClass = theClass;                                                     \
        using TheBaseClass = baseClass;                                                 \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                                     \
    {qv::ui::EntryKind::Message, 0, 0, 0, 0, nullptr, nullptr}};                            \
        static const AFX_MSGMAP map = {&TheBaseClass::StaticMessageMap, &entries[0]};          \
        (void)sizeof(ThisClass);                                                               \
        return &map;                                                                           \
    }

namespace qv::ui {

template <auto F>
constexpr auto Self(CWnd* w) {
    return static_cast<typename MemberClass<decltype(F)>::type*>(w);
}

// void Handler()
template <auto F>
LRESULT CallVoid(CWnd* w, UINT, WPARAM, LPARAM, UINT, bool&) {
    (Self<F>(w)->*F)();
    return 0;
}
// void Handler(UINT id) for ranges
template <auto F>
LRESULT CallRange(CWnd* w, UINT, WPARAM, LPARAM, UINT id, bool&) {
    (Self<F>(w)->*F)(id);
    return 0;
}
// BOOL Handler(UINT id) for ranges that may decline
template <auto F>
LRESULT CallRangeEx(CWnd* w, UINT, WPARAM, LPARAM, UINT id, bool& handled) {
    handled = (Self<F>(w)->*F)(id) != FALSE;
    return 0;
}
// void Handler(NMHDR*, LRESULT*)
template <auto F>
LRESULT CallNotify(CWnd* w, UINT, WPARAM, LPARAM l, UINT, bool&) {
    LRESULT result = 0;
    (Self<F>(w)->*F)(reinterpret_cast<NMHDR*>(l), &result);
    return result;
}
// void Handler(UINT id, NMHDR*, LRESULT*)
template <auto F>
LRESULT CallNotifyRange(CWnd* w, UINT, WPARAM, LPARAM l, UINT id, bool&) {
    LRESULT result = 0;
    (Self<F>(w)->*F)(id, reinterpret_cast<NMHDR*>(l), &result);
    return result;
}
// BOOL Handler(NMHDR*, LRESULT*): FALSE lets the parent see the notification too
template <auto F>
LRESULT CallNotifyEx(CWnd* w, UINT, WPARAM, LPARAM l, UINT, bool& handled) {
    LRESULT result = 0;
    handled = (Self<F>(w)->*F)(reinterpret_cast<NMHDR*>(l), &result) != FALSE;
    return result;
}
// BOOL Handler(): FALSE lets the parent see the command too
template <auto F>
LRESULT CallVoidEx(CWnd* w, UINT, WPARAM, LPARAM, UINT, bool& handled) {
    handled = (Self<F>(w)->*F)() != FALSE;
    return 0;
}
// LRESULT Handler(WPARAM, LPARAM)
template <auto F>
LRESULT CallMessage(CWnd* w, UINT, WPARAM wp, LPARAM lp, UINT, bool&) {
    return (Self<F>(w)->*F)(wp, lp);
}

// void Handler(WPARAM, LPARAM) of a user-interface thread
template <auto F>
LRESULT CallThreadMessage(CWnd* w, UINT, WPARAM wp, LPARAM lp, UINT, bool&) {
    using C = typename MemberClass<decltype(F)>::type;
    (static_cast<C*>(reinterpret_cast<CWinThread*>(w))->*F)(wp, lp);
    return 0;
}

template <auto F>
LRESULT CallTimer(CWnd* w, UINT, WPARAM wp, LPARAM, UINT, bool&) {
    (Self<F>(w)->*F)(UINT_PTR(wp));
    return 0;
}
template <auto F>
LRESULT CallSize(CWnd* w, UINT, WPARAM wp, LPARAM lp, UINT, bool&) {
    (Self<F>(w)->*F)(UINT(wp), int(LOWORD(std::uintptr_t(lp))), int(HIWORD(std::uintptr_t(lp))));
    return 0;
}
template <auto F>
LRESULT CallMove(CWnd* w, UINT, WPARAM, LPARAM lp, UINT, bool&) {
    (Self<F>(w)->*F)(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
    return 0;
}
CScrollBar* ScrollBarFromLParam(LPARAM lp);
template <auto F>
LRESULT CallScroll(CWnd* w, UINT, WPARAM wp, LPARAM lp, UINT, bool&) {
    (Self<F>(w)->*F)(UINT(LOWORD(wp)), UINT(HIWORD(wp)), ScrollBarFromLParam(lp));
    return 0;
}
template <auto F>
LRESULT CallShowWindow(CWnd* w, UINT, WPARAM wp, LPARAM lp, UINT, bool&) {
    (Self<F>(w)->*F)(BOOL(wp), UINT(lp));
    return 0;
}
// HBRUSH OnCtlColor(CDC*, CWnd*, UINT); wParam is the HDC, lParam the control.
CDC* DcFromWParam(WPARAM wp);
CWnd* WndFromLParam(LPARAM lp);
UINT CtlColorKind(UINT message);
template <auto F>
LRESULT CallCtlColor(CWnd* w, UINT msg, WPARAM wp, LPARAM lp, UINT, bool&) {
    return reinterpret_cast<LRESULT>((Self<F>(w)->*F)(DcFromWParam(wp), WndFromLParam(lp), CtlColorKind(msg)));
}
// HBRUSH CtlColor(CDC*, UINT), reflected to the control
template <auto F>
LRESULT CallCtlColorReflect(CWnd* w, UINT msg, WPARAM wp, LPARAM, UINT, bool& handled) {
    HBRUSH b = (Self<F>(w)->*F)(DcFromWParam(wp), CtlColorKind(msg));
    handled = b != nullptr;
    return reinterpret_cast<LRESULT>(b);
}
template <auto F>
LRESULT CallMouse(CWnd* w, UINT, WPARAM wp, LPARAM lp, UINT, bool&) {
    (Self<F>(w)->*F)(UINT(wp), CPoint(lp));
    return 0;
}
template <auto F>
LRESULT CallMenuSelect(CWnd* w, UINT, WPARAM wp, LPARAM lp, UINT, bool&) {
    (Self<F>(w)->*F)(UINT(LOWORD(wp)), UINT(HIWORD(wp)), reinterpret_cast<HMENU>(lp));
    return 0;
}
template <auto F>
LRESULT CallDrawItem(CWnd* w, UINT, WPARAM wp, LPARAM lp, UINT, bool&) {
    (Self<F>(w)->*F)(int(wp), reinterpret_cast<LPDRAWITEMSTRUCT>(lp));
    return TRUE;
}
template <auto F>
LRESULT CallMeasureItem(CWnd* w, UINT, WPARAM wp, LPARAM lp, UINT, bool&) {
    (Self<F>(w)->*F)(int(wp), reinterpret_cast<LPMEASUREITEMSTRUCT>(lp));
    return TRUE;
}
template <auto F>
LRESULT CallEraseBkgnd(CWnd* w, UINT, WPARAM wp, LPARAM, UINT, bool&) {
    return (Self<F>(w)->*F)(DcFromWParam(wp));
}
template <auto F>
LRESULT CallCreate(CWnd* w, UINT, WPARAM, LPARAM lp, UINT, bool&) {
    return (Self<F>(w)->*F)(reinterpret_cast<LPCREATESTRUCT>(lp));
}
template <auto F>
LRESULT CallWindowPos(CWnd* w, UINT, WPARAM, LPARAM lp, UINT, bool&) {
    (Self<F>(w)->*F)(reinterpret_cast<WINDOWPOS*>(lp));
    return 0;
}
CWnd* WndFromHandle(HWND h);
template <auto F>
LRESULT CallFocus(CWnd* w, UINT, WPARAM wp, LPARAM, UINT, bool&) {
    (Self<F>(w)->*F)(WndFromHandle(reinterpret_cast<HWND>(wp)));
    return 0;
}
template <auto F>
LRESULT CallContextMenu(CWnd* w, UINT, WPARAM wp, LPARAM lp, UINT, bool&) {
    (Self<F>(w)->*F)(WndFromHandle(reinterpret_cast<HWND>(wp)), CPoint(lp));
    return 0;
}
template <auto F>
LRESULT CallKey(CWnd* w, UINT, WPARAM wp, LPARAM lp, UINT, bool&) {
    (Self<F>(w)->*F)(UINT(wp), UINT(LOWORD(std::uintptr_t(lp))), UINT(HIWORD(std::uintptr_t(lp))));
    return 0;
}
template <auto F>
LRESULT CallClose(CWnd* w, UINT, WPARAM, LPARAM, UINT, bool&) {
    (Self<F>(w)->*F)();
    return 0;
}

}  // namespace qv::ui

#define QV_MSG_ENTRY(kind, msg, code, id, last, reg, thunk) {qv::ui::EntryKind::kind, msg, code, id, last, reg, thunk},

// Commands and control notifications
#define ON_COMMAND(id, fn) QV_MSG_ENTRY(Command, WM_COMMAND, 0, UINT(id), UINT(id), nullptr, &qv::ui::CallVoid<fn>)
#define ON_COMMAND_RANGE(first, last, fn) \
    QV_MSG_ENTRY(Command, WM_COMMAND, 0, UINT(first), UINT(last), nullptr, &qv::ui::CallRange<fn>)
#define ON_COMMAND_EX(id, fn) QV_MSG_ENTRY(Command, WM_COMMAND, 0, UINT(id), UINT(id), nullptr, &qv::ui::CallRangeEx<fn>)
#define ON_CONTROL(code, id, fn) \
    QV_MSG_ENTRY(Command, WM_COMMAND, UINT(code), UINT(id), UINT(id), nullptr, &qv::ui::CallVoid<fn>)
#define ON_CONTROL_RANGE(code, first, last, fn) \
    QV_MSG_ENTRY(Command, WM_COMMAND, UINT(code), UINT(first), UINT(last), nullptr, &qv::ui::CallRange<fn>)
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_BN_DOUBLECLICKED(id, fn) ON_CONTROL(BN_DOUBLECLICKED, id, fn)
#define ON_BN_SETFOCUS(id, fn) ON_CONTROL(BN_SETFOCUS, id, fn)
#define ON_BN_KILLFOCUS(id, fn) ON_CONTROL(BN_KILLFOCUS, id, fn)
#define ON_EN_CHANGE(id, fn) ON_CONTROL(EN_CHANGE, id, fn)
#define ON_EN_UPDATE(id, fn) ON_CONTROL(EN_UPDATE, id, fn)
#define ON_EN_SETFOCUS(id, fn) ON_CONTROL(EN_SETFOCUS, id, fn)
#define ON_EN_KILLFOCUS(id, fn) ON_CONTROL(EN_KILLFOCUS, id, fn)
#define ON_EN_MAXTEXT(id, fn) ON_CONTROL(EN_MAXTEXT, id, fn)
#define ON_CBN_SELCHANGE(id, fn) ON_CONTROL(CBN_SELCHANGE, id, fn)
#define ON_CBN_EDITCHANGE(id, fn) ON_CONTROL(CBN_EDITCHANGE, id, fn)
#define ON_CBN_EDITUPDATE(id, fn) ON_CONTROL(CBN_EDITUPDATE, id, fn)
#define ON_CBN_DROPDOWN(id, fn) ON_CONTROL(CBN_DROPDOWN, id, fn)
#define ON_CBN_CLOSEUP(id, fn) ON_CONTROL(CBN_CLOSEUP, id, fn)
#define ON_CBN_SETFOCUS(id, fn) ON_CONTROL(CBN_SETFOCUS, id, fn)
#define ON_CBN_KILLFOCUS(id, fn) ON_CONTROL(CBN_KILLFOCUS, id, fn)
#define ON_CBN_SELENDOK(id, fn) ON_CONTROL(CBN_SELENDOK, id, fn)
#define ON_LBN_SELCHANGE(id, fn) ON_CONTROL(LBN_SELCHANGE, id, fn)
#define ON_LBN_DBLCLK(id, fn) ON_CONTROL(LBN_DBLCLK, id, fn)
#define ON_STN_CLICKED(id, fn) ON_CONTROL(STN_CLICKED, id, fn)
#define ON_STN_DBLCLK(id, fn) ON_CONTROL(STN_DBLCLK, id, fn)
#define ON_NOTIFY(code, id, fn) \
    QV_MSG_ENTRY(Notify, WM_NOTIFY, UINT(code), UINT(id), UINT(id), nullptr, &qv::ui::CallNotify<fn>)
#define ON_NOTIFY_RANGE(code, first, last, fn) \
    QV_MSG_ENTRY(Notify, WM_NOTIFY, UINT(code), UINT(first), UINT(last), nullptr, &qv::ui::CallNotifyRange<fn>)

// Notifications and commands handled by the control that sent them
#define ON_NOTIFY_REFLECT(code, fn) \
    QV_MSG_ENTRY(ReflectNotify, WM_NOTIFY, UINT(code), 0, 0, nullptr, &qv::ui::CallNotify<fn>)
#define ON_NOTIFY_REFLECT_EX(code, fn) \
    QV_MSG_ENTRY(ReflectNotify, WM_NOTIFY, UINT(code), 0, 0, nullptr, &qv::ui::CallNotifyEx<fn>)
#define ON_CONTROL_REFLECT(code, fn) \
    QV_MSG_ENTRY(ReflectCommand, WM_COMMAND, UINT(code), 0, 0, nullptr, &qv::ui::CallVoid<fn>)
#define ON_CONTROL_REFLECT_EX(code, fn) \
    QV_MSG_ENTRY(ReflectCommand, WM_COMMAND, UINT(code), 0, 0, nullptr, &qv::ui::CallVoidEx<fn>)
#define ON_WM_CTLCOLOR_REFLECT()                                                                                   \
    QV_MSG_ENTRY(ReflectMessage, WM_CTLCOLORSTATIC, 0, 0, 0, nullptr, &qv::ui::CallCtlColorReflect<&ThisClass::CtlColor>) \
    QV_MSG_ENTRY(ReflectMessage, WM_CTLCOLOREDIT, 0, 0, 0, nullptr, &qv::ui::CallCtlColorReflect<&ThisClass::CtlColor>)   \
    QV_MSG_ENTRY(ReflectMessage, WM_CTLCOLORLISTBOX, 0, 0, 0, nullptr, &qv::ui::CallCtlColorReflect<&ThisClass::CtlColor>) \
    QV_MSG_ENTRY(ReflectMessage, WM_CTLCOLORBTN, 0, 0, 0, nullptr, &qv::ui::CallCtlColorReflect<&ThisClass::CtlColor>)

// Window messages
#define ON_MESSAGE(msg, fn) QV_MSG_ENTRY(Message, UINT(msg), 0, 0, 0, nullptr, &qv::ui::CallMessage<fn>)
#define ON_THREAD_MESSAGE(msg, fn) \
    QV_MSG_ENTRY(ThreadMessage, UINT(msg), 0, 0, 0, nullptr, &qv::ui::CallThreadMessage<fn>)
#define ON_REGISTERED_MESSAGE(var, fn) QV_MSG_ENTRY(Registered, 0, 0, 0, 0, &var, &qv::ui::CallMessage<fn>)
#define ON_WM_TIMER() QV_MSG_ENTRY(Message, WM_TIMER, 0, 0, 0, nullptr, &qv::ui::CallTimer<&ThisClass::OnTimer>)
#define ON_WM_SIZE() QV_MSG_ENTRY(Message, WM_SIZE, 0, 0, 0, nullptr, &qv::ui::CallSize<&ThisClass::OnSize>)
#define ON_WM_MOVE() QV_MSG_ENTRY(Message, WM_MOVE, 0, 0, 0, nullptr, &qv::ui::CallMove<&ThisClass::OnMove>)
#define ON_WM_VSCROLL() QV_MSG_ENTRY(Message, WM_VSCROLL, 0, 0, 0, nullptr, &qv::ui::CallScroll<&ThisClass::OnVScroll>)
#define ON_WM_HSCROLL() QV_MSG_ENTRY(Message, WM_HSCROLL, 0, 0, 0, nullptr, &qv::ui::CallScroll<&ThisClass::OnHScroll>)
#define ON_WM_DESTROY() QV_MSG_ENTRY(Message, WM_DESTROY, 0, 0, 0, nullptr, &qv::ui::CallVoid<&ThisClass::OnDestroy>)
#define ON_WM_CLOSE() QV_MSG_ENTRY(Message, WM_CLOSE, 0, 0, 0, nullptr, &qv::ui::CallClose<&ThisClass::OnClose>)
#define ON_WM_PAINT() QV_MSG_ENTRY(Message, WM_PAINT, 0, 0, 0, nullptr, &qv::ui::CallVoid<&ThisClass::OnPaint>)
#define ON_WM_SHOWWINDOW() \
    QV_MSG_ENTRY(Message, WM_SHOWWINDOW, 0, 0, 0, nullptr, &qv::ui::CallShowWindow<&ThisClass::OnShowWindow>)
#define ON_WM_CTLCOLOR()                                                                                      \
    QV_MSG_ENTRY(Message, WM_CTLCOLORSTATIC, 0, 0, 0, nullptr, &qv::ui::CallCtlColor<&ThisClass::OnCtlColor>) \
    QV_MSG_ENTRY(Message, WM_CTLCOLOREDIT, 0, 0, 0, nullptr, &qv::ui::CallCtlColor<&ThisClass::OnCtlColor>)   \
    QV_MSG_ENTRY(Message, WM_CTLCOLORLISTBOX, 0, 0, 0, nullptr, &qv::ui::CallCtlColor<&ThisClass::OnCtlColor>) \
    QV_MSG_ENTRY(Message, WM_CTLCOLORBTN, 0, 0, 0, nullptr, &qv::ui::CallCtlColor<&ThisClass::OnCtlColor>)    \
    QV_MSG_ENTRY(Message, WM_CTLCOLORDLG, 0, 0, 0, nullptr, &qv::ui::CallCtlColor<&ThisClass::OnCtlColor>)
#define ON_WM_LBUTTONDOWN() \
    QV_MSG_ENTRY(Message, WM_LBUTTONDOWN, 0, 0, 0, nullptr, &qv::ui::CallMouse<&ThisClass::OnLButtonDown>)
#define ON_WM_LBUTTONUP() \
    QV_MSG_ENTRY(Message, WM_LBUTTONUP, 0, 0, 0, nullptr, &qv::ui::CallMouse<&ThisClass::OnLButtonUp>)
#define ON_WM_LBUTTONDBLCLK() \
    QV_MSG_ENTRY(Message, WM_LBUTTONDBLCLK, 0, 0, 0, nullptr, &qv::ui::CallMouse<&ThisClass::OnLButtonDblClk>)
#define ON_WM_RBUTTONDOWN() \
    QV_MSG_ENTRY(Message, WM_RBUTTONDOWN, 0, 0, 0, nullptr, &qv::ui::CallMouse<&ThisClass::OnRButtonDown>)
#define ON_WM_MOUSEMOVE() \
    QV_MSG_ENTRY(Message, WM_MOUSEMOVE, 0, 0, 0, nullptr, &qv::ui::CallMouse<&ThisClass::OnMouseMove>)
#define ON_WM_MENUSELECT() \
    QV_MSG_ENTRY(Message, WM_MENUSELECT, 0, 0, 0, nullptr, &qv::ui::CallMenuSelect<&ThisClass::OnMenuSelect>)
#define ON_WM_DRAWITEM() \
    QV_MSG_ENTRY(Message, WM_DRAWITEM, 0, 0, 0, nullptr, &qv::ui::CallDrawItem<&ThisClass::OnDrawItem>)
#define ON_WM_MEASUREITEM() \
    QV_MSG_ENTRY(Message, WM_MEASUREITEM, 0, 0, 0, nullptr, &qv::ui::CallMeasureItem<&ThisClass::OnMeasureItem>)
#define ON_WM_ERASEBKGND() \
    QV_MSG_ENTRY(Message, WM_ERASEBKGND, 0, 0, 0, nullptr, &qv::ui::CallEraseBkgnd<&ThisClass::OnEraseBkgnd>)
#define ON_WM_CREATE() QV_MSG_ENTRY(Message, WM_CREATE, 0, 0, 0, nullptr, &qv::ui::CallCreate<&ThisClass::OnCreate>)
#define ON_WM_WINDOWPOSCHANGING() \
    QV_MSG_ENTRY(Message, WM_WINDOWPOSCHANGING, 0, 0, 0, nullptr, &qv::ui::CallWindowPos<&ThisClass::OnWindowPosChanging>)
#define ON_WM_SETFOCUS() QV_MSG_ENTRY(Message, WM_SETFOCUS, 0, 0, 0, nullptr, &qv::ui::CallFocus<&ThisClass::OnSetFocus>)
#define ON_WM_KILLFOCUS() \
    QV_MSG_ENTRY(Message, WM_KILLFOCUS, 0, 0, 0, nullptr, &qv::ui::CallFocus<&ThisClass::OnKillFocus>)
#define ON_WM_CONTEXTMENU() \
    QV_MSG_ENTRY(Message, WM_CONTEXTMENU, 0, 0, 0, nullptr, &qv::ui::CallContextMenu<&ThisClass::OnContextMenu>)
#define ON_WM_KEYDOWN() QV_MSG_ENTRY(Message, WM_KEYDOWN, 0, 0, 0, nullptr, &qv::ui::CallKey<&ThisClass::OnKeyDown>)
