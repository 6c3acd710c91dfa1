// The demo station database generator: reproducible from its seed, and
// holding exactly the faults its manifest lists, no more; its stations lie
// on the sea at depths the grid confirms, except where a fault is planted.
#include "tests/data/DataTestSupport.h"
#include "tools/demogen/TDemoAudit.h"
#include "tools/demogen/TDemoGenerator.h"
#include "tools/demogen/TDemoStationDb.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <map>
#include <memory>
#include <set>

namespace {

using namespace demogen;
using datatest::TScratchDir;

constexpr double Pi = 3.14159265358979323846;

// One tiny database for the whole suite: generating it is the slow part.
class DemoDatabase : public ::testing::Test {
protected:
  static void SetUpTestSuite()
  {
    Inputs = std::make_unique<TDemoInputs>(TDemoInputs::Load(datatest::SourceDataDir().string()));
    Dir = std::make_unique<TScratchDir>();
    DbPath = (Dir->Path() / "tiny.mdb").string();
    std::vector<TDemoFinding> manifest;
    const TDemoDatabase db = TDemoGenerator(*Inputs, TDemoSize::Tiny, 7).Generate(manifest);
    TDemoStationDb::Write(db, DbPath);
    TDemoStationDb::WriteManifest(manifest, TDemoStationDb::ManifestPath(DbPath), "tiny");
    // Everything below reads the files back, not the generator's memory.
    Db = std::make_unique<TDemoDatabase>(TDemoStationDb::Read(DbPath));
    Manifest = TDemoStationDb::ReadManifest(TDemoStationDb::ManifestPath(DbPath));
  }
  static void TearDownTestSuite()
  {
    Db.reset();
    Dir.reset();
    Inputs.reset();
  }

  static std::set<int> CastsWith(std::initializer_list<const char *> AKinds)
  {
    std::set<int> out;
    for (const TDemoFinding &f : Manifest)
      for (const char *k : AKinds)
        if (f.Kind == k)
          out.insert(f.IdCast);
    return out;
  }

  static const TDemoStation &Station(int AId)
  {
    for (const TDemoCruise &c : Db->Cruises)
      for (const TDemoStation &s : c.Stations)
        if (s.IdCast == AId)
          return s;
    throw std::out_of_range("no station " + std::to_string(AId));
  }

