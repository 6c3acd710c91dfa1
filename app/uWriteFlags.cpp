// The flag write-back: confirmation, cruise choice, then one Update per level.
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
#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <set>

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

// The level-flag tables of the work folder do not come and go during a
// write-back, so each is asked of the engine once.
class TFlagTableCache {
public:
    std::string NameOf(const std::string &ATable) const { return LevelFlagTableName(ATable); }
    bool Exists(const std::string &ATable)
    {
        auto It = FKnown.find(ATable);
        if (It == FKnown.end())
            It = FKnown.emplace(ATable, LocalTableFileExists(LocalDbDir + NameOf(ATable) + ".db")).first;
        return It->second;
    }

private:
    std::map<std::string, bool> FKnown;
};

long long TenthOf(double APres) { return std::llround(RoundPres(APres) * 10.0); }

// The stored pressures of the stations' levels in the main database. Most
// stations have every level on a tenth, which their flag rows name as it is
// stored; one statement per cruise and table finds the stations that have a
// level off the tenth, and only theirs are read, once per station and table.
// Each statement is prepared once, for its table.
class TStationLevelReader {
public:
    explicit TStationLevelReader(TZqCustomConnection *AConnection) : FConnection(AConnection) {}
    void StartCruise(int AIdCruise)
    {
        FIdCruise = AIdCruise;
        FOffTenth.clear();
    }
    // False when every level of the station in the table lies on a tenth:
    // then ALevels is left alone and a flag row names its level itself.
    bool Read(const std::string &ATable, int AIdCast, TStationLevels &ALevels)
    {
        auto It = FOffTenth.find(ATable);
        if (It == FOffTenth.end()) {
            // A pressure whose tenfold has a fraction: a false alarm costs
            // only the read of a station that did not need it.
            TZqQuery &Probe = Query(FProbes, ATable,
                                    "Select Distinct p.ID_Cast from " + ATable +
                                        " p, Cast_Titles c where c.ID_Cast = p.ID_Cast and c.ID_Cruise = :ID_Cruise"
                                        " and p.PRES * 10 <> Int(p.PRES * 10)");
            Probe.ParamByName("ID_Cruise")->SetAsInteger(FIdCruise);
            Probe.Open();
            std::set<int> &Casts = FOffTenth[ATable];
            TField *Cast = Probe.FieldByName("ID_Cast");
            for (Probe.First(); !Probe.Eof(); Probe.Next())
                Casts.insert(Cast->AsInteger());
            Probe.Close();
            It = FOffTenth.find(ATable);
        }
        if (It->second.count(AIdCast) == 0)
            return false;
        TZqQuery &Levels = Query(FLevels, ATable, "Select PRES from " + ATable + " where ID_Cast = :ID_Cast");
        Levels.ParamByName("ID_Cast")->SetAsInteger(AIdCast);
        Levels.Open();
        ALevels.Clear();
        TField *Pres = Levels.FieldByName("PRES");
        for (Levels.First(); !Levels.Eof(); Levels.Next())
            if (!Pres->IsNull())
                ALevels.Add(Pres->AsFloat());
        Levels.Close();
        return true;
    }

private:
    TZqQuery &Query(std::map<std::string, std::unique_ptr<TZqQuery>> &AQueries, const std::string &ATable,
                    const std::string &ASql)
    {
        std::unique_ptr<TZqQuery> &Q = AQueries[ATable];
        if (!Q) {
            Q = std::make_unique<TZqQuery>(nullptr);
            Q->SetConnection(FConnection);
            Q->SQL()->Add(ASql);
        }
        return *Q;
    }

    TZqCustomConnection *FConnection;
    int FIdCruise = 0;
    std::map<std::string, std::set<int>> FOffTenth; // by table, in the cruise
    std::map<std::string, std::unique_ptr<TZqQuery>> FProbes, FLevels;
};

// Counts a station's levels at one stored pressure in a main-database
// table; a statement prepared once per table.
class TLevelCounter {
public:
    explicit TLevelCounter(TZqCustomConnection *AConnection) : FConnection(AConnection) {}
    int Count(const std::string &ATable, int AIdCast, double APres)
    {
        std::unique_ptr<TZqQuery> &Q = FQueries[ATable];
        if (!Q) {
            Q = std::make_unique<TZqQuery>(nullptr);
            Q->SetConnection(FConnection);
            Q->SQL()->Add("Select Count(*) from " + ATable + " where ID_Cast = :ID_Cast and PRES = :PRES");
        }
        Q->ParamByName("ID_Cast")->SetAsInteger(AIdCast);
        Q->ParamByName("PRES")->SetAsFloat(APres);
        Q->Open();
        const int N = Q->Fields()[0]->AsInteger();
        Q->Close();
        return N;
    }

private:
    TZqCustomConnection *FConnection;
    std::map<std::string, std::unique_ptr<TZqQuery>> FQueries;
};

