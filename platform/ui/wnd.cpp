// Windows on Qt widgets: the handle registry, window creation and destruction, message dispatch
// through the message maps, sent and posted messages across threads, timers, focus and key
// routing, geometry, window scroll bars and the application object.
#include "wnd.h"
#include "lasterror.h"
#include "oledate.h"
#include "strtable.h"
#include "sync.h"
#include "qtinteraction.h"
#include "qtwidget.h"
#include "uiimpl_p.h"
#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPalette>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

using namespace qv::ui::detail;

namespace qv::ui::detail {

// ---- application and GUI thread

namespace {

std::atomic<DWORD> g_guiThread{0};
QApplication* g_ownApp = nullptr;

class Dispatcher;
Dispatcher* g_dispatcher = nullptr;

const QEvent::Type kWakeEvent = QEvent::Type(QEvent::User + 417);
const QEvent::Type kInvokeEvent = QEvent::Type(QEvent::User + 418);

// The toolkit's queue delivers a posted event after its posting, ordered by locks that a thread
// checker cannot see (the toolkit is not built for it). An event another thread posts is handed
// over here in a way the checker follows: what the poster wrote before is seen by the GUI thread.
// Every filter of the application's events takes it over first, as the first to read the event.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
void HandOver(QEvent* e) { __tsan_release(e); }
void TakeOver(QEvent* e) { __tsan_acquire(e); }
#else
void HandOver(QEvent*) {}
void TakeOver(QEvent*) {}
#endif

// Posts an event from any thread.
void Post(QObject* receiver, QEvent* e, int priority = Qt::NormalEventPriority) {
    HandOver(e);
    QCoreApplication::postEvent(receiver, e, priority);
}

struct InvokeTask {
    std::function<void()> fn;
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
};

class InvokeEvent : public QEvent {
public:
    explicit InvokeEvent(std::shared_ptr<InvokeTask> t) : QEvent(kInvokeEvent), task(std::move(t)) {}
    std::shared_ptr<InvokeTask> task;
};

void DispatchOnePosted();
void TrackInput(QEvent* e);
bool KeyOfAnotherWindow(QObject* receiver, QKeyEvent* e);
bool RouteKey(QObject* receiver, QKeyEvent* e);
void FocusChanged(QWidget* old, QWidget* now);

class Dispatcher : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == kWakeEvent) {
            DispatchOnePosted();
            return true;
        }
        if (e->type() == kInvokeEvent) {
            auto task = static_cast<InvokeEvent*>(e)->task;
            task->fn();
            {
                std::lock_guard l(task->m);
                task->done = true;
            }
            task->cv.notify_all();
            return true;
        }
        return QObject::event(e);
    }
    bool eventFilter(QObject* receiver, QEvent* e) override {
        TakeOver(e);
        switch (e->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            TrackInput(e);
            if (KeyOfAnotherWindow(receiver, static_cast<QKeyEvent*>(e))) return true;
            return RouteKey(receiver, static_cast<QKeyEvent*>(e));
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            TrackInput(e);
            break;
        default:
            break;
        }
        return false;
    }
};

void ApplyLook(QApplication* app) {
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app->setStyle(fusion);
    QPalette pal = app->style()->standardPalette();
    const auto set = [&](QPalette::ColorRole role, int sys) { pal.setColor(role, ToQColor(GetSysColor(sys))); };
    set(QPalette::Window, COLOR_BTNFACE);
    set(QPalette::Button, COLOR_BTNFACE);
    set(QPalette::Base, COLOR_WINDOW);
    set(QPalette::AlternateBase, COLOR_BTNFACE);
    set(QPalette::WindowText, COLOR_WINDOWTEXT);
    set(QPalette::Text, COLOR_WINDOWTEXT);
    set(QPalette::ButtonText, COLOR_BTNTEXT);
    set(QPalette::Highlight, COLOR_HIGHLIGHT);
    set(QPalette::HighlightedText, COLOR_HIGHLIGHTTEXT);
    set(QPalette::ToolTipBase, COLOR_INFOBK);
    set(QPalette::ToolTipText, COLOR_INFOTEXT);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, ToQColor(GetSysColor(COLOR_GRAYTEXT)));
    pal.setColor(QPalette::Disabled, QPalette::Text, ToQColor(GetSysColor(COLOR_GRAYTEXT)));
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, ToQColor(GetSysColor(COLOR_GRAYTEXT)));
    app->setPalette(pal);
    app->setFont(DefaultDialogFont());
}

}  // namespace

void InstallDispatcher() {
    if (g_dispatcher) return;
    g_dispatcher = new Dispatcher;
    qApp->installEventFilter(g_dispatcher);
    QObject::connect(qApp, &QApplication::focusChanged, g_dispatcher, &FocusChanged);
    g_guiThread = GetCurrentThreadId();
    ApplyLook(qApp);
    RegisterControlClasses();
}

}  // namespace qv::ui::detail

namespace qv::ui {

bool EnsureApplication() {
    if (!QCoreApplication::instance()) {
        // Offscreen when there is no display, so services and tests run anywhere.
        if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
            setenv("QT_QPA_PLATFORM", "offscreen", 0);
        if (!std::getenv("XDG_RUNTIME_DIR")) {
            // A private runtime folder keeps the toolkit from complaining about a missing one.
            const std::string dir = "/tmp/runtime-" + std::to_string(getuid());
            mkdir(dir.c_str(), 0700);
            setenv("XDG_RUNTIME_DIR", dir.c_str(), 0);
        }
        // The offscreen platform says so each time a window is raised or grabs the keyboard.
        static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (text.startsWith(QLatin1String("This plugin does not support"))) return;
            if (previous) previous(type, context, text);
        });
        static int argc = 1;
        static char name[] = "qovaro";
        static char* argv[] = {name, nullptr};
        g_ownApp = new QApplication(argc, argv);
    }
    if (!g_dispatcher && QCoreApplication::instance()->thread() == QThread::currentThread()) InstallDispatcher();
    return IsGuiThread();
}

bool IsGuiThread() {
    const DWORD gui = g_guiThread.load();
    return gui != 0 && gui == GetCurrentThreadId();
}

namespace {
std::atomic<bool> g_threadGuard{false};
thread_local int t_foreignAllowed = 0;
}  // namespace

void SetThreadGuard(bool on) { g_threadGuard = on; }
bool IsThreadGuardOn() { return g_threadGuard.load(); }
AllowForeignThreadCalls::AllowForeignThreadCalls() { ++t_foreignAllowed; }
AllowForeignThreadCalls::~AllowForeignThreadCalls() { --t_foreignAllowed; }

void RunOnGuiThread(const std::function<void()>& fn) {
    if (IsGuiThread() || !g_dispatcher) {
        fn();
        return;
    }
    auto task = std::make_shared<InvokeTask>();
    task->fn = fn;
    Post(g_dispatcher, new InvokeEvent(task), Qt::HighEventPriority);
    std::unique_lock l(task->m);
    task->cv.wait(l, [&] { return task->done; });
}

void ProcessPending() {
    if (!IsGuiThread()) return;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    if (condition()) return true;
    if (!EnsureApplication()) return condition();
    QElapsedTimer clock;
    clock.start();
    QTimer tick;  // wakes the loop so conditions set by other threads are seen
    tick.start(5);
    while (!condition()) {
        if (timeoutMs != INFINITE && clock.elapsed() >= qint64(timeoutMs)) return condition();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

}  // namespace qv::ui

// ---- the window registry

namespace qv::ui::detail {
namespace {

std::mutex g_windowsLock;
std::unordered_map<HWND, std::unique_ptr<Window>> g_windows;
std::uintptr_t g_nextHandle = 0x10000;

std::mutex g_classesLock;
std::map<std::wstring, ClassFactory> g_classes;

std::wstring Fold(const std::wstring& s) {
    std::wstring out = s;
    for (auto& c : out) c = wchar_t(towlower(wint_t(c)));
    return out;
}

// Per window, the children in creation (z-) order.
std::unordered_map<HWND, std::vector<HWND>> g_children;

const char kHandleProperty[] = "qvHwnd";

}  // namespace

void RegisterWindowClass(const std::wstring& name, ClassFactory factory) {
    std::lock_guard g(g_classesLock);
    g_classes[Fold(name)] = factory;
}

std::unique_ptr<WindowClass> MakeWindowClass(const std::wstring& name) {
    ClassFactory f = nullptr;
    {
        std::lock_guard g(g_classesLock);
        auto it = g_classes.find(Fold(name));
        if (it != g_classes.end()) f = it->second;
    }
    return f ? f() : nullptr;
}

std::wstring WindowClass::GetText(Window& w) { return w.text; }

void WindowClass::SetText(Window& w, const std::wstring& text) {
    w.text = text;
    if (w.widget && !w.child) w.widget->setWindowTitle(ToQt(text));
}

Window* Find(HWND wnd) {
    if (!wnd) return nullptr;
    std::lock_guard g(g_windowsLock);
    auto it = g_windows.find(wnd);
    return it == g_windows.end() ? nullptr : it->second.get();
}

Window* FindByWidget(const QObject* o) {
    for (; o; o = o->parent()) {
        const QVariant v = o->property(kHandleProperty);
        if (v.isValid()) return Find(reinterpret_cast<HWND>(std::uintptr_t(v.toULongLong())));
        // A toolkit window of its own (a menu, a message box) is not one of ours.
        if (o->isWidgetType() && static_cast<const QWidget*>(o)->isWindow()) return nullptr;
    }
    return nullptr;
}

HWND HandleOf(const QObject* widget) {
    Window* w = FindByWidget(widget);
    return w ? w->handle : nullptr;
}

void GuardThread(HWND wnd, UINT message, const char* what) {
    if (!wnd || !g_threadGuard.load() || t_foreignAllowed > 0 || qv::ui::IsGuiThread() || g_guiThread.load() == 0)
        return;
    std::wstring cls;
    if (Window* w = Find(wnd)) cls = w->className;
    std::fprintf(stderr,
                 "thread guard: %s of window %p (class \"%ls\", message 0x%04X) from thread %lu, not the GUI "
                 "thread\n",
                 what, static_cast<void*>(wnd), cls.c_str(), message, static_cast<unsigned long>(GetCurrentThreadId()));
    std::fflush(stderr);
    std::abort();
}

QWidget* WidgetOf(HWND wnd) {
    GuardThread(wnd, 0, "a widget call");
    Window* w = Find(wnd);
    return w ? w->widget.data() : nullptr;
}

CWnd* ObjectOf(Window& w) {
    if (w.object) return w.object;
    if (!w.temporary) {
        w.temporary = w.cls ? w.cls->MakeObject() : std::make_unique<CWnd>();
        w.temporary->m_hWnd = w.handle;
    }
    return w.temporary.get();
}

}  // namespace qv::ui::detail

struct CWndAccess {
    static void MarkTemporary(CWnd* w) { w->temporary_ = true; }
};

namespace qv::ui {
QWidget* WidgetOf(HWND wnd) { return detail::WidgetOf(wnd); }
HWND HandleOf(const QObject* widget) { return detail::HandleOf(widget); }
CWnd* WndFromHandle(HWND h) { return CWnd::FromHandle(h); }
CWnd* WndFromLParam(LPARAM lp) { return CWnd::FromHandle(reinterpret_cast<HWND>(lp)); }
UINT CtlColorKind(UINT message) { return message - WM_CTLCOLORMSGBOX; }
}  // namespace qv::ui

// ---- the generic window widget: toolkit events become messages

namespace qv::ui::detail {
namespace {

UINT MouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
    UINT f = 0;
    if (buttons & Qt::LeftButton) f |= MK_LBUTTON;
    if (buttons & Qt::RightButton) f |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton) f |= MK_MBUTTON;
    if (mods & Qt::ShiftModifier) f |= MK_SHIFT;
    if (mods & Qt::ControlModifier) f |= MK_CONTROL;
    return f;
}

LPARAM PointParam(const QPointF& p) {
    return MAKELPARAM(WORD(SHORT(int(p.x()))), WORD(SHORT(int(p.y()))));
}

// Mouse input of a window, as messages; returns true when the window's default processing did
// not run (the event is then withheld from the widget).
bool MouseToMessages(QObject* target, QEvent* e) {
    const HWND h = HandleOf(target);
    if (!h) return false;
    auto* me = static_cast<QMouseEvent*>(e);
    QWidget* wid = WidgetOf(h);
    const QPointF local = wid ? wid->mapFromGlobal(me->globalPosition()) : me->position();
    UINT msg = 0;
    const bool right = me->button() == Qt::RightButton;
    switch (e->type()) {
    case QEvent::MouseButtonPress: msg = right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN; break;
    case QEvent::MouseButtonRelease: msg = right ? WM_RBUTTONUP : WM_LBUTTONUP; break;
    case QEvent::MouseButtonDblClick: msg = right ? WM_RBUTTONDBLCLK : WM_LBUTTONDBLCLK; break;
    case QEvent::MouseMove: msg = WM_MOUSEMOVE; break;
    default: return false;
    }
    Qt::MouseButtons buttons = me->buttons();
    if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) buttons |= me->button();
    return !DispatchInput(h, msg, MouseFlags(buttons, me->modifiers()), PointParam(local));
}

}  // namespace

