// How the level flags of a run reach the work tables: stored rows updated
// in the columns a pass judged and kept in the rest, the rows of "TmpFlags"
// after a run, Esc between stations and a failure inside a cruise; a
// climatology and a station's levels changed between two runs.
#include "tests/app_qc/qc_fixture.h"

#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/uWriteFlags.h"
#include "app/HandFlags.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/toolkit/TApplication.h"
#include "tests/support/query_fixture.h"

#include <QKeyEvent>
#include <QWidget>

#include <QtCore/QCoreApplication>

#include <sqlite3.h>

namespace qctest {
namespace {

using demogen::TDemoCruise;
constexpr double D = FixtureDay;

// Levels whose verdicts the default climatology gives: (1,1,1), (1,1,1),
// (1,2,1), (1,1,1) for FPRES, FTEMP, FPSAL.
const std::vector<TLevel> Profile = {{10, 16.25, 18.25}, {20, 13.0, 17.75}, {50, 15.5, 19.7}, {100, 12.5, 19.5}};

class LevelFlagWrites : public QcEngineTest {
protected:
    TRows Pts() { return LevelFlagRows("PTS_DataFlags"); }
    TRows TmpFlagRows() { return Local("Select ID_Cast, PRES, FPRES, FTEMP, FPSAL from TmpFlags order by ID_Cast, PRES"); }
    void StoreFlagRow(const std::string &Values)
    {
        TQuery Q;
        Q.SetDatabaseName(WorkDir);
        Q.SQL().Add("Insert or Replace into " + LocalQuoteName(DbTablePrefix + "-PTS_DataFlags") +
                    " (ID_Cast, PRES, FPRES, FTEMP, FPSAL) values (" + Values + ")");
        Q.ExecSQL();
    }
    static TDemoCruise Cruise(int Id, std::vector<int> Casts)
    {
        TDemoCruise C;
        C.Id = Id;
        double Lon = 33.0, Time = 0.25;
        for (int Cast : Casts) {
            C.Stations.push_back(MakeStation(Cast, Id, Lon, 44.0, D, Time, FixtureSeaDepth, Profile));
            Lon += 0.05;
            Time += 0.05;
        }
        return C;
    }
    static TRows Rows501(const std::string &Fpsal50, const std::string &Fpsal)
    {
        return {{"501", "10", "1", "1", Fpsal}, {"501", "20", "1", "1", Fpsal}, {"501", "50", "1", "2", Fpsal50},
                {"501", "100", "1", "1", Fpsal}};
    }
};

TEST_F(LevelFlagWrites, StoredRowsTakeOnlyTheColumnsAPassJudgedOnTheSameProfile)
{
    Open({Cruise(50, {501})});
    LoadDefaultClim();
    SelectTests({tstDataClimat});
    ParamDisplayList.Delete(ParamDisplayList.IndexOf("PSAL"));
    Run();
    // A salinity flag stored for the profile judged, and a row of another
    // station.
    StoreFlagRow("501, 20, 1, 1, 5");
    StoreFlagRow("601, 10, 4, 4, 4");

    Run();
    TRows TempOnly = Rows501("<null>", "<null>");
    TempOnly[1][4] = "5"; // the stored salinity flag stays
    TempOnly.push_back({"601", "10", "4", "4", "4"});
    EXPECT_EQ(Pts(), TempOnly);
    EXPECT_EQ(TmpFlagRows(), (TRows{{"501", "10", "1", "1", "<null>"}, {"501", "20", "1", "1", "<null>"},
                                    {"501", "50", "1", "2", "<null>"}, {"501", "100", "1", "1", "<null>"}}));

    // Both parameters: every checked row takes both flags.
    ParamDisplayList.Add("PSAL");
    Run();
    TRows Both = Rows501("1", "1");
    Both.push_back({"601", "10", "4", "4", "4"});
    EXPECT_EQ(Pts(), Both);
    EXPECT_EQ(TmpFlagRows(), Rows501("1", "1"));

    // A profile changed since (a level moved): the salinity verdicts given
    // on the other profile and the row of the level no longer there go,
    // and are said to have gone: in the station's mark, and after the run.
    StationSql("update PTS_Data set PRES = 30 where ID_Cast = 501 and PRES = 20");
    ParamDisplayList.Delete(ParamDisplayList.IndexOf("PSAL"));
    ClearMissingClimatology();
    Run();
    TempOnly[1] = {"501", "30", "1", "1", "<null>"};
    EXPECT_EQ(Pts(), TempOnly);
    EXPECT_EQ(Local("Select " + std::string(NotWrittenField) + " from " + LocalQuoteName(DbTablePrefix + "-Cast_TitlesFlags") +
                    " where ID_Cast = 501"),
              (TRows{{"PTS_Data\tPSAL not checked again since the profile changed: its earlier flags were dropped"}}));
    EXPECT_NE(MissingClimatologyText().find("The station 501 was checked for TEMP alone since its profile changed: the "
                                            "PSAL flags of its check before were dropped"), std::string::npos)
        << MissingClimatologyText();
    // The same change made by the editor, which renews the station's print
    // to the profile it has now: the salinity verdicts were given on the
    // profile before all the same.
    ParamDisplayList.Add("PSAL");
    Run();
    TStoredStation Stored(MainConnection);
    const TJudgedPrint Before = Stored.JudgedPrint(501, "PTS_Data");
    StationSql("update PTS_Data set TEMP = 14 where ID_Cast = 501 and PRES = 30");
    RenewJudgedPrints(501, "PTS_Data", Before, Stored.JudgedPrint(501, "PTS_Data"));
    ParamDisplayList.Delete(ParamDisplayList.IndexOf("PSAL"));
    Run();
    EXPECT_EQ(Pts()[1], (std::vector<std::string>{"501", "30", "1", "1", "<null>"}));
}

TEST_F(LevelFlagWrites, AStationsLevelsAreReadOnceARunAndAfreshInTheNext)
{
    Open({Cruise(50, {501})});
    LoadDefaultClim();
    SelectTests({tstDataClimat});
    int Opens = 0;
    ProfileQ->BeforeOpen = [&Opens](TDataSet *) { ++Opens; };
    Run();
    // TEMP and PSAL are judged on one reading of the levels.
    EXPECT_EQ(Opens, 1);
    EXPECT_EQ(Pts(), Rows501("1", "1"));

    // The operator fixes levels in the station database between two runs;
    // the level query still open on the same station must not serve again,
    // nor the flag rows the last run left for it.
    StationSql("Update PTS_Data set FTEMP = 5 where ID_Cast = 501 and PRES = 50");
    StationSql("Update PTS_Data set FPRES = 5 where ID_Cast = 501 and PRES = 20");
    Run();
    ProfileQ->BeforeOpen = nullptr;
    EXPECT_EQ(Opens, 2);
    TRows Fixed = Rows501("1", "1");
    Fixed[2][3] = "5";
    Fixed[1][2] = "5";
    EXPECT_EQ(Pts(), Fixed);
}

// A flag typed by hand is the run's verdict while the station holds it, and the run's summary names it; the run
// reads the records once. What an earlier version left in the undo table is read into records once: a typed flag,
// one a check was let replace ("CHECKED "), and a chemical one written as "FCHEM" (502 has none); FPRES and FCHEM
// where three tables have a level (503), in the tables whose flag is not the one before the first edit and stands out
// of its column. Another program's flag stored since ends the operator's.
TEST_F(LevelFlagWrites, ATypedFlagIsKeptWhileTheStationHoldsItAndEarlierUndoRowsAreReadOnce)
{
    TDemoCruise C = Cruise(50, {501, 502, 503});
    C.Params = {"PRESS", "TEMP", "PSAL", "NO3", "DOX1"};
    C.Stations[2].Chem = {{"NO3", {{20, 5.0}, {50, 5.0}}}, {"DOX1", {{20, 6.0}, {50, 6.0}}}};
    Open({C});
    LoadDefaultClim();
    SelectTests({tstDataClimat});
    StationSql("update PTS_Data set FTEMP = 3 where ID_Cast in (501, 502) and PRES = 50");
    StationSql("update PTS_Data set FPRES = 4 where ID_Cast = 503 and PRES = 20");
    for (const char *T : {"NO3", "DOX1"})
        StationSql(std::string("update ") + T + " set FPRES = 0, F" + T + " = 1");
    StationSql("update NO3 set FNO3 = 3 where PRES = 20");
    const std::string Undo = LocalQuoteName(DbTablePrefix + "-Undoparam");
    querytest::SqliteExec(WorkDir + "worktables.sqlite3",
                          "Insert into " + Undo + " values (501, 50, 'FTEMP', '2', 1), (501, 50, 'CHECKED FTEMP', '2', 0), "
                                                  "(502, 50, 'FTEMP', '1', 1), (502, 20, 'FCHEM', '1', 1), "
                                                  "(503, 20, 'FPRES', '1', 1), (503, 20, 'FCHEM', '1', 1)");
    int Reads = 0;
    sqlite3 *Db = TLocalDatabase::ForFolder(WorkDir).Handle();
    sqlite3_trace_v2(Db, SQLITE_TRACE_STMT, [](unsigned, void *AReads, void *, void *ASql) {
        const std::string Sql = static_cast<const char *>(ASql);
        *static_cast<int *>(AReads) += Sql.rfind("SELECT ID_Cast, LevelTable, Pres, FldName, Flag FROM", 0) == 0 &&
                                       Sql.find("WHERE") == Sql.npos;
        return 0;
    }, &Reads);
    ClearMissingClimatology();
    Run();
    sqlite3_trace_v2(Db, 0, nullptr, nullptr);
    EXPECT_EQ(Reads, 1);
    EXPECT_EQ(Pts()[2][3] + Pts()[6][3], "23"); // 501 let go, 502 kept
    EXPECT_NE(MissingClimatologyText().find(
                  "These flags were set by hand, and the checks kept them as set:\nstation 502, 50 dbar, TEMP: 3"),
              std::string::npos)
        << MissingClimatologyText();
    EXPECT_EQ(Local("select ID_Cast, LevelTable, Pres, FldName, Flag from " + LocalQuoteName(DbTablePrefix + "-HandFlags") +
                    " order by ID_Cast, LevelTable"),
              (TRows{{"502", "PTS_Data", "50", "FTEMP", "3"}, {"503", "NO3", "20", "FNO3", "3"},
                     {"503", "PTS_Data", "20", "FPRES", "4"}}));
    EXPECT_EQ(Pts()[9][2], "4");
    EXPECT_EQ(Local("select count(*) from " + Undo + " where FldName like 'CHECKED%'"), (TRows{{"0"}}));
    StationSql("update PTS_Data set FTEMP = 4 where ID_Cast = 502 and PRES = 50");
    Run();
    EXPECT_EQ(Pts()[6][3], "2");
    HandFlagTyped({501, "PTS_Data", 500, "FTEMP", 3});
    StationSql("update PTS_Data set FTEMP = 3 where ID_Cast = 502 and PRES = 50");
    Run();
    EXPECT_EQ(Pts()[2][3] + Pts()[6][3], "32");
}

TEST_F(LevelFlagWrites, EscKeepsTheLevelFlagsOfTheStationsDone)
{
    Open({Cruise(60, {601, 602, 603})});
    LoadDefaultClim();
    SelectTests({tstDataClimat});
    RunWithEscDuringFirstStation();
    EXPECT_EQ(Dialogs->Texts(), std::vector<std::string>{"Quality chek procedure was interrupted"});
    TRows First = Rows501("1", "1");
    for (auto &R : First)
        R[0] = "601";
    EXPECT_EQ(Pts(), First);
    EXPECT_EQ(TmpFlagRows(), First);
    EXPECT_TRUE(CastFlagRows().empty());
    EXPECT_EQ(QcCruiseMarks(60), "000000 000000");
}

TEST_F(LevelFlagWrites, AFailureInsideACruiseLeavesNoneOfItsStations)
{
    Open({Cruise(70, {701}), Cruise(80, {801, 802, 803})});
    LoadDefaultClim();
    SelectTests({tstDataClimat, tstDepth});
    // The second station of the second cruise finds no level table: its
    // levels are the third station's to be read.
    bool Broken = false;
    int Opens = 0;
    ProfileQ->BeforeOpen = [&](TDataSet *) {
        if (++Opens == 3 && !Broken) {
            Broken = true;
            StationSql("ALTER TABLE PTS_Data RENAME TO PTS_Gone");
        }
    };
    EXPECT_ANY_THROW(Run());
    ProfileQ->BeforeOpen = nullptr;
    ASSERT_TRUE(Broken);
    TRows First = Rows501("1", "1");
    for (auto &R : First)
        R[0] = "701";
    // The first cruise is whole; of the second nothing stays, also not the
    // station checked before the failure.
    EXPECT_EQ(Pts(), First);
    EXPECT_EQ(TmpFlagRows(), First);
    EXPECT_EQ(CastFlagRows(), (TRows{{"70", "701", "0", "0", "0", "1"}}));
    EXPECT_EQ(QcCruiseMarks(70), "000110 000010");
    EXPECT_EQ(QcCruiseMarks(80), "000000 000000");
}

TEST_F(LevelFlagWrites, AClimatologyChangedBetweenRunsIsReadAgain)
{
    Open({Cruise(90, {901, 902}), Cruise(91, {911})});
    LoadDefaultClim();
    SelectTests({tstDataClimat});
    Run();
    TRows Expected;
    for (const char *Cast : {"901", "902", "911"})
        for (TRows R = Rows501("1", "1"); auto &Row : R) {
            Row[0] = Cast;
            Expected.push_back(Row);
        }
    EXPECT_EQ(Pts(), Expected);

    // 15.5 at 50 dbar is the mean now; the query stays as the last station
    // asked for it.
    TQuery Q;
    Q.SetDatabaseName(WorkDir);
    Q.SQL().Add("Update BS_TEMP set PAVG = 15.5 where PRES = 50");
    Q.ExecSQL();
    Run();
    for (auto &Row : Expected)
        if (Row[1] == "50")
            Row[3] = "1";
    EXPECT_EQ(Pts(), Expected);
    ASSERT_TRUE(ClimQry->Active());
    EXPECT_NE(ClimQry->SQL().Text().find("BS_PSAL"), std::string::npos);
    EXPECT_EQ(ClimQry->RecordCount(), 9);
}

} // namespace
} // namespace qctest
