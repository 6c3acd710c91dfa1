// Every statement the application sends to the station database (the Access
// SQL of the main database), run on the fixture database through unixODBC,
// with the rows each must return or change.
#include "tests/accessodbc/OdbcFixture.h"

using TRows = std::vector<std::vector<std::string>>;

class CorpusStatements : public TOdbcTest {
protected:
    void SetUp() override
    {
        TOdbcTest::SetUp();
        MakeStationFixture();
        // MainDbSqlName: the path without ".mdb", in double quotes.
        SqlName = "\"" + DbPath.substr(0, DbPath.size() - 4) + "\"";
        MdbName = "\"" + DbPath + "\"";
    }
    static std::vector<std::string> Column(const TRows &R, size_t C)
    {
        std::vector<std::string> V;
        for (const auto &Row : R)
            V.push_back(Row.at(C));
        return V;
    }
    std::string SqlName, MdbName;
};

TEST_F(CorpusStatements, StartUpParameterListAndProbes)
{
    // M1
    EXPECT_EQ(Query("Select Distinct ParamAbr, Unit, ParName From \"Parameters\"").size(), 3u);
    // M2: the probe succeeds for a table and fails for a parameter without one
    EXPECT_EQ(Query("Select top 1 * from DOX1").size(), 1u);
    TDiagInfo D;
    EXPECT_EQ(Try("Select top 1 * from TEMP", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "42S02");
    EXPECT_EQ(D.Native, -1305);
    EXPECT_NE(D.Message.find("'TEMP'"), std::string::npos) << D.Message;
    // M5: qualified by the database path without its extension
    const TRows P = Query("Select Top 1 * From " + SqlName + ".PTS_Data");
    ASSERT_EQ(P.size(), 1u);
    EXPECT_EQ(P[0].size(), 7u);
    EXPECT_EQ(Query("Select Top 1 * From " + SqlName + ".DOX1").size(), 1u);
}

TEST_F(CorpusStatements, CruiseJoinOrderedByCountryAndShip)
{
    // M3, with its two blanks before Order
    const TRows R = Query("Select Distinct D.ID_Cruise, D.Cruise_Name, D.MAR, D.Ship_Code, D.Country_Code, D1.Ship_Name, "
                          "D2.NAME from " + SqlName + ".Cruise_Titles D, " + SqlName + ".Ships D1, " + SqlName +
                          ".Countries D2 Where (D.Ship_Code = D1.Ship_Code)and(D.Country_Code=D2.Country_Code)  Order by "
                          "D2.NAME, D1.Ship_Name");
    EXPECT_EQ(Column(R, 0), (std::vector<std::string>{"18", "17", "19"}));
    EXPECT_EQ(Column(R, 6), (std::vector<std::string>{"Bulgaria", "Ukraine", "Ukraine"}));
    // M4: LIKE is case-insensitive ('bs07-B' matches)
    EXPECT_EQ(Column(Query("Select * from Cruise_Titles where Cruise_Name like 'BS07%'"), 0),
              (std::vector<std::string>{"17", "18"}));
    // G1, with a bracketed name
    EXPECT_EQ(Query("SELECT T.* FROM [Cruise_Titles] T").size(), 3u);
}

TEST_F(CorpusStatements, CruiseLoopAndProfiles)
{
    // M6
    EXPECT_EQ(Column(Query("Select * from Cast_Titles where ID_Cruise = 17 order by Date_Cast, Time_Cast"), 0),
              (std::vector<std::string>{"4711", "4712"}));
    // M7, M15
    EXPECT_EQ(Query("Select ParamAbr, ParName, Unit from \"Parameters\" where ID_Cast = 4711").size(), 3u);
    EXPECT_EQ(Query("Select * From \"Parameters\" where ID_Cast = 4711").size(), 3u);
    // M13 / M21 (mixed-case column names) / M14 / M22
    const TRows T = Query("Select ID_Cast, PRES, FPRES, TEMP, FTEMP, PSAL, FPSAL From PTS_Data Where ID_Cast = 4711 order by PRES");
    EXPECT_EQ(Column(T, 1), (std::vector<std::string>{"10.2", "20.4"}));
    EXPECT_EQ(Column(T, 3), (std::vector<std::string>{"8.5", "8.1"}));
    EXPECT_EQ(Query("Select ID_Cast, PRES, FPRES, Temp, Ftemp, PSal, FPSal from PTS_Data where ID_Cast = 4711 order by PRES"), T);
    EXPECT_EQ(Column(Query("Select ID_Cast, PRES, FPRES, DOX1, FDOX1 From DOX1 Where ID_Cast = 4711 order by PRES"), 3),
              (std::vector<std::string>{"6.1", "5.9"}));
    // M20, with two blanks before the table
    const TRows S = Query("select ID_Cruise, ID_Cast, Date_Cast, Time_Cast, FDt, Lon, FLon, Lat, FLat, Depth, FD, StationName "
                          "from  Cast_Titles where ID_Cruise=17 order by Date_Cast, Time_Cast");
    ASSERT_EQ(S.size(), 2u);
    EXPECT_EQ(S[0][2], "2007-07-03 00:00:00");
    EXPECT_EQ(S[0][3], "1899-12-30 06:15:00");
    EXPECT_EQ(S[1][9], "9999");
    // M26
    EXPECT_EQ(Query("Select PRES, TEMP from PTS_Data where ID_Cast=4712 order by PRES"), (TRows{{"5", "9"}}));
    // M29 / M30
    EXPECT_EQ(Query("select top 1 ID_Cast From PTS_Data where (ID_Cast = 4712)and((FTEMP = 2) or (FTEMP = 3))").size(), 1u);
    EXPECT_EQ(Query("select top 1 ID_Cast From PTS_Data where (ID_Cast = 4711)and((FTEMP = 2) or (FTEMP = 3))").size(), 0u);
    EXPECT_EQ(Query("Select top 1 ID_Cast From DOX1 where (ID_Cast = 4711)and((FDOX1 = 2) or (FDOX1 = 3))").size(), 1u);
    // G3
    EXPECT_EQ(Query("SELECT COUNT(*) FROM (\nSelect * from Cast_Titles where ID_Cruise = 17 \n) A"), (TRows{{"2"}}));
}

TEST_F(CorpusStatements, DuplicateSearchFullCruise)
{
    // M8: 4801 lies in the window at the very first moment (time >= #06.15.00#)
    const TRows R = Query(
        "Select * from Cast_Titles where (ID_Cruise <> 17) and ((((Lon > 30.45)and(Lon < 31.3))and((Lat > 43.05)and(Lat < "
        "44.05)))and(((Date_Cast > #7/3/2007#)and(Date_Cast < #7/9/2007#)) or ((Date_Cast = #7/3/2007#)and(Time_Cast >= "
        "#06.15.00#)) or ((Date_Cast = #7/9/2007#)and(Time_Cast <= #18.40.30#))))");
    EXPECT_EQ(Column(R, 0), (std::vector<std::string>{"4801"}));
}

TEST_F(CorpusStatements, DuplicateSearchEachStationThroughScratchTable)
{
    // M9 fails while there is no dupl (the caller ignores it)
    EXPECT_EQ(Try("drop table dupl"), SQL_ERROR);
    // M10: an empty copy of Cast_Titles' structure
    Exec("select * into dupl from " + MdbName + ".Cast_Titles where lon>100");
    EXPECT_EQ(Query("Select * from dupl").size(), 0u);
    // M11
    EXPECT_EQ(RowCountOf("Insert Into dupl Select * from " + MdbName +
                         ".Cast_Titles where (ID_Cruise <> 17) and (((((Lon > 30.45)and(Lon < 30.55))and((Lat > 43.05)and(Lat "
                         "< 43.15)))and(((Date_Cast > #7/3/2007#)and(Date_Cast < #7/3/2007#)) or ((Date_Cast = "
                         "#7/3/2007#)and(Time_Cast >= #06.15.00#)) or ((Date_Cast = #7/3/2007#)and(Time_Cast <= #06.15.00#)))))"),
              1);
    // M12: the copied row keeps its date and time values
    const TRows R = Query("Select Distinct * from dupl where (ID_Cruise <> 17)");
    ASSERT_EQ(R.size(), 1u);
    EXPECT_EQ(R[0][0], "4801");
    EXPECT_EQ(R[0][2], "2007-07-03 00:00:00");
    // M9 then M10 again, as every search starts
    Exec("drop table dupl");
    Exec("select * into dupl from " + MdbName + ".Cast_Titles where lon>100");
}

TEST_F(CorpusStatements, SelectIntoKeepsDeclaredColumnTypes)
{
    Exec("select * into dupl from " + MdbName + ".Cast_Titles where lon>100");
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

TEST_F(CorpusStatements, FlagWriteBackWithNumberAgainstKeyword)
{
    // M16 / M17: "4711and" has no blank before and
    EXPECT_EQ(RowCountOf("Update PTS_Data Set FPRES=1, FTEMP=1, FPSAL=2 where ID_Cast = 4711and PRES = 10.2"), 1);
    EXPECT_EQ(Query("select FPRES, FTEMP, FPSAL from PTS_Data where ID_Cast = 4711 and PRES = 10.2"), (TRows{{"1", "1", "2"}}));
    EXPECT_EQ(RowCountOf("Update DOX1 Set FPRES=1, FDOX1=3 where ID_Cast = 4711and PRES = 10.2"), 1);
    EXPECT_EQ(Query("select FDOX1 from DOX1 where PRES = 10.2"), (TRows{{"3"}}));
}

TEST_F(CorpusStatements, EditorScratchTableAndOtherProfiles)
{
    // M18 twice: the second fails and the editor falls back to M19
    Exec("Create Table QCCastID (ID_Cast Integer not NULL, primary KEY (ID_cast))");
    TDiagInfo D;
    EXPECT_EQ(Try("Create Table QCCastID (ID_Cast Integer not NULL, primary KEY (ID_cast))", &D), SQL_ERROR);
    EXPECT_EQ(D.State, "42S01");
    EXPECT_EQ(Try("Delete From QCCastID"), SQL_NO_DATA);
    // M23: no blank between and and (Month
    EXPECT_EQ(RowCountOf("Insert into QCCastID Select ID_Cast From Cast_Titles Where (Lon > 29.5) and (Lon < 30.6) and "
                         "(Lat > 43) and (Lat < 43.5) and(Month(Date_Cast)=7)"),
              2);
    // M25
    EXPECT_EQ(Column(Query("Select * from QCCastID"), 0), (std::vector<std::string>{"4711", "4801"}));
    // M24: Jet names the aggregates MinOfPRES, ...
    SQLHSTMT S = NewStmt();
    ODBC_OK(SQLExecDirect(S, (SQLCHAR *)"Select Min(D1.PRES), Min(D1.TEMP), Max(D1.PRES), Max(D1.TEMP) From QCCastID D, "
                                        "PTS_Data D1 where D1.ID_Cast=D.ID_Cast", SQL_NTS));
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
    EXPECT_EQ(RowCountOf("Delete From QCCastID"), 2);
    Exec("DROP Table QCCastID");
}

TEST_F(CorpusStatements, EditorWritesStationAndLevelFields)
{
    // M27 in its four forms
    EXPECT_EQ(RowCountOf("Update Cast_Titles SET FLon = 3 where ID_Cast = 4711"), 1);
    EXPECT_EQ(RowCountOf("Update Cast_Titles SET Date_Cast = #7/4/2007# where ID_Cast = 4711"), 1);
    EXPECT_EQ(RowCountOf("Update Cast_Titles SET Time_Cast = #14.30.00# where ID_Cast = 4711"), 1);
    EXPECT_EQ(RowCountOf("Update Cast_Titles SET Lon = 30.512 where ID_Cast = 4711"), 1);
    EXPECT_EQ(Query("select FLon, Date_Cast, Time_Cast, Lon from Cast_Titles where ID_Cast = 4711"),
              (TRows{{"3", "2007-07-04 00:00:00", "1899-12-30 14:30:00", "30.512"}}));
    // M28: an UPDATE of a subquery
    EXPECT_EQ(RowCountOf("Update (select * from PTS_Data where (ID_Cast = 4711) and (PRES = 10.2)) SET Temp = 8.125"), 1);
    EXPECT_EQ(RowCountOf("Update (select * from DOX1 where (ID_Cast = 4711) and (PRES = 10.2)) SET DOX1 = 6.48"), 1);
    EXPECT_EQ(Query("select TEMP from PTS_Data where PRES = 10.2"), (TRows{{"8.125"}}));
    EXPECT_EQ(Query("select TEMP from PTS_Data where PRES = 20.4"), (TRows{{"8.1"}}));
    EXPECT_EQ(Query("select DOX1 from DOX1 where PRES = 10.2"), (TRows{{"6.48"}}));
}

TEST_F(CorpusStatements, PostedRowUpdateWithParametersAndNoRow)
{
    // G2: positional markers, bound as the bridge binds a station's flags
    SQLHSTMT S = NewStmt();
    ODBC_OK(SQLPrepare(S, (SQLCHAR *)"UPDATE Cast_Titles SET FLon = ?, FLat = ?, FDT = ?, FD = ? WHERE ID_Cast = ?", SQL_NTS));
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
