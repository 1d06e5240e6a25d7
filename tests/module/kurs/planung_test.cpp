// The planning, archive and custom-data pages of the course window through their real widgets in
// the host frame over a database from the suite schema: the planned registrations and reservations
// with their per-year counts, adding to the plan in one transaction, placing into a run, the
// archive's loader thread and its counts, removing a mixed selection, and custom-field values.
#include "adosession.h"
#include "custfielddlg.h"
#include "editpersondlg.h"
#include "getkursyeardlg.h"
#include "getstatusdlg.h"
#include "historydlg.h"
#include "kursresource.h"
#include "nqemail.h"
#include "kurswin_window.h"
#include "leftworkers.h"
#include "nqlogicint.h"
#include "nqplanungcalls.h"
#include "qvlanguage.h"
#include "planungdlg.h"
#include "qvregvalue.h"
#include "qvasynceventsink.h"
#include "searchdlg.h"
#include "searchpopupdlg.h"
#include "searchresource.h"
#include "searchpersondlg.h"
#include "searchtabdlg.h"
#include "serverhost.h"
#include "textcase.h"
#include "../../suite/frame/fakeview.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#if __has_include("editreservationdlg.h")
#include "editreservationdlg.h"
#define PLANUNG_TEST_RESERVATIONS 1
#endif

namespace kurstest {
namespace {

using namespace qv::ui::test;

constexpr GUID kReservationsChanged = qv::MakeGuid("3E018E57-48D1-479F-8324-A5D4507578C8");
constexpr GUID kMandantChanged = qv::MakeGuid("D643F415-8768-44A9-8804-C701EF1FCAD9");
constexpr GUID kKursChanged = qv::MakeGuid("285D3D5E-82F8-4A8E-80F1-4EDBCC39D1EF");

// Hears the bookings-changed and reservations-changed events the pages fire (their course ids).
struct Listener {
    void OnBookings(COleVariant value) { bookings.push_back(static_cast<const VARIANT&>(value).lVal); }
    void OnReservations(COleVariant value) { reservations.push_back(static_cast<const VARIANT&>(value).lVal); }
    DECLARE_QVEVENT_MAP()
    std::vector<long> bookings, reservations;  // handed over on the GUI thread
    CQvAsyncEventSink sink;
};

BEGIN_QVEVENT_MAP(Listener)
    ON_QVEVENT(CKursChildDlg::GUID_BookingsChanged, OnBookings)
    ON_QVEVENT(kReservationsChanged, OnReservations)
END_QVEVENT_MAP()

class PlanungTest : public KursWindow {
protected:
    void SetUp() override {
        KursWindow::SetUp();
        ASSERT_EQ(listener.sink.Create(&listener, Listener::GetQvEventMap()), S_OK);
        ASSERT_EQ(qvtest::RegisterModule(QV_LOGIC_MODULE), S_OK);
        ASSERT_EQ(qv::servers::StartRunningServer(NQ_LOGICSERVER_PROGID), S_OK);
        for (const wchar_t* f : {L"{8BDEFAFA-61B5-4DB5-8CBD-5C38E19AEB70}", L"{B92A2088-34E1-4211-8BC9-2A743F3B16CD}",
                                 L"{37B2CB0D-1E9E-42E2-88FE-3E83380CF5D4}"})
            security.Answer(f, L"", 0x8000101);
        Sql("INSERT INTO Ort (lOrtID, strPLZ, strOrt) VALUES (1, '8200', 'Schaffhausen')");
        Sql("INSERT INTO Grad (lGradID, strBezeichnung, strKurzbezeichnung, strKurzbezeichnungF, lRang) VALUES "
            "(1, 'Korporal', 'Kpl', '', 5)");
        // Six months after its date a registration belongs to the archive.
        Sql("INSERT INTO CustFieldValue (guid, lCFTypeID, lID, strValue) VALUES "
            "('d4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d', -1, -1, '6')");
        // The user sees the persons of the Mandant.
        Sql("INSERT INTO SecMandant (lMandantID, lTableID, lQvSecUserID, lRight) VALUES (" + K(mandant) +
            ", 4, 5, 257)");
        options.Set(-4000, L"KursTyp", L"x 1 1 1");  // the run search offers every course type
        kurs = AddKurs(3, "GK");
        run = AddRun(kurs, "2031-09-01", "Herbst", 10);
        Sql("INSERT OR REPLACE INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (" + K(kurs) + ", -1, 5, 257)");
        Sql("INSERT OR REPLACE INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (-1, " + K(run) + ", 5, 257)");
    }
    void TearDown() override {
        listener.sink.Unadvise();
        KursWindow::TearDown();
        qv::servers::StopRunningServer(NQ_LOGICSERVER_PROGID);
    }
    // Whether the events named the course, once each that is asked for; forgets them.
    void ExpectEvents(bool bookings, bool reservations) {
        const std::vector<long> none, once{kurs};
        EXPECT_TRUE(WaitFor([&] {
            Pump();
            return listener.bookings.size() >= bookings && listener.reservations.size() >= reservations;
        }));
        Pump();
        EXPECT_EQ(listener.bookings, bookings ? once : none);
        EXPECT_EQ(listener.reservations, reservations ? once : none);
        listener.bookings.clear();
        listener.reservations.clear();
    }
    long Person(const std::string& name, long grad = -1) {
        const long id = AddPerson(name);
        Sql("UPDATE Person SET lOrtID = 1, lCAktGradID = " + K(grad) + " WHERE lPersonID = " + K(id));
        return id;
    }
    long Reg(long person, long r, long status, const std::string& date, bool teilnehmer = true, long leitung = -1) {
        const long id = AddReg(person, kurs, r, status, "2030-12-01");
        Sql("UPDATE PersonKurs SET dtDatum = '" + date + " 00:00:00', fTeilnehmer = " + K(teilnehmer) +
            ", lKursleitungID = " + K(leitung) + " WHERE lPersonKursID = " + K(id));
        return id;
    }
    // Opens the course window on the course and shows the page with the label.
    template <class T> T* Show(const std::wstring& label) {
        if (!Dlg()) OpenView();
        const auto labels = TabLabels(Dlg()->GetTabCtrl().GetSafeHwnd());
        const auto it = std::find(labels.begin(), labels.end(), label);
        EXPECT_NE(it, labels.end());
        if (it == labels.end()) return nullptr;
        const int index = int(it - labels.begin());
        EXPECT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), index));
        Pump();
        return dynamic_cast<T*>(Page(index));
    }
    static int RowOf(HWND list, const std::wstring& name) {
        for (int row = 0; row < Rows(list); ++row)
            if (Cell(list, row, 5).find(name) == 0) return row;
        return -1;
    }
    // The picture of the status strip a row shows beside its first cell; -1 when it shows none.
    static int Picture(CListCtrl& list, int row) {
        auto* view = qobject_cast<QAbstractItemView*>(Widget(list.GetSafeHwnd()));
        if (!view || view->model()->index(row, 0).data(Qt::DecorationRole).value<QPixmap>().isNull()) return -1;
        LVITEMW item{};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        return list.GetItem(&item) ? item.iImage : -1;
    }
    void ChoosePersons(std::vector<std::wstring> names) {
        script.ExpectModal(IDD_SEARCHPOPUP, [names](qv::IModalDialog& modal) {
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
                        Cell(list, row, 1).find(name) != std::wstring::npos)
                        ClickRowCheckBox(list, row);
            Click(popup.GetSafeHwnd(), IDOK);
            if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        });
    }
    void ChooseYear(int year) {
        script.ExpectModal(IDD_GETKURSYEAR, [year](qv::IModalDialog& modal) {
            auto& dlg = dynamic_cast<CGetKursYearDlg&>(modal);
            Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_GETKURSYEAR_YEAR), std::to_wstring(year));
            Click(dlg.GetSafeHwnd(), IDOK);
        });
    }
    long long Planned(long person, int year) {
        return Int("SELECT count(*) FROM PersonKurs WHERE lKursinstanzID = -1 AND lPersonID = " + K(person) +
                   " AND strftime('%Y', dtDatum) = '" + std::to_string(year) + "'");
    }
    std::wstring Status(CWnd* page) { return qv::ui::test::Text(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_STATUS)); }
    void WaitLoaded(CHistoryDlg* page) {
        ASSERT_TRUE(WaitFor([&] { Pump(); return !page->IsLoading(); }, 20000));
        Pump();
    }

    Listener listener;
    long kurs = 0, run = 0;
};

