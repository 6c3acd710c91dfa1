// Ini files: case-insensitive names, rewrites that keep the file's lines and
// replace it whole.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/rtl/IniFiles.h"
#include "platform/rtl/TTextFileReader.h"

using namespace rtl;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FDir = std::filesystem::temp_directory_path() /
               ("rtl_ini_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(FDir);
        FName = (FDir / "main.ini").string();
    }
    void TearDown() override { std::filesystem::remove_all(FDir); }
    void Write(const std::string &Text)
    {
        std::ofstream F(FName, std::ios::binary);
        F << Text;
    }
    std::string Read()
    {
        std::ifstream F(FName, std::ios::binary);
        std::stringstream S;
        S << F.rdbuf();
        return S.str();
    }
    std::filesystem::path FDir;
    std::string FName;
};

} // namespace

TEST_F(IniFileTest, NamesMatchWithoutCase)
{
    Write("[Map]\r\nCoastLine=coast.txt\r\nInvY=1\r\n");
    TMemIniFile Ini(FName);
    EXPECT_EQ(Ini.ReadString("MAP", "coastline", "-"), "coast.txt");
    EXPECT_TRUE(Ini.ReadBool("map", "INVY", false));
    EXPECT_EQ(Ini.ReadInteger("Map", "Missing", 7), 7);
    EXPECT_TRUE(Ini.SectionExists("mAp"));
    EXPECT_FALSE(Ini.ValueExists("Map", "InvX"));
}

// The file's lines, and its encoding: UTF-8, or UTF-16 of either byte
// order with its mark.
TEST_F(IniFileTest, RewriteKeepsCommentsOrderSpellingAndEncoding)
{
    const auto Utf16 = [](const std::string &S, bool BigEndian) { // of ASCII text
        std::string U = BigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (const char C : S)
            U.append(BigEndian ? std::string{'\0', C} : std::string{C, '\0'});
        return U;
    };
    const std::string Was = "; settings\r\n[Main]\r\nDBPath=a.mdb\r\n; keep me\r\nOther=1\r\n\r\n[Clim]\r\nFile=x\r\n";
    const std::string Now = "; settings\r\n[Main]\r\nDBPath=b.mdb\r\n; keep me\r\nOther=1\r\nNew=2\r\n\r\n"
                            "[Clim]\r\nFile=x\r\n\r\n[Grd]\r\nGrid=g.grd\r\n";
    for (const int Encoding : {0, 1, 2}) {
        const auto As = [&](const std::string &S) { return Encoding == 0 ? S : Utf16(S, Encoding == 2); };
        Write(As(Was));
        {
            TMemIniFile Ini(FName);
            Ini.WriteString("MAIN", "dbpath", "b.mdb");
            Ini.WriteString("Main", "New", "2");
            Ini.WriteString("Grd", "Grid", "g.grd");
            Ini.UpdateFile();
        }
        EXPECT_EQ(Read(), As(Now)) << Encoding;
    }
    // Text with NUL bytes (UTF-16 without its mark) is none: refused by
    // file and line, and left as it was.
    Write(Utf16(Was, false).substr(2));
    std::string Said;
    try {
        TMemIniFile(FName).UpdateFile();
    } catch (const EInOutError &E) {
        Said = E.what();
    }
    EXPECT_EQ(Said + Read(), FName + ", line 1 holds NUL bytes: the text is not UTF-8 and is not written" +
                                 Utf16(Was, false).substr(2));
    // A line in another 8-bit encoding takes no text it could not keep,
    // except in its own place; the refusal names the line as the file has it.
    Write("[S]\nGone=1\nName=M\xFCller\n");
    TMemIniFile Ini(FName);
    Ini.DeleteKey("S", "Gone");
    Ini.WriteString("S", "Plain", "x");
    EXPECT_EQ(Ini.WriteRefusal("S", "Other", "\xC3\xA4"), "Cannot write file \"" + FName + "\": line 3 is not UTF-8");
    EXPECT_THROW(Ini.WriteString("S", "Other", "\xC3\xA4"), EFCreateError);
    Ini.WriteString("S", "Name", "M\xC3\xBCller");
    Ini.WriteString("S", "Other", "\xC3\xA4");
    Ini.UpdateFile();
    EXPECT_EQ(Read(), "[S]\nName=M\xC3\xBCller\nPlain=x\nOther=\xC3\xA4\n");
}

