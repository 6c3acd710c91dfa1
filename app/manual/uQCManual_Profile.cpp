// The manual QC editor's profile side: picking a parameter, loading the
// current station's levels into the work table TmpData with the last run's
// flags merged in, density and its inversion flag, the data grid, the marker
// of the grid's level on the plot, and the other profiles of the square.
#include "app/manual/uQCManual.h"

#include "app/ReinRoss.h"
#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/manual/map.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TDataSource.h"
#include "platform/dataset/TField.h"
#include "platform/dataset/TFieldDef.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TDBGridModel.h"
#include "platform/toolkit/TPaintBox.h"
#include "platform/toolkit/TTreeView.h"

#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <utility>
#include <vector>

namespace {

const char *const ProfileGridFields[] = {"PRES", "FPRES", "TEMP", "FTEMP", "PSAL", "FPSAL", "CHEM", "FCHEM", "DENS", "FDENS"};

bool InList(const std::string &Upper, std::initializer_list<const char *> Names)
{
    for (const char *N : Names)
        if (Upper == N)
            return true;
    return false;
}

// The key of a level: the station and its pressure to the nearest 0.1, as
// the checks round it when they write the level flags.
using TLevelKey = std::pair<int, long long>;
// A level stored without a pressure has a key of its own, apart from 0 dbar.
TLevelKey LevelKey(int IdCast, TField *Pres)
{
    return {IdCast, Pres->IsNull() ? std::numeric_limits<long long>::min() : std::llround(RoundPres(Pres->AsFloat()) * 10.0)};
}

// The station database's select of station AId's levels of AParam, as the
// data grid loads them, and its columns.
std::string LevelSelect(const std::string &AParam, const std::string &AId, std::vector<std::string> &AColumns)
{
    if (IsPtsParam(AParam))
        AColumns = {"ID_Cast", "PRES", "FPRES", "Temp", "Ftemp", "PSal", "FPSal"};
    else
        AColumns = {"ID_Cast", "PRES", "FPRES", AParam, "F" + AParam};
    std::string Select = "Select ";
    for (size_t i = 0; i < AColumns.size(); ++i)
        Select += (i ? ", " : "") + AColumns[i];
    return Select + " from " + ParamTableName(AParam) + " where ID_Cast = " + AId + " order by PRES";
}

// The flag rows of a station that an open query over a run's level-flag
// table holds, by level: (column, text) of each column but the key.
using TRunFlagRows = std::map<TLevelKey, std::vector<std::pair<std::string, std::string>>>;
TRunFlagRows ReadRunFlagRows(TDataSet &AFlags)
{
    TRunFlagRows Rows;
    for (AFlags.First(); !AFlags.Eof(); AFlags.Next()) {
        auto &Row = Rows[LevelKey(AFlags.FieldByName("ID_Cast")->AsInteger(), AFlags.FieldByName("PRES"))];
        Row.clear();
        for (int j = 0; j < AFlags.FieldCount(); ++j) {
            const std::string Name = AFlags.Fields()[j]->FieldName();
            if (!rtl::SameText(Name, "ID_Cast") && !rtl::SameText(Name, "PRES"))
                Row.emplace_back(Name, AFlags.Fields()[j]->AsString());
        }
    }
    return Rows;
}

// Opens AQuery on the run's flag rows of station AId in the flag table of
// level table ATable; false (closed) before the first run of a database,
// which leaves no flag table at all.
bool OpenRunFlagRows(TQuery &AQuery, const std::string &ATable, const std::string &AId)
{
    AQuery.Close();
    AQuery.SQL().Clear();
    const std::string FlagTable = LevelFlagTableName(ATable);
    if (!LocalTableFileExists(LocalDbDir + FlagTable + ".db"))
        return false;
    AQuery.SQL().Add("Select * From " + LocalQuoteName(FlagTable) + " Where ID_Cast = " + AId + " order by PRES");
    AQuery.Open();
    return true;
}

template <class D> void SetFormat(TField *F, const std::string &Format)
{
    if (auto *T = dynamic_cast<D *>(F))
        T->SetDisplayFormat(Format);
}

// A sea's climatology of a parameter is imported on demand; without it the
// plot has no climatic lines, and that is no fault to report at every
// station.
bool ClimatologyLoaded(const std::string &P)
{
    const bool Range = SeaCode == "BS" && !IsPtsParam(P) && P != "DOX1";
    return LocalTableFileExists(LocalDbDir + (Range ? std::string("BS_Range") : SeaCode + "_" + P) + ".db");
}

// The station database's name of a value column of the working copy.
std::string StationColumnOf(const TField &F)
{
    return rtl::SameText(F.FieldName(), "Chem") ? CurParamName : F.FieldName();
}

// What the driver could not read of the level shown, a line per value.
std::string UnreadLevelNote(TDataSet &ALevels)
{
    const TField *Kept = ALevels.FindField(UnreadLevelColumn);
    const std::string Unread = Kept ? Kept->AsString() : std::string();
    std::string Note;
    for (size_t At = 0; At < Unread.size();) {
        const size_t End = std::min(Unread.find('\n', At), Unread.size());
        const std::string Line = Unread.substr(At, End - At);
        const size_t Eq = Line.find('=');
        if (Eq != std::string::npos) {
            Note += (Note.empty() ? "" : "\n") + Line.substr(0, Eq) + " cannot be read: " + Line.substr(Eq + 1);
        }
        At = End + 1;
    }
    return Note;
}

// A value cell of the working copy: a value the driver could not read is
// empty there, and shows as the text the driver quoted (the station keeps
// it as it is); any other as its format gives it.
void ShowLevelValue(TField *F, std::string &AText, bool ADisplay)
{
    if (F->IsNull()) {
        AText.clear();
        const TField *Kept = ADisplay && F->DataSet() ? F->DataSet()->FindField(UnreadLevelColumn) : nullptr;
        const std::string Words = Kept ? UnreadLevelWords(Kept->AsString(), StationColumnOf(*F)) : std::string();
        if (Words.empty())
            return;
        const size_t Open = Words.find('\''), Close = Words.rfind('\'');
        AText = Open != Close ? Words.substr(Open, Close - Open + 1) : std::string("(unreadable)");
        return;
    }
    const auto *N = dynamic_cast<const TNumericField *>(F);
    const std::string Format = !N ? std::string() : ADisplay || N->EditFormat().empty() ? N->DisplayFormat() : N->EditFormat();
    AText = Format.empty() ? F->AsString() : rtl::FormatFloat(Format, F->AsFloat());
}

} // namespace