TEST_F(PlanungTest, PlannedRegistrationsAndReservationsAreListedWithTheirCountsPerYear) {
    qv::nq::SetEnterpriseEdition(true);
    Sql("INSERT INTO Funktion (lFunktionID, strBezeichnung) VALUES (1, 'Klassenlehrer')");
    Sql("INSERT INTO Kursleitung (lKursleitungID, lFunktionID) VALUES (1, 1)");
    const long anna = Person("Amsler", 1), dora = Person("Dubach");
    Reg(anna, -1, 0, "2031-12-31");
    Reg(Person("Brunner"), -1, 7, "2031-12-31");
    Reg(Person("Caflisch"), -1, 3, "2031-12-31");  // listed, not counted
    Reg(dora, -1, 0, "2033-12-31", false, 1);
    Reg(Person("Egli"), -1, 3, "2020-12-31");  // past the archive age
    Reg(Person("Fehr"), -1, 0, "2020-12-31");  // planned: listed whatever its age
    Reg(Person("Gut"), run, 0, "2031-09-01");  // in a run
    Sql("INSERT INTO Kursreservation (lKursreservationID, lKursID, lMandantID, lYear, lAnzahl, strBemerkung) VALUES "
        "(900, " + K(kurs) + ", " + K(mandant) + ", 2032, 5, 'Reserve Nord')");
    auto* page = Show<CPlanungDlg>(L"Planung");
    ASSERT_NE(page, nullptr);
    HWND list = page->m_list.GetSafeHwnd();

    ASSERT_EQ(Rows(list), 6);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "loaded: no busy cursor is left";
    EXPECT_EQ(RowOf(list, L"Egli"), -1);
    EXPECT_EQ(RowOf(list, L"Gut"), -1);
    EXPECT_EQ(Status(page), L"Anzahl geplant/reserviert pro Jahr: 2020: 1;  2031: 2;  2032: 5;  2033: 0;    |  "
                            L"Provisorisch: 1  Geplant: 2");
    const int amsler = RowOf(list, L"Amsler");
    // Each row shows the picture of its status: a planned and a provisional participant, a
    // planned instructor, a reservation (below).
    EXPECT_EQ(Picture(page->m_list, amsler), 1);
    EXPECT_EQ(Picture(page->m_list, RowOf(list, L"Brunner")), 8);
    EXPECT_EQ(Picture(page->m_list, RowOf(list, L"Dubach")), 14);
    EXPECT_EQ(Cell(list, amsler, 1), L"2031");
    EXPECT_EQ(Cell(list, amsler, 3), L"5");
    EXPECT_EQ(Cell(list, amsler, 4), L"Kpl");
    EXPECT_EQ(Cell(list, amsler, 10), L"FW Nord");
    EXPECT_EQ(Cell(list, amsler, 8), L"01.12.2030 00:00") << "a person's registration date";
    // In the order of the years: 2020 first, the reservation of 2032 and the instructor of 2033 last.
    EXPECT_EQ(RowOf(list, L"Fehr"), 0);
    EXPECT_EQ(RowOf(list, L"Dubach"), 5);
    EXPECT_NE(Cell(list, RowOf(list, L"Dubach"), 0).find(L" | Klassenlehrer"), std::wstring::npos);
    EXPECT_EQ(Cell(list, RowOf(list, L"Caflisch"), 1), L"31.12.2031") << "a status past planning shows its date";
    EXPECT_EQ(Cell(list, RowOf(list, L"Caflisch"), 0), L"auf Warteliste") << "a participant, not an instructor's reserve";
    int reservation = -1;
    for (int row = 0; row < Rows(list); ++row)
        if (Cell(list, row, 0) == L"Reservation") reservation = row;
    ASSERT_GE(reservation, 0);
    EXPECT_EQ(Picture(page->m_list, reservation), 11);
    EXPECT_EQ(Cell(list, reservation, 2), L"5");
    EXPECT_EQ(Cell(list, reservation, 9), L"Reserve Nord");
    EXPECT_EQ(Cell(list, reservation, 8), L"") << "a reservation has no registration date";
    EXPECT_EQ(reservation, 4);
    Screen(page->GetSafeHwnd(), "planungdlg");

    // Nothing selected: nothing to remove. A reservation row allows edit and remove, not placing
    // nor a status.
    EXPECT_FALSE(Enabled(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_REMOVE)));
    ASSERT_TRUE(SelectRow(list, reservation));
    EXPECT_TRUE(Enabled(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_REMOVE)));
    EXPECT_FALSE(Enabled(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_CHANGEINSTANZ)));
    EXPECT_FALSE(Enabled(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_CHANGESTATE)));
    // The central installation offers the roles in the add menu.
    EXPECT_EQ(page->m_menuAdd.GetMenuItemCount(), 4);
    EXPECT_EQ(page->m_arrKursleitung, (std::vector<long>{-1, -1, -1, 1}));

    // The editor of a row: Cancel reloads nothing and forgets the row; OK reloads the list (with
    // a registration written elsewhere meanwhile) and selects the row again.
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Amsler")));
    Reg(Person("Zuber"), -1, 0, "2031-12-31");
    HWND edit = qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_EDIT);
    script.ExpectModal(IDD_EDITPERSON, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    Click(edit);
    EXPECT_EQ(Rows(list), 6);
    EXPECT_EQ(page->m_lReselectID, 0);
    script.ExpectModal(IDD_EDITPERSON, [](qv::IModalDialog& modal) { modal.EndModal(IDOK); });
    Click(edit);
    EXPECT_EQ(Rows(list), 7);
    EXPECT_TRUE(RowSelected(list, RowOf(list, L"Amsler")));
    EXPECT_EQ(page->m_lReselectID, 0);
    EXPECT_EQ(Int("SELECT count(*) FROM Kurs WHERE coalesce(strLock, '') <> ''"), 0) << "the course is let go";

    // A person's name opens the person's page on the tab of the row's kind.
    static frametest::CallLog viewLog;
    static frametest::FakeView personView("person", viewLog, GUID_NULL, L"Person");
    ASSERT_EQ(host->AddView(L"Qovaro.NQ2.PersonView", personView.Init()), S_OK);
    std::vector<NQNavigateEntry> visited;
    qv::nq::SetNavigator([&](const NQNavigateEntry& e) -> long { visited.push_back(e); return S_OK; });
    ASSERT_TRUE(ClickCell(list, RowOf(list, L"Amsler"), 5));
    ASSERT_TRUE(ClickCell(list, RowOf(list, L"Dubach"), 5));
    const CString view = L"Qovaro.NQ2.PersonView";
    EXPECT_EQ(visited, (std::vector<NQNavigateEntry>{{NQNavigateEntry::Record, view, anna, 0, L""},
                                                     {NQNavigateEntry::Tab, view, 0, 0, L"Ausbildung"},
                                                     {NQNavigateEntry::Record, view, dora, 0, L""},
                                                     {NQNavigateEntry::Tab, view, 0, 0, L"Instruktor"}}));
}

TEST_F(PlanungTest, PersonsArePlannedForAYearInOneTransaction) {
    const long anna = Person("Amsler"), beat = Person("Brunner"), carl = Person("Caflisch");
    Reg(beat, -1, 0, "2032-12-31");  // already planned for 2032
    auto* page = Show<CPlanungDlg>(L"Planung");
    ASSERT_NE(page, nullptr);
    HWND add = qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_ADD);
    ASSERT_TRUE(Enabled(add));
    EXPECT_EQ(page->m_menuAdd.GetMenuItemCount(), 2) << "a local installation plans no instructors";

    // Left without a choice, the plan takes nobody and the course is let go.
    ChooseYear(2032);
    script.ExpectModal(IDD_SEARCHPOPUP, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    AnswerNextPopupMenu(ID_PLANUNG_ADD_PERSON);
    Click(add);
    EXPECT_EQ(Planned(anna, 2032), 0);
    EXPECT_EQ(Int("SELECT count(*) FROM Kurs WHERE coalesce(strLock, '') <> ''"), 0);

    // The planned one is refused with its message; the two others are planned.
    ChooseYear(2032);
    ChoosePersons({L"Amsler", L"Brunner", L"Caflisch"});
    // Shown while no unit of the plan is open: another workstation writes meanwhile.
    script.ExpectMessageBox(IDOK, {}, [&] { Sql("UPDATE Kurs SET strBemerkung = 'gefragt' WHERE lKursID = " + K(kurs)); });
    AnswerNextPopupMenu(ID_PLANUNG_ADD_PERSON);
    Click(add);
    EXPECT_EQ(Planned(anna, 2032), 1);
    EXPECT_EQ(Planned(beat, 2032), 1);
    EXPECT_EQ(Planned(carl, 2032), 1);
    EXPECT_EQ(Rows(page->m_list.GetSafeHwnd()), 3);
    EXPECT_EQ(Int("SELECT count(*) FROM Kurs WHERE coalesce(strLock, '') <> ''"), 0) << "planned, the course is let go";

    // A booking that fails takes the ones before it back: nothing of the call stays.
    const long dora = Person("Dubach"), emil = Person("Egli");
    Sql("CREATE TRIGGER refuse_egli BEFORE INSERT ON PersonKurs WHEN NEW.lPersonID = " + K(emil) +
        " BEGIN SELECT RAISE(ABORT, 'refused'); END");
    ChooseYear(2033);
    ChoosePersons({L"Dubach", L"Egli"});
    script.ExpectReport(L"refused");
    AnswerNextPopupMenu(ID_PLANUNG_ADD_PERSON);
    Click(add);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u) << "the error with its cause, once";
    EXPECT_EQ(Planned(dora, 2033), 0);
    EXPECT_EQ(Planned(emil, 2033), 0);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 3);

    // Without the right to plan, a course leader finds only himself in the search.
    Sql("DROP TRIGGER refuse_egli");
    Sql("INSERT INTO Contact (lContactID, lPersonID) VALUES (1, " + K(dora) + ")");
    security.userGuid = qv::FromUtf8(Text("SELECT guid FROM Contact"));
    security.Answer(L"{8BDEFAFA-61B5-4DB5-8CBD-5C38E19AEB70}", L"", 0x1);
    security.Answer(L"{8C720C47-85F3-4C83-B183-DA593FA4F230}", L"", 0x10000);
    Sql("UPDATE SecKurs SET lRight = 65793 WHERE lKursID = " + K(kurs));
    ASSERT_EQ(page->Refresh(), S_OK);
    ChooseYear(2034);
    ChoosePersons({L"Dubach", L"Egli"});
    AnswerNextPopupMenu(ID_PLANUNG_ADD_PERSON);
    Click(add);
    EXPECT_EQ(Planned(dora, 2034), 1);
    EXPECT_EQ(Planned(emil, 2034), 0);

    // An inactive course takes nobody into its plan.
    Sql("UPDATE Kurs SET fActive = 0 WHERE lKursID = " + K(kurs));
    ASSERT_EQ(page->Refresh(), S_OK);
    EXPECT_FALSE(Enabled(add));
}

