// The run data page of the course window with its dates and budget, and the reservation editor,
// through the real widgets in the host frame over a database from the suite schema.
// The session before Qt, whose "slots" it would otherwise meet as a macro.
#include "adosession.h"
#include "budget.h"
#include "editreservationdlg.h"
#include "getdatumdlg.h"
#include "instanzdatendlg.h"
#include "kursresource.h"
#include "kursview.h"
#include "kurswin_window.h"
#include "leftworkers.h"
#include "qvasynceventsink.h"
#include "qvbuttons.h"
#include "qveventsource.h"
#include "qvregvalue.h"
#include "qtinteraction.h"
#include "qvrunning.h"
#include "nqframeworkres.h"
#include "qvsysinfo.h"
#include "tempdir.h"
#include "utf.h"
#ifdef QV_KURS_PG
#include "pgcluster.h"
#include "pgfaultproxy.h"
#endif

#include <cstdio>
#ifndef QV_KURS_PG
#include "extensions.h"

#include <sqlite3.h>
#endif

#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QPainter>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

namespace kurstest {
namespace {

using namespace qv::ui::test;

#ifndef QV_KURS_PG
// place_hold(x) gives x; while held, the search that reads it waits where no cancel reaches it,
// and it fails once let go, as on a lost server.
std::atomic<bool> placesHeld{false};
std::atomic<int> placesWaiting{0};
void PlaceHold(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (!placesHeld) return sqlite3_result_value(ctx, argv[0]);
    ++placesWaiting;
    while (placesHeld) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    --placesWaiting;
    sqlite3_result_error(ctx, "the server closed the connection", -1);
}
#endif

const GUID kRunChanged = qv::MakeGuid("FE598CA4-2B6D-41E3-AE09-2DB75EE0C56F");
const GUID kBudgetChanged = qv::MakeGuid("C8F0503A-6571-46EB-9434-132878E836CD");

COleDateTime NullDate() {
    COleDateTime dt;
    dt.SetStatus(COleDateTime::null);
    return dt;
}

// Hears the run's and the budget's change events as other pages would.
struct RunListener {
    void OnRun(COleVariant value) {
        const VARIANT& v = value;
        lastRun = v.vt == VT_I4 ? v.lVal : 0;
        ++runs;
    }
    void OnBudget(COleVariant value) {
        const VARIANT& v = value;
        lastBudget = v.vt == VT_I4 ? v.lVal : -1;
        ++budgets;
    }
    DECLARE_QVEVENT_MAP()
    std::atomic<int> runs{0}, budgets{0};
    long lastRun = 0, lastBudget = -1;
    CQvAsyncEventSink sink;
};

BEGIN_QVEVENT_MAP(RunListener)
    ON_QVEVENT(kRunChanged, OnRun)
    ON_QVEVENT(kBudgetChanged, OnBudget)
END_QVEVENT_MAP()

class InstanzdatenTest : public KursWindow {
protected:
    void SetUp() override {
        KursWindow::SetUp();
        for (const wchar_t* function : {L"{924411CF-EA09-4E11-ABA5-F7779B9C6523}", L"{26522EFD-1FAB-468E-9D15-6917C79A763B}",
                                        L"{EE795285-F835-4E1B-BBF1-10B321E5A422}", L"{E97F6FE4-5DCD-4523-9ABB-E0714DFA7708}"})
            security.Answer(function, L"", 0x101);
        kurs = AddKurs(3, "GK");
        run = AddRun(kurs, "2031-03-10", "Frühling", 12);
        Sql("INSERT OR REPLACE INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (-1, " + K(run) + ", 5, 257), (" +
            K(kurs) + ", -1, 5, 257)");
        Sql("INSERT INTO Ort (lOrtID, strPLZ, strOrt) VALUES (1, '8200', 'Schaffhausen')");
        ASSERT_EQ(listener.sink.Create(&listener, RunListener::GetQvEventMap()), S_OK);
    }
    void TearDown() override {
        listener.sink.Unadvise();
        KursWindow::TearDown();
        qv::budget::SetBudgetRunning(std::nullopt);
    }
    long AddDate(const std::string& start, const std::string& end) {
        const long id = ++nextDate;
        Sql("INSERT INTO Kursinstanzdate (lKursinstanzdateID, lKursinstanzID, dtStart, dtEnde) VALUES (" + K(id) + ", " +
            K(run) + ", '" + start + "', " + (end.empty() ? "NULL" : "'" + end + "'") + ")");
        return id;
    }
    void ShowPage() {
        OpenView();
        ASSERT_EQ(Dlg()->GetSubRecordID(), run);
        ASSERT_EQ(TabLabels(Dlg()->GetTabCtrl().GetSafeHwnd()), (std::vector<std::wstring>{L"Kursdaten", L"Austragung"}));
        ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 1));
        Pump();
        ASSERT_NE(Page(), nullptr);
    }
    CInstanzdatenDlg* Page() const { return dynamic_cast<CInstanzdatenDlg*>(KursWindow::Page(1)); }
    HWND Field(int id) const { return qv::ui::test::Item(Page()->GetSafeHwnd(), id); }
    HWND Grid() const { return Page()->m_gridDates.GetSafeHwnd(); }
    void Save() { Click(Item(IDC_KURSDLG_SAVE)); }
    std::vector<std::wstring> GridRow(int row) const {
        return {Cell(Grid(), row, 0), Cell(Grid(), row, 1), Cell(Grid(), row, 2), Cell(Grid(), row, 3)};
    }
    std::string Dates() {
        return Text("SELECT group_concat(d, ';') FROM (SELECT dtStart || '/' || ifnull(dtEnde, '-') AS d FROM "
                    "Kursinstanzdate WHERE lKursinstanzID = " + K(run) + " ORDER BY dtStart)");
    }
    void WaitForRunEvent() {
        EXPECT_TRUE(WaitFor([&] { return listener.runs.load() >= 1; }));
        EXPECT_EQ(listener.lastRun, run);
        listener.runs = 0;
    }

    RunListener listener;
    long kurs = 0, run = 0, nextDate = 900;
};

TEST_F(InstanzdatenTest, TheRunsDataAreEditedUnderTheRightsAndSavedWithLogAndEvent) {
    Sql("UPDATE Kursinstanz SET strOrt = 'Zeughaus', lOrtID = 1, strTreffpunkt = 'Tor 2', lMinInstruktor = 2, "
        "dblDauer = 1, strZielpublikum = 'Jugend' WHERE lKursinstanzID = " + K(run));
    AddDate("2031-03-10 00:00:00", "2031-03-10 23:59:59");
    ShowPage();
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_BEZEICHNUNG)), L"Frühling");
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_ZIELPUBLIKUM)), L"Jugend");
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_KURSORT)), L"Zeughaus");
    EXPECT_NE(qv::ui::test::Text(Field(IDC_INSTANZDATEN_ORT)).find(L"8200 Schaffhausen"), std::wstring::npos);
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_MAXTN)), L"12");
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_DAUER)), L"1.00 Tg");
    EXPECT_FALSE(Checked(Field(IDC_INSTANZDATEN_DAUERMANUELL))) << "the stored duration is that of the dates";
    EXPECT_FALSE(Visible(Field(IDC_INSTANZDATEN_MININSTR))) << "the central installation's";
    EXPECT_FALSE(Visible(Field(IDC_INSTANZDATEN_INTERN_LABEL)));
    EXPECT_FALSE(ReadOnly(Field(IDC_INSTANZDATEN_BEZEICHNUNG)));
    EXPECT_TRUE(ReadOnly(Field(IDC_INSTANZDATEN_DAUER))) << "the duration follows the dates";
    EXPECT_EQ(Text("SELECT strLock FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), "");
    // The text fields reach to the right edge of the help button, each in a row of its own.
    const QRect help = Widget(Field(IDC_HELPBUTTON))->geometry();
    const QRect name = Widget(Field(IDC_INSTANZDATEN_BEZEICHNUNG))->geometry();
    const QRect meet = Widget(Field(IDC_INSTANZDATEN_TREFFPUNKT))->geometry();
    EXPECT_EQ(name.right(), help.right());
    EXPECT_EQ(meet.right(), help.right());
    EXPECT_LT(name.bottom(), meet.top());
    // The page is taller than the window: a control a Tab reaches comes into view, the help button
    // below the last field, then a field at the top again.
    CDlgScrollHelper* scroll = Page()->GetScrollHelper();
    ASSERT_GT(scroll->GetDisplayHeight(), scroll->GetPageHeight());
    for (const int id : {IDC_HELPBUTTON, IDC_INSTANZDATEN_TREFFPUNKT}) {
        ASSERT_TRUE(Focus(Field(id))) << id;
        CRect rc;
        ::GetWindowRect(Field(id), &rc);
        Page()->ScreenToClient(&rc);
        EXPECT_GE(rc.top, 0) << id;
        EXPECT_LE(rc.bottom, scroll->GetPageHeight()) << id;
    }
    // F1 in the window shows the help of the page in front, not that of the first page.
    std::vector<std::wstring> topics;
    qv::SetHelpHandler([&](const CString& topic) {
        topics.push_back(topic.GetString());
        return true;
    });
    const auto f1 = std::find_if(host->Accelerators().begin(), host->Accelerators().end(),
                                 [](const QvFrameAccel& a) { return a.strName == L"F1"; });
    ASSERT_NE(f1, host->Accelerators().end());
    EXPECT_EQ(f1->lKey, long(VK_F1));
    host->FireAccelCommand(L"F1");
    qv::SetHelpHandler(nullptr);
    EXPECT_EQ(topics, (std::vector<std::wstring>{L"HELP_KURS_TAB_INSTANZDATEN"}));

    // The up-down stops at 0.
    Retype(Field(IDC_INSTANZDATEN_MAXTN), L"0");
    NMUPDOWN down;
    down.hdr = {Field(IDC_INSTANZDATEN_MAXTN_SPIN), IDC_INSTANZDATEN_MAXTN_SPIN, UDN_DELTAPOS};
    down.iDelta = -1;
    ::SendMessage(Page()->GetSafeHwnd(), WM_NOTIFY, IDC_INSTANZDATEN_MAXTN_SPIN, reinterpret_cast<LPARAM>(&down));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_MAXTN)), L"0");
    down.iDelta = 1;
    ::SendMessage(Page()->GetSafeHwnd(), WM_NOTIFY, IDC_INSTANZDATEN_MAXTN_SPIN, reinterpret_cast<LPARAM>(&down));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_MAXTN)), L"1");
    Retype(Field(IDC_INSTANZDATEN_MAXTN), L"32767");  // and at the top
    ::SendMessage(Page()->GetSafeHwnd(), WM_NOTIFY, IDC_INSTANZDATEN_MAXTN_SPIN, reinterpret_cast<LPARAM>(&down));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_MAXTN)), L"32767");
    Retype(Field(IDC_INSTANZDATEN_MAXTN), L"1");

    // A registration window that closes before it opens is refused, with its dates named, and
    // nothing of the edit is saved; the same day at both ends is a window.
    Retype(Field(IDC_INSTANZDATEN_TREFFPUNKT), L"Tor 3");
    ASSERT_TRUE(TickDatePicker(Field(IDC_INSTANZDATEN_ANMELDENVON), true));
    ASSERT_TRUE(PickDate(Field(IDC_INSTANZDATEN_ANMELDENVON), 2031, 2, 20));
    ASSERT_TRUE(TickDatePicker(Field(IDC_INSTANZDATEN_ANMELDENBIS), true));
    ASSERT_TRUE(PickDate(Field(IDC_INSTANZDATEN_ANMELDENBIS), 2031, 2, 19));
    const std::string stored = Text("SELECT strTreffpunkt || '|' || ifnull(dtAnmeldenVon, '-') || '|' || "
                                    "ifnull(dtAnmeldenBis, '-') FROM Kursinstanz WHERE lKursinstanzID = " + K(run));
    script.ExpectMessageBox(IDOK, L"Die Anmeldung endet (bis 19.02.2031) vor ihrem Beginn (von 20.02.2031)");
    Save();
    EXPECT_EQ(script.Pending(), 0u);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u) << "refused once, with its cause";
    EXPECT_EQ(Text("SELECT strTreffpunkt || '|' || ifnull(dtAnmeldenVon, '-') || '|' || ifnull(dtAnmeldenBis, '-') FROM "
                   "Kursinstanz WHERE lKursinstanzID = " + K(run)),
              stored);
    EXPECT_EQ(stored.substr(0, 6), "Tor 2|");
    EXPECT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE))) << "the edit goes on";
    // The program's end asks about the edit; Yes, and the save refused again: the end stops, the
    // window keeps what was typed and the edit its lock.
    script.ExpectMessageBox(IDYES, L"Sie haben die Daten geändert!");
    script.ExpectMessageBox(IDOK, L"Die Anmeldung endet (bis 19.02.2031) vor ihrem Beginn (von 20.02.2031)");
    EXPECT_FALSE(host->CloseViews());
    EXPECT_EQ(script.Pending(), 0u);
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_TREFFPUNKT)), L"Tor 3");
    EXPECT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE)));
    EXPECT_NE(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(kurs)), "");
    EXPECT_EQ(Text("SELECT strTreffpunkt || '|' || ifnull(dtAnmeldenVon, '-') || '|' || ifnull(dtAnmeldenBis, '-') FROM "
                   "Kursinstanz WHERE lKursinstanzID = " + K(run)),
              stored);
    ASSERT_TRUE(PickDate(Field(IDC_INSTANZDATEN_ANMELDENBIS), 2031, 2, 20));
    Save();
    EXPECT_EQ(Text("SELECT strTreffpunkt || '|' || dtAnmeldenVon || '|' || dtAnmeldenBis FROM Kursinstanz WHERE "
                   "lKursinstanzID = " + K(run)),
              "Tor 3|2031-02-20 00:00:00|2031-02-20 23:59:59");
    ASSERT_TRUE(TickDatePicker(Field(IDC_INSTANZDATEN_ANMELDENVON), false));
    EXPECT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE))) << "switching the opening off begins an edit";

    // A name with a quote and over 254 characters; cancelling the run closes it.
    Retype(Field(IDC_INSTANZDATEN_BEZEICHNUNG), L"Frühling 'B' " + std::wstring(300, L'x'));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_BEZEICHNUNG)).size(), 254u) << "the field takes what is kept";
    ASSERT_TRUE(TickDatePicker(Field(IDC_INSTANZDATEN_ABGESAGT), true));
    EXPECT_TRUE(Checked(Field(IDC_INSTANZDATEN_GESCHLOSSEN)));
    ASSERT_TRUE(TickDatePicker(Field(IDC_INSTANZDATEN_ANMELDENBIS), true));
    ASSERT_TRUE(PickDate(Field(IDC_INSTANZDATEN_ANMELDENBIS), 2031, 3, 1));
    Save();
    const std::string today = W2U(std::wstring(COleDateTime::GetCurrentTime().Format(L"%Y-%m-%d")));
    EXPECT_EQ(Text("SELECT length(strBezeichnung) || '|' || substr(strBezeichnung, 1, 13) || '|' || lMaxTeilnehmer || "
                   "'|' || fGeschlossen || '|' || dtAbgesagt || '|' || dtAnmeldenBis || '|' || dtDatum || '|' || strLock "
                   "|| '|' || lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + K(run)),
              "254|Frühling 'B' |1|1|" + today + " 00:00:00|2031-03-01 23:59:59|2031-03-10 00:00:00||1");
    EXPECT_EQ(Text("SELECT strText || '|' || lTableID || '|' || strModul FROM UserLog"),
              "Kursaustragung wurde aktualisiert.|42|Ausbildung.Instanz");
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog WHERE strDetail LIKE '%| MaxTeilnehmer:1 | MinInstruktor:% | Geschlossen:1 |%'"),
              1);
    WaitForRunEvent();
    EXPECT_FALSE(Enabled(Field(IDC_INSTANZDATEN_GESCHLOSSEN))) << "a cancelled run stays closed";

    // A run saved while its log entry cannot be written stays saved, and the edit is over.
    qv::RevokeRunningServer(QVUSERLOG_PROGID);
    script.AllowReports(true);
    Retype(Field(IDC_INSTANZDATEN_TREFFPUNKT), L"ohne Protokoll");
    Save();
    EXPECT_EQ(Text("SELECT strTreffpunkt FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), "ohne Protokoll");
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
    for (const auto& report : script.Log().Records(qv::InteractionKind::Report))
        EXPECT_EQ(report.caption.find(L"OnSave"), std::wstring::npos) << "the save is not reported as failed";
    script.AllowReports(false);

    // Without the right on the run's data the name stays read-only; the page's own fields do not.
    CloseView();
    security.Answer(L"{E97F6FE4-5DCD-4523-9ABB-E0714DFA7708}", L"", 0x1);
    ShowPage();
    EXPECT_TRUE(ReadOnly(Field(IDC_INSTANZDATEN_BEZEICHNUNG)));
    EXPECT_FALSE(Enabled(Field(IDC_INSTANZDATEN_NEWDATE)));
    EXPECT_FALSE(ReadOnly(Field(IDC_INSTANZDATEN_TREFFPUNKT)));
}

// With real windows: the message of a refused save stays up well past the time the save's wait
// window would appear, and no wait window stands above it.
TEST_F(InstanzdatenTest, TheMessageOfARefusedSaveIsNotCoveredByTheSavesWaitWindow) {
    ShowPage();
    Retype(Field(IDC_INSTANZDATEN_TREFFPUNKT), L"Tor 9");
    ASSERT_TRUE(TickDatePicker(Field(IDC_INSTANZDATEN_ANMELDENVON), true));
    ASSERT_TRUE(PickDate(Field(IDC_INSTANZDATEN_ANMELDENVON), 2031, 2, 20));
    ASSERT_TRUE(TickDatePicker(Field(IDC_INSTANZDATEN_ANMELDENBIS), true));
    ASSERT_TRUE(PickDate(Field(IDC_INSTANZDATEN_ANMELDENBIS), 2031, 2, 19));
    qv::RecordingInteraction real(&qv::ui::QtInteraction());
    qv::ScopedInteraction scope(&real);
    QWidget* top = Widget(Dlg()->GetSafeHwnd())->window();
    QString message;
    bool waitShown = true;
    QImage shot;
    QElapsedTimer up;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        if (!up.isValid()) up.start();
        if (up.elapsed() < 1500) return;  // past the second after which the save's wait window shows
        poll.stop();
        message = box->text();
        waitShown = false;
        for (QWidget* w : QApplication::topLevelWidgets())
            for (QLabel* label : w->findChildren<QLabel*>())
                waitShown = waitShown || (label->isVisible() && label->text().contains(QStringLiteral("werden gespeichert")));
        shot = top->grab().toImage();
        QPainter(&shot).drawImage(box->mapToGlobal(QPoint()) - top->mapToGlobal(QPoint()), box->grab().toImage());
        box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->buttons().front()->click();
    });
    poll.start(20);
    Save();
    EXPECT_TRUE(message.contains(QStringLiteral("vor ihrem Beginn"))) << message.toStdString();
    EXPECT_FALSE(waitShown);
    EXPECT_EQ(real.Log().Count(qv::InteractionKind::MessageBox), 1u);
    EXPECT_EQ(real.Log().Count(qv::InteractionKind::Report), 0u);
    EXPECT_EQ(real.Log().Count(qv::InteractionKind::WaitOpen), 1u) << "the save did begin";
    std::filesystem::create_directories(QV_SCREENS_DIR);
    EXPECT_TRUE(shot.save(QString::fromStdString(std::string(QV_SCREENS_DIR) + "/instanzdaten-refused" +
                                                 (kOnPg ? "_pg" : "") + ".png")));
    Click(Item(IDC_KURSDLG_CANCEL));
}

