// The manual QC editor's commands: re-checking the shown profile, the
// metadata of the cruise or the whole cruise, the choice between automatic
// re-checks after an edit and manual flags, moving to a station, parameter
// or level from the tree of possible errors, and the QC settings window.
#include "app/manual/uQCManual.h"

#include "app/HandFlags.h"
#include "app/UQC.h"
#include "app/manual/StoredEdit.h"
#include "app/uWriteFlags.h"
#include "app/manual/map.h"
#include "app/uQCSettings.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TDataSource.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TTreeView.h"

#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <vector>

bool MetadataCheckRunning = false;

namespace {

// Keeps the operator's choice of tests across a command that must run the
// station checks alone.
class TSelectedTestsKept {
public:
    TSelectedTestsKept() : FSaved(SelectedTests) {}
    ~TSelectedTestsKept() { SelectedTests = FSaved; }
    TSelectedTestsKept(const TSelectedTestsKept &) = delete;
    TSelectedTestsKept &operator=(const TSelectedTestsKept &) = delete;

private:
    TBits FSaved;
};

// Sets a flag for a scope and clears it on the way out.
class TRunning {
public:
    explicit TRunning(bool &AFlag) : FFlag(AFlag) { FFlag = true; }
    ~TRunning() { FFlag = false; }
    TRunning(const TRunning &) = delete;
    TRunning &operator=(const TRunning &) = delete;

private:
    bool &FFlag;
};

// Holds the operator's input off the editor while a check walks the
// cruise's stations. The check pumps messages for its gauge and for Esc; a
// click or a key queued behind its button would otherwise reach the lists,
// the tree, the grids or the map and move the station table under the
// check. Every control but the gauge goes grey for that time; the editor
// itself stays enabled, so that Esc still reaches it and the application's
// Esc hook.
class TInputHeld {
public:
    TInputHeld(QWidget &AForm, const QWidget &AGauge) : FFocus(QApplication::focusWidget()) { Hold(AForm, AGauge); }
    ~TInputHeld()
    {
        for (const QPointer<QWidget> &W : FHeld)
            if (W)
                W->setEnabled(true);
        if (FFocus && FFocus->isEnabled())
            FFocus->setFocus();
    }
    TInputHeld(const TInputHeld &) = delete;
    TInputHeld &operator=(const TInputHeld &) = delete;

private:
    void Hold(QWidget &AParent, const QWidget &AGauge)
    {
        for (QObject *Child : AParent.children()) {
            auto *W = qobject_cast<QWidget *>(Child);
            if (!W || W == &AGauge)
                continue;
            if (W->isAncestorOf(&AGauge)) {
                Hold(*W, AGauge);
            } else if (W->isEnabled()) {
                W->setEnabled(false);
                FHeld.emplace_back(W);
            }
        }
    }
    std::vector<QPointer<QWidget>> FHeld;
    QPointer<QWidget> FFocus;
};

} // namespace

