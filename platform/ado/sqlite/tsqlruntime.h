#pragma once
// The T-SQL runtime on SQLite: the functions and collations that translated statements call.
struct sqlite3;

namespace qv::sql {
// Installs every runtime function and collation on `db` and makes a double-quoted word always a
// name, never a text. Returns an SQLite result code.
int RegisterTsqlRuntime(sqlite3* db);
class StatementInterrupter;
// The same authorizer, which also ends the preparing of a statement that `interrupter` was asked
// to end while nothing else of the connection runs (see StatementInterrupter::PreparingAlone).
int WatchPreparing(sqlite3* db, StatementInterrupter* interrupter);
}  // namespace qv::sql
