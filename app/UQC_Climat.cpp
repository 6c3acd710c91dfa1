// The location-check region from the contour polygons, and the loading of
// climatology rows into the "MS_" and "BS_" tables of the work folder.
#include "app/UQC.h"
#include "app/UQC_Internal.h"

#include "app/manual/map.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TSession.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TDialogs.h"

#include <fstream>

namespace {

bool SameText(const std::string &A, const std::string &B) { return rtl::CompareText(A, B) == 0; }

int IndexOfText(const std::vector<std::string> &Items, const std::string &Text)
{
    for (size_t i = 0; i < Items.size(); ++i)
        if (SameText(Items[i], Text))
            return int(i);
    return -1;
}

void AddDistinct(TClimChoice &List, const std::string &Text)
{
    if (IndexOfText(List.Items, Text) < 0) {
        List.Items.push_back(Text);
        List.Checked.push_back(true);
    }
}

bool IsSquareOf(const rtl::TStringList &Names, const std::string &Text) { return Names.IndexOf(Text) >= 0; }

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
    std::vector<TPointArr> Areas, Holes;
    for (const TContourPolygon &P : ReadContourFile(ExtraLinesFile, SwapCoordColumns)) {
        TPointArr &Poly = (P.Kind == 0 ? Areas : Holes).emplace_back();
        for (const TRealPoint &p : P.Points)
            Poly.push_back(LocationPixel(p.x, p.y));
    }
    LocationRegion = ContourRegionOf(Areas, Holes);
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
    std::string Rest = Line;
    while (!Rest.empty() && (Rest.back() == '\r' || Rest.back() == '\n'))
        Rest.pop_back();
    if (Rest.empty())
        return Cells;
    while (true) {
        const size_t At = Rest.find(Sep);
        if (At == std::string::npos) {
            Cells.push_back(Rest);
            break;
        }
        Cells.push_back(Rest.substr(0, At));
        Rest.erase(0, At + 1);
        if (Rest.empty())
            break; // a separator at the end adds no empty cell
    }
    return Cells;
}

bool ReadClimatologyFile(const std::string &FileName, TClimImport &Import, std::string &Error)
{
    Import = TClimImport();
    std::ifstream In(FileName);
    if (!In) {
        Error = "Cannot open file \"" + FileName + "\"";
        return false;
    }
    std::string Line;
    if (!std::getline(In, Line) || Line.size() < 7 || rtl::UpperCase(Line.substr(0, 6)) != "REGION") {
        Error = "Wrong File Format";
        return false;
    }
    const char Sep = Line[6];
    Import.Grid.push_back(SplitClimLine(Line, Sep));
    const std::vector<std::string> &Header = Import.Grid[0];
    const int Columns = int(Header.size());
    for (int c = 3; c <= Columns - 2; c += 2) {
        const size_t u1 = Header[size_t(c)].find('_'), u2 = Header[size_t(c) + 1].find('_');
        const std::string P1 = Header[size_t(c)].substr(0, u1), P2 = Header[size_t(c) + 1].substr(0, u2);
        const std::string S1 = u1 == std::string::npos ? "" : Header[size_t(c)].substr(u1 + 1);
        const std::string S2 = u2 == std::string::npos ? "" : Header[size_t(c) + 1].substr(u2 + 1);
        if (P1 != P2 || !((S1 == "PAVG" && S2 == "PSTD") || (S1 == "PMIN" && S2 == "PMAX"))) {
            Error = "Error in the First String";
            return false;
        }
        Import.Params.Items.push_back(P1 + (S1 == "PAVG" ? "(climat)" : "(ranges)"));
        Import.Params.Checked.push_back(true);
    }
    while (std::getline(In, Line)) {
        std::vector<std::string> Cells = SplitClimLine(Line, Sep);
        if (Cells.empty())
            continue;
        Cells.resize(size_t(std::max(Columns, 3)));
        AddDistinct(Import.SubRegions, Cells[0]);
        AddDistinct(Import.Months, Cells[1]);
        AddDistinct(Import.Pressures, Cells[2]);
        Import.Grid.push_back(std::move(Cells));
    }
    for (const std::string &Region : Import.SubRegions.Items) {
        Import.HasBs = Import.HasBs || IsSquareOf(BsSquareNames, Region);
        Import.HasMs = Import.HasMs || IsSquareOf(MsSquareNames, Region);
    }
    return true;
}

// ---- loading --------------------------------------------------------------------------

int LoadClimatology(const TClimImport &Import, TTable &StructTbl, TTable &ClimMSTbl, TTable &ClimBSTbl,
                    const std::string &ALocalDbDir)
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
                    Tbl.Append();
                    for (int k = 0; k < Tbl.FieldCount(); ++k) {
                        const size_t Col = k <= 2 ? size_t(k) : k == 3 ? 2 * i + 3 : 2 * i + 4;
                        const std::string Text = Col < Cells.size() ? Cells[Col] : "";
                        if (Text.empty())
                            Tbl.Fields()[k]->Clear();
                        else
                            Tbl.Fields()[k]->SetAsString(Text);
                    }
                    Tbl.Post();
                    ++Count;
                }
                Session.Commit(ALocalDbDir);
                Loaded += Count;
            } catch (const std::exception &E) {
                if (Tbl.State() != dsBrowse && Tbl.State() != dsInactive)
                    Tbl.Cancel();
                Session.Rollback(ALocalDbDir);
                Tbl.Close();
                Tbl.DeleteTable();
                ShowMessage("Climat for " + A + " in " + Sea.Name + " is not loaded: line " + std::to_string(Row + 1) +
                            " of the file (" + E.what() + ")");
            }
        }
        ClimMSTbl.Close();
        ClimBSTbl.Close();
    }
    ClimMSTbl.Close();
    ClimBSTbl.Close();
    return Loaded;
}
