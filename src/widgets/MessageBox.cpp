#include "widgets/MessageBox.h"

void showMessage(QWidget*, const QString&, MessageIcon) {}
