// HandFlags: the operator's typed level flags as records of their own; see
// the header.
#include "app/HandFlags.h"

#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/uWriteFlags.h"
#include "dataaccess/comp/qxZqCompClient.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TSession.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <tuple>

namespace {

const char *const Suffix = "-HandFlags";
// The FldName of the undo rows with which earlier versions marked a flag
// typed by hand that a check was let replace.
const char *const EarlierLetGoMark = "CHECKED ";

std::string TableName() { return DbTablePrefix + Suffix; }

TLocalDatabase &Work() { return TLocalDatabase::ForFolder(LocalDbDir); }

// A pressure column as the records keep it: the tenth's pressure, or none.
void BindTenth(TLocalStatement &AQ, int AIndex, long long ATenth)
{
    if (ATenth == NoPresTenth)
        AQ.BindNull(AIndex);
    else
        AQ.BindDouble(AIndex, double(ATenth) / 10.0);
}

long long TenthOfColumn(const TLocalValue &APres)
{
    return APres.IsNull() ? NoPresTenth : HandFlagTenth(APres.AsDouble());
}

// What a record is found by: station, table, level and column.
std::string CellWhere() { return "ID_Cast = ? AND LevelTable = ? AND Pres IS ? AND FldName = ?"; }

void BindCell(TLocalStatement &AQ, int AFirst, const THandFlag &AFlag)
{
    AQ.BindInt(AFirst, AFlag.IdCast);
    AQ.BindText(AFirst + 1, AFlag.Table);
    BindTenth(AQ, AFirst + 2, AFlag.Tenth);
    AQ.BindText(AFirst + 3, AFlag.Column);
}

// The automatic run's reading of the records, all stations at once; the
// editor reads a station's afresh. Every write of this unit drops it, but
// the end of a record, which takes it out.
struct TCache {
    bool Valid = false;
    std::string Table; // the work folder's table it was read from
    std::map<std::pair<int, std::string>, std::vector<THandFlag>> Rows; // by station and level table
} Cache;

void Forget() { Cache.Valid = false; }

// ---- the records of earlier versions ------------------------------------------

// The level tables of a station in the station database, from its
// Parameters rows.
std::vector<std::string> StationTables(TZqQuery &AQ, int AIdCast)
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

// Reads what earlier versions left in the undo table of the level fields
// into records (see the header), and drops their marks there.
void ReadEarlierRecords(const std::string &ARecords)
{
    TLocalDatabase &Db = Work();
    bool UndoExists = false;
    const std::string Undo = Db.ResolveTable(DbTablePrefix + "-Undoparam", &UndoExists);
    if (!UndoExists)
        return;
    // The cells named by undo rows, by station, and the marks of those let
    // go; the value each cell held before its first edit.
    std::map<int, std::set<std::pair<long long, std::string>>> Cells, LetGo;
    std::map<std::tuple<int, long long, std::string>, std::string> FirstValue;
    {
        TLocalDatabase::TLease Q(Db, "SELECT ID_Cast, Pres, FldName, FldValue, FirstCh FROM " + Undo +
                                         " WHERE ID_Cast IS NOT NULL");
        while (Q->Step()) {
            const std::string Name = rtl::UpperCase(Q->Column(2).AsText());
            const int Cast = int(Q->Column(0).AsInt64());
            const long long Tenth = TenthOfColumn(Q->Column(1));
            if (Name.rfind(EarlierLetGoMark, 0) == 0)
                LetGo[Cast].insert({Tenth, Name.substr(std::string(EarlierLetGoMark).size())});
            else if (Name.size() > 1 && Name[0] == 'F') {
                Cells[Cast].insert({Tenth, Name});
                if (!Q->Column(4).IsNull() && Q->Column(4).AsInt64() != 0)
                    FirstValue[{Cast, Tenth, Name}] = rtl::Trim(Q->Column(3).AsText());
            }
        }
    }
    if (!Cells.empty()) {
        if (!MainConnection || !MainConnection->Connected())
            throw rtl::Exception("The flags typed by hand cannot be read from the undo table without the station "
                                 "database.");
        TZqQuery Params(nullptr);
        Params.SetConnection(MainConnection);
        TStoredStation Stored(MainConnection);
        TLocalDatabase::TLease Insert(Db, "INSERT INTO " + ARecords +
                                              " (ID_Cast, LevelTable, Pres, FldName, Flag) VALUES (?, ?, ?, ?, ?)");
        for (const auto &[Cast, Named] : Cells) {
            const std::vector<std::string> Tables = StationTables(Params, Cast);
            std::map<std::string, TStoredProfile> Profiles;
            for (const auto &[Tenth, Name] : Named) {
                if (LetGo[Cast].count({Tenth, Name}))
                    continue;
                // The tables whose level at that pressure has that flag
                // column, the flag it stores there, and whether every other
                // level of the table holds that flag in the column too.
                std::vector<std::tuple<std::string, std::string, int, bool>> Found;
                for (const std::string &T : Tables) {
                    const bool Pts = T == "PTS_Data";
                    std::string Column = Name;
                    if (Name == "FCHEM" && !Pts)
                        Column = rtl::UpperCase("F" + T);
                    const std::vector<std::string> Flags = FlagColumnsOfTable(T);
                    const auto Col = std::find_if(Flags.begin(), Flags.end(),
                                                  [&](const std::string &F) { return rtl::SameText(F, Column); });
                    if (Col == Flags.end())
                        continue;
                    auto It = Profiles.find(T);
                    if (It == Profiles.end()) {
                        It = Profiles.emplace(T, TStoredProfile()).first;
                        Stored.ReadProfile(T, Cast, It->second);
                    }
                    const TStoredProfile &P = It->second;
                    const int At = Tenth == NoPresTenth ? P.NoPresLevel() : P.LevelOf(Tenth);
                    const size_t C = size_t(Col - Flags.begin());
                    if (At < 0 || P.Levels[size_t(At)].FlagEmpty[C])
                        continue;
                    const int Flag = P.Levels[size_t(At)].Flags[C];
                    bool AsElsewhere = P.Levels.size() > 1;
                    for (const TStoredLevel &L : P.Levels)
                        AsElsewhere = AsElsewhere && !L.FlagEmpty[C] && L.Flags[C] == Flag;
                    Found.emplace_back(T, Column, Flag, AsElsewhere);
                }
                // A column two tables have at that pressure (the pressure's
                // flag, a chemical one written as "FCHEM") names the tables
                // whose flag is no longer what the cell held before its first
                // edit: those the operator changed; of several, those whose
                // flag stands out of the table's column. Where that does not
                // tell, each one, as the earlier version kept each.
                if (const auto First = FirstValue.find({Cast, Tenth, Name});
                    Found.size() > 1 && First != FirstValue.end())
                    Found.erase(std::remove_if(Found.begin(), Found.end(),
                                               [&](const auto &F) {
                                                   return std::to_string(std::get<2>(F)) == First->second;
                                               }),
                                Found.end());
                if (std::count_if(Found.begin(), Found.end(), [](const auto &F) { return !std::get<3>(F); }) > 0 &&
                    Found.size() > 1)
                    Found.erase(std::remove_if(Found.begin(), Found.end(), [](const auto &F) { return std::get<3>(F); }),
                                Found.end());
                for (const auto &[Table, Column, Flag, AsElsewhere] : Found) {
                    // A chemical flag let go was marked under its own column.
                    if (LetGo[Cast].count({Tenth, Column}))
                        continue;
                    Insert->Reset();
                    Insert->BindInt(1, Cast);
                    Insert->BindText(2, Table);
                    BindTenth(*Insert, 3, Tenth);
                    Insert->BindText(4, Column);
                    Insert->BindInt(5, Flag);
                    Insert->Execute();
                }
            }
        }
    }
    Db.Exec("DELETE FROM " + Undo + " WHERE substr(FldName, 1, " + std::to_string(std::string(EarlierLetGoMark).size()) +
            ") = '" + EarlierLetGoMark + "'");
}

// The records' table of the work folder, made (and what earlier versions
// left read into it) when it is not there yet; its SQL name.
std::string RecordsTable()
{
    TLocalDatabase &Db = Work();
    bool Exists = false;
    std::string Name = Db.ResolveTable(TableName(), &Exists);
    if (Exists)
        return Name;
    Session.StartTransaction(LocalDbDir);
    try {
        TTable Records(nullptr), Struct(nullptr);
        MakeWorkTable(Records, Struct, LocalDbDir, std::string(Suffix) + ".db", "HandFlags", "");
        Records.Close();
        Struct.Close();
        Name = Db.ResolveTable(TableName());
        ReadEarlierRecords(Name);
        Session.Commit(LocalDbDir);
    } catch (...) {
        Session.Rollback(LocalDbDir);
        throw;
    }
    Db.Touch();
    Forget();
    return Name;
}

std::vector<THandFlag> ReadRecords(const std::string &ATable, const std::string &AWhere,
                                   const std::function<void(TLocalStatement &)> &ABind)
{
    std::vector<THandFlag> Rows;
    TLocalDatabase::TLease Q(Work(), "SELECT ID_Cast, LevelTable, Pres, FldName, Flag FROM " + ATable + AWhere);
    ABind(*Q);
    while (Q->Step())
        Rows.push_back({int(Q->Column(0).AsInt64()), Q->Column(1).AsText(), TenthOfColumn(Q->Column(2)),
                        Q->Column(3).AsText(), int(Q->Column(4).AsInt64())});
    return Rows;
}

} // namespace