TEST_F(PlanungTest, APlannedRegistrationIsPlacedIntoARunAndAMixedSelectionRemoved) {
    const long anna = Person("Amsler"), beat = Person("Brunner");
    const long regA = Reg(anna, -1, 0, "2031-12-31");
    const long regB = Reg(beat, -1, 0, "2031-12-31", false);
    const long regC = Reg(Person("Caflisch"), -1, 0, "2031-12-31", false);
    Sql("INSERT INTO Kursreservation (lKursreservationID, lKursID, lMandantID, lYear, lAnzahl) VALUES (901, " +
        K(kurs) + ", " + K(mandant) + ", 2031, 2)");
    auto* page = Show<CPlanungDlg>(L"Planung");
    ASSERT_NE(page, nullptr);
    HWND list = page->m_list.GetSafeHwnd();
    ASSERT_EQ(Rows(list), 2) << "a local installation lists no instructors";

    const auto placeSelected = [&] {
        script.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog& modal) {
            auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
            CSearchDlg& search = *popup.m_pSearchDlg;
            ASSERT_TRUE(WaitFor([&] { return !search.IsSearching(); }));
            HWND runs = search.m_lstResult.GetSafeHwnd();
            ASSERT_EQ(Rows(runs), 1);
            SelectRow(runs, 0);
            Click(popup.GetSafeHwnd(), IDOK);
            if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        });
        Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_CHANGEINSTANZ));
    };
    // Left without a run, nobody moves and the course is let go.
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Amsler")));
    script.ExpectModal(IDD_SEARCHPOPUP, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_CHANGEINSTANZ));
    EXPECT_EQ(Int("SELECT count(*) FROM Kurs WHERE coalesce(strLock, '') <> ''"), 0);
    // A closed run is not offered in a local installation.
    const long closed = AddRun(kurs, "2031-10-01", "Geschlossen", 10);
    Sql("UPDATE Kursinstanz SET fGeschlossen = 1 WHERE lKursinstanzID = " + K(closed));
    Sql("INSERT OR REPLACE INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (-1, " + K(closed) + ", 5, 257)");
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Amsler")));
    placeSelected();
    EXPECT_EQ(Int("SELECT lKursinstanzID FROM PersonKurs WHERE lPersonKursID = " + K(regA)), run);
    ASSERT_EQ(Rows(list), 1);
    Sql("DELETE FROM Kursinstanz WHERE lKursinstanzID = " + K(closed));

    // The central installation plans instructors too, and places them as instructors.
    qv::nq::SetEnterpriseEdition(true);
    CloseView();
    page = Show<CPlanungDlg>(L"Planung");
    ASSERT_NE(page, nullptr);
    list = page->m_list.GetSafeHwnd();
    ASSERT_EQ(Rows(list), 3);
    // A planned instructor's status is changed as an instructor's, which leaves the participant
    // mark of the changing system alone.
    Sql("UPDATE PersonKurs SET changedBy = 0 WHERE lPersonKursID = " + K(regC));
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Caflisch")));
    script.ExpectModal(IDD_GETSTATUS, [](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CGetStatusDlg&>(modal);
        EXPECT_FALSE(dlg.bTeilnehmer);
        dlg.lStatus = 7;
        modal.EndModal(IDOK);
    });
    Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_CHANGESTATE));
    EXPECT_EQ(Text("SELECT lStatus || '/' || changedBy FROM PersonKurs WHERE lPersonKursID = " + K(regC)), "7/0");
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Caflisch")));
    placeSelected();
    EXPECT_EQ(Text("SELECT lKursinstanzID || '/' || fTeilnehmer FROM PersonKurs WHERE lPersonID = (SELECT lPersonID "
                   "FROM PersonKurs WHERE lPersonKursID = " + K(regC) + ")"),
              K(run) + "/0");
    ASSERT_EQ(Rows(list), 2);

    // The instructor and the reservation go, each by its own kind.
    ASSERT_TRUE(SelectRow(list, 0));
    ASSERT_TRUE(SelectRow(list, 1, Qt::ControlModifier));
    script.ExpectMessageBox(IDYES, L"wirklich löschen");
    // The events of the two placements and the status change come on their own time; they are not
    // the removal's.
    EXPECT_TRUE(WaitFor([&] {
        Pump();
        return listener.bookings.size() >= 3;
    }));
    listener.bookings.clear();
    Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_REMOVE));
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonKursID = " + K(regB)), 0);
    EXPECT_EQ(Text("SELECT strModul FROM UserLog WHERE strText = 'Person von einem Kurs entfernt.'"),
              "Ausbildung.Person.Instruktor")
        << "an instructor's row is removed as an instructor's";
    EXPECT_EQ(Int("SELECT count(*) FROM Kursreservation"), 0);
    EXPECT_EQ(Rows(list), 0);
    ExpectEvents(true, true);
}

TEST_F(PlanungTest, TheArchiveListsTheOldFinishedRegistrationsOnItsLoaderThread) {
    Sql("INSERT INTO Grad (lGradID, strBezeichnung, strKurzbezeichnung, strKurzbezeichnungF, lRang) VALUES "
        "(2, 'Wachtmeister', 'Wm', 'Wmin', 7)");
    Sql("INSERT INTO Funktion (lFunktionID, strBezeichnung) VALUES (1, 'Klassenlehrer')");
    Sql("INSERT INTO Kursleitung (lKursleitungID, lFunktionID) VALUES (7, 1)");
    // Two women: one of a rank with a short name of its own for women, one of a rank without.
    const long anna = Person("Amsler", 1), beat = Person("Brunner", 2), carl = Person("Caflisch", 1);
    Sql("UPDATE Person SET fWeiblich = 1 WHERE lPersonID IN (" + K(beat) + ", " + K(carl) + ")");
    Sql("UPDATE Person SET strAdresse1L = 'Hauptstrasse 1' WHERE lPersonID = " + K(anna));
    const long dora = Person("Dubach", 2), emil = Person("Egli");
    const long regA = Reg(anna, run, 1, "2019-05-01");
    Sql("UPDATE PersonKurs SET strBemerkung = 'Nachholen', strInstanzOrt = 'Zeughaus', dblInstanzDauer = 2.5, "
        "strInstanzLeitung = 'Meier' WHERE lPersonKursID = " + K(regA));
    Reg(beat, run, 6, "2019-05-01");
    Reg(carl, run, 5, "2018-05-01");
    const long regD = Reg(dora, run, 1, "2018-05-01", false, 7);  // an instructor in a role
    Reg(emil, run, 3, "2018-05-01");   // waiting list: never archived
    Reg(emil, run, 1, "2031-05-01");   // not old enough
    Reg(Person("Frei"), run, 1, "2016-05-01");  // read with 2018, the year after the newest
    // The first and the last moment of a year belong to it.
    const long regG = Reg(Person("Gerber"), run, 1, "2019-01-01");
    const long regH = Reg(Person("Huber"), run, 1, "2018-12-31");
    Sql("UPDATE PersonKurs SET dtDatum = '2018-12-31 23:59:59' WHERE lPersonKursID = " + K(regH));
    auto* page = Show<CHistoryDlg>(L"Archiv");
    ASSERT_NE(page, nullptr);
    WaitLoaded(page);
    HWND list = page->m_list.GetSafeHwnd();
    ASSERT_EQ(Rows(list), 7);
    EXPECT_TRUE(Widget(list)->updatesEnabled()) << "the loaded list is drawn again";
    EXPECT_EQ(RowOf(list, L"Egli"), -1);
    EXPECT_EQ(Status(page), L"Anzahl anwesend pro Jahr: 2019: 3;  2018: 1;  2016: 1;    |  Besucht: 4  Teilweise "
                            L"besucht: 1  Abwesend: 1");
    // Each column of a row shows its own value.
    const std::wstring amsler[] = {L"Besucht/Bestanden", L"01.05.2019", L"2.50", L"5", L"Kpl", L"Amsler Hans",
                                   L"Hauptstrasse 1", L"8200 Schaffhausen", L"Zeughaus", L"Meier", L"Nachholen",
                                   L"FW Nord"};
    for (int column = 0; column < 12; ++column)
        EXPECT_EQ(Cell(list, RowOf(list, L"Amsler"), column), amsler[column]) << column;
    EXPECT_EQ(Cell(list, RowOf(list, L"Brunner"), 4), L"Wmin");
    EXPECT_EQ(Cell(list, RowOf(list, L"Brunner"), 3), L"7");
    EXPECT_EQ(Cell(list, RowOf(list, L"Caflisch"), 4), L"Kpl");
    EXPECT_NE(Cell(list, RowOf(list, L"Dubach"), 0).find(L" | Klassenlehrer"), std::wstring::npos);
    EXPECT_EQ(Cell(list, RowOf(list, L"Dubach"), 4), L"Wm") << "a man of that rank: the men's short name";
    EXPECT_EQ(Picture(page->m_list, RowOf(list, L"Amsler")), 2);
    EXPECT_EQ(Picture(page->m_list, RowOf(list, L"Dubach")), 15);
    // The newest year first, then the older ones, each year's rows once.
    for (int row = 0; row < 7; ++row)
        EXPECT_EQ(Cell(list, row, 1).substr(6), row < 3 ? L"2019" : row < 6 ? L"2018" : L"2016") << row;
    Screen(page->GetSafeHwnd(), "historydlg");
    for (int id : {IDC_PLANUNG_REMOVE, IDC_PLANUNG_EDIT, IDC_PLANUNG_CHANGESTATE})
        EXPECT_FALSE(qobject_cast<QPushButton*>(Widget(qv::ui::test::Item(page->GetSafeHwnd(), id)))->icon().isNull())
            << id;
    // The archive neither adds nor moves into a run.
    for (int id : {IDC_PLANUNG_REMOVE, IDC_HELPBUTTON})
        EXPECT_FALSE(ToolTip(qv::ui::test::Item(page->GetSafeHwnd(), id)).empty()) << id;
    for (int id : {IDC_PLANUNG_ADD, IDC_PLANUNG_CHANGEINSTANZ})
        EXPECT_FALSE(Visible(qv::ui::test::Item(page->GetSafeHwnd(), id))) << id;
    Sql("DELETE FROM PersonKurs WHERE lPersonKursID IN (" + K(regG) + ", " + K(regH) + ")");
    // Two days either side of the archive age: the older one belongs to the archive.
    const auto monthsAgo = [](int months, int days) {
        std::time_t now = std::time(nullptr);
        std::tm day = *std::localtime(&now);
        day.tm_mon -= months;
        day.tm_mday += days;
        day.tm_hour = 12;
        std::mktime(&day);
        char text[16];
        std::strftime(text, sizeof text, "%Y-%m-%d", &day);
        return std::string(text);
    };
    const long regI = Reg(Person("Imhof"), run, 2, monthsAgo(6, -2));
    Reg(Person("Jost"), run, 2, monthsAgo(6, 2));
    ASSERT_EQ(page->Refresh(), S_OK);
    WaitLoaded(page);
    ASSERT_EQ(Rows(list), 6);
    EXPECT_NE(RowOf(list, L"Imhof"), -1);
    EXPECT_EQ(RowOf(list, L"Jost"), -1);
    Sql("DELETE FROM PersonKurs WHERE lPersonKursID = " + K(regI));
    ASSERT_EQ(page->Refresh(), S_OK);
    WaitLoaded(page);
    ASSERT_EQ(Rows(list), 5);

    // A participant and an instructor removed together, each through its own call.
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Dubach")));
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Amsler"), Qt::ControlModifier));
    script.ExpectMessageBox(IDYES);
    // The participant is removed, not deregistered; asked before the removal's unit begins, so
    // another workstation's write goes through meanwhile.
    script.ExpectSelection(2, {}, [&] { Sql("UPDATE Kurs SET strBemerkung = 'gefragt' WHERE lKursID = " + K(kurs)); });
    Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_REMOVE));
    WaitLoaded(page);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonKursID IN (" + K(regA) + ", " + K(regD) + ")"), 0);
    EXPECT_GE(Int("SELECT count(*) FROM UserLog WHERE strModul = 'Ausbildung.Person.Instruktor'"), 1);
    EXPECT_GE(Int("SELECT count(*) FROM UserLog WHERE strModul = 'Ausbildung.Person'"), 1);
    EXPECT_EQ(Rows(list), 3);
    ExpectEvents(true, false);

    // No course shown: an empty archive, with nothing to act on.
    ASSERT_TRUE(SelectRow(list, 0));
    ASSERT_EQ(Dlg()->Navigate(0, 0), S_OK);
    ASSERT_EQ(page->Refresh(), S_OK);
    WaitLoaded(page);
    EXPECT_EQ(Rows(list), 0);
    for (int id : {IDC_PLANUNG_REMOVE, IDC_PLANUNG_EDIT, IDC_PLANUNG_CHANGESTATE})
        EXPECT_FALSE(Enabled(qv::ui::test::Item(page->GetSafeHwnd(), id))) << id;
}

