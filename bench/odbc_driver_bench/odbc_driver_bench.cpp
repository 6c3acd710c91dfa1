// Benchmark of the station-database driver on a generated PTS_Data-shaped
// table of 1,000,000 rows:
//  - a plain ODBC fetch loop (column-wise binding, rowsets of 50) through our
//    driver and through Debian's libsqliteodbc, both under unixODBC;
//  - the same rows read with the SQLite C API directly;
//  - 10,000 autocommitted single-row UPDATEs by key through our driver,
//    prepared once and as a new text each; then both in one transaction,
//    the texts each on a handle of its own, and the texts one after another
//    on one kept handle with the calls the client components make around
//    each (the flag write-back's way);
//  - a text-heavy select (LIKE, = and ORDER BY on 200,000 station names)
//    through our driver and through the C API.
// Each route checks its checksum against the C API's; one warm-up, then the
// median of five runs, the routes alternating within each run.
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>
#include "bench/common/PtsDataTable.h"

namespace {

constexpr int Rows = 1000000;
constexpr int LevelsPerCast = 100;
constexpr SQLULEN Rowset = 50;
constexpr int Updates = 10000;

void Die(const std::string &AWhat)
{
    std::fprintf(stderr, "odbc_driver_bench: %s\n", AWhat.c_str());
    std::exit(1);
}

void Generate(const std::string &APath)
{
    if (!GeneratePtsDataTable(APath, Rows, LevelsPerCast)) Die("cannot write the table");
}

const char *const Select = "SELECT ID_Cast, PRES, FPRES, TEMP, FTEMP, PSAL, FPSAL FROM PTS_Data";

struct TChecksum {
    long long Rows = 0, Ints = 0;
    double Reals = 0;
    bool operator==(const TChecksum &O) const { return Rows == O.Rows && Ints == O.Ints && Reals == O.Reals; }
};

TChecksum FetchCApi(const std::string &APath)
{
    sqlite3 *Db = nullptr;
    sqlite3_open_v2(APath.c_str(), &Db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *S = nullptr;
    sqlite3_prepare_v2(Db, Select, -1, &S, nullptr);
    // The same column-wise arrays of 50 the ODBC loop fills.
    SQLINTEGER Id[Rowset];
    double Pres[Rowset], Temp[Rowset], Psal[Rowset];
    SQLSMALLINT F1[Rowset], F2[Rowset], F3[Rowset];
    TChecksum C;
    bool More = true;
    while (More) {
        SQLULEN N = 0;
        for (; N < Rowset; ++N) {
            if (sqlite3_step(S) != SQLITE_ROW) {
                More = false;
                break;
            }
            Id[N] = sqlite3_column_int(S, 0);
            Pres[N] = sqlite3_column_double(S, 1);
            F1[N] = static_cast<SQLSMALLINT>(sqlite3_column_int(S, 2));
            Temp[N] = sqlite3_column_double(S, 3);
            F2[N] = static_cast<SQLSMALLINT>(sqlite3_column_int(S, 4));
            Psal[N] = sqlite3_column_double(S, 5);
            F3[N] = static_cast<SQLSMALLINT>(sqlite3_column_int(S, 6));
        }
        for (SQLULEN i = 0; i < N; ++i) {
            C.Ints += Id[i] + F1[i] + F2[i] + F3[i];
            C.Reals += Pres[i] + Temp[i] + Psal[i];
        }
        C.Rows += static_cast<long long>(N);
    }
    sqlite3_finalize(S);
    sqlite3_close(Db);
    return C;
}

struct TOdbc {
    SQLHENV Env = SQL_NULL_HENV;
    SQLHDBC Dbc = SQL_NULL_HDBC;
    explicit TOdbc(const std::string &AConnect)
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &Env);
        SQLSetEnvAttr(Env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, Env, &Dbc);
        if (!SQL_SUCCEEDED(SQLDriverConnect(Dbc, nullptr, (SQLCHAR *)AConnect.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                            SQL_DRIVER_NOPROMPT)))
            Die("cannot connect: " + AConnect + " " + Diag(SQL_HANDLE_DBC, Dbc));
    }
    ~TOdbc()
    {
        SQLDisconnect(Dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, Dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, Env);
    }
    static std::string Diag(SQLSMALLINT AType, SQLHANDLE AHandle)
    {
        SQLCHAR State[6] = {}, Msg[512] = {};
        SQLINTEGER Native = 0;
        SQLSMALLINT Len = 0;
        SQLGetDiagRec(AType, AHandle, 1, State, &Native, Msg, sizeof Msg, &Len);
        return std::string(reinterpret_cast<char *>(State)) + " " + reinterpret_cast<char *>(Msg);
    }
};

