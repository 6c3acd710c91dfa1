// A climatology text file over any bytes: the import grid with its choice
// lists and the seas it covers, or the reader's own error.
#include "app/UQC.h"
#include "app/manual/map.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"

int FuzzClimatology(const uint8_t *AData, size_t ASize)
{
    static const bool Squares = [] {
        BsSquareNames.Clear();
        BsSquareNames.Add("7");
        BsSquareNames.Add("12");
        MsSquareNames.Clear();
        MsSquareNames.Add("M07");
        return true;
    }();
    (void)Squares;
    const std::string File = fuzz::WriteScratchFile("clim.txt", fuzz::Text(AData, ASize));
    TClimImport Import;
    std::string Error;
    if (ReadClimatologyFile(File, Import, Error))
        for (const auto &Row : Import.Grid)
            (void)Row.size();
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzClimatology)
