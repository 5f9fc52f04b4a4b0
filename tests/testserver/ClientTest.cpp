// The running server through the real FreeTDS clients: the ODBC driver (wide calls,
// ClientCharset=UTF-8) and tsql. What the driver reports is what the tool will see against a
// real server of the same generation.

#include "testserver/OdbcProbe.h"
#include "testserver/TestServer.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using nlohmann::json;
using probe::Rc;

namespace {

std::string demoWith(const std::string& version, const json& faults = json::object())
{
    json j = json::parse(TestServer::catalogue("demo"));
    j["version"] = version;
    for (auto it = faults.begin(); it != faults.end(); ++it)
        j["faults"][it.key()] = it.value();
    return j.dump();
}

const probe::Diagnostic* find(const std::vector<probe::Diagnostic>& diags, int native)
{
    for (const auto& d : diags)
        if (d.native == native)
            return &d;
    return nullptr;
}

std::string text(const std::vector<probe::Diagnostic>& diags)
{
    std::string out;
    for (const auto& d : diags)
        out += d.state + "/" + std::to_string(d.native) + " " + d.text + "\n";
    return out;
}

std::string bracketed(const std::string& name)
{
    std::string out = "[";
    for (char c : name)
        out += c == ']' ? std::string("]]") : std::string(1, c);
    return out + "]";
}

const std::string kToolBatch = "USE [pubs]  BACKUP LOG [pubs] WITH TRUNCATE_ONLY DBCC SHRINKFILE "
                               "([pubs_log], 0)EXEC sp_dboption N'pubs', 'trunc. log on chkpt.', "
                               "'TRUE' ";

} // namespace

TEST(OdbcLogin, SucceedsQuietlyWithTheServersVersionAndNoPasswordInTheLog)
{
    TestServer server(TestServer::catalogue("demo"));
    probe::Connection c;
    ASSERT_EQ(c.connect(probe::connectionString(server.port(), "dba", "Secret#1")), Rc::Success);
    EXPECT_EQ(c.dbmsVersion(), "08.00.2039");
    const auto logins = server.logins();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0]["login"], "dba");
    EXPECT_EQ(logins[0]["ok"], true);
    for (const json& e : server.log())
        EXPECT_EQ(e.dump().find("Secret#1"), std::string::npos);
}

struct LoginFailure {
    const char* name;
    const char* user;
    const char* password;
    const char* database;
    std::vector<int> natives;
};

class OdbcLoginFailure : public testing::TestWithParam<LoginFailure> {};

TEST_P(OdbcLoginFailure, IsError18456AndLogged)
{
    const LoginFailure& f = GetParam();
    TestServer server(demoWith("9.00.5000.00"));
    probe::Connection c;
    EXPECT_EQ(c.connect(probe::connectionString(server.port(), f.user, f.password, f.database)),
              Rc::Error);
    for (int n : f.natives)
        EXPECT_NE(find(c.connectDiagnostics(), n), nullptr) << n;
    const probe::Diagnostic* d = find(c.connectDiagnostics(), 18456);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->state, "42000");
    EXPECT_EQ(d->text, std::string("[FreeTDS][SQL Server]Login failed for user '") + f.user + "'.");
    const auto logins = server.logins();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0]["ok"], false);
}

INSTANTIATE_TEST_SUITE_P(
    Client, OdbcLoginFailure,
    testing::Values(LoginFailure{"WrongPassword", "dba", "secret#1", "", {18456}},
                    LoginFailure{"UnknownUser", "nobody", "", "", {18456}},
                    LoginFailure{"UnknownDatabase", "sa", "", "nosuch", {4060, 18456}}),
    [](const testing::TestParamInfo<LoginFailure>& i) { return std::string(i.param.name); });

