// UQC: the automatic quality-control engine.
//
// The engine judges stations (location, velocity, depth, duplicates) and
// profile levels (bottom pressure, density inversion, spikes, climatic
// range) and writes its verdicts as integer quality flags into the work
// tables. It keeps one shared state, `Qc`, declared here: the main window
// binds its links to its own components at start-up and before a run, the
// manual editor borrows them for its components while it is open, tests
// and benchmarks bind their own. The engine reaches controls only through
// this state (every control pointer may be null), the message pump and the
// dialog seam, so it runs headless.
//
// Quality flags: 0 not judged, 1 passed, 2 outside the climatic interval,
// 3 failed a metadata, bottom or density test, 4 spike / repeated pressure /
// time beyond a day, 5 fixed by the operator, 9 value missing (17: marked
// as a duplicate in the editor). No check changes a 5 or a 9, nor a level
// flag the operator set by hand in the editor unless the operator lets it
// (HandFlags); a verdict only ever raises a flag (IntMax).
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
struct TJudgedPrint;

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
// The spike test runs inside the data climate check's level loop only;
// CHECK says so when it is ticked alone.
inline constexpr const char *SpikesAloneText =
    "Spikes are checked only together with the Data Climate Check: this run checks no spikes";

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

// ---- the engine's shared state -----------------------------------------------
// Everything the main window, the engine and the editor share lives in one
// object, `Qc`, with its defaults written once below: a reset is
// `Qc = TQcState{}`. The pointers to components and controls form one
// group, `TQcLinks`: the main window binds the whole group in one call
// (`TForm1::BindEngine`), the editor borrows it while it is open and a
// `TQcLinksLoan` gives it back, so no pointer can be left at a freed
// control or forgotten unset. Every link may be null; nothing here is owned.
struct TQcLinks {
    // datasets and commands
    TDataSet *CruiseTbl = nullptr;         // cruises of the run (ID_Cruise, Cruise_Name)
    TZqQuery *CastQry = nullptr;           // stations of the cruise under check
    TDataSet *CurCastDataset = nullptr;    // current record: the station under check
    TZqQuery *ProfileDataQry = nullptr;    // main-database level query
    TDataSet *ProfileQry = nullptr;        // the level dataset in use
    TQuery *ClimQry = nullptr;             // local climatology query
    TDataSet *RangeQry = nullptr;          // local "param" table (Param, ParamName, QC)
    TZqQuery *CastParamsQry = nullptr;     // parameters of a station
    TZqQuery *DuplicatesQry = nullptr;     // candidate duplicates
    TZqQuery *CruiseListQry = nullptr;     // the main window's cruise query
    TZqCommand *DuplCommand = nullptr;     // statements on the scratch table dupl
    TZqConnection *MainConnection = nullptr;
    TDataSet *QcCruiseTbl = nullptr;       // "-QCCruise": the run marks of each cruise
    TDataSet *QcCruiseQry = nullptr;       // "-QCCruise" for reading the cruise name
    TTable *CastFlagTbl = nullptr;         // "-Cast_TitlesFlags"
    TTable *CastOldFlagTbl = nullptr;      // "-Cast_TitlesOldFlags"
    TTable *PtsDataFlagTbl = nullptr;      // "-PTS_DataFlags"
    TTable *PtsDataOldFlagTbl = nullptr;   // "-PTS_DataOldFlags"
    TTable *TmpCastFlagsTbl = nullptr;     // "TmpCastFlags"
    TTable *TmpCastOldFlagsTbl = nullptr;  // "TmpCastOldFlags"
    TTable *TmpFlagsTbl = nullptr;         // "TmpFlags"
    TTable *TsFlagsStructTbl = nullptr;    // template "StructTsFlags", open
    TTable *ChemFlagsStructTbl = nullptr;  // template "StructChemFlags", open
    TQuery *TmpDataQry = nullptr;          // the editor's working profile "TmpData"
    TQuery *LocalWorkQry = nullptr;
    TTable *ParamTbl = nullptr;            // no table name until used
    TTable *UndoCastTbl = nullptr;         // "-undocast" of the current database
    TTable *UndoParamTbl = nullptr;        // "-Undoparam" of the current database
    TQuery *FlagCastQry = nullptr;         // flag write-back: cast flags of a cruise
    TQuery *FlagLevelQry = nullptr;        // flag write-back: level flags of a cast
    TZqCommand *FlagUpdateCmd = nullptr;   // flag write-back: one update per level
    TZqQuery *FlagParamsQry = nullptr;     // flag write-back: parameters of a cast
    // the editor's controls (visual mode only)
    TTreeView *ErrorsTreeView = nullptr;
    QListWidget *ParamListBox = nullptr;
    QCheckBox *AutoQcCheckBox = nullptr;
    // The value span the spike test of a parameter takes in the visual mode,
    // given the profile's points (value, minus pressure; 9999 for no value):
    // the editor's, which knows which plot is on screen; without it the
    // span of the plot on screen, PlotExtents.
    std::function<double(const std::string &AParam, const TRealPointArr &APoints)> ProfilePlotSpan;
    // the main window's progress controls
    QProgressBar *TotalGauge = nullptr;
    QProgressBar *CruiseGauge = nullptr;
    QLabel *CruiseLabel = nullptr;
    QLabel *TotalLabel = nullptr;
    QLabel *EscHintLabel = nullptr;
};

