// Demo data on a PostgreSQL database: the same rows as on SQLite, generated into a scratch SQLite
// file by the same code and then bulk-loaded table by table with COPY, all in one transaction of
// the server, so a half-filled database is never seen and a failure leaves nothing behind.
#include "demodata.h"

#include "pgdb.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "suitedbpg.h"

#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <vector>

namespace qv::suite {

namespace {

namespace fs = std::filesystem;

using Counts = std::map<std::string, std::int64_t>;  // by lower-case table name

// Taken by CreateSchemaPg too: whoever creates or fills the schema goes alone.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(7291001)";

std::string Lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return s;
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

DemoFileResult Failed(std::string* error, const std::string& text) {
    if (error) *error = text;
    return DemoFileResult::Failed;
}

// The address without its password, for messages.
std::string Shown(const std::string& url) {
    const auto scheme = url.find("://");
    const auto at = url.find('@');
    if (scheme == std::string::npos || at == std::string::npos || at < scheme) return url;
    const auto colon = url.find(':', scheme + 3);
    if (colon == std::string::npos || colon > at) return url;
    return url.substr(0, colon) + url.substr(at);
}

int SqliteCounts(sqlite3* db, Counts* out, std::string* error) {
    std::vector<std::string> tables;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'",
                                -1, &st, nullptr);
    while (rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    for (const std::string& t : tables) {
        if (rc != SQLITE_OK) break;
        rc = sqlite3_prepare_v2(db, ("SELECT count(*) FROM " + Quoted(t)).c_str(), -1, &st, nullptr);
        if (rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) (*out)[Lower(t)] = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
    }
    if (rc != SQLITE_OK && error) *error = sqlite3_errmsg(db);
    return rc;
}

// The rows of every table of a schema just created (the same on both databases).
int FreshCounts(Counts* out, std::string* error) {
    qv::sql::SqliteDb memory;
    int rc = memory.Open("sqlite::memory:");
    if (rc != SQLITE_OK) {
        if (error) *error = memory.LastError().description;
        return rc;
    }
    rc = CreateSchema(memory.Handle(), error);
    return rc == SQLITE_OK ? SqliteCounts(memory.Handle(), out, error) : rc;
}

struct PgColumn {
    std::string name;
    std::string type;
};
using PgTables = std::map<std::string, std::vector<PgColumn>>;

int ReadPgTables(qv::sql::PgDb& db, PgTables* out) {
    qv::sql::PgRows rows;
    const int rc = db.Query(
        "SELECT c.relname, a.attname, format_type(a.atttypid, a.atttypmod) FROM pg_attribute a "
        "JOIN pg_class c ON c.oid = a.attrelid JOIN pg_namespace n ON n.oid = c.relnamespace "
        "WHERE n.nspname = 'public' AND c.relkind IN ('r', 'p') AND a.attnum > 0 AND NOT a.attisdropped "
        "AND a.attgenerated = '' ORDER BY c.relname, a.attnum",
        &rows);
    if (rc != 0) return rc;
    out->clear();
    for (const auto& r : rows.rows) (*out)[r[0].value_or("")].push_back({r[1].value_or(""), r[2].value_or("")});
    return 0;
}

enum class PgFound { Empty, Fresh, HoldsData, Foreign, OtherVersion };

// What the database holds, looked at without changing it. Returns 0, else the driver's code.
int InspectPg(qv::sql::PgDb& db, const Counts& fresh, PgFound* found, std::string* why) {
    qv::sql::PgRows rows;
    int rc = db.Query(
        "SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
        "WHERE c.relkind IN ('r', 'p', 'v', 'm', 'S', 'f') AND n.nspname NOT IN ('pg_catalog', 'information_schema') "
        "AND n.nspname NOT LIKE 'pg\\_%'",
        &rows);
    if (rc != 0) return rc;
    if (rows.rows.empty() || rows.rows[0][0].value_or("0") == "0") {
        *found = PgFound::Empty;
        return 0;
    }
    const int version = SchemaVersionPg(db);
    if (version < 0) return -1;
    if (version == 0) {
        *found = PgFound::Foreign;
        *why = "holds tables that are no suite database";
        return 0;
    }
    if (version != kSchemaVersion) {
        *found = PgFound::OtherVersion;
        *why = "has schema version " + std::to_string(version) + ", this program knows " + std::to_string(kSchemaVersion);
        return 0;
    }
    PgTables tables;
    if ((rc = ReadPgTables(db, &tables)) != 0) return rc;
    std::string sql;
    for (const auto& [table, columns] : tables) {
        if (!sql.empty()) sql += " UNION ALL ";
        sql += "SELECT '" + table + "', count(*) FROM " + Quoted(table);
    }
    if ((rc = db.Query(sql, &rows)) != 0) return rc;
    *found = PgFound::Fresh;
    for (const auto& r : rows.rows) {
        const auto f = fresh.find(r[0].value_or(""));
        if (std::stoll(r[1].value_or("0")) != (f == fresh.end() ? 0 : f->second)) {
            *found = PgFound::HoldsData;
            *why = "already holds data";
        }
    }
    return 0;
}

void AppendText(std::string* out, const char* s, int n) {
    for (int i = 0; i < n; ++i) {
        switch (s[i]) {
        case '\\': *out += "\\\\"; break;
        case '\t': *out += "\\t"; break;
        case '\n': *out += "\\n"; break;
        case '\r': *out += "\\r"; break;
        default: *out += s[i];
        }
    }
}

// One value in COPY's text format, written as the target column takes it.
void AppendValue(std::string* out, sqlite3_stmt* st, int i, const std::string& pgType) {
    const int type = sqlite3_column_type(st, i);
    if (type == SQLITE_NULL) {
        *out += "\\N";
    } else if (pgType == "bytea") {
        static const char kHex[] = "0123456789abcdef";
        const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(st, i));
        const int n = sqlite3_column_bytes(st, i);
        *out += "\\\\x";
        for (int k = 0; k < n; ++k) {
            *out += kHex[p[k] >> 4];
            *out += kHex[p[k] & 15];
        }
    } else if (type == SQLITE_INTEGER) {
        *out += std::to_string(sqlite3_column_int64(st, i));
    } else if (type == SQLITE_FLOAT) {
        const double v = sqlite3_column_double(st, i);
        if (pgType == "integer" || pgType == "bigint" || pgType == "smallint") {
            *out += std::to_string(std::llround(v));
        } else {
            char buf[40];
            std::snprintf(buf, sizeof buf, "%.17g", v);
            *out += buf;
        }
    } else {
        AppendText(out, reinterpret_cast<const char*>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i));
    }
}

