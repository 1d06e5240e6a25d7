#include "httpserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <vector>

namespace qvweb {

namespace {

using Clock = std::chrono::steady_clock;

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK); }

std::string Lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return s;
}

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

const char* Reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 413: return "Payload Too Large";
        case 431: return "Request Header Fields Too Large";
        case 500: return "Internal Server Error";
        case 501: return "Not Implemented";
        default: return "Unknown";
    }
}

}  // namespace

struct HttpServer::Connection {
    enum class State { Reading, Handling, Writing };
    int fd = -1;
    unsigned long long id = 0;
    State state = State::Reading;
    std::string in;
    std::string out;
    std::size_t sent = 0;
    bool keepAlive = true;
    bool closeAfterWrite = false;
    bool peerClosed = false;  // the peer sent all it will send
    Clock::time_point deadline;
};

HttpServer::HttpServer(Handler handler, HttpLimits limits) : m_handler(std::move(handler)), m_limits(limits) {}

HttpServer::~HttpServer() { Stop(); }

int HttpServer::Start(const char* host, int port) {
    m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0) return 0;
    int yes = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t len = sizeof addr;
    if (inet_pton(AF_INET, host, &addr.sin_addr) != 1 || bind(m_listen, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
        listen(m_listen, 128) != 0 || getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
        pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        close(m_listen);
        m_listen = -1;
        return 0;
    }
    SetNonBlocking(m_listen);
    m_io = std::thread([this] { Serve(); });
    m_worker = std::thread([this] { Work(); });
    return ntohs(addr.sin_port);
}

void HttpServer::Stop() {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_stop = true;
    }
    m_work.notify_all();
    if (m_wake[1] >= 0) Wake();
    if (m_io.joinable()) m_io.join();
    if (m_worker.joinable()) m_worker.join();
    auto release = [](int& fd) {
        if (fd >= 0) close(fd);
        fd = -1;
    };
    release(m_listen);
    release(m_wake[0]);
    release(m_wake[1]);
}

void HttpServer::Wake() {
    const char b = 1;
    [[maybe_unused]] ssize_t n = write(m_wake[1], &b, 1);
}

void HttpServer::Work() {
    std::unique_lock<std::mutex> g(m_lock);
    for (;;) {
        m_work.wait(g, [&] { return m_stop || !m_pending.empty(); });
        if (m_stop) return;
        Pending p = std::move(m_pending.front());
        m_pending.pop_front();
        g.unlock();
        HttpResponse r;
        try {
            r = m_handler(p.request);
        } catch (...) {
            r.status = 500;
            r.body = "The request failed.";
        }
        g.lock();
        m_done.push_back(Done{p.id, std::move(r), p.keepAlive});
        Wake();
    }
}

void HttpServer::Respond(Connection& c, const HttpResponse& r, bool keepAlive) {
    c.out = "HTTP/1.1 " + std::to_string(r.status) + " " + Reason(r.status) + "\r\n";
    c.out += "Content-Type: " + r.contentType + "\r\n";
    c.out += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
    c.out += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    c.out += r.body;
    c.sent = 0;
    c.closeAfterWrite = !keepAlive || c.peerClosed;
    c.state = Connection::State::Writing;
    c.deadline = Clock::now() + m_limits.request;
}

// Reads what arrived; false when the connection failed.
bool HttpServer::ReadFrom(Connection& c) {
    char buffer[16384];
    for (;;) {
        const ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            if (c.in.empty()) c.deadline = Clock::now() + m_limits.request;
            c.in.append(buffer, std::size_t(n));
            // Never hold more than one request's worth; the rest waits in the socket.
            if (c.in.size() > m_limits.maxHeaderBytes + m_limits.maxBodyBytes) return true;
            continue;
        }
        if (n == 0) {
            c.peerClosed = true;
            return true;
        }
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    }
}

// Takes one complete request out of the input, or refuses a bad one. False to close at once.
bool HttpServer::Parse(Connection& c) {
    const std::size_t end = c.in.find("\r\n\r\n");
    if (end == std::string::npos) {
        if (c.in.size() > m_limits.maxHeaderBytes) Respond(c, {431, "text/plain; charset=utf-8", "Header too large."}, false);
        return true;
    }
    if (end > m_limits.maxHeaderBytes) {
        Respond(c, {431, "text/plain; charset=utf-8", "Header too large."}, false);
        return true;
    }
    const std::string head = c.in.substr(0, end);
    std::size_t lineEnd = head.find("\r\n");
    const std::string first = head.substr(0, lineEnd);
    const std::size_t sp1 = first.find(' ');
    const std::size_t sp2 = sp1 == std::string::npos ? std::string::npos : first.find(' ', sp1 + 1);
    if (sp2 == std::string::npos) {
        Respond(c, {400, "text/plain; charset=utf-8", "Malformed request line."}, false);
        return true;
    }
    HttpRequest req;
    req.method = first.substr(0, sp1);
    req.target = first.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string version = first.substr(sp2 + 1);
    bool keepAlive = version == "HTTP/1.1";
    unsigned long long length = 0;
    while (lineEnd != std::string::npos) {
        const std::size_t next = head.find("\r\n", lineEnd + 2);
        const std::string line = head.substr(lineEnd + 2, next == std::string::npos ? std::string::npos : next - lineEnd - 2);
        lineEnd = next;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string name = Lower(Trim(line.substr(0, colon)));
        const std::string value = Trim(line.substr(colon + 1));
        if (name == "content-length") {
            if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos || value.size() > 18) {
                Respond(c, {400, "text/plain; charset=utf-8", "Malformed Content-Length."}, false);
                return true;
            }
            length = std::stoull(value);
        } else if (name == "transfer-encoding" && Lower(value) != "identity") {
            Respond(c, {501, "text/plain; charset=utf-8", "Transfer-Encoding is not supported."}, false);
            return true;
        } else if (name == "connection") {
            const std::string v = Lower(value);
            if (v == "close") keepAlive = false;
            if (v == "keep-alive") keepAlive = true;
        }
    }
    if (length > m_limits.maxBodyBytes) {
        Respond(c, {413, "text/plain; charset=utf-8", "Request body too large."}, false);
        return true;
    }
    if (c.in.size() < end + 4 + length) return true;  // the body is still coming
    req.body = c.in.substr(end + 4, std::size_t(length));
    c.in.erase(0, end + 4 + std::size_t(length));
    if (req.method != "GET" && req.method != "POST") {
        Respond(c, {405, "text/plain; charset=utf-8", "Only GET and POST are served."}, keepAlive);
        return true;
    }
    c.state = Connection::State::Handling;
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_pending.push_back(Pending{c.id, std::move(req), keepAlive});
    }
    m_work.notify_one();
    return true;
}

