// Driver behaviour beyond the corpus: date values, catalog, diagnostics,
// cancel, long values in pieces, truncation, transactions, refused files,
// COUNTER and @@IDENTITY, row sets, and the Jet SQL forms the dialect sends.
#include "tests/accessodbc/OdbcFixture.h"
#include "tests/support/query_fixture.h"

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

using TRows = std::vector<std::vector<std::string>>;

class DateValues : public TOdbcTest {};

TEST_F(DateValues, RoundTripBeforeAndAfterBaseDateAtMilliseconds)
{
    Exec("CREATE TABLE T (K Long, D DateTime)");
    // Jet's encoding as a second route: 1899-12-29 06:00 is -1.25 (the time
    // counts forward from midnight), 1900-01-01 12:00 is 2.5.
    const struct { SQL_TIMESTAMP_STRUCT Ts; double Jet; } Cases[] = {
        {{1899, 12, 29, 6, 0, 0, 0}, -1.25},
        {{1900, 1, 1, 12, 0, 0, 0}, 2.5},
        {{1899, 12, 30, 0, 0, 0, 1000000}, 1.0 / 86400000.0},
        {{1850, 6, 15, 23, 59, 59, 999000000}, -18095 - (86399999.0 / 86400000.0)},
        {{2007, 7, 3, 6, 15, 0, 123000000}, 39266 + (6 * 3600 + 15 * 60 + 0.123) / 86400.0},
    };
    SQLHSTMT S = NewStmt();
    ODBC_OK(SQLPrepare(S, (SQLCHAR *)"INSERT INTO T VALUES (?, ?)", SQL_NTS));
    SQLINTEGER K = 0;
    SQL_TIMESTAMP_STRUCT Ts{};
    ODBC_OK(SQLBindParameter(S, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &K, 0, nullptr));
    // The bridge binds dates with the ODBC 2 codes (11/11); both forms are taken.
    ODBC_OK(SQLBindParameter(S, 2, SQL_PARAM_INPUT, SQL_C_TIMESTAMP, SQL_TIMESTAMP, 23, 3, &Ts, 0, nullptr));
    for (const auto &C : Cases) {
        ++K;
        Ts = C.Ts;
        ODBC_OK(SQLExecute(S));
    }
    Free(S);
    S = NewStmt();
    ODBC_OK(SQLExecDirect(S, (SQLCHAR *)"SELECT K, D, CDbl(D) FROM T ORDER BY K", SQL_NTS));
    for (const auto &C : Cases) {
        ODBC_OK(SQLFetch(S));
        SQL_TIMESTAMP_STRUCT Got{};
        double Jet = 0;
        ODBC_OK(SQLGetData(S, 2, SQL_C_TYPE_TIMESTAMP, &Got, sizeof Got, nullptr));
        ODBC_OK(SQLGetData(S, 3, SQL_C_DOUBLE, &Jet, 0, nullptr));
        EXPECT_EQ(Got.year, C.Ts.year);
        EXPECT_EQ(Got.month, C.Ts.month);
        EXPECT_EQ(Got.day, C.Ts.day);
        EXPECT_EQ(Got.hour, C.Ts.hour);
        EXPECT_EQ(Got.minute, C.Ts.minute);
        EXPECT_EQ(Got.second, C.Ts.second);
        EXPECT_EQ(Got.fraction, C.Ts.fraction);
        EXPECT_NEAR(Jet, C.Jet, 1e-9) << C.Ts.year;
    }
    Free(S);
    // The literal forms give the same values as the parameters.
    EXPECT_EQ(Query("SELECT K FROM T WHERE D = #12/29/1899 06:00:00#"), (TRows{{"1"}}));
    EXPECT_EQ(Query("SELECT K FROM T WHERE D = {ts '1900-01-01 12:00:00'}"), (TRows{{"2"}}));
    EXPECT_EQ(Query("SELECT Year(D), Month(D), Day(D), Hour(D) FROM T WHERE K = 1"), (TRows{{"1899", "12", "29", "6"}}));
}

TEST_F(DateValues, JetDateFunctions)
{
    Exec("CREATE TABLE T (D DateTime)");
    Exec("INSERT INTO T VALUES (#1/31/2007 14:30:00#)");
    EXPECT_EQ(Query("SELECT DateAdd('m', 1, D), DateDiff('d', #1/1/2007#, D), DatePart('q', D), "
                    "DateValue(D), TimeValue(D) FROM T"),
              (TRows{{"2007-02-28 14:30:00", "30", "1", "2007-01-31 00:00:00", "1899-12-30 14:30:00"}}));
    EXPECT_EQ(Query("SELECT K FROM (SELECT 1 AS K FROM T WHERE D > DATEVALUE('2007-01-30')) X"), (TRows{{"1"}}));
    EXPECT_EQ(Query("SELECT Count(*) FROM T WHERE D = CDATE('2007-01-31 14:30:00')"), (TRows{{"1"}}));
}

TEST_F(DateValues, ADateStoredAsTextIsTheFetchsDateWhereverItIsComputedOrCompared)
{
    Exec("CREATE TABLE T (K Long, D DateTime, H DateTime)");
    Exec("INSERT INTO T VALUES (1, #3/2/1991#, #06.00.00#)");
    // The same moment as another tool stored it; a station of 1905 where
    // SQLite's own sum of those texts lands (1991 + 6 days); a text that is
    // no date.
    querytest::SqliteExec(DbPath, "INSERT INTO T VALUES (2, '1991-03-02', '06:00:00'), (3, 1997, 0), (4, 'soon', 0)");
    EXPECT_EQ(Query("SELECT K, CDbl(D + H) FROM T WHERE K < 4 ORDER BY K"),
              (TRows{{"1", "33299.25"}, {"2", "33299.25"}, {"3", "1997"}}));
    EXPECT_EQ(Query("SELECT K FROM T WHERE D + H = (SELECT D + H FROM T WHERE K = 1) ORDER BY K"), (TRows{{"1"}, {"2"}}));
    EXPECT_EQ(Query("SELECT K FROM T WHERE (D >= #3/1/1991#) AND (D < #3/3/1991#) AND K > 0 ORDER BY K"),
              (TRows{{"1"}, {"2"}}));
    EXPECT_EQ(Query("SELECT K FROM T WHERE D > #1/1/1990# OR K = 3 ORDER BY K"), (TRows{{"1"}, {"2"}, {"3"}}));
    EXPECT_EQ(Query("SELECT K FROM T WHERE K < 4 ORDER BY D DESC, K"), (TRows{{"1"}, {"2"}, {"3"}}));
    // A text that is no date has no value there, as the fetch finds none.
    EXPECT_EQ(Query("SELECT K, Month(D) FROM T WHERE K IN (2, 4) ORDER BY K"), (TRows{{"2", "3"}, {"4", "<null>"}}));
}

