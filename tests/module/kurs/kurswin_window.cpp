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
#include "kursview.h"
#include "kurswintest.h"
#include "leftworkers.h"
#include "nqcommon.h"
#include "qvregvalue.h"
#include "serverhost.h"
#include "tempdir.h"
#include "utf.h"

#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#ifndef QV_KURS_PG
#include "extensions.h"
#include <sqlite3.h>
#endif


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
    if (otherDlg) host->CloseView(otherView);
    otherDlg = nullptr;
    if (otherPane.GetSafeHwnd()) otherPane.DestroyWindow();
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

void KursWindow::OpenOther() {
    ASSERT_TRUE(otherPane.CreateEx(0, AfxRegisterWndClass(0), L"Kurse", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 980, 0, 960,
                                   620, nullptr, nullptr));
    qvtest::ScopedEnv user("USER", "anna");
    auto* viewObject = static_cast<CKursView*>(RUNTIME_CLASS(CKursView)->CreateObject());
    IQvFInit* pInit = nullptr;
    ASSERT_EQ(viewObject->ExternalQueryInterface(&IID_IQvFInit, reinterpret_cast<void**>(&pInit)), S_OK);
    viewObject->InternalRelease();
    host->SetViewPane(otherPane.GetSafeHwnd());
    ASSERT_EQ(host->AddView(otherView, pInit), S_OK);
    host->SetViewPane(pane.GetSafeHwnd());
    QvFrameView* view = host->FindView(otherView);
    view->pControl->MoveView(RECT{0, 0, 960, 620});
    ASSERT_EQ(view->pControl->ShowView(TRUE), S_OK);
    view->bShown = true;
    for (CWnd* child = otherPane.GetWindow(GW_CHILD); child && !otherDlg; child = child->GetWindow(GW_HWNDNEXT))
        otherDlg = dynamic_cast<CKursDlg*>(child);
}

void KursWindow::OtherAction(UINT command) {
    qv::ui::test::AnswerNextPopupMenu(command);
    qv::ui::test::Click(qv::ui::test::Item(otherDlg->GetSafeHwnd(), IDC_KURSDLG_ACTION));
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

#ifndef QV_KURS_PG
namespace {
struct HeldCall {
    std::mutex lock;
    std::condition_variable change;
    int held = 0;
    bool armed = false, let = false;
};
HeldCall& Held() {
    static HeldCall held;
    return held;
}
}  // namespace
#endif

HeldTable::HeldTable(std::function<void(const std::string&)> sql, std::string table)
    : sql_(std::move(sql)), table_(std::move(table)) {
#ifndef QV_KURS_PG
    qv::sql::RegisterConnectionInitializer("kurswin-held-table", [](sqlite3* handle) {
        sqlite3_create_function(handle, "HeldCall", 0, SQLITE_UTF8, nullptr,
                                [](sqlite3_context* c, int, sqlite3_value**) {
                                    HeldCall& h = Held();
                                    std::unique_lock l(h.lock);
                                    if (!h.armed) return sqlite3_result_int(c, 1);
                                    h.armed = false;
                                    ++h.held;
                                    h.change.notify_all();
                                    h.change.wait(l, [&] { return h.let; });
                                    sqlite3_result_error(c, "the held call failed", -1);
                                },
                                nullptr, nullptr);
    });
#endif
}

#ifdef QV_KURS_PG
std::unique_ptr<qv::sql::PgDb> LockInOtherSession(const std::string& table) {
    CString url;
    CQvRegistry::GetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DBConnection", url);
    auto holder = std::make_unique<qv::sql::PgDb>();
    EXPECT_EQ(holder->Open(qv::ToUtf8(url.GetString())), 0) << holder->LastError().description;
    EXPECT_EQ(holder->Exec("BEGIN; LOCK TABLE " + table + " IN ACCESS EXCLUSIVE MODE"), 0)
        << holder->LastError().description;
    return holder;
}
#endif

void HeldTable::Hold() {
    held_ = true;
#ifdef QV_KURS_PG
    holder_ = LockInOtherSession(table_);
#else
    {
        HeldCall& h = Held();
        std::lock_guard g(h.lock);
        h.held = 0;
        h.armed = true;
        h.let = false;
    }
    sql_("PRAGMA legacy_alter_table = ON; ALTER TABLE " + table_ + " RENAME TO " + table_ + "Held; CREATE VIEW " +
         table_ + " AS SELECT t.* FROM " + table_ + "Held t WHERE HeldCall()");
#endif
}

bool HeldTable::Wait() {
#ifdef QV_KURS_PG
    return qv::ui::test::WaitFor(
        [&] {
            qv::sql::PgRows rows;
            // The holder's transaction would see the activity as it was at its first look.
            holder_->Exec("SELECT pg_stat_clear_snapshot()");
            holder_->Query("SELECT pid FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND "
                           "datname = current_database()", &rows);
            if (rows.rows.empty() || !rows.rows[0][0]) return false;
            pid_ = std::stoi(*rows.rows[0][0]);
            return kill(pid_, SIGSTOP) == 0;
        },
        30000);
#else
    return qv::ui::test::WaitFor([] {
        std::lock_guard g(Held().lock);
        return Held().held == 1;
    }, 30000);
#endif
}

void HeldTable::Let() {
#ifdef QV_KURS_PG
    if (pid_ > 0) kill(pid_, SIGCONT);
#else
    HeldCall& h = Held();
    std::lock_guard g(h.lock);
    h.let = true;
    h.armed = false;
    h.change.notify_all();
#endif
}

void HeldTable::Free() {
    Let();
#ifdef QV_KURS_PG
    holder_->Exec("ROLLBACK");
#endif
}

HeldTable::~HeldTable() {
    if (!held_) return;
    Let();
#ifdef QV_KURS_PG
    holder_->Exec("ROLLBACK");
    CLeftWorkers::End(10000);
#else
    CLeftWorkers::End(10000);
    sql_("DROP VIEW " + table_ + "; ALTER TABLE " + table_ + "Held RENAME TO " + table_);
#endif
}

}  // namespace kurstest