std::string ProfileValueField(const std::string &Param) { return IsPtsParam(Param) ? Param : std::string("Chem"); }
std::string ProfileFlagField(const std::string &Param) { return IsPtsParam(Param) ? "F" + Param : std::string("FChem"); }

void TForm2::ListBox2Click()
{
    const int Row = ListBox2->currentRow();
    CurParamIndex = Row >= 0 ? Row : 0;
    if (CurParamIndex < ParamList.Count())
        CurParamName = ParamList.Strings(CurParamIndex);
    const bool Eligible = ParamsToCheck.Bits(CurParamIndex) && ParamDisplayList.IndexOf(CurParamName) >= 0;
    auto Enable = [](QToolButton *B, bool On) {
        B->setEnabled(On);
        if (!On && B->isCheckable())
            B->setChecked(false);
    };
    Enable(SpeedButton10, Eligible || CurParamName == "DENS");
    Enable(SpeedButton16, Eligible);
    Enable(SpeedButton17, Eligible);
    FProfileEligible = Eligible;
    EnableCheckButtons();
    Enable(SpeedButton19, Eligible);
    ShowOtherProfiles = SpeedButton19->isEnabled() && SpeedButton19->isChecked();
    LoadProfile();
}

void TForm2::LoadProfile()
{
    // What was typed next to the plot is written before the rows holding it
    // are selected again.
    ApplyInPlotEdits();
    if (!tmpStatTbl->Active() || tmpStatTbl->IsEmpty() || ParamList.Count() == 0 || !ParamTbl) {
        ClearProfile();
        return;
    }
    LevelMarkerX = LevelMarkerY = 0;
    ReadoutMarkerShown = false;
    // What the boxes showed is another profile's.
    ClearInPlotBoxes();
    FindCastUndoValues();
    if (RangeQry && RangeQry->Active())
        RangeQry->First();
    if (ParamList.Count() <= CurParamIndex)
        CurParamIndex = 0;
    // Pressure is the axis of every profile, not a profile of its own (it
    // has no level table): the first parameter with one is shown instead.
    if (ParamTableName(ParamList.Strings(CurParamIndex)).empty()) {
        int i = 0;
        while (i < ParamList.Count() && ParamTableName(ParamList.Strings(i)).empty())
            ++i;
        if (i == ParamList.Count())
            return;
        CurParamIndex = i;
        if (i < ListBox2->count())
            ListBox2->setCurrentRow(i);
    }
    CurParamName = ParamList.Strings(CurParamIndex);
    CurParamTable = ParamTableName(CurParamName);
    CurParamAbr = CurParamName;
    const bool Pts = IsPtsParam(CurParamName);

    DataSource2->SetDataSet(nullptr);
    ProfileGridReady = false;
    CurCastId = tmpStatTbl->FieldByName("ID_Cast")->AsInteger();
    const std::string Id = tmpStatTbl->FieldByName("ID_Cast")->AsString();

    ZqQuery2->Close();
    ZqQuery2->SetCachedUpdates(true);
    ZqQuery2->SQL()->Clear();
    std::vector<std::string> Columns;
    ZqQuery2->SQL()->Add(LevelSelect(CurParamName, Id, Columns));
    try {
        OpenLevelSelect(*ZqQuery2, CurParamName, CurParamTable, Columns);
    } catch (...) {
        ClearProfile(); // nothing to show
        throw;
    }
    ZqQuery2->FetchAll();
    BuildInPlotRows();

    CreateTmpFlagsTable(CurParamName);

    ParamTbl->Close();
    ParamTbl->SetTableName("TmpData");
    ParamTbl->FieldDefs().Assign(ZqQuery2->FieldDefs());
    if (ParamTbl->FieldDefs().Count() > 0)
        ParamTbl->FieldDefs().Items(0)->SetDataType(rtl::ftInteger);
    if (Pts) {
        ParamTbl->FieldDefs().Add("DENS", rtl::ftFloat);
        ParamTbl->FieldDefs().Add("FDENS", rtl::ftFloat);
    } else {
        const int n = ParamTbl->FieldDefs().Count();
        ParamTbl->FieldDefs().Items(n - 2)->SetName("Chem");
        ParamTbl->FieldDefs().Items(n - 1)->SetName("FChem");
    }
    ParamTbl->FieldDefs().Add(UnreadLevelColumn, rtl::ftMemo);
    ParamTbl->CreateTable();
    ParamTbl->Open();

    // The last run's flags of this station, by level: a level keeps the
    // stored flags where the run left no row for it, and a row never lands
    // on a neighbouring level.
    std::map<TLevelKey, std::vector<std::pair<int, std::string>>> RunFlags; // key -> (TmpData column, text)
    if (OpenRunFlagRows(*LocalWorkQry, CurParamTable, Id)) {
        TmpFlagsTbl->BatchMove(LocalWorkQry, batAppend);
        if (!TmpFlagsTbl->Active())
            TmpFlagsTbl->Open();
        TmpFlagsTbl->Refresh();
        for (const auto &[Key, Row] : ReadRunFlagRows(*LocalWorkQry))
            for (const auto &[Name, Text] : Row) {
                const int Target = !Pts && rtl::SameText(Name, "F" + CurParamName)
                                       ? ParamTbl->FieldDefs().IndexOf("FChem")
                                       : ParamTbl->FieldDefs().IndexOf(Name);
                if (Target >= 2)
                    RunFlags[Key].emplace_back(Target, Text);
            }
        LocalWorkQry->Close();
    }

    const int Copied = std::min(ZqQuery2->FieldCount(), ParamTbl->FieldCount());
    ParamTbl->DisableControls();
    for (ZqQuery2->First(); !ZqQuery2->Eof(); ZqQuery2->Next()) {
        ParamTbl->Append();
        for (int i = 0; i < Copied; ++i) {
            TField *Src = ZqQuery2->Fields()[i];
            if (Src->IsNull())
                ParamTbl->Fields()[i]->Clear();
            else
                ParamTbl->Fields()[i]->SetAsString(Src->AsString());
        }
        // An empty flag of the run's row is none the run gave (the other
        // parameter's pass of PTS_Data made the row): the stored one shows.
        // The run judged no level whose pressure it could not read: the row
        // without a pressure is the level's stored without one.
        const std::string Unread = UnreadLevelValues(*ZqQuery2);
        if (auto It = RunFlags.find(LevelKey(CurCastId, ZqQuery2->Fields()[1]));
            It != RunFlags.end() && UnreadLevelWords(Unread, "PRES").empty())
            for (const auto &[Col, Text] : It->second)
                if (!Text.empty())
                    ParamTbl->Fields()[Col]->SetAsString(Text);
        if (!Unread.empty())
            ParamTbl->FieldByName(UnreadLevelColumn)->SetAsString(Unread);
        ParamTbl->Post();
    }
    ParamTbl->EnableControls();
    ProfileQry = ParamTbl;

    if (rtl::UpperCase(CurParamName) == "DENS")
        ComputeDensity();

    if (LoadedCastId != CurCastId) {
        const size_t n = size_t(ListBox2->count());
        ProfileZoomStacks.resize(n, TRealRectArr(1));
        ProfileZoomIndex.resize(n, 0);
        for (size_t i = 0; i < n; ++i) {
            ProfileZoomStacks[i].resize(1);
            ProfileZoomIndex[i] = 0;
        }
        SpeedButton5->setEnabled(false);
        SpeedButton6->setEnabled(false);
    }
    LoadedCastId = CurCastId;

    CurCastDataset = tmpStatTbl;
    GridDepthValue = EstimateGridDepth();
    FindCastSquare();
    // Outside both seas there are none: those of the last station go.
    if (ShowOtherProfiles)
        SelectOtherProfiles();
    if (!ClimQry) {
        if (!FClimQuery) {
            FClimQuery = new TQuery(FDataOwner.get()); // owned by FDataOwner, freed with it
            FClimQuery->SetName("ClimQry");
            FClimQuery->SetDatabaseName(LocalDbDir);
        }
        ClimQry = FClimQuery;
    }
    if (!SeaCode.empty() && ParamsToCheck.Bits(CurParamIndex) && ClimatologyLoaded(CurParamName))
        SelectClimatology(CurParamName);
    else {
        ClimLevels.clear();
        ClimQry->Close();
    }

    SetupProfileFields();
    SelectedLevelIndex = -1;
    PrevLevelIndex = -1;
    ParamTbl->First();
    PaintBox2->Repaint();
    if (Panel11->isVisible())
        PaintBox3->Repaint();

    DataSource2->SetDataSet(ParamTbl);
    ProfileGridReady = true;
    // The grid was attached while not ready: the undo list is read for the
    // cell it shows now, of this parameter.
    FindLevelUndoValues();
    if (TTreeNode *Node = FindTreeNode(*TreeView1, Id))
        TreeView1->SetSelected(Node);
    // A check of the station may have taken away its mark in the station list.
    DBGrid1->viewport()->update();
    DBGrid1->verticalHeader()->viewport()->update();
}

