// The flag write-back on a private copy of the large station database:
//  - flag tables as a QC run leaves them for the first cruises whose
//    PTS_Data levels reach the target (1,000,000 by default, --levels N),
//    with each station's print (its levels, date, time and position) in its
//    station-flag row, so that the write-back reads every station's row and
//    profile back and compares them;
//  - WriteFlagsToMainDb with Yes and every cruise ticked: a transaction per
//    station (its profile read and compared, then an Update per level, a
//    table's levels of one set of columns sent as one parameter array),
//    Esc polled per station;
//  - the same work by hand, as raw ODBC through the same driver with every
//    statement prepared once: a transaction per station that takes the
//    write lock, reads the station's row and its profile back (PRES, the
//    values and the flag columns) and sends one Update per level;
//  - the same updates (same rows, same values, same order) as a bare loop:
//    one SQLPrepare with parameters, SQLExecute per level, autocommit.
// The three alternate, one warm-up of each on one cruise, then the median of
// --rounds timed runs (3 by default). The demo database stands in when the
// large one is not built (cmake --build <build> --target marlin_large_db)
// or --demo asks for it. Each timed run of the hand loop and the write-back
// also counts the instructions it retires (where the processor's counter
// can be read) and goes through a function of its own name, so that
// callgrind counts one side alone; --only hand|writeback runs that side
// alone (after the bare loop has stored the flags, once, untimed).
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/uWriteFlags.h"
#include "app/uflagcru.h"
#include "bench/common/InstructionCount.h"
#include "bench/common/PlainOdbcConnection.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "dataaccess/dapt/qxZqDAptManager.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "dataaccess/phys/qxZqPhysManager.h"
#include "dataaccess/stan/qxZqStanInit.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TSession.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TForm.h"

#include <QAbstractButton>

namespace fs = std::filesystem;

namespace {

class TQuietCursor : public TZqObject, public virtual IZqGUIxWaitCursor {
public:
    void StartWait() override {}
    void StopWait() override {}
};

[[noreturn]] void Die(const std::string &AWhat)
{
    std::fprintf(stderr, "writeback_bench: %s\n", AWhat.c_str());
    std::exit(1);
}

double Seconds(std::chrono::steady_clock::time_point A)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - A).count();
}

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

