// The profile data checks level by level (bottom pressure, density
// inversion, spikes, climatic range) and the station parameter list.
#include "app/UQC.h"

void RunDataChecks() {}
void FindCastSquare() {}
void SelectClimatology(const std::string &) {}
void SelectClimatologyData(const std::string &) {}
void CheckClimaticRange(const std::string &) {}
void SelectProfileData(const std::string &) {}
void SelectLocalProfileData(const std::string &) {}
void CreateTmpFlagsTable(const std::string &) {}
void CheckSpike(const std::string &) {}
bool SpikeOneSided() { return false; }
bool SpikeTwoSided() { return false; }
void CheckDensityInversion() {}
void BuildParamList() {}
