// The "DSAA" grid reader and the grid look-ups.
#include "app/manual/Isolines.h"

#include "platform/toolkit/TDialogs.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace {

const std::string NotFound = "\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB \xD0\xBD\xD0\xB5 \xD0\xBD\xD0\xB0\xD0\xB9\xD0\xB4\xD0\xB5\xD0\xBD!";
const std::string BadFormat = "\xD0\x9D\xD0\xB5\xD0\xB2\xD0\xB5\xD1\x80\xD0\xBD\xD1\x8B\xD0\xB9 \xD1\x84\xD0\xBE\xD1\x80\xD0\xBC\xD0\xB0\xD1\x82 \xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB\xD0\xB0";

class GridReader : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    TScriptedDialogs Script;
    std::string Write(const std::string &Name, const std::string &Text)
    {
        const std::string Path = Dir.filePath(QString::fromStdString(Name)).toStdString();
        std::ofstream(Path, std::ios::binary) << Text;
        return Path;
    }
    // A 4 x 3 grid over 10..13 E, 40..42 N: one degree a cell.
    void LoadSmall()
    {
        LoadGrid(Write("small.grd", "DSAA\r\n4 3\r\n10 13\r\n40 42\r\n-300 50\r\n"
                                    "-100 -200 -300 -250\r\n-50 -60 -70 -80\r\n10 20 30 50\r\n"),
                 DepthGrid);
    }
    // The format error, led by the file and the line where it was found.
    std::string At(const std::string &Name, int Line)
    {
        return Dir.filePath(QString::fromStdString(Name)).toStdString() + ", line " + std::to_string(Line) + ": " +
               BadFormat;
    }
    void TearDown() override
    {
        DepthGrid.clear();
        GridNX = GridNY = 0;
        GridWorldRect = TRealRect{};
    }
};

TEST_F(GridReader, ReadsHeaderAndRowsFromTheSouth)
{
    LoadSmall();
    EXPECT_TRUE(Script.Messages.empty());
    EXPECT_EQ(GridNX, 4);
    EXPECT_EQ(GridNY, 3);
    EXPECT_EQ(GridWorldRect, (TRealRect{10, 40, 13, 42}));
    EXPECT_FLOAT_EQ(GridCellWidth, 1.0f);
    EXPECT_FLOAT_EQ(GridCellHeight, 1.0f);
    EXPECT_FLOAT_EQ(GridZMin, -300);
    EXPECT_FLOAT_EQ(GridZMax, 50);
    ASSERT_EQ(DepthGrid.size(), 3u);
    EXPECT_EQ(DepthGrid[0], (TSingleArr{-100, -200, -300, -250}));
    EXPECT_EQ(DepthGrid[2], (TSingleArr{10, 20, 30, 50}));
}

TEST_F(GridReader, WrappedLinesBlankNodesAndThreeDecimals)
{
    std::string Text = "DSAA\n4 3\n0 3\n0 2\n0 1\n";
    // Twelve values, ten to a line.
    Text += "1.70141e38 -1234.56789 3 4 5 6 7 8 9 10\n11 12\n";
    LoadGrid(Write("wrapped.grd", Text), DepthGrid);
    EXPECT_TRUE(Script.Messages.empty());
    EXPECT_EQ(DepthGrid[0][0], 9999.0f);
    EXPECT_EQ(DepthGrid[0][1], float(-1234.568));
    EXPECT_EQ(DepthGrid[1], (TSingleArr{5, 6, 7, 8}));
    EXPECT_EQ(DepthGrid[2], (TSingleArr{9, 10, 11, 12}));
    // As Surfer writes it, a row wrapped and a blank line after it, under a
    // header with rows and columns swapped: the rows it shows say so.
    LoadGrid(Write("swapped.grd", "DSAA\n3 4\n0 3\n0 2\n0 1\n1 2 3\n4\n\n5 6 7\n8\n\n9 10 11\n12\n"), DepthGrid);
    EXPECT_EQ(Script.Texts(), std::vector<std::string>{At("swapped.grd", 7) + ": the file's rows hold 4 values, "
                                                                               "its header's 3 (3 x 4 nodes)"});
    // Rows of twice the header's length are no two rows: a blank line ends each.
    Script.Messages.clear();
    LoadGrid(Write("twice.grd", "DSAA\n3 4\n0 2\n0 3\n0 1\n1 2 3 4 5\n6\n\n7 8 9 10 11\n12\n"), DepthGrid);
    EXPECT_EQ(Script.Texts(), std::vector<std::string>{At("twice.grd", 7) + ": the file's rows hold 6 values, "
                                                                             "its header's 3 (3 x 4 nodes)"});
    // Rows of up to ten values, a row a line and a blank after it: two rows
    // of six are no six rows of two.
    Script.Messages.clear();
    LoadGrid(Write("narrow.grd", "DSAA\n2 6\n0 1\n0 5\n0 1\n1 2 3 4 5 6\n\n7 8 9 10 11 12\n"), DepthGrid);
    EXPECT_EQ(Script.Texts(), std::vector<std::string>{At("narrow.grd", 6) + ": the file's rows hold 6 values, "
                                                                              "its header's 2 (2 x 6 nodes)"});
}

