#pragma once
// What the suite's database adds to the engine: functions and collations installed on every new
// connection, and stored procedures that EXEC calls by name.
#include "sqlvalue.h"
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;

namespace qv::sql {

// Called once on every connection the driver opens, after the built-in T-SQL runtime is installed.
using ConnectionInitializer = std::function<void(sqlite3*)>;
// Registering a second initializer under the same name replaces the first.
void RegisterConnectionInitializer(const std::string& name, ConnectionInitializer init);
void RunConnectionInitializers(sqlite3* db);

// A stored procedure. `args` holds the call's arguments in order; a procedure writes its OUTPUT
// parameters back into their slots. A failure is thrown as ProcedureError and reaches the caller
// as a statement error with that text.
struct ProcedureError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
using Procedure = std::function<void(sqlite3* db, std::vector<Value>& args)>;
// Names are matched without a schema prefix ("dbo.") and without regard to case.
void RegisterProcedure(const std::string& name, Procedure proc);
// Null when no such procedure is registered.
const Procedure* FindProcedure(std::string_view name);

// Values a server database keeps per session (set_config on PostgreSQL) for its functions to
// read, such as the signed-in user: set once for the process, each session sends them before its
// next statement after a change.
void SetSessionValue(const std::string& name, const std::string& value);
// Grows with every change; 0 is never current.
std::uint64_t SessionValuesVersion();
std::vector<std::pair<std::string, std::string>> SessionValues();

}  // namespace qv::sql
