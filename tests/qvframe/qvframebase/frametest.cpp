#include "frametest.h"
#include "qvcomserver.h"
#include "qvfmodule.h"
#include "qvwinapp.h"
#include "qvregistry.h"
#include "qvrunning.h"
#include "qvui.h"
#include "strtable.h"
#include "trace.h"

#include <QImage>
#include <QPainter>

// The test program is the module: its application object.
CQvWinApp theApp(L"DE");

namespace frametest {

namespace {
char g_resourceTag;

void RegisterResources(HINSTANCE h) {
    qv::RegisterStringTable(h, {
        {ID_KURS_NEU, L"Neuen Kurs anlegen\n\nKURS-NEU\n1"},
        {ID_KURS_DEL, L"Kurs löschen\n\nKURS-DEL\n2"},
        {ID_KURS_LISTE, L"Kursliste drucken\n\nKURS-LISTE\n1"},
        {ID_KURS_OK, L"Vor dem Fehler\n\nKURS-OK\n1"},
        {ID_KURS_AFTER, L"Nach dem Fehler\n\nKURS-AFTER\n1"},
        {ID_OTHER_NEU, L"Anderes Modul\n\nOTHER-NEU\n5"},
        {IDS_TEST_CAPTION, L"Ausbildung"},
        {IDS_TEST_GROUP, L"Hauptmodule"},
        {IDS_TEST_SETUP_CAPTION, L"Kurse"},
    });
    using qv::ui::MenuTemplateItem;
    qv::ui::RegisterMenu(h, IDR_TEST_MENU,
                         {MenuTemplateItem{0, L"&Kurse\nKURS-MENU\n3", MF_POPUP,
                                           {MenuTemplateItem{ID_KURS_NEU, L"&Neu", 0, {}},
                                            MenuTemplateItem{0, L"", MF_SEPARATOR, {}},
                                            MenuTemplateItem{ID_KURS_DEL, L"&Löschen", 0, {}}}},
                          MenuTemplateItem{0, L"&Berichte\nKURS-BERICHTE\n4", MF_POPUP,
                                           {MenuTemplateItem{ID_KURS_LISTE, L"Kurs&liste", 0, {}}}}});
    // The second popup's text lacks its position.
    qv::ui::RegisterMenu(h, IDR_TEST_MENU_BROKEN,
                         {MenuTemplateItem{0, L"Gut\nKURS-GUT\n1", MF_POPUP,
                                           {MenuTemplateItem{ID_KURS_OK, L"OK", 0, {}}}},
                          MenuTemplateItem{0, L"Kaputt\nKURS-KAPUTT", MF_POPUP,
                                           {MenuTemplateItem{ID_KURS_AFTER, L"Danach", 0, {}}}}});
    qv::ui::RegisterMenu(h, IDR_TEST_MENU_OTHER,
                         {MenuTemplateItem{0, L"&Kurse\nKURS-MENU\n3", MF_POPUP,
                                           {MenuTemplateItem{ID_OTHER_NEU, L"&Anderes", 0, {}}}}});
    qv::ui::DialogTemplate view;
    view.id = IDD_TEST_VIEW;
    view.cx = 300;
    view.cy = 200;
    view.style = WS_CHILD;
    view.items = {qv::ui::LText(L"Kursverwaltung", 1000, 10, 10, 200, 10)};
    qv::ui::RegisterDialogTemplate(h, view);
    qv::ui::DialogTemplate setup = view;
    setup.id = IDD_TEST_SETUP;
    setup.items = {qv::ui::AutoCheckBox(L"Online-Anmeldung", 1001, 10, 10, 200, 10)};
    qv::ui::RegisterDialogTemplate(h, setup);
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(QColor(0x7B, 0x7C, 0x7D));
    QPainter painter(&image);
    painter.fillRect(4, 4, 24, 24, QColor(200, 30, 30));
    painter.end();
    qv::ui::RegisterBitmap(h, IDB_TEST_VIEW, image);
}
}  // namespace

HINSTANCE TestResources() {
    static HINSTANCE handle = [] {
        auto h = reinterpret_cast<HINSTANCE>(&g_resourceTag);
        RegisterResources(h);
        return h;
    }();
    return handle;
}

// ---- the server

IMPLEMENT_DYNCREATE(CTestServer, CQvFServer)

BEGIN_CONTROLSINK_MAP(CTestServer)
    ON_QVF_COMMAND(L"KURS-NEU", OnKursNeu)
    ON_QVF_NOTIFY(L"kurs-neu", OnKursNeuNotify)
    ON_QVF_COMMAND(L"SAVE", OnSave)
END_CONTROLSINK_MAP()

int CTestServer::s_nAlive = 0;

CTestServer::CTestServer() {
    SetName(TEST_SERVER_PROGID);
    ++s_nAlive;
}

CTestServer::~CTestServer() { --s_nAlive; }

HRESULT CTestServer::GetClassID(GUID* pClsid) {
    *pClsid = CLSID_TestServer;
    return S_OK;
}

CRuntimeClass** CTestServer::GetSetupPageClasses() {
    static CRuntimeClass* classes[] = {RUNTIME_CLASS(CTestSetupDlg), nullptr};
    return classes;
}

HRESULT CTestServer::TDDRun(CString strTest, const std::vector<CString>& values, CString& strResult) {
    if (strTest.CompareNoCase(L"Echo") != 0) return CQvFServer::TDDRun(strTest, values, strResult);
    for (const CString& v : values) strResult += v;
    return S_OK;
}

HRESULT CTestServer::Record(LPCWSTR lpszCall, const CString& strName) {
    calls.push_back(lpszCall + strName.wstr());
    return S_OK;
}

HRESULT CTestServer::OnMenuNotify(CString strName) { return Record(L"OnMenuNotify:", strName); }
HRESULT CTestServer::OnMenuCommand(CString strName) { return Record(L"OnMenuCommand:", strName); }
HRESULT CTestServer::OnAccelNotify(CString strName) { return Record(L"OnAccelNotify:", strName); }
HRESULT CTestServer::OnAccelCommand(CString strName) { return Record(L"OnAccelCommand:", strName); }

// ---- the view

CTestViewDlg::CTestViewDlg(CTestView* pView) : CQvFViewDlg(pView, IDD_TEST_VIEW, nullptr) {}

int CTestView::s_nAlive = 0;

CTestView::CTestView(BOOL bSecured) {
    SetViewObject(new CTestViewDlg(this));
    SetBitmapID(IDB_TEST_VIEW);
    SetViewValue(10);
    SetGroupID(IDS_TEST_GROUP);
    SetCaptionID(IDS_TEST_CAPTION);
    if (bSecured) SetServerGUID(GUID_TestViewSecurity);
    SetName(TEST_VIEW_PROGID);
    ++s_nAlive;
}

CTestView::~CTestView() { --s_nAlive; }

HRESULT CTestView::GetClassID(GUID* pClsid) {
    *pClsid = CLSID_TestView;
    return S_OK;
}

// ---- the settings page

IMPLEMENT_DYNCREATE(CTestSetupDlg, CQvFSetupDlg)

CTestSetupDlg::CTestSetupDlg() {
    m_nTemplateID = IDD_TEST_SETUP;
    m_nIDTemplate = IDD_TEST_SETUP;
    SetCaptionID(IDS_TEST_SETUP_CAPTION);
}

HRESULT CTestSetupDlg::LoadSettings() {
    ++nLoads;
    return S_OK;
}

HRESULT CTestSetupDlg::SaveSettings() {
    ++nSaves;
    if (FAILED(hrSave)) return hrSave;
    return CQvFSetupDlg::SaveSettings();
}

// ---- fakes

HRESULT FakeSecServer::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IQvSecServer) {
        *ppv = static_cast<IQvSecServer*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeSecServer::GetRights(GUID guid, BSTR, long* plRights) {
    std::lock_guard g(lock);
    if (FAILED(fail)) return fail;
    auto it = masks.find(guid);
    *plRights = it == masks.end() ? 0 : it->second;
    return S_OK;
}

HRESULT FakeDataLogger::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IQvDataLogger) {
        *ppv = static_cast<IQvDataLogger*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeDataLogger::WriteEntry(BSTR bstrSource, long lLevel, BSTR bstrMessageGUID, BSTR bstrText, long) {
    std::lock_guard g(lock);
    entries.push_back({FrameTest::Str(bstrSource), lLevel, FrameTest::Str(bstrMessageGUID), FrameTest::Str(bstrText)});
    return S_OK;
}

// ---- fixture

namespace {
void RegisterClass(const CLSID& clsid, LPCWSTR progId) {
    const std::wstring text = qv::GuidToString(clsid);
    const std::wstring progKey = std::wstring(progId) + L"\\CLSID";
    const std::wstring clsidKey = L"CLSID\\" + text + L"\\ProgID";
    RegSetValueW(HKEY_CLASSES_ROOT, progKey.c_str(), REG_SZ, text.c_str(), DWORD((text.size() + 1) * sizeof(wchar_t)));
    RegSetValueW(HKEY_CLASSES_ROOT, clsidKey.c_str(), REG_SZ, progId, DWORD((wcslen(progId) + 1) * sizeof(wchar_t)));
}
}  // namespace

void FrameTest::SetUp() {
    backend.OnFailure([](const std::string& message) { ADD_FAILURE() << message; });
    qv::ClearTrace();
    QvFSetModuleResourceHandle(TestResources());
    AfxSetResourceHandle(TestResources());
    RegisterClass(CLSID_TestServer, TEST_SERVER_PROGID);
    RegisterClass(CLSID_TestView, TEST_VIEW_PROGID);
    // The data logger client looks its server up by class.
    RegisterClass(CLSID_QvDataLogger, QVDATALOGGER_PROGID);
    host = new CQvFrameHost;
    host->m_onReleaseServer = [this](const CLSID& clsid) { releaseRequests.push_back(clsid); };
    ASSERT_EQ(host->RegisterAsFrame(), S_OK);
    ASSERT_EQ(host->OfferServer(QVSECSERVER_PROGID, CLSID_QvSecServer, &security), S_OK);
    ASSERT_EQ(host->OfferServer(QVDATALOGGER_PROGID, CLSID_QvDataLogger, &logger), S_OK);
}

void FrameTest::TearDown() {
    host->CloseAll();
    delete host;
    qv::RevokeAllRunningServers();
}

std::vector<std::wstring> FrameTest::TraceWith(const std::wstring& text) {
    std::vector<std::wstring> lines;
    for (const std::wstring& line : qv::TraceLines())
        if (line.find(text) != std::wstring::npos) lines.push_back(line);
    return lines;
}

std::wstring FrameTest::Str(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

}  // namespace frametest
