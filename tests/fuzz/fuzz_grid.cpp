// The "DSAA" grid reader over any bytes, then the look-ups the depth check
// and the map read-out make: inside the grid, on its edges, far outside it.
#include "app/manual/Isolines.h"
#include "tests/fuzz/FuzzMaps.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"

#include <cmath>

int FuzzGrid(const uint8_t *AData, size_t ASize)
{
    fuzz::PrepareMaps();
    const std::string File = fuzz::WriteScratchFile("g.grd", fuzz::Text(AData, ASize));
    DepthGrid.clear();
    GridNX = GridNY = 0;
    LoadGrid(File, DepthGrid);
    const TRealRect G = GridWorldRect;
    const double Probes[][2] = {{G.xmin, G.ymin}, {G.xmax, G.ymax}, {(G.xmin + G.xmax) / 2, (G.ymin + G.ymax) / 2},
                                {30.5, 43.25}, {-1e300, 1e300}, {NAN, 0}};
    for (const auto &P : Probes) {
        (void)XToGridCol(P[0]);
        (void)YToGridRow(P[1]);
        TGridCell Cell;
        if (FindGridCell(P[0], P[1], Cell))
            (void)GridCellValue(Cell);
        const int Col = XToGridCol(P[0]) - 1, Row = YToGridRow(P[1]) - 1;
        (void)GridBilinear(Col, Row, 0.5, 0.25);
    }
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzGrid)
