#include "tsqltext.h"
#include <array>
#include <vector>

namespace qv::sql::text {

struct LikePattern::Token {
    enum Kind { Any, One, Class } kind;
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;  // a literal is a one-letter class
};

namespace {

constexpr char32_t kEscapeBase = 0xDC00;  // U+DC80..U+DCFF carry undecodable bytes

// Decodes one code point and advances `p`; never reads past `e`.
char32_t Next(const unsigned char*& p, const unsigned char* e) {
    unsigned char b = *p;
    if (b < 0x80) {
        ++p;
        return b;
    }
    int len = 0;
    char32_t cp = 0, min = 0;
    if (b >= 0xC2 && b <= 0xDF) len = 2, cp = b & 0x1F, min = 0x80;
    else if (b >= 0xE0 && b <= 0xEF) len = 3, cp = b & 0x0F, min = 0x800;
    else if (b >= 0xF0 && b <= 0xF4) len = 4, cp = b & 0x07, min = 0x10000;
    if (len == 0 || e - p < len) {
        ++p;
        return kEscapeBase + b;
    }
    for (int i = 1; i < len; ++i) {
        unsigned char c = p[i];
        if ((c & 0xC0) != 0x80) {
            ++p;
            return kEscapeBase + b;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++p;
        return kEscapeBase + b;
    }
    p += len;
    return cp;
}

void Append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c >= 0xDC80 && c <= 0xDCFF) {
        out += char(c - kEscapeBase);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
        Append(out, 0xFFFD);
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// The letter a lower-case character sorts with: its unaccented form.
struct BaseTable {
    std::array<char32_t, 0x180> base{};
    BaseTable() {
        for (char32_t c = 0; c < base.size(); ++c) base[c] = c;
        struct R {
            char32_t from, to, letter;
        };
        static constexpr R ranges[] = {
            {0xDF, 0xDF, 's'},    {0xE0, 0xE5, 'a'},    {0xE7, 0xE7, 'c'},    {0xE8, 0xEB, 'e'},
            {0xEC, 0xEF, 'i'},    {0xF0, 0xF0, 'd'},    {0xF1, 0xF1, 'n'},    {0xF2, 0xF6, 'o'},
            {0xF8, 0xF8, 'o'},    {0xF9, 0xFC, 'u'},    {0xFD, 0xFD, 'y'},    {0xFF, 0xFF, 'y'},
            {0x100, 0x105, 'a'},  {0x106, 0x10D, 'c'},  {0x10E, 0x111, 'd'},  {0x112, 0x11B, 'e'},
            {0x11C, 0x123, 'g'},  {0x124, 0x127, 'h'},  {0x128, 0x131, 'i'},  {0x134, 0x135, 'j'},
            {0x136, 0x138, 'k'},  {0x139, 0x142, 'l'},  {0x143, 0x149, 'n'},  {0x14C, 0x151, 'o'},
            {0x154, 0x159, 'r'},  {0x15A, 0x161, 's'},  {0x162, 0x167, 't'},  {0x168, 0x173, 'u'},
            {0x174, 0x175, 'w'},  {0x176, 0x178, 'y'},  {0x179, 0x17E, 'z'},  {0x17F, 0x17F, 's'},
        };
        for (const R& r : ranges)
            for (char32_t c = r.from; c <= r.to; ++c) base[c] = r.letter;
    }
};

char32_t Base(char32_t lower) {
    static const BaseTable t;
    return lower < t.base.size() ? t.base[lower] : lower;
}

std::string_view TrimTrailingBlanks(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

template <class Key>
int CompareBy(std::string_view a, std::string_view b, Key key) {
    auto pa = reinterpret_cast<const unsigned char*>(a.data()), ea = pa + a.size();
    auto pb = reinterpret_cast<const unsigned char*>(b.data()), eb = pb + b.size();
    while (pa < ea && pb < eb) {
        char32_t ka = key(Next(pa, ea)), kb = key(Next(pb, eb));
        if (ka != kb) return ka < kb ? -1 : 1;
    }
    if (pa < ea) return 1;
    if (pb < eb) return -1;
    return 0;
}

using Token = LikePattern::Token;

bool Matches(const Token& t, char32_t c) {
    if (t.kind == Token::One) return true;
    bool in = false;
    for (auto& [lo, hi] : t.ranges)
        if (CompareCharCi(lo, c) <= 0 && CompareCharCi(c, hi) <= 0) {
            in = true;
            break;
        }
    return in != t.negated;
}

std::vector<Token> Parse(std::u32string_view p, char32_t escape) {
    std::vector<Token> out;
    for (std::size_t i = 0; i < p.size(); ++i) {
        char32_t c = p[i];
        if (escape && c == escape && i + 1 < p.size()) {
            out.push_back({Token::Class, false, {{p[i + 1], p[i + 1]}}});
            ++i;
        } else if (c == '%') {
            if (out.empty() || out.back().kind != Token::Any) out.push_back({Token::Any, false, {}});
        } else if (c == '_') {
            out.push_back({Token::One, false, {}});
        } else if (c == '[') {
            Token t{Token::Class, false, {}};
            std::size_t j = i + 1;
            if (j < p.size() && p[j] == '^') t.negated = true, ++j;
            // The first member may be ']' itself; an unclosed '[' is a plain character.
            std::size_t close = j < p.size() ? p.find(']', j + 1) : std::u32string_view::npos;
            if (close == std::u32string_view::npos) {
                out.push_back({Token::Class, false, {{c, c}}});
                continue;
            }
            while (j < close) {
                if (j + 2 < close && p[j + 1] == '-') {
                    t.ranges.push_back({p[j], p[j + 2]});
                    j += 3;
                } else {
                    t.ranges.push_back({p[j], p[j]});
                    ++j;
                }
            }
            out.push_back(std::move(t));
            i = close;
        } else {
            out.push_back({Token::Class, false, {{c, c}}});
        }
    }
    return out;
}

// Greedy match with backtracking to the last %, linear in practice.
bool MatchTokens(const std::vector<Token>& t, std::u32string_view v) {
    std::size_t p = 0, i = 0, starP = std::string::npos, starI = 0;
    while (i < v.size()) {
        if (p < t.size() && t[p].kind == Token::Any) {
            starP = ++p;
            starI = i;
        } else if (p < t.size() && Matches(t[p], v[i])) {
            ++p, ++i;
        } else if (starP != std::string::npos) {
            p = starP;
            i = ++starI;
        } else {
            return false;
        }
    }
    while (p < t.size() && t[p].kind == Token::Any) ++p;
    return p == t.size();
}

}  // namespace

std::u32string Decode(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    auto p = reinterpret_cast<const unsigned char*>(utf8.data()), e = p + utf8.size();
    while (p < e) out += Next(p, e);
    return out;
}

std::string Encode(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) Append(out, c);
    return out;
}

std::size_t Length(std::string_view utf8) {
    std::size_t n = 0;
    auto p = reinterpret_cast<const unsigned char*>(utf8.data()), e = p + utf8.size();
    while (p < e) Next(p, e), ++n;
    return n;
}

char32_t Lower(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    if (c < 0x100 || c > 0x17F) return c;
    if (c == 0x130) return 'i';
    if (c == 0x178) return 0xFF;
    bool evenUpper = (c <= 0x137 && c != 0x131) || (c >= 0x14A && c <= 0x177);
    bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (evenUpper && c % 2 == 0) return c + 1;
    if (oddUpper && c % 2 == 1) return c + 1;
    return c;
}

char32_t Upper(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c < 0x100 || c > 0x17F) return c;
    if (c == 0x131) return 'I';
    if (c == 0x17F) return 'S';
    bool oddLower = (c <= 0x137 && c != 0x130) || (c >= 0x14B && c <= 0x177);
    bool evenLower = (c >= 0x13A && c <= 0x148) || (c >= 0x17A && c <= 0x17E);
    if (oddLower && c % 2 == 1) return c - 1;
    if (evenLower && c % 2 == 0) return c - 1;
    return c;
}

std::string Lower(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    auto p = reinterpret_cast<const unsigned char*>(utf8.data()), e = p + utf8.size();
    while (p < e) Append(out, Lower(Next(p, e)));
    return out;
}

std::string Upper(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    auto p = reinterpret_cast<const unsigned char*>(utf8.data()), e = p + utf8.size();
    while (p < e) Append(out, Upper(Next(p, e)));
    return out;
}

int CompareCi(std::string_view a, std::string_view b) {
    a = TrimTrailingBlanks(a);
    b = TrimTrailingBlanks(b);
    // Base letters first, then the folded letters, so the order is total and equality is exactly
    // equality after folding.
    if (int r = CompareBy(a, b, [](char32_t c) { return Base(Lower(c)); })) return r;
    return CompareBy(a, b, [](char32_t c) { return Lower(c); });
}

int CompareCs(std::string_view a, std::string_view b) {
    return CompareBy(TrimTrailingBlanks(a), TrimTrailingBlanks(b), [](char32_t c) { return c; });
}

int CompareCharCi(char32_t a, char32_t b) {
    char32_t la = Lower(a), lb = Lower(b);
    char32_t ba = Base(la), bb = Base(lb);
    if (ba != bb) return ba < bb ? -1 : 1;
    if (la != lb) return la < lb ? -1 : 1;
    return 0;
}

LikePattern::LikePattern(std::u32string_view pattern, char32_t escape) : tokens_(Parse(pattern, escape)) {}
LikePattern::~LikePattern() = default;
LikePattern::LikePattern(LikePattern&&) noexcept = default;
LikePattern& LikePattern::operator=(LikePattern&&) noexcept = default;

bool LikePattern::Match(std::u32string_view value) const {
    const auto& t = tokens_;
    std::size_t core = value.size();
    while (core > 0 && value[core - 1] == ' ') --core;
    if (core == value.size() || (!t.empty() && t.back().kind == Token::Any)) return MatchTokens(t, value);
    // The pattern may match the value with any number of its trailing blanks left off.
    if (!t.empty() && !Matches(t.back(), ' ')) return MatchTokens(t, value.substr(0, core));
    for (std::size_t n = core; n <= value.size(); ++n)
        if (MatchTokens(t, value.substr(0, n))) return true;
    return false;
}

bool Like(std::u32string_view pattern, std::u32string_view value, char32_t escape) {
    return LikePattern(pattern, escape).Match(value);
}

std::size_t Find(std::u32string_view hay, std::u32string_view needle, std::size_t from, bool caseInsensitive) {
    if (needle.empty() || needle.size() > hay.size() || from > hay.size()) return std::u32string_view::npos;
    if (!caseInsensitive) return hay.find(needle, from);
    // Both folded once, then one plain search: a search runs this for every record it reads.
    std::u32string h(hay), n(needle);
    for (char32_t& c : h) c = Lower(c);
    for (char32_t& c : n) c = Lower(c);
    return std::u32string_view(h).find(n, from);
}

std::size_t FindAscii(std::string_view hay, std::string_view needle, std::size_t from, bool caseInsensitive) {
    if (needle.empty() || needle.size() > hay.size() || from > hay.size()) return std::string_view::npos;
    if (!caseInsensitive) return hay.find(needle, from);
    // Compared in place: a search runs this for every row it looks at.
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
    const char first = fold(needle[0]);
    for (std::size_t i = from; i + needle.size() <= hay.size(); ++i) {
        if (fold(hay[i]) != first) continue;
        std::size_t j = 1;
        while (j < needle.size() && fold(hay[i + j]) == fold(needle[j])) ++j;
        if (j == needle.size()) return i;
    }
    return std::string_view::npos;
}

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace qv::sql::text
