// uQCMain_Wizard: the QC wizard's navigation and the run it starts.
//
// Steps: 0 the mode, 1 tests, thresholds and the custom cruise choice, 2 the
// parameters, 3 what to do. NEXT (BitBtn1Click) moves on (from 1 straight to
// 3 when neither data test is ticked) and on the last page is CHECK, which
// runs the QC (RunQc); BACK (BitBtn2Click) goes one step back and
// reconnects the station database. Each arrival does its work in
// UpdateWizardPage: the start page resets the run's progress controls,
// 0 -> 1 builds the run's cruise table for modes 0 to 2, arrival at 2
// copies the thresholds into the engine and fills the parameter page (and
// from 1 also builds the custom cruise table and reads the ticked tests);
// the jump from 1 to 3 does the same work as an arrival at 2 from 1.
//
// A run is one pass of RunQc under a TRunScope: while it lasts, NEXT and
// BACK are disabled, a close of the window waits for its end, and whatever
// way it ends the cursor, the progress controls and the buttons come back.
#include "app/uQCMain.h"

#include "app/CruiseChoice.h"
#include "app/Globals.h"
#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/manual/CheckTree.h"
#include "app/manual/Recalcs.h"
#include "app/uReport.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TShellTreeView.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeView>

#include <algorithm>
#include <exception>
#include <vector>

namespace {

bool AnyTicked(const TCheckListBox &AList)
{
    return CheckListState(AList) != 0;
}

} // namespace

// ---- navigation --------------------------------------------------------------------

void TForm1::BitBtn1Click()
{
    if (FRunBusy)
        return;
    // The start page leads on only to a database that is open and holds
    // cruises; otherwise "Change Database" is the way on.
    if (WizardStep == 0 && !FDatabaseReady) {
        MessageDlg(FDatabaseFault.empty() ? "Can't Connect to Main Database" : FDatabaseFault, mtError, mbOK);
        return;
    }
    if (WizardStep == 0 && QcCruTbl->RecordCount() == 0) {
        MessageDlg("The station database holds no cruises", mtInformation, mbOK);
        return;
    }
    std::exception_ptr Error;
    try {
        if (!ZqCruQuery->SQL()->Text().empty() && !ZqCruQuery->Active())
            ZqCruQuery->Open();
        PrevWizardStep = WizardStep;
        if (NoDataTests)
            WizardStep = 3;
        else if (WizardStep < 3)
            ++WizardStep;
        UpdateWizardPage();
        // The editor keeps its station list in a table of the station
        // database: on a read-only one it cannot open.
        const bool ToEditor = !RadioButton2->isChecked() && !RadioButton3->isChecked();
        // The data tests check the ticked parameters: with none ticked they
        // would check nothing, and say nothing of it.
        const bool NoParameter = (SelectedTests.Bits(tstDataClimat) || SelectedTests.Bits(tstDataSpike)) &&
                                 !AnyTicked(*CheckListBox2);
        if (WizardStep == 3 && PrevWizardStep == 3 && ToEditor && MainDbReadOnly())
            MessageDlg("The station database is read-only: the manual editor cannot open on it. Choose an action "
                       "that does not open the editor, or another database.",
                       mtError, mbOK);
        else if (WizardStep == 3 && PrevWizardStep == 3 && NoParameter)
            MessageDlg("No parameter is ticked for the data tests: go BACK and tick the parameters to check, or "
                       "untick the data tests.",
                       mtError, mbOK);
        else if (WizardStep == 3 && PrevWizardStep == 3)
            RunQc();
    } catch (...) {
        Error = std::current_exception();
    }
    WriteStepPage();
    SetScreenCursor(crDefault);
    if (Error)
        std::rethrow_exception(Error);
}

