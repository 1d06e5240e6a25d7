// The frame's window: the frame's and the servers' menus merged in its menu bar, commands sent back
// to the servers, module views shown in its pane and the start page reached again through the
// navigation history.
#include "fakeview.h"
#include "framehost.h"
#include "framesettingsdlg.h"
#include "framestartpage.h"
#include "framewindow.h"
#include "qtwidget.h"
#include "qvrunning.h"
#include "qvui.h"
#include "scripted.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <filesystem>
#include <memory>
#include <vector>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QStackedWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>

namespace frametest {
namespace {

constexpr CLSID CLSID_WindowView = qv::MakeGuid("7E1F3A22-9B4C-4D55-8E61-2A0B3C4D5E71");

class FrameWindow : public ::testing::Test {
protected:
    void SetUp() override {
        backend.OnFailure([](const std::string& message) { ADD_FAILURE() << message; });
        ASSERT_TRUE(qv::ui::EnsureApplication());
        host = new CQvFrameHost;
        ASSERT_EQ(host->RegisterAsFrame(), S_OK);
        ASSERT_TRUE(AfxConnectionAdvise(host->GetInterface(&IID_IUnknown), IID_IQvFControlSink, sink.Unknown(), FALSE, &cookie));
        window = new CQvFrameWindow(host, QvFrameSettings{QString::fromUtf8("/daten/kurse.sqlite"),
                                                          QString::fromUtf8("Administrator"), false});
        window->show();
    }
    void TearDown() override {
        window->close();
        delete window;
        AfxConnectionUnadvise(host->GetInterface(&IID_IUnknown), IID_IQvFControlSink, sink.Unknown(), FALSE, cookie);
        host->CloseAll();
        delete host;
        qv::RevokeAllRunningServers();
    }
    std::vector<QString> MenuTitles() {
        std::vector<QString> titles;
        for (QAction* a : window->menuBar()->actions()) titles.push_back(a->text());
        return titles;
    }
    QAction* FindAction(const QString& menuTitle, const QString& text) {
        for (QAction* a : window->menuBar()->actions())
            if (a->text() == menuTitle && a->menu())
                for (QAction* item : a->menu()->actions())
                    if (item->text() == text) return item;
        return nullptr;
    }
    QWidget* Current() { return window->findChild<QStackedWidget*>()->currentWidget(); }

    qvtest::TempDir dir;
    qvtest::ScopedEnv registry{"QV_REGISTRY", dir.file("registry.db")};
    qv::ScriptedInteraction backend;
    qv::ScopedInteraction interaction{&backend};
    CQvFrameHost* host = nullptr;
    CQvFrameWindow* window = nullptr;
    FakeSink sink;
    DWORD cookie = 0;
    CallLog log;
    // Views made on the heap; their last release only logs, so they end with the test.
    std::vector<std::unique_ptr<FakeView>> views;
};

TEST_F(FrameWindow, AServersMenuJoinsTheFramesAndItsCommandsGoBackToTheServers) {
    EXPECT_EQ(MenuTitles(), (std::vector<QString>{"&Datei", "&Ansicht", "&Hilfe"}));
    IQvFMenu* menu = static_cast<IQvFMenu*>(host->GetInterface(&IID_IQvFMenu));
    BSTR popupName = SysAllocString(L"KURS-MENU");
    BSTR itemName = SysAllocString(L"KURS-NEU");
    BSTR caption = SysAllocString(L"&Kurse");
    BSTR itemCaption = SysAllocString(L"&Neuer Kurs");
    IQvFMenuPopup* popup = nullptr;
    ASSERT_EQ(menu->CreatePopup(popupName, &popup), S_OK);
    popup->put_Caption(caption);
    popup->put_Position(3);
    IQvFMenuItem* item = nullptr;
    ASSERT_EQ(popup->CreateItem(itemName, &item), S_OK);
    item->put_Caption(itemCaption);
    item->Release();
    popup->Release();
    ASSERT_EQ(menu->Apply(), S_OK);
    ASSERT_TRUE(qv::ui::PumpUntil([&] { return MenuTitles().size() == 4; }, 5000));
    EXPECT_EQ(MenuTitles(), (std::vector<QString>{"&Datei", "&Ansicht", "&Kurse", "&Hilfe"}));

    QAction* neu = FindAction("&Kurse", "&Neuer Kurs");
    ASSERT_NE(neu, nullptr);
    neu->trigger();
    neu->hover();
    EXPECT_EQ(sink.calls, (std::vector<std::wstring>{L"command:KURS-NEU", L"notify:KURS-NEU"}));
    // The frame's own commands stay with the frame.
    QAction* start = FindAction("&Ansicht", "&Startseite");
    ASSERT_NE(start, nullptr);
    start->trigger();
    EXPECT_EQ(sink.calls.size(), 2u);
    for (BSTR b : {popupName, itemName, caption, itemCaption}) SysFreeString(b);
}

TEST_F(FrameWindow, AViewIsShownInThePaneAndTheStartPageComesBackWithTheHistory) {
    auto* view = views.emplace_back(std::make_unique<FakeView>("view", log, CLSID_WindowView, L"Ausbildung")).get();
    IQvFFrame* main = static_cast<IQvFFrame*>(host->GetInterface(&IID_IQvFFrame));
    BSTR progress = SysAllocString(L"Initialisiere Modul Ausbildung");
    ASSERT_EQ(main->SetStatusText(progress), S_OK);
    SysFreeString(progress);
    EXPECT_EQ(window->statusBar()->currentMessage(), QString::fromUtf8("Initialisiere Modul Ausbildung"));
    ASSERT_EQ(host->AddView(L"Qovaro.Test.WindowView", view->Init()), S_OK);
    EXPECT_EQ(window->statusBar()->currentMessage(), QString::fromUtf8("Bereit")) << "the start-up progress is over";
    QWidget* start = Current();
    window->ShowView(L"Qovaro.Test.WindowView");
    EXPECT_EQ(view->parent, window->Pane());
    EXPECT_EQ(Current(), qv::ui::WidgetOf(window->Pane()));
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("Qovaro – Ausbildung"));

