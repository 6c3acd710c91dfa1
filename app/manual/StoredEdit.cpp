// StoredEdit: one change of one stored row, with its undo rows and flag
// mirrors; see the header.
#include "app/manual/StoredEdit.h"

#include "app/HandFlags.h"
#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/uWriteFlags.h"
#include "dataaccess/comp/qxZqCompClient.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <optional>

const char *const StationFlagColumns[4] = {"FLon", "FLat", "FDT", "FD"};

namespace {

const char *const LevelFlagFields[] = {"FPRES", "FTEMP", "FPSAL", "FCHEM"};
const char *const QualityFlags[] = {"0", "1", "2", "3", "4", "5", "9", "17"};

template <size_t N> bool InList(const std::string &AName, const char *const (&AList)[N])
{
    for (const char *Name : AList)
        if (rtl::SameText(AName, Name))
            return true;
    return false;
}

// The condition that finds a level by its stored pressure, none included.
std::string PresWhere(double APres, const std::string &AText)
{
    return std::isnan(APres) ? "(PRES Is Null)" : "(PRES = " + AText + ")";
}

std::string LevelName(double APres)
{
    return std::isnan(APres) ? std::string("the level without a pressure")
                             : "the level at " + rtl::FloatToStr(APres) + " dbar";
}

// Why a flag column refuses ALiteral, the SQL text of a value that is no flag.
std::string NotAFlag(const std::string &AColumn, const std::string &ALiteral)
{
    return (ALiteral == "NULL" ? "An empty cell" : "'" + ALiteral + "'") + " is not a quality flag: " + AColumn +
           " takes 0, 1, 2, 3, 4, 5, 9 or 17; nothing was changed.";
}

// The levels at the pressure of ALiteral to the tenth the checks key them
// by (HandFlagTenth): the run's flag rows, the flags set by hand and the
// checks' verdicts would take a level moved among them for one of them.
std::string TenthWhere(const std::string &ALiteral)
{
    double Pres = 0;
    if (std::from_chars(ALiteral.data(), ALiteral.data() + ALiteral.size(), Pres).ec != std::errc() ||
        !(std::fabs(Pres) < 1e9)) // no pressure; its tenth is past what the keys hold
        return "(PRES = " + ALiteral + ")";
    // The first and last stored pressures of its tenth: a few steps from
    // the half tenths, which do not read back exactly.
    const long long Tenth = HandFlagTenth(Pres);
    const auto Edge = [&](double AFrom, double AOut) {
        double X = AFrom;
        while (HandFlagTenth(X) != Tenth)
            X = std::nextafter(X, Pres);
        for (double Y = std::nextafter(X, AOut); HandFlagTenth(Y) == Tenth; Y = std::nextafter(Y, AOut))
            X = Y;
        return SqlExactFloat(X);
    };
    return "(PRES >= " + Edge((double(Tenth) - 0.5) / 10, -HUGE_VAL) + ") and (PRES <= " +
           Edge((double(Tenth) + 0.5) / 10, HUGE_VAL) + ")";
}

void SetLocalText(TField &AField, const std::string &ALiteral)
{
    if (ALiteral == "NULL")
        AField.Clear();
    else
        AField.SetAsString(ALiteral);
}

// Keeps an undo row of an earlier value: one row per distinct earlier value
// of a cell, the first one recorded marked.
void KeepUndoRow(TQuery &ALocal, TTable &ATable, const std::string &ASuffix, const std::string &AWhere,
                 const std::function<void()> &AFillKey, const std::string &AFldName, const TStoredChange &AChange)
{
    if (AChange.Before == AChange.After)
        return;
    ALocal.Close();
    ALocal.SQL().Clear();
    ALocal.SQL().Add("Select FldValue From " + LocalQuoteName(DbTablePrefix + ASuffix) + " Where " + AWhere +
                     " and (FldName = " + rtl::QuotedStr(AFldName) + ")");
    ALocal.Open();
    const bool First = ALocal.Eof();
    bool Known = false;
    for (ALocal.First(); !ALocal.Eof() && !Known; ALocal.Next())
        Known = ALocal.Fields()[0]->AsString() == AChange.Before;
    ALocal.Close();
    if (Known)
        return;
    if (!ATable.Active())
        ATable.Open();
    ATable.Append();
    AFillKey();
    ATable.FieldByName("FldName")->SetAsString(AFldName);
    ATable.FieldByName("FldValue")->SetAsString(AChange.Before);
    ATable.FieldByName("FirstCh")->SetAsBoolean(First);
    ATable.Post();
}

// The value the cell held before its first edit, as its undo row keeps it
// (none: no row says).
std::optional<std::string> FirstUndoValue(TQuery &ALocal, const std::string &ASuffix, const std::string &AWhere,
                                          const std::string &AFldName)
{
    ALocal.Close();
    ALocal.SQL().Clear();
    ALocal.SQL().Add("Select FldValue, FirstCh From " + LocalQuoteName(DbTablePrefix + ASuffix) + " Where " + AWhere +
                     " and (FldName = " + rtl::QuotedStr(AFldName) + ")");
    ALocal.Open();
    std::optional<std::string> First;
    for (ALocal.First(); !ALocal.Eof() && !First; ALocal.Next())
        if (ALocal.Fields()[1]->AsBoolean())
            First = ALocal.Fields()[0]->AsString();
    ALocal.Close();
    return First;
}

} // namespace

