// Editor benchmarks: opening the manual QC editor after a run and loading
// its first cruise, switching to another cruise, and a full repaint of the
// map with every layer (coast, extra lines, stations with their track, the
// possible duplicates, margins, axes, QC squares); on the profile side a
// station switch, a plot paint with the other profiles of the busiest QC
// square and month, and "Check full Cruise" on the cruise with the most
// stations. On a private copy of the
// demo database, and on the large generated database when it has been made
// (cmake --build <build> --target marlin_large_db), or on the database named
// as the only argument. Each figure is the median of five timed runs after a
// warm-up, in milliseconds.
#include "app/UQC.h"
#include "bench/common/OffscreenProgram.h"
#include "app/uQCMain.h"
#include "app/WorkTables.h"
#include "app/manual/map.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TPaintBox.h"
#include "platform/toolkit/TTimer.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/dataset/TDataSource.h"
#include "tests/app_editor/editor_env.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QCheckBox>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <malloc.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using editortest::TEditorEnvironment;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Runs = 5;

double Ms(const std::function<void()> &F)
{
    const auto t0 = Clock::now();
    F();
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The first two cruises of the database and the stations of the second
// one's neighbours, as candidate duplicates for the map.
std::vector<int> FirstCruises(TEditorEnvironment &Env)
{
    TZqQuery Q(nullptr);
    Q.SetConnection(Env.Conn);
    Q.SQL()->Add("select top 2 ID_Cruise from Cruise_Titles order by ID_Cruise");
    Q.Open();
    std::vector<int> Ids;
    for (Q.First(); !Q.Eof(); Q.Next())
        Ids.push_back(Q.Fields()[0]->AsInteger());
    return Ids;
}

void Measure(const std::string &Name, const std::string &Program, const std::string &Db)
{
    QTemporaryDir Root;
    TEditorEnvironment Env;
    Env.Setup(Program, Db, Root.path().toStdString());
    const std::vector<int> Cruises = FirstCruises(Env);
    if (Cruises.size() < 2) {
        std::printf("database %s: fewer than two cruises\n", Name.c_str());
        Env.Teardown();
        return;
    }
    for (int Id : Cruises)
        Env.PrepareRunFlags(Id);

    std::vector<double> Open;
    for (int i = 0; i <= Runs; ++i) {
        const double t = Ms([&] { Env.OpenEditor(Cruises); });
        if (i > 0)
            Open.push_back(t);
        Env.CloseEditor();
    }
    std::printf("%s_open_first_cruise: %.1f ms\n", Name.c_str(), Median(Open));

    TForm2 &F = Env.OpenEditor(Cruises);
    std::vector<double> Switch;
    for (int i = 0; i <= Runs; ++i) {
        const int Id = Cruises[size_t((i + 1) % 2)];
        const double t = Ms([&] { Env.PickCruise(Id); });
        if (i > 0)
            Switch.push_back(t);
    }
    std::printf("%s_switch_cruise: %.1f ms\n", Name.c_str(), Median(Switch));

    // Every layer: the other cruise's stations stand in for the duplicates.
    Env.PickCruise(Cruises[0]);
    Env.PrepareDuplicates("select ID_Cast from Cast_Titles where ID_Cruise=" + std::to_string(Cruises[1]));
    F.SpeedButton2->setEnabled(true);
    F.SpeedButton2->click();
    F.QuadrSelBtn->setChecked(true);
    F.AxesBtn->setChecked(true);
    F.QCContBtn->setChecked(true);
    std::vector<double> Paint;
    for (int i = 0; i <= Runs; ++i) {
        const double t = Ms([&] { F.RedrawMap(); });
        if (i > 0)
            Paint.push_back(t);
    }
    std::printf("%s_map_repaint_all_layers: %.1f ms (%zu stations, %zu duplicates)\n", Name.c_str(), Median(Paint),
                CruiseStationPos.size(), DuplStationPos.size());
    Env.CloseEditor();
    Env.Teardown();
}

// The profile side: switching between two stations of the busiest Black
// Sea cruise (load the profile, fill the grid, paint), painting the plot
// with the other profiles of the station's square and month, and "Check
// full Cruise" on the cruise with the most stations, against the
// installation's climatologies.
int CruiseWithMostStations(TEditorEnvironment &Env, const std::string &Where)
{
    TZqQuery Q(nullptr);
    Q.SetConnection(Env.Conn);
    Q.SQL()->Add("select ID_Cruise, count(*) from Cast_Titles " + Where +
                 " group by ID_Cruise order by count(*) desc, ID_Cruise");
    Q.Open();
    return Q.Eof() ? -1 : Q.Fields()[0]->AsInteger();
}

// The QC square and month with the most stations (the other profiles a
// plot draws there are the most of any station), and one station of it.
struct TBusiestSquare {
    int IdCast = -1;
    int IdCruise = -1;
    int Stations = 0;
    std::string Square;
    int Month = 0;
};

TBusiestSquare BusiestSquare(TEditorEnvironment &Env)
{
    TZqQuery Q(nullptr);
    Q.SetConnection(Env.Conn);
    Q.SQL()->Add("select ID_Cast, ID_Cruise, Lon, Lat, Month(Date_Cast) from Cast_Titles order by ID_Cast");
    Q.Open();
    std::map<std::pair<std::string, int>, TBusiestSquare> Squares;
    const std::string Sea = SeaCode;
    for (Q.First(); !Q.Eof(); Q.Next()) {
        const std::string Name = FindSquare(Q.Fields()[2]->AsFloat(), Q.Fields()[3]->AsFloat());
        if (SeaCode.empty() || Name.empty())
            continue;
        TBusiestSquare &B = Squares[{SeaCode + " " + Name, Q.Fields()[4]->AsInteger()}];
        if (B.Stations++ == 0) {
            B.IdCast = Q.Fields()[0]->AsInteger();
            B.IdCruise = Q.Fields()[1]->AsInteger();
            B.Square = SeaCode + " " + Name;
            B.Month = Q.Fields()[4]->AsInteger();
        }
    }
    SeaCode = Sea;
    TBusiestSquare Best;
    for (const auto &[Key, B] : Squares)
        if (B.Stations > Best.Stations)
            Best = B;
    return Best;
}

void LoadInstalledClimatologies(TEditorEnvironment &Env, const fs::path &Program)
{
    TTable ClimMS(nullptr), ClimBS(nullptr);
    for (const char *File : {"BlackSea_TS.txt", "Mediterranean_TS.txt"}) {
        TClimImport Import;
        std::string Error;
        if (!ReadClimatologyFile((Program / "Clim" / File).string(), Import, Error)) {
            std::printf("climatology %s: %s\n", File, Error.c_str());
            continue;
        }
        LoadClimatology(Import, *Env.StructTbl, ClimMS, ClimBS, Env.WorkDir);
    }
}

// Memory over a long session: the heap in use (malloc's own count, which a
// freed block lowers at once) after each block of station switches through
// the shown cruise, the event loop run between switches as the program runs
// it. The growth per switch of the first and of the last blocks: a session
// that keeps something per station grows in both, one that levels off only
// in the first.
void MeasureLongSession(const std::string &Name, TForm2 &F)
{
    constexpr int Blocks = 8, PerBlock = 500;
    std::vector<int> Ids;
    for (F.tmpStatTbl->First(); !F.tmpStatTbl->Eof(); F.tmpStatTbl->Next())
        Ids.push_back(F.tmpStatTbl->FieldByName("ID_Cast")->AsInteger());
    if (Ids.size() < 2)
        return;
    const auto Heap = [] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        malloc_trim(0);
        return double(mallinfo2().uordblks) / 1024.0;
    };
    std::vector<double> Kb{Heap()};
    size_t Next = 0;
    for (int b = 0; b < Blocks; ++b) {
        for (int i = 0; i < PerBlock; ++i) {
            F.tmpStatTbl->Locate("ID_Cast", rtl::Variant(Ids[Next++ % Ids.size()]));
            QCoreApplication::processEvents();
        }
        Kb.push_back(Heap());
    }
    std::printf("%s_heap_over_%d_station_switches: %.0f KB at start, then", Name.c_str(), Blocks * PerBlock, Kb[0]);
    for (size_t b = 1; b < Kb.size(); ++b)
        std::printf(" %.0f", Kb[b]);
    std::printf(" KB\n");
    std::printf("%s_heap_growth_per_switch: %.2f KB in the first %d switches, %.3f KB in the last %d\n", Name.c_str(),
                (Kb[2] - Kb[0]) / (2 * PerBlock), 2 * PerBlock, (Kb[Blocks] - Kb[Blocks - 4]) / (4 * PerBlock),
                4 * PerBlock);
}