void TForm2::CheckProfile(int ParamIndex)
{
    if (!ParamsToCheck.Bits(ParamIndex) || ParamIndex >= ParamList.Count())
        return;
    const bool Outer = FullCruiseCheckRunning || MetadataCheckRunning;
    // The level shown is found again by its pressure: the reload orders the
    // levels by pressure, and an edited one may have moved.
    const bool HasLevel = !Outer && ParamTbl && ParamTbl->Active() && !ParamTbl->IsEmpty();
    const double Pres = HasLevel ? TStoredEdit::StoredPres(*ParamTbl->FieldByName("PRES")) : 0;
    // The checks read the work table: values typed next to the plot reach
    // the station database and the table first.
    if (!Outer && ApplyInPlotEdits())
        LoadProfile();
    std::optional<TDBGrid::TPlaceKeeper> Keep;
    std::optional<TCheckRun> Check;
    if (!Outer) {
        Check.emplace();
        Keep.emplace(*DBGrid2);
        DataSource2->SetDataSet(nullptr);
    }
    CheckParamIndex = ParamIndex;
    ProfileGridReady = false;
    CurCastDataset = tmpStatTbl;
    GridDepthValue = EstimateGridDepth();
    NeedProfileSelect = true;
    FindCastSquare();
    if (!SeaCode.empty()) {
        const std::string Shown = ParamList.Strings(ParamIndex);
        for (int j : ProfileParamsChecked(ParamIndex)) {
            CurParamName = ParamList.Strings(j);
            CheckParamIndex = j;
            SelectClimatology(CurParamName);
            CheckClimaticRange(CurParamName);
        }
        CurParamName = Shown;
        CurParamTable = ParamTableName(Shown);
        CurParamAbr = Shown;
    }
    ProfileGridReady = true;
    if (!Outer) {
        RenewDataErrorNodes(tmpStatTbl->FieldByName("ID_Cast")->AsString());
        LevelEditArmed = false;
        LoadProfile();
        if (HasLevel)
            LocateLevel(Pres);
    }
}

std::vector<int> TForm2::ProfileParamsChecked(int ParamIndex) const
{
    const std::string Shown = ParamList.Strings(ParamIndex);
    const int T = ParamList.IndexOf("TEMP"), S = ParamList.IndexOf("PSAL");
    if (IsPtsParam(Shown) && T >= 0 && S >= 0)
        return Shown == "TEMP" ? std::vector<int>{S, T} : std::vector<int>{T, S};
    return {ParamIndex};
}

void TForm2::HandFlagsJudged(const std::vector<std::string> &AParams, std::vector<THandFlag> &ACells,
                             std::vector<std::string> &ALines)
{
    if (!tmpStatTbl->Active() || tmpStatTbl->IsEmpty() || AParams.empty())
        return;
    const int IdCast = tmpStatTbl->FieldByName("ID_Cast")->AsInteger();
    // The flag columns of each level table the check judges: the pressure's
    // and the parameters'.
    std::map<std::string, std::vector<std::string>> Columns;
    for (const std::string &P : AParams)
        if (const std::string Table = ParamTableName(P); !Table.empty()) {
            auto &C = Columns[Table];
            if (C.empty())
                C.push_back("FPRES");
            C.push_back(rtl::UpperCase("F" + P));
        }
    std::map<std::string, std::vector<THandFlag>> Cells;
    for (const auto &[Table, Flags] : Columns)
        for (THandFlag &C : HandFlagsOf(IdCast, Table))
            if (std::find(Flags.begin(), Flags.end(), C.Column) != Flags.end())
                Cells[Table].push_back(std::move(C));
    if (Cells.empty())
        return;
    CurCastDataset = tmpStatTbl;
    FindCastSquare();
    if (SeaCode.empty())
        return;
    TStoredStation Stored(MainConnection);
    std::set<std::string> Named;
    for (const auto &[Table, Found] : Cells) {
        TStoredProfile Profile;
        Stored.ReadProfile(Table, IdCast, Profile);
        for (const THeldHandFlag &H : HandFlagsHeld(IdCast, Table, Profile)) {
            const THandFlag &C = H.Flag;
            if (std::find_if(Found.begin(), Found.end(), [&](const THandFlag &F) { return F.Column == C.Column; }) ==
                Found.end())
                continue;
            // The checks carry a 5 and never replace it.
            if (C.Flag == 5)
                continue;
            const std::string Line = HandFlagLine(IdCast, H.Pres, C.Column, std::to_string(C.Flag));
            if (Named.insert(Line).second) {
                ACells.push_back(C);
                ALines.push_back(Line);
            }
        }
    }
}

std::vector<THandFlag> TForm2::AskForHandFlags(std::vector<THandFlag> ACells, const std::vector<std::string> &ALines)
{
    if (ACells.empty())
        return {};
    const std::string Text = "These flags were set by hand, and the check would replace them:" + HandFlagLines(ALines) +
                             "\n\nYes: the check replaces them. No: they stay as set, and the check judges the rest.";
    // Return keeps what the operator decided.
    if (MessageDlg(Text, mtConfirmation, mbYesNo, mbNo) != mrYes)
        return {};
    return ACells;
}

