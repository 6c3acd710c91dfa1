// What the engine's source files share among themselves and nobody else
// needs: the one transform of the location check and region, the local
// write batches and the automatic run's held writes.
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
#include <vector>

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

class TTable;
// Merges ASource into ATarget's table (append or update by key; only the
// mapped columns when AMappings names them) without moving ATarget's
// cursor: the per-database flag tables stay open on the main window and
// grow with every station, and re-reading one after each merge would make
// a run's cost grow with the square of its length.
void MergeFlagRows(TTable &ATarget, TTable &ASource, const std::vector<std::string> &AMappings = {});

// The level flags of the automatic run: while a TLevelFlagsHeld lives (and
// the editor is not driving), a station's level flags go to the flag tables
// when its last parameter is checked, climatic profiles are read once per
// cruise (per run within a TQcRunScope), and "TmpFlags" is written by
// SaveLevelFlagRows only (the cruise loop calls it when a cruise ends or is
// interrupted). DropUnsavedLevelFlagRows forgets what a failed cruise left
// in memory, as its rolled-back transaction forgets the tables' side.
class TLevelFlagsHeld {
public:
    TLevelFlagsHeld();
    ~TLevelFlagsHeld();
    TLevelFlagsHeld(const TLevelFlagsHeld &) = delete;
    TLevelFlagsHeld &operator=(const TLevelFlagsHeld &) = delete;

private:
    bool FWas;
};
// The whole of one CheckCruises: climatic profiles read in one cruise serve
// the next ones too.
class TQcRunScope {
public:
    TQcRunScope();
    ~TQcRunScope();
    TQcRunScope(const TQcRunScope &) = delete;
    TQcRunScope &operator=(const TQcRunScope &) = delete;

private:
    bool FWas;
};
void SaveLevelFlagRows();
void DropUnsavedLevelFlagRows();
// ClimQry as the last station of a cruise asked for it (the automatic run
// reuses climatic profiles read before instead of asking again).
void RestoreClimatologyQuery();
