// Every statement the application sends to the station database (the Access
// SQL of the main database), run on the fixture database through unixODBC,
// with the rows each must return or change.
#include "tests/accessodbc/OdbcFixture.h"
#include "tests/support/SentStatements.h"

using TRows = std::vector<std::vector<std::string>>;

class CorpusStatements : public TOdbcTest {
protected:
    void SetUp() override
    {
        TOdbcTest::SetUp();
        MakeStationFixture();
    }
    static std::vector<std::string> Column(const TRows &R, size_t C)
    {
        std::vector<std::string> V;
        for (const auto &Row : R)
            V.push_back(Row.at(C));
        return V;
    }
    // A statement with its markers written as the numbers given, in order.
    static std::string Filled(std::string AText, std::initializer_list<const char *> ANumbers)
    {
        for (const char *N : ANumbers)
            AText.replace(AText.find('?'), 1, N);
        return AText;
    }
    // A statement of the program, filled with the fixture's path.
    std::string Sent(const std::string &AName) const
    {
        return testsupport::WithDatabase(testsupport::SentStatement(AName).Text, DbPath);
    }
};

TEST_F(CorpusStatements, StartUpParameterListAndProbes)
{
    // M1
    EXPECT_EQ(Query(Sent("M1-parameter-list")).size(), 3u);
    // M2: the probe succeeds for a table and fails for a parameter without one
    EXPECT_EQ(Query(Sent("M2-probe-parameter-table")).size(), 1u);
    TDiagInfo D;
    EXPECT_EQ(Try(Sent("M2-probe-parameter-without-table"), &D), SQL_ERROR);
    EXPECT_EQ(D.State, "42S02");
    EXPECT_EQ(D.Native, -1305);
    EXPECT_NE(D.Message.find("'TEMP'"), std::string::npos) << D.Message;
    // M5: qualified by the database path without its extension
    const TRows P = Query(Sent("M5-probe-pts-table"));
    ASSERT_EQ(P.size(), 1u);
    EXPECT_EQ(P[0].size(), 7u);
    EXPECT_EQ(Query(Sent("M5-probe-own-table")).size(), 1u);
}

TEST_F(CorpusStatements, CruiseJoinOrderedByCountryAndShip)
{
    // M3, with its two blanks before Order
    const TRows R = Query(Sent("M3-cruise-ship-country-join"));
    EXPECT_EQ(Column(R, 0), (std::vector<std::string>{"18", "17", "19"}));
    EXPECT_EQ(Column(R, 6), (std::vector<std::string>{"Bulgaria", "Ukraine", "Ukraine"}));
    // M4: LIKE is case-insensitive ('bs07-B' matches)
    EXPECT_EQ(Column(Query(Sent("M4-cruise-name-search")), 0),
              (std::vector<std::string>{"17", "18"}));
    // G1, with a bracketed name
    EXPECT_EQ(Query("SELECT T.* FROM [Cruise_Titles] T").size(), 3u);
}

TEST_F(CorpusStatements, CruiseLoopAndProfiles)
{
    // M6
    EXPECT_EQ(Column(Query(Sent("M6-stations-of-cruise")), 0),
              (std::vector<std::string>{"4711", "4712"}));
    // M7
    EXPECT_EQ(Query(Sent("M7-parameters-of-station")).size(), 3u);
    // M13 / M21 (mixed-case column names) / M14 / M22
    const TRows T = Query(Sent("M13-levels-pts"));
    EXPECT_EQ(Column(T, 1), (std::vector<std::string>{"10.2", "20.4"}));
    EXPECT_EQ(Column(T, 3), (std::vector<std::string>{"8.5", "8.1"}));
    EXPECT_EQ(Query(Sent("M21-editor-profile-pts")), T);
    EXPECT_EQ(Column(Query(Sent("M14-levels-own-table")), 3),
              (std::vector<std::string>{"6.1", "5.9"}));
    // M20, with two blanks before the table
    const TRows S = Query(Sent("M20-editor-stations-of-cruise"));
    ASSERT_EQ(S.size(), 2u);
    EXPECT_EQ(S[0][2], "2007-07-03 00:00:00");
    EXPECT_EQ(S[0][3], "1899-12-30 06:15:00");
    EXPECT_EQ(S[1][9], "9999");
    // M26
    EXPECT_EQ(Query(Sent("M26-levels-of-other-profile")), (TRows{{"5", "9"}}));
    // M29 / M30
    EXPECT_EQ(Query("select top 1 ID_Cast From PTS_Data where (ID_Cast = 4712)and((FTEMP = 2) or (FTEMP = 3))").size(), 1u);
    EXPECT_EQ(Query(Sent("M29-data-error-probe-pts")).size(), 0u);
    EXPECT_EQ(Query(Sent("M30-data-error-probe-own-table")).size(), 1u);
    // G3
    EXPECT_EQ(Query(Sent("G3-total-record-count")), (TRows{{"2"}}));
}

