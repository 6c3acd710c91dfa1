// WorkTables: the per-database work tables of the work folder.
//
// Each main database has its own set of work tables in LocalDbDir, named
// DbTablePrefix + a suffix ("black2007-QCCruise.db"); the work folder
// records which database each prefix belongs to (DbPrefixTable), so that a
// second black2007.mdb in another folder gets tables of its own
// ("black2007~2-QCCruise.db"). A table that does not
// exist yet is made from its template (the template's fields, not its
// indexes; the primary index is added by name list); an existing one is
// opened as it is, never compared with its template or rebuilt, except
// that a text field narrower than the values it has to take is widened
// (WidenTextFields).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class TDataSet;
class TTable;

// The prefix of the main database's per-database tables, set by
// CreateWorkTables: the name ComputeDbTablePrefix gives, or that name with
// "~" and a number where another database of that file name has it.
extern std::string DbTablePrefix;
// The file name of the main database without its folder, cut before the
// first occurrence of its extension (a.mdb.b.mdb gives a; a name without an
// extension gives "").
std::string ComputeDbTablePrefix(const std::string &AMainDbPath);
// The main database as the station database's statements name it: its path
// without the extension, in double quotes ("/data/black" for /data/black.mdb).
std::string MainDbSqlNameOf(const std::string &AMainDbPath);
// A statement that changes no row of ATable (a table with ID_Cast) but takes
// the station database's write lock for the transaction under way: it waits
// for another program's write to end, and what is read after it stays as it
// is until the commit.
std::string WriteLockSql(const std::string &ATable);

// The making rule for one per-database table: ATarget is closed, named
// DbTablePrefix + ASuffix and, when that table does not exist in
// ALocalDbDir, created from ATemplate (opened on AStructTbl), with its last
// field renamed to AParamFlagName when one is given and the primary index
// on AKeyFields when given; then it is opened. A "-Cast_TitlesFlags" table
// made before the profile prints were kept gets their column, the one
// of what the write-back left out, and the one of the station checks.
void MakeWorkTable(TTable &ATarget, TTable &AStructTbl, const std::string &ALocalDbDir,
                   const std::string &ASuffix, const std::string &ATemplate,
                   const std::string &AKeyFields, const std::string &AParamFlagName = "");

// The level-flag table of a level table of the main database (ATable is
// "PTS_Data" or a chemical parameter's own table, as ParamTableName names
// them): the suffix "-PTS_DataFlags" or "-" + ATable + "flags", and the
// table's name with DbTablePrefix in front; both without the file
// extension. Work-table names are matched without regard to case.
std::string LevelFlagTableSuffix(const std::string &ATable);
std::string LevelFlagTableName(const std::string &ATable);

// The level-flag table of a checked parameter other than TEMP, PSAL and DENS:
// "-" + P + "flags.db" from "ChemFlags", its last field "F" + P.
void MakeParamFlagTable(TTable &ATarget, TTable &AStructTbl, const std::string &ALocalDbDir,
                        const std::string &AParam);

