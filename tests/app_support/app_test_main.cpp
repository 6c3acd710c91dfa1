// Test main of the program's tests: one offscreen application with a fixed
// screen and fonts, the library's services registered as the program
// registers them, and a scripted dialog seam under every test, so that no
// message box or modal form ever waits for a person.
#include "app/uQCMain.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDialogs.h"
#include "tests/support/TestEnvironment.h"

#include <QFont>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    testsupport::SetTestEnvironment();
    // Never a real window, whatever the caller's session offers.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication App(argc, argv);
    QApplication::setFont(QFont(QString::fromLatin1("DejaVu Sans"), 9));
    SetScreenSize(1280, 1024);
    SetApplicationTitle("MARLIN QUALITY CONTROL UNIT");
    RegisterLibraryServices();
    TScriptedDialogs Seam;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
