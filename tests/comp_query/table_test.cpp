// The table component: the SELECT it builds from its name and order fields
// (names quoted through the connection's dialect where they need it), and
// tables of the station database opened and posted through it.
#include <string>

#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "platform/dataset/TDataSource.h"
#include "platform/dataset/TField.h"
#include "dataaccess/phys/qxZqPhysConnMeta.h"
#include "tests/support/query_fixture.h"

using namespace querytest;

namespace {

std::string Bracket(const std::string &AName)
{
    return AName.find(' ') == std::string::npos ? AName : "[" + AName + "]";
}

std::string Join(const std::vector<std::string> &ALines)
{
    std::string R;
    for (const auto &L : ALines)
        R += (R.empty() ? "" : "|") + L;
    return R;
}

} // namespace

TEST(TableSelect, NameAndOrderFieldsGiveTwoLines)
{
    EXPECT_EQ(Join(ZqBuildTableSelect("Cast_Titles", false, "Date_Cast;Time_Cast", "", {}, Bracket)),
              "SELECT T.* FROM Cast_Titles T|ORDER BY T.Date_Cast, T.Time_Cast");
    EXPECT_EQ(Join(ZqBuildTableSelect("Cruise_Titles", false, "", "", {}, Bracket)), "SELECT T.* FROM Cruise_Titles T");
}

TEST(TableSelect, MasterFieldsPairWithTheLeadingOrderFieldsOnly)
{
    EXPECT_EQ(Join(ZqBuildTableSelect("D", false, "A;B", "", {"M"}, Bracket)),
              "SELECT T.* FROM D T|WHERE T.A = :M|ORDER BY T.A, T.B");
    EXPECT_EQ(Join(ZqBuildTableSelect("D", false, "A;B", "", {"M", "N"}, Bracket)),
              "SELECT T.* FROM D T|WHERE T.A = :M AND T.B = :N|ORDER BY T.A, T.B");
}

TEST(TableSelect, DescendingFieldsEmptyNamesRowIdAndQuoting)
{
    EXPECT_EQ(Join(ZqBuildTableSelect("D", false, "A;;Bb ;C", "c;X", {}, Bracket)),
              "SELECT T.* FROM D T|ORDER BY T.A, T.Bb, T.C DESC");
    EXPECT_EQ(Join(ZqBuildTableSelect("D", true, "Cast No", "", {}, Bracket)),
              "SELECT T.*, T.ROWID FROM D T|ORDER BY T.[Cast No]");
    // A descending name is matched whole, not as a part of another name.
    EXPECT_EQ(Join(ZqBuildTableSelect("D", false, "AB", "A;B", {}, Bracket)), "SELECT T.* FROM D T|ORDER BY T.AB");
}

TEST(CountStatement, CutsAtTheOrderByPosition)
{
    const std::string Text = "select * from T where A = 1 order by B";
    EXPECT_EQ(ZqCountStatement(Text, int(Text.find("order")) + 1),
              "SELECT COUNT(*) FROM (\nselect * from T where A = 1 \n) A");
    EXPECT_EQ(ZqCountStatement("select * from T", 0), "SELECT COUNT(*) FROM (\nselect * from T\n) A");
}

using TableRoad = StationDb;

TEST_F(TableRoad, CruiseTitlesOpensWithEveryRow)
{
    auto *T = New<TZqTable>();
    T->SetTableName("Cruise_Titles");
    T->Open();
    EXPECT_EQ(T->RecordCount(), int(Sql("select 1 from Cruise_Titles").size()));
    EXPECT_EQ(T->SQL()->Text(), "SELECT T.* FROM Cruise_Titles T\n");
    EXPECT_NE(T->FieldDefs().IndexOf("Cruise_Name"), -1);
}

TEST_F(TableRoad, OrderFieldsOrderTheRows)
{
    const auto Expected = Sql("select ID_Cast from Cast_Titles order by ID_Cruise desc, ID_Cast");
    auto *T = New<TZqTable>();
    T->SetTableName("Cast_Titles");
    T->SetIndexFieldNames("ID_Cruise;ID_Cast");
    T->Open();
    ASSERT_EQ(T->RecordCount(), int(Expected.size()));
    T->First();
    // Ascending on both: the first row is the smallest cruise's smallest cast.
    const auto First = Sql("select ID_Cast from Cast_Titles order by ID_Cruise, ID_Cast limit 1");
    EXPECT_EQ(T->FieldByName("ID_Cast")->AsString(), First[0][0]);
}

