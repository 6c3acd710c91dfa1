// Every installation file the program reads at start-up, as the build
// staged it into the program folder: present, in its format, and holding
// what the program relies on. Malformed copies are refused by the readers.
#include "platform/rtl/Classes.h"
#include "platform/rtl/IniFiles.h"
#include "tests/data/DataTestSupport.h"
#include "tools/demogen/TDemoClimatology.h"
#include "tools/demogen/TDemoGeography.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace demogen;

fs::path Prog(const std::string &ARel) { return datatest::ProgramDir() / ARel; }

std::vector<std::string> Lines(const fs::path &APath)
{
  std::ifstream in(APath);
  EXPECT_TRUE(in) << APath;
  std::vector<std::string> out;
  std::string l;
  while (std::getline(in, l)) {
    if (!l.empty() && l.back() == '\r')
      l.pop_back();
    out.push_back(l);
  }
  return out;
}

bool AllDigits(const std::string &AText)
{
  return !AText.empty() && std::all_of(AText.begin(), AText.end(), [](unsigned char c) { return std::isdigit(c); });
}

TEST(InstallationGrid, IsTheFiveMinuteGridOfTheDefaultView)
{
  const TDemoGrid g = TDemoGrid::Load(Prog("Maps/out.grd").string());
  EXPECT_EQ(g.NX(), 673); // 56 degrees at 5' and both ends
  EXPECT_EQ(g.NY(), 241); // 20 degrees
  EXPECT_EQ(g.XMin(), -14);
  EXPECT_EQ(g.XMax(), 42);
  EXPECT_EQ(g.YMin(), 30);
  EXPECT_EQ(g.YMax(), 50);
  // gmt grdtrack on etopo5.cdf answers -2174.998 at 34E 43N, a node.
  double z = 0;
  ASSERT_TRUE(g.Elevation(34, 43, z));
  EXPECT_NEAR(z, -2175, 0.5);
  // West of Greenwich joined on: the Alboran Sea is sea, the Sierra Nevada high.
  ASSERT_TRUE(g.Elevation(-3.5, 36.0, z));
  EXPECT_LT(z, -500);
  ASSERT_TRUE(g.Elevation(-3.3, 37.1, z));
  EXPECT_GT(z, 1000);
}

TEST(InstallationCoastline, IsSeaColourThenClosedPolygonsInTheView)
{
  const std::vector<std::string> lines = Lines(Prog("Maps/map.bln"));
  ASSERT_FALSE(lines.empty());
  ASSERT_TRUE(AllDigits(lines[0]));
  EXPECT_LT(std::stoi(lines[0]), 24) << "an index into the 24 map colours";
  size_t i = 1, polygons = 0;
  while (i < lines.size()) {
    std::istringstream head(lines[i]);
    int n = 0, colour = -1;
    ASSERT_TRUE(head >> n >> colour) << "line " << i + 1;
    ASSERT_GE(n, 4);
    ASSERT_TRUE(colour >= 0 && colour < 24);
    ASSERT_LE(i + n, lines.size() - 1);
    double first[2] = {}, last[2] = {};
    for (int k = 1; k <= n; ++k) {
      std::istringstream p(lines[i + k]);
      double lon = 0, lat = 0;
      ASSERT_TRUE(p >> lon >> lat) << "line " << i + k + 1;
      ASSERT_TRUE(lon >= -14 && lon <= 42 && lat >= 30 && lat <= 50) << "line " << i + k + 1;
      if (k == 1)
        first[0] = lon, first[1] = lat;
      last[0] = lon, last[1] = lat;
    }
    EXPECT_EQ(first[0], last[0]);
    EXPECT_EQ(first[1], last[1]);
    i += n + 1;
    ++polygons;
  }
  EXPECT_GT(polygons, 100u);
}

