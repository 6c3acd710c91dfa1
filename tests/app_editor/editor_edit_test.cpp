// A scripted editing session in the editor on a Black Sea station: level and
// station edits reach the station database one row each or none, the undo
// rows and the undo list of the cell UNDO writes, UNDO on the first click,
// failed and refused edits leaving nothing behind, manual flags kept for the
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
#include "platform/toolkit/TDBGridModel.h"
#include "platform/toolkit/TTreeView.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QWindow>
#include <QLineEdit>
#include <QtTest/QTest>
#include <QtTest/qtestspontaneevent.h>
#include <QComboBox>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <atomic>

using namespace editortest;

namespace {

TEST_F(EditorEdit, LevelValueEditsReachOneRowAndKeepTheirUndoValues)
{
    Open();
    const std::string A = Db("TEMP", 2);
    EditLevel(2, "TEMP", "9.5");
    EXPECT_EQ(Db("TEMP", 2), "9.5");
    EXPECT_NE(Db("TEMP", 1), "9.5");
    // The grid stays on the edited cell: the next value typed goes there.
    EXPECT_EQ(F->DBGrid2->SelectedField()->FieldName(), "TEMP");
    EXPECT_EQ(Grid().RecNo(), 3);
    EditLevel(2, "TEMP", "9.75");
    EditLevel(2, "TEMP", A);
    EXPECT_DOUBLE_EQ(rtl::StrToFloat(Db("TEMP", 2)), rtl::StrToFloat(A));
    // A -> B -> C -> A: one row per earlier value, the first one marked.
    const auto Rows = UndoRows();
    ASSERT_EQ(Rows.size(), 3u);
    EXPECT_EQ(Rows[0][0], "TEMP");
    EXPECT_DOUBLE_EQ(rtl::StrToFloat(Rows[0][1]), rtl::StrToFloat(A));
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
    // An undo row that cannot be kept: the written edit is reported, and the
    // next edit is written as well.
    UndoParamTbl->Close();
    UndoParamTbl->SetTableName("Gone");
    EditLevel(3, "TEMP", "9.25");
    EditLevel(4, "TEMP", "9.125");
    EXPECT_EQ(Db("TEMP", 3) + " " + Db("TEMP", 4), "9.25 9.125");
    EXPECT_EQ(Script->Messages.size(), 2u);
    // A decimal comma is refused with how numbers are written; the keypad's
    // decimal key ("," on a German keypad) types "." in a number cell.
    Activate();
    TypeInto(F->DBGrid2, 5, "TEMP", "12,5");
    EXPECT_NE(Messages().find("for field 'TEMP'. Numbers are written with \".\"."), std::string::npos);
    TypeIntoCell(F->DBGrid2, 5, "TEMP", "6", Qt::Key_unknown);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Comma, Qt::KeypadModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_5);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCoreApplication::processEvents(); // the delegate commits on a queued call
    EXPECT_EQ(Db("TEMP", 5), "6.5");
}

// A value left open in the data grid is written on its station before the map shows another.
TEST_F(EditorEdit, AClickOnTheMapWritesTheCellLeftOpenOnItsOwnStation)
{
    Open();
    TypeIntoCell(F->DBGrid2, 2, "TEMP", "6.25", Qt::Key_unknown);
    const size_t Other = CruiseStationIds[0] == Station ? 1 : 0;
    const TPoint P = WorldToScreen(CruiseStationPos[Other], CurrentZoomRect(), MapScreenRect, false, true);
    Press(F->PaintBox1, P.X, P.Y);
    EXPECT_EQ(F->CurCastId, CruiseStationIds[Other]);
    EXPECT_EQ(Db("TEMP", 2) + Messages(), "6.25");
}

