// The wizard's units on their own: a private station database and work
// folder, on the program tests' shared support.
#include "tests/app_wizard/wizard_fixture.h"

#include "app/Globals.h"
#include "app/WorkTables.h"
#include "dataaccess/comp/qxZqCompClient.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"
#include "tests/app_support/AppTestSupport.h"

#include <unistd.h>

namespace wizardtest {

std::vector<std::string> WizardDb::Station(const std::string &ASql)
{
    std::vector<std::string> Lines;
    for (const apptest::TRow &Row : apptest::SqliteRows(DbPath, ASql)) {
        std::string Line;
        for (size_t C = 0; C < Row.size(); ++C)
            Line += (C ? "|" : "") + Row[C];
        Lines.push_back(Line);
    }
    return Lines;
}

void WizardDb::SetUp()
{
    Dir = std::filesystem::temp_directory_path() /
          ("app_wizard_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir / "SoftDB");
    const std::string Program = apptest::ProgramFolder();
    // A double quote in the name, which the cruise choice's statements carry.
    DbPath = (Dir / "station\"s.mdb").string();
    std::filesystem::copy_file(Program + "demo/marlin_demo.mdb", DbPath);
    std::filesystem::copy_file(Program + "SoftDB/worktables.def", Dir / "SoftDB" / "worktables.def");
    WorkDir = (Dir / "SoftDB").string() + "/";
    ProgramDir = Program;
    ImgsDir = ProgramDir + "Imgs/";
    CfgDir = ProgramDir + "Cfg/";
    LocalDbDir = WorkDir;
    MainDbPath = DbPath;
    MainDbSqlName = MainDbSqlNameOf(DbPath);
    Owner = std::make_unique<rtl::TComponent>(nullptr);
    // As on the main window: the driver link makes the Access driver known.
    new TZqPhysMSAccessDriverLink(Owner.get()); // owned by Owner
    Conn = querytest::OpenStationDb(Owner.get(), DbPath);
}

void WizardDb::TearDown()
{
    if (Conn)
        Conn->SetConnected(false);
    Owner.reset();
    TLocalDatabase::CloseAll();
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
}

} // namespace wizardtest
