// The QC engine tests' fixture: a station database written for the test by
// the demo generator's writer, a fresh work folder, a small synthetic
// geography (a uniform grid, one Black Sea square, a contour with a hole)
// and the engine's shared state pointed at the fixture's own components, as
// the main window points it at its own.
#pragma once

#include "tools/demogen/TDemoModel.h"

#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TDialogs.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class TZqConnection;
class TZqQuery;
class TZqCommand;
namespace rtl {
class TComponent;
}

namespace qctest {

using TRows = std::vector<std::vector<std::string>>;

// The fixture's geography: grid nodes every degree over longitude 30..40
// and latitude 40..50, all at -Depth; Black Sea square "7" over longitude
// 30..45, latitude 40..50; the contour covers longitude 30..45, latitude
// 40..50, less a hole over longitude 35..36, latitude 45..46.
inline constexpr double FixtureSeaDepth = 5000;
inline constexpr double FixtureDay = 39994; // 30 June 2009

struct TLevel {
    double Pres;
    std::optional<double> Temp, Psal;
};

demogen::TDemoStation MakeStation(int Cast, int Cruise, double Lon, double Lat, double Date, double Time,
                                  double Depth, const std::vector<TLevel> &Levels = {});

// A climatic profile row: pressure, mean, standard deviation.
struct TClimRow {
    double Pres, Mean, Sd;
};

class QcEngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the cruises (each with PRESS, TEMP and PSAL parameters unless
    // it lists its own), connects and points the engine at everything.
    void Open(std::vector<demogen::TDemoCruise> Cruises);
    // Connects to the station database at DbPath as it is and points the
    // engine at everything; every cruise of it is chosen for the run.
    void Attach();
    // Straight into the station database file, past the library.
    void StationSql(const std::string &Sql);
    TRows StationRows(const std::string &Sql);
    // Local SQL on the work folder; every value as its text.
    TRows Local(const std::string &Sql);
    // A climatology table "BS_" + Param for square 7, June and December alike.
    void LoadClim(const std::string &Param, const std::vector<TClimRow> &Rows);
    // The default TEMP and PSAL climatology (means exact at its levels).
    void LoadDefaultClim();
    void SelectTests(std::initializer_list<int> Tests);
    // Runs CheckCruises over the given cruises (all when empty).
    void Run(std::initializer_list<int> CruiseIds = {});
    // Runs every cruise with the operator pressing Esc while the first
    // station is checked, through the application's Esc hook, so that the
    // pump before the second station delivers it.
    void RunWithEscDuringFirstStation();
    // The "-Cast_TitlesFlags" rows, and the level-flag rows of a table
    // suffix ("PTS_DataFlags", "NO3flags"), ordered by key.
    TRows CastFlagRows();
    TRows LevelFlagRows(const std::string &Suffix);
    // ChDuplicates..ChDataSpike then Duplicates..DataSpike as 0/1 text.
    std::string QcCruiseMarks(int CruiseId);
    void SetGridNodes(int Col, int Row, float Value);
    // The ID_Cast of every candidate duplicate, sorted; whether the search ran.
    std::vector<std::string> DuplicateCandidates();
    bool DuplicatesQueried();

    std::string Dir, WorkDir, DbPath;
    std::unique_ptr<rtl::TComponent> Owner;
    TZqConnection *Conn = nullptr;
    TZqQuery *CastQ = nullptr, *ProfileQ = nullptr, *ParamsQ = nullptr, *DupQ = nullptr;
    TZqCommand *DupCmd = nullptr;
    std::unique_ptr<TTable> Struct, QcCru, CastFlags, CastOldFlags, UndoCast, UndoParam, TmpCru, TmpCastFlags,
        TmpCastOldFlags, TmpFlags, TsStruct, ChemStruct, PtsFlags, PtsOldFlags, ClimMS, ClimBS;
    std::vector<std::unique_ptr<TTable>> ChemTbls;
    std::unique_ptr<TQuery> ParamQ, ClimQ, QcCruQ;
    std::unique_ptr<TScriptedDialogs> Dialogs;
};

} // namespace qctest
