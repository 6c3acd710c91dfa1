// The demo database's fault finder.
#include "tools/demogen/TDemoAudit.h"

#include "tools/demogen/TDemoClimatology.h"
#include "tools/demogen/TDemoGeography.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace demogen {

namespace {

// Stations west of this longitude are not checked at all.
constexpr double CheckedFromLon = -5.6;

double Tenth(double AValue) { return std::nearbyint(AValue * 10.0) / 10.0; }

TDemoFinding Found(const char *AKind, const TDemoStation &AStation, std::optional<double> APres = {},
                   std::string AParam = {}, std::string ADetail = {})
{
  TDemoFinding f;
  f.Kind = AKind;
  f.IdCruise = AStation.IdCruise;
  f.IdCast = AStation.IdCast;
  f.Pres = APres;
  f.Param = std::move(AParam);
  f.Detail = std::move(ADetail);
  return f;
}

// AFormat with its "%.Nf" replaced by A, then B.
std::string Fmt(const char *AFormat, double A, double B = 0)
{
  const double args[2] = {A, B};
  int next = 0;
  std::string out;
  for (const char *p = AFormat; *p; ++p) {
    if (p[0] == '%' && p[1] == '.' && p[2] >= '0' && p[2] <= '9' && p[3] == 'f') {
      out += DemoFixed(args[next++ % 2], p[2] - '0');
      p += 3;
    } else {
      out += *p;
    }
  }
  return out;
}

} // namespace

double DemoSeaWaterDensity(double T, double S)
{
  const double rw = 999.842594 + 0.06793952 * T - 0.00909529 * T * T + 0.0001001685 * T * T * T -
                    0.000001120083 * T * T * T * T + 0.000000006536332 * T * T * T * T * T;
  const double a = 0.824493 - 0.0040899 * T + 0.000076438 * T * T - 0.00000082467 * T * T * T +
                   0.0000000053875 * T * T * T * T;
  const double b = -0.00572466 + 0.00010227 * T - 0.0000016546 * T * T;
  const double c = 0.00048314;
  if (S == 0)
    S = 0.1;
  return rw + a * S + b * std::exp(1.5 * std::log(S)) + c * S * S;
}

TDemoAudit::TDemoAudit(const TDemoGrid &AGrid, const TDemoContour &AContour, const TDemoSquares &ASquares,
                       const TDemoClimatology &AClim, TDemoAuditSettings ASettings)
    : FGrid(AGrid), FContour(AContour), FSquares(ASquares), FClim(AClim), FSet(ASettings)
{
}

double TDemoAudit::Speed(const TDemoStation &AFrom, const TDemoStation &ATo)
{
  // The velocity check reckons distances with the cosine of 40 degrees
  // whatever the latitude.
  const double dx = (ATo.Lon - AFrom.Lon) * 60.0 * std::cos(0.6981317007977318);
  const double dy = (ATo.Lat - AFrom.Lat) * 60.0;
  const double dt = (ATo.Moment() - AFrom.Moment()) * 24.0;
  return dt == 0 ? 10000.0 : std::sqrt(dx * dx + dy * dy) / dt;
}

bool TDemoAudit::StationNodes(const TDemoStation &AStation, double AOut[4]) const
{
  return FGrid.CellNodes(AStation.Lon, AStation.Lat, AOut);
}

bool TDemoAudit::GridDepthMin(const TDemoStation &AStation, double &AOut) const
{
  double z[4];
  if (!StationNodes(AStation, z))
    return false;
  AOut = std::min({z[0], z[1], z[2], z[3]});
  return true;
}

bool TDemoAudit::DataChecked(const TDemoStation &AStation, std::string *ASquare) const
{
  std::string sea;
  const std::string square = FSquares.Find(AStation.Lon, AStation.Lat, sea);
  if (ASquare)
    *ASquare = square;
  return !sea.empty() && !(AStation.Lon < CheckedFromLon);
}

const TDemoClimatology::TProfile *TDemoAudit::ClimProfile(const TDemoStation &AStation,
                                                          const std::string &AParam) const
{
  std::string square;
  return DataChecked(AStation, &square) ? FClim.Profile(AParam, square, DemoMonthOf(AStation.Date)) : nullptr;
}

double TDemoAudit::DeepestClimLevel(const TDemoStation &AStation, const std::string &AParam) const
{
  const TDemoClimatology::TProfile *p = ClimProfile(AStation, AParam);
  return p ? p->back().Pres : 0;
}

