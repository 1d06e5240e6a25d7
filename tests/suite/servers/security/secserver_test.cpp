// The security server through the rights client: signing in, the rights of the administrator and
// of the course leader, grants on new records, masks with the top bit, the transaction of the
// caller and the rights dialogs.
#include "adosession.h"
#include "qvadoconnection.h"
#include "qvcomserver.h"
#include "qvsec.h"
#include "scripted.h"
#include "standinfixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

const CQvGUID kModule(L"{5F03AD81-548C-4F27-8FDA-45FC8E49B17C}");
const CQvGUID kSettingsPage(L"{4E96EEEA-F268-4E0C-A6C4-0AB9ED892746}");
const CQvGUID kCourseFunction(L"{00D42EE5-F393-45EB-BCDF-5873430E1432}");
const CQvGUID kRunFunction(L"{FB4C0C46-8C91-4F55-BA7B-9E5FEBB97358}");
const CQvGUID kCourse(L"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9");
const CQvGUID kRun(L"1B2C3D4E-5F60-4172-8384-A5B6C7D8E9F0");

class SecServer : public ::testing::Test {
protected:
    void SetUp() override {
        script.OnFailure([](const std::string& m) { ADD_FAILURE() << m; });
        ASSERT_EQ(env.Start(QVSECSERVER_PROGID), S_OK);
    }

    HRESULT Logon(const wchar_t* user) {
        IQvSecUser* pUser = nullptr;
        HRESULT hr = QueryCOMServer(QVSECSERVER_PROGID, IID_IQvSecUser, reinterpret_cast<void**>(&pUser));
        if (FAILED(hr)) return hr;
        BSTR b = SysAllocString(user);
        hr = pUser->Logon(b);
        SysFreeString(b);
        pUser->Release();
        return hr;
    }
    static DWORD Rights(const CQvGUID& function) {
        CQvSec sec;
        EXPECT_EQ(sec.LoadRights(function), S_OK);
        return sec.GetRights();
    }
    static DWORD ObjectRights(const CQvGUID& object, const CQvGUID& key) {
        CQvSec sec;
        EXPECT_EQ(sec.LoadRights(object, key.GetGUID(TRUE)), S_OK);
        return sec.GetRights();
    }

    qvtest::StandInEnvironment env;
    qv::ScriptedInteraction script;
    qv::ScopedInteraction interaction{&script};
};

TEST_F(SecServer, NobodySignedInHasNoRights) {
    CString name = L"x", userId = L"x";
    long id = -1;
    EXPECT_EQ(CQvSec().GetUser(&name, &userId, &id), S_FALSE);
    EXPECT_TRUE(name.IsEmpty());
    EXPECT_EQ(id, 0);
    EXPECT_EQ(Rights(kModule), 0u);
    EXPECT_EQ(qv::suite::GetSystemID(), 0);
}

TEST_F(SecServer, SigningInByNameIdTextOrNumber) {
    ASSERT_EQ(Logon(L"kursleiter"), S_OK);
    CString name, userId;
    long id = 0;
    EXPECT_EQ(CQvSec().GetUser(&name, &userId, &id), S_OK);
    EXPECT_EQ(name, L"Kursleiter");
    EXPECT_EQ(userId.ToUtf8(), qvtest::StandInEnvironment::kLeaderUserID);
    EXPECT_EQ(id, 2);
    EXPECT_EQ(qv::suite::GetSystemID(), 2) << "the database's system id follows the user";

    ASSERT_EQ(Logon(CString(qvtest::StandInEnvironment::kAdminUserID)), S_OK);
    EXPECT_EQ(qv::suite::GetSystemID(), 1);
    ASSERT_EQ(Logon(L"2"), S_OK);
    EXPECT_EQ(qv::suite::GetSystemID(), 2);

    // An unknown user signs the last one out.
    EXPECT_EQ(Logon(L"Niemand"), E_ACCESSDENIED);
    EXPECT_EQ(qv::suite::GetSystemID(), 0);
    EXPECT_EQ(Rights(kModule), 0u);
    // So does a name with a quote in it, which must not break the statement.
    EXPECT_EQ(Logon(L"O'Brien"), E_ACCESSDENIED);
}

TEST_F(SecServer, TheAdministratorHoldsEveryRight) {
    ASSERT_EQ(Logon(L"Administrator"), S_OK);
    for (const CQvGUID& f : {kModule, kSettingsPage, kCourseFunction, kRunFunction}) {
        const DWORD rights = Rights(f);
        EXPECT_EQ(rights, 0x7FFFFFFFu);
        EXPECT_FALSE(CQvSec::HasAllRights(0, rights)) << "all rights is not the negative no-rights word";
    }
    EXPECT_EQ(ObjectRights(CQvGUID(), kCourse), 0x7FFFFFFFu);
}

