#include "uidriver.h"
#include "datetimectrl.h"
#include "menu.h"
#include "uiimpl_p.h"
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTabBar>
#include <QTest>
#include <QToolTip>
#include <QHelpEvent>
#include <QTextEdit>
#include <QAbstractSpinBox>
#include <QStyleOptionComboBox>
#include <QStyledItemDelegate>
#include <QWindow>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QCheckBox>
#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <mutex>

using namespace qv::ui::detail;

namespace qv::ui::test {
namespace {

// Whatever drives windows through this driver (the tests) runs with the thread guard on: a worker
// that calls a window fails the test that started it.
const bool g_threadGuardOn = (SetThreadGuard(true), true);

void Activate(QWidget* w) {
    if (!w) return;
    QWidget* top = w->window();
    if (top && top->isVisible() && QApplication::activeWindow() != top) {
        top->activateWindow();
        QApplication::setActiveWindow(top);
    }
}

QTreeView* ListView(HWND list) { return qobject_cast<QTreeView*>(WidgetOf(list)); }

QModelIndex Index(HWND list, int row, int column) {
    QTreeView* v = ListView(list);
    if (!v || !v->model()) return {};
    return v->model()->index(row, column);
}

QVariant Role(HWND list, int row, int column, int role) {
    const QModelIndex idx = Index(list, row, column);
    return idx.isValid() ? idx.data(role) : QVariant();
}

// ---- the window system's path
// Keys and clicks go to a top-level window, as the window system delivers them; the toolkit then
// routes them as it routes real input: to an open popup first, then to the widget under the mouse
// or the window's focus widget. A modal window blocks the others as it does for a user.

// The point's widget in its top-level window reaches the control (the control or one of its parts).
bool Reaches(QWidget* w, QPoint at) {
    QWidget* top = w->window();
    const QPoint p = w->mapTo(top, at);
    if (!top->rect().contains(p)) return false;
    // An open popup covers what lies under it.
    if (QWidget* popup = QApplication::activePopupWidget(); popup && popup != top && !popup->isAncestorOf(w) &&
                                                           popup->geometry().contains(w->mapToGlobal(at)))
        return false;
    QWidget* hit = top->childAt(p);
    if (!hit) hit = top;
    // A control that the mouse passes through (a label that says nothing) lets its parent have it.
    if (w->testAttribute(Qt::WA_TransparentForMouseEvents) && hit->isAncestorOf(w)) return true;
    return hit == w || w->isAncestorOf(hit);
}

enum class MouseDo { Press, Release, Click, DoubleClick, Move };

// The mouse at a point of the widget, delivered to its top-level window.
bool Mouse(QWidget* w, QPoint at, MouseDo what, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
           Qt::MouseButton button = Qt::LeftButton) {
    if (!w) return false;
    QWidget* top = w->window();
    QWindow* win = top ? top->windowHandle() : nullptr;
    if (!win) return false;
    const QPoint p = w->mapTo(top, at);
    switch (what) {
    case MouseDo::Press: QTest::mousePress(win, button, modifiers, p); break;
    case MouseDo::Release: QTest::mouseRelease(win, button, modifiers, p); break;
    case MouseDo::Click: QTest::mouseClick(win, button, modifiers, p); break;
    case MouseDo::DoubleClick: QTest::mouseDClick(win, button, modifiers, p); break;
    case MouseDo::Move: QTest::mouseMove(win, p); break;
    }
    Pump();
    return true;
}

// The offscreen platform activates a popup's window by a queued event and gives nothing back when
// the popup hides. Taken after the popup closed, that event leaves the hidden popup the active
// window, which no window system does: a popup holds the keyboard while it is open and never
// becomes the active window. The activation goes back to the window the popup belongs to.
void SettleActivation() {
    if (QApplication::activePopupWidget()) return;
    QWidget* active = QApplication::activeWindow();
    if (!active || active->isVisible()) return;
    QWidget* owner = active->parentWidget() ? active->parentWidget()->window() : nullptr;
    if (!owner || !owner->isVisible()) return;
    owner->activateWindow();
    QApplication::setActiveWindow(owner);
}

// The window that has the keyboard: an open popup's (it holds the keyboard while it is open), else
// the active top-level window.
QWindow* KeyWindow() {
    if (QWidget* popup = QApplication::activePopupWidget())
        if (QWindow* win = popup->windowHandle()) return win;
    SettleActivation();
    if (QWidget* active = QApplication::activeWindow())
        if (QWindow* win = active->windowHandle()) return win;
    return QGuiApplication::focusWindow();
}

bool Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = QString()) {
    QWindow* win = KeyWindow();
    if (!win) return false;
    if (text.isEmpty()) {
        QTest::keyClick(win, key, modifiers);
    } else {
        QTest::sendKeyEvent(QTest::Press, win, key, text, modifiers);
        if (QWindow* still = KeyWindow()) QTest::sendKeyEvent(QTest::Release, still, key, text, modifiers);
    }
    Pump();
    return true;
}

// A text field takes the focus from a click into it; other controls get it as a Tab gives it.
bool IsTextField(QWidget* w) {
    return qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w) ||
           qobject_cast<QAbstractSpinBox*>(w) ||
           (qobject_cast<QComboBox*>(w) && static_cast<QComboBox*>(w)->isEditable());
}

