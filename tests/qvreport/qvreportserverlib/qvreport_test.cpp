// The report button of a dialog lists the reports of its profile under the user's rights, and a
// report runs on the report server with its parameters into a report file.
#include "framehost.h"
#include "qvcomserver.h"
#include "qvdblookup.h"
#include "qveventsource.h"
#include "qvregvalue.h"
#include "qvreport.h"
#include "qvreportbutton.h"
#include "qvreportserver.h"
#include "qvrunning.h"
#include "qvsecint.h"
#include "qvui.h"
#include "reportenumimp.h"
#include "scripted.h"
#include "servertest.h"
#include "tempdir.h"
#include "utf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace {

const CQvGUID kProfile(L"9226ADE4-9631-4108-A7D0-EC5FB3DE9D36");
const CQvGUID kEmptyProfile(L"11111111-2222-3333-4444-555555555555");
const CQvGUID kBigProfile(L"11111111-2222-3333-4444-666666666666");
const CQvGUID kTeilnehmer(L"A1000000-0000-0000-0000-000000000001");
const CQvGUID kPraesenz(L"A1000000-0000-0000-0000-000000000002");
const CQvGUID kJahr(L"A1000000-0000-0000-0000-000000000003");
constexpr UINT kButton = 1024;
constexpr UINT kDialog = 900;

class FakeSecServer : public IQvSecServer {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (iid == IID_IUnknown || iid == IID_IQvSecServer) {
            *ppv = static_cast<IQvSecServer*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetRights(GUID guid, BSTR, long* plRights) override {
        std::lock_guard g(lock);
        auto it = masks.find(guid);
        *plRights = it == masks.end() ? 0 : it->second;
        return S_OK;
    }
    HRESULT Reserved4() override { return E_NOTIMPL; }
    HRESULT Reserved5() override { return E_NOTIMPL; }
    HRESULT Reserved6() override { return E_NOTIMPL; }
    HRESULT ShowRightDlg(GUID guid, long lFlag) override {
        dialogs.emplace_back(guid, lFlag);
        return S_OK;
    }
    HRESULT ShowSetRightDlg(GUID, BSTR, long) override { return S_OK; }
    void Set(const CQvGUID& guid, long mask) {
        std::lock_guard g(lock);
        masks[guid.GetValue()] = mask;
    }
    std::mutex lock;
    std::map<GUID, long> masks;
    std::vector<std::pair<GUID, long>> dialogs;
};

class Reports : public ::testing::Test {
protected:
    void SetUp() override {
        backend.OnFailure([](const std::string& message) { ADD_FAILURE() << message; });
        CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.QvPool", L"DBConnection",
                              CString((L"sqlite:" + qv::FromUtf8(env.SuiteDatabase())).c_str()));
        CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.QvPool", L"CreateDatabase", DWORD(1));
        CQvRegistry::SetValue(L"Software\\Qovaro\\QvReportServer", L"ReportFolder",
                              CString(qv::FromUtf8(env.dir.file("berichte")).c_str()));
        CQvRegistry::SetValue(L"Software\\Qovaro\\QvReportServer", L"OpenReports", 0L);
        Exec(L"INSERT INTO QvReportServerProfile (lQvReportServerProfileID, guid, strName) VALUES "
             L"(1, '9226ADE4-9631-4108-A7D0-EC5FB3DE9D36', 'Ausbildung'), "
             L"(2, '11111111-2222-3333-4444-555555555555', 'Leer'), "
             L"(3, '11111111-2222-3333-4444-666666666666', 'Viele')");
        Exec(L"INSERT INTO QvReportServerReport (lQvReportServerReportID, guid, lQvReportServerProfileID, strReport, "
             L"strLabel, strHelpID, strLanguage) VALUES "
             L"(1, 'A1000000-0000-0000-0000-000000000001', 1, 'Kurs_Teilnehmerliste', 'Teilnehmerliste', 'KURS_TN', 'DE'), "
             L"(2, 'A1000000-0000-0000-0000-000000000002', 1, 'Kurs_Praesenzliste', 'Präsenzliste', 'KURS_PRAES', 'DE'), "
             L"(3, 'A1000000-0000-0000-0000-000000000003', 1, 'Kurs_Jahr', 'Jahresübersicht', '', 'DE')");

        ASSERT_EQ(qvtest::RegisterModule(QV_REPORT_SERVER), S_OK);
        ASSERT_EQ(qvtest::RegisterModule(QV_EVENT_SERVER), S_OK);
        host = new CQvFrameHost;
        ASSERT_EQ(host->RegisterAsFrame(), S_OK);
        ASSERT_EQ(host->OfferServer(QVSECSERVER_PROGID, CLSID_QvSecServer, &security), S_OK);
        ASSERT_EQ(host->StartServer(QV_EVENTSERVER_PROGID), S_OK);
        ASSERT_EQ(host->StartServer(QV_REPORTSERVER_PROGID), S_OK);

