#pragma once
// Runs a translated batch on an SQLite connection, step by step. The first statement that
// returns rows becomes the result, which the caller reads row by row.
#include "sqlvalue.h"
#include "stmtcache.h"
#include "tsqlprogram.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace qv::tsql {

class ExecError;

struct ExecOptions {
    // Answers @@TRANCOUNT: the transaction depth the caller keeps. Null means 0.
    std::function<int()> tranCount;
    // Prepared statements to reuse. Null means the cache of the connection when the driver
    // opened it (qv::sql::StatementCache::For), else every statement is prepared anew.
    qv::sql::StatementCache* cache = nullptr;
    // Called before the batch runs; throws ExecError to refuse it. Null admits every batch.
    std::function<void()> admit;
    // Told of a step's failure before its ExecError reaches the caller (also while the rows
    // of the result are read).
    std::function<void(const ExecError&)> failed;
};

class Execution {
public:
    Execution();
    Execution(Execution&&) noexcept;
    Execution& operator=(Execution&&) noexcept;
    ~Execution();

    // Whether a statement returned a result (it may still have no rows).
    bool HasResult() const;
    // The program step whose rows the result holds; only meaningful with HasResult().
    std::size_t ResultStep() const;
    int ColumnCount() const;
    // The column's name as the statement wrote it (alias or column name; empty for an unnamed
    // expression).
    const std::string& ColumnName(int column) const;
    // Moves to the next row of the result; false after the last one. Throws ExecError.
    bool Next();
    // A column of the current row.
    qv::sql::Value Get(int column) const;
    // Rows inserted, updated or deleted by the batch's INSERT/UPDATE/DELETE statements.
    std::int64_t RowsAffected() const;
    // A batch variable's value after the run (tests, diagnostics); empty if there is none.
    std::optional<qv::sql::Value> Variable(std::string_view name) const;

private:
    struct Impl;
    explicit Execution(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    friend Execution Execute(sqlite3*, SharedProgram, const ExecOptions&);
};

// Runs `program` on `db`. Throws ExecError when a step fails; the steps before it have taken
// effect.
Execution Execute(sqlite3* db, std::shared_ptr<const Program> program, const ExecOptions& options = {});
// Runs a program of TranslateShared with the literals of its text.
Execution Execute(sqlite3* db, SharedProgram shared, const ExecOptions& options = {});
// Translates (cached) and runs. Throws TranslateError or ExecError.
Execution Execute(sqlite3* db, std::string_view tsql, const ExecOptions& options = {});

}  // namespace qv::tsql