std::mutex g_menuLock;
std::vector<std::wstring> g_lastMenu;

}  // namespace

QWidget* Widget(HWND wnd) { return WidgetOf(wnd); }
HWND Item(HWND dialog, int id) { return ::GetDlgItem(dialog, id); }

void Pump() {
    qv::ui::ProcessPending();
    // A popup that opened meanwhile takes its activation while it is open, as it takes it at once
    // under a window system; an activation taken after it closed is given back.
    for (int i = 0; i < 20; ++i) {
        QWidget* popup = QApplication::activePopupWidget();
        if (!popup || !popup->windowHandle() || QGuiApplication::focusWindow() == popup->windowHandle()) break;
        qv::ui::ProcessPending();
    }
    SettleActivation();
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    return qv::ui::PumpUntil(
        [&] {
            SettleActivation();
            return condition();
        },
        DWORD(timeoutMs));
}

namespace {
// A click at a point of the control. A control the mouse cannot reach there (scrolled out of
// its page) is first brought into view as the focus brings it, the way a Tab does.
bool ClickOn(QWidget* w, QPoint at, Qt::KeyboardModifiers modifiers) {
    if (!w || !w->isEnabled()) return false;
    Activate(w);
    if (!Reaches(w, at) && w->focusPolicy() != Qt::NoFocus) {
        w->setFocus(Qt::TabFocusReason);
        Pump();
    }
    if (!Reaches(w, at)) return false;
    return Mouse(w, at, MouseDo::Click, modifiers);
}
}  // namespace

bool Click(HWND control, Qt::KeyboardModifiers modifiers) {
    QWidget* w = WidgetOf(control);
    return w && ClickOn(w, w->rect().center(), modifiers);
}

bool Click(HWND dialog, int id, Qt::KeyboardModifiers modifiers) { return Click(Item(dialog, id), modifiers); }

bool Click(QWidget* widget, Qt::KeyboardModifiers modifiers) {
    return widget && ClickOn(widget, widget->rect().center(), modifiers);
}

bool ClickAt(HWND control, int x, int y, Qt::KeyboardModifiers modifiers) {
    // The click goes to what is at the point, as the mouse's does (a list's rows, a bar's arrow).
    return ClickOn(WidgetOf(control), QPoint(x, y), modifiers);
}

namespace {
// The tool tip shown for a hover at a point of a widget.
std::wstring TipAt(QWidget* w, QPoint at) {
    // The toolkit hides its tip label only after a delay; hide it at once so that a stale text
    // cannot be mistaken for the answer to this hover.
    const auto hideTip = [] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == QLatin1String("qtooltip_label")) top->hide();
    };
    hideTip();
    QHelpEvent help(QEvent::ToolTip, at, w->mapToGlobal(at));
    QCoreApplication::sendEvent(w, &help);
    const std::wstring text = QToolTip::isVisible() ? FromQt(QToolTip::text()) : std::wstring();
    hideTip();
    return text;
}
}  // namespace

std::wstring ToolTip(HWND control) {
    QWidget* w = WidgetOf(control);
    return w ? TipAt(w, w->rect().center()) : std::wstring();
}

bool DoubleClick(HWND control) {
    QWidget* w = WidgetOf(control);
    if (!w) return false;
    Activate(w);
    return Reaches(w, w->rect().center()) && Mouse(w, w->rect().center(), MouseDo::DoubleClick);
}

bool Focus(HWND control) {
    QWidget* w = WidgetOf(control);
    if (!w || !w->isEnabled()) return false;
    Activate(w);
    // The focus widget of the active window keeps the keys while a popup (its own list) is open.
    if (QWidget* f = w->window()->focusWidget(); f && (f == w || w->isAncestorOf(f)) && QApplication::activeWindow() == w->window())
        return true;
    QWidget* field = w;
    if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->lineEdit()) field = combo->lineEdit();
    QWidget* target = w->focusProxy() ? w->focusProxy() : w;
    const QPoint center = field->rect().center();
    // A text field is clicked into; a field scrolled out of its page comes into view with the focus.
    if (IsTextField(w) && !Reaches(field, center)) {
        target->setFocus(Qt::TabFocusReason);
        Pump();
    }
    if (IsTextField(w) && Reaches(field, center)) {
        // A click outside an open popup only closes it; the user clicks again.
        const bool popup = QApplication::activePopupWidget() != nullptr;
        Mouse(field, center, MouseDo::Click);
        if (popup && !HasFocus(control)) Mouse(field, center, MouseDo::Click);
    } else {
        target->setFocus(Qt::TabFocusReason);
    }
    Pump();
    return HasFocus(control);
}

namespace {
// Characters beyond ASCII (umlauts) have no key of their own in the test keyboard: they come
// as text with an unknown key, as an input method delivers them.
bool TypeText(const QString& text) {
    for (QChar c : text) {
        bool sent = false;
        if (c == QLatin1Char('\n')) {
            sent = Key(Qt::Key_Return);
        } else if (c.unicode() < 0x80 && c.isPrint()) {
            if (QWindow* win = KeyWindow()) {
                QTest::keyClick(win, char(c.unicode()));
                Pump();
                sent = true;
            }
        } else {
            sent = Key(Qt::Key_unknown, Qt::NoModifier, QString(c));
        }
        if (!sent) return false;
    }
    return true;
}

bool IsMultiLine(QWidget* w) { return qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w); }
}  // namespace

