// Settings, variables in file names and the program folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "dataaccess/stan/qxZqStanUtil.h"

namespace {

class VariablesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FDir = std::filesystem::temp_directory_path() /
               ("stan_vars_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(FDir);
        ZqClearVariables();
    }
    void TearDown() override
    {
        std::filesystem::remove_all(FDir);
        ZqClearVariables();
    }
    void Touch(const std::string &Name) { std::ofstream(FDir / Name) << "x"; }
    std::filesystem::path FDir;
};

} // namespace

TEST_F(VariablesTest, EnvironmentValuesAreCachedAndCaseFree)
{
    setenv("STAN_TEST_ROOT", "/data/qc", 1);
    EXPECT_EQ(ZqExpandVariables("$(stan_test_root)/x.ini"), "/data/qc/x.ini");
    setenv("STAN_TEST_ROOT", "/changed", 1);
    EXPECT_EQ(ZqExpandVariables("$(STAN_TEST_ROOT)"), "/data/qc"); // cached for the process
    unsetenv("STAN_TEST_ROOT");
    EXPECT_EQ(ZqExpandVariables("a$(STAN_TEST_NOTHING)b"), "ab");
    EXPECT_EQ(ZqExpandVariables("no $( end"), "no $( end");
}

TEST_F(VariablesTest, ValueHoldingAReferenceIsNotExpandedAgain)
{
    setenv("STAN_TEST_SELF", "$(STAN_TEST_SELF)", 1);
    EXPECT_EQ(ZqExpandVariables("[$(STAN_TEST_SELF)]"), "[$(STAN_TEST_SELF)]");
    unsetenv("STAN_TEST_SELF");
}

TEST_F(VariablesTest, RandIsANumberEachTime)
{
    std::string R = ZqExpandVariables("$(RAND)");
    ASSERT_FALSE(R.empty());
    EXPECT_EQ(R.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_LE(std::stoll(R), 2147483646LL);
}

TEST_F(VariablesTest, NextNumbersAfterTheLargestFile)
{
    Touch("trace1.txt");
    Touch("trace7.txt");
    Touch("traceX.txt");
    Touch("other9.txt");
    std::string Pattern = (FDir / "trace$(NEXT).txt").string();
    EXPECT_EQ(ZqExpandVariables(Pattern), (FDir / "trace8.txt").string());
    EXPECT_EQ(ZqExpandVariables((FDir / "none$(NEXT).log").string()), (FDir / "none1.log").string());
}

TEST_F(VariablesTest, RegistryValuesFromEnvironmentThenIni)
{
    std::string OldXdg = ZqGetEnvVar("XDG_CONFIG_HOME");
    setenv("XDG_CONFIG_HOME", FDir.c_str(), 1);
    std::filesystem::create_directories(FDir / "Quillor");
    std::ofstream(FDir / "Quillor" / "Vexa.ini") << "[Vexa]\nConnectionDefFile=/etc/defs.ini\n";
    unsetenv("ConnectionDefFile");
    EXPECT_EQ(ZqReadRegistryValue("ConnectionDefFile"), "/etc/defs.ini");
    EXPECT_EQ(ZqReadRegistryValue("DriverFile"), "");
    setenv("ConnectionDefFile", "/env/defs.ini", 1);
    EXPECT_EQ(ZqReadRegistryValue("ConnectionDefFile"), "/env/defs.ini");
    unsetenv("ConnectionDefFile");
    if (OldXdg.empty()) unsetenv("XDG_CONFIG_HOME");
    else setenv("XDG_CONFIG_HOME", OldXdg.c_str(), 1);
}

TEST_F(VariablesTest, ExpandFileNamePrefersExplicitThenDefaultThenGlobal)
{
    std::string App = ZqAppDir();
    EXPECT_EQ(ZqExpandFileName("defs.ini", "/g.ini", "d.ini"), App + "/defs.ini");
    EXPECT_EQ(ZqExpandFileName("/abs/defs.ini", "/g.ini", "d.ini"), "/abs/defs.ini");
    EXPECT_EQ(ZqExpandFileName("cfg\\defs.ini", "/g.ini", "d.ini"), "cfg\\defs.ini"); // a folder part written the other way
    EXPECT_EQ(ZqExpandFileName("", "/g.ini", "surely-not-there.ini"), "/g.ini");
}

TEST(ProgramFolder, IsTheExecutablesFolder)
{
    std::string App = ZqAppDir();
    EXPECT_FALSE(App.empty());
    EXPECT_NE(App.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(App + "/tests_stan"));
}

TEST(ExceptionHook, ReachesTheInstalledDisplay)
{
    std::string Seen;
    ZqSetApplicationExceptionHook([&](const std::exception &E) { Seen = E.what(); });
    try {
        throw rtl::Exception("shown");
    } catch (...) {
        ZqHandleException();
    }
    EXPECT_EQ(Seen, "shown");
    ZqSetApplicationExceptionHook(nullptr);
    try {
        throw rtl::Exception("nobody");
    } catch (...) {
        ZqHandleException();
    }
    EXPECT_EQ(Seen, "shown");
}