// An edit waits for another program's write; held past the driver's wait,
// nothing is stored, the operator is told, and the text stays in its cell.
TEST_F(EditorEdit, AnEditWaitsForAnotherProgramsWriteAndKeepsItsTextWhenItCannot)
{
    Conn->SetConnected(false);
    Conn->Params().Add("LoginTimeout=1"); // the driver waits a second for a lock
    Conn->SetConnected(true);
    Open();
    Activate();
    sqlite3 *Other = nullptr;
    sqlite3_open(DbPath.c_str(), &Other);
    const auto Exec = [&](const char *ASql) { sqlite3_exec(Other, ASql, nullptr, nullptr, nullptr); };
    Exec("BEGIN IMMEDIATE");
    std::thread Writer([&] { std::this_thread::sleep_for(std::chrono::milliseconds(300)), Exec("COMMIT"); });
    TypeInto(F->DBGrid2, 2, "TEMP", "6.25");
    Writer.join();
    Exec("BEGIN IMMEDIATE");
    TypeInto(F->DBGrid2, 3, "TEMP", "6.5");
    Exec("ROLLBACK");
    sqlite3_close(Other);
    EXPECT_EQ(Db("TEMP", 2), "6.25");
    EXPECT_NE(Messages().find("another program is writing into the station database"), std::string::npos);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // the text kept in its cell
    QCoreApplication::processEvents();
    EXPECT_EQ(Db("TEMP", 3), "6.5");
    // An UNDO the lock refuses has no typed text to keep: a cell left with
    // Esc afterwards opens nothing again.
    F->SpeedButton15->click();
    Grid().SetRecNoValue(4);
    F->FindLevelUndoValues();
    ASSERT_GT(F->ComboBox1->count(), 0);
    sqlite3_open(DbPath.c_str(), &Other);
    Exec("BEGIN IMMEDIATE");
    F->BitBtn1->click();
    Exec("ROLLBACK");
    sqlite3_close(Other);
    TypeInto(F->DBGrid2, 1, "TEMP", "", Qt::Key_Escape);
    QCoreApplication::processEvents();
    for (QLineEdit *L : F->DBGrid2->viewport()->findChildren<QLineEdit *>())
        EXPECT_FALSE(L->isVisible()) << L->text().toStdString();
}

// Typed into a cell, left by a click elsewhere while another program holds the write lock: the click
// waits once for the lock, under the wait cursor, and starts nothing; the text stays in its cell.
TEST_F(EditorEdit, AClickAwayFromTextTheLockRefusesWaitsOnceAndKeepsTheText)
{
    Conn->SetConnected(false);
    Conn->Params().Add("LoginTimeout=1");
    Conn->SetConnected(true);
    ParamDisplayList.Add("TEMP"); // "Check Current profile" checks it
    Open();
    Activate();
    sqlite3 *Other = nullptr;
    sqlite3_open(DbPath.c_str(), &Other);
    const auto Exec = [&](const char *ASql) { sqlite3_exec(Other, ASql, nullptr, nullptr, nullptr); };
    const auto Item = [](QListWidget *L, int Row) {
        return std::pair<QWidget *, QPoint>{L->viewport(), L->visualItemRect(L->item(Row)).center()};
    };
    const int Shown = StationRow();
    const QModelIndex OtherStation = F->DBGrid1->Model().index(Shown == 0 ? 1 : 0, 0);
    const std::pair<QWidget *, QPoint> Roads[] = {Item(F->ListBox2, ParamList.IndexOf("PSAL")), Item(F->ListBox1, 0),
                                                  {F->BitBtn4, F->BitBtn4->rect().center()},
                                                  {F->BitBtn5, F->BitBtn5->rect().center()},
                                                  {F->DBGrid1->viewport(), F->DBGrid1->visualRect(OtherStation).center()}};
    for (int Road = 0; Road < int(std::size(Roads)); ++Road) {
        const auto &[Control, At] = Roads[Road];
        Script->Messages.clear();
        Exec("BEGIN IMMEDIATE");
        const std::string Typed = "6.2" + std::to_string(Road + 1);
        TypeIntoCell(F->DBGrid2, 2, "TEMP", Typed, Qt::Key_unknown);
        std::atomic<int> Cursor = crDefault;
        std::thread Look([&] { std::this_thread::sleep_for(std::chrono::milliseconds(500)), Cursor = ScreenCursor(); });
        QTest::mouseClick(Control, Qt::LeftButton, {}, At);
        Look.join();
        Exec("ROLLBACK");
        EXPECT_EQ(Script->Messages.size(), 1u) << Road << Messages();
        EXPECT_NE(Cursor, crDefault) << Road;
        QCoreApplication::processEvents();
        EXPECT_EQ(CurParamName, "TEMP") << Road;
        EXPECT_EQ(F->ListBox2->selectedItems(), QList{F->ListBox2->item(ParamList.IndexOf("TEMP"))}) << Road;
        EXPECT_EQ(F->DBGrid1->currentIndex().row(), Shown) << Road; // the station shown
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // the text kept in its cell
        QCoreApplication::processEvents();
        EXPECT_EQ(Db("TEMP", 2), Typed) << Road;
    }
    // Kept so, then the window closed by the window system once the lock is gone: the text is stored.
    Exec("BEGIN IMMEDIATE");
    TypeIntoCell(F->DBGrid2, 2, "TEMP", "6.3", Qt::Key_unknown);
    QTest::mouseClick(Roads[0].first, Qt::LeftButton, {}, Roads[0].second);
    Exec("ROLLBACK");
    QCloseEvent Close;
    QSpontaneKeyEvent::setSpontaneous(&Close);
    QCoreApplication::sendEvent(F->windowHandle(), &Close);
    EXPECT_FALSE(F->isVisible());
    EXPECT_EQ(Db("TEMP", 2), "6.3");
    sqlite3_close(Other);
    ParamDisplayList.Clear();
}

