#pragma once
// A T-SQL batch translated for SQLite. SQLite has no variables or control flow, so a batch
// becomes a small program: SQL steps with the batch's variables bound as numbered parameters,
// conditions, variable assignments and procedure calls.
#include "sqlvalue.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace qv::tsql {

enum class StepKind {
    Query,   // SQL that returns rows (a SELECT that assigns no variable)
    Modify,  // INSERT, UPDATE or DELETE; counts toward the rows affected
    Assign,  // SELECT @a = x, @b = y ...: the last row's columns go to `slots`
    SetVar,  // `slot` gets the one value of `sql`, or `constant` / slot `valueSlot` when `sql` is empty
    Branch,  // `sql` yields 1 or 0; on 0 go to step `jump`
    Jump,    // go to step `jump`
    Call,    // stored procedure `procedure` with `args`
};

// An argument of a procedure call: a variable or a constant.
struct CallArg {
    int slot = -1;  // the variable, or -1 for a constant
    qv::sql::Value constant;
    bool output = false;
};

struct Step {
    StepKind kind = StepKind::Query;
    std::string sql;
    // Parameter slots `sql` refers to; slot s is bound as ?s+1.
    std::vector<int> params;
    std::vector<int> slots;  // Assign
    int slot = -1;           // SetVar
    std::optional<qv::sql::Value> constant;  // SetVar without SQL
    int valueSlot = -1;                      // SetVar without SQL: the value of this slot
    std::size_t jump = 0;    // Branch, Jump
    std::string procedure;   // Call: the name without schema
    std::vector<CallArg> args;
    // Query: the result's column names as the statement writes them (alias, or the column's
    // name; empty for an unnamed expression). Empty with `namesKnown` false when the list has
    // a '*': then SQLite's names apply.
    std::vector<std::string> columnNames;
    bool namesKnown = false;
    std::size_t sourceOffset = 0;  // where the statement begins in the T-SQL text
};

struct Variable {
    std::string name;  // without '@'
    std::string type;  // lower case without blanks: int, varchar(50)
};

// What an updatable recordset needs to write a row back.
struct UpdateTarget {
    std::string table;       // the table the SELECT reads
    std::string rowidColumn; // name of the hidden last column holding the row's rowid
    // PostgreSQL: the table's key columns, which the hidden last columns hold (one each, in this
    // order, in place of the rowid), and the table column each select item shows: "*" for all
    // of them, empty for an expression.
    std::vector<std::string> keyColumns;
    std::vector<std::string> itemColumns;
};

struct Program {
    std::vector<Step> steps;
    // The batch's variables; slot i is variables[i]. @@TRANCOUNT, when used, has slot
    // `trancountSlot` (== variables.size()).
    std::vector<Variable> variables;
    int trancountSlot = -1;
    // Set by TranslateForUpdate when the SELECT reads a single table.
    std::optional<UpdateTarget> updateTarget;
    std::string source;  // the T-SQL text
    // Set when the program takes the literals of its text as parameters (TranslateShared):
    // literal k (Token::literal) is slot literalBase + k.
    int literalBase = -1;
};

// A program that texts differing only in the values of their literals share, with the values
// of this text's literals to run it with.
struct SharedProgram {
    std::shared_ptr<const Program> program;
    std::vector<qv::sql::Value> literals;
};

// Translates a batch. Throws TranslateError. Translations are cached by text (bounded, shared
// by all threads).
std::shared_ptr<const Program> Translate(std::string_view tsql);

// The SQLite text of a batch that is one plain SELECT, INSERT, UPDATE or DELETE without
// variables. Throws TranslateError otherwise.
std::string TranslateStatement(std::string_view tsql);

// The batch translated for PostgreSQL (PgPrinter): slot s is $s+1. Cached apart from the
// SQLite translations.
std::shared_ptr<const Program> TranslatePg(std::string_view tsql);

// For an updatable recordset: a batch that is one SELECT. When it reads a single table (no
// join, no derived table, DISTINCT, GROUP BY or UNION), the rowid is added as the last column
// and `updateTarget` is set; otherwise the program is the plain translation and `updateTarget`
// stays empty (not updatable).
std::shared_ptr<const Program> TranslateForUpdate(std::string_view tsql);

// As Translate and TranslateForUpdate, but literals become parameters where their value cannot
// change the statement, so that one translation and one prepared statement serve every text of
// the same shape. Literals that SQLite or the translation reads as more than a value (ORDER BY
// positions, TOP, CONVERT styles, a select list's bare constants, type lengths, procedure
// arguments, signed numbers) stay in the text, and texts that differ in them get programs of
// their own.
SharedProgram TranslateShared(std::string_view tsql);
SharedProgram TranslateSharedForUpdate(std::string_view tsql);

// For a recordset on PostgreSQL that changes rows: as TranslateForUpdate, but the hidden last
// columns hold the key `keyOf(table)` gives (the table's primary key as the server names it).
// When the SELECT is not of a single table or `keyOf` gives no columns, the plain translation
// without `updateTarget`. Cached by text; a translation whose key has changed is made again.
std::shared_ptr<const Program> TranslatePgForUpdate(
    std::string_view tsql, const std::function<std::vector<std::string>(const std::string& table)>& keyOf);
// Reads the indexes of `db` for the constants they compare columns with (IndexedConstant). When
// one is new, the shared translations are dropped, so that texts comparing a column with it
// translate again with the literal kept. Cheap when the schema is unchanged since the last read.
void NoteIndexes(sqlite3* db);

// Drops every cached translation (tests).
void ClearTranslationCache();
std::size_t TranslationCacheSize();
// What the cached translations hold on the heap, as their caches count it.
std::size_t TranslationCacheBytes();
inline constexpr std::size_t kTranslationCacheCapacity = 4096;
// The heap that a cache of texts may hold (those of updatable recordsets a quarter of it),
// whatever the number of texts.
inline constexpr std::size_t kTranslationCacheBytes = std::size_t(4) << 20;

inline constexpr const char* kRowidColumn = "__qv_rowid";
inline constexpr const char* kKeyColumnPrefix = "__qv_key";

}  // namespace qv::tsql
