#pragma once
// Splits a batch into T-SQL tokens the way the server's lexer does: regular, [bracketed] and
// "quoted" identifiers, '…' and N'…' literals with doubled quotes, numbers, @variables,
// symbols, with -- and nested /* */ comments and white space dropped. Used by the parser.

#include "Results.h"

#include <string>
#include <string_view>
#include <vector>

namespace testserver {

enum class TokenKind {
    Identifier,
    QuotedIdentifier,
    String,
    Integer,
    Number,
    Variable,
    Symbol,
    End
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;      // identifier name or string contents with quoting undone; symbol itself
    bool national = false; // N'…'
    int line = 1;

    bool isWord(std::string_view upperWord) const; // a regular identifier spelled so, any case
    bool isReservedKeyword() const;
    bool isSymbol(std::string_view s) const { return kind == TokenKind::Symbol && text == s; }
    bool isName() const; // an identifier usable as a name: bracketed, quoted, or not reserved
};

struct TokenizeResult {
    std::vector<Token> tokens;   // always ends with an End token
    std::vector<Message> errors; // non-empty: the batch does not compile
};

// With quotedIdentifier off (the server's setting for non-ODBC clients), "…" is a string.
TokenizeResult tokenize(std::string_view sql, bool quotedIdentifier);

bool isReservedKeyword(std::string_view word);

} // namespace testserver
