#include "widgets/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

void showMessage(QWidget* owner, const QString& text, MessageIcon icon)
{
    QMessageBox::Icon boxIcon = QMessageBox::Warning;
    switch (icon) {
    case MessageIcon::Warning:
        boxIcon = QMessageBox::Warning;
        break;
    case MessageIcon::Information:
        boxIcon = QMessageBox::Information;
        break;
    case MessageIcon::Error:
        boxIcon = QMessageBox::Critical;
        break;
    }
    const QPointer<QWidget> window = owner;
    QMessageBox box(boxIcon, QStringLiteral("提示"), text, QMessageBox::Ok, owner);
    box.exec();
    handBackActivation(window);
}

void handBackActivation(QWidget* owner)
{
    // Not every window system gives the owner back its activation when the box goes; without
    // it the window would take no keys until clicked.
    if (owner && owner->isVisible() && !QApplication::activeModalWidget())
        owner->window()->activateWindow();
}
