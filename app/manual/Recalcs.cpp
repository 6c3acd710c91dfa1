// Coordinate transforms, zoom stacks and degree labels of the map.
#include "app/manual/Recalcs.h"

#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TDialogs.h"

#include <algorithm>
#include <climits>
#include <cmath>

bool MapInvertX = false;
bool MapInvertY = true;
bool SwapCoordColumns = false;
// The default full view of the map; the main window sets it again from its
// settings at start-up.
TRealRectArr ZoomStack{TRealRect{-14.0, 30.0, 42.0, 50.0}};
int ZoomIndex = 0;
TRect MapScreenRect;
TRealRect GridWorldRect;
TRect RubberRect;
TRect SelectionRect{-5, -5, -5, -5};

namespace {
void WrongRect() { MessageDlg("Wrong Rect", mtError, mbOK); }
} // namespace

TPoint MakePoint(int X, int Y) { return TPoint{X, Y}; }
TRange MakeRange(double min, double max) { return TRange{min, max}; }
TRealPoint MakeRealPoint(double x, double y) { return TRealPoint{x, y}; }
TRealRect MakeWorldRect(double xmin, double ymin, double xmax, double ymax) { return TRealRect{xmin, ymin, xmax, ymax}; }

int RoundPixel(double v)
{
    if (std::isnan(v))
        return 0;
    const double r = std::nearbyint(v); // the default rounding mode: ties to even
    if (r >= double(INT_MAX))
        return INT_MAX;
    if (r <= double(INT_MIN))
        return INT_MIN;
    return int(r);
}

namespace {
// p1 + p2 - r without overflow for the clamped pixels of wild values.
int Mirror(int p1, int p2, int r) { return RoundPixel(double(p1) + double(p2) - double(r)); }
} // namespace

int ValueToPixel(TRange range, TPoint span, bool invert, double v)
{
    const int r = RoundPixel((v - range.min) * (double(span.Y) - span.X) / (range.max - range.min) + span.X);
    return invert ? Mirror(span.X, span.Y, r) : r;
}

TPoint WorldToScreen(TRealPoint p, const TRealRect &world, const TRect &screen, bool invertX, bool invertY)
{
    TPoint Result;
    if (world.xmax - world.xmin == 0) {
        WrongRect();
    } else {
        Result.X = RoundPixel((p.x - world.xmin) * (double(screen.Right) - screen.Left) / (world.xmax - world.xmin) +
                              screen.Left);
        if (invertX)
            Result.X = Mirror(screen.Left, screen.Right, Result.X);
    }
    if (world.ymax - world.ymin == 0) {
        WrongRect();
    } else {
        Result.Y = RoundPixel((p.y - world.ymin) * (double(screen.Bottom) - screen.Top) / (world.ymax - world.ymin) +
                              screen.Top);
        if (invertY)
            Result.Y = Mirror(screen.Top, screen.Bottom, Result.Y);
    }
    return Result;
}

TRealPoint ScreenToWorld(TPoint p, const TRealRect &world, const TRect &screen, bool invertX, bool invertY)
{
    TRealPoint Result;
    if (screen.Right == screen.Left) {
        WrongRect();
    } else {
        Result.x = (world.xmax - world.xmin) * (double(p.X) - screen.Left) / (double(screen.Right) - screen.Left) +
                   world.xmin;
        if (invertX)
            Result.x = world.xmin + world.xmax - Result.x;
    }
    if (screen.Bottom == screen.Top) {
        WrongRect();
    } else {
        Result.y = (world.ymax - world.ymin) * (double(p.Y) - screen.Top) / (double(screen.Bottom) - screen.Top) +
                   world.ymin;
        if (invertY)
            Result.y = world.ymin + world.ymax - Result.y;
    }
    return Result;
}

TRect WorldRectToScreen(const TRealRect &r, const TRealRect &world, const TRect &screen, bool invertX, bool invertY)
{
    const TPoint a = WorldToScreen(TRealPoint{r.xmin, r.ymin}, world, screen, invertX, invertY);
    const TPoint b = WorldToScreen(TRealPoint{r.xmax, r.ymax}, world, screen, invertX, invertY);
    return TRect{std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y)};
}