class JetSql : public TOdbcTest {
protected:
    // Runs statements on a second connection to the fixture's file, as
    // another program would.
    void ExecElsewhere(std::initializer_list<const char *> AStatements)
    {
        SQLHDBC Other = SQL_NULL_HDBC;
        ODBC_OK(SQLAllocHandle(SQL_HANDLE_DBC, Env, &Other));
        const std::string Cs = ConnectString(DbPath);
        ODBC_OK(SQLDriverConnect(Other, nullptr, (SQLCHAR *)Cs.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                 SQL_DRIVER_NOPROMPT));
        SQLHSTMT S = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, Other, &S);
        for (const char *Sql : AStatements)
            ODBC_OK(SQLExecDirect(S, (SQLCHAR *)Sql, SQL_NTS));
        SQLFreeHandle(SQL_HANDLE_STMT, S);
        SQLDisconnect(Other);
        SQLFreeHandle(SQL_HANDLE_DBC, Other);
    }
    void SetUp() override
    {
        TOdbcTest::SetUp();
        Exec("CREATE TABLE N (ID Long, Name Text(20), Note Text(20), Flag YesNo, V Double, PRIMARY KEY (ID))");
        Exec("INSERT INTO N VALUES (1, 'abc', Null, True, 7)");
        Exec("INSERT INTO N VALUES (2, 'ABD', 'x', False, 2)");
        Exec("INSERT INTO N VALUES (3, 'a%b', 'y', False, 0.5)");
    }
};

TEST_F(JetSql, TextComparisonAndOrderIgnoreCase)
{
    // Every letter's case alike in the station databases' alphabets, also
    // where an index on the names could answer; plain SQLite still finds
    // the file sound.
    Exec("CREATE TABLE W (ID Long, Name Text(20), PRIMARY KEY (ID))");
    Exec("CREATE INDEX W_Name ON W (Name)");
    const char *Names[] = {"Экспедиция_Тест", "аист", "Банк", "бАНК", "ЁЛКА", "ґанок", "École", "ΟΔΟΣ", "Łódź"};
    for (size_t i = 0; i < std::size(Names); ++i)
        Exec("INSERT INTO W VALUES (" + std::to_string(i + 1) + ", '" + Names[i] + "')");
    const std::pair<const char *, TRows> Cases[] = {
        {"SELECT ID FROM N WHERE Name = 'ABC'", {{"1"}}},
        {"SELECT ID FROM N WHERE Name LIKE 'ab_' ORDER BY Name", {{"1"}, {"2"}}},
        {"SELECT Count(*) FROM (SELECT DISTINCT UCase(Name) FROM N WHERE ID < 3) X", {{"2"}}},
        // The Access dialect's LIKE escape: a bracketed wildcard is literal.
        {"SELECT ID FROM N WHERE Name LIKE 'a[%]b'", {{"3"}}},
        {"SELECT ID FROM W WHERE Name = 'экспедиция_тест'", {{"1"}}},
        {"SELECT ID FROM W WHERE Name LIKE 'экс%' OR Name LIKE '_ИСТ' ORDER BY ID", {{"1"}, {"2"}}},
        {"SELECT ID FROM W WHERE Name IN ('ёлка', 'ҐАНОК', 'école', 'οδος', 'łÓDŹ') ORDER BY ID",
         {{"5"}, {"6"}, {"7"}, {"8"}, {"9"}}},
        {"SELECT Name FROM W WHERE ID IN (2, 3, 5) ORDER BY Name", {{"аист"}, {"Банк"}, {"ЁЛКА"}}},
        {"SELECT Count(*) FROM W WHERE ID < 5 GROUP BY Name ORDER BY Count(*)", {{"1"}, {"1"}, {"2"}}},
        {"SELECT a.ID, b.ID FROM W a INNER JOIN W b ON a.Name = b.Name WHERE a.ID < b.ID", {{"3", "4"}}},
        {"SELECT ID FROM W WHERE ID IN (SELECT ID FROM W WHERE Name = 'бАнК') ORDER BY ID", {{"3"}, {"4"}}},
    };
    for (const auto &[Sql, Rows] : Cases)
        EXPECT_EQ(Query(Sql), Rows) << Sql;
    EXPECT_EQ(querytest::SqliteRows(DbPath, "PRAGMA integrity_check"), (TRows{{"ok"}}));
}

