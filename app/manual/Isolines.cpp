// The "DSAA" grid reader and the grid look-ups.
#include "app/manual/Isolines.h"

#include "app/Globals.h"

#include "platform/rtl/SysUtils.h"
#include "platform/rtl/TTextFileReader.h"
#include "platform/toolkit/TDialogs.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>

TDepthGrid DepthGrid;
uint16_t GridNX = 0;
uint16_t GridNY = 0;
float GridCellWidth = 0;
float GridCellHeight = 0;
float GridZMin = 0;
float GridZMax = 0;
std::vector<TColor> MapColors;
int SeaColorIndex = 0;
std::string GridRefusal;

namespace {

const char *const FileNotFoundText = "\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB \xD0\xBD\xD0\xB5 \xD0\xBD\xD0\xB0\xD0\xB9\xD0\xB4\xD0\xB5\xD0\xBD!"; // Файл не найден!
const char *const BadFormatText = "\xD0\x9D\xD0\xB5\xD0\xB2\xD0\xB5\xD1\x80\xD0\xBD\xD1\x8B\xD0\xB9 \xD1\x84\xD0\xBE\xD1\x80\xD0\xBC\xD0\xB0\xD1\x82 \xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB\xD0\xB0"; // Неверный формат файла

// Set while the run reads the grid again: its refusal is said by the run.
bool QuietRefusal = false;

// Refusal: the words said again at a run, when Text lacks the file's name.
void ReaderError(const std::string &Text, const std::string &Refusal = "")
{
    GridRefusal = Refusal.empty() ? Text : Refusal;
    if (!QuietRefusal)
        MessageDlg(Text, mtError, mbOK);
}

// The file as the reader last found it: its name, size, time of change and
// a hash of its bytes (none when it was not there). A grid copied over with
// its time kept (cp -p), or rewritten within the clock's step, is told by
// its bytes.
struct TGridFileStamp {
    std::string Name;
    bool Found = false;
    uintmax_t Size = 0;
    std::filesystem::file_time_type Time{};
    uint64_t Hash = 0;
    bool operator==(const TGridFileStamp &) const = default;
};
TGridFileStamp ReadStamp;

TGridFileStamp StampOf(const std::string &FileName)
{
    TGridFileStamp Stamp;
    Stamp.Name = FileName;
    std::error_code Error;
    Stamp.Size = std::filesystem::file_size(FileName, Error);
    if (Error)
        return Stamp;
    Stamp.Time = std::filesystem::last_write_time(FileName, Error);
    Stamp.Found = !Error;
    std::ifstream In(FileName, std::ios::binary);
    char Block[1 << 16];
    uint64_t H = 14695981039346656037u; // FNV-1a, eight bytes a step
    while (In.read(Block, sizeof Block) || In.gcount() > 0) {
        const size_t N = size_t(In.gcount());
        size_t I = 0;
        for (; I + 8 <= N; I += 8) {
            uint64_t Word;
            std::memcpy(&Word, Block + I, 8);
            H = (H ^ Word) * 1099511628211u;
        }
        for (; I < N; ++I)
            H = (H ^ uint8_t(Block[I])) * 1099511628211u;
    }
    Stamp.Hash = H;
    return Stamp;
}

// A value line of the grid: its number, the count of values up to its end,
// and whether a blank line came before it.
struct TValueLine {
    int No = 0;
    long long End = 0;
    bool AfterBlank = false;
};

// The rows the file's layout shows: their length and the line that ends
// the first; none (0) where the layout does not show them. Surfer writes a
// row on lines of ten values and a blank line after it; other writers a row
// a line. Values wrapped at a width of their own show no rows, and neither
// do lines each of their own block, but for lines all of one width.
// Sure: a blank line or a shorter line ends each row; lines all of one
// width without blank lines between them may as well be a row cut in
// parts, or two rows on one line.
struct TShownRows {
    long long Length = 0;
    int Line = 0;
    bool Sure = true;
};

TShownRows RowsTheLayoutShows(const std::vector<TValueLine> &ALines, int NY)
{
    const size_t Count = ALines.size();
    if (Count < 2)
        return {};
    // Runs of values ending at the lines AEnds (the last line ends one):
    // rows when they are equal.
    const auto Equal = [&ALines](std::vector<size_t> AEnds) -> TShownRows {
        AEnds.push_back(ALines.size() - 1);
        long long Before = 0, Length = -1;
        for (const size_t I : AEnds) {
            if (Length >= 0 && ALines[I].End - Before != Length)
                return {};
            Length = ALines[I].End - Before;
            Before = ALines[I].End;
        }
        return {Length, ALines[AEnds.front()].No};
    };
    const auto ValuesOn = [&ALines](size_t I) { return ALines[I].End - (I ? ALines[I - 1].End : 0); };
    std::vector<size_t> Ends;
    for (size_t I = 1; I < Count; ++I)
        if (ALines[I].AfterBlank)
            Ends.push_back(I - 1);
    if (!Ends.empty() && Ends.size() + 1 < Count)
        if (const TShownRows Rows = Equal(Ends); Rows.Length > 0)
            return Rows;
    // A row wrapped into lines ends on a shorter one.
    long long Widest = 0;
    for (size_t I = 0; I < Count; ++I)
        Widest = std::max(Widest, ValuesOn(I));
    Ends.clear();
    for (size_t I = 0; I + 1 < Count; ++I)
        if (ValuesOn(I) < Widest)
            Ends.push_back(I);
    if (!Ends.empty())
        return Equal(Ends);
    // Lines all of one width: a row a line where that width is the number
    // of rows the header gives (the header has rows and columns swapped).
    // A blank line after each of them ends each row, as Surfer ends its rows
    // of up to ten values: a row a line for sure.
    const bool BlankAfterEach =
        std::all_of(ALines.begin() + 1, ALines.end(), [](const TValueLine &L) { return L.AfterBlank; });
    return Widest == NY ? TShownRows{Widest, ALines.front().No, BlankAfterEach} : TShownRows{};
}

// A header line of two numbers; the rest of the line is skipped.
void ReadHeaderPair(rtl::TTextFileReader &In, double &a, double &b)
{
    if (!In.NextNonBlankLine())
        In.Fail(100);
    a = In.ReadNumber();
    b = In.ReadNumber();
}

// Collected notes of the reader, shown as one message, a line each; a huge
// list is cut after its first lines.
struct TNotes {
    std::vector<std::string> Lines;
    size_t Total = 0;
    void Add(std::string Line)
    {
        if (++Total <= 20)
            Lines.push_back(std::move(Line));
    }
    void Show() const
    {
        if (Total == 0)
            return;
        std::string Text;
        for (const std::string &L : Lines)
            Text += L + "\n";
        if (Total > Lines.size())
            Text += "... (" + std::to_string(Total) + ")\n";
        Text.pop_back();
        ShowMessage(Text);
    }
};

} // namespace

