// The editor's test fixture: the environment after a run (editor_env.h)
// over a private copy of the demo station database in a temporary folder,
// with the scripted dialog seam and the timers on the manual clock.
#pragma once

#include "platform/toolkit/TDialogs.h"
#include "tests/app_editor/editor_env.h"
#include "tests/comp_query/query_fixture.h"

#include <QTemporaryDir>
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

    std::vector<querytest::TRow> Sql(const std::string &ASql) { return querytest::SqliteRows(DbPath, ASql); }
    bool MainTableExists(const std::string &Name);

    std::unique_ptr<TScriptedDialogs> Script;
    std::unique_ptr<QTemporaryDir> Dir;
};

} // namespace editortest