TEST_F(CorpusStatements, DuplicateSearchFullCruise)
{
    // M8: 4801 lies in the window at its very first moment, as the
    // database adds its date and time up
    EXPECT_EQ(Query(Sent("M8-stored-moments-of-cruise"))[0][1], "39266.260416666664");
    const TRows R = Query(Filled(Sent("M8-duplicates-full-cruise"),
                                 {"30.45", "31.3", "43.05", "44.05", "39264", "39275", "39266.260416666664",
                                  "39272.778125"}));
    EXPECT_EQ(Column(R, 0), (std::vector<std::string>{"4801"}));
}

TEST_F(CorpusStatements, DuplicateSearchEachStationThroughScratchTable)
{
    // M9 fails while there is no dupl (the caller ignores it)
    EXPECT_EQ(Try(Sent("M9-drop-duplicates-scratch")), SQL_ERROR);
    // M10: an empty copy of Cast_Titles' structure
    Exec(Sent("M10-create-duplicates-scratch"));
    EXPECT_EQ(Query("Select * from dupl").size(), 0u);
    // M11
    EXPECT_EQ(RowCountOf(Filled(Sent("M11-collect-duplicates-of-station"),
                                {"30.45", "30.55", "43.05", "43.15", "39264", "39269", "39266.260416666664",
                                 "39266.260416666664"})),
              1);
    // M12: the copied row keeps its date and time values
    const TRows R = Query(Sent("M12-read-duplicates"));
    ASSERT_EQ(R.size(), 1u);
    EXPECT_EQ(R[0][0], "4801");
    EXPECT_EQ(R[0][2], "2007-07-03 00:00:00");
    // M9 then M10 again, as every search starts
    Exec(Sent("M9-drop-duplicates-scratch"));
    Exec(Sent("M10-create-duplicates-scratch"));
}

TEST_F(CorpusStatements, SelectIntoKeepsDeclaredColumnTypes)
{
    Exec(Sent("M10-create-duplicates-scratch"));
    SQLHSTMT S = NewStmt();
    ODBC_OK(SQLColumns(S, nullptr, 0, nullptr, 0, (SQLCHAR *)"dupl", SQL_NTS, nullptr, 0));
    std::vector<std::pair<std::string, int>> Types;
    while (SQL_SUCCEEDED(SQLFetch(S))) {
        char Name[128];
        SQLSMALLINT Type = 0;
        SQLINTEGER Size = 0;
        SQLLEN Ind;
        SQLGetData(S, 4, SQL_C_CHAR, Name, sizeof Name, &Ind);
        SQLGetData(S, 5, SQL_C_SSHORT, &Type, 0, &Ind);
        SQLGetData(S, 7, SQL_C_SLONG, &Size, 0, &Ind);
        Types.emplace_back(Name, Type);
        if (std::string(Name) == "StationName") {
            EXPECT_EQ(Size, 30);
        }
    }
    Free(S);
    ASSERT_EQ(Types.size(), 13u);
    EXPECT_EQ(Types[0], std::make_pair(std::string("ID_Cast"), (int)SQL_INTEGER));
    EXPECT_EQ(Types[2], std::make_pair(std::string("Date_Cast"), (int)SQL_TYPE_TIMESTAMP));
    EXPECT_EQ(Types[4], std::make_pair(std::string("Lon"), (int)SQL_DOUBLE));
    EXPECT_EQ(Types[9], std::make_pair(std::string("FLon"), (int)SQL_SMALLINT));
}

