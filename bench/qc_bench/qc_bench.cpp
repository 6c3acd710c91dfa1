// qc_bench: the QC engine's full check of every cruise of a station
// database, as the main window runs it: all six tests, the installation's
// thresholds (updowns.txt), "Full cruise" duplicates, the installation's
// grid, squares, contour and staged climatology, TEMP and PSAL checked.
//
//   qc_bench DB WORKDIR   one database; the work tables stay in WORKDIR
//   qc_bench              the demo database (a private copy) and, when the
//                         target marlin_large_db has made it, the large one
// Before either, as options:
//   --each-station        the duplicates searched station by station
//                         ("Each station") instead of over the cruise
//   --duplicates-only     the duplicate search alone, no other test; the
//                         search's own time is printed in both modes
//                         (the check less the same run without tests),
//                         each database run three times
//   --candidates FILE     every search's candidates, cruise by cruise, are
//                         written to FILE ("cruise N: ID_Cast ..."), so that
//                         two builds' searches can be compared
//   --hand-flags N        N flags typed by hand are kept before the check,
//                         spread evenly over the levels of the database; by
//                         default the records are left as they are
//
// Figures per database: stations/s, level checks/s (levels times checked
// parameters), main-database statements per station, local writes per
// level (rows the check inserted, updated or deleted in the work database,
// per level), and ratio read_over_qc: the time to read the same stations and
// levels through the client components (the cruise's stations, each
// station's levels, every field read) over the time of the check. The demo
// is run after one warm-up three times (median); the large database once.
//
// The same check of the demo is then run through the main window, as an
// operator runs it (all cruises, the same tests, thresholds and parameters,
// "CRUISE INFO" ticked): window_check_to_report is the time from CHECK to
// the report's appearance, and ratio engine_over_window the engine alone
// over that time (what the window adds: the location region, the run's
// set-up and the report).
#include "app/Globals.h"
#include "app/HandFlags.h"
#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/uQCMain.h"
#include "app/manual/Isolines.h"
#include "app/manual/map.h"
#include "bench/common/InstalledThresholds.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "dataaccess/dapt/qxZqDAptManager.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "dataaccess/phys/qxZqPhysManager.h"
#include "dataaccess/stan/qxZqStanInit.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/IniFiles.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TForm.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class TQuietCursor : public TZqObject, public virtual IZqGUIxWaitCursor {
public:
    void StartWait() override {}
    void StopWait() override {}
};

// Messages are counted and the first few printed; nothing waits.
class TConsoleDialogs : public IDialogSeam {
public:
    int Message(const TMessageRequest &Request) override
    {
        if (++Count <= 5)
            std::fprintf(stderr, "qc_bench: message: %s\n", Request.Text.c_str());
        return mrOk;
    }
    int RunModal(TForm &) override { return mrCancel; }
    int Count = 0;
};

[[noreturn]] void Die(const std::string &AWhat)
{
    std::fprintf(stderr, "qc_bench: %s\n", AWhat.c_str());
    std::exit(1);
}

double Seconds(std::chrono::steady_clock::time_point A)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - A).count();
}

std::string BenchProgramDir() { return std::string(QC_BENCH_PROGRAM_DIR) + "/"; }

void LoadInstallation()
{
    const std::string P = BenchProgramDir();
    LoadGrid(P + "Maps/out.grd", DepthGrid);
    LoadSquares(P + "Cfg/QuadrHMS.txt", BsSquareNames, BsSquares);
    LoadSquares(P + "Cfg/QuadrMedClim.txt", MsSquareNames, MsSquares);
    ExtraLinesFile = P + "QCCont/ALL_.bln";
    BuildLocationRegion();
    LoadInstalledThresholds(P);
    RelativeJumpPct = 10;
    OneSideChange = false;
    DuplicatesEachStation = false;
    VisualModeOnly = false;
    SelectedTests.SetSize(QcTestCount);
    for (int T = 0; T < QcTestCount; ++T)
        SelectedTests.SetBit(T, true);
    ParamDisplayList.Clear();
    ParamDisplayList.Add("TEMP");
    ParamDisplayList.Add("PSAL");
}

