#pragma once
// The web server's HTTP/1.1 listener: one thread watches every connection with poll() and hands
// complete requests, one at a time, to a second thread that runs the handler. A connection that
// idles, sends too slowly or sends too much is closed or refused on its own, so it never holds
// up the requests of others.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace qvweb {

struct HttpRequest {
    std::string method;  // "GET", "POST"
    std::string target;  // path and query as sent
    std::string body;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
};

struct HttpLimits {
    // A kept-alive connection without a request in it is closed after this.
    std::chrono::milliseconds idle{5000};
    // From the first byte of a request until it is complete, and for sending the reply.
    std::chrono::milliseconds request{10000};
    std::size_t maxHeaderBytes = 16 * 1024;
    std::size_t maxBodyBytes = 1024 * 1024;
    std::size_t maxConnections = 256;
};

class HttpServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    explicit HttpServer(Handler handler, HttpLimits limits = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds to the IPv4 address `host` and `port` (0: any free port) and starts serving. Returns
    // the port, or 0 when it cannot listen.
    int Start(const char* host, int port);
    // Closes every connection; a handler that is running is waited for.
    void Stop();

private:
    struct Connection;
    struct Done {
        unsigned long long id;
        HttpResponse response;
        bool keepAlive;
    };
    struct Pending {
        unsigned long long id;
        HttpRequest request;
        bool keepAlive;
    };

    void Serve();
    void Work();
    void Wake();
    bool ReadFrom(Connection& c);
    bool Parse(Connection& c);
    bool WriteTo(Connection& c);
    void Respond(Connection& c, const HttpResponse& r, bool keepAlive);

    Handler m_handler;
    HttpLimits m_limits;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    std::thread m_io;
    std::thread m_worker;

    std::mutex m_lock;
    std::condition_variable m_work;
    std::deque<Pending> m_pending;
    std::deque<Done> m_done;
    bool m_stop = false;
};

}  // namespace qvweb
