// Polygon regions as a tree of combinations over edge-indexed polygons.
#include "platform/toolkit/TRegion.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

namespace {

std::atomic<uint32_t> NextHandle{0x1000};

// Vertices are held within this many pixels of the origin, as the canvas
// holds what it draws: a point mapped from a wild coordinate lands on the
// largest int, and the sizes and crossings below would then overflow.
// 2^27 pixels is far beyond any screen or the location check's space.
constexpr int CoordLimit = 1 << 27;
int Lim(int v) { return std::clamp(v, -CoordLimit, CoordLimit); }

struct TEdge {
    int X1, Y1, X2, Y2; // Y1 < Y2
    int Dir;            // +1 downward in the polygon's order, -1 upward
};

} // namespace

struct TRegion::TNode {
    // Seq: operands combined in order, starting from the empty region. A
    // union or difference with an operand that does not hold the point
    // changes nothing, so a test visits only the operands whose boxes hold
    // it, found through a grid over the sequence's box built at the first
    // test. Intersections affect every point and are visited always.
    enum TKind { Empty, Poly, Rect, Seq } Kind = Empty;
    // Poly
    std::vector<TEdge> Edges;
    bool Winding = false;
    int BandTop = 0, BandHeight = 1;
    std::vector<uint32_t> BandStart; // edges of band b: BandEdges[BandStart[b] .. BandStart[b+1])
    std::vector<uint32_t> BandEdges;
    // Poly and Rect: box of the pixels, Right/Bottom outside
    TRect Box{};
    // Seq
    std::vector<std::pair<TRegionCombineMode, std::shared_ptr<const TNode>>> Ops;
    std::vector<TRect> OpBoxes;
    mutable std::once_flag IndexOnce;
    mutable int CellW = 1, CellH = 1;
    mutable std::vector<uint32_t> CellStart, CellOps;
    static constexpr int Cells = 64;

    bool Contains(int X, int Y) const;
    bool PolyContains(int X, int Y) const;
    bool SeqContains(int X, int Y) const;
    void BuildIndex() const;
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
    case Seq: return SeqContains(X, Y);
    }
    return false;
}

namespace {

bool BoxHolds(const TRect &B, int X, int Y) { return X >= B.Left && X < B.Right && Y >= B.Top && Y < B.Bottom; }
bool BoxEmpty(const TRect &B) { return B.Right <= B.Left || B.Bottom <= B.Top; }

bool Apply(TRegionCombineMode Mode, bool a, bool b)
{
    switch (Mode) {
    case RGN_AND: return a && b;
    case RGN_XOR: return a != b;
    case RGN_DIFF: return a && !b;
    case RGN_COPY: return b;
    default: return a || b;
    }
}

} // namespace

void TRegion::TNode::BuildIndex() const
{
    std::vector<std::vector<uint32_t>> Lists(size_t(Cells) * Cells);
    CellW = std::max(1, (Box.Right - Box.Left + Cells - 1) / Cells);
    CellH = std::max(1, (Box.Bottom - Box.Top + Cells - 1) / Cells);
    for (uint32_t i = 0; i < Ops.size(); ++i) {
        const TRect &B = OpBoxes[i];
        const bool Always = Ops[i].first == RGN_AND || Ops[i].first == RGN_COPY;
        if (!Always && BoxEmpty(B))
            continue;
        const int c0 = Always ? 0 : std::max(0, (B.Left - Box.Left) / CellW);
        const int c1 = Always ? Cells - 1 : std::min(Cells - 1, (B.Right - 1 - Box.Left) / CellW);
        const int r0 = Always ? 0 : std::max(0, (B.Top - Box.Top) / CellH);
        const int r1 = Always ? Cells - 1 : std::min(Cells - 1, (B.Bottom - 1 - Box.Top) / CellH);
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c)
                Lists[size_t(r) * Cells + size_t(c)].push_back(i);
    }
    CellStart.assign(1, 0);
    for (const auto &L : Lists) {
        CellOps.insert(CellOps.end(), L.begin(), L.end());
        CellStart.push_back(uint32_t(CellOps.size()));
    }
}

bool TRegion::TNode::SeqContains(int X, int Y) const
{
    // Outside the box every operand is empty there, and so is the result.
    if (!BoxHolds(Box, X, Y))
        return false;
    std::call_once(IndexOnce, [this] { BuildIndex(); });
    const size_t Cell = size_t((Y - Box.Top) / CellH) * Cells + size_t((X - Box.Left) / CellW);
    bool In = false;
    for (uint32_t k = CellStart[Cell]; k < CellStart[Cell + 1]; ++k) {
        const uint32_t i = CellOps[k];
        const bool Holds = BoxHolds(OpBoxes[i], X, Y) && Ops[i].second->Contains(X, Y);
        In = Apply(Ops[i].first, In, Holds);
    }
    return In;
}

TRegion::TRegion() : TRegion(std::make_shared<TNode>()) {}

TRegion::TRegion(std::shared_ptr<const TNode> ANode) : FNode(std::move(ANode)), FHandle(NextHandle++) {}

TRegion TRegion::Polygon(const std::vector<TPoint> &AllPoints, TPolyFillMode Mode)
{
    std::vector<TPoint> Points(AllPoints);
    for (TPoint &p : Points)
        p = TPoint{Lim(p.X), Lim(p.Y)};
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

TRegion TRegion::Rectangle(const TRect &AR)
{
    const TRect R{Lim(AR.Left), Lim(AR.Top), Lim(AR.Right), Lim(AR.Bottom)};
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
    N->Kind = TNode::Seq;
    if (A.FNode->Kind == TNode::Seq) {
        N->Ops = A.FNode->Ops;
        N->OpBoxes = A.FNode->OpBoxes;
    } else {
        N->Ops.emplace_back(RGN_OR, A.FNode);
        N->OpBoxes.push_back(A.Bounds());
    }
    N->Ops.emplace_back(Mode, B.FNode);
    N->OpBoxes.push_back(B.Bounds());
    N->Box = TRect{};
    for (size_t i = 0; i < N->Ops.size(); ++i) {
        const TRect &b = N->OpBoxes[i];
        if (BoxEmpty(b))
            continue;
        N->Box = BoxEmpty(N->Box) ? b
                                  : TRect{std::min(N->Box.Left, b.Left), std::min(N->Box.Top, b.Top),
                                          std::max(N->Box.Right, b.Right), std::max(N->Box.Bottom, b.Bottom)};
    }
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

TRect TRegion::Bounds() const
{
    // A sequence's box holds every operand, and with it every pixel of the
    // result (a union or difference never reaches past its operands).
    return FNode->Box;
}