// Says how many levels of which cruise kept their flags because their
// stored values changed since their check.
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
                       " levels changed since their check were not written: check them again. They keep their "
                       "flags in the station database; by cruise:" +
                       PerCruise,
                   mtWarning, mbOK);
}

// Where the write-back names a station's levels that share a tenth.
constexpr int SharedPlacesShown = 10;

// A write-back cut off by an error: the levels written of each chosen
// cruise, up to the one it stopped in.
std::string StoppedText(const std::string &AReason, const rtl::TStringList &ACruises, const std::vector<int> &AWritten,
                        int AStopped)
{
    std::string Text = "Flags updating stopped: " + AReason;
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

void TStationLevels::Add(double AStoredPres)
{
    if (!FLevels.empty() && FLevels.back().first > TenthOf(AStoredPres))
        FSorted = false;
    FLevels.emplace_back(TenthOf(AStoredPres), AStoredPres);
}

TStationLevels::TMatch TStationLevels::Match(double ARowPres, double &APres)
{
    if (!FSorted) {
        std::sort(FLevels.begin(), FLevels.end());
        FSorted = true;
    }
    const long long Tenth = TenthOf(ARowPres);
    const auto ByTenth = [](const std::pair<long long, double> &L, long long T) { return L.first < T; };
    const auto First = std::lower_bound(FLevels.begin(), FLevels.end(), Tenth, ByTenth);
    if (First == FLevels.end() || First->first != Tenth)
        return lmNone;
    auto Last = First;
    while (Last + 1 != FLevels.end() && (Last + 1)->first == Tenth)
        ++Last;
    // The checks judged the first level of the tenth in pressure order;
    // when another level has its very pressure and the tenth holds others
    // besides, which of the two was judged is not known.
    if (First != Last && (First + 1)->second == First->second && Last->second != First->second)
        return lmShared;
    APres = First->second;
    return lmLevel;
}

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

bool SameJudgedValue(double AStored, double AJudged)
{
    return std::fabs(AStored - AJudged) <= std::fabs(AJudged) * JudgedValueTolerance;
}

std::string FlagUpdateSql(const std::string &ATable, const std::vector<std::pair<std::string, int>> &ASets,
                          int AIdCast, std::optional<double> APres,
                          const std::vector<std::pair<std::string, double>> &AJudged, bool ATolerant)
{
    if (ASets.empty())
        return std::string();
    // Built in place: this runs once per level of a write-back.
    char Number[64];
    auto Append = [&](std::string &AText, int AValue) {
        const auto Res = std::to_chars(Number, Number + sizeof Number, AValue);
        AText.append(Number, Res.ptr);
    };
    std::string Sql;
    Sql.reserve(96);
    Sql += "Update ";
    Sql += ATable;
    Sql += " Set ";
    for (size_t I = 0; I < ASets.size(); ++I) {
        if (I > 0)
            Sql += ", ";
        Sql += ASets[I].first;
        Sql += '=';
        Append(Sql, ASets[I].second);
    }
    Sql += " where ID_Cast = ";
    Append(Sql, AIdCast);
    if (!APres)
        return Sql + "and PRES Is Null";
    Sql += "and PRES = ";
    Sql += SqlExactFloat(*APres);
    // The bounds in nine digits: they move by far less than the margin, and
    // the statement stays short and without parentheses, which the
    // library's preprocessor passes by unread (a write-back sends a million).
    const auto AppendBound = [&](std::string &AText, double AValue) {
        const auto Res = std::to_chars(Number, Number + sizeof Number, AValue, std::chars_format::general, 9);
        AText.append(Number, Res.ptr);
    };
    for (const auto &[Column, Value] : AJudged) {
        Sql += " and ";
        Sql += Column;
        if (std::isnan(Value)) {
            Sql += " Is Null";
            continue;
        }
        if (!ATolerant) {
            Sql += " = ";
            Sql += SqlExactFloat(Value);
            continue;
        }
        const double Margin = std::fabs(Value) * JudgedValueTolerance;
        Sql += " Between ";
        AppendBound(Sql, Value - Margin);
        Sql += " and ";
        AppendBound(Sql, Value + Margin);
    }
    return Sql;
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

    TFlagTableCache FlagTables;
    TQuery &CastQry = *FlagCastQry;
    TQuery &LevelQry = *FlagLevelQry;
    TZqQuery &ParamsQry = *FlagParamsQry;
    TZqCommand &UpdateCmd = *FlagUpdateCmd;
    // Each Update carries its values as literals and is sent once: nothing
    // in a million texts is a parameter or a macro to look for when the text
    // is set, and none is prepared apart from its execution.
    UpdateCmd.ResourceOptions()->SetParamCreate(false);
    UpdateCmd.ResourceOptions()->SetMacroCreate(false);
    UpdateCmd.ResourceOptions()->SetDirectExecute(true);
    const rtl::TStringList &Cruises = FlagCruiseList;
    const TIntArr &CruiseIds = FlagCruiseIds;
    const int CruiseCount = std::min(Cruises.Count(), int(CruiseIds.size()));
    std::vector<std::string> Tables;
    std::vector<TField *> FlagFields;
    std::vector<std::pair<std::string, int>> Sets;
    TStationLevelReader StationLevels(ParamsQry.Connection());
    TStationLevels Levels;
    std::string SharedPlaces;
    std::vector<int> Written(size_t(CruiseCount), 0); // levels written per chosen cruise
    std::vector<int> ChangedOf(size_t(CruiseCount), 0); // levels changed since their check, per cruise
    // Per flag column but the pressure's: the field of its judged value, the
    // value column, and the flag's field.
    struct TJudgedField {
        TField *Field;
        std::string Column;
        TField *Flag;
    };
    std::vector<TJudgedField> JudgedFieldsOf;
    std::vector<std::pair<std::string, double>> Judged;
    TLevelCounter LevelsAt(ParamsQry.Connection());
    // An Esc or a statement the database refuses ends the write-back at a level.
    const auto StopAtLevel = [&] {
        Gauges.Flush();
        fmWriteFlagProgress.close();
        LevelQry.Close();
        CastQry.Close();
        ReportChanged(Cruises, ChangedOf, Result);
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
        StationLevels.StartCruise(IdCruise);
        const int CastCount = CastQry.RecordCount();
        for (CastQry.First(); !CastQry.Eof(); CastQry.Next()) {
            Gauges.Set(fmWriteFlagProgress.Gauge2, Percent(CastQry.RecNo(), CastCount));
            const int IdCast = CastQry.FieldByName("ID_Cast")->AsInteger();
            const std::string CastText = std::to_string(IdCast);

            // The parameter rows come in no particular order; a table is
            // written once however many of its parameters the cast has, and
            // a parameter without a level-flag table (PRES) has nothing.
            ParamsQry.Close();
            ParamsQry.SQL()->BeginUpdate();
            ParamsQry.SQL()->Clear();
            ParamsQry.SQL()->Add("Select * From \"Parameters\" where ID_Cast = " + CastText);
            ParamsQry.SQL()->EndUpdate();
            ParamsQry.Open();
            Tables.clear();
            for (ParamsQry.First(); !ParamsQry.Eof(); ParamsQry.Next()) {
                const std::string Table = FlagTableOfParam(ParamsQry.FieldByName("ParamAbr")->AsString());
                if (std::find(Tables.begin(), Tables.end(), Table) == Tables.end() && FlagTables.Exists(Table))
                    Tables.push_back(Table);
            }
            ParamsQry.Close();

            for (const std::string &Table : Tables) {
                const bool OffTenth = StationLevels.Read(Table, IdCast, Levels);
                SetQuerySql(LevelQry, LocalDbDir,
                            "Select * from " + LocalQuoteName(FlagTables.NameOf(Table)) + " Where ID_Cast=" + CastText);
                const std::vector<std::string> Columns = FlagColumnsOfTable(Table);
                FlagFields.clear();
                for (const std::string &Column : Columns)
                    FlagFields.push_back(LevelQry.FieldByName(Column));
                TField *PresField = LevelQry.FieldByName("PRES");
                // What the checks judged each level by, where the table keeps it.
                TField *JudgedPres = LevelQry.FindField(JudgedPresField);
                // The value column of each flag but the pressure's.
                JudgedFieldsOf.clear();
                for (size_t C = 0; C < Columns.size(); ++C)
                    if (Columns[C] != "FPRES")
                        if (TField *F = LevelQry.FindField(JudgedValueField(Columns[C].substr(1))))
                            JudgedFieldsOf.push_back({F, Columns[C].substr(1), FlagFields[C]});
                for (LevelQry.First(); !LevelQry.Eof(); LevelQry.Next()) {
                    ProcessMessages();
                    Gauges.Tick();
                    if (QcInterrupted) {
                        StopAtLevel();
                        ShowMessage("Flags updating was interrupted!");
                        Result.Interrupted = true;
                        return Result;
                    }
                    // A flag the run never set stays as the main database has it.
                    Sets.clear();
                    for (size_t C = 0; C < Columns.size(); ++C)
                        if (!FlagFields[C]->IsNull())
                            Sets.emplace_back(Columns[C], FlagFields[C]->AsInteger());
                    if (Sets.empty())
                        continue;
                    // A row without a pressure stands for the station's
                    // level without one.
                    const double RowPres = PresField->AsFloat();
                    double Pres = RowPres;
                    const TStationLevels::TMatch Match = OffTenth && !PresField->IsNull()
                                                             ? Levels.Match(RowPres, Pres)
                                                             : TStationLevels::lmLevel;
                    if (Match == TStationLevels::lmNone) {
                        ++Result.Unmatched;
                        continue;
                    }
                    if (Match == TStationLevels::lmShared) {
                        if (++Result.Shared <= SharedPlacesShown)
                            SharedPlaces += "\n" + Table + ": ID_Cast " + CastText + ", PRES " +
                                            SqlExactFloat(RowPres);
                        continue;
                    }
                    // A level judged at another pressure, or holding other
                    // values than those judged, keeps its flags.
                    Judged.clear();
                    if (JudgedPres && !JudgedPres->IsNull() && !PresField->IsNull()) {
                        if (!SameJudgedValue(Pres, JudgedPres->AsFloat())) {
                            ++ChangedOf[size_t(I)];
                            continue;
                        }
                        // A value judged missing (its 9) holds only while it still is.
                        for (const TJudgedField &J : JudgedFieldsOf)
                            if (!J.Field->IsNull())
                                Judged.emplace_back(J.Column, J.Field->AsFloat());
                            else if (!J.Flag->IsNull() && J.Flag->AsInteger() == 9)
                                Judged.emplace_back(J.Column, std::nan(""));
                    }
                    // One change of text per level: the command is set up
                    // for the new statement once, not for an empty one first.
                    const std::optional<double> StatementPres =
                        PresField->IsNull() ? std::nullopt : std::optional<double>(Pres);
                    const auto Send = [&](bool ATolerant) {
                        UpdateCmd.CommandText().BeginUpdate();
                        UpdateCmd.CommandText().Clear();
                        UpdateCmd.CommandText().Add(FlagUpdateSql(Table, Sets, IdCast, StatementPres, Judged, ATolerant));
                        UpdateCmd.CommandText().EndUpdate();
                        UpdateCmd.Execute(0, 0);
                        return UpdateCmd.RowsAffected();
                    };
                    int Rows = 0;
                    try {
                        // The values as the checks read them match at once;
                        // a value whose last digits came back otherwise (read
                        // through the editor's text) is matched within the
                        // tolerance, by a second statement.
                        Rows = Send(false);
                        if (Rows == 0 && !Judged.empty())
                            Rows = Send(true);
                    } catch (const std::exception &E) {
                        StopAtLevel();
                        MessageDlg(StoppedText(E.what(), Cruises, Written, I), mtError, mbOK);
                        Result.Failed = true;
                        return Result;
                    }
                    // A pressure stored twice at a station is two levels of one statement.
                    Written[size_t(I)] += std::max(0, Rows);
                    ++Result.Statements;
                    if (Rows == 0) {
                        // Without its values' conditions the level may be there.
                        if (!Judged.empty() && LevelsAt.Count(Table, IdCast, Pres) > 0)
                            ++ChangedOf[size_t(I)];
                        else
                            ++Result.Unmatched;
                    }
                }
                LevelQry.Close();
            }
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
    if (Result.Shared > 0)
        MessageDlg(std::to_string(Result.Shared) +
                       " levels with new flags share their tenth of a decibar with other levels of the station, so "
                       "the level the checks judged is not known; they keep their old flags:" +
                       SharedPlaces + (Result.Shared > SharedPlacesShown ? "\n..." : ""),
                   mtWarning, mbOK);
    return Result;
}
