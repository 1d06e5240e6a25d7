// The platform library: installation kind, display names, the active Mandant and the navigation
// history.
#include "nqcommon.h"
#include "nqemail.h"
#include "qvdblookup.h"
#include "qvregvalue.h"
#include "servertest.h"
#include "smtpstandin.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

enum EPersonKursStatus : LONG { eStatusPlanned = 0, eStatusWaiting = 3, eStatusDeregistered = 5 };

namespace {

class InstallationKind : public ::testing::Test {
protected:
    void SetUp() override { qv::nq::SetEnterpriseEdition(std::nullopt); }
    void TearDown() override { qv::nq::SetEnterpriseEdition(std::nullopt); }
    qvtest::TempDir dir_;
    qvtest::ScopedEnv env_{"QV_REGISTRY", dir_.file("registry.db")};
};

TEST_F(InstallationKind, LocalUnlessTheMachineSaysCentral) {
    EXPECT_FALSE(NQ_IsEnterpriseEdition());
    qv::nq::SetEnterpriseEdition(std::nullopt);
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"EnterpriseEdition", 1L, HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(NQ_IsEnterpriseEdition());
}

TEST_F(InstallationKind, FixedWhileTheProcessRuns) {
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"EnterpriseEdition", 1L, HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(NQ_IsEnterpriseEdition());
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"EnterpriseEdition", 0L, HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(NQ_IsEnterpriseEdition()) << "a changed setting waits for the next start";
    qv::nq::SetEnterpriseEdition(false);
    EXPECT_FALSE(NQ_IsEnterpriseEdition());
}

TEST(StatusNames, DependOnRunRoleAndLanguage) {
    struct Case {
        EPersonKursStatus status;
        long run;
        BOOL participant;
        const wchar_t* language;
        const wchar_t* name;
    };
    const Case cases[] = {
        {eStatusPlanned, -1, TRUE, L"", L"Geplant"},
        {eStatusPlanned, 17, TRUE, L"", L"Angemeldet"},
        {eStatusWaiting, 17, TRUE, L"", L"auf Warteliste"},
        {eStatusWaiting, 17, FALSE, L"DE", L"Reserve"},
        {eStatusDeregistered, 17, FALSE, L"", L"Abgemeldet"},
        {eStatusPlanned, 17, TRUE, L"FR", L"Inscrit"},
        {eStatusPlanned, -1, TRUE, L"fr", L"Planifié"},
        {eStatusWaiting, 17, FALSE, L"FR", L"Réserve"},
        {eStatusPlanned, 17, TRUE, L"IT", L"Iscritto"},
        {eStatusWaiting, 17, TRUE, L"IT", L"In lista d'attesa"},
        {eStatusDeregistered, 17, TRUE, L"IT", L"Disiscritto"},
        {eStatusDeregistered, 17, TRUE, L"RU", L"Abgemeldet"},
        {static_cast<EPersonKursStatus>(8), 17, TRUE, L"FR", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NQ_GetPersonKursStatusBezeichnung(c.status, c.run, c.participant, c.language), c.name)
            << int(c.status) << " " << CString(c.language).ToUtf8();
}

// The lines of a message as the server received it (CRLF ends).
std::vector<std::string> Lines(const std::string& data) {
    std::vector<std::string> out;
    for (std::size_t pos = 0; pos < data.size();) {
        const auto end = data.find("\r\n", pos);
        out.push_back(data.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (end == std::string::npos) break;
        pos = end + 2;
    }
    return out;
}

TEST(Mail, GoesOutAsAStandardMessageThatDecodesToTheTextByteForByte) {
    qvtest::SmtpStandIn smtp;
    NQMailSettings settings;
    settings.strServer = L"127.0.0.1";
    settings.lPort = smtp.Port();
    settings.strSender = L"kurse@qovaro.test";
    settings.lTimeout = 5;
    CString subject;
    for (int i = 0; i < 12; ++i) subject += L"Kursänderungen für Mandant Zürich, ";
    subject += L"Änderungen";
    std::wstring longLine;
    while (longLine.size() < 2048) longLine += L"Grüsse=à tutti ";
    const CString body = CString(longLine.c_str()) + L"\n.Punkt am Anfang\r\nBlank am Ende \n\tTab\n";
    CEMail mail(settings);
    ASSERT_EQ(mail.SendMail(L"hans@fw-nord.ch", L"anna@fw.ch", L"", subject, body), S_OK) << mail.GetLastErrorText().ToUtf8();
    const auto mails = smtp.Mails();
    ASSERT_EQ(mails.size(), 1u);
    const std::string& data = mails[0].data;
    for (const auto& line : Lines(data)) EXPECT_LE(line.size(), 998u) << line.substr(0, 60);
    for (const auto& line : Lines(data.substr(0, data.find("\r\n\r\n")))) EXPECT_LE(line.size(), 78u) << line;
    EXPECT_NE(mails[0].Header("Date"), "");
    EXPECT_EQ(mails[0].Header("Message-ID").back(), '>');
    EXPECT_NE(mails[0].Header("Message-ID").find("@qovaro.test>"), std::string::npos);
    std::string expected = CString(longLine.c_str()).ToUtf8() + "\r\n.Punkt am Anfang\r\nBlank am Ende \r\n\tTab\r\n";
    EXPECT_EQ(mails[0].Body(), expected);
    // Nothing goes out when one of the addresses is none.
    for (const wchar_t* bad : {L"a@.ch", L"@fw.ch", L"a@fw", L"a@fw.", L"a@b@fw.ch", L"a b@fw.ch", L"<a@fw.ch>"}) {
        EXPECT_LT(mail.SendMail(L"hans@fw-nord.ch", bad, L"", subject, body), 0) << CString(bad).ToUtf8();
        EXPECT_NE(mail.GetLastErrorText().Find(bad), -1) << CString(bad).ToUtf8();
    }
    EXPECT_EQ(smtp.Mails().size(), 1u);
    EXPECT_EQ(mail.SendMail(L"a@b.c", L"", L"", subject, body), S_OK) << "the shortest address";
    EXPECT_EQ(smtp.Mails().size(), 2u);

    // A strict parser takes it and decodes subject and body to the text as it was given.
    if (std::system("python3 -c 'import email.policy' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    qvtest::TempDir dir;
    { std::ofstream(dir.file("mail.eml"), std::ios::binary) << data; }
    const std::string script =
        "import email, email.policy, sys\n"
        "m = email.message_from_bytes(open(sys.argv[1], 'rb').read(), policy=email.policy.strict)\n"
        "assert not m.defects, m.defects\n"
        "for h in ('Date', 'Message-ID', 'From', 'To', 'Subject'): assert m[h] is not None, h\n"
        "assert m['Date'].datetime is not None\n"
        "sys.stdout.buffer.write((str(m['Subject']) + '|' + m.get_content()).encode('utf-8'))\n";
    { std::ofstream(dir.file("check.py")) << script; }
    FILE* pipe = ::popen(("python3 " + dir.file("check.py") + " " + dir.file("mail.eml") + " 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string parsed;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) parsed.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0) << parsed;
    EXPECT_EQ(parsed, subject.ToUtf8() + "|" + expected);
}

TEST(Mail, AServerSilentAfterTheDataEndsTheSendWithinTheTimeLimit) {
    qvtest::SmtpStandIn smtp;
    smtp.SilentAfterData(true);
    NQMailSettings settings;
    settings.strServer = L"127.0.0.1";
    settings.lPort = smtp.Port();
    settings.strSender = L"kurse@qovaro.test";
    settings.lTimeout = 2;
    CEMail mail(settings);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_LT(mail.SendMail(L"hans@fw-nord.ch", L"", L"", L"Kurs", L"Text"), 0);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(settings.lTimeout + 2))
        << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    // The silence is named once, with its time limit.
    const std::string error = mail.GetLastErrorText().ToUtf8();
    const auto at = error.find("did not answer within 2 s");
    EXPECT_NE(at, std::string::npos) << error;
    EXPECT_EQ(error.find("did not answer", at + 1), std::string::npos) << error;
}

TEST(PersonNames, FromTheSuitesDatabase) {
    qvtest::ServerEnvironment env;
    ASSERT_EQ(QvDBExecute(L"INSERT INTO Person (lPersonID, strName, strVorname) VALUES (7, 'Muster', 'Hans')",
                          L"Qovaro.NQ2"),
              S_OK);
    const CString name = NQ_GetPersonBezeichnung(7, L"");
    EXPECT_NE(name.Find(L"Muster"), -1) << name.ToUtf8();
    EXPECT_NE(name.Find(L"Hans"), -1) << name.ToUtf8();
    EXPECT_EQ(NQ_GetPersonBezeichnung(8, L"?"), L"?") << "no such person";
}

TEST(ActiveMandant, IsTheChosenOneOnlyWhileTheDatabaseHoldsItAsActive) {
    qvtest::ServerEnvironment env;
    ASSERT_EQ(QvDBExecute(L"INSERT INTO Mandant (lMandantID, strMandantName, fActive) VALUES (7, 'Talwil', 1), "
                          L"(8, 'Bergwil', 0)",
                          L"Qovaro.NQ2"),
              S_OK);
    EXPECT_EQ(NQ_GetActMandantID(), 0);
    EXPECT_FALSE(NQ_IsMandantSelected(false));
    struct Case {
        long chosen;
        long active;
    };
    for (const Case c : {Case{7, 7}, Case{8, 0}, Case{99, 0}, Case{0, 0}}) {
        CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"ActMandantID", c.chosen);
        long id = -1;
        EXPECT_EQ(NQ_GetActMandantID(id), c.active) << c.chosen;
        EXPECT_EQ(id, c.active);
        EXPECT_EQ(NQ_IsMandantSelected(false) != FALSE, c.active != 0);
    }
    // The installation's own Mandant need not be active.
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"MasterMandantID", 8L, HKEY_LOCAL_MACHINE);
    long master = -1;
    EXPECT_EQ(NQ_GetMasterMandantID(master), 8);
    EXPECT_EQ(master, 8);
}

TEST(NavigationHistory, StepsBackAndForwardAndANewEntryDropsTheStepsAhead) {
    qv::nq::ClearNavigationHistory();
    std::vector<NQNavigateEntry> visited;
    qv::nq::SetNavigator([&](const NQNavigateEntry& e) -> long {
        visited.push_back(e);
        NQ_AddIDToNavigate(e.strView, 999, 0);  // what the view records again while it navigates
        return S_OK;
    });
    EXPECT_EQ(NQ_NavigateBackward(), S_FALSE);
    NQ_AddViewToNavigate(L"Qovaro.NQ2.KursView");
    NQ_AddIDToNavigate(L"Qovaro.NQ2.KursView", 12, 0);
    NQ_AddIDToNavigate(L"Qovaro.NQ2.KursView", 12, 0);  // the same again is no new step
    NQ_AddTabToNavigate(L"Kurs", L"Daten");
    NQ_AddIDToNavigate(L"Qovaro.NQ2.KursView", 13, 4);
    int current = -1;
    ASSERT_EQ(qv::nq::NavigationHistory(&current).size(), 4u);
    EXPECT_EQ(current, 3);

    EXPECT_EQ(NQ_NavigateBackward(), S_OK);
    EXPECT_EQ(NQ_NavigateBackward(), S_OK);
    ASSERT_EQ(visited.size(), 2u);
    EXPECT_EQ(visited[0].kind, NQNavigateEntry::Tab);
    EXPECT_EQ(visited[0].strTab, L"Daten");
    EXPECT_EQ(visited[1].kind, NQNavigateEntry::Record);
    EXPECT_EQ(visited[1].lID, 12);
    EXPECT_EQ(NQ_NavigateForward(), S_OK);
    EXPECT_EQ(visited.back().kind, NQNavigateEntry::Tab);

    NQ_AddIDToNavigate(L"Qovaro.NQ2.KursView", 14, 0);
    const auto history = qv::nq::NavigationHistory(&current);
    ASSERT_EQ(history.size(), 4u);
    EXPECT_EQ(history.back().lID, 14);
    EXPECT_EQ(current, 3);
    EXPECT_EQ(NQ_NavigateForward(), S_FALSE);
    qv::nq::SetNavigator(nullptr);
    qv::nq::ClearNavigationHistory();
}

}  // namespace