TEST_F(PlanungTest, AFailedRowIsReportedOnceAndTheRowsAfterItAreLeftAsTheyWere) {
    const long anna = Person("Amsler"), beat = Person("Brunner"), carl = Person("Caflisch");
    const long regs[] = {Reg(anna, -1, 0, "2031-12-31"), Reg(beat, -1, 0, "2032-12-31"), Reg(carl, -1, 0, "2033-12-31")};
    const long old[] = {Reg(anna, run, 1, "2019-05-01"), Reg(beat, run, 1, "2018-05-01"), Reg(carl, run, 1, "2017-05-01")};
    Sql("CREATE TRIGGER refuse BEFORE DELETE ON PersonKurs WHEN OLD.lPersonKursID IN (" + K(regs[1]) + ", " +
        K(old[1]) + ") BEGIN SELECT RAISE(ABORT, 'refused'); END");
    const auto exists = [&](long id) { return Int("SELECT count(*) FROM PersonKurs WHERE lPersonKursID = " + K(id)); };
    struct Page { const wchar_t* label; const long* ids; } const pages[] = {{L"Planung", regs}, {L"Archiv", old}};
    for (const Page& p : pages) {
        CKursChildDlg* page = Show<CKursChildDlg>(p.label);
        ASSERT_NE(page, nullptr);
        if (auto* history = dynamic_cast<CHistoryDlg*>(page)) WaitLoaded(history);
        HWND list = qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_LIST);
        ASSERT_EQ(Rows(list), 3) << W2U(p.label);
        for (int row = 0; row < 3; ++row) ASSERT_TRUE(SelectRow(list, row, row ? Qt::ControlModifier : Qt::NoModifier));
        // Not confirmed: nothing goes, and the course is let go.
        script.ExpectMessageBox(IDNO);
        Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_REMOVE));
        EXPECT_EQ(exists(p.ids[0]), 1) << W2U(p.label);
        EXPECT_EQ(Int("SELECT count(*) FROM Kurs WHERE coalesce(strLock, '') <> ''"), 0) << W2U(p.label);
        script.ExpectMessageBox(IDYES);
        // A participant of a run is asked for: removed, not deregistered.
        if (dynamic_cast<CHistoryDlg*>(page)) script.ExpectSelection(2).ExpectSelection(2);
        // The database error once, with its cause; nothing for the third row.
        script.ExpectReport(L"refused");
        Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_REMOVE));
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u) << W2U(p.label);
        script.Log().Clear();
        if (auto* history = dynamic_cast<CHistoryDlg*>(page)) WaitLoaded(history);
        EXPECT_EQ(exists(p.ids[0]), 0) << W2U(p.label);
        EXPECT_EQ(exists(p.ids[1]), 1) << W2U(p.label);
        EXPECT_EQ(exists(p.ids[2]), 1) << W2U(p.label) << ": the row after the failed one";
        // What the failed row wrote before its deletion was taken back with it.
        EXPECT_EQ(Int("SELECT count(*) FROM UserLog WHERE strDetail LIKE '%Brunner%'"), 0) << W2U(p.label);
        EXPECT_GE(Int("SELECT count(*) FROM UserLog WHERE strDetail LIKE '%Amsler%'"), 1) << W2U(p.label);
    }
}

TEST_F(PlanungTest, AStatusChangeInTheArchiveLeavesTheInstructorsOfTheSelection) {
    const long regA = Reg(Person("Amsler"), run, 1, "2019-05-01");
    const long regB = Reg(Person("Brunner"), run, 1, "2019-05-01", false);
    Reg(Person("Caflisch"), run, 2, "2019-05-01");  // not attended: archived
    Reg(Person("Dubach"), run, 4, "2019-05-01");    // penalty waiting list: never archived
    auto* page = Show<CHistoryDlg>(L"Archiv");
    ASSERT_NE(page, nullptr);
    WaitLoaded(page);
    HWND list = page->m_list.GetSafeHwnd();
    EXPECT_GE(RowOf(list, L"Caflisch"), 0);
    EXPECT_EQ(RowOf(list, L"Dubach"), -1);
    HWND state = qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_CHANGESTATE);
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Brunner")));
    EXPECT_FALSE(Enabled(state)) << "an instructor has no participant status";
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Amsler"), Qt::ControlModifier));
    ASSERT_TRUE(Enabled(state));
    // Cancelled, the status question changes nothing and lets the course go.
    script.ExpectModal(IDD_GETSTATUS, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    Click(state);
    EXPECT_EQ(Int("SELECT count(*) FROM Kurs WHERE coalesce(strLock, '') <> ''"), 0);
    script.ExpectModal(IDD_GETSTATUS, [](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CGetStatusDlg&>(modal);
        EXPECT_EQ(dlg.lStatus, 1) << "both hold the same status";
        dlg.lStatus = 2;
        modal.EndModal(IDOK);
    });
    Click(state);
    WaitLoaded(page);
    EXPECT_EQ(Text("SELECT lStatus FROM PersonKurs WHERE lPersonKursID = " + K(regA)), "2");
    EXPECT_EQ(Text("SELECT lStatus FROM PersonKurs WHERE lPersonKursID = " + K(regB)), "1");
    EXPECT_EQ(Status(page), L"Anzahl anwesend pro Jahr: 2019: 0;    |  Besucht: 0  Teilweise besucht: 0  Abwesend: 2");
    ExpectEvents(true, false);

    // Changed by another user after the archive was loaded, the registration is left as stored:
    // the user is told once and the archive loads again.
    Sql("UPDATE PersonKurs SET lStatus = 6 WHERE lPersonKursID = " + K(regA));
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Amsler")));
    script.ExpectModal(IDD_GETSTATUS, [](qv::IModalDialog& modal) {
        dynamic_cast<CGetStatusDlg&>(modal).lStatus = 1;
        modal.EndModal(IDOK);
    });
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert");
    Click(state);
    WaitLoaded(page);
    EXPECT_EQ(Text("SELECT lStatus FROM PersonKurs WHERE lPersonKursID = " + K(regA)), "6");
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
    Sql("UPDATE PersonKurs SET lStatus = 2 WHERE lPersonKursID = " + K(regA));

    // Removed as the archive shows it: an instructor re-stated meanwhile is left as stored.
    Sql("UPDATE PersonKurs SET lStatus = 2 WHERE lPersonKursID = " + K(regB));
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Brunner")));
    script.ExpectMessageBox(IDYES, L"wirklich löschen");
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert");
    Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_REMOVE));
    WaitLoaded(page);
    EXPECT_EQ(Text("SELECT lStatus FROM PersonKurs WHERE lPersonKursID = " + K(regB)), "2");
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
    Sql("UPDATE PersonKurs SET lStatus = 1 WHERE lPersonKursID = " + K(regB));

    // A registration saved in the editor is shown as saved: the archive loads again. (The editor
    // dates an attended registration by its run.)
    Sql("UPDATE Kursinstanz SET dtDatum = '2019-05-01 00:00:00' WHERE lKursinstanzID = " + K(run));
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Amsler")));
    script.ExpectModal(IDD_EDITPERSON, [](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CEditPersonDlg&>(modal);
        Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_EDITPERSON_BEMERKUNG), L"nachgetragen");
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_EDIT));
    WaitLoaded(page);
    EXPECT_EQ(Text("SELECT strBemerkung FROM PersonKurs WHERE lPersonKursID = " + K(regA)), "nachgetragen");
    EXPECT_EQ(Cell(list, RowOf(list, L"Amsler"), 10), L"nachgetragen");
    ExpectEvents(true, false);
    // A double click opens the row's editor as well.
    script.ExpectModal(IDD_EDITPERSON, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    ASSERT_TRUE(DoubleClickRow(list, RowOf(list, L"Caflisch")));
    EXPECT_EQ(script.Pending(), 0u);
    // Without the right to edit, it opens nothing.
    security.Answer(L"{B92A2088-34E1-4211-8BC9-2A743F3B16CD}", L"", 0x1);
    ASSERT_EQ(page->Refresh(), S_OK);
    WaitLoaded(page);
    ASSERT_TRUE(DoubleClickRow(list, RowOf(list, L"Caflisch")));
    EXPECT_FALSE(Enabled(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_EDIT)));
}

TEST_F(PlanungTest, WithoutTheLogicServerTheArchiveReadsNothingAndTheGuiThreadSaysWhy) {
    Reg(Person("Amsler"), run, 1, "2019-05-01");
    qv::servers::StopRunningServer(NQ_LOGICSERVER_PROGID);
    script.ExpectReport(L"No OLEDB Error available!");
    auto* page = Show<CHistoryDlg>(L"Archiv");
    ASSERT_NE(page, nullptr);
    WaitLoaded(page);
    EXPECT_EQ(Rows(page->m_list.GetSafeHwnd()), 0);
    EXPECT_EQ(Status(page), L"Anzahl anwesend pro Jahr:   |  Besucht: 0  Teilweise besucht: 0  Abwesend: 0");
}

