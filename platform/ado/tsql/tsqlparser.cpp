#include "tsqlparser.h"

#include "tsqlerror.h"
#include "tsqllexer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace qv::tsql {

namespace {

// T-SQL's reserved words: none of them can be an alias without brackets, so each one ends an
// expression, a select item or a table name, which is how statements without semicolons split.
constexpr std::array kReserved = {
    "ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "BACKUP", "BEGIN", "BETWEEN", "BREAK",
    "BROWSE", "BULK", "BY", "CASCADE", "CASE", "CHECK", "CHECKPOINT", "CLOSE", "CLUSTERED",
    "COALESCE", "COLLATE", "COLUMN", "COMMIT", "COMPUTE", "CONSTRAINT", "CONTAINS",
    "CONTAINSTABLE", "CONTINUE", "CONVERT", "CREATE", "CROSS", "CURRENT", "CURRENT_DATE",
    "CURRENT_TIME", "CURRENT_TIMESTAMP", "CURRENT_USER", "CURSOR", "DATABASE", "DBCC",
    "DEALLOCATE", "DECLARE", "DEFAULT", "DELETE", "DENY", "DESC", "DISK", "DISTINCT",
    "DISTRIBUTED", "DOUBLE", "DROP", "DUMP", "ELSE", "END", "ERRLVL", "ESCAPE", "EXCEPT", "EXEC",
    "EXECUTE", "EXISTS", "EXIT", "EXTERNAL", "FETCH", "FILE", "FILLFACTOR", "FOR", "FOREIGN",
    "FREETEXT", "FREETEXTTABLE", "FROM", "FULL", "FUNCTION", "GOTO", "GRANT", "GROUP", "HAVING",
    "HOLDLOCK", "IDENTITY", "IDENTITY_INSERT", "IDENTITYCOL", "IF", "IN", "INDEX", "INNER",
    "INSERT", "INTERSECT", "INTO", "IS", "JOIN", "KEY", "KILL", "LEFT", "LIKE", "LINENO", "LOAD",
    "MERGE", "NATIONAL", "NOCHECK", "NONCLUSTERED", "NOT", "NULL", "NULLIF", "OF", "OFF",
    "OFFSETS", "ON", "OPEN", "OPENDATASOURCE", "OPENQUERY", "OPENROWSET", "OPENXML", "OPTION",
    "OR", "ORDER", "OUTER", "OVER", "PERCENT", "PIVOT", "PLAN", "PRECISION", "PRIMARY", "PRINT",
    "PROC", "PROCEDURE", "PUBLIC", "RAISERROR", "READ", "READTEXT", "RECONFIGURE", "REFERENCES",
    "REPLICATION", "RESTORE", "RESTRICT", "RETURN", "REVERT", "REVOKE", "RIGHT", "ROLLBACK",
    "ROWCOUNT", "ROWGUIDCOL", "RULE", "SAVE", "SCHEMA", "SELECT", "SESSION_USER", "SET",
    "SETUSER", "SHUTDOWN", "SOME", "STATISTICS", "SYSTEM_USER", "TABLE", "TABLESAMPLE",
    "TEXTSIZE", "THEN", "TO", "TOP", "TRAN", "TRANSACTION", "TRIGGER", "TRUNCATE", "TSEQUAL",
    "UNION", "UNIQUE", "UNPIVOT", "UPDATE", "UPDATETEXT", "USE", "USER", "VALUES", "VARYING",
    "VIEW", "WAITFOR", "WHEN", "WHERE", "WHILE", "WITH", "WRITETEXT",
};

bool IsReservedWord(std::string_view word) {
    return std::any_of(kReserved.begin(), kReserved.end(),
                       [&](const char* r) { return EqualsNoCase(word, r); });
}

// Types a variable or CONVERT/CAST may name.
constexpr std::array kTypes = {
    "bigint", "int", "smallint", "tinyint", "bit", "decimal", "numeric", "money", "smallmoney",
    "float", "real", "char", "varchar", "nchar", "nvarchar", "text", "ntext", "sysname",
    "datetime", "smalldatetime", "date", "time", "datetime2", "uniqueidentifier", "binary",
    "varbinary",
};

// How deep statements, expressions, sub-queries and operator chains may nest. The parser, the
// printers and the tree's destructors recurse once per level: text nested past this would
// overflow the stack instead of failing with an error.
constexpr int kMaxNesting = 256;

const char* Describe(const Token& t) {
    switch (t.kind) {
        case TokenKind::End: return "end of text";
        case TokenKind::String: return "string literal";
        case TokenKind::Integer:
        case TokenKind::Decimal:
        case TokenKind::Hex: return "number";
        case TokenKind::Variable: return "variable";
        case TokenKind::GlobalVariable: return "global variable";
        default: return nullptr;
    }
}

class Parser {
public:
    explicit Parser(std::string_view sql) : tokens_(Tokenize(sql)) {}