void TForm1::BitBtn2Click()
{
    if (FRunBusy && !FRunEnding)
        return;
    WizardStep = std::max(0, WizardStep - 1);
    if (WizardStep == 0)
        BitBtn1->setEnabled(true);
    ZqConnection1->SetConnected(false);
    ZqConnection1->SetConnected(true);
    NoDataTests = false;
    UpdateWizardPage();
    // The information panel describes the step shown, going back as going on.
    WriteStepPage();
}

void TForm1::RadioButton1Click(QObject *Sender)
{
    QcAction = TagOf(Sender);
    // The information panel names the action CHECK will run.
    if (WizardStep == 3)
        WriteStepPage();
}

void TForm1::UpdateWizardPage()
{
    ResetStartPage();
    BuildSelectedCruises();
    ApplyQcOptions();
    ShowWizardPage();
}

void TForm1::BuildSelectedCruises()
{
    if (WizardStep != 1 || PrevWizardStep != 0)
        return;
    QcAction = -1;
    NoDataTests = false;
    QcMode = RadioGroup1->ItemIndex();
    QCCruQry->Close();
    QCCruQry->SQL().Clear();
    QCCruQry->SQL().Add("Select * from " + LocalQuoteName(DbTablePrefix + "-QCCruise") + " order by Cruise_Name");
    QCCruQry->Open();
    TestTree->expandAll();
    ShowTestSettingsPanel();
    SetCruiseChoiceVisible(false);
    if (QcMode >= 0 && QcMode <= 2) {
        // A mode that leaves no cruise would check nothing and then report
        // every cruise with its old marks as if checked: it is said, and the
        // wizard stays at its start.
        const bool NoCruise = QCCruQry->IsEmpty();
        if (BuildModeCruiseTable(QcMode, *QCCruQry, *TmpCruTbl, LocalDbDir) == 0) {
            WizardStep = 0;
            MessageDlg("No cruise is left to check in the mode \"" + RadioGroup1->ItemText(QcMode) + "\": " +
                           (NoCruise      ? "the station database lists no cruise"
                            : QcMode == 1 ? "every cruise has had a test"
                                          : "every cruise has had every test") +
                           ".\nNothing is checked; choose another mode.",
                       mtInformation, mbOK);
        }
    } else if (QcMode == 3) {
        SetCruiseChoiceVisible(true);
        BitBtn1->setEnabled(AnyTicked(ActiveCruiseList()));
    }
}

TCheckListBox &TForm1::ActiveCruiseList() const
{
    return PageControl4->currentIndex() != 0 ? *CheckListBox5 : *CheckListBox1;
}

void TForm1::SetCruiseChoiceVisible(bool AVisible)
{
    Pagecontrol1->setTabVisible(Pagecontrol1->indexOf(TabSheet2), AVisible);
}

void TForm1::ShowTestSettingsPanel()
{
    Panel2->hide();
    UpdateNextButton();
    TTreeNode *Selected = TestTree->Selected();
    if (Selected) {
        int TestIndex = -1;
        if (Selected->Level() == 1)
            TestIndex = TestTree->indexOfTopLevelItem(Selected->Parent());
        for (QObject *Child : Panel2->children())
            if (auto *Panel = qobject_cast<QFrame *>(Child))
                Panel->setVisible(TestIndex >= 0 && TagOf(Panel) == TestIndex);
    }
    const TTreeNode *Climat = FindTreeNode(*TestTree, "Data Climate Check");
    const TTreeNode *Spikes = FindTreeNode(*TestTree, "Spikes");
    NoDataTests = Climat && Spikes && Climat->StateIndex() == 1 && Spikes->StateIndex() == 1;
    if (Selected)
        Panel2->setVisible(Selected->Level() == 1);
}

void TForm1::UpdateNextButton()
{
    bool Enabled = TreeCheckState(*TestTree) != 0;
    if (QcMode == 3 && Enabled)
        Enabled = AnyTicked(ActiveCruiseList());
    BitBtn1->setEnabled(Enabled);
}

