// The profile data checks level by level (bottom pressure, density
// inversion, spikes, climatic range) and the station parameter list.
//
// Level verdicts are the rows of the local table "TmpFlags", one row per
// level (key ID_Cast and the pressure to 0.1), which are merged into the
// parameter's per-database flag table by append-or-update. For PSAL after
// TEMP on the same station the rows TEMP wrote are updated, so both flags
// end in the same rows.
//
// The rows are kept in memory while a pass runs (TLevelFlagRows) and go to
// the flag table as prepared append-or-updates: a level costs one write, not
// a post per verdict plus a merge through the table. The editor sees
// "TmpFlags" after every pass as before; the automatic run writes it once,
// when the cruise is done, since nobody looks at it in between.
#include "app/UQC.h"
#include "app/UQC_Internal.h"

#include "app/HandFlags.h"
#include "app/ReinRoss.h"
#include "app/WorkTables.h"
#include "app/uWriteFlags.h"
#include "app/manual/map.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TTreeView.h"

#include <QCheckBox>
#include <QListWidget>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <utility>

namespace {

// The tenth of a level without a pressure, which keys its flag row (stored
// with an empty PRES): below every pressure, and one per station.
constexpr double NoPres = -std::numeric_limits<double>::infinity();

// The level dataset's fields, looked up once per pass: the level loop reads
// half a dozen per level. A field is looked up when first wanted, so a name
// the dataset lacks fails where it always did.
enum TLevelSlot { lsPres, lsValue, lsFPres, lsFlag, lsTemp, lsPsal, lsFTemp, lsFPsal, lsCount };
TField *LevelFieldSlots[lsCount] = {};
// The same fields where they hold reals: their value and its absence come
// in one read.
TFloatField *LevelFloatSlots[lsCount] = {};

template <typename TName> TField *LevelField(TLevelSlot Slot, const TName &Name)
{
    TField *&F = LevelFieldSlots[Slot];
    if (!F) {
        F = ProfileQry->FieldByName(Name);
        LevelFloatSlots[Slot] = dynamic_cast<TFloatField *>(F);
    }
    return F;
}

void ForgetLevelFields()
{
    std::fill(std::begin(LevelFieldSlots), std::end(LevelFieldSlots), nullptr);
    std::fill(std::begin(LevelFloatSlots), std::end(LevelFloatSlots), nullptr);
}

// A level's number as the checks take it: empty as IsEmpty says, and then
// 0, as AsFloat reads it.
struct TLevelNumber {
    double Value = 0;
    bool Empty = true;
};

template <typename TName> TLevelNumber LevelNumber(TLevelSlot Slot, const TName &Name)
{
    TField *F = LevelField(Slot, Name);
    TLevelNumber N;
    if (TFloatField *D = LevelFloatSlots[Slot]) {
        N.Empty = !D->GetValue(N.Value);
        if (N.Empty)
            N.Value = 0;
    } else {
        N.Empty = IsEmptyValue(F);
        N.Value = F->AsFloat();
    }
    return N;
}

// The value column of the level dataset: the editor's working profile
// keeps every chemical parameter in one.
const std::string &LevelValueName(const std::string &P)
{
    static const std::string Chem = "CHEM";
    return VisualMode && !FullCruiseCheckRunning && !IsPtsParam(P) ? Chem : P;
}

std::string PresText(double Pres) { return rtl::FloatToStrF(Pres, rtl::ffFixed, 5, 1); }

// The station's identity as statement text. A station whose ID_Cast cannot
// be read is left out before its levels are asked for: no statement is
// built without one.
std::string CastIdText()
{
    TField *Id = CurCastDataset->FieldByName("ID_Cast");
    if (Id->IsNull())
        throw rtl::Exception("A station of Cast_Titles whose ID_Cast cannot be read has no levels to read.");
    return Id->AsString();
}

// Error tree path under the current station's root node (visual mode only).
void AddDataErrorPath(const std::string &Param, const std::string &Kind, double Pres, int RecNo)
{
    if (VisualMode)
        ::AddDataErrorPath(CastIdText(), Param, Kind, Pres, RecNo);
}

// Takes the messages of the interpolation routine so that the level loop
// reports a failing climatic profile once per station and parameter
// instead of once per level.
class TCollectingSeam : public IDialogSeam {
public:
    TCollectingSeam() : FPrevious(SetDialogSeam(this)) {}
    ~TCollectingSeam() override { SetDialogSeam(FPrevious); }
    TCollectingSeam(const TCollectingSeam &) = delete;
    TCollectingSeam &operator=(const TCollectingSeam &) = delete;
    int Message(const TMessageRequest &Request) override
    {
        Text = Request.Text;
        return mrOk;
    }
    int RunModal(TForm &Form) override { return (FPrevious ? *FPrevious : RealDialogSeam()).RunModal(Form); }
    std::string Text;

private:
    IDialogSeam *FPrevious;
};

// The climatic interval at a pressure; false when the climatic profile
// cannot be interpolated there.
bool ClimaticInterval(double Pres, double &Lo, double &Hi, std::string &Error)
{
    const int Count = int(ClimLevels.size());
    if (Count < 2) {
        Lo = Hi = 0;
        return true;
    }
    const uint16_t N = uint16_t(std::min(Count - 1, 65535));
    double Mean = 0, Sd = 0;
    {
        TCollectingSeam Seam;
        Mean = InterpolateReinRoss(ClimLevels, ClimMeans, N, Pres);
        Sd = InterpolateReinRoss(ClimLevels, ClimStds, N, Pres);
        Error = Seam.Text;
    }
    if (!std::isfinite(Mean) || !std::isfinite(Sd))
        return false;
    Lo = Mean - NStdDev * Sd;
    Hi = Mean + NStdDev * Sd;
    return true;
}

// TmpFlags fits a parameter when it carries the parameter's flag column.
bool TmpFlagsFits(const std::string &P)
{
    if (!TmpFlagsTbl || !TmpFlagsTbl->Active())
        return false;
    if (IsPtsParam(P))
        return TmpFlagsTbl->FindField("FTEMP") && TmpFlagsTbl->FindField("FPSAL");
    return TmpFlagsTbl->FindField("F" + P) != nullptr;
}

// The rows of "TmpFlags" for the pass under way, with its columns and its
// key (ID_Cast, PRES): found by key, appended with the key violation the
// table would raise.
class TLevelFlagRows {
public:
    void Reset(std::vector<std::string> AColumns)
    {
        FColumns = std::move(AColumns);
        FRows.clear();
        FIndex.clear();
        FCastCol = Column("ID_Cast");
        FPresCol = Column("PRES");
    }
    // The rows as the table holds them, in key order.
    void Load(TTable &ATable)
    {
        std::vector<std::string> Names;
        ATable.Fields().GetFieldNames(Names);
        Reset(Names);
        for (ATable.First(); !ATable.Eof(); ATable.Next()) {
            TLocalRow Row;
            for (int F = 0; F < ATable.FieldCount(); ++F)
                Row.push_back(ATable.CurrentValue(ATable.Fields()[F]));
            Add(std::move(Row));
        }
    }
    // Writes the rows into the table, emptied first, in one transaction.
    void Save(TTable &ATable) const
    {
        TLocalWriteBatch Batch(ATable.DatabaseName());
        ATable.EmptyTable();
        ATable.AppendUpdateRows(FColumns, FRows);
        Batch.Commit();
    }
    bool Fits(const std::string &P) const
    {
        const auto Has = [&](const std::string &N) {
            return std::any_of(FColumns.begin(), FColumns.end(), [&](const std::string &C) { return rtl::SameText(C, N); });
        };
        return IsPtsParam(P) ? Has("FTEMP") && Has("FPSAL") : Has("F" + P);
    }
    TLocalRow *Find(int CastId, double Pres)
    {
        const TKey Key{CastId, RoundPres(Pres)};
        const auto It = Lower(Key);
        return It == FIndex.end() || It->first != Key ? nullptr : &FRows[It->second];
    }
    TLocalRow &Append(int CastId, double Pres)
    {
        if (Find(CastId, Pres))
            throw ELocalDbError(SKeyViolation);
        TLocalRow Row(FColumns.size());
        Row[size_t(FCastCol)] = TLocalValue::Integer(CastId);
        if (Pres != NoPres)
            Row[size_t(FPresCol)] = TLocalValue::Real(RoundPres(Pres));
        return Add(std::move(Row));
    }
    // The column of a field; a name the table lacks is the error the
    // table's FieldByName raises.
    int Column(const std::string &AName) const
    {
        for (size_t I = 0; I < FColumns.size(); ++I)
            if (rtl::SameText(FColumns[I], AName))
                return int(I);
        DatabaseError(rtl::Format(DBText::SFieldNotFound, {rtl::Variant(AName)}));
    }
    const std::vector<std::string> &Columns() const { return FColumns; }
    const std::vector<TLocalRow> &Rows() const { return FRows; }
    // The station of a row whose level has no pressure.
    bool NoPresRow(const TLocalRow &ARow, int64_t &ACastId) const
    {
        if (!ARow[size_t(FPresCol)].IsNull() || ARow[size_t(FCastCol)].IsNull())
            return false;
        ACastId = ARow[size_t(FCastCol)].AsInt64();
        return true;
    }

private:
    // The key index is a sorted vector: a profile's levels come in order of
    // pressure, so a row's key mostly goes at the end, and emptying it for
    // the next pass frees nothing.
    using TKey = std::pair<int64_t, double>;
    using TIndex = std::vector<std::pair<TKey, size_t>>;
    TIndex::iterator Lower(const TKey &AKey)
    {
        if (!FIndex.empty() && FIndex.back().first < AKey)
            return FIndex.end();
        return std::lower_bound(FIndex.begin(), FIndex.end(), AKey,
                                [](const std::pair<TKey, size_t> &E, const TKey &K) { return E.first < K; });
    }
    TLocalRow &Add(TLocalRow ARow)
    {
        const TLocalValue &Cast = ARow[size_t(FCastCol)], &Pres = ARow[size_t(FPresCol)];
        if (!Cast.IsNull()) {
            const TKey Key{Cast.AsInt64(), Pres.IsNull() ? NoPres : Pres.AsDouble()};
            const auto It = Lower(Key);
            // The first row of a key keeps the place, as a table's key would.
            if (It == FIndex.end() || It->first != Key)
                FIndex.insert(It, {Key, FRows.size()});
        }
        FRows.push_back(std::move(ARow));
        return FRows.back();
    }
    std::vector<std::string> FColumns;
    std::vector<TLocalRow> FRows;
    TIndex FIndex;
    int FCastCol = 0, FPresCol = 1;
};
TLevelFlagRows FlagRows;
// The automatic run's rows not yet in "TmpFlags" itself, and the parameter
// whose pass made the table's shape.
bool FlagRowsUnsaved = false;
std::string FlagRowsParam;
// The rows in memory are those of "TmpFlags" (or will be when saved): set
// by the automatic run's passes, cleared when a cruise starts.
bool FlagRowsCurrent = false;

// The columns "TmpFlags" takes for a parameter's pass.
std::vector<std::string> FlagColumns(const std::string &P)
{
    std::vector<std::string> Names;
    TTable *Struct = IsPtsParam(P) ? TsFlagsStructTbl : ChemFlagsStructTbl;
    for (int F = 0; F < Struct->FieldDefs().Count(); ++F)
        Names.push_back(Struct->FieldDefs().Items(F)->Name());
    if (!IsPtsParam(P) && !Names.empty())
        Names.back() = "F" + P;
    return Names;
}

// Set once the level query was opened for the station under check: the
// other passes of the station may read the same rows again.
bool ProfileReadForStation = false;

// Set while the automatic run checks a cruise: merges wait for the end of
// the station and "TmpFlags" for the end of the cruise.
bool HoldMerges = false;

// The climatic profiles the automatic run read in this run (or cruise,
// when a cruise is checked on its own), by the text of their query, and
// the text the last station asked for. Nothing writes a climatology table
// while a run is under way.
bool InQcRun = false;
struct THeldClimatology {
    TRealArr Levels, Means, Stds;
    double Deepest = 0;
};
std::map<std::string, THeldClimatology> ClimatologyHeld;
std::string ClimQrySql;

bool HeldClimatology(const std::string &Sql)
{
    if (!HoldMerges)
        return false;
    const auto It = ClimatologyHeld.find(Sql);
    if (It == ClimatologyHeld.end())
        return false;
    ClimLevels = It->second.Levels;
    ClimMeans = It->second.Means;
    ClimStds = It->second.Stds;
    DeepestClimLevel = It->second.Deepest;
    return true;
}

void HoldClimatology(const std::string &Sql)
{
    if (!HoldMerges)
        return;
    // Squares times months times parameters: some four thousand profiles
    // of a few dozen levels for TEMP and PSAL in both seas all year, more
    // with chemistry; emptied only beyond what any installation holds, as
    // a run that outgrows the store reads every profile again.
    if (ClimatologyHeld.size() >= 32768)
        ClimatologyHeld.clear();
    ClimatologyHeld[Sql] = {ClimLevels, ClimMeans, ClimStds, DeepestClimLevel};
}

// A merge the automatic run holds back: the TEMP pass's rows are merged by
// the PSAL pass that follows on the same station, which writes every column
// of the same rows (and any it added).
struct TPendingMerge {
    TTable *Target = nullptr;
    std::string Param;
    std::vector<std::string> Columns;
    // The station, the level table of the station database its rows stand
    // for, the print of the profile the pass judged, and the station flags
    // a station-flag row made for it takes.
    int Cruise = 0, Cast = 0;
    std::string Table;
    std::string Print;
    int StationFlags[4] = {};
};
TPendingMerge Pending;

// ---- the prints of the stations judged ----------------------------------------
// A station's level flags in a flag table belong to the profile whose print
// its row of the "-Cast_TitlesFlags" table keeps for that level table: a
// merge from a profile of another print replaces the station's rows there
// (the other parameter's verdicts of PTS_Data among them, which were given
// on the other profile) and keeps the new print. A merge also takes the
// level table out of what the station's mark says the last write-back left
// out: judged again, it is the check's to write now. A station judged
// without a station-flag row gets one, holding its flags as its station row
// shows them, so that the write-back offers it. The automatic run reads a
// cruise's prints and marks once and keeps them with its station flags when
// the cruise is done (an interrupted cruise adds nothing to that table); the
// editor's checks read and write a station's at each merge.
class TStationPrints {
public:
    struct TRow {
        std::string Prints, Mark;
    };
    void Forget()
    {
        FCruise = -1;
        FKept.clear();
        FUnsaved.clear();
    }
    TRow Read(int ACruise, int ACast)
    {
        TLocalDatabase &Db = CastFlagTbl->Database();
        const std::string Table = CastFlagTbl->SqlName();
        const std::string Columns = std::string(ProfilePrintsField) + ", " + NotWrittenField;
        if (!HoldMerges) {
            TLocalDatabase::TLease Q(Db, "SELECT " + Columns + " FROM " + Table + " WHERE ID_Cruise = ? AND ID_Cast = ?");
            Q->BindInt(1, ACruise);
            Q->BindInt(2, ACast);
            return Q->Step() ? TRow{Q->Column(0).AsText(), Q->Column(1).AsText()} : TRow();
        }
        if (ACruise != FCruise) {
            FKept.clear();
            TLocalDatabase::TLease Q(Db, "SELECT ID_Cast, " + Columns + " FROM " + Table + " WHERE ID_Cruise = ?");
            Q->BindInt(1, ACruise);
            while (Q->Step())
                FKept[int(Q->Column(0).AsInt64())] = {Q->Column(1).AsText(), Q->Column(2).AsText()};
            FCruise = ACruise;
        }
        const auto It = FKept.find(ACast);
        return It == FKept.end() ? TRow() : It->second;
    }
    void Write(const TPendingMerge &M, const TRow &ARow)
    {
        if (HoldMerges) {
            if (M.Cruise == FCruise)
                FKept[M.Cast] = ARow;
            FUnsaved[M.Cast] = {M, ARow};
            return;
        }
        Store(M, ARow);
    }
    void Save()
    {
        for (const auto &[Cast, U] : FUnsaved)
            Store(U.first, U.second);
        FUnsaved.clear();
    }

private:
    void Store(const TPendingMerge &M, const TRow &ARow)
    {
        const std::string Prints = ProfilePrintsField, Mark = NotWrittenField;
        TLocalDatabase::TLease Q(CastFlagTbl->Database(),
                                 "INSERT INTO " + CastFlagTbl->SqlName() + " (ID_Cruise, ID_Cast, FLon, FLat, FDT, FD, " +
                                     Prints + ", " + Mark + ") VALUES (?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT(ID_Cruise, "
                                     "ID_Cast) DO UPDATE SET " + Prints + " = excluded." + Prints + ", " + Mark +
                                     " = excluded." + Mark);
        Q->BindInt(1, M.Cruise);
        Q->BindInt(2, M.Cast);
        for (int F = 0; F < 4; ++F)
            Q->BindInt(3 + F, M.StationFlags[F]);
        Q->BindText(7, ARow.Prints);
        if (ARow.Mark.empty())
            Q->BindNull(8);
        else
            Q->BindText(8, ARow.Mark);
        Q->Execute();
        CastFlagTbl->InvalidateRows();
    }
    int FCruise = -1;
    std::map<int, TRow> FKept; // by ID_Cast, of FCruise
    std::map<int, std::pair<TPendingMerge, TRow>> FUnsaved; // by ID_Cast: the run's, to keep
};
TStationPrints StationPrints;

// The editor's tree says what of a station the last write-back left out:
// a check that judged a table of it again takes that table out there too.
void ShowNotWrittenMark(int ACast, const TNotWrittenMark &AMark)
{
    if (!VisualMode || !ErrorsTreeView)
        return;
    TTreeNode *Root = FindTreeNode(*ErrorsTreeView, std::to_string(ACast));
    if (Root && Root->Level() != 0)
        Root = nullptr;
    const std::string Head = NotWrittenNodeText("");
    for (int I = 0; Root && I < Root->Count(); ++I) {
        TTreeNode *Node = Root->Item(I);
        if (Node->Text().rfind(Head, 0) != 0)
            continue;
        if (!AMark.Empty()) {
            Node->SetText(NotWrittenNodeText(AMark.Shown()));
            return;
        }
        ErrorsTreeView->DeleteNode(Node);
        if (Root->Count() == 0)
            ErrorsTreeView->DeleteNode(Root);
        return;
    }
    // A mark the check itself leaves (verdicts it dropped) is named too.
    if (!AMark.Empty())
        ErrorsTreeView->AddChild(FindOrAddRootNode(*ErrorsTreeView, std::to_string(ACast)),
                                 NotWrittenNodeText(AMark.Shown()));
}

// The parameters of M's level table that the pass of M did not judge and
// that hold verdicts of station M.Cast in ATarget, given on the profile
// before (their columns without the leading F).
std::vector<std::string> DroppedVerdicts(TTable &ATarget, const TPendingMerge &M)
{
    std::vector<std::string> Params;
    for (const std::string &Column : FlagRows.Columns()) {
        const bool Judged = std::any_of(M.Columns.begin(), M.Columns.end(),
                                        [&](const std::string &C) { return rtl::SameText(C, Column); });
        if (Judged || rtl::SameText(Column, "FPRES") || Column.size() < 2 || rtl::UpperCase(Column)[0] != 'F')
            continue;
        TLocalDatabase::TLease Q(ATarget.Database(), "SELECT count(*) FROM " + ATarget.SqlName() + " WHERE ID_Cast = ? AND " +
                                                         Column + " IS NOT NULL AND " + Column + " <> 0");
        Q->BindInt(1, M.Cast);
        if (Q->Step() && Q->Column(0).AsInt64() > 0)
            Params.push_back(Column.substr(1));
    }
    return Params;
}

void RunMerge(const TPendingMerge &M)
{
    try {
        // A flag table the window keeps closed is written through a
        // component of our own.
        TTable *Target = M.Target;
        std::unique_ptr<TTable> Own;
        if (!Target->Active()) {
            Own = std::make_unique<TTable>();
            Own->SetDatabaseName(Target->DatabaseName());
            Own->SetTableName(Target->TableName());
            Own->Open();
            Target = Own.get();
        }
        // Verdicts on another profile of the station go.
        const TStationPrints::TRow Kept = CastFlagTbl ? StationPrints.Read(M.Cruise, M.Cast) : TStationPrints::TRow();
        const bool NewProfile = CastFlagTbl && ProfilePrintOf(Kept.Prints, M.Table) != M.Print;
        // Among them those of a parameter of the table this pass did not
        // judge (PSAL, when the run checks TEMP alone): said, not dropped
        // without a word.
        const std::vector<std::string> Dropped = NewProfile ? DroppedVerdicts(*Target, M) : std::vector<std::string>();
        if (NewProfile) {
            TLocalDatabase::TLease Q(Target->Database(), "DELETE FROM " + Target->SqlName() + " WHERE ID_Cast = ?");
            Q->BindInt(1, M.Cast);
            Q->Execute();
        }
        // The flag table's own columns in the flag rows' order; the rows
        // themselves where they have just those (a row's values beyond the
        // columns named are not written).
        std::vector<TLocalRow> Picked;
        std::vector<size_t> Pick;
        bool InOrder = M.Columns.size() <= FlagRows.Columns().size();
        for (const std::string &C : M.Columns) {
            Pick.push_back(size_t(FlagRows.Column(C)));
            InOrder = InOrder && Pick.back() == Pick.size() - 1;
        }
        if (!InOrder) {
            Picked.reserve(FlagRows.Rows().size());
            for (const TLocalRow &R : FlagRows.Rows()) {
                TLocalRow Out;
                Out.reserve(Pick.size());
                for (size_t I : Pick)
                    Out.push_back(R[I]);
                Picked.push_back(std::move(Out));
            }
        }
        std::vector<std::string> TargetCols = M.Columns;
        if (M.Columns.size() == FlagRows.Columns().size()) {
            // Every column: matched by position, as a batch move without
            // mappings matches them.
            std::vector<std::string> Names;
            Target->Fields().GetFieldNames(Names);
            TargetCols.assign(Names.begin(), Names.begin() + long(std::min(Names.size(), M.Columns.size())));
        }
        // An empty pressure in the key matches no stored key: the row an
        // earlier check left for the station's level without a pressure
        // goes first.
        int64_t NoPresCast = 0;
        for (const TLocalRow &R : FlagRows.Rows())
            if (FlagRows.NoPresRow(R, NoPresCast)) {
                TQuery Q;
                Q.SetDatabaseName(Target->DatabaseName());
                Q.SQL().Add("Delete from " + LocalQuoteName(Target->TableName()) +
                            " where ID_Cast = " + std::to_string(NoPresCast) + " and PRES Is Null");
                Q.ExecSQL();
            }
        Target->AppendUpdateRows(TargetCols, InOrder ? FlagRows.Rows() : Picked);
        M.Target->InvalidateRows();
        TNotWrittenMark Mark = TNotWrittenMark::Parse(Kept.Mark).WithoutTable(M.Table);
        if (!Dropped.empty()) {
            std::string Params;
            for (size_t I = 0; I < Dropped.size(); ++I)
                Params += (I == 0 ? "" : I + 1 == Dropped.size() ? " and " : ", ") + Dropped[I];
            // Until the next write-back the editor names them with the
            // station's tables left out, and the run says so after it. (The
            // editor checks TEMP and PSAL together: the pass of the other
            // one follows at once and takes the mark away again.)
            Mark.Held.emplace_back(std::vector<std::string>{M.Table},
                                   Params + " not checked again since the profile changed: its earlier flags were "
                                            "dropped");
            if (!VisualMode)
                StationsPartlyRead("The station " + std::to_string(M.Cast) + " was checked for " + M.Param +
                               " alone since its profile changed: the " + Params + " flags of its check before were "
                               "dropped, and the write-back leaves its " + Params + " flags as stored");
        }
        if (NewProfile || Mark.Text() != Kept.Mark)
            StationPrints.Write(M, {NewProfile ? WithProfilePrint(Kept.Prints, M.Table, M.Print) : Kept.Prints,
                                    Mark.Text()});
        if (Mark.Text() != Kept.Mark)
            ShowNotWrittenMark(M.Cast, Mark);
    } catch (const std::exception &) {
        ShowMessage(M.Param);
    }
}

void FlushPendingMerge()
{
    if (!Pending.Target)
        return;
    const TPendingMerge M = std::move(Pending);
    Pending = TPendingMerge();
    RunMerge(M);
}

void MergeLevelFlags(const std::string &P, bool Same, const std::string &APrint)
{
    TTable *Target = nullptr;
    if (IsPtsParam(P)) {
        Target = PtsDataFlagTbl;
    } else {
        const int Index = ChemParamList.IndexOf(P);
        if (Index >= 0 && size_t(Index) < ChemFlagTbls.size())
            Target = ChemFlagTbls[size_t(Index)];
    }
    if (!Target) {
        FlushPendingMerge();
        ShowMessage(P);
    } else {
        TPendingMerge M;
        M.Target = Target;
        M.Param = P;
        TDataSet &Station = *CurCastDataset;
        M.Cruise = Station.FieldByName("ID_Cruise")->AsInteger();
        M.Cast = Station.FieldByName("ID_Cast")->AsInteger();
        M.Table = IsPtsParam(P) ? "PTS_Data" : P;
        M.Print = APrint;
        // The run's tables hold no empty flag: an empty one is 0.
        const char *const Flags[4] = {"FLon", "FLat", "FDT", "FD"};
        for (int F = 0; F < 4; ++F)
            if (TField *Field = Station.FindField(Flags[F]))
                M.StationFlags[F] = Field->AsInteger();
        // Only the columns this pass judged: a PTS row merged for one of
        // TEMP and PSAL must not blank the other's stored flag.
        if (IsPtsParam(P) && !Same)
            M.Columns = {"ID_Cast", "PRES", "FPRES", "F" + P};
        else
            M.Columns = FlagRows.Columns();
        // A pass over the same rows that writes all their columns into the
        // same table makes the merge held back for them needless.
        if (!(Same && Pending.Target == Target && M.Columns.size() == FlagRows.Columns().size()))
            FlushPendingMerge();
        if (VisualMode || !HoldMerges)
            RunMerge(M);
        else
            Pending = std::move(M);
    }
    // The editor reads "TmpFlags" after every pass.
    if (VisualMode)
        FlagRows.Save(*TmpFlagsTbl);
    else if (!HoldMerges)
        SaveLevelFlagRows();
}

} // namespace

