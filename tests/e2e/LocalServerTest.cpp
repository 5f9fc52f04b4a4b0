// The window's default server name, "(local)", reaches a server on this machine's port 1433.
#include "WindowAgainstServer.h"
#include "widgets/DropDownList.h"
#include "widgets/Edit.h"

namespace e2e {
namespace {

using DatabaseList = WindowAgainstServer;

TEST_F(DatabaseList, TheDefaultServerNameMeansThisMachine)
{
    // "(local)" is port 1433 on this machine; the test takes that port only for itself.
    server = std::make_unique<TestServer>(paddedNames().dump(), 1433);
    form = std::make_unique<TForm1>();
    gui::showWindow(form.get());
    ASSERT_EQ(form->Edit1->text(), QStringLiteral("(local)"));
    EXPECT_TRUE(openDatabaseList().empty());
    EXPECT_EQ(form->ComboBox1->itemCount(), 4);
}

} // namespace
} // namespace e2e
