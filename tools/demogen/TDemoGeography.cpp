// Readers of the grid, contour and square files for the demo generator.
#include "tools/demogen/TDemoGeography.h"
#include "tools/demogen/TDemoModel.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace demogen {

namespace {

std::string StripCr(std::string ALine)
{
  if (!ALine.empty() && ALine.back() == '\r')
    ALine.pop_back();
  return ALine;
}

[[noreturn]] void Fail(const std::string &APath, const std::string &AWhat)
{
  throw EDemoFormat(APath + ": " + AWhat);
}

// A text file read line by line, counting lines for the messages.
class TLineReader {
public:
  explicit TLineReader(const std::string &APath) : FPath(APath), FIn(APath)
  {
    if (!FIn)
      demogen::Fail(APath, "cannot be opened");
  }
  // The next line (without a trailing carriage return); false at the end.
  bool Next(std::string &ALine)
  {
    if (!std::getline(FIn, ALine))
      return false;
    ++FLineNo;
    ALine = StripCr(ALine);
    return true;
  }
  // The next line that is not blank.
  bool NextFilled(std::string &ALine)
  {
    while (Next(ALine))
      if (ALine.find_first_not_of(" \t") != std::string::npos)
        return true;
    return false;
  }
  [[noreturn]] void Fail(const std::string &AWhat) const
  {
    demogen::Fail(FPath, "line " + std::to_string(FLineNo) + " " + AWhat);
  }
  int LineNo() const { return FLineNo; }

private:
  std::string FPath;
  std::ifstream FIn;
  int FLineNo = 0;
};

} // namespace

TDemoGrid TDemoGrid::Load(const std::string &APath)
{
  std::ifstream in(APath);
  if (!in)
    Fail(APath, "cannot be opened");
  std::string first;
  std::getline(in, first);
  if (first != "DSAA")
    Fail(APath, "the first line is not \"DSAA\"");
  TDemoGrid g;
  if (!(in >> g.FNX >> g.FNY >> g.FXMin >> g.FXMax >> g.FYMin >> g.FYMax >> g.FZMin >> g.FZMax))
    Fail(APath, "the header lines 2 to 5 are not numbers");
  if (g.FNX < 2 || g.FNY < 2 || g.FNX > 65535 || g.FNY > 65535)
    Fail(APath, "the node counts must lie between 2 and 65535");
  if (!(g.FXMin < g.FXMax) || !(g.FYMin < g.FYMax) || g.FZMin > g.FZMax)
    Fail(APath, "the header's ranges are empty or reversed");
  g.FCellW = static_cast<float>((g.FXMax - g.FXMin) / (g.FNX - 1));
  g.FCellH = static_cast<float>((g.FYMax - g.FYMin) / (g.FNY - 1));
  const size_t n = static_cast<size_t>(g.FNX) * g.FNY;
  // Every value takes a digit and a blank at least: a header that promises
  // more nodes than the rest of the file can hold is wrong or the file cut,
  // and making room for its nodes could ask for gigabytes.
  std::error_code sizeError;
  const uintmax_t fileSize = std::filesystem::file_size(APath, sizeError);
  const std::streamoff at = in.tellg();
  if (sizeError || at < 0 || n > (fileSize - static_cast<uintmax_t>(at) + 1) / 2)
    Fail(APath, "the header promises " + std::to_string(n) + " values, more than the file can hold");
  g.FZ.reserve(n);
  std::string token;
  while (in >> token) {
    double v = 0;
    if (!DemoNumber(token, v))
      Fail(APath, "value " + std::to_string(g.FZ.size() + 1) + " is not a number: " + token);
    if (g.FZ.size() == n)
      Fail(APath, "holds more values than nx x ny");
    // Surfer marks a blank node with 1.70141e38; the program keeps 9999.
    g.FZ.push_back(v >= 1e38 ? 9999.0 : v);
  }
  if (g.FZ.size() != n)
    Fail(APath, "holds " + std::to_string(g.FZ.size()) + " values instead of " + std::to_string(n));
  for (double z : g.FZ)
    if (z != 9999.0 && (z < g.FZMin || z > g.FZMax))
      Fail(APath, "a value lies outside the header's zmin..zmax");
  return g;
}