void SaveLevelFlagRows()
{
    FlushPendingMerge();
    if (!FlagRowsUnsaved)
        return;
    FlagRowsUnsaved = false;
    CreateTmpFlagsTable(FlagRowsParam);
    FlagRows.Save(*TmpFlagsTbl);
}

void SaveStationPrints() { StationPrints.Save(); }

void RenewJudgedPrints(int AIdCast, const std::string &ATable, const TJudgedPrint &ABefore, const TJudgedPrint &AAfter)
{
    if (!CastFlagTbl)
        return;
    TLocalDatabase &Db = CastFlagTbl->Database();
    std::vector<std::pair<int, std::string>> Rows; // by ID_Cruise: a station kept under two cruises has two
    {
        TLocalDatabase::TLease Q(Db, "SELECT ID_Cruise, " + std::string(ProfilePrintsField) + " FROM " +
                                         CastFlagTbl->SqlName() + " WHERE ID_Cast = ?");
        Q->BindInt(1, AIdCast);
        while (Q->Step())
            Rows.emplace_back(int(Q->Column(0).AsInt64()), Q->Column(1).AsText());
    }
    for (auto &[Cruise, Prints] : Rows) {
        std::string Renewed = Prints;
        for (const std::string &Table : ATable.empty() ? PrintedTables(Prints) : std::vector<std::string>{ATable}) {
            TJudgedPrint P;
            if (P.Parse(ProfilePrintOf(Prints, Table)) && P.Renew(ABefore, AAfter))
                Renewed = WithProfilePrint(Renewed, Table, P.Text());
        }
        if (Renewed == Prints)
            continue;
        TLocalDatabase::TLease Q(Db, "UPDATE " + CastFlagTbl->SqlName() + " SET " + ProfilePrintsField +
                                         " = ? WHERE ID_Cruise = ? AND ID_Cast = ?");
        Q->BindText(1, Renewed);
        Q->BindInt(2, Cruise);
        Q->BindInt(3, AIdCast);
        Q->Execute();
    }
    CastFlagTbl->InvalidateRows();
}