TEST_F(InstanzdatenTest, APlaceChosenInThePlaceEditorIsShownAndSaved) {
    Sql("INSERT INTO Ort (lOrtID, strPLZ, strOrt) VALUES (2, '8212', 'Neuhausen')");
    Sql("UPDATE Kursinstanz SET lOrtID = 1 WHERE lKursinstanzID = " + K(run));
    ShowPage();
    EXPECT_FALSE(qobject_cast<QAbstractButton*>(Widget(Field(IDC_INSTANZDATEN_EDITORT)))->icon().isNull()) << "its picture";
    script.ExpectModal(30500, [](qv::IModalDialog& modal) {
        HWND dlg = dynamic_cast<CWnd&>(modal).GetSafeHwnd();
        HWND combo = qv::ui::test::Item(dlg, 30501);
        const auto items = ComboItems(combo);
        for (int i = 0; i < int(items.size()); ++i)
            if (items[std::size_t(i)].find(L"Neuhausen") != std::wstring::npos) SelectComboItem(combo, i);
        Click(dlg, IDOK);
    });
    Click(Field(IDC_INSTANZDATEN_EDITORT));
    EXPECT_NE(qv::ui::test::Text(Field(IDC_INSTANZDATEN_ORT)).find(L"8212 Neuhausen"), std::wstring::npos);
    ASSERT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE))) << "the new place is to be saved";
    Save();
    EXPECT_EQ(Int("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), 2);

    // Reopened with the last tab restored: the run's page comes back.
    options.Set(-1000, L"RestoreLastTab", 1);
    CloseView();
    OpenView();
    EXPECT_EQ(Dlg()->GetTabCtrl().GetActiveTab(), 1);
    ASSERT_NE(Page(), nullptr);
    EXPECT_TRUE(Visible(Page()->GetSafeHwnd()));
}

TEST_F(InstanzdatenTest, APlaceTypedIntoOrtKeyByKeyIsPickedFromTheListAndSaved) {
    Sql("INSERT INTO Ort (lOrtID, strPLZ, strOrt) VALUES (3, '9643', 'Rietstetten'), (4, '9650', 'Riedern'), "
        "(5, '9651', 'Rietbad'), (6, '9650', 'Riedern-Dorf')");
    ShowPage();
    // The place editor left with OK but no place chosen keeps the run without a place.
    script.ExpectModal(30500, [](qv::IModalDialog& modal) { Click(dynamic_cast<CWnd&>(modal).GetSafeHwnd(), IDOK); });
    Click(Field(IDC_INSTANZDATEN_EDITORT));
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
    const HWND ort = Field(IDC_INSTANZDATEN_ORT);
    // Over what the field shows, each key after the list of the text before it has opened, as a
    // user types who looks.
    const std::wstring name = L"Rietstetten";
    for (std::size_t i = 0; i < name.size(); ++i) {
        ASSERT_TRUE(i == 0 ? Retype(ort, name.substr(i, 1)) : Type(ort, name.substr(i, 1)));
        if (i >= 1) ASSERT_TRUE(WaitFor([&] { return Page()->m_cbOrt.GetDroppedState() != FALSE; })) << i;
    }
    EXPECT_EQ(qv::ui::test::Text(ort), name);
    ASSERT_TRUE(WaitFor([&] { return Page()->m_cbOrt.GetCount() == 1; }));
    {
        // The page with the open list drawn where it stands on the screen.
        QWidget* page = Widget(Page()->GetSafeHwnd());
        QWidget* list = Widget(::GetWindow(ort, GW_CHILD))->window();
        QImage shot = page->grab().toImage();
        QPainter(&shot).drawImage(list->mapToGlobal(QPoint()) - page->mapToGlobal(QPoint()), list->grab().toImage());
        std::filesystem::create_directories(QV_SCREENS_DIR);
        EXPECT_TRUE(shot.save(QString::fromStdString(std::string(QV_SCREENS_DIR) + "/instanzdaten-ort" +
                                                     (kOnPg ? "_pg" : "") + ".png")));
    }
    ASSERT_TRUE(PressKey(nullptr, VK_DOWN));
    ASSERT_TRUE(PressKey(nullptr, VK_RETURN));
    EXPECT_TRUE(Visible(Page()->GetSafeHwnd()));
    ASSERT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE))) << "the picked place is to be saved";
    Save();
    EXPECT_EQ(Int("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), 3);

    // A place typed in full and left without touching the list: by Tab (its text one of two rows),
    // by Return, its name alone beside a longer one, or its text narrowed to one row left with Tab.
    // The typing changes the page; another field changed afterwards, the save keeps it.
    const struct {
        const wchar_t* typed;
        UINT key;
        long place;
    } leaves[] = {{L"9650 Riedern", VK_TAB, 4}, {L"9651 rietbad", VK_RETURN, 5}, {L"Riedern", VK_TAB, 4},
                  {L"Rietst", VK_TAB, 3}};
    for (const auto& leave : leaves) {
        SCOPED_TRACE(W2U(leave.typed));
        const std::wstring typed = leave.typed;
        ASSERT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
        for (std::size_t i = 0; i < typed.size(); ++i)
            ASSERT_TRUE(i == 0 ? Retype(ort, typed.substr(i, 1)) : Type(ort, typed.substr(i, 1)));
        EXPECT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE))) << "the typing changed the page";
        ASSERT_TRUE(PressKey(nullptr, leave.key));
        ASSERT_TRUE(WaitFor([&] { return Page()->m_cbOrt.GetCurSel() >= 0; })) << "the typed place is picked";
        EXPECT_FALSE(Page()->m_cbOrt.GetDroppedState());
        if (leave.key == VK_TAB) {
            EXPECT_FALSE(HasFocus(ort)) << "Tab went on to the next field";
        }
        EXPECT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE)));
        Retype(Field(IDC_INSTANZDATEN_TREFFPUNKT), std::wstring(L"Tor ") + typed);
        Save();
        EXPECT_EQ(Int("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), leave.place);
        EXPECT_EQ(Int("SELECT count(*) FROM Kursinstanz WHERE lKursinstanzID = " + K(run) + " AND strTreffpunkt = '" +
                      W2U(L"Tor " + typed) + "'"),
                  1);
    }

    // A text that names no place (none, or several) leaves the stored place; the save says so and
    // stores the rest, once the rows of the text are in if they were still coming.
    for (const wchar_t* typed : {L"Zürich", L"Rie"}) {
        SCOPED_TRACE(W2U(typed));
        Retype(ort, typed);
        ASSERT_TRUE(PressKey(nullptr, VK_TAB));
        Retype(Field(IDC_INSTANZDATEN_TREFFPUNKT), std::wstring(L"Halle ") + typed);
        script.ExpectMessageBox(IDOK, std::wstring(L"Kein Ort heisst \"") + typed + L"\"");
        Save();
        ASSERT_TRUE(WaitFor([&] { return !Page()->IsSavePending(); }));
        EXPECT_EQ(script.Pending(), 0u);
        EXPECT_EQ(Int("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), 3);
        EXPECT_EQ(Int("SELECT count(*) FROM Kursinstanz WHERE lKursinstanzID = " + K(run) + " AND strTreffpunkt = '" +
                      W2U(std::wstring(L"Halle ") + typed) + "'"),
                  1);
        EXPECT_NE(qv::ui::test::Text(ort).find(L"9643 Rietstetten"), std::wstring::npos) << "the stored place shown again";
    }

    // A stored place the list cannot show (gone from the places) stays through a save of the rest,
    // also beside a text that names none: the field then shows no place.
    Sql("UPDATE Kursinstanz SET lOrtID = 999 WHERE lKursinstanzID = " + K(run));
    ASSERT_EQ(Page()->Refresh(), S_OK);
    EXPECT_EQ(Page()->m_cbOrt.GetCurSel(), CB_ERR);
    Retype(Field(IDC_INSTANZDATEN_TREFFPUNKT), L"Halle 999");
    Retype(ort, L"Zürich");
    script.ExpectMessageBox(IDOK, L"Kein Ort heisst \"Zürich\"");
    Save();
    ASSERT_TRUE(WaitFor([&] { return !Page()->IsSavePending(); }));
    EXPECT_EQ(script.Pending(), 0u);
    EXPECT_EQ(Text("SELECT strTreffpunkt || '|' || lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), "Halle 999|999");
    EXPECT_EQ(qv::ui::test::Text(ort), L"");

    // Closed while the search of a typed place is held in the database (behind another session's
    // lock on PostgreSQL, in a call no cancel reaches on SQLite), the page goes at once, taking
    // none of the window's messages meanwhile; the search's failure once it goes on shows nothing.
    // The page's worker starts anew, once the old one has ended, on a connection that knows the hold.
    ASSERT_EQ(Page()->ClearSavePending(), S_OK);
    ASSERT_EQ(Page()->ResetEditState(), S_OK);
    CloseView();
    ASSERT_TRUE(CLeftWorkers::End(10000));
#ifdef QV_KURS_PG
    auto waiting = [&] {
        qv::sql::PgRows rows;
        // The holder's transaction would see the activity as it was at its first look.
        pg->Exec("SELECT pg_stat_clear_snapshot()");
        pg->Query("SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND datname = current_database()",
                  {}, &rows);
        return !rows.rows.empty() && rows.rows[0][0].value_or("0") != "0";
    };
    auto hold = [&] { ASSERT_EQ(pg->Exec("BEGIN; LOCK TABLE ort IN ACCESS EXCLUSIVE MODE"), 0); };
    auto letGo = [&] { pg->Exec("ROLLBACK"); };
#else
    qv::sql::RegisterConnectionInitializer("place-hold", [](sqlite3* h) {
        sqlite3_create_function_v2(h, "place_hold", 1, SQLITE_UTF8, nullptr, PlaceHold, nullptr, nullptr, nullptr);
    });
    qv::ado::Session::ReleasePool();
    std::string view = Text("SELECT sql FROM sqlite_master WHERE name = 'view_Ort'");
    view.replace(view.find("view_Ort"), 8, "view_OrtBase");
    Sql("DROP VIEW view_Ort");
    Sql(view);
    Sql("CREATE VIEW view_Ort AS SELECT * FROM view_OrtBase WHERE place_hold(lOrtID) IS NOT NULL");
    placesWaiting = 0;
    auto hold = [&] { placesHeld = true; };
    auto waiting = [&] { return placesWaiting.load() > 0; };
    auto letGo = [&] { placesHeld = false; };
#endif
    ShowPage();
    hold();
    script.AllowReports(true);
    script.Log().Clear();
    Retype(Field(IDC_INSTANZDATEN_ORT), L"Schaffh");
    const bool bHeld = WaitFor(waiting, 10000);
    if (!bHeld) letGo();
    ASSERT_TRUE(bHeld) << "the search of the place runs";
    // Saved meanwhile, the page reads nothing itself and the window goes on: the save waits for
    // the search without a word (a watch lets the search go if it does not), and a second
    // Speichern does nothing.
    const auto saveWatched = [&] {
        std::atomic<bool> saved{false};
        std::thread watchSave([&] {
            for (int i = 0; i < 150 && !saved; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
#ifndef QV_KURS_PG
            if (!saved) placesHeld = false;
#endif
        });
        Save();
        saved = true;
        watchSave.join();
    };
    saveWatched();
    EXPECT_TRUE(waiting()) << "the save waited for the search";
    Save();
    EXPECT_TRUE(Page()->IsSavePending());
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_ORT)), L"Schaffh") << "what was typed stays";
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report) + script.Log().Count(qv::InteractionKind::MessageBox), 0u);
    // Closed while its save waits, the page goes as before, and the save with it.
    ASSERT_EQ(Page()->ClearSavePending(), S_OK);
    ASSERT_EQ(Page()->ResetEditState(), S_OK);
    // A watch that lets the search go if the close waits for it.
    std::atomic<bool> closed{false};
    std::thread watch([&] {
        for (int i = 0; i < 150 && !closed; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
#ifndef QV_KURS_PG
        placesHeld = false;
#endif
    });
    bool turnTaken = false;
    QTimer::singleShot(0, [&] { turnTaken = true; });
    CloseView(false);
    closed = true;
    watch.join();
    EXPECT_FALSE(turnTaken) << "the close took the window's messages while it waited for the search";
    letGo();
    EXPECT_TRUE(CLeftWorkers::End(10000)) << "the search left behind ends";
    Pump();
    EXPECT_TRUE(script.Log().Records(qv::InteractionKind::Report).empty()) << "the search of a closed page showed its failure";
    EXPECT_EQ(Int("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), 999) << "the closed page saved";

    // A save whose search fails (the lock on the places outlasts its time-out on PostgreSQL) ends
    // with the failure as its one message; the typed place stays for the next save, which searches
    // again and stores it once the places are read.
    ShowPage();
    hold();
    script.Log().Clear();
    Retype(Field(IDC_INSTANZDATEN_ORT), L"Schaffhausen");
    const bool bHeldAgain = WaitFor(waiting, 10000);
    if (!bHeldAgain) letGo();
    ASSERT_TRUE(bHeldAgain);
    saveWatched();
#ifndef QV_KURS_PG
    letGo();
#endif
    const auto reports = [&] { return script.Log().Count(qv::InteractionKind::Report); };
    EXPECT_TRUE(WaitFor([&] { return reports() > 0; }, 20000));
    Pump();
    letGo();
    EXPECT_EQ(reports(), 1u) << "one failure, one message";
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u);
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_ORT)), L"Schaffhausen");
    EXPECT_TRUE(Page()->IsSavePending());
    EXPECT_EQ(Int("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), 999);
    Save();
    EXPECT_TRUE(WaitFor([&] { return !Page()->IsSavePending(); }, 10000));
    EXPECT_EQ(Int("SELECT lOrtID FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), 1);
    EXPECT_NE(qv::ui::test::Text(Field(IDC_INSTANZDATEN_ORT)).find(L"8200 Schaffhausen"), std::wstring::npos);
    EXPECT_EQ(reports(), 1u);
#ifndef QV_KURS_PG
    qv::sql::RegisterConnectionInitializer("place-hold", [](sqlite3*) {});
#endif
}

TEST_F(InstanzdatenTest, ANewCourseShowsThePageEmptyWithoutThePlaceAndDatesOfTheRunBefore) {
    Sql("UPDATE Kursinstanz SET lOrtID = 1, dtAbgesagt = NULL, dtAnmeldenVon = '2031-01-15 00:00:00' WHERE lKursinstanzID = " +
        K(run));
    options.Set(-1060, L"PublishDate", L"2030-06-01 00:00:00");
    ShowPage();
    ASSERT_NE(qv::ui::test::Text(Field(IDC_INSTANZDATEN_ORT)).find(L"8200 Schaffhausen"), std::wstring::npos);
    ASSERT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_ANMELDENVON)), L"15.01.2031");
    // Nor does a load whose place cannot be read (on a server: another session holds the places;
    // on a file: their view is gone) show the run, or an empty form with today's dates: said once,
    // also when the window is asked to load again while the message is up, the page is greyed,
    // begins no edit and loads on F5 once the place can be read, its one date once.
    AddDate("2031-03-10 08:00:00", "2031-03-10 12:00:00");
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DefaultExecuteRetry", 1L));
#ifdef QV_KURS_PG
    auto holder = LockInOtherSession("ort");
    const auto let = [&] { holder->Exec("ROLLBACK"); };
#else
    const std::string view = Text("SELECT sql FROM sqlite_master WHERE name = 'view_Ort'");
    ASSERT_FALSE(view.empty());
    Sql("DROP VIEW view_Ort");
    const auto let = [&] { Sql(view); };
#endif
    script.ExpectReport(L"", [&] {
        host->FireAccelCommand(L"F5");
        Pump();
    });
    host->FireAccelCommand(L"F5");
    Pump();
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(Page()->m_gridDates.GetItemCount(), 0);
    for (int id : {IDC_INSTANZDATEN_BEZEICHNUNG, IDC_INSTANZDATEN_ORT, IDC_INSTANZDATEN_ANMELDENVON,
                   IDC_INSTANZDATEN_ANMELDENBIS, IDC_INSTANZDATEN_ABGESAGT}) {
        EXPECT_EQ(qv::ui::test::Text(Field(id)), L"") << id << ": shown of a run not loaded";
        EXPECT_FALSE(Enabled(Field(id))) << id;
    }
    EXPECT_FALSE(Checked(Field(IDC_INSTANZDATEN_DAUERMANUELL)));
    EXPECT_TRUE(Page()->IsLoadFailed());
    EXPECT_FALSE(Dlg()->IsEditing());
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
    Screen(Page()->GetSafeHwnd(), kOnPg ? "instanzdatendlg_not_loaded_pg" : "instanzdatendlg_not_loaded");
    let();
    host->FireAccelCommand(L"F5");
    Pump();
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(Page()->m_gridDates.GetItemCount(), 1);
    EXPECT_NE(qv::ui::test::Text(Field(IDC_INSTANZDATEN_ORT)).find(L"8200 Schaffhausen"), std::wstring::npos);
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_BEZEICHNUNG)), L"Frühling");
    EXPECT_TRUE(Enabled(Field(IDC_INSTANZDATEN_BEZEICHNUNG)));
    EXPECT_FALSE(Dlg()->IsEditing());
    Action(ID_KURS_NEW);
    ASSERT_NE(Dlg()->GetRecordID(), kurs);
    ASSERT_EQ(Dlg()->GetSubRecordID(), 0);
    ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 1));
    Pump();
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_ORT)), L"");
    for (int id : {IDC_INSTANZDATEN_ANMELDENVON, IDC_INSTANZDATEN_ANMELDENBIS, IDC_INSTANZDATEN_ABGESAGT})
        EXPECT_EQ(qv::ui::test::Text(Field(id)), L"") << id << ": no date is set without a run";
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_PUBLISH)), L"01.06.2030") << "the module's publication date";
    auto* name = qobject_cast<QLineEdit*>(Widget(Field(IDC_INSTANZDATEN_BEZEICHNUNG)));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text().toStdWString() + L"|" + name->placeholderText().toStdWString(), L"|Bezeichnung eingeben...");
    Screen(Page()->GetSafeHwnd(), "instanzdatendlg_new_course");
}

