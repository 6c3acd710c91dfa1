// A QC-square file over any bytes: the squares and names, or the reader's
// input-output error; then the look-up the checks make and the squares
// drawn on the map.
#include "app/Globals.h"
#include "app/manual/map.h"
#include "tests/fuzz/FuzzMaps.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"

int FuzzSquares(const uint8_t *AData, size_t ASize)
{
    fuzz::PrepareMaps();
    const std::string File = fuzz::WriteScratchFile("QuadrHMS.txt", fuzz::Text(AData, ASize));
    MsSquares.clear();
    MsSquareNames.Clear();
    try {
        LoadSquares(File, BsSquareNames, BsSquares);
    } catch (const EInOutError &) {
        return 0;
    }
    (void)FindSquare(30.5, 43.25);
    (void)FindSquare(-1e300, 1e300);
    DrawSquares(fuzz::MapCanvas());
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzSquares)
