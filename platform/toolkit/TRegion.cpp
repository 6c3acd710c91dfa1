// Polygon regions as a tree of combinations over edge-indexed polygons.
#include "platform/toolkit/TRegion.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<uint32_t> NextHandle{0x1000};

struct TEdge {
    int X1, Y1, X2, Y2; // Y1 < Y2
    int Dir;            // +1 downward in the polygon's order, -1 upward
};

} // namespace

struct TRegion::TNode {
    enum TKind { Empty, Poly, Rect, Combine } Kind = Empty;
    // Poly
    std::vector<TEdge> Edges;
    bool Winding = false;
    int BandTop = 0, BandHeight = 1;
    std::vector<uint32_t> BandStart; // edges of band b: BandEdges[BandStart[b] .. BandStart[b+1])
    std::vector<uint32_t> BandEdges;
    // Poly and Rect: box of the pixels, Right/Bottom outside
    TRect Box{};
    // Combine
    TRegionCombineMode Mode = RGN_OR;
    std::shared_ptr<const TNode> A, B;

    bool Contains(int X, int Y) const;
    bool PolyContains(int X, int Y) const;
};

bool TRegion::TNode::PolyContains(int X, int Y) const
{
    if (X < Box.Left || X >= Box.Right || Y < Box.Top || Y >= Box.Bottom)
        return false;
    const size_t Band = size_t((Y - BandTop) / BandHeight);
    int Count = 0;
    for (uint32_t i = BandStart[Band]; i < BandStart[Band + 1]; ++i) {
        const TEdge &E = Edges[BandEdges[i]];
        if (Y < E.Y1 || Y >= E.Y2)
            continue;
        // Crossing x at row Y is X1 + (Y - Y1) (X2 - X1) / (Y2 - Y1); it lies
        // at or left of X when (X - X1)(Y2 - Y1) >= (Y - Y1)(X2 - X1). Exact
        // in 64-bit integers, so no pixel on an edge flips with rounding.
        const int64_t L = int64_t(X - E.X1) * (E.Y2 - E.Y1);
        const int64_t R = int64_t(Y - E.Y1) * (E.X2 - E.X1);
        if (L >= R)
            Count += Winding ? E.Dir : 1;
    }
    return Winding ? Count != 0 : (Count & 1) != 0;
}

bool TRegion::TNode::Contains(int X, int Y) const
{
    switch (Kind) {
    case Empty: return false;
    case Poly: return PolyContains(X, Y);
    case Rect: return X >= Box.Left && X < Box.Right && Y >= Box.Top && Y < Box.Bottom;
    case Combine: {
        const bool a = A->Contains(X, Y);
        switch (Mode) {
        case RGN_AND: return a && B->Contains(X, Y);
        case RGN_OR: return a || B->Contains(X, Y);
        case RGN_XOR: return a != B->Contains(X, Y);
        case RGN_DIFF: return a && !B->Contains(X, Y);
        case RGN_COPY: return B->Contains(X, Y);
        }
    }
    }
    return false;
}

TRegion::TRegion() : TRegion(std::make_shared<TNode>()) {}

TRegion::TRegion(std::shared_ptr<const TNode> ANode) : FNode(std::move(ANode)), FHandle(NextHandle++) {}

