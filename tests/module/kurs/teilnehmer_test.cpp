// The participants page of the course window, its bookings and the registration editor, through
// the real widgets in the host frame over a database from the suite schema: the list and status
// line of a run, adding persons through the person search popup, removing, moving, switching and
// re-statusing participants, the editor's save and its refusal to save what it could not load,
// and the small input dialogs.
#include "centralstandin.h"
#include "editpersondlg.h"
#include "getdatumdlg.h"
#include "getkursyeardlg.h"
#include "getstatusdlg.h"
#include "gruppebezdlg.h"
#include "kursresource.h"
#include "kurswin_window.h"
#include "nqkurscalls.h"
#ifdef QV_KURS_PG
#include "pgcluster.h"
#include "pgfaultproxy.h"
#endif
#include "qveventsource.h"
#include "nqlogicint.h"
#include "qvasynceventsink.h"
#include "qvregvalue.h"
#include "searchdlg.h"
#include "searchpopupdlg.h"
#include "searchresource.h"
#include "searchtabdlg.h"
#include "searchpersondlg.h"
#include "serverhost.h"
#include "teilnehmerdlg.h"

#include <QPushButton>
#include <QTimer>
#include <QWidget>
#ifndef QV_KURS_PG
#include "extensions.h"
#include <sqlite3.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <dlfcn.h>
#include <functional>
#include <mutex>
#include <thread>

namespace kurstest {
namespace {

using namespace qv::ui::test;

const GUID kBookingsChanged = qv::MakeGuid("4EF7DB46-118D-4C0B-9338-BE2434638F5B");

// Counts the bookings-changed events the event server delivers, as any other page would hear them.
struct BookingsListener {
    void OnBookings(COleVariant value) {
        const VARIANT& v = value;
        last = v.vt == VT_I4 ? v.lVal : 0;
        ++count;
    }
    DECLARE_QVEVENT_MAP()
    std::atomic<int> count{0};
    long last = 0;
    CQvAsyncEventSink sink;
};

BEGIN_QVEVENT_MAP(BookingsListener)
    ON_QVEVENT(kBookingsChanged, OnBookings)
END_QVEVENT_MAP()

class TeilnehmerTest : public KursWindow {
protected:
    void SetUp() override {
        KursWindow::SetUp();
        ASSERT_EQ(qvtest::RegisterModule(QV_LOGIC_MODULE), S_OK);
        ASSERT_EQ(qv::servers::StartRunningServer(NQ_LOGICSERVER_PROGID), S_OK);
        security.Answer(L"{44C5D8A8-3AE7-4B09-9743-C8583EF78ED6}", L"", 0x101);
        security.Answer(L"{26C2F4CD-E822-4E3B-B665-F7A60A24B65B}", L"", 0x101);
        Sql("INSERT INTO Grad (lGradID, strBezeichnung, strKurzbezeichnung, strKurzbezeichnungF, lRang) VALUES "
            "(1, 'Korporal', 'Kpl', '', 5), (2, 'Leutnant', 'Lt', 'Lt F', 8)");
        Sql("INSERT INTO Ort (lOrtID, strPLZ, strOrt) VALUES (1, '8200', 'Schaffhausen')");
        Sql("INSERT INTO Absenzgrund (lAbsenzgrundID, strBezeichnung) VALUES (1, 'Krankheit')");
        Sql("INSERT INTO SecMandant (lMandantID, lTableID, lQvSecUserID, lRight) VALUES (" + K(mandant) +
            ", 4, 5, 257)");
        kurs = AddKurs(3, "GK");
        spring = AddRun(kurs, "2031-03-01", "Frühling", 10);
        run = AddRun(kurs, "2031-09-01", "Herbst", 10);
        for (long r : {spring, run})
            Sql("INSERT OR REPLACE INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (-1, " + K(r) + ", 5, 257)");
        Sql("INSERT OR REPLACE INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (" + K(kurs) + ", -1, 5, 257)");
        ASSERT_EQ(listener.sink.Create(&listener, BookingsListener::GetQvEventMap()), S_OK);
    }
    void TearDown() override {
        listener.sink.Unadvise();
        KursWindow::TearDown();
        qv::servers::StopRunningServer(NQ_LOGICSERVER_PROGID);
    }
    long Person(const std::string& name, bool female = false, long grad = -1, bool mail = false) {
        const long id = AddPerson(name);
        Sql("UPDATE Person SET fWeiblich = " + K(female) + ", lCAktGradID = " + K(grad) +
            ", lOrtID = 1, strAdresse1L = 'Hauptgasse 1' WHERE lPersonID = " + K(id));
        if (mail) Sql("INSERT INTO Device (lPersonID, lTyp, strBezeichnung) VALUES (" + K(id) + ", 6, 'mail')");
        return id;
    }
    // Opens the course window on the run and shows the participants tab.
    void ShowPage() {
        OpenView();
        ASSERT_EQ(Dlg()->GetSubRecordID(), run);
        ASSERT_EQ(TabLabels(Dlg()->GetTabCtrl().GetSafeHwnd()), (std::vector<std::wstring>{L"Kursdaten", L"Teilnehmer"}));
        ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 1));
        Pump();
        ASSERT_NE(Tn(), nullptr);
    }
    CTeilnehmerDlg* Tn() const { return dynamic_cast<CTeilnehmerDlg*>(Page(1)); }
    HWND List() const { return Tn()->m_list.GetSafeHwnd(); }
    HWND Button(int id) const { return qv::ui::test::Item(Tn()->GetSafeHwnd(), id); }
    std::wstring Status() const { return qv::ui::test::Text(Button(IDC_TEILNEHMER_STATUS)); }
    int RowOf(const std::wstring& name) const { return RowOf(List(), name); }
    static int RowOf(HWND list, const std::wstring& name) {
        for (int row = 0; row < Rows(list); ++row)
            if (Cell(list, row, 3).find(name) == 0) return row;
        return -1;
    }
    // Waits for the one bookings-changed event a command fires.
    void ExpectOneEvent() {
        EXPECT_TRUE(WaitFor([&] { return listener.count.load() >= 1; }));
        Pump();
        EXPECT_EQ(listener.count.load(), 1);
        EXPECT_EQ(listener.last, kurs);
        listener.count = 0;
    }
    // Runs the person search popup, checking (or with single selection, selecting) the named rows.
    void ChoosePersons(std::vector<std::wstring> names) {
        script.ExpectModal(IDD_SEARCHPOPUP, [this, names](qv::IModalDialog& modal) {
            auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
            // Several persons are picked on the person page of the search tabs.
            CSearchDlg* pSearch = popup.m_pSearchDlg;
            if (!pSearch && popup.m_pSearchTabDlg) pSearch = popup.m_pSearchTabDlg->m_pPersonDlg;
            ASSERT_NE(pSearch, nullptr);
            CSearchDlg& search = *pSearch;
            ASSERT_TRUE(WaitFor([&] { return !search.IsSearching(); }));
            HWND list = search.m_lstResult.GetSafeHwnd();
            for (const auto& name : names)
                for (int row = 0; row < Rows(list); ++row)
                    if (Cell(list, row, 3).find(name) != std::wstring::npos ||
                        Cell(list, row, 1).find(name) != std::wstring::npos) {
                        if (popup.m_bMultiSelect) ClickRowCheckBox(list, row);
                        else SelectRow(list, row);
                    }
            Click(popup.GetSafeHwnd(), IDOK);
            if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        });
    }
    long Book(long person, long r, long status) { return AddReg(person, kurs, r, status, "2031-01-15"); }
    // Columns of a registration row.
    std::string Reg(long id, const std::string& columns) {
        return Text("SELECT " + columns + " FROM PersonKurs WHERE lPersonKursID = " + K(id));
    }
    void SetMax(long r, long max) {
        Sql("UPDATE Kursinstanz SET lMaxTeilnehmer = " + K(max) + " WHERE lKursinstanzID = " + K(r));
    }
    // Chooses the entry of the combo box with the text.
    static bool Choose(HWND combo, const std::wstring& text) {
        const auto items = ComboItems(combo);
        for (int i = 0; i < int(items.size()); ++i)
            if (items[std::size_t(i)] == text) return SelectComboItem(combo, i);
        return false;
    }
    long long Log(UINT text) { return Int("SELECT count(*) FROM UserLog WHERE strText = '" + U(KursLoadString(text)) + "'"); }

    BookingsListener listener;
    long kurs = 0, spring = 0, run = 0;
};

