// The map's axis settings "geogrAxe.Ini" and the label-width files "crd0.txt"
// and "crd1.txt" over any bytes (the input's NUL bytes separate the three
// files): the axes drawn over the map's view, or the settings reported.
#include "app/Globals.h"
#include "app/manual/Recalcs.h"
#include "app/manual/map.h"
#include "tests/fuzz/FuzzMaps.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"

int FuzzAxes(const uint8_t *AData, size_t ASize)
{
    fuzz::PrepareMaps();
    std::string Files[3];
    fuzz::SplitParts(fuzz::Text(AData, ASize), Files, 3);
    const std::string Folder = fuzz::NextFolder();
    const std::string Sub = Folder.substr(fuzz::ScratchFolder().size());
    CfgDir = Folder;
    fuzz::WriteScratchFile(Sub + "geogrAxe.Ini", Files[0]);
    fuzz::WriteScratchFile(Sub + "crd0.txt", Files[1]);
    fuzz::WriteScratchFile(Sub + "crd1.txt", Files[2]);
    InitGeoAxes();
    AxesScreenRect = MapScreenRect;
    for (const TRealRect &View : {MakeWorldRect(-14, 30, 42, 50), MakeWorldRect(29.99, 43.1, 30.01, 43.11),
                                  MakeWorldRect(-1e300, -1e300, 1e300, 1e300)}) {
        AxesWorldRect = View;
        DrawGeoAxes(fuzz::MapCanvas());
    }
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzAxes)
