#pragma once
// The syntax tree of a T-SQL batch, independent of the dialect it is printed in.
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qv::tsql {

struct Query;

// A name part: `name` is the text without brackets or quotes.
struct Ident {
    std::string name;
    bool quoted = false;
};
using Name = std::vector<Ident>;  // dbo.Kurs, pk.lKursID

// ---- expressions ---------------------------------------------------------------------------

enum class ExprKind {
    Literal,
    Column,
    Variable,
    GlobalVariable,
    Unary,
    Binary,
    Between,
    In,
    Like,
    IsNull,
    Exists,
    Case,
    Function,
    Convert,
    Subquery,
    Collate,
    Star,
};

struct Expr {
    explicit Expr(ExprKind k, std::size_t p) : kind(k), pos(p) {}
    virtual ~Expr() = default;
    ExprKind kind;
    std::size_t pos;  // offset in the source
};
using ExprPtr = std::unique_ptr<Expr>;

struct LiteralExpr : Expr {
    enum class Type { Integer, Decimal, String, Null, DatePart };
    LiteralExpr(std::size_t p, Type t, std::string v) : Expr(ExprKind::Literal, p), type(t), text(std::move(v)) {}
    Type type;
    // Integer and Decimal: the digits as written (with a leading '-' when negated); String: the
    // value; DatePart: the date part keyword in lower case (dd, month, ...).
    std::string text;
    // The token's literal number (Token::literal) while the value is the token's own; -1 once
    // the parser changed it (a folded sign) or when it came from elsewhere.
    int param = -1;
};

struct ColumnExpr : Expr {
    ColumnExpr(std::size_t p, Name n) : Expr(ExprKind::Column, p), name(std::move(n)) {}
    Name name;
};

struct VariableExpr : Expr {
    VariableExpr(std::size_t p, std::string n, int s) : Expr(ExprKind::Variable, p), name(std::move(n)), slot(s) {}
    std::string name;  // as written, without '@'
    int slot;          // index into the batch's variables
};

struct GlobalVariableExpr : Expr {
    GlobalVariableExpr(std::size_t p, std::string n) : Expr(ExprKind::GlobalVariable, p), name(std::move(n)) {}
    std::string name;  // upper case, without "@@"
};

enum class UnaryOp { Neg, Plus, BitNot, Not };
struct UnaryExpr : Expr {
    UnaryExpr(std::size_t p, UnaryOp o, ExprPtr e) : Expr(ExprKind::Unary, p), op(o), operand(std::move(e)) {}
    UnaryOp op;
    ExprPtr operand;
};

enum class BinaryOp { Add, Sub, Mul, Div, Mod, BitAnd, BitOr, BitXor, Eq, Ne, Lt, Le, Gt, Ge, And, Or };
struct BinaryExpr : Expr {
    BinaryExpr(std::size_t p, BinaryOp o, ExprPtr l, ExprPtr r)
        : Expr(ExprKind::Binary, p), op(o), left(std::move(l)), right(std::move(r)) {}
    BinaryOp op;
    ExprPtr left, right;
};

struct BetweenExpr : Expr {
    explicit BetweenExpr(std::size_t p) : Expr(ExprKind::Between, p) {}
    bool negated = false;
    ExprPtr value, low, high;
};

struct InExpr : Expr {
    explicit InExpr(std::size_t p) : Expr(ExprKind::In, p) {}
    bool negated = false;
    ExprPtr value;
    std::vector<ExprPtr> list;        // IN (a, b, ...)
    std::unique_ptr<Query> subquery;  // IN (SELECT ...)
};

struct LikeExpr : Expr {
    explicit LikeExpr(std::size_t p) : Expr(ExprKind::Like, p) {}
    bool negated = false;
    ExprPtr value, pattern, escape;
};

struct IsNullExpr : Expr {
    IsNullExpr(std::size_t p, bool n, ExprPtr v) : Expr(ExprKind::IsNull, p), negated(n), value(std::move(v)) {}
    bool negated;
    ExprPtr value;
};

struct ExistsExpr : Expr {
    ExistsExpr(std::size_t p, std::unique_ptr<Query> q);
    ~ExistsExpr() override;
    std::unique_ptr<Query> query;
};

struct CaseExpr : Expr {
    explicit CaseExpr(std::size_t p) : Expr(ExprKind::Case, p) {}
    ExprPtr base;  // CASE base WHEN ...; null for CASE WHEN cond ...
    std::vector<std::pair<ExprPtr, ExprPtr>> whens;
    ExprPtr otherwise;
};

struct FunctionExpr : Expr {
    explicit FunctionExpr(std::size_t p) : Expr(ExprKind::Function, p) {}
    Name name;
    std::vector<ExprPtr> args;
    bool star = false;      // count(*)
    bool distinct = false;  // count(DISTINCT x)
};

// CONVERT(type, value[, style]) and CAST(value AS type).
struct ConvertExpr : Expr {
    explicit ConvertExpr(std::size_t p) : Expr(ExprKind::Convert, p) {}
    std::string type;  // lower case without blanks: varchar(50), decimal(10,2), datetime
    ExprPtr value;
    ExprPtr style;
};

struct SubqueryExpr : Expr {
    SubqueryExpr(std::size_t p, std::unique_ptr<Query> q);
    ~SubqueryExpr() override;
    std::unique_ptr<Query> query;
};

struct CollateExpr : Expr {
    CollateExpr(std::size_t p, ExprPtr e, std::string c)
        : Expr(ExprKind::Collate, p), operand(std::move(e)), collation(std::move(c)) {}
    ExprPtr operand;
    std::string collation;  // as written
};

// `*` or `t.*` in a select list.
struct StarExpr : Expr {
    StarExpr(std::size_t p, Name q) : Expr(ExprKind::Star, p), qualifier(std::move(q)) {}
    Name qualifier;
};

// ---- queries -------------------------------------------------------------------------------

struct TableSource;
using TableSourcePtr = std::unique_ptr<TableSource>;

enum class JoinKind { Inner, Left, Right, Full, Cross, Comma };

struct TableSource {
    enum class Kind { Table, Derived, Join };
    Kind kind = Kind::Table;
    std::size_t pos = 0;
    // Table
    Name table;
    // Derived
    std::unique_ptr<Query> query;
    // Table and Derived
    Ident alias;
    bool hasAlias = false;
    // Join
    JoinKind join = JoinKind::Inner;
    TableSourcePtr left, right;
    ExprPtr on;

    TableSource();
    ~TableSource();
};

struct SelectItem {
    ExprPtr expr;
    Ident alias;
    bool hasAlias = false;
    int assignSlot = -1;  // SELECT @x = expr
    std::size_t pos = 0;
};

struct SelectCore {
    std::size_t pos = 0;
    bool distinct = false;
    ExprPtr top;
    std::vector<SelectItem> items;
    TableSourcePtr from;  // a chain of joins, or null
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
};

enum class SetOp { Union, UnionAll, Except, Intersect };

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

struct Query {
    std::size_t pos = 0;
    std::vector<SelectCore> cores;  // joined by ops[i] between cores[i] and cores[i+1]
    std::vector<SetOp> ops;
    std::vector<OrderItem> orderBy;
};

// ---- statements ----------------------------------------------------------------------------

enum class StmtKind { Select, Insert, Update, Delete, Declare, SetVariable, If, Block, Exec };

struct Stmt {
    Stmt(StmtKind k, std::size_t p) : kind(k), pos(p) {}
    virtual ~Stmt() = default;
    StmtKind kind;
    std::size_t pos;
};
using StmtPtr = std::unique_ptr<Stmt>;

struct SelectStmt : Stmt {
    explicit SelectStmt(std::size_t p) : Stmt(StmtKind::Select, p) {}
    Query query;
    bool assigns = false;  // SELECT @x = ...
};

struct InsertStmt : Stmt {
    explicit InsertStmt(std::size_t p) : Stmt(StmtKind::Insert, p) {}
    Name table;
    std::vector<Ident> columns;
    std::vector<std::vector<ExprPtr>> rows;  // VALUES (...), (...)
    std::unique_ptr<Query> select;           // INSERT ... SELECT
};

struct SetClause {
    Name column;
    ExprPtr value;
    std::size_t pos = 0;
};

struct UpdateStmt : Stmt {
    explicit UpdateStmt(std::size_t p) : Stmt(StmtKind::Update, p) {}
    Name target;
    std::vector<SetClause> sets;
    TableSourcePtr from;
    ExprPtr where;
};

struct DeleteStmt : Stmt {
    explicit DeleteStmt(std::size_t p) : Stmt(StmtKind::Delete, p) {}
    Name target;
    TableSourcePtr from;
    ExprPtr where;
};

struct DeclareItem {
    int slot = -1;
    ExprPtr init;
    std::size_t pos = 0;
};

struct DeclareStmt : Stmt {
    explicit DeclareStmt(std::size_t p) : Stmt(StmtKind::Declare, p) {}
    std::vector<DeclareItem> items;
};

struct SetVariableStmt : Stmt {
    explicit SetVariableStmt(std::size_t p) : Stmt(StmtKind::SetVariable, p) {}
    int slot = -1;
    ExprPtr value;
};

struct IfStmt : Stmt {
    explicit IfStmt(std::size_t p) : Stmt(StmtKind::If, p) {}
    ExprPtr condition;
    StmtPtr then;
    StmtPtr otherwise;
};

struct BlockStmt : Stmt {
    explicit BlockStmt(std::size_t p) : Stmt(StmtKind::Block, p) {}
    std::vector<StmtPtr> body;
};

struct ExecArg {
    ExprPtr value;  // a literal or a variable
    bool output = false;
    std::size_t pos = 0;
};

struct ExecStmt : Stmt {
    explicit ExecStmt(std::size_t p) : Stmt(StmtKind::Exec, p) {}
    Name procedure;
    std::vector<ExecArg> args;
};

// A variable of the batch. Variables live for the whole batch, as in T-SQL.
struct VariableDecl {
    std::string name;  // as written, without '@'
    std::string type;  // lower case without blanks: int, varchar(50)
};

struct Batch {
    std::vector<StmtPtr> statements;
    std::vector<VariableDecl> variables;
};

// The table name without a schema ("dbo.Kurs" -> "Kurs").
const Ident& BaseName(const Name& name);

}  // namespace qv::tsql