TEST_F(TeilnehmerTest, TheListShowsTheRunsParticipantsWithStatusRankAndTheCountsInTheStatusLine) {
    options.Set(-1000, L"ColorFemale", static_cast<long>(RGB(200, 0, 120)));
    const long anna = Person("Amsler", true, 2, true);
    const long beat = Person("Brunner", false, 1);
    const long carl = Person("Caflisch");
    const long dora = Person("Dubach", true);
    const long emil = Person("Egli");
    Book(anna, run, 0);
    Book(beat, run, 7);
    Book(carl, run, 5);
    Book(dora, run, 3);
    const long linked = Book(emil, run, 1);
    Sql("UPDATE PersonKurs SET fLinked = 1 WHERE lPersonKursID = " + K(linked));
    Book(Person("Fehr"), spring, 0);  // another run
    ShowPage();

    // Linked bookings stay hidden while the option does not ask for them; other runs never show.
    ASSERT_EQ(Rows(List()), 4);
    struct Row { std::wstring name, status, rang, grad, mandant, mail; };
    const Row rows[] = {{L"Amsler", L"Angemeldet", L"8", L"Lt F", L"FW Nord", L"Ja"},
                        {L"Brunner", L"Provisorisch Angemeldet", L"5", L"Kpl", L"FW Nord", L"Nein"},
                        {L"Caflisch", L"Abgemeldet", L"0", L"", L"FW Nord", L"Nein"},
                        {L"Dubach", L"auf Warteliste", L"0", L"", L"FW Nord", L"Nein"}};
    for (const Row& r : rows) {
        const int row = RowOf(r.name);
        ASSERT_GE(row, 0) << W2U(r.name);
        EXPECT_EQ(Cell(List(), row, 0), r.status) << W2U(r.name);
        EXPECT_EQ(Cell(List(), row, 1), r.rang) << W2U(r.name);
        EXPECT_EQ(Cell(List(), row, 2), r.grad) << W2U(r.name);
        EXPECT_EQ(Cell(List(), row, 5), L"8200 Schaffhausen");
        EXPECT_EQ(Cell(List(), row, 11), r.mandant);
        EXPECT_EQ(Cell(List(), row, 13), r.mail) << W2U(r.name);
    }
    EXPECT_EQ(CellTextColor(List(), RowOf(L"Amsler"), 3), RGB(200, 0, 120)) << "a woman's name";
    EXPECT_NE(CellTextColor(List(), RowOf(L"Brunner"), 3), RGB(200, 0, 120));
    // 4 rows, 10 places, the deregistered one takes none.
    EXPECT_EQ(Status(), L"Anzahl/max.: 4/10  |  freie Plätze: 7  |  Warteliste: 1  Angemeldet: 2  Anwesend: 0  "
                        L"Abwesend: 1");
    Screen(Tn()->GetSafeHwnd(), "teilnehmerdlg");

    // Overbooked, then with the linked bookings shown in grey and locked against the commands.
    SetMax(run, 2);
    options.Set(-1060, L"ShowLinkedPersonEntries", 1);
    ASSERT_EQ(Tn()->Refresh(), S_OK);
    ASSERT_EQ(Rows(List()), 5);
    EXPECT_EQ(Status(), L"Anzahl/max.: 5/2  |  Überbuchungen: 2  |  Warteliste: 1  Angemeldet: 2  Anwesend: 1  "
                        L"Abwesend: 1");
    // Four places taken: booked exactly to the maximum leaves none free; one place less is one
    // overbooking.
    for (const auto& [max, counts] : std::vector<std::pair<long, std::wstring>>{
             {4, L"Anzahl/max.: 5/4  |  freie Plätze: 0  |  "}, {3, L"Anzahl/max.: 5/3  |  Überbuchungen: 1  |  "}}) {
        SetMax(run, max);
        ASSERT_EQ(Tn()->Refresh(), S_OK);
        EXPECT_EQ(Status().substr(0, counts.size()), counts) << max;
    }
    // Either waiting list counts as waiting, partly attended as present, not attended as absent.
    const auto setStatus = [&](long a, long d, long e) {
        Sql("UPDATE PersonKurs SET lStatus = CASE lPersonID WHEN " + K(anna) + " THEN " + K(a) + " WHEN " + K(dora) +
            " THEN " + K(d) + " WHEN " + K(emil) + " THEN " + K(e) + " ELSE lStatus END WHERE lKursinstanzID = " + K(run));
        ASSERT_EQ(Tn()->Refresh(), S_OK);
    };
    setStatus(2, 4, 6);
    EXPECT_EQ(Status(), L"Anzahl/max.: 5/3  |  Überbuchungen: 1  |  Warteliste: 1  Angemeldet: 1  Anwesend: 1  "
                        L"Abwesend: 2");
    setStatus(0, 3, 1);
    const int linkedRow = RowOf(L"Egli");
    EXPECT_EQ(CellTextColor(List(), linkedRow, 4), RGB(128, 128, 128));
    ASSERT_TRUE(SelectRow(List(), linkedRow));
    for (int id : {IDC_TEILNEHMER_EDIT, IDC_TEILNEHMER_REMOVE, IDC_TEILNEHMER_CHANGEINSTANZ, IDC_TEILNEHMER_CHANGESTATE})
        EXPECT_FALSE(Enabled(Button(id))) << id;
    // A row chosen after the linked one enables the commands; the command refuses the linked first
    // row itself. (Sorted by name downwards, the linked Egli comes first.)
    for (int i = 0; i < 2 && RowOf(L"Egli") != 0; ++i) ASSERT_TRUE(ClickColumnHeader(List(), 3));
    ASSERT_EQ(RowOf(L"Egli"), 0);
    ASSERT_EQ(Tn()->Refresh(), S_OK);
    ASSERT_EQ(RowOf(L"Egli"), 0) << "the chosen order outlives a reload";
    ASSERT_TRUE(SelectRow(List(), 0));
    ASSERT_TRUE(SelectRow(List(), 1, Qt::ControlModifier));
    ASSERT_TRUE(Enabled(Button(IDC_TEILNEHMER_REMOVE)));
    Click(Button(IDC_TEILNEHMER_REMOVE));
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 6);
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Amsler")));
    for (int id : {IDC_TEILNEHMER_EDIT, IDC_TEILNEHMER_REMOVE, IDC_TEILNEHMER_CHANGEINSTANZ, IDC_TEILNEHMER_CHANGESTATE})
        EXPECT_TRUE(Enabled(Button(id))) << id;
    EXPECT_FALSE(Visible(Button(IDC_TEILNEHMER_SWITCH))) << "no switching in a local installation";
    // Taking the selection away disables the row commands once the pending-load timer ran.
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Amsler"), Qt::ControlModifier));
    EXPECT_TRUE(Enabled(Button(IDC_TEILNEHMER_EDIT))) << "not before the timer";
    EXPECT_TRUE(WaitFor([&] { return !Enabled(Button(IDC_TEILNEHMER_EDIT)); }));
    EXPECT_TRUE(Enabled(Button(IDC_TEILNEHMER_ADD)));

    // Who may only read the run sets no statuses in it.
    const long long right = Int("SELECT max(lRight) FROM SecKurs WHERE lKursinstanzID = " + K(run));
    Sql("UPDATE SecKurs SET lRight = 1 WHERE lKursinstanzID = " + K(run));
    CloseView();
    ShowPage();
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Amsler")));
    Pump();
    EXPECT_TRUE(Enabled(Button(IDC_TEILNEHMER_EDIT)));
    EXPECT_FALSE(Enabled(Button(IDC_TEILNEHMER_CHANGESTATE)));
    script.ExpectModal(IDD_EDITPERSON, [](qv::IModalDialog& modal) {
        EXPECT_FALSE(Enabled(dynamic_cast<CEditPersonDlg&>(modal).m_cbStatus.GetSafeHwnd()));
        modal.EndModal(IDCANCEL);
    });
    Click(Button(IDC_TEILNEHMER_EDIT));
    Sql("UPDATE SecKurs SET lRight = " + std::to_string(right) + " WHERE lKursinstanzID = " + K(run));
    CloseView();
    ShowPage();

    // The run deleted with its participants: the emptied page shows none of its counts.
    script.ExpectMessageBox(IDYES, L"Soll die Austragung");
    Action(ID_KURS_DELETE);
    ASSERT_EQ(Dlg()->GetSubRecordID(), 0);
    EXPECT_EQ(Rows(List()), 0);
    EXPECT_EQ(Status(), L"");
}

TEST_F(TeilnehmerTest, TheStatusLineIsColouredByTheRunsFillState) {
    Book(Person("Amsler"), run, 0);
    ShowPage();
    const CQvGUID guid(CString(Text("SELECT guid FROM Kursinstanz WHERE lKursinstanzID = " + K(run)).c_str()));
    struct Case { const char* what; long count, max; bool closed; COLORREF color; };
    const Case cases[] = {{"unknown run", -1, 0, false, CLR_DEFAULT},
                          {"below the warning level", 5, 10, false, RGB(100, 255, 50)},
                          {"at the warning level", 9, 10, false, RGB(255, 255, 0)},
                          {"full", 10, 10, false, RGB(255, 50, 50)},
                          {"closed", 10, 10, true, RGB(200, 200, 200)}};
    for (const Case& c : cases) {
        Dlg()->GetFillLevel().Clear();
        if (c.count >= 0) Dlg()->GetFillLevel().Set(guid, c.count, c.max);
        Sql("UPDATE Kursinstanz SET fGeschlossen = " + K(c.closed) + " WHERE lKursinstanzID = " + K(run));
        ASSERT_EQ(Tn()->Refresh(), S_OK) << c.what;
        EXPECT_EQ(Tn()->GetStatusColor(), c.color) << c.what;
        HWND status = Button(IDC_TEILNEHMER_STATUS);
        const COLORREF shown = PixelAt(status, Widget(status)->width() - 4, 4);
        if (c.color != CLR_DEFAULT) EXPECT_EQ(shown, c.color) << c.what;
        else EXPECT_NE(shown, RGB(100, 255, 50)) << c.what;
    }
    // A closed run of a local installation: the note, then the counts without free places.
    EXPECT_EQ(Status(), L"Die Austragung ist geschlossen.  |  Anzahl/max.: 1/10  |  Warteliste: 0  Angemeldet: 1  "
                        L"Anwesend: 0  Abwesend: 0");
    Screen(Tn()->GetSafeHwnd(), "teilnehmerdlg_closed");
    // An open run of a cantonal course counts its places by the central installation's numbers.
    Sql("UPDATE Kurs SET lTyp = 2 WHERE lKursID = " + K(kurs));
    Sql("UPDATE Kursinstanz SET fGeschlossen = 0 WHERE lKursinstanzID = " + K(run));
    Dlg()->GetFillLevel().Set(guid, 7, 12);
    ASSERT_EQ(Tn()->Refresh(), S_OK);
    EXPECT_EQ(Status().substr(0, 42), L"Anzahl/max.: 1/12  |  freie Plätze: 5  |  ");
    EXPECT_EQ(Tn()->GetStatusColor(), RGB(100, 255, 50));
    Dlg()->GetFillLevel().Clear();  // not known there: no maximum
    ASSERT_EQ(Tn()->Refresh(), S_OK);
    EXPECT_EQ(Status().substr(0, 31), L"Anzahl/max.: 1/0  |  Warteliste");
    Sql("UPDATE Kurs SET lTyp = 3 WHERE lKursID = " + K(kurs));

    // Online, the periodic fill level from the central installation recolours the page at once.
    qvtest::CentralStandIn central;
    central.SetDefaultStatus("ok", "", "ok;" + Text("SELECT guid FROM Kursinstanz WHERE lKursinstanzID = " + K(run)) +
                                           ";10;10");
    Sql("UPDATE DataExchange SET fOnlineKursEnabled = 1, strOnlineKursURL = '" + central.BaseUrl() + "'");
    options.Set(-1060, L"OnlineKursanmeldungASPX", L"kurs/anmeldung.aspx");
    Sql("UPDATE Kursinstanz SET fGeschlossen = 0 WHERE lKursinstanzID = " + K(run));
    Dlg()->GetFillLevel().Clear();
    ASSERT_EQ(Tn()->Refresh(), S_OK);
    ASSERT_EQ(Tn()->GetStatusColor(), CLR_DEFAULT);
    CQvEventSource events;
    ASSERT_EQ(events.FireEvent(CKursDlg::GUID_FillLevel, 0, FALSE), S_OK);
    EXPECT_TRUE(WaitFor([&] { return Tn()->GetStatusColor() == RGB(255, 50, 50); }));

    // A wider window widens the list and the status line; the buttons keep their size.
    HWND status = Button(IDC_TEILNEHMER_STATUS), add = Button(IDC_TEILNEHMER_ADD);
    const int statusWidth = Widget(status)->width(), listWidth = Widget(List())->width(), addWidth = Widget(add)->width();
    CRect before, after;
    pane.GetClientRect(&before);
    ASSERT_TRUE(ResizeWindow(pane.GetSafeHwnd(), before.Width() + 200, before.Height()));
    pane.GetClientRect(&after);
    ASSERT_GT(after.Width(), before.Width());
    host->MoveViews(after);  // as the frame does when its pane changes
    Pump();
    EXPECT_EQ(Widget(status)->width(), statusWidth + after.Width() - before.Width());
    EXPECT_EQ(Widget(List())->width(), listWidth + after.Width() - before.Width());
    EXPECT_EQ(Widget(add)->width(), addWidth);
}

// The run shown opens or closes as its registration window says before the pages read it: at the
// start, on a navigation and on F5; a closing is logged (entry 600). Runs not shown are left alone,
// and so is the run of a user who may not change it.
TEST_F(TeilnehmerTest, TheRunShownOpensOrClosesByItsRegistrationWindow) {
    const wchar_t* const runData = L"{E97F6FE4-5DCD-4523-9ABB-E0714DFA7708}";
    security.Answer(runData, L"", 0x101);
    const auto set = [&](long r, const std::string& closed, const std::string& until) {
        Sql("UPDATE Kursinstanz SET fGeschlossen = " + closed + ", dtAnmeldenVon = '2001-01-01 00:00:00', "
            "dtAnmeldenBis = '" + until + " 00:00:00' WHERE lKursinstanzID = " + K(r));
    };
    const auto closed = [&](long r) { return Int("SELECT fGeschlossen FROM Kursinstanz WHERE lKursinstanzID = " + K(r)); };
    set(run, "1", "2098-12-31");    // its window has begun
    set(spring, "0", "2001-02-01"); // its window has ended
    ShowPage();
    EXPECT_EQ(closed(run), 0);
    EXPECT_TRUE(Enabled(Button(IDC_TEILNEHMER_ADD)));
    EXPECT_EQ(closed(spring), 0) << "not shown yet";

    ASSERT_EQ(Dlg()->Navigate(kurs, spring), S_OK);
    Pump();
    EXPECT_EQ(closed(spring), 1);
    EXPECT_EQ(Log(IDS_LOG_KURSINSTANZ_AUTOCLOSED), 1);
    EXPECT_FALSE(Enabled(Button(IDC_TEILNEHMER_ADD)));

    set(spring, "1", "2098-12-31");
    host->FireAccelCommand(L"F5");
    Pump();
    EXPECT_EQ(closed(spring), 0);
    EXPECT_TRUE(Enabled(Button(IDC_TEILNEHMER_ADD)));

    security.Answer(runData, L"", 0x1);
    set(spring, "0", "2001-02-01");
    host->FireAccelCommand(L"F5");
    Pump();
    EXPECT_EQ(closed(spring), 0);
    EXPECT_EQ(Log(IDS_LOG_KURSINSTANZ_AUTOCLOSED), 1);
    EXPECT_TRUE(script.Log().Records().empty());
}