TEST_F(JetSql, ExpressionsAsJetEvaluatesThem)
{
    // & treats Null as empty text; / divides in floating point; True is -1
    EXPECT_EQ(Query("SELECT Name & Note & '!' FROM N WHERE ID = 1"), (TRows{{"abc!"}}));
    EXPECT_EQ(Query("SELECT V / 2 FROM N WHERE ID = 1"), (TRows{{"3.5"}}));
    EXPECT_EQ(Query("SELECT ID FROM N WHERE Flag = True"), (TRows{{"1"}}));
    EXPECT_EQ(Query("SELECT IIf(V > 1, 'big', 'small') FROM N ORDER BY ID"), (TRows{{"big"}, {"big"}, {"small"}}));
    EXPECT_EQ(Query("SELECT Mid(Name, 2, 1), Left(Name, 2), Right(Name, 1), Len(Name), InStr(Name, 'B') FROM N WHERE ID = 1"),
              (TRows{{"b", "ab", "c", "3", "2"}}));
    EXPECT_EQ(Query("SELECT Nz(Note, '-'), {fn UCASE(Name)}, Int(-2.5), Fix(-2.5) FROM N WHERE ID = 1"),
              (TRows{{"-", "ABC", "-3", "-2"}}));
    EXPECT_EQ(Query("SELECT TOP 2 ID FROM N ORDER BY ID DESC"), (TRows{{"3"}, {"2"}}));
    EXPECT_EQ(Query("SELECT DISTINCT * FROM N WHERE ID = 2").size(), 1u);
    EXPECT_EQ(Query("SELECT a.ID FROM N a LEFT JOIN N b ON a.ID = b.ID + 1 WHERE b.ID IS NULL"), (TRows{{"1"}}));
}