bool TDemoGrid::IndexNodes(double ALon, double ALat, double AOut[4]) const
{
  // Nearest node with ties to even (the default rounding mode), then + 1.
  const long col = std::lrint((ALon - FXMin) / FCellW) + 1;
  const long row = std::lrint((ALat - FYMin) / FCellH) + 1;
  if (col < 0 || col > FNX - 2 || row < 0 || row > FNY - 2)
    return false;
  AOut[0] = Node(row, col);
  AOut[1] = Node(row, col + 1);
  AOut[2] = Node(row + 1, col);
  AOut[3] = Node(row + 1, col + 1);
  return true;
}

bool TDemoGrid::CellNodes(double ALon, double ALat, double AOut[4]) const
{
  const double fx = (ALon - FXMin) / (FXMax - FXMin) * (FNX - 1);
  const double fy = (ALat - FYMin) / (FYMax - FYMin) * (FNY - 1);
  if (!(fx >= 0 && fy >= 0 && fx <= FNX - 1 && fy <= FNY - 1)) // NaN too
    return false;
  const int col = std::min(static_cast<int>(fx), FNX - 2);
  const int row = std::min(static_cast<int>(fy), FNY - 2);
  AOut[0] = Node(row, col);
  AOut[1] = Node(row, col + 1);
  AOut[2] = Node(row + 1, col);
  AOut[3] = Node(row + 1, col + 1);
  return true;
}

bool TDemoGrid::Elevation(double ALon, double ALat, double &AOut) const
{
  double z[4];
  if (!CellNodes(ALon, ALat, z))
    return false;
  const double fx = (ALon - FXMin) / (FXMax - FXMin) * (FNX - 1);
  const double fy = (ALat - FYMin) / (FYMax - FYMin) * (FNY - 1);
  const double u = fx - std::min(std::floor(fx), FNX - 2.0);
  const double v = fy - std::min(std::floor(fy), FNY - 2.0);
  AOut = (1 - v) * ((1 - u) * z[0] + u * z[1]) + v * ((1 - u) * z[2] + u * z[3]);
  return true;
}

TDemoDepthWindow TDemoDepthWindow::Of(const double ANodes[4], double ATolerancePct)
{
  TDemoDepthWindow w;
  w.Min = std::min({ANodes[0], ANodes[1], ANodes[2], ANodes[3]});
  const double max = std::max({ANodes[0], ANodes[1], ANodes[2], ANodes[3]});
  w.Mean = (ANodes[0] + ANodes[1] + ANodes[2] + ANodes[3]) / 4.0;
  w.Low = w.Min - std::fabs(w.Mean) * ATolerancePct / 100.0;
  w.High = max + std::fabs(w.Mean) * ATolerancePct / 100.0;
  return w;
}

TDemoContour TDemoContour::Load(const std::string &APath)
{
  TLineReader in(APath);
  TDemoContour c;
  std::string line;
  while (in.NextFilled(line)) {
    std::istringstream head(line);
    long n = 0, kind = 0;
    if (!(head >> n) || n < 0)
      in.Fail("is not a polygon header");
    if (!(head >> kind))
      kind = 0;
    const int start = in.LineNo();
    TPolygon p;
    p.Hole = kind != 0;
    for (long i = 0; i < n; ++i) {
      if (!in.Next(line))
        Fail(APath, "ends inside the polygon that starts at line " + std::to_string(start));
      std::istringstream pt(line);
      double lat = 0, lon = 0;
      if (!(pt >> lat >> lon))
        in.Fail("is not a point");
      if (lat < -90 || lat > 90 || lon < -180 || lon > 360)
        in.Fail("is not latitude then longitude");
      p.Lon.push_back(lon);
      p.Lat.push_back(lat);
    }
    if (!p.Lon.empty()) {
      p.LonMin = *std::min_element(p.Lon.begin(), p.Lon.end());
      p.LonMax = *std::max_element(p.Lon.begin(), p.Lon.end());
      p.LatMin = *std::min_element(p.Lat.begin(), p.Lat.end());
      p.LatMax = *std::max_element(p.Lat.begin(), p.Lat.end());
    }
    c.FPolygons.push_back(std::move(p));
  }
  return c;
}

