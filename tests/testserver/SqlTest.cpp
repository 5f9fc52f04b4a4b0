// The server's T-SQL as a client sees it, without the wire: what each batch answers and what
// it changes in the catalogue, per server generation.

#include "Catalogue.h"
#include "Executor.h"
#include "Tokenizer.h"

#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

using namespace testserver;
using nlohmann::json;

namespace {

json demoJson()
{
    std::ifstream in(std::string(TESTSERVER_CATALOGUE_DIR) + "/demo.json");
    std::stringstream ss;
    ss << in.rdbuf();
    return json::parse(ss.str());
}

Catalogue demo(const std::string& version = "8.00.2039")
{
    json j = demoJson();
    j["version"] = version;
    return Catalogue::fromJson(j);
}

std::vector<const Message*> messages(const BatchResult& r)
{
    std::vector<const Message*> out;
    for (const ResultItem& i : r.items)
        if (const auto* m = std::get_if<Message>(&i))
            out.push_back(m);
    return out;
}

const Message* firstError(const BatchResult& r)
{
    for (const Message* m : messages(r))
        if (m->isError())
            return m;
    return nullptr;
}

std::vector<const RowSet*> rowSets(const BatchResult& r)
{
    std::vector<const RowSet*> out;
    for (const ResultItem& i : r.items)
        if (const auto* rs = std::get_if<RowSet>(&i))
            out.push_back(rs);
    return out;
}

DbFile& file(Catalogue& c, const std::string& db, const std::string& name)
{
    for (DbFile& f : c.findDatabase(db)->files)
        if (f.name == name)
            return f;
    throw std::runtime_error("no file " + name);
}

} // namespace

TEST(Tokenizer, UndoesDoubledClosingBracketsAndQuotes)
{
    const TokenizeResult r = tokenize("[a]]b] N'it''s' \"q\"\"x\" 'plain'", true);
    ASSERT_TRUE(r.errors.empty());
    ASSERT_EQ(r.tokens.size(), 5u);
    EXPECT_EQ(r.tokens[0].kind, TokenKind::QuotedIdentifier);
    EXPECT_EQ(r.tokens[0].text, "a]b");
    EXPECT_EQ(r.tokens[1].kind, TokenKind::String);
    EXPECT_TRUE(r.tokens[1].national);
    EXPECT_EQ(r.tokens[1].text, "it's");
    EXPECT_EQ(r.tokens[2].kind, TokenKind::QuotedIdentifier);
    EXPECT_EQ(r.tokens[2].text, "q\"x");
    EXPECT_FALSE(r.tokens[3].national);
    EXPECT_EQ(r.tokens[4].kind, TokenKind::End);
}

TEST(Tokenizer, DoubleQuotesAreStringsWithoutQuotedIdentifier)
{
    const TokenizeResult r = tokenize("\"x\"", false);
    EXPECT_EQ(r.tokens[0].kind, TokenKind::String);
}

struct BatchCase {
    const char* name;
    const char* version;
    const char* sql;
    std::vector<int> errors;
    const char* firstErrorText; // nullptr: not checked
    const char* databaseAfter;
};

class Batch : public testing::TestWithParam<BatchCase> {};

TEST_P(Batch, AnswersAndEndsInDatabase)
{
    const BatchCase& c = GetParam();
    Catalogue cat = demo(c.version);
    SessionSettings session;
    const BatchResult r = executeBatch(c.sql, cat, session);
    EXPECT_EQ(r.errorNumbers(), c.errors);
    if (c.firstErrorText) {
        const Message* e = firstError(r);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->text, c.firstErrorText);
    }
    EXPECT_EQ(session.database, c.databaseAfter);
    ASSERT_FALSE(r.items.empty());
    EXPECT_TRUE(std::holds_alternative<Done>(r.items.back())) << "a batch ends with a DONE";
}

constexpr const char* k2000 = "8.00.2039";
constexpr const char* k2005 = "9.00.5000.00";
constexpr const char* k2008 = "10.0.5500.0";
constexpr const char* k2008R2 = "10.50.6000.34";
constexpr const char* k2012 = "11.0.7001.0";
constexpr const char* k2019 = "15.0.2000.5";

