#pragma once
// The T-SQL runtime on SQLite: the functions and collations that translated statements call.
struct sqlite3;

namespace qv::sql {
// Installs every runtime function and collation on `db` and makes a double-quoted word always a
// name, never a text. Returns an SQLite result code.
int RegisterTsqlRuntime(sqlite3* db);
}  // namespace qv::sql
