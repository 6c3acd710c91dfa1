// qxZqStanConvert: the conversion matrix and the raw value conversions.
//
// Every conversion goes through an exact intermediate (a 128-bit integer, a
// double, a decimal text or a time stamp) and is checked against the
// target's range before anything is written: an integer that does not fit,
// a double beyond an integer's range, an unsigned 64-bit value beyond the
// signed range and a text longer than its destination all raise a
// conversion error instead of being cut or wrapped.
#include "dataaccess/stan/qxZqStanConvert.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "dataaccess/stan/qxZqStanConst.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanUtil.h"
#include "platform/rtl/CLocaleText.h"
#include "platform/rtl/FMTBcd.h"
#include "platform/rtl/SysUtils.h"

namespace {

using TInt = __int128;

constexpr int CTypeCount = 35;

// The matrix, one row per source type, one column per target type, both in
// TZqDataType order ('x' allowed).
constexpr const char *CMatrix[CTypeCount] = {
    "x..................................", // dtUnknown
    ".xxxxxxxxx..xx....xx...............", // dtBoolean
    ".xxxxxxxxxxxxx....xx...............", // dtSByte
    ".xxxxxxxxxxxxx....xx...............", // dtInt16
    ".xxxxxxxxxxxxx....xx...............", // dtInt32
    ".xxxxxxxxxxxxx....xx...............", // dtInt64
    ".xxxxxxxxxxxxx....xx...............", // dtByte
    ".xxxxxxxxxxxxx....xx...............", // dtUInt16
    ".xxxxxxxxxxxxx....xx...............", // dtUInt32
    ".xxxxxxxxxxxxx....xx...............", // dtUInt64
    "..xxxxxxxxxxxx....xx...............", // dtDouble
    "..xxxxxxxxxxxx....xx...............", // dtCurrency
    ".xxxxxxxxxxxxx....xx...............", // dtBCD
    ".xxxxxxxxxxxxx....xx...............", // dtFmtBCD
    "..............xxxxxx...............", // dtDateTime
    "..............xx.xxx...............", // dtTime
    "..............x.xxxx...............", // dtDate
    "..............xxxxxx...............", // dtDateTimeStamp
    ".xxxxxxxxxxxxxxxxxxxxxxxxxxx.....x.", // dtAnsiString
    ".xxxxxxxxxxxxxxxxxxxxxxxxxxx.....x.", // dtWideString
    "..................xxxxxxxxxx.......", // dtByteString
    ".....................xxxxxxx.......", // dtBlob
    ".....................xxxxxxx.......", // dtMemo
    ".....................xxxxxxx.......", // dtWideMemo
    ".....................xxxxxxx.......", // dtHBlob
    ".....................xxxxxxx.......", // dtHMemo
    ".....................xxxxxxx.......", // dtWideHMemo
    ".....................xxxxxxx.......", // dtHBFile
    "............................xx.....", // dtRowSetRef
    "............................xx.....", // dtCursorRef
    "..............................x....", // dtRowRef
    "...............................x...", // dtArrayRef
    "................................x..", // dtParentRowRef
    "..................xx.............x.", // dtGUID
    "..................................x", // dtObject
};

bool IsIntegerType(TZqDataType T) { return T >= dtBoolean && T <= dtUInt64; }
bool IsUnsignedType(TZqDataType T) { return T >= dtByte && T <= dtUInt64; }
bool IsBcdType(TZqDataType T) { return T == dtBCD || T == dtFmtBCD; }
bool IsWideType(TZqDataType T) { return T == dtWideString || T == dtWideMemo || T == dtWideHMemo; }
bool IsTextType(TZqDataType T) { return T == dtAnsiString || T == dtWideString; }
bool IsDateType(TZqDataType T) { return T >= dtDateTime && T <= dtDateTimeStamp; }

const char *TypeName(TZqDataType T) { return ZqDataTypeNames[T]; }

[[noreturn]] void RaiseOutOfRange(const std::string &AValue, TZqDataType ATarget)
{
    throw rtl::EConvertError("Value " + AValue + " is out of range of data type " + TypeName(ATarget));
}

[[noreturn]] void RaiseBadText(std::string_view AText, TZqDataType ATarget)
{
    throw rtl::EConvertError("'" + std::string(AText) + "' is not a valid " + TypeName(ATarget) + " value");
}

std::string Int128ToStr(TInt AValue)
{
    if (AValue == 0)
        return "0";
    bool Neg = AValue < 0;
    unsigned __int128 U = Neg ? static_cast<unsigned __int128>(-(AValue + 1)) + 1 : AValue;
    char Buf[48];
    int I = sizeof(Buf);
    while (U != 0) {
        Buf[--I] = static_cast<char>('0' + static_cast<int>(U % 10));
        U /= 10;
    }
    if (Neg)
        Buf[--I] = '-';
    return std::string(Buf + I, sizeof(Buf) - I);
}

// ---- integers -------------------------------------------------------------

// Reads an integer source exactly; a Boolean reads as -1 or 0.
TInt ReadInteger(TZqDataType AType, const void *ASource)
{
    switch (AType) {
    case dtBoolean: { int16_t V; std::memcpy(&V, ASource, 2); return V != 0 ? -1 : 0; }
    case dtSByte: { int8_t V; std::memcpy(&V, ASource, 1); return V; }
    case dtInt16: { int16_t V; std::memcpy(&V, ASource, 2); return V; }
    case dtInt32: { int32_t V; std::memcpy(&V, ASource, 4); return V; }
    case dtInt64: { int64_t V; std::memcpy(&V, ASource, 8); return V; }
    case dtByte: { uint8_t V; std::memcpy(&V, ASource, 1); return V; }
    case dtUInt16: { uint16_t V; std::memcpy(&V, ASource, 2); return V; }
    case dtUInt32: { uint32_t V; std::memcpy(&V, ASource, 4); return V; }
    case dtUInt64: { uint64_t V; std::memcpy(&V, ASource, 8); return V; }
    default: return 0;
    }
}

void IntegerRange(TZqDataType AType, TInt &AMin, TInt &AMax)
{
    switch (AType) {
    case dtSByte: AMin = INT8_MIN; AMax = INT8_MAX; break;
    case dtInt16: AMin = INT16_MIN; AMax = INT16_MAX; break;
    case dtInt32: AMin = INT32_MIN; AMax = INT32_MAX; break;
    case dtInt64: AMin = INT64_MIN; AMax = INT64_MAX; break;
    case dtByte: AMin = 0; AMax = UINT8_MAX; break;
    case dtUInt16: AMin = 0; AMax = UINT16_MAX; break;
    case dtUInt32: AMin = 0; AMax = UINT32_MAX; break;
    case dtUInt64: AMin = 0; AMax = UINT64_MAX; break;
    default: AMin = AMax = 0; break;
    }
}

// Writes an integer into an integer or Boolean target. A Boolean target
// receives True for any non-zero value. A Boolean source into an unsigned
// target keeps the stored bits of True (all ones), so it reads back as True.
void WriteInteger(TZqDataType ATarget, TInt AValue, void *ADest, bool AFromBoolean = false)
{
    if (ATarget == dtBoolean) {
        int16_t V = AValue != 0 ? -1 : 0;
        if (ADest)
            std::memcpy(ADest, &V, 2);
        return;
    }
    if (AFromBoolean && IsUnsignedType(ATarget) && AValue < 0)
        AValue = static_cast<TInt>(UINT64_MAX);
    TInt Min, Max;
    IntegerRange(ATarget, Min, Max);
    if (AFromBoolean && IsUnsignedType(ATarget) && AValue > Max)
        AValue = Max;
    if (AValue < Min || AValue > Max)
        RaiseOutOfRange(Int128ToStr(AValue), ATarget);
    if (!ADest)
        return;
    switch (ATarget) {
    case dtSByte: { int8_t V = static_cast<int8_t>(AValue); std::memcpy(ADest, &V, 1); break; }
    case dtInt16: { int16_t V = static_cast<int16_t>(AValue); std::memcpy(ADest, &V, 2); break; }
    case dtInt32: { int32_t V = static_cast<int32_t>(AValue); std::memcpy(ADest, &V, 4); break; }
    case dtInt64: { int64_t V = static_cast<int64_t>(AValue); std::memcpy(ADest, &V, 8); break; }
    case dtByte: { uint8_t V = static_cast<uint8_t>(AValue); std::memcpy(ADest, &V, 1); break; }
    case dtUInt16: { uint16_t V = static_cast<uint16_t>(AValue); std::memcpy(ADest, &V, 2); break; }
    case dtUInt32: { uint32_t V = static_cast<uint32_t>(AValue); std::memcpy(ADest, &V, 4); break; }
    case dtUInt64: { uint64_t V = static_cast<uint64_t>(AValue); std::memcpy(ADest, &V, 8); break; }
    default: break;
    }
}

void WriteDouble(double AValue, void *ADest)
{
    if (ADest)
        std::memcpy(ADest, &AValue, 8);
}

void WriteCurrencyRaw(TInt AScaled, void *ADest, const std::string &AShown)
{
    if (AScaled < INT64_MIN || AScaled > INT64_MAX)
        RaiseOutOfRange(AShown, dtCurrency);
    int64_t V = static_cast<int64_t>(AScaled);
    if (ADest)
        std::memcpy(ADest, &V, 8);
}

// A double truncated toward zero, refused when it is not a number or lies
// beyond every integer type (the target's own range is checked afterwards).
TInt TruncDouble(double AValue, TZqDataType ATarget)
{
    if (!std::isfinite(AValue) || std::fabs(AValue) >= 1.0e38)
        RaiseOutOfRange(rtl::FloatToStr(AValue), ATarget);
    return static_cast<TInt>(std::trunc(AValue));
}

// ---- decimal text -----------------------------------------------------------

// A decimal number split into its parts, without rounding or loss.
struct TDecimal {
    bool Negative = false;
    std::string IntDigits;  // without leading zeros
    std::string FracDigits; // without trailing zeros
};

// Parses blanks, an optional sign, digits, an optional separator with
// digits, blanks. The separator may be the given one or ".".
bool ParseDecimal(std::string_view AText, char ASeparator, TDecimal &AResult)
{
    std::string T = rtl::Trim(AText);
    size_t I = 0;
    AResult = TDecimal();
    if (I < T.size() && (T[I] == '-' || T[I] == '+')) {
        AResult.Negative = T[I] == '-';
        ++I;
    }
    bool AnyDigit = false;
    while (I < T.size() && T[I] >= '0' && T[I] <= '9') {
        if (!(AResult.IntDigits.empty() && T[I] == '0'))
            AResult.IntDigits += T[I];
        AnyDigit = true;
        ++I;
    }
    if (I < T.size() && (T[I] == ASeparator || T[I] == '.')) {
        ++I;
        while (I < T.size() && T[I] >= '0' && T[I] <= '9') {
            AResult.FracDigits += T[I];
            AnyDigit = true;
            ++I;
        }
    }
    if (!AnyDigit || I != T.size())
        return false;
    while (!AResult.FracDigits.empty() && AResult.FracDigits.back() == '0')
        AResult.FracDigits.pop_back();
    if (AResult.IntDigits.empty() && AResult.FracDigits.empty())
        AResult.Negative = false;
    return true;
}

// The integer part of a decimal (truncated toward zero), or false when it
// has more digits than any integer type holds.
bool DecimalIntPart(const TDecimal &ADec, TInt &AValue)
{
    if (ADec.IntDigits.size() > 30)
        return false;
    TInt V = 0;
    for (char C : ADec.IntDigits)
        V = V * 10 + (C - '0');
    AValue = ADec.Negative ? -V : V;
    return true;
}

// The value times 10000, rounded half away from zero at the fifth decimal.
bool DecimalToScaled(const TDecimal &ADec, TInt &AValue)
{
    if (ADec.IntDigits.size() > 30)
        return false;
    TInt V = 0;
    for (char C : ADec.IntDigits)
        V = V * 10 + (C - '0');
    for (size_t I = 0; I < 4; ++I)
        V = V * 10 + (I < ADec.FracDigits.size() ? ADec.FracDigits[I] - '0' : 0);
    if (ADec.FracDigits.size() > 4 && ADec.FracDigits[4] >= '5')
        ++V;
    AValue = ADec.Negative ? -V : V;
    return true;
}

std::string CurrencyToText(int64_t AScaled, char ASeparator)
{
    TInt V = AScaled;
    bool Neg = V < 0;
    if (Neg)
        V = -V;
    std::string S = Int128ToStr(V / 10000);
    std::string Frac = Int128ToStr(V % 10000);
    S += ASeparator;
    S += std::string(4 - Frac.size(), '0') + Frac;
    return Neg ? "-" + S : S;
}

// A double as plain decimal text (no exponent) with up to 15 significant
// digits, as the toolkit's float-to-text gives it, for the BCD parser.
std::string DoubleToDecimalText(double AValue)
{
    if (!std::isfinite(AValue))
        RaiseOutOfRange(rtl::FloatToStr(AValue), dtBCD);
    std::string Text = rtl::CFloatText(AValue, 'g', 15);
    if (Text.find('e') == std::string::npos)
        return Text;
    // Exponent form: write it out in fixed notation with as many decimals as
    // the 15 significant digits need.
    int Exp = static_cast<int>(std::floor(std::log10(std::fabs(AValue))));
    int Decimals = Exp >= 14 ? 0 : 14 - Exp;
    if (Decimals > 80)
        Decimals = 80;
    std::string S = rtl::CFloatText(AValue, 'f', Decimals);
    if (S.find('.') != std::string::npos) {
        while (S.back() == '0')
            S.pop_back();
        if (S.back() == '.')
            S.pop_back();
    }
    return S;
}

// ---- BCD ----------------------------------------------------------------------

constexpr size_t CBcdSize = 34;
// The BCD record holds 64 digits; a longer number has no BCD form.
constexpr size_t CBcdMaxDigits = 64;

void TextToBcd(std::string_view AText, char ASeparator, void *ADest, TZqDataType ATarget)
{
    TDecimal D;
    if (!ParseDecimal(AText, ASeparator, D))
        RaiseBadText(AText, ATarget);
    if (D.IntDigits.size() + D.FracDigits.size() > CBcdMaxDigits)
        RaiseOutOfRange(std::string(AText), ATarget);
    if (!ADest)
        return;
    // Normalised text with the process separator, which the BCD parser reads.
    std::string N = D.Negative ? "-" : "";
    N += D.IntDigits.empty() ? "0" : D.IntDigits;
    if (!D.FracDigits.empty())
        N += rtl::FormatSettings.DecimalSeparator + D.FracDigits;
    rtl::TBcd Bcd;
    if (!rtl::TryStrToBcd(N, Bcd))
        RaiseBadText(AText, ATarget);
    std::memcpy(ADest, &Bcd, CBcdSize);
}

// The BCD's text with the process decimal separator.
std::string BcdToText(const void *ASource)
{
    rtl::TBcd Bcd;
    std::memcpy(&Bcd, ASource, CBcdSize);
    return rtl::BcdToStr(Bcd);
}

// ---- dates --------------------------------------------------------------------

rtl::TSQLTimeStamp MSecsToSQLTimeStamp(double AMSecs)
{
    rtl::TTimeStamp TS = rtl::MSecsToTimeStamp(std::round(AMSecs));
    rtl::TSQLTimeStamp R = ZqDateToTimeStamp(TS.Date);
    rtl::TSQLTimeStamp T = ZqTimeToTimeStamp(TS.Time);
    R.Hour = T.Hour;
    R.Minute = T.Minute;
    R.Second = T.Second;
    R.Fractions = T.Fractions;
    return R;
}

double SQLTimeStampToMSecs(const rtl::TSQLTimeStamp &AValue)
{
    rtl::TTimeStamp TS;
    TS.Date = ZqTimeStampToDate(AValue);
    TS.Time = ZqTimeStampToTime(AValue);
    return rtl::TimeStampToMSecs(TS);
}

// Reads any date or time source as a time-stamp record.
rtl::TSQLTimeStamp ReadDate(TZqDataType AType, const void *ASource)
{
    switch (AType) {
    case dtDateTime: { double V; std::memcpy(&V, ASource, 8); return MSecsToSQLTimeStamp(V); }
    case dtTime: { int32_t V; std::memcpy(&V, ASource, 4); return ZqTimeToTimeStamp(V); }
    case dtDate: { int32_t V; std::memcpy(&V, ASource, 4); return ZqDateToTimeStamp(V); }
    default: { rtl::TSQLTimeStamp V; std::memcpy(&V, ASource, sizeof(V)); return V; }
    }
}

void WriteDate(TZqDataType ATarget, const rtl::TSQLTimeStamp &AValue, void *ADest)
{
    if (!ADest)
        return;
    switch (ATarget) {
    case dtDateTime: { double V = SQLTimeStampToMSecs(AValue); std::memcpy(ADest, &V, 8); break; }
    case dtTime: { int32_t V = ZqTimeStampToTime(AValue); std::memcpy(ADest, &V, 4); break; }
    case dtDate: { int32_t V = ZqTimeStampToDate(AValue); std::memcpy(ADest, &V, 4); break; }
    default: std::memcpy(ADest, &AValue, sizeof(AValue)); break;
    }
}

// The longest date text: that of 2002-09-29 23:59:59.999 in the default
// date-time format, taken when first needed (the program sets its formats
// before any conversion runs).
uint32_t DateTextLength()
{
    static const uint32_t Len = static_cast<uint32_t>(
        rtl::DateTimeToStr(rtl::EncodeDateTime(2002, 9, 29, 23, 59, 59, 999)).size() + 1);
    return Len;
}

// ---- GUID ----------------------------------------------------------------------

} // namespace