        static bool registered = false;
        if (!registered) {
            registered = true;
            qv::ui::DialogTemplate dialog;
            dialog.id = kDialog;
            dialog.cx = 200;
            dialog.cy = 100;
            dialog.items = {qv::ui::PushButton(L"Berichte", kButton, 10, 10, 80, 14)};
            static char tag;
            qv::ui::RegisterDialogTemplate(reinterpret_cast<HINSTANCE>(&tag), dialog);
        }
        ASSERT_TRUE(dialog.Create(kDialog, nullptr));
        dialog.ShowWindow(SW_SHOW);
        security.Set(kProfile, 0x1);
        security.Set(kEmptyProfile, 0x1);
        security.Set(kBigProfile, 0x1);
    }
    void TearDown() override {
        if (button.GetSafeHwnd()) button.DestroyWindow();
        dialog.DestroyWindow();
        host->CloseAll();
        delete host;
        qv::RevokeAllRunningServers();
    }
    static void Exec(LPCWSTR sql) { ASSERT_EQ(QvDBExecute(sql, L"Qovaro.QvPool"), S_OK) << qv::ToUtf8(sql); }
    void Click() { button.SendMessage(WM_LBUTTONDOWN, 0, MAKELPARAM(2, 2)); }
    std::vector<std::wstring> MenuTexts() {
        std::vector<std::wstring> texts;
        for (int i = 0; i < button.Menu().GetMenuItemCount(); ++i) {
            CString text;
            button.Menu().GetMenuString(UINT(i), text, MF_BYPOSITION);
            texts.push_back(text.wstr());
        }
        return texts;
    }
    UINT State(UINT id) { return button.Menu().GetMenuState(id, MF_BYCOMMAND); }
    std::vector<std::filesystem::path> ReportFiles() {
        std::vector<std::filesystem::path> files;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(env.dir.file("berichte"), ec))
            files.push_back(e.path());
        return files;
    }

    qvtest::ServerEnvironment env;
    qv::ScriptedInteraction backend;
    qv::ScopedInteraction interaction{&backend};
    CQvFrameHost* host = nullptr;
    FakeSecServer security;
    CDialog dialog;
    CQvReportButton button;
};

TEST_F(Reports, TheButtonListsTheProfilesReportsUnderTheUsersRights) {
    security.Set(kTeilnehmer, 0x3);
    security.Set(kPraesenz, 0x1);
    ASSERT_TRUE(button.Init(kButton, &dialog, kProfile, 3));
    EXPECT_FALSE(button.IsFilled());
    Click();
    ASSERT_TRUE(button.IsFilled());
    // In the order of label and report name; the report without rights is left out.
    EXPECT_EQ(MenuTexts(), (std::vector<std::wstring>{L"Präsenzliste", L"Teilnehmerliste"}));
    ASSERT_EQ(button.Reports().size(), 3u);
    EXPECT_EQ(button.Reports()[0].strLabel, L"Jahresübersicht");
    EXPECT_EQ(button.Reports()[0].nCommandID, 100u);
    EXPECT_FALSE(button.Reports()[0].bInMenu);
    EXPECT_TRUE(State(101) & MF_GRAYED);
    EXPECT_FALSE(State(102) & MF_GRAYED);
    EXPECT_TRUE(button.IsWindowVisible());
    EXPECT_TRUE(button.IsWindowEnabled());

    CQvGUID guid;
    CString text;
    EXPECT_TRUE(button.GetReportByCommand(102, &guid, &text));
    EXPECT_EQ(guid, kTeilnehmer);
    EXPECT_EQ(text, L"Teilnehmerliste");
    EXPECT_FALSE(button.GetReportByCommand(100, &guid, &text));
    EXPECT_FALSE(button.GetReportByCommand(99, &guid, &text));
    EXPECT_FALSE(button.GetReportByCommand(103, &guid, &text));

    // Read once; a changed right enables the greyed entry without a second one.
    security.Set(kPraesenz, 0x2);
    Click();
    EXPECT_EQ(button.UpdateMenu(), S_OK);
    EXPECT_EQ(MenuTexts(), (std::vector<std::wstring>{L"Präsenzliste", L"Teilnehmerliste"}));
    EXPECT_FALSE(State(101) & MF_GRAYED);
    security.Set(kJahr, 0x1);
    button.UpdateMenu();
    EXPECT_EQ(MenuTexts(), (std::vector<std::wstring>{L"Jahresübersicht", L"Präsenzliste", L"Teilnehmerliste"}));
}

TEST_F(Reports, WithoutRightsOnTheProfileTheButtonIsHidden) {
    security.Set(kProfile, 0);
    ASSERT_TRUE(button.Init(kButton, &dialog, kProfile, 3));
    EXPECT_FALSE(button.IsWindowVisible());
}