INSTANTIATE_TEST_SUITE_P(
    Sql, Batch,
    testing::Values(
        BatchCase{"UseWithBlankNeedsBrackets",
                  k2000,
                  "USE my db",
                  {102},
                  "Incorrect syntax near 'db'.",
                  "master"},
        BatchCase{"UseWithHyphenNeedsBrackets",
                  k2000,
                  "USE web-shop",
                  {102},
                  "Incorrect syntax near '-'.",
                  "master"},
        BatchCase{"UseBracketedBlank", k2000, "USE [Web Shop]", {}, nullptr, "Web Shop"},
        BatchCase{
            "UseBracketedClosingBracket", k2000, "USE [Repl[Pub]]]", {}, nullptr, "Repl[Pub]"},
        BatchCase{"UseQuotedIdentifier", k2000, "USE \"Web Shop\"", {}, nullptr, "Web Shop"},
        BatchCase{"UseIsCaseInsensitive", k2000, "use PUBS", {}, nullptr, "pubs"},
        BatchCase{"UseChineseName", k2000, "USE 销售数据", {}, nullptr, "销售数据"},
        BatchCase{"UseUnknown2000",
                  k2000,
                  "USE nosuch",
                  {911},
                  "Could not locate entry in sysdatabases for database 'nosuch'. No entry found "
                  "with that name. Make sure that the name is entered correctly.",
                  "master"},
        BatchCase{"UseUnknown2005",
                  k2005,
                  "USE nosuch",
                  {911},
                  "Could not locate entry in sysdatabases for database 'nosuch'. No entry found "
                  "with that name. Make sure that the name is entered correctly.",
                  "master"},
        BatchCase{"UseUnknown2008R2",
                  k2008R2,
                  "USE nosuch",
                  {911},
                  "Database 'nosuch' does not exist. Make sure that the name is entered correctly.",
                  "master"},
        BatchCase{"UseUnknownEndsTheBatch",
                  k2000,
                  "USE pubs USE nosuch USE model",
                  {911},
                  nullptr,
                  "pubs"},
        BatchCase{"ReservedKeywordIs156",
                  k2000,
                  "select name from",
                  {156},
                  "Incorrect syntax near the keyword 'from'.",
                  "master"},
        BatchCase{"UnclosedString",
                  k2000,
                  "USE pubs select 'abc",
                  {105, 102},
                  "Unclosed quotation mark after the character string 'abc'.",
                  "master"},
        BatchCase{"UnclosedComment",
                  k2000,
                  "USE pubs /* open",
                  {113},
                  "Missing end comment mark '*/'.",
                  "master"},
        BatchCase{"CommentsAndSemicolons",
                  k2000,
                  "/* a /* nested */ */ USE pubs; -- end\n;",
                  {},
                  nullptr,
                  "pubs"},
        BatchCase{"ToolShrinkBatch2000",
                  k2000,
                  "USE [pubs]  BACKUP LOG [pubs] WITH TRUNCATE_ONLY DBCC SHRINKFILE ([pubs_log], "
                  "10)EXEC sp_dboption N'pubs', 'trunc. log on chkpt.', 'TRUE' ",
                  {},
                  nullptr,
                  "pubs"},
        BatchCase{"ToolShrinkBatchUnquoted",
                  k2000,
                  "USE pubs  BACKUP LOG pubs WITH TRUNCATE_ONLY DBCC SHRINKFILE (pubs_log, 10)EXEC "
                  "sp_dboption pubs, 'trunc. log on chkpt.', TRUE ",
                  {},
                  nullptr,
                  "pubs"},
        BatchCase{"ToolShrinkBatchChinese",
                  k2000,
                  "USE [销售数据]  BACKUP LOG [销售数据] WITH TRUNCATE_ONLY DBCC SHRINKFILE "
                  "(N'销售数据_log', 10)",
                  {},
                  nullptr,
                  "销售数据"},
        BatchCase{
            "NoLogAllowedIn2005", k2005, "BACKUP LOG pubs WITH NO_LOG", {}, nullptr, "master"},
        BatchCase{
            "TruncateOnlyRejectsWholeBatch2008",
            k2008,
            "USE [pubs]  BACKUP LOG [pubs] WITH TRUNCATE_ONLY DBCC SHRINKFILE ([pubs_log], 10)",
            {155},
            "'TRUNCATE_ONLY' is not a recognized BACKUP option.",
            "master"},
        BatchCase{"NoLogRejected2019",
                  k2019,
                  "USE pubs BACKUP LOG pubs WITH NO_LOG",
                  {155},
                  "'NO_LOG' is not a recognized BACKUP option.",
                  "master"},
        BatchCase{"DboptionIsRunTimeError2012",
                  k2012,
                  "USE [pubs]  EXEC sp_dboption N'pubs', 'trunc. log on chkpt.', 'TRUE' USE model",
                  {2812},
                  "Could not find stored procedure 'sp_dboption'.",
                  "model"},
        BatchCase{"DboptionWorks2008R2",
                  k2008R2,
                  "EXEC sp_dboption N'pubs', 'trunc. log on chkpt.', 'TRUE'",
                  {},
                  nullptr,
                  "master"},
        BatchCase{"UnknownProcedureContinues",
                  k2000,
                  "EXEC sp_nothing USE pubs",
                  {2812},
                  "Could not find stored procedure 'sp_nothing'.",
                  "pubs"},
        BatchCase{"ProcedureWithoutExecFirst", k2000, "sp_helpfile", {}, nullptr, "master"},
        BatchCase{"ProcedureWithoutExecLater",
                  k2000,
                  "USE pubs sp_helpfile",
                  {102},
                  "Incorrect syntax near 'sp_helpfile'.",
                  "master"},
        BatchCase{"SysdatabasesOnlyInMaster2000",
                  k2000,
                  "USE pubs select name from sysdatabases",
                  {208},
                  "Invalid object name 'sysdatabases'.",
                  "pubs"},
        BatchCase{"SysdatabasesQualified2000",
                  k2000,
                  "USE pubs select name from master..sysdatabases select name from "
                  "master.dbo.sysdatabases",
                  {},
                  nullptr,
                  "pubs"},
        BatchCase{"SysdatabasesAnywhere2005",
                  k2005,
                  "USE pubs select name from sysdatabases",
                  {},
                  nullptr,
                  "pubs"},
        BatchCase{"NoCatalogViews2000",
                  k2000,
                  "select name from sys.databases",
                  {208},
                  "Invalid object name 'sys.databases'.",
                  "master"},
        BatchCase{"UnknownColumn",
                  k2005,
                  "select nom from sys.databases",
                  {207},
                  "Invalid column name 'nom'.",
                  "master"},
        BatchCase{"ShrinkUnknownFile2000",
                  k2000,
                  "DBCC SHRINKFILE (nosuch, 1)",
                  {8985},
                  "Could not locate file 'nosuch' in sysfiles.",
                  "master"},
        BatchCase{"ShrinkUnknownFile2008",
                  k2008,
                  "DBCC SHRINKFILE ('nosuch', 1)",
                  {8985},
                  "Could not locate file 'nosuch' for database 'master' in sys.database_files. "
                  "The file either does not exist, or was dropped.",
                  "master"},
        BatchCase{"SetOptionsAccepted",
                  k2000,
                  "SET NOCOUNT ON SET TEXTSIZE 2147483647 SET ANSI_NULLS, ANSI_WARNINGS ON SET "
                  "TRANSACTION ISOLATION LEVEL READ COMMITTED SET LOCK_TIMEOUT -1",
                  {},
                  nullptr,
                  "master"},
        BatchCase{"BackupInsideTransaction",
                  k2000,
                  "BEGIN TRAN BACKUP LOG pubs WITH TRUNCATE_ONLY",
                  {3021, 3013},
                  "Cannot perform a backup or restore operation within a transaction.",
                  "master"},
        BatchCase{"AlterRecoveryUnknownDatabase",
                  k2008,
                  "ALTER DATABASE nosuch SET RECOVERY SIMPLE",
                  {5011, 5069},
                  nullptr,
                  "master"},
        BatchCase{"EmptyBatch", k2000, "  -- nothing\n", {}, nullptr, "master"}),
    [](const testing::TestParamInfo<BatchCase>& i) { return std::string(i.param.name); });

