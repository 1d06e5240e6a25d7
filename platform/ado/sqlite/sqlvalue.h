#pragma once
// A value as the SQL engine sees it: NULL, integer, real, UTF-8 text or blob.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace qv::sql {

using Blob = std::vector<std::uint8_t>;
using Value = std::variant<std::monostate, std::int64_t, double, std::string, Blob>;

inline bool IsNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }

}  // namespace qv::sql