class GenericWidget : public QWidget {
public:
    GenericWidget(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {
        setAttribute(Qt::WA_NoMousePropagation, false);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const HWND h = HandleOf(this);
        Window* w = Find(h);
        if (!w) return;
        QPainter painter(this);
        QPainter* previous = w->painter;
        w->painter = &painter;
        HDC dc = CreateDcOnPainter(&painter, h);
        Dispatch(*w, WM_ERASEBKGND, WPARAM(dc), 0);
        if ((w = Find(h))) Dispatch(*w, WM_PAINT, 0, 0);
        DeleteDcOnPainter(dc);
        if ((w = Find(h))) w->painter = previous;
    }
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override {
        if (MouseToMessages(this, e)) e->accept();
        else QWidget::mousePressEvent(e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (MouseToMessages(this, e)) e->accept();
        else QWidget::mouseReleaseEvent(e);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (MouseToMessages(this, e)) e->accept();
        else QWidget::mouseDoubleClickEvent(e);
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        MouseToMessages(this, e);
        QWidget::mouseMoveEvent(e);
    }
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        if (Window* w = Find(HandleOf(this))) Dispatch(*w, WM_CLOSE, 0, 0);
    }
};

namespace {

// Plain windows: registered classes, message-only windows, the deny window.
class GenericClass : public WindowClass {
public:
    QWidget* CreateWidget(Window& w, QWidget* parent) override {
        Qt::WindowFlags flags = Qt::Widget;
        if (!w.child) {
            flags = Qt::Window;
            if (w.style & WS_POPUP) flags = Qt::Dialog;
            if (w.exStyle & WS_EX_TOOLWINDOW) flags = Qt::Tool;
        }
        auto* g = new GenericWidget(parent, flags);
        return g;
    }
    bool Proc(Window&, UINT, WPARAM, LPARAM, LRESULT&) override { return false; }
};

std::unique_ptr<WindowClass> MakeGeneric() { return std::make_unique<GenericClass>(); }

}  // namespace

QWidget* CreateGenericWidget(Window& w, QWidget* parent) { return GenericClass().CreateWidget(w, parent); }

void RegisterGenericClass(const std::wstring& name) { RegisterWindowClass(name, &MakeGeneric); }

}  // namespace qv::ui::detail

// ---- size, position and the window's own scroll bars

namespace qv::ui::detail {

void GenericWidget::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (Window* w = Find(HandleOf(this))) {
        LayoutScrollBars(*w);
        SendSizeIfChanged(*w);
    }
}

void GenericWidget::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    if (Window* w = Find(HandleOf(this))) SendMoveIfChanged(*w);
}

void GenericWidget::keyPressEvent(QKeyEvent* e) {
    QWidget::keyPressEvent(e);
}

namespace {

bool BarVisible(const ScrollState& s) {
    if (!s.bar) return false;
    return s.bar->isVisibleTo(s.bar->parentWidget());
}

int BarExtent() { return GetSystemMetrics(SM_CXVSCROLL); }

}  // namespace

QRect ClientRect(const Window& w) {
    if (!w.widget) return QRect();
    int width = w.widget->width();
    int height = w.widget->height();
    if (BarVisible(w.scroll[SB_VERT])) width -= BarExtent();
    if (BarVisible(w.scroll[SB_HORZ])) height -= BarExtent();
    return QRect(0, 0, std::max(0, width), std::max(0, height));
}

void LayoutScrollBars(Window& w) {
    if (!w.widget) return;
    const bool v = BarVisible(w.scroll[SB_VERT]);
    const bool h = BarVisible(w.scroll[SB_HORZ]);
    const int ext = BarExtent();
    const int width = w.widget->width();
    const int height = w.widget->height();
    if (v) {
        w.scroll[SB_VERT].bar->setGeometry(width - ext, 0, ext, height - (h ? ext : 0));
        w.scroll[SB_VERT].bar->raise();
    }
    if (h) {
        w.scroll[SB_HORZ].bar->setGeometry(0, height - ext, width - (v ? ext : 0), ext);
        w.scroll[SB_HORZ].bar->raise();
    }
}

void SendSizeIfChanged(Window& w) {
    if (!w.widget || !w.created) return;
    const QSize size = ClientRect(w).size();
    if (size == w.sentSize) return;
    w.sentSize = size;
    const WPARAM kind = (!w.child && w.widget->isMaximized()) ? SIZE_MAXIMIZED : SIZE_RESTORED;
    Dispatch(w, WM_SIZE, kind, MAKELPARAM(WORD(size.width()), WORD(size.height())));
}

void SendMoveIfChanged(Window& w) {
    if (!w.widget || !w.created) return;
    const QPoint pos = w.child ? w.widget->pos() : w.widget->mapToGlobal(QPoint(0, 0));
    if (pos == w.sentPos) return;
    w.sentPos = pos;
    Dispatch(w, WM_MOVE, 0, MAKELPARAM(WORD(SHORT(pos.x())), WORD(SHORT(pos.y()))));
}

namespace {

void ApplyScrollState(Window& w, int bar) {
    ScrollState& s = w.scroll[bar];
    if (!s.bar) return;
    const bool hasRange = s.max > s.min && (s.page == 0 || int(s.page) <= s.max - s.min);
    const bool show = hasRange || s.disableNoScroll || s.shownByCall;
    const QSignalBlocker block(s.bar);
    s.bar->setRange(s.min, std::max(s.min, s.max - std::max(0, int(s.page) - 1)));
    s.bar->setPageStep(std::max(1, int(s.page)));
    s.bar->setSingleStep(1);
    s.bar->setValue(s.pos);
    s.bar->setSliderPosition(s.pos);
    s.bar->setEnabled(hasRange);
    const bool wasVisible = BarVisible(s);
    s.bar->setVisible(show);
    if (wasVisible != show) {
        LayoutScrollBars(w);
        SendSizeIfChanged(w);
    }
}

int ClampPos(const ScrollState& s, int pos) {
    const int top = s.max - std::max(0, int(s.page) - 1);
    return std::max(s.min, std::min(pos, std::max(s.min, top)));
}

void OnBarAction(HWND h, int bar, int action) {
    Window* w = Find(h);
    if (!w || !w->scroll[bar].bar) return;
    QScrollBar* sb = w->scroll[bar].bar;
    const int track = sb->sliderPosition();
    int code = -1;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: code = SB_LINEDOWN; break;
    case QAbstractSlider::SliderSingleStepSub: code = SB_LINEUP; break;
    case QAbstractSlider::SliderPageStepAdd: code = SB_PAGEDOWN; break;
    case QAbstractSlider::SliderPageStepSub: code = SB_PAGEUP; break;
    case QAbstractSlider::SliderToMinimum: code = SB_TOP; break;
    case QAbstractSlider::SliderToMaximum: code = SB_BOTTOM; break;
    case QAbstractSlider::SliderMove: code = SB_THUMBTRACK; break;
    default: return;
    }
    // The window moves the bar itself (SetScrollPos), as the handler decides.
    if (code != SB_THUMBTRACK) sb->setSliderPosition(w->scroll[bar].pos);
    Dispatch(*w, bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(WORD(code), WORD(track)), 0);
}

void OnBarReleased(HWND h, int bar) {
    Window* w = Find(h);
    if (!w || !w->scroll[bar].bar) return;
    const int track = w->scroll[bar].bar->sliderPosition();
    const UINT msg = bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
    Dispatch(*w, msg, MAKEWPARAM(WORD(SB_THUMBPOSITION), WORD(track)), 0);
    if ((w = Find(h))) Dispatch(*w, msg, MAKEWPARAM(WORD(SB_ENDSCROLL), 0), 0);
    if ((w = Find(h)) && w->scroll[bar].bar) {
        const QSignalBlocker block(w->scroll[bar].bar);
        w->scroll[bar].bar->setSliderPosition(w->scroll[bar].pos);
    }
}

}  // namespace

ScrollState& EnsureScrollBar(Window& w, int bar) {
    ScrollState& s = w.scroll[bar];
    if (!s.bar && w.widget) {
        s.bar = new QScrollBar(bar == SB_VERT ? Qt::Vertical : Qt::Horizontal, w.widget);
        s.bar->setProperty("qvWindowBar", true);
        s.bar->hide();
        const HWND h = w.handle;
        QObject::connect(s.bar, &QAbstractSlider::actionTriggered, s.bar, [h, bar](int a) { OnBarAction(h, bar, a); });
        QObject::connect(s.bar, &QAbstractSlider::sliderReleased, s.bar, [h, bar] { OnBarReleased(h, bar); });
    }
    return s;
}

BOOL SetScrollInfoImpl(Window& w, int bar, const SCROLLINFO& info) {
    if (bar != SB_HORZ && bar != SB_VERT) return FALSE;
    ScrollState& s = EnsureScrollBar(w, bar);
    if (info.fMask & SIF_RANGE) s.min = info.nMin, s.max = info.nMax;
    if (info.fMask & SIF_PAGE) s.page = info.nPage;
    if (info.fMask & SIF_DISABLENOSCROLL) s.disableNoScroll = true;
    if (info.fMask & SIF_POS) s.pos = info.nPos;
    s.pos = ClampPos(s, s.pos);
    ApplyScrollState(w, bar);
    return TRUE;
}

BOOL GetScrollInfoImpl(Window& w, int bar, SCROLLINFO& info) {
    if (bar != SB_HORZ && bar != SB_VERT) return FALSE;
    const ScrollState& s = w.scroll[bar];
    if (info.fMask & SIF_RANGE) info.nMin = s.min, info.nMax = s.max;
    if (info.fMask & SIF_PAGE) info.nPage = s.page;
    if (info.fMask & SIF_POS) info.nPos = s.pos;
    if (info.fMask & SIF_TRACKPOS) info.nTrackPos = s.bar ? s.bar->sliderPosition() : s.pos;
    return TRUE;
}

}  // namespace qv::ui::detail

// ---- creating and destroying windows

namespace qv::ui::detail {
namespace {

// Mouse input and size changes of control widgets (which are not GenericWidgets).
class ControlFilter : public QObject {
public:
    bool eventFilter(QObject* o, QEvent* e) override {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            return MouseToMessages(o, e);
        case QEvent::Resize:
            if (Window* w = Find(HandleOf(o)); w && w->widget == o) {
                LayoutScrollBars(*w);
                SendSizeIfChanged(*w);
            }
            break;
        case QEvent::Move:
            if (Window* w = Find(HandleOf(o)); w && w->widget == o) SendMoveIfChanged(*w);
            break;
        default:
            break;
        }
        return false;
    }
};

ControlFilter* Filter() {
    static ControlFilter* f = new ControlFilter;
    return f;
}

}  // namespace