struct ShrinkCase {
    const char* name;
    std::int64_t sizeKb, minKb, usedKb, targetMb;
    std::int64_t expectedKb;
    bool cannotShrinkMessage;
};

class Shrink : public testing::TestWithParam<ShrinkCase> {};

TEST_P(Shrink, SizeFollowsTargetMinimumAndUsedSpace)
{
    const ShrinkCase& c = GetParam();
    Catalogue cat = demo();
    DbFile& log = file(cat, "pubs", "pubs_log");
    log.sizeKb = c.sizeKb;
    log.minKb = c.minKb;
    log.usedKb = c.usedKb;
    SessionSettings session;
    const BatchResult r = executeBatch(
        "USE pubs DBCC SHRINKFILE (pubs_log, " + std::to_string(c.targetMb) + ")", cat, session);
    EXPECT_TRUE(r.errorNumbers().empty());
    EXPECT_EQ(log.sizeKb, c.expectedKb);

    // The shrink's INFO comes before its row set, "DBCC execution completed" after it.
    std::vector<int> order;
    for (const ResultItem& i : r.items) {
        if (const auto* m = std::get_if<Message>(&i); m && m->number != 5701)
            order.push_back(m->number);
        if (std::holds_alternative<RowSet>(i))
            order.push_back(-1);
    }
    const std::vector<int> expected =
        c.cannotShrinkMessage ? std::vector<int>{9008, -1, 2528} : std::vector<int>{-1, 2528};
    EXPECT_EQ(order, expected);
    const RowSet& rs = *rowSets(r).at(0);
    ASSERT_EQ(rs.columns.size(), 6u);
    EXPECT_EQ(rs.columns[0].name, "DbId");
    EXPECT_EQ(rs.columns[0].type, ColumnType::SmallInt);
    EXPECT_EQ(rs.columns[2].name, "CurrentSize");
    EXPECT_EQ(std::get<std::int64_t>(rs.rows.at(0).at(2)), c.expectedKb / 8);
}

