// HandFlags: the level flags the operator set by hand in the editor.
//
// A level flag typed into the data grid (or put back with UNDO) goes at once
// into the station database, and the value it replaced into the undo table
// of the level fields (StoredEdit): a cell of a flag column with undo rows
// under its level holds a flag the operator set. The operator decided it,
// so no check replaces it (the data checks keep it in their verdicts, which
// the write-back then writes) unless the operator lets a check do so; the
// editor asks before a check it starts by hand and names them. A flag a
// check was let replace is no longer the operator's: a row of the undo table
// under its level, named by its column after LetGoMark, says so until the
// operator sets that flag again. The undo rows live as long as the work
// tables, so what was set by hand outlives the program and an upgrade.
//
// It reads and writes the undo table through the engine's UndoParamTbl
// (open, in the work folder); without it nothing counts as set by hand.
#pragma once

#include <string>
#include <vector>

// The FldName of the undo rows that say that a check was let replace the
// flag set by hand in the column named after it.
inline constexpr const char *LetGoMark = "CHECKED ";

// A cell of a level flag: the station, the level's stored pressure (NaN for
// the level stored without one) and the station database's flag column in
// upper case ("FPRES", "FTEMP", "FPSAL", "F" + a chemical parameter).
struct THandFlagCell {
    int IdCast = 0;
    double Pres = 0;
    std::string Column;
};

// The cells of station AIdCast among the flag columns AColumns (upper case)
// that hold a flag set by hand which no check was let replace since.
std::vector<THandFlagCell> HandSetFlagCells(int AIdCast, const std::vector<std::string> &AColumns);

// A check replaced the flag set by hand in ACell, with the operator's leave:
// it is the checks' again until the operator sets it once more.
void LetGoHandFlag(const THandFlagCell &ACell);

// The operator set the flag of ACell (again): no check replaces it.
void KeepHandFlag(const THandFlagCell &ACell);

// The rows of the undo table changed: what the automatic run keeps of it
// is read again. Every writer of the table calls it (KeepHandFlag and
// LetGoHandFlag do themselves), and so does the start of a run.
void UndoRowsChanged();

// The key the checks give a level: its pressure in tenths, rounded as the
// level-flag rows round it; the level without a pressure has one of its own.
long long HandFlagTenth(double APres);
