// The window classes of the standard controls on Qt widgets: statics, buttons, edits, combo and
// list boxes, up-down, progress and scroll bar controls. Each turns its control messages into
// widget operations and the widget's user actions into notifications to the parent.
#include "ctrls.h"
#include "uiimpl_p.h"
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QValidator>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QStylePainter>
#include <QTextBlock>
#include <QToolButton>
#include <QWindow>
#include <algorithm>

namespace qv::ui::detail {
namespace {

// A guard for changes the program makes, so they raise no user notifications.
struct Quiet {
    explicit Quiet(int& c) : count(c) { ++count; }
    ~Quiet() { --count; }
    int& count;
};

Window* Self(QObject* widget) { return FindByWidget(widget); }

int CompareNoCase(const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseInsensitive); }

std::wstring FromBuffer(LPARAM lp) { return lp ? std::wstring(reinterpret_cast<LPCWSTR>(lp)) : std::wstring(); }

LRESULT CopyOut(const QString& text, LPARAM lp) {
    const std::wstring s = FromQt(text);
    if (lp) {
        s.copy(reinterpret_cast<LPWSTR>(lp), s.size());
        reinterpret_cast<LPWSTR>(lp)[s.size()] = L'\0';
    }
    return LRESULT(s.size());
}

// ==== Static

class StaticWidget : public QWidget {
public:
    using QWidget::QWidget;
    HBITMAP bitmap = nullptr;

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* e) override { QWidget::mouseReleaseEvent(e); }
};

class StaticClass : public WindowClass {
public:
    QWidget* CreateWidget(Window& w, QWidget* parent) override {
        auto* s = new StaticWidget(parent);
        Apply(w, s);
        return s;
    }
    void Apply(Window& w, QWidget* s) {
        s->setAttribute(Qt::WA_TransparentForMouseEvents, !(w.style & SS_NOTIFY));
    }
    void StyleChanged(Window& w) override {
        if (w.widget) {
            Apply(w, w.widget);
            w.widget->update();
        }
    }
    std::unique_ptr<CWnd> MakeObject() override { return std::make_unique<CStatic>(); }
    UINT CtlColorMessage(const Window&) const override { return WM_CTLCOLORSTATIC; }
    void SetText(Window& w, const std::wstring& text) override {
        w.text = text;
        if (w.widget) w.widget->update();
    }
    bool Proc(Window& w, UINT msg, WPARAM wp, LPARAM lp, LRESULT& r) override {
        auto* s = static_cast<StaticWidget*>(w.widget.data());
        switch (msg) {
        case STM_SETIMAGE:
        case STM_SETICON: {
            r = reinterpret_cast<LRESULT>(s ? s->bitmap : nullptr);
            if (s) {
                s->bitmap = reinterpret_cast<HBITMAP>(msg == STM_SETICON ? wp : WPARAM(lp));
                s->update();
            }
            return true;
        }
        case STM_GETIMAGE:
        case STM_GETICON:
            r = reinterpret_cast<LRESULT>(s ? s->bitmap : nullptr);
            return true;
        case WM_LBUTTONUP:
            if (w.style & SS_NOTIFY) NotifyCommand(w, STN_CLICKED);
            return true;
        case WM_LBUTTONDBLCLK:
            if (w.style & SS_NOTIFY) NotifyCommand(w, STN_DBLCLK);
            return true;
        default:
            return false;
        }
    }
};

void StaticWidget::paintEvent(QPaintEvent*) {
    Window* w = Self(this);
    if (!w) return;
    const HWND h = w->handle;
    QPainter p(this);
    const DWORD type = w->style & SS_TYPEMASK;
    if (type == SS_OWNERDRAW) {
        DRAWITEMSTRUCT dis;
        dis.CtlType = ODT_STATIC;
        dis.itemAction = ODA_DRAWENTIRE;
        dis.rcItem = FromQRect(rect());
        SendDrawItem(*w, dis, &p);
        return;
    }
    const CtlColors colors = AskCtlColor(*w, WM_CTLCOLORSTATIC, &p);
    if (!(w = Find(h))) return;
    COLORREF bk;
    if (colors.brush && BrushColor(colors.brush, bk)) p.fillRect(rect(), ToQColor(bk));
    const QRect r = rect();
    switch (type) {
    case SS_BLACKRECT: p.fillRect(r, ToQColor(GetSysColor(COLOR_3DDKSHADOW))); return;
    case SS_GRAYRECT: p.fillRect(r, ToQColor(GetSysColor(COLOR_BTNSHADOW))); return;
    case SS_WHITERECT: p.fillRect(r, ToQColor(GetSysColor(COLOR_BTNHIGHLIGHT))); return;
    case SS_BLACKFRAME:
    case SS_GRAYFRAME:
    case SS_WHITEFRAME:
        p.setPen(ToQColor(GetSysColor(type == SS_WHITEFRAME ? COLOR_BTNHIGHLIGHT : COLOR_BTNSHADOW)));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        return;
    case SS_ETCHEDHORZ:
        p.fillRect(QRect(0, 0, width(), 1), ToQColor(GetSysColor(COLOR_BTNSHADOW)));
        p.fillRect(QRect(0, 1, width(), 1), ToQColor(GetSysColor(COLOR_BTNHIGHLIGHT)));
        return;
    case SS_ETCHEDVERT:
        p.fillRect(QRect(0, 0, 1, height()), ToQColor(GetSysColor(COLOR_BTNSHADOW)));
        p.fillRect(QRect(1, 0, 1, height()), ToQColor(GetSysColor(COLOR_BTNHIGHLIGHT)));
        return;
    case SS_ETCHEDFRAME:
        p.setPen(ToQColor(GetSysColor(COLOR_BTNSHADOW)));
        p.drawRect(r.adjusted(0, 0, -2, -2));
        p.setPen(ToQColor(GetSysColor(COLOR_BTNHIGHLIGHT)));
        p.drawRect(r.adjusted(1, 1, -1, -1));
        return;
    default:
        break;
    }
    QRect inner = r;
    if (w->style & SS_SUNKEN || w->exStyle & (WS_EX_STATICEDGE | WS_EX_CLIENTEDGE)) {
        p.setPen(ToQColor(GetSysColor(COLOR_BTNSHADOW)));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(ToQColor(GetSysColor(COLOR_BTNHIGHLIGHT)));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        inner = r.adjusted(1, 1, -1, -1);
    }
    if (type == SS_BITMAP || type == SS_ICON) {
        if (QImage* img = BitmapImage(bitmap)) {
            QPoint at = inner.topLeft();
            if (w->style & SS_CENTERIMAGE) at = inner.center() - QPoint(img->width() / 2, img->height() / 2);
            p.drawImage(at, *img);
        }
        return;
    }
    QString text = ToQt(w->text);
    if (!(w->style & SS_NOPREFIX)) text = StripMnemonic(text);
    QColor color = colors.textSet ? ToQColor(colors.text) : palette().color(QPalette::WindowText);
    if (!isEnabled()) color = ToQColor(GetSysColor(COLOR_GRAYTEXT));
    p.setPen(color);
    p.setFont(font());
    int flags = Qt::AlignTop;
    if (type == SS_CENTER) flags = Qt::AlignHCenter;
    else if (type == SS_RIGHT) flags = Qt::AlignRight;
    else flags = Qt::AlignLeft;
    if (w->style & SS_CENTERIMAGE) flags |= Qt::AlignVCenter;
    else flags |= Qt::AlignTop;
    const bool single = type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE || (w->style & SS_ELLIPSISMASK);
    if (single) {
        const QFontMetrics fm(font());
        const Qt::TextElideMode mode = (w->style & SS_ELLIPSISMASK) == SS_PATHELLIPSIS ? Qt::ElideMiddle
                                       : (w->style & SS_ELLIPSISMASK)                ? Qt::ElideRight
                                                                                      : Qt::ElideNone;
        QStringList lines = text.split(QLatin1Char('\n'));
        for (QString& line : lines) line = fm.elidedText(line, mode, inner.width());
        text = lines.join(QLatin1Char('\n'));
    } else {
        flags |= Qt::TextWordWrap;
    }
    if (colors.bkMode == OPAQUE && colors.bkSet && !colors.brush) p.fillRect(inner, ToQColor(colors.bk));
    p.drawText(inner, flags, text);
}

std::unique_ptr<WindowClass> MakeStatic() { return std::make_unique<StaticClass>(); }

// ==== Button

class PushWidget : public QPushButton {
public:
    using QPushButton::QPushButton;
    HBITMAP bitmap = nullptr;

protected:
    void paintEvent(QPaintEvent* e) override {
        Window* w = Self(this);
        if (w && (w->style & BS_TYPEMASK) == BS_OWNERDRAW) {
            QPainter p(this);
            DRAWITEMSTRUCT dis;
            dis.CtlType = ODT_BUTTON;
            dis.itemAction = ODA_DRAWENTIRE;
            dis.itemState = (isDown() ? ODS_SELECTED : 0) | (hasFocus() ? ODS_FOCUS : 0) |
                            (isEnabled() ? 0 : ODS_DISABLED) | (isDefault() ? ODS_DEFAULT : 0);
            dis.rcItem = FromQRect(rect());
            if (SendDrawItem(*w, dis, &p)) return;
        }
        QPushButton::paintEvent(e);
    }
};

class CheckWidget : public QCheckBox {
public:
    using QCheckBox::QCheckBox;
    bool automatic = true;

protected:
    // The whole rectangle of the control takes clicks, not only the box and its text.
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
    void nextCheckState() override {
        if (!automatic) return;  // the program checks it
        // Three states go round as on the desktop: cleared, checked, indeterminate, cleared.
        if (isTristate())
            setCheckState(checkState() == Qt::Unchecked ? Qt::Checked
                          : checkState() == Qt::Checked ? Qt::PartiallyChecked
                                                        : Qt::Unchecked);
        else QCheckBox::nextCheckState();
    }
};

class RadioWidget : public QRadioButton {
public:
    using QRadioButton::QRadioButton;
    bool automatic = true;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
    void nextCheckState() override;
};

