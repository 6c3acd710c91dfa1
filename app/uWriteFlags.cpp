// The flag write-back: confirmation, cruise choice, then each station's
// level flags in one transaction, where its profile is still the one judged.
#include "app/uWriteFlags.h"

#include "app/HandFlags.h"
#include "app/UQC.h"
#include "app/ListFiles.h"
#include "app/WorkTables.h"
#include "app/uFlagToMainDB.h"
#include "app/uWriteFlagProgress.h"
#include "app/uflagcru.h"
#include "dataaccess/comp/qxZqCompClient.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TSession.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TGauge.h"

#include <QProgressBar>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <utility>

namespace {

void Repaint(QWidget *AWidget)
{
    if (AWidget)
        AWidget->update();
}

// Gauge positions are whole percents, halves to the even one.
int Percent(int APart, int AWhole)
{
    return AWhole > 0 ? int(std::nearbyint(100.0 * APart / AWhole)) : 0;
}

void SetQuerySql(TQuery &AQuery, const std::string &ADir, const std::string &ASql)
{
    AQuery.Close();
    AQuery.SQL().Clear();
    AQuery.SetDatabaseName(ADir);
    AQuery.SQL().Add(ASql);
    AQuery.Open();
}

long long TenthOf(double APres) { return std::llround(RoundPres(APres) * 10.0); }

// True when the driver could not read the pressure (the first column) of a
// fetched row: the row says so, and the value is empty.
bool PresUnread(IZqPhysFetchedRow &ARow)
{
    const auto *E = dynamic_cast<const EZqDBEngineException *>(ARow.RowError());
    for (int I = 0; E && I < E->ErrorCount(); ++I)
        if (rtl::CompareText(E->Errors(I).ObjName, "PRES") == 0)
            return true;
    return false;
}

// A flag row of a level-flag table: its level's pressure and tenth (none:
// the level without a pressure) and its flags in FlagColumnsOfTable order
// (0: no verdict, as an empty flag).
struct TFlagRow {
    bool HasPres = false;
    double Pres = 0;
    long long Tenth = 0;
    int Flags[3] = {};
};

// A flag row read with its station.
struct TStationFlagRow {
    int IdCast = 0;
    TFlagRow Row;
};

// The flag rows of one station in one table, where the rows of its cruise
// are kept (TFlagTables): valid until that table's next cruise is read.
struct TFlagRows {
    const TStationFlagRow *From = nullptr, *To = nullptr;
    size_t size() const { return size_t(To - From); }
    bool empty() const { return From == To; }
    const TFlagRow &operator[](size_t I) const { return From[I].Row; }
};

// Reads a flag row from columns AFirst (PRES) and on of a query's row.
TFlagRow FlagRowOf(const TLocalStatement &AQuery, int AFirst, size_t AColumns)
{
    TFlagRow Row;
    Row.HasPres = AQuery.ColumnDouble(AFirst, Row.Pres);
    Row.Tenth = Row.HasPres ? TenthOf(Row.Pres) : 0;
    for (size_t C = 0; C < AColumns; ++C) {
        int64_t Flag = 0;
        AQuery.ColumnInt64(AFirst + int(C) + 1, Flag);
        Row.Flags[C] = int(Flag);
    }
    return Row;
}

// The level-flag tables of the work folder do not come and go during a
// write-back, so each is asked of the engine once; a station's rows are
// read through one statement per table.
class TFlagTables {
public:
    bool Exists(const std::string &ATable)
    {
        auto It = FKnown.find(ATable);
        if (It == FKnown.end())
            It = FKnown.emplace(ATable, LocalTableFileExists(LocalDbDir + LevelFlagTableName(ATable) + ".db")).first;
        return It->second;
    }
    void Read(const std::string &ATable, int AIdCast, std::vector<TFlagRow> &ARows)
    {
        ARows.clear();
        std::string &Sql = FSelects[ATable];
        TLocalDatabase &Db = TLocalDatabase::ForFolder(LocalDbDir);
        if (Sql.empty())
            Sql = "SELECT " + FlagColumnsText(ATable) + " FROM " + Db.ResolveTable(LevelFlagTableName(ATable)) +
                  " WHERE ID_Cast = ?";
        const size_t Columns = FlagColumnsOfTable(ATable).size();
        TLocalDatabase::TLease Q(Db, Sql);
        Q->BindInt(1, AIdCast);
        while (Q->Step())
            ARows.push_back(FlagRowOf(*Q, 0, Columns));
    }

    // The rows of station AIdCast of cruise AIdCruise (a station of its
    // "-Cast_TitlesFlags" rows), a 5 read as no verdict (0): the checks
    // carry a 5 and never change it. The rows of every station of the
    // cruise in a table are read in one query, in key order (by station,
    // then pressure), when its first station asks; the stations then ask
    // in that order, so that each finds its rows where the one before
    // ended.
    TFlagRows ReadOfCruise(const std::string &ATable, int AIdCruise, int AIdCast)
    {
        TCruiseRows &Of = FCruise[ATable];
        if (!Of.Read || Of.IdCruise != AIdCruise) {
            Of.Rows.clear();
            TLocalDatabase &Db = TLocalDatabase::ForFolder(LocalDbDir);
            std::string &Sql = FCruiseSelects[ATable];
            // In the flag table's key order (ID_Cast, PRES; the level
            // without a pressure first), in which its key's index finds them.
            if (Sql.empty())
                Sql = "SELECT ID_Cast, " + FlagColumnsText(ATable) + " FROM " +
                      Db.ResolveTable(LevelFlagTableName(ATable)) + " WHERE ID_Cast IN (SELECT ID_Cast FROM " +
                      Db.ResolveTable(DbTablePrefix + "-Cast_TitlesFlags") +
                      " WHERE ID_Cruise = ?) ORDER BY ID_Cast, PRES";
            const size_t Columns = FlagColumnsOfTable(ATable).size();
            TLocalDatabase::TLease Q(Db, Sql);
            Q->BindInt(1, AIdCruise);
            while (Q->Step()) {
                int64_t Cast = 0;
                Q->ColumnInt64(0, Cast);
                TStationFlagRow &R = Of.Rows.emplace_back(TStationFlagRow{int(Cast), FlagRowOf(*Q, 1, Columns)});
                for (int &F : R.Row.Flags)
                    F = F == 5 ? 0 : F;
            }
            Of.IdCruise = AIdCruise;
            Of.Read = true;
            Of.Next = 0;
        }
        const TStationFlagRow *Begin = Of.Rows.data(), *End = Begin + Of.Rows.size();
        const TStationFlagRow *From = Begin + std::min(Of.Next, Of.Rows.size());
        // A station asked out of order, or one without rows, is searched for.
        if (From == End || From->IdCast != AIdCast)
            From = std::lower_bound(Begin, End, AIdCast,
                                    [](const TStationFlagRow &A, int B) { return A.IdCast < B; });
        const TStationFlagRow *To = From;
        while (To < End && To->IdCast == AIdCast)
            ++To;
        Of.Next = size_t(To - Begin);
        return {From, To};
    }

