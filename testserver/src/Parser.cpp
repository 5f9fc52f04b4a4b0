#include "Parser.h"

#include "Text.h"

#include <algorithm>
#include <array>

namespace testserver {

namespace {

struct SyntaxError {
    Message message;
};

class Parser {
public:
    Parser(const std::vector<Token>& tokens, const Generation& g) : m_t(tokens), m_gen(g) {}

    ParseResult run()
    {
        ParseResult r;
        try {
            bool first = true;
            for (;;) {
                while (peek().isSymbol(";"))
                    ++m_pos;
                if (peek().kind == TokenKind::End)
                    break;
                Statement s;
                s.line = peek().line;
                s.body = statement(first);
                r.statements.push_back(std::move(s));
                first = false;
            }
        } catch (const SyntaxError& e) {
            r.statements.clear();
            r.errors.push_back(e.message);
        }
        return r;
    }

private:
    const Token& peek(std::size_t ahead = 0) const
    {
        const std::size_t i = std::min(m_pos + ahead, m_t.size() - 1);
        return m_t[i];
    }
    const Token& take() { return m_t[m_pos < m_t.size() - 1 ? m_pos++ : m_pos]; }

    // Where the server reports a syntax error: at the offending token, or at the last token
    // when the batch ends too early.
    [[noreturn]] void syntaxErrorAt(const Token& t) const
    {
        const Token* at = &t;
        if (t.kind == TokenKind::End && m_t.size() > 1)
            at = &m_t[m_t.size() - 2];
        if (at->kind == TokenKind::End)
            throw SyntaxError{{102, 1, 15, "Incorrect syntax near ''.", "", at->line}};
        if (at->isReservedKeyword())
            throw SyntaxError{{156, 1, 15, "Incorrect syntax near the keyword '" + at->text + "'.",
                               "", at->line}};
        throw SyntaxError{{102, 1, 15, "Incorrect syntax near '" + at->text + "'.", "", at->line}};
    }
    [[noreturn]] void syntaxError() const { syntaxErrorAt(peek()); }

    void expectSymbol(std::string_view s)
    {
        if (!peek().isSymbol(s))
            syntaxError();
        ++m_pos;
    }

    void expectWord(std::string_view w)
    {
        if (!peek().isWord(w))
            syntaxError();
        ++m_pos;
    }

    std::string name()
    {
        if (!peek().isName())
            syntaxError();
        return take().text;
    }

    ObjectName objectName()
    {
        ObjectName n;
        n.parts.push_back(name());
        while (peek().isSymbol(".") && n.parts.size() < 4) {
            ++m_pos;
            if (peek().isSymbol(".")) {
                n.parts.emplace_back();
                continue;
            }
            n.parts.push_back(name());
        }
        return n;
    }

    StatementBody statement(bool first)
    {
        const Token& t = peek();
        if (t.isWord("USE")) {
            ++m_pos;
            return UseStmt{name()};
        }
        if (t.isWord("SELECT"))
            return select();
        if (t.isWord("EXEC") || t.isWord("EXECUTE")) {
            ++m_pos;
            return exec();
        }
        if (t.isWord("BACKUP"))
            return backup();
        if (t.isWord("DBCC"))
            return dbcc();
        if (t.isWord("ALTER"))
            return alter();
        if (t.isWord("CHECKPOINT")) {
            ++m_pos;
            if (peek().kind == TokenKind::Integer)
                ++m_pos;
            return CheckpointStmt{};
        }
        if (t.isWord("SET"))
            return set();
        if (t.isWord("PRINT")) {
            ++m_pos;
            if (peek().kind != TokenKind::String && peek().kind != TokenKind::Integer)
                syntaxError();
            return PrintStmt{take().text};
        }
        if (t.isWord("BEGIN")) {
            ++m_pos;
            if (!peek().isWord("TRAN") && !peek().isWord("TRANSACTION"))
                syntaxError();
            ++m_pos;
            if (peek().isName() && !startsStatement(peek()))
                ++m_pos;
            return TransactionStmt{TransactionStmt::Kind::Begin};
        }
        if (t.isWord("COMMIT") || t.isWord("ROLLBACK")) {
            const bool commit = t.isWord("COMMIT");
            ++m_pos;
            if (peek().isWord("TRAN") || peek().isWord("TRANSACTION") || peek().isWord("WORK")) {
                ++m_pos;
                if (peek().isName() && !startsStatement(peek()))
                    ++m_pos;
            }
            return TransactionStmt{commit ? TransactionStmt::Kind::Commit
                                          : TransactionStmt::Kind::Rollback};
        }
        // A batch may call a procedure without EXEC, but only as its first statement.
        if (first && t.isName())
            return exec();
        syntaxError();
    }

