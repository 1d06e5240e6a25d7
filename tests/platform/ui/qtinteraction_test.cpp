// The interaction backend with real windows: its boxes are answered here by pressing their
// buttons, the selection box by choosing, the wait window shows its text, and a modal dialog runs
// in its own loop until something ends it.
#include "ui_fixture.h"
#include "qtwidget.h"
#include "qvwaitdlg.h"
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

namespace {

using namespace qv::ui::test;

// Acts on the next modal window of the toolkit as soon as it is up.
void WhenModalIsUp(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start(5);
}

void PressButton(QWidget* box, const QString& text) {
    for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
        if (b->text().remove(QLatin1Char('&')) == text) {
            b->click();
            return;
        }
    ADD_FAILURE() << "no button " << text.toStdString();
}

class RealWindows : public ::testing::Test {
protected:
    void SetUp() override {
        qv::ui::EnsureApplication();
        previous = qv::SetInteraction(&recorder);
        AfxSetResourceHandle(uitest::Module());
    }
    void TearDown() override { qv::SetInteraction(previous); }
    qv::RecordingInteraction recorder{&qv::ui::QtInteraction()};
    qv::IInteraction* previous = nullptr;
};

TEST_F(RealWindows, AMessageBoxShowsItsTextButtonsAndAnswersThePressedOne) {
    QString shownText;
    bool hasCancel = true;
    WhenModalIsUp([&](QWidget* box) {
        auto* mb = qobject_cast<QMessageBox*>(box);
        ASSERT_NE(mb, nullptr);
        shownText = mb->text();
        hasCancel = false;
        for (QAbstractButton* b : mb->buttons()) hasCancel |= b->text() == QStringLiteral("Abbrechen");
        EXPECT_EQ(mb->icon(), QMessageBox::Question);
        PressButton(box, QStringLiteral("Nein"));
    });
    AfxSetAppName(L"Ausbildung");
    EXPECT_EQ(AfxMessageBox(L"Wollen Sie die Daten wirklich löschen?", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(shownText, QStringLiteral("Wollen Sie die Daten wirklich löschen?"));
    EXPECT_FALSE(hasCancel) << "a yes/no box has no cancel button";
    ASSERT_EQ(recorder.Log().Count(qv::InteractionKind::MessageBox), 1u);
    EXPECT_EQ(recorder.Log().Records()[0].answer, IDNO);
}

TEST_F(RealWindows, EscapeAnswersTheCancellingButtonOfTheBoxAndABoxWithoutOneMustBeAnswered) {
    WhenModalIsUp([](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(AfxMessageBox(L"Änderungen speichern?", MB_YESNOCANCEL | MB_ICONQUESTION), IDCANCEL);
    WhenModalIsUp([](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(AfxMessageBox(L"Gespeichert.", MB_OK | MB_ICONINFORMATION), IDOK);
    // Yes/No and Abort/Retry/Ignore have no button that cancels: neither Escape nor a close of the
    // box's window answers them, and they have no close button.
    const struct {
        UINT type;
        const char* button;
        int answer;
    } answered[] = {{MB_YESNO | MB_ICONQUESTION, "Ja", IDYES}, {MB_ABORTRETRYIGNORE, "Wiederholen", IDRETRY}};
    for (const auto& a : answered) {
        bool stayed = false, closeButton = true;
        WhenModalIsUp([&](QWidget* box) {
            closeButton = box->windowFlags() & Qt::WindowCloseButtonHint;
            QTest::keyClick(box, Qt::Key_Escape);
            box->close();
            QApplication::processEvents();
            stayed = box->isVisible();
            PressButton(box, QString::fromUtf8(a.button));
        });
        EXPECT_EQ(AfxMessageBox(L"Wollen Sie die Änderungen speichern?", a.type), a.answer) << a.button;
        EXPECT_TRUE(stayed) << a.button;
        EXPECT_FALSE(closeButton) << a.button;
    }
}

TEST_F(RealWindows, AReportAndABoxFromAWorkerAreShownOnTheGuiThread) {
    QString reportText;
    WhenModalIsUp([&](QWidget* box) {
        reportText = qobject_cast<QMessageBox*>(box)->text();
        EXPECT_EQ(QThread::currentThread(), QApplication::instance()->thread());
        PressButton(box, QStringLiteral("OK"));
    });
    std::atomic<bool> done{false};
    std::thread worker([&] {
        QvReportMsg(1, L"Verbindung zur Datenbank unterbrochen", L"OLEDB Errormessage", L"Default", "kursdlg.cpp", 12, 1);
        done = true;
    });
    ASSERT_TRUE(WaitFor([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_EQ(reportText, QStringLiteral("Verbindung zur Datenbank unterbrochen"));
    EXPECT_EQ(recorder.Log().Count(qv::InteractionKind::Report), 1u);
}

TEST_F(RealWindows, TheSelectionBoxAnswersTheChosenAlternative) {
    qv::RegisterStringTable(uitest::Module(), {{158, L"Person entfernen"},
                                               {155, L"Die Person wird nicht mehr teilnehmen."},
                                               {156, L"Abmelden"},
                                               {157, L"Anmeldung löschen"},
                                               {159, L"Notieren Sie den Grund."}});
    QString title;
    WhenModalIsUp([&](QWidget* box) {
        title = box->windowTitle();
        const auto radios = box->findChildren<QRadioButton*>();
        ASSERT_EQ(radios.size(), 2);
        radios[1]->click();
        PressButton(box, QStringLiteral("OK"));
    });
    EXPECT_EQ(QvSelectionBox(158, 155, 156, 157, 159, 0), 2);
    EXPECT_EQ(title, QStringLiteral("Person entfernen"));
    WhenModalIsUp([](QWidget* box) { PressButton(box, QStringLiteral("Abbrechen")); });
    EXPECT_EQ(QvSelectionBox(158, 155, 156, 157, 0, 0), 0) << "cancelled";
}

TEST_F(RealWindows, TheWaitWindowShowsItsDescriptionUntilItIsClosed) {
    auto find = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                for (QLabel* l : w->findChildren<QLabel*>())
                    if (l->text().contains(QStringLiteral("gespeichert"))) return w;
        return static_cast<QWidget*>(nullptr);
    };
    {
        CQvWaitDlg wait;
        wait.Open(nullptr, 0, -1, 10);
        wait.SetDescription(L"Die Daten werden gespeichert...\n(Ausbildung)");
        EXPECT_TRUE(WaitFor([&] { return find() != nullptr; }));
    }
    EXPECT_TRUE(WaitFor([&] { return find() == nullptr; })) << "it closes with its object";
    EXPECT_EQ(recorder.Log().Count(qv::InteractionKind::WaitOpen), 1u);
    EXPECT_EQ(recorder.Log().Count(qv::InteractionKind::WaitClose), 1u);
}

enum : UINT { kModal = 930 };

class TimedDlg : public CDialog {
public:
    TimedDlg() : CDialog(kModal) {}
    int ticks = 0;
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        SetTimer(99, 10);
        return TRUE;
    }
    void OnTimer(UINT_PTR id) {
        if (id == 99 && ++ticks == 3) {
            KillTimer(99);
            EndDialog(IDOK);
        }
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TimedDlg, CDialog)
    ON_WM_TIMER()
END_MESSAGE_MAP()

TEST_F(RealWindows, AModalDialogRunsItsOwnLoopWithTimersUntilItEnds) {
    qv::ui::DialogTemplate t;
    t.id = kModal;
    t.caption = L"Warten";
    t.cx = 100;
    t.cy = 40;
    t.style = WS_POPUP | WS_CAPTION | DS_SETFONT;
    t.items = {qv::ui::DefPushButton(L"OK", IDOK, 25, 20, 50, 14)};
    qv::ui::RegisterDialogTemplate(uitest::Module(), t);
    TimedDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.ticks, 3);
    ASSERT_EQ(recorder.Log().Count(qv::InteractionKind::Modal), 1u);
    EXPECT_EQ(recorder.Log().Records(qv::InteractionKind::Modal)[0].type, kModal);

    // Pressed by the user this time.
    TimedDlg second;
    WhenModalIsUp([&](QWidget*) { Click(second, IDOK); });
    second.ticks = -1000;  // the timer does not end it
    EXPECT_EQ(second.DoModal(), IDOK);
}

TEST_F(RealWindows, ABoxOutlivesNeitherAJustDestroyedWindowNorAnOwnerDestroyedWhileItIsUp) {
    // A window destroyed just before is still the active one until its deletion comes round;
    // the box must neither belong to it nor go down with it.
    auto gone = std::make_unique<CWnd>();
    ASSERT_TRUE(gone->CreateEx(0, AfxRegisterWndClass(0), L"weg", WS_OVERLAPPED, CRect(0, 0, 200, 100), nullptr, 0));
    gone->ShowWindow(SW_SHOW);
    QApplication::setActiveWindow(qv::ui::WidgetOf(gone->m_hWnd));
    gone->DestroyWindow();
    QWidget* parentSeen = reinterpret_cast<QWidget*>(1);
    WhenModalIsUp([&](QWidget* box) {
        parentSeen = box->parentWidget();
        PressButton(box, QStringLiteral("OK"));
    });
    EXPECT_EQ(AfxMessageBox(L"Gespeichert.", MB_OK), IDOK);
    EXPECT_EQ(parentSeen, nullptr);

    // An owner destroyed while its box is up takes the box with it: the box answers as if cancelled.
    CWnd owner;
    ASSERT_TRUE(owner.CreateEx(0, AfxRegisterWndClass(0), L"Kurs", WS_OVERLAPPED, CRect(0, 0, 200, 100), nullptr, 0));
    owner.ShowWindow(SW_SHOW);
    WhenModalIsUp([&](QWidget* box) {
        EXPECT_EQ(box->window()->parentWidget(), qv::ui::WidgetOf(owner.m_hWnd));
        owner.DestroyWindow();
    });
    EXPECT_EQ(MessageBoxW(owner.m_hWnd, L"Kurs schließen?", L"Kurs", MB_YESNOCANCEL), IDCANCEL);
    EXPECT_EQ(owner.m_hWnd, nullptr);
}

// A window whose button starts long work: a wait window, then, while the work runs, a box.
enum : UINT { kWorkDlg = 931, kWorkButton = 1001 };

class WorkDlg : public CDialog {
public:
    WorkDlg() : CDialog(kWorkDlg) {}
    long delay = 0;
    std::function<void()> box;
    void OnWork() {
        CQvWaitDlg wait;
        wait.Open(this, delay, -1, 10);
        wait.SetDescription(L"Die Daten werden gespeichert...");
        box();
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(WorkDlg, CDialog)
    ON_BN_CLICKED(kWorkButton, &WorkDlg::OnWork)
END_MESSAGE_MAP()

TEST_F(RealWindows, NoWaitWindowCoversABoxShownWhileItsWorkRuns) {
    qv::ui::DialogTemplate t;
    t.id = kWorkDlg;
    t.caption = L"Ausbildung";
    t.cx = 200;
    t.cy = 80;
    t.style = WS_POPUP | WS_CAPTION | DS_SETFONT;
    t.items = {qv::ui::PushButton(L"Speichern", kWorkButton, 70, 30, 60, 14, WS_TABSTOP)};
    qv::ui::RegisterDialogTemplate(uitest::Module(), t);
    qv::ui::DialogTemplate modal;
    modal.id = kModal;
    modal.caption = L"Warten";
    modal.cx = 100;
    modal.cy = 40;
    modal.style = WS_POPUP | WS_CAPTION | DS_SETFONT;
    modal.items = {qv::ui::DefPushButton(L"OK", IDOK, 25, 20, 50, 14)};
    qv::ui::RegisterDialogTemplate(uitest::Module(), modal);
    WorkDlg dlg;
    ASSERT_TRUE(dlg.Create(kWorkDlg));
    dlg.ShowWindow(SW_SHOW);
    const auto waitShown = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                for (QLabel* l : w->findChildren<QLabel*>())
                    if (l->isVisible() && l->text().contains(QStringLiteral("gespeichert"))) return true;
        return false;
    };
    // Every kind of box, with a wait window already shown (0) and one whose time comes while the
    // box is up (200 ms): the box stands alone until it is answered; the wait comes back after it.
    const std::vector<std::pair<const char*, std::function<void()>>> boxes = {
        {"message", [] { AfxMessageBox(L"Die Überbuchung muss eine Zahl zwischen 0 und 100 (Prozent) sein."); }},
        {"report", [] { QvReportMsg(1, L"Verbindung unterbrochen", L"OnSave", L"Default", "kursdlg.cpp", 1, 1); }},
        {"selection", [] { QvSelectionBox(0, 0, 0, 0, 0, 0); }},
        {"dialog",
         [] {
             CDialog modal(kModal);
             modal.DoModal();
         }},
    };
    for (const auto& [what, show] : boxes)
        for (long delay : {0L, 200L}) {
            SCOPED_TRACE(std::string(what) + " " + std::to_string(delay));
            dlg.delay = delay;
            bool coveredAtOnce = true, coveredLater = true, backAfter = false;
            dlg.box = [&, show = show] {
                if (delay == 0) EXPECT_TRUE(WaitFor(waitShown)) << "the work's wait window is up";
                WhenModalIsUp([&](QWidget* box) {
                    coveredAtOnce = waitShown();
                    QTimer::singleShot(400, box, [&, box] {
                        coveredLater = waitShown();
                        for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
                            if (b->text() == QStringLiteral("OK")) b->click();
                    });
                });
                show();
                backAfter = WaitFor(waitShown, 1000);
            };
            ASSERT_TRUE(Click(dlg, kWorkButton));
            EXPECT_FALSE(coveredAtOnce);
            EXPECT_FALSE(coveredLater) << "its time came while the box was up";
            EXPECT_TRUE(backAfter) << "the work goes on";
            EXPECT_TRUE(WaitFor([&] { return !waitShown(); })) << "and ends with its wait window";
        }
    dlg.DestroyWindow();
}

}  // namespace