    // The level tables whose level-flag tables hold rows of station
    // AIdCast: for a station its cruise no longer lists, whatever the
    // station database still says of it.
    void TablesOf(int AIdCast, std::vector<std::string> &ATables)
    {
        ATables.clear();
        if (!FListed) {
            TLocalDatabase &Db = TLocalDatabase::ForFolder(LocalDbDir);
            std::vector<std::string> Named;
            TLocalDatabase::TLease Q(Db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
            while (Q->Step()) {
                const std::string Name = Q->Column(0).AsText();
                if (Name.size() > DbTablePrefix.size() && rtl::SameText(Name.substr(0, DbTablePrefix.size()), DbTablePrefix)) {
                    const std::string Table = LevelTableOfFlagTable(Name.substr(DbTablePrefix.size()));
                    if (!Table.empty() && rtl::SameText(LevelFlagTableName(Table), Name))
                        Named.push_back(Table);
                }
            }
            // Only those with the flag columns of their level table: the
            // folder keeps other tables named alike (the old flags of
            // PTS_Data, "-PTS_DataOldFlags").
            for (const std::string &Table : Named) {
                std::vector<std::string> Columns;
                for (const TLocalColumn &C : Db.Columns(LevelFlagTableName(Table)))
                    Columns.push_back(rtl::UpperCase(C.Name));
                const std::vector<std::string> Flags = FlagColumnsOfTable(Table);
                if (std::all_of(Flags.begin(), Flags.end(), [&Columns](const std::string &F) {
                        return std::find(Columns.begin(), Columns.end(), rtl::UpperCase(F)) != Columns.end();
                    }))
                    FAll.push_back(Table);
            }
            FListed = true;
        }
        std::vector<TFlagRow> Rows;
        for (const std::string &Table : FAll) {
            Read(Table, AIdCast, Rows);
            if (!Rows.empty())
                ATables.push_back(Table);
        }
    }

private:
    // "PRES" and ATable's flag columns, each after APrefix.
    static std::string FlagColumnsText(const std::string &ATable, const std::string &APrefix = "")
    {
        std::string Text = APrefix + "PRES";
        for (const std::string &C : FlagColumnsOfTable(ATable))
            Text += ", " + APrefix + LocalQuoteName(C);
        return Text;
    }

    // A table's rows of the cruise read last, in station order.
    struct TCruiseRows {
        bool Read = false;
        int IdCruise = 0;
        std::vector<TStationFlagRow> Rows;
        size_t Next = 0; // where the rows of the station after the last asked begin
    };
    std::map<std::string, bool> FKnown;
    std::map<std::string, std::string> FSelects, FCruiseSelects;
    std::map<std::string, TCruiseRows> FCruise;
    std::vector<std::string> FAll;
    bool FListed = false;
};

} // namespace

// A select of one station's rows run through a command of its own, each
// row read where the driver fetched it: the write-back reads a station's
// row and profile once per station, and neither a dataset's opening (its
// fields, views and indexes made anew) nor a copy into an in-memory table
// should cost more than the rows themselves. What the driver says of a row
// (a value it cannot read, a text kept cut) is the row's error, as a fetch
// into a table says it.
class TStoredStation::TRows {
public:
    TRows(TZqCustomConnection *AConnection, const std::string &ASql)
    {
        FCommand.SetConnection(AConnection);
        FCommand.CommandText().Add(ASql);
    }
    // The rows of station AIdCast, each handed to AVisit.
    template <class TVisit> void Read(int AIdCast, TVisit &&AVisit)
    {
        FCommand.Params().Items(0)->SetAsInteger(AIdCast);
        FCommand.Open();
        struct TClose {
            TZqCommand &C;
            ~TClose() { C.Close(); }
        } Close{FCommand};
        FCommand.CommandIntf()->FetchRows([&](IZqPhysFetchedRow &ARow) {
            if (FTypes.empty())
                for (int C = 0; C < ARow.ColumnCount(); ++C)
                    FTypes.push_back(ARow.ColumnType(C));
            AVisit(ARow);
        });
    }
    // A value of a row as a number (a date or time in days), and whether it
    // is there (neither empty nor unreadable).
    bool Number(IZqPhysFetchedRow &ARow, int AColumn, double &AValue) const
    {
        void *Value = nullptr;
        uint32_t Len = 0;
        if (!ARow.GetValue(AColumn, Value, Len)) {
            AValue = 0;
            return false;
        }
        // A value lies as the driver fetched it: a number need not be aligned.
        switch (FTypes[size_t(AColumn)]) {
        case dtDouble:
            std::memcpy(&AValue, Value, sizeof AValue);
            break;
        case dtInt16: {
            int16_t I;
            std::memcpy(&I, Value, sizeof I);
            AValue = I;
            break;
        }
        case dtInt32: {
            int32_t I;
            std::memcpy(&I, Value, sizeof I);
            AValue = I;
            break;
        }
        default:
            AValue = dats::DatSValueToVariant(FTypes[size_t(AColumn)], Value, Len).AsDouble();
        }
        return true;
    }
    // A value as text ("" when empty or unreadable).
    std::string Text(IZqPhysFetchedRow &ARow, int AColumn) const
    {
        void *Value = nullptr;
        uint32_t Len = 0;
        return ARow.GetValue(AColumn, Value, Len) ? dats::DatSValueToVariant(FTypes[size_t(AColumn)], Value, Len).AsString()
                                                  : std::string();
    }

private:
    TZqCommand FCommand{nullptr};
    // The columns' types, read once: a profile asks for six values a level.
    std::vector<TZqDataType> FTypes;
};

std::pair<int, int> TStoredProfile::ReadableLevels() const
{
    const auto First = std::partition_point(Levels.begin(), Levels.end(),
                                            [](const TStoredLevel &L) { return L.PresEmpty && !L.PresUnread; });
    const auto End = std::partition_point(First, Levels.end(), [](const TStoredLevel &L) { return !L.PresUnread; });
    return {int(First - Levels.begin()), int(End - Levels.begin())};
}

int TStoredProfile::LevelOf(long long ATenth) const
{
    const auto [From, To] = ReadableLevels();
    const auto First = Levels.begin() + From, End = Levels.begin() + To;
    const auto It =
        std::lower_bound(First, End, ATenth, [](const TStoredLevel &L, long long T) { return L.Tenth < T; });
    return It == End || It->Tenth != ATenth ? -1 : int(It - Levels.begin());
}

std::string TStoredProfile::FlagsText() const
{
    TProfilePrint Print;
    for (const TStoredLevel &L : Levels)
        Print.AddFlags(L.Pres, L.PresEmpty, L.Flags[0], L.FlagEmpty[0], L.Flags[1], L.FlagEmpty[1], L.Flags[2],
                       L.FlagEmpty[2]);
    return Print.FlagsText();
}

TStoredStation::TStoredStation(TZqCustomConnection *AConnection) : FConnection(AConnection) {}

TStoredStation::~TStoredStation() = default;

void TStoredStation::ReadStation(int AIdCast, TStationNow &AStation)
{
    if (!FStation)
        FStation = std::make_unique<TRows>(FConnection, "Select ID_Cruise, Date_Cast, Time_Cast, Lon, Lat, StationName "
                                                        "from Cast_Titles where ID_Cast = :ID_Cast");
    AStation = TStationNow();
    FStation->Read(AIdCast, [&](IZqPhysFetchedRow &ARow) {
        if (AStation.Found)
            return;
        AStation.Found = true;
        double Cruise = 0;
        AStation.InCruise = FStation->Number(ARow, 0, Cruise);
        AStation.IdCruise = int(Cruise);
        TStationColumns &C = AStation.Columns;
        C.DateEmpty = !FStation->Number(ARow, 1, C.Date);
        C.TimeEmpty = !FStation->Number(ARow, 2, C.Time);
        C.LonEmpty = !FStation->Number(ARow, 3, C.Lon);
        C.LatEmpty = !FStation->Number(ARow, 4, C.Lat);
        AStation.Name = FStation->Text(ARow, 5);
    });
}

void TStoredStation::ReadProfile(const std::string &ATable, int AIdCast, TStoredProfile &AProfile)
{
    std::unique_ptr<TRows> &Q = FProfiles[ATable];
    if (!Q) {
        std::string Sql = "Select ";
        for (const std::vector<std::string> &Columns : {ValueColumnsOfTable(ATable), FlagColumnsOfTable(ATable)})
            for (const std::string &C : Columns)
                Sql += (Sql.size() > 7 ? ", " : "") + C;
        Q = std::make_unique<TRows>(FConnection, Sql + " from " + ATable + " where ID_Cast = :ID_Cast order by PRES");
    }
    const int ValueCount = int(ColumnCountOfTable(ATable)), FlagCount = ValueCount;
    TProfilePrint Print;
    AProfile.Levels.clear();
    bool Unread = false, Unordered = false;
    Q->Read(AIdCast, [&](IZqPhysFetchedRow &ARow) {
        double V[3] = {}, F = 0;
        bool Has[3] = {};
        for (int C = 0; C < ValueCount; ++C)
            Has[C] = Q->Number(ARow, C, V[C]);
        Print.AddLevel(V[0], !Has[0], V[1], !Has[1], V[2], !Has[2]);
        TStoredLevel &L = AProfile.Levels.emplace_back();
        L.PresEmpty = !Has[0];
        L.PresUnread = L.PresEmpty && PresUnread(ARow);
        L.Pres = V[0];
        L.Tenth = L.PresEmpty ? 0 : TenthOf(V[0]);
        for (int C = 0; C < FlagCount; ++C) {
            L.FlagEmpty[C] = !Q->Number(ARow, ValueCount + C, F);
            L.Flags[C] = L.FlagEmpty[C] ? 0 : int(F);
        }
        Print.AddFlags(L.Pres, L.PresEmpty, L.Flags[0], L.FlagEmpty[0], L.Flags[1], L.FlagEmpty[1], L.Flags[2],
                       L.FlagEmpty[2]);
        // An empty pressure after a stored one: the database put it last.
        Unordered = Unordered || (L.PresEmpty && AProfile.Levels.size() > 1 && !AProfile.Levels.end()[-2].PresEmpty);
        Unread = Unread || L.PresUnread;
    });
    // The level without a pressure first, whatever the order the database
    // gives it, and those whose pressure cannot be read last: read as empty,
    // such a level would be taken for the one without, or for one at 0 dbar.
    if (Unread || Unordered) {
        const auto Rank = [](const TStoredLevel &L) { return L.PresUnread ? 2 : L.PresEmpty ? 0 : 1; };
        std::stable_sort(AProfile.Levels.begin(), AProfile.Levels.end(),
                         [&](const TStoredLevel &A, const TStoredLevel &B) { return Rank(A) < Rank(B); });
    }
    AProfile.Print = std::move(Print);
}

TJudgedPrint TStoredStation::JudgedPrint(int AIdCast, const std::string &ATable)
{
    TStationNow Now;
    ReadStation(AIdCast, Now);
    if (ATable.empty())
        return TJudgedPrint(Now.Columns);
    TStoredProfile Profile;
    ReadProfile(ATable, AIdCast, Profile);
    return TJudgedPrint(Profile.Print, Now.Columns);
}

namespace {

// The write-back's statements on the station database, each prepared once:
// the parameters of a cruise's stations, a station's profile per level
// table, the statement that takes the write lock for a station's
// transaction, and the Updates per table and set of columns.
class TStationStatements {
public:
    TStationStatements(TZqQuery &AParamsQry, TZqCommand &AUpdateCmd)
        : FParamsQry(AParamsQry), FUpdateCmd(AUpdateCmd), FConnection(AUpdateCmd.Connection()), Stored(FConnection)
    {
    }

