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
#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"
#include "platform/rtl/Classes.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TGauge.h"

#include <QProgressBar>
#include <QWidget>

#include <algorithm>
#include <cmath>
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
    std::string Print;
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

    // Takes the station database's write lock for the transaction under
    // way: what is read next stays as it is until the commit.
    void Lock(const std::string &ATable)
    {
        Command("Update " + ATable + " Set FPRES = FPRES where 1 = 0").Execute();
    }

    void ReadProfile(const std::string &ATable, int AIdCast, TStoredProfile &AProfile)
    {
        std::unique_ptr<TZqQuery> &Q = FProfiles[ATable];
        const std::vector<std::string> Values = ValueColumnsOfTable(ATable);
        if (!Q) {
            Q = std::make_unique<TZqQuery>(nullptr);
            Q->SetConnection(FConnection);
            std::string Sql = "Select ";
            for (size_t I = 0; I < Values.size(); ++I)
                Sql += (I ? ", " : "") + Values[I];
            Q->SQL()->Add(Sql + " from " + ATable + " where ID_Cast = :ID_Cast order by PRES");
        }
        Q->ParamByName("ID_Cast")->SetAsInteger(AIdCast);
        Q->Open();
        TField *Fields[3] = {};
        for (size_t I = 0; I < Values.size() && I < 3; ++I)
            Fields[I] = Q->Fields()[int(I)];
        TProfilePrint Print;
        AProfile.Levels.clear();
        AProfile.NoPresLevel = false;
        for (Q->First(); !Q->Eof(); Q->Next()) {
            const bool NoPres = Fields[0]->IsNull();
            const double Pres = Fields[0]->AsFloat();
            Print.AddLevel(Pres, NoPres, Fields[1]->AsFloat(), Fields[1]->IsNull(), Fields[2] ? Fields[2]->AsFloat() : 0,
                           !Fields[2] || Fields[2]->IsNull());
            if (NoPres)
                AProfile.NoPresLevel = true;
            else
                AProfile.Levels.emplace_back(TenthOf(Pres), Pres);
        }
        Q->Close();
        AProfile.Print = Print.Text();
    }

    // Sets the flags of AColumns (with their values) of the station's
    // levels at APres (none: the level without a pressure); the levels
    // changed.
    int Update(const std::string &ATable, const std::vector<std::pair<std::string, int>> &ASets, int AIdCast,
               const double *APres)
    {
        FColumns.clear();
        for (const auto &S : ASets)
            FColumns.push_back(S.first);
        TZqCommand &Cmd = Command(FlagUpdateSql(ATable, FColumns, APres != nullptr));
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
    std::map<std::string, std::unique_ptr<TZqQuery>> FProfiles;
    std::map<std::string, std::unique_ptr<TZqCommand>> FCommands;
    std::vector<std::string> FColumns;
};

// Says how many stations of which cruise kept their flags because their
// profiles changed since their check.
void ReportChanged(const rtl::TStringList &ACruises, const std::vector<int> &AChanged, TWriteFlagsResult &AResult)
{
    std::string PerCruise;
    AResult.Changed = 0;
    for (size_t I = 0; I < AChanged.size(); ++I)
        if (AChanged[I] > 0) {
            AResult.Changed += AChanged[I];
            PerCruise += "\n" + ACruises[int(I)] + ": " + std::to_string(AChanged[I]);
        }
    if (AResult.Changed > 0)
        MessageDlg(std::to_string(AResult.Changed) +
                       " stations changed since their check were not written: check them again. Their levels keep "
                       "their flags in the station database; by cruise:" +
                       PerCruise,
                   mtWarning, mbOK);
}