    static bool startsStatement(const Token& t)
    {
        static constexpr std::array kStarts = {"USE",   "SELECT", "EXEC",    "EXECUTE",    "BACKUP",
                                               "DBCC",  "ALTER",  "SET",     "CHECKPOINT", "PRINT",
                                               "BEGIN", "COMMIT", "ROLLBACK"};
        for (const char* s : kStarts)
            if (t.isWord(s))
                return true;
        return false;
    }

    SelectItem selectItem()
    {
        SelectItem item;
        const Token& t = peek();
        if (t.isSymbol("*")) {
            ++m_pos;
            item.kind = SelectItem::Kind::Star;
            return item;
        }
        if (t.kind == TokenKind::Variable && t.text.rfind("@@", 0) == 0) {
            item.kind = SelectItem::Kind::GlobalVariable;
            item.name = toUpperAscii(take().text);
        } else if (t.kind == TokenKind::Integer || t.kind == TokenKind::String) {
            item.kind =
                t.kind == TokenKind::Integer ? SelectItem::Kind::Integer : SelectItem::Kind::String;
            item.literal = take();
        } else if (t.kind == TokenKind::Identifier && peek(1).isSymbol("(")) {
            item.kind = SelectItem::Kind::Function;
            item.name = toUpperAscii(take().text);
            ++m_pos;
            while (!peek().isSymbol(")")) {
                const Token& a = peek();
                if (a.kind != TokenKind::String && a.kind != TokenKind::Integer && !a.isName())
                    syntaxError();
                item.args.push_back(take());
                if (peek().isSymbol(","))
                    ++m_pos;
                else if (!peek().isSymbol(")"))
                    syntaxError();
            }
            ++m_pos;
        } else if (t.isName()) {
            item.kind = SelectItem::Kind::Column;
            // Qualified columns (d.name) keep their last part.
            item.name = name();
            while (peek().isSymbol(".")) {
                ++m_pos;
                item.name = name();
            }
        } else {
            syntaxError();
        }
        if (peek().isWord("AS")) {
            ++m_pos;
            if (!peek().isName() && peek().kind != TokenKind::String)
                syntaxError();
            item.alias = take().text;
            item.hasAlias = true;
        } else if ((peek().isName() && !startsStatement(peek())) ||
                   peek().kind == TokenKind::String) {
            item.alias = take().text;
            item.hasAlias = true;
        }
        return item;
    }

    SelectStmt select()
    {
        ++m_pos;
        SelectStmt s;
        s.items.push_back(selectItem());
        while (peek().isSymbol(",")) {
            ++m_pos;
            s.items.push_back(selectItem());
        }
        if (peek().isWord("FROM")) {
            ++m_pos;
            s.from = objectName();
            if (peek().isWord("WHERE")) {
                ++m_pos;
                s.whereColumn = name();
                expectSymbol("=");
                if (peek().kind != TokenKind::String && peek().kind != TokenKind::Integer)
                    syntaxError();
                s.whereValue = take();
            }
            if (peek().isWord("ORDER")) {
                ++m_pos;
                expectWord("BY");
                s.orderColumn = name();
                if (peek().isWord("ASC")) {
                    ++m_pos;
                } else if (peek().isWord("DESC")) {
                    ++m_pos;
                    s.orderDescending = true;
                }
            }
        }
        return s;
    }

    bool argumentValue()
    {
        const Token& t = peek();
        if (t.kind == TokenKind::String || t.kind == TokenKind::Integer ||
            t.kind == TokenKind::Number || t.kind == TokenKind::QuotedIdentifier ||
            t.kind == TokenKind::Variable)
            return true;
        if (t.isWord("NULL") || t.isWord("DEFAULT"))
            return true;
        return t.kind == TokenKind::Identifier && !t.isReservedKeyword();
    }

