// The coastline file "map.bln" over any bytes: the map is drawn from it, or
// the reader raises its input-output error.
#include "app/Globals.h"
#include "app/manual/map.h"
#include "tests/fuzz/FuzzMaps.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"

int FuzzCoastline(const uint8_t *AData, size_t ASize)
{
    fuzz::PrepareMaps();
    const std::string Folder = fuzz::NextFolder();
    MapsDir = Folder;
    fuzz::WriteScratchFile(Folder.substr(fuzz::ScratchFolder().size()) + "map.bln", fuzz::Text(AData, ASize));
    try {
        DrawCoast(fuzz::MapCanvas());
    } catch (const EInOutError &) {
    }
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzCoastline)
