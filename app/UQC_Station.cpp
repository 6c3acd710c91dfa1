// The cruise loop and the four station checks: duplicates, location,
// velocity and depth.
#include "app/UQC.h"

void CheckCruises() {}
void CheckCruiseCasts() {}
void LoadCastFlags() {}
double EstimateGridDepth() { return -10000.0; }
void CheckDuplicates() {}
void CruiseExtent() {}
void BuildDuplicateWindow(std::string &PosCondition, std::string &TimeCondition)
{
    PosCondition.clear();
    TimeCondition.clear();
}
void CheckLocation() {}
void CheckVelocity() {}
void CheckDepth() {}
void ZeroCastFlags() {}
