// The connection and the query against the test server, through the real ODBC driver.
#include "db/Connection.h"
#include "db/Query.h"
#include "testserver/TestServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace db;

namespace {

// A 2000-generation server with two user databases.
nlohmann::json catalogue(const std::string& version = "8.00.2039")
{
    return {
        {"version", version},
        {"server_name", "TESTSRV"},
        {"logins", {{{"name", "sa"}, {"password", "secret"}}}},
        {"databases",
         {
             {{"name", "master"},
              {"recovery", "SIMPLE"},
              {"log_reuse_wait", "NOTHING"},
              {"files",
               {{{"name", "master"},
                 {"filename", "C:\\MSSQL\\Data\\master.mdf"},
                 {"size_kb", 12800},
                 {"usage", "data only"}},
                {{"name", "mastlog"},
                 {"filename", "C:\\MSSQL\\Data\\mastlog.ldf"},
                 {"size_kb", 1024},
                 {"min_kb", 512},
                 {"used_kb", 300},
                 {"usage", "log only"}}}}},
             {{"name", "销售数据"},
              {"recovery", "FULL"},
              {"log_reuse_wait", "NOTHING"},
              {"files",
               {{{"name", "sales"},
                 {"filename", "D:\\数据\\sales.mdf"},
                 {"size_kb", 4096},
                 {"usage", "data only"}},
                {{"name", "sales_log"},
                 {"filename", "D:\\数据\\sales_log.ldf"},
                 {"size_kb", 81920},
                 {"min_kb", 512},
                 {"used_kb", 40000},
                 {"usage", "log only"}}}}},
         }},
        {"faults",
         {{"login_delay_s", 0},
          {"batch_delay_s", 0},
          {"drop_on_batch", nullptr},
          {"fail_list_query", false}}},
    };
}

QString connectionString(const TestServer& server,
                         const QString& password = QStringLiteral("secret"))
{
    return QStringLiteral("Provider=SQLOLEDB.1;Password=%1;User ID=sa;Initial Catalog=Master;"
                          "Data Source=127.0.0.1,%2")
        .arg(password)
        .arg(server.port());
}

class QueryAgainstServer : public testing::Test {
protected:
    void start(const nlohmann::json& json = catalogue())
    {
        server = std::make_unique<TestServer>(json.dump());
        data.setConnectionString(connectionString(*server));
        data.setConnected(true);
    }

    std::vector<QString> column(int position)
    {
        std::vector<QString> values;
        while (!query.eof()) {
            values.push_back(query.field(position));
            query.next();
        }
        return values;
    }

    std::unique_ptr<TestServer> server;
    Connection data;
    Query query{data};
};

TEST_F(QueryAgainstServer, ConnectsOnceAndReadsTheDatabaseList)
{
    start();
    EXPECT_TRUE(data.connected());
    EXPECT_EQ(data.serverVersion().left(5), QStringLiteral("08.00"));
    query.setSql(QStringLiteral("select name from sysdatabases "));
    query.open();
    EXPECT_EQ(column(0),
              (std::vector<QString>{QStringLiteral("master"), QStringLiteral("销售数据")}));
    ASSERT_EQ(server->logins().size(), 1u);
    EXPECT_EQ(server->batches(), std::vector<std::string>{"select name from sysdatabases "});
}

TEST_F(QueryAgainstServer, AFailedLoginRaisesTheServersTextAndStaysClosed)
{
    server = std::make_unique<TestServer>(catalogue().dump());
    data.setConnectionString(connectionString(*server, QStringLiteral("wrong")));
    try {
        data.setConnected(true);
        FAIL() << "a wrong password connected";
    } catch (const Error& error) {
        EXPECT_EQ(error.text(), QStringLiteral("Login failed for user 'sa'"));
        EXPECT_GE(error.records().size(), 2u); // the server's refusal and the driver's own words
    }
    EXPECT_FALSE(data.connected());
}

TEST_F(QueryAgainstServer, PassesOverResultsWithoutRowsAndFindsColumnsByAnyCase)
{
    start();
    query.setSql(QStringLiteral("USE [销售数据]  EXEC sp_helpfile "));
    query.open();
    ASSERT_FALSE(query.eof());
    EXPECT_EQ(query.fieldByName(QStringLiteral("NAME")).trimmed(), QStringLiteral("sales"));
    EXPECT_EQ(query.fieldByName(QStringLiteral("Usage")), QStringLiteral("data only"));
    query.next();
    EXPECT_EQ(query.fieldByName(QStringLiteral("filename")).trimmed(),
              QStringLiteral("D:\\数据\\sales_log.ldf"));
    query.next();
    EXPECT_TRUE(query.eof());
    try {
        query.fieldByName(QStringLiteral("nosuch"));
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(error.text(), QStringLiteral("Query: Field 'nosuch' not found"));
    }
}

TEST_F(QueryAgainstServer, ABatchWithoutRowSetIsReportedAsSuch)
{
    start();
    query.setSql(QStringLiteral("USE master"));
    try {
        query.open();
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(error.text(), QStringLiteral("Query: CommandText does not return a result set"));
    }
    EXPECT_FALSE(query.active());
}

struct RejectedCase {
    const char* name;
    const char* sql;
    int number;
    const char* text;
};

class RejectedBatches : public QueryAgainstServer,
                        public testing::WithParamInterface<RejectedCase> {};

TEST_P(RejectedBatches, RaiseTheServersOwnText)
{
    start();
    query.setSql(QString::fromUtf8(GetParam().sql));
    try {
        query.open();
        query.finishBatch();
        FAIL() << "the batch was taken";
    } catch (const Error& error) {
        EXPECT_EQ(error.text(), QString::fromUtf8(GetParam().text));
        const bool numberKept =
            std::any_of(error.records().begin(), error.records().end(),
                        [](const Diagnostic& r) { return r.native == GetParam().number; });
        EXPECT_TRUE(numberKept);
    }
    // The connection stays usable.
    query.setSql(QStringLiteral("select name from sysdatabases "));
    query.open();
    EXPECT_FALSE(query.eof());
}

INSTANTIATE_TEST_SUITE_P(
    Db, RejectedBatches,
    testing::Values(
        RejectedCase{"syntax", "USE my db  EXEC sp_helpfile ", 102, "Incorrect syntax near 'db'"},
        RejectedCase{"unknown_database", "USE [nosuch]  EXEC sp_helpfile ", 911,
                     "Could not locate entry in sysdatabases for database 'nosuch'. No entry found "
                     "with that name. Make sure that the name is entered correctly"},
        RejectedCase{"error_after_the_row_set", "USE master  EXEC sp_helpfile EXEC sp_nosuch", 2812,
                     "Could not find stored procedure 'sp_nosuch'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(QueryAgainstServer, KeepsTheServersInformationalMessages)
{
    start();
    query.setSql(QStringLiteral("USE master  EXEC sp_helpfile "));
    query.open();
    ASSERT_FALSE(query.messages().empty());
    EXPECT_EQ(query.messages().front().native, 5701);
    EXPECT_EQ(messageText(query.messages().front()),
              QStringLiteral("Changed database context to 'master'."));
}

TEST_F(QueryAgainstServer, ALostLinkClosesTheConnectionAndTheNextQueryConnectsAgain)
{
    nlohmann::json json = catalogue();
    json["faults"]["drop_on_batch"] = 1;
    start(json);
    query.setSql(QStringLiteral("select name from sysdatabases "));
    EXPECT_THROW(query.open(), Error);
    EXPECT_FALSE(data.connected());
    query.open(); // the first batch of a new connection is dropped as well
}

} // namespace