class ButtonClass : public WindowClass {
public:
    QWidget* CreateWidget(Window& w, QWidget* parent) override {
        const QString text = ToQt(w.text);
        QAbstractButton* b = nullptr;
        switch (w.style & BS_TYPEMASK) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE: {
            auto* c = new CheckWidget(text, parent);
            const DWORD t = w.style & BS_TYPEMASK;
            c->automatic = t == BS_AUTOCHECKBOX || t == BS_AUTO3STATE;
            c->setTristate(t == BS_3STATE || t == BS_AUTO3STATE);
            b = c;
            break;
        }
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON: {
            auto* r = new RadioWidget(text, parent);
            r->setAutoExclusive(false);  // groups are those of the dialog (WS_GROUP), handled here
            r->automatic = (w.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON;
            b = r;
            break;
        }
        case BS_GROUPBOX: {
            auto* g = new QGroupBox(text, parent);
            g->setAttribute(Qt::WA_TransparentForMouseEvents);
            return g;
        }
        default: {
            auto* p = new PushWidget(text, parent);
            p->setDefault((w.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
            p->setAutoDefault(false);
            p->setFlat(w.style & BS_FLAT);
            b = p;
            break;
        }
        }
        const HWND h = w.handle;
        QObject::connect(b, &QAbstractButton::clicked, b, [h] {
            if (Window* self = Find(h)) NotifyCommand(*self, BN_CLICKED);
        });
        b->setFocusPolicy((w.style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
        return b;
    }
    void OnCreated(Window& w) override {
        if ((w.style & BS_TYPEMASK) == BS_GROUPBOX && w.widget) w.widget->lower();
    }
    std::unique_ptr<CWnd> MakeObject() override { return std::make_unique<CButton>(); }
    UINT CtlColorMessage(const Window&) const override { return WM_CTLCOLORBTN; }
    std::wstring GetText(Window& w) override {
        if (auto* b = qobject_cast<QAbstractButton*>(w.widget)) return FromQt(b->text());
        if (auto* g = qobject_cast<QGroupBox*>(w.widget)) return FromQt(g->title());
        return w.text;
    }
    void SetText(Window& w, const std::wstring& text) override {
        w.text = text;
        if (auto* b = qobject_cast<QAbstractButton*>(w.widget)) b->setText(ToQt(text));
        if (auto* g = qobject_cast<QGroupBox*>(w.widget)) g->setTitle(ToQt(text));
    }
    void StyleChanged(Window& w) override {
        if (auto* p = dynamic_cast<PushWidget*>(w.widget.data())) {
            p->setDefault((w.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
            p->setFlat(w.style & BS_FLAT);
            p->update();
        }
    }
    bool Proc(Window& w, UINT msg, WPARAM wp, LPARAM lp, LRESULT& r) override {
        auto* b = qobject_cast<QAbstractButton*>(w.widget);
        switch (msg) {
        case BM_GETCHECK:
            r = BST_UNCHECKED;
            if (auto* c = qobject_cast<QCheckBox*>(b)) r = c->checkState() == Qt::Checked ? BST_CHECKED
                                                         : c->checkState() == Qt::PartiallyChecked ? BST_INDETERMINATE
                                                                                                   : BST_UNCHECKED;
            else if (b && b->isCheckable()) r = b->isChecked() ? BST_CHECKED : BST_UNCHECKED;
            return true;
        case BM_SETCHECK:
            if (auto* c = qobject_cast<QCheckBox*>(b)) {
                c->setCheckState(wp == BST_CHECKED ? Qt::Checked
                                 : (wp == BST_INDETERMINATE && c->isTristate()) ? Qt::PartiallyChecked
                                                                                 : Qt::Unchecked);
            } else if (b && b->isCheckable()) {
                b->setChecked(wp == BST_CHECKED);
            }
            r = 0;
            return true;
        case BM_GETSTATE: {
            LRESULT check = 0;
            Proc(w, BM_GETCHECK, 0, 0, check);
            r = check | (b && b->isDown() ? BST_PUSHED : 0) | (b && b->hasFocus() ? BST_FOCUS : 0);
            return true;
        }
        case BM_SETSTATE:
            if (b) b->setDown(wp != 0);
            return true;
        case BM_SETSTYLE:
            w.style = (w.style & ~0xFFFFu) | DWORD(wp & 0xFFFF);
            StyleChanged(w);
            return true;
        case BM_CLICK:
            if (b && b->isEnabled()) b->click();
            return true;
        case BM_SETIMAGE: {
            auto* p = dynamic_cast<PushWidget*>(b);
            r = reinterpret_cast<LRESULT>(p ? p->bitmap : nullptr);
            if (p) {
                p->bitmap = reinterpret_cast<HBITMAP>(lp);
                if (QImage* img = BitmapImage(p->bitmap)) {
                    p->setIcon(QIcon(QPixmap::fromImage(*img)));
                    p->setIconSize(img->size());
                } else {
                    p->setIcon(QIcon());
                }
            }
            return true;
        }
        case BM_GETIMAGE: {
            auto* p = dynamic_cast<PushWidget*>(b);
            r = reinterpret_cast<LRESULT>(p ? p->bitmap : nullptr);
            return true;
        }
        case WM_SETFOCUS:
            NotifyCommand(w, BN_SETFOCUS);
            return true;
        case WM_KILLFOCUS:
            NotifyCommand(w, BN_KILLFOCUS);
            return true;
        case WM_LBUTTONDBLCLK:
            if (w.style & BS_NOTIFY) NotifyCommand(w, BN_DOUBLECLICKED);
            return false;
        default:
            return false;
        }
    }
};

void RadioWidget::nextCheckState() {
    if (!automatic) return;
    setChecked(true);
    // The other automatic radio buttons of its dialog group (WS_GROUP to WS_GROUP) are cleared.
    Window* w = Self(this);
    if (!w || !w->parent) return;
    const std::vector<HWND> siblings = ChildrenOf(w->parent);
    auto it = std::find(siblings.begin(), siblings.end(), w->handle);
    if (it == siblings.end()) return;
    std::size_t first = std::size_t(it - siblings.begin());
    while (first > 0 && !(::GetWindowLongPtrW(siblings[first], GWL_STYLE) & WS_GROUP)) --first;
    std::size_t last = std::size_t(it - siblings.begin()) + 1;
    while (last < siblings.size() && !(::GetWindowLongPtrW(siblings[last], GWL_STYLE) & WS_GROUP)) ++last;
    for (std::size_t i = first; i < last; ++i) {
        Window* o = Find(siblings[i]);
        if (!o || o == w || (o->style & BS_TYPEMASK) != BS_AUTORADIOBUTTON) continue;
        if (auto* rb = qobject_cast<QRadioButton*>(o->widget)) rb->setChecked(false);
    }
}

std::unique_ptr<WindowClass> MakeButton() { return std::make_unique<ButtonClass>(); }

// ==== Edit

void ApplyEditColors(QWidget* widget, QPaintEvent*) {
    Window* w = Self(widget);
    if (!w) return;
    const bool readOnly = (w->style & ES_READONLY) || !widget->isEnabled();
    const CtlColors c = AskCtlColor(*w, readOnly ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT, nullptr);
    QPalette pal = widget->palette();
    const QColor base = ToQColor(readOnly ? GetSysColor(COLOR_BTNFACE) : GetSysColor(COLOR_WINDOW));
    COLORREF bk;
    const QColor wantBase = c.brush && BrushColor(c.brush, bk) ? ToQColor(bk) : base;
    const QColor wantText = c.textSet ? ToQColor(c.text) : ToQColor(GetSysColor(COLOR_WINDOWTEXT));
    if (pal.color(QPalette::Base) != wantBase || pal.color(QPalette::Text) != wantText) {
        pal.setColor(QPalette::Base, wantBase);
        pal.setColor(QPalette::Text, wantText);
        widget->setPalette(pal);
    }
}

// The user may not type beyond the limit of a single-line edit (nor anything but digits into a
// number field); the program may set a longer text, which stays whole, as the limit only holds
// the user back. Of a paste or drop that would go beyond it, the part that fits is kept. A
// refused or cut input tells the parent (EN_MAXTEXT; combo boxes tell nothing).
class LimitValidator : public QValidator {
public:
    LimitValidator(QLineEdit* edit, HWND h, UINT maxCode) : QValidator(edit), edit_(edit), h_(h), maxCode_(maxCode) {
        QObject::connect(edit, &QLineEdit::textChanged, this, [this](const QString& t) { accepted_ = int(t.size()); });
    }
    int limit = 30000;
    bool digits = false;
    int user = 0;  // while the user's keys or drops are handled
    State validate(QString& input, int& pos) const override {
        if (!user) return Acceptable;
        if (digits)
            for (QChar c : input)
                if (!c.isDigit()) return Invalid;
        if (input.size() <= Allowed()) return Acceptable;
        TellRefused();
        // What the user put in ends at the caret and is as long as the text grew at least: its
        // end beyond the limit goes. A key that adds one character is then refused whole.
        const qsizetype excess = input.size() - Allowed();
        if (excess >= input.size() - accepted_ || excess > pos) return Invalid;
        input.remove(pos - excess, excess);
        pos -= int(excess);
        return Acceptable;
    }

    // The length the user may bring the text to.
    qsizetype Allowed() const { return std::max<qsizetype>(limit, accepted_); }
    // Tells the parent that input was refused or cut, once the change is done.
    void TellRefused() const {
        if (!maxCode_) return;
        const HWND h = h_;
        const UINT code = maxCode_;
        QMetaObject::invokeMethod(
            edit_,
            [h, code] {
                if (Window* self = Find(h)) NotifyCommand(*self, code);
            },
            Qt::QueuedConnection);
    }

private:
    QLineEdit* edit_;
    HWND h_;
    UINT maxCode_;
    int accepted_ = 0;  // the length of the text before the change being checked
};

LimitValidator* LimitOf(const QLineEdit* e) {
    return e ? dynamic_cast<LimitValidator*>(const_cast<QValidator*>(e->validator())) : nullptr;
}

// Marks what the user does to a line, so that only that is held to the limit.
struct UserInput {
    explicit UserInput(const QLineEdit* e) : v(LimitOf(e)) {
        if (v) ++v->user;
    }
    ~UserInput() {
        if (v) --v->user;
    }
    UserInput(const UserInput&) = delete;
    UserInput& operator=(const UserInput&) = delete;
    LimitValidator* v;
};

class UserLineEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        UserInput u(this);
        if (e->matches(QKeySequence::Paste) && PasteCut()) return;
        QLineEdit::keyPressEvent(e);
    }
    void inputMethodEvent(QInputMethodEvent* e) override {
        UserInput u(this);
        QLineEdit::inputMethodEvent(e);
    }
    void dropEvent(QDropEvent* e) override {
        UserInput u(this);
        QLineEdit::dropEvent(e);
    }

private:
    // The line inserts a text a character at a time, and of a text longer than its room it
    // copies the part that fits for each character: a page pasted into a field kept the GUI
    // thread for tens of milliseconds. A paste longer than the room is cut to it here, before
    // the line sees it (one that fits goes the line's own way, a step of its own for undo).
    bool PasteCut() {
        if (isReadOnly()) return false;
        const QString clip = QGuiApplication::clipboard()->text();
        const qsizetype kept = text().size() - selectedText().size();
        qsizetype room = maxLength() - kept;
        LimitValidator* v = LimitOf(this);
        if (v) room = std::min(room, v->Allowed() - kept);
        if (clip.size() <= room) return false;
        if (room > 0 || hasSelectedText()) insert(clip.left(std::max<qsizetype>(room, 0)));
        if (v) v->TellRefused();
        return true;
    }
};

class LineWidget : public UserLineEdit {
public:
    using UserLineEdit::UserLineEdit;

protected:
    void paintEvent(QPaintEvent* e) override {
        ApplyEditColors(this, e);
        QLineEdit::paintEvent(e);
    }
};

class MultiWidget : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;
    int limit = 0x7FFFFFFE;
    QString last;
    int quiet = 0;

protected:
    void paintEvent(QPaintEvent* e) override {
        ApplyEditColors(this, e);
        QPlainTextEdit::paintEvent(e);
    }
};

// A multi-line edit's text has its line breaks as carriage return and line feed, and its
// positions and lengths count both; the widget keeps a single line feed.
int OuterLength(const QString& plain) { return int(plain.size() + plain.count(QLatin1Char('\n'))); }
int OuterPos(const QString& plain, int pos) { return pos + int(plain.left(pos).count(QLatin1Char('\n'))); }
int InnerPos(const QString& plain, int pos) {
    int outer = 0;
    for (int i = 0; i < plain.size(); ++i) {
        if (outer >= pos) return i;
        outer += plain[i] == QLatin1Char('\n') ? 2 : 1;
    }
    return int(plain.size());
}

class EditClass : public WindowClass {
public:
    explicit EditClass(bool rich = false) : rich_(rich) {}
    QWidget* CreateWidget(Window& w, QWidget* parent) override {
        const HWND h = w.handle;
        if ((w.style & ES_MULTILINE) || rich_) {
            auto* m = new MultiWidget(parent);
            m->setTabChangesFocus(true);
            m->setFrameShape((w.style & WS_BORDER) || (w.exStyle & WS_EX_CLIENTEDGE) ? QFrame::StyledPanel : QFrame::NoFrame);
            m->setLineWrapMode((w.style & ES_AUTOHSCROLL) || (w.style & WS_HSCROLL) ? QPlainTextEdit::NoWrap
                                                                                     : QPlainTextEdit::WidgetWidth);
            m->setVerticalScrollBarPolicy((w.style & WS_VSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
            m->setHorizontalScrollBarPolicy((w.style & WS_HSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
            m->setReadOnly(w.style & ES_READONLY);
            m->setPlainText(ToQt(w.text));
            m->last = m->toPlainText();
            QObject::connect(m, &QPlainTextEdit::textChanged, m, [h, m] {
                if (m->quiet) return;
                if (OuterLength(m->toPlainText()) > m->limit) {
                    // Over the limit: the edit refuses the change.
                    Quiet q(m->quiet);
                    const int pos = std::min<int>(int(m->last.size()), m->textCursor().position());
                    m->setPlainText(m->last);
                    QTextCursor c = m->textCursor();
                    c.setPosition(pos);
                    m->setTextCursor(c);
                    if (Window* self = Find(h)) NotifyCommand(*self, EN_MAXTEXT);
                    return;
                }
                m->last = m->toPlainText();
                if (Window* self = Find(h)) NotifyCommand(*self, EN_CHANGE);
            });
            return m;
        }
        auto* e = new LineWidget(parent);
        e->setFrame((w.style & WS_BORDER) || (w.exStyle & WS_EX_CLIENTEDGE));
        e->setMaxLength(32767);
        auto* limit = new LimitValidator(e, h, EN_MAXTEXT);
        limit->digits = w.style & ES_NUMBER;
        e->setValidator(limit);
        e->setReadOnly(w.style & ES_READONLY);
        if (w.style & ES_PASSWORD) e->setEchoMode(QLineEdit::Password);
        if (w.style & ES_CENTER) e->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        else if (w.style & ES_RIGHT) e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        e->setText(ToQt(w.text));
        QObject::connect(e, &QLineEdit::textChanged, e, [h] {
            if (Window* self = Find(h)) NotifyCommand(*self, EN_CHANGE);
        });
        if (w.style & (ES_UPPERCASE | ES_LOWERCASE)) {
            const bool upper = w.style & ES_UPPERCASE;
            QObject::connect(e, &QLineEdit::textEdited, e, [e, upper](const QString& t) {
                const QString c = upper ? t.toUpper() : t.toLower();
                if (c != t) {
                    const int pos = e->cursorPosition();
                    e->setText(c);
                    e->setCursorPosition(pos);
                }
            });
        }
        return e;
    }
    std::unique_ptr<CWnd> MakeObject() override { return std::make_unique<CEdit>(); }
    UINT CtlColorMessage(const Window& w) const override {
        return (w.style & ES_READONLY) ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
    }
    std::wstring GetText(Window& w) override {
        if (auto* e = qobject_cast<QLineEdit*>(w.widget)) return FromQt(e->text());
        if (auto* m = qobject_cast<QPlainTextEdit*>(w.widget)) {
            QString t = m->toPlainText();
            t.replace(QLatin1String("\n"), QLatin1String("\r\n"));
            return FromQt(t);
        }
        return w.text;
    }
    void SetText(Window& w, const std::wstring& text) override {
        w.text = text;
        if (auto* e = qobject_cast<QLineEdit*>(w.widget)) {
            e->setText(ToQt(text));
            e->setCursorPosition(0);
        }
        if (auto* m = dynamic_cast<MultiWidget*>(w.widget.data())) {
            QString t = ToQt(text);
            t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
            // The limit holds back the user only: text the program sets stays whole.
            {
                Quiet q(m->quiet);
                m->setPlainText(t);
                m->last = m->toPlainText();
            }
            NotifyCommand(w, EN_CHANGE);
        }
    }
    void StyleChanged(Window& w) override { SetReadOnly(w, w.style & ES_READONLY); }
    void SetReadOnly(Window& w, bool ro) {
        if (ro) w.style |= ES_READONLY;
        else w.style &= ~ES_READONLY;
        if (auto* e = qobject_cast<QLineEdit*>(w.widget)) e->setReadOnly(ro);
        if (auto* m = qobject_cast<QPlainTextEdit*>(w.widget)) m->setReadOnly(ro);
        if (w.widget) w.widget->update();
    }
    bool Proc(Window& w, UINT msg, WPARAM wp, LPARAM lp, LRESULT& r) override {
        auto* e = qobject_cast<QLineEdit*>(w.widget);
        auto* m = dynamic_cast<MultiWidget*>(w.widget.data());
        switch (msg) {
        case EM_SETSEL: {
            int start = int(INT_PTR(wp));
            int end = int(lp);
            const QString plain = m ? m->toPlainText() : QString();
            const int len = e ? int(e->text().size()) : m ? OuterLength(plain) : 0;
            if (start == -1) {  // no selection, the caret stays
                if (e) e->deselect();
                if (m) {
                    QTextCursor c = m->textCursor();
                    c.clearSelection();
                    m->setTextCursor(c);
                }
                return true;
            }
            if (end < 0) end = len;
            start = std::clamp(start, 0, len);
            end = std::clamp(end, 0, len);
            if (e) e->setSelection(start, end - start);
            if (m) {
                QTextCursor c = m->textCursor();
                c.setPosition(InnerPos(plain, start));
                c.setPosition(InnerPos(plain, end), QTextCursor::KeepAnchor);
                m->setTextCursor(c);
            }
            return true;
        }
        case EM_GETSEL: {
            int start = 0, end = 0;
            if (e) {
                start = e->hasSelectedText() ? e->selectionStart() : e->cursorPosition();
                end = e->hasSelectedText() ? e->selectionEnd() : start;
            }
            if (m) {
                const QString plain = m->toPlainText();
                start = OuterPos(plain, m->textCursor().selectionStart());
                end = OuterPos(plain, m->textCursor().selectionEnd());
            }
            if (wp) *reinterpret_cast<DWORD*>(wp) = DWORD(start);
            if (lp) *reinterpret_cast<DWORD*>(lp) = DWORD(end);
            r = MAKELONG(WORD(start), WORD(end));
            return true;
        }
        case EM_SETREADONLY:
            SetReadOnly(w, wp != 0);
            r = TRUE;
            return true;
        case EM_LIMITTEXT: {
            const int limit = wp == 0 ? 0x7FFFFFFE : int(wp);
            if (LimitValidator* v = LimitOf(e)) v->limit = limit;
            if (m) m->limit = limit;
            return true;
        }
        case EM_GETLIMITTEXT:
            r = LimitOf(e) ? LimitOf(e)->limit : m ? m->limit : 0;
            return true;
        case EM_REPLACESEL: {
            const QString text = ToQt(FromBuffer(lp));
            if (e) e->insert(text);
            if (m) m->insertPlainText(text);
            return true;
        }
        case EM_GETLINECOUNT:
            r = m ? m->document()->blockCount() : 1;
            return true;
        case EM_GETMODIFY:
            r = e ? e->isModified() : m ? m->document()->isModified() : 0;
            return true;
        case EM_SETMODIFY:
            if (e) e->setModified(wp != 0);
            if (m) m->document()->setModified(wp != 0);
            return true;
        case EM_CANUNDO:
            r = e ? e->isUndoAvailable() : m ? m->document()->isUndoAvailable() : 0;
            return true;
        case EM_UNDO:
            if (e) e->undo();
            if (m) m->undo();
            r = TRUE;
            return true;
        case WM_SETFOCUS:
            NotifyCommand(w, EN_SETFOCUS);
            return true;
        case WM_KILLFOCUS:
            NotifyCommand(w, EN_KILLFOCUS);
            return true;
        default:
            return false;
        }
    }

private:
    bool rich_;
};

std::unique_ptr<WindowClass> MakeEdit() { return std::make_unique<EditClass>(); }
std::unique_ptr<WindowClass> MakeRichEdit() { return std::make_unique<EditClass>(true); }

// ==== owner drawing of list items

// WM_DRAWITEM of a combo box: to the combo box window, whose default passes it to the parent.
bool SendComboDrawItem(Window& w, DRAWITEMSTRUCT& dis, QPainter* painter) {
    const HDC dc = CreateDcOnPainter(painter, w.handle);
    dis.hDC = dc;
    dis.hwndItem = w.handle;
    dis.CtlID = w.id;
    const LRESULT r = Dispatch(w, WM_DRAWITEM, WPARAM(w.id), reinterpret_cast<LPARAM>(&dis));
    DeleteDcOnPainter(dc);
    return r != 0;
}

UINT ItemState(const QStyleOptionViewItem& o) {
    return ((o.state & QStyle::State_Selected) ? ODS_SELECTED : 0) | ((o.state & QStyle::State_HasFocus) ? ODS_FOCUS : 0) |
           ((o.state & QStyle::State_Enabled) ? 0 : ODS_DISABLED);
}

class OwnerDrawDelegate : public QStyledItemDelegate {
public:
    OwnerDrawDelegate(HWND h, UINT type, QObject* parent) : QStyledItemDelegate(parent), h_(h), type_(type) {}
    int itemHeight = 0;  // set by CB_SETITEMHEIGHT / LB_SETITEMHEIGHT
    int extent = 0;      // the combo box list's horizontal extent (LB_SETHORIZONTALEXTENT)
    int widest = 0;      // a combo box's widest item text so far, measured as each item comes

    void paint(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& idx) const override {
        Window* w = Find(h_);
        if (!w) return;
        DRAWITEMSTRUCT dis;
        dis.CtlType = type_;
        dis.itemID = UINT(idx.row());
        dis.itemAction = ODA_DRAWENTIRE;
        dis.itemState = ItemState(opt);
        dis.rcItem = FromQRect(opt.rect);
        dis.itemData = ULONG_PTR(idx.data(Qt::UserRole).toULongLong());
        if (!(type_ == ODT_COMBOBOX ? SendComboDrawItem(*w, dis, p) : SendDrawItem(*w, dis, p)))
            QStyledItemDelegate::paint(p, opt, idx);
    }
    QSize sizeHintAtLeast(const QSize& s) const { return QSize(std::max({s.width(), extent, widest}), s.height()); }
    QSize sizeHint(const QStyleOptionViewItem& opt, const QModelIndex& idx) const override {
        QSize base = sizeHintAtLeast(QStyledItemDelegate::sizeHint(opt, idx));
        if (itemHeight > 0) return QSize(base.width(), itemHeight);
        Window* w = Find(h_);
        Window* parent = w ? Find(w->parent) : nullptr;
        if (!parent) return base;
        MEASUREITEMSTRUCT mis;
        mis.CtlType = type_;
        mis.CtlID = w->id;
        const bool variable = w->style & (type_ == ODT_COMBOBOX ? CBS_OWNERDRAWVARIABLE : LBS_OWNERDRAWVARIABLE);
        mis.itemID = variable ? UINT(idx.row()) : UINT(-1);
        mis.itemWidth = UINT(base.width());
        mis.itemHeight = UINT(base.height());
        mis.itemData = ULONG_PTR(idx.data(Qt::UserRole).toULongLong());
        // A combo box hears its list's messages first and passes them on to its parent.
        Dispatch(type_ == ODT_COMBOBOX ? *w : *parent, WM_MEASUREITEM, WPARAM(w->id), reinterpret_cast<LPARAM>(&mis));
        return QSize(base.width(), int(mis.itemHeight));
    }

private:
    HWND h_;
    UINT type_;
};

void SendDeleteItem(Window& w, UINT type, int index, ULONG_PTR data) {
    Window* parent = type == ODT_COMBOBOX ? &w : Find(w.parent);
    if (!parent) return;
    DELETEITEMSTRUCT dis;
    dis.CtlType = type;
    dis.CtlID = w.id;
    dis.itemID = UINT(index);
    dis.hwndItem = w.handle;
    dis.itemData = data;
    Dispatch(*parent, WM_DELETEITEM, WPARAM(w.id), reinterpret_cast<LPARAM>(&dis));
}

int SendCompareItem(Window& w, UINT type, int index1, ULONG_PTR data1, ULONG_PTR data2) {
    Window* parent = type == ODT_COMBOBOX ? &w : Find(w.parent);
    if (!parent) return 0;
    COMPAREITEMSTRUCT cis;
    cis.CtlType = type;
    cis.CtlID = w.id;
    cis.hwndItem = w.handle;
    cis.itemID1 = UINT(index1);
    cis.itemData1 = data1;
    cis.itemID2 = UINT(-1);
    cis.itemData2 = data2;
    return int(Dispatch(*parent, WM_COMPAREITEM, WPARAM(w.id), reinterpret_cast<LPARAM>(&cis)));
}

// A case-insensitive prefix or exact search after 'startAfter', wrapping around.
int FindIn(const std::function<QString(int)>& textAt, int count, int startAfter, const QString& text, bool exact) {
    if (count <= 0) return -1;
    const int first = (startAfter < 0 || startAfter >= count) ? 0 : startAfter + 1;
    for (int n = 0; n < count; ++n) {
        const int i = (first + n) % count;
        const QString t = textAt(i);
        if (exact ? CompareNoCase(t, text) == 0 : t.startsWith(text, Qt::CaseInsensitive)) return i;
    }
    return -1;
}

// ==== Combo box

class ComboWidget : public QComboBox {
public:
    using QComboBox::QComboBox;
    int quiet = 0;
    int droppedWidth = 0;
    bool ownerDraw = false;
    HWND list = nullptr;  // the drop-down list's window, made when it first shows

    void keyPressEvent(QKeyEvent* e) override {
        UserInput u(lineEdit());
        QComboBox::keyPressEvent(e);
    }
    void showPopup() override {
        const HWND h = HandleOf(this);
        if (lineEdit()) view()->installEventFilter(this);
        if (QWidget* popup = view()->window(); popup && popup != window()) popup->installEventFilter(this);
        if (Window* w = Find(h)) NotifyCommand(*w, CBN_DROPDOWN);
        if (droppedWidth > width()) view()->setMinimumWidth(droppedWidth);
        Window* w = Find(h);
        if (!w || !ListWindow(*w)) {
            QComboBox::showPopup();
            return;
        }
        QComboBox::showPopup();
        // As the list paints it asks the combo box for its colours.
        const HDC dc = ::GetDC(list);
        Dispatch(*w, WM_CTLCOLORLISTBOX, WPARAM(dc), LPARAM(list));
        ::ReleaseDC(list, dc);
        // The list's window may change the size and place the toolkit chose for it.
        Window* lw = Find(list);
        QWidget* popup = view()->window();
        if (!lw || !popup || popup == window()) return;
        const QRect g = popup->geometry();
        WINDOWPOS pos{};
        pos.hwnd = list;
        pos.x = g.x(), pos.y = g.y(), pos.cx = g.width(), pos.cy = g.height();
        pos.flags = SWP_NOZORDER | SWP_NOACTIVATE;
        Dispatch(*lw, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
        if (!(pos.flags & SWP_NOSIZE)) popup->resize(pos.cx, pos.cy);
        if (!(pos.flags & SWP_NOMOVE)) popup->move(pos.x, pos.y);
        FitExtent();
    }
    // The toolkit's combo list keeps its contents as wide as itself; the list's horizontal
    // extent (LB_SETHORIZONTALEXTENT) is what it can scroll across.
    void FitExtent() {
        auto* d = dynamic_cast<OwnerDrawDelegate*>(itemDelegate());
        if (!d || d->extent <= 0) return;
        QScrollBar* bar = view()->horizontalScrollBar();
        const int page = view()->viewport()->width();
        bar->setRange(0, std::max(0, d->extent - page));
        bar->setPageStep(std::max(1, page));
    }
    // The list's window (class "ComboLBox", a child of the combo box); null when it cannot be made.
    HWND ListWindow(Window& w) {
        if (!Find(list))
            list = CreateWindowRecord(0, L"ComboLBox", L"", WS_CHILD | WS_VSCROLL, 0, 0, 0, 0, w.handle, 1000, nullptr,
                                      nullptr);
        return list;
    }
    // While the list of a drop-down combo box is open the edit field keeps the typing: only the
    // keys that move in the list, take a row or close the list are the list's.
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonPress && o == view()->window() && o != window())
            return PressBesideList(static_cast<QWidget*>(o), static_cast<QMouseEvent*>(e));
        if (o == view() && lineEdit() &&
            (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease || e->type() == QEvent::ShortcutOverride)) {
            auto* k = static_cast<QKeyEvent*>(e);
            // Return without a row marked in the list, and Tab, close the list and leave the typed
            // text as it is; Tab then goes on to the next control as it does with the list closed.
            // (The list takes Return before it is pressed, as an override of shortcuts.) A row is
            // marked when it is chosen: the view makes its first row current, unmarked, as it
            // takes the focus.
            const QModelIndex current = view()->currentIndex();
            const bool noRow = !current.isValid() || !view()->selectionModel()->isSelected(current);
            const bool enter = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter;
            const bool tab = k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab;
            if (e->type() == QEvent::ShortcutOverride) {
                if (!enter || !noRow || (k->modifiers() & Qt::AltModifier)) return QComboBox::eventFilter(o, e);
                k->accept();
                hidePopup();
                return true;
            }
            if (!(k->modifiers() & Qt::AltModifier) && ((enter && noRow) || tab)) {
                if (e->type() == QEvent::KeyPress) {
                    hidePopup();
                    if (tab) {
                        QKeyEvent copy(k->type(), k->key(), k->modifiers(), k->text(), k->isAutoRepeat(),
                                       ushort(k->count()));
                        QApplication::sendEvent(lineEdit(), &copy);
                    }
                }
                return true;
            }
            if (!IsListKey(*k)) {
                QKeyEvent copy(k->type(), k->key(), k->modifiers(), k->text(), k->isAutoRepeat(), ushort(k->count()));
                QApplication::sendEvent(lineEdit(), &copy);
                return true;
            }
        }
        return QComboBox::eventFilter(o, e);
    }
    // A press beside the open list closes it and goes on to what it was aimed at (a button is
    // pressed by it). The toolkit does so itself on some platforms; on X11 and Wayland it hands the
    // press to the list alone, which would drop the click.
    bool PressBesideList(QWidget* popup, QMouseEvent* e) {
        static const bool dropped = QGuiApplication::platformName() == QLatin1String("xcb") ||
                                    QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
        const QPoint at = e->globalPosition().toPoint();
        if (!dropped || popup->geometry().contains(at) || rect().contains(mapFromGlobal(at))) return false;
        // The toolkit's own replay would press it a second time.
        popup->setAttribute(Qt::WA_NoMouseReplay, true);
        hidePopup();
        popup->setAttribute(Qt::WA_NoMouseReplay, false);
        QWidget* target = QApplication::widgetAt(at);
        QWidget* top = target ? target->window() : nullptr;
        QWindow* handle = top ? top->windowHandle() : nullptr;
        QWidget* modal = QApplication::activeModalWidget();
        if (!handle || (modal && modal != top)) return true;
        const QPointF local = handle->mapFromGlobal(e->globalPosition());
        QMouseEvent press(QEvent::MouseButtonPress, local, local, e->globalPosition(), e->button(), e->buttons(),
                          e->modifiers(), e->pointingDevice());
        press.setTimestamp(e->timestamp());
        QApplication::sendEvent(handle, &press);
        return true;
    }
    static bool IsListKey(const QKeyEvent& k) {
        if (k.modifiers() & Qt::AltModifier) return true;
        switch (k.key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
        case Qt::Key_F4:
        case Qt::Key_Tab:
        case Qt::Key_Backtab: return true;
        default: return false;
        }
    }
    void hidePopup() override {
        const bool wasShown = view()->isVisible();
        QComboBox::hidePopup();
        if (wasShown)
            if (Window* w = Self(this)) NotifyCommand(*w, CBN_CLOSEUP);
    }

protected:
    void paintEvent(QPaintEvent* e) override {
        Window* w = Self(this);
        if (!ownerDraw || isEditable() || !w) {
            QComboBox::paintEvent(e);
            return;
        }
        QStylePainter p(this);
        QStyleOptionComboBox opt;
        initStyleOption(&opt);
        opt.currentText.clear();
        opt.currentIcon = QIcon();
        p.drawComplexControl(QStyle::CC_ComboBox, opt);
        const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
        DRAWITEMSTRUCT dis;
        dis.CtlType = ODT_COMBOBOX;
        dis.itemID = UINT(currentIndex());
        dis.itemAction = ODA_DRAWENTIRE;
        dis.itemState = ODS_COMBOBOXEDIT | (hasFocus() ? ODS_SELECTED | ODS_FOCUS : 0) | (isEnabled() ? 0 : ODS_DISABLED);
        dis.rcItem = FromQRect(field);
        dis.itemData = currentIndex() >= 0 ? ULONG_PTR(itemData(currentIndex(), Qt::UserRole).toULongLong()) : 0;
        SendComboDrawItem(*w, dis, &p);
    }
};

class ComboClass : public WindowClass {
public:
    QWidget* CreateWidget(Window& w, QWidget* parent) override {
        auto* c = new ComboWidget(parent);
        const DWORD type = w.style & 0x3;
        c->setEditable(type == CBS_DROPDOWN || type == CBS_SIMPLE);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->setDuplicatesEnabled(true);
        c->ownerDraw = w.style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE);
        if (c->ownerDraw) c->setItemDelegate(new OwnerDrawDelegate(w.handle, ODT_COMBOBOX, c));
        // Rows of one height: the list is laid out by arithmetic, not by measuring each row, so
        // a row added to a long list costs the same as one added to a short one. Its width is
        // the widest text seen as the rows came (Insert).
        if (auto* list = qobject_cast<QListView*>(c->view())) list->setUniformItemSizes(!(w.style & CBS_OWNERDRAWVARIABLE));
        if (c->isEditable()) {
            c->setLineEdit(new UserLineEdit(c));
            c->lineEdit()->setMaxLength(32767);
            c->setValidator(new LimitValidator(c->lineEdit(), w.handle, 0));
            LimitOf(c->lineEdit())->limit = 0x7FFFFFFE;
        }
        // The template's height is the height of the dropped list; the field keeps its own.
        const int field = c->sizeHint().height();
        c->setFixedHeight(field);
        const int item = std::max(1, QFontMetrics(c->font()).height() + 2);
        c->setMaxVisibleItems(std::max(1, (w.createRect.height() - field) / item));
        const HWND h = w.handle;
        QObject::connect(c, &QComboBox::currentIndexChanged, c, [h, c](int) {
            if (c->quiet) return;
            if (Window* self = Find(h)) NotifyCommand(*self, CBN_SELCHANGE);
        });
        if (c->lineEdit()) {
            QObject::connect(c->lineEdit(), &QLineEdit::textEdited, c, [h](const QString&) {
                if (Window* self = Find(h)) {
                    NotifyCommand(*self, CBN_EDITUPDATE);
                    if ((self = Find(h))) NotifyCommand(*self, CBN_EDITCHANGE);
                }
            });
        }
        return c;
    }
    std::unique_ptr<CWnd> MakeObject() override { return std::make_unique<CComboBox>(); }
    std::wstring GetText(Window& w) override {
        auto* c = static_cast<ComboWidget*>(w.widget.data());
        if (!c) return w.text;
        if (c->lineEdit()) return FromQt(c->lineEdit()->text());
        return c->currentIndex() >= 0 ? FromQt(c->currentText()) : std::wstring();
    }
    void SetText(Window& w, const std::wstring& text) override {
        w.text = text;
        auto* c = static_cast<ComboWidget*>(w.widget.data());
        if (c && c->lineEdit()) c->lineEdit()->setText(ToQt(text));
    }
    static bool HasStrings(const Window& w) {
        return !(w.style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) || (w.style & CBS_HASSTRINGS);
    }
    int Insert(Window& w, ComboWidget* c, int index, LPARAM lp, bool sorted) {
        const bool strings = HasStrings(w);
        const QString text = strings ? ToQt(FromBuffer(lp)) : QString();
        const qulonglong data = strings ? 0 : qulonglong(lp);
        const int count = c->count();
        if (sorted) {
            index = count;
            for (int i = 0; i < count; ++i) {
                const int cmp = strings ? CompareNoCase(c->itemText(i), text)
                                        : SendCompareItem(w, ODT_COMBOBOX, i, ULONG_PTR(c->itemData(i, Qt::UserRole).toULongLong()),
                                                          ULONG_PTR(data));
                if (cmp > 0) {
                    index = i;
                    break;
                }
            }
        } else if (index < 0 || index > count) {
            index = count;
        }
        Quiet q(c->quiet);
        const int current = c->currentIndex();
        const QString editText = c->lineEdit() ? c->lineEdit()->text() : QString();
        if (auto* d = dynamic_cast<OwnerDrawDelegate*>(c->itemDelegate()); d && !text.isEmpty())
            d->widest = std::max(d->widest, QFontMetrics(c->view()->font()).horizontalAdvance(text));
        c->insertItem(index, text, QVariant(data));
        // Adding items never selects one (the toolkit would select the first).
        if (current < 0) c->setCurrentIndex(-1);
        if (c->lineEdit()) c->lineEdit()->setText(editText);
        return index;
    }
    bool Proc(Window& w, UINT msg, WPARAM wp, LPARAM lp, LRESULT& r) override {
        auto* c = static_cast<ComboWidget*>(w.widget.data());
        if (!c) return false;
        const auto textAt = [c](int i) { return c->itemText(i); };
        const bool ownerDraw = w.style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE);
        switch (msg) {
        case CB_ADDSTRING:
            r = Insert(w, c, -1, lp, (w.style & CBS_SORT) != 0);
            return true;
        case CB_INSERTSTRING:
            r = Insert(w, c, int(INT_PTR(wp)), lp, false);
            return true;
        case CB_DELETESTRING: {
            const int i = int(wp);
            if (i < 0 || i >= c->count()) {
                r = CB_ERR;
                return true;
            }
            const ULONG_PTR data = ULONG_PTR(c->itemData(i, Qt::UserRole).toULongLong());
            {
                Quiet q(c->quiet);
                c->removeItem(i);
            }
            if (ownerDraw) SendDeleteItem(w, ODT_COMBOBOX, i, data);
            r = c->count();
            return true;
        }
        case CB_RESETCONTENT: {
            std::vector<ULONG_PTR> data;
            for (int i = 0; i < c->count(); ++i) data.push_back(ULONG_PTR(c->itemData(i, Qt::UserRole).toULongLong()));
            {
                Quiet q(c->quiet);
                c->clear();
                if (c->lineEdit()) c->lineEdit()->clear();
            }
            if (auto* d = dynamic_cast<OwnerDrawDelegate*>(c->itemDelegate())) d->widest = 0;
            if (ownerDraw)
                for (std::size_t i = 0; i < data.size(); ++i) SendDeleteItem(w, ODT_COMBOBOX, int(i), data[i]);
            r = CB_OKAY;
            return true;
        }
        case CB_GETCOUNT:
            r = c->count();
            return true;
        case CB_GETCURSEL:
            r = c->currentIndex();
            return true;
        case CB_SETCURSEL: {
            const int i = int(INT_PTR(wp));
            Quiet q(c->quiet);
            if (i < 0 || i >= c->count()) {
                c->setCurrentIndex(-1);
                if (c->lineEdit()) c->lineEdit()->clear();
                r = CB_ERR;
            } else {
                c->setCurrentIndex(i);
                r = i;
            }
            return true;
        }
        case CB_GETLBTEXT: {
            const int i = int(wp);
            r = (i < 0 || i >= c->count()) ? CB_ERR : CopyOut(c->itemText(i), lp);
            return true;
        }
        case CB_GETLBTEXTLEN: {
            const int i = int(wp);
            r = (i < 0 || i >= c->count()) ? CB_ERR : LRESULT(FromQt(c->itemText(i)).size());
            return true;
        }
        case CB_FINDSTRING:
        case CB_FINDSTRINGEXACT:
            r = FindIn(textAt, c->count(), int(INT_PTR(wp)), ToQt(FromBuffer(lp)), msg == CB_FINDSTRINGEXACT);
            return true;
        case CB_SELECTSTRING: {
            const int i = FindIn(textAt, c->count(), int(INT_PTR(wp)), ToQt(FromBuffer(lp)), false);
            if (i >= 0) {
                Quiet q(c->quiet);
                c->setCurrentIndex(i);
            }
            r = i;
            return true;
        }
        case CB_GETITEMDATA: {
            const int i = int(wp);
            r = (i < 0 || i >= c->count()) ? CB_ERR : LRESULT(c->itemData(i, Qt::UserRole).toULongLong());
            return true;
        }
        case CB_SETITEMDATA: {
            const int i = int(wp);
            if (i < 0 || i >= c->count()) {
                r = CB_ERR;
            } else {
                c->setItemData(i, QVariant(qulonglong(lp)), Qt::UserRole);
                r = CB_OKAY;
            }
            return true;
        }
        case CB_SHOWDROPDOWN:
            if (wp) c->showPopup();
            else c->hidePopup();
            r = TRUE;
            return true;
        case CB_GETDROPPEDSTATE:
            r = c->view() && c->view()->isVisible();
            return true;
        case CB_SETEDITSEL: {
            if (!c->lineEdit()) {
                r = CB_ERR;
                return true;
            }
            const int start = SHORT(LOWORD(std::uintptr_t(lp)));
            const int end = SHORT(HIWORD(std::uintptr_t(lp)));
            const int len = int(c->lineEdit()->text().size());
            if (start < 0) {
                c->lineEdit()->deselect();
            } else {
                const int e = end < 0 ? len : std::min(end, len);
                c->lineEdit()->setSelection(std::min(start, len), e - std::min(start, len));
            }
            r = TRUE;
            return true;
        }
        case CB_GETEDITSEL: {
            int start = 0, end = 0;
            if (QLineEdit* le = c->lineEdit()) {
                start = le->hasSelectedText() ? le->selectionStart() : le->cursorPosition();
                end = le->hasSelectedText() ? le->selectionEnd() : start;
            }
            if (wp) *reinterpret_cast<DWORD*>(wp) = DWORD(start);
            if (lp) *reinterpret_cast<DWORD*>(lp) = DWORD(end);
            r = MAKELONG(WORD(start), WORD(end));
            return true;
        }
        case CB_LIMITTEXT:
            if (LimitValidator* v = LimitOf(c->lineEdit())) v->limit = wp == 0 ? 0x7FFFFFFE : int(wp);
            r = TRUE;
            return true;
        case CB_SETDROPPEDWIDTH:
            c->droppedWidth = int(wp);
            if (c->view()) c->view()->setMinimumWidth(std::max(c->width(), c->droppedWidth));
            r = std::max(c->width(), c->droppedWidth);
            return true;
        case CB_GETDROPPEDWIDTH:
            r = std::max(c->width(), c->droppedWidth);
            return true;
        case CB_SETITEMHEIGHT:
            if (auto* d = dynamic_cast<OwnerDrawDelegate*>(c->itemDelegate())) d->itemHeight = int(lp);
            r = 0;
            return true;
        case CB_GETITEMHEIGHT:
            if (INT_PTR(wp) == -1) r = c->height();
            else if (auto* d = dynamic_cast<OwnerDrawDelegate*>(c->itemDelegate()); d && d->itemHeight > 0) r = d->itemHeight;
            else r = QFontMetrics(c->font()).height() + 2;
            return true;
        case CB_GETDROPPEDCONTROLRECT: {
            if (auto* rc = reinterpret_cast<RECT*>(lp)) {
                const QPoint o = c->mapToGlobal(QPoint(0, 0));
                *rc = RECT{o.x(), o.y(), o.x() + std::max(c->width(), c->droppedWidth),
                           o.y() + std::max(c->height(), w.createRect.height())};
            }
            r = TRUE;
            return true;
        }
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
        case WM_COMPAREITEM:
        case WM_DELETEITEM:
            // The list's owner-draw messages go on to the combo box's parent.
            if (Window* parent = Find(w.parent)) r = Dispatch(*parent, msg, wp, lp);
            return true;
        case WM_SETFOCUS:
            NotifyCommand(w, CBN_SETFOCUS);
            return true;
        case WM_KILLFOCUS:
            NotifyCommand(w, CBN_KILLFOCUS);
            return true;
        case WM_DESTROY:
            if (ownerDraw) {
                for (int i = 0; i < c->count(); ++i)
                    SendDeleteItem(w, ODT_COMBOBOX, i, ULONG_PTR(c->itemData(i, Qt::UserRole).toULongLong()));
            }
            return false;
        default:
            return false;
        }
    }
};

std::unique_ptr<WindowClass> MakeCombo() { return std::make_unique<ComboClass>(); }

// The drop-down list of a combo box as a window of its own: it adopts the combo box's list view,
// so that a combo box can subclass it (its size, scrolling and extent).
class ComboListClass : public WindowClass {
public:
    QWidget* CreateWidget(Window& w, QWidget*) override {
        ComboWidget* c = ComboOf(w);
        if (!c) return nullptr;
        w.adopted = true;
        QAbstractItemView* v = c->view();
        v->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        v->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        const HWND h = w.handle;
        QObject::connect(v->horizontalScrollBar(), &QScrollBar::valueChanged, v, [h](int value) {
            if (Window* self = Find(h)) self->scroll[SB_HORZ].pos = value;
        });
        return v;
    }
    std::unique_ptr<CWnd> MakeObject() override { return std::make_unique<CListBox>(); }
    bool Proc(Window& w, UINT msg, WPARAM wp, LPARAM, LRESULT& r) override {
        ComboWidget* c = ComboOf(w);
        if (!c) return false;
        QScrollBar* bar = c->view()->horizontalScrollBar();
        switch (msg) {
        case LB_GETCOUNT:
            r = c->count();
            return true;
        case LB_GETITEMHEIGHT:
            r = c->count() > 0 ? c->view()->sizeHintForRow(std::clamp(int(wp), 0, c->count() - 1))
                               : QFontMetrics(c->font()).height() + 2;
            return true;
        case LB_GETTOPINDEX:
            r = std::max(0, c->view()->indexAt(QPoint(1, 1)).row());
            return true;
        case LB_SETHORIZONTALEXTENT:
            if (auto* d = dynamic_cast<OwnerDrawDelegate*>(c->itemDelegate())) d->extent = int(wp);
            c->view()->doItemsLayout();
            c->FitExtent();
            return true;
        case WM_HSCROLL: {
            const int code = LOWORD(wp);
            const int pos = w.scroll[SB_HORZ].pos;
            c->FitExtent();
            if (code == SB_LINELEFT) bar->setValue(bar->value() - bar->singleStep());
            else if (code == SB_LINERIGHT) bar->setValue(bar->value() + bar->singleStep());
            else if (code == SB_PAGELEFT) bar->setValue(bar->value() - bar->pageStep());
            else if (code == SB_PAGERIGHT) bar->setValue(bar->value() + bar->pageStep());
            else if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) bar->setValue(SHORT(HIWORD(wp)));
            else if (code == SB_LEFT) bar->setValue(bar->minimum());
            else if (code == SB_RIGHT) bar->setValue(bar->maximum());
            else if (code == SB_ENDSCROLL) bar->setValue(pos);
            r = 0;
            return true;
        }
        default:
            return false;
        }
    }

private:
    static ComboWidget* ComboOf(Window& w) {
        Window* combo = Find(w.parent);
        return combo ? dynamic_cast<ComboWidget*>(combo->widget.data()) : nullptr;
    }
};

std::unique_ptr<WindowClass> MakeComboList() { return std::make_unique<ComboListClass>(); }

// ==== List box (also the check list box)

class ListWidget : public QListWidget {
public:
    using QListWidget::QListWidget;
    int quiet = 0;
    bool checkable = false;
    int horizontalExtent = 0;
};

class ListBoxClass : public WindowClass {
public:
    QWidget* CreateWidget(Window& w, QWidget* parent) override {
        auto* l = new ListWidget(parent);
        if (w.style & LBS_EXTENDEDSEL) l->setSelectionMode(QAbstractItemView::ExtendedSelection);
        else if (w.style & LBS_MULTIPLESEL) l->setSelectionMode(QAbstractItemView::MultiSelection);
        else l->setSelectionMode(QAbstractItemView::SingleSelection);
        l->setFrameShape((w.style & WS_BORDER) || (w.exStyle & WS_EX_CLIENTEDGE) ? QFrame::StyledPanel : QFrame::NoFrame);
        l->setVerticalScrollBarPolicy((w.style & WS_VSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        l->setHorizontalScrollBarPolicy((w.style & WS_HSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        l->setUniformItemSizes(!(w.style & LBS_OWNERDRAWVARIABLE));
        if (w.style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE))
            l->setItemDelegate(new OwnerDrawDelegate(w.handle, ODT_LISTBOX, l));
        const HWND h = w.handle;
        QObject::connect(l, &QListWidget::itemSelectionChanged, l, [h, l] {
            if (l->quiet) return;
            Window* self = Find(h);
            if (self && (self->style & LBS_NOTIFY)) NotifyCommand(*self, LBN_SELCHANGE);
        });
        QObject::connect(l, &QListWidget::itemDoubleClicked, l, [h](QListWidgetItem*) {
            Window* self = Find(h);
            if (self && (self->style & LBS_NOTIFY)) NotifyCommand(*self, LBN_DBLCLK);
        });
        QObject::connect(l, &QListWidget::itemChanged, l, [h, l](QListWidgetItem*) {
            if (l->quiet || !l->checkable) return;
            if (Window* self = Find(h)) NotifyCommand(*self, CLBN_CHKCHANGE);
        });
        return l;
    }
    std::unique_ptr<CWnd> MakeObject() override { return std::make_unique<CListBox>(); }
    UINT CtlColorMessage(const Window&) const override { return WM_CTLCOLORLISTBOX; }
    static bool HasStrings(const Window& w) {
        return !(w.style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) || (w.style & LBS_HASSTRINGS);
    }
    static void MakeCheckable(ListWidget*, QListWidgetItem* item) {
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        if (item->data(Qt::CheckStateRole).isNull()) item->setCheckState(Qt::Unchecked);
    }
    int Insert(Window& w, ListWidget* l, int index, LPARAM lp, bool sorted) {
        const bool strings = HasStrings(w);
        const QString text = strings ? ToQt(FromBuffer(lp)) : QString();
        const qulonglong data = strings ? 0 : qulonglong(lp);
        const int count = l->count();
        if (sorted) {
            index = count;
            for (int i = 0; i < count; ++i) {
                const int cmp = strings ? CompareNoCase(l->item(i)->text(), text)
                                        : SendCompareItem(w, ODT_LISTBOX, i, ULONG_PTR(l->item(i)->data(Qt::UserRole).toULongLong()),
                                                          ULONG_PTR(data));
                if (cmp > 0) {
                    index = i;
                    break;
                }
            }
        } else if (index < 0 || index > count) {
            index = count;
        }
        Quiet q(l->quiet);
        auto* item = new QListWidgetItem(text);
        item->setData(Qt::UserRole, QVariant(data));
        l->insertItem(index, item);
        if (l->checkable) MakeCheckable(l, item);
        return index;
    }
    bool Proc(Window& w, UINT msg, WPARAM wp, LPARAM lp, LRESULT& r) override {
        auto* l = static_cast<ListWidget*>(w.widget.data());
        if (!l) return false;
        const auto textAt = [l](int i) { return l->item(i)->text(); };
        const auto valid = [l](int i) { return i >= 0 && i < l->count(); };
        const bool ownerDraw = w.style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE);
        const bool single = l->selectionMode() == QAbstractItemView::SingleSelection;
        switch (msg) {
        case LB_ADDSTRING:
            r = Insert(w, l, -1, lp, (w.style & LBS_SORT) != 0);
            return true;
        case LB_INSERTSTRING:
            r = Insert(w, l, int(INT_PTR(wp)), lp, false);
            return true;
        case LB_DELETESTRING: {
            const int i = int(wp);
            if (!valid(i)) {
                r = LB_ERR;
                return true;
            }
            const ULONG_PTR data = ULONG_PTR(l->item(i)->data(Qt::UserRole).toULongLong());
            {
                Quiet q(l->quiet);
                delete l->takeItem(i);
            }
            if (ownerDraw) SendDeleteItem(w, ODT_LISTBOX, i, data);
            r = l->count();
            return true;
        }
        case LB_RESETCONTENT: {
            std::vector<ULONG_PTR> data;
            for (int k = 0; k < l->count(); ++k) data.push_back(ULONG_PTR(l->item(k)->data(Qt::UserRole).toULongLong()));
            {
                Quiet q(l->quiet);
                l->clear();
            }
            if (ownerDraw)
                for (std::size_t k = 0; k < data.size(); ++k) SendDeleteItem(w, ODT_LISTBOX, int(k), data[k]);
            r = 0;
            return true;
        }
        case LB_GETCOUNT:
            r = l->count();
            return true;
        case LB_GETCURSEL:
            if (single) {
                const auto sel = l->selectedItems();
                r = sel.isEmpty() ? LB_ERR : l->row(sel.front());
            } else {
                r = l->currentRow();
            }
            return true;
        case LB_SETCURSEL: {
            const int i = int(INT_PTR(wp));
            Quiet q(l->quiet);
            if (!single) {
                r = LB_ERR;
                return true;
            }
            l->clearSelection();
            if (valid(i)) {
                l->setCurrentRow(i);
                l->item(i)->setSelected(true);
                r = i;
            } else {
                r = LB_ERR;
            }
            return true;
        }
        case LB_GETSEL:
            r = valid(int(wp)) ? (l->item(int(wp))->isSelected() ? 1 : 0) : LB_ERR;
            return true;
        case LB_SETSEL: {
            const int i = int(lp);
            Quiet q(l->quiet);
            if (single) {
                r = LB_ERR;
                return true;
            }
            if (i == -1) {
                for (int k = 0; k < l->count(); ++k) l->item(k)->setSelected(wp != 0);
            } else if (valid(i)) {
                l->item(i)->setSelected(wp != 0);
            } else {
                r = LB_ERR;
                return true;
            }
            r = 0;
            return true;
        }
        case LB_GETSELCOUNT:
            r = single ? LB_ERR : LRESULT(l->selectedItems().size());
            return true;
        case LB_GETSELITEMS: {
            auto* out = reinterpret_cast<int*>(lp);
            int n = 0;
            for (int k = 0; k < l->count() && n < int(wp); ++k)
                if (l->item(k)->isSelected()) {
                    if (out) out[n] = k;
                    ++n;
                }
            r = single ? LB_ERR : n;
            return true;
        }
        case LB_GETTEXT:
            r = valid(int(wp)) ? CopyOut(l->item(int(wp))->text(), lp) : LB_ERR;
            return true;
        case LB_GETTEXTLEN:
            r = valid(int(wp)) ? LRESULT(FromQt(l->item(int(wp))->text()).size()) : LB_ERR;
            return true;
        case LB_FINDSTRING:
        case LB_FINDSTRINGEXACT:
            r = FindIn(textAt, l->count(), int(INT_PTR(wp)), ToQt(FromBuffer(lp)), msg == LB_FINDSTRINGEXACT);
            return true;
        case LB_SELECTSTRING: {
            const int i = FindIn(textAt, l->count(), int(INT_PTR(wp)), ToQt(FromBuffer(lp)), false);
            if (i >= 0 && single) {
                Quiet q(l->quiet);
                l->clearSelection();
                l->setCurrentRow(i);
                l->item(i)->setSelected(true);
            }
            r = i;
            return true;
        }
        case LB_GETITEMDATA:
            r = valid(int(wp)) ? LRESULT(l->item(int(wp))->data(Qt::UserRole).toULongLong()) : LB_ERR;
            return true;
        case LB_SETITEMDATA:
            if (valid(int(wp))) {
                l->item(int(wp))->setData(Qt::UserRole, QVariant(qulonglong(lp)));
                r = 0;
            } else {
                r = LB_ERR;
            }
            return true;
        case LB_GETTOPINDEX: {
            const QModelIndex top = l->indexAt(QPoint(2, 2));
            r = top.isValid() ? top.row() : 0;
            return true;
        }
        case LB_SETHORIZONTALEXTENT:
            l->horizontalExtent = int(wp);
            return true;
        case LB_SETITEMHEIGHT:
            if (auto* d = dynamic_cast<OwnerDrawDelegate*>(l->itemDelegate())) d->itemHeight = int(lp);
            r = 0;
            return true;
        case LB_GETITEMHEIGHT:
            if (auto* d = dynamic_cast<OwnerDrawDelegate*>(l->itemDelegate()); d && d->itemHeight > 0) r = d->itemHeight;
            else r = QFontMetrics(l->font()).height() + 2;
            return true;
        case QV_LB_SETCHECKSTYLE: {
            Quiet q(l->quiet);
            l->checkable = true;
            for (int k = 0; k < l->count(); ++k) MakeCheckable(l, l->item(k));
            return true;
        }
        case QV_LB_SETCHECK:
            if (valid(int(wp))) {
                Quiet q(l->quiet);
                if (!l->checkable) Proc(w, QV_LB_SETCHECKSTYLE, 0, 0, r);
                l->item(int(wp))->setCheckState(lp == 1 ? Qt::Checked : lp == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
            }
            return true;
        case QV_LB_GETCHECK:
            r = valid(int(wp)) && l->checkable
                    ? (l->item(int(wp))->checkState() == Qt::Checked ? 1 : l->item(int(wp))->checkState() == Qt::PartiallyChecked ? 2 : 0)
                    : 0;
            return true;
        case QV_LB_ENABLE:
            if (valid(int(wp))) {
                Quiet q(l->quiet);
                if (!l->checkable) Proc(w, QV_LB_SETCHECKSTYLE, 0, 0, r);
                QListWidgetItem* item = l->item(int(wp));
                item->setFlags(lp ? (item->flags() | Qt::ItemIsEnabled) : (item->flags() & ~Qt::ItemIsEnabled));
            }
            return true;
        case QV_LB_ISENABLED:
            r = valid(int(wp)) && (l->item(int(wp))->flags() & Qt::ItemIsEnabled);
            return true;
        case WM_SETFOCUS:
            if (w.style & LBS_NOTIFY) NotifyCommand(w, LBN_SETFOCUS);
            return true;
        case WM_KILLFOCUS:
            if (w.style & LBS_NOTIFY) NotifyCommand(w, LBN_KILLFOCUS);
            return true;
        case WM_DESTROY:
            if (ownerDraw)
                for (int k = 0; k < l->count(); ++k)
                    SendDeleteItem(w, ODT_LISTBOX, k, ULONG_PTR(l->item(k)->data(Qt::UserRole).toULongLong()));
            return false;
        default:
            return false;
        }
    }
};

std::unique_ptr<WindowClass> MakeListBox() { return std::make_unique<ListBoxClass>(); }

// ==== Up-down control

class SpinWidget : public QWidget {
public:
    SpinWidget(QWidget* parent, bool horizontal) : QWidget(parent) {
        up = new QToolButton(this);
        down = new QToolButton(this);
        up->setArrowType(horizontal ? Qt::RightArrow : Qt::UpArrow);
        down->setArrowType(horizontal ? Qt::LeftArrow : Qt::DownArrow);
        for (QToolButton* b : {up, down}) {
            b->setAutoRepeat(true);
            b->setFocusPolicy(Qt::NoFocus);
        }
        horizontal_ = horizontal;
    }
    QToolButton* up;
    QToolButton* down;
    int lower = 100;  // the control's own default range runs from 100 down to 0
    int upper = 0;
    int pos = 0;
    HWND buddy = nullptr;

protected:
    void resizeEvent(QResizeEvent*) override {
        if (horizontal_) {
            down->setGeometry(0, 0, width() / 2, height());
            up->setGeometry(width() / 2, 0, width() - width() / 2, height());
        } else {
            up->setGeometry(0, 0, width(), height() / 2);
            down->setGeometry(0, height() / 2, width(), height() - height() / 2);
        }
    }

private:
    bool horizontal_ = false;
};

class SpinClass;
class BuddyKeys : public QObject {
public:
    BuddyKeys(HWND spin, QObject* owner) : QObject(owner), spin_(spin) {}
    bool eventFilter(QObject*, QEvent* e) override;

private:
    HWND spin_;
};

class SpinClass : public WindowClass {
public:
    QWidget* CreateWidget(Window& w, QWidget* parent) override {
        auto* s = new SpinWidget(parent, w.style & UDS_HORZ);
        const HWND h = w.handle;
        QObject::connect(s->up, &QToolButton::clicked, s, [h] { Step(h, +1); });
        QObject::connect(s->down, &QToolButton::clicked, s, [h] { Step(h, -1); });
        return s;
    }
    void OnCreated(Window& w) override {
        if (!(w.style & UDS_AUTOBUDDY) || !w.parent) return;
        const std::vector<HWND> siblings = ChildrenOf(w.parent);
        auto it = std::find(siblings.begin(), siblings.end(), w.handle);
        if (it != siblings.begin() && it != siblings.end()) SetBuddy(w, *(it - 1));
    }
    std::unique_ptr<CWnd> MakeObject() override { return std::make_unique<CSpinButtonCtrl>(); }

    static SpinWidget* Spin(Window& w) { return static_cast<SpinWidget*>(w.widget.data()); }

    static int Clamp(const SpinWidget* s, int v) {
        const int lo = std::min(s->lower, s->upper);
        const int hi = std::max(s->lower, s->upper);
        return std::clamp(v, lo, hi);
    }

    static void ShowInBuddy(Window& w) {
        SpinWidget* s = Spin(w);
        if (s && s->buddy && (w.style & UDS_SETBUDDYINT)) ::SetWindowTextW(s->buddy, std::to_wstring(s->pos).c_str());
    }

    // The position as the buddy shows it, when it shows the number.
    static bool ReadBuddy(Window& w) {
        SpinWidget* s = Spin(w);
        if (!s || !s->buddy || !(w.style & UDS_SETBUDDYINT)) return true;
        wchar_t buffer[64] = {};
        ::GetWindowTextW(s->buddy, buffer, 64);
        try {
            std::size_t used = 0;
            const std::wstring text(buffer);
            const int v = std::stoi(text, &used);
            if (used != text.size()) return false;
            s->pos = Clamp(s, v);
            return true;
        } catch (...) {
            return false;
        }
    }

    static void SetBuddy(Window& w, HWND buddy) {
        SpinWidget* s = Spin(w);
        if (!s) return;
        s->buddy = buddy;
        QWidget* b = WidgetOf(buddy);
        if (!b) return;
        if (w.style & (UDS_ALIGNRIGHT | UDS_ALIGNLEFT)) {
            // The arrows sit inside the buddy's rectangle, which gives up their width.
            const QRect r = b->geometry();
            const int width = std::max(12, w.widget->width());
            if (w.style & UDS_ALIGNRIGHT) {
                b->setGeometry(r.x(), r.y(), std::max(0, r.width() - width), r.height());
                w.widget->setGeometry(r.x() + std::max(0, r.width() - width), r.y(), width, r.height());
            } else {
                b->setGeometry(r.x() + width, r.y(), std::max(0, r.width() - width), r.height());
                w.widget->setGeometry(r.x(), r.y(), width, r.height());
            }
        }
        // The filter goes with the arrows; Qt drops a deleted filter from the buddy by itself.
        if (w.style & UDS_ARROWKEYS) b->installEventFilter(new BuddyKeys(w.handle, w.widget.data()));
        ShowInBuddy(w);
    }

    // One step by the user: the parent may refuse it (UDN_DELTAPOS), then it is told the position.
    static void Step(HWND h, int direction) {
        Window* w = Find(h);
        if (!w || !w->widget || !w->widget->isEnabled()) return;
        SpinWidget* s = Spin(*w);
        ReadBuddy(*w);
        const int delta = (s->lower <= s->upper) ? direction : -direction;
        NMUPDOWN nm;
        nm.iPos = s->pos;
        nm.iDelta = delta;
        if (NotifyParent(*w, nm.hdr, UDN_DELTAPOS) != 0) return;
        if (!(w = Find(h))) return;
        s = Spin(*w);
        int next = s->pos + nm.iDelta;
        const int lo = std::min(s->lower, s->upper);
        const int hi = std::max(s->lower, s->upper);
        if (next < lo || next > hi) next = (w->style & UDS_WRAP) ? (next < lo ? hi : lo) : std::clamp(next, lo, hi);
        if (next == s->pos) return;
        s->pos = next;
        ShowInBuddy(*w);
        Window* parent = Find(w->parent);
        if (!parent) return;
        const UINT msg = (w->style & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL;
        Dispatch(*parent, msg, MAKEWPARAM(WORD(SB_THUMBPOSITION), WORD(next)), reinterpret_cast<LPARAM>(h));
        if ((parent = Find(w->parent))) Dispatch(*parent, msg, MAKEWPARAM(WORD(SB_ENDSCROLL), WORD(next)), reinterpret_cast<LPARAM>(h));
    }

    bool Proc(Window& w, UINT msg, WPARAM wp, LPARAM lp, LRESULT& r) override {
        SpinWidget* s = Spin(w);
        if (!s) return false;
        switch (msg) {
        case UDM_SETRANGE:
            s->upper = SHORT(LOWORD(std::uintptr_t(lp)));
            s->lower = SHORT(HIWORD(std::uintptr_t(lp)));
            s->pos = Clamp(s, s->pos);
            return true;
        case UDM_GETRANGE:
            r = MAKELONG(WORD(s->upper), WORD(s->lower));
            return true;
        case UDM_SETRANGE32:
            s->lower = int(INT_PTR(wp));
            s->upper = int(lp);
            s->pos = Clamp(s, s->pos);
            return true;
        case UDM_GETRANGE32:
            if (wp) *reinterpret_cast<int*>(wp) = s->lower;
            if (lp) *reinterpret_cast<int*>(lp) = s->upper;
            return true;
        case UDM_SETPOS:
        case UDM_SETPOS32: {
            const int old = s->pos;
            s->pos = Clamp(s, msg == UDM_SETPOS ? int(SHORT(LOWORD(std::uintptr_t(lp)))) : int(lp));
            ShowInBuddy(w);
            r = old;
            return true;
        }
        case UDM_GETPOS: {
            const bool ok = ReadBuddy(w);
            r = MAKELONG(WORD(s->pos), WORD(ok ? 0 : 1));
            return true;
        }
        case UDM_GETPOS32: {
            const bool ok = ReadBuddy(w);
            if (lp) *reinterpret_cast<BOOL*>(lp) = ok ? FALSE : TRUE;
            r = s->pos;
            return true;
        }
        case UDM_SETBUDDY:
            r = reinterpret_cast<LRESULT>(s->buddy);
            SetBuddy(w, reinterpret_cast<HWND>(wp));
            return true;
        case UDM_GETBUDDY:
            r = reinterpret_cast<LRESULT>(s->buddy);
            return true;
        default:
            return false;
        }
    }
};

bool BuddyKeys::eventFilter(QObject*, QEvent* e) {
    if (e->type() != QEvent::KeyPress) return false;
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Up) SpinClass::Step(spin_, +1);
    else if (k->key() == Qt::Key_Down) SpinClass::Step(spin_, -1);
    else return false;
    return true;
}

std::unique_ptr<WindowClass> MakeSpin() { return std::make_unique<SpinClass>(); }

// ==== Progress bar

class ProgressClass : public WindowClass {
public:
    QWidget* CreateWidget(Window& w, QWidget* parent) override {
        auto* p = new QProgressBar(parent);
        p->setTextVisible(false);
        p->setOrientation((w.style & PBS_VERTICAL) ? Qt::Vertical : Qt::Horizontal);
        p->setRange(0, (w.style & PBS_MARQUEE) ? 0 : 100);
        p->setValue(0);
        return p;
    }
    std::unique_ptr<CWnd> MakeObject() override { return std::make_unique<CProgressCtrl>(); }
    bool Proc(Window& w, UINT msg, WPARAM wp, LPARAM lp, LRESULT& r) override {
        auto* p = static_cast<QProgressBar*>(w.widget.data());
        if (!p) return false;
        switch (msg) {
        case PBM_SETRANGE:
            r = MAKELONG(WORD(p->minimum()), WORD(p->maximum()));
            p->setRange(LOWORD(std::uintptr_t(lp)), HIWORD(std::uintptr_t(lp)));
            return true;
        case PBM_SETRANGE32:
            r = MAKELONG(WORD(p->minimum()), WORD(p->maximum()));
            p->setRange(int(INT_PTR(wp)), int(lp));
            return true;
        case PBM_GETRANGE:
            if (lp) reinterpret_cast<int*>(lp)[0] = p->minimum(), reinterpret_cast<int*>(lp)[1] = p->maximum();
            r = wp ? p->minimum() : p->maximum();
            return true;
        case PBM_SETPOS:
            r = p->value() < p->minimum() ? p->minimum() : p->value();
            p->setValue(std::clamp(int(INT_PTR(wp)), p->minimum(), p->maximum()));
            return true;
        case PBM_DELTAPOS:
            r = p->value();
            p->setValue(std::clamp(std::max(p->value(), p->minimum()) + int(INT_PTR(wp)), p->minimum(), p->maximum()));
            return true;
        case PBM_GETPOS:
            r = std::max(p->value(), p->minimum());
            return true;
        case PBM_SETSTEP:
            r = p->property("qvStep").isValid() ? p->property("qvStep").toInt() : 10;
            p->setProperty("qvStep", int(INT_PTR(wp)));
            return true;
        case PBM_STEPIT: {
            const int step = p->property("qvStep").isValid() ? p->property("qvStep").toInt() : 10;
            r = std::max(p->value(), p->minimum());
            int next = int(r) + step;
            if (next > p->maximum()) next = p->minimum() + (next - p->maximum());
            p->setValue(next);
            return true;
        }
        default:
            return false;
        }
    }
};

std::unique_ptr<WindowClass> MakeProgress() { return std::make_unique<ProgressClass>(); }

// ==== Scroll bar control

// The control keeps the range, page and position as its owner set them (the last position
// leaves a page: max - page + 1); the widget shows them. What the user does is only told: the
// owner moves the bar.
class BarWidget : public QScrollBar {
public:
    using QScrollBar::QScrollBar;
    int min = 0, max = 0, pos = 0;
    UINT page = 0;
    bool dragged = false;

    int Top() const { return std::max(min, max - std::max(0, int(page) - 1)); }
    void Show() {
        const QSignalBlocker block(this);
        pos = std::clamp(pos, min, Top());
        setRange(min, Top());
        setPageStep(std::max(1, int(page)));
        setValue(pos);
        setSliderPosition(pos);
    }
    void Tell(UINT code, int track) {
        const HWND h = HandleOf(this);
        Window* self = Find(h);
        Window* parent = self ? Find(self->parent) : nullptr;
        if (!parent) return;
        const UINT msg = (self->style & SBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
        Dispatch(*parent, msg, MAKEWPARAM(WORD(code), WORD(track)), reinterpret_cast<LPARAM>(h));
    }

protected:
    void mouseReleaseEvent(QMouseEvent* e) override {
        QScrollBar::mouseReleaseEvent(e);
        if (dragged) {
            dragged = false;
            Tell(SB_THUMBPOSITION, sliderPosition());
        }
        Tell(SB_ENDSCROLL, 0);
        Show();
    }
};

class ScrollBarClass : public WindowClass {
public:
    QWidget* CreateWidget(Window& w, QWidget* parent) override {
        auto* b = new BarWidget((w.style & SBS_VERT) ? Qt::Vertical : Qt::Horizontal, parent);
        b->Show();
        QObject::connect(b, &QAbstractSlider::actionTriggered, b, [b](int action) {
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
            const int track = b->sliderPosition();
            if (code == SB_THUMBTRACK) b->dragged = true;
            else b->setSliderPosition(b->pos);  // the owner moves it
            b->Tell(UINT(code), track);
        });
        return b;
    }
    std::unique_ptr<CWnd> MakeObject() override { return std::make_unique<CScrollBar>(); }
    bool Proc(Window& w, UINT msg, WPARAM wp, LPARAM lp, LRESULT& r) override {
        auto* b = dynamic_cast<BarWidget*>(w.widget.data());
        if (!b) return false;
        switch (msg) {
        case SBM_SETPOS:
            r = b->pos;
            b->pos = int(INT_PTR(wp));
            b->Show();
            return true;
        case SBM_GETPOS:
            r = b->pos;
            return true;
        case SBM_SETRANGE:
            r = b->pos;
            b->min = int(INT_PTR(wp));
            b->max = int(lp);
            b->Show();
            return true;
        case SBM_GETRANGE:
            if (wp) *reinterpret_cast<int*>(wp) = b->min;
            if (lp) *reinterpret_cast<int*>(lp) = b->max;
            return true;
        case SBM_SETSCROLLINFO: {
            const auto* si = reinterpret_cast<const SCROLLINFO*>(lp);
            if (!si) return true;
            if (si->fMask & SIF_RANGE) b->min = si->nMin, b->max = si->nMax;
            if (si->fMask & SIF_PAGE) b->page = std::min<UINT>(si->nPage, UINT(std::max(0, b->max - b->min + 1)));
            if (si->fMask & SIF_POS) b->pos = si->nPos;
            b->Show();
            r = b->pos;
            return true;
        }
        case SBM_GETSCROLLINFO: {
            auto* si = reinterpret_cast<SCROLLINFO*>(lp);
            if (!si) return true;
            if (si->fMask & SIF_RANGE) si->nMin = b->min, si->nMax = b->max;
            if (si->fMask & SIF_PAGE) si->nPage = b->page;
            if (si->fMask & SIF_POS) si->nPos = b->pos;
            if (si->fMask & SIF_TRACKPOS) si->nTrackPos = b->sliderPosition();
            r = TRUE;
            return true;
        }
        default:
            return false;
        }
    }
};

std::unique_ptr<WindowClass> MakeScrollBar() { return std::make_unique<ScrollBarClass>(); }

}  // namespace

void RegisterControlClasses() {
    RegisterWindowClass(L"Static", &MakeStatic);
    RegisterWindowClass(L"Button", &MakeButton);
    RegisterWindowClass(L"Edit", &MakeEdit);
    RegisterWindowClass(L"RichEdit20W", &MakeRichEdit);
    RegisterWindowClass(L"RICHEDIT50W", &MakeRichEdit);
    RegisterWindowClass(L"ComboBox", &MakeCombo);
    RegisterWindowClass(L"ComboLBox", &MakeComboList);
    RegisterWindowClass(L"ListBox", &MakeListBox);
    RegisterWindowClass(L"msctls_updown32", &MakeSpin);
    RegisterWindowClass(L"msctls_progress32", &MakeProgress);
    RegisterWindowClass(L"ScrollBar", &MakeScrollBar);
    RegisterListViewClass();
    RegisterDateTimeClass();
    RegisterTreeViewClass();
}

}  // namespace qv::ui::detail
