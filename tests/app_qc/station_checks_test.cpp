// Station checks of the cruise loop: one station per rule, the rows they
// leave in "-Cast_TitlesFlags", the station flags zeroed in the station
// database, the QCCruise marks; the duplicate searches; Esc in a cruise.
#include "tests/app_qc/qc_fixture.h"

#include <filesystem>

#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/manual/Isolines.h"
#include "app/manual/Recalcs.h"
#include "app/manual/map.h"
#include "dataaccess/comp/qxZqCompClient.h"
#include "platform/toolkit/TApplication.h"

#include <QKeyEvent>
#include <QProgressBar>
#include <QWidget>

#include <QtCore/QCoreApplication>

#include <array>
#include <fstream>
#include <optional>
#include <random>

namespace qctest {
namespace {

using demogen::TDemoCruise;
constexpr double D = FixtureDay;

class StationChecks : public QcEngineTest {};

TEST_F(StationChecks, EachRuleLeavesItsFlagRowAndTheCruiseMarks)
{
    TDemoCruise C;
    C.Id = 1;
    C.Stations = {
        MakeStation(101, 1, 31.0, 44.0, D, 0.25, 5000),     // first: reference only
        MakeStation(102, 1, 31.1, 44.0, D, 0.30, 5000),     // 3.8 knots
        MakeStation(103, 1, -5.7, 44.0, D, 0.35, 5000),     // west of -5.6
        MakeStation(104, 1, 31.15, 44.0, D, 0.40, 5000),    // Lon emptied below
        MakeStation(105, 1, 31.2, 44.0, D, 1.25, 5000),     // time beyond a day
        MakeStation(106, 1, 31.3, 44.0, D + 1, 0.5, 5000),  //
        MakeStation(107, 1, 31.4, 44.0, D + 1, 0.5, 5000),  // the same moment again
        MakeStation(108, 1, 35.5, 45.5, D + 2, 0.5, 5000),  // in the contour's hole
        MakeStation(109, 1, 36.5, 45.5, D + 2, 0.75, 500),  // too shallow for the grid
        MakeStation(110, 1, 41.5, 45.5, D + 3, 0.75, 5000), // east of the grid
        MakeStation(111, 1, 36.6, 45.5, D + 4, 0.75, 9999), // no depth
        MakeStation(112, 1, 35.6, 45.6, D + 5, 0.75, 500),  // fixed by the operator
        MakeStation(113, 1, 31.5, 44.0, D + 6, 0.75, 5000), // a date that cannot be read
    };
    Open({C});
    StationSql("update Cast_Titles set FLon = 3, FLat = 3, FDT = 3, FD = 3 where ID_Cast = 103");
    StationSql("update Cast_Titles set Lon = NULL, FLat = 2 where ID_Cast = 104");
    StationSql("update Cast_Titles set FD = 2 where ID_Cast = 110");
    StationSql("update Cast_Titles set FD = 1 where ID_Cast = 111");
    StationSql("update Cast_Titles set FLon = 5, FLat = 5, FDT = 5, FD = 5 where ID_Cast = 112");
    StationSql("update Cast_Titles set Date_Cast = '1999-02-29', StationName = '" + std::string(70, 'N') +
               "' where ID_Cast = 113");
    SelectTests({tstLocation, tstVelocity, tstDepth});
    ClearMissingClimatology();

    Run();

    EXPECT_TRUE(QcRunFinished);
    const TRows Expected = {
        {"1", "101", "1", "1", "0", "1"}, {"1", "102", "1", "1", "1", "1"}, {"1", "104", "9", "0", "0", "0"},
        {"1", "105", "1", "1", "4", "1"}, {"1", "106", "1", "1", "1", "1"}, {"1", "107", "3", "3", "3", "1"},
        {"1", "108", "3", "3", "1", "1"}, {"1", "109", "1", "1", "1", "3"}, {"1", "110", "1", "1", "1", "2"},
        {"1", "111", "1", "1", "1", "0"}, {"1", "112", "5", "5", "5", "5"}, {"1", "113", "1", "1", "9", "1"},
    };
    EXPECT_EQ(CastFlagRows(), Expected);
    // Only the station west of -5.6 is written back by the run itself.
    EXPECT_EQ(StationRows("select ID_Cast, FLon, FLat, FDT, FD from Cast_Titles where ID_Cast in (103, 110, 112) "
                          "order by ID_Cast"),
              (TRows{{"103", "0", "0", "0", "0"}, {"110", "0", "0", "0", "2"},
                     {"112", "5", "5", "5", "5"}}));
    EXPECT_EQ(QcCruiseMarks(1), "011100 011100");
    EXPECT_TRUE(Dialogs->Messages.empty());
    EXPECT_EQ(MissingClimatologyText().rfind("The station 113 of the cruise CRUISE 1 is checked without its Date_Cast, "
                                             "which cannot be read: ", 0), 0u);
    EXPECT_NE(MissingClimatologyText().find("'1999-02-29' is no date"), std::string::npos);
    // A label longer than its column is read cut, and said so.
    EXPECT_NE(MissingClimatologyText().find("\nThe station 113 of the cruise CRUISE 1 is checked with its StationName "
                                            "cut: The text of Cast_Titles.StationName in the row with ID_Cast 113 is "
                                            "longer than its column takes: the first 60 bytes are read."),
              std::string::npos) << MissingClimatologyText();
}

TEST_F(StationChecks, APassOfFewerChecksKeepsTheOthersVerdictsWhileTheStationIsAsTheyJudgedIt)
{
    TDemoCruise C;
    C.Id = 14;
    C.Stations = {MakeStation(141, 14, 33.0, 43.0, D, 0.25, 5000),
                  MakeStation(142, 14, 35.5, 45.5, D, 1.25, 5000),  // in the contour's hole; a time beyond a day
                  MakeStation(143, 14, 33.5, 43.0, D + 2, 0.75, 500)}; // too shallow
    Open({C});
    const TRows Judged = {{"14", "141", "1", "1", "0", "1"}, {"14", "142", "3", "3", "4", "1"},
                          {"14", "143", "1", "1", "1", "3"}};
    SelectTests({tstLocation, tstVelocity, tstDepth});
    Run();
    EXPECT_EQ(CastFlagRows(), Judged);
    SelectTests({tstDepth, tstDataClimat});
    for (int Pass = 0; Pass < 2; ++Pass) {
        ClearMissingClimatology();
        Run();
        EXPECT_EQ(CastFlagRows(), Judged);
        EXPECT_EQ(QcCruiseMarks(14), "011100 010100");
    }
    // Station 142 moved: its location, and the speeds from it and to the
    // station after it, were judged of another cruise track.
    StationSql("update Cast_Titles set Lon = 33.2, Lat = 43.2 where ID_Cast = 142");
    ClearMissingClimatology();
    Run();
    EXPECT_EQ(CastFlagRows(), (TRows{{"14", "141", "1", "1", "0", "1"}, {"14", "142", "0", "0", "0", "1"},
                                     {"14", "143", "1", "1", "0", "3"}}));
    EXPECT_EQ(QcCruiseMarks(14), "000100 000100");
    EXPECT_EQ(MissingClimatologyText(),
              "The station 142 of the cruise CRUISE 14 is not as its location check judged it: its earlier location "
              "flags were dropped\nThe stations 142, 143 of the cruise CRUISE 14 are not as their speed check judged "
              "them: their earlier speed flags were dropped");
    // Rows an earlier version kept: their flags alone, which no verdict tells
    // apart; those a pass without their checks drops are named.
    SelectTests({tstLocation, tstVelocity, tstDepth});
    Run();
    Local("update " + LocalQuoteName(DbTablePrefix + "-Cast_TitlesFlags") + " set StationTests = NULL returning 0");
    SelectTests({tstDepth});
    ClearMissingClimatology();
    Run();
    EXPECT_EQ(CastFlagRows(), (TRows{{"14", "141", "0", "0", "0", "1"}, {"14", "142", "0", "0", "0", "1"},
                                     {"14", "143", "0", "0", "0", "3"}}));
    const std::string Kept = "The stations 141, 142, 143 of the cruise CRUISE 14 kept their flags without the "
                             "verdicts that gave them: their earlier ";
    EXPECT_EQ(MissingClimatologyText(), Kept + "location flags were dropped\n" + Kept + "speed flags were dropped");
}

TEST_F(StationChecks, AStationWhoseDateIsStoredAsTextKeepsItsPlaceInTime)
{
    TDemoCruise C;
    C.Id = 15;
    C.Stations = {MakeStation(151, 15, 31.0, 44.0, D, 0.25, 5000), MakeStation(152, 15, 32.0, 44.0, D, 0.30, 5000),
                  MakeStation(153, 15, 31.05, 44.0, D, 0.35, 5000)};
    Open({C});
    // 30 June 2009 as another tool stored it: between the other two, a
    // degree east of both, so that each speed to and from it is too high.
    StationSql("update Cast_Titles set Date_Cast = '2009-06-30' where ID_Cast = 152");
    SelectTests({tstVelocity});
    Run();
    EXPECT_EQ(CastFlagRows(), (TRows{{"15", "151", "0", "0", "0", "0"}, {"15", "152", "3", "3", "3", "0"},
                                     {"15", "153", "3", "3", "3", "0"}}));
}

TEST_F(StationChecks, DepthIsJudgedByTheCellThatHoldsTheStation)
{
    // Each station has its own cell of the one-degree grid (nodes lower-
    // left, lower-right, upper-left, upper-right) and, where there is one,
    // a decoy: the cell whose lower-left node is the node nearest to the
    // station, one column and one row further north-east.
    struct TCase {
        double Lon, Lat, Depth;
        float Own[4];
        std::optional<std::array<float, 4>> Decoy;
        const char *FD;
    };
    const TCase Cases[] = {
        // A coastal station on a slope: its own cell holds its 280 m, the
        // shelf north-east of it would not.
        {33.6, 46.6, 280, {-272, -291, 5, -4}, std::array<float, 4>{-108, -107, 10, 4}, "1"},
        // The last column of cells holds stations too.
        {39.6, 44.6, 300, {-300, -300, -300, -300}, std::nullopt, "1"},
        // So does the top row, down to its edge.
        {38.5, 50.0, 300, {-3000, -3000, -3000, -3000}, std::nullopt, "3"},
    };
    TDemoCruise C;
    C.Id = 7;
    for (const TCase &K : Cases) {
        const int Col = std::min(int(K.Lon - 30), 9), Row = std::min(int(K.Lat - 40), 9);
        for (int i = 0; i < 4; ++i) {
            SetGridNodes(Col + i % 2, Row + i / 2, K.Own[i]);
            if (K.Decoy)
                SetGridNodes(Col + 2 + i % 2, Row + 2 + i / 2, (*K.Decoy)[size_t(i)]);
        }
        const int Cast = 700 + int(C.Stations.size()) + 1;
        C.Stations.push_back(MakeStation(Cast, 7, K.Lon, K.Lat, D + double(C.Stations.size()), 0.5, K.Depth));
    }
    Open({C});
    SelectTests({tstDepth});
    Run();
    const TRows Rows = CastFlagRows();
    ASSERT_EQ(Rows.size(), std::size(Cases));
    for (size_t i = 0; i < Rows.size(); ++i)
        EXPECT_EQ(Rows[i][5], Cases[i].FD) << Cases[i].Lon << " " << Cases[i].Lat;
}

TEST_F(StationChecks, StationWithoutPositionGetsNoDepthNorLevelVerdictAndIsSaid)
{
    // The grid and the square moved over longitude 0, where a missing
    // longitude reads; every station is too shallow for the grid.
    GridWorldRect = MakeWorldRect(-5, 40, 5, 50);
    BsSquares = {MakeWorldRect(-5, 40, 45, 50)};
    TDemoCruise C;
    C.Id = 8;
    const std::vector<TLevel> Levels = {{10, 20, 18}, {20, 19, 18}};
    C.Stations = {MakeStation(801, 8, 1.0, 44.0, D, 0.25, 500, Levels), MakeStation(802, 8, 1.0, 44.0, D, 0.5, 500, Levels),
                  MakeStation(803, 8, 1.0, 44.0, D, 0.75, 500, Levels), MakeStation(804, 8, 1.0, 44.0, D, 0.8, 500, Levels)};
    Open({C});
    StationSql("update Cast_Titles set Lon = NULL where ID_Cast = 802");
    StationSql("update Cast_Titles set Lon = x'01' where ID_Cast = 803");
    // An identity beyond 32 bits (cut, station 4): named and left out.
    StationSql("update Cast_Titles set ID_Cast = 4294967300 where ID_Cast = 804");
    LoadDefaultClim();
    SelectTests({tstDepth, tstDataClimat});
    ClearMissingClimatology();
    Run();
    EXPECT_EQ(CastFlagRows(), (TRows{{"8", "801", "0", "0", "0", "3"}, {"8", "802", "9", "0", "0", "0"},
                                     {"8", "803", "9", "0", "0", "0"}}));
    for (const auto &Row : LevelFlagRows("PTS_DataFlags"))
        EXPECT_EQ(Row[0], "801");
    const std::string Said = MissingClimatologyText();
    EXPECT_NE(Said.find("The stations 802, 803 of the cruise CRUISE 8 have no position that can be read: their depth "
                        "and levels are not checked"), std::string::npos) << Said;
    EXPECT_NE(Said.find("A station of the cruise CRUISE 8 in Cast_Titles is left out: its ID_Cast cannot be read: "),
              std::string::npos) << Said;
    EXPECT_NE(Said.find("4294967300"), std::string::npos);
    EXPECT_EQ(Said.find("station 0 "), std::string::npos);
}

TEST_F(StationChecks, WestLimitIsExclusiveAndZeroingKeepsTheOperatorsFlags)
{
    TDemoCruise Before, C, West;
    // A cruise checked before, at the moment of station 202 and 0.6 degree
    // from it: no reference of cruise 2's speeds.
    Before.Id = 1;
    Before.Stations = {MakeStation(101, 1, -5.0, 36.0, D, 0.5, 5000)};
    C.Id = 2;
    C.Stations = {MakeStation(201, 2, -5.7, 36.0, D, 0.25, 5000), MakeStation(202, 2, -5.6, 36.0, D, 0.5, 5000),
                  MakeStation(203, 2, -6.0, 36.0, D, 0.75, 5000)};
    West.Id = 3;
    West.Stations = {MakeStation(301, 3, -9.0, 36.0, D, 0.25, 5000)};
    Open({Before, C, West});
    StationSql("update Cast_Titles set FLon = 5, FLat = 17, FDT = 2, FD = 3 where ID_Cast = 203");
    StationSql("update Cast_Titles set FLon = 2, FLat = 2, FDT = 2, FD = 2 where ID_Cast = 202");
    SelectTests({tstVelocity, tstDepth});
    ClearMissingClimatology();
    Run();
    // -5.6 itself is checked (outside the grid: no depth verdict), as its
    // cruise's first station judged: the reference of its speeds.
    EXPECT_EQ(CastFlagRows(), (TRows{{"1", "101", "0", "0", "0", "0"}, {"2", "202", "2", "2", "2", "2"}}));
    EXPECT_EQ(StationRows("select ID_Cast, FLon, FLat, FDT, FD from Cast_Titles where ID_Cruise > 1 order by ID_Cast"),
              (TRows{{"201", "0", "0", "0", "0"}, {"202", "2", "2", "2", "2"},
                     {"203", "5", "17", "0", "0"}, {"301", "0", "0", "0", "0"}}));
    // A cruise wholly west of the limit is checked by none of the station
    // checks; the run names the stations they leave, as the editor does.
    EXPECT_EQ(QcCruiseMarks(2) + "|" + QcCruiseMarks(3), "001100 000000|000000 000000");
    EXPECT_EQ(MissingClimatologyText(),
              "The stations 201, 203 of the cruise CRUISE 2 lie west of longitude -5.6, where the checks end: their "
              "speed and depth are not checked\nThe station 301 of the cruise CRUISE 3 lies west of longitude -5.6, "
              "where the checks end: its speed and depth are not checked");
}

TEST_F(StationChecks, LocationRegionDoesNotFollowTheMapsZoomOrInversion)
{
    TDemoCruise C;
    C.Id = 3;
    C.Stations = {MakeStation(301, 3, 33.0, 43.0, D, 0.25, 5000), MakeStation(302, 3, 35.5, 45.5, D, 0.75, 5000)};
    Open({C});
    // The editor zoomed in somewhere else, and the ini inverts x.
    ZoomStack.push_back(MakeWorldRect(10.0, 35.0, 12.0, 36.0));
    ZoomIndex = 1;
    MapInvertX = true;
    MapInvertY = false;
    BuildLocationRegion();
    SelectTests({tstLocation});
    Run();
    MapInvertX = false;
    MapInvertY = true;
    EXPECT_EQ(CastFlagRows(), (TRows{{"3", "301", "1", "1", "0", "0"}, {"3", "302", "3", "3", "0", "0"}}));
}

TEST_F(StationChecks, ContourFileBlocksAreAreasOrHolesAndColumnsFollowXY)
{
    // One area given longitude first; a count line with kind 1 is a hole.
    std::ofstream(ExtraLinesFile) << "4\n30 40\n45 40\n45 50\n30 50\n4 1\n35 45\n36 45\n36 46\n35 46\n";
    SwapCoordColumns = true;
    BuildLocationRegion();
    SwapCoordColumns = false;
    auto Inside = [](double Lon, double Lat) {
        const TPoint P = WorldToScreen(MakeRealPoint(Lon, Lat), ZoomStack[0], RegionScreenRect, false, true);
        return LocationRegion.Contains(P.X, P.Y);
    };
    EXPECT_TRUE(Inside(33.0, 43.0));
    EXPECT_FALSE(Inside(35.5, 45.5));
    EXPECT_FALSE(Inside(20.0, 43.0));
    // Without any area every station would lie outside: refused, and the
    // region of the file before is gone with it.
    std::ofstream(ExtraLinesFile) << "4 1\n40 30\n50 30\n50 45\n40 45\n";
    BuildLocationRegion();
    EXPECT_EQ(LocationRefusal, ExtraLinesFile + ", line 1: no polygon encloses an area");
    EXPECT_FALSE(Inside(33.0, 43.0));
}

TEST_F(StationChecks, CruiseWithoutStationsIsMarkedAndTheRunGoesOn)
{
    TDemoCruise Empty, Next;
    Empty.Id = 5;
    Next.Id = 6;
    Next.Stations = {MakeStation(601, 6, 31.0, 44.0, D, 0.25, 5000)};
    Open({Empty, Next});
    SelectTests({tstDuplicates, tstLocation, tstDataClimat});
    Run();
    EXPECT_TRUE(QcRunFinished);
    EXPECT_EQ(QcCruiseMarks(5), "110010 000000");
    EXPECT_EQ(CastFlagRows(), (TRows{{"6", "601", "1", "1", "0", "0"}}));
}

// ---- duplicates ----------------------------------------------------------------

class Duplicates : public QcEngineTest {
protected:
    void OpenPair()
    {
        TDemoCruise A, B;
        A.Id = 1;
        A.Stations = {MakeStation(11, 1, 31.0, 44.0, D, 10.0 / 24, 5000),
                      MakeStation(12, 1, 32.0, 44.5, D + 2, 10.0 / 24, 5000)};
        B.Id = 2;
        B.Stations = {
            MakeStation(21, 2, 31.5, 44.2, D + 1, 0.5, 5000),        // inside cruise 1's box and span
            MakeStation(22, 2, 31.0, 44.0, D, 20.0 / 24, 5000),      // cruise 1's first position, same day
            MakeStation(23, 2, 31.01, 44.01, D, 10.5 / 24, 5000),    // half an hour and half a minute away
            MakeStation(24, 2, 38.0, 48.0, D + 1, 0.5, 5000),        // far away
            MakeStation(25, 2, 32.0, 44.5, D + 2, 10.0 / 24, 5000),  // station 12 again, the box's corner
        };
        Open({A, B});
        SelectTests({tstDuplicates});
    }
    std::vector<std::string> Candidates() { return DuplicateCandidates(); }
};

TEST_F(Duplicates, FullCruiseSearchesTheCruisesBoxAndSpan)
{
    OpenPair();
    Run({1});
    // The box and span hold their edges: 22 and 25 lie on its corners.
    EXPECT_EQ(Candidates(), (std::vector<std::string>{"21", "22", "23", "25"}));
    EXPECT_EQ(QcCruiseMarks(1), "100000 100000");
}

TEST_F(Duplicates, EachStationWindowWithinOneDayTakesBothTimeLimits)
{
    OpenPair();
    DuplicatesEachStation = true;
    SpatialAdditionMin = 1;
    TemporalAdditionHours = 1;
    // The search of each station keeps its statement prepared: only the
    // window's bounds change from one station to the next.
    int Prepares = 0;
    DupCmd->BeforePrepare = [&](rtl::TObject *) { Prepares += DupCmd->CommandText()[0].rfind("Insert", 0) == 0; };
    Run({1});
    EXPECT_EQ(Prepares, 1);
    // Station 22 lies at station 11's position ten hours later on the same
    // day: outside the 09:00..11:00 window.
    EXPECT_EQ(Candidates(), (std::vector<std::string>{"23", "25"}));
    EXPECT_EQ(QcCruiseMarks(1), "100000 100000");
    // A second search starts from an empty scratch table; without additions
    // a station's window is itself, and holds its exact copy.
    SpatialAdditionMin = TemporalAdditionHours = 0;
    Run({1});
    EXPECT_EQ(Candidates(), (std::vector<std::string>{"25"}));
}

TEST_F(Duplicates, CopyIsFoundByTheMomentItStoresAndAStationWithoutPositionByNone)
{
    OpenPair();
    // Station 12 and its copy 25 take each row's date and time; from the
    // row with NoPlace on, station 11 lies nowhere and 24 at 0, 0 at 11's
    // moment. Plant runs before the row and the run says Said.
    struct TCase {
        double Time;
        bool NoPlace, Each;
        int Add; // SPATIAL and TEMPORAL ADDITION
        std::vector<std::string> Found;
        double Date = D + 2;
        std::string Plant = "", Said = "";
    };
    const double Late = 1.193, Fraction = (7 * 3600 + 59 * 60 + 0.5) / 86400.0;
    // 18:52:31.9: its moment's shortest digits read back one step off.
    const double Tenths = (18 * 3600 + 52 * 60 + 31.9) / 86400.0;
    const std::vector<std::string> Near = {"23", "25"}, Box = {"21", "22", "23", "25"};
    const TCase Cases[] = {
        {Late, false, true, 0, {"25"}},  {Late, false, true, 1, Near},
        {Fraction, false, true, 0, {"25"}}, {Fraction, false, false, 0, Box},
        {Tenths, false, true, 0, {"25"}}, {Tenths, false, false, 0, Box},
        // Before 30 December 1899, where a later time of day is a smaller
        // stored number; 25 is the cruise's first station by time.
        {Tenths, false, true, 1, Near, -5000}, {Tenths, false, false, 0, {"25"}, -5000},
        {10.0 / 24, false, true, 1, Near, -10}, {10.0 / 24, false, false, 1, Near, -10},
        {0.75, false, true, 1, Near, 0}, {Late, false, true, 1, Near, -1},
        {23.5 / 24, false, true, 1, Near, -1}, // the window reaches past 30 December 00:00
        // Station 12 stored as text by another tool: its moment is the
        // driver's, not SQLite's sum of the texts (2019, where 24 waits).
        {10.0 / 24, false, true, 0, {"25"}, D + 2,
         "update Cast_Titles set Date_Cast = '2009-07-02', Time_Cast = '10:00:00' where ID_Cast = 12;"
         "update Cast_Titles set Lon = 32.0, Lat = 44.5, Date_Cast = 2019, Time_Cast = 0 where ID_Cast = 24"},
        {10.0 / 24, false, false, 0, Box, D + 2, "update Cast_Titles set Date_Cast = '2009-07-02' where ID_Cast = 12"},
        // A date that holds a time of day before 1899 (-1.5: 29 December
        // 12:00), its copy as whole day plus time.
        {0, false, true, 1, Near, -1.5, "update Cast_Titles set Date_Cast = -1, Time_Cast = 0.5 where ID_Cast = 25"},
        {0, false, true, 0, {"25"}, -0.5, "update Cast_Titles set Date_Cast = 0, Time_Cast = 0.5 where ID_Cast = 25"},
        // A time of more than three days, while another station holds a
        // time that cannot be read.
        {3.4, false, true, 0, {"25"}, D + 2, "update Cast_Titles set Time_Cast = 'xyz' where ID_Cast = 24",
         "The station 24 of the cruise CRUISE 2 is left out of the duplicate search, as its Time_Cast cannot be read: "},
        {10.0 / 24, true, true, 0, {"25"}}, {10.0 / 24, true, false, 0, {"25"}},
    };
    for (const TCase &K : Cases) {
        StationSql("update Cast_Titles set Date_Cast = " + SqlExactFloat(K.Date) + ", Time_Cast = " +
                   SqlExactFloat(K.Time) + " where ID_Cast in (12, 25)");
        if (!K.Plant.empty())
            StationSql(K.Plant);
        if (K.NoPlace)
            StationSql("update Cast_Titles set Lon = case ID_Cast when 11 then NULL else 0 end, Lat = case ID_Cast "
                       "when 11 then NULL else 0 end, Date_Cast = " + SqlExactFloat(D) + ", Time_Cast = " +
                       SqlExactFloat(10.0 / 24) + " where ID_Cast in (11, 24)");
        DuplicatesEachStation = K.Each;
        SpatialAdditionMin = TemporalAdditionHours = K.Add;
        ClearMissingClimatology();
        Run({1});
        EXPECT_EQ(Candidates(), K.Found) << K.Date << " " << K.Time << " " << K.NoPlace << K.Each << K.Add;
        if (!K.Said.empty())
            EXPECT_NE(MissingClimatologyText().find(K.Said), std::string::npos) << MissingClimatologyText();
    }
}

// A seeded random walk over 2,500 moments with tenths of a second from
// 26 December 1899 on, at positions with all their decimals (the first four
// at the corners of the globe): every station's bit-for-bit copy in another
// cruise is found at a window of 0.
TEST_F(Duplicates, EveryCopyIsFoundWhateverDigitsItsMomentAndPositionHave)
{
    TDemoCruise A, B;
    A.Id = 1, B.Id = 2;
    std::mt19937_64 Rng(3);
    std::uniform_int_distribution<long long> Step(1, 30 * 864000); // tenths of a second
    std::uniform_real_distribution<double> Unit(0.0, 1.0);
    for (long long i = 0, T = -4 * 864000; i < 2500; ++i) {
        T += Step(Rng);
        const long long Day = T >= 0 ? T / 864000 : -((863999 - T) / 864000);
        const double Lon = i < 4 ? (i % 2 ? -180 : 180) : -180 + 360 * Unit(Rng);
        const double Lat = i < 4 ? (i % 3 ? -90 : 90) : -90 + 180 * Unit(Rng);
        A.Stations.push_back(MakeStation(int(100 + i), 1, Lon, Lat, double(Day), double(T - Day * 864000) / 10 / 86400, 5000));
    }
    Open({A, B});
    StationSql("insert into Cast_Titles select ID_Cast + 100000, 2, Date_Cast, Time_Cast, Lon, Lat, Depth, StationName, "
               "Velosity, FLon, FLat, FDT, FD from Cast_Titles where ID_Cruise = 1");
    SelectTests({tstDuplicates});
    DuplicatesEachStation = true;
    Run({1});
    EXPECT_EQ(Candidates().size(), 2500u); // every candidate is a copy
}

TEST_F(Duplicates, ACruiseAcrossTheDateLineSearchesTheLongitudesItSpans)
{
    TDemoCruise A, B;
    A.Id = 1, B.Id = 2;
    A.Stations = {MakeStation(11, 1, 179.95, 44.0, D, 0.5, 5000), MakeStation(12, 1, -179.95, 44.2, D, 0.6, 5000)};
    B.Stations = {MakeStation(21, 2, 30.0, 44.1, D, 0.55, 5000),     // the other side of the globe
                  MakeStation(22, 2, -179.99, 44.1, D, 0.55, 5000),  // within the cruise's span
                  MakeStation(23, 2, 180.0, 44.1, D, 0.55, 5000)};   // on the line
    Open({A, B});
    SelectTests({tstDuplicates});
    Run({1});
    EXPECT_EQ(Candidates(), (std::vector<std::string>{"22", "23"}));
    // -180 and 180 are one meridian: a copy written at 180 is found.
    StationSql("update Cast_Titles set Lon = -180 where ID_Cast = 12;"
               "update Cast_Titles set Lat = 44.2, Time_Cast = 0.6 where ID_Cast = 23");
    DuplicatesEachStation = true;
    Run({1});
    EXPECT_EQ(Candidates(), std::vector<std::string>{"23"});
}

TEST_F(Duplicates, EmptyScratchTableTakesNoStationWhateverItsPosition)
{
    OpenPair();
    DuplicatesEachStation = true;
    // Stations far east must not slip into the table made to be empty.
    StationSql("update Cast_Titles set Lon = Lon + 70 where ID_Cruise = 1");
    Run({2});
    EXPECT_TRUE(Candidates().empty());
    EXPECT_EQ(QcCruiseMarks(2), "100000 000000");
}

TEST_F(Duplicates, SkippedInTheAutomaticRunWhenOnlyTheEditorSearches)
{
    OpenPair();
    VisualModeOnly = true;
    Run({1});
    EXPECT_FALSE(DuplicatesQueried());
    // Not marked as run: the search is left to the editor.
    EXPECT_EQ(QcCruiseMarks(1), "000000 000000");
}

// Read-only: none of the run's own writes (a west station's flags zeroed, "dupl"), every cruise checked.
TEST_F(Duplicates, ReadOnlyDatabaseGetsNoWriteOfTheRunAndEveryCruiseChecked)
{
    OpenPair();
    StationSql("update Cast_Titles set Lon = -5.7, FLon = 2, FLat = 2, FDT = 2, FD = 2 where ID_Cast = 12");
    // "Each station" keeps the candidates of every station, not only the first one's.
    StationSql("update Cast_Titles set (Lon, Lat, Date_Cast, Time_Cast) = (select Lon, Lat, Date_Cast, Time_Cast from "
               "Cast_Titles where ID_Cast = 12) where ID_Cast = 24");
    const std::string Stored = "select (select count(*) from sqlite_master), * from Cast_Titles order by ID_Cast";
    const TRows Before = StationRows(Stored);
    Conn->SetConnected(false);
    std::filesystem::permissions(DbPath, std::filesystem::perms::owner_write, std::filesystem::perm_options::remove);
    Conn->SetConnected(true);
    SelectTests({tstDuplicates, tstDepth});
    DuplicatesEachStation = true;
    SpatialAdditionMin = TemporalAdditionHours = 1;
    Run();
    EXPECT_EQ(QcCruiseMarks(1) + QcCruiseMarks(2), "100100 100000100100 100000");
    EXPECT_EQ(StationRows(Stored), Before);
    EXPECT_EQ(Candidates(), (std::vector<std::string>{"11", "12"})); // of cruise 2, the last searched
}

// ---- Esc -------------------------------------------------------------------------

TEST_F(StationChecks, EscAtTheSecondStationStopsWithoutMerging)
{
    TDemoCruise C;
    C.Id = 4;
    C.Stations = {MakeStation(401, 4, 31.0, 44.0, D, 0.25, 5000), MakeStation(402, 4, 31.1, 44.0, D, 0.3, 5000),
                  MakeStation(403, 4, 31.2, 44.0, D, 0.35, 5000)};
    Open({C});
    SelectTests({tstLocation, tstDepth});
    RunWithEscDuringFirstStation();
    EXPECT_EQ(Dialogs->Texts(), std::vector<std::string>{"Quality chek procedure was interrupted"});
    EXPECT_TRUE(QcInterrupted);
    EXPECT_FALSE(AbortRequested);
    EXPECT_FALSE(QcRunFinished);
    EXPECT_TRUE(CastFlagRows().empty());
    EXPECT_EQ(QcCruiseMarks(4), "000000 000000");
}

} // namespace
} // namespace qctest
