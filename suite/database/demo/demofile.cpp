// Making a demo database file so that a half-made database is never left behind: new files are
// built under a temporary name and renamed into place when complete; an existing empty database is
// filled in one transaction.
#include "demodata.h"

#include "dbfile.h"

#include "sqlitedb.h"
#include "suitedb.h"
#include "tsqlruntime.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>

namespace qv::suite {

namespace {

namespace fs = std::filesystem;

DemoFileResult Failed(std::string* error, const std::string& text) {
    if (error) *error = text;
    return DemoFileResult::Failed;
}

enum class Found { Missing, Empty, Fresh, HoldsData, Foreign, Unreadable };

// What the file holds, looked at without changing it or leaving anything beside it.
Found Inspect(const std::string& path, std::string* why) {
    const DatabaseFile file = InspectDatabaseFile(path);
    switch (file.kind) {
    case DatabaseKind::Missing:
        return Found::Missing;
    case DatabaseKind::Empty:
        if (!file.readOnly) return Found::Empty;
        break;
    case DatabaseKind::Folder:
    case DatabaseKind::Unreadable:
        *why = file.message;
        return Found::Unreadable;
    case DatabaseKind::NotDatabase:
    case DatabaseKind::Foreign:
        *why = file.message;
        return Found::Foreign;
    case DatabaseKind::OtherVersion:
        *why = file.message;
        return Found::HoldsData;
    case DatabaseKind::Suite:
        break;
    }
    if (file.readOnly) {
        *why = path + " is read-only.";
        return Found::Unreadable;
    }
    std::error_code ec;
    const bool hasLog = fs::exists(path + "-wal", ec);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(qv::sql::FileUri(path, hasLog ? "mode=ro" : "immutable=1").c_str(), &db,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        rc = qv::sql::RegisterTsqlRuntime(db);
    }
    Found found = Found::Unreadable;
    bool holds = false;
    std::string error;
    if (rc == SQLITE_OK) rc = HoldsUserData(db, &holds, &error);
    if (rc != SQLITE_OK) {
        *why = path + " cannot be read (" + (error.empty() ? sqlite3_errstr(rc) : error) + ").";
    } else if (holds) {
        *why = path + " already holds data.";
        found = Found::HoldsData;
    } else {
        found = Found::Fresh;
    }
    sqlite3_close_v2(db);
    return found;
}

// Schema (when missing) and data in one transaction of an open connection.
int Fill(qv::sql::SqliteDb& db, const DemoFileOptions& options, DemoFileReport* report, std::string* error) {
    int rc = db.Begin();
    if (rc != SQLITE_OK) {
        if (error) *error = db.LastError().description;
        return rc;
    }
    const auto start = std::chrono::steady_clock::now();
    rc = CreateSchema(db.Handle(), error);
    if (rc == SQLITE_OK) rc = GenerateDemoDataAsOf(db.Handle(), options.seed, DemoReferenceDate(options.baseYear), error);
    if (rc == SQLITE_OK) rc = ScaleDemoData(db.Handle(), options.scale, error);
    // A new database gets the planner's statistics with its rows (the scaler has made them when
    // the data grew).
    if (rc == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        bool analysed = false;
        if (sqlite3_prepare_v2(db.Handle(), "SELECT 1 FROM sqlite_master WHERE name = 'sqlite_stat1'", -1, &st,
                               nullptr) == SQLITE_OK)
            analysed = sqlite3_step(st) == SQLITE_ROW;
        sqlite3_finalize(st);
        if (!analysed) rc = db.Exec("ANALYZE");
        if (rc != SQLITE_OK && error) *error = db.LastError().description;
    }
    if (rc == SQLITE_OK && report) rc = SummarizeDemoData(db.Handle(), &report->summary, error);
    if (rc != SQLITE_OK) {
        db.Rollback();
        return rc;
    }
    rc = db.Commit();
    if (rc != SQLITE_OK) {
        if (error) *error = db.LastError().description;
        db.Rollback();
        return rc;
    }
    if (report) report->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return SQLITE_OK;
}

// Copies the write-ahead log into the database file and empties it: only then is the file alone
// the whole database. Returns an SQLite result code.
int Checkpoint(sqlite3* db, std::string* error) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA wal_checkpoint(TRUNCATE)", -1, &st, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) rc = sqlite3_column_int(st, 0) == 0 ? SQLITE_OK : SQLITE_BUSY;
    }
    if (rc != SQLITE_OK && error) *error = std::string("Completing the database file failed: ") + sqlite3_errmsg(db);
    sqlite3_finalize(st);
    return rc;
}

