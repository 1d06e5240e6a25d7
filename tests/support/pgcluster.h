#pragma once
// A private PostgreSQL cluster for the tests: initdb in a temporary folder, a free loopback port,
// run as an ordinary user (as root, as "nobody"). `qvpgcluster start DIR` starts it before the
// PostgreSQL tests and writes its address to DIR/url; `qvpgcluster stop DIR` stops it and removes
// the folder. A watcher stops it too when the test run that started it ends without stopping it.
//
// Each test takes a database of its own (PgTestDatabase), so the tests run in parallel.
#include <functional>
#include <string>

namespace qvtest {

// The folder the cluster of this test run lives in (QV_TEST_PG_DIR); empty when not set.
std::string PgClusterDir();
// "postgresql://qvtest@127.0.0.1:PORT" of the running cluster; empty when none runs.
std::string PgClusterUrl();

// Starts a cluster in `dir` (created; must not exist or be empty). Throws std::runtime_error.
// `watchPid`: the process whose end stops the cluster (0 = none).
// `durable`: every commit is flushed (fsync, synchronous_commit and full_page_writes on), as
// on a production server; the tests' cluster leaves that out for speed.
void StartPgCluster(const std::string& dir, int watchPid, bool durable = false);
// Stops the cluster in `dir` and removes the folder. Does nothing when none runs there.
void StopPgCluster(const std::string& dir);

// Makes the database `name` on the running cluster once for all test processes, by `fill` given
// its connection string, for fresh databases to be copied from. Throws std::runtime_error.
void EnsurePgTemplate(const std::string& name, const std::function<void(const std::string& url)>& fill);

// A fresh database on the running cluster, dropped when the object goes.
class PgTestDatabase {
public:
    PgTestDatabase();  // throws std::runtime_error when no cluster runs
    // A copy of the template database `templateName` (EnsurePgTemplate).
    explicit PgTestDatabase(const std::string& templateName);
    ~PgTestDatabase();
    PgTestDatabase(const PgTestDatabase&) = delete;
    PgTestDatabase& operator=(const PgTestDatabase&) = delete;
    // The connection string of the database.
    const std::string& url() const { return url_; }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    std::string url_;
};

}  // namespace qvtest
