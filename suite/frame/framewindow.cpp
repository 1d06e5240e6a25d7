#include "framewindow.h"
#include "framesettingsdlg.h"
#include "framestartpage.h"
#include "qtinteraction.h"
#include "qtwidget.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

namespace {

QString Q(const CString& s) { return QString::fromStdWString(s.wstr()); }
CString C(const QString& s) { return CString(s.toStdWString()); }

constexpr int kRoleName = Qt::UserRole + 1;

// A popup or command of the frame's own, made through the menu interface as a server does it.
void AddFrameEntry(IQvFMenuPopup* pParent, LPCWSTR name, LPCWSTR caption, LPCWSTR prompt, long number,
                   BOOL groupStart = FALSE) {
    BSTR bstrName = SysAllocString(name);
    IQvFMenuItem* pItem = nullptr;
    if (SUCCEEDED(pParent->CreateItem(bstrName, &pItem)) && pItem) {
        BSTR bstrCaption = SysAllocString(caption);
        BSTR bstrPrompt = SysAllocString(prompt);
        pItem->put_Caption(bstrCaption);
        pItem->put_Prompt(bstrPrompt);
        pItem->put_Number(number);
        pItem->put_GroupStart(groupStart);
        SysFreeString(bstrCaption);
        SysFreeString(bstrPrompt);
        pItem->Release();
    }
    SysFreeString(bstrName);
}

IQvFMenuPopup* AddFramePopup(IQvFMenuPopup* pParent, LPCWSTR name, LPCWSTR caption, long position) {
    BSTR bstrName = SysAllocString(name);
    IQvFMenuPopup* pPopup = nullptr;
    if (SUCCEEDED(pParent->CreatePopup(bstrName, &pPopup)) && pPopup) {
        BSTR bstrCaption = SysAllocString(caption);
        pPopup->put_Caption(bstrCaption);
        pPopup->put_Position(position);
        SysFreeString(bstrCaption);
    }
    SysFreeString(bstrName);
    return pPopup;
}

// The virtual-key code of a key the frame's accelerators may use; 0 for others.
long VirtualKey(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return VK_F1 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Escape: return VK_ESCAPE;
    default: return 0;
    }
}

}  // namespace

