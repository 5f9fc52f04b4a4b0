// Tab, Enter and Escape as the operator uses them on the window.
#include "WindowFixture.h"
#include "widgets/DropDownList.h"
#include "widgets/Edit.h"

#include <QApplication>
#include <QPushButton>

namespace {

const QStringList cycle = {"Edit1",     "Edit2",     "Edit3",     "Edit5", "Button2", "Button3",
                           "ComboBox1", "CheckBox1", "ComboBox2", "Edit4", "Edit6"};

QString focused()
{
    QWidget* widget = QApplication::focusWidget();
    return widget ? widget->objectName() : QString();
}

TEST_F(WindowTest, TabVisitsTheStoredOrderAndWraps)
{
    ASSERT_EQ(focused(), "Edit1");
    QStringList forward;
    for (qsizetype i = 0; i < cycle.size(); ++i) {
        gui::press(Qt::Key_Tab);
        forward << focused();
    }
    EXPECT_EQ(forward, cycle.mid(1) + QStringList{"Edit1"});

    QStringList backward;
    for (qsizetype i = 0; i < cycle.size(); ++i) {
        gui::press(Qt::Key_Backtab, Qt::ShiftModifier);
        backward << focused();
    }
    QStringList reversed(cycle.rbegin(), cycle.rend());
    EXPECT_EQ(backward, reversed);
}

TEST_F(WindowTest, EditEnteredByTabSelectsItsWholeText)
{
    form->Edit2->setText("administrator");
    gui::press(Qt::Key_Tab);
    ASSERT_EQ(focused(), "Edit2");
    EXPECT_EQ(form->Edit2->selectedText(), "administrator");
    gui::type("x");
    EXPECT_EQ(form->Edit2->text(), "x");
}

TEST_F(WindowTest, CtrlTabDoesNotMoveTheFocus)
{
    gui::press(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(focused(), "Edit1");
}

enum class ListState { Closed, Open };

struct EnterRow {
    const char* name;
    const char* control;
    Qt::KeyboardModifiers modifiers;
    ListState list;
    int button2Presses;
    int button3Presses;
    Qt::Key key = Qt::Key_Return;
};

class EnterTest : public WindowTest, public ::testing::WithParamInterface<EnterRow> {};

TEST_P(EnterTest, PressesTheRightButtonOrNone)
{
    const EnterRow& row = GetParam();
    int button2 = 0;
    int button3 = 0;
    QObject::connect(form->Button2, &QPushButton::clicked, form.get(), [&] { ++button2; });
    QObject::connect(form->Button3, &QPushButton::clicked, form.get(), [&] { ++button3; });

    QWidget* target = control(row.control);
    target->setFocus(Qt::TabFocusReason);
    auto* list = qobject_cast<DropDownList*>(target);
    if (row.list == ListState::Open) {
        list->appendItem("master");
        gui::openList(list, gui::By::Keyboard);
        ASSERT_TRUE(list->isOpen());
    }

    gui::press(row.key, row.modifiers);

    EXPECT_EQ(button2, row.button2Presses);
    EXPECT_EQ(button3, row.button3Presses);
    if (list) {
        EXPECT_FALSE(list->isOpen());
    }
    // Button3 closes the window; nothing else does.
    EXPECT_EQ(form->isVisible(), row.button3Presses == 0);
}

constexpr auto none = Qt::NoModifier;
const EnterRow enterRows[] = {
    {"Edit1", "Edit1", none, ListState::Closed, 1, 0},
    {"Edit2", "Edit2", none, ListState::Closed, 1, 0},
    {"Edit3", "Edit3", none, ListState::Closed, 1, 0},
    {"Edit5", "Edit5", none, ListState::Closed, 1, 0},
    {"ReadOnlyEdit4", "Edit4", none, ListState::Closed, 1, 0},
    {"ReadOnlyEdit6", "Edit6", none, ListState::Closed, 1, 0},
    {"CheckBox1", "CheckBox1", none, ListState::Closed, 1, 0},
    {"ClosedComboBox1", "ComboBox1", none, ListState::Closed, 1, 0},
    {"ClosedComboBox2", "ComboBox2", none, ListState::Closed, 1, 0},
    {"Button2", "Button2", none, ListState::Closed, 1, 0},
    {"Button3EndsTheProgram", "Button3", none, ListState::Closed, 0, 1},
    {"KeypadEnterOnEdit1", "Edit1", Qt::KeypadModifier, ListState::Closed, 1, 0, Qt::Key_Enter},
    {"OpenComboBox1OnlyCloses", "ComboBox1", none, ListState::Open, 0, 0},
    {"OpenComboBox2OnlyCloses", "ComboBox2", none, ListState::Open, 0, 0},
    {"ShiftOnEdit1", "Edit1", Qt::ShiftModifier, ListState::Closed, 0, 0},
    {"CtrlOnEdit1", "Edit1", Qt::ControlModifier, ListState::Closed, 0, 0},
    {"AltOnEdit1", "Edit1", Qt::AltModifier, ListState::Closed, 0, 0},
    {"ShiftOnButton2", "Button2", Qt::ShiftModifier, ListState::Closed, 0, 0},
    {"CtrlOnButton3", "Button3", Qt::ControlModifier, ListState::Closed, 0, 0},
    {"AltOnButton3", "Button3", Qt::AltModifier, ListState::Closed, 0, 0},
    {"ShiftOnClosedComboBox1", "ComboBox1", Qt::ShiftModifier, ListState::Closed, 0, 0},
    {"CtrlOnCheckBox1", "CheckBox1", Qt::ControlModifier, ListState::Closed, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Keyboard, EnterTest, ::testing::ValuesIn(enterRows),
                         [](const auto& info) { return std::string(info.param.name); });

class EscapeTest : public WindowTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(EscapeTest, RunsNothingAndChangesNothing)
{
    int presses = 0;
    QObject::connect(form->Button2, &QPushButton::clicked, form.get(), [&] { ++presses; });
    QObject::connect(form->Button3, &QPushButton::clicked, form.get(), [&] { ++presses; });
    QChar typed;
    QObject::connect(form->Edit5, &Edit::keyPress, form.get(), [&](QChar& key) { typed = key; });
    QWidget* target = control(GetParam());
    target->setFocus(Qt::TabFocusReason);

    gui::press(Qt::Key_Escape);

    EXPECT_EQ(presses, 0);
    EXPECT_TRUE(typed.isNull());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), target);
    EXPECT_EQ(form->Edit5->text(), "1");
}

INSTANTIATE_TEST_SUITE_P(Keyboard, EscapeTest,
                         ::testing::Values("Edit1", "Edit5", "Button2", "Button3", "ComboBox1",
                                           "CheckBox1"));

TEST_F(WindowTest, EscapeClosesAnOpenListWithoutAChoice)
{
    int presses = 0;
    int choices = 0;
    QObject::connect(form->Button2, &QPushButton::clicked, form.get(), [&] { ++presses; });
    QObject::connect(form->ComboBox1, &DropDownList::click, form.get(), [&] { ++choices; });
    form->ComboBox1->appendItem("master");
    form->ComboBox1->appendItem("msdb");
    gui::openList(form->ComboBox1);
    gui::press(Qt::Key_Down);

    gui::press(Qt::Key_Escape);

    EXPECT_FALSE(form->ComboBox1->isOpen());
    EXPECT_EQ(form->ComboBox1->selectedIndex(), -1);
    EXPECT_EQ(presses + choices, 0);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(WindowTest, KeyPressOfEditSeesEachTypedCharacterAndCanDropIt)
{
    // A receiver of our own on a field without a filter of its own: it drops letters.
    QString seen;
    QObject::connect(
        form->Edit2, &Edit::keyPress, form.get(),
        [&](QChar& key) {
            seen += key;
            if (key.isLetter())
                key = QChar();
        },
        Qt::DirectConnection);
    form->Edit2->setFocus(Qt::TabFocusReason);
    gui::type("4a2");
    gui::press(Qt::Key_Backspace);
    gui::press(Qt::Key_Left);

    EXPECT_EQ(seen, QString("4a2") + QChar(8));
    EXPECT_EQ(form->Edit2->text(), "4");
    form->Edit2->setText("77"); // from code: no key press
    EXPECT_EQ(seen.size(), 4);
}

} // namespace