TEST_F(CorpusStatements, EditorScratchTableAndOtherProfiles)
{
    // M18 twice: the second fails and the editor falls back to M19
    Exec(Sent("M18-create-editor-scratch"));
    TDiagInfo D;
    EXPECT_EQ(Try(Sent("M18-create-editor-scratch"), &D), SQL_ERROR);
    EXPECT_EQ(D.State, "42S01");
    EXPECT_EQ(Try(Sent("M19-empty-editor-scratch")), SQL_NO_DATA);
    // M23: no blank between and and (Month
    EXPECT_EQ(RowCountOf("Insert into QCCastID Select ID_Cast From Cast_Titles Where (Lon > 29.5) and (Lon < 30.6) and "
                         "(Lat > 43) and (Lat < 43.5) and(Month(Date_Cast)=7)"),
              2);
    // M25
    EXPECT_EQ(Column(Query(Sent("M25-list-other-profiles")), 0), (std::vector<std::string>{"4711", "4801"}));
    // M24: Jet names the aggregates MinOfPRES, ...
    SQLHSTMT S = NewStmt();
    const std::string Extent = Sent("M24-extent-of-other-profiles");
    ODBC_OK(SQLExecDirect(S, (SQLCHAR *)Extent.c_str(), SQL_NTS));
    char Name[64];
    SQLSMALLINT NameLen, Type, Digits, Nullable;
    SQLULEN Size;
    ODBC_OK(SQLDescribeCol(S, 1, (SQLCHAR *)Name, sizeof Name, &NameLen, &Type, &Size, &Digits, &Nullable));
    EXPECT_STREQ(Name, "MinOfPRES");
    EXPECT_EQ(Type, SQL_DOUBLE);
    ODBC_OK(SQLFetch(S));
    double V[4];
    for (SQLUSMALLINT c = 1; c <= 4; ++c)
        ODBC_OK(SQLGetData(S, c, SQL_C_DOUBLE, &V[c - 1], 0, nullptr));
    EXPECT_DOUBLE_EQ(V[0], 10.2);
    EXPECT_DOUBLE_EQ(V[1], 8.1);
    EXPECT_DOUBLE_EQ(V[2], 20.4);
    EXPECT_DOUBLE_EQ(V[3], 8.5);
    Free(S);
    // M19 with rows, M31
    EXPECT_EQ(RowCountOf(Sent("M19-empty-editor-scratch")), 2);
    Exec(Sent("M31-drop-editor-scratch"));
}

TEST_F(CorpusStatements, EditorWritesStationAndLevelFields)
{
    // M27 in its four forms
    EXPECT_EQ(RowCountOf(Sent("M27-write-station-flag")), 1);
    EXPECT_EQ(RowCountOf(Sent("M27-write-station-date")), 1);
    EXPECT_EQ(RowCountOf(Sent("M27-write-station-time")), 1);
    EXPECT_EQ(RowCountOf(Sent("M27-write-station-value")), 1);
    EXPECT_EQ(Query("select FLon, Date_Cast, Time_Cast, Lon from Cast_Titles where ID_Cast = 4711"),
              (TRows{{"3", "2007-07-04 00:00:00", "1899-12-30 14:30:00", "30.512"}}));
    // M28: an UPDATE of a subquery
    EXPECT_EQ(RowCountOf(Sent("M28-write-level-value-pts")), 1);
    EXPECT_EQ(RowCountOf(Sent("M28-write-level-value-own-table")), 1);
    EXPECT_EQ(Query("select TEMP from PTS_Data where PRES = 10.2"), (TRows{{"8.125"}}));
    EXPECT_EQ(Query("select TEMP from PTS_Data where PRES = 20.4"), (TRows{{"8.1"}}));
    EXPECT_EQ(Query("select DOX1 from DOX1 where PRES = 10.2"), (TRows{{"6.48"}}));
}

