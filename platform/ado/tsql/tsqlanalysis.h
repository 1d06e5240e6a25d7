#pragma once
// What the printers need to know about an expression beyond its shape: the type T-SQL would
// give it (as far as the text shows it) and the explicit collation it carries.
#include "tsqlast.h"

#include <functional>
#include <string>
#include <vector>

namespace qv::tsql {

enum class ValueType { Unknown, Text, Number, Date };

// `variables` are the batch's declared variables (for their types).
ValueType TypeOf(const Expr& e, const std::vector<VariableDecl>& variables);
ValueType TypeOfTypeName(const std::string& type);

// The collation named by a COLLATE clause in `e` that T-SQL lets reach the value of `e`
// (through +, CASE branches and ISNULL/COALESCE); empty when there is none.
std::string ExplicitCollation(const Expr& e);
// Case-sensitive (_CS_) and binary (_BIN) collations.
bool IsCaseSensitiveCollation(const std::string& collation);

// A plain column reference (its value carries the column's declared collation).
bool IsColumn(const Expr& e);

// A function name with a leading "dbo." (or other schema) removed, in lower case.
std::string FunctionName(const FunctionExpr& f);

// Calls `fn` for `e` and every expression inside it, sub-queries included.
void WalkExpr(const Expr& e, const std::function<void(const Expr&)>& fn);
void WalkQuery(const Query& q, const std::function<void(const Expr&)>& fn);

}  // namespace qv::tsql