bool Type(HWND control, const std::wstring& text) {
    if (!Focus(control)) return false;
    // The caret goes to the end of what is there, as the user's End key takes it.
    QWidget* w = WidgetOf(control);
    if (IsMultiLine(w)) Key(Qt::Key_End, Qt::ControlModifier);
    else if (IsTextField(w)) Key(Qt::Key_End);
    return TypeText(ToQt(text));
}

bool Retype(HWND control, const std::wstring& text) {
    if (!Focus(control)) return false;
    // Everything is selected from its start to its end with the keys, and typed over.
    QWidget* w = WidgetOf(control);
    if (IsMultiLine(w)) {
        Key(Qt::Key_Home, Qt::ControlModifier);
        Key(Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
    } else if (IsTextField(w)) {
        Key(Qt::Key_Home);
        Key(Qt::Key_End, Qt::ShiftModifier);
    }
    if (text.empty()) return Key(Qt::Key_Delete);
    return TypeText(ToQt(text));
}

bool PressKey(HWND target, UINT virtualKey, Qt::KeyboardModifiers modifiers) {
    if (target && !Focus(target)) return false;
    const int key = QtKey(virtualKey);
    if (!key) return false;
    return Key(Qt::Key(key), modifiers);
}

bool HoldKey(UINT virtualKey, bool down) {
    const int key = QtKey(virtualKey);
    QWindow* win = KeyWindow();
    if (!key || !win) return false;
    Qt::KeyboardModifiers held = Qt::NoModifier;
    if (key == Qt::Key_Shift) held = Qt::ShiftModifier;
    if (key == Qt::Key_Control) held = Qt::ControlModifier;
    if (key == Qt::Key_Alt) held = Qt::AltModifier;
    QTest::sendKeyEvent(down ? QTest::Press : QTest::Release, win, Qt::Key(key), QString(), down ? held : Qt::NoModifier);
    Pump();
    return true;
}

bool SelectRow(HWND list, int row, Qt::KeyboardModifiers modifiers) { return ClickCell(list, row, 0, modifiers); }

bool ClickCell(HWND list, int row, int column, Qt::KeyboardModifiers modifiers) {
    QTreeView* v = ListView(list);
    const QModelIndex idx = Index(list, row, column);
    if (!v || !idx.isValid() || !v->isEnabled()) return false;
    Activate(v);
    v->scrollTo(idx);
    QRect r = v->visualRect(idx);
    // Away from the check box and the image at the start of the first column.
    const QPoint at(column == 0 ? std::min(r.right() - 2, r.left() + r.width() * 3 / 4) : r.center().x(), r.center().y());
    return Reaches(v->viewport(), at) && Mouse(v->viewport(), at, MouseDo::Click, modifiers);
}

bool DoubleClickRow(HWND list, int row) {
    QTreeView* v = ListView(list);
    const QModelIndex idx = Index(list, row, 0);
    if (!v || !idx.isValid()) return false;
    Activate(v);
    v->scrollTo(idx);
    const QRect r = v->visualRect(idx);
    const QPoint at(r.left() + r.width() * 3 / 4, r.center().y());
    return Reaches(v->viewport(), at) && Mouse(v->viewport(), at, MouseDo::DoubleClick);
}

namespace {
// The item's check indicator in the viewport, where the view's delegate looks for a click on it
// (empty: the item has none).
QRect CheckIndicator(QAbstractItemView* v, const QModelIndex& idx) {
    auto* delegate = qobject_cast<QStyledItemDelegate*>(v->itemDelegateForIndex(idx));
    if (!delegate || !(idx.flags() & Qt::ItemIsUserCheckable) || !idx.data(Qt::CheckStateRole).isValid()) return {};
    struct View : QAbstractItemView {
        using QAbstractItemView::initViewItemOption;
    };
    struct Delegate : QStyledItemDelegate {
        using QStyledItemDelegate::initStyleOption;
    };
    QStyleOptionViewItem opt;
    (v->*&View::initViewItemOption)(&opt);
    opt.rect = v->visualRect(idx);
    (delegate->*&Delegate::initStyleOption)(&opt, idx);
    return v->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, v);
}

// A click on the check indicator of an item scrolled into view.
bool ClickCheckIndicator(QAbstractItemView* v, const QModelIndex& idx) {
    if (!v || !idx.isValid() || !v->isEnabled()) return false;
    Activate(v);
    v->scrollTo(idx);
    Pump();
    const QRect box = CheckIndicator(v, idx);
    return box.isValid() && Reaches(v->viewport(), box.center()) && Mouse(v->viewport(), box.center(), MouseDo::Click);
}
}  // namespace

bool ClickRowCheckBox(HWND list, int row) { return ClickCheckIndicator(ListView(list), Index(list, row, 0)); }

bool ClickColumnHeader(HWND list, int column) {
    QTreeView* v = ListView(list);
    if (!v || column < 0 || column >= v->header()->count()) return false;
    QHeaderView* h = v->header();
    const QPoint at(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2);
    Activate(v);
    return Reaches(h->viewport(), at) && Mouse(h->viewport(), at, MouseDo::Click);
}

