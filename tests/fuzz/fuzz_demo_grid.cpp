// The demo generator's own "DSAA" grid reader over any bytes: a grid or a
// refusal, then the cell look-ups of its depth checks and its depths, inside
// the grid, on its edges and far outside it.
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"
#include "tools/demogen/TDemoGeography.h"

#include <cmath>

int FuzzDemoGrid(const uint8_t *AData, size_t ASize)
{
    const std::string File = fuzz::WriteScratchFile("demo.grd", fuzz::Text(AData, ASize));
    try {
        const demogen::TDemoGrid G = demogen::TDemoGrid::Load(File);
        const double X = (G.XMin() + G.XMax()) / 2, Y = (G.YMin() + G.YMax()) / 2;
        const double Probes[][2] = {{G.XMin(), G.YMin()}, {G.XMax(), G.YMax()}, {X, Y},       {-1e300, 1e300},
                                    {NAN, Y},             {X, NAN},             {X, INFINITY}};
        for (const auto &P : Probes) {
            double Nodes[4], Z = 0;
            (void)G.IndexNodes(P[0], P[1], Nodes);
            (void)G.CellNodes(P[0], P[1], Nodes);
            (void)G.Elevation(P[0], P[1], Z);
        }
    } catch (const demogen::EDemoFormat &) {
    }
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzDemoGrid)