// Rows of an SQLite query on the file itself, past the driver.
void SqliteRows(const std::string &APath, const std::string &ASql,
                const std::function<void(sqlite3_stmt *)> &ARow)
{
    sqlite3 *Db = nullptr;
    if (sqlite3_open_v2(APath.c_str(), &Db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        Die("cannot open " + APath);
    sqlite3_stmt *St = nullptr;
    if (sqlite3_prepare_v2(Db, ASql.c_str(), -1, &St, nullptr) != SQLITE_OK)
        Die(sqlite3_errmsg(Db));
    while (sqlite3_step(St) == SQLITE_ROW)
        ARow(St);
    sqlite3_finalize(St);
    sqlite3_close(Db);
}

struct TLevel {
    int IdCast;
    double Pres;
    int Flags[3];
};

// A flag per level and column that differs from the database's 0.
int NewFlag(int AIdCast, double APres, int AColumn)
{
    return 1 + int((AIdCast * 7 + std::lround(APres * 10) + AColumn * 3) % 4);
}

// The statements of the bare loop: the level's three flags by parameter.
double RawLoop(const std::string &APath, const std::vector<TLevel> &ALevels)
{
    TPlainOdbc Odbc(APath);
    SQLHSTMT S;
    SQLAllocHandle(SQL_HANDLE_STMT, Odbc.Dbc, &S);
    const char *Sql = "UPDATE PTS_Data SET FPRES=?, FTEMP=?, FPSAL=? WHERE ID_Cast=? AND PRES=?";
    if (!SQL_SUCCEEDED(SQLPrepare(S, (SQLCHAR *)Sql, SQL_NTS)))
        Die("the bare loop cannot prepare its update");
    SQLINTEGER F[3], Id;
    double Pres;
    for (int C = 0; C < 3; ++C)
        SQLBindParameter(S, SQLUSMALLINT(C + 1), SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &F[C], 0, nullptr);
    SQLBindParameter(S, 4, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &Id, 0, nullptr);
    SQLBindParameter(S, 5, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &Pres, 0, nullptr);
    const auto T0 = std::chrono::steady_clock::now();
    for (const TLevel &L : ALevels) {
        for (int C = 0; C < 3; ++C)
            F[C] = L.Flags[C];
        Id = L.IdCast;
        Pres = L.Pres;
        if (!SQL_SUCCEEDED(SQLExecute(S)))
            Die("the bare loop's update failed");
    }
    const double T = Seconds(T0);
    SQLFreeHandle(SQL_HANDLE_STMT, S);
    return T;
}

// Prepares ASql on a statement of ADbc or ends the benchmark.
SQLHSTMT Prepared(SQLHDBC ADbc, const char *ASql)
{
    SQLHSTMT S = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, ADbc, &S);
    if (!SQL_SUCCEEDED(SQLPrepare(S, (SQLCHAR *)ASql, SQL_NTS)))
        Die(std::string("the hand loop cannot prepare ") + ASql);
    return S;
}

// The write-back's work by hand: per station a transaction that takes the
// write lock, reads the station's row and its profile back with bound
// columns, row by row, and sends one Update per level.
double HandLoop(const std::string &APath, const std::vector<TLevel> &ALevels)
{
    TPlainOdbc Odbc(APath);
    SQLSetConnectAttr(Odbc.Dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    SQLHSTMT Lock = Prepared(Odbc.Dbc, "UPDATE PTS_Data SET ID_Cast = ID_Cast WHERE 1 = 0");
    SQLHSTMT Station = Prepared(Odbc.Dbc, "SELECT ID_Cruise, Date_Cast, Time_Cast, Lon, Lat, StationName FROM "
                                          "Cast_Titles WHERE ID_Cast = ?");
    SQLHSTMT Profile = Prepared(Odbc.Dbc, "SELECT PRES, TEMP, PSAL, FPRES, FTEMP, FPSAL FROM PTS_Data WHERE "
                                          "ID_Cast = ? ORDER BY PRES");
    SQLHSTMT Update = Prepared(Odbc.Dbc, "UPDATE PTS_Data SET FPRES=?, FTEMP=?, FPSAL=? WHERE ID_Cast=? AND PRES=?");
    SQLINTEGER Id = 0, F[3] = {}, Cruise = 0, Flag[3] = {};
    double Pres = 0, Station4[4] = {}, Value[3] = {};
    char Name[256];
    SQLLEN Ind[13] = {};
    SQLBindParameter(Station, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &Id, 0, nullptr);
    SQLBindCol(Station, 1, SQL_C_SLONG, &Cruise, 0, &Ind[0]);
    for (int C = 0; C < 4; ++C)
        SQLBindCol(Station, SQLUSMALLINT(C + 2), SQL_C_DOUBLE, &Station4[C], 0, &Ind[1 + C]);
    SQLBindCol(Station, 6, SQL_C_CHAR, Name, sizeof Name, &Ind[5]);
    SQLBindParameter(Profile, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &Id, 0, nullptr);
    for (int C = 0; C < 3; ++C) {
        SQLBindCol(Profile, SQLUSMALLINT(C + 1), SQL_C_DOUBLE, &Value[C], 0, &Ind[6 + C]);
        SQLBindCol(Profile, SQLUSMALLINT(C + 4), SQL_C_SLONG, &Flag[C], 0, &Ind[9 + C]);
    }
    for (int C = 0; C < 3; ++C)
        SQLBindParameter(Update, SQLUSMALLINT(C + 1), SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &F[C], 0, nullptr);
    SQLBindParameter(Update, 4, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &Id, 0, nullptr);
    SQLBindParameter(Update, 5, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &Pres, 0, nullptr);
    // An Update that changes no row answers SQL_NO_DATA.
    const auto Run = [](SQLHSTMT S, const char *AWhat) {
        const SQLRETURN Rc = SQLExecute(S);
        if (!SQL_SUCCEEDED(Rc) && Rc != SQL_NO_DATA)
            Die(std::string("the hand loop's ") + AWhat + " failed");
    };
    long long Read = 0;
    const auto T0 = std::chrono::steady_clock::now();
    for (size_t I = 0; I < ALevels.size();) {
        Id = ALevels[I].IdCast;
        Run(Lock, "lock");
        Run(Station, "station read");
        while (SQL_SUCCEEDED(SQLFetch(Station)))
            ++Read;
        SQLCloseCursor(Station);
        Run(Profile, "profile read");
        while (SQL_SUCCEEDED(SQLFetch(Profile)))
            ++Read;
        SQLCloseCursor(Profile);
        for (; I < ALevels.size() && ALevels[I].IdCast == Id; ++I) {
            for (int C = 0; C < 3; ++C)
                F[C] = ALevels[I].Flags[C];
            Pres = ALevels[I].Pres;
            Run(Update, "update");
        }
        if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, Odbc.Dbc, SQL_COMMIT)))
            Die("the hand loop's commit failed");
    }
    const double T = Seconds(T0);
    if (Read < (long long)ALevels.size())
        Die("the hand loop read " + std::to_string(Read) + " rows back for " + std::to_string(ALevels.size()) +
            " levels");
    for (SQLHSTMT S : {Lock, Station, Profile, Update})
        SQLFreeHandle(SQL_HANDLE_STMT, S);
    return T;
}

