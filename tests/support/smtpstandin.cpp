#include "smtpstandin.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace qvtest {

namespace {

constexpr int kPollMs = 100;
constexpr std::size_t kMaxLine = 64 * 1024;
constexpr std::size_t kMaxMessage = 8 * 1024 * 1024;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string Address(const std::string& arg) {
    const auto open = arg.find('<');
    const auto close = arg.find('>', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || close == std::string::npos) return arg;
    return arg.substr(open + 1, close - open - 1);
}

}  // namespace

std::string SmtpMail::Header(const std::string& name) const {
    const std::string want = Lower(name) + ":";
    std::size_t pos = 0;
    while (pos < data.size()) {
        const auto end = data.find("\r\n", pos);
        const std::string line = data.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (line.empty()) break;
        if (Lower(line.substr(0, want.size())) == want) {
            std::string value = line.substr(want.size());
            // Continuation lines begin with a blank; unfolding drops the line break only.
            for (auto next = end; next != std::string::npos && next + 2 < data.size() &&
                                  (data[next + 2] == ' ' || data[next + 2] == '\t');) {
                const auto stop = data.find("\r\n", next + 2);
                value += data.substr(next + 2, stop == std::string::npos ? std::string::npos : stop - next - 2);
                next = stop;
            }
            while (!value.empty() && value[0] == ' ') value.erase(0, 1);
            return value;
        }
        if (end == std::string::npos) break;
        pos = end + 2;
    }
    return {};
}

std::string SmtpMail::Body() const {
    const auto sep = data.find("\r\n\r\n");
    if (sep == std::string::npos) return {};
    const std::string raw = data.substr(sep + 4);
    if (Lower(Header("Content-Transfer-Encoding")) != "quoted-printable") return raw;
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '=') {
            out += raw[i];
        } else if (raw.compare(i + 1, 2, "\r\n") == 0) {
            i += 2;  // a soft line break
        } else if (i + 2 < raw.size() && std::isxdigit((unsigned char)raw[i + 1]) && std::isxdigit((unsigned char)raw[i + 2])) {
            out += char(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += raw[i];
        }
    }
    return out;
}

SmtpStandIn::SmtpStandIn(std::chrono::seconds idle) : idle_(idle) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(listen_, 4) == 0) {
        socklen_t len = sizeof addr;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
}

SmtpStandIn::~SmtpStandIn() {
    Stop();
    if (listen_ >= 0) ::close(listen_);
}

void SmtpStandIn::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::vector<SmtpMail> SmtpStandIn::Mails() const {
    std::lock_guard g(lock_);
    return mails_;
}

void SmtpStandIn::Refuse(const std::string& address) {
    std::lock_guard g(lock_);
    refused_.insert(Lower(address));
}

void SmtpStandIn::RefuseSender(const std::string& answer) {
    std::lock_guard g(lock_);
    senderAnswer_ = answer;
}

void SmtpStandIn::SilentAfterData(bool silent) { silentAfterData_ = silent; }

void SmtpStandIn::Run() {
    auto last = std::chrono::steady_clock::now();
    while (!stop_ && std::chrono::steady_clock::now() - last < idle_) {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0) continue;
        const int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0) continue;
        Serve(fd);
        ::close(fd);
        last = std::chrono::steady_clock::now();
    }
}

void SmtpStandIn::Serve(int fd) {
    std::string in;
    auto send = [fd](const std::string& s) {
        const std::string line = s + "\r\n";
        (void)!::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    };
    // One line, or false when the client went, the server stops or the client is silent too long.
    auto readLine = [&](std::string& line) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            const auto eol = in.find("\r\n");
            if (eol != std::string::npos) {
                line = in.substr(0, eol);
                in.erase(0, eol + 2);
                return true;
            }
            if (stop_ || in.size() > kMaxLine || std::chrono::steady_clock::now() > deadline) return false;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, kPollMs) <= 0) continue;
            char buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return false;
            in.append(buf, std::size_t(n));
        }
    };
    send("220 standin ESMTP");
    SmtpMail mail;
    std::string line;
    while (readLine(line)) {
        const std::string verb = Lower(line.substr(0, 4));
        if (verb == "ehlo") {
            send("250-standin");
            send("250 8BITMIME");
        } else if (verb == "helo") {
            send("250 standin");
        } else if (verb == "mail") {
            std::string answer;
            {
                std::lock_guard g(lock_);
                answer = senderAnswer_;
            }
            if (!answer.empty()) {
                send(answer);
                continue;
            }
            mail = SmtpMail{};
            mail.from = Address(line.substr(10));
            send("250 2.1.0 Ok");
        } else if (verb == "rcpt") {
            const std::string to = Address(line.substr(8));
            bool refused;
            {
                std::lock_guard g(lock_);
                refused = refused_.count(Lower(to)) > 0;
            }
            if (refused) {
                send("550 5.1.1 <" + to + ">: mailbox unavailable");
            } else {
                mail.recipients.push_back(to);
                send("250 2.1.5 Ok");
            }
        } else if (verb == "data") {
            if (mail.recipients.empty()) {
                send("554 5.5.1 No valid recipients");
                continue;
            }
            send("354 End data with <CR><LF>.<CR><LF>");
            std::string data;
            bool complete = false;
            while (readLine(line)) {
                if (line == ".") {
                    complete = true;
                    break;
                }
                if (!line.empty() && line[0] == '.') line.erase(0, 1);
                data += line + "\r\n";
                if (data.size() > kMaxMessage) break;
            }
            if (!complete) return;
            if (silentAfterData_) {
                // Holds the line open without a word until the client goes or the server stops.
                while (!stop_ && readLine(line)) {
                }
                return;
            }
            mail.data = data;
            {
                std::lock_guard g(lock_);
                mails_.push_back(mail);
            }
            mail = SmtpMail{};
            send("250 2.0.0 Ok: queued");
        } else if (verb == "rset") {
            mail = SmtpMail{};
            send("250 2.0.0 Ok");
        } else if (verb == "noop") {
            send("250 2.0.0 Ok");
        } else if (verb == "quit") {
            send("221 2.0.0 Bye");
            return;
        } else {
            send("502 5.5.2 Error: command not recognized");
        }
    }
}

}  // namespace qvtest
