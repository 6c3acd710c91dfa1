// World-to-pixel transforms, rectangles, zoom stacks and degree labels.
#include "app/manual/Recalcs.h"

#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TDialogs.h"

#include <gtest/gtest.h>

namespace {

const TRealRect World{-14, 30, 42, 50};
const TRect Screen{50, 30, 610, 230};

TEST(WorldTransform, InvertedYMapsTopToTheNorth)
{
    EXPECT_EQ(WorldToScreen(MakeRealPoint(-14, 50), World, Screen, false, true), Point(50, 30));
    EXPECT_EQ(WorldToScreen(MakeRealPoint(42, 30), World, Screen, false, true), Point(610, 230));
    EXPECT_EQ(WorldToScreen(MakeRealPoint(42, 30), World, Screen, true, false), Point(50, 30));
    // 10 pixels a degree: 28 E, 40 N lies at (50 + 420, 30 + 100).
    EXPECT_EQ(WorldToScreen(MakeRealPoint(28, 40), World, Screen, false, true), Point(470, 130));
}

TEST(WorldTransform, RoundsHalvesToEven)
{
    const TRealRect W{0, 0, 10, 10};
    const TRect S{0, 0, 5, 5};
    EXPECT_EQ(WorldToScreen(MakeRealPoint(1, 3), W, S, false, false), Point(0, 2)); // 0.5 -> 0, 1.5 -> 2
    EXPECT_EQ(ValueToPixel(MakeRange(0, 10), MakePoint(0, 5), false, 5), 2);          // 2.5 -> 2
    EXPECT_EQ(ValueToPixel(MakeRange(0, 10), MakePoint(0, 5), true, 5), 3);
}

TEST(WorldTransform, EmptyAxisSaysWrongRectAndKeepsTheOther)
{
    TScriptedDialogs Script;
    const TPoint p = WorldToScreen(MakeRealPoint(3, 40), TRealRect{3, 30, 3, 50}, Screen, false, true);
    EXPECT_EQ(p.Y, 130);
    const TRealPoint w = ScreenToWorld(Point(100, 30), World, TRect{50, 30, 610, 30}, false, true);
    EXPECT_DOUBLE_EQ(w.x, -9);
    ASSERT_EQ(Script.Messages.size(), 2u);
    EXPECT_EQ(Script.Messages[0].Text, "Wrong Rect");
    EXPECT_EQ(Script.Messages[0].Icon, mtError);
}

TEST(WorldTransform, ScreenAndBackAgree)
{
    const TRealPoint w = ScreenToWorld(Point(470, 130), World, Screen, false, true);
    EXPECT_DOUBLE_EQ(w.x, 28);
    EXPECT_DOUBLE_EQ(w.y, 40);
    // A rubber band dragged either way is the same world rectangle.
    const TRealRect a = ScreenRectToWorld(TRect{150, 80, 250, 130}, World, Screen, false, true);
    const TRealRect b = ScreenRectToWorld(TRect{250, 130, 150, 80}, World, Screen, false, true);
    EXPECT_EQ(a, b);
    EXPECT_DOUBLE_EQ(a.xmin, -4);
    EXPECT_DOUBLE_EQ(a.xmax, 6);
    EXPECT_DOUBLE_EQ(a.ymin, 40);
    EXPECT_DOUBLE_EQ(a.ymax, 45);
    EXPECT_EQ(WorldRectToScreen(a, World, Screen, false, true), (TRect{150, 80, 250, 130}));
}

TEST(Rectangles, EdgesAreInside)
{
    EXPECT_TRUE(PointInRect(TRect{0, 0, 10, 5}, 10, 5));
    EXPECT_FALSE(PointInRect(TRect{0, 0, 10, 5}, 11, 5));
    EXPECT_TRUE(PointInWorldRect(TRealRect{27, 41, 28, 42}, 28, 41));
    EXPECT_FALSE(PointInWorldRect(TRealRect{27, 41, 28, 42}, 28.0001, 41));
}

TEST(Rectangles, FitToAspectWidensAboutTheCentre)
{
    EXPECT_EQ(FitRectToAspect(TRect{0, 0, 100, 50}, 1.0), (TRect{0, -25, 100, 75}));
    EXPECT_EQ(FitRectToAspect(TRect{0, 0, 50, 100}, 1.0), (TRect{-25, 0, 75, 100}));
    EXPECT_EQ(FitRectToAspect(TRect{10, 10, 21, 20}, 0.5), (TRect{6, 10, 26, 20})); // 15.5 -/+ 10 -> 5.5 .. 25.5
}

TEST(ZoomStacks, InOutAndFullView)
{
    TRealRectArr Stack{World};
    int Index = 0;
    ZoomStackIn(Stack, Index, TRect{150, 80, 250, 130}, Screen);
    ASSERT_EQ(Stack.size(), 2u);
    EXPECT_EQ(Index, 1);
    EXPECT_EQ(Stack[1], (TRealRect{-4, 40, 6, 45}));
    // The second zoom is seen through the first: 560 pixels now span 10 degrees.
    ZoomStackIn(Stack, Index, TRect{50, 30, 330, 130}, Screen);
    EXPECT_EQ(Stack[2], (TRealRect{-4, 42.5, 1, 45}));
    ZoomStackOut(Index);
    ZoomStackOut(Index);
    ZoomStackOut(Index);
    EXPECT_EQ(Index, 0);
    EXPECT_EQ(Stack.size(), 3u); // kept until the next zoom in
    ZoomStackIn(Stack, Index, TRect{50, 30, 610, 230}, Screen);
    EXPECT_EQ(Stack.size(), 2u);
    EXPECT_EQ(Stack[1], World);
    ZoomStackFull(Index);
    EXPECT_EQ(Index, 0);
}

TEST(Padding, IntegerAndFixedParts)
{
    EXPECT_EQ(PadIntPart("12.5", 3), "012.5");
    EXPECT_EQ(PadIntPart("-5", 3), "0-5");
    EXPECT_EQ(PadIntPart("1234", 2), "1234");
    EXPECT_EQ(PadFixedPart("7.0512", 2, 2), "07.05");
    EXPECT_EQ(PadFixedPart("3.1", 2, 3), "03.100");
    EXPECT_EQ(PadFixedPart("3.", 2, 1), "03.0");
    EXPECT_EQ(PadFixedPart("8", 2, 1), "08");
    EXPECT_EQ(IntPowerOf(3, 2), 8);
    EXPECT_EQ(IntPowerOf(0, 5), 1);
    EXPECT_EQ(IntPowerOf(-2, 5), 1);
}

std::string Label(double Degrees, std::vector<int> Widths)
{
    return DegreesToDegMinSec(rtl::FloatToStr(Degrees) + "\xC2\xB0", Widths);
}

TEST(DegreeLabels, CarriesSecondsIntoMinutesAndDegrees)
{
    EXPECT_EQ(Label(44.99999, {2, 2, 2}), "45\xC2\xB0" "00'00");
    EXPECT_EQ(Label(-12.5, {2, 2}), "-12\xC2\xB0" "-30'");
    EXPECT_EQ(Label(35.4, {2}), "35\xC2\xB0");
    EXPECT_EQ(Label(35.4, {}), "");
    EXPECT_EQ(Label(7.5125, {2, 2, 2}), "07\xC2\xB0" "30'45");
    // Four widths: seconds in general format, padded; whole seconds lose
    // their fraction except zero, which keeps one.
    EXPECT_EQ(Label(2 + 30.0 / 60 + 15.5 / 3600, {2, 2, 2, 1}), "02\xC2\xB0" "30'15.5");
    EXPECT_EQ(Label(2.5, {2, 2, 2, 1}), "02\xC2\xB0" "30'00.0");
}

TEST(DegreeLabels, TextWithoutDegreesIsAWrongCoordinate)
{
    TScriptedDialogs Script;
    EXPECT_EQ(DegreesToDegMinSec("35.4", {2}), "");
    EXPECT_EQ(DegreesToDegMinSec("\xC2\xB0", {2}), "");
    EXPECT_EQ(Script.Texts(), (std::vector<std::string>{"Wrong Coordinate", "Wrong Coordinate"}));
}

} // namespace