HWND CreateWindowRecord(DWORD exStyle, const std::wstring& className, const std::wstring& title, DWORD style, int x,
                        int y, int cx, int cy, HWND parent, UINT id, CWnd* object, LPVOID param) {
    if (!EnsureApplication()) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return nullptr;
    }
    auto cls = MakeWindowClass(className);
    if (!cls) {
        SetLastError(1407);  // the class is not registered
        return nullptr;
    }
    if (parent == HWND_MESSAGE) {
        parent = nullptr;
        style &= ~(WS_CHILD | WS_VISIBLE);
    }
    Window* parentWindow = Find(parent);
    const bool child = (style & WS_CHILD) != 0;
    if (child && !parentWindow) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto rec = std::make_unique<Window>();
    Window& w = *rec;
    {
        std::lock_guard g(g_windowsLock);
        g_nextHandle += 2;
        w.handle = reinterpret_cast<HWND>(g_nextHandle);
    }
    w.className = className;
    w.text = title;
    w.style = style;
    w.exStyle = exStyle;
    w.id = child ? id : 0;
    w.parent = parentWindow ? parent : nullptr;
    w.child = child;
    w.cls = std::move(cls);
    w.createRect = QRect(x, y, cx, cy);
    QWidget* parentWidget = parentWindow ? parentWindow->widget.data() : nullptr;
    w.widget = w.cls->CreateWidget(w, parentWidget);
    if (!w.widget) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    w.widget->setProperty(kHandleProperty, qulonglong(reinterpret_cast<std::uintptr_t>(w.handle)));
    if (!w.adopted && !dynamic_cast<GenericWidget*>(w.widget.data())) w.widget->installEventFilter(Filter());
    if (parentWindow && parentWindow->font) w.font = parentWindow->font;
    const HWND handle = w.handle;
    {
        std::lock_guard g(g_windowsLock);
        g_windows[handle] = std::move(rec);
        if (w.parent) g_children[w.parent].push_back(handle);
    }
    if (object) {
        object->m_hWnd = handle;
        w.object = object;
        object->PreSubclassWindow();
    }
    if (w.adopted) {
    } else if (!w.child) {
        w.widget->setWindowTitle(ToQt(title));
        if (cx > 0 && cy > 0) w.widget->resize(cx, cy);
        if (x != int(0x80000000)) w.widget->move(x, y);
    } else {
        w.widget->setGeometry(x, y, std::max(0, cx), std::max(0, cy));
    }
    if (style & WS_VSCROLL) EnsureScrollBar(w, SB_VERT);
    if (style & WS_HSCROLL) EnsureScrollBar(w, SB_HORZ);

    CREATESTRUCTW cs;
    cs.lpCreateParams = param;
    cs.hwndParent = parent;
    cs.x = x, cs.y = y, cs.cx = cx, cs.cy = cy;
    cs.style = LONG(style);
    cs.dwExStyle = exStyle;
    cs.lpszName = title.c_str();
    cs.lpszClass = className.c_str();
    w.created = true;
    if (Dispatch(w, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        ::DestroyWindow(handle);
        SetLastError(ERROR_INVALID_FUNCTION);
        return nullptr;
    }
    Window* again = Find(handle);
    if (!again) return nullptr;
    again->cls->OnCreated(*again);
    if (!again->adopted) {
        if (again->style & WS_DISABLED) again->widget->setEnabled(false);
        if (again->style & WS_VISIBLE) again->widget->show();
    }
    SendSizeIfChanged(*again);
    return handle;
}

namespace {

void Finalize(HWND h) {
    Window* w = Find(h);
    if (!w) return;
    for (auto& [id, timer] : w->timers) {
        timer->stop();
        timer->deleteLater();
    }
    w->timers.clear();
    Dispatch(*w, WM_NCDESTROY, 0, 0);
    w = Find(h);
    if (!w) return;
    CWnd* object = w->object;
    QPointer<QWidget> widget = w->widget;
    std::unique_ptr<Window> rec;
    {
        std::lock_guard g(g_windowsLock);
        auto it = g_windows.find(h);
        if (it != g_windows.end()) {
            rec = std::move(it->second);
            g_windows.erase(it);
        }
        if (rec && rec->parent) {
            auto& siblings = g_children[rec->parent];
            siblings.erase(std::remove(siblings.begin(), siblings.end(), h), siblings.end());
        }
        g_children.erase(h);
    }
    if (widget) {
        widget->setProperty(kHandleProperty, QVariant());
        if (!rec || !rec->adopted) {
            widget->hide();
            widget->deleteLater();
        }
    }
    if (object && object->m_hWnd == h) {
        object->m_hWnd = nullptr;
        object->PostNcDestroy();
    }
    // rec (and a temporary object) go here
}

void DestroyTree(HWND h) {
    Window* w = Find(h);
    if (!w || w->destroying) return;
    w->destroying = true;
    // Owned top-level windows go first, as their owner disappears.
    std::vector<HWND> owned;
    {
        std::lock_guard g(g_windowsLock);
        for (auto& [handle, rec] : g_windows)
            if (rec->parent == h && !rec->child) owned.push_back(handle);
    }
    for (HWND o : owned) DestroyTree(o);
    if ((w = Find(h))) Dispatch(*w, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    {
        std::lock_guard g(g_windowsLock);
        auto it = g_children.find(h);
        if (it != g_children.end()) children = it->second;
    }
    for (HWND c : children) DestroyTree(c);
    Finalize(h);
}

}  // namespace

std::vector<HWND> ChildrenOf(HWND parent) {
    std::lock_guard g(g_windowsLock);
    auto it = g_children.find(parent);
    return it == g_children.end() ? std::vector<HWND>() : it->second;
}

void MoveChildInOrder(HWND child, HWND insertAfter) {
    Window* w = Find(child);
    if (!w || !w->parent) return;
    std::lock_guard g(g_windowsLock);
    auto& list = g_children[w->parent];
    list.erase(std::remove(list.begin(), list.end(), child), list.end());
    if (insertAfter == HWND_BOTTOM) {
        list.push_back(child);
    } else if (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
        list.insert(list.begin(), child);
    } else {
        auto it = std::find(list.begin(), list.end(), insertAfter);
        list.insert(it == list.end() ? list.end() : it + 1, child);
    }
}

}  // namespace qv::ui::detail

BOOL DestroyWindow(HWND wnd) {
    qv::ui::detail::GuardThread(wnd, 0, "DestroyWindow");
    if (!Find(wnd)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DestroyTree(wnd);
    return TRUE;
}

// ---- dispatch through the message maps

namespace qv::ui::detail {
namespace {

thread_local std::vector<MSG> t_current;

bool IsCtlColorMessage(UINT m) { return m >= WM_CTLCOLORMSGBOX && m <= WM_CTLCOLORSTATIC; }

}  // namespace

LRESULT Dispatch(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND h = w.handle;
    CWnd* object = ObjectOf(w);
    MSG m;
    m.hwnd = h;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    t_current.push_back(m);
    const LRESULT result = object->WindowProc(message, wParam, lParam);
    t_current.pop_back();
    if (Window* again = Find(h); again && !again->observers.empty()) {
        std::vector<MessageObserver> observers;
        for (auto& [cookie, fn] : again->observers) observers.push_back(fn);
        for (auto& fn : observers) fn(h, message, wParam, lParam);
    }
    return result;
}

bool DispatchInput(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(h);
    if (!w) return true;
    const UINT saved = w->qtMessage;
    const bool savedReached = w->qtDefaultReached;
    w->qtMessage = message;
    w->qtDefaultReached = false;
    Dispatch(*w, message, wParam, lParam);
    w = Find(h);
    if (!w) return false;
    const bool reached = w->qtDefaultReached;
    w->qtMessage = saved;
    w->qtDefaultReached = savedReached;
    return reached;
}

void NotifyCommand(Window& w, UINT code) {
    if (!w.parent) return;
    if (Window* p = Find(w.parent))
        Dispatch(*p, WM_COMMAND, MAKEWPARAM(WORD(w.id), WORD(code)), reinterpret_cast<LPARAM>(w.handle));
}

LRESULT NotifyParent(Window& w, NMHDR& header, UINT code) {
    header.hwndFrom = w.handle;
    header.idFrom = w.id;
    header.code = code;
    if (!w.parent) return 0;
    Window* p = Find(w.parent);
    return p ? Dispatch(*p, WM_NOTIFY, WPARAM(w.id), reinterpret_cast<LPARAM>(&header)) : 0;
}

const MSG* CurrentMessage() { return t_current.empty() ? nullptr : &t_current.back(); }

}  // namespace qv::ui::detail

LRESULT DefWindowProcW(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(h);
    if (!w) return 0;
    if (message == w->qtMessage) w->qtDefaultReached = true;
    LRESULT r = 0;
    if (w->cls && w->cls->Proc(*w, message, wParam, lParam, r)) return r;
    if (!(w = Find(h))) return r;
    switch (message) {
    case WM_SETTEXT:
        w->cls->SetText(*w, lParam ? reinterpret_cast<LPCWSTR>(lParam) : L"");
        return TRUE;
    case WM_GETTEXT: {
        const std::wstring t = w->cls->GetText(*w);
        auto* buffer = reinterpret_cast<LPWSTR>(lParam);
        if (!buffer || wParam == 0) return 0;
        const std::size_t n = std::min<std::size_t>(t.size(), wParam - 1);
        t.copy(buffer, n);
        buffer[n] = L'\0';
        return LRESULT(n);
    }
    case WM_GETTEXTLENGTH:
        return LRESULT(w->cls->GetText(*w).size());
    case WM_SETFONT:
        w->font = reinterpret_cast<HFONT>(wParam);
        if (w->widget) w->widget->setFont(FontOf(w->font));
        w->cls->FontChanged(*w);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(w->font);
    case WM_SETREDRAW:
        w->redraw = wParam != 0;
        if (w->widget) {
            w->widget->setUpdatesEnabled(w->redraw);
            if (w->redraw) w->widget->update();
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(h);
        return 0;
    case WM_NEXTDLGCTL:
        if (w->widget) {
            if (lParam) {
                if (QWidget* target = WidgetOf(reinterpret_cast<HWND>(wParam))) target->setFocus(Qt::TabFocusReason);
            } else {
                QWidget* focus = QApplication::focusWidget();
                if (!focus || !w->widget->isAncestorOf(focus)) focus = w->widget;
                QWidget* next = wParam ? focus->previousInFocusChain() : focus->nextInFocusChain();
                for (int guard = 0; next && guard < 500; ++guard) {
                    if (next != w->widget && w->widget->isAncestorOf(next) && (next->focusPolicy() & Qt::TabFocus) &&
                        next->isEnabled() && next->isVisibleTo(w->widget))
                        break;
                    next = wParam ? next->previousInFocusChain() : next->nextInFocusChain();
                }
                if (next) next->setFocus(Qt::TabFocusReason);
            }
        }
        return 0;
    default:
        return 0;
    }
}

// ---- CWnd

namespace {
const AFX_MSGMAP_ENTRY kNoEntries[] = {{qv::ui::EntryKind::Message, 0, 0, 0, 0, nullptr, nullptr}};
const AFX_MSGMAP kRootMap = {nullptr, &kNoEntries[0]};

template <class Pred>
const AFX_MSGMAP_ENTRY* Search(const AFX_MSGMAP* map, Pred pred, CWnd* self, UINT message, WPARAM wp, LPARAM lp,
                               UINT id, LRESULT& result) {
    for (; map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->thunk; ++e) {
            if (!pred(*e)) continue;
            bool handled = true;
            const LRESULT r = e->thunk(self, message, wp, lp, id, handled);
            if (handled) {
                result = r;
                return e;
            }
        }
        if (map == &kRootMap) break;
    }
    return nullptr;
}
}  // namespace

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

const AFX_MSGMAP* CWnd::GetThisMessageMap() { return &kRootMap; }
const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

CWnd::CWnd() = default;

CWnd::~CWnd() {
    if (m_hWnd && !temporary_) {
        Window* w = Find(m_hWnd);
        if (w && w->object == this) {
            if (w->destroying) {
                w->object = nullptr;  // going anyway; no more messages to this object
            } else {
                ::DestroyWindow(m_hWnd);
                if ((w = Find(m_hWnd)) && w->object == this) w->object = nullptr;
            }
        }
    }
}

CWnd* CWnd::FromHandle(HWND wnd) {
    if (wnd == HWND_MESSAGE) {
        // Stands for the parent of message-only windows (never destroyed).
        static CWnd* const messageParent = [] {
            auto* p = new CWnd;
            p->m_hWnd = HWND_MESSAGE;
            return p;
        }();
        return messageParent;
    }
    Window* w = Find(wnd);
    if (!w) return nullptr;
    CWnd* o = ObjectOf(*w);
    return o;
}

CWnd* CWnd::FromHandlePermanent(HWND wnd) {
    Window* w = Find(wnd);
    return w ? w->object : nullptr;
}

BOOL CWnd::Attach(HWND wnd) {
    Window* w = Find(wnd);
    if (!w || m_hWnd) return FALSE;
    // Another thread's object for a window that has one stands for it on that thread only: the
    // window's messages stay with the object of the GUI thread.
    if (!w->object || qv::ui::IsGuiThread()) w->object = this;
    m_hWnd = wnd;
    return TRUE;
}

HWND CWnd::Detach() {
    const HWND h = m_hWnd;
    if (Window* w = Find(h); w && w->object == this) w->object = nullptr;
    m_hWnd = nullptr;
    return h;
}

BOOL CWnd::SubclassWindow(HWND wnd) {
    if (!Attach(wnd)) return FALSE;
    PreSubclassWindow();
    return TRUE;
}

void CWnd::PreSubclassWindow() {}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
    if (!parent) return FALSE;
    const HWND item = ::GetDlgItem(parent->m_hWnd, int(id));
    return item ? SubclassWindow(item) : FALSE;
}

