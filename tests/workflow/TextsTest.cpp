// The workflow's texts: what reaches the server for every kind of name and input.
#include "workflow/Texts.h"

#include <gtest/gtest.h>

using namespace workflow;

namespace {

struct TrimCase {
    const char* name;
    QString input;
    QString expected;
};

class Trimming : public testing::TestWithParam<TrimCase> {};

TEST_P(Trimming, RemovesControlCharactersAndBlanksAtBothEndsOnly)
{
    EXPECT_EQ(trimmed(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Trimming,
    testing::Values(TrimCase{"padded", QStringLiteral("  master   "), QStringLiteral("master")},
                    TrimCase{"controls", QString::fromUtf16(u"\t\r\n\x01name\x1f\0", 9),
                             QStringLiteral("name")},
                    TrimCase{"inner_blanks_stay", QStringLiteral(" C:\\My Data\\x.ldf "),
                             QStringLiteral("C:\\My Data\\x.ldf")},
                    TrimCase{"only_blanks", QStringLiteral(" \t "), QString()},
                    TrimCase{"chinese", QStringLiteral(" 销售数据 "), QStringLiteral("销售数据")},
                    TrimCase{"nbsp_is_not_trimmed", QStringLiteral("\u00a0x\u00a0"),
                             QStringLiteral("\u00a0x\u00a0")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConnectionStringText, OrdinaryValuesGoInAsTyped)
{
    EXPECT_EQ(connectionString(QStringLiteral("(local)"), QStringLiteral("sa"), QString()),
              QStringLiteral("Provider=SQLOLEDB.1;Password=;User ID=sa;Initial Catalog=Master;"
                             "Data Source=(local)"));
    EXPECT_EQ(connectionString(QString(), QStringLiteral("sa"), QStringLiteral("pw")),
              QStringLiteral("Provider=SQLOLEDB.1;Password=pw;User ID=sa;Initial Catalog=Master;"
                             "Data Source="));
}

struct QuoteCase {
    const char* name;
    QString value;
    QString expected;
};

class ConnectionStringValues : public testing::TestWithParam<QuoteCase> {};

TEST_P(ConnectionStringValues, AreQuotedOnlyWhenTheSyntaxWouldChangeThem)
{
    EXPECT_EQ(connectionStringValue(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ConnectionStringValues,
    testing::Values(QuoteCase{"plain", QStringLiteral("secret"), QStringLiteral("secret")},
                    QuoteCase{"inner_blank", QStringLiteral("a b"), QStringLiteral("a b")},
                    QuoteCase{"semicolon", QStringLiteral("a;Data Source=evil"),
                              QStringLiteral("\"a;Data Source=evil\"")},
                    QuoteCase{"double_quote", QStringLiteral("a\"b"), QStringLiteral("\"a\"\"b\"")},
                    QuoteCase{"single_quote", QStringLiteral("it's"), QStringLiteral("\"it's\"")},
                    QuoteCase{"leading_blank", QStringLiteral(" pw"), QStringLiteral("\" pw\"")},
                    QuoteCase{"trailing_blank", QStringLiteral("pw "), QStringLiteral("\"pw \"")},
                    QuoteCase{"empty", QString(), QString()}),
    [](const auto& info) { return std::string(info.param.name); });

struct NameCase {
    const char* name;
    QString database;
    QString identifier;
    QString literal;
};

class Names : public testing::TestWithParam<NameCase> {};

TEST_P(Names, AreDelimitedSoThatNoNameInjectsSql)
{
    EXPECT_EQ(delimitedIdentifier(GetParam().database), GetParam().identifier);
    EXPECT_EQ(unicodeLiteral(GetParam().database), GetParam().literal);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Names,
    testing::Values(NameCase{"plain", QStringLiteral("pubs"), QStringLiteral("[pubs]"),
                             QStringLiteral("N'pubs'")},
                    NameCase{"blank", QStringLiteral("my db"), QStringLiteral("[my db]"),
                             QStringLiteral("N'my db'")},
                    NameCase{"bracket", QStringLiteral("a]b[c"), QStringLiteral("[a]]b[c]"),
                             QStringLiteral("N'a]b[c'")},
                    NameCase{"quote", QStringLiteral("o'brien"), QStringLiteral("[o'brien]"),
                             QStringLiteral("N'o''brien'")},
                    NameCase{"injection", QStringLiteral("x] DROP DATABASE y --"),
                             QStringLiteral("[x]] DROP DATABASE y --]"),
                             QStringLiteral("N'x] DROP DATABASE y --'")},
                    NameCase{"chinese", QStringLiteral("销售数据"), QStringLiteral("[销售数据]"),
                             QStringLiteral("N'销售数据'")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Batches, HaveTheirExactTexts)
{
    EXPECT_EQ(databaseListQuery(), QStringLiteral("select name from sysdatabases "));
    EXPECT_EQ(logFileQuery(QStringLiteral("web-shop")),
              QStringLiteral("USE [web-shop]  EXEC sp_helpfile "));

    ShrinkRequest request{QStringLiteral("pubs"), QStringLiteral("pubs_log"),
                          QStringLiteral("007")};
    EXPECT_EQ(shrinkBatch(request),
              QStringLiteral("USE [pubs]  BACKUP LOG [pubs] WITH TRUNCATE_ONLY DBCC SHRINKFILE "
                             "([pubs_log], 007)"));
    request.stopGrowth = true;
    EXPECT_EQ(shrinkBatch(request),
              QStringLiteral("USE [pubs]  BACKUP LOG [pubs] WITH TRUNCATE_ONLY DBCC SHRINKFILE "
                             "([pubs_log], 007)EXEC sp_dboption N'pubs', 'trunc. log on chkpt.', "
                             "'TRUE' "));
}

TEST(Batches, NamesHoldingPlaceholdersStayAsTheyAre)
{
    const ShrinkRequest request{QStringLiteral("%2 db"), QStringLiteral("%1"), QStringLiteral("1"),
                                true};
    EXPECT_EQ(
        shrinkBatch(request),
        QStringLiteral("USE [%2 db]  BACKUP LOG [%2 db] WITH TRUNCATE_ONLY DBCC SHRINKFILE "
                       "([%1], 1)EXEC sp_dboption N'%2 db', 'trunc. log on chkpt.', 'TRUE' "));
}

TEST(TargetSize, OnlyDigitStringsAreWholeNumbers)
{
    for (const char* ok : {"0", "007", "1", "99999999999999999999"}) {
        EXPECT_TRUE(isWholeNumber(QString::fromLatin1(ok))) << ok;
    }
    for (const char* bad : {"", " 1", "1 ", "-1", "1.5", "1); DROP DATABASE x --", "１"}) {
        EXPECT_FALSE(isWholeNumber(QString::fromUtf8(bad))) << bad;
    }
}

struct SplitCase {
    const char* name;
    QString entry;
    QString location;
    QString size;
};

class DetailEntries : public testing::TestWithParam<SplitCase> {};

TEST_P(DetailEntries, SplitAtTheFirstBar)
{
    const DetailParts parts = splitDetailEntry(GetParam().entry);
    EXPECT_EQ(parts.location, GetParam().location);
    EXPECT_EQ(parts.size, GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DetailEntries,
    testing::Values(
        SplitCase{"ordinary", QStringLiteral("C:\\x.ldf|1024 KB"), QStringLiteral("C:\\x.ldf"),
                  QStringLiteral("1024 KB")},
        SplitCase{"second_bar_stays_in_size", QStringLiteral("a|b|c"), QStringLiteral("a"),
                  QStringLiteral("b|c")},
        SplitCase{"empty_path", QStringLiteral("|1 KB"), QString(), QStringLiteral("1 KB")},
        SplitCase{"empty_size", QStringLiteral("C:\\x.ldf|"), QStringLiteral("C:\\x.ldf"),
                  QString()},
        SplitCase{"no_bar", QStringLiteral("abc"), QString(), QStringLiteral("abc")},
        SplitCase{"nothing", QString(), QString(), QString()},
        SplitCase{"long_ascii_size", u'|' + QString(250, u'9'), QString(), QString(200, u'9')},
        // 66 three-byte characters are 198 bytes; the 67th would need 201.
        SplitCase{"long_chinese_size", u'|' + QString(80, QChar(0x5927)), QString(),
                  QString(66, QChar(0x5927))},
        SplitCase{"emoji_not_split", u'|' + QString(199, u'x') + QStringLiteral("\U0001F600"),
                  QString(), QString(199, u'x')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Sizes, AreWrittenAsTheServerWritesThem)
{
    EXPECT_EQ(sizeText(128), QStringLiteral("1024 KB"));
    EXPECT_EQ(sizeText(0), QStringLiteral("0 KB"));
}

} // namespace