void LoadGrid(const std::string &FileName, TDepthGrid &Grid)
{
    ReadStamp = StampOf(FileName);
    std::unique_ptr<rtl::TTextFileReader> Reader;
    try {
        Reader = std::make_unique<rtl::TTextFileReader>(FileName);
    } catch (const EInOutError &E) {
        // Text with NUL bytes is found but refused, by file and line.
        if (E.ErrorCode == 106)
            ReaderError(E.what());
        else
            ReaderError(FileNotFoundText, FileName + ": " + FileNotFoundText);
        return;
    }
    rtl::TTextFileReader &In = *Reader;
    // The format error names the file and the line where the reading
    // stopped, so that the operator can mend it.
    const auto BadFormat = [&In] { ReaderError(In.Where() + ": " + BadFormatText); };
    if (!In.NextLine() || rtl::TrimRight(In.Line()) != "DSAA") {
        BadFormat();
        return;
    }
    TDepthGrid Values;
    TNotes Fractions, Unstored;
    double nx, ny, xmin, xmax, ymin, ymax, zmin, zmax;
    int NX = 0, NY = 0;
    float CellWidth = 0, CellHeight = 0;
    try {
        // Header: nx ny, xmin xmax, ymin ymax, zmin zmax. A grid needs two
        // nodes each way, or its cell size divides by zero.
        ReadHeaderPair(In, nx, ny);
        if (nx != std::trunc(nx) || ny != std::trunc(ny) || nx < 2 || ny < 2 || nx > 65535 || ny > 65535) {
            BadFormat();
            return;
        }
        NX = int(nx);
        NY = int(ny);
        // The cell sizes are kept in single precision: an extent that
        // leaves them zero or infinite locates nothing.
        const auto CellOf = [](double Min, double Max, int Nodes) {
            const float Cell = std::isfinite(Min) && std::isfinite(Max) ? float((Max - Min) / (Nodes - 1)) : 0.0f;
            return Max > Min && Cell > 0 && std::isfinite(Cell) ? Cell : 0.0f;
        };
        ReadHeaderPair(In, xmin, xmax);
        if ((CellWidth = CellOf(xmin, xmax, NX)) == 0) {
            BadFormat();
            return;
        }
        ReadHeaderPair(In, ymin, ymax);
        if ((CellHeight = CellOf(ymin, ymax, NY)) == 0) {
            BadFormat();
            return;
        }
        ReadHeaderPair(In, zmin, zmax);
        // Every value takes a digit and a separator, so a header promising
        // more nodes than the file has bytes belongs to a file that holds
        // less than half its grid: a wrong header or a cut file, and sizing
        // the grid after it could ask for gigabytes before the first value
        // is read.
        std::error_code SizeError;
        const uintmax_t FileSize = std::filesystem::file_size(FileName, SizeError);
        if (SizeError || uintmax_t(NX) * uintmax_t(NY) > FileSize) {
            BadFormat();
            return;
        }
        Values.assign(size_t(NY), TSingleArr(size_t(NX), 0.0f));
        int c = 0, r = 0;
        int LastLine = In.LineNo();
        // Values past the header's nodes: the header names fewer nodes than
        // the file holds, and every row read after it would be shifted.
        long long Excess = 0;
        int ExcessLine = 0;
        std::vector<TValueLine> ValueLines;
        bool Blank = false;
        long long ValuesRead = 0;
        while (In.NextLine()) {
            if (In.LineEnded()) {
                Blank = !ValueLines.empty();
                continue;
            }
            LastLine = In.LineNo();
            while (!In.LineEnded()) {
                const double Value = In.ReadNumber();
                ++ValuesRead;
                if (r >= NY) {
                    ExcessLine = ExcessLine ? ExcessLine : In.LineNo();
                    ++Excess;
                    continue;
                }
                // Three decimals; 1e38 and above is a blank node. A value
                // whose thousandfold leaves the 64-bit integers cannot be
                // stored.
                const double Scaled = Value * 1000;
                const bool Fits = Value >= 1e38 || std::fabs(Scaled) < 9.2e18;
                if (Fits) {
                    const double Stored = Value < 1e38 ? std::nearbyint(Scaled) / 1000 : double(BlankNode);
                    Values[size_t(r)][size_t(c)] = float(Stored);
                    if (Value > 0 && Value < 1)
                        Fractions.Add(rtl::FloatToStr(Value) + "  " + rtl::FloatToStr(float(Stored)));
                } else {
                    Unstored.Add(std::to_string(c) + "  " + std::to_string(In.LineNo()) + "  " + std::to_string(r) +
                                 "  " + std::to_string(NX) + "  " + std::to_string(NY));
                }
                if (c == NX - 1) {
                    c = 0;
                    ++r;
                } else {
                    ++c;
                }
            }
            ValueLines.push_back({In.LineNo(), ValuesRead, Blank});
            Blank = false;
        }
        // A grid cut short: nodes it does not hold would judge stations by
        // depths of 0. One longer than its header: a depth read at the wrong
        // node. Either way the header and the nodes disagree.
        const std::string Nodes = std::to_string(NX) + " x " + std::to_string(NY) + " nodes";
        if (r < NY) {
            ReaderError(FileName + ", line " + std::to_string(LastLine) + ": " + BadFormatText +
                        ": the grid ends after " + std::to_string((long long)r * NX + c) + " of its " + Nodes);
            return;
        }
        if (Excess > 0) {
            ReaderError(FileName + ", line " + std::to_string(ExcessLine) + ": " + BadFormatText + ": the grid holds " +
                        std::to_string((long long)NX * NY + Excess) + " values, more than its " + Nodes);
            return;
        }
        // As many values, but rows of another length where the file shows
        // them: a header with rows and columns swapped would place every
        // depth at another node.
        if (const TShownRows Rows = RowsTheLayoutShows(ValueLines, NY);
            Rows.Length > 0 && (Rows.Sure ? Rows.Length != NX : Rows.Length % NX != 0 && NX % Rows.Length != 0)) {
            ReaderError(FileName + ", line " + std::to_string(Rows.Line) + ": " + BadFormatText + ": the file's rows hold " +
                        std::to_string(Rows.Length) + " values, its header's " + std::to_string(NX) + " (" + Nodes + ")");
            return;
        }
    } catch (const EInOutError &) {
        // A word that is no number (a decimal comma among them) or a
        // header cut short.
        BadFormat();
        return;
    }
    GridRefusal.clear();
    Grid = std::move(Values);
    GridNX = uint16_t(NX);
    GridNY = uint16_t(NY);
    GridWorldRect = MakeWorldRect(xmin, ymin, xmax, ymax);
    GridCellWidth = CellWidth;
    GridCellHeight = CellHeight;
    GridZMin = float(zmin);
    GridZMax = float(zmax);
    Fractions.Show();
    Unstored.Show();
}