  // One value of the station database by plain SQL, apart from the reader.
  static std::optional<double> Value(const std::string &ASql)
  {
    sqlite3 *db = nullptr;
    sqlite3_open_v2(DbPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *st = nullptr;
    std::optional<double> out;
    if (sqlite3_prepare_v2(db, ASql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW &&
        sqlite3_column_type(st, 0) != SQLITE_NULL)
      out = sqlite3_column_double(st, 0);
    else if (!st)
      ADD_FAILURE() << sqlite3_errmsg(db) << " in " << ASql;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
  }

  static inline std::unique_ptr<TDemoInputs> Inputs;
  static inline std::unique_ptr<TScratchDir> Dir;
  static inline std::string DbPath;
  static inline std::unique_ptr<TDemoDatabase> Db;
  static inline std::vector<TDemoFinding> Manifest;
};

TEST_F(DemoDatabase, SameSeedGivesTheSameDatabaseAndAnotherSeedAnother)
{
  TScratchDir dir;
  auto make = [&](uint64_t ASeed, const char *AName) {
    const std::string path = (dir.Path() / AName).string();
    std::vector<TDemoFinding> manifest;
    TDemoStationDb::Write(TDemoGenerator(*Inputs, TDemoSize::Tiny, ASeed).Generate(manifest), path);
    TDemoStationDb::WriteManifest(manifest, TDemoStationDb::ManifestPath(path), "tiny");
    return datatest::DumpDatabase(path) + datatest::ReadFile(TDemoStationDb::ManifestPath(path));
  };
  const std::string first = datatest::DumpDatabase(DbPath) + datatest::ReadFile(TDemoStationDb::ManifestPath(DbPath));
  EXPECT_EQ(first, make(7, "again.mdb"));
  EXPECT_NE(first, make(8, "other.mdb"));
}

TEST_F(DemoDatabase, ManifestPlantsEveryKindOfFault)
{
  std::set<std::string> planted;
  for (const TDemoFinding &f : Manifest)
    if (f.Cause == "planted")
      planted.insert(f.Kind);
  const std::set<std::string> kinds = {"duplicate", "land",   "speed",     "time",     "depth",  "nodepth",
                                       "bottom",    "range",  "spike",     "inversion", "repeated", "missing"};
  EXPECT_EQ(planted, kinds);
  std::set<std::string> missing;
  for (const TDemoFinding &f : Manifest)
    if (f.Kind == "missing")
      missing.insert(f.Param);
  EXPECT_TRUE(missing.count("TEMP") && missing.count("PSAL")) << "a missing temperature and a missing salinity";
  EXPECT_GE(missing.size(), 3u) << "and a missing value of a parameter of its own table";
}

TEST_F(DemoDatabase, DataHoldsExactlyTheManifestFaults)
{
  const TDemoAudit audit(Inputs->Grid, Inputs->Contour, *Inputs->Squares, Inputs->Clim);
  std::multiset<std::string> listed, found;
  for (const TDemoFinding &f : Manifest)
    listed.insert(f.Key());
  for (const TDemoFinding &f : audit.Run(*Db))
    found.insert(f.Key());
  EXPECT_EQ(listed, found);
}

// Each planted fault seen by plain SQL on the file, apart from the audit.
TEST_F(DemoDatabase, PlantedFaultsAreVisibleInTheTables)
{
  for (const TDemoFinding &f : Manifest) {
    if (f.Cause != "planted")
      continue;
    SCOPED_TRACE(f.Key());
    const std::string id = std::to_string(f.IdCast);
    const std::string pres = f.Pres ? DemoFixed(*f.Pres, 3) : "";
    if (f.Kind == "nodepth") {
      EXPECT_EQ(Value("SELECT Depth FROM Cast_Titles WHERE ID_Cast = " + id), 9999.0);
    } else if (f.Kind == "time") {
      EXPECT_GT(*Value("SELECT Time_Cast FROM Cast_Titles WHERE ID_Cast = " + id), 1.0);
    } else if (f.Kind == "repeated") {
      EXPECT_EQ(Value("SELECT COUNT(*) FROM PTS_Data WHERE ID_Cast = " + id + " AND abs(PRES - " + pres + ") < 0.05"),
                2.0);
    } else if (f.Kind == "missing") {
      const std::string table = f.Param == "TEMP" || f.Param == "PSAL" ? "PTS_Data" : f.Param;
      EXPECT_EQ(Value("SELECT COUNT(*) FROM " + table + " WHERE ID_Cast = " + id + " AND abs(PRES - " + pres +
                      ") < 0.05 AND " + f.Param + " IS NULL"),
                1.0);
    } else if (f.Kind == "land") {
      const TDemoStation &s = Station(f.IdCast);
      EXPECT_FALSE(Inputs->Contour.Inside(s.Lon, s.Lat));
    } else if (f.Kind == "speed") {
      // Knots by hand, from the station before in the order the checks read
      // a cruise's stations.
      std::string before;
      for (int k = 1;; ++k) {
        const auto idAt = Value("SELECT ID_Cast FROM Cast_Titles WHERE ID_Cruise = " + std::to_string(f.IdCruise) +
                                " ORDER BY Date_Cast, Time_Cast LIMIT 1 OFFSET " + std::to_string(k));
        ASSERT_TRUE(idAt);
        if (static_cast<int>(*idAt) == f.IdCast) {
          before = std::to_string(static_cast<int>(*Value("SELECT ID_Cast FROM Cast_Titles WHERE ID_Cruise = " +
                                                          std::to_string(f.IdCruise) +
                                                          " ORDER BY Date_Cast, Time_Cast LIMIT 1 OFFSET " +
                                                          std::to_string(k - 1))));
          break;
        }
      }
      const double moment = *Value("SELECT Date_Cast + Time_Cast FROM Cast_Titles WHERE ID_Cast = " + id);
      const double dlon = *Value("SELECT Lon FROM Cast_Titles WHERE ID_Cast = " + id) -
                          *Value("SELECT Lon FROM Cast_Titles WHERE ID_Cast = " + before);
      const double dlat = *Value("SELECT Lat FROM Cast_Titles WHERE ID_Cast = " + id) -
                          *Value("SELECT Lat FROM Cast_Titles WHERE ID_Cast = " + before);
      const double hours =
          (moment - *Value("SELECT Date_Cast + Time_Cast FROM Cast_Titles WHERE ID_Cast = " + before)) * 24;
      const double miles = std::hypot(dlon * 60 * std::cos(40 * Pi / 180), dlat * 60);
      EXPECT_GT(miles / hours, 12.0);
    } else if (f.Kind == "duplicate") {
      const TDemoStation &s = Station(f.IdCast);
      const int other = std::stoi(f.Detail.substr(f.Detail.find("station ") + 8));
      const TDemoStation &o = Station(other);
      EXPECT_NE(s.IdCruise, o.IdCruise);
      EXPECT_LT(std::fabs(s.Lon - o.Lon), 1.0 / 60);
      EXPECT_LT(std::fabs(s.Lat - o.Lat), 1.0 / 60);
      EXPECT_LT(std::fabs(s.Moment() - o.Moment()), 1.0 / 24);
    } else if (f.Kind == "depth") {
      const TDemoStation &s = Station(f.IdCast);
      double z = 0;
      ASSERT_TRUE(Inputs->Grid.Elevation(s.Lon, s.Lat, z));
      EXPECT_GT(std::fabs(s.Depth + z), 0.3 * std::fabs(z)) << "far from the grid's " << -z << " m";
    } else if (f.Kind == "bottom") {
      const TDemoStation &s = Station(f.IdCast);
      double z = 0;
      ASSERT_TRUE(Inputs->Grid.Elevation(s.Lon, s.Lat, z));
      EXPECT_GT(*f.Pres, -z) << "the level lies below the sea floor";
    } else if (f.Kind == "inversion") {
      const std::string at = " FROM PTS_Data WHERE ID_Cast = " + id + " AND PRES ";
      const double t1 = *Value("SELECT TEMP" + at + "< " + pres + " ORDER BY PRES DESC LIMIT 1");
      const double s1 = *Value("SELECT PSAL" + at + "< " + pres + " ORDER BY PRES DESC LIMIT 1");
      const double t2 = *Value("SELECT TEMP" + at + "= " + pres);
      const double s2 = *Value("SELECT PSAL" + at + "= " + pres);
      // Same salinity, warmer water below: lighter below.
      EXPECT_EQ(s1, s2);
      EXPECT_GT(t2, t1);
    } else if (f.Kind == "spike") {
      const std::string at = " FROM PTS_Data WHERE ID_Cast = " + id + " AND PRES ";
      const double above = *Value("SELECT " + f.Param + at + "< " + pres + " ORDER BY PRES DESC LIMIT 1");
      const double here = *Value("SELECT " + f.Param + at + "= " + pres);
      const double below = *Value("SELECT " + f.Param + at + "> " + pres + " ORDER BY PRES LIMIT 1");
      EXPECT_LT((here - above) * (below - here), 0) << "a step out and a step back";
    }
  }
}

TEST_F(DemoDatabase, DepthsAgreeWithTheGridExceptPlantedFaults)
{
  const std::set<int> excused = CastsWith({"depth", "nodepth", "land"});
  int checked = 0;
  for (const TDemoCruise &c : Db->Cruises)
    for (const TDemoStation &s : c.Stations) {
      if (excused.count(s.IdCast))
        continue;
      SCOPED_TRACE(s.IdCast);
      // The cell that holds the station, bilinear: within 5 %.
      double z = 0;
      ASSERT_TRUE(Inputs->Grid.Elevation(s.Lon, s.Lat, z));
      EXPECT_NEAR(s.Depth, -z, 0.05 * -z);
      // And within the depth check's 10 % of that cell's nodes.
      double nodes[4];
      ASSERT_TRUE(Inputs->Grid.CellNodes(s.Lon, s.Lat, nodes));
      const double lo = *std::min_element(nodes, nodes + 4), hi = *std::max_element(nodes, nodes + 4);
      const double slack = std::fabs((nodes[0] + nodes[1] + nodes[2] + nodes[3]) / 4) * 0.1;
      EXPECT_LT(lo - slack, -s.Depth);
      EXPECT_LT(-s.Depth, hi + slack);
      ++checked;
    }
  EXPECT_GT(checked, 20);
}

TEST_F(DemoDatabase, NoStationOnLandExceptThePlantedOnes)
{
  const std::set<int> land = CastsWith({"land"});
  ASSERT_FALSE(land.empty());
  for (const TDemoCruise &c : Db->Cruises)
    for (const TDemoStation &s : c.Stations)
      EXPECT_EQ(Inputs->Contour.Inside(s.Lon, s.Lat), !land.count(s.IdCast)) << s.IdCast;
  // 10 m off an island's edge the location check's pixels may put a station on either side.
  TDemoCruise edge;
  edge.Stations.resize(1);
  edge.Stations[0].Lon = 27.1358;
  edge.Stations[0].Lat = 35.7075;
  EXPECT_EQ(TDemoAudit(Inputs->Grid, Inputs->Contour, *Inputs->Squares, Inputs->Clim).Cruise(edge)[0].Kind, "unsure");
}

TEST_F(DemoDatabase, ProfilesLookLikeTheirSea)
{
  const std::set<int> excused = CastsWith({"range", "spike"});
  for (const TDemoCruise &c : Db->Cruises) {
    ASSERT_FALSE(c.Stations.empty());
    EXPECT_EQ(c.Params.front(), "PRESS") << "the flag write-back passes over a cast's first parameter row";
    for (const TDemoStation &s : c.Stations) {
      std::string sea;
      Inputs->Squares->Find(s.Lon, s.Lat, sea);
      if (excused.count(s.IdCast) || sea.empty())
        continue;
      for (const TDemoLevel &l : s.Pts) {
        if (l.Psal) {
          EXPECT_TRUE(sea == "BS" ? *l.Psal > 16 && *l.Psal < 23.5 : *l.Psal > 35.5 && *l.Psal < 40) << s.IdCast;
        }
        if (l.Temp) {
          EXPECT_TRUE(*l.Temp > 5 && *l.Temp < 31) << s.IdCast;
        }
      }
    }
  }
}

TEST_F(DemoDatabase, StationsOfACruiseFollowInTimeAtShipSpeeds)
{
  const std::set<int> excused = CastsWith({"speed", "time", "land"});
  for (const TDemoCruise &c : Db->Cruises)
    for (size_t i = 1; i < c.Stations.size(); ++i) {
      const TDemoStation &a = c.Stations[i - 1], &b = c.Stations[i];
      if (excused.count(a.IdCast) || excused.count(b.IdCast))
        continue;
      EXPECT_GT(b.Moment(), a.Moment());
      const double knots = std::hypot((b.Lon - a.Lon) * 60 * std::cos((a.Lat + b.Lat) / 2 * Pi / 180),
                                      (b.Lat - a.Lat) * 60) / ((b.Moment() - a.Moment()) * 24);
      EXPECT_LT(knots, 11) << b.IdCast;
      EXPECT_GT(knots, 1) << b.IdCast;
    }
}

// The audit's climatic verdict on a level of a clean station: clear inside
// the band every interpolation agrees on, clear outside any, or unsure.
TEST_F(DemoDatabase, ClimaticVerdictsAreClearOrUnsure)
{
  const TDemoAudit audit(Inputs->Grid, Inputs->Contour, *Inputs->Squares, Inputs->Clim);
  const std::set<int> excused = CastsWith({"range", "spike", "inversion", "land", "missing", "repeated", "bottom"});
  // A level whose band is widened by the interpolations' disagreement.
  TDemoStation s;
  size_t at = 0;
  TDemoClimatology::TBand band;
  for (const TDemoCruise &c : Db->Cruises)
    for (const TDemoStation &st : c.Stations)
      for (size_t k = 0; k < st.Pts.size() && !at && !excused.count(st.IdCast); ++k)
        if (audit.ClimaticBand(st, "TEMP", st.Pts[k].Pres, band) && band.AnyHigh - band.SureHigh > 0.01) {
          s = st;
          at = k;
        }
  ASSERT_NE(at, 0u) << "no level between climatic levels where the interpolations part";
  const double margin = TDemoAuditSettings{}.BandMargin;
  const struct {
    double Temp;
    const char *Verdict; // "" for none
  } cases[] = {
      {band.SureHigh - 2 * margin, ""},
      {band.SureHigh - margin / 2, "unsure"},
      {(band.SureHigh + band.AnyHigh) / 2, "unsure"},
      {band.AnyHigh + margin / 2, "unsure"},
      {band.AnyHigh + 2 * margin, "range"},
      {band.SureLow + margin / 2, "unsure"},
      {band.AnyLow - 2 * margin, "range"},
  };
  for (const auto &c : cases) {
    s.Pts[at].Temp = c.Temp;
    std::string verdict;
    for (const TDemoFinding &f : audit.Levels(s))
      if (f.Param == "TEMP" && (f.Kind == "range" || f.Kind == "unsure")) {
        EXPECT_EQ(*f.Pres, s.Pts[at].Pres) << f.Key();
        verdict = f.Kind;
      }
    EXPECT_EQ(verdict, c.Verdict) << c.Temp << " in " << band.SureLow << " .. " << band.SureHigh << " of "
                                  << band.AnyLow << " .. " << band.AnyHigh;
  }
}

// The demo database that the build put into the program folder.
TEST(DemoDatabaseOfTheBuild, HoldsThirtyCruisesAndExactlyItsManifest)
{
  const std::string path = (datatest::ProgramDir() / "demo" / "marlin_demo.mdb").string();
  const TDemoDatabase db = TDemoStationDb::Read(path);
  ASSERT_EQ(db.Cruises.size(), 30u);
  std::set<std::string> seas;
  for (const TDemoCruise &c : db.Cruises) {
    EXPECT_GE(c.Stations.size(), 6u);
    EXPECT_LE(c.Stations.size(), 60u);
    seas.insert(c.Name.substr(0, 2));
  }
  EXPECT_EQ(seas, (std::set<std::string>{"BS", "MS"}));
  const TDemoInputs inputs = TDemoInputs::Load(datatest::ProgramDir().string());
  const TDemoAudit audit(inputs.Grid, inputs.Contour, *inputs.Squares, inputs.Clim);
  std::multiset<std::string> listed, found;
  for (const TDemoFinding &f : TDemoStationDb::ReadManifest(TDemoStationDb::ManifestPath(path)))
    listed.insert(f.Key());
  for (const TDemoFinding &f : audit.Run(db))
    found.insert(f.Key());
  EXPECT_EQ(listed, found);
}

} // namespace
