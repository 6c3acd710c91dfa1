// Values and pressures typed next to the profile plot: they change the
// plot and the cached rows of the profile query, not the grid nor the
// station database, until the profile is loaded again (another station or
// parameter, closing); then they are written as level edits with their undo
// values, so that nothing typed is lost.
#include "tests/app_editor/edit_fixture.h"
#include "tests/app_editor/editor_test_util.h"

#include "app/UQC.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TPaintBox.h"

#include <QLineEdit>
#include <QToolButton>
#include <QtTest/QTest>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>

using namespace editortest;

namespace {

class EditorInPlot : public EditorEdit {
protected:
    // Points the read-out at a level and types into a box, then Enter.
    void TypeAt(int Level, QLineEdit *Box, const std::string &Text)
    {
        ASSERT_LT(size_t(Level), F->ProfilePts.size());
        const TPoint P = F->ProfilePts[size_t(Level)];
        MoveTo(F->PaintBox2, P.X, P.Y);
        Box->clear();
        QTest::keyClicks(Box, QString::fromStdString(Text));
        QTest::keyClick(Box, Qt::Key_Return);
    }
    // Shows another station of the cruise, then (when Back) this one again.
    void SwitchStation(bool Back = true)
    {
        int Other = -1;
        for (F->tmpStatTbl->First(); !F->tmpStatTbl->Eof() && Other < 0; F->tmpStatTbl->Next())
            if (F->tmpStatTbl->FieldByName("ID_Cast")->AsInteger() != Station)
                Other = F->tmpStatTbl->FieldByName("ID_Cast")->AsInteger();
        ASSERT_GT(Other, 0);
        ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(Other)));
        ASSERT_EQ(F->CurCastId, Other);
        if (Back) {
            ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(Station)));
        }
    }
    int Rows(const std::string &Table, const std::string &Pres)
    {
        return std::stoi(Sql("select count(*) from " + Table + " where ID_Cast=" + std::to_string(Station) +
                             " and PRES=" + Pres)[0][0]);
    }
};

TEST_F(EditorInPlot, ATypedValueWaitsInThePlotAndReachesTheDatabaseOnTheNextLoad)
{
    Open();
    ASSERT_GE(F->ProfilePts.size(), 4u);
    const std::string A = Db("TEMP", 2);
    // A value inside the plot's range, to find it among the pixels.
    double Lo = 1e9, Hi = -1e9;
    for (size_t i = 0; i < Pres.size(); ++i) {
        Lo = std::min(Lo, rtl::StrToFloat(Db("TEMP", int(i))));
        Hi = std::max(Hi, rtl::StrToFloat(Db("TEMP", int(i))));
    }
    const std::string Typed = rtl::FloatToStr(std::round((Lo + Hi) / 2 * 100) / 100);
    ASSERT_NE(rtl::StrToFloat(Typed), rtl::StrToFloat(A));
    F->SpeedButton7->setChecked(false); // the axes' lines would cover the point
    MoveTo(F->PaintBox2, F->ProfilePts[2].X, F->ProfilePts[2].Y);
    ASSERT_EQ(F->Edit1->text().toStdString(), rtl::FloatToStrF(rtl::StrToFloat(Pres[2]), rtl::ffGeneral, 5, 0));
    F->Edit2->clear();
    QTest::keyClicks(F->Edit2, QString::fromStdString(Typed));
    // While the operator types, neither the read-out nor leaving the plot
    // takes the text away.
    MoveTo(F->PaintBox2, F->ProfilePts[0].X, F->ProfilePts[0].Y);
    F->Label11MouseLeave();
    EXPECT_EQ(F->Edit2->text().toStdString(), Typed);
    QTest::keyClick(F->Edit2, Qt::Key_Return);

    // The plot moves the point; the grid and the station database wait.
    EXPECT_DOUBLE_EQ(F->ProfilePoints[2].x, rtl::StrToFloat(Typed));
    EXPECT_EQ(F->PaintBox2->Canvas().Pixel(F->ProfilePts[2].X, F->ProfilePts[2].Y), clRed);
    EXPECT_TRUE(F->ZqQuery2->UpdatesPending());
    EXPECT_EQ(Db("TEMP", 2), A);
    Grid().SetRecNoValue(3);
    EXPECT_DOUBLE_EQ(Grid().FieldByName("TEMP")->AsFloat(), rtl::StrToFloat(A));
    EXPECT_TRUE(UndoRows().empty());
    apptest::SaveScreenshot(*F, "editor_value_typed_next_to_the_plot");

    // Another station: the typed value is written first, with its undo value.
    SwitchStation();
    EXPECT_EQ(Db("TEMP", 2), Typed);
    const auto Undo = UndoRows();
    ASSERT_EQ(Undo.size(), 1u);
    EXPECT_EQ(Undo[0][0], "TEMP");
    EXPECT_DOUBLE_EQ(rtl::StrToFloat(Undo[0][1]), rtl::StrToFloat(A));
    EXPECT_EQ(Undo[0][2], "True");
    Grid().SetRecNoValue(3);
    EXPECT_DOUBLE_EQ(Grid().FieldByName("TEMP")->AsFloat(), rtl::StrToFloat(Typed));
    EXPECT_FALSE(F->ZqQuery2->UpdatesPending());
    EXPECT_EQ(Messages(), "");
}

