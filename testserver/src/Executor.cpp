#include "Executor.h"

#include "Parser.h"
#include "Text.h"
#include "Tokenizer.h"

#include <algorithm>
#include <climits>
#include <functional>

namespace testserver {

namespace {

constexpr std::int64_t kPageKb = 8;

std::int64_t pagesUp(std::int64_t kb)
{
    return (kb + kPageKb - 1) / kPageKb;
}

Column nvarchar(std::string name, int length, bool nullable = false)
{
    return {std::move(name), ColumnType::NVarChar, length, nullable};
}

Column nchar(std::string name, int length)
{
    return {std::move(name), ColumnType::NChar, length, false};
}

Column intColumn(std::string name, ColumnType type = ColumnType::Int)
{
    return {std::move(name), type, 0, false};
}

// A truncation frees the log unless something it cannot clear holds it.
bool truncationClears(const std::string& logReuseWait)
{
    return logReuseWait == "NOTHING" || logReuseWait == "CHECKPOINT" ||
           logReuseWait == "LOG_BACKUP";
}

void truncateLog(Database& db)
{
    if (!truncationClears(db.logReuseWait))
        return;
    for (DbFile& f : db.files)
        if (f.isLog)
            f.usedKb = 0;
    db.logReuseWait = "NOTHING";
}

enum class Flow { Continue, EndBatch };

// The table a SELECT reads, once its name is resolved against the generation's catalog.
enum class SystemTable { None, SysDatabases, SysDatabasesView };

class Runner {
public:
    Runner(Catalogue& c, SessionSettings& s) : m_cat(c), m_session(s), m_gen(c.generation) {}

    BatchResult run(std::string_view sql)
    {
        TokenizeResult lexed = tokenize(sql, m_session.quotedIdentifier);
        if (!lexed.errors.empty())
            return compileError(lexed.errors);
        ParseResult parsed = parseBatch(lexed.tokens, m_gen);
        if (!parsed.errors.empty())
            return compileError(parsed.errors);
        for (const Statement& s : parsed.statements) {
            m_line = s.line;
            const Flow f = std::visit([&](const auto& body) { return execute(body); }, s.body);
            if (f == Flow::EndBatch)
                break;
        }
        if (m_result.items.empty())
            done({});
        return std::move(m_result);
    }

private:
    BatchResult compileError(const std::vector<Message>& errors)
    {
        for (Message m : errors) {
            m.procedure.clear();
            m_result.items.emplace_back(std::in_place_type<Message>, std::move(m));
        }
        done({DoneKind::Done, false, 0, true});
        return std::move(m_result);
    }

    void message(int number, int severity, std::string text, int state = 1,
                 std::string procedure = {})
    {
        m_result.items.emplace_back(std::in_place_type<Message>, number, state, severity,
                                    std::move(text), std::move(procedure), m_line);
    }

    void done(Done d)
    {
        if (m_session.noCount)
            d.hasCount = false;
        m_result.items.emplace_back(std::in_place_type<Done>, d);
    }

    void failedStatement(std::uint16_t cmd = kCmdNone)
    {
        done({DoneKind::Done, false, 0, true, cmd});
    }

    std::string couldNotLocateDatabase(const std::string& name) const
    {
        if (m_gen.oldWording())
            return "Could not locate entry in sysdatabases for database '" + name +
                   "'. No entry found with that name. Make sure that the name is entered "
                   "correctly.";
        return "Database '" + name +
               "' does not exist. Make sure that the name is entered correctly.";
    }

    Database& currentDatabase()
    {
        Database* db = m_cat.findDatabase(m_session.database);
        // The catalogue never loses a database, and the session only ever holds one it found.
        return db ? *db : m_cat.databases.front();
    }

    // ---- USE ----------------------------------------------------------------------------
    Flow execute(const UseStmt& s)
    {
        Database* db = m_cat.findDatabase(s.database);
        if (!db) {
            message(911, 16, couldNotLocateDatabase(s.database));
            failedStatement(kCmdUse);
            return Flow::EndBatch;
        }
        m_result.items.emplace_back(std::in_place_type<DatabaseChange>, db->name,
                                    m_session.database);
        message(5701, 10, "Changed database context to '" + db->name + "'.", 2);
        m_session.database = db->name;
        done({DoneKind::Done, false, 0, false, kCmdUse});
        return Flow::Continue;
    }