void TForm2::ClearProfile()
{
    DataSource2->SetDataSet(nullptr);
    ProfileGridReady = false;
    ZqQuery2->Close();
    SelectedLevelIndex = PrevLevelIndex = -1;
    LevelMarkerX = LevelMarkerY = 0;
    ClearInPlotBoxes();
    PaintBox2->Repaint();
}

std::vector<TForm2::THeldLevel> TForm2::HeldLevels(const std::string &ATable, const std::string &AId,
                                                   const std::vector<std::string> &AFlags,
                                                   std::vector<bool> *ARunJudged)
{
    if (ARunJudged)
        ARunJudged->assign(AFlags.size(), false);
    // TEMP names PTS_Data's levels, a chemical parameter its own table's.
    const std::string Param = ATable == "PTS_Data" ? "TEMP" : ATable;
    std::vector<std::string> Columns;
    ZqQuery8->Close();
    ZqQuery8->SQL()->Clear();
    ZqQuery8->SQL()->Add(LevelSelect(Param, AId, Columns));
    OpenLevelSelect(*ZqQuery8, Param, ATable, Columns);
    TRunFlagRows Run;
    if (OpenRunFlagRows(*LocalWorkQry, ATable, AId)) {
        Run = ReadRunFlagRows(*LocalWorkQry);
        LocalWorkQry->Close();
    }
    std::vector<THeldLevel> Levels;
    const int IdCast = std::atoi(AId.c_str());
    for (ZqQuery8->First(); !ZqQuery8->Eof(); ZqQuery8->Next()) {
        TField *Pres = ZqQuery8->FieldByName("PRES");
        THeldLevel Level{Pres->IsNull() ? std::nan("") : Pres->AsFloat(), {}};
        const auto Row = Run.find(LevelKey(IdCast, Pres));
        for (size_t F = 0; F < AFlags.size(); ++F) {
            const std::string &Flag = AFlags[F];
            // A flag the level table does not store (density's) is no verdict.
            const TField *Stored = ZqQuery8->FindField(Flag);
            std::string Text = Stored ? Stored->AsString() : std::string();
            Level.Stored.push_back(Text.empty() ? -1 : std::atoi(Text.c_str()));
            // The run's verdict where it gave one; an empty flag or a 0
            // (not judged) leaves the stored flag, as the write-back does.
            if (Row != Run.end())
                for (const auto &[Name, RunText] : Row->second)
                    if (rtl::SameText(Name, Flag) && !RunText.empty() && RunText != "0") {
                        Text = RunText;
                        if (ARunJudged)
                            (*ARunJudged)[F] = true;
                    }
            Level.Flags.push_back(Text.empty() ? 0 : std::atoi(Text.c_str()));
        }
        Levels.push_back(std::move(Level));
    }
    ZqQuery8->Close();
    return Levels;
}

