// Polygon regions against Qt's scan-converted QRegion, pixel by pixel.
#include "platform/toolkit/TRegion.h"

#include <QPolygon>
#include <QRegion>
#include <gtest/gtest.h>

#include <climits>
#include <random>

namespace {

QPolygon ToQ(const std::vector<TPoint> &P)
{
    QPolygon Q;
    for (const TPoint &p : P)
        Q << QPoint(p.X, p.Y);
    return Q;
}

void ExpectSamePixels(const TRegion &Ours, const QRegion &Theirs, int W, int H)
{
    int Mismatches = 0;
    for (int y = -2; y < H + 2; ++y)
        for (int x = -2; x < W + 2; ++x)
            if (Ours.Contains(x, y) != Theirs.contains(QPoint(x, y)) && ++Mismatches <= 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " ours " << Ours.Contains(x, y);
    EXPECT_EQ(Mismatches, 0);
}

TEST(PolygonRegion, MatchesScanConversionOnRandomPolygons)
{
    std::mt19937 Rng(20260107);
    std::uniform_int_distribution<int> Coord(0, 60);
    std::uniform_int_distribution<int> Count(3, 12);
    for (int Round = 0; Round < 40; ++Round) {
        std::vector<TPoint> P;
        const int n = Count(Rng);
        for (int i = 0; i < n; ++i)
            P.push_back(Point(Coord(Rng), Coord(Rng)));
        SCOPED_TRACE(Round);
        ExpectSamePixels(TRegion::Polygon(P, ALTERNATE), QRegion(ToQ(P), Qt::OddEvenFill), 61, 61);
        ExpectSamePixels(TRegion::Polygon(P, WINDING), QRegion(ToQ(P), Qt::WindingFill), 61, 61);
    }
}

TEST(PolygonRegion, UnionAndDifferenceMatchQRegion)
{
    const std::vector<TPoint> A{Point(0, 0), Point(30, 0), Point(30, 30), Point(0, 30)};
    const std::vector<TPoint> B{Point(20, 10), Point(45, 12), Point(25, 40)};
    const std::vector<TPoint> Hole{Point(5, 5), Point(15, 5), Point(10, 20)};
    TRegion R = TRegion::Polygon(A);
    R.Combine(TRegion::Polygon(B), RGN_OR);
    R.Combine(TRegion::Polygon(Hole), RGN_DIFF);
    const QRegion Q = QRegion(ToQ(A), Qt::OddEvenFill).united(QRegion(ToQ(B), Qt::OddEvenFill))
                          .subtracted(QRegion(ToQ(Hole), Qt::OddEvenFill));
    ExpectSamePixels(R, Q, 50, 50);
    EXPECT_FALSE(R.Contains(10, 10)); // in the hole
    EXPECT_TRUE(R.Contains(40, 13));  // only in the triangle
}

TEST(PolygonRegion, LongChainsOfEveryCombinationMatchQRegion)
{
    // Many small polygons combined in turn, as a contour file's areas and
    // holes are, with intersections and exclusive-ors among them.
    std::mt19937 Rng(7);
    std::uniform_int_distribution<int> Coord(0, 120), Size(3, 40), Op(0, 9);
    TRegion R;
    QRegion Q;
    for (int i = 0; i < 60; ++i) {
        const int x = Coord(Rng), y = Coord(Rng), w = Size(Rng), h = Size(Rng);
        const std::vector<TPoint> P{Point(x, y), Point(x + w, y + h / 3), Point(x + w / 2, y + h), Point(x - w / 4, y + h / 2)};
        const QRegion QP(ToQ(P), Qt::OddEvenFill);
        const int o = Op(Rng);
        const TRegionCombineMode Mode = o < 5 ? RGN_OR : o < 8 ? RGN_DIFF : o < 9 ? RGN_XOR : RGN_AND;
        R.Combine(TRegion::Polygon(P), Mode);
        Q = Mode == RGN_OR ? Q.united(QP) : Mode == RGN_DIFF ? Q.subtracted(QP) : Mode == RGN_XOR ? Q.xored(QP) : Q.intersected(QP);
    }
    ExpectSamePixels(R, Q, 170, 170);
}

TEST(PolygonRegion, EmptyAndDegenerateRegionsHoldNothing)
{
    EXPECT_FALSE(TRegion().Contains(0, 0));
    EXPECT_FALSE(TRegion::Polygon({}).Contains(0, 0));
    EXPECT_FALSE(TRegion::Polygon({Point(0, 0), Point(10, 0)}).Contains(5, 0));
    TRegion Diff = TRegion();
    Diff.Combine(TRegion::Polygon({Point(0, 0), Point(9, 0), Point(9, 9)}), RGN_DIFF);
    EXPECT_FALSE(Diff.Contains(8, 2));
}

TEST(PolygonRegion, LargeCoordinatesAreExact)
{
    // The location check's pixel space: a thin sliver whose edges pass close
    // to integer pixels far from the origin.
    const std::vector<TPoint> P{Point(1, 1), Point(50000, 21999), Point(49999, 22000)};
    const TRegion R = TRegion::Polygon(P);
    const QRegion Q(ToQ(P), Qt::OddEvenFill);
    for (int x = 0; x <= 50000; x += 997)
        for (int dy = -2; dy <= 2; ++dy) {
            const int y = int((long long)x * 21998 / 49999) + dy;
            EXPECT_EQ(R.Contains(x, y), Q.contains(QPoint(x, y))) << x << "," << y;
        }
}

TEST(PolygonRegion, VerticesAtTheIntLimitsStayUsable)
{
    // A contour point mapped from a wild coordinate lands on the largest or
    // smallest int; the region must still answer, and answer as for the
    // outline it can hold.
    const std::vector<TPoint> All{Point(INT_MIN, INT_MIN), Point(INT_MAX, INT_MIN), Point(INT_MAX, INT_MAX),
                                  Point(INT_MIN, INT_MAX)};
    TRegion R = TRegion::Polygon(All);
    EXPECT_TRUE(R.Contains(0, 0));
    EXPECT_TRUE(R.Contains(50000, 22000));
    EXPECT_FALSE(R.Contains(INT_MAX, 0));
    R.Combine(TRegion::Rectangle(TRect{INT_MIN, INT_MIN, 10, INT_MAX}), RGN_DIFF);
    EXPECT_FALSE(R.Contains(0, 0));
    EXPECT_TRUE(R.Contains(20, 0));
    const TRegion Sliver = TRegion::Polygon({Point(0, 0), Point(INT_MAX, 5), Point(0, 10)});
    EXPECT_TRUE(Sliver.Contains(1000, 5));
}

TEST(PolygonRegion, KeepsItsHandleWhenCombinedInPlace)
{
    TRegion R = TRegion::Polygon({Point(0, 0), Point(4, 0), Point(4, 4)});
    const uint32_t H = R.Handle();
    R.Combine(TRegion::Rectangle(Rect(10, 10, 12, 12)), RGN_OR);
    EXPECT_EQ(R.Handle(), H);
    EXPECT_TRUE(R.Contains(11, 11));
    EXPECT_EQ(R.Bounds(), Rect(0, 0, 12, 12));
}

} // namespace