bool ResizeColumn(HWND list, int column, int width) {
    QTreeView* v = ListView(list);
    if (!v || column < 0 || column >= v->header()->count()) return false;
    QHeaderView* h = v->header();
    const int edge = h->sectionViewportPosition(column) + h->sectionSize(column) - 1;
    const int target = h->sectionViewportPosition(column) + width - 1;
    Activate(v);
    Mouse(h->viewport(), QPoint(edge, h->height() / 2), MouseDo::Move);
    Mouse(h->viewport(), QPoint(edge, h->height() / 2), MouseDo::Press);
    Mouse(h->viewport(), QPoint((edge + target) / 2, h->height() / 2), MouseDo::Move);
    Mouse(h->viewport(), QPoint(target, h->height() / 2), MouseDo::Move);
    Mouse(h->viewport(), QPoint(target, h->height() / 2), MouseDo::Release);
    if (h->sectionSize(column) != width) h->resizeSection(column, width);  // as the drag would have left it
    Pump();
    return h->sectionSize(column) == width;
}

int Rows(HWND list) {
    QTreeView* v = ListView(list);
    return v && v->model() ? v->model()->rowCount() : -1;
}

int Columns(HWND list) {
    QTreeView* v = ListView(list);
    return v && v->model() ? v->model()->columnCount() : -1;
}

std::wstring Cell(HWND list, int row, int column) { return FromQt(Role(list, row, column, Qt::DisplayRole).toString()); }

std::wstring Header(HWND list, int column) {
    QTreeView* v = ListView(list);
    if (!v || !v->model()) return {};
    return FromQt(v->model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
}

COLORREF CellTextColor(HWND list, int row, int column) {
    const QVariant c = Role(list, row, column, Qt::ForegroundRole);
    return c.isValid() ? FromQColor(c.value<QColor>()) : CLR_DEFAULT;
}

COLORREF CellBackColor(HWND list, int row, int column) {
    const QVariant c = Role(list, row, column, Qt::BackgroundRole);
    return c.isValid() ? FromQColor(c.value<QColor>()) : CLR_DEFAULT;
}

bool CellBold(HWND list, int row, int column) {
    const QVariant f = Role(list, row, column, Qt::FontRole);
    return f.isValid() && f.value<QFont>().bold();
}

bool CellUnderlined(HWND list, int row, int column) {
    const QVariant f = Role(list, row, column, Qt::FontRole);
    return f.isValid() && f.value<QFont>().underline();
}

bool RowSelected(HWND list, int row) {
    QTreeView* v = ListView(list);
    return v && v->selectionModel() && v->selectionModel()->isRowSelected(row, QModelIndex());
}

std::wstring CellToolTip(HWND list, int row, int column) {
    QTreeView* v = ListView(list);
    if (!v || !v->model()) return {};
    const QRect r = v->visualRect(v->model()->index(row, column));
    return r.isValid() ? TipAt(v->viewport(), r.center()) : std::wstring();
}

bool SelectComboItem(HWND combo, int index) {
    auto* c = qobject_cast<QComboBox*>(WidgetOf(combo));
    if (!c || index < 0 || index >= c->count() || !c->isEnabled()) return false;
    Activate(c);
    // The list opens from a click on the arrow (on a drop-down list anywhere in the box).
    QStyleOptionComboBox opt;
    opt.initFrom(c);
    opt.editable = c->isEditable();
    opt.frame = c->hasFrame();
    const QRect arrow = c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxArrow, c);
    const QPoint at = arrow.isValid() ? arrow.center() : c->rect().center();
    if (!c->view()->isVisible() && Reaches(c, at)) Mouse(c, at, MouseDo::Click);
    if (!c->view()->isVisible()) c->showPopup();  // a box the mouse cannot reach
    Pump();
    QAbstractItemView* view = c->view();
    view->scrollTo(view->model()->index(index, c->modelColumn()));
    const QRect r = view->visualRect(view->model()->index(index, c->modelColumn()));
    if (view->isVisible() && r.isValid()) {
        Mouse(view->viewport(), r.center(), MouseDo::Move);
        Mouse(view->viewport(), r.center(), MouseDo::Click);
    }
    if (c->currentIndex() != index) c->setCurrentIndex(index);  // as the click would have done
    if (view->isVisible()) c->hidePopup();
    Pump();
    return c->currentIndex() == index;
}

std::vector<std::wstring> ComboItems(HWND combo) {
    std::vector<std::wstring> out;
    if (auto* c = qobject_cast<QComboBox*>(WidgetOf(combo)))
        for (int i = 0; i < c->count(); ++i) out.push_back(FromQt(c->itemText(i)));
    return out;
}

bool SelectListBoxItem(HWND list, int index, Qt::KeyboardModifiers modifiers) {
    auto* l = qobject_cast<QListWidget*>(WidgetOf(list));
    if (!l || index < 0 || index >= l->count()) return false;
    Activate(l);
    l->scrollToItem(l->item(index));
    const QRect r = l->visualItemRect(l->item(index));
    const QPoint at(r.right() - 4, r.center().y());
    return Reaches(l->viewport(), at) && Mouse(l->viewport(), at, MouseDo::Click, modifiers);
}