// The print of a station's profile in one level table of the station
// database, as the checks judged it: every level's pressure and values
// (PRES, TEMP and PSAL in PTS_Data; PRES and the parameter's value in a
// chemical parameter's own table), empty ones included, whatever their
// order; and apart from them the flags the levels had stored (FPRES and the
// values' flags), each with its level's pressure. The data checks keep it
// per level table with the station's row of the "-Cast_TitlesFlags" table
// (ProfilePrintsField), and the flag write-back writes a station's level
// flags only while the profile it reads back has the same print: a verdict
// on a level is also one on its neighbours (a spike, a density inversion, a
// repeated pressure), so a profile changed in any level has verdicts that
// belong to another profile; and a flag stored since the check (another
// program's, or a 5 that the checks would have carried and skipped) is not
// the one the verdicts were given over.
//
// A value counts to 1e-7: the editor judges its working copy, which holds
// the station database's values as text of fifteen digits, and such a value
// is the stored one to far better than that, while no measured value is
// written with more decimals.
class TProfilePrint {
public:
    void AddLevel(double APres, bool APresEmpty, double AValue, bool AValueEmpty, double AValue2 = 0,
                  bool AValue2Empty = true);
    // The stored flags of a level (FPRES, then the flags of its values; an
    // empty flag apart from 0).
    void AddFlags(double APres, bool APresEmpty, int AFPres, bool AFPresEmpty, int AFlag, bool AFlagEmpty,
                  int AFlag2 = 0, bool AFlag2Empty = true);
    // The prints, as kept in the station's row: sixteen hexadecimal digits
    // for the levels, eight for their flags.
    std::string Text() const;
    std::string FlagsText() const;

private:
    uint64_t FSum = 0;
    uint64_t FCount = 0;
    uint64_t FFlagSum = 0;
    uint64_t FFlagCount = 0;
};
// What the checks read of a station's own row besides its levels: its date
// and time (the climatic month, the time and speed checks) and its position
// (the square of its climatology, the bottom under it). A date or time
// counts to the second, a position to 1e-7 degree, an empty one apart.
struct TStationColumns {
    double Date = 0, Time = 0, Lon = 0, Lat = 0;
    bool DateEmpty = true, TimeEmpty = true, LonEmpty = true, LatEmpty = true;
};
// The columns Date_Cast, Time_Cast, Lon and Lat of the current row of
// AStation (the station database's or the editor's copy of it).
TStationColumns StationColumnsOf(TDataSet &AStation);

// A level table's print as a check left it with the station: the print of
// the levels and the one of their stored flags (TProfilePrint), and the
// prints of the station's date and time and of its position. Its text is
// "<levels>/<when>/<where>/f<flags>", and "/e" after it once Renew changed
// its levels, date, time or position. A print kept by an earlier version
// (the levels' print alone, or without the flags) tells not all that the
// verdicts were given over. A part left empty is one not known: Renew
// leaves it as it is.
struct TJudgedPrint {
    std::string Levels, When, Where, Flags;
    // Renewed over a change of the levels, the date, time or position that
    // this program made (its text ends in "/e"): the verdicts were given
    // over the station as it was, and stand only together.
    bool Edited = false;

    TJudgedPrint() = default;
    TJudgedPrint(const TProfilePrint &ALevels, const TStationColumns &AStation);
    // The station's part of a print alone (its date, time and position).
    explicit TJudgedPrint(const TStationColumns &AStation);
    std::string Text() const;
    // False when AText holds no print of this version's (none, or an earlier
    // version's).
    bool Parse(const std::string &AText);
    // The parts of a print an earlier version kept: the print of the levels
    // alone (sixteen hexadecimal digits), or "<levels>/<when>/<where>",
    // perhaps "/e" after it (a value changed in its editor since, which the
    // levels, date, time and position tell as well). Neither knew the flags
    // the verdicts were given over. False, the print empty, for any other
    // text.
    bool ParseEarlier(const std::string &AText);
    // The parts of this print that were those of ABefore take those of
    // AAfter: a change made by this program, to a print of what it changed
    // as it was. A part that was already another is left: what changed it
    // is still to be said. True when a part changed.
    bool Renew(const TJudgedPrint &ABefore, const TJudgedPrint &AAfter);
};

// The column of the "-Cast_TitlesFlags" table that keeps a station's prints:
// entries "<level table>:<print>" separated by blanks.
inline constexpr const char *ProfilePrintsField = "ProfilePrints";
// The column of the same table that keeps what the last write-back left out
// of the station database of the station's verdicts and why: one line per
// reason, its level tables separated by blanks, a tab, then the reason
// (empty: nothing was left out). A check that judges one of the tables again
// takes it out (WithoutTable): what is left out follows the station.
inline constexpr const char *NotWrittenField = "NotWritten";
// The column of the same table that keeps what each station check judged of
// the station and what it judged by, so that a later pass without that
// check keeps its verdict while the station is as it was.
inline constexpr const char *StationTestsField = "StationTests";
// The print of ATable among APrints ("" when there is none), and APrints
// with the print of ATable set to APrint.
std::string ProfilePrintOf(const std::string &APrints, const std::string &ATable);
std::string WithProfilePrint(const std::string &APrints, const std::string &ATable, const std::string &APrint);
// The level tables APrints has a print of.
std::vector<std::string> PrintedTables(const std::string &APrints);

