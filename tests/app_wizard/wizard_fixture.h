// The wizard tests' world: a private copy of the demo station database
// opened through a connection component as the program opens it, a private
// work folder with the installation's table definitions, and helpers to
// read both back past the program.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Classes.h"

class QWidget;
class TZqConnection;

namespace wizardtest {

// Registers the library's services and the Access driver once.
void InitServices();
// The staged program folder (with a trailing "/").
std::string ProgramFolder();
// Rows of the station database read through SQLite itself, each "a|b|c".
std::vector<std::string> SqliteRows(const std::string &ADbPath, const std::string &ASql);
void SqliteExec(const std::string &ADbPath, const std::string &ASql);
// Rows of a local SQL query on a work folder, each "a|b|c".
std::vector<std::string> LocalRows(const std::string &AFolder, const std::string &ASql);
// Saves a picture of the window as <name>.png beside the test program.
void SaveShot(QWidget &AWindow, const std::string &AName);

class WizardDb : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::vector<std::string> Station(const std::string &ASql) { return SqliteRows(DbPath, ASql); }
    std::vector<std::string> Local(const std::string &ASql) { return LocalRows(WorkDir, ASql); }

    std::filesystem::path Dir;
    std::string DbPath;
    std::string WorkDir; // trailing "/"
    std::unique_ptr<rtl::TComponent> Owner;
    TZqConnection *Conn = nullptr;
};

} // namespace wizardtest
