// The program's start on a private installation and a copy of the demo
// database: the work tables made and filled, the window at its start page,
// the step page written, pictures of the start and main windows; and the
// start's failure paths (no database path, a file that is no database).
#include "tests/app_support/main_fixture.h"

#include "app/Globals.h"
#include "app/UQC.h"
#include "app/manual/CheckTree.h"
#include "app/WorkTables.h"
#include "app/manual/Recalcs.h"
#include "app/uDBPath.h"
#include "app/uStart.h"
#include "dataaccess/comp/qxZqCompClient.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/IniFiles.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCheckListBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextBrowser>
#include <QThreadPool>
#include <QCoreApplication>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <chrono>
#include <csignal>
#include <thread>
#include <sys/wait.h>

using namespace maintest;

namespace {

std::string ReadFile(const std::string &APath)
{
    std::ifstream In(APath, std::ios::binary);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
}

// A file the driver recognises as a real Jet database and refuses.
void WriteJetFile(const std::string &APath)
{
    std::string Header(2048, '\0');
    Header[0] = 0x00;
    Header[1] = 0x01;
    const std::string Signature = "Standard Jet DB";
    Header.replace(4, Signature.size(), Signature);
    std::ofstream(APath, std::ios::binary) << Header;
}

// A path dialog answered as an operator would: the folder in the tree, the
// file clicked, OK.
std::function<int(TForm &)> ChooseFile(const std::string &APath)
{
    return [APath](TForm &AForm) {
        auto &Dialog = dynamic_cast<TForm4 &>(AForm);
        Dialog.SetFolder(std::filesystem::path(APath).parent_path().string());
        Dialog.SelectFile(std::filesystem::path(APath).filename().string());
        Dialog.FileListBox1Click();
        return int(Dialog.BitBtn1->isEnabled() ? mrOk : mrCancel);
    };
}

} // namespace

using StartUp = MainWindow;

TEST_F(StartUp, MakesTheWorkTablesWithOneRecordPerCruiseAndOpensAtTheStartPage)
{
    // The new file of a replacement whose program ended (no process has a
    // number beyond the largest the kernel gives) goes at the start; one of
    // a program still running stays.
    const std::string Stray = Install->Dir() + "Cfg/main.ini.~", Running = std::to_string(::getppid());
    const std::string Page = Install->Dir() + "doc/step0.html.~2147483647";
    std::ofstream(Stray + "2147483647") << "[Database]\n";
    std::ofstream(Stray + Running) << "[Database]\n";
    std::ofstream(Page) << "<html>";
    ASSERT_TRUE(Start());
    EXPECT_FALSE(std::filesystem::exists(Stray + "2147483647"));
    EXPECT_FALSE(std::filesystem::exists(Page));
    EXPECT_TRUE(std::filesystem::exists(Stray + Running));
    EXPECT_TRUE(Dialogs->Messages.empty()) << Dialogs->Texts().front();
    EXPECT_EQ(ProgramDir, Install->Dir());
    EXPECT_EQ(MainDbPath, Install->DbPath());
    EXPECT_EQ(MainDbSqlName, "\"" + Install->Dir() + "demo/marlin_demo\"");
    EXPECT_EQ(DbTablePrefix, "marlin_demo");
    EXPECT_TRUE(Form->DatabaseConnected());

    // One record per cruise of the main database, no test run yet.
    const auto Cruises = apptest::SqliteRows(Install->DbPath(),
                                             "select ID_Cruise, Cruise_Name from Cruise_Titles order by ID_Cruise");
    const auto Work = WorkRows("marlin_demo-QCCruise", {"ID_Cruise", "Cruise_Name"});
    ASSERT_EQ(Work.size(), Cruises.size());
    for (size_t I = 0; I < Cruises.size(); ++I)
        EXPECT_EQ(Work[I], Cruises[I][0] + "|" + Cruises[I][1]);
    const auto Flags = WorkRows("marlin_demo-QCCruise",
                                {"ChDuplicates", "ChLocation", "ChVelosity", "ChDepth", "ChDataClimat",
                                 "ChDataSpike", "Duplicates", "Location", "Velosity", "Depth", "DataClimat",
                                 "DataSpike"});
    for (const std::string &Row : Flags)
        EXPECT_EQ(Row.find("True"), std::string::npos) << Row;
    for (const char *Suffix : {"-Cast_TitlesFlags.db", "-Cast_TitlesOldFlags.db", "-undocast.db", "-Undoparam.db",
                               "-PTS_DataFlags.db", "-PTS_DataOldFlags.db"})
        EXPECT_TRUE(LocalTableFileExists(Install->Dir() + "SoftDB/marlin_demo" + Suffix)) << Suffix;

    // The start page: the mode choice and "Change Database" only, BACK off.
    for (const char *Name : {"RadioGroup1", "BitBtn8"})
        EXPECT_FALSE(Control(Name)->isHidden()) << Name;
    for (const char *Name : {"Pagecontrol1", "Label2", "Panel8", "GroupBox2"})
        EXPECT_TRUE(Control(Name)->isHidden()) << Name;
    EXPECT_FALSE(Control<QPushButton>("BitBtn2")->isEnabled());
    EXPECT_TRUE(Control<QPushButton>("BitBtn1")->isEnabled());
    EXPECT_EQ(Control<QPushButton>("BitBtn1")->text().toStdString(), "NEXT");
    EXPECT_FALSE(Control<QPushButton>("BitBtn1")->icon().isNull());
    for (const char *Name : {"Gauge1", "Gauge2", "Label1", "Label11", "Label12"})
        EXPECT_TRUE(Control(Name)->isHidden()) << Name;
    EXPECT_FALSE(Control<QTabWidget>("Pagecontrol1")->isTabVisible(1));
    EXPECT_EQ(Form->RadioGroup1->ItemIndex(), 0);
    EXPECT_EQ(Form->width(), 960);
    EXPECT_EQ(Form->height(), 683);

    // The start window went, having reached the end.
    auto *Start = Form->findChild<TfmStart *>(QString::fromLatin1("fmStart"));
    ASSERT_NE(Start, nullptr);
    EXPECT_TRUE(Start->isHidden());
    EXPECT_EQ(Start->Gauge1->value(), 100);
    EXPECT_EQ(ScreenCursor(), crDefault);

    apptest::SaveScreenshot(*Form, "app_main_window_step0");
}