TEST(InstallationContour, IsTheSeaOfTheViewWithTheLandAsHoles)
{
  const TDemoContour c = TDemoContour::Load(Prog("QCCont/ALL_.bln").string());
  size_t areas = 0;
  for (const TDemoContour::TPolygon &p : c.Polygons())
    areas += !p.Hole;
  EXPECT_EQ(areas, 1u);
  EXPECT_GT(c.Polygons().size(), 100u);
  EXPECT_TRUE(c.Inside(34, 43));    // Black Sea
  EXPECT_TRUE(c.Inside(18, 35));    // Ionian Sea
  EXPECT_TRUE(c.Inside(-10, 40));   // Atlantic
  EXPECT_TRUE(c.Inside(37, 46.5));  // Sea of Azov
  EXPECT_FALSE(c.Inside(10, 47));   // Alps
  EXPECT_FALSE(c.Inside(-3, 40));   // Castile
  EXPECT_FALSE(c.Inside(9, 40));    // Sardinia, an island
  EXPECT_FALSE(c.Inside(33, 35));   // Cyprus
}

TEST(InstallationSquares, CoverBothSeasBlackSeaFirst)
{
  const auto bs = TDemoSquares::LoadFile(Prog("Cfg/QuadrHMS.txt").string());
  const auto ms = TDemoSquares::LoadFile(Prog("Cfg/QuadrMedClim.txt").string());
  for (const auto &q : bs) {
    EXPECT_TRUE(AllDigits(q.Name)) << "Black Sea squares have numbers: " << q.Name;
    EXPECT_TRUE(q.LonMin >= 27 && q.LonMax <= 42 && q.LatMin >= 40 && q.LatMax <= 48) << q.Name;
  }
  for (const auto &q : ms)
    EXPECT_FALSE(AllDigits(q.Name)) << "Mediterranean squares have names: " << q.Name;
  const TDemoSquares squares(bs, ms);
  std::string sea;
  squares.Find(34, 43, sea);
  EXPECT_EQ(sea, "BS");
  squares.Find(18, 35, sea);
  EXPECT_EQ(sea, "MS");
  squares.Find(5, 42, sea);
  EXPECT_EQ(sea, "MS");
  squares.Find(-10, 40, sea);
  EXPECT_EQ(sea, "") << "the Atlantic has no square";
  // Every wet node of the grid in the two seas' boxes lies in a square.
  const TDemoGrid g = TDemoGrid::Load(Prog("Maps/out.grd").string());
  const TDemoContour c = TDemoContour::Load(Prog("QCCont/ALL_.bln").string());
  for (double lon = 28.5; lon < 41; lon += 0.5)
    for (double lat = 41.5; lat < 46; lat += 0.5) {
      double z = 0;
      if (g.Elevation(lon, lat, z) && z < -50 && c.Inside(lon, lat)) {
        squares.Find(lon, lat, sea);
        EXPECT_EQ(sea, "BS") << lon << " " << lat;
      }
    }
}

TEST(InstallationClimatology, GivesEverySquareTemperatureAndSalinityEveryMonth)
{
  const auto bs = TDemoSquares::LoadFile(Prog("Cfg/QuadrHMS.txt").string());
  const auto ms = TDemoSquares::LoadFile(Prog("Cfg/QuadrMedClim.txt").string());
  for (const auto &[file, squares] : {std::make_pair("Clim/BlackSea_TS.txt", bs),
                                      std::make_pair("Clim/Mediterranean_TS.txt", ms)}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(Lines(Prog(file)).front(), "REGION;Month;PRES;TEMP_PAVG;TEMP_PSTD;PSAL_PAVG;PSAL_PSTD");
    TDemoClimatology clim;
    clim.Load(Prog(file).string());
    EXPECT_EQ(clim.Params(), (std::set<std::string>{"PSAL", "TEMP"}));
    std::set<std::string> names;
    for (const auto &q : squares)
      names.insert(q.Name);
    for (const std::string &r : clim.Regions())
      EXPECT_TRUE(names.count(r)) << "region " << r << " is a square of its sea";
    size_t covered = 0;
    for (const auto &q : squares) {
      bool all = true;
      for (int m = 1; m <= 12; ++m)
        all = all && clim.Profile("TEMP", q.Name, m) && clim.Profile("PSAL", q.Name, m);
      covered += all;
    }
    EXPECT_GE(covered, squares.size() * 9 / 10) << "nearly every square has climatology";
  }
  TDemoClimatology med;
  med.Load(Prog("Clim/Mediterranean_TS.txt").string());
  // The Levitus deep water of the Ionian Sea: near 13.6 degrees and 38.7.
  double t = 0, s = 0, sd = 0;
  ASSERT_TRUE(med.Profile("TEMP", "M36N018E", 3));
  TDemoClimatology::At(*med.Profile("TEMP", "M36N018E", 3), 2000, t, sd);
  TDemoClimatology::At(*med.Profile("PSAL", "M36N018E", 3), 2000, s, sd);
  EXPECT_NEAR(t, 13.6, 0.3);
  EXPECT_NEAR(s, 38.68, 0.1);
  TDemoClimatology black;
  black.Load(Prog("Clim/BlackSea_TS.txt").string());
  // The Black Sea: fresh at the surface, the halocline below 100 m.
  const std::string square = bs[bs.size() / 2].Name;
  TDemoClimatology::At(*black.Profile("PSAL", square, 7), 0, s, sd);
  EXPECT_NEAR(s, 18.2, 0.5);
  TDemoClimatology::At(*black.Profile("PSAL", square, 7), 1000, s, sd);
  EXPECT_NEAR(s, 22.2, 0.3);
}