void MeasureProfile(const std::string &Name, const std::string &Program, const std::string &Db)
{
    QTemporaryDir Root;
    TEditorEnvironment Env;
    Env.Setup(Program, Db, Root.path().toStdString());
    LoadInstalledClimatologies(Env, Program);
    {
        TQuery Q(nullptr);
        Q.SetDatabaseName(Env.WorkDir);
        Q.SQL().Add("Update param set QC = True where (Param = 'TEMP') or (Param = 'PSAL')");
        Q.ExecSQL();
        Env.ParamsTbl->Close();
        Env.ParamsTbl->Open();
    }
    // The run's level-flag table, which the checks merge into.
    TTable PtsFlags(nullptr);
    MakeWorkTable(PtsFlags, *Env.StructTbl, Env.WorkDir, "-PTS_DataFlags.db", "StructTsFlags", "ID_Cast;PRES");
    PtsDataFlagTbl = &PtsFlags;
    const int BlackSea = CruiseWithMostStations(Env, "where (Lon > 27.5) and (Lat > 40.9) and (Lon < 42)");
    const int Largest = CruiseWithMostStations(Env, "");
    const TBusiestSquare Busy = BusiestSquare(Env);
    if (BlackSea < 0 || Largest < 0) {
        PtsDataFlagTbl = nullptr;
        Env.Teardown();
        return;
    }
    std::vector<int> Cruises;
    for (int Id : {BlackSea, Largest, Busy.IdCruise})
        if (Id >= 0 && std::find(Cruises.begin(), Cruises.end(), Id) == Cruises.end()) {
            Cruises.push_back(Id);
            Env.PrepareRunFlags(Id);
        }
    TForm2 &F = Env.OpenEditor(Cruises);
    F.CheckBox1->setChecked(false);
    F.CheckBox1Click();
    Env.PickCruise(BlackSea);
    std::vector<int> Ids;
    for (F.tmpStatTbl->First(); !F.tmpStatTbl->Eof() && Ids.size() < 2; F.tmpStatTbl->Next())
        Ids.push_back(F.tmpStatTbl->FieldByName("ID_Cast")->AsInteger());
    if (Ids.size() == 2) {
        std::vector<double> Switch;
        for (int i = 0; i <= Runs; ++i) {
            const int Id = Ids[size_t((i + 1) % 2)];
            const double t = Ms([&] { F.tmpStatTbl->Locate("ID_Cast", rtl::Variant(Id)); });
            if (i > 0)
                Switch.push_back(t);
        }
        std::printf("%s_station_switch: %.1f ms (%d levels)\n", Name.c_str(), Median(Switch),
                    F.DataSource2->DataSet() ? F.DataSource2->DataSet()->RecordCount() : 0);
        std::printf("ratio %s_station_switch_vs_100ms_goal: %.2f\n", Name.c_str(), 100.0 / Median(Switch));
        MeasureLongSession(Name, F);
    }

    if (Busy.IdCast >= 0) {
        Env.PickCruise(Busy.IdCruise);
        F.tmpStatTbl->Locate("ID_Cast", rtl::Variant(Busy.IdCast));
        F.SpeedButton19->setEnabled(true);
        F.SpeedButton19->setChecked(true);
        F.SpeedButton19Click();
        size_t Levels = 0;
        for (const TRealPointArr &P : F.OtherProfiles)
            Levels += P.size();
        std::vector<double> Paint;
        for (int i = 0; i <= Runs; ++i) {
            const double t = Ms([&] { F.PaintBox2->Repaint(); });
            if (i > 0)
                Paint.push_back(t);
        }
        std::printf("%s_plot_paint_other_profiles: %.1f ms (square %s, month %d: %zu profiles, %zu levels)\n",
                    Name.c_str(), Median(Paint), Busy.Square.c_str(), Busy.Month, F.OtherProfiles.size(), Levels);
        // A station switch while the other profiles are shown selects them
        // again for the new station's square and month.
        int Other = -1;
        for (F.tmpStatTbl->First(); !F.tmpStatTbl->Eof() && Other < 0; F.tmpStatTbl->Next())
            if (F.tmpStatTbl->FieldByName("ID_Cast")->AsInteger() != Busy.IdCast)
                Other = F.tmpStatTbl->FieldByName("ID_Cast")->AsInteger();
        if (Other >= 0) {
            std::vector<double> Switch;
            for (int i = 0; i <= Runs; ++i) {
                const int Id = i % 2 ? Other : Busy.IdCast;
                const double t = Ms([&] { F.tmpStatTbl->Locate("ID_Cast", rtl::Variant(Id)); });
                if (i > 0)
                    Switch.push_back(t);
            }
            std::printf("%s_station_switch_other_profiles_shown: %.1f ms\n", Name.c_str(), Median(Switch));
        }
        F.SpeedButton19->setChecked(false);
        F.SpeedButton19Click();
    }

    Env.PickCruise(Largest);
    std::vector<double> Check;
    for (int i = 0; i < Runs; ++i)
        Check.push_back(Ms([&] { F.BitBtn3->click(); }));
    std::printf("%s_check_full_cruise: %.1f ms (%d stations)\n", Name.c_str(), Median(Check),
                F.tmpStatTbl->RecordCount());
    Env.CloseEditor();
    PtsDataFlagTbl = nullptr;
    Env.Teardown();
}

} // namespace

