// The program tests' private installations, direct database reads and
// window pictures.
#include "tests/app_support/AppTestSupport.h"

#include "app/uQCMain.h"
#include "platform/toolkit/TApplication.h"
#include "tests/support/TestEnvironment.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>


#include <atomic>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace apptest {

namespace {

std::atomic<int> GInstallations{0};

} // namespace

std::string ProgramFolder() { return testsupport::ProgramDir(); }

TTestInstallation::TTestInstallation()
{
    const fs::path Dir = fs::temp_directory_path() /
                         ("marlinqc_" + std::to_string(::getpid()) + "_" + std::to_string(GInstallations++));
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    const fs::path Source = ProgramFolder();
    for (const char *Folder : {"Cfg", "Maps", "Imgs", "doc", "QCCont", "SoftDB", "BDE", "temp"}) {
        if (fs::exists(Source / Folder))
            fs::copy(Source / Folder, Dir / Folder, fs::copy_options::recursive);
        else
            fs::create_directories(Dir / Folder);
    }
    // Only the installation data: work tables left in the build's own
    // folder by a run of the program are not part of it.
    for (const char *Stale : {"worktables.sqlite3", "worktables.sqlite3-wal", "worktables.sqlite3-shm"})
        fs::remove(Dir / "SoftDB" / Stale);
    fs::create_directories(Dir / "demo");
    fs::copy_file(Source / "demo" / "marlin_demo.mdb", Dir / "demo" / "marlin_demo.mdb");
    FDir = Dir.string() + "/";
    SetDatabaseSetting("demo/marlin_demo.mdb");
    SetProgramFileName(FDir + "marlinqc");
}

TTestInstallation::~TTestInstallation()
{
    SetProgramFileName("");
    std::error_code Ec;
    fs::remove_all(FDir, Ec);
}

void TTestInstallation::SetDatabaseSetting(const std::string &AValue) const
{
    // Written as the installation writes it, not through the program's
    // own ini routines that the tests check.
    const std::string Ini = FDir + "Cfg/main.ini";
    std::ifstream In(Ini);
    std::string Line, Out;
    bool InDatabase = false;
    while (std::getline(In, Line)) {
        if (!Line.empty() && Line[0] == '[') {
            InDatabase = Line == "[Database]";
            if (InDatabase)
                continue;
        }
        if (InDatabase)
            continue;
        Out += Line + "\n";
    }
    In.close();
    if (!AValue.empty())
        Out = "[Database]\nDatabaseName=" + AValue + "\n\n" + Out;
    std::ofstream(Ini, std::ios::trunc) << Out;
}

std::string TTestInstallation::DatabaseSetting() const
{
    std::ifstream In(FDir + "Cfg/main.ini");
    std::string Line;
    bool InDatabase = false;
    while (std::getline(In, Line)) {
        if (!Line.empty() && Line[0] == '[')
            InDatabase = Line == "[Database]";
        else if (InDatabase && Line.rfind("DatabaseName=", 0) == 0)
            return Line.substr(13);
    }
    return std::string();
}

std::string TTestInstallation::CopyDatabase(const std::string &ARelativePath) const
{
    const fs::path Target = fs::path(FDir) / ARelativePath;
    fs::create_directories(Target.parent_path());
    fs::copy_file(DbPath(), Target, fs::copy_options::overwrite_existing);
    return Target.string();
}

std::string SaveScreenshot(QWidget &AWidget, const std::string &AName)
{
    if (!AWidget.isVisible())
        AWidget.show();
    ProcessMessages();
    const fs::path Dir = APP_SUPPORT_ARTEFACT_DIR;
    fs::create_directories(Dir);
    const std::string Path = (Dir / (AName + ".png")).string();
    AWidget.grab().toImage().save(QString::fromStdString(Path), "PNG");
    return Path;
}

} // namespace apptest