// The timed runs of the two sides, each under its own name: callgrind
// started with --collect-atstart=no --toggle-collect='*MeasuredHandLoop*'
// (or '*MeasuredWriteBack*') counts that side's timed runs and nothing else.
[[gnu::noinline]] double MeasuredHandLoop(const std::string &APath, const std::vector<TLevel> &ALevels)
{
    return HandLoop(APath, ALevels);
}

[[gnu::noinline]] double MeasuredWriteBack(const std::function<double(bool)> &AWriteBack) { return AWriteBack(true); }

// A median of counts, or -1 when any is missing.
long long MedianCount(std::vector<long long> V)
{
    if (V.empty() || std::find(V.begin(), V.end(), -1) != V.end())
        return -1;
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

void Click(TForm &AForm, const char *AName)
{
    if (auto *B = AForm.findChild<QAbstractButton *>(QString::fromLatin1(AName)))
        B->click();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication App(argc, argv);
    long long Target = 1000000;
    int Rounds = 3;
    bool Demo = false;
    // "hand" or "writeback": that side alone (empty: all three).
    std::string Only;
    for (int I = 1; I < argc; ++I)
        Demo = Demo || std::strcmp(argv[I], "--demo") == 0;
    for (int I = 1; I + 1 < argc; ++I) {
        if (std::strcmp(argv[I], "--levels") == 0)
            Target = std::atoll(argv[I + 1]);
        if (std::strcmp(argv[I], "--rounds") == 0)
            Rounds = std::max(1, std::atoi(argv[I + 1]));
        if (std::strcmp(argv[I], "--only") == 0)
            Only = argv[I + 1];
    }
    if (!Only.empty() && Only != "hand" && Only != "writeback")
        Die("--only takes hand or writeback");
    const bool RunHand = Only.empty() || Only == "hand", RunOurs = Only.empty() || Only == "writeback";
    const fs::path Program = WRITEBACK_BENCH_PROGRAM_DIR;
    fs::path Source = Program / "bench" / "marlin_large.mdb";
    if (Demo)
        Source = Program / "demo" / "marlin_demo.mdb";
    else if (!fs::exists(Source)) {
        std::printf("database large: not built (cmake --build <build> --target marlin_large_db); the demo database stands in\n");
        Source = Program / "demo" / "marlin_demo.mdb";
    }
    const fs::path Dir = fs::temp_directory_path() / ("writeback_bench_" + std::to_string(::getpid()));
    fs::remove_all(Dir);
    fs::create_directories(Dir / "work");
    const std::string DbPath = (Dir / "bench.mdb").string();
    fs::copy_file(Source, DbPath);
    const std::string Work = (Dir / "work").string() + "/";
    fs::copy_file(Program / "SoftDB" / "worktables.def", Work + "worktables.def");

    // The first cruises (by identity) whose levels reach the target.
    std::map<int, int> CruiseOfCast;
    std::map<int, TStationColumns> StationOf;
    std::map<int, long long> LevelsOfCruise;
    SqliteRows(DbPath, "select ID_Cast, ID_Cruise, Date_Cast, Time_Cast, Lon, Lat from Cast_Titles", [&](sqlite3_stmt *S) {
        CruiseOfCast[sqlite3_column_int(S, 0)] = sqlite3_column_int(S, 1);
        TStationColumns &C = StationOf[sqlite3_column_int(S, 0)];
        double *Values[4] = {&C.Date, &C.Time, &C.Lon, &C.Lat};
        bool *Empty[4] = {&C.DateEmpty, &C.TimeEmpty, &C.LonEmpty, &C.LatEmpty};
        for (int I = 0; I < 4; ++I) {
            *Empty[I] = sqlite3_column_type(S, 2 + I) == SQLITE_NULL;
            *Values[I] = sqlite3_column_double(S, 2 + I);
        }
    });
    SqliteRows(DbPath, "select ID_Cast, count(*) from PTS_Data group by ID_Cast",
               [&](sqlite3_stmt *S) { LevelsOfCruise[CruiseOfCast[sqlite3_column_int(S, 0)]] += sqlite3_column_int64(S, 1); });
    std::vector<int> Cruises;
    long long Chosen = 0;
    for (const auto &[Cruise, Levels] : LevelsOfCruise) {
        if (Chosen >= Target)
            break;
        Cruises.push_back(Cruise);
        Chosen += Levels;
    }
    const int LastCruise = Cruises.back();

    // Flag tables as a run leaves them, filled through the local engine.
    LocalDbDir = Work;
    DbTablePrefix = "bench";
    std::vector<TLevel> Levels;
    {
        // The levels go first into a table without a key, then into the flag
        // table in one batch move, as the engine merges its flags: a keyed
        // table places each posted record by counting the keys before it.
        TTable Struct, CastFlags, PtsFlags, Cru, Scratch;
        for (TTable *T : {&Struct, &CastFlags, &PtsFlags, &Cru, &Scratch})
            T->SetDatabaseName(Work);
        MakeWorkTable(CastFlags, Struct, Work, "-Cast_TitlesFlags.db", "Cast_TitlesFlags", "ID_Cruise;ID_Cast");
        MakeWorkTable(PtsFlags, Struct, Work, "-PTS_DataFlags.db", "PTS_DAtaFlags", "ID_Cast;PRES");
        MakeWorkTable(Scratch, Struct, Work, "-Levels.db", "StructTsFlags", "");
        Cru.SetTableName("TmpCru");
        Cru.Open();
        // Each station's print, as the run keeps it for the profile it judged,
        // with the flags the levels store: every loop starts from them.
        std::map<int, TProfilePrint> Prints;
        SqliteRows(DbPath,
                   "select p.ID_Cast, p.PRES, p.TEMP, p.PSAL, p.FPRES, p.FTEMP, p.FPSAL from PTS_Data p join "
                   "Cast_Titles c on c.ID_Cast = p.ID_Cast where c.ID_Cruise <= " + std::to_string(LastCruise),
                   [&](sqlite3_stmt *S) {
            const auto Value = [S](int C) { return sqlite3_column_double(S, C); };
            const auto Null = [S](int C) { return sqlite3_column_type(S, C) == SQLITE_NULL; };
            const auto Flag = [S](int C) { return sqlite3_column_int(S, C); };
            TProfilePrint &P = Prints[sqlite3_column_int(S, 0)];
            P.AddLevel(Value(1), Null(1), Value(2), Null(2), Value(3), Null(3));
            P.AddFlags(Value(1), Null(1), Flag(4), Null(4), Flag(5), Null(5), Flag(6), Null(6));
        });
        Session.StartTransaction(Work);
        for (const auto &[Cast, Cruise] : CruiseOfCast)
            if (Cruise <= LastCruise) {
                CastFlags.Append();
                CastFlags.Fields()[0]->SetAsInteger(Cruise);
                CastFlags.Fields()[1]->SetAsInteger(Cast);
                for (int F = 2; F < 6; ++F)
                    CastFlags.Fields()[F]->SetAsInteger(1);
                CastFlags.FieldByName(ProfilePrintsField)->SetAsString(WithProfilePrint("", "PTS_Data", TJudgedPrint(Prints[Cast], StationOf[Cast]).Text()));
                CastFlags.Post();
            }
        SqliteRows(DbPath,
                   "select p.ID_Cast, p.PRES from PTS_Data p join Cast_Titles c on c.ID_Cast = p.ID_Cast where "
                   "c.ID_Cruise <= " + std::to_string(LastCruise) +
                       // A pressure repeated in a cast (a planted fault) is one flag row.
                       " group by p.ID_Cast, p.PRES",
                   [&](sqlite3_stmt *S) {
                       TLevel L{sqlite3_column_int(S, 0), sqlite3_column_double(S, 1), {}};
                       for (int C = 0; C < 3; ++C)
                           L.Flags[C] = NewFlag(L.IdCast, L.Pres, C);
                       Scratch.Append();
                       Scratch.Fields()[0]->SetAsInteger(L.IdCast);
                       Scratch.Fields()[1]->SetAsFloat(L.Pres);
                       for (int C = 0; C < 3; ++C)
                           Scratch.Fields()[2 + C]->SetAsInteger(L.Flags[C]);
                       Scratch.Post();
                   });
        for (int Cruise : Cruises) {
            Cru.Append();
            Cru.FieldByName("ID_Cruise")->SetAsInteger(Cruise);
            Cru.FieldByName("Cruise_Name")->SetAsString("C" + std::to_string(Cruise));
            Cru.Post();
        }
        Session.Commit(Work);
        PtsFlags.BatchMove(&Scratch, batAppend);
        // The bare loop sends the write-back's statements in the write-back's
        // order: cruise by cruise, cast by cast, level by level.
        TQuery Q;
        Q.SetDatabaseName(Work);
        Q.SQL().Add("Select f.ID_Cast, f.PRES, f.FPRES, f.FTEMP, f.FPSAL from \"bench-PTS_DataFlags\" f, "
                    "\"bench-Cast_TitlesFlags\" c where c.ID_Cast = f.ID_Cast order by c.ID_Cruise, c.ID_Cast, f.PRES");
        Q.Open();
        for (Q.First(); !Q.Eof(); Q.Next())
            Levels.push_back({Q.Fields()[0]->AsInteger(), Q.Fields()[1]->AsFloat(),
                              {Q.Fields()[2]->AsInteger(), Q.Fields()[3]->AsInteger(), Q.Fields()[4]->AsInteger()}});
    }
    std::printf("database: %s, %zu cruises, %zu levels\n", Source.filename().string().c_str(), Cruises.size(),
                Levels.size());
    // Every loop writes over the flags the levels stored, the station-flag
    // rows holding the prints of the check: the write-back sends no Update
    // to a level that holds its verdict already.
    const auto Exec = [](const std::string &APath, const char *ASql) {
        sqlite3 *Db = nullptr;
        if (sqlite3_open(APath.c_str(), &Db) != SQLITE_OK ||
            sqlite3_exec(Db, ASql, nullptr, nullptr, nullptr) != SQLITE_OK)
            Die(std::string("cannot run ") + ASql + " on " + APath + ": " + sqlite3_errmsg(Db));
        sqlite3_close(Db);
    };
    const std::string WorkDb = Work + "worktables.sqlite3";
    Exec(DbPath, "create table BenchFlags (R integer primary key, FPRES, FTEMP, FPSAL); insert into BenchFlags select "
                 "rowid, FPRES, FTEMP, FPSAL from PTS_Data");
    Exec(WorkDb, "create table BenchPrints (ID_Cruise, ID_Cast, ProfilePrints, primary key (ID_Cruise, ID_Cast)); insert "
                 "into BenchPrints select ID_Cruise, ID_Cast, ProfilePrints from \"bench-Cast_TitlesFlags\"");
    const auto AsStored = [&] {
        Exec(DbPath, "update PTS_Data set (FPRES, FTEMP, FPSAL) = (select FPRES, FTEMP, FPSAL from BenchFlags where R = "
                     "PTS_Data.rowid)");
        Exec(WorkDb, "update \"bench-Cast_TitlesFlags\" set NotWritten = NULL, ProfilePrints = (select ProfilePrints "
                     "from BenchPrints b where b.ID_Cruise = \"bench-Cast_TitlesFlags\".ID_Cruise and b.ID_Cast = "
                     "\"bench-Cast_TitlesFlags\".ID_Cast)");
    };

    ZqStanInitialize();
    RegisterPhysManager();
    RegisterDAptManager();
    ZqRegisterSingleton<TQuietCursor>(IID_IZqGUIxWaitCursor);
    ZqPhysRegisterDriverClass(&ZqPhysMSAccConnectionClass);

    double WriteBackT = 0;
    std::vector<double> Ours, Raw, Hand;
    TInstructionCount Counter;
    std::vector<long long> OursCount, HandCount;
    {
        rtl::TComponent Owner(nullptr);
        auto *Conn = new TZqConnection(&Owner); // owned by Owner
        Conn->FetchOptions()->SetMode(fmAll);
        Conn->Params().Add("DriverID=MSAcc");
        Conn->Params().Add("Database=" + DbPath);
        Conn->SetConnected(true);
        // The write-back datasets as the main window makes them at start.
        FlagParamsQry = new TZqQuery(&Owner); // owned by Owner
        FlagParamsQry->SetConnection(Conn);
        FlagUpdateCmd = new TZqCommand(&Owner); // owned by Owner
        FlagUpdateCmd->SetConnection(Conn);
        TQuery CastQry, LevelQry;
        TTable Cru;
        for (TLocalDataSet *D : std::initializer_list<TLocalDataSet *>{&CastQry, &LevelQry, &Cru})
            D->SetDatabaseName(Work);
        FlagCastQry = &CastQry;
        FlagLevelQry = &LevelQry;
        Cru.SetTableName("TmpCru");
        Cru.Open();
        CruiseTbl = &Cru;
        TScriptedDialogs Dialogs;
        // AAll: every cruise, else only the first (the warm-up).
        auto WriteBack = [&](bool AAll) {
            Dialogs.ModalHandlers.push_back([](TForm &F) {
                Click(F, "BitBtn1");
                return F.ModalResult();
            });
            Dialogs.ModalHandlers.push_back([AAll](TForm &F) {
                auto &C = static_cast<Tfmflagcru &>(F);
                C.CheckListBox1->SetChecked(0, true);
                if (AAll)
                    Click(F, "SpeedButton21");
                Click(F, "BitBtn1");
                return F.ModalResult();
            });
            const auto T0 = std::chrono::steady_clock::now();
            const TWriteFlagsResult R = WriteFlagsToMainDb(nullptr);
            const double T = Seconds(T0);
            if (AAll && (size_t(R.Levels + R.Held) < Levels.size() || R.Unmatched != 0 || R.Changed != 0))
                Die("the write-back changed " + std::to_string(R.Levels) + " and found " + std::to_string(R.Held) +
                    " as judged of " + std::to_string(Levels.size()) + " levels (" + std::to_string(R.Unmatched) +
                    " unmatched, " + std::to_string(R.Changed) + " stations changed)");
            return T;
        };
        std::vector<TLevel> FirstCruise;
        for (const TLevel &L : Levels)
            if (CruiseOfCast[L.IdCast] == Cruises.front())
                FirstCruise.push_back(L);
        // The bare loop and the hand loop open connections of their own: the
        // component's must not hold a transaction while they run (it holds
        // none between statements). Each starts from the flags the levels
        // stored, which the check's prints hold.
        RawLoop(DbPath, Only.empty() ? FirstCruise : Levels);
        AsStored();
        if (RunOurs) {
            WriteBack(false);
            AsStored();
        }
        if (RunHand)
            HandLoop(DbPath, FirstCruise);
        const auto Counted = [&](std::vector<long long> &ACounts, const std::function<double()> &ARun) {
            Counter.Start();
            const double T = ARun();
            ACounts.push_back(Counter.Stop());
            return T;
        };
        for (int R = 0; R < Rounds; ++R) {
            if (Only.empty()) {
                AsStored();
                Raw.push_back(RawLoop(DbPath, Levels));
                std::printf("round %d: raw %.2f s\n", R + 1, Raw.back());
                std::fflush(stdout);
            }
            if (RunHand) {
                AsStored();
                Hand.push_back(Counted(HandCount, [&] { return MeasuredHandLoop(DbPath, Levels); }));
                std::printf("round %d: hand loop %.2f s\n", R + 1, Hand.back());
                std::fflush(stdout);
            }
            if (RunOurs) {
                AsStored();
                Ours.push_back(Counted(OursCount, [&] { return MeasuredWriteBack(WriteBack); }));
                std::printf("round %d: write-back %.2f s\n", R + 1, Ours.back());
                std::fflush(stdout);
            }
        }
        if (RunOurs)
            WriteBackT = Median(Ours);
        Qc.Links = TQcLinks{};
        Conn->SetConnected(false);
    }
    // The answer: every level of the chosen cruises carries its new flags.
    long long Wrong = 0;
    SqliteRows(DbPath,
               "select p.ID_Cast, p.PRES, p.FPRES, p.FTEMP, p.FPSAL from PTS_Data p join Cast_Titles c on c.ID_Cast = "
               "p.ID_Cast where c.ID_Cruise <= " + std::to_string(LastCruise),
               [&](sqlite3_stmt *S) {
                   for (int C = 0; C < 3; ++C)
                       if (sqlite3_column_int(S, 2 + C) !=
                           NewFlag(sqlite3_column_int(S, 0), sqlite3_column_double(S, 1), C))
                           ++Wrong;
               });
    if (Wrong)
        Die(std::to_string(Wrong) + " flags are not the flag tables'");

    std::printf("writeback_levels: %zu levels\n", Levels.size());
    // Instructions in millions, so that the two counts read side by side.
    const auto PrintCount = [&](const char *AName, const std::vector<long long> &ACounts) {
        const long long N = MedianCount(ACounts);
        if (N < 0)
            std::printf("%s: unavailable (%s)\n", AName, Counter.Why().c_str());
        else
            std::printf("%s: %.1f M instructions\n", AName, double(N) / 1e6);
        return N;
    };
    if (RunOurs) {
        std::printf("writeback_time: %.2f s\n", WriteBackT);
        std::printf("writeback_rate: %.0f levels/s\n", double(Levels.size()) / WriteBackT);
    }
    if (Only.empty())
        std::printf("raw_update_rate: %.0f levels/s\n", double(Levels.size()) / Median(Raw));
    if (RunHand)
        std::printf("hand_loop_rate: %.0f levels/s\n", double(Levels.size()) / Median(Hand));
    const long long HandN = RunHand ? PrintCount("hand_loop_instructions", HandCount) : -1;
    const long long OursN = RunOurs ? PrintCount("writeback_instructions", OursCount) : -1;
    if (Only.empty()) {
        std::printf("ratio raw_update_over_writeback: %.2f\n", Median(Raw) / WriteBackT);
        std::printf("ratio hand_loop_over_writeback: %.2f\n", Median(Hand) / WriteBackT);
        if (HandN > 0 && OursN > 0)
            std::printf("ratio hand_loop_over_writeback_instructions: %.2f\n", double(HandN) / double(OursN));
    }
    TLocalDatabase::CloseAll();
    std::error_code Ec;
    fs::remove_all(Dir, Ec);
    return 0;
}
