// The location-check region from the contour polygons, and the loading of
// climatology rows into the "MS_" and "BS_" tables of the work folder.
#include "app/HandFlags.h"
#include "app/UQC.h"
#include "app/UQC_Internal.h"

#include "app/ListFiles.h"
#include "app/WorkTables.h"
#include "app/manual/map.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TSession.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TDialogs.h"

#include <algorithm>
#include <map>
#include <cmath>
#include <unordered_set>

namespace {

bool SameText(const std::string &A, const std::string &B) { return rtl::CompareText(A, B) == 0; }

int IndexOfText(const std::vector<std::string> &Items, const std::string &Text)
{
    for (size_t i = 0; i < Items.size(); ++i)
        if (SameText(Items[i], Text))
            return int(i);
    return -1;
}

bool IsSquareOf(const rtl::TStringList &Names, const std::string &Text) { return Names.IndexOf(Text) >= 0; }

// The three left lists take a cell of every data line; a set of upper-cased
// texts keeps "already listed" cheap on files of tens of thousands of lines.
class TDistinctList {
public:
    explicit TDistinctList(TClimChoice &AList) : FList(AList) {}
    void Add(const std::string &AText)
    {
        if (FSeen.insert(rtl::UpperCase(AText)).second) {
            FList.Items.push_back(AText);
            FList.Checked.push_back(false);
        }
    }

private:
    TClimChoice &FList;
    std::unordered_set<std::string> FSeen;
};

void ClearChoice(TClimChoice &AChoice)
{
    AChoice.Items.clear();
    AChoice.Checked.clear();
}

std::unordered_set<std::string> UpperSet(const rtl::TStringList &AList)
{
    std::unordered_set<std::string> Out;
    for (int I = 0; I < AList.Count(); ++I)
        Out.insert(rtl::UpperCase(AList.Strings(I)));
    return Out;
}

// A header cell P + "_" + suffix, cut at its first "_".
std::pair<std::string, std::string> SplitPairCell(const std::string &ACell)
{
    const size_t At = ACell.find('_');
    if (At == std::string::npos)
        return {ACell, std::string()};
    return {ACell.substr(0, At), ACell.substr(At + 1)};
}


// Opens a new climatology table named AName, made from template "Clim".
void MakeClimTable(TTable &Target, TTable &StructTbl, const std::string &ALocalDbDir, const std::string &AName)
{
    StructTbl.Close();
    StructTbl.SetDatabaseName(ALocalDbDir);
    StructTbl.SetTableName("Clim");
    StructTbl.Open();
    Target.Close();
    Target.SetDatabaseName(ALocalDbDir);
    Target.SetTableName(AName);
    Target.FieldDefs().Assign(StructTbl.FieldDefs());
    Target.CreateTable();
    Target.AddIndex("", "Region;Month;Pres", ixPrimary);
    Target.Open();
}

} // namespace

// ---- location region ------------------------------------------------------------

TPoint LocationPixel(double Lon, double Lat)
{
    // The full view, x not inverted, y inverted: the region is built through
    // the same transform, whatever the map's zoom or the InvX/InvY settings,
    // so the two always agree.
    const TRealRect World = ZoomStack.empty() ? MakeWorldRect(-14.0, 30.0, 42.0, 50.0) : ZoomStack[0];
    return WorldToScreen(MakeRealPoint(Lon, Lat), World, RegionScreenRect, false, true);
}

void BuildLocationRegion()
{
    LocationRegion = TRegion();
    LocationRefusal.clear();
    std::vector<TContourPolygon> Polygons;
    try {
        Polygons = ReadContourFile(ExtraLinesFile, SwapCoordColumns);
    } catch (const EInOutError &E) {
        LocationRefusal = E.what();
        return;
    }
    std::vector<TPointArr> Areas, Holes;
    for (const TContourPolygon &P : Polygons) {
        TPointArr &Poly = (P.Kind == 0 ? Areas : Holes).emplace_back();
        for (const TRealPoint &p : P.Points)
            Poly.push_back(LocationPixel(p.x, p.y));
    }
    LocationRegion = ContourRegionOf(Areas, Holes);
}

