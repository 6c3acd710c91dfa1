// Map drawing, geography files and the QC-square look-up.
#include "app/manual/map.h"

#include "app/manual/Isolines.h"
#include "platform/dataset/TField.h"
#include "platform/rtl/IniFiles.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/TTextFileReader.h"
#include "platform/toolkit/TCanvas.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TTimer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>
#include <system_error>

TRealRectArr BsSquares;
TRealRectArr MsSquares;
rtl::TStringList BsSquareNames;
rtl::TStringList MsSquareNames;
std::string SeaCode;
TRealPointArr CruiseStationPos;
TPointArr CruiseStationPts;
std::vector<int> CruiseStationIds;
TRealPointArr DuplStationPos;
TPointArr DuplStationPts;
bool DrawTrack = false;
int CurStationIndex = -1;
TBits LocationErrors;
TBits VelocityErrors;
TBits DepthErrors;
int BlinkPhase = 0;
TTimer *BlinkTimer = nullptr;
TRealRect AxesWorldRect;
TRect AxesScreenRect;
TRealRect PlotExtents;

namespace {

const std::string Degree = "\xC2\xB0";

// ---- files read when they change --------------------------------------------

// A file as last read (or found missing): its path, time and size. A file
// that has gone since it was read counts as changed, so that its reader
// raises its error again.
struct TFileVersion {
    std::string Path;
    std::filesystem::file_time_type Time{};
    uintmax_t Size = 0;
    bool Exists = false;
    bool Read = false;

