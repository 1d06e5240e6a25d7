#include "sqliteprinter.h"

#include "tsqlanalysis.h"
#include "tsqlerror.h"
#include "tsqllexer.h"

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <mutex>

namespace qv::tsql {

namespace {

// SQLite's operator precedence, lowest first.
enum Prec {
    kOr = 1,
    kAnd,
    kNot,
    kEq,  // = <> IS IN LIKE BETWEEN
    kRel, // < <= > >=
    kBit, // & |
    kAdd,
    kMul,
    kConcat,
    kCollate,
    kUnary,
    kAtom,
};

[[noreturn]] void Unsupported(const std::string& what, std::size_t pos) {
    throw TranslateError("unsupported construct " + what, pos);
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        out += c;
        if (c == '\'') out += '\'';
    }
    out += '\'';
    return out;
}

std::string MapCollation(const std::string& collation) {
    return IsCaseSensitiveCollation(collation) ? "BINARY" : "QVCI";
}

bool IsSchema(const Ident& id) { return EqualsNoCase(id.name, "dbo"); }

// The FROM tree's named tables, outside derived tables, in order.
void CollectTables(const TableSource& src, std::vector<const TableSource*>& out) {
    if (src.kind == TableSource::Kind::Join) {
        CollectTables(*src.left, out);
        CollectTables(*src.right, out);
    } else if (src.kind == TableSource::Kind::Table) {
        out.push_back(&src);
    }
}

// The occurrence of an UPDATE/DELETE target in the FROM clause: by alias first, then by table
// name without alias, then by table name with an alias. Null when the target is not in FROM.
const TableSource* FindTarget(const Name& target, const TableSource& from, std::size_t pos) {
    std::vector<const TableSource*> tables;
    CollectTables(from, tables);
    const std::string& name = BaseName(target).name;
    if (target.size() == 1) {
        for (const TableSource* t : tables) {
            if (t->hasAlias && EqualsNoCase(t->alias.name, name)) return t;
        }
    }
    std::vector<const TableSource*> plain, aliased;
    for (const TableSource* t : tables) {
        if (!EqualsNoCase(BaseName(t->table).name, name)) continue;
        (t->hasAlias ? aliased : plain).push_back(t);
    }
    if (plain.size() == 1) return plain[0];
    if (plain.size() > 1 || aliased.size() > 1) {
        throw TranslateError("ambiguous target '" + name + "': it stands more than once in FROM", pos);
    }
    return aliased.empty() ? nullptr : aliased[0];
}

}  // namespace

SqlitePrinter::SqlitePrinter(const std::vector<VariableDecl>& variables, int trancountSlot, int literalBase)
    : variables_(variables), trancountSlot_(trancountSlot), literalBase_(literalBase) {}

std::vector<int> SqlitePrinter::ParameterLiterals() const {
    std::vector<int> out = literalParams_;
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    // A literal also printed as text anywhere ties the statement to its value.
    std::erase_if(out, [&](int k) {
        return std::find(literalTexts_.begin(), literalTexts_.end(), k) != literalTexts_.end();
    });
    return out;
}

int SqlitePrinter::ValueSlot(const Expr& e) {
    if (literalBase_ < 0 || e.kind != ExprKind::Literal) return -1;
    const auto& lit = static_cast<const LiteralExpr&>(e);
    if (lit.param < 0 || lit.type == LiteralExpr::Type::Null || lit.type == LiteralExpr::Type::DatePart) return -1;
    literalParams_.push_back(lit.param);
    return literalBase_ + lit.param;
}

std::string SqlitePrinter::Literally(const Expr& e, bool caseInsensitiveKey) {
    ++literally_;
    std::string out;
    try {
        out = caseInsensitiveKey ? CaseInsensitiveKey(e) : Expression(e);
    } catch (...) {
        --literally_;
        throw;
    }
    --literally_;
    return out;
}

std::vector<int> SqlitePrinter::TakeUsedSlots() {
    std::vector<int> out;
    out.swap(used_);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

void SqlitePrinter::UseSlot(int slot) { used_.push_back(slot); }

// ---- names ---------------------------------------------------------------------------------

std::string SqlitePrinter::Identifier(const Ident& id) {
    bool plain = !id.name.empty() && !(id.name[0] >= '0' && id.name[0] <= '9');
    for (char c : id.name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) plain = false;
    }
    if (plain && !id.quoted &&
        sqlite3_keyword_check(id.name.c_str(), static_cast<int>(id.name.size())) == 0) {
        return id.name;
    }
    std::string out = "\"";
    for (char c : id.name) {
        out += c;
        if (c == '"') out += '"';
    }
    out += '"';
    return out;
}

