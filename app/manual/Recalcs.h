// World coordinates of the map and the profile plot: value types, the linear
// transforms between world coordinates and pixels, rectangle helpers, the
// degree-minute-second labels of the map axes, and the program-wide map
// state (inversion flags, column order of the polygon files, the map's zoom
// stack and pixel rectangle).
//
// Pixels are rounded to the nearest integer with ties to even throughout.
#pragma once

#include "platform/toolkit/TTypes.h"

#include <string>
#include <vector>

struct TRealPoint {
    double x = 0;
    double y = 0;
};

// On the map: longitude min, latitude min, longitude max, latitude max.
struct TRealRect {
    double xmin = 0;
    double ymin = 0;
    double xmax = 0;
    double ymax = 0;
    friend bool operator==(const TRealRect &, const TRealRect &) = default;
};

struct TRange {
    double min = 0;
    double max = 0;
};

using TRealRectArr = std::vector<TRealRect>;
using TPointArr = std::vector<TPoint>;
using TRealPointArr = std::vector<TRealPoint>;
using TPointArrArr = std::vector<TPointArr>;
using TRealpointArrArr = std::vector<TRealPointArr>;

extern bool MapInvertX;       // contour dialog and location region only (InvX)
extern bool MapInvertY;       // (InvY)
extern bool SwapCoordColumns; // true: longitude then latitude on a point line (XY)
// The map's zoom history, element 0 the full view, and the element shown.
// Invariant: 0 <= ZoomIndex < ZoomStack.size().
extern TRealRectArr ZoomStack;
extern int ZoomIndex;
extern TRect MapScreenRect;
extern TRealRect GridWorldRect; // written by LoadGrid
extern TRect RubberRect;
extern TRect SelectionRect; // -5, -5, -5, -5: none

TPoint MakePoint(int X, int Y);
TRange MakeRange(double min, double max);
TRealPoint MakeRealPoint(double x, double y);
TRealRect MakeWorldRect(double xmin, double ymin, double xmax, double ymax);

// Nearest integer, ties to even, held inside the int range (NaN gives 0).
int RoundPixel(double v);

int ValueToPixel(TRange range, TPoint span, bool invert, double v);
// An empty axis shows "Wrong Rect" and leaves that coordinate 0.
TPoint WorldToScreen(TRealPoint p, const TRealRect &world, const TRect &screen, bool invertX, bool invertY);
TRealPoint ScreenToWorld(TPoint p, const TRealRect &world, const TRect &screen, bool invertX, bool invertY);
TRect WorldRectToScreen(const TRealRect &r, const TRealRect &world, const TRect &screen, bool invertX, bool invertY);
TRealRect ScreenRectToWorld(const TRect &r, const TRealRect &world, const TRect &screen, bool invertX, bool invertY);
bool PointInRect(const TRect &r, int X, int Y);             // edges included
bool PointInWorldRect(const TRealRect &r, double x, double y); // edges included
TRect FitRectToAspect(const TRect &r, double ratio);          // ratio = height / width
// r moved, its size kept, so that it starts no further left or up than
// bounds and, where it fits, ends no further right or down (the rubber band
// of the map and of the profile plot).
TRect ShiftRectInside(const TRect &r, const TRect &bounds);
double IntPowerOf(int n, double x);
std::string PadIntPart(const std::string &text, int width);
std::string PadFixedPart(const std::string &text, int width, int digits);
// "35.4°" with widths (2, 2, 2) gives "35°24'00"; "Wrong Coordinate" and an
// empty text when the text holds no number before a "°".
std::string DegreesToDegMinSec(const std::string &text, const std::vector<int> &widths);

// Zoom stacks (the map's, and one per parameter of the profile plot):
// zoom in pushes the rubber rectangle seen through the current element,
// dropping any elements above it; zoom out steps back one element and keeps
// the rest until the next zoom in; full view returns to element 0.
void ZoomStackIn(TRealRectArr &Stack, int &Index, const TRect &Rubber, const TRect &Screen, bool InvertX = false,
                 bool InvertY = true);
void ZoomStackOut(int &Index);
void ZoomStackFull(int &Index);
// The element shown of the map's stack.
const TRealRect &CurrentZoomRect();
