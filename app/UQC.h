// UQC: the automatic quality-control engine.
//
// The engine judges stations (location, velocity, depth, duplicates) and
// profile levels (bottom pressure, density inversion, spikes, climatic
// range) and writes its verdicts as integer quality flags into the work
// tables. It keeps one shared state, declared here: the main window points
// it at its own components at start-up and before a run, the manual editor
// at its components while it is open, tests and benchmarks at their own.
// The engine reaches controls only through this state (every control
// pointer may be null), the message pump and the dialog seam, so it runs
// headless.
//
// Quality flags: 0 not judged, 1 passed, 2 outside the climatic interval,
// 3 failed a metadata, bottom or density test, 4 spike / repeated pressure /
// time beyond a day, 5 fixed by the operator, 9 value missing (17: marked
// as a duplicate in the editor). No check changes a 5 or a 9; a verdict
// only ever raises a flag (IntMax).
#pragma once

#include "app/Globals.h"
#include "app/manual/Recalcs.h"

#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TRegion.h"
#include "platform/toolkit/TTypes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TDataSet;
class TTable;
class TQuery;
class TZqConnection;
class TZqQuery;
class TZqCommand;
class TTreeView;
class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;

// ---- the six selectable tests (bits of SelectedTests and TestResults) ----
enum TQcTest : int {
    tstDuplicates = 0,
    tstLocation = 1,
    tstVelocity = 2,
    tstDepth = 3,
    tstDataClimat = 4,
    tstDataSpike = 5,
};
inline constexpr int QcTestCount = 6;

// ---- flags and parameter layout ----------------------------------------------
// The larger of the two; the first when equal.
int32_t IntMax(int32_t a, int32_t b);
// True exactly for "TEMP", "PSAL" and "DENS" (case-sensitive).
bool IsPtsParam(const std::string &Abbr);
// "PTS_Data" for the PTS parameters, "" for "PRESS", else the abbreviation.
std::string ParamTableName(const std::string &Abbr);

// ---- numbers, dates and SQL text: one helper each -----------------------------
// A pressure to the nearest 0.1 (times 10, rounded half to even, over 10):
// the key of every level-flag row and of the same-pressure rule.
double RoundPres(double Pres);
// A real in SQL text: general format, "." separator, 15 significant digits.
std::string SqlFloat(double Value);
// A stored real in SQL text that reads back as the very same double (the
// shortest such text, "." separator): a row named by the value it holds,
// such as a level by its stored pressure, is found whatever its decimals.
std::string SqlExactFloat(double Value);
// Jet date literal body "M/D/YYYY" of the day of a date-time (days since
// 1899-12-30, truncated toward zero), and the time of day "hh.mm.ss".
std::string SqlDate(rtl::TDateTime Value);
std::string SqlTime(rtl::TDateTime Value);
// A station's moment: date + time, the time counted backwards for dates
// before 1899-12-30 (negative day numbers).
rtl::TDateTime CastMoment(rtl::TDateTime Date, rtl::TDateTime Time);

// ---- QC settings (written by the wizard when it leaves the options page) ----
extern int SpatialAdditionMin;      // 0..5 arc minutes
extern int TemporalAdditionHours;   // 0..5 hours
extern int VelocityLimitKnots;      // 10..22
extern int NStdDev;                 // 1..7 standard deviations
extern int DepthTolerancePct;       // 0..25 percent
extern int RelativeJumpPct;         // 1..10 percent
extern int PressureIntervalSetting; // stored only
extern bool OneSideChange;
extern bool DuplicatesEachStation; // true: "Each station"; false: "Full cruise"
extern bool VisualModeOnly;

// ---- run control -------------------------------------------------------------
extern bool VisualMode;             // the editor drives the checks
extern bool AbortRequested;         // Esc pressed (set by the Esc hook)
extern bool QcInterrupted;          // the run was interrupted
extern bool QcRunFinished;          // the last run ended normally
extern bool FullCruiseCheckRunning; // the editor's "Check full Cruise"

// ---- selection ---------------------------------------------------------------
extern TBits SelectedTests; // bit i: test i ticked
extern TBits TestResults;   // bit i: test i found an error in the cruise
// The parameters of the station under check (TEMP, PSAL, DENS first), the
// data-check bit of each, and the parameters chosen for the run.
extern rtl::TStringList ParamList;
extern TBits ParamsToCheck;
extern rtl::TStringList ParamDisplayList;
extern rtl::TStringList ParamCaptionList;
extern std::string CurParamAbr;
extern std::string CurParamTable;
extern std::string CurParamName;