void DropUnsavedLevelFlagRows()
{
    Pending = TPendingMerge();
    StationPrints.Forget();
    FlagRowsUnsaved = false;
}

TLevelFlagsHeld::TLevelFlagsHeld() : FWas(HoldMerges)
{
    HoldMerges = !VisualMode;
    StationPrints.Forget();
    FlagRowsCurrent = false;
    if (!InQcRun)
        ClimatologyHeld.clear();
}

TLevelFlagsHeld::~TLevelFlagsHeld()
{
    HoldMerges = FWas;
    StationPrints.Forget();
    if (!InQcRun)
        ClimatologyHeld.clear();
}

TQcRunScope::TQcRunScope() : FWas(InQcRun)
{
    InQcRun = true;
    ClimatologyHeld.clear();
    HandFlagsReadAgain(); // read once a run
}

TQcRunScope::~TQcRunScope()
{
    InQcRun = FWas;
    ClimatologyHeld.clear();
}

void RestoreClimatologyQuery()
{
    // The query as the last station left it: whoever looks at it after the
    // run sees that station's climatic profile.
    if (!ClimQry || !ClimQry->Active() || ClimQrySql.empty() ||
        ClimQry->SQL().Text() == ClimQrySql + ClimQry->SQL().LineBreak())
        return;
    ClimQry->Close();
    ClimQry->SQL().Clear();
    ClimQry->SQL().Add(ClimQrySql);
    ClimQry->Open();
}