    bool Changed(const std::string &APath) const
    {
        std::error_code E;
        const bool Now = std::filesystem::exists(APath, E);
        if (!Read || APath != Path || Now != Exists)
            return true;
        if (!Now)
            return false;
        return std::filesystem::last_write_time(APath, E) != Time || std::filesystem::file_size(APath, E) != Size;
    }
    void Take(const std::string &APath)
    {
        std::error_code E;
        Path = APath;
        Exists = std::filesystem::exists(APath, E);
        Time = Exists ? std::filesystem::last_write_time(APath, E) : std::filesystem::file_time_type{};
        Size = Exists ? std::filesystem::file_size(APath, E) : 0;
        Read = true;
    }
};

// A polygon's count of points: a whole number from 0 to ten million.
int ReadCount(rtl::TTextFileReader &In)
{
    const int n = In.ReadInteger();
    if (n < 0 || n > 10000000)
        In.Fail(106);
    return n;
}

// A colour index as written (its fraction dropped); kept as a double so that
// a number no int can hold is reported as written, not converted.
double ColourIndexOf(double v) { return std::trunc(v); }

struct TCoastBlock {
    double Colour;
    TRealPointArr Points;
};

struct TCoastFile {
    TFileVersion Version;
    double SeaIndex = 0;
    std::vector<TCoastBlock> Blocks;
    bool Reported = false;
} Coast;

// A point line: two numbers; anything after them is ignored.
std::pair<double, double> ReadPointLine(rtl::TTextFileReader &In)
{
    if (!In.NextNonBlankLine())
        In.Fail(100); // the file ends inside a polygon
    const double a = In.ReadNumber();
    return {a, In.ReadNumber()};
}

void LoadCoast(const std::string &Path)
{
    rtl::TTextFileReader In(Path);
    TCoastFile C;
    if (!In.NextNonBlankLine())
        In.Fail(100);
    C.SeaIndex = ColourIndexOf(In.ReadNumber());
    while (In.NextNonBlankLine()) {
        const int n = ReadCount(In);
        TCoastBlock B{ColourIndexOf(In.ReadNumber()), {}};
        for (int k = 0; k < n; ++k) {
            const auto [x, y] = ReadPointLine(In);
            B.Points.push_back(MakeRealPoint(x, y));
        }
        C.Blocks.push_back(std::move(B));
    }
    C.Version.Take(Path);
    Coast = std::move(C);
}

// Extra lines keep the two numbers of each point as written; the column
// order is applied when drawing, so a change of it needs no re-reading.
struct TExtraFile {
    TFileVersion Version;
    std::vector<std::vector<std::pair<double, double>>> Blocks;
} Extra;

void LoadExtra(const std::string &Path)
{
    rtl::TTextFileReader In(Path);
    TExtraFile X;
    while (In.NextNonBlankLine()) {
        const int n = ReadCount(In);
        std::vector<std::pair<double, double>> Block;
        for (int k = 0; k < n; ++k)
            Block.push_back(ReadPointLine(In));
        X.Blocks.push_back(std::move(Block));
    }
    X.Version.Take(Path);
    Extra = std::move(X);
}

// Axis settings and the label widths of each unit.
struct TAxesFile {
    TFileVersion Version;
    std::vector<double> Units; // K: size of each unit in the finest unit, largest first
    std::vector<double> Steps; // S: admissible steps in the chosen unit
    std::vector<TFileVersion> WidthVersions;
    std::vector<std::vector<int>> Widths;
    bool Usable = false;
} Axes;

void ReportOnce(bool &Reported, const std::string &Text)
{
    if (!Reported)
        MessageDlg(Text, mtError, mbOK);
    Reported = true;
}

TPoint ToMap(const TRealPoint &p) { return WorldToScreen(p, CurrentZoomRect(), MapScreenRect, false, true); }

void Circle(TCanvas &C, const TPoint &p, int r) { C.Ellipse(p.X - r, p.Y - r, p.X + r, p.Y + r); }

bool HasError(int i) { return LocationErrors.Bits(i) || VelocityErrors.Bits(i) || DepthErrors.Bits(i); }

void SolidBlackPen(TCanvas &C)
{
    C.Pen.Style = psSolid;
    C.Pen.Mode = pmCopy;
    C.Pen.Color = clBlack;
}

// The step of an axis: the unit whose size suits a sixth (or fifth) of the
// span, then the admissible step closest to the ideal one. With MinTicks > 0
// a step is only taken when it leaves at least that many ticks.
double AxisStep(double Span, double Parts, double MinTicks, int &Unit)
{
    const std::vector<double> &K = Axes.Units, &S = Axes.Steps;
    Unit = 0;
    double Kc = K[0];
    double Ideal = K[0] * Span / Parts;
    for (size_t i = 1; i < K.size(); ++i)
        if (Ideal < K[i - 1] && K[i] <= Ideal) {
            Kc = K[i];
            Unit = int(i);
        }
    Ideal /= Kc;
    size_t j = 0;
    double Best = std::fabs(S[0] - Ideal);
    for (size_t t = 0; t < S.size(); ++t)
        if (std::fabs(S[t] - Ideal) < Best) {
            Best = std::fabs(S[t] - Ideal);
            if (MinTicks <= 0 || (K[0] * Span) / (S[t] * K[0] / Kc) >= MinTicks)
                j = t;
        }
    return S[j] * Kc / K[0];
}

const std::vector<int> &UnitWidths(int Unit)
{
    static const std::vector<int> None;
    return Unit >= 0 && size_t(Unit) < Axes.Widths.size() ? Axes.Widths[size_t(Unit)] : None;
}

// Never more ticks than this on one axis, whatever the settings say.
constexpr int MaxTicks = 1000;

// The tick step of a plot axis: the span's power of ten, a tenth of it when
// the span is small against it, times up to five.
double PlotStep(double Span, bool InclusiveTest)
{
    if (!(Span > 0) || !std::isfinite(Span))
        return 0;
    const int e = int(std::floor(std::log10(Span)));
    double U = e >= 0 ? IntPowerOf(e, 10.0) : 1.0 / IntPowerOf(-e, 10.0);
    if (InclusiveTest ? 3 * U >= Span : 3 * U > Span)
        U /= 10;
    const int n = std::min(5, RoundPixel(Span / (4 * U)));
    return n * U;
}

void PlotRange(double Min, double Max, double Step, double &Lo, double &Hi)
{
    Lo = std::trunc(Min / Step) * Step;
    Hi = Max;
    if (Max / Step != std::trunc(Max / Step))
        Hi = (std::trunc(Max / Step) + 1) * Step;
}

void DottedLine(TCanvas &C, TColor Colour, int X1, int Y1, int X2, int Y2)
{
    C.Pen.Style = psDot;
    C.Pen.Color = Colour;
    C.MoveTo(X1, Y1);
    C.LineTo(X2, Y2);
    SolidBlackPen(C);
}

void Tick(TCanvas &C, int X1, int Y1, int X2, int Y2)
{
    C.MoveTo(X1, Y1);
    C.LineTo(X2, Y2);
}

// A tick of the horizontal axis at px: marks at the top and bottom edges,
// the label centred under the frame, a dotted line between the marks.
void XAxisTick(TCanvas &C, const TRect &S, int px, const std::string &Label, TColor Dots)
{
    if (!(S.Left < px && px < S.Right))
        return;
    const int w = C.TextWidth(Label);
    Tick(C, px, S.Top, px, S.Top + 6);
    C.Brush.Style = bsClear;
    // A tick close to the right edge keeps its label whole on the canvas
    // (the profile plot leaves only 5 pixels beside its frame).
    C.TextOut(std::min(px - RoundPixel(w / 2.0), C.Width() - w), S.Bottom + 2, Label);
    Tick(C, px, S.Bottom - 1, px, S.Bottom - 7);
    DottedLine(C, Dots, px, S.Top + 6, px, S.Bottom - 6);
}

// A tick of the vertical axis at py: marks at the left and right edges, the
// label left of the frame centred on a height of LabelHeight, a dotted line
// Inset pixels inside the edges.
void YAxisTick(TCanvas &C, const TRect &S, int py, const std::string &Label, int LabelHeight, int Inset, TColor Dots)
{
    if (!(S.Top < py && py < S.Bottom))
        return;
    const int w = C.TextWidth(Label);
    Tick(C, S.Left, py, S.Left + 6, py);
    Tick(C, S.Right - 1, py, S.Right - 7, py);
    C.Brush.Style = bsClear;
    C.TextOut(S.Left - w - 2, py - RoundPixel(LabelHeight / 2.0), Label);
    DottedLine(C, Dots, S.Left + Inset, py, S.Right - Inset, py);
}

} // namespace

