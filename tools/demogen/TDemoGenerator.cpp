// The demo station database generator.
#include "tools/demogen/TDemoGenerator.h"

#include "tools/demogen/TDemoAudit.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>

namespace demogen {

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double Deg = Pi / 180.0;

double Round(double AValue, int ADecimals)
{
  const double f = std::pow(10.0, ADecimals);
  return std::nearbyint(AValue * f) / f;
}

// A station's date and time of day from a moment, to the whole minute.
void SetMoment(TDemoStation &S, double AMoment)
{
  const long minutes = std::lrint(AMoment * 1440.0);
  S.Date = static_cast<double>(minutes / 1440);
  S.Time = static_cast<double>(minutes % 1440) / 1440.0;
}

// Distance in nautical miles on the sphere's local plane.
double TrueMiles(double ALon1, double ALat1, double ALon2, double ALat2)
{
  const double dx = (ALon2 - ALon1) * 60.0 * std::cos((ALat1 + ALat2) / 2 * Deg);
  const double dy = (ALat2 - ALat1) * 60.0;
  return std::sqrt(dx * dx + dy * dy);
}

struct TShipDef {
  const char *Code, *Name, *Short, *Country, *Sea;
};

const TDemoCountry Countries[] = {
    {"BG", "BULGARIA"}, {"CY", "CYPRUS"}, {"ES", "SPAIN"},   {"FR", "FRANCE"},
    {"GE", "GEORGIA"},  {"GR", "GREECE"}, {"HR", "CROATIA"}, {"IL", "ISRAEL"},
    {"IT", "ITALY"},    {"RO", "ROMANIA"}, {"RU", "RUSSIA"}, {"TR", "TURKEY"},
    {"UA", "UKRAINE"},
};

const TShipDef Ships[] = {
    {"UAPV", "PROFESSOR VODYANITSKY", "PV", "UA", "BS"}, {"UAGU", "GEORGIY USHAKOV", "GU", "UA", "BS"},
    {"RUAK", "AKVANAVT", "AK", "RU", "BS"},              {"BGAK", "AKADEMIK", "AD", "BG", "BS"},
    {"ROMN", "MARE NIGRUM", "MN", "RO", "BS"},           {"TRBL", "BILIM", "BI", "TR", "BS"},
    {"GEGM", "GIDROLOG", "GD", "GE", "BS"},              {"GRAE", "AEGAEO", "AE", "GR", "MS"},
    {"ITUR", "URANIA", "UR", "IT", "MS"},                {"FRSU", "LE SUROIT", "SU", "FR", "MS"},
    {"ESCS", "CORNIDE DE SAAVEDRA", "CS", "ES", "MS"},   {"HRVV", "VILA VELEBITA", "VV", "HR", "MS"},
    {"ILSH", "SHIKMONA", "SH", "IL", "MS"},              {"CYAM", "AMMOCHOSTOS", "AM", "CY", "MS"},
};

// Bottle casts sample these standard depths.
const double BottleLevels[] = {0,   5,   10,  20,  25,   30,   50,   75,   100,  125,  150,  200,  250,  300, 400,
                               500, 600, 700, 800, 900, 1000, 1100, 1200, 1300, 1400, 1500, 1750, 2000, 2500, 3000};

enum class TKind { Ctd, Bottle };

struct TSite {
  double Lon = 0, Lat = 0, Depth = 0, MaxPres = 0;
  std::string Square, Sea;
};

} // namespace

bool DemoSizeFromText(const std::string &AText, TDemoSize &AOut)
{
  if (AText == "tiny")
    AOut = TDemoSize::Tiny;
  else if (AText == "demo")
    AOut = TDemoSize::Demo;
  else if (AText == "large")
    AOut = TDemoSize::Large;
  else
    return false;
  return true;
}

TDemoInputs TDemoInputs::Load(const std::string &ADataDir)
{
  TDemoInputs in;
  in.Grid = TDemoGrid::Load(ADataDir + "/Maps/out.grd");
  in.Contour = TDemoContour::Load(ADataDir + "/QCCont/ALL_.bln");
  in.Squares = std::make_unique<TDemoSquares>(TDemoSquares::LoadFile(ADataDir + "/Cfg/QuadrHMS.txt"),
                                              TDemoSquares::LoadFile(ADataDir + "/Cfg/QuadrMedClim.txt"));
  in.Clim.Load(ADataDir + "/Clim/BlackSea_TS.txt");
  in.Clim.Load(ADataDir + "/Clim/Mediterranean_TS.txt");
  return in;
}

