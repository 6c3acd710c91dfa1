// The manual QC editor's commands: re-checking the shown profile, the
// metadata of the cruise or the whole cruise, the choice between automatic
// re-checks after an edit and manual flags, moving to a station, parameter
// or level from the tree of possible errors, and the QC settings window.
#include "app/manual/uQCManual.h"

#include "app/UQC.h"
#include "app/manual/StoredEdit.h"
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

#include <cmath>
#include <cstdlib>
#include <optional>
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
    if (!Outer) {
        StartEditorCheck();
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
        const int T = ParamList.IndexOf("TEMP"), S = ParamList.IndexOf("PSAL");
        std::vector<int> ToCheck;
        if (IsPtsParam(Shown) && T >= 0 && S >= 0) {
            if (Shown == "TEMP")
                ToCheck = {S, T};
            else
                ToCheck = {T, S};
        } else {
            ToCheck = {ParamIndex};
        }
        for (int j : ToCheck) {
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

void TForm2::StartEditorCheck() { AbortRequested = false; }

void TForm2::BitBtn5Click()
{
    // Pressed (MANUAL QC), the check says what it finds missing of the
    // climatology, as each check command does: a table missing, or without
    // the profile's square and month. The re-check after each edit under
    // AUTO QC (the button is disabled then) does not repeat it at every edit.
    const bool Pressed = !CheckBox1->isChecked();
    if (Pressed)
        ClearMissingClimatology();
    CheckProfile(CurParamIndex);
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
    StartEditorCheck();
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
    Gauge1->setValue(0);
    Gauge1->show();
    ClearMissingClimatology();
    // Stations whose profiles were all checked, and whether Esc ended the walk.
    int Checked = 0, Stations = 0;
    bool Stopped = false;
    WalkOtherExtents.clear(); // the station database may have changed since
    {
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