    // The level tables of the parameters of each station of the cruise that
    // have a level-flag table, in the order the rows come; a table once
    // however many of its parameters a station has, and nothing for a
    // parameter without a level-flag table (PRES).
    void ReadCruise(int AIdCruise, TFlagTables &AFlagTables, std::map<int, std::vector<std::string>> &ATables)
    {
        ATables.clear();
        if (!FParamsReady) {
            FParamsQry.Close();
            FParamsQry.SQL()->BeginUpdate();
            FParamsQry.SQL()->Clear();
            FParamsQry.SQL()->Add("Select Distinct p.ID_Cast, p.ParamAbr From \"Parameters\" p, Cast_Titles c "
                                  "where c.ID_Cast = p.ID_Cast and c.ID_Cruise = :ID_Cruise");
            FParamsQry.SQL()->EndUpdate();
            FParamsReady = true;
        }
        FParamsQry.ParamByName("ID_Cruise")->SetAsInteger(AIdCruise);
        FParamsQry.Open();
        TField *Cast = FParamsQry.FieldByName("ID_Cast"), *Abr = FParamsQry.FieldByName("ParamAbr");
        for (FParamsQry.First(); !FParamsQry.Eof(); FParamsQry.Next()) {
            const std::string Table = FlagTableOfParam(Abr->AsString());
            std::vector<std::string> &Of = ATables[Cast->AsInteger()];
            if (std::find(Of.begin(), Of.end(), Table) == Of.end() && AFlagTables.Exists(Table))
                Of.push_back(Table);
        }
        FParamsQry.Close();
    }

    std::string CruiseName(int AIdCruise)
    {
        TZqQuery &Q = Query(FCruiseName, "Select Cruise_Name from Cruise_Titles where ID_Cruise = :ID_Cruise");
        Q.ParamByName("ID_Cruise")->SetAsInteger(AIdCruise);
        Q.Open();
        const std::string Name = Q.Eof() ? "" : Q.Fields()[0]->AsString();
        Q.Close();
        return Name.empty() ? std::to_string(AIdCruise) : Name;
    }

    // Takes the station database's write lock for the transaction under
    // way: what is read next stays as it is until the commit.
    void Lock(const std::string &ATable)
    {
        Command(WriteLockSql(ATable)).Execute();
    }

    // Gathers the Update of one level of a station's table: the flags
    // AFlags (in FlagColumnsOfTable order) of the columns of ASet (a bit
    // each) at the stored pressure APres (none: the level without a
    // pressure).
    void Gather(unsigned ASet, const int *AFlags, const double *APres)
    {
        const size_t Key = ASet * 2 + (APres != nullptr);
        if (Key >= FGathered.size())
            FGathered.resize(Key + 1);
        TGathered &G = FGathered[Key];
        if (G.Pressures.empty())
            FOrder.push_back(Key);
        for (int C = 0; C < 3; ++C)
            if (ASet & (1u << C))
                G.Flags.push_back(AFlags[C]);
        G.Pressures.push_back(APres ? *APres : 0);
    }

    // Sends the Updates gathered of station AIdCast in ATable, one array
    // execute per set of columns and pressure test: a station's levels
    // mostly set the same columns, and one execute for all of them spares
    // the station database a round trip per level. The database runs the
    // sets up to the first it refuses, and that one is named: the caller's
    // rollback takes back those before it.
    void SendGathered(const std::string &ATable, int AIdCast)
    {
        const std::vector<std::string> All = FlagColumnsOfTable(ATable);
        struct TClear {
            TStationStatements &S;
            ~TClear()
            {
                for (size_t Key : S.FOrder) {
                    S.FGathered[Key].Flags.clear();
                    S.FGathered[Key].Pressures.clear();
                }
                S.FOrder.clear();
            }
        } Clear{*this};
        for (size_t Key : FOrder) {
            const TGathered &G = FGathered[Key];
            const bool Pres = Key % 2 != 0;
            std::vector<std::string> Columns;
            for (size_t C = 0; C < All.size(); ++C)
                if ((Key / 2) & (1u << C))
                    Columns.push_back(All[C]);
            TZqCommand &Cmd = Command(FlagUpdateSql(ATable, Columns, Pres));
            TZqParams &Params = Cmd.Params();
            const int Sets = int(G.Pressures.size()), Count = int(Columns.size());
            // A command first prepared for one parameter set would run every
            // later array set by set: its array is never shorter than two.
            for (int P = 0; P < Params.Count(); ++P)
                Params.Items(P)->SetArraySize(std::max(Sets, 2));
            for (int S = 0; S < Sets; ++S) {
                for (int C = 0; C < Count; ++C)
                    Params.Items(C)->SetAsInteger(G.Flags[size_t(S * Count + C)], S);
                Params.Items(Count)->SetAsInteger(AIdCast, S);
                if (Pres)
                    Params.Items(Count + 1)->SetAsFloat(G.Pressures[size_t(S)], S);
            }
            if (FUpdateCmd.BeforeExecute)
                FUpdateCmd.BeforeExecute(&FUpdateCmd);
            try {
                Cmd.Execute(Sets, 0);
            } catch (const EZqDBEngineException &E) {
                const int Failed = E.ErrorCount() > 0 ? E.Errors(0).RowIndex : -1;
                if (Failed < 0 || Failed >= Sets)
                    throw;
                throw rtl::Exception(E.Message() + "\nThe station database refused the flags of the level of " + ATable +
                                     (Pres ? " at " + rtl::FloatToStr(G.Pressures[size_t(Failed)]) + " dbar"
                                           : std::string(" without a pressure")) +
                                     ": the station keeps its old flags.");
            }
            if (FUpdateCmd.AfterExecute)
                FUpdateCmd.AfterExecute(&FUpdateCmd);
        }
    }

private:
    TZqQuery &Query(std::unique_ptr<TZqQuery> &AQuery, const char *ASql)
    {
        if (!AQuery) {
            AQuery = std::make_unique<TZqQuery>(nullptr);
            AQuery->SetConnection(FConnection);
            AQuery->SQL()->Add(ASql);
        }
        return *AQuery;
    }

