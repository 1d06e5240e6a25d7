// The option client: conversions of the server's answers, what the readers write after a failure,
// the order of the trailing arguments, the reporting readers and the writers.
#include "fakehost.h"
#include "optionserver.h"
#include "qvhrtrace.h"
#include "scripted.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

// An option server that answers from a table of VARIANTs and records the calls.
class FakeOptionServer : public qvtest::StackObject<IOptionServer, IID_IOptionServer> {
public:
    struct Call {
        long area;
        std::wstring name;
        long scope;
        long lookup;
    };
    struct Written {
        long area;
        std::wstring name;
        long lookup;
        VARTYPE vt;
        long number;
        std::wstring text;
    };

    ~FakeOptionServer() {
        for (auto& [k, v] : values) VariantClear(&v);
    }
    HRESULT GetOption(long area, BSTR name, long scope, long lookup, VARIANT* value) override {
        calls.push_back({area, qvtest::Str(name), scope, lookup});
        if (fail != S_OK) return fail;
        const auto it = values.find(qvtest::Str(name));
        if (it == values.end()) return S_FALSE;
        return VariantCopy(value, &it->second);
    }
    HRESULT SetOption(long area, BSTR name, long lookup, VARIANT value) override {
        Written w{area, qvtest::Str(name), lookup, value.vt, 0, {}};
        if (value.vt == VT_I4) w.number = value.lVal;
        if (value.vt == VT_BSTR) w.text = qvtest::Str(value.bstrVal);
        written.push_back(w);
        return fail;
    }

    void SetNumber(const std::wstring& name, LONG n) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = n;
        values[name] = v;
    }
    void SetText(const std::wstring& name, const wchar_t* text) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocString(text);
        values[name] = v;
    }

    std::map<std::wstring, VARIANT> values;
    std::vector<Call> calls;
    std::vector<Written> written;
    HRESULT fail = S_OK;
};

class Options : public ::testing::Test {
protected:
    void SetUp() override {
        script.OnFailure([](const std::string& m) { ADD_FAILURE() << m; });
    }
    void TearDown() override { EXPECT_EQ(script.Pending(), 0u); }

    FakeOptionServer server;
    qvtest::ScopedRunningServer running{QVOPTIONSERVER_PROGID, &server};
    qv::ScriptedInteraction script;
    qv::ScopedInteraction interaction{&script};
};

TEST_F(Options, NumberReadersAlwaysTakeTheAnswer) {
    server.SetNumber(L"AutoCloseBeforInstanz", 6);
    server.SetText(L"MaxSearchResults", L"250");
    COptionServer opt;
    long days = -1;
    EXPECT_EQ(opt.GetOption(-1060, L"AutoCloseBeforInstanz", &days, 1, 0), S_OK);
    EXPECT_EQ(days, 6);
    long max = 0;
    opt.GetOption(-4000, L"MaxSearchResults", &max, 1, 0);
    EXPECT_EQ(max, 250);

    // The caller's preset is no default: an unset option or a failed read overwrites it.
    BOOL check = TRUE;
    EXPECT_EQ(opt.GetOption(-1060, L"EntCheckKursPrecondition", &check, 1, 0), S_FALSE);
    EXPECT_EQ(check, FALSE);
    server.fail = E_ACCESSDENIED;
    long retries = 3;
    DWORD colour = 0xFF0000;
    check = TRUE;
    EXPECT_EQ(opt.GetOption(-3010, L"LockRecordRetries", &retries, 1, 0), E_ACCESSDENIED);
    EXPECT_EQ(opt.GetOption(-1030, L"ColorForeign", &colour, 1, 0), E_ACCESSDENIED);
    EXPECT_EQ(opt.GetOption(-1060, L"EntCheckKursPrecondition", &check, 1, 0), E_ACCESSDENIED);
    EXPECT_EQ(retries, 0);
    EXPECT_EQ(colour, 0u);
    EXPECT_EQ(check, FALSE);
}

TEST_F(Options, ColoursKeepAllTheirBits) {
    server.SetNumber(L"ColorFemale", LONG(0x80FF00FFu));
    COptionServer opt;
    DWORD colour = 0;
    opt.GetOption(-1000, L"ColorFemale", &colour, 1, 0);
    EXPECT_EQ(colour, 0x80FF00FFu);
}