void ReadGridAgainIfChanged(const std::string &FileName, TDepthGrid &Grid)
{
    if (StampOf(FileName) == ReadStamp)
        return;
    // A grid refused now leaves none: the old one is no longer on disk.
    Grid.clear();
    GridNX = GridNY = 0;
    QuietRefusal = true;
    try {
        LoadGrid(FileName, Grid);
    } catch (...) {
        QuietRefusal = false;
        throw;
    }
    QuietRefusal = false;
}

namespace {
// The 1-based node of a fractional 0-based index. A position far off the
// grid (or any position before a grid is read, when the cell size is 0)
// rounds to the largest int, which must not wrap round when 1 is added.
int NodeIndexOf(double v)
{
    const int r = RoundPixel(v);
    return r < INT_MAX ? r + 1 : INT_MAX;
}
} // namespace

int XToGridCol(double x) { return NodeIndexOf((x - GridWorldRect.xmin) / GridCellWidth); }

int YToGridRow(double y) { return NodeIndexOf((y - GridWorldRect.ymin) / GridCellHeight); }

double GridBilinear(int col, int row, double fx, double fy)
{
    // The callers check the cell against the grid's size; a cell off the
    // grid (or a grid shorter than its header said) has no value.
    if (col < 0 || row < 0 || size_t(row) + 1 >= DepthGrid.size() || size_t(col) + 1 >= DepthGrid[size_t(row)].size() ||
        size_t(col) + 1 >= DepthGrid[size_t(row) + 1].size())
        return std::numeric_limits<double>::quiet_NaN();
    const double u = fx - std::trunc(fx), v = fy - std::trunc(fy);
    const TSingleArr &Lower = DepthGrid[size_t(row)], &Upper = DepthGrid[size_t(row) + 1];
    const double z00 = Lower[size_t(col)], z01 = Lower[size_t(col) + 1];
    const double z10 = Upper[size_t(col)], z11 = Upper[size_t(col) + 1];
    return (1 - v) * ((1 - u) * z00 + u * z01) + v * ((1 - u) * z10 + u * z11);
}

