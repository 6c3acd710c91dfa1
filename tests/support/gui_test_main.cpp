// Test main of the suites that need a window toolkit without the program:
// the test environment, then one application object for every test,
// offscreen, with a fixed screen size so layouts do not depend on the host.
#include "platform/toolkit/TApplication.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    testsupport::SetTestEnvironment();
    // Never a real window, whatever the caller's session offers.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication App(argc, argv);
    SetScreenSize(1280, 1024);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
