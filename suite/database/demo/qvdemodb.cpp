// qvdemodb: creates a suite database with demo data.
//   qvdemodb --db PATH|postgresql://… [--seed N] [--year YYYY] [--force] [--persons N] [--registrations N]
// Exit codes: 0 built, 1 failed, 2 wrong arguments, 3 refused (the database holds data).
#include "demodata.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: qvdemodb --db PATH|postgresql://... [--seed N] [--year YYYY] [--force] [--persons N] [--registrations N]\n"
                 "  Creates PATH with the suite schema when it is missing (or an empty file) and fills it\n"
                 "  with demo data. A file that is no suite database is left as it is.\n"
                 "  A PostgreSQL address (postgresql://user@host:port/database): the database must be empty\n"
                 "  (it gets the suite schema) or hold a suite schema without data; one holding anything\n"
                 "  else is left as it is.\n"
                 "  --seed N     the same seed gives the same data (default 1)\n"
                 "  --year YYYY  the data as of 1 July of that year, the same whenever it is made\n"
                 "               (default: as of today, with runs open for registration in the coming weeks)\n"
                 "  --force      replace a database that already holds data, or a file that is none\n"
                 "  --persons N, --registrations N\n"
                 "               a canton-size database: the brigades, courses and runs copied until\n"
                 "               about N persons and N registrations are reached\n"
                 "  --help       this text\n");
}

bool Number(const char* text, long long lo, long long hi, long long* out) {
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (!*text || *end || v < lo || v > hi) return false;
    *out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    qv::suite::DemoFileOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        long long n = 0;
        if (arg == "--db" && hasValue) {
            options.path = argv[++i];
        } else if (arg == "--seed" && hasValue && Number(argv[i + 1], 0, 0xFFFFFFFFll, &n)) {
            options.seed = unsigned(n);
            ++i;
        } else if (arg == "--year" && hasValue && Number(argv[i + 1], 1010, 9988, &n)) {
            options.baseYear = int(n);
            ++i;
        } else if (arg == "--persons" && hasValue && Number(argv[i + 1], 0, 10000000, &n)) {
            options.scale.persons = n;
            ++i;
        } else if (arg == "--registrations" && hasValue && Number(argv[i + 1], 0, 100000000, &n)) {
            options.scale.registrations = n;
            ++i;
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else {
            if (arg == "--db" || arg == "--seed" || arg == "--year" || arg == "--persons" || arg == "--registrations")
                std::fprintf(stderr, "qvdemodb: %s needs a valid value\n", arg.c_str());
            else
                std::fprintf(stderr, "qvdemodb: unknown argument '%s'\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (options.path.empty()) {
        std::fprintf(stderr, "qvdemodb: --db PATH is missing\n");
        Usage(stderr);
        return 2;
    }

    if (options.scale.persons || options.scale.registrations || qv::suite::IsPgAddress(options.path)) {
        options.scale.progress = [](const std::string& step, double done) {
            std::fprintf(stderr, "\rqvdemodb: %-14s %3d%%", step.c_str(), int(done * 100 + 0.5));
            if (done >= 1.0) std::fputc('\n', stderr);
            std::fflush(stderr);
        };
    }
    qv::suite::DemoFileReport report;
    std::string error;
    switch (qv::suite::MakeDemoDatabase(options, &report, &error)) {
    case qv::suite::DemoFileResult::Built: {
        const auto& s = report.summary;
        std::printf("%s %s in %.2f s (seed %u): %d Mandanten, %d persons, %d courses, %d runs, %d registrations\n",
                    options.path.c_str(), report.replaced ? "replaced" : "built", report.seconds, options.seed,
                    s.mandanten, s.persons, s.courses, s.runs, s.registrations);
        return 0;
    }
    case qv::suite::DemoFileResult::Refused:
        std::fprintf(stderr, "qvdemodb: %s\n", error.c_str());
        return 3;
    case qv::suite::DemoFileResult::Failed:
        break;
    }
    std::fprintf(stderr, "qvdemodb: %s\n", error.c_str());
    return 1;
}
