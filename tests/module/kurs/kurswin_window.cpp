// The PostgreSQL runner before the widgets: Qt defines "slots".
#ifdef QV_KURS_PG
#include "pgcluster.h"
#include "pgexec.h"
#include "qvregistry.h"
#include "suitedbpg.h"
#endif
#include "kurswin_window.h"

#include "ikursinstanz.h"
#include "kursresource.h"
#include "kurswintest.h"
#include "nqcommon.h"
#include "qvregvalue.h"
#include "serverhost.h"
#include "utf.h"

#include <filesystem>
#include <stdexcept>


namespace kurstest {

void KursWindow::SetUp() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ASSERT_TRUE(qv::ui::EnsureApplication());
    env = std::make_unique<qvtest::ServerEnvironment>();
    ASSERT_EQ(qvtest::RegisterModule(QV_EVENTSERVER_MODULE), S_OK);
    ASSERT_EQ(qvtest::RegisterModule(QV_USERLOG_MODULE), S_OK);
    ASSERT_EQ(qvtest::RegisterModule(QV_KURS_MODULE), S_OK);

    qv::suite::InstallSuiteDatabase();
    qv::suite::SetSystemID(7);
#ifdef QV_KURS_PG
    ASSERT_NO_FATAL_FAILURE(UsePgSuiteDatabase(pgAdmin_, pgName_, pg));
#else
    db = std::make_unique<qv::sql::SqliteDb>();
    ASSERT_EQ(db->Open("sqlite:" + env->SuiteDatabase()), SQLITE_OK);
    std::string error;
    ASSERT_EQ(qv::suite::CreateSchema(db->Handle(), &error), SQLITE_OK) << error;
#endif
    ASSERT_EQ(qv::servers::StartRunningServer(QVDBSERVER_PROGID), S_OK);
    ASSERT_EQ(qv::servers::StartRunningServer(QV_EVENTSERVER_PROGID), S_OK);

    script.OnFailure([](const std::string& m) { ADD_FAILURE() << "interaction: " << m; });
    previous_ = qv::SetInteraction(&script);
    qv::nq::SetEnterpriseEdition(false);
    kurs::ForgetDefaultPersonKursStatus();

    host = new CQvFrameHost;
    ASSERT_EQ(host->RegisterAsFrame(), S_OK);
    ASSERT_EQ(host->StartServer(QVUSERLOG_PROGID), S_OK);
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(QVOPTIONSERVER_PROGID, &options));
    running_.push_back(
        std::make_unique<qvtest::ScopedRunningServer>(QVSECSERVER_PROGID, static_cast<IQvSecServer*>(&security)));
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(NQ_STARTUPSERVER_PROGID, &startup));
    ASSERT_TRUE(pane.CreateEx(0, AfxRegisterWndClass(0), L"Kurse", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 960, 620,
                              nullptr, nullptr));
    // The user may use and edit the course module; the user is security user 5.
    security.Answer(L"{5F03AD81-548C-4F27-8FDA-45FC8E49B17C}", L"", 0x101);
    options.Set(-1000, L"LockUpdateIntervall", 0);
    options.Set(-1000, L"ConfirmSave", 1);
    options.Set(-1000, L"RestoreLastID", 1);
    options.Set(-3010, L"LockRecordRetries", 1);
    options.Set(-3010, L"LockRecordTimeout", 0);
    // The course search offers local courses too.
    options.Set(-4000, L"KursTyp", L"x 1 1 1");
    mandant = ++nextID_;
    Sql("INSERT INTO Mandant (lMandantID, strMandantName) VALUES (" + K(mandant) + ", 'FW Nord')");
    qv::nq::ClearNavigationHistory();
}

void KursWindow::TearDown() {
    if (m_pDlg) CloseView();
    if (host) {
        host->CloseAll();
        host->InternalRelease();
        // Its final release keeps the host for the servers that hold it; they are closed now.
        delete host;
        host = nullptr;
    }
    if (pane.GetSafeHwnd()) pane.DestroyWindow();
    EXPECT_EQ(script.Pending(), 0u) << "expected boxes or dialogs that never came";
    qv::SetInteraction(previous_);
    running_.clear();
    qv::servers::StopRunningServer(QV_EVENTSERVER_PROGID);
    qv::servers::StopRunningServer(QVDBSERVER_PROGID);
    qv::nq::SetEnterpriseEdition(std::nullopt);
    qv::nq::SetNavigator(nullptr);
    kurs::ForgetDefaultPersonKursStatus();
    db.reset();
#ifdef QV_KURS_PG
    pg.reset();
    // A changed table or trigger would reach the next test: such a database goes.
    if (pgAdmin_ && pgDirty_) pgAdmin_->Exec("DROP DATABASE IF EXISTS " + pgName_ + " WITH (FORCE)");
    pgAdmin_.reset();
#endif
    env.reset();
}

