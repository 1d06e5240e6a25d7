#pragma once
// UTF-8 at every boundary (SQLite, Qt, files, HTTP); wide strings (one element per character) inside.
#include <string>
#include <string_view>

namespace qv {
std::string ToUtf8(std::wstring_view w);
// Invalid sequences become U+FFFD; never throws.
std::wstring FromUtf8(std::string_view s);
}  // namespace qv
