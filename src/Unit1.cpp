#include "Unit1.h"

#include "ui_Unit1.h"

TForm1::TForm1(QWidget* parent) : Form(parent), m_ui(std::make_unique<Ui::TForm1>())
{
    m_ui->setupUi(this);
    bindEvents();
}

TForm1::~TForm1() = default;

void TForm1::bindEvents() {}

void TForm1::Edit5KeyPress(QObject*, QChar&) {}
void TForm1::Button3Click(QObject*) { close(); }
void TForm1::Button2Click(QObject*) {}
void TForm1::ComboBox1Click(QObject*) {}
void TForm1::ComboBox1DropDown(QObject*) {}
void TForm1::ComboBox2Change(QObject*) {}