INSTANTIATE_TEST_SUITE_P(
    Sql, Shrink,
    testing::Values(ShrinkCase{"TargetReached", 10240, 512, 100, 1, 1024, false},
                    ShrinkCase{"UsedSpaceHolds", 10240, 512, 4000, 1, 4000, true},
                    ShrinkCase{"RoundsUpToWholePages", 10240, 512, 4001, 1, 4008, true},
                    ShrinkCase{"MinimumHolds", 10240, 2048, 0, 1, 2048, true},
                    ShrinkCase{"NeverGrows", 1024, 512, 0, 5, 1024, false},
                    ShrinkCase{"ZeroTarget", 10240, 512, 0, 0, 512, true}),
    [](const testing::TestParamInfo<ShrinkCase>& i) { return std::string(i.param.name); });

TEST(Shrink, FileByIdAndMessageWordingPerGeneration)
{
    Catalogue old = demo(k2005);
    SessionSettings s1;
    BatchResult r = executeBatch("USE Sales DBCC SHRINKFILE (3, 0)", old, s1);
    ASSERT_EQ(messages(r).at(1)->number, 9008);
    EXPECT_EQ(messages(r).at(1)->text,
              "Cannot shrink log file 3 (Sales_Log2) because all logical log files are in use.");
    Catalogue newer = demo(k2008);
    SessionSettings s2;
    r = executeBatch("USE Sales DBCC SHRINKFILE (3, 0)", newer, s2);
    EXPECT_EQ(messages(r).at(1)->text,
              "Cannot shrink log file 3 (Sales_Log2) because the logical log file located at the "
              "end of the file is in use.");
}

struct TruncateCase {
    const char* logReuseWait;
    bool frees;
};

class Truncate : public testing::TestWithParam<TruncateCase> {};

