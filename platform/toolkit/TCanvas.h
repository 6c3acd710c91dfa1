// The toolkit canvas: pen, brush and font drawing on a persistent image.
//
// Drawing follows the toolkit's pixel rules rather than Qt's: a rectangle or
// ellipse (X1, Y1, X2, Y2) covers X1..X2-1 and Y1..Y2-1, a line does not draw
// its end pixel, a polyline draws each vertex once, and every pen mode
// (copy, xor, not-xor, ...) is applied exactly once per pixel of a figure, so
// that drawing the same figure twice in xor or not-xor mode restores the
// image. Qt rasterises the figures (non-antialiased) into a mask; the canvas
// then combines the mask with the image pixel by pixel.
//
// TBitmap owns an image and its canvas; TPaintBox and TImage (own files)
// keep a TBitmap between paints.
#pragma once

#include "platform/toolkit/TTypes.h"

#include <QRect>

#include <memory>
#include <string>
#include <vector>

class QImage;
class QFont;

enum TPenMode {
    pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
    pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

struct TPen {
    TColor Color = clBlack;
    int Width = 1;
    TPenStyle Style = psSolid;
    TPenMode Mode = pmCopy;
};

struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
};

struct TFont {
    std::string Name = "MS Sans Serif";
    int Size = 8; // points at 96 pixels per inch
    TColor Color = clBlack;
    bool Bold = false;
    bool Italic = false;
};

struct TSize {
    int cx = 0;
    int cy = 0;
};

class TCanvas {
public:
    explicit TCanvas(QImage *ATarget = nullptr);
    TCanvas(const TCanvas &) = delete;
    TCanvas &operator=(const TCanvas &) = delete;

    void SetTarget(QImage *ATarget) { FTarget = ATarget; }
    QImage *Target() const { return FTarget; }
    int Width() const; // of the image drawn on, 0 without one

    TPen Pen;
    TBrush Brush;
    TFont Font;
    TPoint PenPos;

    void MoveTo(int X, int Y);
    void LineTo(int X, int Y);
    void Polyline(const std::vector<TPoint> &Points);
    void Polygon(const std::vector<TPoint> &Points); // filled with the brush (alternate rule), outlined with the pen
    void Rectangle(int X1, int Y1, int X2, int Y2);
    void Rectangle(const TRect &R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
    void Ellipse(int X1, int Y1, int X2, int Y2);
    void Ellipse(const TRect &R) { Ellipse(R.Left, R.Top, R.Right, R.Bottom); }
    void FillRect(const TRect &R); // the brush only, Left..Right-1 x Top..Bottom-1
    void TextOut(int X, int Y, const std::string &Text);
    TSize TextExtent(const std::string &Text) const;
    int TextWidth(const std::string &Text) const { return TextExtent(Text).cx; }
    int TextHeight(const std::string &Text) const { return TextExtent(Text).cy; }
    void Draw(int X, int Y, const QImage &Source); // copies the image with its top-left corner at (X, Y)

    TColor Pixel(int X, int Y) const; // clBlack outside the image
    void SetPixel(int X, int Y, TColor Color);

    // Confines every later drawing (figures, fills, text, pixels, images) to
    // R.Left..R.Right-1 x R.Top..R.Bottom-1, as a clip region does, until
    // ClearClipRect; reading pixels is not confined.
    void SetClipRect(const TRect &R);
    void ClearClipRect();

private:
    struct TMask;
    void ApplyPen(const TMask &Mask);
    void ApplyBrush(const TMask &Mask);
    void StrokeLine(int X1, int Y1, int X2, int Y2, int &PatternPos);
    bool PenVisible() const;
    QFont MakeFont() const;
    QRect Drawable() const; // the image, within the clip rectangle when one is set

    QImage *FTarget; // not owned: the bitmap or paint box that holds the image keeps it alive
    QRect FClip;
    bool FClipped = false;
};

// An image of its own with a canvas on it (the toolkit's bitmap).
class TBitmap {
public:
    TBitmap(int AWidth = 0, int AHeight = 0);
    ~TBitmap();
    TBitmap(const TBitmap &) = delete;
    TBitmap &operator=(const TBitmap &) = delete;

    void SetSize(int AWidth, int AHeight); // keeps the canvas; new pixels are white
    int Width() const;
    int Height() const;
    TCanvas &Canvas() { return *FCanvas; }
    const QImage &Image() const { return *FImage; }
    QImage &Image() { return *FImage; }
    bool LoadFromFile(const std::string &FileName); // any format Qt reads, converted to the canvas format
    bool SaveToFile(const std::string &FileName) const; // format from the extension (".png", ".bmp")

private:
    std::unique_ptr<QImage> FImage;
    std::unique_ptr<TCanvas> FCanvas;
};

// Converts a toolkit colour to the canvas' pixel value (0xFFRRGGBB).
uint32_t ColorToPixel(TColor C);
// And back.
TColor PixelToColor(uint32_t Pixel);
