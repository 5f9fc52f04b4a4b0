// An edit field that raises a key-press event for every typed character before the field takes
// it, and selects its whole text when it receives the focus from the keyboard.
#pragma once

#include <QChar>
#include <QLineEdit>
#include <QString>

class Edit : public QLineEdit {
    Q_OBJECT
    // The character a password field shows for each of its characters; empty keeps the style's.
    Q_PROPERTY(QString passwordCharacter READ passwordCharacter WRITE setPasswordCharacter)

public:
    explicit Edit(QWidget* parent = nullptr);

    QString passwordCharacter() const { return m_passwordCharacter; }
    void setPasswordCharacter(const QString& character);

Q_SIGNALS:
    // key is the typed character (control characters included: Backspace is 8, Ctrl+V is 22);
    // a receiver that sets it to the null character makes the field drop the keystroke.
    // Receivers must be connected directly (same thread), since key is passed by reference.
    void keyPress(QChar& key);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    QString m_passwordCharacter;
};