class Copier {
public:
    Copier(qv::sql::PgDb& pg, sqlite3* src, const DemoProgress& progress) : pg_(pg), src_(src), progress_(progress) {}

    // Empties the tables of the target and loads every table the scratch database has; the
    // cache of descriptions last, so it ends as the scratch database has it whatever the
    // insert triggers wrote meanwhile.
    bool Run(const PgTables& tables, std::string* error) {
        Counts counts;
        if (SqliteCounts(src_, &counts, error) != SQLITE_OK) return false;
        std::vector<std::string> order;
        for (const auto& [table, n] : counts) {
            if (!tables.count(table)) continue;
            total_ += n;
            if (table != "cachebezeichnung") order.push_back(table);
        }
        std::string all;
        for (const auto& [table, columns] : tables) all += (all.empty() ? "" : ", ") + Quoted(table);
        if (pg_.Exec("TRUNCATE " + all) != 0) return PgFailed("Emptying the tables failed (is the database in use?)", error);
        for (const std::string& t : order) {
            if (!Copy(t, tables.at(t), error)) return false;
        }
        if (tables.count("cachebezeichnung") && counts.count("cachebezeichnung")) {
            if (pg_.Exec("TRUNCATE cachebezeichnung") != 0) return PgFailed("Emptying the cache failed", error);
            if (!Copy("cachebezeichnung", tables.at("cachebezeichnung"), error)) return false;
        }
        if (progress_) progress_("copying", 1.0);
        return true;
    }

private:
    bool PgFailed(const std::string& what, std::string* error) {
        if (error) *error = what + ": " + pg_.LastError().description;
        return false;
    }

