// A fresh main window, shown and active, for each test.
#pragma once

#include "Unit1.h"
#include "gui/Operator.h"

#include <gtest/gtest.h>
#include <memory>

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<TForm1>();
        gui::showWindow(form.get());
    }
    void TearDown() override { form.reset(); }

    // The controls by name, as the form description names them.
    QWidget* control(const char* name) const { return form->findChild<QWidget*>(name); }

    std::unique_ptr<TForm1> form;
};
