#pragma once
// The suite's database on PostgreSQL: the schema (tables, views, defaults, triggers, the rows every
// installation has), the case-insensitive collation qvci, the functions of schema dbo and the
// procedures, created from one script on an empty database.
#include <string>
#include <string_view>

namespace qv::sql {
class PgDb;
}

namespace qv::suite {

// The PostgreSQL schema script.
std::string_view SchemaPgSql();

// Creates the schema on an empty database in one transaction (inside the caller's transaction
// when one is open; a failure then leaves that transaction open). A database that has this
// version already is left as it is; one with another version is refused. Two sessions creating
// it at once: the second waits and finds it there. Returns 0, else -1 with the reason in `error`
// (may be null); on failure nothing is created.
int CreateSchemaPg(qv::sql::PgDb& db, std::string* error);

// Brings a database of this schema version, made by an earlier build, to what this one makes:
// the searches' word operator dbo.~~~ is made where it is missing; the course lists' views are
// replaced where they differ from this build's (not when a session holds them); an option table whose key has
// no identity (earlier demo generators made it so, and no option could be added) gets one, and
// the key's counter is set above the keys it holds. Cheap when nothing is to be done. Returns 0,
// else -1 with the reason and what fails for it in `error` (may be null).
int MendSchemaPg(qv::sql::PgDb& db, std::string* error);

// System.lSchemaVersion, or 0 when there is no schema yet (-1 when it cannot be read).
int SchemaVersionPg(qv::sql::PgDb& db);

// What fn_GetSystemID() gives on this connection: the signed-in application user's id.
int SetSystemIDPg(qv::sql::PgDb& db, long long id);

}  // namespace qv::suite