void RemoveDatabaseFiles(const std::string& path) {
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(path + suffix, ec);
}

}  // namespace

#ifdef QV_DEMO_PG
DemoFileResult MakeDemoDatabasePg(const DemoFileOptions& options, DemoFileReport* report, std::string* error);
#endif

bool IsPgAddress(const std::string& path) { return path.rfind("postgresql://", 0) == 0 || path.rfind("postgres://", 0) == 0; }

DemoFileResult MakeDemoDatabase(const DemoFileOptions& options, DemoFileReport* report, std::string* error) {
    if (options.path.empty()) return Failed(error, "No database path given.");
    if (IsPgAddress(options.path)) {
#ifdef QV_DEMO_PG
        return MakeDemoDatabasePg(options, report, error);
#else
        return Failed(error, "This build has no PostgreSQL driver.");
#endif
    }
    InstallSuiteDatabase();

    std::string why;
    const Found found = Inspect(options.path, &why);
    if (found == Found::Unreadable) return Failed(error, why);
    if ((found == Found::HoldsData || found == Found::Foreign) && !options.force) {
        if (error) *error = why + " Not changed (--force replaces it).";
        return DemoFileResult::Refused;
    }

    if (found == Found::Fresh) {
        // Another program may have the empty database open: fill it where it is.
        qv::sql::SqliteDb db;
        int rc = db.Open("sqlite:" + options.path);
        if (rc != SQLITE_OK) return Failed(error, db.LastError().description);
        if (Fill(db, options, report, error) != SQLITE_OK) return DemoFileResult::Failed;
        return DemoFileResult::Built;
    }

    const fs::path target(options.path);
    std::error_code ec;
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    if (ec) return Failed(error, "Cannot create the folder " + target.parent_path().string() + ": " + ec.message());
    const std::string temp = options.path + ".building-" + std::to_string(::getpid());
    RemoveDatabaseFiles(temp);
    {
        qv::sql::SqliteDb db;
        int rc = db.Open("sqlite:" + temp);
        if (rc != SQLITE_OK) {
            const std::string text = db.LastError().description;
            db.Close();
            RemoveDatabaseFiles(temp);
            return Failed(error, text);
        }
        rc = Fill(db, options, report, error);
        if (rc == SQLITE_OK) rc = Checkpoint(db.Handle(), error);
        db.Close();
        if (rc == SQLITE_OK && fs::file_size(temp + "-wal", ec) > 0 && !ec) {
            rc = SQLITE_IOERR;
            if (error) *error = "The database file " + temp + " is incomplete.";
        }
        if (rc != SQLITE_OK) {
            RemoveDatabaseFiles(temp);
            return DemoFileResult::Failed;
        }
    }
    fs::remove(temp + "-wal", ec);
    fs::remove(temp + "-shm", ec);
    if (found != Found::Missing) {
        // The old database's log would be replayed into the new file.
        fs::remove(options.path + "-wal", ec);
        fs::remove(options.path + "-shm", ec);
    }
    if (found == Found::Missing) {
        // A file that appeared meanwhile (another program creating the database) is not replaced.
        if (::link(temp.c_str(), options.path.c_str()) == 0) {
            fs::remove(temp, ec);
            ec.clear();
        } else if (errno == EEXIST) {
            RemoveDatabaseFiles(temp);
            return Failed(error, options.path + " was created by someone else meanwhile; left as it is.");
        } else {
            fs::rename(temp, target, ec);  // a file system without hard links
        }
    } else {
        fs::rename(temp, target, ec);
    }
    if (ec) {
        RemoveDatabaseFiles(temp);
        return Failed(error, "Cannot rename " + temp + " to " + options.path + ": " + ec.message());
    }
    if (report) report->replaced = found == Found::HoldsData || found == Found::Foreign;
    return DemoFileResult::Built;
}

}  // namespace qv::suite
