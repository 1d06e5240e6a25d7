#include "qtinteraction.h"
#include "uiimpl_p.h"
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <vector>

using namespace qv::ui::detail;

namespace qv::ui {
namespace {

// The active window may be one whose window was just destroyed and that waits to be deleted:
// such a window is hidden and owns nothing any more.
QWidget* ActiveOwner() {
    QWidget* active = QApplication::activeWindow();
    return active && active->isVisible() ? active : nullptr;
}

QWidget* OwnerWidget(HWND owner) {
    if (QWidget* w = WidgetOf(owner)) return w->window();
    return ActiveOwner();
}

QString Title(const std::wstring& caption) {
    return caption.empty() ? ToQt(AfxGetAppName()) : ToQt(caption);
}

QMessageBox::Icon IconOf(UINT type) {
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONASTERISK: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

// The German button texts of the desktop, with the answers they give.
struct ButtonSpec {
    int answer;
    const char* text;
    QMessageBox::ButtonRole role;
};

std::vector<ButtonSpec> ButtonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{IDOK, "OK", QMessageBox::AcceptRole}, {IDCANCEL, "Abbrechen", QMessageBox::RejectRole}};
    case MB_ABORTRETRYIGNORE:
        return {{IDABORT, "&Abbrechen", QMessageBox::RejectRole},
                {IDRETRY, "&Wiederholen", QMessageBox::AcceptRole},
                {IDIGNORE, "&Ignorieren", QMessageBox::AcceptRole}};
    case MB_YESNOCANCEL:
        return {{IDYES, "&Ja", QMessageBox::YesRole}, {IDNO, "&Nein", QMessageBox::NoRole},
                {IDCANCEL, "Abbrechen", QMessageBox::RejectRole}};
    case MB_YESNO: return {{IDYES, "&Ja", QMessageBox::YesRole}, {IDNO, "&Nein", QMessageBox::NoRole}};
    case MB_RETRYCANCEL:
        return {{IDRETRY, "&Wiederholen", QMessageBox::AcceptRole}, {IDCANCEL, "Abbrechen", QMessageBox::RejectRole}};
    default: return {{IDOK, "OK", QMessageBox::AcceptRole}};
    }
}

// A box without a button that cancels (Yes/No, Abort/Retry/Ignore) must be answered by one of its
// buttons: it has no close button and takes neither Escape nor a close of its window. Boxes with
// Cancel, and those with OK alone, take them as that button.
class AnswerBox : public QMessageBox {
public:
    AnswerBox(QWidget* owner, bool cancels) : QMessageBox(owner), cancels_(cancels) {
        if (!cancels_)
            setWindowFlags((windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint) & ~Qt::WindowCloseButtonHint);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!cancels_ && event->matches(QKeySequence::Cancel)) {
            event->accept();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        if (!cancels_) {
            event->ignore();
            return;
        }
        QMessageBox::closeEvent(event);
    }

private:
    bool cancels_;
};

int RunBox(QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text, UINT type,
           const QString& details = QString()) {
    const auto specs = ButtonsOf(type);
    const bool cancels =
        specs.size() == 1 || std::any_of(specs.begin(), specs.end(), [](const ButtonSpec& s) { return s.answer == IDCANCEL; });
    // On the heap: the owner may be deleted while the box runs, and takes the box with it.
    QPointer<QMessageBox> box = new AnswerBox(owner, cancels);
    box->setIcon(icon);
    box->setWindowTitle(title);
    box->setText(text);
    if (!details.isEmpty()) box->setInformativeText(details);
    std::vector<std::pair<QAbstractButton*, int>> answers;
    for (const ButtonSpec& s : specs) answers.emplace_back(box->addButton(QString::fromUtf8(s.text), s.role), s.answer);
    const int def = qv::DefaultAnswer(type);
    const int esc = qv::CancelAnswer(type);
    for (auto& [b, a] : answers) {
        if (a == def) box->setDefaultButton(static_cast<QPushButton*>(b));
        if (a == esc && cancels) box->setEscapeButton(b);
    }
    box->exec();
    if (!box) return esc;
    int answer = esc;
    for (auto& [b, a] : answers)
        if (box->clickedButton() == b) answer = a;
    delete box;
    return answer;
}

// Input that came while the GUI thread was busy (a statement waiting for the server) reaches the
// menus before a box blocks the windows, so that a command given meanwhile from a menu (the quit)
// is not lost; to every other window it is dropped, as the box would drop it.
bool g_deliveringHeld = false;

