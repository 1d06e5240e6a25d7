// The course window in the host frame: choosing a course and a run, editing the course data with
// its lock, the action menu's commands on courses and runs, the occupancy overview, the rights
// refresh the scheduler raises, and the fill levels other modules ask for.
#include "adosession.h"
#include "framesettingsdlg.h"
#include "ikursinstanz.h"
#include "kursbelegungdlg.h"
#include "kursdatendlg.h"
#include "kurspreconditiondlg.h"
#include "kursresource.h"
#include "kurssetupdlg.h"
#include "kurswin_window.h"
#include "lockdbrecord.h"
#include "denywindow.h"
#include "qvbuttons.h"
#include "qvhelpserver.h"
#include "qvreportserver.h"
#include "qvcomserver.h"
#include "qveventsource.h"
#include "qvregvalue.h"
#include "qvrunning.h"
#include "qvschedulerserver.h"
#include "searchpopupdlg.h"
#include "searchresource.h"
#include "utf.h"

#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace kurstest {
namespace {

using namespace qv::ui::test;

// The scheduler: records the jobs it is given.
class FakeScheduler : public qvtest::StackObject<IQvScheduler, IID_IQvScheduler> {
public:
    HRESULT AddJob(DATE, GUID event, long value) override {
        once.push_back({event, static_cast<DWORD>(value), 0});
        return S_OK;
    }
    HRESULT SetJob(DWORD periodMs, GUID event, DWORD firstDelayMs, DWORD) override {
        repeating.push_back({event, periodMs, firstDelayMs});
        return S_OK;
    }
    HRESULT RemoveJob(GUID) override { return S_OK; }
    struct Job {
        GUID event;
        DWORD value;  // the period of a repeating job
        DWORD delay;
    };
    std::vector<Job> once, repeating;
};

class KursWindowTest : public KursWindow {
protected:
    void SetUp() override {
        KursWindow::SetUp();
        ak = AddKurs(3, "AK");
        gk = AddKurs(3, "GK");
        spring = AddRun(gk, "2031-03-01", "Frühling", 3);
        autumn = AddRun(gk, "2031-09-01", "Herbst", 20);
    }
    CKursdatenDlg* Daten() const { return dynamic_cast<CKursdatenDlg*>(Page(0)); }
    HWND Field(int id) const { return qv::ui::test::Item(Daten()->GetSafeHwnd(), id); }
    // The course search the selector opens, with the rows found for the course's short name.
    void Search(const std::wstring& kurs, const std::function<void(CSearchPopupDlg&, HWND list)>& act) {
        script.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog& modal) {
            auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
            ASSERT_NE(popup.m_pSearchDlg, nullptr);
            CSearchDlg& search = *popup.m_pSearchDlg;
            Retype(qv::ui::test::Item(search.GetSafeHwnd(), IDC_SEARCH_TEXT), kurs);
            ASSERT_TRUE(WaitFor([&] { return !search.IsSearching(); }, 10000));
            act(popup, search.m_lstResult.GetSafeHwnd());
            if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        });
        Click(Item(IDC_KURSDLG_SELECT));
    }
    // Chooses the row of the course with the text in the run column (empty: a course without runs).
    void Choose(const std::wstring& kurs, const std::wstring& run, const std::string& screen = "") {
        Search(kurs, [&](CSearchPopupDlg& popup, HWND list) {
            for (int i = 0; i < Rows(list); ++i)
                if (Cell(list, i, 1).find(kurs) == 0 && Cell(list, i, 2) == run) SelectRow(list, i);
            if (!screen.empty()) Screen(popup.GetSafeHwnd(), screen);
            Click(popup.GetSafeHwnd(), IDOK);
        });
    }
    // The runs the selector lists for the course.
    std::vector<std::wstring> ListedRuns(const std::wstring& kurs) {
        std::vector<std::wstring> runs;
        Search(kurs, [&](CSearchPopupDlg&, HWND list) {
            for (int i = 0; i < Rows(list); ++i)
                if (Cell(list, i, 1).find(kurs) == 0 && !Cell(list, i, 2).empty()) runs.push_back(Cell(list, i, 2));
        });
        return runs;
    }
    long ak = 0, gk = 0, spring = 0, autumn = 0;
};

TEST_F(KursWindowTest, ACourseAndARunAreChosenAndTheCourseDataShown) {
    // The first run of a database has the number 1.
    Sql("UPDATE Kursinstanz SET lKursinstanzID = 1 WHERE lKursinstanzID = " + K(spring));
    Sql("UPDATE SecKurs SET lKursinstanzID = 1 WHERE lKursinstanzID = " + K(spring));
    spring = 1;
    OpenView();
    // The start-up progress names the view by its caption, its window made before it runs.
    EXPECT_EQ(startup.texts, (std::vector<std::wstring>{L"Lade Modul Ausbildung", L"Erstelle Modul Ausbildung",
                                                        L"Initialisiere Modul Ausbildung"}));
    // Nothing remembered: the latest run is shown.
    EXPECT_EQ(Dlg()->GetRecordID(), gk);
    EXPECT_EQ(Dlg()->GetSubRecordID(), autumn);
    ASSERT_EQ(Dlg()->GetTabCtrl().GetTabCount(), 1);
    EXPECT_EQ(TabLabels(Dlg()->GetTabCtrl().GetSafeHwnd()), (std::vector<std::wstring>{L"Kursdaten"}));

    // The search colours the runs by the fill levels the window keeps: Frühling full, Herbst open.
    const auto guid = [&](long run) {
        return CQvGUID(qv::FromUtf8(Text("SELECT guid FROM Kursinstanz WHERE lKursinstanzID = " + K(run))).c_str());
    };
    Dlg()->GetFillLevel().Set(guid(spring), 3, 3);
    Dlg()->GetFillLevel().Set(guid(autumn), 5, 20);
    Search(L"GK", [&](CSearchPopupDlg&, HWND list) {
        ASSERT_EQ(Rows(list), 2);
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(CellBackColor(list, i, 2), Cell(list, i, 2) == L"Frühling" ? COLORREF(0x3232FF) : COLORREF(0x32FF64));
    });
    Choose(L"GK", L"Frühling", "kursdlg_select");
    EXPECT_EQ(Dlg()->GetSubRecordID(), spring);
    EXPECT_EQ(qv::ui::test::Text(Item(IDC_KURSDLG_TITLE)), L"Kurs: GK, GK Kurs   |   Austragung: Frühling (01.03.2031)");
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_KURSDATEN_KURZ)), L"GK");
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_KURSDATEN_TYP)), L"Lokal");
    EXPECT_FALSE(ReadOnly(Field(IDC_KURSDATEN_BEZEICHNUNG)));
    EXPECT_TRUE(ReadOnly(Field(IDC_KURSDATEN_INTERN))) << "a local installation keeps no internal remark";
    Screen(Dlg()->GetSafeHwnd(), "kursdlg");

    Choose(L"AK", L"");
    EXPECT_EQ(Dlg()->GetRecordID(), ak);
    EXPECT_EQ(Dlg()->GetSubRecordID(), 0);
    EXPECT_EQ(qv::ui::test::Text(Item(IDC_KURSDLG_TITLE)), L"Kurs: AK, AK Kurs");
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_KURSDATEN_KURZ)), L"AK");

    // A course whose data cannot be read (the table of its remarks gone) shows nothing of it, not
    // even the flag of a new course, greyed and without an edit; F5 loads it once it can be read.
    Sql("ALTER TABLE Kursbemerkung RENAME TO KursbemerkungGone");
    script.ExpectReport();
    host->FireAccelCommand(L"F5");
    Pump();
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_KURSDATEN_KURZ)), L"");
    EXPECT_FALSE(Checked(Field(IDC_KURSDATEN_ACTIVE)));
    EXPECT_FALSE(Enabled(Field(IDC_KURSDATEN_BEZEICHNUNG)));
    EXPECT_FALSE(Dlg()->IsEditing());
    Sql("ALTER TABLE KursbemerkungGone RENAME TO Kursbemerkung");
    host->FireAccelCommand(L"F5");
    Pump();
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_KURSDATEN_KURZ)), L"AK");
    EXPECT_TRUE(Checked(Field(IDC_KURSDATEN_ACTIVE)));
    EXPECT_TRUE(Enabled(Field(IDC_KURSDATEN_BEZEICHNUNG)));

    // The choice is remembered for the next start.
    CloseView();
    OpenView();
    EXPECT_EQ(Dlg()->GetRecordID(), ak);
}

