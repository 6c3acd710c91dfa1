// Test main of the toolkit suite: one application object for every test,
// offscreen, with a fixed screen size so layouts do not depend on the host.
#include "platform/toolkit/TApplication.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication App(argc, argv);
    SetScreenSize(1280, 1024);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