TEST_F(PlanungTest, TheGuiThreadKeepsAnsweringWhileTheArchiveLoads) {
    const long anna = Person("Amsler");
    // Each row with a remark of its own, one of 28 days of 2015 and one of seven durations.
    Sql("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) INSERT INTO PersonKurs "
        "(lPersonID, lKursID, lKursinstanzID, lStatus, dtDatum, dtAnmeldung, fTeilnehmer, strBemerkung, "
        "dblInstanzDauer) SELECT " + K(anna) + ", " + K(kurs) + ", " + K(run) + ", 1, '2015-01-01 00:00:00', "
        "'2014-12-01 00:00:00', 1, 'R' || i, i % 7 FROM n");
    for (int k = 0; k < 28; ++k) {
        char day[32];
        std::snprintf(day, sizeof day, "2015-%02d-%02d 00:00:00", 1 + k * 5 % 12, 1 + k);
        Sql("UPDATE PersonKurs SET dtDatum = '" + std::string(day) + "' WHERE lPersonID = " + K(anna) +
            " AND lPersonKursID % 28 = " + std::to_string(k));
    }
    auto* page = Show<CHistoryDlg>(L"Archiv");
    ASSERT_NE(page, nullptr);
    // A timer of the GUI thread fires while the loader is still reading.
    bool answeredWhileLoading = false;
    QTimer::singleShot(0, [&] { answeredWhileLoading = page->IsLoading(); });
    page->StartThread();
    WaitLoaded(page);
    EXPECT_TRUE(answeredWhileLoading);
    EXPECT_EQ(Rows(page->m_list.GetSafeHwnd()), 5000);
    const std::wstring full = L"Anzahl anwesend pro Jahr: 2015: 5000;";
    EXPECT_EQ(Status(page).substr(0, full.size()), full);

    // A click on a header sorts the long list away from the GUI thread: by the day, then by the
    // duration, rows of one duration staying in the order of their days, and the same column again
    // the other way. The selected row stays selected.
    HWND list = page->m_list.GetSafeHwnd();
    const auto sorted = [&](int column, bool descending, bool tiesByDay = true) {
        EXPECT_TRUE(WaitFor([&] { Pump(); return !page->m_list.QvIsSorting(); }, 20000));
        int lastDay = 0;
        double lastDauer = 0;
        for (int row = 0; row < Rows(list); ++row) {
            int d = 0, m = 0, y = 0;
            std::swscanf(Cell(list, row, 1).c_str(), L"%d.%d.%d", &d, &m, &y);
            const int day = y * 10000 + m * 100 + d;
            const double dauer = std::stod(Cell(list, row, 2));
            const bool dayDown = row > 0 && day < lastDay;
            if (column == 1 && dayDown) return ::testing::AssertionFailure() << "row " << row;
            if (row > 0 && column == 2 && (descending ? dauer > lastDauer : dauer < lastDauer))
                return ::testing::AssertionFailure() << "row " << row;
            if (column == 2 && tiesByDay && dauer == lastDauer && dayDown)
                return ::testing::AssertionFailure() << "row " << row << " left its place among equals";
            lastDay = day;
            lastDauer = dauer;
        }
        return ::testing::AssertionSuccess();
    };
    ASSERT_TRUE(SelectRow(list, 4321));
    const std::wstring chosen = Cell(list, 4321, 10);
    ASSERT_TRUE(ClickColumnHeader(list, 1));
    EXPECT_TRUE(sorted(1, false));
    EXPECT_EQ(Cell(list, 0, 1), L"01.01.2015");
    ASSERT_TRUE(ClickColumnHeader(list, 2));
    EXPECT_TRUE(sorted(2, false));
    ASSERT_TRUE(ClickColumnHeader(list, 2));
    EXPECT_TRUE(sorted(2, true));
    EXPECT_EQ(Cell(list, 0, 2), L"6.00");
    ASSERT_EQ(page->m_list.GetSelectedCount(), 1u);
    const int selected = page->m_list.GetNextItem(-1, LVNI_SELECTED);
    EXPECT_EQ(Cell(list, selected, 10), chosen);
    EXPECT_EQ(page->m_list.GetNextItem(-1, LVNI_FOCUSED), selected);
    // The next load comes in the order chosen.
    page->StartThread();
    WaitLoaded(page);
    EXPECT_TRUE(sorted(2, true, false));
    EXPECT_EQ(page->m_list.QvGetSortColumn(), 2);

    // The course left while its archive loads: the list ends empty, not with that course's rows.
    page->StartThread();
    ASSERT_EQ(Dlg()->Navigate(0, 0), S_OK);
    ASSERT_EQ(page->Refresh(), S_OK);
    WaitLoaded(page);
    EXPECT_EQ(Rows(page->m_list.GetSafeHwnd()), 0);
    ASSERT_EQ(Dlg()->Navigate(kurs, run), S_OK);
    ASSERT_EQ(page->Refresh(), S_OK);
    WaitLoaded(page);
    ASSERT_EQ(Rows(page->m_list.GetSafeHwnd()), 5000);

    // Nothing taken on the GUI thread: the loader fills the hand-over and waits, and the status
    // timer shows its progress, then the count of the load that a new load or closing cancelled.
    // Before its first rows a load opens a connection of its own and runs three statements, and a
    // cancelled load ends once its cancel, a connection of its own too, has reached the server:
    // both are given the time a whole load is given (WaitLoaded), not less.
    const auto shown = [&](const std::wstring& prefix) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        do {
            page->SendMessage(WM_TIMER, page->m_nStatusTimer);
            if (Status(page).rfind(prefix, 0) == 0) return true;
            Sleep(5);
        } while (std::chrono::steady_clock::now() < until);
        return false;
    };
    // The times the list was emptied for a load.
    int emptied = 0;
    auto* model = qobject_cast<QAbstractItemView*>(Widget(page->m_list.GetSafeHwnd()))->model();
    const auto counted =
        QObject::connect(model, &QAbstractItemModel::modelReset, [&] { emptied += model->rowCount() == 0; });
    for (bool close : {false, true}) {
        emptied = 0;
        page->StartThread();
        ASSERT_TRUE(shown(L"Die Liste wird geladen (bereits geladen: "));
        ASSERT_TRUE(page->IsLoading());
        if (close) ASSERT_EQ(page->CloseTab(), S_OK);
        else host->FireAccelCommand(L"F5");
        ASSERT_TRUE(shown(L"Anzahl anwesend")) << W2U(Status(page));
        int read = -1;
        std::swscanf(Status(page).c_str(), L"Anzahl anwesend pro Jahr: 2015: %d", &read);
        EXPECT_LT(read, 5000) << "the cancelled load read on";
        if (close) break;
        // F5 again while the next load waits for the list to take the end of the cancelled one:
        // the load that follows serves both, and no other follows it.
        Sleep(100);
        host->FireAccelCommand(L"F5");
        WaitLoaded(page);
        for (int i = 0; i < 30; ++i, Sleep(10)) Pump();
        EXPECT_FALSE(page->IsLoading());
        EXPECT_EQ(emptied, 2) << "the load F5 cancelled, then more than one load for two F5";
        EXPECT_EQ(Rows(page->m_list.GetSafeHwnd()), 5000) << "the new load lists its own rows only";
    }
    QObject::disconnect(counted);
    CloseView();
}

// The course window closed while the archive's loader is held in its statement: the window goes at
// once and leaves the loader behind, whose failure then goes nowhere; the program's end waits for
// it no longer than it is told, and ends it once its call ends.
TEST_F(PlanungTest, ClosedWhileItsLoaderIsHeldTheArchiveLeavesItAndShowsNoFailure) {
    Reg(Person("Amsler"), run, 1, "2019-05-01");
    auto* page = Show<CHistoryDlg>(L"Archiv");
    ASSERT_NE(page, nullptr);
    WaitLoaded(page);
    ASSERT_EQ(Rows(page->m_list.GetSafeHwnd()), 1);
    HeldTable held([this](const std::string& sql) { Sql(sql); }, "CustFieldValue");
    held.Hold();
    page->StartThread();
    ASSERT_TRUE(held.Wait()) << "the loader's statement runs";
    const std::size_t left = CLeftWorkers::Count();
    // A window that waited for its loader would wait here for ever: it is let go after a while.
    std::atomic<bool> closed{false};
    std::thread giveUp([&] {
        for (int i = 0; i < 500 && !closed; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!closed) held.Let();
    });
    const auto start = std::chrono::steady_clock::now();
    CloseView();
    const auto took = std::chrono::steady_clock::now() - start;
    closed = true;
    giveUp.join();
    EXPECT_LT(took, std::chrono::milliseconds(1000)) << "the window waited for its loader";
    EXPECT_EQ(CLeftWorkers::Count(), left + 1) << "the loader is left behind";
    auto waited = std::chrono::steady_clock::now();
    EXPECT_FALSE(CLeftWorkers::End(200)) << "still held";
    EXPECT_LT(std::chrono::steady_clock::now() - waited, std::chrono::milliseconds(1000));
    held.Let();
    waited = std::chrono::steady_clock::now();
    EXPECT_TRUE(CLeftWorkers::End(5000));
    EXPECT_LT(std::chrono::steady_clock::now() - waited, std::chrono::milliseconds(2000));
    Pump();
    EXPECT_TRUE(script.Log().Records(qv::InteractionKind::Report).empty()) << "the closed window's loader's failure";
}

