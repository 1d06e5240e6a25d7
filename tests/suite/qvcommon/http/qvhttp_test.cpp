// The HTTP client against a local stand-in server: replies, refusals, late answers, error statuses.
#include "centralstandin.h"
#include "qvhttp.h"

#include <gtest/gtest.h>

namespace {

using qvtest::CentralStandIn;

TEST(QvHttpGet, ReturnsTheReplyTextAndSendsTheUrlAsWritten) {
    CentralStandIn central;
    central.SetDefault({"<pre id=\"ResponseContainer\">status=ok$hint=Zürich</pre>"});
    CQvHttp http;
    http.SetConnectTimeout(100);
    CString reply;
    const CString url = CString(central.BaseUrl().c_str()) +
                        L"kurs/anmeldung.aspx?Ver=100&Op=add&Person={0A1B2C3D-0000-4000-8000-00000000000A}&Date=45000.5";
    ASSERT_EQ(http.Get(url, reply), S_OK);
    EXPECT_EQ(reply, CString(L"<pre id=\"ResponseContainer\">status=ok$hint=Zürich</pre>"));
    EXPECT_EQ(http.GetLastError(), 0);
    EXPECT_EQ(http.GetLastStatusCode(), 200);

    ASSERT_EQ(central.RequestCount(), 1u);
    const auto req = central.Requests().front();
    EXPECT_EQ(req.path, "/kurs/anmeldung.aspx");
    EXPECT_EQ(req.Param("Op"), "add");
    EXPECT_EQ(req.Param("Person"), "{0A1B2C3D-0000-4000-8000-00000000000A}");
    EXPECT_EQ(req.Param("Date"), "45000.5");
}

TEST(QvHttpGet, ReadsBytesThatAreNotUtf8AsLatin1) {
    CentralStandIn central;
    central.SetDefault({std::string("Gr\xFC" "ezi")});
    CQvHttp http;
    CString reply;
    ASSERT_EQ(http.Get(CString(central.BaseUrl().c_str()), reply), S_OK);
    EXPECT_EQ(reply, CString(L"Grüezi"));
}

TEST(QvHttpGet, ObjectServesSeveralRequestsInARow) {
    CentralStandIn central;
    central.Queue({"first"});
    central.Queue({"second"});
    CQvHttp http;
    CString a, b;
    ASSERT_EQ(http.Get(CString(central.BaseUrl().c_str()), a), S_OK);
    ASSERT_EQ(http.Get(CString(central.BaseUrl().c_str()), b), S_OK);
    EXPECT_EQ(a, CString(L"first"));
    EXPECT_EQ(b, CString(L"second"));
}

TEST(QvHttpFailure, RefusedConnectionGivesCannotConnect) {
    CQvHttp http;
    CString reply(L"stale");
    const HRESULT hr = http.Get(CString(CentralStandIn::RefusingUrl().c_str()), reply);
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(QV_HTTP_ERROR_CANNOT_CONNECT));
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(http.GetLastError(), QV_HTTP_ERROR_CANNOT_CONNECT);
    EXPECT_FALSE(http.GetLastErrorDesc().IsEmpty());
    EXPECT_TRUE(reply.IsEmpty());
}

TEST(QvHttpFailure, LateAnswerRunsIntoTheRequestTimeout) {
    CentralStandIn central;
    central.SetDefault({"late", 200, std::chrono::milliseconds(5000)});
    CQvHttp http;
    http.SetRequestTimeout(300);
    CString reply;
    const HRESULT hr = http.Get(CString(central.BaseUrl().c_str()), reply);
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(QV_HTTP_ERROR_TIMEOUT));
    EXPECT_EQ(http.GetLastError(), QV_HTTP_ERROR_TIMEOUT);
    EXPECT_TRUE(reply.IsEmpty());
}

TEST(QvHttpFailure, ProcessDefaultRequestTimeoutAppliesToNewClients) {
    CentralStandIn central;
    central.SetDefault({"late", 200, std::chrono::milliseconds(5000)});
    const long before = CQvHttp::GetDefaultRequestTimeout();
    CQvHttp::SetDefaultRequestTimeout(300);
    CQvHttp http;
    CString reply;
    const HRESULT hr = http.Get(CString(central.BaseUrl().c_str()), reply);
    CQvHttp::SetDefaultRequestTimeout(before);
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(QV_HTTP_ERROR_TIMEOUT));
}

TEST(QvHttpFailure, ErrorStatusIsAFailureWithTheStatusAsNumber) {
    CentralStandIn central;
    central.SetDefault({"<h1>Server Error</h1>", 500});
    CQvHttp http;
    CString reply;
    const HRESULT hr = http.Get(CString(central.BaseUrl().c_str()), reply);
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(QV_HTTP_ERROR_STATUS));
    EXPECT_EQ(http.GetLastError(), 500);
    EXPECT_EQ(http.GetLastStatusCode(), 500);
    EXPECT_NE(http.GetLastErrorDesc().Find(L"500"), -1);
    EXPECT_TRUE(reply.IsEmpty());
}

TEST(QvHttpFailure, UnusableUrlsFailWithoutARequest) {
    CQvHttp http;
    CString reply;
    EXPECT_EQ(http.Get(CString(), reply), HRESULT_FROM_WIN32(QV_HTTP_ERROR_BAD_URL));
    EXPECT_EQ(http.Get(CString(L"gopherx://127.0.0.1/"), reply), HRESULT_FROM_WIN32(QV_HTTP_ERROR_BAD_URL));
}

TEST(QvHttpSettings, ConnectTimeoutFallsBackToItsDefault) {
    CQvHttp http;
    http.SetConnectTimeout(25);
    EXPECT_EQ(http.GetConnectTimeout(), 25);
    http.SetConnectTimeout(0);
    EXPECT_EQ(http.GetConnectTimeout(), 100);
}

}  // namespace
