// Draws keys from a suite database for the test of concurrent key drawing:
//   suitedb_uniqueid_helper DATABASE COUNT OUTFILE GOFILE
// waits until GOFILE exists, draws COUNT keys for Kurs.lKursID one by one and writes them to
// OUTFILE, one per line. Exit code 0 on success.
#include "sqlitedb.h"
#include "suitedb.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    const int count = std::atoi(argv[2]);
    qv::suite::InstallSuiteDatabase();
    qv::sql::SqliteDb db;
    if (db.Open(std::string("sqlite:") + argv[1], {30000, 16}) != 0) {
        std::fprintf(stderr, "%s\n", db.LastError().description.c_str());
        return 3;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (access(argv[4], F_OK) != 0) {
        if (std::chrono::steady_clock::now() > deadline) return 4;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
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
