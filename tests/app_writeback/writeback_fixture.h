// A main database and a work folder as a QC run leaves them: a private copy
// of the demo station database, and per-database flag tables filled for a
// few of its cruises with known flags (1 to 4, where the database holds 0),
// with the main window's components for the write-back made on them. And the
// write-back after a real run: the engine tests' fixture with the write-back
// components made on its connection.
#pragma once

#include <gtest/gtest.h>

#include <QWidget>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/uWriteFlags.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/Classes.h"
#include "platform/toolkit/TDialogs.h"
#include "tests/app_qc/qc_fixture.h"

class TForm;

namespace wbtest {

// The flag a run "left" for a level: known, never 0, differs by column.
int NewFlag(int AIdCast, double APres, int AColumn);
// Saves a PNG of a window under the build tree.
void SaveShot(QWidget &AWindow, const std::string &AName);
// Clicks the named button of a form.
void Click(TForm &AForm, const char *AName);
// The write-back's datasets as the main window makes them at start, owned by
// AOwner and bound to the engine's links; AExecuted counts the statements
// the update command sends.
void MakeWriteBackObjects(rtl::TComponent *AOwner, TZqConnection *AConn, const std::string &AWorkDir, int &AExecuted);
// Scripts the two modal forms of the write-back: AConfirm is the button
// pressed on the confirmation, then (when it is Yes) AChoose runs on the
// cruise choice and AClose is pressed.
void ScriptWriteBack(TScriptedDialogs &ADialogs, const char *AConfirm, std::function<void(TForm &)> AChoose = nullptr,
                     const char *AClose = "BitBtn1");

class WriteBack : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Cruises in the run's table; the flag tables hold these and FlagOnly.
    static constexpr int RunCruises[2] = {2, 3};
    static constexpr int FlagOnlyCruise = 30;

    void Script(const char *AConfirm, std::function<void(TForm &)> AChoose = nullptr,
                const char *AClose = "BitBtn1")
    {
        ScriptWriteBack(*Dialogs, AConfirm, std::move(AChoose), AClose);
    }
    TWriteFlagsResult Run() { return WriteFlagsToMainDb(MainWindow.get()); }
    // Yes on the confirmation, every cruise ticked, OK.
    TWriteFlagsResult RunEveryCruise()
    {
        Script("BitBtn1", [](TForm &F) { Click(F, "SpeedButton21"); });
        return Run();
    }

    // Main-database rows "ID_Cast|PRES|FPRES|F..." of a table for the
    // casts of the given cruises, ordered.
    std::vector<std::string> MainFlags(const std::string &ATable, const std::set<int> &ACruises);
    // The rows the flag tables say those levels should have.
    std::vector<std::string> ExpectedFlags(const std::string &ATable, const std::set<int> &ACruises);
    // Runs SQL on the work folder.
    void WorkSql(const std::string &ASql);
    int StatementsSent() const { return FExecuted; }
    // The executes that write the given cruises whole: one per station and
    // level table.
    int ExecutesOf(const std::set<int> &ACruises);

    std::filesystem::path Dir;
    std::string DbPath;
    std::string WorkDir; // with a trailing "/"
    std::unique_ptr<rtl::TComponent> Owner;
    TZqConnection *Conn = nullptr;
    std::unique_ptr<TTable> CruiseTbl;
    std::unique_ptr<QWidget> MainWindow;
    std::unique_ptr<TScriptedDialogs> Dialogs;

private:
    void FillFlagTables();
    int FExecuted = 0;
};

// A station database made for the test, a QC run over it, then the
// write-back of what the run left, as the main window runs it.
class WriteBackAfterRun : public qctest::QcEngineTest {
protected:
    // Yes on the confirmation, every cruise ticked, OK.
    TWriteFlagsResult WriteBackEveryCruise();
    // The station's levels in the station database, "PRES|FPRES|FTEMP|FPSAL"
    // in pressure order.
    std::vector<std::string> StationLevels(int ACast);
    int StatementsSent() const { return FExecuted; }

private:
    int FExecuted = 0;
};

} // namespace wbtest
