// A scripted editing session in the editor on a Black Sea station: level and
// station edits reach the station database one row each, the undo rows and
// the undo list, UNDO, failed edits reverted, manual flags kept for the
// write-back, the re-check commands and the error tree's level nodes.
#include "tests/app_editor/edit_fixture.h"
#include "tests/app_editor/editor_test_util.h"
#include "tests/app_support/AppTestSupport.h"

#include "app/Globals.h"
#include "app/UQC.h"
#include "app/WorkTables.h"
#include "platform/dataset/TDataSource.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TPaintBox.h"
#include "platform/toolkit/TTreeView.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QtTest/QTest>
#include <QComboBox>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

using namespace editortest;

namespace {

TEST_F(EditorEdit, LevelValueEditsReachOneRowAndKeepTheirUndoValues)
{
    Open();
    const std::string A = Db("TEMP", 2);
    EditLevel(2, "TEMP", "9.5");
    EXPECT_EQ(Db("TEMP", 2), "9.5");
    EXPECT_NE(Db("TEMP", 1), "9.5");
    EditLevel(2, "TEMP", "9.75");
    EditLevel(2, "TEMP", A);
    EXPECT_DOUBLE_EQ(std::stod(Db("TEMP", 2)), std::stod(A));
    // A -> B -> C -> A: one row per earlier value, the first one marked.
    const auto Rows = UndoRows();
    ASSERT_EQ(Rows.size(), 3u);
    EXPECT_EQ(Rows[0][0], "TEMP");
    EXPECT_DOUBLE_EQ(std::stod(Rows[0][1]), std::stod(A));
    EXPECT_EQ(Rows[0][2], "True");
    EXPECT_EQ(Rows[1][2], "False");
    EXPECT_EQ(Rows[2][2], "False");

    // "Find Undo Value" lists the values other than the current one.
    F->SpeedButton15->click();
    ASSERT_TRUE(F->SpeedButton15->isChecked());
    Grid().SetRecNoValue(3);
    F->FindLevelUndoValues();
    std::vector<std::string> Listed;
    for (int i = 0; i < F->ComboBox1->count(); ++i)
        Listed.push_back(F->ComboBox1->itemText(i).toStdString());
    EXPECT_EQ(Listed, (std::vector<std::string>{"9.5", "9.75"}));
    EXPECT_TRUE(F->BitBtn1->isEnabled());
    // UNDO puts the chosen one back, as an edit of its own.
    F->ComboBox1->setCurrentIndex(1);
    F->BitBtn1->click();
    EXPECT_EQ(Db("TEMP", 2), "9.75");
    EXPECT_EQ(UndoRows().size(), 3u);
    EXPECT_FALSE(F->BitBtn1->isEnabled());
    EXPECT_EQ(Messages(), "");
}

TEST_F(EditorEdit, AnEditThatMatchesNoOrTwoLevelsIsRevertedAndReported)
{
    // A second row at the level's pressure: the edit cannot tell them apart.
    Open();
    SqlExec("insert into PTS_Data (ID_Cast, PRES, TEMP) values (" + std::to_string(Station) + ", " + Pres[1] + ", 1)");
    const std::string Before = Grid().FieldByName("TEMP")->AsString();
    Grid().SetRecNoValue(2);
    const std::string Old = Grid().FieldByName("TEMP")->AsString();
    EditLevel(1, "TEMP", "3.25");
    ASSERT_EQ(Script->Messages.size(), 1u);
    EXPECT_NE(Script->Messages[0].Text.find("2 rows"), std::string::npos) << Messages();
    Grid().SetRecNoValue(2);
    EXPECT_EQ(Grid().FieldByName("TEMP")->AsString(), Old);
    EXPECT_TRUE(UndoRows().empty());
    (void)Before;
}

TEST_F(EditorEdit, ManualFlagsReachTheRunsFlagTable)
{
    Open();
    // The run left its flags of the station.
    TTable Flags(nullptr);
    MakeWorkTable(Flags, *StructTbl, WorkDir, "-PTS_DataFlags.db", "StructTsFlags", "ID_Cast;PRES");
    for (const std::string &P : Pres) {
        Flags.Append();
        Flags.FieldByName("ID_Cast")->SetAsInteger(Station);
        Flags.FieldByName("PRES")->SetAsFloat(RoundPres(std::stod(P)));
        Flags.FieldByName("FTEMP")->SetAsInteger(1);
        Flags.Post();
    }
    Flags.Close();
    EditLevel(3, "FTEMP", "5");
    EXPECT_EQ(Db("FTEMP", 3), "5");
    const auto Run = Sql("select 1");
    TQuery Q(nullptr);
    Q.SetDatabaseName(WorkDir);
    Q.SQL().Add("Select FTEMP From \"" + DbTablePrefix + "-PTS_DataFlags\" Where ID_Cast = " + std::to_string(Station) +
                " order by PRES");
    Q.Open();
    std::vector<std::string> Got;
    for (Q.First(); !Q.Eof(); Q.Next())
        Got.push_back(Q.Fields()[0]->AsString());
    ASSERT_EQ(Got.size(), Pres.size());
    for (size_t i = 0; i < Got.size(); ++i)
        EXPECT_EQ(Got[i], i == 3 ? "5" : "1") << i;
    // The grid, loaded again, shows the flag from there.
    F->ListBox2Click();
    Grid().SetRecNoValue(4);
    EXPECT_EQ(Grid().FieldByName("FTEMP")->AsString(), "5");
    (void)Run;
}

TEST_F(EditorEdit, StationTextsAreQuotedAndAnEmptiedCellIsNull)
{
    Open();
    auto EditStation = [&](const std::string &Text) {
        F->DBGrid1Enter(F->DBGrid1);
        ASSERT_TRUE(F->DBGrid1->SelectFieldByName("StationName"));
        ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(Station)));
        F->tmpStatTbl->Edit();
        F->tmpStatTbl->FieldByName("StationName")->SetAsString(Text);
        F->tmpStatTbl->Post();
    };
    const std::string Stored =
        Sql("select StationName from Cast_Titles where ID_Cast=" + std::to_string(Station))[0][0];
    // Too long for the column: the database refuses, the row goes back.
    EditStation(std::string(28, 'x'));
    ASSERT_EQ(Script->Messages.size(), 1u);
    ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(Station)));
    EXPECT_EQ(F->tmpStatTbl->FieldByName("StationName")->AsString(), Stored);
    Script->Messages.clear();
    EditStation("O'Neill");
    EXPECT_EQ(Sql("select StationName from Cast_Titles where ID_Cast=" + std::to_string(Station))[0][0], "O'Neill");
    EditStation("");
    EXPECT_EQ(Sql("select StationName is null from Cast_Titles where ID_Cast=" + std::to_string(Station))[0][0], "1");
    EXPECT_EQ(Messages(), "");
}

