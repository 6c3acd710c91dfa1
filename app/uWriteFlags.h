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
#include "app/WorkTables.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QWidget;
class TZqCustomConnection;

// What a station left out whole can be told to do: be checked again; be
// put into a cruise, as only a cruise's stations are checked; nothing, as
// it is no longer in the station database.
enum TNotWrittenKind { nwCheckAgain, nwNoCruise, nwGone };

// A station whose verdicts the write-back left out in whole or in part, and
// why: the level tables held back, each with why, and those written.
struct TNotWritten {
    std::string Cruise;
    int IdCast = 0;
    std::string Station; // its StationName
    std::string Why;     // the line that names it, after its name
    std::vector<std::pair<std::vector<std::string>, std::string>> Held; // (tables, why)
    std::vector<std::string> Written;
    TNotWrittenKind Kind = nwCheckAgain;
};

// What one write-back did.
struct TWriteFlagsResult {
    bool Confirmed = false;   // Yes on the confirmation and OK on the cruise choice
    bool Interrupted = false; // ended by Esc
    bool Failed = false;      // ended by a statement the database refused
    int Statements = 0;       // Update statements executed (a level each, sent in arrays)
    int Unmatched = 0;        // flag rows that found no level in the main database
    int Levels = 0;           // levels whose flags the write-back changed, of
    int Stations = 0;         // stations, of (those written in part among them)
    int Cruises = 0;          // cruises
    int Held = 0;             // levels that already held their verdicts, of
    int HeldStations = 0;     // stations
    int Changed = 0;          // stations with verdicts left out (NotWritten)
    std::vector<TNotWritten> NotWritten;
    // The flags typed by hand (HandFlags) that the tables written keep as
    // typed, as the editor names them; said at the end.
    std::vector<std::string> HandKept;
    // The file that holds the whole list of the stations left out when the
    // message could not show every one ("" when it did, or when no folder
    // took the file): one of the work folder, else of the temporary folder.
    std::string ListFile;
    // What the message says of that file beyond its name: why the work
    // folder did not take it, or did not let go of an earlier write-back's
    // list that this one does not replace ("" when nothing went amiss).
    std::string ListTrouble;
};

// A station's row as the station database holds it now.
struct TStationNow {
    bool Found = false;
    bool InCruise = false; // its ID_Cruise is not empty
    int IdCruise = 0;
    TStationColumns Columns;
    std::string Name;
};

// A level of a station's profile as the station database holds it: its
// tenth and stored pressure, and its stored flags in FlagColumnsOfTable
// order (an empty one apart).
struct TStoredLevel {
    long long Tenth = 0;
    double Pres = 0;
    bool PresEmpty = false;
    // Stored, but the driver cannot read it (a text, an infinite number):
    // empty as read, and no level the checks judged.
    bool PresUnread = false;
    int Flags[3] = {};
    bool FlagEmpty[3] = {true, true, true};
};

// A station's profile in a level table as the station database holds it:
// its print (levels and flags), and its levels, the one without a pressure
// first, then in pressure order, those whose pressure cannot be read last.
struct TStoredProfile {
    TProfilePrint Print;
    std::vector<TStoredLevel> Levels;
    // The level the checks judged in a tenth (the first of the tenth in
    // pressure order), -1 when there is none; the level without a pressure.
    int LevelOf(long long ATenth) const;
    // The levels whose pressure is stored and can be read, [first, end) in
    // Levels: after every level without a pressure (a second one, read as
    // 0, is no level at 0 dbar), before those whose pressure cannot be read.
    std::pair<int, int> ReadableLevels() const;
    int NoPresLevel() const { return !Levels.empty() && Levels[0].PresEmpty && !Levels[0].PresUnread ? 0 : -1; }
    // The print of the levels' flags as they stand in Levels.
    std::string FlagsText() const;
};

// Reads a station's row and its profiles from the station database, through
// statements prepared once, as the write-back and the editor's stored edits
// compare them with the prints the checks kept.
class TStoredStation {
public:
    explicit TStoredStation(TZqCustomConnection *AConnection);
    ~TStoredStation();
    void ReadStation(int AIdCast, TStationNow &AStation);
    void ReadProfile(const std::string &ATable, int AIdCast, TStoredProfile &AProfile);
    // The print of station AIdCast in level table ATable as stored now; its
    // station's part alone when ATable is empty.
    TJudgedPrint JudgedPrint(int AIdCast, const std::string &ATable);

private:
    class TRows;
    TZqCustomConnection *FConnection;
    std::unique_ptr<TRows> FStation;
    std::map<std::string, std::unique_ptr<TRows>> FProfiles;
};

