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

std::string_view InstallationSettingsSql() {
    return "INSERT INTO CustFieldValue (guid, lCFTypeID, lID, strValue) VALUES "
           "('d4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d', -1, -1, '12')";
}

std::string CourseReportsSql(const std::array<std::string, 3>& reportGuids) {
    const struct {
        const char* report;
        const char* label;
        const char* help;
    } reports[] = {
        {"Kurs_Teilnehmerliste", "Teilnehmerliste", "KURS_TN"},
        {"Kurs_Praesenzliste", "Präsenzliste", "KURS_PRAES"},
        {"Kurs_Jahresuebersicht", "Jahresübersicht der Kurse", "KURS_JAHR"},
    };
    std::string sql = "INSERT INTO QvReportServerProfile (lQvReportServerProfileID, guid, strName) VALUES "
                      "(1, '9226ADE4-9631-4108-A7D0-EC5FB3DE9D36', 'Ausbildung');"
                      "INSERT INTO QvReportServerReport (lQvReportServerReportID, guid, lQvReportServerProfileID, "
                      "strReport, strLabel, strHelpID, strLanguage) VALUES ";
    for (std::size_t i = 0; i < reportGuids.size(); ++i) {
        std::string guid;
        for (char c : reportGuids[i]) guid += c == '\'' ? std::string("''") : std::string(1, c);
        sql += (i ? ", (" : "(") + std::to_string(i + 1) + ", '" + guid + "', 1, '" + reports[i].report + "', '" +
               reports[i].label + "', '" + reports[i].help + "', 'DE')";
    }
    return sql;
}

std::string_view SecurityTablesSql() {
    return "CREATE TABLE IF NOT EXISTS QvSecRole ("
           " lQvSecUserID INTEGER PRIMARY KEY,"
           " fAdmin INTEGER NOT NULL DEFAULT 0);"
           "CREATE TABLE IF NOT EXISTS QvSecFunction ("
           " guid TEXT PRIMARY KEY COLLATE NOCASE,"
           " strName TEXT NOT NULL DEFAULT '');"
           "CREATE TABLE IF NOT EXISTS QvSecObject ("
           " strKey TEXT PRIMARY KEY COLLATE NOCASE,"
           " strKey2 TEXT NOT NULL DEFAULT '' COLLATE NOCASE,"
           " guidFunction TEXT NOT NULL COLLATE NOCASE,"
           " strName TEXT NOT NULL DEFAULT '');"
           "CREATE TABLE IF NOT EXISTS QvSecRight ("
           " lQvSecRightID INTEGER PRIMARY KEY,"
           " lQvSecUserID INTEGER NOT NULL,"
           " guid TEXT NOT NULL COLLATE NOCASE,"
           " strKey TEXT NOT NULL DEFAULT '' COLLATE NOCASE,"
           " lRight INTEGER NOT NULL DEFAULT 0,"
           " UNIQUE (lQvSecUserID, guid, strKey));"
           "INSERT OR IGNORE INTO QvSecFunction (guid, strName) VALUES"
           " ('5F03AD81-548C-4F27-8FDA-45FC8E49B17C', 'Ausbildung'),"
           " ('4E96EEEA-F268-4E0C-A6C4-0AB9ED892746', 'Ausbildung: Einstellungen'),"
           " ('00D42EE5-F393-45EB-BCDF-5873430E1432', 'Kurs'),"
           " ('FB4C0C46-8C91-4F55-BA7B-9E5FEBB97358', 'Kursaustragung'),"
           " ('9226ADE4-9631-4108-A7D0-EC5FB3DE9D36', 'Ausbildung: Berichte'),"
           " ('26C2F4CD-E822-4E3B-B665-F7A60A24B65B', 'Teilnehmer'),"
           " ('7AC2F5A3-00A0-4147-A25D-730B31F0BC8B', 'Instruktoren'),"
           " ('924411CF-EA09-4E11-ABA5-F7779B9C6523', 'Instanzdaten'),"
           " ('7DFFEFCC-5812-42A6-BEB3-F9E7369EF042', 'Instruktor'),"
           " ('8BDEFAFA-61B5-4DB5-8CBD-5C38E19AEB70', 'Planung'),"
           " ('B92A2088-34E1-4211-8BC9-2A743F3B16CD', 'Archiv');";
}

std::string_view SecurityRolesSql() {
    // The course leader reads and leads (0x10001) everything but the course settings.
    return "INSERT INTO QvSecRole (lQvSecUserID, fAdmin)"
           " SELECT lQvSecUserID, 1 FROM QvSecUser WHERE strName = 'Administrator' COLLATE NOCASE;"
           "INSERT INTO QvSecRole (lQvSecUserID, fAdmin)"
           " SELECT lQvSecUserID, 0 FROM QvSecUser WHERE strName = 'Kursleiter' COLLATE NOCASE;"
           "INSERT OR REPLACE INTO QvSecRight (lQvSecUserID, guid, strKey, lRight)"
           " SELECT lQvSecUserID, '00000000-0000-0000-0000-000000000000', '', 65537 FROM QvSecUser"
           " WHERE strName = 'Kursleiter' COLLATE NOCASE;"
           "INSERT OR REPLACE INTO QvSecRight (lQvSecUserID, guid, strKey, lRight)"
           " SELECT lQvSecUserID, '4E96EEEA-F268-4E0C-A6C4-0AB9ED892746', '', 0 FROM QvSecUser"
           " WHERE strName = 'Kursleiter' COLLATE NOCASE;";
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
