// The editor's test fixture; see the header.
#include "tests/app_editor/editor_fixture.h"

#include "platform/toolkit/TTimer.h"

#include <filesystem>

namespace editortest {

void EditorFixture::SetUp()
{
    TTimer::SetManualClock(true);
    Script = std::make_unique<TScriptedDialogs>();
    Dir = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(Dir->isValid());
    const std::string Root = Dir->path().toStdString();
    const std::string Program = EDITOR_PROGRAM_DIR;
    std::filesystem::copy_file(Program + "/demo/marlin_demo.mdb", Root + "/marlin_demo.mdb");
    TEditorEnvironment::Setup(Program, Root + "/marlin_demo.mdb", Root);
}

void EditorFixture::TearDown()
{
    Teardown();
    Script.reset();
    TTimer::SetManualClock(false);
}

bool EditorFixture::MainTableExists(const std::string &Name)
{
    return !Sql("select name from sqlite_master where type='table' and name='" + Name + "'").empty();
}

} // namespace editortest