    // A control in the pane is visible as the pane is on the screen, whatever the pane's own style.
    CWnd control;
    ASSERT_TRUE(control.CreateEx(0, AfxRegisterWndClass(0), L"", WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, window->Pane(), nullptr));
    EXPECT_TRUE(control.IsWindowVisible());

    log.clear();
    ASSERT_EQ(main->Navigate(-1), S_OK);
    EXPECT_EQ(Current(), start);
    EXPECT_EQ(log, (CallLog{"view:ShowView(0)"}));
    EXPECT_FALSE(control.IsWindowVisible()) << "the start page covers the pane";
    control.DestroyWindow();
    ASSERT_EQ(main->Navigate(+1), S_OK);
    EXPECT_EQ(log, (CallLog{"view:ShowView(0)", "view:MoveView", "view:ShowView(1)"}));
    EXPECT_EQ(Current(), qv::ui::WidgetOf(window->Pane()));
}

TEST_F(FrameWindow, ThePictureOfTheWindowWaitsForAListFillingWithItsDrawingHeld) {
    auto* list = new QTreeWidget(Current());
    for (int i = 0; i < 30; ++i) new QTreeWidgetItem(list, {QString::number(i)});
    list->setGeometry(10, 10, 300, 300);
    list->show();
    list->setUpdatesEnabled(false);
    int shots = 0;
    QImage image;
    const auto taken = [&](const QPixmap& pixmap) {
        ++shots;
        image = pixmap.toImage();
    };
    window->GrabWhenDrawn(5000, taken);
    EXPECT_FALSE(qv::ui::PumpUntil([&] { return shots > 0; }, 300)) << "not while the list holds its drawing";
    list->setUpdatesEnabled(true);
    ASSERT_TRUE(qv::ui::PumpUntil([&] { return shots > 0; }, 5000));
    const QPoint middle = list->mapTo(window, list->rect().center());
    EXPECT_NE(image.pixel(middle) & 0xFFFFFF, 0u) << "the list is drawn, not black";
    // A list that never draws again is waited for only so long.
    list->setUpdatesEnabled(false);
    window->GrabWhenDrawn(100, taken);
    EXPECT_TRUE(qv::ui::PumpUntil([&] { return shots > 1; }, 3000));
    EXPECT_EQ(shots, 2);
}

TEST_F(FrameWindow, TheStartPageAndTheSettingsWindowSpeakTheFramesLanguage) {
    EXPECT_EQ(QvFrameServerTitle(L"qovaro.qvdbserver"), QString::fromUtf8("Datenbank"));
    EXPECT_EQ(QvFrameServerTitle(L"Qovaro.Unbekannt"), QString::fromUtf8("Qovaro.Unbekannt"));
    CQvFrameSettingsDlg settings(host, window);
    const auto buttons = settings.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), QString::fromUtf8("Schliessen"));
}

TEST_F(FrameWindow, TheStartPageSaysWhenTheDatabaseIsReadOnlyOrCannotBeRead) {
    // The test registry names no database, so nothing can be read.
    CQvFrameStartPage page(host, QvFrameSettings{QString::fromUtf8("/daten/kurse.sqlite"),
                                                 QString::fromUtf8("Administrator"), false, true});
    page.resize(900, 600);
    page.show();
    QString text;
    for (QLabel* label : page.findChildren<QLabel*>()) text += label->text();
    EXPECT_TRUE(text.contains(QString::fromUtf8("/daten/kurse.sqlite <i>(schreibgeschützt)</i>"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8("nicht lesbar"))) << text.toStdString();
    std::filesystem::create_directories(QV_SCREENS_DIR);
    EXPECT_TRUE(page.grab().save(QString::fromUtf8(QV_SCREENS_DIR "/frame_startpage_readonly.png"), "PNG"));
}

}  // namespace
}  // namespace frametest