TEST_F(InstanzdatenTest, TheCentralInstallationKeepsTheRunsInternalRemarkAndTheManualDuration) {
    qv::nq::SetEnterpriseEdition(true);
    AddDate("2031-03-10 08:00:00", "2031-03-10 12:00:00");
    // A federal course's run, cancelled but not closed yet.
    Sql("UPDATE Kurs SET lTyp = 1 WHERE lKursID = " + K(kurs));
    Sql("UPDATE Kursinstanz SET dblDauer = 2, dtAbgesagt = '2031-01-05 00:00:00' WHERE lKursinstanzID = " + K(run));
    options.Set(-1060, L"PublishDate", L"2030-06-01 00:00:00");
    ShowPage();
    EXPECT_TRUE(Visible(Field(IDC_INSTANZDATEN_MININSTR)));
    // The leadership has a right of its own: without it the field is not shown.
    EXPECT_FALSE(Visible(Field(IDC_INSTANZDATEN_LEITUNG)));
    EXPECT_FALSE(ReadOnly(Field(IDC_INSTANZDATEN_TREFFPUNKT)));
    // Switching the publication on proposes the module's publication date, not the picker's own.
    ASSERT_TRUE(TickDatePicker(Field(IDC_INSTANZDATEN_PUBLISH), false));
    Page()->m_dtcPublish.SetTime(COleDateTime(2030, 1, 2, 0, 0, 0));
    Page()->m_dtcPublish.SetTime(NullDate());
    ASSERT_TRUE(TickDatePicker(Field(IDC_INSTANZDATEN_PUBLISH), true));
    EXPECT_EQ(std::wstring(Page()->dtPublish.Format(L"%d.%m.%Y")), L"01.06.2030");
    EXPECT_TRUE(Checked(Field(IDC_INSTANZDATEN_DAUERMANUELL))) << "2 days stored, half a day from the dates";
    EXPECT_FALSE(ReadOnly(Field(IDC_INSTANZDATEN_DAUER)));
    Retype(Field(IDC_INSTANZDATEN_INTERN), L"nur für's Kader");
    Save();
    EXPECT_EQ(Text("SELECT lKursID || '|' || strBemerkungIntern FROM Kursbemerkung WHERE lKursinstanzID = " + K(run)),
              "-1|nur für's Kader");
    Retype(Field(IDC_INSTANZDATEN_INTERN), L"geändert");
    Save();
    EXPECT_EQ(Text("SELECT group_concat(strBemerkungIntern) FROM Kursbemerkung"), "geändert");

    // Unticking the manual duration takes the dates' again.
    Click(Field(IDC_INSTANZDATEN_DAUERMANUELL));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_DAUER)), L"0.50 Tg");
    EXPECT_TRUE(ReadOnly(Field(IDC_INSTANZDATEN_DAUER)));
    Retype(Field(IDC_INSTANZDATEN_INTERN), L"");
    Save();
    EXPECT_EQ(Int("SELECT count(*) FROM Kursbemerkung"), 0) << "an empty remark takes the row away";
    EXPECT_EQ(Text("SELECT dblDauer || '|' || lOrtID || '|' || fGeschlossen || '|' || dtPublish FROM Kursinstanz WHERE "
                   "lKursinstanzID = " + K(run)),
              "0.5|0|1|2030-06-01 00:00:00")
        << "a run without a place keeps none; a cancelled run is saved closed";
    CloseView();
    security.Answer(L"{9EDCBA0D-B489-4774-8503-1B7FAB52F28D}", L"", 0x101);
    ShowPage();
    EXPECT_TRUE(Visible(Field(IDC_INSTANZDATEN_LEITUNG)) && !ReadOnly(Field(IDC_INSTANZDATEN_LEITUNG)));
}