// ---- datasets (not owned; pointed at by the main window, the editor, tests) ----
extern TDataSet *CruiseTbl;         // cruises of the run (ID_Cruise, Cruise_Name)
extern TZqQuery *CastQry;           // stations of the cruise under check
extern TDataSet *CurCastDataset;    // current record: the station under check
extern TZqQuery *ProfileDataQry;    // main-database level query
extern TDataSet *ProfileQry;        // the level dataset in use
extern TQuery *ClimQry;             // local climatology query
extern TDataSet *RangeQry;          // local "param" table (Param, ParamName, QC)
extern TZqQuery *CastParamsQry;     // parameters of a station
extern TZqQuery *DuplicatesQry;     // candidate duplicates
extern TZqCommand *DuplCommand;     // statements on the scratch table dupl
extern TZqConnection *MainConnection;
extern TDataSet *QcCruiseTbl;       // "-QCCruise": the run marks of each cruise
extern TDataSet *QcCruiseQry;       // "-QCCruise" for reading the cruise name
extern TTable *CastFlagTbl;         // "-Cast_TitlesFlags"
extern TTable *CastOldFlagTbl;      // "-Cast_TitlesOldFlags"
extern TTable *PtsDataFlagTbl;      // "-PTS_DataFlags"
extern TTable *PtsDataOldFlagTbl;   // "-PTS_DataOldFlags"
// Chemical parameters with a level-flag table, and those tables (parallel).
extern rtl::TStringList ChemParamList;
extern std::vector<TTable *> ChemFlagTbls;
extern TTable *TmpCastFlagsTbl;     // "TmpCastFlags"
extern TTable *TmpCastOldFlagsTbl;  // "TmpCastOldFlags"
extern TTable *TmpFlagsTbl;         // "TmpFlags"
extern TTable *TsFlagsStructTbl;    // template "StructTsFlags", open
extern TTable *ChemFlagsStructTbl;  // template "StructChemFlags", open
extern TQuery *TmpDataQry;          // the editor's working profile "TmpData"
extern TQuery *LocalWorkQry;

// ---- working flags -------------------------------------------------------------
extern int CastFLon, CastFLat, CastFDT, CastFD;
extern int LevelPresFlag, LevelParamFlag, SpikeFlag;

// ---- station checks ------------------------------------------------------------
extern TRealPoint StationPoint;
// The velocity test's reference: the last station it ran on, across cruises.
extern TRealPoint PrevStationPoint;
extern rtl::TDateTime PrevStationDate;
extern rtl::TDateTime PrevStationTime;
// Minus the station depth, or -10000.0 outside the grid; and the bounds of
// the four grid nodes about the station.
extern double GridDepthValue;
extern double GridDepthLow, GridDepthHigh, GridDepthMean, GridDepthMin;
// True when the last EstimateGridDepth found the station inside the grid.
extern bool StationInGrid;
extern TRealRect DuplWindow;
extern rtl::TDateTime DuplTimeMin, DuplTimeMax;
// The location-check region in the pixel space RegionScreenRect.
extern TRegion LocationRegion;
extern TRect RegionScreenRect; // (1, 1, 50000, 22000)

// ---- profile checks ------------------------------------------------------------
extern std::string SquareName, CastSquareName, PrevSquareName;
extern int CastMonth, PrevCastMonth;
extern bool OutsideSquares;
extern std::string ClimTableName;
extern std::string ClimMeanField; // "PAVG"
extern std::string ClimStdField;  // "PSTD"
extern bool BsRangeMode;
extern TRealArr ClimLevels, ClimMeans, ClimStds;
extern double DeepestClimLevel;
extern bool NeedProfileSelect;
extern std::string LastFlagParam;
extern int LastFlagCastID;

// ---- editor links (visual mode only; may be null) -------------------------------
extern TTreeView *ErrorsTreeView;
extern QListWidget *ParamListBox;
extern QCheckBox *AutoQcCheckBox;
// LocationErrors, VelocityErrors and DepthErrors live with the map (map.h).
extern TBits ClimErrorPoints;
extern TBits DensInversionPoints;
extern bool ClimErrorFound;
extern bool SpikeFound;

// ---- progress (the main window's; may be null) --------------------------------
extern QProgressBar *TotalGauge;
extern QProgressBar *CruiseGauge;
extern QLabel *CruiseLabel;
extern QLabel *TotalLabel;
extern QLabel *EscHintLabel;

// ---- objects the main window makes at start for the other units -----------------
extern std::string ClimSearchPath;  // Clim/SearchClimPath: last climatology folder
extern TTable *ParamTbl;            // no table name until used
extern TTable *UndoCastTbl;         // "-undocast" of the current database
extern TTable *UndoParamTbl;        // "-Undoparam" of the current database
extern TQuery *FlagCastQry;         // flag write-back: cast flags of a cruise
extern TQuery *FlagLevelQry;        // flag write-back: level flags of a cast
extern TZqCommand *FlagUpdateCmd;   // flag write-back: one update per level
extern TZqQuery *FlagParamsQry;     // flag write-back: parameters of a cast
extern rtl::TStringList FlagCruiseList; // cruises chosen for the write-back
// Every row of "param" as the wizard's parameter page read it.
extern rtl::TStringList AllParamAbbrs;
extern rtl::TStringList AllParamNames;