// A station's NotWritten mark: the level tables held back, each with why.
struct TNotWrittenMark {
    std::vector<std::pair<std::vector<std::string>, std::string>> Held; // (tables, why)
    // A mark as an earlier version kept it: its reason alone, for every table.
    std::string Whole;

    static TNotWrittenMark Parse(const std::string &AText);
    std::string Text() const;
    bool Empty() const { return Held.empty() && Whole.empty(); }
    // Without ATable, which was judged again; a reason left without a table
    // goes (an earlier version's goes whole).
    TNotWrittenMark WithoutTable(const std::string &ATable) const;
    // "<tables> (<why>)" per reason, "; " between: for the editor.
    std::string Shown() const;
};
// ATables as a sentence names them: "PTS_Data", "PTS_Data and NO3",
// "PTS_Data, NO3 and PO4".
std::string TablesText(const std::vector<std::string> &ATables);

// A text field and the characters it has to hold.
struct TTextWidth {
    std::string Field;
    int Chars;
};

// Widens the named text fields of ATable (named, in its folder; open or
// not) to at least the given widths. Work folders made by earlier versions
// hold narrower fields than the station database's values; such a table is
// rebuilt with its rows and primary index in one transaction, so the
// operator's marks survive and a failure leaves it as it was. A field
// that is missing, not text, or wide enough is left alone; ATable is left
// open or closed as it was.
void WidenTextFields(TTable &ATable, const std::vector<TTextWidth> &AWidths);

// The station database as the work folder knows it: its path with every
// link resolved, relative to the program folder AProgramDir when it lies
// inside it (a copied or moved program folder keeps the history of its own
// databases), else whole. Two paths of one file give one identity.
std::string DatabaseIdentity(const std::string &AMainDbPath, const std::string &AProgramDir);

// The work table that records which database each prefix of the
// per-database tables belongs to: Prefix, and DbPath as DatabaseIdentity
// gives it.
inline constexpr const char *DbPrefixTable = "DbPrefixes";

// A cruise of a station database as its cruise list keeps it: ID_Cruise
// and Cruise_Name.
using TCruiseIdentity = std::pair<int, std::string>;

// The prefix of the per-database tables of the database AIdentity, whose
// file name gives ABase (ComputeDbTablePrefix): the one ALocalDbDir
// records for it; else the prefix of a recorded database that is gone from
// its path (relative ones in AProgramDir) and whose cruise list holds only
// cruises ACruises (read only then) gives with the same number and name:
// that database moved or renamed, and its history follows it, recorded now
// for this path; else the first of ABase, ABase~2, ABase~3 ... that no
// other database has, recorded now for this one. Two databases of one
// file name in two folders never share a history. Tables named ABase that
// an earlier version made, recorded for no database, are the history of
// the first database of that name that comes (at the upgrade the one the
// settings name); tables of another unrecorded name are left alone. The
// records are read and added to in one transaction: programs that come at
// once on one work folder each find what the other recorded.
std::string RecordedDbTablePrefix(const std::string &ALocalDbDir, const std::string &AIdentity,
                                  const std::string &ABase, const std::string &AProgramDir = std::string(),
                                  const std::function<std::vector<TCruiseIdentity>()> &ACruises = {});

// The main window's table objects that CreateWorkTables leaves open.
struct TWorkTableSet {
    TTable &StructTbl;
    TTable &TmpCruTbl;      // "-QCCruise.db"
    TTable &CastFlagtbl;    // "-Cast_TitlesFlags.db"
    TTable &CastOldFlagTbl; // "-Cast_TitlesOldFlags.db"
    TTable &UndoCastTbl;    // "-undocast.db"
    TTable &UndoParamTbl;   // "-Undoparam.db"
};

// Sets DbTablePrefix to the one recorded for the main database
// (RecordedDbTablePrefix; its identity relative to AProgramDir, ACruises
// its cruises) and makes
// the five cruise-level tables, in this order, leaving them open. Engine
// errors (a missing template, a table that cannot be created) pass on.
void CreateWorkTables(const std::string &AMainDbPath, const std::string &ALocalDbDir,
                      TWorkTableSet &ATables, const std::string &AProgramDir = std::string(),
                      const std::function<std::vector<TCruiseIdentity>()> &ACruises = {});
