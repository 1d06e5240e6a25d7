// The HTTP client against a local stand-in server: replies, refusals, late answers, error statuses.
#include "centralstandin.h"
#include "qvhttp.h"

#include <gtest/gtest.h>
#include <zlib.h>

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

std::string Gzip(const std::string& data) {
    z_stream zs{};
    EXPECT_EQ(deflateInit2(&zs, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&zs, static_cast<uLong>(data.size())), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// A reply too large for the reply page, or compressed when nothing asked for compression, is
// refused whole: nothing of it reaches the caller, and the same object works on afterwards.
TEST(QvHttpFailure, OversizeAndCompressedRepliesAreMalformed) {
    const std::string page = CentralStandIn::ReplyPage("ok");
    struct Case {
        const char* what;
        CentralStandIn::Answer answer;
        const wchar_t* desc;
    };
    const Case cases[] = {
        {"oversize", {page + std::string(CQvHttp::kMaxReplyBytes, 'x')}, L"larger than"},
        {"gzip bomb", CentralStandIn::Answer::Encoded(Gzip(page + std::string(64 << 20, ' ')), "gzip"), L"gzip"},
        {"small gzip", CentralStandIn::Answer::Encoded(Gzip(page), "gzip"), L"compressed"},
        {"deflate", CentralStandIn::Answer::Encoded(page, "deflate"), L"deflate"},
    };
    CentralStandIn central;
    CQvHttp http;
    for (const Case& c : cases) {
        central.Queue(c.answer);
        CString reply(L"stale");
        EXPECT_EQ(http.Get(CString(central.BaseUrl().c_str()), reply), HRESULT_FROM_WIN32(QV_HTTP_ERROR_INVALID_RESPONSE))
            << c.what;
        EXPECT_EQ(http.GetLastError(), QV_HTTP_ERROR_INVALID_RESPONSE) << c.what;
        EXPECT_NE(http.GetLastErrorDesc().Find(c.desc), -1) << c.what;
        EXPECT_TRUE(reply.IsEmpty()) << c.what;
    }
    // Just within the limit, and plain again: read in full.
    central.Queue({std::string(CQvHttp::kMaxReplyBytes, 'y')});
    CString reply;
    ASSERT_EQ(http.Get(CString(central.BaseUrl().c_str()), reply), S_OK);
    EXPECT_EQ(reply.GetLength(), int(CQvHttp::kMaxReplyBytes));
    ASSERT_EQ(http.Get(CString(central.BaseUrl().c_str()), reply), S_OK);
    EXPECT_EQ(reply, CString(CentralStandIn::ReplyPage("ok").c_str()));
}

TEST(QvHttpSettings, ConnectTimeoutFallsBackToItsDefault) {
    CQvHttp http;
    http.SetConnectTimeout(25);
    EXPECT_EQ(http.GetConnectTimeout(), 25);
    http.SetConnectTimeout(0);
    EXPECT_EQ(http.GetConnectTimeout(), 100);
}

}  // namespace
