// WriteFlagsToMainDb: writing the level flags that the checks left in the
// per-database flag tables back into the main station database.
//
// After a confirmation and a choice of cruises, cruise by cruise and cast by
// cast, every level of every parameter table of the cast that has a level-flag
// table gets one Update statement through FlagUpdateCmd, each committed on
// its own (automatic transaction), so that an interruption (Esc, polled per
// level) or a database error keeps everything written before it. Station
// flags are not written here.
#pragma once

#include "app/Globals.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

class QWidget;
class TZqCustomConnection;

// What one write-back did.
struct TWriteFlagsResult {
    bool Confirmed = false;   // Yes on the confirmation and OK on the cruise choice
    bool Interrupted = false; // ended by Esc
    bool Failed = false;      // ended by a statement the database refused
    int Statements = 0;       // Update statements executed
    int Unmatched = 0;        // flag rows that found no level in the main database
    int Shared = 0;           // flag rows whose tenth holds several levels: not written
    int Changed = 0;          // levels whose stored values are no longer those judged: not written
};

// Works with the engine's shared state: the main window's write-back
// datasets (FlagCastQry, FlagLevelQry on the work folder, FlagParamsQry and
// FlagUpdateCmd on the main database), FlagCruiseList, the run's cruises
// (CruiseTbl), QcInterrupted, LocalDbDir and DbTablePrefix. AOwner owns the
// dialogs and is repainted after each.
//
// An Esc that interrupted the run or the editor before (QcInterrupted still
// set) stops the write-back before its first level: a run cut short leaves
// flags of only some of its stations, which must not reach the station
// database as if they were a verdict.
//
// A flag row that carries the values its checks judged the level by is
// written only where the station database still holds them (the Update's
// condition carries them): a level changed since its check, by this
// program's editor or by another program, keeps its flags, and the levels
// so left are counted per cruise and said after the write-back. Rows of
// earlier versions, which carry no judged values, are written as before.
//
// A station database opened read-only is said to be so, and nothing is
// asked. An Update the database refuses (another program's lock, say) ends
// the write-back with the database's reason and what was written of which
// cruise; every statement before it stays.
TWriteFlagsResult WriteFlagsToMainDb(QWidget *AOwner);

// True when the station database behind AConnection takes no writes.
bool StationDbReadOnly(TZqCustomConnection *AConnection);

// The levels of one station in one main-database table, by stored pressure,
// and the level a flag row of that station stands for. The checks key a flag
// row by the pressure of the level they judged to the nearest 0.1 (RoundPres)
// and judge the first level of each tenth in pressure order, so a row stands
// for that level: the statement names it by its stored pressure, which for a
// level on the tenth is the tenth itself. Levels stored at one and the same
// pressure (a repeated pressure) cannot be told apart by any statement and
// are all written, as they always were; where the first pressure of a tenth
// is held by several levels and the tenth holds others besides, which the
// checks judged is not known.
class TStationLevels {
public:
    enum TMatch { lmNone, lmLevel, lmShared };
    void Clear()
    {
        FLevels.clear();
        FSorted = true;
    }
    void Add(double AStoredPres);
    // With lmLevel, APres is the pressure the statement names.
    TMatch Match(double ARowPres, double &APres);

private:
    // (tenth, stored pressure), sorted once before the first match.
    std::vector<std::pair<long long, double>> FLevels;
    bool FSorted = true;
};

// The main-database table of a parameter's levels and the flag columns the
// write-back sets there, in statement order: PTS_Data with FPRES, FTEMP and
// FPSAL for TEMP, PSAL and DENS; otherwise the parameter's own table with
// FPRES and "F" + the parameter.
std::string FlagTableOfParam(const std::string &AParamAbr);
std::vector<std::string> FlagColumnsOfTable(const std::string &ATable);

// The Update statement of one level. ASets holds the flag columns with their
// values (a NULL flag is left out by the caller); with no column to set the
// result is empty and nothing is to be sent. The text keeps the program's
// "where ID_Cast = <id>and PRES = <p>", which the database accepts; a level
// without a pressure (no APres) is named by "PRES Is Null". AJudged adds a
// condition per value column: the stored value is the judged one (in its
// shortest exact text), or with ATolerant lies within JudgedValueTolerance
// of it; a NaN stands for a value judged missing, which is still missing.
std::string FlagUpdateSql(const std::string &ATable, const std::vector<std::pair<std::string, int>> &ASets,
                          int AIdCast, std::optional<double> APres,
                          const std::vector<std::pair<std::string, double>> &AJudged = {}, bool ATolerant = false);

// How far, relative to its size, a stored value may lie from the one judged
// and still count as that value: the editor judges its working copy, which
// holds the station database's values as text of fifteen digits, and a
// value of seventeen comes back from it otherwise. A value the operator
// changes differs by far more.
inline constexpr double JudgedValueTolerance = 1e-6;
bool SameJudgedValue(double AStored, double AJudged);