TRect ClipWithEdges(const TRect &R) { return Rect(R.Left, R.Top, R.Right + 1, R.Bottom + 1); }

void DrawCoast(TCanvas &Canvas)
{
    const std::string Path = MapsDir + "map.bln";
    if (Coast.Version.Changed(Path))
        LoadCoast(Path);
    const auto ColourAt = [&](double Index, TColor &Out) {
        if (!(Index >= 0 && Index < double(MapColors.size()))) {
            ReportOnce(Coast.Reported, "Colour index " + rtl::FloatToStr(Index) + " of " + Path +
                                           " lies outside the map colours");
            return false;
        }
        Out = MapColors[size_t(Index)];
        return true;
    };
    TColor Colour;
    // An index that no int holds is outside the palette anyway: -1.
    const bool SeaFits = Coast.SeaIndex >= double(INT_MIN) && Coast.SeaIndex <= double(INT_MAX);
    SeaColorIndex = SeaFits ? int(Coast.SeaIndex) : -1;
    if (ColourAt(Coast.SeaIndex, Colour)) {
        Canvas.Brush.Style = bsSolid;
        Canvas.Brush.Color = Colour;
        Canvas.FillRect(MapScreenRect);
    }
    // A zoomed map's coast reaches far past the map; outside it the image
    // keeps its margins.
    Canvas.SetClipRect(ClipWithEdges(MapScreenRect));
    for (const TCoastBlock &B : Coast.Blocks) {
        if (!ColourAt(B.Colour, Colour))
            continue;
        TPointArr Pts;
        Pts.reserve(B.Points.size());
        for (const TRealPoint &p : B.Points)
            Pts.push_back(ToMap(p));
        Canvas.Brush.Style = bsSolid;
        Canvas.Brush.Color = Colour;
        Canvas.Pen.Color = Colour;
        Canvas.Polygon(Pts);
    }
    Canvas.ClearClipRect();
    Canvas.Brush.Style = bsClear;
    Canvas.Pen.Color = clBlack;
    Canvas.Pen.Width = 2;
    Canvas.Rectangle(MapScreenRect.Left, MapScreenRect.Top, MapScreenRect.Right + 1, MapScreenRect.Bottom + 1);
    Canvas.Pen.Width = 1;
}

