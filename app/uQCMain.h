// uQCMain: the main window TForm1, the QC wizard.
//
// The window is built in code by the constructor (uQCMain_Form.cpp: every
// control under the name it carries); FormCreate (uQCMain.cpp) then does the
// program's whole set-up in its fixed order: folders, settings, the main
// database path, formats, the Esc hook, the work folder, the data
// components, the connection, the work tables, the cruise list, the test
// tree, the map, the parameter list and the threshold positions, each stage
// shown on the start window.
//
// Pages of the wizard are the direct children of Panel1, each carrying the
// number of its step in its Tag (SetTag/TagOf): step 0 the mode choice and
// "Change Database", step 1 the options page control, step 2 the parameter
// list, step 3 the choice of what to do.
#pragma once

#include "app/UQC.h"
#include "platform/rtl/Classes.h"

#include <QGroupBox>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSpinBox;
class QTabWidget;
class QTextBrowser;
class QToolButton;

class TCheckListBox;
class TCheckTree;
class TfmStart;
class TForm4;
class TShellTreeView;
class TQuery;
class TTable;
class TZqCommand;
class TZqConnection;
class TZqGUIxWaitCursor;
class TZqPhysMSAccessDriverLink;
class TZqQuery;
class TZqTable;

namespace rtl {
class TIniFile;
}

// A data component of a form: owned (and freed) by AOwner, named as the
// form names it.
template <class T> T *MakeComponent(rtl::TComponent *AOwner, const char *AName)
{
    T *Component = new T(AOwner); // owned by AOwner
    Component->SetName(AName);
    return Component;
}

// The toolkit's Tag of a control: the wizard step of a page, the test of a
// threshold panel, the action of a radio button.
void SetTag(QObject *AControl, int ATag);
int TagOf(const QObject *AControl);

// A titled group of radio buttons with one chosen item (ItemIndex, -1 for
// none). OnClick fires when the operator (or code through SetItemIndex)
// changes the choice.
class TRadioGroup : public QGroupBox {
public:
    explicit TRadioGroup(const QString &ACaption, QWidget *Parent = nullptr);
    void AddItem(const std::string &AText);
    int Count() const { return int(FButtons.size()); }
    std::string ItemText(int AIndex) const;
    QRadioButton *Button(int AIndex) const { return FButtons.at(size_t(AIndex)); }
    int ItemIndex() const;
    void SetItemIndex(int AIndex);
    std::function<void()> OnClick;

private:
    QButtonGroup *FGroup = nullptr;
    std::vector<QRadioButton *> FButtons;
};

// The program file whose folder is ProgramDir: the running executable
// unless a test or a benchmark names an installation of its own.
void SetProgramFileName(const std::string &AFileName);
std::string ProgramFileName();

class TForm1 : public QWidget {
public:
    explicit TForm1(QWidget *Parent = nullptr);
    ~TForm1() override;

    // The set-up of the program. False when the program is to end without
    // showing the main window: Cancel in the path dialog, or a fault in a
    // stage the window cannot do without (it has been reported).
    bool FormCreate();

    // ---- the data components of the form (owned by Components) ----------
    std::unique_ptr<rtl::TComponent> Components;
    TZqConnection *ZqConnection1 = nullptr;
    TZqPhysMSAccessDriverLink *ZqPhysMSAccessDriverLink1 = nullptr;
    TZqGUIxWaitCursor *ZqGUIxWaitCursor1 = nullptr;
    TZqTable *MainCruTbl = nullptr;
    TZqTable *ZqTable2 = nullptr;
    TZqTable *ZqTable3 = nullptr;
    TZqQuery *ZqQuery1 = nullptr;
    TZqQuery *ZqQuery2 = nullptr;
    TZqQuery *ZqQuery3 = nullptr;
    TZqQuery *ZqQuery4 = nullptr;
    TZqQuery *ZqQuery5 = nullptr;
    TZqQuery *ZqdupQuery = nullptr;
    TZqQuery *ZqDataQuery = nullptr;
    TZqQuery *ZqQCQuery = nullptr;
    TZqQuery *ZqCruQuery = nullptr;
    TZqCommand *ZqCommand1 = nullptr;
    TZqCommand *ZqCommand2 = nullptr;
    // Local work tables and queries.
    TQuery *QCCruQry = nullptr;
    TQuery *WorkQry = nullptr;
    TQuery *TmpParamQry = nullptr;
    TQuery *TmpQcQry = nullptr;
    TTable *StructTbl = nullptr;
    TTable *TmpCruTbl = nullptr;
    TTable *QcCruTbl = nullptr;
    TTable *CastFlagtbl = nullptr;
    TTable *CastOldFlagTbl = nullptr;
    TTable *PTS_DataFlagTbl = nullptr;
    TTable *PTS_DataOldFlagTbl = nullptr;
    TTable *ChemFlagTbl = nullptr;
    TTable *tmpparamtbl = nullptr;
    TTable *ClimMSTbl = nullptr;
    TTable *ClimBSTbl = nullptr;

