// The wizard driven as an operator drives it, offscreen, on a private
// installation with a small copy of the demo station database: the modes,
// NEXT and BACK with their rules, CHECK with the report and the chosen
// action, Esc during a run, the location panel and closing the program.
#include "tests/app_support/main_fixture.h"

#include "app/Globals.h"
#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/uQCSettings.h"
#include "app/uReport.h"
#include "app/manual/CheckTree.h"
#include "app/manual/Isolines.h"
#include "app/manual/uContDlg.h"
#include "app/manual/uQCManual.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/IniFiles.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TDBGridModel.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include <filesystem>
#include <fstream>

using apptest::SaveScreenshot;
using apptest::SqliteExec;
using apptest::SqliteRows;

namespace {

using TTexts = std::vector<std::string>;

class WizardRoad : public maintest::MainWindow {
protected:
    // Three cruises (ids 1 to 3) keep the runs short; their stations and
    // levels stay as the demo has them.
    void KeepCruises(const std::string &AIds = "1,2,3")
    {
        const std::string Db = Install->DbPath();
        SqliteExec(Db, "delete from PTS_Data where ID_Cast in (select ID_Cast from Cast_Titles where ID_Cruise not in (" +
                           AIds + "))");
        for (const char *Table : {"NO3", "DOX1", "Parameters"})
            SqliteExec(Db, std::string("delete from ") + Table +
                               " where ID_Cast in (select ID_Cast from Cast_Titles where ID_Cruise not in (" + AIds + "))");
        SqliteExec(Db, "delete from Cast_Titles where ID_Cruise not in (" + AIds + ")");
        SqliteExec(Db, "delete from Cruise_Titles where ID_Cruise not in (" + AIds + ")");
    }
    void StartWindow()
    {
        ASSERT_TRUE(Start());
        Form->show();
        ProcessMessages();
    }
    void Next() { Control<QPushButton>("BitBtn1")->click(); }
    void Back() { Control<QPushButton>("BitBtn2")->click(); }
    void ChooseMode(int AMode) { Form->RadioGroup1->Button(AMode)->click(); }
    // The action page: the action's radio button and "CRUISE INFO".
    void ChooseAction(const char *AButton, bool ACruiseInfo)
    {
        Control<QRadioButton>(AButton)->click();
        Control<QCheckBox>("CheckBox3")->setChecked(ACruiseInfo);
    }
    std::vector<std::string> QcCruise(const std::string &AFields = "ID_Cruise|ChLocation|ChDepth")
    {
        std::vector<std::string> Names;
        rtl::TStringList Split;
        Split.SetDelimiter('|');
        Split.SetStrictDelimiter(true);
        Split.SetDelimitedText(AFields);
        for (int I = 0; I < Split.Count(); ++I)
            Names.push_back(Split[I]);
        return WorkRows("marlin_demo-QCCruise", Names);
    }
    void ClickTreeState(const std::string &ANode)
    {
        TTreeNode *Node = FindTreeNode(*Form->TestTree, ANode);
        ASSERT_NE(Node, nullptr) << ANode;
        const QPoint At = Form->TestTree->StateIconRect(Node).center();
        QTest::mouseClick(Form->TestTree->viewport(), Qt::LeftButton, {}, At);
    }
    std::vector<std::string> Messages() const { return Dialogs->Texts(); }
};

TEST_F(WizardRoad, AllCruisesCheckedReportedAndBackAtTheStart)
{
    KeepCruises();
    StartWindow();
    SaveScreenshot(*Form, "wizard_step0");
    EXPECT_FALSE(Control<QPushButton>("BitBtn2")->isEnabled());
    ChooseMode(0);
    Next();
    EXPECT_EQ(Form->WizardStep, 1);
    SaveScreenshot(*Form, "wizard_step1");
    Next();
    ASSERT_EQ(Form->WizardStep, 2);
    // Every parameter the database has a table for, all ticked.
    TCheckListBox *Params = Control<TCheckListBox>("CheckListBox2");
    ASSERT_GT(Params->Count(), 0);
    EXPECT_EQ(CheckListState(*Params), 2);
    SaveScreenshot(*Form, "wizard_step2");
    Next();
    ASSERT_EQ(Form->WizardStep, 3);
    EXPECT_EQ(Control<QPushButton>("BitBtn1")->text(), QStringLiteral("CHECK"));
    ChooseAction("RadioButton2", true);
    // The information panel names the action CHECK will run.
    EXPECT_TRUE(Control<QTextBrowser>("WebBrowser1")->toPlainText().contains(
        QStringLiteral("CHECK AUTOMATICALLY AND COME BACK TO THE FIRST STEP;")));
    SaveScreenshot(*Form, "wizard_step3");
    std::vector<std::string> Reported;
    Dialogs->ModalHandlers.push_back([&](TForm &AForm) {
        auto &Report = dynamic_cast<TfmReport &>(AForm);
        const TDBGridModel &M = *Report.GridModel;
        for (int R = 0; R < M.rowCount(); ++R)
            Reported.push_back(M.data(M.index(R, 1)).toString().toStdString() + "|" +
                               M.data(M.index(R, 3)).toString().toStdString());
        SaveScreenshot(Report, "wizard_report");
        return int(mrOk);
    });
    Next(); // CHECK
    EXPECT_EQ(Dialogs->ModalForms.front(), "fmReport");
    // One row per cruise, with what the engine recorded: location ran.
    EXPECT_EQ(Reported, (TTexts{"BS91_BI01|True", "MS91_CS04|True", "BS92_MN03|True"}));
    EXPECT_EQ(QcCruise(), (TTexts{"1|True|True", "2|True|True", "3|True|True"}));
    // No climatology here: said in words once, with the levels left unchecked, the run never stopped.
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].rfind("No climat for TEMP in the Black Sea: its levels at ", 0), 0u) << Messages()[0];
    // Action 1: back at the start page, the run's progress hidden.
    EXPECT_EQ(Form->WizardStep, 0);
    EXPECT_FALSE(Control<QProgressBar>("Gauge1")->isVisible());
    EXPECT_TRUE(Control<QPushButton>("BitBtn1")->isEnabled());
    EXPECT_FALSE(Control<QPushButton>("BitBtn2")->isEnabled());
    EXPECT_EQ(ScreenCursor(), crDefault);
}