TEST(OdbcDatabases, NamesRoundTripAndEachCanBeUsed)
{
    json j = json::parse(TestServer::catalogue("demo"));
    j["databases"].push_back(
        {{"name", "it's [odd]] \"name\""}, {"files", {{{"name", "odd"}, {"size_kb", 1024}}}}});
    TestServer server(j.dump());
    probe::Connection c;
    ASSERT_EQ(c.connect(probe::connectionString(server.port(), "sa", "", "PUBS")), Rc::Success)
        << text(c.connectDiagnostics()) << server.errorOutput();

    EXPECT_EQ(c.column("SELECT DB_NAME()"), std::vector<std::string>{"pubs"});
    // As in 2000, sysdatabases lives in master only.
    const auto outside = c.run("select name from sysdatabases ");
    ASSERT_EQ(outside.at(0).rc, Rc::Error);
    EXPECT_EQ(outside[0].diagnostics.at(0).text,
              "[FreeTDS][SQL Server]Invalid object name 'sysdatabases'.");

    const auto steps = c.run("select name from master..sysdatabases");
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].rc, Rc::Success);
    ASSERT_EQ(steps[0].columnTypes, std::vector<int>{-9});
    std::vector<std::string> names;
    for (const auto& row : steps[0].rows)
        names.push_back(*row.at(0));
    std::vector<std::string> expected;
    for (const json& d : j["databases"])
        expected.push_back(d["name"]);
    EXPECT_EQ(names, expected);

    for (const std::string& name : expected) {
        const auto use = c.run("USE " + bracketed(name) + "  EXEC sp_helpfile ");
        ASSERT_GE(use.size(), 2u) << name;
        EXPECT_EQ(use[0].rc, Rc::SuccessWithInfo) << name;
        EXPECT_EQ(use[0].rowCount, -1);
        EXPECT_TRUE(use[0].hasNative(5701)) << use[0].allText();
        EXPECT_EQ(use[1].columnNames.at(0), "name") << name;
        EXPECT_EQ(c.column("SELECT DB_NAME()"), std::vector<std::string>{name});
    }
    EXPECT_EQ(server.batches().at(1), "select name from sysdatabases ");
}

TEST(OdbcHelpfile, IsBlankPaddedNcharIn2000AndSysnameLater)
{
    for (const char* version : {"8.00.2039", "9.00.5000.00"}) {
        TestServer server(demoWith(version));
        probe::Connection c;
        ASSERT_EQ(c.connect(probe::connectionString(server.port(), "sa", "")), Rc::Success);
        const auto steps = c.run("USE Sales  EXEC sp_helpfile ");
        ASSERT_GE(steps.size(), 2u);
        const probe::Step& files = steps[1];
        const bool is2000 = version[0] == '8';
        EXPECT_EQ(files.columnTypes,
                  (std::vector<int>{is2000 ? -8 : -9, 5, -8, -9, -9, -9, -9, 12}));
        ASSERT_EQ(files.rows.size(), 3u);
        const std::string name = *files.rows[1][0];
        EXPECT_EQ(name.rfind("Sales_Log", 0), 0u);
        EXPECT_EQ(name.size(), is2000 ? 128u : 9u);
        EXPECT_EQ(files.rows[1][2]->size(), 260u);
        EXPECT_FALSE(files.rows[1][3].has_value()) << "a log file has no filegroup";
        EXPECT_EQ(*files.rows[2][4], "1048576 KB");
        EXPECT_EQ(*files.rows[2][5], "4194304 KB");
        EXPECT_EQ(*files.rows[2][6], "102400 KB");
        EXPECT_EQ(*files.rows[2][7], "log only");
    }
}

