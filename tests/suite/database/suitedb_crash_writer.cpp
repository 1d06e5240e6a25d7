// Writes whole transactions into a suite database until it is killed: each one a course and
// five runs of it. Prints "committed N" after each commit.
#include "sqlitedb.h"
#include "suitedb.h"

#include <sqlite3.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    qv::suite::InstallSuiteDatabase();
    qv::sql::SqliteDb db;
    if (db.Open(std::string("sqlite:") + argv[1]) != SQLITE_OK) return 1;
    for (long n = 1;; ++n) {
        if (db.Begin() != SQLITE_OK) return 1;
        std::string sql = "INSERT INTO Kurs (lKursID, lTyp, strBezeichnung) VALUES (" + std::to_string(n) +
                          ", 3, 'Kurs " + std::to_string(n) + "');";
        for (int i = 0; i < 5; ++i) {
            sql += "INSERT INTO Kursinstanz (lKursinstanzID, lKursID, strBezeichnung) VALUES (" +
                   std::to_string(n * 10 + i) + ", " + std::to_string(n) + ", 'Austragung');";
        }
        if (db.Exec(sql) != SQLITE_OK || db.Commit() != SQLITE_OK) return 1;
        std::printf("committed %ld\n", n);
        std::fflush(stdout);
    }
}