TEST_F(WizardRoad, CustomSearchChecksExactlyTheTickedCruise)
{
    KeepCruises();
    SqliteExec(Install->DbPath(), "update Cruise_Titles set Cruise_Name = 'ABX_03' where ID_Cruise = 3");
    SqliteExec(Install->DbPath(), "update Cruise_Titles set Cruise_Name = 'O''BRIEN' where ID_Cruise = 2");
    StartWindow();
    ChooseMode(3);
    Next();
    ASSERT_EQ(Form->WizardStep, 1);
    // No cruise ticked yet: NEXT waits.
    EXPECT_FALSE(Control<QPushButton>("BitBtn1")->isEnabled());
    Control<QTabWidget>("Pagecontrol1")->setCurrentWidget(Control<QWidget>("TabSheet2"));
    Control<QTabWidget>("PageControl4")->setCurrentIndex(1);
    QLineEdit *Search = Control<QLineEdit>("Edit4");
    TCheckListBox *Found = Control<TCheckListBox>("CheckListBox5");
    // A quote in the text is a quote of the name.
    Search->setText(QStringLiteral("O'BRIEN"));
    ASSERT_EQ(Found->Count(), 1);
    EXPECT_EQ(Found->ItemText(0), "O'BRIEN");
    // Typed with the automatic "*", a Cyrillic letter goes before it too.
    Search->clear();
    Control<QCheckBox>("CheckBox9")->click();
    for (const QChar Letter : QStringLiteral("экс")) {
        QKeyEvent Press(QEvent::KeyPress, 0, Qt::NoModifier, QString(Letter));
        QApplication::sendEvent(Search, &Press);
    }
    EXPECT_EQ(Search->text(), QStringLiteral("экс*"));
    Search->setText(QStringLiteral("x' or '1'='1"));
    EXPECT_EQ(Found->Count(), 0);
    EXPECT_TRUE(Messages().empty());
    Search->setText(QStringLiteral("AB*"));
    ASSERT_EQ(Found->Count(), 1);
    EXPECT_EQ(Found->ItemText(0), "ABX_03");
    Found->item(0)->setCheckState(Qt::Checked);
    EXPECT_TRUE(Control<QPushButton>("BitBtn1")->isEnabled());
    SaveScreenshot(*Form, "wizard_custom_choice");
    Next();
    Next();
    ASSERT_EQ(Form->WizardStep, 3);
    ChooseAction("RadioButton2", false);
    Next();
    EXPECT_EQ(QcCruise(), (TTexts{"1|False|False", "2|False|False", "3|True|True"}));
    EXPECT_EQ(SqliteRows(Install->DbPath(), "select count(*) from Cruise_Titles"), std::vector<apptest::TRow>{{"3"}});
}

TEST_F(WizardRoad, SelectedTestShowsItsThresholdPanel)
{
    KeepCruises("1");
    StartWindow();
    Next();
    TTreeNode *Limit = FindTreeNode(*Form->TestTree, "Speed limit");
    ASSERT_NE(Limit, nullptr);
    Form->TestTree->SetSelected(Limit);
    EXPECT_TRUE(Control<QWidget>("Panel2")->isVisible());
    EXPECT_TRUE(Control<QWidget>("Panel5")->isVisible());
    EXPECT_FALSE(Control<QWidget>("Panel3")->isVisible());
    // A test's own line (level 0) shows no threshold panel.
    Form->TestTree->SetSelected(FindTreeNode(*Form->TestTree, "Depth"));
    EXPECT_FALSE(Control<QWidget>("Panel2")->isVisible());
    // The thresholds reach the engine on arrival at the parameter page.
    Control<QSpinBox>("UpDown3")->setValue(17);
    Control<QSpinBox>("UpDown6")->setValue(3);
    Form->RadioGroup2->SetItemIndex(0);
    Next();
    EXPECT_EQ(VelocityLimitKnots, 17);
    EXPECT_EQ(RelativeJumpPct, 3);
    EXPECT_TRUE(DuplicatesEachStation);
    for (int Test = 0; Test < 6; ++Test)
        EXPECT_TRUE(SelectedTests.Bits(Test)) << Test;
}

