// UQC: the engine's shared state, the flag and parameter helpers and the
// number, date and SQL-text helpers that every check shares. The checks
// themselves live in UQC_Station.cpp (cruise loop, station checks),
// UQC_Profile.cpp (level checks, parameter list) and UQC_Climat.cpp
// (location region, climatology loading).
#include "app/UQC.h"

#include "app/UQC_Internal.h"

#include "platform/localdb/TBatchMove.h"
#include "platform/localdb/TSession.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TApplication.h"

#include <charconv>
#include <cmath>

int SpatialAdditionMin = 0;
int TemporalAdditionHours = 0;
int VelocityLimitKnots = 12;
int NStdDev = 3;
int DepthTolerancePct = 10;
int RelativeJumpPct = 10;
int PressureIntervalSetting = 1;
bool OneSideChange = false;
bool DuplicatesEachStation = false;
bool VisualModeOnly = true;

bool VisualMode = false;
bool AbortRequested = false;
bool QcInterrupted = false;
bool QcRunFinished = false;
bool FullCruiseCheckRunning = false;

TBits SelectedTests;
TBits TestResults;
rtl::TStringList ParamList;
TBits ParamsToCheck;
rtl::TStringList ParamDisplayList;
rtl::TStringList ParamCaptionList;
std::string CurParamAbr;
std::string CurParamTable;
std::string CurParamName;

TDataSet *CruiseTbl = nullptr;
TZqQuery *CastQry = nullptr;
TDataSet *CurCastDataset = nullptr;
TZqQuery *ProfileDataQry = nullptr;
TDataSet *ProfileQry = nullptr;
TQuery *ClimQry = nullptr;
TDataSet *RangeQry = nullptr;
TZqQuery *CastParamsQry = nullptr;
TZqQuery *DuplicatesQry = nullptr;
TZqCommand *DuplCommand = nullptr;
TZqConnection *MainConnection = nullptr;
TDataSet *QcCruiseTbl = nullptr;
TDataSet *QcCruiseQry = nullptr;
TTable *CastFlagTbl = nullptr;
TTable *CastOldFlagTbl = nullptr;
TTable *PtsDataFlagTbl = nullptr;
TTable *PtsDataOldFlagTbl = nullptr;
rtl::TStringList ChemParamList;
std::vector<TTable *> ChemFlagTbls;
TTable *TmpCastFlagsTbl = nullptr;
TTable *TmpCastOldFlagsTbl = nullptr;
TTable *TmpFlagsTbl = nullptr;
TTable *TsFlagsStructTbl = nullptr;
TTable *ChemFlagsStructTbl = nullptr;
TQuery *TmpDataQry = nullptr;
TQuery *LocalWorkQry = nullptr;

int CastFLon = 0, CastFLat = 0, CastFDT = 0, CastFD = 0;
int LevelPresFlag = 0, LevelParamFlag = 0, SpikeFlag = 0;

TRealPoint StationPoint;
TRealPoint PrevStationPoint;
rtl::TDateTime PrevStationDate = 0;
rtl::TDateTime PrevStationTime = 0;
double GridDepthValue = 0;
double GridDepthLow = 0, GridDepthHigh = 0, GridDepthMean = 0, GridDepthMin = 0;
bool StationInGrid = false;
TRealRect DuplWindow;
rtl::TDateTime DuplTimeMin = 0, DuplTimeMax = 0;
TRegion LocationRegion;
TRect RegionScreenRect{1, 1, 50000, 22000};

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

TTreeView *ErrorsTreeView = nullptr;
QListWidget *ParamListBox = nullptr;
QCheckBox *AutoQcCheckBox = nullptr;
TBits ClimErrorPoints;
TBits DensInversionPoints;
bool ClimErrorFound = false;
bool SpikeFound = false;

QProgressBar *TotalGauge = nullptr;
QProgressBar *CruiseGauge = nullptr;
QLabel *CruiseLabel = nullptr;
QLabel *TotalLabel = nullptr;
QLabel *EscHintLabel = nullptr;

std::string ClimSearchPath;
TTable *ParamTbl = nullptr;
TTable *UndoCastTbl = nullptr;
TTable *UndoParamTbl = nullptr;
TQuery *FlagCastQry = nullptr;
TQuery *FlagLevelQry = nullptr;
TZqCommand *FlagUpdateCmd = nullptr;
TZqQuery *FlagParamsQry = nullptr;
rtl::TStringList FlagCruiseList;
rtl::TStringList AllParamAbbrs;
rtl::TStringList AllParamNames;

int32_t IntMax(int32_t a, int32_t b) { return b > a ? b : a; }

bool IsPtsParam(const std::string &Abbr) { return Abbr == "TEMP" || Abbr == "PSAL" || Abbr == "DENS"; }

std::string ParamTableName(const std::string &Abbr)
{
    if (IsPtsParam(Abbr))
        return "PTS_Data";
    if (Abbr == "PRESS")
        return "";
    return Abbr;
}

double RoundPres(double Pres) { return std::nearbyint(Pres * 10.0) / 10.0; }

std::string SqlFloat(double Value) { return rtl::FloatToStr(Value); }

std::string SqlExactFloat(double Value)
{
    char Buffer[64];
    const auto Res = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
    return std::string(Buffer, Res.ptr);
}

std::string SqlDate(rtl::TDateTime Value)
{
    int Y = 0, M = 0, D = 0;
    rtl::DecodeDate(std::trunc(Value), Y, M, D);
    return std::to_string(M) + "/" + std::to_string(D) + "/" + std::to_string(Y);
}

std::string SqlTime(rtl::TDateTime Value)
{
    return rtl::FormatDateTime("hh.nn.ss", std::fabs(Value - std::trunc(Value)));
}

rtl::TDateTime CastMoment(rtl::TDateTime Date, rtl::TDateTime Time) { return Date < 0 ? Date - Time : Date + Time; }

void QcProcessMessages() { ProcessMessages(); }

void QcRestoreCursor() { SetScreenCursor(crDefault); }

TLocalWriteBatch::TLocalWriteBatch(std::string AFolder) : FFolder(std::move(AFolder))
{
    Session.StartTransaction(FFolder);
    FOpen = true;
}

TLocalWriteBatch::~TLocalWriteBatch()
{
    if (!FOpen)
        return;
    try {
        Session.Rollback(FFolder);
    } catch (...) {
        // Unwinding already: the engine's own error is the one to report.
    }
}

void TLocalWriteBatch::Commit()
{
    if (FOpen) {
        FOpen = false;
        Session.Commit(FFolder);
    }
}

void MergeFlagRows(TTable &ATarget, TTable &ASource, const std::vector<std::string> &AMappings)
{
    TTable Dest;
    Dest.SetDatabaseName(ATarget.DatabaseName());
    Dest.SetTableName(ATarget.TableName());
    TBatchMove Move;
    Move.Source = &ASource;
    Move.Destination = &Dest;
    Move.Mode = batAppendUpdate;
    Move.Mappings = AMappings;
    Move.Execute();
    ATarget.InvalidateRows();
}