void KursWindow::OpenView() {
    ASSERT_EQ(host->OpenView(KURSVIEW_PROGID), S_OK);
    ASSERT_EQ(host->ActivateView(KURSVIEW_PROGID, pane.GetSafeHwnd(), RECT{0, 0, 960, 620}), S_OK);
    CWnd* pChild = pane.GetWindow(GW_CHILD);
    for (; pChild && !m_pDlg; pChild = pChild->GetWindow(GW_HWNDNEXT)) m_pDlg = dynamic_cast<CKursDlg*>(pChild);
    ASSERT_NE(m_pDlg, nullptr);
    qv::ui::test::Pump();
}

void KursWindow::CloseView(bool bPump) {
    m_pDlg = nullptr;
    ASSERT_EQ(host->CloseView(KURSVIEW_PROGID), S_OK);
    if (bPump) qv::ui::test::Pump();
}

CKursChildDlg* KursWindow::Page(int i) const {
    return dynamic_cast<CKursChildDlg*>(m_pDlg->GetTabCtrl().GetTabWnd(i));
}

void KursWindow::Action(UINT command) {
    qv::ui::test::AnswerNextPopupMenu(command);
    qv::ui::test::Click(m_pDlg->GetSafeHwnd(), IDC_KURSDLG_ACTION);
}

void KursWindow::Screen(HWND wnd, const std::string& name) {
    const std::filesystem::path dir(QV_SCREENS_DIR);
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(qv::ui::test::SavePng(wnd, (dir / (name + (kOnPg ? "_pg" : "") + ".png")).string())) << name;
}

void KursWindow::Sql(const std::string& sql) {
#ifdef QV_KURS_PG
    ExecTestSql(*pg, sql, triggerTables_, pgDirty_);
#else
    ExecTestSql(db->Handle(), sql);
#endif
}

std::string KursWindow::Text(const std::string& sql) {
#ifdef QV_KURS_PG
    // As SQLite's text gives the first column of the first row.
    qv::sql::PgRun run;
    try {
        bool changesSchema = false;
        run = PgRunTestSql(*pg, sql, triggerTables_, changesSchema, true);
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what() << "\n" << sql;
        return "(none)";
    }
    if (run.result.rows.empty() || run.result.rows[0].empty()) return "(none)";
    const auto& first = run.result.rows[0][0];
    return first ? PgValueText(*first, run.result.types.empty() ? 0 : run.result.types[0]) : "NULL";
#endif
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db->Handle(), sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sql;
    std::string out = "(none)";
    if (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        const auto* t = sqlite3_column_text(stmt, 0);
        out = t ? reinterpret_cast<const char*>(t) : "NULL";
    }
    sqlite3_finalize(stmt);
    return out;
}

long long KursWindow::Int(const std::string& sql) { return std::stoll(Text(sql)); }

long KursWindow::AddKurs(long typ, const std::string& kurz) {
    const long id = ++nextID_;
    Sql("INSERT INTO Kurs (lKursID, lTyp, strKurzbezeichnung, strBezeichnung) VALUES (" + K(id) + ", " + K(typ) + ", '" +
        kurz + "', '" + kurz + " Kurs')");
    // The user's rights rows, as creating the course gives them.
    Sql("INSERT INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (" + K(id) + ", -1, 5, 257)");
    return id;
}

long KursWindow::AddRun(long kurs, const std::string& date, const std::string& name, long max) {
    const long id = ++nextID_;
    Sql("INSERT INTO Kursinstanz (lKursinstanzID, lKursID, dtDatum, strBezeichnung, lMaxTeilnehmer, fGeschlossen) "
        "VALUES (" + K(id) + ", " + K(kurs) + ", '" + date + " 00:00:00', '" + name + "', " + K(max) + ", 0)");
    Sql("INSERT INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (-1, " + K(id) + ", 5, 257)");
    return id;
}

long KursWindow::AddPerson(const std::string& name) {
    const long id = ++nextID_;
    Sql("INSERT INTO Person (lPersonID, lMandantID, strName, strVorname) VALUES (" + K(id) + ", " + K(mandant) + ", '" +
        name + "', 'Hans')");
    return id;
}

long KursWindow::AddReg(long person, long kurs, long run, long status, const std::string& registered) {
    const long id = ++nextID_;
    Sql("INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, lKursinstanzID, lStatus, dtDatum, dtAnmeldung, "
        "fTeilnehmer) VALUES (" + K(id) + ", " + K(person) + ", " + K(kurs) + ", " + K(run) + ", " + K(status) +
        ", '2031-01-01 00:00:00', '" + registered + " 00:00:00', 1)");
    return id;
}

}  // namespace kurstest
