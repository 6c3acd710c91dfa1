// Readers of the installation's geography files as the demo station database
// generator needs them: the bathymetry grid (Surfer "DSAA" text grid), the
// location-check contour (areas less holes, latitude first) and the QC-square
// files.  They stand apart from the program's own readers on purpose: the
// generator links nothing but SQLite, and answers questions the way the
// program's checks ask them (the grid cell that holds a station, squares
// looked up as the data checks look them up).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace demogen {

// Thrown for a file that is missing or not in its format.
struct EDemoFormat : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A bathymetry grid: elevations in metres, negative below sea level.
class TDemoGrid {
public:
  // Reads a "DSAA" text grid; throws EDemoFormat naming the file and the fault.
  static TDemoGrid Load(const std::string &APath);

  int NX() const { return FNX; }
  int NY() const { return FNY; }
  double XMin() const { return FXMin; }
  double XMax() const { return FXMax; }
  double YMin() const { return FYMin; }
  double YMax() const { return FYMax; }
  double ZMin() const { return FZMin; }
  double ZMax() const { return FZMax; }
  double Node(int ARow, int ACol) const { return FZ[static_cast<size_t>(ARow) * FNX + ACol]; }

  // The four nodes of the cell that holds the position: lower-left,
  // lower-right, upper-left, upper-right. False outside the grid.
  bool CellNodes(double ALon, double ALat, double AOut[4]) const;
  // The four nodes of the cell whose lower-left node has the 1-based index
  // of the node nearest to the position (column and row rounded, ties to
  // even, plus one) taken as 0-based: the cell a mix-up of the two index
  // conventions reads, up to two cells north-east. False outside the grid.
  bool IndexNodes(double ALon, double ALat, double AOut[4]) const;
  // Elevation at a position, bilinear in its cell; false outside the grid.
  bool Elevation(double ALon, double ALat, double &AOut) const;

private:
  int FNX = 0, FNY = 0;
  double FXMin = 0, FXMax = 0, FYMin = 0, FYMax = 0, FZMin = 0, FZMax = 0;
  // The cell sizes as the program keeps them, in single precision, so that
  // the nearest node agrees with its index functions to the last bit.
  float FCellW = 0, FCellH = 0;
  std::vector<double> FZ;
};

// Depth window of the station depth check for four nodes and a tolerance in
// percent: an elevation passes when Low < -depth < High.
struct TDemoDepthWindow {
  double Low = 0, High = 0, Min = 0, Mean = 0;
  static TDemoDepthWindow Of(const double ANodes[4], double ATolerancePct);
  bool Holds(double AElevation) const { return Low < AElevation && AElevation < High; }
};

// The location-check contour: polygons of kind 0 are areas, any other kind
// holes; a point is in the region when it lies in an area and in no hole.
class TDemoContour {
public:
  struct TPolygon {
    bool Hole = false;
    std::vector<double> Lon, Lat;
    double LonMin = 0, LonMax = 0, LatMin = 0, LatMax = 0;
  };
  // Reads a contour file written latitude first.
  static TDemoContour Load(const std::string &APath);
  bool Inside(double ALon, double ALat) const;
  // Whether an edge of any polygon passes closer to the point than AMargin
  // (degrees, taken alike on both axes).
  bool NearEdge(double ALon, double ALat, double AMargin) const;
  const std::vector<TPolygon> &Polygons() const { return FPolygons; }

private:
  std::vector<TPolygon> FPolygons;
};

// The QC squares of both seas, looked up Black Sea first, the last square of
// a file that holds a point winning, edges included.
class TDemoSquares {
public:
  struct TSquare {
    double LonMin = 0, LatMin = 0, LonMax = 0, LatMax = 0;
    std::string Name;
  };
  static std::vector<TSquare> LoadFile(const std::string &APath);
  TDemoSquares(std::vector<TSquare> ABlackSea, std::vector<TSquare> AMediterranean)
      : FBs(std::move(ABlackSea)), FMs(std::move(AMediterranean)) {}
  // Square name of a point and its sea ("BS", "MS" or empty).
  std::string Find(double ALon, double ALat, std::string &ASea) const;
  const std::vector<TSquare> &BlackSea() const { return FBs; }
  const std::vector<TSquare> &Mediterranean() const { return FMs; }

private:
  std::vector<TSquare> FBs, FMs;
};

} // namespace demogen
