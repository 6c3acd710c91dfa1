// Level checks: one profile per rule, with the exact rows they leave in
// "-PTS_DataFlags" (ID_Cast, PRES, FPRES, FTEMP, FPSAL) or a chemical
// parameter's "-<P>flags" table, and the station parameter list.
#include "tests/app_qc/qc_fixture.h"

#include "app/ReinRoss.h"
#include "app/UQC.h"
#include "app/UQC_Internal.h"
#include "app/WorkTables.h"
#include "app/manual/map.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/localdb/TQuery.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qctest {
namespace {

using demogen::TDemoCruise;
constexpr double D = FixtureDay;

class LevelChecks : public QcEngineTest {
protected:
    // One cruise of one station at 33E 44N (square 7, in the grid, June).
    void OpenProfile(int Cast, const std::vector<TLevel> &Levels, double Lon = 33.0, double Lat = 44.0)
    {
        TDemoCruise C;
        C.Id = Cast / 10;
        C.Stations = {MakeStation(Cast, C.Id, Lon, Lat, D, 0.5, FixtureSeaDepth, Levels)};
        Open({C});
        LoadDefaultClim();
    }
    TRows Pts() { return LevelFlagRows("PTS_DataFlags"); }
};

// The salinity that gives density Rho at temperature T (bisection).
double SalinityFor(double T, double Rho)
{
    double Lo = 5, Hi = 40;
    for (int i = 0; i < 200; ++i) {
        const double Mid = (Lo + Hi) / 2;
        (CalcSeaWaterDensity(T, Mid) < Rho ? Lo : Hi) = Mid;
    }
    return (Lo + Hi) / 2;
}

TEST_F(LevelChecks, ClimaticBandIncludesItsLimits)
{
    OpenProfile(501, {{10, 16.25, 18.25}, {20, 13.0, 17.75}, {50, 15.5, 19.7}, {100, 12.5, 19.5}});
    SelectTests({tstDataClimat});
    Run();
    EXPECT_EQ(Pts(), (TRows{{"501", "10", "1", "1", "1"},
                            {"501", "20", "1", "1", "1"},
                            {"501", "50", "1", "2", "1"},
                            {"501", "100", "1", "1", "1"}}));
    EXPECT_EQ(QcCruiseMarks(50), "000010 000010");
}

TEST_F(LevelChecks, DensityInversionFromAHundredthDown)
{
    const double Rho10 = CalcSeaWaterDensity(14.75, 18.25);
    const double S20 = SalinityFor(14.75, Rho10 - 0.02);
    const double Rho50 = CalcSeaWaterDensity(13.75, 19.0);
    const double S100 = SalinityFor(13.75, Rho50 - 0.005);
    OpenProfile(502, {{10, 14.75, 18.25}, {20, 14.75, S20}, {50, 13.75, 19.0}, {100, 13.75, S100}});
    SelectTests({tstDataClimat});
    Run();
    EXPECT_EQ(Pts(), (TRows{{"502", "10", "1", "1", "1"},
                            {"502", "20", "1", "3", "3"},
                            {"502", "50", "1", "1", "1"},
                            {"502", "100", "1", "1", "1"}}));
    EXPECT_EQ(QcCruiseMarks(50), "000010 000010");
}

TEST_F(LevelChecks, BottomPressureAgainstTheDeepestNodeOfTheStationsCell)
{
    // The station at 33.6E 44.6N lies in the cell of nodes 33..34E,
    // 44..45N, a slope down to 291 m; the nodes nearest to it, taken as a
    // cell, would be a shelf at most 108 m deep two cells north-east.
    const float Own[4] = {-272, -291, 5, -4}, NorthEast[4] = {-108, -107, 10, 4};
    for (int i = 0; i < 4; ++i) {
        SetGridNodes(3 + i % 2, 4 + i / 2, Own[i]);
        SetGridNodes(5 + i % 2, 6 + i / 2, NorthEast[i]);
    }
    OpenProfile(503, {{100, 12.5, 19.5}, {200, 10, 20}, {290, 9.3, 20.3}, {300, 9.3, 20.3}}, 33.6, 44.6);
    SelectTests({tstDataClimat});
    Run();
    EXPECT_EQ(Pts(), (TRows{{"503", "100", "1", "1", "1"},
                            {"503", "200", "1", "1", "1"},
                            {"503", "290", "1", "1", "1"},
                            {"503", "300", "3", "1", "1"}}));
    EXPECT_EQ(QcCruiseMarks(50), "000010 000010");
}

TEST_F(LevelChecks, RepeatedPressureAndLevelsBelowTheClimatology)
{
    OpenProfile(504, {{10, 14.75, 18.25}, {10.04, 14.75, 18.25}, {1500, 5.0, 22.25}, {2000, 4, 22.5}, {2500, 4, 22.5},
                      {3000, 4, std::nullopt}});
    // The operator fixed a pressure at the deepest climatic level and a
    // temperature below it.
    StationSql("update PTS_Data set FPRES = 5 where PRES = 2000");
    StationSql("update PTS_Data set FTEMP = 5 where PRES = 2500");
    StationSql("update PTS_Data set PRES = NULL where PRES = 3000"); // and one lost its pressure
    SelectTests({tstDataClimat});
    Run();
    TRows Expected = {{"504", "<null>", "9", "0", "9"},
                      {"504", "10", "1", "1", "1"},
                      {"504", "1500", "1", "1", "1"},
                      {"504", "2000", "5", "0", "0"},
                      {"504", "2500", "0", "5", "0"}};
    EXPECT_EQ(Pts(), Expected);
    EXPECT_EQ(QcCruiseMarks(50), "000010 000000");
    // The repeated pressure is the spike test's to mark, and the cruise's
    // record says so.
    SelectTests({tstDataClimat, tstDataSpike});
    Run();
    Expected[1][2] = "4";
    EXPECT_EQ(Pts(), Expected);
    EXPECT_EQ(QcCruiseMarks(50), "000011 000001");
    // Checked again without it, the levels lose the spike test's verdict,
    // which is said, and the cruise's record no longer claims the test.
    SelectTests({tstDataClimat});
    ClearMissingClimatology();
    Run();
    EXPECT_EQ(QcCruiseMarks(50), "000010 000000");
    EXPECT_NE(MissingClimatologyText().find("The levels of the cruise CRUISE 50 checked again without the spike test "
                                            "lost the spike flags of its check before"),
              std::string::npos) << MissingClimatologyText();
}

TEST_F(LevelChecks, OperatorsFivesAndMissingOrUnreadableValuesStay)
{
    OpenProfile(505, {{10, 30.0, 18.25}, {20, std::nullopt, 18.5}, {50, 13.75, 19.0}, {60, 13.6, 19.1},
                      {70, 13.5, 19.2}, {80, 13.25, 19.3}, {100, 12.5, 19.5}});
    StationSql("update PTS_Data set FTEMP = 5 where PRES = 10");
    StationSql("update PTS_Data set FPRES = 5 where PRES = 50");
    // Held, but no number: not judged, nor taken for missing, and said; the
    // levels about them are judged as if they were empty (an infinite
    // temperature made no density inversion of the next level).
    StationSql("update PTS_Data set TEMP = 9e999 where PRES = 60");
    StationSql("update PTS_Data set TEMP = 'abc', FTEMP = 2 where PRES = 70");
    StationSql("update PTS_Data set PRES = x'01' where PRES = 80");
    SelectTests({tstDataClimat, tstDataSpike});
    ClearMissingClimatology();
    Run();
    EXPECT_EQ(Pts(), (TRows{{"505", "10", "1", "5", "1"},
                            {"505", "20", "1", "9", "1"},
                            {"505", "50", "5", "1", "1"},
                            {"505", "60", "1", "0", "1"},
                            {"505", "70", "1", "0", "1"},
                            {"505", "100", "1", "1", "1"}}));
    const std::string Said = MissingClimatologyText();
    EXPECT_EQ(Said.rfind("The station 505 is checked without its TEMP at level #4 (PRES=60.0), which cannot be read: [Marlin]"
                         "[ODBC Access Driver] Numeric value out of range: 'Inf' is no finite number. (column TEMP)\nThe "
                         "station 505 is checked without its TEMP at level #5 (PRES=70.0), which cannot be read: ", 0), 0u) << Said;
    EXPECT_NE(Said.find("'abc' is no number"), std::string::npos);
    EXPECT_NE(Said.find("\nThe station 505 is checked without its PRES at level #7, which cannot be read: "),
              std::string::npos);
}

TEST_F(LevelChecks, TwoSidedSpikeMarksTheLevelBetweenTheSteps)
{
    OpenProfile(506, {{10, 14.75, 18.25}, {11, 19.75, 18.25}, {12, 14.7, 18.26}, {13, 14.6, 18.27}});
    SelectTests({tstDataClimat, tstDataSpike});
    Run();
    // Level 11 is also warmer than its band and lighter than the level
    // above: 3 for both, raised to 4 on TEMP by the spike.
    EXPECT_EQ(Pts(), (TRows{{"506", "10", "1", "1", "1"},
                            {"506", "11", "1", "4", "3"},
                            {"506", "12", "1", "1", "1"},
                            {"506", "13", "1", "1", "1"}}));
    EXPECT_EQ(QcCruiseMarks(50), "000011 000011");
}

TEST_F(LevelChecks, OneSidedStepOnlyWhenChosen)
{
    const std::vector<TLevel> Step = {{10, 14.75, 18.25}, {11, 14.7, 18.25}, {12, 18.0, 18.25}};
    OpenProfile(507, Step);
    SelectTests({tstDataClimat, tstDataSpike});
    Run();
    const TRows TwoSided = Pts();
    OneSideChange = true;
    CheckCruises();
    EXPECT_EQ(TwoSided, (TRows{{"507", "10", "1", "1", "1"}, {"507", "11", "1", "1", "1"}, {"507", "12", "1", "3", "3"}}));
    EXPECT_EQ(Pts(), (TRows{{"507", "10", "1", "1", "1"}, {"507", "11", "1", "4", "1"}, {"507", "12", "1", "3", "3"}}));
}

TEST_F(LevelChecks, SpikeTestPassesOverAFixedLevel)
{
    OpenProfile(509, {{10, 14.75, 18.25}, {11, 19.75, 18.25}, {12, 14.7, 18.26}, {13, 14.6, 18.27}});
    StationSql("update PTS_Data set FTEMP = 5 where PRES = 11");
    SelectTests({tstDataClimat, tstDataSpike});
    Run();
    EXPECT_EQ(Pts(), (TRows{{"509", "10", "1", "1", "1"},
                            {"509", "11", "1", "5", "3"},
                            {"509", "12", "1", "1", "1"},
                            {"509", "13", "1", "1", "1"}}));
}

TEST_F(LevelChecks, NoClimatologyForTheMonthLeavesEveryLevelUnjudged)
{
    OpenProfile(510, {{10, 14.75, 18.25}, {20, 14.5, 18.5}});
    StationSql("update Cast_Titles set Date_Cast = Date_Cast + 31"); // July
    SelectTests({tstDataClimat});
    ClearMissingClimatology();
    Run();
    EXPECT_EQ(Pts(), (TRows{{"510", "10", "0", "0", "0"}, {"510", "20", "0", "0", "0"}}));
    EXPECT_EQ(QcCruiseMarks(51), "000000 000000"); // no level judged: the cruise stays unchecked
    const std::string Month = " in the Black Sea has no profile for the square and month of 1 station: its 2 levels";
    EXPECT_EQ(MissingClimatologyText(),
              "Climat for TEMP" + Month + " are not checked\nClimat for PSAL" + Month + " are not checked");
    // A date that cannot be read is said once, as such.
    StationSql("update Cast_Titles set Date_Cast = 9e999");
    ClearMissingClimatology();
    Run();
    EXPECT_EQ(MissingClimatologyText().find("Climat for"), std::string::npos) << MissingClimatologyText();
    EXPECT_EQ(MissingClimatologyText().rfind("The station 510 of the cruise CRUISE 51 is checked without its Date_Cast", 0),
              0u);
}

TEST_F(LevelChecks, ACruiseOfOneLevelProfilesIsCheckedForSpikes)
{
    OpenProfile(508, {{10, 14.75, 18.25}});
    SelectTests({tstDataClimat, tstDataSpike});
    Run();
    EXPECT_EQ(QcCruiseMarks(50), "000011 000000");
}

TEST_F(LevelChecks, EachStationIsCheckedForTheParametersItLists)
{
    TDemoCruise A, B;
    A.Id = 52;
    A.Stations = {MakeStation(520, 52, 33.0, 44.0, D, 0.25, FixtureSeaDepth, {{10, 14.75, 18.25}}),
                  MakeStation(521, 52, 33.1, 44.0, D, 0.5, FixtureSeaDepth, {{10, 14.75, 18.25}, {20, 14.5, 18.5}})};
    B.Id = 53;
    B.Stations = {MakeStation(530, 53, 33.2, 44.0, D, 0.75, FixtureSeaDepth, {{10, 14.75, 18.25}})};
    Open({A, B});
    LoadDefaultClim();
    // The first station of 52 lists none; no station of 53 does.
    StationSql("delete from Parameters where ID_Cast in (520, 530)");
    SelectTests({tstDataClimat});
    ClearMissingClimatology();
    Run();
    EXPECT_EQ(Pts(), (TRows{{"521", "10", "1", "1", "1"}, {"521", "20", "1", "1", "1"}}));
    EXPECT_EQ(MissingClimatologyText(),
              "The station 520 of the cruise CRUISE 52 lists no parameter in Parameters: its levels are not checked\n"
              "No station of the cruise CRUISE 53 lists a parameter in Parameters: its levels are not checked");
    // The report does not tick the data checks of a cruise they did not reach.
    EXPECT_EQ(QcCruiseMarks(52), "000010 000000");
    EXPECT_EQ(QcCruiseMarks(53), "000000 000000");
}

// A station no square places has no level verdict and is named with why;
// a cruise is marked for a data test only where it judged a level of it,
// or where the verdicts of a pass before hold.
// The squares: the fixture's; the Mediterranean file refused; the Black Sea
// file refused, a Mediterranean square over the whole of square 7.
TEST_F(LevelChecks, StationsNoSquarePlacesAreNamedAndLeaveTheirCruiseUnmarked)
{
    const std::vector<TLevel> L = {{10, 14.75, 18.25}, {20, 14.5, 18.5}};
    TDemoCruise A, B;
    A.Id = 54, B.Id = 55;
    A.Stations = {MakeStation(540, 54, 33, 44, D, 0.25, 5000, L), MakeStation(541, 54, 180, 45, D, 0.5, 5000, L)};
    B.Stations = {MakeStation(550, 55, 33, 90, D, 0.25, 5000, L), MakeStation(551, 55, 33, -90, D, 0.5, 5000, L)};
    Open({A, B});
    LoadDefaultClim();
    SelectTests({tstDataClimat, tstDataSpike});
    std::ofstream(Dir + "QuadrHMS.txt") << "30 40 x 50 7\n";
    const std::string Ids = " are not checked (ID_Cast 541, 550, 551)", Was = " was refused: the levels of the stations in ";
    const std::string Cases[][4] = {
        {"", "", "The levels of the stations in no QC square" + Ids, "000011"},
        {"QuadrMedClim.txt", "30 40 x", Dir + "QuadrMedClim.txt" + Was + "no square read" + Ids, "000011"},
        {"QuadrHMS.txt", "30 40 45 50 M7", Dir + "QuadrHMS.txt" + Was + "no square read" + Ids + "\n" + Dir +
             "QuadrHMS.txt" + Was + "a Mediterranean square are not checked either, as a Black Sea square, looked up "
             "first, may hold them (ID_Cast 540)", "000011"}}; // the pass before's verdicts hold
    for (const auto &[File, MsText, Said, Marks] : Cases) {
        std::ofstream(Dir + "QuadrMedClim.txt") << MsText << "\n";
        if (!File.empty())
            EXPECT_THROW({ // the Black Sea file only where the other is read
                LoadSquares(Dir + "QuadrMedClim.txt", MsSquareNames, MsSquares);
                LoadSquares(Dir + File, BsSquareNames, BsSquares);
            }, EInOutError);
        ClearMissingClimatology();
        CheckCruises();
        EXPECT_EQ(MissingClimatologyText(), Said);
        EXPECT_EQ(QcCruiseMarks(54) + "|" + QcCruiseMarks(55), Marks + " 000000|000000 000000");
    }
    RefusedSquareFiles.clear();
}

TEST_F(LevelChecks, ALongListOfStationsInNoSquareIsWholeInAFile)
{
    TDemoCruise A;
    A.Id = 56;
    for (int I = 0; I < 23; ++I) // east of square 7
        A.Stations.push_back(MakeStation(5600 + I, 56, 46, 44, D + I, 0.5, 5000, {{10, 14.75, 18.25}}));
    Open({A});
    LoadDefaultClim();
    SelectTests({tstDataClimat});
    ClearMissingClimatology();
    Run();
    const std::string File = WorkDir + DbTablePrefix + "-NotChecked.txt";
    EXPECT_EQ(MissingClimatologyText().substr(MissingClimatologyText().find("5619, ... (23 in all)")),
              "5619, ... (23 in all))\nThe lists cut short above are whole in the file " + File);
    std::stringstream Kept;
    Kept << std::ifstream(File).rdbuf();
    EXPECT_NE(Kept.str().find("5620, 5621, 5622)"), std::string::npos) << Kept.str();
    // A short list leaves no file of an earlier one behind.
    StationSql("delete from Cast_Titles where ID_Cast > 5601");
    ClearMissingClimatology();
    Run();
    EXPECT_EQ(MissingClimatologyText(), "The levels of the stations in no QC square are not checked (ID_Cast 5600, 5601)");
    EXPECT_FALSE(std::filesystem::exists(File));
}

// ---- the verdict on one level -------------------------------------------------

// The rules of the level checks that the profiles above do not reach, one
// level each, after the levels the memory stands for. The climatic interval
// is 10..20 unless a case gives its own; the climatology reaches 1000 dbar,
// the grid's deepest node about the station 2000 m.
TEST(LevelVerdict, EveryRuleOnOneLevel)
{
    const TProfileMemory After40{.HavePrev = true, .PrevTenth = 40, .PrevPresFlag = 1};
    const TProfileMemory AfterFixed{.HavePrev = true, .PrevTenth = 40, .PrevPresFlag = 5};
    const TProfileMemory Denser{
        .HavePrev = true, .PrevTenth = 40, .PrevPresFlag = 1, .PrevDensity = CalcSeaWaterDensity(10, 20) + 0.02};
    // The spike test ran on 39 (value 14) and 40 (value 19).
    const TProfileMemory Rise{.HavePrev = true, .PrevTenth = 40, .PrevPresFlag = 1, .SpikeRuns = 2, .SpikeValue = 19,
                              .SpikePres = 40, .Dv = 5, .Dp = 1};

    struct TWant {
        int Pres, Param;
        std::string Marks;
    };
    struct TCase {
        const char *Rule;
        TLevelIn In;
        TProfileMemory Memory{};
        TClimBand Band{true, 10, 20};
        bool Spikes = false, Density = false;
        double Bottom = -2000;
        TWant Want;
    };
    const TLevelIn NoSalinity{.Pres = 50, .Value = 15, .Temp = 10, .Psal = 20, .TempEmpty = false};
    const TCase Cases[] = {
        {.Rule = "stored verdicts are judged afresh", .In = {.Pres = 50, .Value = 15, .PresFlag = 3, .ParamFlag = 2},
         .Want = {1, 1, "band"}},
        {.Rule = "outside the grid: no bottom", .In = {.Pres = 600, .Value = 15}, .Bottom = NAN,
         .Want = {0, 1, "band"}},
        {.Rule = "a fixed pressure is not judged", .In = {.Pres = 600, .Value = 15, .PresFlag = 5}, .Bottom = -500,
         .Want = {5, 1, "band"}},
        {.Rule = "no interval (lo = hi)", .In = {.Pres = 50, .Value = 15}, .Band = {true, 15, 15}, .Want = {1, 0, ""}},
        {.Rule = "no interval to be had", .In = {.Pres = 50, .Value = 15}, .Band = {false}, .Want = {1, 0, ""}},
        {.Rule = "at the deepest climatic level", .In = {.Pres = 1000, .Value = 25, .PresFlag = 3, .ParamFlag = 2},
         .Want = {0, 0, "beyond"}},
        {.Rule = "below it and the bottom", .In = {.Pres = 1500, .Value = 15}, .Bottom = -500,
         .Want = {0, 0, "climat-error beyond"}},
        {.Rule = "no salinity, no density", .In = NoSalinity, .Memory = Denser, .Density = true,
         .Want = {1, 1, "band"}},
        {.Rule = "two large steps of one sign", .In = {.Pres = 41, .Value = 24}, .Memory = Rise, .Band = {true, 0, 40},
         .Spikes = true, .Want = {1, 1, "band"}},
        {.Rule = "a fixed value is no step", .In = {.Pres = 41, .Value = 14, .ParamFlag = 5}, .Memory = Rise,
         .Spikes = true, .Want = {1, 5, ""}},
        {.Rule = "the same as a fixed pressure", .In = {.Pres = 40.04, .Value = 15}, .Memory = AfterFixed,
         .Spikes = true, .Want = {0, 0, "skip"}},
        {.Rule = "a tenth apart", .In = {.Pres = 40.06, .Value = 15}, .Memory = After40, .Spikes = true,
         .Want = {1, 1, "band"}},
    };
    for (const TCase &C : Cases) {
        TLevelRules Rules{.SpikeTest = C.Spikes,
                          .SpikeThreshold = 1,
                          .DensityTest = C.Density,
                          .HaveBottom = !std::isnan(C.Bottom),
                          .BottomMin = C.Bottom,
                          .DeepestClimLevel = 1000};
        TProfileMemory Memory = C.Memory;
        const TLevelVerdict V = JudgeLevel(Rules, C.In, Memory, [&C](double) { return C.Band; });
        std::string Marks;
        const auto Mark = [&Marks](bool On, const std::string &Word) {
            if (On)
                Marks += (Marks.empty() ? "" : " ") + Word;
        };
        Mark(V.Skipped, "skip");
        Mark(V.DensityCompared, "density");
        Mark(V.BandCompared, "band");
        Mark(V.RepeatMark, "repeat@" + rtl::FloatToStr(V.PrevTenth));
        Mark(V.SpikeMark, "spike@" + rtl::FloatToStr(V.SpikeAt));
        Mark(V.ClimatError, "climat-error");
        Mark(V.SpikeError, "spike-error");
        Mark(V.BeyondClimat, "beyond");
        EXPECT_EQ(V.Skipped ? 0 : V.PresFlag, C.Want.Pres) << C.Rule;
        EXPECT_EQ(V.Skipped ? 0 : V.ParamFlag, C.Want.Param) << C.Rule;
        EXPECT_EQ(Marks, C.Want.Marks) << C.Rule;
    }
}

class ChemLevels : public LevelChecks {
protected:
    void OpenNitrate()
    {
        TDemoCruise C;
        C.Id = 52;
        C.Params = {"PRESS", "TEMP", "PSAL", "NO3"};
        demogen::TDemoStation S = MakeStation(520, 52, 33.0, 44.0, D, 0.5, FixtureSeaDepth,
                                              {{10, 14.75, 18.25}, {20, 14.5, 18.5}, {50, 13.75, 19.0}, {2500, 3.9, 22.6}});
        S.Chem = {{"NO3", {{10, 5.0}, {20, 15.0}, {50, std::nullopt}, {2500, 5.0}}}};
        C.Stations = {S};
        Open({C});
        LoadDefaultClim();
        TQuery Q;
        Q.SetDatabaseName(WorkDir);
        Q.SQL().Add("Update param set QC = True where Param = 'NO3'");
        Q.ExecSQL();
        ParamQ->Close();
        ParamQ->Open();
        SelectTests({tstDataClimat});
    }
};

TEST_F(ChemLevels, BlackSeaChemistryIsJudgedAgainstItsRange)
{
    OpenNitrate();
    // Checked alone (no climatic profile read before it), then after TEMP and PSAL (to 2000 dbar).
    const TRows Judged = {{"520", "10", "1", "1"}, {"520", "20", "1", "2"}, {"520", "50", "1", "9"}, {"520", "2500", "1", "1"}};
    for (const char *P : {"TEMP", "PSAL"})
        ParamDisplayList.Delete(ParamDisplayList.IndexOf(P));
    Run();
    EXPECT_EQ(LevelFlagRows("NO3flags"), Judged);
    ParamDisplayList.Add("TEMP");
    ParamDisplayList.Add("PSAL");
    ClearMissingClimatology();
    Run();
    EXPECT_EQ(LevelFlagRows("NO3flags"), Judged);
    const std::string Deep = " in the Black Sea does not reach 1 level of 1 station: it is not checked";
    EXPECT_EQ(MissingClimatologyText(), "Climat for TEMP" + Deep + "\nClimat for PSAL" + Deep);
    // A parameter BS_Range has no range for gets no verdict, and is said.
    TQuery Q;
    Q.SetDatabaseName(WorkDir);
    Q.SQL().Add("Delete from BS_Range where param = 'NO3'");
    Q.ExecSQL();
    ClearMissingClimatology();
    Run();
    EXPECT_EQ(LevelFlagRows("NO3flags"),
              (TRows{{"520", "10", "0", "0"}, {"520", "20", "0", "0"}, {"520", "50", "0", "9"}, {"520", "2500", "0", "0"}}));
    EXPECT_EQ(MissingClimatologyText(), "Climat for TEMP" + Deep + "\nClimat for PSAL" + Deep +
                                            "\nBS_Range has no range for NO3: its levels at 1 station are not checked");
    // Pressure (PRESS) is the axis, never an entry: TEMP PSAL DENS NO3.
    ASSERT_EQ(ParamList.Count(), 4);
    EXPECT_EQ(ParamList[3], "NO3");
}

TEST_F(ChemLevels, MissingFlagTableIsAMergeFailure)
{
    OpenNitrate();
    ChemParamList.Delete(0); // NO3: no flag table among the checked ones
    ChemFlagTbls.erase(ChemFlagTbls.begin());
    Run();
    EXPECT_TRUE(LevelFlagRows("NO3flags").empty());
    EXPECT_EQ(Dialogs->Texts(), std::vector<std::string>{"NO3"});
    EXPECT_EQ(Pts().size(), 4u); // the PTS parameters are merged as usual
}

// A level table without its flag column: the run stops naming it in words.
TEST_F(ChemLevels, AMissingFlagColumnIsNamedInWords)
{
    OpenNitrate();
    StationSql("alter table NO3 drop column FNO3");
    EXPECT_THROW(try { Run(); } catch (const std::exception &E) {
        EXPECT_EQ(std::string(E.what()).rfind("The table NO3 of the station database has no column FNO3", 0), 0u);
        throw;
    }, std::exception);
}

// ---- station parameter list ----------------------------------------------------

class ParamListOrder : public QcEngineTest {
protected:
    void Build(const std::vector<std::string> &Abbrs)
    {
        TDemoCruise C;
        C.Id = 6;
        C.Stations = {MakeStation(601, 6, 33.0, 44.0, D, 0.5, FixtureSeaDepth)};
        Open({C});
        StationSql("delete from Parameters");
        for (const std::string &A : Abbrs)
            StationSql("insert into Parameters values (601, '" + A + "', 'NAME " + A + "', 'U')");
        CastQ->SQL()->Add("Select * from Cast_Titles where ID_Cruise = 6");
        CastQ->Open();
        CurCastDataset = CastQ;
        BuildParamList();
    }
    std::string Listed()
    {
        std::string S;
        for (int i = 0; i < ParamList.Count(); ++i)
            S += (i ? " " : "") + ParamList[i] + (ParamsToCheck.Bits(i) ? "+" : "-");
        return S;
    }
};

TEST_F(ParamListOrder, TemperatureAndSalinityFirstThenDensity)
{
    Build({"DOX1", "PSAL", "PRES", "TEMP"});
    EXPECT_EQ(Listed(), "TEMP+ PSAL+ DENS- DOX1-");
}

TEST_F(ParamListOrder, OnlyPressureAndOxygen)
{
    Build({"PRES", "DOX1"});
    EXPECT_EQ(Listed(), "DOX1-");
}

TEST_F(ParamListOrder, UnknownParameterHasItsBitClear)
{
    // XYZ follows TEMP, whose row the local table would otherwise stand on.
    Build({"PRES", "TEMP", "PSAL", "XYZ"});
    EXPECT_EQ(Listed(), "TEMP+ PSAL+ DENS- XYZ-");
}

} // namespace
} // namespace qctest