TEST_F(EditorEdit, AnEditOfALevelSharingItsPressureChangesNothing)
{
    // A second row at the level's pressure: no statement keyed by the
    // pressure can tell the two apart.
    Open();
    const std::string Where = " from PTS_Data where ID_Cast=" + std::to_string(Station) + " and PRES=" + Pres[1];
    SqlExec("insert into PTS_Data (ID_Cast, PRES, TEMP, FTEMP) values (" + std::to_string(Station) + ", " + Pres[1] +
            ", 1, 7)");
    const auto Stored = Sql("select PRES, TEMP, FTEMP" + Where + " order by TEMP");
    ASSERT_EQ(Stored.size(), 2u);
    for (const char *Column : {"TEMP", "FTEMP", "PRES"}) {
        Script->Messages.clear();
        Grid().SetRecNoValue(2);
        const std::string Old = Grid().FieldByName(Column)->AsString();
        EditLevel(1, Column, std::string(Column) == "PRES" ? "999" : "3");
        ASSERT_EQ(Script->Messages.size(), 1u) << Column;
        EXPECT_NE(Script->Messages[0].Text.find("2 rows"), std::string::npos) << Messages();
        Grid().SetRecNoValue(2);
        EXPECT_EQ(Grid().FieldByName(Column)->AsString(), Old) << Column;
    }
    EXPECT_EQ(Sql("select PRES, TEMP, FTEMP" + Where + " order by TEMP"), Stored);
    EXPECT_TRUE(UndoRows().empty());
    // A level stored without a pressure is the one whose PRES is empty.
    SqlExec("insert into PTS_Data (ID_Cast, TEMP) values (" + std::to_string(Station) + ", 1)");
    {
        TTable T(nullptr); // and the run's 9 for it
        MakeWorkTable(T, *StructTbl, WorkDir, LevelFlagTableSuffix("PTS_Data") + ".db", "StructTsFlags", "ID_Cast;PRES");
        T.Append();
        T.FieldByName("ID_Cast")->SetAsInteger(Station);
        T.FieldByName("FPRES")->SetAsInteger(9);
        T.Post();
    }
    PickParam("TEMP");
    Grid().SetRecNoValue(1);
    EXPECT_EQ(Grid().FieldByName("FPRES")->AsString(), "9");
    EditLevel(0, "TEMP", "4.5");
    F->SpeedButton15->click(); // its undo values are its own
    EXPECT_EQ(F->ComboBox1->currentText().toStdString(), "1");
    // A level whose pressure cannot be read is not it: its edit is refused, and
    // it shows neither that level's run flag nor its undo values.
    const std::string Id = std::to_string(Station);
    SqlExec("update PTS_Data set PRES = 'p6', FPRES = 2 where ID_Cast=" + Id + " and PRES=" + Pres.back());
    PickParam("TEMP");
    Script->Messages.clear();
    EditLevel(Grid().RecordCount() - 1, "TEMP", "3");
    EXPECT_EQ(Messages().rfind("Station " + Id + ": TEMP of the level whose PRES cannot be read was not changed: "
                               "[Marlin][ODBC Access Driver] Invalid character value for a conversion: 'p6'", 0), 0u);
    F->SpeedButton15->click(), F->SpeedButton15->click();
    EXPECT_EQ(Grid().FieldByName("FPRES")->AsString() + "|" + std::to_string(F->ComboBox1->count()) + "|" +
                  Sql("select TEMP from PTS_Data where ID_Cast=" + Id + " and PRES is null")[0][0], "2|0|4.5");
    EditLevel(4, "PRES", ""); // a second level without a pressure
    EXPECT_NE(Messages().find("has a level without a pressure already"), std::string::npos);
    EXPECT_EQ(Db("PRES", 2), Pres[2]);
    EditLevel(0, "PRES", "500");
    EXPECT_EQ(Sql("select TEMP from PTS_Data where ID_Cast=" + std::to_string(Station) +
                  " and (PRES=500 or PRES is null)"),
              (std::vector<apptest::TRow>{{"4.5"}}));
    EXPECT_EQ(testsupport::LocalRows(WorkDir, "Select PRES, FPRES From \"" + LevelFlagTableName("PTS_Data") +
                                                  "\" Where PRES Is Null or PRES = 500"),
              std::vector<std::string>{"500|9"});
}

