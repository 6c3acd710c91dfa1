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

#include "app/ReinRoss.h"
#include "app/manual/map.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TTreeView.h"

#include <QCheckBox>
#include <QListWidget>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <utility>

namespace {

// The spike test's memory within one profile: the last level it ran on and
// the last two steps. Reset at the start of every profile, so that a level
// is never compared with another station's.
struct TSpikeState {
    int Runs = 0;
    double PrevValue = 0, PrevPres = 0;
    double Dv = 0, Dp = 0, PrevDv = 0, PrevDp = 0;
    double JudgedPres = 0; // the level before the one judged: where a spike lies
    double Threshold = 0;
};
TSpikeState Spike;

// Density of the level before (-1.0: none yet in this profile).
double PrevDensity = -1.0;
double CurDensity = -1.0;
bool DensityOk = true;

// Profile value range for the spike threshold.
double ProfileMin = 0, ProfileMax = 0;

// The level dataset's fields, looked up once per pass: the level loop reads
// half a dozen per level. A field is looked up when first wanted, so a name
// the dataset lacks fails where it always did.
enum TLevelSlot { lsPres, lsValue, lsFPres, lsFlag, lsTemp, lsPsal, lsCount };
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

// An empty value: no value at all, or a text field holding no text.
bool IsEmpty(TField *F)
{
    if (F == nullptr || F->IsNull())
        return true;
    const rtl::TFieldType T = F->DataType();
    return (T == rtl::ftString || T == rtl::ftWideString || T == rtl::ftFixedChar) && F->AsString().empty();
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
        N.Empty = IsEmpty(F);
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

std::string CastIdText() { return CurCastDataset->FieldByName("ID_Cast")->AsString(); }

// Error tree path under the station's root node (visual mode only).
void AddDataErrorPath(const std::string &Param, const std::string &Kind, double Pres, int RecNo)
{
    if (!VisualMode || !ErrorsTreeView)
        return;
    TTreeNode *Root = FindOrAddRootNode(*ErrorsTreeView, CastIdText());
    TTreeNode *Data = FindOrAddChildNode(*ErrorsTreeView, "Possible Data Errors", Root);
    TTreeNode *ParamNode = FindOrAddChildNode(*ErrorsTreeView, Param, Data);
    TTreeNode *KindNode = FindOrAddChildNode(*ErrorsTreeView, Kind, ParamNode);
    FindOrAddChildNode(*ErrorsTreeView, "PRES=" + PresText(Pres) + " record #" + std::to_string(RecNo), KindNode);
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
        if (!Cast.IsNull() && !Pres.IsNull()) {
            const TKey Key{Cast.AsInt64(), Pres.AsDouble()};
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
};
TPendingMerge Pending;

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
        Target->AppendUpdateRows(TargetCols, InOrder ? FlagRows.Rows() : Picked);
        M.Target->InvalidateRows();
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

void MergeLevelFlags(const std::string &P, bool Same)
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

void DropUnsavedLevelFlagRows()
{
    Pending = TPendingMerge();
    FlagRowsUnsaved = false;
}

TLevelFlagsHeld::TLevelFlagsHeld() : FWas(HoldMerges)
{
    HoldMerges = !VisualMode;
    FlagRowsCurrent = false;
    if (!InQcRun)
        ClimatologyHeld.clear();
}

TLevelFlagsHeld::~TLevelFlagsHeld()
{
    HoldMerges = FWas;
    if (!InQcRun)
        ClimatologyHeld.clear();
}

TQcRunScope::TQcRunScope() : FWas(InQcRun)
{
    InQcRun = true;
    ClimatologyHeld.clear();
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
    SquareName = FindSquare(CurCastDataset->FieldByName("Lon")->AsFloat(), CurCastDataset->FieldByName("Lat")->AsFloat());
    if (!SeaCode.empty()) {
        if (!SquareName.empty())
            CastSquareName = SquareName;
    } else {
        OutsideSquares = true;
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
    int Y = 0, M = 0, D = 0;
    rtl::DecodeDate(CurCastDataset->FieldByName("Date_Cast")->AsFloat(), Y, M, D);
    CastMonth = M;
    BsRangeMode = SeaCode == "BS" && !IsPtsParam(P) && P != "DOX1";
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
    } catch (const std::exception &) {
        ShowMessage(Sql);
    }
    if (BsRangeMode)
        return;
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
        if (!IsEmpty(Pres) && !IsEmpty(Avg) && !IsEmpty(Std) && Std->AsFloat() != 0) {
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
    ProfileDataQry->Open();
    ProfileQry = ProfileDataQry;
    ProfileReadForStation = true;
}

void SelectLocalProfileData(const std::string &P)
{
    if (!VisualMode || FullCruiseCheckRunning)
        return;
    const std::string Id = CastIdText();
    TmpDataQry->Close();
    TmpDataQry->SQL().Clear();
    if (IsPtsParam(P))
        TmpDataQry->SQL().Add("Select ID_Cast, PRES, FPRES, TEMP, FTEMP, PSAL, FPSAL, DENS, FDENS From TmpData Where ID_Cast = " +
                              Id + " order by PRES");
    else
        TmpDataQry->SQL().Add("Select ID_Cast, PRES, FPRES, CHEM, FCHEM From TmpData Where ID_Cast = " + Id +
                              " order by PRES");
    TmpDataQry->Open();
    ProfileQry = TmpDataQry;
}

void CreateTmpFlagsTable(const std::string &P)
{
    // A table of the same fields and key is emptied instead of made again:
    // the result is the same, and a schema change per station would make
    // the work database prepare every statement anew.
    if (TmpFlagsTbl->TableName() == "TmpFlags" && TmpFlagsFits(P) &&
        TmpFlagsTbl->FieldCount() == (IsPtsParam(P) ? TsFlagsStructTbl : ChemFlagsStructTbl)->FieldCount() &&
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

// ---- the level loop ---------------------------------------------------------------

void CheckClimaticRange(const std::string &P)
{
    PrevDensity = CurDensity = -1.0;
    Spike = TSpikeState();
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
    // The rows of the last pass are reused only for the other PTS parameter
    // of the same station, and only while the table has its columns. In
    // the editor "TmpFlags" is the truth (the editor fills it too); in the
    // automatic run the rows in memory are.
    const bool SameStation = CastId == LastFlagCastID && IsPtsParam(P) && IsPtsParam(LastFlagParam);
    bool Same = false;
    if (VisualMode) {
        FlushPendingMerge();
        Same = SameStation && TmpFlagsFits(P);
        if (!Same)
            CreateTmpFlagsTable(P);
        FlagRows.Load(*TmpFlagsTbl);
        FlagRowsUnsaved = false;
        FlagRowsCurrent = false;
    } else {
        // Rows of another run were left in the table, and may have been
        // changed there since.
        if (!HoldMerges)
            FlagRowsCurrent = false;
        if (SameStation && !FlagRowsCurrent && TmpFlagsFits(P)) {
            FlagRows.Load(*TmpFlagsTbl);
            FlagRowsCurrent = true;
        }
        Same = SameStation && FlagRowsCurrent && FlagRows.Fits(P);
        if (!Same) {
            FlushPendingMerge();
            FlagRows.Reset(FlagColumns(P));
            FlagRowsCurrent = true;
        }
        FlagRowsParam = P;
        FlagRowsUnsaved = true;
    }

    const std::string &ValueName = LevelValueName(P);
    const std::string FlagName = "F" + ValueName;
    const std::string RowFlagName = "F" + P;

    if (SelectedTests.Bits(tstDataSpike)) {
        double Range = 0;
        if (!VisualMode) {
            bool Any = false;
            ProfileMin = ProfileMax = 0;
            const bool NoLevels = Prof.IsEmpty();
            for (Prof.First(); !NoLevels && !Prof.Eof(); Prof.Next()) {
                const TLevelNumber V = LevelNumber(lsValue, ValueName);
                if (V.Empty)
                    continue;
                const double X = V.Value;
                ProfileMin = Any ? std::min(ProfileMin, X) : X;
                ProfileMax = Any ? std::max(ProfileMax, X) : X;
                Any = true;
            }
            ProfileMin -= 0.5;
            ProfileMax += 0.5;
            Range = ProfileMax - ProfileMin;
        } else {
            Range = PlotExtents.xmax - PlotExtents.xmin;
        }
        Spike.Threshold = RelativeJumpPct * 0.01 * Range;
    }

    if (ClimQry->Active()) {
        TLocalWriteBatch Batch(TmpFlagsTbl->DatabaseName());
        bool RossReported = false;
        double PrevPres = 0;
        bool HavePrev = false;
        const int Count = Prof.RecordCount();
        // The flag-row column of the level's pressure flag, found once a pass.
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
        Prof.First();
        for (int n = 0; n < Count && !Prof.Eof(); ++n, Prof.Next()) {
            const int RecNo = Prof.RecNo();
            const TLevelNumber PresN = LevelNumber(lsPres, "PRES");
            const double Pres = PresN.Value;
            if (HavePrev && RoundPres(Pres) == PrevPres) {
                // A second level at the same pressure is not judged; the
                // pressure of the one row both map to is marked instead.
                if (!PresN.Empty) {
                    if (TLocalRow *Row = FlagRows.Find(CastId, PrevPres)) {
                        TLocalValue &F = (*Row)[FPresColumn()];
                        const int Old = int(F.AsInt64());
                        if (Old != 5 && Old != 9 && Old < 4)
                            F = TLocalValue::Integer(IntMax(4, Old));
                    }
                }
                continue;
            }
            bool ClimOk = true, BottomOk = true;
            DensityOk = true;
            bool SpikeHere = false;
            const TLevelNumber ValueN = LevelNumber(lsValue, ValueName);
            LevelPresFlag = LevelField(lsFPres, "FPRES")->AsInteger();
            LevelParamFlag = LevelField(lsFlag, FlagName)->AsInteger();
            if (LevelPresFlag != 5)
                LevelPresFlag = 0;
            if (LevelParamFlag != 5)
                LevelParamFlag = 0;
            if (PresN.Empty)
                LevelPresFlag = 9;
            if (ValueN.Empty)
                LevelParamFlag = 9;

            // Bottom pressure: only where the grid gives a bottom.
            if (LevelPresFlag != 9 && LevelPresFlag != 5 && StationInGrid) {
                BottomOk = -Pres > GridDepthMin;
                LevelPresFlag = IntMax(BottomOk ? 1 : 3, LevelPresFlag);
            }
            if (LevelParamFlag != 9 && LevelParamFlag != 5 && LevelPresFlag != 9) {
                if (IsPtsParam(P) && NeedProfileSelect)
                    CheckDensityInversion();
                if (SelectedTests.Bits(tstDataSpike)) {
                    CheckSpike(P);
                    SpikeHere = SpikeFlag >= 4;
                }
                if (Pres < DeepestClimLevel) {
                    double Lo = 0, Hi = 0;
                    std::string Error;
                    bool Have = true;
                    if (BsRangeMode) {
                        Lo = ClimQry->FieldByName("parammin")->AsFloat();
                        Hi = ClimQry->FieldByName("parammax")->AsFloat();
                    } else if (!ClimaticInterval(Pres, Lo, Hi, Error)) {
                        // A climatic profile that cannot be interpolated
                        // here gives the level no climatic verdict.
                        Have = false;
                        if (!RossReported) {
                            ShowMessage("Rein_Ross Error " + std::to_string(int(ClimLevels.size()) - 1) +
                                        (Error.empty() ? "" : "\n" + Error));
                            RossReported = true;
                        }
                    }
                    if (!Have || Lo == Hi) {
                        LevelParamFlag = 0;
                    } else {
                        ClimOk = Lo <= ValueN.Value && ValueN.Value <= Hi;
                        LevelParamFlag = IntMax(ClimOk ? 1 : 2, LevelParamFlag);
                        if (!ClimOk)
                            AddDataErrorPath(P, "Out Of Climat", Pres, RecNo);
                        if (VisualMode) {
                            ClimErrorPoints.SetBit(RecNo - 1, !(ClimOk && BottomOk));
                            DensInversionPoints.SetBit(RecNo - 1, !DensityOk);
                        }
                    }
                } else {
                    LevelPresFlag = 0;
                    LevelParamFlag = 0;
                }
                const bool LevelOk = ClimOk && DensityOk && BottomOk;
                if (!LevelOk)
                    TestResults.SetBit(tstDataClimat, true);
                if (VisualMode && !LevelOk)
                    ClimErrorFound = true;
            }

            if (LevelPresFlag != 9) {
                if (Pres > DeepestClimLevel) {
                    LevelPresFlag = 0;
                    LevelParamFlag = 0;
                }
                try {
                    const size_t FlagCol = ParamColumn();
                    if (TLocalRow *Row = SpikeHere ? FlagRows.Find(CastId, Spike.JudgedPres) : nullptr) {
                        // The spike is the level before; its flag is raised,
                        // never lowered, and the operator's 5 and a missing
                        // value's 9 stay.
                        TLocalValue &F = (*Row)[FlagCol];
                        const int Old = int(F.AsInt64());
                        if (Old != 5 && Old != 9)
                            F = TLocalValue::Integer(IntMax(4, Old));
                    }
                    // The other PTS parameter's pass wrote the same levels:
                    // their rows take this parameter's flag.
                    TLocalRow *Row = Same ? FlagRows.Find(CastId, Pres) : nullptr;
                    if (!Row) {
                        Row = &FlagRows.Append(CastId, Pres);
                        (*Row)[FPresColumn()] = TLocalValue::Integer(LevelPresFlag);
                    }
                    (*Row)[FlagCol] = TLocalValue::Integer(LevelParamFlag);
                } catch (const std::exception &) {
                    ShowMessage(P + "  " + rtl::FloatToStr(PrevPres) + "  " + rtl::FloatToStr(RoundPres(Pres)));
                }
            }
            PrevPres = RoundPres(Pres);
            HavePrev = true;
        }
        MergeLevelFlags(P, Same);
        Batch.Commit();
    }
    LastFlagParam = P;
    LastFlagCastID = CastId;
}

void CheckDensityInversion()
{
    DensityOk = true;
    TDataSet &Prof = *ProfileQry;
    const TLevelNumber T = LevelNumber(lsTemp, "TEMP"), S = LevelNumber(lsPsal, "PSAL");
    if (T.Empty || S.Empty)
        return;
    if (PrevDensity == -1.0) {
        PrevDensity = CalcSeaWaterDensity(T.Value, S.Value);
        return;
    }
    CurDensity = CalcSeaWaterDensity(T.Value, S.Value);
    DensityOk = CurDensity - PrevDensity > -0.01;
    if (VisualMode)
        DensInversionPoints.SetBit(Prof.RecNo() - 1, !DensityOk);
    if (!DensityOk)
        TestResults.SetBit(tstDataClimat, true);
    PrevDensity = CurDensity;
    if (!DensityOk) {
        LevelParamFlag = IntMax(3, LevelParamFlag);
        AddDataErrorPath("DENS", "Density inversion", Prof.FieldByName("PRES")->AsFloat(), Prof.RecNo());
    }
}

// ---- spikes -------------------------------------------------------------------

void CheckSpike(const std::string &P)
{
    SpikeFlag = 0;
    TDataSet &Prof = *ProfileQry;
    const double V = LevelNumber(lsValue, LevelValueName(P)).Value;
    const double Pres = LevelNumber(lsPres, "PRES").Value;
    ++Spike.Runs;
    if (Spike.Runs == 1) {
        Spike.Dp = 0;
    } else if (Spike.Runs == 2) {
        Spike.PrevDp = 0;
        Spike.Dp = Pres - Spike.PrevPres;
        Spike.Dv = V - Spike.PrevValue;
    } else {
        Spike.PrevDv = Spike.Dv;
        Spike.PrevDp = Spike.Dp;
        Spike.Dv = V - Spike.PrevValue;
        Spike.Dp = Pres - Spike.PrevPres;
    }
    Spike.JudgedPres = Spike.PrevPres;
    Spike.PrevValue = V;
    Spike.PrevPres = Pres;
    if (Spike.Runs < 2)
        return;
    const bool Found = SpikeOneSided() || SpikeTwoSided();
    if (Found) {
        TestResults.SetBit(tstDataSpike, true);
        SpikeFound = true;
        SpikeFlag = IntMax(4, LevelParamFlag);
        AddDataErrorPath(P, "Spike", Pres, Prof.RecNo());
    } else {
        SpikeFlag = IntMax(1, LevelParamFlag);
    }
    if (Spike.Dp == 0)
        LevelPresFlag = IntMax(4, LevelPresFlag);
}

bool SpikeOneSided()
{
    if (Spike.Dp == 0)
        return false;
    return std::fabs(Spike.Dv) / Spike.Dp > Spike.Threshold && OneSideChange;
}

bool SpikeTwoSided()
{
    if (Spike.Dp == 0 || Spike.PrevDp == 0)
        return false;
    return std::fabs(Spike.PrevDv) / Spike.PrevDp > Spike.Threshold && std::fabs(Spike.Dv) / Spike.Dp > Spike.Threshold &&
           Spike.Dv * Spike.PrevDv < 0.0 && !OneSideChange;
}

// ---- station parameter list ------------------------------------------------------

void BuildParamList()
{
    TZqQuery &Q = *CastParamsQry;
    Q.Close();
    Q.SQL()->Clear();
    Q.SQL()->Add("Select ParamAbr, ParName, Unit from \"Parameters\" where ID_Cast = " + CastIdText());
    Q.Open();
    std::vector<std::string> Abbrs, Lines;
    std::vector<bool> Bits;
    for (Q.First(); !Q.Eof(); Q.Next()) {
        const std::string A = Q.FieldByName("ParamAbr")->AsString();
        Abbrs.push_back(A);
        Lines.push_back(Q.FieldByName("ParName")->AsString() + " " + Q.FieldByName("Unit")->AsString());
        // A parameter the local table does not know takes no part in the
        // data checks.
        Bits.push_back(RangeQry && RangeQry->Locate("Param", A) && RangeQry->FieldByName("QC")->AsBoolean());
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
