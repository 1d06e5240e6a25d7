#include "printerbase.h"

#include "tsqlanalysis.h"
#include "tsqlerror.h"
#include "tsqllexer.h"

#include <algorithm>

namespace qv::tsql {

namespace {

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

PrinterBase::PrinterBase(const Dialect& dialect, const Levels& levels, const std::vector<VariableDecl>& variables,
                         int trancountSlot)
    : dialect_(dialect), level_(levels), variables_(variables), trancountSlot_(trancountSlot) {}

void PrinterBase::Unsupported(const std::string& what, std::size_t pos) const {
    throw TranslateError(dialect_.refusal + what, pos);
}

std::string PrinterBase::Enclosed(const std::string& s, char quote) {
    std::string out(1, quote);
    for (char c : s) {
        out += c;
        if (c == quote) out += quote;
    }
    return out + quote;
}

std::vector<int> PrinterBase::TakeUsedSlots() {
    std::vector<int> out;
    out.swap(used_);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

// ---- names ---------------------------------------------------------------------------------

std::string PrinterBase::TableName(const Name& name, std::size_t pos) {
    if (name.size() == 2 && IsSchema(name[0])) return Identifier(name[1]);
    if (name.size() == 1) return Identifier(name[0]);
    Unsupported("table name '" + name[0].name + "." + name[1].name + (name.size() > 2 ? "...'" : "'"), pos);
}

std::string PrinterBase::ColumnName(const Name& name, std::size_t pos) {
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

std::string PrinterBase::MapCollation(const std::string& collation) const {
    return IsCaseSensitiveCollation(collation) ? dialect_.caseSensitive : dialect_.caseInsensitive;
}

// ---- expressions ---------------------------------------------------------------------------

std::string PrinterBase::Expression(const Expr& e) { return Print(e).text; }

std::string PrinterBase::Wrap(Out o, int minPrec) {
    if (o.prec < minPrec) return "(" + o.text + ")";
    return std::move(o.text);
}

std::string PrinterBase::Wrap(const Expr& e, int minPrec) { return Wrap(Print(e), minPrec); }

PrinterBase::Out PrinterBase::Infix(const BinaryExpr& b, const char* op, int prec) {
    return {Wrap(*b.left, prec) + " " + op + " " + Wrap(*b.right, prec + 1), prec};
}

std::string PrinterBase::CollatedOperand(const Expr& e, const std::string& collation) {
    return Wrap(e, level_.collateOperand) + " COLLATE " + collation;
}

bool PrinterBase::NeedsCaseInsensitive(const std::vector<const Expr*>& operands) const {
    bool text = false;
    for (const Expr* e : operands) {
        if (IsColumn(*e)) return false;  // the column's declared collation decides
        if (TypeOf(*e, variables_) == ValueType::Text) text = true;
    }
    return text;
}

std::string PrinterBase::ComparedOperand(const Expr& e, const std::vector<const Expr*>& operands, int prec) {
    const std::string c = ExplicitCollation(e);
    if (!c.empty() && e.kind != ExprKind::Collate) return CollatedOperand(e, MapCollation(c));
    if (c.empty() && NeedsCaseInsensitive(operands)) return CollatedOperand(e, dialect_.caseInsensitive);
    return Wrap(e, prec);
}

PrinterBase::Out PrinterBase::PrintComparison(const Expr& left, const char* op, const Expr& right, int prec) {
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

PrinterBase::Out PrinterBase::PrintBinary(const BinaryExpr& b) {
    switch (b.op) {
        // A right operand of the same operator keeps its parentheses: long chains are grouped so
        // that the database's parser does not build a tree one level deeper per operator.
        case BinaryOp::Or: return Infix(b, "OR", kOr);
        case BinaryOp::And: return Infix(b, "AND", kAnd);
        case BinaryOp::Eq: return PrintComparison(*b.left, "=", *b.right, level_.equal);
        case BinaryOp::Ne: return PrintComparison(*b.left, "<>", *b.right, level_.equal);
        case BinaryOp::Lt: return PrintComparison(*b.left, "<", *b.right, level_.relation);
        case BinaryOp::Le: return PrintComparison(*b.left, "<=", *b.right, level_.relation);
        case BinaryOp::Gt: return PrintComparison(*b.left, ">", *b.right, level_.relation);
        case BinaryOp::Ge: return PrintComparison(*b.left, ">=", *b.right, level_.relation);
        case BinaryOp::Add: return PrintAdd(b);
        case BinaryOp::Sub: return Infix(b, "-", level_.add);
        case BinaryOp::Mul: return Infix(b, "*", level_.mul);
        case BinaryOp::Div: return Infix(b, "/", level_.mul);
        case BinaryOp::Mod: return Infix(b, "%", level_.mul);
        case BinaryOp::BitAnd: return Infix(b, "&", level_.bit);
        case BinaryOp::BitOr: return Infix(b, "|", level_.bit);
        case BinaryOp::BitXor: return PrintXor(b);
    }
    Unsupported("operator", b.pos);
}

PrinterBase::Out PrinterBase::PrintCase(const CaseExpr& c) {
    std::string out = "CASE";
    if (c.base) {
        std::vector<const Expr*> operands{c.base.get()};
        for (const auto& w : c.whens) operands.push_back(w.first.get());
        out += " " + ComparedOperand(*c.base, operands, level_.caseOperand);
    }
    for (const auto& w : c.whens) out += " WHEN " + Expression(*w.first) + " THEN " + Expression(*w.second);
    if (c.otherwise) out += " ELSE " + Expression(*c.otherwise);
    return {out + " END", kAtom};
}

PrinterBase::Out PrinterBase::PrintLiteral(const LiteralExpr& lit) {
    switch (lit.type) {
        case LiteralExpr::Type::Integer:
        case LiteralExpr::Type::Decimal:
            // A leading '-' is an operator to the database.
            return {lit.text, lit.text[0] == '-' ? kUnary : kAtom};
        case LiteralExpr::Type::String:
        case LiteralExpr::Type::DatePart: return {Quote(lit.text), kAtom};
        case LiteralExpr::Type::Null: return {"NULL", kAtom};
    }
    Unsupported("expression", lit.pos);
}

PrinterBase::Out PrinterBase::Print(const Expr& e) {
    StopPoint();
    switch (e.kind) {
        case ExprKind::Literal: return PrintLiteral(static_cast<const LiteralExpr&>(e));
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
                case UnaryOp::BitNot: return {"~" + Wrap(*u.operand, kAtom), level_.bitNot};
            }
            break;
        }
        case ExprKind::Binary: return PrintBinary(static_cast<const BinaryExpr&>(e));
        case ExprKind::Between: {
            const auto& b = static_cast<const BetweenExpr&>(e);
            const int operand = level_.betweenOperand;
            const std::string value = ComparedOperand(*b.value, {b.value.get(), b.low.get(), b.high.get()}, operand);
            return {value + (b.negated ? " NOT BETWEEN " : " BETWEEN ") + Wrap(*b.low, operand) + " AND " +
                        Wrap(*b.high, operand),
                    level_.between};
        }
        case ExprKind::In: {
            const auto& in = static_cast<const InExpr&>(e);
            std::vector<const Expr*> operands{in.value.get()};
            for (const ExprPtr& item : in.list) operands.push_back(item.get());
            const std::string value = ComparedOperand(*in.value, operands, level_.inValue);
            std::string list;
            if (in.subquery) {
                list = Query(*in.subquery);
            } else {
                for (const ExprPtr& item : in.list) list += (list.empty() ? "" : ", ") + Expression(*item);
            }
            return {value + (in.negated ? " NOT IN (" : " IN (") + list + ")", level_.in};
        }
        case ExprKind::Like: return PrintLike(static_cast<const LikeExpr&>(e));
        case ExprKind::IsNull: {
            const auto& n = static_cast<const IsNullExpr&>(e);
            return {Wrap(*n.value, level_.isNull + 1) + (n.negated ? " IS NOT NULL" : " IS NULL"), level_.isNull};
        }
        case ExprKind::Exists: return {"EXISTS (" + Query(*static_cast<const ExistsExpr&>(e).query) + ")", kAtom};
        case ExprKind::Case: return PrintCase(static_cast<const CaseExpr&>(e));
        case ExprKind::Function: return PrintFunction(static_cast<const FunctionExpr&>(e));
        case ExprKind::Convert: return PrintConvert(static_cast<const ConvertExpr&>(e));
        case ExprKind::Subquery: return {"(" + Query(*static_cast<const SubqueryExpr&>(e).query) + ")", kAtom};
        case ExprKind::Collate: {
            const auto& c = static_cast<const CollateExpr&>(e);
            return {Wrap(*c.operand, level_.collateOperand) + " COLLATE " + MapCollation(c.collation), kCollate};
        }
        case ExprKind::Star: Unsupported("'*' outside a select list", e.pos);
    }
    Unsupported("expression", e.pos);
}

// ---- functions -----------------------------------------------------------------------------

bool PrinterBase::IsDatabaseFunction(const FunctionExpr& f) {
    bool qualified = false;
    if (f.name.size() == 2 && IsSchema(f.name[0])) {
        qualified = true;
    } else if (f.name.size() != 1) {
        Unsupported("function name '" + f.name[0].name + "." + f.name[1].name + "'", f.pos);
    }
    if (!qualified && FunctionName(f).rfind("fn_", 0) != 0) return false;
    if (f.star || f.distinct) Unsupported("'*' or DISTINCT in " + f.name.back().name + "()", f.pos);
    return true;
}

std::string PrinterBase::Arguments(const FunctionExpr& f, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < f.args.size(); ++i) out += (out.empty() ? "" : ", ") + Expression(*f.args[i]);
    return out;
}

void PrinterBase::Arity(const FunctionExpr& f, std::size_t lo, std::size_t hi) const {
    if (f.star || f.args.size() < lo || f.args.size() > hi) {
        throw TranslateError("wrong number of arguments for " + f.name.back().name + "()", f.pos);
    }
}

bool PrinterBase::CaseSensitiveArguments(const FunctionExpr& f) {
    bool caseSensitive = false;
    for (const ExprPtr& a : f.args) {
        const std::string c = ExplicitCollation(*a);
        if (!c.empty()) caseSensitive = IsCaseSensitiveCollation(c);
    }
    return caseSensitive;
}

PrinterBase::Out PrinterBase::Call(const std::string& name, const FunctionExpr& f, std::size_t lo, std::size_t hi) {
    Arity(f, lo, hi);
    return {name + "(" + Arguments(f) + ")", kAtom};
}

// ---- queries -------------------------------------------------------------------------------

std::string PrinterBase::Source(const TableSource& src) {
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

bool PrinterBase::SortsAsText(const Expr& e) const {
    return !IsColumn(e) && ExplicitCollation(e).empty() && TypeOf(e, variables_) != ValueType::Number &&
           e.kind != ExprKind::Literal;
}

std::string PrinterBase::CaseInsensitiveKey(const Expr& e) {
    if (!SortsAsText(e)) return Expression(e);
    return CollatedOperand(e, dialect_.caseInsensitive);
}

const SelectItem* PrinterBase::AliasedItem(const Expr& e, const SelectCore& core) {
    if (e.kind != ExprKind::Column || static_cast<const ColumnExpr&>(e).name.size() != 1) return nullptr;
    const std::string& name = static_cast<const ColumnExpr&>(e).name[0].name;
    for (const SelectItem& item : core.items) {
        if (item.hasAlias && EqualsNoCase(item.alias.name, name)) return &item;
    }
    return nullptr;
}

std::string PrinterBase::OrderBy(const std::vector<OrderItem>& items, const SelectCore& first) {
    std::string out;
    for (const OrderItem& item : items) {
        out += (out.empty() ? " ORDER BY " : ", ") + OrderKey(*item.expr, first);
        if (item.descending) out += " DESC";
    }
    return out;
}

std::string PrinterBase::SelectedValue(const Expr& e, bool distinct) {
    return distinct ? CaseInsensitiveKey(e) : Expression(e);
}

// The alias keeps its case: it is the name the caller reads the column by.
std::string PrinterBase::ResultName(const Ident& alias) { return QuotedName(alias.name); }

std::string PrinterBase::Limit(const Expr& top) { return Wrap(top, kAtom); }

std::string PrinterBase::Core(const SelectCore& core, const std::vector<OrderItem>* orderBy, bool withLimit,
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
        out += SelectedValue(*item.expr, core.distinct);
        if (item.hasAlias) out += " AS " + ResultName(item.alias);
    }
    if (!extraItem.empty()) out += ", " + extraItem;
    if (core.from) out += " FROM " + Source(*core.from);
    if (core.where) out += " WHERE " + Expression(*core.where);
    for (std::size_t i = 0; i < core.groupBy.size(); ++i) {
        out += (i == 0 ? " GROUP BY " : ", ") + GroupKey(*core.groupBy[i]);
    }
    if (core.having) out += " HAVING " + Expression(*core.having);
    if (orderBy) out += OrderBy(*orderBy, core);
    if (withLimit && core.top) out += " LIMIT " + Limit(*core.top);
    return out;
}

std::string PrinterBase::Query(const struct Query& q) {
    if (q.cores.size() == 1) return Core(q.cores[0], &q.orderBy, true);
    static const char* const kOps[] = {" UNION ", " UNION ALL ", " EXCEPT ", " INTERSECT "};
    std::string out;
    for (std::size_t i = 0; i < q.cores.size(); ++i) {
        if (i > 0) out += kOps[static_cast<int>(q.ops[i - 1])];
        const SelectCore& core = q.cores[i];
        // TOP belongs to its own SELECT in T-SQL; a LIMIT here would cut the whole compound.
        if (core.top) {
            out += "SELECT * FROM (" + Core(core, nullptr, true) + ")";
            if (*dialect_.topAlias) out += " AS " + std::string(dialect_.topAlias) + std::to_string(i);
        } else {
            out += Core(core, nullptr, false);
        }
    }
    return out + OrderBy(q.orderBy, q.cores[0]);
}

std::string PrinterBase::SingleTableRef(const SelectStmt& stmt) {
    const struct Query& q = stmt.query;
    if (q.cores.size() != 1 || !q.cores[0].from || q.cores[0].from->kind != TableSource::Kind::Table) {
        Unsupported("row identity of a query that is not on one table", stmt.pos);
    }
    const TableSource& t = *q.cores[0].from;
    return t.hasAlias ? Identifier(t.alias) : TableName(t.table, t.pos);
}

// ---- statements ----------------------------------------------------------------------------

std::string PrinterBase::Insert(const InsertStmt& s) {
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

std::string PrinterBase::SetColumn(const SetClause& set, const UpdateStmt& s, const std::string& targetRef) {
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

std::string PrinterBase::SetList(const UpdateStmt& s, const std::string& targetRef) {
    std::string out;
    for (const SetClause& set : s.sets) {
        out += (out.empty() ? "" : ", ") + SetColumn(set, s, targetRef) + " = " + Expression(*set.value);
    }
    return out;
}

std::string PrinterBase::Update(const UpdateStmt& s) {
    const std::string table = TableName(s.target, s.pos);
    const std::string where = s.where ? " WHERE " + Expression(*s.where) : std::string();
    if (!s.from) return "UPDATE " + table + " SET " + SetList(s, BaseName(s.target).name) + where;
    const TableSource* occ = FindTarget(s.target, *s.from, s.pos);
    if (!occ) {
        // The target is not repeated in FROM: UPDATE ... FROM means the same.
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
    // The target stands among the joins. The database would join a second copy of it, so update
    // the target's rows that the join yields, each with the values of its first joined row.
    const std::string row = dialect_.rowIdentity;
    const std::string occRow = Identifier(Ident{ref, occ->hasAlias ? occ->alias.quoted : false}) + "." + row;
    const std::string from = " FROM " + Source(*s.from);
    std::string columns, values;
    for (const SetClause& set : s.sets) {
        columns += (columns.empty() ? "" : ", ") + SetColumn(set, s, ref);
        values += (values.empty() ? "" : ", ") + Expression(*set.value);
    }
    const std::string condition = s.where ? " AND (" + Expression(*s.where) + ")" : std::string();
    std::string out = "UPDATE " + realTable + " AS __qv_t SET ";
    out += s.sets.size() == 1 ? columns + " = " : "(" + columns + ") = ";
    out += "(SELECT " + values + from + " WHERE " + occRow + " = __qv_t." + row + condition + " LIMIT 1)";
    return out + " WHERE __qv_t." + row + " IN (SELECT " + occRow + from + where + ")";
}

std::string PrinterBase::Delete(const DeleteStmt& s) {
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
    const std::string row = dialect_.rowIdentity;
    return "DELETE FROM " + realTable + " WHERE " + row + " IN (SELECT " + Identifier(Ident{ref, false}) + "." + row +
           " FROM " + Source(*s.from) + where + ")";
}

std::string PrinterBase::Statement(const Stmt& stmt) {
    switch (stmt.kind) {
        case StmtKind::Select: return Query(static_cast<const SelectStmt&>(stmt).query);
        case StmtKind::Insert: return Insert(static_cast<const InsertStmt&>(stmt));
        case StmtKind::Update: return Update(static_cast<const UpdateStmt&>(stmt));
        case StmtKind::Delete: return Delete(static_cast<const DeleteStmt&>(stmt));
        default: break;
    }
    Unsupported("statement", stmt.pos);
}

std::string PrinterBase::AssigningSelect(const SelectStmt& stmt) { return Query(stmt.query); }

std::string PrinterBase::ValueQuery(const Expr& e) { return "SELECT " + Expression(e); }

std::string PrinterBase::ConditionQuery(const Expr& cond) {
    return "SELECT CASE WHEN " + Expression(cond) + " THEN 1 ELSE 0 END";
}

}  // namespace qv::tsql