std::string ZqGuidBytesToText(const void *ASource)
{
    rtl::TGUID G;
    static_assert(sizeof(G) == 16, "a GUID is 16 bytes");
    std::memcpy(&G, ASource, 16);
    return rtl::GUIDToString(G);
}

void ZqGuidTextToBytes(std::string_view AText, void *ADest)
{
    rtl::TGUID G;
    if (!rtl::TryStringToGUID(rtl::Trim(AText), G))
        RaiseBadText(AText, dtGUID);
    if (ADest)
        std::memcpy(ADest, &G, 16);
}

void ZqWidenText(const char *ASource, uint32_t ALength, void *ADest)
{
    char *D = static_cast<char *>(ADest);
    for (uint32_t I = 0; I < ALength; ++I) {
        uint16_t C = static_cast<uint8_t>(ASource[I]);
        std::memcpy(D + 2 * I, &C, 2);
    }
}

void ZqNarrowText(const void *ASource, uint32_t ALength, char *ADest)
{
    for (uint32_t I = 0; I < ALength; ++I) {
        uint16_t C;
        std::memcpy(&C, static_cast<const char *>(ASource) + 2 * I, 2);
        ADest[I] = C < 256 ? static_cast<char>(C) : '?';
    }
}

namespace {

void Widen(const char *ASource, uint32_t ALength, void *ADest) { ZqWidenText(ASource, ALength, ADest); }
void Narrow(const void *ASource, uint32_t ALength, char *ADest) { ZqNarrowText(ASource, ALength, ADest); }

std::string SourceText(TZqDataType AType, const void *ASource, uint32_t ALength)
{
    if (AType == dtWideString) {
        std::string S(ALength, '\0');
        Narrow(ASource, ALength, S.data());
        return S;
    }
    return std::string(static_cast<const char *>(ASource), ALength);
}

// The longest text of a scalar, terminator included.
uint32_t MaxTextLength(TZqDataType AType)
{
    switch (AType) {
    case dtBoolean: return 1;
    case dtSByte: return 5;
    case dtInt16: return 7;
    case dtInt32: return 12;
    case dtInt64: return 22;
    case dtByte: return 4;
    case dtUInt16: return 6;
    case dtUInt32: return 11;
    case dtUInt64: return 22;
    case dtDouble: return 19;
    case dtCurrency: return 22;
    case dtBCD:
    case dtFmtBCD: return 67;
    case dtGUID: return 38;
    default: return IsDateType(AType) ? DateTextLength() : 0;
    }
}

std::string FixedTwoDecimals(double AValue)
{
    std::string S = rtl::CFloatText(AValue, 'f', 2);
    size_t P = S.find('.');
    if (P != std::string::npos)
        S[P] = rtl::FormatSettings.DecimalSeparator;
    return S;
}

std::string ScalarToText(TZqDataType AType, const void *ASource)
{
    switch (AType) {
    case dtBoolean: return ReadInteger(dtBoolean, ASource) != 0 ? "T" : "F";
    case dtDouble: { double V; std::memcpy(&V, ASource, 8); return FixedTwoDecimals(V); }
    case dtCurrency: { int64_t V; std::memcpy(&V, ASource, 8); return FixedTwoDecimals(static_cast<double>(V) / 10000.0); }
    case dtBCD:
    case dtFmtBCD: return BcdToText(ASource);
    case dtGUID: return ZqGuidBytesToText(ASource);
    case dtDateTime:
    case dtDateTimeStamp: return rtl::DateTimeToStr(rtl::SQLTimeStampToDateTime(ReadDate(AType, ASource)));
    case dtTime:
        return rtl::FormatDateTime(rtl::FormatSettings.ShortTimeFormat,
                                   rtl::SQLTimeStampToDateTime(ReadDate(AType, ASource)));
    case dtDate:
        return rtl::FormatDateTime(rtl::FormatSettings.ShortDateFormat,
                                   rtl::SQLTimeStampToDateTime(ReadDate(AType, ASource)));
    default: return Int128ToStr(ReadInteger(AType, ASource));
    }
}

// Writes a text with its terminator; a text that does not fit the
// destination raises instead of being cut.
void WriteText(const std::string &AText, TZqDataType ATarget, void *ADest, uint32_t ATargetSize,
               uint32_t &ATargetLength)
{
    bool Wide = ATarget == dtWideString;
    uint64_t Need = Wide ? 2ull * AText.size() : AText.size();
    if (Need > ATargetSize)
        throw rtl::EConvertError("Text '" + AText + "' does not fit into " + std::to_string(ATargetSize) +
                                 " bytes of data type " + TypeName(ATarget));
    ATargetLength = static_cast<uint32_t>(AText.size() + 1);
    if (!ADest)
        return;
    if (Wide) {
        Widen(AText.data(), static_cast<uint32_t>(AText.size()), ADest);
        uint16_t Z = 0;
        std::memcpy(static_cast<char *>(ADest) + Need, &Z, 2);
    } else {
        std::memcpy(ADest, AText.data(), AText.size());
        static_cast<char *>(ADest)[AText.size()] = '\0';
    }
}

// ---- text to scalar ------------------------------------------------------------------

void TextToScalar(TZqDataType ATarget, std::string_view AText, void *ADest)
{
    char Sep = rtl::FormatSettings.DecimalSeparator;
    if (ATarget == dtBoolean) {
        char C = AText.empty() ? '\0' : AText[0];
        WriteInteger(dtBoolean, (C == 'T' || C == 't' || C == 'Y' || C == 'y') ? 1 : 0, ADest);
    } else if (IsIntegerType(ATarget)) {
        TDecimal D;
        TInt V = 0;
        if (!ParseDecimal(AText, Sep, D))
            RaiseBadText(AText, ATarget);
        if (!DecimalIntPart(D, V))
            RaiseOutOfRange(rtl::Trim(AText), ATarget);
        WriteInteger(ATarget, V, ADest);
    } else if (ATarget == dtDouble) {
        WriteDouble(rtl::StrToFloat(rtl::Trim(AText)), ADest);
    } else if (ATarget == dtCurrency) {
        TDecimal D;
        TInt V = 0;
        if (ParseDecimal(AText, Sep, D)) {
            if (!DecimalToScaled(D, V))
                RaiseOutOfRange(rtl::Trim(AText), ATarget);
        } else {
            double F = rtl::StrToFloat(rtl::Trim(AText));
            if (!std::isfinite(F) || std::fabs(F) >= 1.0e30)
                RaiseOutOfRange(rtl::Trim(AText), ATarget);
            V = static_cast<TInt>(std::nearbyint(F * 10000.0));
        }
        WriteCurrencyRaw(V, ADest, rtl::Trim(AText));
    } else if (IsBcdType(ATarget)) {
        TextToBcd(AText, Sep, ADest, ATarget);
    } else if (IsDateType(ATarget)) {
        WriteDate(ATarget, rtl::DateTimeToSQLTimeStamp(rtl::StrToDateTime(rtl::Trim(AText))), ADest);
    } else if (ATarget == dtGUID) {
        ZqGuidTextToBytes(AText, ADest);
    }
}

// ---- numeric to numeric --------------------------------------------------------------

void NumericToNumeric(TZqDataType ASourceType, TZqDataType ATarget, const void *ASource, void *ADest)
{
    if (IsIntegerType(ASourceType)) {
        TInt V = ReadInteger(ASourceType, ASource);
        if (IsIntegerType(ATarget))
            WriteInteger(ATarget, V, ADest, ASourceType == dtBoolean);
        else if (ATarget == dtDouble)
            WriteDouble(static_cast<double>(V), ADest);
        else if (ATarget == dtCurrency)
            WriteCurrencyRaw(V * 10000, ADest, Int128ToStr(V));
        else
            TextToBcd(Int128ToStr(V), '.', ADest, ATarget);
    } else if (ASourceType == dtDouble) {
        double V;
        std::memcpy(&V, ASource, 8);
        if (IsIntegerType(ATarget))
            WriteInteger(ATarget, TruncDouble(V, ATarget), ADest);
        else if (ATarget == dtCurrency) {
            double S = std::nearbyint(V * 10000.0);
            if (!std::isfinite(S) || S < -9223372036854775808.0 || S >= 9223372036854775808.0)
                RaiseOutOfRange(rtl::FloatToStr(V), ATarget);
            WriteCurrencyRaw(static_cast<TInt>(S), ADest, rtl::FloatToStr(V));
        } else
            TextToBcd(DoubleToDecimalText(V), '.', ADest, ATarget);
    } else if (ASourceType == dtCurrency) {
        int64_t C;
        std::memcpy(&C, ASource, 8);
        if (IsIntegerType(ATarget))
            WriteInteger(ATarget, static_cast<TInt>(C) / 10000, ADest);
        else if (ATarget == dtDouble)
            WriteDouble(static_cast<double>(C) / 10000.0, ADest);
        else
            TextToBcd(CurrencyToText(C, '.'), '.', ADest, ATarget);
    } else {
        // BCD source; BCD to BCD never gets here (handed back in place).
        std::string T = BcdToText(ASource);
        TDecimal D;
        if (!ParseDecimal(T, rtl::FormatSettings.DecimalSeparator, D))
            RaiseBadText(T, ASourceType);
        if (ATarget == dtBoolean) {
            WriteInteger(dtBoolean, (D.IntDigits.empty() && D.FracDigits.empty()) ? 0 : 1, ADest);
        } else if (IsIntegerType(ATarget)) {
            TInt V = 0;
            if (!DecimalIntPart(D, V))
                RaiseOutOfRange(T, ATarget);
            WriteInteger(ATarget, V, ADest);
        } else if (ATarget == dtDouble) {
            double V = 0;
            if (!rtl::TryStrToFloat(T, V))
                RaiseBadText(T, ATarget);
            WriteDouble(V, ADest);
        } else {
            TInt V = 0;
            if (!DecimalToScaled(D, V))
                RaiseOutOfRange(T, ATarget);
            WriteCurrencyRaw(V, ADest, T);
        }
    }
}

// ---- strings and large objects ---------------------------------------------------------

void TextOrBlobToTextOrBlob(TZqDataType S, TZqDataType T, void *ASource, uint32_t ASourceLength, void *&ATarget,
                            uint32_t ATargetSize, uint32_t &ATargetLength)
{
    auto Pass = [&](uint32_t ALen) {
        ATargetLength = ALen;
        if (ASource)
            ATarget = ASource;
    };
    auto WidenInto = [&](uint32_t ALen) {
        ATargetLength = ALen;
        if (ASource && ATarget)
            Widen(static_cast<const char *>(ASource), ALen, ATarget);
    };
    auto NarrowInto = [&](uint32_t ALen) {
        ATargetLength = ALen;
        if (ASource && ATarget)
            Narrow(ASource, ALen, static_cast<char *>(ATarget));
    };
    auto Min = [](uint64_t A, uint64_t B) { return static_cast<uint32_t>(A < B ? A : B); };
    bool SrcWideMemo = S == dtWideMemo || S == dtWideHMemo;
    bool TgtWideMemo = T == dtWideMemo || T == dtWideHMemo;
    bool SrcBlobLike = S == dtBlob || S == dtHBlob || S == dtHBFile;
    bool SrcMemoLike = S == dtMemo || S == dtHMemo;

    if (S == dtAnsiString) {
        if (IsWideType(T))
            WidenInto(Min(ASourceLength, ATargetSize / 2));
        else
            Pass(Min(ASourceLength, ATargetSize));
    } else if (S == dtWideString) {
        if (T == dtAnsiString || T == dtMemo || T == dtHMemo)
            NarrowInto(Min(ASourceLength, ATargetSize));
        else if (TgtWideMemo)
            Pass(Min(ASourceLength, ATargetSize));
        else
            Pass(Min(2ull * ASourceLength, ATargetSize));
    } else if (S == dtByteString) {
        if (IsWideType(T))
            Pass(Min(ASourceLength / 2, ATargetSize / 2));
        else
            Pass(Min(ASourceLength, ATargetSize));
    } else if (SrcWideMemo) {
        if (T == dtMemo || T == dtHMemo)
            NarrowInto(Min(ASourceLength, ATargetSize));
        else if (TgtWideMemo)
            Pass(Min(ASourceLength, ATargetSize));
        else
            Pass(Min(2ull * ASourceLength, ATargetSize));
    } else if (TgtWideMemo) {
        if (SrcBlobLike)
            Pass(Min(ASourceLength / 2, ATargetSize / 2));
        else if (SrcMemoLike)
            WidenInto(Min(ASourceLength, ATargetSize / 2));
    } else {
        Pass(Min(ASourceLength, ATargetSize));
    }
}

} // namespace

