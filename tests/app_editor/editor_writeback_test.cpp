// A MANUAL flag set in the editor, on a level or on a station, then what the
// session does after it: a station-list rebuild, closing the editor, and the
// write-back of the level flags as the main window runs it after the editor
// (Yes on the question, every cruise ticked). The editor and the main
// database must end with the operator's flag, not the older one the run left
// in its flag tables.
#include "tests/app_editor/edit_fixture.h"

#include "app/UQC.h"
#include "app/uWriteFlags.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"
#include "platform/toolkit/TForm.h"
#include "platform/toolkit/TTreeView.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QToolButton>
#include <QListWidget>
#include <QWidget>

#include <QApplication>
#include <QKeyEvent>

#include <filesystem>
#include <functional>

using namespace editortest;

namespace {

void ClickNamed(TForm &Form, const char *Name)
{
    if (auto *B = Form.findChild<QAbstractButton *>(QString::fromLatin1(Name)))
        B->click();
    else
        ADD_FAILURE() << "no button " << Name << " on " << Form.objectName().toStdString();
}

class EditorWriteBack : public EditorEdit {
protected:
    // The write-back as the main window runs it after the editor: Yes on
    // the question, every cruise ticked, the Esc flags as the editor left them.
    TWriteFlagsResult WriteBack(const std::function<void()> &AOnExecute = nullptr)
    {
        auto Components = std::make_unique<rtl::TComponent>(nullptr);
        auto *Params = new TZqQuery(Components.get()); // owned by Components
        Params->SetConnection(Conn);
        auto *Update = new TZqCommand(Components.get()); // owned by Components
        Update->SetConnection(Conn);
        if (AOnExecute)
            Update->AfterExecute = [AOnExecute](rtl::TObject *) { AOnExecute(); };
        TQuery CastFlags(nullptr), LevelFlags(nullptr);
        CastFlags.SetDatabaseName(WorkDir);
        LevelFlags.SetDatabaseName(WorkDir);
        FlagParamsQry = Params;
        FlagUpdateCmd = Update;
        FlagCastQry = &CastFlags;
        FlagLevelQry = &LevelFlags;
        FlagCruiseList.Clear();
        Script->ModalHandlers.push_back([](TForm &Form) {
            ClickNamed(Form, "BitBtn1"); // Yes
            return Form.ModalResult();
        });
        Script->ModalHandlers.push_back([](TForm &Form) {
            ClickNamed(Form, "SpeedButton21"); // every cruise
            ClickNamed(Form, "BitBtn1");
            return Form.ModalResult();
        });
        QWidget MainWindow;
        const TWriteFlagsResult R = WriteFlagsToMainDb(&MainWindow);
        FlagParamsQry = nullptr;
        FlagUpdateCmd = nullptr;
        FlagCastQry = FlagLevelQry = nullptr;
        return R;
    }
    std::string GridFlag(size_t Level)
    {
        Grid().SetRecNoValue(int(Level) + 1);
        return Grid().FieldByName("FTEMP")->AsString();
    }
    // "parameter PRES=" of each level the error tree names at the station.
    std::string TreeLevels()
    {
        std::string Levels;
        TTreeNode *N = FindTreeNode(*F->TreeView1, std::to_string(Station));
        for (N = N ? N->GetNext() : nullptr; N && N->Level() > 0; N = N->GetNext())
            if (N->Level() == 4)
                Levels += N->Parent()->Parent()->Text() + " " + N->Text().substr(0, N->Text().find(' ')) + ";";
        return Levels;
    }
    std::string TreeLevel(const char *Param, size_t Level)
    {
        return std::string(Param) + " PRES=" + rtl::FormatFloat("0.0", rtl::StrToFloat(Pres[Level])) + ";";
    }
};

// The error tree follows the flags too: the run's, a stored one the run's
// row leaves empty (its pass judged the other parameter), and each typed
// (at once, and no more once typed back), also after a position typed.
TEST_F(EditorWriteBack, AManualFlagSurvivesARebuildAndTheWriteBack)
{
    TShownParams Shown;
    Open();
    ASSERT_EQ(F->CheckBox1->text().toStdString(), "MANUAL QC");
    ASSERT_GE(Pres.size(), 5u);
    const size_t Edited = 3;
    SqlExec("update PTS_Data set FPSAL = 2 where ID_Cast = " + std::to_string(Station) + " and PRES = " + Pres[1]);
    LeaveRunFlagsOf("PTS_Data", Edited);
    apptest::SqliteExec(WorkDir + "worktables.sqlite3",
                        "update \"" + DbTablePrefix + "-PTS_DataFlags\" set FPSAL = NULL");
    PickCruise(BlackSeaCruise);
    ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(Station)));
    PickParam("TEMP");
    ASSERT_EQ(GridFlag(Edited), "2"); // the run's flag, merged into the grid
    const std::string Stored = TreeLevel("PSAL", 1);
    EXPECT_EQ(TreeLevels(), TreeLevel("TEMP", Edited) + Stored);
    EditLevel(4, "FTEMP", "4");
    EXPECT_EQ(TreeLevels(), TreeLevel("TEMP", Edited) + TreeLevel("TEMP", 4) + Stored);
    EditLevel(4, "FTEMP", "1");

    // The operator judges the level good.
    EditLevel(int(Edited), "FTEMP", "1");
    EXPECT_EQ(Db("FTEMP", int(Edited)), "1");
    EXPECT_EQ(TreeLevels(), Stored);

    // The station list is rebuilt (the cruise picked again): the grid reads
    // the flags from the run's table once more and shows the operator's.
    PickCruise(BlackSeaCruise);
    ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(Station)));
    PickParam("TEMP");
    EXPECT_EQ(GridFlag(Edited), "1");
    EXPECT_EQ(GridFlag(Edited - 1), "1");
    EditStation("Lon", Sql("select Lon + 0.001 from Cast_Titles where ID_Cast = " + std::to_string(Station))[0][0]);
    EXPECT_EQ(TreeLevels(), Stored);

    // Closing drops the scratch table; then the write-back question.
    CloseEditor();
    EXPECT_FALSE(MainTableExists(ScratchCastIdTable()));
    const TWriteFlagsResult R = WriteBack();
    EXPECT_TRUE(R.Confirmed);
    EXPECT_FALSE(R.Interrupted);
    EXPECT_EQ(R.Unmatched, 0);
    EXPECT_GE(R.Statements, int(Pres.size()));
    EXPECT_EQ(Script->ModalForms, (std::vector<std::string>{"fmFlagToMainDB", "fmflagcru"}));
    EXPECT_EQ(Db("FTEMP", int(Edited)), "1");
    EXPECT_EQ(Db("FTEMP", int(Edited) - 1), "1");
    EXPECT_EQ(Messages().rfind("Flags written into the station database: ", 0), 0u) << Messages();
}