// A load empties the boxes, and says so of a text typed there without Enter; typed there with no level
// shown, a value is stored nowhere, and said so.
TEST_F(EditorInPlot, AStationsLoadEmptiesTheBoxesAndNothingTypedLandsOnIt)
{
    Open();
    TypeAt(2, F->Edit2, "7.77");
    QTest::keyClicks(F->Edit2, QStringLiteral("5"));
    SwitchStation(false);
    EXPECT_NE(Messages().find("What was typed next to the plot was not stored: Enter stores it."), std::string::npos);
    MoveTo(F->PaintBox2, F->ProfilePts[1].X, F->ProfilePts[1].Y); // the read-out follows the mouse again
    EXPECT_FALSE(F->Edit1->text().isEmpty());
    F->Label11MouseLeave();
    const std::string Other = "select PRES, TEMP from PTS_Data where ID_Cast=" + std::to_string(F->CurCastId);
    const auto Before = Sql(Other);
    EXPECT_EQ((F->Edit1->text() + F->Edit2->text() + F->Edit3->text() + F->Edit4->text()).toStdString(), "");
    QTest::keyClick(F->Edit1, Qt::Key_Return);
    QTest::keyClicks(F->Edit2, QStringLiteral("8.25"));
    QTest::keyClick(F->Edit2, Qt::Key_Return);
    PickParam("PSAL");
    EXPECT_EQ(Sql(Other), Before);
    EXPECT_EQ(Db("TEMP", 2), "7.77");
    EXPECT_NE(Messages().find("not stored: the boxes show no level of this profile."), std::string::npos);
}