bool ZqIsConvertiblePair(TZqDataType ASource, TZqDataType ATarget) noexcept
{
    int S = static_cast<int>(ASource), T = static_cast<int>(ATarget);
    if (S < 0 || S >= CTypeCount || T < 0 || T >= CTypeCount)
        return false;
    return CMatrix[S][T] == 'x';
}

uint32_t ZqDataTypeStorageSize(TZqDataType AType) noexcept
{
    switch (AType) {
    case dtBoolean: return 2;
    case dtSByte:
    case dtByte: return 1;
    case dtInt16:
    case dtUInt16: return 2;
    case dtInt32:
    case dtUInt32: return 4;
    case dtInt64:
    case dtUInt64: return 8;
    case dtDouble:
    case dtCurrency:
    case dtDateTime: return 8;
    case dtBCD:
    case dtFmtBCD: return 34;
    case dtTime:
    case dtDate: return 4;
    case dtDateTimeStamp: return 16;
    case dtGUID: return 16;
    case dtObject: return 4;
    default: return 0;
    }
}

void ZqConvertRawData(TZqDataType ASourceType, TZqDataType ATargetType, void *ASource, uint32_t ASourceLength,
                      void *&ATarget, uint32_t ATargetSize, uint32_t &ATargetLength)
{
    if (ASourceType == ATargetType) {
        ATargetLength = ASourceLength;
        if (ASource)
            ATarget = ASource;
        return;
    }
    if (!ZqIsConvertiblePair(ASourceType, ATargetType))
        ZqRaiseError(nullptr, {"Stan"}, 19, {});
    ATargetLength = ZqDataTypeStorageSize(ATargetType);
    const bool SrcNumeric = ASourceType >= dtBoolean && ASourceType <= dtFmtBCD;
    const bool TgtNumeric = ATargetType >= dtBoolean && ATargetType <= dtFmtBCD;

    if (IsTextType(ATargetType) && (SrcNumeric || IsDateType(ASourceType) || ASourceType == dtGUID)) {
        if (!ASource) {
            ATargetLength = MaxTextLength(ASourceType);
            return;
        }
        WriteText(ScalarToText(ASourceType, ASource), ATargetType, ATarget, ATargetSize, ATargetLength);
    } else if (SrcNumeric && TgtNumeric) {
        if (IsBcdType(ASourceType) && IsBcdType(ATargetType)) {
            if (ASource)
                ATarget = ASource;
            return;
        }
        if (ASource)
            NumericToNumeric(ASourceType, ATargetType, ASource, ATarget);
    } else if (IsDateType(ASourceType)) {
        if (ASource)
            WriteDate(ATargetType, ReadDate(ASourceType, ASource), ATarget);
    } else if (IsTextType(ASourceType) && (TgtNumeric || IsDateType(ATargetType) || ATargetType == dtGUID)) {
        if (ASource)
            TextToScalar(ATargetType, SourceText(ASourceType, ASource, ASourceLength), ATarget);
    } else if (ASourceType >= dtAnsiString && ASourceType <= dtHBFile) {
        TextOrBlobToTextOrBlob(ASourceType, ATargetType, ASource, ASourceLength, ATarget, ATargetSize,
                               ATargetLength);
    } else {
        // dtRowSetRef and dtCursorRef into each other carry no data.
        ATargetLength = 0;
    }
}

// ---- TZqFormatConversionBuffer ---------------------------------------------------------

TZqFormatConversionBuffer::~TZqFormatConversionBuffer() { Clear(); }

void *TZqFormatConversionBuffer::Check(uint32_t ASize)
{
    uint64_t Need = static_cast<uint64_t>(ASize) + 2;
    if (!FBuffer || Need > FSize) {
        uint32_t NewSize = Need > FSize ? static_cast<uint32_t>(Need) : FSize;
        void *P = std::realloc(FBuffer, NewSize);
        if (!P)
            throw std::bad_alloc();
        FBuffer = P;
        FSize = NewSize;
    }
    return FBuffer;
}

void *TZqFormatConversionBuffer::CheckForTypes(uint32_t ASize, uint32_t &ALength, TZqDataType ASourceType,
                                               TZqDataType ATargetType)
{
    ALength = ASize;
    if (IsWideType(ASourceType) || IsWideType(ATargetType))
        return Check(ASize * 2);
    return Check(ASize);
}

void TZqFormatConversionBuffer::Clear() noexcept
{
    std::free(FBuffer);
    FBuffer = nullptr;
    FSize = CInitialSize;
}