TEST_F(KursWindowTest, AFirstStartShowsTheNearestRunOpenForRegistrationThatTheInstallationBooks) {
    // Runs ahead whose registration window runs now, and runs that are near but not to be booked.
    const long kanton = AddKurs(2, "KK");
    const long alt = AddKurs(3, "ALT");
    Sql("UPDATE Kurs SET fActive = 0 WHERE lKursID = " + K(alt));
    auto run = [&](long kurs, const std::string& date, const std::string& name, const std::string& set = "") {
        const long id = AddRun(kurs, date, name, 20);
        Sql("UPDATE Kursinstanz SET dtAnmeldenVon = '2001-01-01 00:00:00', dtAnmeldenBis = '2098-12-31 00:00:00' "
            "WHERE lKursinstanzID = " + K(id));
        if (!set.empty()) Sql("UPDATE Kursinstanz SET " + set + " WHERE lKursinstanzID = " + K(id));
        return id;
    };
    const long later = run(gk, "2099-06-01", "Später");
    const long nearest = run(gk, "2099-03-01", "Nächste", "dtAnmeldenBis = '1899-12-30 00:00:00'");  // open to its day
    run(gk, "2099-02-01", "Geschlossen", "fGeschlossen = 1");
    run(gk, "2099-01-20", "Abgesagt", "dtAbgesagt = '2098-12-01 00:00:00'");
    run(gk, "2099-01-10", "Noch nicht", "dtAnmeldenVon = '2098-11-01 00:00:00'");
    run(gk, "2099-01-05", "Vorbei", "dtAnmeldenBis = '2001-02-01 00:00:00'");
    run(gk, "2099-01-04", "Ohne Fenster", "dtAnmeldenVon = '1899-12-30 00:00:00'");
    run(alt, "2099-01-03", "Inaktiv");
    run(gk, "2001-03-01", "Gewesen");
    const long cantonal = run(kanton, "2099-01-02", "Kanton");

    // The local installation books into its local courses only; the central one into every course.
    for (const bool central : {false, true}) {
        SCOPED_TRACE(central ? "central" : "local");
        qv::nq::SetEnterpriseEdition(central);
        CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"LastID_Kurs", long(0));
        OpenView();
        EXPECT_EQ(Dlg()->GetSubRecordID(), central ? cantonal : nearest);
        CloseView();
    }
    // A run remembered from another database, which this one does not hold under that course,
    // is passed over as on a first start; one it holds comes back.
    qv::nq::SetEnterpriseEdition(false);
    const std::vector<std::pair<long, long>> remembers{{99999, nearest}, {cantonal, nearest}, {later, later}};
    for (const auto& [remembered, shown] : remembers) {
        CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"LastID_Kurs", gk);
        CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"LastID_Kursinstanz", remembered);
        OpenView();
        EXPECT_EQ(Dlg()->GetRecordID(), gk);
        EXPECT_EQ(Dlg()->GetSubRecordID(), shown) << remembered;
        CloseView();
    }
}

TEST_F(KursWindowTest, EditingTheCourseDataLocksSavesLogsOrIsCancelled) {
    qvtest::ScopedEnv user("USER", "anna");
    OpenView();
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
    // The fields take no more than the course keeps: a name typed beyond 254 characters stops
    // there; a short name is kept whole up to its 254.
    Retype(Field(IDC_KURSDATEN_BEZEICHNUNG), std::wstring(300, L'n'));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_KURSDATEN_BEZEICHNUNG)), std::wstring(254, L'n'));
    Retype(Field(IDC_KURSDATEN_KURZ), std::wstring(60, L'k'));
    Retype(Field(IDC_KURSDATEN_BEZEICHNUNG), L"Grundkurs 'neu'  ");
    EXPECT_NE(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(gk)), "") << "the course is locked while edited";
    ASSERT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE)));
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SELECT))) << "no other course while one is edited";
    Retype(Field(IDC_KURSDATEN_OVERBOOK), L"12,5");
    Click(Item(IDC_KURSDLG_SAVE));
    EXPECT_EQ(Text("SELECT strBezeichnung || '|' || dblProzOverbook || '|' || strLock || '|' || length(strKurzbezeichnung) "
                   "|| '|' || fActive || fMultiregistration FROM Kurs WHERE lKursID = " + K(gk)),
              "Grundkurs 'neu'|12.5||60|10");
    EXPECT_EQ(Text("SELECT strText || '|' || lTableID FROM UserLog"), "Kurs wurde aktualisiert.|39");
    bool named = false;
    for (const auto& r : script.Log().Records()) named = named || r.text.find(L"\n(Ausbildung)") != std::wstring::npos;
    EXPECT_TRUE(named) << "the save's wait text names the view";
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));

    // A bad value keeps the edit and writes nothing.
    Retype(Field(IDC_KURSDATEN_OVERBOOK), L"viel");
    script.ExpectReport(L"zwischen 0 und 100");
    Click(Item(IDC_KURSDLG_SAVE));
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u) << "refused once, with its cause";
    EXPECT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE)));
    // So is a short name of blanks only; the field is asked for.
    Retype(Field(IDC_KURSDATEN_OVERBOOK), L"5");
    Retype(Field(IDC_KURSDATEN_KURZ), L"  ");
    script.ExpectReport(L"Kurzbezeichnung des Kurses");
    Click(Item(IDC_KURSDLG_SAVE));
    EXPECT_TRUE(HasFocus(Field(IDC_KURSDATEN_KURZ)));
    EXPECT_EQ(Text("SELECT length(strKurzbezeichnung) || '|' || dblProzOverbook FROM Kurs WHERE lKursID = " + K(gk)),
              "60|12.5");

    // Cancel puts the stored data back and frees the course.
    Retype(Field(IDC_KURSDATEN_BEZEICHNUNG), L"verworfen");
    Click(Item(IDC_KURSDLG_CANCEL));
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_KURSDATEN_BEZEICHNUNG)), L"Grundkurs 'neu'");
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_KURSDATEN_OVERBOOK)), L"12.5");
    EXPECT_EQ(Text("SELECT strBezeichnung || '|' || strLock FROM Kurs WHERE lKursID = " + K(gk)), "Grundkurs 'neu'|");
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog"), 1);

    // Each flag goes to its own column; a full 100% overbooking is allowed.
    ASSERT_TRUE(Checked(Field(IDC_KURSDATEN_ACTIVE)));
    ASSERT_FALSE(Checked(Field(IDC_KURSDATEN_MULTI)));
    Click(Field(IDC_KURSDATEN_ACTIVE));
    Click(Field(IDC_KURSDATEN_MULTI));
    Retype(Field(IDC_KURSDATEN_OVERBOOK), L"100");
    Click(Item(IDC_KURSDLG_SAVE));
    EXPECT_EQ(Text("SELECT fActive || '|' || fMultiregistration || '|' || CAST(dblProzOverbook AS INTEGER) FROM Kurs "
                   "WHERE lKursID = " + K(gk)),
              "0|1|100");

    // Another user's lock past the stale limit, one try per request: the first change clears it and
    // takes nothing, the next one takes the course.
    Sql("UPDATE Kurs SET strLock = datetime('now', 'localtime', '-721 minutes') || '|PC9|fritz' WHERE lKursID = " + K(gk));
    Type(Field(IDC_KURSDATEN_BEZEICHNUNG), L"x");
    EXPECT_EQ(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(gk)), "");
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
    Type(Field(IDC_KURSDATEN_BEZEICHNUNG), L"y");
    EXPECT_NE(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(gk)), "");
    EXPECT_TRUE(Enabled(Item(IDC_KURSDLG_SAVE)));
    Click(Item(IDC_KURSDLG_CANCEL));

    // A fresh lock of user ANNA on this computer is another user's lock, on either database.
    const std::string tag = CLockDbRecord().m_strOwnerTag.ToUtf8();
    const std::string his = tag.substr(0, tag.rfind('|') + 1) + "ANNA";
    Sql("UPDATE Kurs SET strLock = datetime('now','localtime') || '" + his + "' WHERE lKursID = " + K(gk));
    Retype(Field(IDC_KURSDATEN_BEZEICHNUNG), L"fremd");
    EXPECT_EQ(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(gk)).substr(19), his);
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
    Sql("UPDATE Kurs SET strLock = '' WHERE lKursID = " + K(gk));

    // Trailing blanks do not count, on either database: "anna" and "anna " each release an own
    // lock stored as "anna ", and take it over as their own when it is fresh.
    for (const char* me : {"anna", "anna "}) {
        SCOPED_TRACE(std::string("'") + me + "'");
        qvtest::ScopedEnv user("USER", me);
        CLockDbRecord lock;
        const std::string own = lock.m_strOwnerTag.ToUtf8();
        const std::string blank = "UPDATE Kurs SET strLock = datetime('now','localtime') || '" +
                                  own.substr(0, own.rfind('|') + 1) + "anna ' WHERE lKursID = " + K(gk);
        Sql(blank);
        EXPECT_EQ(lock.UnlockDbRecord(L"Kurs", L"lKursID", gk), eRecordUnchanged);
        EXPECT_EQ(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(gk)), "");
        Sql(blank);
        EXPECT_EQ(lock.LockDbRecord(L"Kurs", L"lKursID", gk, nullptr), eRecordEditing);
        EXPECT_EQ(Text("SELECT strLock FROM Kurs WHERE lKursID = " + K(gk)).substr(19), own);
        EXPECT_EQ(lock.UnlockDbRecord(L"Kurs", L"lKursID", gk), eRecordUnchanged);
    }

}

