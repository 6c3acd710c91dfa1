// The bathymetry grid: Surfer's "DSAA" text grid read into memory at
// start-up and again at a run when the file changed, with the index and interpolation routines through which the
// depth check and the map's depth read-out look depths up. The grid holds
// elevations in metres (negative below sea level); a blank node holds 9999.
//
// Row r lies at latitude ymin + r * GridCellHeight, column c at longitude
// xmin + c * GridCellWidth (0-based).
#pragma once

#include "app/manual/Recalcs.h"
#include "platform/toolkit/TTypes.h"

#include <cstdint>
#include <string>
#include <vector>

using TSingleArr = std::vector<float>;
using TDepthGrid = std::vector<TSingleArr>;

extern TDepthGrid DepthGrid;
extern uint16_t GridNX;
extern uint16_t GridNY;
extern float GridCellWidth;
extern float GridCellHeight;
extern float GridZMin;
extern float GridZMax;
// The map palette (BuildDepthColors) and the sea's index in it (the first
// line of the coastline file).
extern std::vector<TColor> MapColors;
extern int SeaColorIndex;

inline constexpr float BlankNode = 9999.0f;
// What the reader said when it last refused a grid (missing, of a wrong
// format, cut short), empty once a grid is read: a run that checks depths
// without a grid says it again.
extern std::string GridRefusal;

// Reads FileName into Grid and sets the sizes, extent (GridWorldRect) and
// cell sizes. A missing file, a bad header, a word that is no number (a
// decimal comma among them) or another count of values than the header's
// nodes shows the reader's message, the format error led by the file and
// the line (for a grid cut short, the line where it ends; for one longer,
// the line of its first value too many), and leaves everything as it was.
// Values that cannot be stored, or that lie between 0 and 1, are reported
// together in one message after reading.
// A file whose layout shows its rows (a blank line after each, a shorter
// last line of each, or a row a line) with rows of another length than the
// header's is refused as well, at the line that ends its first row.
void LoadGrid(const std::string &FileName, TDepthGrid &Grid);
// Reads FileName into Grid again when it is not the file LoadGrid last read
// as it was then (its name, size, time of change, bytes): a grid refused now
// leaves none, and its refusal is not shown (GridRefusal keeps it, for the
// run to say); an unchanged file is not read again.
void ReadGridAgainIfChanged(const std::string &FileName, TDepthGrid &Grid);

// 1-based node nearest to a longitude / latitude.
int XToGridCol(double x);
int YToGridRow(double y);
// Bilinear value of the cell whose lower-left node is (col, row), at the
// fractional parts of fx and fy.
double GridBilinear(int col, int row, double fx, double fy);

// The grid cell that holds a position: 0-based column and row of its
// lower-left node (0 <= Col <= GridNX - 2, 0 <= Row <= GridNY - 2) and the
// position inside it (0 <= U, V <= 1). False outside the grid or without a
// grid. The depth check and the map read-out both look up through this.
struct TGridCell {
    int Col = 0;
    int Row = 0;
    double U = 0;
    double V = 0;
};
bool FindGridCell(double lon, double lat, TGridCell &Cell);
// The four nodes of a cell: lower-left, lower-right, upper-left, upper-right.
void GridCellNodes(const TGridCell &Cell, float Nodes[4]);
// Bilinear value at the position inside the cell.
double GridCellValue(const TGridCell &Cell);