bool TDemoAudit::ClimaticBand(const TDemoStation &AStation, const std::string &AParam, double APres,
                              TDemoClimatology::TBand &AOut) const
{
  const TDemoClimatology::TProfile *p = ClimProfile(AStation, AParam);
  return p && TDemoClimatology::Band(*p, APres, FSet.NStdDev, AOut);
}

std::vector<TDemoFinding> TDemoAudit::Levels(const TDemoStation &S) const
{
  std::vector<TDemoFinding> out;
  for (const TDemoChemProfile &c : S.Chem)
    for (const TDemoChemLevel &l : c.Levels)
      if (!l.Value)
        out.push_back(Found("missing", S, l.Pres, c.Param));
  // The level checks run only where the station lies in a square; their
  // flags of levels at or below a parameter's deepest climatic level are
  // cleared, except a missing value's and the spike test's.
  if (!DataChecked(S))
    return out;
  const double deepestT = DeepestClimLevel(S, "TEMP"), deepestS = DeepestClimLevel(S, "PSAL");
  double gridMin = 0;
  const bool inGrid = GridDepthMin(S, gridMin);
  std::vector<const TDemoLevel *> used; // levels the checks look at, in order
  for (size_t i = 0; i < S.Pts.size(); ++i) {
    const TDemoLevel &l = S.Pts[i];
    if (i > 0 && Tenth(l.Pres) == Tenth(S.Pts[i - 1].Pres)) {
      out.push_back(Found("repeated", S, l.Pres, {}, "same pressure as the level before"));
      continue;
    }
    used.push_back(&l);
    if (!l.Temp)
      out.push_back(Found("missing", S, l.Pres, "TEMP"));
    if (!l.Psal)
      out.push_back(Found("missing", S, l.Pres, "PSAL"));
    // The pressure flag is the temperature pass's; a missing temperature
    // keeps it at the deepest level itself.
    if (inGrid && !(-l.Pres > gridMin) && (l.Pres < deepestT || (l.Pres == deepestT && !l.Temp)))
      out.push_back(Found("bottom", S, l.Pres, {}, Fmt("grid bottom %.0f m", -gridMin)));
  }
  // Density inversions over levels with both temperature and salinity,
  // flagged on both parameters.
  double prev = -1.0;
  for (const TDemoLevel *l : used) {
    if (!l->Temp || !l->Psal)
      continue;
    const double rho = DemoSeaWaterDensity(*l->Temp, *l->Psal);
    if (prev != -1.0 && !(rho - prev > -0.01)) {
      const bool onT = l->Pres < deepestT, onS = l->Pres < deepestS;
      if (onT && onS)
        out.push_back(Found("inversion", S, l->Pres, "DENS", Fmt("density falls by %.3f", prev - rho)));
      else if (onT || onS)
        out.push_back(Found("unsure", S, l->Pres, "DENS", "an inversion flagged on one parameter only"));
    }
    prev = rho;
  }
  for (const char *param : {"TEMP", "PSAL"}) {
    auto value = [&](const TDemoLevel &l) { return param[0] == 'T' ? l.Temp : l.Psal; };
    double lo = 1e300, hi = -1e300;
    for (const TDemoLevel &l : S.Pts)
      if (auto v = value(l)) {
        lo = std::min(lo, *v);
        hi = std::max(hi, *v);
      }
    // Climatic range: clear inside or clear outside the band, whatever the
    // interpolation; a value between is a verdict that cannot be foretold.
    for (const TDemoLevel *l : used) {
      TDemoClimatology::TBand b;
      auto v = value(*l);
      if (!v || !ClimaticBand(S, param, l->Pres, b))
        continue;
      const double m = FSet.BandMargin;
      if (*v < b.AnyLow - m || *v > b.AnyHigh + m)
        out.push_back(Found("range", S, l->Pres, param, Fmt("outside %.3f .. %.3f", b.AnyLow, b.AnyHigh)));
      else if (!(b.SureLow + m <= *v && *v <= b.SureHigh - m))
        out.push_back(Found("unsure", S, l->Pres, param,
                            Fmt("near the edge of %.3f .. %.3f", b.SureLow, b.SureHigh)));
    }
    // Two-sided spikes: a step up and a step back, both steeper than the
    // threshold, reported at the level between them.
    const double threshold = FSet.RelativeJumpPct * 0.01 * ((hi + 0.5) - (lo - 0.5));
    const TDemoLevel *before = nullptr, *last = nullptr;
    double dv = 0, dp = 0;
    for (const TDemoLevel *l : used) {
      auto v = value(*l);
      if (!v)
        continue;
      if (last) {
        const double pdv = dv, pdp = dp;
        dv = *v - *value(*last);
        dp = l->Pres - last->Pres;
        if (before && dp != 0 && pdp != 0 && std::fabs(pdv) / pdp > threshold &&
            std::fabs(dv) / dp > threshold && dv * pdv < 0.0)
          out.push_back(Found("spike", S, last->Pres, param, Fmt("jump %.3f per dbar", std::fabs(pdv) / pdp)));
      }
      before = last;
      last = l;
    }
  }
  return out;
}

