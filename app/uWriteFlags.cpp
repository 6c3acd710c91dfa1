// The flag write-back: confirmation, cruise choice, then each station's
// level flags in one transaction, where its profile is still the one judged.
#include "app/uWriteFlags.h"

#include "app/UQC.h"
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
#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/Classes.h"
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

// A flag row of a level-flag table: its level's tenth (none: the level
// without a pressure) and its flags in FlagColumnsOfTable order (0: no
// verdict, as an empty flag).
struct TFlagRow {
    bool HasPres = false;
    double Pres = 0;
    int Flags[3] = {};
};

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
        if (Sql.empty()) {
            Sql = "SELECT PRES";
            for (const std::string &C : FlagColumnsOfTable(ATable))
                Sql += ", " + LocalQuoteName(C);
            Sql += " FROM " + Db.ResolveTable(LevelFlagTableName(ATable)) + " WHERE ID_Cast = ?";
        }
        const size_t Columns = FlagColumnsOfTable(ATable).size();
        TLocalDatabase::TLease Q(Db, Sql);
        Q->BindInt(1, AIdCast);
        TLocalValue V;
        while (Q->Step()) {
            TFlagRow Row;
            Q->ReadColumn(0, V);
            Row.HasPres = !V.IsNull();
            Row.Pres = Row.HasPres ? V.AsDouble() : 0;
            for (size_t C = 0; C < Columns; ++C) {
                Q->ReadColumn(int(C) + 1, V);
                Row.Flags[C] = V.IsNull() ? 0 : int(V.AsInt64());
            }
            ARows.push_back(Row);
        }
    }

private:
    std::map<std::string, bool> FKnown;
    std::map<std::string, std::string> FSelects;
};

// A station's profile in a level table as the station database holds it
// now: its print and its levels' stored pressures in pressure order.
struct TStoredProfile {
    TProfilePrint Print;
    std::vector<std::pair<long long, double>> Levels; // (tenth, stored pressure)
    bool NoPresLevel = false;
    // The stored pressure of the level the checks judged in a tenth: the
    // first of the tenth in pressure order.
    bool LevelOf(long long ATenth, double &APres) const
    {
        const auto It = std::lower_bound(Levels.begin(), Levels.end(), ATenth,
                                         [](const std::pair<long long, double> &L, long long T) { return L.first < T; });
        if (It == Levels.end() || It->first != ATenth)
            return false;
        APres = It->second;
        return true;
    }
};

// A select of one station's rows run through a command of its own and
// fetched into an in-memory table: the write-back reads a station's row and
// profile once per station, and a dataset's opening (its fields, views and
// indexes made anew) would cost more than the rows themselves.
class TStationRows {
public:
    TStationRows(TZqCustomConnection *AConnection, const std::string &ASql)
    {
        FCommand.SetConnection(AConnection);
        FCommand.CommandText().Add(ASql);
    }
    dats::TZqDatSTable &Read(int AIdCast)
    {
        FCommand.Params().Items(0)->SetAsInteger(AIdCast);
        FCommand.Open();
        if (FDefined) {
            FTable.ClearRows();
        } else {
            FCommand.CommandIntf()->Define(&FTable);
            FDefined = true;
        }
        FCommand.CommandIntf()->Fetch(&FTable, true);
        FCommand.Close();
        return FTable;
    }
    // A value of a row as a number (a date or time in days), and whether it
    // is empty.
    static bool Number(dats::TZqDatSRow &ARow, int AColumn, double &AValue)
    {
        void *Value = nullptr;
        uint32_t Len = 0;
        if (!ARow.GetData(AColumn, dats::rvDefault, Value, 0, Len, false)) {
            AValue = 0;
            return false;
        }
        // A row keeps its values packed: a double need not be aligned.
        if (ARow.Table()->Columns()->GetItem(AColumn)->DataType() == dtDouble)
            std::memcpy(&AValue, Value, sizeof AValue);
        else
            AValue = ARow.GetDataAsVariant(AColumn).AsDouble();
        return true;
    }

private:
    TZqCommand FCommand{nullptr};
    dats::TZqDatSTable FTable;
    bool FDefined = false;
};

// A station's row in the station database as the write-back reads it.
struct TStationNow {
    bool Found = false;
    int IdCruise = 0;
    TStationColumns Columns;
    std::string Name;
};

// The write-back's statements on the station database, each prepared once:
// the parameters of a cruise's stations, a station's profile per level
// table, the statement that takes the write lock for a station's
// transaction, and the Updates per table and set of columns.
class TStationStatements {
public:
    TStationStatements(TZqQuery &AParamsQry, TZqCommand &AUpdateCmd)
        : FParamsQry(AParamsQry), FUpdateCmd(AUpdateCmd), FConnection(AUpdateCmd.Connection())
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

