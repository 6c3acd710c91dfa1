// HandFlags: the level flags the operator set by hand; see the header.
#include "app/manual/HandFlags.h"

#include "app/UQC.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"

#include <cmath>
#include <limits>
#include <set>
#include <utility>

namespace {

bool UndoTableOpen() { return UndoParamTbl && UndoParamTbl->Active(); }

// The undo rows of station AIdCast named AFldName: (rowid, the level's
// tenth).
std::vector<std::pair<int64_t, long long>> UndoRowsOf(int AIdCast, const std::string &AFldName)
{
    std::vector<std::pair<int64_t, long long>> Rows;
    TLocalDatabase::TLease Q(UndoParamTbl->Database(),
                             "SELECT rowid, Pres FROM " + UndoParamTbl->SqlName() + " WHERE ID_Cast = ? AND FldName = ?");
    Q->BindInt(1, AIdCast);
    Q->BindText(2, AFldName);
    while (Q->Step()) {
        const TLocalValue Pres = Q->Column(1);
        Rows.emplace_back(Q->Column(0).AsInt64(), HandFlagTenth(Pres.IsNull() ? std::nan("") : Pres.AsDouble()));
    }
    return Rows;
}

} // namespace

long long HandFlagTenth(double APres)
{
    return std::isnan(APres) ? std::numeric_limits<long long>::min() : std::llround(RoundPres(APres) * 10.0);
}

std::vector<THandFlagCell> HandSetFlagCells(int AIdCast, const std::vector<std::string> &AColumns)
{
    std::vector<THandFlagCell> Cells;
    if (!UndoTableOpen())
        return Cells;
    std::set<std::pair<long long, std::string>> Seen;
    for (const std::string &Column : AColumns) {
        std::set<long long> LetGo;
        for (const auto &[RowId, Tenth] : UndoRowsOf(AIdCast, LetGoMark + Column))
            LetGo.insert(Tenth);
        TLocalDatabase::TLease Q(UndoParamTbl->Database(), "SELECT Pres FROM " + UndoParamTbl->SqlName() +
                                                               " WHERE ID_Cast = ? AND FldName = ?");
        Q->BindInt(1, AIdCast);
        Q->BindText(2, Column);
        while (Q->Step()) {
            const TLocalValue Pres = Q->Column(0);
            const double P = Pres.IsNull() ? std::nan("") : Pres.AsDouble();
            const long long Tenth = HandFlagTenth(P);
            if (LetGo.count(Tenth) == 0 && Seen.insert({Tenth, Column}).second)
                Cells.push_back({AIdCast, P, Column});
        }
    }
    return Cells;
}

void LetGoHandFlag(const THandFlagCell &ACell)
{
    if (!UndoTableOpen())
        return;
    KeepHandFlag(ACell); // one mark a cell
    UndoParamTbl->Append();
    UndoParamTbl->FieldByName("ID_Cast")->SetAsInteger(ACell.IdCast);
    if (std::isnan(ACell.Pres))
        UndoParamTbl->FieldByName("Pres")->Clear();
    else
        UndoParamTbl->FieldByName("Pres")->SetAsFloat(ACell.Pres);
    UndoParamTbl->FieldByName("FldName")->SetAsString(LetGoMark + ACell.Column);
    UndoParamTbl->FieldByName("FirstCh")->SetAsBoolean(false);
    UndoParamTbl->Post();
}

void KeepHandFlag(const THandFlagCell &ACell)
{
    if (!UndoTableOpen())
        return;
    const long long Tenth = HandFlagTenth(ACell.Pres);
    bool Deleted = false;
    for (const auto &[RowId, RowTenth] : UndoRowsOf(ACell.IdCast, LetGoMark + ACell.Column)) {
        if (RowTenth != Tenth)
            continue;
        TLocalDatabase::TLease Q(UndoParamTbl->Database(), "DELETE FROM " + UndoParamTbl->SqlName() + " WHERE rowid = ?");
        Q->BindInt(1, RowId);
        Q->Execute();
        Deleted = true;
    }
    if (Deleted)
        UndoParamTbl->InvalidateRows();
}