    Batch Parse() {
        while (!AtEnd()) {
            if (AcceptOp(";")) continue;
            batch_.statements.push_back(ParseStatement());
        }
        return std::move(batch_);
    }

private:
    // Counts the levels a construct adds while it is being parsed; a left-deep operator chain
    // adds one per operator, as the tree it builds is that deep.
    class Nesting {
    public:
        explicit Nesting(Parser& parser) : parser_(parser) {}
        Nesting(Parser& parser, std::size_t offset) : parser_(parser) { More(offset); }
        ~Nesting() { parser_.depth_ -= levels_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;
        void More(std::size_t offset) {
            ++levels_;
            if (++parser_.depth_ > kMaxNesting) {
                Fail("statement nested too deeply (more than " + std::to_string(kMaxNesting) + " levels)", offset);
            }
        }

    private:
        Parser& parser_;
        int levels_ = 0;
    };

    // ---- token helpers ----

    const Token& Peek(std::size_t k = 0) const {
        const std::size_t idx = std::min(pos_ + k, tokens_.size() - 1);
        return tokens_[idx];
    }
    const Token& Next() {
        StopPoint();
        const Token& t = tokens_[pos_];
        if (pos_ + 1 < tokens_.size()) ++pos_;
        return t;
    }
    bool AtEnd() const { return Peek().kind == TokenKind::End; }
    bool AcceptOp(std::string_view op) {
        if (!Peek().IsOp(op)) return false;
        Next();
        return true;
    }
    bool AcceptWord(std::string_view w) {
        if (!Peek().IsWord(w)) return false;
        Next();
        return true;
    }
    void ExpectOp(std::string_view op) {
        if (!AcceptOp(op)) Unexpected(Peek(), "'" + std::string(op) + "'");
    }
    void ExpectWord(std::string_view w) {
        if (!AcceptWord(w)) Unexpected(Peek(), std::string(w));
    }

    [[noreturn]] static void Fail(const std::string& msg, std::size_t offset) {
        throw TranslateError(msg, offset);
    }
    [[noreturn]] static void Unexpected(const Token& t, const std::string& expected) {
        const char* what = Describe(t);
        std::string got = what ? std::string(what) : "'" + t.text + "'";
        if (t.kind == TokenKind::String || t.kind == TokenKind::Variable) got += " '" + t.text + "'";
        Fail("expected " + expected + " but found " + got, t.offset);
    }
    [[noreturn]] static void Unsupported(const std::string& construct, std::size_t offset) {
        Fail("unsupported construct " + construct, offset);
    }

    static bool IsReserved(const Token& t) {
        return t.kind == TokenKind::Identifier && IsReservedWord(t.text);
    }
    // A name that may stand as an alias or a table/column name.
    static bool IsName(const Token& t) {
        return t.kind == TokenKind::QuotedIdentifier || (t.kind == TokenKind::Identifier && !IsReserved(t));
    }
    Ident ParseIdent() {
        const Token& t = Peek();
        if (!IsName(t)) Unexpected(t, "a name");
        Next();
        return Ident{t.text, t.kind == TokenKind::QuotedIdentifier};
    }
    Name ParseName() {
        Name name;
        name.push_back(ParseIdent());
        while (Peek().IsOp(".") && IsName(Peek(1))) {
            Next();
            name.push_back(ParseIdent());
        }
        if (name.size() > 3) Unsupported("name with more than three parts", tokens_[pos_ - 1].offset);
        return name;
    }

    int LookupVariable(const Token& t) {
        auto it = variables_.find(ToLowerAscii(t.text));
        if (it == variables_.end()) Fail("must declare the variable @" + t.text, t.offset);
        return it->second;
    }

    // ---- statements ----

    StmtPtr ParseStatement() {
        const Token& t = Peek();
        Nesting nesting(*this, t.offset);
        if (t.IsWord("SELECT")) return ParseSelectStatement();
        if (t.IsWord("INSERT")) return ParseInsert();
        if (t.IsWord("UPDATE")) return ParseUpdate();
        if (t.IsWord("DELETE")) return ParseDelete();
        if (t.IsWord("DECLARE")) return ParseDeclare();
        if (t.IsWord("SET")) return ParseSet();
        if (t.IsWord("IF")) return ParseIf();
        if (t.IsWord("BEGIN")) return ParseBlock();
        if (t.IsWord("EXEC") || t.IsWord("EXECUTE")) return ParseExec();
        if (t.kind == TokenKind::Identifier) Unsupported("statement '" + t.text + "'", t.offset);
        Unexpected(t, "a statement");
    }

    StmtPtr ParseSelectStatement() {
        auto stmt = std::make_unique<SelectStmt>(Peek().offset);
        stmt->query = ParseQuery(/*allowAssign=*/true);
        for (const SelectCore& core : stmt->query.cores) {
            for (const SelectItem& item : core.items) {
                if (item.assignSlot >= 0) stmt->assigns = true;
            }
        }
        if (stmt->assigns) {
            if (stmt->query.cores.size() > 1) Unsupported("variable assignment in UNION", stmt->pos);
            for (const SelectItem& item : stmt->query.cores[0].items) {
                if (item.assignSlot < 0) {
                    Fail("a SELECT that assigns variables cannot also return columns", item.pos);
                }
            }
        }
        if (Peek().IsWord("OPTION") || Peek().IsWord("FOR")) Unsupported("'" + Peek().text + "' clause", Peek().offset);
        return stmt;
    }

