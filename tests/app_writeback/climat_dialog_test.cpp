// The climatology import dialog on small files: the header check, the
// preview, the four lists, the seas, and what it hands to the loader.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "app/manual/UClimatDlg.h"
#include "app/manual/map.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/Classes.h"
#include "tests/support/LocalRows.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TShellTreeView.h"

namespace {

std::vector<std::string> Items(const TCheckListBox &L, bool ATickedOnly = false)
{
    std::vector<std::string> Out;
    for (int I = 0; I < L.Count(); ++I)
        if (!ATickedOnly || L.Checked(I))
            Out.push_back(L.ItemText(I));
    return Out;
}

class ClimatDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string Program = std::getenv("MARLIN_PROGRAM_DIR");
        TRealRectArr Squares;
        LoadSquares(Program + "/Cfg/QuadrHMS.txt", BsSquareNames, Squares);
        LoadSquares(Program + "/Cfg/QuadrMedClim.txt", MsSquareNames, Squares);
        Dir = std::filesystem::temp_directory_path() /
              ("climat_dialog_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(Dir);
        // The known parameters, as the engine's RangeQry lists them.
        WorkDir = (Dir / "work").string() + "/";
        std::filesystem::create_directories(WorkDir);
        std::filesystem::copy_file(Program + "/SoftDB/worktables.def", WorkDir + "worktables.def");
        Params = std::make_unique<TTable>();
        Params->SetDatabaseName(WorkDir);
        Params->SetTableName("param");
        Params->Open();
        RangeQry = Params.get();
        Dlg = std::make_unique<TfmClimatDlg>(nullptr, Dir.string());
    }
    void TearDown() override
    {
        Dlg.reset();
        RangeQry = nullptr;
        Params.reset();
        TLocalDatabase::CloseAll();
        std::error_code Ec;
        std::filesystem::remove_all(Dir, Ec);
    }
    std::string Write(const std::string &AName, const std::string &AText)
    {
        const std::string Path = (Dir / AName).string();
        std::ofstream(Path, std::ios::binary) << AText;
        return Path;
    }
    void Open(const std::string &APath)
    {
        Dlg->Edit1->setText(QString::fromStdString(APath));
        Dlg->FileListBox1DblClick();
    }

    std::filesystem::path Dir;
    std::string WorkDir;
    std::unique_ptr<TTable> Params;
    TScriptedDialogs Dialogs;
    std::unique_ptr<TfmClimatDlg> Dlg;
};

const char *const TwoSeas = "Region;Month;PRES;TEMP_PAVG;TEMP_PSTD;PSAL_PMIN;PSAL_PMAX\r\n"
                            "1;1;0;7.8;1.5;18.2;18.9\r\n"
                            "1;1;10;7.7;1.2;18.25;19\r\n"
                            "M44N008E;1;0;13.7;1.5;37.9;38.3\r\n"
                            "m44n008e;2;10;13.1;1.3;;38.4\r\n"
                            "XX9;1;0;1;1;1;1\r\n";

