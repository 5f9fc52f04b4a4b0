// OK: the inputs are tested in order, the shrink batch reaches the server exactly as composed, and
// the operator learns what became of the file.
#include "WindowAgainstServer.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "widgets/Application.h"
#include "widgets/DropDownList.h"
#include "widgets/Edit.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>
#include <QTest>

namespace e2e {
namespace {

const QString kCaption = QStringLiteral("提示");
const QString kDone = QStringLiteral("Log文件收缩成功！");

nlohmann::json catalogue()
{
    nlohmann::json busy = database("busy", {dataFile("busy", "C:\\busy.mdf"),
                                            logFile("busy_log", "C:\\busy_log.ldf", 8192, 6000)});
    busy["log_reuse_wait"] = "ACTIVE_TRANSACTION";
    return catalogueOf({database("one", {dataFile("one", "C:\\Data\\one.mdf"),
                                         logFile("one_log", "C:\\Data\\one_log.ldf", 8192, 5000)}),
                        database("two", {dataFile("two", "C:\\Data\\two.mdf"),
                                         logFile("two_log1", "C:\\Data\\two_log1.ldf", 4096, 100),
                                         logFile("two_log2", "E:\\Logs\\two_log2.ldf", 6144, 100)}),
                        database("nolog", {dataFile("nolog", "C:\\Data\\nolog.mdf")}), busy});
}

// The log file's size as a second connection reads it.
QString sizeSeenElsewhere(const TestServer& server, const QString& database, const QString& file)
{
    db::Connection data;
    db::Query query(data);
    data.setConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Password=;User ID=sa;Initial "
                                            "Catalog=Master;Data Source=127.0.0.1,%1")
                                 .arg(server.port()));
    data.setConnected(true);
    query.setSql(QStringLiteral("USE [%1]  EXEC sp_helpfile ").arg(database));
    query.open();
    for (; !query.eof(); query.next()) {
        if (query.fieldByName(QStringLiteral("name")).trimmed() == file) {
            return query.fieldByName(QStringLiteral("size")).trimmed();
        }
    }
    return {};
}

class Shrink : public WindowAgainstServer {
protected:
    void startAndChoose(const QString& database, const nlohmann::json& json = catalogue())
    {
        start(json);
        ASSERT_TRUE(chooseDatabase(database).empty());
        sent = batches().size();
    }
    size_t sent = 0;
};

TEST_F(Shrink, TheRoadOfOneShrink)
{
    startAndChoose(QStringLiteral("one"));
    ASSERT_EQ(form->Edit6->text(), QStringLiteral("8192 KB"));
    EXPECT_TRUE(oneBox(pressOk(), kCaption, kDone, QMessageBox::Information));
    EXPECT_EQ(batchesSince(sent),
              std::vector<std::string>{"USE [one]  BACKUP LOG [one] WITH TRUNCATE_ONLY DBCC "
                                       "SHRINKFILE ([one_log], 1)"});
    // The size field and the detail entry show the size the server reported.
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("1024 KB"));
    EXPECT_EQ(form->ComboBox3->text(), QStringLiteral("C:\\Data\\one_log.ldf|1024 KB"));
    EXPECT_EQ(sizeSeenElsewhere(*server, QStringLiteral("one"), QStringLiteral("one_log")),
              QStringLiteral("1024 KB"));

    // OK again sends the same batch again, with its own message.
    const size_t before = batches().size();
    EXPECT_TRUE(oneBox(pressOk(), kCaption, kDone, QMessageBox::Information));
    EXPECT_EQ(batchesSince(before), std::vector<std::string>{batches()[sent]});
}