struct TQcState {
    // QC settings (written by the wizard when it leaves the options page)
    int SpatialAdditionMin = 0;      // 0..5 arc minutes
    int TemporalAdditionHours = 0;   // 0..5 hours
    int VelocityLimitKnots = 12;     // 10..22
    int NStdDev = 3;                 // 1..7 standard deviations
    int DepthTolerancePct = 10;      // 0..25 percent
    int RelativeJumpPct = 10;        // 1..10 percent
    int PressureIntervalSetting = 1; // stored only
    bool OneSideChange = false;
    bool DuplicatesEachStation = false; // true: "Each station"; false: "Full cruise"
    bool VisualModeOnly = true;

    // run control
    bool VisualMode = false;             // the editor drives the checks
    bool AbortRequested = false;         // Esc pressed (set by the Esc hook)
    bool QcInterrupted = false;          // the run was interrupted
    bool QcRunFinished = false;          // the last run ended normally
    bool FullCruiseCheckRunning = false; // the editor's "Check full Cruise"
    bool StationFlagsKept = false;       // the checks mark errors only; the run's station flags stay
    bool HandFlagsLetGo = false;         // the operator let the check replace the level flags set by hand (HandFlags)

    // selection
    TBits SelectedTests; // bit i: test i ticked
    TBits TestResults;   // bit i: test i found an error in the cruise
    // The parameters of the station under check (TEMP, PSAL, DENS first), the
    // data-check bit of each, and the parameters chosen for the run.
    rtl::TStringList ParamList;
    TBits ParamsToCheck;
    rtl::TStringList ParamDisplayList;
    rtl::TStringList ParamCaptionList;
    std::string CurParamAbr;
    std::string CurParamTable;
    std::string CurParamName;
    // Chemical parameters with a level-flag table, and those tables
    // (parallel; the tables are the main window's).
    rtl::TStringList ChemParamList;
    std::vector<TTable *> ChemFlagTbls;

    // working flags
    int CastFLon = 0, CastFLat = 0, CastFDT = 0, CastFD = 0;
    int LevelPresFlag = 0, LevelParamFlag = 0, SpikeFlag = 0;

    // station checks
    TRealPoint StationPoint;
    // The velocity test's reference: the last station it ran on, across cruises.
    TRealPoint PrevStationPoint;
    rtl::TDateTime PrevStationDate = 0;
    rtl::TDateTime PrevStationTime = 0;
    // Minus the station depth, or -10000.0 outside the grid; and the bounds of
    // the four grid nodes about the station.
    double GridDepthValue = 0;
    double GridDepthLow = 0, GridDepthHigh = 0, GridDepthMean = 0, GridDepthMin = 0;
    // True when the last EstimateGridDepth found the station inside the grid.
    bool StationInGrid = false;
    // From xmin east to xmax: xmin > xmax across the date line.
    TRealRect DuplWindow;
    // Moments of the date and the time as the driver reads them: days since
    // 1899-12-30 counted straight through, before that day too.
    rtl::TDateTime DuplTimeMin = 0, DuplTimeMax = 0;
    // The location-check region in the pixel space RegionScreenRect; why the
    // contour file was refused, when it was: the location check then judges
    // no station.
    TRegion LocationRegion;
    std::string LocationRefusal;
    TRect RegionScreenRect{1, 1, 50000, 22000};

