// Opening the database list: one connect with the typed login, the list of every database on the
// server, and what the operator sees when either fails.
#include "WindowAgainstServer.h"
#include "widgets/Application.h"
#include "widgets/DropDownList.h"
#include "widgets/Edit.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QGuiApplication>

namespace e2e {
namespace {

const QString kConnectFailed = QStringLiteral("连接MS SQL SERVER服务器出错");
const QString kCaption = QStringLiteral("提示");

using DatabaseList = WindowAgainstServer;

TEST_F(DatabaseList, FirstOpeningConnectsOnceAndListsEveryNameTrimmedInOrder)
{
    start(paddedNames());
    EXPECT_TRUE(openDatabaseList().empty());
    EXPECT_EQ(items(form->ComboBox1),
              (QStringList{QStringLiteral("master"), QStringLiteral("pubs"),
                           QStringLiteral("Northwind"), QStringLiteral("销售数据")}));
    EXPECT_EQ(form->ComboBox1->selectedIndex(), -1);
    EXPECT_EQ(form->ComboBox1->text(), QString());
    ASSERT_EQ(server->logins().size(), 1u);
    EXPECT_EQ(server->logins().front()["login"], "sa");
    EXPECT_EQ(batches(), std::vector<std::string>{"select name from sysdatabases "});
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr); // the busy cursor is gone again

    // Connected: a second opening asks the server nothing and leaves the list as it is.
    EXPECT_TRUE(openDatabaseList().empty());
    EXPECT_EQ(form->ComboBox1->itemCount(), 4);
    EXPECT_EQ(server->logins().size(), 1u);
    EXPECT_EQ(batches().size(), 1u);
}

TEST_F(DatabaseList, OpensWithTheNamesItsHandlerJustListed)
{
    start(paddedNames());
    gui::openList(form->ComboBox1, gui::By::Keyboard);
    EXPECT_TRUE(form->ComboBox1->isOpen());
    EXPECT_EQ(form->ComboBox1->listView()->model()->rowCount(), 4);
    gui::press(Qt::Key_Escape);
}

TEST_F(DatabaseList, AWrongPasswordShowsTheConnectBoxAndTheCorrectedOneConnects)
{
    start(
        catalogueOf({database("pubs", {logFile("pubs_log", "C:\\pubs_log.ldf", 2048)})}, "right"));
    retype(form->Edit3, QStringLiteral("wrong"));
    EXPECT_TRUE(oneBox(openDatabaseList(), kCaption, kConnectFailed, QMessageBox::Critical));
    EXPECT_EQ(form->ComboBox1->itemCount(), 0);
    EXPECT_TRUE(batches().empty());

    retype(form->Edit3, QStringLiteral("right"));
    EXPECT_TRUE(openDatabaseList().empty());
    EXPECT_EQ(items(form->ComboBox1),
              (QStringList{QStringLiteral("master"), QStringLiteral("pubs")}));
    const auto logins = server->logins();
    ASSERT_EQ(logins.size(), 2u);
    EXPECT_FALSE(logins[0]["ok"].get<bool>());
    EXPECT_TRUE(logins[1]["ok"].get<bool>());
}

TEST_F(DatabaseList, AnUnreachableServerShowsTheConnectBox)
{
    start(paddedNames());
    // A loopback port that was free a moment ago and has no listener now.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof bound;
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&bound), sizeof bound), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&bound), &length), 0);
    ::close(probe);
    const int port = ntohs(bound.sin_port);
    retype(form->Edit1, QStringLiteral("127.0.0.1,%1").arg(port));
    EXPECT_TRUE(oneBox(openDatabaseList(), kCaption, kConnectFailed, QMessageBox::Critical));
    EXPECT_EQ(form->ComboBox1->itemCount(), 0);
}

TEST_F(DatabaseList, AnEmptyServerFieldShowsTheConnectBox)
{
    start(paddedNames());
    retype(form->Edit1, QString());
    EXPECT_TRUE(oneBox(openDatabaseList(), kCaption, kConnectFailed, QMessageBox::Critical));
    EXPECT_TRUE(server->logins().empty());
}

