// The QC engine tests' fixture (see qc_fixture.h).
#include "tests/app_qc/qc_fixture.h"

#include "app/Globals.h"
#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/manual/Isolines.h"
#include "app/manual/Recalcs.h"
#include "app/manual/map.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "tests/support/query_fixture.h"
#include "platform/toolkit/TApplication.h"
#include "tools/demogen/TDemoStationDb.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QProgressBar>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace qctest {

demogen::TDemoStation MakeStation(int Cast, int Cruise, double Lon, double Lat, double Date, double Time,
                                  double Depth, const std::vector<TLevel> &Levels)
{
    demogen::TDemoStation S;
    S.IdCast = Cast;
    S.IdCruise = Cruise;
    S.Lon = Lon;
    S.Lat = Lat;
    S.Date = Date;
    S.Time = Time;
    S.Depth = Depth;
    S.Name = "S" + std::to_string(Cast);
    for (const TLevel &L : Levels)
        S.Pts.push_back({L.Pres, L.Temp, L.Psal});
    return S;
}

namespace {

std::string ProgramDirOfBuild()
{
    const char *D = std::getenv("MARLIN_PROGRAM_DIR");
    return D ? std::string(D) + "/" : std::string();
}

void ResetEngine()
{
    Qc = TQcState{};
    VisualModeOnly = false;
    SelectedTests.SetSize(QcTestCount);
    TestResults.SetSize(QcTestCount);
    ParamDisplayList.Add("TEMP");
    ParamDisplayList.Add("PSAL");
    ParamDisplayList.Add("NO3");
    ZoomStack = {MakeWorldRect(-14.0, 30.0, 42.0, 50.0)};
    ZoomIndex = 0;
    RegionScreenRect = TRect{1, 1, 50000, 22000};
}

void MakeGrid()
{
    GridNX = 11;
    GridNY = 11;
    GridCellWidth = 1;
    GridCellHeight = 1;
    GridWorldRect = MakeWorldRect(30, 40, 40, 50);
    DepthGrid.assign(GridNY, TSingleArr(GridNX, float(-FixtureSeaDepth)));
}

void MakeSquares()
{
    BsSquares = {MakeWorldRect(30, 40, 45, 50)};
    BsSquareNames.Clear();
    BsSquareNames.Add("7");
    MsSquares.clear();
    MsSquareNames.Clear();
}

} // namespace

void QcEngineTest::SetUp()
{
    querytest::InitServices();
    // A parameterised test's name holds a "/": one folder per test all the same.
    std::string Name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(Name.begin(), Name.end(), '/', '_');
    Dir = (fs::temp_directory_path() / ("app_qc_" + std::to_string(::getpid()) + "_" + Name)).string() + "/";
    fs::remove_all(Dir);
    WorkDir = Dir + "work/";
    fs::create_directories(WorkDir);
    fs::copy_file(ProgramDirOfBuild() + "SoftDB/worktables.def", WorkDir + "worktables.def");
    // A double quote in the file's name, which the engine's statements carry
    // into the station database's and the work tables' names.
    DbPath = Dir + "black\"sea.mdb";
    Dialogs = std::make_unique<TScriptedDialogs>();
    ResetEngine();
    MakeGrid();
    MakeSquares();
    // Latitude first on every line; the second block is a hole.
    ExtraLinesFile = Dir + "contour.bln";
    std::ofstream(ExtraLinesFile) << "5\n40 30\n50 30\n50 45\n40 45\n40 30\n"
                                  << "5 1\n45 35\n46 35\n46 36\n45 36\n45 35\n";
    SwapCoordColumns = false;
    BuildLocationRegion();
}

void QcEngineTest::TearDown()
{
    Qc = TQcState{};
    if (Conn)
        Conn->SetConnected(false);
    Owner.reset();
    for (auto *T : {&Struct, &QcCru, &CastFlags, &CastOldFlags, &UndoCast, &UndoParam, &TmpCru, &TmpCastFlags,
                    &TmpCastOldFlags, &TmpFlags, &TsStruct, &ChemStruct, &PtsFlags, &PtsOldFlags, &ClimMS, &ClimBS})
        if (*T)
            (*T)->Close();
    for (auto &T : ChemTbls)
        T->Close();
    ParamQ.reset();
    ClimQ.reset();
    QcCruQ.reset();
    Dialogs.reset();
    TLocalDatabase::CloseAll();
    std::error_code Ec;
    fs::remove_all(Dir, Ec);
}