CQvFrameWindow::CQvFrameWindow(CQvFrameHost* pHost, const QvFrameSettings& settings)
    : m_pHost(pHost), m_settings(settings) {
    setWindowTitle(QString::fromUtf8("Qovaro – Kursadministration"));
    setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
    resize(1180, 760);

    // The tool bar: the navigation history and the start page.
    QToolBar* tools = addToolBar(QString::fromUtf8("Navigation"));
    tools->setMovable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_pBack = tools->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QString::fromUtf8("Zurück"));
    m_pForward = tools->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QString::fromUtf8("Vorwärts"));
    QAction* home = tools->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), QString::fromUtf8("Startseite"));
    tools->addSeparator();
    QAction* settingsAction =
        tools->addAction(style()->standardIcon(QStyle::SP_FileDialogListView), QString::fromUtf8("Einstellungen"));
    connect(m_pBack, &QAction::triggered, this, [this] { Navigate(-1); });
    connect(m_pForward, &QAction::triggered, this, [this] { Navigate(+1); });
    connect(home, &QAction::triggered, this, [this] { ShowView(CString()); });
    connect(settingsAction, &QAction::triggered, this, [this] { ShowSettings(); });

    auto* splitter = new QSplitter(this);
    m_pViewbar = new QTreeWidget(splitter);
    m_pViewbar->setHeaderHidden(true);
    m_pViewbar->setIconSize(QSize(24, 24));
    m_pViewbar->setMinimumWidth(200);
    m_pViewbar->setMaximumWidth(320);
    connect(m_pViewbar, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { OnViewbarItem(item); });
    connect(m_pViewbar, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { OnViewbarItem(item); });

    m_pStack = new QStackedWidget(splitter);
    m_pStart = new CQvFrameStartPage(m_pHost, m_settings, m_pStack);
    m_pStack->addWidget(m_pStart);
    // The pane the module views are children of: a window of the window layer inside ours.
    m_pane.CreateEx(0, AfxRegisterWndClass(0), L"", 0, 0, 0, 800, 600, nullptr, nullptr);
    if (QWidget* paneWidget = qv::ui::WidgetOf(m_pane.GetSafeHwnd())) {
        m_pStack->addWidget(paneWidget);
        paneWidget->installEventFilter(this);
    }
    splitter->addWidget(m_pViewbar);
    splitter->addWidget(m_pStack);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({230, 950});
    setCentralWidget(splitter);

    m_pStatusUser = new QLabel(this);
    m_pStatusUser->setText(QString::fromUtf8("Benutzer: %1   Datenbank: %2   %3")
                               .arg(m_settings.user.isEmpty() ? QString::fromUtf8("–") : m_settings.user,
                                    m_settings.database,
                                    m_settings.central ? QString::fromUtf8("Zentrale Installation")
                                                       : QString::fromUtf8("Lokale Installation")));
    statusBar()->addPermanentWidget(m_pStatusUser);
    statusBar()->showMessage(QString::fromUtf8("Bereit"));

    m_pHost->Menu().SetApplyHandler([this] {
        // Servers apply several changes in a row: the menu bar is built once they are done.
        if (m_bRebuildPending) return;
        m_bRebuildPending = true;
        QTimer::singleShot(0, this, [this] {
            m_bRebuildPending = false;
            RebuildMenuBar();
        });
    });
    m_pHost->m_onViewsChanged = [this] { QTimer::singleShot(0, this, [this] { Refresh(); }); };
    m_pHost->m_onStatusText = [this](const CString& text) { statusBar()->showMessage(Q(text)); };
    m_pHost->m_onActivateRequest = [this](const CString& progId) { ShowView(progId); };
    m_pHost->m_onNavigateRequest = [this](long direction) { Navigate(direction); };

    CreateFrameMenu();
    RebuildMenuBar();
    RebuildViewbar();
    m_pHost->RecordHistory(FRAME_CMD_START);
    UpdateNavigation();
    // The views opened before the window existed are made and started in its pane now.
    m_pHost->SetViewPane(m_pane.GetSafeHwnd());
}

CQvFrameWindow::~CQvFrameWindow() {
    m_pHost->Menu().SetApplyHandler(nullptr);
    m_pHost->m_onViewsChanged = nullptr;
    m_pHost->m_onStatusText = nullptr;
    m_pHost->m_onActivateRequest = nullptr;
    m_pHost->m_onNavigateRequest = nullptr;
    m_pHost->SetViewPane(nullptr);
    if (QWidget* paneWidget = qv::ui::WidgetOf(m_pane.GetSafeHwnd())) {
        paneWidget->removeEventFilter(this);
        m_pStack->removeWidget(paneWidget);
        paneWidget->setParent(nullptr);
    }
    if (m_pane.GetSafeHwnd()) m_pane.DestroyWindow();
}

void CQvFrameWindow::CreateFrameMenu() {
    IQvFMenu& menu = m_pHost->Menu().Root();
    if (IQvFMenuPopup* file = AddFramePopup(&menu, FRAME_MENU_FILE, L"&Datei", 0)) {
        AddFrameEntry(file, FRAME_CMD_SETTINGS, L"&Einstellungen…", L"Die Einstellungen der Module bearbeiten", 1);
        AddFrameEntry(file, FRAME_CMD_EXIT, L"&Beenden", L"Alle Module schliessen und das Programm beenden", 9, TRUE);
        file->Release();
    }
    if (IQvFMenuPopup* view = AddFramePopup(&menu, FRAME_MENU_VIEW, L"&Ansicht", 1)) {
        AddFrameEntry(view, FRAME_CMD_BACK, L"&Zurück", L"Zur vorherigen Ansicht", 1);
        AddFrameEntry(view, FRAME_CMD_FORWARD, L"&Vorwärts", L"Zur nächsten Ansicht", 2);
        AddFrameEntry(view, FRAME_CMD_START, L"&Startseite", L"Die Startseite zeigen", 3, TRUE);
        view->Release();
    }
    if (IQvFMenuPopup* help = AddFramePopup(&menu, FRAME_MENU_HELP, L"&Hilfe", 99)) {
        AddFrameEntry(help, FRAME_CMD_ABOUT, L"&Über die Kursadministration…", L"Version und Installation", 1);
        help->Release();
    }
}

