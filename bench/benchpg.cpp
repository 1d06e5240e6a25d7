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
        if (const char* given = std::getenv("QV_BENCH_PG"); given && *given) return std::string(given);
        try {
            cluster.stateDir =
                (std::filesystem::temp_directory_path() / ("qvpg-bench-" + std::to_string(::getpid()))).string();
            qvtest::StartPgCluster(cluster.stateDir, static_cast<int>(::getpid()));
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