// A statement handle on which ASelect has run, to be fetched in rowsets of
// Rowset rows bound by column; AFetched receives each rowset's row count.
SQLHSTMT ExecRowsets(TOdbc &O, const char *ASelect, SQLULEN &AFetched)
{
    SQLHSTMT S;
    SQLAllocHandle(SQL_HANDLE_STMT, O.Dbc, &S);
    SQLSetStmtAttr(S, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
    SQLSetStmtAttr(S, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(Rowset), 0);
    SQLSetStmtAttr(S, SQL_ATTR_ROWS_FETCHED_PTR, &AFetched, 0);
    if (!SQL_SUCCEEDED(SQLExecDirect(S, (SQLCHAR *)ASelect, SQL_NTS)))
        Die(std::string("select failed: ") + ASelect + " " + TOdbc::Diag(SQL_HANDLE_STMT, S));
    return S;
}

TChecksum FetchOdbc(TOdbc &O)
{
    SQLINTEGER Id[Rowset];
    double Pres[Rowset], Temp[Rowset], Psal[Rowset];
    SQLSMALLINT F1[Rowset], F2[Rowset], F3[Rowset];
    SQLLEN Ind[7][Rowset];
    SQLULEN Fetched = 0;
    const SQLHSTMT S = ExecRowsets(O, Select, Fetched);
    SQLBindCol(S, 1, SQL_C_SLONG, Id, sizeof(SQLINTEGER), Ind[0]);
    SQLBindCol(S, 2, SQL_C_DOUBLE, Pres, sizeof(double), Ind[1]);
    SQLBindCol(S, 3, SQL_C_SSHORT, F1, sizeof(SQLSMALLINT), Ind[2]);
    SQLBindCol(S, 4, SQL_C_DOUBLE, Temp, sizeof(double), Ind[3]);
    SQLBindCol(S, 5, SQL_C_SSHORT, F2, sizeof(SQLSMALLINT), Ind[4]);
    SQLBindCol(S, 6, SQL_C_DOUBLE, Psal, sizeof(double), Ind[5]);
    SQLBindCol(S, 7, SQL_C_SSHORT, F3, sizeof(SQLSMALLINT), Ind[6]);
    TChecksum C;
    SQLRETURN Rc;
    while (SQL_SUCCEEDED(Rc = SQLFetch(S))) {
        for (SQLULEN i = 0; i < Fetched; ++i) {
            C.Ints += Id[i] + F1[i] + F2[i] + F3[i];
            C.Reals += Pres[i] + Temp[i] + Psal[i];
        }
        C.Rows += static_cast<long long>(Fetched);
    }
    if (Rc != SQL_NO_DATA)
        Die("fetch failed: " + TOdbc::Diag(SQL_HANDLE_STMT, S));
    SQLFreeHandle(SQL_HANDLE_STMT, S);
    return C;
}

// Station names in Cyrillic and Latin, small letters only, so that plain
// SQLite's NOCASE and LIKE give the same rows in the same order as the
// driver's comparison of every letter's case: the C API is the baseline.
constexpr int NameRows = 200000;
const char *const TextSelect = "SELECT ID_Cast, StationName FROM Stations WHERE StationName LIKE '%ция 1%' OR "
                               "StationName = 'station 77' ORDER BY StationName";

void GenerateNames(const std::string &APath)
{
    sqlite3 *Db = nullptr;
    sqlite3_open(APath.c_str(), &Db);
    sqlite3_exec(Db, "CREATE TABLE Stations (ID_Cast LONG, StationName TEXT(20) COLLATE NOCASE); BEGIN", nullptr,
                 nullptr, nullptr);
    sqlite3_stmt *S = nullptr;
    sqlite3_prepare_v2(Db, "INSERT INTO Stations VALUES (?, ?)", -1, &S, nullptr);
    for (int i = 0; i < NameRows; ++i) {
        const std::string Name = (i % 2 ? "станция " : "station ") + std::to_string((i * 7919) % NameRows);
        sqlite3_bind_int(S, 1, i);
        sqlite3_bind_text(S, 2, Name.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(S) != SQLITE_DONE)
            Die("cannot write the station names");
        sqlite3_reset(S);
    }
    sqlite3_finalize(S);
    sqlite3_exec(Db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(Db);
}

// Rows, and their keys and name lengths weighted by their place.
void AddTextRow(TChecksum &C, long long AId, size_t ANameBytes)
{
    C.Ints += AId * (C.Rows % 1000 + 1) + static_cast<long long>(ANameBytes);
    ++C.Rows;
}

TChecksum TextSelectCApi(const std::string &APath)
{
    sqlite3 *Db = nullptr;
    sqlite3_open_v2(APath.c_str(), &Db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *S = nullptr;
    sqlite3_prepare_v2(Db, TextSelect, -1, &S, nullptr);
    TChecksum C;
    while (sqlite3_step(S) == SQLITE_ROW)
        AddTextRow(C, sqlite3_column_int(S, 0), static_cast<size_t>(sqlite3_column_bytes(S, 1)));
    sqlite3_finalize(S);
    sqlite3_close(Db);
    return C;
}

TChecksum TextSelectOdbc(TOdbc &O)
{
    SQLINTEGER Id[Rowset];
    char Name[Rowset][64];
    SQLLEN IdInd[Rowset], NameInd[Rowset];
    SQLULEN Fetched = 0;
    const SQLHSTMT S = ExecRowsets(O, TextSelect, Fetched);
    SQLBindCol(S, 1, SQL_C_SLONG, Id, sizeof(SQLINTEGER), IdInd);
    SQLBindCol(S, 2, SQL_C_CHAR, Name, sizeof Name[0], NameInd);
    TChecksum C;
    while (SQL_SUCCEEDED(SQLFetch(S)))
        for (SQLULEN i = 0; i < Fetched; ++i)
            AddTextRow(C, Id[i], static_cast<size_t>(NameInd[i]));
    SQLFreeHandle(SQL_HANDLE_STMT, S);
    return C;
}

// ASpan: the rows are taken from the first ASpan of the table.
void UpdateByKey(TOdbc &O, int ARound, int ASpan = Rows)
{
    SQLHSTMT S;
    SQLAllocHandle(SQL_HANDLE_STMT, O.Dbc, &S);
    if (!SQL_SUCCEEDED(SQLPrepare(S, (SQLCHAR *)"UPDATE PTS_Data SET FTEMP = ? WHERE ID_Cast = ? AND PRES = ?", SQL_NTS)))
        Die("prepare failed: " + TOdbc::Diag(SQL_HANDLE_STMT, S));
    SQLSMALLINT Flag = 0;
    SQLINTEGER Cast = 0;
    double Pres = 0;
    SQLBindParameter(S, 1, SQL_PARAM_INPUT, SQL_C_SSHORT, SQL_SMALLINT, 0, 0, &Flag, 0, nullptr);
    SQLBindParameter(S, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &Cast, 0, nullptr);
    SQLBindParameter(S, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &Pres, 0, nullptr);
    for (int i = 0; i < Updates; ++i) {
        const int Row = (i * 7919 + ARound * 104729) % ASpan;
        Cast = 1 + Row / LevelsPerCast;
        Pres = 2.5 * (Row % LevelsPerCast);
        Flag = static_cast<SQLSMALLINT>(1 + (i + ARound) % 4);
        if (SQLExecute(S) != SQL_SUCCESS)
            Die("update touched no row: " + TOdbc::Diag(SQL_HANDLE_STMT, S));
    }
    SQLFreeHandle(SQL_HANDLE_STMT, S);
}

// The flag write-back's way: each UPDATE a new text, run with SQLExecDirect;
// with AHandlePerText on a handle of its own that asks for the row count, as
// the client components send it.
void UpdateByText(TOdbc &O, int ARound, bool AHandlePerText = false)
{
    SQLHSTMT S = SQL_NULL_HSTMT;
    if (!AHandlePerText)
        SQLAllocHandle(SQL_HANDLE_STMT, O.Dbc, &S);
    char Sql[200];
    for (int i = 0; i < Updates; ++i) {
        const int Row = (i * 7919 + ARound * 104729) % Rows;
        std::snprintf(Sql, sizeof Sql, "Update PTS_Data Set FPRES=%d, FTEMP=%d, FPSAL=0 where ID_Cast = %dand PRES = %g",
                      (i + ARound) % 4, 1 + (i + ARound) % 3, 1 + Row / LevelsPerCast, 2.5 * (Row % LevelsPerCast));
        if (AHandlePerText)
            SQLAllocHandle(SQL_HANDLE_STMT, O.Dbc, &S);
        if (SQLExecDirect(S, (SQLCHAR *)Sql, SQL_NTS) != SQL_SUCCESS)
            Die(std::string("update touched no row: ") + Sql + " " + TOdbc::Diag(SQL_HANDLE_STMT, S));
        if (AHandlePerText) {
            SQLLEN Count = 0;
            if (SQLRowCount(S, &Count) != SQL_SUCCESS || Count != 1)
                Die(std::string("update counted no row: ") + Sql);
            SQLFreeHandle(SQL_HANDLE_STMT, S);
        }
    }
    if (!AHandlePerText)
        SQLFreeHandle(SQL_HANDLE_STMT, S);
}

// The flag write-back's way now: one handle kept for all texts; before each
// new text the cursor is closed and the rowset attributes set and read back,
// after it the row count, the column count and the next result are asked for.
// Pressures are written as the write-back writes them (shortest round trip).
// The rows of a few casts, whose pages stay in memory: the driver's own
// work per statement is then what differs from the bare loop.
void UpdateByTextKeptHandle(TOdbc &O, int ARound, int ASpan)
{
    SQLHSTMT S = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, O.Dbc, &S);
    std::string Sql;
    char Number[64];
    for (int i = 0; i < Updates; ++i) {
        const int Row = (i * 7919 + ARound * 104729) % ASpan;
        Sql = "Update PTS_Data Set FPRES=" + std::to_string((i + ARound) % 4) + ", FTEMP=" +
              std::to_string(1 + (i + ARound) % 3) + ", FPSAL=0 where ID_Cast = " +
              std::to_string(1 + Row / LevelsPerCast) + "and PRES = ";
        const auto Res = std::to_chars(Number, Number + sizeof Number, 2.5 * (Row % LevelsPerCast));
        Sql.append(Number, Res.ptr);
        SQLFreeStmt(S, SQL_CLOSE);
        SQLSetStmtAttr(S, SQL_ATTR_MAX_ROWS, reinterpret_cast<SQLPOINTER>(0), 0);
        SQLSetStmtAttr(S, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
        SQLULEN ArraySize = 0;
        SQLGetStmtAttr(S, SQL_ATTR_ROW_ARRAY_SIZE, &ArraySize, 0, nullptr);
        if (!SQL_SUCCEEDED(SQLPrepare(S, (SQLCHAR *)Sql.c_str(), SQL_NTS)) || SQLExecute(S) != SQL_SUCCESS)
            Die("update touched no row: " + Sql + " " + TOdbc::Diag(SQL_HANDLE_STMT, S));
        SQLLEN Count = 0;
        SQLSMALLINT Cols = -1;
        if (SQLRowCount(S, &Count) != SQL_SUCCESS || Count != 1 || SQLNumResultCols(S, &Cols) != SQL_SUCCESS ||
            Cols != 0 || SQLMoreResults(S) != SQL_NO_DATA)
            Die("update counted no row: " + Sql);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, S);
}

// The updates of one round in one transaction: no commit per statement, so
// that what remains is the driver's work per statement and SQLite's per row.
void InTransaction(TOdbc &O, const std::function<void()> &AWork)
{
    SQLSetConnectAttr(O.Dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    AWork();
    if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, O.Dbc, SQL_COMMIT)))
        Die("commit failed: " + TOdbc::Diag(SQL_HANDLE_DBC, O.Dbc));
    SQLSetConnectAttr(O.Dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
}

double Seconds(const std::function<void()> &AWork)
{
    const auto T0 = std::chrono::steady_clock::now();
    AWork();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
}

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

// One way to the same answer, timed once per run into Times.
struct TRoute {
    std::vector<double> *Times;
    std::function<void(int ARun)> Work;
};

// Five runs of the routes, numbered from AFirst: in the order given, then
// the other way round, and so on, so that neither order favours a route.
void Alternate(int AFirst, std::vector<TRoute> ARoutes)
{
    for (int Run = AFirst; Run < AFirst + 5; ++Run) {
        for (const TRoute &R : ARoutes)
            R.Times->push_back(Seconds([&] { R.Work(Run); }));
        std::reverse(ARoutes.begin(), ARoutes.end());
    }
}

// Alternate with two routes, each run in a transaction of its own.
void AlternateInTransaction(TOdbc &O, int AFirst, std::vector<double> &ATimesA, const std::function<void(int)> &AA,
                            std::vector<double> &ATimesB, const std::function<void(int)> &AB)
{
    Alternate(AFirst, {{&ATimesA, [&](int ARun) { InTransaction(O, [&] { AA(ARun); }); }},
                       {&ATimesB, [&](int ARun) { InTransaction(O, [&] { AB(ARun); }); }}});
}

} // namespace

int main()
{
    const auto Dir = std::filesystem::temp_directory_path() / ("odbc_driver_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
    const std::string Path = (Dir / "pts.mdb").string();
    Generate(Path);
    GenerateNames(Path);

    TOdbc Ours("DRIVER={Microsoft Access Driver (*.mdb)};ExtendedAnsiSQL=1;DBQ=" + Path);
    TOdbc Theirs("DRIVER=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;Database=" + Path);

    const TChecksum Expected = FetchCApi(Path);
    if (Expected.Rows != Rows)
        Die("the C API read a wrong row count");
    // Warm-up of every route, checking each one's answer.
    if (!(FetchOdbc(Ours) == Expected))
        Die("our driver returned other values than the C API");
    if (!(FetchOdbc(Theirs) == Expected))
        Die("libsqliteodbc returned other values than the C API");

    std::vector<double> TOurs, TTheirs, TCApi;
    Alternate(0, {{&TOurs, [&](int) { FetchOdbc(Ours); }},
                  {&TTheirs, [&](int) { FetchOdbc(Theirs); }},
                  {&TCApi, [&](int) { FetchCApi(Path); }}});
    const double MOurs = Median(TOurs), MTheirs = Median(TTheirs), MCApi = Median(TCApi);
    std::printf("fetch_ours: %.1f ms\n", MOurs * 1000);
    std::printf("fetch_sqliteodbc: %.1f ms\n", MTheirs * 1000);
    std::printf("fetch_sqlite_capi: %.1f ms\n", MCApi * 1000);
    std::printf("ratio sqliteodbc_time_over_ours: %.2f\n", MTheirs / MOurs);
    std::printf("ratio sqlite_capi_time_over_ours: %.2f\n", MCApi / MOurs);

    const TChecksum TextExpected = TextSelectCApi(Path);
    if (TextExpected.Rows == 0 || !(TextSelectOdbc(Ours) == TextExpected))
        Die("our driver's text select returned other rows than the C API");
    std::vector<double> TTextOurs, TTextCApi;
    Alternate(0, {{&TTextOurs, [&](int) { TextSelectOdbc(Ours); }}, {&TTextCApi, [&](int) { TextSelectCApi(Path); }}});
    std::printf("text_select_ours: %.1f ms\n", Median(TTextOurs) * 1000);
    std::printf("text_select_sqlite_capi: %.1f ms\n", Median(TTextCApi) * 1000);
    std::printf("ratio sqlite_capi_time_over_ours_text_select: %.2f\n", Median(TTextCApi) / Median(TTextOurs));

    UpdateByKey(Ours, 0); // warm-up
    std::vector<double> TUpd;
    for (int Run = 1; Run <= 5; ++Run)
        TUpd.push_back(Seconds([&] { UpdateByKey(Ours, Run); }));
    std::printf("updates_autocommit: %.0f updates/s\n", Updates / Median(TUpd));

    UpdateByText(Ours, 0); // warm-up
    std::vector<double> TText;
    for (int Run = 1; Run <= 5; ++Run)
        TText.push_back(Seconds([&] { UpdateByText(Ours, Run); }));
    std::printf("updates_autocommit_sql_text: %.0f updates/s\n", Updates / Median(TText));
    // Texts that differ only in their values run at the speed of one prepared statement.
    std::printf("ratio sql_text_over_prepared_updates: %.2f\n", Median(TUpd) / Median(TText));

    // In one transaction, alternating, the driver's own cost per statement shows.
    InTransaction(Ours, [&] { UpdateByKey(Ours, 6); UpdateByText(Ours, 6, true); }); // warm-up
    std::vector<double> TKeyTx, TTextTx;
    AlternateInTransaction(Ours, 7, TKeyTx, [&](int ARun) { UpdateByKey(Ours, ARun); }, TTextTx,
                           [&](int ARun) { UpdateByText(Ours, ARun, true); });
    std::printf("updates_in_transaction: %.0f updates/s\n", Updates / Median(TKeyTx));
    std::printf("updates_in_transaction_sql_text_handle_each: %.0f updates/s\n", Updates / Median(TTextTx));
    std::printf("ratio sql_text_over_prepared_updates_in_transaction: %.2f\n", Median(TKeyTx) / Median(TTextTx));

    // The same on one kept handle, as the write-back sends its texts now.
    constexpr int HotRows = 2000;
    InTransaction(Ours, [&] { UpdateByTextKeptHandle(Ours, 12, HotRows); }); // warm-up
    std::vector<double> TKeyTx2, TKeptTx;
    AlternateInTransaction(Ours, 13, TKeyTx2, [&](int ARun) { UpdateByKey(Ours, ARun, HotRows); }, TKeptTx,
                           [&](int ARun) { UpdateByTextKeptHandle(Ours, ARun, HotRows); });
    std::printf("updates_in_transaction_sql_text_kept_handle: %.0f updates/s\n", Updates / Median(TKeptTx));
    std::printf("sql_text_kept_handle_cost_over_prepared: %.2f us/update\n",
                (Median(TKeptTx) - Median(TKeyTx2)) / Updates * 1e6);
    std::printf("ratio sql_text_kept_handle_over_prepared_updates_in_transaction: %.2f\n", Median(TKeyTx2) / Median(TKeptTx));

    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
    return 0;
}
