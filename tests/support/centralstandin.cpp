#include "centralstandin.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace qvtest {

std::string RecordedRequest::Param(const std::string& key) const {
    auto it = params.find(key);
    return it == params.end() ? std::string() : it->second;
}

bool RecordedRequest::HasParam(const std::string& key) const { return params.count(key) != 0; }

struct CentralStandIn::State {
    httplib::Server server;
    std::thread thread;
    mutable std::mutex lock;
    mutable std::condition_variable changed;
    bool stopping = false;
    bool listenEnded = false;
    Answer fallback;
    std::deque<Answer> queued;
    std::vector<RecordedRequest> requests;
};

std::string CentralStandIn::ReplyPage(const std::string& status, const std::string& hint,
                                      const std::string* data) {
    std::string page = "<html><head><title>Kursanmeldung</title></head><body>\r\n"
                       "<pre id=\"ResponseContainer\">status=" + status + "$hint=" + hint;
    if (data) page += "$data=" + *data;
    page += "</pre>\r\n</body></html>\r\n";
    return page;
}

CentralStandIn::CentralStandIn() : state_(std::make_shared<State>()) {
    state_->fallback.body = ReplyPage("ok");
    std::weak_ptr<State> weak = state_;
    state_->server.Get(".*", [weak](const httplib::Request& req, httplib::Response& res) {
        auto st = weak.lock();
        if (!st) return;
        RecordedRequest rec;
        rec.path = req.path;
        rec.target = req.target;
        for (const auto& [k, v] : req.params) rec.params.emplace(k, v);
        Answer answer;
        {
            std::unique_lock<std::mutex> guard(st->lock);
            st->requests.push_back(std::move(rec));
            if (!st->queued.empty()) {
                answer = st->queued.front();
                st->queued.pop_front();
            } else {
                answer = st->fallback;
            }
            st->changed.notify_all();
            if (answer.delay.count() > 0) {
                // A late answer: held back until the delay ran out or the stand-in stops.
                st->changed.wait_for(guard, answer.delay, [&] { return st->stopping; });
            }
        }
        res.status = answer.httpStatus;
        if (answer.contentEncoding.empty()) {
            res.set_content(answer.body, "text/html; charset=utf-8");
        } else {
            // A type the server leaves uncompressed, so the body goes out as it is.
            res.set_header("Content-Encoding", answer.contentEncoding);
            res.set_content(answer.body, "application/octet-stream");
        }
    });
    port_ = state_->server.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("stand-in central installation: no loopback port");
    state_->thread = std::thread([st = state_.get()] {
        st->server.listen_after_bind();
        std::lock_guard<std::mutex> guard(st->lock);
        st->listenEnded = true;
        st->changed.notify_all();
    });
    // The server only stops once it listens: a stand-in that goes at once would wait for ever.
    std::unique_lock<std::mutex> guard(state_->lock);
    while (!state_->server.is_running() && !state_->listenEnded)
        state_->changed.wait_for(guard, std::chrono::milliseconds(1));
}

CentralStandIn::~CentralStandIn() {
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        state_->stopping = true;
        state_->changed.notify_all();
    }
    state_->server.stop();
    if (state_->thread.joinable()) state_->thread.join();
}

std::string CentralStandIn::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

void CentralStandIn::SetDefault(Answer answer) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->fallback = std::move(answer);
}

void CentralStandIn::SetDefaultStatus(const std::string& status, const std::string& hint) {
    SetDefault(Answer{ReplyPage(status, hint)});
}

void CentralStandIn::SetDefaultStatus(const std::string& status, const std::string& hint, const std::string& data) {
    SetDefault(Answer{ReplyPage(status, hint, &data)});
}

void CentralStandIn::Queue(Answer answer) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->queued.push_back(std::move(answer));
}

void CentralStandIn::QueueStatus(const std::string& status, const std::string& hint) {
    Queue(Answer{ReplyPage(status, hint)});
}

void CentralStandIn::QueueStatus(const std::string& status, const std::string& hint, const std::string& data) {
    Queue(Answer{ReplyPage(status, hint, &data)});
}

std::vector<RecordedRequest> CentralStandIn::Requests() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->requests;
}

std::size_t CentralStandIn::RequestCount() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->requests.size();
}

bool CentralStandIn::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> guard(state_->lock);
    return state_->changed.wait_for(guard, timeout, [&] { return state_->requests.size() >= count; });
}

void CentralStandIn::ClearRequests() {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->requests.clear();
}

std::string CentralStandIn::RefusingUrl() {
    // Bind a port and keep it bound without listening for the life of the process: connecting
    // there is refused at once, and no other test's stand-in can be given the same port meanwhile
    // (a port closed again could be handed to a stand-in starting in parallel, which would answer).
    static const std::string url = [] {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        int port = 9;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) {
            socklen_t len = sizeof(addr);
            if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) port = ntohs(addr.sin_port);
        }
        return "http://127.0.0.1:" + std::to_string(port) + "/";
    }();
    return url;
}

}  // namespace qvtest