TEST_F(KursWindowTest, TheCentralInstallationKeepsTheCoursesInternalRemarkAndItsPreconditions) {
    qv::nq::SetEnterpriseEdition(true);
    // In the central installation the user's rights row of the course limits the page.
    Sql("INSERT OR REPLACE INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (" + K(gk) + ", -1, 5, 1)");
    OpenView();
    EXPECT_TRUE(ReadOnly(Field(IDC_KURSDATEN_INTERN)));
    Sql("UPDATE SecKurs SET lRight = 257");
    CloseView();
    OpenView();
    ASSERT_FALSE(ReadOnly(Field(IDC_KURSDATEN_INTERN)));
    Retype(Field(IDC_KURSDATEN_INTERN), L"nur intern");
    Click(Item(IDC_KURSDLG_SAVE));
    EXPECT_EQ(Text("SELECT lKursID || '|' || lKursinstanzID || '|' || strBemerkungIntern FROM Kursbemerkung"),
              K(gk) + "|-1|nur intern");
    Retype(Field(IDC_KURSDATEN_INTERN), L"nur 'intern' neu");
    Click(Item(IDC_KURSDLG_SAVE));
    EXPECT_EQ(Text("SELECT count(*) || '|' || max(strBemerkungIntern) FROM Kursbemerkung"), "1|nur 'intern' neu")
        << "the row is changed, not doubled";
    Retype(Field(IDC_KURSDATEN_INTERN), L"");
    Click(Item(IDC_KURSDLG_SAVE));
    EXPECT_EQ(Int("SELECT count(*) FROM Kursbemerkung"), 0) << "an empty remark takes the row away";

    // The page opens the course's precondition rules for editing.
    BOOL readOnly = TRUE;
    script.ExpectModal(IDD_KURSPRECONDITION, [&](qv::IModalDialog& modal) {
        readOnly = dynamic_cast<CKursPreconditionDlg&>(modal).IsReadOnly();
        modal.EndModal(IDCANCEL);
    });
    Click(Field(IDC_KURSDATEN_PRECONDITION));
    EXPECT_FALSE(readOnly);
}

TEST_F(KursWindowTest, ASavedCourseStaysSavedWhenItsLogEntryCannotBeWritten) {
    OpenView();
    qv::RevokeRunningServer(QVUSERLOG_PROGID);
    script.AllowReports(true);
    Retype(Field(IDC_KURSDATEN_BEZEICHNUNG), L"ohne Protokoll");
    Click(Item(IDC_KURSDLG_SAVE));
    EXPECT_EQ(Text("SELECT strBezeichnung || '|' || strLock FROM Kurs WHERE lKursID = " + K(gk)), "ohne Protokoll|");
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE))) << "the edit is over";
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog"), 0) << "the log entry was not written";
    for (const auto& report : script.Log().Records(qv::InteractionKind::Report))
        EXPECT_EQ(report.caption.find(L"CKursDlg::OnSave"), std::wstring::npos) << "the save is not reported as failed";
}

TEST_F(KursWindowTest, CoursesOfTheCantonAndUsersWithoutTheEditRightOnlyRead) {
    const long kanton = AddKurs(2, "KK");
    AddRun(kanton, "2032-01-01", "Winter");
    OpenView();
    ASSERT_EQ(Dlg()->GetRecordID(), kanton);
    EXPECT_TRUE(ReadOnly(Field(IDC_KURSDATEN_BEZEICHNUNG)));
    EXPECT_TRUE(Dlg()->IsCommandEnabled(ID_KURS_NEW));
    for (UINT id : {ID_KURSINSTANZ_NEW, ID_KURSINSTANZ_COPY, ID_KURS_DELETE, ID_KURSINSTANZ_FILL})
        EXPECT_FALSE(Dlg()->IsCommandEnabled(id)) << id;

    CloseView();
    security.Answer(L"{5F03AD81-548C-4F27-8FDA-45FC8E49B17C}", L"", 0x1);
    OpenView();
    Choose(L"GK", L"Herbst");
    ASSERT_EQ(Dlg()->GetRecordID(), gk);
    EXPECT_TRUE(ReadOnly(Field(IDC_KURSDATEN_BEZEICHNUNG)));
    Action(0);
    const auto items = LastPopupMenuItems();
    ASSERT_EQ(items.size(), 11u);
    EXPECT_EQ(items[3], L"Austragung löschen...");
    EXPECT_EQ(items[7], L"Aktivität zur Austragung erzeugen/aktualisieren...");
    EXPECT_EQ(items[9], L"Protokoll des Kurses...");
    EXPECT_EQ(items[10], L"Protokoll der Austragung...");
    for (UINT id : {ID_KURS_NEW, ID_KURSINSTANZ_NEW, ID_KURSINSTANZ_COPY, ID_KURS_DELETE, ID_KURSINSTANZ_FILL})
        EXPECT_FALSE(Dlg()->IsCommandEnabled(id)) << id;
    EXPECT_TRUE(Dlg()->IsCommandEnabled(ID_KURS_BELEGUNG));
}