TEST_F(EditorWriteBack, AManualStationFlagSurvivesARebuildAndTheWriteBack)
{
    TRunFlags Suspect;
    Suspect.FLon = 3;
    Open(true, {{Station, Suspect}});
    ASSERT_EQ(StationShown("FLon"), "3"); // the run's flag
    // The operator fixes the longitude's flag.
    EditStation("FLon", "5");
    EXPECT_EQ(StationDb("FLon"), "5");
    EXPECT_EQ(StationShown("FLon"), "5"); // after the rebuild that follows the edit
    PickCruise(BlackSeaCruise);
    EXPECT_EQ(StationShown("FLon"), "5");
    ASSERT_TRUE(CastFlagtbl->Locate("ID_Cruise;ID_Cast",
                                    rtl::VarArrayOf({rtl::Variant(BlackSeaCruise), rtl::Variant(Station)})));
    EXPECT_EQ(CastFlagtbl->FieldByName("FLon")->AsInteger(), 5);

    CloseEditor();
    EXPECT_TRUE(WriteBack().Confirmed);
    EXPECT_EQ(StationDb("FLon"), "5");
    F = &OpenEditor({BlackSeaCruise});
    EXPECT_EQ(StationShown("FLon"), "5");
    // The station flag went in as it was typed; the write-back has no level verdict to write.
    EXPECT_EQ(Messages(), "No flags were written: the checks gave no verdict on the levels of the chosen cruises.\n");
}

TEST_F(EditorWriteBack, ADatabaseNamedWithAQuoteShowsItsRunsFlagsAndHasThemWrittenBack)
{
    // The work tables are named after the station database's file.
    const std::string Quoted = Install->Dir() + "/black\"sea.mdb";
    Teardown();
    std::filesystem::copy_file(Install->DbPath(), Quoted);
    TEditorEnvironment::Setup(Install->Dir(), Quoted, Install->Dir() + "/quoted");
    ASSERT_EQ(DbTablePrefix, "black\"sea");
    TRunFlags Suspect;
    Suspect.FLon = 3;
    Open(true, {{Station, Suspect}});
    EXPECT_EQ(StationShown("FLon"), "3");
    LeaveRunFlagsOf("PTS_Data", 1);
    EditLevel(1, "FTEMP", "5");
    CloseEditor();
    const TWriteFlagsResult R = WriteBack();
    EXPECT_TRUE(R.Confirmed);
    EXPECT_GE(R.Statements, int(Pres.size()));
    EXPECT_EQ(Db("FTEMP", 1), "5");
    EXPECT_EQ(Messages().rfind("Flags written into the station database: ", 0), 0u) << Messages();
}

