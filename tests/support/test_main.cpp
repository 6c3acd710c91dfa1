// Test main of the library suites: the test environment first, then
// GoogleTest.
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    testsupport::SetTestEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
