// Jet's answers where SQLite's would differ: truth values, misspelt names,
// functions the driver does not translate, division by zero, dates joined
// with &; table names that are also function names; and station database
// files the driver must open as they are: read-only, in a folder with '}'
// in its name, or locked by another session while the catalog is read.
#include "tests/accessodbc/OdbcFixture.h"
#include "tests/support/query_fixture.h"

#include <sqlite3.h>

#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using TRows = std::vector<std::vector<std::string>>;

class JetAnswers : public TOdbcTest {
protected:
    void SetUp() override
    {
        TOdbcTest::SetUp();
        Exec("CREATE TABLE C (ID Long, Depth Double, Station Text(20), D DateTime, Price Currency, PRIMARY KEY (ID))");
        Exec("INSERT INTO C VALUES (1, 120, 'St 1', #3/7/2007 14:05:09#, 1.5)");
        Exec("INSERT INTO C VALUES (2, 2500, Null, #3/8/2007#, 2)");
        Exec("INSERT INTO C VALUES (3, 0, 'St 3', #14:05:09#, 3)");
        Exec("INSERT INTO C VALUES (4, 3100, 'St 4', Null, 4)");
    }
};

TEST_F(JetAnswers, AComparisonIsMinusOneOrZeroAsTrueIsMinusOne)
{
    EXPECT_EQ(Query("SELECT Count(*) FROM C WHERE (Depth > 0) = True"), (TRows{{"3"}}));
    EXPECT_EQ(Query("SELECT Count(*) FROM C WHERE (Depth > 0) = False"), (TRows{{"1"}}));
    EXPECT_EQ(Query("SELECT -Sum(Depth > 2000) FROM C"), (TRows{{"2"}}));
    EXPECT_EQ(Query("SELECT Depth > 2000 AS Deep, Not (Depth > 2000), (Depth > 0) And (Depth < 1000) FROM C WHERE ID = 1"),
              (TRows{{"0", "-1", "-1"}}));
    EXPECT_EQ(Query("SELECT IIf(Depth > 2000, 'deep', 'shelf') FROM C WHERE ID IN (1, 2) ORDER BY ID"),
              (TRows{{"shelf"}, {"deep"}}));
    // Conditions keep their meaning, subqueries included.
    EXPECT_EQ(Query("SELECT ID FROM C WHERE Depth BETWEEN 100 AND 2600 AND NOT Station IS NULL ORDER BY ID"),
              (TRows{{"1"}}));
    EXPECT_EQ(Query("SELECT ID FROM C WHERE ID = (SELECT Max(ID) FROM C WHERE (Depth > 3000) = True)"), (TRows{{"4"}}));
    Exec("UPDATE C SET Price = (Depth > 2000) WHERE ID = 2");
    EXPECT_EQ(Query("SELECT Price FROM C WHERE ID = 2"), (TRows{{"-1"}}));
}

