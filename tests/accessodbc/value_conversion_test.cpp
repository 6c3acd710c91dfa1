// Values across the C-type boundary: parameters of every kind the bridge
// binds, and stored values read into C types with ODBC's conversion rules
// (out of range 22003, fractional truncation 01S07, bad text 22018).
#include "tests/accessodbc/OdbcFixture.h"

using TRows = std::vector<std::vector<std::string>>;

class ValueConversion : public TOdbcTest {
protected:
    void SetUp() override
    {
        TOdbcTest::SetUp();
        Exec("CREATE TABLE V (ID Long, S Short, B YesNo, D DateTime, T DateTime, X Double, Txt Text(20))");
    }
};

TEST_F(ValueConversion, ParametersOfEveryKindTheBridgeBinds)
{
    SQLHSTMT S = NewStmt();
    ODBC_OK(SQLPrepare(S, (SQLCHAR *)"INSERT INTO V VALUES (?, ?, ?, ?, ?, ?, ?)", SQL_NTS));
    char Id[] = "42";                 // a number sent as text, as Int64/BCD travel to Access
    SQLSMALLINT Short = -7;
    unsigned char Bit = 1;
    SQL_DATE_STRUCT Date{1995, 7, 4};
    SQL_TIME_STRUCT Time{14, 30, 5};
    double X = 0.1;
    SQLLEN TxtInd = SQL_NULL_DATA;
    char Txt[8] = "";
    ODBC_OK(SQLBindParameter(S, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_NUMERIC, 20, 0, Id, 0, nullptr));
    ODBC_OK(SQLBindParameter(S, 2, SQL_PARAM_INPUT, SQL_C_SSHORT, SQL_SMALLINT, 0, 0, &Short, 0, nullptr));
    ODBC_OK(SQLBindParameter(S, 3, SQL_PARAM_INPUT, SQL_C_BIT, SQL_BIT, 0, 0, &Bit, 0, nullptr));
    ODBC_OK(SQLBindParameter(S, 4, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 0, 0, &Date, 0, nullptr));
    ODBC_OK(SQLBindParameter(S, 5, SQL_PARAM_INPUT, SQL_C_TYPE_TIME, SQL_TYPE_TIME, 0, 0, &Time, 0, nullptr));
    ODBC_OK(SQLBindParameter(S, 6, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &X, 0, nullptr));
    ODBC_OK(SQLBindParameter(S, 7, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, Txt, sizeof Txt, &TxtInd));
    ODBC_OK(SQLExecute(S));
    Free(S);
    EXPECT_EQ(Query("SELECT ID, S, B, D, T, X, Txt FROM V"),
              (TRows{{"42", "-7", "1", "1995-07-04 00:00:00", "1899-12-30 14:30:05", "0.1", "<null>"}}));
    // True is stored as Jet's -1, and 1995-07-04 is Jet day 34884.
    EXPECT_EQ(Query("SELECT CDbl(B), CDbl(D) FROM V"), (TRows{{"-1", "34884"}}));

    S = NewStmt();
    ODBC_OK(SQLPrepare(S, (SQLCHAR *)"SELECT ID FROM V WHERE ID = ?", SQL_NTS));
    char Bad[] = "4x2";
    ODBC_OK(SQLBindParameter(S, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_INTEGER, 10, 0, Bad, 0, nullptr));
    EXPECT_EQ(SQLExecute(S), SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, S).State, "22018");
    Free(S);
}