    bool Copy(const std::string& table, const std::vector<PgColumn>& pgColumns, std::string* error) {
        // The columns both sides have, named as SQLite names them.
        std::map<std::string, std::string> own;
        sqlite3_stmt* st = nullptr;
        int rc = sqlite3_prepare_v2(src_, "SELECT name FROM pragma_table_info(?1)", -1, &st, nullptr);
        if (rc == SQLITE_OK) sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        while (rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
            const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            own[Lower(name)] = name;
        }
        sqlite3_finalize(st);
        std::string select, copy;
        std::vector<std::string> types;
        for (const PgColumn& c : pgColumns) {
            const auto it = own.find(c.name);
            if (it == own.end()) continue;
            select += (select.empty() ? "" : ", ") + Quoted(it->second);
            copy += (copy.empty() ? "" : ", ") + Quoted(c.name);
            types.push_back(c.type);
        }
        if (types.empty()) return true;
        rc = sqlite3_prepare_v2(src_, ("SELECT " + select + " FROM " + Quoted(table)).c_str(), -1, &st, nullptr);
        if (rc != SQLITE_OK) {
            if (error) *error = "Reading the demo table " + table + " failed: " + sqlite3_errmsg(src_);
            return false;
        }
        std::string readError;
        const int n = int(types.size());
        auto next = [&](std::string* piece) {
            while (piece->size() < (1u << 20)) {
                const int step = sqlite3_step(st);
                if (step == SQLITE_DONE) return 0;
                if (step != SQLITE_ROW) {
                    readError = sqlite3_errmsg(src_);
                    return -1;
                }
                for (int i = 0; i < n; ++i) {
                    if (i) *piece += '\t';
                    AppendValue(piece, st, i, types[std::size_t(i)]);
                }
                *piece += '\n';
                if ((++done_ & 0xFFFF) == 0 && progress_ && total_) progress_("copying", double(done_) / double(total_));
            }
            return 1;
        };
        rc = pg_.CopyIn("COPY " + Quoted(table) + " (" + copy + ") FROM STDIN", next);
        sqlite3_finalize(st);
        if (!readError.empty()) {
            if (error) *error = "Reading the demo table " + table + " failed: " + readError;
            return false;
        }
        return rc == 0 || PgFailed("Loading the table " + table + " failed", error);
    }

    qv::sql::PgDb& pg_;
    sqlite3* src_;
    const DemoProgress& progress_;
    std::int64_t total_ = 0;
    std::int64_t done_ = 0;
};

// The scratch folder of the generated data, removed when done.
struct ScratchFolder {
    std::string path;
    ~ScratchFolder() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
};

int Generate(qv::sql::SqliteDb& db, const DemoFileOptions& options, std::string* error) {
    int rc = db.Begin();
    if (rc != SQLITE_OK) {
        if (error) *error = db.LastError().description;
        return rc;
    }
    rc = CreateSchema(db.Handle(), error);
    if (rc == SQLITE_OK) rc = GenerateDemoDataAsOf(db.Handle(), options.seed, DemoReferenceDate(options.baseYear), error);
    if (rc == SQLITE_OK) rc = ScaleDemoData(db.Handle(), options.scale, error);
    if (rc == SQLITE_OK) rc = db.Commit();
    if (rc != SQLITE_OK) db.Rollback();
    return rc;
}

int SummarizePg(qv::sql::PgDb& db, DemoSummary* summary) {
    qv::sql::PgRows rows;
    const int rc = db.Query(
        "SELECT (SELECT count(*) FROM Mandant), (SELECT count(*) FROM Person), (SELECT count(*) FROM Kurs), "
        "(SELECT count(*) FROM Kursinstanz), (SELECT count(*) FROM PersonKurs)",
        &rows);
    if (rc != 0 || rows.rows.empty()) return rc ? rc : -1;
    const auto& r = rows.rows[0];
    summary->mandanten = std::stoi(r[0].value_or("0"));
    summary->persons = std::stoi(r[1].value_or("0"));
    summary->courses = std::stoi(r[2].value_or("0"));
    summary->runs = std::stoi(r[3].value_or("0"));
    summary->registrations = std::stoi(r[4].value_or("0"));
    return 0;
}

