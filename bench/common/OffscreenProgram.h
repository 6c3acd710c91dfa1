// The program as a benchmark drives it through its windows: the station
// database's driver found through the program folder, Qt offscreen on a
// 1280x1024 screen, the library's services registered, every message box
// answered at once and the timers on the manual clock. One per process,
// made first thing in main.
#pragma once

#include "app/Globals.h"
#include "app/uQCMain.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TTimer.h"

#include <cstdio>
#include <cstdlib>
#include <string>

struct TOffscreenProgram {
    static int Prepared(const char *AProgramDir)
    {
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
        UseProgramFolderDriver(std::string(AProgramDir) + "/");
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return 0;
    }
    TOffscreenProgram(int &argc, char **argv, const char *AProgramDir)
        : FPrepared(Prepared(AProgramDir)), App(argc, argv)
    {
        SetScreenSize(1280, 1024);
        RegisterLibraryServices();
        TTimer::SetManualClock(true);
    }
    int FPrepared;
    TApplication App;
    TScriptedDialogs Quiet; // no box may wait for an answer
};