TEST_F(SecServer, TheCourseLeaderReadsAndLeadsButHasNoSettings) {
    ASSERT_EQ(Logon(L"Kursleiter"), S_OK);
    EXPECT_EQ(Rights(kModule), 0x10001u);
    EXPECT_EQ(Rights(kRunFunction), 0x10001u);
    EXPECT_TRUE(CQvSec::HasAllRights(0, Rights(kSettingsPage)));
    // A record nobody registered gives nothing.
    EXPECT_EQ(ObjectRights(CQvGUID(), kCourse), 0u);
}

TEST_F(SecServer, TopBitMasksRoundTripAsSigned32BitValues) {
    ASSERT_EQ(Logon(L"Kursleiter"), S_OK);
    EXPECT_EQ(CQvSec::SetRights(kCourse.GetGUID(TRUE), CString(), kCourseFunction, CString(L"Atemschutz 1"), 0x88000F01u),
              S_OK);
    EXPECT_EQ(env.QueryInt("SELECT lRight FROM QvSecRight WHERE lQvSecUserID = 2 AND strKey = '" +
                           kCourse.GetGUID(TRUE).ToUtf8() + "'"),
              -2013262079);
    EXPECT_EQ(env.QueryText("SELECT strName FROM QvSecObject WHERE strKey = '" + kCourse.GetGUID(TRUE).ToUtf8() + "'"),
              "Atemschutz 1");

    // The record by its key alone, and under its function.
    EXPECT_EQ(ObjectRights(CQvGUID(), kCourse), 0x88000F01u);
    EXPECT_EQ(ObjectRights(kCourseFunction, kCourse), 0x88000F01u);
    // Combined with the function's rights the negative word refuses.
    CQvSec sec;
    sec.LoadRights(kCourseFunction, CQvGUID(), kCourse.GetGUID(TRUE));
    EXPECT_EQ(sec.GetRights(), 0x80000000u);

    // A new grant replaces the old one.
    EXPECT_EQ(CQvSec::SetRights(kCourse.GetGUID(TRUE), CString(), kCourseFunction, CString(L"Atemschutz 1"), 0x101u),
              S_OK);
    EXPECT_EQ(ObjectRights(CQvGUID(), kCourse), 0x101u);
}

TEST_F(SecServer, ARecordWithoutOwnRightsHasThoseOfItsFunction) {
    // The administrator creates the run; the course leader holds no rights of his own on it.
    ASSERT_EQ(Logon(L"Administrator"), S_OK);
    ASSERT_EQ(CQvSec::SetRights(kRun.GetGUID(TRUE), kCourse.GetGUID(TRUE), kRunFunction, CString(L"Lauf 1"), 0x88000D01u),
              S_OK);
    ASSERT_EQ(Logon(L"Kursleiter"), S_OK);
    EXPECT_EQ(ObjectRights(CQvGUID(), kRun), 0x10001u);
    // The run function asked in the scope of the course: the function's rights.
    EXPECT_EQ(ObjectRights(kRunFunction, kCourse), 0x10001u);
    EXPECT_EQ(env.QueryText("SELECT strKey2 FROM QvSecObject WHERE strKey = '" + kRun.GetGUID(TRUE).ToUtf8() + "'"),
              kCourse.GetGUID(TRUE).ToUtf8());
}

TEST_F(SecServer, GrantsJoinTheCallersTransaction) {
    ASSERT_EQ(Logon(L"Kursleiter"), S_OK);
    CQvADOConnection conn;
    ASSERT_EQ(conn.Open(L"Qovaro.NQ2", 0), S_OK);
    ASSERT_EQ(conn.BeginTrans(), S_OK);
    // On a connection of its own the grant would wait for this transaction's write lock.
    ASSERT_EQ(conn.Execute(L"UPDATE Kurs SET fActive = 1 WHERE lKursID = -5"), S_OK);
    EXPECT_EQ(CQvSec::SetRights(kCourse.GetGUID(TRUE), CString(), kCourseFunction, CString(L"K"), 0x1u), S_OK);
    EXPECT_EQ(ObjectRights(CQvGUID(), kCourse), 0x1u);
    ASSERT_EQ(conn.RollbackTrans(), S_OK);
    EXPECT_EQ(ObjectRights(CQvGUID(), kCourse), 0u) << "the grant went with the transaction";
}