    // ---- SELECT ---------------------------------------------------------------------------
    Flow execute(const SelectStmt& s)
    {
        if (s.from)
            return selectFromTable(s);
        RowSet rs;
        std::vector<Value> row;
        for (const SelectItem& item : s.items) {
            Column col;
            Value v;
            if (!scalar(item, col, v))
                return Flow::Continue;
            if (item.hasAlias)
                col.name = item.alias;
            rs.columns.push_back(col);
            row.push_back(v);
        }
        rs.rows.push_back(std::move(row));
        m_result.items.emplace_back(std::in_place_type<RowSet>, std::move(rs));
        done({DoneKind::Done, true, 1, false, kCmdSelect});
        return Flow::Continue;
    }

    bool scalar(const SelectItem& item, Column& col, Value& v)
    {
        switch (item.kind) {
        case SelectItem::Kind::Integer:
            col = intColumn("");
            try {
                v = std::int64_t{std::stoll(item.literal.text)};
            } catch (...) {
                v = std::int64_t{0};
            }
            return true;
        case SelectItem::Kind::String:
            col = item.literal.national
                      ? nvarchar("",
                                 std::max<int>(1, static_cast<int>(utf16Length(item.literal.text))))
                      : Column{"", ColumnType::VarChar,
                               std::max<int>(1, static_cast<int>(item.literal.text.size())), false};
            v = item.literal.text;
            return true;
        case SelectItem::Kind::GlobalVariable:
            if (item.name == "@@VERSION") {
                col = nvarchar("", 300);
                v = m_cat.versionText;
            } else if (item.name == "@@SERVERNAME") {
                col = nvarchar("", 128, true);
                v = m_cat.serverName;
            } else if (item.name == "@@SPID") {
                col = intColumn("", ColumnType::SmallInt);
                v = std::int64_t{m_session.spid};
            } else if (item.name == "@@TRANCOUNT") {
                col = intColumn("");
                v = std::int64_t{m_session.tranCount};
            } else if (item.name == "@@LANGUAGE") {
                col = nvarchar("", 128);
                v = std::string("us_english");
            } else {
                message(137, 15, "Must declare the scalar variable \"" + item.name + "\".", 2);
                failedStatement();
                return false;
            }
            return true;
        case SelectItem::Kind::Function:
            return function(item, col, v);
        case SelectItem::Kind::Column:
        case SelectItem::Kind::Star:
            break;
        }
        message(207, 16,
                "Invalid column name '" +
                    (item.kind == SelectItem::Kind::Star ? std::string("*") : item.name) + "'.");
        failedStatement();
        return false;
    }

    bool function(const SelectItem& item, Column& col, Value& v)
    {
        if (item.name == "SERVERPROPERTY" && item.args.size() == 1) {
            col = {"", ColumnType::Variant, 0, true};
            const std::string p = toUpperAscii(item.args[0].text);
            if (p == "PRODUCTVERSION")
                v = m_cat.version;
            else if (p == "SERVERNAME" || p == "MACHINENAME")
                v = m_cat.serverName;
            else if (p == "PRODUCTLEVEL")
                v = std::string("RTM");
            else if (p == "EDITION")
                v = std::string("Standard Edition");
            return true;
        }
        if (item.name == "DB_NAME" && item.args.size() <= 1) {
            col = nvarchar("", 128, true);
            if (item.args.empty()) {
                v = m_session.database;
            } else {
                for (const Database& d : m_cat.databases)
                    if (std::to_string(d.id) == item.args[0].text)
                        v = d.name;
            }
            return true;
        }
        if (item.name == "DB_ID" && item.args.size() <= 1) {
            col = {"", ColumnType::SmallInt, 0, true};
            const Database* d =
                item.args.empty() ? &currentDatabase() : m_cat.findDatabase(item.args[0].text);
            if (d)
                v = std::int64_t{d->id};
            return true;
        }
        if ((item.name == "SUSER_SNAME" || item.name == "SUSER_NAME") && item.args.empty()) {
            col = nvarchar("", 128, true);
            v = m_session.user;
            return true;
        }
        if (item.name == "SERVERPROPERTY" || item.name == "DB_NAME" || item.name == "DB_ID" ||
            item.name == "SUSER_SNAME" || item.name == "SUSER_NAME") {
            message(174, 15,
                    "The " + toUpperAscii(item.name) + " function requires " +
                        (item.name == "SERVERPROPERTY" ? "1" : "0 to 1") + " argument(s).");
            failedStatement();
            return false;
        }
        message(195, 15, "'" + item.name + "' is not a recognized built-in function name.");
        failedStatement();
        return false;
    }

