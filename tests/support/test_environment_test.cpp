// The environment a test binary sets itself: it fills in what is missing,
// leaves what the caller set, and agrees with what ctest hands to a test.
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestEnvironmentValues.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// Restores one variable after a test that changes it.
class TKeepVariable {
public:
    explicit TKeepVariable(const char *AName) : FName(AName)
    {
        const char *V = std::getenv(AName);
        FHad = V != nullptr;
        if (FHad)
            FValue = V;
    }
    ~TKeepVariable()
    {
        if (FHad)
            ::setenv(FName, FValue.c_str(), 1);
        else
            ::unsetenv(FName);
    }

private:
    const char *FName;
    bool FHad = false;
    std::string FValue;
};

} // namespace

TEST(TestEnvironment, EveryVariableIsSetAsCtestSetsIt)
{
    // ctest and the main both set it from one list; by the time a test runs
    // every variable holds the list's value, whichever road was taken.
    for (const testsupport::TEnvironmentValue &V : testsupport::EnvironmentValues) {
        const char *Now = std::getenv(V.Name);
        ASSERT_NE(Now, nullptr) << V.Name;
        EXPECT_STREQ(Now, V.Value) << V.Name;
    }
    EXPECT_TRUE(std::filesystem::exists(testsupport::ProgramDir() + "odbcinst.ini"));
    EXPECT_TRUE(std::filesystem::exists(testsupport::SourceDir() + "tests/support/statements.txt"));
}

TEST(TestEnvironment, MissingVariablesAreFilledAndSetOnesKept)
{
    TKeepVariable Program("MARLIN_PROGRAM_DIR"), Platform("QT_QPA_PLATFORM");
    ::unsetenv("MARLIN_PROGRAM_DIR");
    ::setenv("QT_QPA_PLATFORM", "minimal", 1);
    testsupport::SetTestEnvironment();
    ASSERT_NE(std::getenv("MARLIN_PROGRAM_DIR"), nullptr);
    EXPECT_FALSE(std::string(std::getenv("MARLIN_PROGRAM_DIR")).empty());
    EXPECT_STREQ(std::getenv("QT_QPA_PLATFORM"), "minimal");
}

TEST(TestEnvironment, FoldersEndInOneSlashFromEitherSource)
{
    TKeepVariable Program("MARLIN_PROGRAM_DIR");
    ::setenv("MARLIN_PROGRAM_DIR", "/opt/marlin", 1);
    EXPECT_EQ(testsupport::ProgramDir(), "/opt/marlin/");
    ::setenv("MARLIN_PROGRAM_DIR", "/opt/marlin/", 1);
    EXPECT_EQ(testsupport::ProgramDir(), "/opt/marlin/");
    // Empty counts as missing: the build's own folder.
    ::setenv("MARLIN_PROGRAM_DIR", "", 1);
    const std::string Built = testsupport::ProgramDir();
    ASSERT_FALSE(Built.empty());
    EXPECT_EQ(Built.back(), '/');
    EXPECT_NE(Built, "/");
}
