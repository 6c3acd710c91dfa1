// The checks as the manual editor drives them: the error bits and the error
// tree of its station list, the speed written into the station database,
// and a profile checked with the level data taken from the station
// database ("Check full Cruise").
#include "tests/app_qc/qc_fixture.h"

#include "app/UQC.h"
#include "app/manual/map.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TTreeView.h"

#include <cmath>

namespace qctest {
namespace {

using demogen::TDemoCruise;
constexpr double D = FixtureDay;

std::vector<std::string> TreeLines(const TTreeView &Tree)
{
    std::vector<std::string> Lines;
    for (int i = 0; i < Tree.NodeCount(); ++i) {
        const TTreeNode *N = Tree.Node(i);
        Lines.push_back(std::string(size_t(N->Level()) * 2, ' ') + N->Text());
    }
    return Lines;
}

class VisualChecks : public QcEngineTest {
protected:
    void OpenForEditor(std::vector<demogen::TDemoStation> Stations)
    {
        TDemoCruise C;
        C.Id = 1;
        C.Stations = std::move(Stations);
        Open({C});
        CastQ->SQL()->Add("Select * from Cast_Titles where ID_Cruise = 1 order by Date_Cast, Time_Cast");
        CastQ->Open();
        CurCastDataset = CastQ;
        VisualMode = true;
        ErrorsTreeView = &Tree;
        for (TBits *B : {&LocationErrors, &VelocityErrors, &DepthErrors, &ClimErrorPoints, &DensInversionPoints})
            B->SetSize(0);
        ClimErrorFound = SpikeFound = false;
    }
    void TearDown() override
    {
        VisualMode = false;
        ErrorsTreeView = nullptr;
        QcEngineTest::TearDown();
    }
    TTreeView Tree;
};

TEST_F(VisualChecks, MetadataCheckFillsTheErrorTreeAndWritesTheSpeed)
{
    OpenForEditor({MakeStation(101, 1, 31.0, 44.0, D, 0.25, 5000), MakeStation(102, 1, 35.5, 45.5, D + 1, 0.25, 5000),
                   MakeStation(103, 1, 35.6, 44.9, D + 1, 0.25, 5000), MakeStation(104, 1, 35.7, 44.5, D + 2, 0.25, 500)});
    SelectTests({tstLocation, tstVelocity, tstDepth});
    CheckCruiseCasts();
    EXPECT_EQ(TreeLines(Tree), (std::vector<std::string>{"102", "  Possible Location Error", "103",
                                                         "  Possible Velosity Error", "104", "  Possible Depth Error"}));
    EXPECT_TRUE(LocationErrors.Bits(1));
    EXPECT_TRUE(VelocityErrors.Bits(2));
    EXPECT_FALSE(VelocityErrors.Bits(1));
    EXPECT_TRUE(DepthErrors.Bits(3));
    const TRows Speeds = StationRows("select ID_Cast, Velosity from Cast_Titles order by ID_Cast");
    EXPECT_EQ(Speeds[0][1], "<null>"); // the first station has no speed
    EXPECT_EQ(Speeds[2][1], "10000.0");
    EXPECT_NEAR(rtl::StrToFloat(Speeds[1][1]), std::hypot(4.5 * 60 * std::cos(0.6981317007977318), 1.5 * 60) / 24, 1e-9);
    // The flags reach the cruise's flag table as in the automatic run, from
    // a table made afresh for this call.
    EXPECT_EQ(CastFlagRows().size(), 4u);
}

TEST_F(VisualChecks, FullCruiseProfileCheckMarksLevelsAndTree)
{
    OpenForEditor({MakeStation(501, 1, 33.0, 44.0, D, 0.5, 5000,
                               {{10, 14.75, 18.25}, {20, 14.5, 18.5}, {50, 15.9, 19.7}, {100, 12.5, 19.5}})});
    LoadDefaultClim();
    SelectTests({tstDataClimat});
    FullCruiseCheckRunning = true;
    GridDepthValue = EstimateGridDepth();
    FindCastSquare();
    SelectClimatology("TEMP");
    CheckClimaticRange("TEMP");
    FullCruiseCheckRunning = false;
    EXPECT_EQ(TreeLines(Tree), (std::vector<std::string>{"501", "  Possible Data Errors", "    TEMP",
                                                         "      Out Of Climat", "        PRES=50.0 record #3"}));
    EXPECT_TRUE(ClimErrorPoints.Bits(2));
    EXPECT_FALSE(ClimErrorPoints.Bits(1));
    EXPECT_TRUE(ClimErrorFound);
    EXPECT_EQ(CurParamAbr, "TEMP");
    EXPECT_EQ(CurParamTable, "PTS_Data");
    EXPECT_EQ(LevelFlagRows("PTS_DataFlags")[2], (std::vector<std::string>{"501", "50", "1", "2", "<null>"}));
}

} // namespace
} // namespace qctest
