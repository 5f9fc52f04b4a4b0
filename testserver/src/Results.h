#pragma once
// What a batch produces, independent of the wire: messages, row sets, database changes and the
// DONE family in the order the client sees them. The executor fills it, the token encoder turns
// it into a TDS token stream, the tests read it directly.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace testserver {

enum class ColumnType { NVarChar, NChar, VarChar, Int, SmallInt, Real, Variant };

struct Column {
    std::string name;
    ColumnType type = ColumnType::Int;
    int length = 0; // characters, for the string types
    bool nullable = false;
};

using Value = std::variant<std::monostate, std::string, std::int64_t, double>;

struct RowSet {
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;
};

struct Message {
    int number = 0;
    int state = 1;
    int severity = 10;
    std::string text;
    std::string procedure;
    int line = 1;
    bool isError() const { return severity > 10; }
};

struct DatabaseChange {
    std::string newName;
    std::string oldName;
};

struct ReturnStatus {
    int value = 0;
};

enum class DoneKind { Done, DoneInProc, DoneProc };

// Statement codes that the DONE family carries in CurCmd.
enum CurCmd : std::uint16_t {
    kCmdNone = 0,
    kCmdSelect = 0xC1,
    kCmdExecute = 0xE0,
    kCmdUse = 0xE2,
    kCmdDbcc = 0xBE,
    kCmdBackup = 0xD1,
    kCmdSet = 0xB9,
};

struct Done {
    DoneKind kind = DoneKind::Done;
    bool hasCount = false;
    std::int64_t rowCount = 0;
    bool error = false;
    std::uint16_t curCmd = kCmdNone;
};

using ResultItem = std::variant<Message, RowSet, DatabaseChange, ReturnStatus, Done>;

struct BatchResult {
    std::vector<ResultItem> items;

    std::vector<int> errorNumbers() const
    {
        std::vector<int> out;
        for (const ResultItem& i : items)
            if (auto m = std::get_if<Message>(&i); m && m->isError())
                out.push_back(m->number);
        return out;
    }
};

} // namespace testserver
