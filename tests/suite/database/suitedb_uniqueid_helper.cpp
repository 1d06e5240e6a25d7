// Draws keys from a suite database for the test of concurrent key drawing:
//   suitedb_uniqueid_helper DATABASE COUNT OUTFILE GOFILE
// waits until GOFILE exists, draws COUNT keys for Kurs.lKursID one by one and writes them to
// OUTFILE, one per line. Exit code 0 on success. DATABASE is a file, or a postgresql:// address
// where the helper is built with PostgreSQL.
#include "sqlitedb.h"
#include "suitedb.h"
#ifdef QV_HELPER_PG
#include "pgdb.h"
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

// Waits until the file exists; false after 30 seconds.
bool AwaitStart(const char* go) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (access(go, F_OK) != 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

#ifdef QV_HELPER_PG
int DrawOnServer(const char* url, int count, const char* outFile, const char* go) {
    qv::sql::PgDb db;
    if (db.Open(url) != 0) {
        std::fprintf(stderr, "%s\n", db.LastError().description.c_str());
        return 3;
    }
    if (!AwaitStart(go)) return 4;
    std::ofstream out(outFile);
    for (int i = 0; i < count; ++i) {
        qv::sql::PgRows rows;
        if (db.Query("SELECT dbo.sp_GetUniqueID('Kurs', 'lKursID')", &rows) != 0) {
            std::fprintf(stderr, "%s\n", db.LastError().description.c_str());
            return 5;
        }
        out << rows.rows.at(0).at(0).value_or("") << '\n';
    }
    return out.good() ? 0 : 6;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    const int count = std::atoi(argv[2]);
#ifdef QV_HELPER_PG
    if (std::string(argv[1]).rfind("postgresql://", 0) == 0) return DrawOnServer(argv[1], count, argv[3], argv[4]);
#endif
    qv::suite::InstallSuiteDatabase();
    qv::sql::SqliteDb db;
    if (db.Open(std::string("sqlite:") + argv[1], {30000, 16}) != 0) {
        std::fprintf(stderr, "%s\n", db.LastError().description.c_str());
        return 3;
    }
    if (!AwaitStart(argv[4])) return 4;
    std::ofstream out(argv[3]);
    for (int i = 0; i < count; ++i) {
        std::int64_t id = 0;
        std::string error;
        if (qv::suite::DrawUniqueID(db.Handle(), "Kurs", "lKursID", &id, &error) != 0) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 5;
        }
        out << id << '\n';
    }
    return out.good() ? 0 : 6;
}
