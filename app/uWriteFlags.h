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

#include <string>
#include <utility>
#include <vector>

class QWidget;

// What one write-back did.
struct TWriteFlagsResult {
    bool Confirmed = false;   // Yes on the confirmation and OK on the cruise choice
    bool Interrupted = false; // ended by Esc
    int Statements = 0;       // Update statements executed
    int Unmatched = 0;        // statements that found no level in the main database
};

// Works with the engine's shared state: the main window's write-back
// datasets (FlagCastQry, FlagLevelQry on the work folder, FlagParamsQry and
// FlagUpdateCmd on the main database), FlagCruiseList, the run's cruises
// (CruiseTbl), the Esc flags (AbortRequested, QcInterrupted), LocalDbDir and
// DbTablePrefix. AOwner owns the dialogs and is repainted after each.
TWriteFlagsResult WriteFlagsToMainDb(QWidget *AOwner);

// The main-database table of a parameter's levels and the flag columns the
// write-back sets there, in statement order: PTS_Data with FPRES, FTEMP and
// FPSAL for TEMP, PSAL and DENS; otherwise the parameter's own table with
// FPRES and "F" + the parameter.
std::string FlagTableOfParam(const std::string &AParamAbr);
std::vector<std::string> FlagColumnsOfTable(const std::string &ATable);

// The Update statement of one level. ASets holds the flag columns with their
// values (a NULL flag is left out by the caller); with no column to set the
// result is empty and nothing is to be sent. The text keeps the program's
// "where ID_Cast = <id>and PRES = <p>", which the database accepts.
std::string FlagUpdateSql(const std::string &ATable, const std::vector<std::pair<std::string, int>> &ASets,
                          int AIdCast, double APres);
