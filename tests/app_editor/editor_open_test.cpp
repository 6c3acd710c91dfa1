// The editor opened over a copy of the demo database as the wizard hands it
// over: the layout from a 1280 x 1024 screen, the scratch table QCCastID,
// the station list of a picked cruise with the run's flags, and the cruise
// list that tells two cruises of one name apart.
#include "tests/app_editor/editor_fixture.h"
#include "tests/app_editor/editor_test_util.h"
#include "tests/app_support/AppTestSupport.h"
#include "tools/demogen/TDemoStationDb.h"

#include "app/Globals.h"
#include "app/UQC.h"
#include "app/manual/Isolines.h"
#include "app/manual/map.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDBGridModel.h"
#include "platform/toolkit/TPaintBox.h"
#include "platform/toolkit/TTreeView.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLockFile>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gmock/gmock.h>
#include <QToolButton>

#include <algorithm>
#include <fstream>

using namespace editortest;

namespace {

using EditorOpen = EditorFixture;

TEST_F(EditorOpen, LaysItselfOutFromTheScreenSize)
{
    ASSERT_EQ(ScreenWidth(), 1280);
    ASSERT_EQ(ScreenHeight(), 1024);
    PrepareRunFlags(2);
    TForm2 &F = OpenEditor({2});
    EXPECT_EQ(F.windowTitle().toStdString(), "MANUAL QUALITY CONTROL MODE");
    EXPECT_EQ(F.Panel5->width(), 320);
    EXPECT_EQ(F.Panel1->height(), 512);
    EXPECT_EQ(F.Image1->geometry(), QRect(1, 1, 1020, 508));
    EXPECT_EQ(F.PaintBox1->geometry(), F.Image1->geometry());
    EXPECT_EQ(F.Panel2->height(), 510);
    EXPECT_EQ(F.Panel3->width(), 256);
    EXPECT_EQ(F.Panel2->geometry(), QRect(258, 1, 1022, 510));
    EXPECT_EQ(F.Panel15->height(), 158); // 1024 / 6.5 = 157.5
    EXPECT_EQ(F.Panel12->width(), 427);
    EXPECT_EQ(F.TreeView1->height(), 177);
    EXPECT_EQ(F.Panel6->width(), 320);
    EXPECT_EQ(MapScreenRect, Rect(50, 30, 970, 478));
    // Opened in the state its Auto/Manual QC box gives.
    EXPECT_TRUE(F.CheckBox1->isChecked());
    EXPECT_EQ(F.CheckBox1->text().toStdString(), "AUTO QC");
    EXPECT_FALSE(F.BitBtn4->isEnabled());
    EXPECT_FALSE(F.BitBtn5->isEnabled());
    EXPECT_TRUE(F.BitBtn3->isEnabled());
    EXPECT_EQ(F.BitBtn2->text().toStdString(), "All profiles for\nthe same square\nand month as\na data profile");
    // The T-S panel has nothing to draw: it and its button stay hidden.
    EXPECT_FALSE(F.SpeedButton11->isVisible());
    EXPECT_FALSE(F.Panel11->isVisible());
    // The coast is drawn into the image: open sea west of Sardinia, land in Spain.
    const TPoint Sea = WorldToScreen(MakeRealPoint(6, 40), ZoomStack[0], MapScreenRect, false, true);
    const TPoint Land = WorldToScreen(MakeRealPoint(-4, 40), ZoomStack[0], MapScreenRect, false, true);
    EXPECT_EQ(F.Image1->Canvas().Pixel(Sea.X, Sea.Y), MapColors[size_t(SeaColorIndex)]);
    EXPECT_NE(F.Image1->Canvas().Pixel(Land.X, Land.Y), MapColors[size_t(SeaColorIndex)]);
    // Every named control is there under its name.
    for (const char *Name : {"ListBox1", "ListBox2", "TreeView1", "DBGrid1", "DBGrid2", "DBGrid3", "PaintBox2",
                             "SpeedButton13", "SpeedButton19", "Edit4", "Label11", "Gauge1", "ComboBox1", "BitBtn5",
                             "BitBtn2", "PaintBox3", "SpeedButton11"})
        EXPECT_NE(F.findChild<QWidget *>(QString::fromLatin1(Name)), nullptr) << Name;
    // A work area (a panel above, a dock below): the editor fills it, its grids end inside it.
    CloseEditor();
    SetScreenWorkArea(QRect(0, 30, 1280, 954));
    TForm2 &G = OpenEditor({2});
    EXPECT_EQ(G.frameGeometry().topLeft(), QPoint(0, 30));
    EXPECT_EQ(G.size(), QSize(1280, 954));
    for (TDBGrid *Grid : {G.DBGrid1, G.DBGrid2})
        EXPECT_LE(Grid->mapTo(&G, QPoint(0, Grid->height())).y(), G.height()) << Grid->objectName().toStdString();
    SetScreenWorkArea(QRect());
}

TEST_F(EditorOpen, TheScratchTableLivesWhileTheEditorIsOpen)
{
    const QString Lock = QString::fromStdString(ScratchCastIdLockFile(ScratchCastIdTable()));
    EXPECT_FALSE(MainTableExists(ScratchCastIdTable()));
    OpenEditor({2});
    EXPECT_TRUE(MainTableExists(ScratchCastIdTable()) && QFile::exists(Lock));
    CloseEditor();
    EXPECT_FALSE(MainTableExists(ScratchCastIdTable()) || QFile::exists(Lock));
}

TEST_F(EditorOpen, TheScratchTableIsThisProgramsOwn)
{
    // Another program's list stays; this program's own, left over, is
    // emptied, and gone before closing is nothing to say. Of the lists
    // locked here, one whose program ended (a crash, a kill) goes.
    const std::string Own = ScratchCastIdTable(), Running = "QCCastID424242", Ended = "QCCastID2147483647";
    QLockFile Held(QString::fromStdString(ScratchCastIdLockFile(Running))); // as its running program holds it
    ASSERT_TRUE(Held.tryLock());
    std::ofstream(ScratchCastIdLockFile(Ended)) << "2147483647\ntests_app_editor\n\n"; // no process has that number
    for (const std::string &T : {std::string("QCCastID"), Own, Running, Ended})
        SqlExec("create table " + T + " (ID_Cast INTEGER PRIMARY KEY); insert into " + T + " values (26)");
    OpenEditor({2});
    EXPECT_TRUE(Sql("select * from " + Own).empty());
    EXPECT_FALSE(MainTableExists(Ended) || QFile::exists(QString::fromStdString(ScratchCastIdLockFile(Ended))));
    EXPECT_TRUE(MainTableExists(Running));
    SqlExec("drop table " + Own + "; create index " + Own + " on Cast_Titles (Depth)");
    CloseEditor();
    EXPECT_TRUE(Script->Messages.empty());
    EXPECT_EQ(Sql("select * from QCCastID"), (std::vector<apptest::TRow>{{"26"}}));
    // A list the database will not make: its own reason is told.
    EXPECT_THAT([&] { OpenEditor({2}); }, testing::ThrowsMessage<std::exception>(testing::HasSubstr("index")));
}

TEST_F(EditorOpen, PickingACruiseListsItsStationsInDateAndTimeOrderWithTheRunsFlags)
{
    // Station 27 moved before 26 on the same day: the order is by date and
    // time, not by identifier.
    SqlExec("update Cast_Titles set Time_Cast = 0.25 where ID_Cast = 27");
    PrepareRunFlags(2, {{30, {3, 3, 1, 1}}, {44, {1, 1, 1, 3}}});
    TForm2 &F = OpenEditor({2});
    const auto Expected = Sql("select ID_Cast from Cast_Titles where ID_Cruise=2 order by Date_Cast, Time_Cast");
    ASSERT_EQ(Expected.size(), 26u);
    EXPECT_EQ(Expected[0][0], "27");
    EXPECT_TRUE(Script->Messages.empty()) << Script->Texts()[0];
    TTable &T = *F.tmpStatTbl;
    ASSERT_TRUE(T.Active());
    ASSERT_EQ(T.RecordCount(), 26);
    std::vector<std::string> Ids;
    for (T.First(); !T.Eof(); T.Next()) {
        Ids.push_back(T.FieldByName("ID_Cast")->AsString());
        const int Id = T.FieldByName("ID_Cast")->AsInteger();
        const int FLon = T.FieldByName("FLon")->AsInteger(), FD = T.FieldByName("FD")->AsInteger();
        EXPECT_EQ(FLon, Id == 30 ? 3 : 1) << Id;
        EXPECT_EQ(FD, Id == 44 ? 3 : 1) << Id;
        EXPECT_EQ(T.FieldByName("FDT")->AsInteger(), 1) << Id;
        EXPECT_EQ(T.FieldByName("FDT")->DisplayText(), "1") << Id;
    }
    for (size_t i = 0; i < Expected.size(); ++i)
        EXPECT_EQ(Ids[i], Expected[i][0]) << i;
    // The grid shows the same.
    TDBGridModel &M = F.DBGrid1->Model();
    ASSERT_EQ(M.rowCount(), 26);
    for (int c = 0; c < M.columnCount(); ++c) {
        if (M.ColumnField(c)->FieldName() == "FDt" || M.ColumnField(c)->FieldName() == "FDT") {
            EXPECT_EQ(M.data(M.index(3, c)).toString().toStdString(), "1");
        }
    }
    // The grid's formats and columns: station 26 at 4.1326 E, 11:45.
    ASSERT_TRUE(T.Locate("ID_Cast", rtl::Variant(26)));
    EXPECT_EQ(T.FieldByName("Lon")->DisplayText(), "04.133");
    EXPECT_EQ(T.FieldByName("Time_Cast")->DisplayText(), "11:45");
    EXPECT_EQ(T.FieldByName("Lon")->DisplayLabel(), "Longitude");
    EXPECT_FALSE(T.FieldByName("ID_Cruise")->Visible());
    EXPECT_TRUE(T.FieldByName("Velosity")->Visible());
    EXPECT_EQ(T.FieldByName("FD")->DisplayWidth(), 2);
    EXPECT_EQ(T.FieldByName("Depth")->DisplayWidth(), 10);
    ASSERT_EQ(CruiseStationIds.size(), 26u);
    EXPECT_EQ(CruiseStationIds[0], 27);
    EXPECT_EQ(LocationErrors.Size(), 26);
    EXPECT_TRUE(F.StatSelBtn->isEnabled());
    EXPECT_TRUE(F.ListBox1->isEnabled());
    apptest::SaveScreenshot(F, "editor_cruise2");
}

TEST_F(EditorOpen, ACruiseNoRunHasFlaggedShowsTheMainDatabasesFlags)
{
    SqlExec("update Cast_Titles set FLat = 5 where ID_Cast = 31");
    TForm2 &F = OpenEditor({2});
    TTable &T = *F.tmpStatTbl;
    ASSERT_EQ(T.RecordCount(), 26);
    ASSERT_TRUE(T.Locate("ID_Cast", rtl::Variant(31)));
    EXPECT_EQ(T.FieldByName("FLat")->AsInteger(), 5);
    ASSERT_TRUE(T.Locate("ID_Cast", rtl::Variant(32)));
    EXPECT_EQ(T.FieldByName("FLat")->AsInteger(), 0);
}

// Station labels as long as the column holds (Text(20): 60 bytes), and one longer that the fetch cuts: the cruise
// opens with both, flagged by a run or not, and the cut one is said as the run says it.
TEST_F(EditorOpen, AStationLabelLongerThanTheWorkTablesColumnOpensAndACutOneIsSaid)
{
    SqlExec("update Cast_Titles set StationName = '" + std::string(60, 'M') + "' where ID_Cast = 31");
    SqlExec("update Cast_Titles set StationName = '" + std::string(70, 'K') + "' where ID_Cast = 32");
    for (const bool Flagged : {false, true}) {
        if (Flagged)
            PrepareRunFlags(2, {{30, {1, 1, 1, 3}}});
        TForm2 &F = OpenEditor({2});
        const std::string Cruise = Sql("select Cruise_Name from Cruise_Titles where ID_Cruise = 2")[0][0];
        EXPECT_EQ(Script->Texts(), std::vector<std::string>{
                                       "The station 32 of the cruise " + Cruise + " is checked with its StationName "
                                       "cut: The text of Cast_Titles.StationName in the row with ID_Cruise 2 is longer "
                                       "than its column takes: the first 60 bytes are read."});
        TTable &T = *F.tmpStatTbl;
        ASSERT_EQ(T.RecordCount(), 26);
        for (const auto &[Id, Label] : {std::pair{31, std::string(60, 'M')}, {32, std::string(60, 'K')}}) {
            ASSERT_TRUE(T.Locate("ID_Cast", rtl::Variant(Id)));
            EXPECT_EQ(T.FieldByName("StationName")->AsString(), Label);
        }
        CloseEditor();
        Script->Messages.clear();
    }
}

TEST_F(EditorOpen, TwoCruisesOfOneNameOpenEachTheirOwn)
{
    SqlExec("update Cruise_Titles set Cruise_Name = 'TWIN' where ID_Cruise in (2, 4)");
    TForm2 &F = OpenEditor({2, 4});
    ASSERT_EQ(F.ListBox1->count(), 2);
    EXPECT_EQ(F.ListBox1->item(1)->text().toStdString(), "TWIN");
    EXPECT_EQ(F.tmpStatTbl->RecordCount(), 26);
    PickCruise(4);
    EXPECT_EQ(F.ShownCruiseId, 4);
    EXPECT_EQ(F.tmpStatTbl->RecordCount(), 41);
    F.tmpStatTbl->First();
    EXPECT_EQ(F.tmpStatTbl->FieldByName("ID_Cruise")->AsInteger(), 4);
    PickCruise(2);
    EXPECT_EQ(F.tmpStatTbl->RecordCount(), 26);
}

TEST_F(EditorOpen, ResizingOnlyLaysOutAgain)
{
    TForm2 &F = OpenEditor({2, 4});
    PickCruise(4);
    ASSERT_EQ(F.ShownCruiseId, 4);
    F.resize(1000, 800);
    ProcessMessages();
    EXPECT_EQ(F.ShownCruiseId, 4);
    EXPECT_EQ(F.tmpStatTbl->RecordCount(), 41);
    EXPECT_EQ(F.Panel5->width(), 250);
    EXPECT_EQ(F.Image1->width(), 796);
    EXPECT_EQ(MapScreenRect, Rect(50, 30, 746, 366));
    // On a low screen (1024 x 600 less the title bar) the three check
    // buttons stay clear of the errors tree below them, and the tree and
    // the data grid share what is left.
    F.resize(1024, 581);
    ProcessMessages();
    for (QWidget *B : {static_cast<QWidget *>(F.BitBtn5), static_cast<QWidget *>(F.BitBtn4),
                       static_cast<QWidget *>(F.BitBtn3)})
        EXPECT_LE(B->geometry().bottom(), F.GroupBox4->geometry().top()) << B->objectName().toStdString();
    EXPECT_GE(F.TreeView1->height(), 60);
    EXPECT_GE(F.DBGrid2->height(), 50);
    EXPECT_LE(F.Panel6->geometry().bottom(), F.Panel5->height());
    F.hide();
    F.show();
    EXPECT_EQ(F.ShownCruiseId, 4);
}

TEST_F(EditorOpen, ACruiseWithoutStationsLeavesTheMapAndThePlotEmpty)
{
    SqlExec("delete from Cast_Titles where ID_Cruise = 4");
    TForm2 &F = OpenEditor({2, 4});
    PickCruise(4);
    EXPECT_EQ(F.tmpStatTbl->RecordCount(), 0);
    EXPECT_TRUE(CruiseStationPos.empty());
    EXPECT_TRUE(CruiseStationIds.empty());
    EXPECT_TRUE(CruiseStationPts.empty());
    EXPECT_TRUE(F.ProfilePts.empty());
    EXPECT_EQ(F.ListBox2->count(), 0);
    EXPECT_TRUE(Script->Messages.empty()) << Script->Texts()[0];
}

// The first station's profile cannot be read: what is missing is named, and
// the cruise list and the map take the next pick.
TEST_F(EditorOpen, AProfileThatCannotBeReadIsNamedAndTheCruiseListStaysLive)
{
    const std::pair<std::string, std::string> Cases[] = {
        {"alter table PTS_Data rename column FPSAL to FS",
         "The table PTS_Data of the station database has no column FPSal for the parameter PSAL.\n"},
        {"alter table PTS_Data rename column FTEMP to FT",
         "The table PTS_Data of the station database has no column Ftemp for the parameter TEMP.\n"},
        {"update Parameters set ParamAbr = 'NTRA' where ID_Cast = 26 and ParamAbr = 'TEMP'",
         "The station database has no table NTRA for the parameter NTRA.\n"}};
    for (const auto &[Break, Named] : Cases) {
        SqlExec(Break);
        TForm2 &F = OpenEditor({2, 4});
        ASSERT_EQ(Script->Texts().size(), 1u) << Named;
        EXPECT_EQ(Script->Texts()[0].rfind(Named, 0), 0u) << Script->Texts()[0];
        EXPECT_TRUE(F.ListBox1->isEnabled() && F.StatSelBtn->isEnabled()) << Named;
        CloseEditor();
        Script->Messages.clear();
    }
}

// A station that lists no parameter is said when its cruise is picked. An
// identity beyond a Long (4294967300, cut: station 4) is named once and left
// out; such a possible duplicate is named, not marked (read as 0, the mark
// would be station 0's).
TEST_F(EditorOpen, AStationThatListsNoParameterIsSaidWhenItsCruiseIsPicked)
{
    for (const char *Copy : {"4294967300, 2, Date_Cast, Time_Cast, NULL", "4294967301, 1, Date_Cast, Time_Cast, Lon",
                             "0, 1, Date_Cast, Time_Cast, Lon + 10"})
        SqlExec(std::string("insert into Cast_Titles select ") + Copy +
                ", Lat, Depth, StationName, Velosity, FLon, FLat, FDT, FD from Cast_Titles where ID_Cast = 30");
    SqlExec("delete from Parameters where ID_Cast = 30");
    TForm2 &F = OpenEditor({2});
    const std::string Cruise = "cruise " + Sql("select Cruise_Name from Cruise_Titles where ID_Cruise = 2")[0][0];
    EXPECT_EQ(Script->Texts(), std::vector<std::string>{
                                   "A station of the " + Cruise + " in Cast_Titles is left out: its ID_Cast cannot be "
                                   "read: [Vexa][Phys][ODBC][Marlin][ODBC Access Driver] Numeric value out of range for "
                                   "the bound C type: 4294967300. (column ID_Cast)\nThe station 30 of the " + Cruise +
                                   " lists no parameter in Parameters: its levels are not checked"});
    EXPECT_EQ(std::to_string(F.tmpStatTbl->RecordCount()),
              Sql("select count(*) - 1 from Cast_Titles where ID_Cruise = 2")[0][0]);
    EXPECT_EQ(std::count(CruiseStationIds.begin(), CruiseStationIds.end(), 0), 0);
    F.SpeedButton2->click();
    F.DBGrid1Enter(F.DBGrid3);
    for (DuplicatesQry->First(); !DuplicatesQry->Eof() && !DuplicatesQry->FieldByName("ID_Cast")->IsNull();)
        DuplicatesQry->Next();
    F.SpeedButton13->click();
    EXPECT_THAT(Script->Texts(), testing::Contains(testing::StartsWith("A row of Cast_Titles (StationName ")));
    EXPECT_EQ(Sql("select FD from Cast_Titles where ID_Cast = 0")[0][0], "0");
}

TEST_F(EditorOpen, TheDataChecksStayAsTheOperatorChoseThem)
{
    SelectedTests.SetBit(4, true);
    SelectedTests.SetBit(5, false);
    OpenEditor({2});
    EXPECT_TRUE(SelectedTests.Bits(4));
    EXPECT_FALSE(SelectedTests.Bits(5));
}

} // namespace

