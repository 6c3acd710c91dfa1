// Map drawing probed pixel by pixel, the geography files, and the square
// look-up. The default map over the installation's data is kept as
// default_map.png in this suite's build folder.
#include "tests/support/TestEnvironment.h"
#include "tests/support/ArrayDataSet.h"
#include "app/manual/map.h"

#include "app/Globals.h"
#include "app/manual/Isolines.h"
#include "platform/toolkit/TCanvas.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TTimer.h"

#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

// 10 pixels a degree over the default view (-14..42 E, 30..50 N).
const TRect Screen{50, 30, 610, 230};

class MapDrawing : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    TScriptedDialogs Script;
    TBitmap Bmp{660, 260};
    TCanvas &C = Bmp.Canvas();

    std::string Folder() const { return Dir.path().toStdString() + "/"; }
    void Write(const std::string &Name, const std::string &Text) { std::ofstream(Folder() + Name) << Text; }

    void SetUp() override
    {
        MapsDir = CfgDir = Folder();
        BuildMapColors();
        ZoomStack = {MakeWorldRect(-14, 30, 42, 50)};
        ZoomIndex = 0;
        MapScreenRect = Screen;
        // Sea colour 4, a land square 10..20 E, 35..45 N in colour 12.
        Write("map.bln", "4\n4 12\n10 35\n20 35\n20 45\n10 45\n");
        CruiseStationPos.clear();
        DuplStationPos.clear();
        LocationErrors = VelocityErrors = DepthErrors = TBits();
        CurStationIndex = -1;
        DrawTrack = true;
        BlinkTimer = nullptr;
        MsSquares.clear();
        BsSquares.clear();
        MsSquareNames.Clear();
        BsSquareNames.Clear();
    }
};

TEST_F(MapDrawing, CoastFillsSeaAndLandAndFramesTheMap)
{
    DrawCoast(C);
    EXPECT_TRUE(Script.Messages.empty());
    EXPECT_EQ(C.Pixel(100, 100), MapColors[4]);  // sea
    EXPECT_EQ(C.Pixel(340, 130), MapColors[12]); // inside the land square (290..389 x 80..179)
    EXPECT_EQ(C.Pixel(290, 80), MapColors[12]);
    EXPECT_EQ(C.Pixel(389, 179), MapColors[12]);
    EXPECT_EQ(C.Pixel(289, 130), MapColors[4]);
    EXPECT_EQ(C.Pixel(50, 100), clBlack);  // the frame, two pixels wide
    EXPECT_EQ(C.Pixel(610, 100), clBlack);
    EXPECT_EQ(C.Pixel(300, 230), clBlack);
    EXPECT_EQ(C.Pixel(20, 100), clWhite);  // outside the map
}

TEST_F(MapDrawing, StationsTakeTheirColoursAndTheCurrentOneIsRinged)
{
    DrawCoast(C);
    CruiseStationPos = {MakeRealPoint(0, 40), MakeRealPoint(5, 40), MakeRealPoint(-5, 35)};
    LocationErrors.SetBit(1, true);
    CurStationIndex = 2;
    DrawStations(CruiseStationPos, CruiseStationPts, clYellow, C);
    ASSERT_EQ(CruiseStationPts.size(), 3u);
    EXPECT_EQ(CruiseStationPts[0], Point(190, 130));
    EXPECT_EQ(C.Pixel(190, 130), clYellow);
    EXPECT_EQ(C.Pixel(240, 130), clRed);  // location error
    EXPECT_EQ(C.Pixel(140, 180), clLime); // the current station
    EXPECT_EQ(C.Pixel(215, 130), clSilver); // the track between the first two
    // The ring around it (box +-7) is drawn with a white pen in not-xor
    // mode, which gives back every pixel it covers: it never shows.
    EXPECT_EQ(C.Pixel(140 + 7, 180), MapColors[4]);
    EXPECT_EQ(C.Pixel(140, 180 - 7), MapColors[4]);
}