TEST_F(EditorEdit, UndoInAutoQcPutsTheValueBackOnTheFirstClickAndNoEnterOrEscClicksIt)
{
    LoadClimatology();
    Open(false);
    ASSERT_TRUE(F->CheckBox1->isChecked());
    Activate();
    const std::string A = Db("TEMP", 2);
    TypeInto(F->DBGrid2, 2, "TEMP", "9.5");
    ASSERT_EQ(Db("TEMP", 2), "9.5");
    EXPECT_EQ(QApplication::focusWidget(), F->DBGrid2); // the next key goes on in the grid
    F->SpeedButton15->click();
    ASSERT_TRUE(F->BitBtn1->isEnabled());
    // Neither an Enter in the grid nor the Esc that cancels a cell's typing
    // clicks it, and that Esc is the cell editor's own, no interruption.
    QTest::keyClick(F->DBGrid2, Qt::Key_Return);
    TypeInto(F->DBGrid2, 2, "TEMP", "7", Qt::Key_Escape);
    ASSERT_EQ(Db("TEMP", 2), "9.5");
    EXPECT_FALSE(AbortRequested);
    ClickUndo();
    EXPECT_DOUBLE_EQ(rtl::StrToFloat(Db("TEMP", 2)), rtl::StrToFloat(A));
    EXPECT_EQ(Grid().RecNo(), 3);
    EXPECT_EQ(F->ActiveEditGrid, F->DBGrid2); // the grid UNDO wrote keeps the focus
    EXPECT_EQ(Messages(), "");
}

// Closed under AUTO QC with a value left open in the data grid and the other profiles shown: the value
// is stored and checked before anything closes.
TEST_F(EditorEdit, ClosingUnderAutoQcStoresAndChecksTheCellLeftOpen)
{
    LoadClimatology();
    ParamDisplayList.Add("TEMP");
    Open(false);
    Activate();
    F->SpeedButton19->click(); // "Show other profiles"
    ASSERT_TRUE(F->ShowOtherProfiles);
    TypeIntoCell(F->DBGrid2, 2, "TEMP", "7.5", Qt::Key_unknown);
    CloseEditor();
    EXPECT_EQ(Db("TEMP", 2), "7.5");
    EXPECT_EQ(RunFlags("PTS_Data", "FTEMP").size(), Pres.size()); // the check judged every level
    EXPECT_EQ(Messages(), "");
    ParamDisplayList.Clear();
}