// A load that fails (on a server: another session holds the registrations; on a file: their table
// is gone) is said once, the page's status line says that it is not loaded, and it loads again on
// F5 and when it is shown again.
TEST_F(TeilnehmerTest, APageWhoseLoadFailedSaysSoAndLoadsAgainOnF5AndWhenShownAgain) {
    Book(Person("Amsler"), run, 0);
    ShowPage();
    ASSERT_EQ(Rows(List()), 1);
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DefaultExecuteRetry", 1L));
#ifdef QV_KURS_PG
    CString url;
    CQvRegistry::GetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DBConnection", url);
    qv::sql::PgDb holder;
    ASSERT_EQ(holder.Open(qv::ToUtf8(url.GetString())), 0) << holder.LastError().description;
    const auto hold = [&] {
        ASSERT_EQ(holder.Exec("BEGIN; LOCK TABLE personkurs IN ACCESS EXCLUSIVE MODE"), 0) << holder.LastError().description;
        script.ExpectReport(L"Description:  Eine andere Sitzung hält die Daten");
    };
    const auto let = [&] { holder.Exec("ROLLBACK"); };
#else
    const auto hold = [&] {
        Sql("ALTER TABLE PersonKurs RENAME TO PersonKursGone");
        script.ExpectReport(L"Description:  ");
    };
    const auto let = [&] { Sql("ALTER TABLE PersonKursGone RENAME TO PersonKurs"); };
#endif
    const std::wstring notLoaded(KursLoadString(IDS_LOAD_FAILED).GetString());
    for (bool f5 : {true, false}) {
        SCOPED_TRACE(f5 ? "F5" : "shown again");
        hold();
        host->FireAccelCommand(L"F5");
        Pump();
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
        EXPECT_EQ(Rows(List()), 0);
        EXPECT_EQ(Status(), notLoaded);
        // Greyed: nothing on it is offered.
        EXPECT_FALSE(Enabled(List()));
        EXPECT_FALSE(Enabled(Button(IDC_TEILNEHMER_ADD)));
        let();
        if (f5) {
            host->FireAccelCommand(L"F5");
        } else {
            ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 0));
            Pump();
            ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 1));
        }
        Pump();
        EXPECT_EQ(Rows(List()), 1);
        EXPECT_TRUE(Enabled(List()));
        EXPECT_TRUE(Enabled(Button(IDC_TEILNEHMER_ADD)));
        EXPECT_EQ(Status().rfind(L"Anzahl/max.: 1/10", 0), 0u) << W2U(Status());
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
        script.Log().Clear();
    }
#ifdef QV_KURS_PG
    // The server process of the window's own connection stops: with a command timeout of 1 s the
    // window is free again after it, says once that the server does not answer, and
    // loads again when asked once the server goes on.
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DefaultCommandTimeout [s]", 1L));
    const int pid = StopOwnServerProcess(holder);
    ASSERT_GT(pid, 0);
    script.ExpectReport(L"Description:  Der Datenbankserver antwortet nicht.");
    const auto start = std::chrono::steady_clock::now();
    Tn()->Refresh();
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    kill(pid, SIGCONT);
    Pump();
    EXPECT_LT(waited, 1.0 + 1.0);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(Status(), notLoaded);
    host->FireAccelCommand(L"F5");
    Pump();
    EXPECT_EQ(Rows(List()), 1);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);

    // The whole server stands still behind the window's connection, its listener too: the load
    // gives up within the command timeout times the tries, the connections it would make again
    // included.
    {
        const wchar_t* const profile = L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2";
        qvtest::PgFaultProxy proxy(qvtest::PortOf(qvtest::PgClusterUrl()));
        ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DBConnection",
                                          CString(proxy.Through(qv::ToUtf8(url.GetString())).c_str())));
        ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DefaultExecuteRetry", 2L));
        host->FireAccelCommand(L"F5");
        Pump();
        ASSERT_EQ(Rows(List()), 1) << "loaded through the proxy";
        const int frozen = StopOwnServerProcess(holder);
        ASSERT_GT(frozen, 0);
        proxy.Listen(false);
        script.Log().Clear();
        script.ExpectReport(L"Description:  Der Datenbankserver antwortet nicht.");
        const auto begin = std::chrono::steady_clock::now();
        Tn()->Refresh();
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        kill(frozen, SIGCONT);
        proxy.Listen(true);
        Pump();
        EXPECT_LT(took, 1.0 * 2 + 0.5) << "the command timeout times the tries";
        std::printf("page load, listener and process stopped, timeout 1 s, 2 tries: %.2f s\n", took);
        EXPECT_EQ(Status(), notLoaded);
        ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DBConnection", url));
        ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DefaultExecuteRetry", 1L));
    }
#endif
}

TEST_F(TeilnehmerTest, PersonsAreAddedThroughThePopupWithTheChecksOfTheCourseApi) {
    const long anna = Person("Amsler");
    Person("Brunner");
    const long carl = Person("Caflisch");
    Book(carl, run, 0);
    ShowPage();
    ASSERT_EQ(Rows(List()), 1);

    ChoosePersons({L"Amsler", L"Brunner"});
    Click(Button(IDC_TEILNEHMER_ADD));
    ASSERT_EQ(Rows(List()), 3);
    EXPECT_GE(RowOf(L"Amsler"), 0);
    EXPECT_GE(RowOf(L"Brunner"), 0);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lKursinstanzID = " + K(run)), 3);
    EXPECT_EQ(Log(IDS_LOG_PERSON_ADDED), 2);
    ExpectOneEvent();
    // The page hears of the bookings through the event server, as it would from another window.
    EXPECT_TRUE(WaitFor([&] { return Page(0)->GetModifiedFlag(); })) << "the course data page reloads when shown next";
    EXPECT_EQ(Status().substr(0, 42), L"Anzahl/max.: 3/10  |  freie Plätze: 7  |  ");

    // A person already in the run is refused with its message; the next one is still booked.
    const long dora = Person("Dubach");
    ChoosePersons({L"Amsler", L"Dubach"});
    script.ExpectMessageBox(IDOK, L"bereits einer Kursaustragung zugewiesen");
    Click(Button(IDC_TEILNEHMER_ADD));
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonID = " + K(anna)), 1);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lKursinstanzID = " + K(run) + " AND lPersonID = " + K(dora)), 1);
    EXPECT_EQ(Rows(List()), 4);
    ExpectOneEvent();

    // A booking the database refuses is shown once, with its cause.
    Sql("CREATE TRIGGER PersonKurs_NoInsert BEFORE INSERT ON PersonKurs BEGIN SELECT RAISE(ABORT, 'voll'); END");
    const long frei = Person("Frei");
    ChoosePersons({L"Frei"});
    script.ExpectReport(L"voll");
    Click(Button(IDC_TEILNEHMER_ADD));
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonID = " + K(frei)), 0);
    Sql("DROP TRIGGER PersonKurs_NoInsert");

    // Cancelling the popup changes nothing and fires nothing. The course is taken before the
    // popup opens and let go with it: nothing is left to save (a frame closed afterwards asks nothing).
    script.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog& modal) {
        EXPECT_NE(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(kurs)), "");
        EXPECT_TRUE(Dlg()->IsEditing());
        modal.EndModal(IDCANCEL);
    });
    Click(Button(IDC_TEILNEHMER_ADD));
    Pump();
    EXPECT_EQ(listener.count.load(), 0);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 4);
    EXPECT_EQ(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(kurs)), "");
    EXPECT_FALSE(Dlg()->IsEditing());
    EXPECT_FALSE(Tn()->IsSavePending());

    // Online, with the periodic fill level switched off by the user, an add refreshes the course
    // view's fill levels at once.
    qvtest::CentralStandIn central;
    central.SetDefaultStatus("ok", "", "");
    Sql("UPDATE DataExchange SET fOnlineKursEnabled = 1, strOnlineKursURL = '" + central.BaseUrl() + "'");
    options.Set(-1060, L"OnlineKursanmeldungASPX", L"kurs/anmeldung.aspx");
    options.Set(-1060, L"FillLevelInterval", 5);
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\KursView", L"FillupStateEnabled", 0L);
    Person("Egli");
    ChoosePersons({L"Egli"});
    Click(Button(IDC_TEILNEHMER_ADD));
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 5);
    ASSERT_EQ(central.RequestCount(), 1u);
    EXPECT_EQ(central.Requests().front().Param("Op"), "getCount");
}

// The search worker's next statement held inside the database where no cancel reaches it: on
// SQLite inside a function of the statement, on PostgreSQL with its server process stopped while
// it waits for a lock. Released at the end in any case.
class HeldSearch {
public:
    // Before the search opens its connection.
    explicit HeldSearch(std::function<void(const std::string&)> sql) : sql_(std::move(sql)) {
#ifndef QV_KURS_PG
        qv::sql::RegisterConnectionInitializer("teilnehmer-test-stuck", [](sqlite3* handle) {
            sqlite3_create_function(handle, "Stuck", 0, SQLITE_UTF8, nullptr,
                                    [](sqlite3_context* c, int, sqlite3_value**) {
                                        std::unique_lock l(Lock());
                                        if (Held() == 0 && !Released()) {
                                            ++Held();
                                            Change().notify_all();
                                            Change().wait(l, [] { return Released(); });
                                        }
                                        sqlite3_result_int(c, 1);
                                    },
                                    nullptr, nullptr);
        });
#endif
    }
    ~HeldSearch() { Release(); }
    // The next statement of the search is held.
    void Hold() {
        held_ = true;
#ifdef QV_KURS_PG
        CString url;
        CQvRegistry::GetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DBConnection", url);
        EXPECT_EQ(holder_.Open(qv::ToUtf8(url.GetString())), 0) << holder_.LastError().description;
        EXPECT_EQ(holder_.Exec("BEGIN; LOCK TABLE person IN ACCESS EXCLUSIVE MODE"), 0) << holder_.LastError().description;
#else
        {
            std::lock_guard g(Lock());
            Held() = 0;
            Released() = false;
        }
        sql_("PRAGMA legacy_alter_table = ON; ALTER TABLE Person RENAME TO PersonHeld; "
             "CREATE VIEW Person AS SELECT p.* FROM PersonHeld p WHERE Stuck()");
#endif
    }
    // Until the worker is held.
    bool Wait() {
#ifdef QV_KURS_PG
        return qv::ui::test::WaitFor(
            [&] {
                qv::sql::PgRows rows;
                holder_.Query("SELECT pid FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND "
                              "datname = current_database()", &rows);
                if (rows.rows.empty() || !rows.rows[0][0]) return false;
                pid_ = std::stoi(*rows.rows[0][0]);
                return kill(pid_, SIGSTOP) == 0;
            },
            30000);
#else
        return qv::ui::test::WaitFor([] {
            std::lock_guard g(Lock());
            return Held() == 1;
        }, 30000);
#endif
    }
    // Lets the statement go on (from any thread).
    void Let() {
#ifdef QV_KURS_PG
        if (pid_ > 0) kill(pid_, SIGCONT);
#else
        std::lock_guard g(Lock());
        Released() = true;
        Change().notify_all();
#endif
    }
    void Release() {
        if (!held_ || released_) return;
        released_ = true;
        Let();
#ifdef QV_KURS_PG
        holder_.Exec("ROLLBACK");
        CSearchDlg::WaitForLeftWorkers();
#else
        CSearchDlg::WaitForLeftWorkers();
        sql_("DROP VIEW Person; ALTER TABLE PersonHeld RENAME TO Person");
#endif
    }

private:
#ifndef QV_KURS_PG
    static std::mutex& Lock() {
        static std::mutex lock;
        return lock;
    }
    static std::condition_variable& Change() {
        static std::condition_variable change;
        return change;
    }
    static int& Held() {
        static int held = 0;
        return held;
    }
    static bool& Released() {
        static bool released = false;
        return released;
    }
#else
    qv::sql::PgDb holder_;
    int pid_ = 0;
#endif
    std::function<void(const std::string&)> sql_;
    bool held_ = false, released_ = false;
};

// Datei, Beenden while the closed person search still waits for its worker: the frame's end runs
// once the wait is over (never inside it, where it would close the window and unload the code
// that waits), asks nothing (nothing was changed) and waits for the left worker a bounded time.
TEST_F(TeilnehmerTest, AQuitWhileTheClosedSearchWaitsForItsWorkerComesAfterTheWaitAndEndsInTime) {
    Person("Amsler");
    ShowPage();
    HeldSearch held([this](const std::string& sql) { Sql(sql); });
    // The frame's window as far as its end goes: it closes the views, then the host.
    QWidget frame;
    auto* quit = new QPushButton(QStringLiteral("Beenden"), &frame);
    quit->setGeometry(10, 10, 180, 40);
    frame.resize(200, 60);
    frame.show();
    HWND searchWnd = nullptr;
    bool quitInsideWait = false, quitDone = false;
    std::chrono::steady_clock::duration quitTook{};
    std::thread letGo;
    QObject::connect(quit, &QPushButton::clicked, [&] {
        quitInsideWait = ::IsWindow(searchWnd);
#ifndef QV_KURS_PG
        // On SQLite the statement goes on while the frame ends (after its other steps), which
        // waits for it.
        letGo = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::seconds(3));
            held.Let();
        });