std::string LocationCheckBlocked(bool ATickedOnly)
{
    if ((ATickedOnly && !SelectedTests.Bits(tstLocation)) || LocationRefusal.empty())
        return std::string();
    return "The location check judges no station: " + LocationRefusal;
}

// ---- climatology a check lacks ----------------------------------------------------

namespace {

// Per parameter and sea (SeaCode), what a check command met: the table
// missing, or a table without a climatic profile for a station's square and
// month. Stations and levels count only stations that hold the parameter.
struct TUnjudgedLevels {
    std::string Param;
    std::string Sea;
    TUnjudgedWhy Why = ujNoTable;
    std::string Reason; // why a table that is there could not be read
    int Stations = 0;
    long Levels = 0;
    // A station counts once: "Check full Cruise" judges temperature and
    // salinity with each of the two, an edit under AUTO QC a station again.
    std::unordered_set<int> Counted;
};
std::vector<TUnjudgedLevels> UnjudgedLevels;
// Stations the checks could not take whole, one line each.
std::vector<std::string> UncheckedStations;
// The flags typed by hand that the run kept, each named once.
std::vector<std::string> HandKeptLines;
std::unordered_set<std::string> HandKeptSeen;
// The lines on single level values among them, each said once.
std::unordered_set<std::string> UnreadLevelLines;
// The whole line of each line that StationsLine cut short, by the line.
std::map<std::string, std::string> WholeLines;
// Stations whose levels no square places, in check order, each once (a
// large run has tens of thousands), by why: in no square at all, in none
// read while a square file was refused, or in a Mediterranean square while
// the Black Sea squares, which come first, were refused.
enum TSquareMiss { smNoSquare, smNoSquareRead, smBlackSeaUnread, smMissCount };
std::vector<int> UnsquaredStations[smMissCount];
std::unordered_set<int> UnsquaredSeen;
// Why the station looked up last has no square.
TSquareMiss LastMiss = smNoSquare;

TUnjudgedLevels &UnjudgedOf(const std::string &P, TUnjudgedWhy AWhy)
{
    for (TUnjudgedLevels &U : UnjudgedLevels)
        if (U.Param == P && U.Sea == SeaCode && U.Why == AWhy)
            return U;
    UnjudgedLevels.push_back({P, SeaCode, AWhy});
    return UnjudgedLevels.back();
}

std::string SeaName(const std::string &ASeaCode)
{
    return ASeaCode == "MS" ? "the Mediterranean Sea" : "the Black Sea";
}

} // namespace

void ClimatologySelectFailed(const std::string &P, const std::string &AReason)
{
    // Said in words with the levels it leaves, once per parameter and sea,
    // after the checks: a box of its own would stop them at every sea.
    TUnjudgedLevels &U = UnjudgedOf(P, ujNoTable);
    if (U.Reason.empty())
        U.Reason = AReason;
}

void ClimatologyLeftLevels(const std::string &P, TUnjudgedWhy AWhy, int ALevels)
{
    if (ALevels <= 0)
        return;
    TUnjudgedLevels &U = UnjudgedOf(P, AWhy);
    if (!U.Counted.insert(CurCastDataset->FieldByName("ID_Cast")->AsInteger()).second)
        return;
    ++U.Stations;
    U.Levels += ALevels;
}

void CruiseListsNoParameters(const std::string &ACruiseName)
{
    UncheckedStations.push_back("No station of the cruise " + ACruiseName +
                                " lists a parameter in Parameters: its levels are not checked");
}

void StationsPartlyRead(const std::string &ALines) { UncheckedStations.push_back(ALines); }

void HandFlagKeptByRun(const std::string &ALine)
{
    if (HandKeptSeen.insert(ALine).second)
        HandKeptLines.push_back(ALine);
}

void LevelValueUnread(int ACastId, const std::string &AColumn, int ARecNo, const std::string &APres,
                      const std::string &AText)
{
    // The passes of TEMP and PSAL read the same rows: a pressure is said once.
    std::string Line = "The station " + std::to_string(ACastId) + " is checked without its " + AColumn + " at level #" +
                       std::to_string(ARecNo) + (APres.empty() ? "" : " (PRES=" + APres + ")") +
                       ", which cannot be read: " + AText;
    if (UnreadLevelLines.insert(Line).second)
        UncheckedStations.push_back(std::move(Line));
}

