// The demo station database in memory: countries, ships, cruises, stations
// and their levels, shaped as the main station database stores them, and the
// findings (faults) that the audit reports and the manifest lists.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace demogen {

// One level of PTS_Data.
struct TDemoLevel {
  double Pres = 0;
  std::optional<double> Temp, Psal;
};

// One level of a parameter's own table (NO3, DOX1).
struct TDemoChemLevel {
  double Pres = 0;
  std::optional<double> Value;
};

struct TDemoChemProfile {
  std::string Param;
  std::vector<TDemoChemLevel> Levels;
};

// A station (cast). Date is the day (days since 1899-12-30, whole), Time the
// time of day as a fraction of a day (above 1 only where that fault is planted).
struct TDemoStation {
  int IdCast = 0, IdCruise = 0;
  double Date = 0, Time = 0;
  double Lon = 0, Lat = 0;
  double Depth = 0; // metres, 9999 = no depth
  std::string Name;
  std::vector<TDemoLevel> Pts;
  std::vector<TDemoChemProfile> Chem;
  double Moment() const { return Date + Time; }
};

struct TDemoCruise {
  int Id = 0;
  std::string Name, Mar, ShipCode, CountryCode;
  std::string Sea; // "BS" or "MS"
  std::vector<std::string> Params; // in the order of the Parameters rows: PRESS first
  std::vector<TDemoStation> Stations;
};

struct TDemoCountry {
  std::string Code, Name;
};

struct TDemoShip {
  std::string Code, Name, CountryCode;
};

struct TDemoDatabase {
  std::vector<TDemoCountry> Countries;
  std::vector<TDemoShip> Ships;
  std::vector<TDemoCruise> Cruises;
  size_t StationCount() const
  {
    size_t n = 0;
    for (const TDemoCruise &c : Cruises)
      n += c.Stations.size();
    return n;
  }
};

// Long name and unit of a parameter as the Parameters table gives them.
struct TDemoParamInfo {
  const char *Abbr, *Name, *Unit;
};
const TDemoParamInfo *DemoParamInfo(const std::string &AAbbr);

// Number text with "." whatever locale the process set (the program's tests
// run the generator inside a process whose window toolkit took the locale
// from the environment): printf's "%.Nf", and strtod over the whole text.
std::string DemoFixed(double AValue, int ADecimals);
bool DemoNumber(const std::string &AText, double &AOut);

// Dates as the station database keeps them: days since 1899-12-30.
double DemoDayNumber(int AYear, int AMonth, int ADay);
int DemoMonthOf(double ADate);
int DemoYearOf(double ADate);

// A fault found in the data. Kind is one of: duplicate, land, speed, time,
// depth, nodepth (station faults; Pres empty), bottom, range, spike,
// inversion, repeated, missing (level faults); or unsure, a level whose
// verdict hangs on how the checks interpolate the climatology or a station
// whose location verdict hangs on the pixels of the location check's
// region, which the generator never keeps and no manifest lists. Cause is
// "planted" for a fault put there on purpose, "follows <kind>" for one that
// a planted fault brings with it at the same station.
struct TDemoFinding {
  std::string Kind;
  int IdCruise = 0, IdCast = 0;
  std::optional<double> Pres;
  std::string Param; // TEMP, PSAL, DENS, NO3, DOX1 or empty
  std::string Cause;
  std::string Detail;
  // Kind, station, level and parameter: what a test compares.
  std::string Key() const;
};

} // namespace demogen