HWND CWnd::UnsubclassWindow() { return Detach(); }

BOOL CWnd::PreCreateWindow(CREATESTRUCT&) { return TRUE; }

BOOL CWnd::Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id,
                  LPVOID context) {
    return CreateEx(0, className, windowName, style | WS_CHILD, rect, parent, id, context);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect,
                    CWnd* parent, UINT id, LPVOID param) {
    return CreateEx(exStyle, className, windowName, style, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr,
                    reinterpret_cast<HMENU>(std::uintptr_t(id)), param);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                    int height, HWND parent, HMENU idOrMenu, LPVOID param) {
    if (m_hWnd) return FALSE;
    CREATESTRUCT cs;
    cs.dwExStyle = exStyle;
    cs.lpszClass = className;
    cs.lpszName = windowName;
    cs.style = LONG(style);
    cs.x = x, cs.y = y, cs.cx = width, cs.cy = height;
    cs.hwndParent = parent;
    cs.hMenu = idOrMenu;
    cs.lpCreateParams = param;
    if (!PreCreateWindow(cs)) return FALSE;
    const UINT id = (DWORD(cs.style) & WS_CHILD) ? UINT(reinterpret_cast<std::uintptr_t>(cs.hMenu)) : 0;
    const HWND h = CreateWindowRecord(cs.dwExStyle, cs.lpszClass ? cs.lpszClass : L"", cs.lpszName ? cs.lpszName : L"",
                                      DWORD(cs.style), cs.x, cs.y, cs.cx, cs.cy, cs.hwndParent, id, this,
                                      cs.lpCreateParams);
    if (!h) {
        m_hWnd = nullptr;
        return FALSE;
    }
    return TRUE;
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

void CWnd::PostNcDestroy() {}

void CWnd::OnFinalRelease() {
    if (m_hWnd) DestroyWindow();
    CCmdTarget::OnFinalRelease();
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendMessageW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::PostMessageW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendMessageW(::GetDlgItem(m_hWnd, id), message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    LRESULT r = 0;
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam)) return FALSE;
        if (result) *result = 0;
        return TRUE;
    }
    if (message == WM_NOTIFY) {
        if (!lParam || !OnNotify(wParam, lParam, &r)) return FALSE;
        if (result) *result = r;
        return TRUE;
    }
    const auto matches = [message](const AFX_MSGMAP_ENTRY& e) {
        return (e.kind == qv::ui::EntryKind::Message && e.nMessage == message) ||
               (e.kind == qv::ui::EntryKind::Registered && e.pRegistered && *e.pRegistered == message && message);
    };
    if (Search(GetMessageMap(), matches, this, message, wParam, lParam, 0, r)) {
        if (result) *result = r;
        return TRUE;
    }
    // Without an entry of its own the window lets the control that sent the message handle it.
    HWND child = nullptr;
    if (IsCtlColorMessage(message)) child = reinterpret_cast<HWND>(lParam);
    else if (message == WM_DRAWITEM && lParam) child = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam)->hwndItem;
    else if (message == WM_MEASUREITEM && lParam)
        child = ::GetDlgItem(m_hWnd, int(reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam)->CtlID));
    else if (message == WM_COMPAREITEM && lParam) child = reinterpret_cast<LPCOMPAREITEMSTRUCT>(lParam)->hwndItem;
    else if (message == WM_DELETEITEM && lParam) child = reinterpret_cast<LPDELETEITEMSTRUCT>(lParam)->hwndItem;
    else if ((message == WM_VSCROLL || message == WM_HSCROLL) && lParam) child = reinterpret_cast<HWND>(lParam);
    if (child && child != m_hWnd && ReflectLastMsg(child, &r)) {
        if (result) *result = r;
        return TRUE;
    }
    return FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    const MSG* m = qv::ui::detail::CurrentMessage();
    if (!m || m->hwnd != m_hWnd) return 0;
    const MSG copy = *m;
    return DefWindowProc(copy.message, copy.wParam, copy.lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    const UINT id = LOWORD(wParam);
    int code = HIWORD(wParam);
    const HWND control = reinterpret_cast<HWND>(lParam);
    if (control) {
        if (control != m_hWnd && ReflectLastMsg(control)) return TRUE;
    } else {
        code = 0;  // menus and accelerators
    }
    return OnCmdMsg(id, code, nullptr, nullptr);
}

BOOL CWnd::OnCmdMsg(UINT id, int code, void*, void*) {
    LRESULT r = 0;
    const auto matches = [id, code](const AFX_MSGMAP_ENTRY& e) {
        return e.kind == qv::ui::EntryKind::Command && e.nCode == UINT(code) && id >= e.nID && id <= e.nLastID;
    };
    return Search(GetMessageMap(), matches, this, WM_COMMAND, MAKEWPARAM(WORD(id), WORD(code)), 0, id, r) != nullptr;
}

BOOL CWnd::OnNotify(WPARAM, LPARAM lParam, LRESULT* result) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (!header) return FALSE;
    LRESULT r = 0;
    if (header->hwndFrom && header->hwndFrom != m_hWnd && ReflectLastMsg(header->hwndFrom, &r)) {
        if (result) *result = r;
        return TRUE;
    }
    const UINT id = UINT(header->idFrom);
    const UINT code = header->code;
    const auto matches = [id, code](const AFX_MSGMAP_ENTRY& e) {
        return e.kind == qv::ui::EntryKind::Notify && e.nCode == code && id >= e.nID && id <= e.nLastID;
    };
    if (Search(GetMessageMap(), matches, this, WM_NOTIFY, WPARAM(id), lParam, id, r)) {
        if (result) *result = r;
        return TRUE;
    }
    return FALSE;
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    UINT code = 0;
    qv::ui::EntryKind kind = qv::ui::EntryKind::ReflectMessage;
    if (message == WM_COMMAND) {
        kind = qv::ui::EntryKind::ReflectCommand;
        code = HIWORD(wParam);
    } else if (message == WM_NOTIFY) {
        if (!lParam) return FALSE;
        kind = qv::ui::EntryKind::ReflectNotify;
        code = reinterpret_cast<NMHDR*>(lParam)->code;
    }
    const auto matches = [kind, code, message](const AFX_MSGMAP_ENTRY& e) {
        if (e.kind != kind) return false;
        return kind == qv::ui::EntryKind::ReflectMessage ? e.nMessage == message : e.nCode == code;
    };
    LRESULT r = 0;
    if (Search(GetMessageMap(), matches, this, message, wParam, lParam, 0, r)) {
        if (result) *result = r;
        return TRUE;
    }
    return FALSE;
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL CWnd::ReflectLastMsg(HWND child, LRESULT* result) {
    CWnd* c = FromHandlePermanent(child);
    const MSG* m = qv::ui::detail::CurrentMessage();
    if (!c || !m) return FALSE;
    const MSG copy = *m;
    return c->OnChildNotify(copy.message, copy.wParam, copy.lParam, result);
}

const MSG* CWnd::GetCurrentMessage() { return qv::ui::detail::CurrentMessage(); }

void CWnd::DoDataExchange(CDataExchange*) {}

// ---- geometry and state

namespace {

QWidget* W(HWND h) { return WidgetOf(h); }

QPoint ClientOrigin(HWND h) {
    QWidget* w = W(h);
    return w ? w->mapToGlobal(QPoint(0, 0)) : QPoint();
}

}  // namespace

void CWnd::GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
void CWnd::GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
void CWnd::ScreenToClient(LPPOINT p) const { ::ScreenToClient(m_hWnd, p); }
void CWnd::ClientToScreen(LPPOINT p) const { ::ClientToScreen(m_hWnd, p); }

void CWnd::ScreenToClient(LPRECT r) const {
    if (!r) return;
    const QPoint o = ClientOrigin(m_hWnd);
    OffsetRect(r, -o.x(), -o.y());
}

void CWnd::ClientToScreen(LPRECT r) const {
    if (!r) return;
    const QPoint o = ClientOrigin(m_hWnd);
    OffsetRect(r, o.x(), o.y());
}

void CWnd::MapWindowPoints(CWnd* to, LPRECT r) const {
    ::MapWindowPoints(m_hWnd, to ? to->m_hWnd : nullptr, reinterpret_cast<LPPOINT>(r), 2);
}

void CWnd::MapWindowPoints(CWnd* to, LPPOINT points, UINT count) const {
    ::MapWindowPoints(m_hWnd, to ? to->m_hWnd : nullptr, points, count);
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint) {
    ::MoveWindow(m_hWnd, x, y, width, height, repaint);
}

void CWnd::MoveWindow(LPCRECT r, BOOL repaint) {
    if (r) ::MoveWindow(m_hWnd, r->left, r->top, r->right - r->left, r->bottom - r->top, repaint);
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) {
    HWND after = nullptr;
    if (insertAfter == nullptr) after = HWND_TOP;
    else after = insertAfter->m_hWnd;
    return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
}

void CWnd::CenterWindow(CWnd* alternateOwner) {
    Window* w = Find(m_hWnd);
    if (!w || !w->widget) return;
    QRect area;
    HWND owner = alternateOwner ? alternateOwner->m_hWnd : w->parent;
    if (QWidget* o = W(owner)) area = QRect(o->mapToGlobal(QPoint(0, 0)), o->size());
    else if (QScreen* s = QGuiApplication::primaryScreen()) area = s->availableGeometry();
    QRect mine(QPoint(), w->widget->size());
    mine.moveCenter(area.center());
    if (w->child) {
        const QPoint local = w->widget->parentWidget()->mapFromGlobal(mine.topLeft());
        w->widget->move(local);
    } else {
        w->widget->move(mine.topLeft());
    }
}

BOOL CWnd::GetWindowPlacement(WINDOWPLACEMENT* p) const {
    Window* w = Find(m_hWnd);
    if (!w || !p || !w->widget) return FALSE;
    CRect r;
    GetWindowRect(&r);
    if (w->child) {
        CWnd* parent = GetParent();
        if (parent) parent->ScreenToClient(&r);
    } else if (w->widget->isMaximized()) {
        r = FromQRect(w->widget->normalGeometry());
    }
    p->rcNormalPosition = r;
    p->showCmd = !IsWindowVisible() ? SW_HIDE : (w->widget->isMaximized() ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    p->flags = 0;
    return TRUE;
}

BOOL CWnd::SetWindowPlacement(const WINDOWPLACEMENT* p) {
    Window* w = Find(m_hWnd);
    if (!w || !p || !w->widget) return FALSE;
    const RECT& r = p->rcNormalPosition;
    MoveWindow(r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    if (p->showCmd == SW_SHOWMAXIMIZED) ShowWindow(SW_SHOWMAXIMIZED);
    else if (p->showCmd != SW_HIDE && (w->style & WS_VISIBLE)) ShowWindow(SW_SHOWNORMAL);
    return TRUE;
}

void CWnd::BringWindowToTop() { ::SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

BOOL CWnd::ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
BOOL CWnd::EnableWindow(BOOL enable) { return ::EnableWindow(m_hWnd, enable); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }

BOOL CWnd::IsChild(const CWnd* wnd) const {
    if (!wnd) return FALSE;
    for (HWND h = ::GetParent(wnd->m_hWnd); h; h = ::GetParent(h))
        if (h == m_hWnd) return TRUE;
    return FALSE;
}

BOOL CWnd::IsZoomed() const {
    QWidget* w = W(m_hWnd);
    return w && w->isMaximized();
}

void CWnd::SetWindowText(LPCWSTR text) { ::SetWindowTextW(m_hWnd, text); }

int CWnd::GetWindowText(LPWSTR buffer, int max) const { return ::GetWindowTextW(m_hWnd, buffer, max); }

void CWnd::GetWindowText(CString& text) const {
    const int n = ::GetWindowTextLengthW(m_hWnd);
    std::wstring buffer(std::size_t(n) + 1, L'\0');
    const int got = ::GetWindowTextW(m_hWnd, buffer.data(), n + 1);
    buffer.resize(std::size_t(std::max(0, got)));
    text = buffer;
}

int CWnd::GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }

void CWnd::SetFont(CFont* font, BOOL redraw) {
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font ? font->m_hObject : nullptr), redraw);
}

CFont* CWnd::GetFont() const {
    return CFont::FromHandle(reinterpret_cast<HFONT>(SendMessage(WM_GETFONT, 0, 0)));
}

CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }

CWnd* CWnd::SetParent(CWnd* parent) {
    Window* w = Find(m_hWnd);
    if (!w) return nullptr;
    const HWND old = w->parent;
    Window* p = parent ? Find(parent->m_hWnd) : nullptr;
    {
        std::lock_guard g(g_windowsLock);
        if (old) {
            auto& list = g_children[old];
            list.erase(std::remove(list.begin(), list.end(), m_hWnd), list.end());
        }
        w->parent = p ? p->handle : nullptr;
        if (w->parent) g_children[w->parent].push_back(m_hWnd);
    }
    if (w->widget) {
        const bool visible = (w->style & WS_VISIBLE) != 0;
        const QPoint pos = w->widget->pos();
        w->widget->setParent(p ? p->widget.data() : nullptr, w->widget->windowFlags() & ~Qt::WindowType_Mask);
        w->widget->move(pos);
        if (visible) w->widget->show();
    }
    return FromHandle(old);
}

CWnd* CWnd::GetOwner() const { return GetParent(); }

CWnd* CWnd::GetTopLevelParent() const {
    HWND h = m_hWnd;
    for (Window* w = Find(h); w && w->child && w->parent; w = Find(w->parent)) h = w->parent;
    return FromHandle(h);
}

CWnd* CWnd::GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }

void CWnd::GetDlgItem(int id, HWND* wnd) const {
    if (wnd) *wnd = ::GetDlgItem(m_hWnd, id);
}

int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }

int CWnd::SetDlgCtrlID(int id) {
    Window* w = Find(m_hWnd);
    if (!w) return 0;
    const int old = int(w->id);
    w->id = UINT(id);
    return old;
}

CWnd* CWnd::GetWindow(UINT command) const { return FromHandle(::GetWindow(m_hWnd, command)); }

CWnd* CWnd::GetNextDlgGroupItem(CWnd* control, BOOL previous) const {
    const std::vector<HWND> kids = ChildrenOf(m_hWnd);
    if (kids.empty()) return nullptr;
    const HWND start = control ? control->m_hWnd : kids.front();
    auto it = std::find(kids.begin(), kids.end(), start);
    if (it == kids.end()) return nullptr;
    // The group of 'start': from the nearest WS_GROUP at or before it to before the next WS_GROUP.
    std::size_t first = std::size_t(it - kids.begin());
    while (first > 0 && !(::GetWindowLongPtrW(kids[first], GWL_STYLE) & WS_GROUP)) --first;
    std::size_t last = std::size_t(it - kids.begin()) + 1;
    while (last < kids.size() && !(::GetWindowLongPtrW(kids[last], GWL_STYLE) & WS_GROUP)) ++last;
    std::vector<HWND> group(kids.begin() + long(first), kids.begin() + long(last));
    const std::size_t n = group.size();
    std::size_t pos = std::size_t(std::find(group.begin(), group.end(), start) - group.begin());
    for (std::size_t step = 1; step <= n; ++step) {
        const std::size_t i = previous ? (pos + n - step % n) % n : (pos + step) % n;
        const HWND h = group[i];
        if (::IsWindowVisible(h) && ::IsWindowEnabled(h)) return FromHandle(h);
    }
    return control;
}

namespace {

// The control's own style decides, not whether its dialog is shown yet: a dialog picks its first
// focus before it is shown.
bool TakesTabFocus(HWND h) {
    const LONG_PTR style = ::GetWindowLongPtrW(h, GWL_STYLE);
    return (style & WS_TABSTOP) && (style & WS_VISIBLE) && ::IsWindowEnabled(h);
}

// A dialog inside a dialog (DS_CONTROL) lends its controls to its parent's tab order.
bool IsControlParent(HWND h) {
    wchar_t name[16] = {};
    ::GetClassNameW(h, name, 16);
    const LONG_PTR style = ::GetWindowLongPtrW(h, GWL_STYLE);
    return std::wstring_view(name) == L"#32770" && (style & (WS_CHILD | DS_CONTROL | WS_VISIBLE)) ==
                                                       LONG_PTR(WS_CHILD | DS_CONTROL | WS_VISIBLE) &&
           ::IsWindowEnabled(h);
}

// The first (or last) control of the tab order under a window, inside the dialogs it holds too.
HWND EdgeTabItem(HWND parent, bool last) {
    std::vector<HWND> kids = ChildrenOf(parent);
    if (last) std::reverse(kids.begin(), kids.end());
    for (HWND h : kids) {
        if (IsControlParent(h)) {
            if (HWND inner = EdgeTabItem(h, last)) return inner;
        } else if (TakesTabFocus(h)) {
            return h;
        }
    }
    return nullptr;
}

}  // namespace

CWnd* CWnd::GetNextDlgTabItem(CWnd* control, BOOL previous) const {
    // Without a control: where the tab order begins (or, backwards, ends).
    if (!control) {
        const HWND edge = EdgeTabItem(m_hWnd, previous);
        return edge ? FromHandle(edge) : nullptr;
    }
    const std::vector<HWND> kids = ChildrenOf(m_hWnd);
    const std::size_t n = kids.size();
    if (n == 0) return nullptr;
    std::size_t pos = 0;
    if (control) {
        auto it = std::find(kids.begin(), kids.end(), control->m_hWnd);
        if (it != kids.end()) pos = std::size_t(it - kids.begin());
    }
    for (std::size_t step = 1; step <= n; ++step) {
        const std::size_t i = previous ? (pos + n - step % n) % n : (pos + step) % n;
        const HWND h = kids[i];
        if (TakesTabFocus(h)) return FromHandle(h);
    }
    return nullptr;
}

void CWnd::SetDlgItemText(int id, LPCWSTR text) { ::SetWindowTextW(::GetDlgItem(m_hWnd, id), text); }

int CWnd::GetDlgItemText(int id, LPWSTR buffer, int max) const {
    return ::GetWindowTextW(::GetDlgItem(m_hWnd, id), buffer, max);
}

int CWnd::GetDlgItemText(int id, CString& text) const {
    CWnd* item = GetDlgItem(id);
    if (!item) {
        text.Empty();
        return 0;
    }
    item->GetWindowText(text);
    return text.GetLength();
}

UINT CWnd::GetDlgItemInt(int id, BOOL* translated, BOOL isSigned) const {
    CString text;
    GetDlgItemText(id, text);
    text.Trim();
    const std::wstring& s = text.wstr();
    std::size_t used = 0;
    long long v = 0;
    bool ok = !s.empty();
    if (ok) {
        try {
            v = std::stoll(s, &used, 10);
        } catch (...) {
            ok = false;
        }
    }
    ok = ok && used == s.size() && (isSigned || v >= 0) && v >= -2147483648LL && v <= 4294967295LL;
    if (translated) *translated = ok;
    return ok ? UINT(v) : 0;
}

void CWnd::SetDlgItemInt(int id, UINT value, BOOL isSigned) {
    CString s;
    if (isSigned) s.Format(L"%d", int(value));
    else s.Format(L"%u", value);
    SetDlgItemText(id, s);
}

void CWnd::CheckDlgButton(int id, UINT check) { SendDlgItemMessage(id, BM_SETCHECK, check, 0); }

UINT CWnd::IsDlgButtonChecked(int id) const { return UINT(SendDlgItemMessage(id, BM_GETCHECK, 0, 0)); }

void CWnd::CheckRadioButton(int first, int last, int check) {
    for (int id = first; id <= last; ++id)
        if (::GetDlgItem(m_hWnd, id)) CheckDlgButton(id, id == check ? BST_CHECKED : BST_UNCHECKED);
}

int CWnd::GetCheckedRadioButton(int first, int last) const {
    for (int id = first; id <= last; ++id)
        if (::GetDlgItem(m_hWnd, id) && IsDlgButtonChecked(id) == BST_CHECKED) return id;
    return 0;
}

CWnd* CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
CWnd* CWnd::GetFocus() { return FromHandle(::GetFocus()); }
CWnd* CWnd::GetActiveWindow() { return FromHandle(::GetActiveWindow()); }

void CWnd::Invalidate(BOOL erase) { ::InvalidateRect(m_hWnd, nullptr, erase); }
void CWnd::InvalidateRect(LPCRECT rect, BOOL erase) { ::InvalidateRect(m_hWnd, rect, erase); }
void CWnd::UpdateWindow() { ::UpdateWindow(m_hWnd); }

BOOL CWnd::RedrawWindow(LPCRECT rect, void*, UINT) {
    ::InvalidateRect(m_hWnd, rect, TRUE);
    return TRUE;
}

void CWnd::SetRedraw(BOOL redraw) { SendMessage(WM_SETREDRAW, WPARAM(redraw), 0); }

DWORD CWnd::GetStyle() const { return DWORD(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
DWORD CWnd::GetExStyle() const { return DWORD(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)); }

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT) {
    const DWORD old = GetStyle();
    const DWORD now = (old & ~remove) | add;
    if (now == old) return FALSE;
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, LONG_PTR(now));
    return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT) {
    const DWORD old = GetExStyle();
    const DWORD now = (old & ~remove) | add;
    if (now == old) return FALSE;
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, LONG_PTR(now));
    return TRUE;
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc) { return ::SetTimer(m_hWnd, id, elapse, proc); }
BOOL CWnd::KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

BOOL CWnd::SetScrollInfo(int bar, LPSCROLLINFO info, BOOL redraw) {
    return ::SetScrollInfo(m_hWnd, bar, info, redraw) >= 0;
}

BOOL CWnd::GetScrollInfo(int bar, LPSCROLLINFO info, UINT mask) {
    if (!info) return FALSE;
    info->fMask = mask;
    return ::GetScrollInfo(m_hWnd, bar, info);
}

int CWnd::SetScrollPos(int bar, int pos, BOOL redraw) { return ::SetScrollPos(m_hWnd, bar, pos, redraw); }
int CWnd::GetScrollPos(int bar) const { return ::GetScrollPos(m_hWnd, bar); }

void CWnd::SetScrollRange(int bar, int minPos, int maxPos, BOOL redraw) {
    SCROLLINFO si;
    si.fMask = SIF_RANGE;
    si.nMin = minPos;
    si.nMax = maxPos;
    ::SetScrollInfo(m_hWnd, bar, &si, redraw);
}

void CWnd::GetScrollRange(int bar, int* minPos, int* maxPos) const {
    SCROLLINFO si;
    si.fMask = SIF_RANGE;
    ::GetScrollInfo(m_hWnd, bar, &si);
    if (minPos) *minPos = si.nMin;
    if (maxPos) *maxPos = si.nMax;
}

int CWnd::GetScrollLimit(int bar) {
    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_PAGE;
    ::GetScrollInfo(m_hWnd, bar, &si);
    return std::max(si.nMin, si.nMax - std::max(0, int(si.nPage) - 1));
}

void CWnd::ShowScrollBar(UINT bar, BOOL show) {
    Window* w = Find(m_hWnd);
    if (!w) return;
    for (int b : {int(SB_HORZ), int(SB_VERT)}) {
        if (bar != UINT(b) && bar != SB_BOTH) continue;
        ScrollState& s = EnsureScrollBar(*w, b);
        s.shownByCall = show != FALSE;
        if (s.bar) s.bar->setVisible(show || (s.max > s.min));
    }
    LayoutScrollBars(*w);
    SendSizeIfChanged(*w);
}

void CWnd::ScrollWindow(int dx, int dy, LPCRECT scrollRect, LPCRECT clipRect) {
    ::ScrollWindow(m_hWnd, dx, dy, scrollRect, clipRect);
}

int CWnd::MessageBox(LPCWSTR text, LPCWSTR caption, UINT type) {
    return ::MessageBoxW(m_hWnd, text, caption ? caption : AfxGetAppName(), type);
}

CDC* CWnd::GetDC() { return CDC::FromHandle(::GetDC(m_hWnd)); }
int CWnd::ReleaseDC(CDC* dc) { return dc ? ::ReleaseDC(m_hWnd, dc->m_hDC) : 0; }

void CWnd::DragAcceptFiles(BOOL accept) {
    if (QWidget* w = W(m_hWnd)) w->setAcceptDrops(accept != FALSE);
}