#endif
        const auto start = std::chrono::steady_clock::now();
        CloseView();
        host->CloseAll();
        quitTook = std::chrono::steady_clock::now() - start;
        quitDone = true;
    });
    // The click comes as soon as the popup is gone, in the first turn of messages after it.
    QTimer clicker;
    bool ended = false, clicked = false;
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        if (ended && !clicked) {
            clicked = true;
            Click(quit);
        }
    });
    script.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog& modal) {
        auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
        CSearchDlg* search = popup.m_pSearchDlg ? popup.m_pSearchDlg : popup.m_pSearchTabDlg->m_pPersonDlg;
        searchWnd = search->GetSafeHwnd();
        ASSERT_TRUE(WaitFor([&] { return !search->IsSearching(); }));
        held.Hold();
        Type(search->m_edtSearch.GetSafeHwnd(), L"A");
        ASSERT_TRUE(held.Wait()) << "the search's statement runs";
        clicker.start(5);
        PressKey(search->m_edtSearch.GetSafeHwnd(), VK_ESCAPE);
        if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        ended = true;
    });
    Click(Button(IDC_TEILNEHMER_ADD));
    ASSERT_TRUE(WaitFor([&] { return quitDone; }, 60000)) << "the quit was lost";
    EXPECT_TRUE(clicked);
    EXPECT_FALSE(quitInsideWait) << "the quit ran inside the search's wait for its worker";
    EXPECT_LT(quitTook, std::chrono::seconds(20)) << "the frame's end waited for the held worker";
    if (letGo.joinable()) letGo.join();
    void* module = dlopen(QV_KURS_MODULE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(module, nullptr);
    const auto canUnloadNow = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllCanUnloadNow"));
#ifdef QV_KURS_PG
    // Its server process stopped, the worker left behind is still in the module's code, which
    // stays loaded.
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "the module may go while its worker runs";
#else
    // Let go while the frame ends, the worker has been waited for: nothing of it runs any more.
    EXPECT_EQ(canUnloadNow(), S_OK) << "the frame's end did not wait for the left worker";
#endif
    held.Release();
    EXPECT_EQ(canUnloadNow(), S_OK);
    dlclose(module);
}

TEST_F(TeilnehmerTest, ARunLeaderWithoutTheRightToBookFindsOnlyHimself) {
    const long selbst = Person("Selbst");
    Person("Andere");
    // The page's function reads only; the user leads the participants of this run.
    for (const wchar_t* function : {L"{44C5D8A8-3AE7-4B09-9743-C8583EF78ED6}", L"{26C2F4CD-E822-4E3B-B665-F7A60A24B65B}"})
        security.Answer(function, L"", 0x1);
    security.Answer(L"{8C720C47-85F3-4C83-B183-DA593FA4F230}", L"", 0x10000);
    Sql("UPDATE SecKurs SET lRight = " + K(0x10101) + " WHERE lKursinstanzID = " + K(run));
    ShowPage();
    Tn()->m_lUserPersonID = selbst;
    Tn()->LoadData();
    ASSERT_TRUE(Enabled(Button(IDC_TEILNEHMER_ADD)));
    std::vector<std::wstring> offered;
    script.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog& modal) {
        auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
        CSearchDlg* search = popup.m_pSearchDlg ? popup.m_pSearchDlg : popup.m_pSearchTabDlg->m_pPersonDlg;
        const HWND list = search->m_lstResult.GetSafeHwnd();
        ASSERT_TRUE(WaitFor([&] { return !search->IsSearching() && Rows(list) > 0; }));
        for (int row = 0; row < Rows(list); ++row) offered.push_back(Cell(list, row, 3) + Cell(list, row, 1));
        ClickRowCheckBox(list, 0);
        Click(popup.GetSafeHwnd(), IDOK);
        if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
    });
    Click(Button(IDC_TEILNEHMER_ADD));
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_NE(offered[0].find(L"Selbst"), std::wstring::npos);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonID = " + K(selbst) + " AND lKursinstanzID = " + K(run)), 1);

    // Holding the registrations' own right only, the editor lets him set the statuses of the run
    // he leads, and of no other.
    security.Answer(L"{26C2F4CD-E822-4E3B-B665-F7A60A24B65B}", L"", 0x10001);
    Sql("INSERT INTO Contact (lContactID, lPersonID) VALUES (90001, " + K(selbst) + ")");
    security.userGuid = qv::FromUtf8(Text("SELECT guid FROM Contact WHERE lContactID = 90001"));
    const long reg = Book(Person("Teilnehmer"), run, 0);
    for (bool leads : {false, true}) {
        if (leads)
            Sql("UPDATE PersonKurs SET fTeilnehmer = 0, fLeiter = 1 WHERE lPersonID = " + K(selbst) +
                " AND lKursinstanzID = " + K(run));
        script.ExpectModal(IDD_EDITPERSON, [&](qv::IModalDialog& modal) {
            EXPECT_EQ(Enabled(dynamic_cast<CEditPersonDlg&>(modal).m_cbStatus.GetSafeHwnd()), leads);
            modal.EndModal(IDCANCEL);
        });
        EXPECT_EQ(VRQ_ShowEditPersonDlg(eAuthorityTypLokal, kurs, reg), IDCANCEL);
    }
}

TEST_F(TeilnehmerTest, RemoveMoveStatusAndSwitchChangeTheSelectedRowsLogThemAndFireOnce) {
    // The first person of the database (number 1) is changed like any other.
    const long anna = 1, beat = Person("Brunner"), carl = Person("Caflisch");
    Sql("UPDATE Person SET lPersonID = 1 WHERE lPersonID = " + K(Person("Amsler")));
    const long regA = Book(anna, run, 0), regB = Book(beat, run, 0), regC = Book(carl, run, 1);
    Person("Zuber");
    options.Set(-4000, L"KursTyp", L"x 1 1 1");
    ShowPage();

    // Status: two rows with different statuses preset nothing; choosing "Nicht besucht" sets both.
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Amsler")));
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Caflisch"), Qt::ControlModifier));
    // A cancelled choice leaves the course unlocked.
    script.ExpectModal(IDD_GETSTATUS, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    Click(Button(IDC_TEILNEHMER_CHANGESTATE));
    EXPECT_EQ(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(kurs)), "");
    script.ExpectModal(IDD_GETSTATUS, [](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CGetStatusDlg&>(modal);
        EXPECT_EQ(dlg.m_cbStatus.GetCurSel(), -1);
        EXPECT_EQ(ComboItems(dlg.m_cbStatus.GetSafeHwnd()).front(), L"auf Warteliste");
        EXPECT_FALSE(Enabled(qv::ui::test::Item(dlg.GetSafeHwnd(), IDOK)));
        Choose(dlg.m_cbStatus.GetSafeHwnd(), L"Nicht besucht");
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    Click(Button(IDC_TEILNEHMER_CHANGESTATE));
    EXPECT_EQ(Reg(regA, "lStatus"), "2");
    EXPECT_EQ(Reg(regB, "lStatus"), "0");
    EXPECT_EQ(Reg(regC, "lStatus"), "2");
    EXPECT_EQ(Cell(List(), RowOf(L"Amsler"), 0), L"Nicht besucht");
    ExpectOneEvent();

    // A row the course API refuses with its message does not keep the next row from being tried:
    // meanwhile the course became a federal one and the run was closed.
    Sql("UPDATE Kurs SET lTyp = 1 WHERE lKursID = " + K(kurs));
    Sql("UPDATE Kursinstanz SET fGeschlossen = 1 WHERE lKursinstanzID = " + K(run));
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Amsler")));
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Caflisch"), Qt::ControlModifier));
    script.ExpectModal(IDD_GETSTATUS, [](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CGetStatusDlg&>(modal);
        Choose(dlg.m_cbStatus.GetSafeHwnd(), L"Abgemeldet");
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    for (int row = 0; row < 2; ++row) script.ExpectMessageBox(IDOK, L"Die Kursaustragung ist geschlossen");
    Click(Button(IDC_TEILNEHMER_CHANGESTATE));
    EXPECT_EQ(Reg(regA, "lStatus") + Reg(regC, "lStatus"), "22");
    Sql("UPDATE Kurs SET lTyp = 3 WHERE lKursID = " + K(kurs));
    Sql("UPDATE Kursinstanz SET fGeschlossen = 0 WHERE lKursinstanzID = " + K(run));
    ASSERT_EQ(Tn()->Refresh(), S_OK);

    // Move: the selected booking goes to the other run of the course; a closed run is not offered.
    const long closed = AddRun(kurs, "2031-10-01", "Geschlossen", 10);
    Sql("UPDATE Kursinstanz SET fGeschlossen = 1 WHERE lKursinstanzID = " + K(closed));
    Sql("INSERT OR REPLACE INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (-1, " + K(closed) + ", 5, 257)");
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Brunner")));
    // A cancelled choice moves nobody and does not leave the course locked.
    script.ExpectModal(IDD_SEARCHPOPUP, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    Click(Button(IDC_TEILNEHMER_CHANGEINSTANZ));
    EXPECT_EQ(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(kurs)), "");
    // "Abbrechen" in the move's question is the user's choice, no failure: nothing is shown and
    // nothing moves.
    const auto pickRun = [&](qv::IModalDialog& modal) {
        auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
        ASSERT_TRUE(WaitFor([&] { return !popup.m_pSearchDlg->IsSearching(); }));
        SelectRow(popup.m_pSearchDlg->m_lstResult.GetSafeHwnd(), 0);
        Click(popup.GetSafeHwnd(), IDOK);
        if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
    };
    script.ExpectModal(IDD_SEARCHPOPUP, pickRun);
    script.ExpectSelection(0);
    const std::size_t boxes = script.Log().Count(qv::InteractionKind::MessageBox);
    const std::size_t reports = script.Log().Count(qv::InteractionKind::Report);
    Click(Button(IDC_TEILNEHMER_CHANGEINSTANZ));
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), boxes) << "a cancel shows nothing";
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), reports) << "a cancel shows nothing";
    EXPECT_EQ(Int("SELECT lKursinstanzID FROM PersonKurs WHERE lPersonID = " + K(beat)), run);
    EXPECT_EQ(Text("SELECT coalesce(strLock, '') FROM Kurs WHERE lKursID = " + K(kurs)), "");
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Brunner")));
    script.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog& modal) {
        auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
        CSearchDlg& search = *popup.m_pSearchDlg;
        ASSERT_TRUE(WaitFor([&] { return !search.IsSearching(); }));
        HWND list = search.m_lstResult.GetSafeHwnd();
        ASSERT_EQ(Rows(list), 1) << "only the other run of the course";
        SelectRow(list, 0);
        Click(popup.GetSafeHwnd(), IDOK);
        if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
    });
    script.ExpectSelection(2);  // taken out of the run, not deregistered in it
    Click(Button(IDC_TEILNEHMER_CHANGEINSTANZ));
    EXPECT_EQ(Int("SELECT lKursinstanzID FROM PersonKurs WHERE lPersonID = " + K(beat)), spring);
    EXPECT_EQ(RowOf(L"Brunner"), -1);
    EXPECT_EQ(Log(IDS_LOG_PERSON_REMOVED_KURSINSTANZ), 1);
    ExpectOneEvent();
    Sql("DELETE FROM Kursinstanz WHERE lKursinstanzID = " + K(closed));

    // Switch: in the central installation a cantonal course may hand a booking to another person.
    qv::nq::SetEnterpriseEdition(true);
    Sql("UPDATE DataExchange SET fSwitchPersonAllowed = 1");
    Sql("UPDATE Kurs SET lTyp = 2 WHERE lKursID = " + K(kurs));
    CloseView();
    ShowPage();
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Amsler")));
    ASSERT_TRUE(Visible(Button(IDC_TEILNEHMER_SWITCH)));
    ASSERT_TRUE(Enabled(Button(IDC_TEILNEHMER_SWITCH)));
    // Checked against this page's run and course: a person already in the run is refused.
    ChoosePersons({L"Caflisch"});
    script.ExpectMessageBox(IDOK, L"bereits");
    Click(Button(IDC_TEILNEHMER_SWITCH));
    EXPECT_EQ(Reg(regA, "lPersonID"), K(anna));
    EXPECT_EQ(Log(IDS_LOG_PERSON_SWITCHED), 0);
    ExpectOneEvent();  // a refused switch counts as a change all the same
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Amsler")));
    // Who may read every person finds also those of a brigade he holds no rights on.
    security.Answer(L"{9FFF9726-D906-4CE0-A627-93B93874A509}", L"", 0x101);
    Sql("INSERT INTO Mandant (lMandantID, strMandantName) VALUES (999, 'FW Süd')");
    Sql("UPDATE Person SET lMandantID = 999 WHERE strName = 'Zuber'");
    ChoosePersons({L"Zuber"});
    Click(Button(IDC_TEILNEHMER_SWITCH));
    EXPECT_NE(Reg(regA, "lPersonID"), K(anna));
    EXPECT_GE(RowOf(L"Zuber"), 0);
    EXPECT_GT(Log(IDS_LOG_PERSON_SWITCHED), 0);
    ExpectOneEvent();

    // The central installation may set the status of a cantonal course's participant in a run, and
    // move him out of a closed run.
    Sql("UPDATE Kursinstanz SET fGeschlossen = 1 WHERE lKursinstanzID = " + K(run));
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"Kanton", L"SH", HKEY_LOCAL_MACHINE);
    script.ExpectModal(IDD_EDITPERSON, [](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CEditPersonDlg&>(modal);
        EXPECT_TRUE(dlg.IsLoaded());
        EXPECT_TRUE(Enabled(dlg.m_cbStatus.GetSafeHwnd()));
        EXPECT_EQ(ComboItems(dlg.m_cbStatus.GetSafeHwnd())[1], L"auf Warteliste (Penalty)") << "in canton SH";
        EXPECT_TRUE(Enabled(dlg.m_cbInstanz.GetSafeHwnd()));
        modal.EndModal(IDCANCEL);
    });
    EXPECT_EQ(VRQ_ShowEditPersonDlg(eAuthorityTypKanton, kurs, regC), IDCANCEL);
    Sql("UPDATE Kursinstanz SET fGeschlossen = 0 WHERE lKursinstanzID = " + K(run));

    // Remove: both selected rows go without a question.
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Zuber")));
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Caflisch"), Qt::ControlModifier));
    Click(Button(IDC_TEILNEHMER_REMOVE));
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lKursinstanzID = " + K(run)), 0);
    EXPECT_EQ(Rows(List()), 0);
    EXPECT_EQ(Log(IDS_LOG_PERSON_REMOVED_KURS), 2);
    ExpectOneEvent();
}

