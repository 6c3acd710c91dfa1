// The installation files read by the program's own readers, as far as they
// exist: the grid reader, the square files, the coastline drawing, the
// test tree's image lists and state file, and the map axes. Each must take
// its file without a single message. And the climatology as the program's
// range test interpolates it, against the band the demo generator keeps
// its values clear of.
#include "app/Globals.h"
#include "app/ReinRoss.h"
#include "app/manual/CheckTree.h"
#include "app/manual/Isolines.h"
#include "app/manual/Recalcs.h"
#include "app/manual/map.h"
#include "platform/toolkit/TCanvas.h"
#include "platform/toolkit/TDialogs.h"
#include "tests/data/DataTestSupport.h"
#include "tools/demogen/TDemoClimatology.h"
#include "tools/demogen/TDemoGeography.h"

#include <gtest/gtest.h>

namespace {

class ProgramReaders : public ::testing::Test {
protected:
  TScriptedDialogs Script;
  void SetUp() override
  {
    ProgramDir = datatest::ProgramDir().string() + "/";
    MapsDir = ProgramDir + "Maps/";
    CfgDir = ProgramDir + "Cfg/";
    ImgsDir = ProgramDir + "Imgs/";
  }
  void TearDown() override { EXPECT_TRUE(Script.Messages.empty()) << Script.Messages.front().Text; }
};

TEST_F(ProgramReaders, GridReaderTakesTheGridAsOurOwnReaderDoes)
{
  LoadGrid(MapsDir + "out.grd", DepthGrid);
  const demogen::TDemoGrid own = demogen::TDemoGrid::Load(MapsDir + "out.grd");
  ASSERT_EQ(GridNX, 673);
  ASSERT_EQ(GridNY, 241);
  EXPECT_EQ(GridWorldRect.xmin, -14);
  EXPECT_EQ(GridWorldRect.ymax, 50);
  for (int r = 0; r < GridNY; r += 37)
    for (int c = 0; c < GridNX; c += 41)
      EXPECT_EQ(DepthGrid[r][c], own.Node(r, c)) << r << " " << c;
  DepthGrid.clear();
  GridNX = GridNY = 0;
}

TEST_F(ProgramReaders, SquaresFindTheirSeas)
{
  LoadSquares(CfgDir + "QuadrHMS.txt", BsSquareNames, BsSquares);
  LoadSquares(CfgDir + "QuadrMedClim.txt", MsSquareNames, MsSquares);
  EXPECT_EQ(BsSquares.size(), demogen::TDemoSquares::LoadFile(CfgDir + "QuadrHMS.txt").size());
  EXPECT_EQ(MsSquareNames.Count(), static_cast<int>(MsSquares.size()));
  EXPECT_FALSE(FindSquare(34, 43).empty());
  EXPECT_EQ(SeaCode, "BS");
  EXPECT_EQ(FindSquare(19, 35), "M34N018E");
  EXPECT_EQ(SeaCode, "MS");
  EXPECT_EQ(FindSquare(-10, 40), "");
}

TEST_F(ProgramReaders, CoastlineDrawsSeaAndLandWhereTheyAre)
{
  BuildMapColors();
  ZoomStack = {TRealRect{-14, 30, 42, 50}};
  ZoomIndex = 0;
  TBitmap map(561, 201); // ten pixels a degree
  MapScreenRect = TRect{0, 0, 560, 200};
  DrawCoast(map.Canvas());
  EXPECT_EQ(SeaColorIndex, 4);
  auto at = [&](double ALon, double ALat) {
    return map.Canvas().Pixel(static_cast<int>((ALon + 14) * 10), static_cast<int>((50 - ALat) * 10));
  };
  EXPECT_EQ(at(34, 43), MapColors[4]) << "Black Sea";
  EXPECT_EQ(at(18, 35), MapColors[4]) << "Ionian Sea";
  EXPECT_EQ(at(10, 47), MapColors[12]) << "Alps";
  EXPECT_EQ(at(25, 31), MapColors[12]) << "Libyan desert";
}

TEST_F(ProgramReaders, TestTreeTakesItsImagesStateAndItems)
{
  TCheckTree tree(nullptr, CfgDir + "MapTree.ini");
  EXPECT_EQ(tree.ReadIniStatus(), 3);
  tree.LoadImageLists(CfgDir + "qc.img", CfgDir + "2.img");
  EXPECT_EQ(tree.Imgs->Count(), 3);
  EXPECT_EQ(tree.StateImgs->Count(), 5);
  ASSERT_TRUE(tree.LoadFromFile(CfgDir + "QcParams.txt"));
  EXPECT_EQ(tree.NodeCount(), 12);
  EXPECT_EQ(tree.GetFirstNode()->Text(), "Duplicates");
}

TEST_F(ProgramReaders, MapAxesStepWholeDegrees)
{
  InitGeoAxes();
  int unit = -1;
  // The default view, 56 by 20 degrees: the steps closest to a sixth and a
  // fifth of the spans, 10 and 5 degrees, labelled in degrees.
  EXPECT_EQ(GeoAxisStep(56, true, unit), 10);
  EXPECT_EQ(unit, 0);
  EXPECT_EQ(GeoAxisStep(20, false, unit), 5);
  EXPECT_EQ(unit, 0);
}

// Every climatic profile of the installation, at each of its levels, a
// quarter, half and three quarters into each layer and just above its
// deepest level: the program's interval lies between the generator's sure
// and possible bounds there.
TEST_F(ProgramReaders, ClimaticIntervalsLieWithinTheGeneratorsBand)
{
  demogen::TDemoClimatology clim;
  for (const char *f : {"Clim/BlackSea_TS.txt", "Clim/Mediterranean_TS.txt"})
    clim.Load(ProgramDir + f);
  const double n = 3, slack = 1e-9;
  int profiles = 0, points = 0;
  for (const std::string &param : clim.Params())
    for (const std::string &region : clim.Regions())
      for (int month = 1; month <= 12; ++month) {
        const demogen::TDemoClimatology::TProfile *p = clim.Profile(param, region, month);
        if (!p || p->size() < 2)
          continue;
        ++profiles;
        TRealArr levels, means, stds;
        for (const auto &l : *p) {
          levels.push_back(l.Pres);
          means.push_back(l.Mean);
          stds.push_back(l.Std);
        }
        std::vector<double> at;
        for (size_t k = 0; k + 1 < p->size(); ++k)
          for (double w : {0.0, 0.25, 0.5, 0.75})
            at.push_back(levels[k] + w * (levels[k + 1] - levels[k]));
        at.push_back(levels.back() - 0.1);
        for (double x : at) {
          demogen::TDemoClimatology::TBand b;
          ASSERT_TRUE(demogen::TDemoClimatology::Band(*p, x, n, b));
          const uint16_t N = uint16_t(levels.size() - 1);
          const double mean = InterpolateReinRoss(levels, means, N, x), sd = InterpolateReinRoss(levels, stds, N, x);
          const double lo = mean - n * sd, hi = mean + n * sd;
          EXPECT_TRUE(b.AnyLow - slack <= lo && lo <= b.SureLow + slack && b.SureHigh - slack <= hi &&
                      hi <= b.AnyHigh + slack)
              << param << " " << region << " month " << month << " at " << x;
          ++points;
        }
      }
  EXPECT_GT(profiles, 1000);
  EXPECT_GT(points, 50000);
}

} // namespace