class MenuInputOnly : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu: break;
        default: return false;
        }
        for (QObject* o = watched; o; o = o->parent())
            if (qobject_cast<QMenu*>(o) || qobject_cast<QMenuBar*>(o)) return false;
        return watched->isWidgetType() || event->type() == QEvent::Shortcut;
    }
};

void DeliverHeldInputToMenus() {
    if (g_deliveringHeld || QThread::currentThread() != qApp->thread()) return;
    g_deliveringHeld = true;
    MenuInputOnly filter;
    qApp->installEventFilter(&filter);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    qApp->removeEventFilter(&filter);
    g_deliveringHeld = false;
}

class WaitWidget;

// Boxes and modal dialogs up now, one inside the other, and the wait windows that are open. A wait
// window never covers a box shown after it opened: it is hidden while such a box is up and comes
// back when the box has gone (its work goes on). A wait window opened inside a box or dialog (the
// dialog's own long work) stands above that one. GUI thread only.
int g_boxDepth = 0;
std::vector<WaitWidget*> g_waits;

class WaitWidget : public QWidget {
public:
    explicit WaitWidget(QWidget* owner) : QWidget(owner, Qt::Dialog | Qt::FramelessWindowHint) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        auto* layout = new QVBoxLayout(this);
        text = new QLabel(this);
        text->setWordWrap(true);
        text->setMinimumWidth(280);
        bar = new QProgressBar(this);
        bar->setTextVisible(false);
        elapsed = new QLabel(this);
        cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
        layout->addWidget(text);
        layout->addWidget(bar);
        layout->addWidget(elapsed);
        layout->addWidget(cancel, 0, Qt::AlignRight);
        setAutoFillBackground(true);
    }
    ~WaitWidget() override {
        // Deleted together with its owner, it must not be reached through the waiting state any more.
        if (state && state->backend == this) state->backend = nullptr;
        g_waits.erase(std::remove(g_waits.begin(), g_waits.end(), this), g_waits.end());
    }
    int boxDepth = 0;  // the boxes that were up when it opened
    QLabel* text;
    QProgressBar* bar;
    QLabel* elapsed;
    QPushButton* cancel;
    QElapsedTimer clock;
    qv::WaitWindow* state = nullptr;
};

// While a box is up the wait windows opened before it are hidden.
class BoxScope {
public:
    BoxScope() {
        ++g_boxDepth;
        for (WaitWidget* w : g_waits)
            if (w->boxDepth < g_boxDepth && w->isVisible()) w->hide();
    }
    ~BoxScope();
    BoxScope(const BoxScope&) = delete;
    BoxScope& operator=(const BoxScope&) = delete;
};

