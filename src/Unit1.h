// The main window: every control the operator uses, the connection and the query, and the six
// event handlers in which the tool's own logic lives. Controls are laid out by Unit1.ui; the
// window's behaviour (keyboard, lists, placement) comes from the toolkit layer in widgets/.
#pragma once

#include "db/Connection.h"
#include "db/Query.h"
#include "widgets/Form.h"

#include <memory>

#include <QChar>
#include <QString>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class DropDownList;
class Edit;

namespace Ui {
class TForm1;
}

class TForm1 : public Form {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, in the order of the form description. They belong to the window (through m_ui)
    // and live exactly as long as it does.
    QLabel* Label1 = nullptr;
    Edit* Edit1 = nullptr;
    QLabel* Label2 = nullptr;
    Edit* Edit2 = nullptr;
    QLabel* Label3 = nullptr;
    Edit* Edit3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    Edit* Edit5 = nullptr;
    QLabel* Label6 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    db::Connection Data;
    db::Query Query{Data};
    DropDownList* ComboBox1 = nullptr;
    QLabel* Label7 = nullptr;
    DropDownList* ComboBox3 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    DropDownList* ComboBox2 = nullptr;
    QLabel* Label8 = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* Label9 = nullptr;
    Edit* Edit4 = nullptr;
    Edit* Edit6 = nullptr;
    QFrame* Bevel2 = nullptr;

    // Event handlers. Sender is the control that raised the event; none of them uses it.
    void Edit5KeyPress(QObject* Sender, QChar& Key);
    void Button3Click(QObject* Sender);
    void Button2Click(QObject* Sender);
    void ComboBox1Click(QObject* Sender);
    void ComboBox1DropDown(QObject* Sender);
    void ComboBox2Change(QObject* Sender);

private:
    void bindEvents();
    void loginEdited();
    void clearLogFiles();

    std::unique_ptr<Ui::TForm1> m_ui;
};