    StmtPtr ParseInsert() {
        auto stmt = std::make_unique<InsertStmt>(Next().offset);
        AcceptWord("INTO");
        if (Peek().kind == TokenKind::Variable) Unsupported("table variable", Peek().offset);
        stmt->table = ParseName();
        if (AcceptOp("(")) {
            do {
                stmt->columns.push_back(ParseIdent());
            } while (AcceptOp(","));
            ExpectOp(")");
        }
        if (AcceptWord("VALUES")) {
            do {
                ExpectOp("(");
                std::vector<ExprPtr> row;
                do {
                    row.push_back(ParseExpr());
                } while (AcceptOp(","));
                ExpectOp(")");
                stmt->rows.push_back(std::move(row));
            } while (AcceptOp(","));
        } else if (Peek().IsWord("SELECT")) {
            stmt->select = std::make_unique<Query>(ParseQuery(false));
        } else if (Peek().IsWord("DEFAULT") || Peek().IsWord("EXEC") || Peek().IsWord("EXECUTE") ||
                   Peek().IsWord("OUTPUT")) {
            Unsupported("INSERT ... " + Peek().text, Peek().offset);
        } else {
            Unexpected(Peek(), "VALUES or SELECT");
        }
        return stmt;
    }

    StmtPtr ParseUpdate() {
        auto stmt = std::make_unique<UpdateStmt>(Next().offset);
        if (Peek().IsWord("TOP")) Unsupported("UPDATE TOP", Peek().offset);
        stmt->target = ParseName();
        if (Peek().IsWord("WITH")) Unsupported("table hint", Peek().offset);
        ExpectWord("SET");
        do {
            SetClause set;
            set.pos = Peek().offset;
            if (Peek().kind == TokenKind::Variable) Unsupported("variable assignment in UPDATE", Peek().offset);
            set.column = ParseName();
            ExpectOp("=");
            set.value = ParseExpr();
            stmt->sets.push_back(std::move(set));
        } while (AcceptOp(","));
        if (AcceptWord("FROM")) stmt->from = ParseFrom();
        if (AcceptWord("WHERE")) stmt->where = ParseWhere();
        if (Peek().IsWord("OPTION")) Unsupported("'OPTION' clause", Peek().offset);
        return stmt;
    }

    StmtPtr ParseDelete() {
        auto stmt = std::make_unique<DeleteStmt>(Next().offset);
        if (Peek().IsWord("TOP")) Unsupported("DELETE TOP", Peek().offset);
        AcceptWord("FROM");
        stmt->target = ParseName();
        if (Peek().IsWord("WITH")) Unsupported("table hint", Peek().offset);
        if (AcceptWord("FROM")) stmt->from = ParseFrom();
        if (AcceptWord("WHERE")) stmt->where = ParseWhere();
        if (Peek().IsWord("OPTION")) Unsupported("'OPTION' clause", Peek().offset);
        return stmt;
    }

    ExprPtr ParseWhere() {
        if (Peek().IsWord("CURRENT")) Unsupported("WHERE CURRENT OF", Peek().offset);
        return ParseExpr();
    }

    std::string ParseTypeName() {
        const Token& t = Peek();
        if (t.kind != TokenKind::Identifier) Unexpected(t, "a type name");
        const std::string base = ToLowerAscii(t.text);
        if (base == "table" || base == "cursor") Unsupported("'" + t.text + "' variable", t.offset);
        if (std::none_of(kTypes.begin(), kTypes.end(), [&](const char* k) { return base == k; })) {
            Unsupported("type '" + t.text + "'", t.offset);
        }
        Next();
        std::string type = base;
        if (AcceptOp("(")) {
            type += '(';
            if (Peek().IsWord("MAX")) {
                Next();
                type += "max";
            } else {
                if (Peek().kind != TokenKind::Integer) Unexpected(Peek(), "a length");
                type += Next().text;
                if (AcceptOp(",")) {
                    if (Peek().kind != TokenKind::Integer) Unexpected(Peek(), "a scale");
                    type += ',' + Next().text;
                }
            }
            ExpectOp(")");
            type += ')';
        }
        return type;
    }

    StmtPtr ParseDeclare() {
        auto stmt = std::make_unique<DeclareStmt>(Next().offset);
        do {
            const Token& v = Peek();
            if (v.kind != TokenKind::Variable) Unexpected(v, "a variable name");
            Next();
            AcceptWord("AS");
            DeclareItem item;
            item.pos = v.offset;
            const std::string type = ParseTypeName();
            if (AcceptOp("=")) item.init = ParseExpr();
            const std::string key = ToLowerAscii(v.text);
            if (variables_.count(key)) Fail("the variable @" + v.text + " is already declared", v.offset);
            item.slot = static_cast<int>(batch_.variables.size());
            batch_.variables.push_back(VariableDecl{v.text, type});
            variables_.emplace(key, item.slot);
            stmt->items.push_back(std::move(item));
        } while (AcceptOp(","));
        return stmt;
    }

    StmtPtr ParseSet() {
        const Token& setTok = Next();
        const Token& v = Peek();
        if (v.kind != TokenKind::Variable) {
            if (v.kind == TokenKind::Identifier) Unsupported("SET " + v.text, v.offset);
            Unexpected(v, "a variable");
        }
        auto stmt = std::make_unique<SetVariableStmt>(setTok.offset);
        Next();
        stmt->slot = LookupVariable(v);
        if (!Peek().IsOp("=")) Unsupported("assignment operator '" + Peek().text + "'", Peek().offset);
        Next();
        stmt->value = ParseExpr();
        return stmt;
    }