class QtBackend : public qv::IInteraction {
public:
    int ShowMessageBox(const qv::MessageBoxRequest& r) override {
        int answer = qv::DefaultAnswer(r.type);
        RunOnGuiThread([&] {
            if (!EnsureApplication()) return;
            DeliverHeldInputToMenus();
            BoxScope box;
            answer = RunBox(OwnerWidget(r.owner), IconOf(r.type), Title(r.caption), ToQt(r.text), r.type);
        });
        return answer;
    }
    void ShowReport(const qv::ReportRequest& r) override {
        RunOnGuiThread([&] {
            if (!EnsureApplication()) return;
            const QMessageBox::Icon icon = (r.kind < 0 || r.kind == 1) ? QMessageBox::Critical : QMessageBox::Warning;
            QString details = ToQt(r.caption);
            if (!r.file.empty()) details += QStringLiteral(" (%1:%2)").arg(ToQt(r.file)).arg(r.line);
            DeliverHeldInputToMenus();
            BoxScope box;
            RunBox(ActiveOwner(), icon, ToQt(AfxGetAppName()), ToQt(r.text), MB_OK, details);
        });
    }
    int ShowSelection(const qv::SelectionRequest& r) override {
        int answer = 0;
        RunOnGuiThread([&] {
            if (!EnsureApplication()) return;
            BoxScope box;
            QPointer<QDialog> dialog = new QDialog(ActiveOwner());
            QDialog& d = *dialog;
            d.setWindowTitle(ToQt(r.title));
            auto* layout = new QVBoxLayout(&d);
            auto* statement = new QLabel(ToQt(r.statement), &d);
            statement->setWordWrap(true);
            auto* one = new QRadioButton(ToQt(r.choice1), &d);
            auto* two = new QRadioButton(ToQt(r.choice2), &d);
            one->setChecked(true);
            layout->addWidget(statement);
            layout->addWidget(one);
            layout->addWidget(two);
            if (!r.note.empty()) {
                auto* note = new QLabel(ToQt(r.note), &d);
                note->setWordWrap(true);
                QFont f = note->font();
                f.setItalic(true);
                note->setFont(f);
                layout->addWidget(note);
            }
            auto* buttons = new QDialogButtonBox(&d);
            buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
            buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
            QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
            QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
            layout->addWidget(buttons);
            const int result = d.exec();
            if (!dialog) return;
            if (result == QDialog::Accepted) answer = one->isChecked() ? 1 : 2;
            delete dialog;
        });
        return answer;
    }
    void OpenWait(qv::WaitWindow& wait) override {
        RunOnGuiThread([&] {
            if (!EnsureApplication()) return;
            QWidget* owner = wait.parent ? OwnerWidget(wait.parent->m_hWnd) : ActiveOwner();
            auto* w = new WaitWidget(owner);
            w->state = &wait;
            w->boxDepth = g_boxDepth;
            g_waits.push_back(w);
            w->clock.start();
            QObject::connect(w->cancel, &QPushButton::clicked, w, [w] {
                if (w->state) w->state->cancelled = true;
            });
            auto* tick = new QTimer(w);
            QObject::connect(tick, &QTimer::timeout, w, [w] { Refresh(w); });
            tick->start(std::max<int>(100, int(w->state->interval) * 100));
            wait.backend = w;
            Refresh(w);
            if (wait.delay <= 0) Show(w);
            else QTimer::singleShot(int(wait.delay), w, [w] { Show(w); });
        });
    }
    void UpdateWait(qv::WaitWindow& wait) override {
        RunOnGuiThread([&] {
            auto* w = static_cast<WaitWidget*>(wait.backend);
            if (!w) return;
            Refresh(w);
            // Long work on this thread keeps the timers from running: show the window here.
            if (w->clock.elapsed() >= wait.delay) Show(w);
            if (w->isVisible()) w->repaint();
        });
    }
    void CloseWait(qv::WaitWindow& wait) override {
        RunOnGuiThread([&] {
            auto* w = static_cast<WaitWidget*>(wait.backend);
            wait.backend = nullptr;
            if (!w) return;
            w->state = nullptr;
            w->hide();
            w->deleteLater();
        });
    }
    INT_PTR RunModal(qv::IModalDialog& dialog) override {
        // A modal dialog is a box too: the waits opened before it give way while it runs.
        std::optional<BoxScope> box;
        if (QThread::currentThread() == qApp->thread()) box.emplace();
        return dialog.RunModalLoop();
    }

    // Shows a wait window whose time has come, unless a box opened after it is up.
    static void Show(WaitWidget* w) {
        if (!w->state || w->isVisible() || w->boxDepth < g_boxDepth) return;
        if (QWidget* owner = w->parentWidget()) {
            QRect r(QPoint(), w->sizeHint());
            r.moveCenter(owner->window()->geometry().center());
            w->move(r.topLeft());
        }
        w->show();
        w->raise();
    }

private:
    static void Refresh(WaitWidget* w) {
        const qv::WaitWindow* s = w->state;
        if (!s) return;
        w->text->setText(ToQt(s->description));
        w->cancel->setVisible(s->showCancel && !s->finished);
        w->elapsed->setVisible(s->showTimer);
        const qint64 seconds = w->clock.elapsed() / 1000;
        w->elapsed->setText(QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0')));
        if (s->finished) w->bar->setRange(0, 1), w->bar->setValue(1);
        else if (s->range < 0) w->bar->setRange(0, 0);
        else w->bar->setRange(0, int(s->range));
        w->adjustSize();
    }
};

BoxScope::~BoxScope() {
    --g_boxDepth;
    // The work goes on: its wait windows whose time has come are shown again.
    const std::vector<WaitWidget*> waits = g_waits;
    for (WaitWidget* w : waits)
        if (w->state && w->boxDepth == g_boxDepth && w->clock.elapsed() >= w->state->delay) QtBackend::Show(w);
}

}  // namespace

qv::IInteraction& QtInteraction() {
    static QtBackend* backend = new QtBackend;
    return *backend;
}

qv::IInteraction* InstallQtInteraction() { return qv::SetInteraction(&QtInteraction()); }

bool IsInNestedTurn() { return g_deliveringHeld || g_boxDepth > 0 || QApplication::activeModalWidget() != nullptr; }

}  // namespace qv::ui