std::string SqlitePrinter::TableName(const Name& name, std::size_t pos) {
    if (name.size() == 2 && IsSchema(name[0])) return Identifier(name[1]);
    if (name.size() == 1) return Identifier(name[0]);
    Unsupported("table name '" + name[0].name + "." + name[1].name + (name.size() > 2 ? "...'" : "'"), pos);
}

std::string SqlitePrinter::ColumnName(const Name& name, std::size_t pos) {
    std::size_t first = 0;
    if (name.size() == 3 && IsSchema(name[0])) first = 1;
    if (name.size() - first > 2) Unsupported("column name with a database or server part", pos);
    std::string out;
    for (std::size_t i = first; i < name.size(); ++i) {
        if (!out.empty()) out += '.';
        out += Identifier(name[i]);
    }
    return out;
}

// ---- expressions ---------------------------------------------------------------------------

std::string SqlitePrinter::Expression(const Expr& e) { return Print(e).text; }

std::string SqlitePrinter::Wrap(Out o, int minPrec) {
    if (o.prec < minPrec) return "(" + o.text + ")";
    return std::move(o.text);
}

std::string SqlitePrinter::Wrap(const Expr& e, int minPrec) { return Wrap(Print(e), minPrec); }

std::string SqlitePrinter::CollatedOperand(const Expr& e, const std::string& collation) {
    return Wrap(e, kCollate) + " COLLATE " + collation;
}

bool SqlitePrinter::NeedsCaseInsensitive(const std::vector<const Expr*>& operands) const {
    bool text = false;
    for (const Expr* e : operands) {
        if (IsColumn(*e)) return false;  // the column's declared collation decides
        if (TypeOf(*e, variables_) == ValueType::Text) text = true;
    }
    return text;
}

SqlitePrinter::Out SqlitePrinter::PrintComparison(const Expr& left, const char* op, const Expr& right, int prec) {
    const std::string lc = ExplicitCollation(left);
    const std::string rc = ExplicitCollation(right);
    std::string l, r;
    if (!lc.empty()) {
        l = left.kind == ExprKind::Collate ? Wrap(left, prec + 1) : CollatedOperand(left, MapCollation(lc));
        r = Wrap(right, prec + 1);
    } else if (!rc.empty()) {
        l = Wrap(left, prec + 1);
        r = right.kind == ExprKind::Collate ? Wrap(right, prec + 1) : CollatedOperand(right, MapCollation(rc));
    } else if (NeedsCaseInsensitive({&left, &right})) {
        l = CollatedOperand(left, "QVCI");
        r = Wrap(right, prec + 1);
    } else {
        l = Wrap(left, prec + 1);
        r = Wrap(right, prec + 1);
    }
    return {l + " " + op + " " + r, prec};
}

namespace {

std::mutex g_indexedMutex;
std::vector<IndexedConstant> g_indexed;

// The column and constant of `a op b` when one side is each.
bool ColumnAndConstant(const Expr& a, const Expr& b, std::string* column, std::string* value) {
    const Expr* c = &a;
    const Expr* l = &b;
    if (c->kind != ExprKind::Column) std::swap(c, l);
    if (c->kind != ExprKind::Column || l->kind != ExprKind::Literal) return false;
    *column = ToLowerAscii(static_cast<const ColumnExpr&>(*c).name.back().name);
    *value = static_cast<const LiteralExpr&>(*l).text;
    return true;
}

}  // namespace

bool NoteIndexedConstants(const std::vector<IndexedConstant>& found) {
    std::lock_guard<std::mutex> lock(g_indexedMutex);
    bool added = false;
    for (const IndexedConstant& c : found) {
        if (std::find(g_indexed.begin(), g_indexed.end(), c) != g_indexed.end()) continue;
        g_indexed.push_back(c);
        added = true;
    }
    return added;
}

bool IsIndexedConstant(std::string_view column, std::string_view value) {
    std::lock_guard<std::mutex> lock(g_indexedMutex);
    return std::any_of(g_indexed.begin(), g_indexed.end(),
                       [&](const IndexedConstant& c) { return c.column == column && c.value == value; });
}

SqlitePrinter::Out SqlitePrinter::PrintIndexedComparison(const Expr& left, const char* op, const Expr& right, int prec) {
    std::string column, value;
    if (literalBase_ < 0 || !ColumnAndConstant(left, right, &column, &value) || !IsIndexedConstant(column, value)) {
        return PrintComparison(left, op, right, prec);
    }
    ++literally_;
    try {
        Out out = PrintComparison(left, op, right, prec);
        --literally_;
        return out;
    } catch (...) {
        --literally_;
        throw;
    }
}

