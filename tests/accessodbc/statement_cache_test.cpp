// Statements kept prepared per connection and the values lifted out of their
// texts: texts that differ only in their values must still each give their
// own rows, counts, errors and column descriptions, across schema changes
// made on this connection or another one.
#include "tests/accessodbc/OdbcFixture.h"

#include "platform/accessodbc/DrvStatementCache.h"
#include "platform/accessodbc/JetSqlTranslator.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <string>

using TRows = std::vector<std::vector<std::string>>;

class KeptStatements : public TOdbcTest {
protected:
    void SetUp() override
    {
        TOdbcTest::SetUp();
        Exec("CREATE TABLE T (K Long, X Double, S Text(12), D DateTime, PRIMARY KEY (K))");
        Exec("INSERT INTO T VALUES (1, 10.25, 'abc', #7/3/2007#)");
        Exec("INSERT INTO T VALUES (2, 0.30000000000000004, '10', #7/4/2007 06:15:00#)");
        Exec("INSERT INTO T VALUES (3, 3, '9', #7/5/2007#)");
    }
    // A second program on the same file, kept open between statements.
    SQLHDBC OpenOther()
    {
        SQLHDBC Other = SQL_NULL_HDBC;
        EXPECT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, Env, &Other)));
        const std::string Cs = ConnectString(DbPath);
        EXPECT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(Other, nullptr, (SQLCHAR *)Cs.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                                   SQL_DRIVER_NOPROMPT)));
        return Other;
    }
    void ExecOn(SQLHDBC AConn, const char *ASql)
    {
        SQLHSTMT S = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, AConn, &S);
        const SQLRETURN Rc = SQLExecDirect(S, (SQLCHAR *)ASql, SQL_NTS);
        EXPECT_TRUE(SQL_SUCCEEDED(Rc)) << ASql << " " << Diag(SQL_HANDLE_STMT, S).Message;
        SQLFreeHandle(SQL_HANDLE_STMT, S);
    }
    static void CloseOther(SQLHDBC AConn)
    {
        SQLDisconnect(AConn);
        SQLFreeHandle(SQL_HANDLE_DBC, AConn);
    }
    SQLSMALLINT ColumnsOf(const std::string &ASql)
    {
        SQLHSTMT S = NewStmt();
        EXPECT_TRUE(SQL_SUCCEEDED(SQLPrepare(S, (SQLCHAR *)ASql.c_str(), SQL_NTS)));
        SQLSMALLINT N = -1;
        SQLNumResultCols(S, &N);
        Free(S);
        return N;
    }
};

TEST_F(KeptStatements, TextsOfOneShapeEachGiveTheirOwnRowsAndCounts)
{
    for (int Round = 0; Round < 2; ++Round) {
        EXPECT_EQ(Query("SELECT K FROM T WHERE X = 10.25"), (TRows{{"1"}}));
        EXPECT_EQ(Query("SELECT K FROM T WHERE X = 0.30000000000000004"), (TRows{{"2"}}));
        EXPECT_EQ(Query("SELECT K FROM T WHERE X = 0.3"), (TRows{}));
        EXPECT_EQ(Query("SELECT K FROM T WHERE S = 'ABC'"), (TRows{{"1"}}));
        EXPECT_EQ(Query("SELECT K FROM T WHERE D = #7/4/2007 06:15:00#"), (TRows{{"2"}}));
        EXPECT_EQ(Query("SELECT K FROM T WHERE D = #7/4/2007#"), (TRows{}));
        EXPECT_EQ(Query("SELECT K FROM T WHERE K IN (1, 3) ORDER BY K"), (TRows{{"1"}, {"3"}}));
        EXPECT_EQ(Query("SELECT K FROM T WHERE K IN (2) ORDER BY K"), (TRows{{"2"}}));
    }
    EXPECT_EQ(RowCountOf("UPDATE T SET S = 'x' WHERE X > 1"), 2);
    EXPECT_EQ(RowCountOf("UPDATE T SET S = 'y' WHERE X > 5"), 1);
    EXPECT_EQ(RowCountOf("UPDATE T SET S = 'z' WHERE X > 50"), 0);
    EXPECT_EQ(Query("SELECT S FROM T ORDER BY K"), (TRows{{"y"}, {"10"}, {"x"}}));
    EXPECT_EQ(RowCountOf("DELETE FROM T WHERE K = 3"), 1);
    EXPECT_EQ(RowCountOf("DELETE FROM T WHERE K = 3"), 0);
}