TStoredEdit::TStoredEdit(TZqCommand &ACommand, TZqQuery &ACount, TQuery &ALocal)
    : FCommand(ACommand), FCount(ACount), FLocal(ALocal)
{
}

std::string TStoredEdit::LevelColumn(const std::string &AParam, const std::string &AField)
{
    const std::string Upper = rtl::UpperCase(AField);
    if (!IsPtsParam(AParam)) {
        if (Upper == "CHEM")
            return AParam;
        if (Upper == "FCHEM")
            return "F" + AParam;
    }
    return Upper;
}

bool TStoredEdit::IsLevelFlagField(const std::string &AField) { return InList(AField, LevelFlagFields); }

std::string TStoredEdit::LevelWhere(int AIdCast, double AStoredPres)
{
    return "(ID_Cast = " + std::to_string(AIdCast) + ") and " + PresWhere(AStoredPres, SqlExactFloat(AStoredPres));
}

double TStoredEdit::StoredPres(const TField &APres) { return APres.IsNull() ? std::nan("") : APres.AsFloat(); }

std::string TStoredEdit::UnreadPres(const TDataSet &ALevels)
{
    if (const TField *Kept = ALevels.FindField(UnreadLevelColumn))
        return UnreadLevelWords(Kept->AsString(), "PRES");
    return UnreadLevelWords(UnreadLevelValues(ALevels), "PRES");
}

std::string TStoredEdit::UnreadUndoText(const std::string &AWords)
{
    const size_t Open = AWords.find('\''), Close = AWords.rfind('\'');
    // As wide as the undo table's value column takes.
    return (Open != Close ? AWords.substr(Open, Close - Open + 1) : std::string("'(unreadable)'")).substr(0, 40);
}

bool TStoredEdit::IsUnreadUndoText(const std::string &AText) { return !AText.empty() && AText[0] == '\''; }

int TStoredEdit::CountRows(const std::string &ATable, const std::string &AWhere)
{
    FCount.Close();
    FCount.SQL()->Clear();
    FCount.SQL()->Add("Select Count(*) From " + ATable + " where " + AWhere);
    FCount.Open();
    const int Rows = FCount.Fields()[0]->AsInteger();
    FCount.Close();
    return Rows;
}

void TStoredEdit::KeepInWorkFolder(const std::function<void()> &ASteps)
{
    try {
        ASteps();
    } catch (const std::exception &E) {
        FWorkFailure = std::string("The station database holds the change, but its undo value or flag was not kept "
                                   "in the work tables: ") +
                       E.what();
    }
}

