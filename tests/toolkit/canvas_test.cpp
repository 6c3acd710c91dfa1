// The canvas' pixel rules and pen modes, probed pixel by pixel.
#include "platform/toolkit/TCanvas.h"

#include <QImage>
#include <gtest/gtest.h>

#include <functional>

namespace {

class CanvasRules : public ::testing::Test {
protected:
    TBitmap Bmp{40, 30};
    TCanvas &C = Bmp.Canvas();
    void SetUp() override
    {
        C.Brush.Color = clWhite;
        C.FillRect(Rect(0, 0, 40, 30));
    }
    int CountColor(TColor Color) const
    {
        int n = 0;
        for (int y = 0; y < Bmp.Height(); ++y)
            for (int x = 0; x < Bmp.Width(); ++x)
                n += PixelToColor(Bmp.Image().pixel(x, y)) == Color;
        return n;
    }
};

TEST_F(CanvasRules, ColourValuesAreBlueGreenRedAtTheCanvas)
{
    C.SetPixel(1, 1, 0x0000FF);
    EXPECT_EQ(Bmp.Image().pixel(1, 1), 0xFFFF0000u); // red in the image
    C.SetPixel(2, 1, RGBColor(10, 20, 30));
    EXPECT_EQ(Bmp.Image().pixel(2, 1), 0xFF0A141Eu);
    EXPECT_EQ(C.Pixel(2, 1), 0x1E140Au);
}

TEST_F(CanvasRules, RectangleLeavesOutItsRightAndBottomEdge)
{
    C.Pen.Color = clBlack;
    C.Brush.Color = clRed;
    C.Rectangle(5, 5, 10, 9);
    EXPECT_EQ(C.Pixel(5, 5), clBlack);
    EXPECT_EQ(C.Pixel(9, 8), clBlack);  // last pixel of the frame
    EXPECT_EQ(C.Pixel(10, 8), clWhite); // right edge not drawn
    EXPECT_EQ(C.Pixel(9, 9), clWhite);  // bottom edge not drawn
    EXPECT_EQ(C.Pixel(6, 6), clRed);
    EXPECT_EQ(CountColor(clRed), 3 * 2);
    EXPECT_EQ(CountColor(clBlack), 5 * 4 - 3 * 2);
}

TEST_F(CanvasRules, RectangleWithClearPenFillsOneLessEachWay)
{
    C.Pen.Style = psClear;
    C.Brush.Color = clBlue;
    C.Rectangle(0, 0, 5, 5);
    EXPECT_EQ(CountColor(clBlue), 4 * 4);
}

TEST_F(CanvasRules, LineDoesNotDrawItsEndPixel)
{
    C.Pen.Color = clRed;
    C.MoveTo(2, 3);
    C.LineTo(8, 3);
    EXPECT_EQ(CountColor(clRed), 6);
    EXPECT_EQ(C.Pixel(7, 3), clRed);
    EXPECT_EQ(C.Pixel(8, 3), clWhite);
    EXPECT_EQ(C.PenPos, Point(8, 3));
    // A diagonal covers one pixel per step of its longer axis.
    C.MoveTo(0, 10);
    C.LineTo(10, 15);
    EXPECT_EQ(CountColor(clRed), 6 + 10);
}

TEST_F(CanvasRules, NotXorTwiceRestoresTheImage)
{
    C.Brush.Color = clNavy;
    C.FillRect(Rect(0, 0, 20, 30));
    const QImage Before = Bmp.Image().copy();
    C.Pen.Mode = pmNotXor;
    C.Pen.Color = clCream;
    C.Pen.Width = 2;
    C.Brush.Style = bsClear;
    C.Rectangle(3, 4, 30, 20);
    EXPECT_NE(Bmp.Image(), Before);
    C.Rectangle(3, 4, 30, 20);
    EXPECT_EQ(Bmp.Image(), Before);
    C.Ellipse(10, 10, 24, 24);
    C.Ellipse(10, 10, 24, 24);
    EXPECT_EQ(Bmp.Image(), Before);
}

TEST_F(CanvasRules, PenModesCombinePenAndImage)
{
    C.Pen.Mode = pmXor;
    C.Pen.Color = 0x0F0F0F;
    C.MoveTo(0, 0);
    C.LineTo(2, 0);
    EXPECT_EQ(C.Pixel(0, 0), 0xF0F0F0u);
    C.Pen.Mode = pmNotXor;
    C.Pen.Color = clWhite;
    C.MoveTo(0, 1);
    C.LineTo(1, 1);
    EXPECT_EQ(C.Pixel(0, 1), clWhite); // not (white xor white)
    C.Pen.Color = clBlack;
    C.MoveTo(0, 2);
    C.LineTo(1, 2);
    EXPECT_EQ(C.Pixel(0, 2), clBlack); // not (black xor white)
}

TEST_F(CanvasRules, PolygonFillsByTheAlternateRule)
{
    // A five-pointed star drawn in one stroke: its pentagon centre crosses
    // the outline twice and stays empty.
    C.Pen.Style = psClear;
    C.Brush.Color = clLime;
    C.Polygon({Point(20, 1), Point(32, 28), Point(2, 10), Point(38, 10), Point(8, 28)});
    EXPECT_EQ(C.Pixel(20, 16), clWhite);
    EXPECT_EQ(C.Pixel(20, 5), clLime);
    // A square fill leaves out its right and bottom edge.
    SetUp();
    C.Brush.Color = clLime;
    C.Polygon({Point(2, 2), Point(6, 2), Point(6, 6), Point(2, 6)});
    EXPECT_EQ(CountColor(clLime), 16);
}

TEST_F(CanvasRules, DottedPenAlternatesRunsAndLeavesGapsWithAClearBrush)
{
    C.Brush.Style = bsClear;
    C.Pen.Style = psDot;
    C.Pen.Color = clBlack;
    C.MoveTo(0, 0);
    C.LineTo(12, 0);
    std::string Row;
    for (int x = 0; x < 12; ++x)
        Row += C.Pixel(x, 0) == clBlack ? '#' : '.';
    EXPECT_EQ(Row, "###...###...");
    // With a solid brush the gaps take the brush colour.
    C.Brush.Style = bsSolid;
    C.Brush.Color = clYellow;
    C.MoveTo(0, 1);
    C.LineTo(6, 1);
    EXPECT_EQ(C.Pixel(4, 1), clYellow);
}

TEST_F(CanvasRules, SystemColoursResolveAtTheCanvas)
{
    C.Brush.Color = clInfoBk;
    C.FillRect(Rect(0, 0, 2, 2));
    EXPECT_EQ(C.Pixel(0, 0), ColorToRGB(clInfoBk));
    EXPECT_NE(ColorToRGB(clInfoBk), clBlack);
}

TEST_F(CanvasRules, TextOutDrawsInTheFontColourOnTheBrush)
{
    C.Font.Name = "Arial";
    C.Font.Size = 10;
    C.Font.Color = clBlack;
    C.Brush.Color = clYellow;
    const TSize S = C.TextExtent("MW");
    ASSERT_GT(S.cx, 0);
    ASSERT_GT(S.cy, 0);
    C.TextOut(1, 1, "MW");
    EXPECT_GT(CountColor(clBlack), 0);
    EXPECT_GT(CountColor(clYellow), 0);
}

TEST(Bitmap, KeepsItsPixelsWhenGrown)
{
    TBitmap B(4, 4);
    B.Canvas().SetPixel(3, 3, clRed);
    B.SetSize(8, 8);
    EXPECT_EQ(B.Canvas().Pixel(3, 3), clRed);
    EXPECT_EQ(B.Canvas().Pixel(7, 7), clWhite);
}

} // namespace

