// Every local SQL statement the program sends, on fixture tables of a work
// folder, with the rows it must return or leave.
#include "tests/localdb/LocalDbFixture.h"

using rtl::Variant;

namespace {

class LocalSqlCorpus : public LocalDbFixture {
protected:
    void SetUp() override
    {
        LocalDbFixture::SetUp();
        FromTemplate("black2007-QCCruise", "QCCruise", "ID_Cruise");
        Fill("black2007-QCCruise", {{17, "BS-1", "Knipovich 07"}, {18, "BS-2", "Akademik 12"},
                                    {19, "MS-1", "Poseidon 3"}});
        FromTemplate("black2007-Cast_TitlesFlags", "Cast_TitlesFlags", "ID_Cruise;ID_Cast");
        Fill("black2007-Cast_TitlesFlags",
             {{17, 4712, 1, 1, 3, 1}, {17, 4711, 1, 1, 1, 1}, {18, 4800, 3, 3, 1, 0}});
        FromTemplate("black2007-PTS_DataFlags", "PTS_DAtaFlags", "ID_Cast;PRES");
        Fill("black2007-PTS_DataFlags",
             {{4711, 20.0, 1, 2, 1}, {4711, 10.25, 1, 1, 1}, {4712, 5.0, 0, 0, 0}});
        FromTemplate("black2007-DOX1flags", "ChemFlags", "ID_Cast;PRES");
        Fill("black2007-DOX1flags", {{4711, 10.0, 1, 4}, {4711, 0.0, 1, 1}});
        FromTemplate("black2007-undocast", "undocast");
        Fill("black2007-undocast", {{17, 4711, "FLON", "1", true}, {17, 4711, "FLAT", "2", true},
                                    {17, 4711, "FLON", "3", false}, {17, 4712, "FLON", "9", true}});
        FromTemplate("black2007-Undoparam", "Undoparam");
        Fill("black2007-Undoparam", {{4711, 10.25, "TEMP", "8.5", true}, {4711, 10.2, "TEMP", "7", true},
                                     {4711, 10.25, "FTEMP", "1", true}});
    }
};

} // namespace

TEST_F(LocalSqlCorpus, L1_L4_L15_DeleteWithoutWhereEmptiesTheTable)
{
    Fill("CruID", {{1}, {2}});
    Exec("Delete from CruID");
    EXPECT_EQ(Count("CruID"), 0);
    Fill("Cruises", {{1, "A"}});
    Exec("Delete From Cruises");
    EXPECT_EQ(Count("Cruises"), 0);
    Fill("TmpCast", {{17, 4711}});
    Exec("Delete From TmpCast");
    EXPECT_EQ(Count("TmpCast"), 0);
}

TEST_F(LocalSqlCorpus, L2_ParamHoldsTheInstalledParameters)
{
    Lines R = Rows("Select * From param");
    ASSERT_GE(R.size(), 5u);
    EXPECT_EQ(R[0], "TEMP|TEMPERATURE DEG C|True");
    EXPECT_EQ(R[1], "PSAL|SALINITY PSU|True");
    EXPECT_NE(std::find(R.begin(), R.end(), "NO3|NITRATE UMOL/L|False"), R.end());
    EXPECT_NE(std::find(R.begin(), R.end(), "DOX1|DISSOLVED OXYGEN ML/L|False"), R.end());
}

TEST_F(LocalSqlCorpus, L3_CruisesOrderedByName)
{
    Lines R = Rows("Select * from \"black2007-QCCruise\" order by Cruise_Name");
    ASSERT_EQ(R.size(), 3u);
    EXPECT_EQ(R[0].substr(0, 20), "18|BS-2|Akademik 12|");
    EXPECT_EQ(R[1].substr(0, 3), "17|");
    EXPECT_EQ(R[2].substr(0, 3), "19|");
}

TEST_F(LocalSqlCorpus, L5_L6_L7_CruiseListsFromTheUpperCaseName)
{
    Fill("Cruises", {{1, "K07", "M1", "S1", "UA", "Ship One", "Ukraine"},
                     {2, "K08", "M2", "S2", "UA", "Ship Two", "Ukraine"},
                     {3, "P03", "M3", "S3", "TR", "Another", "Turkey"},
                     {4, "K09", "M4", "S1", "UA", "Ship One", "Ukraine"}});
    EXPECT_EQ(Rows("Select Distinct Country_Code, NAME from CRUISES order by NAME"),
              (Lines{"TR|Turkey", "UA|Ukraine"}));
    EXPECT_EQ(Rows("Select Distinct Country_Code, Ship_Code, Ship_Name from CRUISES order by Ship_Name"),
              (Lines{"TR|S3|Another", "UA|S1|Ship One", "UA|S2|Ship Two"}));
    EXPECT_EQ(Rows("Select * from CRUISES").size(), 4u);
}