TEST_F(ValueConversion, StoredValuesIntoCTypes)
{
    Exec("INSERT INTO V VALUES (40000, 1, True, #1/1/2000 10:00:00#, #10:00:00#, 8.5, '12x')");
    SQLHSTMT S = NewStmt();
    ODBC_OK(SQLExecDirect(S, (SQLCHAR *)"SELECT ID, X, D, Txt, B FROM V", SQL_NTS));
    ODBC_OK(SQLFetch(S));
    SQLSMALLINT Small = 0;
    EXPECT_EQ(SQLGetData(S, 1, SQL_C_SSHORT, &Small, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, S).State, "22003");
    SQLINTEGER Whole = 0;
    EXPECT_EQ(SQLGetData(S, 2, SQL_C_SLONG, &Whole, 0, nullptr), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, S).State, "01S07");
    EXPECT_EQ(Whole, 8);
    // A fixed-size value is handed out once; the next call has no data.
    EXPECT_EQ(SQLGetData(S, 2, SQL_C_SLONG, &Whole, 0, nullptr), SQL_NO_DATA);
    SQL_DATE_STRUCT Day{};
    EXPECT_EQ(SQLGetData(S, 3, SQL_C_TYPE_DATE, &Day, 0, nullptr), SQL_SUCCESS_WITH_INFO); // the time is dropped
    EXPECT_EQ(Day.year, 2000);
    double Number = 0;
    EXPECT_EQ(SQLGetData(S, 4, SQL_C_DOUBLE, &Number, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, S).State, "22018");
    unsigned char Bit = 9;
    ODBC_OK(SQLGetData(S, 5, SQL_C_BIT, &Bit, 0, nullptr));
    EXPECT_EQ(Bit, 1);
    Free(S);
    // SQLGetData reads unbound columns only (no SQL_GD_BOUND).
    S = NewStmt();
    ODBC_OK(SQLExecDirect(S, (SQLCHAR *)"SELECT ID FROM V", SQL_NTS));
    SQLINTEGER Bound = 0;
    ODBC_OK(SQLBindCol(S, 1, SQL_C_SLONG, &Bound, 0, nullptr));
    ODBC_OK(SQLFetch(S));
    EXPECT_EQ(Bound, 40000);
    EXPECT_EQ(SQLGetData(S, 1, SQL_C_SLONG, &Whole, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, S).State, "07009");
    Free(S);
    // A bound value the C type cannot take is no value of its row, whose
    // other columns are read as stored; the record names row and column.
    Exec("INSERT INTO V (ID, X, Txt) VALUES (2, 1.5, '7')");
    S = NewStmt();
    SQLUSMALLINT Status[2] = {};
    ODBC_OK(SQLSetStmtAttr(S, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(2), 0));
    ODBC_OK(SQLSetStmtAttr(S, SQL_ATTR_ROW_STATUS_PTR, Status, 0));
    ODBC_OK(SQLExecDirect(S, (SQLCHAR *)"SELECT ID, Txt, X FROM V ORDER BY ID", SQL_NTS));
    SQLINTEGER Ids[2] = {};
    double Texts[2] = {}, Xs[2] = {};
    SQLLEN TextInd[2] = {};
    ODBC_OK(SQLBindCol(S, 1, SQL_C_SLONG, Ids, 0, nullptr));
    ODBC_OK(SQLBindCol(S, 2, SQL_C_DOUBLE, Texts, 0, TextInd));
    ODBC_OK(SQLBindCol(S, 3, SQL_C_DOUBLE, Xs, 0, nullptr));
    EXPECT_EQ(SQLFetch(S), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(std::vector<SQLUSMALLINT>(Status, Status + 2), (std::vector<SQLUSMALLINT>{SQL_ROW_SUCCESS, SQL_ROW_ERROR}));
    EXPECT_EQ(Texts[0], 7);
    EXPECT_EQ(TextInd[1], SQL_NULL_DATA);
    EXPECT_EQ(Ids[1], 40000);
    EXPECT_EQ(Xs[1], 8.5);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, S).Message,
              "[Marlin][ODBC Access Driver] Invalid character value for a conversion: '12x' is no number. (column Txt)");
    SQLLEN Row = 0;
    SQLINTEGER Column = 0;
    ODBC_OK(SQLGetDiagField(SQL_HANDLE_STMT, S, 1, SQL_DIAG_ROW_NUMBER, &Row, 0, nullptr));
    ODBC_OK(SQLGetDiagField(SQL_HANDLE_STMT, S, 1, SQL_DIAG_COLUMN_NUMBER, &Column, 0, nullptr));
    EXPECT_EQ(std::make_pair(Row, Column), std::make_pair(SQLLEN(2), SQLINTEGER(2)));
    Free(S);
}

