#include "searchtest.h"

#include "demodata.h"
#include "nqsearchcalls.h"
#include "qvdbserverint.h"
#include "resource.h"
#include "searchdlg.h"
#include "searchpopupdlg.h"
#include "searchresource.h"
#include "suitedb.h"
#include "utf.h"
#include "wnd.h"

#include <QApplication>
#include <QImage>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace searchtest {

using namespace qv::ui::test;

std::wstring Str(BSTR b) { return b ? std::wstring(b) : std::wstring(); }
std::string U(const std::wstring& w) { return qv::ToUtf8(w); }

bool IconDrawn(UINT bitmap, int index) {
    QImage strip;
    if (!qv::ui::FindBitmap(bitmap, strip) || index < 0 || strip.width() < 16 * (index + 1) || strip.height() != 16)
        return false;
    bool drawn = false;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool white = (strip.pixel(16 * index + x, y) & 0xFFFFFF) == 0xFFFFFF;
            if ((x == 0 || x == 15) && (y == 0 || y == 15) && !white) return false;
            drawn = drawn || !white;
        }
    return drawn;
}

HRESULT FakeOptionServer::GetOption(long lArea, BSTR bstrName, long, long, VARIANT* pValue) {
    std::unique_lock g(lock_);
    const std::wstring name = Str(bstrName);
    ++reads_[name];
    if (!held_.empty() && name == held_) {
        ++waiting_;
        cv_.wait(g, [&] { return held_ != name; });
        --waiting_;
    }
    VariantInit(pValue);
    auto it = values_.find({lArea, name});
    if (it == values_.end()) return S_FALSE;
    if (const auto* n = std::get_if<long>(&it->second)) {
        pValue->vt = VT_I4;
        pValue->lVal = *n;
    } else {
        pValue->vt = VT_BSTR;
        pValue->bstrVal = SysAllocString(std::get<std::wstring>(it->second).c_str());
    }
    return S_OK;
}

void FakeOptionServer::Set(long area, const std::wstring& name, long value) {
    std::lock_guard g(lock_);
    values_[{area, name}] = value;
}

void FakeOptionServer::Set(long area, const std::wstring& name, const std::wstring& value) {
    std::lock_guard g(lock_);
    values_[{area, name}] = value;
}

void FakeOptionServer::Hold(const std::wstring& name) {
    std::lock_guard g(lock_);
    held_ = name;
}

void FakeOptionServer::Unhold() {
    {
        std::lock_guard g(lock_);
        held_.clear();
    }
    cv_.notify_all();
}

int FakeOptionServer::Waiting() {
    std::lock_guard g(lock_);
    return waiting_;
}

int FakeOptionServer::Reads(const std::wstring& name) {
    std::lock_guard g(lock_);
    return reads_[name];
}

HRESULT FakeSecServer::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (iid == IID_IUnknown || iid == IID_IQvSecServer) *ppv = static_cast<IQvSecServer*>(this);
    else if (iid == IID_IQvSecUser) *ppv = static_cast<IQvSecUser*>(this);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

HRESULT FakeSecServer::GetRights(GUID guid, BSTR, long* rights) {
    std::lock_guard g(lock_);
    auto it = answers_.find(qv::GuidToString(guid));
    *rights = it == answers_.end() ? 0 : it->second;
    return S_OK;
}

HRESULT FakeSecServer::GetUser(BSTR* name, BSTR* userId, long* id) {
    *name = SysAllocString(L"Benutzer");
    *userId = SysAllocString(L"");
    *id = userID.load();
    return S_OK;
}

void FakeSecServer::Answer(const std::wstring& function, long rights) {
    GUID id{};
    qv::GuidFromString(function, id);
    std::lock_guard g(lock_);
    answers_[qv::GuidToString(id)] = rights;
}