// Chosen while another session holds the registrations, the archive is drawn at once in place of
// the page before, and the window goes on answering: what waits is its loader.
TEST_F(PlanungTest, TheArchiveChosenWhileTheRegistrationsAreHeldIsShownAtOnce) {
    Reg(Person("Amsler"), run, 1, "2019-05-01");
    CKursChildDlg* before = Show<CKursChildDlg>(L"Kursdaten");
    ASSERT_NE(before, nullptr);
    ASSERT_EQ(Dlg()->Navigate(kurs, run), S_OK);
    Pump();
    HeldTable held([this](const std::string& sql) { Sql(sql); }, "PersonKurs");
    held.Hold();
    qv::ado::Session::ReleasePool();
    // The time a tab takes to show its page; a window that waited for the registrations would
    // wait until they are let go.
    CKursChildDlg* shown = nullptr;
    const auto choose = [&](const std::wstring& label) {
        std::atomic<bool> switched{false};
        std::thread giveUp([&] {
            for (int i = 0; i < 250 && !switched; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (!switched) held.Free();
        });
        const auto start = std::chrono::steady_clock::now();
        shown = Show<CKursChildDlg>(label);
        const auto took = std::chrono::steady_clock::now() - start;
        switched = true;
        giveUp.join();
        return took;
    };
    EXPECT_LT(choose(L"Archiv"), std::chrono::milliseconds(1000)) << "the window waited for the registrations";
    auto* page = dynamic_cast<CHistoryDlg*>(shown);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(held.Wait()) << "the loader's statement is held";
    EXPECT_TRUE(Visible(page->GetSafeHwnd()));
    EXPECT_FALSE(Visible(before->GetSafeHwnd())) << "the page before is shown in the archive's place";
    EXPECT_TRUE(page->IsLoading());
    bool answered = false;
    QTimer::singleShot(0, [&] { answered = true; });
    Pump();
    EXPECT_TRUE(answered);
    // The course's page back again, the same.
    EXPECT_LT(choose(L"Kursdaten"), std::chrono::milliseconds(1000)) << "the window waited for the registrations";
    EXPECT_TRUE(Visible(before->GetSafeHwnd()));
    EXPECT_FALSE(Visible(page->GetSafeHwnd()));
    // Let go, the registrations are listed (on SQLite the held statement fails, and is said once).
    if (!kOnPg) script.ExpectReport(L"the held call failed");
    held.Free();
    Show<CHistoryDlg>(L"Archiv");
    WaitLoaded(page);
    ASSERT_EQ(page->Refresh(), S_OK);
    WaitLoaded(page);
    EXPECT_EQ(Rows(page->m_list.GetSafeHwnd()), 1);
}

TEST_F(PlanungTest, CustomFieldValuesOfTheCourseAndTheRunAreSavedAndReadBack) {
    Sql("INSERT INTO CustFieldType (lCFTypeID, lTableID, strBezeichnung, lOrder) VALUES (1, 39, 'Kursleiter Kanton', 1), "
        "(2, 42, 'Raum', 1)");
    auto* page = Show<CCustfieldDlg>(L"Eigene Daten");
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(Rows(page->m_ctrlKurs.GetSafeHwnd()), 1);
    ASSERT_EQ(Rows(page->m_ctrlKursinstanz.GetSafeHwnd()), 1);
    EXPECT_TRUE(Visible(page->m_ctrlKursinstanz.GetSafeHwnd()));
    ASSERT_TRUE(page->m_ctrlKurs.SetCellValue(0, 1, L"Hans O'Brien"));
    ASSERT_TRUE(page->m_ctrlKursinstanz.SetCellValue(0, 1, L"Saal 2"));
    EXPECT_EQ(Text("SELECT strValue FROM CustFieldValue WHERE lCFTypeID = 1 AND lID = " + K(kurs)), "Hans O'Brien");
    EXPECT_EQ(Text("SELECT strValue FROM CustFieldValue WHERE lCFTypeID = 2 AND lID = " + K(run)), "Saal 2");
    ASSERT_EQ(page->Refresh(), S_OK);
    EXPECT_EQ(Cell(page->m_ctrlKurs.GetSafeHwnd(), 0, 1), L"Hans O'Brien");
    EXPECT_EQ(Cell(page->m_ctrlKursinstanz.GetSafeHwnd(), 0, 1), L"Saal 2");

    // After the fields' dialog both grids show the fields as they are now.
    script.ExpectModal(30510, [this](qv::IModalDialog& modal) {
        Sql("INSERT INTO CustFieldType (lCFTypeID, lTableID, strBezeichnung, lOrder) VALUES (3, 39, 'Kontakt', 2), "
            "(4, 42, 'Parkplatz', 2)");
        Click(dynamic_cast<CDialog&>(modal).GetSafeHwnd(), IDOK);
    });
    AnswerNextPopupMenu(ID_CUSTFIELD_PUBLIC);
    CRect face;
    page->m_btnMenu.GetClientRect(&face);
    ClickAt(page->m_btnMenu.GetSafeHwnd(), face.right - 4, face.Height() / 2);  // on its arrow
    EXPECT_EQ(Rows(page->m_ctrlKurs.GetSafeHwnd()), 2);
    EXPECT_EQ(Rows(page->m_ctrlKursinstanz.GetSafeHwnd()), 2);

    // The face of the button has the logic server configure the fields of the table chosen: here the
    // run's; the grids then show them as they are.
    struct Configurator : qvtest::StackObject<INQCustFieldConfig, IID_INQCustFieldConfig> {
        HRESULT ConfigureCustFields(long lTableID, long lMode) override {
            asked += std::to_string(lTableID) + "/" + std::to_string(lMode) + " ";
            onAsk();
            return S_OK;
        }
        std::function<void()> onAsk;
        std::string asked;
    } configurator;
    configurator.onAsk = [this] {
        Sql("INSERT INTO CustFieldType (lCFTypeID, lTableID, strBezeichnung, lOrder) VALUES (5, 42, 'Tenue', 3)");
    };
    IUnknown* logic = nullptr;
    ASSERT_EQ(qv::QueryRunningServer(NQ_LOGICSERVER_PROGID, IID_IUnknown, reinterpret_cast<void**>(&logic)), S_OK);
    ASSERT_EQ(qv::RegisterRunningServer(NQ_LOGICSERVER_PROGID, &configurator), S_OK);
    script.ExpectModal(IDD_SELECTCUSTFIELD, [](qv::IModalDialog& modal) {
        const HWND dlg = dynamic_cast<CDialog&>(modal).GetSafeHwnd();
        Click(qv::ui::test::Item(dlg, IDC_SELECTCUSTFIELD_INSTANZ));
        Click(dlg, IDOK);
    });
    ClickAt(page->m_btnMenu.GetSafeHwnd(), 4, face.Height() / 2);
    qv::RegisterRunningServer(NQ_LOGICSERVER_PROGID, logic);
    logic->Release();
    EXPECT_EQ(configurator.asked, "42/2 ");
    EXPECT_EQ(Rows(page->m_ctrlKursinstanz.GetSafeHwnd()), 3);
    // The frame widens the view: both grids follow its right edge.
    const int kursWidth = Widget(page->m_ctrlKurs.GetSafeHwnd())->width();
    const int runWidth = Widget(page->m_ctrlKursinstanz.GetSafeHwnd())->width();
    host->MoveViews(RECT{0, 0, 1160, 620});
    EXPECT_EQ(Widget(page->m_ctrlKurs.GetSafeHwnd())->width(), kursWidth + 200);
    EXPECT_EQ(Widget(page->m_ctrlKursinstanz.GetSafeHwnd())->width(), runWidth + 200);
    Screen(page->GetSafeHwnd(), "custfielddlg");
}

TEST_F(PlanungTest, CustomFieldsOfCantonalCoursesStayReadOnlyInALocalInstallation) {
    Sql("INSERT INTO CustFieldType (lCFTypeID, lTableID, strBezeichnung, lOrder) VALUES (1, 39, 'Kanton', 1), "
        "(2, 42, 'Raum', 1)");
    auto* page = Show<CCustfieldDlg>(L"Eigene Daten");
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(page->m_ctrlKurs.IsReadOnly()) << "the installation's own course";
    EXPECT_TRUE(Enabled(page->m_btnMenu.GetSafeHwnd()));

    // A cantonal course without a run: its fields read-only, no run grid; no configuring without the right.
    const long kanton = AddKurs(1, "KK");
    Sql("INSERT OR REPLACE INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (" + K(kanton) + ", -1, 5, 257)");
    security.Answer(L"{37B2CB0D-1E9E-42E2-88FE-3E83380CF5D4}", L"", 0x101);
    Dlg()->Navigate(kanton, 0);
    Pump();
    ASSERT_EQ(page->Refresh(), S_OK);
    EXPECT_TRUE(page->m_ctrlKurs.IsReadOnly());
    EXPECT_TRUE(Visible(page->m_ctrlKurs.GetSafeHwnd()));
    EXPECT_FALSE(Visible(page->m_ctrlKursinstanz.GetSafeHwnd()));
    EXPECT_FALSE(Enabled(page->m_btnMenu.GetSafeHwnd()));

    // The face of the menu button opens the choice; Cancel asks the logic server nothing.
    script.ExpectModal(IDD_SELECTCUSTFIELD, [this](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CSelectCustfieldDlg&>(modal);
        EXPECT_EQ(SendMessage(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_SELECTCUSTFIELD_KURS), BM_GETCHECK, 0, 0),
                  BST_CHECKED);
        Screen(dlg.GetSafeHwnd(), "selectcustfielddlg");
        modal.EndModal(IDCANCEL);
    });
    page->OnMenuButton();
    // The search fields of both tables are set in the platform's dialog.
    script.ExpectModal(30510, [this](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CDialog&>(modal);
        HWND list = qv::ui::test::Item(dlg.GetSafeHwnd(), 30511);
        ASSERT_EQ(Rows(list), 2);
        ClickRowCheckBox(list, 1);
        Screen(dlg.GetSafeHwnd(), "nqcustfieldadmindlg");
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    NQ_ShowSearchCustfieldAdminDlg({39, 42});
    EXPECT_EQ(Text("SELECT group_concat(fUsed4Search) FROM (SELECT fUsed4Search FROM CustFieldType ORDER BY lCFTypeID)"),
              "0,1");
}

TEST_F(PlanungTest, TheHiddenPlanningPageReloadsWhenTheBookingsOfItsCourseChangeElsewhere) {
    // The first course of a database, as any other.
    for (const char* table : {"Kurs", "Kursinstanz", "SecKurs"})
        Sql(std::string("UPDATE ") + table + " SET lKursID = 1 WHERE lKursID = " + K(kurs));
    kurs = 1;
    Reg(Person("Amsler"), -1, 0, "2031-12-31");
    auto* page = Show<CPlanungDlg>(L"Planung");
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(Rows(page->m_list.GetSafeHwnd()), 1);
    Show<CKursChildDlg>(L"Archiv");
    Reg(Person("Brunner"), -1, 0, "2031-12-31");
    CQvEventSource events;
    // Another course's change leaves the page; its own course's marks it for a reload.
    ASSERT_EQ(events.FireEvent(CKursChildDlg::GUID_BookingsChanged, kurs + 1000, 0), S_OK);
    Pump();
    EXPECT_FALSE(page->GetModifiedFlag());
    ASSERT_EQ(events.FireEvent(CKursChildDlg::GUID_BookingsChanged, kurs, 0), S_OK);
    EXPECT_TRUE(WaitFor([&] { Pump(); return page->GetModifiedFlag() != FALSE; }));
    Show<CPlanungDlg>(L"Planung");
    EXPECT_EQ(Rows(page->m_list.GetSafeHwnd()), 2);

    // A change of the Mandanten marks the hidden archive for a reload as well.
    auto* archive = Show<CHistoryDlg>(L"Archiv");
    WaitLoaded(archive);
    ASSERT_EQ(events.FireEvent(kKursChanged, kurs, 0), S_OK);  // the course itself: planning reloads too
    EXPECT_TRUE(WaitFor([&] { Pump(); return page->GetModifiedFlag() != FALSE; }));
    Show<CPlanungDlg>(L"Planung");
    EXPECT_FALSE(archive->GetModifiedFlag());
    ASSERT_EQ(events.FireEvent(kMandantChanged, mandant, 0), S_OK);
    EXPECT_TRUE(WaitFor([&] { Pump(); return archive->GetModifiedFlag() != FALSE; }));
}

TEST_F(PlanungTest, InstructorsOfARoleArePlannedFromTheHoldersOfItsFunctionInTheYear) {
    qv::nq::SetEnterpriseEdition(true);
    Sql("INSERT INTO Funktion (lFunktionID, strBezeichnung) VALUES (1, 'Klassenlehrer')");
    Sql("INSERT INTO Kursleitung (lKursleitungID, lFunktionID) VALUES (7, 1)");
    const long anna = Person("Amsler"), beat = Person("Brunner");
    Person("Caflisch");  // holds no function
    const long dora = Person("Dubach");  // holds it from the middle of 2023 to its end
    Sql("INSERT INTO PersonFunktion (lPersonID, lFunktionID, dtStart, dtEnde) VALUES (" + K(anna) +
        ", 1, '2019-01-01 00:00:00', '2023-12-31 00:00:00'), (" + K(beat) + ", 1, '2020-01-01 00:00:00', "
        "'1899-12-30 00:00:00'), (" + K(dora) + ", 1, '2023-06-01 00:00:00', '2023-12-31 00:00:00')");
    auto* page = Show<CPlanungDlg>(L"Planung");
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->m_arrKursleitung, (std::vector<long>{-1, -1, -1, 7}));
    // 2023, the year the first one's function ends and the third one's starts: all three are
    // offered (the search is left). 2024: the functions of the first and the third ended the year
    // before; the second's has no end.
    std::vector<std::wstring> offered;
    for (const int year : {2023, 2024}) {
        offered.clear();
        ChooseYear(year);
        script.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog& modal) {
            auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
            CSearchDlg* pSearch = popup.m_pSearchDlg;
            if (!pSearch && popup.m_pSearchTabDlg) pSearch = popup.m_pSearchTabDlg->m_pPersonDlg;
            ASSERT_NE(pSearch, nullptr);
            ASSERT_TRUE(WaitFor([&] { return !pSearch->IsSearching(); }));
            HWND list = pSearch->m_lstResult.GetSafeHwnd();
            for (int row = 0; row < Rows(list); ++row) {
                offered.push_back(Cell(list, row, 1) + Cell(list, row, 3));
                ClickRowCheckBox(list, row);
            }
            if (year == 2024) Click(popup.GetSafeHwnd(), IDOK);
            if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        });
        AnswerNextPopupMenu(ID_PLANUNG_ADD_NOROLE + 1);
        Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_ADD));
        if (year == 2023) {
            EXPECT_EQ(offered.size(), 3u);
        }
    }
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_NE(offered[0].find(L"Brunner"), std::wstring::npos);
    EXPECT_EQ(Text("SELECT fTeilnehmer || '/' || lKursleitungID || '/' || lKursinstanzID || '/' || "
                   "strftime('%Y', dtDatum) FROM PersonKurs WHERE lPersonID = " + K(beat)),
              "0/7/-1/2024");
    HWND list = page->m_list.GetSafeHwnd();
    ASSERT_EQ(Rows(list), 1);
    EXPECT_NE(Cell(list, 0, 0).find(L" | Klassenlehrer"), std::wstring::npos);
}

