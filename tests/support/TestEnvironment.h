// The environment every test runs in, set by the test binary itself so that
// a binary started by hand behaves as it does under ctest: the program
// folder's driver through the build's odbcinst.ini, Qt offscreen, and the
// staged program and source folders of the build. A variable already set
// (ctest sets them all) is left as it is.
#pragma once

#include <string>

namespace testsupport {

// Sets every variable of the test environment that is not set yet, and
// takes the C library's locale from the environment as the program does. The
// sanitizers' options cannot be set this late; the test binaries carry them
// as their built-in defaults instead.
void SetTestEnvironment();

// The staged program folder and the source tree, from the environment,
// else as the build knows them; each with a trailing "/".
std::string ProgramDir();
std::string SourceDir();

} // namespace testsupport
