#pragma once
// Turns a batch's tokens into the statements this server runs. Like the real server it parses
// the whole batch before running any of it, so a syntax error (102/156) or an option the
// generation does not know (155) rejects the batch as a whole. Used by the executor.

#include "Catalogue.h"
#include "Results.h"
#include "Tokenizer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace testserver {

// A multi-part name as written: server.database.schema.object, parts possibly empty (a..b).
struct ObjectName {
    std::vector<std::string> parts;
    std::string display() const;
    const std::string& object() const { return parts.back(); }
    std::string partFromEnd(std::size_t i) const
    {
        return i < parts.size() ? parts[parts.size() - 1 - i] : std::string();
    }
};

// A literal or bare word given as a procedure argument or DBCC parameter.
struct Argument {
    std::string parameter; // "@name" when passed by name
    Token value;
};

struct UseStmt {
    std::string database;
};

struct SelectItem {
    enum class Kind { Column, Star, GlobalVariable, Function, Integer, String } kind = Kind::Column;
    std::string name; // column, @@variable or function name
    std::vector<Token> args;
    std::string alias;
    bool hasAlias = false;
    Token literal;
};

struct SelectStmt {
    std::vector<SelectItem> items;
    std::optional<ObjectName> from;
    std::string whereColumn; // only `WHERE column = literal` is understood
    std::optional<Token> whereValue;
    std::string orderColumn;
    bool orderDescending = false;
};

struct ExecStmt {
    ObjectName procedure;
    std::vector<Argument> args;
};

struct BackupLogStmt {
    std::string database;
    bool truncateOnly = false; // TRUNCATE_ONLY or NO_LOG
    bool toDevice = false;
};

struct DbccStmt {
    std::string command; // upper case: SHRINKFILE, SQLPERF, …
    std::vector<Token> args;
    bool noInfoMessages = false;
};

struct AlterRecoveryStmt {
    std::string database;
    std::string model; // SIMPLE, FULL, BULK_LOGGED
};

struct CheckpointStmt {};

struct SetStmt {
    std::vector<std::string> options; // upper case
    std::string value;                // upper case for words
};

struct PrintStmt {
    std::string text;
};

struct TransactionStmt {
    enum class Kind { Begin, Commit, Rollback } kind = Kind::Begin;
};

using StatementBody =
    std::variant<UseStmt, SelectStmt, ExecStmt, BackupLogStmt, DbccStmt, AlterRecoveryStmt,
                 CheckpointStmt, SetStmt, PrintStmt, TransactionStmt>;

struct Statement {
    int line = 1;
    StatementBody body;
};

struct ParseResult {
    std::vector<Statement> statements;
    std::vector<Message> errors; // non-empty: nothing of the batch runs
};

ParseResult parseBatch(const std::vector<Token>& tokens, const Generation& generation);

} // namespace testserver