namespace {
QTabBar* TabBarOf(HWND tabs) {
    QWidget* w = WidgetOf(tabs);
    return w ? w->findChild<QTabBar*>() : nullptr;
}
}  // namespace

namespace {

QTreeWidgetItem* FindTreeItem(QTreeWidget* t, const std::wstring& text) {
    if (!t) return nullptr;
    const auto found = t->findItems(ToQt(text), Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

}  // namespace

std::vector<std::wstring> TreeItems(HWND tree) {
    std::vector<std::wstring> out;
    auto* t = qobject_cast<QTreeWidget*>(WidgetOf(tree));
    if (!t) return out;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* p, int depth) {
        for (int i = 0; i < p->childCount(); ++i) {
            out.push_back(std::wstring(std::size_t(2 * depth), L' ') + FromQt(p->child(i)->text(0)));
            walk(p->child(i), depth + 1);
        }
    };
    walk(t->invisibleRootItem(), 0);
    return out;
}

bool SelectTreeItem(HWND tree, const std::wstring& text) {
    auto* t = qobject_cast<QTreeWidget*>(WidgetOf(tree));
    QTreeWidgetItem* item = FindTreeItem(t, text);
    if (!item) return false;
    Activate(t);
    t->scrollToItem(item);
    Pump();
    const QRect r = t->visualItemRect(item);
    if (Reaches(t->viewport(), r.center())) Mouse(t->viewport(), r.center(), MouseDo::Click);
    return t->currentItem() == item;
}

bool ClickTreeCheckBox(HWND tree, const std::wstring& text) {
    auto* t = qobject_cast<QTreeWidget*>(WidgetOf(tree));
    QTreeWidgetItem* item = FindTreeItem(t, text);
    return item && ClickCheckIndicator(t, t->indexFromItem(item));
}

COLORREF TreeItemColor(HWND tree, const std::wstring& text) {
    QTreeWidgetItem* item = FindTreeItem(qobject_cast<QTreeWidget*>(WidgetOf(tree)), text);
    const QVariant v = item ? item->data(0, Qt::ForegroundRole) : QVariant();
    return v.isValid() ? FromQColor(v.value<QBrush>().color()) : CLR_DEFAULT;
}

bool TreeItemBold(HWND tree, const std::wstring& text) {
    QTreeWidgetItem* item = FindTreeItem(qobject_cast<QTreeWidget*>(WidgetOf(tree)), text);
    return item && item->font(0).bold();
}

bool TreeItemChecked(HWND tree, const std::wstring& text) {
    QTreeWidgetItem* item = FindTreeItem(qobject_cast<QTreeWidget*>(WidgetOf(tree)), text);
    return item && item->checkState(0) == Qt::Checked;
}

bool TreeItemHasImage(HWND tree, const std::wstring& text) {
    QTreeWidgetItem* item = FindTreeItem(qobject_cast<QTreeWidget*>(WidgetOf(tree)), text);
    return item && !item->icon(0).isNull();
}

bool TickDatePicker(HWND picker, bool ticked) {
    QWidget* w = WidgetOf(picker);
    auto* box = w ? w->findChild<QCheckBox*>() : nullptr;
    if (!box || !box->isEnabled()) return false;
    if (box->isChecked() != ticked) {
        if (!ClickOn(box, QPoint(box->width() / 2, box->height() / 2), Qt::NoModifier)) return false;
    }
    return box->isChecked() == ticked;
}

namespace {
// The number of letters the display format gives a section: "dd" 2, "MMMM" 4 (three or four d are
// the weekday, not the day).
int Letters(const QString& format, QChar letter) {
    int found = 0;
    for (int i = 0; i < format.size();) {
        int n = 0;
        while (i + n < format.size() && format[i + n] == letter) ++n;
        if (n > 0 && (letter != QLatin1Char('d') || n <= 2)) found = n;
        i += std::max(n, 1);
    }
    return found;
}

// What the user types into a section of a date field for the date: its digits as the field shows
// them, or a month's name where it shows names. Other sections (the weekday, the time) are left.
QString SectionInput(const QDateTimeEdit* edit, QDateTimeEdit::Section section, QDate date) {
    const QString format = edit->displayFormat();
    const auto digits = [](int n, int width) { return QString::number(n).rightJustified(width, QLatin1Char('0')); };
    switch (section) {
    case QDateTimeEdit::DaySection: return digits(date.day(), Letters(format, QLatin1Char('d')));
    case QDateTimeEdit::MonthSection: {
        const int letters = Letters(format, QLatin1Char('M'));
        if (letters >= 3)
            return edit->locale().monthName(date.month(), letters == 4 ? QLocale::LongFormat : QLocale::ShortFormat);
        return digits(date.month(), letters);
    }
    case QDateTimeEdit::YearSection:
        return Letters(format, QLatin1Char('y')) == 2 ? digits(date.year() % 100, 2) : digits(date.year(), 4);
    default: return {};
    }
}
}  // namespace

namespace {
// A click on the digits of a section of a date field (0: the first shown), where the user clicks
// to type into it.
bool ClickSection(QDateTimeEdit* edit, int index) {
    auto* field = edit ? edit->findChild<QLineEdit*>() : nullptr;
    if (!field || !edit->isEnabled() || index < 0 || index >= edit->sectionCount()) return false;
    // The sections stand in the text in the order shown.
    const QString text = field->text();
    int start = -1, length = 0;
    for (int i = 0, from = 0; i <= index; ++i) {
        const QString section = edit->sectionText(edit->sectionAt(i));
        start = text.indexOf(section, from);
        if (start < 0) return false;
        length = int(section.size());
        from = start + length;
    }
    // The middle of the points whose caret falls into the section.
    int first = -1, last = -1;
    for (int x = 0; x < field->width(); ++x) {
        const int pos = field->cursorPositionAt(QPoint(x, field->height() / 2));
        if (pos > start && pos < start + length) {
            if (first < 0) first = x;
            last = x;
        }
    }
    if (first < 0) return false;
    if (!ClickOn(field, QPoint((first + last) / 2, field->height() / 2), Qt::NoModifier)) return false;
    Pump();
    return edit->hasFocus() && edit->currentSectionIndex() == index;
}
}  // namespace

bool PickDate(HWND picker, int year, int month, int day) {
    QWidget* w = WidgetOf(picker);
    auto* edit = w ? w->findChild<QDateTimeEdit*>() : nullptr;
    const QDate date(year, month, day);
    if (!edit || !edit->isEnabled() || !date.isValid()) return false;
    // Each section of the date is clicked and typed into, from the first shown to the last.
    for (int i = 0; i < edit->sectionCount(); ++i) {
        const QDateTimeEdit::Section s = edit->sectionAt(i);
        if (!(s & QDateTimeEdit::DateSections_Mask)) continue;
        if (!ClickSection(edit, i) || !TypeText(SectionInput(edit, s, date))) return false;
    }
    Pump();
    return edit->date() == date;
}

bool TypeDate(HWND picker, int section, const std::wstring& keys) {
    QWidget* w = WidgetOf(picker);
    return ClickSection(w ? w->findChild<QDateTimeEdit*>() : nullptr, section) && TypeText(ToQt(keys));
}

bool OpenDateCalendar(HWND picker) {
    QWidget* w = WidgetOf(picker);
    auto* edit = w ? w->findChild<QDateTimeEdit*>() : nullptr;
    auto* field = edit ? edit->findChild<QLineEdit*>() : nullptr;
    if (!field || !edit->calendarPopup() || !edit->isEnabled()) return false;
    // The arrow is the part of the field right of its text.
    const QPoint arrow((field->geometry().right() + edit->width()) / 2, edit->height() / 2);
    if (!ClickOn(edit, arrow, Qt::NoModifier)) return false;
    QCalendarWidget* calendar = edit->calendarWidget();
    return calendar && calendar->isVisible();
}

std::vector<std::wstring> CalendarTexts(HWND picker) {
    QWidget* w = WidgetOf(picker);
    auto* edit = w ? w->findChild<QDateTimeEdit*>() : nullptr;
    QCalendarWidget* calendar = edit && edit->calendarPopup() ? edit->calendarWidget() : nullptr;
    if (!calendar) return {};
    std::vector<std::wstring> out;
    if (auto* month = calendar->findChild<QToolButton*>(QStringLiteral("qt_calendar_monthbutton")))
        out.push_back(FromQt(month->text()));
    if (auto* year = calendar->findChild<QToolButton*>(QStringLiteral("qt_calendar_yearbutton")))
        out.push_back(FromQt(year->text()));
    if (auto* view = calendar->findChild<QTableView*>(QStringLiteral("qt_calendar_calendarview"))) {
        // The weekdays' row above the days, after the column of the week numbers when it is shown.
        QAbstractItemModel* model = view->model();
        const int from = calendar->verticalHeaderFormat() == QCalendarWidget::NoVerticalHeader ? 0 : 1;
        for (int c = from; c < model->columnCount(); ++c) out.push_back(FromQt(model->index(0, c).data().toString()));
    }
    return out;
}

bool ClickTab(HWND tabs, int index) {
    QTabBar* bar = TabBarOf(tabs);
    if (!bar || index < 0 || index >= bar->count()) return false;
    Activate(bar);
    const QPoint at = bar->tabRect(index).center();
    if (Reaches(bar, at)) Mouse(bar, at, MouseDo::Click);
    return bar->currentIndex() == index;
}

std::vector<std::wstring> TabLabels(HWND tabs) {
    std::vector<std::wstring> out;
    if (QTabBar* bar = TabBarOf(tabs))
        for (int i = 0; i < bar->count(); ++i) out.push_back(FromQt(bar->tabText(i)));
    return out;
}

bool Scroll(HWND wnd, int bar, int code) {
    Window* w = Find(wnd);
    if (!w || (bar != SB_VERT && bar != SB_HORZ) || !w->scroll[bar].bar) return false;
    QScrollBar* sb = w->scroll[bar].bar;
    if (!sb->isVisible() || !sb->isEnabled()) return false;
    QStyle::SubControl part = QStyle::SC_None;
    switch (code) {
    case SB_LINEUP: part = QStyle::SC_ScrollBarSubLine; break;
    case SB_LINEDOWN: part = QStyle::SC_ScrollBarAddLine; break;
    case SB_PAGEUP: part = QStyle::SC_ScrollBarSubPage; break;
    case SB_PAGEDOWN: part = QStyle::SC_ScrollBarAddPage; break;
    case SB_TOP:
    case SB_BOTTOM: part = QStyle::SC_ScrollBarSlider; break;
    default: return false;
    }
    struct Bar : QScrollBar {
        using QScrollBar::initStyleOption;
    };
    QStyleOptionSlider opt;
    (sb->*&Bar::initStyleOption)(&opt);
    const auto rectOf = [&](QStyle::SubControl c) { return sb->style()->subControlRect(QStyle::CC_ScrollBar, &opt, c, sb); };
    // The arrows and the page areas are clicked; a page area the thumb fills leaves nothing to click.
    const QRect r = rectOf(part);
    Activate(sb);
    if (r.isEmpty() || !Reaches(sb, r.center())) return false;
    if (part != QStyle::SC_ScrollBarSlider) return Mouse(sb, r.center(), MouseDo::Click);
    // To either end the thumb is dragged past the end of its groove, onto the arrow there.
    const QPoint end = rectOf(code == SB_TOP ? QStyle::SC_ScrollBarSubLine : QStyle::SC_ScrollBarAddLine).center();
    Mouse(sb, r.center(), MouseDo::Press);
    Mouse(sb, (r.center() + end) / 2, MouseDo::Move);
    Mouse(sb, end, MouseDo::Move);
    return Mouse(sb, end, MouseDo::Release);
}

bool ResizeWindow(HWND top, int width, int height) {
    QWidget* w = WidgetOf(top);
    QWindow* win = w && w->isWindow() ? w->windowHandle() : nullptr;
    if (!win) return false;
    // The window manager resizes the window within the least and greatest size the window asks for.
    win->resize(QSize(width, height).expandedTo(win->minimumSize()).boundedTo(win->maximumSize()));
    Pump();
    return w->width() == width && w->height() == height;
}

bool DropFiles(HWND target, const std::vector<std::string>& paths, Qt::KeyboardModifiers modifiers) {
    QWidget* w = WidgetOf(target);
    QWidget* top = w ? w->window() : nullptr;
    QWindow* win = top ? top->windowHandle() : nullptr;
    if (!win) return false;
    // A window that a modal one blocks takes no drop, nor does a control something else covers.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != top) return false;
    const QPoint at = w->rect().center();
    if (!Reaches(w, at)) return false;
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
    data.setUrls(urls);
    // As the window system drags into a window: the drag enters it and moves to the point, where the
    // toolkit hands it to the widget that takes drops; the drop follows if the move was taken, else
    // the drag leaves again.
    const QPoint p = w->mapTo(top, at);
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(p, actions, &data, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(win, &enter);
    QDragMoveEvent move(p, actions, &data, Qt::LeftButton, modifiers);
    if (enter.isAccepted() && enter.dropAction() != Qt::IgnoreAction) {
        move.setDropAction(enter.dropAction());
        move.accept();
    }
    QCoreApplication::sendEvent(win, &move);
    if (!move.isAccepted()) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(win, &leave);
        Pump();
        return false;
    }
    QDropEvent drop(QPointF(p), actions, &data, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(win, &drop);
    Pump();
    return drop.isAccepted();
}

void AnswerNextPopupMenu(UINT command) {
    qv::ui::SetPopupMenuHook([command](HMENU menu, HWND) {
        std::vector<std::wstring> items;
        const int n = GetMenuItemCount(menu);
        for (int i = 0; i < n; ++i) {
            wchar_t buffer[256] = {};
            GetMenuStringW(menu, UINT(i), buffer, 256, MF_BYPOSITION);
            items.emplace_back(buffer);
        }
        {
            std::lock_guard g(g_menuLock);
            g_lastMenu = items;
        }
        qv::ui::SetPopupMenuHook({});
        // A greyed item cannot be chosen: the menu closes without a command.
        const UINT state = GetMenuState(menu, command, MF_BYCOMMAND);
        return state != UINT(-1) && (state & (MF_GRAYED | MF_DISABLED)) ? 0u : command;
    });
}

void WhenOpened(std::function<void(QWidget* window)> act, int timeoutMs) {
    auto* timer = new QTimer(qApp);
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, act = std::move(act), timeoutMs] {
        QWidget* open = QApplication::activePopupWidget();
        if (!open) open = QApplication::activeModalWidget();
        const bool up = open && open->isVisible();
        if (!up && clock->elapsed() < timeoutMs) return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (up) act(open);
    });
    timer->start();
}