    StmtPtr ParseIf() {
        auto stmt = std::make_unique<IfStmt>(Next().offset);
        stmt->condition = ParseExpr();
        stmt->then = ParseStatementInBlock();
        if (AcceptWord("ELSE")) stmt->otherwise = ParseStatementInBlock();
        return stmt;
    }

    StmtPtr ParseStatementInBlock() {
        while (AcceptOp(";")) {
        }
        if (AtEnd()) Unexpected(Peek(), "a statement");
        return ParseStatement();
    }

    StmtPtr ParseBlock() {
        const Token& begin = Next();
        const Token& t = Peek();
        if (t.IsWord("TRAN") || t.IsWord("TRANSACTION") || t.IsWord("DISTRIBUTED")) {
            Unsupported("BEGIN TRANSACTION", begin.offset);
        }
        if (t.IsWord("TRY") || t.IsWord("CATCH")) Unsupported("BEGIN " + t.text, begin.offset);
        auto stmt = std::make_unique<BlockStmt>(begin.offset);
        for (;;) {
            if (AcceptOp(";")) continue;
            if (AcceptWord("END")) break;
            if (AtEnd()) Fail("BEGIN without END", begin.offset);
            stmt->body.push_back(ParseStatement());
        }
        return stmt;
    }

    static bool StartsExecArg(const Token& t, const Token& next) {
        switch (t.kind) {
            case TokenKind::String:
            case TokenKind::Integer:
            case TokenKind::Decimal:
            case TokenKind::Hex:
            case TokenKind::Variable: return true;
            case TokenKind::Operator:
                return (t.text == "-" || t.text == "+") &&
                       (next.kind == TokenKind::Integer || next.kind == TokenKind::Decimal);
            case TokenKind::Identifier: return t.IsWord("NULL") || t.IsWord("DEFAULT");
            default: return false;
        }
    }

    StmtPtr ParseExec() {
        auto stmt = std::make_unique<ExecStmt>(Next().offset);
        if (Peek().IsOp("(")) Unsupported("EXEC of dynamic SQL", Peek().offset);
        if (Peek().kind == TokenKind::Variable) Unsupported("EXEC @variable", Peek().offset);
        stmt->procedure = ParseName();
        if (StartsExecArg(Peek(), Peek(1))) {
            do {
                ExecArg arg;
                arg.pos = Peek().offset;
                if (Peek().kind == TokenKind::Variable && Peek(1).IsOp("=")) {
                    Unsupported("named procedure argument @" + Peek().text, Peek().offset);
                }
                if (Peek().IsWord("DEFAULT")) Unsupported("DEFAULT procedure argument", Peek().offset);
                if (!StartsExecArg(Peek(), Peek(1))) Unexpected(Peek(), "a procedure argument");
                arg.value = ParseUnary();
                if (AcceptWord("OUTPUT") || AcceptWord("OUT")) {
                    if (arg.value->kind != ExprKind::Variable) {
                        Fail("only a variable can be an OUTPUT argument", arg.pos);
                    }
                    arg.output = true;
                }
                stmt->args.push_back(std::move(arg));
            } while (AcceptOp(","));
        }
        return stmt;
    }

    // ---- queries ----

    Query ParseQuery(bool allowAssign) {
        Nesting nesting(*this, Peek().offset);
        Query q;
        q.pos = Peek().offset;
        q.cores.push_back(ParseSelectCore(allowAssign));
        for (;;) {
            if (AcceptWord("UNION")) {
                q.ops.push_back(AcceptWord("ALL") ? SetOp::UnionAll : SetOp::Union);
            } else if (AcceptWord("EXCEPT")) {
                q.ops.push_back(SetOp::Except);
            } else if (AcceptWord("INTERSECT")) {
                q.ops.push_back(SetOp::Intersect);
            } else {
                break;
            }
            if (Peek().IsOp("(")) Unsupported("parenthesized query in UNION", Peek().offset);
            q.cores.push_back(ParseSelectCore(false));
        }
        if (AcceptWord("ORDER")) {
            ExpectWord("BY");
            do {
                OrderItem item;
                item.expr = ParseExpr();
                if (AcceptWord("DESC")) {
                    item.descending = true;
                } else {
                    AcceptWord("ASC");
                }
                q.orderBy.push_back(std::move(item));
            } while (AcceptOp(","));
            if (Peek().IsWord("OFFSET")) Unsupported("OFFSET ... FETCH", Peek().offset);
        }
        return q;
    }

    SelectCore ParseSelectCore(bool allowAssign) {
        SelectCore core;
        core.pos = Peek().offset;
        ExpectWord("SELECT");
        if (AcceptWord("DISTINCT")) {
            core.distinct = true;
        } else {
            AcceptWord("ALL");
        }
        if (Peek().IsWord("TOP")) {
            const Token& top = Next();
            if (AcceptOp("(")) {
                core.top = ParseExpr();
                ExpectOp(")");
            } else {
                const Token& n = Peek();
                if (n.kind != TokenKind::Integer) Unexpected(n, "a number after TOP");
                Next();
                core.top = std::make_unique<LiteralExpr>(n.offset, LiteralExpr::Type::Integer, n.text);
            }
            if (Peek().IsWord("PERCENT")) Unsupported("TOP ... PERCENT", top.offset);
            if (Peek().IsWord("WITH")) Unsupported("TOP ... WITH TIES", top.offset);
        }
        do {
            core.items.push_back(ParseSelectItem(allowAssign));
        } while (AcceptOp(","));
        if (Peek().IsWord("INTO")) Unsupported("SELECT ... INTO", Peek().offset);
        if (AcceptWord("FROM")) core.from = ParseFrom();
        if (AcceptWord("WHERE")) core.where = ParseWhere();
        if (AcceptWord("GROUP")) {
            ExpectWord("BY");
            do {
                core.groupBy.push_back(ParseExpr());
            } while (AcceptOp(","));
        }
        if (AcceptWord("HAVING")) core.having = ParseExpr();
        return core;
    }