TEST_F(InstanzdatenTest, SwitchingOnTheRegistrationWindowProposesTheDatesOfTheOptions) {
    Sql("UPDATE Kursinstanz SET dtPublish = '2024-03-01 00:00:00' WHERE lKursinstanzID = " + K(run));
    AddDate("2024-05-20 08:00:00", "2024-05-20 17:00:00");
    const std::wstring today(COleDateTime::GetCurrentTime().Format(L"%d.%m.%Y 00:00:00"));
    struct Case { const char* what; long flags, mode; std::wstring bis, von; };
    const Case cases[] = {
        {"opening after the publication", 3, 0, L"14.05.2024 23:59:59", L"29.03.2024 00:00:00"},
        {"opening after the closing", 3, 1, L"14.05.2024 23:59:59", L"11.06.2024 00:00:00"},
        {"opening only", 1, 0, L"", L"29.03.2024 00:00:00"},
        {"nothing proposed", 0, 0, L"", L""},
        {"an unknown mode", 3, 2, L"14.05.2024 23:59:59", L""},
    };
    options.Set(-1060, L"AutoCloseBeforInstanz", 6);
    options.Set(-1060, L"AutoOpenAfterPublish", 28);
    ShowPage();
    for (const Case& c : cases) {
        options.Set(-1060, L"AutoOpenAutoClose", c.flags);
        options.Set(-1060, L"AutoOpenMode", c.mode);
        ASSERT_EQ(Page()->Refresh(), S_OK);
        ASSERT_TRUE(Page()->dtAnmeldenBis.IsNull() && Page()->dtAnmeldenVon.IsNull()) << c.what;
        // An emptied picker shows nothing of the date it showed before (another run's).
        for (CDateTimeCtrl* picker : {&Page()->m_dtcAnmeldenBis, &Page()->m_dtcAnmeldenVon}) {
            picker->SetTime(COleDateTime(2030, 1, 2, 0, 0, 0));
            picker->SetTime(NullDate());
            EXPECT_EQ(Widget(picker->GetSafeHwnd())->findChild<QDateTimeEdit*>()->text().trimmed(), QString()) << c.what;
        }
        ASSERT_TRUE(TickDatePicker(Field(IDC_INSTANZDATEN_ANMELDENBIS), true));
        ASSERT_TRUE(TickDatePicker(Field(IDC_INSTANZDATEN_ANMELDENVON), true));
        const std::wstring bis(Page()->dtAnmeldenBis.Format(L"%d.%m.%Y %H:%M:%S"));
        const std::wstring von(Page()->dtAnmeldenVon.Format(L"%d.%m.%Y %H:%M:%S"));
        // Without a proposal the picker offers today, as a new one does.
        EXPECT_EQ(c.bis.empty() ? bis.substr(0, 10) : bis, c.bis.empty() ? today.substr(0, 10) : c.bis) << c.what;
        EXPECT_EQ(c.von.empty() ? von.substr(0, 10) : von, c.von.empty() ? today.substr(0, 10) : c.von) << c.what;
        Click(Item(IDC_KURSDLG_CANCEL));
    }
    // Without a publication date the opening is today; without dates the closing stays off.
    options.Set(-1060, L"AutoOpenAutoClose", 3);
    options.Set(-1060, L"AutoOpenMode", 0);
    Sql("UPDATE Kursinstanz SET dtPublish = NULL WHERE lKursinstanzID = " + K(run));
    Sql("DELETE FROM Kursinstanzdate");
    ASSERT_EQ(Page()->Refresh(), S_OK);
    ASSERT_TRUE(TickDatePicker(Field(IDC_INSTANZDATEN_ANMELDENVON), true));
    EXPECT_EQ(std::wstring(Page()->dtAnmeldenVon.Format(L"%d.%m.%Y %H:%M:%S")), today);
    TickDatePicker(Field(IDC_INSTANZDATEN_ANMELDENBIS), true);
    EXPECT_TRUE(Page()->dtAnmeldenBis.IsNull());
    EXPECT_FALSE(Checked(Field(IDC_INSTANZDATEN_ANMELDENBIS)));
    Click(Item(IDC_KURSDLG_CANCEL));

    // Over the proposals, the window typed digit by digit as a person types it: a whole date after a
    // click on the day, a day and a month each where it is clicked.
    AddDate("2031-03-10 08:00:00", "2031-03-10 17:00:00");
    ASSERT_EQ(Page()->Refresh(), S_OK);
    ASSERT_TRUE(TickDatePicker(Field(IDC_INSTANZDATEN_ANMELDENVON), true));
    ASSERT_TRUE(TypeDate(Field(IDC_INSTANZDATEN_ANMELDENVON), 0, L"15.01.2031"));
    ASSERT_TRUE(TickDatePicker(Field(IDC_INSTANZDATEN_ANMELDENBIS), true));
    // A day that does not exist, and digits that are no date, are refused with a word as in the
    // dates table, once the year is typed or the field left; the field shows what was typed, as its
    // sections took it, until it is mended or given up with Escape.
    const std::wstring proposed = qv::ui::test::Text(Field(IDC_INSTANZDATEN_ANMELDENBIS));
    struct Typed { const wchar_t *typed, *shown; };
    for (const Typed& t : {Typed{L"31.02.2027", L"31.02.2027"}, Typed{L"1122026", L"11.02.2006"}}) {
        script.ExpectMessageBox(IDOK, L"\"" + std::wstring(t.typed) + L"\" ist kein gültiges Datum. Geben Sie es als TT.MM.JJJJ");
        ASSERT_TRUE(TypeDate(Field(IDC_INSTANZDATEN_ANMELDENBIS), 0, t.typed));
        ASSERT_TRUE(PressKey(Field(IDC_INSTANZDATEN_ANMELDENBIS), VK_TAB));
        EXPECT_EQ(script.Pending(), 0u) << W2U(t.typed);
        EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_ANMELDENBIS)), t.shown) << W2U(t.typed);
    }
    ASSERT_TRUE(PressKey(Field(IDC_INSTANZDATEN_ANMELDENBIS), VK_ESCAPE));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_ANMELDENBIS)), proposed) << "given up";
    EXPECT_TRUE(IsWindowVisible(Page()->GetSafeHwnd())) << "the window stays";
    ASSERT_TRUE(TypeDate(Field(IDC_INSTANZDATEN_ANMELDENBIS), 0, L"28"));
    ASSERT_TRUE(TypeDate(Field(IDC_INSTANZDATEN_ANMELDENBIS), 1, L"02"));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_ANMELDENBIS)), L"28.02.2031");
    Screen(Page()->GetSafeHwnd(), "instanzdatendlg_typed_dates");
    Save();
    EXPECT_EQ(Text("SELECT dtAnmeldenVon || '|' || dtAnmeldenBis FROM Kursinstanz WHERE lKursinstanzID = " + K(run)),
              "2031-01-15 00:00:00|2031-02-28 23:59:59");

    // A click on an unticked field takes the focus from the field clicked before: the date typed
    // lands in it and ticks its box; the other field keeps its text.
    Sql("UPDATE Kursinstanz SET dtAnmeldenVon = NULL, dtAnmeldenBis = NULL, strTreffpunkt = 'Theoriesaal 1. OG' "
        "WHERE lKursinstanzID = " + K(run));
    ASSERT_EQ(Page()->Refresh(), S_OK);
    struct Click2 { const char* what; int before, field; std::wstring beforeText; };
    const Click2 clicks[] = {
        {"Abgesagt am after Treffpunkt", IDC_INSTANZDATEN_TREFFPUNKT, IDC_INSTANZDATEN_ABGESAGT, L"Theoriesaal 1. OG"},
        {"bis after max. Teilnehmer", IDC_INSTANZDATEN_MAXTN, IDC_INSTANZDATEN_ANMELDENBIS, L"12"},
    };
    for (const Click2& c : clicks) {
        ASSERT_TRUE(Click(Field(c.before))) << c.what;
        ASSERT_TRUE(HasFocus(Field(c.before))) << c.what;
        ASSERT_TRUE(Click(Field(c.field))) << c.what;
        EXPECT_TRUE(HasFocus(Field(c.field))) << c.what;
        for (int id : {IDC_INSTANZDATEN_ANMELDENVON, IDC_INSTANZDATEN_ANMELDENBIS, IDC_INSTANZDATEN_ABGESAGT})
            if (!HasFocus(Field(id)))
                EXPECT_FALSE(Widget(Field(id))->findChild<QLineEdit*>()->hasSelectedText())
                    << c.what << ": no caret without the focus";
        ASSERT_TRUE(Type(Field(c.field), L"01122026")) << c.what;
        EXPECT_EQ(qv::ui::test::Text(Field(c.field)), L"01.12.2026") << c.what;
        EXPECT_EQ(qv::ui::test::Text(Field(c.before)), c.beforeText) << c.what;
    }
    EXPECT_TRUE(Checked(Field(IDC_INSTANZDATEN_GESCHLOSSEN))) << "a cancelled run is closed";
    Save();
    EXPECT_EQ(Text("SELECT strTreffpunkt || '|' || lMaxTeilnehmer || '|' || dtAbgesagt || '|' || dtAnmeldenBis "
                   "FROM Kursinstanz WHERE lKursinstanzID = " + K(run)),
              "Theoriesaal 1. OG|12|2026-12-01 00:00:00|2026-12-01 23:59:59");
}

