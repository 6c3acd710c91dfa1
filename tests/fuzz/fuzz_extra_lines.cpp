// The extra-line file over any bytes, drawn in both column orders: the
// outlines, or the reader's input-output error.
#include "app/Globals.h"
#include "app/manual/Recalcs.h"
#include "app/manual/map.h"
#include "tests/fuzz/FuzzMaps.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"

int FuzzExtraLines(const uint8_t *AData, size_t ASize)
{
    fuzz::PrepareMaps();
    const std::string Folder = fuzz::NextFolder();
    ExtraLinesFile = Folder + "extra.bln";
    fuzz::WriteScratchFile(Folder.substr(fuzz::ScratchFolder().size()) + "extra.bln", fuzz::Text(AData, ASize));
    for (const bool Swap : {false, true}) {
        SwapCoordColumns = Swap;
        try {
            DrawExtraLines(fuzz::MapCanvas());
        } catch (const EInOutError &) {
        }
    }
    SwapCoordColumns = false;
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzExtraLines)