void CQvFrameWindow::RebuildMenuBar() {
    QMenuBar* bar = menuBar();
    bar->clear();
    std::function<void(QMenu*, CQvFrameMenuPopup&)> fill = [&](QMenu* target, CQvFrameMenuPopup& popup) {
        bool first = true;
        for (CQvFrameMenuNode* node : popup.Children()) {
            if (node->m_bGroupStart && !first) target->addSeparator();
            first = false;
            if (node->IsPopup()) {
                QMenu* sub = target->addMenu(Q(node->m_strCaption));
                sub->setEnabled(node->m_bEnabled);
                fill(sub, *static_cast<CQvFrameMenuPopup*>(node));
            } else {
                auto* item = static_cast<CQvFrameMenuItem*>(node);
                QAction* action = target->addAction(Q(item->m_strCaption));
                action->setEnabled(item->m_bEnabled);
                action->setStatusTip(Q(item->m_strPrompt));
                if (item->m_bChecked) {
                    action->setCheckable(true);
                    action->setChecked(true);
                }
                const QString name = Q(item->m_strName);
                connect(action, &QAction::triggered, this, [this, name] { OnCommand(name); });
                connect(action, &QAction::hovered, this, [this, name] { m_pHost->FireMenuNotify(C(name)); });
            }
        }
    };
    for (CQvFrameMenuNode* node : m_pHost->Menu().Root().Children()) {
        if (node->IsPopup()) {
            QMenu* menu = bar->addMenu(Q(node->m_strCaption));
            menu->setEnabled(node->m_bEnabled);
            fill(menu, *static_cast<CQvFrameMenuPopup*>(node));
        } else {
            auto* item = static_cast<CQvFrameMenuItem*>(node);
            QAction* action = bar->addAction(Q(item->m_strCaption));
            action->setEnabled(item->m_bEnabled);
            const QString name = Q(item->m_strName);
            connect(action, &QAction::triggered, this, [this, name] { OnCommand(name); });
        }
    }
}

void CQvFrameWindow::RebuildViewbar() {
    m_pViewbar->clear();
    auto* frameGroup = new QTreeWidgetItem(m_pViewbar, {QString::fromUtf8("Übersicht")});
    frameGroup->setFlags(Qt::ItemIsEnabled);
    auto* start = new QTreeWidgetItem(frameGroup, {QString::fromUtf8("Startseite")});
    start->setIcon(0, style()->standardIcon(QStyle::SP_DirHomeIcon));
    start->setData(0, kRoleName, QString());
    if (m_strActive.IsEmpty()) start->setSelected(true);

    std::map<QString, QTreeWidgetItem*> groups;
    for (const auto& v : m_pHost->Views()) {
        const QString group = v->strGroup.IsEmpty() ? QString::fromUtf8("Module") : Q(v->strGroup);
        QTreeWidgetItem*& parent = groups[group];
        if (!parent) {
            parent = new QTreeWidgetItem(m_pViewbar, {group});
            parent->setFlags(Qt::ItemIsEnabled);
        }
        auto* item = new QTreeWidgetItem(parent, {Q(v->strCaption)});
        item->setData(0, kRoleName, Q(v->strProgID));
        const bool access = !v->pItem || v->pItem->m_bAccess;
        const bool enabled = !v->pItem || v->pItem->m_bEnabled;
        item->setIcon(0, style()->standardIcon(access ? QStyle::SP_FileDialogDetailedView
                                                      : QStyle::SP_MessageBoxCritical));
        if (!access) item->setToolTip(0, QString::fromUtf8("Kein Zugriff"));
        if (!enabled) item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
        if (v->strProgID.CompareNoCase(m_strActive) == 0) item->setSelected(true);
    }
    m_pViewbar->expandAll();
}

