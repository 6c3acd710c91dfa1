// What the program's tests share: a private installation of the program per
// test, the station database read past the program, and pictures of the
// windows a test opens.
#pragma once

#include "tests/support/query_fixture.h"

#include <filesystem>
#include <string>
#include <vector>

class QWidget;

namespace apptest {

// The staged program folder of the build (with a trailing "/").
std::string ProgramFolder();

// A private installation in a temporary folder: the program folder's data
// (Cfg, Maps, Imgs, doc, QCCont, SoftDB, BDE, temp) and a copy of the demo
// station database at demo/marlin_demo.mdb, which Cfg/main.ini names. While
// it lives the program's file is Dir() + "marlinqc", so that a main window
// made in the test takes it as its program folder. Removed afterwards.
class TTestInstallation {
public:
    TTestInstallation();
    ~TTestInstallation();
    TTestInstallation(const TTestInstallation &) = delete;
    TTestInstallation &operator=(const TTestInstallation &) = delete;

    const std::string &Dir() const { return FDir; } // with a trailing "/"
    std::string DbPath() const { return FDir + "demo/marlin_demo.mdb"; }
    // Database/DatabaseName of Cfg/main.ini ("" removes the section).
    void SetDatabaseSetting(const std::string &AValue) const;
    std::string DatabaseSetting() const;
    // A copy of the demo database at another path of the installation.
    std::string CopyDatabase(const std::string &ARelativePath) const;

private:
    std::string FDir;
};

// The station database read straight from its file, past driver and
// library: every value as SQLite's text (NULL as "<null>").
using querytest::SqliteExec;
using querytest::SqliteRows;
using querytest::TRow;

// Keeps with AWorkDir's station-flag rows the prints of the profiles in ALevelTable
// of AStationDb (of the stations ACastWhere selects), as a run keeps those it judged.
void KeepProfilePrints(const std::string &AStationDb, const std::string &AWorkDir, const std::string &ALevelTable,
                       const std::string &ACastWhere = "1 = 1");

// Saves a picture of the widget (made visible and laid out first) as
// <build>/artefacts/<name>.png and returns that path.
std::string SaveScreenshot(QWidget &AWidget, const std::string &AName);

// What a reader of the window cannot read: every visible caption under
// ARoot (a label, a button, a check box, a radio button, a group box's
// title, a tab's text) that its control cannot show whole, because it is
// wider (a word-wrapped label: taller) than the room its control gives it
// or runs past a window that holds it; and every visible control that lies
// over another control's caption. One line per fault, with the controls'
// names and texts. ARoot is to be shown and laid out.
std::vector<std::string> CaptionProblems(const QWidget &ARoot);

} // namespace apptest