    SystemTable resolveTable(const ObjectName& n) const
    {
        if (n.parts.size() > 3)
            return SystemTable::None; // linked servers are not modelled
        const std::string object = n.object();
        const std::string schema = n.partFromEnd(1);
        const std::string dbPart = n.partFromEnd(2);
        std::string db = dbPart.empty() ? m_session.database : dbPart;
        if (!dbPart.empty() && !m_cat.findDatabase(dbPart))
            return SystemTable::None;
        if (sqlEquals(object, "sysdatabases")) {
            if (m_gen.is2000())
                return sqlEquals(db, "master") && (schema.empty() || sqlEquals(schema, "dbo"))
                           ? SystemTable::SysDatabases
                           : SystemTable::None;
            return schema.empty() || sqlEquals(schema, "dbo") || sqlEquals(schema, "sys")
                       ? SystemTable::SysDatabases
                       : SystemTable::None;
        }
        if (sqlEquals(object, "databases") && m_gen.hasSysCatalogViews() &&
            sqlEquals(schema, "sys"))
            return SystemTable::SysDatabasesView;
        return SystemTable::None;
    }

    struct TableColumn {
        Column column;
        std::function<Value(const Database&)> value;
    };

    std::vector<TableColumn> tableColumns(SystemTable t) const
    {
        std::vector<TableColumn> cols;
        cols.push_back({nvarchar("name", 128), [](const Database& d) { return Value{d.name}; }});
        if (t == SystemTable::SysDatabases) {
            cols.push_back({intColumn("dbid", ColumnType::SmallInt),
                            [](const Database& d) { return Value{std::int64_t{d.id}}; }});
            // Bit 8 is "trunc. log on chkpt.", the 2000 way of saying SIMPLE.
            cols.push_back({intColumn("status"), [](const Database& d) {
                                return Value{std::int64_t{d.recovery == "SIMPLE" ? 8 : 0} |
                                             0x10000};
                            }});
            cols.push_back({nvarchar("filename", 260, true), [](const Database& d) {
                                for (const DbFile& f : d.files)
                                    if (!f.isLog)
                                        return Value{f.fileName};
                                return Value{};
                            }});
        } else {
            cols.push_back({intColumn("database_id"),
                            [](const Database& d) { return Value{std::int64_t{d.id}}; }});
            cols.push_back({nvarchar("recovery_model_desc", 60, true),
                            [](const Database& d) { return Value{d.recovery}; }});
            cols.push_back({nvarchar("log_reuse_wait_desc", 60, true),
                            [](const Database& d) { return Value{d.logReuseWait}; }});
            cols.push_back({nvarchar("state_desc", 60, true),
                            [](const Database&) { return Value{std::string("ONLINE")}; }});
        }
        return cols;
    }

    bool listQueryFails()
    {
        ListQueryFault& f = m_cat.faults.failListQuery;
        if (f.remaining == 0)
            return false;
        if (f.remaining > 0)
            --f.remaining;
        return true;
    }

    void listQueryError(const ObjectName& table)
    {
        const ListQueryFault& f = m_cat.faults.failListQuery;
        std::string text = f.message;
        if (text.empty()) {
            const std::string object =
                toUpperAscii(table.object()) == "DATABASES" ? "databases" : "sysdatabases";
            text = m_gen.is2000() ? "SELECT permission denied on object '" + object +
                                        "', database 'master', owner 'dbo'."
                                  : "The SELECT permission was denied on the object '" + object +
                                        "', database 'mssqlsystemresource', schema 'sys'.";
        }
        message(f.number, f.severity, text, f.state);
        failedStatement(kCmdSelect);
    }