TEST_F(KeptStatements, TwoOpenCursorsOfOneShapeKeepApart)
{
    SQLHSTMT A = NewStmt(), B = NewStmt();
    ODBC_OK(SQLExecDirect(A, (SQLCHAR *)"SELECT K FROM T WHERE K >= 1 ORDER BY K", SQL_NTS));
    ODBC_OK(SQLExecDirect(B, (SQLCHAR *)"SELECT K FROM T WHERE K >= 3 ORDER BY K", SQL_NTS));
    SQLINTEGER KA = 0, KB = 0;
    ODBC_OK(SQLFetch(A));
    ODBC_OK(SQLFetch(B));
    ODBC_OK(SQLGetData(A, 1, SQL_C_SLONG, &KA, 0, nullptr));
    ODBC_OK(SQLGetData(B, 1, SQL_C_SLONG, &KB, 0, nullptr));
    EXPECT_EQ(KA, 1);
    EXPECT_EQ(KB, 3);
    EXPECT_EQ(SQLFetch(B), SQL_NO_DATA);
    ODBC_OK(SQLFetch(A));
    ODBC_OK(SQLGetData(A, 1, SQL_C_SLONG, &KA, 0, nullptr));
    EXPECT_EQ(KA, 2);
    // A handle prepared anew while the other still reads.
    ODBC_OK(SQLExecDirect(B, (SQLCHAR *)"SELECT K FROM T WHERE K >= 2 ORDER BY K", SQL_NTS));
    ODBC_OK(SQLFetch(B));
    ODBC_OK(SQLGetData(B, 1, SQL_C_SLONG, &KB, 0, nullptr));
    EXPECT_EQ(KB, 2);
    ODBC_OK(SQLFetch(A));
    ODBC_OK(SQLGetData(A, 1, SQL_C_SLONG, &KA, 0, nullptr));
    EXPECT_EQ(KA, 3);
    Free(A);
    Free(B);
}