TEST(OdbcShrink, ResultsComeAsTheDriverShowsThemAndTheSizeShowsOnTheNextConnection)
{
    TestServer server(TestServer::catalogue("demo"));
    probe::Connection a;
    ASSERT_EQ(a.connect(probe::connectionString(server.port(), "sa", "")), Rc::Success);
    const auto steps = a.run(kToolBatch);
    ASSERT_GE(steps.size(), 3u);
    EXPECT_EQ(steps[0].rc, Rc::SuccessWithInfo);
    EXPECT_TRUE(steps[0].hasNative(5701));
    int shrinkStep = -1, completedStep = -1, dboptionStep = -1;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_NE(steps[i].rc, Rc::Error) << steps[i].allText();
        if (!steps[i].columnNames.empty())
            shrinkStep = static_cast<int>(i);
        if (steps[i].hasNative(2528))
            completedStep = static_cast<int>(i);
        if (steps[i].hasNative(15443))
            dboptionStep = static_cast<int>(i);
    }
    ASSERT_GE(shrinkStep, 0);
    const probe::Step& shrink = steps[static_cast<std::size_t>(shrinkStep)];
    EXPECT_EQ(shrink.columnNames,
              (std::vector<std::string>{"DbId", "FileId", "CurrentSize", "MinimumSize", "UsedPages",
                                        "EstimatedPages"}));
    EXPECT_EQ(shrink.columnTypes, (std::vector<int>{5, 5, 4, 4, 4, 4}));
    const probe::Diagnostic* cannot = find(shrink.diagnostics, 9008);
    ASSERT_NE(cannot, nullptr) << "arrives with the call that opens the row set";
    EXPECT_EQ(cannot->state, "01000");
    EXPECT_EQ(cannot->text, "[FreeTDS][SQL Server]Cannot shrink log file 2 (pubs_log) because all "
                            "logical log files are in use.");
    EXPECT_EQ(*shrink.rows.at(0).at(2), "64");
    EXPECT_GT(completedStep, shrinkStep);
    EXPECT_GT(dboptionStep, completedStep);

    probe::Connection b;
    ASSERT_EQ(b.connect(probe::connectionString(server.port(), "sa", "")), Rc::Success);
    const auto files = b.run("USE [pubs]  EXEC sp_helpfile ");
    ASSERT_GE(files.size(), 2u);
    EXPECT_EQ(*files[1].rows.at(1).at(4), "512 KB");
    const auto model = b.run("SELECT recovery_model_desc FROM sys.databases WHERE name = N'pubs'");
    EXPECT_EQ(model.at(0).rc, Rc::Error) << "2000 has no catalog views";

    const auto log = server.log();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[1]["sql"], kToolBatch);
    EXPECT_EQ(log[1]["db_before"], "master");
    EXPECT_EQ(log[1]["outcome"], "ok");
    EXPECT_EQ(log[3]["db_before"], "master") << "each connection starts in its own database";
    EXPECT_EQ(log[4]["errors"], json::array({208}));
}

TEST(OdbcErrors, TruncateOnlyFrom2008RejectsTheWholeBatch)
{
    TestServer server(demoWith("10.50.6000.34"));
    probe::Connection c;
    ASSERT_EQ(c.connect(probe::connectionString(server.port(), "sa", "")), Rc::Success);
    const auto steps = c.run(kToolBatch);
    ASSERT_EQ(steps.at(0).rc, Rc::Error);
    const probe::Diagnostic* d = find(steps[0].diagnostics, 155);
    ASSERT_NE(d, nullptr) << steps[0].allText();
    EXPECT_EQ(d->text, "[FreeTDS][SQL Server]'TRUNCATE_ONLY' is not a recognized BACKUP option.");
    EXPECT_EQ(c.column("SELECT DB_NAME()"), std::vector<std::string>{"master"});
    const auto log = server.log();
    EXPECT_EQ(log.at(1)["outcome"], "error");
    EXPECT_EQ(log.at(1)["errors"], json::array({155}));
}

TEST(OdbcErrors, DboptionFrom2012IsARunTimeErrorAfterTheUse)
{
    TestServer server(demoWith("11.0.7001.0"));
    probe::Connection c;
    ASSERT_EQ(c.connect(probe::connectionString(server.port(), "sa", "")), Rc::Success);
    const auto steps = c.run("USE [pubs]  EXEC sp_dboption N'pubs', 'trunc. log on chkpt.', 'TRUE' "
                             "SELECT DB_NAME()");
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].rc, Rc::SuccessWithInfo);
    EXPECT_EQ(steps[1].rc, Rc::Error);
    const probe::Diagnostic* d = find(steps[1].diagnostics, 2812);
    ASSERT_NE(d, nullptr) << steps[1].allText();
    EXPECT_EQ(d->text, "[FreeTDS][SQL Server]Could not find stored procedure 'sp_dboption'.");
    EXPECT_EQ(*steps[2].rows.at(0).at(0), "pubs") << "the batch goes on after the error";
}

