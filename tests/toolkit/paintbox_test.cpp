// Paint boxes over images: each repaint starts from the picture under the
// box, and what is drawn between repaints stays until the next one.
#include "platform/toolkit/TPaintBox.h"

#include "platform/toolkit/TApplication.h"

#include <QImage>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

TEST(PaintBoxOverImage, RepaintStartsFromThePictureThenRunsOnPaint)
{
    QWidget Form;
    TImage Image(&Form);
    TPaintBox Box(&Form);
    Image.setGeometry(1, 1, 40, 30);
    Image.Bitmap().SetSize(40, 30);
    Image.Canvas().Brush.Color = clNavy;
    Image.Canvas().FillRect(Rect(0, 0, 40, 30));
    Box.SetBackground(&Image);
    int Paints = 0;
    Box.OnPaint = [&] {
        ++Paints;
        Box.Canvas().Pen.Color = clYellow;
        Box.Canvas().MoveTo(0, 5);
        Box.Canvas().LineTo(10, 5);
    };
    Box.setGeometry(1, 1, 40, 30);
    Form.show(); // a shown box repaints when it gets its size
    ProcessMessages();
    EXPECT_GE(Paints, 1);
    EXPECT_EQ(Box.Canvas().Pixel(20, 20), clNavy);
    EXPECT_EQ(Box.Canvas().Pixel(3, 5), clYellow);
    // Drawing outside a paint stays; the next repaint clears it.
    Box.Canvas().SetPixel(30, 25, clRed);
    EXPECT_EQ(Box.Canvas().Pixel(30, 25), clRed);
    Box.Repaint();
    EXPECT_EQ(Box.Canvas().Pixel(30, 25), clNavy);
}

TEST(PaintBoxOverImage, MouseEventsReachTheHandlersInBoxCoordinates)
{
    TPaintBox Box;
    Box.resize(50, 50);
    Box.show();
    int DownX = -1, DownY = -1, Ups = 0;
    Box.OnMouseDown = [&](TMouseButton B, int X, int Y) {
        EXPECT_EQ(B, mbLeft);
        DownX = X;
        DownY = Y;
    };
    Box.OnMouseUp = [&](TMouseButton, int, int) { ++Ups; };
    QTest::mouseClick(&Box, Qt::LeftButton, {}, QPoint(12, 34));
    ProcessMessages();
    EXPECT_EQ(DownX, 12);
    EXPECT_EQ(DownY, 34);
    EXPECT_EQ(Ups, 1);
}

} // namespace