TEST_F(InstanzdatenTest, DatesAreEditedShiftedAppendedRemovedAndSavedWithTheDuration) {
    const long first = AddDate("2031-03-10 08:00:00", "2031-03-10 12:59:00");
    const long second = AddDate("2031-03-17 00:00:00", "");
    Sql("UPDATE Kursinstanz SET dblDauer = 1.5 WHERE lKursinstanzID = " + K(run));
    ShowPage();
    ASSERT_EQ(Rows(Grid()), 2);
    EXPECT_TRUE(Widget(Grid())->updatesEnabled()) << "the loaded dates are drawn";
    EXPECT_TRUE(Scroll(Page()->GetSafeHwnd(), SB_VERT, SB_PAGEDOWN)) << "the page scrolls to its lower fields";
    host->MoveViews(RECT{0, 0, 960, 1200});
    EXPECT_FALSE(Scroll(Page()->GetSafeHwnd(), SB_VERT, SB_PAGEUP)) << "a taller view shows the whole page";
    host->MoveViews(RECT{0, 0, 960, 620});
    EXPECT_EQ(GridRow(0), (std::vector<std::wstring>{L"10.03.2031", L"08:00", L"10.03.2031", L"12:59"}));
    EXPECT_EQ(GridRow(1), (std::vector<std::wstring>{L"17.03.2031", L"", L"", L""}));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_DAUER)), L"1.50 Tg");

    // An end before the start is refused with a word naming both; 6 hours make the half day a
    // whole one.
    CQvGridCtrl& grid = Page()->m_gridDates;
    script.ExpectMessageBox(IDOK, L"Das Ende (10.03.2031 07:00) liegt vor dem Anfang (10.03.2031 08:00)");
    EXPECT_FALSE(grid.SetCellValue(0, 3, L"07:00"));
    script.ExpectMessageBox(IDOK, L"Das Ende (09.03.2031 12:59) liegt vor dem Anfang (10.03.2031 08:00)");
    EXPECT_FALSE(grid.SetCellValue(0, 2, L"09.03.2031"));
    // A start moved keeps the date's length: its end moves with it, past the end too (typed into
    // its cell, digits alone), and back.
    ASSERT_TRUE(grid.EditCell(0, 0));
    ASSERT_TRUE(Retype(grid.GetEditor()->GetSafeHwnd(), L"11032031"));
    ASSERT_TRUE(PressKey(grid.GetEditor()->GetSafeHwnd(), VK_TAB));
    if (grid.IsEditing()) grid.EndEdit(FALSE);
    EXPECT_EQ(GridRow(0), (std::vector<std::wstring>{L"11.03.2031", L"08:00", L"11.03.2031", L"12:59"}));
    Screen(Page()->GetSafeHwnd(), "instanzdatendlg_moved_start");
    ASSERT_TRUE(grid.SetCellValue(0, 2, L"12.03.2031"));
    struct Move { const wchar_t *start, *end, *days; };
    for (const Move& m : {Move{L"31.03.2031", L"01.04.2031", L"3.00 Tg"}, Move{L"10.03.2031", L"11.03.2031", L"3.00 Tg"}}) {
        ASSERT_TRUE(grid.SetCellValue(0, 0, m.start)) << W2U(m.start);
        EXPECT_EQ(GridRow(0), (std::vector<std::wstring>{m.start, L"08:00", m.end, L"12:59"})) << W2U(m.start);
        EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_DAUER)), m.days) << W2U(m.start);
    }
    ASSERT_TRUE(grid.SetCellValue(0, 2, L"10.03.2031"));
    EXPECT_EQ(script.Pending(), 0u);
    EXPECT_EQ(GridRow(0), (std::vector<std::wstring>{L"10.03.2031", L"08:00", L"10.03.2031", L"12:59"}));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_DAUER)), L"1.50 Tg");
    EXPECT_TRUE(grid.SetCellValue(0, 3, L"08:00")) << "an end at the start";
    ASSERT_TRUE(grid.SetCellValue(0, 3, L"14:00"));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_DAUER)), L"2.00 Tg");

    // Appended after the latest date with its times; removed and shifted by a week.
    Click(Field(IDC_INSTANZDATEN_NEWDATE));
    if (grid.IsEditing()) grid.EndEdit(FALSE);
    ASSERT_EQ(Rows(Grid()), 3);
    EXPECT_TRUE(RowSelected(Grid(), 2)) << "the new date is the one to fill in";
    EXPECT_EQ(GridRow(2), (std::vector<std::wstring>{L"18.03.2031", L"", L"", L""}));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_DAUER)), L"3.00 Tg");
    ASSERT_TRUE(SelectRow(Grid(), 1));
    Click(Field(IDC_INSTANZDATEN_DELETEDATE));
    EXPECT_EQ(Page()->arrDeletedDateIDs, (std::vector<long>{second}));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_DAUER)), L"2.00 Tg");
    script.ExpectModal(IDD_GETDATUM, [this](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CGetDatumDlg&>(modal);
        const HWND picker = qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_GETDATUM_DATUM);
        EXPECT_EQ(qv::ui::test::Text(picker), L"10.03.2031");
        // A date picker with its calendar, in German, under the field's right edge.
        ASSERT_TRUE(OpenDateCalendar(picker));
        const std::vector<std::wstring> calendar = CalendarTexts(picker);
        EXPECT_EQ(std::vector<std::wstring>(calendar.begin(), calendar.begin() + std::min<std::size_t>(calendar.size(), 3)),
                  (std::vector<std::wstring>{L"März", L"2031", L"Mo."}));
        QWidget* popup = Widget(picker)->findChild<QCalendarWidget*>()->window();
        EXPECT_EQ(popup->geometry().right(), Widget(picker)->mapToGlobal(QPoint(Widget(picker)->width() - 1, 0)).x());
        Screen(dlg.GetSafeHwnd(), "getdatumdlg_shift");
        std::filesystem::create_directories(QV_SCREENS_DIR);
        EXPECT_TRUE(popup->grab().save(QString::fromStdString(std::string(QV_SCREENS_DIR) + "/getdatumdlg_calendar" +
                                                              (kOnPg ? "_pg" : "") + ".png")));
        ASSERT_TRUE(PressKey(nullptr, VK_ESCAPE));
        EXPECT_FALSE(popup->isVisible());
        // The date typed as digits alone, then the day alone, digit by digit; a day that does not
        // exist is refused with a word and the field shows it as typed until it is mended, also
        // where Enter ends the typing: the dialog stays.
        ASSERT_TRUE(TypeDate(picker, 0, L"26042032"));
        EXPECT_EQ(qv::ui::test::Text(picker), L"26.04.2032");
        script.ExpectMessageBox(IDOK, L"\"31.02.2032\" ist kein gültiges Datum.");
        ASSERT_TRUE(TypeDate(picker, 0, L"31.02.2032"));
        EXPECT_EQ(script.Pending(), 0u);
        EXPECT_EQ(qv::ui::test::Text(picker), L"31.02.2032");
        script.ExpectMessageBox(IDOK, L"\"1122026\" ist kein gültiges Datum.");
        ASSERT_TRUE(TypeDate(picker, 0, L"1122026"));
        ASSERT_TRUE(PressKey(picker, VK_RETURN));
        EXPECT_EQ(script.Pending(), 0u);
        EXPECT_FALSE(modal.IsModalEnded());
        EXPECT_EQ(qv::ui::test::Text(picker), L"11.02.2006");
        ASSERT_TRUE(TypeDate(picker, 0, L"17032031"));
        EXPECT_EQ(qv::ui::test::Text(picker), L"17.03.2031");
        ASSERT_TRUE(TypeDate(picker, 0, L"17"));
        EXPECT_EQ(qv::ui::test::Text(picker), L"17.03.2031");
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    Click(Field(IDC_INSTANZDATEN_SHIFTDATES));
    EXPECT_EQ(GridRow(0), (std::vector<std::wstring>{L"17.03.2031", L"08:00", L"17.03.2031", L"14:00"}));
    EXPECT_EQ(GridRow(1), (std::vector<std::wstring>{L"25.03.2031", L"", L"", L""}));
    Screen(Page()->GetSafeHwnd(), "instanzdatendlg_dates");

    Save();
    EXPECT_EQ(Dates(), "2031-03-17 08:00:00/2031-03-17 14:00:00;2031-03-25 00:00:00/-");
    EXPECT_EQ(Text("SELECT dblDauer || '|' || dtDatum FROM Kursinstanz WHERE lKursinstanzID = " + K(run)),
              std::string(kOnPg ? "2" : "2.0") + "|2031-03-17 08:00:00");
    EXPECT_EQ(Int("SELECT count(*) FROM Kursinstanzdate WHERE lKursinstanzdateID = " + K(first)), 1);
    EXPECT_TRUE(Page()->arrDeletedDateIDs.empty());
    // The log names the removed date although it had no end.
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog WHERE strDetail = 'Delete: 2031-03-17 00:00:00 bis '"), 1);
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog WHERE strDetail LIKE 'Neue Kurszeiten:%'"), 2);
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog WHERE strDetail LIKE 'Neue Kurszeiten: Begin:%08:00% | Ende:%14:00%'"), 1);
    // A cancelled shift leaves the dates as they were: the next save writes none of them again.
    script.ExpectModal(IDD_GETDATUM, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    Click(Field(IDC_INSTANZDATEN_SHIFTDATES));
    Save();
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog WHERE strDetail LIKE 'Neue Kurszeiten:%'"), 2);

    // The last date cannot be removed.
    ASSERT_TRUE(SelectRow(Grid(), 1));
    Click(Field(IDC_INSTANZDATEN_DELETEDATE));
    ASSERT_TRUE(SelectRow(Grid(), 0));
    script.ExpectMessageBox(IDOK, L"Der letzte Datumseintrag kann nicht gelöscht werden.");
    Click(Field(IDC_INSTANZDATEN_DELETEDATE));
    EXPECT_EQ(Rows(Grid()), 1);
    // Without an end date the end time is not held to the start time.
    ASSERT_TRUE(grid.SetCellValue(0, 2, L""));
    EXPECT_TRUE(grid.SetCellValue(0, 3, L"07:00"));
    // A new date follows the latest one, also when the last row holds an earlier one.
    Click(Field(IDC_INSTANZDATEN_NEWDATE));
    if (grid.IsEditing()) grid.EndEdit(FALSE);
    ASSERT_TRUE(grid.SetCellValue(1, 0, L"01.03.2031"));
    Click(Field(IDC_INSTANZDATEN_NEWDATE));
    if (grid.IsEditing()) grid.EndEdit(FALSE);
    EXPECT_EQ(GridRow(2), (std::vector<std::wstring>{L"18.03.2031", L"08:00", L"", L"07:00"}));
    Click(Item(IDC_KURSDLG_CANCEL));

    // A date stored so that it ends before it starts is not saved again with the rest.
    Sql("UPDATE Kursinstanzdate SET dtStart = '2031-03-28 00:00:00', dtEnde = '2031-03-27 23:59:59' WHERE "
        "lKursinstanzdateID = " + K(first));
    ASSERT_EQ(Page()->Refresh(), S_OK);
    Retype(Field(IDC_INSTANZDATEN_TREFFPUNKT), L"Halle 3");
    script.ExpectMessageBox(IDOK, L"Ein Kurstag endet (Ende 27.03.2031) vor seinem Anfang (28.03.2031)");
    Save();
    EXPECT_EQ(script.Pending(), 0u);
    EXPECT_EQ(Int("SELECT count(*) FROM Kursinstanz WHERE strTreffpunkt = 'Halle 3'"), 0);
    Click(Item(IDC_KURSDLG_CANCEL));

    // A day typed into the table that does not exist, or that the row refuses, stops the save
    // before anything is written: the word first, then the cell open again with what was typed.
    // Mended, the save stores it with the rest.
    Sql("UPDATE Kursinstanzdate SET dtStart = '2031-03-10 08:00:00', dtEnde = '2031-03-10 12:59:00' WHERE "
        "lKursinstanzdateID = " + K(first));
    ASSERT_EQ(Page()->Refresh(), S_OK);
    const std::string stored = Dates();
    ASSERT_TRUE(Retype(Field(IDC_INSTANZDATEN_TREFFPUNKT), L"Halle 4"));
    ASSERT_EQ(GridRow(0).at(0), L"10.03.2031");
    struct Refused { const wchar_t* typed; const wchar_t* word; };
    for (const Refused& r : {Refused{L"31.02.2027", L"\"31.02.2027\" ist kein gültiges Datum."},
                             Refused{L"1122026", L"\"1122026\" ist kein gültiges Datum."}}) {
        if (!grid.IsEditing()) ASSERT_TRUE(DoubleClickRow(Grid(), 0)) << W2U(r.typed);
        ASSERT_TRUE(grid.IsEditing() && grid.GetEditColumn() == 0) << W2U(r.typed);
        ASSERT_TRUE(Retype(grid.GetEditor()->GetSafeHwnd(), r.typed));
        script.ExpectMessageBox(IDOK, r.word);
        Save();
        EXPECT_EQ(script.Pending(), 0u) << W2U(r.typed);
        EXPECT_EQ(Dates(), stored) << W2U(r.typed);
        EXPECT_EQ(Int("SELECT count(*) FROM Kursinstanz WHERE strTreffpunkt = 'Halle 4'"), 0) << W2U(r.typed);
        ASSERT_TRUE(grid.IsEditing()) << W2U(r.typed) << ": the cell is open again";
        EXPECT_EQ(grid.GetEditColumn(), 0);
        EXPECT_EQ(qv::ui::test::Text(grid.GetEditor()->GetSafeHwnd()), r.typed);
        EXPECT_TRUE(HasFocus(grid.GetEditor()->GetSafeHwnd())) << W2U(r.typed);
        EXPECT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE))) << "the changes stay to be saved";
    }
    Screen(Page()->GetSafeHwnd(), "instanzdatendlg_refused_date");
    // An end the row refuses: its own word, the cell open again.
    ASSERT_TRUE(Retype(grid.GetEditor()->GetSafeHwnd(), L"10.03.2031"));
    ASSERT_TRUE(PressKey(grid.GetEditor()->GetSafeHwnd(), VK_TAB));
    ASSERT_TRUE(WaitFor([&] { return grid.GetEditColumn() == 1; }));
    ASSERT_TRUE(Retype(grid.GetEditor()->GetSafeHwnd(), L"13:00"));
    script.ExpectMessageBox(IDOK, L"Das Ende (10.03.2031 12:59) liegt vor dem Anfang (10.03.2031 13:00)");
    Save();
    EXPECT_EQ(script.Pending(), 0u);
    EXPECT_EQ(Int("SELECT count(*) FROM Kursinstanz WHERE strTreffpunkt = 'Halle 4'"), 0);
    ASSERT_TRUE(grid.IsEditing());
    EXPECT_EQ(grid.GetEditColumn(), 1);
    EXPECT_EQ(qv::ui::test::Text(grid.GetEditor()->GetSafeHwnd()), L"13:00");
    ASSERT_TRUE(Retype(grid.GetEditor()->GetSafeHwnd(), L"09:00"));
    Save();
    EXPECT_FALSE(grid.IsEditing());
    EXPECT_EQ(Text("SELECT dtStart || '/' || dtEnde FROM Kursinstanzdate WHERE lKursinstanzdateID = " + K(first)),
              "2031-03-10 09:00:00/2031-03-10 12:59:00");
    EXPECT_EQ(Int("SELECT count(*) FROM Kursinstanz WHERE strTreffpunkt = 'Halle 4'"), 1);

    // Typing into a cell of an unchanged page begins the edit. A day refused when the cell is left
    // with a click into another field: the word once, the cell open again with what was typed until
    // it is mended or given up; a save meanwhile says so and writes nothing.
    const std::string saved = Dates();
    ASSERT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
    ASSERT_TRUE(DoubleClickRow(Grid(), 0));
    ASSERT_TRUE(grid.IsEditing());
    ASSERT_TRUE(Retype(grid.GetEditor()->GetSafeHwnd(), L"31.02.2027"));
    EXPECT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE))) << "typing into a cell begins the edit";
    EXPECT_TRUE(Dlg()->IsEditing());
    {
        // The box as the user meets it: it takes the focus and gives it back when it is answered.
        qv::RecordingInteraction real(&qv::ui::QtInteraction());
        qv::ScopedInteraction boxes(&real);
        QString said;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            said = box->text();
            PressKey(nullptr, VK_RETURN);
        });
        answer.start(10);
        ASSERT_TRUE(Click(Field(IDC_INSTANZDATEN_PARKPLATZ)));
        for (int i = 0; i < 20; ++i) Pump();
        answer.stop();
        EXPECT_TRUE(said.contains(QStringLiteral("\"31.02.2027\" ist kein gültiges Datum."))) << said.toStdString();
        EXPECT_EQ(real.Log().Count(qv::InteractionKind::MessageBox), 1u) << "said once";
    }
    ASSERT_TRUE(grid.IsEditing()) << "the refused day stays in its cell";
    EXPECT_EQ(qv::ui::test::Text(grid.GetEditor()->GetSafeHwnd()), L"31.02.2027");
    script.ExpectMessageBox(IDOK, L"\"31.02.2027\" ist kein gültiges Datum.");
    Save();
    EXPECT_EQ(script.Pending(), 0u);
    EXPECT_EQ(Dates(), saved);
    EXPECT_TRUE(grid.IsEditing());
    ASSERT_TRUE(PressKey(grid.GetEditor()->GetSafeHwnd(), VK_ESCAPE));
    EXPECT_FALSE(grid.IsEditing());
    EXPECT_EQ(GridRow(0).at(0), L"10.03.2031") << "given up";
    Click(Item(IDC_KURSDLG_CANCEL));

    // So in a date field: a day its month does not have, typed day and month apart, is refused and
    // nothing is written when a save is asked for while the day is still being typed in the field
    // (the place editor's save, the question before another run is shown): the typing ends first.
    ASSERT_TRUE(Retype(Field(IDC_INSTANZDATEN_TREFFPUNKT), L"Halle 6"));
    const HWND von = Field(IDC_INSTANZDATEN_ANMELDENVON);
    ASSERT_TRUE(TickDatePicker(von, true));
    EXPECT_TRUE(Checked(von));
    ASSERT_TRUE(TypeDate(von, 0, L"31"));
    ASSERT_TRUE(TypeDate(von, 1, L"04"));
    ASSERT_TRUE(HasFocus(von));
    script.ExpectMessageBox(IDOK, L"\"31.04.");
    EXPECT_EQ(Page()->RequestSave(), E_ABORT);
    EXPECT_EQ(script.Pending(), 0u);
    EXPECT_EQ(Int("SELECT count(*) FROM Kursinstanz WHERE strTreffpunkt = 'Halle 6' OR dtAnmeldenVon LIKE '%-04-30%'"), 0);
    EXPECT_TRUE(HasFocus(von));
    // The refused day stays shown as typed until it is mended or given up; a save meanwhile says
    // so once and writes nothing; so does a save clicked while the day is still being typed.
    const std::wstring typed = qv::ui::test::Text(von);
    EXPECT_EQ(typed.substr(0, 6), L"31.04.");
    const std::wstring word = L"\"" + typed + L"\" ist kein gültiges Datum.";
    const auto savedNothing = [&](const char* what) {
        EXPECT_EQ(script.Pending(), 0u) << what;
        EXPECT_EQ(Int("SELECT count(*) FROM Kursinstanz WHERE strTreffpunkt = 'Halle 6' OR dtAnmeldenVon LIKE '%-04-30%'"), 0)
            << what;
        EXPECT_EQ(qv::ui::test::Text(von), typed) << what;
        EXPECT_TRUE(HasFocus(von)) << what;
    };
    script.ExpectMessageBox(IDOK, word.c_str());
    Save();
    savedNothing("refused before");
    ASSERT_TRUE(PressKey(von, VK_ESCAPE));
    EXPECT_NE(qv::ui::test::Text(von), typed) << "given up";
    EXPECT_TRUE(Dlg()->IsEditing());
    ASSERT_TRUE(TypeDate(von, 0, L"31"));
    ASSERT_TRUE(TypeDate(von, 1, L"04"));
    script.ExpectMessageBox(IDOK, word.c_str());
    Save();
    savedNothing("refused as the save is clicked");
    ASSERT_TRUE(TypeDate(von, 0, L"30"));
    Save();
    EXPECT_EQ(script.Pending(), 0u);
    EXPECT_EQ(Int("SELECT count(*) FROM Kursinstanz WHERE strTreffpunkt = 'Halle 6' AND dtAnmeldenVon LIKE '%-04-30%'"), 1)
        << "mended, the day typed is saved";
    Click(Item(IDC_KURSDLG_CANCEL));
}