void TForm2::ComputeDensity()
{
    DensInversionPoints.SetSize(ParamTbl->RecordCount());
    double Prev = 9999.0;
    ParamTbl->DisableControls();
    for (ParamTbl->First(); !ParamTbl->Eof(); ParamTbl->Next()) {
        TField *T = ParamTbl->FieldByName("TEMP"), *S = ParamTbl->FieldByName("PSAL");
        if (T->AsString().empty() || S->AsString().empty())
            continue;
        const double Dens = CalcSeaWaterDensity(T->AsFloat(), S->AsFloat());
        ParamTbl->Edit();
        ParamTbl->FieldByName("DENS")->SetAsFloat(Dens);
        if (Prev != 9999.0)
            ParamTbl->FieldByName("FDENS")->SetAsInteger(Dens - Prev < -0.01 ? 3 : 1);
        Prev = Dens;
        ParamTbl->Post();
    }
    ParamTbl->EnableControls();
}

void TForm2::SetupProfileFields()
{
    DBGrid2->Model().SetRowNote(UnreadLevelNote);
    const std::string Param = rtl::UpperCase(CurParamName);
    const bool HasDens = ParamTbl->FindField("DENS") != nullptr;
    for (int i = 0; i < ParamTbl->FieldCount(); ++i) {
        TField *F = ParamTbl->Fields()[i];
        const std::string Name = rtl::UpperCase(F->FieldName());
        bool Visible = std::find_if(std::begin(ProfileGridFields), std::end(ProfileGridFields),
                                    [&](const char *N) { return Name == N; }) != std::end(ProfileGridFields);
        if (Param == "TEMP" && InList(Name, {"PSAL", "FPSAL"}))
            Visible = false;
        if (Param == "PSAL" && InList(Name, {"TEMP", "FTEMP"}))
            Visible = false;
        if (HasDens && InList(Name, {"DENS", "FDENS"}))
            Visible = false;
        if (Param == "DENS" && InList(Name, {"DENS", "FDENS", "TEMP", "FTEMP", "PSAL", "FPSAL"}))
            Visible = true;
        F->SetVisible(Visible);
        if (Name == "PRES")
            SetFormat<TNumericField>(F, "#0.0");
        else if (InList(Name, {"TEMP", "PSAL", "CHEM", "DENS"}))
            SetFormat<TNumericField>(F, "#0.000");
        if (InList(Name, {"PRES", "TEMP", "PSAL", "CHEM"}))
            F->OnGetText = ShowLevelValue;
        if (Visible) {
            const std::string Caption = MetaFieldCaptions.Values(F->FieldName());
            if (!Caption.empty())
                F->SetDisplayLabel(Caption);
            F->SetDisplayWidth(10);
        }
    }
}