TEST_F(LocalSqlCorpus, L8_DoubleQuotedValueIsAStringLiteral)
{
    EXPECT_EQ(Rows("Select * from BS_Range where param = \"NO3\""), (Lines{"NO3|0|12"}));
    EXPECT_TRUE(Rows("Select * from BS_Range where param = \"TEMP\"").empty());
    // A double-quoted name of a column stays a column.
    EXPECT_EQ(Rows("Select * from BS_Range where \"param\" = 'NO2'"), (Lines{"NO2|0|1.5"}));
}

TEST_F(LocalSqlCorpus, L9_ClimaticProfileBySquareAndMonth)
{
    FromTemplate("BS_TEMP", "Clim", "Region;Month;Pres");
    Fill("BS_TEMP", {{"12", 7, 20.0, 8.1, 0.5}, {"12", 7, 0.0, 24.0, 1.2}, {"12", 7, 10.0, 20.5, 1.0},
                     {"12", 8, 0.0, 25.0, 1.1}, {"13", 7, 0.0, 23.0, 1.0}, {"120", 7, 0.0, 1.0, 1.0}});
    EXPECT_EQ(Rows("Select PRES, PAVG, PSTD from BS_TEMP where (Region = 12) and (BS_TEMP.\"Month\" = 7) order by PRES"),
              (Lines{"0|24|1.2", "10|20.5|1", "20|8.1|0.5"}));
    FromTemplate("MS_TEMP", "Clim", "Region;Month;Pres");
    Fill("MS_TEMP", {{"M07", 7, 5.0, 18.0, 0.7}, {"M07", 6, 5.0, 17.0, 0.7}, {"M08", 7, 5.0, 1.0, 1.0}});
    EXPECT_EQ(Rows("Select PRES, PAVG, PSTD from MS_TEMP where (Region = 'M07') and (MS_TEMP.\"Month\" = 7) order by PRES"),
              (Lines{"5|18|0.7"}));
}

TEST_F(LocalSqlCorpus, L10_L11_WorkingProfileOfTheEditor)
{
    Fill("TmpData", {{4711, 20.0, 1, 8.0, 1, 18.2, 1, 1014.1, 0}, {4711, 10.0, 1, 9.5, 1, 18.1, 1, Variant(), Variant()},
                     {4712, 5.0, 0, 10.0, 0, 18.0, 0}});
    EXPECT_EQ(Rows("Select ID_Cast, PRES, FPRES, TEMP, FTEMP, PSAL, FPSAL, DENS, FDENS From TmpData Where ID_Cast = 4711 order by PRES"),
              (Lines{"4711|10|1|9.5|1|18.1|1||", "4711|20|1|8|1|18.2|1|1014.1|0"}));
    TTable T;
    T.SetDatabaseName(Folder);
    T.SetTableName("TmpData");
    T.FieldDefs().Clear();
    T.FieldDefs().Add("ID_Cast", rtl::ftInteger);
    T.FieldDefs().Add("PRES", rtl::ftFloat);
    T.FieldDefs().Add("FPRES", rtl::ftSmallint);
    T.FieldDefs().Add("Chem", rtl::ftFloat);
    T.FieldDefs().Add("FChem", rtl::ftSmallint);
    T.CreateTable();
    Fill("TmpData", {{4711, 10.0, 1, 5.5, 2}, {4711, 0.0, 1, 4.0, 1}});
    EXPECT_EQ(Rows("Select ID_Cast, PRES, FPRES, CHEM, FCHEM From TmpData Where ID_Cast = 4711 order by PRES"),
              (Lines{"4711|0|1|4|1", "4711|10|1|5.5|2"}));
}

TEST_F(LocalSqlCorpus, L12_L13_CastFlagsOfTheRun)
{
    EXPECT_EQ(Rows("Select Distinct ID_Cruise from \"black2007-Cast_TitlesFlags\""), (Lines{"17", "18"}));
    EXPECT_EQ(Rows("Select * from \"black2007-Cast_TitlesFlags\" where ID_Cruise = 17"),
              (Lines{"17|4711|1|1|1|1", "17|4712|1|1|3|1"}));
}

