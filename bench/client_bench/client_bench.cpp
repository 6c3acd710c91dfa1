// The client components on the program's own roads, on a station database:
//  - open "Select * from PTS_Data" with every row (fetch mode fmAll set on
//    the connection), against the plain ODBC loop on the same file;
//  - walk every row reading six fields by name;
//  - 5,000 Locate calls on a 5,000-row query;
//  - 2,000 cycles of "set SQL, open, read 100 rows, close", as the editor
//    reads one station after another;
//  - 2,000 single-field posts, each an UPDATE committed at once.
// The demo database the build makes is always measured (a private copy);
// the large generated one (10,000,000 levels; target marlin_large_db) too
// when it exists or when --large or MARLIN_BENCH_LARGE=1 asks for it. The
// Locate calls and the posts use a 5,000-row copy of station titles with the
// station table's own key, Bench_Casts, written into the file for the run
// and dropped after it, so the station data of the large file is only read.
// One warm-up, then the median of five runs (three on the large file).
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/common/PlainOdbcConnection.h"
#include "bench/common/PlainOdbcFetch.h"
#include "bench/common/StationDatabases.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "dataaccess/dapt/qxZqDAptManager.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "dataaccess/phys/qxZqPhysManager.h"
#include "dataaccess/stan/qxZqStanInit.h"
#include "platform/dataset/TField.h"

namespace fs = std::filesystem;

namespace {

constexpr int LocateRows = 5000;
constexpr int Locates = 5000;
constexpr int Cycles = 2000;
constexpr int Posts = 2000;
const char *const SelectAll = "Select * from PTS_Data";
const char *const WalkFields[6] = {"ID_Cast", "PRES", "TEMP", "FTEMP", "PSAL", "FPSAL"};

class TQuietCursor : public TZqObject, public virtual IZqGUIxWaitCursor {
public:
    void StartWait() override {}
    void StopWait() override {}
};

[[noreturn]] void Die(const std::string &AWhat)
{
    std::fprintf(stderr, "client_bench: %s\n", AWhat.c_str());
    std::exit(1);
}

double Seconds(std::chrono::steady_clock::time_point A)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - A).count();
}

int GRuns = 5;

