#include "dbutil.h"
#include "suitedb.h"

namespace qv::suite {
namespace detail {
extern const std::string_view kSchemaSql;  // schema_sql.cpp, generated from schema.sql
}

using detail::Fail;
using detail::Stmt;

std::string_view SchemaSql() { return detail::kSchemaSql; }

std::string_view OptionTableSql() {
    return "CREATE TABLE IF NOT EXISTS QvOption ("
           " lQvOptionID INTEGER PRIMARY KEY,"
           " lArea INTEGER NOT NULL,"
           " strName TEXT NOT NULL COLLATE NOCASE,"
           " lQvSecUserID INTEGER NOT NULL DEFAULT 0,"
           " lType INTEGER NOT NULL DEFAULT 8,"
           " strValue TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '',"
           " UNIQUE (lArea, strName, lQvSecUserID))";
}

int SchemaVersion(sqlite3* db) {
    Stmt has(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'System'");
    if (has.step() == SQLITE_ROW) {
        Stmt v(db, "SELECT lSchemaVersion FROM System");
        if (v.step() == SQLITE_ROW) return int(v.int64(0));
    }
    Stmt header(db, "PRAGMA user_version");
    return header.step() == SQLITE_ROW ? int(header.int64(0)) : 0;
}

namespace {

int CreateInside(sqlite3* db, std::string* error) {
    const int version = SchemaVersion(db);
    if (version == kSchemaVersion) return SQLITE_OK;
    if (version != 0)
        return Fail(SQLITE_ERROR, error,
                    "The database has schema version " + std::to_string(version) + ", this program knows " +
                        std::to_string(kSchemaVersion) + ".");
    const std::string sql(SchemaSql());
    char* msg = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
    if (rc != SQLITE_OK) {
        std::string text = msg ? msg : sqlite3_errstr(rc);
        sqlite3_free(msg);
        return Fail(rc, error, "Creating the schema failed: " + text);
    }
    // The header carries the version too, so a file is known without reading its tables.
    const std::string stamp = "PRAGMA user_version = " + std::to_string(kSchemaVersion);
    if (sqlite3_exec(db, stamp.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        return Fail(SQLITE_ERROR, error, "Creating the schema failed: " + detail::ErrorText(db));
    return SQLITE_OK;
}

}  // namespace

int CreateSchema(sqlite3* db, std::string* error) {
    // Outside a transaction of the caller, BEGIN IMMEDIATE also makes a second process creating
    // the schema at the same time wait and then find it there, instead of failing half-way.
    detail::WriteTransaction tx(db, "qv_create_schema");
    if (tx.rc() != SQLITE_OK) return Fail(tx.rc(), error, detail::ErrorText(db));
    const int rc = CreateInside(db, error);
    if (rc != SQLITE_OK) return rc;
    const int committed = tx.commit();
    return committed == SQLITE_OK ? committed : Fail(committed, error, detail::ErrorText(db));
}

}  // namespace qv::suite