TEST_F(Shrink, TheTickedBoxAddsTheNoGrowthClauseRightAfterTheShrink)
{
    startAndChoose(QStringLiteral("two"));
    ASSERT_TRUE(chooseLogFile(1).empty());
    gui::click(form->CheckBox1);
    ASSERT_TRUE(form->CheckBox1->isChecked());
    retype(form->Edit5, QStringLiteral("007"));
    EXPECT_TRUE(oneBox(pressOk(), kCaption, kDone, QMessageBox::Information));
    EXPECT_EQ(batchesSince(sent),
              std::vector<std::string>{
                  "USE [two]  BACKUP LOG [two] WITH TRUNCATE_ONLY DBCC SHRINKFILE ([two_log2], 007)"
                  "EXEC sp_dboption N'two', 'trunc. log on chkpt.', 'TRUE' "});
    EXPECT_EQ(server->log().back()["outcome"], "ok");
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("6144 KB")); // already below 7 MB
}

// The tests run in a fixed order; the first failing one is the only one reported.
TEST_F(Shrink, EmptyInputsAreReportedOneAtATimeInOrder)
{
    start(catalogue());
    retype(form->Edit1, QString());
    retype(form->Edit2, QString());
    retype(form->Edit5, QString());
    EXPECT_TRUE(
        oneBox(pressOk(), kCaption, QStringLiteral("服务器名不能为空"), QMessageBox::Warning));

    // Blanks are not empty.
    retype(form->Edit1, QStringLiteral("   "));
    EXPECT_TRUE(
        oneBox(pressOk(), kCaption, QStringLiteral("用户名不能为空"), QMessageBox::Warning));

    retype(form->Edit1, address());
    retype(form->Edit2, QStringLiteral("sa"));
    EXPECT_TRUE(
        oneBox(pressOk(), kCaption, QStringLiteral("数据库名不能为空"), QMessageBox::Warning));

    ASSERT_TRUE(chooseDatabase(QStringLiteral("nolog")).empty());
    EXPECT_TRUE(
        oneBox(pressOk(), kCaption, QStringLiteral("Log文件不能为空"), QMessageBox::Warning));

    ASSERT_TRUE(chooseDatabase(QStringLiteral("one")).empty());
    EXPECT_TRUE(
        oneBox(pressOk(), kCaption, QStringLiteral("收缩大小不能为空"), QMessageBox::Warning));

    const size_t before = batches().size();
    retype(form->Edit5, QStringLiteral("2"));
    // The password was never typed: it is not tested.
    EXPECT_TRUE(oneBox(pressOk(), kCaption, kDone, QMessageBox::Information));
    EXPECT_EQ(batchesSince(before).size(), 1u);
}

TEST_F(Shrink, TheBatchGoesToTheServerConnectedFirst)
{
    startAndChoose(QStringLiteral("one"));
    // Once the login is edited the lists are gone, so OK cannot reach any server.
    gui::click(form->Edit1);
    gui::type(form->Edit1, QStringLiteral("x"));
    EXPECT_TRUE(
        oneBox(pressOk(), kCaption, QStringLiteral("数据库名不能为空"), QMessageBox::Warning));
    EXPECT_EQ(batches().size(), sent);
}

struct KeyCase {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* text; // what the keystroke types
    const char* expected;
};

class TargetSizeKeys : public WindowAgainstServer, public testing::WithParamInterface<KeyCase> {};

