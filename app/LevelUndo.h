// LevelUndo: the undo rows of the level fields, each under its level table.
//
// The editor keeps every earlier value of a level's cell in the
// per-database work table DbTablePrefix + "-Undoparam" (ID_Cast, Pres,
// FldName, FldValue, FirstCh; StoredEdit writes it, the editor's undo list
// reads it). A level is named there by its station, its stored pressure
// (TStoredEdit::LevelWhere) and its level table of the station database
// ("PTS_Data" or a chemical parameter's own), which the field
// UndoLevelTableField holds: PRES and FPRES are columns of every level
// table, and several tables may each have a level at one pressure, whose
// earlier values are not each other's.
//
// Earlier versions wrote the rows without the level table, in a table
// without its field. Every reader and writer of the rows of levels first
// has the field added (KeepUndoLevelTables; the editor's first edit of a
// level does so before it changes the station database), and with it each
// row the table holds then is tied once to the one level table it can be
// of: TEMP, PSAL, FTEMP and FPSAL are PTS_Data's, a chemical parameter's
// value and "F" + it are its own table's, and a column several of the
// station's level tables have (PRES, FPRES; "CHEM" and "FCHEM" as earlier
// builds named a chemical value and flag) is the table's whose level is
// the only one at the row's exact pressure among them. A row that stays
// without a table (no table or several there) may be any of theirs: the
// undo list offers it in that column of each table's level at its
// pressure, and UNDO asks before it writes it. Such a row stays where it
// is when a level's pressure is typed anew.
//
// States of the table (the field's presence tells them apart):
//   without the field (made from the template, or an earlier version's)
//       --KeepUndoLevelTables--> with it, the earlier rows tied where they
//       can be, in one transaction
//   with the field: every row written takes its level table; the rows
//       left without one are never tied later, when the levels may have
//       moved away from what they were written for
#pragma once

#include <string>
#include <vector>

class TZqQuery;

inline constexpr const char *UndoLevelTableField = "LevelTable";

// The conditions that take a level table's own undo rows, and those an
// earlier version left tied to none; beside TStoredEdit::LevelWhere.
std::string UndoRowsOfTable(const std::string &ATable);
std::string UndoRowsOfNoTable();

// The level tables of station AIdCast in the station database, from its
// Parameters rows (each once, in the order read); AQ is a query on it.
std::vector<std::string> StationLevelTables(TZqQuery &AQ, int AIdCast);

// Adds the level-table field to the work folder's DbTablePrefix +
// "-Undoparam" table when it lacks it, and ties the rows it holds to their
// tables through the station database (MainConnection), all in one
// transaction; the engine's table object on it (UndoParamTbl) is opened
// again with the field. Nothing to do where the table has the field or is
// not there.
void KeepUndoLevelTables();