// A field read as the checks read it: text as text, the rest as numbers.
double ReadField(const TField &F)
{
    const rtl::TFieldType T = F.DataType();
    if (T == rtl::ftString || T == rtl::ftWideString || T == rtl::ftMemo)
        return double(F.AsString().size());
    return F.AsFloat();
}

// Counts of what the engine sends and writes, taken from the components'
// own events.
struct TCounts {
    long long MainStatements = 0;
    long long LocalWrites = 0;
    long long DuplicatePrepares = 0; // of the scratch-table command ("Each station")
};

// The engine pointed at its own components for one station database, as
// the main window points it at its own.
class TEngineHarness {
public:
    TEngineHarness(const std::string &ADb, const std::string &AWorkDir) : FDb(ADb), FWork(AWorkDir)
    {
        Conn = std::make_unique<TZqConnection>(nullptr);
        Conn->FetchOptions()->SetMode(fmAll);
        Conn->Params().Clear();
        Conn->Params().Add("DriverID=MSAcc");
        Conn->Params().Add("Database=" + ADb);
        Conn->SetConnected(true);
        for (auto *Q : {&CastQ, &ProfileQ, &ParamsQ, &DupQ}) {
            *Q = std::make_unique<TZqQuery>(nullptr);
            (*Q)->SetConnection(Conn.get());
            (*Q)->BeforeOpen = [this](TDataSet *) { ++Counts.MainStatements; };
        }
        CastQ->BeforePost = [this](TDataSet *) { ++Counts.MainStatements; };
        if (CandidatesFile)
            DupQ->AfterOpen = [this](TDataSet *) { WriteCandidates(); };
        DupCmd = std::make_unique<TZqCommand>(nullptr);
        DupCmd->SetConnection(Conn.get());
        DupCmd->BeforePrepare = [this](rtl::TObject *) { ++Counts.DuplicatePrepares; };

        MainDbPath = ADb;
        MainDbDir = fs::path(ADb).parent_path().string() + "/";
        LocalDbDir = AWorkDir;
        for (auto *T : {&Struct, &QcCru, &CastFlags, &CastOldFlags, &UndoCast, &UndoParam, &TmpCru, &TmpCastFlags,
                        &TmpCastOldFlags, &TmpFlags, &TsStruct, &ChemStruct, &PtsFlags, &PtsOldFlags}) {
            *T = std::make_unique<TTable>();
            (*T)->SetDatabaseName(AWorkDir);
        }
        TWorkTableSet Set{*Struct, *QcCru, *CastFlags, *CastOldFlags, *UndoCast, *UndoParam};
        CreateWorkTables(ADb, AWorkDir, Set);
        MakeWorkTable(*PtsFlags, *Struct, AWorkDir, "-PTS_DataFlags.db", "PTS_DAtaFlags", "ID_Cast;PRES");
        MakeWorkTable(*PtsOldFlags, *Struct, AWorkDir, "-PTS_DataOldFlags.db", "PTS_DataOldFlags", "ID_Cast;PRES");
        TsStruct->SetTableName("StructTsFlags");
        TsStruct->Open();
        ChemStruct->SetTableName("StructChemFlags");
        ChemStruct->Open();

        // Every cruise, with its QCCruise record, as the synchronisation and
        // the wizard's "all cruises" leave them.
        TZqQuery Cruises(nullptr);
        Cruises.SetConnection(Conn.get());
        Cruises.SQL()->Add("Select ID_Cruise, Cruise_Name from Cruise_Titles order by ID_Cruise");
        Cruises.Open();
        TmpCru->SetTableName("TmpCru");
        TmpCru->Open();
        TmpCru->EmptyTable();
        QcCru->EmptyTable();
        for (Cruises.First(); !Cruises.Eof(); Cruises.Next()) {
            for (TTable *T : {TmpCru.get(), QcCru.get()}) {
                T->Append();
                T->FieldByName("ID_Cruise")->SetAsInteger(Cruises.FieldByName("ID_Cruise")->AsInteger());
                T->FieldByName("Cruise_Name")->SetAsString(Cruises.FieldByName("Cruise_Name")->AsString());
                T->Post();
            }
            CruiseIds.push_back(Cruises.FieldByName("ID_Cruise")->AsInteger());
        }
        ParamQ = std::make_unique<TQuery>();
        ParamQ->SetDatabaseName(AWorkDir);
        ParamQ->SQL().Add("Select * From param");
        ParamQ->Open();
        ClimQ = std::make_unique<TQuery>();
        ClimQ->SetDatabaseName(AWorkDir);

        // Nothing of a main window run before (its controls and tables are
        // gone with it).
        Qc.Links = TQcLinks{};
        ChemParamList.Clear();
        ChemFlagTbls.clear();
        VisualMode = false;
        CruiseTbl = TmpCru.get();
        CastQry = CastQ.get();
        ProfileDataQry = ProfileQ.get();
        CastParamsQry = ParamsQ.get();
        DuplicatesQry = DupQ.get();
        DuplCommand = DupCmd.get();
        MainConnection = Conn.get();
        RangeQry = ParamQ.get();
        ClimQry = ClimQ.get();
        QcCruiseTbl = QcCru.get();
        QcCruiseQry = nullptr;
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

    ~TEngineHarness()
    {
        Qc.Links = TQcLinks{};
        for (auto *Q : {&CastQ, &ProfileQ, &ParamsQ, &DupQ})
            (*Q)->Close();
        Conn->SetConnected(false);
    }

    // The full check; seconds.
    double Check()
    {
        Counts = {};
        TLocalDatabase &Work = TLocalDatabase::ForFolder(FWork);
        const int64_t ChangesBefore = Work.TotalChanges();
        const auto Start = std::chrono::steady_clock::now();
        CheckCruises();
        const double T = Seconds(Start);
        Counts.LocalWrites = Work.TotalChanges() - ChangesBefore;
        if (!QcRunFinished)
            Die("the check of " + FDb + " did not finish");
        return T;
    }

    // The same stations and levels read through the client components:
    // the stations of each cruise in the check's order, each station's
    // levels, every field of both; seconds.
    double Read(long long &AStations, long long &ALevels)
    {
        AStations = ALevels = 0;
        TZqQuery Casts(nullptr), Levels(nullptr);
        Casts.SetConnection(Conn.get());
        Levels.SetConnection(Conn.get());
        double Sum = 0;
        const auto Start = std::chrono::steady_clock::now();
        for (int Id : CruiseIds) {
            Casts.Close();
            Casts.SQL()->Clear();
            Casts.SQL()->Add("Select * from Cast_Titles where ID_Cruise = " + std::to_string(Id) +
                             " order by Date_Cast, Time_Cast");
            Casts.Open();
            for (Casts.First(); !Casts.Eof(); Casts.Next()) {
                ++AStations;
                for (int F = 0; F < Casts.FieldCount(); ++F)
                    Sum += ReadField(*Casts.Fields()[F]);
                Levels.Close();
                Levels.SQL()->Clear();
                Levels.SQL()->Add("Select ID_Cast, PRES, FPRES, TEMP, FTEMP, PSAL, FPSAL From PTS_Data Where ID_Cast = " +
                                  Casts.FieldByName("ID_Cast")->AsString() + " order by PRES");
                Levels.Open();
                for (Levels.First(); !Levels.Eof(); Levels.Next()) {
                    ++ALevels;
                    for (int F = 0; F < Levels.FieldCount(); ++F)
                        Sum += ReadField(*Levels.Fields()[F]);
                }
            }
        }
        const double T = Seconds(Start);
        if (Sum == 0)
            Die("nothing read from " + FDb);
        return T;
    }

    // The records of flags typed by hand hold ARows rows, spread evenly over
    // the levels of the database, as the editor keeps them (HandFlags).
    void PlantHandFlags(long long ARows)
    {
        TZqQuery Levels(nullptr);
        Levels.SetConnection(Conn.get());
        Levels.SQL()->Add("Select ID_Cast, PRES from PTS_Data order by ID_Cast, PRES");
        Levels.Open();
        const long long Step = std::max(1LL, Levels.RecordCount() / std::max(1LL, ARows));
        TLocalDatabase &Work = TLocalDatabase::ForFolder(FWork);
        HandFlagsOf(0, "PTS_Data"); // the table, made
        const std::string Table = Work.ResolveTable(DbTablePrefix + "-HandFlags");
        Work.Exec("DELETE FROM " + Table);
        Work.Exec("BEGIN");
        long long Planted = 0, N = 0;
        for (Levels.First(); !Levels.Eof() && Planted < ARows; Levels.Next(), ++N) {
            if (N % Step != 0)
                continue;
            TLocalDatabase::TLease Q(Work, "INSERT INTO " + Table +
                                               " (ID_Cast, LevelTable, Pres, FldName, Flag) VALUES (?, 'PTS_Data', ?, ?, 2)");
            Q->BindInt(1, Levels.Fields()[0]->AsInteger());
            Q->BindDouble(2, RoundPres(Levels.Fields()[1]->AsFloat()));
            Q->BindText(3, Planted % 2 == 0 ? "FTEMP" : "FPSAL");
            Q->Execute();
            ++Planted;
        }
        Work.Exec("COMMIT");
        HandFlagsReadAgain();
        std::printf("hand_flags: %lld rows\n", Planted);
    }

    TCounts Counts;
    std::vector<int> CruiseIds;

    // --candidates: the file that takes the candidates each cruise's
    // search found, by cruise, in the order searched.
    static inline std::FILE *CandidatesFile = nullptr;

private:
    // After an open of the search's result (the cruise's window, or the
    // candidates gathered in dupl): "cruise N: ID_Cast ..." in ID_Cast order.
    void WriteCandidates()
    {
        const std::string Sql = DupQ->SQL()->Count() > 0 ? (*DupQ->SQL())[0] : std::string();
        const std::string Mark = "(ID_Cruise <> ";
        const bool Result = Sql.rfind("Select Distinct * from dupl", 0) == 0 || Sql.rfind("Select * from Cast_Titles where", 0) == 0;
        const size_t At = Sql.find(Mark);
        if (!Result || At == std::string::npos)
            return;
        std::vector<long long> Ids;
        for (DupQ->First(); !DupQ->Eof(); DupQ->Next())
            Ids.push_back(DupQ->FieldByName("ID_Cast")->AsInteger());
        DupQ->First();
        std::sort(Ids.begin(), Ids.end());
        std::fprintf(CandidatesFile, "cruise %s:", Sql.substr(At + Mark.size(), Sql.find(')', At) - At - Mark.size()).c_str());
        for (long long Id : Ids)
            std::fprintf(CandidatesFile, " %lld", Id);
        std::fprintf(CandidatesFile, "\n");
    }

    std::string FDb, FWork;
    std::unique_ptr<TZqConnection> Conn;
    std::unique_ptr<TZqQuery> CastQ, ProfileQ, ParamsQ, DupQ;
    std::unique_ptr<TZqCommand> DupCmd;
    std::unique_ptr<TTable> Struct, QcCru, CastFlags, CastOldFlags, UndoCast, UndoParam, TmpCru, TmpCastFlags,
        TmpCastOldFlags, TmpFlags, TsStruct, ChemStruct, PtsFlags, PtsOldFlags;
    std::unique_ptr<TQuery> ParamQ, ClimQ;
};

void PrepareWorkDir(const std::string &AWorkDir)
{
    fs::create_directories(AWorkDir);
    for (const char *F : {"worktables.def", "worktables.sqlite3"})
        if (!fs::exists(AWorkDir + F))
            fs::copy_file(BenchProgramDir() + "SoftDB/" + F, AWorkDir + F);
}

long long HandFlagRows = -1; // --hand-flags; -1: the records as they are
bool DuplicatesOnlyAsked = false; // --duplicates-only

// Returns the median time of the full check, seconds.
double Measure(const std::string &AName, const std::string &ADb, const std::string &AWorkDir, int ARuns)
{
    PrepareWorkDir(AWorkDir);
    TEngineHarness H(ADb, AWorkDir);
    if (HandFlagRows >= 0)
        H.PlantHandFlags(HandFlagRows);
    std::vector<double> Checks, Reads, Bare, Other;
    long long Stations = 0, Levels = 0;
    TCounts Counts;
    // The duplicate search alone: the same run with no test selected walks
    // the cruises and stations, and the search's time is what the check
    // takes beyond it, in the mode asked and, beside it, in the other.
    const auto CheckWith = [&H](bool AAnyTest, bool AEachStation) {
        const bool Each = DuplicatesEachStation;
        const bool Dup = SelectedTests.Bits(tstDuplicates);
        DuplicatesEachStation = AEachStation;
        SelectedTests.SetBit(tstDuplicates, AAnyTest && Dup);
        const double T = H.Check();
        DuplicatesEachStation = Each;
        SelectedTests.SetBit(tstDuplicates, Dup);
        return T;
    };
    if (ARuns > 1) // warm-up
        H.Check();
    for (int R = 0; R < ARuns; ++R) {
        // Baseline and candidate alternate.
        Reads.push_back(H.Read(Stations, Levels));
        Checks.push_back(H.Check());
        Counts = H.Counts;
        if (DuplicatesOnlyAsked) {
            Bare.push_back(CheckWith(false, DuplicatesEachStation));
            Other.push_back(CheckWith(true, !DuplicatesEachStation));
        }
    }
    const auto Median = [](std::vector<double> V) {
        std::sort(V.begin(), V.end());
        return V[V.size() / 2];
    };
    const double Check = Median(Checks), Read = Median(Reads);
    const long long LevelChecks = Levels * ParamDisplayList.Count();
    std::printf("%s_stations: %lld stations\n", AName.c_str(), Stations);
    std::printf("%s_levels: %lld levels\n", AName.c_str(), Levels);
    std::printf("%s_full_check: %.2f s\n", AName.c_str(), Check);
    std::printf("%s_stations_per_s: %.0f stations/s\n", AName.c_str(), Stations / Check);
    std::printf("%s_level_checks_per_s: %.0f level checks/s\n", AName.c_str(), LevelChecks / Check);
    std::printf("%s_main_db_statements_per_station: %.2f statements\n", AName.c_str(),
                double(Counts.MainStatements) / double(std::max(1LL, Stations)));
    std::printf("%s_local_writes_per_level: %.2f writes\n", AName.c_str(),
                double(Counts.LocalWrites) / double(std::max(1LL, Levels)));
    if (DuplicatesEachStation)
        std::printf("%s_duplicate_command_prepares: %lld prepares\n", AName.c_str(), Counts.DuplicatePrepares);
    if (DuplicatesOnlyAsked) {
        const double Walk = Median(Bare);
        const double Each = (DuplicatesEachStation ? Check : Median(Other)) - Walk;
        const double Full = (DuplicatesEachStation ? Median(Other) : Check) - Walk;
        std::printf("%s_walk_without_tests: %.2f s\n", AName.c_str(), Walk);
        std::printf("%s_search_each_station: %.2f s\n", AName.c_str(), Each);
        std::printf("%s_search_full_cruise: %.2f s\n", AName.c_str(), Full);
        std::printf("ratio %s_full_cruise_over_each_station_search: %.3f\n", AName.c_str(), Full / Each);
    }
    std::printf("%s_read: %.2f s\n", AName.c_str(), Read);
    std::printf("ratio %s_read_over_qc: %.3f\n", AName.c_str(), Read / Check);
    std::fflush(stdout);
    return Check;
}

// The main window's run: the report's appearance stops the clock; every
// other modal form is cancelled and messages are counted, but for the run's
// account of the levels its climatology does not judge (on the demo, the
// Mediterranean stations deeper than its climatic profiles).
class TWindowDialogs : public IDialogSeam {
public:
    int Message(const TMessageRequest &Request) override
    {
        if (Request.Text.find(" does not reach ") != std::string::npos)
            return mrOk;
        if (++Count <= 5)
            std::fprintf(stderr, "qc_bench: window message: %s\n", Request.Text.c_str());
        return Request.Buttons & mbYes ? mrYes : mrOk;
    }
    int RunModal(TForm &AForm) override
    {
        if (AForm.objectName() == QStringLiteral("fmReport"))
            ReportShown = std::chrono::steady_clock::now();
        return mrCancel;
    }
    int Count = 0;
    std::chrono::steady_clock::time_point ReportShown;
};

// A private installation in AInstall: the staged program folder's data and
// a copy of the demo database, which its settings name.
void MakeInstallation(const std::string &AInstall, const std::string &ADemo)
{
    for (const char *Folder : {"Cfg", "Maps", "Imgs", "doc", "QCCont", "SoftDB", "BDE", "temp"}) {
        if (fs::exists(BenchProgramDir() + Folder))
            fs::copy(BenchProgramDir() + Folder, AInstall + Folder, fs::copy_options::recursive);
        else
            fs::create_directories(AInstall + Folder);
    }
    fs::create_directories(AInstall + "demo");
    fs::copy_file(ADemo, AInstall + "demo/marlin_demo.mdb");
    rtl::TIniFile Ini(AInstall + "Cfg/main.ini");
    Ini.WriteString("Database", "DatabaseName", AInstall + "demo/marlin_demo.mdb");
}

// The demo checked through the main window, ARuns times (the engine's runs
// before it are the warm-up); the median time from CHECK to the report,
// seconds.
double MeasureWindow(const std::string &AInstall, int ARuns)
{
    TWindowDialogs Seam;
    IDialogSeam *Previous = SetDialogSeam(&Seam);
    SetProgramFileName(AInstall + "marlinqc");
    RegisterLibraryServices();
    std::vector<double> Times;
    {
        TForm1 Form;
        if (!Form.FormCreate())
            Die("the main window did not start");
        Form.show();
        ProcessMessages();
        for (int R = 0; R < ARuns; ++R) {
            Form.RadioGroup1->SetItemIndex(0);
            Form.BitBtn1->click();           // step 1: all six tests
            Form.CheckBox5->setChecked(false); // duplicates too, as the engine alone runs them
            Form.BitBtn1->click();           // step 2: TEMP and PSAL, as the engine alone checks
            for (int I = 0; I < Form.CheckListBox2->Count() && I < ParamList.Count(); ++I)
                Form.CheckListBox2->SetChecked(I, ParamList[I] == "TEMP" || ParamList[I] == "PSAL");
            Form.BitBtn1->click();           // step 3
            Form.RadioButton2->click();      // back to the first step
            Form.CheckBox3->setChecked(true); // CRUISE INFO
            Seam.ReportShown = {};
            const auto Start = std::chrono::steady_clock::now();
            Form.BitBtn1->click();           // CHECK
            if (Seam.ReportShown == std::chrono::steady_clock::time_point{})
                Die("the window's run showed no report");
            Times.push_back(std::chrono::duration<double>(Seam.ReportShown - Start).count());
        }
        Form.close();
    }
    SetProgramFileName("");
    SetDialogSeam(Previous);
    if (Seam.Count != 0)
        Die("the window's run showed messages");
    std::sort(Times.begin(), Times.end());
    return Times[Times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication App(argc, argv);
    ZqStanInitialize();
    RegisterPhysManager();
    RegisterDAptManager();
    ZqRegisterSingleton<TQuietCursor>(IID_IZqGUIxWaitCursor);
    // Once, as the main window's driver link registers it too.
    ZqPhysMSAccRegister();
    TConsoleDialogs Seam;
    SetDialogSeam(&Seam);
    LoadInstallation();
    bool EachStation = false, DuplicatesOnly = false;
    int Arg = 1;
    for (; Arg < argc && std::string(argv[Arg]).rfind("--", 0) == 0; ++Arg) {
        const std::string Option = argv[Arg];
        if (Option == "--each-station")
            EachStation = true;
        else if (Option == "--duplicates-only")
            DuplicatesOnly = DuplicatesOnlyAsked = true;
        else if (Option == "--hand-flags" && Arg + 1 < argc)
            HandFlagRows = std::atoll(argv[++Arg]);
        else if (Option == "--candidates" && Arg + 1 < argc) {
            TEngineHarness::CandidatesFile = std::fopen(argv[++Arg], "w");
            if (!TEngineHarness::CandidatesFile)
                Die(std::string("cannot write ") + argv[Arg]);
        }
        else
            Die("usage: qc_bench [--each-station] [--duplicates-only] [--hand-flags N] [--candidates FILE] [DB WORKDIR]");
    }
    const auto Options = [&] {
        DuplicatesEachStation = EachStation;
        for (int T = 0; DuplicatesOnly && T < QcTestCount; ++T)
            SelectedTests.SetBit(T, T == tstDuplicates);
    };
    Options();
    argv += Arg - 1;
    argc -= Arg - 1;
    if (argc == 3) {
        std::string Work = fs::absolute(argv[2]).string(); // the search for duplicates changes the current folder
        if (Work.back() != '/')
            Work += "/";
        Measure("db", fs::absolute(argv[1]).string(), Work, DuplicatesOnly ? 3 : 1);
        return 0;
    }
    if (argc != 1)
        Die("usage: qc_bench [--each-station] [--duplicates-only] [--hand-flags N] [--candidates FILE] [DB WORKDIR]");
    const std::string Tmp = (fs::temp_directory_path() / ("qc_bench_" + std::to_string(::getpid()))).string() + "/";
    fs::create_directories(Tmp);
    fs::copy_file(BenchProgramDir() + "demo/marlin_demo.mdb", Tmp + "marlin_demo.mdb");
    const double Engine = Measure("demo", Tmp + "marlin_demo.mdb", Tmp + "work_demo/", 3);
    fs::create_directories(Tmp + "install/");
    MakeInstallation(Tmp + "install/", BenchProgramDir() + "demo/marlin_demo.mdb");
    const double Window = MeasureWindow(Tmp + "install/", 3);
    std::printf("window_check_to_report: %.0f ms\n", Window * 1000.0);
    std::printf("ratio engine_over_window: %.3f\n", Engine / Window);
    std::fflush(stdout);
    const std::string Large = BenchProgramDir() + "bench/marlin_large.mdb";
    if (fs::exists(Large)) {
        // The window's run left its own settings and parameter choice.
        LoadInstallation();
        Options();
        Measure("large", Large, Tmp + "work_large/", DuplicatesOnly ? 3 : 1);
    }
    else
        std::printf("large: not measured (cmake --build <build> --target marlin_large_db)\n");
    TLocalDatabase::CloseAll();
    std::error_code Ec;
    fs::remove_all(Tmp, Ec);
    return Seam.Count == 0 ? 0 : 1;
}