// The field starts as "1" with the caret at its end.
TEST_P(TargetSizeKeys, OnlyDigitsAreTyped)
{
    start(catalogue());
    QGuiApplication::clipboard()->setText(QStringLiteral("99")); // what Ctrl+V would paste
    gui::click(form->Edit5);
    form->Edit5->end(false);
    QTest::sendKeyEvent(QTest::Click, form->Edit5, GetParam().key,
                        QString::fromUtf8(GetParam().text), GetParam().modifiers);
    EXPECT_EQ(form->Edit5->text(), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    E2e, TargetSizeKeys,
    testing::Values(KeyCase{"digit", Qt::Key_7, Qt::NoModifier, "7", "17"},
                    KeyCase{"zero", Qt::Key_0, Qt::NoModifier, "0", "10"},
                    KeyCase{"letter", Qt::Key_A, Qt::NoModifier, "a", "1"},
                    KeyCase{"blank", Qt::Key_Space, Qt::NoModifier, " ", "1"},
                    KeyCase{"point", Qt::Key_Period, Qt::NoModifier, ".", "1"},
                    KeyCase{"minus", Qt::Key_Minus, Qt::NoModifier, "-", "1"},
                    KeyCase{"full_width_digit", Qt::Key_unknown, Qt::NoModifier, "７", "1"},
                    KeyCase{"backspace", Qt::Key_Backspace, Qt::NoModifier, "\b", "1"},
                    KeyCase{"ctrl_v", Qt::Key_V, Qt::ControlModifier, "\x16", "1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Shrink, DeleteStillErasesAndPastedTextIsStoppedByTheWholeNumberTest)
{
    startAndChoose(QStringLiteral("one"));
    gui::click(form->Edit5);
    form->Edit5->home(false);
    gui::press(form->Edit5, Qt::Key_Delete);
    EXPECT_EQ(form->Edit5->text(), QString());

    // A paste from the context menu is not filtered.
    QGuiApplication::clipboard()->setText(QStringLiteral("1); DROP DATABASE x --"));
    form->Edit5->paste();
    ASSERT_EQ(form->Edit5->text(), QStringLiteral("1); DROP DATABASE x --"));
    EXPECT_TRUE(
        oneBox(pressOk(), kCaption, QStringLiteral("收缩大小必须是整数"), QMessageBox::Warning));
    EXPECT_EQ(batches().size(), sent);
}

// Names that need delimiting reach the server as exactly those names.
struct NameCase {
    const char* name;
    const char* database;
    const char* logFile;
    const char* batch;
};

class AwkwardNames : public WindowAgainstServer, public testing::WithParamInterface<NameCase> {};

TEST_P(AwkwardNames, AreListedChosenAndShrunk)
{
    const QString name = QString::fromUtf8(GetParam().database);
    start(catalogueOf(
        {database(GetParam().database, {dataFile("d", "C:\\d.mdf"),
                                        logFile(GetParam().logFile, "C:\\l.ldf", 4096, 10)})}));
    ASSERT_TRUE(chooseDatabase(name).empty());
    ASSERT_EQ(form->ComboBox2->text(), QString::fromUtf8(GetParam().logFile));
    const size_t before = batches().size();
    gui::click(form->CheckBox1);
    EXPECT_TRUE(oneBox(pressOk(), kCaption, kDone, QMessageBox::Information));
    ASSERT_EQ(batchesSince(before).size(), 1u);
    EXPECT_EQ(batchesSince(before).front(), GetParam().batch);
    EXPECT_EQ(server->log().back()["outcome"], "ok");
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("1024 KB"));
}

INSTANTIATE_TEST_SUITE_P(
    E2e, AwkwardNames,
    testing::Values(
        NameCase{"blank", "my db", "my log",
                 "USE [my db]  BACKUP LOG [my db] WITH TRUNCATE_ONLY DBCC SHRINKFILE ([my log], 1)"
                 "EXEC sp_dboption N'my db', 'trunc. log on chkpt.', 'TRUE' "},
        NameCase{
            "hyphen", "web-shop", "web-shop_log",
            "USE [web-shop]  BACKUP LOG [web-shop] WITH TRUNCATE_ONLY DBCC SHRINKFILE "
            "([web-shop_log], 1)EXEC sp_dboption N'web-shop', 'trunc. log on chkpt.', 'TRUE' "},
        NameCase{"quote", "o'brien", "o'brien_log",
                 "USE [o'brien]  BACKUP LOG [o'brien] WITH TRUNCATE_ONLY DBCC SHRINKFILE "
                 "([o'brien_log], 1)EXEC sp_dboption N'o''brien', 'trunc. log on chkpt.', 'TRUE' "},
        NameCase{"bracket", "a]b", "x]y",
                 "USE [a]]b]  BACKUP LOG [a]]b] WITH TRUNCATE_ONLY DBCC SHRINKFILE ([x]]y], 1)"
                 "EXEC sp_dboption N'a]b', 'trunc. log on chkpt.', 'TRUE' "},
        NameCase{
            "reserved_word", "select", "backup",
            "USE [select]  BACKUP LOG [select] WITH TRUNCATE_ONLY DBCC SHRINKFILE ([backup], 1)"
            "EXEC sp_dboption N'select', 'trunc. log on chkpt.', 'TRUE' "},
        NameCase{"chinese", "销售数据", "销售日志",
                 "USE [销售数据]  BACKUP LOG [销售数据] WITH TRUNCATE_ONLY DBCC SHRINKFILE "
                 "([销售日志], 1)"
                 "EXEC sp_dboption N'销售数据', 'trunc. log on chkpt.', 'TRUE' "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Shrink, AFileThatCannotReachTheTargetIsReportedWithTheServersReason)
{
    startAndChoose(QStringLiteral("busy"));
    const auto boxes = pressOk();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kCaption);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
    const QStringList lines = boxes[0].text.split(u'\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("Log文件未能收缩到目标大小，当前大小：6000 KB"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Cannot shrink log file")))
        << lines[1].toStdString();
    EXPECT_FALSE(boxes[0].text.contains(QStringLiteral("Changed database context")));
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("6000 KB"));
}

TEST_F(Shrink, ANewerServerRejectsTheBatchWithItsOwnMessage)
{
    startAndChoose(QStringLiteral("one"), [] {
        nlohmann::json json = catalogue();
        json["version"] = "10.50.1600";
        return json;
    }());
    const auto boxes = pressOk();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, Application::title());
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes[0].text, QStringLiteral("'TRUNCATE_ONLY' is not a recognized BACKUP option."));
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("8192 KB"));
}

TEST_F(Shrink, ADroppedConnectionIsAnErrorAndTheNextOkConnectsAgain)
{
    nlohmann::json json = catalogue();
    json["faults"]["drop_on_batch"] = 3; // the list, the log files, then the shrink
    startAndChoose(QStringLiteral("one"), json);
    const auto boxes = pressOk();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, Application::title());
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);

    EXPECT_TRUE(oneBox(pressOk(), kCaption, kDone, QMessageBox::Information));
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("1024 KB"));
}