TEST_F(SecServer, RightsDialogsListWhoHoldsWhat) {
    ASSERT_EQ(Logon(L"Kursleiter"), S_OK);
    ASSERT_EQ(CQvSec::SetRights(kCourse.GetGUID(TRUE), CString(), kCourseFunction, CString(L"Atemschutz 1"), 0x88000F01u),
              S_OK);
    script.ExpectReport(L"Kursleiter: 0x88000F01").ExpectReport(L"Kursleiter: 0x00010001");
    CQvSec sec;
    EXPECT_EQ(sec.ShowSetRightDlg(kCourseFunction, kCourse.GetGUID(TRUE), 1), S_OK);
    EXPECT_EQ(sec.ShowRightDlg(CQvGUID(L"00000000-0000-0000-0000-000000000000"), 1), S_OK);
    const auto shown = script.Log().Records(qv::InteractionKind::Report);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].caption, L"Atemschutz 1");
}

TEST(SecServerEnvironment, TheUserComesFromQvUser) {
    qvtest::StandInEnvironment env;
    qvtest::ScopedEnv user("QV_USER", "Administrator");
    ASSERT_EQ(env.Start(QVSECSERVER_PROGID), S_OK);
    EXPECT_EQ(qv::suite::GetSystemID(), 1) << "signed in when the server starts";
    CString name;
    long id = 0;
    EXPECT_EQ(CQvSec().GetUser(&name, nullptr, &id), S_OK);
    EXPECT_EQ(name, L"Administrator");
    EXPECT_EQ(id, 1);
}

TEST(SecServerEnvironment, DemoRolesOnlyWhileNoneIsSet) {
    qvtest::StandInEnvironment env;
    ASSERT_EQ(env.Start(QVSECSERVER_PROGID), S_OK);
    CQvSec().LoadRights(kModule);
    EXPECT_EQ(env.QueryInt("SELECT count(*) FROM QvSecRole"), 2);
    EXPECT_EQ(env.QueryInt("SELECT fAdmin FROM QvSecRole WHERE lQvSecUserID = 1"), 1);
    // An administrator who took the leader's role away keeps it that way.
    env.Exec("DELETE FROM QvSecRight WHERE lQvSecUserID = 2");
    env.Exec("UPDATE QvSecRole SET fAdmin = 0 WHERE lQvSecUserID = 1");
    CQvSec().LoadRights(kModule);
    EXPECT_EQ(env.QueryInt("SELECT count(*) FROM QvSecRight WHERE lQvSecUserID = 2"), 0);
    EXPECT_EQ(env.QueryInt("SELECT fAdmin FROM QvSecRole WHERE lQvSecUserID = 1"), 0);
}

TEST(SecServerEnvironment, AFileThatMayNotBeWrittenGivesTheRolesOfAFirstStartAndStaysAsItIs) {
#ifdef QV_TEST_PG
    GTEST_SKIP() << "a database file that may not be written is SQLite's";
#else
    qvtest::StandInEnvironment env;
    ASSERT_EQ(env.QueryInt("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name LIKE 'QvSec%'"), 1) << "QvSecUser alone";
    const std::string file = env.SuiteDatabase();
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    qv::ado::Session::ReleasePool();
    auto contents = [&] {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = contents();
    {
        qvtest::ScopedEnv user("QV_USER", "Administrator");
        ASSERT_EQ(env.Start(QVSECSERVER_PROGID), S_OK);
        CQvSec sec;
        EXPECT_EQ(sec.LoadRights(kModule), S_OK);
        EXPECT_EQ(sec.GetRights(), 0x7FFFFFFFu);
        qv::servers::StopRunningServer(QVSECSERVER_PROGID);
    }
    qvtest::ScopedEnv user("QV_USER", "Kursleiter");
    ASSERT_EQ(env.Start(QVSECSERVER_PROGID), S_OK);
    CQvSec sec;
    EXPECT_EQ(sec.LoadRights(kModule), S_OK);
    EXPECT_EQ(sec.GetRights(), 0x10001u);
    qv::servers::StopRunningServer(QVSECSERVER_PROGID);
    qv::ado::Session::ReleasePool();
    EXPECT_TRUE(contents() == before) << "the file was changed";
    EXPECT_EQ(env.QueryInt("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name LIKE 'QvSec%'"), 1);
    std::filesystem::permissions(file, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
#endif
}

}  // namespace