long long HandFlagTenth(double APres)
{
    return std::isnan(APres) ? NoPresTenth : std::llround(RoundPres(APres) * 10.0);
}

std::string TenthText(long long ATenth)
{
    if (ATenth == NoPresTenth)
        return "no pressure";
    const long long Abs = ATenth < 0 ? -ATenth : ATenth;
    return (ATenth < 0 ? "-" : "") + std::to_string(Abs / 10) + "." + std::to_string(Abs % 10);
}

void HandFlagTyped(const THandFlag &AFlag)
{
    const std::string Table = RecordsTable();
    Forget();
    {
        TLocalDatabase::TLease Q(Work(), "DELETE FROM " + Table + " WHERE " + CellWhere());
        BindCell(*Q, 1, AFlag);
        Q->Execute();
    }
    TLocalDatabase::TLease Q(Work(), "INSERT INTO " + Table +
                                         " (ID_Cast, LevelTable, Pres, FldName, Flag) VALUES (?, ?, ?, ?, ?)");
    BindCell(*Q, 1, AFlag);
    Q->BindInt(5, AFlag.Flag);
    Q->Execute();
}

void HandFlagEnded(const THandFlag &AFlag)
{
    const std::string Table = RecordsTable();
    // The run ends those another program stored over as it meets them: what
    // it keeps of the table goes on without them.
    if (const auto It = Cache.Rows.find({AFlag.IdCast, AFlag.Table}); Cache.Valid && It != Cache.Rows.end())
        It->second.erase(std::remove_if(It->second.begin(), It->second.end(),
                                        [&](const THandFlag &F) {
                                            return F.Tenth == AFlag.Tenth && F.Column == AFlag.Column;
                                        }),
                         It->second.end());
    TLocalDatabase::TLease Q(Work(), "DELETE FROM " + Table + " WHERE " + CellWhere());
    BindCell(*Q, 1, AFlag);
    Q->Execute();
}

