// The demo station database generator: cruises of research ships in the
// Black Sea and the Mediterranean with their stations and profiles, made
// reproducibly from a seed, with faults of every kind that the automatic
// checks look for planted at known stations and levels.
//
// Tracks run on the sea of the location-check contour at ship speeds below
// the speed limit; station depths come from the bathymetry grid with a few
// percent of noise, and only where the depth check and the true cell of the
// station agree; profiles are the climatology of the station's square and
// month plus a smooth anomaly of at most about one standard deviation, made
// stable in density. Every clean cruise is audited as it is made and redrawn
// if the audit finds anything; every planted fault is audited as it is
// planted, so the manifest lists exactly what the data holds.
#pragma once

#include "tools/demogen/TDemoClimatology.h"
#include "tools/demogen/TDemoGeography.h"
#include "tools/demogen/TDemoModel.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace demogen {

// The installation files the generator samples, read from the data folder
// (Maps/out.grd, QCCont/ALL_.bln, Cfg/QuadrHMS.txt, Cfg/QuadrMedClim.txt,
// Clim/BlackSea_TS.txt, Clim/Mediterranean_TS.txt).
struct TDemoInputs {
  TDemoGrid Grid;
  TDemoContour Contour;
  std::unique_ptr<TDemoSquares> Squares;
  TDemoClimatology Clim;
  static TDemoInputs Load(const std::string &ADataDir);
};

enum class TDemoSize {
  Tiny,  // four cruises of 6 to 8 stations: every fault once (tests)
  Demo,  // 30 cruises of 20 to 60 stations: every fault twice
  Large, // 100,000 stations of 100 levels (benchmarks)
};

bool DemoSizeFromText(const std::string &AText, TDemoSize &AOut);

// splitmix64: small, fast and the same on every platform and library, so a
// seed gives the same database everywhere.
class TDemoRandom {
public:
  explicit TDemoRandom(uint64_t ASeed) : FState(ASeed) {}
  uint64_t Next();
  double Uniform(); // [0, 1)
  double Uniform(double ALow, double AHigh) { return ALow + (AHigh - ALow) * Uniform(); }
  int Int(int ALow, int AHigh); // inclusive
  double Normal();              // mean 0, deviation 1

private:
  uint64_t FState;
};

class TDemoGenerator {
public:
  TDemoGenerator(const TDemoInputs &AInputs, TDemoSize ASize, uint64_t ASeed);
  ~TDemoGenerator();

  // Makes the database; AManifest receives every fault it holds.
  TDemoDatabase Generate(std::vector<TDemoFinding> &AManifest);

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

} // namespace demogen
