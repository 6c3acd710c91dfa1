// Reiniger-Ross interpolation and the seawater equation of state.
#include "app/ReinRoss.h"

#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TDialogs.h"

#include <algorithm>
#include <cmath>
#include <limits>

double LinearInterpolate(double x1, double x2, double y1, double y2, double x)
{
    if (x1 == x2)
        return y1;
    return y1 + (y2 - y1) / (x2 - x1) * (x - x1);
}

double ReinRossFourPoint(double z1, double z2, double z3, double z4, double f1, double f2, double f3, double f4,
                         double x)
{
    // Linear estimates through neighbouring pairs.
    const double L12 = ((x - z2) * f1 - (x - z1) * f2) / (z1 - z2);
    const double L23 = ((x - z3) * f2 - (x - z2) * f3) / (z2 - z3);
    const double L34 = ((x - z4) * f3 - (x - z3) * f4) / (z3 - z4);
    // Parabolas through the first and the last three points (Lagrange form).
    const double P1 = f1 * (x - z2) * (x - z3) / ((z1 - z2) * (z1 - z3)) +
                      f2 * (x - z3) * (x - z1) / ((z2 - z3) * (z2 - z1)) +
                      f3 * (x - z1) * (x - z2) / ((z3 - z1) * (z3 - z2));
    const double P2 = f2 * (x - z3) * (x - z4) / ((z2 - z3) * (z2 - z4)) +
                      f3 * (x - z4) * (x - z2) / ((z3 - z4) * (z3 - z2)) +
                      f4 * (x - z2) * (x - z3) / ((z4 - z2) * (z4 - z3));
    const double d1 = (L23 - L34) * (L23 - L34);
    const double d2 = (L12 - L23) * (L12 - L23);
    if (d1 + d2 == 0)
        return LinearInterpolate(z2, z3, f2, f3, x);
    const double R = 0.5 * (L23 + (d1 * L12 + d2 * L34) / (d1 + d2));
    const double e1 = std::fabs(R - P1), e2 = std::fabs(R - P2);
    if (e1 + e2 == 0)
        return LinearInterpolate(z2, z3, f2, f3, x);
    return (e2 * P1 + e1 * P2) / (e1 + e2);
}

double InterpolateReinRoss(const TRealArr &levels, const TRealArr &values, uint16_t N, double x)
{
    const double NoValue = std::numeric_limits<double>::quiet_NaN();
    const int Len = int(std::min(levels.size(), values.size()));
    for (int i = 0; i < int(N) && i < Len; ++i)
        if (levels[size_t(i)] == x)
            return values[size_t(i)];
    if (Len < 2)
        return NoValue;
    int j = 0;
    while (j < Len && levels[size_t(j)] < x)
        ++j;
    int k = j == 0 ? 0 : j - 1;
    // Between the last two levels (and beyond the last) the pair is the
    // last one: a pair above it would extrapolate across its own lower
    // level and bend the foot of every climatic profile.
    if (k > int(N) - 1)
        k = int(N) - 1;
    // A count larger than the arrays, or one of two levels, would bracket
    // outside them: keep the pair inside.
    k = std::clamp(k, 0, Len - 2);
    double Result;
    if (k < 1 || k > int(N) - 3 || k + 2 >= Len) {
        Result = LinearInterpolate(levels[size_t(k)], levels[size_t(k) + 1], values[size_t(k)], values[size_t(k) + 1], x);
    } else {
        const size_t i = size_t(k);
        Result = ReinRossFourPoint(levels[i - 1], levels[i], levels[i + 1], levels[i + 2], values[i - 1], values[i],
                                   values[i + 1], values[i + 2], x);
    }
    if (!std::isfinite(Result) && std::isfinite(x)) {
        // Coincident levels divide by zero in the bracket.
        std::string Text;
        for (int i = 0; i < Len; ++i)
            Text += (i ? "," : "") + rtl::FloatToStr(levels[size_t(i)]);
        ShowMessage(Text);
        return NoValue;
    }
    return Result;
}

double CalcSeaWaterDensity(double T, double S)
{
    const double T2 = T * T, T3 = T2 * T, T4 = T3 * T, T5 = T4 * T;
    const double Rw = 999.842594 + 0.06793952 * T - 0.00909529 * T2 + 0.0001001685 * T3 - 0.000001120083 * T4 +
                      0.000000006536332 * T5;
    const double A = 0.824493 - 0.0040899 * T + 0.000076438 * T2 - 0.00000082467 * T3 + 0.0000000053875 * T4;
    const double B = -0.00572466 + 0.00010227 * T - 0.0000016546 * T2;
    const double C = 0.00048314;
    // S^1.5 is taken through the logarithm, which needs a positive salinity.
    if (S == 0)
        S = 0.1;
    return Rw + A * S + B * std::exp(1.5 * std::log(S)) + C * S * S;
}