TEST_P(Truncate, FreesTheLogUnlessSomethingHoldsIt)
{
    Catalogue cat = demo();
    cat.findDatabase("pubs")->logReuseWait = GetParam().logReuseWait;
    SessionSettings session;
    const BatchResult r = executeBatch("BACKUP LOG pubs WITH TRUNCATE_ONLY", cat, session);
    EXPECT_TRUE(r.errorNumbers().empty());
    EXPECT_TRUE(rowSets(r).empty());
    EXPECT_EQ(file(cat, "pubs", "pubs_log").usedKb, GetParam().frees ? 0 : 640);
}

INSTANTIATE_TEST_SUITE_P(Sql, Truncate,
                         testing::Values(TruncateCase{"NOTHING", true},
                                         TruncateCase{"LOG_BACKUP", true},
                                         TruncateCase{"ACTIVE_TRANSACTION", false},
                                         TruncateCase{"REPLICATION", false}),
                         [](const testing::TestParamInfo<TruncateCase>& i) {
                             return std::string(i.param.logReuseWait);
                         });

TEST(Recovery, DboptionAlterAndCheckpointChangeTheModel)
{
    Catalogue cat = demo(k2008R2);
    SessionSettings session;
    BatchResult r =
        executeBatch("EXEC sp_dboption 'pubs', 'TRUNC. LOG ON CHKPT.', 'on'", cat, session);
    EXPECT_EQ(cat.findDatabase("pubs")->recovery, "SIMPLE");
    EXPECT_EQ(messages(r).at(0)->number, 15443);
    EXPECT_EQ(messages(r).at(0)->text, "Checkpointing database that was changed.");
    executeBatch("EXEC sp_dboption @dbname = 'pubs', @optname = 'trunc. log on chkpt.', "
                 "@optvalue = 'false'",
                 cat, session);
    EXPECT_EQ(cat.findDatabase("pubs")->recovery, "FULL");
    r = executeBatch("EXEC sp_dboption 'pubs', 'trunc. log on chkpt.', 'maybe'", cat, session);
    EXPECT_EQ(r.errorNumbers(), std::vector<int>{15241});

    executeBatch("ALTER DATABASE [pubs] SET RECOVERY BULK_LOGGED", cat, session);
    EXPECT_EQ(cat.findDatabase("pubs")->recovery, "BULK_LOGGED");
    executeBatch("ALTER DATABASE pubs SET RECOVERY SIMPLE WITH NO_WAIT", cat, session);
    cat.findDatabase("pubs")->logReuseWait = "CHECKPOINT";
    executeBatch("USE pubs CHECKPOINT", cat, session);
    EXPECT_EQ(file(cat, "pubs", "pubs_log").usedKb, 0);

    r = executeBatch("SELECT recovery_model_desc, log_reuse_wait_desc FROM sys.databases WHERE "
                     "name = N'PUBS'",
                     cat, session);
    ASSERT_EQ(rowSets(r).size(), 1u);
    ASSERT_EQ(rowSets(r)[0]->rows.size(), 1u);
    EXPECT_EQ(std::get<std::string>(rowSets(r)[0]->rows[0][0]), "SIMPLE");
    EXPECT_EQ(std::get<std::string>(rowSets(r)[0]->rows[0][1]), "NOTHING");
}

