// The main window driven as an operator drives it, against a test server of its own.
#pragma once

#include "Catalogues.h"
#include "Unit1.h"
#include "gui/Boxes.h"
#include "gui/Operator.h"
#include "testserver/TestServer.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include <QListView>
#include <QStringList>

class DropDownList;
class Edit;

// Failures print texts as texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace e2e {

class WindowAgainstServer : public testing::Test {
protected:
    // Starts the server on the catalogue, shows a fresh window and types the server's address
    // into the server-name field, as an operator would.
    void start(const nlohmann::json& catalogue);
    void TearDown() override;

    QString address() const; // "127.0.0.1,PORT"

    // Operator actions; each returns the message boxes that appeared meanwhile (all closed).
    std::vector<gui::SeenBox> openDatabaseList(); // opens it with the mouse and closes it again
    std::vector<gui::SeenBox> chooseDatabase(const QString& name);
    std::vector<gui::SeenBox> chooseLogFile(int row);
    std::vector<gui::SeenBox> pressOk();
    // Clicks into the field, selects its whole text and types the new one.
    void retype(Edit* field, const QString& text);

    static QStringList items(const DropDownList* list);
    std::vector<std::string> batches() const { return server->batches(); }
    std::vector<std::string> batchesSince(size_t count) const;

    std::unique_ptr<TestServer> server;
    std::unique_ptr<TForm1> form;
};

// The one box that an action showed.
::testing::AssertionResult oneBox(const std::vector<gui::SeenBox>& boxes, const QString& caption,
                                  const QString& text, QMessageBox::Icon icon);

} // namespace e2e
