#include "widgets/DropDownList.h"

DropDownList::DropDownList(QWidget* parent) : QComboBox(parent) {}
QString DropDownList::text() const { return currentText(); }
void DropDownList::clearItems() { clear(); }
void DropDownList::appendItem(const QString& item) { addItem(item); }
int DropDownList::itemCount() const { return count(); }
int DropDownList::selectedIndex() const { return currentIndex(); }
void DropDownList::setSelectedIndex(int index) { setCurrentIndex(index); }
void DropDownList::setOpensOnTyping(bool) {}
bool DropDownList::opensOnTyping() const { return false; }
void DropDownList::showPopup() { QComboBox::showPopup(); }