TEST_F(ValueConversion, JetRoundingAndTextFunctions)
{
    Exec("INSERT INTO V (ID, X, Txt) VALUES (1, 2.5, 'Black Sea')");
    // Jet rounds halves to even.
    EXPECT_EQ(Query("SELECT Round(X), Round(3.5), Round(2.345, 2), CInt(X) FROM V"), (TRows{{"2", "4", "2.34", "2"}}));
    EXPECT_EQ(Query("SELECT InStr(4, Txt, 'a'), InStr(Txt, 'SEA'), Trim('  a  '), Txt & 1 FROM V"),
              (TRows{{"9", "7", "a", "Black Sea1"}}));
    EXPECT_EQ(Query("SELECT Val('1.25e1'), CStr(X / 4), X * 2 FROM V WHERE X > 2.25"), (TRows{{"12.5", "0.625", "5"}}));
    EXPECT_EQ(Query("SELECT {fn LENGTH(Txt)}, {fn LCASE(Txt)}, {fn SUBSTRING(Txt, 7, 3)} FROM V"),
              (TRows{{"9", "black sea", "Sea"}}));
}

TEST_F(ValueConversion, NumbersIntoNumbersKeepTheColumnsRules)
{
    Exec("CREATE TABLE N (L Long, C Currency, Y YesNo, X Double, D DateTime)");
    Exec("INSERT INTO N VALUES (70000, 2.5, True, 3, #1/2/1900#)");
    SQLHSTMT S = NewStmt();
    ODBC_OK(SQLExecDirect(S, (SQLCHAR *)"SELECT L, C, Y, X, D, L, C, Y, L FROM N", SQL_NTS));
    // Bound and read by SQLGetData alike.
    double Pay = 0;
    SQLINTEGER Yes = 0;
    SQLLEN PayInd = 0, YesInd = 0;
    ODBC_OK(SQLBindCol(S, 2, SQL_C_DOUBLE, &Pay, 0, &PayInd));
    ODBC_OK(SQLBindCol(S, 3, SQL_C_SLONG, &Yes, 0, &YesInd));
    ODBC_OK(SQLFetch(S));
    EXPECT_EQ(Pay, 2.5) << "CURRENCY is stored scaled";
    EXPECT_EQ(PayInd, static_cast<SQLLEN>(sizeof(double)));
    EXPECT_EQ(Yes, 1) << "a stored -1 reads as ODBC's true";
    double L = 0, D = 0;
    ODBC_OK(SQLGetData(S, 1, SQL_C_DOUBLE, &L, 0, nullptr));
    EXPECT_EQ(L, 70000);
    SQLINTEGER Whole = 0;
    ODBC_OK(SQLGetData(S, 4, SQL_C_SLONG, &Whole, 0, nullptr));
    EXPECT_EQ(Whole, 3);
    ODBC_OK(SQLGetData(S, 5, SQL_C_DOUBLE, &D, 0, nullptr));
    EXPECT_EQ(D, 3) << "a date is its Jet day number";
    SQLSMALLINT Small = 0;
    EXPECT_EQ(SQLGetData(S, 6, SQL_C_SSHORT, &Small, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, S).State, "22003");
    EXPECT_EQ(SQLGetData(S, 7, SQL_C_SLONG, &Whole, 0, nullptr), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, S).State, "01S07");
    EXPECT_EQ(Whole, 2);
    ODBC_OK(SQLGetData(S, 8, SQL_C_SSHORT, &Small, 0, nullptr));
    EXPECT_EQ(Small, 1);
    ODBC_OK(SQLGetData(S, 9, SQL_C_SLONG, &Whole, 0, nullptr));
    EXPECT_EQ(Whole, 70000);
    Free(S);
}