    SelectItem ParseSelectItem(bool allowAssign) {
        SelectItem item;
        const Token& t = Peek();
        item.pos = t.offset;
        if (t.kind == TokenKind::Variable && Peek(1).IsOp("=")) {
            if (!allowAssign) Fail("variable assignment is not allowed here", t.offset);
            Next();
            Next();
            item.assignSlot = LookupVariable(t);
            item.expr = ParseExpr();
            return item;
        }
        if (IsName(t) && Peek(1).IsOp("=")) {
            // strAHV = CASE ... END: T-SQL's "alias = expression" form.
            item.alias = ParseIdent();
            item.hasAlias = true;
            Next();
            item.expr = ParseExpr();
            return item;
        }
        if (t.IsOp("*")) {
            Next();
            item.expr = std::make_unique<StarExpr>(t.offset, Name{});
            return item;
        }
        // t.* and dbo.t.*
        {
            std::size_t k = 0;
            while (IsName(Peek(k)) && Peek(k + 1).IsOp(".")) k += 2;
            if (k > 0 && Peek(k).IsOp("*")) {
                Name qualifier;
                for (std::size_t j = 0; j < k; j += 2) {
                    qualifier.push_back(Ident{Peek(j).text, Peek(j).kind == TokenKind::QuotedIdentifier});
                }
                for (std::size_t j = 0; j <= k; ++j) Next();
                item.expr = std::make_unique<StarExpr>(t.offset, std::move(qualifier));
                return item;
            }
        }
        item.expr = ParseExpr();
        if (AcceptWord("AS")) {
            const Token& a = Peek();
            if (a.kind == TokenKind::String) {
                Next();
                item.alias = Ident{a.text, true};
            } else {
                item.alias = ParseIdent();
            }
            item.hasAlias = true;
        } else if (IsName(Peek())) {
            item.alias = ParseIdent();
            item.hasAlias = true;
        }
        return item;
    }

    TableSourcePtr ParseFrom() {
        Nesting nesting(*this, Peek().offset);
        TableSourcePtr left = ParseTablePrimary();
        for (;;) {
            const Token& t = Peek();
            JoinKind kind;
            if (t.IsOp(",")) {
                Next();
                kind = JoinKind::Comma;
            } else if (t.IsWord("JOIN")) {
                Next();
                kind = JoinKind::Inner;
            } else if (t.IsWord("INNER")) {
                Next();
                ExpectWord("JOIN");
                kind = JoinKind::Inner;
            } else if (t.IsWord("LEFT") || t.IsWord("RIGHT") || t.IsWord("FULL")) {
                Next();
                AcceptWord("OUTER");
                if (Peek().IsWord("LOOP") || Peek().IsWord("HASH") || Peek().IsWord("MERGE")) {
                    Unsupported("join hint", Peek().offset);
                }
                ExpectWord("JOIN");
                kind = t.IsWord("LEFT") ? JoinKind::Left : t.IsWord("RIGHT") ? JoinKind::Right : JoinKind::Full;
            } else if (t.IsWord("CROSS")) {
                Next();
                if (Peek().IsWord("APPLY")) Unsupported("CROSS APPLY", t.offset);
                ExpectWord("JOIN");
                kind = JoinKind::Cross;
            } else if (t.IsWord("OUTER") && Peek(1).IsWord("APPLY")) {
                Unsupported("OUTER APPLY", t.offset);
            } else {
                break;
            }
            nesting.More(t.offset);
            auto join = std::make_unique<TableSource>();
            join->kind = TableSource::Kind::Join;
            join->pos = t.offset;
            join->join = kind;
            join->left = std::move(left);
            join->right = ParseTablePrimary();
            if (kind != JoinKind::Comma && kind != JoinKind::Cross) {
                ExpectWord("ON");
                join->on = ParseExpr();
            }
            left = std::move(join);
        }
        return left;
    }

    void ParseTableAlias(TableSource& src) {
        if (AcceptWord("AS")) {
            src.alias = ParseIdent();
            src.hasAlias = true;
        } else if (IsName(Peek())) {
            src.alias = ParseIdent();
            src.hasAlias = true;
        }
        if (Peek().IsWord("WITH") && Peek(1).IsOp("(")) Unsupported("table hint", Peek().offset);
    }