TEST_F(KursWindowTest, RunsAndCoursesAreCreatedCopiedAndDeletedFromTheActionMenu) {
    OpenView();
    Action(ID_KURSINSTANZ_NEW);
    const long created = Dlg()->GetSubRecordID();
    ASSERT_NE(created, autumn);
    EXPECT_EQ(Int("SELECT lKursID FROM Kursinstanz WHERE lKursinstanzID = " + K(created)), gk);
    EXPECT_EQ(ListedRuns(L"GK").size(), 3u) << "the new run is in the selector";

    Choose(L"GK", L"Frühling");
    Action(ID_KURSINSTANZ_COPY);
    const long copy = Dlg()->GetSubRecordID();
    ASSERT_NE(copy, spring);
    EXPECT_EQ(Text("SELECT strBezeichnung || '|' || lMaxTeilnehmer FROM Kursinstanz WHERE lKursinstanzID = " + K(copy)),
              "Kopie von Frühling|3");

    // Deleting asks first; No keeps the run.
    script.ExpectMessageBox(IDNO, L"Soll die Austragung");
    Action(ID_KURS_DELETE);
    EXPECT_EQ(Int("SELECT count(*) FROM Kursinstanz WHERE lKursinstanzID = " + K(copy)), 1);
    script.ExpectMessageBox(IDYES, L"Soll die Austragung");
    Action(ID_KURS_DELETE);
    EXPECT_EQ(Int("SELECT count(*) FROM Kursinstanz WHERE lKursinstanzID = " + K(copy)), 0);
    EXPECT_EQ(Dlg()->GetRecordID(), gk);
    EXPECT_EQ(Dlg()->GetSubRecordID(), 0) << "the course stays chosen";

    Action(ID_KURS_NEW);
    const long newKurs = Dlg()->GetRecordID();
    EXPECT_NE(newKurs, gk);
    EXPECT_EQ(Int("SELECT lTyp FROM Kurs WHERE lKursID = " + K(newKurs)), 3);
    script.ExpectMessageBox(IDYES, L"Soll der Kurs");
    Action(ID_KURS_DELETE);
    EXPECT_EQ(Int("SELECT count(*) FROM Kurs WHERE lKursID = " + K(newKurs)), 0);
    EXPECT_EQ(Dlg()->GetRecordID(), 0);
    EXPECT_EQ(qv::ui::test::Text(Item(IDC_KURSDLG_TITLE)), L"Kein Kurs ausgewählt");

    // A deleted course's data does not stay on the page.
    Sql("UPDATE Kurs SET strBemerkung = 'b', strZielpublikum = 'z', strKursziel = 'k', strTenu = 't', "
        "strMaterial = 'm' WHERE lKursID = " + K(ak));
    Choose(L"AK", L"");
    for (const auto& [id, text] : {std::pair{IDC_KURSDATEN_BEMERKUNG, L"b"}, std::pair{IDC_KURSDATEN_ZIELPUBLIKUM, L"z"},
                                   std::pair{IDC_KURSDATEN_KURSZIEL, L"k"}, std::pair{IDC_KURSDATEN_TENU, L"t"},
                                   std::pair{IDC_KURSDATEN_MATERIAL, L"m"}})
        EXPECT_EQ(qv::ui::test::Text(Field(id)), text) << id;
    script.ExpectMessageBox(IDYES, L"Soll der Kurs");
    Action(ID_KURS_DELETE);
    for (int id : {IDC_KURSDATEN_KURZ, IDC_KURSDATEN_BEZEICHNUNG, IDC_KURSDATEN_BEMERKUNG, IDC_KURSDATEN_ZIELPUBLIKUM,
                   IDC_KURSDATEN_KURSZIEL, IDC_KURSDATEN_TENU, IDC_KURSDATEN_MATERIAL, IDC_KURSDATEN_OVERBOOK})
        EXPECT_EQ(qv::ui::test::Text(Field(id)), L"") << id;
    Screen(Dlg()->GetSafeHwnd(), "kursdlg_none");
}

TEST_F(KursWindowTest, AFailedActionIsShownOnceWithItsCauseAndARefusedDeletionIsNotLogged) {
    OpenView();
    Choose(L"GK", L"Frühling");
    const struct {
        UINT command;
        const char* verb;
        const char* table;
    } cases[] = {
        {ID_KURS_NEW, "INSERT", "Kurs"},
        {ID_KURSINSTANZ_NEW, "INSERT", "Kursinstanz"},
        {ID_KURSINSTANZ_COPY, "INSERT", "Kursinstanz"},
        {ID_KURS_DELETE, "DELETE", "Kursinstanz"},
    };
    for (const auto& c : cases) {
        Sql(std::string("CREATE TRIGGER Refuse BEFORE ") + c.verb + " ON " + c.table +
            " BEGIN SELECT RAISE(ABORT, 'gesperrt'); END");
        if (c.command == ID_KURS_DELETE) script.ExpectMessageBox(IDYES, L"Soll die Austragung");
        script.ExpectReport(L"gesperrt");
        Action(c.command);
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u) << c.command;
        script.Log().Clear();
        Sql("DROP TRIGGER Refuse");
    }
    EXPECT_EQ(Dlg()->GetSubRecordID(), spring);
    EXPECT_EQ(Int("SELECT count(*) FROM Kursinstanz"), 2);
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog WHERE strText = 'Kursaustragung wurde gelöscht.'"), 0)
        << "the run still exists";
    const std::string name = Text("SELECT fn_GetKursinstanzBezeichnung(" + K(spring) + ")");
    script.ExpectMessageBox(IDYES, L"Soll die Austragung");
    Action(ID_KURS_DELETE);
    EXPECT_EQ(Text("SELECT strDetail FROM UserLog WHERE strText = 'Kursaustragung wurde gelöscht.'"), name);
}

TEST_F(KursWindowTest, ARunIsFilledFromItsWaitingListAndTheOccupancyShown) {
    AddReg(AddPerson("Eins"), gk, spring, 0, "2030-01-01");
    const long first = AddReg(AddPerson("Zwei"), gk, spring, 3, "2030-01-02");
    const long second = AddReg(AddPerson("Drei"), gk, spring, 3, "2030-01-03");
    const long third = AddReg(AddPerson("Vier"), gk, spring, 3, "2030-01-04");
    OpenView();
    Choose(L"GK", L"Frühling");
    script.ExpectMessageBox(IDOK, L"2 Person(en) wurden von der Warteliste angemeldet.");
    Action(ID_KURSINSTANZ_FILL);
    EXPECT_EQ(Text("SELECT group_concat(lStatus, ',') FROM (SELECT lStatus FROM PersonKurs WHERE lPersonKursID IN (" +
                   K(first) + ", " + K(second) + ", " + K(third) + ") ORDER BY lPersonKursID)"),
              "0,0,3");
    script.ExpectMessageBox(IDOK, L"Es wurde niemand von der Warteliste angemeldet");
    Action(ID_KURSINSTANZ_FILL);

    script.ExpectModal(IDD_KURSBELEGUNG, [&](qv::IModalDialog& modal) {
        const HWND list = dynamic_cast<CKursBelegungDlg&>(modal).m_list.GetSafeHwnd();
        ASSERT_EQ(Rows(list), 2);
        EXPECT_EQ(Cell(list, 0, 0), L"Frühling");
        EXPECT_EQ(Cell(list, 0, 2), L"3");
        EXPECT_EQ(Cell(list, 0, 4), L"1");
        EXPECT_EQ(Cell(list, 0, 5), L"voll");
        EXPECT_EQ(Cell(list, 1, 5), L"freie Plätze");
        modal.EndModal(IDCANCEL);
    });
    Action(ID_KURS_BELEGUNG);
}