    // profile checks
    std::string SquareName, CastSquareName, PrevSquareName;
    int CastMonth = 0, PrevCastMonth = 0;
    bool OutsideSquares = false;
    std::string ClimTableName;
    std::string ClimMeanField = "PAVG";
    std::string ClimStdField = "PSTD";
    bool BsRangeMode = false;
    TRealArr ClimLevels, ClimMeans, ClimStds;
    double DeepestClimLevel = 0;
    bool NeedProfileSelect = false;
    std::string LastFlagParam;
    int LastFlagCastID = 0;

    // the editor's error marks (LocationErrors, VelocityErrors and
    // DepthErrors live with the map, map.h)
    TBits ClimErrorPoints;
    TBits DensInversionPoints;
    bool ClimErrorFound = false;
    bool SpikeFound = false;

    // kept for the other units
    std::string ClimSearchPath;         // Clim/SearchClimPath: last climatology folder
    rtl::TStringList FlagCruiseList;    // cruises chosen for the write-back
    // Every row of "param" as the wizard's parameter page read it.
    rtl::TStringList AllParamAbbrs;
    rtl::TStringList AllParamNames;

    TQcLinks Links;
};

extern TQcState Qc;

// Lends the links and the visual mode to a window for its lifetime (the
// editor holds one): what they were when the loan began comes back when it
// ends, whatever the window pointed them at and however it ended.
class TQcLinksLoan {
public:
    TQcLinksLoan() : FSaved(Qc.Links), FVisualMode(Qc.VisualMode) {}
    ~TQcLinksLoan()
    {
        Qc.Links = FSaved;
        Qc.VisualMode = FVisualMode;
    }
    TQcLinksLoan(const TQcLinksLoan &) = delete;
    TQcLinksLoan &operator=(const TQcLinksLoan &) = delete;

private:
    TQcLinks FSaved;
    bool FVisualMode;
};

