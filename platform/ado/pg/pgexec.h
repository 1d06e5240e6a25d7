#pragma once
// Runs a T-SQL batch translated for PostgreSQL (qv::tsql::TranslatePg) on a PgDb, step by step,
// as the SQLite executor does: the first statement that returns rows gives the result, the
// batch's variables are parameters, @@TRANCOUNT is the driver's depth. A stored procedure is the
// database's function dbo.<name>: it takes the input arguments, its value goes to the OUTPUT one.
#include "pgdb.h"
#include "tsqlprogram.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::sql {

struct PgRun {
    bool hasResult = false;
    std::size_t resultStep = 0;
    PgRows result;  // the first result's columns and rows
    // With streaming asked for: the first result's rows, still coming (result has the columns).
    std::shared_ptr<PgStream> stream;
    std::int64_t rowsAffected = 0;
    std::vector<std::optional<std::string>> slots;  // the variables after the run, as text
    std::shared_ptr<const qv::tsql::Program> program;

    // A batch variable's value after the run; nullopt inside when NULL, outside when unknown.
    std::optional<std::optional<std::string>> Variable(std::string_view name) const;
};

// Throws qv::tsql::ExecError (its code the native error of LastError()) when a step fails; the
// steps before it have taken effect.
// With `stream`, the first result's rows are handed over as they come.
PgRun RunProgram(PgDb& db, std::shared_ptr<const qv::tsql::Program> program, bool stream = false);
// Translates (cached) and runs. Throws TranslateError or ExecError.
PgRun RunBatch(PgDb& db, std::string_view tsql, bool stream = false);

}  // namespace qv::sql
