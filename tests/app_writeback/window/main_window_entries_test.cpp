// The main window's button "Update climate/range" and its flag write-back,
// as the operator meets them: the dialogs they open and what they leave.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include <fstream>

#include "app/UQC.h"
#include "app/manual/UClimatDlg.h"
#include "app/uQCMain.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TDialogs.h"
#include "tests/app_support/AppTestSupport.h"

namespace {

class MainWindowEntries : public ::testing::Test {
protected:
    void SetUp() override
    {
        Install = std::make_unique<apptest::TTestInstallation>();
        Dialogs = std::make_unique<TScriptedDialogs>();
        Form = std::make_unique<TForm1>();
        ASSERT_TRUE(Form->FormCreate());
        Dialogs->Messages.clear();
        Dialogs->ModalForms.clear();
    }
    void TearDown() override
    {
        Form.reset();
        Dialogs.reset();
        Install.reset();
    }
    std::unique_ptr<apptest::TTestInstallation> Install;
    std::unique_ptr<TScriptedDialogs> Dialogs;
    std::unique_ptr<TForm1> Form;
};

TEST_F(MainWindowEntries, UpdateClimateButtonImportsTheChosenFile)
{
    const std::string File = Install->Dir() + "nitrate.txt";
    std::ofstream(File) << "REGION;Month;PRES;NO3_PAVG;NO3_PSTD\n1;4;100;5.5;0.7\n2;4;100;6.1;0.9\n";
    ASSERT_FALSE(LocalTableFileExists(LocalDbDir + "BS_NO3.db"));
    Dialogs->ModalHandlers.push_back([&](TForm &F) {
        auto &Dlg = static_cast<TfmClimatDlg &>(F);
        Dlg.Edit1->setText(QString::fromStdString(File));
        Dlg.FileListBox1DblClick();
        apptest::SaveScreenshot(Dlg, "fmClimatDlg_from_main_window");
        Dlg.BitBtn1->click();
        return Dlg.ModalResult();
    });
    Form->findChild<QPushButton *>(QStringLiteral("BitBtn5"))->click();
    EXPECT_EQ(Dialogs->ModalForms, (std::vector<std::string>{"fmClimatDlg"}));
    EXPECT_EQ(Dialogs->Texts().at(0), "Climat for NO3 in the Black Sea is loaded: 2 lines (not used: the checks of NO3 "
                                      "in the Black Sea take its range from BS_Range)\nNO3 takes part in the data "
                                      "checks from now on");
    EXPECT_TRUE(LocalTableFileExists(LocalDbDir + "BS_NO3.db"));
    EXPECT_FALSE(LocalTableFileExists(LocalDbDir + "MS_NO3.db"));
    // "param" listed NO3 unchecked: now the parameter page offers it.
    for (int Step = 0; Step < 2; ++Step)
        Form->findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click(); // NEXT
    EXPECT_EQ(Form->CheckListBox2->findItems(QStringLiteral("NITRATE UMOL/L"), Qt::MatchExactly).size(), 1);

    // Cancel loads nothing, and the folder browsed is remembered either way.
    Dialogs->ModalHandlers.push_back([](TForm &F) { return int(mrCancel); });
    Form->findChild<QPushButton *>(QStringLiteral("BitBtn5"))->click();
    EXPECT_EQ(ClimSearchPath, Install->Dir());
}

TEST_F(MainWindowEntries, WriteBackAsksFirstAndNoWritesNothing)
{
    const auto Before = apptest::SqliteRows(Install->DbPath(), "select sum(FPRES + FTEMP + FPSAL) from PTS_Data");
    Dialogs->ModalHandlers.push_back([](TForm &F) { return int(mrNo); });
    Form->WriteFlagsToMainDb();
    EXPECT_EQ(Dialogs->ModalForms, (std::vector<std::string>{"fmFlagToMainDB"}));
    EXPECT_EQ(apptest::SqliteRows(Install->DbPath(), "select sum(FPRES + FTEMP + FPSAL) from PTS_Data"), Before);
}

} // namespace