uint64_t TDemoRandom::Next()
{
  uint64_t z = (FState += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

double TDemoRandom::Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

int TDemoRandom::Int(int ALow, int AHigh)
{
  return ALow + static_cast<int>(Next() % static_cast<uint64_t>(AHigh - ALow + 1));
}

double TDemoRandom::Normal()
{
  // Box-Muller; the second value is dropped so that every draw costs the same.
  const double u1 = 1.0 - Uniform(), u2 = Uniform();
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2 * Pi * u2);
}

struct TDemoGenerator::TImpl {
  const TDemoInputs &In;
  TDemoSize Size;
  // Cruises, sites, timings and profiles draw from one stream, the faults'
  // choices from another: a change in what a plant accepts leaves the
  // cruises as they were.
  TDemoRandom Rnd, PlantRnd;
  TDemoAudit Audit;
  TDemoDatabase Db;
  int NextCastId = 1;
  std::set<int> Used;               // stations that carry a planted fault
  std::vector<TDemoFinding> Manifest;

  TImpl(const TDemoInputs &AIn, TDemoSize ASize, uint64_t ASeed)
      : In(AIn), Size(ASize), Rnd(ASeed), PlantRnd(ASeed ^ 0x706c616e74ULL),
        Audit(AIn.Grid, AIn.Contour, *AIn.Squares, AIn.Clim)
  {
  }

  // ---- positions -------------------------------------------------------

  // A position where a station of the sea can be: on the sea of the contour,
  // in a square of that sea with climatology, at least 30 m deep at every
  // node around it, and with a depth that the depth check accepts both in
  // the cell that holds the station and in the cell a mix-up of the grid's
  // index conventions would take, so that no slip of a cell changes its
  // verdict.
  bool Site(const std::string &ASea, double ALon, double ALat, TSite &AOut)
  {
    if (ALon <= -5.5 || !In.Contour.Inside(ALon, ALat))
      return false;
    std::string sea;
    const std::string square = In.Squares->Find(ALon, ALat, sea);
    if (sea != ASea || !In.Clim.Profile("TEMP", square, 1) || !In.Clim.Profile("PSAL", square, 1))
      return false;
    double index[4], cell[4], elevation = 0;
    if (!In.Grid.IndexNodes(ALon, ALat, index) || !In.Grid.CellNodes(ALon, ALat, cell) ||
        !In.Grid.Elevation(ALon, ALat, elevation))
      return false;
    for (int i = 0; i < 4; ++i)
      if (index[i] > -30 || cell[i] > -30)
        return false;
    const double noise = std::clamp(Rnd.Normal() * 0.02, -0.04, 0.04);
    const double depth = std::nearbyint(-elevation * (1.0 + noise));
    // 7 % rather than the check's 10 %, to stay clear of its edges.
    if (!TDemoDepthWindow::Of(index, 7).Holds(-depth) || !TDemoDepthWindow::Of(cell, 7).Holds(-depth))
      return false;
    const double deepest = std::min({depth, -*std::min_element(index, index + 4), -*std::min_element(cell, cell + 4)});
    AOut.Lon = ALon;
    AOut.Lat = ALat;
    AOut.Depth = depth;
    AOut.MaxPres = std::floor(deepest * 0.97 - 3.0);
    AOut.Square = square;
    AOut.Sea = ASea;
    return AOut.MaxPres >= (Size == TDemoSize::Large ? 50 : 20);
  }

  bool RandomSite(const std::string &ASea, TSite &AOut)
  {
    const auto &squares = ASea == "BS" ? In.Squares->BlackSea() : In.Squares->Mediterranean();
    for (int attempt = 0; attempt < 2000; ++attempt) {
      const TDemoSquares::TSquare &q = squares[Rnd.Int(0, static_cast<int>(squares.size()) - 1)];
      const double lon = Round(Rnd.Uniform(q.LonMin, q.LonMax), 4);
      const double lat = Round(Rnd.Uniform(q.LatMin, q.LatMax), 4);
      if (Site(ASea, lon, lat, AOut))
        return true;
    }
    return false;
  }

  // Next station from a site: a heading that wanders, 8 to 25 miles on.
  bool NextSite(const TSite &AFrom, double &AHeading, TSite &AOut)
  {
    for (int attempt = 0; attempt < 80; ++attempt) {
      const double h = AHeading + Rnd.Normal() * (0.35 + attempt * 0.06);
      const double d = Rnd.Uniform(8, 25);
      const double lat = Round(AFrom.Lat + d * std::cos(h) / 60.0, 4);
      const double lon = Round(AFrom.Lon + d * std::sin(h) / (60.0 * std::cos(AFrom.Lat * Deg)), 4);
      if (Site(AFrom.Sea, lon, lat, AOut)) {
        AHeading = h;
        return true;
      }
    }
    return false;
  }

  // ---- profiles --------------------------------------------------------

  std::vector<double> PressureLevels(TKind AKind, double AMaxPres, double ACastLimit)
  {
    const double maxPres = std::min(AMaxPres, ACastLimit);
    std::vector<double> out;
    if (Size == TDemoSize::Large) {
      // Exactly 100 levels, evenly down to the deepest the station allows.
      const double step = std::floor(maxPres / 100.0 * 10.0) / 10.0;
      for (int k = 1; k <= 100; ++k)
        out.push_back(Round(step * k, 1));
      return out;
    }
    if (AKind == TKind::Bottle) {
      for (double p : BottleLevels)
        if (p <= maxPres)
          out.push_back(p);
      if (maxPres - out.back() > 40)
        out.push_back(std::floor(maxPres)); // the bottle just above the floor
      return out;
    }
    // A CTD profile binned finer near the surface.
    for (double p = 2; p <= maxPres; p += p < 50 ? 2 : p < 200 ? 5 : p < 500 ? 10 : 25)
      out.push_back(p);
    return out;
  }

  static void Stabilise(std::vector<TDemoLevel> &ALevels, size_t AFrom)
  {
    // Salinity is nudged up where a level would be lighter than the one
    // above it by more than a trace (the inversion check allows less than
    // 0.01): the smallest change that keeps the column stable. Demanding
    // strict growth would pile the nudges up through the nearly uniform
    // deep water and push it out of its climatic range.
    for (size_t k = std::max<size_t>(AFrom, 1); k < ALevels.size(); ++k) {
      TDemoLevel &a = ALevels[k - 1], &b = ALevels[k];
      if (!a.Temp || !a.Psal || !b.Temp || !b.Psal)
        continue;
      const double above = DemoSeaWaterDensity(*a.Temp, *a.Psal);
      for (int i = 0; i < 20000 && DemoSeaWaterDensity(*b.Temp, *b.Psal) - above < -0.004; ++i)
        *b.Psal += 0.002;
    }
  }

  // The middle of the climatic band that every interpolation agrees on,
  // and a third of its half-width as the deviation a profile may wander
  // by; below the deepest level, which no verdict reaches, the climatology
  // held from there.
  static void BandMiddle(const TDemoClimatology::TProfile &AProfile, double APres, double &AMiddle, double &AStd)
  {
    TDemoClimatology::TBand b;
    if (!TDemoClimatology::Band(AProfile, APres, 3, b)) {
      TDemoClimatology::At(AProfile, APres, AMiddle, AStd);
      return;
    }
    AMiddle = (b.SureLow + b.SureHigh) / 2;
    AStd = std::max(0.0, (b.SureHigh - b.SureLow) / 6);
  }

  void MakeProfile(TDemoStation &S, const TSite &ASite, TKind AKind, double ACastLimit,
                   const std::vector<std::string> &AParams)
  {
    const int month = DemoMonthOf(S.Date);
    const TDemoClimatology::TProfile &pt = *In.Clim.Profile("TEMP", ASite.Square, month);
    const TDemoClimatology::TProfile &ps = *In.Clim.Profile("PSAL", ASite.Square, month);
    const double aT = Rnd.Uniform(-0.9, 0.9), aS = Rnd.Uniform(-0.9, 0.9);
    const double cT = Rnd.Uniform(-0.25, 0.25), cS = Rnd.Uniform(-0.25, 0.25);
    const double wave = Rnd.Uniform(150, 600), phase = Rnd.Uniform(0, 2 * Pi);
    S.Pts.clear();
    S.Chem.clear();
    for (double p : PressureLevels(AKind, ASite.MaxPres, ACastLimit)) {
      double mT = 0, sT = 0, mS = 0, sS = 0;
      BandMiddle(pt, p, mT, sT);
      BandMiddle(ps, p, mS, sS);
      const double shape = std::sin(2 * Pi * p / wave + phase);
      TDemoLevel l;
      l.Pres = p;
      l.Temp = mT + sT * (aT + cT * shape) + Rnd.Normal() * 0.003;
      l.Psal = mS + sS * (aS + cS * shape) + Rnd.Normal() * 0.002;
      S.Pts.push_back(l);
    }
    Stabilise(S.Pts, 1);
    for (TDemoLevel &l : S.Pts) {
      l.Temp = Round(*l.Temp, 3);
      l.Psal = Round(*l.Psal, 3);
    }
    for (const std::string &param : AParams) {
      if (param != "NO3" && param != "DOX1")
        continue;
      TDemoChemProfile c;
      c.Param = param;
      const double east = S.Lon > 20 ? 0.7 : 1.0; // the eastern basin is poorer
      for (const TDemoLevel &l : S.Pts) {
        const double p = l.Pres;
        double v;
        if (ASite.Sea == "BS")
          v = param == "DOX1" ? 6.8 * std::max(0.0, 1.0 - std::pow(p / 160.0, 1.5))
                              : 0.2 * (p < 50) + 5.0 * std::exp(-std::pow((p - 70.0) / 30.0, 2));
        else
          v = param == "DOX1" ? 5.2 - 0.9 * (1.0 - std::exp(-p / 300.0)) : 6.0 * east * (1.0 - std::exp(-p / 250.0));
        v = std::max(0.0, v * (1.0 + Rnd.Normal() * 0.03));
        c.Levels.push_back({p, Round(v, 2)});
      }
      S.Chem.push_back(std::move(c));
    }
  }

  // ---- cruises ---------------------------------------------------------

  const TShipDef &PickShip(const std::string &ASea, const std::string &ANot = {})
  {
    std::vector<const TShipDef *> ships;
    for (const TShipDef &s : Ships)
      if (ASea == s.Sea && ANot != s.Code)
        ships.push_back(&s);
    return *ships[Rnd.Int(0, static_cast<int>(ships.size()) - 1)];
  }

  std::vector<std::string> PickParams(TKind AKind)
  {
    std::vector<std::string> params = {"PRESS", "TEMP", "PSAL"};
    // In the large database one cruise in ten has chemistry, to keep its
    // size to what the benchmarks need.
    if (Size == TDemoSize::Large ? Rnd.Uniform() < 0.1 : AKind == TKind::Bottle) {
      const int pick = Rnd.Int(0, 3);
      if (pick & 1)
        params.push_back("NO3");
      if (pick & 2)
        params.push_back("DOX1");
    }
    return params;
  }

  double StationHours(double AMaxPres, TKind AKind) const
  {
    // Down and up at about 1 m/s, plus time on station; bottles take longer.
    return 0.3 + AMaxPres / 2000.0 * 1.2 + (AKind == TKind::Bottle ? 0.4 : 0.0);
  }

  // Timing from the first station on: on station, then on passage at 8 to
  // 10 knots; the velocity check's reckoning stays below 11.5 knots.
  void TimeStations(std::vector<TDemoStation> &AStations, const std::vector<TSite> &ASites, TKind AKind,
                    double ACastLimit, double AStart)
  {
    SetMoment(AStations[0], AStart);
    for (size_t i = 1; i < AStations.size(); ++i) {
      const TDemoStation &a = AStations[i - 1];
      TDemoStation &b = AStations[i];
      const double miles = TrueMiles(a.Lon, a.Lat, b.Lon, b.Lat);
      double hours = StationHours(std::min(ASites[i - 1].MaxPres, ACastLimit), AKind) + miles / Rnd.Uniform(8, 10);
      SetMoment(b, a.Moment() + hours / 24.0);
      while (!(TDemoAudit::Speed(a, b) < 11.5)) {
        hours += 0.5;
        SetMoment(b, a.Moment() + hours / 24.0);
      }
    }
  }

  TDemoCruise NewCruise(int AId, const std::string &ASea, const TShipDef &AShip, double AStart, int ANumber)
  {
    TDemoCruise c;
    c.Id = AId;
    c.Sea = ASea;
    c.ShipCode = AShip.Code;
    c.CountryCode = AShip.Country;
    const int year = DemoYearOf(AStart);
    char name[64], mar[32];
    std::snprintf(name, sizeof name, "%s%02d_%s%02d", ASea.c_str(), year % 100, AShip.Short, ANumber);
    std::snprintf(mar, sizeof mar, "%s%04d%03d", AShip.Country, year, ANumber);
    c.Name = name;
    c.Mar = mar;
    return c;
  }

  void NameStations(TDemoCruise &C)
  {
    for (size_t i = 0; i < C.Stations.size(); ++i) {
      TDemoStation &s = C.Stations[i];
      s.IdCruise = C.Id;
      s.IdCast = NextCastId + static_cast<int>(i);
      char name[32];
      std::snprintf(name, sizeof name, "%s-%02zu", C.Name.substr(C.Name.find('_') + 1).c_str(), i + 1);
      s.Name = name;
    }
  }

  // Profiles for every station, redrawn until the audit finds nothing.
  bool FillProfiles(TDemoCruise &C, const std::vector<TSite> &ASites, TKind AKind, double ACastLimit)
  {
    for (size_t i = 0; i < C.Stations.size(); ++i) {
      bool clean = false;
      for (int attempt = 0; attempt < 30 && !clean; ++attempt) {
        MakeProfile(C.Stations[i], ASites[i], AKind, ACastLimit, C.Params);
        clean = Audit.Levels(C.Stations[i]).empty();
      }
      if (!clean)
        return false;
    }
    return Audit.Cruise(C).empty();
  }

  // A cruise of AStations stations starting at AStart; false when no clean
  // one came out of many attempts.
  bool MakeCruise(TDemoCruise &C, int AStations, double AStart, TKind AKind, double ACastLimit)
  {
    for (int attempt = 0; attempt < 40; ++attempt) {
      std::vector<TSite> sites(1);
      if (!RandomSite(C.Sea, sites[0]))
        continue;
      double heading = Rnd.Uniform(0, 2 * Pi);
      while (static_cast<int>(sites.size()) < AStations) {
        TSite next;
        if (!NextSite(sites.back(), heading, next))
          break;
        sites.push_back(next);
      }
      if (static_cast<int>(sites.size()) < std::min(AStations, 6))
        continue;
      C.Stations.assign(sites.size(), TDemoStation{});
      for (size_t i = 0; i < sites.size(); ++i) {
        C.Stations[i].Lon = sites[i].Lon;
        C.Stations[i].Lat = sites[i].Lat;
        C.Stations[i].Depth = sites[i].Depth;
      }
      TimeStations(C.Stations, sites, AKind, ACastLimit, AStart);
      NameStations(C);
      if (FillProfiles(C, sites, AKind, ACastLimit))
        return true;
    }
    return false;
  }

  void AddCruise(TDemoCruise &&C)
  {
    NextCastId += static_cast<int>(C.Stations.size());
    Db.Cruises.push_back(std::move(C));
  }

  double CastLimit()
  {
    static const double limits[] = {300, 500, 1000, 1500, 2500, 5000};
    return limits[Rnd.Int(0, 5)];
  }

  // ---- planting --------------------------------------------------------

  using TApply = std::function<bool(TDemoCruise &, size_t)>;

  // Tries the fault on stations in random order until one takes it: the
  // audit of the cruise then shows a finding of that kind at the station
  // and nothing new at any other station.
  bool Plant(const char *AKind, int ATimes, const TApply &AApply)
  {
    std::vector<std::pair<size_t, size_t>> candidates;
    for (size_t c = 0; c < Db.Cruises.size(); ++c)
      for (size_t s = 0; s < Db.Cruises[c].Stations.size(); ++s)
        if (!Used.count(Db.Cruises[c].Stations[s].IdCast))
          candidates.emplace_back(c, s);
    for (size_t i = candidates.size(); i > 1; --i)
      std::swap(candidates[i - 1], candidates[PlantRnd.Next() % i]);
    int planted = 0;
    for (const auto &[c, s] : candidates) {
      if (planted == ATimes)
        break;
      TDemoCruise trial = Db.Cruises[c];
      const int id = trial.Stations[s].IdCast;
      if (Used.count(id) || !AApply(trial, s))
        continue;
      auto others = [id](const std::vector<TDemoFinding> &AFound) {
        std::multiset<std::string> keys;
        for (const TDemoFinding &f : AFound)
          if (f.IdCast != id)
            keys.insert(f.Key());
        return keys;
      };
      const std::vector<TDemoFinding> after = Audit.Cruise(trial);
      bool has = false, unsure = false;
      for (const TDemoFinding &f : after) {
        has = has || (f.IdCast == id && f.Kind == AKind);
        unsure = unsure || (f.IdCast == id && f.Kind == "unsure");
      }
      if (!has || unsure || others(after) != others(Audit.Cruise(Db.Cruises[c])))
        continue;
      for (TDemoFinding f : after)
        if (f.IdCast == id) {
          f.Cause = f.Kind == AKind ? "planted" : std::string("follows ") + AKind;
          Manifest.push_back(f);
        }
      Db.Cruises[c] = std::move(trial);
      Used.insert(id);
      ++planted;
    }
    return planted == ATimes;
  }

  static bool Interior(const TDemoCruise &C, size_t S) { return S > 0 && S + 1 < C.Stations.size(); }

  void PlantAll()
  {
    const int n = Size == TDemoSize::Demo ? 2 : 1;
    auto need = [](bool AOk, const char *AKind) {
      if (!AOk)
        throw std::runtime_error(std::string("no station could take the planted fault '") + AKind + "'");
    };
    // First, while the few stations with chemistry are all free.
    need(Plant("missing", 1,
               [&](TDemoCruise &C, size_t S) {
                 for (TDemoChemProfile &c : C.Stations[S].Chem)
                   if (c.Levels.size() >= 3) {
                     c.Levels[c.Levels.size() / 2].Value.reset();
                     return true;
                   }
                 return false;
               }),
         "missing");
    need(Plant("land", n,
               [&](TDemoCruise &C, size_t S) {
                 if (!Interior(C, S) || !MoveOntoLand(C.Stations[S]))
                   return false;
                 // The ship took its time: a position far off makes neither
                 // leg a speed fault too.
                 SlowLegInto(C, S);
                 SlowLegInto(C, S + 1);
                 return true;
               }),
         "land");
    need(Plant("speed", n,
               [&](TDemoCruise &C, size_t S) {
                 if (!Interior(C, S))
                   return false;
                 const TDemoStation &a = C.Stations[S - 1];
                 TDemoStation &b = C.Stations[S];
                 // Reckoned as the check reckons it, 20 knots.
                 const double dx = (b.Lon - a.Lon) * 60.0 * std::cos(0.6981317007977318);
                 const double dy = (b.Lat - a.Lat) * 60.0;
                 const double hours = std::sqrt(dx * dx + dy * dy) / 20.0;
                 if (hours < 0.25)
                   return false;
                 SetMoment(b, a.Moment() + std::ceil(hours * 60.0) / 1440.0);
                 return true;
               }),
         "speed");
    need(Plant("time", n,
               [&](TDemoCruise &C, size_t S) {
                 // The last station of its day, whose next station is on a
                 // later day but within a day of it, so that the order by date
                 // and time stays and the leg on reckons a negative time; or
                 // the last station of the cruise.
                 if (S == 0)
                   return false;
                 TDemoStation &s = C.Stations[S];
                 if (S + 1 < C.Stations.size()) {
                   const TDemoStation &next = C.Stations[S + 1];
                   if (!(next.Date > s.Date) || !(next.Moment() < s.Moment() + 1.0))
                     return false;
                 }
                 s.Time += 1.0;
                 return true;
               }),
         "time");
    need(Plant("depth", n,
               [&](TDemoCruise &C, size_t S) {
                 TDemoStation &s = C.Stations[S];
                 if (s.Depth < 100)
                   return false;
                 s.Depth = std::nearbyint(s.Depth * 0.45);
                 return true;
               }),
         "depth");
    need(Plant("nodepth", n,
               [&](TDemoCruise &C, size_t S) {
                 C.Stations[S].Depth = 9999;
                 return true;
               }),
         "nodepth");
    need(Plant("bottom", n, [&](TDemoCruise &C, size_t S) { return AddLevelBelowBottom(C.Stations[S]); }), "bottom");
    need(Plant("range", n, [&](TDemoCruise &C, size_t S) { return ShiftDeepLayer(C.Stations[S]); }), "range");
    // Temperature and salinity spikes by turns.
    int spikes = 0;
    need(Plant("spike", n, [&](TDemoCruise &C, size_t S) { return AddSpike(C.Stations[S], spikes++ % 2 == 1); }),
         "spike");
    need(Plant("inversion", n, [&](TDemoCruise &C, size_t S) { return AddInversion(C.Stations[S]); }), "inversion");
    need(Plant("repeated", n,
               [&](TDemoCruise &C, size_t S) {
                 std::vector<TDemoLevel> &l = C.Stations[S].Pts;
                 if (l.size() < 4)
                   return false;
                 const size_t k = l.size() / 2;
                 TDemoLevel copy = l[k];
                 *copy.Temp = Round(*copy.Temp + 0.002, 3);
                 *copy.Psal = Round(*copy.Psal - 0.001, 3);
                 l.insert(l.begin() + static_cast<long>(k) + 1, copy);
                 return true;
               }),
         "repeated");
    for (const char *param : {"TEMP", "PSAL"})
      need(Plant("missing", n,
                 [&](TDemoCruise &C, size_t S) {
                   std::vector<TDemoLevel> &l = C.Stations[S].Pts;
                   // Where both parameters have a climatic verdict: deeper
                   // down, whether a missing value keeps its flag hangs on
                   // how the checks clear the levels they do not judge.
                   TDemoClimatology::TBand b;
                   const TDemoStation &st = C.Stations[S];
                   if (l.size() < 4 || !Audit.ClimaticBand(st, "TEMP", l[l.size() / 3].Pres, b) ||
                       !Audit.ClimaticBand(st, "PSAL", l[l.size() / 3].Pres, b))
                     return false;
                   (param[0] == 'T' ? l[l.size() / 3].Temp : l[l.size() / 3].Psal).reset();
                   return true;
                 }),
           "missing");
  }

  // Delays station AFrom of a cruise and every later one alike, by whole
  // minutes, until the leg into it is well below the speed limit.
  static void SlowLegInto(TDemoCruise &C, size_t AFrom)
  {
    if (AFrom == 0 || AFrom >= C.Stations.size())
      return;
    const TDemoStation &a = C.Stations[AFrom - 1];
    const double knots = TDemoAudit::Speed(a, C.Stations[AFrom]);
    if (knots < 11.5)
      return;
    const double hours = (C.Stations[AFrom].Moment() - a.Moment()) * 24.0;
    const double delay = std::ceil(hours * (knots / 11.0 - 1.0) * 60.0 + 1.0) / 1440.0;
    for (size_t i = AFrom; i < C.Stations.size(); ++i)
      SetMoment(C.Stations[i], C.Stations[i].Moment() + delay);
  }

  bool MoveOntoLand(TDemoStation &S)
  {
    // The nearest land in sixteen directions, up to 150 miles off, then a
    // mile further inland: a position with a slip of the pen.
    for (double r = 0.5; r <= 150; r += 0.5)
      for (int b = 0; b < 16; ++b) {
        const double h = b * Pi / 8;
        auto at = [&](double ARange, double &ALon, double &ALat) {
          ALat = Round(S.Lat + ARange * std::cos(h) / 60.0, 4);
          ALon = Round(S.Lon + ARange * std::sin(h) / (60.0 * std::cos(S.Lat * Deg)), 4);
        };
        double lon, lat;
        at(r, lon, lat);
        if (In.Contour.Inside(lon, lat))
          continue;
        at(r + 1.0, lon, lat);
        if (In.Contour.Inside(lon, lat))
          continue;
        S.Lon = lon;
        S.Lat = lat;
        return true;
      }
    return false;
  }

  bool AddLevelBelowBottom(TDemoStation &S)
  {
    double gridMin = 0;
    if (S.Pts.size() < 3 || !Audit.GridDepthMin(S, gridMin))
      return false;
    // Deeper than the grid's floor but above the climatology's deepest
    // level, where the bottom check's flag stands.
    const double p = std::floor(-gridMin + PlantRnd.Uniform(15, 60));
    TDemoClimatology::TBand b;
    if (!(p > S.Pts.back().Pres + 5) || !Audit.ClimaticBand(S, "TEMP", p, b) || !Audit.ClimaticBand(S, "PSAL", p, b))
      return false;
    TDemoLevel l = S.Pts.back();
    l.Pres = p;
    S.Pts.push_back(l);
    return true;
  }

  bool ShiftDeepLayer(TDemoStation &S)
  {
    // A wrongly calibrated lower half of the cast: warmer and, keeping the
    // density, saltier, so that every level with a climatic verdict lies
    // above the widest band of both by more than a sixth of its width.
    if (S.Pts.size() < 6)
      return false;
    const size_t k0 = S.Pts.size() / 2;
    const double t = *S.Pts[k0].Temp, s = *S.Pts[k0].Psal;
    const double alpha = (DemoSeaWaterDensity(t, s) - DemoSeaWaterDensity(t + 0.1, s)) / 0.1;
    const double beta = (DemoSeaWaterDensity(t, s + 0.1) - DemoSeaWaterDensity(t, s)) / 0.1;
    if (!(alpha > 0))
      return false;
    double shift = 0;
    for (size_t k = k0; k < S.Pts.size(); ++k) {
      TDemoClimatology::TBand b;
      if (Audit.ClimaticBand(S, "TEMP", S.Pts[k].Pres, b))
        shift = std::max(shift, b.AnyHigh + (b.AnyHigh - b.AnyLow) / 6 - *S.Pts[k].Temp);
      if (Audit.ClimaticBand(S, "PSAL", S.Pts[k].Pres, b))
        shift = std::max(shift, (b.AnyHigh + (b.AnyHigh - b.AnyLow) / 6 - *S.Pts[k].Psal) * beta / alpha);
    }
    if (shift == 0)
      return false;
    for (size_t k = k0; k < S.Pts.size(); ++k) {
      S.Pts[k].Temp = Round(*S.Pts[k].Temp + shift, 3);
      S.Pts[k].Psal = Round(*S.Pts[k].Psal + shift * alpha / beta, 3);
    }
    Stabilise(S.Pts, k0);
    return true;
  }

  bool AddSpike(TDemoStation &S, bool ASalinity)
  {
    std::vector<TDemoLevel> &l = S.Pts;
    // Where the levels lie closest: the finer the levels, the smaller the
    // jump that counts as a spike.
    std::vector<size_t> at;
    double finest = 6;
    for (size_t k = 1; k + 1 < l.size(); ++k) {
      const double gap = std::max(l[k].Pres - l[k - 1].Pres, l[k + 1].Pres - l[k].Pres);
      if (l[k].Pres < 10 || l[k].Pres > 200 || gap > finest)
        continue;
      if (gap < finest)
        at.clear();
      finest = gap;
      at.push_back(k);
    }
    if (!at.empty()) {
      const size_t k = at[PlantRnd.Next() % at.size()];
      const double g = std::max(l[k].Pres - l[k - 1].Pres, l[k + 1].Pres - l[k].Pres);
      auto value = [&](TDemoLevel &AL) -> std::optional<double> & { return ASalinity ? AL.Psal : AL.Temp; };
      double lo = 1e300, hi = -1e300;
      for (TDemoLevel &x : l) {
        lo = std::min(lo, *value(x));
        hi = std::max(hi, *value(x));
      }
      // Steeper than the threshold both ways, the threshold counted with
      // the range that the spike itself widens.
      const double range = hi - lo + 1.0;
      const double jump = 1.3 * 0.1 * range / (1.0 / g - 0.13);
      const double mid = (*value(l[k - 1]) + *value(l[k + 1])) / 2.0;
      value(l[k]) = Round(ASalinity ? mid + jump : mid - jump, 3);
      return true;
    }
    return false;
  }

  bool AddInversion(TDemoStation &S)
  {
    // A level in the surface layer lighter than the one above it by 0.04.
    std::vector<TDemoLevel> &l = S.Pts;
    for (size_t k = 1; k + 1 < l.size() && l[k].Pres <= 60; ++k) {
      const double t = *l[k - 1].Temp, s = *l[k - 1].Psal;
      const double alpha = (DemoSeaWaterDensity(t, s) - DemoSeaWaterDensity(t + 0.1, s)) / 0.1;
      if (alpha < 0.02 || k < 2)
        continue;
      l[k].Temp = Round(t + 0.04 / alpha, 3);
      l[k].Psal = s;
      return true;
    }
    return false;
  }

  // A station of another ship and country that took the same cast as
  // station AStation of cruise ACruise: a fraction of a mile off, a quarter
  // of an hour later, on a cruise that crosses the first one there.
  bool PlantDuplicate()
  {
    std::vector<size_t> targets;
    for (size_t c = 0; c < Db.Cruises.size(); ++c)
      if (Db.Cruises[c].Stations.size() >= 6)
        targets.push_back(c);
    for (int attempt = 0; attempt < 400; ++attempt) {
      const TDemoCruise &a = Db.Cruises[targets[Rnd.Next() % targets.size()]];
      const size_t j = static_cast<size_t>(Rnd.Int(2, static_cast<int>(a.Stations.size()) - 3));
      const TDemoStation &aj = a.Stations[j];
      if (Used.count(aj.IdCast))
        continue;
      TSite dup;
      const double lat = Round(aj.Lat + 0.15 / 60.0, 4);
      const double lon = Round(aj.Lon + 0.2 / (60.0 * std::cos(aj.Lat * Deg)), 4);
      if (!Site(a.Sea, lon, lat, dup))
        continue;
      const int before = DuplicateCruiseStations / 2, after = DuplicateCruiseStations - 1 - before;
      std::vector<TSite> back{dup}, ahead{dup};
      double heading = Rnd.Uniform(0, 2 * Pi), reverse = heading + Pi;
      while (static_cast<int>(back.size()) <= before && NextSite(back.back(), reverse, dup))
        back.push_back(dup);
      while (static_cast<int>(ahead.size()) <= after && NextSite(ahead.back(), heading, dup))
        ahead.push_back(dup);
      if (static_cast<int>(back.size()) <= before || static_cast<int>(ahead.size()) <= after)
        continue;
      std::vector<TSite> sites(back.rbegin(), back.rend());
      sites.insert(sites.end(), ahead.begin() + 1, ahead.end());
      const TShipDef &ship = PickShip(a.Sea, a.ShipCode);
      // A short bottle survey of the upper layer with all the chemistry.
      const TKind kind = TKind::Bottle;
      const double limit = 50;
      TDemoCruise b = NewCruise(static_cast<int>(Db.Cruises.size()) + 1, a.Sea, ship, aj.Moment(), Rnd.Int(10, 60));
      b.Params = {"PRESS", "TEMP", "PSAL", "NO3", "DOX1"};
      b.Stations.assign(sites.size(), TDemoStation{});
      for (size_t i = 0; i < sites.size(); ++i) {
        b.Stations[i].Lon = sites[i].Lon;
        b.Stations[i].Lat = sites[i].Lat;
        b.Stations[i].Depth = sites[i].Depth;
      }
      // Times backwards from the duplicate, a quarter of an hour after the
      // first ship's cast, then forwards as any cruise.
      const size_t d = back.size() - 1;
      std::vector<TDemoStation> tail(b.Stations.begin() + static_cast<long>(d), b.Stations.end());
      std::vector<TSite> tailSites(sites.begin() + static_cast<long>(d), sites.end());
      TimeStations(tail, tailSites, kind, limit, aj.Moment() + 15.0 / 1440.0);
      std::copy(tail.begin(), tail.end(), b.Stations.begin() + static_cast<long>(d));
      for (size_t i = d; i-- > 0;) {
        TDemoStation &s = b.Stations[i];
        const TDemoStation &n = b.Stations[i + 1];
        double hours = StationHours(std::min(sites[i].MaxPres, limit), kind) +
                       TrueMiles(s.Lon, s.Lat, n.Lon, n.Lat) / Rnd.Uniform(8, 10);
        SetMoment(s, n.Moment() - hours / 24.0);
        while (!(TDemoAudit::Speed(s, n) < 11.5)) {
          hours += 0.5;
          SetMoment(s, n.Moment() - hours / 24.0);
        }
      }
      NameStations(b);
      if (!FillProfiles(b, sites, kind, limit))
        continue;
      // The full-cruise search with no additions finds the first ship's
      // station only strictly inside the second cruise's box and time span.
      double x0 = 1e9, x1 = -1e9, y0 = 1e9, y1 = -1e9, t0 = 1e9, t1 = -1e9;
      for (const TDemoStation &s : b.Stations) {
        x0 = std::min(x0, s.Lon), x1 = std::max(x1, s.Lon), y0 = std::min(y0, s.Lat), y1 = std::max(y1, s.Lat);
        t0 = std::min(t0, s.Moment()), t1 = std::max(t1, s.Moment());
      }
      if (!(x0 < aj.Lon && aj.Lon < x1 && y0 < aj.Lat && aj.Lat < y1 && t0 < aj.Moment() && aj.Moment() < t1))
        continue;
      TDemoDatabase pair;
      pair.Cruises = {a, b};
      const std::vector<TDemoFinding> found = Audit.Duplicates(pair);
      if (found.size() != 1 || found[0].IdCast != b.Stations[d].IdCast)
        continue;
      TDemoFinding f = found[0];
      f.Cause = "planted";
      Manifest.push_back(f);
      Used.insert(f.IdCast);
      Used.insert(aj.IdCast);
      AddCruise(std::move(b));
      return true;
    }
    return false;
  }

  // ---- the whole database ----------------------------------------------

  // The crossing cruise of the planted duplicate: three stations before the
  // duplicate and three after it.
  static constexpr int DuplicateCruiseStations = 7;

  struct TPlan {
    std::string Sea;
    int Stations;
    TKind Kind;
    double CastLimit;
  };

  // Makes the planned cruise from AStart on and moves AStart past its end.
  void AddPlanned(const TPlan &P, double &AStart, double AGapLow, double AGapHigh, std::map<std::string, int> &ANumbers,
                  bool &AChemistry)
  {
    const TShipDef &ship = PickShip(P.Sea);
    const int number = (ANumbers[ship.Code] += Rnd.Int(1, 4));
    TDemoCruise c = NewCruise(static_cast<int>(Db.Cruises.size()) + 1, P.Sea, ship, AStart + 0.5, number);
    c.Params = PickParams(P.Kind);
    if (P.Kind == TKind::Bottle && !AChemistry)
      c.Params = {"PRESS", "TEMP", "PSAL", "NO3", "DOX1"}; // the first bottle cruise has both
    AChemistry = AChemistry || c.Params.size() > 3;
    if (!MakeCruise(c, P.Stations, AStart + Rnd.Uniform(0.25, 0.75), P.Kind, P.CastLimit))
      throw std::runtime_error("no clean cruise could be made in the " + P.Sea);
    const double end = c.Stations.back().Moment();
    AddCruise(std::move(c));
    AStart = std::floor(end) + Rnd.Uniform(AGapLow, AGapHigh);
  }

  TDemoDatabase Generate(std::vector<TDemoFinding> &AManifest)
  {
    for (const TDemoCountry &c : Countries)
      Db.Countries.push_back(c);
    for (const TShipDef &s : Ships)
      Db.Ships.push_back({s.Code, s.Name, s.Country});

    std::vector<TPlan> plan;
    double start = 0, gapLow = 0, gapHigh = 0;
    if (Size == TDemoSize::Tiny) {
      plan = {{"BS", 8, TKind::Ctd, 1500}, {"MS", 8, TKind::Bottle, 5000}, {"MS", 8, TKind::Ctd, 1000}};
      start = DemoDayNumber(2005, 4, 11);
      gapLow = 40, gapHigh = 90;
    } else if (Size == TDemoSize::Demo) {
      for (int i = 0; i < 29; ++i) {
        const TKind kind = Rnd.Uniform() < 0.6 ? TKind::Ctd : TKind::Bottle;
        plan.push_back({i % 2 == 0 ? "BS" : "MS", Rnd.Int(20, 60), kind, CastLimit()});
      }
      start = DemoDayNumber(1991, 3, 2);
      gapLow = 60, gapHigh = 250;
    } else {
      // Cruises of 50 until the last, which takes what is left of 100,000
      // stations less the crossing cruise of the planted duplicate.
      start = DemoDayNumber(1950, 1, 16);
      gapLow = 1, gapHigh = 3;
    }
    std::map<std::string, int> numbers;
    bool chemistry = false;
    for (const TPlan &p : plan)
      AddPlanned(p, start, gapLow, gapHigh, numbers, chemistry);
    const size_t largeTotal = 100000 - DuplicateCruiseStations;
    for (int i = 0; Size == TDemoSize::Large && Db.StationCount() < largeTotal; ++i) {
      const int want = static_cast<int>(std::min<size_t>(50, largeTotal - Db.StationCount()));
      AddPlanned({i % 2 == 0 ? "BS" : "MS", want, Rnd.Uniform() < 0.6 ? TKind::Ctd : TKind::Bottle, 5000}, start,
                 gapLow, gapHigh, numbers, chemistry);
    }
    PlantAll();
    if (!PlantDuplicate())
      throw std::runtime_error("no cruise could be laid across another for the planted duplicate");

    if (Size != TDemoSize::Large) {
      // The whole database once more: it must hold exactly the manifest.
      std::multiset<std::string> want, got;
      for (const TDemoFinding &f : Manifest)
        want.insert(f.Key());
      for (const TDemoFinding &f : Audit.Run(Db))
        got.insert(f.Key());
      if (want != got)
        throw std::runtime_error("the database holds faults that the manifest does not list, or lacks some");
    }
    std::stable_sort(Manifest.begin(), Manifest.end(), [](const TDemoFinding &a, const TDemoFinding &b) {
      return a.IdCast != b.IdCast ? a.IdCast < b.IdCast : a.Pres.value_or(-1) < b.Pres.value_or(-1);
    });
    AManifest = Manifest;
    return std::move(Db);
  }
};

TDemoGenerator::TDemoGenerator(const TDemoInputs &AInputs, TDemoSize ASize, uint64_t ASeed)
    : FImpl(std::make_unique<TImpl>(AInputs, ASize, ASeed))
{
}

TDemoGenerator::~TDemoGenerator() = default;

TDemoDatabase TDemoGenerator::Generate(std::vector<TDemoFinding> &AManifest) { return FImpl->Generate(AManifest); }

} // namespace demogen
