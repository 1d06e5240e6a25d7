#pragma once
// Upper and lower case of single characters and whole texts, independent of setlocale: German
// umlauts and the Latin letters come from our own table, everything else from the C.UTF-8 locale
// object when the C library has one. ß has no single-character capital and stays ß.
#include <string>
#include <string_view>

namespace qv {
wchar_t ToUpper(wchar_t c);
wchar_t ToLower(wchar_t c);
std::wstring ToUpper(std::wstring_view s);
std::wstring ToLower(std::wstring_view s);
// <0, 0, >0 after folding both sides to lower case, then comparing code points.
int CompareNoCase(std::wstring_view a, std::wstring_view b);
}  // namespace qv