TEST_F(Options, ScopeAndLookupReachTheServerInItsOrder) {
    COptionServer opt;
    long sort = 0;
    opt.GetOption(-4000, L"PersonKursSort1", &sort, 1, -1);
    opt.GetOption(-1060, L"AutoOpenMode", &sort, 0, 0);
    ASSERT_EQ(server.calls.size(), 2u);
    EXPECT_EQ(server.calls[0].area, -4000);
    EXPECT_EQ(server.calls[0].name, L"PersonKursSort1");
    EXPECT_EQ(server.calls[0].scope, -1);
    EXPECT_EQ(server.calls[0].lookup, 1);
    EXPECT_EQ(server.calls[1].scope, 0);
    EXPECT_EQ(server.calls[1].lookup, 0);
}

TEST_F(Options, TextReaders) {
    server.SetText(L"NotificationSubject", L"Kursanmeldungen");
    COptionServer opt;
    CString text = L"preset";
    EXPECT_EQ(opt.GetOption(-1060, L"NotificationSubject", &text, 1, 0), S_OK);
    EXPECT_EQ(text, L"Kursanmeldungen");

    // No value empties the text; a failure leaves it as it was.
    text = L"preset";
    EXPECT_EQ(opt.GetOption(-1060, L"OnlineKursanmeldungASPX", &text, 1, 0), S_FALSE);
    EXPECT_TRUE(text.IsEmpty());
    server.fail = E_FAIL;
    text = L"preset";
    EXPECT_EQ(opt.GetOption(-1060, L"NotificationSubject", &text, 1, 0), E_FAIL);
    EXPECT_EQ(text, L"preset");
}

TEST_F(Options, DateReaders) {
    server.SetText(L"PublishDate", L"2024-03-01 00:00:00");
    COptionServer opt;
    CQvDateTime date;
    EXPECT_EQ(opt.GetOption(-1060, L"PublishDate", &date, 1, 0), S_OK);
    EXPECT_EQ(date.GetStatus(), COleDateTime::valid);
    EXPECT_EQ(date.GetYear(), 2024);
    EXPECT_EQ(date.GetMonth(), 3);

    // An option without a date is the null date, not 30 December 1899; so is a failed read.
    date = CQvDateTime(2020, 1, 1, 0, 0, 0);
    EXPECT_EQ(opt.GetOption(-4000, L"KursInstanzDate", &date, 1, -1), S_FALSE);
    EXPECT_TRUE(date.IsNull());
    server.SetText(L"KursInstanzDate", L"1899-12-30 00:00:00");
    date = CQvDateTime(2020, 1, 1, 0, 0, 0);
    opt.GetOption(-4000, L"KursInstanzDate", &date, 1, -1);
    EXPECT_TRUE(date.IsNull());
    server.fail = E_FAIL;
    date = CQvDateTime(2020, 1, 1, 0, 0, 0);
    opt.GetOption(-1060, L"PublishDate", &date, 1, 0);
    EXPECT_TRUE(date.IsNull());
}

TEST_F(Options, RoundBudget) {
    COptionServer opt;
    server.SetNumber(L"RoundBudget", 0);
    EXPECT_EQ(opt.GetRoundBudget(), 0.0);
    server.SetNumber(L"RoundBudget", 250);
    EXPECT_EQ(opt.GetRoundBudget(), 2.5);
    server.SetNumber(L"RoundBudget", 5);
    EXPECT_DOUBLE_EQ(opt.GetRoundBudget(), 0.05);
    ASSERT_FALSE(server.calls.empty());
    EXPECT_EQ(server.calls.back().area, -1020);
    EXPECT_EQ(server.calls.back().lookup, 1);
    EXPECT_EQ(server.calls.back().scope, 0);

    server.fail = E_ACCESSDENIED;
    script.ExpectReport(std::wstring(CrackHR(E_ACCESSDENIED).GetString()));
    EXPECT_EQ(opt.GetRoundBudget(), 0.0);
    const auto shown = script.Log().Records(qv::InteractionKind::Report);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, L"COptionServer::GetRoundBudget");
    EXPECT_EQ(shown[0].report.kind, 1);
}

