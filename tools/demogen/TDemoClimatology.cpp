// Reader of the climatology import format for the demo generator.
#include "tools/demogen/TDemoClimatology.h"

#include "tools/demogen/TDemoGeography.h"
#include "tools/demogen/TDemoModel.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace demogen {

namespace {

std::vector<std::string> Split(const std::string &ALine, char ASep)
{
  // A separator at the end of the line adds no empty cell.
  std::vector<std::string> cells;
  size_t from = 0;
  while (from < ALine.size()) {
    size_t at = ALine.find(ASep, from);
    if (at == std::string::npos) {
      cells.push_back(ALine.substr(from));
      break;
    }
    cells.push_back(ALine.substr(from, at - from));
    from = at + 1;
  }
  return cells;
}

} // namespace

void TDemoClimatology::Load(const std::string &APath)
{
  std::ifstream in(APath);
  if (!in)
    throw EDemoFormat(APath + ": cannot be opened");
  std::string header;
  std::getline(in, header);
  if (!header.empty() && header.back() == '\r')
    header.pop_back();
  std::string head6 = header.substr(0, 6);
  for (char &c : head6)
    c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; // toupper leaves i alone under tr_TR
  if (head6 != "REGION" || header.size() < 7)
    throw EDemoFormat(APath + ": the header does not begin with REGION and a separator");
  const char sep = header[6];
  const std::vector<std::string> names = Split(header, sep);
  if (names.size() < 5)
    throw EDemoFormat(APath + ": the header names no value columns");
  // Value columns come in pairs: P_PAVG then P_PSTD (or P_PMIN then P_PMAX).
  std::vector<std::pair<std::string, bool>> pairs; // parameter, is mean/std
  for (size_t c = 3; c + 1 < names.size(); c += 2) {
    const size_t u1 = names[c].find('_'), u2 = names[c + 1].find('_');
    if (u1 == std::string::npos || u2 == std::string::npos ||
        names[c].substr(0, u1) != names[c + 1].substr(0, u2))
      throw EDemoFormat(APath + ": header columns " + names[c] + " and " + names[c + 1] + " are no pair");
    const std::string s1 = names[c].substr(u1 + 1), s2 = names[c + 1].substr(u2 + 1);
    if (!((s1 == "PAVG" && s2 == "PSTD") || (s1 == "PMIN" && s2 == "PMAX")))
      throw EDemoFormat(APath + ": header pair " + names[c] + ", " + names[c + 1] + " is neither PAVG/PSTD nor PMIN/PMAX");
    pairs.emplace_back(names[c].substr(0, u1), s1 == "PAVG");
  }
  std::string line;
  int lineNo = 1;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.empty())
      continue;
    const std::vector<std::string> cells = Split(line, sep);
    const std::string where = APath + ": line " + std::to_string(lineNo);
    if (cells.size() != names.size())
      throw EDemoFormat(where + " has " + std::to_string(cells.size()) + " cells instead of " +
                        std::to_string(names.size()));
    double month = 0, pres = 0;
    if (cells[0].empty() || !DemoNumber(cells[1], month) || !DemoNumber(cells[2], pres))
      throw EDemoFormat(where + ": region, month or pressure missing or not a number");
    if (month < 1 || month > 12 || month != static_cast<int>(month))
      throw EDemoFormat(where + ": month outside 1..12");
    for (size_t i = 0; i < pairs.size(); ++i) {
      double a = 0, b = 0;
      if (!DemoNumber(cells[3 + 2 * i], a) || !DemoNumber(cells[4 + 2 * i], b))
        throw EDemoFormat(where + ": a value is not a number");
      if (!pairs[i].second)
        continue; // ranges are not used by the generator
      if (b < 0)
        throw EDemoFormat(where + ": negative standard deviation");
      TProfile &p = FProfiles[{pairs[i].first, cells[0], static_cast<int>(month)}];
      if (!p.empty() && !(p.back().Pres < pres))
        throw EDemoFormat(where + ": pressure does not grow within its region and month");
      if (b != 0)
        p.push_back({pres, a, b});
    }
    ++FRows;
  }
}

const TDemoClimatology::TProfile *TDemoClimatology::Profile(const std::string &AParam,
                                                            const std::string &ARegion,
                                                            int AMonth) const
{
  auto it = FProfiles.find({AParam, ARegion, AMonth});
  return it == FProfiles.end() || it->second.empty() ? nullptr : &it->second;
}

bool TDemoClimatology::At(const TProfile &AProfile, double APres, double &AMean, double &AStd)
{
  if (AProfile.size() < 2)
    return false;
  if (APres <= AProfile.front().Pres) {
    AMean = AProfile.front().Mean;
    AStd = AProfile.front().Std;
    return true;
  }
  for (size_t i = 1; i < AProfile.size(); ++i)
    if (APres <= AProfile[i].Pres) {
      const TLevel &a = AProfile[i - 1], &b = AProfile[i];
      const double w = (APres - a.Pres) / (b.Pres - a.Pres);
      AMean = a.Mean + w * (b.Mean - a.Mean);
      AStd = a.Std + w * (b.Std - a.Std);
      return true;
    }
  AMean = AProfile.back().Mean;
  AStd = AProfile.back().Std;
  return true;
}

bool TDemoClimatology::Band(const TProfile &P, double APres, double ANStd, TBand &AOut)
{
  if (P.size() < 2 || !(APres < P.back().Pres))
    return false;
  // The layer between levels k and k + 1 that holds the pressure (the first
  // layer for a pressure above the first level).
  size_t k = 0;
  while (k + 2 < P.size() && P[k + 1].Pres <= APres)
    ++k;
  double meanLo = 1e300, meanHi = -1e300, stdLo = 1e300, stdHi = -1e300;
  auto take = [&](double AMean, double AStd) {
    meanLo = std::min(meanLo, AMean), meanHi = std::max(meanHi, AMean);
    stdLo = std::min(stdLo, AStd), stdHi = std::max(stdHi, AStd);
  };
  auto line = [&](size_t a, size_t b) {
    const double w = (APres - P[a].Pres) / (P[b].Pres - P[a].Pres);
    take(P[a].Mean + w * (P[b].Mean - P[a].Mean), P[a].Std + w * (P[b].Std - P[a].Std));
  };
  auto parabola = [&](size_t a) {
    double mean = 0, std = 0;
    for (size_t i = a; i < a + 3; ++i) {
      double w = 1;
      for (size_t j = a; j < a + 3; ++j)
        if (j != i)
          w *= (APres - P[j].Pres) / (P[i].Pres - P[j].Pres);
      mean += w * P[i].Mean;
      std += w * P[i].Std;
    }
    take(mean, std);
  };
  line(k, k + 1);
  if (k >= 1)
    parabola(k - 1);
  if (k + 2 < P.size())
    parabola(k);
  else if (k >= 1)
    line(k - 1, k);
  AOut.SureLow = meanHi - ANStd * stdLo;
  AOut.SureHigh = meanLo + ANStd * stdLo;
  AOut.AnyLow = meanLo - ANStd * stdHi;
  AOut.AnyHigh = meanHi + ANStd * stdHi;
  return true;
}

std::set<std::string> TDemoClimatology::Params() const
{
  std::set<std::string> out;
  for (const auto &[key, p] : FProfiles)
    out.insert(std::get<0>(key));
  return out;
}

std::set<std::string> TDemoClimatology::Regions() const
{
  std::set<std::string> out;
  for (const auto &[key, p] : FProfiles)
    out.insert(std::get<1>(key));
  return out;
}

} // namespace demogen
