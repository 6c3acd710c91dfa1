// The cruise list of the work folder follows the main database from one
// start to the next: new cruises come in with a clean history, a renamed
// cruise loses its history, a cruise whose MAR alone changed keeps the old
// MAR, a deleted cruise goes; a start without changes changes nothing.
#include "tests/app_support/main_fixture.h"

#include "platform/dataset/TField.h"
#include "platform/localdb/TTable.h"

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

} // namespace

using CruiseSync = MainWindow;

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
    const auto Row = [&After](const std::string &AId) {
        for (const std::string &R : After)
            if (R.substr(0, R.find('|')) == AId)
                return R;
        return std::string("<none>");
    };
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
