// Reiniger-Ross interpolation and the EOS-80 density at one atmosphere.
#include "app/ReinRoss.h"

#include "platform/toolkit/TDialogs.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const TRealArr Levels{0, 10, 20, 30, 50, 75};

TRealArr Squares(const TRealArr &z)
{
    TRealArr f;
    for (double v : z)
        f.push_back(v * v);
    return f;
}

TEST(ReinRossInterpolation, LinearOfEqualAbscissaeIsTheFirstValue)
{
    EXPECT_EQ(LinearInterpolate(10, 10, 5, 7, 3), 5);
    EXPECT_DOUBLE_EQ(LinearInterpolate(0, 10, 0, 100, 2.5), 25);
}

TEST(ReinRossInterpolation, BracketRuleChoosesFourPointInsideAndLinearAtTheEnds)
{
    // On a parabola both Lagrange parabolas are exact, so the four-point
    // formula returns x^2, while a linear pair gives its chord.
    const TRealArr f = Squares(Levels);
    const struct {
        double x, Want;
        const char *Bracket;
    } Cases[] = {
        {15, 225.0, "four-point through 0, 10, 20, 30"},
        {5, 50.0, "chord 0..10"},
        {-5, -50.0, "before the first level: chord 0..10 extended"},
        {40, 1700.0, "second-last pair: chord 30..50"},
        {60, 3750.0, "last pair: chord 50..75"},
        {74.5, 5562.5, "last pair: chord 50..75"},
        {80, 6250.0, "beyond the last level: chord 50..75 extended"},
    };
    for (const auto &C : Cases)
        EXPECT_NEAR(InterpolateReinRoss(Levels, f, 5, C.x), C.Want, 1e-9) << C.x << ": " << C.Bracket;
}

TEST(ReinRossInterpolation, ExactLevelsReturnTheirValues)
{
    const TRealArr f{1.5, 2.25, -3, 4, 7.125, 9};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(InterpolateReinRoss(Levels, f, 5, Levels[size_t(i)]), f[size_t(i)]);
}

TEST(ReinRossInterpolation, StraightLineGivesTheLinearValue)
{
    TRealArr f;
    for (double z : Levels)
        f.push_back(3 - 0.5 * z);
    for (double x : {2.0, 15.0, 24.5, 33.0, 70.0})
        EXPECT_NEAR(InterpolateReinRoss(Levels, f, 5, x), 3 - 0.5 * x, 1e-12) << x;
}

TEST(ReinRossInterpolation, CoincidentLevelsAreReportedWithTheLevels)
{
    TScriptedDialogs Script;
    const TRealArr z{0, 10, 10, 30, 50.5, 75};
    const double r = InterpolateReinRoss(z, Squares(z), 5, 15);
    EXPECT_TRUE(std::isnan(r));
    EXPECT_EQ(Script.Texts(), std::vector<std::string>{"0,10,10,30,50.5,75"});
}

TEST(ReinRossInterpolation, ShortProfilesStayInsideTheirArrays)
{
    EXPECT_DOUBLE_EQ(InterpolateReinRoss({0, 10}, {1, 3}, 1, 5), 2.0);
    EXPECT_TRUE(std::isnan(InterpolateReinRoss({0}, {1}, 0, 5)));
    EXPECT_TRUE(std::isnan(InterpolateReinRoss({}, {}, 0, 5)));
    // A count larger than the arrays does not read past them.
    EXPECT_DOUBLE_EQ(InterpolateReinRoss({0, 10, 20}, {0, 1, 2}, 40, 15), 1.5);
}

TEST(SeawaterDensity, MatchesEos80CheckValues)
{
    // UNESCO (1983) check values at one atmosphere.
    EXPECT_NEAR(CalcSeaWaterDensity(5, 35), 1027.67547, 1e-5);
    EXPECT_NEAR(CalcSeaWaterDensity(25, 35), 1023.34306, 1e-5);
    EXPECT_NEAR(CalcSeaWaterDensity(10, 35), 1026.95, 0.005);
}

TEST(SeawaterDensity, ZeroSalinityIsTakenAsOneTenth)
{
    // Pure water at 5 C is 999.96675; S = 0.1 adds A S + B S^1.5 + C S^2
    // with A = 0.80585473, B = -0.00525468 at 5 C.
    EXPECT_NEAR(CalcSeaWaterDensity(5, 0), 1000.04717, 1e-5);
    EXPECT_EQ(CalcSeaWaterDensity(0, 0), CalcSeaWaterDensity(0, 0.1));
}

} // namespace
