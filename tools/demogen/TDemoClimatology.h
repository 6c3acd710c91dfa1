// The climatology import files (REGION;Month;PRES;P_PAVG;P_PSTD;...) read
// into profiles by parameter, square and month, for the demo generator to
// draw its profiles from and for its audit to judge them by.
#pragma once

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace demogen {

class TDemoClimatology {
public:
  struct TLevel {
    double Pres = 0, Mean = 0, Std = 0;
  };
  using TProfile = std::vector<TLevel>;

  // Reads one import file and adds it; throws EDemoFormat for a malformed
  // header or row, a month outside 1..12, a repeated (region, month, pressure)
  // or pressures that do not grow within a region and month.
  void Load(const std::string &APath);

  // The levels of a parameter for a square and month (PSTD 0 rows left out,
  // as the data checks leave them out); nullptr when there are none.
  const TProfile *Profile(const std::string &AParam, const std::string &ARegion, int AMonth) const;
  // Mean and standard deviation at a pressure, linear between levels and
  // held constant beyond the last; false for a profile of fewer than two levels.
  static bool At(const TProfile &AProfile, double APres, double &AMean, double &AStd);

  // The climatic interval (mean -/+ ANStd standard deviations) at a pressure
  // as any interpolation of the profile may draw it: linear in the layer;
  // Reiniger-Ross, whose value lies between the parabolas through the
  // layer's neighbouring triples of levels; or, in the last layer, the line
  // through the two levels above it extended, as a four-point bracket
  // clamped at the foot of a profile draws it. A value between SureLow and
  // SureHigh passes under every one of them, a value below AnyLow or above
  // AnyHigh fails under every one; in between the verdict hangs on the
  // interpolation. False where the range test gives no verdict: fewer than
  // two levels, or the pressure not above the deepest level.
  struct TBand {
    double SureLow = 0, SureHigh = 0, AnyLow = 0, AnyHigh = 0;
  };
  static bool Band(const TProfile &AProfile, double APres, double ANStd, TBand &AOut);

  std::set<std::string> Params() const;
  std::set<std::string> Regions() const;
  size_t RowCount() const { return FRows; }

private:
  std::map<std::tuple<std::string, std::string, int>, TProfile> FProfiles;
  size_t FRows = 0;
};

} // namespace demogen