    TableSourcePtr ParseTablePrimary() {
        auto src = std::make_unique<TableSource>();
        const Token& t = Peek();
        src->pos = t.offset;
        if (t.IsOp("(")) {
            Next();
            if (Peek().IsWord("SELECT")) {
                src->kind = TableSource::Kind::Derived;
                src->query = std::make_unique<Query>(ParseQuery(false));
                ExpectOp(")");
                ParseTableAlias(*src);
                return src;
            }
            TableSourcePtr inner = ParseFrom();
            ExpectOp(")");
            return inner;
        }
        if (t.kind == TokenKind::Variable) Unsupported("table variable", t.offset);
        if (t.kind == TokenKind::Identifier && t.text.size() > 0 && t.text[0] == '#') {
            Unsupported("temporary table " + t.text, t.offset);
        }
        src->kind = TableSource::Kind::Table;
        src->table = ParseName();
        if (Peek().IsOp("(")) Unsupported("table-valued function", Peek().offset);
        ParseTableAlias(*src);
        return src;
    }

    // ---- expressions ----

    ExprPtr ParseExpr() {
        Nesting nesting(*this, Peek().offset);
        return ParseOr();
    }

    ExprPtr ParseOr() { return ParseLogicalChain(BinaryOp::Or, "OR", &Parser::ParseAnd); }
    ExprPtr ParseAnd() { return ParseLogicalChain(BinaryOp::And, "AND", &Parser::ParseNot); }

    // A flat chain of AND or OR (a search joins one condition per word). Both are associative, so
    // the operands are joined left-deep in blocks as written, and the blocks pairwise: a chain of
    // any length builds a tree only a few dozen levels deep, and only those levels count toward
    // the nesting limit. The printers keep the grouping, so the database's parser sees no deeper
    // tree either.
    ExprPtr ParseLogicalChain(BinaryOp op, std::string_view word, ExprPtr (Parser::*operand)()) {
        constexpr std::size_t kBlock = 32;
        struct Block {
            std::size_t pos;  // the operator before the block
            ExprPtr expr;
        };
        std::vector<Block> blocks;
        blocks.push_back({0, (this->*operand)()});
        Nesting nesting(*this);
        std::size_t inBlock = 1;
        while (Peek().IsWord(word)) {
            const std::size_t p = Next().offset;
            if (inBlock == kBlock) {
                // Each doubling of the blocks adds a level above them.
                if ((blocks.size() & (blocks.size() - 1)) == 0) nesting.More(p);
                blocks.push_back({p, (this->*operand)()});
                inBlock = 1;
                continue;
            }
            if (blocks.size() == 1) nesting.More(p);
            blocks.back().expr = std::make_unique<BinaryExpr>(p, op, std::move(blocks.back().expr), (this->*operand)());
            ++inBlock;
        }
        while (blocks.size() > 1) {
            std::vector<Block> joined;
            for (std::size_t i = 0; i < blocks.size(); i += 2) {
                if (i + 1 == blocks.size()) {
                    joined.push_back(std::move(blocks[i]));
                    break;
                }
                joined.push_back({blocks[i].pos, std::make_unique<BinaryExpr>(blocks[i + 1].pos, op, std::move(blocks[i].expr),
                                                                              std::move(blocks[i + 1].expr))});
            }
            blocks = std::move(joined);
        }
        return std::move(blocks[0].expr);
    }

    ExprPtr ParseNot() {
        if (Peek().IsWord("NOT")) {
            const std::size_t p = Next().offset;
            Nesting nesting(*this, p);
            return std::make_unique<UnaryExpr>(p, UnaryOp::Not, ParseNot());
        }
        return ParsePredicate();
    }

    ExprPtr ParsePredicate() {
        const Token& t = Peek();
        if (t.IsWord("EXISTS")) {
            Next();
            ExpectOp("(");
            auto q = std::make_unique<Query>(ParseQuery(false));
            ExpectOp(")");
            return std::make_unique<ExistsExpr>(t.offset, std::move(q));
        }
        ExprPtr left = ParseAdditive();
        const Token& op = Peek();
        static const std::pair<const char*, BinaryOp> kComparisons[] = {
            {"=", BinaryOp::Eq},  {"<>", BinaryOp::Ne}, {"!=", BinaryOp::Ne}, {"<", BinaryOp::Lt},
            {"<=", BinaryOp::Le}, {">", BinaryOp::Gt},  {">=", BinaryOp::Ge}, {"!<", BinaryOp::Ge},
            {"!>", BinaryOp::Le},
        };
        if (op.kind == TokenKind::Operator) {
            for (const auto& [text, bop] : kComparisons) {
                if (op.text == text) {
                    Next();
                    if (Peek().IsWord("ALL") || Peek().IsWord("ANY") || Peek().IsWord("SOME")) {
                        Unsupported("comparison with " + Peek().text, Peek().offset);
                    }
                    return std::make_unique<BinaryExpr>(op.offset, bop, std::move(left), ParseAdditive());
                }
            }
            return left;
        }
        bool negated = false;
        std::size_t p = op.offset;
        if (op.IsWord("NOT") && (Peek(1).IsWord("BETWEEN") || Peek(1).IsWord("IN") || Peek(1).IsWord("LIKE"))) {
            Next();
            negated = true;
        }
        if (AcceptWord("BETWEEN")) {
            auto e = std::make_unique<BetweenExpr>(p);
            e->negated = negated;
            e->value = std::move(left);
            e->low = ParseAdditive();
            ExpectWord("AND");
            e->high = ParseAdditive();
            return e;
        }
        if (AcceptWord("IN")) {
            auto e = std::make_unique<InExpr>(p);
            e->negated = negated;
            e->value = std::move(left);
            ExpectOp("(");
            if (Peek().IsWord("SELECT")) {
                e->subquery = std::make_unique<Query>(ParseQuery(false));
            } else {
                do {
                    e->list.push_back(ParseExpr());
                } while (AcceptOp(","));
            }
            ExpectOp(")");
            return e;
        }
        if (AcceptWord("LIKE")) {
            auto e = std::make_unique<LikeExpr>(p);
            e->negated = negated;
            e->value = std::move(left);
            e->pattern = ParseAdditive();
            if (AcceptWord("ESCAPE")) e->escape = ParseAdditive();
            return e;
        }
        if (op.IsWord("IS")) {
            Next();
            const bool isNot = AcceptWord("NOT");
            ExpectWord("NULL");
            return std::make_unique<IsNullExpr>(p, isNot, std::move(left));
        }
        return left;
    }