TEST_F(MapDrawing, AStationWithoutAPlaceIsLeftOutAndTheTrackJoinsItsNeighbours)
{
    DrawCoast(C);
    TArrayDataSet Casts({{"Lon", rtl::ftFloat, 0}, {"Lat", rtl::ftFloat, 0}});
    Casts.AddRow({0.0, 40.0});
    Casts.AddRow({rtl::Variant(), 35.0});
    Casts.AddRow({10.0, 40.0});
    Casts.Open();
    for (Casts.First(); !Casts.Eof(); Casts.Next())
        CruiseStationPos.push_back(StationPlace(Casts.FieldByName("Lon"), Casts.FieldByName("Lat")));
    ASSERT_FALSE(HasPlace(CruiseStationPos[1]));
    VelocityErrors.SetBit(1, true); // from the first to the one without a place
    CurStationIndex = 1;
    DrawStations(CruiseStationPos, CruiseStationPts, clYellow, C);
    EXPECT_EQ(C.Pixel(240, 130), clSilver);   // the track from the first to the third
    EXPECT_EQ(C.Pixel(190, 150), MapColors[4]); // nothing goes south from the first
    EXPECT_EQ(C.Pixel(190, 130), clYellow);
    for (int x = 0; x < 640; ++x)
        for (int y = 0; y < 260; ++y)
            ASSERT_NE(C.Pixel(x, y), clRed) << x << "," << y; // no velocity segment to nowhere
}

TEST_F(MapDrawing, DuplicatesAreGreyWithoutErrorColoursOrBlink)
{
    TTimer::SetManualClock(true);
    TTimer Blink;
    Blink.SetEnabled(false);
    BlinkTimer = &Blink;
    DuplStationPos = {MakeRealPoint(0, 40), MakeRealPoint(5, 40)};
    LocationErrors.SetBit(0, true);
    VelocityErrors.SetBit(1, true);
    DrawStations(DuplStationPos, DuplStationPts, clGray, C);
    EXPECT_EQ(C.Pixel(190, 130), clGray);
    EXPECT_EQ(C.Pixel(240, 130), clGray);
    EXPECT_FALSE(Blink.Enabled());
    TTimer::SetManualClock(false);
}

TEST_F(MapDrawing, VelocityErrorSegmentBlinksEveryQuarterSecond)
{
    TTimer::SetManualClock(true);
    TTimer Blink;
    Blink.SetEnabled(false);
    Blink.OnTimer = [&] { DrawBlinkStep(C); };
    BlinkTimer = &Blink;
    CruiseStationPos = {MakeRealPoint(0, 40), MakeRealPoint(5, 40), MakeRealPoint(10, 40)};
    VelocityErrors.SetBit(1, true);
    DrawStations(CruiseStationPos, CruiseStationPts, clYellow, C);
    EXPECT_TRUE(Blink.Enabled());
    EXPECT_EQ(Blink.Interval(), 250);
    EXPECT_EQ(C.Pixel(215, 130), clRed);    // segment 0-1 drawn red
    EXPECT_EQ(C.Pixel(265, 130), clSilver); // segment 1-2 is track only
    TTimer::AdvanceTimers(250);
    EXPECT_EQ(C.Pixel(215, 130), clSilver);
    TTimer::AdvanceTimers(250);
    EXPECT_EQ(C.Pixel(215, 130), clRed);
    EXPECT_EQ(C.Pixel(265, 130), clSilver);
    // A cruise without velocity errors stops the blink.
    VelocityErrors = TBits();
    DrawStations(CruiseStationPos, CruiseStationPts, clYellow, C);
    EXPECT_FALSE(Blink.Enabled());
    TTimer::SetManualClock(false);
}

TEST_F(MapDrawing, SquaresAreOutlinedInWhite)
{
    DrawCoast(C);
    MsSquares = {MakeWorldRect(0, 31, 2, 33)}; // pixels 190..210 x 200..220
    MsSquareNames.Add("M31N000E");
    DrawSquares(C);
    EXPECT_EQ(C.Pixel(190, 210), clWhite);
    EXPECT_EQ(C.Pixel(210, 210), clWhite);
    EXPECT_EQ(C.Pixel(200, 220), clWhite);
    EXPECT_EQ(C.Pixel(200, 210), MapColors[4]);
    EXPECT_EQ(C.Pixel(211, 210), MapColors[4]);
}

TEST_F(MapDrawing, RubberBandDrawnTwiceErases)
{
    DrawCoast(C);
    const QImage Before = Bmp.Image().copy();
    DrawRubberRect(C, TRect{100, 60, 300, 150});
    EXPECT_NE(Bmp.Image(), Before);
    DrawRubberRect(C, TRect{100, 60, 300, 150});
    EXPECT_EQ(Bmp.Image(), Before);
}

TEST_F(MapDrawing, ExtraLinesFollowTheColumnOrder)
{
    DrawCoast(C);
    ExtraLinesFile = Folder() + "extra.bln";
    // Latitude first: a vertical line at 0 E from 35 N to 45 N.
    Write("extra.bln", "2\n35 0\n45 0\n");
    SwapCoordColumns = false;
    DrawExtraLines(C);
    EXPECT_EQ(C.Pixel(190, 130), clWhite);
    SwapCoordColumns = true; // now read as 35 E, 0 N .. 45 E, 0 N: off the map
    DrawCoast(C);
    DrawExtraLines(C);
    EXPECT_EQ(C.Pixel(190, 130), MapColors[4]);
    SwapCoordColumns = false;
}