SqlitePrinter::Out SqlitePrinter::PrintBinary(const BinaryExpr& b) {
    auto infix = [&](const char* op, int prec) -> Out {
        return {Wrap(*b.left, prec) + " " + op + " " + Wrap(*b.right, prec + 1), prec};
    };
    switch (b.op) {
        // A right operand of the same operator keeps its parentheses: long chains are grouped so
        // that the database's parser does not build a tree one level deeper per operator.
        case BinaryOp::Or: return {Wrap(*b.left, kOr) + " OR " + Wrap(*b.right, kOr + 1), kOr};
        case BinaryOp::And: return {Wrap(*b.left, kAnd) + " AND " + Wrap(*b.right, kAnd + 1), kAnd};
        case BinaryOp::Eq: return PrintIndexedComparison(*b.left, "=", *b.right, kEq);
        case BinaryOp::Ne: return PrintIndexedComparison(*b.left, "<>", *b.right, kEq);
        case BinaryOp::Lt: return PrintIndexedComparison(*b.left, "<", *b.right, kRel);
        case BinaryOp::Le: return PrintIndexedComparison(*b.left, "<=", *b.right, kRel);
        case BinaryOp::Gt: return PrintIndexedComparison(*b.left, ">", *b.right, kRel);
        case BinaryOp::Ge: return PrintIndexedComparison(*b.left, ">=", *b.right, kRel);
        case BinaryOp::Add: return PrintAdd(b);
        case BinaryOp::Sub: return infix("-", kAdd);
        case BinaryOp::Mul: return infix("*", kMul);
        case BinaryOp::Div: return infix("/", kMul);
        case BinaryOp::Mod: return infix("%", kMul);
        case BinaryOp::BitAnd: return infix("&", kBit);
        case BinaryOp::BitOr: return infix("|", kBit);
        case BinaryOp::BitXor: return PrintXor(b);
    }
    Unsupported("operator", b.pos);
}

// T-SQL's + decides between adding and concatenating by the operands' types at run time, left
// to right. Known types print as SQLite's + or ||; the rest goes to the runtime: tsql_add for two
// operands, tsql_addn for a longer chain, which nested calls would make too deep for SQLite's
// parser.
SqlitePrinter::Out SqlitePrinter::PrintAdd(const BinaryExpr& b) {
    std::vector<const Expr*> operands;
    const Expr* e = &b;
    while (e->kind == ExprKind::Binary && static_cast<const BinaryExpr*>(e)->op == BinaryOp::Add) {
        operands.push_back(static_cast<const BinaryExpr*>(e)->right.get());
        e = static_cast<const BinaryExpr*>(e)->left.get();
    }
    operands.push_back(e);
    std::reverse(operands.begin(), operands.end());

    std::vector<ValueType> types;
    for (const Expr* op : operands) {
        types.push_back(TypeOf(*op, variables_));
        if (types.back() == ValueType::Date) Unsupported("'+' on a date value", b.pos);
    }
    // The leading run of one known type adds up the same in SQLite.
    std::size_t run = 1;
    if (types[0] == ValueType::Text || types[0] == ValueType::Number) {
        while (run < operands.size() && types[run] == types[0]) ++run;
    }
    const bool text = types[0] == ValueType::Text;
    std::string head;
    int headPrec = kAtom;
    if (run == 1) {
        Out o = Print(*operands[0]);
        head = std::move(o.text);
        headPrec = o.prec;
    } else {
        const int prec = text ? kConcat : kAdd;
        head = Wrap(*operands[0], prec);
        for (std::size_t i = 1; i < run; ++i) head += std::string(text ? " || " : " + ") + Wrap(*operands[i], prec + 1);
        headPrec = prec;
    }
    if (run == operands.size()) return {head, headPrec};

    const std::size_t rest = operands.size() - run;
    std::string out = rest == 1 ? "tsql_add(" : "tsql_addn(";
    out += head;
    for (std::size_t i = run; i < operands.size(); ++i) out += ", " + Expression(*operands[i]);
    return {out + ")", kAtom};
}

// SQLite has no XOR operator, and spelling one with & | ~ prints each operand twice. XOR is
// associative, so a nest of ^ becomes one call: nested calls would overflow SQLite's parser.
SqlitePrinter::Out SqlitePrinter::PrintXor(const BinaryExpr& b) {
    std::vector<const Expr*> operands;
    std::vector<const Expr*> pending{&b};
    while (!pending.empty()) {
        const Expr* e = pending.back();
        pending.pop_back();
        if (e->kind == ExprKind::Binary && static_cast<const BinaryExpr*>(e)->op == BinaryOp::BitXor) {
            pending.push_back(static_cast<const BinaryExpr*>(e)->right.get());
            pending.push_back(static_cast<const BinaryExpr*>(e)->left.get());
        } else {
            operands.push_back(e);
        }
    }
    std::string out = "tsql_xor(";
    for (std::size_t i = 0; i < operands.size(); ++i) out += (i ? ", " : "") + Expression(*operands[i]);
    return {out + ")", kAtom};
}