// The owner, group and rights stay the file's, also where they cannot be
// given to a new file (written whole through the sidecar) or the folder
// takes none (as an unprivileged user, in a child process); a link at the
// new file's name is not written through.
TEST_F(IniFileTest, AReplacementKeepsTheFileAsItsOwnerHadIt)
{
    ASSERT_EQ(::geteuid(), 0u) << "the owners need root";
    const uid_t Nobody = 65534;
    const auto Update = [&](const std::string &Value) {
        TMemIniFile Ini(FName);
        Ini.WriteString("S", "K", Value);
        return Ini.UpdateFile();
    };
    const auto Owner = [&] {
        struct stat St {};
        ::stat(FName.c_str(), &St);
        return std::to_string(St.st_uid) + ":" + std::to_string(St.st_gid) + " " + std::to_string(St.st_mode & 07777);
    };
    Write("[S]\nK=0\n");
    ::chown(FName.c_str(), Nobody, Nobody);
    ::chmod(FName.c_str(), 0640);
    std::ofstream((FDir / "victim").string()) << "kept";
    std::filesystem::create_symlink(FDir / "victim", FName + ".~" + std::to_string(::getpid()));
    EXPECT_EQ(Update("1"), "");
    EXPECT_EQ(Owner() + Read(), "65534:65534 416[S]\nK=1\n");
    EXPECT_EQ(std::filesystem::file_size(FDir / "victim"), 4u);

    const auto AsNobody = [&](const std::string &Value, const std::string &Why) {
        const pid_t Child = ::fork();
        if (Child == 0) {
            bool Said = false;
            try {
                Said = ::setgid(Nobody) == 0 && ::setuid(Nobody) == 0 &&
                       Update(Value) == (Why.empty() ? Why : "File \"" + FName + "\" was written in place: " + Why);
            } catch (...) {
            }
            ::_exit(Said ? 0 : 1);
        }
        int Status = -1;
        ::waitpid(Child, &Status, 0);
        return Status == 0;
    };
    // Root's file, writable by all, in a folder of the user; then the
    // user's file in a folder the user cannot write.
    ::chown(FName.c_str(), 0, 0);
    ::chmod(FName.c_str(), 0666);
    ::chown(FDir.c_str(), Nobody, Nobody);
    EXPECT_TRUE(AsNobody("2", "")); // through the sidecar, whole
    EXPECT_EQ(Owner() + Read(), "0:0 438[S]\nK=2\n");
    ::chown(FName.c_str(), Nobody, Nobody);
    ::chown(FDir.c_str(), 0, 0);
    ::chmod(FDir.c_str(), 0555);
    EXPECT_TRUE(AsNobody("3", "its folder takes no new file"));
    EXPECT_EQ(Read(), "[S]\nK=3\n");
    ::chmod(FDir.c_str(), 0755);
}

// A kill after any step of a replacement, also on a file system that refuses a rename over a file (some shares),
// leaves the next reader the old settings or the new ones, whole; the next replacement takes the killed one's
// place, and none leaves a file beside the settings.
int KillAtStep = 0, StepsTaken = 0;

