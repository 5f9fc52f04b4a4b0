// The window against its form description: every control's kind, place, initial content, tab
// position and the settings the operator sees.
#include "WindowFixture.h"
#include "widgets/Bevel.h"
#include "widgets/DropDownList.h"
#include "widgets/Edit.h"

#include <functional>

#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>

namespace {

struct ControlRow {
    const char* name;
    const char* kind;
    QRect geometry;
    QString text; // edit text, caption, or the list's text
    int tabIndex; // position in the stored tab order
    std::function<void(TForm1&)> settings = {};
};

QString textOf(QWidget* widget)
{
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    if (auto* list = qobject_cast<DropDownList*>(widget))
        return list->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    return {};
}

const QColor blue(0, 0, 255);

void readOnlyField(Edit* field)
{
    EXPECT_TRUE(field->isReadOnly());
    EXPECT_EQ(field->palette().color(QPalette::Active, QPalette::Text), blue);
    EXPECT_EQ(field->palette().color(QPalette::Base),
              QApplication::palette("QMenu").color(QPalette::Window));
    EXPECT_EQ(field->font().family(), QStringLiteral("宋体"));
    EXPECT_EQ(QFontInfo(field->font()).pixelSize(), 12);
    EXPECT_EQ(field->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
}

void emptyList(DropDownList* list)
{
    EXPECT_EQ(list->itemCount(), 0);
    EXPECT_EQ(list->selectedIndex(), -1);
    EXPECT_FALSE(list->isEditable());
}

const ControlRow controls[] = {
    {"Edit1", "Edit", {93, 9, 160, 20}, "(local)", 0},
    {"Edit2", "Edit", {93, 32, 160, 20}, "sa", 1},
    {"Edit3",
     "Edit",
     {93, 55, 160, 20},
     "",
     2,
     [](TForm1& f) {
         EXPECT_EQ(f.Edit3->echoMode(), QLineEdit::Password);
         f.Edit3->setText("pw1");
         EXPECT_EQ(f.Edit3->displayText(), "***");
     }},
    {"Edit5", "Edit", {93, 208, 82, 20}, "1", 3},
    {"Button2",
     "QPushButton",
     {282, 8, 75, 25},
     "确定",
     4,
     [](TForm1& f) {
         EXPECT_TRUE(f.Button2->isDefault());
         EXPECT_EQ(f.defaultButton(), f.Button2);
     }},
    {"Button3",
     "QPushButton",
     {282, 40, 75, 25},
     "关闭",
     5,
     [](TForm1& f) { EXPECT_FALSE(f.Button3->isDefault()); }},
    {"ComboBox1",
     "DropDownList",
     {93, 95, 160, 20},
     "",
     6,
     [](TForm1& f) {
         emptyList(f.ComboBox1);
         EXPECT_FALSE(f.ComboBox1->opensOnTyping());
     }},
    {"ComboBox3",
     "DropDownList",
     {311, 75, 146, 20},
     "",
     7,
     [](TForm1& f) {
         emptyList(f.ComboBox3);
         EXPECT_FALSE(f.ComboBox3->isVisible());
         EXPECT_EQ(f.ComboBox3->focusPolicy(), Qt::NoFocus);
     }},
    {"CheckBox1",
     "QCheckBox",
     {92, 236, 187, 17},
     "日志文件以后不再增大",
     8,
     [](TForm1& f) {
         EXPECT_FALSE(f.CheckBox1->isChecked());
         EXPECT_FALSE(f.CheckBox1->isTristate());
     }},
    {"ComboBox2",
     "DropDownList",
     {93, 119, 160, 20},
     "",
     9,
     [](TForm1& f) {
         emptyList(f.ComboBox2);
         EXPECT_TRUE(f.ComboBox2->opensOnTyping());
     }},
    {"Edit4", "Edit", {93, 144, 160, 20}, "", 10, [](TForm1& f) { readOnlyField(f.Edit4); }},
    {"Edit6", "Edit", {93, 169, 160, 20}, "", 11, [](TForm1& f) { readOnlyField(f.Edit6); }},
};

// The input controls in the order in which the window's focus chain holds them.
QStringList tabOrder(TForm1& form)
{
    QStringList order;
    for (QWidget* w = form.nextInFocusChain(); w && w != &form; w = w->nextInFocusChain()) {
        for (const ControlRow& row : controls) {
            if (w->objectName() == QLatin1String(row.name))
                order << w->objectName();
        }
    }
    return order;
}

class ControlTest : public WindowTest, public ::testing::WithParamInterface<ControlRow> {};

TEST_P(ControlTest, MatchesTheFormDescription)
{
    const ControlRow& row = GetParam();
    QWidget* widget = control(row.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->inherits(row.kind)) << widget->metaObject()->className();
    EXPECT_EQ(widget->geometry(), row.geometry);
    EXPECT_EQ(textOf(widget), row.text);
    EXPECT_EQ(tabOrder(*form).indexOf(QLatin1String(row.name)), row.tabIndex);
    if (row.settings)
        row.settings(*form);
}

INSTANTIATE_TEST_SUITE_P(Form, ControlTest, ::testing::ValuesIn(controls),
                         [](const auto& info) { return std::string(info.param.name); });

struct LabelRow {
    const char* name;
    QString text;
    QRect geometry;
};

const LabelRow labels[] = {
    {"Label1", "服务器名：", {30, 13, 60, 12}},
    {"Label2", "用户名：", {42, 36, 48, 12}},
    {"Label3", "密码：", {54, 59, 36, 12}},
    {"Label4", "数据库：", {42, 99, 48, 12}},
    {"Label7", "Log文件：", {36, 123, 54, 12}},
    {"Label8", "Log文件位置：", {12, 147, 78, 12}},
    {"Label9", "Log文件大小：", {12, 172, 78, 12}},
    {"Label5", "收缩到：", {40, 212, 48, 12}},
    {"Label6", "M", {184, 212, 6, 12}},
};

class LabelTest : public WindowTest, public ::testing::WithParamInterface<LabelRow> {};

TEST_P(LabelTest, NamesItsFieldFromTheLeft)
{
    const LabelRow& row = GetParam();
    auto* label = form->findChild<QLabel*>(row.name);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), row.text);
    EXPECT_EQ(label->geometry(), row.geometry);
    EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
    // The text ends at the label's right edge, three pixels before its field (x = 90; 88 for
    // the target size), and is not cut off.
    EXPECT_TRUE(label->alignment() & Qt::AlignRight);
    const int right = row.geometry.x() + row.geometry.width();
    if (QLatin1String(row.name) != QLatin1String("Label6")) {
        EXPECT_EQ(right, QLatin1String(row.name) == QLatin1String("Label5") ? 88 : 90);
    }
    EXPECT_LE(label->fontMetrics().horizontalAdvance(row.text), row.geometry.width() + 1);
}

