// Fixed-seed mutations of the grid, coastline, square and axis files: every
// reader must end with its data or its error, never crash or hang.
#include "app/Globals.h"
#include "app/manual/Isolines.h"
#include "app/manual/map.h"
#include "platform/toolkit/TCanvas.h"
#include "platform/toolkit/TDialogs.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>

namespace {

std::string Mutate(std::string Text, std::mt19937 &Rng)
{
    static const char Alphabet[] = "0123456789.-+eE \n\t,x#DSA";
    std::uniform_int_distribution<int> Kind(0, 4), Pick(0, int(sizeof Alphabet) - 2);
    const int Edits = 1 + int(Rng() % 4);
    for (int e = 0; e < Edits && !Text.empty(); ++e) {
        const size_t At = Rng() % Text.size();
        switch (Kind(Rng)) {
        case 0: Text[At] = Alphabet[Pick(Rng)]; break;
        case 1: Text.erase(At, 1 + Rng() % 8); break;
        case 2: Text.insert(At, 1, Alphabet[Pick(Rng)]); break;
        case 3: Text.resize(At); break;
        default: Text.insert(At, std::vector<std::string>{"1e39", "-1e400", "65536", "0", "-7", "nan", "99999999999"}[Rng() % 7]);
        }
    }
    return Text;
}

TEST(GeographyFilesFuzz, ReadersSurviveMutatedFiles)
{
    QTemporaryDir Dir;
    const std::string Folder = Dir.path().toStdString() + "/";
    MapsDir = CfgDir = Folder;
    ExtraLinesFile = Folder + "extra.bln";
    BuildMapColors();
    ZoomStack = {MakeWorldRect(-14, 30, 42, 50)};
    ZoomIndex = 0;
    MapScreenRect = TRect{10, 10, 200, 100};
    AxesWorldRect = ZoomStack[0];
    AxesScreenRect = MapScreenRect;
    TBitmap Bmp(220, 120);
    const std::string Grid = "DSAA\n4 3\n0 3\n0 2\n-5 5\n1 2 3 4\n5 6 7 8\n9 10 11 12\n";
    const std::string Coast = "4\n3 12\n10 35\n20 35\n15 45\n2 1\n0 40\n1 41\n";
    const std::string Squares = "27 41 28 42 7\n27.5 41 29 42 8\n";
    const std::string Axes = "[KOFFS]\nCnt=2\nKoffs0=60\nKoffs1=1\n[STEPS]\nCnt=2\nStepVal0=1\nStepVal1=5\n";
    std::mt19937 Rng(20261207);
    // FUZZ_ROUNDS asks for a longer run by hand.
    const int Rounds = std::getenv("FUZZ_ROUNDS") ? std::atoi(std::getenv("FUZZ_ROUNDS")) : 300;
    for (int Round = 0; Round < Rounds; ++Round) {
        TScriptedDialogs Quiet;
        std::ofstream(Folder + "g.grd") << Mutate(Grid, Rng);
        std::ofstream(Folder + "map.bln") << Mutate(Coast, Rng);
        std::ofstream(Folder + "sq.txt") << Mutate(Squares, Rng);
        std::ofstream(Folder + "geogrAxe.Ini") << Mutate(Axes, Rng);
        std::ofstream(Folder + "crd0.txt") << Mutate("2\n2\n", Rng);
        std::ofstream(Folder + "extra.bln") << Mutate("2 0\n35 0\n45 1\n", Rng);
        LoadGrid(Folder + "g.grd", DepthGrid);
        TGridCell Cell;
        if (FindGridCell(1.5, 1, Cell))
            (void)GridCellValue(Cell);
        try {
            DrawCoast(Bmp.Canvas());
        } catch (const EInOutError &) {
        }
        try {
            DrawExtraLines(Bmp.Canvas());
        } catch (const EInOutError &) {
        }
        try {
            LoadSquares(Folder + "sq.txt", BsSquareNames, BsSquares);
            FindSquare(27.6, 41.5);
        } catch (const EInOutError &) {
        }
        InitGeoAxes();
        DrawGeoAxes(Bmp.Canvas());
    }
    DepthGrid.clear();
    GridNX = GridNY = 0;
    BsSquares.clear();
    BsSquareNames.Clear();
}

} // namespace
