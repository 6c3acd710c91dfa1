// The editor after a real run of the automatic checks over a copy of the
// demo database: the station checks run again in the visual mode mark the
// planted faults in the error bits, on the map and in the tree of possible
// errors.
#include "tests/app_editor/editor_fixture.h"
#include "tests/app_editor/editor_test_util.h"
#include "tests/app_support/AppTestSupport.h"
#include "tests/support/LocalRows.h"

#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/manual/map.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/toolkit/TPaintBox.h"
#include "platform/toolkit/TTimer.h"
#include "platform/toolkit/TTreeView.h"

#include <QCheckBox>
#include <QPushButton>

#include <algorithm>

using namespace editortest;

namespace {

class EditorAfterRun : public EditorFixture {
protected:
    // The wizard's run over the given cruises with the four station checks,
    // then the hand-over.
    TForm2 &RunAndOpen(const std::vector<int> &Cruises)
    {
        TmpCruTbl->EmptyTable();
        for (int Id : Cruises) {
            TmpCruTbl->Append();
            TmpCruTbl->FieldByName("ID_Cruise")->SetAsInteger(Id);
            TmpCruTbl->FieldByName("Cruise_Name")->SetAsString(
                Sql("select Cruise_Name from Cruise_Titles where ID_Cruise=" + std::to_string(Id))[0][0]);
            TmpCruTbl->Post();
        }
        TZqQuery Casts(nullptr);
        Casts.SetConnection(Conn);
        CastQry = &Casts;
        BuildLocationRegion();
        CheckCruises();
        CastQry = nullptr;
        EXPECT_TRUE(QcRunFinished);
        return OpenEditor(Cruises);
    }
    int IndexOf(int IdCast) const
    {
        for (size_t i = 0; i < CruiseStationIds.size(); ++i)
            if (CruiseStationIds[i] == IdCast)
                return int(i);
        return -1;
    }
};

TEST_F(EditorAfterRun, AStationOnLandIsMarkedOnTheMapAndInTheTree)
{
    // Cruise 14: station 528 was moved onto land (26.05 E, 31.58 N), which
    // also puts its depth far from the grid's.
    TForm2 &F = RunAndOpen({14});
    const int i = IndexOf(528);
    ASSERT_GE(i, 0);
    EXPECT_TRUE(LocationErrors.Bits(i));
    EXPECT_TRUE(DepthErrors.Bits(i));
    TTreeNode *Node = FindTreeNode(*F.TreeView1, "528");
    ASSERT_NE(Node, nullptr);
    EXPECT_EQ(Node->Level(), 0);
    ASSERT_GE(Node->Count(), 2);
    EXPECT_EQ(Node->Item(0)->Text(), "Possible Location Error");
    EXPECT_EQ(Node->Item(1)->Text(), "Possible Depth Error");
    // On the map the station is red.
    const TPoint P = CruiseStationPts[size_t(i)];
    EXPECT_EQ(F.PaintBox1->Canvas().Pixel(P.X, P.Y), i == CurStationIndex ? clMaroon : clRed);
    // The run's flags show in the station list.
    ASSERT_TRUE(F.tmpStatTbl->Locate("ID_Cast", rtl::Variant(528)));
    EXPECT_EQ(F.tmpStatTbl->FieldByName("FLon")->AsInteger(), 3);
    EXPECT_EQ(F.tmpStatTbl->FieldByName("FD")->AsInteger(), 3);
    apptest::SaveScreenshot(F, "editor_after_run");
}

TEST_F(EditorAfterRun, ASpeedAboveTheLimitBlinksItsSegment)
{
    // Cruise 9: station 288 lies 19.7 knots from the one before.
    TForm2 &F = RunAndOpen({9});
    const int i = IndexOf(288);
    ASSERT_GE(i, 1);
    EXPECT_TRUE(VelocityErrors.Bits(i));
    EXPECT_NE(FindTreeNode(*F.TreeView1, "288"), nullptr);
    EXPECT_TRUE(F.Timer1->Enabled());
    // The visual mode writes the speed into the station list, not into the
    // main database.
    ASSERT_TRUE(F.tmpStatTbl->Locate("ID_Cast", rtl::Variant(288)));
    EXPECT_NEAR(F.tmpStatTbl->FieldByName("Velosity")->AsFloat(), 19.7, 0.1);
    EXPECT_EQ(Sql("select Velosity from Cast_Titles where ID_Cast=288")[0][0], "<null>");
}

TEST_F(EditorAfterRun, ATimeOfADayOrMoreIsShownAndJudgedAsTheRunJudgesIt)
{
    // Cruise 1: station 25 lies at 1.193 days, a time error; station 23 is
    // moved to 24:00 of the day before, 15.95 miles and 1.77 hours after
    // station 22.
    SqlExec("update Cast_Titles set Date_Cast = Date_Cast - 1, Time_Cast = 1.0 where ID_Cast = 23");
    // The work folder of an earlier version keeps a time of day.
    for (const char *Sql : {"Drop Table TmpCast",
                            "Create Table TmpCast (ID_Cruise INTEGER, ID_Cast INTEGER, Date_Cast DATE, Time_Cast TIME, "
                            "FDt SMALLINT, Lon DOUBLE, FLon SMALLINT, Lat DOUBLE, FLat SMALLINT, Depth DOUBLE, "
                            "FD SMALLINT, StationName VARCHAR(30), Velosity DOUBLE)"}) {
        WorkQry->SQL().Clear();
        WorkQry->SQL().Add(Sql);
        WorkQry->ExecSQL();
    }
    TForm2 &F = RunAndOpen({1});
    const std::string Flags = "Select ID_Cast, FLon, FLat, FDT, FD From \"" + DbTablePrefix + "-Cast_TitlesFlags\"";
    const auto Run = testsupport::LocalRows(WorkDir, Flags);
    // The editor judges the cruise afresh, as without a run.
    CastFlagtbl->EmptyTable();
    PickCruise(1);
    F.CheckBox1->click(); // MANUAL QC
    F.BitBtn4->click();
    EXPECT_EQ(testsupport::LocalRows(WorkDir, Flags), Run);
    EXPECT_NE(std::find(Run.begin(), Run.end(), "25|1|1|4|1"), Run.end());
    ASSERT_TRUE(F.tmpStatTbl->Locate("ID_Cast", rtl::Variant(23)));
    EXPECT_EQ(F.tmpStatTbl->FieldByName("Time_Cast")->DisplayText(), "24:00");
    EXPECT_NEAR(F.tmpStatTbl->FieldByName("Velosity")->AsFloat(), 9.03, 0.05);
    ASSERT_TRUE(F.tmpStatTbl->Locate("ID_Cast", rtl::Variant(25)));
    EXPECT_EQ(F.tmpStatTbl->FieldByName("Time_Cast")->DisplayText(), "28:38");
}

} // namespace