// The engine's code names every member by its own name.
inline auto &SpatialAdditionMin = Qc.SpatialAdditionMin;
inline auto &TemporalAdditionHours = Qc.TemporalAdditionHours;
inline auto &VelocityLimitKnots = Qc.VelocityLimitKnots;
inline auto &NStdDev = Qc.NStdDev;
inline auto &DepthTolerancePct = Qc.DepthTolerancePct;
inline auto &RelativeJumpPct = Qc.RelativeJumpPct;
inline auto &PressureIntervalSetting = Qc.PressureIntervalSetting;
inline auto &OneSideChange = Qc.OneSideChange;
inline auto &DuplicatesEachStation = Qc.DuplicatesEachStation;
inline auto &VisualModeOnly = Qc.VisualModeOnly;
inline auto &VisualMode = Qc.VisualMode;
inline auto &AbortRequested = Qc.AbortRequested;
inline auto &QcInterrupted = Qc.QcInterrupted;
inline auto &QcRunFinished = Qc.QcRunFinished;
inline auto &FullCruiseCheckRunning = Qc.FullCruiseCheckRunning;
inline auto &StationFlagsKept = Qc.StationFlagsKept;
inline auto &HandFlagsLetGo = Qc.HandFlagsLetGo;
// The program's Esc hook (InstallEscHook): the first Esc of work that an
// Esc interrupts asks for the abort and marks the run interrupted; another
// one before the abort is taken back leaves QcInterrupted as that work
// left it.
void QcEscPressed();
inline auto &SelectedTests = Qc.SelectedTests;
inline auto &TestResults = Qc.TestResults;
inline auto &ParamList = Qc.ParamList;
inline auto &ParamsToCheck = Qc.ParamsToCheck;
inline auto &ParamDisplayList = Qc.ParamDisplayList;
inline auto &ParamCaptionList = Qc.ParamCaptionList;
inline auto &CurParamAbr = Qc.CurParamAbr;
inline auto &CurParamTable = Qc.CurParamTable;
inline auto &CurParamName = Qc.CurParamName;
inline auto &ChemParamList = Qc.ChemParamList;
inline auto &ChemFlagTbls = Qc.ChemFlagTbls;
inline auto &CastFLon = Qc.CastFLon;
inline auto &CastFLat = Qc.CastFLat;
inline auto &CastFDT = Qc.CastFDT;
inline auto &CastFD = Qc.CastFD;
inline auto &LevelPresFlag = Qc.LevelPresFlag;
inline auto &LevelParamFlag = Qc.LevelParamFlag;
inline auto &SpikeFlag = Qc.SpikeFlag;
inline auto &StationPoint = Qc.StationPoint;
inline auto &PrevStationPoint = Qc.PrevStationPoint;
inline auto &PrevStationDate = Qc.PrevStationDate;
inline auto &PrevStationTime = Qc.PrevStationTime;
inline auto &GridDepthValue = Qc.GridDepthValue;
inline auto &GridDepthLow = Qc.GridDepthLow;
inline auto &GridDepthHigh = Qc.GridDepthHigh;
inline auto &GridDepthMean = Qc.GridDepthMean;
inline auto &GridDepthMin = Qc.GridDepthMin;
inline auto &StationInGrid = Qc.StationInGrid;
inline auto &DuplWindow = Qc.DuplWindow;
inline auto &DuplTimeMin = Qc.DuplTimeMin;
inline auto &DuplTimeMax = Qc.DuplTimeMax;
inline auto &LocationRegion = Qc.LocationRegion;
inline auto &LocationRefusal = Qc.LocationRefusal;
inline auto &RegionScreenRect = Qc.RegionScreenRect;
inline auto &SquareName = Qc.SquareName;
inline auto &CastSquareName = Qc.CastSquareName;
inline auto &PrevSquareName = Qc.PrevSquareName;
inline auto &CastMonth = Qc.CastMonth;
inline auto &PrevCastMonth = Qc.PrevCastMonth;
inline auto &OutsideSquares = Qc.OutsideSquares;
inline auto &ClimTableName = Qc.ClimTableName;
inline auto &ClimMeanField = Qc.ClimMeanField;
inline auto &ClimStdField = Qc.ClimStdField;
inline auto &BsRangeMode = Qc.BsRangeMode;
inline auto &ClimLevels = Qc.ClimLevels;
inline auto &ClimMeans = Qc.ClimMeans;
inline auto &ClimStds = Qc.ClimStds;
inline auto &DeepestClimLevel = Qc.DeepestClimLevel;
inline auto &NeedProfileSelect = Qc.NeedProfileSelect;
inline auto &LastFlagParam = Qc.LastFlagParam;
inline auto &LastFlagCastID = Qc.LastFlagCastID;
inline auto &ClimErrorPoints = Qc.ClimErrorPoints;
inline auto &DensInversionPoints = Qc.DensInversionPoints;
inline auto &ClimErrorFound = Qc.ClimErrorFound;
inline auto &SpikeFound = Qc.SpikeFound;
inline auto &ClimSearchPath = Qc.ClimSearchPath;
inline auto &FlagCruiseList = Qc.FlagCruiseList;
inline auto &AllParamAbbrs = Qc.AllParamAbbrs;
inline auto &AllParamNames = Qc.AllParamNames;
inline auto &CruiseTbl = Qc.Links.CruiseTbl;
inline auto &CastQry = Qc.Links.CastQry;
inline auto &CurCastDataset = Qc.Links.CurCastDataset;
inline auto &ProfileDataQry = Qc.Links.ProfileDataQry;
inline auto &ProfileQry = Qc.Links.ProfileQry;
inline auto &ClimQry = Qc.Links.ClimQry;
inline auto &RangeQry = Qc.Links.RangeQry;
inline auto &CastParamsQry = Qc.Links.CastParamsQry;
inline auto &DuplicatesQry = Qc.Links.DuplicatesQry;
inline auto &CruiseListQry = Qc.Links.CruiseListQry;
inline auto &DuplCommand = Qc.Links.DuplCommand;
inline auto &MainConnection = Qc.Links.MainConnection;
inline auto &QcCruiseTbl = Qc.Links.QcCruiseTbl;
inline auto &QcCruiseQry = Qc.Links.QcCruiseQry;
inline auto &CastFlagTbl = Qc.Links.CastFlagTbl;
inline auto &CastOldFlagTbl = Qc.Links.CastOldFlagTbl;
inline auto &PtsDataFlagTbl = Qc.Links.PtsDataFlagTbl;
inline auto &PtsDataOldFlagTbl = Qc.Links.PtsDataOldFlagTbl;
inline auto &TmpCastFlagsTbl = Qc.Links.TmpCastFlagsTbl;
inline auto &TmpCastOldFlagsTbl = Qc.Links.TmpCastOldFlagsTbl;
inline auto &TmpFlagsTbl = Qc.Links.TmpFlagsTbl;
inline auto &TsFlagsStructTbl = Qc.Links.TsFlagsStructTbl;
inline auto &ChemFlagsStructTbl = Qc.Links.ChemFlagsStructTbl;
inline auto &TmpDataQry = Qc.Links.TmpDataQry;
inline auto &LocalWorkQry = Qc.Links.LocalWorkQry;
inline auto &ParamTbl = Qc.Links.ParamTbl;
inline auto &UndoCastTbl = Qc.Links.UndoCastTbl;
inline auto &UndoParamTbl = Qc.Links.UndoParamTbl;
inline auto &FlagCastQry = Qc.Links.FlagCastQry;
inline auto &FlagLevelQry = Qc.Links.FlagLevelQry;
inline auto &FlagUpdateCmd = Qc.Links.FlagUpdateCmd;
inline auto &FlagParamsQry = Qc.Links.FlagParamsQry;
inline auto &ErrorsTreeView = Qc.Links.ErrorsTreeView;
inline auto &ParamListBox = Qc.Links.ParamListBox;
inline auto &AutoQcCheckBox = Qc.Links.AutoQcCheckBox;
inline auto &ProfilePlotSpan = Qc.Links.ProfilePlotSpan;
inline auto &TotalGauge = Qc.Links.TotalGauge;
inline auto &CruiseGauge = Qc.Links.CruiseGauge;
inline auto &CruiseLabel = Qc.Links.CruiseLabel;
inline auto &TotalLabel = Qc.Links.TotalLabel;
inline auto &EscHintLabel = Qc.Links.EscHintLabel;