TEST_F(MapDrawing, WrongColourIndexIsReportedOnceAndSkipped)
{
    Write("map.bln", "4\n4 30\n10 35\n20 35\n20 45\n10 45\n");
    DrawCoast(C);
    DrawCoast(C);
    EXPECT_EQ(Script.Messages.size(), 1u);
    EXPECT_EQ(C.Pixel(340, 130), MapColors[4]);
    // The file is read again when it changes.
    Write("map.bln", "7\n4 12\n10 35\n20 35\n20 45\n10 45\n");
    DrawCoast(C);
    EXPECT_EQ(C.Pixel(100, 100), MapColors[7]);
    EXPECT_EQ(C.Pixel(340, 130), MapColors[12]);
}

TEST_F(MapDrawing, ColourIndexNoIntHoldsIsReportedAsWritten)
{
    Write("map.bln", "1e10\n4 -1e12\n10 35\n20 35\n20 45\n10 45\n");
    DrawCoast(C);
    ASSERT_EQ(Script.Messages.size(), 1u);
    EXPECT_EQ(Script.Messages[0].Text,
              "Colour index 10000000000 of " + Folder() + "map.bln lies outside the map colours");
    EXPECT_EQ(SeaColorIndex, -1);
}

TEST_F(MapDrawing, SquareCornerFarOffTheMapEndsAtItsEdge)
{
    DrawCoast(C);
    MsSquares = {MakeWorldRect(0, 31, 1e12, 33)};
    MsSquareNames.Add("M31N000E");
    DrawSquares(C);
    EXPECT_EQ(C.Pixel(190, 210), clWhite); // the west side, on the map
    EXPECT_EQ(C.Pixel(400, 220), clWhite); // the south side runs off east
}

TEST_F(MapDrawing, MissingCoastlineIsAnInputOutputError)
{
    MapsDir = Folder() + "nowhere/";
    EXPECT_THROW(DrawCoast(C), EInOutError);
}

TEST_F(MapDrawing, AxisSettingsPickWholeDegreesForSixDegrees)
{
    Write("geogrAxe.Ini", "[KOFFS]\nCnt=3\nKoffs0=3600\nKoffs1=60\nKoffs2=1\n[STEPS]\nCnt=7\nStepVal0=1\n"
                          "StepVal1=2\nStepVal2=5\nStepVal3=10\nStepVal4=15\nStepVal5=20\nStepVal6=30\n");
    for (int k = 0; k < 3; ++k)
        Write("crd" + std::to_string(k) + ".txt", "2\n2\n");
    InitGeoAxes();
    int Unit = -1;
    EXPECT_DOUBLE_EQ(GeoAxisStep(6, true, Unit), 1.0);
    EXPECT_EQ(Unit, 0);
    // Half a degree wide: a twelfth of it is five minutes, in minutes.
    EXPECT_DOUBLE_EQ(GeoAxisStep(0.5, true, Unit), 5.0 / 60);
    EXPECT_EQ(Unit, 1);
    // Latitude: 20 degrees / 5 = 4, the closest step is 5 degrees.
    EXPECT_DOUBLE_EQ(GeoAxisStep(20, false, Unit), 5.0);
    // Longitude needs four ticks: 56 / 6 = 9.3 is closest to 10 but leaves
    // 5.6 ticks; both pass, so 10 it is.
    EXPECT_DOUBLE_EQ(GeoAxisStep(56, true, Unit), 10.0);
    AxesWorldRect = ZoomStack[0];
    AxesScreenRect = Screen;
    DrawGeoAxes(C);
    EXPECT_TRUE(Script.Messages.empty());
    // A tick at 0 E (x = 190) from the top edge down six pixels.
    EXPECT_EQ(C.Pixel(190, 33), clBlack);
    EXPECT_EQ(C.Pixel(50, 100), clBlack); // the axes' frame
}

TEST_F(MapDrawing, EmptyOrZeroStepAxisSettingsAreReportedOnceAndDrawNothing)
{
    Write("geogrAxe.Ini", "[KOFFS]\nCnt=1\nKoffs0=3600\n[STEPS]\nCnt=1\nStepVal0=0\n");
    Write("crd0.txt", "2\n");
    AxesWorldRect = ZoomStack[0];
    AxesScreenRect = Screen;
    for (int i = 0; i < 2; ++i) {
        InitGeoAxes();
        DrawGeoAxes(C);
    }
    EXPECT_EQ(Script.Messages.size(), 1u);
    EXPECT_EQ(C.Pixel(50, 100), clWhite);
    Write("geogrAxe.Ini", "[KOFFS]\nCnt=0\n");
    InitGeoAxes();
    DrawGeoAxes(C);
    EXPECT_EQ(Script.Messages.size(), 2u);
}

