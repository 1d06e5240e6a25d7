#pragma once
// Splits T-SQL text into tokens. White space (blanks, tabs, line breaks) and comments separate
// tokens and are dropped.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qv::tsql {

enum class TokenKind {
    Identifier,        // plain name or keyword; `text` as written
    QuotedIdentifier,  // [name] or "name"; `text` is the name without the quotes
    String,            // '...' or N'...'; `text` is the value, quotes undoubled
    Integer,           // digits
    Decimal,           // digits with a point, or with an exponent
    Hex,               // 0x...; `text` is the digits after 0x
    Variable,          // @name; `text` is the name without '@'
    GlobalVariable,    // @@name; `text` is the name without '@@'
    Operator,          // punctuation: ( ) , . ; + - * / % & | ^ ~ = <> != !< !> < > <= >=
    End,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    std::size_t offset = 0;  // byte offset in the source
    bool unicode = false;    // N'...' string
    // String, Integer and Decimal tokens whose value a parameter can carry are numbered from 0
    // in the order they stand; -1 for every other token.
    int literal = -1;

    bool IsOp(std::string_view op) const { return kind == TokenKind::Operator && text == op; }
    // A plain identifier equal to `word`, ignoring ASCII case.
    bool IsWord(std::string_view word) const;
};

// Throws TranslateError on an unterminated string, quoted name or comment, or a stray character.
std::vector<Token> Tokenize(std::string_view sql);

bool EqualsNoCase(std::string_view a, std::string_view b);
std::string ToLowerAscii(std::string_view s);

}  // namespace qv::tsql
