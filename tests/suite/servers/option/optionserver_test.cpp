// The option server through the option client: defaults of options nobody set, stored values,
// the installation's and the user's own values, quoting, and the caller's transaction.
#include "optionserver.h"
#include "qvadoconnection.h"
#include "qvcomserver.h"
#include "scripted.h"
#include "standinfixture.h"

#include <gtest/gtest.h>

namespace {

class OptionServer : public ::testing::Test {
protected:
    void SetUp() override {
        script.OnFailure([](const std::string& m) { ADD_FAILURE() << m; });
        ASSERT_EQ(env.Start(QVOPTIONSERVER_PROGID), S_OK);
    }

    qvtest::StandInEnvironment env;
    qv::ScriptedInteraction script;
    qv::ScopedInteraction interaction{&script};
};

TEST_F(OptionServer, OptionsNobodySetHaveTheirDefaults) {
    COptionServer opt;
    // The callers preset other values: the readers take what the server answers.
    long days = -1;
    EXPECT_EQ(opt.GetOption(-1060, L"AutoCloseBeforInstanz", &days, 1, 0), S_OK);
    EXPECT_EQ(days, 6);
    EXPECT_EQ(opt.GetOption(-1060, L"AutoOpenAfterPublish", &days, 0, 0), S_OK) << "the settings page reads with 0";
    EXPECT_EQ(days, 28);
    long percent = 0, retries = 0, pause = 0;
    opt.GetOption(-1060, L"FillLevelPercentWarning", &percent, 1, 0);
    opt.GetOption(-3010, L"LockRecordRetries", &retries, 1, 0);
    opt.GetOption(-3010, L"LockRecordTimeout", &pause, 1, 0);
    EXPECT_EQ(percent, 90);
    EXPECT_EQ(retries, 3);
    EXPECT_EQ(pause, 500);
    BOOL check = FALSE;
    opt.GetOption(-1060, L"EntCheckKursPrecondition", &check, 1, 0);
    EXPECT_EQ(check, TRUE) << "preconditions are checked until someone switches them off";
    DWORD foreign = 0;
    opt.GetOption(-1030, L"colorforeign", &foreign, 1, 0);
    EXPECT_EQ(foreign, 0xFF0000u) << "names compare without regard to case";
    EXPECT_DOUBLE_EQ(opt.GetRoundBudget(), 0.05);

    // Texts and dates without a value.
    CString subject = L"preset";
    EXPECT_EQ(opt.GetOption(-1060, L"NotificationSubject", &subject, 1, 0), S_FALSE);
    EXPECT_TRUE(subject.IsEmpty());
    CQvDateTime publish(2024, 1, 1, 0, 0, 0);
    opt.GetOption(-1060, L"PublishDate", &publish, 1, 0);
    EXPECT_TRUE(publish.IsNull());
    // An option the server does not know has no value.
    long unknown = 5;
    EXPECT_EQ(opt.GetOption(-1060, L"NoSuchOption", &unknown, 1, 0), S_FALSE);
    EXPECT_EQ(unknown, 0);
}

TEST_F(OptionServer, StoredValuesWinOverDefaults) {
    COptionServer opt;
    EXPECT_EQ(opt.SetOption(-1060, L"AutoCloseBeforInstanz", 9L, 0), S_OK);
    EXPECT_EQ(opt.SetOption(-1060, L"PublishDate", CQvDateTime(2024, 3, 1, 0, 0, 0), 0), S_OK);
    long days = 0;
    opt.GetOption(-1060, L"AutoCloseBeforInstanz", &days, 1, 0);
    EXPECT_EQ(days, 9);
    CQvDateTime publish;
    EXPECT_EQ(opt.GetOption(-1060, L"PublishDate", &publish, 1, 0), S_OK);
    EXPECT_EQ(publish.GetNormalizedDateTime(), L"2024-03-01 00:00:00");
    // Written again: one row, the new value.
    EXPECT_EQ(opt.SetOption(-1060, L"autoclosebeforinstanz", 0L, 0), S_OK);
    opt.GetOption(-1060, L"AutoCloseBeforInstanz", &days, 1, 0);
    EXPECT_EQ(days, 0) << "a stored 0 is a value, not a missing option";
    EXPECT_EQ(env.QueryInt("SELECT count(*) FROM QvOption WHERE lArea = -1060 AND strName = 'AutoCloseBeforInstanz'"), 1);
    // The same name in another area is another option.
    opt.GetOption(-1000, L"AutoCloseBeforInstanz", &days, 1, 0);
    EXPECT_EQ(days, 0);
    long lockInterval = 0;
    opt.GetOption(-1000, L"LockUpdateIntervall", &lockInterval, 1, 0);
    EXPECT_EQ(lockInterval, 60);
}

TEST_F(OptionServer, TextsWithQuotesRoundTrip) {
    IOptionServer* server = nullptr;
    ASSERT_EQ(QueryCOMServer(QVOPTIONSERVER_PROGID, IID_IOptionServer, reinterpret_cast<void**>(&server)), S_OK);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(L"Kurs d'été ' OR 1=1 --");
    BSTR name = SysAllocString(L"NotificationSubject");
    EXPECT_EQ(server->SetOption(-1060, name, 0, v), S_OK);
    VariantClear(&v);
    SysFreeString(name);
    server->Release();

    COptionServer opt;
    CString subject;
    EXPECT_EQ(opt.GetOption(-1060, L"NotificationSubject", &subject, 1, 0), S_OK);
    EXPECT_EQ(subject, L"Kurs d'été ' OR 1=1 --");
}

TEST_F(OptionServer, FiltersAreTheUsersOwn) {
    COptionServer opt;
    // The installation's value, written by a settings page.
    EXPECT_EQ(opt.SetOption(-4000, L"MaxSearchResults", 200L, 0), S_OK);
    // User 1 narrows his own search.
    qv::suite::SetSystemID(1);
    EXPECT_EQ(opt.SetOption(-4000, L"MaxSearchResults", 50L, 1), S_OK);
    long max = 0;
    opt.GetOption(-4000, L"MaxSearchResults", &max, 1, -1);
    EXPECT_EQ(max, 50);
    opt.GetOption(-4000, L"MaxSearchResults", &max, 1, 0);
    EXPECT_EQ(max, 200) << "scope 0 reads the installation's value";
    // Another user sees the installation's value.
    qv::suite::SetSystemID(2);
    opt.GetOption(-4000, L"MaxSearchResults", &max, 1, -1);
    EXPECT_EQ(max, 200);
}

TEST_F(OptionServer, WritesJoinTheCallersTransaction) {
    CQvADOConnection conn;
    ASSERT_EQ(conn.Open(L"Qovaro.NQ2", 0), S_OK);
    ASSERT_EQ(conn.BeginTrans(), S_OK);
    ASSERT_EQ(conn.Execute(L"UPDATE Kurs SET fActive = 1 WHERE lKursID = -5"), S_OK);
    COptionServer opt;
    EXPECT_EQ(opt.SetOption(-1060, L"AutoOpenMode", 1L, 0), S_OK);
    long mode = 0;
    opt.GetOption(-1060, L"AutoOpenMode", &mode, 1, 0);
    EXPECT_EQ(mode, 1);
    ASSERT_EQ(conn.RollbackTrans(), S_OK);
    opt.GetOption(-1060, L"AutoOpenMode", &mode, 1, 0);
    EXPECT_EQ(mode, 0);
}

TEST_F(OptionServer, BadNamesAreRefused) {
    IOptionServer* server = nullptr;
    ASSERT_EQ(QueryCOMServer(QVOPTIONSERVER_PROGID, IID_IOptionServer, reinterpret_cast<void**>(&server)), S_OK);
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(server->GetOption(-1060, nullptr, 0, 1, &v), E_INVALIDARG);
    BSTR longName = SysAllocString(std::wstring(101, L'x').c_str());
    EXPECT_EQ(server->GetOption(-1060, longName, 0, 1, &v), E_INVALIDARG);
    SysFreeString(longName);
    server->Release();
}

}  // namespace