    Flow selectFromTable(const SelectStmt& s)
    {
        const SystemTable table = resolveTable(*s.from);
        if (table == SystemTable::None) {
            message(208, 16, "Invalid object name '" + s.from->display() + "'.");
            failedStatement(kCmdSelect);
            return Flow::EndBatch;
        }
        const std::vector<TableColumn> available = tableColumns(table);
        auto find = [&](const std::string& name) -> const TableColumn* {
            for (const TableColumn& c : available)
                if (sqlEquals(c.column.name, name))
                    return &c;
            return nullptr;
        };
        struct Output {
            Column column;
            const TableColumn* source = nullptr;
            Value constant;
        };
        std::vector<Output> outputs;
        std::vector<std::string> missing;
        for (const SelectItem& item : s.items) {
            if (item.kind == SelectItem::Kind::Star) {
                for (const TableColumn& c : available)
                    outputs.push_back({c.column, &c, {}});
            } else if (item.kind == SelectItem::Kind::Column) {
                const TableColumn* c = find(item.name);
                if (!c) {
                    missing.push_back(item.name);
                    continue;
                }
                Column col = c->column;
                if (item.hasAlias)
                    col.name = item.alias;
                outputs.push_back({col, c, {}});
            } else {
                Output o;
                if (!scalar(item, o.column, o.constant))
                    return Flow::Continue;
                if (item.hasAlias)
                    o.column.name = item.alias;
                outputs.push_back(o);
            }
        }
        const TableColumn* where = nullptr;
        if (s.whereValue && !(where = find(s.whereColumn)))
            missing.push_back(s.whereColumn);
        const TableColumn* order = nullptr;
        if (!s.orderColumn.empty() && !(order = find(s.orderColumn)))
            missing.push_back(s.orderColumn);
        if (!missing.empty()) {
            for (const std::string& m : missing)
                message(207, 16, "Invalid column name '" + m + "'.");
            failedStatement(kCmdSelect);
            return Flow::EndBatch;
        }
        if (!s.whereValue && listQueryFails()) {
            listQueryError(*s.from);
            return Flow::Continue;
        }
        if (m_session.implicitTransactions && m_session.tranCount == 0)
            m_session.tranCount = 1;

        std::vector<const Database*> dbs;
        dbs.reserve(m_cat.databases.size());
        for (const Database& d : m_cat.databases) {
            if (where) {
                const Value v = where->value(d);
                if (const auto* str = std::get_if<std::string>(&v)) {
                    if (!sqlEquals(*str, s.whereValue->text))
                        continue;
                } else if (const auto* n = std::get_if<std::int64_t>(&v)) {
                    if (std::to_string(*n) != s.whereValue->text)
                        continue;
                } else {
                    continue;
                }
            }
            dbs.push_back(&d);
        }
        if (order) {
            auto less = [&](const Database* a, const Database* b) {
                const Value va = order->value(*a), vb = order->value(*b);
                if (va.index() == 1 && vb.index() == 1)
                    return sqlFold(std::get<std::string>(va)) < sqlFold(std::get<std::string>(vb));
                return va < vb;
            };
            std::stable_sort(dbs.begin(), dbs.end(), [&](const Database* a, const Database* b) {
                return s.orderDescending ? less(b, a) : less(a, b);
            });
        }
        RowSet rs;
        for (const Output& o : outputs)
            rs.columns.push_back(o.column);
        rs.rows.reserve(dbs.size());
        for (const Database* d : dbs) {
            std::vector<Value> row;
            row.reserve(outputs.size());
            for (const Output& o : outputs)
                row.push_back(o.source ? o.source->value(*d) : o.constant);
            rs.rows.push_back(std::move(row));
        }
        const auto count = static_cast<std::int64_t>(rs.rows.size());
        m_result.items.emplace_back(std::in_place_type<RowSet>, std::move(rs));
        done({DoneKind::Done, true, count, false, kCmdSelect});
        return Flow::Continue;
    }

    // ---- EXEC -----------------------------------------------------------------------------
    Flow execute(const ExecStmt& s)
    {
        const std::string proc = s.procedure.object();
        if (sqlEquals(proc, "sp_helpfile"))
            return spHelpfile(s);
        if (sqlEquals(proc, "sp_dboption") && m_gen.hasSpDboption())
            return spDboption(s);
        message(2812, 16, "Could not find stored procedure '" + s.procedure.display() + "'.", 62);
        failedStatement(kCmdExecute);
        return Flow::Continue;
    }

    void endProcedure(int status, bool error)
    {
        m_result.items.emplace_back(std::in_place_type<ReturnStatus>, ReturnStatus{status});
        done({DoneKind::DoneProc, false, 0, error, kCmdExecute});
    }