TEST_F(EditorEdit, CheckMetadataKeepsTheTestsTheOperatorChose)
{
    Open();
    SelectedTests.SetSize(QcTestCount);
    SelectedTests.SetBit(tstDataClimat, false);
    SelectedTests.SetBit(tstDataSpike, true);
    F->BitBtn4->click();
    EXPECT_FALSE(SelectedTests.Bits(tstDataClimat));
    EXPECT_TRUE(SelectedTests.Bits(tstDataSpike));
    EXPECT_FALSE(MetadataCheckRunning);
    EXPECT_TRUE(F->StationsReady);
    EXPECT_EQ(F->tmpStatTbl->FieldByName("ID_Cast")->AsInteger(), Station);
    // AUTO QC disables the two check buttons and names itself.
    F->CheckBox1->click();
    EXPECT_TRUE(F->CheckBox1->isChecked());
    EXPECT_FALSE(F->BitBtn4->isEnabled());
    EXPECT_FALSE(F->BitBtn5->isEnabled());
    EXPECT_EQ(F->CheckBox1->text().toStdString(), "AUTO QC");
}

TEST_F(EditorEdit, ALevelNodeOfTheErrorTreeMovesToItsLevel)
{
    // Twelve levels and more.
    for (int p = 300; p < 300 + 10; ++p)
        SqlExec("insert into PTS_Data (ID_Cast, PRES, TEMP, PSAL) values (" + std::to_string(Station) + ", " +
                std::to_string(p) + ", 9, 18)");
    Open();
    ASSERT_GE(Grid().RecordCount(), 12);
    TTreeNode *Root = FindOrAddRootNode(*F->TreeView1, std::to_string(Station));
    TTreeNode *Group = F->TreeView1->AddChild(Root, "Possible Data Errors");
    TTreeNode *Param = F->TreeView1->AddChild(Group, "TEMP");
    TTreeNode *Kind = F->TreeView1->AddChild(Param, "Spike");
    TTreeNode *Level = F->TreeView1->AddChild(Kind, "Level #12");
    F->TreeView1->SetSelected(Level);
    F->TreeView1Click();
    EXPECT_EQ(F->ZqQuery2->RecNo(), 12);
    EXPECT_EQ(Grid().RecNo(), 12);
}

} // namespace
