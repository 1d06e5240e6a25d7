// The web client against the web server stand-in: extensions registered through the client answer
// HTTP requests on the loopback interface; replies as the web extensions hand them out.
#include "qvhrtrace.h"
#include "qvregistry.h"
#include "qvweb.h"
#include "qvwebserver.h"
#include "servertest.h"
#include "utf.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Answers the commands that begin with its prefix: "OK" and the parameters as it received them.
class EchoExtension : public IQvWebExt {
public:
    explicit EchoExtension(std::wstring prefix, HRESULT answer = S_OK) : m_prefix(std::move(prefix)), m_answer(answer) {}

    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (iid != IID_IUnknown && iid != IID_IQvWebExt) return E_NOINTERFACE;
        *ppv = static_cast<IQvWebExt*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ULONG(++refs); }
    ULONG Release() override { return ULONG(--refs); }
    HRESULT GetDescription(BSTR*) override { return E_NOTIMPL; }

    HRESULT Request(BSTR command, long count, BSTR* names, BSTR* values, BSTR method, BSTR, long* size,
                    void** buffer) override {
        ++requests;
        std::wstring text = command ? command : L"";
        if (text.rfind(m_prefix, 0) != 0) return S_FALSE;
        if (FAILED(m_answer)) return m_answer;
        CString reply = L"OK";
        reply += L" ";
        reply += method;
        for (long i = 0; i < count; ++i) {
            reply += L" ";
            reply += names[i];
            reply += L"=";
            reply += values[i];
        }
        return QvWebReply(reply, buffer, size);
    }

    std::atomic<long> refs{1};
    std::atomic<int> requests{0};

private:
    std::wstring m_prefix;
    HRESULT m_answer;
};

// A plain TCP connection to the server, for requests no well-behaved client sends.
class Raw {
public:
    explicit Raw(long port) {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(uint16_t(port));
        m_connected = connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Raw() { close(m_fd); }
    Raw(const Raw&) = delete;
    Raw& operator=(const Raw&) = delete;

    bool Connected() const { return m_connected; }
    bool Send(const std::string& data) {
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = send(m_fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += std::size_t(n);
        }
        return true;
    }
    // Everything the server sends until it closes, or until `bytes` arrived, or the time-out.
    std::string Receive(std::chrono::milliseconds timeout, std::size_t bytes = std::string::npos) {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (out.size() < bytes) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, int(left.count())) <= 0) break;
            char buf[4096];
            const ssize_t n = recv(m_fd, buf, sizeof buf, 0);
            if (n <= 0) {
                m_closed = true;
                break;
            }
            out.append(buf, std::size_t(n));
        }
        return out;
    }
    bool Closed() const { return m_closed; }

private:
    int m_fd = -1;
    bool m_connected = false;
    bool m_closed = false;
};

class Web : public qvtest::ClientTest {
protected:
    void SetPort(DWORD port) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\Qovaro\\QvWebServer", &key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, L"Port", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&port), sizeof port),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    // Starts the server on any free port and returns the port.
    long StartWebServer(DWORD port = 0) {
        SetPort(port);
        EXPECT_EQ(qvtest::StartServer(QV_WEB_SERVER, QV_WEBSERVER_PROGID), S_OK);
        IQvWebServer* server = qvtest::RunningServer<IQvWebServer>(QV_WEBSERVER_PROGID, IID_IQvWebServer);
        if (!server) return 0;
        long p = 0;
        EXPECT_EQ(server->GetPort(&p), S_OK);
        server->Release();
        return p;
    }

};

TEST_F(Web, ARegisteredExtensionAnswersARequestOnLoopback) {
    const long port = StartWebServer();
    ASSERT_GT(port, 0);
    EchoExtension other(L"TDD.Qovaro.Other."), kurs(L"TDD.Qovaro.NQ2.KursView.");
    ASSERT_EQ(QvWebRegister(&other), S_OK);
    ASSERT_EQ(QvWebRegister(&kurs), S_OK);
    ASSERT_EQ(QvWebRegister(&kurs), S_OK);  // once is enough

    httplib::Client client("127.0.0.1", int(port));
    client.set_url_encode(false);  // sent as written
    auto res = client.Get("/TDD.Qovaro.NQ2.KursView.Run?lKursID=12&strName=M%C3%BCller+Hans&lKursID=13");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, "OK GET lKursID=12 strName=Müller Hans lKursID=13");
    EXPECT_EQ(other.requests.load(), 1);  // asked first, declined
    EXPECT_EQ(kurs.requests.load(), 1);   // registered twice, asked once

    res = client.Get("/TDD.Qovaro.Unbekannt.Run");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    EXPECT_EQ(kurs.requests.load(), 2);

    ASSERT_EQ(QvWebUnregister(&kurs), S_OK);
    EXPECT_EQ(kurs.refs.load(), 1);
    res = client.Get("/TDD.Qovaro.NQ2.KursView.Run");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    EXPECT_EQ(kurs.requests.load(), 2);

    ASSERT_EQ(QvWebUnregister(&other), S_OK);
    qv::RevokeAllRunningServers();
    EXPECT_EQ(other.refs.load(), 1);
}