TEST_F(StartUp, StepPageHoldsTheTextFileWithTheSummaryBeforeItsLastTwoLines)
{
    ASSERT_TRUE(Start());
    const std::string Text = ReadFile(Install->Dir() + "doc/step0.txt");
    const std::string Html = ReadFile(Install->Dir() + "doc/step0.html");
    const size_t BodyEnd = Text.rfind("</body>");
    ASSERT_NE(BodyEnd, std::string::npos);
    // The page begins with the text file unchanged, up to its last two lines.
    EXPECT_EQ(Html.substr(0, BodyEnd), Text.substr(0, BodyEnd));
    const std::string Summary = "<hr>\n<B>Selected option:</B>QUALITY CONTROL PROCEDURE FOR ALL CRUISES;<br>\n"
                                "<B>Current database:</B>" +
                                Install->DbPath() + ".<br>\n</body>";
    EXPECT_NE(Html.find(Summary), std::string::npos) << Html;
    EXPECT_LT(Html.find("<hr>"), Html.find("</body>"));
    EXPECT_NE(Form->WebBrowser1->toPlainText().toStdString().find("Current database:"), std::string::npos);
}

TEST_F(StartUp, StartWindowIsFramelessOnTopCentredWithItsFixedTexts)
{
    ASSERT_TRUE(Start());
    auto *Start = Form->findChild<TfmStart *>(QString::fromLatin1("fmStart"));
    ASSERT_NE(Start, nullptr);
    EXPECT_TRUE(Start->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(Start->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(Start->x(), (1280 - Start->width()) / 2);
    EXPECT_EQ(Start->y(), (1024 - Start->height()) / 2);
    std::vector<std::string> Texts;
    for (const QLabel *Label : Start->findChildren<QLabel *>())
        Texts.push_back(Label->text().toStdString());
    for (const char *Fixed : {"MARLIN DATA QUALITY CONTROL UTILITY", "Version 1.00 beta", "2008"})
        EXPECT_NE(std::find(Texts.begin(), Texts.end(), Fixed), Texts.end()) << Fixed;
    // As it looks during a stage.
    Start->SetStage("Synchronization of Cruise List...");
    Start->SetProgress(45);
    apptest::SaveScreenshot(*Start, "app_start_window");
    Start->hide();
}

TEST_F(StartUp, ThresholdsComeFromUpdownsAndTheTestTreeHasOneBitPerTest)
{
    std::ofstream(Install->Dir() + "Cfg/updowns.txt", std::ios::trunc) << "0\n0\n14\n3\n10\n";
    ASSERT_TRUE(Start());
    EXPECT_EQ(Control<QSpinBox>("UpDown1")->value(), 0);
    EXPECT_EQ(Control<QSpinBox>("UpDown3")->value(), 14);
    EXPECT_EQ(Control<QSpinBox>("UpDown4")->value(), 3);
    EXPECT_EQ(Control<QSpinBox>("UpDown5")->value(), 10);
    // Not in the file: the form's start values.
    EXPECT_EQ(Control<QSpinBox>("UpDown6")->value(), 10);
    EXPECT_EQ(Control<QSpinBox>("UpDown7")->value(), 1);

    ASSERT_NE(Form->TestTree, nullptr);
    int TopLevel = 0;
    for (TTreeNode *Node = Form->TestTree->GetFirstNode(); Node; Node = Node->GetNext()) {
        if (Node->Level() == 0) {
            ++TopLevel;
            EXPECT_EQ(Node->StateIndex(), 3) << Node->Text();
        } else {
            EXPECT_EQ(Node->StateIndex(), 0) << Node->Text();
        }
    }
    EXPECT_EQ(TopLevel, 6); // the top-level lines of QcParams.txt
    EXPECT_EQ(SelectedTests.Size(), 6);
    EXPECT_EQ(TestResults.Size(), 6);
    for (int I = 0; I < 6; ++I)
        EXPECT_FALSE(SelectedTests.Bits(I) || TestResults.Bits(I));
}

TEST_F(StartUp, ContourFileAndAxesFromTheSettingsOnlyWhenTheFileExists)
{
    const std::string Own = Install->Dir() + "QCCont/own.bln";
    std::filesystem::copy_file(Install->Dir() + "QCCont/ALL_.bln", Own);
    {
        // Section and key names in other letter cases than the program's.
        std::string Ini = ReadFile(Install->Dir() + "Cfg/main.ini");
        const size_t Map = Ini.find("[MAP]");
        const size_t End = Ini.find("[Clim]");
        ASSERT_TRUE(Map != std::string::npos && End != std::string::npos);
        Ini.replace(Map, End - Map,
                    "[map]\nBLNNAME=" + Install->Dir() + "QCCont/missing.bln\nxy=TRUE\ninvx=TRUE\nInvY=0\n\n");
        std::ofstream(Install->Dir() + "Cfg/main.ini", std::ios::trunc) << Ini;
    }
    ASSERT_TRUE(Start());
    // A contour file that is not there: the default, vertical inversion
    // only, said; the close keeps the settings as the operator wrote them.
    EXPECT_EQ(ExtraLinesFile, Install->Dir() + "QCCont/ALL_.bln");
    EXPECT_FALSE(MapInvertX);
    EXPECT_TRUE(MapInvertY);
    ASSERT_NE(Form->FileListBox1->currentItem(), nullptr);
    EXPECT_EQ(Form->FileListBox1->currentItem()->text().toStdString(), "ALL_.bln");
    EXPECT_EQ(Dialogs->Texts(),
              std::vector<std::string>{Install->Dir() + "Cfg/main.ini, line 5: the file \"" + Install->Dir() +
                                       "QCCont/missing.bln\" named in BlnName of [MAP] was not found\n"
                                       "The location check's region is that of " + ExtraLinesFile});
    Form->close();
    rtl::TIniFile Kept(Install->Dir() + "Cfg/main.ini");
    EXPECT_EQ(Kept.ReadString("MAP", "BlnName", ""), Install->Dir() + "QCCont/missing.bln");
    EXPECT_EQ(Kept.ReadString("MAP", "XY", ""), "TRUE");
    Stop();

    // The same settings naming a file that exists: the ini decides.
    std::string Ini = ReadFile(Install->Dir() + "Cfg/main.ini");
    Ini.replace(Ini.find("missing.bln"), 11, "own.bln");
    std::ofstream(Install->Dir() + "Cfg/main.ini", std::ios::trunc) << Ini;
    ASSERT_TRUE(Start());
    EXPECT_EQ(ExtraLinesFile, Own);
    EXPECT_TRUE(MapInvertX);
    EXPECT_FALSE(MapInvertY);
    EXPECT_TRUE(SwapCoordColumns);
    EXPECT_EQ(GridFileName, Install->Dir() + "Maps/out.grd");
    EXPECT_EQ(ZoomStack.size(), 1u);
    EXPECT_EQ(ZoomIndex, 0);
}

using StartPath = MainWindow;

TEST_F(StartPath, NoDatabaseSectionOpensThePathDialogAndCancelEndsWithoutAWord)
{
    Install->SetDatabaseSetting("");
    Dialogs->ModalHandlers.push_back([](TForm &AForm) {
        EXPECT_EQ(AForm.windowTitle().toStdString(), "SELECTION OF PATH TO TORVAL DATABASE");
        return int(mrCancel);
    });
    EXPECT_FALSE(Start());
    EXPECT_FALSE(Form->StartRefused()); // the operator's choice: no fault
    ASSERT_EQ(Dialogs->ModalForms.size(), 1u);
    EXPECT_EQ(Dialogs->ModalForms[0], "Form4");
    EXPECT_TRUE(Dialogs->Messages.empty());
    EXPECT_EQ(Install->DatabaseSetting(), "");
}

// A stale path is replaced by the file chosen in the dialog, once that file is read: an empty one, or one whose
// cruise list lacks the names, is said and not kept (nor by "Change Database"), and the next start asks again.
TEST_F(StartPath, AStalePathIsReplacedByTheFileChosenInTheDialog)
{
    const std::string Chosen = Install->CopyDatabase("other/black2007.mdb"), Empty = Install->Dir() + "other/e.mdb";
    const std::string NoNames = Install->CopyDatabase("other/nonames.mdb");
    std::ofstream{Empty};
    apptest::SqliteExec(NoNames, "alter table Cruise_Titles drop column Cruise_Name");
    Install->SetDatabaseSetting(Install->Dir() + "gone/old.mdb");
    for (const std::string &Refused : {Empty, NoNames}) {
        Dialogs->ModalHandlers.push_back(ChooseFile(Refused));
        ASSERT_TRUE(Start());
        EXPECT_EQ(Install->DatabaseSetting(), Install->Dir() + "gone/old.mdb") << Refused;
    }
    EXPECT_EQ(Dialogs->Texts()[1], "The file " + Empty + " is empty: it holds no station database.");
    Dialogs->ModalHandlers.push_back([&, Choose = ChooseFile(Chosen)](TForm &AForm) {
        // Its folder gone: the program's own, not the root.
        EXPECT_EQ(dynamic_cast<TForm4 &>(AForm).ShellTreeView1->Folder(), Install->Dir());
        return Choose(AForm);
    });
    ASSERT_TRUE(Start());
    EXPECT_EQ(MainDbPath, Chosen);
    EXPECT_EQ(Install->DatabaseSetting(), "other/black2007.mdb"); // goes with a copy of the folder
    EXPECT_EQ(DbTablePrefix, "black2007");
    EXPECT_TRUE(LocalTableFileExists(Install->Dir() + "SoftDB/black2007-QCCruise.db"));
    EXPECT_TRUE(Form->DatabaseConnected());
    Dialogs->ModalHandlers.push_back(ChooseFile(NoNames));
    Control<QPushButton>("BitBtn8")->click();
    EXPECT_EQ(Install->DatabaseSetting(), "other/black2007.mdb");
}

TEST_F(StartPath, AFileThatIsNoDatabaseIsReportedOnceAndTheWindowStillOpens)
{
    const std::string Bad = Install->Dir() + "demo/broken.mdb";
    WriteJetFile(Bad);
    Install->SetDatabaseSetting(Bad);
    ASSERT_TRUE(Start());
    ASSERT_EQ(Dialogs->Messages.size(), 1u) << Dialogs->Texts().back();
    EXPECT_EQ(Dialogs->Messages[0].Text.find("Can't Connect to Main Database\n\n[Vexa]"), 0u) << Dialogs->Texts()[0];
    EXPECT_EQ(Dialogs->Messages[0].Icon, mtError);
    EXPECT_EQ(Dialogs->Messages[0].Buttons, TMsgDlgButtons(mbOK));
    EXPECT_FALSE(Form->DatabaseConnected());
    // The work tables are made all the same; nothing was synchronised.
    EXPECT_TRUE(WorkRows("broken-QCCruise", {"ID_Cruise"}).empty());
    EXPECT_FALSE(Control("RadioGroup1")->isHidden());
    EXPECT_FALSE(Control<QPushButton>("BitBtn2")->isEnabled());
    EXPECT_EQ(ScreenCursor(), crDefault);
    apptest::SaveScreenshot(*Form, "app_main_window_no_database");
    Control<QPushButton>("BitBtn1")->click();
    EXPECT_EQ(Form->WizardStep, 0);
    const std::string Empty = Install->CopyDatabase("demo/empty.mdb");
    apptest::SqliteExec(Empty, "delete from Cruise_Titles");
    Dialogs->ModalHandlers.push_back(ChooseFile(Empty));
    Control<QPushButton>("BitBtn8")->click();
    Control<QPushButton>("BitBtn1")->click();
    EXPECT_EQ(Dialogs->Texts().back(), "The station database holds no cruises");

    // "Change Database" to a good file recovers.
    Dialogs->ModalHandlers.push_back(ChooseFile(Install->DbPath()));
    Control<QPushButton>("BitBtn8")->click();
    EXPECT_TRUE(Form->DatabaseConnected());
    EXPECT_EQ(Install->DatabaseSetting(), "demo/marlin_demo.mdb");
    EXPECT_EQ(WorkRows("marlin_demo-QCCruise", {"ID_Cruise"}).size(),
              apptest::SqliteRows(Install->DbPath(), "select ID_Cruise from Cruise_Titles").size());
    EXPECT_NE(ReadFile(Install->Dir() + "doc/step0.html").find(Install->DbPath() + ".<br>"), std::string::npos);
}

// "Change Database" cancelled, or to a file refused by the driver, by its work tables (a view where one belongs)
// or as no station database (an empty file, one without Cast_Titles): the database in use stays with its work
// tables and settings, also at the next start, and a refusal says so; with the database in use gone since, the
// refusal says that the program is on none and what to do.
TEST_F(StartPath, CancelInChangeDatabaseChangesNothing)
{
    WriteJetFile(Install->Dir() + "demo/broken.mdb");
    const std::string Empty = Install->Dir() + "demo/empty.mdb", NoCasts = Install->CopyDatabase("demo/nocasts.mdb");
    std::ofstream{Empty};
    apptest::SqliteExec(NoCasts, "drop table Cast_Titles");
    ASSERT_TRUE(Start());
    apptest::SqliteExec(Install->Dir() + "SoftDB/worktables.sqlite3", "create view \"v-Cast_TitlesFlags\" as select 1");
    const std::pair<std::string, std::string> Choices[] = {
        {"", ""},
        {Install->Dir() + "demo/broken.mdb", "Can't Connect to Main Database\n\n[Vexa]"},
        {Install->CopyDatabase("v.mdb"), "use DROP VIEW"},
        {Empty, "The file " + Empty + " is empty: it holds no station database.\n\n"},
        {NoCasts, "The file " + NoCasts + " holds no station database the program can use: its table Cast_Titles "
                  "cannot be read.\n\n[Vexa]"}};
    for (const auto &[File, Said] : Choices) {
        Dialogs->ModalHandlers.push_back(File.empty() ? [](TForm &) { return int(mrCancel); } : ChooseFile(File));
        Control<QPushButton>("BitBtn8")->click();
        const std::string Text = Dialogs->Messages.empty() ? "" : Dialogs->Texts().back();
        EXPECT_EQ(Text.rfind(Said, 0), 0u) << Text;
        EXPECT_EQ(Text.find("\n\nThe program stays on the database " + Install->DbPath()) == std::string::npos, Said.empty());
        EXPECT_EQ(MainDbPath + " " + Form->CastFlagtbl->TableName() + " " + Install->DatabaseSetting(),
                  Install->DbPath() + " marlin_demo-Cast_TitlesFlags.db demo/marlin_demo.mdb");
        EXPECT_TRUE(Form->DatabaseConnected());
    }
    EXPECT_EQ(Dialogs->ModalForms.size(), 5u);
    EXPECT_EQ(std::filesystem::file_size(Empty), 0u);
    const size_t Said = Dialogs->Messages.size();
    ASSERT_TRUE(Start());
    EXPECT_EQ(Dialogs->Messages.size(), Said);
    EXPECT_TRUE(Form->DatabaseConnected());

    std::filesystem::remove(Install->DbPath());
    Dialogs->ModalHandlers.push_back(ChooseFile(Empty));
    Control<QPushButton>("BitBtn8")->click();
    const std::string Gone = "The program was on the database " + Install->DbPath() + ", which is gone (no such file)."
                             "\nThe program is on no database: choose a station database with \"Change Database\".";
    EXPECT_EQ(Dialogs->Texts().back(), "The file " + Empty + " is empty: it holds no station database.\n\n" + Gone);
    EXPECT_FALSE(Form->DatabaseConnected());
    Control<QPushButton>("BitBtn1")->click();
    EXPECT_EQ(Dialogs->Texts().back(), Gone);
    EXPECT_EQ(Install->DatabaseSetting(), "demo/marlin_demo.mdb");
}

TEST_F(StartPath, ChoosingTheSameDatabaseAgainRedoesTheStagesAndChangesNoWorkTable)
{
    ASSERT_TRUE(Start());
    const std::vector<std::string> Fields = {"ID_Cruise", "MAR", "Cruise_Name", "ChDepth"};
    const auto Before = WorkRows("marlin_demo-QCCruise", Fields);
    Dialogs->ModalHandlers.push_back(ChooseFile(Install->DbPath()));
    Control<QPushButton>("BitBtn8")->click();
    EXPECT_TRUE(Dialogs->Messages.empty());
    EXPECT_TRUE(Form->DatabaseConnected());
    EXPECT_EQ(WorkRows("marlin_demo-QCCruise", Fields), Before);
    EXPECT_TRUE(Form->QcCruTbl->Active());
    EXPECT_EQ(ScreenCursor(), crDefault);

    // Every list of the custom choice is the database's now open: no cruise renamed since, ticked or found.
    Form->CheckListBox6->SetChecked(0, true);
    Form->CheckListBox6Click();
    Form->CheckListBox7->SetChecked(0, true);
    Form->CheckListBox7Click();
    const std::string Old = Form->CheckListBox1->ItemText(0);
    Form->Edit4->setText(QString::fromStdString(Old));
    ASSERT_EQ(Form->CheckListBox5->Count(), 1);
    apptest::SqliteExec(Install->DbPath(), "update Cruise_Titles set Cruise_Name = 'Renamed' where Cruise_Name = '" + Old + "'");
    Dialogs->ModalHandlers.push_back(ChooseFile(Install->DbPath()));
    Control<QPushButton>("BitBtn8")->click();
    EXPECT_EQ(Form->CheckListBox7->Count() + Form->CheckListBox1->Count() + Form->CheckListBox5->Count(), 0);
}

// Two station databases of one file name in two folders, switched three times: each keeps its own marks; the
// tables an earlier version made (recorded for no database) go to the one the settings name at the upgrade.
TEST_F(StartPath, TwoDatabasesOfOneFileNameKeepTheirOwnHistoryThroughEveryChange)
{
    const std::string A = Install->CopyDatabase("a/s31337.mdb"), B = Install->CopyDatabase("b/s31337.mdb");
    const std::string Work = Install->Dir() + "SoftDB/worktables.sqlite3";
    Install->SetDatabaseSetting(A);
    ASSERT_TRUE(Start());
    Stop();
    TLocalDatabase::CloseAll();
    apptest::SqliteExec(Work, "drop table if exists DbPrefixes");
    apptest::SqliteExec(Work, "update \"s31337-QCCruise\" set ChDepth = 1 where ID_Cruise = 1");
    ASSERT_TRUE(Start());
    const auto Marks = [&] { // of the first three cruises
        std::string Text = DbTablePrefix + " ";
        for (const std::string &Row : WorkRows(DbTablePrefix + "-QCCruise", {"ChDepth"}))
            Text += Row == "True" ? '1' : '0';
        return Text.substr(0, Text.size() - 27);
    };
    EXPECT_EQ(Marks(), "s31337 100");
    for (const std::string &Path : {B, A, B, A}) {
        Dialogs->ModalHandlers.push_back(ChooseFile(Path));
        Control<QPushButton>("BitBtn8")->click();
        EXPECT_EQ(Install->DatabaseSetting(), Path.substr(Install->Dir().size()));
        if (Path == B && Marks() == "s31337~2 000")
            apptest::SqliteExec(Work, "update \"s31337~2-QCCruise\" set ChLocation = 1, ChDepth = 1 where ID_Cruise = 2");
        EXPECT_EQ(Marks(), Path == A ? "s31337 100" : "s31337~2 010");
    }
    EXPECT_TRUE(Dialogs->Messages.empty()) << Dialogs->Texts().back();
}

// Names longer than their Text(50) column (another tool's): said once by the start and once by "Change Database",
// in the library's words, the list cut; twelve cruises whose names are one once cut stay twelve.
TEST_F(StartPath, NamesLongerThanTheirColumnAreSaidOnceAtStartAndAtChangeDatabase)
{
    apptest::SqliteExec(Install->DbPath(), "update Cruise_Titles set Cruise_Name = '" + std::string(297, 'L') +
                                               "' || (100 + ID_Cruise) where ID_Cruise <= 12");
    std::string Said;
    for (int Id = 1; Id <= 10; ++Id)
        Said += "The text of Cruise_Titles.Cruise_Name in the row with ID_Cruise " + std::to_string(Id) +
                " is longer than its column takes: the first 150 bytes are read.\n";
    ASSERT_TRUE(Start());
    EXPECT_EQ(Dialogs->Texts(), std::vector<std::string>{Said + "and 2 more"});
    const auto Names = WorkRows("marlin_demo-QCCruise", {"Cruise_Name"});
    EXPECT_EQ(std::count(Names.begin(), Names.end(), std::string(150, 'L')), 12);
    Dialogs->ModalHandlers.push_back(ChooseFile(Install->DbPath()));
    Control<QPushButton>("BitBtn8")->click();
    EXPECT_EQ(Dialogs->Texts(), std::vector<std::string>(2, Said + "and 2 more"));
}

// Settings naming files of another program folder (copied with settings an earlier version kept whole): said
// with this folder's own, which Yes takes and keeps, No leaves; a database in no program folder is not asked about.
TEST_F(StartPath, FilesOfAnotherProgramFolderAreSaidAndThisFoldersOwnOffered)
{
    const apptest::TTestInstallation Other;
    SetProgramFileName(Install->Dir() + "marlinqc");
    const std::string Ini = Install->Dir() + "Cfg/main.ini", O = Other.Dir();
    const std::string Whole = "[Database]\nDatabaseName=" + O + "demo/marlin_demo.mdb\n[MAP]\nBlnName=" + O +
                              "QCCont/ALL_.bln\nXY=False\n[Clim]\nSearchClimPath=" + O + "\n[Grd]\nGrdName=" + O +
                              "Maps/out.grd\n";
    for (const int Answer : {int(mrNo), int(mrYes)}) {
        std::ofstream(Ini, std::ios::trunc) << Whole;
        Dialogs->MessageAnswers = {Answer};
        ASSERT_TRUE(Start());
        EXPECT_NE(Dialogs->Texts().back().find(Ini + ", line 4: BlnName of [MAP] names \"" + O + "QCCont/ALL_.bln\" of "
                                               "another program folder, " + O + "\nThis program's own is \"" +
                                               Install->Dir() + "QCCont/ALL_.bln\""),
                  std::string::npos);
        const std::string In = Answer == mrYes ? Install->Dir() : O;
        EXPECT_EQ(MainDbPath + " " + ExtraLinesFile + " " + ClimSearchPath,
                  In + "demo/marlin_demo.mdb " + In + "QCCont/ALL_.bln " + In);
        Form->close();
        EXPECT_EQ(ReadFile(Ini), Answer == mrNo ? Whole
                                                : "[Database]\nDatabaseName=demo/marlin_demo.mdb\n[MAP]\nBlnName=QCCont/"
                                                  "ALL_.bln\nXY=False\n[Clim]\nSearchClimPath=./\n[Grd]\nGrdName=Maps/out.grd\n");
    }
    Install->SetDatabaseSetting(Other.CopyDatabase("data/black.mdb"));
    std::filesystem::remove(O + "Cfg/main.ini"); // a folder of data now
    Dialogs->Messages.clear();
    ASSERT_TRUE(Start());
    EXPECT_EQ(MainDbPath + " " + std::to_string(Dialogs->Messages.size()), O + "data/black.mdb 0");
}

// The settings file unwritable: Change Database and the close go on, each saying once what was not kept.
TEST_F(StartPath, ASettingsFileThatCannotBeWrittenStillChangesTheDatabaseAndClosesAndSaysSo)
{
    ASSERT_TRUE(Start());
    const std::string Chosen = Install->CopyDatabase("other/black2007.mdb");
    std::filesystem::remove(Install->Dir() + "Cfg/main.ini");
    std::filesystem::create_directory(Install->Dir() + "Cfg/main.ini"); // unwritable whatever the rights
    Dialogs->ModalHandlers.push_back(ChooseFile(Chosen));
    Control<QPushButton>("BitBtn8")->click();
    ASSERT_EQ(Dialogs->Messages.size(), 1u);
    EXPECT_EQ(Dialogs->Messages[0].Text.find("The database chosen was not kept for the next start:\n"), 0u)
        << Dialogs->Messages[0].Text;
    EXPECT_TRUE(LocalTableFileExists(Install->Dir() + "SoftDB/black2007-QCCruise.db"));
    Form->close();
    ASSERT_EQ(Dialogs->Messages.size(), 2u);
    EXPECT_EQ(Dialogs->Messages[1].Text, "Not all settings of this session were kept for the next start:\nCannot "
                                         "create file \"" + Install->Dir() + "Cfg/main.ini\"");
    EXPECT_FALSE(Form->ZqConnection1->Connected()); // the close went on
}

// The program folder names its driver relative to itself: a copy in a
// folder with a space and Cyrillic letters points unixODBC at its own.
TEST(ProgramFolder, NamesTheDriverOfItsOwnFolderWhereverItLies)
{
    const std::string Dir = std::filesystem::temp_directory_path().string() + "/Копия " +
                            std::to_string(::getpid()) + "/";
    std::filesystem::create_directories(Dir);
    std::filesystem::copy_file(apptest::ProgramFolder() + "odbcinst.ini", Dir + "odbcinst.ini");
    const std::string Was[] = {std::getenv("ODBCSYSINI"), std::getenv("ODBCINSTINI")};
    UseProgramFolderDriver(Dir);
    rtl::TMemIniFile Given(std::string(std::getenv("ODBCSYSINI")) + "/" + std::getenv("ODBCINSTINI"));
    EXPECT_EQ(Given.ReadString("Microsoft Access Driver (*.mdb)", "Driver", ""), Dir + "libmarlinaccessodbc.so");
    ::setenv("ODBCSYSINI", Was[0].c_str(), 1);
    ::setenv("ODBCINSTINI", Was[1].c_str(), 1);
    std::filesystem::remove_all(Dir);
}

using StartFault = MainWindow;

// A threshold or settings file the start refuses is said by name, takes no
// part, and is left as it was by the close (no text: a folder).
TEST_F(StartFault, ARefusedThresholdOrSettingsFileIsSaidAndLeftAsItIs)
{
    std::string Utf16; // without its byte-order mark
    for (const char C : ReadFile(Install->Dir() + "Cfg/main.ini"))
        Utf16 += std::string{C, '\0'};
    const std::string Rows[][3] = {
        {"Cfg/updowns.txt", "5\n0\n1x\n3\n10\n", ", line 3: \"1x\" is no whole number\nThe thresholds start at"},
        {"Cfg/updowns.txt", "", ": File access denied\nThe thresholds start at"},
        {"Cfg/main.ini", Utf16, ", line 1: the file is not UTF-8\nNo setting is read from it"}};
    for (const auto &[File, Text, Said] : Rows) {
        const std::string Path = Install->Dir() + File, Original = ReadFile(Path);
        std::filesystem::remove(Path);
        if (Text.empty() ? !std::filesystem::create_directory(Path) : !(std::ofstream(Path, std::ios::binary) << Text))
            FAIL() << Path;
        Dialogs->ModalHandlers.push_back(ChooseFile(Install->DbPath())); // the settings name no database
        ASSERT_TRUE(Start());
        EXPECT_EQ(Dialogs->Texts().at(0).rfind(Path + Said, 0), 0u) << Dialogs->Texts().at(0);
        EXPECT_EQ(Control<QSpinBox>("UpDown3")->value(), 12);
        Form->close();
        EXPECT_TRUE(Text.empty() ? std::filesystem::is_directory(Path) : ReadFile(Path) == Text) << File;
        Stop();
        Dialogs->Messages.clear();
        Dialogs->ModalHandlers.clear();
        std::filesystem::remove(Path);
        std::ofstream(Path, std::ios::binary) << Original;
    }
}

TEST_F(StartFault, AMissingStepPageIsReportedOnceAndTheWindowStillOpens)
{
    std::filesystem::remove(Install->Dir() + "doc/step0.txt");
    ASSERT_TRUE(Start());
    ASSERT_EQ(Dialogs->Messages.size(), 1u);
    EXPECT_NE(Dialogs->Messages[0].Text.find("step0.txt"), std::string::npos) << Dialogs->Messages[0].Text;
    EXPECT_EQ(Dialogs->Messages[0].Icon, mtError);
    EXPECT_TRUE(Form->DatabaseConnected());
    auto *Start = Form->findChild<TfmStart *>(QString::fromLatin1("fmStart"));
    ASSERT_NE(Start, nullptr);
    EXPECT_TRUE(Start->isHidden());
    EXPECT_EQ(ScreenCursor(), crDefault);
    EXPECT_FALSE(Control("RadioGroup1")->isHidden());
}

// Folders the user cannot write (as the user nobody, in a child process): the work folder's ends the start in
// words naming the file, its folder and what to do; the doc folder's is said once, each step's page shown all the same.
TEST_F(StartFault, AFolderTheUserCannotWriteIsSaidOnceByName)
{
    ASSERT_EQ(::geteuid(), 0u) << "another user needs root";
    ASSERT_TRUE(Start()); // the work tables made, root's
    Stop();
    TLocalDatabase::CloseAll();
    const apptest::TTestInstallation Users; // but for its doc folder
    ASSERT_EQ(std::system(("chown -R 65534 " + Users.Dir() + " && chown -R 0 " + Users.Dir() + "doc").c_str()), 0);
    // Threads do not cross a fork: the pools' idle ones (parallel raster fills) end first, or the child waits.
    QThreadPool::globalInstance()->waitForDone();
    for (QThreadPool *Pool : QCoreApplication::instance()->findChildren<QThreadPool *>())
        Pool->waitForDone();
    // A child can inherit a lock another thread of the runner held at the
    // fork (the sanitizer's allocator): one that does not end in a minute is
    // stopped and the fork made again.
    for (int Attempt = 0; Attempt < 3; ++Attempt) {
        const pid_t Child = ::fork();
        if (Child == 0) {
            std::ofstream Said(Install->Dir() + "said.txt"); // opened as root
            SetProgramFileName(Install->Dir() + "marlinqc");
            if (::setgid(65534) == 0 && ::setuid(65534) == 0 && (Said << Start() << "\n")) {
                SetProgramFileName(Users.Dir() + "marlinqc");
                for (Said << Start(); Form->WizardStep < 2; Control<QPushButton>("BitBtn1")->click())
                    Said << Form->WebBrowser1->toPlainText().toStdString().substr(0, 6);
            }
            for (const std::string &Text : Dialogs->Texts())
                Said << "\n" << Text;
            Said.close();
            ::_exit(0); // never back into the test runner
        }
        int Waited = 0;
        while (::waitpid(Child, nullptr, WNOHANG) == 0 && Waited++ < 600)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (Waited <= 600)
            break;
        ::kill(Child, SIGKILL);
        ::waitpid(Child, nullptr, 0);
    }
    const std::string Soft = Install->Dir() + "SoftDB/";
    EXPECT_EQ(ReadFile(Install->Dir() + "said.txt"),
              "0\n1Step 0Step 1\nattempt to write a readonly database\n\nThe work tables are kept in " + Soft +
                  "worktables.sqlite3, and this user cannot write its folder " + Soft + ".\nGive this user the right to "
                  "write the folder " + Soft + " and its files, or copy the program folder " + Install->Dir() +
                  " to a folder this user can write and start the program there.\nCannot create file \"" + Users.Dir() +
                  "doc/step0.html\"\nThe wizard's pages are shown, but not kept in the folder");
}

TEST_F(StartFault, AWorkFolderThatCannotBeOpenedEndsTheProgramAfterItsMessage)
{
    // The work folder's database is a folder: neither the first open nor the
    // retry from the BDE folder can open it.
    std::filesystem::create_directories(Install->Dir() + "SoftDB/worktables.sqlite3");
    EXPECT_FALSE(Start());
    EXPECT_TRUE(Form->StartRefused()); // the program's exit code is not 0
    EXPECT_EQ(Dialogs->Messages.size(), 1u);
    EXPECT_EQ(ScreenCursor(), crDefault);
    std::filesystem::current_path(std::filesystem::temp_directory_path());
}