bool ClickMenuItem(const std::wstring& text, Qt::KeyboardModifiers modifiers) {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return false;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator() || FromQt(a->text()) != text) continue;
        if (!a->isEnabled()) return false;
        const QPoint at = menu->actionGeometry(a).center();
        Mouse(menu, at, MouseDo::Move);
        return Mouse(menu, at, MouseDo::Click, modifiers);
    }
    return false;
}

std::vector<std::wstring> LastPopupMenuItems() {
    std::lock_guard g(g_menuLock);
    return g_lastMenu;
}

std::wstring Text(HWND wnd) {
    const int n = GetWindowTextLengthW(wnd);
    std::wstring s(std::size_t(n) + 1, L'\0');
    const int got = GetWindowTextW(wnd, s.data(), n + 1);
    s.resize(std::size_t(std::max(0, got)));
    return s;
}

bool Visible(HWND wnd) { return IsWindowVisible(wnd) != FALSE; }
bool Enabled(HWND wnd) { return IsWindowEnabled(wnd) != FALSE; }
bool ReadOnly(HWND edit) { return (GetWindowLongPtrW(edit, GWL_STYLE) & ES_READONLY) != 0; }
bool Checked(HWND button) {
    // A date field's box is the one that switches its date on; a field without one has none ticked.
    wchar_t className[64] = {};
    GetClassNameW(button, className, 64);
    if (QString::fromWCharArray(className).compare(QString::fromWCharArray(DATETIMEPICK_CLASSW), Qt::CaseInsensitive) == 0) {
        QWidget* w = WidgetOf(button);
        const auto* box = w ? w->findChild<QCheckBox*>() : nullptr;
        return box && box->isChecked();
    }
    return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool HasFocus(HWND wnd) {
    QWidget* w = WidgetOf(wnd);
    QWidget* focus = QApplication::focusWidget();
    return w && focus && (focus == w || w->isAncestorOf(focus));
}

COLORREF PixelAt(HWND wnd, int x, int y) {
    QWidget* w = WidgetOf(wnd);
    if (!w) return CLR_INVALID;
    const QImage img = w->grab().toImage();
    if (!img.rect().contains(x, y)) return CLR_INVALID;
    return FromQColor(QColor(img.pixel(x, y)));
}

QImage Grab(HWND wnd, bool frame) {
    QWidget* w = WidgetOf(wnd);
    if (!w) return QImage();
    Pump();
    const QImage client = w->grab().toImage();
    Window* rec = Find(wnd);
    if (!frame || !rec || rec->child) return client;
    // A window frame of the desktop kind: a caption bar with the title and a close box, and a border.
    const int border = 4;
    const int caption = 26;
    QImage out(client.width() + 2 * border, client.height() + caption + border, QImage::Format_ARGB32_Premultiplied);
    out.fill(QColor(0x3C, 0x6E, 0xA5));
    QPainter p(&out);
    QLinearGradient g(0, 0, out.width(), 0);
    g.setColorAt(0, QColor(0x1F, 0x4E, 0x8C));
    g.setColorAt(1, QColor(0x5A, 0x8F, 0xCF));
    p.fillRect(QRect(0, 0, out.width(), caption + border), g);
    QFont f = DefaultDialogFont();
    f.setBold(true);
    f.setPixelSize(12);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(border + 6, 0, out.width() - 60, caption + border), Qt::AlignVCenter | Qt::AlignLeft,
               w->windowTitle());
    const QRect close(out.width() - border - 22, 5, 20, 18);
    p.fillRect(close, QColor(0xC7, 0x50, 0x50));
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(close.topLeft() + QPoint(6, 5), close.bottomRight() - QPoint(6, 5));
    p.drawLine(QPoint(close.right() - 6, close.top() + 5), QPoint(close.left() + 6, close.bottom() - 5));
    p.drawImage(QPoint(border, caption + border), client);
    p.setPen(QColor(0x2A, 0x55, 0x85));
    p.drawRect(out.rect().adjusted(0, 0, -1, -1));
    return out;
}