// ---- cruise loop and station checks ------------------------------------------------
void CheckCruises();
void CheckCruiseCasts();
void LoadCastFlags();
double EstimateGridDepth();
void CheckDuplicates();
// The box and span of the stations from the current one to the last that
// have a position and a moment (DuplWindow, DuplTimeMin, DuplTimeMax), the
// box the longitudes they span (across the date line where they lie on
// both sides of it); false when none has. CheckDuplicates reads the
// moments first.
bool CruiseExtent();
// The window's conditions, its bounds named as parameters (:LonMin, :LonMax,
// :LatMin, :LatMax, :MomentMin, :MomentMax) that CheckDuplicates binds.
void BuildDuplicateWindow(std::string &PosCondition, std::string &TimeCondition);
// The lines naming the stations that the last duplicate search left out
// as their time cannot be read ("" when none, or when already taken).
std::string TakeDuplicateSearchUnread();
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
// Opens the level select of P on the station database (OpenLevelSelect).
void SelectProfileData(const std::string &P);
// Opens AQ, a select of AColumns from a parameter's level table on the
// station database; when the database lacks the table or one of the
// columns, the failure says which in words before the driver's text.
void OpenLevelSelect(TZqQuery &AQ, const std::string &AParam, const std::string &ATable,
                     const std::vector<std::string> &AColumns);
void SelectLocalProfileData(const std::string &P);
// The error tree's path of a level verdict under station AIdCast: "Possible
// Data Errors" / Param / Kind / "PRES=" pressure " record #" RecNo.
void AddDataErrorPath(const std::string &AIdCast, const std::string &Param, const std::string &Kind, double Pres,
                      int RecNo);
