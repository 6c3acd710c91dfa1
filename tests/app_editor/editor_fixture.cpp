// The editor's test fixture; see the header.
#include "tests/app_editor/editor_fixture.h"

#include "app/Globals.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TTimer.h"

namespace editortest {

void EditorFixture::SetUp()
{
    TTimer::SetManualClock(true);
    InstallEscHook(QcEscPressed); // the program's own hook
    Script = std::make_unique<TScriptedDialogs>();
    Install = std::make_unique<apptest::TTestInstallation>();
    TEditorEnvironment::Setup(Install->Dir(), Install->DbPath(), Install->Dir());
}

void EditorFixture::TearDown()
{
    Teardown();
    Install.reset();
    Script.reset();
    InstallEscHook({});
    AbortRequested = QcInterrupted = false;
    TTimer::SetManualClock(false);
}

bool EditorFixture::MainTableExists(const std::string &Name)
{
    return !Sql("select name from sqlite_master where type='table' and name='" + Name + "'").empty();
}

} // namespace editortest