TEST_F(WizardRoad, CascadingListsCountWhatTheyLoad)
{
    KeepCruises();
    StartWindow();
    ChooseMode(3);
    Next();
    Control<QTabWidget>("Pagecontrol1")->setCurrentWidget(Control<QWidget>("TabSheet2"));
    // The engine's cruise query is the one the lists were built from.
    EXPECT_EQ(CruiseListQry, Form->ZqCruQuery);
    EXPECT_EQ(Control<QLabel>("Label19")->text(), QStringLiteral("3 countries were loaded"));
    TCheckListBox *Countries = Control<TCheckListBox>("CheckListBox6");
    ASSERT_EQ(Countries->Count(), 3);
    // Highlighting a country shows its ships ticked, hence their cruises
    // (unticked: no ship is highlighted).
    const auto Turkey = Countries->findItems(QStringLiteral("TURKEY"), Qt::MatchExactly);
    ASSERT_EQ(Turkey.size(), 1);
    Countries->setCurrentItem(Turkey.front());
    Countries->itemClicked(Turkey.front());
    EXPECT_EQ(Control<QLabel>("Label20")->text(), QStringLiteral("1 ships were loaded"));
    EXPECT_EQ(Control<QLabel>("Label21")->text(), QStringLiteral("1 cruises were loaded"));
    TCheckListBox *Cruises = Control<TCheckListBox>("CheckListBox1");
    ASSERT_EQ(Cruises->Count(), 1);
    EXPECT_EQ(Cruises->ItemText(0), "BS91_BI01");
    EXPECT_FALSE(Cruises->Checked(0));
    EXPECT_FALSE(Control<QPushButton>("BitBtn1")->isEnabled());
    // The list buttons: tick all allows NEXT, untick all holds it again.
    Form->SpeedButton(11)->click();
    EXPECT_TRUE(Cruises->Checked(0));
    EXPECT_TRUE(Control<QPushButton>("BitBtn1")->isEnabled());
    Form->SpeedButton(12)->click();
    EXPECT_FALSE(Cruises->Checked(0));
    EXPECT_FALSE(Control<QPushButton>("BitBtn1")->isEnabled());
    SaveScreenshot(*Form, "wizard_cascading_lists");
}

TEST_F(WizardRoad, NoDataTestsSkipsTheParameterPage)
{
    KeepCruises("1");
    StartWindow();
    Next();
    ClickTreeState("Data Climate Check");
    ClickTreeState("Spikes");
    EXPECT_EQ(FindTreeNode(*Form->TestTree, "Spikes")->StateIndex(), 1);
    EXPECT_TRUE(Form->NoDataTests);
    Next();
    EXPECT_EQ(Form->WizardStep, 3);
    // BACK goes one step back: the parameter page, arrived at from step 1.
    Back();
    EXPECT_EQ(Form->WizardStep, 2);
    EXPECT_FALSE(Form->NoDataTests);
    EXPECT_EQ(CheckListState(*Control<TCheckListBox>("CheckListBox2")), 2);
    EXPECT_TRUE(Form->WebBrowser1->toPlainText().startsWith(QStringLiteral("Step 2.")));
    Back();
    EXPECT_EQ(Form->WizardStep, 1);
    EXPECT_TRUE(Form->WebBrowser1->toPlainText().startsWith(QStringLiteral("Step 1.")));
    // With no test at all ticked, NEXT waits.
    for (const char *Test : {"Duplicates", "Location", "Velocity", "Depth"})
        ClickTreeState(Test);
    EXPECT_FALSE(Control<QPushButton>("BitBtn1")->isEnabled());
}

TEST_F(WizardRoad, BackFromTheLastPageKeepsTheParameterTicksAndNoRunChecksNone)
{
    KeepCruises("1");
    StartWindow();
    Next();
    Next();
    TCheckListBox *Params = Control<TCheckListBox>("CheckListBox2");
    ASSERT_GE(Params->Count(), 2);
    Params->item(0)->setCheckState(Qt::Unchecked);
    Next();
    Back();
    ASSERT_EQ(Form->WizardStep, 2);
    EXPECT_FALSE(Params->Checked(0));
    EXPECT_TRUE(Params->Checked(1));
    EXPECT_TRUE(Control<QPushButton>("BitBtn1")->isEnabled());
    Next();
    // Whatever road leaves none ticked, CHECK refuses to run.
    for (int I = 0; I < Params->Count(); ++I)
        Params->SetChecked(I, false);
    ChooseAction("RadioButton2", true);
    Next();
    EXPECT_EQ(Messages(), TTexts{"No parameter is ticked for the data tests: go BACK and tick the parameters to check, "
                                 "or untick the data tests."});
    EXPECT_EQ(QcCruise("ID_Cruise|ChDataClimat"), TTexts{"1|False"});
}