TEST(Helpfile, ColumnsPerGenerationAndTextsVerbatimUntilAShrink)
{
    json j = demoJson();
    json& pubs = j["databases"][4];
    ASSERT_EQ(pubs["name"], "pubs");
    pubs["files"][1]["size"] = " 1024 KB ";
    pubs["files"][1]["growth"] = "10 %";
    Catalogue cat = Catalogue::fromJson(j);
    SessionSettings session;
    BatchResult r = executeBatch("USE pubs EXEC sp_helpfile", cat, session);
    ASSERT_EQ(rowSets(r).size(), 1u);
    const RowSet& rs = *rowSets(r)[0];
    std::vector<std::string> names;
    for (const Column& c : rs.columns)
        names.push_back(c.name);
    EXPECT_EQ(names, (std::vector<std::string>{"name", "fileid", "filename", "filegroup", "size",
                                               "maxsize", "growth", "usage"}));
    EXPECT_EQ(rs.columns[0].type, ColumnType::NChar);
    EXPECT_EQ(rs.columns[0].length, 128);
    EXPECT_EQ(rs.columns[2].type, ColumnType::NChar);
    EXPECT_EQ(rs.columns[2].length, 260);
    EXPECT_EQ(rs.columns[7].type, ColumnType::VarChar);
    EXPECT_EQ(std::get<std::string>(rs.rows[1][4]), " 1024 KB ");
    EXPECT_EQ(std::get<std::string>(rs.rows[1][6]), "10 %");
    EXPECT_EQ(std::get<std::string>(rs.rows[1][7]), "log only");
    EXPECT_TRUE(std::holds_alternative<std::monostate>(rs.rows[1][3])) << "a log has no filegroup";

    executeBatch("BACKUP LOG pubs WITH TRUNCATE_ONLY DBCC SHRINKFILE (pubs_log, 0)", cat, session);
    r = executeBatch("EXEC sp_helpfile", cat, session);
    EXPECT_EQ(std::get<std::string>(rowSets(r)[0]->rows[1][4]), "512 KB");

    Catalogue later = demo(k2005);
    SessionSettings s2;
    r = executeBatch("EXEC sp_helpfile", later, s2);
    EXPECT_EQ(rowSets(r)[0]->columns[0].type, ColumnType::NVarChar);
    EXPECT_EQ(rowSets(r)[0]->columns[2].type, ColumnType::NChar);
}

TEST(Faults, ListQueryFailsTheGivenNumberOfTimes)
{
    json j = demoJson();
    j["faults"]["fail_list_query"] = 1;
    Catalogue cat = Catalogue::fromJson(j);
    SessionSettings session;
    BatchResult r = executeBatch("select name from sysdatabases ", cat, session);
    ASSERT_EQ(r.errorNumbers(), std::vector<int>{229});
    EXPECT_EQ(firstError(r)->text,
              "SELECT permission denied on object 'sysdatabases', database 'master', owner 'dbo'.");
    EXPECT_EQ(firstError(r)->severity, 14);
    r = executeBatch("select name from sysdatabases ", cat, session);
    EXPECT_TRUE(r.errorNumbers().empty());
    EXPECT_EQ(rowSets(r).at(0)->rows.size(), cat.databases.size());

    j["faults"]["fail_list_query"] = {{"number", 4060}, {"message", "custom"}};
    Catalogue always = Catalogue::fromJson(j);
    for (int i = 0; i < 3; ++i) {
        r = executeBatch("select name from master.dbo.sysdatabases", always, session);
        EXPECT_EQ(r.errorNumbers(), std::vector<int>{4060});
    }
    EXPECT_EQ(firstError(r)->text, "custom");
}

struct CatalogueErrorCase {
    const char* name;
    const char* json;
    const char* expected; // part of the message
};

class CatalogueErrors : public testing::TestWithParam<CatalogueErrorCase> {};

TEST_P(CatalogueErrors, AreRejectedWithAReason)
{
    try {
        Catalogue::fromText(GetParam().json);
        FAIL() << "accepted";
    } catch (const CatalogueError& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().expected), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, CatalogueErrors,
    testing::Values(
        CatalogueErrorCase{"NotJson", "{", "not valid JSON"},
        CatalogueErrorCase{"NoMaster", R"({"version": "8.00.2039", "databases": []})", "master"},
        CatalogueErrorCase{"Version7",
                           R"({"version": "7.00.623", "databases": [{"name": "master"}]})",
                           "generation"},
        CatalogueErrorCase{
            "FileWithoutSize",
            R"({"version": "8.00.2039", "databases": [{"name": "master", "files": [{"name": "m"}]}]})",
            "size_kb"},
        CatalogueErrorCase{
            "BadRecovery",
            R"({"version": "8.00.2039", "databases": [{"name": "master", "recovery": "LAZY"}]})",
            "LAZY"},
        CatalogueErrorCase{
            "NegativeDelay",
            R"({"version": "8.00.2039", "databases": [{"name": "master"}], "faults": {"batch_delay_s": -1}})",
            "batch_delay_s"}),
    [](const testing::TestParamInfo<CatalogueErrorCase>& i) { return std::string(i.param.name); });