// The editor without a run, on a work folder no run has filled: the profile
// checked there is offered and written, a typed station flag stays, and the
// cruise picked again shows the stored flags of the stations not judged.
TEST_F(EditorWriteBack, AProfileCheckedWithoutARunIsOfferedAndWritten)
{
    LoadClimatology();
    ParamDisplayList.Add("TEMP"); // the parameters of the wizard's page
    ParamDisplayList.Add("PSAL");
    F = &OpenEditor({BlackSeaCruise});
    F->CheckBox1->click(); // MANUAL QC
    EditStation("FLon", "5");
    PickParam("TEMP");
    F->BitBtn5->click(); // "Check Current profile"
    const auto Judged = Sql("select count(*) from PTS_Data where ID_Cast = " + std::to_string(Station))[0][0];
    ASSERT_EQ(RunFlags("PTS_Data", "count(*)"), std::vector<std::string>{Judged});
    const std::string Other = Sql("select min(ID_Cast) from Cast_Titles where ID_Cruise = " +
                                  std::to_string(BlackSeaCruise) + " and ID_Cast <> " + std::to_string(Station))[0][0];
    SqlExec("update Cast_Titles set FLat = 3 where ID_Cast = " + Other);
    PickCruise(BlackSeaCruise);
    ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(std::stoi(Other))));
    EXPECT_EQ(F->tmpStatTbl->FieldByName("FLat")->AsString(), "3");
    EXPECT_EQ(StationShown("FLon"), "5");
    CloseEditor();

    WriteBack(); // the station's levels stored with 0 before
    EXPECT_EQ(Sql("select count(*) from PTS_Data where ID_Cast = " + std::to_string(Station) + " and FPRES = 1")[0][0],
              Judged);
    EXPECT_EQ(StationDb("FLon"), "5");
    EXPECT_EQ(Messages().rfind("Flags written into the station database: ", 0), 0u) << Messages();
}

// What the operator types in MANUAL QC (a value, a flag, a position) is
// written back with the run's verdicts on the other levels: the station is
// held back for nothing the editor did, and nothing stopped by an Esc in
// the idle editor (leaving a cell, on a list).
TEST_F(EditorWriteBack, WhatTheOperatorTypesInManualQcIsWrittenWithTheRunsVerdicts)
{
    Open();
    LeaveRunFlagsOf("PTS_Data", 3);
    TypeInto(F->DBGrid2, 1, "TEMP", "7", Qt::Key_Escape);
    QTest::keyClick(F->ListBox1, Qt::Key_Escape);
    EditLevel(1, "TEMP", "9.3");
    EditLevel(2, "FTEMP", "3");
    const std::string Lon = Sql("select Lon + 0.001 from Cast_Titles where ID_Cast = " + std::to_string(Station))[0][0];
    EditStation("Lon", Lon);
    CloseEditor();
    const TWriteFlagsResult R = WriteBack();
    EXPECT_FALSE(R.Interrupted);
    EXPECT_EQ(R.NotWritten.size(), 0u) << Messages();
    EXPECT_EQ(Db("TEMP", 1), "9.3");
    EXPECT_EQ(Db("FTEMP", 2), "3");
    EXPECT_EQ(Db("FTEMP", 3), "2");
    EXPECT_EQ(Db("FPSAL", 0), "1");

    // Another program's change before the operator's still holds it back.
    SqlExec("update PTS_Data set PSAL = PSAL + 1 where ID_Cast = " + std::to_string(Station) + " and PRES = " + Pres[4]);
    F = &OpenEditor({BlackSeaCruise});
    F->CheckBox1->click(); // MANUAL QC
    PickParam("TEMP");
    EditLevel(0, "TEMP", "9.5");
    CloseEditor();
    ASSERT_EQ(WriteBack().NotWritten.size(), 1u);
    EXPECT_NE(Messages().find("PTS_Data not written: levels changed since its check"), std::string::npos) << Messages();
}