// A run without data tests skips the parameter page; it still checks with
// the tests and thresholds of this pass, over the cruises of its mode.
// Before the run cruise 1 has had every test, cruise 2 the location test
// only, cruise 3 none.
TEST_F(WizardRoad, AMetadataOnlyRunChecksTheCruisesOfItsModeWithItsTests)
{
    const std::string Before1 = "1|True|True|True|True|True|True", Before2 = "2|False|True|False|False|False|False",
                      Before3 = "3|False|False|False|False|False|False";
    // Station tests ran, data tests did not, nor the duplicate search that
    // "Visual mode only" leaves to the editor, nor a depth check without
    // its grid: what an earlier pass marked of those holds (cruise 1).
    const auto Ran = [](const char *AId, const char *ADepth = "True") {
        return std::string(AId) + "|False|True|True|" + ADepth + "|False|False";
    };
    struct TCase {
        int Mode;
        const char *Search; // the custom mode's search text
        TTexts Expected;
        bool CutGrid = false; // refused at the start and said again at CHECK
        bool Spikes = false;  // "Spikes" stays ticked: said at CHECK, and it does not run
        // The grid replaced between the start and CHECK: by a cut one, or
        // by the whole one where the start had the cut one.
        bool Replaced = false;
    };
    const TCase Cases[] = {
        {0, "", {Before1, Ran("2"), Ran("3")}},
        {1, "", {Before1, Before2, Ran("3", "False")}, true},
        {2, "", {Before1, Ran("2"), Ran("3")}},
        {3, "MS91*", {Before1, Ran("2"), Before3}},
        {0, "", {Before1, Ran("2"), Ran("3")}, false, true},
        {2, "", {Before1, Ran("2", "False"), Ran("3", "False")}, false, false, true},
        {2, "", {Before1, Ran("2"), Ran("3")}, true, false, true},
    };
    KeepCruises();
    const std::string Grid = Install->Dir() + "Maps/out.grd";
    std::filesystem::copy_file(Grid, Grid + ".whole");
    for (const TCase &C : Cases) {
        SCOPED_TRACE(C.Mode);
        std::filesystem::copy_file(Grid + ".whole", Grid, std::filesystem::copy_options::overwrite_existing);
        if (C.CutGrid)
            std::filesystem::resize_file(Grid, std::filesystem::file_size(Grid) * 6 / 10);
        Dialogs->Messages.clear();
        StartWindow();
        TTexts Said = C.CutGrid ? TTexts{GridRefusal} : TTexts{};
        if (C.CutGrid) {
            EXPECT_EQ(GridRefusal.rfind(Grid + ", line ", 0), 0u) << GridRefusal;
        }
        const std::pair<int, std::vector<const char *>> Marks[] = {
            {1, {"ChDuplicates", "ChLocation", "ChVelosity", "ChDepth", "ChDataClimat", "ChDataSpike"}},
            {2, {"ChLocation"}}};
        for (const auto &[Id, Fields] : Marks) {
            ASSERT_TRUE(Form->QcCruTbl->Locate("ID_Cruise", rtl::Variant(Id)));
            Form->QcCruTbl->Edit();
            for (const char *F : Fields)
                Form->QcCruTbl->FieldByName(F)->SetAsBoolean(true);
            Form->QcCruTbl->Post();
        }
        ChooseMode(C.Mode);
        Next();
        if (C.Mode == 3) {
            Control<QTabWidget>("PageControl4")->setCurrentIndex(1);
            Control<QLineEdit>("Edit4")->setText(QString::fromLatin1(C.Search));
            TCheckListBox *Found = Control<TCheckListBox>("CheckListBox5");
            ASSERT_EQ(Found->Count(), 1);
            Found->item(0)->setCheckState(Qt::Checked);
        }
        ClickTreeState("Data Climate Check");
        if (!C.Spikes)
            ClickTreeState("Spikes");
        Control<QSpinBox>("UpDown3")->setValue(17);
        Next();
        if (C.Spikes)
            Next(); // the parameter page
        ASSERT_EQ(Form->WizardStep, 3);
        EXPECT_EQ(VelocityLimitKnots, 17);
        ASSERT_TRUE(Form->BitBtn1->isEnabled());
        ChooseAction("RadioButton2", false);
        if (C.Replaced) {
            std::filesystem::copy_file(Grid + ".whole", Grid, std::filesystem::copy_options::overwrite_existing);
            if (!C.CutGrid)
                std::filesystem::resize_file(Grid, std::filesystem::file_size(Grid) * 6 / 10);
        }
        Next(); // CHECK
        if (C.CutGrid != C.Replaced)
            Said.push_back("The depth check judges no station: " + GridRefusal);
        if (C.Spikes)
            Said.push_back(SpikesAloneText);
        EXPECT_EQ(Messages(), Said);
        EXPECT_EQ(QcCruise("ID_Cruise|ChDuplicates|ChLocation|ChVelosity|ChDepth|ChDataClimat|ChDataSpike"),
                  C.Expected);
        Stop();
        // The next case starts from no marks at all.
        SqliteExec(Install->Dir() + "SoftDB/worktables.sqlite3", "delete from \"marlin_demo-QCCruise\"");
    }
}

