// The activity transfer through its real dialog over a database from the suite schema, with the
// logic server's pay values and the document server running: a run becomes an activity with its
// pay rows, absences and groups in one transaction; a transfer that fails half-way leaves nothing
// and the next press writes once; a second transfer only adds what is new and removes who left.
#include <atomic>
#include <mutex>

#include "createeinsatzdlg.h"
#include "docmngmtint.h"
#include "kursresource.h"
#include "kurswin_window.h"
#include "nqlogicint.h"
#include "qvasynceventsink.h"
#include "qvregvalue.h"
#include "serverhost.h"

namespace kurstest {
namespace {

const GUID kEinsatzCreated = qv::MakeGuid("91419670-8D8C-11D5-8A6F-005004506918");
const GUID kEinsatzChanged = qv::MakeGuid("F2E99873-45C9-11D3-A882-0060087BF908");

// Hears the activity events the transfer fires, as "created:ID" or "changed:ID".
struct EinsatzListener {
    void OnCreated(COleVariant value) { Heard("created", value); }
    void OnChanged(COleVariant value) { Heard("changed", value); }
    void Heard(const char* what, const VARIANT& v) {
        std::lock_guard<std::mutex> lock(mutex);
        heard += std::string(what) + ":" + std::to_string(v.vt == VT_I4 ? v.lVal : 0) + " ";
        ++count;
    }
    DECLARE_QVEVENT_MAP()
    std::mutex mutex;
    std::string heard;
    std::atomic<int> count{0};
    CQvAsyncEventSink sink;
};

BEGIN_QVEVENT_MAP(EinsatzListener)
    ON_QVEVENT(kEinsatzCreated, OnCreated)
    ON_QVEVENT(kEinsatzChanged, OnChanged)
END_QVEVENT_MAP()

using namespace qv::ui::test;

class CreateEinsatzTest : public KursWindow {
protected:
    void SetUp() override {
        KursWindow::SetUp();
        qv::nq::SetEnterpriseEdition(true);
        ASSERT_EQ(qvtest::RegisterModule(QV_LOGIC_MODULE), S_OK);
        ASSERT_EQ(qv::servers::StartRunningServer(NQ_LOGICSERVER_PROGID), S_OK);
        ASSERT_EQ(qvtest::RegisterModule(QV_DOCMNGMT_MODULE), S_OK);
        ASSERT_EQ(qv::servers::StartRunningServer(QVDOCMNGMT_PROGID), S_OK);
        security.Answer(L"{06220C84-9D20-4B4A-B3EC-9A246EA8A663}", L"", 0x101);
        CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\KursView", L"JumpToEinsatz", 0L);
        Sql("INSERT INTO Einsatzart (lEinsatzartID, strBezeichnung, fVisible, lEinsatzart) VALUES (1, 'Übung', 1, 0), "
            "(2, 'Brand', 1, 1), (3, 'Kurs', 1, 4)");
        Sql("INSERT INTO Soldansatz (lSoldansatzID, strBezeichnung, lEinheit, curAnsatz) VALUES (10, 'Tagessold', 4, "
            "100), (11, 'Stundensold', 1, 20)");
        Sql("INSERT INTO Absenzgrund (lAbsenzgrundID, strBezeichnung) VALUES (1, 'Krank')");
        Sql("INSERT INTO Funktion (lFunktionID, strBezeichnung) VALUES (1, 'Klassenlehrer')");
        Sql("INSERT INTO Kursleitung (lKursleitungID, lFunktionID) VALUES (5, 1)");
        kurs = AddKurs(3, "GK");
        run = AddRun(kurs, "2031-09-01", "Herbst", 10);
        Sql("UPDATE Kursinstanz SET dblDauer = 2, strOrt = 'Andelfingen', strAdresse = 'Zeughaus' WHERE lKursinstanzID = " +
            K(run));
        Sql("INSERT INTO Kursinstanzdate (lKursinstanzID, dtStart, dtEnde) VALUES (" + K(run) +
            ", '2031-09-01 08:00:00', '2031-09-02 17:00:00')");
        Sql("INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, strBezeichnung) VALUES (70, " + K(run) +
            ", 'Gruppe A')");
        anna = Reg("Amsler", 1, true, 70);
        beat = Reg("Brunner", 0, true);
        carla = Reg("Caflisch", 2, true);
        Sql("UPDATE PersonKurs SET lAbsenzgrundID = 1, fEntschuldigt = 1, strBemerkung = 'Grippe' WHERE lPersonID = " +
            K(carla));
        lea = Reg("Leiter", 1, false, -1, 5);
        // More is deducted from Anna than she earns: she is paid nothing.
        Sql("INSERT INTO SoldAbzug (lPersonID, dtVon, dtBis, curAbzug) VALUES (" + K(anna) +
            ", '2031-01-01 00:00:00', '2031-12-31 00:00:00', 250)");
    }
    void TearDown() override {
        KursWindow::TearDown();
        qv::servers::StopRunningServer(QVDOCMNGMT_PROGID);
        qv::servers::StopRunningServer(NQ_LOGICSERVER_PROGID);
        qv::nq::SetEnterpriseEdition(std::nullopt);
    }
    long Reg(const std::string& name, long status, bool teilnehmer, long gruppe = -1, long leitung = -1) {
        const long p = AddPerson(name);
        const long id = AddReg(p, kurs, run, status, "2031-05-01");
        Sql("UPDATE PersonKurs SET fTeilnehmer = " + K(teilnehmer) + ", lKursinstanzGruppeID = " + K(gruppe) +
            ", lKursleitungID = " + K(leitung) + " WHERE lPersonKursID = " + K(id));
        return p;
    }
    void Run(const std::function<void(CCreateEinsatzDlg&)>& body) {
        script.ExpectModal(IDD_CREATEEINSATZ, [&](qv::IModalDialog& modal) {
            body(dynamic_cast<CCreateEinsatzDlg&>(modal));
            if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        });
        CCreateEinsatzDlg dlg(mandant, kurs, run);
        dlg.DoModal();
    }
    // Chooses the day rate for the participants and the leadership.
    static void ChooseRates(CCreateEinsatzDlg& dlg) {
        const auto rates = ComboItems(dlg.m_cbSoldansatz.GetSafeHwnd());
        for (int i = 0; i < int(rates.size()); ++i)
            if (rates[std::size_t(i)] == L"Tagessold") SelectComboItem(dlg.m_cbSoldansatz.GetSafeHwnd(), i);
        for (int i = 0; i < dlg.m_grid.GetVisibleItemCount(); ++i) dlg.m_grid.QvGetGridItem(i)->SetColumnChoice(1, 10);
    }
    std::string Pay() {
        std::string out;
        const long long n = Int("SELECT count(*) FROM PersonEinsatz");
        for (long long i = 0; i < n; ++i)
            out += Text("SELECT lPersonID || ':' || lSoldansatzID || ':' || printf('%.2f', curSold) || ':' || "
                        "lEinsatzGruppeID FROM PersonEinsatz ORDER BY lPersonID, lSoldansatzID LIMIT 1 OFFSET " +
                        std::to_string(i)) +
                   " ";
        return out;
    }
    long long Logs(const std::string& text) { return Int("SELECT count(*) FROM UserLog WHERE strText = '" + text + "'"); }