// Works with the engine's shared state: the main window's write-back
// datasets (FlagCastQry on the work folder, FlagParamsQry and FlagUpdateCmd
// on the main database), FlagCruiseList, the run's cruises (CruiseTbl),
// QcInterrupted, LocalDbDir and DbTablePrefix. AOwner owns the dialogs and
// is repainted after each. The Update statements are commands of the
// write-back's own on FlagUpdateCmd's connection, one per statement text; a
// station's Updates of one table and set of columns go as one parameter
// array, and each such execute fires FlagUpdateCmd's BeforeExecute and
// AfterExecute, as the one command of the write-back.
//
// An Esc that interrupted the run before (QcInterrupted still set; the
// editor's checks give back the run's state when they end, so an Esc
// pressed in the idle editor is none) stops the write-back before its first
// station: a run cut short leaves flags of only some of its stations,
// which must not reach the station database as if they were a verdict.
// An Esc during the write-back stops it before the next station; both say
// in a few lines where it stopped and what was written.
//
// A verdict is written only while all it was judged on is as judged: the
// station's date, time and position, the levels of its table and their
// stored flags, as the print the checks kept per level table in the
// station's row of the "-Cast_TitlesFlags" table (TJudgedPrint) says, read
// back in the station's transaction. A table of the station whose levels,
// date, time or position differ from its print keeps every flag (a verdict
// on a level is also one on its neighbours); its other tables are written.
// Whether the stored flags are as judged matters only while the station
// does not hold the verdicts: a station whose levels already hold every
// verdict of a table counts as written, whatever its print says of its
// flags or does not say (a write-back stopped between a station's commit
// and the keeping of its prints, which is once per cruise; an earlier
// version's print). Of a print an earlier version kept, what it tells is
// judged: its levels, date, time and position, which its write-back judged
// as well; a print of the levels alone tells no date, time and position,
// and no print tells nothing. The editor's own stored changes
// renew the prints they change (RenewJudgedPrints), so what the operator
// typed there goes in with the verdicts the editor shows; a change made by
// another program holds the table back. A station no longer in the station
// database, taken out of its cruise or moved to another cruise keeps every
// flag, but for the tables it was checked in under its new cruise, which
// that cruise writes. The prints of the tables written take the flags
// written, so that a later write-back finds them as judged. Each station
// left out in whole or in part is named at the end of the write-back with
// the tables held back, why, and the tables written, grouped by what the
// operator can do about it (check it again; put it into a cruise; nothing,
// as it is gone); a long list is begun in the message and kept whole in a
// file of the work folder, else of the temporary folder, the message saying
// which and why. Each is marked in its row (NotWrittenField) for the editor.
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
// what and why as the editor shows it (TNotWrittenMark::Shown): their marks
// in the "-Cast_TitlesFlags" table of the work folder.
std::map<std::pair<int, int>, std::string> NotWrittenMarks();
// The text under which the editor shows a station's mark (AShown, as
// NotWrittenMarks gives it) in its station list and its tree.
std::string NotWrittenNodeText(const std::string &AShown);
// The mark of one station, as NotWrittenMarks shows it ("" when none): the
// marks of its cruise are read again only once the work tables changed.
std::string NotWrittenMarkOf(int AIdCruise, int AIdCast);

// True when the station database behind AConnection takes no writes.
bool StationDbReadOnly(TZqCustomConnection *AConnection);

// The main-database table of a parameter's levels and the flag columns the
// write-back sets there, in statement order: PTS_Data with FPRES, FTEMP and
// FPSAL for TEMP, PSAL and DENS; otherwise the parameter's own table with
// FPRES and "F" + the parameter. The value columns the checks judge there
// (PRES and TEMP, PSAL or the parameter), as a profile print takes them.
// The level table of a level-flag table's name (its work-table name without
// DbTablePrefix), "" when it names none.
std::string FlagTableOfParam(const std::string &AParamAbr);
std::vector<std::string> FlagColumnsOfTable(const std::string &ATable);
std::vector<std::string> ValueColumnsOfTable(const std::string &ATable);
// How many value columns (and so flag columns) a level table has, without
// naming them.
size_t ColumnCountOfTable(const std::string &ATable);
std::string LevelTableOfFlagTable(const std::string &AFlagTable);

// The Update statement that sets AColumns (flag columns, each bound to the
// parameter of its name) of a station's level named by its stored pressure
// (:PRES), or of its level without a pressure ("PRES Is Null") when
// APres is false.
std::string FlagUpdateSql(const std::string &ATable, const std::vector<std::string> &AColumns, bool APres);
