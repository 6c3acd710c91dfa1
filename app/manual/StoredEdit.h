// StoredEdit: the operator changes a value the station database stores.
//
// The manual QC editor changes stored values by three routes: a station
// field typed into the metadata grid, a level field typed into the data grid
// or next to the profile plot, and the duplicate mark of a station. Each is
// one change of one row, made here in one order:
//   1. the row is counted; unless exactly one row matches, nothing is sent
//      and the change is refused. Two levels of a station at one pressure
//      are data the checks flag on purpose, and a statement keyed by the
//      pressure cannot tell them apart: so a pressure that another level of
//      the station has already (to the tenth of a dbar, by which the run's
//      flag rows and the checks key a level) is refused too, and a flag
//      column takes only
//      a flag (UNDO puts back whatever the cell held before). A level stored
//      without a pressure is the one whose PRES is null, and only one level
//      of a station may lack a pressure. A level whose pressure the driver
//      cannot read (a text, an infinite number) cannot be told apart from
//      the others at all: its edit is refused before anything is counted;
//   2. one Update statement on the station database, in one transaction
//      with its count;
//   3. an undo row for each column whose text changed: every earlier value
//      of a cell once, the first one recorded marked (FirstCh), under the
//      station database's own column (a chemical parameter's own, never
//      the work table's "Chem");
//   4. flags are mirrored into the run's flag tables, since the station list
//      rebuild, the profile load and the write-back read the flags there and
//      would otherwise bring the run's older flag back over the operator's;
//      a level's flag row, its undo rows and the flags typed there move
//      with its pressure, in its own level table (and back with an UNDO of
//      it); and the prints the checks
//      kept of what they judged take the station as changed (read in the
//      change's transaction before and after its statement), where they were
//      of the station as it was: the operator judged it as the editor shows
//      it, and the write-back writes it so (RenewJudgedPrints). A level
//      flag set so is the operator's again: no check replaces it unless the
//      operator lets it (HandFlags); put back by UNDO to what it held
//      before the first edit, it is the checks' again.
// A change that would not reach exactly one row, or that the station
// database refuses, returns its reason and changes nothing anywhere; the
// caller puts its grid back and tells the operator. Steps 3 and 4 come after
// the station database took the change: when the work folder fails them the
// change stands, and WorkFailure says what was not kept, for the caller to
// tell the operator.
//
// It reaches the station database through the client components it is given
// and the work tables through the engine's shared tables (UndoCastTbl,
// UndoParamTbl, TmpCastFlagsTbl, CastFlagTbl) and the local query it is
// given; it knows nothing of the editor's form.
#pragma once

#include <cmath>
#include <functional>
#include <string>
#include <vector>

class TDataSet;
class TField;
class TQuery;
class TZqCommand;
class TZqQuery;

// A station's four flags in Cast_Titles, which the run's flag tables hold
// as well.
extern const char *const StationFlagColumns[4];

// One column of the changed row.
struct TStoredChange {
    std::string Column;  // the station database's column
    std::string Literal; // its new value as SQL text ("NULL" for none)
    std::string Before;  // the text before the change, as the undo tables keep it
    std::string After;   // the text after it; a column whose text stays gets no undo row
    bool Undo = false;   // a value the cell held before, put back: a flag column takes it whatever it is
};

class TStoredEdit {
public:
    // ACommand sends the statements and ACount counts the rows, both on the
    // station database; ALocal reads the undo tables and writes the level-flag
    // tables of the work folder. All three outlive this object.
    TStoredEdit(TZqCommand &ACommand, TZqQuery &ACount, TQuery &ALocal);

    // Columns of station AIdCast (of cruise AIdCruise) in Cast_Titles. Empty
    // when done, else why nothing changed.
    std::string SetStation(int AIdCruise, int AIdCast, const std::vector<TStoredChange> &AChanges);