std::string StationsLine(const std::vector<int> &AIds, const std::string &ACruiseName, const std::string &AOne,
                         const std::string &AMany)
{
    // A long list is cut: the first stations tell where to look, and the
    // whole line is kept for the file of the lists (MissingClimatologyText).
    constexpr size_t Named = 10;
    if (AIds.empty())
        return "";
    std::string Ids, All;
    for (size_t I = 0; I < AIds.size(); ++I) {
        All += (All.empty() ? "" : ", ") + std::to_string(AIds[I]);
        if (I < Named)
            Ids = All;
    }
    if (AIds.size() > Named)
        Ids += " and " + std::to_string(AIds.size() - Named) + " more";
    const auto Line = [&](const std::string &AIdText) {
        return (AIds.size() == 1 ? "The station " : "The stations ") + AIdText + " of the cruise " + ACruiseName +
               (AIds.size() == 1 ? AOne : AMany);
    };
    if (AIds.size() > Named)
        WholeLines[Line(Ids)] = Line(All);
    return Line(Ids);
}

TLevelsJudged LevelsJudged;

std::string SquareOfStation(double Lon, double Lat)
{
    std::string Square = FindSquare(Lon, Lat);
    LastMiss = RefusedSquareFiles.empty() ? smNoSquare : smNoSquareRead;
    // A point that squares of both seas hold is the Black Sea's: without the
    // Black Sea squares no Mediterranean square can say that a station is
    // not one of theirs, and its levels would meet another sea's climate.
    if (SeaCode == "MS" && !RefusedSquareFile(BsSquares).empty()) {
        LastMiss = smBlackSeaUnread;
        SeaCode.clear();
        Square.clear();
    }
    return Square;
}

void StationInNoSquare(TDataSet &AStation)
{
    if (!StationHasPosition(AStation))
        return;
    if (const int Id = AStation.FieldByName("ID_Cast")->AsInteger(); UnsquaredSeen.insert(Id).second)
        UnsquaredStations[LastMiss].push_back(Id);
}

void ClearMissingClimatology()
{
    UnjudgedLevels.clear();
    UncheckedStations.clear();
    HandKeptLines.clear();
    HandKeptSeen.clear();
    UnreadLevelLines.clear();
    WholeLines.clear();
    for (std::vector<int> &Ids : UnsquaredStations)
        Ids.clear();
    UnsquaredSeen.clear();
}