namespace {

TEST_F(CanvasRules, WildCoordinatesAreHeldAndClipped)
{
    // Points far outside the image (a station at an absurd position) draw
    // what falls on the image and nothing else, without overflow.
    C.Pen.Color = clRed;
    C.MoveTo(-2000000000, 10);
    C.LineTo(2000000000, 10);
    EXPECT_EQ(C.Pixel(0, 10), clRed);
    EXPECT_EQ(C.Pixel(39, 10), clRed);
    C.Brush.Color = clBlue;
    C.Ellipse(-2147483647 - 1, -5, 2147483647, 5);
    C.Rectangle(-2147483647 - 1, 20, 2147483647, 2147483647);
    C.Polygon({Point(-2147483647 - 1, 0), Point(2147483647, 0), Point(0, 2147483647)});
    C.FillRect(Rect(-2147483647 - 1, 0, 2147483647, 1));
    EXPECT_EQ(C.Pixel(20, 0), clBlue);
}

// Each kind of drawing, made across the whole image with the clip
// rectangle (10, 8)-(30, 22) set: pixels outside stay white, some inside
// change, and without the clip the same drawing reaches outside.
TEST_F(CanvasRules, EveryDrawingStaysWithinTheClipRectangle)
{
    const TRect Clip = Rect(10, 8, 30, 22);
    struct TCase {
        const char *What;
        std::function<void(TCanvas &)> Draw;
    };
    const TCase Cases[] = {
        {"thin line", [](TCanvas &K) { K.MoveTo(0, 0), K.LineTo(40, 30); }},
        {"wide line", [](TCanvas &K) { K.Pen.Width = 3, K.MoveTo(0, 15), K.LineTo(40, 15); }},
        {"polyline", [](TCanvas &K) { K.Polyline({{0, 29}, {20, 0}, {39, 29}}); }},
        {"polygon", [](TCanvas &K) { K.Brush.Color = clRed, K.Polygon({{0, 0}, {39, 0}, {39, 29}, {0, 29}}); }},
        {"rectangle", [](TCanvas &K) { K.Brush.Color = clRed, K.Rectangle(0, 0, 40, 30); }},
        {"ellipse", [](TCanvas &K) { K.Brush.Color = clRed, K.Ellipse(-5, -5, 45, 35); }},
        {"small ellipse", [](TCanvas &K) { K.Brush.Color = clRed, K.Ellipse(7, 5, 13, 11); }},
        {"fill", [](TCanvas &K) { K.Brush.Color = clRed, K.FillRect(Rect(0, 0, 40, 30)); }},
        {"not-xor", [](TCanvas &K) { K.Pen.Mode = pmNotXor, K.Pen.Width = 12, K.Rectangle(5, 5, 35, 25); }},
        {"text", [](TCanvas &K) { K.Brush.Color = clRed, K.TextOut(0, 10, "WWWWWWWWWWWW"); }},
        {"pixel", [](TCanvas &K) { K.SetPixel(5, 5, clRed), K.SetPixel(15, 15, clRed); }},
    };
    for (const TCase &T : Cases) {
        for (const bool Clipped : {true, false}) {
            SetUp();
            C.Pen = TPen();
            C.Brush = TBrush();
            if (Clipped)
                C.SetClipRect(Clip);
            T.Draw(C);
            C.ClearClipRect();
            int Inside = 0, Outside = 0;
            for (int y = 0; y < Bmp.Height(); ++y)
                for (int x = 0; x < Bmp.Width(); ++x)
                    if (C.Pixel(x, y) != clWhite)
                        ++(x >= Clip.Left && x < Clip.Right && y >= Clip.Top && y < Clip.Bottom ? Inside : Outside);
            EXPECT_GT(Inside, 0) << T.What;
            EXPECT_EQ(Outside > 0, !Clipped) << T.What << ", clipped " << Clipped << ": " << Outside << " outside";
        }
    }
}

} // namespace
