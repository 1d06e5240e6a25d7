#pragma once
// Prints the syntax tree as SQLite SQL. T-SQL forms that SQLite lacks are rewritten on the tree
// (TOP, UPDATE ... FROM with the target repeated, DELETE t FROM ..., the T-SQL functions through
// the runtime's tsql_* functions). Variables become numbered parameters: variable slot s is ?s+1.
#include "tsqlast.h"
#include "tsqldialect.h"

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

class SqlitePrinter : public DialectPrinter {
public:
    // `trancountSlot` is the parameter slot that stands for @@TRANCOUNT. With `literalBase` >= 0,
    // literals print as parameters where their value cannot change the statement: literal k
    // is slot literalBase + k.
    SqlitePrinter(const std::vector<VariableDecl>& variables, int trancountSlot, int literalBase = -1);

    // One statement; Select must not assign variables.
    std::string Statement(const Stmt& stmt) override;
    // SELECT @a = x, @b = y ... printed as SELECT x, y ...
    std::string AssigningSelect(const SelectStmt& stmt) override;
    // SELECT <expr>
    std::string ValueQuery(const Expr& e) override;
    // SELECT CASE WHEN <cond> THEN 1 ELSE 0 END: T-SQL's IF takes UNKNOWN as false.
    std::string ConditionQuery(const Expr& cond) override;
    // The select with the single table's rowid appended as column `rowidColumn`.
    std::string SelectWithRowid(const SelectStmt& stmt, const std::string& rowidColumn) override;

    int ValueSlot(const Expr& e) override;
    // Parameter slots that the statements printed so far refer to, and clears the list.
    std::vector<int> TakeUsedSlots() override;
    bool UsesTrancount() const override { return usesTrancount_; }
    // The literals printed as parameters so far (sorted, each once).
    std::vector<int> ParameterLiterals() const;

    std::string Expression(const Expr& e);

private:
    struct Out {
        std::string text;
        int prec;
    };

    Out Print(const Expr& e);
    std::string Wrap(const Expr& e, int minPrec);
    std::string Wrap(Out o, int minPrec);
    Out PrintBinary(const BinaryExpr& b);
    Out PrintAdd(const BinaryExpr& b);
    Out PrintXor(const BinaryExpr& b);
    Out PrintComparison(const Expr& left, const char* op, const Expr& right, int prec);
    Out PrintIndexedComparison(const Expr& left, const char* op, const Expr& right, int prec);
    Out PrintFunction(const FunctionExpr& f);
    Out PrintCase(const CaseExpr& c);
    std::string CollatedOperand(const Expr& e, const std::string& collation);
    bool NeedsCaseInsensitive(const std::vector<const Expr*>& operands) const;

    std::string Query(const struct Query& q);
    std::string Core(const SelectCore& core, const std::vector<OrderItem>* orderBy, bool withLimit,
                     const std::string& extraItem = {});
    std::string OrderBy(const std::vector<OrderItem>& items, const SelectCore& first);
    bool SortsAsText(const Expr& e) const;
    std::string CaseInsensitiveKey(const Expr& e);
    std::string Source(const TableSource& src);
    std::string TableName(const Name& name, std::size_t pos);
    std::string ColumnName(const Name& name, std::size_t pos);
    std::string Identifier(const Ident& id);

    std::string Insert(const InsertStmt& s);
    std::string Update(const UpdateStmt& s);
    std::string Delete(const DeleteStmt& s);
    std::string SetList(const UpdateStmt& s, const std::string& targetRef);
    std::string SetColumn(const SetClause& set, const UpdateStmt& s, const std::string& targetRef);

    void UseSlot(int slot);
    // Prints with every literal as written: for places where SQLite reads a constant as more
    // than a value (ORDER BY 1, a result column's type).
    std::string Literally(const Expr& e, bool caseInsensitiveKey = false);

    const std::vector<VariableDecl>& variables_;
    int trancountSlot_;
    bool usesTrancount_ = false;
    std::vector<int> used_;
    int literalBase_;
    int literally_ = 0;
    std::vector<int> literalParams_;
    std::vector<int> literalTexts_;
};

}  // namespace qv::tsql