void CreateTmpFlagsTable(const std::string &P);
// This program changed a stored value of station AIdCast (the operator, in
// the editor): the prints its checks left (of level table ATable, or every
// one when it is empty: a date, time or position) take, part by part, the
// station as it is stored after the change, where they were the station as
// it was stored just before it (TJudgedPrint::Renew; ABefore and AAfter are
// read in the change's transaction). The operator judged the station as the
// editor shows it, so the write-back writes its verdicts with the operator's
// values and flags; a part another program had changed before stays, and
// holds the table back.
void RenewJudgedPrints(int AIdCast, const std::string &ATable, const TJudgedPrint &ABefore, const TJudgedPrint &AAfter);
// What a check command (the run, or one of the editor's check buttons)
// met of the climatology, per parameter and sea (SeaCode). A select that
// failed is noted with AReason, the driver's text where the table is there
// ("" where it is missing); ClimatologyLeftLevels counts a station whose
// ALevels levels of P got no climatic verdict, and why: no climatology
// table (or one that cannot be read), no climatic profile for its square
// and month, levels at or below the deepest level of that profile, or no
// range in BS_Range. Such levels keep the flag the station database has
// (the write-back writes no 0). The command clears the record at its start
// and, after the checks, says in words which levels went unchecked and why
// (empty text: none), once for each parameter, sea and cause.
enum TUnjudgedWhy { ujNoTable, ujNoProfile, ujBeyondProfile, ujNoRange };
void ClimatologySelectFailed(const std::string &P, const std::string &AReason);
void ClimatologyLeftLevels(const std::string &P, TUnjudgedWhy AWhy, int ALevels);
// The run also counts what it could not check of a cruise: none of its
// levels when none of its stations lists a parameter, stations that list
// none (StationsListingNoParameter) and stations with values the driver
// could not read (UnreadStationValues); the text says them first.
void CruiseListsNoParameters(const std::string &ACruiseName);
void StationsPartlyRead(const std::string &ALines);
// The automatic run kept a flag typed by hand (HandFlags) in its verdicts,
// named as the editor names it (HandFlagLine): the text says them last.
void HandFlagKeptByRun(const std::string &ALine);
// A value of level ARecNo (at pressure APres, "" when that is the value) of
// station ACastId that the driver could not read (AText its words): the
// level is checked without it, and its flag left as the station has it.
void LevelValueUnread(int ACastId, const std::string &AColumn, int ARecNo, const std::string &APres,
                      const std::string &AText);
// The station under AStation's cursor, its levels about to be checked, has
// no square (StationSquare, just before, found none): its levels are not
// checked, which is said with why. A station without a position is in none
// anyway, and is said as such (StationsWithoutPosition).
void StationInNoSquare(TDataSet &AStation);
// The column of the editor's working copy of a station's levels ("TmpData")
// that keeps, level by level, the values the driver could not read when the
// copy was made, which are empty in the copy: a line "COLUMN=words" each,
// the column as the station database names it. The copy's checks take such
// a level without the value, as the run does, and its grid shows it.
extern const char *const UnreadLevelColumn;
// That text for the row under the cursor of ALevels (fetched from the
// station database); "" when every value of it was read.
std::string UnreadLevelValues(const TDataSet &ALevels);
// The driver's words on column AColumn in such a text; "" when it read it.
std::string UnreadLevelWords(const std::string &AUnread, const std::string &AColumn);
void ClearMissingClimatology();
std::string MissingClimatologyText();

// The stations of AStations (a select of Cast_Titles with ID_Cast) that hold
// a value the driver could not read, one line each naming the station, the
// column and the driver's text ("" when none): such a value reads as empty
// and the checks take the station without it; and a line for a text read
// cut to its column, which the station keeps cut. The dataset is left on
// its first record.
std::string UnreadStationValues(TZqQuery &AStations, const std::string &ACruiseName);
// The stations of AStations without a readable position (east of the
// checked region's limit) as a line saying that their depth (ADepth) and
// levels (ALevels) are not checked ("" when none, or neither is checked).
// The dataset is left on its first record.
std::string StationsWithoutPosition(TDataSet &AStations, const std::string &ACruiseName, bool ADepth, bool ALevels);
// The stations of AStations west of the checked region's limit as a line
// saying which of the ticked checks (location, speed, depth, levels) they
// get none of ("" when none, or none of those is ticked).
std::string StationsWestOfTheChecks(TDataSet &AStations, const std::string &ACruiseName);

