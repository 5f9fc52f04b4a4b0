// The window base of the toolkit layer: the keyboard rules of the tool's window (Enter presses
// the default button, or the close button when that has the focus; Tab follows the stored tab
// order), its placement on the desktop and its scaling to the screen.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

class QPushButton;

// Where a window of the given outer size goes to stand centred on the desktop: half the room
// left over on each axis, by integer division, and never before the desktop's own corner.
QPoint centredOnDesktop(const QRect& desktop, const QSize& outer);

class Form : public QWidget {
    Q_OBJECT

public:
    explicit Form(QWidget* parent = nullptr);
    ~Form() override;

    // The button that Enter presses from every control except a button that has the focus
    // itself and is not the default button.
    void setDefaultButton(QPushButton* button);
    QPushButton* defaultButton() const { return m_defaultButton; }

    // The layout is drawn for a window font 12 pixels high (9 points at 96 dpi); this is the
    // font's measured height on this screen over 12.
    double screenScale() const;
    // Scales every position, size and font given in pixels; the form description's layout is
    // otherwise used as it is.
    void scaleLayout(double factor);

protected:
    // Called once the form description has been applied: resolves the system colours the
    // description names, fixes the window's size and scales it to the screen.
    void finishSetup();

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool handleKey(QWidget* target, QKeyEvent* event);
    void applySystemColours();
    void focusFirstControl();

    QPushButton* m_defaultButton = nullptr;
    bool m_shownBefore = false;
};