int main(int argc, char **argv)
{
    TOffscreenProgram Offscreen(argc, argv, EDITOR_BENCH_PROGRAM_DIR);

    const fs::path Program = EDITOR_BENCH_PROGRAM_DIR;
    const fs::path Demo = Program / "demo" / "marlin_demo.mdb";
    const fs::path Large = Program / "bench" / "marlin_large.mdb";
    QTemporaryDir Copies;
    const std::string Copy = Copies.path().toStdString() + "/station.mdb";
    if (argc > 2) {
        std::fprintf(stderr, "usage: editor_bench [station.mdb]\n");
        return 2;
    }
    try {
        // A database named on the command line is measured alone, in place.
        if (argc == 2) {
            const std::string Db = fs::absolute(argv[1]).string();
            std::printf("database db: %s\n", Db.c_str());
            Measure("db", Program.string(), Db);
            MeasureProfile("db", Program.string(), Db);
            return 0;
        }
        fs::copy_file(Demo, Copy);
        std::printf("database demo: %s (a private copy)\n", Demo.string().c_str());
        Measure("demo", Program.string(), Copy);
        MeasureProfile("demo", Program.string(), Copy);
        if (fs::exists(Large)) {
            std::printf("database large: %s\n", Large.string().c_str());
            Measure("large", Program.string(), Large.string());
            MeasureProfile("large", Program.string(), Large.string());
        } else {
            std::printf("database large: not built (cmake --build <build> --target marlin_large_db)\n");
        }
    } catch (const std::exception &E) {
        std::fprintf(stderr, "editor_bench: %s\n", E.what());
        return 1;
    }
    if (!Offscreen.Quiet.Messages.empty())
        std::printf("messages shown: %zu, first: %s\n", Offscreen.Quiet.Messages.size(), Offscreen.Quiet.Messages[0].Text.c_str());
    return 0;
}
