// Canvas drawing with the toolkit's pixel rules over a QImage (RGB32).
#include "platform/toolkit/TCanvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygon>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <tuple>

namespace {

// The classic desktop scheme; only the entries that drawings use are not black.
TColor SystemColor(int Index)
{
    switch (Index) {
    case 5: return clWhite;      // window
    case 8: return clBlack;      // window text
    case 15: return 0xC8D0D4;    // button face
    case 16: return 0x808080;    // button shadow
    case 18: return clBlack;     // button text
    case 23: return clBlack;     // tooltip text
    case 24: return 0xE1FFFF;    // tooltip fill
    default: return clBlack;
    }
}

uint32_t Rop(TPenMode Mode, uint32_t P, uint32_t D)
{
    switch (Mode) {
    case pmBlack: return 0;
    case pmWhite: return 0xFFFFFF;
    case pmNop: return D;
    case pmNot: return ~D;
    case pmCopy: return P;
    case pmNotCopy: return ~P;
    case pmMergePenNot: return P | ~D;
    case pmMaskPenNot: return P & ~D;
    case pmMergeNotPen: return ~P | D;
    case pmMaskNotPen: return ~P & D;
    case pmMerge: return P | D;
    case pmNotMerge: return ~(P | D);
    case pmMask: return P & D;
    case pmNotMask: return ~(P & D);
    case pmXor: return P ^ D;
    case pmNotXor: return ~(P ^ D);
    }
    return P;
}

// 8 x 8 hatch patterns, one byte a row, bit 7 the leftmost pixel.
bool HatchBit(TBrushStyle Style, int X, int Y)
{
    const int x = X & 7, y = Y & 7;
    switch (Style) {
    case bsHorizontal: return y == 7;
    case bsVertical: return x == 7;
    case bsFDiagonal: return x == y;
    case bsBDiagonal: return x == 7 - y;
    case bsCross: return x == 7 || y == 7;
    case bsDiagCross: return x == y || x == 7 - y;
    default: return true;
    }
}

// On/off runs of the cosmetic pen styles, in pixels.
std::vector<int> DashPattern(TPenStyle Style)
{
    switch (Style) {
    case psDash: return {18, 6};
    case psDot: return {3, 3};
    case psDashDot: return {9, 6, 3, 6};
    case psDashDotDot: return {9, 3, 3, 3, 3, 3};
    default: return {};
    }
}

// Coordinates are held within +-2^22, so that no box or line computation
// overflows on a wild point: Qt's raster engine turns them into 26.6 fixed
// point, where a box out to 2^27 overflows and, in an optimised build, fills
// nothing at all (a square corner far off the map lost its outline).
constexpr int CoordLimit = 1 << 22;
int Lim(int v) { return std::clamp(v, -CoordLimit, CoordLimit); }

bool PatternOn(const std::vector<int> &Pattern, int Pos)
{
    if (Pattern.empty())
        return true;
    int Period = 0;
    for (int Run : Pattern)
        Period += Run;
    int p = Pos % Period;
    for (size_t i = 0; i < Pattern.size(); ++i) {
        if (p < Pattern[i])
            return i % 2 == 0;
        p -= Pattern[i];
    }
    return true;
}

} // namespace

TColor ColorToRGB(TColor C)
{
    if (C & clSystemColor)
        return SystemColor(int(C & 0xFF));
    return C & 0xFFFFFF;
}

uint32_t ColorToPixel(TColor C)
{
    C = ColorToRGB(C);
    return 0xFF000000u | (uint32_t(GetRValue(C)) << 16) | (uint32_t(GetGValue(C)) << 8) | uint32_t(GetBValue(C));
}

TColor PixelToColor(uint32_t Pixel)
{
    return RGBColor(int((Pixel >> 16) & 0xFF), int((Pixel >> 8) & 0xFF), int(Pixel & 0xFF));
}

// A figure's pixels: an 8-bit image over a box of the target, non-zero where set.
struct TCanvas::TMask {
    QRect Box;
    QImage Bits;
    bool Empty() const { return Box.isEmpty(); }
};