    static std::string argumentText(const Argument& a) { return a.value.text; }

    // The helpfile_omit fault: a procedure that returns fewer columns than the real one.
    static void omitColumns(RowSet& rs, const std::vector<std::string>& names)
    {
        for (const std::string& name : names) {
            for (std::size_t c = 0; c < rs.columns.size(); ++c) {
                if (!sqlEquals(rs.columns[c].name, name))
                    continue;
                rs.columns.erase(rs.columns.begin() + static_cast<std::ptrdiff_t>(c));
                for (auto& row : rs.rows)
                    row.erase(row.begin() + static_cast<std::ptrdiff_t>(c));
                break;
            }
        }
    }

    Flow spHelpfile(const ExecStmt& s)
    {
        const Database& db = currentDatabase();
        std::optional<std::string> only;
        if (!s.args.empty())
            only = argumentText(s.args[0]);
        std::vector<const DbFile*> files;
        for (const DbFile& f : db.files)
            if (!only || sqlEquals(f.name, *only))
                files.push_back(&f);
        std::stable_sort(files.begin(), files.end(),
                         [](const DbFile* a, const DbFile* b) { return a->fileId < b->fileId; });
        int sizeWidth = 18, maxWidth = 18, growthWidth = 18;
        for (const DbFile* f : files) {
            sizeWidth =
                std::max<int>(sizeWidth, static_cast<int>(utf16Length(f->sizeForDisplay())));
            maxWidth = std::max<int>(maxWidth, static_cast<int>(utf16Length(f->maxSize)));
            growthWidth = std::max<int>(growthWidth, static_cast<int>(utf16Length(f->growth)));
        }
        RowSet rs;
        rs.columns = {m_gen.is2000() ? nchar("name", 128) : nvarchar("name", 128),
                      intColumn("fileid", ColumnType::SmallInt),
                      nchar("filename", 260),
                      nvarchar("filegroup", 128, true),
                      nvarchar("size", sizeWidth, true),
                      nvarchar("maxsize", maxWidth, true),
                      nvarchar("growth", growthWidth, true),
                      {"usage", ColumnType::VarChar, 9, false}};
        for (const DbFile* f : files) {
            rs.rows.push_back({f->name, std::int64_t{f->fileId}, f->fileName,
                               f->fileGroup ? Value{*f->fileGroup} : Value{}, f->sizeForDisplay(),
                               f->maxSize, f->growth, f->usage});
        }
        omitColumns(rs, m_cat.faults.helpfileOmit);
        const auto count = static_cast<std::int64_t>(rs.rows.size());
        m_result.items.emplace_back(std::in_place_type<RowSet>, std::move(rs));
        done({DoneKind::DoneInProc, true, count, false, kCmdSelect});
        endProcedure(0, false);
        return Flow::Continue;
    }