void CQvFrameWindow::GrabWhenDrawn(int limitMs, std::function<void(const QPixmap&)> done) {
    const auto held = [this] {
        const QList<QWidget*> parts = findChildren<QWidget*>();
        return std::any_of(parts.begin(), parts.end(), [](QWidget* w) { return w->isVisible() && !w->updatesEnabled(); });
    };
    auto* poll = new QTimer(this);
    poll->setInterval(20);
    const qint64 until = QDateTime::currentMSecsSinceEpoch() + limitMs;
    QObject::connect(poll, &QTimer::timeout, this, [this, poll, held, until, done = std::move(done)] {
        if (held() && QDateTime::currentMSecsSinceEpoch() < until) return;
        poll->stop();
        poll->deleteLater();
        done(grab());
    });
    poll->start();
}

void CQvFrameWindow::Refresh() {
    RebuildViewbar();
    m_pStart->Refresh();
    UpdateNavigation();
}

void CQvFrameWindow::UpdateNavigation() {
    const bool back = m_pHost->CanNavigate(-1);
    const bool forward = m_pHost->CanNavigate(+1);
    m_pBack->setEnabled(back);
    m_pForward->setEnabled(forward);
    CQvFrameMenu& menu = m_pHost->Menu();
    bool changed = false;
    for (auto [name, enabled] : {std::pair<LPCWSTR, bool>{FRAME_CMD_BACK, back}, {FRAME_CMD_FORWARD, forward}}) {
        if (CQvFrameMenuNode* node = menu.Find(name); node && bool(node->m_bEnabled) != enabled) {
            node->m_bEnabled = enabled;
            changed = true;
        }
    }
    if (changed) menu.Apply();
}

RECT CQvFrameWindow::PaneRect() const {
    RECT rc{};
    if (m_pane.GetSafeHwnd()) m_pane.GetClientRect(&rc);
    return rc;
}

void CQvFrameWindow::ShowView(const CString& strProgID) {
    if (strProgID.IsEmpty() || strProgID.CompareNoCase(FRAME_CMD_START) == 0) {
        m_pHost->HideViews();
        m_pStack->setCurrentWidget(m_pStart);
        m_strActive.Empty();
        m_pHost->RecordHistory(FRAME_CMD_START);
        setWindowTitle(QString::fromUtf8("Qovaro – Kursadministration"));
    } else if (QvFrameView* pView = m_pHost->FindView(strProgID)) {
        if (QWidget* paneWidget = qv::ui::WidgetOf(m_pane.GetSafeHwnd())) m_pStack->setCurrentWidget(paneWidget);
        m_strActive = strProgID;
        if (FAILED(m_pHost->ActivateView(strProgID, m_pane.GetSafeHwnd(), PaneRect())))
            statusBar()->showMessage(QString::fromUtf8("Die Ansicht %1 kann nicht gezeigt werden.").arg(Q(pView->strCaption)));
        setWindowTitle(QString::fromUtf8("Qovaro – %1").arg(Q(pView->strCaption)));
    }
    Refresh();
}

void CQvFrameWindow::Navigate(long lDirection) {
    const CString strEntry = m_pHost->Navigate(lDirection);
    if (!strEntry.IsEmpty()) ShowView(strEntry);
}

void CQvFrameWindow::OnViewbarItem(QTreeWidgetItem* item) {
    if (!item || !item->parent()) return;
    ShowView(C(item->data(0, kRoleName).toString()));
}