SqlitePrinter::Out SqlitePrinter::PrintCase(const CaseExpr& c) {
    std::string out = "CASE";
    if (c.base) {
        std::vector<const Expr*> operands{c.base.get()};
        for (const auto& w : c.whens) operands.push_back(w.first.get());
        const std::string bc = ExplicitCollation(*c.base);
        if (!bc.empty() && c.base->kind != ExprKind::Collate) {
            out += " " + CollatedOperand(*c.base, MapCollation(bc));
        } else if (bc.empty() && NeedsCaseInsensitive(operands)) {
            out += " " + CollatedOperand(*c.base, "QVCI");
        } else {
            out += " " + Expression(*c.base);
        }
    }
    for (const auto& w : c.whens) {
        out += " WHEN " + Expression(*w.first) + " THEN " + Expression(*w.second);
    }
    if (c.otherwise) out += " ELSE " + Expression(*c.otherwise);
    out += " END";
    return {out, kAtom};
}

SqlitePrinter::Out SqlitePrinter::PrintFunction(const FunctionExpr& f) {
    std::string name;
    if (f.name.size() == 2 && IsSchema(f.name[0])) {
        name = f.name[1].name;  // dbo.fn_X: an application-defined function of the database
    } else if (f.name.size() != 1) {
        Unsupported("function name '" + f.name[0].name + "." + f.name[1].name + "'", f.pos);
    }
    const std::string lower = FunctionName(f);
    auto args = [&](std::size_t from = 0) {
        std::string out;
        for (std::size_t i = from; i < f.args.size(); ++i) {
            if (!out.empty()) out += ", ";
            out += Expression(*f.args[i]);
        }
        return out;
    };
    auto arity = [&](std::size_t lo, std::size_t hi) {
        if (f.star || f.args.size() < lo || f.args.size() > hi) {
            throw TranslateError("wrong number of arguments for " + f.name.back().name + "()", f.pos);
        }
    };
    if (!name.empty() || lower.rfind("fn_", 0) == 0) {
        if (f.star || f.distinct) Unsupported("'*' or DISTINCT in " + f.name.back().name + "()", f.pos);
        return {Identifier(Ident{f.name.back().name, false}) + "(" + args() + ")", kAtom};
    }
    if (lower == "isnull") {
        arity(2, 2);
        return {"ifnull(" + args() + ")", kAtom};
    }
    if (lower == "count" || lower == "min" || lower == "max" || lower == "sum" || lower == "avg") {
        std::string inner = f.star ? "*" : (f.distinct ? "DISTINCT " : "") + args();
        if (f.star && lower != "count") Unsupported(lower + "(*)", f.pos);
        if (!f.star) arity(1, 1);
        return {lower + "(" + inner + ")", kAtom};
    }
    if (f.distinct) Unsupported("DISTINCT in " + f.name.back().name + "()", f.pos);
    if (lower == "coalesce") {
        arity(2, 1000);
        return {"coalesce(" + args() + ")", kAtom};
    }
    if (lower == "nullif" || lower == "abs" || lower == "round") {
        arity(1, lower == "abs" ? 1 : 2);
        return {lower + "(" + args() + ")", kAtom};
    }
    if (lower == "getdate" || lower == "getutcdate") {
        arity(0, 0);
        return {"tsql_" + lower + "()", kAtom};
    }
    if (lower == "dateadd" || lower == "datediff") {
        arity(3, 3);
        return {"tsql_" + lower + "(" + Quote(static_cast<const LiteralExpr&>(*f.args[0]).text) + ", " + args(1) + ")",
                kAtom};
    }
    if (lower == "datepart") {
        arity(2, 2);
        return {"tsql_datepart(" + Quote(static_cast<const LiteralExpr&>(*f.args[0]).text) + ", " + args(1) + ")",
                kAtom};
    }
    if (lower == "year" || lower == "month" || lower == "day") {
        arity(1, 1);
        return {"tsql_datepart('" + lower + "', " + args() + ")", kAtom};
    }
    if (lower == "charindex") {
        arity(2, 3);
        bool caseSensitive = false;
        for (const ExprPtr& a : f.args) {
            const std::string c = ExplicitCollation(*a);
            if (!c.empty()) caseSensitive = IsCaseSensitiveCollation(c);
        }
        return {std::string(caseSensitive ? "tsql_charindex_cs(" : "tsql_charindex(") + args() + ")", kAtom};
    }
    static const char* const kRuntime[] = {"str",   "len",   "left",  "right",   "substring", "upper",
                                           "lower", "ltrim", "rtrim", "replace", "isnumeric", "newid"};
    for (const char* r : kRuntime) {
        if (lower == r) {
            if (f.star) Unsupported(lower + "(*)", f.pos);
            return {"tsql_" + lower + "(" + args() + ")", kAtom};
        }
    }
    Unsupported("function '" + f.name.back().name + "'", f.pos);
}