TEST_F(GridReader, AGridCopiedOverWithItsSizeAndTimeIsReadAgain)
{
    LoadSmall();
    const std::string Path = Dir.filePath(QStringLiteral("small.grd")).toStdString();
    const auto Time = std::filesystem::last_write_time(Path);
    std::ofstream(Path, std::ios::binary) << "DSAA\r\n4 3\r\n10 13\r\n40 42\r\n-300 50\r\n"
                                             "-100 -200 -300 -250\r\n-50 -60 -70 -80\r\n10 20 30 60\r\n";
    std::filesystem::last_write_time(Path, Time);
    ReadGridAgainIfChanged(Path, DepthGrid);
    EXPECT_EQ(DepthGrid[2][3], 60);
}

TEST_F(GridReader, AShortFileIsRefusedAtTheLineWhereItEnds)
{
    LoadGrid(Write("short.grd", "DSAA\n3 2\n0 2\n0 1\n0 1\n-1 -2 -3 -4\n\n"), DepthGrid);
    EXPECT_EQ(Script.Texts(),
              std::vector<std::string>{At("short.grd", 6) + ": the grid ends after 4 of its 3 x 2 nodes"});
    EXPECT_EQ(GridNX, 0);
}

TEST_F(GridReader, MissingFileAndWrongFirstLineKeepTheOldGrid)
{
    LoadSmall();
    LoadGrid(Dir.filePath(QStringLiteral("none.grd")).toStdString(), DepthGrid);
    LoadGrid(Write("bad.grd", "DSRB\n2 2\n0 1\n0 1\n0 1\n1 2 3 4\n"), DepthGrid);
    LoadGrid(Write("text.grd", "DSAA\n2 2\n0 1\n0 1\n0 1\n1 x 3 4\n"), DepthGrid);
    EXPECT_EQ(Script.Texts(), (std::vector<std::string>{NotFound, At("bad.grd", 1), At("text.grd", 6)}));
    EXPECT_EQ(GridNX, 4);
    EXPECT_EQ(DepthGrid[2][3], 50);
}

TEST_F(GridReader, SingleRowOrColumnIsRejectedOnce)
{
    LoadGrid(Write("one.grd", "DSAA\n1 3\n0 0\n0 2\n0 1\n1\n2\n3\n"), DepthGrid);
    EXPECT_EQ(Script.Texts(), std::vector<std::string>{At("one.grd", 2)});
    EXPECT_EQ(GridNX, 0);
    // So is an extent that does not grow.
    LoadGrid(Write("flat.grd", "DSAA\n2 2\n5 5\n0 1\n0 1\n1 2 3 4\n"), DepthGrid);
    EXPECT_EQ(Script.Messages.size(), 2u);
    EXPECT_EQ(GridNX, 0);
    TGridCell Cell;
    EXPECT_FALSE(FindGridCell(0, 1, Cell));
}

