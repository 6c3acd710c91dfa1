// Fixture helpers of the driver tests.
#include "tests/accessodbc/OdbcFixture.h"

#include <fstream>
#include <unistd.h>

void TOdbcTest::SetUp()
{
    const auto *Info = ::testing::UnitTest::GetInstance()->current_test_info();
    Dir = std::filesystem::temp_directory_path() /
          ("accessodbc_" + std::to_string(::getpid()) + "_" + Info->test_suite_name() + "_" + Info->name());
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir);
    DbPath = (Dir / "black2007.mdb").string();
    std::ofstream(DbPath).close(); // an empty file is a new station database
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &Env)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetEnvAttr(Env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, Env, &Dbc)));
    const SQLRETURN Rc = Connect(DbPath);
    ASSERT_TRUE(SQL_SUCCEEDED(Rc)) << Diag(SQL_HANDLE_DBC, Dbc).Message;
}

void TOdbcTest::TearDown()
{
    if (Dbc) {
        SQLDisconnect(Dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, Dbc);
    }
    if (Env)
        SQLFreeHandle(SQL_HANDLE_ENV, Env);
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
}

std::string TOdbcTest::ConnectString(const std::string &APath)
{
    return "DRIVER={Microsoft Access Driver (*.mdb)};ExtendedAnsiSQL=1;DBQ=" + APath;
}

SQLRETURN TOdbcTest::Connect(const std::string &APath)
{
    const std::string S = ConnectString(APath);
    SQLCHAR Out[1024];
    SQLSMALLINT OutLen = 0;
    return SQLDriverConnect(Dbc, nullptr, (SQLCHAR *)S.c_str(), SQL_NTS, Out, sizeof Out, &OutLen, SQL_DRIVER_NOPROMPT);
}

TDiagInfo TOdbcTest::Diag(SQLSMALLINT AType, SQLHANDLE AHandle, SQLSMALLINT ARec)
{
    TDiagInfo D;
    SQLCHAR State[6] = {};
    SQLINTEGER Native = 0;
    SQLCHAR Msg[1024] = {};
    SQLSMALLINT Len = 0;
    if (SQL_SUCCEEDED(SQLGetDiagRec(AType, AHandle, ARec, State, &Native, Msg, sizeof Msg, &Len))) {
        D.State = reinterpret_cast<char *>(State);
        D.Native = Native;
        D.Message = reinterpret_cast<char *>(Msg);
    }
    return D;
}

SQLHSTMT TOdbcTest::NewStmt()
{
    SQLHSTMT S = SQL_NULL_HSTMT;
    EXPECT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, Dbc, &S)));
    return S;
}

void TOdbcTest::Free(SQLHSTMT AStmt) { SQLFreeHandle(SQL_HANDLE_STMT, AStmt); }

SQLRETURN TOdbcTest::Try(const std::string &ASql, TDiagInfo *ADiag)
{
    SQLHSTMT S = NewStmt();
    const SQLRETURN Rc = SQLExecDirect(S, (SQLCHAR *)ASql.c_str(), SQL_NTS);
    if (ADiag)
        *ADiag = Diag(SQL_HANDLE_STMT, S);
    Free(S);
    return Rc;
}

void TOdbcTest::Exec(const std::string &ASql)
{
    TDiagInfo D;
    const SQLRETURN Rc = Try(ASql, &D);
    ASSERT_TRUE(SQL_SUCCEEDED(Rc)) << ASql << "\n -> " << Rc << " " << D.State << " " << D.Native << " " << D.Message;
}

SQLLEN TOdbcTest::RowCountOf(const std::string &ASql)
{
    SQLHSTMT S = NewStmt();
    const SQLRETURN Rc = SQLExecDirect(S, (SQLCHAR *)ASql.c_str(), SQL_NTS);
    EXPECT_TRUE(SQL_SUCCEEDED(Rc) || Rc == SQL_NO_DATA) << ASql << " " << Diag(SQL_HANDLE_STMT, S).Message;
    SQLLEN N = -2;
    SQLRowCount(S, &N);
    Free(S);
    return N;
}

std::vector<std::vector<std::string>> TOdbcTest::Query(const std::string &ASql)
{
    std::vector<std::vector<std::string>> Rows;
    SQLHSTMT S = NewStmt();
    const SQLRETURN Rc = SQLExecDirect(S, (SQLCHAR *)ASql.c_str(), SQL_NTS);
    EXPECT_TRUE(SQL_SUCCEEDED(Rc)) << ASql << "\n -> " << Diag(SQL_HANDLE_STMT, S).Message;
    SQLSMALLINT Cols = 0;
    SQLNumResultCols(S, &Cols);
    while (SQL_SUCCEEDED(Rc) && SQL_SUCCEEDED(SQLFetch(S))) {
        std::vector<std::string> Row;
        for (SQLUSMALLINT c = 1; c <= Cols; ++c) {
            char Buf[4096];
            SQLLEN Ind = 0;
            const SQLRETURN G = SQLGetData(S, c, SQL_C_CHAR, Buf, sizeof Buf, &Ind);
            EXPECT_TRUE(SQL_SUCCEEDED(G));
            Row.push_back(Ind == SQL_NULL_DATA ? "<null>" : std::string(Buf));
        }
        Rows.push_back(Row);
    }
    Free(S);
    return Rows;
}

