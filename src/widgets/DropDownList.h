// A drop-down list without an edit field, as the main window's three lists need it: items keep
// the order in which they were appended, rows and face are 14 pixels high, and the operator's
// actions raise events that changes made from code never raise.
#pragma once

#include <QComboBox>
#include <QString>

class DropDownList : public QComboBox {
    Q_OBJECT

public:
    explicit DropDownList(QWidget* parent = nullptr);

    // What the window's handlers use.
    QString text() const; // the selected item's text, or empty when nothing is selected
    void clearItems();    // every item goes, nothing selected; no event
    void appendItem(const QString& item); // to the end; no event
    int itemCount() const;
    int selectedIndex() const;          // from 0; -1 when nothing is selected
    void setSelectedIndex(int index);   // an index outside the items selects nothing; no event

    // When set, the first character typed while the list has the focus opens it.
    void setOpensOnTyping(bool on);
    bool opensOnTyping() const;

    void showPopup() override;

Q_SIGNALS:
    // Raised before the list opens; items appended by its receivers show in the same opening.
    void dropDown();
    // Raised, in this order, for every change of the selected item made by the operator
    // (mouse or keyboard in the open list, arrow keys on the closed list, typing), after the
    // new item is selected.
    void click();
    void change();
};