TEST(InstallationSettings, MainIniPointsAtTheDemoDatabase)
{
  rtl::TIniFile ini(Prog("Cfg/main.ini").string());
  const std::string db = ini.ReadString("Database", "DatabaseName", "");
  ASSERT_FALSE(db.empty());
  EXPECT_TRUE(fs::path(db).is_relative()) << "relative to the program folder";
  EXPECT_TRUE(fs::exists(Prog(db))) << db;
  EXPECT_EQ(ini.ReadString("MAP", "InvY", ""), "TRUE");
  EXPECT_EQ(ini.ReadString("MAP", "XY", ""), "FALSE");
  EXPECT_TRUE(fs::exists(Prog("QCCont/ALL_.bln"))) << "the contour used when BlnName names no file";
  EXPECT_TRUE(fs::exists(Prog("Maps/out.grd"))) << "the grid used when GrdName names no file";
}

TEST(InstallationSettings, UpDownsHoldFiveThresholdsInTheirRanges)
{
  const std::vector<std::string> lines = Lines(Prog("Cfg/updowns.txt"));
  ASSERT_GE(lines.size(), 5u);
  const int lo[] = {0, 0, 10, 1, 0}, hi[] = {5, 5, 22, 7, 25};
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(AllDigits(lines[i]));
    EXPECT_GE(std::stoi(lines[i]), lo[i]);
    EXPECT_LE(std::stoi(lines[i]), hi[i]);
  }
}

TEST(InstallationTestTree, ListsTheSixTestsInCheckOrderEachWithASettingsLine)
{
  const std::vector<std::string> lines = Lines(Prog("Cfg/QcParams.txt"));
  std::vector<std::string> tops;
  std::vector<int> children;
  std::set<std::string> upper;
  for (const std::string &l : lines) {
    if (l.empty())
      continue;
    if (l[0] != '\t') {
      tops.push_back(l);
      children.push_back(0);
    } else {
      ASSERT_FALSE(tops.empty());
      ASSERT_NE(l[1], '\t') << "two levels only";
      ++children.back();
    }
    std::string u = l.substr(l.find_first_not_of('\t'));
    for (char &c : u)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(upper.insert(u).second) << "node texts are found by text: " << l;
  }
  EXPECT_EQ(tops, (std::vector<std::string>{"Duplicates", "Location", "Velocity", "Depth", "Data Climate Check",
                                            "Spikes"}));
  for (int n : children)
    EXPECT_GE(n, 1);
  rtl::TIniFile ini(Prog("Cfg/MapTree.ini").string());
  const int state = ini.ReadInteger("ADD", "INISTATUS", -1);
  EXPECT_TRUE(state >= 0 && state <= 4);
}