TEST(ClimLineSplit, CellsAsTheFormatSaysThem)
{
    EXPECT_EQ(SplitClimLine("a;b;c", ';'), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(SplitClimLine("a;b;", ';'), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitClimLine("a;;b", ';'), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitClimLine(";a", ';'), (std::vector<std::string>{"", "a"}));
    EXPECT_EQ(SplitClimLine("a\tb", '\t'), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitClimLine("a,b;c", '\0'), (std::vector<std::string>{"a,b;c"}));
    EXPECT_EQ(SplitClimLine("", ';'), (std::vector<std::string>{}));
}

TEST_F(ClimatDialog, FileOfBothSeasIsPreviewedListedAndTicked)
{
    const std::string Path = Write("both.txt", TwoSeas);
    // As the operator does it: the file appears in the list, a double click.
    Dlg->show();
    auto *Model = static_cast<QFileSystemModel *>(Dlg->FileListBox1->model());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Model->rowCount(Dlg->FileListBox1->rootIndex()) == 1; }, 5000));
    const QModelIndex File = Model->index(0, 0, Dlg->FileListBox1->rootIndex());
    Dlg->FileListBox1->setCurrentIndex(File);
    emit Dlg->FileListBox1->doubleClicked(File);

    EXPECT_EQ(Dlg->Edit1->text().toStdString(), Path);
    EXPECT_EQ(Dialogs.Texts(), (std::vector<std::string>{"Error subregions:XX9 will be excluded from addition"}));
    // Sub-regions without regard to case, in order of first appearance.
    EXPECT_EQ(Items(*Dlg->CheckListBox1, true), (std::vector<std::string>{"1", "M44N008E", "XX9"}));
    EXPECT_EQ(Items(*Dlg->CheckListBox2, true), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(Items(*Dlg->CheckListBox3, true), (std::vector<std::string>{"0", "10"}));
    EXPECT_EQ(Items(*Dlg->CheckListBox4, true), (std::vector<std::string>{"TEMP(climat)", "PSAL(ranges)"}));
    EXPECT_TRUE(Dlg->CheckBox1->isChecked());
    EXPECT_TRUE(Dlg->CheckBox2->isChecked());
    EXPECT_TRUE(Dlg->StringGrid1->isVisible());
    const auto &G = Dlg->Import().Grid;
    ASSERT_EQ(G.size(), 6u);
    EXPECT_EQ(G[0].size(), 7u);
    EXPECT_EQ(G[2][6], "19");
    EXPECT_EQ(G[4][5], "");
    EXPECT_EQ(Dlg->StringGrid1->model()->data(Dlg->StringGrid1->model()->index(3, 0)).toString().toStdString(),
              "M44N008E");
    EXPECT_EQ(ScreenCursor(), crDefault);
    Dlg->grab().toImage().save(QStringLiteral(WRITEBACK_ARTEFACT_DIR "/fmClimatDlg.png"));

    // What the loader gets: the ticks as the operator left them.
    Dlg->CheckListBox1->SetChecked(2, false);
    Dlg->FormClose();
    const TClimImport &I = Dlg->Import();
    EXPECT_EQ(I.SubRegions.Checked, (std::vector<bool>{true, true, false}));
    EXPECT_EQ(I.Params.Items, (std::vector<std::string>{"TEMP(climat)", "PSAL(ranges)"}));
    EXPECT_TRUE(I.HasBs && I.HasMs);
    EXPECT_EQ(ClimSearchPath, Dir.string() + "/");
}

TEST_F(ClimatDialog, BlackSeaFileTicksOnlyTheBlackSea)
{
    Open(Write("bs.csv", "REGION,Month,PRES,TEMP_PAVG,TEMP_PSTD,PSAL_PAVG\n4,1,0,7,1,18\n5,1,0,7,1,18\n"));
    EXPECT_TRUE(Dialogs.Messages.empty());
    EXPECT_TRUE(Dlg->CheckBox1->isChecked());
    EXPECT_FALSE(Dlg->CheckBox2->isChecked());
    // An odd value column at the end is ignored.
    EXPECT_EQ(Items(*Dlg->CheckListBox4), (std::vector<std::string>{"TEMP(climat)"}));
}

TEST_F(ClimatDialog, HeaderPairThatDoesNotMatchStopsWithTheListsUnticked)
{
    Open(Write("bad.txt", "Region;Month;PRES;TEMP_PAVG;TEMP_PSTD;TEMP_PAVG;PSAL_PSTD\n1;1;0;1;1;1;1\n"));
    EXPECT_EQ(Dialogs.Texts(), (std::vector<std::string>{"Error in the First String"}));
    EXPECT_EQ(Items(*Dlg->CheckListBox4), (std::vector<std::string>{"TEMP(climat)"}));
    EXPECT_TRUE(Items(*Dlg->CheckListBox1, true).empty());
    EXPECT_FALSE(Dlg->StringGrid1->isVisible());
    EXPECT_TRUE(Dlg->StringGrid1->isEnabled());
    EXPECT_EQ(ScreenCursor(), crDefault);

    // An unknown parameter and a wrong suffix pair fail the same way.
    Dialogs.Messages.clear();
    Open(Write("unknown.txt", "Region;Month;PRES;CHL_PAVG;CHL_PSTD\n1;1;0;1;1\n"));
    Open(Write("suffix.txt", "Region;Month;PRES;TEMP_PMIN;TEMP_PSTD\n1;1;0;1;1\n"));
    EXPECT_EQ(Dialogs.Texts(), (std::vector<std::string>{"Error in the First String", "Error in the First String"}));
    EXPECT_TRUE(Items(*Dlg->CheckListBox4).empty());
}

