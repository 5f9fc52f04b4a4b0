// The message boxes that the program raises itself: modal, owned by the window, caption "提示",
// one OK button and the icon asked for.
#pragma once

#include <QString>

class QWidget;

enum class MessageIcon { Warning, Information, Error };

void showMessage(QWidget* owner, const QString& text, MessageIcon icon);

// Makes the box's owner the active window again once its box has closed.
void handBackActivation(QWidget* owner);
