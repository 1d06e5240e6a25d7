// The help client against the help server stand-in and its installed help texts.
#include "qvhelp.h"
#include "qvhelpserver.h"
#include "qvhrtrace.h"
#include "qvregistry.h"
#include "servertest.h"
#include "tempdir.h"
#include "utf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

class Help : public qvtest::ClientTest {
protected:
    void StartHelpServer() { ASSERT_EQ(qvtest::StartServer(QV_HELP_SERVER, QV_HELPSERVER_PROGID), S_OK); }
    IQvHelpServer* Server() { return qvtest::RunningServer<IQvHelpServer>(QV_HELPSERVER_PROGID, IID_IQvHelpServer); }

    std::wstring Recorded(long index) {
        IQvHelpServer* server = Server();
        if (!server) return L"<no server>";
        BSTR file = nullptr;
        server->GetRecordedHelp(index, &file);
        std::wstring result = file ? file : L"";
        SysFreeString(file);
        server->Release();
        return result;
    }

    // Never a browser from a test, whatever display the machine has.
    qvtest::ScopedEnv platform{"QT_QPA_PLATFORM", "offscreen"};
};

TEST_F(Help, ShowingATopicWithoutADisplayRecordsItsInstalledFile) {
    StartHelpServer();
    CQvHelp help;
    EXPECT_EQ(help.ShowHelp(L"help_kurs_tab_teilnehmer"), S_OK);
    const std::wstring file = Recorded(0);
    EXPECT_TRUE(file.ends_with(L"/help/HELP_KURS_TAB_TEILNEHMER.html")) << qv::ToUtf8(file);
    EXPECT_TRUE(std::filesystem::exists(qv::ToUtf8(file)));
    EXPECT_EQ(Recorded(1), L"");
}

TEST_F(Help, UnknownTopicsAndPathsShowNothingAndFail) {
    StartHelpServer();
    QvClearHRErrorList();
    CQvHelp help;
    const HRESULT notFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(help.ShowHelp(L"HELP_GIBT_ES_NICHT"), notFound);
    EXPECT_EQ(help.ShowHelp(L"../help/HELP_KURS"), notFound);
    EXPECT_EQ(help.ShowHelp(L""), notFound);
    EXPECT_EQ(Recorded(0), L"");
    // Failures are traced, never shown.
    EXPECT_FALSE(QvGetHRErrorList().empty());
    EXPECT_TRUE(backend.Log().Records().empty());
}

TEST_F(Help, TheHelpTextIsTheFirstParagraphOfTheTopicOfKeyOneElseKeyTwo) {
    StartHelpServer();
    CQvHelp help;
    EXPECT_EQ(help.GetHelpText(L"HELP_KURS_TAB_TEILNEHMER", L"Teilnehmer"),
              CString(L"Die angemeldeten Personen einer Austragung mit ihrem Status & ihren Bemerkungen."));
    EXPECT_EQ(help.GetHelpText(L"Unbekannt", L"HELP_KURS_REPORTS"),
              CString(L"Teilnehmerlisten, Präsenzlisten und Kursausweise einer Austragung."));
    EXPECT_EQ(help.GetHelpText(L"Unbekannt", L"Auch unbekannt"), CString());
}

TEST_F(Help, TheRegistryCanNameAnotherHelpFolder) {
    const std::string folder = dir.file("hilfe");
    std::filesystem::create_directory(folder);
    std::ofstream(folder + "/Eigenes.html") << "<html><body><h1>T</h1>\n<p class=\"kurz\">Eine   eigene\n"
                                               "<b>Hilfe</b> &lt;neu&gt;</p><p>Zweiter</p></body></html>";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\Qovaro\\QvHelpServer", &key), ERROR_SUCCESS);
    const std::wstring path = qv::FromUtf8(folder);
    ASSERT_EQ(RegSetValueExW(key, L"HelpPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                             DWORD((path.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);

    StartHelpServer();
    CQvHelp help;
    EXPECT_EQ(help.GetHelpText(L"eigenes", L""), CString(L"Eine eigene Hilfe <neu>"));
    EXPECT_EQ(help.GetHelpText(L"HELP_KURS", L""), CString());
    EXPECT_EQ(help.ShowHelp(L"EIGENES"), S_OK);
    EXPECT_EQ(Recorded(0), path + L"/Eigenes.html");
}

TEST_F(Help, WithoutAHelpServerTheClientAnswersNothing) {
    CQvHelp help;
    EXPECT_EQ(help.GetHelpText(L"HELP_KURS", L"Kurse"), CString());
    EXPECT_EQ(help.ShowHelp(L"HELP_KURS"), E_FAIL);
    EXPECT_EQ(help.m_pServer, nullptr);
    EXPECT_TRUE(backend.Log().Records().empty());
}

}  // namespace
