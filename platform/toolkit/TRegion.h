// Polygon regions: create from a polygon, combine, test a point.
//
// A region keeps its polygons and the way they were combined instead of a
// pixel raster, because the location check works in a 50,000 x 22,000 pixel
// space where rasterising would cost far more than the tests. A point test
// follows the same pixel rule as a region built by scan conversion (the rule
// of QRegion for a polygon): at row Y a pixel X is inside a polygon when an
// odd number of the polygon's edges that span Y (upper end included, lower
// end excluded) cross row Y at or left of X (alternate rule), or when the
// crossings' directions do not cancel (winding rule). Each polygon indexes
// its edges by horizontal bands once, so a test looks at a few edges only.
//
// Regions are values: copies share their immutable polygons.
#pragma once

#include "platform/toolkit/TTypes.h"

#include <cstdint>
#include <memory>
#include <vector>

enum TPolyFillMode { ALTERNATE = 1, WINDING = 2 };
enum TRegionCombineMode { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };

class TRegion {
public:
    TRegion(); // the empty region
    static TRegion Polygon(const std::vector<TPoint> &Points, TPolyFillMode Mode = ALTERNATE);
    static TRegion Rectangle(const TRect &R); // Left..Right-1 x Top..Bottom-1

    // This region := this Mode Other (RGN_COPY takes Other).
    void Combine(const TRegion &Other, TRegionCombineMode Mode);
    static TRegion Combined(const TRegion &A, const TRegion &B, TRegionCombineMode Mode);

    bool Contains(int X, int Y) const;
    // The box that holds every pixel of the region (Right and Bottom outside);
    // empty when the region surely holds nothing.
    TRect Bounds() const;
    // A number that identifies this region in messages (a handle's value).
    uint32_t Handle() const { return FHandle; }

    struct TNode;

private:
    explicit TRegion(std::shared_ptr<const TNode> ANode);
    std::shared_ptr<const TNode> FNode;
    uint32_t FHandle;
};
