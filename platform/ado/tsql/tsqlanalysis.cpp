#include "tsqlanalysis.h"

#include "tsqllexer.h"

namespace qv::tsql {

ValueType TypeOfTypeName(const std::string& type) {
    const std::string base = type.substr(0, type.find('('));
    if (base == "char" || base == "varchar" || base == "nchar" || base == "nvarchar" || base == "text" ||
        base == "ntext" || base == "sysname") {
        return ValueType::Text;
    }
    if (base == "int" || base == "bigint" || base == "smallint" || base == "tinyint" || base == "bit" ||
        base == "decimal" || base == "numeric" || base == "money" || base == "smallmoney" || base == "float" ||
        base == "real") {
        return ValueType::Number;
    }
    if (base == "datetime" || base == "smalldatetime" || base == "date" || base == "datetime2" || base == "time") {
        return ValueType::Date;
    }
    return ValueType::Unknown;
}

std::string FunctionName(const FunctionExpr& f) { return ToLowerAscii(f.name.back().name); }

bool IsCaseSensitiveCollation(const std::string& collation) {
    const std::string lower = ToLowerAscii(collation);
    return lower.find("_cs_") != std::string::npos || lower.find("_bin") != std::string::npos;
}

bool IsColumn(const Expr& e) { return e.kind == ExprKind::Column; }

namespace {

ValueType Common(ValueType a, ValueType b) { return a == b ? a : ValueType::Unknown; }

bool IsNullLiteral(const Expr& e) {
    return e.kind == ExprKind::Literal && static_cast<const LiteralExpr&>(e).type == LiteralExpr::Type::Null;
}

ValueType TypeOfFunction(const FunctionExpr& f, const std::vector<VariableDecl>& vars) {
    if (f.name.size() > 1) return ValueType::Unknown;  // dbo.fn_...: defined by the database
    const std::string n = FunctionName(f);
    if (n == "left" || n == "right" || n == "substring" || n == "upper" || n == "lower" || n == "ltrim" ||
        n == "rtrim" || n == "replace" || n == "str") {
        return ValueType::Text;
    }
    if (n == "len" || n == "charindex" || n == "datediff" || n == "datepart" || n == "year" || n == "month" ||
        n == "day" || n == "count" || n == "isnumeric" || n == "abs" || n == "round" || n == "sum" ||
        n == "avg") {
        return ValueType::Number;
    }
    if (n == "getdate" || n == "getutcdate" || n == "dateadd") return ValueType::Date;
    if ((n == "isnull" || n == "min" || n == "max") && !f.args.empty()) return TypeOf(*f.args[0], vars);
    if (n == "coalesce" && !f.args.empty()) {
        ValueType t = ValueType::Unknown;
        bool first = true;
        for (const ExprPtr& a : f.args) {
            if (IsNullLiteral(*a)) continue;
            t = first ? TypeOf(*a, vars) : Common(t, TypeOf(*a, vars));
            first = false;
        }
        return t;
    }
    return ValueType::Unknown;
}

}  // namespace

ValueType TypeOf(const Expr& e, const std::vector<VariableDecl>& vars) {
    switch (e.kind) {
        case ExprKind::Literal: {
            const auto& lit = static_cast<const LiteralExpr&>(e);
            switch (lit.type) {
                case LiteralExpr::Type::Integer:
                case LiteralExpr::Type::Decimal: return ValueType::Number;
                case LiteralExpr::Type::String: return ValueType::Text;
                default: return ValueType::Unknown;
            }
        }
        case ExprKind::Variable: {
            const auto& v = static_cast<const VariableExpr&>(e);
            return TypeOfTypeName(vars[static_cast<std::size_t>(v.slot)].type);
        }
        case ExprKind::GlobalVariable: return ValueType::Number;
        case ExprKind::Unary: {
            const auto& u = static_cast<const UnaryExpr&>(e);
            return u.op == UnaryOp::Not ? ValueType::Unknown : ValueType::Number;
        }
        case ExprKind::Binary: {
            const auto& b = static_cast<const BinaryExpr&>(e);
            switch (b.op) {
                case BinaryOp::Add: {
                    const ValueType l = TypeOf(*b.left, vars);
                    const ValueType r = TypeOf(*b.right, vars);
                    if (l == ValueType::Text && r == ValueType::Text) return ValueType::Text;
                    if (l == ValueType::Number && r == ValueType::Number) return ValueType::Number;
                    return ValueType::Unknown;
                }
                case BinaryOp::Sub:
                case BinaryOp::Mul:
                case BinaryOp::Div:
                case BinaryOp::Mod:
                case BinaryOp::BitAnd:
                case BinaryOp::BitOr:
                case BinaryOp::BitXor: return ValueType::Number;
                default: return ValueType::Unknown;
            }
        }
        case ExprKind::Case: {
            const auto& c = static_cast<const CaseExpr&>(e);
            bool first = true;
            ValueType t = ValueType::Unknown;
            auto add = [&](const Expr& x) {
                if (IsNullLiteral(x)) return;
                t = first ? TypeOf(x, vars) : Common(t, TypeOf(x, vars));
                first = false;
            };
            for (const auto& w : c.whens) add(*w.second);
            if (c.otherwise) add(*c.otherwise);
            return t;
        }
        case ExprKind::Function: return TypeOfFunction(static_cast<const FunctionExpr&>(e), vars);
        case ExprKind::Convert: return TypeOfTypeName(static_cast<const ConvertExpr&>(e).type);
        case ExprKind::Subquery: {
            const auto& q = *static_cast<const SubqueryExpr&>(e).query;
            if (q.cores.size() == 1 && q.cores[0].items.size() == 1) {
                return TypeOf(*q.cores[0].items[0].expr, vars);
            }
            return ValueType::Unknown;
        }
        case ExprKind::Collate: return TypeOf(*static_cast<const CollateExpr&>(e).operand, vars);
        default: return ValueType::Unknown;
    }
}

std::string ExplicitCollation(const Expr& e) {
    switch (e.kind) {
        case ExprKind::Collate: return static_cast<const CollateExpr&>(e).collation;
        case ExprKind::Binary: {
            const auto& b = static_cast<const BinaryExpr&>(e);
            if (b.op != BinaryOp::Add) return {};
            std::string c = ExplicitCollation(*b.left);
            return c.empty() ? ExplicitCollation(*b.right) : c;
        }
        case ExprKind::Case: {
            const auto& c = static_cast<const CaseExpr&>(e);
            for (const auto& w : c.whens) {
                std::string r = ExplicitCollation(*w.second);
                if (!r.empty()) return r;
            }
            return c.otherwise ? ExplicitCollation(*c.otherwise) : std::string();
        }
        case ExprKind::Function: {
            const auto& f = static_cast<const FunctionExpr&>(e);
            const std::string n = FunctionName(f);
            if (f.name.size() == 1 && (n == "isnull" || n == "coalesce")) {
                for (const ExprPtr& a : f.args) {
                    std::string r = ExplicitCollation(*a);
                    if (!r.empty()) return r;
                }
            }
            return {};
        }
        default: return {};
    }
}

namespace {

void WalkSource(const TableSource& src, const std::function<void(const Expr&)>& fn) {
    switch (src.kind) {
        case TableSource::Kind::Table: break;
        case TableSource::Kind::Derived: WalkQuery(*src.query, fn); break;
        case TableSource::Kind::Join:
            WalkSource(*src.left, fn);
            WalkSource(*src.right, fn);
            if (src.on) WalkExpr(*src.on, fn);
            break;
    }
}

}  // namespace

void WalkQuery(const Query& q, const std::function<void(const Expr&)>& fn) {
    for (const SelectCore& core : q.cores) {
        if (core.top) WalkExpr(*core.top, fn);
        for (const SelectItem& item : core.items) WalkExpr(*item.expr, fn);
        if (core.from) WalkSource(*core.from, fn);
        if (core.where) WalkExpr(*core.where, fn);
        for (const ExprPtr& g : core.groupBy) WalkExpr(*g, fn);
        if (core.having) WalkExpr(*core.having, fn);
    }
    for (const OrderItem& o : q.orderBy) WalkExpr(*o.expr, fn);
}

void WalkExpr(const Expr& e, const std::function<void(const Expr&)>& fn) {
    fn(e);
    auto walk = [&](const ExprPtr& x) {
        if (x) WalkExpr(*x, fn);
    };
    switch (e.kind) {
        case ExprKind::Unary: walk(static_cast<const UnaryExpr&>(e).operand); break;
        case ExprKind::Binary: {
            const auto& b = static_cast<const BinaryExpr&>(e);
            walk(b.left);
            walk(b.right);
            break;
        }
        case ExprKind::Between: {
            const auto& b = static_cast<const BetweenExpr&>(e);
            walk(b.value);
            walk(b.low);
            walk(b.high);
            break;
        }
        case ExprKind::In: {
            const auto& in = static_cast<const InExpr&>(e);
            walk(in.value);
            for (const ExprPtr& x : in.list) walk(x);
            if (in.subquery) WalkQuery(*in.subquery, fn);
            break;
        }
        case ExprKind::Like: {
            const auto& l = static_cast<const LikeExpr&>(e);
            walk(l.value);
            walk(l.pattern);
            walk(l.escape);
            break;
        }
        case ExprKind::IsNull: walk(static_cast<const IsNullExpr&>(e).value); break;
        case ExprKind::Exists: WalkQuery(*static_cast<const ExistsExpr&>(e).query, fn); break;
        case ExprKind::Case: {
            const auto& c = static_cast<const CaseExpr&>(e);
            walk(c.base);
            for (const auto& w : c.whens) {
                walk(w.first);
                walk(w.second);
            }
            walk(c.otherwise);
            break;
        }
        case ExprKind::Function:
            for (const ExprPtr& a : static_cast<const FunctionExpr&>(e).args) walk(a);
            break;
        case ExprKind::Convert: {
            const auto& c = static_cast<const ConvertExpr&>(e);
            walk(c.value);
            walk(c.style);
            break;
        }
        case ExprKind::Subquery: WalkQuery(*static_cast<const SubqueryExpr&>(e).query, fn); break;
        case ExprKind::Collate: walk(static_cast<const CollateExpr&>(e).operand); break;
        default: break;
    }
}

}  // namespace qv::tsql