void SearchTest::SetUp() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    qv::ui::EnsureApplication();
    env = std::make_unique<qvtest::ServerEnvironment>();
    qv::suite::InstallSuiteDatabase();
    db = std::make_unique<qv::sql::SqliteDb>();
    ASSERT_EQ(db->Open("sqlite:" + env->SuiteDatabase()), SQLITE_OK) << db->LastError().description;
    std::string error;
    ASSERT_EQ(qv::suite::CreateSchema(db->Handle(), &error), SQLITE_OK) << error;
    ASSERT_EQ(qv::suite::GenerateDemoData(db->Handle(), 1, kYear, &error), SQLITE_OK) << error;
    ASSERT_EQ(qv::servers::StartRunningServer(QVDBSERVER_PROGID), S_OK);
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(QV_FRAME_PROGID, &frame));
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(QVOPTIONSERVER_PROGID, &options));
    running_.push_back(
        std::make_unique<qvtest::ScopedRunningServer>(QVSECSERVER_PROGID, static_cast<IQvSecServer*>(&security)));
    script.OnFailure([](const std::string& m) { ADD_FAILURE() << "interaction: " << m; });
    previousInteraction_ = qv::SetInteraction(&script);
}

void SearchTest::TearDown() {
    EXPECT_EQ(script.Pending(), 0u) << "expected boxes or dialogs that never came";
    if (holder_.joinable()) holder_.join();
    options.Unhold();
    CSearchDlg::WaitForLeftWorkers();
    qv::SetInteraction(previousInteraction_);
    qv::nq::SetFilterDlgHandler(nullptr);
    qv::nq::SetContactEditDlgHandler(nullptr);
    running_.clear();
    qv::servers::StopRunningServer(QVDBSERVER_PROGID);
    db.reset();
    env.reset();
}

void SearchTest::Sql(const std::string& sql) {
    char* err = nullptr;
    const int rc = sqlite3_exec(db->Handle(), sql.c_str(), nullptr, nullptr, &err);
    ASSERT_EQ(rc, SQLITE_OK) << (err ? err : "") << "\n" << sql;
    sqlite3_free(err);
}

std::vector<std::string> SearchTest::Query(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db->Handle(), sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db->Handle()) << "\n" << sql;
    std::vector<std::string> rows;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            if (i > 0) row += '|';
            const auto* t = sqlite3_column_text(stmt, i);
            row += t ? reinterpret_cast<const char*>(t) : "NULL";
        }
        rows.push_back(row);
    }
    sqlite3_finalize(stmt);
    return rows;
}

long long SearchTest::Int(const std::string& sql) {
    auto rows = Query(sql);
    EXPECT_EQ(rows.size(), 1u) << sql;
    return rows.empty() ? -999 : std::atoll(rows.front().c_str());
}

bool SearchTest::Settled(CSearchDlg& search, int timeoutMs) {
    // The search has ended and its rows are shown in the order chosen (a long list sorts apart).
    return WaitFor([&] { return !search.IsSearching() && !search.m_lstResult.QvIsSorting(); }, timeoutMs);
}

HWND SearchTest::List(CSearchDlg& search) { return search.m_lstResult.m_hWnd; }
HWND SearchTest::Edit(CSearchDlg& search) { return Item(search.m_hWnd, IDC_SEARCH_TEXT); }

std::vector<std::wstring> SearchTest::Column(HWND list, int column) {
    std::vector<std::wstring> texts;
    for (int row = 0; row < Rows(list); ++row) texts.push_back(Cell(list, row, column));
    return texts;
}

std::vector<std::wstring> SearchTest::Headers(HWND list) {
    std::vector<std::wstring> texts;
    for (int column = 0; column < Columns(list); ++column) texts.push_back(Header(list, column));
    return texts;
}

INT_PTR SearchTest::RunPopup(CSearchPopupDlg& popup, const std::function<void(CSearchPopupDlg&)>& body) {
    script.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog& modal) {
        body(popup);
        if (!modal.IsModalEnded()) Click(popup.m_hWnd, IDCANCEL);
    });
    return popup.DoModal();
}

bool SearchTest::Activated(CSearchPopupDlg& popup) {
    return WaitFor([&] { return QApplication::activeWindow() == Widget(popup.m_hWnd); });
}

void SearchTest::HoldAWhile(const std::wstring& name) {
    if (holder_.joinable()) holder_.join();
    options.Hold(name);
    holder_ = std::thread([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        options.Unhold();
    });
}

void SearchTest::ActivateMandant(long id) {
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"ActMandantID", id);
}

void SearchTest::Screenshot(HWND wnd, const std::string& name) {
    std::filesystem::create_directories(QV_SCREENS_DIR);
    EXPECT_TRUE(SavePng(wnd, std::string(QV_SCREENS_DIR) + "/" + name + ".png"));
}

}  // namespace searchtest
