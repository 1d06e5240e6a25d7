#pragma once
// The host frame's main window: the merged menu bar, a tool bar with the navigation history, the
// view bar (the views by group, with the frame's start page first), the view area with the pane
// the module views live in, and a status bar with the user, the database and the installation.
#include "framehost.h"
#include "wnd.h"

#include <QMainWindow>
#include <QPixmap>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;
class CQvFrameStartPage;

// What the frame was started with, shown to the user.
struct QvFrameSettings {
    QString database;
    QString user;
    bool central = false;
    bool readOnly = false;  // the database opened read-only
};

class CQvFrameWindow : public QMainWindow {
public:
    CQvFrameWindow(CQvFrameHost* pHost, const QvFrameSettings& settings);
    ~CQvFrameWindow() override;

    // Shows a module view (opened by the host already), or the start page for an empty ProgID.
    void ShowView(const CString& strProgID);
    // The pane the module views are children of.
    HWND Pane() const { return m_pane.GetSafeHwnd(); }
    // Lets the start page show the frame's servers and views as they are now.
    void Refresh();
    // The window as drawn, handed over once none of its shown parts holds its drawing (a list
    // filling in slices does, and would come out black), or after limitMs at the latest.
    void GrabWhenDrawn(int limitMs, std::function<void(const QPixmap&)> done);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateFrameMenu();
    void RebuildMenuBar();
    void RebuildViewbar();
    void UpdateNavigation();
    void OnCommand(const QString& name);
    void OnViewbarItem(QTreeWidgetItem* item);
    void Navigate(long lDirection);
    void ShowSettings();
    void ShowAbout();
    RECT PaneRect() const;

    CQvFrameHost* m_pHost;
    QvFrameSettings m_settings;
    CWnd m_pane;
    QStackedWidget* m_pStack = nullptr;
    CQvFrameStartPage* m_pStart = nullptr;
    QTreeWidget* m_pViewbar = nullptr;
    QLabel* m_pStatusUser = nullptr;
    QAction* m_pBack = nullptr;
    QAction* m_pForward = nullptr;
    CString m_strActive;  // the view shown; empty for the start page
    bool m_bRebuildPending = false;
    bool m_bClosed = false;
    bool m_bClosing = false;  // the views are asked before the program ends
    bool m_bQuitKept = false;  // a quit given inside a turn that may not close, given again after it
    void KeepQuit();
};

// The names of the frame's own menu entries.
#define FRAME_MENU_FILE L"FRAME-DATEI"
// The names the modules give their view and help popups, so that theirs join the frame's.
#define FRAME_MENU_VIEW L"View"
#define FRAME_MENU_HELP L"Help"
#define FRAME_CMD_SETTINGS L"FRAME-EINSTELLUNGEN"
#define FRAME_CMD_EXIT L"FRAME-BEENDEN"
#define FRAME_CMD_BACK L"FRAME-ZURUECK"
#define FRAME_CMD_FORWARD L"FRAME-VORWAERTS"
#define FRAME_CMD_START L"FRAME-STARTSEITE"
#define FRAME_CMD_ABOUT L"FRAME-INFO"