// Values typed next to the plot while another program holds the write lock: a click on another
// parameter waits once for the lock and shows it not; the values stay typed until they are stored.
TEST_F(EditorInPlot, ValuesTypedNextToThePlotWaitOnceForTheLockAndStayTyped)
{
    Conn->SetConnected(false);
    Conn->Params().Add("LoginTimeout=1"); // the driver waits a second for a lock
    Conn->SetConnected(true);
    Open();
    TypeAt(2, F->Edit2, "7.25");
    TypeAt(3, F->Edit2, "7.5");
    sqlite3 *Other = nullptr;
    sqlite3_open(DbPath.c_str(), &Other);
    sqlite3_exec(Other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    const QPoint Psal = F->ListBox2->visualItemRect(F->ListBox2->item(ParamList.IndexOf("PSAL"))).center();
    QTest::mouseClick(F->ListBox2->viewport(), Qt::LeftButton, {}, Psal);
    sqlite3_close(Other); // its transaction rolled back
    EXPECT_EQ(Script->Messages.size(), 1u) << Messages();
    EXPECT_EQ(CurParamName, "TEMP");
    EXPECT_DOUBLE_EQ(F->ProfilePoints[2].x, 7.25);
    EXPECT_DOUBLE_EQ(F->ProfilePoints[3].x, 7.5);
    QTest::mouseClick(F->ListBox2->viewport(), Qt::LeftButton, {}, Psal);
    EXPECT_EQ(CurParamName + " " + Db("TEMP", 2) + " " + Db("TEMP", 3), "PSAL 7.25 7.5");
}

TEST_F(EditorInPlot, ATypedPressureMovesTheLevelAndClosingWritesIt)
{
    Open();
    const size_t n = Pres.size();
    ASSERT_GE(n, 6u);
    const double Between = (rtl::StrToFloat(Pres[4]) + rtl::StrToFloat(Pres[5])) / 2;
    const double Deeper = rtl::StrToFloat(Pres[n - 1]) + 100;
    const std::string BetweenText = rtl::FloatToStr(Between), DeeperText = rtl::FloatToStr(Deeper);
    // Between two levels: the level moves there.
    TypeAt(1, F->Edit1, BetweenText);
    ASSERT_EQ(F->ZqQuery2->RecordCount(), int(n));
    F->ZqQuery2->SetRecNoValue(5);
    EXPECT_DOUBLE_EQ(F->ZqQuery2->FieldByName("PRES")->AsFloat(), Between);
    EXPECT_DOUBLE_EQ(F->ProfilePoints[1].y, -Between);
    // Deeper than every level: it goes to the end.
    TypeAt(0, F->Edit1, DeeperText);
    F->ZqQuery2->SetRecNoValue(int(n));
    EXPECT_DOUBLE_EQ(F->ZqQuery2->FieldByName("PRES")->AsFloat(), Deeper);
    EXPECT_EQ(Rows("PTS_Data", Pres[1]), 1);

    CloseEditor();
    EXPECT_EQ(Rows("PTS_Data", Pres[0]), 0);
    EXPECT_EQ(Rows("PTS_Data", Pres[1]), 0);
    EXPECT_EQ(Rows("PTS_Data", BetweenText), 1);
    EXPECT_EQ(Rows("PTS_Data", DeeperText), 1);
    EXPECT_EQ(Sql("select count(*) from PTS_Data where ID_Cast=" + std::to_string(Station))[0][0], std::to_string(n));
    const auto Undo = UndoRows();
    ASSERT_EQ(Undo.size(), 2u);
    EXPECT_EQ(Undo[0][0], "PRES");
    EXPECT_EQ(Messages(), "");
}

TEST_F(EditorInPlot, AGridEditAfterATypedValueStandsAndEachParameterUsesItsOwnColumn)
{
    Open();
    // A value left open in the grid is written before the read-out moves on.
    TypeIntoCell(F->DBGrid2, 4, "TEMP", "7.75", Qt::Key_unknown);
    // The grid's edit of the same level comes later and is the one kept.
    TypeAt(2, F->Edit2, "7.25");
    EXPECT_EQ(Db("TEMP", 4), "7.75");
    EditLevel(2, "TEMP", "8.5");
    EXPECT_EQ(Db("TEMP", 2), "8.5");
    SwitchStation();
    EXPECT_EQ(Db("TEMP", 2), "8.5");

    // A chemical parameter: its own column of its own table.
    const auto No3 = Sql("select PRES from NO3 where ID_Cast=" + std::to_string(Station) + " order by PRES");
    ASSERT_GE(No3.size(), 2u);
    PickParam("NO3");
    TypeAt(1, F->Edit2, "3.5");
    PickParam("TEMP");
    EXPECT_EQ(Sql("select NO3 from NO3 where ID_Cast=" + std::to_string(Station) + " and PRES=" + No3[1][0])[0][0],
              "3.5");
    // Density is computed: a typed value changes nothing.
    PickParam("DENS");
    TypeAt(1, F->Edit2, "1030");
    EXPECT_FALSE(F->ZqQuery2->UpdatesPending());
    EXPECT_EQ(Messages(), "");
}

TEST_F(EditorInPlot, ReachingTheBoxesFromThePlotShowsTheirLevelAgain)
{
    Open();
    ASSERT_GE(F->ProfilePts.size(), 4u);
    const TPoint P = F->ProfilePts[3];
    MoveTo(F->PaintBox2, P.X, P.Y);
    // The boxes lie over the plot: going to them leaves the plot first.
    F->Label11MouseLeave();
    EXPECT_TRUE(F->Edit1->text().isEmpty());
    MoveTo(F->Edit2, 5, 5);
    EXPECT_EQ(F->Edit1->text().toStdString(), rtl::FloatToStrF(rtl::StrToFloat(Pres[3]), rtl::ffGeneral, 5, 3));
    EXPECT_EQ(F->Edit2->text().toStdString(), rtl::FloatToStrF(rtl::StrToFloat(Db("TEMP", 3)), rtl::ffGeneral, 5, 3));
    EXPECT_EQ(F->LevelMarkerX, P.X);
    EXPECT_EQ(F->LevelMarkerY, P.Y);
    // Typed there, the value is that level's.
    F->Edit2->clear();
    QTest::keyClicks(F->Edit2, QStringLiteral("6.5"));
    QTest::keyClick(F->Edit2, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(F->ProfilePoints[3].x, 6.5);
    EXPECT_EQ(Messages(), "");
}

TEST_F(EditorInPlot, ALevelTypedOntoAnotherLevelsPressureIsRefusedAndLeavesThatLevelsValue)
{
    Open();
    // A value for level 2, then level 1 moved onto level 2's pressure.
    TypeAt(2, F->Edit2, "7.25");
    TypeAt(1, F->Edit1, Pres[2]);
    SwitchStation();
    // The value reached its level; the pressure, which would have left two
    // levels no statement could tell apart, was refused, naming the level.
    EXPECT_EQ(Db("TEMP", 2), "7.25");
    EXPECT_EQ(Rows("PTS_Data", Pres[1]), 1);
    EXPECT_EQ(UndoRows().size(), 1u);
    EXPECT_NE(Messages().find("has a level at 10 dbar already"), std::string::npos) << Messages();
}

TEST_F(EditorInPlot, TheBoxesAddressALevelWithoutAPressureByItsEmptyPressure)
{
    const std::string Id = std::to_string(Station);
    SqlExec("insert into PTS_Data (ID_Cast, TEMP) values (" + Id + ", 1)");
    Open();
    const std::string Surface = Db("TEMP", 1); // 0 dbar, after the level without a pressure
    MoveTo(F->PaintBox2, F->ProfilePts[1].X, F->ProfilePts[1].Y); // the read-out's surface point
    EXPECT_EQ(F->Edit1->text().toStdString(), "0");
    // A value typed for the level without a pressure (the first row), then the grid's, which stands.
    F->Label11MouseLeave(), F->ZqQuery2->First();
    MoveTo(F->Edit2, 5, 5);
    F->Edit2->setText(QStringLiteral("2.5"));
    QTest::keyClick(F->Edit2, Qt::Key_Return);
    EditLevel(0, "TEMP", "4.5");
    SwitchStation();
    EXPECT_EQ(Sql("select TEMP from PTS_Data where PRES is null and ID_Cast=" + Id)[0][0] + " " + Db("TEMP", 1),
              "4.5 " + Surface);
    EXPECT_EQ(Messages(), "");
}

} // namespace