    long kurs = 0, run = 0, anna = 0, beat = 0, carla = 0, lea = 0;
};

TEST_F(CreateEinsatzTest, ARunBecomesAnActivityWithPayAbsencesAndGroupsInOneTransaction) {
    long emil = 0, fritz = 0;
    // As shipped the box is ticked, but no view of activities is registered: nothing to open.
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\KursView", L"JumpToEinsatz", 1L);
    Run([&](CCreateEinsatzDlg& dlg) {
        HWND wnd = dlg.GetSafeHwnd();
        EXPECT_FALSE(dlg.IsDlgButtonChecked(IDC_CREATEEINSATZ_JUMP));
        EXPECT_FALSE(Enabled(qv::ui::test::Item(wnd, IDC_CREATEEINSATZ_JUMP)));
        EXPECT_EQ(ComboItems(dlg.m_cbEinsatzart.GetSafeHwnd()), (std::vector<std::wstring>{L"Kurs", L"Übung"}));
        EXPECT_EQ(qv::ui::test::Text(qv::ui::test::Item(wnd, IDC_CREATEEINSATZ_EREIGNIS)), L"Herbst (01.09.2031)");
        EXPECT_EQ(qv::ui::test::Text(qv::ui::test::Item(wnd, IDC_CREATEEINSATZ_DAUER)), L"2.00 Tg") << "the run's days";
        EXPECT_EQ(dlg.arrTeilnehmer.size(), 2u);
        const std::wstring named = qv::ui::test::Text(qv::ui::test::Item(wnd, IDC_CREATEEINSATZ_TEILNEHMER));
        EXPECT_TRUE(named.find(L"Amsler") != named.npos && named.find(L"Brunner") != named.npos) << "the participants named";
        EXPECT_EQ(dlg.arrAbwesend, std::vector<long>{carla});
        ASSERT_EQ(dlg.m_grid.GetVisibleItemCount(), 1);
        EXPECT_EQ(Cell(dlg.m_grid.GetSafeHwnd(), 0, 0), L"Klassenlehrer");
        EXPECT_FALSE(Enabled(qv::ui::test::Item(wnd, IDC_CREATEEINSATZ_DELETEPERSON))) << "nothing to remove from yet";
        EXPECT_TRUE(Enabled(dlg.m_cbEinsatzart.GetSafeHwnd()));
        EXPECT_TRUE(dlg.m_grid.SetCellValue(0, 2, L"2")) << "the leadership's pay is open to who may pay";
        ChooseRates(dlg);
        // A group left out leaves its pay alone: the participants' rate, the leadership's grid.
        for (int id : {IDC_CREATEEINSATZ_USETEILNEHMER, IDC_CREATEEINSATZ_USEINSTRUKTOR}) ASSERT_TRUE(Click(wnd, id));
        EXPECT_FALSE(Enabled(dlg.m_cbSoldansatz.GetSafeHwnd()));
        EXPECT_FALSE(Enabled(dlg.m_grid.GetSafeHwnd()));
        EXPECT_FALSE(Enabled(qv::ui::test::Item(wnd, IDC_CREATEEINSATZ_TEILNEHMER)));
        for (int id : {IDC_CREATEEINSATZ_USETEILNEHMER, IDC_CREATEEINSATZ_USEINSTRUKTOR}) ASSERT_TRUE(Click(wnd, id));
        EXPECT_TRUE(Enabled(dlg.m_cbSoldansatz.GetSafeHwnd()));
        EXPECT_TRUE(Enabled(dlg.m_grid.GetSafeHwnd()));
        Screen(wnd, "createeinsatzdlg");
        // A larger dialog gives the room to the names and the grid; the buttons keep their size
        // and their margin, the names theirs inside the frame.
        const auto rect = [&](int id) { return Widget(qv::ui::test::Item(wnd, id))->geometry(); };
        const QSize create = rect(IDC_CREATEEINSATZ_CREATE).size(), cancel = rect(IDCANCEL).size(),
                    besucht = rect(IDC_CREATEEINSATZ_BESUCHT).size();
        CRect before, after;
        dlg.GetClientRect(&before);
        ASSERT_TRUE(ResizeWindow(wnd, before.Width() + 200, before.Height() + 100));
        dlg.GetClientRect(&after);
        ASSERT_GT(after.Width(), before.Width());
        EXPECT_EQ(rect(IDC_CREATEEINSATZ_CREATE).size(), create);
        EXPECT_EQ(rect(IDCANCEL).size(), cancel);
        EXPECT_EQ(rect(IDC_CREATEEINSATZ_BESUCHT).size(), besucht);
        EXPECT_EQ(after.Width() - rect(IDCANCEL).x() - rect(IDCANCEL).width(), 5);
        const QRect group = rect(IDC_CREATEEINSATZ_GROUP_TN), names = rect(IDC_CREATEEINSATZ_TEILNEHMER);
        EXPECT_EQ(group.x() + group.width() - names.x() - names.width(), 10);
        EXPECT_EQ(after.Width() - group.x() - group.width(), 5);
        // The check boxes stand on each other above the buttons.
        EXPECT_EQ(rect(IDC_CREATEEINSATZ_JUMP).y() + rect(IDC_CREATEEINSATZ_JUMP).height() + 10,
                  rect(IDC_CREATEEINSATZ_CREATE).y());
        EXPECT_EQ(rect(IDC_CREATEEINSATZ_BESUCHT).y() + rect(IDC_CREATEEINSATZ_BESUCHT).height(),
                  rect(IDC_CREATEEINSATZ_JUMP).y());
        EXPECT_EQ(rect(IDC_CREATEEINSATZ_DELETEPERSON).y() + rect(IDC_CREATEEINSATZ_DELETEPERSON).height(),
                  rect(IDC_CREATEEINSATZ_BESUCHT).y());
        // Booked after the dialog read the run: set to attended from provisional, not from the
        // waiting list.
        emil = Reg("Egli", 7, true);
        fritz = Reg("Fehr", 3, true);
        ASSERT_TRUE(Click(wnd, IDC_CREATEEINSATZ_CREATE));
        EXPECT_TRUE(dlg.IsModalEnded());
    });
    EXPECT_EQ(Text("SELECT lStatus FROM PersonKurs WHERE lPersonID = " + K(emil)), "1");
    EXPECT_EQ(Text("SELECT lStatus FROM PersonKurs WHERE lPersonID = " + K(fritz)), "3");
    ASSERT_EQ(Int("SELECT count(*) FROM KursinstanzEinsatz WHERE lKursinstanzID = " + K(run)), 1);
    const std::string einsatz = Text("SELECT lEinsatzID FROM KursinstanzEinsatz");
    EXPECT_EQ(Text("SELECT lMandantID || '|' || lEinsatzartID || '|' || strEreignis || '|' || dtEinsatz || '|' || "
                   "dtEinsatzBis || '|' || strEinsatzort || '|' || strAdresse FROM Einsatz"),
              K(mandant) + "|3|Herbst (01.09.2031)|2031-09-01 00:00:00|2031-09-02 17:00:00|Andelfingen|Zeughaus");
    const std::string gruppe = Text("SELECT lEinsatzGruppeID FROM KursinstanzGruppe WHERE lKursinstanzGruppeID = 70");
    EXPECT_EQ(Text("SELECT lEinsatzID || '|' || strBezeichnung FROM EinsatzGruppe WHERE lEinsatzGruppeID = " + gruppe),
              einsatz + "|Gruppe A");
    // Two days at 100 and the rate's supplement of 10; income 25 a day and a supplement of 5.
    EXPECT_EQ(Pay(), K(anna) + ":10:0.00:" + gruppe + " " + K(beat) + ":10:210.00:-1 " + K(lea) + ":10:210.00:-1 ");
    EXPECT_EQ(Text("SELECT printf('%.2f', curSoldansatz) || '|' || printf('%.2f', curZuschlag) || '|' || "
                   "printf('%.2f', curErtragansatz) || '|' || printf('%.2f', curErtragzuschlag) || '|' || "
                   "printf('%.2f', curErtrag) FROM PersonEinsatz WHERE lPersonID = " + K(lea)),
              "100.00|10.00|25.00|5.00|55.00");
    EXPECT_EQ(Text("SELECT lPersonID || '|' || lAbsenzgrundID || '|' || fEntschuldigt || '|' || strBemerkung FROM Absenz"),
              K(carla) + "|1|1|Grippe");
    EXPECT_EQ(Text("SELECT lPersonen || '|' || printf('%.2f', curSold) FROM EinsatzBudget WHERE lEinsatzID = " + einsatz),
              "3|420.00");
    EXPECT_EQ(Text("SELECT lStatus FROM PersonKurs WHERE lPersonID = " + K(beat)), "1") << "registered becomes attended";
    EXPECT_EQ(Logs("Person zu Aktivität-Sold hinzugefügt."), 3);
    EXPECT_EQ(Logs("Person zu Aktivität-Absenz hinzugefügt."), 1);
    EXPECT_EQ(Logs("Gruppe wurde neu erzeugt."), 1);
    EXPECT_EQ(Text("SELECT strDetail FROM UserLog WHERE strText = 'Aktivität wurde aktualisiert.'"),
              "Herbst (01.09.2031) | Datum:01.09.2031 00:00 | bis:02.09.2031 17:00 | Ort:Andelfingen | Adresse:Zeughaus");
    long remembered = 0, teilnehmer = -1, instruktor = -1;
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2\\KursView", L"LastSoldansatzI_5", remembered);
    EXPECT_EQ(remembered, 10);
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2\\KursView", L"UseTeilnehmer", teilnehmer);
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2\\KursView", L"UseInstruktor", instruktor);
    EXPECT_EQ(teilnehmer * 10 + instruktor, 11) << "both groups chosen, remembered";
    long jump = 0;
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2\\KursView", L"JumpToEinsatz", jump);
    EXPECT_EQ(jump, 1) << "the choice is kept for an installation with the view";
}

TEST_F(CreateEinsatzTest, ATransferFailingHalfWayLeavesNothingAndTheNextPressWritesOnce) {
    Sql("CREATE TRIGGER Absenz_Fails BEFORE INSERT ON Absenz BEGIN SELECT RAISE(ABORT, 'Absenz gesperrt'); END");
    // A second role of the leadership, paid at its own rate.
    Sql("INSERT INTO Soldansatz (lSoldansatzID, strBezeichnung, lEinheit, curAnsatz) VALUES (12, 'Halbtag', 4, 50)");
    Sql("INSERT INTO Funktion (lFunktionID, strBezeichnung) VALUES (2, 'Übungsleiter')");
    Sql("INSERT INTO Kursleitung (lKursleitungID, lFunktionID) VALUES (6, 2)");
    const long meister = Reg("Meister", 1, false, -1, 6);
    Run([&](CCreateEinsatzDlg& dlg) {
        HWND wnd = dlg.GetSafeHwnd();
        ChooseRates(dlg);
        ASSERT_EQ(dlg.m_grid.GetVisibleItemCount(), 2);
        dlg.m_grid.QvGetGridItem(1)->SetColumnChoice(1, 12);
        script.ExpectReport(L"Absenz gesperrt");
        ASSERT_TRUE(Click(wnd, IDC_CREATEEINSATZ_CREATE));
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u) << "one report, with its cause";
        EXPECT_FALSE(dlg.IsModalEnded());
        const auto waits = script.Log().Records(qv::InteractionKind::WaitUpdate);
        ASSERT_FALSE(waits.empty());
        EXPECT_EQ(waits.back().text, L"Die Aktivität konnte nicht erzeugt werden!");
        EXPECT_EQ(waits.back().answer, 1) << "the wait window ends with the failure";
        EXPECT_EQ(dlg.lEinsatzID, -1) << "no activity to write under";
        EXPECT_EQ(Int("SELECT count(*) FROM Einsatz"), 0);
        EXPECT_EQ(Int("SELECT count(*) FROM KursinstanzEinsatz"), 0);
        EXPECT_EQ(Int("SELECT count(*) FROM PersonEinsatz"), 0);
        EXPECT_EQ(Int("SELECT count(*) FROM EinsatzGruppe"), 0);
        EXPECT_EQ(Text("SELECT lEinsatzGruppeID FROM KursinstanzGruppe"), "-1");
        EXPECT_EQ(Text("SELECT lStatus FROM PersonKurs WHERE lPersonID = " + K(beat)), "0");
        EXPECT_EQ(dlg.m_grid.QvGetGridItem(0)->GetColumnChoice(1) * 100 + dlg.m_grid.QvGetGridItem(1)->GetColumnChoice(1), 1012)
            << "each role keeps its rate";
        Sql("DROP TRIGGER Absenz_Fails");
        ASSERT_TRUE(Click(wnd, IDC_CREATEEINSATZ_CREATE));
        EXPECT_TRUE(dlg.IsModalEnded());
        EXPECT_EQ(script.Log().Records(qv::InteractionKind::WaitUpdate).back().text,
                  L"Die Aktivität wurde erfolgreich erzeugt.");
    });
    EXPECT_EQ(Int("SELECT count(*) FROM Einsatz"), 1);
    EXPECT_EQ(Int("SELECT count(*) FROM KursinstanzEinsatz"), 1);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonEinsatz"), 4);
    EXPECT_EQ(Text("SELECT lSoldansatzID FROM PersonEinsatz WHERE lPersonID = " + K(meister)), "12");
    EXPECT_EQ(Int("SELECT count(*) FROM Absenz"), 1);
    EXPECT_EQ(Logs("Person zu Aktivität-Absenz hinzugefügt."), 1);
    EXPECT_EQ(Logs("Person zu Aktivität-Sold hinzugefügt."), 4) << "the failed press left no entries";
}

TEST_F(CreateEinsatzTest, AnAbsenceNoLongerDueIsNeitherWrittenNorLogged) {
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\KursView", L"LastEinsatzart", 1L);
    // The leader holds a second role of the run; both roles are paid at the same rate. A second
    // holder of the first role shares its row.
    Sql("INSERT INTO Funktion (lFunktionID, strBezeichnung) VALUES (2, 'Übungsleiter')");
    Sql("INSERT INTO Kursleitung (lKursleitungID, lFunktionID) VALUES (6, 2)");
    const long second = AddReg(lea, kurs, run, 1, "2031-05-01");
    Sql("UPDATE PersonKurs SET fTeilnehmer = 0, lKursleitungID = 6 WHERE lPersonKursID = " + K(second));
    Reg("Meister", 1, false, -1, 5);
    Run([&](CCreateEinsatzDlg& dlg) {
        ASSERT_EQ(dlg.m_grid.GetVisibleItemCount(), 2);
        EXPECT_EQ(dlg.lEinsatzartID, 1) << "the kind chosen last time";
        ASSERT_TRUE(SelectComboItem(dlg.m_cbEinsatzart.GetSafeHwnd(), 0));  // "Kurs"
        const std::wstring holders = Cell(dlg.m_grid.GetSafeHwnd(), 0, 3);
        EXPECT_NE(holders.find(L"Leiter"), std::wstring::npos) << W2U(holders);
        EXPECT_NE(holders.find(L"Meister"), std::wstring::npos) << W2U(holders);
        ChooseRates(dlg);
        Sql("UPDATE PersonKurs SET lStatus = 1 WHERE lPersonID = " + K(carla));
        ASSERT_TRUE(Click(dlg.GetSafeHwnd(), IDC_CREATEEINSATZ_CREATE));
    });
    EXPECT_EQ(Int("SELECT count(*) FROM Absenz"), 0);
    EXPECT_EQ(Logs("Person zu Aktivität-Absenz hinzugefügt."), 0);
    EXPECT_EQ(Int("SELECT count(*) FROM Einsatz"), 1);
    EXPECT_EQ(Text("SELECT lEinsatzartID FROM Einsatz"), "3") << "the kind chosen in the list";
    EXPECT_EQ(Int("SELECT count(*) FROM PersonEinsatz WHERE lPersonID = " + K(lea)), 1) << "one pay row per rate";
}

TEST_F(CreateEinsatzTest, AnAnnouncementThatFailsAfterTheCommitIsAWarningAndTheDialogCloses) {
    Run([&](CCreateEinsatzDlg& dlg) {
        HWND wnd = dlg.GetSafeHwnd();
        ChooseRates(dlg);
        ASSERT_TRUE(Click(wnd, IDC_CREATEEINSATZ_BESUCHT));
        qv::servers::StopRunningServer(QV_EVENTSERVER_PROGID);
        script.ExpectReport(L"andere Fenster konnten jedoch nicht benachrichtigt werden");
        ASSERT_TRUE(Click(wnd, IDC_CREATEEINSATZ_CREATE));
        EXPECT_TRUE(dlg.IsModalEnded()) << "a second press would pay everybody twice";
    });
    ASSERT_EQ(qv::servers::StartRunningServer(QV_EVENTSERVER_PROGID), S_OK);
    EXPECT_EQ(Int("SELECT count(*) FROM Einsatz"), 1);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonEinsatz"), 3);
    EXPECT_EQ(Text("SELECT lStatus FROM PersonKurs WHERE lPersonID = " + K(beat)), "0");
}

TEST_F(CreateEinsatzTest, ALocalInstallationPaysParticipantsOnlyAndLeavesOtherCoursesStatusAlone) {
    qv::nq::SetEnterpriseEdition(false);
    Sql("UPDATE Kurs SET lTyp = 1 WHERE lKursID = " + K(kurs));
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\KursView", L"UseInstruktor", 1L);
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\KursView", L"SetToBesuchtAtCreateEinsatz", 1L);
    // A remembered kind that no longer exists gives way to the first of the list, also when the
    // list offers one kind only.
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\KursView", L"LastEinsatzart", 99L);
    Sql("UPDATE Einsatzart SET fVisible = 0 WHERE lEinsatzartID = 1");
    Run([&](CCreateEinsatzDlg& dlg) {
        HWND wnd = dlg.GetSafeHwnd();
        EXPECT_FALSE(dlg.UseInstruktor);
        EXPECT_EQ(dlg.lEinsatzartID, 3);
        EXPECT_FALSE(Visible(dlg.m_grid.GetSafeHwnd()));
        EXPECT_FALSE(Visible(qv::ui::test::Item(wnd, IDC_CREATEEINSATZ_USETEILNEHMER)));
        // Without the leadership's frame the participants' names take the height the dialog gains.
        CRect before;
        dlg.GetClientRect(&before);
        ASSERT_TRUE(ResizeWindow(wnd, before.Width(), before.Height() + 100));
        const auto rect = [&](int id) { return Widget(qv::ui::test::Item(wnd, id))->geometry(); };
        EXPECT_EQ(rect(IDC_CREATEEINSATZ_GROUP_TN).bottom() - rect(IDC_CREATEEINSATZ_TEILNEHMER).bottom(), 5);
        EXPECT_FALSE(Enabled(qv::ui::test::Item(wnd, IDC_CREATEEINSATZ_BESUCHT)));
        EXPECT_FALSE(dlg.IsDlgButtonChecked(IDC_CREATEEINSATZ_BESUCHT));
        ChooseRates(dlg);
        ASSERT_TRUE(Click(wnd, IDC_CREATEEINSATZ_CREATE));
    });
    EXPECT_EQ(Int("SELECT count(*) FROM PersonEinsatz"), 2) << "the leadership is not paid";
    EXPECT_EQ(Text("SELECT lStatus FROM PersonKurs WHERE lPersonID = " + K(beat)), "0");
    long besucht = -1;
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2\\KursView", L"SetToBesuchtAtCreateEinsatz", besucht);
    EXPECT_EQ(besucht, 1) << "not written back for another course type";
    // The installation's own course, and in the central installation any course: its participants
    // may be set to attended, as remembered.
    for (const bool central : {false, true}) {
        qv::nq::SetEnterpriseEdition(central);
        Sql("UPDATE Kurs SET lTyp = " + K(central ? 2 : 3) + " WHERE lKursID = " + K(kurs));
        Run([&](CCreateEinsatzDlg& dlg) {
            EXPECT_TRUE(Enabled(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_CREATEEINSATZ_BESUCHT)));
            EXPECT_TRUE(dlg.IsDlgButtonChecked(IDC_CREATEEINSATZ_BESUCHT)) << central;
        });
    }
}