TEST_F(KursWindowTest, TheWindowAsksTheSchedulerForTheRightsRefreshAndThePeriodicFillLevel) {
    struct Case {
        const char* what;
        long interval;
        long fillupState;  // -1: not set
        bool periodic;
    };
    const Case cases[] = {
        {"interval set, switch missing", 5, -1, true},
        {"interval set, switch on", 5, 1, true},
        {"the user switched it off", 5, 0, false},
        {"no interval", 0, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeScheduler scheduler;
        qvtest::ScopedRunningServer running(QV_SCHEDULER_PROGID, &scheduler);
        options.Set(-1060, L"FillLevelInterval", c.interval);
        if (c.fillupState >= 0)
            CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\KursView", L"FillupStateEnabled", c.fillupState);
        OpenView();
        ASSERT_EQ(scheduler.once.size(), 1u);
        EXPECT_EQ(scheduler.once[0].event, CKursDlg::GUID_UpdateSecKurs);
        ASSERT_EQ(scheduler.repeating.size(), c.periodic ? 1u : 0u);
        if (c.periodic) {
            EXPECT_EQ(scheduler.repeating[0].event, CKursDlg::GUID_FillLevel);
            EXPECT_EQ(scheduler.repeating[0].value, 5u * 60000u);
            EXPECT_EQ(scheduler.repeating[0].delay, 15000u);
        }
        CloseView();
    }
}

TEST_F(KursWindowTest, TheSchedulersRightsEventRefreshesTheUsersCourseRights) {
    OpenView();
    Sql("DELETE FROM SecKurs");
    CQvEventSource events;
    ASSERT_EQ(events.FireEvent(CKursDlg::GUID_UpdateSecKurs, 0, FALSE), S_OK);
    EXPECT_TRUE(WaitFor([&] { return Int("SELECT count(*) FROM SecKurs WHERE lQvSecUserID = 5 AND lKursID <> -1") == 2; }))
        << "a rights row per course";
    Pump();
    EXPECT_FALSE(Page(0)->GetModifiedFlag()) << "the page shown reloads under the new rights";
    EXPECT_EQ(Int("SELECT count(*) FROM SecKurs WHERE lQvSecUserID = 5 AND lKursinstanzID <> -1"), 2);
}

TEST_F(KursWindowTest, AReadOnlyDatabaseShowsItsDataAndRefusesEveryWriteWithAMessage) {
    if (kOnPg) GTEST_SKIP() << "a database file that may not be written is SQLite's";
    // The run's page and its fields.
    for (const wchar_t* function : {L"{924411CF-EA09-4E11-ABA5-F7779B9C6523}", L"{26522EFD-1FAB-468E-9D15-6917C79A763B}",
                                    L"{EE795285-F835-4E1B-BBF1-10B321E5A422}", L"{E97F6FE4-5DCD-4523-9ABB-E0714DFA7708}"})
        security.Answer(function, L"", 0x101);
    // The rights rows of an earlier start, with rights the module no longer gives: the start's
    // refresh would write them again.
    OpenView();
    CloseView();
    security.Answer(L"{5F03AD81-548C-4F27-8FDA-45FC8E49B17C}", L"", 0x103);
    // The run shown is due to close: its registration window has ended.
    Sql("UPDATE Kursinstanz SET dtAnmeldenVon = '2001-01-01 00:00:00', dtAnmeldenBis = '2001-02-01 00:00:00' WHERE "
        "lKursinstanzID = " + K(autumn));
    // The file may not be written; the connections open it anew.
    const std::string file = env->SuiteDatabase();
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    qv::ado::Session::ReleasePool();
    auto contents = [&] {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = contents();

    // No box at the start: the window shows the course and its runs, the run as it is stored.
    OpenView();
    EXPECT_EQ(Dlg()->GetRecordID(), gk);
    EXPECT_EQ(Dlg()->GetSubRecordID(), autumn);
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_KURSDATEN_BEZEICHNUNG)), L"GK Kurs");
    Screen(Dlg()->GetSafeHwnd(), "kurswin_readonly");

    // The scheduler's rights refresh finds rows to change and may not write them: no box either.
    CQvEventSource events;
    ASSERT_EQ(events.FireEvent(CKursDlg::GUID_UpdateSecKurs, 0, FALSE), S_OK);
    Pump();
    EXPECT_EQ(Int("SELECT count(*) FROM SecKurs WHERE lQvSecUserID = 5 AND lRight = 257"), 4) << "rows as they were";
    EXPECT_TRUE(script.Log().Records().empty()) << "a box at the start";

    // A change is refused with a clear message, once: the field keeps the stored text and there
    // is nothing to save.
    script.ExpectMessageBox(IDOK, L"Die Datenbank ist schreibgeschützt");
    Retype(Field(IDC_KURSDATEN_BEZEICHNUNG), L"geändert");
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_KURSDATEN_BEZEICHNUNG)), L"GK Kurs");
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 1u);
    // Later changes are undone without another box.
    Retype(Field(IDC_KURSDATEN_BEZEICHNUNG), L"nochmals");
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_KURSDATEN_BEZEICHNUNG)), L"GK Kurs");
    EXPECT_EQ(script.Log().Records().size(), 1u);
    // So on the run's page: what is typed does not stay on screen, where nothing is saved.
    ASSERT_TRUE(ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), 1));
    Pump();
    const HWND runName = qv::ui::test::Item(Page(1)->GetSafeHwnd(), IDC_INSTANZDATEN_BEZEICHNUNG);
    const std::wstring shown = qv::ui::test::Text(runName);
    ASSERT_FALSE(shown.empty());
    for (const wchar_t* typed : {L"x", L"yz"}) {
        ASSERT_TRUE(Type(runName, typed));
        EXPECT_EQ(qv::ui::test::Text(runName), shown);
    }
    EXPECT_FALSE(Enabled(Item(IDC_KURSDLG_SAVE)));
    EXPECT_EQ(script.Log().Records().size(), 1u);
    CloseView();
    EXPECT_TRUE(contents() == before) << "the file was changed";
    std::filesystem::permissions(file, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
}

TEST_F(KursWindowTest, ChangedBookingsOfItsCourseReloadAPageTheUserDoesNotLookAt) {
    OpenView();
    ASSERT_EQ(qv::ui::test::Text(Field(IDC_KURSDATEN_KURZ)), L"GK");
    Sql("UPDATE Kurs SET strKurzbezeichnung = 'GK2' WHERE lKursID = " + K(gk));
    ASSERT_EQ(Dlg()->ShowView(FALSE), S_OK);
    ASSERT_EQ(Dlg()->ShowView(TRUE), S_OK);
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_KURSDATEN_KURZ)), L"GK") << "nothing told the page";

    ASSERT_EQ(Dlg()->ShowView(FALSE), S_OK);
    CQvEventSource events;
    ASSERT_EQ(events.FireEvent(CKursChildDlg::GUID_BookingsChanged, gk, FALSE), S_OK);
    ASSERT_TRUE(WaitFor([&] { return Daten()->GetModifiedFlag() == TRUE; }));
    ASSERT_EQ(Dlg()->ShowView(TRUE), S_OK);
    EXPECT_EQ(qv::ui::test::Text(Field(IDC_KURSDATEN_KURZ)), L"GK2");
}

