#include "pgcluster.h"

#include <libpq-fe.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace qvtest {

namespace {

constexpr const char* kUser = "qvtest";

// The folder of initdb, pg_ctl and postgres: the newest under /usr/lib/postgresql, else PATH.
std::string BinDir() {
    std::string best;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        const fs::path bin = e.path() / "bin";
        if (fs::exists(bin / "pg_ctl") && (best.empty() || std::stoi(e.path().filename().string()) > std::stoi(fs::path(best).parent_path().filename().string()))) {
            best = bin.string();
        }
    }
    return best;
}

std::string Tool(const std::string& name) {
    const std::string dir = BinDir();
    return dir.empty() ? name : dir + "/" + name;
}

struct Account {
    uid_t uid;
    gid_t gid;
    bool switchUser;
};

// The server refuses to run as root.
Account RunAs() {
    if (::geteuid() != 0) return {::geteuid(), ::getegid(), false};
    const passwd* pw = ::getpwnam("nobody");
    if (!pw) throw std::runtime_error("no user 'nobody' to run the PostgreSQL server as");
    return {pw->pw_uid, pw->pw_gid, true};
}

// Runs `args` as the account, output to `log`; returns the exit status.
int Run(const std::vector<std::string>& args, const Account& who, const std::string& log) {
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
        }
        if (who.switchUser && (::setgroups(0, nullptr) != 0 || ::setgid(who.gid) != 0 || ::setuid(who.uid) != 0)) _exit(126);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (s >= 0) ::close(s);
        throw std::runtime_error("no free loopback port");
    }
    ::close(s);
    return ntohs(a.sin_port);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs `sql` on the cluster's maintenance database.
void Admin(const std::string& sql) {
    PGconn* c = PQconnectdb((PgClusterUrl() + "/postgres").c_str());
    if (PQstatus(c) != CONNECTION_OK) {
        std::string m = PQerrorMessage(c);
        PQfinish(c);
        throw std::runtime_error("cannot reach the test cluster: " + m);
    }
    PQsetNoticeProcessor(c, [](void*, const char*) {}, nullptr);
    PGresult* r = PQexec(c, sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    std::string m = PQerrorMessage(c);
    PQclear(r);
    PQfinish(c);
    if (!ok) throw std::runtime_error(sql + ": " + m);
}

void StopServer(const std::string& dir) {
    std::string home = ReadFile(dir + "/home");
    while (!home.empty() && home.back() == '\n') home.pop_back();
    if (home.empty() || !fs::exists(home + "/data/postmaster.pid")) return;
    Run({Tool("pg_ctl"), "stop", "-D", home + "/data", "-m", "immediate", "-w"}, RunAs(), "/dev/null");
}

// Waits, in a process of its own, for `watchPid` to end or for the folder to be stopped, then
// stops the server and removes the folder.
void StartWatcher(const std::string& dir, int watchPid) {
    const pid_t pid = ::fork();
    if (pid != 0) return;
    ::setsid();
    // The test run reads our output until it closes: let go of it.
    const int null = ::open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3; ++fd) ::dup2(null, fd);
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, watchPid, 0));
    if (fd >= 0) {
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
        StopPgCluster(dir);
    }
    _exit(0);
}

}  // namespace

std::string PgClusterDir() {
    const char* d = std::getenv("QV_TEST_PG_DIR");
    return d ? d : "";
}

std::string PgClusterUrl() {
    const std::string dir = PgClusterDir();
    if (dir.empty()) return {};
    std::string url = ReadFile(dir + "/url");
    while (!url.empty() && (url.back() == '\n' || url.back() == ' ')) url.pop_back();
    return url;
}

