// uQCMain_Run: one QC run started by CHECK on the wizard's last page, and
// the location panel that chooses the contour file of the location check.
//
// The run reads the chosen action, cuts the parameter list to the ticked
// parameters, builds the location region, points the engine at the main
// window's tables and runs the cruise loop; then the report (with "CRUISE
// INFO"), and the action: back to the start page (1), write-back and close
// (2), or the manual editor (0 and 3), after which the flags are written
// back and the operator may start again.
#include "app/uQCMain.h"

#include "app/Globals.h"
#include "app/UQC.h"
#include "app/manual/Isolines.h"
#include "app/manual/uContDlg.h"
#include "app/manual/uQCManual.h"
#include "app/uDBPath.h"
#include "app/uReport.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TDialogs.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>

// The run's scope: from CHECK to the end of the chosen action.
class TForm1::TRunScope {
public:
    explicit TRunScope(TForm1 &AForm) : FForm(AForm)
    {
        FForm.FRunBusy = true;
        FForm.BitBtn1->setEnabled(false);
        FForm.BitBtn2->setEnabled(false);
        FExceptions = std::uncaught_exceptions();
    }
    ~TRunScope()
    {
        const bool Failed = std::uncaught_exceptions() > FExceptions;
        FForm.FRunBusy = false;
        FForm.FRunEnding = false;
        SetScreenCursor(crDefault);
        if (Failed) {
            // A run that broke off leaves no progress behind.
            FForm.Gauge1->setValue(0);
            FForm.Gauge2->setValue(0);
            FForm.Gauge1->hide();
            FForm.Gauge2->hide();
            FForm.Label1->hide();
            FForm.Label11->hide();
            FForm.Label12->hide();
        }
        FForm.BitBtn2->setEnabled(FForm.WizardStep != 0);
        if (FForm.WizardStep == 3 || FForm.WizardStep == 0)
            FForm.BitBtn1->setEnabled(true);
        if (FForm.FClosePending) {
            FForm.FClosePending = false;
            QMetaObject::invokeMethod(&FForm, [Form = &FForm] { Form->close(); }, Qt::QueuedConnection);
        }
    }

private:
    TForm1 &FForm;
    int FExceptions = 0;
};

void TForm1::RunQc()
{
    TRunScope Scope(*this);
    // An Esc pressed before this pass (in a message box, the wizard, an
    // earlier editor) is no interruption of it: only one of its own run or
    // editor keeps its write-back from writing.
    AbortRequested = false;
    QcInterrupted = false;
    QcAction = -1;
    for (QRadioButton *B : {RadioButton1, RadioButton2, RadioButton3, RadioButton4})
        if (B->isChecked())
            QcAction = TagOf(B);
    SetScreenCursor(crHourGlass);
    // Only the ticked parameters, in list order, taken from the whole page:
    // a CHECK that stopped before its checks (a contour file that gives no
    // region) has cut ParamList already, and the run's stations rebuild it.
    ParamList.Clear();
    for (int I = 0; I < CheckListBox2->Count() && I < FPageParams.Count(); ++I)
        if (CheckListBox2->Checked(I))
            ParamList.Add(FPageParams[I]);
    ParamDisplayList.Assign(ParamList);
    Label1->setText(QStringLiteral("Map region building..."));
    Label1->show();
    Label1->repaint();
    ::BuildLocationRegion();
    Label1->setText(QStringLiteral("Press <Esc> if you want to interrupt quality check procedure"));
    ProcessMessages();
    if (QcAction == -1)
        QcAction = 3;
    BindEngine();
    ClearMissingClimatology();
    // The grid is taken as it is on disk now, as the contour is: one
    // replaced or mended since it was read is read again.
    ReadGridAgainIfChanged(GridFileName, DepthGrid);
    // Without a grid, or a contour, the depth or the location check judges
    // no station: said at the run, on every action (the editor checks the
    // stations it opens), not only where the file was refused.
    if (const std::string Blocked = DepthCheckBlocked(); !Blocked.empty())
        MessageDlg(Blocked, mtWarning, mbOK);
    if (const std::string Blocked = LocationCheckBlocked(); !Blocked.empty())
        MessageDlg(Blocked, mtWarning, mbOK);
    // The spike test is part of the data climate check's level loop:
    // ticked without it, the run judges no spike and marks no cruise (the
    // editor's own checks judge spikes whatever the run's ticks).
    if (QcAction < 3 && SelectedTests.Bits(tstDataSpike) && !SelectedTests.Bits(tstDataClimat))
        MessageDlg(SpikesAloneText, mtWarning, mbOK);
    if (QcAction < 3) {
        try {
            CheckCruises();
        } catch (const std::exception &E) {
            // A failure ends the run at the cruise under check: the operator
            // learns that it stopped, where, and why.
            const std::string Cruise = ::CruiseTbl && ::CruiseTbl->Active() && !::CruiseTbl->Eof()
                                           ? ::CruiseTbl->FieldByName("Cruise_Name")->AsString()
                                           : std::string();
            throw rtl::Exception("The quality check stopped at the cruise " + Cruise +
                                 ": it and the cruises after it were not checked.\n" + E.what());
        }
        // What the checks could not take (climatology missing, stations
        // without a position, values that cannot be read) is said here in
        // one box, whatever follows.
        if (const std::string Missing = MissingClimatologyText(); !Missing.empty())
            ShowMessage(Missing);
    }
    if (!QcInterrupted && QcAction < 3 && CheckBox3->isChecked()) {
        TfmReport Report(this, QcCruTbl);
        Report.ShowModal();
        repaint();
    }
    FRunEnding = true;
    switch (QcAction) {
    case 1:
        WizardStep = 1;
        Gauge1->hide();
        Label1->hide();
        Gauge2->hide();
        WriteFlagsToMainDb();
        BitBtn2Click();
        break;
    case 2:
        WriteFlagsToMainDb();
        FClosePending = true;
        break;
    default:
        HandOverToEditor();
        break;
    }
}

