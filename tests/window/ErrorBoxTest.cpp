// The top-level error box and the program's own message boxes.
#include "WindowFixture.h"
#include "gui/Boxes.h"
#include "widgets/Application.h"
#include "widgets/DropDownList.h"
#include "widgets/Edit.h"
#include "widgets/MessageBox.h"

#include <stdexcept>

#include <QApplication>
#include <QPushButton>

namespace {

struct DotRow {
    const char* name;
    QString text;
    QString shown;
};

class DotRuleTest : public ::testing::TestWithParam<DotRow> {};

TEST_P(DotRuleTest, AppendsAPointOnlyAfterACharacterAboveThePoint)
{
    EXPECT_EQ(Application::errorBoxText(GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    ErrorBox, DotRuleTest,
    ::testing::Values(DotRow{"EndsInPoint", "Login failed.", "Login failed."},
                      DotRow{"EndsInBlank", "Login failed ", "Login failed "},
                      DotRow{"EndsInExclamation", "No rows!", "No rows!"},
                      DotRow{"EndsInParenthesis", "Timeout (30 s)", "Timeout (30 s)"},
                      DotRow{"EndsInComma", "a,", "a,"}, DotRow{"EndsInMinus", "a-", "a-"},
                      DotRow{"EndsInSlashJustAbovePoint", "path/", "path/."},
                      DotRow{"EndsInDigit", "Error 4060", "Error 4060."},
                      DotRow{"EndsInLetter", "Invalid object name 'x'y",
                             "Invalid object name 'x'y."},
                      DotRow{"EndsInDoubleByteCharacter", "无法打开数据库", "无法打开数据库."},
                      DotRow{"EndsInFullWidthStop", "查询失败。", "查询失败。."},
                      DotRow{"EmptyStaysEmpty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct TitleRow {
    const char* name;
    QString path;
    QString title;
};

class TitleTest : public ::testing::TestWithParam<TitleRow> {};

TEST_P(TitleTest, FollowsTheProgramFileName)
{
    EXPECT_EQ(Application::titleFor(GetParam().path), GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(
    ErrorBox, TitleTest,
    ::testing::Values(TitleRow{"PlainName", "/usr/local/bin/logshrink", "logshrink"},
                      TitleRow{"CutBeforeTheFirstPoint", "/opt/x/LogShrink.v2.EXE", "Logshrink"},
                      TitleRow{"FirstLetterKeptRestLowered", "C:/Tools/LOGSHRINK.exe", "Logshrink"},
                      TitleRow{"FolderWithPointsIgnored", "/home/a.b/tool", "tool"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ErrorBoxTitle, IsTheRunningProgramsName)
{
    EXPECT_EQ(Application::title(), "window_tests");
}

TEST_F(WindowTest, ErrorEscapingAHandlerIsShownAndTheWindowRunsOn)
{
    // A receiver of our own stands in for a handler that fails, guarded as the window's are.
    int runs = 0;
    QObject::connect(form->Button2, &QPushButton::clicked, form.get(), [&] {
        runGuarded([&] {
            ++runs;
            form->Edit4->setText("changed before the error");
            throw std::runtime_error("对象名 'sysdatabases' 无效");
        });
    });
    form->Edit1->setFocus(Qt::TabFocusReason);

    const auto boxes = gui::closeBoxesDuring([] { gui::press(Qt::Key_Return); });

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, Application::title());
    EXPECT_EQ(boxes[0].text, "对象名 'sysdatabases' 无效.");
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes[0].owner, form.get());
    EXPECT_TRUE(boxes[0].modal);
    // The window keeps what the handler changed and goes on taking events.
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Edit4->text(), "changed before the error");
    EXPECT_EQ(QApplication::activeWindow(), form.get());
    EXPECT_EQ(QApplication::focusWidget(), form->Edit1);
    const auto again = gui::closeBoxesDuring([] { gui::press(Qt::Key_Return); });
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(again.size(), 1u);
}

TEST_F(WindowTest, ErrorOfAnUnknownKindStillReachesTheBox)
{
    const auto boxes = gui::closeBoxesDuring([] { runGuarded([] { throw 42; }); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(boxes[0].text.isEmpty());
}

TEST_F(WindowTest, ErrorDuringDropDownLeavesTheListUsable)
{
    QObject::connect(form->ComboBox1, &DropDownList::dropDown, form.get(), [&] {
        runGuarded([&] {
            form->ComboBox1->appendItem("master");
            throw std::runtime_error("连接中断");
        });
    });
    const auto boxes = gui::closeBoxesDuring([&] { gui::openList(form->ComboBox1); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "连接中断.");
    // What the handler appended before the error is there to choose.
    EXPECT_EQ(form->ComboBox1->itemCount(), 1);
    if (!form->ComboBox1->isOpen())
        gui::openList(form->ComboBox1);
    gui::pickInOpenList(form->ComboBox1, 0);
    EXPECT_EQ(form->ComboBox1->text(), "master");
}

struct MessageRow {
    const char* name;
    MessageIcon icon;
    QMessageBox::Icon shown;
};

class MessageTest : public WindowTest, public ::testing::WithParamInterface<MessageRow> {};

TEST_P(MessageTest, IsModalOwnedByTheWindowAndCaptioned)
{
    const auto boxes = gui::closeBoxesDuring(
        [&] { showMessage(form.get(), "服务器名不能为空", GetParam().icon); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "提示");
    EXPECT_EQ(boxes[0].text, "服务器名不能为空"); // no point added to the program's own texts
    EXPECT_EQ(boxes[0].icon, GetParam().shown);
    EXPECT_EQ(boxes[0].owner, form.get());
    EXPECT_TRUE(boxes[0].modal);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, MessageTest,
    ::testing::Values(MessageRow{"Warning", MessageIcon::Warning, QMessageBox::Warning},
                      MessageRow{"Information", MessageIcon::Information, QMessageBox::Information},
                      MessageRow{"Error", MessageIcon::Error, QMessageBox::Critical}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, EveryBoxOfOneActionIsCaughtInOrder)
{
    const auto boxes = gui::closeBoxesDuring([&] {
        showMessage(form.get(), "外层", MessageIcon::Information);
        runGuarded([] { throw std::runtime_error("内层"); });
    });
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "外层");
    EXPECT_EQ(boxes[1].text, "内层.");
}

} // namespace