// ---- per station ---------------------------------------------------------------

void RunDataChecks()
{
    if (!SelectedTests.Bits(tstDataClimat))
        return;
    FindCastSquare();
    TakeStationParamList();
    NeedProfileSelect = true;
    ProfileReadForStation = false;
    for (int i = 0; i < ParamList.Count(); ++i) {
        const std::string P = ParamList[i];
        if (ParamsToCheck.Bits(i) && ParamDisplayList.IndexOf(P) >= 0) {
            SelectClimatology(P);
            CheckClimaticRange(P);
        }
    }
    ProfileReadForStation = false;
    // A station's flags are in its flag tables when the next one starts.
    FlushPendingMerge();
}

void FindCastSquare()
{
    // A station's data checks start here, in the run and in the editor: the
    // first pass never takes over the flag rows of an earlier one (of the
    // last run, or the editor's last check), which may have changed since.
    LastFlagCastID = 0;
    LastFlagParam.clear();
    OutsideSquares = false;
    CastSquareName.clear();
    PrevSquareName = SquareName;
    PrevCastMonth = CastMonth;
    SquareName = StationSquare(*CurCastDataset);
    if (!SeaCode.empty()) {
        if (!SquareName.empty())
            CastSquareName = SquareName;
    } else {
        OutsideSquares = true;
        StationInNoSquare(*CurCastDataset);
    }
}

void SelectClimatology(const std::string &P)
{
    CurParamTable = ParamTableName(P);
    CurParamAbr = P;
    ClimTableName = SeaCode + "_" + P;
    ClimMeanField = "PAVG";
    ClimStdField = "PSTD";
    SquareName = CastSquareName;
    if (SeaCode == "MS")
        SquareName = "'" + SquareName + "'";
    // A station without a date has no month (0), so no climatic profile:
    // its levels stay unjudged, as in a month without climatology.
    TField *Date = CurCastDataset->FieldByName("Date_Cast");
    int Y = 0, M = 0, D = 0;
    if (!IsEmptyValue(Date))
        rtl::DecodeDate(Date->AsFloat(), Y, M, D);
    CastMonth = M;
    BsRangeMode = ReadsBsRange(SeaCode, P);
    SelectClimatologyData(P);
    PrevSquareName = SquareName;
    PrevCastMonth = CastMonth;
}

void SelectClimatologyData(const std::string &P)
{
    std::string Sql;
    if (BsRangeMode) {
        Sql = "Select * from BS_Range where param = \"" + P + "\"";
    } else {
        const std::string T = SeaCode + "_" + P;
        Sql = "Select PRES, PAVG, PSTD from " + T + " where (Region = " + SquareName + ") and (" + T +
              ".\"Month\" = " + std::to_string(CastMonth) + ") order by PRES";
        ClimQrySql = Sql;
        // Neighbouring stations mostly share square and month; the
        // automatic run reads each climatic profile once.
        if (ClimQry->Active() && HeldClimatology(Sql))
            return;
    }
    ClimQrySql = Sql;
    ClimQry->Close();
    ClimQry->SQL().Clear();
    ClimQry->SQL().Add(Sql);
    try {
        ClimQry->Open();
    } catch (const std::exception &E) {
        // A table that is not there is no climatology; one that is there and
        // fails says why.
        const std::string Table = BsRangeMode ? std::string("BS_Range") : SeaCode + "_" + P;
        ClimatologySelectFailed(P, LocalTableFileExists(LocalDbDir + Table + ".db") ? E.what() : "");
    }
    if (BsRangeMode) {
        // The range holds at every depth: no climatic profile and its
        // deepest level limit it (nor one left by an earlier parameter), and
        // a parameter the table has no range for has none anywhere.
        ClimLevels.clear();
        ClimMeans.clear();
        ClimStds.clear();
        DeepestClimLevel =
            ClimQry->Active() && !ClimQry->IsEmpty() ? std::numeric_limits<double>::infinity() : 0;
        return;
    }
    ClimLevels.clear();
    ClimMeans.clear();
    ClimStds.clear();
    DeepestClimLevel = 0;
    if (!ClimQry->Active())
        return;
    ClimQry->First();
    while (!ClimQry->Eof()) {
        TField *Pres = ClimQry->FieldByName("PRES"), *Avg = ClimQry->FieldByName("PAVG"),
               *Std = ClimQry->FieldByName("PSTD");
        if (!IsEmptyValue(Pres) && !IsEmptyValue(Avg) && !IsEmptyValue(Std) && Std->AsFloat() != 0) {
            ClimMeans.push_back(Avg->AsFloat());
            ClimStds.push_back(Std->AsFloat());
            ClimLevels.push_back(Pres->AsFloat());
        }
        ClimQry->Next();
    }
    if (!ClimLevels.empty())
        DeepestClimLevel = ClimLevels.back();
    ClimQry->First();
    HoldClimatology(Sql);
}

// ---- profile selection and the level-flag table -----------------------------------

void SelectProfileData(const std::string &P)
{
    NeedProfileSelect = true;
    const std::string Id = CastIdText();
    std::string Sql;
    // The text is built for every station: for PSAL right after TEMP it is
    // the same statement, and a text left over from another station would
    // check PSAL on that station's levels.
    if (IsPtsParam(P))
        Sql = "Select ID_Cast, PRES, FPRES, TEMP, FTEMP, PSAL, FPSAL From PTS_Data Where ID_Cast = " + Id +
              " order by PRES";
    else
        Sql = "Select ID_Cast, PRES, FPRES, " + P + ", F" + P + " From " + P + " Where ID_Cast = " + Id +
              " order by PRES";
    const bool SameText =
        ProfileDataQry->SQL()->Count() == 1 && ProfileDataQry->SQL()->Text() == Sql + ProfileDataQry->SQL()->LineBreak();
    // TEMP, PSAL and DENS of one station are the same levels: the automatic
    // run, which writes nothing to the main database between a station's
    // passes, reads them once. A query left open by an earlier station, run
    // or window is read again, as the operator may have changed its rows.
    if (SameText && ProfileReadForStation && !VisualMode && ProfileDataQry->Active() && ProfileQry == ProfileDataQry) {
        ProfileDataQry->First();
        return;
    }
    ProfileDataQry->Close();
    if (!SameText) {
        ProfileDataQry->SQL()->Clear();
        ProfileDataQry->SQL()->Add(Sql);
    }
    OpenLevelSelect(*ProfileDataQry, P, IsPtsParam(P) ? "PTS_Data" : P,
                    IsPtsParam(P) ? std::vector<std::string>{"ID_Cast", "PRES", "FPRES", "TEMP", "FTEMP", "PSAL", "FPSAL"}
                                  : std::vector<std::string>{"ID_Cast", "PRES", "FPRES", P, "F" + P});
    ProfileQry = ProfileDataQry;
    ProfileReadForStation = true;
}

namespace {

// What of a parameter's level table the station database lacks, in words;
// "" when the table has every one of AColumns.
std::string MissingOfLevelTable(TZqCustomConnection *AConnection, const std::string &AParam,
                                const std::string &ATable, const std::vector<std::string> &AColumns)
{
    TZqQuery Probe(nullptr);
    Probe.SetConnection(AConnection);
    Probe.SQL()->Add("Select top 1 * from " + ATable);
    try {
        Probe.Open();
    } catch (const std::exception &) {
        return "The station database has no table " + ATable + " for the parameter " + AParam + ".";
    }
    // A column is the value of the parameter it is named after, or its flag
    // ("F" and the name): PTS_Data's columns belong to TEMP, PSAL and PRES
    // whichever of them is checked.
    for (const std::string &C : AColumns)
        if (!Probe.FindField(C)) {
            const bool Flag = C.size() > 1 && (C[0] == 'F' || C[0] == 'f') && Probe.FindField(C.substr(1));
            return "The table " + ATable + " of the station database has no column " + C + " for the parameter " +
                   rtl::UpperCase(Flag ? C.substr(1) : C) + ".";
        }
    return std::string();
}

} // namespace

