// The lists' events as the handlers rely on them: drop-down before the list shows, click then
// change for each choice of the operator with the new item already in place, nothing for
// changes from code, and the typing search.
#include "widgets/DropDownList.h"

#include "WindowFixture.h"

#include <QApplication>
#include <QListView>
#include <QScrollBar>
#include <QWheelEvent>

namespace {

// Every event of a list, with the list's text at the moment it was raised.
struct Recorder {
    QStringList events;

    explicit Recorder(DropDownList* list)
    {
        QObject::connect(list, &DropDownList::dropDown, list, [this, list] {
            events << "dropDown:" + QString(list->isOpen() ? "open" : "closed");
        });
        QObject::connect(list, &DropDownList::click, list,
                         [this, list] { events << "click:" + list->text(); });
        QObject::connect(list, &DropDownList::change, list,
                         [this, list] { events << "change:" + list->text(); });
    }
};

void fill(DropDownList* list, const QStringList& items)
{
    for (const QString& item : items)
        list->appendItem(item);
}

struct OpeningRow {
    const char* name;
    int items;
    int rows;
};

class OpeningTest : public WindowTest, public ::testing::WithParamInterface<OpeningRow> {};

TEST_P(OpeningTest, ShowsTheItemsTheDropDownReceiverAppendedSizedByTheRowRule)
{
    const OpeningRow& row = GetParam();
    DropDownList* list = form->ComboBox1;
    Recorder recorder(list);
    QObject::connect(list, &DropDownList::dropDown, list, [&] {
        for (int i = 0; i < row.items; ++i)
            list->appendItem(QString("db%1").arg(i));
    });

    gui::openList(list);

    ASSERT_TRUE(list->isOpen());
    EXPECT_EQ(recorder.events, QStringList{"dropDown:closed"});
    QListView* view = list->listView();
    EXPECT_EQ(view->model()->rowCount(), row.items);
    EXPECT_EQ(view->viewport()->height(), row.rows * DropDownList::rowHeight);
    EXPECT_EQ(view->verticalScrollBar()->maximum() > 0, row.items > DropDownList::maxVisibleRows);
    if (row.items > 1) {
        EXPECT_EQ(view->visualRect(view->model()->index(1, 0)).height(), DropDownList::rowHeight);
        EXPECT_EQ(view->visualRect(view->model()->index(1, 0)).top(), DropDownList::rowHeight);
    }
    EXPECT_EQ(list->selectedIndex(), -1); // appending selects nothing
}

INSTANTIATE_TEST_SUITE_P(
    Lists, OpeningTest,
    ::testing::Values(OpeningRow{"EmptyOpensOneRowHigh", 0, 1}, OpeningRow{"OneItem", 1, 1},
                      OpeningRow{"ThreeItems", 3, 3}, OpeningRow{"EightItemsFit", 8, 8},
                      OpeningRow{"NineItemsScroll", 9, 8}, OpeningRow{"ManyItemsScroll", 40, 8}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, EveryWayOfOpeningRaisesDropDownFirst)
{
    DropDownList* list = form->ComboBox1;
    Recorder recorder(list);
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
        {Qt::Key_Down, Qt::AltModifier}, {Qt::Key_Up, Qt::AltModifier}, {Qt::Key_F4, {}}};
    for (const auto& [key, modifiers] : keys) {
        list->setFocus(Qt::TabFocusReason);
        gui::press(key, modifiers);
        EXPECT_TRUE(list->isOpen());
        gui::press(Qt::Key_Escape);
    }
    gui::openList(list, gui::By::Mouse);
    EXPECT_TRUE(list->isOpen());
    // A second click on the face closes the list without another drop-down.
    gui::click(list);
    EXPECT_EQ(recorder.events, QStringList(4, "dropDown:closed"));
}

enum class Choice { MousePick, KeyboardPick, ArrowOnClosedList, Typing, Wheel };

struct ChoiceRow {
    const char* name;
    Choice choice;
    QString chosen = "msdb";
};

class ChoiceTest : public WindowTest, public ::testing::WithParamInterface<ChoiceRow> {};

TEST_P(ChoiceTest, RaisesClickThenChangeWithTheNewItemSelected)
{
    for (DropDownList* list : {form->ComboBox1, form->ComboBox2}) {
        fill(list, {"master", "model", "msdb", "tempdb"});
        list->setSelectedIndex(1);
        Recorder recorder(list);
        switch (GetParam().choice) {
        case Choice::MousePick:
            gui::choose(list, 2, gui::By::Mouse);
            break;
        case Choice::KeyboardPick:
            gui::choose(list, 2, gui::By::Keyboard);
            break;
        case Choice::ArrowOnClosedList:
            list->setFocus(Qt::TabFocusReason);
            gui::press(Qt::Key_Down);
            break;
        case Choice::Typing:
            list->setFocus(Qt::TabFocusReason);
            gui::type("te");
            break;
        case Choice::Wheel: {
            QWheelEvent wheel(QPointF(5, 5), list->mapToGlobal(QPointF(5, 5)), {}, {0, -120},
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(list, &wheel);
            break;
        }
        }
        const ChoiceRow& row = GetParam();
        const bool opensOnTyping = row.choice == Choice::Typing && list->opensOnTyping();
        EXPECT_EQ(list->text(), row.chosen);
        EXPECT_EQ(list->isOpen(), opensOnTyping);
        QStringList expected = {"click:" + row.chosen, "change:" + row.chosen};
        if (row.choice == Choice::MousePick || row.choice == Choice::KeyboardPick || opensOnTyping)
            expected.prepend("dropDown:closed");
        EXPECT_EQ(recorder.events, expected) << list->objectName().toStdString();
        list->hidePopup();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ChoiceTest,
    ::testing::Values(ChoiceRow{"MousePickInOpenList", Choice::MousePick},
                      ChoiceRow{"KeyboardPickInOpenList", Choice::KeyboardPick},
                      ChoiceRow{"ArrowKeyOnClosedList", Choice::ArrowOnClosedList},
                      ChoiceRow{"TypingOnList", Choice::Typing, "tempdb"},
                      ChoiceRow{"WheelOnClosedList", Choice::Wheel}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, PickingWithTheMouseFromAScrolledListSelectsThatRow)
{
    DropDownList* list = form->ComboBox1;
    for (int i = 0; i < 20; ++i)
        list->appendItem(QString("db%1").arg(i));
    Recorder recorder(list);
    gui::choose(list, 17, gui::By::Mouse);
    EXPECT_EQ(list->selectedIndex(), 17);
    EXPECT_EQ(recorder.events, (QStringList{"dropDown:closed", "click:db17", "change:db17"}));
}

TEST_F(WindowTest, OpeningAndClosingWithoutAChoiceRaisesNoChoice)
{
    DropDownList* list = form->ComboBox1;
    fill(list, {"master", "model"});
    list->setSelectedIndex(0);
    Recorder recorder(list);
    gui::openList(list);
    gui::press(Qt::Key_Down); // moves the highlight only
    gui::press(Qt::Key_Escape);
    gui::openList(list);
    gui::click(list);
    list->setFocus(Qt::TabFocusReason);
    gui::press(Qt::Key_Up); // already at the top: nothing changes
    EXPECT_EQ(list->text(), "master");
    EXPECT_EQ(recorder.events, QStringList(2, "dropDown:closed"));
}

TEST_F(WindowTest, ChangesFromCodeRaiseNoEventAndKeepTheTextRule)
{
    DropDownList* list = form->ComboBox2;
    Recorder recorder(list);

    list->setSelectedIndex(0); // on an empty list
    EXPECT_EQ(list->selectedIndex(), -1);
    EXPECT_EQ(list->text(), "");

    fill(list, {"log1", "log2", "log3"});
    EXPECT_EQ(list->itemCount(), 3);
    EXPECT_EQ(list->selectedIndex(), -1);
    EXPECT_EQ(list->text(), "");

    list->setSelectedIndex(2);
    EXPECT_EQ(list->text(), "log3");
    list->setSelectedIndex(3);
    EXPECT_EQ(list->selectedIndex(), -1);
    list->setSelectedIndex(1);
    list->setSelectedIndex(-1);
    EXPECT_EQ(list->text(), "");

    list->setSelectedIndex(0);
    list->appendItem("log4"); // the selection stays
    EXPECT_EQ(list->text(), "log1");
    list->clearItems();
    EXPECT_EQ(list->itemCount(), 0);
    EXPECT_EQ(list->selectedIndex(), -1);
    EXPECT_EQ(list->text(), "");

    EXPECT_TRUE(recorder.events.isEmpty()) << recorder.events.join(' ').toStdString();
}

// Keystrokes at given moments, and the text selected after each.
struct Keystroke {
    QString typed;
    qint64 at;
    QString selected;
};

struct SearchRow {
    const char* name;
    std::vector<Keystroke> keys;
    int choices; // click/change pairs raised
};

class SearchTest : public WindowTest, public ::testing::WithParamInterface<SearchRow> {};

TEST_P(SearchTest, FindsTheFirstItemFromTheTopThatBeginsWithTheTypedText)
{
    DropDownList* list = form->ComboBox1;
    fill(list, {"master", "model", "msdb", "Sales", "sales_archive", "tempdb"});
    qint64 clock = 10'000;
    list->setSearchClock([&clock] { return clock; });
    list->setFocus(Qt::TabFocusReason);
    Recorder recorder(list);

    for (const Keystroke& key : GetParam().keys) {
        clock = 10'000 + key.at;
        gui::type(key.typed);
        EXPECT_EQ(list->text(), key.selected) << "after " << key.typed.toStdString();
    }
    EXPECT_EQ(recorder.events.size(), 2 * GetParam().choices);
    EXPECT_FALSE(list->isOpen()); // the database list stays closed while typing
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SearchTest,
    ::testing::Values(
        SearchRow{"PrefixGrowsWithinThePause", {{"m", 0, "master"}, {"s", 100, "msdb"}}, 2},
        SearchRow{"LetterCaseIgnored", {{"S", 0, "Sales"}, {"A", 50, "Sales"}}, 1},
        SearchRow{"LongerPrefixReachesALaterItem",
                  {{"s", 0, "Sales"},
                   {"a", 10, "Sales"},
                   {"l", 20, "Sales"},
                   {"e", 30, "Sales"},
                   {"s", 40, "Sales"},
                   {"_", 50, "sales_archive"}},
                  2},
        SearchRow{"PauseOf500msStartsANewSearch", {{"m", 0, "master"}, {"t", 500, "tempdb"}}, 2},
        SearchRow{"PauseJustUnder500msContinues", {{"m", 0, "master"}, {"o", 499, "model"}}, 2},
        SearchRow{"NewSearchAfterPauseFromTheTop",
                  {{"t", 0, "tempdb"}, {"m", 800, "master"}, {"s", 900, "msdb"}},
                  3},
        SearchRow{"TextThatBeginsNoItemKeepsTheSelection",
                  {{"m", 0, "master"}, {"x", 10, "master"}, {"z", 700, "master"}},
                  1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, LogFileListOpensAtTheFirstTypedCharacter)
{
    DropDownList* list = form->ComboBox2;
    fill(list, {"shop_log", "shop_log2", "archive_log"});
    list->setFocus(Qt::TabFocusReason);
    Recorder recorder(list);

    gui::type("a");

    EXPECT_TRUE(list->isOpen());
    EXPECT_EQ(list->text(), "archive_log");
    EXPECT_EQ(list->listView()->currentIndex().row(), 2);
    EXPECT_EQ(recorder.events,
              (QStringList{"dropDown:closed", "click:archive_log", "change:archive_log"}));

    // Further typing goes on searching in the open list; Enter then only closes it.
    gui::type("s");
    gui::press(Qt::Key_Return);
    EXPECT_FALSE(list->isOpen());
    EXPECT_EQ(list->text(), "archive_log");
}

} // namespace