SqlitePrinter::Out SqlitePrinter::Print(const Expr& e) {
    switch (e.kind) {
        case ExprKind::Literal: {
            const auto& lit = static_cast<const LiteralExpr&>(e);
            if (literalBase_ >= 0 && lit.param >= 0 && literally_ == 0 && lit.type != LiteralExpr::Type::Null &&
                lit.type != LiteralExpr::Type::DatePart) {
                const int slot = literalBase_ + lit.param;
                UseSlot(slot);
                literalParams_.push_back(lit.param);
                return {"?" + std::to_string(slot + 1), kAtom};
            }
            if (lit.param >= 0) literalTexts_.push_back(lit.param);
            switch (lit.type) {
                case LiteralExpr::Type::Integer:
                case LiteralExpr::Type::Decimal:
                    // A leading '-' is an operator to SQLite.
                    return {lit.text, lit.text[0] == '-' ? kUnary : kAtom};
                case LiteralExpr::Type::String:
                case LiteralExpr::Type::DatePart: return {Quote(lit.text), kAtom};
                case LiteralExpr::Type::Null: return {"NULL", kAtom};
            }
            break;
        }
        case ExprKind::Column:
            return {ColumnName(static_cast<const ColumnExpr&>(e).name, e.pos), kAtom};
        case ExprKind::Variable: {
            const int slot = static_cast<const VariableExpr&>(e).slot;
            UseSlot(slot);
            return {"?" + std::to_string(slot + 1), kAtom};
        }
        case ExprKind::GlobalVariable:
            usesTrancount_ = true;
            UseSlot(trancountSlot_);
            return {"?" + std::to_string(trancountSlot_ + 1), kAtom};
        case ExprKind::Unary: {
            const auto& u = static_cast<const UnaryExpr&>(e);
            switch (u.op) {
                case UnaryOp::Not: return {"NOT " + Wrap(*u.operand, kNot), kNot};
                case UnaryOp::Plus: return Print(*u.operand);
                case UnaryOp::Neg:
                case UnaryOp::BitNot: {
                    Out o = Print(*u.operand);
                    std::string operand = o.prec < kAtom ? "(" + o.text + ")" : o.text;
                    return {std::string(u.op == UnaryOp::Neg ? "-" : "~") + operand, kUnary};
                }
            }
            break;
        }
        case ExprKind::Binary: return PrintBinary(static_cast<const BinaryExpr&>(e));
        case ExprKind::Between: {
            const auto& b = static_cast<const BetweenExpr&>(e);
            std::string value;
            const std::string c = ExplicitCollation(*b.value);
            if (!c.empty() && b.value->kind != ExprKind::Collate) {
                value = CollatedOperand(*b.value, MapCollation(c));
            } else if (c.empty() && NeedsCaseInsensitive({b.value.get(), b.low.get(), b.high.get()})) {
                value = CollatedOperand(*b.value, "QVCI");
            } else {
                value = Wrap(*b.value, kBit);
            }
            return {value + (b.negated ? " NOT BETWEEN " : " BETWEEN ") + Wrap(*b.low, kBit) + " AND " +
                        Wrap(*b.high, kBit),
                    kEq};
        }
        case ExprKind::In: {
            const auto& in = static_cast<const InExpr&>(e);
            std::string value;
            const std::string c = ExplicitCollation(*in.value);
            std::vector<const Expr*> operands{in.value.get()};
            for (const ExprPtr& item : in.list) operands.push_back(item.get());
            if (!c.empty() && in.value->kind != ExprKind::Collate) {
                value = CollatedOperand(*in.value, MapCollation(c));
            } else if (c.empty() && NeedsCaseInsensitive(operands)) {
                value = CollatedOperand(*in.value, "QVCI");
            } else {
                value = Wrap(*in.value, kEq + 1);
            }
            std::string list;
            if (in.subquery) {
                list = Query(*in.subquery);
            } else {
                for (const ExprPtr& item : in.list) {
                    if (!list.empty()) list += ", ";
                    list += Expression(*item);
                }
            }
            return {value + (in.negated ? " NOT IN (" : " IN (") + list + ")", kEq};
        }
        case ExprKind::Like: {
            const auto& l = static_cast<const LikeExpr&>(e);
            for (const Expr* x : {l.value.get(), l.pattern.get()}) {
                const std::string c = ExplicitCollation(*x);
                if (!c.empty() && IsCaseSensitiveCollation(c)) Unsupported("case-sensitive LIKE", l.pos);
            }
            std::string out = Wrap(*l.value, kEq + 1) + (l.negated ? " NOT LIKE " : " LIKE ") + Wrap(*l.pattern, kEq + 1);
            if (l.escape) out += " ESCAPE " + Wrap(*l.escape, kEq + 1);
            return {out, kEq};
        }
        case ExprKind::IsNull: {
            const auto& n = static_cast<const IsNullExpr&>(e);
            return {Wrap(*n.value, kEq + 1) + (n.negated ? " IS NOT NULL" : " IS NULL"), kEq};
        }
        case ExprKind::Exists:
            return {"EXISTS (" + Query(*static_cast<const ExistsExpr&>(e).query) + ")", kAtom};
        case ExprKind::Case: return PrintCase(static_cast<const CaseExpr&>(e));
        case ExprKind::Function: return PrintFunction(static_cast<const FunctionExpr&>(e));
        case ExprKind::Convert: {
            const auto& c = static_cast<const ConvertExpr&>(e);
            std::string out = "tsql_convert(" + Quote(c.type) + ", " + Expression(*c.value);
            if (c.style) out += ", " + Literally(*c.style);
            return {out + ")", kAtom};
        }
        case ExprKind::Subquery:
            return {"(" + Query(*static_cast<const SubqueryExpr&>(e).query) + ")", kAtom};
        case ExprKind::Collate: {
            const auto& c = static_cast<const CollateExpr&>(e);
            return {Wrap(*c.operand, kCollate) + " COLLATE " + MapCollation(c.collation), kCollate};
        }
        case ExprKind::Star: Unsupported("'*' outside a select list", e.pos);
    }
    Unsupported("expression", e.pos);
}

