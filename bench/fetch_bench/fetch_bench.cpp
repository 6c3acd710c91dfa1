// Fetch of 1,000,000 PTS_Data-shaped rows through the station-database driver:
//  - ours: an ODBC command of the Access driver (run-time bound driver
//    manager, rowsets of 50, fmAll) into an in-memory table;
//  - plain: a column-wise ODBC fetch loop of rowsets of 50 summing the values;
//  - pyodbc: python3-pyodbc's fetchall on the same connect string.
// One warm-up, then the median of five runs. Heap allocations are counted
// through the global operator new while our route fills the table.
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanInit.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "bench/common/PlainOdbcFetch.h"
#include "bench/common/PtsDataTable.h"

static std::atomic<long long> GNews{0};

void *operator new(std::size_t N)
{
    ++GNews;
    if (void *P = std::malloc(N ? N : 1))
        return P;
    throw std::bad_alloc();
}
void operator delete(void *P) noexcept { std::free(P); }
void operator delete(void *P, std::size_t) noexcept { std::free(P); }

using namespace dats;

namespace {

class TQuietCursor : public TZqObject, public virtual IZqGUIxWaitCursor {
public:
    void StartWait() override {}
    void StopWait() override {}
};

constexpr int Rows = 1000000;
constexpr int LevelsPerCast = 100;
constexpr int Rowset = 50;
constexpr int Runs = 5;
const char *const Select = "SELECT ID_Cast, PRES, FPRES, TEMP, FTEMP, PSAL, FPSAL FROM PTS_Data";

void Die(const std::string &AWhat)
{
    std::fprintf(stderr, "fetch_bench: %s\n", AWhat.c_str());
    std::exit(1);
}

void Generate(const std::string &APath)
{
    if (!GeneratePtsDataTable(APath, Rows, LevelsPerCast)) Die("cannot write the table");
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

// The plain loop: column-wise arrays of 50 summed per rowset.
double FetchPlain(SQLHDBC ADbc, long long &ARows)
{
    const auto T0 = std::chrono::steady_clock::now();
    if (PlainOdbcFetchPtsData(ADbc, ARows) == 0)
        Die("plain route read nothing");
    return Seconds(T0);
}

// Ours: an ODBC command of the Access driver opened through the driver
// manager, every row fetched (fmAll, rowsets of 50) into an in-memory table.
double FetchOurs(const TZqIntfPtr<IZqPhysConnection> &AConn, long long &ARows, long long &ANews)
{
    TZqDatSTable Table("PTS_Data");
    const auto T0 = std::chrono::steady_clock::now();
    TZqIntfPtr<IZqPhysCommand> Cmd;
    AConn->CreateCommand(Cmd);
    Cmd->GetOptions()->GetFetchOptions()->SetMode(fmAll);
    Cmd->GetOptions()->GetFetchOptions()->SetRowsetSize(Rowset);
    Cmd->SetCommandText(Select);
    Cmd->Open();
    Cmd->Define(&Table);
    const long long News0 = GNews.load();
    Cmd->Fetch(&Table, true);
    ANews = GNews.load() - News0;
    ARows = Table.Rows()->Count();
    Cmd->Close();
    const double T = Seconds(T0);
    if (Table.Rows()->Count() != Rows)
        Die("ours: wrong row count");
    return T;
}

double FetchPyodbc(const std::string &AConnect)
{
    const std::string Cmd = "/usr/bin/python3 " FETCH_BENCH_PY " '" + AConnect + "' '" + Select + "' 2>/dev/null";
    FILE *F = popen(Cmd.c_str(), "r");
    if (!F)
        return -1;
    double T = -1;
    long long N = 0;
    if (std::fscanf(F, "%lf %lld", &T, &N) != 2 || N != Rows)
        T = -1;
    pclose(F);
    return T;
}

long PeakKb()
{
    rusage U{};
    getrusage(RUSAGE_SELF, &U);
    return U.ru_maxrss;
}

} // namespace

int main()
{
    const auto Dir = std::filesystem::temp_directory_path() / ("fetch_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
    const std::string Path = (Dir / "pts.mdb").string();
    Generate(Path);
    const std::string Connect = "DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + Path;

    SQLHENV Env;
    SQLHDBC Dbc;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &Env);
    SQLSetEnvAttr(Env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, Env, &Dbc);
    if (!SQL_SUCCEEDED(SQLDriverConnect(Dbc, nullptr, (SQLCHAR *)Connect.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                        SQL_DRIVER_NOPROMPT)))
        Die("cannot connect");

    ZqStanInitialize();
    ZqRegisterSingleton<TQuietCursor>(IID_IZqGUIxWaitCursor);
    auto *Mgr = new TZqPhysManager();
    TZqIntfPtr<IZqPhysManager> Manager(static_cast<IZqPhysManager *>(Mgr));
    Mgr->RegisterDriverClass(&ZqPhysMSAccConnectionClass);
    Manager->Open();
    {
        TZqIntfPtr<IZqPhysConnection> OConn;
        Manager->CreateConnection("DriverID=MSAcc;Database=" + Path, OConn);
        OConn->Open();

        long long N = 0, News = 0;
        FetchPlain(Dbc, N);
        FetchOurs(OConn, N, News);
        std::vector<double> Plain, Ours;
        const long Peak0 = PeakKb();
        for (int I = 0; I < Runs; ++I) {
            Plain.push_back(FetchPlain(Dbc, N));
            Ours.push_back(FetchOurs(OConn, N, News));
        }
        const long Peak = PeakKb();
        FetchPyodbc(Connect);
        std::vector<double> Py;
        for (int I = 0; I < 3; ++I)
            Py.push_back(FetchPyodbc(Connect));
        const double P = Median(Plain), O = Median(Ours), Y = Median(Py);
        std::printf("plain_odbc_rows_per_second: %.0f rows/s\n", Rows / P);
        std::printf("ours_rows_per_second: %.0f rows/s\n", Rows / O);
        std::printf("ours_peak_memory: %ld KiB\n", Peak);
        std::printf("ours_peak_memory_growth_over_warmup: %ld KiB\n", Peak - Peak0);
        std::printf("ours_heap_allocations_per_row: %.4f allocations\n", double(News) / Rows);
        std::printf("ratio plain_odbc_time_over_ours: %.3f\n", P / O);
        if (Y > 0) {
            std::printf("pyodbc_rows_per_second: %.0f rows/s\n", Rows / Y);
            std::printf("ratio pyodbc_time_over_ours: %.3f\n", Y / O);
        } else
            std::printf("pyodbc_rows_per_second: unavailable\n");
        OConn->Close();
    }
    Manager->Close(true);
    Manager.Reset();
    SQLDisconnect(Dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, Dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, Env);
    std::filesystem::remove_all(Dir);
    return 0;
}