void TForm2::LocateLevel(double StoredPres)
{
    if (!ParamTbl || !ParamTbl->Active())
        return;
    int Found = 0;
    const int Was = ParamTbl->RecNo();
    ParamTbl->DisableControls();
    for (ParamTbl->First(); !Found && !ParamTbl->Eof(); ParamTbl->Next()) {
        const double P = TStoredEdit::StoredPres(*ParamTbl->FieldByName("PRES"));
        if (TStoredEdit::SamePres(P, StoredPres))
            Found = ParamTbl->RecNo();
    }
    ParamTbl->SetRecNoValue(Was);
    ParamTbl->EnableControls();
    if (Found > 0)
        ParamTbl->SetRecNoValue(Found);
}

void TForm2::BitBtn5Click()
{
    // Pressed (MANUAL QC), the check says what it finds missing of the
    // climatology, as each check command does: a table missing, or without
    // the profile's square and month. The re-check after each edit under
    // AUTO QC (the button is disabled then) does not repeat it at every edit.
    const bool Pressed = !CheckBox1->isChecked();
    if (Pressed)
        ClearMissingClimatology();
    // Pressed, the check asks before it replaces a flag set by hand; the
    // re-check after an edit under AUTO QC keeps them all: the operator has
    // just decided.
    std::vector<THandFlag> LetGo;
    if (Pressed && CurParamIndex < ParamList.Count() && ParamsToCheck.Bits(CurParamIndex)) {
        std::vector<std::string> Params, Lines;
        for (int j : ProfileParamsChecked(CurParamIndex))
            Params.push_back(ParamList.Strings(j));
        HandFlagsJudged(Params, LetGo, Lines);
        LetGo = AskForHandFlags(std::move(LetGo), Lines);
    }
    {
        const QScopedValueRollback<bool> Replace(HandFlagsLetGo, !LetGo.empty());
        CheckProfile(CurParamIndex);
    }
    for (const THandFlag &C : LetGo)
        HandFlagEnded(C);
    if (const std::string Unjudged = Pressed ? MissingClimatologyText() : std::string(); !Unjudged.empty())
        ShowMessage(Unjudged);
}

void TForm2::BitBtn4Click()
{
    // The station shown is found again by its ID_Cast: the rebuild orders
    // the stations by date and time, and an edited one may have moved.
    const bool HasStation = tmpStatTbl->Active() && !tmpStatTbl->IsEmpty();
    const int IdCast = HasStation ? tmpStatTbl->FieldByName("ID_Cast")->AsInteger() : 0;
    const TDBGrid::TPlaceKeeper Keep(*DBGrid1);
    const TCheckRun Check;
    ProfileGridReady = false;
    StationsReady = false;
    QcRunFinished = false;
    {
        TRunning Running(MetadataCheckRunning);
        if (!FullCruiseCheckRunning) {
            DataSource1->SetDataSet(nullptr);
            DataSource2->SetDataSet(nullptr);
        }
        {
            // Only the station checks run here; the tests the operator chose
            // for the run are the same afterwards.
            TSelectedTestsKept Kept;
            SelectedTests.SetBit(tstDataClimat, false);
            SelectedTests.SetBit(tstDataSpike, false);
            CurCastDataset = tmpStatTbl;
            CheckCruiseCasts();
        }
        if (!FullCruiseCheckRunning) {
            DataSource1->SetDataSet(tmpStatTbl);
            DataSource2->SetDataSet(ParamTbl);
        }
        ListBox1Click();
    }
    ProfileGridReady = true;
    StationsReady = true;
    if (HasStation && tmpStatTbl->Active())
        tmpStatTbl->Locate("ID_Cast", rtl::Variant(IdCast));
    QcRunFinished = true;
}

