// The test environment's variables, with the values cmake knows compiled in
// from the same list that ctest hands to every test.
#include "tests/support/TestEnvironment.h"

#include "tests/support/TestEnvironmentValues.h"

#include <clocale>
#include <cstdlib>
#include <cstring>

namespace testsupport {

namespace {

const char *ValueOf(const char *AName)
{
    for (const TEnvironmentValue &V : EnvironmentValues)
        if (std::strcmp(V.Name, AName) == 0)
            return V.Value;
    return "";
}

std::string FolderOf(const char *AName)
{
    const char *Env = std::getenv(AName);
    std::string Dir = Env && *Env ? Env : ValueOf(AName);
    if (!Dir.empty() && Dir.back() != '/')
        Dir += '/';
    return Dir;
}

} // namespace

void SetTestEnvironment()
{
    // Overwrite 0: what the caller (ctest, a person) set wins.
    for (const TEnvironmentValue &V : EnvironmentValues)
        ::setenv(V.Name, V.Value, 0);
    // The C library's locale from the environment, as the program's toolkit takes it at
    // its start: a run under LC_ALL=de_DE.UTF-8 meets what an operator's decimal comma meets.
    std::setlocale(LC_ALL, "");
}

std::string ProgramDir() { return FolderOf("MARLIN_PROGRAM_DIR"); }

std::string SourceDir() { return FolderOf("MARLIN_SOURCE_DIR"); }

} // namespace testsupport

// The sanitizer runtimes read these before main; an option given in the
// environment still overrides the same option here.
extern "C" {
__attribute__((visibility("default"), used)) const char *__asan_default_options()
{
    return testsupport::SanitizerOptions[0];
}
__attribute__((visibility("default"), used)) const char *__lsan_default_options()
{
    return testsupport::SanitizerOptions[1];
}
__attribute__((visibility("default"), used)) const char *__ubsan_default_options()
{
    return testsupport::SanitizerOptions[2];
}
}