    // ---- windows -------------------------------------------------------------
    TfmStart *fmStart = nullptr; // from step 13 of the set-up on
    TCheckTree *TestTree = nullptr;

    // ---- controls --------------------------------------------------------------
    QScrollArea *Panel1Scroll = nullptr; // scrolls Panel1 on a small screen
    QFrame *Panel1 = nullptr;  // the wizard's pages
    QFrame *Panel19 = nullptr; // NEXT, BACK and the run's progress (a grid)
    QGroupBox *GroupBox1 = nullptr; // "INFORMATION"
    QTextBrowser *WebBrowser1 = nullptr;
    QCheckBox *CheckBox1 = nullptr; // hidden
    // Step 0.
    TRadioGroup *RadioGroup1 = nullptr;
    QPushButton *BitBtn8 = nullptr;
    // Step 1.
    QTabWidget *Pagecontrol1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;
    QFrame *Panel2 = nullptr; // threshold panels, one per test (Tag = test)
    QFrame *Panel3 = nullptr; // duplicates
    QFrame *Panel4 = nullptr; // location
    QFrame *Panel5 = nullptr; // velocity
    QFrame *Panel6 = nullptr; // data climate check
    QFrame *Panel7 = nullptr; // depth
    QFrame *Panel10 = nullptr; // spikes
    QSpinBox *UpDown1 = nullptr;
    QSpinBox *UpDown2 = nullptr;
    QSpinBox *UpDown3 = nullptr;
    QSpinBox *UpDown4 = nullptr;
    QSpinBox *UpDown5 = nullptr;
    QSpinBox *UpDown6 = nullptr;
    QSpinBox *UpDown7 = nullptr;
    TRadioGroup *RadioGroup2 = nullptr;
    QCheckBox *CheckBox4 = nullptr;
    QCheckBox *CheckBox5 = nullptr;
    TShellTreeView *ShellTreeView1 = nullptr;
    QListWidget *FileListBox1 = nullptr;
    QListWidget *FileListBox2 = nullptr; // hidden: the private folder's files at close
    QPushButton *BitBtn3 = nullptr; // "View"
    QPushButton *BitBtn4 = nullptr; // "Apply"
    QPushButton *BitBtn5 = nullptr; // "Update climate/range"
    // Step 1, cruise choice.
    QTabWidget *PageControl4 = nullptr;
    QWidget *TabSheet3 = nullptr; // "Country/Ship/Cuise"
    QWidget *TabSheet4 = nullptr; // "Context Searh"
    TCheckListBox *CheckListBox6 = nullptr; // countries
    TCheckListBox *CheckListBox7 = nullptr; // ships
    TCheckListBox *CheckListBox1 = nullptr; // cruises
    TCheckListBox *CheckListBox5 = nullptr; // search results
    QCheckBox *CheckBox6 = nullptr;
    QCheckBox *CheckBox7 = nullptr;
    QCheckBox *CheckBox8 = nullptr;
    QCheckBox *CheckBox9 = nullptr;
    QLineEdit *Edit4 = nullptr;
    QLabel *Label19 = nullptr;
    QLabel *Label20 = nullptr;
    QLabel *Label21 = nullptr;
    QFrame *Panel23 = nullptr;
    QProgressBar *Gauge3 = nullptr;
    // Step 2.
    QLabel *Label2 = nullptr;
    QFrame *Panel8 = nullptr;
    TCheckListBox *CheckListBox2 = nullptr;
    // The five list buttons over each check list: SpeedButton1 ... 25.
    QToolButton *SpeedButtons[25] = {};
    QToolButton *SpeedButton(int ANumber) const { return SpeedButtons[ANumber - 1]; }
    // Step 3.
    QGroupBox *GroupBox2 = nullptr;
    QRadioButton *RadioButton1 = nullptr;
    QRadioButton *RadioButton2 = nullptr;
    QRadioButton *RadioButton3 = nullptr;
    QRadioButton *RadioButton4 = nullptr;
    QCheckBox *CheckBox3 = nullptr;
    // Panel19.
    QPushButton *BitBtn1 = nullptr; // NEXT / CHECK
    QPushButton *BitBtn2 = nullptr; // BACK
    QLabel *Label1 = nullptr;
    QLabel *Label11 = nullptr; // "Cruise"
    QLabel *Label12 = nullptr; // "Total"
    QProgressBar *Gauge1 = nullptr;
    QProgressBar *Gauge2 = nullptr;