// A publication date that is no date, typed with other changes, and Schliessen: the settings
// window stays open with one message and every value typed, until the date is mended or the user
// gives the changes up.
TEST_F(KursWindowTest, TheSettingsWindowKeepsAPageWithADateThatIsNoneUntilItIsMendedOrGivenUp) {
    OpenView();
    security.Answer(L"{4E96EEEA-F268-4E0C-A6C4-0AB9ED892746}", L"", 0x101);
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"MasterMandantID", mandant, HKEY_LOCAL_MACHINE);
    for (const wchar_t* date : {L"31022027", L"31.02.2027"}) {
        SCOPED_TRACE(std::string(qv::ToUtf8(date)));
        const bool givenUp = std::wstring(date) == L"31022027";
        auto* settings = new CQvFrameSettingsDlg(host);
        settings->show();
        ASSERT_EQ(settings->Pages().size(), 1u);
        const HWND page = settings->Pages()[0].hWnd;
        const auto buttons = settings->findChildren<QPushButton*>();
        ASSERT_EQ(buttons.size(), 1);
        Retype(qv::ui::test::Item(page, IDC_KURSSETUP_OPENDAYS), L"30");
        Retype(qv::ui::test::Item(page, IDC_KURSSETUP_PUBLISHDATE), date);
        script.ExpectMessageBox(IDOK, L"Das Publikationsdatum ist kein gültiges Datum (TT.MM.JJJJ).");
        ASSERT_TRUE(Click(buttons[0]));
        EXPECT_TRUE(settings->isVisible()) << "the window stays";
        EXPECT_EQ(script.Log().Records().size(), 1u) << "one message";
        EXPECT_EQ(qv::ui::test::Text(qv::ui::test::Item(page, IDC_KURSSETUP_OPENDAYS)), L"30");
        EXPECT_EQ(qv::ui::test::Text(qv::ui::test::Item(page, IDC_KURSSETUP_PUBLISHDATE)), date);
        EXPECT_TRUE(options.values.count({-1060, L"AutoOpenAfterPublish"}) == 0) << "nothing written yet";
        if (givenUp) {
            Screen(settings->Pages()[0].hWnd, "kurssetup_bad_date");
            script.ExpectMessageBox(IDCANCEL, L"kein gültiges Datum");
        } else {
            Retype(qv::ui::test::Item(page, IDC_KURSSETUP_PUBLISHDATE), L"28.02.2027");
        }
        ASSERT_TRUE(Click(buttons[0]));
        EXPECT_FALSE(settings->isVisible()) << "closed";
        EXPECT_EQ(options.values.count({-1060, L"AutoOpenAfterPublish"}), givenUp ? 0u : 1u);
        EXPECT_EQ(Text("SELECT strLock FROM Mandant WHERE lMandantID = " + K(mandant)), "");
        delete settings;
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
        script.Log().Clear();
    }
    EXPECT_EQ(std::get<long>(options.values.at({-1060, L"AutoOpenAfterPublish"})), 30L);
}

TEST_F(KursWindowTest, TheViewOffersTheCourseSettingsPageToUsersWithItsRight) {
    OpenView();
    IQvFInit* pInit = host->FindView(KURSVIEW_PROGID)->pInit;
    IUnknown* pUnknown = nullptr;
    ASSERT_EQ(pInit->CreateSetupPage(0, &pUnknown), S_OK);
    IQvFSetupViewControl* pPage = nullptr;
    ASSERT_EQ(pUnknown->QueryInterface(IID_IQvFSetupViewControl, reinterpret_cast<void**>(&pPage)), S_OK);
    pUnknown->Release();
    BSTR caption = nullptr, group = nullptr;
    pPage->GetCaption(&caption);
    pPage->GetGroupName(&group);
    EXPECT_EQ(qvtest::Str(caption), L"Kurse");
    EXPECT_EQ(qvtest::Str(group), L"Module");
    SysFreeString(caption);
    SysFreeString(group);
    BSTR name = nullptr;
    ASSERT_EQ(pPage->GetSetupName(&name), S_OK);
    EXPECT_EQ(qvtest::Str(name), L"SETUPVIEW-MODUL") << "the name the settings window files the page under";
    SysFreeString(name);
    // As the settings window asks: only with a right on the settings' function.
    BOOL canLoad = TRUE;
    pPage->SetSecurity(nullptr, 1);
    ASSERT_EQ(pPage->CanLoad(&canLoad), S_OK);
    EXPECT_FALSE(canLoad);
    security.Answer(L"{4E96EEEA-F268-4E0C-A6C4-0AB9ED892746}", L"", 0x101);
    ASSERT_EQ(pPage->CanLoad(&canLoad), S_OK);
    EXPECT_TRUE(canLoad);
    pPage->Release();
    pUnknown = nullptr;
    EXPECT_EQ(pInit->CreateSetupPage(1, &pUnknown), S_FALSE);
}

TEST_F(KursWindowTest, OtherModulesAskTheRunningWindowForFillLevels) {
    IKursinstanz* pNone = nullptr;
    EXPECT_TRUE(FAILED(QueryCOMServer(KURSVIEW_PROGID, IID_IKursinstanz, reinterpret_cast<void**>(&pNone))))
        << "no course window, no answer";
    OpenView();
    CQvGUID guid;
    guid.SetGUID(CString(qv::FromUtf8(Text("SELECT guid FROM Kursinstanz WHERE lKursinstanzID = " + K(spring))).c_str()));
    Dlg()->GetFillLevel().Set(guid, 19, 20);
    IKursinstanz* pRuns = nullptr;
    ASSERT_EQ(QueryCOMServer(KURSVIEW_PROGID, IID_IKursinstanz, reinterpret_cast<void**>(&pRuns)), S_OK);
    long state = 0, count = 0, max = 0;
    EXPECT_EQ(pRuns->GetFillLevel(guid, &state, &count, &max), S_OK);
    EXPECT_EQ(state, eFillLevelWarning);
    EXPECT_EQ(count, 19);
    state = count = max = -7;
    CQvGUID other;
    other.SetGUID(L"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9");
    EXPECT_EQ(pRuns->GetFillLevel(other, &state, &count, &max), S_FALSE);
    EXPECT_EQ(state, -7) << "the outputs stay untouched";
    // The pages ask through their parent control.
    IKursinstanz* pFromParent = nullptr;
    INQParentControl* pParent = Dlg()->GetParentControl();
    ASSERT_EQ(pParent->QueryInterface(IID_IKursinstanz, reinterpret_cast<void**>(&pFromParent)), S_OK);
    EXPECT_EQ(pFromParent->GetFillLevel(guid, &state, &count, &max), S_OK);
    pFromParent->Release();
    pParent->Release();
    pRuns->Release();
    CloseView();
    EXPECT_TRUE(FAILED(QueryCOMServer(KURSVIEW_PROGID, IID_IKursinstanz, reinterpret_cast<void**>(&pNone))));
}

TEST_F(KursWindowTest, TheWindowsPopupsShowTheirHelpByButtonAndByF1) {
    std::vector<std::wstring> topics;
    qv::SetHelpHandler([&](const CString& topic) {
        topics.push_back(topic.GetString());
        return true;
    });
    OpenView();
    const struct {
        UINT dialog;
        int helpButton;
        const wchar_t* topic;
        std::function<void()> open;
    } popups[] = {
        {IDD_KURSPRECONDITION, IDC_PRECONDITION_HELP, L"HELP_KURS_PRECONDITION",
         [&] { Click(Field(IDC_KURSDATEN_PRECONDITION)); }},
        {IDD_KURSBELEGUNG, IDC_BELEGUNG_HELP, L"HELP_KURS_BELEGUNG", [&] { Action(ID_KURS_BELEGUNG); }},
        {IDD_SEARCHPOPUP, IDC_SEARCH_HELP, L"HELP_GENERAL_SEARCH", [&] { Click(Item(IDC_KURSDLG_SELECT)); }},
        {IDD_CREATEEINSATZ, IDC_HELPBUTTON, L"HELP_KURS_CREATEEINSATZ",
         [&] {
             CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"ActMandantID", static_cast<DWORD>(mandant));
             Action(ID_KURS_CREATEEINSATZ);
         }},
    };
    for (const auto& popup : popups) {
        SCOPED_TRACE(popup.dialog);
        topics.clear();
        script.ExpectModal(popup.dialog, [&](qv::IModalDialog& modal) {
            const HWND dlg = dynamic_cast<CWnd&>(modal).GetSafeHwnd();
            ASSERT_NE(dynamic_cast<CNQPopupDialog*>(&modal), nullptr) << "a popup of the framework";
            Click(qv::ui::test::Item(dlg, popup.helpButton));
            PressKey(dlg, VK_F1);
            EXPECT_FALSE(modal.IsModalEnded()) << "help leaves the popup open";
            modal.EndModal(IDCANCEL);
        });
        popup.open();
        EXPECT_EQ(topics, (std::vector<std::wstring>{popup.topic, popup.topic}));
    }
    qv::SetHelpHandler(nullptr);
}

