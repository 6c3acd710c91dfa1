// Scratch files of the fuzz targets.
#include "tests/fuzz/FuzzSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fuzz {

namespace {

struct TScratch {
    std::string Folder;
    TScratch()
    {
        const char *Tmp = std::getenv("TMPDIR");
        std::string Pattern = std::string(Tmp && *Tmp ? Tmp : "/tmp") + "/marlin_fuzz_XXXXXX";
        if (!::mkdtemp(Pattern.data()))
            std::abort(); // no scratch folder, no run: nothing to report against
        Folder = Pattern + "/";
    }
    ~TScratch()
    {
        std::error_code Ec;
        std::filesystem::remove_all(Folder, Ec);
    }
};

} // namespace

const std::string &ScratchFolder()
{
    static TScratch Scratch;
    return Scratch.Folder;
}

std::string WriteScratchFile(const std::string &AName, std::string_view ABytes)
{
    const std::string Path = ScratchFolder() + AName;
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out.write(ABytes.data(), std::streamsize(ABytes.size()));
    return Path;
}

void SplitParts(std::string_view AInput, std::string *AParts, size_t ACount)
{
    for (size_t I = 0; I < ACount; ++I) {
        const size_t Cut = I + 1 < ACount ? AInput.find('\0') : std::string_view::npos;
        AParts[I] = std::string(AInput.substr(0, Cut));
        AInput = Cut == std::string_view::npos ? std::string_view() : AInput.substr(Cut + 1);
    }
}

} // namespace fuzz
