// check_agreement: the automatic run and the editor's "Check full Cruise"
// on every cruise of a station database, their station flags and level
// flags compared row by row. The run judges all cruises; the flag tables
// are emptied; the editor, opened on the same cruises, picks each and runs
// "Check full Cruise" on it. Every flag on which the two differ is printed
// with its station and level; the program fails when one does.
#include "app/UQC.h"
#include "bench/common/InstalledThresholds.h"
#include "bench/common/OffscreenProgram.h"
#include "app/WorkTables.h"
#include "app/uQCMain.h"
#include "app/manual/Isolines.h"
#include "app/manual/map.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TTimer.h"
#include "tests/app_editor/editor_env.h"

#include <QPushButton>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Flags by key: "station <ID_Cast> <field>" or "level <ID_Cast> <PRES> <field>".
using TFlags = std::map<std::string, std::string>;

void Read(TFlags &AInto, const std::string &AFolder, const std::string &ASql, const std::string &AKind, int AKeys)
{
    TQuery Q(nullptr);
    Q.SetDatabaseName(AFolder);
    Q.SQL().Add(ASql);
    Q.Open();
    for (Q.First(); !Q.Eof(); Q.Next()) {
        std::string Key = AKind;
        for (int K = 0; K < AKeys; ++K)
            Key += " " + Q.Fields()[K]->AsString();
        for (int F = AKeys; F < Q.FieldCount(); ++F)
            AInto[Key + " " + Q.Fields()[F]->FieldName()] = Q.Fields()[F]->AsString();
    }
}

TFlags Flags(const std::string &AFolder)
{
    TFlags R;
    Read(R, AFolder, "Select ID_Cast, FLon, FLat, FDT, FD From \"" + DbTablePrefix + "-Cast_TitlesFlags\"", "station", 1);
    Read(R, AFolder, "Select ID_Cast, PRES, FPRES, FTEMP, FPSAL From \"" + DbTablePrefix + "-PTS_DataFlags\"", "level",
         2);
    return R;
}

double Seconds(std::chrono::steady_clock::time_point A)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - A).count();
}

