#include "pgfaultproxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace qvtest {

namespace {

constexpr int kPollMs = 20;

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The server's ready-for-query message ('Z', length 5, one status byte) ends each answer.
bool HoldsReadyForQuery(const std::string& bytes) {
    static const char kReady[] = {'Z', 0, 0, 0, 5};
    return bytes.find(std::string(kReady, sizeof kReady)) != std::string::npos;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return s;
}

}  // namespace

int PortOf(const std::string& url) {
    const auto at = url.find('@');
    const auto colon = url.find(':', at == std::string::npos ? url.find("//") + 2 : at);
    if (colon == std::string::npos) return 0;
    return std::atoi(url.c_str() + colon + 1);
}

PgFaultProxy::PgFaultProxy(int targetPort) : target_(targetPort) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listen_ < 0) throw std::runtime_error("socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listen_, 16) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(listen_);
        throw std::runtime_error("bind");
    }
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
}

PgFaultProxy::~PgFaultProxy() {
    stop_ = true;
    acceptor_.join();
    for (auto& t : relays_) t.join();
    ::close(listen_);
}

std::string PgFaultProxy::Through(const std::string& url) const {
    const std::string from = ":" + std::to_string(PortOf(url));
    const auto pos = url.find(from, url.find('@') == std::string::npos ? 0 : url.find('@'));
    if (pos == std::string::npos) return url;
    return url.substr(0, pos) + ":" + std::to_string(port_) + url.substr(pos + from.size());
}

void PgFaultProxy::DropReplyTo(const std::string& text) {
    std::lock_guard g(lock_);
    armed_ = Lower(text);
    dropped_ = false;
}

void PgFaultProxy::Listen(bool on) {
    std::lock_guard g(lock_);
    listening_ = on;
}

void PgFaultProxy::Accept() {
    while (!stop_) {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0) continue;
        std::lock_guard g(lock_);
        // Not listening: the connection waits in the queue, as with a listener that stands still.
        if (!listening_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
            continue;
        }
        const int client = ::accept(listen_, nullptr, nullptr);
        if (client < 0) continue;
        relays_.emplace_back([this, client] { Relay(client); });
    }
}

void PgFaultProxy::Relay(int client) {
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(target_));
    if (server < 0 || ::connect(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (server >= 0) ::close(server);
        ::close(client);
        return;
    }
    char buffer[65536];
    while (!stop_) {
        pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(p, 2, kPollMs) <= 0) continue;
        if (p[0].revents) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            bool drop = false;
            {
                std::lock_guard g(lock_);
                const std::string chunk = Lower(std::string(buffer, static_cast<std::size_t>(n)));
                if (!armed_.empty() && chunk.find(armed_) != std::string::npos) {
                    drop = true;
                    armed_.clear();
                }
            }
            if (!SendAll(server, buffer, static_cast<std::size_t>(n))) break;
            if (drop) {
                // The server acts on the message; its answer goes nowhere.
                std::string answer;
                while (!stop_ && !HoldsReadyForQuery(answer)) {
                    pollfd s{server, POLLIN, 0};
                    if (::poll(&s, 1, kPollMs) <= 0) continue;
                    const ssize_t m = ::recv(server, buffer, sizeof buffer, 0);
                    if (m <= 0) break;
                    answer.append(buffer, static_cast<std::size_t>(m));
                }
                dropped_ = true;
                break;
            }
        }
        if (p[1].revents) {
            const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
            if (n <= 0 || !SendAll(client, buffer, static_cast<std::size_t>(n))) break;
        }
    }
    ::shutdown(client, SHUT_RDWR);
    ::close(client);
    ::close(server);
}

}  // namespace qvtest