    TZqCommand &Command(const std::string &ASql)
    {
        std::unique_ptr<TZqCommand> &C = FCommands[ASql];
        if (!C) {
            C = std::make_unique<TZqCommand>(nullptr);
            C->SetConnection(FConnection);
            // Prepared by its first execution, when its parameters have
            // values (and so their types).
            C->CommandText().Add(ASql);
        }
        return *C;
    }

    TZqQuery &FParamsQry;
    TZqCommand &FUpdateCmd;
    TZqCustomConnection *FConnection;

public:
    // The station's row and profiles as stored.
    TStoredStation Stored;

private:
    bool FParamsReady = false;
    std::unique_ptr<TZqQuery> FCruiseName;
    std::map<std::string, std::unique_ptr<TZqCommand>> FCommands;
    // The Updates gathered of a station's table, by set of columns and
    // pressure test (the set's bits twice, and one for a pressure): their
    // flags (a level's after another's) and stored pressures, in FOrder as
    // first gathered. They keep their storage for the next station.
    struct TGathered {
        std::vector<int> Flags;
        std::vector<double> Pressures;
    };
    std::vector<TGathered> FGathered;
    std::vector<size_t> FOrder;
};

std::string Count(int AHowMany, const std::string &AWhat)
{
    return std::to_string(AHowMany) + " " + AWhat + (AHowMany == 1 ? "" : "s");
}

// What was written, as said at the end of a write-back.
std::string WrittenText(const TWriteFlagsResult &AResult)
{
    return Count(AResult.Levels, "level") + " of " + Count(AResult.Stations, "station") + " in " +
           Count(AResult.Cruises, "cruise");
}

// The levels that held their verdicts before the write-back, said apart
// from those it changed ("" when none did).
std::string HeldText(const TWriteFlagsResult &AResult)
{
    if (AResult.Held == 0)
        return "";
    return " " + Count(AResult.Held, "level") + " of " + Count(AResult.HeldStations, "station") +
           (AResult.Held == 1 ? " already held its verdict." : " already held their verdicts.");
}

// The most stations a message names; a longer list is written whole to a
// file: a message box of a hundred thousand lines takes half a minute to
// appear and cannot be read.
constexpr size_t MaxNamed = 25;

// A station left out, as a line of the list.
std::string NotWrittenLine(const TNotWritten &N)
{
    return N.Cruise + ", station " + std::to_string(N.IdCast) + (N.Station.empty() ? "" : " (" + N.Station + ")") +
           ": " + N.Why;
}

// The stations left out, one a line, in groups by what the operator can do
// about them: those to check again (left out whole, then written in part),
// those in no cruise, which a check reaches only once they are in one, and
// those no longer in the station database. AAll: every one, however many.
std::string NotWrittenText(const TWriteFlagsResult &AResult, bool AAll = false)
{
    std::vector<const TNotWritten *> Whole, Part, NoCruise, Gone;
    for (const TNotWritten &N : AResult.NotWritten)
        (!N.Written.empty() ? Part : N.Kind == nwGone ? Gone : N.Kind == nwNoCruise ? NoCruise : Whole).push_back(&N);
    std::string Text;
    size_t Named = 0;
    // Every group names at least its first station: a long first group
    // leaves a line for each group after it.
    size_t Later = size_t(!Part.empty()) + size_t(!NoCruise.empty()) + size_t(!Gone.empty());
    const auto List = [&](const std::vector<const TNotWritten *> &AList, const std::string &AHead) {
        if (AList.empty())
            return;
        Later -= &AList == &Whole ? 0 : 1;
        Text += "\n\n" + Count(int(AList.size()), "station") + " " + AHead;
        for (const TNotWritten *N : AList)
            if (AAll || Named + Later < MaxNamed) {
                Text += "\n" + NotWrittenLine(*N);
                ++Named;
            }
    };
    const auto One = [](const std::vector<const TNotWritten *> &AList, const char *AOne, const char *AMany) {
        return std::string(AList.size() == 1 ? AOne : AMany);
    };
    List(Whole, "not written: check " + One(Whole, "it again. Its", "them again. Their") +
                    " levels keep their flags in the station database:");
    List(Part, "written in part: check " + One(Part, "it", "them") +
                   " again. The tables not written keep their flags in the station database:");
    List(NoCruise, "not written: taken out of " + One(NoCruise, "its cruise, it", "their cruises, they") +
                       " can be checked again only once in a cruise. " + One(NoCruise, "Its", "Their") +
                       " levels keep their flags in the station database:");
    List(Gone, "not written: " + One(Gone, "it is", "they are") + " no longer in the station database:");
    if (AAll)
        return Text;
    if (Named < AResult.NotWritten.size())
        Text += "\n... and " + Count(int(AResult.NotWritten.size() - Named), "station") + " more: " +
                (AResult.ListTrouble.empty() ? "the whole list is in the file " + AResult.ListFile
                 : AResult.ListFile.empty()  ? AResult.ListTrouble + "."
                                             : AResult.ListTrouble + "; it is in the file " + AResult.ListFile);
    else if (!AResult.ListTrouble.empty())
        Text += "\n\n" + AResult.ListTrouble + ".";
    return Text;
}

std::string UnmatchedText(const TWriteFlagsResult &AResult)
{
    if (AResult.Unmatched == 0)
        return "";
    return "\n\n" + Count(AResult.Unmatched, "level") +
           (AResult.Unmatched == 1 ? " with new flags was not found in the main database; it keeps its old flags"
                                   : " with new flags were not found in the main database; they keep their old flags");
}

// Writes the whole list of the stations left out to a file when the
// message cannot name them all (KeepListFile), and says which
// (AResult.ListFile) and what went amiss (AResult.ListTrouble).
void KeepWholeList(TWriteFlagsResult &AResult)
{
    const bool Needed = AResult.NotWritten.size() > MaxNamed;
    const TListFile Kept =
        KeepListFile(DbTablePrefix + "-NotWritten.txt",
                     Needed ? "Flags not written into the station database" + NotWrittenText(AResult, true) + "\n" : "",
                     Needed, "write-back");
    AResult.ListFile = Kept.File;
    AResult.ListTrouble = Kept.Trouble;
}

// A write-back cut off (by an error or by Esc) in chosen cruise AStopped of
// ACount, at station AIdCast (0: at the cruise itself): a few lines, however
// many cruises were chosen.
std::string StoppedText(const std::string &AHead, const TWriteFlagsResult &AResult, const std::string &ACruise,
                        int AStopped, int ACount, int AIdCast)
{
    std::string Text = AHead + "\n" + (AResult.Levels > 0 ? "Written: " + WrittenText(AResult) + "."
                                                           : std::string("Nothing was written.")) +
                       HeldText(AResult);
    const int After = ACount - AStopped - 1;
    Text += "\nIt stopped at " + (AIdCast > 0 ? "station " + std::to_string(AIdCast) + " of " : std::string()) +
            "cruise " + ACruise + " (" + std::to_string(AStopped + 1) + " of " + Count(ACount, "chosen cruise") +
            "): " + (AIdCast > 0 ? "the stations from there on" : "it") +
            (After > 0 ? " and the " + Count(After, "cruise") + " after it" : "") + " were not written.";
    return Text + "\nThe levels not written keep their old flags." + NotWrittenText(AResult) + UnmatchedText(AResult);
}

// The levels of AProfile that flag rows name, [first, end) for each row in
// AMatched: the level of the row's tenth that the checks judged (the first
// of the tenth in pressure order) and every level stored at that very
// pressure; first is -1 when the profile has no level of the row. The rows
// come in pressure order as the levels lie, and are matched in one walk of
// both; a row that goes back is searched for.
void MatchLevels(const TStoredProfile &AProfile, const TFlagRows &ARows, std::vector<std::pair<int, int>> &AMatched)
{
    const std::vector<TStoredLevel> &Levels = AProfile.Levels;
    const auto GroupEnd = [&Levels](int AFirst) {
        const TStoredLevel &Judged = Levels[size_t(AFirst)];
        int End = AFirst + 1;
        while (size_t(End) < Levels.size() && Levels[size_t(End)].PresEmpty == Judged.PresEmpty &&
               !Levels[size_t(End)].PresUnread && (Judged.PresEmpty || Levels[size_t(End)].Pres == Judged.Pres))
            ++End;
        return End;
    };
    const int NoPres = AProfile.NoPresLevel();
    const auto [From, To] = AProfile.ReadableLevels();
    const auto First = Levels.begin() + From, Readable = Levels.begin() + To;
    auto At = First;
    long long Last = 0;
    AMatched.clear();
    for (size_t I = 0; I < ARows.size(); ++I) {
        const TFlagRow &R = ARows[I];
        int Judged = NoPres;
        if (R.HasPres) {
            if (R.Tenth < Last)
                At = std::lower_bound(First, Readable, R.Tenth,
                                      [](const TStoredLevel &L, long long T) { return L.Tenth < T; });
            Last = R.Tenth;
            while (At != Readable && At->Tenth < R.Tenth)
                ++At;
            Judged = At != Readable && At->Tenth == R.Tenth ? int(At - Levels.begin()) : -1;
        }
        AMatched.emplace_back(Judged, Judged < 0 ? -1 : GroupEnd(Judged));
    }
}

bool HasVerdict(const TFlagRow &ARow) { return ARow.Flags[0] || ARow.Flags[1] || ARow.Flags[2]; }

// True when the levels of AProfile already hold every verdict of ARows on
// them (AMatched: the levels each names), and ARows name at least one of
// them: the station holds what its write-back would write, whatever kept
// its print from saying so (a write-back stopped between the station's
// commit and its print's).
bool HoldsVerdicts(const TStoredProfile &AProfile, const TFlagRows &ARows,
                   const std::vector<std::pair<int, int>> &AMatched, size_t AColumns)
{
    bool Any = false;
    for (size_t I = 0; I < ARows.size(); ++I) {
        const TFlagRow &R = ARows[I];
        if (!HasVerdict(R))
            continue;
        const auto [First, End] = AMatched[I];
        for (int L = First; L >= 0 && L < End; ++L) {
            const TStoredLevel &At = AProfile.Levels[size_t(L)];
            for (size_t C = 0; C < AColumns; ++C)
                if (R.Flags[C] != 0 && (At.FlagEmpty[C] || At.Flags[C] != R.Flags[C]))
                    return false;
            Any = true;
        }
    }
    return Any;
}

// How a level table of a station stands against its check: why its
// verdicts are held back ("" to write them), and the print its check left,
// as far as it is known.
struct TTableStand {
    std::string Why;
    TJudgedPrint Judged;
    // The print tells the levels, date, time and position judged, and all
    // are as judged: after the write it is a print of this version's, with
    // the flags written.
    bool Renew = false;
};

// Compares the print a check kept of a table (APrint) with the table's
// levels as stored (AProfile) and the station's row (ANow). Levels, a date
// or time, or a position not as judged hold the verdicts back: they were
// given over another profile. Flags not as judged, or a print that does not
// tell them (an earlier version's), hold them back unless the levels
// already hold every verdict: what was left to judge is then only whether
// the station holds them, and it does.
TTableStand StandOf(const std::string &APrint, const TStoredProfile &AProfile, const TStationColumns &ANow,
                    const TFlagRows &ARows, const std::vector<std::pair<int, int>> &AMatched, size_t AColumns)
{
    TTableStand S;
    TJudgedPrint &Judged = S.Judged;
    if (!Judged.Parse(APrint))
        Judged.ParseEarlier(APrint);
    const TJudgedPrint Now(AProfile.Print, ANow);
    const auto Differs = [](const std::string &AJudged, const std::string &ANowPart) {
        return !AJudged.empty() && AJudged != ANowPart;
    };
    std::vector<std::string> Changed;
    if (Differs(Judged.Levels, Now.Levels))
        Changed.push_back("levels");
    // A level's flags are printed with its pressure: a level that changed
    // is said once.
    else if (Differs(Judged.Flags, Now.Flags))
        Changed.push_back("flags");
    if (Differs(Judged.When, Now.When))
        Changed.push_back("date or time");
    if (Differs(Judged.Where, Now.Where))
        Changed.push_back("position");
    S.Renew = !Judged.Levels.empty() && !Judged.When.empty() && !Judged.Where.empty();
    if (Changed.size() > 1 || (Changed.size() == 1 && Changed[0] != "flags")) {
        S.Why = TablesText(Changed) + " changed since its check";
        return S;
    }
    if (Judged.Levels.empty())
        S.Why = "checked by an earlier version of this program, which kept no print of what it judged";
    else if (Judged.When.empty())
        S.Why = "checked by an earlier version of this program, which kept no print of the station's date, time and "
                "position";
    else if (!Changed.empty())
        S.Why = "flags changed since its check";
    if (!S.Why.empty() && HoldsVerdicts(AProfile, ARows, AMatched, AColumns))
        S.Why.clear();
    return S;
}

// Adds ATable to the tables held back for AWhy.
void HoldBack(std::vector<std::pair<std::vector<std::string>, std::string>> &AHeld, const std::string &ATable,
              const std::string &AWhy)
{
    for (auto &[Tables, Why] : AHeld)
        if (Why == AWhy) {
            Tables.push_back(ATable);
            return;
        }
    AHeld.push_back({{ATable}, AWhy});
}

// The line that names a station left out, after its name: the tables held
// back with why, then those written.
std::string HeldBackText(const TNotWritten &N)
{
    std::string Text;
    for (const auto &[Tables, Why] : N.Held)
        Text += (Text.empty() ? "" : "; ") + TablesText(Tables) + " not written: " + Why;
    if (!N.Written.empty())
        Text += "; " + TablesText(N.Written) + " written";
    return Text;
}

// The prints of a station's row under another cruise of the "-Cast_TitlesFlags"
// table ("" when it has no row there).
std::string PrintsUnder(int AIdCruise, int AIdCast)
{
    TLocalDatabase &Db = TLocalDatabase::ForFolder(LocalDbDir);
    TLocalDatabase::TLease Q(Db, "SELECT " + std::string(ProfilePrintsField) + " FROM " +
                                     Db.ResolveTable(DbTablePrefix + "-Cast_TitlesFlags") +
                                     " WHERE ID_Cruise = ? AND ID_Cast = ?");
    Q->BindInt(1, AIdCruise);
    Q->BindInt(2, AIdCast);
    return Q->Step() ? Q->Column(0).AsText() : std::string();
}

// The cruise other than AIdCruise under which a check kept a print of
// ATable for a station (0: none): the level-flag tables key a station's
// verdicts by its ID_Cast alone, so a station moved into this cruise may
// hold verdicts that a check under its cruise before gave.
int CruiseCheckedIn(int AIdCruise, int AIdCast, const std::string &ATable)
{
    TLocalDatabase &Db = TLocalDatabase::ForFolder(LocalDbDir);
    TLocalDatabase::TLease Q(Db, "SELECT ID_Cruise, " + std::string(ProfilePrintsField) + " FROM " +
                                     Db.ResolveTable(DbTablePrefix + "-Cast_TitlesFlags") +
                                     " WHERE ID_Cast = ? AND ID_Cruise <> ?");
    Q->BindInt(1, AIdCast);
    Q->BindInt(2, AIdCruise);
    while (Q->Step())
        if (!ProfilePrintOf(Q->Column(1).AsText(), ATable).empty())
            return int(Q->Column(0).AsInt64());
    return 0;
}

// A station's verdicts as the flag tables hold them, read before its
// transaction: the level tables with a verdict, PTS_Data first, then by
// name, each with its flag rows (a 5 read as no verdict).
struct TTableVerdicts {
    std::string Table;
    TFlagRows Rows;
};
struct TStationVerdicts {
    std::vector<TTableVerdicts> Tables;
};

// Reads the verdicts of station AIdCast of cruise AIdCruise in ATables (the
// level tables of its parameters) into AVerdicts; a level table of the
// station that no check judged is none of its write-back's business.
void ReadVerdicts(TFlagTables &AFlagTables, int AIdCruise, int AIdCast, const std::vector<std::string> &ATables,
                  TStationVerdicts &AVerdicts)
{
    AVerdicts.Tables.clear();
    for (const std::string &Table : ATables) {
        const TFlagRows Rows = AFlagTables.ReadOfCruise(Table, AIdCruise, AIdCast);
        for (size_t I = 0; I < Rows.size(); ++I)
            if (HasVerdict(Rows[I])) {
                AVerdicts.Tables.push_back({Table, Rows});
                break;
            }
    }
    // The station is named alike whatever road its tables were found by.
    std::sort(AVerdicts.Tables.begin(), AVerdicts.Tables.end(), [](const TTableVerdicts &A, const TTableVerdicts &B) {
        return std::make_pair(A.Table != "PTS_Data", A.Table) < std::make_pair(B.Table != "PTS_Data", B.Table);
    });
}

// What one station's write-back did, and what the station's row of the
// "-Cast_TitlesFlags" table is to keep.
struct TStationWritten {
    int Levels = 0;     // levels changed
    int Held = 0;       // levels that held their verdicts already
    int Statements = 0; // Updates sent (a level each)
    int Unmatched = 0;  // flag rows that found no level
    TNotWritten Left;   // the tables held back, each with why, and those written
    std::string Prints; // its prints, those of the tables written with the flags written
    std::vector<std::string> HandKept; // the flags typed by hand its tables written keep, named
};

// One station's write-back as one unit: in one transaction of the station
// database it reads the station's row and the profiles of its tables with
// verdicts, compares each with what its check judged, writes the tables as
// judged and works out the prints they now have. Whatever moment a
// write-back is stopped at, the station holds all of its verdicts or none
// of them, and its next write-back finds which (StandOf): a station written
// whose prints were not kept counts as written.
class TStationWriter {
public:
    TStationWriter(TZqCustomConnection &AConn, TStationStatements &AStatements)
        : FConn(AConn), FStatements(AStatements)
    {
    }

