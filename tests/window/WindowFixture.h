// A fresh main window, shown and active, for each test.
#pragma once

#include "Unit1.h"
#include "gui/Operator.h"
#include "widgets/DropDownList.h"
#include "widgets/Edit.h"

#include <gtest/gtest.h>
#include <memory>

#include <QPushButton>

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<TForm1>();
        // These tests drive the window's machinery with receivers of their own. The workflow's
        // handlers talk to a server and show boxes; they are the end-to-end tests' business.
        for (QObject* control :
             {static_cast<QObject*>(form->ComboBox1), static_cast<QObject*>(form->ComboBox2),
              static_cast<QObject*>(form->Button2), static_cast<QObject*>(form->Edit5)}) {
            QObject::disconnect(control, nullptr, form.get(), nullptr);
        }
        gui::showWindow(form.get());
    }
    void TearDown() override { form.reset(); }

    // The controls by name, as the form description names them.
    QWidget* control(const char* name) const { return form->findChild<QWidget*>(name); }

    std::unique_ptr<TForm1> form;
};