void TForm2::BitBtn3Click()
{
    if (!tmpStatTbl->Active())
        return;
    // The cruise check selects every profile again from the station
    // database; what was typed next to the plot goes there first.
    ApplyInPlotEdits();
    const int Rec = tmpStatTbl->RecNo();
    const std::vector<THandFlag> LetGo = AskForCruiseHandFlags();
    Gauge1->setValue(0);
    Gauge1->show();
    ClearMissingClimatology();
    // Stations whose profiles were all checked, and whether Esc ended the walk.
    int Checked = 0, Stations = 0;
    std::vector<int> Walked; // the stations whose profiles were all checked
    bool Stopped = false;
    WalkOtherExtents.clear(); // the station database may have changed since
    const TCheckRun Check;
    {
        const QScopedValueRollback<bool> Replace(HandFlagsLetGo, !LetGo.empty());
        TRunning Running(FullCruiseCheckRunning);
        BitBtn4Click(); // the station checks, begun afresh as every editor check
        StationsReady = false;
        ProfileGridReady = false;
        DataSource2->SetDataSet(nullptr);
        tmpStatTbl->DisableControls();
        try {
            // Only Esc is heard until the last station: it ends the walk.
            TInputHeld Held(*this, *Gauge1);
            const int n = tmpStatTbl->RecordCount();
            Stations = n;
            StationDataErrors.SetSize(n);
            StationSpikeErrors.SetSize(n);
            int i = 0;
            for (tmpStatTbl->First(); !tmpStatTbl->Eof(); tmpStatTbl->Next(), ++i) {
                Gauge1->setValue(int(std::lround(double(tmpStatTbl->RecNo()) * 100.0 / double(std::max(n, 1)))));
                ProcessMessages();
                if (AbortRequested) {
                    Stopped = true;
                    break;
                }
                ClimErrorFound = false;
                SpikeFound = false;
                CurCastDataset = tmpStatTbl;
                BuildParamList();
                for (int j = 0; j < ParamList.Count(); ++j) {
                    if (!ParamsToCheck.Bits(j))
                        continue;
                    CurParamName = ParamList.Strings(j);
                    CurParamTable = ParamTableName(CurParamName);
                    CheckProfile(j);
                }
                StationDataErrors.SetBit(i, ClimErrorFound);
                StationSpikeErrors.SetBit(i, SpikeFound);
                // The tree was built before the walk: the station's nodes
                // become what its checks hold now.
                RenewDataErrorNodes(tmpStatTbl->FieldByName("ID_Cast")->AsString());
                Walked.push_back(tmpStatTbl->FieldByName("ID_Cast")->AsInteger());
                Checked = i + 1;
            }
            // An Esc during the last station's checks stopped them too.
            Stopped = Stopped || AbortRequested;
        } catch (...) {
            tmpStatTbl->EnableControls();
            Gauge1->hide();
            StationsReady = ProfileGridReady = true;
            throw;
        }
        tmpStatTbl->EnableControls();
        tmpStatTbl->First();
        Gauge1->hide();
    }
    // Those of the stations the walk reached are the checks' now.
    for (const THandFlag &C : LetGo)
        if (std::find(Walked.begin(), Walked.end(), C.IdCast) != Walked.end())
            HandFlagEnded(C);
    StationsReady = true;
    ProfileGridReady = true;
    tmpStatTbl->SetRecNoValue(Rec);
    LoadCurrentProfile();
    if (ParamList.Count() > 0) {
        CurParamName = ParamList.Strings(0);
        ListBox2->setCurrentRow(0);
        ListBox2Click();
    }
    DataSource2->SetDataSet(ParamTbl);
    // A walk Esc stopped says so, and how far it got: the screen alone looks
    // as after a whole check.
    if (Stopped) {
        AbortRequested = false;
        ShowMessage("Quality chek procedure was interrupted: the profiles of " + std::to_string(Checked) + " of " +
                    std::to_string(Stations) + " stations were checked.");
    }
    // The levels of the cruise no climatology judged, summed up.
    if (const std::string Unjudged = MissingClimatologyText(); !Unjudged.empty())
        ShowMessage(Unjudged);
}

