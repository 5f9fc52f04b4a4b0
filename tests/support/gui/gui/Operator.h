// What an operator does with the window, for GUI tests: keys go to whatever has the keyboard
// focus (an open list included), lists open as a click on their face or Alt+Down opens them, and
// rows are picked with the mouse or the keyboard, all through the widgets' own event handling.
#pragma once

#include <QString>
#include <Qt>

class DropDownList;
class QWidget;

namespace gui {

enum class By { Mouse, Keyboard };

// Shows the window, makes it the active one and waits until it has been exposed.
void showWindow(QWidget* window);

// The widget that takes the next keystroke: the open list's rows, or the focus widget.
QWidget* keyboardTarget();

// One keystroke (press and release) to the keyboard target, or to the given widget.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void press(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Types each character of the text as one keystroke.
void type(const QString& text);
void type(QWidget* widget, const QString& text);

// A left click in the middle of the widget.
void click(QWidget* widget);

// Opens the list: a click on its face, or the focus into it and Alt+Down.
void openList(DropDownList* list, By by = By::Mouse);
// Picks a row of the open list: a click on it (scrolled into view first), or Home, Down to the
// row and Enter.
void pickInOpenList(DropDownList* list, int row, By by = By::Mouse);
// Opens the list and picks the row, the same way.
void choose(DropDownList* list, int row, By by = By::Mouse);

} // namespace gui