    ExecStmt exec()
    {
        ExecStmt e;
        if (peek().kind == TokenKind::Variable && peek(1).isSymbol("=")) {
            m_pos += 2; // EXEC @status = proc: the return status is not kept
        }
        if (peek().isSymbol("("))
            syntaxError();
        e.procedure = objectName();
        bool more = argumentValue() || (peek().isSymbol("-") && peek(1).kind == TokenKind::Integer);
        while (more) {
            Argument a;
            if (peek().kind == TokenKind::Variable && peek(1).isSymbol("=")) {
                a.parameter = take().text;
                ++m_pos;
            }
            if (peek().isSymbol("-") && peek(1).kind == TokenKind::Integer) {
                ++m_pos;
                a.value = take();
                a.value.text = "-" + a.value.text;
            } else if (argumentValue()) {
                a.value = take();
            } else {
                syntaxError();
            }
            if (peek().isWord("OUTPUT") || peek().isWord("OUT"))
                ++m_pos;
            e.args.push_back(std::move(a));
            more = peek().isSymbol(",");
            if (more)
                ++m_pos;
        }
        return e;
    }

    BackupLogStmt backup()
    {
        ++m_pos;
        expectWord("LOG");
        BackupLogStmt b;
        b.database = name();
        if (peek().isWord("TO")) {
            ++m_pos;
            do {
                if (!peek().isWord("DISK") && !peek().isWord("TAPE") && !peek().isWord("URL"))
                    syntaxError();
                ++m_pos;
                expectSymbol("=");
                if (peek().kind != TokenKind::String)
                    syntaxError();
                ++m_pos;
                b.toDevice = true;
            } while (peek().isSymbol(",") && (++m_pos, true));
        }
        if (peek().isWord("WITH")) {
            ++m_pos;
            for (;;) {
                backupOption(b);
                if (!peek().isSymbol(","))
                    break;
                ++m_pos;
            }
        }
        if (!b.toDevice && !b.truncateOnly)
            syntaxErrorAt(m_t[m_pos - 1]);
        return b;
    }

    void backupOption(BackupLogStmt& b)
    {
        if (peek().kind != TokenKind::Identifier)
            syntaxError();
        const Token& opt = take();
        const std::string up = toUpperAscii(opt.text);
        auto notRecognized = [&] {
            throw SyntaxError{{155, 1, 15, "'" + opt.text + "' is not a recognized BACKUP option.",
                               "", opt.line}};
        };
        if (up == "TRUNCATE_ONLY" || up == "NO_LOG") {
            if (!m_gen.acceptsTruncateOnly())
                notRecognized();
            b.truncateOnly = true;
            return;
        }
        static constexpr std::array kFlags = {
            "INIT",      "NOINIT",      "FORMAT",      "NOFORMAT",      "SKIP",
            "NOSKIP",    "NO_TRUNCATE", "NORECOVERY",  "CHECKSUM",      "NO_CHECKSUM",
            "COPY_ONLY", "REWIND",      "NOREWIND",    "UNLOAD",        "NOUNLOAD",
            "RESTART",   "STATS",       "COMPRESSION", "NO_COMPRESSION"};
        static constexpr std::array kValued = {"NAME",      "DESCRIPTION", "STATS",      "PASSWORD",
                                               "MEDIANAME", "BLOCKSIZE",   "BUFFERCOUNT"};
        bool known = std::find(kFlags.begin(), kFlags.end(), up) != kFlags.end();
        const bool valued = std::find(kValued.begin(), kValued.end(), up) != kValued.end();
        if ((up == "COPY_ONLY" || up == "COMPRESSION" || up == "NO_COMPRESSION" ||
             up == "CHECKSUM" || up == "NO_CHECKSUM") &&
            m_gen.major < (up == "COPY_ONLY" || up == "CHECKSUM" || up == "NO_CHECKSUM" ? 9 : 10))
            known = false;
        if (!known && !valued)
            notRecognized();
        if (peek().isSymbol("=")) {
            if (!valued)
                syntaxError();
            ++m_pos;
            if (peek().kind != TokenKind::String && peek().kind != TokenKind::Integer)
                syntaxError();
            ++m_pos;
        } else if (valued && !known) {
            syntaxError();
        }
    }