void QcEngineTest::Open(std::vector<demogen::TDemoCruise> Cruises)
{
    demogen::TDemoDatabase Db;
    Db.Countries.push_back({"UA", "UKRAINE"});
    Db.Ships.push_back({"SH1", "VITYAZ", "UA"});
    for (demogen::TDemoCruise &C : Cruises) {
        if (C.Name.empty())
            C.Name = "CRUISE " + std::to_string(C.Id);
        C.ShipCode = "SH1";
        C.CountryCode = "UA";
        C.Sea = "BS";
        if (C.Params.empty())
            C.Params = {"PRESS", "TEMP", "PSAL"};
        Db.Cruises.push_back(C);
    }
    demogen::TDemoStationDb::Write(Db, DbPath);
    Attach();
}

void QcEngineTest::Attach()
{
    Owner = std::make_unique<rtl::TComponent>(nullptr);
    Conn = new TZqConnection(Owner.get());
    Conn->FetchOptions()->SetMode(fmAll);
    Conn->Params().Clear();
    Conn->Params().Add("DriverID=MSAcc");
    Conn->Params().Add("Database=" + DbPath);
    Conn->SetConnected(true);
    auto NewQuery = [&] {
        auto *Q = new TZqQuery(Owner.get());
        Q->SetConnection(Conn);
        return Q;
    };
    CastQ = NewQuery();
    ProfileQ = NewQuery();
    ParamsQ = NewQuery();
    DupQ = NewQuery();
    DupCmd = new TZqCommand(Owner.get());
    DupCmd->SetConnection(Conn);

    MainDbPath = DbPath;
    MainDbDir = Dir;
    LocalDbDir = WorkDir;
    auto NewTable = [&](std::unique_ptr<TTable> &T) {
        T = std::make_unique<TTable>();
        T->SetDatabaseName(WorkDir);
    };
    for (auto *T : {&Struct, &QcCru, &CastFlags, &CastOldFlags, &UndoCast, &UndoParam, &TmpCru, &TmpCastFlags,
                    &TmpCastOldFlags, &TmpFlags, &TsStruct, &ChemStruct, &PtsFlags, &PtsOldFlags, &ClimMS, &ClimBS})
        NewTable(*T);
    TWorkTableSet Set{*Struct, *QcCru, *CastFlags, *CastOldFlags, *UndoCast, *UndoParam};
    CreateWorkTables(DbPath, WorkDir, Set);
    MakeWorkTable(*PtsFlags, *Struct, WorkDir, "-PTS_DataFlags.db", "PTS_DAtaFlags", "ID_Cast;PRES");
    MakeWorkTable(*PtsOldFlags, *Struct, WorkDir, "-PTS_DataOldFlags.db", "PTS_DataOldFlags", "ID_Cast;PRES");
    for (const std::string P : {"NO3", "DOX1"}) {
        ChemTbls.push_back(std::make_unique<TTable>());
        ChemTbls.back()->SetDatabaseName(WorkDir);
        MakeParamFlagTable(*ChemTbls.back(), *Struct, WorkDir, P);
        ChemParamList.Add(P);
        ChemFlagTbls.push_back(ChemTbls.back().get());
    }
    TsStruct->SetTableName("StructTsFlags");
    TsStruct->Open();
    ChemStruct->SetTableName("StructChemFlags");
    ChemStruct->Open();
    // The cruises of the run and their QCCruise records, as the cruise-list
    // synchronisation and the wizard leave them.
    TmpCru->SetTableName("TmpCru");
    TmpCru->Open();
    TmpCru->EmptyTable();
    for (const std::vector<std::string> &C : StationRows("select ID_Cruise, Cruise_Name from Cruise_Titles order by ID_Cruise")) {
        TmpCru->Append();
        TmpCru->FieldByName("ID_Cruise")->SetAsString(C[0]);
        TmpCru->FieldByName("Cruise_Name")->SetAsString(C[1]);
        TmpCru->Post();
        QcCru->Append();
        QcCru->FieldByName("ID_Cruise")->SetAsString(C[0]);
        QcCru->FieldByName("Cruise_Name")->SetAsString(C[1]);
        for (const char *F : {"ChDuplicates", "ChLocation", "ChVelosity", "ChDepth", "ChDataClimat", "ChDataSpike",
                              "Duplicates", "Location", "Velosity", "Depth", "DataClimat", "DataSpike"})
            QcCru->FieldByName(F)->SetAsBoolean(false);
        QcCru->Post();
    }
    ParamQ = std::make_unique<TQuery>();
    ParamQ->SetDatabaseName(WorkDir);
    ParamQ->SQL().Add("Select * From param");
    ParamQ->Open();
    ClimQ = std::make_unique<TQuery>();
    ClimQ->SetDatabaseName(WorkDir);
    QcCruQ = std::make_unique<TQuery>();
    QcCruQ->SetDatabaseName(WorkDir);
    QcCruQ->SQL().Add("Select * from " + LocalQuoteName(DbTablePrefix + "-QCCruise"));
    QcCruQ->Open();

    CruiseTbl = TmpCru.get();
    CastQry = CastQ;
    ProfileDataQry = ProfileQ;
    CastParamsQry = ParamsQ;
    DuplicatesQry = DupQ;
    DuplCommand = DupCmd;
    MainConnection = Conn;
    RangeQry = ParamQ.get();
    ClimQry = ClimQ.get();
    QcCruiseTbl = QcCru.get();
    QcCruiseQry = QcCruQ.get();
    CastFlagTbl = CastFlags.get();
    CastOldFlagTbl = CastOldFlags.get();
    PtsDataFlagTbl = PtsFlags.get();
    PtsDataOldFlagTbl = PtsOldFlags.get();
    TmpCastFlagsTbl = TmpCastFlags.get();
    TmpCastOldFlagsTbl = TmpCastOldFlags.get();
    TmpFlagsTbl = TmpFlags.get();
    UndoParamTbl = UndoParam.get();
    TsFlagsStructTbl = TsStruct.get();
    ChemFlagsStructTbl = ChemStruct.get();
}

