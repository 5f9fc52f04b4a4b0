// The window base of the toolkit layer: the keyboard rules of the tool's window (Enter presses
// the default button, or the close button when that has the focus; Tab follows the stored tab
// order), its placement on the desktop and its scaling to the screen.
#pragma once

#include <QWidget>

class QPushButton;

class Form : public QWidget {
    Q_OBJECT

public:
    explicit Form(QWidget* parent = nullptr);

    // The button that Enter presses from every control except a button that has the focus
    // itself and is not the default button.
    void setDefaultButton(QPushButton* button);
    QPushButton* defaultButton() const { return m_defaultButton; }

private:
    QPushButton* m_defaultButton = nullptr;
};
