#include "gui/Operator.h"

#include "widgets/DropDownList.h"

#include <QApplication>
#include <QListView>
#include <QTest>

namespace gui {

void showWindow(QWidget* window)
{
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    (void)QTest::qWaitForWindowExposed(window);
    QApplication::processEvents();
}

QWidget* keyboardTarget()
{
    if (QWidget* popup = QApplication::activePopupWidget())
        return popup->focusWidget() ? popup->focusWidget() : popup;
    return QApplication::focusWidget();
}

void press(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    if (widget)
        QTest::keyClick(widget, key, modifiers);
}

void press(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    press(keyboardTarget(), key, modifiers);
}

void type(QWidget* widget, const QString& text)
{
    for (QChar c : text) {
        // A letter or digit carries its key code as a keyboard would; anything else only its text.
        Qt::Key key = Qt::Key_unknown;
        if (c.unicode() < 128 && c.isLetterOrNumber())
            key = Qt::Key(c.toUpper().unicode());
        else if (c == u' ')
            key = Qt::Key_Space;
        QTest::sendKeyEvent(QTest::Click, widget, key, QString(c), Qt::NoModifier);
    }
}

void type(const QString& text)
{
    // Each keystroke goes where the focus is then: the first one may open a list.
    for (QChar c : text)
        type(keyboardTarget(), QString(c));
}

void click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton);
}

void openList(DropDownList* list, By by)
{
    if (by == By::Mouse) {
        click(list);
        return;
    }
    list->setFocus(Qt::TabFocusReason);
    press(list, Qt::Key_Down, Qt::AltModifier);
}

void pickInOpenList(DropDownList* list, int row, By by)
{
    QListView* view = list->listView();
    if (by == By::Mouse) {
        const QModelIndex index = view->model()->index(row, list->modelColumn());
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                          view->visualRect(index).center());
        return;
    }
    press(view, Qt::Key_Home);
    for (int i = 0; i < row; ++i)
        press(view, Qt::Key_Down);
    press(view, Qt::Key_Return);
}

void choose(DropDownList* list, int row, By by)
{
    openList(list, by);
    pickInOpenList(list, row, by);
}

} // namespace gui