// A write-back cut off (by an error or by Esc): the levels written of each
// chosen cruise, up to the one it stopped in.
std::string StoppedText(const std::string &AHead, const rtl::TStringList &ACruises, const std::vector<int> &AWritten,
                        int AStopped)
{
    std::string Text = AHead;
    for (int I = 0; I < int(AWritten.size()); ++I) {
        Text += "\n" + ACruises[I] + ": ";
        if (I > AStopped)
            Text += "not written";
        else
            Text += std::to_string(AWritten[size_t(I)]) + " levels written" + (I == AStopped ? ", the others not" : "");
    }
    return Text + "\nThe levels not written keep their old flags.";
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
    {
        Tfmflagcru fmflagcru(AOwner);
        fmflagcru.FillCruises(*CruiseTbl, LocalDbDir, DbTablePrefix + "-Cast_TitlesFlags");
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
    std::map<std::string, std::vector<TFlagRow>> RowsOf; // by table, of the station
    std::map<std::string, TStoredProfile> ProfileOf;     // by table, of the station
    std::vector<std::string> Judged;                     // the station's tables with verdicts
    std::vector<std::pair<std::string, int>> Sets;
    std::vector<int> Written(size_t(CruiseCount), 0);   // levels written per chosen cruise
    std::vector<int> ChangedOf(size_t(CruiseCount), 0); // stations changed since their check, per cruise
    // Esc or a statement the database refuses ends the write-back between
    // stations, or within one, which then writes nothing.
    const auto Stop = [&](const std::string &AReason, int ACruise) {
        Gauges.Flush();
        fmWriteFlagProgress.close();
        CastQry.Close();
        ReportChanged(Cruises, ChangedOf, Result);
        if (AReason.empty())
            ShowMessage(StoppedText("Flags updating was interrupted!", Cruises, Written, ACruise));
        else
            MessageDlg(StoppedText("Flags updating stopped: " + AReason, Cruises, Written, ACruise), mtError, mbOK);
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
            Stop(E.what(), I);
            Result.Failed = true;
            return Result;
        }
        TField *CastField = CastQry.FieldByName("ID_Cast");
        TField *PrintsField = CastQry.FindField(ProfilePrintsField);
        const int CastCount = CastQry.RecordCount();
        for (CastQry.First(); !CastQry.Eof(); CastQry.Next()) {
            ProcessMessages();
            Gauges.Set(fmWriteFlagProgress.Gauge2, Percent(CastQry.RecNo(), CastCount));
            if (QcInterrupted) {
                Stop("", I);
                Result.Interrupted = true;
                return Result;
            }
            const int IdCast = CastField->AsInteger();
            const auto Tables = TablesOf.find(IdCast);
            if (Tables == TablesOf.end())
                continue;
            // The station's verdicts, read before its transaction: a flag
            // the checks gave no verdict leaves the stored one, and a level
            // table of the station that no check judged is none of its
            // write-back's business.
            Judged.clear();
            for (const std::string &Table : Tables->second) {
                std::vector<TFlagRow> &Rows = RowsOf[Table];
                FlagTables.Read(Table, IdCast, Rows);
                if (std::any_of(Rows.begin(), Rows.end(),
                                [](const TFlagRow &R) { return R.Flags[0] || R.Flags[1] || R.Flags[2]; }))
                    Judged.push_back(Table);
            }
            if (Judged.empty())
                continue;
            const std::string Prints = PrintsField ? PrintsField->AsString() : std::string();
            int StationLevels = 0, StationStatements = 0, StationUnmatched = 0;
            bool Changed = false;
            try {
                Conn.StartTransaction();
                Statements.Lock(Judged.front());
                for (const std::string &Table : Judged) {
                    TStoredProfile &Profile = ProfileOf[Table];
                    Statements.ReadProfile(Table, IdCast, Profile);
                    Changed = Changed || ProfilePrintOf(Prints, Table) != Profile.Print;
                }
                for (size_t T = 0; !Changed && T < Judged.size(); ++T) {
                    const std::string &Table = Judged[T];
                    const TStoredProfile &Profile = ProfileOf[Table];
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
                if (Changed)
                    Conn.Rollback();
                else
                    Conn.Commit();
            } catch (const std::exception &E) {
                try {
                    if (Conn.InTransaction())
                        Conn.Rollback();
                } catch (const std::exception &) {
                    // The refusal is the one to report.
                }
                Stop(E.what(), I);
                Result.Failed = true;
                return Result;
            }
            if (Changed) {
                ++ChangedOf[size_t(I)];
                continue;
            }
            Written[size_t(I)] += StationLevels;
            Result.Statements += StationStatements;
            Result.Unmatched += StationUnmatched;
        }
        CastQry.Close();
    }
    Gauges.Flush();
    fmWriteFlagProgress.close();
    ReportChanged(Cruises, ChangedOf, Result);
    if (Result.Unmatched > 0)
        MessageDlg(std::to_string(Result.Unmatched) +
                       " levels with new flags were not found in the main database; they keep their old flags",
                   mtWarning, mbOK);
    return Result;
}