TEST_F(Reports, AProfileWithoutReportsLeavesTheButtonDisabledAfterTheFirstClick) {
    ASSERT_TRUE(button.Init(kButton, &dialog, kEmptyProfile, 3));
    EXPECT_TRUE(button.IsWindowVisible());
    EXPECT_TRUE(button.IsWindowEnabled());
    Click();
    EXPECT_TRUE(button.IsFilled());
    EXPECT_TRUE(button.IsWindowVisible());
    EXPECT_FALSE(button.IsWindowEnabled());
}

TEST_F(Reports, AtMost101ReportsAreListed) {
    std::wostringstream sql;
    sql << L"INSERT INTO QvReportServerReport (lQvReportServerReportID, lQvReportServerProfileID, strReport, strLabel) VALUES ";
    for (int i = 0; i < 150; ++i) {
        if (i) sql << L", ";
        sql << L"(" << 100 + i << L", 3, 'R" << 1000 + i << L"', 'Bericht " << 1000 + i << L"')";
    }
    Exec(sql.str().c_str());
    ASSERT_TRUE(button.Init(kButton, &dialog, kBigProfile, 3));
    Click();
    ASSERT_EQ(button.Reports().size(), 101u);
    EXPECT_EQ(button.Reports().front().strLabel, L"Bericht 1000");
    EXPECT_EQ(button.Reports().back().nCommandID, 200u);
    EXPECT_EQ(button.Reports().back().strLabel, L"Bericht 1100");
}

TEST_F(Reports, AfterTheStopEventTheMenuStaysAsItIs) {
    security.Set(kTeilnehmer, 0x2);
    ASSERT_TRUE(button.Init(kButton, &dialog, kProfile, 3));
    Click();
    ASSERT_EQ(MenuTexts().size(), 1u);
    CQvEventSource source;
    ASSERT_EQ(source.FireEvent(GUID_QvReportButtonStop, 0, FALSE), S_OK);
    ASSERT_TRUE(qv::ui::PumpUntil([&] { return button.IsStopped() == TRUE; }, 10000));
    security.Set(kPraesenz, 0x2);
    EXPECT_EQ(button.UpdateMenu(), S_FALSE);
    EXPECT_EQ(MenuTexts().size(), 1u);
}

TEST_F(Reports, AReportRunsWithItsParametersIntoAReportFile) {
    CQvReport report(kTeilnehmer);
    ASSERT_NE(report.m_pReport, nullptr);
    EXPECT_EQ(report.SetParameter(L"lKursID", 12), S_OK);
    EXPECT_EQ(report.SetParameter(L"lKursinstanzID", -1), S_OK);
    // No viewer here: the report is written once, and the user is told where.
    backend.ExpectMessageBox(IDOK, L"Teilnehmerliste");
    EXPECT_EQ(report.Run(TRUE), S_OK);
    const auto files = ReportFiles();
    ASSERT_EQ(files.size(), 1u) << "made once";
    const auto boxes = backend.Log().Records(qv::InteractionKind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find(qv::FromUtf8(files[0].string())), std::wstring::npos) << "it names the file";
    EXPECT_EQ(files[0].extension(), ".html");
    EXPECT_EQ(files[0].filename().string().rfind("Kurs_Teilnehmerliste_", 0), 0u);
    std::ifstream in(files[0]);
    const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(html.find("<title>Teilnehmerliste</title>"), std::string::npos);
    EXPECT_NE(html.find("<td>lKursID</td><td>12</td>"), std::string::npos);
    EXPECT_NE(html.find("<td>lKursinstanzID</td><td>-1</td>"), std::string::npos);
    EXPECT_NE(html.find("Ausbildung"), std::string::npos);

    BSTR file = nullptr;
    ASSERT_EQ(report.m_pReport->GetOutputFile(&file), S_OK);
    EXPECT_EQ(qv::ToUtf8(std::wstring(file, SysStringLen(file))), files[0].string());
    SysFreeString(file);
}