std::string MissingClimatologyText()
{
    // Text as shown, its lists cut short; Whole with every station named.
    std::string Text, Whole;
    for (const std::string &Line : UncheckedStations) {
        Text += (Text.empty() ? "" : "\n") + Line;
        const auto It = WholeLines.find(Line);
        Whole += (Whole.empty() ? "" : "\n") + (It == WholeLines.end() ? Line : It->second);
    }
    for (int Miss = 0; Miss < smMissCount; ++Miss) {
        const std::vector<int> &Stations = UnsquaredStations[Miss];
        if (Stations.empty())
            continue;
        std::string Files, Ids, All;
        for (const auto &Refused : RefusedSquareFiles)
            Files += (Files.empty() ? "" : " and ") + Refused.first;
        // The first stations name the cruises to look at; a whole sea's
        // would fill the screen.
        for (size_t I = 0; I < Stations.size(); ++I) {
            All += (I ? ", " : "") + std::to_string(Stations[I]);
            if (I < 20)
                Ids = All;
        }
        if (Stations.size() > 20)
            Ids += ", ... (" + std::to_string(Stations.size()) + " in all)";
        for (const auto &[Out, List] : {std::pair{&Text, &Ids}, std::pair{&Whole, &All}}) {
            *Out += Out->empty() ? "" : "\n";
            switch (TSquareMiss(Miss)) {
            case smNoSquare:
                *Out += "The levels of the stations in no QC square are not checked (ID_Cast " + *List + ")";
                break;
            case smNoSquareRead:
                *Out += Files + (RefusedSquareFiles.size() > 1 ? " were" : " was") +
                        " refused: the levels of the stations in no square read are not checked (ID_Cast " + *List + ")";
                break;
            default:
                *Out += RefusedSquareFile(BsSquares) +
                        " was refused: the levels of the stations in a Mediterranean square are not checked either, as "
                        "a Black Sea square, looked up first, may hold them (ID_Cast " + *List + ")";
                break;
            }
        }
    }
    const size_t Listed = Text.size(); // the climatology's lines from here on
    for (const TUnjudgedLevels &U : UnjudgedLevels) {
        if (U.Stations == 0)
            continue;
        Text += std::string(Text.empty() ? "" : "\n");
        // "1 station", "2 stations".
        const auto Count = [](int AHowMany, const char *AWhat) {
            return std::to_string(AHowMany) + " " + AWhat + (AHowMany == 1 ? "" : "s");
        };
        const std::string Stations = Count(U.Stations, "station"), Levels = Count(U.Levels, "level");
        switch (U.Why) {
        case ujNoTable:
            Text += (U.Reason.empty() ? "No climat for " + U.Param + " in " + SeaName(U.Sea)
                                      : "Climat for " + U.Param + " in " + SeaName(U.Sea) +
                                            " cannot be read (" + U.Reason + ")") +
                    ": its levels at " + Stations + " are not checked";
            break;
        case ujNoProfile:
            Text += "Climat for " + U.Param + " in " + SeaName(U.Sea) + " has no profile for the square and month of " +
                    Stations + ": " + (U.Stations == 1 ? "its " : "their ") + Levels +
                    (U.Levels == 1 ? " is not checked" : " are not checked");
            break;
        case ujBeyondProfile:
            Text += "Climat for " + U.Param + " in " + SeaName(U.Sea) + " does not reach " + Levels + " of " + Stations +
                    (U.Levels == 1 ? ": it is not checked" : ": they are not checked");
            break;
        case ujNoRange:
            Text += "BS_Range has no range for " + U.Param + ": its levels at " + Stations + " are not checked";
            break;
        }
    }
    // The lines on the climatology name no station.
    Whole += Text.substr(Listed);
    if (!HandKeptLines.empty()) {
        const std::string Head = std::string(Text.empty() ? "" : "\n") +
                                 "These flags were set by hand, and the checks kept them as set:";
        Text += Head + HandFlagLines(HandKeptLines);
        Whole += Head;
        for (const std::string &Line : HandKeptLines)
            Whole += "\n" + Line;
    }
    // Every station a list names can be found: the lists cut short are
    // whole in a file of the work folder, which an earlier check's list
    // would otherwise be taken for.
    if (!LocalDbDir.empty()) {
        const bool Cut = Text != Whole;
        const TListFile Kept =
            KeepListFile(DbTablePrefix + "-NotChecked.txt", Cut ? "Not checked\n" + Whole + "\n" : "", Cut, "check");
        if (Cut)
            Text += "\nThe lists cut short above " +
                    (Kept.File.empty() ? "could not be kept whole: " + Kept.Trouble
                                       : "are whole in the file " + Kept.File +
                                             (Kept.Trouble.empty() ? "" : " (" + Kept.Trouble + ")"));
        else if (!Kept.Trouble.empty())
            Text += (Text.empty() ? "" : "\n") + Kept.Trouble;
    }
    return Text;
}

// ---- climatology files ------------------------------------------------------------

int TClimChoice::IndexOf(const std::string &Text) const { return IndexOfText(Items, Text); }

bool TClimChoice::AnyChecked() const
{
    for (bool B : Checked)
        if (B)
            return true;
    return false;
}

std::vector<std::string> SplitClimLine(const std::string &Line, char Sep)
{
    std::vector<std::string> Cells;
    // Blanks around a cell are no part of it: a header cell "PSTD " would
    // name no pair, a value "0.5 " would be no number.
    std::string Rest = rtl::TrimRight(Line);
    if (Rest.empty())
        return Cells;
    while (true) {
        const size_t At = Rest.find(Sep);
        if (At == std::string::npos) {
            Cells.push_back(rtl::Trim(Rest));
            break;
        }
        Cells.push_back(rtl::Trim(std::string_view(Rest).substr(0, At)));
        Rest.erase(0, At + 1);
        if (Rest.empty())
            break; // a separator at the end adds no empty cell
    }
    return Cells;
}

std::vector<std::string> ReadClimatologyLines(const std::string &AFileName)
{
    std::vector<std::string> Lines;
    rtl::TStringList List;
    List.LoadFromFile(AFileName);
    for (int I = 0; I < List.Count(); ++I)
        Lines.push_back(List[I]);
    return Lines;
}