namespace {

TEST_F(EditorOpen, EnterOrAnArrowInTheMetadataGridPostsThePendingEdit)
{
    TForm2 &F = OpenEditor({2});
    TTable &T = *F.tmpStatTbl;
    T.First();
    T.Edit();
    T.FieldByName("StationName")->SetAsString("RENAMED");
    QKeyEvent Down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(F.DBGrid1, &Down);
    EXPECT_EQ(T.State(), dsBrowse);
    ASSERT_TRUE(T.Locate("StationName", rtl::Variant(std::string("RENAMED"))));
    // Another key leaves the edit pending.
    T.Edit();
    T.FieldByName("StationName")->SetAsString("AGAIN");
    QKeyEvent Left(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
    QCoreApplication::sendEvent(F.DBGrid1, &Left);
    EXPECT_EQ(T.State(), dsEdit);
    T.Cancel();
}

TEST_F(EditorOpen, TheKeyboardInTheListsLoadsWhatTheyHighlight)
{
    TForm2 &F = OpenEditor({2, 4, 27});
    struct TStep {
        int Key;
        int Cruise;
        int Stations;
    };
    for (const TStep &S : {TStep{Qt::Key_Down, 4, 41}, TStep{Qt::Key_End, 27, 54}, TStep{Qt::Key_Up, 4, 41},
                           TStep{Qt::Key_Home, 2, 26}}) {
        QTest::keyClick(F.ListBox1, Qt::Key(S.Key));
        EXPECT_EQ(F.ShownCruiseId, S.Cruise) << S.Key;
        EXPECT_EQ(F.tmpStatTbl->RecordCount(), S.Stations) << S.Key;
        EXPECT_EQ(F.tmpStatTbl->FieldByName("ID_Cruise")->AsInteger(), S.Cruise) << S.Key;
    }
    ASSERT_GE(F.ListBox2->count(), 2);
    ASSERT_EQ(F.ListBox2->currentRow(), 0);
    QTest::keyClick(F.ListBox2, Qt::Key_Down);
    EXPECT_EQ(F.CurParamIndex, 1);
    EXPECT_EQ(CurParamName, ParamList.Strings(1));
}

TEST_F(EditorOpen, EscStopsAChecksNothingElseAndTheNextCheckRuns)
{
    // A station the demo database's list of planted faults puts on land: the
    // location check flags it.
    const auto Faults =
        demogen::TDemoStationDb::ReadManifest(apptest::ProgramFolder() + "demo/marlin_demo-faults.txt");
    const auto Land = std::find_if(Faults.begin(), Faults.end(), [](const auto &D) { return D.Kind == "land"; });
    ASSERT_NE(Land, Faults.end());
    const std::string Station = std::to_string(Land->IdCast);
    TForm2 &F = OpenEditor({Land->IdCruise});
    ASSERT_TRUE(FindTreeNode(*F.TreeView1, Station));
    // Nothing runs in the idle editor: the Esc stops nothing, then or later
    // (the write-back the operator confirms after closing it).
    QTest::keyClick(F.ListBox1, Qt::Key_Escape);
    EXPECT_TRUE(F.isVisible());
    EXPECT_FALSE(AbortRequested);
    EXPECT_FALSE(QcInterrupted);
    F.CheckBox1->click();
    ASSERT_TRUE(F.BitBtn4->isEnabled());
    F.BitBtn4->click();
    EXPECT_TRUE(FindTreeNode(*F.TreeView1, Station));
    EXPECT_FALSE(AbortRequested);
    EXPECT_FALSE(QcInterrupted);
}

} // namespace
