// What the program's forms rely on when they open the main station database
// and read it: the two parameter lines, reconnecting to another file,
// moving a query to another connection, and reading every record by number,
// by Locate and by field name. Expected values come from SQLite reading the
// same file past the driver and the library.
#include <filesystem>
#include <string>
#include <vector>

#include "dataaccess/stan/qxZqStanError.h"
#include "platform/dataset/TField.h"
#include "platform/dataset/TFieldDef.h"
#include "platform/rtl/SysUtils.h"
#include "tests/support/query_fixture.h"

using namespace querytest;

namespace {

// A second station database beside the fixture's, whose first cruise is
// renamed so that a read tells the two files apart.
std::string OtherFile(const std::string &ADbPath)
{
    const std::string Path = (std::filesystem::path(ADbPath).parent_path() / "other.mdb").string();
    std::filesystem::copy_file(ADbPath, Path, std::filesystem::copy_options::overwrite_existing);
    SqliteExec(Path, "update Cruise_Titles set Cruise_Name = 'Other file' where ID_Cruise = 1");
    return Path;
}

std::string FirstCruiseName(TZqQuery *AQuery)
{
    AQuery->Open();
    const std::string Name = AQuery->FieldByName("Cruise_Name")->AsString();
    AQuery->Close();
    return Name;
}

const char *const CFirstCruise = "Select * from Cruise_Titles where ID_Cruise = 1";

} // namespace

using AppConnect = StationDb;

TEST_F(AppConnect, AMissingDatabaseRaisesTheEngineErrorAndStaysDisconnected)
{
    TZqConnection C(nullptr);
    C.Params().Add("DriverID=MSAcc");
    C.Params().Add("Database=" + (Dir / "no_such_folder" / "station.mdb").string());
    bool Engine = false;
    std::string Msg;
    try {
        C.SetConnected(true);
    } catch (const EZqDBEngineException &E) {
        Engine = true;
        Msg = E.what();
    } catch (const std::exception &E) {
        Msg = E.what();
    }
    EXPECT_TRUE(Engine) << Msg;
    EXPECT_NE(Msg.find("[Vexa]"), std::string::npos) << Msg;
    EXPECT_FALSE(C.Connected());
    EXPECT_FALSE(std::filesystem::exists(Dir / "no_such_folder"));
}

TEST_F(AppConnect, FalseThenTrueAfterNewLinesReadsTheNewFileAndQueriesFollow)
{
    const std::string Other = OtherFile(DbPath);
    TZqQuery *Q = New(CFirstCruise);
    const std::string Here = FirstCruiseName(Q);
    ASSERT_NE(Here, "Other file");
    Q->Open();
    // As the program does after the database was changed in its settings.
    Conn->SetConnected(false);
    EXPECT_FALSE(Q->Active());
    Conn->Params().Clear();
    Conn->Params().Add("DriverID=MSAcc");
    Conn->Params().Add("Database=" + Other);
    Conn->SetConnected(true);
    EXPECT_EQ(FirstCruiseName(Q), "Other file");
}

TEST_F(AppConnect, AQueryMovedToAnotherConnectionDropsItsStatementAndReadsThere)
{
    const std::string Other = OtherFile(DbPath);
    TZqConnection *Second = new TZqConnection(Owner.get());
    Second->FetchOptions()->SetMode(fmAll);
    Second->Params().Add("DriverID=MSAcc");
    Second->Params().Add("Database=" + Other);
    TZqQuery *Q = New(CFirstCruise);
    Q->SetPrepared(true);
    ASSERT_TRUE(Q->Prepared());
    Q->SetConnection(Second);
    EXPECT_FALSE(Q->Prepared());
    EXPECT_EQ(FirstCruiseName(Q), "Other file");
    Q->SetConnection(Conn);
    EXPECT_NE(FirstCruiseName(Q), "Other file");
}

using AppRead = StationDb;

TEST_F(AppRead, RecordCountBoundsALoopOfRecNoWritesInTheQuerysOrder)
{
    const auto Ids = Sql("select ID_Cast from Cast_Titles where ID_Cruise = 5 order by Date_Cast desc, ID_Cast");
    ASSERT_GT(Ids.size(), 3u);
    TZqQuery *Q = New("Select * from Cast_Titles where ID_Cruise = 5 order by Date_Cast desc, ID_Cast");
    Q->Open();
    ASSERT_EQ(Q->RecordCount(), int(Ids.size()));
    // Backwards, so that each write really moves.
    for (int N = Q->RecordCount(); N >= 1; --N) {
        Q->SetRecNoValue(N);
        EXPECT_EQ(Q->RecNo(), N);
        EXPECT_EQ(Q->FieldByName("ID_Cast")->AsString(), Ids[size_t(N - 1)][0]) << "record " << N;
    }
    // The loop the program writes: from the first record, RecordCount times.
    Q->First();
    for (int N = 1; N <= Q->RecordCount(); ++N, Q->Next())
        EXPECT_FALSE(Q->Eof());
    EXPECT_TRUE(Q->Eof());
}

TEST_F(AppRead, FieldsAndFieldDefsFollowTheTablesColumns)
{
    const auto Cols = Sql("select name from pragma_table_info('Cast_Titles') order by cid");
    ASSERT_EQ(Cols.size(), 13u);
    TZqQuery *Q = New("Select * from Cast_Titles");
    Q->Open();
    ASSERT_EQ(Q->FieldCount(), int(Cols.size()));
    ASSERT_EQ(Q->FieldDefs().Count(), int(Cols.size()));
    for (size_t I = 0; I < Cols.size(); ++I) {
        EXPECT_EQ(Q->Fields().Fields(int(I))->FieldName(), Cols[I][0]);
        EXPECT_EQ(Q->FieldByName(Cols[I][0]), Q->Fields().Fields(int(I)));
    }
    EXPECT_EQ(Q->FindField("No_Such_Column"), nullptr);
    EXPECT_THROW(Q->FieldByName("No_Such_Column"), std::exception);
}