void OpenLevelSelect(TZqQuery &AQ, const std::string &AParam, const std::string &ATable,
                     const std::vector<std::string> &AColumns)
{
    try {
        AQ.Open();
    } catch (const std::exception &E) {
        const std::string Missing = MissingOfLevelTable(AQ.Connection(), AParam, ATable, AColumns);
        if (Missing.empty())
            throw;
        throw rtl::Exception(Missing + "\n" + E.what());
    }
}

void SelectLocalProfileData(const std::string &P)
{
    if (!VisualMode || FullCruiseCheckRunning)
        return;
    const std::string Id = CastIdText();
    TmpDataQry->Close();
    TmpDataQry->SQL().Clear();
    // With what the driver could not read of each level, which the copy
    // holds empty; a level whose pressure it could not read (a text, bytes)
    // comes after those with a pressure, where the station database orders
    // it, so that the levels are numbered as the run and the grid number them.
    const std::string Unread = std::string(", ") + UnreadLevelColumn;
    const std::string Order = std::string(" order by ifnull(") + UnreadLevelColumn + " like 'PRES=%', 0), PRES";
    if (IsPtsParam(P))
        TmpDataQry->SQL().Add("Select ID_Cast, PRES, FPRES, TEMP, FTEMP, PSAL, FPSAL, DENS, FDENS" + Unread +
                              " From TmpData Where ID_Cast = " + Id + Order);
    else
        TmpDataQry->SQL().Add("Select ID_Cast, PRES, FPRES, CHEM, FCHEM" + Unread + " From TmpData Where ID_Cast = " + Id +
                              Order);
    TmpDataQry->Open();
    ProfileQry = TmpDataQry;
}

void AddDataErrorPath(const std::string &AIdCast, const std::string &Param, const std::string &Kind, double Pres,
                      int RecNo)
{
    if (!ErrorsTreeView)
        return;
    TTreeNode *Root = FindOrAddRootNode(*ErrorsTreeView, AIdCast);
    TTreeNode *Data = FindOrAddChildNode(*ErrorsTreeView, "Possible Data Errors", Root);
    TTreeNode *ParamNode = FindOrAddChildNode(*ErrorsTreeView, Param, Data);
    TTreeNode *KindNode = FindOrAddChildNode(*ErrorsTreeView, Kind, ParamNode);
    FindOrAddChildNode(*ErrorsTreeView, "PRES=" + PresText(Pres) + " record #" + std::to_string(RecNo), KindNode);
}

void CreateTmpFlagsTable(const std::string &P)
{
    // A table of the same fields and key is emptied instead of made again:
    // the result is the same, and a schema change per station would make
    // the work database prepare every statement anew.
    if (TmpFlagsTbl->TableName() == "TmpFlags" && TmpFlagsFits(P) &&
        size_t(TmpFlagsTbl->FieldCount()) == FlagColumns(P).size() &&
        TmpFlagsTbl->PrimaryKeyFields() == "ID_Cast;PRES") {
        TmpFlagsTbl->EmptyTable();
        return;
    }
    TmpFlagsTbl->Close();
    TmpFlagsTbl->SetTableName("TmpFlags");
    if (IsPtsParam(P)) {
        TmpFlagsTbl->FieldDefs().Assign(TsFlagsStructTbl->FieldDefs());
    } else {
        TmpFlagsTbl->FieldDefs().Assign(ChemFlagsStructTbl->FieldDefs());
        const int Last = TmpFlagsTbl->FieldDefs().Count() - 1;
        if (Last >= 0)
            TmpFlagsTbl->FieldDefs().Items(Last)->SetName("F" + P);
    }
    TmpFlagsTbl->CreateTable();
    TmpFlagsTbl->AddIndex("ID_Ind", "ID_Cast;PRES", ixPrimary);
    TmpFlagsTbl->Open();
}

// ---- the verdict on one level --------------------------------------------------

namespace {

// A flag a check may change: not the operator's 5 nor a missing value's 9.
bool Judgeable(int Flag) { return Flag != 5 && Flag != 9; }

// Large steps per dbar: one of them (one-sided), or two of opposite sign
// about the level between them (two-sided).
bool IsSpike(const TLevelRules &R, const TProfileMemory &M)
{
    if (M.Dp == 0)
        return false;
    const bool Large = std::fabs(M.Dv) / M.Dp > R.SpikeThreshold;
    if (R.OneSided)
        return Large;
    return M.PrevDp != 0 && std::fabs(M.PrevDv) / M.PrevDp > R.SpikeThreshold && Large && M.Dv * M.PrevDv < 0.0;
}

} // namespace

TLevelVerdict JudgeLevel(const TLevelRules &R, const TLevelIn &L, TProfileMemory &M,
                         const std::function<TClimBand(double Pres)> &BandAt)
{
    TLevelVerdict V;
    if (L.PresUnread) {
        // Nothing to key, order or judge the level by: it takes no part,
        // and the levels about it are judged as if it were not there.
        V.Skipped = true;
        return V;
    }
    const double Tenth = L.PresEmpty ? NoPres : RoundPres(L.Pres);
    V.PrevTenth = M.PrevTenth;
    if (M.HavePrev && Tenth == M.PrevTenth) {
        // A second level at the same pressure is not judged; with the spike
        // test the one row both map to takes a 4 for its pressure.
        V.Skipped = true;
        V.RepeatMark = R.SpikeTest && !L.PresEmpty && Judgeable(M.PrevPresFlag);
        V.SpikeError = V.RepeatMark;
        return V;
    }
    int PresFlag = L.PresFlag == 5 ? 5 : 0;
    int ParamFlag = L.ParamFlag == 5 ? 5 : 0;
    if (L.PresEmpty)
        PresFlag = 9;
    if (L.ValueEmpty && !L.ValueUnread)
        ParamFlag = 9;

    // Bottom pressure: only where the grid gives a bottom.
    if (Judgeable(PresFlag) && R.HaveBottom) {
        V.BottomOk = -L.Pres > R.BottomMin;
        PresFlag = IntMax(V.BottomOk ? 1 : 3, PresFlag);
    }
    if (Judgeable(ParamFlag) && PresFlag != 9 && !L.ValueUnread) {
        if (R.DensityTest && !L.TempEmpty && !L.PsalEmpty) {
            const double Density = CalcSeaWaterDensity(L.Temp, L.Psal);
            if (M.PrevDensity != -1.0) {
                V.DensityCompared = true;
                V.DensityOk = Density - M.PrevDensity > -0.01;
                if (!V.DensityOk)
                    ParamFlag = IntMax(3, ParamFlag);
            }
            M.PrevDensity = Density;
        }
        if (R.SpikeTest) {
            const double Dv = L.Value - M.SpikeValue, Dp = L.Pres - M.SpikePres;
            ++M.SpikeRuns;
            if (M.SpikeRuns == 1) {
                M.Dp = 0;
            } else if (M.SpikeRuns == 2) {
                M.PrevDp = 0;
                M.Dv = Dv;
                M.Dp = Dp;
            } else {
                M.PrevDv = M.Dv;
                M.PrevDp = M.Dp;
                M.Dv = Dv;
                M.Dp = Dp;
            }
            V.SpikeAt = M.SpikePres;
            M.SpikeValue = L.Value;
            M.SpikePres = L.Pres;
            if (M.SpikeRuns >= 2) {
                V.SpikeMark = IsSpike(R, M);
                V.SpikeError = V.SpikeMark;
                V.SpikeFlag = IntMax(V.SpikeMark ? 4 : 1, ParamFlag);
                if (M.Dp == 0) {
                    PresFlag = IntMax(4, PresFlag);
                    V.SpikeError = true;
                }
            }
        }
        if (L.Pres < R.DeepestClimLevel) {
            const TClimBand Band = BandAt(L.Pres);
            if (!Band.Known || Band.Lo == Band.Hi) {
                ParamFlag = 0;
            } else {
                V.BandCompared = true;
                V.ClimOk = Band.Lo <= L.Value && L.Value <= Band.Hi;
                ParamFlag = IntMax(V.ClimOk ? 1 : 2, ParamFlag);
            }
        } else {
            // At or below the deepest climatic level nothing is judged; a
            // pressure the operator fixed stays fixed.
            if (Judgeable(PresFlag))
                PresFlag = 0;
            ParamFlag = 0;
            V.BeyondClimat = true;
        }
        V.ClimatError = !(V.ClimOk && V.DensityOk && V.BottomOk);
    }
    // Below the climatology neither flag is judged; the operator's 5 and a
    // missing value's 9 stay.
    if (!L.PresEmpty && L.Pres > R.DeepestClimLevel) {
        if (Judgeable(PresFlag))
            PresFlag = 0;
        if (Judgeable(ParamFlag))
            ParamFlag = 0;
    }
    M.HavePrev = true;
    M.PrevTenth = Tenth;
    M.PrevPresFlag = PresFlag;
    V.PresFlag = PresFlag;
    V.ParamFlag = ParamFlag;
    return V;
}

// ---- the level loop ---------------------------------------------------------------

