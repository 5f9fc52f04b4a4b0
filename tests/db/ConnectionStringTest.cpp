// How the connection string of the window becomes the driver's connection.
#include "db/ConnectionString.h"

#include "db/Connection.h"
#include "workflow/Texts.h"

#include <gtest/gtest.h>

using namespace db;

namespace {

struct ParseCase {
    const char* name;
    QString text;
    QString key;
    QString expected;
};

class Parsing : public testing::TestWithParam<ParseCase> {};

TEST_P(Parsing, ReadsValuesAsSuchStringsAreRead)
{
    const ConnectionString parsed = ConnectionString::parse(GetParam().text);
    ASSERT_TRUE(parsed.value(GetParam().key).has_value());
    EXPECT_EQ(*parsed.value(GetParam().key), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Db, Parsing,
    testing::Values(ParseCase{"empty_password",
                              QStringLiteral("Provider=SQLOLEDB.1;Password=;User ID=sa"),
                              QStringLiteral("Password"), QString()},
                    ParseCase{"keys_ignore_case", QStringLiteral("user id=sa"),
                              QStringLiteral("User ID"), QStringLiteral("sa")},
                    ParseCase{"synonym", QStringLiteral("UID=sa"), QStringLiteral("User ID"),
                              QStringLiteral("sa")},
                    ParseCase{"unquoted_trimmed", QStringLiteral("Data Source= host ;"),
                              QStringLiteral("Data Source"), QStringLiteral("host")},
                    ParseCase{"double_quoted", QStringLiteral("Password=\"a;b\"\"c\";User ID=sa"),
                              QStringLiteral("Password"), QStringLiteral("a;b\"c")},
                    ParseCase{"single_quoted", QStringLiteral("Password='it''s';"),
                              QStringLiteral("Password"), QStringLiteral("it's")},
                    ParseCase{"quoted_blanks_kept", QStringLiteral("Password=\"  pw  \""),
                              QStringLiteral("Password"), QStringLiteral("  pw  ")},
                    ParseCase{"later_key_wins", QStringLiteral("User ID=a;User ID=b"),
                              QStringLiteral("User ID"), QStringLiteral("b")},
                    ParseCase{"empty_last_value", QStringLiteral("Data Source="),
                              QStringLiteral("Data Source"), QString()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Parsing, RejectsMalformedStrings)
{
    EXPECT_THROW(ConnectionString::parse(QStringLiteral("Password=\"open")), Error);
    EXPECT_THROW(ConnectionString::parse(QStringLiteral("Password=\"a\"b;")), Error);
    EXPECT_THROW(ConnectionString::parse(QStringLiteral("novalue")), Error);
}

// Every value the window can put into the string comes back out exactly as typed.
TEST(Parsing, RoundTripsEveryLoginValueTheWindowWrites)
{
    const QString values[] = {QStringLiteral("plain"),       QStringLiteral("a;Data Source=evil"),
                              QStringLiteral(" both ends "), QStringLiteral("\"quoted\""),
                              QStringLiteral("it's"),        QStringLiteral("'"),
                              QStringLiteral("密码;x"),      QString()};
    for (const QString& value : values) {
        const ConnectionString parsed = ConnectionString::parse(
            workflow::connectionString(QStringLiteral("srv"), value, value));
        EXPECT_EQ(parsed.valueOr(QStringLiteral("Password")), value) << value.toStdString();
        EXPECT_EQ(parsed.valueOr(QStringLiteral("User ID")), value) << value.toStdString();
        EXPECT_EQ(parsed.valueOr(QStringLiteral("Data Source")), QStringLiteral("srv"));
    }
}

struct AddressCase {
    const char* name;
    QString dataSource;
    QString host;
    int port; // 0: none (the instance is resolved by the driver)
    QString instance;
};

class Addresses : public testing::TestWithParam<AddressCase> {};

TEST_P(Addresses, FollowHowOperatorsNameServers)
{
    const ServerAddress address = ServerAddress::parse(GetParam().dataSource);
    EXPECT_EQ(address.host, GetParam().host);
    EXPECT_EQ(address.port.value_or(0), GetParam().port);
    EXPECT_EQ(address.instance, GetParam().instance);
}

INSTANTIATE_TEST_SUITE_P(
    Db, Addresses,
    testing::Values(
        AddressCase{"local", QStringLiteral("(local)"), QStringLiteral("127.0.0.1"), 1433, {}},
        AddressCase{
            "LOCAL_upper", QStringLiteral("(LOCAL)"), QStringLiteral("127.0.0.1"), 1433, {}},
        AddressCase{"dot", QStringLiteral("."), QStringLiteral("127.0.0.1"), 1433, {}},
        AddressCase{
            "localhost", QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), 1433, {}},
        AddressCase{"host", QStringLiteral("dbhost"), QStringLiteral("dbhost"), 1433, {}},
        AddressCase{"host_port", QStringLiteral("dbhost,1500"), QStringLiteral("dbhost"), 1500, {}},
        AddressCase{"tcp_host_port",
                    QStringLiteral("tcp:10.1.2.3,1501"),
                    QStringLiteral("10.1.2.3"),
                    1501,
                    {}},
        AddressCase{
            "local_port", QStringLiteral("(local),2000"), QStringLiteral("127.0.0.1"), 2000, {}},
        AddressCase{"instance", QStringLiteral("dbhost\\SQLEXPRESS"), QStringLiteral("dbhost"), 0,
                    QStringLiteral("SQLEXPRESS")},
        AddressCase{"local_instance", QStringLiteral("(local)\\INST"), QStringLiteral("127.0.0.1"),
                    0, QStringLiteral("INST")},
        AddressCase{"empty", QString(), QString(), 1433, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Addresses, RejectAPortThatIsNoNumber)
{
    EXPECT_THROW(ServerAddress::parse(QStringLiteral("host,abc")), Error);
    EXPECT_THROW(ServerAddress::parse(QStringLiteral("host,70000")), Error);
}

TEST(DriverString, CarriesTheLoginVerbatim)
{
    EXPECT_EQ(odbcConnectionString(workflow::connectionString(
                  QStringLiteral("(local)"), QStringLiteral("sa"), QStringLiteral("p;w}x"))),
              QStringLiteral("DRIVER={FreeTDS};SERVER={127.0.0.1};PORT=1433;UID={sa};PWD={p;w}x};"
                             "DATABASE={Master};ClientCharset=UTF-8;APP=logshrink;"));
}

TEST(DriverString, RefusesWhatTheDriverCannotTake)
{
    EXPECT_THROW(odbcConnectionString(QStringLiteral("Provider=MSDASQL;Data Source=x")), Error);
    try {
        odbcConnectionString(workflow::connectionString(QStringLiteral("x"), QStringLiteral("sa"),
                                                        QStringLiteral("a};b")));
        FAIL() << "a password holding \"};\" was handed to the driver";
    } catch (const Error& error) {
        EXPECT_NE(error.text().indexOf(QStringLiteral("password")), -1) << error.what();
    }
}

} // namespace