// Ctrl+Tab and Ctrl+Shift+Tab leave a grid from any cell (a value typed is
// written first); Tab past the last cell leaves it, and shows no other station.
TEST_F(EditorEdit, TheKeyboardLeavesEitherGridAndTabNeverGoesRound)
{
    Open();
    Activate();
    const auto InGrid = [](TDBGrid *G) { return G->isAncestorOf(QApplication::focusWidget()) || G->hasFocus(); };
    TypeIntoCell(F->DBGrid2, 2, "TEMP", "6.25", Qt::Key_unknown);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_FALSE(InGrid(F->DBGrid2));
    EXPECT_EQ(Db("TEMP", 2), "6.25");
    F->DBGrid2->setFocus();
    QTest::keyClick(F->DBGrid2, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(InGrid(F->DBGrid2));
    // The last station's last cell: Tab goes on to the next control.
    TDBGrid *G = F->DBGrid1;
    G->setFocus();
    G->setCurrentIndex(G->Model().index(G->Model().rowCount() - 1, G->Model().columnCount() - 1));
    const int Last = F->tmpStatTbl->RecNo();
    QTest::keyClick(G, Qt::Key_Tab);
    EXPECT_EQ(F->tmpStatTbl->RecNo(), Last);
    EXPECT_FALSE(InGrid(G));
    // Each station's row ends there as well, a value typed on the way or not.
    TypeIntoCell(G, 0, "StationName", "S1", Qt::Key_unknown);
    for (const bool Leaves : {false, true}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(InGrid(G), !Leaves);
        EXPECT_EQ(F->tmpStatTbl->RecNo(), 1);
    }
    EXPECT_EQ(Messages(), "");
}

TEST_F(EditorEdit, UndoAfterMovingToAnotherColumnWritesThatColumn)
{
    Open();
    Activate();
    const std::string Lon = StationDb("Lon"), Lat = StationDb("Lat");
    TypeInto(F->DBGrid1, StationRow(), "Lon", "33.5");
    ASSERT_EQ(StationDb("Lon"), "33.5");
    F->SpeedButton15->click();
    StationRow();
    ASSERT_TRUE(F->DBGrid1->SelectFieldByName("Lon"));
    ASSERT_TRUE(F->BitBtn1->isEnabled());
    // No current cell, or one moved unseen: UNDO writes nothing.
    F->DBGrid1->setCurrentIndex(QModelIndex());
    ClickUndo();
    ASSERT_TRUE(F->DBGrid1->SelectFieldByName("Lon"));
    F->DBGrid1->selectionModel()->blockSignals(true);
    F->DBGrid1->setCurrentIndex(F->DBGrid1->Model().index(StationRow(), 1));
    F->DBGrid1->selectionModel()->blockSignals(false);
    ClickUndo();
    EXPECT_EQ(StationDb("Lon"), "33.5");
    // Lat of the same row has no earlier value: nothing to put back there.
    ASSERT_TRUE(F->DBGrid1->SelectFieldByName("Lat"));
    EXPECT_FALSE(F->BitBtn1->isEnabled());
    ClickUndo();
    EXPECT_EQ(StationDb("Lat"), Lat);
    ASSERT_TRUE(F->DBGrid1->SelectFieldByName("Lon"));
    ASSERT_TRUE(F->BitBtn1->isEnabled());
    ClickUndo();
    EXPECT_DOUBLE_EQ(rtl::StrToFloat(StationDb("Lon")), rtl::StrToFloat(Lon));
    EXPECT_EQ(StationDb("Lat"), Lat);
    EXPECT_EQ(Messages(), "");
    // The station list built again keeps the edited station and column.
    TypeInto(F->DBGrid1, 2, "Lat", "43.25");
    EXPECT_EQ(F->tmpStatTbl->RecNo(), 3);
    EXPECT_EQ(F->DBGrid1->SelectedField()->FieldName(), "Lat");
    EXPECT_EQ(QApplication::focusWidget(), F->DBGrid1);
}

TEST_F(EditorEdit, UndoPutsBackWhatItsOwnCellHeldAndNothingElsewhere)
{
    // Earlier values the undo tables keep: an empty FD, another system's
    // level flag 8, a time above one day.
    SqlExec("update Cast_Titles set Time_Cast = 1.25 where ID_Cast = " + std::to_string(Station));
    Open();
    for (TTable *T : {UndoCastTbl, UndoParamTbl}) {
        const bool Cast = T == UndoCastTbl;
        T->Append();
        T->FieldByName(Cast ? "ID_Cruise" : "Pres")->SetAsFloat(Cast ? BlackSeaCruise : rtl::StrToFloat(Pres[2]));
        T->FieldByName("ID_Cast")->SetAsInteger(Station);
        T->FieldByName("FldName")->SetAsString(Cast ? "FD" : "FTEMP");
        T->FieldByName("FldValue")->SetAsString(Cast ? "" : "8");
        T->FieldByName("FirstCh")->SetAsBoolean(true);
        T->Post();
    }
    F->SpeedButton15->click();
    F->DBGrid1Enter(F->DBGrid1);
    StationRow();
    ASSERT_TRUE(F->DBGrid1->SelectFieldByName("FD"));
    ClickUndo();
    EXPECT_EQ(StationDb("FD is null"), "1");
    EXPECT_EQ(StationShown("FD"), ""); // the grid shows what the database holds
    F->DBGrid2Enter();
    Grid().SetRecNoValue(3);
    ASSERT_TRUE(F->DBGrid2->SelectFieldByName("FTEMP"));
    ClickUndo();
    EXPECT_EQ(Db("FTEMP", 2), "8");
    // DOX1's earlier value is not UNDO's for NO3 at the same pressure.
    PickParam("DOX1");
    EditLevel(0, "Chem", "7.5");
    PickParam("NO3");
    ClickUndo();
    EXPECT_EQ(Sql("select NO3 from NO3 where PRES=0 and ID_Cast=" + std::to_string(Station))[0][0], "0.23");
    EditStation("Time_Cast", "10:00:00");
    EXPECT_EQ(StationDb("round(Time_Cast * 24, 6)"), "10.0");
    ASSERT_TRUE(F->DBGrid1->SelectFieldByName("Time_Cast"));
    ClickUndo();
    EXPECT_EQ(StationDb("Time_Cast") + " " + F->tmpStatTbl->FieldByName("Time_Cast")->DisplayText(), "1.25 30:00");
    // A fraction of a second comes back whole.
    SqlExec("update Cast_Titles set Time_Cast = 0.9999 where ID_Cast = " + std::to_string(Station));
    PickCruise(BlackSeaCruise);
    EditStation("Time_Cast", "10:00:00");
    ASSERT_TRUE(F->DBGrid1->SelectFieldByName("Time_Cast"));
    F->ComboBox1->setCurrentIndex(F->ComboBox1->findText(QStringLiteral("23:59:51.36")));
    ClickUndo();
    EXPECT_EQ(StationDb("Time_Cast = 0.9999"), "1");
    EXPECT_EQ(Messages(), "");
    // A value the driver could not read is kept as it quoted it, and UNDO
    // says why it cannot put it back rather than store an empty one.
    SqlExec("update PTS_Data set TEMP = 9e999 where ID_Cast = " + std::to_string(Station) + " and PRES = " + Pres[1]);
    PickCruise(BlackSeaCruise);
    ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(Station)));
    PickParam("TEMP");
    EditLevel(1, "TEMP", "9.5");
    Grid().SetRecNoValue(2);
    ASSERT_TRUE(F->DBGrid2->SelectFieldByName("TEMP"));
    F->FindLevelUndoValues();
    EXPECT_EQ(F->ComboBox1->currentText().toStdString() + Grid().FieldByName("TEMP")->DisplayText(), "'Inf'9.500");
    ClickUndo();
    EXPECT_EQ(Db("TEMP", 1), "9.5");
    EXPECT_NE(Messages().find("TEMP held 'Inf' before, a value the driver could not read"), std::string::npos)
        << Messages();
}