// ---- cruise loop and station checks ------------------------------------------------
void CheckCruises();
void CheckCruiseCasts();
void LoadCastFlags();
double EstimateGridDepth();
void CheckDuplicates();
void CruiseExtent();
void BuildDuplicateWindow(std::string &PosCondition, std::string &TimeCondition);
void CheckLocation();
void CheckVelocity();
void CheckDepth();
void ZeroCastFlags();

// ---- profile checks ------------------------------------------------------------
void RunDataChecks();
void FindCastSquare();
void SelectClimatology(const std::string &P);
void SelectClimatologyData(const std::string &P);
void CheckClimaticRange(const std::string &P);
void SelectProfileData(const std::string &P);
void SelectLocalProfileData(const std::string &P);
void CreateTmpFlagsTable(const std::string &P);

// ---- station parameter list --------------------------------------------------------
void BuildParamList();

// ---- location region ---------------------------------------------------------------
// Reads the contour polygons of ExtraLinesFile into LocationRegion (areas
// united, holes subtracted), through the same transform as the location
// check. A file that cannot be read raises EInOutError.
void BuildLocationRegion();

// ---- climatology ---------------------------------------------------------------
// One choice list of the climatology import: items in order, with ticks.
struct TClimChoice {
    std::vector<std::string> Items;
    std::vector<bool> Checked;
    bool IsChecked(int Index) const { return Index >= 0 && size_t(Index) < Checked.size() && Checked[size_t(Index)]; }
    int IndexOf(const std::string &Text) const;
    bool AnyChecked() const;
};

// What the import dialog hands to the loader: the grid (row 0 the header,
// column 0 sub-region, 1 month, 2 pressure, then two columns per
// parameter), the four choice lists and the seas the file covers.
struct TClimImport {
    std::vector<std::vector<std::string>> Grid;
    TClimChoice SubRegions;
    TClimChoice Months;
    TClimChoice Pressures;
    TClimChoice Params; // "TEMP(climat)", "NO3(ranges)" ...
    bool HasMs = false;
    bool HasBs = false;
};

// Splits one line of a climatology file at Sep: two separators in a row
// give an empty cell, a separator at the end adds none, a line end is not
// part of the last cell. Sep '\0' (the header gave no separator) makes the
// whole line one cell. The engine's reader and the import dialog share it.
std::vector<std::string> SplitClimLine(const std::string &Line, char Sep);

// What checking a climatology file found.
struct TClimFileCheck {
    bool WrongFormat = false;                   // no "REGION" header: one cell a line
    std::vector<std::string> UnknownSubRegions; // neither a Black Sea nor a Mediterranean square
    bool HeaderError = false;                   // a value-column pair that is not a known parameter's
};

// Checks the lines of a climatology file and fills AImport: the grid (row 0
// the header; the header fixes the column count), the sub-regions, months
// and pressures of the data lines (each text once, letter case aside, in
// order of first appearance), the parameter items of the header pairs up
// to the first that fails, and the seas. Nothing is ticked. A header pair
// must name one of AKnownParams; without a list any name is taken.
// AProgress, when given, is called with the percentage of lines read
// whenever it changes. The import dialog and the file reader share it.
void CheckClimatologyLines(const std::vector<std::string> &ALines, const std::vector<std::string> *AKnownParams,
                           TClimImport &AImport, TClimFileCheck &ACheck,
                           const std::function<void(int)> &AProgress = nullptr);
inline void CheckClimatologyLines(const std::vector<std::string> &ALines, const std::vector<std::string> &AKnownParams,
                                  TClimImport &AImport, TClimFileCheck &ACheck,
                                  const std::function<void(int)> &AProgress = nullptr)
{
    CheckClimatologyLines(ALines, &AKnownParams, AImport, ACheck, AProgress);
}
// The lines of a text file, without their line ends. Raises EFOpenError
// when the file cannot be read.
std::vector<std::string> ReadClimatologyLines(const std::string &AFileName);
// Reads a climatology file into Import with every item ticked; the seas
// from MsSquareNames / BsSquareNames. False with Error set when the file
// cannot be read or its header is not "REGION" + separator + pairs.
bool ReadClimatologyFile(const std::string &FileName, TClimImport &Import, std::string &Error);

// Loads the ticked rows of every ticked "(climat)" parameter into
// "MS_" + P / "BS_" + P in LocalDbDir, made from template "Clim" (opened on
// StructTbl) with the primary index "Region;Month;Pres". A table that
// exists already is left alone with "Climat for P in the ... is already
// loaded". Each table is filled all or nothing: a row that fails drops the
// table and names the row. Returns the number of rows loaded.
int LoadClimatology(const TClimImport &Import, TTable &StructTbl, TTable &ClimMSTbl, TTable &ClimBSTbl,
                    const std::string &ALocalDbDir);
