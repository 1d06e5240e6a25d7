#pragma once
// The frame base's tests: a server, a view with its dialog and a settings page as a module would
// write them, run against the host frame's own side of the interfaces; fake security server and
// data logger offered by that frame; a temporary registry; scripted message boxes.
#include "framehost.h"
#include "qvdataloggerint.h"
#include "qvfserver.h"
#include "qvfsetupdlg.h"
#include "qvfview.h"
#include "qvfviewdlg.h"
#include "qvsecint.h"
#include "scripted.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace frametest {

inline constexpr CLSID CLSID_TestServer = qv::MakeGuid("3B7E2C51-6A1D-4F0B-9E42-7D15A8C3E601");
inline constexpr CLSID CLSID_TestView = qv::MakeGuid("3B7E2C51-6A1D-4F0B-9E42-7D15A8C3E602");
inline constexpr GUID GUID_TestViewSecurity = qv::MakeGuid("3B7E2C51-6A1D-4F0B-9E42-7D15A8C3E603");
inline constexpr GUID GUID_TestSetupSecurity = qv::MakeGuid("3B7E2C51-6A1D-4F0B-9E42-7D15A8C3E604");
#define TEST_SERVER_PROGID L"Qovaro.Test.FServer"
#define TEST_VIEW_PROGID L"Qovaro.Test.FView"

// Resource ids of the tests.
enum : UINT {
    IDR_TEST_MENU = 500,
    IDR_TEST_MENU_BROKEN = 510,
    IDR_TEST_MENU_OTHER = 520,
    ID_KURS_NEU = 501,
    ID_KURS_DEL = 502,
    ID_KURS_LISTE = 503,
    ID_KURS_OK = 511,
    ID_KURS_AFTER = 512,
    ID_OTHER_NEU = 521,
    IDS_TEST_CAPTION = 600,
    IDS_TEST_GROUP = 601,
    IDS_TEST_SETUP_CAPTION = 602,
    IDD_TEST_VIEW = 700,
    IDD_TEST_SETUP = 701,
    IDB_TEST_VIEW = 800,
};

// The test's resource tables, registered once, made the module's own.
HINSTANCE TestResources();

class CTestServer : public CQvFServer {
    DECLARE_DYNCREATE(CTestServer)
public:
    CTestServer();
    ~CTestServer() override;

    HRESULT GetClassID(GUID* pClsid) override;
    CRuntimeClass** GetSetupPageClasses() override;
    HRESULT TDDRun(CString strTest, const std::vector<CString>& values, CString& strResult) override;
    HRESULT OnMenuNotify(CString strName) override;
    HRESULT OnMenuCommand(CString strName) override;
    HRESULT OnAccelNotify(CString strName) override;
    HRESULT OnAccelCommand(CString strName) override;

    void OnKursNeu() { calls.push_back(L"handler:KURS-NEU"); }
    void OnKursNeuNotify() { calls.push_back(L"notify:KURS-NEU"); }
    void OnSave() { calls.push_back(L"handler:SAVE"); }
    DECLARE_CONTROLSINK_MAP()

    IQvFInit* Init() {
        IQvFInit* p = nullptr;
        ExternalQueryInterface(&IID_IQvFInit, reinterpret_cast<void**>(&p));
        return p;
    }

    std::vector<std::wstring> calls;
    static int s_nAlive;

private:
    // Records the call with the name.
    HRESULT Record(LPCWSTR lpszCall, const CString& strName);
};

class CTestView;

class CTestViewDlg : public CQvFViewDlg {
public:
    explicit CTestViewDlg(CTestView* pView);
};

class CTestView : public CQvFView {
public:
    // bSecured: the view has a server GUID, so its rights are checked.
    explicit CTestView(BOOL bSecured = TRUE);
    ~CTestView() override;
    HRESULT GetClassID(GUID* pClsid) override;
    CTestViewDlg* Dialog() const { return static_cast<CTestViewDlg*>(m_pViewDlg); }
    static int s_nAlive;
};

class CTestSetupDlg : public CQvFSetupDlg {
    DECLARE_DYNCREATE(CTestSetupDlg)
public:
    CTestSetupDlg();
    HRESULT LoadSettings() override;
    HRESULT SaveSettings() override;
    int nLoads = 0;
    int nSaves = 0;
    HRESULT hrSave = S_OK;
};

// The security server: rights per function, 0 for those not set.
class FakeSecServer : public IQvSecServer {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override;
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetRights(GUID guid, BSTR bstrKey, long* plRights) override;
    HRESULT Reserved4() override { return E_NOTIMPL; }
    HRESULT Reserved5() override { return E_NOTIMPL; }
    HRESULT Reserved6() override { return E_NOTIMPL; }
    HRESULT ShowRightDlg(GUID, long) override { return S_OK; }
    HRESULT ShowSetRightDlg(GUID, BSTR, long) override { return S_OK; }

    void Set(const GUID& function, long rights) {
        std::lock_guard g(lock);
        masks[function] = rights;
    }
    std::mutex lock;
    std::map<GUID, long> masks;
    HRESULT fail = S_OK;
    std::atomic<ULONG> refs{1};
};

struct LoggerEntry {
    std::wstring source;
    long level = 0;
    std::wstring message;
    std::wstring text;
};

class FakeDataLogger : public IQvDataLogger {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override;
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT WriteEntry(BSTR bstrSource, long lLevel, BSTR bstrMessageGUID, BSTR bstrText, long lThreadID) override;
    std::vector<LoggerEntry> Entries() {
        std::lock_guard g(lock);
        return entries;
    }
    std::mutex lock;
    std::vector<LoggerEntry> entries;
    std::atomic<ULONG> refs{1};
};

// A temporary registry with the test classes' ProgIDs, the host frame offered as the frame with the
// fake security server and data logger, and scripted message boxes.
class FrameTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The trace lines since the test began that contain the text.
    static std::vector<std::wstring> TraceWith(const std::wstring& text);

public:
    static std::wstring Str(BSTR b);

protected:

    qvtest::TempDir dir;
    qvtest::ScopedEnv registry{"QV_REGISTRY", dir.file("registry.db")};
    qv::ScriptedInteraction backend;
    qv::ScopedInteraction interaction{&backend};
    CQvFrameHost* host = nullptr;
    FakeSecServer security;
    FakeDataLogger logger;
    std::vector<CLSID> releaseRequests;
};

// A frame test with the test server connected to the frame and up and running (StartServer); it
// is closed and released at the end.
class RunningServerTest : public FrameTest {
protected:
    void StartServer() {
        server = new CTestServer;
        init = server->Init();
        server->ExternalRelease();
        ASSERT_EQ(init->Init(TRUE), S_OK);
        ASSERT_EQ(init->UpAndRunning(), S_OK);
    }
    void TearDown() override {
        if (init) {
            init->Close();
            init->ReleaseServers();
            init->Release();
        }
        FrameTest::TearDown();
    }

    CTestServer* server = nullptr;
    IQvFInit* init = nullptr;
};

}  // namespace frametest
