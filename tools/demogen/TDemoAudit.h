// The demo database's own fault finder. It looks at stations and levels the
// way the program's automatic checks do with their default settings (speed
// limit 12 knots, depth tolerance 10 %, 3 standard deviations, spikes above
// 10 % of the profile's range per decibar, two-sided) and reports every
// fault as a finding. The generator uses it to keep its clean stations
// clean and to write the manifest; the tests use it on a database read back
// from its file.
#pragma once

#include "tools/demogen/TDemoClimatology.h"
#include "tools/demogen/TDemoModel.h"

#include <string>
#include <vector>

namespace demogen {

class TDemoGrid;
class TDemoContour;
class TDemoSquares;

struct TDemoAuditSettings {
  double VelocityLimitKnots = 12;
  double DepthTolerancePct = 10;
  double NStdDev = 3;
  double RelativeJumpPct = 10;
  // Two stations of different cruises closer than this are duplicates.
  double DuplicateMinutes = 1; // arc minutes
  double DuplicateHours = 1;
  // Values are stored to three decimals; a value this close to the edge
  // of a band is not taken as clear of it.
  double BandMargin = 0.001;
  // The location check looks stations up in the contour drawn into pixels
  // of about 0.0011 degrees (its full view, 56 by 20 degrees, on 50000 by
  // 22000 pixels); a station closer to an edge than a few of them is not
  // taken as clear on either side.
  double ContourMargin = 0.005; // degrees
};

// Seawater density at one atmosphere (UNESCO EOS-80), kg/m3.
double DemoSeaWaterDensity(double ATemp, double ASal);

class TDemoAudit {
public:
  TDemoAudit(const TDemoGrid &AGrid, const TDemoContour &AContour, const TDemoSquares &ASquares,
             const TDemoClimatology &AClim, TDemoAuditSettings ASettings = {});

  // Every finding of a database, cruise by cruise, then the duplicates.
  std::vector<TDemoFinding> Run(const TDemoDatabase &ADb) const;
  // Station findings of one cruise (in date and time order) and the level
  // findings of its stations.
  std::vector<TDemoFinding> Cruise(const TDemoCruise &ACruise) const;
  // Level findings of one station.
  std::vector<TDemoFinding> Levels(const TDemoStation &AStation) const;
  // Duplicate pairs across cruises, each reported at the later station.
  std::vector<TDemoFinding> Duplicates(const TDemoDatabase &ADb) const;

  // Speed in knots between two stations as the velocity check reckons it.
  static double Speed(const TDemoStation &AFrom, const TDemoStation &ATo);
  // Whether the data checks look at a station's levels at all: checked
  // stations (east of -5.6) in a square of either sea; ASquare, when given,
  // takes the square's name.
  bool DataChecked(const TDemoStation &AStation, std::string *ASquare = nullptr) const;
  // The climatic profile of a parameter that the data checks select for a
  // station; nullptr when there is none or the checks pass the station by.
  const TDemoClimatology::TProfile *ClimProfile(const TDemoStation &AStation,
                                                         const std::string &AParam) const;
  // Deepest level of that profile, 0 without one: the range, inversion and
  // bottom verdicts of deeper levels are cleared.
  double DeepestClimLevel(const TDemoStation &AStation, const std::string &AParam) const;
  // Climatic band of a level under every interpolation the range test may
  // use: false when the test gives the level no verdict.
  bool ClimaticBand(const TDemoStation &AStation, const std::string &AParam, double APres,
                    TDemoClimatology::TBand &AOut) const;
  // The grid's deepest node about a station as the bottom check takes it.
  bool GridDepthMin(const TDemoStation &AStation, double &AOut) const;
  // The four grid nodes the depth and bottom checks judge a station by:
  // those of the cell that holds it.
  bool StationNodes(const TDemoStation &AStation, double AOut[4]) const;

private:
  const TDemoGrid &FGrid;
  const TDemoContour &FContour;
  const TDemoSquares &FSquares;
  const TDemoClimatology &FClim;
  TDemoAuditSettings FSet;
};

} // namespace demogen