TRealPoint StationPlace(const TField *Lon, const TField *Lat)
{
    if (Lon->IsNull() || Lat->IsNull())
        return MakeRealPoint(std::nan(""), std::nan(""));
    return MakeRealPoint(Lon->AsFloat(), Lat->AsFloat());
}

bool HasPlace(const TRealPoint &p) { return !std::isnan(p.x) && !std::isnan(p.y); }

void DrawStations(const TRealPointArr &Stations, TPointArr &Points, TColor Colour, TCanvas &Canvas)
{
    Points.clear();
    TPointArr Track;
    for (const TRealPoint &p : Stations) {
        Points.push_back(HasPlace(p) ? ToMap(p) : TPoint{});
        if (HasPlace(p))
            Track.push_back(Points.back());
    }
    if (Stations.empty())
        return;
    const bool Cruise = &Stations != &DuplStationPos;
    Canvas.Pen.Color = clSilver;
    if (DrawTrack && !Track.empty())
        Canvas.Polyline(Track);
    Canvas.Pen.Color = clMaroon;
    for (size_t i = 0; i < Points.size(); ++i) {
        if (!HasPlace(Stations[i]))
            continue;
        Canvas.Brush.Style = bsSolid;
        Canvas.Brush.Color = Cruise && HasError(int(i)) ? clRed : Colour;
        Circle(Canvas, Points[i], 3);
    }
    if (Colour == clGray)
        return; // the duplicates: no blinking, no current station
    int Segments = 0;
    for (size_t i = 1; i < Points.size(); ++i) {
        if (!VelocityErrors.Bits(int(i)) || !HasPlace(Stations[i]) || !HasPlace(Stations[i - 1]))
            continue;
        ++Segments;
        Canvas.Pen.Color = clRed;
        Canvas.MoveTo(Points[i].X, Points[i].Y);
        Canvas.LineTo(Points[i - 1].X, Points[i - 1].Y);
        for (size_t s : {i, i - 1}) {
            Canvas.Brush.Color = int(s) == CurStationIndex ? clMaroon : clRed;
            Circle(Canvas, Points[s], 3);
        }
    }
    if (CurStationIndex >= 0 && size_t(CurStationIndex) < Points.size() && HasPlace(Stations[size_t(CurStationIndex)]))
        DrawStationMark(Canvas, Points[size_t(CurStationIndex)], HasError(CurStationIndex) ? clMaroon : clLime);
    Canvas.Pen.Color = clBlack;
    if (BlinkTimer) {
        if (Segments > 0) {
            BlinkPhase = 0;
            BlinkTimer->SetInterval(250);
            BlinkTimer->SetEnabled(true);
        } else {
            BlinkTimer->SetEnabled(false);
        }
    }
}