// Two users, each in a course window of his own on the same run. While Anna holds the course, "+"
// opens nothing. What she changed after the first user's list was loaded leaves his commands
// nothing to change: a deregistration or a status of a registration she moved to another run or
// deregistered, the editor on one she deleted. He is told once, nothing is written or logged, no
// edit stays open, and his list shows what is stored.
TEST_F(TeilnehmerTest, WhatAnotherUserHoldsOrChangedIsLeftAsStoredAndTheListShowsIt) {
    const long amsler = Person("Amsler"), brunner = Person("Brunner"), carl = Person("Caflisch");
    const long regA = Book(amsler, run, 0), regB = Book(brunner, run, 0), regC = Book(carl, run, 0);
    const long regD = Book(Person("Dubach"), run, 0), regE = Book(Person("Egli"), run, 0);
    ShowPage();
    OpenOther();
    ASSERT_NE(otherDlg, nullptr);
    ASSERT_EQ(otherDlg->GetSubRecordID(), run);
    const HWND herTabs = otherDlg->GetTabCtrl().GetSafeHwnd();
    ASSERT_TRUE(ClickTab(herTabs, 1));
    Pump();
    auto* hers = dynamic_cast<CTeilnehmerDlg*>(otherDlg->GetTabCtrl().GetTabWnd(1));
    ASSERT_NE(hers, nullptr);
    const HWND herList = hers->m_list.GetSafeHwnd();
    const auto herCommand = [&](const std::wstring& name, int button) {
        ASSERT_TRUE(SelectRow(herList, RowOf(herList, name)));
        Click(qv::ui::test::Item(hers->GetSafeHwnd(), button));
    };
    const auto lock = [&] { return Text("SELECT coalesce(strLock, '') FROM Kurs WHERE lKursID = " + K(kurs)); };
    const auto told = [&](const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 1u);
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
        EXPECT_EQ(lock(), "");
        EXPECT_FALSE(Dlg()->IsEditing());
        script.Log().Clear();
    };

    // "+" while Anna changes the course's data: no search opens, nobody is booked, the window
    // shows the course locked by her, as at any other change.
    ASSERT_TRUE(ClickTab(herTabs, 0));
    Pump();
    ASSERT_TRUE(Type(qv::ui::test::Item(otherDlg->GetTabCtrl().GetTabWnd(0)->GetSafeHwnd(), IDC_KURSDATEN_BEZEICHNUNG),
                     L"x"));
    ASSERT_NE(lock().find("|anna"), std::string::npos);
    Click(Button(IDC_TEILNEHMER_ADD));
    Pump();
    EXPECT_TRUE(Dlg()->IsLockedByOther());
    EXPECT_NE(Dlg()->GetRecordStateText().Find(L"Die Daten sind gesperrt durch: '"), -1);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 5);
    EXPECT_NE(lock().find("|anna"), std::string::npos);
    Click(qv::ui::test::Item(otherDlg->GetSafeHwnd(), IDC_KURSDLG_SAVE));
    ASSERT_EQ(lock(), "");
    CString holder;
    EXPECT_EQ(Dlg()->UpdateRecordState(&holder), eRecordUnchanged);
    ASSERT_TRUE(ClickTab(herTabs, 1));
    Pump();
    for (auto kind : {qv::InteractionKind::Modal, qv::InteractionKind::MessageBox, qv::InteractionKind::Report})
        EXPECT_EQ(script.Log().Count(kind), 0u) << qv::InteractionKindName(kind);
    script.Log().Clear();

    // Anna moves Amsler to the spring run; his "Abmelden" from the autumn run, on the list that
    // still shows her there, leaves her registration in spring as it is.
    script.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog& modal) {
        auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
        ASSERT_TRUE(WaitFor([&] { return !popup.m_pSearchDlg->IsSearching(); }));
        SelectRow(popup.m_pSearchDlg->m_lstResult.GetSafeHwnd(), 0);
        Click(popup.GetSafeHwnd(), IDOK);
        if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
    });
    script.ExpectSelection(2);
    herCommand(L"Amsler", IDC_TEILNEHMER_CHANGEINSTANZ);
    ASSERT_EQ(Reg(regA, "lKursinstanzID || '|' || lStatus"), K(spring) + "|0");
    const std::string datumA = Reg(regA, "dtDatum");
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Amsler")));
    // Nothing is asked: the registration is not as the list shows it.
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert oder entfernt.");
    Click(Button(IDC_TEILNEHMER_REMOVE));
    EXPECT_EQ(Reg(regA, "lKursinstanzID || '|' || lStatus || '|' || dtDatum"), K(spring) + "|0|" + datumA);
    EXPECT_EQ(Log(IDS_LOG_PERSONKURS_UPDATED), 0);
    EXPECT_EQ(RowOf(L"Amsler"), -1);
    told("deregistered after a move");

    // Anna deregisters Brunner; his "Abmelden" of the same registration writes no second date
    // and no second entry.
    script.ExpectSelection(1);
    herCommand(L"Brunner", IDC_TEILNEHMER_REMOVE);
    ASSERT_EQ(Reg(regB, "lStatus"), "5");
    Sql("UPDATE PersonKurs SET dtDatum = '2031-01-20 00:00:00' WHERE lPersonKursID = " + K(regB));
    ASSERT_EQ(Log(IDS_LOG_PERSONKURS_UPDATED), 1);
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Brunner")));
    EXPECT_EQ(Cell(List(), RowOf(L"Brunner"), 0), L"Angemeldet") << "the list is Anna's change behind";
    script.ExpectMessageBox(IDOK, L"inzwischen geändert");
    Click(Button(IDC_TEILNEHMER_REMOVE));
    EXPECT_EQ(Reg(regB, "lKursinstanzID || '|' || lStatus || '|' || dtDatum"), K(run) + "|5|2031-01-20 00:00:00");
    EXPECT_EQ(Log(IDS_LOG_PERSONKURS_UPDATED), 1);
    EXPECT_EQ(Cell(List(), RowOf(L"Brunner"), 0), L"Abgemeldet");
    told("deregistered twice");

    // Anna moves Caflisch to spring; his status "Nicht besucht" for the autumn run is not written
    // onto her registration in spring.
    script.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog& modal) {
        auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
        ASSERT_TRUE(WaitFor([&] { return !popup.m_pSearchDlg->IsSearching(); }));
        SelectRow(popup.m_pSearchDlg->m_lstResult.GetSafeHwnd(), 0);
        Click(popup.GetSafeHwnd(), IDOK);
        if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
    });
    script.ExpectSelection(2);
    herCommand(L"Caflisch", IDC_TEILNEHMER_CHANGEINSTANZ);
    ASSERT_EQ(Reg(regC, "lKursinstanzID || '|' || lStatus"), K(spring) + "|0");
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Caflisch")));
    script.ExpectModal(IDD_GETSTATUS, [](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CGetStatusDlg&>(modal);
        Choose(dlg.m_cbStatus.GetSafeHwnd(), L"Nicht besucht");
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    script.ExpectMessageBox(IDOK, L"inzwischen geändert");
    Click(Button(IDC_TEILNEHMER_CHANGESTATE));
    EXPECT_EQ(Reg(regC, "lKursinstanzID || '|' || lStatus"), K(spring) + "|0");
    EXPECT_EQ(Log(IDS_LOG_PERSONKURS_UPDATED), 1);
    EXPECT_EQ(RowOf(L"Caflisch"), -1);
    told("status after a move");

    // Anna moves Egli to spring with the default "abmelden": his registration stays in autumn with
    // status 5. Deleting it from the list that still shows him registered deletes nothing, logs
    // nothing and queues nothing: the cancellation her move recorded stays.
    script.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog& modal) {
        auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
        ASSERT_TRUE(WaitFor([&] { return !popup.m_pSearchDlg->IsSearching(); }));
        SelectRow(popup.m_pSearchDlg->m_lstResult.GetSafeHwnd(), 0);
        Click(popup.GetSafeHwnd(), IDOK);
        if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
    });
    script.ExpectSelection(1);
    herCommand(L"Egli", IDC_TEILNEHMER_CHANGEINSTANZ);
    ASSERT_EQ(Reg(regE, "lKursinstanzID || '|' || lStatus"), K(run) + "|5");
    const long long removedE = Log(IDS_LOG_PERSON_REMOVED_KURS) + Log(IDS_LOG_PERSON_REMOVED_KURSINSTANZ);
    const long long queuedE = Int("SELECT count(*) FROM KursnotificationItem");
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Egli")));
    EXPECT_EQ(Cell(List(), RowOf(L"Egli"), 0), L"Angemeldet") << "the list is Anna's move behind";
    script.ExpectMessageBox(IDOK, L"inzwischen geändert");
    Click(Button(IDC_TEILNEHMER_REMOVE));
    EXPECT_EQ(Reg(regE, "lKursinstanzID || '|' || lStatus"), K(run) + "|5");
    EXPECT_EQ(Log(IDS_LOG_PERSON_REMOVED_KURS) + Log(IDS_LOG_PERSON_REMOVED_KURSINSTANZ), removedE);
    EXPECT_EQ(Int("SELECT count(*) FROM KursnotificationItem"), queuedE);
    EXPECT_EQ(Cell(List(), RowOf(L"Egli"), 0), L"Abgemeldet");
    told("deleted after a move");

    // Anna deletes Dubach's registration; the editor opened on it from the old list says so once,
    // does not open and keeps no lock.
    script.ExpectSelection(2);
    herCommand(L"Dubach", IDC_TEILNEHMER_REMOVE);
    ASSERT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonKursID = " + K(regD)), 0);
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Dubach")));
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung besteht nicht mehr");
    Click(Button(IDC_TEILNEHMER_EDIT));
    EXPECT_EQ(RowOf(L"Dubach"), -1);
    told("editor on a deleted registration");
}

