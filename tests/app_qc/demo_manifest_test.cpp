// The demo database checked with all six tests and the installation's
// settings, grid, squares, contour and staged climatology: every fault of
// its manifest is flagged at its station, level and parameter, and nothing
// else gets a flag of 2 or more.
#include "tests/app_qc/qc_fixture.h"

#include "app/Globals.h"
#include "app/UQC.h"
#include "app/manual/Isolines.h"
#include "app/manual/map.h"
#include "app/ReinRoss.h"
#include "tools/demogen/TDemoClimatology.h"
#include "tools/demogen/TDemoStationDb.h"

#include <algorithm>
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

class DemoDatabase : public QcEngineTest {
protected:
    void SetUp() override
    {
        QcEngineTest::SetUp();
        Program = std::string(std::getenv("MARLIN_PROGRAM_DIR")) + "/";
        fs::copy_file(Program + "demo/marlin_demo.mdb", DbPath);
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
    // The manifest's climatic verdicts interpolate the climatic profile
    // linearly (and hold it beyond the deepest level), the program by
    // Reiniger-Ross. A level whose value lies inside one band and outside
    // the other is judged differently by the two for that reason alone.
    bool InterpolationsDisagree(const std::string &Cast, double Pres, const std::string &Param)
    {
        if (Clim.RowCount() == 0)
            for (const char *F : {"Clim/BlackSea_TS.txt", "Clim/Mediterranean_TS.txt"})
                Clim.Load(Program + F);
        const TRows St = StationRows("select Lon, Lat, Date_Cast from Cast_Titles where ID_Cast = " + Cast);
        const TRows Lv = StationRows("select PRES, " + Param + " from PTS_Data where ID_Cast = " + Cast);
        if (St.empty())
            return false;
        const std::string Square = FindSquare(std::stod(St[0][0]), std::stod(St[0][1]));
        int Y = 0, M = 0, Dd = 0;
        rtl::DecodeDate(std::stod(St[0][2]), Y, M, Dd);
        const demogen::TDemoClimatology::TProfile *P = Clim.Profile(Param, Square, M);
        if (!P || P->size() < 2)
            return false;
        for (const auto &L : Lv) {
            if (L[1] == "<null>" || PresKey(std::stod(L[0])) != PresKey(Pres))
                continue;
            const double V = std::stod(L[1]);
            double Mean = 0, Sd = 0;
            demogen::TDemoClimatology::At(*P, Pres, Mean, Sd);
            const bool InLinear = Mean - NStdDev * Sd <= V && V <= Mean + NStdDev * Sd;
            TRealArr Lev, Mn, St2;
            for (const auto &C : *P) {
                Lev.push_back(C.Pres);
                Mn.push_back(C.Mean);
                St2.push_back(C.Std);
            }
            const uint16_t N = uint16_t(Lev.size() - 1);
            const double RMean = InterpolateReinRoss(Lev, Mn, N, Pres), RSd = InterpolateReinRoss(Lev, St2, N, Pres);
            const bool InRoss = RMean - NStdDev * RSd <= V && V <= RMean + NStdDev * RSd;
            return InLinear != InRoss;
        }
        return false;
    }
    // The manifest's bottom verdicts take the four nodes whose lower-left
    // one is the node nearest to the station; the program takes the cell
    // that holds the station. A level above the deepest node of one and
    // below that of the other is judged differently for that reason alone.
    bool CellsDisagree(const std::string &Cast, double Pres)
    {
        const TRows St = StationRows("select Lon, Lat from Cast_Titles where ID_Cast = " + Cast);
        if (St.empty())
            return false;
        const double Lon = std::stod(St[0][0]), Lat = std::stod(St[0][1]);
        const int c = XToGridCol(Lon), r = YToGridRow(Lat);
        TGridCell Cell;
        if (c < 0 || c > GridNX - 2 || r < 0 || r > GridNY - 2 || !FindGridCell(Lon, Lat, Cell))
            return false;
        float Own[4];
        GridCellNodes(Cell, Own);
        const double Audit = std::min({DepthGrid[size_t(r)][size_t(c)], DepthGrid[size_t(r)][size_t(c) + 1],
                                       DepthGrid[size_t(r) + 1][size_t(c)], DepthGrid[size_t(r) + 1][size_t(c) + 1]});
        return (-Pres > Audit) != (-Pres > std::min({Own[0], Own[1], Own[2], Own[3]}));
    }
    std::string Program;
    demogen::TDemoClimatology Clim;
};

TEST_F(DemoDatabase, EveryFaultOfTheManifestAndNothingElse)
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
        const std::string K = R[0] + "|" + PresKey(std::stod(R[1]));
        Levels[K]["PRES"] = R[2] == "<null>" ? 0 : std::stoi(R[2]);
        Levels[K]["TEMP"] = R[3] == "<null>" ? 0 : std::stoi(R[3]);
        Levels[K]["PSAL"] = R[4] == "<null>" ? 0 : std::stoi(R[4]);
    }
    ASSERT_FALSE(Casts.empty());
    ASSERT_FALSE(Levels.empty());

    const std::vector<demogen::TDemoFinding> Manifest =
        demogen::TDemoStationDb::ReadManifest(Program + "demo/marlin_demo-faults.txt");
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
    int Checked = 0, Disagreements = 0;
    std::set<int> CellStations;
    for (const demogen::TDemoFinding &F : Manifest) {
        ++Checked;
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
            if (CellsDisagree(std::to_string(F.IdCast), *F.Pres))
                CellStations.insert(F.IdCast);
            else
                Level(F, "PRES", 3);
        } else if (F.Kind == "repeated") {
            Level(F, "PRES", 4);
        } else if (F.Kind == "range") {
            if (InterpolationsDisagree(std::to_string(F.IdCast), *F.Pres, F.Param))
                ++Disagreements;
            else
                Level(F, F.Param, 2, true);
        } else if (F.Kind == "spike") {
            Level(F, F.Param, 4);
        } else if (F.Kind == "inversion") {
            Level(F, "TEMP", 3, true);
            Level(F, "PSAL", 3, true);
        } else if (F.Kind == "missing") {
            if (F.Param == "TEMP" || F.Param == "PSAL")
                Level(F, F.Param, 9);
            else
                --Checked; // chemistry without climatology is not checked
        } else {
            ADD_FAILURE() << "unknown kind " << F.Kind;
        }
    }
    EXPECT_GT(Checked, 300);
    for (const auto &[Cast, Flags] : Casts)
        for (const auto &[Field, Index] : FieldIndex)
            if (Flags[size_t(Index)] >= 2) {
                EXPECT_TRUE(Explained.count(Cast + "|" + Field)) << "station " << Cast << " " << Field << " "
                                                                 << Flags[size_t(Index)];
            }
    for (const auto &[Key, Fields] : Levels)
        for (const auto &[Field, Flag] : Fields) {
            if (Flag < 2 || Explained.count(Key + "|" + Field))
                continue;
            const size_t Bar = Key.find('|');
            if (Flag == 2 && InterpolationsDisagree(Key.substr(0, Bar), std::stod(Key.substr(Bar + 1)), Field)) {
                ++Disagreements;
                continue;
            }
            if (Field == "PRES" && Flag == 3 && CellsDisagree(Key.substr(0, Bar), std::stod(Key.substr(Bar + 1)))) {
                CellStations.insert(std::stoi(Key.substr(0, Bar)));
                continue;
            }
            ADD_FAILURE() << "level " << Key << " " << Field << " " << Flag;
        }
    // The two interpolations part only near the band's edges.
    EXPECT_LT(Disagreements, 60);
    // The two part at a few stations only: those moved onto land, where a
    // cell of the coast lies next to one of the open sea, and those whose
    // bottom fault was planted just below the audit's nodes.
    EXPECT_LT(CellStations.size(), 5u);
}

} // namespace
} // namespace qctest
