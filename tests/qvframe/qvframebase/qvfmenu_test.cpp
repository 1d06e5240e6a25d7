// Menus and accelerators of a server in the frame, the routing of their commands back to the
// server, and its settings pages.
#include "frametest.h"

namespace frametest {
namespace {

class ServerMenus : public RunningServerTest {
protected:
    void SetUp() override {
        RunningServerTest::SetUp();
        StartServer();
    }
    CQvFrameMenuNode* Node(LPCWSTR name) { return host->Menu().Find(name); }
    std::vector<std::wstring> Names(CQvFrameMenuPopup& popup) {
        std::vector<std::wstring> names;
        for (CQvFrameMenuNode* n : popup.Children()) names.push_back(n->m_strName.wstr());
        return names;
    }
};

TEST_F(ServerMenus, AddMenuBuildsTheFrameMenuFromTheResource) {
    const long applied = host->Menu().GetApplyCount();
    ASSERT_TRUE(server->AddMenu(IDR_TEST_MENU, FALSE));
    EXPECT_EQ(host->Menu().GetApplyCount(), applied + 1);

    auto* kurse = static_cast<CQvFrameMenuPopup*>(Node(L"kurs-menu"));
    ASSERT_NE(kurse, nullptr);
    EXPECT_EQ(kurse->m_strCaption, L"&Kurse");
    EXPECT_EQ(kurse->m_lOrder, 3);
    EXPECT_EQ(Names(*kurse), (std::vector<std::wstring>{L"KURS-NEU", L"KURS-DEL"}));
    auto* neu = static_cast<CQvFrameMenuItem*>(Node(L"KURS-NEU"));
    EXPECT_EQ(neu->m_strCaption, L"&Neu");
    EXPECT_EQ(neu->m_strPrompt, L"Neuen Kurs anlegen");
    EXPECT_EQ(neu->m_lOrder, 1);
    EXPECT_FALSE(neu->m_bGroupStart);
    // The separator starts a group with the next entry.
    EXPECT_TRUE(Node(L"KURS-DEL")->m_bGroupStart);
    // Not always on, and the server's commands are not on before its view is shown.
    EXPECT_FALSE(neu->m_bEnabled);
    EXPECT_EQ(Names(host->Menu().Root()), (std::vector<std::wstring>{L"KURS-MENU", L"KURS-BERICHTE"}));

    EXPECT_EQ(server->GetCommandList().size(), 3u);
    EXPECT_EQ(server->GetPopupList().size(), 2u);
}

TEST_F(ServerMenus, APopupWithoutPositionFailsWithReportsAndKeepsWhatWasAdded) {
    backend.ExpectReport();
    backend.ExpectReport();
    EXPECT_FALSE(server->AddMenu(IDR_TEST_MENU_BROKEN, TRUE));
    const auto reports = backend.Log().Records(qv::InteractionKind::Report);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].caption, L"CQvFServer::AddSubMenu");
    EXPECT_EQ(reports[1].caption, L"CQvFServer::AddMenu");
    EXPECT_EQ(reports[0].report.kind, 1);
    EXPECT_EQ(reports[0].report.category, L"Default");
    EXPECT_NE(Node(L"KURS-OK"), nullptr);
    EXPECT_NE(Node(L"KURS-GUT"), nullptr);
    EXPECT_EQ(Node(L"KURS-KAPUTT"), nullptr);
    EXPECT_EQ(Node(L"KURS-AFTER"), nullptr);
}

TEST_F(ServerMenus, CommandsAddedWithoutAlwaysRunOnlyWhileCommandsAreOn) {
    ASSERT_TRUE(server->AddMenu(IDR_TEST_MENU, FALSE));
    host->FireMenuCommand(L"KURS-NEU");
    EXPECT_TRUE(server->calls.empty());

    server->SetCommandsEnabled(TRUE);
    host->FireMenuCommand(L"kurs-neu");
    EXPECT_EQ(server->calls, (std::vector<std::wstring>{L"OnMenuCommand:kurs-neu", L"handler:KURS-NEU"}));
}

TEST_F(ServerMenus, CommandsAddedAlwaysRunAlways) {
    ASSERT_TRUE(server->AddMenu(IDR_TEST_MENU, TRUE));
    EXPECT_TRUE(static_cast<CQvFrameMenuItem*>(Node(L"KURS-NEU"))->m_bEnabled == FALSE);
    host->FireMenuCommand(L"KURS-NEU");
    EXPECT_EQ(server->calls, (std::vector<std::wstring>{L"OnMenuCommand:KURS-NEU", L"handler:KURS-NEU"}));
}

TEST_F(ServerMenus, UnknownCommandsReachNothingWhileNotificationsReachEveryName) {
    server->SetCommandsEnabled(TRUE);
    ASSERT_TRUE(server->AddMenu(IDR_TEST_MENU, TRUE));
    // SAVE has a handler but is no command of the server.
    host->FireMenuCommand(L"SAVE");
    host->FireAccelCommand(L"KURS-NEU");
    EXPECT_TRUE(server->calls.empty());

    host->FireMenuNotify(L"KURS-NEU");
    host->FireAccelNotify(L"UNBEKANNT");
    EXPECT_EQ(server->calls, (std::vector<std::wstring>{L"OnMenuNotify:KURS-NEU", L"notify:KURS-NEU",
                                                         L"OnAccelNotify:UNBEKANNT"}));
}