    DbccStmt dbcc()
    {
        ++m_pos;
        DbccStmt d;
        if (peek().kind != TokenKind::Identifier)
            syntaxError();
        d.command = toUpperAscii(take().text);
        if (peek().isSymbol("(")) {
            ++m_pos;
            while (!peek().isSymbol(")")) {
                const Token& a = peek();
                if (a.kind == TokenKind::End)
                    syntaxError();
                if (a.isSymbol("-") && peek(1).kind == TokenKind::Integer) {
                    ++m_pos;
                    Token n = take();
                    n.text = "-" + n.text;
                    d.args.push_back(n);
                } else if (a.kind == TokenKind::String || a.kind == TokenKind::Integer ||
                           a.kind == TokenKind::Identifier ||
                           a.kind == TokenKind::QuotedIdentifier) {
                    d.args.push_back(take());
                } else {
                    syntaxError();
                }
                if (peek().isSymbol(","))
                    ++m_pos;
                else if (!peek().isSymbol(")"))
                    syntaxError();
            }
            ++m_pos;
        }
        if (peek().isWord("WITH")) {
            ++m_pos;
            for (;;) {
                if (peek().kind != TokenKind::Identifier)
                    syntaxError();
                if (take().isWord("NO_INFOMSGS"))
                    d.noInfoMessages = true;
                if (!peek().isSymbol(","))
                    break;
                ++m_pos;
            }
        }
        return d;
    }

    AlterRecoveryStmt alter()
    {
        ++m_pos;
        expectWord("DATABASE");
        AlterRecoveryStmt a;
        a.database = name();
        expectWord("SET");
        expectWord("RECOVERY");
        if (peek().isWord("SIMPLE") || peek().isWord("FULL") || peek().isWord("BULK_LOGGED"))
            a.model = toUpperAscii(take().text);
        else
            syntaxError();
        if (peek().isWord("WITH")) {
            ++m_pos;
            if (peek().isWord("NO_WAIT")) {
                ++m_pos;
            } else if (peek().isWord("ROLLBACK")) {
                ++m_pos;
                if (peek().isWord("IMMEDIATE")) {
                    ++m_pos;
                } else {
                    expectWord("AFTER");
                    if (peek().kind != TokenKind::Integer)
                        syntaxError();
                    ++m_pos;
                    if (peek().isWord("SECONDS"))
                        ++m_pos;
                }
            } else {
                syntaxError();
            }
        }
        return a;
    }

    SetStmt set()
    {
        ++m_pos;
        SetStmt s;
        if (peek().kind == TokenKind::Variable) {
            throw SyntaxError{{137, 2, 15,
                               "Must declare the scalar variable \"" + peek().text + "\".", "",
                               peek().line}};
        }
        if (peek().isWord("TRANSACTION")) {
            ++m_pos;
            expectWord("ISOLATION");
            expectWord("LEVEL");
            s.options.push_back("TRANSACTION ISOLATION LEVEL");
            if (peek().isWord("READ")) {
                ++m_pos;
                if (!peek().isWord("COMMITTED") && !peek().isWord("UNCOMMITTED"))
                    syntaxError();
                s.value = "READ " + toUpperAscii(take().text);
            } else if (peek().isWord("REPEATABLE")) {
                ++m_pos;
                expectWord("READ");
                s.value = "REPEATABLE READ";
            } else if (peek().isWord("SERIALIZABLE") || peek().isWord("SNAPSHOT")) {
                s.value = toUpperAscii(take().text);
            } else {
                syntaxError();
            }
            return s;
        }
        if (peek().kind != TokenKind::Identifier)
            syntaxError();
        s.options.push_back(toUpperAscii(take().text));
        while (peek().isSymbol(",")) {
            ++m_pos;
            if (peek().kind != TokenKind::Identifier)
                syntaxError();
            s.options.push_back(toUpperAscii(take().text));
        }
        const Token& v = peek();
        if (v.isWord("ON") || v.isWord("OFF")) {
            s.value = toUpperAscii(take().text);
        } else if (v.isSymbol("-") && peek(1).kind == TokenKind::Integer) {
            ++m_pos;
            s.value = "-" + take().text;
        } else if (v.kind == TokenKind::Integer || v.kind == TokenKind::String ||
                   v.kind == TokenKind::QuotedIdentifier ||
                   (v.kind == TokenKind::Identifier && !v.isReservedKeyword())) {
            s.value = v.kind == TokenKind::Identifier ? toUpperAscii(v.text) : v.text;
            ++m_pos;
        } else {
            syntaxError();
        }
        return s;
    }

    const std::vector<Token>& m_t;
    const Generation& m_gen;
    std::size_t m_pos = 0;
};

} // namespace

std::string ObjectName::display() const
{
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i)
            out += '.';
        out += parts[i];
    }
    return out;
}

ParseResult parseBatch(const std::vector<Token>& tokens, const Generation& generation)
{
    return Parser(tokens, generation).run();
}

} // namespace testserver
