// The flag write-back end to end: what reaches the main database, and when
// nothing does.
#include "tests/app_writeback/writeback_fixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <sqlite3.h>
#include <unistd.h>

#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/uflagcru.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TForm.h"
#include "tests/app_support/AppTestSupport.h"
#include "tests/support/query_fixture.h"

namespace wbtest {
namespace {

const std::set<int> RunSet = {2, 3};

TEST(FlagUpdateText, OneStatementPerTableAndColumnsWithTheValuesBound)
{
    EXPECT_EQ(FlagUpdateSql("PTS_Data", {"FPRES", "FTEMP", "FPSAL"}, true),
              "Update PTS_Data Set FPRES=:FPRES, FTEMP=:FTEMP, FPSAL=:FPSAL where ID_Cast = :ID_Cast and PRES = :PRES");
    EXPECT_EQ(FlagUpdateSql("NO3", {"FNO3"}, false), "Update NO3 Set FNO3=:FNO3 where ID_Cast = :ID_Cast and PRES Is Null");
    // A station's prints, one per level table.
    EXPECT_EQ(WithProfilePrint(WithProfilePrint("PTS_Data:1 NO3:2", "no3", "3"), "DOX1", "4"), "PTS_Data:1 no3:3 DOX1:4");
    EXPECT_EQ(ProfilePrintOf("PTS_Data:1 no3:3 DOX1:4", "NO3"), "3");
    EXPECT_EQ(ProfilePrintOf("PTS_Data:1 no3:3 DOX1:4", "PO4"), "");
    // A level by its stored pressure: the shortest text that reads back as
    // it (a tenth as it has always been sent, not "10.199999999999999").
    const std::pair<double, const char *> Stored[] = {{10.25, "10.25"}, {10.33, "10.33"}, {0.1 + 0.2, "0.30000000000000004"},
                                                      {-10.2, "-10.2"}, {0, "0"},           {1e-05, "1e-05"}};
    for (const auto &[Value, Text] : Stored)
        EXPECT_EQ(SqlExactFloat(Value), Text);
    EXPECT_EQ(FlagTableOfParam("PSAL"), "PTS_Data");
    EXPECT_EQ(FlagTableOfParam("DENS"), "PTS_Data");
    EXPECT_EQ(FlagTableOfParam("temp"), "temp");
    EXPECT_EQ(FlagColumnsOfTable("NO3"), (std::vector<std::string>{"FPRES", "FNO3"}));
}

TEST_F(WriteBack, YesWithEveryCruiseMakesTheMainFlagsThoseOfTheFlagTables)
{
    const auto OtherBefore = MainFlags("PTS_Data", {FlagOnlyCruise});
    std::vector<std::string> Offered;
    Script("BitBtn1", [&](TForm &F) {
        auto &Cru = static_cast<Tfmflagcru &>(F);
        for (int I = 0; I < Cru.CheckListBox1->Count(); ++I)
            Offered.push_back(Cru.CheckListBox1->ItemText(I));
        Click(F, "SpeedButton21");
        SaveShot(F, "fmflagcru");
    });
    const TWriteFlagsResult R = Run();

    EXPECT_TRUE(R.Confirmed);
    EXPECT_FALSE(R.Interrupted);
    EXPECT_EQ(R.Unmatched, 0);
    // Only the run's cruises are offered, not every cruise with station flags.
    EXPECT_EQ(Offered, (std::vector<std::string>{"MS91_CS04", "BS92_MN03"}));
    EXPECT_EQ(FlagCruiseList.Count(), 2);
    EXPECT_EQ(MainFlags("PTS_Data", RunSet), ExpectedFlags("PTS_Data", RunSet));
    EXPECT_EQ(MainFlags("NO3", RunSet), ExpectedFlags("NO3", RunSet));
    // One statement per level and table: PTS_Data once per level although the
    // casts list TEMP and PSAL, nothing for PRESS, nothing for DOX1 (no flag
    // table in the work folder); a station's levels of a table in one execute.
    const size_t Levels = MainFlags("PTS_Data", RunSet).size() + MainFlags("NO3", RunSet).size();
    EXPECT_EQ(size_t(R.Statements), Levels);
    EXPECT_EQ(StatementsSent(), ExecutesOf(RunSet));
    EXPECT_EQ(MainFlags("PTS_Data", {FlagOnlyCruise}), OtherBefore);
    const auto Stations = querytest::SqliteRows(DbPath, "select count(*) from Cast_Titles where ID_Cruise in (2, 3)")[0][0];
    EXPECT_EQ(Dialogs->Texts(), (std::vector<std::string>{"Flags written into the station database: " + std::to_string(Levels) +
                                                          " levels of " + Stations + " stations in 2 cruises."}));
    EXPECT_EQ(Dialogs->ModalForms, (std::vector<std::string>{"fmFlagToMainDB", "fmflagcru"}));
}

TEST_F(WriteBack, NoHelpAndCancelWriteNothing)
{
    const auto Before = MainFlags("PTS_Data", RunSet);
    Script("BitBtn2"); // No
    EXPECT_FALSE(Run().Confirmed);
    Dialogs->ModalHandlers.clear();
    Script("BitBtn3"); // Help
    EXPECT_FALSE(Run().Confirmed);
    Dialogs->ModalHandlers.clear();
    Script("BitBtn1", [](TForm &F) { Click(F, "SpeedButton21"); }, "BitBtn2"); // Yes, then Cancel
    EXPECT_FALSE(Run().Confirmed);
    // Yes and OK with nothing ticked, and with nothing offered, are said; No, Help and Cancel not.
    Script("BitBtn1");
    EXPECT_TRUE(Run().Confirmed);
    WorkSql("delete from \"station-Cast_TitlesFlags\"");
    EXPECT_TRUE(RunEveryCruise().Confirmed);
    EXPECT_EQ(StatementsSent(), 0);
    EXPECT_EQ(MainFlags("PTS_Data", RunSet), Before);
    EXPECT_EQ(Dialogs->Texts(), (std::vector<std::string>{"No flags were written: no cruise was ticked.",
                                                          "No flags were written: no cruise has flags of a check to write "
                                                          "(the list of cruises was empty)."}));
}

TEST_F(WriteBack, OnlyTheTickedCruiseIsWrittenAndCruisesAreKnownByIdentity)
{
    // Two cruises of the run under one name: the choice of the second must
    // not write the first.
    WorkSql("update TmpCru set Cruise_Name = 'TWIN'");
    CruiseTbl->Refresh();
    const auto FirstBefore = MainFlags("PTS_Data", {2});
    Script("BitBtn1", [](TForm &F) {
        auto &Cru = static_cast<Tfmflagcru &>(F);
        ASSERT_EQ(Cru.CheckListBox1->Count(), 2);
        Cru.CheckListBox1->SetChecked(1, true);
    });
    Run();
    EXPECT_EQ(FlagCruiseIds, (TIntArr{3}));
    EXPECT_EQ(MainFlags("PTS_Data", {2}), FirstBefore);
    EXPECT_EQ(MainFlags("PTS_Data", {3}), ExpectedFlags("PTS_Data", {3}));
}

TEST_F(WriteBack, AFlagTheRunLeftEmptyKeepsItsValueInTheMainDatabase)
{
    // A TEMP-only run: the salinity flags of the flag table stay empty.
    querytest::SqliteExec(DbPath, "update PTS_Data set FPSAL = 5");
    WorkSql("update \"station-PTS_DataFlags\" set FPSAL = NULL");
    // A level without a verdict (0) has nothing to say either.
    const std::string Cast = querytest::SqliteRows(DbPath, "select min(ID_Cast) from Cast_Titles where ID_Cruise = 3")[0][0];
    querytest::SqliteExec(DbPath, "update PTS_Data set FPRES = 3 where ID_Cast = " + Cast);
    WorkSql("update \"station-PTS_DataFlags\" set FPRES = 0, FTEMP = NULL where ID_Cast = " + Cast);
    apptest::KeepProfilePrints(DbPath, WorkDir, "PTS_Data"); // the flags it judged over
    const TWriteFlagsResult R = RunEveryCruise();
    EXPECT_EQ(Dialogs->Messages.size(), 1u);
    for (const auto &Row : querytest::SqliteRows(
             DbPath, "select ID_Cast, PRES, FPRES, FTEMP, FPSAL from PTS_Data where ID_Cast in "
                     "(select ID_Cast from Cast_Titles where ID_Cruise in (2, 3))")) {
        ASSERT_EQ(Row[4], "5");
        if (Row[0] == Cast) {
            ASSERT_EQ(Row[2], "3");
            ASSERT_EQ(Row[3], "0");
        } else {
            ASSERT_EQ(Row[3], std::to_string(NewFlag(std::stoi(Row[0]), rtl::StrToFloat(Row[1]), 1)));
        }
    }
    const size_t CastLevels = std::stoul(querytest::SqliteRows(DbPath, "select count(*) from PTS_Data where ID_Cast = " + Cast)[0][0]);
    EXPECT_EQ(size_t(R.Statements), MainFlags("PTS_Data", RunSet).size() + MainFlags("NO3", RunSet).size() - CastLevels);
}

TEST_F(WriteBack, EscStopsBeforeTheNextStationAndSaysWhatWasWrittenByCruise)
{
    InstallEscHook(QcEscPressed); // the program's own hook
    // Esc pressed on the progress window while the 5th execute runs.
    constexpr int EscAt = 5;
    int Sent = 0;
    FlagUpdateCmd->AfterExecute = [&Sent](rtl::TObject *) {
        if (++Sent != EscAt)
            return;
        for (QWidget *W : QApplication::topLevelWidgets())
            if (W->objectName() == QLatin1String("fmWriteFlagProgress") && W->isVisible()) {
                SaveShot(*W, "fmWriteFlagProgress");
                QCoreApplication::postEvent(W, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
            }
    };
    const TWriteFlagsResult R = RunEveryCruise();
    InstallEscHook(nullptr);

    // The station under way is written whole (an execute per table); no
    // statement after it.
    int Whole = 0, Executes = 0;
    for (const auto &Row : querytest::SqliteRows(
             DbPath, "select (select count(*) from PTS_Data p where p.ID_Cast = c.ID_Cast), (select count(*) from NO3 n "
                     "where n.ID_Cast = c.ID_Cast) from Cast_Titles c where ID_Cruise = 2 order by ID_Cast"))
        if (Executes < EscAt) {
            Whole += std::stoi(Row[0]) + std::stoi(Row[1]);
            Executes += (Row[0] != "0") + (Row[1] != "0");
        }
    EXPECT_TRUE(R.Interrupted);
    EXPECT_EQ(R.Statements, Whole);
    EXPECT_EQ(Sent, Executes);
    const std::string Said = Dialogs->Texts().at(0);
    EXPECT_EQ(Said.rfind("Flags updating was interrupted!\nWritten: " + std::to_string(Whole) + " levels of ", 0), 0u) << Said;
    EXPECT_NE(Said.find(" of cruise MS91_CS04 (1 of 2 chosen cruises): the stations from there on and the 1 cruise after it "
                        "were not written.\nThe levels not written keep their old flags."),
              std::string::npos)
        << Said;
    // Every statement sent changed one level for good; no other level changed.
    int Changed = 0;
    for (const char *Table : {"PTS_Data", "NO3"}) {
        const auto After = MainFlags(Table, RunSet);
        const auto Expected = ExpectedFlags(Table, RunSet);
        for (size_t I = 0; I < After.size(); ++I)
            if (After[I] == Expected[I])
                ++Changed;
    }
    EXPECT_EQ(Changed, Whole);
    for (QWidget *W : QApplication::topLevelWidgets())
        EXPECT_FALSE(W->objectName() == QLatin1String("fmWriteFlagProgress") && W->isVisible());
}

TEST_F(WriteBack, AnotherProgramsLockPartWayEndsItWithWhatWasWrittenOfWhichCruise)
{
    Conn->SetConnected(false);
    Conn->Params().Add("LoginTimeout=1"); // the driver waits a second for a lock
    Conn->SetConnected(true);
    const int First = int(MainFlags("PTS_Data", {2}).size() + MainFlags("NO3", {2}).size());
    sqlite3 *Other = nullptr;
    sqlite3_open(DbPath.c_str(), &Other);
    // Two executes into the second cruise, the other program locks the
    // database as soon as the station under way is written.
    FlagUpdateCmd->AfterExecute = [&, Sent = 0, At = ExecutesOf({2}) + 2](rtl::TObject *) mutable {
        if (++Sent == At)
            QMetaObject::invokeMethod(
                MainWindow.get(), [Other] { sqlite3_exec(Other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr); },
                Qt::QueuedConnection);
    };
    EXPECT_TRUE(RunEveryCruise().Failed);
    sqlite3_close(Other);
    const int Written = std::stoi(querytest::SqliteRows(DbPath, "select (select count(*) from PTS_Data where FPRES <> 0) + "
                                                                "(select count(*) from NO3 where FPRES <> 0)")[0][0]) -
                        First;
    EXPECT_GT(Written, 0);
    EXPECT_NE(Dialogs->Texts().at(0).find("session on this machine.\nWritten: " + std::to_string(First + Written) +
                                          " levels of "),
              std::string::npos);
    EXPECT_NE(Dialogs->Texts().at(0).find(" of cruise BS92_MN03 (2 of 2 chosen cruises): the stations from there on were "
                                          "not written.\n"),
              std::string::npos);
}

// A level the station database refuses (here a rule of its own) ends the
// write-back within its station's array: the levels sent before it are
// taken back with the rest of the station, and the level is named.
TEST_F(WriteBack, ALevelTheDatabaseRefusesTakesItsStationBackAndIsNamed)
{
    const auto Casts = querytest::SqliteRows(DbPath, "select distinct ID_Cast from PTS_Data where ID_Cast in (select "
                                                     "ID_Cast from Cast_Titles where ID_Cruise = 2) order by ID_Cast");
    ASSERT_GE(Casts.size(), 2u);
    const std::string Cast = Casts[1][0];
    const std::string Pres =
        querytest::SqliteRows(DbPath, "select PRES from PTS_Data where ID_Cast = " + Cast + " order by PRES limit 1 offset 2")[0][0];
    querytest::SqliteExec(DbPath, "create trigger Refuse before update on PTS_Data when NEW.ID_Cast = " + Cast +
                                      " and NEW.PRES = " + Pres + " begin select raise(abort, 'refused by a rule'); end");
    const auto Station = [&] { return querytest::SqliteRows(DbPath, "select FPRES, FTEMP, FPSAL from PTS_Data where ID_Cast = " + Cast); };
    const auto Before = Station();
    EXPECT_TRUE(RunEveryCruise().Failed);
    EXPECT_EQ(Station(), Before);
    const std::string Said = Dialogs->Texts().at(0);
    EXPECT_NE(Said.find("refused by a rule. (parameter set 3 of "), std::string::npos) << Said;
    EXPECT_NE(Said.find(")\nThe station database refused the flags of the level of PTS_Data at " +
                        rtl::FloatToStr(rtl::StrToFloat(Pres)) + " dbar: the station keeps its old flags.\nWritten: "),
              std::string::npos)
        << Said;
    EXPECT_NE(Said.find("It stopped at station " + Cast + " of cruise MS91_CS04"), std::string::npos) << Said;
}

TEST_F(WriteBack, AnEscLeftOverFromTheEditorStopsTheWriteBackBeforeItsFirstLevel)
{
    AbortRequested = QcInterrupted = true;
    const auto Before = MainFlags("PTS_Data", RunSet);
    const TWriteFlagsResult R = RunEveryCruise();
    EXPECT_TRUE(R.Confirmed);
    EXPECT_TRUE(R.Interrupted);
    EXPECT_EQ(StatementsSent(), 0);
    const std::string First = querytest::SqliteRows(DbPath, "select min(ID_Cast) from Cast_Titles where ID_Cruise = 2")[0][0];
    EXPECT_EQ(Dialogs->Texts(), (std::vector<std::string>{"Flags updating was interrupted!\nNothing was written.\nIt stopped at "
                                                          "station " + First + " of cruise MS91_CS04 (1 of 2 chosen cruises): "
                                                          "the stations from there on and the 1 cruise after it were not "
                                                          "written.\nThe levels not written keep their old flags."}));
    EXPECT_EQ(MainFlags("PTS_Data", RunSet), Before);
    // Only the start of a cruise loop clears it.
    EXPECT_TRUE(QcInterrupted);
}

TEST_F(WriteBack, LevelsTheMainDatabaseLacksAreCountedAndReported)
{
    const std::string Cast = querytest::SqliteRows(DbPath, "select min(ID_Cast) from Cast_Titles where ID_Cruise = 3")[0][0];
    WorkSql("insert into \"station-PTS_DataFlags\" (ID_Cast, PRES, FPRES, FTEMP, FPSAL) values (" + Cast + ", 9999, 1, 1, 1)");
    const TWriteFlagsResult R = RunEveryCruise();
    constexpr int Removed = 1;
    EXPECT_EQ(R.Unmatched, Removed);
    ASSERT_EQ(Dialogs->Messages.size(), 1u);
    EXPECT_NE(Dialogs->Messages[0].Text.find("\n\n1 level with new flags was not found in the main database; it keeps "
                                             "its old flags"), std::string::npos);
    EXPECT_EQ(MainFlags("PTS_Data", RunSet), ExpectedFlags("PTS_Data", RunSet));
}

// A list too long to read in a message is begun there and kept whole in a
// file of the work folder, else of the temporary folder, which the message
// names; a later write-back with a short list leaves no earlier list behind.
// The temporary folder's file is this user's and this work folder's: a list
// of another there stays, and a link planted under its name is not followed.
TEST_F(WriteBack, ALongListOfStationsLeftOutIsKeptWholeInAFile)
{
    const std::string Temp = (Dir / "tmp").string(), InWork = WorkDir + "station-NotWritten.txt",
                      Others = Temp + "/station-NotWritten.txt", Mine = (Dir / "mine.txt").string();
    std::filesystem::create_directories(Temp);
    std::ofstream(Others) << "theirs";
    std::ofstream(Mine) << "mine";
    const auto Read = [](const std::string &APath) {
        std::stringstream S;
        S << std::ifstream(APath).rdbuf();
        return S.str();
    };
    std::string InTemp; // learnt from the first write-back
    const char *WasTemp = std::getenv("TMPDIR");
    const std::string KeptTemp = WasTemp ? WasTemp : "";
    ::setenv("TMPDIR", Temp.c_str(), 1);
    WorkSql("update \"station-Cast_TitlesFlags\" set ProfilePrints = NULL");
    // The last station gone: its group is named after the long one, with it.
    const std::string Gone = querytest::SqliteRows(DbPath, "select max(ID_Cast) from Cast_Titles where ID_Cruise = 3")[0][0];
    querytest::SqliteExec(DbPath, "delete from Cast_Titles where ID_Cast = " + Gone);
    const struct {
        bool Refused; // a folder stands where the work folder's file goes
        bool Linked;  // a link to a file of the operator's stands where the temporary folder's goes
    } Rows[] = {{true, false}, {false, false}, {true, true}};
    for (const auto &Row : Rows) {
        std::filesystem::remove_all(InWork);
        if (Row.Refused)
            std::filesystem::create_directories(InWork + "/kept");
        if (Row.Linked)
            std::filesystem::create_symlink(Mine, InTemp);
        Dialogs->Messages.clear();
        const TWriteFlagsResult R = RunEveryCruise();
        ASSERT_GT(R.NotWritten.size(), 25u);
        if (InTemp.empty()) {
            InTemp = R.ListFile;
            EXPECT_EQ(InTemp.rfind(Temp + "/station-NotWritten-" + std::to_string(::geteuid()) + "-", 0), 0u) << InTemp;
        }
        const std::string Said =
            !Row.Refused ? "the whole list is in the file " + InWork
            : Row.Linked ? ", nor into the file " + InTemp + " of the temporary folder (a link stands there)."
                         : "it is in the file " + InTemp;
        const std::string Text = Dialogs->Texts().at(0);
        // The head, 24 stations, the group of the one gone, the rest.
        EXPECT_EQ(std::count(Text.begin(), Text.end(), '\n'), 2 + 24 + 3 + 1) << Text;
        EXPECT_NE(Text.find("\n\n1 station not written: it is no longer in the station database:\nBS92_MN03, station " + Gone +
                            ": "), std::string::npos) << Text;
        const std::string More = "\n... and " + std::to_string(R.NotWritten.size() - 25) + " stations more: ";
        EXPECT_NE(Text.find(More + (Row.Refused ? "the whole list could not be written into the file "
                                                  "station-NotWritten.txt of the work folder " + WorkDir + " (" : Said)),
                  std::string::npos) << Text;
        EXPECT_EQ(Text.substr(Text.size() - std::min(Text.size(), Said.size())), Said) << Text;
        EXPECT_EQ(R.ListFile, Row.Linked ? "" : Row.Refused ? InTemp : InWork);
        const std::string Whole = Read(R.ListFile); // none where a link stands
        EXPECT_EQ(size_t(std::count(Whole.begin(), Whole.end(), '\n')), Row.Linked ? 0 : 2 + 2 + 1 + R.NotWritten.size());
        EXPECT_EQ(std::filesystem::exists(InTemp), Row.Refused); // a later list removes this folder's
    }
    EXPECT_EQ(Read(Mine), "mine");
    std::filesystem::remove_all(InWork);
    std::ofstream(InWork) << "an earlier list";
    apptest::KeepProfilePrints(DbPath, WorkDir, "PTS_Data");
    apptest::KeepProfilePrints(DbPath, WorkDir, "NO3");
    EXPECT_EQ(RunEveryCruise().NotWritten.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(InWork));
    EXPECT_EQ(Read(Others), "theirs");
    KeptTemp.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", KeptTemp.c_str(), 1);
}

// Each table's verdicts on a station go in only while all they were judged
// on is as judged; the others stay, each station named with what was held
// back and why, and marked for the editor's station list.
TEST_F(WriteBack, AVerdictIsWrittenOnlyWhileAllItWasJudgedOnIsAsJudged)
{
    const auto Casts = querytest::SqliteRows(DbPath, "select c.ID_Cast, c.StationName from Cast_Titles c where ID_Cruise = 2 "
                                                     "and exists (select 1 from NO3 n where n.ID_Cast = c.ID_Cast) order by ID_Cast");
    const std::string Both = "PTS_Data and NO3 not written: ", Earlier = "checked by an earlier version of this program, "
                                                                         "which kept no print of what it judged",
                      Dated = "checked by an earlier version of this program, which kept no print of the station's date, "
                              "time and position";
    // The station holds the run's verdicts already: a write-back was stopped
    // after its commit, before the work tables kept its prints.
    const std::string F = " = 1 + (ID_Cast * 7 + cast(round(PRES * 10) as integer)",
                      Holds = "update PTS_Data set FPRES" + F + ") % 4, FTEMP" + F + " + 3) % 4, FPSAL" + F + " + 6) % 4 "
                              "where ID_Cast = @; update NO3 set FPRES" + F + ") % 4, FNO3" + F + " + 3) % 4 where ID_Cast = @";
    // The prints "PTS_Data:<levels>/<when>/<where>/f<flags> NO3:..." as
    // earlier versions kept them: without the flags (perhaps marked "e"
    // for an edit), or the levels alone.
    const auto Prints = [](const std::string &AHead, const std::string &ATail) {
        return "update \"station-Cast_TitlesFlags\" set ProfilePrints = substr(ProfilePrints, 1, " + AHead +
               " || substr(ProfilePrints, 55, " + ATail + " where ID_Cast = @";
    };
    const struct {
        std::string Station, Work; // statements, "@" the station
        bool Judged;               // the station as changed is the one checked
        bool Pts, No3;             // written
        std::string Why, Mark;     // said after the station's name, and in the editor
    } Rows[] = {
        {"update NO3 set NO3 = NO3 + 1 where ID_Cast = @ and PRES = (select min(PRES) from NO3 where ID_Cast = @)", "",
         false, true, false, "NO3 not written: levels changed since its check; PTS_Data written",
         "NO3 (levels changed since its check)"},
        {"update Cast_Titles set Date_Cast = Date_Cast - 90 where ID_Cast = @", "", false, false, false,
         Both + "date or time changed since its check", "PTS_Data and NO3 (date or time changed since its check)"},
        {"update Cast_Titles set Lon = Lon + 0.01 where ID_Cast = @", "", false, false, false,
         Both + "position changed since its check", "PTS_Data and NO3 (position changed since its check)"},
        {"update Cast_Titles set ID_Cruise = 3 where ID_Cast = @", "", false, false, false,
         Both + "moved to cruise BS92_MN03 since its check", "PTS_Data and NO3 (moved to cruise BS92_MN03 since its check)"},
        {"", "update \"station-Cast_TitlesFlags\" set ProfilePrints = NULL where ID_Cast = @", false, false, false,
         Both + Earlier, "PTS_Data and NO3 (" + Earlier + ")"},
        // Another program's flags since the check stay.
        {"update PTS_Data set FTEMP = 5, FPSAL = 5 where ID_Cast = @ and PRES = (select min(PRES) from PTS_Data where "
         "ID_Cast = @)",
         "", false, false, true, "PTS_Data not written: flags changed since its check; NO3 written",
         "PTS_Data (flags changed since its check)"},
        // A 5 the check carried is no verdict: the stored flag stays.
        {"update PTS_Data set FTEMP = 5 where ID_Cast = @", "update \"station-PTS_DataFlags\" set FTEMP = 5 where ID_Cast = @",
         true, true, true, "", ""},
        {"update Cast_Titles set ID_Cruise = NULL where ID_Cast = @", "", false, false, false,
         Both + "taken out of its cruise since its check", "PTS_Data and NO3 (taken out of its cruise since its check)"},
        {"delete from Cast_Titles where ID_Cast = @; delete from \"Parameters\" where ID_Cast = @; delete from PTS_Data "
         "where ID_Cast = @; delete from NO3 where ID_Cast = @",
         "", false, false, false, Both + "no longer in the station database",
         "PTS_Data and NO3 (no longer in the station database)"},
        // Moved, and checked under its new cruise: written there, not named here.
        {"update Cast_Titles set ID_Cruise = 3 where ID_Cast = @",
         "insert into \"station-Cast_TitlesFlags\" (ID_Cruise, ID_Cast, FLon, FLat, FDT, FD, ProfilePrints) select 3, "
         "ID_Cast, 1, 1, 1, 1, ProfilePrints from \"station-Cast_TitlesFlags\" where ID_Cast = @",
         false, true, true, "", ""},
        // ... but for PTS_Data alone: NO3 is named for its check under each cruise.
        {"update Cast_Titles set ID_Cruise = 3 where ID_Cast = @",
         "insert into \"station-Cast_TitlesFlags\" (ID_Cruise, ID_Cast, FLon, FLat, FDT, FD, ProfilePrints) select 3, "
         "ID_Cast, 1, 1, 1, 1, substr(ProfilePrints, 1, instr(ProfilePrints, ' NO3:') - 1) from "
         "\"station-Cast_TitlesFlags\" where ID_Cast = @",
         false, true, false, "NO3 not written: moved to cruise BS92_MN03 since its check",
         "NO3 (moved to cruise BS92_MN03 since its check)"},
        // Holding the run's verdicts, it counts as written, whatever its
        // prints say: those of this version's, none at all.
        {Holds, "", false, true, true, "", ""},
        {Holds, "update \"station-Cast_TitlesFlags\" set ProfilePrints = NULL where ID_Cast = @", false, true, true, "", ""},
        // An earlier version's prints: what they tell is judged, and it is as
        // judged; a print of the levels alone tells no date, time and position.
        {"", Prints("43) || ' '", "38)"), false, true, true, "", ""},
        {"update NO3 set NO3 = NO3 + 1 where ID_Cast = @", Prints("43) || '/e '", "38) || '/e'"), false, true, false,
         "NO3 not written: levels changed since its check; PTS_Data written", "NO3 (levels changed since its check)"},
        {"", Prints("25) || ' '", "20)"), false, false, false, Both + Dated, "PTS_Data and NO3 (" + Dated + ")"},
    };
    ASSERT_GE(Casts.size(), std::size(Rows));
    // The main window keeps PTS_Data's old flags in a table named like a level-flag table.
    WorkSql("create table \"station-PTS_DataOldFlags\" as select * from \"station-PTS_DataFlags\"");
    const auto At = [](std::string ASql, const std::string &ACast) {
        for (size_t P; (P = ASql.find('@')) != std::string::npos;)
            ASql.replace(P, 1, ACast);
        return ASql;
    };
    const auto Levels = [&](bool ANo3, const std::string &ACast) {
        return querytest::SqliteRows(DbPath, std::string(ANo3 ? "select PRES, FPRES, FNO3 from NO3" : "select PRES, FPRES, "
                                             "FTEMP, FPSAL from PTS_Data") + " where ID_Cast = " + ACast + " order by PRES");
    };
    std::vector<std::vector<querytest::TRow>> Before;
    std::vector<std::string> Said;
    for (size_t I = 0; I < std::size(Rows); ++I) {
        const std::string &Cast = Casts[I][0];
        if (!Rows[I].Station.empty())
            querytest::SqliteExec(DbPath, At(Rows[I].Station, Cast));
        if (!Rows[I].Work.empty())
            WorkSql(At(Rows[I].Work, Cast));
        if (Rows[I].Judged)
            apptest::KeepProfilePrints(DbPath, WorkDir, "PTS_Data", "ID_Cast = " + Cast);
        Before.push_back(Levels(false, Cast));
        Before.push_back(Levels(true, Cast));
        if (!Rows[I].Why.empty())
            Said.push_back("\nMS91_CS04, station " + Cast +
                           (Rows[I].Station.rfind("delete", 0) ? " (" + Casts[I][1] + ")" : "") + ": " + Rows[I].Why + "\n");
    }
    // Every level's flags of the two cruises, before and after.
    const auto Dump = [this] {
        const std::string Of = " where ID_Cast in (select ID_Cast from Cast_Titles where ID_Cruise in (2, 3))";
        return querytest::SqliteRows(DbPath, "select 'P', ID_Cast, PRES, FPRES, FTEMP, FPSAL from PTS_Data" + Of +
                                                 " union all select 'N', ID_Cast, PRES, FPRES, FNO3, 0 from NO3" + Of +
                                                 " order by 1, 2, 3");
    };
    const auto Dumped = Dump();
    const TWriteFlagsResult R = RunEveryCruise();
    const auto Marks = NotWrittenMarks();
    std::string Left[2] = {"0", "0"}; // the stations whose PTS_Data, NO3 were not written
    for (size_t I = 0; I < std::size(Rows); ++I) {
        const std::string &Cast = Casts[I][0];
        const auto Mark = Marks.find({2, std::stoi(Cast)});
        EXPECT_EQ(Mark == Marks.end() ? "" : Mark->second, Rows[I].Mark) << I;
        for (const bool No3 : {false, true}) {
            const bool Written = No3 ? Rows[I].No3 : Rows[I].Pts;
            Left[No3] += Written ? "" : ", " + Cast;
            const auto Now = Levels(No3, Cast), &Was = Before[2 * I + No3];
            for (size_t L = 0; L < Was.size(); ++L)
                for (size_t C = 1; C < Was[L].size(); ++C) {
                    const bool Carried = !No3 && C == 2 && Rows[I].Work.find("FTEMP = 5") != std::string::npos;
                    EXPECT_EQ(Now[L][C], Written && !Carried
                                             ? std::to_string(NewFlag(std::stoi(Cast), rtl::StrToFloat(Now[L][0]), int(C) - 1))
                                             : Was[L][C])
                        << I << " " << No3 << " " << L << " " << C;
                }
        }
    }
    // The levels changed are counted as written; those of the tables
    // written that held their verdicts already, apart.
    const std::string In = " where ID_Cast in (select ID_Cast from Cast_Titles where ID_Cruise in (2, 3)) and ID_Cast not in (";
    const int Judged = std::stoi(querytest::SqliteRows(DbPath, "select (select count(*) from PTS_Data" + In + Left[0] +
                                                                   ")) + (select count(*) from NO3" + In + Left[1] + "))")[0][0]);
    const auto After = Dump();
    ASSERT_EQ(After.size(), Dumped.size());
    int Changed = 0;
    for (size_t L = 0; L < After.size(); ++L)
        Changed += After[L] != Dumped[L];
    EXPECT_EQ(R.Levels, Changed);
    EXPECT_EQ(R.Held, Judged - Changed);
    EXPECT_GT(R.Held, 0);
    ASSERT_EQ(Dialogs->Messages.size(), 1u);
    const std::string Text = Dialogs->Messages[0].Text + "\n";
    EXPECT_EQ(Text.rfind("Flags written into the station database: ", 0), 0u) << Text;
    for (const std::string &S : Said)
        EXPECT_NE(Text.find(S), std::string::npos) << S << "\n" << Text;
    // Grouped by what the operator can do: check again, put into a cruise, nothing.
    EXPECT_NE(Text.find("\n\n6 stations not written: check them again. Their levels keep their flags in the station "
                        "database:\n"), std::string::npos) << Text;
    EXPECT_NE(Text.find("\n\n4 stations written in part: check them again. The tables not written keep their flags in "
                        "the station database:\n"), std::string::npos) << Text;
    EXPECT_NE(Text.find("\n\n1 station not written: taken out of its cruise, it can be checked again only once in a "
                        "cruise. Its levels keep their flags in the station database:\nMS91_CS04, station " + Casts[7][0]),
              std::string::npos) << Text;
    EXPECT_NE(Text.find("\n\n1 station not written: it is no longer in the station database:\nMS91_CS04, station " +
                        Casts[8][0] + ":"), std::string::npos) << Text;
    EXPECT_NE(Text.find("\nBS92_MN03, station " + Casts[10][0] + " (" + Casts[10][1] + "): NO3 not written: checked "
                        "under cruise MS91_CS04 before it moved to this one; PTS_Data written\n"), std::string::npos) << Text;

    // What was written is as judged at the next write-back: the flags it
    // wrote are the ones its prints now hold, and it changes none.
    const int Sent = StatementsSent();
    Dialogs->Messages.clear();
    const TWriteFlagsResult Again = RunEveryCruise();
    EXPECT_EQ(Again.NotWritten.size(), 12u);
    EXPECT_EQ(StatementsSent(), Sent);
    EXPECT_EQ(Dump(), After);
    EXPECT_EQ(Dialogs->Messages.at(0).Text.rfind("No flags were written: the levels of the chosen cruises already held "
                                                 "the checks' verdicts. " + std::to_string(Judged) + " levels of ", 0),
              0u) << Dialogs->Messages.at(0).Text;
}

TEST_F(WriteBack, DialogsAsTheOperatorSeesThem)
{
    Dialogs->ModalHandlers.push_back([](TForm &F) {
        EXPECT_EQ(F.windowTitle().toStdString(), "fmFlagToMainDB");
        auto *L2 = F.findChild<QLabel *>(QStringLiteral("Label2"));
        EXPECT_NE(L2->text().toStdString().find("\"NO\"  the flags"), std::string::npos);
        SaveShot(F, "fmFlagToMainDB");
        return int(mrNo);
    });
    Run();
}

// ---- after a real run ------------------------------------------------------------

using qctest::MakeStation;
using qctest::TLevel;

// Levels as CTD and bottle data store them: on the tenth, alone off it in
// their tenth (halves go to the even tenth, as the checks key their rows),
// two in a tenth (one on it, both off it), twice at one pressure with other
// values (on the tenth and off it; first in a tenth of others).
const std::vector<TLevel> TwoDecimals = {
    {2, 15.0, 18.05},     {10.25, 12.0, 18.25}, {10.33, 14.7, 18.3}, {10.75, 14.7, 18.3}, {30, 14.2, 18.7},
    {30.04, 14.2, 18.7},  {40.21, 14.0, 18.85}, {40.24, 14.0, 18.86}, {50, 13.75, 19},    {50, 13.5, 19.1},
    {60, 13.5, 19.1},     {60, 13.0, 19.2},     {60.04, 13.5, 19.1},  {100.07, 12.5, 19.5}, {100.07, 12.25, 19.5}};
// Levels all on the tenth, one pressure twice.
const std::vector<TLevel> OneDecimal = {{2, 15.0, 18.05}, {10.2, 14.7, 18.3}, {50, 13.75, 19}, {50, 13.25, 19.2}};

TEST_F(WriteBackAfterRun, EveryLevelTheChecksJudgedGetsTheRunsFlagsWhateverItsDecimals)
{
    demogen::TDemoCruise C;
    C.Id = 70;
    C.Stations = {MakeStation(701, 70, 33.0, 44.0, qctest::FixtureDay, 0.25, qctest::FixtureSeaDepth, TwoDecimals),
                  MakeStation(702, 70, 33.0, 44.0, qctest::FixtureDay, 0.3, qctest::FixtureSeaDepth, OneDecimal),
                  MakeStation(703, 70, 33.0, 44.0, qctest::FixtureDay, 0.35, qctest::FixtureSeaDepth, OneDecimal),
                  MakeStation(704, 70, 33.0, 44.0, qctest::FixtureDay, 0.4, qctest::FixtureSeaDepth,
                              {{-1, 15.1, 18}, {0, 15.1, 18}, {2, 15.0, 18.05}, {5, 15.0, 18.1}, {10.2, 14.7, 18.3}, {20, 14.5, 18.4}})};
    Open({C});
    StationSql("update Cast_Titles set Date_Cast = NULL where ID_Cast = 703");
    StationSql("update PTS_Data set PRES = NULL where ID_Cast in (703, 704) and PRES = 2 or ID_Cast = 704 and PRES = 5");
    StationSql("update PTS_Data set PRES = 'p6' where ID_Cast = 704 and PRES = 20");
    LoadDefaultClim();
    SelectTests({tstDataClimat, tstDataSpike});
    Run();
    std::map<std::pair<int, double>, std::string> RunFlags; // by station and tenth ("<null>" reads 0)
    for (const auto &Row : LevelFlagRows("PTS_DataFlags"))
        RunFlags[{std::stoi(Row[0]), rtl::StrToFloatDef(Row[1], 0)}] = Row[2] + "|" + Row[3] + "|" + Row[4];
    ASSERT_EQ((RunFlags[{701, 10.2}]), "1|2|1"); // a verdict of its own, out of the climatic interval
    ASSERT_EQ((RunFlags[{702, 50}]), "4|1|1");   // the repeated pressure
    const std::vector<std::string> Before = StationLevels(701), Before2 = StationLevels(702);
    Dialogs->Messages.clear();

    const TWriteFlagsResult R = WriteBackEveryCruise();
    EXPECT_EQ(R.Unmatched, 0);
    EXPECT_EQ(R.Changed, 0);
    // An execute per station and set of columns: two for 703 and 704, one
    // of them their level without a pressure.
    EXPECT_EQ(StatementsSent(), 6);
    // Every level at the pressure of the level the checks judged in a tenth
    // (the first in pressure order) gets its flags; the others keep theirs.
    const auto Expected = [&](int ACast, const std::vector<std::string> &ABefore) {
        std::vector<std::string> Out;
        std::string First; // of the tenth: the level the checks judged
        for (const std::string &Level : ABefore) {
            const std::string Pres = Level.substr(0, Level.find('|'));
            const double Tenth = RoundPres(rtl::StrToFloat(Pres));
            First = Out.empty() || Tenth != RoundPres(rtl::StrToFloat(First)) ? Pres : First;
            Out.push_back(Pres != First ? Level : Pres + "|" + RunFlags.at({ACast, Tenth}));
        }
        return Out;
    };
    EXPECT_EQ(StationLevels(701), Expected(701, Before));
    EXPECT_EQ(StationLevels(702), Expected(702, Before2));
    // No climatic verdict without a date; a missing pressure's 9.
    EXPECT_EQ(StationLevels(703), (std::vector<std::string>{"<null>|9|0|0", "10.2|0|0|0", "50.0|4|0|0", "50.0|4|0|0"}));
    // Two levels without a pressure: the second is no level at 0 dbar.
    EXPECT_EQ(StationLevels(704), (std::vector<std::string>{"<null>|9|0|0", "<null>|9|0|0", "-1.0|" + RunFlags.at({704, -1}),
                                                            "0.0|" + RunFlags.at({704, 0}), "10.2|" + RunFlags.at({704, 10.2}),
                                                            "p6|0|0|0"}));
    EXPECT_EQ(Dialogs->Texts(), (std::vector<std::string>{"Flags written into the station database: " +
                                                          std::to_string(R.Levels) + " levels of 4 stations in 1 cruise."}));
    // The prints kept are those of what was written: the next write-back holds no station back.
    EXPECT_EQ(WriteBackEveryCruise().NotWritten.size(), 0u);
}

// Changed by another program since the run judged it (a spike's neighbour, a
// pressure typed into the level that had none): every flag of the station
// stays, each station said with why; an unchanged station of the cruise is
// written, its level beyond the climatic profile keeping its stored flags.
TEST_F(WriteBackAfterRun, AStationChangedSinceItsCheckKeepsEveryFlagAndIsSaid)
{
    demogen::TDemoCruise C;
    C.Id = 71;
    C.Name = "Changed";
    const std::vector<TLevel> Spiked = {{2, 15.0, 18.05}, {10.2, 14.7, 18.3}, {20, 21.658, 18.5}, {30, 14.2, 18.7}, {50, 13.75, 19}};
    C.Stations = {MakeStation(711, 71, 33.0, 44.0, qctest::FixtureDay, 0.25, qctest::FixtureSeaDepth, Spiked),
                  MakeStation(712, 71, 33.0, 44.0, qctest::FixtureDay, 0.3, qctest::FixtureSeaDepth, OneDecimal),
                  MakeStation(713, 71, 33.0, 44.0, qctest::FixtureDay, 0.35, qctest::FixtureSeaDepth,
                              {{2, 15.0, 18.05}, {10.2, 14.7, 18.3}, {2500, 3.9, 22.6}}),
                  MakeStation(714, 71, 33.0, 44.0, qctest::FixtureDay, 0.4, qctest::FixtureSeaDepth, OneDecimal),
                  MakeStation(715, 71, 33.0, 44.0, qctest::FixtureDay, 0.45, qctest::FixtureSeaDepth, OneDecimal)};
    Open({C});
    LoadDefaultClim();
    SelectTests({tstDataClimat, tstDataSpike});
    StationSql("update PTS_Data set PRES = NULL where ID_Cast = 712 and PRES = 10.2");
    StationSql("update PTS_Data set FPRES = 1, FTEMP = 4, FPSAL = 2 where ID_Cast = 713 and PRES = 2500");
    Run();
    ASSERT_EQ(LevelFlagRows("PTS_DataFlags")[2], (std::vector<std::string>{"711", "20", "1", "3", "3"}));
    StationSql("update PTS_Data set TEMP = 29.5 where ID_Cast = 711 and PRES = 30");
    StationSql("update PTS_Data set PRES = 10.2 where ID_Cast = 712 and PRES Is Null");
    StationSql("update Cast_Titles set Date_Cast = Date_Cast - 90 where ID_Cast = 714");
    StationSql("update PTS_Data set FTEMP = 5, FPSAL = 5 where ID_Cast = 715 and PRES = 10.2"); // run: 1|1|1
    const std::vector<std::string> Before = StationLevels(711), Before2 = StationLevels(712), Before3 = StationLevels(714);
    const std::vector<std::string> Before4 = StationLevels(715);
    Dialogs->Messages.clear();
    const TWriteFlagsResult R = WriteBackEveryCruise();
    EXPECT_EQ(StationLevels(711), Before);
    EXPECT_EQ(StationLevels(712), Before2);
    EXPECT_EQ(StationLevels(714), Before3);
    EXPECT_EQ(StationLevels(715), Before4);
    EXPECT_EQ(StationLevels(713), (std::vector<std::string>{"2.0|1|1|1", "10.2|1|1|1", "2500.0|1|4|2"}));
    EXPECT_EQ(Dialogs->Texts(), (std::vector<std::string>{
                                    "Flags written into the station database: " + std::to_string(R.Levels) +
                                    " levels of 1 station in 1 cruise.\n\n4 stations not written: check them again. Their "
                                    "levels keep their flags in the station database:\nChanged, station 711 (S711): PTS_Data "
                                    "not written: levels changed since its check\nChanged, station 712 (S712): PTS_Data not "
                                    "written: levels changed since its check\nChanged, station 714 (S714): PTS_Data not "
                                    "written: date or time changed since its check\nChanged, station 715 (S715): PTS_Data not "
                                    "written: flags changed since its check"}));

    // Checked again, they are marked no more, and written.
    EXPECT_EQ(NotWrittenMarks().size(), 4u);
    Run();
    EXPECT_EQ(NotWrittenMarks().size(), 0u);
    Dialogs->Messages.clear();
    EXPECT_EQ(WriteBackEveryCruise().NotWritten.size(), 0u);
    EXPECT_EQ(StationLevels(711)[2], "20.0|1|3|3");
    EXPECT_EQ(StationLevels(715)[1], "10.2|1|5|5"); // the 5s carried
}

} // namespace
} // namespace wbtest
