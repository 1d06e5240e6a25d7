#include "dbfile.h"
#include "dbutil.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "tsqlruntime.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <set>

namespace qv::suite {

namespace {

// Tables every suite database has, whatever its version.
constexpr const char* kCoreTables[] = {"System", "Mandant", "Person", "Kurs", "Kursinstanz", "PersonKurs"};

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

DatabaseFile Refused(DatabaseKind kind, std::string message, int version = 0) {
    DatabaseFile f;
    f.kind = kind;
    f.version = version;
    f.message = std::move(message);
    return f;
}

// The triggers and views the suite's schema makes, as "trigger name" / "view name" in lower
// case, read from its script (no database is made for it: that would run writes).
const std::set<std::string>& SchemaObjects() {
    static const std::set<std::string> objects = [] {
        std::set<std::string> names;
        const std::string sql(SchemaSql());
        static const std::regex create(R"(CREATE\s+(?:TEMP(?:ORARY)?\s+)?(TRIGGER|VIEW)\s+(?:IF\s+NOT\s+EXISTS\s+)?["`\[]?(\w+))",
                                       std::regex::icase);
        for (std::sregex_iterator it(sql.begin(), sql.end(), create), end; it != end; ++it)
            names.insert(Lower((*it)[1].str() + " " + (*it)[2].str()));
        return names;
    }();
    return objects;
}

// A file's identity and state: device, inode, size and modification time, of its log too.
std::string FileState(const std::string& path) {
    std::string state;
    for (const std::string& file : {path, path + "-wal"}) {
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0) continue;
        state += std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
                 std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + ";";
    }
    return state;
}

// The states that passed the quick check in this process, by path.
std::mutex checkedLock;
std::map<std::string, std::string>& CheckedInProcess() {
    static std::map<std::string, std::string> checked;
    return checked;
}

// Whether the pages hold together: a file cut short is found by its size, damaged pages by
// SQLite's quick check (every page of every table and index read once, no comparison of
// indexes with their tables). Empty when sound, else what was found; `done` false when a writer
// of another program held the file for longer than the busy wait.
std::string DamageOf(sqlite3* db, const std::string& path, bool* done) {
    *done = true;
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    detail::Stmt pageSize(db, "PRAGMA page_size");
    if (!ec && pageSize.step() == SQLITE_ROW && pageSize.int64(0) > 0 && size % std::uintmax_t(pageSize.int64(0)) != 0)
        return "the file ends inside a page";
    detail::Stmt check(db, "PRAGMA quick_check(1)");
    const int rc = check.step();
    if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) {
        *done = false;
        return {};
    }
    if (rc != SQLITE_ROW) return sqlite3_errmsg(db);
    const std::string result = check.text(0);
    return result == "ok" ? std::string() : result;
}

// What the tables say; the file is opened without locks or a log (immutable) unless a log of a
// running program lies beside it, which must be read too.
DatabaseFile InspectTables(const std::string& path, const CheckedFiles* checked) {
    std::error_code ec;
    const bool hasLog = std::filesystem::exists(path + "-wal", ec);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(qv::sql::FileUri(path, hasLog ? "mode=ro" : "immutable=1").c_str(), &db,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    DatabaseFile f;
    int header = 0;
    // The check reads indexes by the suite's collations.
    if (rc == SQLITE_OK) rc = qv::sql::RegisterTsqlRuntime(db);
    if (rc == SQLITE_OK) rc = RegisterSuiteFunctions(db);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        detail::Stmt version(db, "PRAGMA user_version");
        rc = version.step();
        if (rc == SQLITE_ROW) {
            f.version = header = int(version.int64(0));
            rc = SQLITE_OK;
        }
    }
    int tables = 0, core = 0;
    bool hasSystem = false;
    if (rc == SQLITE_OK) {
        detail::Stmt names(db, "SELECT name FROM sqlite_master WHERE type = 'table'");
        while ((rc = names.step()) == SQLITE_ROW) {
            ++tables;
            const std::string name = names.text(0);
            for (const char* t : kCoreTables)
                if (name == t) ++core;
            hasSystem = hasSystem || name == "System";
        }
        if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    // Databases made before the version went into the header keep it in System only; where the
    // two differ, System's is the one the schema was written for.
    if (rc == SQLITE_OK && hasSystem) {
        detail::Stmt kept(db, "SELECT lSchemaVersion FROM System");
        if (kept.step() == SQLITE_ROW && kept.int64(0) != 0) f.version = int(kept.int64(0));
    }
    // A header written by a newer program wins whatever System says: that program may have
    // changed the tables without touching System.
    if (header > kSchemaVersion) f.version = header;
    std::string damage;
    if (rc == SQLITE_OK && f.version == kSchemaVersion && core == int(std::size(kCoreTables))) {
        const std::string state = FileState(path);
        bool known = false;
        {
            std::lock_guard g(checkedLock);
            known = CheckedInProcess()[path] == state;
        }
        if (!known && checked && checked->recall && checked->recall(path) == state) {
            known = true;
            std::lock_guard g(checkedLock);
            CheckedInProcess()[path] = state;
        }
        if (!known) {
            bool done = true;
            damage = DamageOf(db, path, &done);
            if (damage.empty() && done) {
                {
                    std::lock_guard g(checkedLock);
                    CheckedInProcess()[path] = state;
                }
                if (checked && checked->remember) checked->remember(path, state);
            }
        }
        if (damage.empty()) {
            const auto& own = SchemaObjects();
            detail::Stmt objects(db, "SELECT type || ' ' || name FROM sqlite_master WHERE type IN ('trigger', 'view') "
                                     "ORDER BY type, name");
            while (objects.step() == SQLITE_ROW)
                if (!own.count(Lower(objects.text(0)))) f.foreignObjects.push_back(objects.text(0));
        }
    }
    const std::string why = rc == SQLITE_OK ? std::string() : (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    const int code = (db ? sqlite3_extended_errcode(db) : rc) & 0xFF;
    sqlite3_close_v2(db);

    if (!damage.empty())
        return Refused(DatabaseKind::Unreadable, path + " is damaged (" + damage + "); it was left as it is.", f.version);
    if (rc != SQLITE_OK) {
        if (code == SQLITE_NOTADB) return Refused(DatabaseKind::NotDatabase, path + " is no SQLite database.");
        return Refused(DatabaseKind::Unreadable, path + " cannot be read: " + why + ".");
    }
    if (tables == 0 && f.version == 0) {
        f.kind = DatabaseKind::Empty;
        return f;
    }
    if (f.version == 0 || core != int(std::size(kCoreTables)))
        return Refused(DatabaseKind::Foreign,
                       path + " is no database of the suite (" +
                           (f.version == 0 ? "it has no schema version" : "its core tables are missing") +
                           "); it was left as it is.",
                       f.version);
    if (f.version != kSchemaVersion)
        return Refused(DatabaseKind::OtherVersion,
                       path + " has schema version " + std::to_string(f.version) + "; this program works with version " +
                           std::to_string(kSchemaVersion) + ".",
                       f.version);
    f.kind = DatabaseKind::Suite;
    return f;
}

}  // namespace

void RememberOwnWrites(const std::string& path, const CheckedFiles* checked) {
    std::error_code ec;
    if (std::filesystem::exists(path + "-wal", ec) || ec) return;
    const std::string state = FileState(path);
    {
        std::lock_guard g(checkedLock);
        auto it = CheckedInProcess().find(path);
        if (it == CheckedInProcess().end() || it->second.empty()) return;
        it->second = state;
    }
    if (checked && checked->remember) checked->remember(path, state);
}

DatabaseFile InspectDatabaseFile(const std::string& path, const CheckedFiles* checked) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return DatabaseFile{};
        return Refused(DatabaseKind::Unreadable, path + " cannot be read: " + std::strerror(errno) + ".");
    }
    if (S_ISDIR(st.st_mode)) return Refused(DatabaseKind::Folder, path + " is a folder, not a database.");
    if (!S_ISREG(st.st_mode)) return Refused(DatabaseKind::NotDatabase, path + " is no SQLite database.");
    DatabaseFile f;
    if (st.st_size == 0) {
        f.kind = DatabaseKind::Empty;
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) return Refused(DatabaseKind::Unreadable, path + " cannot be read.");
        std::array<char, 16> magic{};
        in.read(magic.data(), magic.size());
        if (in.gcount() != std::streamsize(magic.size()) || std::memcmp(magic.data(), "SQLite format 3", 16) != 0)
            return Refused(DatabaseKind::NotDatabase, path + " is no SQLite database.");
        f = InspectTables(path, checked);
    }
    f.readOnly = qv::sql::IsReadOnlyFile(path);
    return f;
}

bool PrepareSuiteDatabase(const std::string& path, bool create, DatabaseFile* found, std::string* error,
                          const CheckedFiles* checked) {
    DatabaseFile f = InspectDatabaseFile(path, checked);
    if (found) *found = f;
    auto fail = [&](const std::string& text) {
        if (error) *error = text;
        return false;
    };
    switch (f.kind) {
    case DatabaseKind::Suite:
        return true;
    case DatabaseKind::Missing:
    case DatabaseKind::Empty:
        break;
    default:
        return fail(f.message);
    }
    if (!create)
        return fail(path + (f.kind == DatabaseKind::Missing ? " does not exist" : " is empty") +
                    "; a new database is made only when asked for.");
    if (f.readOnly) return fail(path + " is read-only; no schema can be written into it.");
    InstallSuiteDatabase();
    qv::sql::SqliteDb db;
    if (db.Open("sqlite:" + path) != SQLITE_OK) return fail(db.LastError().description);
    std::string why;
    if (CreateSchema(db.Handle(), &why) != SQLITE_OK) return fail(path + ": " + why);
    if (found) {
        found->kind = DatabaseKind::Suite;
        found->version = kSchemaVersion;
    }
    return true;
}

}  // namespace qv::suite