TEST_F(TableRoad, NamesThatNeedQuotingAreQuotedInTheSelect)
{
    SqliteExec(DbPath, "CREATE TABLE \"Odd Names\" (\"Cast No\" INTEGER, \"Order\" TEXT);"
                       "INSERT INTO \"Odd Names\" VALUES (2, 'b'), (1, 'a'), (3, 'c');");
    auto *T = New<TZqTable>();
    T->SetTableName("Odd Names");
    T->SetIndexFieldNames("Cast No");
    T->Open();
    ASSERT_EQ(T->RecordCount(), 3);
    std::string Seen;
    for (T->First(); !T->Eof(); T->Next())
        Seen += T->FieldByName("Order")->AsString();
    EXPECT_EQ(Seen, "abc");
    EXPECT_EQ(T->SQL()->Count(), 2);
}

TEST_F(TableRoad, ANewTableNameBuildsANewSelect)
{
    auto *T = New<TZqTable>();
    T->SetTableName("Cruise_Titles");
    T->Open();
    T->Close();
    EXPECT_THROW(
        {
            T->Open();
            T->SetTableName("Ships");
        },
        std::exception);
    T->Close();
    T->SetTableName("Ships");
    T->Open();
    EXPECT_EQ(T->RecordCount(), int(Sql("select 1 from Ships").size()));
}

TEST_F(TableRoad, EditPostReachesTheFileThroughTheTablesUpdateName)
{
    auto *T = New<TZqTable>();
    T->SetTableName("Cast_Titles");
    T->SetIndexFieldNames("ID_Cast");
    // As the main window's tables.
    T->UpdateOptions()->SetUseProviderFlags(false);
    T->Open();
    const std::string Id = T->FieldByName("ID_Cast")->AsString();
    T->Edit();
    T->FieldByName("FLat")->SetAsInteger(5);
    T->Post();
    EXPECT_EQ(Sql("select FLat from Cast_Titles where ID_Cast = " + Id)[0][0], "5");
    EXPECT_EQ(T->UpdateStatus(), usUnmodified);
}

TEST_F(TableRoad, ADetailTableSelectsTheMastersRowsByParameter)
{
    TZqQuery *Master = New("Select * from Cruise_Titles order by ID_Cruise");
    TDataSource Src(Owner.get());
    Src.SetDataSet(Master);
    auto *Detail = New<TZqTable>();
    Detail->SetTableName("Cast_Titles");
    Detail->SetIndexFieldNames("ID_Cruise;Date_Cast;Time_Cast");
    Detail->SetMasterSource(&Src);
    Detail->SetMasterFields("ID_Cruise");
    Master->Open();
    Detail->Open();
    EXPECT_EQ(Detail->SQL()->Text(),
              "SELECT T.* FROM Cast_Titles T\nWHERE T.ID_Cruise = :ID_Cruise\nORDER BY T.ID_Cruise, T.Date_Cast, "
              "T.Time_Cast\n");
    const std::string First = Master->FieldByName("ID_Cruise")->AsString();
    EXPECT_EQ(Detail->RecordCount(), int(Sql("select 1 from Cast_Titles where ID_Cruise = " + First).size()));
    Master->Next();
    const std::string Second = Master->FieldByName("ID_Cruise")->AsString();
    ASSERT_NE(First, Second);
    EXPECT_EQ(Detail->RecordCount(), int(Sql("select 1 from Cast_Titles where ID_Cruise = " + Second).size()));
    for (Detail->First(); !Detail->Eof(); Detail->Next())
        ASSERT_EQ(Detail->FieldByName("ID_Cruise")->AsString(), Second);
}

TEST(TableName, ADottedNameKeepsItsPartsAndThePropertiesFillOnlyEmptyOnes)
{
    InitServices();
    TZqIntfPtr<TZqPhysConnectionMetadata> Meta = ZqCreateDialectMetadata(mkMSSQL);
    EXPECT_EQ(ZqTableObjectName(Meta.Get(), "dbo.Casts", "Station", "other"), "Station.dbo.Casts");
    EXPECT_EQ(ZqTableObjectName(Meta.Get(), "Arch.dbo.Casts", "Station", "other"), "Arch.dbo.Casts");
    EXPECT_EQ(ZqTableObjectName(Meta.Get(), "Casts", "Station", "dbo"), "Station.dbo.Casts");
    EXPECT_EQ(ZqTableObjectName(Meta.Get(), "Casts", "<NULL>", ""), "Casts");
    EXPECT_EQ(ZqTableObjectName(Meta.Get(), "Cast Titles", "", ""), "[Cast Titles]");
}
