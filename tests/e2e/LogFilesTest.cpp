// Choosing a database lists its log files; choosing a log file shows its path and size.
#include "WindowAgainstServer.h"
#include "widgets/Application.h"
#include "widgets/DropDownList.h"
#include "widgets/Edit.h"

namespace e2e {
namespace {

nlohmann::json catalogue()
{
    nlohmann::json oddUsage = database(
        "odd", {dataFile("odd", "C:\\odd.mdf"), logFile("upper", "C:\\upper.ldf", 1024),
                logFile("blank", "C:\\blank.ldf", 1024), logFile("real", "C:\\real.ldf", 1024)});
    oddUsage["files"][1]["usage"] = "Log only";
    oddUsage["files"][2]["usage"] = "log only ";

    nlohmann::json padded =
        database("padded", {dataFile("padded", "C:\\padded.mdf"),
                            logFile("  pad_log\t", "  C:\\My Logs\\pad log.ldf \r\n", 1024)});
    padded["files"][1]["size"] = "  1024 KB  ";

    nlohmann::json longSize = database("longsize", {logFile("ls_log", "C:\\ls.ldf", 1024)});
    std::string longText(70, 'x');
    for (int i = 0; i < 50; ++i) {
        longText += "大";
    }
    longSize["files"][0]["size"] = longText;

    nlohmann::json emptyParts =
        database("empties", {logFile("e1", "   ", 1024), logFile("e2", "C:\\e2.ldf", 1024)});
    emptyParts["files"][1]["size"] = " ";

    return catalogueOf({database("one", {dataFile("one", "C:\\Data\\one.mdf"),
                                         logFile("one_log", "C:\\Data\\one_log.ldf", 2048)}),
                        database("two", {dataFile("two", "C:\\Data\\two.mdf"),
                                         logFile("two_log1", "C:\\Data\\two_log1.ldf", 1024),
                                         logFile("two_log2", "E:\\Logs\\two_log2.ldf", 3072)}),
                        database("nolog", {dataFile("nolog", "C:\\Data\\nolog.mdf")}), oddUsage,
                        padded, longSize, emptyParts,
                        // Listed without its leading blank, a name the server does not know.
                        database(" lead", {logFile("lead_log", "C:\\lead.ldf", 1024)})});
}

using LogFiles = WindowAgainstServer;

TEST_F(LogFiles, ADatabaseWithOneLogFileShowsItChosen)
{
    start(catalogue());
    ASSERT_TRUE(chooseDatabase(QStringLiteral("one")).empty());
    EXPECT_EQ(items(form->ComboBox2), QStringList{QStringLiteral("one_log")});
    EXPECT_EQ(form->ComboBox2->text(), QStringLiteral("one_log"));
    EXPECT_EQ(items(form->ComboBox3), QStringList{QStringLiteral("C:\\Data\\one_log.ldf|2048 KB")});
    EXPECT_EQ(form->ComboBox3->selectedIndex(), 0);
    EXPECT_EQ(form->Edit4->text(), QStringLiteral("C:\\Data\\one_log.ldf"));
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("2048 KB"));
    EXPECT_EQ(batchesSince(1), std::vector<std::string>{"USE [one]  EXEC sp_helpfile "});
}

TEST_F(LogFiles, PickingTheSecondLogFileShowsItsPathAndSize)
{
    start(catalogue());
    ASSERT_TRUE(chooseDatabase(QStringLiteral("two")).empty());
    EXPECT_EQ(items(form->ComboBox2),
              (QStringList{QStringLiteral("two_log1"), QStringLiteral("two_log2")}));
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("1024 KB"));
    const size_t sent = batches().size();

    ASSERT_TRUE(chooseLogFile(1).empty());
    EXPECT_EQ(form->ComboBox2->text(), QStringLiteral("two_log2"));
    EXPECT_EQ(form->ComboBox3->selectedIndex(), 1);
    EXPECT_EQ(form->Edit4->text(), QStringLiteral("E:\\Logs\\two_log2.ldf"));
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("3072 KB"));
    EXPECT_EQ(batches().size(), sent); // nothing asked of the server

    // Another database: both lists rebuilt, its first log file chosen.
    ASSERT_TRUE(chooseDatabase(QStringLiteral("one")).empty());
    EXPECT_EQ(form->ComboBox2->selectedIndex(), 0);
    EXPECT_EQ(form->Edit4->text(), QStringLiteral("C:\\Data\\one_log.ldf"));
}