TEST_F(ServerMenus, AcceleratorsAreRecordedOnceAndRouted) {
    ASSERT_TRUE(server->SetAccel(FCONTROL, 'N', L"KURS-NEU", FALSE));
    ASSERT_TRUE(server->SetAccel(FCONTROL | FSHIFT, 'N', L"kurs-neu", TRUE));
    ASSERT_EQ(server->GetAccelList().size(), 1u);
    EXPECT_EQ(server->GetAccelList()[0]->m_lValue, 1);
    ASSERT_EQ(host->Accelerators().size(), 1u);
    EXPECT_EQ(host->FindAccel('N', FCONTROL | FSHIFT), L"KURS-NEU");

    host->FireAccelCommand(L"KURS-NEU");
    EXPECT_EQ(server->calls, (std::vector<std::wstring>{L"OnAccelCommand:KURS-NEU", L"handler:KURS-NEU"}));

    ASSERT_TRUE(server->AddAccel(L"KURS-NEU", 0, 0));
    EXPECT_EQ(host->FindAccel('N', FCONTROL | FSHIFT), L"");
    ASSERT_TRUE(server->RemoveAccel(L"KURS-NEU"));
    EXPECT_TRUE(server->GetAccelList().empty());
    EXPECT_TRUE(host->Accelerators().empty());
}

TEST_F(ServerMenus, MenusOfTwoServersMergeByName) {
    ASSERT_TRUE(server->AddMenu(IDR_TEST_MENU, TRUE));
    auto* other = new CTestServer;
    IQvFInit* otherInit = other->Init();
    other->ExternalRelease();
    ASSERT_EQ(otherInit->Init(TRUE), S_OK);
    ASSERT_TRUE(other->AddMenu(IDR_TEST_MENU_OTHER, TRUE));

    auto* kurse = static_cast<CQvFrameMenuPopup*>(Node(L"KURS-MENU"));
    EXPECT_EQ(Names(*kurse), (std::vector<std::wstring>{L"KURS-NEU", L"KURS-DEL", L"OTHER-NEU"}));
    // The other server goes; the shared popup stays with what the first one put there.
    otherInit->Close();
    otherInit->ReleaseServers();
    otherInit->Release();
    ASSERT_NE(Node(L"KURS-MENU"), nullptr);
    EXPECT_EQ(Names(*kurse), (std::vector<std::wstring>{L"KURS-NEU", L"KURS-DEL"}));
}

TEST_F(ServerMenus, RemoveMenuAfterCloseRemovesWithoutApplying) {
    ASSERT_TRUE(server->AddMenu(IDR_TEST_MENU, TRUE));
    const long applied = host->Menu().GetApplyCount();
    ASSERT_TRUE(server->RemoveMenu(IDR_TEST_MENU));
    EXPECT_EQ(host->Menu().GetApplyCount(), applied + 1);
    EXPECT_EQ(Node(L"KURS-NEU"), nullptr);

    ASSERT_TRUE(server->AddMenu(IDR_TEST_MENU, TRUE));
    ASSERT_EQ(init->Close(), S_OK);
    const long beforeRemove = host->Menu().GetApplyCount();
    ASSERT_TRUE(server->RemoveMenu(IDR_TEST_MENU));
    EXPECT_EQ(host->Menu().GetApplyCount(), beforeRemove);
    EXPECT_EQ(Node(L"KURS-MENU"), nullptr);
    EXPECT_EQ(Node(L"KURS-LISTE"), nullptr);
    EXPECT_TRUE(server->GetCommandList().empty());
    EXPECT_TRUE(server->GetPopupList().empty());
}

TEST_F(ServerMenus, ReleasingTheServersTakesItsMenusAndAcceleratorsFromTheFrame) {
    ASSERT_TRUE(server->AddMenu(IDR_TEST_MENU, TRUE));
    ASSERT_TRUE(server->SetAccel(FCONTROL, 'N', L"KURS-NEU", TRUE));
    init->Close();
    init->ReleaseServers();
    EXPECT_EQ(host->Menu().Find(L"KURS-MENU"), nullptr);
    EXPECT_EQ(host->Menu().Find(L"KURS-NEU"), nullptr);
    EXPECT_TRUE(host->Accelerators().empty());
}

TEST_F(ServerMenus, SettingsPagesAreCreatedByIndex) {
    IUnknown* page = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(init->CreateSetupPage(1, &page), S_FALSE);
    EXPECT_EQ(page, reinterpret_cast<IUnknown*>(1));
    EXPECT_EQ(init->CreateSetupPage(-1, &page), S_FALSE);

    ASSERT_EQ(init->CreateSetupPage(0, &page), S_OK);
    IQvFSetupViewControl* control = nullptr;
    ASSERT_EQ(page->QueryInterface(IID_IQvFSetupViewControl, reinterpret_cast<void**>(&control)), S_OK);
    BSTR caption = nullptr;
    EXPECT_EQ(control->GetCaption(&caption), S_OK);
    EXPECT_EQ(Str(caption), L"Kurse");
    SysFreeString(caption);
    control->Release();
    page->Release();
}

}  // namespace
}  // namespace frametest
