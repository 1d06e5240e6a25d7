#pragma once
// Recursive-descent parser for the T-SQL batches the suite sends: statements follow each other
// with or without semicolons, and their boundaries are found by the grammar.
#include "tsqlast.h"

#include <string_view>

namespace qv::tsql {

// Throws TranslateError for anything outside the supported subset, naming the construct and
// its offset.
Batch ParseBatch(std::string_view sql);

}  // namespace qv::tsql
