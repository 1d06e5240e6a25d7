#include "tsqllexer.h"

#include "tsqlerror.h"

#include <charconv>
#include <cstdint>

namespace qv::tsql {

namespace {

bool IsIdentStart(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '#' || c >= 0x80;
}

bool IsIdentPart(unsigned char c) {
    return IsIdentStart(c) || (c >= '0' && c <= '9') || c == '$' || c == '@';
}

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(unsigned char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Numbers beyond 64 bits keep their text: SQLite reads them as it reads them.
bool FitsParameter(const Token& t) {
    const char* first = t.text.data();
    const char* last = first + t.text.size();
    switch (t.kind) {
        case TokenKind::String: return true;
        case TokenKind::Integer: {
            std::int64_t v = 0;
            auto [ptr, ec] = std::from_chars(first, last, v);
            return ec == std::errc() && ptr == last;
        }
        case TokenKind::Decimal: {
            double v = 0;
            auto [ptr, ec] = std::from_chars(first, last, v);
            return ec == std::errc() && ptr == last;
        }
        default: return false;
    }
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string ToLowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool Token::IsWord(std::string_view word) const {
    return kind == TokenKind::Identifier && EqualsNoCase(text, word);
}

std::vector<Token> Tokenize(std::string_view sql) {
    std::vector<Token> tokens;
    tokens.reserve(sql.size() / 4 + 2);
    const std::size_t n = sql.size();
    std::size_t i = 0;
    int literals = 0;
    auto at = [&](std::size_t k) -> unsigned char {
        return k < n ? static_cast<unsigned char>(sql[k]) : 0;
    };

    while (i < n) {
        if ((tokens.size() & 255) == 0) StopPoint();
        const unsigned char c = at(i);
        if (IsSpace(c)) {
            ++i;
            continue;
        }
        if (c == '-' && at(i + 1) == '-') {
            while (i < n && sql[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && at(i + 1) == '*') {
            // Block comments nest in T-SQL.
            const std::size_t start = i;
            int depth = 0;
            do {
                if (at(i) == '/' && at(i + 1) == '*') {
                    ++depth;
                    i += 2;
                } else if (at(i) == '*' && at(i + 1) == '/') {
                    --depth;
                    i += 2;
                } else if (i >= n) {
                    throw TranslateError("unterminated comment", start);
                } else {
                    ++i;
                }
            } while (depth > 0);
            continue;
        }

        Token tok;
        tok.offset = i;

        if (c == '\'' || ((c == 'N' || c == 'n') && at(i + 1) == '\'')) {
            if (c != '\'') {
                tok.unicode = true;
                ++i;
            }
            ++i;
            tok.kind = TokenKind::String;
            for (;;) {
                // Up to the next quote in one piece.
                std::size_t end = i;
                while (end < n && sql[end] != '\'' && sql[end] != '\0') ++end;
                tok.text.append(sql.data() + i, end - i);
                i = end;
                if (i >= n) throw TranslateError("unterminated string literal", tok.offset);
                // SQLite would end the statement at a NUL and read something else than was sent.
                if (sql[i] == '\0') throw TranslateError("NUL character in string literal", i);
                if (at(i + 1) == '\'') {
                    tok.text += '\'';
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
        } else if (c == '[' || c == '"') {
            const char close = c == '[' ? ']' : '"';
            ++i;
            tok.kind = TokenKind::QuotedIdentifier;
            for (;;) {
                if (i >= n) throw TranslateError("unterminated quoted name", tok.offset);
                if (sql[i] == close) {
                    if (at(i + 1) == static_cast<unsigned char>(close)) {
                        tok.text += close;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (sql[i] == '\0') throw TranslateError("NUL character in quoted name", i);
                tok.text += sql[i++];
            }
        } else if (c == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X')) {
            i += 2;
            tok.kind = TokenKind::Hex;
            const std::size_t start = i;
            while (IsHexDigit(at(i))) ++i;
            tok.text.assign(sql.data() + start, i - start);
        } else if (IsDigit(c) || (c == '.' && IsDigit(at(i + 1)))) {
            tok.kind = TokenKind::Integer;
            const std::size_t start = i;
            while (IsDigit(at(i))) ++i;
            if (at(i) == '.') {
                tok.kind = TokenKind::Decimal;
                ++i;
                while (IsDigit(at(i))) ++i;
            }
            if ((at(i) == 'e' || at(i) == 'E') &&
                (IsDigit(at(i + 1)) ||
                 ((at(i + 1) == '+' || at(i + 1) == '-') && IsDigit(at(i + 2))))) {
                tok.kind = TokenKind::Decimal;
                ++i;
                if (at(i) == '+' || at(i) == '-') ++i;
                while (IsDigit(at(i))) ++i;
            }
            tok.text.assign(sql.data() + start, i - start);
        } else if (c == '@') {
            ++i;
            tok.kind = TokenKind::Variable;
            if (at(i) == '@') {
                ++i;
                tok.kind = TokenKind::GlobalVariable;
            }
            const std::size_t start = i;
            while (i < n && IsIdentPart(at(i))) ++i;
            tok.text.assign(sql.data() + start, i - start);
            if (tok.text.empty()) throw TranslateError("'@' without a variable name", tok.offset);
        } else if (IsIdentStart(c)) {
            tok.kind = TokenKind::Identifier;
            const std::size_t start = i;
            while (i < n && IsIdentPart(at(i))) ++i;
            tok.text.assign(sql.data() + start, i - start);
        } else {
            tok.kind = TokenKind::Operator;
            const unsigned char d = at(i + 1);
            if ((c == '<' && (d == '>' || d == '=')) || (c == '>' && d == '=') ||
                (c == '!' && (d == '=' || d == '<' || d == '>'))) {
                tok.text += static_cast<char>(c);
                tok.text += static_cast<char>(d);
                i += 2;
            } else if (std::string_view("(),.;+-*/%&|^~=<>").find(static_cast<char>(c)) !=
                       std::string_view::npos) {
                tok.text += static_cast<char>(c);
                ++i;
            } else if (c == 0) {
                throw TranslateError("unexpected NUL character", i);
            } else {
                throw TranslateError(std::string("unexpected character '") +
                                         static_cast<char>(c) + "'",
                                     i);
            }
        }
        if (FitsParameter(tok)) tok.literal = literals++;
        tokens.push_back(std::move(tok));
    }
    Token end;
    end.kind = TokenKind::End;
    end.offset = n;
    tokens.push_back(std::move(end));
    return tokens;
}

}  // namespace qv::tsql
