// The program "marlinqc": the application object, the library's services,
// the main window's set-up, the message loop.
#include "app/Globals.h"
#include "app/uQCMain.h"

#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDialogs.h"

#include <memory>

int main(int argc, char **argv)
{
    TApplication App(argc, argv);
    SetApplicationTitle("MARLIN QUALITY CONTROL UNIT");
    // The station database's driver is the one of this program's folder,
    // wherever the folder was copied, moved or installed.
    UseProgramFolderDriver(rtl::ExtractFilePath(ProgramFileName()));
    RegisterLibraryServices();
    auto Form = std::make_unique<TForm1>();
    // No database chosen ends the program as the operator asked; a set-up
    // that could not go on ends it with a fault a launcher can see.
    if (!Form->FormCreate())
        return Form->StartRefused() ? 1 : 0;
    const int Result = RunApplication(*Form);
    // The window and its data components go before the application object.
    Form.reset();
    return Result;
}