// On an online course another user changes a registration while the central installation's answer
// to this page's change is awaited: nothing of the change is written or logged, the user is told
// once, the central installation gets the registration back as it is stored, and the list shows it.
TEST_F(TeilnehmerTest, WhatAnotherUserChangesWhileTheCentralAnswerIsAwaitedIsTakenBackOnline) {
    Sql("UPDATE Kurs SET lTyp = 2 WHERE lKursID = " + K(kurs));
    qvtest::CentralStandIn central;
    Sql("UPDATE DataExchange SET fOnlineKursEnabled = 1, strOnlineKursURL = '" + central.BaseUrl() + "'");
    options.Set(-1060, L"OnlineKursanmeldungASPX", L"kurs/anmeldung.aspx");
    const long regA = Book(Person("Amsler"), run, 0);
    const long regB = AddReg(Person("Brunner"), kurs, -1, 0, "2031-12-31");  // planned for the run's year
    ShowPage();
    // Anna's write lands while the first answer is awaited.
    const auto whileAwaited = [&](std::string sql) {
        central.ClearRequests();
        central.Queue({qvtest::CentralStandIn::ReplyPage("ok"), 200, std::chrono::milliseconds(1000)});
        return std::thread([&central, this, sql] {
            if (central.WaitForRequests(1, std::chrono::seconds(20))) Sql(sql);
        });
    };
    const auto sent = [&] {
        std::vector<std::string> ops;
        for (const auto& r : central.Requests())
            ops.push_back(r.Param("Op") + (r.Param("Op") == "update" ? " " + r.Param("Status") : ""));
        return ops;
    };
    const auto told = [&](const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 1u);
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
        EXPECT_EQ(Log(IDS_LOG_PERSONKURS_UPDATED) + Log(IDS_LOG_PERSON_ADDED), 0);
        EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 2);
        script.Log().Clear();
    };

    // Deregistered here while Anna puts Amsler on the waiting list. The page removes in a unit of its
    // own, which SQLite begins as the only writer: there Anna waits for it. The server lets her write.
    if (kOnPg) {
        ASSERT_TRUE(SelectRow(List(), RowOf(L"Amsler")));
        script.ExpectSelection(1);
        script.ExpectMessageBox(IDOK, L"inzwischen geändert");
        std::thread anna = whileAwaited("UPDATE PersonKurs SET lStatus = 3 WHERE lPersonKursID = " + K(regA));
        Click(Button(IDC_TEILNEHMER_REMOVE));
        anna.join();
        EXPECT_EQ(Reg(regA, "lKursinstanzID || '|' || lStatus"), K(run) + "|3");
        EXPECT_EQ(sent(), (std::vector<std::string>{"update 5", "update 3"}));
        EXPECT_EQ(Cell(List(), RowOf(L"Amsler"), 0), L"auf Warteliste") << "the list shows what is stored";
        told("deregistered");
    }

    // "+" of Brunner, whose planned registration Anna puts into the spring run meanwhile.
    ChoosePersons({L"Brunner"});
    script.ExpectMessageBox(IDOK, L"inzwischen geändert");
    std::thread anna = whileAwaited("UPDATE PersonKurs SET lKursinstanzID = " + K(spring) + " WHERE lPersonKursID = " + K(regB));
    Click(Button(IDC_TEILNEHMER_ADD));
    anna.join();
    EXPECT_EQ(Reg(regB, "lKursinstanzID || '|' || lStatus"), K(spring) + "|0");
    EXPECT_EQ(sent(), (std::vector<std::string>{"add", "remove"}));
    EXPECT_EQ(RowOf(L"Brunner"), -1);
    told("planned registration booked");
}

// "X" removes a registration as one unit: a refused deletion or a lost connection leaves it in its run
// with its status, shown once with its cause; the user's cancel in the choice shows nothing.
TEST_F(TeilnehmerTest, ARemovalIsOneUnitItsFailureIsShownOnceAndACancelNotAtAll) {
    const long anna = Person("Amsler");
    const long reg = Book(anna, run, 3);
    const auto kept = [&] { return Reg(reg, "lKursinstanzID") + "/" + Reg(reg, "lStatus"); };
    const std::string before = K(run) + "/3";
#ifdef QV_KURS_PG
    const wchar_t* const profile = L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2";
    CString direct;
    ASSERT_TRUE(CQvRegistry::GetValue(profile, L"DBConnection", direct));
    qvtest::PgFaultProxy proxy(qvtest::PortOf(qvtest::PgClusterUrl()));
    ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DBConnection",
                                      CString(proxy.Through(qv::ToUtf8(static_cast<LPCWSTR>(direct))).c_str())));
#endif
    ShowPage();

    ASSERT_TRUE(SelectRow(List(), RowOf(L"Amsler")));
    script.ExpectSelection(0);
    Click(Button(IDC_TEILNEHMER_REMOVE));
    EXPECT_EQ(kept(), before);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u) << "the user's cancel is no failure";
    EXPECT_EQ(Text("SELECT coalesce(strLock, '') FROM Kurs WHERE lKursID = " + K(kurs)), "");

    Sql("CREATE TRIGGER PersonKurs_NoDelete BEFORE DELETE ON PersonKurs BEGIN SELECT RAISE(ABORT, 'gesperrt'); END");
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Amsler")));
    script.ExpectSelection(2);
    script.ExpectReport(L"gesperrt");
    Click(Button(IDC_TEILNEHMER_REMOVE));
    EXPECT_EQ(kept(), before) << "nothing of the removal stays";
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(Log(IDS_LOG_PERSON_REMOVED_KURSINSTANZ), 0);
    EXPECT_GE(RowOf(L"Amsler"), 0);
    Sql("DROP TRIGGER PersonKurs_NoDelete");
    script.Log().Clear();

#ifdef QV_KURS_PG
    // The answer to the DELETE is lost: the server rolls the whole removal back with the connection.
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Amsler")));
    script.ExpectSelection(2);
    script.ExpectReport(L"Keine der Änderungen wurde gespeichert.");
    proxy.DropReplyTo("DELETE FROM PersonKurs");
    Click(Button(IDC_TEILNEHMER_REMOVE));
    EXPECT_TRUE(proxy.Dropped());
    EXPECT_EQ(kept(), before);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(Log(IDS_LOG_PERSON_REMOVED_KURSINSTANZ), 0);
    script.Log().Clear();

    // The answer to the COMMIT is lost after the server committed: the outcome is reported as
    // unknown, and the list shows what is stored.
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Amsler")));
    script.ExpectSelection(2);
    script.ExpectReport(L"Ob die Änderungen gespeichert wurden, ist nicht bekannt.");
    proxy.DropReplyTo("COMMIT");
    Click(Button(IDC_TEILNEHMER_REMOVE));
    EXPECT_TRUE(proxy.Dropped());
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonKursID = " + K(reg)), 0);
    EXPECT_EQ(RowOf(L"Amsler"), -1);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    CQvRegistry::SetValue(profile, L"DBConnection", direct);
    script.Log().Clear();
#endif

    // Another user removed the registration the list still shows: it is said to be gone, nothing
    // is written, and the list shows what is stored.
    const long bea = Book(Person("Brunner"), run, 0);
    const long long logged = Log(IDS_LOG_PERSON_REMOVED_KURS);
    ASSERT_EQ(Tn()->Refresh(), S_OK);
    ASSERT_TRUE(SelectRow(List(), RowOf(L"Brunner")));
    Sql("DELETE FROM PersonKurs WHERE lPersonKursID = " + K(bea));
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung besteht nicht mehr");
    Click(Button(IDC_TEILNEHMER_REMOVE));
    EXPECT_EQ(RowOf(L"Brunner"), -1);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
    EXPECT_EQ(Log(IDS_LOG_PERSON_REMOVED_KURS), logged);
}