// Refused, with the reason, or Built when the database may be filled.
DemoFileResult Judge(PgFound found, const std::string& where, const std::string& why, bool force, std::string* error) {
    switch (found) {
    case PgFound::Empty:
    case PgFound::Fresh:
        return DemoFileResult::Built;
    case PgFound::HoldsData:
        if (force) return DemoFileResult::Built;
        if (error) *error = where + " " + why + ". Not changed (--force replaces it).";
        return DemoFileResult::Refused;
    case PgFound::Foreign:
    case PgFound::OtherVersion:
        break;
    }
    if (error) *error = where + " " + why + ". Not changed.";
    return DemoFileResult::Refused;
}

}  // namespace

DemoFileResult MakeDemoDatabasePg(const DemoFileOptions& options, DemoFileReport* report, std::string* error) {
    const std::string where = Shown(options.path);
    InstallSuiteDatabase();
    const auto start = std::chrono::steady_clock::now();

    Counts fresh;
    std::string text;
    if (FreshCounts(&fresh, &text) != SQLITE_OK) return Failed(error, text);

    qv::sql::PgDb pg;
    qv::sql::PgOpenOptions open;
    // Emptying tables waits for the sessions that use them; a database in use is reported, not waited on forever.
    open.lockTimeoutMs = 30000;
    if (pg.Open(options.path, open) != 0)
        return Failed(error, "Cannot connect to " + where + ": " + pg.LastError().description);

    // Refused before the long generation, and looked at again under the lock before writing.
    PgFound found = PgFound::Empty;
    std::string why;
    if (InspectPg(pg, fresh, &found, &why) != 0)
        return Failed(error, where + " cannot be read: " + pg.LastError().description);
    if (DemoFileResult r = Judge(found, where, why, options.force, error); r != DemoFileResult::Built) return r;

    ScratchFolder scratch;
    {
        std::string pattern = (fs::temp_directory_path() / "qvdemodb-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) return Failed(error, "Cannot create a scratch folder in " + fs::temp_directory_path().string());
        scratch.path = pattern;
    }
    qv::sql::SqliteDb src;
    if (src.Open("sqlite:" + scratch.path + "/demo.sqlite") != SQLITE_OK) return Failed(error, src.LastError().description);
    if (Generate(src, options, &text) != SQLITE_OK) return Failed(error, text);

    auto fail = [&](const std::string& what) {
        if (pg.Depth() > 0) pg.Rollback();
        return Failed(error, what);
    };
    if (pg.Begin() != 0 || pg.Exec(kSchemaLock) != 0)
        return fail("Writing to " + where + " failed (is it in use?): " + pg.LastError().description);
    if (InspectPg(pg, fresh, &found, &why) != 0) return fail(where + " cannot be read: " + pg.LastError().description);
    if (DemoFileResult r = Judge(found, where, why, options.force, error); r != DemoFileResult::Built) {
        pg.Rollback();
        return r;
    }
    if (found == PgFound::Empty && CreateSchemaPg(pg, &text) != 0) return fail(text);
    // The option server's own table, for the demo's options: made as the server makes it.
    if (pg.Exec("SELECT dbo.qv_CreateOptionTables()") != 0)
        return fail("Creating the options table failed: " + pg.LastError().description);
    // The security server's tables, for the demo users' roles.
    if (pg.Exec("SELECT dbo.qv_CreateSecurityTables()") != 0)
        return fail("Creating the security tables failed: " + pg.LastError().description);
    PgTables tables;
    if (ReadPgTables(pg, &tables) != 0) return fail("Reading the tables of " + where + " failed: " + pg.LastError().description);
    Copier copier(pg, src.Handle(), options.scale.progress);
    if (!copier.Run(tables, &text)) return fail(text);
    if (MendSchemaPg(pg, &text) != 0) return fail(text);
    if (pg.Commit() != 0) return fail("Committing the demo data failed: " + pg.LastError().description);
    // The planner's statistics for the tables just filled; without them it guesses.
    pg.Exec("ANALYZE");

    if (report) {
        SummarizePg(pg, &report->summary);
        report->replaced = found == PgFound::HoldsData;
        report->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return DemoFileResult::Built;
}

}  // namespace qv::suite