void TForm1::HandOverToEditor()
{
    {
        // The editor borrows the engine's links and the visual mode for its
        // lifetime; whatever way it ends, this window's come back with it.
        TForm2 Editor(this);
        Editor.ListBox1->clear();
        Editor.ZqQuery1->SetConnection(ZqConnection1);
        CastQry = Editor.ZqQuery1;
        ProfileDataQry = Editor.ZqQuery2;
        VisualMode = true;
        // Each cruise item carries its ID_Cruise: two cruises may share a name.
        for (TmpCruTbl->First(); !TmpCruTbl->Eof(); TmpCruTbl->Next()) {
            auto *Item = new QListWidgetItem(QString::fromStdString(TmpCruTbl->FieldByName("Cruise_Name")->AsString()),
                                             Editor.ListBox1); // owned by the list
            Item->setData(Qt::UserRole, TmpCruTbl->FieldByName("ID_Cruise")->AsInteger());
        }
        Editor.ShowModal();
    }
    WriteFlagsToMainDb();
    if (MessageDlg("One More Quality check procedure ?", mtConfirmation, mbYesNo) == mrYes) {
        repaint();
        WizardStep = 1;
        BitBtn2Click();
    } else {
        repaint();
        FClosePending = true;
    }
}

// ---- location panel ------------------------------------------------------------------

void TForm1::ShellTreeView1Change()
{
    const std::string Folder = ShellTreeView1->Folder();
    if (Folder.empty())
        return;
    try {
        FillContourList(Folder);
    } catch (const std::exception &) {
        // A folder the list cannot show leaves the list as it was.
    }
}

std::string TForm1::ChosenContourFile() const
{
    const QListWidgetItem *Item = FileListBox1->currentItem();
    return Item ? ContourFolder + Item->text().toStdString() : std::string();
}

void TForm1::FileListBox1Change()
{
    BitBtn4->setEnabled(true);
}

void TForm1::FileListBox1DblClick()
{
    BitBtn4Click();
}

void TForm1::BitBtn4Click()
{
    const std::string File = ChosenContourFile();
    if (!File.empty()) {
        ExtraLinesFile = File;
        // The operator's choice is in force, refused or not: the run's
        // region is built from it, never from the file before.
        ::BuildLocationRegion();
        if (const std::string Refused = LocationCheckBlocked(false); !Refused.empty())
            MessageDlg(Refused, mtWarning, mbOK);
    }
    BitBtn4->setEnabled(false);
}

void TForm1::BitBtn3Click()
{
    const std::string File = ChosenContourFile();
    if (!File.empty() && QFileInfo::exists(QString::fromStdString(File))) {
        // The dialog draws the file as it is made: the name comes first.
        ContourFileName = File;
        // "Change coloumns" holds only when the dialog ends with OK; any
        // other end gives back the column order it opened with.
        const bool OpenedSwap = SwapCoordColumns;
        // Owned by the window that shows the panel (this one, or the
        // settings window the editor hosts it in): that window comes back
        // to the front when the dialog closes.
        TfmContDlg Dialog(BitBtn3->window());
        if (Dialog.ShowModal() != mrOk)
            SwapCoordColumns = OpenedSwap;
    } else
        MessageDlg("File not Found", mtError, mbOK);
    BitBtn4->setEnabled(true);
}