    // One column of the level of station AIdCast stored at AStoredPres (NaN
    // for a level stored without a pressure) in the level table of AParam.
    // AChange.Column names the profile work table's field ("PRES", "FPRES",
    // "TEMP", "FPSAL", "Chem", "FChem"); the statement and the undo row name
    // its station-database column (LevelColumn). APresUnread holds the
    // driver's words when it could not read the level's pressure
    // (UnreadPres): such a level is refused, never taken for the one stored
    // without a pressure.
    std::string SetLevel(const std::string &AParam, int AIdCast, double AStoredPres, const std::string &APresUnread,
                         const TStoredChange &AChange);

    // The station-database column of a profile work-table field of AParam:
    // "Chem" is the parameter's own column, "FChem" its flag; any other field
    // keeps its name (in upper case).
    static std::string LevelColumn(const std::string &AParam, const std::string &AField);
    // True for the flag fields of a profile work table (FPRES, FTEMP, FPSAL,
    // FChem), whatever the parameter's code: a chemical parameter may itself
    // begin with "F".
    static bool IsLevelFlagField(const std::string &AField);
    // Finds the level of station AIdCast stored at AStoredPres (NaN: the one
    // stored without a pressure), in its level table and among the undo rows
    // kept for it alike.
    static std::string LevelWhere(int AIdCast, double AStoredPres);
    // The stored pressure a PRES field holds: NaN when it is empty.
    static double StoredPres(const TField &APres);
    // The driver's words on the pressure of the level under ALevels' cursor
    // when it could not read it; "" when it read it (or none is stored).
    // ALevels is a select of the station database, or the editor's working
    // copy of one, which keeps what the driver said (UnreadLevelColumn).
    static std::string UnreadPres(const TDataSet &ALevels);
    // What an undo row keeps of a value the driver could not read (AWords,
    // its words on it): the value as the driver quoted it ("'Inf'"), which
    // no number is taken for. UNDO cannot put such a value back as stored
    // (the program never read its bytes) and says so instead.
    static std::string UnreadUndoText(const std::string &AWords);
    static bool IsUnreadUndoText(const std::string &AText);
    // Two stored pressures of the same level (NaN alike: none).
    static bool SamePres(double A, double B) { return A == B || (std::isnan(A) && std::isnan(B)); }

    // Why the undo rows or the flag mirrors of the last change were not
    // kept, though the station database took it (empty when they were).
    const std::string &WorkFailure() const { return FWorkFailure; }
    // The last change was refused only because another program held the
    // station database's write lock longer than the driver waits for it:
    // the same change may be tried again.
    bool Locked() const { return FLocked; }

private:
    // Counts the rows of ATable that AWhere matches and, when there is
    // exactly one and AClashWhere (when given) matches none, sends
    // AStatement, all in one transaction: empty when exactly one row changed,
    // else why nothing did (AClash says it for a clash, read in the
    // transaction).
    // AAround, when given, runs in the transaction just before the statement
    // (false) and after it (true), to read the station as it was and is.
    std::string UpdateOneRow(const std::string &ATable, const std::string &AWhere, const std::string &AStatement,
                             const std::string &AWhat, const std::string &AClashWhere = "",
                             const std::function<std::string()> &AClash = nullptr,
                             const std::function<void(bool AAfter)> &AAround = nullptr);
    int CountRows(const std::string &ATable, const std::string &AWhere);
    // Runs the work-folder steps of a change the station database took,
    // keeping their failure in FWorkFailure.
    void KeepInWorkFolder(const std::function<void()> &ASteps);
    void MirrorStationFlags(int AIdCruise, int AIdCast, const std::vector<TStoredChange> &AChanges);
    // Moves the undo rows, the typed flags and the run's flag row of a level
    // of ATable whose pressure changed to ALiteral ("NULL": none).
    void MoveLevel(const std::string &ATable, int AIdCast, double AStoredPres, const std::string &ALiteral);
    void MirrorLevelFlag(const std::string &ATable, int AIdCast, double AStoredPres, const std::string &AColumn,
                         const std::string &ALiteral);
    TZqCommand &FCommand;
    TZqQuery &FCount;
    TQuery &FLocal;
    std::string FWorkFailure;
    bool FLocked = false;
};