namespace {

// Makes a cleared mask over the part of Box that lies on the image; Paint
// draws in target coordinates with a white, non-antialiased painter.
template <class F>
void MakeMask(const QImage &Target, QRect Box, F Paint, QRect &OutBox, QImage &OutBits)
{
    OutBox = Box.intersected(Target.rect());
    if (OutBox.isEmpty())
        return;
    OutBits = QImage(OutBox.size(), QImage::Format_Grayscale8);
    OutBits.fill(0);
    QPainter P(&OutBits);
    P.setRenderHint(QPainter::Antialiasing, false);
    P.translate(-OutBox.x(), -OutBox.y());
    Paint(P);
}

} // namespace

TCanvas::TCanvas(QImage *ATarget) : FTarget(ATarget) {}

bool TCanvas::PenVisible() const { return Pen.Style != psClear && Pen.Mode != pmNop; }

void TCanvas::SetClipRect(const TRect &R)
{
    FClip = QRect(QPoint(Lim(R.Left), Lim(R.Top)), QPoint(Lim(R.Right) - 1, Lim(R.Bottom) - 1));
    FClipped = true;
}

void TCanvas::ClearClipRect() { FClipped = false; }

QRect TCanvas::Drawable() const { return FClipped ? FClip.intersected(FTarget->rect()) : FTarget->rect(); }

namespace {

// Combines a mask with the image within Area (the image, or its clip
// rectangle); the mask may reach past either.
template <class F>
void ForMaskPixels(QImage &Target, const QRect &Area, const QRect &Box, const QImage &Bits, F Combine)
{
    const QRect Visible = Box.intersected(Area);
    for (int ty = Visible.top(); ty <= Visible.bottom(); ++ty) {
        const uchar *m = Bits.constScanLine(ty - Box.y()) - Box.x();
        auto *d = reinterpret_cast<uint32_t *>(Target.scanLine(ty));
        for (int tx = Visible.left(); tx <= Visible.right(); ++tx)
            if (m[tx])
                Combine(d[tx], tx, ty);
    }
}

} // namespace

void TCanvas::ApplyPen(const TMask &Mask)
{
    if (Mask.Empty())
        return;
    const uint32_t P = ColorToPixel(Pen.Color) & 0xFFFFFF;
    const TPenMode Mode = Pen.Mode;
    ForMaskPixels(*FTarget, Drawable(), Mask.Box, Mask.Bits,
                  [&](uint32_t &d, int, int) { d = 0xFF000000u | (Rop(Mode, P, d) & 0xFFFFFF); });
}

void TCanvas::ApplyBrush(const TMask &Mask)
{
    if (Mask.Empty() || Brush.Style == bsClear)
        return;
    const uint32_t P = ColorToPixel(Brush.Color) & 0xFFFFFF;
    const TPenMode Mode = Pen.Mode;
    const TBrushStyle Style = Brush.Style;
    // Hatched brushes leave the background between their lines.
    ForMaskPixels(*FTarget, Drawable(), Mask.Box, Mask.Bits, [&](uint32_t &d, int x, int y) {
        if (HatchBit(Style, x, y))
            d = 0xFF000000u | (Rop(Mode, P, d) & 0xFFFFFF);
    });
}

