// WorkTables: the per-database work tables of the work folder.
//
// Each main database has its own set of work tables in LocalDbDir, named
// DbTablePrefix + a suffix ("black2007-QCCruise.db"). A table that does not
// exist yet is made from its template (the template's fields, not its
// indexes; the primary index is added by name list); an existing one is
// opened as it is, never compared with its template or rebuilt, except
// that a text field narrower than the values it has to take is widened
// (WidenTextFields).
#pragma once

#include <string>
#include <vector>

class TFieldDefs;
class TTable;

// The file name of the main database without its folder, cut before the
// first occurrence of its extension (a.mdb.b.mdb gives a; a name without an
// extension gives ""). Set by CreateWorkTables.
extern std::string DbTablePrefix;
std::string ComputeDbTablePrefix(const std::string &AMainDbPath);
// The main database as the station database's statements name it: its path
// without the extension, in double quotes ("/data/black" for /data/black.mdb).
std::string MainDbSqlNameOf(const std::string &AMainDbPath);

// The making rule for one per-database table: ATarget is closed, named
// DbTablePrefix + ASuffix and, when that table does not exist in
// ALocalDbDir, created from ATemplate (opened on AStructTbl), with its last
// field renamed to AParamFlagName when one is given and the primary index
// on AKeyFields when given; then it is opened. A level-flag table (of the
// templates "PTS_DAtaFlags", "ChemFlags") gets the judged fields it lacks.
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

// The values a check judged a level by, kept in its level-flag row beside
// the flags: the level's stored pressure and the value of the parameter the
// pass judged ("JudgedTEMP", "JudgedPSAL"; "JudgedCHEM" for a parameter of
// its own table). A pass records its own parameter's value only; the flag
// write-back writes a row that carries a judged pressure only where the
// station database still holds those values. The fields come after the
// template's own (MakeWorkTable adds them to level-flag tables of earlier
// versions, whose rows then carry none), so a batch move between two such
// tables still matches fields by position.
inline constexpr const char *JudgedPresField = "JudgedPRES";
std::vector<std::string> JudgedFields(bool APts);
// The field of a parameter's judged value; "" for one that has none (DENS).
std::string JudgedValueField(const std::string &AParam);
// Adds the judged fields to field definitions of a level-flag table.
void AddJudgedFieldDefs(TFieldDefs &ADefs, bool APts);

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

// The main window's table objects that CreateWorkTables leaves open.
struct TWorkTableSet {
    TTable &StructTbl;
    TTable &TmpCruTbl;      // "-QCCruise.db"
    TTable &CastFlagtbl;    // "-Cast_TitlesFlags.db"
    TTable &CastOldFlagTbl; // "-Cast_TitlesOldFlags.db"
    TTable &UndoCastTbl;    // "-undocast.db"
    TTable &UndoParamTbl;   // "-Undoparam.db"
};

// Sets DbTablePrefix from the main database path and makes the five
// cruise-level tables, in this order, leaving them open. Engine errors
// (a missing template, a table that cannot be created) pass on.
void CreateWorkTables(const std::string &AMainDbPath, const std::string &ALocalDbDir,
                      TWorkTableSet &ATables);