// A mode that selects no cruise (every cruise has had a test, or every test, or the database lists none) says so
// and leaves the wizard at its start: nothing is checked and no mark changes.
TEST_F(WizardRoad, AModeThatSelectsNoCruiseSaysSoAndChecksNothing)
{
    KeepCruises();
    StartWindow();
    const std::string Work = Install->Dir() + "SoftDB/worktables.sqlite3";
    for (const auto &[Mode, Marks, Why] :
         {std::tuple{1, "ChDepth = 1", "every cruise has had a test"},
          std::tuple{2, "ChDuplicates = 1, ChLocation = 1, ChVelosity = 1, ChDataClimat = 1, ChDataSpike = 1",
                     "every cruise has had every test"},
          std::tuple{0, "", "the station database lists no cruise"}}) {
        SqliteExec(Work, *Marks ? std::string("update \"marlin_demo-QCCruise\" set ") + Marks
                                : std::string("delete from \"marlin_demo-QCCruise\""));
        const auto Before = QcCruise("ID_Cruise|ChDuplicates|ChLocation|ChVelosity|ChDepth|ChDataClimat|ChDataSpike");
        ChooseMode(Mode);
        Next();
        EXPECT_EQ(Form->WizardStep, 0);
        EXPECT_EQ(Messages().back(), "No cruise is left to check in the mode \"" + Form->RadioGroup1->ItemText(Mode) +
                                         "\": " + Why + ".\nNothing is checked; choose another mode.");
        EXPECT_EQ(QcCruise("ID_Cruise|ChDuplicates|ChLocation|ChVelosity|ChDepth|ChDataClimat|ChDataSpike"), Before);
    }
}

TEST_F(WizardRoad, EscStopsTheRunAndLeavesTheCruiseUnmarked)
{
    KeepCruises();
    StartWindow();
    const auto Before = QcCruise();
    Next();
    Next();
    Next();
    ChooseAction("RadioButton2", true);
    bool NextDuringRun = true, BackDuringRun = true;
    // The run pumps messages once before its cruise loop (which starts by
    // clearing the Esc flags) and then between stations: the key comes at
    // the second pump, inside the first cruise.
    QTimer::singleShot(0, Form.get(), [&] {
        NextDuringRun = Form->BitBtn1->isEnabled();
        BackDuringRun = Form->BitBtn2->isEnabled();
        QTimer::singleShot(0, Form.get(), [&] {
            QKeyEvent Esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(Form->BitBtn1, &Esc);
        });
    });
    Next();
    EXPECT_FALSE(NextDuringRun);
    EXPECT_FALSE(BackDuringRun);
    const auto Shown = Messages();
    EXPECT_NE(std::find(Shown.begin(), Shown.end(), "Quality chek procedure was interrupted"), Shown.end());
    // No report after an interrupted run; the cruise it stopped in keeps
    // its marks.
    EXPECT_TRUE(Dialogs->ModalForms.empty() ||
                std::find(Dialogs->ModalForms.begin(), Dialogs->ModalForms.end(), "fmReport") ==
                    Dialogs->ModalForms.end());
    EXPECT_EQ(QcCruise(), Before);
    EXPECT_EQ(Form->WizardStep, 0);
    EXPECT_TRUE(Form->BitBtn1->isEnabled());
}

TEST_F(WizardRoad, EditorActionHandsTheCruisesToTheEditor)
{
    KeepCruises("1,2");
    SqliteExec(Install->DbPath(), "update Cruise_Titles set Cruise_Name = 'TWIN' where ID_Cruise in (1, 2)");
    std::filesystem::remove(Install->Dir() + "Maps/out.grd"); // the editor's depth check judges none: said at CHECK
    StartWindow();
    const auto Before = QcCruise();
    Next();
    Next();
    Next();
    ChooseAction("RadioButton4", true); // the editor only
    std::vector<std::string> Listed;
    bool Visual = false, EditorQueries = false;
    Dialogs->ModalHandlers.push_back([&](TForm &AForm) {
        auto &Editor = dynamic_cast<TForm2 &>(AForm);
        for (int I = 0; I < Editor.ListBox1->count(); ++I)
            Listed.push_back(Editor.ListBox1->item(I)->text().toStdString() + "|" +
                             Editor.ListBox1->item(I)->data(Qt::UserRole).toString().toStdString());
        Visual = VisualMode;
        EditorQueries = CastQry == Editor.ZqQuery1 && ProfileDataQry == Editor.ZqQuery2;
        SaveScreenshot(Editor, "wizard_editor_handover");
        return int(mrOk);
    });
    Dialogs->MessageAnswers = {mrOk, mrYes}; // the depth check's word, one more QC procedure
    Next(); // CHECK
    // After the editor the flag write-back asks first (no answer scripted:
    // its confirmation is cancelled and nothing is written).
    ASSERT_EQ(Dialogs->ModalForms, (std::vector<std::string>{"Form2", "fmFlagToMainDB"}));
    // Two cruises of one name reach the editor as two cruises.
    EXPECT_EQ(Listed, (TTexts{"TWIN|1", "TWIN|2"}));
    EXPECT_TRUE(Visual);
    EXPECT_TRUE(EditorQueries);
    EXPECT_FALSE(VisualMode);
    EXPECT_EQ(CastQry, Form->ZqQuery1);
    EXPECT_EQ(ProfileDataQry, Form->ZqDataQuery);
    // No check ran; the operator's Yes leads back to the start page.
    EXPECT_EQ(QcCruise(), Before);
    EXPECT_EQ(Messages().at(1), "The depth check judges no station: " + GridRefusal);
    EXPECT_EQ(Messages().back(), "One More Quality check procedure ?");
    EXPECT_EQ(Form->WizardStep, 0);
    EXPECT_TRUE(Form->isVisible());
    // With No the program ends.
    Next();
    Next();
    Next();
    ChooseAction("RadioButton4", false);
    Dialogs->ModalHandlers.push_back([](TForm &) { return int(mrOk); });
    Dialogs->MessageAnswers = {mrOk, mrNo};
    Next();
    ProcessMessages();
    EXPECT_FALSE(Form->isVisible());
}