TEST_F(Web, AFailingExtensionGivesAServerError) {
    const long port = StartWebServer();
    EchoExtension broken(L"TDD.", E_NOTIMPL);
    ASSERT_EQ(QvWebRegister(&broken), S_OK);
    httplib::Client client("127.0.0.1", int(port));
    auto res = client.Post("/TDD.X.Y", "body", "text/plain");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 500);
    EXPECT_NE(res->body.find("0x80004001"), std::string::npos);
    QvWebUnregister(&broken);
}

TEST_F(Web, TheServerListensOnThePortOfTheRegistry) {
    // A port that was free a moment ago.
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    const DWORD wanted = ntohs(address.sin_port);
    close(probe);

    EXPECT_EQ(StartWebServer(wanted), long(wanted));
    EchoExtension echo(L"");
    ASSERT_EQ(QvWebRegister(&echo), S_OK);
    httplib::Client client("127.0.0.1", int(wanted));
    auto res = client.Get("/ping");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    QvWebUnregister(&echo);
}

// Connections that idle or send a byte now and then hold up no one else.
TEST_F(Web, AValidRequestIsAnsweredWhileIdleAndSlowConnectionsAreOpen) {
    const long port = StartWebServer();
    ASSERT_GT(port, 0);
    EchoExtension echo(L"TDD.");
    ASSERT_EQ(QvWebRegister(&echo), S_OK);

    std::vector<std::unique_ptr<Raw>> idle;
    for (int i = 0; i < 50; ++i) {
        idle.push_back(std::make_unique<Raw>(port));
        ASSERT_TRUE(idle.back()->Connected());
    }
    std::vector<std::unique_ptr<Raw>> slow;
    for (int i = 0; i < 20; ++i) {
        slow.push_back(std::make_unique<Raw>(port));
        ASSERT_TRUE(slow.back()->Connected());
    }
    std::mutex lock;
    std::condition_variable wake;
    bool stop = false;
    std::thread trickle([&] {
        const std::string request = "GET /TDD.Slow HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Filler: ";
        std::unique_lock<std::mutex> g(lock);
        for (std::size_t k = 0; !stop; ++k) {
            for (auto& r : slow) r->Send(std::string(1, request[std::min(k, request.size() - 1)]));
            wake.wait_for(g, std::chrono::milliseconds(20), [&] { return stop; });  // a byte now and then
        }
    });

    httplib::Client client("127.0.0.1", int(port));
    client.set_connection_timeout(1, 0);
    client.set_read_timeout(1, 0);
    client.set_write_timeout(1, 0);
    for (int i = 0; i < 3; ++i) {
        auto res = client.Get("/TDD.Run?n=" + std::to_string(i));
        ASSERT_TRUE(res) << "request " << i;
        EXPECT_EQ(res->body, "OK GET n=" + std::to_string(i));
    }
    {
        std::lock_guard<std::mutex> g(lock);
        stop = true;
    }
    wake.notify_all();
    trickle.join();
    EXPECT_EQ(echo.requests.load(), 3);
    QvWebUnregister(&echo);
}