    ExprPtr ParseAdditive() {
        ExprPtr left = ParseMultiplicative();
        Nesting nesting(*this);
        for (;;) {
            const Token& t = Peek();
            BinaryOp op;
            if (t.IsOp("+")) {
                op = BinaryOp::Add;
            } else if (t.IsOp("-")) {
                op = BinaryOp::Sub;
            } else if (t.IsOp("&")) {
                op = BinaryOp::BitAnd;
            } else if (t.IsOp("|")) {
                op = BinaryOp::BitOr;
            } else if (t.IsOp("^")) {
                op = BinaryOp::BitXor;
            } else {
                return left;
            }
            Next();
            nesting.More(t.offset);
            left = std::make_unique<BinaryExpr>(t.offset, op, std::move(left), ParseMultiplicative());
        }
    }

    ExprPtr ParseMultiplicative() {
        ExprPtr left = ParseUnary();
        Nesting nesting(*this);
        for (;;) {
            const Token& t = Peek();
            BinaryOp op;
            if (t.IsOp("*")) {
                op = BinaryOp::Mul;
            } else if (t.IsOp("/")) {
                op = BinaryOp::Div;
            } else if (t.IsOp("%")) {
                op = BinaryOp::Mod;
            } else {
                return left;
            }
            Next();
            nesting.More(t.offset);
            left = std::make_unique<BinaryExpr>(t.offset, op, std::move(left), ParseUnary());
        }
    }

    ExprPtr ParseUnary() {
        const Token& t = Peek();
        if (t.IsOp("-") || t.IsOp("+") || t.IsOp("~")) {
            Next();
            Nesting nesting(*this, t.offset);
            ExprPtr operand = ParseUnary();
            if (t.text != "~" && operand->kind == ExprKind::Literal) {
                auto* lit = static_cast<LiteralExpr*>(operand.get());
                if (lit->type == LiteralExpr::Type::Integer || lit->type == LiteralExpr::Type::Decimal) {
                    // Fold the sign into the number so that "=-1" stays the constant -1.
                    if (t.text == "-") {
                        lit->text = lit->text[0] == '-' ? lit->text.substr(1) : "-" + lit->text;
                    }
                    lit->pos = t.offset;
                    lit->param = -1;
                    return operand;
                }
            }
            const UnaryOp op = t.text == "-" ? UnaryOp::Neg : t.text == "+" ? UnaryOp::Plus : UnaryOp::BitNot;
            return std::make_unique<UnaryExpr>(t.offset, op, std::move(operand));
        }
        ExprPtr e = ParsePrimary();
        Nesting nesting(*this);
        while (Peek().IsWord("COLLATE")) {
            const Token& c = Next();
            nesting.More(c.offset);
            const Token& name = Peek();
            if (name.kind != TokenKind::Identifier) Unexpected(name, "a collation name");
            Next();
            e = std::make_unique<CollateExpr>(c.offset, std::move(e), name.text);
        }
        return e;
    }

    std::unique_ptr<LiteralExpr> HexLiteral(const Token& t) {
        if (t.text.empty()) Fail("empty hex literal", t.offset);
        if (t.text.size() > 16) Unsupported("binary literal longer than 8 bytes", t.offset);
        std::uint64_t v = std::stoull(t.text, nullptr, 16);
        return std::make_unique<LiteralExpr>(t.offset, LiteralExpr::Type::Integer,
                                             std::to_string(static_cast<std::int64_t>(v)));
    }