TEST_F(EditorEdit, AChemicalParameterWhoseCodeBeginsWithFIsEditedAsAValue)
{
    const std::string Id = std::to_string(Station);
    SqlExec("create table FLUO (ID_Cast LONG, PRES DOUBLE, FPRES SHORT, FLUO DOUBLE, FFLUO SHORT)");
    for (const char *P : {"10", "20", "30"})
        SqlExec("insert into FLUO values (" + Id + ", " + P + ", 1, 0.5, 1)");
    SqlExec("insert into Parameters values (" + Id + ", 'FLUO', 'FLUORESCENCE', 'MG/M3')");
    LeaveRunFlagsOf("FLUO");
    Open();
    PickParam("DOX1"); // at FLUO's 20 dbar, whose undo list is FLUO's own
    EditLevel(3, "Chem", "6.5");
    PickParam("FLUO");
    EditLevel(1, "Chem", "0.75");
    EditLevel(2, "FChem", "5");
    EXPECT_EQ(Sql("select FLUO, FFLUO from FLUO where ID_Cast=" + Id + " order by PRES"),
              (std::vector<apptest::TRow>{{"0.5", "1"}, {"0.75", "1"}, {"0.5", "5"}}));
    EXPECT_EQ(RunFlags("FLUO", "FFLUO"), (std::vector<std::string>{"1", "1", "5"}));
    // The value's earlier text is offered for UNDO.
    F->SpeedButton15->click();
    Grid().SetRecNoValue(2);
    ASSERT_TRUE(F->DBGrid2->SelectFieldByName("Chem"));
    ASSERT_EQ(F->ComboBox1->count(), 1);
    EXPECT_DOUBLE_EQ(rtl::StrToFloat(F->ComboBox1->itemText(0).toStdString()), 0.5);
    EXPECT_EQ(F->DataSource2->DataSet(), ParamTbl);
    EXPECT_EQ(Messages(), "");
}