TEST_F(CreateEinsatzTest, ARateInHoursIsAskedAboutAndCancelWritesNothing) {
    // An installation with a view of activities offers to open the new one.
    ASSERT_EQ(RegSetValueW(HKEY_CLASSES_ROOT, L"Qovaro.NQ2.EinsatzerfassungView\\CLSID", REG_SZ,
                           L"{5A0F3C8E-1B2D-4C6F-9E7A-2B3C4D5E6F70}", 0), ERROR_SUCCESS);
    Run([&](CCreateEinsatzDlg& dlg) {
        HWND wnd = dlg.GetSafeHwnd();
        EXPECT_TRUE(Enabled(qv::ui::test::Item(wnd, IDC_CREATEEINSATZ_JUMP)));
        EXPECT_FALSE(dlg.IsDlgButtonChecked(IDC_CREATEEINSATZ_JUMP)) << "as the user left it";
        const auto rates = ComboItems(dlg.m_cbSoldansatz.GetSafeHwnd());
        for (int i = 0; i < int(rates.size()); ++i)
            if (rates[std::size_t(i)] == L"Stundensold") SelectComboItem(dlg.m_cbSoldansatz.GetSafeHwnd(), i);
        script.ExpectMessageBox(IDCANCEL, L"für Teilnehmer einen Soldansatz mit einer anderen Einheit");
        ASSERT_TRUE(Click(wnd, IDC_CREATEEINSATZ_CREATE));
        EXPECT_FALSE(dlg.IsModalEnded());
        // The leadership's rate in hours is asked about too, and cancelled there.
        dlg.m_grid.QvGetGridItem(0)->SetColumnChoice(1, 11);
        script.ExpectMessageBox(IDOK, L"für Teilnehmer").ExpectMessageBox(IDCANCEL, L"für die Kursleitung einen Soldansatz");
        ASSERT_TRUE(Click(wnd, IDC_CREATEEINSATZ_CREATE));
        EXPECT_FALSE(dlg.IsModalEnded());
        // Pay that cannot be written fails the transfer before the absences are written.
        Sql("CREATE TRIGGER Sold_Fails BEFORE INSERT ON PersonEinsatz BEGIN SELECT RAISE(ABORT, 'Sold gesperrt'); END");
        script.ExpectMessageBox(IDOK, L"für Teilnehmer").ExpectMessageBox(IDOK, L"Kursleitung").ExpectReport(L"Sold gesperrt");
        ASSERT_TRUE(Click(wnd, IDC_CREATEEINSATZ_CREATE));
        EXPECT_FALSE(dlg.IsModalEnded());
    });
    EXPECT_EQ(Int("SELECT count(*) FROM Einsatz"), 0);
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog"), 0);
    // Without the right to pay, the leadership's rates are shown, not changed.
    security.Answer(L"{06220C84-9D20-4B4A-B3EC-9A246EA8A663}", L"", 0x1);
    Run([&](CCreateEinsatzDlg& dlg) {
        ASSERT_EQ(dlg.m_grid.GetVisibleItemCount(), 1);
        EXPECT_FALSE(dlg.m_grid.SetCellValue(0, 2, L"3"));
    });
}

