// Unicode text through both faces of the driver, the translation the driver
// reports through SQLNativeSql, and a fixed-seed run of malformed statements
// that must come back as errors, never as a crash or a hang.
#include "tests/accessodbc/OdbcFixture.h"

#include <random>

using TRows = std::vector<std::vector<std::string>>;

namespace {
std::u16string U16(const char16_t *S) { return S; }
} // namespace

class UnicodeText : public TOdbcTest {};

TEST_F(UnicodeText, WideStatementsAndValuesRoundTrip)
{
    Exec("CREATE TABLE Seas (ID Long, Name Text(12))");
    const std::u16string Sql = u"INSERT INTO Seas VALUES (1, 'Чорне море')";
    SQLHSTMT S = NewStmt();
    ODBC_OK(SQLExecDirectW(S, (SQLWCHAR *)Sql.c_str(), SQL_NTS));
    Free(S);
    // Through SQL_C_CHAR the text is UTF-8; Len counts characters, UCase folds Cyrillic.
    EXPECT_EQ(Query("SELECT Name, Len(Name), UCase(Name) FROM Seas"),
              (TRows{{"Чорне море", "10", "ЧОРНЕ МОРЕ"}}));
    EXPECT_EQ(Query("SELECT ID FROM Seas WHERE Name = 'Чорне море'"), (TRows{{"1"}}));
    S = NewStmt();
    const std::u16string Select = u"SELECT Name AS Назва FROM Seas";
    ODBC_OK(SQLExecDirectW(S, (SQLWCHAR *)Select.c_str(), SQL_NTS));
    SQLWCHAR Name[32];
    SQLSMALLINT Len, Type, Digits, Nullable;
    SQLULEN Size;
    ODBC_OK(SQLDescribeColW(S, 1, Name, 32, &Len, &Type, &Size, &Digits, &Nullable));
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(Name), Len), U16(u"Назва"));
    EXPECT_EQ(Type, SQL_VARCHAR);
    EXPECT_EQ(Size, 12u);
    ODBC_OK(SQLFetch(S));
    SQLWCHAR Value[32];
    SQLLEN Ind = 0;
    ODBC_OK(SQLGetData(S, 1, SQL_C_WCHAR, Value, sizeof Value, &Ind));
    EXPECT_EQ(Ind, 20);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(Value)), U16(u"Чорне море"));
    Free(S);
    // A wide parameter, and a diagnostic read through the wide face.
    S = NewStmt();
    ODBC_OK(SQLPrepareW(S, (SQLWCHAR *)u"SELECT ID FROM Seas WHERE Name = ?", SQL_NTS));
    std::u16string P = u"Чорне море";
    SQLLEN PLen = static_cast<SQLLEN>(P.size() * 2);
    ODBC_OK(SQLBindParameter(S, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 12, 0, P.data(), PLen, &PLen));
    ODBC_OK(SQLExecute(S));
    SQLINTEGER Id = 0;
    ODBC_OK(SQLFetch(S));
    ODBC_OK(SQLGetData(S, 1, SQL_C_SLONG, &Id, 0, nullptr));
    EXPECT_EQ(Id, 1);
    Free(S);
    S = NewStmt();
    EXPECT_EQ(SQLExecDirectW(S, (SQLWCHAR *)u"SELECT * FROM Моря", SQL_NTS), SQL_ERROR);
    SQLWCHAR State[6], Msg[512];
    SQLINTEGER Native = 0;
    ODBC_OK(SQLGetDiagRecW(SQL_HANDLE_STMT, S, 1, State, &Native, Msg, 512, &Len));
    EXPECT_EQ(Native, -1305);
    // unixODBC collects diagnostics through the narrow face and widens them
    // byte by byte, so only the ASCII part of a message is checked here.
    EXPECT_NE(std::u16string(reinterpret_cast<char16_t *>(Msg)).find(u"cannot find the input table"), std::u16string::npos);
    Free(S);
}

class Translation : public TOdbcTest {
protected:
    std::string Native(const std::string &AJet)
    {
        SQLCHAR Out[2048];
        SQLINTEGER Len = 0;
        const SQLRETURN Rc = SQLNativeSql(Dbc, (SQLCHAR *)AJet.c_str(), SQL_NTS, Out, sizeof Out, &Len);
        return SQL_SUCCEEDED(Rc) ? std::string(reinterpret_cast<char *>(Out)) : "<error " + Diag(SQL_HANDLE_DBC, Dbc).State + ">";
    }
};