TEST_F(MapDrawing, MissingLabelWidthsAreReportedOnceAndLabelsLeftOut)
{
    Write("geogrAxe.Ini", "[KOFFS]\nCnt=2\nKoffs0=60\nKoffs1=1\n[STEPS]\nCnt=1\nStepVal0=1\n");
    Write("crd0.txt", "2\n");
    AxesWorldRect = ZoomStack[0];
    AxesScreenRect = Screen;
    InitGeoAxes();
    DrawGeoAxes(C);
    InitGeoAxes();
    DrawGeoAxes(C);
    ASSERT_EQ(Script.Messages.size(), 1u);
    EXPECT_NE(Script.Messages[0].Text.find("crd1.txt"), std::string::npos);
}

TEST_F(MapDrawing, PlotAxesTickAtRoundValues)
{
    // Values 0..10, pressures 0..-100 over a 100 x 100 plot at (50, 30).
    PlotExtents = AxesWorldRect = TRealRect{0, -100, 10, 0};
    AxesScreenRect = TRect{50, 30, 150, 130};
    DrawPlotAxes(C);
    // Value step 2 (U = 1, n = round(10 / 4) = 2): ticks at 70, 90, 110, 130.
    EXPECT_EQ(C.Pixel(70, 30), clBlack);
    EXPECT_EQ(C.Pixel(60, 30), clWhite);
    // Pressure step 20 (3U >= span: U = 10, n = round(100 / 40) = 2): -20 at y = 50.
    EXPECT_EQ(C.Pixel(50, 50), clBlack);
}

// The profile plot leaves 5 pixels right of its frame: a tick next to that
// edge moves its label inside the canvas instead of cutting it.
TEST_F(MapDrawing, APlotLabelAtTheRightEdgeStaysWhole)
{
    const auto DarkIn = [&](int X0, int X1, int Y0, int Y1) {
        int Dark = 0;
        for (int y = Y0; y < Y1; ++y)
            for (int x = X0; x < X1; ++x)
                Dark += C.Pixel(x, y) != clWhite;
        return Dark;
    };
    const int H = C.TextHeight("12.0");
    C.Font.Color = clBlack;
    C.TextOut(300, 200, "12.0");
    const int Whole = DarkIn(290, 360, 200, 200 + H);
    ASSERT_GT(Whole, 0);
    // Ticks every 3: 12.0 falls one pixel inside a frame that ends 5 pixels
    // from the edge.
    PlotExtents = AxesWorldRect = TRealRect{0, -100, 12.02, 0};
    AxesScreenRect = TRect{40, 5, 655, 130};
    DrawPlotAxes(C);
    EXPECT_EQ(DarkIn(560, 660, 132, 132 + H), Whole);
}

TEST(QcSquares, LoadAndFindWithTheBlackSeaFirst)
{
    QTemporaryDir Dir;
    const std::string Bs = Dir.filePath(QStringLiteral("bs.txt")).toStdString();
    const std::string Ms = Dir.filePath(QStringLiteral("ms.txt")).toStdString();
    std::ofstream(Bs) << "27 41 28 42   7\n27.5 41 29 42 8\n30 43 31 44\n";
    std::ofstream(Ms) << "27 40 29 42 M40N027E\n179 -20 180 -18 E\n-180 10 -179 12 W\n0 88 2 90 N\n-20 -90 -10 -80 S\n";
    LoadSquares(Bs, BsSquareNames, BsSquares);
    LoadSquares(Ms, MsSquareNames, MsSquares);
    ASSERT_EQ(BsSquares.size(), 3u);
    EXPECT_EQ(BsSquares[1], MakeWorldRect(27.5, 41, 29, 42));
    EXPECT_EQ(BsSquareNames[0], "7");
    EXPECT_EQ(BsSquareNames[2], "");
    EXPECT_EQ(FindSquare(27.2, 41.5), "7");
    EXPECT_EQ(SeaCode, "BS");
    EXPECT_EQ(FindSquare(27.7, 41.5), "8"); // the later of two overlapping squares
    EXPECT_EQ(FindSquare(28, 42), "8");     // an edge is inside
    EXPECT_EQ(FindSquare(27.2, 40.5), "M40N027E");
    EXPECT_EQ(SeaCode, "MS");
    EXPECT_EQ(FindSquare(0, 0), "");
    EXPECT_EQ(SeaCode, "");
    // 180 E is 180 W; at a pole all meridians meet.
    const std::tuple<double, double, const char *> Edges[] = {
        {-180, -19, "E"}, {180, 11, "W"}, {123, 90, "N"}, {-170, -90, "S"}, {1, 89.5, "N"}, {180.5, -19, ""}};
    for (const auto &[Lon, Lat, Name] : Edges)
        EXPECT_EQ(FindSquare(Lon, Lat), Name) << Lon << " " << Lat;
    std::ofstream(Bs) << "27 41 x 42 7\n";
    EXPECT_THROW(LoadSquares(Bs, BsSquareNames, BsSquares), EInOutError);
    EXPECT_THROW(LoadSquares(Bs + ".none", BsSquareNames, BsSquares), EInOutError);
}

