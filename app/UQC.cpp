// UQC: the engine's shared state, the flag and parameter helpers and the
// number, date and SQL-text helpers that every check shares. The checks
// themselves live in UQC_Station.cpp (cruise loop, station checks),
// UQC_Profile.cpp (level checks, parameter list) and UQC_Climat.cpp
// (location region, climatology loading).
#include "app/UQC.h"

#include "app/UQC_Internal.h"

#include "platform/dataset/TField.h"
#include "platform/localdb/TBatchMove.h"
#include "platform/localdb/TSession.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TApplication.h"

#include <charconv>
#include <cmath>

TQcState Qc;

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

void QcEscPressed()
{
    if (!AbortRequested) {
        AbortRequested = true;
        QcInterrupted = true;
    }
}

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

bool IsEmptyValue(TField *F)
{
    if (F == nullptr || F->IsNull())
        return true;
    const rtl::TFieldType T = F->DataType();
    return (T == rtl::ftString || T == rtl::ftWideString || T == rtl::ftFixedChar) && F->AsString().empty();
}

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