TEST_F(InstanzdatenTest, TheDurationCountsWholeAndHalfDays) {
    AddDate("2031-03-10 00:00:00", "2031-03-10 23:59:59");
    ShowPage();
    CQvGridCtrl& grid = Page()->m_gridDates;
    struct Case { const wchar_t *start, *from, *end, *to; double days; };
    const Case cases[] = {
        {L"10.03.2031", L"", L"10.03.2031", L"", 1.0},         {L"10.03.2031", L"08:00", L"10.03.2031", L"12:00", 0.5},
        {L"10.03.2031", L"08:00", L"10.03.2031", L"12:59", 0.5}, {L"10.03.2031", L"08:00", L"10.03.2031", L"13:00", 1.0},
        {L"10.03.2031", L"22:00", L"10.03.2031", L"23:59", 0.5}, {L"10.03.2031", L"", L"12.03.2031", L"", 3.0},
        {L"10.03.2031", L"08:00", L"", L"12:00", 1.0},          {L"10.03.2031", L"22:00", L"11.03.2031", L"06:00", 2.0},
    };
    for (const Case& c : cases) {
        for (int column : {3, 2, 1}) ASSERT_TRUE(grid.SetCellValue(0, column, L""));
        ASSERT_TRUE(grid.SetCellValue(0, 0, c.start));
        ASSERT_TRUE(grid.SetCellValue(0, 2, c.end));
        ASSERT_TRUE(grid.SetCellValue(0, 1, c.from));
        ASSERT_TRUE(grid.SetCellValue(0, 3, c.to)) << W2U(c.to) << " after " << W2U(c.from) << " on another day";
        EXPECT_DOUBLE_EQ(Page()->CalcKursdauer(), c.days) << W2U(c.start) << " " << W2U(c.from) << " - " << W2U(c.end)
                                                          << " " << W2U(c.to);
    }
    Click(Item(IDC_KURSDLG_CANCEL));
}

// Two users, each in a course window of his own on the same run: a change one of them saved after
// the other's page was loaded is not written over by the other's next save.
TEST_F(InstanzdatenTest, TwoUsersOnOneRunNeitherLosesTheOthersChange) {
    Sql("UPDATE Kursinstanz SET strTreffpunkt = 'Tor 2', strParkplatz = 'Hof' WHERE lKursinstanzID = " + K(run));
    ShowPage();
    OpenOther();
    CKursDlg* other = otherDlg;
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(other->GetSubRecordID(), run);
    ASSERT_TRUE(ClickTab(other->GetTabCtrl().GetSafeHwnd(), 1));
    Pump();
    const HWND otherPage = other->GetTabCtrl().GetTabWnd(1)->GetSafeHwnd();
    const HWND otherSave = qv::ui::test::Item(other->GetSafeHwnd(), IDC_KURSDLG_SAVE);
    const auto otherField = [&](int id) { return qv::ui::test::Item(otherPage, id); };
    EXPECT_EQ(qv::ui::test::Text(otherField(IDC_INSTANZDATEN_TREFFPUNKT)), L"Tor 2");

    // The first user appends " A" to the meeting point and saves.
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
    ASSERT_TRUE(Type(Field(IDC_INSTANZDATEN_TREFFPUNKT), L" A"));
    Save();
    // His own save is no other's change: his next change goes on at once.
    ASSERT_TRUE(Type(Field(IDC_INSTANZDATEN_BEZEICHNUNG), L"!"));
    Save();
    EXPECT_EQ(Text("SELECT strBezeichnung || '/' || strTreffpunkt FROM Kursinstanz WHERE lKursinstanzID = " + K(run)),
              "Frühling!/Tor 2 A");

    // Anna, whose page was loaded before, appends " B" to the parking: her first key finds the run
    // changed; she is told once and sees it as stored. Typed again, hers is saved beside his.
    script.ExpectReport(L"inzwischen geändert");
    ASSERT_TRUE(Type(otherField(IDC_INSTANZDATEN_PARKPLATZ), L" "));
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(qv::ui::test::Text(otherField(IDC_INSTANZDATEN_TREFFPUNKT)), L"Tor 2 A");
    EXPECT_EQ(qv::ui::test::Text(otherField(IDC_INSTANZDATEN_PARKPLATZ)), L"Hof");
    EXPECT_FALSE(Enabled(otherSave)) << "nothing to save";
    EXPECT_EQ(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(kurs)), "");
    Screen(other->GetSafeHwnd(), "instanzdaten_changed_meanwhile");
    ASSERT_TRUE(Type(otherField(IDC_INSTANZDATEN_PARKPLATZ), L" B"));
    EXPECT_NE(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(kurs)).find("|anna"), std::string::npos);
    ASSERT_TRUE(Click(otherSave));
    EXPECT_EQ(Text("SELECT strTreffpunkt || '/' || strParkplatz FROM Kursinstanz WHERE lKursinstanzID = " + K(run)),
              "Tor 2 A/Hof B");
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);

    // A document the suite's document store has out for editing under Anna's login on this
    // computer counts in the document icon of hers, not of the first user's.
    Sql("INSERT INTO DocImage (lDocImageID, strFileName, strEditPath, strLock) VALUES (1, 'a.pdf', '/tmp/a.pdf', "
        "'2026-01-05 10:00:00|" + QvGetComputerName(0, 0).ToUtf8() + "|anna')");
    const auto editing = [](CKursDlg* dlg) {
        const CString tip = dlg->GetToolTipText(qv::ui::test::Item(dlg->GetSafeHwnd(), IDC_NQ_ICON_DOCMNGMT));
        return tip.Find(L"Mindestens ein Dokument befindet sich in Bearbeitung.") >= 0;
    };
    ASSERT_EQ(Dlg()->Navigate(-1, 0), S_OK);
    EXPECT_FALSE(editing(Dlg()));
    {
        qvtest::ScopedEnv user("USER", "anna");
        ASSERT_EQ(other->Navigate(-1, 0), S_OK);
    }
    EXPECT_TRUE(editing(other));
}

// Anna deletes what the first user shows: a run before his first key, a run he is editing before
// his save, the course before his first key. Each time he is told once that the record is gone,
// nothing is written and no edit stays open, and his window shows what is stored.
TEST_F(InstanzdatenTest, ARunOrCourseDeletedByAnotherUserIsSaidGoneOnceAndTheWindowShowsWhatIsStored) {
    const long second = AddRun(kurs, "2029-04-10", "Sommer");
    ShowPage();
    OpenOther();
    ASSERT_NE(otherDlg, nullptr);
    const auto reports = [&] { return script.Log().Count(qv::InteractionKind::Report); };
    const auto gone = [&](const char* what, long kursShown, long deleted) {
        SCOPED_TRACE(what);
        EXPECT_EQ(reports(), 1u);
        EXPECT_EQ(Dlg()->GetRecordID(), kursShown);
        EXPECT_EQ(Dlg()->GetSubRecordID(), 0);
        EXPECT_FALSE(Dlg()->IsEditing());
        EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
        EXPECT_EQ(Int("SELECT count(*) FROM Kurs WHERE strLock <> ''"), 0);
        EXPECT_EQ(Int("SELECT count(*) FROM Kursinstanz WHERE lKursinstanzID = " + K(deleted)), 0) << "not written again";
        EXPECT_EQ(Int("SELECT count(*) FROM UserLog WHERE strText LIKE '%aktualisiert%'"), 0) << "nothing written";
        script.Log().Clear();
    };

    // The run, before the first key.
    script.ExpectMessageBox(IDYES, L"Soll die Austragung");
    OtherAction(ID_KURS_DELETE);
    ASSERT_EQ(Int("SELECT count(*) FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), 0);
    script.Log().Clear();
    script.ExpectReport(L"Der Datensatz wurde gelöscht!");
    ASSERT_TRUE(Type(Field(IDC_INSTANZDATEN_TREFFPUNKT), L"x"));
    gone("the run at the first key", kurs, run);
    Screen(Dlg()->GetSafeHwnd(), "kursdlg_run_deleted_meanwhile");

    // The run being edited, at the save.
    ASSERT_EQ(Dlg()->Navigate(kurs, second), S_OK);
    ASSERT_EQ(otherDlg->Navigate(kurs, second), S_OK);
    ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 1));
    Pump();
    ASSERT_TRUE(Type(Field(IDC_INSTANZDATEN_TREFFPUNKT), L"x"));
    ASSERT_TRUE(Dlg()->IsEditing());
    script.ExpectMessageBox(IDYES, L"Soll die Austragung");
    OtherAction(ID_KURS_DELETE);
    ASSERT_EQ(Int("SELECT count(*) FROM Kursinstanz WHERE lKursinstanzID = " + K(second)), 0);
    script.Log().Clear();
    script.ExpectReport(L"Der Datensatz wurde gelöscht!");
    Save();
    gone("the run at the save", kurs, second);

    // The course being edited, at the save; another course, before the first key.
    const long empty = AddKurs(3, "AK");
    ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 0));
    Pump();
    for (const bool atSave : {true, false}) {
        const long shown = atSave ? kurs : empty;
        ASSERT_EQ(Dlg()->Navigate(shown, 0), S_OK);
        ASSERT_EQ(otherDlg->Navigate(shown, 0), S_OK);
        ASSERT_EQ(otherDlg->Navigate(-1, 0), S_OK);  // Anna's window shows the course free again
        const HWND name = qv::ui::test::Item(KursWindow::Page(0)->GetSafeHwnd(), IDC_KURSDATEN_BEZEICHNUNG);
        if (atSave) ASSERT_TRUE(Type(name, L"x"));
        script.ExpectMessageBox(IDYES, L"Soll der Kurs");
        OtherAction(ID_KURS_DELETE);
        ASSERT_EQ(Int("SELECT count(*) FROM Kurs WHERE lKursID = " + K(shown)), 0);
        script.Log().Clear();
        script.ExpectReport(L"Der Datensatz wurde gelöscht!");
        if (atSave) Save();
        else ASSERT_TRUE(Type(name, L"x"));
        gone(atSave ? "the course at the save" : "the course at the first key", 0, second);
        EXPECT_EQ(qv::ui::test::Text(Item(IDC_KURSDLG_TITLE)), L"Kein Kurs ausgewählt");
    }
}

// The automatic closing of runs writes without the lock: a run page edited meanwhile does not open
// the run again at its save. Its user is told, the page shows the run as stored, and his next
// change is saved over it.
TEST_F(InstanzdatenTest, ARunClosedAutomaticallyWhileItsPageIsEditedStaysClosedAtTheSave) {
    // The window shown applies the registration window itself: it ends only after the edit began.
    Sql("UPDATE Kursinstanz SET dtAnmeldenVon = datetime('now', 'localtime', '-20 days'), dtAnmeldenBis = "
        "datetime('now', 'localtime', '+1 days'), fGeschlossen = 0 WHERE lKursinstanzID = " + K(run));
    ShowPage();
    ASSERT_FALSE(Checked(Field(IDC_INSTANZDATEN_GESCHLOSSEN)));
    ASSERT_TRUE(Type(Field(IDC_INSTANZDATEN_TREFFPUNKT), L"Tor 3"));
    Sql("UPDATE Kursinstanz SET dtAnmeldenBis = datetime('now', 'localtime', '-1 days') WHERE lKursinstanzID = " +
        K(run));
    ASSERT_EQ(VRQ_CheckAutoOpenAutoCloseKursinstanz(run), S_OK);
    ASSERT_EQ(Int("SELECT fGeschlossen FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), 1);
    script.ExpectReport(L"inzwischen geändert");
    Save();
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(Text("SELECT fGeschlossen || '/' || strTreffpunkt FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), "1/");
    EXPECT_TRUE(Checked(Field(IDC_INSTANZDATEN_GESCHLOSSEN)));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_TREFFPUNKT)), L"");
    EXPECT_FALSE(Dlg()->IsEditing());
    EXPECT_EQ(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(kurs)), "");
    ASSERT_TRUE(Type(Field(IDC_INSTANZDATEN_TREFFPUNKT), L"Tor 3"));
    Save();
    EXPECT_EQ(Text("SELECT fGeschlossen || '/' || strTreffpunkt FROM Kursinstanz WHERE lKursinstanzID = " + K(run)),
              "1/Tor 3");
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
}