// The installation's own files, drawn as the editor's map shows them first.
TEST(DefaultMap, InstallationDataDrawsSeaLandStationsAndAxes)
{
    const std::string Program = testsupport::ProgramDir();
    TScriptedDialogs Script;
    MapsDir = Program + "Maps/";
    CfgDir = Program + "Cfg/";
    GridFileName = MapsDir + "out.grd";
    BuildDepthColors();
    ASSERT_EQ(GridNX, 673);
    LoadSquares(CfgDir + "QuadrHMS.txt", BsSquareNames, BsSquares);
    LoadSquares(CfgDir + "QuadrMedClim.txt", MsSquareNames, MsSquares);
    ZoomStack = {MakeWorldRect(-14, 30, 42, 50)};
    ZoomIndex = 0;
    TBitmap Map(1020, 460);
    MapScreenRect = TRect{50, 30, 970, 430}; // 920 x 400 pixels for 56 x 20 degrees
    DrawCoast(Map.Canvas());
    CruiseStationPos = {MakeRealPoint(18.3, 34.5), MakeRealPoint(18.8, 34.7), MakeRealPoint(33.5, 43.3)};
    LocationErrors = VelocityErrors = DepthErrors = TBits();
    DepthErrors.SetBit(2, true);
    CurStationIndex = -1;
    DrawTrack = true;
    BlinkTimer = nullptr;
    DrawStations(CruiseStationPos, CruiseStationPts, clYellow, Map.Canvas());
    DrawSquares(Map.Canvas());
    AxesWorldRect = ZoomStack[0];
    AxesScreenRect = MapScreenRect;
    InitGeoAxes();
    DrawGeoAxes(Map.Canvas());
    ASSERT_TRUE(Map.SaveToFile(std::string(QCMAP_ARTEFACT_DIR) + "/default_map.png"));
    EXPECT_TRUE(Script.Messages.empty()) << Script.Messages[0].Text;

    auto IndexOf = [&](int X, int Y) {
        const TColor c = Map.Canvas().Pixel(X, Y);
        for (size_t i = 0; i < MapColors.size(); ++i)
            if (MapColors[i] == c)
                return int(i);
        return -1;
    };
    auto Px = [&](double Lon, double Lat) {
        return WorldToScreen(MakeRealPoint(Lon, Lat), ZoomStack[0], MapScreenRect, false, true);
    };
    // The Ionian Sea is deep water, central Anatolia land (both off the
    // squares' outlines).
    const TPoint Ionian = Px(19.3, 35.5), Anatolia = Px(33.3, 39.3);
    EXPECT_GE(IndexOf(Ionian.X, Ionian.Y), 0);
    EXPECT_LE(IndexOf(Ionian.X, Ionian.Y), 9);
    EXPECT_GE(IndexOf(Anatolia.X, Anatolia.Y), 10);
    // The stations: yellow, and red for the depth error in the Black Sea.
    EXPECT_EQ(Map.Canvas().Pixel(CruiseStationPts[0].X, CruiseStationPts[0].Y), clYellow);
    EXPECT_EQ(Map.Canvas().Pixel(CruiseStationPts[2].X, CruiseStationPts[2].Y), clRed);
    // The frame.
    EXPECT_EQ(Map.Canvas().Pixel(50, 200), clBlack);
    EXPECT_EQ(Map.Canvas().Pixel(970, 420), clBlack);
    EXPECT_EQ(Map.Canvas().Pixel(300, 430), clBlack);
    // A Black Sea square's outline: the first square of the file.
    const TRect Sq = WorldRectToScreen(BsSquares[0], ZoomStack[0], MapScreenRect, false, true);
    EXPECT_EQ(Map.Canvas().Pixel(Sq.Left, (Sq.Top + Sq.Bottom) / 2), clWhite);
}

} // namespace