TEST_F(JetAnswers, AMisspeltBracketedNameIsAMissingParameterNotAText)
{
    TDiagInfo D;
    EXPECT_EQ(Try("SELECT [Stationn] FROM C", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "07002");
    EXPECT_EQ(D.Native, -3010);
    EXPECT_EQ(Try("SELECT ID FROM C WHERE [Stationn] = 'St 1'", &D), SQL_ERROR);
    EXPECT_EQ(D.Native, -3010);
    EXPECT_EQ(Try("UPDATE C SET Station = \"Dpeth\" WHERE ID = 1", &D), SQL_ERROR);
    EXPECT_EQ(D.Native, -3010);
    EXPECT_EQ(Query("SELECT [Station] FROM C WHERE ID = 1"), (TRows{{"St 1"}}));
}

TEST_F(JetAnswers, UntranslatedFunctionsDivisionByZeroNzAndDatesJoined)
{
    TDiagInfo D;
    for (const char *Sql : {"SELECT Format(Depth, '0.0') FROM C", "SELECT Hex(ID) FROM C", "SELECT Typeof(ID) FROM C"}) {
        EXPECT_EQ(Try(Sql, &D), SQL_ERROR) << Sql;
        EXPECT_EQ(D.Native, -3085) << Sql;
        EXPECT_NE(D.Message.find("Undefined function"), std::string::npos) << D.Message;
    }
    EXPECT_EQ(Try("SELECT 1/0 FROM C", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "22012");
    EXPECT_EQ(Try("SELECT Depth / (ID - 1) FROM C", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "22012");
    EXPECT_EQ(Try("SELECT ID Mod 0 FROM C", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "22012");
    EXPECT_EQ(Query("SELECT Depth / -ID, 7 Mod ID, Depth / Null FROM C WHERE ID = 2"), (TRows{{"-1250", "1", "<null>"}}));

    EXPECT_EQ(Query("SELECT Nz(Station), Nz(Station, '-'), Nz(Station) & '|' FROM C WHERE ID = 2"),
              (TRows{{"", "-", "|"}}));
    EXPECT_EQ(Query("SELECT Nz(D), Nz(Depth), Nz(D, 0) FROM C WHERE ID = 4"), (TRows{{"", "3100", "0"}}));
    EXPECT_EQ(Query("SELECT 'Cast ' & ID & ' on ' & D FROM C ORDER BY ID"),
              (TRows{{"Cast 1 on 3/7/2007 2:05:09 PM"}, {"Cast 2 on 3/8/2007"}, {"Cast 3 on 2:05:09 PM"}, {"Cast 4 on "}}));
    EXPECT_EQ(Query("SELECT C.D & '|' & #12/31/1999 23:59:00# & '|' & DateAdd('d', 1, D) FROM C WHERE ID = 2"),
              (TRows{{"3/8/2007|12/31/1999 11:59:00 PM|3/9/2007"}}));
    EXPECT_EQ(Query("SELECT Month(D) & '/' & Year(D) FROM C WHERE ID = 1"), (TRows{{"3/2007"}}));
}

TEST_F(JetAnswers, ATableNamedLikeAFunctionKeepsItsName)
{
    Exec("CREATE TABLE Month (ID Long, Name Text(10))");
    Exec("INSERT INTO Month (ID, Name) VALUES (3, 'March')");
    EXPECT_EQ(Query("SELECT Name FROM Month WHERE ID = Month(#3/1/2007#)"), (TRows{{"March"}}));
    EXPECT_EQ(querytest::SqliteRows(DbPath, "SELECT name FROM sqlite_master WHERE type = 'table' AND name LIKE '%month%'"),
              (TRows{{"Month"}}));
}

TEST_F(JetAnswers, AnEmptySelectItemIsASyntaxErrorAlsoWithCurrencyColumns)
{
    Exec("CREATE TABLE P (ID Long, Price Currency)");
    TDiagInfo D;
    EXPECT_EQ(Try("INSERT INTO P SELECT ID, FROM C", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "42000");
    EXPECT_EQ(Try("INSERT INTO P (ID, Price) SELECT ID, FROM C", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "42000");
}

// ---- files ------------------------------------------------------------------------------------

class StationFiles : public TOdbcTest {
protected:
    // A station database with one table, written and closed, in WAL mode as
    // the driver leaves it.
    std::string MakeDatabase(const std::filesystem::path &AFolder)
    {
        std::filesystem::create_directories(AFolder);
        const std::string Path = (AFolder / "med2008.mdb").string();
        SQLHDBC Other = SQL_NULL_HDBC;
        EXPECT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, Env, &Other)));
        std::ofstream(Path).close();
        std::swap(Dbc, Other);
        EXPECT_TRUE(SQL_SUCCEEDED(ConnectTo(Dbc, Braced(Path))));
        Exec("CREATE TABLE Casts (ID Long, Station Text(20))");
        Exec("INSERT INTO Casts VALUES (1, 'Θεσσαλονίκη')");
        Exec("INSERT INTO Casts VALUES (2, 'İzmir')");
        SQLDisconnect(Dbc);
        std::swap(Dbc, Other);
        SQLFreeHandle(SQL_HANDLE_DBC, Other);
        return Path;
    }
    // The connect string as the library writes it: the path in braces, a '}' doubled.
    static std::string Braced(const std::string &APath)
    {
        std::string Escaped;
        for (const char C : APath)
            Escaped += C == '}' ? std::string("}}") : std::string(1, C);
        return "DRIVER={Microsoft Access Driver (*.mdb)};ExtendedAnsiSQL=1;DBQ={" + Escaped + "};UID=admin";
    }
    SQLRETURN ConnectTo(SQLHDBC ADbc, const std::string &AConnectString)
    {
        return SQLDriverConnect(ADbc, nullptr, (SQLCHAR *)AConnectString.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                SQL_DRIVER_NOPROMPT);
    }
};

TEST_F(StationFiles, APathWithABraceConnectsThroughTheEscapedConnectString)
{
    const std::string Path = MakeDatabase(Dir / "cruise}2008 {med}");
    SQLDisconnect(Dbc);
    ASSERT_TRUE(SQL_SUCCEEDED(ConnectTo(Dbc, Braced(Path)))) << Diag(SQL_HANDLE_DBC, Dbc).Message;
    EXPECT_EQ(Query("SELECT Station FROM Casts WHERE ID = 2"), (TRows{{"İzmir"}}));
}

TEST_F(StationFiles, ReadOnlyOneOpensWithoutWritingAndSaysWhyAWriteIsRefused)
{
    const std::string Path = MakeDatabase(Dir / "ro");
    SQLDisconnect(Dbc);
    // Nothing may be created beside the file: no log, no shared-memory index.
    std::filesystem::remove(Path + "-wal");
    std::filesystem::remove(Path + "-shm");
    ASSERT_TRUE(SQL_SUCCEEDED(ConnectTo(Dbc, ConnectString(Path) + ";ReadOnly=1"))) << Diag(SQL_HANDLE_DBC, Dbc).Message;
    EXPECT_EQ(Query("SELECT Station FROM Casts ORDER BY ID"), (TRows{{"Θεσσαλονίκη"}, {"İzmir"}}));
    TDiagInfo D;
    EXPECT_EQ(Try("UPDATE Casts SET Station = 'Pireas' WHERE ID = 1", &D), SQL_ERROR);
    EXPECT_EQ(D.Native, -1019);
    EXPECT_NE(D.Message.find("read-only (ReadOnly=1)"), std::string::npos) << D.Message;
    EXPECT_EQ(Query("SELECT Count(*) FROM Casts WHERE Station = 'Pireas'"), (TRows{{"0"}}));
}

namespace {

// Opens the database as a user who cannot write the folder, reads it and
// tries a write; the answer travels back as the exit status (0 = as expected).
int ReadOnlyFolderProbe(const std::string &AConnectString, const std::string &AWhy)
{
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
        return 10;
    SQLHENV E = SQL_NULL_HENV;
    SQLHDBC C = SQL_NULL_HDBC;
    SQLHSTMT S = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &E);
    SQLSetEnvAttr(E, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, E, &C);
    if (!SQL_SUCCEEDED(SQLDriverConnect(C, nullptr, (SQLCHAR *)AConnectString.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                        SQL_DRIVER_NOPROMPT)))
        return 11;
    SQLAllocHandle(SQL_HANDLE_STMT, C, &S);
    if (!SQL_SUCCEEDED(SQLExecDirect(S, (SQLCHAR *)"SELECT Count(*) FROM Casts", SQL_NTS)) || !SQL_SUCCEEDED(SQLFetch(S)))
        return 12;
    SQLINTEGER N = 0;
    SQLGetData(S, 1, SQL_C_SLONG, &N, 0, nullptr);
    if (N != 2)
        return 13;
    SQLFreeStmt(S, SQL_CLOSE);
    if (SQLExecDirect(S, (SQLCHAR *)"DELETE FROM Casts", SQL_NTS) != SQL_ERROR)
        return 14;
    SQLCHAR State[6] = {}, Msg[1024] = {};
    SQLINTEGER Native = 0;
    SQLSMALLINT Len = 0;
    SQLGetDiagRec(SQL_HANDLE_STMT, S, 1, State, &Native, Msg, sizeof Msg, &Len);
    if (Native != -1019 || std::string(reinterpret_cast<char *>(Msg)).find(AWhy) == std::string::npos)
        return 15;
    SQLFreeHandle(SQL_HANDLE_STMT, S);
    SQLDisconnect(C);
    SQLFreeHandle(SQL_HANDLE_DBC, C);
    SQLFreeHandle(SQL_HANDLE_ENV, E);
    return 0;
}

} // namespace

TEST_F(StationFiles, ADatabaseInAFolderThatCannotBeWrittenIsOpenedAndRead)
{
    const std::filesystem::path Folder = Dir / "cd";
    const std::string Path = MakeDatabase(Folder);
    SQLDisconnect(Dbc);
    std::filesystem::remove(Path + "-wal");
    std::filesystem::remove(Path + "-shm");
    // Readable by everyone, writable by no one, as a CD or a read-only share.
    ::chmod(Dir.c_str(), 0755);
    ::chmod(Path.c_str(), 0444);
    ::chmod(Folder.c_str(), 0555);
    for (const std::string &Extra : {std::string(), std::string(";ReadOnly=1")}) {
        const std::string Why = Extra.empty() ? "cannot be written" : "(ReadOnly=1)";
        const pid_t Child = ::fork();
        ASSERT_GE(Child, 0);
        if (Child == 0)
            ::_exit(ReadOnlyFolderProbe(ConnectString(Path) + Extra, Why));
        int Status = 0;
        ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
        ASSERT_TRUE(WIFEXITED(Status));
        EXPECT_EQ(WEXITSTATUS(Status), 0) << "with '" << Extra << "'";
    }
    EXPECT_FALSE(std::filesystem::exists(Path + "-wal"));
    ::chmod(Folder.c_str(), 0755);
}

TEST_F(StationFiles, ACatalogReadWhileAnotherSessionLocksTheFileFailsInsteadOfComingBackShort)
{
    // A file in rollback-journal mode, written by another tool and opened
    // read-only: another session's exclusive lock keeps every reader out.
    const std::string Path = (Dir / "locked.mdb").string();
    sqlite3 *Db = nullptr;
    ASSERT_EQ(sqlite3_open(Path.c_str(), &Db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(Db, "CREATE TABLE Casts (ID LONG, Station TEXT(20))", nullptr, nullptr, nullptr), SQLITE_OK);
    SQLDisconnect(Dbc);
    SQLSetConnectAttr(Dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0);
    ASSERT_TRUE(SQL_SUCCEEDED(ConnectTo(Dbc, ConnectString(Path) + ";ReadOnly=1"))) << Diag(SQL_HANDLE_DBC, Dbc).Message;
    ASSERT_EQ(sqlite3_exec(Db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    SQLHSTMT S = NewStmt();
    EXPECT_EQ(SQLTables(S, nullptr, 0, nullptr, 0, (SQLCHAR *)"%", SQL_NTS, nullptr, 0), SQL_ERROR);
    const TDiagInfo D = Diag(SQL_HANDLE_STMT, S);
    EXPECT_EQ(D.Native, -1102) << D.Message;
    EXPECT_NE(D.Message.find("locked"), std::string::npos) << D.Message;
    Free(S);
    // A second link while the lock is held: the file is in use, its format is fine.
    SQLHDBC Second = SQL_NULL_HDBC;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, Env, &Second)));
    SQLSetConnectAttr(Second, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0);
    EXPECT_EQ(ConnectTo(Second, ConnectString(Path) + ";ReadOnly=1"), SQL_ERROR);
    const TDiagInfo C = Diag(SQL_HANDLE_DBC, Second);
    EXPECT_NE(C.Message.find("already in use"), std::string::npos) << C.Message;
    EXPECT_EQ(C.Message.find("Unrecognized"), std::string::npos) << C.Message;
    SQLFreeHandle(SQL_HANDLE_DBC, Second);
    sqlite3_exec(Db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(Db);
    S = NewStmt();
    EXPECT_TRUE(SQL_SUCCEEDED(SQLTables(S, nullptr, 0, nullptr, 0, (SQLCHAR *)"Casts", SQL_NTS, nullptr, 0)));
    EXPECT_TRUE(SQL_SUCCEEDED(SQLFetch(S)));
    Free(S);
}

TEST_F(StationFiles, ADamagedFileIsAnUnrecognizedFormat)
{
    const std::string Path = MakeDatabase(Dir / "damaged");
    std::filesystem::remove(Path + "-wal");
    std::filesystem::remove(Path + "-shm");
    {
        // The header survives, the schema page does not.
        std::fstream F(Path, std::ios::in | std::ios::out | std::ios::binary);
        F.seekp(100);
        const std::string Junk(3900, '\x5a');
        F.write(Junk.data(), static_cast<std::streamsize>(Junk.size()));
    }
    SQLDisconnect(Dbc);
    EXPECT_EQ(ConnectTo(Dbc, ConnectString(Path)), SQL_ERROR);
    const TDiagInfo D = Diag(SQL_HANDLE_DBC, Dbc);
    EXPECT_EQ(D.Native, -1206) << D.Message;
    EXPECT_NE(D.Message.find("Unrecognized database format"), std::string::npos) << D.Message;
}

// Read, a file of no bytes is said to be empty; nothing is written into it or beside it.
TEST_F(StationFiles, AnEmptyFileIsSaidToBeEmptyAndStaysUntouched)
{
    std::filesystem::create_directories(Dir / "empty");
    const std::string Path = (Dir / "empty" / "black2008.mdb").string();
    std::ofstream(Path).close();
    SQLDisconnect(Dbc);
    ASSERT_TRUE(SQL_SUCCEEDED(ConnectTo(Dbc, ConnectString(Path))));
    TDiagInfo D;
    EXPECT_EQ(Try("SELECT * FROM Cruise_Titles", &D), SQL_ERROR);
    EXPECT_NE(D.Message.find("The file '" + Path + "' is empty (0 bytes): it holds no station database."),
              std::string::npos) << D.Message;
    SQLDisconnect(Dbc);
    EXPECT_EQ(std::filesystem::file_size(Path), 0u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir / "empty"), {}), 1);
}

TEST_F(StationFiles, TextColumnsOfAFileWrittenByAnotherToolRefuseWhatDoesNotFit)
{
    // The demo generator and other tools declare TEXT(n) without the check
    // the driver writes itself.
    const std::string Path = (Dir / "other.mdb").string();
    sqlite3 *Db = nullptr;
    ASSERT_EQ(sqlite3_open(Path.c_str(), &Db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(Db, "CREATE TABLE Casts (ID LONG, Station TEXT(11) COLLATE NOCASE)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(Db);
    SQLDisconnect(Dbc);
    ASSERT_TRUE(SQL_SUCCEEDED(Connect(Path))) << Diag(SQL_HANDLE_DBC, Dbc).Message;
    Exec("INSERT INTO Casts VALUES (1, 'Севастополь')");
    TDiagInfo D;
    EXPECT_EQ(Try("INSERT INTO Casts VALUES (2, 'Севастополь1')", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "22001");
    EXPECT_NE(D.Message.find("'Station' is too small"), std::string::npos) << D.Message;
    EXPECT_EQ(Try("UPDATE Casts SET Station = 'Θεσσαλονίκη!' WHERE ID = 1", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "22001");
    EXPECT_EQ(Query("SELECT Station FROM Casts"), (TRows{{"Севастополь"}}));
}