void CQvFrameWindow::OnCommand(const QString& name) {
    const CString strName = C(name);
    if (strName.CompareNoCase(FRAME_CMD_EXIT) == 0) {
        close();
    } else if (strName.CompareNoCase(FRAME_CMD_SETTINGS) == 0) {
        ShowSettings();
    } else if (strName.CompareNoCase(FRAME_CMD_BACK) == 0) {
        Navigate(-1);
    } else if (strName.CompareNoCase(FRAME_CMD_FORWARD) == 0) {
        Navigate(+1);
    } else if (strName.CompareNoCase(FRAME_CMD_START) == 0) {
        ShowView(CString());
    } else if (strName.CompareNoCase(FRAME_CMD_ABOUT) == 0) {
        ShowAbout();
    } else {
        m_pHost->FireMenuCommand(strName);
    }
}

void CQvFrameWindow::ShowSettings() {
    CQvFrameSettingsDlg dialog(m_pHost, this);
    dialog.exec();
}

void CQvFrameWindow::ShowAbout() {
    QMessageBox::about(this, QString::fromUtf8("Über die Kursadministration"),
                       QString::fromUtf8("<h3>Kursadministration</h3><p>Kurse und Anmeldungen der Feuerwehren.</p>"
                                         "<p>Datenbank: %1<br>%2</p>")
                           .arg(m_settings.database.toHtmlEscaped(),
                                m_settings.central ? QString::fromUtf8("Zentrale Installation")
                                                   : QString::fromUtf8("Lokale Installation")));
}

void CQvFrameWindow::closeEvent(QCloseEvent* event) {
    // A close asked for while a view asks its question waits for that answer.
    if (m_bClosing) {
        event->ignore();
        return;
    }
    // Given while a box is up or while the program was busy behind one (a page that loads and
    // reports), the quit is not lost: it is acted on when that turn has ended.
    if (!m_bClosed && qv::ui::IsInNestedTurn()) {
        KeepQuit();
        event->ignore();
        return;
    }
    if (!m_bClosed) {
        // The views close over the window still shown, each asking about its open edit; a view
        // whose save the user asked for was refused stays with what was typed, and so does the
        // program.
        m_bClosing = true;
        const bool bClosed = m_pHost->CloseViews();
        m_bClosing = false;
        if (!bClosed) {
            event->ignore();
            return;
        }
        m_bClosed = true;
        // The window goes at once, before the close waits (a few seconds at most) for what the
        // views left running; nothing of it is drawn or answered any more.
        hide();
        m_pHost->CloseAll();
    }
    event->accept();
}

void CQvFrameWindow::KeepQuit() {
    if (m_bQuitKept) return;
    m_bQuitKept = true;
    auto* tick = new QTimer(this);
    QObject::connect(tick, &QTimer::timeout, this, [this, tick] {
        // Only from the program's own loop, with nothing asked or reported any more.
        if (m_bClosing || qv::ui::IsInNestedTurn() || QThread::currentThread()->loopLevel() > 1) return;
        tick->stop();
        tick->deleteLater();
        m_bQuitKept = false;
        close();
    });
    tick->start(100);
}

void CQvFrameWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    m_pHost->MoveViews(PaneRect());
}

bool CQvFrameWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == qv::ui::WidgetOf(m_pane.GetSafeHwnd()))
        m_pHost->MoveViews(PaneRect());
    return QMainWindow::eventFilter(watched, event);
}

void CQvFrameWindow::keyPressEvent(QKeyEvent* event) {
    long lModifiers = 0;
    if (event->modifiers() & Qt::ControlModifier) lModifiers |= FCONTROL;
    if (event->modifiers() & Qt::ShiftModifier) lModifiers |= FSHIFT;
    if (event->modifiers() & Qt::AltModifier) lModifiers |= FALT;
    const long lKey = VirtualKey(event->key());
    const CString strName = lKey ? m_pHost->FindAccel(lKey, lModifiers) : CString();
    if (!strName.IsEmpty()) {
        m_pHost->FireAccelCommand(strName);
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}