TEST_F(PlanungTest, TheStatusOfPlannedRegistrationsChangesTogetherAndNotToTheStatusTheyHold) {
    const long regA = Reg(Person("Amsler"), -1, 0, "2031-12-31");
    const long regB = Reg(Person("Brunner"), -1, 7, "2031-12-31");
    Sql("INSERT INTO Kursreservation (lKursreservationID, lKursID, lMandantID, lYear, lAnzahl) VALUES (902, " +
        K(kurs) + ", " + K(mandant) + ", 2031, 2)");
    auto* page = Show<CPlanungDlg>(L"Planung");
    ASSERT_NE(page, nullptr);
    HWND list = page->m_list.GetSafeHwnd();
    ASSERT_EQ(Rows(list), 3);
    const auto selectAll = [&] {
        for (int row = 0; row < Rows(list); ++row)
            ASSERT_TRUE(SelectRow(list, row, row ? Qt::ControlModifier : Qt::NoModifier));
        // The last one selected decides whether the command is offered: a participant.
        ASSERT_TRUE(SelectRow(list, RowOf(list, L"Amsler"), Qt::ControlModifier));
        ASSERT_TRUE(SelectRow(list, RowOf(list, L"Amsler"), Qt::ControlModifier));
    };
    HWND state = qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_CHANGESTATE);
    selectAll();
    ASSERT_TRUE(Enabled(state));
    long initial = 0;
    script.ExpectModal(IDD_GETSTATUS, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CGetStatusDlg&>(modal);
        initial = dlg.lStatus;
        dlg.lStatus = 3;
        modal.EndModal(IDOK);
    });
    Click(state);
    EXPECT_EQ(initial, -1) << "two statuses: none preset; the reservation does not count";
    EXPECT_EQ(Text("SELECT group_concat(lStatus) FROM PersonKurs WHERE lPersonKursID IN (" + K(regA) + ", " + K(regB) +
                   ")"),
              "3,3");
    EXPECT_EQ(Int("SELECT lAnzahl FROM Kursreservation WHERE lKursreservationID = 902"), 2);

    // Both hold 3 now: choosing 3 again changes nothing and logs nothing.
    const long long logged = Int("SELECT count(*) FROM UserLog");
    selectAll();
    script.ExpectModal(IDD_GETSTATUS, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CGetStatusDlg&>(modal);
        initial = dlg.lStatus;
        modal.EndModal(IDOK);
    });
    Click(state);
    EXPECT_EQ(initial, 3);
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog"), logged);
    EXPECT_EQ(Text("SELECT group_concat(lStatus) FROM PersonKurs"), "3,3");
}

// Two users, each in a course window of his own on the same plan. What Anna placed into a run or
// re-stated after his list was loaded is left as she stored it by his removal, his "→" and his
// status change: nothing is asked, written or logged, he is told once, and his list shows what is
// stored, also after the refused row.
TEST_F(PlanungTest, AStalePlanLeavesWhatAnotherUserPlacedOrChangedAndShowsWhatIsStored) {
    const long spring = AddRun(kurs, "2031-04-01", "Frühling", 10);
    Sql("INSERT OR REPLACE INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (-1, " + K(spring) +
        ", 5, 257)");
    const long regA = Reg(Person("Amsler"), -1, 0, "2031-12-31");
    const long regB = Reg(Person("Brunner"), -1, 0, "2031-12-31");
    const long regC = Reg(Person("Caflisch"), -1, 0, "2031-12-31");
    auto* page = Show<CPlanungDlg>(L"Planung");
    ASSERT_NE(page, nullptr);
    HWND list = page->m_list.GetSafeHwnd();
    ASSERT_EQ(Rows(list), 3);
    OpenOther();
    ASSERT_NE(otherDlg, nullptr);
    const HWND herTabs = otherDlg->GetTabCtrl().GetSafeHwnd();
    const auto herLabels = TabLabels(herTabs);
    const int planung = int(std::find(herLabels.begin(), herLabels.end(), L"Planung") - herLabels.begin());
    ASSERT_TRUE(ClickTab(herTabs, planung));
    Pump();
    auto* hers = dynamic_cast<CPlanungDlg*>(otherDlg->GetTabCtrl().GetTabWnd(planung));
    ASSERT_NE(hers, nullptr);
    const HWND herList = hers->m_list.GetSafeHwnd();
    // Each with the message expected after its dialog, when one is.
    const auto placeInto = [&](CPlanungDlg* on, const std::wstring& runName, const wchar_t* told = nullptr) {
        script.ExpectModal(IDD_SEARCHPOPUP, [&, runName](qv::IModalDialog& modal) {
            auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
            CSearchDlg& search = *popup.m_pSearchDlg;
            ASSERT_TRUE(WaitFor([&] { return !search.IsSearching(); }));
            HWND runs = search.m_lstResult.GetSafeHwnd();
            for (int row = 0; row < Rows(runs); ++row)
                for (int column = 0; column < 6; ++column)
                    if (Cell(runs, row, column).find(runName) != std::wstring::npos) SelectRow(runs, row);
            Click(popup.GetSafeHwnd(), IDOK);
            if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        });
        if (told) script.ExpectMessageBox(IDOK, told);
        Click(qv::ui::test::Item(on->GetSafeHwnd(), IDC_PLANUNG_CHANGEINSTANZ));
    };
    const auto newStatus = [&](CPlanungDlg* on, long status, const wchar_t* told = nullptr) {
        script.ExpectModal(IDD_GETSTATUS, [status](qv::IModalDialog& modal) {
            dynamic_cast<CGetStatusDlg&>(modal).lStatus = status;
            modal.EndModal(IDOK);
        });
        if (told) script.ExpectMessageBox(IDOK, told);
        Click(qv::ui::test::Item(on->GetSafeHwnd(), IDC_PLANUNG_CHANGESTATE));
    };
    const auto stored = [&](long reg) { return Text("SELECT lKursinstanzID || '|' || lStatus FROM PersonKurs WHERE "
                                                    "lPersonKursID = " + K(reg)); };
    const auto told = [&](const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Selection), 0u) << "nothing is asked";
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
        EXPECT_EQ(Int("SELECT count(*) FROM Kurs WHERE coalesce(strLock, '') <> ''"), 0);
        EXPECT_EQ(script.Pending(), 0u);
        script.Log().Clear();
    };

    // Anna places Amsler into the autumn run; his "Entfernen" of the planned row neither
    // deregisters nor deletes her booking.
    ASSERT_TRUE(SelectRow(herList, RowOf(herList, L"Amsler")));
    placeInto(hers, L"Herbst");
    ASSERT_EQ(stored(regA), K(run) + "|0");
    script.Log().Clear();
    const long long logged = Int("SELECT count(*) FROM UserLog");
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Amsler")));
    script.ExpectMessageBox(IDYES, L"wirklich löschen");
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert");
    Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_REMOVE));
    EXPECT_EQ(stored(regA), K(run) + "|0");
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog"), logged);
    EXPECT_EQ(RowOf(list, L"Amsler"), -1) << "the list shows what is stored";
    told("removal of a row placed meanwhile");

    // Anna places Brunner into the autumn run; his "→" of the planned row into spring leaves her
    // booking as it is and books no second one.
    ASSERT_TRUE(SelectRow(herList, RowOf(herList, L"Brunner")));
    placeInto(hers, L"Herbst");
    ASSERT_EQ(stored(regB), K(run) + "|0");
    script.Log().Clear();
    const long long loggedB = Int("SELECT count(*) FROM UserLog");
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Brunner")));
    placeInto(page, L"Frühling", L"Diese Anmeldung wurde inzwischen geändert");
    EXPECT_EQ(stored(regB), K(run) + "|0");
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonID = (SELECT lPersonID FROM PersonKurs WHERE "
                  "lPersonKursID = " + K(regB) + ")"), 1);
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog"), loggedB);
    EXPECT_EQ(RowOf(list, L"Brunner"), -1);
    told("placement of a row placed meanwhile");

    // Anna puts Caflisch on the waiting list; his status change of the row that still shows him
    // planned is refused, and his list then shows her status, so that his next command acts on it.
    ASSERT_TRUE(SelectRow(herList, RowOf(herList, L"Caflisch")));
    newStatus(hers, 3);
    ASSERT_EQ(stored(regC), "-1|3");
    script.Log().Clear();
    const std::wstring herCell = Cell(herList, RowOf(herList, L"Caflisch"), 0);
    ASSERT_NE(Cell(list, RowOf(list, L"Caflisch"), 0), herCell);
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Caflisch")));
    newStatus(page, 7, L"Diese Anmeldung wurde inzwischen geändert");
    EXPECT_EQ(stored(regC), "-1|3");
    EXPECT_EQ(Cell(list, RowOf(list, L"Caflisch"), 0), herCell) << "the list shows what is stored";
    told("status of a row changed meanwhile");
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Caflisch")));
    script.ExpectMessageBox(IDYES, L"wirklich löschen");
    Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_REMOVE));
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonKursID = " + K(regC)), 0);
    EXPECT_EQ(Rows(list), 0);
    script.Log().Clear();

    // The central installation plans instructors too: his removal and his "→" of an instructor's
    // row that Anna placed meanwhile leave her booking as it is.
    const long regD = Reg(Person("Dubach"), -1, 0, "2031-12-31", false);
    const long regE = Reg(Person("Egli"), -1, 0, "2031-12-31", false);
    qv::nq::SetEnterpriseEdition(true);
    ASSERT_EQ(page->Refresh(), S_OK);
    ASSERT_EQ(hers->Refresh(), S_OK);
    ASSERT_EQ(Rows(list), 2);
    const auto herPlacement = [&](const wchar_t* name, long reg) {
        ASSERT_TRUE(SelectRow(herList, RowOf(herList, name)));
        placeInto(hers, L"Herbst");
        ASSERT_EQ(stored(reg), K(run) + "|0");
        script.Log().Clear();
    };
    herPlacement(L"Dubach", regD);
    const long long loggedD = Int("SELECT count(*) FROM UserLog");
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Dubach")));
    script.ExpectMessageBox(IDYES, L"wirklich löschen");
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert");
    Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_REMOVE));
    EXPECT_EQ(stored(regD), K(run) + "|0");
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog"), loggedD);
    told("removal of an instructor placed meanwhile");
    herPlacement(L"Egli", regE);
    const long long loggedE = Int("SELECT count(*) FROM UserLog");
    ASSERT_TRUE(SelectRow(list, RowOf(list, L"Egli")));
    placeInto(page, L"Frühling", L"Diese Anmeldung wurde inzwischen geändert");
    EXPECT_EQ(stored(regE), K(run) + "|0");
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog"), loggedE);
    EXPECT_EQ(Rows(list), 0);
    told("placement of an instructor placed meanwhile");
}