void DrawStationMark(TCanvas &Canvas, const TPoint &p, TColor Fill)
{
    Canvas.Brush.Style = bsSolid;
    Canvas.Brush.Color = Fill;
    Circle(Canvas, p, 3);
    // The ring: not-xor with a white pen leaves every pixel as it was, so
    // the ring never shows and drawing it again changes nothing either. The
    // map has always drawn it so; operators know the current station by its
    // fill colour.
    Canvas.Pen.Mode = pmNotXor;
    Canvas.Pen.Color = clWhite;
    Canvas.Pen.Width = 2;
    Canvas.Brush.Style = bsClear;
    Circle(Canvas, p, 7);
    Canvas.Pen.Mode = pmCopy;
    Canvas.Pen.Color = clMaroon;
    Canvas.Pen.Width = 1;
}

void DrawBlinkStep(TCanvas &Canvas)
{
    BlinkPhase = BlinkPhase == 1 ? 0 : 1;
    Canvas.Pen.Color = BlinkPhase == 1 ? clSilver : clRed;
    Canvas.Brush.Style = bsSolid;
    const TPointArr &P = CruiseStationPts;
    for (size_t i = 1; i < P.size() && i < CruiseStationPos.size(); ++i) {
        if (!VelocityErrors.Bits(int(i)) || !HasPlace(CruiseStationPos[i]) || !HasPlace(CruiseStationPos[i - 1]))
            continue;
        Canvas.MoveTo(P[i].X, P[i].Y);
        Canvas.LineTo(P[i - 1].X, P[i - 1].Y);
        for (size_t s : {i, i - 1}) {
            Canvas.Brush.Color = int(s) == CurStationIndex ? clMaroon : clRed;
            Circle(Canvas, P[s], 3);
        }
    }
    Canvas.Pen.Color = clSilver;
}

void DrawSquares(TCanvas &Canvas)
{
    Canvas.Pen.Color = clWhite;
    Canvas.Brush.Style = bsClear;
    for (const TRealRectArr *Set : {&MsSquares, &BsSquares})
        for (const TRealRect &Sq : *Set) {
            const TRect r = WorldRectToScreen(Sq, CurrentZoomRect(), MapScreenRect, false, true);
            // A corner far off the map lands on the largest pixel; one more
            // must not wrap round to the other side.
            Canvas.Rectangle(r.Left, r.Top, r.Right < INT_MAX ? r.Right + 1 : INT_MAX,
                             r.Bottom < INT_MAX ? r.Bottom + 1 : INT_MAX);
        }
    Canvas.Brush.Style = bsSolid;
    Canvas.Pen.Mode = pmCopy;
    Canvas.Pen.Color = clBlack;
}

void DrawExtraLines(TCanvas &Canvas)
{
    if (Extra.Version.Changed(ExtraLinesFile))
        LoadExtra(ExtraLinesFile);
    Canvas.Brush.Style = bsClear;
    Canvas.Pen.Color = clWhite;
    for (const auto &Block : Extra.Blocks) {
        TPointArr Pts;
        for (const auto &[a, b] : Block)
            Pts.push_back(ToMap(SwapCoordColumns ? MakeRealPoint(a, b) : MakeRealPoint(b, a)));
        Canvas.Polygon(Pts);
    }
}

void DrawRubberRect(TCanvas &Canvas, const TRect &R)
{
    Canvas.Brush.Style = bsClear;
    Canvas.Pen.Width = 2;
    Canvas.Pen.Mode = pmNotXor;
    Canvas.Pen.Color = clCream;
    Canvas.Rectangle(R);
    Canvas.Pen.Mode = pmCopy;
    Canvas.Pen.Color = clBlack;
    Canvas.Pen.Width = 1;
    Canvas.Brush.Style = bsSolid;
}