void CheckClimatologyLines(const std::vector<std::string> &ALines, const std::vector<std::string> *AKnownParams,
                           TClimImport &AImport, TClimFileCheck &ACheck, const std::function<void(int)> &AProgress)
{
    ACheck = TClimFileCheck();
    AImport.Grid.clear();
    AImport.MisfitRows.clear();
    for (TClimChoice *C : {&AImport.SubRegions, &AImport.Months, &AImport.Pressures, &AImport.Params})
        ClearChoice(*C);
    AImport.HasBs = AImport.HasMs = false;

    // A header shorter than seven characters has no separator to give.
    char Separator = '\0';
    if (!ALines.empty() && ALines[0].size() >= 7 && rtl::UpperCase(ALines[0].substr(0, 6)) == "REGION")
        Separator = ALines[0][6];
    else
        ACheck.WrongFormat = true;

    TDistinctList SubRegions(AImport.SubRegions), Months(AImport.Months), Pressures(AImport.Pressures);
    const int LineCount = int(ALines.size());
    size_t ColCount = 0;
    int Shown = -1;
    for (int I = 0; I < LineCount; ++I) {
        std::vector<std::string> Cells = SplitClimLine(ALines[size_t(I)], Separator);
        // Only the header adds columns. A line of empty cells (";;;;" from a
        // spreadsheet) is as blank as an empty one.
        if (I == 0)
            ColCount = Cells.size();
        else if (Cells.size() != ColCount &&
                 std::any_of(Cells.begin(), Cells.end(), [](const std::string &C) { return !C.empty(); })) {
            AImport.MisfitRows.emplace_back(size_t(I), Cells.size());
            Cells.resize(std::min(Cells.size(), ColCount));
        }
        // A line that lacks a cell (a file in another format is one cell a
        // line, a blank line none) lists nothing for it.
        if (I > 0) {
            TDistinctList *Lists[] = {&SubRegions, &Months, &Pressures};
            for (size_t C = 0; C < 3 && C < Cells.size(); ++C)
                Lists[C]->Add(Cells[C]);
        }
        AImport.Grid.push_back(std::move(Cells));
        const int Percent = int(std::nearbyint(I * 100.0 / LineCount));
        if (AProgress && Percent != Shown)
            AProgress(Shown = Percent);
    }

    const auto Bs = UpperSet(BsSquareNames);
    const auto Ms = UpperSet(MsSquareNames);
    for (const std::string &Item : AImport.SubRegions.Items) {
        const std::string Name = rtl::UpperCase(Item);
        const bool InBs = Bs.count(Name) > 0, InMs = Ms.count(Name) > 0;
        AImport.HasBs = AImport.HasBs || InBs;
        AImport.HasMs = AImport.HasMs || InMs;
        if (!InBs && !InMs)
            ACheck.UnknownSubRegions.push_back(Item);
    }

    // The header's value columns, pair by pair; a last unpaired column is
    // ignored.
    const std::vector<std::string> &Header = AImport.Grid.empty() ? std::vector<std::string>() : AImport.Grid[0];
    for (size_t C = 3; C + 2 <= Header.size(); C += 2) {
        const auto [P1, S1] = SplitPairCell(Header[C]);
        const auto [P2, S2] = SplitPairCell(Header[C + 1]);
        const bool Climat = S1 == "PAVG" && S2 == "PSTD";
        const bool Ranges = S1 == "PMIN" && S2 == "PMAX";
        const bool Known =
            !AKnownParams || std::find(AKnownParams->begin(), AKnownParams->end(), P1) != AKnownParams->end();
        if (P1 != P2 || !(Climat || Ranges) || !Known) {
            ACheck.HeaderError = true;
            return;
        }
        AImport.Params.Items.push_back(P1 + (Climat ? "(climat)" : "(ranges)"));
        AImport.Params.Checked.push_back(false);
    }
}