INSTANTIATE_TEST_SUITE_P(Form, LabelTest, ::testing::ValuesIn(labels),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, BevelsAreEtchedLinesAcrossTheirBoxes)
{
    const std::pair<QFrame*, QRect> bevels[] = {{form->Bevel1, {14, 84, 243, 15}},
                                                {form->Bevel2, {13, 199, 244, 15}}};
    for (const auto& [bevel, geometry] : bevels) {
        ASSERT_NE(qobject_cast<Bevel*>(bevel), nullptr);
        EXPECT_EQ(bevel->geometry(), geometry);
        EXPECT_EQ(bevel->frameShape(), QFrame::HLine);
        EXPECT_EQ(bevel->frameShadow(), QFrame::Sunken);
        EXPECT_EQ(bevel->focusPolicy(), Qt::NoFocus);
    }
}

TEST_F(WindowTest, WindowIsFixedSizeWithItsCaptionFontAndIcon)
{
    EXPECT_EQ(form->size(), QSize(389, 257));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());

    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);

    const QString caption = form->windowTitle();
    EXPECT_TRUE(caption.startsWith(QStringLiteral("MS SQL SERVER日志收缩工具（")))
        << caption.toStdString();
    EXPECT_TRUE(caption.endsWith(QStringLiteral("）")));
    EXPECT_GT(caption.size(), QStringLiteral("MS SQL SERVER日志收缩工具（）").size());

    EXPECT_EQ(form->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Button));
    EXPECT_EQ(form->font().family(), QStringLiteral("宋体"));
    EXPECT_EQ(QFontInfo(form->font()).pixelSize(), 12);
    // Whatever face stands in for "宋体" has the Chinese glyphs of the captions.
    EXPECT_TRUE(QFontMetrics(form->font()).inFont(QChar(u'服')));

    EXPECT_TRUE(form->windowIcon().availableSizes().contains(QSize(32, 32)));
    EXPECT_EQ(form->windowIcon().pixmap(32, 32).toImage().size(), QSize(32, 32));
    EXPECT_TRUE(QApplication::windowIcon().availableSizes().contains(QSize(32, 32)));
}

} // namespace