void StartPgCluster(const std::string& dir, int watchPid, bool durable) {
    const Account who = RunAs();
    std::error_code ec;
    StopPgCluster(dir);
    fs::create_directories(dir);
    // The cluster itself lives under the temporary folder, which the server's account can reach
    // whatever the permissions of the build folder.
    std::string home = (fs::temp_directory_path() / "qvpg-XXXXXX").string();
    if (!::mkdtemp(home.data())) throw std::runtime_error("mkdtemp failed");
    std::ofstream(dir + "/home") << home << "\n";
    if (who.switchUser && ::chown(home.c_str(), who.uid, who.gid) != 0) throw std::runtime_error("cannot hand " + home + " over");
    const std::string log = home + "/server.log";
    if (Run({Tool("initdb"), "-D", home + "/data", "-U", kUser, "--auth=trust", "--encoding=UTF8", "--locale=C.UTF-8", "--no-sync"}, who,
            home + "/initdb.log") != 0) {
        throw std::runtime_error("initdb failed: " + ReadFile(home + "/initdb.log"));
    }
    // A port taken by someone else between choosing and listening: choose again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int port = FreePort();
        const std::string opts = "-p " + std::to_string(port) + " -k " + home +
                                 " -c listen_addresses=127.0.0.1 -c max_connections=200 -c shared_buffers=32MB" +
                                 std::string(durable ? " -c fsync=on -c synchronous_commit=on -c full_page_writes=on"
                                                     : " -c fsync=off -c synchronous_commit=off -c full_page_writes=off");
        if (Run({Tool("pg_ctl"), "start", "-D", home + "/data", "-w", "-t", "60", "-l", log, "-o", opts}, who, home + "/pg_ctl.log") == 0) {
            std::ofstream(dir + "/url") << "postgresql://" << kUser << "@127.0.0.1:" << port << "\n";
            if (watchPid > 0) StartWatcher(dir, watchPid);
            return;
        }
    }
    throw std::runtime_error("the PostgreSQL server did not start: " + ReadFile(log));
}

void StopPgCluster(const std::string& dir) {
    std::error_code ec;
    if (!fs::exists(dir, ec)) return;
    StopServer(dir);
    std::string home = ReadFile(dir + "/home");
    while (!home.empty() && home.back() == '\n') home.pop_back();
    if (!home.empty()) fs::remove_all(home, ec);
    fs::remove_all(dir, ec);
}

void EnsurePgTemplate(const std::string& name, const std::function<void(const std::string& url)>& fill) {
    if (PgClusterUrl().empty()) throw std::runtime_error("no PostgreSQL test cluster runs (QV_TEST_PG_DIR)");
    PGconn* c = PQconnectdb((PgClusterUrl() + "/postgres").c_str());
    auto query = [&](const std::string& sql) {
        PGresult* r = PQexec(c, sql.c_str());
        const auto status = PQresultStatus(r);
        std::string value = status == PGRES_TUPLES_OK && PQntuples(r) > 0 ? PQgetvalue(r, 0, 0) : "";
        const std::string m = PQerrorMessage(c);
        PQclear(r);
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) throw std::runtime_error(sql + ": " + m);
        return value;
    };
    try {
        if (PQstatus(c) != CONNECTION_OK) throw std::runtime_error("cannot reach the test cluster: " + std::string(PQerrorMessage(c)));
        PQsetNoticeProcessor(c, [](void*, const char*) {}, nullptr);
        // The processes of the run wait for the one that makes it; a template is marked only when
        // it is complete, so one left half made by a process that died is made again.
        query("SELECT pg_advisory_lock(hashtext('qvtemplate:" + name + "'))");
        if (query("SELECT count(*) FROM pg_database WHERE datname = '" + name + "' AND datistemplate") == "0") {
            query("DROP DATABASE IF EXISTS " + name);
            query("CREATE DATABASE " + name);
            fill(PgClusterUrl() + "/" + name);
            query("ALTER DATABASE " + name + " WITH IS_TEMPLATE true ALLOW_CONNECTIONS false");
        }
        query("SELECT pg_advisory_unlock(hashtext('qvtemplate:" + name + "'))");
    } catch (...) {
        PQfinish(c);
        throw;
    }
    PQfinish(c);
}

PgTestDatabase::PgTestDatabase() : PgTestDatabase(std::string()) {}

PgTestDatabase::PgTestDatabase(const std::string& templateName) {
    if (PgClusterUrl().empty()) throw std::runtime_error("no PostgreSQL test cluster runs (QV_TEST_PG_DIR)");
    static std::atomic<int> counter{0};
    name_ = "t" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    Admin("DROP DATABASE IF EXISTS " + name_);
    Admin("CREATE DATABASE " + name_ + (templateName.empty() ? "" : " TEMPLATE " + templateName + " STRATEGY FILE_COPY"));
    url_ = PgClusterUrl() + "/" + name_;
}

PgTestDatabase::~PgTestDatabase() {
    try {
        Admin("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    } catch (const std::exception&) {
        // The cluster is removed at the end of the run anyway.
    }
}

}  // namespace qvtest