namespace {

// The spike test's threshold for a pass: the relative jump of the value
// span (in the visual mode the span of the profile's plot, the profile's
// own otherwise).
double SpikeThresholdOf(TDataSet &Prof, const std::string &P, const std::string &ValueName)
{
    double Range = 0;
    if (VisualMode && ProfilePlotSpan) {
        TRealPointArr Points;
        const bool NoLevels = Prof.IsEmpty();
        for (Prof.First(); !NoLevels && !Prof.Eof(); Prof.Next()) {
            const TLevelNumber V = LevelNumber(lsValue, ValueName), Pres = LevelNumber(lsPres, "PRES");
            Points.push_back(MakeRealPoint(V.Empty ? 9999.0 : V.Value, Pres.Empty ? std::nan("") : -Pres.Value));
        }
        Range = ProfilePlotSpan(P, Points);
    } else if (!VisualMode) {
        bool Any = false;
        double Min = 0, Max = 0;
        const bool NoLevels = Prof.IsEmpty();
        for (Prof.First(); !NoLevels && !Prof.Eof(); Prof.Next()) {
            const TLevelNumber V = LevelNumber(lsValue, ValueName);
            if (V.Empty)
                continue;
            Min = Any ? std::min(Min, V.Value) : V.Value;
            Max = Any ? std::max(Max, V.Value) : V.Value;
            Any = true;
        }
        Range = (Max + 0.5) - (Min - 0.5);
    } else {
        Range = PlotExtents.xmax - PlotExtents.xmin;
    }
    return RelativeJumpPct * 0.01 * Range;
}

// The editor's marks of a level: its error tree and the bits of its plot. A
// spike is named by the level it flags (SpikeAt, record SpikeRecNo): the one
// before the level whose step showed it.
void ShowLevelVerdict(const std::string &P, const TLevelVerdict &V, double Pres, int RecNo, int SpikeRecNo)
{
    if (V.DensityCompared) {
        if (VisualMode)
            DensInversionPoints.SetBit(RecNo - 1, !V.DensityOk);
        if (!V.DensityOk)
            AddDataErrorPath("DENS", "Density inversion", Pres, RecNo);
    }
    if (V.SpikeMark) {
        SpikeFound = true;
        AddDataErrorPath(P, "Spike", V.SpikeAt, SpikeRecNo);
    }
    if (V.BandCompared) {
        if (!V.ClimOk)
            AddDataErrorPath(P, "Out Of Climat", Pres, RecNo);
        if (VisualMode) {
            ClimErrorPoints.SetBit(RecNo - 1, !(V.ClimOk && V.BottomOk));
            DensInversionPoints.SetBit(RecNo - 1, !V.DensityOk);
        }
    }
    if (VisualMode && V.ClimatError)
        ClimErrorFound = true;
}

// Readies the flag rows for a pass and says whether it updates the rows of
// the pass before (the other PTS parameter of the same station), which
// happens only while the table has the columns. In the editor "TmpFlags" is
// the truth (the editor fills it too); in the automatic run the rows in
// memory are.
bool BeginFlagRows(const std::string &P, int CastId)
{
    const bool SameStation = CastId == LastFlagCastID && IsPtsParam(P) && IsPtsParam(LastFlagParam);
    if (VisualMode) {
        FlushPendingMerge();
        const bool Same = SameStation && TmpFlagsFits(P);
        if (!Same)
            CreateTmpFlagsTable(P);
        FlagRows.Load(*TmpFlagsTbl);
        FlagRowsUnsaved = false;
        FlagRowsCurrent = false;
        return Same;
    }
    // Rows of another run were left in the table, and may have been changed
    // there since.
    if (!HoldMerges)
        FlagRowsCurrent = false;
    if (SameStation && !FlagRowsCurrent && TmpFlagsFits(P)) {
        FlagRows.Load(*TmpFlagsTbl);
        FlagRowsCurrent = true;
    }
    const bool Same = SameStation && FlagRowsCurrent && FlagRows.Fits(P);
    if (!Same) {
        FlushPendingMerge();
        FlagRows.Reset(FlagColumns(P));
        FlagRowsCurrent = true;
    }
    FlagRowsParam = P;
    FlagRowsUnsaved = true;
    return Same;
}

// A diagnostic record's own words, after the state and native code that
// lead it.
std::string TextAfter(const std::string &ARecord)
{
    const size_t At = ARecord.find("\r\n");
    return At == std::string::npos ? ARecord : ARecord.substr(At + 2);
}

// The driver's words on the values it could not read in the row under
// AFetched's cursor, one record each.
template <typename TEach> void EachUnreadValue(const TZqDataSet &AFetched, TEach AEach)
{
    const auto *E = dynamic_cast<const EZqDBEngineException *>(AFetched.RowError());
    for (int I = 0; E && I < E->ErrorCount(); ++I)
        AEach(E->Errors(I).ObjName, TextAfter(E->Errors(I).Message));
}

// The driver's text on the value of column AName (as the station database
// names it) of the level under the profile dataset's cursor that it could
// not read; "" when it read it. AFetched is the dataset when it was fetched
// from the station database; the editor's working copy keeps what the
// driver said when the copy was made, with the level.
std::string UnreadText(const TZqDataSet *AFetched, const std::string &AName)
{
    if (!AFetched) {
        const TField *Kept = ProfileQry->FindField(UnreadLevelColumn);
        return Kept ? UnreadLevelWords(Kept->AsString(), AName) : std::string();
    }
    std::string Words;
    EachUnreadValue(*AFetched, [&](const std::string &AColumn, const std::string &AWords) {
        if (Words.empty() && rtl::CompareText(AColumn, AName) == 0)
            Words = AWords;
    });
    return Words;
}

// The level under the profile query's cursor.
TLevelIn ReadLevel(const std::string &ValueName, const std::string &FlagName, bool APts)
{
    TLevelIn Level;
    const TLevelNumber PresN = LevelNumber(lsPres, "PRES"), ValueN = LevelNumber(lsValue, ValueName);
    Level.Pres = PresN.Value;
    Level.PresEmpty = PresN.Empty;
    Level.Value = ValueN.Value;
    Level.ValueEmpty = ValueN.Empty;
    Level.PresFlag = LevelField(lsFPres, "FPRES")->AsInteger();
    Level.ParamFlag = LevelField(lsFlag, FlagName)->AsInteger();
    if (APts) {
        const TLevelNumber T = LevelNumber(lsTemp, "TEMP"), S = LevelNumber(lsPsal, "PSAL");
        Level.Temp = T.Value;
        Level.TempEmpty = T.Empty;
        Level.Psal = S.Value;
        Level.PsalEmpty = S.Empty;
    }
    return Level;
}

// A flag of a stored row raised to 4, unless the operator's 5 or a missing
// value's 9.
void RaiseToFour(TLocalRow *Row, size_t Column)
{
    if (!Row)
        return;
    TLocalValue &F = (*Row)[Column];
    const int Old = int(F.AsInt64());
    if (Judgeable(Old))
        F = TLocalValue::Integer(IntMax(4, Old));
}

} // namespace

const char *const UnreadLevelColumn = "UNREAD";

std::string UnreadLevelValues(const TDataSet &ALevels)
{
    // The pressure first: the copy's levels are ordered by it.
    std::string Text, Pres;
    if (const auto *Fetched = dynamic_cast<const TZqDataSet *>(&ALevels))
        EachUnreadValue(*Fetched, [&](const std::string &AColumn, const std::string &AWords) {
            (rtl::SameText(AColumn, "PRES") ? Pres : Text) += rtl::UpperCase(AColumn) + "=" + AWords + "\n";
        });
    return Pres + Text;
}

std::string UnreadLevelWords(const std::string &AUnread, const std::string &AColumn)
{
    const std::string Head = rtl::UpperCase(AColumn) + "=";
    for (size_t At = 0; At < AUnread.size();) {
        const size_t End = std::min(AUnread.find('\n', At), AUnread.size());
        if (AUnread.compare(At, Head.size(), Head) == 0)
            return AUnread.substr(At + Head.size(), End - At - Head.size());
        At = End + 1;
    }
    return std::string();
}