// A run is open for registration while its window runs: the page shows "Geschlossen" as the run
// will be stored and saves it so at once, as the window's check would when the run is shown next.
TEST_F(InstanzdatenTest, ARunSavedWithARegistrationWindowIsOpenOrClosedAsItsWindowSaysAtOnce) {
    ShowPage();
    Action(ID_KURSINSTANZ_NEW);
    run = Dlg()->GetSubRecordID();
    ASSERT_NE(run, 0);
    ASSERT_EQ(Int("SELECT fGeschlossen FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), 1) << "a new run is closed";
    ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 1));
    Pump();
    ASSERT_TRUE(Checked(Field(IDC_INSTANZDATEN_GESCHLOSSEN)));
    const COleDateTime now = COleDateTime::GetCurrentTime();
    const auto pick = [&](int id, int days) {
        const COleDateTime day = now + COleDateTimeSpan(days, 0, 0, 0);
        if (!Checked(Field(id))) ASSERT_TRUE(TickDatePicker(Field(id), true)) << id;
        ASSERT_TRUE(Checked(Field(id))) << id;
        ASSERT_TRUE(PickDate(Field(id), day.GetYear(), day.GetMonth(), day.GetDay())) << id << " " << days;
    };
    const auto stored = [&] { return Int("SELECT fGeschlossen FROM Kursinstanz WHERE lKursinstanzID = " + K(run)); };
    // Typed as the user types them: name, places, the window around today, a date ahead.
    ASSERT_TRUE(Retype(Field(IDC_INSTANZDATEN_BEZEICHNUNG), L"Herbst"));
    ASSERT_TRUE(Retype(Field(IDC_INSTANZDATEN_MAXTN), L"8"));
    pick(IDC_INSTANZDATEN_ANMELDENVON, -8);
    pick(IDC_INSTANZDATEN_ANMELDENBIS, 42);
    EXPECT_FALSE(Checked(Field(IDC_INSTANZDATEN_GESCHLOSSEN))) << "the window runs: the run will be open";
    EXPECT_FALSE(Enabled(Field(IDC_INSTANZDATEN_GESCHLOSSEN)));
    ASSERT_TRUE(Page()->m_gridDates.SetCellValue(0, 0, (now + COleDateTimeSpan(60, 0, 0, 0)).Format(L"%d.%m.%Y")));
    Screen(Page()->GetSafeHwnd(), "instanzdatendlg_window_open");
    Save();
    EXPECT_EQ(stored(), 0) << "open at once, not at the next start";
    EXPECT_FALSE(Checked(Field(IDC_INSTANZDATEN_GESCHLOSSEN)));
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog WHERE strDetail LIKE '%| Geschlossen:0 |%'"), 1);

    // Each case changes the run saved before: the box first, then what is stored.
    struct Case {
        const char* what;
        int von, bis, datum, abgesagt;  // days from today; 0: switched off
        bool closed;
    };
    const Case cases[] = {
        {"the window ended", -30, -2, 60, 0, true},
        {"running until the run's first date", -8, 0, 60, 0, false},
        {"without a closing date and the run's date past", -8, 0, -1, 0, false},
        {"cancelled", -8, 42, 60, -1, true},
    };
    for (const Case& c : cases) {
        if (c.datum) ASSERT_TRUE(Page()->m_gridDates.SetCellValue(0, 0, (now + COleDateTimeSpan(c.datum, 0, 0, 0)).Format(L"%d.%m.%Y"))) << c.what;
        for (const auto& [id, days] : {std::pair{IDC_INSTANZDATEN_ANMELDENVON, c.von}, std::pair{IDC_INSTANZDATEN_ANMELDENBIS, c.bis},
                                       std::pair{IDC_INSTANZDATEN_ABGESAGT, c.abgesagt}}) {
            if (days) pick(id, days);
            else if (Checked(Field(id))) ASSERT_TRUE(TickDatePicker(Field(id), false)) << c.what;
        }
        EXPECT_EQ(Checked(Field(IDC_INSTANZDATEN_GESCHLOSSEN)), c.closed) << c.what;
        EXPECT_FALSE(Enabled(Field(IDC_INSTANZDATEN_GESCHLOSSEN))) << c.what;
        Save();
        EXPECT_FALSE(Dlg()->IsEditing()) << c.what;
        EXPECT_EQ(stored(), c.closed ? 1 : 0) << c.what;
        EXPECT_EQ(Checked(Field(IDC_INSTANZDATEN_GESCHLOSSEN)), c.closed) << c.what << ": shown as stored";
    }
    // A window that has not begun leaves the choice to the user.
    pick(IDC_INSTANZDATEN_ANMELDENVON, 3);
    ASSERT_TRUE(TickDatePicker(Field(IDC_INSTANZDATEN_ABGESAGT), false));
    ASSERT_TRUE(Enabled(Field(IDC_INSTANZDATEN_GESCHLOSSEN)));
    EXPECT_TRUE(Checked(Field(IDC_INSTANZDATEN_GESCHLOSSEN)));
    Click(Field(IDC_INSTANZDATEN_GESCHLOSSEN));
    pick(IDC_INSTANZDATEN_ANMELDENBIS, 50);
    EXPECT_FALSE(Checked(Field(IDC_INSTANZDATEN_GESCHLOSSEN))) << "the user's choice stays";
    Save();
    EXPECT_EQ(stored(), 0);
    EXPECT_EQ(Text("SELECT strBezeichnung || '|' || lMaxTeilnehmer FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), "Herbst|8");
}

TEST_F(InstanzdatenTest, AChangeOfTheRunElsewhereReloadsThePageWhenItIsShownNext) {
    // The first run of an installation is number 1.
    Sql("UPDATE SecKurs SET lKursinstanzID = 1 WHERE lKursinstanzID = " + K(run));
    Sql("UPDATE Kursinstanz SET lKursinstanzID = 1 WHERE lKursinstanzID = " + K(run));
    run = 1;
    ShowPage();
    ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 0));
    Sql("UPDATE Kursinstanz SET strBezeichnung = 'Sommer' WHERE lKursinstanzID = " + K(run));
    CQvEventSource events;
    ASSERT_EQ(events.FireEvent(kRunChanged, run + 1, FALSE), S_OK);  // another run
    EXPECT_FALSE(WaitFor([&] { return Page()->GetModifiedFlag() != FALSE; }, 500)) << "another run's change is not ours";
    ASSERT_EQ(events.FireEvent(kRunChanged, run, FALSE), S_OK);
    EXPECT_TRUE(WaitFor([&] { return Page()->GetModifiedFlag() != FALSE; }));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_BEZEICHNUNG)), L"Frühling");
    ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 1));
    Pump();
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_BEZEICHNUNG)), L"Sommer");
    // So does a change of the active Mandant.
    ASSERT_FALSE(Page()->GetModifiedFlag());
    ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 0));
    ASSERT_EQ(events.FireEvent(qv::MakeGuid("D643F415-8768-44A9-8804-C701EF1FCAD9"), 0L, FALSE), S_OK);
    EXPECT_TRUE(WaitFor([&] { return Page()->GetModifiedFlag() != FALSE; }));
}

TEST_F(InstanzdatenTest, AfterNoAtTheSaveQuestionTheNextInputIsEditedAndSavedOnBothPages) {
    const long other = AddRun(kurs, "2030-09-01", "Herbst");
    ShowPage();
    const auto name = [&](int tab) {
        return qv::ui::test::Item(KursWindow::Page(tab)->GetSafeHwnd(),
                                  tab == 1 ? IDC_INSTANZDATEN_BEZEICHNUNG : IDC_KURSDATEN_BEZEICHNUNG);
    };
    // On the run's page and on the course's: typed, No when another run (or the same one again) is
    // shown: the stored data is shown again, the next input begins an edit and is saved.
    for (int tab : {1, 0}) {
        ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), tab));
        Pump();
        Retype(name(tab), L"verworfen");
        script.ExpectMessageBox(IDNO, L"Sie haben die Daten geändert!");
        ASSERT_EQ(Dlg()->Navigate(kurs, tab == 1 ? other : run), S_OK);
        ASSERT_EQ(Dlg()->Navigate(kurs, run), S_OK);
        Pump();
        EXPECT_EQ(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(kurs)), "") << "No gives the course free";
        EXPECT_NE(qv::ui::test::Text(name(tab)), L"verworfen");
        Retype(name(tab), tab == 1 ? L"Frühling neu" : L"Grundkurs neu");
        EXPECT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE))) << tab;
        EXPECT_NE(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(kurs)), "") << tab;
        Save();
    }
    EXPECT_EQ(Text("SELECT strBezeichnung FROM Kurs WHERE lKursID = " + K(kurs)), "Grundkurs neu");
    EXPECT_EQ(Text("SELECT strBezeichnung FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), "Frühling neu");
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
}

TEST_F(InstanzdatenTest, ASaveRolledBackMidwayLeavesTheChangesPendingAndTheNextSaveStoresTheGrid) {
    AddDate("2031-03-10 08:00:00", "2031-03-10 12:00:00");
    AddDate("2031-03-17 00:00:00", "2031-03-17 23:59:59");
    const std::string before = Dates();
    ShowPage();
    CQvGridCtrl& grid = Page()->m_gridDates;
    ASSERT_TRUE(grid.SetCellValue(0, 3, L"16:00"));
    Click(Field(IDC_INSTANZDATEN_NEWDATE));
    if (grid.IsEditing()) grid.EndEdit(FALSE);
    ASSERT_TRUE(SelectRow(Grid(), 1));
    Click(Field(IDC_INSTANZDATEN_DELETEDATE));
    Retype(Field(IDC_INSTANZDATEN_BEZEICHNUNG), L"kaputt");

    // The run row is written after the dates: its failure takes the dates back as well.
    Sql("CREATE TRIGGER Kursinstanz_Refuse BEFORE UPDATE ON Kursinstanz WHEN new.strBezeichnung = 'kaputt' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    script.AllowReports(true);
    Save();
    EXPECT_EQ(Dates(), before);
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog"), 0);
    EXPECT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE))) << "the changes are still to be saved";
    EXPECT_EQ(Page()->arrDeletedDateIDs.size(), 1u);

    Sql("DROP TRIGGER Kursinstanz_Refuse");
    script.AllowReports(false);
    Save();
    EXPECT_EQ(Dates(), "2031-03-10 08:00:00/2031-03-10 16:00:00;2031-03-18 00:00:00/2031-03-18 23:59:59");
    EXPECT_EQ(Text("SELECT strBezeichnung FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), "kaputt");
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
    // The first of two dates can be removed as well.
    ASSERT_TRUE(SelectRow(Grid(), 0));
    Click(Field(IDC_INSTANZDATEN_DELETEDATE));
    Save();
    EXPECT_EQ(Dates(), "2031-03-18 00:00:00/2031-03-18 23:59:59");
#ifdef QV_KURS_PG
    // The server process of the window's own connection stops: with a command timeout of 1 s the
    // save gives up within its bound, says once that the server does not answer and keeps the
    // change, which the next save stores once the server goes on.
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DefaultCommandTimeout [s]", 1L));
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DefaultExecuteRetry", 1L));
    Retype(Field(IDC_INSTANZDATEN_BEZEICHNUNG), L"still");
    script.Log().Clear();
    const int pid = StopOwnServerProcess(*pg);
    ASSERT_GT(pid, 0);
    script.ExpectReport(L"Description:  Der Datenbankserver antwortet nicht.");
    const std::wstring title = qv::ui::test::Text(Item(IDC_KURSDLG_TITLE));
    const auto start = std::chrono::steady_clock::now();
    Save();
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    kill(pid, SIGCONT);
    Pump();
    EXPECT_EQ(qv::ui::test::Text(Item(IDC_KURSDLG_TITLE)), title) << "the header lost the course and run";
    EXPECT_LT(waited, 1.0 + 1.0 + 1.0);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u);
    EXPECT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE))) << "the change is still to be saved";
    Save();
    EXPECT_EQ(Text("SELECT strBezeichnung FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), "still");
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);

    // The whole server stands still, its listener too: the save gives up within the command
    // timeout times the tries, the connections it would make again included, and keeps the change.
    {
        const wchar_t* const profile = L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2";
        CString direct;
        ASSERT_TRUE(CQvRegistry::GetValue(profile, L"DBConnection", direct));
        qvtest::PgFaultProxy proxy(qvtest::PortOf(qvtest::PgClusterUrl()));
        ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DBConnection",
                                          CString(proxy.Through(qv::ToUtf8(direct.GetString())).c_str())));
        ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DefaultExecuteRetry", 2L));
        Retype(Field(IDC_INSTANZDATEN_BEZEICHNUNG), L"through");
        Save();
        ASSERT_EQ(Text("SELECT strBezeichnung FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), "through");
        Retype(Field(IDC_INSTANZDATEN_BEZEICHNUNG), L"frozen");
        script.Log().Clear();
        const int frozen = StopOwnServerProcess(*pg);
        ASSERT_GT(frozen, 0);
        proxy.Listen(false);
        script.AllowReports(true);
        const auto begin = std::chrono::steady_clock::now();
        Save();
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        kill(frozen, SIGCONT);
        proxy.Listen(true);
        Pump();
        EXPECT_LT(took, 1.0 * 2 + 0.5) << "the command timeout times the tries";
        std::printf("Speichern, listener and process stopped, timeout 1 s, 2 tries: %.2f s\n", took);
        EXPECT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE))) << "the change is still to be saved";
        const auto reports = script.Log().Records(qv::InteractionKind::Report);
        ASSERT_FALSE(reports.empty());
        EXPECT_NE(reports[0].text.find(L"Der Datenbankserver antwortet nicht."), std::wstring::npos)
            << W2U(reports[0].text);
        ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DBConnection", direct));
        ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DefaultExecuteRetry", 1L));
        Pump();
        script.Log().Clear();
        script.AllowReports(false);
        Save();
        EXPECT_EQ(Text("SELECT strBezeichnung FROM Kursinstanz WHERE lKursinstanzID = " + K(run)), "frozen");
    }
