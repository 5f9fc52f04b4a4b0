#include "widgets/Edit.h"

Edit::Edit(QWidget* parent) : QLineEdit(parent) {}