    Flow spDboption(const ExecStmt& s)
    {
        static constexpr const char* kParams[] = {"@dbname", "@optname", "@optvalue"};
        std::optional<std::string> values[3];
        std::size_t position = 0;
        for (const Argument& a : s.args) {
            std::size_t slot = position;
            if (!a.parameter.empty()) {
                slot = 3;
                for (std::size_t i = 0; i < 3; ++i)
                    if (iequalsAscii(a.parameter, kParams[i]))
                        slot = i;
                if (slot == 3) {
                    message(8145, 16,
                            a.parameter + " is not a parameter for procedure sp_dboption.", 2,
                            "sp_dboption");
                    endProcedure(1, true);
                    return Flow::Continue;
                }
            } else {
                ++position;
            }
            if (slot >= 3) {
                message(8144, 16,
                        "Procedure or function sp_dboption has too many arguments specified.", 2,
                        "sp_dboption");
                endProcedure(1, true);
                return Flow::Continue;
            }
            values[slot] = argumentText(a);
        }
        if (m_session.tranCount > 0) {
            message(15002, 16,
                    "The procedure 'sp_dboption' cannot be executed within a transaction.", 1,
                    "sp_dboption");
            endProcedure(1, true);
            return Flow::Continue;
        }
        if (!values[0] || !values[1] || !values[2]) {
            // Listing the options is not modelled; the lookup forms just succeed.
            endProcedure(0, false);
            return Flow::Continue;
        }
        Database* db = m_cat.findDatabase(*values[0]);
        if (!db) {
            message(15010, 16,
                    "The database '" + *values[0] +
                        "' does not exist. Use sp_helpdb to show available databases.",
                    1, "sp_dboption");
            endProcedure(1, true);
            return Flow::Continue;
        }
        if (db->dboptionDenied) {
            message(15247, 16, "User does not have permission to perform this action.", 1,
                    "sp_dboption");
            endProcedure(1, true);
            return Flow::Continue;
        }
        static constexpr const char* kOtherOptions[] = {"ANSI null default",
                                                        "ANSI nulls",
                                                        "ANSI padding",
                                                        "ANSI warnings",
                                                        "arithabort",
                                                        "auto create statistics",
                                                        "auto update statistics",
                                                        "autoclose",
                                                        "autoshrink",
                                                        "concat null yields null",
                                                        "cursor close on commit",
                                                        "dbo use only",
                                                        "default to local cursor",
                                                        "merge publish",
                                                        "numeric roundabort",
                                                        "offline",
                                                        "published",
                                                        "quoted identifier",
                                                        "read only",
                                                        "recursive triggers",
                                                        "select into/bulkcopy",
                                                        "single user",
                                                        "subscribed",
                                                        "torn page detection"};
        const bool truncOption = sqlEquals(*values[1], "trunc. log on chkpt.");
        bool known = truncOption;
        for (const char* o : kOtherOptions)
            known = known || sqlEquals(*values[1], o);
        if (!known) {
            message(15011, 16,
                    "Database option '" + *values[1] +
                        "' does not exist. Specify a valid option name.",
                    1, "sp_dboption");
            endProcedure(1, true);
            return Flow::Continue;
        }
        const std::string v = toUpperAscii(*values[2]);
        if (v != "TRUE" && v != "ON" && v != "FALSE" && v != "OFF") {
            message(15241, 16, "Usage: sp_dboption [dbname [,optname [,'true' | 'false']]]", 1,
                    "sp_dboption");
            endProcedure(1, true);
            return Flow::Continue;
        }
        if (truncOption) {
            const bool on = v == "TRUE" || v == "ON";
            db->recovery = on ? "SIMPLE" : "FULL";
            // The procedure checkpoints the changed database, which in SIMPLE frees the log.
            if (on)
                truncateLog(*db);
        }
        message(15443, 10, "Checkpointing database that was changed.", 1, "sp_dboption");
        endProcedure(0, false);
        return Flow::Continue;
    }

    // ---- BACKUP LOG -----------------------------------------------------------------------
    Flow execute(const BackupLogStmt& s)
    {
        auto terminate = [&] {
            message(3013, 16, "BACKUP LOG is terminating abnormally.");
            failedStatement(kCmdBackup);
            return Flow::Continue;
        };
        if (m_session.tranCount > 0) {
            message(3021, 16, "Cannot perform a backup or restore operation within a transaction.",
                    2);
            return terminate();
        }
        Database* db = m_cat.findDatabase(s.database);
        if (!db) {
            message(911, 16, couldNotLocateDatabase(s.database));
            return terminate();
        }
        if (s.truncateOnly) {
            truncateLog(*db);
            done({DoneKind::Done, false, 0, false, kCmdBackup});
            return Flow::Continue;
        }
        if (db->recovery == "SIMPLE") {
            message(4208, 16,
                    "The statement BACKUP LOG is not allowed while the recovery model is SIMPLE. "
                    "Use BACKUP DATABASE or change the recovery model using ALTER DATABASE.");
            return terminate();
        }
        std::int64_t pages = 0;
        for (const DbFile& f : db->files) {
            if (!f.isLog)
                continue;
            pages += pagesUp(f.usedKb);
            message(4035, 10,
                    "Processed " + std::to_string(pagesUp(f.usedKb)) + " pages for database '" +
                        db->name + "', file '" + f.name + "' on file 1.");
        }
        truncateLog(*db);
        message(3014, 10,
                "BACKUP LOG successfully processed " + std::to_string(pages) +
                    " pages in 0.010 seconds (0.800 MB/sec).");
        done({DoneKind::Done, false, 0, false, kCmdBackup});
        return Flow::Continue;
    }