bool FindGridCell(double lon, double lat, TGridCell &Cell)
{
    if (GridNX < 2 || GridNY < 2 || DepthGrid.size() < GridNY)
        return false;
    const TRealRect &G = GridWorldRect;
    if (!(lon >= G.xmin && lon <= G.xmax && lat >= G.ymin && lat <= G.ymax))
        return false;
    // In double precision from the extent, so that a position on a node
    // line does not slip into the neighbouring cell through the single-
    // precision cell size.
    const double fx = (lon - G.xmin) / (G.xmax - G.xmin) * (GridNX - 1);
    const double fy = (lat - G.ymin) / (G.ymax - G.ymin) * (GridNY - 1);
    if (!(fx >= 0 && fx <= GridNX - 1 && fy >= 0 && fy <= GridNY - 1))
        return false;
    Cell.Col = std::min(int(std::floor(fx)), GridNX - 2);
    Cell.Row = std::min(int(std::floor(fy)), GridNY - 2);
    if (DepthGrid[size_t(Cell.Row)].size() < GridNX || DepthGrid[size_t(Cell.Row) + 1].size() < GridNX)
        return false;
    Cell.U = fx - Cell.Col;
    Cell.V = fy - Cell.Row;
    return true;
}

void GridCellNodes(const TGridCell &Cell, float Nodes[4])
{
    const TSingleArr &Lower = DepthGrid[size_t(Cell.Row)], &Upper = DepthGrid[size_t(Cell.Row) + 1];
    Nodes[0] = Lower[size_t(Cell.Col)];
    Nodes[1] = Lower[size_t(Cell.Col) + 1];
    Nodes[2] = Upper[size_t(Cell.Col)];
    Nodes[3] = Upper[size_t(Cell.Col) + 1];
}

double GridCellValue(const TGridCell &Cell)
{
    float z[4];
    GridCellNodes(Cell, z);
    const double u = Cell.U, v = Cell.V;
    return (1 - v) * ((1 - u) * z[0] + u * z[1]) + v * ((1 - u) * z[2] + u * z[3]);
}