std::vector<TDemoFinding> TDemoAudit::Cruise(const TDemoCruise &C) const
{
  std::vector<const TDemoStation *> order;
  for (const TDemoStation &s : C.Stations)
    order.push_back(&s);
  // Stations are checked in date and time order.
  std::stable_sort(order.begin(), order.end(), [](const TDemoStation *a, const TDemoStation *b) {
    return a->Date != b->Date ? a->Date < b->Date : a->Time < b->Time;
  });
  std::vector<TDemoFinding> out;
  const TDemoStation *ref = nullptr;
  for (const TDemoStation *s : order) {
    if (s->Lon < CheckedFromLon)
      continue;
    if (FContour.NearEdge(s->Lon, s->Lat, FSet.ContourMargin))
      out.push_back(Found("unsure", *s, {}, {}, Fmt("%.4f %.4f is on the contour's edge", s->Lon, s->Lat)));
    else if (!FContour.Inside(s->Lon, s->Lat))
      out.push_back(Found("land", *s, {}, {}, Fmt("%.4f %.4f is not in the sea", s->Lon, s->Lat)));
    if (s->Time > 1.0)
      out.push_back(Found("time", *s, {}, {}, Fmt("time of day %.4f", s->Time)));
    if (ref) {
      const double v = Speed(*ref, *s);
      if (!(FSet.VelocityLimitKnots > v))
        out.push_back(Found("speed", *s, {}, {}, Fmt("%.1f knots from the station before", v)));
    }
    ref = s;
    if (s->Depth == 9999) {
      out.push_back(Found("nodepth", *s));
    } else {
      double z[4];
      if (!StationNodes(*s, z)) {
        out.push_back(Found("depth", *s, {}, {}, "outside the grid"));
      } else {
        const TDemoDepthWindow w = TDemoDepthWindow::Of(z, FSet.DepthTolerancePct);
        if (!w.Holds(-s->Depth))
          out.push_back(Found("depth", *s, {}, {},
                              Fmt("depth %.0f m, grid %.0f m", s->Depth, -w.Mean)));
      }
    }
    std::vector<TDemoFinding> levels = Levels(*s);
    out.insert(out.end(), levels.begin(), levels.end());
  }
  return out;
}

std::vector<TDemoFinding> TDemoAudit::Duplicates(const TDemoDatabase &ADb) const
{
  std::vector<const TDemoStation *> all;
  for (const TDemoCruise &c : ADb.Cruises)
    for (const TDemoStation &s : c.Stations)
      all.push_back(&s);
  std::sort(all.begin(), all.end(),
            [](const TDemoStation *a, const TDemoStation *b) { return a->Moment() < b->Moment(); });
  const double dt = FSet.DuplicateHours / 24.0, dd = FSet.DuplicateMinutes / 60.0;
  std::vector<TDemoFinding> out;
  for (size_t i = 0; i < all.size(); ++i)
    for (size_t j = i + 1; j < all.size() && all[j]->Moment() - all[i]->Moment() < dt; ++j) {
      const TDemoStation *a = all[i], *b = all[j];
      if (a->IdCruise == b->IdCruise || std::fabs(a->Lon - b->Lon) >= dd || std::fabs(a->Lat - b->Lat) >= dd)
        continue;
      const TDemoStation *later = a->IdCast > b->IdCast ? a : b;
      const TDemoStation *other = later == a ? b : a;
      out.push_back(Found("duplicate", *later, {}, {},
                          "of station " + std::to_string(other->IdCast) + " of cruise " +
                              std::to_string(other->IdCruise)));
    }
  return out;
}

std::vector<TDemoFinding> TDemoAudit::Run(const TDemoDatabase &ADb) const
{
  std::vector<TDemoFinding> out;
  for (const TDemoCruise &c : ADb.Cruises) {
    std::vector<TDemoFinding> f = Cruise(c);
    out.insert(out.end(), f.begin(), f.end());
  }
  std::vector<TDemoFinding> d = Duplicates(ADb);
  out.insert(out.end(), d.begin(), d.end());
  return out;
}

} // namespace demogen