    // ---- DBCC -----------------------------------------------------------------------------
    Flow execute(const DbccStmt& s)
    {
        if (s.command == "SHRINKFILE")
            return shrinkFile(s);
        if (s.command == "SQLPERF")
            return sqlPerf(s);
        message(2526, 16,
                "Incorrect DBCC statement. Check the documentation for the correct DBCC syntax "
                "and options.");
        failedStatement(kCmdDbcc);
        return Flow::Continue;
    }

    void dbccCompleted(const DbccStmt& s)
    {
        if (!s.noInfoMessages)
            message(2528, 10,
                    "DBCC execution completed. If DBCC printed error messages, contact your system "
                    "administrator.");
        done({DoneKind::Done, false, 0, false, kCmdDbcc});
    }

    Flow badDbccParameter(int index)
    {
        message(2560, 16,
                "Parameter " + std::to_string(index) + " is incorrect for this DBCC statement.");
        failedStatement(kCmdDbcc);
        return Flow::Continue;
    }

    Flow shrinkFile(const DbccStmt& s)
    {
        if (s.args.empty() || s.args.size() > 3)
            return badDbccParameter(s.args.empty() ? 1 : 4);
        Database& db = currentDatabase();
        const Token& fileArg = s.args[0];
        DbFile* file = nullptr;
        if (fileArg.kind == TokenKind::Integer) {
            for (DbFile& f : db.files)
                if (std::to_string(f.fileId) == fileArg.text)
                    file = &f;
        } else {
            for (DbFile& f : db.files)
                if (sqlEquals(f.name, fileArg.text))
                    file = &f;
        }
        if (!file) {
            message(8985, 16,
                    m_gen.is2000()
                        ? "Could not locate file '" + fileArg.text + "' in sysfiles."
                        : "Could not locate file '" + fileArg.text + "' for database '" + db.name +
                              "' in sys.database_files. The file either does not exist, or was "
                              "dropped.");
            failedStatement(kCmdDbcc);
            return Flow::Continue;
        }
        std::int64_t targetMb = 0;
        if (s.args.size() >= 2) {
            const Token& t = s.args[1];
            if (t.kind == TokenKind::Integer) {
                if (t.text.size() > 10 || std::stoll(t.text) > INT_MAX) {
                    message(8115, 16,
                            "Arithmetic overflow error converting expression to data type int.");
                    failedStatement(kCmdDbcc);
                    return Flow::Continue;
                }
                targetMb = std::stoll(t.text);
            } else if (t.isWord("EMPTYFILE") || t.isWord("NOTRUNCATE") ||
                       t.isWord("TRUNCATEONLY")) {
                targetMb = 0;
            } else {
                return badDbccParameter(2);
            }
        }
        const std::int64_t targetKb = targetMb * 1024;
        const std::int64_t floorKb = std::max({targetKb, file->minKb, file->usedKb});
        const std::int64_t newKb = std::min(file->sizeKb, pagesUp(floorKb) * kPageKb);
        if (newKb != file->sizeKb) {
            file->sizeKb = newKb;
            file->sizeText.reset();
        }
        if (file->isLog && file->sizeKb > targetKb && !s.noInfoMessages) {
            message(
                9008, 10,
                "Cannot shrink log file " + std::to_string(file->fileId) + " (" + file->name +
                    ") because " +
                    (m_gen.oldWording()
                         ? std::string("all logical log files are in use.")
                         : std::string(
                               "the logical log file located at the end of the file is in use.")));
        }
        RowSet rs;
        rs.columns = {intColumn("DbId", ColumnType::SmallInt),
                      intColumn("FileId", ColumnType::SmallInt),
                      intColumn("CurrentSize"),
                      intColumn("MinimumSize"),
                      intColumn("UsedPages"),
                      intColumn("EstimatedPages")};
        const std::int64_t estimated = pagesUp(std::max(file->minKb, file->usedKb));
        rs.rows.push_back({std::int64_t{db.id}, std::int64_t{file->fileId}, pagesUp(file->sizeKb),
                           pagesUp(file->minKb), pagesUp(file->usedKb),
                           std::min(estimated, pagesUp(file->sizeKb))});
        m_result.items.emplace_back(std::in_place_type<RowSet>, std::move(rs));
        done({DoneKind::Done, true, 1, false, kCmdDbcc});
        dbccCompleted(s);
        return Flow::Continue;
    }

