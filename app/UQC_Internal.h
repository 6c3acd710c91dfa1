// What the engine's source files share among themselves and nobody else
// needs: the one transform of the location check and region.
#pragma once

#include "platform/toolkit/TTypes.h"

// The pixel of a position in RegionScreenRect, through the full view
// (ZoomStack[0]), x not inverted and y inverted.
TPoint LocationPixel(double Lon, double Lat);

// The toolkit's message pump and default cursor, reached from a unit that
// does not see the client components' header: both name the screen cursor
// values (crDefault, crHourGlass) in the global scope.
void QcProcessMessages();
void QcRestoreCursor();

#include <string>

// One transaction on a work folder for many local writes (a cruise's
// station flags, a station's level flags): committed by Commit, rolled
// back when an error leaves the scope first. Transactions nest.
class TLocalWriteBatch {
public:
    explicit TLocalWriteBatch(std::string AFolder);
    ~TLocalWriteBatch();
    TLocalWriteBatch(const TLocalWriteBatch &) = delete;
    TLocalWriteBatch &operator=(const TLocalWriteBatch &) = delete;
    void Commit();

private:
    std::string FFolder;
    bool FOpen = false;
};
