// The server object's life cycle as the frame drives it: each step once with its trace line, the
// connection of its sinks to the frame, and the rules by which it lets itself be released.
#include "frametest.h"
#include "qvfmodule.h"

namespace frametest {
namespace {

using ServerLifeCycle = FrameTest;

TEST_F(ServerLifeCycle, EachStepRunsOnceAndTracesOnce) {
    auto* server = new CTestServer;
    IQvFInit* init = server->Init();
    server->ExternalRelease();

    EXPECT_EQ(init->CanLoad(), S_OK);
    EXPECT_EQ(init->Init(TRUE), S_OK);
    EXPECT_EQ(init->CanLoad(), E_FAIL);
    EXPECT_EQ(init->UpAndRunning(), S_OK);
    EXPECT_EQ(init->AsyncInit(), S_OK);
    EXPECT_EQ(init->Close(), S_OK);
    EXPECT_EQ(init->ReleaseServers(), S_OK);
    for (auto step : {CQvFServer::StepInit, CQvFServer::StepUpAndRunning, CQvFServer::StepAsyncInit,
                      CQvFServer::StepClose, CQvFServer::StepReleaseServers})
        EXPECT_EQ(server->GetStepState(step), 2);

    EXPECT_EQ(init->Init(TRUE), S_FALSE);
    EXPECT_EQ(init->UpAndRunning(), S_FALSE);
    EXPECT_EQ(init->AsyncInit(), S_FALSE);
    EXPECT_EQ(init->Close(), S_FALSE);
    EXPECT_EQ(init->ReleaseServers(), S_FALSE);

    for (const wchar_t* step : {L"CanLoad()", L"Init()", L"UpAndRunning()", L"AsyncInit()", L"Close()",
                                L"ReleaseServers()"}) {
        const auto lines = TraceWith(L"; " + std::wstring(step) + L" called for: 'Qovaro.Test.FServer'");
        ASSERT_EQ(lines.size(), 1u) << step;
        EXPECT_EQ(lines[0].rfind(L"QvFServer: ", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find(L"; 0x"), std::wstring::npos) << lines[0];
    }
    init->Release();
    EXPECT_EQ(CTestServer::s_nAlive, 0);
}

TEST_F(ServerLifeCycle, InitConnectsBothSinksToTheFrameAndReadsTheFrameValue) {
    host->SetFrameValue(7);
    auto* server = new CTestServer;
    server->SetCaptionID(IDS_TEST_CAPTION);
    IQvFInit* init = server->Init();
    server->ExternalRelease();
    ASSERT_EQ(init->Init(TRUE), S_OK);

    EXPECT_EQ(server->GetFrameValue(), 7);
    EXPECT_EQ(host->ControlSinkCount(), 1u);
    EXPECT_EQ(host->ServerListSinkCount(), 1u);
    EXPECT_NE(server->GetServerListSinkCookie(), 0u);
    EXPECT_NE(server->GetControlSinkCookie(), 0u);
    EXPECT_EQ(server->GetSelfRefCount(), 3);
    EXPECT_EQ(server->GetAdviseRefCount(), 2);
    // Without a server GUID the view dialog is not asked to check rights.
    EXPECT_EQ(server->GetSecurityFrameValue(), 0);
    server->SetServerGUID(GUID_TestViewSecurity);
    EXPECT_EQ(server->GetSecurityFrameValue(), 7);

    init->Close();
    init->ReleaseServers();
    EXPECT_EQ(host->ControlSinkCount(), 0u);
    EXPECT_EQ(host->ServerListSinkCount(), 0u);
    EXPECT_EQ(server->GetSelfRefCount(), 1);
    init->Release();
    EXPECT_EQ(CTestServer::s_nAlive, 0);
}

TEST_F(ServerLifeCycle, InitWithoutTheFrameMakesNoFrameCall) {
    host->SetFrameValue(7);
    auto* server = new CTestServer;
    IQvFInit* init = server->Init();
    server->ExternalRelease();
    ASSERT_EQ(init->Init(FALSE), S_OK);
    EXPECT_EQ(server->GetFrameValue(), 0);
    EXPECT_EQ(server->GetServerListSinkCookie(), 0u);
    EXPECT_EQ(server->GetControlSinkCookie(), 0u);
    EXPECT_EQ(host->ControlSinkCount(), 0u);
    init->Release();
    EXPECT_EQ(CTestServer::s_nAlive, 0);
}

TEST_F(ServerLifeCycle, AServerHeldOnlyByItsOwnConnectionsLetsThemGoAndDies) {
    auto* server = new CTestServer;
    IQvFInit* init = server->Init();
    server->ExternalRelease();
    ASSERT_EQ(init->Init(TRUE), S_OK);
    ASSERT_EQ(host->ControlSinkCount(), 1u);
    // The frame's connections are all that is left.
    init->Release();
    EXPECT_EQ(CTestServer::s_nAlive, 0);
    EXPECT_EQ(host->ControlSinkCount(), 0u);
    EXPECT_EQ(host->ServerListSinkCount(), 0u);
    EXPECT_EQ(TraceWith(L"ReleaseServers() called for: 'Qovaro.Test.FServer'").size(), 1u);
    EXPECT_EQ(TraceWith(L"OnFinalRelease() called for: 'Qovaro.Test.FServer'").size(), 1u);
}

TEST_F(ServerLifeCycle, WithoutKeepAliveTheFrameIsAskedToReleaseItsServer) {
    auto* server = new CTestServer;
    IQvFInit* init = server->Init();
    ASSERT_EQ(init->Init(TRUE), S_OK);
    ASSERT_EQ(server->GetSelfRefCount(), 3);
    // Four references: the creation's, init's and the two connections.
    EXPECT_EQ(init->SetKeepAlive(FALSE), S_OK);
    EXPECT_TRUE(releaseRequests.empty());
    server->ExternalRelease();
    ASSERT_EQ(releaseRequests.size(), 1u);
    EXPECT_EQ(releaseRequests[0], CLSID_TestServer);
    EXPECT_EQ(CTestServer::s_nAlive, 1);

    // Setting keep-alive asks once more, as only the host holds it; from then on it is not asked.
    init->SetKeepAlive(TRUE);
    EXPECT_EQ(releaseRequests.size(), 2u);
    init->AddRef();
    init->Release();
    EXPECT_EQ(releaseRequests.size(), 2u);
    init->Close();
    init->ReleaseServers();
    init->Release();
    EXPECT_EQ(CTestServer::s_nAlive, 0);
}

TEST_F(ServerLifeCycle, SettingKeepAliveWhenOnlyTheHostHoldsItAsksForRelease) {
    auto* server = new CTestServer;
    IQvFInit* init = server->Init();
    server->ExternalRelease();
    ASSERT_EQ(init->Init(TRUE), S_OK);
    // init's reference and the two connections: as many as the server counts its own.
    init->SetKeepAlive(TRUE);
    EXPECT_EQ(releaseRequests.size(), 1u);
    init->Close();
    init->ReleaseServers();
    init->Release();
}

TEST_F(ServerLifeCycle, ProgIDModuleFileAndLabelsForTheFrame) {
    auto* server = new CTestServer;
    IQvFInit* init = server->Init();
    server->ExternalRelease();

    BSTR progId = nullptr;
    EXPECT_EQ(init->GetProgID(&progId), S_OK);
    EXPECT_EQ(Str(progId), TEST_SERVER_PROGID);
    SysFreeString(progId);
    // Without a caption id the caption is the ProgID.
    CString caption;
    EXPECT_EQ(server->GetCaption(caption), S_OK);
    EXPECT_EQ(caption, TEST_SERVER_PROGID);
    server->SetCaptionID(IDS_TEST_CAPTION);
    EXPECT_EQ(server->GetCaption(caption), S_OK);
    EXPECT_EQ(caption, L"Ausbildung");
    server->SetCaptionID(9999);
    EXPECT_EQ(server->GetCaption(caption), E_FAIL);

    BSTR drive = nullptr, folder = nullptr, name = nullptr, ext = nullptr;
    EXPECT_EQ(init->GetModuleFile(&drive, &folder, &name, &ext), S_OK);
    EXPECT_EQ(Str(drive), L"");
    EXPECT_EQ(Str(folder) + Str(name) + Str(ext), QvFGetModuleFileName().wstr());
    EXPECT_EQ(Str(name), L"qvframebase_test");
    for (BSTR b : {drive, folder, name, ext}) SysFreeString(b);

    BSTR guid = nullptr;
    server->SetServerGUID(GUID_TestViewSecurity);
    EXPECT_EQ(init->GetServerGUID(&guid), S_OK);
    EXPECT_EQ(CQvGUID(Str(guid).c_str()), CQvGUID(GUID_TestViewSecurity));
    SysFreeString(guid);

    long version = 0;
    IQvFIDLVersion* idl = nullptr;
    ASSERT_EQ(init->QueryInterface(IID_IQvFIDLVersion, reinterpret_cast<void**>(&idl)), S_OK);
    EXPECT_EQ(idl->GetVersion(&version), S_OK);
    EXPECT_EQ(version, 240);
    idl->Release();

    EXPECT_EQ(init->put_ServerFlag(FALSE), S_OK);
    BOOL flag = TRUE;
    EXPECT_EQ(init->get_ServerFlag(&flag), S_OK);
    EXPECT_FALSE(flag);
    init->Release();
}

TEST_F(ServerLifeCycle, ErrorInfoShowsTheTextWithTheStopIcon) {
    auto* server = new CTestServer;
    IQvErrorInfo* info = nullptr;
    ASSERT_EQ(server->ExternalQueryInterface(&IID_IQvErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    server->ExternalRelease();
    backend.ExpectMessageBox(IDOK);
    EXPECT_EQ(info->ShowError(), S_OK);
    const auto boxes = backend.Log().Records(qv::InteractionKind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].type & MB_ICONMASK, MB_ICONSTOP);
    info->Release();
}

}  // namespace
}  // namespace frametest
