// The installation as the program leaves it: the demo database made at the first start, the
// suite's servers and the course module running on it, and nothing set by hand in the registry.
// What needs the installation's own Mandant works there: the settings page takes turns between two
// sessions, and a new activity asks for its Mandant.
#include "demodata.h"
#include "framehost.h"
#include "framesettingsdlg.h"
#include "framestartpage.h"
#include "framewindow.h"
#include "framestartup.h"
#include "kursresource.h"
#include "nqplanungcalls.h"
#include "qvcomserver.h"
#include "qvsecint.h"
#include "utf.h"
#include "qvregvalue.h"
#include "qvrunning.h"
#include "qvui.h"
#include "scripted.h"
#include "tempdir.h"
#include "uidriver.h"
#include "wnd.h"

#include <QLabel>
#include <QMenu>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace frametest {
namespace {

using namespace qv::ui::test;

// The course settings page's "Tage danach" and "Anmeldeschluss Tage" (kurssetupdlg.h, which
// brings the module's window classes with it).
constexpr int IDC_KURSSETUP_OPENDAYS = 1103;
constexpr int IDC_KURSSETUP_CLOSEDAYS = 1104;

class FrameInstallation : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(qv::ui::EnsureApplication());
        backend.OnFailure([](const std::string& message) { ADD_FAILURE() << message; });
    }
    // As the program starts: by default (./run) on the demo database made at the first start; the
    // servers and the module started.
    void Start(const QvFrameOptions& options = {}) {
        std::string message;
        bool created = false;
        ASSERT_TRUE(QvFramePrepareDatabase(options, &database, &message, nullptr, &created)) << message;
        EXPECT_EQ(created, options.create);
        ASSERT_TRUE(QvFrameCheckUser(options, database, &message)) << message;
        QvFrameConfigure(database, false);
        CQvRegistry::SetValue(L"Software\\Qovaro\\QvWebServer", L"Port", DWORD(0));
        ASSERT_TRUE(QvFrameRegisterLibraries(QvFrameServerLibraries()).empty());
        ASSERT_TRUE(QvFrameRegisterLibraries(QvFrameModuleLibraries()).empty());
        host = new CQvFrameHost;
        ASSERT_EQ(host->RegisterAsFrame(), S_OK);
        QvFrameStartServers(*host, QvFrameUser(options));
        if (created) {
            EXPECT_EQ(QvFrameAdministerNewDatabase(QvFrameUser(options)), S_OK);
        }
        master = QvFrameRecordMasterMandant();
        ASSERT_EQ(QvFrameOpenViews(*host), std::vector<CString>{CString(L"Qovaro.NQ2.KursView")});
    }
    void TearDown() override {
        if (pane.GetSafeHwnd()) pane.DestroyWindow();
        if (host) {
            host->CloseAll();
            host->InternalRelease();
            delete host;
        }
        qv::RevokeAllRunningServers();
        EXPECT_EQ(backend.Pending(), 0u) << "expected boxes or dialogs that never came";
    }
    std::string Value(const std::string& sql) {
        sqlite3* db = nullptr;
        std::string text;
        EXPECT_EQ(sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        if (st && sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
            text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
        sqlite3_close(db);
        return text;
    }
    std::string Stored(const std::string& name) {
        return Value("SELECT strValue FROM QvOption WHERE lArea = -1060 AND lQvSecUserID = 0 AND strName = '" + name + "'");
    }
    // The shown window below `root` that holds a shown control with the id, depth first.
    static HWND ShownWith(HWND root, int id) {
        for (HWND child = ::GetWindow(root, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            if (!::IsWindowVisible(child)) continue;
            const HWND item = Item(child, id);
            if (item && ::IsWindowVisible(item)) return child;
            if (const HWND deeper = ShownWith(child, id)) return deeper;
        }
        return nullptr;
    }
    // The window below `root` whose tabs are labelled so.
    static HWND TabsWith(HWND root, const std::wstring& label) {
        for (HWND child = ::GetWindow(root, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            const auto labels = TabLabels(child);
            if (std::find(labels.begin(), labels.end(), label) != labels.end()) return child;
            if (const HWND deeper = TabsWith(child, label)) return deeper;
        }
        return nullptr;
    }
    // The course window shown in a pane, as the frame shows it.
    HWND ShowCourseWindow() {
        EXPECT_TRUE(pane.CreateEx(0, AfxRegisterWndClass(0), L"Ausbildung", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1000,
                                  680, nullptr, nullptr));
        EXPECT_EQ(host->ActivateView(L"Qovaro.NQ2.KursView", pane.GetSafeHwnd(), RECT{0, 0, 1000, 680}), S_OK);
        Pump();
        CWnd* child = pane.GetWindow(GW_CHILD);
        return child ? child->GetSafeHwnd() : nullptr;
    }

    qvtest::TempDir dir;
    qvtest::ScopedEnv registry{"QV_REGISTRY", dir.file("registry.db")};
    qvtest::ScopedEnv data{"XDG_DATA_HOME", dir.file("data")};
    qv::ScriptedInteraction backend;
    qv::ScopedInteraction interaction{&backend};
    std::string database;
    CQvFrameHost* host = nullptr;
    CWnd pane;
    long master = 0;
};

TEST_F(FrameInstallation, TwoSessionsOnTheCourseSettingsTakeTurnsAndNoChangeIsLost) {
    Start();
    long recorded = 0;
    ASSERT_TRUE(CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2", L"MasterMandantID", recorded, HKEY_LOCAL_MACHINE));
    EXPECT_EQ(recorded, master);
    EXPECT_EQ(Value("SELECT strMandantName FROM Mandant WHERE lMandantID = " + std::to_string(master)),
              "Feuerwehr Lindenbühl-Seldorf")
        << "the demo's first brigade is the installation's own";

    // Anna changes the opening days and keeps the page open.
    CQvFrameSettingsDlg* first = nullptr;
    {
        qvtest::ScopedEnv user("USER", "anna");
        first = new CQvFrameSettingsDlg(host);
    }
    ASSERT_EQ(first->Pages().size(), 1u);
    first->show();
    const HWND pageA = first->Pages()[0].hWnd;
    ASSERT_NE(pageA, nullptr);
    EXPECT_EQ(qv::ui::test::Text(Item(pageA, IDC_KURSSETUP_OPENDAYS)), L"28");
    ASSERT_TRUE(Retype(Item(pageA, IDC_KURSSETUP_OPENDAYS), L"29"));
    EXPECT_NE(Value("SELECT strLock FROM Mandant WHERE lMandantID = " + std::to_string(master)).find("|anna"),
              std::string::npos);

    // Bruno, on the same settings meanwhile, is told who holds them and sees the stored value again.
    CQvFrameSettingsDlg* second = nullptr;
    {
        qvtest::ScopedEnv user("USER", "bruno");
        second = new CQvFrameSettingsDlg(host);
    }
    second->show();
    const HWND pageB = second->Pages()[0].hWnd;
    ASSERT_NE(pageB, nullptr);
    backend.ExpectReport(L"Die Daten sind gesperrt von '");
    ASSERT_TRUE(Retype(Item(pageB, IDC_KURSSETUP_CLOSEDAYS), L"7"));
    const auto reports = backend.Log().Records(qv::InteractionKind::Report);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].text.find(L"|anna'"), std::wstring::npos) << "the holder is named";
    EXPECT_EQ(qv::ui::test::Text(Item(pageB, IDC_KURSSETUP_CLOSEDAYS)), L"6");
    delete second;
    EXPECT_EQ(Stored("AutoCloseBeforInstanz"), "") << "nothing was written for Bruno";
    delete first;
    EXPECT_EQ(Stored("AutoOpenAfterPublish"), "29");
    EXPECT_EQ(Value("SELECT strLock FROM Mandant WHERE lMandantID = " + std::to_string(master)), "");

    // Once Anna is done Bruno makes his change, and hers stays.
    {
        qvtest::ScopedEnv user("USER", "bruno");
        second = new CQvFrameSettingsDlg(host);
    }
    second->show();
    EXPECT_EQ(qv::ui::test::Text(Item(second->Pages()[0].hWnd, IDC_KURSSETUP_OPENDAYS)), L"29");
    ASSERT_TRUE(Retype(Item(second->Pages()[0].hWnd, IDC_KURSSETUP_CLOSEDAYS), L"7"));
    delete second;
    EXPECT_EQ(Stored("AutoCloseBeforInstanz"), "7");
    EXPECT_EQ(Stored("AutoOpenAfterPublish"), "29");
    EXPECT_EQ(backend.Log().Records(qv::InteractionKind::Report).size(), 1u);
}

TEST_F(FrameInstallation, ANewActivityOrReservationAsksForItsMandantAmongThoseTheUserMayWriteTheInstallationsOwnChosen) {
    Start();
    const HWND course = ShowCourseWindow();
    ASSERT_NE(course, nullptr);
    // The run shown at the first start has no activity yet: its Mandant is asked for. Cancelled, nothing opens.
    backend.ExpectModal(IDD_NQ_MANDANT4NEW, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    AnswerNextPopupMenu(ID_KURS_CREATEEINSATZ);
    ASSERT_TRUE(Click(course, IDC_KURSDLG_ACTION));
    EXPECT_EQ(backend.Pending(), 0u);

    // Chosen, the activity dialog opens.
    backend.ExpectModal(IDD_NQ_MANDANT4NEW, [&](qv::IModalDialog& modal) {
        const HWND dlg = dynamic_cast<CDialog&>(modal).GetSafeHwnd();
        const HWND list = Item(dlg, IDC_NQ_MANDANT4NEW_LIST);
        // The administrator may write the activities of every brigade.
        ASSERT_EQ(Rows(list), 3);
        int chosen = -1;
        for (int row = 0; row < Rows(list); ++row)
            if (RowSelected(list, row)) chosen = row;
        ASSERT_GE(chosen, 0);
        EXPECT_EQ(Cell(list, chosen, 0), L"Feuerwehr Lindenbühl-Seldorf");
        std::filesystem::create_directories(QV_SCREENS_DIR);
        EXPECT_TRUE(SavePng(dlg, QV_SCREENS_DIR "/nq_mandant4new.png"));
        ASSERT_TRUE(Click(dlg, IDOK));
    });
    backend.ExpectModal(IDD_CREATEEINSATZ, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    AnswerNextPopupMenu(ID_KURS_CREATEEINSATZ);
    ASSERT_TRUE(Click(course, IDC_KURSDLG_ACTION));
    EXPECT_EQ(backend.Pending(), 0u);

    // A reservation added on the Planung page: its Mandant is asked for, then its editor opens.
    const HWND tabs = TabsWith(course, L"Planung");
    ASSERT_NE(tabs, nullptr);
    const auto labels = TabLabels(tabs);
    ASSERT_TRUE(ClickTab(tabs, int(std::find(labels.begin(), labels.end(), L"Planung") - labels.begin())));
    const HWND planung = ShownWith(course, IDC_PLANUNG_ADD);
    ASSERT_NE(planung, nullptr);
    backend.ExpectModal(IDD_NQ_MANDANT4NEW, [](qv::IModalDialog& modal) {
        const HWND dlg = dynamic_cast<CDialog&>(modal).GetSafeHwnd();
        const HWND list = Item(dlg, IDC_NQ_MANDANT4NEW_LIST);
        ASSERT_EQ(Rows(list), 3);
        EXPECT_TRUE(RowSelected(list, 0)) << "the installation's own, first by name";
        EXPECT_EQ(Cell(list, 0, 0), L"Feuerwehr Lindenbühl-Seldorf");
        ASSERT_TRUE(Click(dlg, IDOK));
    });
    backend.ExpectModal(157, [](qv::IModalDialog& modal) { modal.EndModal(IDCANCEL); });
    AnswerNextPopupMenu(ID_PLANUNG_ADD_RESERVATION);
    ASSERT_TRUE(Click(Item(planung, IDC_PLANUNG_ADD)));
    EXPECT_EQ(backend.Pending(), 0u);
}

// A database of one's own: the one who makes it signs in as its administrator, with every right of
// the course module, and the Mandant made with it is the installation's.
TEST_F(FrameInstallation, ANewDatabaseIsAdministeredByItsMakerAndHasTheInstallationsMandant) {
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"MasterMandantID", DWORD(7), HKEY_LOCAL_MACHINE);
    QvFrameOptions options;
    options.database = dir.file("eigene.sqlite");
    options.create = true;
    options.user = "Hans O'Neill";
    Start(options);
    EXPECT_EQ(master, 1) << "a Mandant another database had is not this one's";
    EXPECT_EQ(Value("SELECT strMandantName FROM Mandant"), kNewDatabaseMandant);
    EXPECT_EQ(Value("SELECT u.strName || '/' || r.fAdmin FROM QvSecUser u JOIN QvSecRole r ON r.lQvSecUserID = "
                    "u.lQvSecUserID"),
              "Hans O'Neill/1");
    // His rights on the Mandant's records are those of the demo's administrator on each brigade.
    const auto byTable = [](const std::string& user) {
        return "SELECT group_concat(lTableID || ':' || lRight) FROM (SELECT lTableID, lRight FROM SecMandant WHERE "
               "lMandantID = 1 AND lQvSecUserID = (SELECT lQvSecUserID FROM QvSecUser WHERE strName COLLATE BINARY = '" +
               user + "') ORDER BY lTableID)";
    };
    const std::string own = Value(byTable("Hans O''Neill"));
    qv::suite::DemoFileOptions demo;
    demo.path = dir.file("demo.sqlite");
    std::string error;
    ASSERT_EQ(qv::suite::MakeDemoDatabase(demo, nullptr, &error), qv::suite::DemoFileResult::Built) << error;
    std::swap(database, demo.path);
    EXPECT_EQ(own, Value(byTable("Administrator")));
    std::swap(database, demo.path);
    EXPECT_EQ(Value("SELECT strValue FROM QvOption WHERE lArea = -4000 AND strName = 'KursTyp' AND lQvSecUserID = 0"),
              "0 1 1 1")
        << "the course search offers his local courses";
    // The settings the demo starts with: his course archive takes registrations as the demo's does,
    // and the start page misses nothing.
    const std::string archiveAge =
        "SELECT strValue FROM CustFieldValue WHERE guid = 'd4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d' AND lCFTypeID = -1 AND lID = -1";
    const std::string ownAge = Value(archiveAge);
    std::swap(database, demo.path);
    EXPECT_EQ(ownAge, Value(archiveAge));
    std::swap(database, demo.path);
    EXPECT_EQ(ownAge, "12");
    // The course module's reports as the demo has them, each under a GUID of its own.
    const std::string courseReports =
        "SELECT p.strName || ':' || group_concat(r.lQvReportServerReportID || '/' || r.strReport || '/' || r.strLabel || "
        "'/' || r.strHelpID || '/' || r.strLanguage, ',') || ':' || count(DISTINCT r.guid COLLATE BINARY) FROM "
        "QvReportServerProfile p JOIN QvReportServerReport r ON "
        "r.lQvReportServerProfileID = p.lQvReportServerProfileID WHERE p.guid COLLATE BINARY = "
        "'9226ADE4-9631-4108-A7D0-EC5FB3DE9D36'";
    const std::string ownReports = Value(courseReports);
    std::swap(database, demo.path);
    EXPECT_EQ(ownReports, Value(courseReports));
    std::swap(database, demo.path);
    EXPECT_NE(ownReports.find("Ausbildung:1/Kurs_Teilnehmerliste/"), std::string::npos) << ownReports;
    EXPECT_TRUE(ownReports.ends_with(":3")) << ownReports;
    {
        CQvFrameStartPage start(host, QvFrameSettings{QString::fromStdString(database), QString::fromUtf8("Hans O'Neill")});
        QString text;
        for (QLabel* label : start.findChildren<QLabel*>()) text += label->text();
        EXPECT_TRUE(text.contains(QString::fromUtf8("1 Organisation"))) << text.toStdString();
        EXPECT_FALSE(text.contains(QString::fromUtf8("Fehlende Einstellung"))) << text.toStdString();
        start.resize(900, 560);
        EXPECT_TRUE(start.grab().save(QString::fromUtf8(QV_SCREENS_DIR "/frame_newdatabase_start.png")));
    }
    IQvSecServer* sec = nullptr;
    ASSERT_EQ(QueryCOMServer(QVSECSERVER_PROGID, IID_IQvSecServer, reinterpret_cast<void**>(&sec)), S_OK);
    long rights = 0;
    GUID module{};
    ASSERT_TRUE(qv::GuidFromString(L"{5F03AD81-548C-4F27-8FDA-45FC8E49B17C}", module));
    EXPECT_EQ(sec->GetRights(module, nullptr, &rights), S_OK);
    EXPECT_EQ(rights & 0x101, 0x101) << "he uses and changes the course module";
    sec->Release();

    // The course window opens for him, not its "Kein Zugriff zu diesem Modul." in its place.
    const HWND course = ShowCourseWindow();
    ASSERT_NE(course, nullptr);
    EXPECT_TRUE(Visible(Item(course, IDC_KURSDLG_ACTION)));
    EXPECT_TRUE(Enabled(Item(course, IDC_KURSDLG_ACTION)));
    // "Berichte" offers him the module's reports, and stays there for the next use.
    const HWND reports = Item(course, IDC_KURSDLG_REPORT);
    ASSERT_TRUE(Visible(reports));
    std::vector<std::wstring> offered;
    WhenOpened(
        [&](QWidget* open) {
            if (auto* menu = qobject_cast<QMenu*>(open))
                for (QAction* a : menu->actions())
                    if (a->isEnabled()) offered.push_back(a->text().toStdWString());
            PressKey(nullptr, VK_ESCAPE);
        },
        2000);
    EXPECT_TRUE(Click(reports));
    EXPECT_EQ(offered, (std::vector<std::wstring>{L"Jahresübersicht der Kurse", L"Präsenzliste", L"Teilnehmerliste"}));
    EXPECT_TRUE(Enabled(reports));
    EXPECT_TRUE(SavePng(pane.GetSafeHwnd(), QV_SCREENS_DIR "/frame_newdatabase.png"));

    // A new reservation's Mandant: the only one there is, chosen to begin with.
    backend.ExpectModal(IDD_NQ_MANDANT4NEW, [](qv::IModalDialog& modal) {
        const HWND dlg = dynamic_cast<CDialog&>(modal).GetSafeHwnd();
        const HWND list = Item(dlg, IDC_NQ_MANDANT4NEW_LIST);
        ASSERT_EQ(Rows(list), 1);
        EXPECT_EQ(Cell(list, 0, 0), qv::FromUtf8(kNewDatabaseMandant));
        EXPECT_TRUE(RowSelected(list, 0));
        ASSERT_TRUE(Click(dlg, IDOK));
    });
    long chosen = 0;
    EXPECT_TRUE(NQ_GetMandantID4New(chosen, 4));
    EXPECT_EQ(chosen, 1);

    // Started again on it, nothing more is made.
    host->CloseAll();
    host->InternalRelease();
    delete host;
    host = nullptr;
    qv::RevokeAllRunningServers();
    options.create = false;
    Start(options);
    EXPECT_EQ(Value("SELECT count(*) FROM QvSecUser"), "1");
    EXPECT_EQ(Value("SELECT count(*) FROM Mandant"), "1");
}

}  // namespace
}  // namespace frametest
