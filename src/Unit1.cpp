#include "Unit1.h"

#include "ui_Unit1.h"
#include "widgets/Application.h"
#include "widgets/DropDownList.h"
#include "widgets/Edit.h"
#include "widgets/MessageBox.h"
#include "workflow/Texts.h"

#include <QCheckBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

using namespace Qt::Literals::StringLiterals;

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

    // The window takes no input while the server answers; the cursor says so.
    Data.setWaitHook([](bool waiting) {
        if (waiting) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            QGuiApplication::restoreOverrideCursor();
        }
    });
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

    // Not an event of the form description: an operator's edit of the login forgets what was
    // loaded from the server connected before.
    for (Edit* field : {Edit1, Edit2, Edit3}) {
        connect(field, &QLineEdit::textEdited, this, [this] { loginEdited(); });
    }
}

void TForm1::Edit5KeyPress(QObject* Sender, QChar& Key)
{
    Q_UNUSED(Sender);
    // One unsigned range test: only "0" to "9" pass; Backspace and every other control
    // character are dropped like letters. Keys that type nothing (Delete, arrows) never get here.
    if (char16_t(Key.unicode() - u'0') >= 10) {
        Key = QChar();
    }
}

void TForm1::Button3Click(QObject* Sender)
{
    Q_UNUSED(Sender);
    close();
}

void TForm1::Button2Click(QObject* Sender)
{
    Q_UNUSED(Sender);
    const struct {
        bool failed;
        const char16_t* message;
    } tests[] = {
        {Edit1->text().isEmpty(), u"服务器名不能为空"},
        {Edit2->text().isEmpty(), u"用户名不能为空"},
        {ComboBox1->text().isEmpty(), u"数据库名不能为空"},
        {ComboBox3->text().isEmpty(), u"Log文件不能为空"},
        {Edit5->text().isEmpty(), u"收缩大小不能为空"},
        // Pasted text reaches the field unfiltered; only a whole number may go into the batch.
        {!workflow::isWholeNumber(Edit5->text()), u"收缩大小必须是整数"},
    };
    for (const auto& test : tests) {
        if (test.failed) {
            showMessage(this, QString::fromUtf16(test.message), MessageIcon::Warning);
            return;
        }
    }

    const workflow::ShrinkRequest request{ComboBox1->text(), ComboBox2->text(), Edit5->text(),
                                          CheckBox1->isChecked()};
    Query.close();
    Query.setSql(workflow::shrinkBatch(request, Data.serverVersion()));
    Query.open();

    // The shrink's row set: DbId, FileId, CurrentSize, MinimumSize, UsedPages, EstimatedPages,
    // sizes in 8-KB pages. What the server printed up to here belongs to the shrink.
    bool sizeKnown = false;
    const qint64 pages =
        Query.eof() ? 0 : Query.fieldByName(u"CurrentSize"_s).toLongLong(&sizeKnown);
    QStringList notes;
    for (const db::Diagnostic& message : Query.messages()) {
        if (message.native != 5701) { // "Changed database context", from the USE
            notes << db::messageText(message);
        }
    }
    // The file's size is what the server reported, even when a later statement fails.
    const QString size = workflow::sizeText(pages);
    const int file = ComboBox3->selectedIndex();
    if (sizeKnown && file >= 0) {
        const workflow::DetailParts parts = workflow::splitDetailEntry(ComboBox3->text());
        ComboBox3->setItemText(file, parts.location + u'|' + size);
        Edit6->setText(size);
        Edit6->setCursorPosition(0);
    }
    // Success means every statement ran, the clause after the shrink included.
    Query.finishBatch();

    bool targetKnown = false;
    const qint64 targetMegabytes = request.targetMegabytes.toLongLong(&targetKnown);
    // In whole megabytes, rounded up: above the target exactly when the kilobytes are.
    const qint64 sizeMegabytes = (pages * 8 + 1023) / 1024;
    if (sizeKnown && targetKnown && sizeMegabytes > targetMegabytes) {
        notes.prepend(u"Log文件未能收缩到目标大小，当前大小："_s + size);
        showMessage(this, notes.join(u'\n'), MessageIcon::Warning);
        return;
    }
    showMessage(this, u"Log文件收缩成功！"_s, MessageIcon::Information);
}

void TForm1::ComboBox1Click(QObject* Sender)
{
    Q_UNUSED(Sender);
    const QString database = ComboBox1->text();
    try {
        Query.close();
        Query.setSql(workflow::logFileQuery(database));
        Query.open();
        ComboBox3->clearItems();
        ComboBox2->clearItems();
        while (!Query.eof()) {
            // Compared exactly: a usage that differs in case or by a blank is no log file.
            if (Query.fieldByName(u"usage"_s) == u"log only") {
                ComboBox3->appendItem(workflow::detailEntry(Query.fieldByName(u"filename"_s),
                                                            Query.fieldByName(u"size"_s)));
                ComboBox2->appendItem(workflow::trimmed(Query.fieldByName(u"name"_s)));
            }
            Query.next();
        }
    } catch (...) {
        // The lists would otherwise still hold another database's log files, and OK would pair
        // this database with one of them.
        clearLogFiles();
        throw;
    }
    ComboBox2->setSelectedIndex(0);
    ComboBox2Change(ComboBox2);
}

void TForm1::ComboBox1DropDown(QObject* Sender)
{
    Q_UNUSED(Sender);
    if (Data.connected()) {
        return;
    }
    const QString connection =
        workflow::connectionString(Edit1->text(), Edit2->text(), Edit3->text());
    Data.setConnected(false);
    Data.setConnectionString(connection);
    try {
        Data.setConnected(true);
    } catch (const std::exception&) {
        showMessage(this, u"连接MS SQL SERVER服务器出错"_s, MessageIcon::Error);
        return;
    }
    QStringList names;
    try {
        Query.close();
        Query.setSql(workflow::databaseListQuery());
        Query.open();
        ComboBox1->clearItems();
        while (!Query.eof()) {
            names << workflow::trimmed(Query.field(0));
            Query.next();
        }
        ComboBox1->appendItems(names);
    } catch (...) {
        ComboBox1->appendItems(names); // what was read before the failure
        // A list that failed to load would stay empty or partial for the rest of the run, since
        // a connected Data skips all of this: disconnect, so that the next drop-down asks anew.
        Data.setConnected(false);
        throw;
    }
}

void TForm1::ComboBox2Change(QObject* Sender)
{
    Q_UNUSED(Sender);
    ComboBox3->setSelectedIndex(ComboBox2->selectedIndex());
    const workflow::DetailParts parts = workflow::splitDetailEntry(ComboBox3->text());
    Edit4->setText(parts.location);
    Edit4->setCursorPosition(0);
    Edit6->setText(parts.size);
    Edit6->setCursorPosition(0);
}

// ---- Keeping the window true to its connection -----------------------------------------------

void TForm1::loginEdited()
{
    // What is listed came from the server and login connected earlier; once the operator edits
    // any of them, a shrink could reach a server other than the one the window shows.
    Data.setConnected(false);
    ComboBox1->clearItems();
    clearLogFiles();
}

void TForm1::clearLogFiles()
{
    ComboBox3->clearItems();
    ComboBox2->clearItems();
    Edit4->clear();
    Edit6->clear();
}