int Compare(const std::string &AProgram, const std::string &ADb)
{
    QTemporaryDir Root;
    const std::string Work = Root.path().toStdString() + "/SoftDB/";
    fs::create_directories(Work);
    // The installation's work folder, with its climatology loaded.
    fs::copy_file(AProgram + "SoftDB/worktables.sqlite3", Work + "worktables.sqlite3");
    editortest::TEditorEnvironment Env;
    Env.Setup(AProgram, ADb, Root.path().toStdString());
    LoadGrid(AProgram + "Maps/out.grd", DepthGrid);
    LoadInstalledThresholds(AProgram);
    for (int T = tstLocation; T < QcTestCount; ++T)
        SelectedTests.SetBit(T, true);
    ParamDisplayList.Clear();
    ParamDisplayList.Add("TEMP");
    ParamDisplayList.Add("PSAL");
    TQuery Tick(nullptr);
    Tick.SetDatabaseName(Work);
    Tick.SQL().Add("Update param set QC = (Param = 'TEMP') or (Param = 'PSAL')");
    Tick.ExecSQL();
    Env.ParamsTbl->Refresh();
    std::unique_ptr<TTable> PtsFlags = std::make_unique<TTable>(nullptr);
    MakeWorkTable(*PtsFlags, *Env.StructTbl, Work, "-PTS_DataFlags.db", "PTS_DAtaFlags", "ID_Cast;PRES");
    PtsDataFlagTbl = PtsFlags.get();

    TZqQuery Cruises(nullptr), Casts(nullptr), Params(nullptr), Levels(nullptr);
    for (TZqQuery *Q : {&Cruises, &Casts, &Params, &Levels})
        Q->SetConnection(Env.Conn);
    Cruises.SQL()->Add("Select ID_Cruise, Cruise_Name from Cruise_Titles order by ID_Cruise");
    Cruises.Open();
    std::vector<int> Ids;
    for (Cruises.First(); !Cruises.Eof(); Cruises.Next()) {
        Ids.push_back(Cruises.Fields()[0]->AsInteger());
        Env.TmpCruTbl->Append();
        Env.TmpCruTbl->FieldByName("ID_Cruise")->SetAsInteger(Ids.back());
        Env.TmpCruTbl->FieldByName("Cruise_Name")->SetAsString(Cruises.Fields()[1]->AsString());
        Env.TmpCruTbl->Post();
    }

    auto Start = std::chrono::steady_clock::now();
    TQuery Clim(nullptr);
    Clim.SetDatabaseName(Work);
    ClimQry = &Clim;
    CastQry = &Casts;
    CastParamsQry = &Params;
    ProfileDataQry = &Levels;
    CheckCruises();
    CastQry = nullptr;
    CastParamsQry = nullptr;
    ProfileDataQry = nullptr;
    const double RunTime = Seconds(Start);
    const TFlags Run = Flags(Work);
    Env.CastFlagtbl->EmptyTable();
    PtsFlags->EmptyTable();

    TForm2 &F = Env.OpenEditor(Ids);
    Start = std::chrono::steady_clock::now();
    for (int Id : Ids) {
        Env.PickCruise(Id);
        F.BitBtn3->click();
    }
    const double EditorTime = Seconds(Start);
    const TFlags Editor = Flags(Work);
    Env.CloseEditor();

    // Differences, and the counts per cruise of each station's.
    std::map<std::string, int> CruiseOf;
    TZqQuery Stations(nullptr);
    Stations.SetConnection(Env.Conn);
    Stations.SQL()->Add("Select ID_Cast, ID_Cruise from Cast_Titles");
    Stations.Open();
    for (Stations.First(); !Stations.Eof(); Stations.Next())
        CruiseOf[Stations.Fields()[0]->AsString()] = Stations.Fields()[1]->AsInteger();
    std::map<int, std::pair<int, int>> PerCruise; // flags compared, flags differing
    TFlags All = Run;
    All.insert(Editor.begin(), Editor.end());
    int Differing = 0;
    for (const auto &[Key, Flag] : All) {
        const auto R = Run.find(Key), E = Editor.find(Key);
        const std::string A = R == Run.end() ? "<none>" : R->second, B = E == Editor.end() ? "<none>" : E->second;
        const std::string Cast = Key.substr(Key.find(' ') + 1, Key.find(' ', Key.find(' ') + 1) - Key.find(' ') - 1);
        auto &Count = PerCruise[CruiseOf[Cast]];
        ++Count.first;
        if (A != B) {
            ++Count.second;
            ++Differing;
            std::printf("differs: %s run %s editor %s\n", Key.c_str(), A.c_str(), B.c_str());
        }
    }
    for (const auto &[Cruise, Count] : PerCruise)
        std::printf("cruise %d: %d flags, %d differ\n", Cruise, Count.first, Count.second);
    std::printf("run_all_cruises: %.2f s\neditor_check_full_cruise_all_cruises: %.2f s\nflags_differing: %d\n", RunTime,
                EditorTime, Differing);
    PtsDataFlagTbl = nullptr;
    ClimQry = nullptr;
    PtsFlags.reset();
    Env.Teardown();
    return Differing == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    TOffscreenProgram Offscreen(argc, argv, CHECK_AGREEMENT_PROGRAM_DIR);
    const std::string Program = std::string(CHECK_AGREEMENT_PROGRAM_DIR) + "/";
    QTemporaryDir Copies;
    std::string Db = Copies.path().toStdString() + "/station.mdb";
    if (argc == 2)
        fs::copy_file(fs::absolute(argv[1]), Db);
    else
        fs::copy_file(Program + "demo/marlin_demo.mdb", Db);
    try {
        const int Result = Compare(Program, Db);
        for (const TMessageRequest &M : Offscreen.Quiet.Messages)
            std::printf("message: %s\n", M.Text.c_str());
        return Result;
    } catch (const std::exception &E) {
        std::fprintf(stderr, "check_agreement: %s\n", E.what());
        return 2;
    }
}
