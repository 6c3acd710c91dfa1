// LevelUndo: the undo rows of the level fields under their level tables;
// see the header.
#include "app/LevelUndo.h"

#include "app/Globals.h"
#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/manual/StoredEdit.h"
#include "dataaccess/comp/qxZqCompClient.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TSession.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

// The width of a level table's name, as the typed flags' records keep it.
constexpr int LevelTableWidth = 20;

bool IsPtsColumn(const std::string &AName)
{
    for (const char *N : {"TEMP", "PSAL", "FTEMP", "FPSAL"})
        if (AName == N)
            return true;
    return false;
}

// Whether level table ATable has the column AName (upper case) that a row
// of an earlier version names: the pressure and its flag are in every
// table; a chemical table has its parameter's value and flag, which
// earlier builds also wrote as "CHEM" and "FCHEM".
bool TableHasColumn(const std::string &ATable, const std::string &AName)
{
    if (AName == "PRES" || AName == "FPRES")
        return true;
    if (ATable == "PTS_Data")
        return IsPtsColumn(AName);
    const std::string Own = rtl::UpperCase(ATable);
    return AName == Own || AName == "F" + Own || AName == "CHEM" || AName == "FCHEM";
}

bool HasLevelAt(TZqQuery &AQ, const std::string &ATable, int AIdCast, double AStoredPres)
{
    AQ.Close();
    AQ.SQL()->Clear();
    AQ.SQL()->Add("Select count(*) From " + ATable + " where " + TStoredEdit::LevelWhere(AIdCast, AStoredPres));
    AQ.Open();
    const bool Has = AQ.Fields()[0]->AsInteger() > 0;
    AQ.Close();
    return Has;
}

// Ties the rows of the undo table AUndo (its SQL name) that name no level
// table to the one table each can be of (see the header).
void TieEarlierRows(TLocalDatabase &ADb, const std::string &AUndo)
{
    struct TCell {
        int IdCast;
        double Pres; // NaN: the level without a pressure
        std::string Name;
    };
    std::vector<TCell> Cells;
    {
        TLocalDatabase::TLease Q(ADb, "SELECT DISTINCT ID_Cast, Pres, upper(FldName) FROM " + AUndo + " WHERE " +
                                          UndoRowsOfNoTable() + " AND ID_Cast IS NOT NULL AND FldName IS NOT NULL");
        while (Q->Step()) {
            const TLocalValue Pres = Q->Column(1);
            Cells.push_back({int(Q->Column(0).AsInt64()), Pres.IsNull() ? std::nan("") : Pres.AsDouble(),
                             Q->Column(2).AsText()});
        }
    }
    TZqQuery Station(nullptr);
    Station.SetConnection(MainConnection);
    std::map<int, std::vector<std::string>> TablesOf;
    TLocalDatabase::TLease Tie(ADb, "UPDATE " + AUndo + " SET " + UndoLevelTableField + " = ? WHERE " +
                                        UndoRowsOfNoTable() + " AND ID_Cast = ? AND Pres IS ? AND upper(FldName) = ?");
    for (const TCell &C : Cells) {
        std::vector<std::string> Of;
        if (IsPtsColumn(C.Name))
            Of.push_back("PTS_Data");
        else {
            auto It = TablesOf.find(C.IdCast);
            if (It == TablesOf.end())
                It = TablesOf.emplace(C.IdCast, StationLevelTables(Station, C.IdCast)).first;
            for (const std::string &T : It->second)
                if (TableHasColumn(T, C.Name))
                    Of.push_back(T);
            if (Of.size() > 1)
                Of.erase(std::remove_if(Of.begin(), Of.end(),
                                        [&](const std::string &T) { return !HasLevelAt(Station, T, C.IdCast, C.Pres); }),
                         Of.end());
        }
        if (Of.size() != 1)
            continue;
        Tie->Reset();
        Tie->BindText(1, Of[0]);
        Tie->BindInt(2, C.IdCast);
        if (std::isnan(C.Pres))
            Tie->BindNull(3);
        else
            Tie->BindDouble(3, C.Pres);
        Tie->BindText(4, C.Name);
        Tie->Execute();
    }
}

} // namespace

std::string UndoRowsOfTable(const std::string &ATable)
{
    return "(" + std::string(UndoLevelTableField) + " = " + rtl::QuotedStr(ATable) + ")";
}

std::string UndoRowsOfNoTable() { return "(" + std::string(UndoLevelTableField) + " Is Null)"; }

std::vector<std::string> StationLevelTables(TZqQuery &AQ, int AIdCast)
{
    std::vector<std::string> Tables;
    AQ.Close();
    AQ.SQL()->Clear();
    AQ.SQL()->Add("Select ParamAbr From \"Parameters\" where ID_Cast = " + std::to_string(AIdCast));
    AQ.Open();
    for (AQ.First(); !AQ.Eof(); AQ.Next())
        if (const std::string T = ParamTableName(AQ.Fields()[0]->AsString());
            !T.empty() && std::find(Tables.begin(), Tables.end(), T) == Tables.end())
            Tables.push_back(T);
    AQ.Close();
    return Tables;
}

void KeepUndoLevelTables()
{
    const std::string Name = DbTablePrefix + "-Undoparam";
    TLocalDatabase &Db = TLocalDatabase::ForFolder(LocalDbDir);
    bool Exists = false;
    const std::string Undo = Db.ResolveTable(Name, &Exists);
    if (!Exists)
        return;
    for (const TLocalColumn &C : Db.Columns(Name))
        if (rtl::SameText(C.Name, UndoLevelTableField))
            return;
    bool Rows = false;
    {
        TLocalDatabase::TLease Q(Db, "SELECT 1 FROM " + Undo + " LIMIT 1");
        Rows = Q->Step();
    }
    // Rows are tied by the levels the station database holds.
    if (Rows && !(MainConnection && MainConnection->Connected()))
        throw rtl::Exception("The undo values of the level fields cannot be tied to their level tables without the "
                             "station database.");
    TTable *Open = UndoParamTbl && UndoParamTbl->Active() &&
                           rtl::SameText(LocalTableBaseName(UndoParamTbl->TableName()), Name)
                       ? UndoParamTbl
                       : nullptr;
    if (Open)
        Open->Close();
    Session.StartTransaction(LocalDbDir);
    try {
        Db.AddColumn(Name, UndoLevelTableField, rtl::ftString, LevelTableWidth);
        if (Rows)
            TieEarlierRows(Db, Db.ResolveTable(Name));
        Session.Commit(LocalDbDir);
    } catch (...) {
        Session.Rollback(LocalDbDir);
        if (Open)
            Open->Open();
        throw;
    }
    Db.Touch();
    if (Open)
        Open->Open();
}