void CheckClimaticRange(const std::string &P)
{
    if (RangeQry)
        RangeQry->Locate("Param", CurParamAbr);
    if (!(AutoQcCheckBox && AutoQcCheckBox->isChecked()))
        QcProcessMessages();
    if (!VisualMode || FullCruiseCheckRunning)
        SelectProfileData(P);
    else
        SelectLocalProfileData(P);
    TDataSet &Prof = *ProfileQry;
    // Opened again: its fields may be new objects.
    ForgetLevelFields();
    const int CastId = CurCastDataset->FieldByName("ID_Cast")->AsInteger();
    const bool Same = BeginFlagRows(P, CastId);

    const std::string &ValueName = LevelValueName(P);
    const std::string FlagName = "F" + ValueName;
    const std::string RowFlagName = "F" + P;

    TLevelRules Rules;
    Rules.SpikeTest = SelectedTests.Bits(tstDataSpike);
    Rules.OneSided = OneSideChange;
    if (Rules.SpikeTest)
        Rules.SpikeThreshold = SpikeThresholdOf(Prof, P, ValueName);
    Rules.DensityTest = IsPtsParam(P) && NeedProfileSelect;
    Rules.HaveBottom = StationInGrid;
    Rules.BottomMin = GridDepthMin;
    Rules.DeepestClimLevel = DeepestClimLevel;

    // Levels no climatology judges are counted, to be said after the check:
    // a station without any climatic interval whole, others by the levels
    // deeper than their climatic profile reaches.
    bool NoInterval = true;
    if (!ClimQry->Active())
        ClimatologyLeftLevels(P, ujNoTable, Prof.RecordCount());
    else if (BsRangeMode && ClimQry->IsEmpty())
        ClimatologyLeftLevels(P, ujNoRange, Prof.RecordCount());
    else if (!BsRangeMode && ClimLevels.size() < 2) {
        // A station whose date cannot be read has no month: it is said as
        // such (UnreadStationValues), not again as a gap of the climatology.
        const auto *Station = dynamic_cast<const TZqDataSet *>(CurCastDataset);
        if (!(CastMonth == 0 && Station && !UnreadText(Station, "Date_Cast").empty()))
            ClimatologyLeftLevels(P, ujNoProfile, Prof.RecordCount());
    } else
        NoInterval = false;

    if (ClimQry->Active()) {
        TLocalWriteBatch Batch(TmpFlagsTbl->DatabaseName());
        bool RossReported = false;
        const std::function<TClimBand(double)> BandAt = [&RossReported](double Pres) {
            TClimBand Band;
            if (BsRangeMode) {
                Band.Lo = ClimQry->FieldByName("parammin")->AsFloat();
                Band.Hi = ClimQry->FieldByName("parammax")->AsFloat();
                return Band;
            }
            std::string Error;
            Band.Known = ClimaticInterval(Pres, Band.Lo, Band.Hi, Error);
            // A climatic profile that cannot be interpolated is reported
            // once a pass, not once a level.
            if (!Band.Known && !RossReported) {
                ShowMessage("Rein_Ross Error " + std::to_string(int(ClimLevels.size()) - 1) +
                            (Error.empty() ? "" : "\n" + Error));
                RossReported = true;
            }
            return Band;
        };
        TProfileMemory Memory;
        const int Count = Prof.RecordCount();
        // The flag-row columns, found once a pass.
        int FPresCol = -1, ParamCol = -1;
        const auto FPresColumn = [&FPresCol] {
            if (FPresCol < 0)
                FPresCol = FlagRows.Column("FPRES");
            return size_t(FPresCol);
        };
        const auto ParamColumn = [&ParamCol, &RowFlagName] {
            if (ParamCol < 0)
                ParamCol = FlagRows.Column(RowFlagName);
            return size_t(ParamCol);
        };
        const bool Pts = IsPtsParam(P);
        const TZqDataSet *Fetched = dynamic_cast<const TZqDataSet *>(&Prof);
        // The flags stored with the levels are part of what was judged (a
        // 5 is carried and skipped); the editor's working copy shows the
        // run's and the operator's instead, so its checks read them from the
        // station database.
        const bool StoredLevels = !VisualMode || FullCruiseCheckRunning;
        // The working copy shows the run's flag where the run judged a
        // level: a 5 stored since is the station's all the same, and no
        // check changes a 5. The stored flags are read once, before the
        // levels, and carried where they are 5.
        TStoredProfile Stored;
        int StoredParamFlag = -1; // of P among the stored flags; none for DENS
        if (!StoredLevels && ProfileDataQry) {
            const std::string Table = FlagTableOfParam(P);
            TStoredStation(ProfileDataQry->Connection()).ReadProfile(Table, CastId, Stored);
            const std::vector<std::string> Flags = FlagColumnsOfTable(Table);
            for (size_t C = 1; C < Flags.size(); ++C)
                if (rtl::SameText(Flags[C], "F" + P))
                    StoredParamFlag = int(C);
        }
        // The flags the operator typed stay as typed while the station
        // database holds them, unless the operator let this check replace
        // them: the records of this pass's columns by the level's tenth,
        // put over the verdicts once the spike test has judged every level.
        std::map<long long, std::vector<THandFlag>> HandCells;
        if (!HandFlagsLetGo)
            for (THandFlag &C : HandFlagsOf(CastId, FlagTableOfParam(P)))
                if (C.Column == "FPRES" || rtl::SameText(C.Column, RowFlagName))
                    HandCells[C.Tenth].push_back(std::move(C));
        struct THandKept {
            double Key;
            bool Pres;
            int Flag;
        };
        std::vector<THandKept> HandKept;
        TProfilePrint Print;
        int Beyond = 0;
        // The record of the level the spike test ran on last.
        int SpikeRecNo = 0;
        Prof.First();
        for (int n = 0; n < Count && !Prof.Eof(); ++n, Prof.Next()) {
            TLevelIn Level = ReadLevel(ValueName, FlagName, Pts);
            // What the driver could not read is said, not taken for
            // missing: a 9 written over it would stand for a value the
            // station holds. Each is the empty value of its own level.
            if (Level.PresEmpty)
                if (const std::string Text = UnreadText(Fetched, "PRES"); !Text.empty()) {
                    Level.PresUnread = true;
                    LevelValueUnread(CastId, "PRES", Prof.RecNo(), "", Text);
                }
            if (Level.ValueEmpty)
                if (const std::string Text = UnreadText(Fetched, P); !Text.empty()) {
                    Level.ValueUnread = true;
                    LevelValueUnread(CastId, P, Prof.RecNo(), Level.PresUnread ? "" : PresText(Level.Pres), Text);
                }
            if (!Stored.Levels.empty() && !Level.PresUnread) {
                const int At = Level.PresEmpty ? Stored.NoPresLevel()
                                               : Stored.LevelOf(std::llround(RoundPres(Level.Pres) * 10.0));
                if (At >= 0 && Stored.Levels[size_t(At)].Flags[0] == 5)
                    Level.PresFlag = 5;
                if (At >= 0 && StoredParamFlag > 0 && Stored.Levels[size_t(At)].Flags[StoredParamFlag] == 5)
                    Level.ParamFlag = 5;
            }
            if (const auto Hand = HandCells.find(HandFlagTenth(Level.PresEmpty ? std::nan("") : Level.Pres));
                Hand != HandCells.end() && !Level.PresUnread) {
                const int At = Stored.Levels.empty() ? -1
                               : Level.PresEmpty    ? Stored.NoPresLevel()
                                                    : Stored.LevelOf(Hand->first);
                for (const THandFlag &C : Hand->second) {
                    const bool IsPres = C.Column == "FPRES";
                    // What the level stores in the cell: the flag typed, or
                    // another program's since, which ends the operator's.
                    bool Empty = true;
                    int Flag = 0;
                    if (StoredLevels) {
                        TField *Field = IsPres ? LevelField(lsFPres, "FPRES") : LevelField(lsFlag, FlagName);
                        Empty = Field->IsNull();
                        Flag = Field->AsInteger();
                    } else if (At >= 0 && (IsPres || StoredParamFlag > 0)) {
                        const TStoredLevel &L = Stored.Levels[size_t(At)];
                        Empty = L.FlagEmpty[IsPres ? 0 : StoredParamFlag];
                        Flag = L.Flags[IsPres ? 0 : StoredParamFlag];
                    } else {
                        continue;
                    }
                    if (!HandFlagHolds(C, Flag, Empty))
                        continue;
                    HandKept.push_back({Level.PresEmpty ? NoPres : Level.Pres, IsPres, C.Flag});
                    if (!VisualMode)
                        HandFlagKeptByRun(HandFlagLine(CastId, Level.PresEmpty ? std::nan("") : Level.Pres, C.Column,
                                                       std::to_string(C.Flag)));
                }
            }
            const int SpikeRuns = Memory.SpikeRuns, SpikeAtRecNo = SpikeRecNo;
            // Every level, judged or skipped, is part of the profile judged.
            Print.AddLevel(Level.Pres, Level.PresEmpty, Pts ? Level.Temp : Level.Value,
                           Pts ? Level.TempEmpty : Level.ValueEmpty, Level.Psal, !Pts || Level.PsalEmpty);
            if (StoredLevels) {
                TField *FPres = LevelField(lsFPres, "FPRES");
                TField *F1 = Pts ? LevelField(lsFTemp, "FTEMP") : LevelField(lsFlag, FlagName);
                TField *F2 = Pts ? LevelField(lsFPsal, "FPSAL") : nullptr;
                Print.AddFlags(Level.Pres, Level.PresEmpty, FPres->AsInteger(), FPres->IsNull(), F1->AsInteger(),
                               F1->IsNull(), F2 ? F2->AsInteger() : 0, !F2 || F2->IsNull());
            }
            const TLevelVerdict V = JudgeLevel(Rules, Level, Memory, BandAt);
            LevelsJudged.Climat = LevelsJudged.Climat || V.BandCompared;
            // A profile of one level has no neighbour to make a spike of:
            // the test looked at it all the same.
            LevelsJudged.Spike = LevelsJudged.Spike || Memory.SpikeRuns >= 1;
            if (Memory.SpikeRuns != SpikeRuns)
                SpikeRecNo = Prof.RecNo();
            Beyond += V.BeyondClimat ? 1 : 0;
            if (V.ClimatError)
                TestResults.SetBit(tstDataClimat, true);
            if (V.SpikeError)
                TestResults.SetBit(tstDataSpike, true);
            if (V.Skipped) {
                if (V.RepeatMark)
                    RaiseToFour(FlagRows.Find(CastId, V.PrevTenth), FPresColumn());
                continue;
            }
            LevelPresFlag = V.PresFlag;
            LevelParamFlag = V.ParamFlag;
            SpikeFlag = V.SpikeFlag;
            ShowLevelVerdict(P, V, Level.Pres, Prof.RecNo(), SpikeAtRecNo);
            try {
                const size_t FlagCol = ParamColumn();
                if (V.SpikeMark)
                    RaiseToFour(FlagRows.Find(CastId, V.SpikeAt), FlagCol);
                // The other PTS parameter's pass wrote the same levels:
                // their rows take this parameter's flag.
                const double Key = Level.PresEmpty ? NoPres : Level.Pres;
                TLocalRow *Row = Same ? FlagRows.Find(CastId, Key) : nullptr;
                if (!Row) {
                    Row = &FlagRows.Append(CastId, Key);
                    (*Row)[FPresColumn()] = TLocalValue::Integer(V.PresFlag);
                }
                (*Row)[FlagCol] = TLocalValue::Integer(V.ParamFlag);
            } catch (const std::exception &) {
                ShowMessage(P + "  " + rtl::FloatToStr(V.PrevTenth) + "  " + rtl::FloatToStr(RoundPres(Level.Pres)));
            }
        }
        for (const THandKept &K : HandKept)
            if (TLocalRow *Row = FlagRows.Find(CastId, K.Key))
                (*Row)[K.Pres ? FPresColumn() : ParamColumn()] = TLocalValue::Integer(K.Flag);
        TJudgedPrint Judged(Print, StationColumnsOf(*CurCastDataset));
        if (!StoredLevels && ProfileDataQry)
            Judged.Flags = Stored.Print.FlagsText();
        MergeLevelFlags(P, Same, Judged.Text());
        Batch.Commit();
        if (Beyond > 0 && !NoInterval)
            ClimatologyLeftLevels(P, ujBeyondProfile, Beyond);
    }
    LastFlagParam = P;
    LastFlagCastID = CastId;
}

