#include "framework_fixture.h"

#include "childdlg.h"
#include "nqcommon.h"
#include "qvcomserver.h"
#include "qveventserver.h"
#include "qvregvalue.h"
#include "qvui.h"
#include "serverhost.h"
#include "suitedb.h"
#include "uidriver.h"
#include "utf.h"

#include <sqlite3.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace fwtest {

std::string U(const CString& s) { return s.ToUtf8(); }

HRESULT FakeOptionServer::GetOption(long lArea, BSTR bstrName, long, long, VARIANT* pValue) {
    std::lock_guard g(lock);
    VariantInit(pValue);
    auto it = values.find({lArea, qvtest::Str(bstrName)});
    if (it == values.end()) return S_FALSE;
    pValue->vt = VT_I4;
    pValue->lVal = it->second;
    return S_OK;
}

HRESULT FakeSecServer::QueryInterface(REFIID iid, void** ppv) {
    *ppv = nullptr;
    if (iid == IID_IUnknown || iid == IID_IQvSecServer) *ppv = static_cast<IQvSecServer*>(this);
    if (iid == IID_IQvSecUser) *ppv = static_cast<IQvSecUser*>(this);
    return *ppv ? S_OK : E_NOINTERFACE;
}

HRESULT FakeSecServer::GetRights(GUID guid, BSTR, long* rights) {
    std::lock_guard g(lock);
    if (failing) return E_FAIL;
    auto it = this->rights.find(guid);
    *rights = it == this->rights.end() ? 0 : it->second;
    return S_OK;
}

HRESULT FakeSecServer::GetUser(BSTR* name, BSTR* userId, long* id) {
    *name = SysAllocString(L"Kursleiter");
    *userId = SysAllocString(L"");
    *id = 5;
    return S_OK;
}

void Framework::SetUp() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ASSERT_TRUE(qv::ui::EnsureApplication());
    env = std::make_unique<qvtest::ServerEnvironment>();
    ASSERT_EQ(qvtest::RegisterModule(QV_EVENTSERVER_MODULE), S_OK);
    ASSERT_EQ(qvtest::RegisterModule(QV_SAMPLE_MODULE), S_OK);

    qv::suite::InstallSuiteDatabase();
    db = std::make_unique<qv::sql::SqliteDb>();
    ASSERT_EQ(db->Open("sqlite:" + env->SuiteDatabase()), SQLITE_OK);
    std::string error;
    ASSERT_EQ(qv::suite::CreateSchema(db->Handle(), &error), SQLITE_OK) << error;
    ASSERT_EQ(qv::servers::StartRunningServer(QVDBSERVER_PROGID), S_OK);
    ASSERT_EQ(qv::servers::StartRunningServer(QV_EVENTSERVER_PROGID), S_OK);

    script.OnFailure([](const std::string& m) { ADD_FAILURE() << "interaction: " << m; });
    previous_ = qv::SetInteraction(&script);

    host = new CQvFrameHost;
    ASSERT_EQ(host->RegisterAsFrame(), S_OK);
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(QVOPTIONSERVER_PROGID, &options));
    running_.push_back(
        std::make_unique<qvtest::ScopedRunningServer>(QVSECSERVER_PROGID, static_cast<IQvSecServer*>(&security)));
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(NQ_STARTUPSERVER_PROGID, &startup));
    ASSERT_TRUE(pane.CreateEx(0, AfxRegisterWndClass(0), L"Pane", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 720, 420,
                              nullptr, nullptr));

    // Rights: the view and the notes page; every option the framework reads.
    security.Set(sample::GUID_SampleViewFunction, 0x101);
    security.Set(sample::GUID_SampleNotesFunction, 0x101);
    options.Set(-1000, L"LockUpdateIntervall", 0);
    options.Set(-1000, L"ConfirmSave", 1);
    options.Set(-1000, L"RestoreLastID", 1);
    options.Set(-1000, L"RestoreLastTab", 1);
    options.Set(-3010, L"LockRecordRetries", 1);
    options.Set(-3010, L"LockRecordTimeout", 0);
    CQvRegistry::SetValue(SAMPLE_VIEW_KEY L"\\TabWindows", L"WindowServer0", CString(SAMPLE_PAGE_DATA_PROGID));
    CQvRegistry::SetValue(SAMPLE_VIEW_KEY L"\\TabWindows", L"WindowServer1", CString(SAMPLE_PAGE_NOTES_PROGID));

    Sql("INSERT INTO Mandant (lMandantID, strMandantName) VALUES (7, 'Feuerwehr Talwil')");
    mandant = 7;
    qv::nq::ClearNavigationHistory();
}

void Framework::TearDown() {
    if (m_pDlg) CloseView();
    if (host) {
        host->CloseAll();
        host->InternalRelease();
        // Its final release keeps the host for the servers that hold it; they are closed now.
        delete host;
        host = nullptr;
    }
    if (pane.GetSafeHwnd()) pane.DestroyWindow();
    EXPECT_EQ(script.Pending(), 0u) << "expected boxes that never came";
    qv::SetInteraction(previous_);
    running_.clear();
    qv::servers::StopRunningServer(QV_EVENTSERVER_PROGID);
    qv::servers::StopRunningServer(QVDBSERVER_PROGID);
    qv::nq::SetNavigator(nullptr);
    db.reset();
    env.reset();
}

void Framework::OpenView() {
    ShowView();
    // Without its view a case cannot go on: it ends here, failed, instead of crashing the run on
    // the first use of the missing dialog.
    if (!m_pDlg) throw std::runtime_error("the sample view did not open");
}

void Framework::ShowView() {
    ASSERT_EQ(host->OpenView(SAMPLE_VIEW_PROGID), S_OK);
    ASSERT_EQ(host->ActivateView(SAMPLE_VIEW_PROGID, pane.GetSafeHwnd(), RECT{0, 0, 720, 420}), S_OK);
    CWnd* pChild = pane.GetWindow(GW_CHILD);
    for (; pChild && !m_pDlg; pChild = pChild->GetWindow(GW_HWNDNEXT)) m_pDlg = dynamic_cast<CParentDlg*>(pChild);
    ASSERT_NE(m_pDlg, nullptr);
    qv::ui::test::Pump();
}

void Framework::CloseView() {
    m_pDlg = nullptr;
    ASSERT_EQ(host->CloseView(SAMPLE_VIEW_PROGID), S_OK);
    qv::ui::test::Pump();
}

INQViewControl* Framework::ViewControl() {
    INQViewControl* p = nullptr;
    host->FindView(SAMPLE_VIEW_PROGID)->pIdentity->QueryInterface(IID_INQViewControl, reinterpret_cast<void**>(&p));
    return p;
}

CChildDlg* Framework::Page(int i) const {
    auto* page = Dlg() ? dynamic_cast<CChildDlg*>(Dlg()->GetTabCtrl().GetTabWnd(i)) : nullptr;
    // A page that was not made fails the case that asks for it.
    if (!page) throw std::runtime_error("the view has no page " + std::to_string(i));
    return page;
}

void Framework::Sql(const std::string& sql) {
    char* err = nullptr;
    ASSERT_EQ(sqlite3_exec(db->Handle(), sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "") << sql;
    sqlite3_free(err);
}

std::string Framework::SqlText(const std::string& sql) {
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

long Framework::AddKurs(const std::string& name) {
    const long id = ++nextID_;
    Sql("INSERT INTO Kurs (lKursID, strBezeichnung, strKurzbezeichnung) VALUES (" + std::to_string(id) + ", '" + name +
        "', 'K" + std::to_string(id) + "')");
    return id;
}

}  // namespace fwtest
