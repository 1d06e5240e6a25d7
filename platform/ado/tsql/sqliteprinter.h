#pragma once
// Prints the syntax tree as SQLite SQL. T-SQL forms that SQLite lacks are rewritten on the tree
// (TOP, UPDATE ... FROM with the target repeated, DELETE t FROM ..., the T-SQL functions through
// the runtime's tsql_* functions). Variables become numbered parameters: variable slot s is ?s+1.
#include "printerbase.h"

#include <string>
#include <string_view>
#include <vector>

namespace qv::tsql {

// A constant that an index compares a column with, in its WHERE (a partial index) or in an
// indexed expression. SQLite matches such an index only against the same constant standing in
// the statement's text: bound as a parameter it either misses the index or prepares the
// statement again for every new value. Comparisons of the column with that constant therefore
// keep the literal as written. `column` is in lower case; `value` is the literal's text (a
// string without its quotes).
struct IndexedConstant {
    std::string column;
    std::string value;
    bool operator==(const IndexedConstant&) const = default;
};
// Adds to the process-wide list; true when one was new.
bool NoteIndexedConstants(const std::vector<IndexedConstant>& found);
bool IsIndexedConstant(std::string_view column, std::string_view value);

class SqlitePrinter : public PrinterBase {
public:
    // `trancountSlot` is the parameter slot that stands for @@TRANCOUNT. With `literalBase` >= 0,
    // literals print as parameters where their value cannot change the statement: literal k
    // is slot literalBase + k.
    SqlitePrinter(const std::vector<VariableDecl>& variables, int trancountSlot, int literalBase = -1);

    // The select with the single table's rowid appended as column `rowidColumn`.
    std::string SelectWithRowid(const SelectStmt& stmt, const std::string& rowidColumn) override;

    int ValueSlot(const Expr& e) override;
    // The literals printed as parameters so far (sorted, each once).
    std::vector<int> ParameterLiterals() const;

private:
    // SQLite's levels between NOT and COLLATE.
    enum : int {
        kEq = kNot + 1,  // = <> IS IN LIKE BETWEEN
        kRel,            // < <= > >=
        kBit,            // & |
        kAdd,
        kMul,
        kConcat,
    };
    static_assert(kConcat + 1 == kCollate);

    std::string Identifier(const Ident& id) override;
    std::string Parameter(int slot, const std::string& tsqlType) override;
    Out PrintLiteral(const LiteralExpr& lit) override;
    Out PrintComparison(const Expr& left, const char* op, const Expr& right, int prec) override;
    Out PrintAdd(const BinaryExpr& b) override;
    Out PrintXor(const BinaryExpr& b) override;
    Out PrintLike(const LikeExpr& l) override;
    Out PrintFunction(const FunctionExpr& f) override;
    Out PrintConvert(const ConvertExpr& c) override;
    std::string OrderKey(const Expr& e, const SelectCore& first) override;
    std::string GroupKey(const Expr& e) override;
    std::string SelectedValue(const Expr& e, bool distinct) override;
    std::string Limit(const Expr& top) override;

    // `print()` with every literal as written: for places where SQLite reads a constant as more
    // than a value (ORDER BY 1, a result column's type, an index's constant).
    template <class F>
    auto Literally(F print) -> decltype(print());
    std::string Literally(const Expr& e, bool caseInsensitiveKey = false);

    int literalBase_;
    int literally_ = 0;
    std::vector<int> literalParams_;
    std::vector<int> literalTexts_;
};

}  // namespace qv::tsql
