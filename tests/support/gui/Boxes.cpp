#include "gui/Boxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

namespace gui {

namespace {

void closeVisibleBoxes(std::vector<SeenBox>& seen)
{
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        auto* box = qobject_cast<QMessageBox*>(window);
        if (!box || !box->isVisible())
            continue;
        seen.push_back(
            {box->windowTitle(), box->text(), box->icon(), box->parentWidget(), box->isModal()});
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }
}

} // namespace

std::vector<SeenBox> closeBoxesDuring(const std::function<void()>& action)
{
    std::vector<SeenBox> seen;
    // The sweep runs inside each box's own event loop, which is where the action waits.
    QTimer sweep;
    sweep.setInterval(5);
    QObject::connect(&sweep, &QTimer::timeout, &sweep, [&seen] { closeVisibleBoxes(seen); });
    sweep.start();
    action();
    sweep.stop();
    closeVisibleBoxes(seen); // one left open without a loop of its own
    // The window system's answer to the boxes going (the owner's activation) arrives as events.
    QApplication::processEvents();
    return seen;
}

} // namespace gui