std::vector<THandFlag> TForm2::AskForCruiseHandFlags()
{
    // The parameters the walk checks at any station: those the local table
    // ticks, TEMP and PSAL together.
    std::vector<std::string> Params;
    if (RangeQry && RangeQry->Active())
        for (RangeQry->First(); !RangeQry->Eof(); RangeQry->Next())
            if (RangeQry->FieldByName("QC")->AsBoolean()) {
                const std::string P = RangeQry->FieldByName("Param")->AsString();
                if (IsPtsParam(P))
                    Params.insert(Params.end(), {"TEMP", "PSAL"});
                else
                    Params.push_back(P);
            }
    std::vector<THandFlag> Cells;
    std::vector<std::string> Lines;
    const int Rec = tmpStatTbl->RecNo();
    tmpStatTbl->DisableControls();
    try {
        for (tmpStatTbl->First(); !tmpStatTbl->Eof(); tmpStatTbl->Next())
            HandFlagsJudged(Params, Cells, Lines);
    } catch (...) {
        tmpStatTbl->SetRecNoValue(Rec);
        tmpStatTbl->EnableControls();
        throw;
    }
    tmpStatTbl->SetRecNoValue(Rec);
    tmpStatTbl->EnableControls();
    return AskForHandFlags(std::move(Cells), Lines);
}

void TForm2::CheckBox1Click()
{
    CheckBox1->setText(CheckBox1->isChecked() ? QStringLiteral("AUTO QC") : QStringLiteral("MANUAL QC"));
    EnableCheckButtons();
}

void TForm2::EnableCheckButtons()
{
    // Under AUTO QC the edits start the checks; by hand, a profile is
    // checked only when its parameter is one the run checks and shows.
    const bool Auto = CheckBox1->isChecked();
    BitBtn4->setEnabled(!Auto);
    BitBtn5->setEnabled(!Auto && FProfileEligible);
}

void TForm2::TreeView1Click()
{
    if (!QcRunFinished)
        return;
    TTreeNode *Node = TreeView1->Selected();
    if (!Node)
        return;
    if (TTreeNode *Top = TopParentNode(*TreeView1, Node)) {
        const std::string Id = Top->Text();
        if (tmpStatTbl->Active() && tmpStatTbl->FieldByName("ID_Cast")->AsString() != Id) {
            char *End = nullptr;
            const long IdCast = std::strtol(Id.c_str(), &End, 10);
            if (End != Id.c_str())
                tmpStatTbl->Locate("ID_Cast", rtl::Variant(int(IdCast)));
        }
    }
    if (Node->Level() == 2) {
        const int i = ParamList.IndexOf(Node->Text());
        if (i >= 0 && i < ListBox2->count()) {
            ListBox2->setCurrentRow(i);
            ListBox2Click();
        }
    } else if (Node->Level() == 4) {
        const std::string Text = Node->Text();
        const size_t Hash = Text.find('#');
        if (Hash != std::string::npos) {
            const int Level = std::atoi(Text.c_str() + Hash + 1);
            if (Level >= 1 && ZqQuery2->Active() && Level <= ZqQuery2->RecordCount()) {
                ZqQuery2->SetRecNoValue(Level);
                // The grid shows the work table: it goes to the same level.
                if (ParamTbl && ParamTbl->Active() && Level <= ParamTbl->RecordCount())
                    ParamTbl->SetRecNoValue(Level);
            }
        }
    }
}

void TForm2::SpeedButton20Click()
{
    auto *Settings = new TfmQCSettings(this); // a child of the editor, freed with it
    Settings->setAttribute(Qt::WA_DeleteOnClose);
    Settings->show();
}