void InitGeoAxes()
{
    const std::string Path = CfgDir + "geogrAxe.Ini";
    bool Changed = Axes.Version.Changed(Path);
    for (size_t k = 0; !Changed && k < Axes.WidthVersions.size(); ++k)
        Changed = Axes.WidthVersions[k].Changed(CfgDir + "crd" + std::to_string(k) + ".txt");
    if (!Changed)
        return;
    TAxesFile A;
    A.Version.Take(Path);
    bool Reported = false;
    {
        rtl::TIniFile Ini(Path);
        const int nK = Ini.ReadInteger("KOFFS", "Cnt", 0), nS = Ini.ReadInteger("STEPS", "Cnt", 0);
        for (int i = 0; i < std::min(nK, 1000); ++i)
            A.Units.push_back(Ini.ReadInteger("KOFFS", "Koffs" + std::to_string(i), 1));
        // A step that is no number in the "." format (a decimal comma)
        // counts as zero, so that the file is named below.
        for (int i = 0; i < std::min(nS, 1000); ++i) {
            double Step;
            A.Steps.push_back(
                rtl::TryReadNumber(Ini.ReadString("STEPS", "StepVal" + std::to_string(i), "1"), Step) ? Step : 0);
        }
    }
    // A unit or step of zero or less would never advance the ticks.
    A.Usable = !A.Units.empty() && !A.Steps.empty() &&
               std::all_of(A.Units.begin(), A.Units.end(), [](double v) { return v > 0; }) &&
               std::all_of(A.Steps.begin(), A.Steps.end(), [](double v) { return v > 0; });
    if (!A.Usable)
        ReportOnce(Reported, "The map axes need units and steps above zero in " + Path);
    for (size_t k = 0; k < A.Units.size(); ++k) {
        const std::string WPath = CfgDir + "crd" + std::to_string(k) + ".txt";
        TFileVersion V;
        V.Take(WPath);
        A.WidthVersions.push_back(V);
        TIntArr W;
        try {
            ReadIntList(WPath, W);
            // A label field wider than a line of text is a fault of the file.
            if (std::any_of(W.begin(), W.end(), [](int w) { return w < 0 || w > 64; }))
                throw EInOutError(106, "a width outside 0 to 64");
        } catch (const EInOutError &E) {
            bool Once = false;
            ReportOnce(Once, "Label widths " + WPath + ": " + E.Message());
            W.clear();
        }
        A.Widths.push_back(W);
    }
    Axes = std::move(A);
}

void DrawGeoAxes(TCanvas &Canvas)
{
    Canvas.Font.Name = "Arial Narrow";
    Canvas.Font.Size = 8;
    if (!Axes.Usable)
        return;
    const TRealRect &W = AxesWorldRect;
    const TRect &S = AxesScreenRect;
    int kx = 0, ky = 0;
    const double StepX = GeoAxisStep(W.xmax - W.xmin, true, kx);
    const double StepY = GeoAxisStep(W.ymax - W.ymin, false, ky);
    Canvas.Brush.Style = bsClear;
    Canvas.Rectangle(S);
    Canvas.Font.Name = "Arial Narrow";
    Canvas.Font.Size = 8;
    int Count = 0;
    for (double x = std::trunc(W.xmin / StepX) * StepX; x < W.xmax && Count < MaxTicks; x += StepX, ++Count) {
        const std::string Label = DegreesToDegMinSec(rtl::FloatToStr(x) + Degree, UnitWidths(kx));
        XAxisTick(Canvas, S, ValueToPixel(MakeRange(W.xmin, W.xmax), MakePoint(S.Left, S.Right), false, x), Label,
                  clInfoBk);
    }
    Count = 0;
    for (double y = std::trunc(W.ymin / StepY) * StepY; y < W.ymax && Count < MaxTicks; y += StepY, ++Count) {
        const std::string Label = DegreesToDegMinSec(rtl::FloatToStr(y) + Degree, UnitWidths(ky));
        const int hh = Canvas.TextHeight(Label) * (ky + 1) + 3 * ky;
        YAxisTick(Canvas, S, ValueToPixel(MakeRange(W.ymin, W.ymax), MakePoint(S.Top, S.Bottom), true, y), Label, hh, 7,
                  clInfoBk);
    }
}