TEST_F(KeptStatements, LiteralsThatAreNoValuesStayInTheText)
{
    // Column numbers, select-list literals (their value and their name), TOP.
    EXPECT_EQ(Query("SELECT K, S FROM T WHERE K < 3 ORDER BY 1 DESC"), (TRows{{"2", "10"}, {"1", "abc"}}));
    EXPECT_EQ(Query("SELECT K, S FROM T WHERE K < 3 ORDER BY 2 DESC"), (TRows{{"1", "abc"}, {"2", "10"}}));
    EXPECT_EQ(Query("SELECT 7, 'a' FROM T WHERE K = 1"), (TRows{{"7", "a"}}));
    EXPECT_EQ(Query("SELECT 8, 'b' FROM T WHERE K = 2"), (TRows{{"8", "b"}}));
    EXPECT_EQ(Query("SELECT TOP 1 K FROM T ORDER BY K"), (TRows{{"1"}}));
    EXPECT_EQ(Query("SELECT TOP 2 K FROM T ORDER BY K"), (TRows{{"1"}, {"2"}}));
    {
        SQLHSTMT S = NewStmt();
        ODBC_OK(SQLExecDirect(S, (SQLCHAR *)"SELECT 1.5 AS Half FROM T WHERE K = 1", SQL_NTS));
        SQLCHAR Name[64] = {};
        SQLSMALLINT Len = 0, Type = 0, Digits = 0, Nullable = 0;
        SQLULEN Size = 0;
        ODBC_OK(SQLDescribeCol(S, 1, Name, sizeof Name, &Len, &Type, &Size, &Digits, &Nullable));
        EXPECT_STREQ(reinterpret_cast<char *>(Name), "Half");
        EXPECT_EQ(Type, SQL_DOUBLE);
        Free(S);
    }
    // LIKE patterns: a bracketed wildcard is rewritten by its value.
    Exec("INSERT INTO T (K, S) VALUES (4, 'a%c')");
    EXPECT_EQ(Query("SELECT K FROM T WHERE S LIKE 'a%' ORDER BY K"), (TRows{{"1"}, {"4"}}));
    EXPECT_EQ(Query("SELECT K FROM T WHERE S LIKE 'a[%]%' ORDER BY K"), (TRows{{"4"}}));
    // Arguments of functions; a divisor decides whether it needs a guard.
    EXPECT_EQ(Query("SELECT K FROM T WHERE Mid(S, 1, 2) = 'ab'"), (TRows{{"1"}}));
    EXPECT_EQ(Query("SELECT K FROM T WHERE Mid(S, 2, 2) = 'bc'"), (TRows{{"1"}}));
    EXPECT_EQ(Query("SELECT K FROM T WHERE X / 2 > 5"), (TRows{{"1"}}));
    TDiagInfo D;
    EXPECT_EQ(Try("SELECT K FROM T WHERE X / 0 > 5", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "22012");
    // An integer beyond 64 bits, and the smallest one, read as SQLite reads them.
    EXPECT_EQ(Query("SELECT K FROM T WHERE K < 99999999999999999999 AND K > -9223372036854775808 ORDER BY K").size(), 4u);
}

TEST_F(KeptStatements, TextAndNumberLiteralsKeepTheirComparisons)
{
    // A column gives its affinity to a value compared with it, bound or written.
    EXPECT_EQ(Query("SELECT K FROM T WHERE K = '2'"), (TRows{{"2"}}));
    EXPECT_EQ(Query("SELECT K FROM T WHERE K = 2.0"), (TRows{{"2"}}));
    EXPECT_EQ(Query("SELECT K FROM T WHERE X = 3"), (TRows{{"3"}}));
    EXPECT_EQ(Query("SELECT K FROM T WHERE S = 10"), (TRows{{"2"}}));
    // Without a column, text and numbers never equal and text sorts above.
    EXPECT_EQ(Query("SELECT K FROM T WHERE K + 0 = '2'"), (TRows{}));
    EXPECT_EQ(Query("SELECT K FROM T WHERE K + 0 = 2"), (TRows{{"2"}}));
    EXPECT_EQ(Query("SELECT K FROM T WHERE K + 0 < '1' ORDER BY K").size(), 3u);
    // Text compares as text: '9' > '10'.
    EXPECT_EQ(Query("SELECT K FROM T WHERE S > '5' ORDER BY K"), (TRows{{"1"}, {"3"}}));
    // Integer division stays floating point whatever the literals are.
    EXPECT_EQ(Query("SELECT K FROM T WHERE K * 1 / 2 = 0.5"), (TRows{{"1"}}));
    EXPECT_EQ(Query("SELECT K FROM T WHERE 7 / K = 3.5"), (TRows{{"2"}}));
}

TEST_F(KeptStatements, ParametersKeepTheirPositionsAmongLiftedLiterals)
{
    SQLHSTMT S = NewStmt();
    ODBC_OK(SQLPrepare(S, (SQLCHAR *)"UPDATE (SELECT * FROM T WHERE X > 1) SET S = ? WHERE K <> 3 AND S <> ?", SQL_NTS));
    SQLSMALLINT N = 0;
    ODBC_OK(SQLNumParams(S, &N));
    EXPECT_EQ(N, 2);
    char New[] = "new", Old[] = "zzz";
    ODBC_OK(SQLBindParameter(S, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 12, 0, New, 0, nullptr));
    ODBC_OK(SQLBindParameter(S, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 12, 0, Old, 0, nullptr));
    ODBC_OK(SQLExecute(S));
    SQLLEN Count = 0;
    SQLRowCount(S, &Count);
    EXPECT_EQ(Count, 1);
    Free(S);
    EXPECT_EQ(Query("SELECT K, S FROM T ORDER BY K"), (TRows{{"1", "new"}, {"2", "10"}, {"3", "9"}}));
}

TEST_F(KeptStatements, SchemaChangesOnThisOrAnotherConnectionAreSeen)
{
    EXPECT_EQ(ColumnsOf("SELECT * FROM T WHERE K = 1"), 4);
    Exec("ALTER TABLE T ADD COLUMN N Long");
    EXPECT_EQ(ColumnsOf("SELECT * FROM T WHERE K = 2"), 5);

    SQLHDBC Other = OpenOther();
    TDiagInfo D;
    EXPECT_EQ(Try("SELECT K FROM U2 WHERE C = 2", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "42S02");
    ExecOn(Other, "CREATE TABLE U2 (K Long, C Double)");
    ExecOn(Other, "INSERT INTO U2 VALUES (1, 2)");
    EXPECT_EQ(Query("SELECT K FROM U2 WHERE C = 2"), (TRows{{"1"}}));
    // The same name, now a CURRENCY column (stored scaled): the statement
    // must be translated for the new table, not taken from the old one.
    ExecOn(Other, "DROP TABLE U2");
    ExecOn(Other, "CREATE TABLE U2 (K Long, C Currency, E Long)");
    ExecOn(Other, "INSERT INTO U2 VALUES (5, 2, 0)");
    EXPECT_EQ(Query("SELECT K FROM U2 WHERE C = 2"), (TRows{{"5"}}));
    EXPECT_EQ(ColumnsOf("SELECT * FROM U2 WHERE K = 5"), 3);
    CloseOther(Other);

    // A DDL rolled back on this connection.
    ODBC_OK(SQLSetConnectAttr(Dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0));
    Exec("ALTER TABLE T ADD COLUMN M Long");
    EXPECT_EQ(ColumnsOf("SELECT * FROM T WHERE K = 3"), 6);
    ODBC_OK(SQLEndTran(SQL_HANDLE_DBC, Dbc, SQL_ROLLBACK));
    EXPECT_EQ(ColumnsOf("SELECT * FROM T WHERE K = 1"), 5);
    ODBC_OK(SQLSetConnectAttr(Dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0));
}

TEST_F(KeptStatements, AWriteAfterAnotherProgramRebuiltItsTableWritesTheNewTable)
{
    Exec("CREATE TABLE W (K Long, C Double)");
    Exec("INSERT INTO W VALUES (1, 0)");
    EXPECT_EQ(RowCountOf("UPDATE W SET C = 2 WHERE K = 1"), 1);
    SQLHDBC Other = OpenOther();
    ExecOn(Other, "DROP TABLE W");
    ExecOn(Other, "CREATE TABLE W (K Long, C Currency)");
    ExecOn(Other, "INSERT INTO W VALUES (5, 0)");
    // Written scaled, as into any CURRENCY column.
    EXPECT_EQ(RowCountOf("UPDATE W SET C = 3 WHERE K = 5"), 1);
    EXPECT_EQ(Query("SELECT K, C * 2 FROM W"), (TRows{{"5", "6"}}));
    ExecOn(Other, "DROP TABLE W");
    TDiagInfo D;
    EXPECT_EQ(Try("UPDATE W SET C = 4 WHERE K = 5", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "42S02");
    CloseOther(Other);
    // And after a change on this connection.
    Exec("CREATE TABLE W (K Long, C Double)");
    Exec("INSERT INTO W VALUES (6, 1)");
    EXPECT_EQ(RowCountOf("UPDATE W SET C = 5 WHERE K = 6"), 1);
    Exec("ALTER TABLE W ADD COLUMN E Long");
    EXPECT_EQ(RowCountOf("UPDATE W SET C = 7 WHERE K = 6"), 1);
    EXPECT_EQ(Query("SELECT C, E FROM W"), (TRows{{"7", "<null>"}}));
}

TEST_F(KeptStatements, AnErrorDoesNotSpoilTheNextStatementOfItsShape)
{
    TDiagInfo D;
    EXPECT_EQ(Try("INSERT INTO T (K, S) VALUES (1, 'dup')", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "23000");
    Exec("INSERT INTO T (K, S) VALUES (7, 'new')");
    EXPECT_EQ(Try("UPDATE T SET S = 'much too long a text' WHERE K = 7", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "22001");
    EXPECT_EQ(RowCountOf("UPDATE T SET S = 'short' WHERE K = 7"), 1);
    EXPECT_EQ(Query("SELECT S FROM T WHERE K = 7"), (TRows{{"short"}}));
    // SQLite's message names the literal it stumbled on, as without lifting.
    EXPECT_EQ(Try("SELECT K FROM T WHERE K = 1 2", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "42000");
    EXPECT_NE(D.Message.find("\"2\""), std::string::npos) << D.Message;
    EXPECT_EQ(Query("SELECT K FROM T WHERE K = 3"), (TRows{{"3"}}));
}

TEST_F(KeptStatements, MoreShapesThanTheStoreHoldsStillAnswerRight)
{
    std::string Sql = "SELECT K FROM T WHERE K = 1";
    for (int i = 0; i < 150; ++i) {
        Sql += " OR K = " + std::to_string(i + 2);
        ASSERT_EQ(Query(Sql).size(), i == 0 ? 2u : 3u) << i;
    }
    EXPECT_EQ(Query("SELECT K FROM T WHERE K = 1 OR K = 2"), (TRows{{"1"}, {"2"}}));
}

// One handle kept for text after text, with the calls the client components
// make around each: every text runs with its own values, whichever shape ran
// before it on the handle, and a text refused leaves nothing prepared.
class KeptHandle : public KeptStatements {
protected:
    void SetUp() override
    {
        KeptStatements::SetUp();
        H = NewStmt();
    }
    void TearDown() override
    {
        Free(H);
        KeptStatements::TearDown();
    }
    // The text prepared and run on H: its return, its row count in ACount.
    SQLRETURN Run(const std::string &ASql, SQLLEN *ACount = nullptr, TDiagInfo *ADiag = nullptr)
    {
        SQLFreeStmt(H, SQL_CLOSE);
        SQLSetStmtAttr(H, SQL_ATTR_MAX_ROWS, reinterpret_cast<SQLPOINTER>(0), 0);
        SQLRETURN Rc = SQLPrepare(H, (SQLCHAR *)ASql.c_str(), SQL_NTS);
        if (SQL_SUCCEEDED(Rc))
            Rc = SQLExecute(H);
        if (!SQL_SUCCEEDED(Rc) && Rc != SQL_NO_DATA && ADiag)
            *ADiag = Diag(SQL_HANDLE_STMT, H);
        if (ACount) {
            *ACount = -2;
            SQLRowCount(H, ACount);
        }
        return Rc;
    }
    TRows Rows(const std::string &ASql)
    {
        EXPECT_TRUE(SQL_SUCCEEDED(Run(ASql))) << ASql;
        TRows R;
        while (SQL_SUCCEEDED(SQLFetch(H))) {
            SQLCHAR Buf[64] = {};
            SQLLEN Ind = 0;
            SQLGetData(H, 1, SQL_C_CHAR, Buf, sizeof Buf, &Ind);
            R.push_back({Ind == SQL_NULL_DATA ? "<null>" : reinterpret_cast<char *>(Buf)});
        }
        return R;
    }
    SQLHSTMT H = SQL_NULL_HSTMT;
};

TEST_F(KeptHandle, EveryTextRunsWithItsOwnValuesOfEveryKind)
{
    SQLLEN N = 0;
    // Text, real, date and integer values in SET and WHERE; a real and an
    // integer pressure are two shapes, taken in turn.
    EXPECT_EQ(Run("UPDATE T SET S = 'one', X = 1.5, D = #1/2/2001# WHERE K = 1 AND S = 'abc'", &N), SQL_SUCCESS);
    EXPECT_EQ(N, 1);
    EXPECT_EQ(Run("UPDATE T SET S = 'two', X = 2, D = #3/4/2002# WHERE K = 2 AND S = '10'", &N), SQL_SUCCESS);
    EXPECT_EQ(N, 1);
    EXPECT_EQ(Run("UPDATE T SET S = 'three', X = 3.25, D = #5/6/2003# WHERE K = 3 AND S = '9'", &N), SQL_SUCCESS);
    EXPECT_EQ(N, 1);
    // The same shapes matching no row change nothing, not even with the values before.
    EXPECT_EQ(Run("UPDATE T SET S = 'none', X = 4.5, D = #7/8/2004# WHERE K = 1 AND S = 'abc'", &N), SQL_NO_DATA);
    EXPECT_EQ(N, 0);
    EXPECT_EQ(Run("UPDATE T SET S = 'nix', X = 5, D = #9/9/2005# WHERE K = 4 AND S = 'two'", &N), SQL_NO_DATA);
    EXPECT_EQ(N, 0);
    EXPECT_EQ(Query("SELECT K, S, X, Year(D) FROM T ORDER BY K"),
              (TRows{{"1", "one", "1.5", "2001"}, {"2", "two", "2", "2002"}, {"3", "three", "3.25", "2003"}}));
    // Queries of two shapes in turn on the one handle.
    EXPECT_EQ(Rows("SELECT K FROM T WHERE X = 1.5"), (TRows{{"1"}}));
    EXPECT_EQ(Rows("SELECT K FROM T WHERE X = 2"), (TRows{{"2"}}));
    EXPECT_EQ(Rows("SELECT K FROM T WHERE X = 3.25"), (TRows{{"3"}}));
    EXPECT_EQ(Rows("SELECT K FROM T WHERE X = 3"), (TRows{}));
    EXPECT_EQ(Rows("SELECT K FROM T WHERE X = 1.5"), (TRows{{"1"}}));
    EXPECT_EQ(Rows("SELECT K FROM T WHERE D = #3/4/2002#"), (TRows{{"2"}}));
    EXPECT_EQ(Rows("SELECT K FROM T WHERE D = #5/6/2003#"), (TRows{{"3"}}));
    // A written literal is part of the statement: other TOPs, other rows.
    EXPECT_EQ(Rows("SELECT TOP 1 K FROM T WHERE K > 0 ORDER BY K"), (TRows{{"1"}}));
    EXPECT_EQ(Rows("SELECT TOP 2 K FROM T WHERE K > 0 ORDER BY K"), (TRows{{"1"}, {"2"}}));
    EXPECT_EQ(Rows("SELECT TOP 1 K FROM T WHERE K > 1 ORDER BY K"), (TRows{{"2"}}));
}

TEST_F(KeptHandle, ARefusedTextLeavesNothingToRun)
{
    SQLLEN N = 0;
    TDiagInfo D;
    EXPECT_EQ(Run("UPDATE T SET S = 'x' WHERE K = 1", &N), SQL_SUCCESS);
    // Refused at execution: the value, not the shape.
    EXPECT_EQ(Run("UPDATE T SET S = 'far too long a text' WHERE K = 2", &N, &D), SQL_ERROR);
    EXPECT_EQ(D.State, "22001");
    // Refused at prepare: run anyway, the handle has nothing to run.
    EXPECT_EQ(Run("UPDATE T SET S = 'y' WHERE D = #13/45/2001#", &N, &D), SQL_ERROR);
    EXPECT_EQ(SQLExecute(H), SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, H).State, "HY010");
    EXPECT_EQ(Run("UPDATE T SET S = 'z' WHERE K = 3; DROP TABLE T", &N, &D), SQL_ERROR);
    EXPECT_EQ(SQLExecute(H), SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, H).State, "HY010");
    EXPECT_EQ(Run("UPDATE T SET S = 'w' WHERE K = 3", &N), SQL_SUCCESS);
    EXPECT_EQ(N, 1);
    EXPECT_EQ(Query("SELECT S FROM T ORDER BY K"), (TRows{{"x"}, {"10"}, {"w"}}));
}

TEST_F(KeptHandle, ATableRebuiltByAnotherProgramIsWrittenAndReadAsItIsNow)
{
    SQLLEN N = 0;
    EXPECT_EQ(Run("UPDATE T SET X = 7.5 WHERE K = 1", &N), SQL_SUCCESS);
    EXPECT_EQ(Run("UPDATE T SET X = 8 WHERE K = 2", &N), SQL_SUCCESS);
    EXPECT_EQ(Rows("SELECT K FROM T WHERE X = 7.5"), (TRows{{"1"}}));
    SQLHDBC Other = OpenOther();
    ExecOn(Other, "DROP TABLE T");
    ExecOn(Other, "CREATE TABLE T (X Currency, K Long)");
    ExecOn(Other, "INSERT INTO T VALUES (1, 1)");
    ExecOn(Other, "INSERT INTO T VALUES (2, 2)");
    CloseOther(Other);
    // Both kept shapes, the one held and the spare, meet the new table.
    EXPECT_EQ(Run("UPDATE T SET X = 9 WHERE K = 2", &N), SQL_SUCCESS);
    EXPECT_EQ(Run("UPDATE T SET X = 9.5 WHERE K = 1", &N), SQL_SUCCESS);
    EXPECT_EQ(Rows("SELECT K FROM T WHERE X = 9.5"), (TRows{{"1"}}));
    EXPECT_EQ(Rows("SELECT K FROM T WHERE X = 9"), (TRows{{"2"}}));
    EXPECT_EQ(Query("SELECT K, X * 2 FROM T ORDER BY K"), (TRows{{"1", "19"}, {"2", "18"}}));
}

// --- the store and the translator's lifting on their own

namespace {

struct TMemoryDb {
    sqlite3 *Db = nullptr;
    TMemoryDb() { sqlite3_open(":memory:", &Db); }
    ~TMemoryDb() { sqlite3_close(Db); }
    sqlite3_stmt *Prepare() const
    {
        sqlite3_stmt *S = nullptr;
        sqlite3_prepare_v2(Db, "SELECT 1", -1, &S, nullptr);
        return S;
    }
};

std::shared_ptr<const accessodbc::TDrvPlan> PlanOf(const std::string &AKey)
{
    auto P = std::make_shared<accessodbc::TDrvPlan>();
    P->Key = AKey;
    return P;
}

} // namespace

TEST(StatementStore, HoldsItsBoundDropsTheLeastRecentAndForgetsOnInvalidate)
{
    TMemoryDb M;
    accessodbc::TDrvStatementCache C(4);
    for (int i = 0; i < 6; ++i)
        C.Give(PlanOf("k" + std::to_string(i)), M.Prepare(), C.Generation());
    EXPECT_EQ(C.Size(), 4u);
    std::shared_ptr<const accessodbc::TDrvPlan> P;
    EXPECT_EQ(C.Take("k0", P), nullptr);
    EXPECT_EQ(C.Take("k1", P), nullptr);
    sqlite3_stmt *S = C.Take("k5", P);
    ASSERT_NE(S, nullptr);
    EXPECT_EQ(P->Key, "k5");
    EXPECT_EQ(C.Take("k5", P), nullptr) << "a held statement is nobody else's";
    // A second statement of a key that came back first is not kept twice.
    C.Give(PlanOf("k4"), M.Prepare(), C.Generation());
    EXPECT_EQ(C.Size(), 3u);
    // Taken before a schema change, given back after it: finalized.
    const auto Before = C.Generation();
    C.CheckSchemaVersion(7);
    C.CheckSchemaVersion(7);
    EXPECT_EQ(C.Size(), 0u);
    C.Give(P, S, Before);
    EXPECT_EQ(C.Size(), 0u);
    C.Give(PlanOf("k9"), M.Prepare(), C.Generation());
    EXPECT_EQ(C.Size(), 1u);
    C.CheckSchemaVersion(8);
    EXPECT_EQ(C.Size(), 0u);
}

TEST(StatementStore, AHeldStatementKeepsItsPlaceAndIsNeverEvicted)
{
    TMemoryDb M;
    accessodbc::TDrvStatementCache C(2);
    const auto K1 = PlanOf("k1");
    C.Give(K1, M.Prepare(), C.Generation());
    C.Give(PlanOf("k2"), M.Prepare(), C.Generation());
    std::shared_ptr<const accessodbc::TDrvPlan> P1;
    sqlite3_stmt *S1 = C.Take("k1", P1);
    ASSERT_NE(S1, nullptr);
    EXPECT_EQ(P1, K1);
    EXPECT_EQ(C.Size(), 1u);
    // Two more idle ones push out k2, not the held k1.
    C.Give(PlanOf("k3"), M.Prepare(), C.Generation());
    C.Give(PlanOf("k4"), M.Prepare(), C.Generation());
    EXPECT_EQ(C.Size(), 2u);
    // A second statement of the held key, prepared meanwhile, is not kept.
    C.Give(PlanOf("k1"), M.Prepare(), C.Generation());
    EXPECT_EQ(C.Size(), 2u);
    C.Give(P1, S1, C.Generation());
    EXPECT_EQ(C.Size(), 2u) << "k1 back, k3 the least recent one out";
    std::shared_ptr<const accessodbc::TDrvPlan> P;
    EXPECT_EQ(C.Take("k2", P), nullptr);
    EXPECT_EQ(C.Take("k3", P), nullptr);
    sqlite3_stmt *Again = C.Take("k1", P);
    EXPECT_EQ(Again, S1);
    EXPECT_EQ(P, K1);
    // Forgotten while held: finalized when given back.
    const auto Before = C.Generation();
    C.Invalidate();
    C.Give(P, Again, Before);
    EXPECT_EQ(C.Size(), 0u);
    EXPECT_EQ(C.Take("k1", P), nullptr);
}

TEST(StatementStore, KeysTellShapesAndWrittenLiteralsApart)
{
    accessodbc::TDrvStatementCache C(4);
    jet::TJetShape A, B, Text;
    ASSERT_TRUE(jet::JetStatementShape("SELECT TOP 5 K FROM T WHERE K = 4711and X = 1.5", A));
    ASSERT_TRUE(jet::JetStatementShape("SELECT  TOP 5 K FROM T WHERE K = 12 and X = 2.25", B));
    ASSERT_TRUE(jet::JetStatementShape("SELECT TOP 5 K FROM T WHERE K = '12' and X = 2.25", Text));
    EXPECT_EQ(A.Key, B.Key);
    EXPECT_NE(A.Key, Text.Key);
    std::string Key;
    EXPECT_FALSE(C.KeyOf(A, Key));
    // TOP's 5 stays written, the two values are bound.
    accessodbc::TDrvPlan Plan;
    const std::string KeyA = C.Learn(A, {1, 2}, Plan.Written);
    EXPECT_EQ(Plan.Written, (std::vector<bool>{true, false, false}));
    ASSERT_TRUE(C.KeyOf(B, Key));
    EXPECT_EQ(Key, KeyA);
    // A plan tells the texts of its key as the store does.
    Plan.Key = KeyA;
    EXPECT_TRUE(accessodbc::TDrvStatementCache::Fits(B, Plan));
    EXPECT_FALSE(accessodbc::TDrvStatementCache::Fits(Text, Plan));
    jet::TJetShape Top6;
    ASSERT_TRUE(jet::JetStatementShape("SELECT TOP 6 K FROM T WHERE K = 12 and X = 2.25", Top6));
    ASSERT_TRUE(C.KeyOf(Top6, Key));
    EXPECT_NE(Key, KeyA);
    EXPECT_FALSE(accessodbc::TDrvStatementCache::Fits(Top6, Plan));
    jet::TJetShape Top55;
    ASSERT_TRUE(jet::JetStatementShape("SELECT TOP 55 K FROM T WHERE K = 12 and X = 2.25", Top55));
    EXPECT_FALSE(accessodbc::TDrvStatementCache::Fits(Top55, Plan));
    ASSERT_TRUE(jet::JetStatementShape("SELECT TOP 5 K FROM T WHERE K = 12 and X = 2.25 and K = 1", Top55));
    EXPECT_FALSE(accessodbc::TDrvStatementCache::Fits(Top55, Plan));
    EXPECT_FALSE(jet::JetStatementShape("SELECT 'open", A));
}

TEST(StatementShape, EveryTextReadsAsTheTokenizerReadsIt)
{
    // A date or a bracketed name sends the whole text through the tokenizer;
    // the key of the text before it must be the same either way.
    const char *const Texts[] = {
        "Update PTS_Data Set FPRES=1, FTEMP=1, FPSAL=2 where ID_Cast = 4711and PRES = 10.2",
        "select ID_Cast, PRES from PTS_Data where ID_Cast = 12 order by PRES",
        "SELECT a.b, .5, x.5, x .5, 1e5, 1e, 2.e3, 3E-2, 7. FROM t WHERE s = 'O''Brien' AND e = ''",
        "SELECT *\tFROM t\r\nWHERE n <> 9223372036854775808 AND m >= -9223372036854775807 AND k != 00000000000000000001",
        "x<>y <= ? ; z == 3 ^ 2 % 4 \\ 5 & 'a' - (b * c) / d + e > f < g = h ! i",
        "SELECT \xc3\xa4rger FROM t WHERE n = 1",
    };
    for (const char *Text : Texts) {
        jet::TJetShape Quick, Slow;
        ASSERT_TRUE(jet::JetStatementShape(Text, Quick)) << Text;
        ASSERT_TRUE(jet::JetStatementShape(std::string(Text) + " AND [Z] = #1/2/2000#", Slow)) << Text;
        EXPECT_EQ(Slow.Key.substr(0, Quick.Key.size()), Quick.Key) << Text;
        ASSERT_EQ(Slow.Literals.size(), Quick.Literals.size() + 1) << Text;
        for (size_t i = 0; i < Quick.Literals.size(); ++i) {
            EXPECT_EQ(Slow.Literals[i].Kind, Quick.Literals[i].Kind) << Text << " #" << i;
            EXPECT_EQ(Slow.Literals[i].Text, Quick.Literals[i].Text) << Text << " #" << i;
        }
        EXPECT_EQ(Slow.Literals.back().Kind, 'D');
    }
    // One shape buffer for one text after another, as a connection keeps it.
    jet::TJetShape S;
    ASSERT_TRUE(jet::JetStatementShape("SELECT 'a long text of a first statement', 9223372036854775808, 1.5", S));
    std::string Kinds;
    for (const auto &L : S.Literals)
        Kinds += L.Kind;
    EXPECT_EQ(Kinds, "SHR");
    ASSERT_TRUE(jet::JetStatementShape("SELECT 'b', 9223372036854775807", S));
    ASSERT_EQ(S.Literals.size(), 2u);
    EXPECT_EQ(S.Literals[0].Text, "b");
    EXPECT_EQ(S.Literals[1].Kind, 'I');
    // Names that run into each other differently stay apart.
    jet::TJetShape A, B;
    ASSERT_TRUE(jet::JetStatementShape("SELECT ab c FROM t", A));
    ASSERT_TRUE(jet::JetStatementShape("SELECT a bc FROM t", B));
    EXPECT_NE(A.Key, B.Key);
    ASSERT_TRUE(jet::JetStatementShape("SELECT a FROM t WHERE k = 1", A));
    ASSERT_TRUE(jet::JetStatementShape("SELECT a FROM t WHERE k = 1.0", B));
    EXPECT_NE(A.Key, B.Key);
    // What the tokenizer refuses, the shape refuses.
    EXPECT_FALSE(jet::JetStatementShape("SELECT $x FROM t", A));
    EXPECT_FALSE(jet::JetStatementShape("SELECT a | b FROM t", A));
    EXPECT_FALSE(jet::JetStatementShape("SELECT a || b FROM t", A));
    EXPECT_FALSE(jet::JetStatementShape(std::string("SELECT a\0 FROM t", 16), A));
    EXPECT_TRUE(jet::JetStatementShape("SELECT [a b] FROM t WHERE d = {d '2000-01-02'}", A));
}

TEST(StatementShape, NumbersReadWithTheirTextAreSQLitesReading)
{
    TMemoryDb M;
    sqlite3_stmt *Real = nullptr, *Int = nullptr;
    sqlite3_prepare_v2(M.Db, "SELECT CAST(?1 AS REAL)", -1, &Real, nullptr);
    sqlite3_prepare_v2(M.Db, "SELECT CAST(?1 AS INTEGER)", -1, &Int, nullptr);
    int Valued = 0;
    auto Check = [&](const std::string &ANumber, bool AValued) {
        jet::TJetShape S;
        ASSERT_TRUE(jet::JetStatementShape("UPDATE T SET X = " + ANumber + " WHERE K = 1", S)) << ANumber;
        ASSERT_EQ(S.Literals.size(), 2u);
        const jet::TJetLiteral &L = S.Literals[0];
        ASSERT_EQ(L.HasValue, AValued) << ANumber;
        if (!L.HasValue)
            return;
        ++Valued;
        sqlite3_stmt *Q = L.Kind == 'I' ? Int : Real;
        sqlite3_bind_text(Q, 1, ANumber.c_str(), -1, SQLITE_TRANSIENT);
        ASSERT_EQ(sqlite3_step(Q), SQLITE_ROW);
        if (L.Kind == 'I')
            EXPECT_EQ(L.Int, sqlite3_column_int64(Q, 0)) << ANumber;
        else {
            const double Want = sqlite3_column_double(Q, 0);
            EXPECT_EQ(std::memcmp(&L.Real, &Want, sizeof Want), 0) << ANumber << " " << L.Real << " " << Want;
        }
        sqlite3_reset(Q);
    };
    // Pressures, temperatures and coordinates as a program writes them,
    // and digits drawn at random up to 15 of them.
    for (int I = 0; I < 20000; ++I) {
        Check(std::to_string(I / 1000) + "." + std::to_string(1000 + I % 1000).substr(1), true);
        Check(std::to_string(I) + "." + std::to_string(I % 10), true);
    }
    std::uint64_t Seed = 88172645463325252ull;
    for (int I = 0; I < 20000; ++I) {
        Seed ^= Seed << 13;
        Seed ^= Seed >> 7;
        Seed ^= Seed << 17;
        const int Digits = 1 + static_cast<int>(Seed % 15), Places = static_cast<int>((Seed >> 8) % 4);
        std::string Text = std::to_string(Seed >> 12).substr(0, static_cast<size_t>(Digits));
        if (Places > 0 && static_cast<int>(Text.size()) > Places)
            Text.insert(Text.size() - static_cast<size_t>(Places), ".");
        Check(Text, true);
    }
    for (const char *Text : {"0.5", ".5", "7.", "000123.4500", "0.001", "999999999999999", "99999999999999.9",
                             "123456789012345678", "00000000000000000001"})
        Check(Text, true);
    // Read by SQLite itself: more places, more digits, an exponent.
    for (const char *Text : {"0.0001", "1.2345", "9999999999999999.0", "1234567890123456.5", "1e5", "2.5E-3",
                             "9223372036854775807"})
        Check(Text, false);
    EXPECT_GT(Valued, 60000);
    sqlite3_finalize(Real);
    sqlite3_finalize(Int);
}

TEST(JetTranslator, LiftsPlainValuesAndNumbersTheMarkers)
{
    jet::TJetTranslateContext C;
    C.LiftLiterals = true;
    auto Tr = jet::TranslateJetSql("SELECT TOP 3 K, 1 FROM T WHERE K = 5 AND S = ? AND Mid(S, 2, 1) = 'x' "
                                   "AND S LIKE 'a%' AND X / 4 > 2.5 ORDER BY 2",
                                   C);
    EXPECT_EQ(Tr.Sql, "SELECT K , 1 FROM T WHERE K = ?2 AND S = ?1 AND jet_MID (S , 2 , 1) = ?3 AND S LIKE 'a%' "
                      "AND X * 1.0 / 4 > ?4 ORDER BY 2 LIMIT 3");
    EXPECT_EQ(Tr.ParamCount, 1);
    EXPECT_EQ(Tr.LiftedLiterals, (std::vector<int>{2, 5, 8}));
    Tr = jet::TranslateJetSql("UPDATE PTS_Data SET FTEMP = 3 WHERE ID_Cast = 4711 and PRES = 10.25", C);
    EXPECT_EQ(Tr.Sql, "UPDATE PTS_Data SET FTEMP = ?1 WHERE ID_Cast = ?2 and PRES = ?3");
    EXPECT_EQ(Tr.LiftedLiterals, (std::vector<int>{0, 1, 2}));
    // Never in DDL or SELECT ... INTO.
    EXPECT_TRUE(jet::TranslateJetSql("CREATE TABLE Z (A Text(5))", C).LiftedLiterals.empty());
    EXPECT_TRUE(jet::TranslateJetSql("SELECT * INTO Z FROM T WHERE K = 1", C).LiftedLiterals.empty());
}
