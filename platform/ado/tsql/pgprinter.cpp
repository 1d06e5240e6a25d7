#include "pgprinter.h"

#include "tsqlanalysis.h"
#include "tsqlerror.h"
#include "tsqllexer.h"

#include <algorithm>

namespace qv::tsql {

namespace {

// PostgreSQL's operator precedence, lowest first. Comparisons do not associate.
enum Prec {
    kOr = 1,
    kAnd,
    kNot,
    kIs,     // IS NULL
    kCmp,    // = <> < <= > >=
    kIn,     // BETWEEN IN LIKE ILIKE
    kOther,  // || & | # and prefix ~
    kAdd,
    kMul,
    kCollate,
    kUnary,
    kAtom,
};

constexpr const char* kCaseInsensitive = "qvci";
constexpr const char* kCaseSensitive = "\"C\"";
// LIKE does not take a nondeterministic collation: the value is matched with ILIKE under a
// deterministic ICU collation, which folds case as the case-insensitive comparison does.
constexpr const char* kLikeCollation = "\"und-x-icu\"";

[[noreturn]] void Unsupported(const std::string& what, std::size_t pos) {
    throw TranslateError("unsupported construct on PostgreSQL: " + what, pos);
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

std::string Lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    }
    return s;
}

std::string MapCollation(const std::string& collation) {
    return IsCaseSensitiveCollation(collation) ? kCaseSensitive : kCaseInsensitive;
}

bool IsSchema(const Ident& id) { return EqualsNoCase(id.name, "dbo"); }

// Words PostgreSQL does not take as a column or table name unquoted.
bool IsReserved(const std::string& lower) {
    static constexpr const char* kWords[] = {
        "all", "analyse", "analyze", "and", "any", "array", "as", "asc", "asymmetric", "authorization", "between",
        "bigint", "binary", "bit", "boolean", "both", "case", "cast", "char", "character", "check", "coalesce",
        "collate", "collation", "column", "concurrently", "constraint", "create", "cross", "current_catalog",
        "current_date", "current_role", "current_schema", "current_time", "current_timestamp", "current_user", "dec",
        "decimal", "default", "deferrable", "desc", "distinct", "do", "else", "end", "except", "exists", "extract",
        "false", "fetch", "float", "for", "foreign", "freeze", "from", "full", "grant", "greatest", "group", "grouping",
        "having", "ilike", "in", "initially", "inner", "int", "integer", "intersect", "interval", "into", "is",
        "isnull", "join", "lateral", "leading", "least", "left", "like", "limit", "localtime", "localtimestamp",
        "natural", "nchar", "none", "not", "notnull", "null", "nullif", "numeric", "offset", "on", "only", "or",
        "order", "outer"};
    static constexpr const char* kMore[] = {
        "overlaps", "overlay", "placing", "position", "precision", "primary", "real", "references", "returning",
        "right", "row", "select", "session_user", "setof", "similar", "smallint", "some", "substring", "symmetric",
        "system_user", "table", "tablesample", "then", "time", "timestamp", "to", "trailing", "treat", "trim", "true",
        "union", "unique", "user", "using", "values", "varchar", "variadic", "verbose", "when", "where"};
    for (const char* w : kWords) {
        if (lower == w) return true;
    }
    for (const char* w : kMore) {
        if (lower == w) return true;
    }
    return lower == "window" || lower == "with" || lower == "xmlattributes";
}

void CollectTables(const TableSource& src, std::vector<const TableSource*>& out) {
    if (src.kind == TableSource::Kind::Join) {
        CollectTables(*src.left, out);
        CollectTables(*src.right, out);
    } else if (src.kind == TableSource::Kind::Table) {
        out.push_back(&src);
    }
}

// The occurrence of an UPDATE/DELETE target in the FROM clause, as the SQLite printer finds it.
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

// T-SQL's date part names and abbreviations, as PostgreSQL's field names; empty when unknown.
std::string DateField(const std::string& part) {
    const std::string p = Lower(part);
    if (p == "year" || p == "yy" || p == "yyyy") return "year";
    if (p == "quarter" || p == "qq" || p == "q") return "quarter";
    if (p == "month" || p == "mm" || p == "m") return "month";
    if (p == "dayofyear" || p == "dy" || p == "y") return "doy";
    if (p == "day" || p == "dd" || p == "d") return "day";
    if (p == "week" || p == "wk" || p == "ww") return "week";
    if (p == "weekday" || p == "dw") return "dow";
    if (p == "hour" || p == "hh") return "hour";
    if (p == "minute" || p == "mi" || p == "n") return "minute";
    if (p == "second" || p == "ss" || p == "s") return "second";
    return {};
}

const std::string& DatePartOf(const FunctionExpr& f) {
    if (f.args.empty() || f.args[0]->kind != ExprKind::Literal) {
        throw TranslateError("a date part expected in " + f.name.back().name + "()", f.pos);
    }
    return static_cast<const LiteralExpr&>(*f.args[0]).text;
}

}  // namespace

PgPrinter::PgPrinter(const std::vector<VariableDecl>& variables, int trancountSlot)
    : variables_(variables), trancountSlot_(trancountSlot) {}

std::vector<int> PgPrinter::TakeUsedSlots() {
    std::vector<int> out;
    out.swap(used_);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::string PgPrinter::TypeName(const std::string& tsqlType) {
    const std::string t = Lower(tsqlType);
    const std::string base = t.substr(0, t.find('('));
    const std::string size = t.size() > base.size() ? t.substr(base.size()) : std::string();
    if (base == "int" || base == "integer" || base == "smallint" || base == "tinyint" || base == "bit") return "integer";
    if (base == "bigint") return "bigint";
    if (base == "varchar" || base == "nvarchar" || base == "char" || base == "nchar") {
        return size.empty() || size == "(max)" ? "text" : "varchar" + size;
    }
    if (base == "text" || base == "ntext" || base == "uniqueidentifier") return "text";
    if (base == "datetime" || base == "smalldatetime" || base == "datetime2") return "timestamp(3)";
    if (base == "date") return "date";
    if (base == "float" || base == "real") return "double precision";
    if (base == "money" || base == "smallmoney") return "numeric(19,4)";
    if (base == "decimal" || base == "numeric") return "numeric" + size;
    return {};
}

std::string PgPrinter::Parameter(int slot, const std::string& tsqlType) {
    used_.push_back(slot);
    std::string type = TypeName(tsqlType);
    // A text parameter stays untyped text, so that it takes the collation of what it meets.
    if (type.rfind("varchar", 0) == 0) type = "text";
    const std::string p = "$" + std::to_string(slot + 1);
    return type.empty() ? p : p + "::" + type;
}

// ---- names ---------------------------------------------------------------------------------

std::string PgPrinter::Identifier(const Ident& id) {
    // Unquoted names are folded to lower case by PostgreSQL, so a quoted one is folded here.
    const std::string name = Lower(id.name);
    bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9');
    for (char c : name) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) plain = false;
    }
    if (plain && !IsReserved(name)) return name;
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + '"';
}