TEST_F(JetSql, OneStatementPerCallAndClearRefusals)
{
    TDiagInfo D;
    EXPECT_EQ(Try("SELECT * FROM N; DROP TABLE N", &D), SQL_ERROR);
    EXPECT_EQ(D.Native, -3142);
    EXPECT_EQ(Query("SELECT Count(*) FROM N"), (TRows{{"3"}}));
    EXPECT_EQ(Try("SELECT TOP 10 PERCENT * FROM N", &D), SQL_ERROR);
    EXPECT_NE(D.Message.find("PERCENT"), std::string::npos);
    EXPECT_EQ(Try("SELECT * FROM \"/elsewhere/other.mdb\".N", &D), SQL_ERROR);
    EXPECT_NE(D.Message.find("not the open database"), std::string::npos) << D.Message;
    EXPECT_EQ(Try("SELECT Name FROM N WHERE Name = 'unterminated", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "42000");
}

TEST_F(JetSql, CounterColumnsAndIdentity)
{
    Exec("CREATE TABLE C (ID Counter PRIMARY KEY, Name Text(10))");
    Exec("INSERT INTO C (Name) VALUES ('a')");
    Exec("INSERT INTO C (Name) VALUES ('b')");
    EXPECT_EQ(Query("SELECT @@IDENTITY"), (TRows{{"2"}}));
    Exec("DELETE FROM C WHERE ID = 2");
    Exec("INSERT INTO C (Name) VALUES ('c')");
    // Jet never hands out a counter value twice.
    EXPECT_EQ(Query("SELECT ID, Name FROM C ORDER BY ID"), (TRows{{"1", "a"}, {"3", "c"}}));
    SQLHSTMT S = NewStmt();
    ODBC_OK(SQLExecDirect(S, (SQLCHAR *)"SELECT ID, Name FROM C", SQL_NTS));
    SQLLEN Auto = 0, Upd = 0;
    ODBC_OK(SQLColAttribute(S, 1, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr, &Auto));
    ODBC_OK(SQLColAttribute(S, 2, SQL_DESC_UPDATABLE, nullptr, 0, nullptr, &Upd));
    EXPECT_EQ(Auto, SQL_TRUE);
    EXPECT_EQ(Upd, SQL_ATTR_WRITE);
    Free(S);
}

TEST_F(JetSql, YesNoStoresTrueAsMinusOne)
{
    Exec("INSERT INTO N VALUES (4, 'd', Null, 1, 1)");
    Exec("UPDATE N SET Flag = 5 WHERE ID = 2");
    EXPECT_EQ(Query("SELECT ID FROM N WHERE Flag = True ORDER BY ID"), (TRows{{"1"}, {"2"}, {"4"}}));
    EXPECT_EQ(Query("SELECT CDbl(Flag) FROM N WHERE ID = 4"), (TRows{{"-1"}}));
    Exec("ALTER TABLE N ADD COLUMN Checked YesNo");
    Exec("UPDATE N SET Checked = 2 WHERE ID = 1");
    EXPECT_EQ(Query("SELECT CDbl(Checked) FROM N WHERE ID = 1"), (TRows{{"-1"}}));
    // Through ODBC a YesNo is SQL_BIT: 1 for true.
    EXPECT_EQ(Query("SELECT Flag FROM N WHERE ID = 4"), (TRows{{"1"}}));
}

TEST_F(JetSql, CurrencyStoredScaledAndReadAsAmounts)
{
    Exec("CREATE TABLE Fee (ID Long, Price Currency, Note Text(10))");
    Exec("INSERT INTO Fee VALUES (1, 12.5, 'a')");
    Exec("INSERT INTO Fee (Note, ID, Price) VALUES ('b', 2, 0.00005)"); // half of the last digit rounds to even: 0
    SQLHSTMT S = NewStmt();
    ODBC_OK(SQLPrepare(S, (SQLCHAR *)"INSERT INTO Fee (ID, Price) VALUES (3, ?)", SQL_NTS));
    char Amount[] = "1234.5678";
    ODBC_OK(SQLBindParameter(S, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_NUMERIC, 19, 4, Amount, 0, nullptr));
    ODBC_OK(SQLExecute(S));
    Free(S);
    Exec("UPDATE Fee SET Price = Price * 2 WHERE Price > 10 AND Price < 20");
    EXPECT_EQ(Query("SELECT ID, Price FROM Fee ORDER BY Price"), (TRows{{"2", "0"}, {"1", "25"}, {"3", "1234.5678"}}));
    EXPECT_EQ(Query("SELECT Sum(Price) FROM Fee WHERE ID < 3"), (TRows{{"25"}}));
    EXPECT_EQ(Query("SELECT ID FROM Fee WHERE Price = 25"), (TRows{{"1"}}));
    // The file holds ten-thousandths as integers (second route: the SQLite C API).
    sqlite3 *Raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(DbPath.c_str(), &Raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt *St = nullptr;
    sqlite3_prepare_v2(Raw, "SELECT typeof(Price), Price FROM Fee ORDER BY ID", -1, &St, nullptr);
    std::vector<std::string> Stored;
    while (sqlite3_step(St) == SQLITE_ROW)
        Stored.push_back(std::string(reinterpret_cast<const char *>(sqlite3_column_text(St, 0))) + ":" +
                         reinterpret_cast<const char *>(sqlite3_column_text(St, 1)));
    sqlite3_finalize(St);
    sqlite3_close(Raw);
    EXPECT_EQ(Stored, (std::vector<std::string>{"integer:250000", "integer:0", "integer:12345678"}));
    SQLHSTMT D = NewStmt();
    ODBC_OK(SQLExecDirect(D, (SQLCHAR *)"SELECT Price FROM Fee", SQL_NTS));
    SQLLEN Fixed = 0;
    SQLSMALLINT Type, Digits, Nullable, Len;
    SQLULEN Size;
    char Name[32];
    ODBC_OK(SQLDescribeCol(D, 1, (SQLCHAR *)Name, sizeof Name, &Len, &Type, &Size, &Digits, &Nullable));
    ODBC_OK(SQLColAttribute(D, 1, SQL_DESC_FIXED_PREC_SCALE, nullptr, 0, nullptr, &Fixed));
    EXPECT_EQ(Type, SQL_NUMERIC);
    EXPECT_EQ(Size, 19u);
    EXPECT_EQ(Digits, 4);
    EXPECT_EQ(Fixed, SQL_TRUE);
    Free(D);
}

TEST_F(JetSql, TextLongerThanItsFieldIsRefused)
{
    Exec("CREATE TABLE S (Code Text(4))");
    Exec("INSERT INTO S VALUES ('ABCD')");
    TDiagInfo D;
    EXPECT_EQ(Try("INSERT INTO S VALUES ('ABCDE')", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "22001");
    EXPECT_NE(D.Message.find("'Code' is too small"), std::string::npos) << D.Message;
    // Four characters of two UTF-8 bytes each still fit.
    Exec("INSERT INTO S VALUES ('ÄÖÜß')");
    EXPECT_EQ(Query("SELECT Count(*) FROM S"), (TRows{{"2"}}));
}

TEST_F(JetSql, StatementAttributesRefusedWithOptionValueChanged)
{
    SQLHSTMT S = NewStmt();
    EXPECT_EQ(SQLSetStmtAttr(S, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, S).State, "01S02");
    // Parameter arrays are taken, for statements that return no rows.
    ODBC_OK(SQLSetStmtAttr(S, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(10), 0));
    SQLULEN Size = 0;
    ODBC_OK(SQLGetStmtAttr(S, SQL_ATTR_PARAMSET_SIZE, &Size, 0, nullptr));
    EXPECT_EQ(Size, 10u);
    EXPECT_EQ(SQLExecDirect(S, (SQLCHAR *)"SELECT ID FROM N", SQL_NTS), SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, S).State, "HYC00");
    ODBC_OK(SQLSetStmtAttr(S, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(1), 0));
    ODBC_OK(SQLSetStmtAttr(S, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(50), 0));
    ODBC_OK(SQLGetStmtAttr(S, SQL_ATTR_ROW_ARRAY_SIZE, &Size, 0, nullptr));
    EXPECT_EQ(Size, 50u);
    // One result per statement: the next one is SQL_NO_DATA.
    ODBC_OK(SQLExecDirect(S, (SQLCHAR *)"SELECT ID FROM N", SQL_NTS));
    EXPECT_EQ(SQLMoreResults(S), SQL_NO_DATA);
    Free(S);
}

class ParameterArrays : public TOdbcTest {};

// One execute runs the sets in order (bound column-wise here; the bridge's
// suites bind them row-wise): the set that fails leaves nothing of itself
// (its group's first row took the suffix before the second refused it),
// the sets after it do not run, the status array, the processed count and
// the record name it, and the sets before it wait in the caller's
// transaction for its rollback.
TEST_F(ParameterArrays, SetsRunUpToTheFirstThatFailsInTheCallersTransaction)
{
    SQLUINTEGER Counts = 0, Selects = 0;
    ODBC_OK(SQLGetInfo(Dbc, SQL_PARAM_ARRAY_ROW_COUNTS, &Counts, sizeof Counts, nullptr));
    ODBC_OK(SQLGetInfo(Dbc, SQL_PARAM_ARRAY_SELECTS, &Selects, sizeof Selects, nullptr));
    EXPECT_EQ(Counts, SQLUINTEGER(SQL_PARC_NO_BATCH));
    EXPECT_EQ(Selects, SQLUINTEGER(SQL_PAS_NO_SELECT));
    Exec("CREATE TABLE T (ID Long, Grp Long, Code Text(4), PRIMARY KEY (ID))");
    for (const char *Row : {"1, 1, 'a'", "2, 1, 'b'", "3, 2, 'ab'", "4, 2, 'abc'", "5, 3, 'c'"})
        Exec(std::string("INSERT INTO T VALUES (") + Row + ")");
    ODBC_OK(SQLSetConnectAttr(Dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0));
    SQLCHAR Suffix[3][8] = {"x", "xy", "z"}; // 'abc' & 'xy' is too long for Text(4)
    SQLLEN SuffixInd[3] = {SQL_NTS, SQL_NTS, SQL_NTS}, Row = 0, Changed = 0;
    SQLINTEGER Grp[3] = {1, 2, 3};
    SQLUSMALLINT Status[3] = {};
    SQLULEN Processed = 0;
    SQLHSTMT S = NewStmt();
    ODBC_OK(SQLPrepare(S, (SQLCHAR *)"UPDATE T SET Code = Code & ? WHERE Grp = ?", SQL_NTS));
    ODBC_OK(SQLBindParameter(S, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 4, 0, Suffix, 8, SuffixInd));
    ODBC_OK(SQLBindParameter(S, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, Grp, 0, nullptr));
    ODBC_OK(SQLSetStmtAttr(S, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0));
    ODBC_OK(SQLSetStmtAttr(S, SQL_ATTR_PARAM_STATUS_PTR, Status, 0));
    ODBC_OK(SQLSetStmtAttr(S, SQL_ATTR_PARAMS_PROCESSED_PTR, &Processed, 0));
    EXPECT_EQ(SQLExecute(S), SQL_ERROR);
    EXPECT_EQ(Processed, 2u);
    EXPECT_EQ(std::vector<int>(Status, Status + 3), (std::vector<int>{SQL_PARAM_SUCCESS, SQL_PARAM_ERROR, SQL_PARAM_UNUSED}));
    const TDiagInfo D = Diag(SQL_HANDLE_STMT, S);
    EXPECT_EQ(D.State, "22001");
    EXPECT_NE(D.Message.find("(parameter set 2 of 3)"), std::string::npos) << D.Message;
    ODBC_OK(SQLGetDiagField(SQL_HANDLE_STMT, S, 1, SQL_DIAG_ROW_NUMBER, &Row, 0, nullptr));
    EXPECT_EQ(Row, 2);
    // The driver manager lets no SQLRowCount follow a failure.
    ODBC_OK(SQLGetDiagField(SQL_HANDLE_STMT, S, 0, SQL_DIAG_ROW_COUNT, &Changed, 0, nullptr));
    EXPECT_EQ(Changed, 2);
    EXPECT_EQ(Query("SELECT Code FROM T ORDER BY ID"), (TRows{{"ax"}, {"bx"}, {"ab"}, {"abc"}, {"c"}}));
    ODBC_OK(SQLEndTran(SQL_HANDLE_DBC, Dbc, SQL_ROLLBACK));
    EXPECT_EQ(Query("SELECT Code FROM T ORDER BY ID"), (TRows{{"a"}, {"b"}, {"ab"}, {"abc"}, {"c"}}));
    Free(S);
}

class Catalog : public TOdbcTest {
protected:
    void SetUp() override
    {
        TOdbcTest::SetUp();
        MakeStationFixture();
    }
    TRows Fetch(SQLHSTMT S)
    {
        TRows R;
        SQLSMALLINT Cols = 0;
        SQLNumResultCols(S, &Cols);
        while (SQL_SUCCEEDED(SQLFetch(S))) {
            std::vector<std::string> Row;
            for (SQLUSMALLINT c = 1; c <= Cols; ++c) {
                char Buf[512];
                SQLLEN Ind;
                SQLGetData(S, c, SQL_C_CHAR, Buf, sizeof Buf, &Ind);
                Row.push_back(Ind == SQL_NULL_DATA ? "<null>" : Buf);
            }
            R.push_back(Row);
        }
        return R;
    }
};

TEST_F(Catalog, PrimaryKeysTablesColumnsAndStatistics)
{
    SQLHSTMT S = NewStmt();
    ODBC_OK(SQLPrimaryKeys(S, nullptr, 0, nullptr, 0, (SQLCHAR *)"PTS_Data", SQL_NTS));
    TRows R = Fetch(S);
    ASSERT_EQ(R.size(), 2u);
    EXPECT_EQ(R[0][3], "ID_Cast");
    EXPECT_EQ(R[0][4], "1");
    EXPECT_EQ(R[1][3], "PRES");
    EXPECT_EQ(R[1][4], "2");
    SQLFreeStmt(S, SQL_CLOSE);
    ODBC_OK(SQLTables(S, nullptr, 0, nullptr, 0, (SQLCHAR *)"Cast%", SQL_NTS, (SQLCHAR *)"TABLE", SQL_NTS));
    R = Fetch(S);
    ASSERT_EQ(R.size(), 1u);
    EXPECT_EQ(R[0][2], "Cast_Titles");
    EXPECT_EQ(R[0][3], "TABLE");
    SQLFreeStmt(S, SQL_CLOSE);
    ODBC_OK(SQLColumns(S, nullptr, 0, nullptr, 0, (SQLCHAR *)"Cast_Titles", SQL_NTS, (SQLCHAR *)"Date_Cast", SQL_NTS));
    R = Fetch(S);
    ASSERT_EQ(R.size(), 1u);
    EXPECT_EQ(R[0][4], std::to_string(SQL_TYPE_TIMESTAMP));
    EXPECT_EQ(R[0][16], "3");
    SQLFreeStmt(S, SQL_CLOSE);
    ODBC_OK(SQLStatistics(S, nullptr, 0, nullptr, 0, (SQLCHAR *)"PTS_Data", SQL_NTS, SQL_INDEX_ALL, SQL_QUICK));
    R = Fetch(S);
    ASSERT_EQ(R.size(), 3u); // the table row, then the key's two columns
    EXPECT_EQ(R[1][5], "PrimaryKey");
    EXPECT_EQ(R[1][3], "0");
    SQLFreeStmt(S, SQL_CLOSE);
    // An unknown table gives an empty result, not an error.
    ODBC_OK(SQLColumns(S, nullptr, 0, nullptr, 0, (SQLCHAR *)"NoSuchTable", SQL_NTS, nullptr, 0));
    EXPECT_EQ(Fetch(S).size(), 0u);
    SQLFreeStmt(S, SQL_CLOSE);
    ODBC_OK(SQLPrimaryKeys(S, nullptr, 0, nullptr, 0, (SQLCHAR *)"NoSuchTable", SQL_NTS));
    EXPECT_EQ(Fetch(S).size(), 0u);
    Free(S);
}

TEST_F(Catalog, InfoAnswersTheBridgeReliesOn)
{
    char Buf[64];
    SQLSMALLINT Len;
    ODBC_OK(SQLGetInfo(Dbc, SQL_DBMS_NAME, Buf, sizeof Buf, &Len));
    EXPECT_STREQ(Buf, "ACCESS");
    SQLUINTEGER Ext = 0;
    ODBC_OK(SQLGetInfo(Dbc, SQL_GETDATA_EXTENSIONS, &Ext, sizeof Ext, nullptr));
    EXPECT_EQ(Ext & (SQL_GD_BLOCK | SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER), SQL_GD_BLOCK | SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER);
    SQLUSMALLINT Txn = 0, Supported = 0;
    ODBC_OK(SQLGetInfo(Dbc, SQL_TXN_CAPABLE, &Txn, sizeof Txn, nullptr));
    EXPECT_NE(Txn, 0);
    ODBC_OK(SQLGetFunctions(Dbc, SQL_API_SQLPRIMARYKEYS, &Supported));
    EXPECT_EQ(Supported, SQL_TRUE);
}

class Diagnostics : public TOdbcTest {};

TEST_F(Diagnostics, JetNativeNumbersAndStates)
{
    Exec("CREATE TABLE K (ID Long, PRIMARY KEY (ID))");
    Exec("INSERT INTO K VALUES (1)");
    TDiagInfo D;
    EXPECT_EQ(Try("INSERT INTO K VALUES (1)", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "23000");
    EXPECT_EQ(D.Native, -1605);
    EXPECT_EQ(Try("DROP TABLE Missing", &D), SQL_ERROR);
    EXPECT_EQ(D.Native, -1305);
    EXPECT_NE(D.Message.find("'Missing'"), std::string::npos) << D.Message;
    // A write lock held by another process: "currently locked" (-1102)
    SQLDisconnect(Dbc);
    SQLSetConnectAttr(Dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0);
    ODBC_OK(Connect(DbPath));
    sqlite3 *Other = nullptr;
    ASSERT_EQ(sqlite3_open(DbPath.c_str(), &Other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(Other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(Try("INSERT INTO K VALUES (2)", &D), SQL_ERROR);
    EXPECT_EQ(D.Native, -1102);
    sqlite3_exec(Other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(Other);
    // Past the last record: SQL_NO_DATA
    SQLHSTMT S = NewStmt();
    SQLExecDirect(S, (SQLCHAR *)"SELECT * FROM Nowhere", SQL_NTS);
    SQLCHAR State[6];
    SQLINTEGER Native;
    SQLCHAR Msg[256];
    SQLSMALLINT Len;
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, S, 2, State, &Native, Msg, sizeof Msg, &Len), SQL_NO_DATA);
    Free(S);
}

class Files : public TOdbcTest {};

TEST_F(Files, JetFileAndMissingFileRefusedWithClearMessages)
{
    const std::string Jet = (Dir / "real.mdb").string();
    {
        std::ofstream Out(Jet, std::ios::binary);
        const char Head[] = "\x00\x01\x00\x00Standard Jet DB\x00\x00\x00\x00";
        Out.write(Head, sizeof Head);
        Out << std::string(2000, '\0');
    }
    SQLHDBC Other;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, Env, &Other)));
    const std::string S1 = ConnectString(Jet);
    EXPECT_EQ(SQLDriverConnect(Other, nullptr, (SQLCHAR *)S1.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT), SQL_ERROR);
    EXPECT_NE(Diag(SQL_HANDLE_DBC, Other).Message.find("Microsoft Access (Jet) database"), std::string::npos)
        << Diag(SQL_HANDLE_DBC, Other).Message;
    const std::string S2 = ConnectString((Dir / "nothere.mdb").string());
    EXPECT_EQ(SQLDriverConnect(Other, nullptr, (SQLCHAR *)S2.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT), SQL_ERROR);
    EXPECT_NE(Diag(SQL_HANDLE_DBC, Other).Message.find("Could not find file"), std::string::npos);
    SQLFreeHandle(SQL_HANDLE_DBC, Other);
}

class Transactions : public TOdbcTest {};

TEST_F(Transactions, CommitRollbackAndAutocommitRestored)
{
    Exec("CREATE TABLE T (ID Long)");
    ODBC_OK(SQLSetConnectAttr(Dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0));
    Exec("INSERT INTO T VALUES (1)");
    ODBC_OK(SQLEndTran(SQL_HANDLE_DBC, Dbc, SQL_ROLLBACK));
    EXPECT_EQ(Query("SELECT Count(*) FROM T"), (TRows{{"0"}}));
    Exec("INSERT INTO T VALUES (2)");
    ODBC_OK(SQLEndTran(SQL_HANDLE_DBC, Dbc, SQL_COMMIT));
    Exec("INSERT INTO T VALUES (3)");
    // Switching autocommit back on commits what is open.
    ODBC_OK(SQLSetConnectAttr(Dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0));
    ODBC_OK(SQLEndTran(SQL_HANDLE_DBC, Dbc, SQL_ROLLBACK));
    EXPECT_EQ(Query("SELECT ID FROM T ORDER BY ID"), (TRows{{"2"}, {"3"}}));
    SQLUINTEGER Ac = 0;
    ODBC_OK(SQLGetConnectAttr(Dbc, SQL_ATTR_AUTOCOMMIT, &Ac, 0, nullptr));
    EXPECT_EQ(Ac, SQL_AUTOCOMMIT_ON);
}

class Cancel : public TOdbcTest {};

TEST_F(Cancel, LongQueryInterruptedFromAnotherThread)
{
    Exec("CREATE TABLE B (X Long)");
    for (int i = 0; i < 20; ++i)
        Exec("INSERT INTO B VALUES (" + std::to_string(i) + ")");
    SQLHSTMT S = NewStmt();
    std::atomic<bool> Done{false};
    std::thread Canceller([&] {
        // Cancel until the statement has ended: a cancel that comes before
        // the statement runs has nothing to stop (a busy machine may be slow to start it).
        while (!Done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (!Done)
                SQLCancel(S);
        }
    });
    const auto T0 = std::chrono::steady_clock::now();
    // 20^6 = 64 million rows to count: many seconds without the cancel.
    const SQLRETURN Rc = SQLExecDirect(S, (SQLCHAR *)"SELECT Count(*) FROM B a, B b, B c, B d, B e, B f", SQL_NTS);
    Done = true;
    Canceller.join();
    EXPECT_EQ(Rc, SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, S).State, "HY008");
    EXPECT_LT(std::chrono::steady_clock::now() - T0, std::chrono::seconds(5));
    Free(S);
    EXPECT_EQ(Query("SELECT Count(*) FROM B"), (TRows{{"20"}}));
}

class LongValues : public TOdbcTest {};

TEST_F(LongValues, MemoReadInPiecesAsCharAndWideChar)
{
    Exec("CREATE TABLE M (ID Long, Body Memo)");
    std::string Body;
    for (int i = 0; i < 100000; ++i)
        Body += static_cast<char>('a' + i % 26);
    SQLHSTMT S = NewStmt();
    ODBC_OK(SQLPrepare(S, (SQLCHAR *)"INSERT INTO M VALUES (1, ?)", SQL_NTS));
    // Sent at execution time in two pieces.
    SQLLEN AtExec = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(Body.size()));
    ODBC_OK(SQLBindParameter(S, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, Body.size(), 0,
                             reinterpret_cast<SQLPOINTER>(1), 0, &AtExec));
    ASSERT_EQ(SQLExecute(S), SQL_NEED_DATA);
    SQLPOINTER Token = nullptr;
    ASSERT_EQ(SQLParamData(S, &Token), SQL_NEED_DATA);
    EXPECT_EQ(Token, reinterpret_cast<SQLPOINTER>(1));
    ODBC_OK(SQLPutData(S, Body.data(), 60000));
    ODBC_OK(SQLPutData(S, Body.data() + 60000, static_cast<SQLLEN>(Body.size()) - 60000));
    ODBC_OK(SQLParamData(S, &Token));
    Free(S);

    S = NewStmt();
    ODBC_OK(SQLExecDirect(S, (SQLCHAR *)"SELECT Body, Body FROM M", SQL_NTS));
    ODBC_OK(SQLFetch(S));
    std::string Got;
    char Piece[32768];
    SQLLEN Ind = 0;
    SQLRETURN Rc;
    int Pieces = 0;
    while ((Rc = SQLGetData(S, 1, SQL_C_CHAR, Piece, sizeof Piece, &Ind)) != SQL_NO_DATA) {
        ASSERT_TRUE(SQL_SUCCEEDED(Rc));
        if (Pieces == 0) {
            EXPECT_EQ(Ind, 100000); // the true length, with 01004
        }
        Got += std::string(Piece, std::min<size_t>(std::strlen(Piece), sizeof Piece - 1));
        ++Pieces;
    }
    EXPECT_EQ(Pieces, 4); // 32767 * 3 + 1699
    EXPECT_EQ(Got, Body);
    std::u16string Wide;
    SQLWCHAR WPiece[1000];
    while ((Rc = SQLGetData(S, 2, SQL_C_WCHAR, WPiece, sizeof WPiece, &Ind)) != SQL_NO_DATA) {
        ASSERT_TRUE(SQL_SUCCEEDED(Rc));
        const SQLLEN Units = std::min<SQLLEN>(Ind / 2, 999);
        Wide.append(reinterpret_cast<char16_t *>(WPiece), static_cast<size_t>(Units));
    }
    ASSERT_EQ(Wide.size(), Body.size());
    EXPECT_EQ(Wide[99999], u'a' + 99999 % 26);
    Free(S);
}

