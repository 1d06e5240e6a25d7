#pragma once
// Inside the window layer: the record behind each window handle, the window classes (the
// behaviour of each kind of control) and the helpers between handles, messages and Qt widgets.
#include "wnd.h"
#include <QColor>
#include <QFont>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QPainter;
class QTimer;
class QScrollBar;
class QImage;
class QPixmap;

// Messages of the list box class that only the check list box sends.
#define QV_LB_SETCHECKSTYLE (WM_APP + 0x3F00)
#define QV_LB_SETCHECK (WM_APP + 0x3F01)
#define QV_LB_GETCHECK (WM_APP + 0x3F02)
#define QV_LB_ENABLE (WM_APP + 0x3F03)
#define QV_LB_ISENABLED (WM_APP + 0x3F04)
// The date picker's: ends what the user is typing; TRUE when the date typed is taken.
#define QV_DTM_ENDTYPING (WM_APP + 0x3F10)
// A date field gives up the date it refused: TRUE when there was one.
#define QV_DTM_GIVEUP (WM_APP + 0x3F11)

namespace qv::ui::detail {

struct Window;

// The behaviour of one kind of window (a control class), one instance per window.
class WindowClass {
public:
    virtual ~WindowClass() = default;
    virtual QWidget* CreateWidget(Window& w, QWidget* parent) = 0;
    // Runs after the widget exists and the window is registered.
    virtual void OnCreated(Window&) {}
    // The class's processing of a message; false: not a message of this class.
    virtual bool Proc(Window& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
    // Window text as the class keeps it.
    virtual std::wstring GetText(Window& w);
    virtual void SetText(Window& w, const std::wstring& text);
    // Styles changed through ModifyStyle / SetWindowLong.
    virtual void StyleChanged(Window&) {}
    virtual void FontChanged(Window&) {}
    virtual void EnableChanged(Window&) {}
    // The object FromHandle gives for a window without one of its own (CEdit for edits ...).
    virtual std::unique_ptr<CWnd> MakeObject() { return std::make_unique<CWnd>(); }
    // Default background message of the class (WM_CTLCOLORxxx) sent to the parent when painting.
    virtual UINT CtlColorMessage(const Window&) const { return 0; }
};

using ClassFactory = std::unique_ptr<WindowClass> (*)();
// Class names compare without regard to case.
void RegisterWindowClass(const std::wstring& name, ClassFactory factory);
std::unique_ptr<WindowClass> MakeWindowClass(const std::wstring& name);
void RegisterControlClasses();  // the built-in controls
void RegisterListViewClass();
void RegisterDateTimeClass();
void RegisterTreeViewClass();

struct ScrollState {
    int min = 0;
    int max = 0;
    UINT page = 0;
    int pos = 0;
    bool disableNoScroll = false;
    bool shownByCall = false;  // ShowScrollBar(TRUE) keeps the bar shown without a range
    QPointer<QScrollBar> bar;
};

struct Window {
    HWND handle = nullptr;
    QPointer<QWidget> widget;
    CWnd* object = nullptr;  // the permanent object, or null
    std::unique_ptr<CWnd> temporary;
    std::unique_ptr<WindowClass> cls;
    std::wstring className;
    QRect createRect;  // the rectangle the window was created with
    UINT id = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;  // the parent of a child window, the owner of a top-level one
    bool child = false;
    std::wstring text;
    HFONT font = nullptr;
    std::map<UINT_PTR, QTimer*> timers;
    ScrollState scroll[2];  // SB_HORZ, SB_VERT
    QPainter* painter = nullptr;  // while WM_PAINT runs
    bool redraw = true;
    LONG_PTR userData = 0;
    std::map<int, MessageObserver> observers;
    int nextObserver = 1;
    // Input from the toolkit is passed on to the widget only when the window's default processing
    // ran for it.
    UINT qtMessage = 0;
    bool qtDefaultReached = false;
    bool destroying = false;
    bool created = false;
    bool adopted = false;  // the widget belongs to another widget (a list's header)
    // The last size and position told to the window (WM_SIZE and WM_MOVE go out once per change).
    QSize sentSize{-1, -1};
    QPoint sentPos{-100000, -100000};
};

// Tells the window its client size and position when they changed.
void SendSizeIfChanged(Window& w);
void SendMoveIfChanged(Window& w);
// Places the window's own scroll bars at its right and bottom edges.
void LayoutScrollBars(Window& w);
QRect ClientRect(const Window& w);
void RegisterGenericClass(const std::wstring& name);
// The widget of plain windows (painting, mouse, size and close become messages).
QWidget* CreateGenericWidget(Window& w, QWidget* parent);
std::vector<HWND> ChildrenOf(HWND parent);  // in z-order, top first
void MoveChildInOrder(HWND child, HWND insertAfter);
ScrollState& EnsureScrollBar(Window& w, int bar);
BOOL SetScrollInfoImpl(Window& w, int bar, const SCROLLINFO& info);
BOOL GetScrollInfoImpl(Window& w, int bar, SCROLLINFO& info);

// ---- registry of windows
Window* Find(HWND wnd);
Window* FindByWidget(const QObject* widget);  // the widget or its nearest ancestor with a window
HWND HandleOf(const QObject* widget);
QWidget* WidgetOf(HWND wnd);
CWnd* ObjectOf(Window& w);  // permanent or temporary

// Creates a window: its record, class, widget; sends WM_CREATE. Returns null on failure.
HWND CreateWindowRecord(DWORD exStyle, const std::wstring& className, const std::wstring& title, DWORD style,
                        int x, int y, int cx, int cy, HWND parent, UINT id, CWnd* object, LPVOID param);

// ---- messages
LRESULT Dispatch(Window& w, UINT message, WPARAM wParam, LPARAM lParam);
// Dispatch of input that came from the toolkit: true when the default processing ran.
bool DispatchInput(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam);
void NotifyCommand(Window& w, UINT code);
const MSG* CurrentMessage();
LRESULT NotifyParent(Window& w, NMHDR& header, UINT code);
// The parent's colours for a control about to paint: returns the brush (null: none) and fills
// text colour / background colour / mode as the handler set them.
struct CtlColors {
    HBRUSH brush = nullptr;
    bool textSet = false;
    COLORREF text = 0;
    bool bkSet = false;
    COLORREF bk = 0;
    int bkMode = 2;  // OPAQUE
};
CtlColors AskCtlColor(Window& w, UINT message, QPainter* painter);
// WM_DRAWITEM to the parent (reflected to the control first); true when someone drew.
bool SendDrawItem(Window& w, DRAWITEMSTRUCT& dis, QPainter* painter);

// ---- conversions
QString ToQt(const std::wstring& s);
QString ToQt(LPCWSTR s);
std::wstring FromQt(const QString& s);
QColor ToQColor(COLORREF c);
COLORREF FromQColor(const QColor& c);
QRect ToQRect(const RECT& r);
RECT FromQRect(const QRect& r);
// "&File" -> "File" with the ampersand rules of static texts ("&&" is one ampersand).
QString StripMnemonic(const QString& s);
// The ampersand rules of buttons and menus are Qt's own; only "&&" is the same.

// ---- drawing objects (gdi.cpp)
QFont FontOf(HFONT font);         // the default dialog font for null or unknown handles
HFONT HandleForFont(const QFont& font);  // a new font handle (owned by the caller)
QFont DefaultDialogFont();
bool BrushColor(HBRUSH brush, COLORREF& color);  // false for hollow or unknown brushes
QImage* BitmapImage(HBITMAP bitmap);  // null for unknown handles
HBITMAP NewBitmap(const QImage& image, bool mono = false);
HDC CreateDcOnPainter(QPainter* painter, HWND wnd);
void DeleteDcOnPainter(HDC dc);
QPainter* PainterOf(HDC dc);
HFONT SelectedFont(HDC dc);  // the font selected into the context, or null
int LogicalDpi();

// Dialog base units of a font (average character width and height in pixels).
QSize DialogBaseUnits(const QFont& font);

// Keys (wnd.cpp)
UINT VirtualKey(int qtKey);
int QtKey(UINT virtualKey);
BOOL WalkPreTranslateTree(MSG* msg);
// Image lists (listctrl.cpp)
QPixmap ImageListPixmap(HIMAGELIST list, int index);

// Resources (resource.cpp)
bool LoadBitmapImage(UINT id, QImage& out);

}  // namespace qv::ui::detail