    // ---- the custom cruise choice: codes and names parallel to its lists ----
    rtl::TStringList CountryCodes;
    rtl::TStringList ShipNames, ShipCodes, ShipCountryCodes;
    rtl::TStringList CruiseIds, CruiseNames, CruiseMars, CruiseShipCodes, CruiseCountryCodes;

    // ---- wizard state -------------------------------------------------------
    int WizardStep = 0;
    int PrevWizardStep = 0;
    bool NoDataTests = false;
    int QcMode = 0;
    int QcAction = 0;
    rtl::TStringList *StepPageLines = nullptr; // while WriteStepPage builds a page

    // ---- start-up and database (Parts of this window) ----------------------
    void CreateWorkTables();
    void SyncCruiseList();
    void FormParamList();
    void ShowWizardPage();
    void WriteStepPage();
    void ChangeDatabase(); // Button13Click, the start page's "Change Database"
    // Reconnects ZqConnection1 to MainDbPath and reads its station tables
    // (StationDbRefusal); false (after the error box) when that fails.
    bool ConnectMainDb();
    // The connection alone, raising the connection's error.
    void OpenMainDb();
    // Why MainDbPath is no station database the program can use: an empty
    // file (asked before any connection, which would make it a database),
    // one the driver does not open, or one whose station tables cannot be
    // read; empty when ZqConnection1 is open on it and its tables read.
    std::string StationDbRefusal();
    // True after a start that ended on a fault (the program's exit code
    // says so); a start the operator cancelled is no fault.
    bool StartRefused() const { return FStartRefused; }
    bool DatabaseConnected() const { return FDatabaseReady; }
    // The station database open, but for reading only.
    bool MainDbReadOnly() const;
    void RadioGroup1Click();

    // ---- slots of the wizard, the run, the cruise lists, the report and
    // closing: bound to their controls here, filled by their own work ------
    void BitBtn1Click();     // NEXT / CHECK
    void BitBtn2Click();     // BACK
    void RadioButton1Click(QObject *Sender);
    void CheckListBox1Click();
    void CheckListBox5Click();
    void CheckListBox2Click();
    void PageControl4Change();
    void UpdateWizardPage();
    void ResetStartPage();
    void BuildSelectedCruises();
    void ApplyQcOptions();
    // What the options pages show of the thresholds and of the ticked tests,
    // into the QC engine (arriving at the parameter page does both).
    void CopyThresholds();
    void CopyTestTicks();
    // OK of the QC settings window: the thresholds, the ticked tests and the
    // location region of the chosen contour file into the engine, so that
    // the editor's next check uses what the pages show.
    void ApplyQcSettings();
    // The pages' thresholds, test ticks and contour file as they are now;
    // the routine returned puts them back (Cancel of the settings window).
    std::function<void()> KeepQcSettings();
    void ShowTestSettingsPanel();
    void UpdateNextButton();
    void FillParamCheckList();
    void AppendStepSummary();
    void RunQc();
    void ShellTreeView1Change();
    void FileListBox1Change();
    void FileListBox1DblClick();
    void BitBtn3Click(); // "View"
    void BitBtn4Click(); // "Apply"
    void BitBtn5Click(); // "Update climate/range"
    void WriteFlagsToMainDb();
    void BuildCruiseLists();
    // The choice's lists and their counts emptied: none is left of the
    // database before, whether the build that follows runs or not.
    void ClearCruiseChoice();
    void CheckListBox6Click();
    void CheckListBox7Click();
    void CheckBox6Click();
    void CheckBox7Click();
    void Pagecontrol1Change();
    void Edit4Change();
    void CheckBox9Click();
    void FormClose();

