// Level checks: one profile per rule, with the exact rows they leave in
// "-PTS_DataFlags" (ID_Cast, PRES, FPRES, FTEMP, FPSAL) or a chemical
// parameter's "-<P>flags" table, and the station parameter list.
#include "tests/app_qc/qc_fixture.h"

#include "app/ReinRoss.h"
#include "app/UQC.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/localdb/TQuery.h"

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
    OpenProfile(504, {{10, 14.75, 18.25}, {10.04, 14.75, 18.25}, {1500, 5.0, 22.25}, {2000, 4, 22.5}, {2500, 4, 22.5}});
    SelectTests({tstDataClimat});
    Run();
    EXPECT_EQ(Pts(), (TRows{{"504", "10", "4", "1", "1"},
                            {"504", "1500", "1", "1", "1"},
                            {"504", "2000", "0", "0", "0"},
                            {"504", "2500", "0", "0", "0"}}));
}

TEST_F(LevelChecks, OperatorsFivesAndMissingValuesStay)
{
    OpenProfile(505, {{10, 30.0, 18.25}, {20, std::nullopt, 18.5}, {50, 13.75, 19.0}, {100, 12.5, 19.5}});
    StationSql("update PTS_Data set FTEMP = 5 where PRES = 10");
    StationSql("update PTS_Data set FPRES = 5 where PRES = 50");
    SelectTests({tstDataClimat, tstDataSpike});
    Run();
    EXPECT_EQ(Pts(), (TRows{{"505", "10", "1", "5", "1"},
                            {"505", "20", "1", "9", "1"},
                            {"505", "50", "5", "1", "1"},
                            {"505", "100", "1", "1", "1"}}));
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
    Run();
    EXPECT_EQ(Pts(), (TRows{{"510", "10", "0", "0", "0"}, {"510", "20", "0", "0", "0"}}));
    EXPECT_EQ(QcCruiseMarks(51), "000010 000000");
}

class ChemLevels : public LevelChecks {
protected:
    void OpenNitrate()
    {
        TDemoCruise C;
        C.Id = 52;
        C.Params = {"PRESS", "TEMP", "PSAL", "NO3"};
        demogen::TDemoStation S = MakeStation(520, 52, 33.0, 44.0, D, 0.5, FixtureSeaDepth,
                                              {{10, 14.75, 18.25}, {20, 14.5, 18.5}, {50, 13.75, 19.0}});
        S.Chem = {{"NO3", {{10, 5.0}, {20, 15.0}, {50, std::nullopt}}}};
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
    Run();
    EXPECT_EQ(LevelFlagRows("NO3flags"),
              (TRows{{"520", "10", "1", "1"}, {"520", "20", "1", "2"}, {"520", "50", "1", "9"}}));
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
    EXPECT_EQ(Pts().size(), 3u); // the PTS parameters are merged as usual
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
