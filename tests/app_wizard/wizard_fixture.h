// The wizard's units on their own: a private copy of the demo station
// database opened through a connection component as the program opens it,
// a private work folder with the installation's table definitions, and
// helpers to read both back past the program.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Classes.h"
#include "tests/support/LocalRows.h"

class TZqConnection;

namespace wizardtest {

using testsupport::LocalRows;

class WizardDb : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Rows of the station database read past the program, each "a|b|c".
    std::vector<std::string> Station(const std::string &ASql);
    std::vector<std::string> Local(const std::string &ASql) { return LocalRows(WorkDir, ASql); }

    std::filesystem::path Dir;
    std::string DbPath;
    std::string WorkDir; // trailing "/"
    std::unique_ptr<rtl::TComponent> Owner;
    TZqConnection *Conn = nullptr;
};

} // namespace wizardtest
