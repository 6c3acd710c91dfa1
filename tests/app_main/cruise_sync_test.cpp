// The cruise list of the work folder follows the main database from one
// start to the next: new cruises come in with a clean history, a renamed
// cruise loses its history, a cruise whose MAR alone changed keeps the old
// MAR, a deleted cruise goes; a start without changes changes nothing.
#include "tests/app_support/main_fixture.h"

#include "platform/dataset/TField.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/Classes.h"

#include <fstream>
#include <sstream>

using namespace maintest;

namespace {

// Marks a test as run on a cruise of the work table, as a QC run would.
void MarkChecked(TTable &AQcCruise, int AId)
{
    ASSERT_TRUE(AQcCruise.Locate("ID_Cruise", rtl::Variant(AId)));
    AQcCruise.Edit();
    AQcCruise.FieldByName("ChLocation")->SetAsBoolean(true);
    AQcCruise.FieldByName("Location")->SetAsBoolean(true);
    AQcCruise.Post();
}

// The installation's table definitions as an earlier version had them:
// cruise names of 40 characters, parameter names of 60.
void UseEarlierWidths(const std::string &ADefFile)
{
    std::stringstream Text;
    Text << std::ifstream(ADefFile).rdbuf();
    std::string Def = Text.str();
    using TSwap = std::pair<std::string, std::string>;
    for (const auto &[Now, Then] :
         {TSwap{"Cruise_Name String 50", "Cruise_Name String 40"}, TSwap{"ParamName String 71", "ParamName String 60"}})
        for (size_t At = Def.find(Now); At != std::string::npos; At = Def.find(Now, At))
            Def.replace(At, Now.size(), Then);
    std::ofstream(ADefFile) << Def;
}

// The work table's row of a cruise, "<none>" when it has none.
std::string RowOf(const std::vector<std::string> &ARows, const std::string &AId)
{
    for (const std::string &R : ARows)
        if (R.substr(0, R.find('|')) == AId)
            return R;
    return "<none>";
}

std::string Repeat(const std::string &AText, int ATimes)
{
    std::string R;
    for (int I = 0; I < ATimes; ++I)
        R += AText;
    return R;
}

} // namespace

using CruiseSync = MainWindow;

// Names as long as the station database's fields allow (Cruise_Name 50,
// ParName 50 + " " + Unit 20), in a work folder made with narrower fields:
// the names arrive whole and the operator's marks stay.
TEST_F(CruiseSync, AWorkFolderOfEarlierWidthsTakesTheLongestNamesAndKeepsItsMarks)
{
    UseEarlierWidths(Install->Dir() + "SoftDB/worktables.def");
    ASSERT_TRUE(Start());
    MarkChecked(*Form->QcCruTbl, 1);
    // The operator's own choice of a parameter to check.
    ASSERT_TRUE(Form->tmpparamtbl->Locate("Param", rtl::Variant("NO3")));
    Form->tmpparamtbl->Edit();
    Form->tmpparamtbl->FieldByName("QC")->SetAsBoolean(true);
    Form->tmpparamtbl->Post();
    Stop();

    const std::string Db = Install->DbPath();
    const struct {
        std::string Id, Name;
    } Cruises[] = {{"9001", Repeat("ABCDEFGHIJ", 5)}, {"9002", Repeat("МОРЕНАУКАЯ", 5)}, {"2", Repeat("Ч", 50)}};
    for (const auto &C : Cruises) {
        apptest::SqliteExec(Db, "delete from Cruise_Titles where ID_Cruise = " + C.Id);
        apptest::SqliteExec(Db, "insert into Cruise_Titles (ID_Cruise, Cruise_Name, MAR, Ship_Code, Country_Code) "
                                "select " + C.Id + ", '" + C.Name + "', '" + Repeat("М", 20) +
                                    "', Ship_Code, Country_Code from Cruise_Titles where ID_Cruise = 3");
    }
    // A parameter whose display name takes all 71 characters.
    const std::string LongPar = Repeat("ХИМИЯ", 10), LongUnit = Repeat("ЕД", 10);
    apptest::SqliteExec(Db, "create table LONGP (ID_Cast integer, PRES double, FPRES integer, LONGP double, "
                            "FLONGP integer)");
    apptest::SqliteExec(Db, "insert into Parameters (ID_Cast, ParamAbr, ParName, Unit) select ID_Cast, 'LONGP', '" +
                                LongPar + "', '" + LongUnit + "' from Cast_Titles limit 1");

    ASSERT_TRUE(Start());
    EXPECT_TRUE(Dialogs->Texts().empty()) << Dialogs->Texts().front();
    const auto Rows = WorkRows("marlin_demo-QCCruise", {"ID_Cruise", "Cruise_Name", "MAR", "ChLocation"});
    EXPECT_NE(RowOf(Rows, "1").find("|True"), std::string::npos) << RowOf(Rows, "1");
    // The rows and the lists of the custom choice and of the parameters stand.
    for (const auto &C : Cruises) {
        EXPECT_EQ(RowOf(Rows, C.Id), C.Id + "|" + C.Name + "|" + Repeat("М", 20) + "|False");
        EXPECT_GE(Form->CruiseNames.IndexOf(C.Name), 0) << C.Name;
    }
    const auto Params = WorkRows("param", {"Param", "ParamName", "QC"});
    EXPECT_NE(std::find(Params.begin(), Params.end(), "LONGP|" + LongPar + " " + LongUnit + "|False"), Params.end());
    EXPECT_NE(std::find(Params.begin(), Params.end(), "NO3|NITRATE UMOL/L|True"), Params.end());
    EXPECT_NE(std::find(Params.begin(), Params.end(), "TEMP|TEMPERATURE DEG C|True"), Params.end());
}