TEST_F(ClimatDialog, FileWithoutTheRegionHeaderOffersNothing)
{
    Open(Write("both.txt", TwoSeas));
    Open(Write("short.txt", "REGIO\n1;1;0\n\n"));
    EXPECT_EQ(Dialogs.Texts().back(), "Wrong File Format");
    // No whole line offered as a sub-region, nothing left of the file before.
    EXPECT_TRUE(Dlg->Import().Grid.empty());
    for (TCheckListBox *L : {Dlg->CheckListBox1, Dlg->CheckListBox2, Dlg->CheckListBox3, Dlg->CheckListBox4})
        EXPECT_TRUE(Items(*L).empty());
    EXPECT_TRUE(Dlg->StringGrid1->isHidden());
    EXPECT_FALSE(Dlg->CheckBox1->isChecked());
    EXPECT_EQ(ScreenCursor(), crDefault);
    Dialogs.Messages.clear();
    Open(Write("other.txt", "STATION;1\n"));
    EXPECT_EQ(Dialogs.Texts().at(0), "Wrong File Format");
    // A file that cannot be read, or is not UTF-8, after a good one: the
    // error goes to the caller, and nothing of either file is left to load.
    Dlg->Edit1->setText(QString::fromStdString((Dir / "gone.txt").string()));
    EXPECT_THROW(Dlg->FileListBox1DblClick(), rtl::EFOpenError);
    EXPECT_EQ(ScreenCursor(), crDefault);
    EXPECT_TRUE(Dlg->Gauge2->isHidden());
    EXPECT_TRUE(Dlg->StringGrid1->isEnabled());
    Open(Write("both.txt", TwoSeas));
    Dlg->Edit1->setText(QString::fromStdString(Write("cp1251.txt", std::string(TwoSeas) + "\xC4\xCE;1;0;1;1;1;1\n")));
    EXPECT_THROW(Dlg->FileListBox1DblClick(), EInOutError);
    Dlg->FormClose();
    EXPECT_TRUE(Dlg->Import().Grid.empty() && !Dlg->Import().Params.AnyChecked() && !Dlg->CheckBox2->isChecked());
}

TEST_F(ClimatDialog, WarningNamesAtMostTwentyUnknownSubRegions)
{
    std::string Text = "Region;Month;PRES;TEMP_PAVG;TEMP_PSTD\n";
    for (int I = 0; I < 25; ++I)
        Text += "Q" + std::to_string(I) + ";1;0;1;1\n";
    Open(Write("many.txt", Text));
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    const std::string &M = Dialogs.Messages[0].Text;
    EXPECT_EQ(M.rfind("Error subregions:Q0, Q1, ", 0), 0u) << M;
    EXPECT_NE(M.find("Q19, ... (25 in all) will be excluded from addition"), std::string::npos) << M;
    EXPECT_EQ(M.find("Q20"), std::string::npos);
    EXPECT_FALSE(Dlg->CheckBox1->isChecked() || Dlg->CheckBox2->isChecked());
}

