// The program's start-up, from making the main window to the window shown
// at its start page, on a private installation (the work tables already
// made by a first start, as on every start but the first):
//  - on the demo station database the build makes;
//  - on the large generated one (target marlin_large_db) when it exists or
//    when --large or MARLIN_BENCH_LARGE=1 asks for it.
// The cruise-list synchronisation and the parameter probe dominate. The
// baseline is what any start must read of the station database: connect,
// read Cruise_Titles whole and the distinct parameters, through the same
// client components. One warm-up, then the median of five runs.
#include "app/Globals.h"
#include "app/uQCMain.h"
#include "bench/common/StationDatabases.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDialogs.h"
#include "tests/app_support/AppTestSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Die(const std::string &AWhat)
{
    std::fprintf(stderr, "startup_bench: %s\n", AWhat.c_str());
    std::exit(1);
}

double MedianMs(const std::function<void()> &ARun, int ARuns)
{
    ARun(); // warm-up
    std::vector<double> Times;
    for (int I = 0; I < ARuns; ++I) {
        const auto T0 = std::chrono::steady_clock::now();
        ARun();
        Times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count());
    }
    std::sort(Times.begin(), Times.end());
    return Times[Times.size() / 2];
}

// One start of the program; checks that it reached its start page with
// every cruise of the database in the work table.
void StartOnce(TScriptedDialogs &ADialogs, size_t ACruises)
{
    TForm1 Form;
    if (!Form.FormCreate())
        Die("the start ended early");
    Form.show();
    ProcessMessages();
    if (!ADialogs.Messages.empty())
        Die("the start said: " + ADialogs.Messages.front().Text);
    if (!Form.DatabaseConnected() || Form.QcCruTbl->RecordCount() != int(ACruises))
        Die("the cruise list does not match the database");
}

// What every start reads of the station database, and nothing more.
void BaselineOnce(const std::string &ADbPath)
{
    rtl::TComponent Owner(nullptr);
    TZqConnection Conn(&Owner);
    Conn.FetchOptions()->SetMode(fmAll);
    Conn.Params().Add("DriverID=MSAcc");
    Conn.Params().Add("Database=" + ADbPath);
    Conn.SetConnected(true);
    for (const char *Sql : {"Select * from Cruise_Titles", "Select Distinct ParamAbr, Unit, ParName From \"Parameters\""}) {
        TZqQuery Q(&Owner);
        Q.SetConnection(&Conn);
        Q.SQL()->Add(Sql);
        Q.Open();
        Q.Close();
    }
    Conn.SetConnected(false);
}

void Measure(const std::string &AName, const fs::path &ASource, int ARuns)
{
    apptest::TTestInstallation Install;
    // The demo database is the installation's own copy; the large one is
    // linked into it (a start only reads the station database): named
    // where it lies, in the build's program folder, it would be a file of
    // another program folder, which the start asks about.
    std::string Db = Install.DbPath();
    if (ASource.filename() != "marlin_demo.mdb") {
        Db = Install.Dir() + "bench/" + ASource.filename().string();
        fs::create_directories(Install.Dir() + "bench");
        fs::create_symlink(ASource, Db);
    }
    Install.SetDatabaseSetting(Db);
    const size_t Cruises = apptest::SqliteRows(Db, "select ID_Cruise from Cruise_Titles").size();
    TScriptedDialogs Dialogs;
    {
        // The first start makes the work tables; it is not what is measured.
        TForm1 First;
        if (!First.FormCreate())
            Die("the first start ended early");
    }
    const double Start = MedianMs([&] { StartOnce(Dialogs, Cruises); }, ARuns);
    std::printf("startup_%s: %.1f ms\n", AName.c_str(), Start);
    std::fflush(stdout);
    const double Reads = MedianMs([&] { BaselineOnce(Db); }, ARuns);
    std::printf("station_reads_%s: %.1f ms\n", AName.c_str(), Reads);
    std::printf("ratio %s_reads_over_startup: %.3f\n", AName.c_str(), Reads / Start);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    UseProgramFolderDriver(STARTUP_BENCH_PROGRAM_DIR "/");
    setenv("MARLIN_PROGRAM_DIR", STARTUP_BENCH_PROGRAM_DIR, 0);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication App(argc, argv);
    SetScreenSize(1280, 1024);
    RegisterLibraryServices();
    const TStationDatabases Databases = FindStationDatabases(STARTUP_BENCH_PROGRAM_DIR, argc, argv);
    if (!Databases.Error.empty())
        Die(Databases.Error);
    try {
        Measure("demo", Databases.Demo, 5);
        if (!Databases.Large.empty())
            Measure("large", Databases.Large, 5);
        else
            std::printf("large database not built (target marlin_large_db): skipped\n");
    } catch (const std::exception &E) {
        Die(E.what());
    }
    return 0;
}