    Flow sqlPerf(const DbccStmt& s)
    {
        if (s.args.size() != 1 || !s.args[0].isWord("LOGSPACE"))
            return badDbccParameter(1);
        RowSet rs;
        rs.columns = {nvarchar("Database Name", 128),
                      {"Log Size (MB)", ColumnType::Real, 0, false},
                      {"Log Space Used (%)", ColumnType::Real, 0, false},
                      intColumn("Status")};
        for (const Database& d : m_cat.databases) {
            std::int64_t size = 0, used = 0;
            for (const DbFile& f : d.files)
                if (f.isLog) {
                    size += f.sizeKb;
                    used += f.usedKb;
                }
            rs.rows.push_back({d.name, static_cast<double>(size) / 1024.0,
                               size ? 100.0 * static_cast<double>(std::min(used, size)) /
                                          static_cast<double>(size)
                                    : 0.0,
                               std::int64_t{0}});
        }
        const auto count = static_cast<std::int64_t>(rs.rows.size());
        m_result.items.emplace_back(std::in_place_type<RowSet>, std::move(rs));
        done({DoneKind::Done, true, count, false, kCmdDbcc});
        dbccCompleted(s);
        return Flow::Continue;
    }

    // ---- ALTER DATABASE, CHECKPOINT, SET, PRINT, transactions ------------------------------
    Flow execute(const AlterRecoveryStmt& s)
    {
        if (m_session.tranCount > 0) {
            message(226, 16,
                    "ALTER DATABASE statement not allowed within multi-statement transaction.");
            failedStatement();
            return Flow::Continue;
        }
        Database* db = m_cat.findDatabase(s.database);
        auto failed = [&] {
            message(5069, 16, "ALTER DATABASE statement failed.");
            failedStatement();
            return Flow::Continue;
        };
        if (!db) {
            if (m_gen.is2000())
                message(911, 16, couldNotLocateDatabase(s.database));
            else
                message(5011, 14,
                        "User does not have permission to alter database '" + s.database +
                            "', the database does not exist, or the database is not in a state "
                            "that allows access checks.");
            return failed();
        }
        if (sqlEquals(db->name, "tempdb") && s.model != "SIMPLE") {
            message(5058, 16, "Option 'RECOVERY' cannot be set in database 'tempdb'.");
            return failed();
        }
        db->recovery = s.model;
        done({});
        return Flow::Continue;
    }

    Flow execute(const CheckpointStmt&)
    {
        Database& db = currentDatabase();
        if (db.recovery == "SIMPLE")
            truncateLog(db);
        done({});
        return Flow::Continue;
    }

    Flow execute(const SetStmt& s)
    {
        const bool on = s.value == "ON";
        for (const std::string& o : s.options) {
            if (o == "NOCOUNT")
                m_session.noCount = on;
            else if (o == "QUOTED_IDENTIFIER")
                m_session.quotedIdentifier = on;
            else if (o == "IMPLICIT_TRANSACTIONS")
                m_session.implicitTransactions = on;
        }
        done({DoneKind::Done, false, 0, false, kCmdSet});
        return Flow::Continue;
    }

    Flow execute(const PrintStmt& s)
    {
        message(0, 0, s.text);
        done({});
        return Flow::Continue;
    }

    Flow execute(const TransactionStmt& s)
    {
        switch (s.kind) {
        case TransactionStmt::Kind::Begin:
            ++m_session.tranCount;
            break;
        case TransactionStmt::Kind::Commit:
            if (m_session.tranCount == 0) {
                message(3902, 16,
                        "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
                failedStatement();
                return Flow::Continue;
            }
            --m_session.tranCount;
            break;
        case TransactionStmt::Kind::Rollback:
            if (m_session.tranCount == 0) {
                message(3903, 16,
                        "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
                failedStatement();
                return Flow::Continue;
            }
            m_session.tranCount = 0;
            break;
        }
        done({});
        return Flow::Continue;
    }

    Catalogue& m_cat;
    SessionSettings& m_session;
    const Generation& m_gen;
    BatchResult m_result;
    int m_line = 1;
};

} // namespace

BatchResult executeBatch(std::string_view sql, Catalogue& catalogue, SessionSettings& session)
{
    return Runner(catalogue, session).run(sql);
}

} // namespace testserver