// Sends what the socket takes; false when the connection is to be closed.
bool HttpServer::WriteTo(Connection& c) {
    while (c.sent < c.out.size()) {
        const ssize_t n = send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
        if (n > 0) {
            c.sent += std::size_t(n);
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    }
    if (c.closeAfterWrite) {
        shutdown(c.fd, SHUT_WR);
        return false;
    }
    c.out.clear();
    c.sent = 0;
    c.state = Connection::State::Reading;
    c.deadline = Clock::now() + (c.in.empty() ? m_limits.idle : m_limits.request);
    return Parse(c);
}

void HttpServer::Serve() {
    std::map<unsigned long long, Connection> conns;
    unsigned long long nextId = 1;
    std::vector<pollfd> fds;
    std::vector<unsigned long long> ids;
    auto drop = [&](unsigned long long id) {
        auto it = conns.find(id);
        if (it == conns.end()) return;
        close(it->second.fd);
        conns.erase(it);
    };
    for (;;) {
        {
            std::lock_guard<std::mutex> g(m_lock);
            if (m_stop) break;
        }
        fds.clear();
        ids.clear();
        fds.push_back({m_wake[0], POLLIN, 0});
        fds.push_back({m_listen, short(conns.size() < m_limits.maxConnections ? POLLIN : 0), 0});
        auto wait = std::chrono::milliseconds(1000);
        const auto now = Clock::now();
        for (auto& [id, c] : conns) {
            short events = 0;
            if (c.state == Connection::State::Reading) events = POLLIN;
            if (c.state == Connection::State::Writing) events = POLLOUT;
            // A connection whose request is being handled is not watched: a hang-up would wake
            // poll() again and again.
            fds.push_back({c.state == Connection::State::Handling ? -1 : c.fd, events, 0});
            ids.push_back(id);
            if (c.state != Connection::State::Handling) {
                wait = std::min(wait, std::max(std::chrono::milliseconds(0),
                                               std::chrono::duration_cast<std::chrono::milliseconds>(c.deadline - now) +
                                                   std::chrono::milliseconds(1)));
            }
        }
        if (poll(fds.data(), fds.size(), int(wait.count())) < 0 && errno != EINTR) break;

        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (read(m_wake[0], drain, sizeof drain) > 0) {
            }
        }
        std::deque<Done> done;
        {
            std::lock_guard<std::mutex> g(m_lock);
            done.swap(m_done);
        }
        for (Done& d : done) {
            auto it = conns.find(d.id);
            if (it == conns.end()) continue;  // closed by the peer meanwhile
            Respond(it->second, d.response, d.keepAlive);
            if (!WriteTo(it->second)) drop(d.id);
        }
        for (std::size_t i = 0; i < ids.size(); ++i) {
            auto it = conns.find(ids[i]);
            if (it == conns.end()) continue;
            Connection& c = it->second;
            const short re = fds[i + 2].revents;
            bool keep = true;
            if (c.state == Connection::State::Reading && (re & (POLLIN | POLLHUP | POLLERR))) {
                keep = ReadFrom(c) && Parse(c);
                if (keep && c.state == Connection::State::Writing) keep = WriteTo(c);
                if (keep && c.state == Connection::State::Reading && c.peerClosed) keep = false;
            } else if (c.state == Connection::State::Writing && (re & (POLLOUT | POLLHUP | POLLERR))) {
                keep = WriteTo(c);
            }
            if (keep && c.state != Connection::State::Handling && Clock::now() >= c.deadline) keep = false;
            if (!keep) drop(ids[i]);
        }
        if (fds[1].revents & POLLIN) {
            while (conns.size() < m_limits.maxConnections) {
                const int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (fd < 0) break;
                Connection c;
                c.fd = fd;
                c.id = nextId++;
                c.deadline = Clock::now() + m_limits.idle;
                conns.emplace(c.id, std::move(c));
            }
        }
    }
    for (auto& [id, c] : conns) close(c.fd);
}

}  // namespace qvweb
