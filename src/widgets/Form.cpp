#include "widgets/Form.h"

#include <cmath>

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

namespace {

// Names of system colours that the form description may give a widget's background in its
// "systemBackground" property; they are resolved against the running desktop's palette.
QColor systemColour(const QString& name)
{
    if (name == u"button-face")
        return QApplication::palette().color(QPalette::Button);
    if (name == u"menu")
        return QApplication::palette("QMenu").color(QPalette::Window);
    if (name == u"window")
        return QApplication::palette().color(QPalette::Base);
    return {};
}

int scaled(int value, double factor)
{
    return int(std::lround(value * factor));
}

} // namespace

QPoint centredOnDesktop(const QRect& desktop, const QSize& outer)
{
    const int x = (desktop.width() - outer.width()) / 2;
    const int y = (desktop.height() - outer.height()) / 2;
    return {desktop.left() + (x < 0 ? 0 : x), desktop.top() + (y < 0 ? 0 : y)};
}

Form::Form(QWidget* parent) : QWidget(parent)
{
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // Enter and Escape are the window's before any control sees them, so the watch is on the
    // application; it only acts on keys for widgets of this window.
    qApp->installEventFilter(this);

    // A window manager closes the window on Alt+F4 itself; without one the window does.
    auto* altF4 = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), this);
    altF4->setContext(Qt::WindowShortcut);
    connect(altF4, &QShortcut::activated, this, &QWidget::close);
}

Form::~Form()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void Form::setDefaultButton(QPushButton* button)
{
    if (m_defaultButton)
        m_defaultButton->setDefault(false);
    m_defaultButton = button;
    if (button)
        button->setDefault(true);
}

double Form::screenScale() const
{
    // 9 points at this screen's logical resolution, in whole pixels as a font is drawn.
    const double pixels = std::round(9.0 * logicalDpiY() / 72.0);
    return pixels / 12.0;
}

void Form::scaleLayout(double factor)
{
    if (factor <= 0 || factor == 1.0)
        return;
    const auto scaleFont = [factor](QWidget* widget) {
        QFont font = widget->font();
        if (font.pixelSize() > 0) {
            font.setPixelSize(scaled(font.pixelSize(), factor));
            widget->setFont(font);
        }
    };
    const QList<QWidget*> children = findChildren<QWidget*>(Qt::FindChildrenRecursively);
    for (QWidget* child : children) {
        if (child->isWindow())
            continue;
        const QRect g = child->geometry();
        child->setGeometry(scaled(g.x(), factor), scaled(g.y(), factor), scaled(g.width(), factor),
                           scaled(g.height(), factor));
        if (child->testAttribute(Qt::WA_SetFont))
            scaleFont(child);
    }
    scaleFont(this);
    setFixedSize(scaled(width(), factor), scaled(height(), factor));
}

void Form::finishSetup()
{
    applySystemColours();
    setFixedSize(size());
    scaleLayout(screenScale());
}

void Form::applySystemColours()
{
    QList<QWidget*> widgets = findChildren<QWidget*>();
    widgets.prepend(this);
    for (QWidget* widget : widgets) {
        const QColor colour = systemColour(widget->property("systemBackground").toString());
        if (!colour.isValid())
            continue;
        QPalette palette = widget->palette();
        // An edit field paints its background from Base, every other widget from Window.
        const QPalette::ColorRole role =
            qobject_cast<QLineEdit*>(widget) ? QPalette::Base : QPalette::Window;
        palette.setColor(role, colour);
        widget->setPalette(palette);
        if (role == QPalette::Window)
            widget->setAutoFillBackground(true);
    }
}

void Form::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_shownBefore || event->spontaneous())
        return;
    m_shownBefore = true;
    if (const QScreen* screen = this->screen())
        move(centredOnDesktop(screen->virtualGeometry(), frameGeometry().size()));
    focusFirstControl();
    activateWindow();
}

void Form::focusFirstControl()
{
    if (focusWidget())
        return;
    // The first control of the tab order that can take the focus, as Tab would reach it.
    QWidget* candidate = nextInFocusChain();
    while (candidate && candidate != this) {
        if (candidate->window() == this && candidate->isVisibleTo(this) && candidate->isEnabled() &&
            (candidate->focusPolicy() & Qt::TabFocus)) {
            candidate->setFocus(Qt::TabFocusReason);
            if (auto* edit = qobject_cast<QLineEdit*>(candidate))
                edit->selectAll();
            return;
        }
        candidate = candidate->nextInFocusChain();
    }
}

void Form::closeEvent(QCloseEvent* event)
{
    // Nothing is asked and nothing can refuse: every way of closing ends the program.
    event->accept();
}

bool Form::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window() == this && handleKey(widget, static_cast<QKeyEvent*>(event)))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool Form::handleKey(QWidget* target, QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        return true; // no button answers Escape; an open list has closed itself before this
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
        return true;
    auto* button = qobject_cast<QPushButton*>(target);
    if (!button)
        button = m_defaultButton;
    if (button && button->isVisible() && button->isEnabled())
        button->click();
    return true;
}