// A copy marked read-only (for root too): checked, but no editor and no write-back, each said.
TEST_F(WizardRoad, AReadOnlyDatabaseIsCheckedAndStaysAsItWas)
{
    KeepCruises("1");
    std::filesystem::permissions(Install->DbPath(), std::filesystem::perms(0444));
    StartWindow();
    for (int Step = 0; Step < 3; ++Step)
        Next();
    ChooseAction("RadioButton1", false); // check, then the editor: refused
    Next();
    ChooseAction("RadioButton2", false); // check and come back
    Next();
    EXPECT_EQ(Messages().at(0).rfind("The station database is read-only: the manual editor", 0), 0u);
    EXPECT_EQ(Messages().back().rfind("The station database is read-only: the new flags", 0), 0u);
    EXPECT_TRUE(Dialogs->ModalForms.empty());
}

// The operator's everyday road, three times in one process: a full check
// with its report and write-back question; an Esc on the start page; the
// editor alone, whose write-back writes, then "One More Quality check
// procedure ?" Yes. Each pass starts clear of the Esc before it, and the
// editor hands back every link it borrowed. A set-up stage that fails without
// the database at fault (no start page text) is reported; every link holds.
TEST_F(WizardRoad, CheckThenEditorThreeTimesEachWithItsReportAndWriteBack)
{
    KeepCruises("1");
    std::filesystem::remove(Install->Dir() + "doc/step0.txt");
    StartWindow();
    EXPECT_FALSE(Messages().empty());
    EXPECT_EQ(MainConnection, Form->ZqConnection1);
    EXPECT_EQ(CastParamsQry, Form->ZqQuery3);
    const std::string Db = Install->DbPath();
    for (int Round = 0; Round < 3; ++Round) {
        SCOPED_TRACE(Round);
        Next();
        Next();
        Next();
        ChooseAction("RadioButton2", true); // check, report, back to the start
        const size_t Opened = Dialogs->ModalForms.size();
        Dialogs->ModalHandlers.push_back([&](TForm &AForm) {
            SaveScreenshot(AForm, "wizard_road_report_" + std::to_string(Round));
            return int(mrOk);
        });
        Next(); // CHECK
        EXPECT_EQ(TTexts(Dialogs->ModalForms.begin() + long(Opened), Dialogs->ModalForms.end()),
                  (TTexts{"fmReport", "fmFlagToMainDB"}));
        EXPECT_EQ(Form->WizardStep, 0);
        // No climatology is loaded: no level is judged, nor the cruise marked.
        EXPECT_EQ(QcCruise("ID_Cruise|ChDataClimat|ChDataSpike"), TTexts{"1|False|False"});

        // The level flags a check with a climatology leaves, and station
        // flags that differ from every one of them.
        SqliteExec(LocalDbDir + "worktables.sqlite3",
                   "attach '" + Db + "' as Station; insert or replace into \"" + DbTablePrefix +
                       "-PTS_DataFlags\" (ID_Cast, PRES, FPRES, FTEMP, FPSAL) select ID_Cast, PRES, 1, 1, 1 from "
                       "Station.PTS_Data");
        SqliteExec(Db, "update PTS_Data set FPRES = 9, FTEMP = 9, FPSAL = 9");
        apptest::KeepProfilePrints(Db, LocalDbDir, "PTS_Data"); // the flags it judged over
        QTest::keyClick(Form->BitBtn1, Qt::Key_Escape);
        Next();
        Next();
        Next();
        ChooseAction("RadioButton4", false); // the editor only
        Dialogs->ModalHandlers.push_back([&](TForm &AForm) {
            SaveScreenshot(AForm, "wizard_road_editor_" + std::to_string(Round));
            return int(mrOk);
        });
        Dialogs->ModalHandlers.push_back([](TForm &) { return int(mrYes); });
        Dialogs->ModalHandlers.push_back([](TForm &AForm) {
            AForm.findChild<QToolButton *>(QStringLiteral("SpeedButton21"))->click(); // every cruise
            return int(mrOk);
        });
        Dialogs->MessageAnswers.push_back(mrYes);
        Next(); // CHECK
        ASSERT_EQ(Form->WizardStep, 0);
        EXPECT_EQ(CastParamsQry, Form->ZqQuery3);
        EXPECT_NE(SqliteRows(Db, "select count(*) from PTS_Data where FTEMP <> 9")[0][0], "0");
    }
}

