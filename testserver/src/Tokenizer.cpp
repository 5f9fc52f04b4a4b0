#include "Tokenizer.h"

#include "Text.h"

#include <algorithm>
#include <array>

namespace testserver {

namespace {

// The server's reserved words: a statement that stumbles on one of them says
// "Incorrect syntax near the keyword '…'." (156) instead of 102.
constexpr std::array kReserved = {
    "ADD",
    "ALL",
    "ALTER",
    "AND",
    "ANY",
    "AS",
    "ASC",
    "AUTHORIZATION",
    "BACKUP",
    "BEGIN",
    "BETWEEN",
    "BREAK",
    "BROWSE",
    "BULK",
    "BY",
    "CASCADE",
    "CASE",
    "CHECK",
    "CHECKPOINT",
    "CLOSE",
    "CLUSTERED",
    "COALESCE",
    "COLLATE",
    "COLUMN",
    "COMMIT",
    "COMPUTE",
    "CONSTRAINT",
    "CONTAINS",
    "CONTAINSTABLE",
    "CONTINUE",
    "CONVERT",
    "CREATE",
    "CROSS",
    "CURRENT",
    "CURRENT_DATE",
    "CURRENT_TIME",
    "CURRENT_TIMESTAMP",
    "CURRENT_USER",
    "CURSOR",
    "DATABASE",
    "DBCC",
    "DEALLOCATE",
    "DECLARE",
    "DEFAULT",
    "DELETE",
    "DENY",
    "DESC",
    "DISK",
    "DISTINCT",
    "DISTRIBUTED",
    "DOUBLE",
    "DROP",
    "DUMMY",
    "DUMP",
    "ELSE",
    "END",
    "ERRLVL",
    "ESCAPE",
    "EXCEPT",
    "EXEC",
    "EXECUTE",
    "EXISTS",
    "EXIT",
    "FETCH",
    "FILE",
    "FILLFACTOR",
    "FOR",
    "FOREIGN",
    "FREETEXT",
    "FREETEXTTABLE",
    "FROM",
    "FULL",
    "FUNCTION",
    "GOTO",
    "GRANT",
    "GROUP",
    "HAVING",
    "HOLDLOCK",
    "IDENTITY",
    "IDENTITY_INSERT",
    "IDENTITYCOL",
    "IF",
    "IN",
    "INDEX",
    "INNER",
    "INSERT",
    "INTERSECT",
    "INTO",
    "IS",
    "JOIN",
    "KEY",
    "KILL",
    "LEFT",
    "LIKE",
    "LINENO",
    "LOAD",
    "MERGE",
    "NATIONAL",
    "NOCHECK",
    "NONCLUSTERED",
    "NOT",
    "NULL",
    "NULLIF",
    "OF",
    "OFF",
    "OFFSETS",
    "ON",
    "OPEN",
    "OPENDATASOURCE",
    "OPENQUERY",
    "OPENROWSET",
    "OPENXML",
    "OPTION",
    "OR",
    "ORDER",
    "OUTER",
    "OVER",
    "PERCENT",
    "PIVOT",
    "PLAN",
    "PRECISION",
    "PRIMARY",
    "PRINT",
    "PROC",
    "PROCEDURE",
    "PUBLIC",
    "RAISERROR",
    "READ",
    "READTEXT",
    "RECONFIGURE",
    "REFERENCES",
    "REPLICATION",
    "RESTORE",
    "RESTRICT",
    "RETURN",
    "REVERT",
    "REVOKE",
    "RIGHT",
    "ROLLBACK",
    "ROWCOUNT",
    "ROWGUIDCOL",
    "RULE",
    "SAVE",
    "SCHEMA",
    "SELECT",
    "SESSION_USER",
    "SET",
    "SETUSER",
    "SHUTDOWN",
    "SOME",
    "STATISTICS",
    "SYSTEM_USER",
    "TABLE",
    "TABLESAMPLE",
    "TEXTSIZE",
    "THEN",
    "TO",
    "TOP",
    "TRAN",
    "TRANSACTION",
    "TRIGGER",
    "TRUNCATE",
    "TSEQUAL",
    "UNION",
    "UNIQUE",
    "UNPIVOT",
    "UPDATE",
    "UPDATETEXT",
    "USE",
    "USER",
    "VALUES",
    "VARYING",
    "VIEW",
    "WAITFOR",
    "WHEN",
    "WHERE",
    "WHILE",
    "WITH",
    "WRITETEXT",
};

bool isIdentStart(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '#' || c >= 0x80;
}

bool isIdentPart(unsigned char c)
{
    return isIdentStart(c) || (c >= '0' && c <= '9') || c == '@' || c == '$';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

class Lexer {
public:
    Lexer(std::string_view sql, bool quotedIdentifier) : m_sql(sql), m_quoted(quotedIdentifier) {}

    TokenizeResult run()
    {
        TokenizeResult r;
        while (skipBlanksAndComments(r)) {
            if (!r.errors.empty())
                return r;
            Token t;
            t.line = m_line;
            if (!next(t, r))
                return r;
            r.tokens.push_back(std::move(t));
        }
        if (!r.errors.empty())
            return r;
        Token end;
        end.line = m_line;
        r.tokens.push_back(end);
        return r;
    }

private:
    char at(std::size_t i) const { return i < m_sql.size() ? m_sql[i] : '\0'; }

    void advance(std::size_t n)
    {
        for (std::size_t k = 0; k < n && m_pos < m_sql.size(); ++k, ++m_pos)
            if (m_sql[m_pos] == '\n')
                ++m_line;
    }

    // Returns false at the end of the text.
    bool skipBlanksAndComments(TokenizeResult& r)
    {
        for (;;) {
            if (m_pos >= m_sql.size())
                return false;
            const char c = m_sql[m_pos];
            if (isSpace(c)) {
                advance(1);
            } else if (c == '-' && at(m_pos + 1) == '-') {
                while (m_pos < m_sql.size() && m_sql[m_pos] != '\n')
                    advance(1);
            } else if (c == '/' && at(m_pos + 1) == '*') {
                int depth = 0;
                for (;;) {
                    if (m_pos >= m_sql.size()) {
                        r.errors.push_back(
                            {113, 1, 15, "Missing end comment mark '*/'.", "", m_line});
                        return false;
                    }
                    if (at(m_pos) == '/' && at(m_pos + 1) == '*') {
                        ++depth;
                        advance(2);
                    } else if (at(m_pos) == '*' && at(m_pos + 1) == '/') {
                        advance(2);
                        if (--depth == 0)
                            break;
                    } else {
                        advance(1);
                    }
                }
            } else {
                return true;
            }
        }
    }

    // Reads text up to the closing `quote`, a doubled quote standing for one.
    bool readQuoted(char quote, std::string& out)
    {
        for (;;) {
            if (m_pos >= m_sql.size())
                return false;
            const char c = m_sql[m_pos];
            if (c == quote) {
                if (at(m_pos + 1) == quote) {
                    out += quote;
                    advance(2);
                    continue;
                }
                advance(1);
                return true;
            }
            out += c;
            advance(1);
        }
    }

    void unclosed(const std::string& rest, int line, TokenizeResult& r)
    {
        r.errors.push_back({105, 1, 15,
                            "Unclosed quotation mark after the character string '" + rest + "'.",
                            "", line});
        r.errors.push_back({102, 1, 15, "Incorrect syntax near '" + rest + "'.", "", line});
    }

    bool next(Token& t, TokenizeResult& r)
    {
        const char c = m_sql[m_pos];
        const auto uc = static_cast<unsigned char>(c);
        if ((c == 'N' || c == 'n') && at(m_pos + 1) == '\'') {
            advance(2);
            t.kind = TokenKind::String;
            t.national = true;
            if (!readQuoted('\'', t.text)) {
                unclosed(t.text, t.line, r);
                return false;
            }
            return true;
        }
        if (c == '\'') {
            advance(1);
            t.kind = TokenKind::String;
            if (!readQuoted('\'', t.text)) {
                unclosed(t.text, t.line, r);
                return false;
            }
            return true;
        }
        if (c == '[') {
            advance(1);
            t.kind = TokenKind::QuotedIdentifier;
            if (!readQuoted(']', t.text)) {
                unclosed(t.text, t.line, r);
                return false;
            }
            return true;
        }
        if (c == '"') {
            advance(1);
            t.kind = m_quoted ? TokenKind::QuotedIdentifier : TokenKind::String;
            if (!readQuoted('"', t.text)) {
                unclosed(t.text, t.line, r);
                return false;
            }
            return true;
        }
        if (c == '@') {
            const std::size_t start = m_pos;
            advance(1);
            if (at(m_pos) == '@')
                advance(1);
            while (m_pos < m_sql.size() && isIdentPart(static_cast<unsigned char>(m_sql[m_pos])))
                advance(1);
            t.kind = TokenKind::Variable;
            t.text = std::string(m_sql.substr(start, m_pos - start));
            return true;
        }
        if (isIdentStart(uc)) {
            const std::size_t start = m_pos;
            while (m_pos < m_sql.size() && isIdentPart(static_cast<unsigned char>(m_sql[m_pos])))
                advance(1);
            t.kind = TokenKind::Identifier;
            t.text = std::string(m_sql.substr(start, m_pos - start));
            return true;
        }
        if (isDigit(c) || (c == '.' && isDigit(at(m_pos + 1)))) {
            const std::size_t start = m_pos;
            bool whole = true;
            while (isDigit(at(m_pos)))
                advance(1);
            if (at(m_pos) == '.') {
                whole = false;
                advance(1);
                while (isDigit(at(m_pos)))
                    advance(1);
            }
            if ((at(m_pos) == 'e' || at(m_pos) == 'E') &&
                (isDigit(at(m_pos + 1)) ||
                 ((at(m_pos + 1) == '+' || at(m_pos + 1) == '-') && isDigit(at(m_pos + 2))))) {
                whole = false;
                advance(2);
                while (isDigit(at(m_pos)))
                    advance(1);
            }
            t.kind = whole ? TokenKind::Integer : TokenKind::Number;
            t.text = std::string(m_sql.substr(start, m_pos - start));
            return true;
        }
        static constexpr std::array kTwoChar = {"<>", "!=", ">=", "<=", "!<", "!>"};
        for (const char* op : kTwoChar) {
            if (c == op[0] && at(m_pos + 1) == op[1]) {
                t.kind = TokenKind::Symbol;
                t.text = op;
                advance(2);
                return true;
            }
        }
        // One character, kept whole when it is the start of a multi-byte UTF-8 sequence is
        // impossible here (those start identifiers), so one byte is one symbol.
        t.kind = TokenKind::Symbol;
        t.text = std::string(1, c);
        advance(1);
        return true;
    }

    std::string_view m_sql;
    bool m_quoted;
    std::size_t m_pos = 0;
    int m_line = 1;
};

} // namespace

bool isReservedKeyword(std::string_view word)
{
    const std::string up = toUpperAscii(word);
    return std::find(kReserved.begin(), kReserved.end(), up) != kReserved.end();
}

bool Token::isWord(std::string_view upperWord) const
{
    return kind == TokenKind::Identifier && iequalsAscii(text, upperWord);
}

bool Token::isReservedKeyword() const
{
    return kind == TokenKind::Identifier && testserver::isReservedKeyword(text);
}

bool Token::isName() const
{
    return kind == TokenKind::QuotedIdentifier ||
           (kind == TokenKind::Identifier && !isReservedKeyword());
}

TokenizeResult tokenize(std::string_view sql, bool quotedIdentifier)
{
    return Lexer(sql, quotedIdentifier).run();
}

} // namespace testserver