// A station another program changed since its check is marked where the
// operator picks it and in the tree, whole; its check in the editor takes
// the mark away.
TEST_F(EditorWriteBack, AStationHeldBackIsMarkedInTheStationListUntilItIsCheckedAgain)
{
    LoadClimatology();
    ParamDisplayList.Add("TEMP");
    ParamDisplayList.Add("PSAL");
    Open();
    LeaveRunFlagsOf("PTS_Data");
    CloseEditor();
    SqlExec("update Cast_Titles set Date_Cast = Date_Cast - 90 where ID_Cast = " + std::to_string(Station));
    ASSERT_EQ(WriteBack().NotWritten.size(), 1u);
    // Another program's 5 after the run: the grid shows the run's flag there.
    SqlExec("update PTS_Data set FTEMP = 5 where ID_Cast = " + std::to_string(Station) + " and PRES = " + Pres[1]);
    F = &OpenEditor({BlackSeaCruise});
    F->CheckBox1->click(); // MANUAL QC
    PickParam("TEMP");
    const std::string Mark = "Flags not written: PTS_Data (date or time changed since its check)";
    const int Row = StationRow();
    TDBGridModel &List = F->DBGrid1->Model();
    EXPECT_EQ(List.headerData(Row, Qt::Vertical).toString().toStdString(), std::to_string(Row + 1) + " !");
    EXPECT_EQ(List.data(List.index(Row, 0), Qt::ToolTipRole).toString().toStdString(), Mark);
    const TTreeNode *Node = FindTreeNode(*F->TreeView1, std::to_string(Station));
    ASSERT_TRUE(Node);
    EXPECT_EQ(Node->GetLastChild()->Text(), Mark);
    F->BitBtn5->click(); // "Check Current profile"
    EXPECT_EQ(List.headerData(StationRow(), Qt::Vertical).toString().toStdString(), std::to_string(StationRow() + 1));
    EXPECT_FALSE(FindTreeNode(*F->TreeView1, Mark));
    // The editor's check kept the print of what it judged: it is written.
    CloseEditor();
    EXPECT_EQ(WriteBack().NotWritten.size(), 0u) << Messages();
    EXPECT_EQ(Db("FTEMP", 1), "5"); // no check changes a 5
    ParamDisplayList.Clear();
}