void CWnd::BeginWaitCursor() {
    if (CWinApp* app = AfxGetApp()) app->DoWaitCursor(1);
    else QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CWnd::EndWaitCursor() {
    if (CWinApp* app = AfxGetApp()) app->DoWaitCursor(-1);
    else QApplication::restoreOverrideCursor();
}

void CWnd::RestoreWaitCursor() {}

// The default handlers: each hands the current message to the default processing; the colour,
// drawing and scroll messages of controls first go to the control itself.
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnSize(UINT, int, int) { Default(); }
void CWnd::OnMove(int, int) { Default(); }
namespace {
// A scroll message from a scroll bar control goes to the control first.
bool ReflectScroll(HWND self) {
    const MSG* m = qv::ui::detail::CurrentMessage();
    const HWND bar = m ? reinterpret_cast<HWND>(m->lParam) : nullptr;
    return bar && bar != self && CWnd::ReflectLastMsg(bar);
}
}  // namespace
void CWnd::OnVScroll(UINT, UINT, CScrollBar*) {
    if (!ReflectScroll(m_hWnd)) Default();
}
void CWnd::OnHScroll(UINT, UINT, CScrollBar*) {
    if (!ReflectScroll(m_hWnd)) Default();
}
void CWnd::OnDestroy() { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnPaint() { Default(); }
void CWnd::OnShowWindow(BOOL, UINT) { Default(); }
HBRUSH CWnd::OnCtlColor(CDC*, CWnd* wnd, UINT) {
    LRESULT r = 0;
    if (wnd && wnd->m_hWnd != m_hWnd && ReflectLastMsg(wnd->m_hWnd, &r)) return reinterpret_cast<HBRUSH>(r);
    return reinterpret_cast<HBRUSH>(Default());
}
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
void CWnd::OnMenuSelect(UINT, UINT, HMENU) { Default(); }
void CWnd::OnDrawItem(int, LPDRAWITEMSTRUCT dis) {
    if (dis && ReflectLastMsg(dis->hwndItem)) return;
    Default();
}
void CWnd::OnMeasureItem(int id, LPMEASUREITEMSTRUCT) {
    if (ReflectLastMsg(::GetDlgItem(m_hWnd, id))) return;
    Default();
}
BOOL CWnd::OnEraseBkgnd(CDC*) { return BOOL(Default()); }
int CWnd::OnCreate(LPCREATESTRUCT) { return int(Default()); }
void CWnd::OnWindowPosChanging(WINDOWPOS*) { Default(); }
void CWnd::OnSetFocus(CWnd*) { Default(); }
void CWnd::OnKillFocus(CWnd*) { Default(); }
void CWnd::OnContextMenu(CWnd*, CPoint) { Default(); }
void CWnd::OnKeyDown(UINT, UINT, UINT) { Default(); }

// ---- messages between threads: queues, sent and posted messages

namespace qv::ui::detail {
namespace {

struct Queue {
    std::deque<MSG> messages;
    std::condition_variable cv;
};

std::mutex g_queueLock;
std::unordered_map<DWORD, Queue> g_queues;

DWORD GuiThread() { return g_guiThread.load(); }

MSG MakeMsg(HWND h, UINT message, WPARAM wp, LPARAM lp) {
    MSG m;
    m.hwnd = h;
    m.message = message;
    m.wParam = wp;
    m.lParam = lp;
    m.time = GetTickCount();
    return m;
}

bool Matches(const MSG& m, HWND h, UINT lo, UINT hi) {
    if (h && h != reinterpret_cast<HWND>(-1) && m.hwnd != h) return false;
    if (h == reinterpret_cast<HWND>(-1) && m.hwnd) return false;
    if (lo == 0 && hi == 0) return true;
    return m.message >= lo && m.message <= hi;
}

void Enqueue(DWORD thread, const MSG& m) {
    {
        std::lock_guard g(g_queueLock);
        g_queues[thread].messages.push_back(m);
    }
    if (thread == GuiThread() && g_dispatcher) {
        Post(g_dispatcher, new QEvent(kWakeEvent));
    } else {
        std::lock_guard g(g_queueLock);
        g_queues[thread].cv.notify_all();
    }
}

void DispatchOnePosted() {
    MSG m;
    {
        std::lock_guard g(g_queueLock);
        auto& q = g_queues[GuiThread()].messages;
        if (q.empty()) return;
        m = q.front();
        q.pop_front();
    }
    if (m.message == WM_QUIT) {
        QCoreApplication::exit(int(m.wParam));
        return;
    }
    DispatchMessageW(&m);
}

}  // namespace
}  // namespace qv::ui::detail

LRESULT SendMessageW(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!Find(wnd)) return 0;
    if (qv::ui::IsGuiThread()) {
        Window* w = Find(wnd);
        return w ? Dispatch(*w, message, wParam, lParam) : 0;
    }
    qv::ui::detail::GuardThread(wnd, message, "a sent message");
    LRESULT result = 0;
    qv::ui::RunOnGuiThread([&] {
        if (Window* w = Find(wnd)) result = Dispatch(*w, message, wParam, lParam);
    });
    return result;
}

BOOL PostMessageW(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!wnd) return PostThreadMessageW(GetCurrentThreadId(), message, wParam, lParam);
    if (!Find(wnd)) {
        SetLastError(1400);  // invalid window handle
        return FALSE;
    }
    qv::ui::detail::Enqueue(qv::ui::detail::GuiThread(), qv::ui::detail::MakeMsg(wnd, message, wParam, lParam));
    return TRUE;
}

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    if (threadId == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    qv::ui::detail::Enqueue(threadId, qv::ui::detail::MakeMsg(nullptr, message, wParam, lParam));
    return TRUE;
}

BOOL PeekMessageW(LPMSG msg, HWND wnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
    using namespace qv::ui::detail;
    if (qv::ui::IsGuiThread()) QCoreApplication::sendPostedEvents(g_dispatcher, kInvokeEvent);
    std::lock_guard g(g_queueLock);
    auto& q = g_queues[GetCurrentThreadId()].messages;
    for (auto it = q.begin(); it != q.end(); ++it) {
        if (!Matches(*it, wnd, filterMin, filterMax)) continue;
        if (msg) *msg = *it;
        if (removeFlags & PM_REMOVE) q.erase(it);
        return TRUE;
    }
    return FALSE;
}

BOOL GetMessageW(LPMSG msg, HWND wnd, UINT filterMin, UINT filterMax) {
    using namespace qv::ui::detail;
    if (!msg) return -1;
    if (qv::ui::IsGuiThread()) {
        while (!PeekMessageW(msg, wnd, filterMin, filterMax, PM_REMOVE))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return msg->message != WM_QUIT;
    }
    std::unique_lock l(g_queueLock);
    Queue& q = g_queues[GetCurrentThreadId()];
    for (;;) {
        for (auto it = q.messages.begin(); it != q.messages.end(); ++it) {
            if (!Matches(*it, wnd, filterMin, filterMax)) continue;
            *msg = *it;
            q.messages.erase(it);
            return msg->message != WM_QUIT;
        }
        q.cv.wait(l);
    }
}

