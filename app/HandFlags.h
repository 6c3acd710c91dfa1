// HandFlags: the level flags the operator typed in the editor, kept as the
// operator's decision.
//
// A level flag typed into the editor's data grid goes at once into the
// station database; what the operator decided is kept here as a record of
// its own, one per cell: the station, the level table of the station
// database ("PTS_Data" or a chemical parameter's own table), the level (its
// pressure to the tenth of a dbar, as the checks and the run's flag rows
// key levels), the flag column and the flag typed. The records live in the
// per-database work table DbTablePrefix + "-HandFlags", which only this
// unit writes; every check (the run's and the editor's), the editor's
// question and tree and the write-back read them here.
//
// States of a cell's record:
//   none --HandFlagTyped (a flag typed, or one typed before put back by
//          UNDO)--> held
//   held --HandFlagTyped--> held, with the new flag
//   held --HandFlagEnded: UNDO to the flag the cell held before its first
//          edit, a check the operator let
//          replace it, the station database holding another flag (another
//          program stored one: HandFlagHolds says so to the reader)--> none
//   held --HandFlagsMoved (the level's pressure typed anew)--> held at the
//          new pressure, or none when its level table has a record there
//          already (it names no level: a pressure another level holds is
//          refused)
// A check keeps a held flag in its verdicts only while the station database
// holds the flag typed; the write-back then writes it as it is.
//
// Earlier versions kept no such record: they took a flag column with rows
// of the undo table of the level fields under its level for one typed by
// hand (until a row named "CHECKED " + the column said a check was let
// replace it). When the table is made, those rows are read once into
// records: a flag column of one level table, with the flag the station
// database holds there. A column that several level tables of the station
// have at that pressure (FPRES, a chemical one written as "FCHEM") is taken
// in each table whose flag is no longer the one the cell held before its
// first edit and, of several, stands out of the table's column (in each,
// where that does not tell). The undo table stays what UNDO reads; its
// marks go.
#pragma once

#include <limits>
#include <string>
#include <vector>

struct TStoredProfile;

// The tenth a record names the level by: the pressure to the tenth of a
// dbar, rounded as the level-flag rows round it (halves to even).
inline constexpr long long NoPresTenth = std::numeric_limits<long long>::min(); // the level without a pressure
long long HandFlagTenth(double APres); // NaN: NoPresTenth
// A tenth as text: "2.6" for 26; "no pressure" for NoPresTenth.
std::string TenthText(long long ATenth);

struct THandFlag {
    int IdCast = 0;
    std::string Table;  // the station database's level table
    long long Tenth = NoPresTenth;
    std::string Column; // the flag column, upper case: FPRES, FTEMP, FPSAL, "F" + a chemical parameter
    int Flag = 0;       // the flag typed
};

// The operator typed AFlag.Flag into its cell: it is the operator's now.
void HandFlagTyped(const THandFlag &AFlag);
// The cell is the checks' again.
void HandFlagEnded(const THandFlag &AFlag);
// The level of station AIdCast at tenth AFrom of level table ATable is at
// tenth ATo now: its records go with it.
void HandFlagsMoved(int AIdCast, const std::string &ATable, long long AFrom, long long ATo);

// The records of station AIdCast in level table ATable. The automatic run
// reads the table once (HandFlagsReadAgain at its start) and keeps it while
// only this unit writes it; the editor reads afresh.
std::vector<THandFlag> HandFlagsOf(int AIdCast, const std::string &ATable);
void HandFlagsReadAgain();

// The record still holds where the station database stores the flag typed
// in its cell (AStoredEmpty: no flag at all); one that does not is ended
// here: another program stored another flag since.
bool HandFlagHolds(const THandFlag &AFlag, int AStored, bool AStoredEmpty);
// The records of station AIdCast in ATable that hold against its profile
// as stored (AStored, read now), each with the stored pressure of its level
// (NaN: none); the others are ended.
struct THeldHandFlag {
    THandFlag Flag;
    double Pres = 0;
};
std::vector<THeldHandFlag> HandFlagsHeld(int AIdCast, const std::string &ATable, const TStoredProfile &AStored);

// A typed flag as the editor names it to the operator: "station 165, 6 dbar,
// TEMP: 3" (APres NaN: "the level without a pressure").
std::string HandFlagLine(int AIdCast, double APres, const std::string &AColumn, const std::string &AFlag);
// Lines named in one box: the first twenty, then "and N more".
std::string HandFlagLines(const std::vector<std::string> &ALines);