void TForm2::DataSource2DataChange()
{
    if (!ProfileGridReady || !ParamTbl || !ParamTbl->Active() || ParamTbl->IsEmpty())
        return;
    FindLevelUndoValues();
    if (ParamTbl->FieldByName("PRES")->AsString().empty())
        return;
    const int i = ParamTbl->RecNo() - 1;
    const bool Dens = CurParamName == "DENS";
    if (SpeedButton10->isChecked()) {
        if (!Dens && !ClimErrorPoints.Bits(i) && !SpikePoints.Bits(i) && !DensInversionPoints.Bits(i)) {
            SelectedLevelIndex = -1;
            return;
        }
        SelectedLevelIndex = i;
        DrawLevelMarker();
        return;
    }
    TField *V = ParamTbl->FindField(ProfileValueField(CurParamName));
    if (!V || V->AsString().empty() || PlotExtents.xmin == PlotExtents.xmax || PlotExtents.ymin == PlotExtents.ymax)
        return;
    const TPoint P = WorldToScreen(MakeRealPoint(V->AsFloat(), -ParamTbl->FieldByName("PRES")->AsFloat()), PlotExtents,
                                   PlotScreenRect, false, true);
    TCanvas &C = PaintBox2->Canvas();
    C.Pen.Mode = pmXor;
    C.Pen.Color = clYellow;
    C.Pen.Width = 2;
    C.Brush.Style = bsClear;
    if (LevelMarkerX != 0 || LevelMarkerY != 0)
        C.Ellipse(LevelMarkerX - 5, LevelMarkerY - 5, LevelMarkerX + 5, LevelMarkerY + 5);
    C.Ellipse(P.X - 5, P.Y - 5, P.X + 5, P.Y + 5);
    C.Pen.Width = 1;
    C.Pen.Mode = pmCopy;
    LevelMarkerX = P.X;
    LevelMarkerY = P.Y;
    PaintBox2->update();
}

