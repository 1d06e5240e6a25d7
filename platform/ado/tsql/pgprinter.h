#pragma once
// Prints the syntax tree as PostgreSQL SQL, for the same constructs as the SQLite printer where
// PostgreSQL can say them. What the database must provide: tables and columns created with
// unquoted names (PostgreSQL folds them to lower case, and so does this printer), the
// case-insensitive collation `qvci` on text columns, the operator + on two texts (T-SQL's
// concatenation) and the schema `dbo` on the search path. Variables become numbered parameters
// cast to their declared type: variable slot s is $s+1. T-SQL forms PostgreSQL lacks are
// rewritten (TOP, UPDATE/DELETE with the target among the joins through the row's ctid); the
// rest is refused with TranslateError naming the construct.
#include "tsqlast.h"
#include "tsqldialect.h"

#include <string>
#include <vector>

namespace qv::tsql {

class PgPrinter : public DialectPrinter {
public:
    // `trancountSlot` is the parameter slot that stands for @@TRANCOUNT.
    PgPrinter(const std::vector<VariableDecl>& variables, int trancountSlot);

    std::string Statement(const Stmt& stmt) override;
    std::string AssigningSelect(const SelectStmt& stmt) override;
    std::string ValueQuery(const Expr& e) override;
    std::string ConditionQuery(const Expr& cond) override;
    // The row's ctid as text: it names the row until the row is next written.
    std::string SelectWithRowid(const SelectStmt& stmt, const std::string& rowidColumn) override;
    // The SELECT of one table with the table's key columns (names as the server has them) added
    // last, named `hiddenPrefix`1, 2, ….
    std::string SelectWithKey(const SelectStmt& stmt, const std::vector<std::string>& keyColumns,
                              const std::string& hiddenPrefix);

    std::vector<int> TakeUsedSlots() override;
    bool UsesTrancount() const override { return usesTrancount_; }

    std::string Expression(const Expr& e);
    // The PostgreSQL type for a T-SQL type name (lower case without blanks); empty when unknown.
    static std::string TypeName(const std::string& tsqlType);

private:
    struct Out {
        std::string text;
        int prec;
    };

    Out Print(const Expr& e);
    std::string Wrap(const Expr& e, int minPrec);
    std::string Wrap(Out o, int minPrec);
    Out PrintBinary(const BinaryExpr& b);
    Out PrintComparison(const Expr& left, const char* op, const Expr& right, int prec);
    Out PrintFunction(const FunctionExpr& f);
    Out PrintCase(const CaseExpr& c);
    Out PrintConvert(const ConvertExpr& c);
    std::string CollatedOperand(const Expr& e, const std::string& collation);
    std::string ComparedOperand(const Expr& e, const std::vector<const Expr*>& operands, int prec);
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

    std::string Parameter(int slot, const std::string& tsqlType);

    const std::vector<VariableDecl>& variables_;
    int trancountSlot_;
    bool usesTrancount_ = false;
    // Inside a derived table: its select aliases are names the outer query uses, folded as those are.
    int derivedDepth_ = 0;
    std::vector<int> used_;
};

}  // namespace qv::tsql