void QcEngineTest::StationSql(const std::string &Sql) { querytest::SqliteExec(DbPath, Sql); }

TRows QcEngineTest::StationRows(const std::string &Sql) { return querytest::SqliteRows(DbPath, Sql); }

TRows QcEngineTest::Local(const std::string &Sql)
{
    TQuery Q;
    Q.SetDatabaseName(WorkDir);
    Q.SQL().Add(Sql);
    Q.Open();
    TRows Rows;
    for (Q.First(); !Q.Eof(); Q.Next()) {
        std::vector<std::string> Row;
        for (int i = 0; i < Q.FieldCount(); ++i)
            Row.push_back(Q.Fields()[i]->IsNull() ? "<null>" : Q.Fields()[i]->AsString());
        Rows.push_back(Row);
    }
    return Rows;
}

void QcEngineTest::LoadClim(const std::string &Param, const std::vector<TClimRow> &Rows)
{
    TClimImport Import;
    Import.Grid.push_back({"REGION", "Month", "PRES", Param + "_PAVG", Param + "_PSTD"});
    Import.SubRegions = {{"7"}, {true}};
    Import.Months = {{"6", "12"}, {true, true}};
    for (const TClimRow &R : Rows) {
        for (const char *Month : {"6", "12"})
            Import.Grid.push_back({"7", Month, rtl::FloatToStr(R.Pres), rtl::FloatToStr(R.Mean), rtl::FloatToStr(R.Sd)});
        Import.Pressures.Items.push_back(rtl::FloatToStr(R.Pres));
        Import.Pressures.Checked.push_back(true);
    }
    Import.Params = {{Param + "(climat)"}, {true}};
    Import.HasBs = true;
    ASSERT_EQ(LoadClimatology(Import, *Struct, *ClimMS, *ClimBS, WorkDir), 2 * int(Rows.size()));
}

