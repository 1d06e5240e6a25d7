#pragma once
// What the batch builder needs from the printer of one SQL dialect. The parser and the analysis
// know no dialect; each target database (SQLite, PostgreSQL) has a printer of its own, on the
// shared statement walk of PrinterBase (printerbase.h).
#include "tsqlast.h"

#include <string>
#include <vector>

namespace qv::tsql {

class DialectPrinter {
public:
    virtual ~DialectPrinter() = default;

    // One SELECT (not assigning variables), INSERT, UPDATE or DELETE.
    virtual std::string Statement(const Stmt& stmt) = 0;
    // SELECT @a = x, @b = y ... as a query of x, y.
    virtual std::string AssigningSelect(const SelectStmt& stmt) = 0;
    // A query of one row holding the value of `e`.
    virtual std::string ValueQuery(const Expr& e) = 0;
    // A query of one row holding 1 when `cond` is true, else 0 (T-SQL's IF takes UNKNOWN as false).
    virtual std::string ConditionQuery(const Expr& cond) = 0;
    // A single-table SELECT with the row's identity added as the last column `column`.
    virtual std::string SelectWithRowid(const SelectStmt& stmt, const std::string& column) = 0;

    // The parameter slot holding the value of `e` when `e` is a bare literal that texts of the
    // same shape pass as a value (shared translations); -1 when the value belongs to the program.
    virtual int ValueSlot(const Expr&) { return -1; }

    // Parameter slots that the statements printed since the last call refer to.
    virtual std::vector<int> TakeUsedSlots() = 0;
    virtual bool UsesTrancount() const = 0;
};

}  // namespace qv::tsql