TEST_F(TeilnehmerTest, TheEditorSavesTheRegistrationInOneTransactionAndSavesNothingItCouldNotLoad) {
    const long anna = Person("Amsler");
    const long reg = Book(anna, run, 0);
    const long year = COleDateTime::GetCurrentTime().GetYear();
    Sql("INSERT INTO Kursreservation (lKursreservationID, lMandantID, lKursID, lYear, lAnzahl) VALUES (1, " + K(mandant) +
        ", " + K(kurs) + ", " + K(year) + ", 3)");
    ShowPage();
    ASSERT_TRUE(SelectRow(List(), 0));

    // Deregistered with a remark and a reason: the date becomes today's, relabelled; a
    // deregistration takes no reserved place of this year.
    script.ExpectModal(IDD_EDITPERSON, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CEditPersonDlg&>(modal);
        HWND wnd = dlg.GetSafeHwnd();
        EXPECT_TRUE(dlg.IsLoaded());
        EXPECT_EQ(qv::ui::test::Text(qv::ui::test::Item(wnd, IDC_EDITPERSON_PERSON)), L"Amsler Hans, Schaffhausen");
        EXPECT_EQ(ComboItems(dlg.m_cbInstanz.GetSafeHwnd()),
                  (std::vector<std::wstring>{L"-", L"Herbst (01.09.2031)", L"Frühling (01.03.2031)"}));
        EXPECT_FALSE(Visible(qv::ui::test::Item(wnd, IDC_EDITPERSON_YEAR)));
        EXPECT_FALSE(Enabled(qv::ui::test::Item(wnd, IDC_EDITPERSON_DATUM))) << "a run's registration has its date";
        EXPECT_FALSE(Enabled(dlg.m_cbAbsenzgrund.GetSafeHwnd())) << "a registered person is not absent";
        for (int id : {IDC_EDITPERSON_ENTSCHULDIGT, IDC_EDITPERSON_ORT, IDC_EDITPERSON_LEITUNG})
            EXPECT_FALSE(Enabled(qv::ui::test::Item(wnd, id))) << id;
        Choose(dlg.m_cbStatus.GetSafeHwnd(), L"Abgemeldet");
        EXPECT_EQ(qv::ui::test::Text(qv::ui::test::Item(wnd, IDC_EDITPERSON_DATUM_LABEL)), L"Abmeldung am");
        EXPECT_TRUE(Enabled(dlg.m_cbAbsenzgrund.GetSafeHwnd()) && Enabled(qv::ui::test::Item(wnd, IDC_EDITPERSON_DATUM)));
        Choose(dlg.m_cbAbsenzgrund.GetSafeHwnd(), L"Krankheit");
        // A date that is none is refused and the editor stays open.
        const std::wstring today = qv::ui::test::Text(qv::ui::test::Item(wnd, IDC_EDITPERSON_DATUM));
        Retype(qv::ui::test::Item(wnd, IDC_EDITPERSON_DATUM), L"31.13.x");
        script.ExpectMessageBox(IDOK, L"Bitte geben Sie ein gültiges Datum ein (TT.MM.JJJJ).");
        Click(wnd, IDOK);
        EXPECT_FALSE(modal.IsModalEnded());
        // Digits alone, as the dates of a run take them.
        std::wstring digits = today;
        std::erase(digits, L'.');
        Retype(qv::ui::test::Item(wnd, IDC_EDITPERSON_DATUM), digits);
        Retype(qv::ui::test::Item(wnd, IDC_EDITPERSON_BEMERKUNG), L"Ferien d'été");
        Screen(wnd, "editpersondlg");
        // A registration in a run records no place, duration or leader of its own: what another
        // writer stored meanwhile stays.
        Sql("UPDATE PersonKurs SET strInstanzOrt = 'Thayngen', dblInstanzDauer = 2, strInstanzLeitung = 'Meier' "
            "WHERE lPersonKursID = " + K(reg));
        Click(wnd, IDOK);
    });
    // A double click on the row opens the editor as the edit button does.
    ASSERT_TRUE(DoubleClickRow(List(), 0));
    EXPECT_EQ(Reg(reg, "lStatus || '|' || lAbsenzgrundID || '|' || strBemerkung || '|' || substr(dtDatum, 12)"),
              "5|1|Ferien d'été|00:00:00");
    EXPECT_EQ(Reg(reg, "substr(dtDatum, 1, 10)"), U(COleDateTime::GetCurrentTime().Format(L"%Y-%m-%d")));
    EXPECT_EQ(Int("SELECT lAnzahl FROM Kursreservation"), 3);
    EXPECT_EQ(Reg(reg, "strInstanzOrt || '|' || printf('%.2f', dblInstanzDauer) || '|' || strInstanzLeitung"),
              "Thayngen|2.00|Meier");
    EXPECT_TRUE(RowSelected(List(), RowOf(L"Amsler"))) << "the edited booking is selected again";
    EXPECT_EQ(Cell(List(), RowOf(L"Amsler"), 0), L"Abgemeldet");
    ExpectOneEvent();

    // Removed by another user while it is edited, with a new remark or moved to another run: OK
    // says once that it is gone, writes nothing and no entry, and the page the editor closes on no
    // longer lists it.
    const long berger = Person("Berger");
    for (const bool bMove : {false, true}) {
        const long berta = Book(berger, run, 0);
        ASSERT_EQ(Tn()->FillList(), S_OK);
        ASSERT_TRUE(SelectRow(List(), RowOf(L"Berger")));
        const long long logged = Int("SELECT count(*) FROM UserLog");
        script.ExpectModal(IDD_EDITPERSON, [&](qv::IModalDialog& modal) {
            auto& dlg = dynamic_cast<CEditPersonDlg&>(modal);
            Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_EDITPERSON_BEMERKUNG), L"zu spät");
            // A move asks nothing about a registration that is gone.
            if (bMove) ASSERT_TRUE(Choose(dlg.m_cbInstanz.GetSafeHwnd(), L"Frühling (01.03.2031)"));
            Sql("DELETE FROM PersonKurs WHERE lPersonKursID = " + K(berta));
            script.ExpectMessageBox(IDOK, L"Diese Anmeldung besteht nicht mehr, sie wurde inzwischen entfernt.");
            Click(dlg.GetSafeHwnd(), IDOK);
            EXPECT_TRUE(modal.IsModalEnded());
        });
        Click(Button(IDC_TEILNEHMER_EDIT));
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
        EXPECT_EQ(Int("SELECT count(*) FROM UserLog"), logged);
        EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonID = " + K(berger)), 0);
        EXPECT_EQ(RowOf(L"Berger"), -1);
        Pump();
        listener.count = 0;
    }
    // Re-stated by another user while it is edited: the new remark is not written onto it.
    {
        const long berta = Book(berger, run, 0);
        ASSERT_EQ(Tn()->FillList(), S_OK);
        ASSERT_TRUE(SelectRow(List(), RowOf(L"Berger")));
        const long long logged = Int("SELECT count(*) FROM UserLog");
        script.ExpectModal(IDD_EDITPERSON, [&](qv::IModalDialog& modal) {
            auto& dlg = dynamic_cast<CEditPersonDlg&>(modal);
            Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_EDITPERSON_BEMERKUNG), L"zu spät");
            Sql("UPDATE PersonKurs SET lStatus = 3 WHERE lPersonKursID = " + K(berta));
            script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert");
            Click(dlg.GetSafeHwnd(), IDOK);
            EXPECT_TRUE(modal.IsModalEnded());
        });
        Click(Button(IDC_TEILNEHMER_EDIT));
        EXPECT_EQ(Reg(berta, "lStatus || '|' || strBemerkung"), "3|");
        EXPECT_EQ(Int("SELECT count(*) FROM UserLog"), logged);
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
        Sql("DELETE FROM PersonKurs WHERE lPersonKursID = " + K(berta));
        ASSERT_EQ(Tn()->FillList(), S_OK);
        Pump();
        listener.count = 0;
    }

    // One transaction: when the last write fails, the status written before it is rolled back and
    // the editor stays open with the user's entries.
    Sql("CREATE TRIGGER PersonKurs_Refuse BEFORE UPDATE ON PersonKurs WHEN new.strBemerkung = 'kaputt' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    script.AllowReports(true);
    ASSERT_TRUE(SelectRow(List(), 0));
    script.ExpectModal(IDD_EDITPERSON, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CEditPersonDlg&>(modal);
        HWND wnd = dlg.GetSafeHwnd();
        Choose(dlg.m_cbStatus.GetSafeHwnd(), L"Nicht besucht");
        EXPECT_TRUE(Enabled(dlg.m_cbAbsenzgrund.GetSafeHwnd())) << "one who did not attend gives a reason";
        Choose(dlg.m_cbStatus.GetSafeHwnd(), L"Besucht/Bestanden");
        EXPECT_EQ(qv::ui::test::Text(qv::ui::test::Item(wnd, IDC_EDITPERSON_DAUER_LABEL)), L"Kurstage besucht");
        EXPECT_TRUE(Enabled(qv::ui::test::Item(wnd, IDC_EDITPERSON_DAUER))) << "an open local run's days are entered";
        Retype(qv::ui::test::Item(wnd, IDC_EDITPERSON_BEMERKUNG), L"kaputt");
        Click(wnd, IDOK);
        EXPECT_FALSE(modal.IsModalEnded());
        EXPECT_EQ(Reg(reg, "lStatus || '|' || strBemerkung"), "5|Ferien d'été");
        EXPECT_EQ(qv::ui::test::Text(qv::ui::test::Item(wnd, IDC_EDITPERSON_BEMERKUNG)), L"kaputt");
        Click(wnd, IDCANCEL);
    });
    Click(Button(IDC_TEILNEHMER_EDIT));
    EXPECT_EQ(Reg(reg, "lStatus || '|' || strBemerkung"), "5|Ferien d'été");
    script.AllowReports(false);
    const std::string before = Reg(reg, "lStatus || '|' || strBemerkung");

    // A local installation keeps a registration in its closed run.
    Sql("UPDATE Kursinstanz SET fGeschlossen = 1 WHERE lKursinstanzID = " + K(run));
    script.ExpectModal(IDD_EDITPERSON, [](qv::IModalDialog& modal) {
        EXPECT_FALSE(Enabled(dynamic_cast<CEditPersonDlg&>(modal).m_cbInstanz.GetSafeHwnd()));
        modal.EndModal(IDCANCEL);
    });
    EXPECT_EQ(VRQ_ShowEditPersonDlg(eAuthorityTypLokal, kurs, reg), IDCANCEL);
    Sql("UPDATE Kursinstanz SET fGeschlossen = 0 WHERE lKursinstanzID = " + K(run));

    // Without a rights row on the course the registration cannot be read: OK stays disabled, and
    // the failure is reported once, by the step that met it.
    Sql("DELETE FROM SecKurs WHERE lKursID = " + K(kurs));
    script.Log().Clear();
    script.ExpectReport();
    script.ExpectModal(IDD_EDITPERSON, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CEditPersonDlg&>(modal);
        EXPECT_FALSE(dlg.IsLoaded());
        EXPECT_FALSE(Enabled(qv::ui::test::Item(dlg.GetSafeHwnd(), IDOK)));
        PressKey(dlg.GetSafeHwnd(), VK_RETURN);
        EXPECT_FALSE(modal.IsModalEnded()) << "Enter saves nothing either";
        modal.EndModal(IDCANCEL);
    });
    EXPECT_EQ(VRQ_ShowEditPersonDlg(eAuthorityTypLokal, kurs, reg), IDCANCEL);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(Reg(reg, "lStatus || '|' || strBemerkung"), before);
    Pump();
    EXPECT_EQ(listener.count.load(), 0);
}

TEST_F(TeilnehmerTest, APlannedRegistrationIsEditedByItsYear) {
    const long anna = Person("Amsler");
    const long reg = AddReg(anna, kurs, -1, 0, "2031-01-15");
    Sql("INSERT INTO Kursreservation (lKursreservationID, lMandantID, lKursID, lYear, lAnzahl) VALUES (1, " + K(mandant) +
        ", " + K(kurs) + ", 2033, 2)");
    script.ExpectModal(IDD_EDITPERSON, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CEditPersonDlg&>(modal);
        HWND wnd = dlg.GetSafeHwnd();
        HWND year = qv::ui::test::Item(wnd, IDC_EDITPERSON_YEAR);
        EXPECT_TRUE(Visible(year) && Visible(dlg.m_spinYear.GetSafeHwnd()));
        EXPECT_FALSE(Visible(qv::ui::test::Item(wnd, IDC_EDITPERSON_DATUM)));
        EXPECT_EQ(qv::ui::test::Text(year), L"2031");
        // Without a run there is neither waiting list nor penalty, and the planned status reads so.
        const auto items = ComboItems(dlg.m_cbStatus.GetSafeHwnd());
        EXPECT_EQ(items.size(), 6u);
        EXPECT_EQ(items[1], L"Geplant/Angemeldet");
        Retype(year, L"2033");
        // A planned registration records its own place, duration and leader, each as long as the
        // registration keeps it.
        for (int id : {IDC_EDITPERSON_ORT, IDC_EDITPERSON_LEITUNG}) {
            Retype(qv::ui::test::Item(wnd, id), std::wstring(300, L'o'));
            EXPECT_EQ(qv::ui::test::Text(qv::ui::test::Item(wnd, id)).size(), 254u) << id;
        }
        Retype(qv::ui::test::Item(wnd, IDC_EDITPERSON_ORT), L"Stein am Rhein");
        Retype(qv::ui::test::Item(wnd, IDC_EDITPERSON_DAUER), L"1.50 Tg");
        Retype(qv::ui::test::Item(wnd, IDC_EDITPERSON_LEITUNG), L"Meier");
        // The registration moves to another year: it takes a place reserved for that year.
        script.ExpectMessageBox(IDOK, L"für das Jahr 2033  um eins verkleinert", [&] {
            // Told once the save is committed: another workstation sees it and may write.
            EXPECT_EQ(Int("SELECT lAnzahl FROM Kursreservation"), 1);
            Sql("UPDATE Kursreservation SET lAnzahl = lAnzahl WHERE lKursreservationID = 1");
        });
        Click(wnd, IDOK);
    });
    EXPECT_EQ(VRQ_ShowEditPersonDlg(eAuthorityTypLokal, kurs, reg), IDOK);
    EXPECT_EQ(Reg(reg, "dtDatum || '|' || lKursinstanzID || '|' || lStatus"), "2033-12-31 00:00:00|-1|0");
    EXPECT_EQ(Reg(reg, "strInstanzOrt || '|' || printf('%.2f', dblInstanzDauer) || '|' || strInstanzLeitung"),
              "Stein am Rhein|1.50|Meier");
    EXPECT_EQ(Int("SELECT lAnzahl FROM Kursreservation"), 1);
    ExpectOneEvent();
}

// A move inside a save that is rolled back leaves the registration where it is stored: choosing
// the stored run again and OK writes the status the editor shows. A move that stands takes the
// status the course API gives the moved registration, not the one chosen.
TEST_F(TeilnehmerTest, AfterARolledBackMoveTheEditorSavesTheStatusItShows) {
    const long reg = Book(Person("Amsler"), run, 3);
    Sql("CREATE TRIGGER PersonKurs_Refuse BEFORE UPDATE ON PersonKurs WHEN new.strBemerkung = 'kaputt' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    script.ExpectModal(IDD_EDITPERSON, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CEditPersonDlg&>(modal);
        HWND wnd = dlg.GetSafeHwnd();
        EXPECT_FALSE(Enabled(qv::ui::test::Item(wnd, IDC_EDITPERSON_DATUM))) << "on the waiting list, the run's date";
        ASSERT_TRUE(Choose(dlg.m_cbInstanz.GetSafeHwnd(), L"Frühling (01.03.2031)"));
        Retype(qv::ui::test::Item(wnd, IDC_EDITPERSON_BEMERKUNG), L"kaputt");
        script.AllowReports(true);
        script.ExpectSelection(2);  // taken out of the old run, the registration joins the new one
        Click(wnd, IDOK);
        script.AllowReports(false);
        const auto reports = script.Log().Records(qv::InteractionKind::Report);
        ASSERT_EQ(reports.size(), 1u) << "one report, with its cause";
        EXPECT_NE(reports[0].text.find(L"refused"), std::wstring::npos);
        ASSERT_FALSE(modal.IsModalEnded());
        EXPECT_EQ(Reg(reg, "lKursinstanzID || '|' || lStatus"), K(run) + "|3");
        ASSERT_TRUE(Choose(dlg.m_cbInstanz.GetSafeHwnd(), L"Herbst (01.09.2031)"));
        EXPECT_EQ(qv::ui::test::Text(dlg.m_cbStatus.GetSafeHwnd()), L"Geplant/Angemeldet");
        Retype(qv::ui::test::Item(wnd, IDC_EDITPERSON_BEMERKUNG), L"bleibt");
        Click(wnd, IDOK);
    });
    EXPECT_EQ(VRQ_ShowEditPersonDlg(eAuthorityTypLokal, kurs, reg), IDOK);
    EXPECT_EQ(Reg(reg, "lKursinstanzID || '|' || lStatus || '|' || strBemerkung"), K(run) + "|0|bleibt");

    script.ExpectModal(IDD_EDITPERSON, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CEditPersonDlg&>(modal);
        ASSERT_TRUE(Choose(dlg.m_cbInstanz.GetSafeHwnd(), L"Frühling (01.03.2031)"));
        ASSERT_TRUE(Choose(dlg.m_cbStatus.GetSafeHwnd(), L"Besucht/Bestanden"));
        // Asked before the save's unit begins: another workstation's write goes through meanwhile.
        script.ExpectSelection(2, {}, [&] {
            Sql("UPDATE PersonKurs SET strBemerkung = 'gefragt' WHERE lPersonKursID = " + K(reg));
        });
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    EXPECT_EQ(VRQ_ShowEditPersonDlg(eAuthorityTypLokal, kurs, reg), IDOK);
    EXPECT_EQ(Reg(reg, "lKursinstanzID || '|' || lStatus"), K(spring) + "|0");

    // Taken out of its run, the registration is planned for the year of the run.
    const long long removed = Log(IDS_LOG_PERSON_REMOVED_KURSINSTANZ);
    script.ExpectModal(IDD_EDITPERSON, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CEditPersonDlg&>(modal);
        ASSERT_TRUE(Choose(dlg.m_cbInstanz.GetSafeHwnd(), L"-"));
        EXPECT_TRUE(Visible(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_EDITPERSON_YEAR)));
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    EXPECT_EQ(VRQ_ShowEditPersonDlg(eAuthorityTypLokal, kurs, reg), IDOK);
    EXPECT_EQ(Reg(reg, "lKursinstanzID || '|' || lStatus || '|' || substr(dtDatum, 1, 10)"), "-1|0|2031-12-31");
    EXPECT_EQ(Log(IDS_LOG_PERSON_REMOVED_KURSINSTANZ), removed + 1);
}

