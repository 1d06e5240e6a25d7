#pragma once
// The record search over the demo database: a temporary registry and data folder, the database
// server on a fresh suite database filled with the demo data, an option server and a security
// server answering from tables, and the scripted interaction. Searches run in the real dialogs,
// offscreen, and are driven through their widgets.
#include "fakehost.h"
#include "optionserverint.h"
#include "qvcomserver.h"
#include "qvsecint.h"
#include "scripted.h"
#include "servertest.h"
#include "sqlitedb.h"
#include "uidriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <variant>
#include <vector>

class CSearchDlg;
class CSearchPopupDlg;

namespace searchtest {

std::wstring Str(BSTR b);

class FakeOptionServer : public qvtest::StackObject<IOptionServer, IID_IOptionServer> {
public:
    HRESULT GetOption(long lArea, BSTR bstrName, long, long, VARIANT* pValue) override;
    HRESULT SetOption(long, BSTR, long, VARIANT) override { return S_OK; }
    void Set(long area, const std::wstring& name, long value);
    void Set(long area, const std::wstring& name, const std::wstring& value);
    // Reads of the option wait until Unhold (the worker stands still inside a search).
    void Hold(const std::wstring& name);
    void Unhold();
    // Reads of the option that are waiting now.
    int Waiting();
    // Reads of the option so far.
    int Reads(const std::wstring& name);

private:
    std::mutex lock_;
    std::condition_variable cv_;
    std::map<std::pair<long, std::wstring>, std::variant<long, std::wstring>> values_;
    std::wstring held_;
    int waiting_ = 0;
    std::map<std::wstring, int> reads_;
};

class FakeSecServer : public IQvSecServer, public IQvSecUser {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override;
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetRights(GUID guid, BSTR key, long* rights) override;
    HRESULT Reserved4() override { return E_NOTIMPL; }
    HRESULT Reserved5() override { return E_NOTIMPL; }
    HRESULT Reserved6() override { return E_NOTIMPL; }
    HRESULT ShowRightDlg(GUID, long) override { return E_NOTIMPL; }
    HRESULT ShowSetRightDlg(GUID, BSTR, long) override { return E_NOTIMPL; }
    HRESULT Logon(BSTR) override { return E_NOTIMPL; }
    HRESULT Reserved7() override { return E_NOTIMPL; }
    HRESULT Reserved8() override { return E_NOTIMPL; }
    HRESULT Reserved9() override { return E_NOTIMPL; }
    HRESULT GetUser(BSTR* name, BSTR* userId, long* id) override;
    // The user's rights on a function.
    void Answer(const std::wstring& function, long rights);

    std::atomic<ULONG> refs{1};
    std::atomic<long> userID{1};  // the demo's administrator; 2 is the course leader

private:
    std::mutex lock_;
    std::map<std::wstring, long> answers_;
};

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Plain SQLite on the test's own connection.
    void Sql(const std::string& sql);
    std::vector<std::string> Query(const std::string& sql);
    long long Int(const std::string& sql);

    // Waits until the search has shown all rows of its last request.
    bool Settled(CSearchDlg& search, int timeoutMs = 10000);
    HWND List(CSearchDlg& search);
    HWND Edit(CSearchDlg& search);
    // The texts of a column, row by row; the headers of the columns.
    std::vector<std::wstring> Column(HWND list, int column);
    std::vector<std::wstring> Headers(HWND list);
    // The popup of a table id run modally; the script acts on it while it is open.
    INT_PTR RunPopup(CSearchPopupDlg& popup, const std::function<void(CSearchPopupDlg&)>& script);
    // Waits until the window system has made the shown popup the active window, as before a
    // user's first key.
    bool Activated(CSearchPopupDlg& popup);
    // Reads of the option wait a while: a window that read it only after starting its first
    // search would have filled that search's rows without it.
    void HoldAWhile(const std::wstring& name);
    // The Mandant the user chose in the host (0: none).
    void ActivateMandant(long id);
    // Saves the window under build/screens/.
    void Screenshot(HWND wnd, const std::string& name);

    qv::ScriptedInteraction script;
    FakeOptionServer options;
    FakeSecServer security;
    qvtest::FakeFrame frame;
    std::unique_ptr<qvtest::ServerEnvironment> env;
    std::unique_ptr<qv::sql::SqliteDb> db;
    static constexpr int kYear = 2026;

private:
    std::vector<std::unique_ptr<qvtest::ScopedRunningServer>> running_;
    std::thread holder_;
    qv::IInteraction* previousInteraction_ = nullptr;
};

std::string U(const std::wstring& w);
// Whether the row image at index of a registered strip is drawn: something on a white (see-through) ground.
bool IconDrawn(UINT bitmap, int index);

}  // namespace searchtest
