// The text of a failure as the operator reads it.
#include "db/Diagnostics.h"

#include <gtest/gtest.h>

using namespace db;

namespace {

TEST(OperatorText, DropsDriverPrefixesAndTrailingStops)
{
    using odbc::operatorText;
    EXPECT_EQ(operatorText(QStringLiteral("[FreeTDS][SQL Server]Login failed for user 'sa'.")),
              QStringLiteral("Login failed for user 'sa'"));
    EXPECT_EQ(operatorText(QStringLiteral("[unixODBC][FreeTDS][SQL Server]Timeout expired")),
              QStringLiteral("Timeout expired"));
    EXPECT_EQ(operatorText(QStringLiteral("Incorrect syntax near 'db'. . ")),
              QStringLiteral("Incorrect syntax near 'db'"));
    EXPECT_EQ(operatorText(QStringLiteral("[FreeTDS][SQL Server]Database [x] gone")),
              QStringLiteral("Database [x] gone"));
}

TEST(FailureRecord, PrefersTheErrorOverInformationalMessages)
{
    const std::vector<Diagnostic> records = {
        {QStringLiteral("01000"), 5701, QStringLiteral("Changed database context to 'pubs'.")},
        {QStringLiteral("42000"), 155,
         QStringLiteral("'TRUNCATE_ONLY' is not a recognized BACKUP option.")},
    };
    ASSERT_NE(odbc::failureRecord(records), nullptr);
    EXPECT_EQ(odbc::failureRecord(records)->native, 155);
}

TEST(FailureRecord, TakesTheDriversLastWordWhenAllAreInformational)
{
    const std::vector<Diagnostic> records = {
        {QStringLiteral("01000"), 5701, QStringLiteral("Changed database context to 'pubs'.")},
        {QStringLiteral("01000"), 20017,
         QStringLiteral("[FreeTDS][SQL Server]Unexpected EOF from the server")},
    };
    EXPECT_EQ(odbc::failureRecord(records)->native, 20017);
    try {
        odbc::raise(records, QStringLiteral("fallback"));
    } catch (const Error& error) {
        EXPECT_EQ(error.text(), QStringLiteral("Unexpected EOF from the server"));
        EXPECT_EQ(error.records().size(), 2u);
    }
}

} // namespace