    // ---- layout ----------------------------------------------------------------
    void FormShow();
    void Panel1Resize();

protected:
    void closeEvent(QCloseEvent *Event) override;
    void showEvent(QShowEvent *Event) override;
    void keyPressEvent(QKeyEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    void BuildControls();        // uQCMain_Form.cpp
    void BuildDataComponents();  // uQCMain_Form.cpp
    void BindHandlers();         // uQCMain_Form.cpp
    void BuildOptionsPage();
    void BuildCruiseChoicePage();
    void BuildParamPage();
    void BuildActionPage();
    void BuildProgressPanel();
    // Set-up stages.
    // Settings naming files of another program folder: said, and this
    // program's own files of those names offered (Yes writes them in).
    void OfferOwnFiles();
    bool ReadDatabasePath();
    void KeepDatabaseChoice();
    void ProbeWorkFolder();
    void PointLocalComponents();
    void CreateSharedObjects();
    void BuildTestTree();
    void ReadMapSettings();
    void LastPreparations();
    void ReadThresholdPositions();
    void ReadContourSettings();
    void SizeWindow();
    // Runs one stage of the set-up; a fault is reported and its text
    // returned, and the next stage runs all the same.
    std::optional<std::string> Stage(const std::function<void()> &AStage);
    // Runs one database stage unless the connection is down; a fault is
    // reported once and ends the database stages of this pass.
    void DatabaseStage(const std::function<void()> &AStage);
    void SetStartStage(const std::string &AText);
    void SetStartProgress(int APercent);
    // The contour files of a folder in FileListBox1.
    void FillContourList(const std::string &AFolder);
    // The work objects this window makes for the engine and the other
    // units (set-up step 12); they live in FEngineObjects.
    void MakeEngineObjects();
    // Every link of the engine's shared state at this window's objects and
    // controls, in one assignment: once its work objects exist, after the
    // cruise lists are built and before every run.
    void BindEngine();
    // SelectedTests and TestResults: one clear bit per test.
    void SetTestCount(int ATests);
    // The parameter lists of the wizard and of a station, emptied together.
    void ClearParamLists();
    // The level-flag tables of the checked parameters other than TEMP, PSAL
    // and DENS: released, and one made and opened per parameter.
    void ResetChemFlagTables();
    void AddChemFlagTable(const std::string &AParam);

    // ---- the wizard and its run (uQCMain_Wizard.cpp, uQCMain_Run.cpp) ----
    class TRunScope;
    // The cruise list of the custom choice's active tab.
    TCheckListBox &ActiveCruiseList() const;
    void SetCruiseChoiceVisible(bool AVisible);
    // Actions 0 and 3: the manual editor over the run's cruises, then the
    // write-back and the question whether to start again.
    void HandOverToEditor();
    // The contour file highlighted in FileListBox1 ("" when none).
    std::string ChosenContourFile() const;
    // Every local table and query of the window closed (before the
    // session closes).
    void CloseLocalDataSets();
    bool FRunBusy = false;      // a run or its write-back is under way
    bool FRunEnding = false;    // the run's action is under way (BACK allowed)
    bool FClosePending = false; // a close waits for the run to end

    std::string ContourFolder; // the folder FileListBox1 shows
    // The abbreviations of the parameter page's items, in its order: each
    // CHECK takes its parameters from the whole page, whatever an earlier
    // CHECK that did not get through left in ParamList.
    rtl::TStringList FPageParams;
    // The objects MakeEngineObjects made (owned by Components), in the
    // members of the engine's links they are bound to.
    TQcLinks FEngineObjects;
    // The engine's ChemFlagTbls point at these.
    std::vector<std::unique_ptr<TTable>> FChemFlagTables;
    std::unique_ptr<rtl::TIniFile> FMainIni;
    // The settings' choices of files as the start made them (the close
    // writes only those changed since), and what the start said of them.
    TFileSettings FFilesAtStart;
    std::string FSettingNotes;
    // What the cruise rows read by the start or by a change of database
    // said of their values (NoteCruiseRow), said once at its end.
    std::vector<std::string> FCruiseRowNotes;
    void SayCruiseRowNotes();
    // The start took "updowns.txt" (or found none): the close may write it.
    // One refused, or never reached, is left as it is.
    bool FThresholdsTaken = false;
    bool FDatabaseReady = false;
    bool FStartRefused = false;
    // The database was chosen in the start's path dialog: kept in the
    // settings once it is read.
    bool FChosenAtStart = false;
    // Why the database is not ready: the message the set-up or the change
    // of database gave.
    std::string FDatabaseFault;
    bool FClosing = false;
    // A step page the doc folder did not take was said: the next are shown
    // without a word.
    bool FStepPagesRefused = false;
};

// Registers the data-access library's services in the order its layers
// need them, and hands the wait cursor the toolkit's screen. Once per
// process, before the first connection; the program and its tests alike.
void RegisterLibraryServices();

// The main window of the program (the application's main form).
extern TForm1 *Form1;
// Settings file of the program ("Cfg/main.ini"), open while Form1 lives.
rtl::TIniFile *MainIni();