TEST_F(WizardRoad, AClosedWindowWaitsForTheRunToEnd)
{
    KeepCruises("1");
    StartWindow();
    Next();
    Next();
    Next();
    ChooseAction("RadioButton2", false);
    bool OpenDuringRun = false;
    // Closing is asked for while the run pumps messages, then CHECK once
    // more: neither may reach the running loop.
    QTimer::singleShot(0, Form.get(), [&] {
        Form->close();
        OpenDuringRun = Form->isVisible();
        Form->BitBtn1->click();
    });
    Next();
    EXPECT_TRUE(OpenDuringRun);
    EXPECT_EQ(QcCruise("ID_Cruise|ChLocation"), TTexts{"1|True"});
    // The run ended normally (back at the start), then the window closed.
    EXPECT_EQ(Form->WizardStep, 0);
    ProcessMessages();
    EXPECT_FALSE(Form->isVisible());
    // ... by the close that saves the settings.
    EXPECT_EQ(rtl::TIniFile(Install->Dir() + "Cfg/main.ini").ReadString("Map", "BlnName", ""), "QCCont/ALL_.bln");
}

TEST_F(WizardRoad, ClosingSavesThresholdsAndSettingsAndEmptiesTemp)
{
    // A value out of its control's range in the file is held to the range.
    {
        std::ofstream Out(Install->Dir() + "Cfg/updowns.txt");
        Out << "9\n0\n99\n3\n10\n";
    }
    StartWindow();
    EXPECT_EQ(Control<QSpinBox>("UpDown1")->value(), 5);
    EXPECT_EQ(Control<QSpinBox>("UpDown3")->value(), 22);
    Control<QSpinBox>("UpDown3")->setValue(15);
    Control<QSpinBox>("UpDown6")->setValue(4);
    {
        std::ofstream Scratch(Install->Dir() + "temp/scratch.tmp");
        Scratch << "x";
    }
    Form->close();
    std::ifstream In(Install->Dir() + "Cfg/updowns.txt");
    TTexts Lines;
    for (std::string L; std::getline(In, L);)
        Lines.push_back(L);
    EXPECT_EQ(Lines, (TTexts{"5", "0", "15", "3", "10"}));
    rtl::TIniFile Ini(Install->Dir() + "Cfg/main.ini");
    // The installation's own files relative to it.
    EXPECT_EQ(Ini.ReadString("Map", "BlnName", "?"), "QCCont/ALL_.bln");
    EXPECT_EQ(Ini.ReadString("Map", "XY", "?"), "FALSE"); // not changed: kept as the file has it
    EXPECT_EQ(Ini.ReadString("Clim", "SearchClimPath", "?"), "./");
    EXPECT_EQ(Ini.ReadString("Grd", "GrdName", "?"), "Maps/out.grd");
    EXPECT_TRUE(std::filesystem::is_empty(Install->Dir() + "temp"));
}

// Mended, the file lets CHECK run the ticked parameter (PSAL, not TEMP).
TEST_F(WizardRoad, AFailedRunGivesBackCursorProgressAndButtons)
{
    KeepCruises("1");
    // A name as long as its column takes: the cruise label keeps the window on its screen.
    SqliteExec(Install->DbPath(), "update Cruise_Titles set Cruise_Name = '" + std::string(150, 'W') + "' where ID_Cruise = 1");
    const std::string Bad = Install->Dir() + "QCCont/bad.bln";
    std::ofstream(Bad) << "4\n35 0\n35 20\nforty 42.0\n45 0\n";
    StartWindow();
    TClimImport Import;
    std::string Error;
    ASSERT_TRUE(ReadClimatologyFile(apptest::ProgramFolder() + "Clim/BlackSea_TS.txt", Import, Error)) << Error;
    Import.Params.Checked = {false, true};
    LoadClimatology(Import, *Form->StructTbl, *Form->ClimMSTbl, *Form->ClimBSTbl, LocalDbDir);
    Next();
    Control<QListWidget>("FileListBox1")->setCurrentRow(1); // bad.bln
    // "View" names the bad line once; Apply and CHECK say what it blocks.
    Dialogs->ModalHandlers.push_back([](TForm &F) {
        SaveScreenshot(F, "contour_dialog_bad_file");
        return int(mrOk);
    });
    Control<QPushButton>("BitBtn3")->click();
    Control<QPushButton>("BitBtn4")->click(); // Apply: said too
    Next();
    // Unticked as the operator does, TEMP leaves the information panel.
    auto *Params = Control<TCheckListBox>("CheckListBox2");
    const QString Temp = QString::fromStdString(Params->ItemText(0)) + QStringLiteral(";");
    EXPECT_TRUE(Form->WebBrowser1->toPlainText().contains(Temp));
    Params->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(Form->WebBrowser1->toPlainText().contains(Temp));
    Next();
    ChooseAction("RadioButton2", false);
    const auto Before = QcCruise();
    // A database fault inside the cruise loop takes the cruise and total labels down too.
    SqliteExec(Install->DbPath(), "alter table PTS_Data rename to PTS_Gone");
    Next(); // CHECK
    EXPECT_EQ(Messages().back().rfind("The quality check stopped at the cruise", 0), 0u) << Messages().back();
    EXPECT_EQ(QcCruise(), Before);
    EXPECT_EQ(ScreenCursor(), crDefault);
    EXPECT_TRUE(Form->BitBtn1->isEnabled());
    EXPECT_TRUE(Form->BitBtn2->isEnabled());
    for (const char *Name : {"Gauge1", "Gauge2", "Label1", "Label11", "Label12"})
        EXPECT_FALSE(Control(Name)->isVisible()) << Name;
    SqliteExec(Install->DbPath(), "alter table PTS_Gone rename to PTS_Data");
    Next(); // CHECK: the contour file cannot be read, which blocks the location check alone
    const std::string Blocked = "The location check judges no station: " + Bad + ", line 4: Invalid numeric input";
    const TTexts Said = Messages();
    EXPECT_EQ(std::count(Said.begin(), Said.end(), Blocked), 3); // Apply, and each CHECK
    EXPECT_EQ(QcCruise(), (TTexts{"1|False|True"}));
    EXPECT_LE(Form->Label11->fontMetrics().horizontalAdvance(Form->Label11->text()),
              Form->screen()->availableGeometry().width() / 2);
    EXPECT_NE(Form->Label11->toolTip().toStdString().find(std::string(150, 'W')), std::string::npos);
    const std::string Flags = "select count(FPSAL) > 0, count(FTEMP) from \"marlin_demo-PTS_DataFlags\"";
    EXPECT_EQ(SqliteRows(LocalDbDir + "worktables.sqlite3", Flags), (std::vector<apptest::TRow>{{"1", "0"}}));
}