std::string PgPrinter::TableName(const Name& name, std::size_t pos) {
    if (name.size() == 2 && IsSchema(name[0])) return Identifier(name[1]);
    if (name.size() == 1) return Identifier(name[0]);
    Unsupported("table name '" + name[0].name + "." + name[1].name + (name.size() > 2 ? "...'" : "'"), pos);
}

std::string PgPrinter::ColumnName(const Name& name, std::size_t pos) {
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

std::string PgPrinter::Expression(const Expr& e) { return Print(e).text; }

std::string PgPrinter::Wrap(Out o, int minPrec) {
    if (o.prec < minPrec) return "(" + o.text + ")";
    return std::move(o.text);
}

std::string PgPrinter::Wrap(const Expr& e, int minPrec) { return Wrap(Print(e), minPrec); }

std::string PgPrinter::CollatedOperand(const Expr& e, const std::string& collation) {
    return Wrap(e, kCollate + 1) + " COLLATE " + collation;
}

bool PgPrinter::NeedsCaseInsensitive(const std::vector<const Expr*>& operands) const {
    bool text = false;
    for (const Expr* e : operands) {
        if (IsColumn(*e)) return false;  // the column's declared collation decides
        if (TypeOf(*e, variables_) == ValueType::Text) text = true;
    }
    return text;
}

// The first operand of a comparison among `operands`, with the collation T-SQL would compare in.
std::string PgPrinter::ComparedOperand(const Expr& e, const std::vector<const Expr*>& operands, int prec) {
    const std::string c = ExplicitCollation(e);
    if (!c.empty() && e.kind != ExprKind::Collate) return CollatedOperand(e, MapCollation(c));
    if (c.empty() && NeedsCaseInsensitive(operands)) return CollatedOperand(e, kCaseInsensitive);
    return Wrap(e, prec);
}

PgPrinter::Out PgPrinter::PrintComparison(const Expr& left, const char* op, const Expr& right, int prec) {
    const std::string rc = ExplicitCollation(right);
    std::string l, r;
    if (ExplicitCollation(left).empty() && !rc.empty()) {
        l = Wrap(left, prec + 1);
        r = right.kind == ExprKind::Collate ? Wrap(right, prec + 1) : CollatedOperand(right, MapCollation(rc));
    } else {
        l = ComparedOperand(left, {&left, &right}, prec + 1);
        r = Wrap(right, prec + 1);
    }
    return {l + " " + op + " " + r, prec};
}

PgPrinter::Out PgPrinter::PrintBinary(const BinaryExpr& b) {
    auto infix = [&](const char* op, int prec) -> Out {
        return {Wrap(*b.left, prec) + " " + op + " " + Wrap(*b.right, prec + 1), prec};
    };
    switch (b.op) {
        // A right operand of the same operator keeps its parentheses: long chains are grouped so
        // that the database's parser does not build a tree one level deeper per operator.
        case BinaryOp::Or: return {Wrap(*b.left, kOr) + " OR " + Wrap(*b.right, kOr + 1), kOr};
        case BinaryOp::And: return {Wrap(*b.left, kAnd) + " AND " + Wrap(*b.right, kAnd + 1), kAnd};
        case BinaryOp::Eq: return PrintComparison(*b.left, "=", *b.right, kCmp);
        case BinaryOp::Ne: return PrintComparison(*b.left, "<>", *b.right, kCmp);
        case BinaryOp::Lt: return PrintComparison(*b.left, "<", *b.right, kCmp);
        case BinaryOp::Le: return PrintComparison(*b.left, "<=", *b.right, kCmp);
        case BinaryOp::Gt: return PrintComparison(*b.left, ">", *b.right, kCmp);
        case BinaryOp::Ge: return PrintComparison(*b.left, ">=", *b.right, kCmp);
        case BinaryOp::Add: {
            const ValueType l = TypeOf(*b.left, variables_);
            const ValueType r = TypeOf(*b.right, variables_);
            if (l == ValueType::Date || r == ValueType::Date) Unsupported("'+' on a date value", b.pos);
            // Two known texts concatenate; else the database's + decides by the operands' types
            // (the suite's schema adds + for two texts).
            if (l == ValueType::Text && r == ValueType::Text) return infix("||", kOther);
            return infix("+", kAdd);
        }
        case BinaryOp::Sub: return infix("-", kAdd);
        case BinaryOp::Mul: return infix("*", kMul);
        case BinaryOp::Div: return infix("/", kMul);
        case BinaryOp::Mod: return infix("%", kMul);
        case BinaryOp::BitAnd: return infix("&", kOther);
        case BinaryOp::BitOr: return infix("|", kOther);
        case BinaryOp::BitXor: return infix("#", kOther);
    }
    Unsupported("operator", b.pos);
}

PgPrinter::Out PgPrinter::PrintCase(const CaseExpr& c) {
    std::string out = "CASE";
    if (c.base) {
        std::vector<const Expr*> operands{c.base.get()};
        for (const auto& w : c.whens) operands.push_back(w.first.get());
        out += " " + ComparedOperand(*c.base, operands, kAtom);
    }
    for (const auto& w : c.whens) out += " WHEN " + Expression(*w.first) + " THEN " + Expression(*w.second);
    if (c.otherwise) out += " ELSE " + Expression(*c.otherwise);
    return {out + " END", kAtom};
}

namespace {

// to_char's picture for a T-SQL date style; empty for the styles it cannot say (those that pad
// with blanks, or show milliseconds only when there are some).
std::string DateStylePicture(int style) {
    switch (style) {
        case 1: return "MM/DD/YY";
        case 101: return "MM/DD/YYYY";
        case 2: return "YY.MM.DD";
        case 102: return "YYYY.MM.DD";
        case 3: return "DD/MM/YY";
        case 103: return "DD/MM/YYYY";
        case 4: return "DD.MM.YY";
        case 104: return "DD.MM.YYYY";
        case 5: return "DD-MM-YY";
        case 105: return "DD-MM-YYYY";
        case 10: return "MM-DD-YY";
        case 110: return "MM-DD-YYYY";
        case 11: return "YY/MM/DD";
        case 111: return "YYYY/MM/DD";
        case 12: return "YYMMDD";
        case 112: return "YYYYMMDD";
        case 8: case 24: case 108: return "HH24:MI:SS";
        case 14: case 114: return "HH24:MI:SS:MS";
        case 13: case 113: return "DD Mon YYYY HH24:MI:SS:MS";
        case 20: case 120: return "YYYY-MM-DD HH24:MI:SS";
        case 21: case 25: case 121: return "YYYY-MM-DD HH24:MI:SS.MS";
        case 23: return "YYYY-MM-DD";
        default: return {};
    }
}

// A number as a date is that many days after 1 January 1900, as T-SQL counts.
bool IsDayNumber(const Expr& e) {
    return e.kind == ExprKind::Literal && static_cast<const LiteralExpr&>(e).type == LiteralExpr::Type::Integer;
}

std::string DayNumberAsTimestamp(const Expr& e) {
    return "(TIMESTAMP '1900-01-01' + (" + static_cast<const LiteralExpr&>(e).text + ") * INTERVAL '1 day')";
}

bool IsStyleZero(const Expr& style) {
    return style.kind == ExprKind::Literal && static_cast<const LiteralExpr&>(style).type == LiteralExpr::Type::Integer &&
           static_cast<const LiteralExpr&>(style).text == "0";
}

// A float as T-SQL writes it in style 0: six significant digits, from a millionth on and below
// a million in plain notation, else as 1.23457e+006.
std::string FloatStyleZero(const std::string& v) {
    const std::string n = "CAST(CAST(CAST(" + v + " AS text) AS double precision) AS numeric)";
    return "(SELECT CASE WHEN __qv_r = 0 THEN '0' WHEN __qv_e < -4 OR __qv_e >= 6 THEN "
           "CAST(trim_scale(__qv_r / power(CAST(10 AS numeric), __qv_e)) AS text) || "
           "CASE WHEN __qv_e < 0 THEN 'e-' ELSE 'e+' END || lpad(CAST(abs(__qv_e) AS text), 3, '0') "
           "ELSE CAST(trim_scale(__qv_r) AS text) END "
           "FROM (SELECT __qv_r, CASE WHEN __qv_r = 0 THEN 0 ELSE CAST(floor(log(abs(__qv_r))) AS integer) END AS __qv_e "
           "FROM (SELECT CASE WHEN __qv_n = 0 THEN __qv_n ELSE round(__qv_n, 5 - CAST(floor(log(abs(__qv_n))) AS integer)) END "
           "AS __qv_r FROM (SELECT " + n + " AS __qv_n) AS __qv_a) AS __qv_b) AS __qv_d)";
}

// A date as T-SQL writes it in style 0: "Jun 15 2031  8:05AM".
std::string DateStyleZero(const std::string& v) {
    const std::string t = "CAST(CAST(" + v + " AS text) AS timestamp)";
    return "to_char(" + t + ", 'Mon ') || lpad(to_char(" + t + ", 'FMDD'), 2) || to_char(" + t +
           ", ' YYYY ') || lpad(to_char(" + t + ", 'FMHH12'), 2) || to_char(" + t + ", ':MIAM')";
}

// Style 0 goes by the type the value has on the database, which the statement does not show for
// a column: a float or a date has a text form of its own, anything else is written as it is.
std::string StyleZeroText(const std::string& v) {
    return "CASE WHEN pg_typeof(" + v + ") IN ('double precision'::regtype, 'real'::regtype) THEN " + FloatStyleZero(v) +
           " WHEN pg_typeof(" + v + ") IN ('timestamp without time zone'::regtype, 'timestamp with time zone'::regtype, "
           "'date'::regtype) THEN " + DateStyleZero(v) + " ELSE CAST(" + v + " AS text) END";
}

// STR(x, length, decimals): right-aligned in `length`, as many of the decimals as fit, stars when
// the integer part does not; NULL for a length outside 1..8000 or negative decimals.
std::string StrText(const std::string& x, long length, long decimals) {
    if (length <= 0 || length > 8000 || decimals < 0) return "CAST(NULL AS text)";
    decimals = std::min(decimals, 16L);
    const std::string len = std::to_string(length);
    std::string out = "(SELECT CASE WHEN __qv_n IS NULL THEN NULL";
    for (long d = decimals; d >= 0; --d) {
        const std::string r = "CAST(round(__qv_n, " + std::to_string(d) + ") AS text)";
        out += " WHEN length(" + r + ") <= " + len + " THEN lpad(" + r + ", " + len + ")";
    }
    return out + " ELSE repeat('*', " + len + ") END FROM (SELECT CAST(CAST(" + x +
           " AS double precision) AS numeric) AS __qv_n) AS __qv_s)";
}

}  // namespace

PgPrinter::Out PgPrinter::PrintConvert(const ConvertExpr& c) {
    if (TypeOfTypeName(c.type) == ValueType::Date) {
        const std::string type = TypeName(c.type);
        if (!type.empty() && IsDayNumber(*c.value)) return {"CAST(" + DayNumberAsTimestamp(*c.value) + " AS " + type + ")", kAtom};
        // The ISO styles read as PostgreSQL reads a date anyway.
        const auto* lit = c.style && c.style->kind == ExprKind::Literal ? static_cast<const LiteralExpr*>(c.style.get()) : nullptr;
        if (!type.empty() && lit && lit->type == LiteralExpr::Type::Integer &&
            (lit->text == "120" || lit->text == "121" || lit->text == "20" || lit->text == "21" || lit->text == "23" ||
             lit->text == "126"))
            return {"CAST(" + Expression(*c.value) + " AS " + type + ")", kAtom};
    }
    if (c.style && IsStyleZero(*c.style) && TypeOfTypeName(c.type) == ValueType::Text &&
        TypeOf(*c.value, variables_) != ValueType::Text && TypeOf(*c.value, variables_) != ValueType::Date) {
        const std::string type = TypeName(c.type);
        if (type.empty()) Unsupported("CONVERT to " + c.type, c.pos);
        return {"(SELECT CAST(" + StyleZeroText("__qv_v") + " AS " + type + ") FROM (SELECT " + Expression(*c.value) +
                    " AS __qv_v) AS __qv_c)",
                kAtom};
    }
    if (c.style) {
        // A date written as text in one of T-SQL's styles; the style must be a number as written.
        const bool toText = c.type.rfind("varchar", 0) == 0 || c.type.rfind("nvarchar", 0) == 0 ||
                            c.type.rfind("char", 0) == 0 || c.type.rfind("nchar", 0) == 0;
        const auto* lit = c.style->kind == ExprKind::Literal ? static_cast<const LiteralExpr*>(c.style.get()) : nullptr;
        if (!toText || !lit || lit->type != LiteralExpr::Type::Integer || lit->text.size() > 4 ||
            TypeOf(*c.value, variables_) == ValueType::Number)
            Unsupported("CONVERT with a style", c.pos);
        const std::string picture = DateStylePicture(std::stoi(lit->text));
        const std::string type = TypeName(c.type);
        if (type.empty()) Unsupported("CONVERT to " + c.type, c.pos);
        if (lit->text == "0" || lit->text == "100")
            return {"CAST(" + DateStyleZero(Expression(*c.value)) + " AS " + type + ")", kAtom};
        if (picture.empty()) Unsupported("CONVERT with style " + lit->text, c.pos);
        return {"CAST(to_char(CAST(" + Expression(*c.value) + " AS timestamp), '" + picture + "') AS " + type + ")",
                kAtom};
    }
    const std::string type = TypeName(c.type);
    if (type.empty()) Unsupported("CONVERT to " + c.type, c.pos);
    return {"CAST(" + Expression(*c.value) + " AS " + type + ")", kAtom};
}

PgPrinter::Out PgPrinter::PrintFunction(const FunctionExpr& f) {
    bool qualified = false;
    if (f.name.size() == 2 && IsSchema(f.name[0])) {
        qualified = true;  // dbo.fn_X: a function of the database
    } else if (f.name.size() != 1) {
        Unsupported("function name '" + f.name[0].name + "." + f.name[1].name + "'", f.pos);
    }
    const std::string lower = FunctionName(f);
    auto arg = [&](std::size_t i) { return Expression(*f.args[i]); };
    auto Timestamp = [&](std::size_t i) {
        return IsDayNumber(*f.args[i]) ? DayNumberAsTimestamp(*f.args[i]) : "CAST(" + arg(i) + " AS timestamp)";
    };
    auto args = [&](std::size_t from = 0) {
        std::string out;
        for (std::size_t i = from; i < f.args.size(); ++i) out += (out.empty() ? "" : ", ") + arg(i);
        return out;
    };
    auto arity = [&](std::size_t lo, std::size_t hi) {
        if (f.star || f.args.size() < lo || f.args.size() > hi) {
            throw TranslateError("wrong number of arguments for " + f.name.back().name + "()", f.pos);
        }
    };
    if (qualified || lower.rfind("fn_", 0) == 0) {
        if (f.star || f.distinct) Unsupported("'*' or DISTINCT in " + f.name.back().name + "()", f.pos);
        if (lower == "fn_getcustfieldvaluesused4search" && f.args.size() == 2 && f.args[0]->kind == ExprKind::Literal &&
            static_cast<const LiteralExpr&>(*f.args[0]).type == LiteralExpr::Type::Integer &&
            f.args[1]->kind == ExprKind::Column && static_cast<const ColumnExpr&>(*f.args[1]).name.size() >= 2) {
            // The searches call it for every row they look at: as the function's own query written
            // in place, it costs no function call, and nothing at all (the test is made once per
            // statement) where the table has no field that takes part in searches.
            const std::string table = arg(0), id = arg(1);
            return {"(CASE WHEN EXISTS (SELECT 1 FROM custfieldtype WHERE ltableid = " + table +
                        " AND fused4search = 1) THEN coalesce((SELECT string_agg(__qv_v.strvalue, ' ' ORDER BY "
                        "__qv_f.lorder, __qv_f.lcftypeid, __qv_v.lcustfieldvalueid) FROM custfieldvalue AS __qv_v JOIN "
                        "custfieldtype AS __qv_f ON __qv_v.lcftypeid = __qv_f.lcftypeid WHERE __qv_f.ltableid = " +
                        table + " AND __qv_f.fused4search = 1 AND __qv_v.lid = " + id +
                        " AND __qv_v.strvalue <> ''), '') ELSE '' END)",
                    kAtom};
        }
        return {"dbo." + Identifier(Ident{f.name.back().name, false}) + "(" + args() + ")", kAtom};
    }
    if (lower == "count" || lower == "min" || lower == "max" || lower == "sum" || lower == "avg") {
        if (f.star && lower != "count") Unsupported(lower + "(*)", f.pos);
        if (!f.star) arity(1, 1);
        const std::string inner = f.star ? "*" : (f.distinct ? "DISTINCT " : "") + args();
        // T-SQL's count is an int, and its avg of integers an integer.
        if (lower == "count") return {"CAST(count(" + inner + ") AS integer)", kAtom};
        if (lower == "avg" && TypeOf(*f.args[0], variables_) == ValueType::Number) {
            return {"trunc(avg(" + inner + "))", kAtom};
        }
        return {lower + "(" + inner + ")", kAtom};
    }
    if (f.distinct) Unsupported("DISTINCT in " + f.name.back().name + "()", f.pos);
    if (lower == "isnull") {
        arity(2, 2);
        return {"coalesce(" + args() + ")", kAtom};
    }
    if (lower == "coalesce") {
        arity(2, 1000);
        return {"coalesce(" + args() + ")", kAtom};
    }
    if (lower == "nullif") {
        arity(2, 2);
        return {"nullif(" + args() + ")", kAtom};
    }
    if (lower == "abs") {
        arity(1, 1);
        return {"abs(" + args() + ")", kAtom};
    }
    if (lower == "round") {
        arity(2, 2);
        return {"round(CAST(" + arg(0) + " AS numeric), " + arg(1) + ")", kAtom};
    }
    if (lower == "getdate") {
        arity(0, 0);
        return {"LOCALTIMESTAMP(3)", kAtom};
    }
    if (lower == "getutcdate") {
        arity(0, 0);
        return {"CAST(now() AT TIME ZONE 'UTC' AS timestamp(3))", kAtom};
    }
    if (lower == "year" || lower == "month" || lower == "day") {
        arity(1, 1);
        return {"CAST(EXTRACT(" + lower + " FROM " + Timestamp(0) + ") AS integer)", kAtom};
    }
    if (lower == "datepart") {
        arity(2, 2);
        const std::string field = DateField(DatePartOf(f));
        if (field.empty()) Unsupported("date part '" + DatePartOf(f) + "'", f.pos);
        // T-SQL counts week days from 1 (Sunday, the default first day).
        return {"CAST(EXTRACT(" + field + " FROM " + Timestamp(1) + ") AS integer)" +
                    std::string(field == "dow" ? " + 1" : ""),
                kAdd};
    }
    if (lower == "dateadd") {
        arity(3, 3);
        std::string field = DateField(DatePartOf(f));
        if (field == "doy" || field == "dow") field = "day";
        if (field.empty() || field == "quarter") Unsupported("date part '" + DatePartOf(f) + "' in DATEADD", f.pos);
        return {"CAST(" + Timestamp(2) + " + (" + arg(1) + ") * INTERVAL '1 " + field +
                    "' AS timestamp(3))",
                kAtom};
    }
    if (lower == "datediff") {
        arity(3, 3);
        const std::string field = DateField(DatePartOf(f));
        const std::string a = Timestamp(1);
        const std::string b = Timestamp(2);
        // T-SQL counts the boundaries crossed, not whole periods.
        auto part = [](const std::string& fld, const std::string& x) { return "EXTRACT(" + fld + " FROM " + x + ")"; };
        if (field == "year") return {"CAST(" + part("year", b) + " - " + part("year", a) + " AS integer)", kAtom};
        if (field == "month") {
            return {"CAST((" + part("year", b) + " - " + part("year", a) + ") * 12 + " + part("month", b) + " - " +
                        part("month", a) + " AS integer)",
                    kAtom};
        }
        if (field == "day" || field == "doy" || field == "dow") return {"(CAST(" + b + " AS date) - CAST(" + a + " AS date))", kAtom};
        if (field == "hour" || field == "minute" || field == "second") {
            const char* unit = field == "hour" ? "3600" : field == "minute" ? "60" : "1";
            return {"CAST(EXTRACT(EPOCH FROM date_trunc('" + field + "', " + b + ") - date_trunc('" + field + "', " + a +
                        ")) / " + unit + " AS integer)",
                    kAtom};
        }
        Unsupported("date part '" + DatePartOf(f) + "' in DATEDIFF", f.pos);
    }
    if (lower == "len") {
        arity(1, 1);
        // LEN does not count trailing blanks.
        return {"length(rtrim(CAST(" + arg(0) + " AS text)))", kAtom};
    }
    if (lower == "left" || lower == "right") {
        arity(2, 2);
        return {lower + "(CAST(" + arg(0) + " AS text), " + arg(1) + ")", kAtom};
    }
    if (lower == "substring") {
        arity(3, 3);
        return {"substr(CAST(" + arg(0) + " AS text), " + arg(1) + ", " + arg(2) + ")", kAtom};
    }
    if (lower == "upper" || lower == "lower" || lower == "ltrim" || lower == "rtrim") {
        arity(1, 1);
        return {lower + "(" + args() + ")", kAtom};
    }
    if (lower == "charindex") {
        arity(2, 2);
        bool caseSensitive = false;
        for (const ExprPtr& a : f.args) {
            const std::string c = ExplicitCollation(*a);
            if (!c.empty()) caseSensitive = IsCaseSensitiveCollation(c);
        }
        if (caseSensitive) return {"strpos(" + arg(1) + ", " + arg(0) + ")", kAtom};
        const std::string folded = "strpos(lower(CAST(" + arg(1) + " AS text) COLLATE " + kLikeCollation +
                                   "), lower(CAST(" + arg(0) + " AS text) COLLATE " + kLikeCollation + "))";
        // A word of ASCII characters: ICU's lower case of a text holds ASCII only where the text has
        // ASCII, the Kelvin sign (k) or the capital I with dot (i and a combining dot). Those two
        // folded as ICU folds them and A-Z folded byte by byte give the same matches, without ICU's
        // costly folding of every row; each only where the word has its letter. The place found is
        // the place in the text, as T-SQL gives it; for a word with an i, one further for each
        // capital I with dot before it, as ICU's folding gives it. A word with other characters is
        // folded by ICU only in the texts that hold its longest run of ASCII (every text that holds
        // the word does).
        const auto* word = f.args[0]->kind == ExprKind::Literal ? static_cast<const LiteralExpr*>(f.args[0].get()) : nullptr;
        if (!word || word->type != LiteralExpr::Type::String) return {folded, kAtom};
        std::string run, longest;
        for (char c : word->text) {
            run = (c & 0x80) ? std::string() : run + c;
            if (run.size() > longest.size()) longest = run;
        }
        const std::string needle = Lower(longest);
        std::string text = "CAST(" + arg(1) + " AS text) COLLATE " + kCaseSensitive;
        if (needle.find('i') != std::string::npos) text = "replace(" + text + ", '\xC4\xB0', 'i\xCC\x87')";
        if (needle.find('k') != std::string::npos) text = "replace(" + text + ", '\xE2\x84\xAA', 'k')";
        const std::string ascii = "strpos(lower(" + text + "), " + Quote(needle) + ")";
        if (longest.size() == word->text.size()) return {ascii, kAtom};
        if (longest.size() < 3) return {folded, kAtom};
        return {"CASE WHEN " + ascii + " = 0 THEN 0 ELSE " + folded + " END", kAtom};
    }
    if (lower == "str") {
        arity(1, 3);
        long sizes[2] = {10, 0};
        for (std::size_t i = 1; i < f.args.size(); ++i) {
            const Expr& a = *f.args[i];
            const bool negative = a.kind == ExprKind::Unary && static_cast<const UnaryExpr&>(a).op == UnaryOp::Neg;
            const Expr& digits = negative ? *static_cast<const UnaryExpr&>(a).operand : a;
            if (digits.kind != ExprKind::Literal || static_cast<const LiteralExpr&>(digits).type != LiteralExpr::Type::Integer ||
                static_cast<const LiteralExpr&>(digits).text.size() > 6)
                Unsupported("STR() with a length or decimals that are not numbers as written", f.pos);
            sizes[i - 1] = std::stol(static_cast<const LiteralExpr&>(digits).text) * (negative ? -1 : 1);
        }
        return {StrText(arg(0), sizes[0], sizes[1]), kAtom};
    }
    if (lower == "newid") {
        arity(0, 0);
        return {"upper(CAST(gen_random_uuid() AS text))", kAtom};
    }
    Unsupported("function '" + f.name.back().name + "'", f.pos);
}

PgPrinter::Out PgPrinter::Print(const Expr& e) {
    switch (e.kind) {
        case ExprKind::Literal: {
            const auto& lit = static_cast<const LiteralExpr&>(e);
            switch (lit.type) {
                case LiteralExpr::Type::Integer:
                case LiteralExpr::Type::Decimal: return {lit.text, lit.text[0] == '-' ? kUnary : kAtom};
                case LiteralExpr::Type::String:
                case LiteralExpr::Type::DatePart: return {Quote(lit.text), kAtom};
                case LiteralExpr::Type::Null: return {"NULL", kAtom};
            }
            break;
        }
        case ExprKind::Column: return {ColumnName(static_cast<const ColumnExpr&>(e).name, e.pos), kAtom};
        case ExprKind::Variable: {
            const int slot = static_cast<const VariableExpr&>(e).slot;
            const std::string type = slot >= 0 && static_cast<std::size_t>(slot) < variables_.size() ? variables_[slot].type : "";
            return {Parameter(slot, type), kAtom};
        }
        case ExprKind::GlobalVariable:
            usesTrancount_ = true;
            return {Parameter(trancountSlot_, "int"), kAtom};
        case ExprKind::Unary: {
            const auto& u = static_cast<const UnaryExpr&>(e);
            switch (u.op) {
                case UnaryOp::Not: return {"NOT " + Wrap(*u.operand, kNot), kNot};
                case UnaryOp::Plus: return Print(*u.operand);
                case UnaryOp::Neg: return {"-" + Wrap(*u.operand, kAtom), kUnary};
                case UnaryOp::BitNot: return {"~" + Wrap(*u.operand, kAtom), kOther};
            }
            break;
        }
        case ExprKind::Binary: return PrintBinary(static_cast<const BinaryExpr&>(e));
        case ExprKind::Between: {
            const auto& b = static_cast<const BetweenExpr&>(e);
            const std::string value = ComparedOperand(*b.value, {b.value.get(), b.low.get(), b.high.get()}, kIn + 1);
            return {value + (b.negated ? " NOT BETWEEN " : " BETWEEN ") + Wrap(*b.low, kIn + 1) + " AND " +
                        Wrap(*b.high, kIn + 1),
                    kIn};
        }
        case ExprKind::In: {
            const auto& in = static_cast<const InExpr&>(e);
            std::vector<const Expr*> operands{in.value.get()};
            for (const ExprPtr& item : in.list) operands.push_back(item.get());
            const std::string value = ComparedOperand(*in.value, operands, kIn + 1);
            std::string list;
            if (in.subquery) {
                list = Query(*in.subquery);
            } else {
                for (const ExprPtr& item : in.list) list += (list.empty() ? "" : ", ") + Expression(*item);
            }
            return {value + (in.negated ? " NOT IN (" : " IN (") + list + ")", kIn};
        }
        case ExprKind::Like: {
            const auto& l = static_cast<const LikeExpr&>(e);
            bool caseSensitive = false;
            for (const Expr* x : {l.value.get(), l.pattern.get()}) {
                const std::string c = ExplicitCollation(*x);
                if (!c.empty() && IsCaseSensitiveCollation(c)) caseSensitive = true;
            }
            const std::string value = "CAST(" + Expression(*l.value) + " AS text) COLLATE " +
                                      (caseSensitive ? kCaseSensitive : kLikeCollation);
            const std::string pattern = "CAST(" + Expression(*l.pattern) + " AS text) COLLATE " +
                                        (caseSensitive ? kCaseSensitive : kLikeCollation);
            // T-SQL has no escape character unless one is named; PostgreSQL's is '\'.
            std::string out = value + (l.negated ? " NOT " : " ") + (caseSensitive ? "LIKE " : "ILIKE ") + pattern;
            out += l.escape ? " ESCAPE " + Wrap(*l.escape, kIn + 1) : " ESCAPE ''";
            return {out, kIn};
        }
        case ExprKind::IsNull: {
            const auto& n = static_cast<const IsNullExpr&>(e);
            return {Wrap(*n.value, kIs + 1) + (n.negated ? " IS NOT NULL" : " IS NULL"), kIs};
        }
        case ExprKind::Exists: return {"EXISTS (" + Query(*static_cast<const ExistsExpr&>(e).query) + ")", kAtom};
        case ExprKind::Case: return PrintCase(static_cast<const CaseExpr&>(e));
        case ExprKind::Function: return PrintFunction(static_cast<const FunctionExpr&>(e));
        case ExprKind::Convert: return PrintConvert(static_cast<const ConvertExpr&>(e));
        case ExprKind::Subquery: return {"(" + Query(*static_cast<const SubqueryExpr&>(e).query) + ")", kAtom};
        case ExprKind::Collate: {
            const auto& c = static_cast<const CollateExpr&>(e);
            return {Wrap(*c.operand, kCollate + 1) + " COLLATE " + MapCollation(c.collation), kCollate};
        }
        case ExprKind::Star: Unsupported("'*' outside a select list", e.pos);
    }
    Unsupported("expression", e.pos);
}

// ---- queries -------------------------------------------------------------------------------

std::string PgPrinter::Source(const TableSource& src) {
    switch (src.kind) {
        case TableSource::Kind::Table: {
            std::string out = TableName(src.table, src.pos);
            if (src.hasAlias) out += " AS " + Identifier(src.alias);
            return out;
        }
        case TableSource::Kind::Derived: {
            ++derivedDepth_;
            std::string inner;
            try {
                inner = Query(*src.query);
            } catch (...) {
                --derivedDepth_;
                throw;
            }
            --derivedDepth_;
            std::string out = "(" + inner + ")";
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

bool PgPrinter::SortsAsText(const Expr& e) const {
    return !IsColumn(e) && ExplicitCollation(e).empty() && TypeOf(e, variables_) != ValueType::Number &&
           e.kind != ExprKind::Literal;
}

// T-SQL sorts, groups and removes duplicates of text without regard to case; a computed text
// value needs the collation spelled out. Only known texts get it: PostgreSQL refuses a
// collation on a number.
std::string PgPrinter::CaseInsensitiveKey(const Expr& e) {
    if (!SortsAsText(e) || TypeOf(e, variables_) != ValueType::Text) return Expression(e);
    return CollatedOperand(e, kCaseInsensitive);
}

std::string PgPrinter::OrderBy(const std::vector<OrderItem>& items, const SelectCore& first) {
    std::string out;
    for (const OrderItem& item : items) {
        out += out.empty() ? " ORDER BY " : ", ";
        const Expr& e = *item.expr;
        if (e.kind == ExprKind::Column && static_cast<const ColumnExpr&>(e).name.size() == 1) {
            // A select item's alias: PostgreSQL takes it bare only, so it is printed as written.
            const std::string& name = static_cast<const ColumnExpr&>(e).name[0].name;
            bool alias = false;
            for (const SelectItem& sel : first.items) alias = alias || (sel.hasAlias && EqualsNoCase(sel.alias.name, name));
            if (alias) {
                if (derivedDepth_ > 0)
                    out += Identifier(Ident{name, false});
                else
                    out += Identifier(Ident{name, true}).front() == '"' ? Identifier(Ident{name, true}) : "\"" + name + "\"";
                if (item.descending) out += " DESC";
                continue;
            }
        }
        out += CaseInsensitiveKey(e);
        if (item.descending) out += " DESC";
    }
    return out;
}

std::string PgPrinter::Core(const SelectCore& core, const std::vector<OrderItem>* orderBy, bool withLimit,
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
        out += core.distinct ? CaseInsensitiveKey(*item.expr) : Expression(*item.expr);
        if (item.hasAlias && derivedDepth_ > 0) {
            out += " AS " + Identifier(item.alias);
        } else if (item.hasAlias) {
            // The alias keeps its case: it is the name the caller reads the column by.
            std::string alias = "\"";
            for (char c : item.alias.name) {
                alias += c;
                if (c == '"') alias += '"';
            }
            out += " AS " + alias + "\"";
        }
    }
    if (!extraItem.empty()) out += ", " + extraItem;
    if (core.from) out += " FROM " + Source(*core.from);
    if (core.where) out += " WHERE " + Expression(*core.where);
    for (std::size_t i = 0; i < core.groupBy.size(); ++i) {
        // As written: PostgreSQL matches the select list against the groups by their text, and
        // a text computed from columns keeps their case-insensitive collation anyway.
        out += i == 0 ? " GROUP BY " : ", ";
        out += Expression(*core.groupBy[i]);
    }
    if (core.having) out += " HAVING " + Expression(*core.having);
    if (orderBy) out += OrderBy(*orderBy, core);
    if (withLimit && core.top) out += " LIMIT " + Wrap(*core.top, kAtom);
    return out;
}

std::string PgPrinter::Query(const struct Query& q) {
    if (q.cores.size() == 1) return Core(q.cores[0], &q.orderBy, true);
    static const char* const kOps[] = {" UNION ", " UNION ALL ", " EXCEPT ", " INTERSECT "};
    std::string out;
    for (std::size_t i = 0; i < q.cores.size(); ++i) {
        if (i > 0) out += kOps[static_cast<int>(q.ops[i - 1])];
        const SelectCore& core = q.cores[i];
        // TOP belongs to its own SELECT in T-SQL; a LIMIT here would cut the whole compound.
        if (core.top) {
            out += "SELECT * FROM (" + Core(core, nullptr, true) + ") AS __qv_top" + std::to_string(i);
        } else {
            out += Core(core, nullptr, false);
        }
    }
    return out + OrderBy(q.orderBy, q.cores[0]);
}

// ---- statements ----------------------------------------------------------------------------

std::string PgPrinter::Insert(const InsertStmt& s) {
    std::string out = "INSERT INTO " + TableName(s.table, s.pos);
    if (!s.columns.empty()) {
        out += " (";
        for (std::size_t i = 0; i < s.columns.size(); ++i) out += (i > 0 ? ", " : "") + Identifier(s.columns[i]);
        out += ")";
    }
    if (s.select) return out + " " + Query(*s.select);
    out += " VALUES ";
    for (std::size_t r = 0; r < s.rows.size(); ++r) {
        out += r > 0 ? ", (" : "(";
        for (std::size_t i = 0; i < s.rows[r].size(); ++i) out += (i > 0 ? ", " : "") + Expression(*s.rows[r][i]);
        out += ")";
    }
    return out;
}

std::string PgPrinter::SetColumn(const SetClause& set, const UpdateStmt& s, const std::string& targetRef) {
    if (set.column.size() > 1) {
        const Ident& q = set.column[set.column.size() - 2];
        if (!EqualsNoCase(q.name, targetRef) && !EqualsNoCase(q.name, BaseName(s.target).name)) {
            throw TranslateError("SET column '" + q.name + "." + set.column.back().name +
                                     "' does not belong to the updated table",
                                 set.pos);
        }
    }
    return Identifier(set.column.back());
}

std::string PgPrinter::SetList(const UpdateStmt& s, const std::string& targetRef) {
    std::string out;
    for (const SetClause& set : s.sets) {
        out += (out.empty() ? "" : ", ") + SetColumn(set, s, targetRef) + " = " + Expression(*set.value);
    }
    return out;
}

std::string PgPrinter::Update(const UpdateStmt& s) {
    const std::string table = TableName(s.target, s.pos);
    const std::string where = s.where ? " WHERE " + Expression(*s.where) : std::string();
    if (!s.from) return "UPDATE " + table + " SET " + SetList(s, BaseName(s.target).name) + where;
    const TableSource* occ = FindTarget(s.target, *s.from, s.pos);
    if (!occ) return "UPDATE " + table + " SET " + SetList(s, BaseName(s.target).name) + " FROM " + Source(*s.from) + where;
    const std::string realTable = TableName(occ->table, occ->pos);
    const std::string ref = occ->hasAlias ? occ->alias.name : BaseName(occ->table).name;
    if (s.from.get() == occ) {
        std::string head = "UPDATE " + realTable;
        if (occ->hasAlias) head += " AS " + Identifier(occ->alias);
        return head + " SET " + SetList(s, ref) + where;
    }
    // The target stands among the joins: update its rows that the join yields, each with the
    // values of its first joined row.
    const std::string occRow = Identifier(Ident{ref, false}) + ".ctid";
    const std::string from = " FROM " + Source(*s.from);
    std::string columns, values;
    for (const SetClause& set : s.sets) {
        columns += (columns.empty() ? "" : ", ") + SetColumn(set, s, ref);
        values += (values.empty() ? "" : ", ") + Expression(*set.value);
    }
    const std::string condition = s.where ? " AND (" + Expression(*s.where) + ")" : std::string();
    std::string out = "UPDATE " + realTable + " AS __qv_t SET ";
    out += s.sets.size() == 1 ? columns + " = " : "(" + columns + ") = ";
    out += s.sets.size() == 1 ? "(SELECT " : "(SELECT ";
    out += values + from + " WHERE " + occRow + " = __qv_t.ctid" + condition + " LIMIT 1)";
    return out + " WHERE __qv_t.ctid IN (SELECT " + occRow + from + where + ")";
}

std::string PgPrinter::Delete(const DeleteStmt& s) {
    const std::string table = TableName(s.target, s.pos);
    const std::string where = s.where ? " WHERE " + Expression(*s.where) : std::string();
    if (!s.from) return "DELETE FROM " + table + where;
    const TableSource* occ = FindTarget(s.target, *s.from, s.pos);
    if (!occ) return "DELETE FROM " + table + " WHERE EXISTS (SELECT 1 FROM " + Source(*s.from) + where + ")";
    const std::string realTable = TableName(occ->table, occ->pos);
    if (s.from.get() == occ) {
        std::string head = "DELETE FROM " + realTable;
        if (occ->hasAlias) head += " AS " + Identifier(occ->alias);
        return head + where;
    }
    const std::string ref = occ->hasAlias ? occ->alias.name : BaseName(occ->table).name;
    return "DELETE FROM " + realTable + " WHERE ctid IN (SELECT " + Identifier(Ident{ref, false}) + ".ctid FROM " +
           Source(*s.from) + where + ")";
}

std::string PgPrinter::Statement(const Stmt& stmt) {
    switch (stmt.kind) {
        case StmtKind::Select: return Query(static_cast<const SelectStmt&>(stmt).query);
        case StmtKind::Insert: return Insert(static_cast<const InsertStmt&>(stmt));
        case StmtKind::Update: return Update(static_cast<const UpdateStmt&>(stmt));
        case StmtKind::Delete: return Delete(static_cast<const DeleteStmt&>(stmt));
        default: break;
    }
    Unsupported("statement", stmt.pos);
}

std::string PgPrinter::AssigningSelect(const SelectStmt& stmt) { return Query(stmt.query); }

std::string PgPrinter::ValueQuery(const Expr& e) { return "SELECT " + Expression(e); }

std::string PgPrinter::ConditionQuery(const Expr& cond) {
    return "SELECT CASE WHEN " + Expression(cond) + " THEN 1 ELSE 0 END";
}

std::string PgPrinter::SelectWithRowid(const SelectStmt& stmt, const std::string& rowidColumn) {
    const struct Query& q = stmt.query;
    if (q.cores.size() != 1 || !q.cores[0].from || q.cores[0].from->kind != TableSource::Kind::Table) {
        Unsupported("row identity of a query that is not on one table", stmt.pos);
    }
    const TableSource& t = *q.cores[0].from;
    const std::string ref = t.hasAlias ? Identifier(t.alias) : TableName(t.table, t.pos);
    return Core(q.cores[0], &q.orderBy, true, "CAST(" + ref + ".ctid AS text) AS \"" + rowidColumn + "\"");
}

std::string PgPrinter::SelectWithKey(const SelectStmt& stmt, const std::vector<std::string>& keyColumns,
                                     const std::string& hiddenPrefix) {
    const struct Query& q = stmt.query;
    if (q.cores.size() != 1 || !q.cores[0].from || q.cores[0].from->kind != TableSource::Kind::Table) {
        Unsupported("row identity of a query that is not on one table", stmt.pos);
    }
    const TableSource& t = *q.cores[0].from;
    const std::string ref = t.hasAlias ? Identifier(t.alias) : TableName(t.table, t.pos);
    std::string extra;
    for (std::size_t i = 0; i < keyColumns.size(); ++i) {
        if (i > 0) extra += ", ";
        extra += ref + "." + Identifier(Ident{keyColumns[i], true}) + " AS " +
                 Identifier(Ident{hiddenPrefix + std::to_string(i + 1), true});
    }
    return Core(q.cores[0], &q.orderBy, true, extra);
}

}  // namespace qv::tsql
