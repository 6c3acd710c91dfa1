// The query component end to end through the station-database driver, on
// a copy of the demo database (demo_) and on a generated 1,000,000-row
// PTS_Data table (large_):
//  - open "Select * from PTS_Data" with every row (fetch mode all on the
//    connection), against the plain column-wise ODBC loop of the fetch
//    benchmark on the same file;
//  - walk every row reading six fields by name;
//  - 5,000 Locate calls on a 5,000-row query;
//  - 2,000 cycles of: set the SQL, open, read 100 rows, close;
//  - 2,000 posts of one field, each written at once by a generated UPDATE
//    (on a 2,000-row table of the benchmark's own with a key column).
// One warm-up, then the median of five runs (of three for the posts).
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/common/PlainOdbcFetch.h"
#include "bench/common/PtsDataTable.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "dataaccess/dapt/qxZqDAptManager.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "dataaccess/phys/qxZqPhysManager.h"
#include "dataaccess/stan/qxZqStanInit.h"
#include "platform/dataset/TField.h"

namespace {

constexpr int LargeRows = 1000000;
constexpr int LevelsPerCast = 100;
constexpr int Runs = 5;

class TQuietCursor : public TZqObject, public virtual IZqGUIxWaitCursor {
public:
    void StartWait() override {}
    void StopWait() override {}
};

void Die(const std::string &AWhat)
{
    std::fprintf(stderr, "client_bench: %s\n", AWhat.c_str());
    std::exit(1);
}

double Seconds(const std::function<void()> &AFn)
{
    const auto T0 = std::chrono::steady_clock::now();
    AFn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
}

// One warm-up, then the median of ARuns runs.
double Median(int ARuns, const std::function<void()> &AFn)
{
    AFn();
    std::vector<double> V;
    for (int I = 0; I < ARuns; ++I)
        V.push_back(Seconds(AFn));
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

double PlainSeconds(const std::string &ADbPath, long long &ARows)
{
    SQLHENV Env;
    SQLHDBC Dbc;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &Env);
    SQLSetEnvAttr(Env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, Env, &Dbc);
    const std::string Cs = "DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + ADbPath;
    if (!SQL_SUCCEEDED(SQLDriverConnect(Dbc, nullptr, (SQLCHAR *)Cs.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                        SQL_DRIVER_NOPROMPT)))
        Die("plain connect failed");
    const double T = Median(Runs, [&] {
        if (PlainOdbcFetchPtsData(Dbc, ARows) == 0)
            Die("plain route read nothing");
    });
    SQLDisconnect(Dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, Dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, Env);
    return T;
}

// The table the posts go to: 2,000 rows with a key of their own.
void AddPostTable(const std::string &ADbPath)
{
    sqlite3 *Db = nullptr;
    sqlite3_open(ADbPath.c_str(), &Db);
    std::string Sql = "CREATE TABLE Bench_Posts (ID LONG NOT NULL, V SHORT, PRIMARY KEY (ID)); BEGIN;";
    for (int I = 1; I <= 2000; ++I)
        Sql += "INSERT INTO Bench_Posts VALUES (" + std::to_string(I) + ", 0);";
    Sql += "COMMIT;";
    const int Rc = sqlite3_exec(Db, Sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(Db);
    if (Rc != SQLITE_OK)
        Die("cannot write the post table");
}

void Run(const std::string &APrefix, const std::string &ADbPath)
{
    rtl::TComponent Owner(nullptr);
    auto *Conn = new TZqConnection(&Owner);
    Conn->FetchOptions()->SetMode(fmAll);
    Conn->Params().Add("DriverID=MSAcc");
    Conn->Params().Add("Database=" + ADbPath);
    Conn->SetConnected(true);
    auto *Q = new TZqQuery(&Owner);
    Q->SetConnection(Conn);
    const auto P = [&](const char *AName, double AValue, const char *AUnit) {
        std::printf("%s%s: %.3f %s\n", APrefix.c_str(), AName, AValue, AUnit);
    };

    // Open with every row.
    Q->SQL()->Add("Select * from PTS_Data");
    int Rows = 0;
    const double Open = Median(Runs, [&] {
        Q->Close();
        Q->Open();
        Rows = Q->RecordCount();
    });
    if (Rows == 0)
        Die("the query read nothing");
    long long PlainRows = 0;
    const double Plain = PlainSeconds(ADbPath, PlainRows);
    if (PlainRows != Rows)
        Die("the plain loop and the query disagree on the row count");
    P("query_open_rows_per_second", Rows / Open, "rows/s");
    P("plain_odbc_rows_per_second", Rows / Plain, "rows/s");
    std::printf("ratio %splain_odbc_time_over_query: %.3f\n", APrefix.c_str(), Plain / Open);

    // Six fields by name on every row.
    double Sum = 0;
    const double Walk = Median(Runs, [&] {
        for (Q->First(); !Q->Eof(); Q->Next())
            Sum += Q->FieldByName("ID_Cast")->AsInteger() + Q->FieldByName("PRES")->AsFloat() +
                   Q->FieldByName("TEMP")->AsFloat() + Q->FieldByName("PSAL")->AsFloat() +
                   Q->FieldByName("FTEMP")->AsInteger() + Q->FieldByName("FPSAL")->AsInteger();
    });
    if (Sum == 0)
        Die("the walk read nothing");
    P("field_read_by_name", Walk * 1e9 / (double(Rows) * 6), "ns");
    Q->Close();

    // Locate on a 5,000-row query, by cast number.
    Q->SQL()->Clear();
    Q->SQL()->Add("Select TOP 5000 * from PTS_Data order by ID_Cast, PRES");
    Q->Open();
    std::vector<int> Casts;
    for (Q->First(); !Q->Eof(); Q->Next())
        if (Casts.empty() || Casts.back() != Q->FieldByName("ID_Cast")->AsInteger())
            Casts.push_back(Q->FieldByName("ID_Cast")->AsInteger());
    int Found = 0;
    const double Loc = Median(Runs, [&] {
        for (int I = 0; I < 5000; ++I)
            Found += Q->Locate("ID_Cast", rtl::Variant(Casts[size_t(I) % Casts.size()])) ? 1 : 0;
    });
    if (Found == 0)
        Die("Locate found nothing");
    P("locate_5000_rows", Loc * 1e6 / 5000, "us");
    Q->Close();

    // Set the SQL, open, read 100 rows, close.
    const double Cycle = Median(Runs, [&] {
        for (int I = 0; I < 2000; ++I) {
            Q->SQL()->Clear();
            Q->SQL()->Add("Select TOP 100 * from PTS_Data where ID_Cast = " +
                          std::to_string(Casts[size_t(I) % Casts.size()]));
            Q->Open();
            for (Q->First(); !Q->Eof(); Q->Next())
                Sum += Q->FieldByName("TEMP")->AsFloat();
            Q->Close();
        }
    });
    P("set_open_read100_close", Cycle * 1e3 / 2000, "ms");

    // Single-field posts, each row found by its key column.
    Q->SQL()->Clear();
    Q->SQL()->Add("Select * from Bench_Posts order by ID");
    Q->UpdateOptions()->SetUpdateMode(upWhereKeyOnly);
    Q->UpdateOptions()->SetRefreshMode(rmManual);
    Q->Open();
    Q->FieldByName("ID")->SetProviderFlags(pfInUpdate | pfInWhere | pfInKey);
    int Flag = 0;
    const double Post = Median(3, [&] {
        ++Flag;
        for (Q->First(); !Q->Eof(); Q->Next()) {
            Q->Edit();
            Q->FieldByName("V")->SetAsInteger(Flag);
            Q->Post();
        }
    });
    P("single_field_post", Post * 1e3 / Q->RecordCount(), "ms");
    Q->Close();
    Conn->SetConnected(false);
}

} // namespace

int main()
{
    ZqStanInitialize();
    RegisterPhysManager();
    RegisterDAptManager();
    ZqRegisterSingleton<TQuietCursor>(IID_IZqGUIxWaitCursor);
    ZqPhysRegisterDriverClass(&ZqPhysMSAccConnectionClass);

    const char *Program = std::getenv("MARLIN_PROGRAM_DIR");
    if (!Program)
        Die("MARLIN_PROGRAM_DIR is not set");
    const auto Dir = std::filesystem::temp_directory_path() / ("client_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
    const std::string Demo = (Dir / "demo.mdb").string();
    std::filesystem::copy_file(std::filesystem::path(Program) / "demo" / "marlin_demo.mdb", Demo);
    const std::string Large = (Dir / "large.mdb").string();
    if (!GeneratePtsDataTable(Large, LargeRows, LevelsPerCast))
        Die("cannot write the large table");
    AddPostTable(Demo);
    AddPostTable(Large);
    try {
        Run("demo_", Demo);
        Run("large_", Large);
    } catch (const std::exception &E) {
        Die(E.what());
    }
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
    return 0;
}