// A bound buffer too small: 01004 with the true length, or with SQL_ATTR_MAX_LENGTH's when the statement sets one
// below it; the value then reads no further than that limit through SQLGetData as well (an emoji is two UTF-16 units,
// three "é" six bytes of UTF-8).
TEST_F(LongValues, BoundBufferTooSmallReportsTruncationWithTrueLengthOrTheStatementsLimit)
{
    Exec("CREATE TABLE T (S Text(50))");
    Exec("INSERT INTO T VALUES ('Station \U0001F30A of twenty \u00E9\u00E9\u00E9')");
    const struct {
        SQLULEN MaxLength;
        SQLSMALLINT CType;
        SQLLEN Ind, Read; // the bound read's indicator, and then the bytes SQLGetData hands out
    } Cases[] = {{0, SQL_C_CHAR, 29, 29}, {16, SQL_C_CHAR, 16, 16}, {40, SQL_C_CHAR, 29, 29},
                 {0, SQL_C_WCHAR, 48, 48}, {16, SQL_C_WCHAR, 16, 16}};
    for (const auto &C : Cases) {
        SCOPED_TRACE(std::to_string(C.MaxLength) + " " + std::to_string(C.CType));
        SQLHSTMT S = NewStmt();
        ODBC_OK(SQLSetStmtAttr(S, SQL_ATTR_MAX_LENGTH, reinterpret_cast<SQLPOINTER>(C.MaxLength), 0));
        ODBC_OK(SQLExecDirect(S, (SQLCHAR *)"SELECT S FROM T", SQL_NTS));
        char Buf[10];
        SQLLEN Ind = 0;
        ODBC_OK(SQLBindCol(S, 1, C.CType, Buf, sizeof Buf, &Ind));
        EXPECT_EQ(SQLFetch(S), SQL_SUCCESS_WITH_INFO);
        EXPECT_EQ(Diag(SQL_HANDLE_STMT, S).State, "01004");
        EXPECT_EQ(Ind, C.Ind);
        if (C.CType == SQL_C_CHAR)
            EXPECT_STREQ(Buf, "Station \xF0");
        else
            EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(Buf), 4), u"Stat");
        ODBC_OK(SQLBindCol(S, 1, C.CType, nullptr, 0, nullptr));
        char Whole[128];
        ODBC_OK(SQLGetData(S, 1, C.CType, Whole, sizeof Whole, &Ind));
        EXPECT_EQ(Ind, C.Read);
        Free(S);
    }
}

