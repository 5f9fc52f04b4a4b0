// The main of every GUI test program: the application object exists for the whole run, as it
// does in the tool, so that the top-level error handler and the message boxes work. Listing the
// tests needs no display, so it runs without one.
#include "widgets/Application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    Application app(argc, argv);
    return RUN_ALL_TESTS();
}