TEST_F(Web, MalformedOrOversizeRequestsAreRefusedAndTheServerGoesOn) {
    const long port = StartWebServer();
    ASSERT_GT(port, 0);
    EchoExtension echo(L"TDD.");
    ASSERT_EQ(QvWebRegister(&echo), S_OK);
    struct Case {
        const char* what;
        std::string request;
        const char* status;
    };
    const Case cases[] = {
        {"100 MB body", "POST /TDD.Upload HTTP/1.1\r\nHost: x\r\nContent-Length: 104857600\r\n\r\n" + std::string(65536, 'b'),
         "HTTP/1.1 413 "},
        {"endless header", "GET /TDD.Run HTTP/1.1\r\nX-Long: " + std::string(64 * 1024, 'h'), "HTTP/1.1 431 "},
        {"no version", "GET\r\n\r\n", "HTTP/1.1 400 "},
        {"bad length", "POST /TDD.Run HTTP/1.1\r\nContent-Length: -5\r\n\r\n", "HTTP/1.1 400 "},
        {"chunked body", "POST /TDD.Run HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
         "HTTP/1.1 501 "},
        {"other method", "PUT /TDD.Run HTTP/1.1\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", "HTTP/1.1 405 "},
    };
    for (const Case& c : cases) {
        Raw raw(port);
        ASSERT_TRUE(raw.Connected());
        raw.Send(c.request);
        const std::string reply = raw.Receive(std::chrono::seconds(5));
        EXPECT_EQ(reply.rfind(c.status, 0), 0u) << c.what << ": " << reply.substr(0, 40);
        EXPECT_TRUE(raw.Closed()) << c.what;
    }
    EXPECT_EQ(echo.requests.load(), 0);

    // Two requests in one go on one kept-alive connection, a body with its length, then HTTP/1.0,
    // which closes after its answer.
    Raw raw(port);
    raw.Send("GET /TDD.A?x=1 HTTP/1.1\r\nHost: x\r\n\r\nPOST /TDD.B HTTP/1.1\r\nContent-Length: 4\r\n\r\nbody"
             "GET /TDD.C HTTP/1.0\r\n\r\n");
    const std::string replies = raw.Receive(std::chrono::seconds(5));
    EXPECT_TRUE(raw.Closed());
    EXPECT_NE(replies.find("OK GET x=1"), std::string::npos) << replies;
    EXPECT_NE(replies.find("OK POST"), std::string::npos);
    EXPECT_LT(replies.find("OK GET x=1"), replies.find("OK POST"));
    EXPECT_NE(replies.find("Connection: close"), std::string::npos);
    EXPECT_EQ(echo.requests.load(), 3);
    QvWebUnregister(&echo);
}

TEST_F(Web, AnIdleConnectionIsClosedByTheServer) {
    const long port = StartWebServer();
    ASSERT_GT(port, 0);
    Raw raw(port);
    ASSERT_TRUE(raw.Connected());
    EXPECT_EQ(raw.Receive(std::chrono::seconds(15)), "");
    EXPECT_TRUE(raw.Closed());
}

TEST_F(Web, WithoutAWebServerRegisteringFailsAndUnregisteringIsFine) {
    EchoExtension echo(L"");
    QvClearHRErrorList();
    EXPECT_EQ(QvWebUnregister(&echo), S_OK);
    EXPECT_TRUE(QvGetHRErrorList().empty());
    EXPECT_EQ(QvWebRegister(&echo), E_FAIL);
    EXPECT_EQ(echo.refs.load(), 1);
    EXPECT_TRUE(backend.Log().Records().empty());
}

TEST_F(Web, ARepliesTextGoesOutAsUtf16UnitsWithTheirSizeInBytes) {
    char16_t* buffer = nullptr;
    DWORD size = 0;
    ASSERT_EQ(QvWebReply(L"abc", &buffer, &size), S_OK);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(std::u16string(buffer, 3), u"abc");
    CoTaskMemFree(buffer);

    // Characters beyond the first plane take two units.
    ASSERT_EQ(QvWebReply(L"\u00fc\U0001F692", &buffer, &size), S_OK);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(std::u16string(buffer, 3), std::u16string(u"\u00fc\U0001F692"));
    CoTaskMemFree(buffer);

    // An empty text leaves both outputs alone.
    char16_t marker = u'x';
    buffer = &marker;
    size = 77;
    EXPECT_EQ(QvWebReply(L"", &buffer, &size), S_OK);
    EXPECT_EQ(buffer, &marker);
    EXPECT_EQ(size, 77u);

    void* raw = &marker;
    long rawSize = 5;
    EXPECT_EQ(QvWebReply(L"", &raw, &rawSize), S_OK);
    EXPECT_EQ(raw, &marker);
    EXPECT_EQ(rawSize, 5);
    ASSERT_EQ(QvWebReply(L"NOK", &raw, &rawSize), S_OK);
    EXPECT_EQ(rawSize, 6);
    EXPECT_EQ(std::u16string(static_cast<char16_t*>(raw), 3), u"NOK");
    CoTaskMemFree(raw);
}

}  // namespace