TEST_F(LogFiles, ADatabaseWithoutLogRowLeavesEverythingEmpty)
{
    start(catalogue());
    ASSERT_TRUE(chooseDatabase(QStringLiteral("two")).empty());
    ASSERT_TRUE(chooseDatabase(QStringLiteral("nolog")).empty());
    EXPECT_EQ(form->ComboBox2->itemCount(), 0);
    EXPECT_EQ(form->ComboBox3->itemCount(), 0);
    EXPECT_EQ(form->ComboBox3->text(), QString());
    EXPECT_EQ(form->Edit4->text(), QString());
    EXPECT_EQ(form->Edit6->text(), QString());
}

TEST_F(LogFiles, OnlyAUsageOfExactlyLogOnlyMakesALogFile)
{
    start(catalogue());
    ASSERT_TRUE(chooseDatabase(QStringLiteral("odd")).empty());
    EXPECT_EQ(items(form->ComboBox2), QStringList{QStringLiteral("real")});
}

TEST_F(LogFiles, NamesPathsAndSizesArriveTrimmedWithInnerBlanksKept)
{
    start(catalogue());
    ASSERT_TRUE(chooseDatabase(QStringLiteral("padded")).empty());
    EXPECT_EQ(items(form->ComboBox2), QStringList{QStringLiteral("pad_log")});
    EXPECT_EQ(form->Edit4->text(), QStringLiteral("C:\\My Logs\\pad log.ldf"));
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("1024 KB"));
}

TEST_F(LogFiles, ALongSizeIsCutForDisplayOnlyAndNeverInsideACharacter)
{
    start(catalogue());
    ASSERT_TRUE(chooseDatabase(QStringLiteral("longsize")).empty());
    const QString whole = QString(70, u'x') + QString(50, QChar(0x5927));
    EXPECT_EQ(form->ComboBox3->text(), QStringLiteral("C:\\ls.ldf|") + whole);
    // 70 bytes of "x" and 43 characters of three bytes: 199 bytes; a 44th would need 202.
    EXPECT_EQ(form->Edit6->text(), whole.left(70 + 43));
}

TEST_F(LogFiles, AnEmptyPathOrSizeShowsAsEmpty)
{
    start(catalogue());
    ASSERT_TRUE(chooseDatabase(QStringLiteral("empties")).empty());
    EXPECT_EQ(form->ComboBox3->text(), QStringLiteral("|1024 KB"));
    EXPECT_EQ(form->Edit4->text(), QString());
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("1024 KB"));
    ASSERT_TRUE(chooseLogFile(1).empty());
    EXPECT_EQ(form->ComboBox3->text(), QStringLiteral("C:\\e2.ldf|"));
    EXPECT_EQ(form->Edit4->text(), QStringLiteral("C:\\e2.ldf"));
    EXPECT_EQ(form->Edit6->text(), QString());
}

TEST_F(LogFiles, ARejectedQueryShowsTheServersErrorAndLeavesNothingStale)
{
    start(catalogue());
    ASSERT_TRUE(chooseDatabase(QStringLiteral("two")).empty());
    ASSERT_EQ(form->ComboBox2->itemCount(), 2);

    const auto boxes = chooseDatabase(QStringLiteral("lead"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, Application::title());
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes[0].text.startsWith(
        QStringLiteral("Could not locate entry in sysdatabases for database 'lead'")))
        << boxes[0].text.toStdString();
    EXPECT_EQ(form->ComboBox1->text(), QStringLiteral("lead"));
    EXPECT_EQ(form->ComboBox2->itemCount(), 0);
    EXPECT_EQ(form->ComboBox3->itemCount(), 0);
    EXPECT_EQ(form->Edit4->text(), QString());
    EXPECT_EQ(form->Edit6->text(), QString());

    // OK can no longer pair this database with the other's log file.
    const auto ok = pressOk();
    EXPECT_TRUE(oneBox(ok, QStringLiteral("提示"), QStringLiteral("Log文件不能为空"),
                       QMessageBox::Warning));
}

TEST_F(LogFiles, AMissingColumnShowsTheQuerysErrorAndLeavesNothingStale)
{
    nlohmann::json json = catalogue();
    json["faults"]["helpfile_omit"] = {"size"};
    start(json);
    const auto boxes = chooseDatabase(QStringLiteral("one"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, Application::title());
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Query: Field 'size' not found."));
    EXPECT_EQ(form->ComboBox2->itemCount(), 0);
    EXPECT_EQ(form->ComboBox3->itemCount(), 0);
    EXPECT_EQ(form->Edit4->text(), QString());
    EXPECT_EQ(form->Edit6->text(), QString());
}

} // namespace
} // namespace e2e