TEST_F(Translation, LexicalFormsAreReadWhereTheyStand)
{
    // A number against a keyword, names in brackets and quotes, strings holding brackets and #.
    EXPECT_EQ(Native("select a from [t x] where b = 4711and c = '[#1/2/2000#]'"),
              "select a from \"t x\" where b = 4711 and c = '[#1/2/2000#]'");
    EXPECT_EQ(Native("select \"Parameters\".[Unit] from \"Parameters\""),
              "select \"Parameters\" . \"Unit\" from \"Parameters\"");
    // Dates become Jet day numbers: 2000-01-02 is day 36527; 06:00 is a quarter day.
    EXPECT_EQ(Native("select 1 from t where d = #1/2/2000#"), "select 1 from t where d = 36527.0");
    EXPECT_EQ(Native("select 1 from t where d >= #06.00.00#"), "select 1 from t where d >= 0.25");
    EXPECT_EQ(Native("select 1 from t where d = {d '2000-01-02'}"), "select 1 from t where d = 36527.0");
    EXPECT_EQ(Native("select 1 from t where d = DATEVALUE('2000-01-02')"), "select 1 from t where d = 36527.0");
    // Structural forms
    EXPECT_EQ(Native("select top 5 a from t order by a"), "select a from t order by a LIMIT 5");
    EXPECT_EQ(Native("update (select * from t where (k = 1)) set v = 2"), "update t set v = 2 WHERE ((k = 1))");
    EXPECT_EQ(Native("select a & b from t"), "select jet_concat ((a) , (b)) from t");
    EXPECT_EQ(Native("select a + 1 & b from t"), "select jet_concat ((a + 1) , (b)) from t");
    EXPECT_EQ(Native("select {fn ucase(a)} from {oj t left outer join u on t.k = u.k}"),
              "select jet_UCASE (a) from t left outer join u on t . k = u . k");
    EXPECT_EQ(Native("create table x (a counter not null primary key, b text(10), c integer, d memo)"),
              "create table \"x\" (a COUNTER primary key , b TEXT(10) COLLATE NOCASE CONSTRAINT \"b$size\" CHECK (length "
              "(\"b\") <= 10) , c LONG , d LONGTEXT COLLATE NOCASE)");
    // Refusals
    EXPECT_EQ(Native("select 1; select 2"), "<error 42000>");
    EXPECT_EQ(Native("select 1 from t where d = #13/45/2000#"), "<error 42000>");
    EXPECT_EQ(Native("create table x (a Text(300))"), "<error 42000>");
    // Deep nesting is refused, not followed until the stack runs out.
    EXPECT_EQ(Native("select " + std::string(100000, '(') + "1" + std::string(100000, ')')), "<error 42000>");
}

TEST_F(Translation, MalformedStatementsFailCleanly)
{
    Exec("CREATE TABLE T (A Long, B Text(10), D DateTime)");
    Exec("INSERT INTO T VALUES (1, 'x', #1/1/2000#)");
    const std::vector<std::string> Pieces = {
        "select", "*", "from", "T", "where", "(", ")", "A", "=", "'", "\"", "[", "]", "#", "#1/2/2000#", "{fn",
        "{d", "}", "{oj", "top", "1", "4711and", "&", "iif(", ",", "update", "set", "(select", "into", "x", ";",
        "like", "'a[%]'", "Mid(", "DateAdd('d',", "@@IDENTITY", "?", "/", "Mod", "True", ".", "\"/tmp/x.mdb\".T"};
    std::mt19937 Rng(20070703);
    for (int i = 0; i < 400; ++i) {
        std::string Sql;
        const int N = 1 + static_cast<int>(Rng() % 12);
        for (int k = 0; k < N; ++k)
            Sql += Pieces[Rng() % Pieces.size()] + (Rng() % 3 ? " " : "");
        SQLHSTMT S = NewStmt();
        const SQLRETURN Rc = SQLExecDirect(S, (SQLCHAR *)Sql.c_str(), SQL_NTS);
        EXPECT_TRUE(Rc == SQL_SUCCESS || Rc == SQL_SUCCESS_WITH_INFO || Rc == SQL_ERROR || Rc == SQL_NO_DATA) << Sql;
        if (Rc == SQL_ERROR) {
            EXPECT_EQ(Diag(SQL_HANDLE_STMT, S).State.size(), 5u) << Sql;
        }
        Free(S);
    }
    EXPECT_EQ(Query("SELECT Count(*) FROM T"), (TRows{{"1"}}));
}

TEST_F(Translation, MemoTextThatReadsAsANumberKeepsItsSpelling)
{
    // A memo column must store text as text: "0012" and "1.50" are codes and
    // remarks, not numbers, and come back exactly as written.
    Exec("CREATE TABLE Notes (ID Long, Remark Memo, PRIMARY KEY (ID))");
    Exec("INSERT INTO Notes VALUES (1, '0012')");
    Exec("INSERT INTO Notes VALUES (2, '1.50')");
    const auto Rows = Query("SELECT Remark FROM Notes ORDER BY ID");
    ASSERT_EQ(Rows.size(), 2u);
    EXPECT_EQ(Rows[0][0], "0012");
    EXPECT_EQ(Rows[1][0], "1.50");
}
