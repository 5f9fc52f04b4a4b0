#include "Unit1.h"

#include "ui_Unit1.h"
#include "widgets/Application.h"
#include "widgets/DropDownList.h"
#include "widgets/Edit.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

TForm1::TForm1(QWidget* parent) : Form(parent), m_ui(std::make_unique<Ui::TForm1>())
{
    m_ui->setupUi(this);

    Label1 = m_ui->Label1;
    Edit1 = m_ui->Edit1;
    Label2 = m_ui->Label2;
    Edit2 = m_ui->Edit2;
    Label3 = m_ui->Label3;
    Edit3 = m_ui->Edit3;
    Label4 = m_ui->Label4;
    Label5 = m_ui->Label5;
    Edit5 = m_ui->Edit5;
    Label6 = m_ui->Label6;
    Button2 = m_ui->Button2;
    Button3 = m_ui->Button3;
    ComboBox1 = m_ui->ComboBox1;
    Label7 = m_ui->Label7;
    ComboBox3 = m_ui->ComboBox3;
    CheckBox1 = m_ui->CheckBox1;
    ComboBox2 = m_ui->ComboBox2;
    Label8 = m_ui->Label8;
    Bevel1 = m_ui->Bevel1;
    Label9 = m_ui->Label9;
    Edit4 = m_ui->Edit4;
    Edit6 = m_ui->Edit6;
    Bevel2 = m_ui->Bevel2;

    setDefaultButton(Button2);
    finishSetup();
    bindEvents();
}

TForm1::~TForm1() = default;

namespace {

// Binds one event of a control to a handler of the window. The handler runs guarded, so an
// error escaping it reaches the top-level error box and the window runs on.
template <typename Control, typename Signal>
void bind(TForm1* form, Control* control, Signal signal, void (TForm1::*handler)(QObject*))
{
    QObject::connect(control, signal, form,
                     [form, control, handler] { runGuarded([&] { (form->*handler)(control); }); });
}

} // namespace

void TForm1::bindEvents()
{
    // One line per event: control, event, handler.
    bind(this, ComboBox1, &DropDownList::dropDown, &TForm1::ComboBox1DropDown);
    bind(this, ComboBox1, &DropDownList::click, &TForm1::ComboBox1Click);
    bind(this, ComboBox2, &DropDownList::change, &TForm1::ComboBox2Change);
    bind(this, Button2, &QPushButton::clicked, &TForm1::Button2Click);
    bind(this, Button3, &QPushButton::clicked, &TForm1::Button3Click);
    // The key travels by reference so that the handler can drop it: a direct call, never queued.
    connect(
        Edit5, &Edit::keyPress, this,
        [this](QChar& key) { runGuarded([&] { Edit5KeyPress(Edit5, key); }); },
        Qt::DirectConnection);
}

void TForm1::Button3Click(QObject*)
{
    close();
}

// The workflow's handlers follow; each does nothing until its part of the workflow is built.

void TForm1::Edit5KeyPress(QObject*, QChar&) {}

void TForm1::Button2Click(QObject*) {}

void TForm1::ComboBox1Click(QObject*) {}

void TForm1::ComboBox1DropDown(QObject*) {}

void TForm1::ComboBox2Change(QObject*) {}
