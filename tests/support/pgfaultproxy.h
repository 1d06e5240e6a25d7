#pragma once
// A loopback TCP proxy in front of the test cluster that can lose a server's answer: the client's
// message is delivered and the server acts on it, but its answer never reaches the client, whose
// connection is cut instead (as when a network link breaks at the wrong moment).
#include <atomic>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace qvtest {

class PgFaultProxy {
public:
    // Forwards every connection made to Port() to 127.0.0.1:targetPort. Throws std::runtime_error.
    explicit PgFaultProxy(int targetPort);
    ~PgFaultProxy();
    PgFaultProxy(const PgFaultProxy&) = delete;
    PgFaultProxy& operator=(const PgFaultProxy&) = delete;

    int Port() const { return port_; }
    // `url` ("postgresql://user@host:port/db…") with the proxy's port in place of the server's.
    std::string Through(const std::string& url) const;
    // The next message of a client that holds `text` (in any case) goes to the server; the server's whole
    // answer to it (up to its ready-for-query) is read and thrown away and that client's
    // connection is cut. Once.
    void DropReplyTo(const std::string& text);
    // Whether an answer was thrown away.
    bool Dropped() const { return dropped_; }
    // As a server whose listening process has stopped (SIGSTOP of the postmaster) and goes on: new
    // connections wait unanswered in the listen queue until Listen(true); those made go on.
    void Listen(bool on);

private:
    void Accept();
    void Relay(int client);

    int listen_ = -1;
    int port_ = 0;
    int target_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> dropped_{false};
    bool listening_ = true;  // guarded by lock_
    std::mutex lock_;
    std::string armed_;  // guarded by lock_; empty: nothing to drop
    std::list<std::thread> relays_;
    std::thread acceptor_;
};

// The port of a "postgresql://…@host:PORT/…" address; 0 when it names none.
int PortOf(const std::string& url);

}  // namespace qvtest
