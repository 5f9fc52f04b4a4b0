#include "WindowAgainstServer.h"

#include "widgets/Application.h"
#include "widgets/DropDownList.h"
#include "widgets/Edit.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

namespace e2e {

void WindowAgainstServer::start(const nlohmann::json& catalogue)
{
    server = std::make_unique<TestServer>(catalogue.dump());
    form = std::make_unique<TForm1>();
    gui::showWindow(form.get());
    // At start the focus is in the server-name field with its text selected: typing replaces it.
    gui::type(form->Edit1, address());
}

void WindowAgainstServer::TearDown()
{
    form.reset();
    server.reset();
}

QString WindowAgainstServer::address() const
{
    return QStringLiteral("127.0.0.1,%1").arg(server->port());
}

std::vector<gui::SeenBox> WindowAgainstServer::openDatabaseList()
{
    auto boxes = gui::closeBoxesDuring([this] { gui::openList(form->ComboBox1); });
    if (form->ComboBox1->isOpen()) {
        gui::press(Qt::Key_Escape);
    }
    return boxes;
}

std::vector<gui::SeenBox> WindowAgainstServer::chooseDatabase(const QString& name)
{
    return gui::closeBoxesDuring([this, name] {
        gui::openList(form->ComboBox1);
        const int row = items(form->ComboBox1).indexOf(name);
        EXPECT_GE(row, 0) << "no database " << name.toStdString() << " in the list";
        if (row >= 0) {
            gui::pickInOpenList(form->ComboBox1, row);
        }
        if (form->ComboBox1->isOpen()) {
            gui::press(Qt::Key_Escape);
        }
    });
}

std::vector<gui::SeenBox> WindowAgainstServer::chooseLogFile(int row)
{
    return gui::closeBoxesDuring([this, row] { gui::choose(form->ComboBox2, row); });
}

std::vector<gui::SeenBox> WindowAgainstServer::pressOk()
{
    return gui::closeBoxesDuring([this] { gui::click(form->Button2); });
}

void WindowAgainstServer::retype(Edit* field, const QString& text)
{
    // End, then Shift+Home: keys that type no character, which even the target-size field's
    // filter lets through (it drops Ctrl+A).
    gui::click(field);
    gui::press(field, Qt::Key_End);
    gui::press(field, Qt::Key_Home, Qt::ShiftModifier);
    if (text.isEmpty()) {
        gui::press(field, Qt::Key_Delete);
    } else {
        gui::type(field, text);
    }
}

QStringList WindowAgainstServer::items(const DropDownList* list)
{
    QStringList result;
    for (int i = 0; i < list->itemCount(); ++i) {
        result << list->itemText(i);
    }
    return result;
}

std::vector<std::string> WindowAgainstServer::batchesSince(size_t count) const
{
    std::vector<std::string> all = batches();
    return {all.begin() + std::min(count, all.size()), all.end()};
}

::testing::AssertionResult oneBox(const std::vector<gui::SeenBox>& boxes, const QString& caption,
                                  const QString& text, QMessageBox::Icon icon)
{
    if (boxes.size() != 1) {
        auto result = ::testing::AssertionFailure() << boxes.size() << " boxes:";
        for (const auto& box : boxes) {
            result << " [" << box.caption.toStdString() << ": " << box.text.toStdString() << "]";
        }
        return result;
    }
    const gui::SeenBox& box = boxes.front();
    if (box.caption != caption || box.text != text || box.icon != icon || !box.modal) {
        return ::testing::AssertionFailure()
               << "box [" << box.caption.toStdString() << ": " << box.text.toStdString()
               << "] icon " << int(box.icon) << (box.modal ? "" : " not modal") << ", expected ["
               << caption.toStdString() << ": " << text.toStdString() << "] icon " << int(icon);
    }
    return ::testing::AssertionSuccess();
}

} // namespace e2e