TEST_F(WizardRoad, LocationPanelChoosesTheContourFile)
{
    std::filesystem::copy_file(Install->Dir() + "QCCont/ALL_.bln", Install->Dir() + "QCCont/BS_.bln");
    std::ofstream(Install->Dir() + "QCCont/holes.bln") << "3 1\n40 30\n50 30\n50 45\n";
    ContourFileName.clear();
    StartWindow();
    Next();
    EXPECT_FALSE(Control<QPushButton>("BitBtn4")->isEnabled());
    // The file in force is highlighted from the start: "View" shows it
    // without a click on it first, and without a word.
    Dialogs->ModalHandlers.push_back([](TForm &) { return int(mrOk); });
    Control<QPushButton>("BitBtn3")->click();
    EXPECT_TRUE(Messages().empty()) << Messages().front();
    ASSERT_EQ(Dialogs->ModalForms, (TTexts{"fmContDlg"}));
    EXPECT_EQ(ContourFileName, Install->Dir() + "QCCont/ALL_.bln");
    QListWidget *Files = Control<QListWidget>("FileListBox1");
    const auto Other = Files->findItems(QStringLiteral("BS_.bln"), Qt::MatchFixedString);
    ASSERT_EQ(Other.size(), 1);
    Files->setCurrentItem(Other.front());
    EXPECT_TRUE(Control<QPushButton>("BitBtn4")->isEnabled());
    const std::string Chosen = Install->Dir() + "QCCont/BS_.bln";
    Dialogs->ModalHandlers.push_back([](TForm &F) {
        static_cast<TfmContDlg &>(F).Button1->click(); // Change coloumns, then Cancel
        return int(mrCancel);
    });
    Control<QPushButton>("BitBtn3")->click(); // View
    EXPECT_EQ(Dialogs->ModalForms.back(), "fmContDlg");
    EXPECT_FALSE(SwapCoordColumns); // as the dialog found it
    Control<QPushButton>("BitBtn4")->click(); // Apply
    EXPECT_EQ(ExtraLinesFile, Chosen);
    EXPECT_FALSE(Control<QPushButton>("BitBtn4")->isEnabled());
    // Cancel in the editor's settings window gives back the swap that "View" kept and the file highlighted.
    TfmQCSettings Settings(Form.get());
    Settings.show();
    Files->setCurrentRow(0);
    Dialogs->ModalHandlers.push_back([&Settings](TForm &F) {
        EXPECT_EQ(F.parentWidget(), &Settings);
        static_cast<TfmContDlg &>(F).Button1->click();
        return int(mrOk);
    });
    Control<QPushButton>("BitBtn3")->click();
    // The climatology dialog too is the settings window's, not the main window's.
    Dialogs->ModalHandlers.push_back([&Settings](TForm &F) {
        EXPECT_EQ(F.parentWidget(), &Settings);
        return int(mrCancel);
    });
    Control<QPushButton>("BitBtn5")->click();
    Settings.BitBtn2->click();
    EXPECT_FALSE(SwapCoordColumns);
    EXPECT_EQ(Files->currentItem(), Other.front());
    EXPECT_FALSE(Control<QPushButton>("BitBtn4")->isEnabled());
    std::filesystem::remove(Chosen);
    Control<QPushButton>("BitBtn3")->click();
    EXPECT_EQ(Messages().back(), "File not Found");
    // A contour of holes only: said at Apply, in force without a region, not offered to the next start.
    const std::string Holes = Install->Dir() + "QCCont/holes.bln";
    Files->setCurrentItem(Files->findItems(QStringLiteral("holes.bln"), Qt::MatchFixedString).front());
    Control<QPushButton>("BitBtn4")->click();
    EXPECT_EQ(Messages().back(), "The location check judges no station: " + Holes + ", line 1: no polygon encloses an area");
    Form->close();
    EXPECT_EQ(rtl::TIniFile(Install->Dir() + "Cfg/main.ini").ReadString("MAP", "BlnName", "").find("holes"), std::string::npos);
}

} // namespace
