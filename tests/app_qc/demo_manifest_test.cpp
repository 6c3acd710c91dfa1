// The demo database checked with all six tests and the installation's
// settings, grid, squares, contour and staged climatology: every fault of
// its manifest is flagged at its station, level and parameter, and nothing
// else gets a flag of 2 or more.
#include "tests/app_qc/qc_fixture.h"

#include "app/Globals.h"
#include "app/UQC.h"
#include "app/manual/Isolines.h"
#include "app/manual/map.h"
#include "platform/rtl/SysUtils.h"
#include "tools/demogen/TDemoGenerator.h"
#include "tools/demogen/TDemoStationDb.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace qctest {
namespace {

std::string PresKey(double Pres)
{
    char Buf[32];
    std::snprintf(Buf, sizeof Buf, "%.1f", RoundPres(Pres));
    return Buf;
}

// The build's demo database, and small ones of other seeds made here: the
// manifest must hold whatever the seed.
struct TDemoCase {
    const char *Name;
    demogen::TDemoSize Size;
    uint64_t Seed; // 0: the build's demo database
};

void PrintTo(const TDemoCase &C, std::ostream *Os) { *Os << C.Name; }

class DemoDatabase : public QcEngineTest, public ::testing::WithParamInterface<TDemoCase> {
protected:
    void SetUp() override
    {
        QcEngineTest::SetUp();
        Program = std::string(std::getenv("MARLIN_PROGRAM_DIR")) + "/";
        if (GetParam().Seed == 0) {
            fs::copy_file(Program + "demo/marlin_demo.mdb", DbPath);
            Manifest = demogen::TDemoStationDb::ReadManifest(Program + "demo/marlin_demo-faults.txt");
        } else {
            const demogen::TDemoInputs Inputs = demogen::TDemoInputs::Load(Program);
            demogen::TDemoStationDb::Write(
                demogen::TDemoGenerator(Inputs, GetParam().Size, GetParam().Seed).Generate(Manifest), DbPath);
        }
        // The installation's work folder, with its climatology loaded.
        fs::copy_file(Program + "SoftDB/worktables.sqlite3", WorkDir + "worktables.sqlite3");
        LoadGrid(Program + "Maps/out.grd", DepthGrid);
        LoadSquares(Program + "Cfg/QuadrHMS.txt", BsSquareNames, BsSquares);
        LoadSquares(Program + "Cfg/QuadrMedClim.txt", MsSquareNames, MsSquares);
        ExtraLinesFile = Program + "QCCont/ALL_.bln";
        BuildLocationRegion();
        // The installation's thresholds (updowns.txt) and all six tests.
        SpatialAdditionMin = 0;
        TemporalAdditionHours = 0;
        VelocityLimitKnots = 12;
        NStdDev = 3;
        DepthTolerancePct = 10;
        SelectTests({0, 1, 2, 3, 4, 5});
    }
    std::string Program;
    std::vector<demogen::TDemoFinding> Manifest;
};

TEST_P(DemoDatabase, EveryFaultOfTheManifestAndNothingElse)
{
    Attach();
    Run();
    ASSERT_TRUE(QcRunFinished);
    EXPECT_TRUE(Dialogs->Texts().empty()) << (Dialogs->Texts().empty() ? "" : Dialogs->Texts()[0]);

    // Flags as the run left them.
    std::map<std::string, std::vector<int>> Casts; // ID_Cast -> FLon FLat FDT FD
    for (const auto &R : CastFlagRows())
        Casts[R[1]] = {std::stoi(R[2]), std::stoi(R[3]), std::stoi(R[4]), std::stoi(R[5])};
    std::map<std::string, std::map<std::string, int>> Levels; // cast|pres -> field -> flag
    for (const auto &R : LevelFlagRows("PTS_DataFlags")) {
        const std::string K = R[0] + "|" + PresKey(rtl::StrToFloat(R[1]));
        Levels[K]["PRES"] = R[2] == "<null>" ? 0 : std::stoi(R[2]);
        Levels[K]["TEMP"] = R[3] == "<null>" ? 0 : std::stoi(R[3]);
        Levels[K]["PSAL"] = R[4] == "<null>" ? 0 : std::stoi(R[4]);
    }
    ASSERT_FALSE(Casts.empty());
    ASSERT_FALSE(Levels.empty());

    std::set<std::string> Explained; // cast|field or cast|pres|field
    static const std::map<std::string, int> FieldIndex = {{"FLon", 0}, {"FLat", 1}, {"FDT", 2}, {"FD", 3}};
    auto Station = [&](const demogen::TDemoFinding &F, const std::string &Field, int Want, bool AtLeast = false) {
        const std::string Cast = std::to_string(F.IdCast);
        Explained.insert(Cast + "|" + Field);
        ASSERT_TRUE(Casts.count(Cast)) << F.Key();
        const int Got = Casts[Cast][size_t(FieldIndex.at(Field))];
        if (AtLeast)
            EXPECT_GE(Got, Want) << F.Key() << " " << Field;
        else
            EXPECT_EQ(Got, Want) << F.Key() << " " << Field;
    };
    auto Level = [&](const demogen::TDemoFinding &F, const std::string &Field, int Want, bool AtLeast = false) {
        const std::string K = std::to_string(F.IdCast) + "|" + PresKey(*F.Pres);
        Explained.insert(K + "|" + Field);
        ASSERT_TRUE(Levels.count(K)) << F.Key();
        const int Got = Levels[K][Field];
        if (AtLeast)
            EXPECT_GE(Got, Want) << F.Key() << " " << Field;
        else
            EXPECT_EQ(Got, Want) << F.Key() << " " << Field;
    };
    std::set<std::string> Kinds; // planted kinds the run was checked for
    for (const demogen::TDemoFinding &F : Manifest) {
        if (F.Cause == "planted" && F.Param != "NO3" && F.Param != "DOX1")
            Kinds.insert(F.Kind);
        if (F.Kind == "land") {
            Station(F, "FLon", 3);
            Station(F, "FLat", 3);
        } else if (F.Kind == "speed") {
            Station(F, "FLon", 3);
            Station(F, "FLat", 3);
            Station(F, "FDT", 3, true);
        } else if (F.Kind == "time") {
            Station(F, "FDT", 4);
        } else if (F.Kind == "depth") {
            Station(F, "FD", 3);
        } else if (F.Kind == "nodepth") {
            Station(F, "FD", 0);
        } else if (F.Kind == "duplicate") {
            EXPECT_EQ(QcCruiseMarks(F.IdCruise).substr(7, 1), "1") << F.Key();
        } else if (F.Kind == "bottom") {
            Level(F, "PRES", 3);
        } else if (F.Kind == "repeated") {
            Level(F, "PRES", 4);
        } else if (F.Kind == "range") {
            Level(F, F.Param, 2, true);
        } else if (F.Kind == "spike") {
            Level(F, F.Param, 4);
        } else if (F.Kind == "inversion") {
            Level(F, "TEMP", 3, true);
            Level(F, "PSAL", 3, true);
        } else if (F.Kind == "missing") {
            // Chemistry without climatology is not checked.
            if (F.Param == "TEMP" || F.Param == "PSAL")
                Level(F, F.Param, 9);
        } else {
            ADD_FAILURE() << "unknown kind " << F.Kind;
        }
    }
    // Every size of database plants every kind of fault.
    EXPECT_EQ(Kinds, (std::set<std::string>{"duplicate", "land", "speed", "time", "depth", "nodepth", "bottom", "range",
                                            "spike", "inversion", "repeated", "missing"}));
    for (const auto &[Cast, Flags] : Casts)
        for (const auto &[Field, Index] : FieldIndex)
            if (Flags[size_t(Index)] >= 2) {
                EXPECT_TRUE(Explained.count(Cast + "|" + Field)) << "station " << Cast << " " << Field << " "
                                                                 << Flags[size_t(Index)];
            }
    for (const auto &[Key, Fields] : Levels)
        for (const auto &[Field, Flag] : Fields) {
            if (Flag >= 2 && !Explained.count(Key + "|" + Field))
                ADD_FAILURE() << "level " << Key << " " << Field << " " << Flag;
        }
}

INSTANTIATE_TEST_SUITE_P(Seeds, DemoDatabase,
                         ::testing::Values(TDemoCase{"BuildsDemo", demogen::TDemoSize::Demo, 0},
                                           TDemoCase{"TinySeed2", demogen::TDemoSize::Tiny, 2},
                                           TDemoCase{"TinySeed3", demogen::TDemoSize::Tiny, 3}),
                         [](const ::testing::TestParamInfo<TDemoCase> &I) { return std::string(I.param.Name); });

} // namespace
} // namespace qctest