TEST_F(EditorEdit, ARefusedGridEditLeavesNothingPendingAndIsNotCheckedAgain)
{
    // AUTO QC without a climatology: a re-check would say so.
    Open(false);
    const std::string A = Db("TEMP", 2), Flag = Db("FPRES", 2);
    TypeInto(F->DBGrid2, 2, "TEMP", "warm");
    TypeInto(F->DBGrid2, 2, "FPRES", "7");
    // Loading another parameter posts every row of the work table.
    PickParam("PSAL");
    EXPECT_EQ(F->DataSource2->DataSet(), ParamTbl);
    EXPECT_EQ(Grid().RecordCount(), int(Pres.size()));
    EXPECT_EQ(Db("TEMP", 2), A);
    EXPECT_EQ(Db("FPRES", 2), Flag);
    EXPECT_TRUE(UndoRows().empty());
    // The operator is told why each text went back.
    ASSERT_EQ(Script->Messages.size(), 2u) << Messages();
    EXPECT_NE(Script->Messages[0].Text.find("'warm'"), std::string::npos);
    EXPECT_NE(Script->Messages[1].Text.find("'7' is not a quality flag"), std::string::npos);
}

TEST_F(EditorEdit, ManualFlagsReachTheRunsFlagTable)
{
    Open();
    // The run left its flags of the station.
    LeaveRunFlagsOf("PTS_Data");
    for (const std::string Flag : {"FTEMP", "FPSAL", "FPRES"}) {
        PickParam(Flag == "FPSAL" ? "PSAL" : "TEMP");
        EditLevel(3, Flag.c_str(), "5");
        EXPECT_EQ(Db(Flag, 3), "5");
        std::vector<std::string> Run(Pres.size(), "1");
        Run[3] = "5";
        EXPECT_EQ(RunFlags("PTS_Data", Flag), Run) << Flag;
        // The grid, loaded again, shows the flag from there.
        F->ListBox2Click();
        Grid().SetRecNoValue(4);
        EXPECT_EQ(Grid().FieldByName(Flag)->AsString(), "5") << Flag;
    }
}

TEST_F(EditorEdit, StationTextsAreQuotedAndAnEmptiedCellIsNull)
{
    Open();
    const std::string Stored = StationDb("StationName");
    // Too long for the column: the database refuses, the row goes back.
    EditStation("StationName", std::string(28, 'x'));
    ASSERT_EQ(Script->Messages.size(), 1u);
    EXPECT_EQ(StationShown("StationName"), Stored);
    Script->Messages.clear();
    EditStation("StationName", "O'Neill");
    EXPECT_EQ(StationDb("StationName"), "O'Neill");
    EditStation("StationName", "");
    EXPECT_EQ(StationDb("StationName is null"), "1");
    EXPECT_EQ(Messages(), "");
    // A flag cell takes only a flag.
    const std::string Flags = StationShown("FLon") + StationDb("FLon");
    EditStation("FLon", "");
    EXPECT_EQ(StationShown("FLon") + StationDb("FLon"), Flags);
    EXPECT_NE(Messages().find("is not a quality flag"), std::string::npos);
    EditStation("FD", "0"); // kept as typed, the cruise chosen again included
    PickCruise(BlackSeaCruise);
    EXPECT_EQ(StationShown("FD") + StationDb("FD") +
                  testsupport::LocalRows(WorkDir, "Select FD From \"" + DbTablePrefix +
                                                      "-Cast_TitlesFlags\" Where ID_Cast = " + std::to_string(Station))[0],
              "000");
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