// ---- queries -------------------------------------------------------------------------------

std::string SqlitePrinter::Source(const TableSource& src) {
    switch (src.kind) {
        case TableSource::Kind::Table: {
            std::string out = TableName(src.table, src.pos);
            if (src.hasAlias) out += " AS " + Identifier(src.alias);
            return out;
        }
        case TableSource::Kind::Derived: {
            std::string out = "(" + Query(*src.query) + ")";
            if (src.hasAlias) out += " AS " + Identifier(src.alias);
            return out;
        }
        case TableSource::Kind::Join: {
            std::string right = Source(*src.right);
            if (src.right->kind == TableSource::Kind::Join) right = "(" + right + ")";
            static const char* const kJoin[] = {" JOIN ", " LEFT JOIN ", " RIGHT JOIN ", " FULL JOIN ",
                                                " CROSS JOIN ", ", "};
            std::string out = Source(*src.left) + kJoin[static_cast<int>(src.join)] + right;
            if (src.on) out += " ON " + Expression(*src.on);
            return out;
        }
    }
    return {};
}

bool SqlitePrinter::SortsAsText(const Expr& e) const {
    return !IsColumn(e) && ExplicitCollation(e).empty() && TypeOf(e, variables_) != ValueType::Number &&
           e.kind != ExprKind::Literal;
}

// T-SQL sorts, groups and removes duplicates of text without regard to case. Columns carry that
// collation from the schema; a computed text value needs it spelled out.
std::string SqlitePrinter::CaseInsensitiveKey(const Expr& e) {
    if (!SortsAsText(e)) return Expression(e);
    return CollatedOperand(e, "QVCI");
}

std::string SqlitePrinter::OrderBy(const std::vector<OrderItem>& items, const SelectCore& first) {
    std::string out;
    for (const OrderItem& item : items) {
        out += out.empty() ? " ORDER BY " : ", ";
        const Expr& e = *item.expr;
        bool aliasOfComputed = false;
        if (e.kind == ExprKind::Column && static_cast<const ColumnExpr&>(e).name.size() == 1) {
            const std::string& name = static_cast<const ColumnExpr&>(e).name[0].name;
            for (const SelectItem& sel : first.items) {
                if (sel.hasAlias && EqualsNoCase(sel.alias.name, name)) {
                    aliasOfComputed = SortsAsText(*sel.expr);
                    break;
                }
            }
        }
        out += aliasOfComputed ? Literally(e) + " COLLATE QVCI" : Literally(e, true);
        if (item.descending) out += " DESC";
    }
    return out;
}