class RowSets : public TOdbcTest {};

TEST_F(RowSets, BlockFetchColumnAndRowWiseWithPositionedGetData)
{
    Exec("CREATE TABLE R (ID Long, Name Text(10))");
    for (int i = 1; i <= 7; ++i)
        Exec("INSERT INTO R VALUES (" + std::to_string(i) + ", 'n" + std::to_string(i) + "')");
    SQLHSTMT S = NewStmt();
    SQLINTEGER Ids[5];
    SQLLEN IdInd[5];
    SQLULEN Fetched = 0;
    SQLUSMALLINT Status[5];
    ODBC_OK(SQLSetStmtAttr(S, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(5), 0));
    ODBC_OK(SQLSetStmtAttr(S, SQL_ATTR_ROWS_FETCHED_PTR, &Fetched, 0));
    ODBC_OK(SQLSetStmtAttr(S, SQL_ATTR_ROW_STATUS_PTR, Status, 0));
    ODBC_OK(SQLExecDirect(S, (SQLCHAR *)"SELECT ID, Name FROM R ORDER BY ID", SQL_NTS));
    ODBC_OK(SQLBindCol(S, 1, SQL_C_SLONG, Ids, 0, IdInd));
    ODBC_OK(SQLFetch(S));
    EXPECT_EQ(Fetched, 5u);
    EXPECT_EQ(Ids[4], 5);
    // The unbound Name of row 3 of the block, read after positioning.
    ODBC_OK(SQLSetPos(S, 3, SQL_POSITION, SQL_LOCK_NO_CHANGE));
    char Name[16];
    ODBC_OK(SQLGetData(S, 2, SQL_C_CHAR, Name, sizeof Name, nullptr));
    EXPECT_STREQ(Name, "n3");
    ODBC_OK(SQLFetch(S));
    EXPECT_EQ(Fetched, 2u);
    EXPECT_EQ(Ids[1], 7);
    EXPECT_EQ(Status[2], SQL_ROW_NOROW);
    EXPECT_EQ(SQLFetch(S), SQL_NO_DATA);
    SQLFreeStmt(S, SQL_CLOSE);
    SQLFreeStmt(S, SQL_UNBIND);

    // Row-wise: one structure per row.
    struct TRow { SQLINTEGER Id; SQLLEN IdInd; char Name[11]; SQLLEN NameInd; } Rows[5];
    ODBC_OK(SQLSetStmtAttr(S, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(TRow)), 0));
    ODBC_OK(SQLExecDirect(S, (SQLCHAR *)"SELECT ID, Name FROM R ORDER BY ID DESC", SQL_NTS));
    ODBC_OK(SQLBindCol(S, 1, SQL_C_SLONG, &Rows[0].Id, 0, &Rows[0].IdInd));
    ODBC_OK(SQLBindCol(S, 2, SQL_C_CHAR, Rows[0].Name, sizeof Rows[0].Name, &Rows[0].NameInd));
    ODBC_OK(SQLFetch(S));
    EXPECT_EQ(Rows[0].Id, 7);
    EXPECT_STREQ(Rows[4].Name, "n3");
    EXPECT_EQ(Rows[4].NameInd, 2);
    Free(S);
}