TEST(InstallationTestTree, ImageListsName16By16Bitmaps)
{
  for (const char *list : {"Cfg/qc.img", "Cfg/2.img"}) {
    const std::vector<std::string> lines = Lines(Prog(list));
    ASSERT_FALSE(lines.empty()) << list;
    if (std::string(list) == "Cfg/2.img") {
      EXPECT_EQ(lines.size(), 5u) << "no box, unchecked, partly checked, checked, locked";
    }
    for (const std::string &name : lines) {
      const std::string bmp = datatest::ReadFile(Prog("Imgs/" + name));
      ASSERT_GE(bmp.size(), 54u) << name;
      EXPECT_EQ(bmp.substr(0, 2), "BM") << name;
      int32_t w = 0, h = 0;
      std::memcpy(&w, bmp.data() + 18, 4);
      std::memcpy(&h, bmp.data() + 22, 4);
      EXPECT_EQ(w, 16) << name;
      EXPECT_EQ(std::abs(h), 16) << name;
    }
  }
}

TEST(InstallationEditor, MetadataCaptionsNameTheStationFields)
{
  const std::set<std::string> fields = {"ID_Cruise", "ID_Cast", "Date_Cast", "Time_Cast", "FDt",  "Lon",        "FLon",
                                        "Lat",       "FLat",    "Depth",     "FD",        "StationName", "Velosity"};
  rtl::TStringList captions;
  captions.LoadFromFile(Prog("Cfg/metaFldCapts.txt").string());
  ASSERT_GT(captions.Count(), 0);
  for (int i = 0; i < captions.Count(); ++i) {
    const std::string &l = captions[i];
    const size_t eq = l.find('=');
    ASSERT_NE(eq, std::string::npos) << l;
    EXPECT_TRUE(fields.count(l.substr(0, eq))) << l;
    EXPECT_GT(l.size(), eq + 1) << l;
  }
}

TEST(InstallationMapAxes, UnitsStepsAndLabelWidthsAgree)
{
  rtl::TIniFile ini(Prog("Cfg/geogrAxe.Ini").string());
  const int units = ini.ReadInteger("KOFFS", "Cnt", 0), steps = ini.ReadInteger("STEPS", "Cnt", 0);
  ASSERT_GE(units, 1);
  ASSERT_GE(steps, 1);
  EXPECT_EQ(ini.ReadInteger("KOFFS", "Koffs0", 0), 3600) << "unit 0 is the degree, in seconds";
  for (int k = 1; k < units; ++k)
    EXPECT_LT(ini.ReadInteger("KOFFS", "Koffs" + std::to_string(k), 0),
              ini.ReadInteger("KOFFS", "Koffs" + std::to_string(k - 1), 0));
  for (int k = 0; k < steps; ++k)
    EXPECT_GT(ini.ReadInteger("STEPS", "StepVal" + std::to_string(k), 0), 0);
  for (int k = 0; k < units; ++k) {
    const std::vector<std::string> widths = Lines(Prog("Cfg/crd" + std::to_string(k) + ".txt"));
    EXPECT_EQ(widths.size(), static_cast<size_t>(k + 1)) << "degrees, then minutes, then seconds";
    for (const std::string &w : widths)
      EXPECT_TRUE(AllDigits(w)) << w;
  }
}

TEST(InstallationStepPages, EndWithBodyAndHtmlForTheSummary)
{
  for (int n = 0; n <= 3; ++n) {
    std::vector<std::string> lines = Lines(Prog("doc/step" + std::to_string(n) + ".txt"));
    while (!lines.empty() && lines.back().empty())
      lines.pop_back();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 2], "</body>") << n;
    EXPECT_EQ(lines.back(), "</html>") << n;
  }
}

// The readers refuse malformed files with a message naming the fault.
class MalformedInstallationFile : public ::testing::Test {
protected:
  datatest::TScratchDir Dir;
  std::string Write(const std::string &AText)
  {
    const fs::path p = Dir.Path() / "file.txt";
    std::ofstream(p, std::ios::binary) << AText;
    return p.string();
  }
  template <class F> std::string Refusal(F AReader)
  {
    try {
      AReader();
    } catch (const EDemoFormat &e) {
      return e.what();
    }
    return "accepted";
  }
};

