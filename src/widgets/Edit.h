// An edit field that raises a key-press event for every typed character before the field takes
// it, and selects its whole text when it receives the focus from the keyboard.
#pragma once

#include <QChar>
#include <QLineEdit>

class Edit : public QLineEdit {
    Q_OBJECT

public:
    explicit Edit(QWidget* parent = nullptr);

Q_SIGNALS:
    // key is the typed character (control characters included: Backspace is 8, Ctrl+V is 22);
    // a receiver that sets it to the null character makes the field drop the keystroke.
    // Receivers must be connected directly (same thread), since key is passed by reference.
    void keyPress(QChar& key);
};
