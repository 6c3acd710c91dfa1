// The installation's thresholds as the program reads them at its start: the
// five numbers of Cfg/updowns.txt (spatial and temporal additions of the
// duplicate search, speed limit, climatic interval, depth tolerance), the
// program's defaults for the numbers a short file lacks.
#pragma once

#include "app/UQC.h"

#include <fstream>
#include <string>

inline void LoadInstalledThresholds(const std::string &AProgramDir)
{
    std::ifstream Updowns(AProgramDir + "Cfg/updowns.txt");
    int V[5] = {0, 0, 12, 3, 10};
    for (int &X : V)
        if (!(Updowns >> X))
            break;
    SpatialAdditionMin = V[0];
    TemporalAdditionHours = V[1];
    VelocityLimitKnots = V[2];
    NStdDev = V[3];
    DepthTolerancePct = V[4];
}
