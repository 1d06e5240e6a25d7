#include "benchpg.h"

#include "pgcluster.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace qvbench {

namespace {

struct Cluster {
    std::string stateDir;
    std::unique_ptr<qvtest::PgTestDatabase> db;
    ~Cluster() {
        db.reset();
        if (!stateDir.empty()) qvtest::StopPgCluster(stateDir);
    }
};

}  // namespace

const std::string& PgUrl() {
    static Cluster cluster;
    static const std::string url = [] {
        if (const char* given = std::getenv("QV_BENCH_PG"); given && *given) {
            std::fprintf(stderr, "benchmark: PostgreSQL at QV_BENCH_PG, durable as that server is set up\n");
            return std::string(given);
        }
        try {
            cluster.stateDir =
                (std::filesystem::temp_directory_path() / ("qvpg-bench-" + std::to_string(::getpid()))).string();
            // Durable, as a production server: each commit waits for its flush to the disk.
            qvtest::StartPgCluster(cluster.stateDir, static_cast<int>(::getpid()), true);
            std::fprintf(stderr, "benchmark: private PostgreSQL cluster with fsync, synchronous_commit and "
                                 "full_page_writes on\n");
            ::setenv("QV_TEST_PG_DIR", cluster.stateDir.c_str(), 1);
            cluster.db = std::make_unique<qvtest::PgTestDatabase>();
            return cluster.db->url();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "benchmark: no PostgreSQL server (%s); QV_BENCH_PG names one\n", e.what());
            std::exit(1);
        }
    }();
    return url;
}

}  // namespace qvbench
