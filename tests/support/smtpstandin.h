#pragma once
// A small SMTP server on 127.0.0.1 for tests: it takes mails as a mail server would and keeps
// what it received. It answers one client at a time, refuses recipients or senders on request,
// and stops by itself after a time without clients (or when it goes).
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace qvtest {

struct SmtpMail {
    std::string from;
    std::vector<std::string> recipients;  // as given in RCPT TO, without the brackets
    std::string data;                     // the message, dot-unstuffed, CRLF line ends
    // The value of a header of the message, unfolded ("" when it is missing).
    std::string Header(const std::string& name) const;
    // The body after the first empty line, decoded when it came quoted-printable.
    std::string Body() const;
};

class SmtpStandIn {
public:
    // Listens on an ephemeral loopback port; stops after 'idle' without a client.
    explicit SmtpStandIn(std::chrono::seconds idle = std::chrono::seconds(60));
    ~SmtpStandIn();
    SmtpStandIn(const SmtpStandIn&) = delete;
    SmtpStandIn& operator=(const SmtpStandIn&) = delete;

    int Port() const { return port_; }
    std::vector<SmtpMail> Mails() const;
    // Recipients the server refuses with "550 5.1.1 <address>: mailbox unavailable".
    void Refuse(const std::string& address);
    // Every MAIL FROM is refused with this answer (empty: accepted).
    void RefuseSender(const std::string& answer);
    // Takes the message but never answers the final "." (a server that hangs).
    void SilentAfterData(bool silent);
    void Stop();

private:
    void Run();
    void Serve(int fd);

    int listen_ = -1;
    int port_ = 0;
    std::chrono::seconds idle_;
    std::atomic<bool> stop_{false};
    mutable std::mutex lock_;
    std::vector<SmtpMail> mails_;
    std::set<std::string> refused_;
    std::string senderAnswer_;
    std::atomic<bool> silentAfterData_{false};
    std::thread thread_;
};

}  // namespace qvtest