TRealRect ScreenRectToWorld(const TRect &r, const TRealRect &world, const TRect &screen, bool invertX, bool invertY)
{
    const TRealPoint a = ScreenToWorld(TPoint{r.Left, r.Top}, world, screen, invertX, invertY);
    const TRealPoint b = ScreenToWorld(TPoint{r.Right, r.Bottom}, world, screen, invertX, invertY);
    return TRealRect{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

bool PointInRect(const TRect &r, int X, int Y)
{
    return r.Left <= X && X <= r.Right && r.Top <= Y && Y <= r.Bottom;
}

bool PointInWorldRect(const TRealRect &r, double x, double y)
{
    return r.xmin <= x && x <= r.xmax && r.ymin <= y && y <= r.ymax;
}

TRect FitRectToAspect(const TRect &r, double ratio)
{
    TRect Result = r;
    const double W = r.Right - r.Left, H = r.Bottom - r.Top;
    if (H / W > ratio) {
        Result.Left = RoundPixel(r.Left + W / 2 - H / (2 * ratio));
        Result.Right = RoundPixel(r.Left + W / 2 + H / (2 * ratio));
    } else {
        Result.Top = RoundPixel(r.Top + H / 2 - W * ratio / 2);
        Result.Bottom = RoundPixel(r.Top + H / 2 + W * ratio / 2);
    }
    return Result;
}

TRect ShiftRectInside(const TRect &r, const TRect &bounds)
{
    TRect Result = r;
    const auto Shift = [&](int dx, int dy) {
        Result.Left += dx;
        Result.Right += dx;
        Result.Top += dy;
        Result.Bottom += dy;
    };
    if (Result.Left < bounds.Left)
        Shift(bounds.Left - Result.Left, 0);
    if (Result.Top < bounds.Top)
        Shift(0, bounds.Top - Result.Top);
    if (Result.Right > bounds.Right)
        Shift(bounds.Right - Result.Right, 0);
    if (Result.Bottom > bounds.Bottom)
        Shift(0, bounds.Bottom - Result.Bottom);
    return Result;
}

double IntPowerOf(int n, double x)
{
    double Result = 1.0;
    for (int i = 0; i < n; ++i)
        Result *= x;
    return Result;
}

std::string PadIntPart(const std::string &text, int width)
{
    const size_t Dot = text.find('.');
    std::string Int = Dot == std::string::npos ? text : text.substr(0, Dot);
    if (int(Int.size()) < width)
        Int.insert(0, size_t(width) - Int.size(), '0');
    return Dot == std::string::npos ? Int : Int + "." + text.substr(Dot + 1);
}

std::string PadFixedPart(const std::string &text, int width, int digits)
{
    const size_t Dot = text.find('.');
    if (Dot == std::string::npos)
        return PadIntPart(text, width);
    const std::string Int = PadIntPart(text.substr(0, Dot), width);
    std::string Frac = text.substr(Dot + 1);
    if (int(Frac.size()) > digits) {
        double f = 0;
        rtl::TryStrToFloat("0." + Frac, f);
        std::string Digits = std::to_string(std::llround(std::nearbyint(f * IntPowerOf(digits, 10.0))));
        if (int(Digits.size()) < digits)
            Digits.insert(0, size_t(digits) - Digits.size(), '0');
        Frac = Digits;
    } else if (int(Frac.size()) < digits) {
        Frac.append(size_t(digits) - Frac.size(), '0');
    }
    return Int + "." + Frac;
}

std::string DegreesToDegMinSec(const std::string &text, const std::vector<int> &widths)
{
    static const std::string Degree = "\xC2\xB0"; // the degree sign
    const size_t Mark = text.find(Degree);
    double D = 0;
    if (Mark == std::string::npos || Mark == 0 || !rtl::TryStrToFloat(text.substr(0, Mark), D)) {
        MessageDlg("Wrong Coordinate", mtError, mbOK);
        return std::string();
    }
    double M = (D - std::trunc(D)) * 60;
    double S = (M - std::trunc(M)) * 60;
    M = std::trunc(M);
    D = std::trunc(D);
    if (std::nearbyint(S) == 60) {
        M += 1;
        S = 0;
    }
    if (M == 60) {
        D += 1;
        M = 0;
    }
    const size_t n = widths.size();
    const std::string DegText = n >= 1 ? PadIntPart(rtl::FloatToStr(D), widths[0]) : std::string();
    const std::string MinText = n >= 2 ? PadIntPart(rtl::FloatToStr(M), widths[1]) : std::string();
    std::string SecText;
    if (n == 4) {
        std::string s = rtl::FloatToStrF(S, rtl::ffGeneral, widths[2] + widths[3] + 1, widths[3]);
        if (S == 0)
            s += ".";
        SecText = PadFixedPart(s, widths[2], widths[3]);
    } else if (n == 3) {
        SecText = PadIntPart(std::to_string(RoundPixel(S)), widths[2]);
    }
    std::string Result;
    if (!DegText.empty())
        Result += DegText + Degree;
    if (!MinText.empty())
        Result += MinText + "'";
    return Result + SecText;
}

void ZoomStackIn(TRealRectArr &Stack, int &Index, const TRect &Rubber, const TRect &Screen, bool InvertX, bool InvertY)
{
    if (Stack.empty())
        return;
    const TRealRect Previous = Stack[size_t(Index)];
    ++Index;
    Stack.resize(size_t(Index) + 1);
    Stack[size_t(Index)] = ScreenRectToWorld(Rubber, Previous, Screen, InvertX, InvertY);
}

void ZoomStackOut(int &Index)
{
    if (Index > 0)
        --Index;
}

void ZoomStackFull(int &Index) { Index = 0; }

const TRealRect &CurrentZoomRect() { return ZoomStack[size_t(ZoomIndex)]; }
