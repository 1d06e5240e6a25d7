#pragma once
// The suite's database on SQLite: its schema, the database functions that statements call
// (fn_GetPersonBezeichnung ...) and the stored procedures that EXEC runs (sp_GetUniqueID ...).
//
// Every connection needs the T-SQL runtime (collation QVCI) before it touches the schema, and the
// suite's functions before it runs the system's statements: InstallSuiteDatabase() registers them
// as a connection initializer of the engine, so every connection the driver opens gets them.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;

namespace qv::suite {

// The version that CreateSchema writes into System.lSchemaVersion and PRAGMA user_version.
constexpr int kSchemaVersion = 1;

// The schema script (tables, views, triggers, rows every installation has).
std::string_view SchemaSql();

// The option server's own table (QvOption), which the schema does not create: the server makes it
// on first use, and the demo data to store the demo installation's options.
std::string_view OptionTableSql();

// The settings an installation starts with, the demo's and those of a database made with --create
// alike. InstallationSettingsSql stores the archive age (CustFieldValue): registrations belong to
// the course archive 12 months after their date; no page offers it, and without it every archive
// stays empty. kInstallationCourseTypes is the course search's option -4000 "KursTyp" of the whole
// installation: federal, cantonal and local courses.
std::string_view InstallationSettingsSql();
inline constexpr const char* kInstallationCourseTypes = "0 1 1 1";

// The course module's report profile "Ausbildung" (under the GUID of the module's reports, which
// the course window asks for) with its three reports, as the demo and a database made with
// --create have them; the reports' GUIDs are the caller's. For a database without report profiles:
// the profile has key 1, the reports keys 1 to 3.
std::string CourseReportsSql(const std::array<std::string, 3>& reportGuids);

// The security server's own tables (QvSecRole, QvSecFunction, QvSecObject, QvSecRight), made the
// same way: by the server on first use, and by the demo data with its users. SecurityRolesSql sets
// the roles of the demo's users (Administrator, Kursleiter) while no role is set.
std::string_view SecurityTablesSql();
std::string_view SecurityRolesSql();

// Creates the schema on an empty database in one transaction (a savepoint inside a transaction
// the caller holds). A database that already has this version is left as it is. Returns an
// SQLite result code; on failure `error` (may be null) gets the reason and nothing is created.
int CreateSchema(sqlite3* db, std::string* error);

// System.lSchemaVersion, else PRAGMA user_version, or 0 when there is no schema yet.
int SchemaVersion(sqlite3* db);

// Registers the initializer "suite" (the database functions on every new connection) and the
// procedures sp_GetUniqueID, sp_CreateKursinstanzGruppeFromTemplate and
// sp_CreateKursinstanzGruppeTemplate with the engine. Safe to call more than once.
void InstallSuiteDatabase();

// Creates the database functions on one connection. Returns an SQLite result code.
int RegisterSuiteFunctions(sqlite3* db);

// The value of fn_GetSystemID(): the id of the application user whom the security layer has
// signed in to this process (written into changedBy columns). 0 until set.
void SetSystemID(std::int64_t id);
std::int64_t GetSystemID();

// sp_GetUniqueID: the next key for `column` of `table`, on the caller's connection and inside
// the caller's transaction if one is open. Keys are never below 1, never handed out twice, and
// always above the column's largest value, so rows written without the procedure do not clash.
// Returns an SQLite result code (SQLITE_ERROR for an unknown table or column).
int DrawUniqueID(sqlite3* db, std::string_view table, std::string_view column, std::int64_t* id,
                 std::string* error);

// sp_CreateKursinstanzGruppeFromTemplate: adds to the run the groups of its course's template
// (template rows: KursinstanzGruppe with lKursID = the course and lKursinstanzID = -1). A group
// whose name the run already has is not added twice. No template, or no such run: nothing happens.
int CreateKursinstanzGruppeFromTemplate(sqlite3* db, std::int64_t lKursinstanzID, std::string* error);

// sp_CreateKursinstanzGruppeTemplate: makes the run's current groups the template of its course,
// replacing the course's earlier template. No such run: nothing happens.
int CreateKursinstanzGruppeTemplate(sqlite3* db, std::int64_t lKursinstanzID, std::string* error);

}  // namespace qv::suite