void TForm2::DrawLevelMarker()
{
    if (SelectedLevelIndex == -1 || ProfilePts.empty())
        return;
    const bool Dens = CurParamName == "DENS";
    TCanvas &C = PaintBox2->Canvas();
    auto Flagged = [this](int i) { return ClimErrorPoints.Bits(i) || SpikePoints.Bits(i) || DensInversionPoints.Bits(i); };
    auto Circle = [&](int i, TColor Pen, TColor Fill, bool Hollow, int R, int W) {
        if (i < 0 || size_t(i) >= ProfilePts.size())
            return;
        const TPoint P = ProfilePts[size_t(i)];
        C.Pen.Mode = pmCopy;
        C.Pen.Color = Pen;
        C.Pen.Width = W;
        C.Brush.Style = Hollow ? bsClear : bsSolid;
        C.Brush.Color = Fill;
        C.Ellipse(P.X - R, P.Y - R, P.X + R, P.Y + R);
        C.Pen.Width = 1;
        C.Brush.Style = bsSolid;
    };
    if (PrevLevelIndex != -1) {
        if (!Dens && Flagged(PrevLevelIndex))
            Circle(PrevLevelIndex, clRed, clWhite, false, 3, 1);
        else if (Dens && DensInversionPoints.Bits(PrevLevelIndex))
            Circle(PrevLevelIndex, clNavy, clWhite, true, 7, 2);
    }
    if (Flagged(SelectedLevelIndex)) {
        if (!Dens)
            Circle(SelectedLevelIndex, clRed, clMaroon, false, 3, 1);
        else
            Circle(SelectedLevelIndex, clLime, clWhite, true, 7, 2);
        PrevLevelIndex = SelectedLevelIndex;
    }
    PaintBox2->update();
}

