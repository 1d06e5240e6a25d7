#include "tsqlast.h"

namespace qv::tsql {

ExistsExpr::ExistsExpr(std::size_t p, std::unique_ptr<Query> q) : Expr(ExprKind::Exists, p), query(std::move(q)) {}
ExistsExpr::~ExistsExpr() = default;

SubqueryExpr::SubqueryExpr(std::size_t p, std::unique_ptr<Query> q)
    : Expr(ExprKind::Subquery, p), query(std::move(q)) {}
SubqueryExpr::~SubqueryExpr() = default;

TableSource::TableSource() = default;
TableSource::~TableSource() = default;

const Ident& BaseName(const Name& name) { return name.back(); }

}  // namespace qv::tsql
