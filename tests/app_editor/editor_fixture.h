// The editor's test fixture: the environment after a run (editor_env.h) in
// a private installation of the program with its copy of the demo station
// database, with a scripted dialog seam of its own, the timers on the
// manual clock and the program's Esc hook: an Esc that no control takes asks
// for an interruption.
#pragma once

#include "platform/toolkit/TDialogs.h"
#include "tests/app_editor/editor_env.h"
#include "tests/app_support/AppTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace editortest {

class EditorFixture : public ::testing::Test, public TEditorEnvironment {
protected:
    void SetUp() override;
    void TearDown() override;
    // Picks a cruise in the list as the operator does.
    void PickCruise(int IdCruise)
    {
        if (!TEditorEnvironment::PickCruise(IdCruise))
            ADD_FAILURE() << "cruise " << IdCruise << " is not in the list";
    }

    std::vector<apptest::TRow> Sql(const std::string &ASql) { return apptest::SqliteRows(DbPath, ASql); }
    void SqlExec(const std::string &ASql) { apptest::SqliteExec(DbPath, ASql); }
    bool MainTableExists(const std::string &Name);

    std::unique_ptr<TScriptedDialogs> Script;
    std::unique_ptr<apptest::TTestInstallation> Install;
};

} // namespace editortest