    // Writes station AIdCast of cruise AIdCruise, whose row keeps APrints.
    // What the station database refuses is thrown, the station's
    // transaction rolled back.
    TStationWritten Write(int AIdCruise, int AIdCast, const std::string &APrints, const TStationVerdicts &AVerdicts)
    {
        TStationWritten Done;
        Done.Prints = APrints;
        try {
            FConn.StartTransaction();
            FStatements.Lock(AVerdicts.Tables.front().Table);
            TStationNow Now;
            FStatements.Stored.ReadStation(AIdCast, Now);
            Done.Left.Station = Now.Name;
            // A cause that holds the whole station back; a station moved
            // to a cruise that has checked it since leaves its tables
            // judged there to that cruise.
            std::string Whole, NewCruisePrints;
            if (!Now.Found) {
                Whole = "no longer in the station database";
                Done.Left.Kind = nwGone;
            } else if (!Now.InCruise) {
                Whole = "taken out of its cruise since its check";
                Done.Left.Kind = nwNoCruise;
            } else if (Now.IdCruise != AIdCruise) {
                Whole = "moved to cruise " + FStatements.CruiseName(Now.IdCruise) + " since its check";
                NewCruisePrints = PrintsUnder(Now.IdCruise, AIdCast);
            }
            for (const TTableVerdicts &T : AVerdicts.Tables) {
                if (Whole.empty())
                    WriteTable(AIdCruise, AIdCast, T.Table, T.Rows, Now.Columns, APrints, Done);
                else if (ProfilePrintOf(NewCruisePrints, T.Table).empty())
                    HoldBack(Done.Left.Held, T.Table, Whole);
            }
            FConn.Commit();
        } catch (const std::exception &) {
            try {
                if (FConn.InTransaction())
                    FConn.Rollback();
            } catch (const std::exception &) {
                // The refusal is the one to report.
            }
            throw;
        }
        return Done;
    }

private:
    // Writes ATable's verdicts ARows on the station when all they were
    // judged on is as judged: the station's date, time and position
    // (ANow), the table's levels and their stored flags.
    void WriteTable(int AIdCruise, int AIdCast, const std::string &ATable, const TFlagRows &ARows,
                    const TStationColumns &ANow, const std::string &APrints, TStationWritten &ADone)
    {
        FStatements.Stored.ReadProfile(ATable, AIdCast, FProfile);
        MatchLevels(FProfile, ARows, FMatched);
        const size_t Columns = ColumnCountOfTable(ATable);
        const std::string Print = ProfilePrintOf(APrints, ATable);
        TTableStand Stand;
        if (const int Before = Print.empty() ? CruiseCheckedIn(AIdCruise, AIdCast, ATable) : 0)
            Stand.Why = "checked under cruise " + FStatements.CruiseName(Before) + " before it moved to this one";
        else
            Stand = StandOf(Print, FProfile, ANow, ARows, FMatched, Columns);
        if (!Stand.Why.empty()) {
            HoldBack(ADone.Left.Held, ATable, Stand.Why);
            return;
        }
        // The flags typed by hand that the station holds, by level: a verdict
        // of the checks keeps them (they gave none there, or the flag typed),
        // as the operator learns.
        std::map<int, std::vector<std::pair<THeldHandFlag, bool>>> Typed; // level -> (flag, kept)
        std::vector<std::string> ColumnNames;
        for (const THeldHandFlag &H : HandFlagsHeld(AIdCast, ATable, FProfile)) {
            Typed[H.Flag.Tenth == NoPresTenth ? FProfile.NoPresLevel() : FProfile.LevelOf(H.Flag.Tenth)].push_back(
                {H, true});
            if (ColumnNames.empty())
                ColumnNames = FlagColumnsOfTable(ATable);
        }
        int Rows = 0, Statements = 0;
        for (size_t I = 0; I < ARows.size(); ++I) {
            const TFlagRow &R = ARows[I];
            // The columns the row gives a verdict in, a bit each.
            unsigned Set = 0;
            for (size_t C = 0; C < Columns; ++C)
                Set |= R.Flags[C] != 0 ? 1u << C : 0u;
            if (Set == 0)
                continue;
            const auto [First, End] = FMatched[I];
            if (First < 0) {
                ++ADone.Unmatched;
                continue;
            }
            ++Rows;
            if (const auto It = Typed.find(First); It != Typed.end())
                for (auto &[H, Kept] : It->second)
                    for (size_t C = 0; C < Columns; ++C)
                        if (rtl::SameText(ColumnNames[C], H.Flag.Column) && R.Flags[C] != 0 &&
                            R.Flags[C] != H.Flag.Flag)
                            Kept = false;
            // The levels whose flags the verdicts change, counted as written;
            // those that hold them already, apart. An Update goes only
            // where a level changes.
            bool Changes = false;
            for (int L = First; L < End; ++L) {
                const TStoredLevel &At = FProfile.Levels[size_t(L)];
                bool Differs = false;
                for (size_t C = 0; C < Columns; ++C)
                    Differs = Differs || (R.Flags[C] != 0 && (At.FlagEmpty[C] || At.Flags[C] != R.Flags[C]));
                ++(Differs ? ADone.Levels : ADone.Held);
                Changes = Changes || Differs;
            }
            if (Changes) {
                FStatements.Gather(Set, R.Flags, R.HasPres ? &FProfile.Levels[size_t(First)].Pres : nullptr);
                ++Statements;
            }
            // The flags as they now stand, for the table's print: the
            // Update sets every level at that stored pressure.
            for (int L = First; L < End; ++L)
                for (size_t C = 0; C < Columns; ++C)
                    if (R.Flags[C] != 0) {
                        FProfile.Levels[size_t(L)].Flags[C] = R.Flags[C];
                        FProfile.Levels[size_t(L)].FlagEmpty[C] = false;
                    }
        }
        if (Rows == 0)
            return;
        if (Statements > 0)
            FStatements.SendGathered(ATable, AIdCast);
        ADone.Statements += Statements;
        ADone.Left.Written.push_back(ATable);
        for (const auto &[Level, Flags] : Typed)
            for (const auto &[H, Kept] : Flags)
                if (Kept)
                    ADone.HandKept.push_back(HandFlagLine(AIdCast, H.Pres, H.Flag.Column, std::to_string(H.Flag.Flag)));
        // A print that does not tell all that was judged is kept as it is:
        // the next write-back judges the station by what it holds again.
        if (Stand.Renew) {
            TJudgedPrint Written = Stand.Judged;
            Written.Flags = FProfile.FlagsText();
            ADone.Prints = WithProfilePrint(ADone.Prints, ATable, Written.Text());
        }
    }