TEST_F(KursWindowTest, TheTabListIsReadAsItStandsAndTheRegistrationWritesItOnlyWhereNoneExists) {
    const wchar_t* key = L"Software\\Qovaro\\NQ2\\KursView\\TabWindows";
    const auto listed = [&] {
        std::vector<std::wstring> pages;
        for (int i = 0;; ++i) {
            CString name, progID;
            name.Format(L"WindowServer%d", i);
            if (!CQvRegistry::GetValue(key, name, progID) || progID.IsEmpty()) break;
            pages.push_back(progID.GetString());
        }
        return pages;
    };
    // The module's registration (by the fixture) wrote every page where there was no list.
    const std::vector<std::wstring> all = listed();
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(all[0], L"Qovaro.NQ2.Tab.Std.Kurs.Kursdaten");
    EXPECT_EQ(all[7], L"Qovaro.NQ2.Tab.Std.Kurs.CustField");

    // An administrator's list: the participants, then the course data; the empty value ends it.
    CQvRegistry::SetValue(key, L"WindowServer0", L"Qovaro.NQ2.Tab.Std.Kurs.Teilnehmer");
    CQvRegistry::SetValue(key, L"WindowServer1", L"Qovaro.NQ2.Tab.Std.Kurs.Kursdaten");
    CQvRegistry::SetValue(key, L"WindowServer2", L"");
    OpenView();
    CloseView();
    ASSERT_EQ(qvtest::RegisterModule(QV_KURS_MODULE), S_OK);  // an update of the module
    EXPECT_EQ(listed(), (std::vector<std::wstring>{L"Qovaro.NQ2.Tab.Std.Kurs.Teilnehmer",
                                                   L"Qovaro.NQ2.Tab.Std.Kurs.Kursdaten"}));
    CString after;
    EXPECT_TRUE(CQvRegistry::GetValue(key, L"WindowServer3", after));
    EXPECT_EQ(after, L"Qovaro.NQ2.Tab.Std.Kurs.Gruppen") << "values after the end stay as they were";
}

// The help server: records the topics it is asked to show.
class FakeHelpServer : public qvtest::StackObject<IQvHelpServer, IID_IQvHelpServer> {
public:
    HRESULT ShowHelp(BSTR topic) override {
        topics.push_back(qvtest::Str(topic));
        return S_OK;
    }
    HRESULT GetHelpFile(BSTR, BSTR* file) override { return *file = SysAllocString(L""), S_FALSE; }
    HRESULT GetRecordedHelp(long, BSTR* file) override { return *file = SysAllocString(L""), S_FALSE; }
    HRESULT GetHelpText(BSTR key, BSTR, BSTR* text) override {
        *text = SysAllocString((L"Hilfe zu " + qvtest::Str(key)).c_str());
        return S_OK;
    }
    std::vector<std::wstring> topics;
};

TEST_F(KursWindowTest, TheReportButtonRunsTheProfilesReportsForTheCourseAndRunShown) {
    // The report server the frame runs, on the suite's database, with the course module's profile.
    CString connection;
    CQvRegistry::GetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DBConnection", connection);
    if (connection.IsEmpty()) connection = CString((L"sqlite:" + qv::FromUtf8(env->SuiteDatabase())).c_str());
    CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.QvPool", L"DBConnection", connection);
    const std::filesystem::path folder = env->dir.file("berichte");
    CQvRegistry::SetValue(L"Software\\Qovaro\\QvReportServer", L"ReportFolder", CString(qv::FromUtf8(folder.string()).c_str()));
    CQvRegistry::SetValue(L"Software\\Qovaro\\QvReportServer", L"OpenReports", 0L);  // no viewer: exported
    ASSERT_EQ(qvtest::RegisterModule(QV_REPORTSERVER_MODULE), S_OK);
    ASSERT_EQ(host->StartServer(QV_REPORTSERVER_PROGID), S_OK);
    FakeHelpServer help;
    qvtest::ScopedRunningServer helpServer(QV_HELPSERVER_PROGID, &help);
    Sql("INSERT INTO QvReportServerProfile (lQvReportServerProfileID, guid, strName) VALUES "
        "(1, '9226ADE4-9631-4108-A7D0-EC5FB3DE9D36', 'Ausbildung')");
    Sql("INSERT INTO QvReportServerReport (lQvReportServerReportID, guid, lQvReportServerProfileID, strReport, "
        "strLabel, strHelpID, strLanguage) VALUES "
        "(1, 'A1000000-0000-0000-0000-000000000001', 1, 'Kurs_Teilnehmerliste', 'Teilnehmerliste', 'KURS_TN', 'DE'), "
        "(2, 'A1000000-0000-0000-0000-000000000002', 1, 'Kurs_Praesenzliste', 'Präsenzliste', 'KURS_PRAES', 'DE'), "
        "(3, 'A1000000-0000-0000-0000-000000000003', 1, 'Kurs_Jahr', 'Jahresübersicht', '', 'DE')");
    // The user runs the participant list, sees the attendance list and not the year's overview.
    security.Answer(L"{9226ADE4-9631-4108-A7D0-EC5FB3DE9D36}", L"", 0x3);
    security.Answer(L"{A1000000-0000-0000-0000-000000000001}", L"", 0x3);
    security.Answer(L"{A1000000-0000-0000-0000-000000000002}", L"", 0x1);

    OpenView();
    Choose(L"GK", L"Frühling");
    const HWND button = Item(1024);
    ASSERT_EQ(dynamic_cast<CQvReportButton*>(CWnd::FromHandlePermanent(button)), &Dlg()->GetReportButton());
    ASSERT_TRUE(Visible(button));
    // Opens the button's menu with a click on its arrow (or its face), goes down to the participant
    // list with the keys and clicks it, the key held down from before the click until the command is done.
    std::vector<std::wstring> offered;
    const auto run = [&](UINT held, const std::string& screen = "", bool face = false) {
        const Qt::KeyboardModifiers modifiers =
            held == VK_SHIFT ? Qt::ShiftModifier : held == VK_CONTROL ? Qt::ControlModifier : Qt::NoModifier;
        WhenOpened([&](QWidget* open) {
            auto* menu = qobject_cast<QMenu*>(open);
            ASSERT_NE(menu, nullptr);
            offered.clear();
            for (QAction* a : menu->actions()) offered.push_back(a->text().toStdWString() + (a->isEnabled() ? L"" : L" (grau)"));
            for (int i = 0; i < 4 && !(menu->activeAction() && menu->activeAction()->text() == "Teilnehmerliste"); ++i)
                PressKey(nullptr, VK_DOWN);
            if (!screen.empty()) {
                const std::filesystem::path dir(QV_SCREENS_DIR);
                EXPECT_TRUE(SaveScreenPng(Dlg()->GetSafeHwnd(), (dir / (screen + (kOnPg ? "_pg" : "") + ".png")).string()));
            }
            if (held) HoldKey(held, true);
            EXPECT_TRUE(ClickMenuItem(L"Teilnehmerliste", modifiers));
        });
        CRect rc;
        ::GetClientRect(button, &rc);
        EXPECT_TRUE(ClickAt(button, face ? rc.right / 3 : rc.right - 4, rc.bottom / 2));
        if (held) HoldKey(held, false);
    };
    const auto files = [&] {
        std::vector<std::string> texts;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
            std::ifstream in(e.path());
            texts.push_back(std::string(std::istreambuf_iterator<char>(in), {}));
        }
        return texts;
    };

    // No program opens the report here: it is made once, and the user is told where its file is.
    script.ExpectMessageBox(IDOK, L"Teilnehmerliste");
    run(0, "kursdlg_reports");
    EXPECT_EQ(offered, (std::vector<std::wstring>{L"Präsenzliste (grau)", L"Teilnehmerliste"}));
    const auto reports = files();
    ASSERT_EQ(reports.size(), 1u) << "the report ran into its file, once";
    const auto told = script.Log().Records(qv::InteractionKind::MessageBox);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].text.find(qv::FromUtf8(folder.string()) + L"/Kurs_Teilnehmerliste_"), std::wstring::npos)
        << qv::ToUtf8(told[0].text);
    EXPECT_NE(reports[0].find("<td>lKursID</td><td>" + K(gk) + "</td>"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("<td>lKursinstanzID</td><td>" + K(spring) + "</td>"), std::string::npos) << reports[0];

    // Shift: the report's rights; Ctrl: its help; neither runs it.
    run(VK_SHIFT);
    ASSERT_EQ(security.rightDialogs.size(), 1u);
    EXPECT_EQ(CQvGUID(security.rightDialogs[0].first), CQvGUID(L"A1000000-0000-0000-0000-000000000001"));
    EXPECT_EQ(security.rightDialogs[0].second, 0);
    run(VK_CONTROL);
    EXPECT_EQ(help.topics, (std::vector<std::wstring>{L"KURS_TN"}));
    EXPECT_EQ(files().size(), 1u);

    // A click on the button's face opens the same menu; the message where the report lies, as the
    // user sees it over the course window.
    qv::IInteraction* scripted = qv::SetInteraction(&qv::ui::QtInteraction());
    std::wstring message;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        poll.stop();
        message = box->text().toStdWString();
        const std::filesystem::path dir(QV_SCREENS_DIR);
        EXPECT_TRUE(SaveScreenPng(Dlg()->GetSafeHwnd(),
                                  (dir / (kOnPg ? "kursdlg_report_saved_pg.png" : "kursdlg_report_saved.png")).string()));
        PressKey(nullptr, VK_RETURN);
    });
    poll.start(20);
    run(0, "", true);
    poll.stop();
    qv::SetInteraction(scripted);
    EXPECT_EQ(files().size(), 2u) << "run from the face";
    EXPECT_NE(message.find(L"Kurs_Teilnehmerliste_"), std::wstring::npos) << qv::ToUtf8(message);
    // With Shift, a click on the face opens the profile's rights dialog.
    HoldKey(VK_SHIFT, true);
    CRect rc;
    ::GetClientRect(button, &rc);
    EXPECT_TRUE(ClickAt(button, rc.right / 3, rc.bottom / 2, Qt::ShiftModifier));
    HoldKey(VK_SHIFT, false);
    ASSERT_EQ(security.rightDialogs.size(), 2u);
    EXPECT_EQ(CQvGUID(security.rightDialogs[1].first), CQvGUID(L"9226ADE4-9631-4108-A7D0-EC5FB3DE9D36"));
    EXPECT_EQ(security.rightDialogs[1].second, 1);
}