// With a display, the desktop's xdg-open (here a script that notes its file) opens the report or
// finds no program for it; only then is the user told where the file is.
TEST_F(Reports, AReportTheDesktopCannotOpenIsNamedWithItsFile) {
    const std::string bin = env.dir.file("bin");
    std::filesystem::create_directories(bin);
    qvtest::ScopedEnv path("PATH", bin + ":/usr/bin:/bin");
    qvtest::ScopedEnv display("DISPLAY", ":99");
    CQvRegistry::SetValue(L"Software\\Qovaro\\QvReportServer", L"OpenReports", 1L);
    for (const int exit : {0, 3}) {
        std::filesystem::remove_all(env.dir.file("berichte"));
        std::ofstream(bin + "/xdg-open") << "#!/bin/sh\necho \"$1\" > " << env.dir.file("opened") << "\nexit " << exit << "\n";
        std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
        if (exit) backend.ExpectMessageBox(IDOK, L"kein Programm");
        CQvReport report(kTeilnehmer);
        EXPECT_EQ(report.Run(TRUE), S_OK);
        const auto files = ReportFiles();
        ASSERT_EQ(files.size(), 1u) << "made once";
        std::ifstream opened(env.dir.file("opened"));
        std::string asked;
        std::getline(opened, asked);
        EXPECT_EQ(asked, files[0].string());
        const auto boxes = backend.Log().Records(qv::InteractionKind::MessageBox);
        ASSERT_EQ(boxes.size(), exit ? 1u : 0u) << exit;
        if (exit) EXPECT_NE(boxes[0].text.find(qv::FromUtf8(files[0].string())), std::wstring::npos);
    }
}

TEST_F(Reports, AReportThatCannotBeMadeIsShownAndLaterCallsFail) {
    backend.ExpectReport();
    CQvReport none{CQvGUID()};
    EXPECT_EQ(none.m_pReport, nullptr);
    EXPECT_EQ(none.SetParameter(L"lKursID", 1), E_FAIL);
    EXPECT_EQ(none.Run(TRUE), E_FAIL);
    auto reports = backend.Log().Records(qv::InteractionKind::Report);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].caption, L"CQvReport::CQvReport");

    backend.ExpectReport();
    CQvReport unknown{CQvGUID(L"B2000000-0000-0000-0000-000000000009")};
    EXPECT_EQ(unknown.Run(TRUE), E_FAIL);
    EXPECT_TRUE(ReportFiles().empty());
}

TEST_F(Reports, TheListIsReadOneAtATimeAndAgainAfterReset) {
    IReportEnum* list = CReportEnumImp::Create(kProfile);
    ASSERT_NE(list, nullptr);
    BSTR report = nullptr, label = nullptr, help = nullptr;
    GUID guid{};
    ULONG fetched = 9;
    EXPECT_EQ(list->Next(2, &report, &label, &help, &guid, &fetched), E_INVALIDARG);
    std::vector<std::wstring> labels;
    while (list->Next(1, &report, &label, &help, &guid, &fetched) == S_OK) {
        EXPECT_EQ(fetched, 1u);
        labels.emplace_back(label, SysStringLen(label));
        SysFreeString(report);
        SysFreeString(label);
        SysFreeString(help);
    }
    EXPECT_EQ(labels, (std::vector<std::wstring>{L"Jahresübersicht", L"Präsenzliste", L"Teilnehmerliste"}));
    EXPECT_EQ(list->Next(1, &report, &label, &help, &guid, &fetched), S_FALSE);
    ASSERT_EQ(list->Reset(), S_OK);
    ASSERT_EQ(list->Next(1, &report, &label, &help, &guid, &fetched), S_OK);
    EXPECT_EQ(CQvGUID(guid), kJahr);
    EXPECT_EQ(std::wstring(help, SysStringLen(help)), L"");
    SysFreeString(report);
    SysFreeString(label);
    SysFreeString(help);
    EXPECT_EQ(list->Skip(1), E_FAIL);
    list->Release();

    // The server lists the same.
    IQvReportServer* server = nullptr;
    ASSERT_EQ(QueryCOMServer(QV_REPORTSERVER_PROGID, IID_IQvReportServer, reinterpret_cast<void**>(&server)), S_OK);
    IReportEnum* served = nullptr;
    ASSERT_EQ(server->EnumReports(kProfile, &served), S_OK);
    ASSERT_EQ(served->Next(1, &report, &label, &help, &guid, &fetched), S_OK);
    EXPECT_EQ(std::wstring(report, SysStringLen(report)), L"Kurs_Jahr");
    SysFreeString(report);
    SysFreeString(label);
    SysFreeString(help);
    served->Release();
    server->Release();
}

TEST_F(Reports, RightsDialogsOfTheProfileAndOfAReport) {
    security.Set(kTeilnehmer, 0x2);
    ASSERT_TRUE(button.Init(kButton, &dialog, kProfile, 3));
    Click();
    button.ShowQvSecSetRightDlg(0);
    button.ShowQvSecSetRightDlg(100);  // its report has no entry in the menu
    button.ShowQvSecSetRightDlg(102);
    button.ShowQvSecSetRightDlg(150);
    ASSERT_EQ(security.dialogs.size(), 2u);
    EXPECT_EQ(CQvGUID(security.dialogs[0].first), kProfile);
    EXPECT_EQ(security.dialogs[0].second, 1);
    EXPECT_EQ(CQvGUID(security.dialogs[1].first), kTeilnehmer);
    EXPECT_EQ(security.dialogs[1].second, 0);
}

}  // namespace
