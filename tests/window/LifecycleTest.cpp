// Start-up state, placement, scaling, minimising and the ways of closing the window.
#include "WindowFixture.h"
#include "widgets/DropDownList.h"
#include "widgets/Edit.h"

#include <functional>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

namespace {

TEST_F(WindowTest, StartsWithTheDefaultsAndTheFocusInTheServerName)
{
    EXPECT_EQ(QApplication::focusWidget(), form->Edit1);
    EXPECT_EQ(form->Edit1->selectedText(), "(local)");
    EXPECT_EQ(form->Edit2->text(), "sa");
    EXPECT_EQ(form->Edit3->text(), "");
    EXPECT_EQ(form->Edit5->text(), "1");
    EXPECT_EQ(form->Edit4->text(), "");
    EXPECT_EQ(form->Edit6->text(), "");
    for (DropDownList* list : {form->ComboBox1, form->ComboBox2, form->ComboBox3}) {
        EXPECT_EQ(list->itemCount(), 0);
        EXPECT_EQ(list->text(), "");
    }
    EXPECT_FALSE(form->CheckBox1->isChecked());
    EXPECT_FALSE(form->Data.connected());
    EXPECT_FALSE(form->Query.active());

    // Typing replaces the selected server name.
    gui::type("db1,1433");
    EXPECT_EQ(form->Edit1->text(), "db1,1433");
}

TEST_F(WindowTest, AClickPutsTheCaretWithoutSelecting)
{
    QTest::mouseClick(form->Edit2, Qt::LeftButton, {}, QPoint(150, 10));
    EXPECT_EQ(QApplication::focusWidget(), form->Edit2);
    EXPECT_FALSE(form->Edit2->hasSelectedText());
}

struct PlacementRow {
    const char* name;
    QRect desktop;
    QSize outer;
    QPoint expected;
};

class PlacementTest : public ::testing::TestWithParam<PlacementRow> {};

TEST_P(PlacementTest, CentresByIntegerDivisionNeverBeforeTheCorner)
{
    EXPECT_EQ(centredOnDesktop(GetParam().desktop, GetParam().outer), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lifecycle, PlacementTest,
    ::testing::Values(
        PlacementRow{"OneScreen", {0, 0, 1024, 768}, {395, 283}, {314, 242}},
        PlacementRow{"OddRoomRoundsDown", {0, 0, 800, 600}, {389, 257}, {205, 171}},
        PlacementRow{"TwoScreensSideBySide", {0, 0, 3840, 1080}, {395, 283}, {1722, 398}},
        PlacementRow{"DesktopSmallerThanWindow", {0, 0, 300, 200}, {395, 283}, {0, 0}},
        PlacementRow{"NarrowOnlyClampsX", {0, 0, 380, 900}, {395, 283}, {0, 308}},
        PlacementRow{"DesktopNotAtOrigin", {-1280, 0, 2560, 1024}, {395, 283}, {-198, 370}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, IsCentredOnTheWholeDesktopWhenFirstShown)
{
    const QRect desktop = form->screen()->virtualGeometry();
    EXPECT_EQ(form->frameGeometry().topLeft(),
              centredOnDesktop(desktop, form->frameGeometry().size()));
}

TEST_F(WindowTest, ScalesOnlyWhenTheScreenDiffers)
{
    // The test platform draws at 96 dpi, where the layout is used as it stands.
    EXPECT_EQ(form->screenScale(), 1.0);
    EXPECT_EQ(form->Edit1->geometry(), QRect(93, 9, 160, 20));

    form->scaleLayout(1.25);
    EXPECT_EQ(form->size(), QSize(486, 321));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->Edit1->geometry(), QRect(116, 11, 200, 25));
    EXPECT_EQ(form->Label1->geometry(), QRect(38, 16, 75, 15));
    EXPECT_EQ(form->Button3->geometry(), QRect(353, 50, 94, 31));
}

TEST_F(WindowTest, MinimiseAndRestoreKeepEveryField)
{
    form->Edit1->setText("srv");
    form->Edit3->setText("secret");
    form->Edit5->setText("250");
    form->ComboBox1->appendItem("shop");
    form->ComboBox1->setSelectedIndex(0);
    form->ComboBox2->appendItem("shop_log");
    form->ComboBox2->setSelectedIndex(0);
    form->ComboBox3->appendItem("/var/opt/mssql/data/shop_log.ldf|1024");
    form->ComboBox3->setSelectedIndex(0);
    form->Edit4->setText("/var/opt/mssql/data/shop_log.ldf");
    form->Edit6->setText("1024");
    form->CheckBox1->setChecked(true);
    form->Edit3->setFocus(Qt::MouseFocusReason);

    form->showMinimized();
    QApplication::processEvents();
    form->showNormal();
    gui::showWindow(form.get());

    EXPECT_EQ(form->Edit1->text(), "srv");
    EXPECT_EQ(form->Edit3->text(), "secret");
    EXPECT_EQ(form->Edit5->text(), "250");
    EXPECT_EQ(form->ComboBox1->text(), "shop");
    EXPECT_EQ(form->ComboBox2->text(), "shop_log");
    EXPECT_EQ(form->ComboBox3->selectedIndex(), 0);
    EXPECT_EQ(form->Edit4->text(), "/var/opt/mssql/data/shop_log.ldf");
    EXPECT_EQ(form->Edit6->text(), "1024");
    EXPECT_TRUE(form->CheckBox1->isChecked());
    EXPECT_FALSE(form->ComboBox3->isVisible());
    EXPECT_EQ(form->size(), QSize(389, 257));
}

struct CloseRow {
    const char* name;
    std::function<void(TForm1&)> close;
};

class CloseTest : public WindowTest, public ::testing::WithParamInterface<CloseRow> {};

TEST_P(CloseTest, EndsTheLoopWithExitCodeZero)
{
    TForm1& window = *form;
    QTimer::singleShot(0, form.get(), [&window] { GetParam().close(window); });
    // Only a guard against a hang: a window that did not close ends the loop with 99.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &guard, [] { QApplication::exit(99); });
    guard.start(20'000);

    const int code = QApplication::exec();

    guard.stop();
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(form->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Lifecycle, CloseTest,
    ::testing::Values(CloseRow{"CloseButtonClicked", [](TForm1& f) { gui::click(f.Button3); }},
                      CloseRow{"CloseButtonByEnter",
                               [](TForm1& f) {
                                   f.Button3->setFocus(Qt::TabFocusReason);
                                   gui::press(Qt::Key_Return);
                               }},
                      CloseRow{"CloseButtonBySpace",
                               [](TForm1& f) {
                                   f.Button3->setFocus(Qt::TabFocusReason);
                                   gui::press(Qt::Key_Space);
                               }},
                      CloseRow{"TitleBarClose",
                               [](TForm1& f) {
                                   // What the window system sends for the title bar's button or
                                   // system menu.
                                   QCloseEvent event;
                                   QApplication::sendEvent(f.windowHandle(), &event);
                               }},
                      CloseRow{"AltF4", [](TForm1&) { gui::press(Qt::Key_F4, Qt::AltModifier); }}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