std::string SqlitePrinter::Core(const SelectCore& core, const std::vector<OrderItem>* orderBy, bool withLimit,
                                const std::string& extraItem) {
    std::string out = core.distinct ? "SELECT DISTINCT " : "SELECT ";
    bool first = true;
    for (const SelectItem& item : core.items) {
        if (!first) out += ", ";
        first = false;
        if (item.expr->kind == ExprKind::Star) {
            const auto& star = static_cast<const StarExpr&>(*item.expr);
            out += star.qualifier.empty() ? "*" : TableName(star.qualifier, star.pos) + ".*";
            continue;
        }
        // A bare constant keeps its text, which names and types the result column.
        if (item.expr->kind == ExprKind::Literal) {
            out += Literally(*item.expr, core.distinct);
        } else {
            out += core.distinct ? CaseInsensitiveKey(*item.expr) : Expression(*item.expr);
        }
        if (item.hasAlias) out += " AS " + Identifier(Ident{item.alias.name, true});
    }
    if (!extraItem.empty()) out += ", " + extraItem;
    if (core.from) out += " FROM " + Source(*core.from);
    if (core.where) out += " WHERE " + Expression(*core.where);
    for (std::size_t i = 0; i < core.groupBy.size(); ++i) {
        out += i == 0 ? " GROUP BY " : ", ";
        out += Literally(*core.groupBy[i], true);
    }
    if (core.having) out += " HAVING " + Expression(*core.having);
    if (orderBy) out += OrderBy(*orderBy, core);
    if (withLimit && core.top) {
        ++literally_;
        out += " LIMIT " + Wrap(*core.top, kAtom);
        --literally_;
    }
    return out;
}

std::string SqlitePrinter::Query(const struct Query& q) {
    if (q.cores.size() == 1) return Core(q.cores[0], &q.orderBy, true);
    static const char* const kOps[] = {" UNION ", " UNION ALL ", " EXCEPT ", " INTERSECT "};
    std::string out;
    for (std::size_t i = 0; i < q.cores.size(); ++i) {
        if (i > 0) out += kOps[static_cast<int>(q.ops[i - 1])];
        const SelectCore& core = q.cores[i];
        // TOP belongs to its own SELECT in T-SQL; a LIMIT here would cut the whole compound.
        if (core.top) {
            out += "SELECT * FROM (" + Core(core, nullptr, true) + ")";
        } else {
            out += Core(core, nullptr, false);
        }
    }
    return out + OrderBy(q.orderBy, q.cores[0]);
}

// ---- statements ----------------------------------------------------------------------------

std::string SqlitePrinter::Insert(const InsertStmt& s) {
    std::string out = "INSERT INTO " + TableName(s.table, s.pos);
    if (!s.columns.empty()) {
        out += " (";
        for (std::size_t i = 0; i < s.columns.size(); ++i) {
            if (i > 0) out += ", ";
            out += Identifier(s.columns[i]);
        }
        out += ")";
    }
    if (s.select) return out + " " + Query(*s.select);
    out += " VALUES ";
    for (std::size_t r = 0; r < s.rows.size(); ++r) {
        if (r > 0) out += ", ";
        out += "(";
        for (std::size_t i = 0; i < s.rows[r].size(); ++i) {
            if (i > 0) out += ", ";
            out += Expression(*s.rows[r][i]);
        }
        out += ")";
    }
    return out;
}

std::string SqlitePrinter::SetColumn(const SetClause& set, const UpdateStmt& s, const std::string& targetRef) {
    if (set.column.size() > 1) {
        // t.col = ...: the qualifier has to name the target.
        const Ident& q = set.column[set.column.size() - 2];
        if (!EqualsNoCase(q.name, targetRef) && !EqualsNoCase(q.name, BaseName(s.target).name)) {
            throw TranslateError("SET column '" + q.name + "." + set.column.back().name +
                                     "' does not belong to the updated table",
                                 set.pos);
        }
    }
    return Identifier(set.column.back());
}

std::string SqlitePrinter::SetList(const UpdateStmt& s, const std::string& targetRef) {
    std::string out;
    for (const SetClause& set : s.sets) {
        if (!out.empty()) out += ", ";
        out += SetColumn(set, s, targetRef) + " = " + Expression(*set.value);
    }
    return out;
}