TEST_F(LocalSqlCorpus, L14_L18_L19_LevelFlagsSpelledOtherwise)
{
    EXPECT_EQ(Rows("Select * from \"black2007-PTS_Dataflags\" Where ID_Cast=4711"),
              (Lines{"4711|10.25|1|1|1", "4711|20|1|2|1"}));
    EXPECT_EQ(Rows("Select * from \"black2007-DOX1flags\" Where ID_Cast=4711"),
              (Lines{"4711|0|1|1", "4711|10|1|4"}));
    EXPECT_EQ(Rows("Select * From \"black2007-PTS_DataFlags\" Where ID_Cast = 4711 order by PRES"),
              (Lines{"4711|10.25|1|1|1", "4711|20|1|2|1"}));
    EXPECT_EQ(Rows("Select * From \"black2007-DOX1Flags\" Where ID_Cast =4711 order by PRES"),
              (Lines{"4711|0|1|1", "4711|10|1|4"}));
    // The last field of a chemical flag table is the parameter's flag.
    TQuery Q;
    Q.SetDatabaseName(Folder);
    Q.SQL().Add("Select * from \"black2007-DOX1flags\"");
    Q.Open();
    EXPECT_EQ(Q.Fields()[3]->FieldName(), "FCHEM");
}

TEST_F(LocalSqlCorpus, L16_L17_StationsJoinedWithTheRunsFlags)
{
    EXPECT_EQ(Rows("Select * From \"black2007-Cast_TitlesFlags\"  where ID_Cruise = 17 order by ID_Cast"),
              (Lines{"17|4711|1|1|1|1", "17|4712|1|1|3|1"}));
    Fill("TmpCast", {{17, 4711, 35000.0, 0.5, 0, 31.5, 0, 43.25, 0, 1200.0, 0, "St 1"},
                     {17, 4712, 35001.0, 0.25, 0, 31.75, 0, 43.5, 0, 900.0, 0, "St 2"}});
    Fill("TmpCastFlags", {{17, 4711, 1, 3, 4, 1}});
    TQuery Q;
    Q.SetDatabaseName(Folder);
    Q.SQL().Add("Select D.ID_Cruise, D.ID_Cast, D.Date_Cast, D.Time_Cast, D1.FDt, D.Lon, D1.FLon, D.Lat, D1.FLat, D.Depth, D1.FD, D.StationName From TmpCast D Left Outer Join TmpCastFlags D1 on  (D1.ID_Cast=D.ID_Cast)");
    Q.Open();
    ASSERT_EQ(Q.RecordCount(), 2);
    EXPECT_EQ(Q.FieldByName("FDt")->AsInteger(), 4);
    EXPECT_EQ(Q.FieldByName("FLat")->AsInteger(), 3);
    EXPECT_EQ(Q.FieldByName("FLon")->AsInteger(), 1);
    EXPECT_EQ(Q.FieldByName("Date_Cast")->AsString(), "10/28/1995");
    EXPECT_EQ(Q.FieldByName("Time_Cast")->AsFloat(), 0.5);
    EXPECT_EQ(Q.FieldByName("StationName")->AsString(), "St 1");
    Q.Next();
    EXPECT_TRUE(Q.FieldByName("FLon")->IsNull()); // no flags of the run for 4712
    EXPECT_EQ(Q.FieldByName("FLon")->AsString(), "");
    EXPECT_EQ(Q.FieldByName("Lon")->AsFloat(), 31.75);
}

TEST_F(LocalSqlCorpus, L20_L21_UndoValues)
{
    EXPECT_EQ(Rows("Select * from \"black2007-UndoCast\" where (ID_Cruise = 17)and(ID_Cast = 4711)and(FldName = 'FLON')"),
              (Lines{"17|4711|FLON|1|True", "17|4711|FLON|3|False"}));
    EXPECT_EQ(Rows("Select * From \"black2007-UndoParam\" Where (ID_Cast = 4711)and(PRES = 10.25)and(FldName = 'TEMP')"),
              (Lines{"4711|10.25|TEMP|8.5|True"}));
}

TEST_F(LocalSqlCorpus, MissingTableIsAnError)
{
    EXPECT_THROW(Rows("Select * from \"black2007-NO3flags\""), EDatabaseError);
    EXPECT_THROW(Exec("Delete from Nowhere"), EDatabaseError);
}