// One segment of a width-1 pen without its end pixel (Bresenham). Pattern
// gaps take the brush colour when the brush is solid (opaque background),
// else they leave the image alone.
void TCanvas::StrokeLine(int X1, int Y1, int X2, int Y2, int &PatternPos)
{
    // A line far longer than the image is first cut to the image and a
    // margin, so that a wild end point does not cost a walk of millions of
    // pixels; the cut ends lie outside the image, so the pixels drawn stay
    // those of the whole line (but for rounding at the cut).
    const int Margin = 4;
    const long long Reach = 4LL * (FTarget->width() + FTarget->height()) + 1024;
    if (std::max(std::llabs((long long)X2 - X1), std::llabs((long long)Y2 - Y1)) > Reach) {
        const double L = -Margin, T = -Margin, R = FTarget->width() + Margin, B = FTarget->height() + Margin;
        double t0 = 0, t1 = 1;
        const double dx = double(X2) - X1, dy = double(Y2) - Y1;
        const double p[4] = {-dx, dx, -dy, dy}, q[4] = {X1 - L, R - X1, Y1 - T, B - Y1};
        for (int i = 0; i < 4; ++i) {
            if (p[i] == 0) {
                if (q[i] < 0)
                    return;
                continue;
            }
            const double r = q[i] / p[i];
            if (p[i] < 0)
                t0 = std::max(t0, r);
            else
                t1 = std::min(t1, r);
        }
        if (t0 > t1)
            return;
        const int NX1 = int(std::lround(X1 + t0 * dx)), NY1 = int(std::lround(Y1 + t0 * dy));
        const int NX2 = t1 < 1 ? int(std::lround(X1 + t1 * dx)) : X2, NY2 = t1 < 1 ? int(std::lround(Y1 + t1 * dy)) : Y2;
        PatternPos += int(t0 * std::max(std::fabs(dx), std::fabs(dy)));
        X1 = NX1, Y1 = NY1, X2 = NX2, Y2 = NY2;
    }
    const std::vector<int> Pattern = DashPattern(Pen.Style);
    const uint32_t P = ColorToPixel(Pen.Color) & 0xFFFFFF;
    const uint32_t B = ColorToPixel(Brush.Color) & 0xFFFFFF;
    const bool OpaqueGaps = !Pattern.empty() && Brush.Style == bsSolid;
    const int dx = std::abs(X2 - X1), dy = -std::abs(Y2 - Y1);
    const int sx = X1 < X2 ? 1 : -1, sy = Y1 < Y2 ? 1 : -1;
    int err = dx + dy, x = X1, y = Y1;
    const QRect Area = Drawable();
    while (!(x == X2 && y == Y2)) {
        if (Area.contains(x, y)) {
            auto *d = reinterpret_cast<uint32_t *>(FTarget->scanLine(y)) + x;
            if (PatternOn(Pattern, PatternPos))
                *d = 0xFF000000u | (Rop(Pen.Mode, P, *d) & 0xFFFFFF);
            else if (OpaqueGaps)
                *d = 0xFF000000u | (Rop(Pen.Mode, B, *d) & 0xFFFFFF);
        }
        ++PatternPos;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void TCanvas::MoveTo(int X, int Y) { PenPos = TPoint{Lim(X), Lim(Y)}; }

void TCanvas::LineTo(int X, int Y)
{
    X = Lim(X);
    Y = Lim(Y);
    if (FTarget && PenVisible()) {
        if (Pen.Width <= 1) {
            int Pos = 0;
            StrokeLine(PenPos.X, PenPos.Y, X, Y, Pos);
        } else {
            // A wide pen has round ends, centred on the pixel centres.
            const int W = Pen.Width;
            QRect Box = QRect(QPoint(std::min(PenPos.X, X), std::min(PenPos.Y, Y)),
                              QPoint(std::max(PenPos.X, X), std::max(PenPos.Y, Y)))
                            .adjusted(-W, -W, W, W);
            TMask M;
            const QPointF A(PenPos.X + 0.5, PenPos.Y + 0.5), B(X + 0.5, Y + 0.5);
            MakeMask(*FTarget, Box, [&](QPainter &P) {
                P.setPen(QPen(Qt::white, W, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                P.drawLine(A, B);
            }, M.Box, M.Bits);
            ApplyPen(M);
        }
    }
    PenPos = TPoint{X, Y};
}

void TCanvas::Polyline(const std::vector<TPoint> &Points)
{
    if (Points.empty())
        return;
    const TPoint Saved = PenPos;
    MoveTo(Points[0].X, Points[0].Y);
    for (size_t i = 1; i < Points.size(); ++i)
        LineTo(Points[i].X, Points[i].Y);
    PenPos = Saved;
}

void TCanvas::Polygon(const std::vector<TPoint> &AllPoints)
{
    if (!FTarget || AllPoints.empty())
        return;
    std::vector<TPoint> Points(AllPoints);
    for (TPoint &p : Points)
        p = TPoint{Lim(p.X), Lim(p.Y)};
    QPolygon Poly;
    Poly.reserve(int(Points.size()));
    int MinX = Points[0].X, MaxX = MinX, MinY = Points[0].Y, MaxY = MinY;
    for (const TPoint &p : Points) {
        Poly << QPoint(p.X, p.Y);
        MinX = std::min(MinX, p.X), MaxX = std::max(MaxX, p.X);
        MinY = std::min(MinY, p.Y), MaxY = std::max(MaxY, p.Y);
    }
    const int W = std::max(1, Pen.Width);
    const QRect Box = QRect(QPoint(MinX, MinY), QPoint(MaxX, MaxY)).adjusted(-W, -W, W, W);
    if (Brush.Style != bsClear) {
        TMask M;
        MakeMask(*FTarget, Box, [&](QPainter &P) {
            P.setPen(Qt::NoPen);
            P.setBrush(Qt::white);
            P.drawPolygon(Poly, Qt::OddEvenFill);
        }, M.Box, M.Bits);
        ApplyBrush(M);
    }
    if (!PenVisible())
        return;
    if (Pen.Width <= 1) {
        int Pos = 0;
        for (size_t i = 0; i < Points.size(); ++i) {
            const TPoint &a = Points[i], &b = Points[(i + 1) % Points.size()];
            StrokeLine(a.X, a.Y, b.X, b.Y, Pos);
        }
        return;
    }
    QPolygonF Centres;
    for (const TPoint &p : Points)
        Centres << QPointF(p.X + 0.5, p.Y + 0.5);
    TMask M;
    MakeMask(*FTarget, Box, [&](QPainter &P) {
        QPainterPath Path;
        Path.addPolygon(Centres);
        Path.closeSubpath();
        QPainterPathStroker S;
        S.setWidth(W);
        S.setJoinStyle(Qt::RoundJoin);
        P.setPen(Qt::NoPen);
        P.setBrush(Qt::white);
        P.drawPath(S.createStroke(Path));
    }, M.Box, M.Bits);
    ApplyPen(M);
}

namespace {

// Puts the corners of a figure's box in order, within the coordinate
// limit; false when it covers no pixel.
bool OrderBox(int &X1, int &Y1, int &X2, int &Y2)
{
    X1 = Lim(X1), Y1 = Lim(Y1), X2 = Lim(X2), Y2 = Lim(Y2);
    if (X2 < X1)
        std::swap(X1, X2);
    if (Y2 < Y1)
        std::swap(Y1, Y2);
    return X2 - X1 >= 1 && Y2 - Y1 >= 1;
}

} // namespace

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2)
{
    if (!FTarget || !OrderBox(X1, Y1, X2, Y2))
        return;
    // The frame runs on X1..X2-1 x Y1..Y2-1; a wider pen spreads to both
    // sides of it (the extra pixel of an even width outward), an inside-frame
    // pen only inward. The brush fills what the frame encloses, or the whole
    // box less its right and bottom pixel rows when the pen draws nothing, so
    // that no pixel is combined twice in the xor modes.
    const bool PenOn = PenVisible();
    const int W = std::max(1, Pen.Width);
    const int Out = Pen.Style == psInsideFrame ? 0 : W / 2;
    const QRect Outer(QPoint(X1 - Out, Y1 - Out), QPoint(X2 - 1 + Out, Y2 - 1 + Out));
    const QRect Hole = Outer.adjusted(W, W, -W, -W);
    if (Brush.Style != bsClear) {
        const QRect Inner = PenOn ? Hole : QRect(QPoint(X1, Y1), QPoint(X2 - 2, Y2 - 2));
        if (Inner.width() > 0 && Inner.height() > 0) {
            TMask M;
            MakeMask(*FTarget, Inner, [&](QPainter &P) { P.fillRect(Inner, Qt::white); }, M.Box, M.Bits);
            ApplyBrush(M);
        }
    }
    if (!PenOn)
        return;
    TMask M;
    MakeMask(*FTarget, Outer, [&](QPainter &P) {
        P.fillRect(Outer, Qt::white);
        if (Hole.width() > 0 && Hole.height() > 0)
            P.fillRect(Hole, Qt::black);
    }, M.Box, M.Bits);
    ApplyPen(M);
}

namespace {

// An ellipse's fill or outline in box (X, Y, Width, Height) with a pen of
// width W: the outline's centre line runs through the outermost pixel
// centres for an odd width, through the pixel corners for an even one.
void PaintEllipse(QPainter &P, bool Outline, int X, int Y, int Width, int Height, int W)
{
    P.setRenderHint(QPainter::Antialiasing, false);
    if (!Outline) {
        P.setPen(Qt::NoPen);
        P.setBrush(Qt::white);
        P.drawEllipse(QRectF(X, Y, Width, Height));
    } else if (W == 1) {
        P.setPen(QPen(Qt::white, 0));
        P.setBrush(Qt::NoBrush);
        P.drawEllipse(QRect(X, Y, Width - 1, Height - 1));
    } else {
        const QRectF R = (W % 2) ? QRectF(X + 0.5, Y + 0.5, Width - 1, Height - 1) : QRectF(X, Y, Width, Height);
        QPainterPath Path;
        Path.addEllipse(R);
        QPainterPathStroker S;
        S.setWidth(W);
        P.setPen(Qt::NoPen);
        P.setBrush(Qt::white);
        P.drawPath(S.createStroke(Path));
    }
}

// The masks of a small ellipse depend only on its box's size and the pen's
// width, so the station markers (thousands a paint) are made once and moved
// into place. Each covers (-W, -W) .. (Width + W, Height + W) of the box.
struct TEllipseMasks {
    QImage Fill, Outline;
};

const TEllipseMasks *SmallEllipseMasks(int Width, int Height, int W)
{
    if (Width > 64 || Height > 64 || W > 8)
        return nullptr;
    static std::map<std::tuple<int, int, int>, TEllipseMasks> Cache;
    const auto Key = std::make_tuple(Width, Height, W);
    auto It = Cache.find(Key);
    if (It == Cache.end()) {
        TEllipseMasks E;
        for (QImage *I : {&E.Fill, &E.Outline}) {
            *I = QImage(Width + 2 * W, Height + 2 * W, QImage::Format_Grayscale8);
            I->fill(0);
            QPainter P(I);
            PaintEllipse(P, I == &E.Outline, W, W, Width, Height, W);
        }
        It = Cache.emplace(Key, std::move(E)).first;
    }
    return &It->second;
}

} // namespace

void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2)
{
    if (!FTarget || !OrderBox(X1, Y1, X2, Y2))
        return;
    const int W = std::max(1, Pen.Width);
    const bool Fill = Brush.Style != bsClear, Outline = PenVisible();
    TMask M;
    if (const TEllipseMasks *E = SmallEllipseMasks(X2 - X1, Y2 - Y1, W)) {
        M.Box = QRect(QPoint(X1 - W, Y1 - W), E->Fill.size());
        if (Fill) {
            M.Bits = E->Fill;
            ApplyBrush(M);
        }
        if (Outline) {
            M.Bits = E->Outline;
            ApplyPen(M);
        }
        return;
    }
    const QRect Box = QRect(QPoint(X1, Y1), QPoint(X2 - 1, Y2 - 1)).adjusted(-W, -W, W, W);
    for (const bool IsOutline : {false, true}) {
        if (IsOutline ? !Outline : !Fill)
            continue;
        MakeMask(*FTarget, Box, [&](QPainter &P) { PaintEllipse(P, IsOutline, X1, Y1, X2 - X1, Y2 - Y1, W); }, M.Box,
                 M.Bits);
        if (IsOutline)
            ApplyPen(M);
        else
            ApplyBrush(M);
    }
}

void TCanvas::FillRect(const TRect &R)
{
    if (!FTarget || Brush.Style == bsClear)
        return;
    const QRect Box =
        QRect(QPoint(Lim(R.Left), Lim(R.Top)), QPoint(Lim(R.Right) - 1, Lim(R.Bottom) - 1)).intersected(Drawable());
    if (Box.isEmpty())
        return;
    // Fills ignore the pen mode: they copy the brush.
    const uint32_t P = ColorToPixel(Brush.Color);
    for (int y = Box.top(); y <= Box.bottom(); ++y) {
        auto *d = reinterpret_cast<uint32_t *>(FTarget->scanLine(y));
        for (int x = Box.left(); x <= Box.right(); ++x)
            if (HatchBit(Brush.Style, x, y))
                d[x] = P;
    }
}

QFont TCanvas::MakeFont() const
{
    QFont F(QString::fromStdString(Font.Name));
    // Points at 96 pixels per inch, whatever the screen says.
    F.setPixelSize(std::max(1, (Font.Size * 96 + 36) / 72));
    F.setBold(Font.Bold);
    F.setItalic(Font.Italic);
    F.setStyleStrategy(QFont::NoAntialias);
    return F;
}

TSize TCanvas::TextExtent(const std::string &Text) const
{
    const QFontMetrics M(MakeFont());
    return TSize{M.horizontalAdvance(QString::fromStdString(Text)), M.height()};
}

void TCanvas::TextOut(int X, int Y, const std::string &Text)
{
    if (!FTarget)
        return;
    X = Lim(X);
    Y = Lim(Y);
    const QString S = QString::fromStdString(Text);
    const QFont F = MakeFont();
    const QFontMetrics M(F);
    QPainter P(FTarget);
    P.setClipRect(Drawable());
    if (Brush.Style == bsSolid)
        P.fillRect(QRect(X, Y, M.horizontalAdvance(S), M.height()), QColor::fromRgb(ColorToPixel(Brush.Color)));
    P.setFont(F);
    P.setPen(QColor::fromRgb(ColorToPixel(Font.Color)));
    P.drawText(QPoint(X, Y + M.ascent()), S);
    PenPos = TPoint{X + M.horizontalAdvance(S), Y};
}

void TCanvas::Draw(int X, int Y, const QImage &Source)
{
    if (!FTarget)
        return;
    QPainter P(FTarget);
    P.setClipRect(Drawable());
    P.drawImage(QPoint(X, Y), Source);
}

int TCanvas::Width() const { return FTarget ? FTarget->width() : 0; }

TColor TCanvas::Pixel(int X, int Y) const
{
    if (!FTarget || X < 0 || Y < 0 || X >= FTarget->width() || Y >= FTarget->height())
        return clBlack;
    return PixelToColor(FTarget->pixel(X, Y));
}

void TCanvas::SetPixel(int X, int Y, TColor Color)
{
    if (!FTarget || !Drawable().contains(X, Y))
        return;
    FTarget->setPixel(X, Y, ColorToPixel(Color));
}

TBitmap::TBitmap(int AWidth, int AHeight)
    : FImage(std::make_unique<QImage>()), FCanvas(std::make_unique<TCanvas>(FImage.get()))
{
    SetSize(AWidth, AHeight);
}

TBitmap::~TBitmap() = default;

void TBitmap::SetSize(int AWidth, int AHeight)
{
    AWidth = std::max(0, AWidth);
    AHeight = std::max(0, AHeight);
    if (AWidth == FImage->width() && AHeight == FImage->height() && !FImage->isNull())
        return;
    QImage Resized(AWidth, AHeight, QImage::Format_RGB32);
    Resized.fill(0xFFFFFFFFu);
    if (!FImage->isNull()) {
        QPainter P(&Resized);
        P.drawImage(0, 0, *FImage);
    }
    *FImage = std::move(Resized);
}

int TBitmap::Width() const { return FImage->width(); }
int TBitmap::Height() const { return FImage->height(); }

bool TBitmap::LoadFromFile(const std::string &FileName)
{
    QImage Loaded;
    if (!Loaded.load(QString::fromStdString(FileName)))
        return false;
    *FImage = Loaded.convertToFormat(QImage::Format_RGB32);
    return true;
}

bool TBitmap::SaveToFile(const std::string &FileName) const
{
    return FImage->save(QString::fromStdString(FileName));
}