    // The level tables with a level-flag table of a station's parameters,
    // whatever its cruise: for a station no longer in the cruise it was
    // checked in.
    void ReadStationTables(int AIdCast, TFlagTables &AFlagTables, std::vector<std::string> &ATables)
    {
        ATables.clear();
        TZqQuery &Q = Query(FStationParams, "Select Distinct ParamAbr From \"Parameters\" where ID_Cast = :ID_Cast");
        Q.ParamByName("ID_Cast")->SetAsInteger(AIdCast);
        Q.Open();
        for (Q.First(); !Q.Eof(); Q.Next()) {
            const std::string Table = FlagTableOfParam(Q.Fields()[0]->AsString());
            if (std::find(ATables.begin(), ATables.end(), Table) == ATables.end() && AFlagTables.Exists(Table))
                ATables.push_back(Table);
        }
        Q.Close();
    }

    // The station's row as the station database holds it now: its cruise,
    // its name and what the checks read of it.
    void ReadStation(int AIdCast, TStationNow &AStation)
    {
        if (!FStation)
            FStation = std::make_unique<TStationRows>(
                FConnection, "Select ID_Cruise, Date_Cast, Time_Cast, Lon, Lat, StationName from Cast_Titles where "
                             "ID_Cast = :ID_Cast");
        dats::TZqDatSTable &T = FStation->Read(AIdCast);
        AStation.Found = T.Rows()->Count() > 0;
        if (!AStation.Found)
            return;
        dats::TZqDatSRow &Row = *T.Rows()->GetItem(0);
        AStation.IdCruise = Row.GetDataAsVariant(0).AsInteger();
        TStationColumns &C = AStation.Columns;
        C.DateEmpty = !TStationRows::Number(Row, 1, C.Date);
        C.TimeEmpty = !TStationRows::Number(Row, 2, C.Time);
        C.LonEmpty = !TStationRows::Number(Row, 3, C.Lon);
        C.LatEmpty = !TStationRows::Number(Row, 4, C.Lat);
        AStation.Name = Row.IsNull(5) ? std::string() : Row.GetDataAsVariant(5).AsString();
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

    void ReadProfile(const std::string &ATable, int AIdCast, TStoredProfile &AProfile)
    {
        std::unique_ptr<TStationRows> &Q = FProfiles[ATable];
        const std::vector<std::string> Values = ValueColumnsOfTable(ATable);
        if (!Q) {
            std::string Sql = "Select ";
            for (size_t I = 0; I < Values.size(); ++I)
                Sql += (I ? ", " : "") + Values[I];
            Q = std::make_unique<TStationRows>(FConnection, Sql + " from " + ATable + " where ID_Cast = :ID_Cast order by PRES");
        }
        dats::TZqDatSTable &T = Q->Read(AIdCast);
        TProfilePrint Print;
        AProfile.Levels.clear();
        AProfile.NoPresLevel = false;
        const int Rows = T.Rows()->Count();
        const bool Second = Values.size() > 2;
        double V[3] = {};
        bool Has[3] = {};
        for (int I = 0; I < Rows; ++I) {
            dats::TZqDatSRow &Row = *T.Rows()->GetItem(I);
            for (int C = 0; C < 3; ++C)
                Has[C] = (C < 2 || Second) && TStationRows::Number(Row, C, V[C]);
            Print.AddLevel(V[0], !Has[0], V[1], !Has[1], V[2], !Has[2]);
            if (!Has[0])
                AProfile.NoPresLevel = true;
            else
                AProfile.Levels.emplace_back(TenthOf(V[0]), V[0]);
        }
        AProfile.Print = Print;
    }

    // Sets the flags of AColumns (with their values) of the station's
    // levels at APres (none: the level without a pressure); the levels
    // changed.
    int Update(const std::string &ATable, const std::vector<std::pair<std::string, int>> &ASets, int AIdCast,
               const double *APres)
    {
        // Levels in a row mostly set the same columns: their statement is
        // found again without its text made anew.
        bool Same = FUpdate && FUpdatePres == (APres != nullptr) && FUpdateTable == ATable &&
                    FColumns.size() == ASets.size();
        for (size_t I = 0; Same && I < ASets.size(); ++I)
            Same = FColumns[I] == ASets[I].first;
        if (!Same) {
            FColumns.clear();
            for (const auto &S : ASets)
                FColumns.push_back(S.first);
            FUpdateTable = ATable;
            FUpdatePres = APres != nullptr;
            FUpdate = &Command(FlagUpdateSql(ATable, FColumns, FUpdatePres));
        }
        TZqCommand &Cmd = *FUpdate;
        TZqParams &Params = Cmd.Params();
        for (size_t I = 0; I < ASets.size(); ++I)
            Params.Items(int(I))->SetAsInteger(ASets[I].second);
        Params.Items(int(ASets.size()))->SetAsInteger(AIdCast);
        if (APres)
            Params.Items(int(ASets.size()) + 1)->SetAsFloat(*APres);
        if (FUpdateCmd.BeforeExecute)
            FUpdateCmd.BeforeExecute(&FUpdateCmd);
        Cmd.Execute();
        const int Rows = std::max(0, Cmd.RowsAffected());
        if (FUpdateCmd.AfterExecute)
            FUpdateCmd.AfterExecute(&FUpdateCmd);
        return Rows;
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
    bool FParamsReady = false;
    std::map<std::string, std::unique_ptr<TStationRows>> FProfiles;
    std::unique_ptr<TStationRows> FStation;
    std::unique_ptr<TZqQuery> FStationParams, FCruiseName;
    std::map<std::string, std::unique_ptr<TZqCommand>> FCommands;
    // The columns, table and pressure test of the last Update, and its statement.
    std::vector<std::string> FColumns;
    std::string FUpdateTable;
    bool FUpdatePres = false;
    TZqCommand *FUpdate = nullptr;
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

// The stations left out, one a line: the operator finds each in the editor.
std::string NotWrittenText(const TWriteFlagsResult &AResult)
{
    if (AResult.NotWritten.empty())
        return "";
    const bool One = AResult.NotWritten.size() == 1;
    std::string Text = "\n\n" + Count(int(AResult.NotWritten.size()), "station") + " not written: check " +
                       (One ? "it again. Its" : "them again. Their") + " levels keep their flags in the station database:";
    for (const TNotWritten &N : AResult.NotWritten)
        Text += "\n" + N.Cruise + ", station " + std::to_string(N.IdCast) +
                (N.Station.empty() ? "" : " (" + N.Station + ")") + ": " + N.Why;
    return Text;
}

std::string UnmatchedText(const TWriteFlagsResult &AResult)
{
    return AResult.Unmatched > 0 ? "\n\n" + std::to_string(AResult.Unmatched) +
                                       " levels with new flags were not found in the main database; they keep "
                                       "their old flags"
                                 : "";
}

// A write-back cut off (by an error or by Esc) in chosen cruise AStopped of
// ACount, at station AIdCast (0: at the cruise itself): a few lines, however
// many cruises were chosen.
std::string StoppedText(const std::string &AHead, const TWriteFlagsResult &AResult, const std::string &ACruise,
                        int AStopped, int ACount, int AIdCast)
{
    std::string Text = AHead + "\n" + (AResult.Levels > 0 ? "Written: " + WrittenText(AResult) + "."
                                                           : std::string("Nothing was written."));
    const int After = ACount - AStopped - 1;
    Text += "\nIt stopped at " + (AIdCast > 0 ? "station " + std::to_string(AIdCast) + " of " : std::string()) +
            "cruise " + ACruise + " (" + std::to_string(AStopped + 1) + " of " + Count(ACount, "chosen cruise") +
            "): " + (AIdCast > 0 ? "the stations from there on" : "it") +
            (After > 0 ? " and the " + Count(After, "cruise") + " after it" : "") + " were not written.";
    return Text + "\nThe levels not written keep their old flags." + NotWrittenText(AResult) + UnmatchedText(AResult);
}

// Whether what the checks judged on ATable (the print the station's row of
// the "-Cast_TitlesFlags" table keeps among APrints) is no longer what the
// station database holds (the table's levels AProfile, the station's row
// ANow): true when it changed, with what changed added to AChanged; true
// with AUnknown set when no print of this version's was kept.
bool ChangedSinceCheck(const std::string &APrints, const std::string &ATable, const TStoredProfile &AProfile,
                       const TStationColumns &ANow, std::vector<std::string> &AChanged, bool &AEdited, bool &AUnknown)
{
    TJudgedPrint Judged;
    if (!Judged.Parse(ProfilePrintOf(APrints, ATable))) {
        AUnknown = true;
        return true;
    }
    const TJudgedPrint Now(AProfile.Print, ANow);
    const auto Add = [&AChanged](const std::string &AWhat) {
        if (std::find(AChanged.begin(), AChanged.end(), AWhat) == AChanged.end())
            AChanged.push_back(AWhat);
    };
    if (Judged.Levels != Now.Levels)
        Add("levels of " + ATable);
    if (Judged.When != Now.When)
        Add("date or time");
    if (Judged.Where != Now.Where)
        Add("position");
    const bool Changed = Judged.Levels != Now.Levels || Judged.When != Now.When || Judged.Where != Now.Where;
    AEdited = AEdited || (Judged.Edited && Changed);
    return Changed;
}

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
        Marks[{int(Q->Column(0).AsInt64()), int(Q->Column(1).AsInt64())}] = Q->Column(2).AsText();
    return Marks;
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

    TfmWriteFlagProgress fmWriteFlagProgress(AOwner);
    fmWriteFlagProgress.show();
    TGaugePacer Gauges;
    Gauges.Set(fmWriteFlagProgress.Gauge1, 0);

    TFlagTables FlagTables;
    TQuery &CastQry = *FlagCastQry;
    TZqCustomConnection &Conn = *FlagUpdateCmd->Connection();
    TStationStatements Statements(*FlagParamsQry, *FlagUpdateCmd);
    const rtl::TStringList &Cruises = FlagCruiseList;
    const TIntArr &CruiseIds = FlagCruiseIds;
    const int CruiseCount = std::min(Cruises.Count(), int(CruiseIds.size()));
    std::map<int, std::vector<std::string>> TablesOf; // by ID_Cast, of the cruise
    std::vector<std::string> MovedTables;             // of a station no longer in the cruise
    std::map<std::string, std::vector<TFlagRow>> RowsOf; // by table, of the station
    std::map<std::string, TStoredProfile> ProfileOf;     // by table, of the station
    std::vector<std::string> Judged;                     // the station's tables with verdicts
    std::vector<std::string> Changed;                    // what changed of the station since its check
    std::vector<std::pair<std::string, int>> Sets;
    // The stations' marks of what was left out, kept once the cruise's
    // station-flag rows are read: (ID_Cast, why).
    std::vector<std::pair<int, std::string>> Marks;
    const auto KeepMarks = [&Marks](int AIdCruise) {
        if (Marks.empty())
            return;
        TLocalDatabase &Db = TLocalDatabase::ForFolder(LocalDbDir);
        TLocalDatabase::TLease Q(Db, "UPDATE " + Db.ResolveTable(DbTablePrefix + "-Cast_TitlesFlags") + " SET " +
                                         NotWrittenField + " = ? WHERE ID_Cruise = ? AND ID_Cast = ?");
        for (const auto &[Cast, Why] : Marks) {
            if (Why.empty())
                Q->BindNull(1);
            else
                Q->BindText(1, Why);
            Q->BindInt(2, AIdCruise);
            Q->BindInt(3, Cast);
            Q->Execute();
        }
        Marks.clear();
        if (CastFlagTbl)
            CastFlagTbl->InvalidateRows();
    };
    // Esc or a statement the database refuses ends the write-back between
    // stations, or within one, which then writes nothing.
    const auto Stop = [&](const std::string &AReason, int ACruise, int AIdCast) {
        Gauges.Flush();
        fmWriteFlagProgress.close();
        CastQry.Close();
        try {
            KeepMarks(CruiseIds[size_t(ACruise)]);
        } catch (const std::exception &) {
            // The marks only help the editor find the stations said below.
        }
        Result.Changed = int(Result.NotWritten.size());
        if (AReason.empty())
            MessageDlg(StoppedText("Flags updating was interrupted!", Result, Cruises[ACruise], ACruise, CruiseCount,
                                   AIdCast),
                       mtWarning, mbOK);
        else
            MessageDlg(StoppedText("Flags updating stopped: " + AReason, Result, Cruises[ACruise], ACruise,
                                   CruiseCount, AIdCast),
                       mtError, mbOK);
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
            const std::vector<std::string> *Tables = nullptr;
            if (const auto It = TablesOf.find(IdCast); It != TablesOf.end())
                Tables = &It->second;
            try {
                // A station of the flag table the cruise no longer lists:
                // what its verdicts were on is asked of it alone.
                if (!Tables) {
                    Statements.ReadStationTables(IdCast, FlagTables, MovedTables);
                    Tables = &MovedTables;
                }
                // The station's verdicts, read before its transaction: a flag
                // the checks gave no verdict (0, or a 5 they carry and never
                // change) leaves the stored one, and a level table of the
                // station that no check judged is none of its write-back's
                // business.
                Judged.clear();
                for (const std::string &Table : *Tables) {
                    std::vector<TFlagRow> &Rows = RowsOf[Table];
                    FlagTables.Read(Table, IdCast, Rows);
                    for (TFlagRow &R : Rows)
                        for (int &F : R.Flags)
                            F = F == 5 ? 0 : F;
                    if (std::any_of(Rows.begin(), Rows.end(),
                                    [](const TFlagRow &R) { return R.Flags[0] || R.Flags[1] || R.Flags[2]; }))
                        Judged.push_back(Table);
                }
            } catch (const std::exception &E) {
                Stop(E.what(), I, IdCast);
                Result.Failed = true;
                return Result;
            }
            if (Judged.empty())
                continue;
            const std::string Prints = PrintsField ? PrintsField->AsString() : std::string();
            int StationLevels = 0, StationStatements = 0, StationUnmatched = 0;
            std::string Why;
            TStationNow Now;
            try {
                Conn.StartTransaction();
                Statements.Lock(Judged.front());
                Statements.ReadStation(IdCast, Now);
                if (!Now.Found)
                    Why = "no longer in the station database";
                else if (Now.IdCruise != IdCruise)
                    Why = "moved to cruise " + Statements.CruiseName(Now.IdCruise) + " since its check";
                // Each table's verdicts go in while what they were judged on
                // is as it was: the station's date, time and position and
                // the table's levels.
                Changed.clear();
                bool Edited = false, Unknown = false;
                for (size_t T = 0; Why.empty() && T < Judged.size(); ++T) {
                    const std::string &Table = Judged[T];
                    TStoredProfile &Profile = ProfileOf[Table];
                    Statements.ReadProfile(Table, IdCast, Profile);
                    if (ChangedSinceCheck(Prints, Table, Profile, Now.Columns, Changed, Edited, Unknown))
                        continue;
                    const std::vector<std::string> Columns = FlagColumnsOfTable(Table);
                    for (const TFlagRow &R : RowsOf[Table]) {
                        Sets.clear();
                        for (size_t C = 0; C < Columns.size(); ++C)
                            if (R.Flags[C] != 0)
                                Sets.emplace_back(Columns[C], R.Flags[C]);
                        if (Sets.empty())
                            continue;
                        double Pres = 0;
                        if (R.HasPres ? !Profile.LevelOf(TenthOf(R.Pres), Pres) : !Profile.NoPresLevel) {
                            ++StationUnmatched;
                            continue;
                        }
                        StationLevels += Statements.Update(Table, Sets, IdCast, R.HasPres ? &Pres : nullptr);
                        ++StationStatements;
                    }
                }
                if (Why.empty() && !Changed.empty()) {
                    for (const std::string &C : Changed)
                        Why += (Why.empty() ? "" : ", ") + C;
                    Why += Edited ? " edited in the editor since its check" : " changed since its check";
                }
                if (Unknown)
                    Why += (Why.empty() ? "" : "; ") +
                           std::string("checked by an earlier version of this program, which kept no print of what it "
                                       "judged");
                Conn.Commit();
            } catch (const std::exception &E) {
                try {
                    if (Conn.InTransaction())
                        Conn.Rollback();
                } catch (const std::exception &) {
                    // The refusal is the one to report.
                }
                Stop(E.what(), I, IdCast);
                Result.Failed = true;
                return Result;
            }
            if (!Why.empty())
                Result.NotWritten.push_back({Cruises[I], IdCast, Now.Name, Why});
            if (MarkField && MarkField->AsString() != Why)
                Marks.emplace_back(IdCast, Why);
            if (StationLevels > 0) {
                Result.Levels += StationLevels;
                ++Result.Stations;
                Result.Cruises += CruiseWritten ? 0 : 1;
                CruiseWritten = true;
            }
            Result.Statements += StationStatements;
            Result.Unmatched += StationUnmatched;
        }
        CastQry.Close();
        try {
            KeepMarks(IdCruise);
        } catch (const std::exception &) {
            // The marks only help the editor find the stations said below.
        }
    }
    Gauges.Flush();
    fmWriteFlagProgress.close();
    Result.Changed = int(Result.NotWritten.size());
    std::string Text;
    if (Result.Levels > 0)
        Text = "Flags written into the station database: " + WrittenText(Result) + ".";
    else if (Offered == 0)
        Text = "No flags were written: no cruise has flags of a check to write (the list of cruises was empty).";
    else if (CruiseCount == 0)
        Text = "No flags were written: no cruise was ticked.";
    else if (!Result.NotWritten.empty())
        Text = "No flags were written: no station of the chosen cruises is as its check judged it.";
    else
        Text = "No flags were written: the checks gave no verdict on the levels of the chosen cruises.";
    MessageDlg(Text + NotWrittenText(Result) + UnmatchedText(Result),
               Result.NotWritten.empty() && Result.Unmatched == 0 ? mtInformation : mtWarning, mbOK);
    return Result;
}