TEST_F(CorpusStatements, PostedRowUpdateWithParametersAndNoRow)
{
    // G2: positional markers, bound as the bridge binds a station's flags
    SQLHSTMT S = NewStmt();
    const std::string Update = Sent("G2-post-station-flags");
    ODBC_OK(SQLPrepare(S, (SQLCHAR *)Update.c_str(), SQL_NTS));
    SQLSMALLINT Flags[4] = {17, 17, 0, 4};
    SQLINTEGER Key = 4712;
    for (SQLUSMALLINT i = 0; i < 4; ++i)
        ODBC_OK(SQLBindParameter(S, i + 1, SQL_PARAM_INPUT, SQL_C_SSHORT, SQL_SMALLINT, 0, 0, &Flags[i], 0, nullptr));
    ODBC_OK(SQLBindParameter(S, 5, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &Key, 0, nullptr));
    ODBC_OK(SQLExecute(S));
    SQLLEN N = -1;
    ODBC_OK(SQLRowCount(S, &N));
    EXPECT_EQ(N, 1);
    // A key that matches nothing: SQL_NO_DATA and a count of 0
    Key = 999;
    EXPECT_EQ(SQLExecute(S), SQL_NO_DATA);
    ODBC_OK(SQLRowCount(S, &N));
    EXPECT_EQ(N, 0);
    Free(S);
    EXPECT_EQ(Query("select FLon, FLat, FDT, FD from Cast_Titles where ID_Cast = 4712"), (TRows{{"17", "17", "0", "4"}}));
}

// The whole list in the order a session sends it, on one database: each
// statement succeeds with the rows it reads or changes, or fails as the
// program expects (its probes and its scratch-table drops).
TEST_F(CorpusStatements, EveryStatementRunsInOrderWithItsOutcome)
{
    ASSERT_FALSE(testsupport::SentStatements().empty());
    for (const testsupport::TSentStatement &St : testsupport::SentStatements()) {
        SCOPED_TRACE(St.Name + " (statements file line " + std::to_string(St.Line) + ")");
        const std::string Text = Sent(St.Name);
        SQLHSTMT S = NewStmt();
        if (St.Outcome == "params") {
            EXPECT_TRUE(SQL_SUCCEEDED(SQLPrepare(S, (SQLCHAR *)Text.c_str(), SQL_NTS)));
            SQLSMALLINT N = -1;
            EXPECT_TRUE(SQL_SUCCEEDED(SQLNumParams(S, &N)));
            EXPECT_EQ(N, St.Count);
            Free(S);
            continue;
        }
        const SQLRETURN Rc = SQLExecDirect(S, (SQLCHAR *)Text.c_str(), SQL_NTS);
        if (St.Outcome == "error") {
            EXPECT_EQ(Rc, SQL_ERROR);
            EXPECT_EQ(Diag(SQL_HANDLE_STMT, S).State, St.State);
            Free(S);
            continue;
        }
        // A write that changes nothing answers SQL_NO_DATA, as Jet does.
        EXPECT_TRUE(SQL_SUCCEEDED(Rc) || Rc == SQL_NO_DATA) << Diag(SQL_HANDLE_STMT, S).Message;
        if (St.Outcome == "rows" && (SQL_SUCCEEDED(Rc) || Rc == SQL_NO_DATA)) {
            SQLSMALLINT Cols = 0;
            EXPECT_TRUE(SQL_SUCCEEDED(SQLNumResultCols(S, &Cols)));
            SQLLEN N = 0;
            if (Cols > 0) {
                while (SQL_SUCCEEDED(SQLFetch(S)))
                    ++N;
            } else {
                EXPECT_TRUE(SQL_SUCCEEDED(SQLRowCount(S, &N)));
            }
            EXPECT_EQ(N, St.Count);
        }
        Free(S);
    }
}