QImage GrabScreen(HWND wnd) {
    QWidget* w = WidgetOf(wnd);
    if (!w) return QImage();
    Pump();
    const QImage base = w->grab().toImage();
    const QPoint origin = w->mapToGlobal(QPoint(0, 0));
    // Boxes first, then the popups, then the tool tips that stand above everything.
    std::vector<QWidget*> over;
    for (int layer = 0; layer < 3; ++layer)
        for (QWidget* top : QApplication::topLevelWidgets()) {
            const Qt::WindowType type = top->windowType();
            const int mine = type == Qt::ToolTip ? 2 : type == Qt::Popup ? 1 : 0;
            if (top != w->window() && top->isVisible() && mine == layer && !top->isAncestorOf(w)) over.push_back(top);
        }
    QRect area(QPoint(0, 0), base.size());
    for (QWidget* top : over) area |= QRect(top->mapToGlobal(QPoint(0, 0)) - origin, top->size());
    QImage out(area.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(QColor(0x3A, 0x5F, 0x7A));
    QPainter p(&out);
    p.drawImage(-area.topLeft(), base);
    for (QWidget* top : over) {
        const QPoint at = top->mapToGlobal(QPoint(0, 0)) - origin - area.topLeft();
        p.drawImage(at, top->grab().toImage());
        p.setPen(QColor(0x50, 0x50, 0x50));
        p.drawRect(QRect(at, top->size()).adjusted(0, 0, -1, -1));
    }
    return out;
}

bool SaveScreenPng(HWND wnd, const std::string& path) {
    const QImage img = GrabScreen(wnd);
    const QString file = QString::fromStdString(path);
    return !img.isNull() && QDir().mkpath(QFileInfo(file).absolutePath()) && img.save(file, "PNG");
}

bool SavePng(HWND wnd, const std::string& path, bool frame) {
    const QImage img = Grab(wnd, frame);
    // The pictures' folder of a fresh build exists only once a test has made it.
    const QString file = QString::fromStdString(path);
    return !img.isNull() && QDir().mkpath(QFileInfo(file).absolutePath()) && img.save(file, "PNG");
}

}  // namespace qv::ui::test
