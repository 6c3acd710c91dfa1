// What the fuzz targets share: the input as text, a scratch folder for the
// readers that take a file name, and the entry point libFuzzer calls. Each
// target is one function over the raw input; the libFuzzer tree turns it
// into LLVMFuzzerTestOneInput, the sanitizer tree replays the stored inputs
// through it as ordinary test cases.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

inline std::string_view Text(const uint8_t *AData, size_t ASize)
{
    return {reinterpret_cast<const char *>(AData), ASize};
}

// A folder of this process, made on first use, removed at exit; with a
// trailing "/".
const std::string &ScratchFolder();

// Writes the bytes to the named file of the scratch folder; its path.
std::string WriteScratchFile(const std::string &AName, std::string_view ABytes);

// Cuts the input into ACount parts at its first ACount - 1 NUL bytes; the
// last part takes the rest, missing parts are empty. Lets one input carry
// several files or a pattern and its subject.
void SplitParts(std::string_view AInput, std::string *AParts, size_t ACount);

} // namespace fuzz

#ifdef MARLIN_LIBFUZZER
#define MARLIN_FUZZ_ENTRY(Target)                                                                                 \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t *AData, size_t ASize) { return Target(AData, ASize); }
#else
#define MARLIN_FUZZ_ENTRY(Target)
#endif