TEST_F(ClimatDialog, CheckWithoutTheDialogFindsWhatTheDialogShows)
{
    TClimImport I;
    TClimFileCheck Check;
    // The dialog checks every file it is shown into one import: a file
    // checked before leaves nothing behind.
    CheckClimatologyLines({"REGION;M;P", "1;2"}, ClimParamsOf(RangeQry), I, Check);
    ASSERT_EQ(I.MisfitRows.size(), 1u);
    CheckClimatologyLines(ReadClimatologyLines(Write("both.txt", TwoSeas)), ClimParamsOf(RangeQry), I, Check);
    EXPECT_TRUE(I.MisfitRows.empty());
    EXPECT_FALSE(Check.WrongFormat || Check.HeaderError);
    EXPECT_EQ(Check.UnknownSubRegions, (std::vector<std::string>{"XX9"}));
    EXPECT_EQ(I.SubRegions.Items, (std::vector<std::string>{"1", "M44N008E", "XX9"}));
    EXPECT_EQ(I.Params.Items, (std::vector<std::string>{"TEMP(climat)", "PSAL(ranges)"}));
    EXPECT_EQ(I.Grid.at(4), (std::vector<std::string>{"m44n008e", "2", "10", "13.1", "1.3", "", "38.4"}));
    CheckClimatologyLines({"REGION;M;P;TEMP_PAVG;PSAL_PSTD"}, ClimParamsOf(RangeQry), I, Check);
    EXPECT_TRUE(Check.HeaderError);
    CheckClimatologyLines({"REGION"}, ClimParamsOf(RangeQry), I, Check);
    EXPECT_TRUE(Check.WrongFormat);
    EXPECT_THROW(ReadClimatologyLines((Dir / "missing.txt").string()), rtl::EFOpenError);
}

TEST_F(ClimatDialog, OpensOnItsFolderShownAndSelected)
{
    // Sixty folders come before it, read only after the dialog has opened.
    for (int I = 0; I < 60; ++I)
        std::filesystem::create_directories(Dir / ("aa" + std::to_string(100 + I)));
    const std::filesystem::path Clim = Dir / "zz" / "clim";
    std::filesystem::create_directories(Clim);
    Write("zz/clim/bs.txt", "REGION;Month;PRES\n");
    TfmClimatDlg Opened(nullptr, Clim.string());
    Opened.show();
    QTreeView &Tree = *Opened.ShellTreeView1;
    const auto Shown = [&] {
        const QRect Row = Tree.visualRect(Tree.currentIndex());
        return Tree.viewport()->rect().contains(Row) && !Row.isEmpty();
    };
    // Every folder on the way read, the folder is still the one in view.
    auto *Folders = static_cast<QFileSystemModel *>(Tree.model());
    const QModelIndex Parent = Folders->index(QString::fromStdString(Dir.string()));
    // (and the work folder of the fixture)
    ASSERT_TRUE(QTest::qWaitFor([&] { return Folders->rowCount(Parent) == 62 && Shown(); }, 5000));
    EXPECT_EQ(Opened.FolderPath(), Clim.string() + "/");
    // A late sort of the folders moves the rows once more; the tree follows.
    QTest::qWait(50);
    EXPECT_TRUE(QTest::qWaitFor(Shown, 2000));
    auto *Files = static_cast<QFileSystemModel *>(Opened.FileListBox1->model());
    EXPECT_EQ(Files->rootPath().toStdString(), Clim.string());
}

TEST_F(ClimatDialog, SelectButtonsWorkOnTheirOwnList)
{
    Open(Write("both.txt", TwoSeas));
    Dlg->SpeedButton[7]->click(); // months: untick all
    EXPECT_TRUE(Items(*Dlg->CheckListBox2, true).empty());
    EXPECT_EQ(Items(*Dlg->CheckListBox1, true).size(), 3u);
    Dlg->CheckListBox3->SetSelected(1, true);
    Dlg->SpeedButton[15]->click(); // pressures: untick the highlighted
    EXPECT_EQ(Items(*Dlg->CheckListBox3, true), (std::vector<std::string>{"0"}));
    Dlg->SpeedButton[18]->click(); // parameters: invert
    EXPECT_TRUE(Items(*Dlg->CheckListBox4, true).empty());
}

// ---- the import: dialog, then the engine's loader ------------------------------