TRegion TRegion::Polygon(const std::vector<TPoint> &Points, TPolyFillMode Mode)
{
    auto N = std::make_shared<TNode>();
    N->Winding = Mode == WINDING;
    for (size_t i = 0; i < Points.size(); ++i) {
        const TPoint &a = Points[i], &b = Points[(i + 1) % Points.size()];
        if (a.Y == b.Y)
            continue; // horizontal edges never cross a row
        if (a.Y < b.Y)
            N->Edges.push_back(TEdge{a.X, a.Y, b.X, b.Y, +1});
        else
            N->Edges.push_back(TEdge{b.X, b.Y, a.X, a.Y, -1});
    }
    if (N->Edges.empty())
        return TRegion();
    N->Kind = TNode::Poly;
    int MinX = Points[0].X, MaxX = MinX, MinY = Points[0].Y, MaxY = MinY;
    for (const TPoint &p : Points) {
        MinX = std::min(MinX, p.X), MaxX = std::max(MaxX, p.X);
        MinY = std::min(MinY, p.Y), MaxY = std::max(MaxY, p.Y);
    }
    N->Box = TRect{MinX, MinY, MaxX + 1, MaxY + 1};
    // About eight rows a band keeps the lists short without a band per row.
    const int Rows = MaxY - MinY + 1;
    const int Bands = std::clamp(Rows / 8, 1, 65536);
    N->BandTop = MinY;
    N->BandHeight = (Rows + Bands - 1) / Bands;
    const int BandCount = (Rows + N->BandHeight - 1) / N->BandHeight;
    std::vector<uint32_t> Count(size_t(BandCount) + 1, 0);
    auto BandRange = [&](const TEdge &E, int &b0, int &b1) {
        b0 = (E.Y1 - MinY) / N->BandHeight;
        b1 = (E.Y2 - 1 - MinY) / N->BandHeight;
    };
    for (const TEdge &E : N->Edges) {
        int b0, b1;
        BandRange(E, b0, b1);
        for (int b = b0; b <= b1; ++b)
            ++Count[size_t(b) + 1];
    }
    for (size_t b = 1; b < Count.size(); ++b)
        Count[b] += Count[b - 1];
    N->BandStart = Count;
    N->BandEdges.resize(Count.back());
    for (uint32_t i = 0; i < N->Edges.size(); ++i) {
        int b0, b1;
        BandRange(N->Edges[i], b0, b1);
        for (int b = b0; b <= b1; ++b)
            N->BandEdges[Count[size_t(b)]++] = i;
    }
    return TRegion(std::move(N));
}

TRegion TRegion::Rectangle(const TRect &R)
{
    if (R.Right <= R.Left || R.Bottom <= R.Top)
        return TRegion();
    auto N = std::make_shared<TNode>();
    N->Kind = TNode::Rect;
    N->Box = R;
    return TRegion(std::move(N));
}

TRegion TRegion::Combined(const TRegion &A, const TRegion &B, TRegionCombineMode Mode)
{
    if (Mode == RGN_COPY)
        return TRegion(B.FNode);
    auto N = std::make_shared<TNode>();
    N->Kind = TNode::Combine;
    N->Mode = Mode;
    N->A = A.FNode;
    N->B = B.FNode;
    return TRegion(std::move(N));
}

void TRegion::Combine(const TRegion &Other, TRegionCombineMode Mode)
{
    // The handle stays: the caller keeps combining into the same region.
    const uint32_t Keep = FHandle;
    *this = Combined(*this, Other, Mode);
    FHandle = Keep;
}

bool TRegion::Contains(int X, int Y) const { return FNode->Contains(X, Y); }

namespace {

TRect UnionBox(const TRect &a, const TRect &b)
{
    if (a.Right <= a.Left || a.Bottom <= a.Top)
        return b;
    if (b.Right <= b.Left || b.Bottom <= b.Top)
        return a;
    return TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
                 std::max(a.Bottom, b.Bottom)};
}

TRect BoundsOf(const TRegion::TNode &N)
{
    switch (N.Kind) {
    case TRegion::TNode::Empty: return TRect{};
    case TRegion::TNode::Poly:
    case TRegion::TNode::Rect: return N.Box;
    case TRegion::TNode::Combine: {
        const TRect a = BoundsOf(*N.A), b = BoundsOf(*N.B);
        switch (N.Mode) {
        case RGN_AND: {
            TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
                    std::min(a.Bottom, b.Bottom)};
            return (r.Right <= r.Left || r.Bottom <= r.Top) ? TRect{} : r;
        }
        case RGN_DIFF: return a;
        case RGN_COPY: return b;
        default: return UnionBox(a, b);
        }
    }
    }
    return TRect{};
}

} // namespace

TRect TRegion::Bounds() const { return BoundsOf(*FNode); }
