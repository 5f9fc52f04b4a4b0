#include "widgets/Bevel.h"

#include <QPainter>

Bevel::Bevel(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::HLine);
    setFrameShadow(QFrame::Sunken);
    setFocusPolicy(Qt::NoFocus);
}

void Bevel::paintEvent(QPaintEvent*)
{
    // A lowered line: shadow on top, light below it, across the box's full width.
    QPainter painter(this);
    const int right = width() - 1;
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(0, 0, right, 0);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(0, 1, right, 1);
}