TEST_F(DatabaseList, ALoginThatNeverAnswersEndsInTheConnectBoxAfterTheTimeOut)
{
    nlohmann::json catalogue = paddedNames();
    catalogue["faults"]["login_delay_s"] = 40;
    start(catalogue);
    EXPECT_TRUE(oneBox(openDatabaseList(), kCaption, kConnectFailed, QMessageBox::Critical));
    EXPECT_EQ(form->ComboBox1->itemCount(), 0);
    EXPECT_FALSE(form->Data.connected());
}

TEST_F(DatabaseList, ARejectedListQueryShowsTheServersErrorAndTheNextOpeningAsksAgain)
{
    nlohmann::json catalogue = paddedNames();
    catalogue["faults"]["fail_list_query"] = 1; // the first time only
    start(catalogue);
    const auto boxes = openDatabaseList();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, Application::title());
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(boxes[0].text.isEmpty());
    EXPECT_EQ(form->ComboBox1->itemCount(), 0);

    EXPECT_TRUE(openDatabaseList().empty());
    EXPECT_EQ(form->ComboBox1->itemCount(), 4);
    EXPECT_EQ(server->logins().size(), 2u);
    EXPECT_EQ(batches(), (std::vector<std::string>{"select name from sysdatabases ",
                                                   "select name from sysdatabases "}));
}

// Login values that the connection string's syntax would cut or change reach the server as typed.
struct LoginCase {
    const char* name;
    const char* user;
    const char* password;
};

class LoginValues : public WindowAgainstServer, public testing::WithParamInterface<LoginCase> {};

TEST_P(LoginValues, ReachTheServerExactlyAsTyped)
{
    nlohmann::json catalogue = paddedNames();
    catalogue["logins"] = {{{"name", GetParam().user}, {"password", GetParam().password}}};
    start(catalogue);
    retype(form->Edit2, QString::fromUtf8(GetParam().user));
    retype(form->Edit3, QString::fromUtf8(GetParam().password));
    EXPECT_TRUE(openDatabaseList().empty());
    EXPECT_EQ(form->ComboBox1->itemCount(), 4);
    ASSERT_EQ(server->logins().size(), 1u);
    EXPECT_EQ(server->logins().front()["login"], GetParam().user);
    EXPECT_TRUE(server->logins().front()["ok"].get<bool>());
}

INSTANTIATE_TEST_SUITE_P(
    E2e, LoginValues,
    testing::Values(LoginCase{"ordinary", "sa", "secret"}, LoginCase{"empty_password", "sa", ""},
                    LoginCase{"semicolon_injecting_a_key", "sa", "pw;Data Source=elsewhere"},
                    LoginCase{"double_quotes", "sa", "\"quoted\""},
                    LoginCase{"single_quote", "o'brien", "it's"},
                    LoginCase{"blanks_at_both_ends", " admin ", "  pw  "},
                    LoginCase{"braces", "sa", "{p}w}"}, LoginCase{"chinese", "管理员", "密码"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DatabaseList, EditingALoginFieldAfterTheLoadForgetsTheServer)
{
    start(paddedNames());
    ASSERT_TRUE(openDatabaseList().empty());
    ASSERT_TRUE(chooseDatabase(QStringLiteral("销售数据")).empty());
    ASSERT_EQ(form->ComboBox2->itemCount(), 1);
    ASSERT_FALSE(form->Edit4->text().isEmpty());

    gui::click(form->Edit2);
    gui::type(form->Edit2, QStringLiteral("x"));
    EXPECT_FALSE(form->Data.connected());
    EXPECT_EQ(form->ComboBox1->itemCount(), 0);
    EXPECT_EQ(form->ComboBox2->itemCount(), 0);
    EXPECT_EQ(form->ComboBox3->itemCount(), 0);
    EXPECT_EQ(form->Edit4->text(), QString());
    EXPECT_EQ(form->Edit6->text(), QString());

    // The next opening connects with what the fields hold now.
    retype(form->Edit2, QStringLiteral("sa"));
    EXPECT_TRUE(openDatabaseList().empty());
    EXPECT_EQ(form->ComboBox1->itemCount(), 4);
    EXPECT_EQ(server->logins().size(), 2u);
}

} // namespace
} // namespace e2e
