// Map benchmarks over the installation's data: loading the 5-minute
// bathymetry grid, depth look-ups, painting the default map with 10,000
// stations, and point tests against the location region in its
// 50,000 x 22,000 pixel space. Each figure is the median of several timed
// runs after a warm-up; each comparison is against a baseline measured in
// the same run on the same data.
#include "app/Globals.h"
#include "app/manual/Isolines.h"
#include "app/manual/Recalcs.h"
#include "app/manual/map.h"
#include "platform/toolkit/TCanvas.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TRegion.h"

#include <QApplication>
#include <QPolygon>
#include <QRegion>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()> &F)
{
    const auto t0 = Clock::now();
    F();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One warm-up, then the median of Runs timed runs, in seconds.
double Time(int Runs, const std::function<void()> &F)
{
    F();
    std::vector<double> t;
    for (int i = 0; i < Runs; ++i)
        t.push_back(Seconds(F));
    return Median(t);
}

// Baseline and candidate alternate between batches, so that drift of the
// machine hits both alike.
void TimePair(int Runs, const std::function<void()> &Base, const std::function<void()> &Ours, double &TBase,
              double &TOurs)
{
    Base();
    Ours();
    std::vector<double> b, o;
    for (int i = 0; i < Runs; ++i) {
        if (i % 2) {
            b.push_back(Seconds(Base));
            o.push_back(Seconds(Ours));
        } else {
            o.push_back(Seconds(Ours));
            b.push_back(Seconds(Base));
        }
    }
    TBase = Median(b);
    TOurs = Median(o);
}

// The contour file as the location check reads it: blocks of "n kind" and n
// point lines (latitude, longitude), kind 0 an area, else a hole; pixels in
// the check's 50,000 x 22,000 space through the full view.
struct TContour {
    std::vector<std::vector<TPoint>> Areas, Holes;
};

TContour ReadContour(const std::string &Path)
{
    TContour C;
    std::ifstream In(Path);
    std::string Line;
    const TRect Space{1, 1, 50000, 22000};
    while (std::getline(In, Line)) {
        std::istringstream H(Line);
        int n = 0, Kind = 0;
        if (!(H >> n))
            continue;
        H >> Kind;
        std::vector<TPoint> Poly;
        for (int i = 0; i < n && std::getline(In, Line); ++i) {
            std::istringstream P(Line);
            double Lat = 0, Lon = 0;
            P >> Lat >> Lon;
            Poly.push_back(WorldToScreen(MakeRealPoint(Lon, Lat), ZoomStack[0], Space, false, true));
        }
        (Kind == 0 ? C.Areas : C.Holes).push_back(std::move(Poly));
    }
    return C;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);
    TScriptedDialogs Quiet; // no boxes: a reader's report would stop the run
    const char *Env = std::getenv("MARLIN_PROGRAM_DIR");
    const std::string Program = std::string(Env ? Env : MAP_BENCH_PROGRAM_DIR) + "/";
    MapsDir = Program + "Maps/";
    CfgDir = Program + "Cfg/";
    int Failures = 0;
    auto Check = [&](bool Ok, const char *What) {
        if (!Ok) {
            std::printf("check failed: %s\n", What);
            ++Failures;
        }
    };

    // ---- grid load -----------------------------------------------------------
    const double Load = Time(5, [&] { LoadGrid(MapsDir + "out.grd", DepthGrid); });
    Check(GridNX == 673 && GridNY == 241 && Quiet.Messages.empty(), "the 5-minute grid loads");
    std::printf("grid_load_5min: %.2f ms\n", Load * 1e3);
    // What each CHECK costs while the file stays as it was read.
    const double Recheck = Time(5, [&] { ReadGridAgainIfChanged(MapsDir + "out.grd", DepthGrid); });
    Check(GridNX == 673 && DepthGrid.size() == 241, "an unchanged grid is kept");
    std::printf("grid_recheck_unchanged: %.4f ms\n", Recheck * 1e3);

    // ---- depth look-ups ------------------------------------------------------
    std::mt19937 Rng(42);
    std::uniform_real_distribution<double> Lon(GridWorldRect.xmin, GridWorldRect.xmax),
        Lat(GridWorldRect.ymin, GridWorldRect.ymax);
    const int Lookups = 1000000;
    std::vector<TRealPoint> Pos(Lookups);
    for (TRealPoint &p : Pos)
        p = MakeRealPoint(Lon(Rng), Lat(Rng));
    double SumOurs = 0, SumBase = 0;
    double TBase, TOurs;
    TimePair(5,
             [&] {
                 // The node-index route of the read-out (1-based nearest node).
                 double s = 0;
                 for (const TRealPoint &p : Pos) {
                     const int c = XToGridCol(p.x), r = YToGridRow(p.y);
                     if (c >= 0 && c <= GridNX - 2 && r >= 0 && r <= GridNY - 2)
                         s += GridBilinear(c, r, (p.x - GridWorldRect.xmin) / GridCellWidth + 1,
                                           (p.y - GridWorldRect.ymin) / GridCellHeight + 1);
                 }
                 SumBase = s;
             },
             [&] {
                 double s = 0;
                 TGridCell Cell;
                 for (const TRealPoint &p : Pos)
                     if (FindGridCell(p.x, p.y, Cell))
                         s += GridCellValue(Cell);
                 SumOurs = s;
             },
             TBase, TOurs);
    Check(SumOurs != 0 && SumBase != 0, "look-ups find depths");
    std::printf("depth_lookup: %.1f ns\n", TOurs / Lookups * 1e9);
    std::printf("ratio node_index_lookup_over_cell_lookup: %.2f\n", TBase / TOurs);

    // ---- default map with 10,000 stations --------------------------------------
    BuildMapColors();
    LoadSquares(CfgDir + "QuadrHMS.txt", BsSquareNames, BsSquares);
    LoadSquares(CfgDir + "QuadrMedClim.txt", MsSquareNames, MsSquares);
    ZoomStack = {MakeWorldRect(-14, 30, 42, 50)};
    ZoomIndex = 0;
    ExtraLinesFile = Program + "QCCont/ALL_.bln";
    TBitmap Map(1020, 460);
    MapScreenRect = TRect{50, 30, 970, 430};
    AxesWorldRect = ZoomStack[0];
    AxesScreenRect = MapScreenRect;
    std::uniform_real_distribution<double> SLon(-5, 36), SLat(31, 46);
    CruiseStationPos.resize(10000);
    for (TRealPoint &p : CruiseStationPos)
        p = MakeRealPoint(SLon(Rng), SLat(Rng));
    for (int i = 0; i < 10000; i += 97)
        LocationErrors.SetBit(i, true);
    DrawTrack = true;
    CurStationIndex = 5;
    auto Paint = [&] {
        DrawCoast(Map.Canvas());
        DrawExtraLines(Map.Canvas());
        DrawStations(CruiseStationPos, CruiseStationPts, clYellow, Map.Canvas());
        DrawSquares(Map.Canvas());
        InitGeoAxes();
        DrawGeoAxes(Map.Canvas());
    };
    const double First = Seconds(Paint); // reads the geography files
    const double Repaint = Time(7, Paint);
    Check(CruiseStationPts.size() == 10000 && Quiet.Messages.empty(), "the map paints without reports");
    std::printf("map_first_paint_10000_stations: %.1f ms\n", First * 1e3);
    std::printf("map_paint_10000_stations: %.1f ms\n", Repaint * 1e3);
    std::printf("ratio first_paint_over_repaint: %.2f\n", First / Repaint);

    // ---- location region -------------------------------------------------------
    const TContour C = ReadContour(Program + "QCCont/ALL_.bln");
    Check(!C.Areas.empty(), "the contour file has areas");
    TRegion Region;
    const double BuildOurs = Time(3, [&] {
        Region = TRegion::Polygon(C.Areas[0]);
        for (size_t i = 1; i < C.Areas.size(); ++i)
            Region.Combine(TRegion::Polygon(C.Areas[i]), RGN_OR);
        for (const auto &H : C.Holes)
            Region.Combine(TRegion::Polygon(H), RGN_DIFF);
    });
    QRegion Q;
    const double BuildQ = Time(1, [&] {
        auto ToQ = [](const std::vector<TPoint> &P) {
            QPolygon Poly;
            for (const TPoint &p : P)
                Poly << QPoint(p.X, p.Y);
            return QRegion(Poly, Qt::OddEvenFill);
        };
        Q = ToQ(C.Areas[0]);
        for (size_t i = 1; i < C.Areas.size(); ++i)
            Q = Q.united(ToQ(C.Areas[i]));
        for (const auto &H : C.Holes)
            Q = Q.subtracted(ToQ(H));
    });
    std::uniform_int_distribution<int> X(1, 50000), Y(1, 22000);
    const int Tests = 100000;
    std::vector<TPoint> Pts(Tests);
    for (TPoint &p : Pts)
        p = Point(X(Rng), Y(Rng));
    int InOurs = 0;
    const double PerTest = Time(5, [&] {
        int n = 0;
        for (const TPoint &p : Pts)
            n += Region.Contains(p.X, p.Y);
        InOurs = n;
    }) / Tests;
    // QRegion scans its rectangles for every test: compare on the first
    // 1,000 points only, which also checks that both give the same answers.
    const int Few = 1000;
    int InQ = 0, InFew = 0;
    TimePair(3,
             [&] {
                 int n = 0;
                 for (int i = 0; i < Few; ++i)
                     n += Q.contains(QPoint(Pts[size_t(i)].X, Pts[size_t(i)].Y));
                 InQ = n;
             },
             [&] {
                 int n = 0;
                 for (int i = 0; i < Few; ++i)
                     n += Region.Contains(Pts[size_t(i)].X, Pts[size_t(i)].Y);
                 InFew = n;
             },
             TBase, TOurs);
    Check(InFew == InQ && InOurs > 0, "the region agrees with the scan-converted region");
    std::printf("location_region_build: %.2f ms\n", BuildOurs * 1e3);
    std::printf("location_qregion_build: %.1f ms\n", BuildQ * 1e3);
    std::printf("point_in_location_region: %.1f ns\n", PerTest * 1e9);
    std::printf("ratio qregion_test_over_ours: %.2f\n", TBase / TOurs);
    std::printf("ratio qregion_build_over_ours: %.2f\n", BuildQ / BuildOurs);
    return Failures == 0 ? 0 : 1;
}
