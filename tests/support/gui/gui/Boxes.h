// Catches the modal boxes that appear while a test acts on the window, so that a test never
// hangs on one: each is recorded and closed with its OK button.
#pragma once

#include <functional>
#include <vector>

#include <QMessageBox>
#include <QPointer>
#include <QString>

namespace gui {

struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QPointer<QWidget> owner; // the window the box belonged to
    bool modal = false;
};

// Runs the action; every message box shown meanwhile, nested ones included, is recorded in the
// order of appearance and closed with OK.
std::vector<SeenBox> closeBoxesDuring(const std::function<void()>& action);

} // namespace gui