TEST_F(TeilnehmerTest, TheEditorKeepsARunStatusAndRoleItsListsDoNotOffer) {
    // A penalty waiting list outside its canton, in a run the user holds no rights row for; the
    // course's type would offer the penalty in canton SH.
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"Kanton", L"ZH", HKEY_LOCAL_MACHINE);
    const long reg = Book(Person("Amsler"), run, 4);
    Sql("UPDATE PersonKurs SET lKursleitungID = 77 WHERE lPersonKursID = " + K(reg));
    Sql("DELETE FROM SecKurs WHERE lKursinstanzID = " + K(run));
    script.ExpectModal(IDD_EDITPERSON, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CEditPersonDlg&>(modal);
        EXPECT_EQ(dlg.m_cbInstanz.GetCurSel(), -1);
        EXPECT_EQ(dlg.m_cbStatus.GetCurSel(), -1);
        EXPECT_FALSE(Enabled(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_EDITPERSON_DATUM))) << "penalty list: the run's date";
        Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_EDITPERSON_BEMERKUNG), L"nur die Bemerkung");
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    EXPECT_EQ(VRQ_ShowEditPersonDlg(eAuthorityTypBund, kurs, reg), IDOK);
    EXPECT_EQ(Reg(reg, "lKursinstanzID || '|' || lStatus || '|' || lKursleitungID || '|' || strBemerkung"),
              K(run) + "|4|77|nur die Bemerkung");
    ExpectOneEvent();

    // Without a rights row on the run the page still reads: its commands are shown, none enabled.
    ShowPage();
    for (int id : {IDC_TEILNEHMER_ADD, IDC_TEILNEHMER_EDIT, IDC_TEILNEHMER_CHANGESTATE}) {
        EXPECT_TRUE(Visible(Button(id))) << id;
        EXPECT_FALSE(Enabled(Button(id))) << id;
    }
}

TEST_F(TeilnehmerTest, ThePageHearsItsEventsAlsoWhenTheSwitchFlagCannotBeRead) {
    Book(Person("Amsler"), run, 0);
    Sql("ALTER TABLE DataExchange RENAME TO DataExchangeGone");
    script.AllowReports(true);
    ShowPage();
    script.AllowReports(false);
    Sql("ALTER TABLE DataExchangeGone RENAME TO DataExchange");
    ASSERT_GE(script.Log().Count(qv::InteractionKind::Report), 1u) << "the failed read is reported";
    // The course data page in front: a change of the active Mandant marks the participants for reload.
    ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 0));
    Pump();
    ASSERT_FALSE(Tn()->GetModifiedFlag());
    CQvEventSource events;
    ASSERT_EQ(events.FireEvent(qv::MakeGuid("D643F415-8768-44A9-8804-C701EF1FCAD9"), 0L, FALSE), S_OK);
    EXPECT_TRUE(WaitFor([&] { return Tn()->GetModifiedFlag() != FALSE; }));
    // A run-changed event of its own run does too; back in front, the page reloads.
    ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 1));
    Pump();
    EXPECT_FALSE(Tn()->GetModifiedFlag());
}

TEST_F(TeilnehmerTest, ThePlaceEditorAndTheComboFillOfThePlatformLibrary) {
    Sql("INSERT INTO Ort (lOrtID, strPLZ, strOrt) VALUES (2, '8400', 'Winterthur')");
    long ort = 1;
    script.ExpectModal(30500, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CDialog&>(modal);
        HWND combo = qv::ui::test::Item(dlg.GetSafeHwnd(), 30501);
        EXPECT_EQ(ComboItems(combo), (std::vector<std::wstring>{L"8200 Schaffhausen", L"8400 Winterthur"}));
        EXPECT_EQ(qv::ui::test::Text(combo), L"8200 Schaffhausen") << "the current place is chosen";
        SelectComboItem(combo, 1);
        Screen(dlg.GetSafeHwnd(), "nqeditortdlg");
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    EXPECT_EQ(NQ_ShowEditOrtDlg(ort), IDOK);
    EXPECT_EQ(ort, 2);
    script.ExpectModal(30500, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    EXPECT_EQ(NQ_ShowEditOrtDlg(ort), IDCANCEL);
    EXPECT_EQ(ort, 2) << "cancelled: unchanged";
    // A statement that fails is reported and added nothing.
    CComboBox* combo = nullptr;
    script.ExpectModal(30500, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CDialog&>(modal);
        combo = static_cast<CComboBox*>(dlg.GetDlgItem(30501));
        script.ExpectReport();
        long count = -1;
        EXPECT_LT(NQ_FillCombo(L"SELECT nothing AS id FROM NoSuchTable", combo, 0, 0, &count), 0);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(combo->GetCount(), 2);
        modal.EndModal(IDCANCEL);
    });
    NQ_ShowEditOrtDlg(ort);
}

TEST_F(TeilnehmerTest, TheStatusDialogOffersTheStatusesOfTheBookingKind) {
    CKursResourceScope scope;
    struct Case { const char* what; long run, typ; BOOL teilnehmer; const wchar_t* kanton; std::vector<long> values;
                  std::wstring first, planned; };
    const Case cases[] = {
        {"participant, SH", 1, 1, TRUE, L"SH", {3, 4, 7, 0, 1, 6, 2, 5}, L"auf Warteliste", L"Angemeldet"},
        {"other canton", 1, 1, TRUE, L"ZH", {3, 7, 0, 1, 6, 2, 5}, L"auf Warteliste", L"Angemeldet"},
        {"local course", 1, 3, TRUE, L"SH", {3, 7, 0, 1, 6, 2, 5}, L"auf Warteliste", L"Angemeldet"},
        {"instructor", 1, 1, FALSE, L"ZH", {3, 7, 0, 1, 6, 2, 5}, L"Reserve", L"Angemeldet"},
        {"no run", -1, 1, TRUE, L"SH", {7, 0, 1, 6, 2, 5}, L"Provisorisch Angemeldet", L"Geplant"},
    };
    for (const Case& c : cases) {
        CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"Kanton", c.kanton, HKEY_LOCAL_MACHINE);
        CGetStatusDlg dlg;
        dlg.lKursinstanzID = c.run;
        dlg.lTyp = c.typ;
        dlg.bTeilnehmer = c.teilnehmer;
        dlg.lStatus = 4;
        script.ExpectModal(IDD_GETSTATUS, [&](qv::IModalDialog&) {
            std::vector<long> values;
            for (int i = 0; i < dlg.m_cbStatus.GetCount(); ++i) values.push_back(long(dlg.m_cbStatus.GetItemData(i)));
            EXPECT_EQ(values, c.values) << c.what;
            const auto texts = ComboItems(dlg.m_cbStatus.GetSafeHwnd());
            EXPECT_EQ(texts.front(), c.first) << c.what;
            EXPECT_NE(std::find(texts.begin(), texts.end(), c.planned), texts.end()) << c.what;
            // The preset 4 is selected only where the list has it; OK needs a selection.
            const bool has4 = std::find(c.values.begin(), c.values.end(), 4) != c.values.end();
            EXPECT_EQ(Enabled(qv::ui::test::Item(dlg.GetSafeHwnd(), IDOK)), has4) << c.what;
            SelectComboItem(dlg.m_cbStatus.GetSafeHwnd(), 1);
            EXPECT_TRUE(Enabled(qv::ui::test::Item(dlg.GetSafeHwnd(), IDOK)));
            if (std::string(c.what) == "participant, SH") Screen(dlg.GetSafeHwnd(), "getstatusdlg");
            Click(dlg.GetSafeHwnd(), IDOK);
        });
        ASSERT_EQ(dlg.DoModal(), IDOK) << c.what;
        EXPECT_EQ(dlg.lStatus, c.values[1]) << c.what;
    }
}

TEST_F(TeilnehmerTest, TheYearGroupAndDateDialogsCheckTheirFields) {
    CKursResourceScope scope;
    const long thisYear = COleDateTime::GetCurrentTime().GetYear();
    // The year: Esc leaves the caller's value, a year out of range is refused once, OK takes it.
    long year = 1234;
    script.ExpectModal(IDD_GETKURSYEAR, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    EXPECT_EQ(VRQ_ShowGetKursYearDlg(year), IDCANCEL);
    EXPECT_EQ(year, 1234);
    script.ExpectModal(IDD_GETKURSYEAR, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CGetKursYearDlg&>(modal);
        HWND edit = qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_GETKURSYEAR_YEAR);
        EXPECT_EQ(qv::ui::test::Text(edit), std::to_wstring(thisYear));
        Screen(dlg.GetSafeHwnd(), "getkursyeardlg");
        Retype(edit, L"2201");
        script.ExpectMessageBox(IDOK);
        Click(dlg.GetSafeHwnd(), IDOK);
        EXPECT_FALSE(modal.IsModalEnded());
        Retype(edit, L"2040");
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    EXPECT_EQ(VRQ_ShowGetKursYearDlg(year), IDOK);
    EXPECT_EQ(year, 2040);

    // The group: the name stops at 254 characters; a maximum beyond the arrows' range is kept.
    CGruppeBezDlg group;
    script.ExpectModal(IDD_GRUPPEBEZ, [&](qv::IModalDialog& modal) {
        HWND wnd = group.GetSafeHwnd();
        Retype(qv::ui::test::Item(wnd, IDC_GRUPPEBEZ_NAME), std::wstring(300, L'x'));
        Retype(qv::ui::test::Item(wnd, IDC_GRUPPEBEZ_MAX), L"1500");
        Screen(wnd, "gruppebezdlg");
        Click(wnd, IDOK);
        EXPECT_TRUE(modal.IsModalEnded());
    });
    ASSERT_EQ(group.DoModal(), IDOK);
    EXPECT_EQ(group.strBezeichnung.GetLength(), 254);
    EXPECT_EQ(group.lMaxTeilnehmer, 1500);

    // The date: confirmed unchanged, the caller gets the date it passed in.
    CGetDatumDlg datum;
    datum.dtDatum = CQvDateTime(2031, 3, 1, 8, 30, 0);
    script.ExpectModal(IDD_GETDATUM, [&](qv::IModalDialog&) {
        EXPECT_EQ(qv::ui::test::Text(qv::ui::test::Item(datum.GetSafeHwnd(), IDC_GETDATUM_DATUM)), L"01.03.2031");
        Screen(datum.GetSafeHwnd(), "getdatumdlg");
        Click(datum.GetSafeHwnd(), IDOK);
    });
    ASSERT_EQ(datum.DoModal(), IDOK);
    EXPECT_EQ(datum.dtDatum.Format(L"%d.%m.%Y %H:%M"), CString(L"01.03.2031 08:30"));
}

}  // namespace
}  // namespace kurstest