TEST_F(Shrink, ARejectedNoGrowthClauseIsAnErrorNotASuccess)
{
    nlohmann::json json = catalogue();
    json["databases"][1]["dboption_denied"] = true; // "one"
    startAndChoose(QStringLiteral("one"), json);
    gui::click(form->CheckBox1);
    const auto boxes = pressOk();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, Application::title());
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes[0].text,
              QStringLiteral("User does not have permission to perform this action."));
    // The shrink before the clause ran and keeps its effect, and the size field says so.
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("1024 KB"));
    EXPECT_EQ(sizeSeenElsewhere(*server, QStringLiteral("one"), QStringLiteral("one_log")),
              QStringLiteral("1024 KB"));
}

TEST_F(Shrink, AnAnswerDelayedPastTheCommandTimeOutIsAnErrorAndTheWindowWorksOn)
{
    nlohmann::json json = catalogue();
    json["faults"]["batch_delay_s"] = 40;
    json["faults"]["delay_batches"] = {3}; // the list, the log files, then the shrink
    startAndChoose(QStringLiteral("one"), json);
    const auto boxes = pressOk();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, Application::title());
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("Timeout expired")))
        << boxes[0].text.toStdString();
    EXPECT_TRUE(server->log().back().value("cancelled", false));

    EXPECT_TRUE(oneBox(pressOk(), kCaption, kDone, QMessageBox::Information));
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("1024 KB"));
}

} // namespace
} // namespace e2e