TEST_F(AppRead, EmptyValuesReadAsEmptyTextAndZeroAndFlagsAsNumbersAndBooleans)
{
    // One station with no speed and an empty name, and set flags.
    SqliteExec(DbPath, "update Cast_Titles set Velosity = NULL, StationName = NULL, FLon = 1, FLat = 0, "
                       "FDT = 4, FD = -2 where ID_Cast = 7");
    TZqQuery *Q = New("Select * from Cast_Titles where ID_Cast = 7");
    Q->Open();
    ASSERT_EQ(Q->RecordCount(), 1);
    TField *V = Q->FieldByName("Velosity");
    EXPECT_TRUE(V->IsNull());
    EXPECT_EQ(V->AsString(), "");
    EXPECT_EQ(V->AsInteger(), 0);
    EXPECT_EQ(V->AsFloat(), 0.0);
    EXPECT_EQ(Q->FieldByName("StationName")->AsString(), "");
    EXPECT_EQ(Q->FieldByName("FLon")->AsInteger(), 1);
    EXPECT_TRUE(Q->FieldByName("FLon")->AsBoolean());
    EXPECT_FALSE(Q->FieldByName("FLat")->AsBoolean());
    EXPECT_EQ(Q->FieldByName("FDT")->AsString(), "4");
    EXPECT_EQ(Q->FieldByName("FD")->AsFloat(), -2.0);
    const auto Lon = Sql("select Lon from Cast_Titles where ID_Cast = 7");
    EXPECT_DOUBLE_EQ(Q->FieldByName("Lon")->AsFloat(), rtl::StrToFloat(Lon[0][0]));
}

using AppLocate = StationDb;

TEST_F(AppLocate, TakesTheFirstMatchInTheQuerysOrderFromAnyPosition)
{
    // Descending order: the first cast of cruise 3 in the query is its last id.
    const auto Ids = Sql("select ID_Cast, ID_Cruise from Cast_Titles order by ID_Cast desc");
    size_t Expected = 0;
    while (Ids[Expected][1] != "3")
        ++Expected;
    TZqQuery *Q = New("Select * from Cast_Titles order by ID_Cast desc");
    Q->Open();
    Q->Last();
    ASSERT_TRUE(Q->Locate("ID_Cruise", rtl::Variant(3)));
    EXPECT_EQ(Q->RecNo(), int(Expected) + 1);
    EXPECT_EQ(Q->FieldByName("ID_Cast")->AsString(), Ids[Expected][0]);
    // Again from there: the same record, not the next match.
    ASSERT_TRUE(Q->Locate("ID_Cruise", rtl::Variant(3)));
    EXPECT_EQ(Q->RecNo(), int(Expected) + 1);
}

TEST_F(AppLocate, FindsByTextAndAMissKeepsTheRecord)
{
    const auto Row = Sql("select ID_Cast, StationName from Cast_Titles where StationName is not null "
                         "order by ID_Cast limit 1 offset 20");
    ASSERT_EQ(Row.size(), 1u);
    TZqQuery *Q = New("Select * from Cast_Titles order by ID_Cast");
    Q->Open();
    ASSERT_TRUE(Q->Locate("StationName", rtl::Variant(Row[0][1])));
    const auto First = Sql("select min(ID_Cast) from Cast_Titles where StationName = '" + Row[0][1] + "'");
    EXPECT_EQ(Q->FieldByName("ID_Cast")->AsString(), First[0][0]);
    const int At = Q->RecNo();
    EXPECT_FALSE(Q->Locate("StationName", rtl::Variant(std::string("no such station"))));
    EXPECT_FALSE(Q->Locate("ID_Cruise", rtl::Variant(-1)));
    EXPECT_EQ(Q->RecNo(), At);
    EXPECT_EQ(Q->FieldByName("ID_Cast")->AsString(), First[0][0]);
}

TEST_F(AppLocate, APendingEditIsPostedBeforeTheSearch)
{
    TZqQuery *Q = New("Select * from Cast_Titles where ID_Cruise = 2 order by ID_Cast");
    Q->Open();
    const std::string Id = Q->FieldByName("ID_Cast")->AsString();
    const int LastId = std::stoi(Sql("select max(ID_Cast) from Cast_Titles where ID_Cruise = 2")[0][0]);
    Q->Edit();
    Q->FieldByName("FLat")->SetAsInteger(6);
    ASSERT_TRUE(Q->Locate("ID_Cast", rtl::Variant(LastId)));
    EXPECT_EQ(Q->State(), dsBrowse);
    EXPECT_EQ(Sql("select FLat from Cast_Titles where ID_Cast = " + Id)[0][0], "6");
}

using AppTableLife = StationDb;

TEST_F(AppTableLife, ATableFreedWithItsOwnerAfterAnOpenLeavesNoHookBehind)
{
    // As the main window's cruise table: opened, closed, freed with the
    // form while its statement is still prepared.
    auto Owner = std::make_unique<rtl::TComponent>(nullptr);
    auto *T = new TZqTable(Owner.get()); // owned by Owner
    T->SetConnection(Conn);
    T->SetTableName("Cruise_Titles");
    T->Open();
    EXPECT_GT(T->RecordCount(), 0);
    T->Close();
    T->Open();
    Owner.reset();
    // The same connection serves a new table afterwards.
    TZqTable *Again = New<TZqTable>();
    Again->SetTableName("Cruise_Titles");
    Again->Open();
    EXPECT_GT(Again->RecordCount(), 0);
}
