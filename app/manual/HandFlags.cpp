// HandFlags: the level flags the operator set by hand; see the header.
#include "app/manual/HandFlags.h"

#include "app/UQC.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
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

// An undo row of a station's level: its stored pressure (NaN: none) and
// FldName.
struct TUndoFlagRow {
    double Pres;
    std::string FldName;
};

// The automatic run asks for every station it checks, twice a station, and
// nothing writes the undo table meanwhile: it reads the table once a run,
// for all stations, and keeps it until UndoRowsChanged says that its rows
// changed (every writer of the table says so, and a run starts afresh, also
// after the work tables were made anew) or another work folder's is asked
// for. The work folder's other tables, which the run writes at every
// station, leave it be. The editor's checks, which store edits between
// them, read afresh.
struct TUndoCache {
    bool Valid = false;
    std::string Table;
    std::map<int, std::vector<TUndoFlagRow>> Rows;
} UndoCache;

const std::vector<TUndoFlagRow> &UndoFlagRowsOf(int AIdCast)
{
    static std::vector<TUndoFlagRow> Station;
    TLocalDatabase &Db = UndoParamTbl->Database();
    const std::string Table = LocalDbDir + UndoParamTbl->SqlName();
    const auto Read = [&](TLocalDatabase::TLease &Q, std::vector<TUndoFlagRow> &AInto) {
        const TLocalValue Pres = Q->Column(1);
        AInto.push_back({Pres.IsNull() ? std::nan("") : Pres.AsDouble(), Q->Column(2).AsText()});
    };
    if (VisualMode) {
        Station.clear();
        TLocalDatabase::TLease Q(Db, "SELECT ID_Cast, Pres, FldName FROM " + UndoParamTbl->SqlName() +
                                         " WHERE ID_Cast = ?");
        Q->BindInt(1, AIdCast);
        while (Q->Step())
            Read(Q, Station);
        return Station;
    }
    if (!UndoCache.Valid || UndoCache.Table != Table) {
        UndoCache.Rows.clear();
        TLocalDatabase::TLease Q(Db, "SELECT ID_Cast, Pres, FldName FROM " + UndoParamTbl->SqlName());
        while (Q->Step())
            Read(Q, UndoCache.Rows[int(Q->Column(0).AsInt64())]);
        UndoCache.Valid = true;
        UndoCache.Table = Table;
    }
    static const std::vector<TUndoFlagRow> None;
    const auto It = UndoCache.Rows.find(AIdCast);
    return It == UndoCache.Rows.end() ? None : It->second;
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
    const std::vector<TUndoFlagRow> &Rows = UndoFlagRowsOf(AIdCast);
    std::set<std::pair<long long, std::string>> LetGo, Seen;
    for (const TUndoFlagRow &R : Rows)
        if (R.FldName.rfind(LetGoMark, 0) == 0)
            LetGo.insert({HandFlagTenth(R.Pres), R.FldName.substr(std::string(LetGoMark).size())});
    for (const TUndoFlagRow &R : Rows) {
        if (std::find(AColumns.begin(), AColumns.end(), R.FldName) == AColumns.end())
            continue;
        const std::pair<long long, std::string> Key{HandFlagTenth(R.Pres), R.FldName};
        if (LetGo.count(Key) == 0 && Seen.insert(Key).second)
            Cells.push_back({AIdCast, R.Pres, R.FldName});
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

void UndoRowsChanged() { UndoCache.Valid = false; }

void KeepHandFlag(const THandFlagCell &ACell)
{
    UndoRowsChanged();
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