void QcEngineTest::LoadDefaultClim()
{
    LoadClim("TEMP", {{0, 15, 0.5}, {10, 14.75, 0.5}, {20, 14.5, 0.5}, {50, 13.75, 0.5}, {100, 12.5, 0.5},
                      {200, 10, 0.5}, {500, 8, 0.5}, {1000, 6, 0.5}, {2000, 4, 0.5}});
    LoadClim("PSAL", {{0, 18, 0.25}, {10, 18.25, 0.25}, {20, 18.5, 0.25}, {50, 19, 0.25}, {100, 19.5, 0.25},
                      {200, 20, 0.25}, {500, 21, 0.25}, {1000, 22, 0.25}, {2000, 22.5, 0.25}});
}

void QcEngineTest::SelectTests(std::initializer_list<int> Tests)
{
    SelectedTests.SetSize(QcTestCount);
    SelectedTests.Clear();
    for (int T : Tests)
        SelectedTests.SetBit(T, true);
}

void QcEngineTest::Run(std::initializer_list<int> CruiseIds)
{
    if (CruiseIds.size() > 0) {
        TmpCru->First();
        while (!TmpCru->Eof()) {
            if (std::find(CruiseIds.begin(), CruiseIds.end(), TmpCru->FieldByName("ID_Cruise")->AsInteger()) ==
                CruiseIds.end())
                TmpCru->Delete();
            else
                TmpCru->Next();
        }
    }
    CheckCruises();
}

TRows QcEngineTest::CastFlagRows()
{
    return Local("Select ID_Cruise, ID_Cast, FLon, FLat, FDT, FD from " +
                 LocalQuoteName(DbTablePrefix + "-Cast_TitlesFlags") + " order by ID_Cruise, ID_Cast");
}

TRows QcEngineTest::LevelFlagRows(const std::string &Suffix)
{
    // The flags, not the values the checks judged them by.
    const std::string Flags =
        Suffix == "PTS_DataFlags" ? "FPRES, FTEMP, FPSAL" : "FPRES, F" + Suffix.substr(0, Suffix.size() - 5);
    return Local("Select ID_Cast, PRES, " + Flags + " from " + LocalQuoteName(DbTablePrefix + "-" + Suffix) +
                 " order by ID_Cast, PRES");
}

std::string QcEngineTest::QcCruiseMarks(int CruiseId)
{
    TRows R = Local("Select ChDuplicates, ChLocation, ChVelosity, ChDepth, ChDataClimat, ChDataSpike, Duplicates, "
                    "Location, Velosity, Depth, DataClimat, DataSpike from " +
                    LocalQuoteName(DbTablePrefix + "-QCCruise") + " where ID_Cruise = " + std::to_string(CruiseId));
    std::string Marks;
    if (R.empty())
        return Marks;
    for (size_t i = 0; i < R[0].size(); ++i) {
        const std::string &V = R[0][i];
        Marks += (V == "True" || V == "1" || V == "-1" || V == "true") ? "1" : "0";
        if (i == 5)
            Marks += " ";
    }
    return Marks;
}

void QcEngineTest::SetGridNodes(int Col, int Row, float Value)
{
    DepthGrid[size_t(Row)][size_t(Col)] = Value;
}

} // namespace qctest

namespace qctest {

std::vector<std::string> QcEngineTest::DuplicateCandidates()
{
    std::vector<std::string> Ids;
    for (DupQ->First(); !DupQ->Eof(); DupQ->Next())
        Ids.push_back(DupQ->FieldByName("ID_Cast")->AsString());
    std::sort(Ids.begin(), Ids.end());
    return Ids;
}

bool QcEngineTest::DuplicatesQueried() { return DupQ->Active(); }

void QcEngineTest::RunWithEscDuringFirstStation()
{
    QWidget Window;
    QProgressBar Gauge;
    CruiseGauge = &Gauge;
    InstallEscHook(QcEscPressed); // the program's own hook
    QObject::connect(&Gauge, &QProgressBar::valueChanged, &Window, [&](int Value) {
        if (Value > 0 && Value < 50)
            QCoreApplication::postEvent(&Window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    Run();
    InstallEscHook({});
    CruiseGauge = nullptr;
}

} // namespace qctest