// ---- station parameter list ------------------------------------------------------

namespace {

// A row of the Parameters table: the abbreviation and the line the editor's
// list shows for it.
struct TListedParam {
    std::string Abbr, Line;
    bool operator==(const TListedParam &) const = default;
};

// The list and its bits from the rows one station lists.
void MakeParamList(const std::vector<TListedParam> &ARows)
{
    std::vector<std::string> Abbrs, Lines;
    std::vector<bool> Bits;
    for (const TListedParam &R : ARows) {
        Abbrs.push_back(R.Abbr);
        Lines.push_back(R.Line);
        // A parameter the local table does not know takes no part in the
        // data checks.
        Bits.push_back(RangeQry && RangeQry->Locate("Param", R.Abbr) && RangeQry->FieldByName("QC")->AsBoolean());
    }
    auto Swap = [&](size_t a, size_t b) {
        std::swap(Abbrs[a], Abbrs[b]);
        std::swap(Lines[a], Lines[b]);
        const bool t = Bits[a];
        Bits[a] = Bits[b];
        Bits[b] = t;
    };
    auto MoveTo = [&](const std::string &A, size_t Pos) {
        const auto It = std::find(Abbrs.begin(), Abbrs.end(), A);
        if (It != Abbrs.end() && size_t(It - Abbrs.begin()) != Pos)
            Swap(size_t(It - Abbrs.begin()), Pos);
    };
    // Stations store their pressure as "PRESS" (the GF3 code) or "PRES";
    // either way it is the axis of every profile, never a list entry.
    auto IsPressure = [](const std::string &A) { return A == "PRES" || A == "PRESS"; };
    const auto Pres = std::find_if(Abbrs.begin(), Abbrs.end(), IsPressure);
    if (Pres != Abbrs.end()) {
        const std::string Name = *Pres;
        MoveTo(Name, 0);
    }
    if (Abbrs.size() > 1)
        MoveTo("TEMP", 1);
    if (Abbrs.size() > 2)
        MoveTo("PSAL", 2);
    for (size_t i = Abbrs.size(); i-- > 0;)
        if (IsPressure(Abbrs[i])) {
            Abbrs.erase(Abbrs.begin() + long(i));
            Lines.erase(Lines.begin() + long(i));
            Bits.erase(Bits.begin() + long(i));
        }
    const auto T = std::find(Abbrs.begin(), Abbrs.end(), "TEMP"), S = std::find(Abbrs.begin(), Abbrs.end(), "PSAL");
    if (T != Abbrs.end() && S != Abbrs.end()) {
        const size_t At = size_t(std::max(T - Abbrs.begin(), S - Abbrs.begin())) + 1;
        Abbrs.insert(Abbrs.begin() + long(At), "DENS");
        Lines.insert(Lines.begin() + long(At), "DENSITY (CALCULATED)");
        Bits.insert(Bits.begin() + long(At), false);
    }
    ParamList.Clear();
    ParamsToCheck.SetSize(0);
    ParamsToCheck.SetSize(int(Abbrs.size()));
    for (size_t i = 0; i < Abbrs.size(); ++i) {
        ParamList.Add(Abbrs[i]);
        ParamsToCheck.SetBit(int(i), Bits[i]);
    }
    // The captions of the wizard and the editor's list follow the list in
    // the visual mode; the automatic run leaves the main window's captions
    // as they are.
    if (VisualMode) {
        ParamCaptionList.Clear();
        for (const std::string &L : Lines)
            ParamCaptionList.Add(L);
        if (ParamListBox) {
            ParamListBox->clear();
            for (const std::string &L : Lines)
                ParamListBox->addItem(QString::fromStdString(L));
            int Sel = ParamList.IndexOf(CurParamName);
            if (Sel < 0)
                Sel = 0;
            if (ParamListBox->count() > 0)
                ParamListBox->setCurrentRow(Sel);
        }
    }
}

} // namespace

void BuildParamList()
{
    TZqQuery &Q = *CastParamsQry;
    Q.Close();
    Q.SQL()->Clear();
    Q.SQL()->Add("Select ParamAbr, ParName, Unit from \"Parameters\" where ID_Cast = " + CastIdText());
    Q.Open();
    std::vector<TListedParam> Rows;
    for (Q.First(); !Q.Eof(); Q.Next())
        Rows.push_back({Q.FieldByName("ParamAbr")->AsString(),
                        Q.FieldByName("ParName")->AsString() + " " + Q.FieldByName("Unit")->AsString()});
    MakeParamList(Rows);
}

namespace {

// The automatic run's lists: the rows every station of the cruise under
// check lists, read once a cruise, and the rows the list was last made of.
std::map<int, std::vector<TListedParam>> CruiseParamRows;
bool CruiseParamsHeld = false;
std::vector<TListedParam> ListMadeOf;

// The Parameters rows of every station of a cruise, by ID_Cast.
std::map<int, std::vector<TListedParam>> ReadCruiseParamRows(int ACruiseId)
{
    TZqQuery &Q = *CastParamsQry;
    Q.Close();
    Q.SQL()->Clear();
    Q.SQL()->Add("Select p.ID_Cast, p.ParamAbr, p.ParName, p.Unit From \"Parameters\" p, Cast_Titles c where c.ID_Cast = "
                 "p.ID_Cast and c.ID_Cruise = " + std::to_string(ACruiseId));
    Q.Open();
    std::map<int, std::vector<TListedParam>> Rows;
    for (Q.First(); !Q.Eof(); Q.Next())
        Rows[Q.Fields()[0]->AsInteger()].push_back(
            {Q.Fields()[1]->AsString(), Q.Fields()[2]->AsString() + " " + Q.Fields()[3]->AsString()});
    Q.Close();
    return Rows;
}

std::string ListingNoParameter(const std::map<int, std::vector<TListedParam>> &ARows, TDataSet &AStations,
                               const std::string &ACruiseName)
{
    std::vector<int> Ids;
    // A station whose identity cannot be read is left out, and said so.
    for (AStations.First(); !AStations.Eof(); AStations.Next())
        if (const int Id = AStations.FieldByName("ID_Cast")->AsInteger();
            ARows.count(Id) == 0 && !AStations.FieldByName("ID_Cast")->IsNull())
            Ids.push_back(Id);
    AStations.First();
    return StationsLine(Ids, ACruiseName, " lists no parameter in Parameters: its levels are not checked",
                        " list no parameter in Parameters: their levels are not checked");
}

} // namespace

bool HoldCruiseParamLists(int ACruiseId)
{
    CruiseParamRows = ReadCruiseParamRows(ACruiseId);
    CruiseParamsHeld = true;
    ListMadeOf.clear();
    MakeParamList(ListMadeOf);
    return !CruiseParamRows.empty();
}

void ReleaseCruiseParamLists()
{
    CruiseParamRows.clear();
    CruiseParamsHeld = false;
    ListMadeOf.clear();
}

std::string StationsListingNoParameter(TDataSet &AStations, const std::string &ACruiseName)
{
    return ListingNoParameter(CruiseParamRows, AStations, ACruiseName);
}

std::string CruiseStationsListingNoParameter(TDataSet &AStations, int ACruiseId, const std::string &ACruiseName)
{
    return ListingNoParameter(ReadCruiseParamRows(ACruiseId), AStations, ACruiseName);
}

void TakeStationParamList()
{
    if (!CruiseParamsHeld)
        return;
    const auto It = CruiseParamRows.find(CurCastDataset->FieldByName("ID_Cast")->AsInteger());
    static const std::vector<TListedParam> None;
    const std::vector<TListedParam> &Rows = It == CruiseParamRows.end() ? None : It->second;
    // Neighbouring stations mostly list the same parameters.
    if (Rows == ListMadeOf)
        return;
    ListMadeOf = Rows;
    MakeParamList(Rows);
}