namespace {

bool InPolygon(const TDemoContour::TPolygon &P, double ALon, double ALat)
{
  if (P.Lon.size() < 3 || ALon < P.LonMin || ALon > P.LonMax || ALat < P.LatMin || ALat > P.LatMax)
    return false;
  bool in = false;
  const size_t n = P.Lon.size();
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    if ((P.Lat[i] > ALat) != (P.Lat[j] > ALat) &&
        ALon < P.Lon[j] + (ALat - P.Lat[j]) * (P.Lon[i] - P.Lon[j]) / (P.Lat[i] - P.Lat[j]))
      in = !in;
  }
  return in;
}

} // namespace

bool TDemoContour::Inside(double ALon, double ALat) const
{
  bool area = false;
  for (const TPolygon &p : FPolygons)
    if (!p.Hole && InPolygon(p, ALon, ALat)) {
      area = true;
      break;
    }
  if (!area)
    return false;
  for (const TPolygon &p : FPolygons)
    if (p.Hole && InPolygon(p, ALon, ALat))
      return false;
  return true;
}

bool TDemoContour::NearEdge(double ALon, double ALat, double AMargin) const
{
  for (const TPolygon &p : FPolygons) {
    if (p.Lon.size() < 2 || ALon < p.LonMin - AMargin || ALon > p.LonMax + AMargin || ALat < p.LatMin - AMargin ||
        ALat > p.LatMax + AMargin)
      continue;
    for (size_t i = 0, j = p.Lon.size() - 1; i < p.Lon.size(); j = i++) {
      const double dx = p.Lon[i] - p.Lon[j], dy = p.Lat[i] - p.Lat[j], len2 = dx * dx + dy * dy;
      const double t = len2 > 0 ? std::clamp(((ALon - p.Lon[j]) * dx + (ALat - p.Lat[j]) * dy) / len2, 0.0, 1.0) : 0;
      const double ex = p.Lon[j] + t * dx - ALon, ey = p.Lat[j] + t * dy - ALat;
      if (ex * ex + ey * ey < AMargin * AMargin)
        return true;
    }
  }
  return false;
}

std::vector<TDemoSquares::TSquare> TDemoSquares::LoadFile(const std::string &APath)
{
  TLineReader in(APath);
  std::vector<TSquare> out;
  std::string line;
  while (in.NextFilled(line)) {
    std::istringstream s(line);
    TSquare q;
    if (!(s >> q.LonMin >> q.LatMin >> q.LonMax >> q.LatMax))
      in.Fail("does not start with four numbers");
    if (!(q.LonMin < q.LonMax) || !(q.LatMin < q.LatMax))
      in.Fail("is an empty square");
    std::getline(s, q.Name);
    q.Name.erase(0, q.Name.find_first_not_of(" \t"));
    if (q.Name.empty())
      in.Fail("has no square name");
    out.push_back(std::move(q));
  }
  if (out.empty())
    Fail(APath, "holds no square");
  return out;
}

std::string TDemoSquares::Find(double ALon, double ALat, std::string &ASea) const
{
  auto look = [&](const std::vector<TSquare> &AList) {
    std::string name;
    for (const TSquare &q : AList)
      if (q.LonMin <= ALon && ALon <= q.LonMax && q.LatMin <= ALat && ALat <= q.LatMax)
        name = q.Name;
    return name;
  };
  std::string name = look(FBs);
  ASea = name.empty() ? "" : "BS";
  if (name.empty()) {
    name = look(FMs);
    ASea = name.empty() ? "" : "MS";
  }
  return name;
}

} // namespace demogen