void HandFlagsMoved(int AIdCast, const std::string &ATable, long long AFrom, long long ATo)
{
    if (AFrom == ATo)
        return;
    const std::string Table = RecordsTable();
    Forget();
    const std::string Level = "ID_Cast = ? AND LevelTable = ? AND Pres IS ?";
    const auto Bind = [&](TLocalStatement &Q, int AFirst, long long ATenth) {
        Q.BindInt(AFirst, AIdCast);
        Q.BindText(AFirst + 1, ATable);
        BindTenth(Q, AFirst + 2, ATenth);
    };
    // Records left at the new pressure name no level there (the edit was
    // let through only where the table has none in that tenth).
    {
        TLocalDatabase::TLease Q(Work(), "DELETE FROM " + Table + " WHERE " + Level);
        Bind(*Q, 1, ATo);
        Q->Execute();
    }
    TLocalDatabase::TLease Q(Work(), "UPDATE " + Table + " SET Pres = ? WHERE " + Level);
    BindTenth(*Q, 1, ATo);
    Bind(*Q, 2, AFrom);
    Q->Execute();
}

std::vector<THandFlag> HandFlagsOf(int AIdCast, const std::string &ATable)
{
    const std::string Table = RecordsTable();
    if (VisualMode)
        return ReadRecords(Table, " WHERE ID_Cast = ? AND LevelTable = ?", [&](TLocalStatement &Q) {
            Q.BindInt(1, AIdCast);
            Q.BindText(2, ATable);
        });
    if (!Cache.Valid || Cache.Table != LocalDbDir + Table) {
        Cache.Rows.clear();
        for (THandFlag &F : ReadRecords(Table, "", [](TLocalStatement &) {}))
            Cache.Rows[{F.IdCast, F.Table}].push_back(std::move(F));
        Cache.Valid = true;
        Cache.Table = LocalDbDir + Table;
    }
    const auto It = Cache.Rows.find({AIdCast, ATable});
    return It == Cache.Rows.end() ? std::vector<THandFlag>() : It->second;
}