TEST_F(IniFileTest, AKillAtAnyStepLeavesTheOldSettingsOrTheNewOnes)
{
    const std::string Old = "[S]\nK=a value longer than the new one\n", New = "[S]\nK=1\n";
    const auto Update = [&](const char *AValue) {
        TMemIniFile Ini(FName);
        Ini.WriteString("S", "K", AValue);
        return Ini.UpdateFile();
    };
    for (const int Refused : {0, EPERM}) {
        for (KillAtStep = 1;; ++KillAtStep) {
            Write(Old);
            RefusedRenameErrno = Refused;
            const pid_t Child = ::fork();
            if (Child == 0) {
                ReplaceFileStepHook = [] {
                    if (++StepsTaken == KillAtStep) ::_exit(9);
                };
                ::_exit(Update("1").empty() ? 0 : 1);
            }
            int Status = -1;
            ::waitpid(Child, &Status, 0);
            std::string Seen, Next;
            ReadTextFile(FName, Seen);
            EXPECT_TRUE(Seen == Old || Seen == New) << Refused << " killed at step " << KillAtStep << ": " << Seen;
            // Edited by hand an hour after the kill: what a sidecar left
            // then holds is older than the edit.
            const std::filesystem::path Sidecar = FName + ".~new";
            if (std::filesystem::exists(Sidecar)) {
                std::filesystem::last_write_time(Sidecar, std::filesystem::last_write_time(Sidecar) - std::chrono::hours(1));
                std::filesystem::remove(FName); // and removed before
                EXPECT_FALSE(ReadTextFile(FName, Next)) << Refused << " killed at step " << KillAtStep;
            }
            Write("[S]\nK=hand\n");
            ReadTextFile(FName, Next);
            EXPECT_EQ(Next, "[S]\nK=hand\n") << Refused << " killed at step " << KillAtStep;
            EXPECT_EQ(Update("2"), "");
            ReadTextFile(FName, Next);
            EXPECT_EQ(Next, "[S]\nK=2\n");
            RefusedRenameErrno = 0;
            RemoveStrayReplacements(FDir.string()); // as the next start does
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(FDir), {}), 1);
            if (WEXITSTATUS(Status) != 9) {
                EXPECT_EQ(Status, 0);
                EXPECT_EQ(Seen, New);
                break;
            }
        }
    }
}

TEST_F(IniFileTest, IniFileWritesThroughAndSeesOthers)
{
    TIniFile A(FName);
    A.WriteInteger("S", "N", 5);
    TIniFile B(FName);
    EXPECT_EQ(B.ReadInteger("s", "n", 0), 5);
    B.WriteString("S", "Q", "\"quoted\"");
    EXPECT_EQ(A.ReadString("S", "Q", ""), "quoted");
    TMemIniFile M(FName);
    EXPECT_EQ(M.ReadString("S", "Q", ""), "\"quoted\"");
}

TEST_F(IniFileTest, SectionListingAndErasing)
{
    Write("[A]\nx=1\ny = 2 \n;c=3\n[B]\nz=3\n");
    TMemIniFile Ini(FName);
    TStringList L;
    Ini.ReadSection("a", L);
    EXPECT_EQ(L.CommaText(), "x,y");
    Ini.ReadSectionValues("A", L);
    EXPECT_EQ(L.Values("y"), "2");
    Ini.ReadSections(L);
    EXPECT_EQ(L.CommaText(), "A,B");
    Ini.EraseSection("a");
    Ini.DeleteKey("B", "Z");
    Ini.UpdateFile();
    EXPECT_EQ(Read(), "[B]\n");
}

TEST_F(IniFileTest, FloatsUseThePoint)
{
    TMemIniFile Ini(FName);
    Ini.WriteFloat("T", "F", 0.25);
    EXPECT_DOUBLE_EQ(Ini.ReadFloat("T", "F", 0), 0.25);
    Ini.WriteString("T", "Bad", "x");
    EXPECT_DOUBLE_EQ(Ini.ReadFloat("T", "Bad", 1.5), 1.5);
}

TEST_F(IniFileTest, AKillDuringARewriteLeavesTheOldFileOrTheNewOneWhole)
{
    const std::string Values[] = {std::string(200000, 'a'), std::string(300000, 'b')};
    Write("[S]\nK=" + Values[0] + "\n");
    for (int Round = 0; Round < 20; ++Round) {
        const pid_t Child = ::fork();
        ASSERT_GE(Child, 0);
        if (Child == 0) {
            try {
                for (int I = 1;; I = 1 - I) { // until killed
                    TMemIniFile Ini(FName);
                    Ini.WriteString("S", "K", Values[I]);
                    Ini.UpdateFile();
                }
            } catch (...) {
                // Never back into the test runner: the parent finds the file as it was left.
            }
            ::_exit(1);
        }
        ::usleep(useconds_t(1000 + 700 * Round));
        ::kill(Child, SIGKILL);
        ::waitpid(Child, nullptr, 0);
        const std::string Now = Read();
        EXPECT_TRUE(Now == "[S]\nK=" + Values[0] + "\n" || Now == "[S]\nK=" + Values[1] + "\n") << Now.size();
    }
}
