// Offscreen map set-up of the reader targets.
#include "tests/fuzz/FuzzMaps.h"

#include "app/Globals.h"
#include "app/manual/Isolines.h"
#include "app/manual/Recalcs.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCanvas.h"
#include "platform/toolkit/TDialogs.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QtGlobal>
#include <filesystem>
#include <memory>

// Fontconfig fills its caches the first time a label of a new size is
// measured and keeps them for the process; the leak checker, which looks
// after each input, would take that for a leak of the reader.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace fuzz {

namespace {

// Every box of a reader is answered at once; the record of them is
// dropped so that a long run does not grow it.
class TQuietDialogs : public TScriptedDialogs {
public:
    int Message(const TMessageRequest &Request) override
    {
        const int Answer = TScriptedDialogs::Message(Request);
        Messages.clear();
        return Answer;
    }
};

struct TMapHost {
    int Argc = 1;
    char Name[16] = "marlin_fuzz";
    char *Argv[2] = {Name, nullptr};
    std::unique_ptr<TApplication> App;
    std::unique_ptr<TQuietDialogs> Dialogs;
    std::unique_ptr<TBitmap> Bitmap;

    TMapHost()
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (!QCoreApplication::instance())
            App = std::make_unique<TApplication>(Argc, Argv);
        Dialogs = std::make_unique<TQuietDialogs>();
        Bitmap = std::make_unique<TBitmap>(660, 260);
        for (const char *Sub : {"a", "b"})
            std::filesystem::create_directories(ScratchFolder() + Sub);
        BuildMapColors();
        // The editor's default view: 10 pixels a degree.
        ZoomStack = {MakeWorldRect(-14, 30, 42, 50)};
        ZoomIndex = 0;
        MapScreenRect = TRect{50, 30, 610, 230};
    }
};

// Kept to the end of the process: Qt's own globals go first at exit, and an
// application destroyed after them crashes.
TMapHost &Host()
{
    static TMapHost *H = new TMapHost();
    return *H;
}

} // namespace

void PrepareMaps() { (void)Host(); }

TCanvas &MapCanvas() { return Host().Bitmap->Canvas(); }

std::string NextFolder()
{
    static bool Second = false;
    Second = !Second;
    return ScratchFolder() + (Second ? "b/" : "a/");
}

} // namespace fuzz