void TOdbcTest::MakeStationFixture()
{
    Exec("CREATE TABLE Countries (Country_Code Text(4), NAME Text(50), PRIMARY KEY (Country_Code))");
    Exec("CREATE TABLE Ships (Ship_Code Text(4), Ship_Name Text(50), PRIMARY KEY (Ship_Code))");
    Exec("CREATE TABLE Cruise_Titles (ID_Cruise Long, Cruise_Name Text(50), MAR Text(20), Ship_Code Text(4), "
         "Country_Code Text(4), PRIMARY KEY (ID_Cruise))");
    Exec("CREATE TABLE Cast_Titles (ID_Cast Long, ID_Cruise Long, Date_Cast DateTime, Time_Cast DateTime, Lon Double, "
         "Lat Double, Depth Double, StationName Text(30), Velosity Double, FLon Short, FLat Short, FDT Short, FD Short, "
         "PRIMARY KEY (ID_Cast))");
    Exec("CREATE TABLE \"Parameters\" (ID_Cast Long, ParamAbr Text(10), ParName Text(50), Unit Text(20))");
    Exec("CREATE TABLE PTS_Data (ID_Cast Long, PRES Double, FPRES Short, TEMP Double, FTEMP Short, PSAL Double, "
         "FPSAL Short, PRIMARY KEY (ID_Cast, PRES))");
    Exec("CREATE TABLE DOX1 (ID_Cast Long, PRES Double, FPRES Short, DOX1 Double, FDOX1 Short, PRIMARY KEY (ID_Cast, PRES))");
    Exec("INSERT INTO Countries VALUES ('UA', 'Ukraine')");
    Exec("INSERT INTO Countries VALUES ('BG', 'Bulgaria')");
    Exec("INSERT INTO Ships VALUES ('S1', 'Akademik')");
    Exec("INSERT INTO Ships VALUES ('S2', 'Bora')");
    Exec("INSERT INTO Cruise_Titles VALUES (17, 'BS07-A', 'M17', 'S1', 'UA')");
    Exec("INSERT INTO Cruise_Titles VALUES (18, 'bs07-B', 'M18', 'S2', 'BG')");
    Exec("INSERT INTO Cruise_Titles VALUES (19, 'MED08', 'M19', 'S2', 'UA')");
    Exec("INSERT INTO Cast_Titles VALUES (4711, 17, #7/3/2007#, #06.15.00#, 30.5, 43.1, 120, 'St 1', Null, 0, 0, 0, 0)");
    Exec("INSERT INTO Cast_Titles VALUES (4712, 17, #7/9/2007#, #18:40:30#, 31.25, 44.0, 9999, 'St 2', Null, 0, 0, 0, 0)");
    Exec("INSERT INTO Cast_Titles VALUES (4801, 18, #7/3/2007#, #06.15.00#, 30.52, 43.12, 80, 'Dup', Null, 0, 0, 0, 0)");
    Exec("INSERT INTO Cast_Titles VALUES (4802, 18, #8/1/2007#, #12.00.00#, 30.0, 43.2, 50, 'Aug', Null, 0, 0, 0, 0)");
    Exec("INSERT INTO \"Parameters\" VALUES (4711, 'TEMP', 'Temperature', 'deg C')");
    Exec("INSERT INTO \"Parameters\" VALUES (4711, 'PSAL', 'Salinity', 'psu')");
    Exec("INSERT INTO \"Parameters\" VALUES (4711, 'DOX1', 'Oxygen', 'ml/l')");
    Exec("INSERT INTO \"Parameters\" VALUES (4712, 'TEMP', 'Temperature', 'deg C')");
    Exec("INSERT INTO PTS_Data VALUES (4711, 20.4, 0, 8.1, 0, 18.3, 0)");
    Exec("INSERT INTO PTS_Data VALUES (4711, 10.2, 0, 8.5, 0, 18.1, 0)");
    Exec("INSERT INTO PTS_Data VALUES (4712, 5, 0, 9.0, 2, 18.0, 0)");
    Exec("INSERT INTO DOX1 VALUES (4711, 10.2, 0, 6.1, 0)");
    Exec("INSERT INTO DOX1 VALUES (4711, 20.4, 0, 5.9, 3)");
}