std::string TStoredEdit::UpdateOneRow(const std::string &ATable, const std::string &AWhere,
                                      const std::string &AStatement, const std::string &AWhat,
                                      const std::string &AClashWhere, const std::function<std::string()> &AClash,
                                      const std::function<void(bool AAfter)> &AAround)
{
    // The count and the statement in one transaction: no other writer comes
    // between them, and a statement that changed more than its row is undone.
    // The transaction takes the write lock before it reads, as the flags'
    // write-back does, and so waits for another program's write to end: a
    // transaction that read first could not write once that program had
    // committed since its read.
    TZqCustomConnection *Connection = FCommand.Connection();
    const bool Own = Connection && Connection->Connected() && !Connection->InTransaction();
    std::string Failure;
    FLocked = false;
    try {
        if (Own)
            Connection->StartTransaction();
        FCommand.CommandText().Clear();
        FCommand.CommandText().Add(WriteLockSql(ATable));
        FCommand.Execute();
        if (const int Rows = CountRows(ATable, AWhere); Rows != 1)
            Failure = "The edit of " + AWhat + " matches " + std::to_string(Rows) + " rows of " + ATable +
                      " instead of one; nothing was changed.";
        else if (!AClashWhere.empty() && CountRows(ATable, AClashWhere) > 0)
            Failure = AClash();
        if (Failure.empty()) {
            if (AAround)
                AAround(false);
            FCommand.CommandText().Clear();
            FCommand.CommandText().Add(AStatement);
            FCommand.Execute();
            if (FCommand.RowsAffected() != 1)
                Failure = "The edit of " + AWhat + " would change " + std::to_string(FCommand.RowsAffected()) +
                          " rows of " + ATable + " instead of one; nothing was changed.";
            else if (AAround)
                AAround(true);
        }
        if (Own && Failure.empty())
            Connection->Commit();
        else if (Own)
            Connection->Rollback();
    } catch (const std::exception &E) {
        if (Own && Connection->InTransaction())
            Connection->Rollback();
        const auto *Db = dynamic_cast<const EZqDBEngineException *>(&E);
        for (int I = 0; Db && I < Db->ErrorCount() && !FLocked; ++I)
            FLocked = Db->Errors(I).Kind == ekRecordLocked;
        if (FLocked)
            return "The edit of " + AWhat + " was not stored: another program is writing into the station "
                   "database. Try again in a moment.";
        return E.what();
    }
    return Failure;
}

std::string TStoredEdit::SetStation(int AIdCruise, int AIdCast, const std::vector<TStoredChange> &AChanges)
{
    FWorkFailure.clear();
    if (AChanges.empty())
        return "";
    std::string Sets, What;
    for (const TStoredChange &C : AChanges) {
        if (InList(C.Column, StationFlagColumns) && !C.Undo && !InList(C.Literal, QualityFlags))
            return NotAFlag(C.Column, C.Literal);
        Sets += (Sets.empty() ? "" : ", ") + C.Column + " = " + C.Literal;
        What += (What.empty() ? "" : ", ") + C.Column;
    }
    const std::string Id = std::to_string(AIdCast);
    // What the level checks read of the station: the prints of its checks
    // follow the operator's change of it.
    static const char *const Judged[] = {"Date_Cast", "Time_Cast", "Lon", "Lat"};
    const bool Renew =
        std::any_of(AChanges.begin(), AChanges.end(), [](const TStoredChange &C) { return InList(C.Column, Judged); });
    TStoredStation Stored(FCommand.Connection());
    TJudgedPrint Before, After;
    const std::string Failure = UpdateOneRow(
        "Cast_Titles", "ID_Cast = " + Id, "Update Cast_Titles SET " + Sets + " where ID_Cast = " + Id,
        What + " of station " + Id, "", nullptr,
        Renew ? std::function<void(bool)>([&](bool AAfter) { (AAfter ? After : Before) = Stored.JudgedPrint(AIdCast, ""); })
              : nullptr);
    if (!Failure.empty())
        return Failure;
    KeepInWorkFolder([&] {
        if (UndoCastTbl)
            for (const TStoredChange &C : AChanges)
                KeepUndoRow(FLocal, *UndoCastTbl, "-undocast",
                            "(ID_Cruise = " + std::to_string(AIdCruise) + ") and (ID_Cast = " + Id + ")",
                            [&] {
                                UndoCastTbl->FieldByName("ID_Cruise")->SetAsInteger(AIdCruise);
                                UndoCastTbl->FieldByName("ID_Cast")->SetAsInteger(AIdCast);
                            },
                            rtl::UpperCase(C.Column), C);
        MirrorStationFlags(AIdCruise, AIdCast, AChanges);
        if (Renew)
            RenewJudgedPrints(AIdCast, "", Before, After);
    });
    return "";
}

void TStoredEdit::MirrorStationFlags(int AIdCruise, int AIdCast, const std::vector<TStoredChange> &AChanges)
{
    // The shown cruise's flags (TmpCastFlags) and the run's flags of every
    // cruise ("-Cast_TitlesFlags"), each where it holds a row of the station:
    // a station no run has flagged shows the station database's flags.
    const rtl::Variant Key = rtl::VarArrayOf({rtl::Variant(AIdCruise), rtl::Variant(AIdCast)});
    for (TTable *T : {TmpCastFlagsTbl, CastFlagTbl}) {
        if (!T || !T->Active() || !T->Locate("ID_Cruise;ID_Cast", Key))
            continue;
        bool Editing = false;
        for (const TStoredChange &C : AChanges) {
            if (!InList(C.Column, StationFlagColumns))
                continue;
            if (!Editing)
                T->Edit();
            Editing = true;
            // The run's tables hold no empty flag: an empty one is 0, not
            // judged.
            SetLocalText(*T->FieldByName(C.Column), C.Literal == "NULL" ? "0" : C.Literal);
        }
        if (Editing)
            T->Post();
    }
}

