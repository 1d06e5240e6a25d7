#pragma once
// A stand-in for the central installation's online registration page: a small HTTP server on
// loopback that answers every GET with the reply page of the registration exchange, records what it
// was sent, and can also answer malformed pages, answer late (for time-outs) or answer with an HTTP
// error status. RefusingUrl gives an address where nothing listens.
#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qvtest {

struct RecordedRequest {
    std::string path;    // "/kurs/anmeldung.aspx"
    std::string target;  // path and query exactly as sent
    std::multimap<std::string, std::string> params;  // decoded query keys and values
    std::string Param(const std::string& key) const;  // "" when missing
    bool HasParam(const std::string& key) const;
};

class CentralStandIn {
public:
    // One answer: a reply page, or a raw body, sent after an optional delay with an HTTP status.
    struct Answer {
        Answer() = default;
        Answer(std::string b, int status = 200, std::chrono::milliseconds d = {})
            : body(std::move(b)), httpStatus(status), delay(d) {}
        // A raw body already in `encoding`, sent with it as its Content-Encoding.
        static Answer Encoded(std::string b, std::string encoding) {
            Answer a(std::move(b));
            a.contentEncoding = std::move(encoding);
            return a;
        }

        std::string body;
        int httpStatus = 200;
        std::chrono::milliseconds delay{0};
        std::string contentEncoding;
    };

    CentralStandIn();
    ~CentralStandIn();
    CentralStandIn(const CentralStandIn&) = delete;
    CentralStandIn& operator=(const CentralStandIn&) = delete;

    // "http://127.0.0.1:<port>/"
    std::string BaseUrl() const;
    int Port() const { return port_; }

    // The reply page: <pre id="ResponseContainer">status=<status>$hint=<hint>[$data=<data>]</pre>.
    static std::string ReplyPage(const std::string& status, const std::string& hint = {},
                                 const std::string* data = nullptr);

    // The answer for every request that finds the queue empty (at start: status "ok").
    void SetDefault(Answer answer);
    void SetDefaultStatus(const std::string& status, const std::string& hint = {});
    void SetDefaultStatus(const std::string& status, const std::string& hint, const std::string& data);
    // Answers taken one per request, in order, before the default.
    void Queue(Answer answer);
    void QueueStatus(const std::string& status, const std::string& hint = {});
    void QueueStatus(const std::string& status, const std::string& hint, const std::string& data);

    std::vector<RecordedRequest> Requests() const;
    std::size_t RequestCount() const;
    // Waits until at least 'count' requests arrived; false when the time-out ran out first.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    void ClearRequests();

    // A loopback URL on a port this process keeps bound without a listener: connections are refused.
    static std::string RefusingUrl();

private:
    struct State;
    std::shared_ptr<State> state_;
    int port_ = 0;
};

}  // namespace qvtest
