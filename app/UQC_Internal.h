// What the engine's source files share among themselves and nobody else
// needs: the one transform of the location check and region, the local
// write batches and the automatic run's held writes.
#pragma once

#include "platform/toolkit/TTypes.h"

#include <string>

// The pixel of a position in RegionScreenRect, through the full view
// (ZoomStack[0]), x not inverted and y inverted.
TPoint LocationPixel(double Lon, double Lat);

// The toolkit's message pump and default cursor, reached from a unit that
// does not see the client components' header: both name the screen cursor
// values (crDefault, crHourGlass) in the global scope.
void QcProcessMessages();
void QcRestoreCursor();

class TField;
class TDataSet;
// An empty value: no value at all, a value the driver could not read (its
// field reads as empty), or a text field holding no text.
bool IsEmptyValue(TField *F);
// The station under AStation's cursor has a longitude and a latitude. One
// without (missing, or unreadable) lies nowhere: it reads as 0, 0, which is
// no place to judge a depth, look up a square or compare with another
// station by.
bool StationHasPosition(TDataSet &AStation);
// The square of that station (SquareOfStation, which sets SeaCode); none,
// and no sea, for a station without a position.
std::string StationSquare(TDataSet &AStation);
// The square and sea (SeaCode) of a station at Lon, Lat whose levels are
// checked against that sea's climate: FindSquare's, save that a station a
// Mediterranean square holds has none while the Black Sea squares, looked
// up first, were refused. The run and the editor's checks place stations
// by it alone.
std::string SquareOfStation(double Lon, double Lat);

// What the data checks judged of the cruise under check: the cruise loop
// marks a data test as run on a cruise only where its verdict stands on a
// level (a value met a climatic interval; the spike test took the step
// from the level before).
struct TLevelsJudged {
    bool Climat = false, Spike = false;
};
extern TLevelsJudged LevelsJudged;

#include <functional>
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
// The whole of one CheckCruises: the duplicate search asks once how far
// the stored times reach from their days, and makes its scratch table once.
class TTimeReachHeld {
public:
    TTimeReachHeld();
    ~TTimeReachHeld();
    TTimeReachHeld(const TTimeReachHeld &) = delete;
    TTimeReachHeld &operator=(const TTimeReachHeld &) = delete;
};
// One line naming the stations AIds of a cruise, the first ten of a long
// list: "The station 7 of the cruise C" + AOne, or "The stations 7, 8 of the
// cruise C" + AMany; "" without stations.
std::string StationsLine(const std::vector<int> &AIds, const std::string &ACruiseName, const std::string &AOne,
                         const std::string &AMany);
void SaveLevelFlagRows();
// The profile prints of the stations the run judged in the cruise, into
// their station-flag rows: the cruise loop calls it when a cruise is done.
void SaveStationPrints();
void DropUnsavedLevelFlagRows();
// ClimQry as the last station of a cruise asked for it (the automatic run
// reuses climatic profiles read before instead of asking again).
void RestoreClimatologyQuery();

// ---- the verdict on one level ------------------------------------------------------
// The rules of the level checks (bottom pressure, density inversion,
// spikes, climatic range, repeated pressure) as one function of what a
// level holds, what the levels before it left, and the station's and
// pass's settings. The level loop reads the levels, keeps the flag rows and
// shows the verdicts; everything it judges is decided here.

// What a pass fixes before its first level.
struct TLevelRules {
    bool SpikeTest = false;     // the spike test is selected
    bool OneSided = false;      // the one-sided spike criterion
    double SpikeThreshold = 0;  // a step of more than this per dbar is large
    bool DensityTest = false;   // temperature and salinity are at hand
    bool HaveBottom = false;    // the station lies in the grid
    double BottomMin = 0;       // the deepest node of its cell (an elevation)
    double DeepestClimLevel = 0;
};

// One level as read: its numbers (an empty one reads 0) and stored flags.
struct TLevelIn {
    double Pres = 0, Value = 0;
    bool PresEmpty = false, ValueEmpty = false;
    // Held, but not readable by the driver (a text, a BLOB): read as empty,
    // yet no missing value. A level without its pressure is not judged at
    // all, one without its value is judged by its pressure only.
    bool PresUnread = false, ValueUnread = false;
    int PresFlag = 0, ParamFlag = 0;
    double Temp = 0, Psal = 0; // read for the density test only
    bool TempEmpty = true, PsalEmpty = true;
};

// What the levels of the pass before this one left behind.
struct TProfileMemory {
    bool HavePrev = false;
    double PrevTenth = 0;       // the last level's pressure to 0.1
    int PrevPresFlag = 0;       // and its pressure flag
    double PrevDensity = -1.0;  // -1: no density yet
    // The spike test: the levels it ran on, the last one's value and
    // pressure, the last two steps.
    int SpikeRuns = 0;
    double SpikeValue = 0, SpikePres = 0;
    double Dv = 0, Dp = 0, PrevDv = 0, PrevDp = 0;
};

// The climatic interval at a pressure; not Known where the climatic profile
// cannot be interpolated.
struct TClimBand {
    bool Known = true;
    double Lo = 0, Hi = 0;
};

struct TLevelVerdict {
    // Every level not skipped gets a flag row, one without a pressure too
    // (for its 9).
    bool Skipped = false;         // the same pressure to 0.1 as the level before, or none readable
    int PresFlag = 0, ParamFlag = 0, SpikeFlag = 0;
    double PrevTenth = 0;         // the level before, to 0.1
    bool RepeatMark = false;      // that level's pressure flag goes to 4
    bool SpikeMark = false;       // the level the spike test judged (SpikeAt) gets 4
    double SpikeAt = 0;
    bool DensityCompared = false; // a density before this one was at hand
    bool BandCompared = false;    // the value met a climatic interval
    bool DensityOk = true, ClimOk = true, BottomOk = true;
    bool BeyondClimat = false;    // at or below the deepest climatic level: no climatic verdict
    bool ClimatError = false;     // the data climate check found an error here
    bool SpikeError = false;      // the spike test did (a spike or a repeated pressure)
};

// BandAt is asked only for a level the climatic test judges.
TLevelVerdict JudgeLevel(const TLevelRules &Rules, const TLevelIn &Level, TProfileMemory &Memory,
                         const std::function<TClimBand(double Pres)> &BandAt);
