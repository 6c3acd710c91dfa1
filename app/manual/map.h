// Map drawing and the geography files: the coastline from "map.bln", the
// stations of the shown cruise with their track and error colours, the QC
// squares, the extra polylines, the rubber band, the degree axes of the map
// and the decimal axes of the profile plot; and the look-up of the QC square
// (and sea) that holds a position.
//
// All map drawing goes through the shown element of the zoom stack onto
// MapScreenRect, x not inverted and y inverted (north up). Geography files
// are read when they change, not at every paint; a fault in one of them
// (a colour index outside the palette, axis settings without units or
// steps, a missing label-width file) is reported once per change of the
// file and that part is drawn without it.
#pragma once

#include "app/Globals.h"
#include "app/manual/Recalcs.h"

#include "platform/rtl/Classes.h"
#include "platform/toolkit/TRegion.h"

#include <map>
#include <string>
#include <vector>

class TCanvas;
class TField;
class TTimer;

extern TRealRectArr BsSquares;
extern TRealRectArr MsSquares;
extern rtl::TStringList BsSquareNames;
extern rtl::TStringList MsSquareNames;
extern std::string SeaCode; // "BS", "MS" or empty: the sea of the last FindSquare

extern TRealPointArr CruiseStationPos;
extern TPointArr CruiseStationPts;
extern std::vector<int> CruiseStationIds;
extern TRealPointArr DuplStationPos;
extern TPointArr DuplStationPts;
extern bool DrawTrack;
extern int CurStationIndex; // -1 none
extern TBits LocationErrors;
extern TBits VelocityErrors;
extern TBits DepthErrors;
extern int BlinkPhase;
extern TTimer *BlinkTimer; // the editor's timer; not owned
extern TRealRect AxesWorldRect;
extern TRect AxesScreenRect;
extern TRealRect PlotExtents;

// The clip rectangle of a screen rectangle whose right and bottom edges
// belong to it, as the map's and the plot's transforms put their extents on
// both edges.
TRect ClipWithEdges(const TRect &R);
void DrawCoast(TCanvas &Canvas);
// A station whose Lon or Lat is missing has no place on the map (a NaN
// point): it is not drawn, the track joins the stations either side of it
// and the mouse does not pick it.
TRealPoint StationPlace(const TField *Lon, const TField *Lat);
bool HasPlace(const TRealPoint &p);
void DrawStations(const TRealPointArr &Stations, TPointArr &Points, TColor Colour, TCanvas &Canvas);
// A station's fill circle (box +-3) and its ring (box +-7, pen not-xor
// white), as the current station is marked.
void DrawStationMark(TCanvas &Canvas, const TPoint &p, TColor Fill);
void DrawSquares(TCanvas &Canvas);
void DrawExtraLines(TCanvas &Canvas);
void DrawRubberRect(TCanvas &Canvas, const TRect &R);
void InitGeoAxes();
void DrawGeoAxes(TCanvas &Canvas);
// The tick step in degrees that DrawGeoAxes takes for a span of degrees
// (longitude: a sixth of the span and at least four ticks; latitude: a
// fifth), and the unit whose label widths it uses; 0 without usable
// settings. InitGeoAxes first.
double GeoAxisStep(double Span, bool Longitude, int &Unit);
void DrawPlotAxes(TCanvas &Canvas);
// One beat of the velocity-error blink (the editor's 250 ms timer): the
// segments alternate between silver and red.
void DrawBlinkStep(TCanvas &Canvas);

// One polygon of a contour file: its kind (0 an area, any other a hole)
// and its points as (longitude, latitude).
struct TContourPolygon {
    int Kind = 0;
    TRealPointArr Points;
};
// Reads a contour polygon file (the location check's region and the
// contour dialog): blocks of a header line (a count, then optionally the
// kind) and that many point lines of two reals, latitude first unless
// LonFirst; anything after the two numbers of a line is ignored. Raises
// EInOutError for a missing file, a line that does not hold what it must
// (a number with a decimal comma among them) or a file none of whose areas
// encloses an area (no polygon, only holes, a header "0 0"), its message
// led by the file name and the line ("F, line 4: ...").
std::vector<TContourPolygon> ReadContourFile(const std::string &FileName, bool LonFirst);
// The region of areas less holes (alternate fill). Without any area it is
// empty, whatever the holes.
TRegion ContourRegionOf(const std::vector<TPointArr> &Areas, const std::vector<TPointArr> &Holes);

// One square a line: longitude min, latitude min, longitude max, latitude
// max, then the name. Raises EInOutError, naming the file and the line, for
// a missing file or a line without its four numbers; a file refused leaves
// Names and Squares empty, none of its lines in force, and its words in
// RefusedSquareFiles until it is read whole.
void LoadSquares(const std::string &FileName, rtl::TStringList &Names, TRealRectArr &Squares);
// The square files refused: file name, and why.
extern std::map<std::string, std::string> RefusedSquareFiles;
// The refused file that was to fill Squares (BsSquares, MsSquares); "" when
// none of RefusedSquareFiles was.
std::string RefusedSquareFile(const TRealRectArr &Squares);
// The Black Sea square that holds the point, else the Mediterranean one
// (the last of several wins); sets SeaCode. Edges are inside, a longitude
// and the same one a full turn away are one meridian, and a square that
// reaches a pole holds it.
std::string FindSquare(double lon, double lat);