TEST_F(PlanungTest, ThePlatformNamesRecordsChecksAddressesAndLanguagesAndSendsMail) {
    EXPECT_EQ(NQ_GetMandantBezeichnung(mandant), CString(L"FW Nord"));
    EXPECT_EQ(NQ_GetKursinstanzBezeichnung(run), CString(L"Herbst (01.09.2031)"));
    EXPECT_TRUE(NQ_GetBezeichnungForId(999999, 45).IsEmpty());
    const CQvGUID guid = NQ_GetGuidForId(kurs, 39);
    EXPECT_EQ(W2U(std::wstring(guid.GetGUID(TRUE))), Text("SELECT upper(guid) FROM Kurs WHERE lKursID = " + K(kurs)));
    EXPECT_TRUE(NQ_GetGuidForId(kurs, 12345).IsNULL());
    EXPECT_TRUE(NQ_IsModulRunning(NQ_LOGICSERVER_PROGID));
    EXPECT_FALSE(NQ_IsModulRunning(L"Qovaro.NQ2.NoSuchModule"));

    struct Address { const wchar_t* in; bool multiple, empty; BOOL ok; const wchar_t* out; } const addresses[] = {
        {L" hans@fw-nord.ch ", false, false, TRUE, L"hans@fw-nord.ch"},
        {L"hans@fw-nord.ch;anna@fw.ch", false, false, FALSE, nullptr},
        {L"hans@fw-nord.ch ; anna@fw.ch;", true, false, TRUE, L"hans@fw-nord.ch; anna@fw.ch"},
        {L"hans at fw-nord.ch", true, false, FALSE, nullptr},
        {L"hans@fw", false, false, FALSE, nullptr},
        {L"  ", false, true, TRUE, L""},
        {L"", false, false, FALSE, nullptr}};
    for (const Address& a : addresses) {
        CString value(a.in);
        EXPECT_EQ(NQ_ValidateEMailAdress(value, a.multiple, a.empty), a.ok) << W2U(a.in);
        if (a.ok) {
            EXPECT_EQ(value, CString(a.out)) << W2U(a.in);
        }
    }
    for (const auto& [text, code] : std::vector<std::pair<const wchar_t*, const wchar_t*>>{
             {L"Deutsch", L"DE"}, {L"français", L"FR"}, {L"Italiano", L"IT"}, {L"Rumantsch", L"RU"}, {L"", L""}})
        EXPECT_EQ(NQ_DetectLanguage(text), CString(code)) << W2U(text);
    setenv("LC_ALL", "fr_CH.UTF-8", 1);
    EXPECT_EQ(QvGetSysLanguage(), CString(L"FR"));
    unsetenv("LC_ALL");

    // Without a mail server nothing is sent; a folder takes the mail as it would go out.
    CEMail mail;
    EXPECT_EQ(mail.SendMail(L"hans@fw-nord.ch", L"", L"", L"Kurs", L"Text"), 1);
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("qvmail-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Mail", L"Server", CString(qv::FromUtf8("file://" + folder.string()).c_str()),
                          HKEY_LOCAL_MACHINE);
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Mail", L"From", CString(L"kurse@amt.ch"), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(mail.SendMail(L"hans@fw-nord.ch", L"anna@fw.ch", L"", L"Änderungen", L"Grüsse"), S_OK);
    EXPECT_EQ(mail.SendMail(L"kein Mail", L"", L"", L"x", L"y"), E_INVALIDARG);
    std::vector<std::filesystem::path> files(std::filesystem::directory_iterator(folder), {});
    ASSERT_EQ(files.size(), 1u);
    std::ifstream in(files[0]);
    std::stringstream text;
    text << in.rdbuf();
    // Dated and named, the subject in the header's encoding of non-ASCII text, the body
    // quoted-printable.
    const std::string message = text.str();
    EXPECT_EQ(message.substr(0, 6), "Date: ");
    const auto from = message.find("\r\nMessage-ID: <");
    ASSERT_NE(from, std::string::npos);
    EXPECT_EQ(message.substr(message.find("\r\n", from + 2) + 2),
              "From: kurse@amt.ch\r\nTo: hans@fw-nord.ch\r\nCc: anna@fw.ch\r\nSubject: =?UTF-8?B?w4RuZGVydW5nZW4=?=\r\n"
              "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
              "Content-Transfer-Encoding: quoted-printable\r\n\r\nGr=C3=BCsse\r\n");
    std::filesystem::remove_all(folder);
}

#ifdef PLANUNG_TEST_RESERVATIONS
TEST_F(PlanungTest, AReservationAddedFromThePlanningPageIsWrittenAndListed) {
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"ActMandantID", mandant);
    auto* page = Show<CPlanungDlg>(L"Planung");
    ASSERT_NE(page, nullptr);
    // The reservation editor (dialog 157): 4 places for 2032.
    script.ExpectModal(157, [](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CEditReservationDlg&>(modal);
        Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), 1068), L"4");
        Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), 1048), L"2032");
        Click(dlg.GetSafeHwnd(), IDOK);
        if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
    });
    AnswerNextPopupMenu(ID_PLANUNG_ADD_RESERVATION);
    Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_ADD));
    EXPECT_EQ(Text("SELECT lAnzahl || '/' || lYear || '/' || lMandantID FROM Kursreservation WHERE lKursID = " + K(kurs)),
              "4/2032/" + K(mandant));
    HWND list = page->m_list.GetSafeHwnd();
    ASSERT_EQ(Rows(list), 1);
    EXPECT_EQ(Cell(list, 0, 0), L"Reservation");
    EXPECT_EQ(Status(page), L"Anzahl geplant/reserviert pro Jahr: 2032: 4;    |  Provisorisch: 0  Geplant: 0");
    ExpectEvents(false, true);
    // Cancelled, the editor announces nothing.
    script.ExpectModal(157, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    AnswerNextPopupMenu(ID_PLANUNG_ADD_RESERVATION);
    Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_ADD));
    ExpectEvents(false, false);

    // A single place is a reservation too.
    script.ExpectModal(157, [](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CEditReservationDlg&>(modal);
        Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), 1068), L"1");
        Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), 1048), L"2033");
        Click(dlg.GetSafeHwnd(), IDOK);
        if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
    });
    AnswerNextPopupMenu(ID_PLANUNG_ADD_RESERVATION);
    Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_ADD));
    EXPECT_EQ(Int("SELECT count(*) FROM Kursreservation WHERE lAnzahl = 1 AND lYear = 2033"), 1);
    ExpectEvents(false, true);

    // A double click edits the reservation of its row, and the list shows the change.
    script.ExpectModal(157, [](qv::IModalDialog& modal) {
        HWND dlg = dynamic_cast<CEditReservationDlg&>(modal).GetSafeHwnd();
        EXPECT_EQ(qv::ui::test::Text(qv::ui::test::Item(dlg, 1068)), L"4");
        Retype(qv::ui::test::Item(dlg, 1068), L"6");
        Click(dlg, IDOK);
        if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
    });
    ASSERT_TRUE(DoubleClickRow(list, 0));
    EXPECT_EQ(Text("SELECT lAnzahl FROM Kursreservation WHERE lYear = 2032"), "6");
    EXPECT_EQ(Cell(list, 0, 2), L"6");
}

// With no Mandant active, the reservation's Mandant is chosen among those whose persons the user
// may change; Cancel adds nothing.
TEST_F(PlanungTest, WithoutAnActiveMandantTheReservationsMandantIsChosenAmongThoseTheUserMayChange) {
    const long readOnly = 150;
    Sql("INSERT INTO Mandant (lMandantID, strMandantName) VALUES (" + K(readOnly) + ", 'FW Süd')");
    Sql("INSERT INTO SecMandant (lMandantID, lTableID, lQvSecUserID, lRight) VALUES (" + K(readOnly) + ", 4, 5, 1)");
    auto* page = Show<CPlanungDlg>(L"Planung");
    ASSERT_NE(page, nullptr);
    script.ExpectModal(IDD_NQ_MANDANT4NEW, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    AnswerNextPopupMenu(ID_PLANUNG_ADD_RESERVATION);
    Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_ADD));
    EXPECT_EQ(script.Pending(), 0u);

    script.ExpectModal(IDD_NQ_MANDANT4NEW, [](qv::IModalDialog& modal) {
        const HWND list = qv::ui::test::Item(dynamic_cast<CDialog&>(modal).GetSafeHwnd(), IDC_NQ_MANDANT4NEW_LIST);
        ASSERT_EQ(Rows(list), 1) << "FW Süd's persons are only read";
        EXPECT_EQ(Cell(list, 0, 0), L"FW Nord");
        ASSERT_TRUE(DoubleClickRow(list, 0));
        if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
    });
    script.ExpectModal(157, [](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CEditReservationDlg&>(modal);
        Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), 1068), L"2");
        Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), 1048), L"2033");
        Click(dlg.GetSafeHwnd(), IDOK);
        if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
    });
    AnswerNextPopupMenu(ID_PLANUNG_ADD_RESERVATION);
    Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_ADD));
    EXPECT_EQ(Text("SELECT lAnzahl || '/' || lYear || '/' || lMandantID FROM Kursreservation WHERE lKursID = " + K(kurs)),
              "2/2033/" + K(mandant));

    // Whoever may change no Mandant's persons is told so, and nothing opens.
    Sql("UPDATE SecMandant SET lRight = 1 WHERE lQvSecUserID = 5");
    script.ExpectReport(L"Sie dürfen für keinen Mandanten neue Datensätze dieser Art erfassen.");
    AnswerNextPopupMenu(ID_PLANUNG_ADD_RESERVATION);
    Click(qv::ui::test::Item(page->GetSafeHwnd(), IDC_PLANUNG_ADD));
    EXPECT_EQ(script.Pending(), 0u);
    EXPECT_EQ(Int("SELECT count(*) FROM Kursreservation"), 1);
}
#endif

}  // namespace
}  // namespace kurstest