// ---- station parameter list --------------------------------------------------------
// The list of the current station of CurCastDataset, as the Parameters
// table gives it.
void BuildParamList();
// The automatic run reads every station's Parameters rows once a cruise
// (false: none of them lists one); while they are held, the data checks of
// a station take its own list. The cruise loop lets them go at its end.
bool HoldCruiseParamLists(int ACruiseId);
void ReleaseCruiseParamLists();
void TakeStationParamList();
// While the lists are held: the stations of AStations that list no
// parameter, whose levels are therefore not checked, as a line naming them
// ("" when every station lists one). The dataset is left on its first record.
std::string StationsListingNoParameter(TDataSet &AStations, const std::string &ACruiseName);
// The same line for the stations AStations of cruise ACruiseId, its
// Parameters rows read afresh; the lists are left as they are (the editor
// says it when a cruise is picked).
std::string CruiseStationsListingNoParameter(TDataSet &AStations, int ACruiseId, const std::string &ACruiseName);

// ---- location region ---------------------------------------------------------------
// Reads the contour polygons of ExtraLinesFile into LocationRegion (areas
// united, holes subtracted), through the same transform as the location
// check. A file the reader refuses leaves the region empty and its words in
// LocationRefusal (emptied by a file that is read): it blocks the location
// check alone, the other checks run.
void BuildLocationRegion();
// "The location check judges no station: " and the refusal, when the
// contour was refused (and, with ATickedOnly, the check is ticked); ""
// otherwise.
std::string LocationCheckBlocked(bool ATickedOnly = true);
// "The depth check judges no station: " and why, when no grid was read and
// the check is ticked; "" otherwise. A check so blocked is not marked as
// run on any cruise, as the location check without its contour.
std::string DepthCheckBlocked();

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
    std::string FileName; // named when a row is refused
    std::vector<std::vector<std::string>> Grid;
    // The data rows of Grid that hold another count of cells than the
    // header names (a decimal comma where "," separates the cells, a line
    // cut short), longer ones cut to the header's count; blank lines are
    // none of them. In ascending order, each with the count it held.
    std::vector<std::pair<size_t, size_t>> MisfitRows;
    TClimChoice SubRegions;
    TClimChoice Months;
    TClimChoice Pressures;
    TClimChoice Params; // "TEMP(climat)", "NO3(ranges)" ...
    bool HasMs = false;
    bool HasBs = false;
};

// Splits one line of a climatology file at Sep: two separators in a row
// give an empty cell, a separator at the end adds none, a line end and the
// blanks around a cell are not part of it. Sep '\0' (the header gave no
// separator) makes the whole line one cell. The engine's reader and the
// import dialog share it.
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
// The lines of a text file, without their line ends and without a
// byte-order mark. Raises EFOpenError when the file cannot be read, and
// EInOutError naming the line when it is not UTF-8 (nor UTF-16).
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
// ALoaded, when given, gets each table filled: parameter, sea, rows.
// A table that was there before the import is given too, with its rows and
// Existing set.
struct TClimLoaded {
    std::string Param;
    std::string Sea; // "the Black Sea", "the Mediterranean Sea"
    int Rows = 0;
    bool Existing = false;
};
int LoadClimatology(const TClimImport &Import, TTable &StructTbl, TTable &ClimMSTbl, TTable &ClimBSTbl,
                    const std::string &ALocalDbDir, std::vector<TClimLoaded> *ALoaded = nullptr);
// The checks of P in the sea take its admissible range from BS_Range, not
// from a climatology table: chemistry in the Black Sea, oxygen excepted.
bool ReadsBsRange(const std::string &ASeaCode, const std::string &P);
// What an import did, in words: a line per table filled (a table the checks
// never read said so) and per parameter AJoined brought into the checks;
// "No climat is loaded" when there is none.
std::string ClimatologyLoadText(const std::vector<TClimLoaded> &ALoaded, const std::vector<std::string> &AJoined = {});
// QC set in "param" (AParams, open) for every parameter of ALoaded whose
// table holds rows, loaded now or before: it takes part in the data checks.
// Returns the parameters that did not before.
std::vector<std::string> MarkClimatologyParams(TTable &AParams, const std::vector<TClimLoaded> &ALoaded);
