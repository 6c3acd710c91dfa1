// Every stored input of every fuzz target (the seeds and each input that
// once found a fault) replayed in this tree, so that the sanitizers of the
// ordinary build see them too.
#include "tests/fuzz/FuzzTargets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct TTarget {
    const char *Name;
    int (*Function)(const uint8_t *, size_t);
};

#define MARLIN_FUZZ_ROW(Name, Function) TTarget{#Name, Function},
const TTarget Targets[] = {MARLIN_FUZZ_TARGETS(MARLIN_FUZZ_ROW)};
#undef MARLIN_FUZZ_ROW

std::vector<std::filesystem::path> Inputs(const std::string &AName)
{
    std::vector<std::filesystem::path> Files;
    for (const auto &E : std::filesystem::directory_iterator(std::string(MARLIN_FUZZ_CORPUS) + "/" + AName))
        if (E.is_regular_file())
            Files.push_back(E.path());
    std::sort(Files.begin(), Files.end());
    return Files;
}

// The target's name in the test's output, not its bytes.
void PrintTo(const TTarget &ATarget, std::ostream *AOut) { *AOut << ATarget.Name; }

class FuzzReplay : public ::testing::TestWithParam<TTarget> {};

} // namespace

TEST_P(FuzzReplay, StoredInputsRunClean)
{
    const std::vector<std::filesystem::path> Files = Inputs(GetParam().Name);
    // Each target keeps seeds; an empty folder would test nothing.
    ASSERT_FALSE(Files.empty());
    for (const auto &File : Files) {
        SCOPED_TRACE(File.filename().string());
        std::ifstream In(File, std::ios::binary);
        const std::string Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
        EXPECT_EQ(GetParam().Function(reinterpret_cast<const uint8_t *>(Bytes.data()), Bytes.size()), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(Targets),
                         [](const ::testing::TestParamInfo<TTarget> &AInfo) { return std::string(AInfo.param.Name); });