std::string TStoredEdit::SetLevel(const std::string &AParam, int AIdCast, double AStoredPres,
                                  const std::string &APresUnread, const TStoredChange &AChange)
{
    FWorkFailure.clear();
    FLocked = false;
    const std::string Table = ParamTableName(AParam);
    const std::string Column = LevelColumn(AParam, AChange.Column);
    if (Table.empty())
        return "Pressure has no level table of its own to edit.";
    // Read as empty, its pressure would find the level stored without one.
    if (!APresUnread.empty())
        return "Station " + std::to_string(AIdCast) + ": " + Column +
               " of the level whose PRES cannot be read was not changed: " + APresUnread +
               " A level is told apart from the station's other levels by its pressure alone, and this one's "
               "cannot be read; nothing was changed.";
    if (IsLevelFlagField(AChange.Column) && !AChange.Undo && !InList(AChange.Literal, QualityFlags))
        return NotAFlag(Column, AChange.Literal);
    const std::string Station = "(ID_Cast = " + std::to_string(AIdCast) + ")";
    const std::string Where = LevelWhere(AIdCast, AStoredPres);
    // A pressure typed onto another level's would leave two levels that no
    // statement keyed by the pressure could tell apart.
    // So would a second level without a pressure.
    std::string ClashWhere;
    std::function<std::string()> Clash;
    if (Column == "PRES" && AChange.Literal != "NULL") {
        ClashWhere = Station + " and " + TenthWhere(AChange.Literal);
        if (!std::isnan(AStoredPres))
            ClashWhere += " and not " + PresWhere(AStoredPres, SqlExactFloat(AStoredPres));
        // Named by its stored pressure, and the tenth the checks file it
        // under: 2.55 dbar goes under 2.6, where 2.58 would go too.
        Clash = [=, this] {
            FCount.Close();
            FCount.SQL()->Clear();
            FCount.SQL()->Add("Select PRES From " + Table + " where " + ClashWhere + " order by PRES");
            FCount.Open();
            const double Other = FCount.Fields()[0]->AsFloat();
            FCount.Close();
            return "Station " + std::to_string(AIdCast) + " has a level at " + rtl::FloatToStr(Other) +
                   " dbar already, which the checks file under " + TenthText(HandFlagTenth(Other)) +
                   " dbar, as they would " + AChange.Literal +
                   " dbar (they tell levels apart to the tenth of a dbar): " + LevelName(AStoredPres) +
                   " cannot take that pressure as well; nothing was changed.";
        };
    } else if (Column == "PRES" && !std::isnan(AStoredPres)) {
        ClashWhere = Station + " and (PRES Is Null)";
        Clash = [=] {
            return "Station " + std::to_string(AIdCast) + " has a level without a pressure already: " +
                   LevelName(AStoredPres) + " cannot be left without one as well; nothing was changed.";
        };
    }
    TStoredStation Stored(FCommand.Connection());
    TJudgedPrint Before, After;
    const std::string Failure =
        UpdateOneRow(Table, Where, "Update (select * from " + Table + " where " + Where + ") SET " + Column + " = " +
                                       AChange.Literal,
                     Column + " of " + LevelName(AStoredPres), ClashWhere, Clash,
                     [&](bool AAfter) { (AAfter ? After : Before) = Stored.JudgedPrint(AIdCast, Table); });
    if (!Failure.empty())
        return Failure;
    KeepInWorkFolder([&] {
        // UNDO to the value the cell held before the operator's first edit
        // gives it back to the checks; to another one it held since, it
        // puts back a flag the operator typed.
        const std::optional<std::string> First =
            AChange.Undo && UndoParamTbl && IsLevelFlagField(AChange.Column)
                ? FirstUndoValue(FLocal, "-Undoparam", Where, rtl::UpperCase(Column))
                : std::nullopt;
        // Kept under the station database's column: the work table names
        // every chemical parameter's value "Chem".
        if (UndoParamTbl)
            KeepUndoRow(FLocal, *UndoParamTbl, "-Undoparam", Where,
                        [&] {
                            UndoParamTbl->FieldByName("ID_Cast")->SetAsInteger(AIdCast);
                            if (std::isnan(AStoredPres))
                                UndoParamTbl->FieldByName("Pres")->Clear();
                            else
                                UndoParamTbl->FieldByName("Pres")->SetAsFloat(AStoredPres);
                        },
                        rtl::UpperCase(Column), AChange);
        if (IsLevelFlagField(AChange.Column)) {
            MirrorLevelFlag(Table, AIdCast, AStoredPres, Column, AChange.Literal);
            // Typed, the flag is the operator's decision; put back by UNDO
            // as it was before the first edit, the cell is the checks' again.
            THandFlag Cell{AIdCast, Table, HandFlagTenth(AStoredPres), rtl::UpperCase(Column), 0};
            if ((AChange.Undo && (!First || *First == AChange.After)) ||
                std::from_chars(AChange.Literal.data(), AChange.Literal.data() + AChange.Literal.size(), Cell.Flag)
                        .ec != std::errc())
                HandFlagEnded(Cell);
            else
                HandFlagTyped(Cell);
        } else if (Column == "PRES")
            MoveLevel(Table, AIdCast, AStoredPres, AChange.Literal);
        RenewJudgedPrints(AIdCast, Table, Before, After);
    });
    return "";
}