#endif
}

TEST_F(InstanzdatenTest, TheBudgetRoundTripsThroughTheBudgetModule) {
    qv::budget::SetBudgetRunning(true);
    options.Set(-1020, L"RoundBudget", 5);  // as installed: to 0.05
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"ActMandantID", static_cast<DWORD>(mandant));
    Sql("UPDATE Mandant SET fActive = 1 WHERE lMandantID = " + K(mandant));
    Sql("INSERT INTO BudgetKonto (lBudgetKontoID, lMandantID, strNummer, strBezeichnung, lStdTyp, lStdArt) VALUES "
        "(1, " + K(mandant) + ", '3000', 'Kurse Aufwand', 3, 1), (2, " + K(mandant) + ", '3100', 'Material', 0, 0), "
        "(3, " + K(mandant) + ", '6000', 'Kurse Ertrag', 3, 2), (4, 999, '9999', 'fremd', 3, 1)");
    AddDate("2031-03-10 00:00:00", "2031-03-10 23:59:59");
    ShowPage();
    HWND aufwand = Page()->m_cbKontoAufwand.GetSafeHwnd();
    HWND ertrag = Page()->m_cbKontoErtrag.GetSafeHwnd();
    EXPECT_EQ(ComboItems(aufwand), (std::vector<std::wstring>{L"3000 Kurse Aufwand (Standard)", L"3100 Material",
                                                              L"6000 Kurse Ertrag (Standard)"}));
    EXPECT_EQ(qv::ui::test::Text(aufwand), L"3000 Kurse Aufwand (Standard)") << "the Mandant's standard account";
    EXPECT_EQ(ComboItems(ertrag), ComboItems(aufwand));
    EXPECT_TRUE(Visible(ertrag) && Enabled(ertrag));
    EXPECT_EQ(qv::ui::test::Text(ertrag), L"6000 Kurse Ertrag (Standard)");
    EXPECT_FALSE(ReadOnly(Field(IDC_INSTANZDATEN_AUFWAND)));

    Retype(Field(IDC_INSTANZDATEN_AUFWAND), L"1'250.50");
    ASSERT_TRUE(SelectComboItem(ertrag, 1));
    Retype(Field(IDC_INSTANZDATEN_ERTRAG), L"800.02");
    Screen(Page()->GetSafeHwnd(), "instanzdatendlg");
    Save();
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_ERTRAG)), L"800.00") << "as stored, rounded to 0.05";
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
    // Only the changed account is linked; both amounts are written under their accounts.
    EXPECT_EQ(Text("SELECT group_concat(lLinkTyp || ':' || lBudgetKontoID) FROM BudgetKontoLink"), "1:2");
    EXPECT_EQ(Text("SELECT group_concat(l, ';') FROM (SELECT lLinkTyp || ':' || lBudgetKontoID || ':' || curBetrag || "
                   "':' || strText || ':' || lRecordID || ':' || lTableID AS l FROM BudgetBuchungssatz ORDER BY lLinkTyp)"),
              "-1:1:1250.5:Kursaustragung: Frühling:" + K(run) + ":42;1:2:" + (kOnPg ? "800" : "800.0") + ":Kursaustragung: Frühling:" + K(run) +
                  ":42");
    EXPECT_TRUE(WaitFor([&] { return listener.budgets.load() == 1; }));
    EXPECT_EQ(listener.lastBudget, 0) << "the budget event names no run";

    CloseView();
    ShowPage();
    EXPECT_EQ(qv::ui::test::Text(Page()->m_cbKontoErtrag.GetSafeHwnd()), L"3100 Material");
    // The run's own account: no account is marked as the standard one.
    EXPECT_EQ(ComboItems(Page()->m_cbKontoErtrag.GetSafeHwnd()),
              (std::vector<std::wstring>{L"3000 Kurse Aufwand", L"3100 Material", L"6000 Kurse Ertrag"}));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_AUFWAND)), L"1'250.50");
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_INSTANZDATEN_ERTRAG)), L"800.00");
    // The expense moved to another account: both links are kept.
    ASSERT_TRUE(SelectComboItem(Page()->m_cbKontoAufwand.GetSafeHwnd(), 1));
    Save();
    EXPECT_EQ(Text("SELECT group_concat(l) FROM (SELECT lLinkTyp || ':' || lBudgetKontoID AS l FROM BudgetKontoLink "
                   "ORDER BY lLinkTyp)"),
              "-1:2,1:2");

    // A run that cannot be read leaves the page stale: no edit begins on the amounts it never
    // read, and nothing is saved over the stored run and budget.
    CloseView();
    Sql("ALTER TABLE Kursbemerkung RENAME TO KursbemerkungGone");
    script.AllowReports(true);
    ShowPage();
    Retype(Field(IDC_INSTANZDATEN_BEZEICHNUNG), L"ungelesen");
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
    Save();
    Sql("ALTER TABLE KursbemerkungGone RENAME TO Kursbemerkung");
    script.AllowReports(false);
    EXPECT_EQ(Text("SELECT group_concat(curBetrag, ';') FROM (SELECT curBetrag FROM BudgetBuchungssatz ORDER BY lLinkTyp)"),
              std::string("1250.5;") + (kOnPg ? "800" : "800.0"));
    EXPECT_EQ(Text("SELECT strBezeichnung || '|' || lMaxTeilnehmer FROM Kursinstanz WHERE lKursinstanzID = " + K(run)),
              "Frühling|12");

    // With the budget's read right only, the accounts and amounts are shown and cannot be changed.
    CloseView();
    security.Answer(L"{26522EFD-1FAB-468E-9D15-6917C79A763B}", L"", 0x1);
    ShowPage();
    EXPECT_EQ(qv::ui::test::Text(Page()->m_cbKontoErtrag.GetSafeHwnd()), L"3100 Material");
    EXPECT_FALSE(Enabled(Page()->m_cbKontoAufwand.GetSafeHwnd()));
    EXPECT_FALSE(Enabled(Page()->m_cbKontoErtrag.GetSafeHwnd()));
    EXPECT_TRUE(ReadOnly(Field(IDC_INSTANZDATEN_AUFWAND)));
    EXPECT_TRUE(ReadOnly(Field(IDC_INSTANZDATEN_ERTRAG)));
    security.Answer(L"{26522EFD-1FAB-468E-9D15-6917C79A763B}", L"", 0x101);

    // Without the budget module the group is read-only and nothing is written.
    CloseView();
    qv::budget::SetBudgetRunning(false);
    ShowPage();
    EXPECT_TRUE(ReadOnly(Field(IDC_INSTANZDATEN_AUFWAND)));
    EXPECT_TRUE(ReadOnly(Field(IDC_INSTANZDATEN_ERTRAG)));
    EXPECT_FALSE(Enabled(Page()->m_cbKontoAufwand.GetSafeHwnd()));
    EXPECT_FALSE(Enabled(Page()->m_cbKontoErtrag.GetSafeHwnd()));

    // An income left on the standard account stays unlinked when only its amount changes.
    CloseView();
    qv::budget::SetBudgetRunning(true);
    Sql("DELETE FROM BudgetKontoLink WHERE lLinkTyp = 1");
    ShowPage();
    Retype(Field(IDC_INSTANZDATEN_ERTRAG), L"900");
    Save();
    EXPECT_EQ(Text("SELECT group_concat(lLinkTyp || ':' || lBudgetKontoID) FROM BudgetKontoLink"), "-1:2");
}

class ReservationTest : public InstanzdatenTest {
protected:
    long year = COleDateTime::GetCurrentTime().GetYear();
    long AddReservation(long y, long count) {
        const long id = ++nextDate;
        Sql("INSERT INTO Kursreservation (lKursreservationID, lMandantID, lKursID, lYear, lAnzahl) VALUES (" + K(id) + ", " +
            K(mandant) + ", " + K(kurs) + ", " + K(y) + ", " + K(count) + ")");
        return id;
    }
    HWND Field(CEditReservationDlg& dlg, int id) { return qv::ui::test::Item(dlg.GetSafeHwnd(), id); }
};

TEST_F(ReservationTest, ANewReservationOpenedWithMinusOneTakesTheFirstFreeYearAndIsCreated) {
    CKursResourceScope scope;
    AddReservation(year, 3);
    AddReservation(year + 1, 2);
    CEditReservationDlg dlg(mandant);
    dlg.lKursID = kurs;
    dlg.lKursreservationID = -1;
    script.ExpectModal(IDD_EDITRESERVATION, [&](qv::IModalDialog&) {
        EXPECT_EQ(qv::ui::test::Text(Field(dlg, IDC_EDITRESERVATION_YEAR)), std::to_wstring(year + 2));
        EXPECT_EQ(qv::ui::test::Text(Field(dlg, IDC_EDITRESERVATION_ANZAHL)), L"1");
        EXPECT_EQ(qv::ui::test::Text(Field(dlg, IDC_EDITRESERVATION_KURS)), L"GK, GK Kurs");
        Retype(Field(dlg, IDC_EDITRESERVATION_BEMERKUNG), L"für d'Jugendfeuerwehr");
        Retype(Field(dlg, IDC_EDITRESERVATION_ANZAHL), L"150");
        script.ExpectMessageBox(IDOK);  // the count's range
        Click(dlg.GetSafeHwnd(), IDOK);
        ASSERT_FALSE(dlg.IsModalEnded());
        Retype(Field(dlg, IDC_EDITRESERVATION_ANZAHL), L"4");
        Screen(dlg.GetSafeHwnd(), "editreservationdlg");
        // A refused INSERT leaves the reservation a new one: the next OK inserts it.
        Sql("CREATE TRIGGER Kursreservation_Refuse BEFORE INSERT ON Kursreservation BEGIN SELECT RAISE(ABORT, "
            "'refused'); END");
        script.ExpectReport();
        script.ExpectReport();
        Click(dlg.GetSafeHwnd(), IDOK);
        ASSERT_FALSE(dlg.IsModalEnded());
        EXPECT_LE(dlg.lKursreservationID, 0);
        Sql("DROP TRIGGER Kursreservation_Refuse");
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_GT(dlg.lKursreservationID, 0);
    EXPECT_EQ(Text("SELECT lMandantID || '|' || lYear || '|' || lAnzahl || '|' || strBemerkung FROM Kursreservation "
                   "WHERE lKursreservationID = " + K(dlg.lKursreservationID)),
              K(mandant) + "|" + K(year + 2) + "|4|für d'Jugendfeuerwehr");
    EXPECT_EQ(Text("SELECT strText || '|' || strDetail || '|' || lTableID FROM UserLog"),
              "Reservationen neu hinzugefügt.|Jahr:" + K(year + 2) + " | Anzahl:4 | Bemerkung:für d''Jugendfeuerwehr|39");
}

TEST_F(ReservationTest, ASecondReservationForTheSameYearIsRefusedAtOkAndAVanishedOneIsNotReportedSaved) {
    CKursResourceScope scope;
    AddReservation(year, 3);
    const long next = AddReservation(year + 1, 2);
    {
        // Enter in the year field reaches OK without the field losing the focus.
        CEditReservationDlg dlg(mandant);
        dlg.lKursID = kurs;
        script.ExpectModal(IDD_EDITRESERVATION, [&](qv::IModalDialog& modal) {
            HWND edit = Field(dlg, IDC_EDITRESERVATION_YEAR);
            // Leaving the field with a reserved year is refused at once.
            Retype(edit, std::to_wstring(year));
            script.ExpectMessageBox(IDOK, L"Für das Jahr " + std::to_wstring(year) + L" ist bereits eine Reservation");
            ASSERT_TRUE(PressKey(nullptr, VK_TAB));
            EXPECT_EQ(script.Pending(), 0u);
            EXPECT_EQ(qv::ui::test::Text(edit), std::to_wstring(year + 2));
            Retype(edit, std::to_wstring(year + 1));
            script.ExpectMessageBox(IDOK, L"Für das Jahr " + std::to_wstring(year + 1) + L" ist bereits eine Reservation");
            PressKey(edit, VK_RETURN);
            EXPECT_FALSE(modal.IsModalEnded());
            EXPECT_EQ(qv::ui::test::Text(edit), std::to_wstring(year + 2)) << "the proposed year again";
            modal.EndModal(IDCANCEL);
        });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    }
    EXPECT_EQ(Int("SELECT count(*) FROM Kursreservation"), 2);
    {
        // With no places a new reservation writes nothing, so its year is not refused either.
        CEditReservationDlg dlg(mandant);
        dlg.lKursID = kurs;
        script.ExpectModal(IDD_EDITRESERVATION, [&](qv::IModalDialog&) {
            Retype(Field(dlg, IDC_EDITRESERVATION_ANZAHL), L"0");
            HWND edit = Field(dlg, IDC_EDITRESERVATION_YEAR);
            Retype(edit, std::to_wstring(year + 1));
            PressKey(edit, VK_RETURN);
        });
        EXPECT_EQ(dlg.DoModal(), IDOK);
    }
    EXPECT_EQ(Int("SELECT count(*) FROM Kursreservation"), 2);
    {
        // The reservation is deleted meanwhile: OK changes no row and says so.
        CEditReservationDlg dlg(0);
        dlg.lKursID = kurs;
        dlg.lKursreservationID = next;
        script.ExpectModal(IDD_EDITRESERVATION, [&](qv::IModalDialog& modal) {
            EXPECT_EQ(qv::ui::test::Text(Field(dlg, IDC_EDITRESERVATION_ANZAHL)), L"2");
            Sql("DELETE FROM Kursreservation WHERE lKursreservationID = " + K(next));
            script.ExpectReport();
            script.ExpectReport();
            Click(dlg.GetSafeHwnd(), IDOK);
            EXPECT_FALSE(modal.IsModalEnded());
            modal.EndModal(IDCANCEL);
        });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    }
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog"), 0);
}

}  // namespace
}  // namespace kurstest