    TZqCustomConnection &FConn;
    TStationStatements &FStatements;
    // Kept for their storage, station after station.
    TStoredProfile FProfile;
    std::vector<std::pair<int, int>> FMatched;
};

// What the rows of the "-Cast_TitlesFlags" table are to keep of the stations
// of a cruise written: their marks of what was left out, and their prints.
// They are kept once per cruise, in one transaction of the work folder: a
// write per station would reach the disk once per station, and a station
// whose prints a stop kept from its row is known by what it holds.
class TKeptRows {
public:
    void Add(int AIdCast, const std::string &AMark, const std::string &APrints)
    {
        FRows.push_back({AIdCast, AMark, APrints});
    }

    // Keeps the rows added of cruise AIdCruise; what the work folder
    // refused is remembered (Failure) and said at the end.
    void Keep(int AIdCruise)
    {
        if (FRows.empty())
            return;
        bool Open = false;
        try {
            TLocalDatabase &Db = TLocalDatabase::ForFolder(LocalDbDir);
            Session.StartTransaction(LocalDbDir);
            Open = true;
            {
                TLocalDatabase::TLease Q(Db, "UPDATE " + Db.ResolveTable(DbTablePrefix + "-Cast_TitlesFlags") + " SET " +
                                                 NotWrittenField + " = ?, " + ProfilePrintsField +
                                                 " = ? WHERE ID_Cruise = ? AND ID_Cast = ?");
                for (const TRow &R : FRows) {
                    if (R.Mark.empty())
                        Q->BindNull(1);
                    else
                        Q->BindText(1, R.Mark);
                    Q->BindText(2, R.Prints);
                    Q->BindInt(3, AIdCruise);
                    Q->BindInt(4, R.IdCast);
                    Q->Execute();
                }
            }
            Open = false;
            Session.Commit(LocalDbDir);
        } catch (const std::exception &E) {
            FFailure = E.what();
            try {
                if (Open)
                    Session.Rollback(LocalDbDir);
            } catch (const std::exception &) {
                // The first failure is the one to say.
            }
        }
        FRows.clear();
        if (CastFlagTbl)
            CastFlagTbl->InvalidateRows();
    }