void TForm1::CheckListBox1Click()
{
    BitBtn1->setEnabled(AnyTicked(ActiveCruiseList()) && TreeCheckState(*TestTree) != 0);
}

void TForm1::CheckListBox5Click()
{
    CheckListBox1Click();
}

void TForm1::PageControl4Change()
{
    CheckListBox1Click();
}

void TForm1::CheckListBox2Click()
{
    BitBtn1->setEnabled(AnyTicked(*CheckListBox2));
    // The information panel lists the parameters ticked now.
    if (WizardStep == 2)
        WriteStepPage();
}

void TForm1::ApplyQcOptions()
{
    // With neither data test ticked NEXT leaves step 1 for step 3 at once;
    // that pass still needs what arriving at step 2 gives a run: the
    // thresholds, the ticked tests and, in the custom mode, the run's
    // cruise table. Without them the run would check with the tests of an
    // earlier pass (none at all on the first one, whose marks it would
    // still write over every cruise's history) and over whatever table
    // TmpCruTbl last stood on.
    const bool SkippedParamPage = WizardStep == 3 && PrevWizardStep == 1;
    if (WizardStep != 2 && !SkippedParamPage)
        return;
    CopyThresholds();
    // Back from the last page the parameters keep their ticks.
    std::vector<std::string> Ticked;
    for (int I = 0; I < CheckListBox2->Count() && I < FPageParams.Count(); ++I)
        if (CheckListBox2->Checked(I))
            Ticked.push_back(FPageParams[I]);
    FillParamCheckList();
    if (PrevWizardStep != 1) {
        for (int I = 0; I < CheckListBox2->Count() && I < FPageParams.Count(); ++I)
            CheckListBox2->SetChecked(I, std::find(Ticked.begin(), Ticked.end(), FPageParams[I]) != Ticked.end());
        BitBtn1->setEnabled(AnyTicked(*CheckListBox2));
        return;
    }
    for (int I = 0; I < CheckListBox2->Count(); ++I)
        CheckListBox2->SetChecked(I, true);
    if (QcMode == 3) {
        BuildCustomCruiseTable(ActiveCruiseList(), *TmpCruTbl, LocalDbDir);
        // NEXT follows the parameter ticks only where they are shown.
        if (!SkippedParamPage)
            CheckListBox2Click();
    }
    CopyTestTicks();
    CastQry = ZqQuery1;
}

void TForm1::CopyThresholds()
{
    SpatialAdditionMin = UpDown1->value();
    TemporalAdditionHours = UpDown2->value();
    VelocityLimitKnots = UpDown3->value();
    NStdDev = UpDown4->value();
    DepthTolerancePct = UpDown5->value();
    RelativeJumpPct = UpDown6->value();
    OneSideChange = CheckBox4->isChecked();
    PressureIntervalSetting = UpDown7->value();
    DuplicatesEachStation = RadioGroup2->ItemIndex() == 0;
    VisualModeOnly = CheckBox5->isChecked();
}

void TForm1::CopyTestTicks()
{
    int Test = 0;
    for (TTreeNode *Node = TestTree->GetFirstNode(); Node; Node = Node->GetNextSibling(), ++Test)
        SelectedTests.SetBit(Test, Node->StateIndex() == 3);
}

void TForm1::ApplyQcSettings()
{
    // A contour file the region cannot be built from blocks the location
    // check alone: the thresholds and ticks are taken all the same.
    ::BuildLocationRegion();
    CopyThresholds();
    CopyTestTicks();
    if (const std::string Blocked = LocationCheckBlocked(); !Blocked.empty())
        MessageDlg(Blocked, mtWarning, mbOK);
}

