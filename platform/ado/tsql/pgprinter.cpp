#include "pgprinter.h"

#include "tsqlanalysis.h"
#include "tsqlerror.h"
#include "tsqllexer.h"

#include <algorithm>

namespace qv::tsql {

namespace {

constexpr const char* kCaseInsensitive = "qvci";
constexpr const char* kCaseSensitive = "\"C\"";
// LIKE does not take a nondeterministic collation: the value is matched with ILIKE under a
// deterministic ICU collation, which folds case as the case-insensitive comparison does.
constexpr const char* kLikeCollation = "\"und-x-icu\"";

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

// T-SQL's date part names and abbreviations, as PostgreSQL's field names; empty when unknown.
std::string DateField(const std::string& part) {
    const std::string p = ToLowerAscii(part);
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
    : PrinterBase({.refusal = "unsupported construct on PostgreSQL: ", .caseInsensitive = kCaseInsensitive,
                   .caseSensitive = kCaseSensitive, .rowIdentity = "ctid", .topAlias = "__qv_top"},
                  {.equal = kCmp, .relation = kCmp, .isNull = kIs, .between = kIn, .betweenOperand = kIn + 1, .in = kIn,
                   .inValue = kIn + 1, .bit = kOther, .bitNot = kOther, .add = kAdd, .mul = kMul,
                   .collateOperand = kCollate + 1, .caseOperand = kAtom},
                  variables, trancountSlot) {}

std::string PgPrinter::TypeName(const std::string& tsqlType) {
    const std::string t = ToLowerAscii(tsqlType);
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
    const std::string name = ToLowerAscii(id.name);
    bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9');
    for (char c : name) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) plain = false;
    }
    if (plain && !IsReserved(name)) return name;
    return QuotedName(name);
}

// ---- expressions ---------------------------------------------------------------------------

// The text lowered byte by byte for a search of the lower-case ASCII word `needle` (see CHARINDEX).
std::string PgPrinter::AsciiFolded(const Expr& text, const std::string& needle) {
    std::string out = "CAST(" + Expression(text) + " AS text) COLLATE " + kCaseSensitive;
    if (needle.find('i') != std::string::npos) out = "replace(" + out + ", '\xC4\xB0', 'i\xCC\x87')";
    if (needle.find('k') != std::string::npos) out = "replace(" + out + ", '\xE2\x84\xAA', 'k')";
    return "lower(" + out + ")";
}

// CHARINDEX('word', text) > 0 for a word of ASCII characters, as LIKE '%word%' on the folded
// text through the schema's operator dbo.~~~ (LIKE with other estimates): the same rows as
// strpos(...) > 0. For a text of one table the planner estimates a pattern's share of the rows
// from the pattern, where for strpos(...) > 0 it takes a third of them (with a third, a search
// with TOP expects its rows early and runs its joins as nested loops, which for a rare word read
// every run many times over). For a text joined from several tables (a course's and its run's)
// LIKE takes one row in 200 per word, and two words leave a handful of the course search's rows
// expected: it then loops over the user's rights for each row it finds; the operator takes a
// third there. Empty when the comparison is of another form.
std::string PgPrinter::WordSearch(const Expr& left, const char* op, const Expr& right) {
    if (std::string_view(op) != ">" || right.kind != ExprKind::Literal || left.kind != ExprKind::Function) return {};
    const auto& zero = static_cast<const LiteralExpr&>(right);
    if (zero.type != LiteralExpr::Type::Integer || zero.text != "0") return {};
    const auto& f = static_cast<const FunctionExpr&>(left);
    if (FunctionName(f) != "charindex" || f.args.size() != 2 || IsDatabaseFunction(f) || CaseSensitiveArguments(f) ||
        f.args[0]->kind != ExprKind::Literal)
        return {};
    const auto& word = static_cast<const LiteralExpr&>(*f.args[0]);
    if (word.type != LiteralExpr::Type::String || word.text.empty()) return {};
    std::string pattern = "%";
    for (char c : ToLowerAscii(word.text)) {
        if (c & 0x80) return {};
        if (c == '%' || c == '_' || c == '\\') pattern += '\\';
        pattern += c;
    }
    return AsciiFolded(*f.args[1], ToLowerAscii(word.text)) + " OPERATOR(dbo.~~~) " + Quote(pattern + "%");
}

PgPrinter::Out PgPrinter::PrintComparison(const Expr& left, const char* op, const Expr& right, int prec) {
    if (const std::string like = WordSearch(left, op, right); !like.empty()) return {like, kIn};
    const std::string lc = ExplicitCollation(left);
    const std::string c = lc.empty() ? ExplicitCollation(right) : lc;
    if (c.empty() || !IsCaseSensitiveCollation(c)) return PrinterBase::PrintComparison(left, op, right, prec);
    // T-SQL compares texts without their trailing blanks under every collation ('anna ' = 'anna');
    // "C" does not, but bpchar does, in the same byte order.
    return {"CAST(" + Expression(left) + " AS bpchar) COLLATE " + kCaseSensitive + " " + op + " CAST(" +
                Expression(right) + " AS bpchar)",
            prec};
}

PgPrinter::Out PgPrinter::PrintAdd(const BinaryExpr& b) {
    const ValueType l = TypeOf(*b.left, variables_);
    const ValueType r = TypeOf(*b.right, variables_);
    if (l == ValueType::Date || r == ValueType::Date) Unsupported("'+' on a date value", b.pos);
    // Two known texts concatenate; else the database's + decides by the operands' types
    // (the suite's schema adds + for two texts).
    if (l == ValueType::Text && r == ValueType::Text) return Infix(b, "||", kOther);
    return Infix(b, "+", kAdd);
}

PgPrinter::Out PgPrinter::PrintXor(const BinaryExpr& b) { return Infix(b, "#", kOther); }

PgPrinter::Out PgPrinter::PrintLike(const LikeExpr& l) {
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
// the integer part does not; NULL for a length outside 1..8000 or negative decimals. A column is
// read where the number is needed (the searches write a run's duration so for every run they look
// at, and a query of its own per row costs twice as much); anything else is computed once.
std::string StrText(const std::string& x, bool column, long length, long decimals) {
    if (length <= 0 || length > 8000 || decimals < 0) return "CAST(NULL AS text)";
    decimals = std::min(decimals, 16L);
    const std::string len = std::to_string(length);
    const std::string n = column ? "CAST(CAST(" + x + " AS double precision) AS numeric)" : "__qv_n";
    std::string out = "CASE WHEN " + (column ? x : n) + " IS NULL THEN NULL";
    for (long d = decimals; d >= 0; --d) {
        const std::string r = "CAST(round(" + n + ", " + std::to_string(d) + ") AS text)";
        out += " WHEN length(" + r + ") <= " + len + " THEN lpad(" + r + ", " + len + ")";
    }
    out += " ELSE repeat('*', " + len + ") END";
    if (column) return "(" + out + ")";
    return "(SELECT " + out + " FROM (SELECT CAST(CAST(" + x + " AS double precision) AS numeric) AS __qv_n) AS __qv_s)";
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
    const bool database = IsDatabaseFunction(f);
    const std::string lower = FunctionName(f);
    auto arg = [&](std::size_t i) { return Expression(*f.args[i]); };
    auto Timestamp = [&](std::size_t i) {
        return IsDayNumber(*f.args[i]) ? DayNumberAsTimestamp(*f.args[i]) : "CAST(" + arg(i) + " AS timestamp)";
    };
    if (database) {
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
        return {"dbo." + Identifier(Ident{f.name.back().name, false}) + "(" + Arguments(f) + ")", kAtom};
    }
    if (lower == "count" || lower == "min" || lower == "max" || lower == "sum" || lower == "avg") {
        if (f.star && lower != "count") Unsupported(lower + "(*)", f.pos);
        if (!f.star) Arity(f, 1, 1);
        const std::string inner = f.star ? "*" : (f.distinct ? "DISTINCT " : "") + Arguments(f);
        // T-SQL's count is an int, and its avg of integers an integer.
        if (lower == "count") return {"CAST(count(" + inner + ") AS integer)", kAtom};
        if (lower == "avg" && TypeOf(*f.args[0], variables_) == ValueType::Number) {
            return {"trunc(avg(" + inner + "))", kAtom};
        }
        return {lower + "(" + inner + ")", kAtom};
    }
    if (f.distinct) Unsupported("DISTINCT in " + f.name.back().name + "()", f.pos);
    if (lower == "isnull") return Call("coalesce", f, 2, 2);
    if (lower == "coalesce") return Call("coalesce", f, 2, 1000);
    if (lower == "nullif") return Call("nullif", f, 2, 2);
    if (lower == "abs") return Call("abs", f, 1, 1);
    if (lower == "round") {
        Arity(f, 2, 2);
        return {"round(CAST(" + arg(0) + " AS numeric), " + arg(1) + ")", kAtom};
    }
    if (lower == "getdate") {
        Arity(f, 0, 0);
        return {"LOCALTIMESTAMP(3)", kAtom};
    }
    if (lower == "getutcdate") {
        Arity(f, 0, 0);
        return {"CAST(now() AT TIME ZONE 'UTC' AS timestamp(3))", kAtom};
    }
    if (lower == "year" || lower == "month" || lower == "day") {
        Arity(f, 1, 1);
        return {"CAST(EXTRACT(" + lower + " FROM " + Timestamp(0) + ") AS integer)", kAtom};
    }
    if (lower == "datepart") {
        Arity(f, 2, 2);
        const std::string field = DateField(DatePartOf(f));
        if (field.empty()) Unsupported("date part '" + DatePartOf(f) + "'", f.pos);
        // T-SQL counts week days from 1 (Sunday, the default first day).
        return {"CAST(EXTRACT(" + field + " FROM " + Timestamp(1) + ") AS integer)" +
                    std::string(field == "dow" ? " + 1" : ""),
                kAdd};
    }
    if (lower == "dateadd") {
        Arity(f, 3, 3);
        std::string field = DateField(DatePartOf(f));
        if (field == "doy" || field == "dow") field = "day";
        if (field.empty() || field == "quarter") Unsupported("date part '" + DatePartOf(f) + "' in DATEADD", f.pos);
        return {"CAST(" + Timestamp(2) + " + (" + arg(1) + ") * INTERVAL '1 " + field +
                    "' AS timestamp(3))",
                kAtom};
    }
    if (lower == "datediff") {
        Arity(f, 3, 3);
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
        Arity(f, 1, 1);
        // LEN does not count trailing blanks.
        return {"length(rtrim(CAST(" + arg(0) + " AS text)))", kAtom};
    }
    if (lower == "left" || lower == "right") {
        Arity(f, 2, 2);
        return {lower + "(CAST(" + arg(0) + " AS text), " + arg(1) + ")", kAtom};
    }
    if (lower == "substring") {
        Arity(f, 3, 3);
        return {"substr(CAST(" + arg(0) + " AS text), " + arg(1) + ", " + arg(2) + ")", kAtom};
    }
    if (lower == "upper" || lower == "lower" || lower == "ltrim" || lower == "rtrim") return Call(lower, f, 1, 1);
    if (lower == "charindex") {
        Arity(f, 2, 2);
        // T-SQL finds an empty word nowhere; strpos finds it at 1.
        const auto* empty = f.args[0]->kind == ExprKind::Literal ? static_cast<const LiteralExpr*>(f.args[0].get()) : nullptr;
        if (empty && empty->type == LiteralExpr::Type::String && empty->text.empty())
            return {"CASE WHEN " + arg(1) + " IS NULL THEN NULL ELSE 0 END", kAtom};
        if (CaseSensitiveArguments(f)) return {"strpos(" + arg(1) + ", " + arg(0) + ")", kAtom};
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
        const std::string needle = ToLowerAscii(longest);
        const std::string ascii = "strpos(" + AsciiFolded(*f.args[1], needle) + ", " + Quote(needle) + ")";
        if (longest.size() == word->text.size()) return {ascii, kAtom};
        if (longest.size() < 3) return {folded, kAtom};
        return {"CASE WHEN " + ascii + " = 0 THEN 0 ELSE " + folded + " END", kAtom};
    }
    if (lower == "str") {
        Arity(f, 1, 3);
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
        return {StrText(arg(0), f.args[0]->kind == ExprKind::Column, sizes[0], sizes[1]), kAtom};
    }
    if (lower == "newid") {
        Arity(f, 0, 0);
        return {"upper(CAST(gen_random_uuid() AS text))", kAtom};
    }
    Unsupported("function '" + f.name.back().name + "'", f.pos);
}

// ---- queries -------------------------------------------------------------------------------

// PostgreSQL refuses a collation on a number: only known texts get one.
bool PgPrinter::SortsAsText(const Expr& e) const {
    return PrinterBase::SortsAsText(e) && TypeOf(e, variables_) == ValueType::Text;
}

std::string PgPrinter::OrderKey(const Expr& e, const SelectCore& first) {
    const SelectItem* item = AliasedItem(e, first);
    if (!item) return CaseInsensitiveKey(e);
    // A select item's alias: PostgreSQL takes it bare only, and quoted it matches only as the
    // select list spells it, whatever case ORDER BY writes it in.
    return ResultName(item->alias);
}

// As written: PostgreSQL matches the select list against the groups by their text, and a text
// computed from columns keeps their case-insensitive collation anyway.
std::string PgPrinter::GroupKey(const Expr& e) { return Expression(e); }

// Inside a derived table the alias is a name the outer query uses, folded as those are.
std::string PgPrinter::ResultName(const Ident& alias) {
    return derivedDepth_ > 0 ? Identifier(alias) : PrinterBase::ResultName(alias);
}

std::string PgPrinter::SelectWithRowid(const SelectStmt& stmt, const std::string& rowidColumn) {
    const std::string ref = SingleTableRef(stmt);
    const struct Query& q = stmt.query;
    return Core(q.cores[0], &q.orderBy, true, "CAST(" + ref + ".ctid AS text) AS \"" + rowidColumn + "\"");
}

std::string PgPrinter::SelectWithKey(const SelectStmt& stmt, const std::vector<std::string>& keyColumns,
                                     const std::string& hiddenPrefix) {
    const std::string ref = SingleTableRef(stmt);
    const struct Query& q = stmt.query;
    std::string extra;
    for (std::size_t i = 0; i < keyColumns.size(); ++i) {
        if (i > 0) extra += ", ";
        extra += ref + "." + Identifier(Ident{keyColumns[i], true}) + " AS " +
                 Identifier(Ident{hiddenPrefix + std::to_string(i + 1), true});
    }
    return Core(q.cores[0], &q.orderBy, true, extra);
}

}  // namespace qv::tsql
