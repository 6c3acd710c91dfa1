// Reiniger-Ross interpolation of a climatic profile to a pressure, and the
// density of seawater at one atmosphere (UNESCO EOS-80). Pure functions on
// doubles, used by the profile data checks and by the editor's profile plot.
#pragma once

#include "app/Globals.h"

#include <cstdint>

double LinearInterpolate(double x1, double x2, double y1, double y2, double x);
// z1..z4 four consecutive levels, f1..f4 the values there.
double ReinRossFourPoint(double z1, double z2, double z3, double z4, double f1, double f2, double f3, double f4,
                         double x);
// Levels increase; N is the number of levels minus one, as every caller
// passes it. Four-point inside the profile; the first pair and the last
// two pairs linear, each between its own two levels (before the first and
// beyond the last level the end pair is extended). Coincident levels inside the four-point bracket are reported
// (the levels, comma-separated) and give NaN; so do profiles of fewer than
// two levels.
double InterpolateReinRoss(const TRealArr &levels, const TRealArr &values, uint16_t N, double x);
// T in degrees Celsius, S practical salinity; kg/m3. S = 0 is taken as 0.1.
double CalcSeaWaterDensity(double T, double S);