TEST_F(CreateEinsatzTest, ASecondTransferAddsWhoIsNewAndRemovesWhoLeftLoggingEveryRemovedRow) {
    EinsatzListener listener;
    ASSERT_EQ(listener.sink.Create(&listener, EinsatzListener::GetQvEventMap()), S_OK);
    const long emma = Reg("Egger", 2, true);
    const auto heard = [&](int n) {
        EXPECT_TRUE(WaitFor([&] { return listener.count.load() >= n; }));
        std::lock_guard<std::mutex> lock(listener.mutex);
        return listener.heard;
    };
    Run([&](CCreateEinsatzDlg& dlg) {
        ChooseRates(dlg);
        ASSERT_TRUE(Click(dlg.GetSafeHwnd(), IDC_CREATEEINSATZ_CREATE));
    });
    const std::string einsatz = Text("SELECT lEinsatzID FROM Einsatz");
    EXPECT_EQ(heard(1), "created:" + einsatz + " ");
    EXPECT_EQ(Int("SELECT count(*) FROM Absenz"), 2);
    Sql("UPDATE Einsatz SET dtEinsatz = '2031-08-01 08:30:00', dtEinsatzBis = '2031-08-01 16:30:00'");
    // Absent then, deregistered since: her absence goes.
    Sql("UPDATE PersonKurs SET lStatus = 5 WHERE lPersonID = " + K(emma));
    const long dora = Reg("Dubois", 0, true);
    Sql("UPDATE PersonKurs SET lStatus = 5 WHERE lPersonID = " + K(beat));
    // A rate deleted since: the removal is logged all the same.
    Sql("DELETE FROM Soldansatz WHERE lSoldansatzID = 10");
    Sql("INSERT INTO Soldansatz (lSoldansatzID, strBezeichnung, lEinheit, curAnsatz) VALUES (12, 'Neu', 4, 50)");
    Run([&](CCreateEinsatzDlg& dlg) {
        HWND wnd = dlg.GetSafeHwnd();
        EXPECT_EQ(qv::ui::test::Text(wnd), L"Aktivität aktualisieren");
        EXPECT_FALSE(Enabled(qv::ui::test::Item(wnd, IDC_CREATEEINSATZ_EREIGNIS)));
        EXPECT_FALSE(Enabled(dlg.m_cbEinsatzart.GetSafeHwnd()));
        EXPECT_EQ(dlg.arrTeilnehmer, std::vector<long>{dora}) << "only who is not in the activity yet";
        EXPECT_TRUE(dlg.arrAbwesend.empty());
        EXPECT_EQ(dlg.m_grid.GetVisibleItemCount(), 0);
        const auto rates = ComboItems(dlg.m_cbSoldansatz.GetSafeHwnd());
        for (int i = 0; i < int(rates.size()); ++i)
            if (rates[std::size_t(i)] == L"Neu") SelectComboItem(dlg.m_cbSoldansatz.GetSafeHwnd(), i);
        ASSERT_TRUE(Enabled(qv::ui::test::Item(wnd, IDC_CREATEEINSATZ_DELETEPERSON)));
        ASSERT_TRUE(Click(wnd, IDC_CREATEEINSATZ_DELETEPERSON));
        ASSERT_TRUE(Click(wnd, IDC_CREATEEINSATZ_CREATE));
        EXPECT_TRUE(dlg.IsModalEnded());
    });
    EXPECT_EQ(Text("SELECT dtEinsatz || '|' || dtEinsatzBis FROM Einsatz"), "2031-09-01 08:30:00|2031-09-02 16:30:00");
    EXPECT_EQ(Int("SELECT count(*) FROM PersonEinsatz WHERE lPersonID = " + K(beat)), 0);
    EXPECT_EQ(Text("SELECT lSoldansatzID || ':' || printf('%.2f', curSold) FROM PersonEinsatz WHERE lPersonID = " + K(dora)),
              "12:105.00");
    EXPECT_EQ(Int("SELECT count(*) FROM Einsatz"), 1);
    EXPECT_EQ(Int("SELECT count(*) FROM Absenz"), 1) << "the absent participant keeps her absence";
    EXPECT_EQ(Logs("Person von Aktivität-Sold entfernt."), 1);
    EXPECT_EQ(Logs("Person von Aktivität-Absenz entfernt."), 1);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonEinsatz"), 3);
    EXPECT_EQ(heard(2), "created:" + einsatz + " changed:" + einsatz + " ");
    listener.sink.Unadvise();
    Run([&](CCreateEinsatzDlg& dlg) { EXPECT_TRUE(dlg.IsDlgButtonChecked(IDC_CREATEEINSATZ_DELETEPERSON)) << "remembered"; });
}

}  // namespace
}  // namespace kurstest
