// A contour polygon file over any bytes, in both column orders: the
// polygons and the location region built from them in the check's pixel
// space, or the reader's input-output error.
#include "app/Globals.h"
#include "app/manual/Recalcs.h"
#include "app/manual/uContDlg.h"
#include "tests/fuzz/FuzzMaps.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"

int FuzzContour(const uint8_t *AData, size_t ASize)
{
    fuzz::PrepareMaps();
    const std::string File = fuzz::WriteScratchFile("contour.bln", fuzz::Text(AData, ASize));
    // The location check's pixel space.
    const TRect Space{1, 1, 50000, 22000};
    for (const bool LonFirst : {false, true}) {
        std::vector<TContourPolygon> Polygons;
        try {
            Polygons = ReadContourFile(File, LonFirst);
        } catch (const EInOutError &) {
            continue;
        }
        std::vector<TPointArr> Areas, Holes;
        for (const TContourPolygon &P : Polygons) {
            TPointArr Points;
            for (const TRealPoint &p : P.Points)
                Points.push_back(WorldToScreen(p, ContourWorldRect, Space, false, true));
            (P.Kind != 0 ? Holes : Areas).push_back(std::move(Points));
        }
        const TRegion Region = ContourRegionOf(Areas, Holes);
        (void)Region.Contains(20000, 10000);
        (void)Region.Contains(1, 22000);
    }
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzContour)