// A flag typed by hand under MANUAL QC goes with its level's pressure,
// typed anew (one that reads back to the tenth either way) or cleared, and
// back with the UNDO of that; a pressure another level holds to the tenth
// is refused. Each check the operator starts names it wherever it is and
// keeps it on No, "Check metadata" leaves it, the re-check of AUTO QC keeps
// it without asking, and the write-back stores it. A new editor knows it
// still, also where the version before had marked the station's print as
// edited (the write-back holds such a station back until it is checked
// again). Yes lets the check replace it; then it is the checks' again.
TEST_F(EditorWriteBack, AFlagTypedByHandGoesWithItsLevelAndStaysThroughEveryCheckUnlessTheOperatorLetsOneReplaceIt)
{
    TShownParams Shown;
    LoadClimatology();
    Open();
    LeaveRunFlagsOf("PTS_Data");
    PickParam("TEMP");
    // Levels the fixture's climatology judges out of its interval (20 to 60 dbar).
    std::vector<size_t> Out;
    for (size_t L = 0; L < Pres.size(); ++L)
        if (rtl::StrToFloat(Pres[L]) >= 20 && rtl::StrToFloat(Pres[L]) <= 60)
            Out.push_back(L);
    ASSERT_GE(Out.size(), 2u);
    const size_t Typed = Out[0], Judged = Out[1];
    const std::string Old = rtl::FloatToStr(rtl::StrToFloat(Pres[Typed])), AtOld = Old + " dbar";
    const auto Named = [&](const std::string &Level) { // in a box, as "TEMP: 3"
        return Messages().find("station " + std::to_string(Station) + ", " + Level + ", TEMP: 3") != std::string::npos;
    };
    // A check, No on its question: it names the flag at Level and keeps it
    // at row At, in the grid and in the run's flag row.
    const std::string RunFlags = "Select FTEMP From \"" + LevelFlagTableName("PTS_Data") + "\" Where ID_Cast = " +
                                 std::to_string(Station) + " order by PRES";
    const auto Check = [&](QPushButton *B, const std::string &Level, size_t At) {
        const bool Asks = B != F->BitBtn4;
        Script->Messages.clear();
        if (Asks)
            Script->MessageAnswers.push_back(mrNo);
        B->click();
        EXPECT_EQ(Named(Level), Asks) << B->objectName().toStdString() << Messages();
        ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(Station)));
        PickParam("TEMP");
        EXPECT_EQ(GridFlag(At) + testsupport::LocalRows(WorkDir, RunFlags).at(At) + GridFlag(Judged), "332")
            << B->objectName().toStdString() << " " << Level;
    };
    EditLevel(int(Typed), "FTEMP", "3");
    F->SpeedButton15->click(); // "Find Undo Value"
    for (const std::string &To : {rtl::FloatToStr(rtl::StrToFloat(Old) + 1.05), std::string()}) {
        const size_t At = To.empty() ? 0 : Typed; // the level without a pressure comes first
        EditLevel(int(Typed), "PRES", To);
        Check(F->BitBtn5, To.empty() ? "the level without a pressure" : To + " dbar", At);
        Grid().SetRecNoValue(int(At) + 1), F->DBGrid2->SelectFieldByName("PRES"), F->FindLevelUndoValues();
        F->ComboBox1->setCurrentIndex(F->ComboBox1->findText(QString::fromStdString(Old)));
        ClickUndo();
        Check(F->BitBtn5, AtOld, Typed);
    }
    // Onto another level's pressure to the tenth, as the checks key levels: refused.
    EditLevel(int(Typed), "PRES", rtl::FloatToStr(rtl::StrToFloat(Pres[Typed + 1]) + 0.04));
    EXPECT_NE(Messages().find("has a level at " + rtl::FloatToStr(rtl::StrToFloat(Pres[Typed + 1])) +
                              " dbar already, which the checks file under "),
              std::string::npos)
        << Messages();
    for (QPushButton *B : {F->BitBtn5, F->BitBtn4, F->BitBtn3})
        Check(B, AtOld, Typed);
    F->CheckBox1->click(); // AUTO QC
    Script->Messages.clear();
    EditLevel(int(Judged), "TEMP", Db("TEMP", int(Judged)) + "1");
    EXPECT_FALSE(Named(AtOld)) << Messages();
    EXPECT_EQ(GridFlag(Typed), "3");
    CloseEditor();
    WriteBack();
    EXPECT_EQ(Db("FTEMP", int(Typed)) + Db("FTEMP", int(Judged)), "32");

    apptest::SqliteExec(WorkDir + "worktables.sqlite3",
                        "update \"" + DbTablePrefix + "-Cast_TitlesFlags\" set " + ProfilePrintsField +
                            " = 'PTS_Data:0123456789abcdef/01234567/89abcdef/e' where ID_Cast = " +
                            std::to_string(Station));
    ASSERT_EQ(WriteBack().NotWritten.size(), 1u) << Messages();
    F = &OpenEditor({BlackSeaCruise});
    F->CheckBox1->click(); // MANUAL QC
    ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(Station)));
    PickParam("TEMP");
    Script->Messages.clear();
    Script->MessageAnswers.push_back(mrYes);
    F->BitBtn5->click();
    EXPECT_TRUE(Named(AtOld)) << Messages();
    EXPECT_EQ(GridFlag(Typed), "2");
    Script->Messages.clear();
    F->BitBtn5->click();
    EXPECT_FALSE(Named(AtOld)) << Messages();
    CloseEditor();
    EXPECT_EQ(WriteBack().NotWritten.size(), 0u) << Messages();
    EXPECT_EQ(Db("FTEMP", int(Typed)), "2");
}

