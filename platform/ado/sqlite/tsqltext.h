#pragma once
// Text handling of the T-SQL runtime: UTF-8 code points, the case folding of the default
// collation, the QVCI and QVCS comparisons and T-SQL LIKE.
#include <string>
#include <string_view>
#include <vector>

namespace qv::sql::text {

// Bytes that are not valid UTF-8 decode to U+DC80..U+DCFF and encode back to the same byte, so
// cutting or folding a damaged text never loses or invents bytes.
std::u32string Decode(std::string_view utf8);
std::string Encode(std::u32string_view text);
// Number of code points (characters) in `utf8`.
std::size_t Length(std::string_view utf8);

// Simple case mapping for ASCII, Latin-1 and Latin Extended-A; other characters are unchanged.
// 'ß' has no single upper-case letter and stays.
char32_t Lower(char32_t c);
char32_t Upper(char32_t c);
std::string Lower(std::string_view utf8);
std::string Upper(std::string_view utf8);

// QVCI: case-insensitive, accent-sensitive ('a' <> 'ä'), trailing blanks ignored. Letters sort
// next to their unaccented form ('Ärzte' between 'Arzt' and 'Aster'); two texts compare equal only
// when they are equal after case folding.
int CompareCi(std::string_view a, std::string_view b);
// The same order for single characters (used for LIKE ranges).
int CompareCharCi(char32_t a, char32_t b);
// QVCS, the case-sensitive (and binary) collations: characters in code point order, trailing
// blanks ignored as T-SQL ignores them under every collation ('anna ' = 'anna').
int CompareCs(std::string_view a, std::string_view b);

// T-SQL LIKE under QVCI: % _ [abc] [a-f] [^x], `escape` (0 for none) makes the next character
// literal. Trailing blanks of the value are ignored, those of the pattern are not.
class LikePattern {
public:
    LikePattern(std::u32string_view pattern, char32_t escape);
    ~LikePattern();
    LikePattern(LikePattern&&) noexcept;
    LikePattern& operator=(LikePattern&&) noexcept;
    bool Match(std::u32string_view value) const;
    struct Token;  // one element of the compiled pattern

private:
    std::vector<Token> tokens_;
};
bool Like(std::u32string_view pattern, std::u32string_view value, char32_t escape);

// 0-based character position of `needle` in `hay` at or after `from`, or npos.
std::size_t Find(std::u32string_view hay, std::u32string_view needle, std::size_t from, bool caseInsensitive);
// The same on text of ASCII characters only, positions in bytes (which are its characters).
std::size_t FindAscii(std::string_view hay, std::string_view needle, std::size_t from, bool caseInsensitive);
bool IsAscii(std::string_view s);

}  // namespace qv::sql::text