bool ReadClimatologyFile(const std::string &FileName, TClimImport &Import, std::string &Error)
{
    Import = TClimImport();
    std::vector<std::string> Lines;
    try {
        Lines = ReadClimatologyLines(FileName);
    } catch (const rtl::EFOpenError &E) {
        Error = E.what();
        return false;
    } catch (const EInOutError &E) { // not UTF-8
        Error = E.what();
        return false;
    }
    TClimFileCheck Check;
    CheckClimatologyLines(Lines, nullptr, Import, Check);
    Import.FileName = FileName;
    if (Check.WrongFormat) {
        Import = TClimImport();
        Error = "Wrong File Format";
        return false;
    }
    if (Check.HeaderError) {
        Import = TClimImport();
        Error = "Error in the First String";
        return false;
    }
    for (TClimChoice *C : {&Import.SubRegions, &Import.Months, &Import.Pressures, &Import.Params})
        C->Checked.assign(C->Items.size(), true);
    return true;
}

// ---- loading --------------------------------------------------------------------------

int LoadClimatology(const TClimImport &Import, TTable &StructTbl, TTable &ClimMSTbl, TTable &ClimBSTbl,
                    const std::string &ALocalDbDir, std::vector<TClimLoaded> *ALoaded)
{
    int Loaded = 0;
    ClimBSTbl.Close();
    ClimMSTbl.Close();
    for (size_t i = 0; i < Import.Params.Items.size(); ++i) {
        if (!Import.Params.IsChecked(int(i)))
            continue;
        if ((!Import.HasMs && !Import.HasBs) || !Import.SubRegions.AnyChecked() || !Import.Months.AnyChecked() ||
            !Import.Pressures.AnyChecked())
            continue;
        const std::string &Item = Import.Params.Items[i];
        const size_t Paren = Item.find('(');
        // Minimum and maximum columns are admissible ranges, not a mean and
        // a deviation: they have no place in these tables.
        if (Paren != std::string::npos && Item.compare(Paren, std::string::npos, "(ranges)") == 0)
            continue;
        const std::string A = Item.substr(0, Paren);
        struct TSea {
            bool Covered;
            const char *Prefix;
            const char *Name;
            TTable *Tbl;
            const rtl::TStringList *Squares;
        };
        TSea Seas[2] = {{Import.HasMs, "MS_", "the Mediterranean Sea", &ClimMSTbl, &MsSquareNames},
                        {Import.HasBs, "BS_", "the Black Sea", &ClimBSTbl, &BsSquareNames}};
        for (TSea &Sea : Seas) {
            if (!Sea.Covered)
                continue;
            const std::string TableName = Sea.Prefix + A;
            if (LocalTableFileExists(ALocalDbDir + TableName + ".db")) {
                ShowMessage("Climat for " + A + " in " + Sea.Name + " is already loaded");
                // Loaded by an earlier import, perhaps before an import
                // brought its parameter into the checks: told with its rows.
                if (ALoaded) {
                    TTable &Tbl = *Sea.Tbl;
                    Tbl.SetDatabaseName(ALocalDbDir);
                    Tbl.SetTableName(TableName);
                    Tbl.Open();
                    ALoaded->push_back({A, Sea.Name, Tbl.RecordCount(), true});
                    Tbl.Close();
                }
                continue;
            }
            MakeClimTable(*Sea.Tbl, StructTbl, ALocalDbDir, TableName);
        }
        if (!ClimMSTbl.Active() && !ClimBSTbl.Active())
            continue;
        // Each table is filled whole or not at all: a row that fails takes
        // the table with it, and the message names the row.
        for (TSea &Sea : Seas) {
            TTable &Tbl = *Sea.Tbl;
            if (!Tbl.Active())
                continue;
            size_t Row = 0;
            int Count = 0;
            Session.StartTransaction(ALocalDbDir);
            try {
                for (Row = 1; Row < Import.Grid.size(); ++Row) {
                    const std::vector<std::string> &Cells = Import.Grid[Row];
                    // Its cells are not where the header says: every value
                    // after the first extra separator would land in the
                    // column to its right, a line cut short would leave its
                    // last values out. A line too short to name its square
                    // may be any table's.
                    const auto Misfit = std::lower_bound(Import.MisfitRows.begin(), Import.MisfitRows.end(),
                                                         std::make_pair(Row, size_t(0)));
                    const bool Refused = Misfit != Import.MisfitRows.end() && Misfit->first == Row;
                    const auto Refuse = [&] {
                        throw EInOutError(106, "the line has " + std::to_string(Misfit->second) +
                                                   " cells where the header names " +
                                                   std::to_string(Import.Grid[0].size()));
                    };
                    if (Cells.size() < 3 && Refused)
                        Refuse();
                    if (Cells.size() < 3)
                        continue;
                    const int R = Import.SubRegions.IndexOf(Cells[0]), M = Import.Months.IndexOf(Cells[1]),
                              P = Import.Pressures.IndexOf(Cells[2]);
                    if (!Import.SubRegions.IsChecked(R) || !Import.Months.IsChecked(M) || !Import.Pressures.IsChecked(P))
                        continue;
                    const bool InMs = IsSquareOf(MsSquareNames, Cells[0]);
                    const bool InThisSea = Sea.Squares == &MsSquareNames ? InMs : !InMs && IsSquareOf(BsSquareNames, Cells[0]);
                    if (!InThisSea)
                        continue;
                    if (Refused)
                        Refuse();
                    Tbl.Append();
                    for (int k = 0; k < Tbl.FieldCount(); ++k) {
                        const size_t Col = k <= 2 ? size_t(k) : k == 3 ? 2 * i + 3 : 2 * i + 4;
                        const std::string Text = Col < Cells.size() ? Cells[Col] : "";
                        TField &Field = *Tbl.Fields()[k];
                        double Value;
                        if (Text.empty())
                            Field.Clear();
                        else if (Field.DataType() != rtl::ftFloat)
                            Field.SetAsString(Text);
                        else if (rtl::TryReadNumber(Text, Value))
                            Field.SetAsFloat(Value);
                        else // a decimal comma among them, whatever the locale
                            throw EInOutError(106, "'" + Text + "' is not a valid floating point value for field '" +
                                                       Field.DisplayName() + "'");
                    }
                    Tbl.Post();
                    ++Count;
                }
                Session.Commit(ALocalDbDir);
                Loaded += Count;
                if (ALoaded)
                    ALoaded->push_back({A, Sea.Name, Count});
            } catch (const std::exception &E) {
                if (Tbl.State() != dsBrowse && Tbl.State() != dsInactive)
                    Tbl.Cancel();
                Session.Rollback(ALocalDbDir);
                Tbl.Close();
                Tbl.DeleteTable();
                ShowMessage("Climat for " + A + " in " + Sea.Name + " is not loaded: " + Import.FileName + ", line " +
                            std::to_string(Row + 1) + " (" + E.what() + ")");
            }
        }
        ClimMSTbl.Close();
        ClimBSTbl.Close();
    }
    ClimMSTbl.Close();
    ClimBSTbl.Close();
    return Loaded;
}

