// WriteFlagsToMainDb: writing the level flags that the checks left in the
// per-database flag tables back into the main station database.
//
// After a confirmation and a choice of cruises, cruise by cruise and station
// by station, the level flags of every parameter table of the station that
// has a level-flag table are written by Update statements prepared once per
// table and set of columns, their values bound as parameters. A station is
// compared and written in one transaction of its own, so that an
// interruption (Esc, polled per station) or a database error keeps every
// station written before it whole, and none half. Station flags are not
// written here.
#pragma once

#include "app/Globals.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

class QWidget;
class TZqCustomConnection;

// A station whose verdicts the write-back left out, and why.
struct TNotWritten {
    std::string Cruise;
    int IdCast = 0;
    std::string Station; // its StationName
    std::string Why;
};

// What one write-back did.
struct TWriteFlagsResult {
    bool Confirmed = false;   // Yes on the confirmation and OK on the cruise choice
    bool Interrupted = false; // ended by Esc
    bool Failed = false;      // ended by a statement the database refused
    int Statements = 0;       // Update statements executed
    int Unmatched = 0;        // flag rows that found no level in the main database
    int Levels = 0;           // levels written, of
    int Stations = 0;         // stations, of
    int Cruises = 0;          // cruises
    int Changed = 0;          // stations with verdicts left out (NotWritten)
    std::vector<TNotWritten> NotWritten;
};

// Works with the engine's shared state: the main window's write-back
// datasets (FlagCastQry on the work folder, FlagParamsQry and FlagUpdateCmd
// on the main database), FlagCruiseList, the run's cruises (CruiseTbl),
// QcInterrupted, LocalDbDir and DbTablePrefix. AOwner owns the dialogs and
// is repainted after each. The Update statements are commands of the
// write-back's own on FlagUpdateCmd's connection, one per statement text;
// each fires FlagUpdateCmd's BeforeExecute and AfterExecute, as the one
// command of the write-back.
//
// An Esc that interrupted the run or the editor before (QcInterrupted still
// set) stops the write-back before its first station: a run cut short
// leaves flags of only some of its stations, which must not reach the
// station database as if they were a verdict. An Esc during the write-back
// stops it before the next station; both say in a few lines where it
// stopped and what was written.
//
// A verdict is written only while all it was judged on is as judged: the
// station's date, time and position and the levels of its table, as the
// print the checks kept per level table in the station's row of the
// "-Cast_TitlesFlags" table (TJudgedPrint) says, read back in the station's
// transaction. A table of the station whose print differs keeps every flag
// (a verdict on a level is also one on its neighbours); its other tables
// are written. A station no longer in the station database, moved to
// another cruise, or checked by an earlier version (no print) keeps every
// flag. Each station left out is named with why (what changed; edited in
// the editor since its check, when so) at the end of the write-back, and
// marked in its row (NotWrittenField) for the editor's station list.
// Within a table as judged, a flag row names the first level of its tenth
// of a decibar in pressure order, the one the checks judged, by its stored
// pressure: every level stored at that very pressure (a repeated pressure)
// takes the row's flags. A flag the checks gave no verdict (0, none at all,
// or a 5 they carry and never change) leaves the stored flag as it is.
//
// Every write-back that ran says at its end what it wrote (levels, stations,
// cruises) or that it wrote nothing and why. A station database opened
// read-only is said to be so, and nothing is asked. An Update the database
// refuses (another program's lock, a full disk) ends the write-back with the
// database's reason and what was written; the stations written before it
// stay.
TWriteFlagsResult WriteFlagsToMainDb(QWidget *AOwner);

// The stations the last write-back left out, by (ID_Cruise, ID_Cast), with
// why: their marks in the "-Cast_TitlesFlags" table of the work folder.
std::map<std::pair<int, int>, std::string> NotWrittenMarks();

// True when the station database behind AConnection takes no writes.
bool StationDbReadOnly(TZqCustomConnection *AConnection);

// The main-database table of a parameter's levels and the flag columns the
// write-back sets there, in statement order: PTS_Data with FPRES, FTEMP and
// FPSAL for TEMP, PSAL and DENS; otherwise the parameter's own table with
// FPRES and "F" + the parameter. The value columns the checks judge there
// (PRES and TEMP, PSAL or the parameter), as a profile print takes them.
std::string FlagTableOfParam(const std::string &AParamAbr);
std::vector<std::string> FlagColumnsOfTable(const std::string &ATable);
std::vector<std::string> ValueColumnsOfTable(const std::string &ATable);

// The Update statement that sets AColumns (flag columns, each bound to the
// parameter of its name) of a station's level named by its stored pressure
// (:PRES), or of its level without a pressure ("PRES Is Null") when
// APres is false.
std::string FlagUpdateSql(const std::string &ATable, const std::vector<std::string> &AColumns, bool APres);