class ClimatImport : public ClimatDialog {
protected:
    // The operator's OK: the dialog closes and the loader takes its lists.
    int Load(std::vector<TClimLoaded> *ALoaded = nullptr)
    {
        Dlg->FormClose();
        TTable Struct, Ms, Bs;
        for (TTable *T : {&Struct, &Ms, &Bs})
            T->SetDatabaseName(WorkDir);
        return LoadClimatology(Dlg->Import(), Struct, Ms, Bs, WorkDir, ALoaded);
    }
    // "Region|Month|Pres|PAVG|PSTD" of every row of a climatology table.
    std::vector<std::string> Rows(const std::string &ATable)
    {
        TTable T;
        T.SetDatabaseName(WorkDir);
        T.SetTableName(ATable);
        T.Open();
        return testsupport::DataSetRows(T);
    }
};

TEST_F(ClimatImport, BothSeasFillTheirTablesWithTheTickedRowsOnly)
{
    Open(Write("both.txt", "Region;Month;PRES;TEMP_PAVG;TEMP_PSTD;PSAL_PAVG;PSAL_PSTD\n"
                           "1;1;0;7.8;1.5;18.2;0.3\n"
                           "1;1;10;7.7;1.2;18.25;0.25\n"
                           "2;1;0;7.9;1.1;18.1;0.2\n"
                           "M44N008E;1;0;13.7;1.5;37.9;0.4\n"
                           "M44N008E;2;0;13.1;1.3;38.0;0.5\n"));
    ASSERT_TRUE(Dialogs.Messages.empty()) << Dialogs.Texts().front();
    Dlg->CheckListBox1->SetChecked(1, false);  // sub-region 2
    Dlg->CheckListBox2->SetChecked(1, false);  // month 2
    Dlg->CheckListBox4->SetChecked(1, false);  // PSAL
    EXPECT_EQ(Load(), 3);
    EXPECT_EQ(Rows("BS_TEMP"), (std::vector<std::string>{"1|1|0|7.8|1.5", "1|1|10|7.7|1.2"}));
    EXPECT_EQ(Rows("MS_TEMP"), (std::vector<std::string>{"M44N008E|1|0|13.7|1.5"}));
    EXPECT_FALSE(LocalTableFileExists(WorkDir + "MS_PSAL.db"));

    // Once loaded, a table is never loaded again.
    EXPECT_EQ(Load(), 0);
    EXPECT_EQ(Dialogs.Texts(), (std::vector<std::string>{"Climat for TEMP in the Mediterranean Sea is already loaded",
                                                         "Climat for TEMP in the Black Sea is already loaded"}));
    EXPECT_EQ(Rows("BS_TEMP").size(), 2u);
}

TEST_F(ClimatImport, SecondParameterTakesColumnsFiveAndSix)
{
    Open(Write("ms.txt", "REGION,Month,PRES,TEMP_PAVG,TEMP_PSTD,PSAL_PAVG,PSAL_PSTD\n"
                         "M44N010E,3,50,14.1,0.9,38.2,0.15\n"));
    Dlg->CheckListBox4->SetChecked(0, false); // TEMP
    EXPECT_EQ(Load(), 1);
    EXPECT_EQ(Rows("MS_PSAL"), (std::vector<std::string>{"M44N010E|3|50|38.2|0.15"}));
    EXPECT_FALSE(LocalTableFileExists(WorkDir + "BS_PSAL.db"));
    EXPECT_FALSE(LocalTableFileExists(WorkDir + "MS_TEMP.db"));
}

// Imported before imports brought NO3 into the checks: the import again does.
TEST_F(ClimatImport, AClimatLoadedBeforeTakesPart)
{
    Open(Write("no3.txt", "Region;Month;PRES;NO3_PAVG;NO3_PSTD\n1;4;100;5.5;0.7\n"));
    std::vector<TClimLoaded> Again;
    Load(), Load(&Again);
    EXPECT_EQ(MarkClimatologyParams(*Params, Again), std::vector<std::string>{"NO3"});
}

} // namespace