TEST_F(GridReader, HeaderPromisingMoreThanTheFileHoldsIsABadFormat)
{
    LoadSmall();
    // 65535 x 65535 nodes would take 17 GB before the first value is read.
    LoadGrid(Write("huge.grd", "DSAA\n65535 65535\n0 1\n0 1\n0 1\n1 2 3 4\n"), DepthGrid);
    // Cell sizes that single precision holds as zero or infinity.
    LoadGrid(Write("tiny.grd", "DSAA\n2 2\n0 1e-300\n0 1\n0 1\n1 2 3 4\n"), DepthGrid);
    LoadGrid(Write("wide.grd", "DSAA\n2 2\n-1e300 1e300\n0 1\n0 1\n1 2 3 4\n"), DepthGrid);
    EXPECT_EQ(Script.Texts(), (std::vector<std::string>{At("huge.grd", 5), At("tiny.grd", 3), At("wide.grd", 3)}));
    EXPECT_EQ(GridNX, 4);
    EXPECT_EQ(DepthGrid.size(), 3u);
}

TEST_F(GridReader, NodeIndicesOfFarPositionsStopAtTheIntRange)
{
    // Before any grid is read the cell size is 0: every position is far.
    GridCellWidth = GridCellHeight = 0;
    EXPECT_EQ(XToGridCol(12), INT_MAX);
    EXPECT_EQ(YToGridRow(41), INT_MAX);
    LoadSmall();
    EXPECT_EQ(XToGridCol(1e300), INT_MAX);
    EXPECT_EQ(YToGridRow(-1e300), INT_MIN + 1);
}

TEST_F(GridReader, FractionsAreReportedInOneMessage)
{
    LoadGrid(Write("frac.grd", "DSAA\n2 2\n0 1\n0 1\n0 1\n0.5 0.25 -3 0.0004\n"), DepthGrid);
    ASSERT_EQ(Script.Messages.size(), 1u);
    EXPECT_EQ(Script.Messages[0].Text, "0.5  0.5\n0.25  0.25\n0.0004  0");
    EXPECT_EQ(DepthGrid[1][1], 0.0f);
}

TEST_F(GridReader, NodeIndicesAreOneBasedAndRoundHalvesToEven)
{
    LoadSmall();
    EXPECT_EQ(XToGridCol(10), 1);
    EXPECT_EQ(XToGridCol(13), 4);
    EXPECT_EQ(XToGridCol(10.5), 1); // 0.5 -> 0
    EXPECT_EQ(XToGridCol(11.5), 3); // 1.5 -> 2
    EXPECT_EQ(YToGridRow(42), 3);
    EXPECT_DOUBLE_EQ(GridBilinear(1, 0, 3.0, 7.0), -200);
    EXPECT_DOUBLE_EQ(GridBilinear(1, 0, 2.5, 1.5), (-200 - 300 - 60 - 70) / 4.0);
    EXPECT_TRUE(std::isnan(GridBilinear(3, 0, 0.5, 0.5))); // no column east of the last
    EXPECT_TRUE(std::isnan(GridBilinear(0, 2, 0.5, 0.5)));
}

TEST_F(GridReader, PositionLooksUpTheCellThatHoldsIt)
{
    LoadSmall();
    TGridCell Cell;
    // 11.25 E, 40.5 N lies between columns 1 and 2, rows 0 and 1.
    ASSERT_TRUE(FindGridCell(11.25, 40.5, Cell));
    EXPECT_EQ(Cell.Col, 1);
    EXPECT_EQ(Cell.Row, 0);
    float z[4];
    GridCellNodes(Cell, z);
    EXPECT_EQ(z[0], -200);
    EXPECT_EQ(z[1], -300);
    EXPECT_EQ(z[2], -60);
    EXPECT_EQ(z[3], -70);
    EXPECT_DOUBLE_EQ(GridCellValue(Cell), 0.5 * (0.75 * -200 + 0.25 * -300) + 0.5 * (0.75 * -60 + 0.25 * -70));
    // The north-east corner is the last cell's far node; outside is refused.
    ASSERT_TRUE(FindGridCell(13, 42, Cell));
    EXPECT_EQ(Cell.Col, 2);
    EXPECT_EQ(Cell.Row, 1);
    EXPECT_DOUBLE_EQ(GridCellValue(Cell), 50);
    EXPECT_FALSE(FindGridCell(13.001, 41, Cell));
    EXPECT_FALSE(FindGridCell(11, 39.99, Cell));
}

} // namespace