std::string SqlitePrinter::Update(const UpdateStmt& s) {
    const std::string table = TableName(s.target, s.pos);
    const std::string where = s.where ? " WHERE " + Expression(*s.where) : std::string();
    if (!s.from) return "UPDATE " + table + " SET " + SetList(s, BaseName(s.target).name) + where;

    const TableSource* occ = FindTarget(s.target, *s.from, s.pos);
    if (!occ) {
        // The target is not repeated in FROM: SQLite's UPDATE ... FROM means the same.
        return "UPDATE " + table + " SET " + SetList(s, BaseName(s.target).name) + " FROM " + Source(*s.from) + where;
    }
    const std::string realTable = TableName(occ->table, occ->pos);
    const std::string ref = occ->hasAlias ? occ->alias.name : BaseName(occ->table).name;
    if (s.from.get() == occ) {
        // FROM names the target alone.
        std::string head = "UPDATE " + realTable;
        if (occ->hasAlias) head += " AS " + Identifier(occ->alias);
        return head + " SET " + SetList(s, ref) + where;
    }
    // The target stands among the joins. SQLite would join a second copy of it, so update the
    // target's rows that the join yields, each with the values of its joined row.
    const std::string occRowid = Identifier(Ident{ref, occ->hasAlias ? occ->alias.quoted : false}) + ".rowid";
    const std::string from = " FROM " + Source(*s.from);
    std::string columns, values;
    for (const SetClause& set : s.sets) {
        if (!columns.empty()) {
            columns += ", ";
            values += ", ";
        }
        columns += SetColumn(set, s, ref);
        values += Expression(*set.value);
    }
    const std::string condition = s.where ? " AND (" + Expression(*s.where) + ")" : std::string();
    const std::string rows = "SELECT " + occRowid + from + where;
    std::string out = "UPDATE " + realTable + " AS __qv_t SET ";
    if (s.sets.size() == 1) {
        out += columns + " = ";
    } else {
        out += "(" + columns + ") = ";
    }
    out += "(SELECT " + values + from + " WHERE " + occRowid + " = __qv_t.rowid" + condition + " LIMIT 1)";
    out += " WHERE __qv_t.rowid IN (" + rows + ")";
    return out;
}

std::string SqlitePrinter::Delete(const DeleteStmt& s) {
    const std::string table = TableName(s.target, s.pos);
    const std::string where = s.where ? " WHERE " + Expression(*s.where) : std::string();
    if (!s.from) return "DELETE FROM " + table + where;
    const TableSource* occ = FindTarget(s.target, *s.from, s.pos);
    if (!occ) {
        // DELETE t FROM x WHERE ... with t only in the condition: delete the rows of t that
        // the condition finds.
        return "DELETE FROM " + table + " WHERE EXISTS (SELECT 1 FROM " + Source(*s.from) + where + ")";
    }
    const std::string realTable = TableName(occ->table, occ->pos);
    if (s.from.get() == occ) {
        std::string head = "DELETE FROM " + realTable;
        if (occ->hasAlias) head += " AS " + Identifier(occ->alias);
        return head + where;
    }
    const std::string ref = occ->hasAlias ? occ->alias.name : BaseName(occ->table).name;
    return "DELETE FROM " + realTable + " WHERE rowid IN (SELECT " + Identifier(Ident{ref, false}) + ".rowid FROM " +
           Source(*s.from) + where + ")";
}

std::string SqlitePrinter::Statement(const Stmt& stmt) {
    switch (stmt.kind) {
        case StmtKind::Select: return Query(static_cast<const SelectStmt&>(stmt).query);
        case StmtKind::Insert: return Insert(static_cast<const InsertStmt&>(stmt));
        case StmtKind::Update: return Update(static_cast<const UpdateStmt&>(stmt));
        case StmtKind::Delete: return Delete(static_cast<const DeleteStmt&>(stmt));
        default: break;
    }
    Unsupported("statement", stmt.pos);
}

std::string SqlitePrinter::AssigningSelect(const SelectStmt& stmt) { return Query(stmt.query); }

std::string SqlitePrinter::ValueQuery(const Expr& e) { return "SELECT " + Expression(e); }

std::string SqlitePrinter::ConditionQuery(const Expr& cond) {
    return "SELECT CASE WHEN " + Expression(cond) + " THEN 1 ELSE 0 END";
}

std::string SqlitePrinter::SelectWithRowid(const SelectStmt& stmt, const std::string& rowidColumn) {
    const SelectCore& core = stmt.query.cores[0];
    const TableSource& src = *core.from;
    const std::string ref = src.hasAlias ? Identifier(src.alias) : TableName(src.table, src.pos);
    return Core(core, &stmt.query.orderBy, true, ref + ".rowid AS " + Identifier(Ident{rowidColumn, true}));
}

}  // namespace qv::tsql
