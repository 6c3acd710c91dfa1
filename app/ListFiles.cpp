// ListFiles: a list too long for a message, kept whole in a file.
#include "app/ListFiles.h"

#include "app/UQC.h"
#include "platform/rtl/SysUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <system_error>

TListFile KeepListFile(const std::string &AName, const std::string &AText, bool ANeeded, const std::string &AWhose)
{
    uint64_t Folder = 14695981039346656037u; // FNV-1a
    for (const unsigned char C : LocalDbDir)
        Folder = (Folder ^ C) * 1099511628211u;
    const std::string Stem = AName.size() > 4 && AName.compare(AName.size() - 4, 4, ".txt") == 0
                                 ? AName.substr(0, AName.size() - 4)
                                 : AName;
    std::error_code Ec;
    const std::filesystem::path Temp =
        std::filesystem::temp_directory_path(Ec) /
        (Stem + "-" + std::to_string(::geteuid()) + "-" + rtl::IntToHex(Folder & 0xFFFFFFFFu, 8) + ".txt");
    const std::string InWork = LocalDbDir + AName, InTemp = Ec ? std::string() : Temp.string();
    TListFile Out;
    // The reason a file could not be written ("" when it was). Opened
    // before it is emptied: what stands under the name is seen first.
    const auto Write = [&](const std::string &APath) -> std::string {
        const bool Shared = APath == InTemp;
        const int Fd =
            ::open(APath.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, Shared ? 0600 : 0666);
        if (Fd < 0)
            return errno == ELOOP ? std::string("a link stands there") : std::generic_category().message(errno);
        struct stat Is;
        std::string Why = ::fstat(Fd, &Is) != 0               ? std::generic_category().message(errno)
                          : !S_ISREG(Is.st_mode)               ? "it is not a file"
                          : Shared && Is.st_uid != ::geteuid() ? "it is another user's"
                          : ::ftruncate(Fd, 0) != 0            ? std::generic_category().message(errno)
                                                               : "";
        for (size_t At = 0; Why.empty() && At < AText.size();) {
            const ssize_t N = ::write(Fd, AText.data() + At, AText.size() - At);
            if (N <= 0)
                Why = "it could not be written whole";
            At += N > 0 ? size_t(N) : 0;
        }
        return ::close(Fd) != 0 && Why.empty() ? std::string("it could not be written whole") : Why;
    };
    // Removes a list file; anything else of that name (a folder, a link, in
    // the temporary folder another user's file) is not ours to remove.
    const auto Remove = [&](const std::string &APath) {
        struct stat Is;
        if (::lstat(APath.c_str(), &Is) != 0 || !S_ISREG(Is.st_mode) || (APath == InTemp && Is.st_uid != ::geteuid()))
            return std::string();
        return ::unlink(APath.c_str()) == 0 || errno == ENOENT ? std::string() : std::generic_category().message(errno);
    };
    if (ANeeded) {
        const std::string Why = Write(InWork);
        if (Why.empty()) {
            Out.File = InWork;
        } else {
            // An earlier list there is not this one.
            const bool Stale = !Remove(InWork).empty();
            Out.Trouble = "the whole list could not be written into the file " + AName + " of the work folder " +
                          LocalDbDir + " (" + Why + ")" + (Stale ? ", and the file there is an earlier " + AWhose + "'s" : "");
            const std::string TempWhy = InTemp.empty() ? Ec.message() : Write(InTemp);
            if (TempWhy.empty())
                Out.File = InTemp;
            else
                Out.Trouble += InTemp.empty() ? ", nor into the temporary folder (" + TempWhy + ")"
                                              : ", nor into the file " + InTemp + " of the temporary folder (" +
                                                    TempWhy + ")";
        }
    } else if (const std::string Why = Remove(InWork); !Why.empty()) {
        Out.Trouble = "The file " + InWork + " of an earlier " + AWhose + " could not be removed (" + Why +
                      "): its list is not this " + AWhose + "'s";
    }
    if (!InTemp.empty() && Out.File != InTemp)
        Remove(InTemp);
    return Out;
}