    // Said after the rest when the work folder did not keep the stations'
    // rows: the next write-back finds those written by what they hold.
    std::string FailureText() const
    {
        return FFailure.empty() ? std::string()
                                : "\n\nThe work tables did not keep what was written (" + FFailure +
                                      "): the next write-back finds the stations written by the flags they hold.";
    }

    bool Failed() const { return !FFailure.empty(); }

private:
    struct TRow {
        int IdCast;
        std::string Mark, Prints;
    };
    std::vector<TRow> FRows;
    std::string FFailure;
};

} // namespace

std::string FlagTableOfParam(const std::string &AParamAbr)
{
    // Not ParamTableName: PRESS names no table there, while here it is a
    // parameter whose flag table the work folder simply does not have.
    return IsPtsParam(AParamAbr) ? "PTS_Data" : AParamAbr;
}

std::vector<std::string> FlagColumnsOfTable(const std::string &ATable)
{
    if (ATable == "PTS_Data")
        return {"FPRES", "FTEMP", "FPSAL"};
    return {"FPRES", "F" + ATable};
}

std::vector<std::string> ValueColumnsOfTable(const std::string &ATable)
{
    if (ATable == "PTS_Data")
        return {"PRES", "TEMP", "PSAL"};
    return {"PRES", ATable};
}

size_t ColumnCountOfTable(const std::string &ATable) { return ValueColumnsOfTable(ATable).size(); }

std::string LevelTableOfFlagTable(const std::string &AFlagTable)
{
    const std::string Tail = "flags";
    if (AFlagTable.size() <= Tail.size() + 1 || AFlagTable[0] != '-' ||
        !rtl::SameText(AFlagTable.substr(AFlagTable.size() - Tail.size()), Tail))
        return "";
    const std::string Table = AFlagTable.substr(1, AFlagTable.size() - Tail.size() - 1);
    // The station-flag tables end in "Flags" too.
    if (rtl::SameText(Table, "Cast_Titles") || rtl::SameText(Table, "Cast_TitlesOld"))
        return "";
    return rtl::SameText(Table, "PTS_Data") ? std::string("PTS_Data") : Table;
}

std::string FlagUpdateSql(const std::string &ATable, const std::vector<std::string> &AColumns, bool APres)
{
    std::string Sql = "Update " + ATable + " Set ";
    for (size_t I = 0; I < AColumns.size(); ++I)
        Sql += (I ? ", " : "") + AColumns[I] + "=:" + AColumns[I];
    return Sql + " where ID_Cast = :ID_Cast and PRES " + (APres ? "= :PRES" : "Is Null");
}

std::map<std::pair<int, int>, std::string> NotWrittenMarks()
{
    std::map<std::pair<int, int>, std::string> Marks;
    TLocalDatabase &Db = TLocalDatabase::ForFolder(LocalDbDir);
    const std::string Table = DbTablePrefix + "-Cast_TitlesFlags";
    if (!LocalTableFileExists(LocalDbDir + Table + ".db"))
        return Marks;
    TLocalDatabase::TLease Q(Db, "SELECT ID_Cruise, ID_Cast, " + std::string(NotWrittenField) + " FROM " +
                                     Db.ResolveTable(Table) + " WHERE " + NotWrittenField + " <> ''");
    while (Q->Step())
        Marks[{int(Q->Column(0).AsInt64()), int(Q->Column(1).AsInt64())}] =
            TNotWrittenMark::Parse(Q->Column(2).AsText()).Shown();
    return Marks;
}

std::string NotWrittenNodeText(const std::string &AShown) { return "Flags not written: " + AShown; }

std::string NotWrittenMarkOf(int AIdCruise, int AIdCast)
{
    // A grid asks for every row it paints.
    static struct {
        std::string Table;
        int Cruise = 0;
        uint64_t Generation = 0;
        int64_t Changes = -1;
        std::map<int, std::string> Marks;
    } Cache;
    TLocalDatabase &Db = TLocalDatabase::ForFolder(LocalDbDir);
    const std::string Table = LocalDbDir + DbTablePrefix + "-Cast_TitlesFlags";
    if (Cache.Table != Table || Cache.Cruise != AIdCruise || Cache.Generation != Db.Generation() ||
        Cache.Changes != Db.TotalChanges()) {
        Cache.Marks.clear();
        Cache.Table = Table;
        Cache.Cruise = AIdCruise;
        Cache.Generation = Db.Generation();
        Cache.Changes = Db.TotalChanges();
        if (LocalTableFileExists(Table + ".db")) {
            TLocalDatabase::TLease Q(Db, "SELECT ID_Cast, " + std::string(NotWrittenField) + " FROM " +
                                             Db.ResolveTable(DbTablePrefix + "-Cast_TitlesFlags") + " WHERE ID_Cruise = ? AND " +
                                             NotWrittenField + " <> ''");
            Q->BindInt(1, AIdCruise);
            while (Q->Step())
                Cache.Marks[int(Q->Column(0).AsInt64())] = TNotWrittenMark::Parse(Q->Column(1).AsText()).Shown();
        }
    }
    const auto It = Cache.Marks.find(AIdCast);
    return It == Cache.Marks.end() ? std::string() : It->second;
}

bool StationDbReadOnly(TZqCustomConnection *AConnection)
{
    IZqPhysConnection *Phys = AConnection && AConnection->Connected() ? AConnection->ConnectionIntf() : nullptr;
    return Phys && Phys->GetDataSourceReadOnly();
}

TWriteFlagsResult WriteFlagsToMainDb(QWidget *AOwner)
{
    TWriteFlagsResult Result;
    if (StationDbReadOnly(FlagUpdateCmd->Connection())) {
        MessageDlg("The station database is read-only: the new flags stay in this program's tables and are not "
                   "written into it.",
                   mtWarning, mbOK);
        return Result;
    }
    {
        TfmFlagToMainDB fmFlagToMainDB(AOwner);
        const int Answer = fmFlagToMainDB.ShowModal();
        Repaint(AOwner);
        if (Answer != mrYes)
            return Result;
    }
    int Offered = 0;
    {
        Tfmflagcru fmflagcru(AOwner);
        fmflagcru.FillCruises(*CruiseTbl, LocalDbDir, DbTablePrefix + "-Cast_TitlesFlags");
        Offered = fmflagcru.CheckListBox1->Count();
        const int Answer = fmflagcru.ShowModal();
        fmflagcru.FormClose(FlagCruiseList, FlagCruiseIds);
        Repaint(AOwner);
        if (Answer != mrOk)
            return Result;
    }
    Result.Confirmed = true;
    HandFlagsReadAgain(); // the editor's typing since the run

    TfmWriteFlagProgress fmWriteFlagProgress(AOwner);
    fmWriteFlagProgress.show();
    TGaugePacer Gauges;
    Gauges.Set(fmWriteFlagProgress.Gauge1, 0);

    TFlagTables FlagTables;
    TQuery &CastQry = *FlagCastQry;
    TStationStatements Statements(*FlagParamsQry, *FlagUpdateCmd);
    TStationWriter Writer(*FlagUpdateCmd->Connection(), Statements);
    const rtl::TStringList &Cruises = FlagCruiseList;
    const TIntArr &CruiseIds = FlagCruiseIds;
    const int CruiseCount = std::min(Cruises.Count(), int(CruiseIds.size()));
    std::map<int, std::vector<std::string>> TablesOf; // by ID_Cast, of the cruise
    std::vector<std::string> OwnTables;               // of a station the cruise does not list
    TStationVerdicts Verdicts;
    TKeptRows Kept;
    // Esc or a statement the database refuses ends the write-back between
    // stations, or within one, which then writes nothing.
    const auto Stop = [&](const std::string &AReason, int ACruise, int AIdCast) {
        Gauges.Flush();
        fmWriteFlagProgress.close();
        CastQry.Close();
        Kept.Keep(CruiseIds[size_t(ACruise)]);
        Result.Changed = int(Result.NotWritten.size());
        KeepWholeList(Result);
        const std::string Head = AReason.empty() ? "Flags updating was interrupted!" : "Flags updating stopped: " + AReason;
        MessageDlg(StoppedText(Head, Result, Cruises[ACruise], ACruise, CruiseCount, AIdCast) + Kept.FailureText(),
                   AReason.empty() ? mtWarning : mtError, mbOK);
    };

    for (int I = 0; I < CruiseCount; ++I) {
        ProcessMessages();
        Gauges.Set(fmWriteFlagProgress.Gauge1, Percent(I + 1, CruiseCount));
        const int IdCruise = CruiseIds[size_t(I)];
        // A cruise that left the run's table since the choice is passed over.
        if (!CruiseTbl->Locate("ID_Cruise", rtl::Variant(IdCruise)))
            continue;
        SetQuerySql(CastQry, LocalDbDir,
                    "Select * from " + LocalQuoteName(DbTablePrefix + "-Cast_TitlesFlags") + " where ID_Cruise = " +
                        std::to_string(IdCruise));
        Gauges.Set(fmWriteFlagProgress.Gauge2, 0);
        try {
            Statements.ReadCruise(IdCruise, FlagTables, TablesOf);
        } catch (const std::exception &E) {
            Stop(E.what(), I, 0);
            Result.Failed = true;
            return Result;
        }
        TField *CastField = CastQry.FieldByName("ID_Cast");
        TField *PrintsField = CastQry.FindField(ProfilePrintsField);
        TField *MarkField = CastQry.FindField(NotWrittenField);
        const int CastCount = CastQry.RecordCount();
        bool CruiseWritten = false;
        for (CastQry.First(); !CastQry.Eof(); CastQry.Next()) {
            ProcessMessages();
            Gauges.Set(fmWriteFlagProgress.Gauge2, Percent(CastQry.RecNo(), CastCount));
            const int IdCast = CastField->AsInteger();
            if (QcInterrupted) {
                Stop("", I, IdCast);
                Result.Interrupted = true;
                return Result;
            }
            const std::string Prints = PrintsField ? PrintsField->AsString() : std::string();
            const std::string Mark = MarkField ? MarkField->AsString() : std::string();
            TStationWritten Done;
            try {
                // A station the cruise does not list (moved, deleted, its
                // cruise emptied): its verdicts are wherever the flag tables
                // hold its rows.
                const auto It = TablesOf.find(IdCast);
                if (It == TablesOf.end())
                    FlagTables.TablesOf(IdCast, OwnTables);
                ReadVerdicts(FlagTables, IdCruise, IdCast, It == TablesOf.end() ? OwnTables : It->second, Verdicts);
                if (Verdicts.Tables.empty()) {
                    if (!Mark.empty())
                        Kept.Add(IdCast, "", Prints);
                    continue;
                }
                Done = Writer.Write(IdCruise, IdCast, Prints, Verdicts);
            } catch (const std::exception &E) {
                Stop(E.what(), I, IdCast);
                Result.Failed = true;
                return Result;
            }
            TNotWrittenMark NewMark;
            NewMark.Held = Done.Left.Held;
            if (NewMark.Text() != Mark || Done.Prints != Prints)
                Kept.Add(IdCast, NewMark.Text(), Done.Prints);
            if (!Done.Left.Held.empty()) {
                Done.Left.Cruise = Cruises[I];
                Done.Left.IdCast = IdCast;
                Done.Left.Why = HeldBackText(Done.Left);
                Result.NotWritten.push_back(std::move(Done.Left));
            }
            if (Done.Levels > 0) {
                Result.Levels += Done.Levels;
                ++Result.Stations;
                Result.Cruises += CruiseWritten ? 0 : 1;
                CruiseWritten = true;
            }
            if (Done.Held > 0) {
                Result.Held += Done.Held;
                ++Result.HeldStations;
            }
            Result.Statements += Done.Statements;
            Result.Unmatched += Done.Unmatched;
            Result.HandKept.insert(Result.HandKept.end(), Done.HandKept.begin(), Done.HandKept.end());
        }
        CastQry.Close();
        Kept.Keep(IdCruise);
    }
    Gauges.Flush();
    fmWriteFlagProgress.close();
    Result.Changed = int(Result.NotWritten.size());
    KeepWholeList(Result);
    std::string Text;
    if (Result.Levels > 0)
        Text = "Flags written into the station database: " + WrittenText(Result) + "." + HeldText(Result);
    else if (Result.Held > 0)
        Text = "No flags were written: the levels of the chosen cruises already held the checks' verdicts." +
               HeldText(Result);
    else if (Offered == 0)
        Text = "No flags were written: no cruise has flags of a check to write (the list of cruises was empty).";
    else if (CruiseCount == 0)
        Text = "No flags were written: no cruise was ticked.";
    else if (!Result.NotWritten.empty())
        Text = "No flags were written: no station of the chosen cruises is as its check judged it.";
    else
        Text = "No flags were written: the checks gave no verdict on the levels of the chosen cruises.";
    if (!Result.HandKept.empty())
        Text += "\nThese flags were set by hand, and the write-back left them as set:" + HandFlagLines(Result.HandKept);
    MessageDlg(Text + NotWrittenText(Result) + UnmatchedText(Result) + Kept.FailureText(),
               Result.NotWritten.empty() && Result.Unmatched == 0 && !Kept.Failed() && Result.ListTrouble.empty()
                   ? mtInformation
                   : mtWarning,
               mbOK);
    return Result;
}
