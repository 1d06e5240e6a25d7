// qvpgcluster start|stop DIR: the private PostgreSQL cluster of a test run.
#include "pgcluster.h"

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qvpgcluster start|stop DIR\n");
        return 2;
    }
    const std::string what = argv[1];
    try {
        if (what == "start") {
            // The test run (ctest) is our parent: when it ends, the cluster goes too.
            qvtest::StartPgCluster(argv[2], static_cast<int>(::getppid()));
        } else if (what == "stop") {
            qvtest::StopPgCluster(argv[2]);
        } else {
            std::fprintf(stderr, "usage: qvpgcluster start|stop DIR\n");
            return 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qvpgcluster: %s\n", e.what());
        return 1;
    }
    return 0;
}
