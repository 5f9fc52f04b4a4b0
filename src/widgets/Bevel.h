// An etched line along the top edge of its box, the rule that separates groups of fields; the
// rest of the box stays unpainted.
#pragma once

#include <QFrame>

class Bevel : public QFrame {
    Q_OBJECT

public:
    explicit Bevel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