TEST_F(MalformedInstallationFile, GridsWithABadHeaderOrValueCountAreRefused)
{
  const std::string good = "DSAA\n3 2\n0 2\n0 1\n-5 1\n-1 -2 -3\n-4 -5 1\n";
  EXPECT_NO_THROW(TDemoGrid::Load(Write(good)));
  EXPECT_NO_THROW(TDemoGrid::Load(Write("DSAA\n3 2 0 2 0 1 -5 1\n1 1 1 1 1 1"))) << "the fewest bytes a grid takes";
  const struct {
    std::string Text, Fault;
  } cases[] = {
      {"DSAB" + good.substr(4), "DSAA"},
      {good.substr(0, good.size() - 3), "5 values instead of 6"},
      {good + "7\n", "more values"},
      {"DSAA\n3 2\n0 2\n0 1\n-5 1\n-1 x -3\n-4 -5 1\n", "not a number"},
      // 29 bytes whose header asks for 4.3 billion nodes.
      {"DSAA\n65535 65535 0 1 0 1 0 1\n", "more than the file can hold"},
      {"DSAA\n3 2 0 2 0 1 -5 1\n1 1 1 1 1", "more than the file can hold"},
  };
  for (const auto &c : cases)
    EXPECT_NE(Refusal([&] { TDemoGrid::Load(Write(c.Text)); }).find(c.Fault), std::string::npos) << c.Text;
}

TEST_F(MalformedInstallationFile, ContoursWithATornPolygonAreRefused)
{
  EXPECT_NO_THROW(TDemoContour::Load(Write("3\n30 1\n31 2\n30 3\n2 1\n30 1\n31 1\n")));
  EXPECT_NE(Refusal([&] { TDemoContour::Load(Write("3\n30 1\n31 2\n")); }).find("ends inside"), std::string::npos);
  EXPECT_NE(Refusal([&] { TDemoContour::Load(Write("three\n")); }).find("polygon header"), std::string::npos);
  EXPECT_NE(Refusal([&] { TDemoContour::Load(Write("1\n130 20\n")); }).find("latitude then longitude"),
            std::string::npos);
}

TEST_F(MalformedInstallationFile, SquareLinesNeedFourNumbersAndAName)
{
  EXPECT_EQ(TDemoSquares::LoadFile(Write("1 2 3 4   Name with blanks\n")).front().Name, "Name with blanks");
  EXPECT_NE(Refusal([&] { TDemoSquares::LoadFile(Write("1 2 3 4\n")); }).find("no square name"), std::string::npos);
  EXPECT_NE(Refusal([&] { TDemoSquares::LoadFile(Write("1 2 x 4 A\n")); }).find("four numbers"), std::string::npos);
  EXPECT_NE(Refusal([&] { TDemoSquares::LoadFile(Write("3 2 1 4 A\n")); }).find("empty square"), std::string::npos);
}

TEST_F(MalformedInstallationFile, ClimatologyNeedsMatchingPairsAndMonths)
{
  const std::string head = "Region;Month;PRES;TEMP_PAVG;TEMP_PSTD\n";
  TDemoClimatology ok;
  EXPECT_NO_THROW(ok.Load(Write(head + "A;1;0;15;1\nA;1;10;14;1;\n")));
  ASSERT_TRUE(ok.Profile("TEMP", "A", 1));
  EXPECT_EQ(ok.Profile("TEMP", "A", 1)->size(), 2u) << "a separator at the line's end adds no cell";
  TDemoClimatology c;
  EXPECT_NE(Refusal([&] { c.Load(Write("Region;Month;PRES;TEMP_PAVG;PSAL_PSTD\nA;1;0;1;1\n")); }).find("no pair"),
            std::string::npos);
  EXPECT_NE(Refusal([&] { c.Load(Write("Area;Month;PRES;TEMP_PAVG;TEMP_PSTD\n")); }).find("REGION"), std::string::npos);
  EXPECT_NE(Refusal([&] { c.Load(Write(head + "A;13;0;15;1\n")); }).find("month"), std::string::npos);
  EXPECT_NE(Refusal([&] { c.Load(Write(head + "A;1;10;15;1\nA;1;10;14;1\n")); }).find("does not grow"),
            std::string::npos);
}

} // namespace