void HandFlagsReadAgain() { Forget(); }

bool HandFlagHolds(const THandFlag &AFlag, int AStored, bool AStoredEmpty)
{
    if (!AStoredEmpty && AStored == AFlag.Flag)
        return true;
    HandFlagEnded(AFlag);
    return false;
}

std::vector<THeldHandFlag> HandFlagsHeld(int AIdCast, const std::string &ATable, const TStoredProfile &AStored)
{
    std::vector<THeldHandFlag> Held;
    const std::vector<std::string> Flags = FlagColumnsOfTable(ATable);
    for (const THandFlag &F : HandFlagsOf(AIdCast, ATable)) {
        const int At = F.Tenth == NoPresTenth ? AStored.NoPresLevel() : AStored.LevelOf(F.Tenth);
        const auto Col =
            std::find_if(Flags.begin(), Flags.end(), [&](const std::string &C) { return rtl::SameText(C, F.Column); });
        // A level no longer there keeps its record: the station database may
        // lack it for the moment (a level whose pressure cannot be read).
        if (At < 0 || Col == Flags.end())
            continue;
        const TStoredLevel &L = AStored.Levels[size_t(At)];
        const size_t C = size_t(Col - Flags.begin());
        if (HandFlagHolds(F, L.Flags[C], L.FlagEmpty[C]))
            Held.push_back({F, L.PresEmpty ? std::nan("") : L.Pres});
    }
    return Held;
}

std::string HandFlagLine(int AIdCast, double APres, const std::string &AColumn, const std::string &AFlag)
{
    return "station " + std::to_string(AIdCast) + ", " +
           (std::isnan(APres) ? std::string("the level without a pressure") : rtl::FloatToStr(APres) + " dbar") +
           ", " + AColumn.substr(1) + ": " + AFlag;
}

std::string HandFlagLines(const std::vector<std::string> &ALines)
{
    // A long list is cut: the first ones say what is meant.
    constexpr size_t Shown = 20;
    std::string Text;
    for (size_t I = 0; I < ALines.size() && I < Shown; ++I)
        Text += "\n" + ALines[I];
    if (ALines.size() > Shown)
        Text += "\nand " + std::to_string(ALines.size() - Shown) + " more";
    return Text;
}