double GeoAxisStep(double Span, bool Longitude, int &Unit)
{
    Unit = 0;
    if (!Axes.Usable)
        return 0;
    return Longitude ? AxisStep(Span, 6.0, 4.0, Unit) : AxisStep(Span, 5.0, 0.0, Unit);
}

void DrawPlotAxes(TCanvas &Canvas)
{
    const TRealRect &W = AxesWorldRect;
    const TRect &S = AxesScreenRect;
    double Lo, Hi;
    const double StepX = PlotStep(PlotExtents.xmax - PlotExtents.xmin, false);
    if (StepX > 0) {
        PlotRange(PlotExtents.xmin, PlotExtents.xmax, StepX, Lo, Hi);
        int Count = 0;
        for (double v = Lo; v < Hi && Count < MaxTicks; v += StepX, ++Count) {
            XAxisTick(Canvas, S, ValueToPixel(MakeRange(W.xmin, W.xmax), MakePoint(S.Left, S.Right), false, v),
                      rtl::FloatToStrF(v, rtl::ffFixed, 5, 1), clMaroon);
        }
    }
    const double StepY = PlotStep(PlotExtents.ymax - PlotExtents.ymin, true);
    if (StepY > 0) {
        PlotRange(PlotExtents.ymin, PlotExtents.ymax, StepY, Lo, Hi);
        int Count = 0;
        for (double y = Lo; y < Hi && Count < MaxTicks; y += StepY, ++Count) {
            const std::string Label = rtl::FloatToStrF(-y, rtl::ffFixed, 5, 1);
            YAxisTick(Canvas, S, ValueToPixel(MakeRange(W.ymin, W.ymax), MakePoint(S.Top, S.Bottom), true, y), Label,
                      Canvas.TextHeight(Label), 6, clMaroon);
        }
    }
}

std::map<std::string, std::string> RefusedSquareFiles;

namespace {
// The list each refused file was to fill, by file name: which sea's squares
// are missing is a matter of the list, not of the file's name.
std::map<std::string, const TRealRectArr *> RefusedSquareLists;

// A square holds the points of its edges. Longitudes that differ by a full
// turn name one meridian (180 E is 180 W), and at a pole every meridian
// meets: a square reaching the pole holds it whatever its longitudes.
bool SquareHolds(const TRealRect &R, double lon, double lat)
{
    if (!(R.ymin <= lat && lat <= R.ymax))
        return false;
    if (std::fabs(lat) == 90)
        return true;
    for (const double Turn : {0.0, -360.0, 360.0})
        if (R.xmin <= lon + Turn && lon + Turn <= R.xmax)
            return true;
    return false;
}
} // namespace

std::string RefusedSquareFile(const TRealRectArr &Squares)
{
    for (const auto &Refused : RefusedSquareFiles) {
        const auto It = RefusedSquareLists.find(Refused.first);
        if (It != RefusedSquareLists.end() && It->second == &Squares)
            return Refused.first;
    }
    return std::string();
}

void LoadSquares(const std::string &FileName, rtl::TStringList &Names, TRealRectArr &Squares)
{
    Names.Clear();
    Squares.clear();
    // Taken whole or not at all: the squares before a refused line would
    // send their stations to the checks and leave the others unchecked.
    rtl::TStringList ReadNames;
    TRealRectArr Read;
    try {
        rtl::TTextFileReader In(FileName);
        while (In.NextNonBlankLine()) {
            // Four numbers, then the rest of the line is the name (Black Sea
            // names are numbers themselves).
            double v[4];
            for (double &Value : v)
                Value = In.ReadNumber();
            // Names of a legacy 8-bit file would never match a climatology's.
            if (!rtl::IsUtf8(In.Rest()))
                In.Refuse("the file is not UTF-8");
            Read.push_back(MakeWorldRect(v[0], v[1], v[2], v[3]));
            ReadNames.Add(rtl::Trim(In.Rest()));
        }
    } catch (const EInOutError &E) {
        RefusedSquareFiles[FileName] = E.what();
        RefusedSquareLists[FileName] = &Squares;
        throw;
    }
    RefusedSquareFiles.erase(FileName);
    RefusedSquareLists.erase(FileName);
    Names.Assign(ReadNames);
    Squares = std::move(Read);
}