bool ReadsBsRange(const std::string &ASeaCode, const std::string &P)
{
    return ASeaCode == "BS" && !IsPtsParam(P) && P != "DOX1";
}

std::string ClimatologyLoadText(const std::vector<TClimLoaded> &ALoaded, const std::vector<std::string> &AJoined)
{
    std::string Said;
    for (const TClimLoaded &L : ALoaded) {
        if (L.Existing)
            continue;
        Said += Said.empty() ? "" : "\n";
        Said += "Climat for " + L.Param + " in " + L.Sea + " is loaded: " + std::to_string(L.Rows) + " lines";
        if (L.Sea == "the Black Sea" && ReadsBsRange("BS", L.Param))
            Said += " (not used: the checks of " + L.Param + " in the Black Sea take its range from BS_Range)";
    }
    for (const std::string &P : AJoined)
        Said += (Said.empty() ? "" : "\n") + P + " takes part in the data checks from now on";
    return Said.empty() ? std::string("No climat is loaded") : Said;
}

std::vector<std::string> MarkClimatologyParams(TTable &AParams, const std::vector<TClimLoaded> &ALoaded)
{
    std::vector<std::string> Joined;
    for (const TClimLoaded &L : ALoaded)
        if (L.Rows > 0 && AParams.Locate("Param", rtl::Variant(L.Param)) && !AParams.FieldByName("QC")->AsBoolean()) {
            AParams.Edit();
            AParams.FieldByName("QC")->SetAsBoolean(true);
            AParams.Post();
            Joined.push_back(L.Param);
        }
    return Joined;
}