TEST_F(KursWindowTest, AUserWithoutTheModulesRightSeesTheCoursesDenyPage) {
    security.Answer(L"{5F03AD81-548C-4F27-8FDA-45FC8E49B17C}", L"", 0);
    OpenView();
    CWnd* deny = pane.GetDlgItem(QVF_DENYWINDOW_ID);
    ASSERT_NE(deny, nullptr);
    EXPECT_EQ(qv::ui::test::Text(deny->GetSafeHwnd()), L"Ausbildung: Zugriff nicht erlaubt!");
    EXPECT_FALSE(Visible(Dlg()->GetSafeHwnd()));
    // The module's picture 126 in its middle: the red of its sign.
    QImage picture;
    ASSERT_TRUE(qv::ui::FindBitmap(IDB_KURSDLG_NOACCESS, picture));
    CRect rc;
    deny->GetClientRect(&rc);
    const QPoint sign(45, 38);
    EXPECT_EQ(PixelAt(deny->GetSafeHwnd(), (rc.Width() - picture.width()) / 2 + sign.x(),
                      (rc.Height() - picture.height()) / 2 + sign.y()),
              RGB(picture.pixelColor(sign).red(), picture.pixelColor(sign).green(), picture.pixelColor(sign).blue()));
    Screen(deny->GetSafeHwnd(), "kursdlg_deny");
}

TEST_F(KursWindowTest, TheActionMenuShowsTheLogOfTheCourseAndOfItsRun) {
    const auto log = [&](long id, const std::string& table, const std::string& text) {
        Sql("INSERT INTO UserLog (lUserLogID, strText, strModul, guidRecord) SELECT " + K(id) + ", '" + text +
            "', 'Ausbildung', guid FROM " + table + " WHERE l" + table + "ID = " + K(table == "Kurs" ? gk : id));
    };
    log(spring, "Kursinstanz", "Frühling verschoben");
    log(autumn, "Kursinstanz", "Herbst verschoben");
    log(1, "Kurs", "Kurs umbenannt");
    OpenView();
    Choose(L"GK", L"Herbst");
    // Each log in its window (the user-log server's 30200: a count, the entries, a close button).
    std::vector<std::pair<std::wstring, std::wstring>> shown;
    const auto read = [&](const std::string& screen) {
        script.ExpectModal(30200, [&, screen](qv::IModalDialog& modal) {
            const HWND dlg = dynamic_cast<CDialog&>(modal).GetSafeHwnd();
            shown.emplace_back(qv::ui::test::Text(dlg), qv::ui::test::Text(::GetDlgItem(dlg, 1001)));
            if (!screen.empty()) {
                const std::filesystem::path dir(QV_SCREENS_DIR);
                EXPECT_TRUE(SavePng(dlg, (dir / (screen + (kOnPg ? "_pg.png" : ".png"))).string()));
            }
            EXPECT_TRUE(Click(::GetDlgItem(dlg, IDOK)));
        });
    };
    read("");
    Action(ID_KURS_USERLOG);
    read("kursdlg_userlog");
    Action(ID_KURSINSTANZ_USERLOG);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u);
    EXPECT_EQ(shown[0].first, L"GK, GK Kurs");
    EXPECT_NE(shown[0].second.find(L"Kurs umbenannt"), std::wstring::npos) << shown[0].second;
    EXPECT_EQ(shown[0].second.find(L"verschoben"), std::wstring::npos) << shown[0].second;
    EXPECT_NE(shown[1].first.find(L"Herbst"), std::wstring::npos) << shown[1].first;
    EXPECT_NE(shown[1].second.find(L"Herbst verschoben"), std::wstring::npos) << shown[1].second;
    EXPECT_EQ(shown[1].second.find(L"Frühling"), std::wstring::npos) << shown[1].second;
    EXPECT_EQ(shown[1].second.find(L"umbenannt"), std::wstring::npos) << shown[1].second;

    // A course without a run has no run's log.
    Choose(L"AK", L"");
    EXPECT_TRUE(Dlg()->IsCommandEnabled(ID_KURS_USERLOG));
    EXPECT_FALSE(Dlg()->IsCommandEnabled(ID_KURSINSTANZ_USERLOG));
}

}  // namespace
}  // namespace kurstest