void TForm2::SelectOtherProfiles()
{
    OtherProfiles.clear();
    OtherProfilesExtent = TRealRect{};
    if (SeaCode.empty())
        return;
    const bool Bs = SeaCode == "BS";
    const int Sq = (Bs ? BsSquareNames : MsSquareNames).IndexOf(CastSquareName);
    const TRealRectArr &Squares = Bs ? BsSquares : MsSquares;
    if (Sq < 0 || size_t(Sq) >= Squares.size())
        return;
    const TRealRect &R = Squares[size_t(Sq)];
    auto Num = [](double v) { return SqlFloat(v); };
    // The month of the station shown: the climatology's selection, which
    // also sets CastMonth, runs only after this on a station change.
    if (tmpStatTbl->Active() && !tmpStatTbl->IsEmpty()) {
        int Y = 0, M = 0, D = 0;
        rtl::DecodeDate(tmpStatTbl->FieldByName("Date_Cast")->AsFloat(), Y, M, D);
        CastMonth = M;
    }
    ZqQuery4->Close();
    ZqQuery4->SQL()->Clear();
    ZqQuery4->SQL()->Add("Delete From " + CastIdTable);
    ZqQuery4->ExecSQL();
    ZqQuery4->SQL()->Clear();
    ZqQuery4->SQL()->Add("Insert into " + CastIdTable + " Select ID_Cast From Cast_Titles Where (Lon > " + Num(R.xmin) +
                         ") and (Lon < " + Num(R.xmax) + ") and (Lat > " + Num(R.ymin) + ") and (Lat < " +
                         Num(R.ymax) + ") and(Month(Date_Cast)=" + std::to_string(CastMonth) + ")");
    ZqQuery4->ExecSQL();

    // One joined read per choice of square and month; the paints draw from it.
    OtherProfilesTable = ParamTableName(CurParamName);
    const std::string P = CurParamName;
    ZqQuery5->Close();
    ZqQuery5->SQL()->Clear();
    // Ordered by the scratch table's key: ordered by the level table's, the
    // database walks every level of the table in index order instead of
    // looking up the square's few stations (a second against milliseconds
    // on 100,000 stations).
    ZqQuery5->SQL()->Add("Select D1.ID_Cast, D1.PRES, D1." + P + " From " + CastIdTable + " D, " + OtherProfilesTable +
                         " D1 where D1.ID_Cast=D.ID_Cast order by D.ID_Cast, D1.PRES");
    ZqQuery5->Open();
    int LastId = 0;
    bool First = true, Any = false;
    for (ZqQuery5->First(); !ZqQuery5->Eof(); ZqQuery5->Next()) {
        TField *Pres = ZqQuery5->Fields()[1], *Val = ZqQuery5->Fields()[2];
        const int IdCast = ZqQuery5->Fields()[0]->AsInteger();
        if (First || IdCast != LastId)
            OtherProfiles.emplace_back();
        First = false;
        LastId = IdCast;
        if (Pres->IsNull() || Val->IsNull())
            continue;
        const TRealPoint Pt = MakeRealPoint(Val->AsFloat(), -Pres->AsFloat());
        OtherProfiles.back().push_back(Pt);
        TRealRect &E = OtherProfilesExtent;
        if (!Any)
            E = MakeWorldRect(Pt.x, Pt.y, Pt.x, Pt.y);
        E.xmin = std::min(E.xmin, Pt.x);
        E.xmax = std::max(E.xmax, Pt.x);
        E.ymin = std::min(E.ymin, Pt.y);
        E.ymax = std::max(E.ymax, Pt.y);
        Any = true;
    }
    ZqQuery5->Close();
}

void TForm2::SpeedButton19Click()
{
    LevelMarkerX = LevelMarkerY = 0;
    ShowOtherProfiles = SpeedButton19->isChecked();
    SelectOtherProfiles();
    PaintBox2->Repaint();
}

void TForm2::DBGrid2Enter()
{
    ActiveEditGrid = DBGrid2;
    DBGrid2->SetFixedColor(clMoneyGreen);
    PaintBox2->Repaint();
}

void TForm2::DBGrid2Exit()
{
    ActiveEditGrid = DBGrid2;
    DBGrid2->SetFixedColor(clBtnFace);
}

void TForm2::DBGrid2KeyDown(int Key)
{
    TDataSet *D = DataSource2->DataSet();
    if (D && (Key == Qt::Key_Return || Key == Qt::Key_Enter || Key == Qt::Key_Down || Key == Qt::Key_Up) &&
        D->State() == dsEdit)
        D->Post();
}

void TForm2::DBGrid2ColEnter()
{
    // The undo list is the entered cell's; the station grid's column is not
    // this grid's to change.
    FindLevelUndoValues();
}
