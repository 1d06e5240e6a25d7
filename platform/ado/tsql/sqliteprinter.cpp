#include "sqliteprinter.h"

#include "tsqlanalysis.h"
#include "tsqlerror.h"
#include "tsqllexer.h"

#include <sqlite3.h>

#include <algorithm>
#include <mutex>

namespace qv::tsql {

SqlitePrinter::SqlitePrinter(const std::vector<VariableDecl>& variables, int trancountSlot, int literalBase)
    : PrinterBase({.refusal = "unsupported construct ", .caseInsensitive = "QVCI", .caseSensitive = "QVCS",
                   .rowIdentity = "rowid", .topAlias = ""},
                  {.equal = kEq, .relation = kRel, .isNull = kEq, .between = kEq, .betweenOperand = kBit, .in = kEq,
                   .inValue = kEq + 1, .bit = kBit, .bitNot = kUnary, .add = kAdd, .mul = kMul,
                   .collateOperand = kCollate, .caseOperand = 0},
                  variables, trancountSlot),
      literalBase_(literalBase) {}

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

template <class F>
auto SqlitePrinter::Literally(F print) -> decltype(print()) {
    ++literally_;
    try {
        auto out = print();
        --literally_;
        return out;
    } catch (...) {
        --literally_;
        throw;
    }
}

std::string SqlitePrinter::Literally(const Expr& e, bool caseInsensitiveKey) {
    return Literally([&] { return caseInsensitiveKey ? CaseInsensitiveKey(e) : Expression(e); });
}

std::string SqlitePrinter::Parameter(int slot, const std::string&) {
    used_.push_back(slot);
    return "?" + std::to_string(slot + 1);
}

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
    return QuotedName(id.name);
}

// ---- expressions ---------------------------------------------------------------------------

SqlitePrinter::Out SqlitePrinter::PrintLiteral(const LiteralExpr& lit) {
    if (literalBase_ >= 0 && lit.param >= 0 && literally_ == 0 && lit.type != LiteralExpr::Type::Null &&
        lit.type != LiteralExpr::Type::DatePart) {
        literalParams_.push_back(lit.param);
        return {Parameter(literalBase_ + lit.param, {}), kAtom};
    }
    if (lit.param >= 0) literalTexts_.push_back(lit.param);
    return PrinterBase::PrintLiteral(lit);
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

SqlitePrinter::Out SqlitePrinter::PrintComparison(const Expr& left, const char* op, const Expr& right, int prec) {
    std::string column, value;
    if (literalBase_ < 0 || !ColumnAndConstant(left, right, &column, &value) || !IsIndexedConstant(column, value)) {
        return PrinterBase::PrintComparison(left, op, right, prec);
    }
    return Literally([&] { return PrinterBase::PrintComparison(left, op, right, prec); });
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


SqlitePrinter::Out SqlitePrinter::PrintLike(const LikeExpr& l) {
    for (const Expr* x : {l.value.get(), l.pattern.get()}) {
        const std::string c = ExplicitCollation(*x);
        if (!c.empty() && IsCaseSensitiveCollation(c)) Unsupported("case-sensitive LIKE", l.pos);
    }
    std::string out = Wrap(*l.value, kEq + 1) + (l.negated ? " NOT LIKE " : " LIKE ") + Wrap(*l.pattern, kEq + 1);
    if (l.escape) out += " ESCAPE " + Wrap(*l.escape, kEq + 1);
    return {out, kEq};
}

SqlitePrinter::Out SqlitePrinter::PrintConvert(const ConvertExpr& c) {
    std::string out = "tsql_convert(" + Quote(c.type) + ", " + Expression(*c.value);
    if (c.style) out += ", " + Literally(*c.style);
    return {out + ")", kAtom};
}

SqlitePrinter::Out SqlitePrinter::PrintFunction(const FunctionExpr& f) {
    if (IsDatabaseFunction(f)) return {Identifier(Ident{f.name.back().name, false}) + "(" + Arguments(f) + ")", kAtom};
    const std::string lower = FunctionName(f);
    if (lower == "isnull") return Call("ifnull", f, 2, 2);
    if (lower == "count" || lower == "min" || lower == "max" || lower == "sum" || lower == "avg") {
        std::string inner = f.star ? "*" : (f.distinct ? "DISTINCT " : "") + Arguments(f);
        if (f.star && lower != "count") Unsupported(lower + "(*)", f.pos);
        if (!f.star) Arity(f, 1, 1);
        return {lower + "(" + inner + ")", kAtom};
    }
    if (f.distinct) Unsupported("DISTINCT in " + f.name.back().name + "()", f.pos);
    if (lower == "coalesce") return Call("coalesce", f, 2, 1000);
    if (lower == "nullif" || lower == "abs" || lower == "round") return Call(lower, f, 1, lower == "abs" ? 1 : 2);
    if (lower == "getdate" || lower == "getutcdate") return Call("tsql_" + lower, f, 0, 0);
    if (lower == "dateadd" || lower == "datediff" || lower == "datepart") {
        const std::size_t n = lower == "datepart" ? 2 : 3;
        Arity(f, n, n);
        return {"tsql_" + lower + "(" + Quote(static_cast<const LiteralExpr&>(*f.args[0]).text) + ", " + Arguments(f, 1) +
                    ")",
                kAtom};
    }
    if (lower == "year" || lower == "month" || lower == "day") {
        Arity(f, 1, 1);
        return {"tsql_datepart('" + lower + "', " + Arguments(f) + ")", kAtom};
    }
    if (lower == "charindex") return Call(CaseSensitiveArguments(f) ? "tsql_charindex_cs" : "tsql_charindex", f, 2, 3);
    static const char* const kRuntime[] = {"str",   "len",   "left",  "right",   "substring", "upper",
                                           "lower", "ltrim", "rtrim", "replace", "isnumeric", "newid"};
    for (const char* r : kRuntime) {
        if (lower == r) {
            if (f.star) Unsupported(lower + "(*)", f.pos);
            return {"tsql_" + lower + "(" + Arguments(f) + ")", kAtom};
        }
    }
    Unsupported("function '" + f.name.back().name + "'", f.pos);
}

// ---- queries -------------------------------------------------------------------------------

std::string SqlitePrinter::OrderKey(const Expr& e, const SelectCore& first) {
    // The alias of a computed text sorts as that text does.
    const SelectItem* item = AliasedItem(e, first);
    return item && SortsAsText(*item->expr) ? Literally(e) + " COLLATE QVCI" : Literally(e, true);
}

std::string SqlitePrinter::GroupKey(const Expr& e) { return Literally(e, true); }

std::string SqlitePrinter::SelectedValue(const Expr& e, bool distinct) {
    // A bare constant keeps its text, which names and types the result column.
    if (e.kind == ExprKind::Literal) return Literally(e, distinct);
    return PrinterBase::SelectedValue(e, distinct);
}

std::string SqlitePrinter::Limit(const Expr& top) {
    return Literally([&] { return Wrap(top, kAtom); });
}

std::string SqlitePrinter::SelectWithRowid(const SelectStmt& stmt, const std::string& rowidColumn) {
    const std::string ref = SingleTableRef(stmt);
    return Core(stmt.query.cores[0], &stmt.query.orderBy, true, ref + ".rowid AS " + QuotedName(rowidColumn));
}

}  // namespace qv::tsql
