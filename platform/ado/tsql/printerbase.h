#pragma once
// What the printers of the SQL dialects share: the walk over statements, queries and
// expressions, with each operator placed by the dialect's precedence and wrapped in parentheses
// where that needs them. A dialect supplies its names, collations, parameters, functions and the
// forms it spells its own way (T-SQL's +, ^ and LIKE, CONVERT, the sort and group keys).
#include "tsqlast.h"
#include "tsqldialect.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qv::tsql {

class PrinterBase : public DialectPrinter {
public:
    // One statement; Select must not assign variables.
    std::string Statement(const Stmt& stmt) override;
    // SELECT @a = x, @b = y ... printed as SELECT x, y ...
    std::string AssigningSelect(const SelectStmt& stmt) override;
    // SELECT <expr>
    std::string ValueQuery(const Expr& e) override;
    // SELECT CASE WHEN <cond> THEN 1 ELSE 0 END: T-SQL's IF takes UNKNOWN as false.
    std::string ConditionQuery(const Expr& cond) override;

    // Parameter slots that the statements printed so far refer to, and clears the list.
    std::vector<int> TakeUsedSlots() override;
    bool UsesTrancount() const override { return usesTrancount_; }

    std::string Expression(const Expr& e);

protected:
    // Binding levels: a higher one binds tighter. The outer and the inner ones are the same in
    // every dialect; each dialect places its comparisons and arithmetic in 4..9.
    enum : int { kOr = 1, kAnd, kNot, kCollate = 10, kUnary, kAtom };
    // Where the dialect places each operator, and the least level an operand keeps unwrapped.
    struct Levels {
        int equal;           // = <>
        int relation;        // < <= > >=
        int isNull;          // IS [NOT] NULL
        int between;         // [NOT] BETWEEN
        int betweenOperand;  // its value and bounds
        int in;              // [NOT] IN
        int inValue;         // its value
        int bit;             // & |
        int bitNot;          // prefix ~
        int add;             // + -
        int mul;             // * / %
        int collateOperand;  // what COLLATE follows
        int caseOperand;     // CASE x WHEN ...: x
    };
    struct Dialect {
        const char* refusal;          // begins the message that refuses a construct
        const char* caseInsensitive;  // the collation T-SQL compares text in
        const char* caseSensitive;    // what a case-sensitive collation becomes
        const char* rowIdentity;      // the hidden column that names a table's row
        const char* topAlias;         // names a TOP query inside a compound one (empty: unnamed)
    };
    struct Out {
        std::string text;
        int prec;
    };

    PrinterBase(const Dialect& dialect, const Levels& levels, const std::vector<VariableDecl>& variables,
                int trancountSlot);

    [[noreturn]] void Unsupported(const std::string& what, std::size_t pos) const;
    // `s` between two `quote`s, a `quote` inside doubled.
    static std::string Enclosed(const std::string& s, char quote);
    // A string literal.
    static std::string Quote(const std::string& s) { return Enclosed(s, '\''); }
    // A name in double quotes, as written.
    static std::string QuotedName(const std::string& name) { return Enclosed(name, '"'); }

    // ---- names
    virtual std::string Identifier(const Ident& id) = 0;
    std::string TableName(const Name& name, std::size_t pos);
    std::string ColumnName(const Name& name, std::size_t pos);
    std::string MapCollation(const std::string& collation) const;

    // ---- expressions
    Out Print(const Expr& e);
    std::string Wrap(const Expr& e, int minPrec);
    static std::string Wrap(Out o, int minPrec);
    Out Infix(const BinaryExpr& b, const char* op, int prec);
    std::string CollatedOperand(const Expr& e, const std::string& collation);
    // The first operand of a comparison among `operands`, with the collation T-SQL compares in.
    std::string ComparedOperand(const Expr& e, const std::vector<const Expr*>& operands, int prec);
    bool NeedsCaseInsensitive(const std::vector<const Expr*>& operands) const;
    Out PrintBinary(const BinaryExpr& b);
    Out PrintCase(const CaseExpr& c);
    virtual Out PrintComparison(const Expr& left, const char* op, const Expr& right, int prec);
    // The literal as written.
    virtual Out PrintLiteral(const LiteralExpr& lit);
    // Variable slot `slot` of T-SQL type `tsqlType` (empty when not declared), noted as used.
    virtual std::string Parameter(int slot, const std::string& tsqlType) = 0;
    virtual Out PrintAdd(const BinaryExpr& b) = 0;
    virtual Out PrintXor(const BinaryExpr& b) = 0;
    virtual Out PrintLike(const LikeExpr& l) = 0;
    virtual Out PrintFunction(const FunctionExpr& f) = 0;
    virtual Out PrintConvert(const ConvertExpr& c) = 0;

    // ---- functions
    // True for a function of the database (dbo.X, or a name that begins with fn_), which takes
    // no '*' or DISTINCT; refuses a name with another qualifier.
    bool IsDatabaseFunction(const FunctionExpr& f);
    std::string Arguments(const FunctionExpr& f, std::size_t from = 0);
    void Arity(const FunctionExpr& f, std::size_t lo, std::size_t hi) const;
    // Whether the last collation that an argument names is a case-sensitive one.
    static bool CaseSensitiveArguments(const FunctionExpr& f);
    // name(arguments), with lo..hi of them.
    Out Call(const std::string& name, const FunctionExpr& f, std::size_t lo, std::size_t hi);

    // ---- queries
    std::string Query(const struct Query& q);
    std::string Core(const SelectCore& core, const std::vector<OrderItem>* orderBy, bool withLimit,
                     const std::string& extraItem = {});
    std::string Source(const TableSource& src);
    std::string OrderBy(const std::vector<OrderItem>& items, const SelectCore& first);
    // A computed value that T-SQL would sort, group or compare without regard to case.
    virtual bool SortsAsText(const Expr& e) const;
    // T-SQL sorts, groups and removes duplicates of text without regard to case. Columns carry
    // that collation from the schema; a computed text value needs it spelled out.
    std::string CaseInsensitiveKey(const Expr& e);
    // The item of `core` whose alias `e` names; null when `e` is no such name.
    static const SelectItem* AliasedItem(const Expr& e, const SelectCore& core);
    // One key of ORDER BY, without its direction.
    virtual std::string OrderKey(const Expr& e, const SelectCore& first) = 0;
    virtual std::string GroupKey(const Expr& e) = 0;
    // A select item's value.
    virtual std::string SelectedValue(const Expr& e, bool distinct);
    // A select item's alias.
    virtual std::string ResultName(const Ident& alias);
    virtual std::string Limit(const Expr& top);
    // The reference to the one table a SELECT reads; refuses any other SELECT.
    std::string SingleTableRef(const SelectStmt& stmt);

    // ---- statements
    std::string Insert(const InsertStmt& s);
    std::string Update(const UpdateStmt& s);
    std::string Delete(const DeleteStmt& s);
    std::string SetList(const UpdateStmt& s, const std::string& targetRef);
    std::string SetColumn(const SetClause& set, const UpdateStmt& s, const std::string& targetRef);

    const Dialect dialect_;
    const Levels level_;
    const std::vector<VariableDecl>& variables_;
    int trancountSlot_;
    bool usesTrancount_ = false;
    // Inside a derived table: its select aliases are names the outer query uses.
    int derivedDepth_ = 0;
    std::vector<int> used_;
};

}  // namespace qv::tsql
