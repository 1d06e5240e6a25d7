#pragma once
// SQL functions that translated statements call besides the T-SQL runtime's.
struct sqlite3;

namespace qv::tsql {

// Installs them on `db`; returns an SQLite result code. Connections opened by the SQLite driver
// get them through the driver's connection initializers; other connections call this.
//
// tsql_addn(a, b, c, ...): T-SQL's a + b + c + ..., evaluated left to right with the runtime's
// tsql_add. Long chains of '+' (the search texts) nested as tsql_add(tsql_add(...)) would
// overflow SQLite's parser stack.
// tsql_xor(a, b, ...): T-SQL's a ^ b ^ ... on integers; NULL when any operand is NULL.
int RegisterFunctions(sqlite3* db);

}  // namespace qv::tsql