std::function<void()> TForm1::KeepQcSettings()
{
    std::vector<int> Values;
    for (const QSpinBox *Box : {UpDown1, UpDown2, UpDown3, UpDown4, UpDown5, UpDown6, UpDown7})
        Values.push_back(Box->value());
    Values.push_back(CheckBox4->isChecked());
    Values.push_back(CheckBox5->isChecked());
    Values.push_back(RadioGroup2->ItemIndex());
    std::vector<int> Ticks; // every node's state, in tree order
    for (TTreeNode *Node = TestTree->GetFirstNode(); Node; Node = Node->GetNext())
        Ticks.push_back(Node->StateIndex());
    // The location panel as it stands: the column order a "View" ended with
    // OK may have swapped, the folder and the file highlighted, "Apply".
    const QListWidgetItem *Highlighted = FileListBox1->currentItem();
    const QString File = Highlighted ? Highlighted->text() : QString();
    return [Form = QPointer<TForm1>(this), Values, Ticks, Contour = ExtraLinesFile, Swap = SwapCoordColumns,
            Folder = ContourFolder, File, ApplyOn = BitBtn4->isEnabled()] {
        if (!Form)
            return;
        size_t I = 0;
        for (QSpinBox *Box : {Form->UpDown1, Form->UpDown2, Form->UpDown3, Form->UpDown4, Form->UpDown5,
                              Form->UpDown6, Form->UpDown7})
            Box->setValue(Values[I++]);
        Form->CheckBox4->setChecked(Values[I++] != 0);
        Form->CheckBox5->setChecked(Values[I++] != 0);
        Form->RadioGroup2->SetItemIndex(Values[I]);
        I = 0;
        for (TTreeNode *Node = Form->TestTree->GetFirstNode(); Node && I < Ticks.size(); Node = Node->GetNext())
            Node->SetStateIndex(Ticks[I++]);
        ExtraLinesFile = Contour;
        SwapCoordColumns = Swap;
        // An "Apply" in between built the region from its own file.
        ::BuildLocationRegion();
        if (Form->ContourFolder != Folder) {
            Form->ShellTreeView1->SetFolder(Folder);
            try {
                Form->FillContourList(Folder);
            } catch (const std::exception &) {
                // A folder gone since leaves the list as the tree left it.
            }
        }
        const auto Found = File.isEmpty() ? QList<QListWidgetItem *>()
                                          : Form->FileListBox1->findItems(File, Qt::MatchFixedString);
        if (Found.isEmpty())
            Form->FileListBox1->setCurrentRow(-1);
        else
            Form->FileListBox1->setCurrentItem(Found.front());
        Form->BitBtn4->setEnabled(ApplyOn);
    };
}

void TForm1::FillParamCheckList()
{
    CheckListBox2->Clear();
    // The captions and the rows of "param" are rebuilt with the parameters,
    // so that each stays parallel to its list.
    ParamList.Clear();
    FPageParams.Clear();
    ParamCaptionList.Clear();
    AllParamAbbrs.Clear();
    AllParamNames.Clear();
    for (TmpParamQry->First(); !TmpParamQry->Eof(); TmpParamQry->Next()) {
        const std::string Abbr = TmpParamQry->FieldByName("Param")->AsString();
        const std::string Name = TmpParamQry->FieldByName("ParamName")->AsString();
        if (TmpParamQry->FieldByName("QC")->AsBoolean()) {
            const std::string Table = ParamTableName(Abbr);
            if (!Table.empty()) {
                try {
                    ZqQuery3->Close();
                    ZqQuery3->SQL()->Clear();
                    ZqQuery3->SQL()->Add("Select Top 1 * From " + MainDbSqlName + "." + Table);
                    ZqQuery3->Open();
                    CheckListBox2->AddItem(Name);
                    ParamList.Add(Abbr);
                    FPageParams.Add(Abbr);
                    ParamCaptionList.Add(Name);
                } catch (const std::exception &) {
                    // A parameter whose table the station database lacks is
                    // simply not offered.
                }
            }
        }
        AllParamAbbrs.Add(Abbr);
        AllParamNames.Add(Name);
    }
}