LRESULT DispatchMessageW(const MSG* msg) {
    if (!msg || !msg->hwnd) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, UINT_PTR(msg->wParam), GetTickCount());
        return 0;
    }
    return SendMessageW(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

void PostQuitMessage(int exitCode) {
    const DWORD self = GetCurrentThreadId();
    if (qv::ui::IsGuiThread()) {
        QCoreApplication::exit(exitCode);
        return;
    }
    qv::ui::detail::Enqueue(self, qv::ui::detail::MakeMsg(nullptr, WM_QUIT, WPARAM(exitCode), 0));
}

UINT RegisterWindowMessageW(LPCWSTR name) {
    static std::mutex lock;
    static std::map<std::wstring, UINT> known;
    if (!name || !*name) return 0;
    std::lock_guard g(lock);
    std::wstring key = name;
    for (auto& c : key) c = wchar_t(towlower(wint_t(c)));
    auto it = known.find(key);
    if (it != known.end()) return it->second;
    const UINT id = 0xC000u + UINT(known.size());
    known[key] = id;
    return id;
}

// ---- window functions on handles

BOOL IsWindow(HWND wnd) { return Find(wnd) != nullptr; }

BOOL IsWindowVisible(HWND wnd) {
    for (Window* w = Find(wnd); w; w = w->child ? Find(w->parent) : nullptr) {
        // A top window placed inside a widget of the host (the frame's pane of the module views)
        // is on the screen as that widget is, whatever its own style says.
        if (!w->child && w->widget && !w->widget->isWindow()) return w->widget->isVisible() ? TRUE : FALSE;
        if (!(w->style & WS_VISIBLE)) return FALSE;
        if (!w->child) return TRUE;
    }
    return FALSE;
}

BOOL IsWindowEnabled(HWND wnd) {
    Window* w = Find(wnd);
    return w && !(w->style & WS_DISABLED);
}

BOOL EnableWindow(HWND wnd, BOOL enable) {
    qv::ui::detail::GuardThread(wnd, 0, "EnableWindow");
    Window* w = Find(wnd);
    if (!w) return FALSE;
    const BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
    if (enable) w->style &= ~WS_DISABLED;
    else w->style |= WS_DISABLED;
    if (w->widget) w->widget->setEnabled(enable != FALSE);
    w->cls->EnableChanged(*w);
    if (bool(wasDisabled) == !enable) return wasDisabled;
    Dispatch(*w, WM_ENABLE, WPARAM(enable != FALSE), 0);
    return wasDisabled;
}

BOOL ShowWindow(HWND wnd, int command) {
    qv::ui::detail::GuardThread(wnd, 0, "ShowWindow");
    Window* w = Find(wnd);
    if (!w) return FALSE;
    const BOOL wasVisible = (w->style & WS_VISIBLE) ? TRUE : FALSE;
    const bool show = command != SW_HIDE;
    if (bool(wasVisible) != show) {
        Dispatch(*w, WM_SHOWWINDOW, WPARAM(show), 0);
        if (!(w = Find(wnd))) return wasVisible;
    }
    if (show) w->style |= WS_VISIBLE;
    else w->style &= ~WS_VISIBLE;
    if (w->widget) {
        if (!show) {
            w->widget->hide();
        } else if (!w->child && (command == SW_SHOWMAXIMIZED)) {
            w->widget->showMaximized();
        } else if (!w->child && command == SW_RESTORE) {
            w->widget->showNormal();
        } else {
            w->widget->show();
        }
        if (show && !w->child && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE) w->widget->activateWindow();
    }
    if ((w = Find(wnd))) {
        SendSizeIfChanged(*w);
        SendMoveIfChanged(*w);
    }
    return wasVisible;
}

HWND GetParent(HWND wnd) {
    Window* w = Find(wnd);
    return w ? w->parent : nullptr;
}

HWND GetDlgItem(HWND dialog, int id) {
    for (HWND h : ChildrenOf(dialog)) {
        Window* w = Find(h);
        if (w && int(w->id) == id) return h;
    }
    return nullptr;
}

int GetDlgCtrlID(HWND wnd) {
    Window* w = Find(wnd);
    return w ? int(w->id) : 0;
}

HWND GetWindow(HWND wnd, UINT command) {
    Window* w = Find(wnd);
    if (!w) return nullptr;
    if (command == GW_CHILD) {
        auto kids = ChildrenOf(wnd);
        return kids.empty() ? nullptr : kids.front();
    }
    if (command == GW_OWNER) return w->child ? nullptr : w->parent;
    if (!w->parent) return nullptr;
    auto siblings = ChildrenOf(w->parent);
    auto it = std::find(siblings.begin(), siblings.end(), wnd);
    if (it == siblings.end()) return nullptr;
    switch (command) {
    case GW_HWNDFIRST: return siblings.front();
    case GW_HWNDLAST: return siblings.back();
    case GW_HWNDNEXT: return it + 1 == siblings.end() ? nullptr : *(it + 1);
    case GW_HWNDPREV: return it == siblings.begin() ? nullptr : *(it - 1);
    default: return nullptr;
    }
}

HWND GetFocus() {
    if (!qv::ui::IsGuiThread()) return nullptr;
    return HandleOf(QApplication::focusWidget());
}

HWND SetFocus(HWND wnd) {
    const HWND old = GetFocus();
    if (QWidget* w = WidgetOf(wnd)) {
        if (QWidget* top = w->window(); top && !top->isActiveWindow()) top->activateWindow();
        w->setFocus(Qt::OtherFocusReason);
    }
    return old;
}

HWND GetActiveWindow() {
    if (!qv::ui::IsGuiThread()) return nullptr;
    return HandleOf(QApplication::activeWindow());
}

BOOL GetWindowRect(HWND wnd, LPRECT rect) {
    QWidget* w = WidgetOf(wnd);
    if (!w || !rect) return FALSE;
    if (w->isWindow()) {
        // A top-level window's rectangle includes its frame.
        *rect = FromQRect(w->frameGeometry());
        return TRUE;
    }
    const QPoint o = w->mapToGlobal(QPoint(0, 0));
    *rect = RECT{o.x(), o.y(), o.x() + w->width(), o.y() + w->height()};
    return TRUE;
}

BOOL GetClientRect(HWND wnd, LPRECT rect) {
    Window* w = Find(wnd);
    if (!w || !rect) return FALSE;
    const QRect r = ClientRect(*w);
    *rect = RECT{0, 0, r.width(), r.height()};
    return TRUE;
}

BOOL ScreenToClient(HWND wnd, LPPOINT p) {
    QWidget* w = WidgetOf(wnd);
    if (!w || !p) return FALSE;
    const QPoint q = w->mapFromGlobal(QPoint(p->x, p->y));
    p->x = q.x(), p->y = q.y();
    return TRUE;
}

BOOL ClientToScreen(HWND wnd, LPPOINT p) {
    QWidget* w = WidgetOf(wnd);
    if (!w || !p) return FALSE;
    const QPoint q = w->mapToGlobal(QPoint(p->x, p->y));
    p->x = q.x(), p->y = q.y();
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
    QPoint a, b;
    if (QWidget* w = WidgetOf(from)) a = w->mapToGlobal(QPoint(0, 0));
    if (QWidget* w = WidgetOf(to)) b = w->mapToGlobal(QPoint(0, 0));
    const int dx = a.x() - b.x();
    const int dy = a.y() - b.y();
    for (UINT i = 0; points && i < count; ++i) points[i].x += dx, points[i].y += dy;
    return MAKELONG(WORD(SHORT(dx)), WORD(SHORT(dy)));
}

BOOL MoveWindow(HWND wnd, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(wnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL SetWindowPos(HWND wnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    qv::ui::detail::GuardThread(wnd, 0, "SetWindowPos");
    Window* w = Find(wnd);
    if (!w || !w->widget) return FALSE;
    WINDOWPOS pos;
    pos.hwnd = wnd;
    pos.hwndInsertAfter = insertAfter;
    pos.x = x, pos.y = y, pos.cx = cx, pos.cy = cy;
    pos.flags = flags;
    Dispatch(*w, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    if (!(w = Find(wnd)) || !w->widget) return FALSE;
    QWidget* widget = w->widget;
    if (!(pos.flags & SWP_NOMOVE)) widget->move(pos.x, pos.y);  // a top-level window: its frame
    if (!(pos.flags & SWP_NOSIZE)) {
        // A top-level window's size includes its frame, as far as the frame is known yet.
        const QSize frame = widget->isWindow() ? widget->frameGeometry().size() - widget->size() : QSize(0, 0);
        widget->resize(std::max(0, pos.cx - frame.width()), std::max(0, pos.cy - frame.height()));
    }
    if (!(pos.flags & SWP_NOZORDER)) {
        if (pos.hwndInsertAfter == HWND_BOTTOM) widget->lower();
        else widget->raise();
        MoveChildInOrder(wnd, pos.hwndInsertAfter);
    }
    if (pos.flags & SWP_HIDEWINDOW) ShowWindow(wnd, SW_HIDE);
    if (pos.flags & SWP_SHOWWINDOW) ShowWindow(wnd, (pos.flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if ((w = Find(wnd))) {
        LayoutScrollBars(*w);
        SendMoveIfChanged(*w);
        SendSizeIfChanged(*w);
        if ((w = Find(wnd))) Dispatch(*w, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    }
    return TRUE;
}

int GetWindowTextW(HWND wnd, LPWSTR buffer, int max) {
    if (!buffer || max <= 0) return 0;
    buffer[0] = L'\0';
    return int(SendMessageW(wnd, WM_GETTEXT, WPARAM(max), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthW(HWND wnd) { return int(SendMessageW(wnd, WM_GETTEXTLENGTH, 0, 0)); }

BOOL SetWindowTextW(HWND wnd, LPCWSTR text) {
    if (!Find(wnd)) return FALSE;
    SendMessageW(wnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : L""));
    return TRUE;
}

LONG_PTR GetWindowLongPtrW(HWND wnd, int index) {
    Window* w = Find(wnd);
    if (!w) return 0;
    switch (index) {
    case GWL_STYLE: return LONG_PTR(w->style);
    case GWL_EXSTYLE: return LONG_PTR(w->exStyle);
    case GWL_ID: return LONG_PTR(w->id);
    case GWLP_USERDATA: return w->userData;
    default: return 0;
    }
}

LONG_PTR SetWindowLongPtrW(HWND wnd, int index, LONG_PTR value) {
    Window* w = Find(wnd);
    if (!w) return 0;
    LONG_PTR old = 0;
    switch (index) {
    case GWL_STYLE: {
        old = LONG_PTR(w->style);
        const DWORD now = DWORD(value);
        const DWORD changed = w->style ^ now;
        w->style = now;
        if (changed & WS_VISIBLE) ShowWindow(wnd, (now & WS_VISIBLE) ? SW_SHOWNA : SW_HIDE);
        if (changed & WS_DISABLED) EnableWindow(wnd, !(now & WS_DISABLED));
        if ((w = Find(wnd))) w->cls->StyleChanged(*w);
        break;
    }
    case GWL_EXSTYLE:
        old = LONG_PTR(w->exStyle);
        w->exStyle = DWORD(value);
        w->cls->StyleChanged(*w);
        break;
    case GWL_ID:
        old = LONG_PTR(w->id);
        w->id = UINT(value);
        break;
    case GWLP_USERDATA:
        old = w->userData;
        w->userData = value;
        break;
    default:
        break;
    }
    return old;
}

int GetClassNameW(HWND wnd, LPWSTR buffer, int max) {
    Window* w = Find(wnd);
    if (!w || !buffer || max <= 0) return 0;
    const std::size_t n = std::min<std::size_t>(w->className.size(), std::size_t(max - 1));
    w->className.copy(buffer, n);
    buffer[n] = L'\0';
    return int(n);
}

UINT RealGetWindowClassW(HWND wnd, LPWSTR buffer, UINT max) { return UINT(GetClassNameW(wnd, buffer, int(max))); }

// ---- timers

namespace {

std::mutex g_threadTimersLock;
std::map<UINT_PTR, QTimer*> g_threadTimers;
UINT_PTR g_nextThreadTimer = 0x7F00;

}  // namespace

UINT_PTR SetTimer(HWND wnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    if (!qv::ui::EnsureApplication()) return 0;
    const int interval = int(std::max<UINT>(elapse, 10));
    if (!wnd) {
        // A timer of the thread: only the procedure is called.
        if (!proc) return 0;
        std::lock_guard g(g_threadTimersLock);
        const UINT_PTR tid = id ? id : ++g_nextThreadTimer;
        QTimer*& t = g_threadTimers[tid];
        if (!t) t = new QTimer;
        t->disconnect();
        QObject::connect(t, &QTimer::timeout, [proc, tid] { proc(nullptr, WM_TIMER, tid, GetTickCount()); });
        t->start(interval);
        return tid;
    }
    Window* w = Find(wnd);
    if (!w || !w->widget) return 0;
    QTimer*& t = w->timers[id];
    if (!t) t = new QTimer(w->widget);
    t->disconnect();
    QObject::connect(t, &QTimer::timeout, t, [wnd, id, proc] {
        Window* target = Find(wnd);
        if (!target || !target->timers.count(id)) return;
        if (proc) proc(wnd, WM_TIMER, id, GetTickCount());
        else Dispatch(*target, WM_TIMER, WPARAM(id), 0);
    });
    t->start(interval);
    return id ? id : 1;
}

BOOL KillTimer(HWND wnd, UINT_PTR id) {
    if (!wnd) {
        std::lock_guard g(g_threadTimersLock);
        auto it = g_threadTimers.find(id);
        if (it == g_threadTimers.end()) return FALSE;
        it->second->stop();
        it->second->deleteLater();
        g_threadTimers.erase(it);
        return TRUE;
    }
    Window* w = Find(wnd);
    if (!w) return FALSE;
    auto it = w->timers.find(id);
    if (it == w->timers.end()) return FALSE;
    it->second->stop();
    it->second->deleteLater();
    w->timers.erase(it);
    return TRUE;
}

BOOL InvalidateRect(HWND wnd, const RECT* rect, BOOL) {
    QWidget* w = WidgetOf(wnd);
    if (!w) return FALSE;
    if (rect) w->update(ToQRect(*rect));
    else w->update();
    return TRUE;
}

BOOL UpdateWindow(HWND wnd) {
    QWidget* w = WidgetOf(wnd);
    if (!w) return FALSE;
    w->repaint();
    return TRUE;
}

int GetScrollPos(HWND wnd, int bar) {
    if (bar == SB_CTL) return int(SendMessageW(wnd, SBM_GETPOS, 0, 0));
    Window* w = Find(wnd);
    return w && (bar == SB_HORZ || bar == SB_VERT) ? w->scroll[bar].pos : 0;
}

int SetScrollPos(HWND wnd, int bar, int pos, BOOL redraw) {
    if (bar == SB_CTL) return int(SendMessageW(wnd, SBM_SETPOS, WPARAM(pos), redraw));
    Window* w = Find(wnd);
    if (!w || (bar != SB_HORZ && bar != SB_VERT)) return 0;
    const int old = w->scroll[bar].pos;
    SCROLLINFO si;
    si.fMask = SIF_POS;
    si.nPos = pos;
    SetScrollInfoImpl(*w, bar, si);
    return old;
}

BOOL GetScrollInfo(HWND wnd, int bar, LPSCROLLINFO info) {
    if (!info) return FALSE;
    if (bar == SB_CTL) return BOOL(SendMessageW(wnd, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(info)));
    Window* w = Find(wnd);
    return w ? GetScrollInfoImpl(*w, bar, *info) : FALSE;
}

int SetScrollInfo(HWND wnd, int bar, LPCSCROLLINFO info, BOOL redraw) {
    if (!info) return 0;
    if (bar == SB_CTL)
        return int(SendMessageW(wnd, SBM_SETSCROLLINFO, WPARAM(redraw), reinterpret_cast<LPARAM>(info)));
    Window* w = Find(wnd);
    if (!w) return 0;
    SetScrollInfoImpl(*w, bar, *info);
    return w->scroll[bar].pos;
}

BOOL ScrollWindow(HWND wnd, int dx, int dy, const RECT*, const RECT*) {
    Window* w = Find(wnd);
    if (!w || !w->widget) return FALSE;
    if (dx == 0 && dy == 0) return TRUE;
    // Children move; the window's own scroll bars stay where they are.
    for (HWND c : ChildrenOf(wnd))
        if (QWidget* cw = WidgetOf(c)) cw->move(cw->pos() + QPoint(dx, dy));
    LayoutScrollBars(*w);
    w->widget->update();
    return TRUE;
}

// ---- input: keys, modifiers, focus

namespace qv::ui::detail {
namespace {

std::atomic<int> g_modifiers{0};
std::atomic<int> g_buttons{0};

void TrackInput(QEvent* e) {
    auto* ie = static_cast<QInputEvent*>(e);
    g_modifiers = int(ie->modifiers());
    if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonRelease ||
        e->type() == QEvent::MouseButtonDblClick || e->type() == QEvent::MouseMove)
        g_buttons = int(static_cast<QMouseEvent*>(e)->buttons());
    if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) {
        // The modifier key itself is pressed or released by this event.
        auto* ke = static_cast<QKeyEvent*>(e);
        int mods = int(ke->modifiers());
        const bool down = e->type() == QEvent::KeyPress;
        const auto flip = [&](Qt::KeyboardModifier m) { mods = down ? (mods | int(m)) : (mods & ~int(m)); };
        if (ke->key() == Qt::Key_Shift) flip(Qt::ShiftModifier);
        if (ke->key() == Qt::Key_Control) flip(Qt::ControlModifier);
        if (ke->key() == Qt::Key_Alt) flip(Qt::AltModifier);
        g_modifiers = mods;
    }
}

}  // namespace

UINT VirtualKey(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return UINT('A' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return UINT('0' + (key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return UINT(VK_F1 + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_End: return VK_END;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Plus: return VK_ADD;
    case Qt::Key_Minus: return VK_SUBTRACT;
    default: return 0;
    }
}

int QtKey(UINT vk) {
    if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + int(vk - 'A');
    if (vk >= '0' && vk <= '9') return Qt::Key_0 + int(vk - '0');
    if (vk >= VK_F1 && vk <= VK_F12) return Qt::Key_F1 + int(vk - VK_F1);
    switch (vk) {
    case VK_RETURN: return Qt::Key_Return;
    case VK_ESCAPE: return Qt::Key_Escape;
    case VK_TAB: return Qt::Key_Tab;
    case VK_BACK: return Qt::Key_Backspace;
    case VK_SPACE: return Qt::Key_Space;
    case VK_DELETE: return Qt::Key_Delete;
    case VK_INSERT: return Qt::Key_Insert;
    case VK_HOME: return Qt::Key_Home;
    case VK_END: return Qt::Key_End;
    case VK_PRIOR: return Qt::Key_PageUp;
    case VK_NEXT: return Qt::Key_PageDown;
    case VK_LEFT: return Qt::Key_Left;
    case VK_RIGHT: return Qt::Key_Right;
    case VK_UP: return Qt::Key_Up;
    case VK_DOWN: return Qt::Key_Down;
    case VK_SHIFT: return Qt::Key_Shift;
    case VK_CONTROL: return Qt::Key_Control;
    case VK_MENU: return Qt::Key_Alt;
    default: return 0;
    }
}

// Pre-translation walks from the target window up to its top-level window.
BOOL WalkPreTranslateTree(MSG* msg) {
    for (HWND h = msg->hwnd; h;) {
        Window* w = Find(h);
        if (!w) break;
        const bool top = !w->child;
        const HWND parent = w->parent;
        if (CWnd* o = w->object; o && o->PreTranslateMessage(msg)) return TRUE;
        if (top) break;
        h = parent;
    }
    return FALSE;
}

namespace {

// The window each key held down went down in. A key that answered a box (or went down before a box
// came up) is that window's: what follows of it (its repeats while held, its release) reaches no
// other window, so the window behind a box closed by a key, or a box opened by one, never sees it.
struct KeyDown {
    QPointer<QWidget> window;
    bool released = false;
    ulong releasedAt = 0;
};
std::map<int, KeyDown> g_keysDown;

bool KeyOfAnotherWindow(QObject* receiver, QKeyEvent* e) {
    if (!receiver->isWidgetType()) return false;
    switch (e->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr: return false;  // modifiers go with the keys they change
    default: break;
    }
    QWidget* window = static_cast<QWidget*>(receiver)->window();
    auto it = g_keysDown.find(e->key());
    if (e->type() == QEvent::KeyPress && !e->isAutoRepeat()) {
        // A repeat the toolkit did not see as one comes as a release and a press at the same time.
        const bool repeat = it != g_keysDown.end() && it->second.released && e->timestamp() != 0 &&
                            e->timestamp() == it->second.releasedAt;
        if (!repeat) {
            g_keysDown[e->key()] = KeyDown{window};
            return false;
        }
        it->second.released = false;
    }
    if (it == g_keysDown.end()) return false;
    if (e->type() == QEvent::KeyRelease && !e->isAutoRepeat()) {
        it->second.released = true;
        it->second.releasedAt = e->timestamp();
    }
    const QPointer<QWidget> down = it->second.window;
    if (down == window) return false;
    // Another window it is: one that went (the box the key answered), or a box that came up
    // meanwhile. A list that opened over its own window passes the key on.
    const bool gone = !down || !down->isVisible();
    return gone || window->isModal() || QApplication::activeModalWidget() == window;
}

bool RouteKey(QObject* receiver, QKeyEvent* e) {
    // One pass per key event: when it reaches the focus widget (or the window without focus).
    QWidget* focus = QApplication::focusWidget();
    if (focus ? receiver != focus : !(receiver->isWidgetType() && static_cast<QWidget*>(receiver)->isWindow()))
        return false;
    const HWND target = HandleOf(receiver);
    if (!target) return false;
    MSG m;
    m.hwnd = target;
    const bool alt = e->modifiers() & Qt::AltModifier;
    m.message = e->type() == QEvent::KeyPress ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
    m.wParam = VirtualKey(e->key());
    m.lParam = MAKELPARAM(WORD(e->isAutoRepeat() ? 2 : 1), 0);
    m.time = GetTickCount();
    if (m.wParam == 0) return false;
    if (CWinApp* app = AfxGetApp()) return app->PreTranslateMessage(&m);
    return WalkPreTranslateTree(&m);
}

void FocusChanged(QWidget* old, QWidget* now) {
    const HWND from = HandleOf(old);
    const HWND to = HandleOf(now);
    if (from == to) return;
    if (Window* w = Find(from)) Dispatch(*w, WM_KILLFOCUS, reinterpret_cast<WPARAM>(to), 0);
    if (Window* w = Find(to)) Dispatch(*w, WM_SETFOCUS, reinterpret_cast<WPARAM>(from), 0);
}

}  // namespace
}  // namespace qv::ui::detail

SHORT GetKeyState(int vk) {
    const int mods = qv::ui::detail::g_modifiers.load();
    const int buttons = qv::ui::detail::g_buttons.load();
    bool down = false;
    switch (vk) {
    case VK_SHIFT: down = mods & Qt::ShiftModifier; break;
    case VK_CONTROL: down = mods & Qt::ControlModifier; break;
    case VK_MENU: down = mods & Qt::AltModifier; break;
    case VK_LBUTTON: down = buttons & Qt::LeftButton; break;
    case VK_RBUTTON: down = buttons & Qt::RightButton; break;
    default: break;
    }
    return down ? SHORT(0x8000) : SHORT(0);
}

SHORT GetAsyncKeyState(int vk) { return GetKeyState(vk); }

BOOL GetCursorPos(LPPOINT p) {
    if (!p) return FALSE;
    const QPoint q = QCursor::pos();
    p->x = q.x(), p->y = q.y();
    return TRUE;
}

HCURSOR LoadCursorW(HINSTANCE, LPCWSTR name) {
    return reinterpret_cast<HCURSOR>(const_cast<wchar_t*>(name));
}

HCURSOR SetCursor(HCURSOR cursor) {
    static HCURSOR current = IDC_ARROW ? reinterpret_cast<HCURSOR>(const_cast<wchar_t*>(IDC_ARROW)) : nullptr;
    const HCURSOR old = current;
    current = cursor;
    return old;
}

void qv::ui::RegisterPlainWindowClass(const std::wstring& name) { qv::ui::detail::RegisterGenericClass(name); }

LPCWSTR AfxRegisterWndClass(UINT, HCURSOR, HBRUSH, HICON) {
    static const wchar_t name[] = L"QvWnd";
    static std::once_flag once;
    std::call_once(once, [] { qv::ui::detail::RegisterGenericClass(name); });
    return name;
}

// ---- accelerators

namespace {
std::mutex g_accelLock;
std::map<HACCEL, std::vector<ACCEL>> g_accels;
std::uintptr_t g_nextAccel = 0x20000;
}  // namespace

HACCEL CreateAcceleratorTableW(LPACCEL entries, int count) {
    if (!entries || count <= 0) return nullptr;
    std::lock_guard g(g_accelLock);
    const HACCEL h = reinterpret_cast<HACCEL>(g_nextAccel += 2);
    g_accels[h] = std::vector<ACCEL>(entries, entries + count);
    return h;
}

BOOL DestroyAcceleratorTable(HACCEL table) {
    std::lock_guard g(g_accelLock);
    return g_accels.erase(table) ? TRUE : FALSE;
}

int TranslateAcceleratorW(HWND wnd, HACCEL table, LPMSG msg) {
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return 0;
    std::vector<ACCEL> entries;
    {
        std::lock_guard g(g_accelLock);
        auto it = g_accels.find(table);
        if (it == g_accels.end()) return 0;
        entries = it->second;
    }
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const bool alt = GetKeyState(VK_MENU) < 0;
    for (const ACCEL& a : entries) {
        if (!(a.fVirt & FVIRTKEY) || a.key != WORD(msg->wParam)) continue;
        if (bool(a.fVirt & FSHIFT) != shift || bool(a.fVirt & FCONTROL) != ctrl || bool(a.fVirt & FALT) != alt)
            continue;
        SendMessageW(wnd, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
        return 1;
    }
    return 0;
}

DWORD WaitForSingleObjectAndPumpMsg(HANDLE handle, DWORD milliseconds) {
    if (!qv::ui::IsGuiThread()) return WaitForSingleObject(handle, milliseconds);
    DWORD result = WaitForSingleObject(handle, 0);
    if (result != WAIT_TIMEOUT) return result;
    const bool done = qv::ui::PumpUntil(
        [&] {
            result = WaitForSingleObject(handle, 0);
            return result != WAIT_TIMEOUT;
        },
        milliseconds);
    return done ? result : WAIT_TIMEOUT;
}

// ---- wait cursor

namespace {
std::atomic<int> g_waitDepth{0};
}

CWaitCursor::CWaitCursor() {
    qv::ui::EnsureApplication();
    if (AfxGetApp()) AfxGetApp()->DoWaitCursor(1);
    else if (g_waitDepth++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

CWaitCursor::~CWaitCursor() {
    if (AfxGetApp()) AfxGetApp()->DoWaitCursor(-1);
    else if (--g_waitDepth == 0) QApplication::restoreOverrideCursor();
}

void CWaitCursor::Restore() {}

namespace qv::ui {

int ThreadMessageLoop(const std::function<BOOL(LONG)>& onIdle, const std::function<void(MSG&)>& onMessage) {
    MSG msg;
    for (;;) {
        LONG idle = 0;
        while (onIdle && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) && onIdle(idle++)) {
        }
        if (!GetMessageW(&msg, nullptr, 0, 0)) return int(msg.wParam);
        if (msg.hwnd) DispatchMessageW(&msg);
        else if (onMessage) onMessage(msg);
    }
}

int WaitCursorDepth() { return g_waitDepth.load(); }

namespace {

// The loop of a CWinThread's Run: idle calls, then its messages through its thread message map.
int UserInterfaceThreadLoop(CWinThread* thread) {
    return ThreadMessageLoop([thread](LONG count) { return thread->OnIdle(count); },
                             [thread](MSG& msg) {
                                 for (const AFX_MSGMAP* map = thread->GetMessageMap(); map;
                                      map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
                                     for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->thunk; ++e) {
                                         if (e->kind != EntryKind::ThreadMessage || e->nMessage != msg.message) continue;
                                         bool handled = true;
                                         e->thunk(reinterpret_cast<CWnd*>(thread), msg.message, msg.wParam, msg.lParam, 0,
                                                  handled);
                                         if (handled) return;
                                     }
                                 }
                             });
}

const bool g_threadLoopInstalled = (AfxSetThreadLoop(&UserInterfaceThreadLoop), true);

}  // namespace

int AddMessageObserver(HWND wnd, MessageObserver observer) {
    Window* w = Find(wnd);
    if (!w) return 0;
    const int cookie = w->nextObserver++;
    w->observers[cookie] = std::move(observer);
    return cookie;
}

void RemoveMessageObserver(HWND wnd, int cookie) {
    if (Window* w = Find(wnd)) w->observers.erase(cookie);
}

}  // namespace qv::ui

// ---- the application object

namespace {
CWinApp* g_app = nullptr;

LPCWSTR AppNameFromApp() {
    return g_app && g_app->m_pszAppName ? g_app->m_pszAppName : nullptr;
}
}  // namespace

CWinApp::CWinApp(LPCWSTR appName) {
    if (appName) {
        const std::size_t n = wcslen(appName) + 1;
        auto* copy = static_cast<wchar_t*>(std::malloc(n * sizeof(wchar_t)));
        if (copy) wmemcpy(copy, appName, n);
        m_pszAppName = copy;
    }
    if (!g_app) {
        g_app = this;
        qv::SetAppNameSource(&AppNameFromApp);
        // The application asks its user through real windows unless someone installed another way.
        if (!qv::HasInteraction()) qv::ui::InstallQtInteraction();
    }
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
        qv::SetAppNameSource(nullptr);
    }
    std::free(const_cast<wchar_t*>(m_pszAppName));
}

BOOL CWinApp::PreTranslateMessage(MSG* msg) { return qv::ui::detail::WalkPreTranslateTree(msg); }

BOOL CWinApp::OnIdle(LONG) { return FALSE; }

int CWinApp::Run() {
    if (!qv::ui::EnsureApplication()) return -1;
    const int code = QApplication::exec();
    return ExitInstance() == 0 ? code : code;
}

void CWinApp::DoWaitCursor(int code) {
    qv::ui::EnsureApplication();
    if (code > 0) {
        if (g_waitDepth++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (code < 0) {
        if (g_waitDepth > 0 && --g_waitDepth == 0) QApplication::restoreOverrideCursor();
    }
}

CWinApp* AfxGetApp() { return g_app; }
CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }
HINSTANCE AfxGetInstanceHandle() { return g_app ? g_app->m_hInstance : AfxGetResourceHandle(); }
BOOL AfxEnableControlContainer() { return TRUE; }
BOOL AfxInitRichEdit2() { return TRUE; }
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX*) { return TRUE; }
