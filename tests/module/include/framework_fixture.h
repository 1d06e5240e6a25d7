#pragma once
// The dialog framework against a real suite database and the host frame: a temporary registry and
// data folder, the database and event servers running, an option server, a security server and a
// start-up server answering from tables, the sample module registered, and scripted message boxes.
#include "fakehost.h"
#include "framehost.h"
#include "framework_sample.h"
#include "nqinterfaces.h"
#include "optionserverint.h"
#include "childdlg.h"
#include "parentdlg.h"
#include "qvdbserverint.h"
#include "qvsecint.h"
#include "scripted.h"
#include "servertest.h"
#include "sqlitedb.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace fwtest {

class FakeOptionServer : public qvtest::StackObject<IOptionServer, IID_IOptionServer> {
public:
    HRESULT GetOption(long lArea, BSTR bstrName, long, long, VARIANT* pValue) override;
    HRESULT SetOption(long, BSTR, long, VARIANT) override { return S_OK; }
    void Set(long area, const std::wstring& name, long value) {
        std::lock_guard g(lock);
        values[{area, name}] = value;
    }
    std::mutex lock;
    std::map<std::pair<long, std::wstring>, long> values;
};

// Rights per function GUID; the user is user 5.
class FakeSecServer : public IQvSecServer, public IQvSecUser {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override;
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
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
    void Set(const GUID& function, long mask) {
        std::lock_guard g(lock);
        rights[function] = mask;
    }
    std::mutex lock;
    std::map<GUID, long> rights;
    bool failing = false;  // every question fails, as with the server gone
};

class FakeStartupServer : public qvtest::StackObject<INQStartupServer, IID_INQStartupServer> {
public:
    HRESULT SetProgressText(BSTR text) override {
        texts.push_back(qvtest::Str(text));
        return S_OK;
    }
    std::vector<std::wstring> texts;
};

class Framework : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The sample view opened by the frame and shown in the test's pane; when it does not open,
    // the case fails and ends with an exception.
    void OpenView();
    void CloseView();
    CParentDlg* Dlg() const { return m_pDlg; }
    INQViewControl* ViewControl();
    HWND Tabs() const { return Dlg()->GetTabCtrl().GetSafeHwnd(); }
    // The page window of tab i, as the framework's page base; an exception ends the case when
    // there is none.
    CChildDlg* Page(int i) const;

    void Sql(const std::string& sql);
    std::string SqlText(const std::string& sql);
    long AddKurs(const std::string& name);

    qv::ScriptedInteraction script;
    FakeOptionServer options;
    FakeSecServer security;
    FakeStartupServer startup;
    std::unique_ptr<qvtest::ServerEnvironment> env;
    std::unique_ptr<qv::sql::SqliteDb> db;
    CQvFrameHost* host = nullptr;
    CWnd pane;
    long mandant = 0;

private:
    void ShowView();
    CParentDlg* m_pDlg = nullptr;
    std::vector<std::unique_ptr<qvtest::ScopedRunningServer>> running_;
    qv::IInteraction* previous_ = nullptr;
    long nextID_ = 11;
};

std::string U(const CString& s);

}  // namespace fwtest