    ExprPtr ParsePrimary() {
        const Token& t = Peek();
        switch (t.kind) {
            case TokenKind::String:
            case TokenKind::Integer:
            case TokenKind::Decimal: {
                Next();
                const auto type = t.kind == TokenKind::String    ? LiteralExpr::Type::String
                                  : t.kind == TokenKind::Integer ? LiteralExpr::Type::Integer
                                                                 : LiteralExpr::Type::Decimal;
                auto lit = std::make_unique<LiteralExpr>(t.offset, type, t.text);
                lit->param = t.literal;
                return lit;
            }
            case TokenKind::Hex:
                Next();
                return HexLiteral(t);
            case TokenKind::Variable:
                Next();
                return std::make_unique<VariableExpr>(t.offset, t.text, LookupVariable(t));
            case TokenKind::GlobalVariable: {
                Next();
                std::string name = t.text;
                for (char& c : name) {
                    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
                }
                if (name != "TRANCOUNT") Unsupported("@@" + t.text, t.offset);
                return std::make_unique<GlobalVariableExpr>(t.offset, name);
            }
            case TokenKind::Operator:
                if (t.IsOp("(")) {
                    Next();
                    if (Peek().IsWord("SELECT")) {
                        auto q = std::make_unique<Query>(ParseQuery(false));
                        ExpectOp(")");
                        return std::make_unique<SubqueryExpr>(t.offset, std::move(q));
                    }
                    ExprPtr inner = ParseExpr();
                    ExpectOp(")");
                    return inner;
                }
                Unexpected(t, "an expression");
            case TokenKind::End: Unexpected(t, "an expression");
            case TokenKind::Identifier:
            case TokenKind::QuotedIdentifier: break;
        }

        if (t.kind == TokenKind::Identifier) {
            if (t.IsWord("NULL")) {
                Next();
                return std::make_unique<LiteralExpr>(t.offset, LiteralExpr::Type::Null, "");
            }
            if (t.IsWord("CASE")) return ParseCase();
            if (t.IsWord("CAST") && Peek(1).IsOp("(")) return ParseCast();
            if (t.IsWord("CONVERT") && Peek(1).IsOp("(")) return ParseConvert();
            if (t.IsWord("CURRENT_TIMESTAMP")) {
                Next();
                auto f = std::make_unique<FunctionExpr>(t.offset);
                f->name.push_back(Ident{"getdate", false});
                return f;
            }
            if (IsReserved(t) && !Peek(1).IsOp("(")) Unexpected(t, "an expression");
        }

        // Column or function: name parts, then '(' for a call. Reserved words that are also
        // functions (LEFT, RIGHT, COALESCE, NULLIF) come through here when '(' follows.
        Name name;
        name.push_back(Ident{t.text, t.kind == TokenKind::QuotedIdentifier});
        Next();
        while (Peek().IsOp(".") && IsName(Peek(1))) {
            Next();
            name.push_back(ParseIdent());
        }
        if (name.size() > 4) Unsupported("name with more than four parts", t.offset);
        if (Peek().IsOp("(")) return ParseFunction(t.offset, std::move(name));
        return std::make_unique<ColumnExpr>(t.offset, std::move(name));
    }

    ExprPtr ParseFunction(std::size_t pos, Name name) {
        auto f = std::make_unique<FunctionExpr>(pos);
        f->name = std::move(name);
        ExpectOp("(");
        const std::string lower = ToLowerAscii(f->name.back().name);
        const bool datePartFirst = f->name.size() == 1 &&
                                   (lower == "dateadd" || lower == "datediff" || lower == "datepart" ||
                                    lower == "datename" || lower == "datediff_big");
        if (AcceptOp(")")) {
            if (Peek().IsWord("OVER")) Unsupported("window function", Peek().offset);
            return f;
        }
        if (Peek().IsOp("*")) {
            Next();
            f->star = true;
            ExpectOp(")");
            if (Peek().IsWord("OVER")) Unsupported("window function", Peek().offset);
            return f;
        }
        if (AcceptWord("DISTINCT")) {
            f->distinct = true;
        } else {
            AcceptWord("ALL");
        }
        bool first = true;
        do {
            if (first && datePartFirst) {
                const Token& part = Peek();
                if (part.kind != TokenKind::Identifier) Unexpected(part, "a date part");
                Next();
                f->args.push_back(std::make_unique<LiteralExpr>(part.offset, LiteralExpr::Type::DatePart,
                                                                ToLowerAscii(part.text)));
            } else {
                f->args.push_back(ParseExpr());
            }
            first = false;
        } while (AcceptOp(","));
        ExpectOp(")");
        if (Peek().IsWord("OVER")) Unsupported("window function", Peek().offset);
        if (Peek().IsWord("WITHIN")) Unsupported("WITHIN GROUP", Peek().offset);
        return f;
    }

    ExprPtr ParseCase() {
        auto e = std::make_unique<CaseExpr>(Next().offset);
        if (!Peek().IsWord("WHEN")) e->base = ParseExpr();
        while (AcceptWord("WHEN")) {
            ExprPtr when = ParseExpr();
            ExpectWord("THEN");
            e->whens.emplace_back(std::move(when), ParseExpr());
        }
        if (e->whens.empty()) Unexpected(Peek(), "WHEN");
        if (AcceptWord("ELSE")) e->otherwise = ParseExpr();
        ExpectWord("END");
        return e;
    }

    ExprPtr ParseCast() {
        auto e = std::make_unique<ConvertExpr>(Next().offset);
        ExpectOp("(");
        e->value = ParseExpr();
        ExpectWord("AS");
        e->type = ParseTypeName();
        ExpectOp(")");
        return e;
    }

    ExprPtr ParseConvert() {
        auto e = std::make_unique<ConvertExpr>(Next().offset);
        ExpectOp("(");
        e->type = ParseTypeName();
        ExpectOp(",");
        e->value = ParseExpr();
        if (AcceptOp(",")) e->style = ParseExpr();
        ExpectOp(")");
        return e;
    }

    std::vector<Token> tokens_;
    int depth_ = 0;
    std::size_t pos_ = 0;
    Batch batch_;
    std::unordered_map<std::string, int> variables_;
};

}  // namespace

Batch ParseBatch(std::string_view sql) { return Parser(sql).Parse(); }

}  // namespace qv::tsql