std::string FindSquare(double lon, double lat)
{
    std::string Result;
    SeaCode.clear();
    for (size_t i = 0; i < BsSquares.size(); ++i)
        if (SquareHolds(BsSquares[i], lon, lat))
            Result = BsSquareNames.Strings(int(i));
    if (!Result.empty()) {
        SeaCode = "BS";
        return Result;
    }
    for (size_t i = 0; i < MsSquares.size(); ++i)
        if (SquareHolds(MsSquares[i], lon, lat))
            Result = MsSquareNames.Strings(int(i));
    if (!Result.empty())
        SeaCode = "MS";
    return Result;
}

namespace {
// Some point of the polygon lies off the line through its first point and
// the first other point: not all of them are on one line.
bool EnclosesArea(const TRealPointArr &P)
{
    size_t I = 1;
    while (I < P.size() && P[I].x == P[0].x && P[I].y == P[0].y)
        ++I;
    for (size_t K = I + 1; K < P.size(); ++K)
        if ((P[I].x - P[0].x) * (P[K].y - P[0].y) != (P[I].y - P[0].y) * (P[K].x - P[0].x))
            return true;
    return false;
}
} // namespace

std::vector<TContourPolygon> ReadContourFile(const std::string &FileName, bool LonFirst)
{
    rtl::TTextFileReader In(FileName);
    std::vector<TContourPolygon> Result;
    int FirstLine = 0;
    bool Area = false;
    while (In.NextNonBlankLine()) {
        // The header: a count, then on the same line the kind (0 when absent).
        TContourPolygon P;
        FirstLine = FirstLine ? FirstLine : In.LineNo();
        const int n = In.ReadInteger();
        // Only zero or not matters; a kind past the integers is a hole too.
        if (!In.LineEnded()) {
            const double k = In.ReadNumber();
            P.Kind = k == 0 ? 0 : std::fabs(k) <= 1e9 && k == std::trunc(k) ? int(k) : 1;
        }
        for (int k = 0; k < n; ++k) {
            const auto [a, b] = ReadPointLine(In);
            P.Points.push_back(LonFirst ? MakeRealPoint(a, b) : MakeRealPoint(b, a));
        }
        Area = Area || (P.Kind == 0 && EnclosesArea(P.Points));
        Result.push_back(std::move(P));
    }
    // A file without a polygon, or whose polygons are holes or enclose no
    // area (a header "0 0", points on one line), would leave every station
    // outside the region, with nothing said.
    if (Result.empty())
        In.Fail(100);
    if (!Area)
        throw EInOutError(106, FileName + ", line " + std::to_string(FirstLine) + ": no polygon encloses an area");
    return Result;
}

TRegion ContourRegionOf(const std::vector<TPointArr> &Areas, const std::vector<TPointArr> &Holes)
{
    // Areas united, then every hole taken out. Without an area there is
    // nothing to take holes out of: the region stays empty, so every point
    // is out of it.
    TRegion R;
    bool First = true;
    for (const TPointArr &A : Areas) {
        if (First)
            R = TRegion::Polygon(A, ALTERNATE);
        else
            R.Combine(TRegion::Polygon(A, ALTERNATE), RGN_OR);
        First = false;
    }
    if (First)
        return R;
    for (const TPointArr &H : Holes)
        R.Combine(TRegion::Polygon(H, ALTERNATE), RGN_DIFF);
    return R;
}