TEST(OdbcFaults, QueryTimeoutCancelsADelayedBatchAndTheConnectionStaysUsable)
{
    TestServer server(demoWith("9.00.5000.00", {{"batch_delay_s", 60}}));
    probe::Connection c;
    ASSERT_EQ(c.connect(probe::connectionString(server.port(), "sa", "")), Rc::Success);
    for (int i = 0; i < 2; ++i) {
        const auto steps = c.run("select name from sysdatabases ", 1);
        ASSERT_EQ(steps.at(0).rc, Rc::Error);
        EXPECT_NE(steps[0].allText().find("HYT00"), std::string::npos) << steps[0].allText();
        EXPECT_EQ(steps[0].allText().find("08S01"), std::string::npos) << steps[0].allText();
    }
    const auto log = server.log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1]["cancelled"], true);
    EXPECT_EQ(log[2]["cancelled"], true);
}

TEST(OdbcFaults, DropOnBatchClosesThatConnectionOnly)
{
    TestServer server(demoWith("8.00.2039", {{"drop_on_batch", 2}}));
    probe::Connection c;
    ASSERT_EQ(c.connect(probe::connectionString(server.port(), "sa", "")), Rc::Success);
    EXPECT_EQ(c.run("SELECT 1").at(0).rc, Rc::Success);
    const auto dropped = c.run("select name from sysdatabases ");
    EXPECT_EQ(dropped.at(0).rc, Rc::Error);
    probe::Connection again;
    ASSERT_EQ(again.connect(probe::connectionString(server.port(), "sa", "")), Rc::Success);
    EXPECT_EQ(again.column("select name from sysdatabases ").size(), 10u);
    const auto log = server.log();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[2]["dropped"], true);
    EXPECT_EQ(log[2]["sql"], "select name from sysdatabases ");
}

TEST(OdbcFaults, ListQueryFailsOnceThenWorks)
{
    TestServer server(demoWith("8.00.2039", {{"fail_list_query", 1}}));
    probe::Connection c;
    ASSERT_EQ(c.connect(probe::connectionString(server.port(), "sa", "")), Rc::Success);
    const auto failed = c.run("select name from sysdatabases ");
    ASSERT_EQ(failed.at(0).rc, Rc::Error);
    const probe::Diagnostic* d = find(failed[0].diagnostics, 229);
    ASSERT_NE(d, nullptr) << failed[0].allText();
    EXPECT_EQ(d->text, "[FreeTDS][SQL Server]SELECT permission denied on object 'sysdatabases', "
                       "database 'master', owner 'dbo'.");
    EXPECT_EQ(c.column("select name from sysdatabases ").size(), 10u);
}

TEST(OdbcFaults, LoginDelayRunsIntoTheLoginTimeout)
{
    TestServer server(demoWith("8.00.2039", {{"login_delay_s", 5}}));
    probe::Connection c;
    EXPECT_EQ(c.connect(probe::connectionString(server.port(), "sa", ""), 1), Rc::Error);
    bool timeout = false;
    for (const auto& d : c.connectDiagnostics())
        timeout = timeout || d.state == "HYT00";
    EXPECT_TRUE(timeout);
}

namespace {

std::string runTsql(int port, const std::string& password, const std::string& input)
{
    const std::string cmd = "tsql -H 127.0.0.1 -p " + std::to_string(port) + " -U sa -P '" +
                            password + "' 2>&1 <<'END_OF_INPUT'\n" + input + "END_OF_INPUT\n";
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

} // namespace

TEST(Tsql, ListsDatabasesAndReportsAFailedLogin)
{
    TestServer server(TestServer::catalogue("demo"));
    const std::string out =
        runTsql(server.port(), "",
                "select name from sysdatabases\ngo\nUSE [Web Shop]\ngo\nUSE web-shop\ngo\nquit\n");
    EXPECT_NE(out.find("销售数据"), std::string::npos) << out;
    EXPECT_NE(out.find("(10 rows affected)"), std::string::npos) << out;
    EXPECT_NE(out.find("Incorrect syntax near '-'."), std::string::npos) << out;
    const std::string failed = runTsql(server.port(), "wrong", "quit\n");
    EXPECT_NE(failed.find("Login failed for user 'sa'."), std::string::npos) << failed;
    EXPECT_EQ(server.logins().size(), 2u);
}