// The driver remembers the columns of the tables its statements read while
// the file's schema stays as it was: a table another connection made again
// with a Currency column must be written scaled at once, not as the double
// column it was when the statements before were described.
TEST_F(JetSql, RememberedColumnsFollowASchemaChangedElsewhere)
{
    Exec("CREATE TABLE Cost (ID Long, Price Double)");
    Exec("INSERT INTO Cost VALUES (0, 1)");
    for (int I = 0; I < 3; ++I)
        Exec("UPDATE Cost SET Price = 1.5" + std::to_string(I) + " WHERE ID = 0");
    ExecElsewhere({"DROP TABLE Cost", "CREATE TABLE Cost (ID Long, Price Currency)"});

    Exec("INSERT INTO Cost VALUES (1, 2.25)");
    Exec("UPDATE Cost SET Price = Price * 2 WHERE ID = 1");
    EXPECT_EQ(Query("SELECT Price FROM Cost WHERE Price = 4.5"), (TRows{{"4.5"}}));
    sqlite3 *Raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(DbPath.c_str(), &Raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt *St = nullptr;
    sqlite3_prepare_v2(Raw, "SELECT Price FROM Cost WHERE ID = 1", -1, &St, nullptr);
    ASSERT_EQ(sqlite3_step(St), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int64(St, 0), 45000);
    sqlite3_finalize(St);
    sqlite3_close(Raw);
}

// Column types come from the table as it is now: the driver keeps its
// catalog look-ups prepared, and a table dropped and made again with other
// types (here, then from another connection) must not be described by the
// old layout.
TEST_F(JetSql, ColumnTypesFollowATableMadeAgain)
{
    auto TypeOfFirst = [&](SQLHDBC AConn) {
        SQLHSTMT S = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, AConn, &S);
        EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(S, (SQLCHAR *)"SELECT V FROM Shape", SQL_NTS)));
        SQLSMALLINT Type = 0, Digits, Nullable, Len;
        SQLULEN Size;
        char Name[32];
        SQLDescribeCol(S, 1, (SQLCHAR *)Name, sizeof Name, &Len, &Type, &Size, &Digits, &Nullable);
        SQLFreeHandle(SQL_HANDLE_STMT, S);
        return Type;
    };
    Exec("CREATE TABLE Shape (V Long)");
    EXPECT_EQ(TypeOfFirst(Dbc), SQL_INTEGER);
    Exec("DROP TABLE Shape");
    Exec("CREATE TABLE Shape (V Text(10))");
    EXPECT_EQ(TypeOfFirst(Dbc), SQL_VARCHAR);

    ExecElsewhere({"DROP TABLE Shape", "CREATE TABLE Shape (V Double)"});
    EXPECT_EQ(TypeOfFirst(Dbc), SQL_DOUBLE);
}