// A flag typed on one level table is that table's, at that level: the
// pressure flag typed on NO3 at the same pressure makes no stale FPRES of
// PTS_Data the operator's, and NO3's level typed to another pressure takes
// nothing of PTS_Data with it. The question keeps the typed flag on Return
// (its default), the tree shows it as set by hand, and the write-back says
// it left it. The tree names the PSAL verdicts a run of TEMP alone left.
TEST_F(EditorWriteBack, ATypedFlagIsItsOwnTablesAndLevelsAndReturnKeepsIt)
{
    TShownParams Shown;
    LoadClimatology();
    const size_t At20 = 3; // 20 dbar in PTS_Data and NO3 alike
    SqlExec("update PTS_Data set FPRES = 4 where ID_Cast = " + std::to_string(Station) + " and PRES = 20");
    Open();
    // A run of TEMP alone, whose rows hold PSAL verdicts still: the tree names them.
    LeaveRunFlagsOf("PTS_Data", 5);
    ParamDisplayList.Delete(ParamDisplayList.IndexOf("PSAL"));
    F->BuildErrorTree();
    EXPECT_NE(TreeLevels().find(TreeLevel("PSAL", 5)), std::string::npos) << TreeLevels();
    ParamDisplayList.Add("PSAL");
    PickParam("TEMP");
    EditLevel(int(At20), "FTEMP", "3");
    PickParam("NO3");
    EditLevel(int(At20), "FPRES", "1");
    const std::string Line = "station " + std::to_string(Station) + ", 20 dbar, TEMP: 3";
    for (const std::string &To : {std::string(), std::string("21")}) {
        if (!To.empty()) {
            PickParam("NO3");
            EditLevel(int(At20), "PRES", To);
        }
        PickParam("TEMP");
        Script->Messages.clear();
        F->BitBtn5->click(); // Return: the default
        ASSERT_FALSE(Script->Messages.empty()) << To;
        const TMessageRequest &Asked = Script->Messages[0];
        EXPECT_EQ(Asked.Default, TMsgDlgButtons(mbNo));
        EXPECT_NE(Asked.Text.find(Line), std::string::npos) << Asked.Text;
        EXPECT_EQ(Asked.Text.find("PRES: 4"), std::string::npos) << Asked.Text;
        EXPECT_EQ(GridFlag(At20), "3") << To;
        EXPECT_NE(Grid().FieldByName("FPRES")->AsString(), "4") << To;
    }
    TTreeNode *Hand = FindTreeNode(*F->TreeView1, "Set by hand");
    ASSERT_TRUE(Hand);
    EXPECT_EQ(Hand->Parent()->Text() + " " + Hand->Item(0)->Text().substr(0, 9), "TEMP PRES=20.0");
    CloseEditor();
    Script->Messages.clear();
    WriteBack();
    EXPECT_EQ(Db("FTEMP", int(At20)), "3");
    EXPECT_NE(Db("FPRES", int(At20)), "4");
    EXPECT_NE(Messages().find("These flags were set by hand, and the write-back left them as set:\n" + Line),
              std::string::npos)
        << Messages();
}

// A typed flag put back by UNDO is the checks' again: the re-check after a
// value typed there judges it. An Esc during a check stops nothing after it:
// the write-back's own Esc still interrupts it.
TEST_F(EditorWriteBack, AnUndoneFlagIsJudgedAndAnEscDuringACheckLeavesTheWriteBacksEscHeard)
{
    TShownParams Shown;
    LoadClimatology();
    const size_t At20 = 3; // out of the fixture's climatic interval
    Open();
    LeaveRunFlagsOf("PTS_Data");
    PickParam("TEMP");
    EditLevel(int(At20), "FTEMP", "3");
    F->SpeedButton15->click(); // "Find Undo Value"
    Grid().SetRecNoValue(int(At20) + 1), F->DBGrid2->SelectFieldByName("FTEMP"), F->FindLevelUndoValues();
    ASSERT_GT(F->ComboBox1->count(), 0);
    ClickUndo();
    EXPECT_EQ(Db("FTEMP", int(At20)), "1"); // as the grid showed it
    F->CheckBox1->click(); // AUTO QC
    EditLevel(int(At20), "TEMP", Db("TEMP", int(At20)) + "1");
    EXPECT_EQ(GridFlag(At20), "2");
    // Typed anew, then UNDO twice: the second puts back the 3 typed first,
    // which is the operator's again.
    EditLevel(int(At20), "FTEMP", "4");
    for (const char *Back : {"1", "3"}) {
        Grid().SetRecNoValue(int(At20) + 1), F->DBGrid2->SelectFieldByName("FTEMP"), F->FindLevelUndoValues();
        F->ComboBox1->setCurrentIndex(F->ComboBox1->findText(Back));
        ClickUndo();
        EXPECT_EQ(Db("FTEMP", int(At20)), Back);
    }
    EXPECT_EQ(GridFlag(At20), "3");

    F->CheckBox1->click(); // MANUAL QC
    QCoreApplication::postEvent(F, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    F->BitBtn5->click();
    EXPECT_FALSE(QcInterrupted);
    CloseEditor();
    const auto Esc = [] {
        for (QWidget *W : QApplication::topLevelWidgets())
            if (W->objectName() == QLatin1String("fmWriteFlagProgress") && W->isVisible())
                QCoreApplication::postEvent(W, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    };
    EXPECT_TRUE(WriteBack(Esc).Interrupted) << Messages();
}

} // namespace