TEST_F(CruiseSync, RenamedLosesHistoryMarOnlyKeepsOldMarDeletedGoesSecondRunChangesNothing)
{
    ASSERT_TRUE(Start());
    MarkChecked(*Form->QcCruTbl, 1);
    MarkChecked(*Form->QcCruTbl, 2);
    MarkChecked(*Form->QcCruTbl, 3);
    const std::vector<std::string> Fields = {"ID_Cruise", "MAR", "Cruise_Name", "ChLocation", "Location"};
    const auto First = WorkRows("marlin_demo-QCCruise", Fields);
    Stop();

    // Unchanged main database: the second start leaves the table as it was.
    ASSERT_TRUE(Start());
    EXPECT_EQ(WorkRows("marlin_demo-QCCruise", Fields), First);
    Stop();

    const std::string Db = Install->DbPath();
    const std::string OldMar2 = apptest::SqliteRows(Db, "select MAR from Cruise_Titles where ID_Cruise = 2")[0][0];
    apptest::SqliteExec(Db, "update Cruise_Titles set Cruise_Name = 'Renamed cruise', MAR = 'NEWMAR1' "
                            "where ID_Cruise = 1");
    apptest::SqliteExec(Db, "update Cruise_Titles set MAR = 'NEWMAR2' where ID_Cruise = 2");
    apptest::SqliteExec(Db, "delete from Cruise_Titles where ID_Cruise = 3");
    apptest::SqliteExec(Db, "insert into Cruise_Titles (ID_Cruise, Cruise_Name, MAR, Ship_Code, Country_Code) "
                            "select 9001, 'Added cruise', 'ADDMAR', Ship_Code, Country_Code from Cruise_Titles "
                            "where ID_Cruise = 2");
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Dialogs->Messages.empty());
    const auto After = WorkRows("marlin_demo-QCCruise", Fields);
    const auto Row = [&After](const std::string &AId) { return RowOf(After, AId); };
    EXPECT_EQ(Row("1"), "1|NEWMAR1|Renamed cruise|False|False");
    EXPECT_EQ(Row("2").substr(0, Row("2").find('|', 2)), "2|" + OldMar2);
    EXPECT_NE(Row("2").find("|True|True"), std::string::npos) << Row("2");
    EXPECT_EQ(Row("3"), "<none>");
    EXPECT_EQ(Row("9001"), "9001|ADDMAR|Added cruise|False|False");
    EXPECT_EQ(After.size(), First.size());
}

TEST_F(CruiseSync, AnEmptyCruiseTableEmptiesTheWorkTable)
{
    ASSERT_TRUE(Start());
    EXPECT_FALSE(WorkRows("marlin_demo-QCCruise", {"ID_Cruise"}).empty());
    Stop();
    apptest::SqliteExec(Install->DbPath(), "delete from Cruise_Titles");
    ASSERT_TRUE(Start());
    EXPECT_TRUE(WorkRows("marlin_demo-QCCruise", {"ID_Cruise"}).empty());
    EXPECT_TRUE(Form->QcCruTbl->Active());
    EXPECT_EQ(Form->QcCruTbl->RecordCount(), 0);
}

// A station database whose cruise names are memos has no width to follow:
// a name the work table cannot take is named by its cruise, and the others
// come in.
TEST_F(CruiseSync, ANameNoFieldCanTakeIsNamedAndTheOthersComeIn)
{
    const std::string Db = Install->DbPath();
    apptest::SqliteExec(Db, "alter table Cruise_Titles rename to Cruise_Titles_Text");
    apptest::SqliteExec(Db, "create table Cruise_Titles (ID_Cruise LONG NOT NULL, Cruise_Name MEMO, MAR TEXT(20), "
                            "Ship_Code TEXT(4), Country_Code TEXT(2), PRIMARY KEY (ID_Cruise))");
    apptest::SqliteExec(Db, "insert into Cruise_Titles select * from Cruise_Titles_Text");
    apptest::SqliteExec(Db, "drop table Cruise_Titles_Text");
    apptest::SqliteExec(Db, "insert into Cruise_Titles values (9001, '" + Repeat("Ж", 51) + "', 'X', 'ZZZZ', 'ZZ')");
    apptest::SqliteExec(Db, "insert into Cruise_Titles values (9002, '" + Repeat("Ж", 50) + "', 'X', 'ZZZZ', 'ZZ')");
    ASSERT_TRUE(Start());
    EXPECT_EQ(Dialogs->Texts(), std::vector<std::string>{"9001"});
    const auto Ids = WorkRows("marlin_demo-QCCruise", {"ID_Cruise"});
    EXPECT_EQ(std::count(Ids.begin(), Ids.end(), "9001"), 0);
    EXPECT_EQ(std::count(Ids.begin(), Ids.end(), "9002"), 1);
    EXPECT_EQ(Ids.size(), apptest::SqliteRows(Db, "select ID_Cruise from Cruise_Titles").size() - 1);
    // The lists of the custom choice are there.
    EXPECT_GT(Form->CruiseNames.Count(), 0);
}