// One untimed warm-up, then the median of GRuns timed runs.
double MedianOf(const std::function<double()> &ARun)
{
    ARun();
    std::vector<double> V;
    for (int I = 0; I < GRuns; ++I)
        V.push_back(ARun());
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

void SqliteExec(const std::string &APath, const std::string &ASql)
{
    sqlite3 *Db = nullptr;
    char *Err = nullptr;
    if (sqlite3_open(APath.c_str(), &Db) != SQLITE_OK ||
        sqlite3_exec(Db, ASql.c_str(), nullptr, nullptr, &Err) != SQLITE_OK) {
        const std::string Msg = Err ? Err : sqlite3_errmsg(Db);
        sqlite3_free(Err);
        sqlite3_close(Db);
        Die("cannot prepare " + APath + ": " + Msg);
    }
    sqlite3_close(Db);
}

// The program's main connection: two parameter lines and fetch-all set on
// the connection only.
std::unique_ptr<TZqConnection> Connect(const std::string &APath)
{
    auto C = std::make_unique<TZqConnection>(nullptr);
    C->FetchOptions()->SetMode(fmAll);
    C->Params().Clear();
    C->Params().Add("DriverID=MSAcc");
    C->Params().Add("Database=" + APath);
    C->SetConnected(true);
    return C;
}

std::unique_ptr<TZqQuery> NewQuery(TZqConnection *AConn, const std::string &ASql)
{
    auto Q = std::make_unique<TZqQuery>(nullptr);
    Q->SetConnection(AConn);
    Q->SQL()->Clear();
    Q->SQL()->Add(ASql);
    return Q;
}

// Open, walk and cycles on one station database; APrefix names it.
void MeasureReads(const std::string &APrefix, const std::string &APath)
{
    long long Rows = 0;
    TPlainOdbc Plain(APath);
    const double PlainT = MedianOf([&] {
        const auto T0 = std::chrono::steady_clock::now();
        if (PlainOdbcFetchPtsData(Plain.Dbc, Rows) == 0)
            Die("the plain loop read nothing");
        return Seconds(T0);
    });

    auto Conn = Connect(APath);
    auto Q = NewQuery(Conn.get(), SelectAll);
    const double OpenT = MedianOf([&] {
        const auto T0 = std::chrono::steady_clock::now();
        Q->Open();
        const double T = Seconds(T0);
        if (Q->RecordCount() != Rows)
            Die("the query brought " + std::to_string(Q->RecordCount()) + " rows, the plain loop " +
                std::to_string(Rows));
        Q->Close();
        return T;
    });
    std::printf("%s_plain_odbc_rows_per_second: %.0f rows/s\n", APrefix.c_str(), Rows / PlainT);
    std::printf("%s_query_open_rows_per_second: %.0f rows/s\n", APrefix.c_str(), Rows / OpenT);
    std::printf("ratio %s_plain_odbc_time_over_query: %.3f\n", APrefix.c_str(), PlainT / OpenT);

    // The walk: the same loop with and without the reads, so that the
    // field figure is the reads' own cost.
    Q->Open();
    double Sum = 0;
    const double BareT = MedianOf([&] {
        const auto T0 = std::chrono::steady_clock::now();
        for (Q->First(); !Q->Eof(); Q->Next())
            ;
        return Seconds(T0);
    });
    const double ReadT = MedianOf([&] {
        Sum = 0;
        const auto T0 = std::chrono::steady_clock::now();
        for (Q->First(); !Q->Eof(); Q->Next())
            for (const char *N : WalkFields)
                Sum += Q->FieldByName(N)->AsFloat();
        return Seconds(T0);
    });
    Q->Close();
    if (Sum == 0)
        Die("the walk read nothing");
    std::printf("%s_walk_ns_per_row: %.1f ns\n", APrefix.c_str(), 1e9 * BareT / Rows);
    std::printf("%s_walk_ns_per_field_read_by_name: %.1f ns\n", APrefix.c_str(),
                1e9 * std::max(0.0, ReadT - BareT) / (6.0 * Rows));

    // Station after station: a new text each cycle, as the editor does.
    std::vector<int> Casts;
    {
        auto K = NewQuery(Conn.get(), "Select ID_Cast from Cast_Titles order by ID_Cast");
        K->Open();
        for (K->First(); !K->Eof(); K->Next())
            Casts.push_back(K->FieldByName("ID_Cast")->AsInteger());
        K->Close();
    }
    if (Casts.empty())
        Die("no stations");
    auto C = NewQuery(Conn.get(), SelectAll);
    long long CycleRows = 0;
    const double CycleT = MedianOf([&] {
        CycleRows = 0;
        const auto T0 = std::chrono::steady_clock::now();
        for (int I = 0; I < Cycles; ++I) {
            C->SQL()->Clear();
            C->SQL()->Add("Select * from PTS_Data where ID_Cast = " + std::to_string(Casts[I % Casts.size()]));
            C->Open();
            int N = 0;
            for (C->First(); !C->Eof() && N < 100; C->Next(), ++N)
                CycleRows += C->FieldByName("PRES")->AsFloat() >= 0;
            C->Close();
        }
        return Seconds(T0);
    });
    std::printf("%s_sql_open_read100_close_ms_per_cycle: %.3f ms\n", APrefix.c_str(), 1e3 * CycleT / Cycles);
    std::printf("%s_sql_open_read100_close_rows_per_cycle: %.1f rows\n", APrefix.c_str(),
                double(CycleRows) / Cycles);
    Conn->SetConnected(false);
}

// Bench_Casts: 5,000 station titles with distinct keys, made from the
// file's own Cast_Titles (its definition and key, its rows repeated).
void AddBenchCasts(const std::string &APath)
{
    sqlite3 *Db = nullptr;
    if (sqlite3_open(APath.c_str(), &Db) != SQLITE_OK)
        Die("cannot open " + APath);
    sqlite3_stmt *St = nullptr;
    std::string Create;
    if (sqlite3_prepare_v2(Db, "SELECT sql FROM sqlite_master WHERE name = 'Cast_Titles'", -1, &St, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(St) == SQLITE_ROW)
        Create = reinterpret_cast<const char *>(sqlite3_column_text(St, 0));
    sqlite3_finalize(St);
    sqlite3_close(Db);
    const auto At = Create.find("Cast_Titles");
    if (At == std::string::npos)
        Die("no Cast_Titles in " + APath);
    Create.replace(At, 11, "Bench_Casts");
    SqliteExec(APath, "DROP TABLE IF EXISTS Bench_Casts;" + Create +
                          ";WITH RECURSIVE N(I) AS (SELECT 0 UNION ALL SELECT I + 1 FROM N WHERE I < 4999) "
                          "INSERT INTO Bench_Casts SELECT N.I + 1, C.ID_Cruise, C.Date_Cast, C.Time_Cast, C.Lon, "
                          "C.Lat, C.Depth, C.StationName, 1.5, 0, 0, 0, 0 FROM N JOIN Cast_Titles C "
                          "ON C.ID_Cast = 1 + N.I % (SELECT COUNT(*) FROM Cast_Titles)");
}

void MeasureLocateAndPosts(const std::string &APrefix, const std::string &APath)
{
    AddBenchCasts(APath);
    auto Conn = Connect(APath);
    auto Q = NewQuery(Conn.get(), "Select * from Bench_Casts");
    Q->Open();
    if (Q->RecordCount() != LocateRows)
        Die("the Locate table has " + std::to_string(Q->RecordCount()) + " rows");
    // Keys spread over the table by a fixed stride, so that the searched
    // rows are neither all early nor all late.
    int Found = 0;
    const double LocateT = MedianOf([&] {
        Found = 0;
        const auto T0 = std::chrono::steady_clock::now();
        for (int I = 0; I < Locates; ++I)
            Found += Q->Locate("ID_Cast", rtl::Variant(1 + (I * 3571) % LocateRows));
        return Seconds(T0);
    });
    if (Found != Locates)
        Die("Locate missed keys");
    std::printf("%s_locate_us_per_call_on_5000_rows: %.2f us\n", APrefix.c_str(), 1e6 * LocateT / Locates);

    // Posts: one field changed per row, written and committed at once. Each
    // run writes new values, so that every post really changes its row.
    int Run = 0;
    const double PostT = MedianOf([&] {
        ++Run;
        Q->First();
        const auto T0 = std::chrono::steady_clock::now();
        for (int I = 0; I < Posts; ++I) {
            Q->Edit();
            Q->FieldByName("Velosity")->SetAsFloat(2.0 + Run + 0.001 * I);
            Q->Post();
            Q->Next();
        }
        return Seconds(T0);
    });
    Q->Close();
    Conn->SetConnected(false);
    std::printf("%s_post_ms_per_single_field_post: %.3f ms\n", APrefix.c_str(), 1e3 * PostT / Posts);
    SqliteExec(APath, "DROP TABLE Bench_Casts");
}

} // namespace

int main(int argc, char **argv)
{
    // A figure is printed as soon as it is known, also into a pipe.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Run by hand, the build's driver definitions are still ours.
    setenv("ODBCSYSINI", CLIENT_BENCH_ODBC_DIR, 0);
    setenv("ODBCINSTINI", "odbcinst.ini", 0);
    const TStationDatabases Databases = FindStationDatabases(CLIENT_BENCH_PROGRAM_DIR, argc, argv);
    if (!Databases.Error.empty())
        Die(Databases.Error);
    const fs::path &Demo = Databases.Demo;
    const fs::path &Large = Databases.Large;

    ZqStanInitialize();
    RegisterPhysManager();
    RegisterDAptManager();
    ZqRegisterSingleton<TQuietCursor>(IID_IZqGUIxWaitCursor);
    ZqPhysRegisterDriverClass(&ZqPhysMSAccConnectionClass);

    const fs::path Dir = fs::temp_directory_path() / ("client_bench_" + std::to_string(::getpid()));
    fs::create_directories(Dir);
    const std::string Copy = (Dir / "station.mdb").string();
    fs::copy_file(Demo, Copy);

    try {
        std::printf("database demo: %s (a private copy)\n", Demo.string().c_str());
        MeasureReads("demo", Copy);
        MeasureLocateAndPosts("demo", Copy);
        if (fs::exists(Large)) {
            std::printf("database large: %s\n", Large.string().c_str());
            GRuns = 3;
            MeasureReads("large", Large.string());
            MeasureLocateAndPosts("large", Large.string());
        } else
            std::printf("database large: not built (cmake --build <build> --target marlin_large_db)\n");
    } catch (const std::exception &E) {
        Die(E.what());
    }
    fs::remove_all(Dir);
    return 0;
}