TEST_F(Options, ReportingReaders) {
    server.SetNumber(L"ConfirmSave", 1);
    server.SetText(L"KursTyp", L"0 1 1 0");
    server.SetText(L"AgendaDate", L"2024-05-20 00:00:00");
    COptionServer opt;
    EXPECT_EQ(opt.GetOption<BOOL>(-1000, L"ConfirmSave", 1, 0), TRUE);
    EXPECT_EQ(opt.GetOption<long>(-1060, L"FillLevelInterval", 1, 0), 0) << "unset: the empty answer";
    EXPECT_EQ(opt.GetOption<CString>(-4000, L"KursTyp", 1, -1), L"0 1 1 0");
    EXPECT_EQ(opt.GetOption<CQvDateTime>(-4000, L"AgendaDate", 1, -1).GetDay(), 20);
    EXPECT_TRUE(opt.GetOption<CQvDateTime>(-4000, L"ActivityDate", 1, -1).IsNull());
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u) << "no message while reads succeed";

    // Each failing read shows the text of its result once.
    server.fail = E_ACCESSDENIED;
    script.ExpectReport(L"Access is denied.").ExpectReport(L"Access is denied.");
    EXPECT_EQ(opt.GetOption<BOOL>(-1070, L"StatusEnabled", 1, 0), FALSE);
    EXPECT_EQ(opt.GetOption<CString>(-4000, L"KursTyp", 1, -1), L"");
    const auto shown = script.Log().Records(qv::InteractionKind::Report);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].caption, L"COptionServer::GetOption");
    EXPECT_EQ(shown[0].report.kind, 1);
    EXPECT_EQ(shown[0].report.category, L"Default");
}

TEST_F(Options, Writers) {
    COptionServer opt;
    EXPECT_EQ(opt.SetOption(-1060, L"AutoCloseBeforInstanz", 9L, 0), S_OK);
    EXPECT_EQ(opt.SetOption(-1060, L"PublishDate", CQvDateTime(2024, 3, 1, 0, 0, 0), 0), S_OK);
    ASSERT_EQ(server.written.size(), 2u);
    EXPECT_EQ(server.written[0].vt, VT_I4);
    EXPECT_EQ(server.written[0].number, 9);
    EXPECT_EQ(server.written[0].lookup, 0);
    EXPECT_EQ(server.written[1].vt, VT_BSTR);
    EXPECT_EQ(server.written[1].text, L"2024-03-01 00:00:00");

    server.fail = E_FAIL;
    QvClearHRErrorList();
    EXPECT_EQ(opt.SetOption(-1060, L"AutoOpenMode", 1L, 0), E_FAIL);
    ASSERT_FALSE(QvGetHRErrorList().empty());
    EXPECT_EQ(QvGetHRErrorList().back().strFile, L"optionserver");
}

TEST(OptionsWithoutServer, ReadsFailAndTryAgainEveryTime) {
    qv::ScriptedInteraction script;
    qv::ScopedInteraction interaction(&script);
    // Offered only later, but it must outlive the client that will hold it.
    FakeOptionServer server;
    COptionServer opt;
    long days = 28;
    EXPECT_EQ(opt.GetOption(-1060, L"AutoOpenAfterPublish", &days, 1, 0), E_FAIL);
    EXPECT_EQ(days, 0);
    CString text = L"keep";
    EXPECT_EQ(opt.GetOption(-1060, L"NotificationSubject", &text, 1, 0), E_FAIL);
    EXPECT_EQ(text, L"keep");
    EXPECT_EQ(opt.SetOption(-1060, L"AutoOpenMode", 0L, 0), E_FAIL);

    server.SetNumber(L"AutoOpenAfterPublish", 28);
    qvtest::ScopedRunningServer running(QVOPTIONSERVER_PROGID, &server);
    EXPECT_EQ(opt.GetOption(-1060, L"AutoOpenAfterPublish", &days, 1, 0), S_OK);
    EXPECT_EQ(days, 28);
}

}  // namespace
