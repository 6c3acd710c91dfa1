// Parameter names, dates and findings of the demo station database.
#include "tools/demogen/TDemoModel.h"

#include <charconv>
#include <cmath>

namespace demogen {

namespace {

// Civil date of a day number (proleptic Gregorian, days since 1899-12-30).
void CivilOf(double ADate, int &AYear, int &AMonth)
{
  const long z = static_cast<long>(std::floor(ADate)) - 25569 + 719468; // days since 0000-03-01
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  AMonth = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  AYear = static_cast<int>(yoe + era * 400 + (AMonth <= 2 ? 1 : 0));
}

} // namespace

double DemoDayNumber(int y, int m, int d)
{
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<double>(era * 146097 + doe - 719468 + 25569);
}

int DemoMonthOf(double ADate)
{
  int y = 0, m = 0;
  CivilOf(ADate, y, m);
  return m;
}

int DemoYearOf(double ADate)
{
  int y = 0, m = 0;
  CivilOf(ADate, y, m);
  return y;
}

const TDemoParamInfo *DemoParamInfo(const std::string &AAbbr)
{
  static const TDemoParamInfo infos[] = {
      {"PRESS", "PRESSURE", "DBAR"},       {"TEMP", "TEMPERATURE", "DEG C"}, {"PSAL", "PRACTICAL SALINITY", "PSU"},
      {"NO3", "NITRATE", "UMOL/L"},        {"DOX1", "DISSOLVED OXYGEN", "ML/L"},
  };
  for (const TDemoParamInfo &i : infos)
    if (AAbbr == i.Abbr)
      return &i;
  return nullptr;
}

std::string DemoFixed(double AValue, int ADecimals)
{
  char buf[400];
  const auto r = std::to_chars(buf, buf + sizeof buf, AValue, std::chars_format::fixed, ADecimals);
  return std::string(buf, r.ec == std::errc() ? r.ptr : buf);
}

bool DemoNumber(const std::string &AText, double &AOut)
{
  const char *first = AText.c_str(), *last = first + AText.size();
  while (first != last && (*first == ' ' || *first == '\t'))
    ++first;
  if (first != last && *first == '+' && last - first > 1 && first[1] != '-')
    ++first;
  const auto r = std::from_chars(first, last, AOut);
  return first != last && r.ec == std::errc() && r.ptr == last;
}

std::string TDemoFinding::Key() const
{
  const std::string pres = Pres ? DemoFixed(*Pres, 1) : "-";
  return Kind + "|" + std::to_string(IdCast) + "|" + pres + "|" + (Param.empty() ? "-" : Param);
}

} // namespace demogen
