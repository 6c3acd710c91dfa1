// The editor's map panel: stations at hand-computed pixels in their
// colours, picking a station with the mouse, the "MAP STATUS" read-out, the
// rubber-band zoom with its stack rules, and the velocity blink.
#include "tests/app_editor/editor_fixture.h"
#include "tests/app_editor/editor_test_util.h"
#include "tests/app_support/AppTestSupport.h"

#include "app/UQC.h"
#include "app/manual/Isolines.h"
#include "app/manual/map.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TPaintBox.h"
#include "platform/toolkit/TTimer.h"
#include "platform/toolkit/TDBGridModel.h"

#include <QGroupBox>
#include <QLabel>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

using namespace editortest;

namespace {

// The map of a 1280 x 1024 screen: MapScreenRect (50, 30, 970, 478) over
// longitude -14..42 and latitude 30..50, north up.
int Nearest(double v) { return int(std::nearbyint(v)); }
TPoint HandPixel(double Lon, double Lat)
{
    return Point(Nearest((Lon + 14) * 920.0 / 56.0 + 50), 508 - Nearest((Lat - 30) * 448.0 / 20.0 + 30));
}

class EditorMap : public EditorFixture {
protected:
    TForm2 *F = nullptr;
    void OpenCruise2()
    {
        PrepareRunFlags(2);
        F = &OpenEditor({2});
    }
    TColor At(TPoint P) const { return F->PaintBox1->Canvas().Pixel(P.X, P.Y); }
    std::string Readout(int X, int Y)
    {
        MoveTo(F->PaintBox1, X, Y);
        return F->Label6->text().toStdString();
    }
    // Index of a station in the list, and its position from the database.
    int IndexOf(int IdCast) const
    {
        for (size_t i = 0; i < CruiseStationIds.size(); ++i)
            if (CruiseStationIds[i] == IdCast)
                return int(i);
        return -1;
    }
    TRealPoint PositionOf(int IdCast)
    {
        const auto R = const_cast<EditorMap *>(this)->Sql("select Lon, Lat from Cast_Titles where ID_Cast=" +
                                                          std::to_string(IdCast));
        return MakeRealPoint(rtl::StrToFloat(R[0][0]), rtl::StrToFloat(R[0][1]));
    }
};

TEST_F(EditorMap, StationsSitAtTheirPixelsInTheirColours)
{
    OpenCruise2();
    ASSERT_EQ(CruiseStationPts.size(), 26u);
    for (size_t i = 0; i < CruiseStationIds.size(); ++i) {
        const TRealPoint p = PositionOf(CruiseStationIds[i]);
        EXPECT_EQ(CruiseStationPts[i], HandPixel(p.x, p.y)) << CruiseStationIds[i];
    }
    // The first station is current (lime); the easternmost one, well apart
    // from its neighbours, is yellow.
    EXPECT_EQ(CurStationIndex, 0);
    EXPECT_EQ(At(HandPixel(4.1326, 42.0407)), clLime);
    EXPECT_EQ(At(HandPixel(5.0361, 40.869)), clYellow);
    // The margins are white, the frame of the map black where the axes leave it.
    EXPECT_EQ(At(Point(20, 200)), clWhite);
    EXPECT_EQ(At(Point(500, 10)), clWhite);
}

TEST_F(EditorMap, StationsWithErrorsAreRedAndTheDuplicatesGreyUnderOrOver)
{
    OpenCruise2();
    const int East = IndexOf(51);
    ASSERT_GE(East, 0);
    DepthErrors.SetBit(East, true);
    F->PaintBox1->Repaint();
    EXPECT_EQ(At(HandPixel(5.0361, 40.869)), clRed);

    // A possible duplicate at the same place as station 51: grey over the
    // cruise unless the cruise is brought to the front.
    PrepareDuplicates("51");
    F->SpeedButton2->setEnabled(true);
    F->SpeedButton2->click();
    ASSERT_EQ(DuplStationPos.size(), 1u);
    EXPECT_EQ(At(HandPixel(5.0361, 40.869)), clRed);
    F->SpeedButton12->click();
    EXPECT_EQ(F->SpeedButton12->text().toStdString(), "SEND TO BACK");
    EXPECT_EQ(At(HandPixel(5.0361, 40.869)), clGray);
    F->SpeedButton12->click();
    EXPECT_EQ(F->SpeedButton12->text().toStdString(), "BRING TO FRONT");
    EXPECT_EQ(At(HandPixel(5.0361, 40.869)), clRed);
}

TEST_F(EditorMap, AClickOnAStationMakesItCurrentAndMovesTheGrid)
{
    OpenCruise2();
    const int East = IndexOf(51);
    const TPoint P = HandPixel(5.0361, 40.869);
    MoveTo(F->PaintBox1, P.X + 3, P.Y - 3);
    EXPECT_EQ(F->HotStationIndex, East);
    Press(F->PaintBox1, P.X + 3, P.Y - 3);
    Release(F->PaintBox1, P.X + 3, P.Y - 3);
    EXPECT_EQ(CurStationIndex, East);
    EXPECT_EQ(F->tmpStatTbl->FieldByName("ID_Cast")->AsInteger(), 51);
    EXPECT_EQ(F->tmpStatTbl->RecNo(), East + 1);
    EXPECT_EQ(F->DBGrid1->currentIndex().row(), East);
    EXPECT_EQ(At(P), clLime);
    EXPECT_EQ(At(HandPixel(4.1326, 42.0407)), clYellow); // the station that was current

    // One pixel beyond the hot box is a miss.
    MoveTo(F->PaintBox1, P.X + 4, P.Y);
    EXPECT_EQ(F->HotStationIndex, -1);
}

TEST_F(EditorMap, AStationWestOfTheLimitCannotBePicked)
{
    SqlExec("update Cast_Titles set Lon = -5.7, Lat = 36 where ID_Cast = 51");
    OpenCruise2();
    const TPoint P = HandPixel(-5.7, 36);
    MoveTo(F->PaintBox1, P.X, P.Y);
    EXPECT_EQ(F->HotStationIndex, -1);
    Press(F->PaintBox1, P.X, P.Y);
    EXPECT_EQ(CurStationIndex, 0);
}

// The node of the installation's grid at a column and row, read from the
// file without the program's reader.
double GridNode(int Col, int Row)
{
    std::ifstream In(apptest::ProgramFolder() + "Maps/out.grd");
    std::string Word;
    int nx = 0, ny = 0;
    double d;
    In >> Word >> nx >> ny >> d >> d >> d >> d >> d >> d;
    const long Target = long(Row) * nx + Col;
    for (long i = 0; i <= Target; ++i)
        In >> d;
    return d;
}

TEST_F(EditorMap, TheReadoutGivesPositionSquareAndDepth)
{
    OpenCruise2();
    // (510, 254) is 14 E, 40 N: a node of the 5' grid, column 336, row 120.
    const double z = GridNode(336, 120);
    ASSERT_LT(z, 0);
    EXPECT_EQ(Readout(510, 254), "Latitude: 40.000\xC2\xB0" "N; \nLongitude: 14.000\xC2\xB0" "E \nDepth estimation: " +
                                     std::to_string(-Nearest(z)));
    EXPECT_TRUE(F->GroupBox2->isVisibleTo(F));
    // With the squares shown, the square's name comes before the depth.
    F->QuadrSelBtn->click();
    const std::string Square = FindSquare(14, 40);
    ASSERT_FALSE(Square.empty());
    EXPECT_NE(Readout(510, 254).find("QCSquare: " + Square + "\n"), std::string::npos);
    F->QuadrSelBtn->click();
    // Over land the grid holds an elevation (the Apennines, 15 E 41 N).
    const TPoint Land = HandPixel(15, 41);
    EXPECT_NE(Readout(Land.X, Land.Y).find("Elevation estimation: "), std::string::npos);
    // Outside the map the group hides.
    MoveTo(F->PaintBox1, 20, 200);
    EXPECT_FALSE(F->GroupBox2->isVisibleTo(F));
}

TEST_F(EditorMap, LeftOfTheMapTheReadoutTakesThePixelInsideTheEdge)
{
    OpenCruise2();
    // The position is clamped to Left + 1 = 51: 56 / 920 of a degree east
    // of -14. The read-out itself shows only while the mouse is on the map.
    MoveTo(F->PaintBox1, 10, 254);
    EXPECT_EQ(F->MapMouseX, 51);
    MoveTo(F->PaintBox1, 50, 254);
    EXPECT_EQ(F->MapMouseX, 50);
    EXPECT_NE(F->Label6->text().toStdString().find("Longitude: -14.000"), std::string::npos);
    MoveTo(F->PaintBox1, 975, 500);
    EXPECT_EQ(F->MapMouseX, 970);
    EXPECT_EQ(F->MapMouseY, 478);
}

TEST_F(EditorMap, RubberBandZoomFollowsTheStackRules)
{
    OpenCruise2();
    const TRealRect Full = ZoomStack[0];
    // A click without a drag changes nothing.
    F->RctSelBtn->click();
    Press(F->PaintBox1, 300, 200);
    Release(F->PaintBox1, 300, 200);
    EXPECT_FALSE(F->ZoomInBtn->isEnabled());
    EXPECT_EQ(ZoomStack.size(), 1u);

    // A drag from right to left, bottom to top.
    F->RctSelBtn->setChecked(true);
    Press(F->PaintBox1, 400, 300);
    MoveTo(F->PaintBox1, 200, 200);
    Release(F->PaintBox1, 200, 200);
    EXPECT_EQ(SelectionRect, Rect(200, 200, 400, 300));
    EXPECT_FALSE(F->RctSelBtn->isChecked());
    ASSERT_TRUE(F->ZoomInBtn->isEnabled());
    // Fitted about its centre to the map's aspect 458 / 920 = 0.4978: 100 /
    // 200 is taller, so top and bottom stay and the width becomes 100 /
    // 0.4978 = 200.9 about x = 300: 199.6 .. 400.4, that is 200 .. 400.
    EXPECT_EQ(RubberRect, Rect(200, 200, 400, 300));
    F->ZoomInBtn->click();
    ASSERT_EQ(ZoomStack.size(), 2u);
    EXPECT_EQ(ZoomIndex, 1);
    // World of pixels 200..400 x 200..300 through the full view.
    EXPECT_NEAR(ZoomStack[1].xmin, -14 + 56.0 * 150 / 920, 1e-9);
    EXPECT_NEAR(ZoomStack[1].xmax, -14 + 56.0 * 350 / 920, 1e-9);
    EXPECT_NEAR(ZoomStack[1].ymax, 50 - 20.0 * 170 / 448, 1e-9);
    EXPECT_NEAR(ZoomStack[1].ymin, 50 - 20.0 * 270 / 448, 1e-9);
    EXPECT_EQ(SelectionRect, Rect(-5, -5, -5, -5));
    EXPECT_FALSE(F->ZoomInBtn->isEnabled());
    EXPECT_TRUE(F->ZoomOutBtn->isEnabled());
    EXPECT_TRUE(F->ActSizeBtn->isEnabled());
    // The stations are drawn through the zoomed view.
    const TPoint p = WorldToScreen(CruiseStationPos[0], ZoomStack[1], MapScreenRect, false, true);
    EXPECT_EQ(CruiseStationPts[0], p);

    // The same rectangle dragged left to right zooms to the same place.
    F->RctSelBtn->setChecked(true);
    Press(F->PaintBox1, 200, 200);
    MoveTo(F->PaintBox1, 400, 300);
    Release(F->PaintBox1, 400, 300);
    F->ZoomInBtn->click();
    ASSERT_EQ(ZoomStack.size(), 3u);

    F->ZoomOutBtn->click();
    EXPECT_EQ(ZoomIndex, 1);
    EXPECT_EQ(ZoomStack.size(), 3u); // kept until the next zoom in
    F->ActSizeBtn->click();
    EXPECT_EQ(ZoomIndex, 0);
    EXPECT_FALSE(F->ZoomOutBtn->isEnabled());
    EXPECT_FALSE(F->ActSizeBtn->isEnabled());
    EXPECT_EQ(ZoomStack[0], Full);
    // Zoom out at the full view only redraws.
    F->ZoomOutBtn->setEnabled(true);
    F->ZoomOutBtn->click();
    EXPECT_EQ(ZoomIndex, 0);
    // A new zoom in, past the track's east end, drops the elements above the shown one.
    F->RctSelBtn->setChecked(true);
    Press(F->PaintBox1, 200, 150);
    MoveTo(F->PaintBox1, 355, 230);
    Release(F->PaintBox1, 355, 230);
    F->ZoomInBtn->click();
    EXPECT_EQ(ZoomStack.size(), 2u);
    apptest::SaveScreenshot(*F, "editor_zoomed");
    // A station beyond the frame lies under the white margin: not picked.
    const auto Margin = std::find_if(CruiseStationPts.begin(), CruiseStationPts.end(), [&](TPoint P) {
        return !PointInRect(MapScreenRect, P.X, P.Y) && P.X < F->PaintBox1->width() && P.Y < F->PaintBox1->height();
    });
    ASSERT_NE(Margin, CruiseStationPts.end());
    Press(F->PaintBox1, Margin->X, Margin->Y);
    EXPECT_EQ(CurStationIndex, 0);
    CloseEditor(); // a second session opens on this zoom, with the way back out
    F = &OpenEditor({2});
    EXPECT_TRUE(F->ZoomOutBtn->isEnabled() && F->ActSizeBtn->isEnabled());
}

TEST_F(EditorMap, ARubberBandPastTheEdgeIsShiftedBackKeepingItsSize)
{
    OpenCruise2();
    F->RctSelBtn->setChecked(true);
    // Tall and thin at the left edge: widened to 200 / (458 / 920) = 401.7
    // pixels about x = 70, which starts left of the map and is moved right.
    Press(F->PaintBox1, 60, 100);
    MoveTo(F->PaintBox1, 80, 300);
    Release(F->PaintBox1, 80, 300);
    EXPECT_EQ(RubberRect.Left, 50);
    EXPECT_EQ(RubberRect.Top, 100);
    EXPECT_EQ(RubberRect.Bottom, 300);
    EXPECT_EQ(RubberRect.Right - RubberRect.Left, 402);
}

TEST_F(EditorMap, VelocityErrorSegmentsBlinkEveryQuarterSecond)
{
    OpenCruise2();
    const int East = IndexOf(51);
    VelocityErrors.SetBit(East, true);
    F->PaintBox1->Repaint();
    ASSERT_TRUE(F->Timer1->Enabled());
    EXPECT_EQ(F->Timer1->Interval(), 250);
    // Silver pixels about the segment from station 50 to station 51: the
    // line is red after a paint, silver in phase 1, red again in phase 0.
    const TPoint A = CruiseStationPts[size_t(East)], B = CruiseStationPts[size_t(East - 1)];
    const auto SilverCount = [&] {
        int n = 0;
        for (int x = std::min(A.X, B.X) - 2; x <= std::max(A.X, B.X) + 2; ++x)
            for (int y = std::min(A.Y, B.Y) - 2; y <= std::max(A.Y, B.Y) + 2; ++y)
                n += At(Point(x, y)) == clSilver;
        return n;
    };
    const int Painted = SilverCount();
    TTimer::AdvanceTimers(250);
    EXPECT_EQ(BlinkPhase, 1);
    const int Phase1 = SilverCount();
    TTimer::AdvanceTimers(250);
    EXPECT_EQ(BlinkPhase, 0);
    EXPECT_GT(Phase1, Painted);
    EXPECT_EQ(SilverCount(), Painted);
}

} // namespace
