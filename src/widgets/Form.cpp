#include "widgets/Form.h"

Form::Form(QWidget* parent) : QWidget(parent) {}
void Form::setDefaultButton(QPushButton* button) { m_defaultButton = button; }