void TStoredEdit::MoveLevel(const std::string &ATable, int AIdCast, double AStoredPres, const std::string &ALiteral)
{
    // The new pressure as the station database took it from the literal.
    const bool None = ALiteral == "NULL";
    double To = 0;
    if (!None &&
        std::from_chars(ALiteral.data(), ALiteral.data() + ALiteral.size(), To).ec != std::errc())
        return;
    // The level's undo rows go with it, the one of this edit included: UNDO
    // finds them by the level's pressure, and left behind they would wait
    // for another level to take that pressure. They keep the pressure
    // exactly as the level's edits store them; no other level of the table
    // holds it, since SetLevel refuses a pressure another level has. The
    // undo table keys a level by station and pressure alone: the rows of
    // the columns of another table's level at that pressure stay (its
    // pressure and pressure flag are named alike in every table, and go).
    if (UndoParamTbl) {
        std::string Names = "'PRES', 'FPRES'";
        const bool Pts = ATable == "PTS_Data";
        for (const std::string &N : Pts ? std::vector<std::string>{"TEMP", "FTEMP", "PSAL", "FPSAL"}
                                        : std::vector<std::string>{ATable, "F" + ATable, "CHEM", "FCHEM"})
            Names += ", " + rtl::QuotedStr(rtl::UpperCase(N));
        TLocalDatabase &Db = UndoParamTbl->Database();
        TLocalDatabase::TLease Q(Db, "UPDATE " + UndoParamTbl->SqlName() + " SET Pres = ? WHERE " +
                                         LevelWhere(AIdCast, AStoredPres) + " AND upper(FldName) IN (" + Names + ")");
        if (None)
            Q->BindNull(1);
        else
            Q->BindDouble(1, To);
        Q->Execute();
        Db.Touch();
        UndoParamTbl->InvalidateRows();
    }
    // What the operator typed at the level goes with it, in its own table.
    HandFlagsMoved(AIdCast, ATable, HandFlagTenth(AStoredPres), None ? NoPresTenth : HandFlagTenth(To));
    // The run's flag row of the level goes with it, or the write-back would
    // look for the level where it no longer is.
    MirrorLevelFlag(ATable, AIdCast, AStoredPres, "PRES", None ? ALiteral : SqlFloat(RoundPres(To)));
}

void TStoredEdit::MirrorLevelFlag(const std::string &ATable, int AIdCast, double AStoredPres,
                                  const std::string &AColumn, const std::string &ALiteral)
{
    // The run keys its level-flag rows by the pressure to the nearest tenth;
    // before the first run of a database there is no table to mirror into.
    const std::string Name = LevelFlagTableName(ATable);
    if (!LocalTableFileExists(LocalDbDir + Name + ".db"))
        return;
    FLocal.Close();
    FLocal.SQL().Clear();
    FLocal.SQL().Add("Update " + LocalQuoteName(Name) + " Set " + AColumn + " = " + ALiteral +
                     " Where (ID_Cast = " + std::to_string(AIdCast) + ") and " +
                     PresWhere(AStoredPres, std::isnan(AStoredPres) ? "" : SqlFloat(RoundPres(AStoredPres))));
    FLocal.ExecSQL();
}
