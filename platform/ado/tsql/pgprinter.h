#pragma once
// Prints the syntax tree as PostgreSQL SQL, for the same constructs as the SQLite printer where
// PostgreSQL can say them. What the database must provide: tables and columns created with
// unquoted names (PostgreSQL folds them to lower case, and so does this printer), the
// case-insensitive collation `qvci` on text columns, the operator + on two texts (T-SQL's
// concatenation) and the schema `dbo` on the search path. Variables become numbered parameters
// cast to their declared type: variable slot s is $s+1. T-SQL forms PostgreSQL lacks are
// rewritten (TOP, UPDATE/DELETE with the target among the joins through the row's ctid); the
// rest is refused with TranslateError naming the construct.
#include "printerbase.h"

#include <string>
#include <vector>

namespace qv::tsql {

class PgPrinter : public PrinterBase {
public:
    // `trancountSlot` is the parameter slot that stands for @@TRANCOUNT.
    PgPrinter(const std::vector<VariableDecl>& variables, int trancountSlot);

    // The row's ctid as text: it names the row until the row is next written.
    std::string SelectWithRowid(const SelectStmt& stmt, const std::string& rowidColumn) override;
    // The SELECT of one table with the table's key columns (names as the server has them) added
    // last, named `hiddenPrefix`1, 2, ….
    std::string SelectWithKey(const SelectStmt& stmt, const std::vector<std::string>& keyColumns,
                              const std::string& hiddenPrefix);

    // The PostgreSQL type for a T-SQL type name (lower case without blanks); empty when unknown.
    static std::string TypeName(const std::string& tsqlType);

private:
    // PostgreSQL's levels between NOT and COLLATE. Comparisons do not associate.
    enum : int {
        kIs = kNot + 1,  // IS NULL
        kCmp,            // = <> < <= > >=
        kIn,             // BETWEEN IN LIKE ILIKE
        kOther,          // || & | # and prefix ~
        kAdd,
        kMul,
    };
    static_assert(kMul + 1 == kCollate);

    std::string Identifier(const Ident& id) override;
    std::string Parameter(int slot, const std::string& tsqlType) override;
    Out PrintComparison(const Expr& left, const char* op, const Expr& right, int prec) override;
    std::string AsciiFolded(const Expr& text, const std::string& needle);
    std::string WordSearch(const Expr& left, const char* op, const Expr& right);
    Out PrintAdd(const BinaryExpr& b) override;
    Out PrintXor(const BinaryExpr& b) override;
    Out PrintLike(const LikeExpr& l) override;
    Out PrintFunction(const FunctionExpr& f) override;
    Out PrintConvert(const ConvertExpr& c) override;
    bool SortsAsText(const Expr& e) const override;
    std::string OrderKey(const Expr& e, const SelectCore& first) override;
    std::string GroupKey(const Expr& e) override;
    std::string ResultName(const Ident& alias) override;
};

}  // namespace qv::tsql
