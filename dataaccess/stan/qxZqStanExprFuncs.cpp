// qxZqStanExprFuncs: the built-in functions of the expression language.
//
// Conventions of every scalar function unless its comment says otherwise:
// a required argument that is null-or-empty (unassigned, Null, '') gives an
// unassigned result; an empty string result is returned unassigned; string
// positions are 1-based. An optional argument given as null-or-empty takes
// its default. Failures (a conversion the variant refuses, a square root of
// a negative number, a division by zero, a length out of range) raise, and
// the evaluator reports them as error 118.
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "dataaccess/stan/qxZqStanExpr.h"
#include "dataaccess/stan/qxZqStanExprInt.h"
#include "dataaccess/stan/qxZqStanRegExpr.h"
#include "platform/rtl/CLocaleText.h"

using rtl::TDateTime;
using rtl::Variant;
using TArgs = std::vector<Variant>;

namespace {

// Results longer than this many characters (REPEAT, SPACE, LPAD, RPAD,
// RAND) are refused: they would only exhaust memory.
constexpr int64_t MaxResultLength = 16 * 1024 * 1024;

bool NullArg(const TArgs &A, size_t AIndex) { return AIndex < A.size() && zqexpr::IsNullOrEmpty(A[AIndex]); }

// True when any of the first ACount arguments is null-or-empty.
bool AnyNull(const TArgs &A, size_t ACount)
{
    for (size_t I = 0; I < ACount && I < A.size(); ++I)
        if (zqexpr::IsNullOrEmpty(A[I])) return true;
    return false;
}

bool Given(const TArgs &A, size_t AIndex) { return AIndex < A.size() && !zqexpr::IsNullOrEmpty(A[AIndex]); }

std::string Str(const Variant &V) { return rtl::VarToStr(V); }

// A string result: empty is unassigned; a wide argument keeps the result wide.
void SetStr(Variant &AResult, const std::string &AValue, const Variant *ALike = nullptr)
{
    if (AValue.empty()) {
        AResult = Variant();
        return;
    }
    AResult = Variant(AValue);
    if (ALike && ALike->VType() == rtl::varOleStr) AResult = rtl::VarAsType(AResult, rtl::varOleStr);
}

void CheckLength(int64_t ALength)
{
    if (ALength < 0 || ALength > MaxResultLength)
        throw rtl::Exception("Length " + std::to_string(ALength) + " is out of range");
}

double CheckFloat(double AValue)
{
    if (std::isnan(AValue)) throw rtl::EInvalidOp("Invalid floating point operation");
    if (std::isinf(AValue)) throw rtl::EOverflow("Floating point overflow");
    return AValue;
}

// An integer result of a real computation: 32 bits when it fits.
Variant IntResult(double AValue)
{
    CheckFloat(AValue);
    if (AValue >= -2147483648.0 && AValue <= 2147483647.0) return Variant(static_cast<int>(AValue));
    if (AValue >= -9.2e18 && AValue <= 9.2e18) return Variant(static_cast<int64_t>(AValue));
    throw rtl::EOverflow("Floating point overflow");
}

Variant Small(int AValue) { return Variant::FromTyped(AValue, rtl::varSmallint); }

// A date argument; values outside the years 1 to 9999 are refused before
// the date routines see them.
TDateTime DateArg(const Variant &V)
{
    TDateTime D = V.AsDateTime();
    if (!(D > -693594.0 && D < 2958466.0)) throw rtl::EConvertError("Invalid argument to date encode");
    return D;
}

// ---- dates -------------------------------------------------------------------

void Decode(const Variant &V, int &Y, int &M, int &D)
{
    rtl::DecodeDate(DateArg(V), Y, M, D);
}

// The time of day of a date-time, counted forward from midnight also for
// days before 1899-12-30 (whose values are day minus time).
double TimeOf(TDateTime AValue) { return std::fabs(AValue - std::trunc(AValue)); }

TDateTime DateOf(TDateTime AValue) { return std::trunc(AValue); }

// Month counts beyond the calendar's 10000 years are refused before any
// arithmetic on them can overflow.
constexpr int64_t MaxMonths = 120000;

int64_t MonthCount(const Variant &V, int64_t AFactor)
{
    int64_t N = V.AsInt64();
    if (N > MaxMonths || N < -MaxMonths) throw rtl::EConvertError("Invalid argument to date encode");
    return N * AFactor;
}

TDateTime IncMonth(TDateTime AValue, int64_t AMonths)
{
    if (AMonths > MaxMonths || AMonths < -MaxMonths) throw rtl::EConvertError("Invalid argument to date encode");
    int Y, M, D;
    rtl::DecodeDate(AValue, Y, M, D);
    int64_t Total = int64_t(Y) * 12 + (M - 1) + AMonths;
    if (Total < 12 || Total >= int64_t(10000) * 12) throw rtl::EConvertError("Invalid argument to date encode");
    int NY = static_cast<int>(Total / 12), NM = static_cast<int>(Total % 12) + 1;
    int ND = std::min(D, rtl::DaysInAMonth(NY, NM));
    return rtl::ComposeDateTime(rtl::EncodeDate(NY, NM, ND), TimeOf(AValue));
}

// Milliseconds on one straight line, so that adding time works the same on
// both sides of 1899-12-30.
// Both refuse values outside the years 1 to 9999 (the time stamp's range).
constexpr double MaxMSecs = 3652060.0 * rtl::MSecsPerDay;  // 10000-01-01 in ms since 0001-01-01
double ToMSecs(TDateTime AValue)
{
    if (!(AValue > -693594.0 && AValue < 2958466.0)) throw rtl::EConvertError("Invalid argument to date encode");
    return rtl::TimeStampToMSecs(rtl::DateTimeToTimeStamp(AValue));
}
TDateTime FromMSecs(double AMSecs)
{
    if (!(AMSecs >= rtl::MSecsPerDay && AMSecs < MaxMSecs)) throw rtl::EConvertError("Invalid argument to date encode");
    return rtl::TimeStampToDateTime(rtl::MSecsToTimeStamp(AMSecs));
}

int DayOfYear(const Variant &V)
{
    int Y, M, D;
    Decode(V, Y, M, D);
    int N = D;
    for (int I = 1; I < M; ++I) N += rtl::DaysInAMonth(Y, I);
    return N;
}

// A date-time text read in the field order of AFormat (letters d, m, y),
// with the first of " -./\" in the format as the date separator and an
// optional time after the date.
bool TryParseDate(const std::string &AText, const std::string &AFormat, TDateTime &AValue)
{
    char Sep = '/';
    size_t SepPos = AFormat.find_first_of(" -./\\");
    if (SepPos != std::string::npos) Sep = AFormat[SepPos];
    std::string Order;
    for (char C : AFormat) {
        char U = rtl::CUpCase(C);
        if ((U == 'D' || U == 'M' || U == 'Y') && Order.find(U) == std::string::npos) Order += U;
    }
    if (Order.size() != 3) Order = "MDY";
    std::string Text = rtl::Trim(AText);
    int Fields[3] = {0, 0, 0};
    int Digits[3] = {0, 0, 0};
    size_t P = 0;
    for (int F = 0; F < 3; ++F) {
        if (F > 0) {
            if (P >= Text.size() || Text[P] != Sep) return false;
            ++P;
        }
        size_t Start = P;
        while (P < Text.size() && std::isdigit(static_cast<unsigned char>(Text[P])) && P - Start < 9) {
            Fields[F] = Fields[F] * 10 + (Text[P] - '0');
            ++P;
        }
        Digits[F] = static_cast<int>(P - Start);
        if (Digits[F] == 0) return false;
    }
    int Y = 0, M = 0, D = 0, YearDigits = 0;
    for (int F = 0; F < 3; ++F) {
        if (Order[static_cast<size_t>(F)] == 'Y') {
            Y = Fields[F];
            YearDigits = Digits[F];
        } else if (Order[static_cast<size_t>(F)] == 'M') {
            M = Fields[F];
        } else {
            D = Fields[F];
        }
    }
    if (YearDigits <= 2) {
        // Two-digit years fall in the window the format settings give.
        int Y0, M0, D0;
        rtl::DecodeDate(rtl::Date(), Y0, M0, D0);
        int Pivot = Y0 - rtl::FormatSettings.TwoDigitYearCenturyWindow;
        Y += Pivot / 100 * 100;
        if (Y < Pivot) Y += 100;
    }
    TDateTime Date = 0;
    if (!rtl::TryEncodeDate(Y, M, D, Date)) return false;
    std::string Rest = rtl::Trim(Text.substr(P));
    TDateTime Time = 0;
    if (!Rest.empty() && !rtl::TryStrToTime(Rest, Time)) return false;
    AValue = rtl::ComposeDateTime(Date, Time);
    return true;
}

} // namespace

namespace zqexpr {
namespace {

// ---- strings ------------------------------------------------------------------

void FnUpper(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    SetStr(R, rtl::AnsiUpperCase(Str(A[0])), &A[0]);
}

void FnLower(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    SetStr(R, rtl::AnsiLowerCase(Str(A[0])), &A[0]);
}

void FnSubstring(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    std::string S = Str(A[0]);
    int64_t Len = static_cast<int64_t>(S.size());
    int64_t Start = A[1].AsInt64();
    if (Start < 0) Start = Len + Start + 1;
    int64_t Count = Len;
    if (A.size() > 2) {
        if (NullArg(A, 2)) return;
        Count = A[2].AsInt64();
        if (Count <= 0) return;
    }
    if (Start < 1) Start = 1;
    if (Start > Len) return;
    SetStr(R, S.substr(static_cast<size_t>(Start - 1), static_cast<size_t>(std::min(Count, Len))), &A[0]);
}

enum TTrimSide { tsBoth, tsLeft, tsRight };

void DoTrim(const TArgs &A, Variant &R, TTrimSide ASide)
{
    if (AnyNull(A, 1)) return;
    std::string S = Str(A[0]);
    std::string Chars = Given(A, 1) ? Str(A[1]) : std::string(" ");
    size_t B = 0, E = S.size();
    if (ASide != tsRight)
        while (B < E && Chars.find(S[B]) != std::string::npos) ++B;
    if (ASide != tsLeft)
        while (E > B && Chars.find(S[E - 1]) != std::string::npos) --E;
    SetStr(R, S.substr(B, E - B), &A[0]);
}
void FnTrim(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R) { DoTrim(A, R, tsBoth); }
void FnTrimLeft(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R) { DoTrim(A, R, tsLeft); }
void FnTrimRight(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R) { DoTrim(A, R, tsRight); }

// CONCAT: when one side is null-or-empty the other is returned unchanged.
void FnConcat(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (IsNullOrEmpty(A[0])) R = A[1];
    else if (IsNullOrEmpty(A[1])) R = A[0];
    else SetStr(R, Str(A[0]) + Str(A[1]), &A[0]);
    if (R.IsStr() && R.AsString().empty()) R = Variant();
}

void FnInitCap(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    std::string S = Str(A[0]);
    bool InWord = false;
    for (char &C : S) {
        bool Letter = (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z');
        if (Letter) {
            C = InWord ? rtl::CLowCase(C) : rtl::CUpCase(C);
        }
        InWord = Letter;
    }
    SetStr(R, S, &A[0]);
}

void DoPad(const TArgs &A, Variant &R, bool ALeft)
{
    if (AnyNull(A, 2)) return;
    std::string S = Str(A[0]);
    int64_t Len = A[1].AsInt64();
    CheckLength(Len);
    std::string Pad = Given(A, 2) ? Str(A[2]) : std::string(" ");
    if (static_cast<int64_t>(S.size()) >= Len) {
        R = A[0];
        return;
    }
    std::string Fill;
    size_t Need = static_cast<size_t>(Len) - S.size();
    Fill.reserve(Need);
    while (Fill.size() < Need) Fill += Pad;
    Fill.resize(Need);
    SetStr(R, ALeft ? Fill + S : S + Fill, &A[0]);
}
void FnLPad(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R) { DoPad(A, R, true); }
void FnRPad(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R) { DoPad(A, R, false); }

// REPLACE: the search resumes after the inserted text, so a replacement that
// contains the searched text cannot loop.
void FnReplace(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    if (NullArg(A, 1)) {
        R = A[0];
        return;
    }
    std::string S = Str(A[0]), Find = Str(A[1]);
    std::string With = Given(A, 2) ? Str(A[2]) : std::string();
    std::string Out;
    size_t From = 0;
    for (;;) {
        size_t P = S.find(Find, From);
        if (P == std::string::npos) break;
        Out.append(S, From, P - From);
        Out += With;
        From = P + Find.size();
    }
    Out.append(S, From, std::string::npos);
    SetStr(R, Out, &A[0]);
}

// TRANSLATE: every occurrence of a character of argument 1 is replaced by
// the character at the same place of argument 2, or dropped when argument 2
// is shorter.
void FnTranslate(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 3)) return;
    std::string S = Str(A[0]), From = Str(A[1]), To = Str(A[2]);
    std::string Out;
    Out.reserve(S.size());
    for (char C : S) {
        size_t K = From.find(C);
        if (K == std::string::npos) Out += C;
        else if (K < To.size()) Out += To[K];
    }
    SetStr(R, Out, &A[0]);
}

std::string SoundexOf(const std::string &AText)
{
    static const char Codes[] = "01230120022455012623010202";  // A..Z
    std::string S = rtl::Trim(AText);
    std::string Out;
    char Prev = 0;
    for (char C : S) {
        char U = rtl::CUpCase(C);
        if (U < 'A' || U > 'Z') continue;
        char Code = Codes[U - 'A'];
        if (Out.empty()) {
            Out += U;
            Prev = Code;
            continue;
        }
        // H and W do not part two equal codes; vowels do.
        if (U == 'H' || U == 'W') continue;
        if (Code != '0' && Code != Prev) Out += Code;
        Prev = Code;
        if (Out.size() == 4) break;
    }
    if (Out.empty()) return Out;
    Out.resize(4, '0');
    return Out;
}

void FnSoundex(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    SetStr(R, SoundexOf(Str(A[0])));
}

int64_t SoundexNumber(const std::string &ACode)
{
    if (ACode.empty()) return 0;
    int64_t V = ACode[0] - 'A';
    for (size_t I = 1; I < ACode.size(); ++I) V = V * (I == 1 ? 26 : 7) + (ACode[I] - '0');
    return V * 9 + static_cast<int64_t>(ACode.size());
}

void FnDifference(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    R = IntResult(double(SoundexNumber(SoundexOf(Str(A[0]))) - SoundexNumber(SoundexOf(Str(A[1])))));
}

void FnAscii(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = Variant(static_cast<int>(static_cast<unsigned char>(Str(A[0])[0])));
}

void FnChr(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    int Code = A[0].AsInteger();
    if (Code < 0 || Code > 255) throw rtl::EConvertError("Character code " + std::to_string(Code) + " is out of range");
    R = Variant(std::string(1, static_cast<char>(Code)));
}

void FnLength(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = Variant(static_cast<int>(Str(A[0]).size()));
}

void FnOctetLength(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    int N = static_cast<int>(Str(A[0]).size());
    if (A[0].VType() == rtl::varOleStr) N *= 2;
    R = Small(N);
}

// INSTR(text, sub [, start [, occurrence]]). A negative start counts from
// the end and finds the last match lying wholly at or after that position;
// the occurrence then counts such matches from the end backwards.
void FnInstr(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    if (A.size() > 2 && NullArg(A, 2)) return;
    if (A.size() > 3 && NullArg(A, 3)) return;
    std::string S = Str(A[0]), Sub = Str(A[1]);
    int64_t Len = static_cast<int64_t>(S.size());
    int64_t Start = A.size() > 2 ? A[2].AsInt64() : 1;
    int64_t Occurrence = A.size() > 3 ? A[3].AsInt64() : 1;
    if (Occurrence <= 0) return;
    int64_t Found = 0;
    if (Start >= 0) {
        size_t From = static_cast<size_t>(std::max<int64_t>(Start, 1) - 1);
        for (int64_t K = 0; K < Occurrence; ++K) {
            if (From > S.size()) break;
            size_t P = S.find(Sub, From);
            if (P == std::string::npos) {
                Found = 0;
                break;
            }
            Found = static_cast<int64_t>(P) + 1;
            From = P + Sub.size();
        }
    } else {
        int64_t Pos = Len + Start + 1;
        int64_t K = 0;
        for (int64_t P = Len - static_cast<int64_t>(Sub.size()) + 1; P >= 1; --P) {
            if (P < Pos) break;
            if (S.compare(static_cast<size_t>(P - 1), Sub.size(), Sub) == 0 && ++K == Occurrence) {
                Found = P;
                break;
            }
        }
    }
    R = Variant(static_cast<int>(Found));
}

void FnPosition(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    R = Variant(rtl::Pos(Str(A[0]), Str(A[1])));
}

void FnLocate(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    std::string Sub = Str(A[0]), S = Str(A[1]);
    int64_t Start = Given(A, 2) ? A[2].AsInt64() : 1;
    if (Start < 1) Start = 1;
    if (Start > static_cast<int64_t>(S.size())) {
        R = Variant(0);
        return;
    }
    size_t P = S.find(Sub, static_cast<size_t>(Start - 1));
    R = Variant(P == std::string::npos ? 0 : static_cast<int>(P) + 1);
}

// INSERT(text, position, count, new): nothing is inserted when new is
// null-or-empty.
void FnInsert(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 3)) return;
    std::string S = Str(A[0]);
    int64_t Pos = A[1].AsInt64(), Count = A[2].AsInt64();
    if (Pos < 1) Pos = 1;
    if (Count < 0) Count = 0;
    size_t P = static_cast<size_t>(std::min<int64_t>(Pos - 1, static_cast<int64_t>(S.size())));
    S.erase(P, static_cast<size_t>(Count));
    if (Given(A, 3)) S.insert(P, Str(A[3]));
    SetStr(R, S);
}

void FnLeft(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    std::string S = Str(A[0]);
    int64_t N = std::clamp<int64_t>(A[1].AsInt64(), 0, static_cast<int64_t>(S.size()));
    SetStr(R, S.substr(0, static_cast<size_t>(N)));
}

void FnRight(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    std::string S = Str(A[0]);
    int64_t N = std::clamp<int64_t>(A[1].AsInt64(), 0, static_cast<int64_t>(S.size()));
    SetStr(R, S.substr(S.size() - static_cast<size_t>(N)));
}

void FnRepeat(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    std::string S = Str(A[0]);
    int64_t N = A[1].AsInt64();
    CheckLength(N);
    CheckLength(N * static_cast<int64_t>(S.size()));
    std::string Out;
    Out.reserve(static_cast<size_t>(N) * S.size());
    for (int64_t I = 0; I < N; ++I) Out += S;
    SetStr(R, Out);
}

void FnSpace(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    int64_t N = A[0].AsInt64();
    CheckLength(N);
    SetStr(R, std::string(static_cast<size_t>(N), ' '));
}

// The compiled pattern of one REGEXP_LIKE call: a constant pattern is
// compiled at the first row only; a pattern that changes is recompiled when
// it changes.
class TRegExprCache : public TZqExprNodeCache {
public:
    std::string Pattern;
    bool HasPattern = false;
    TRegExpr Engine;
};

void FnRegExpLike(const TArgs &A, TZqExpression &, TZqExpressionNode &ACall, Variant &R)
{
    if (AnyNull(A, 2)) return;
    if (!ACall.Cache) ACall.Cache = std::make_unique<TRegExprCache>();
    auto &C = static_cast<TRegExprCache &>(*ACall.Cache);
    std::string Pattern = Str(A[1]);
    if (!C.HasPattern || C.Pattern != Pattern) {
        C.Engine.SetExpression(Pattern);
        C.Pattern = std::move(Pattern);
        C.HasPattern = true;
    }
    R = Variant(C.Engine.Exec(Str(A[0])));
}

// ---- dates and times ------------------------------------------------------------

enum TDatePart { dpYear, dpMonth, dpDay, dpHour, dpMinute, dpSecond };

int DatePart(const Variant &V, TDatePart APart)
{
    int P[6], MS;
    rtl::DecodeDateTime(DateArg(V), P[0], P[1], P[2], P[3], P[4], P[5], MS);
    return P[APart];
}

// The part names of EXTRACT and of CONVERT's INTERVAL_ types.
bool DatePartByName(const std::string &AName, TDatePart &APart)
{
    static const char *Names[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};
    for (int I = 0; I < 6; ++I)
        if (AName == Names[I]) {
            APart = static_cast<TDatePart>(I);
            return true;
        }
    return false;
}

template <TDatePart Part> void FnPart(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = Small(DatePart(A[0], Part));
}

void FnNow(const TArgs &, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    R = Variant::FromDate(ZqExpressionNow());
}

void FnCurrentDate(const TArgs &, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    R = Variant::FromDate(DateOf(ZqExpressionNow()));
}

void FnCurrentTime(const TArgs &, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    R = Variant::FromDate(TimeOf(ZqExpressionNow()));
}

void FnDate(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = IntResult(DateOf(DateArg(A[0])));
}

void FnTime(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = Variant::FromDate(TimeOf(DateArg(A[0])));
}

void FnAddMonths(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    R = Variant::FromDate(IncMonth(DateArg(A[0]), MonthCount(A[1], 1)));
}

// A real number of months: the day counts as 1/31 of a month.
void FnMonthsBetween(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    int Y1, M1, D1, Y2, M2, D2;
    Decode(A[0], Y1, M1, D1);
    Decode(A[1], Y2, M2, D2);
    double Diff = double((int64_t(Y1) * 372 + M1 * 31 + D1) - (int64_t(Y2) * 372 + M2 * 31 + D2));
    R = Variant(Diff / 31.0);
}

void FnLastDay(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    TDateTime V = DateArg(A[0]);
    int Y, M, D;
    rtl::DecodeDate(V, Y, M, D);
    R = Variant::FromDate(rtl::ComposeDateTime(rtl::EncodeDate(Y, M, rtl::DaysInAMonth(Y, M)), TimeOf(V)));
}

// FIRST_DAY is the first day at midnight: FIRST DAY OF THIS MONTH must
// include the whole of that day.
void FnFirstDay(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    int Y, M, D;
    Decode(A[0], Y, M, D);
    R = Variant::FromDate(rtl::EncodeDate(Y, M, 1));
}

void FnNextDay(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    TDateTime V = DateArg(A[0]);
    std::string Name = Str(A[1]);
    for (int I = 1; I <= 7; ++I) {
        TDateTime Day = FromMSecs(ToMSecs(V) + double(I) * rtl::MSecsPerDay);
        if (rtl::AnsiSameText(rtl::FormatSettings.LongDayNames[rtl::DayOfWeek(Day) - 1], Name)) {
            R = Variant::FromDate(Day);
            return;
        }
    }
}

void FnDayName(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    SetStr(R, rtl::FormatDateTime("dddd", DateArg(A[0])));
}

void FnMonthName(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    SetStr(R, rtl::FormatDateTime("mmmm", DateArg(A[0])));
}

void FnDayOfWeek(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = Small(rtl::DayOfWeek(DateArg(A[0])));
}

void FnDayOfYear(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = Small(DayOfYear(A[0]));
}

void FnWeek(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = Small((DayOfYear(A[0]) + 6) / 7);
}

void FnQuarter(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    int Y, M, D;
    Decode(A[0], Y, M, D);
    R = Small((M - 1) / 3 + 1);
}

void FnExtract(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    TDatePart Part;
    if (DatePartByName(rtl::UpperCase(rtl::Trim(Str(A[0]))), Part)) R = Variant(DatePart(A[1], Part));
}

// Milliseconds per unit of TIMESTAMPADD/TIMESTAMPDIFF below a day; 0 for
// the units counted in months.
double UnitMSecs(const std::string &AUnit)
{
    if (AUnit == "FRAC_SECOND") return 1;
    if (AUnit == "SECOND") return 1000;
    if (AUnit == "MINUTE") return 60000;
    if (AUnit == "HOUR") return 3600000;
    if (AUnit == "DAY") return rtl::MSecsPerDay;
    if (AUnit == "WEEK") return 7.0 * rtl::MSecsPerDay;
    return 0;
}

void FnTimestampAdd(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 3)) return;
    std::string Unit = rtl::UpperCase(rtl::Trim(Str(A[0])));
    TDateTime V = DateArg(A[2]);
    if (double MS = UnitMSecs(Unit); MS > 0) {
        double N = A[1].AsDouble();
        R = Variant::FromDate(FromMSecs(ToMSecs(V) + CheckFloat(N * MS)));
    } else if (Unit == "MONTH") {
        R = Variant::FromDate(IncMonth(V, MonthCount(A[1], 1)));
    } else if (Unit == "QUARTER") {
        R = Variant::FromDate(IncMonth(V, MonthCount(A[1], 3)));
    } else if (Unit == "YEAR") {
        R = Variant::FromDate(IncMonth(V, MonthCount(A[1], 12)));
    }
}

void FnTimestampDiff(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 3)) return;
    std::string Unit = rtl::UpperCase(rtl::Trim(Str(A[0])));
    double Days = std::fabs(ToMSecs(DateArg(A[1])) - ToMSecs(DateArg(A[2]))) / rtl::MSecsPerDay;
    double V;
    if (Unit == "FRAC_SECOND") V = Days * 86400000.0;
    else if (Unit == "SECOND") V = Days * 86400.0;
    else if (Unit == "MINUTE") V = Days * 1440.0;
    else if (Unit == "HOUR") V = Days * 24.0;
    else if (Unit == "DAY") V = Days;
    else if (Unit == "WEEK") V = Days / 7.0;
    else if (Unit == "MONTH") V = Days / 30.4375;
    else if (Unit == "QUARTER") V = std::trunc(Days / 30.4375) / 3.0;
    else if (Unit == "YEAR") V = Days / 365.25;
    else return;
    // A tiny rounding error of the day count must not cost a whole unit.
    R = IntResult(std::trunc(V + 1e-9));
}

// A date-time format whose last separator among " -./\" serves as the date
// separator: the format's "/" placeholders are written as that character.
std::string DateFormatWithSeparator(const std::string &AFormat)
{
    size_t P = AFormat.find_last_of(" -./\\");
    if (P == std::string::npos) return AFormat;
    char Sep = AFormat[P];
    std::string Out;
    for (char C : AFormat) {
        if (C == '/') {
            Out += '"';
            Out += Sep;
            Out += '"';
        } else {
            Out += C;
        }
    }
    return Out;
}

void FnToChar(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    const Variant &V = A[0];
    if (!Given(A, 1)) {
        SetStr(R, Str(V));
        return;
    }
    std::string Format = Str(A[1]);
    if (V.VType() == rtl::varDate) SetStr(R, rtl::FormatDateTime(DateFormatWithSeparator(Format), DateArg(V)));
    else if (V.VType() == rtl::varSQLTimeStamp) SetStr(R, rtl::SQLTimeStampToStr(Format, V.AsSQLTimeStamp()));
    else if (V.VType() == rtl::varFMTBcd) SetStr(R, rtl::FormatFloat(Format, V.AsDouble()));
    else if (V.IsNumeric()) SetStr(R, rtl::FormatFloat(Format, V.AsDouble()));
    else SetStr(R, Str(V));
}

void FnToDate(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    std::string Format = Given(A, 1) ? Str(A[1]) : rtl::FormatSettings.ShortDateFormat;
    std::string Text = Str(A[0]);
    TDateTime D = 0;
    if (!TryParseDate(Text, Format, D)) throw rtl::EConvertError("'" + Text + "' is not a valid date and time");
    R = Variant::FromDate(D);
}

// ---- numbers ----------------------------------------------------------------

double Num(const Variant &V) { return V.AsDouble(); }

void FnAbs(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = Variant(std::fabs(Num(A[0])));
}

void FnCeil(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = IntResult(std::ceil(Num(A[0])));
}

void FnFloor(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = IntResult(std::floor(Num(A[0])));
}

double Scale(const TArgs &A)
{
    if (!Given(A, 1)) return 1;
    int64_t Digits = std::clamp<int64_t>(A[1].AsInt64(), -300, 300);
    return std::pow(10.0, static_cast<double>(Digits));
}

// ROUND(x [, digits]): halves to even, at the given decimal digits.
void FnRound(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    double X = Num(A[0]), S = Scale(A);
    double Scaled = X * S;
    // At that many digits the double has nothing left to round.
    if (!std::isfinite(Scaled) || std::fabs(Scaled) >= 4.5e15) {
        R = Variant(CheckFloat(X));
        return;
    }
    // 2.675 is stored as 2.67499999...: decide halves on the decimal value.
    double Nearest = std::nearbyint(Scaled);
    if (std::fabs(std::fabs(Scaled - std::trunc(Scaled)) - 0.5) < 1e-9 * std::max(1.0, std::fabs(Scaled)))
        Nearest = std::nearbyint(std::trunc(Scaled) + (Scaled < 0 ? -0.5 : 0.5));
    R = Variant(CheckFloat(Nearest / S));
}

// TRUNC(x [, digits]): toward zero at the given decimal digits.
void FnTrunc(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    double X = Num(A[0]), S = Scale(A);
    double Scaled = X * S;
    if (!std::isfinite(Scaled) || std::fabs(Scaled) >= 4.5e15) {
        R = Variant(CheckFloat(X));
        return;
    }
    // 2.3 * 10 is 22.999999999999996: a value that far from a whole number
    // is that whole number.
    double Whole = std::nearbyint(Scaled);
    if (std::fabs(Scaled - Whole) < 1e-9 * std::max(1.0, std::fabs(Scaled))) Scaled = Whole;
    R = Variant(CheckFloat(std::trunc(Scaled) / S));
}

void FnSign(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    double X = Num(A[0]);
    R = Variant(X > 0 ? 1 : X < 0 ? -1 : 0);
}

// MOD: the variant's integer modulus (operands rounded to integers).
void FnMod(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    int64_t X = A[0].AsInt64(), Y = A[1].AsInt64();
    if (Y == 0) throw rtl::EZeroDivide("Division by zero");
    if (Y == -1) {
        R = Variant(0);
        return;
    }
    int64_t M = X % Y;
    if (M >= INT32_MIN && M <= INT32_MAX) R = Variant(static_cast<int>(M));
    else R = Variant(M);
}

void FnPower(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    R = Variant(CheckFloat(std::pow(Num(A[0]), Num(A[1]))));
}

void FnExp(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = Variant(CheckFloat(std::exp(Num(A[0]))));
}

double Positive(double X)
{
    if (!(X > 0)) throw rtl::EInvalidOp("Invalid floating point operation");
    return X;
}

void FnLn(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = Variant(std::log(Positive(Num(A[0]))));
}

void FnSqrt(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = Variant(CheckFloat(std::sqrt(Num(A[0]))));
}

// LOG(base, x).
void FnLog(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    double Base = Positive(Num(A[0]));
    if (Base == 1) throw rtl::EZeroDivide("Floating point division by zero");
    R = Variant(std::log(Positive(Num(A[1]))) / std::log(Base));
}

void FnLog10(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = Variant(std::log10(Positive(Num(A[0]))));
}

template <double (*F)(double)> void Unary(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    R = Variant(CheckFloat(F(Num(A[0]))));
}

double DSin(double X) { return std::sin(X); }
double DCos(double X) { return std::cos(X); }
double DTan(double X) { return std::tan(X); }
double DAsin(double X) { return std::asin(X); }
double DAcos(double X) { return std::acos(X); }
double DAtan(double X) { return std::atan(X); }
double DSinh(double X) { return std::sinh(X); }
double DCosh(double X) { return std::cosh(X); }
double DTanh(double X) { return std::tanh(X); }
double DDegrees(double X) { return X * 57.29577951308232; }
double DRadians(double X) { return X * 0.017453292519943295; }

void FnCot(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    double T = std::tan(Num(A[0]));
    if (T == 0) return;
    R = Variant(CheckFloat(1.0 / T));
}

// ATAN2(y, x): the angle of the point (x, y), in -pi to pi.
void FnAtan2(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 2)) return;
    R = Variant(std::atan2(Num(A[0]), Num(A[1])));
}

void FnPi(const TArgs &, TZqExpression &, TZqExpressionNode &, Variant &R) { R = Variant(3.141592653589793); }

std::mt19937_64 &RandomEngine()
{
    // One generator per thread: evaluators of different threads never
    // share one; each is seeded once.
    thread_local std::mt19937_64 Engine{std::random_device{}()};
    return Engine;
}

void FnRand(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    auto &E = RandomEngine();
    if (A.empty()) {
        R = Variant(std::uniform_real_distribution<double>(0.0, 1.0)(E));
        return;
    }
    if (IsNullOrEmpty(A[0])) return;
    if (!A[0].IsStr()) {
        int64_t N = A[0].AsInt64();
        if (N < 0) throw rtl::Exception("Range " + std::to_string(N) + " is out of range");
        R = N == 0 ? Variant(0) : Variant(static_cast<int64_t>(std::uniform_int_distribution<uint64_t>(0, uint64_t(N) - 1)(E)));
        if (N <= INT32_MAX) R = Variant(static_cast<int>(R.AsInt64()));
        return;
    }
    std::string Chars = Str(A[0]);
    int64_t Len = Given(A, 1) ? A[1].AsInt64() : 1;
    CheckLength(Len);
    std::string Out(static_cast<size_t>(Len), ' ');
    std::uniform_int_distribution<size_t> Pick(0, Chars.size() - 1);
    for (char &C : Out) C = Chars[Pick(E)];
    SetStr(R, Out);
}

// ---- conditions and conversions ----------------------------------------------------

// DECODE(x, s1, r1, s2, r2, ..., [default]): no null rule of its own;
// Null arguments are compared and returned like any value.
void FnDecode(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    size_t I = 1;
    for (; I + 1 < A.size(); I += 2)
        if (A[0] == A[I]) {
            R = A[I + 1];
            return;
        }
    R = I < A.size() ? A[I] : A[0];
}

void FnNvl(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    R = IsNullOrEmpty(A[0]) ? A[1] : A[0];
}

void DoExtreme(const TArgs &A, Variant &R, bool AGreatest)
{
    if (AnyNull(A, A.size())) return;
    size_t Best = 0;
    for (size_t I = 1; I < A.size(); ++I)
        if (AGreatest ? A[I] > A[Best] : A[I] < A[Best]) Best = I;
    R = A[Best];
}
void FnGreatest(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R) { DoExtreme(A, R, true); }
void FnLeast(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R) { DoExtreme(A, R, false); }

// TO_NUMBER(x [, format]): a null-or-empty format gives unassigned; any
// other format is accepted and not used.
void FnToNumber(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    if (AnyNull(A, 1)) return;
    if (A.size() > 1 && NullArg(A, 1)) return;
    R = Variant(A[0].VType() == rtl::varOleStr ? Variant(A[0].AsString()).AsDouble() : A[0].AsDouble());
}

std::string GuidText(const std::string &AText)
{
    std::string Hex;
    for (char C : AText)
        if (std::isxdigit(static_cast<unsigned char>(C))) Hex += rtl::CUpCase(C);
        else if (C != '{' && C != '}' && C != '-' && C != ' ') throw rtl::EConvertError("'" + AText + "' is not a valid GUID value");
    if (Hex.size() != 32) throw rtl::EConvertError("'" + AText + "' is not a valid GUID value");
    return "{" + Hex.substr(0, 8) + "-" + Hex.substr(8, 4) + "-" + Hex.substr(12, 4) + "-" + Hex.substr(16, 4) + "-" +
           Hex.substr(20, 12) + "}";
}

// The CONVERT target names and what they make of a value; false for a name
// that is refused (error 104).
bool ConvertTo(const std::string &AType, const Variant &V, Variant *AResult)
{
    Variant Dummy;
    Variant &R = AResult ? *AResult : Dummy;
    const bool Do = AResult != nullptr;
    // A wide string is made an 8-bit string before it is read as a number.
    auto Plain = [&]() { return V.VType() == rtl::varOleStr ? Variant(V.AsString()) : V; };
    if (AType == "BIGINT") { if (Do) R = Variant(V.AsInt64()); }
    else if (AType == "BIT") { if (Do) R = Variant(V.AsBoolean()); }
    else if (AType == "CHAR" || AType == "LONGVARBINARY" || AType == "LONGVARCHAR" || AType == "VARBINARY" || AType == "VARCHAR") { if (Do) R = Variant(V.AsString()); }
    else if (AType == "WCHAR" || AType == "WLONGVARCHAR" || AType == "WVARCHAR") { if (Do) R = rtl::VarAsType(V, rtl::varOleStr); }
    else if (AType == "DECIMAL" || AType == "NUMERIC") { if (Do) R = Variant(V.AsBcd()); }
    else if (AType == "DOUBLE" || AType == "FLOAT") { if (Do) R = Variant(Plain().AsDouble()); }
    else if (AType == "REAL") { if (Do) R = Variant::FromSingle(static_cast<float>(Plain().AsDouble())); }
    else if (AType == "INTEGER") { if (Do) R = Variant(V.AsInteger()); }
    else if (AType == "SMALLINT") { if (Do) R = rtl::VarAsType(V, rtl::varSmallint); }
    else if (AType == "TINYINT") { if (Do) R = rtl::VarAsType(V, rtl::varShortInt); }
    else if (AType == "GUID") { if (Do) R = Variant(GuidText(V.AsString())); }
    else if (AType == "DATE") { if (Do) R = Variant::FromDate(DateOf(DateArg(V))); }
    else if (AType == "TIME") { if (Do) R = Variant::FromDate(TimeOf(DateArg(V))); }
    else if (AType == "TIMESTAMP") {
        if (Do) {
            if (V.IsNumeric() || V.VType() == rtl::varDate) DateArg(V);
            R = Variant(V.AsSQLTimeStamp());
        }
    }
    else if (AType.rfind("INTERVAL_", 0) == 0) {
        TDatePart Part;
        if (!DatePartByName(AType.substr(9), Part)) return false;
        if (Do) R = Variant(DatePart(V, Part));
    } else {
        return false;
    }
    return true;
}

void FnConvert(const TArgs &A, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    std::string Type = rtl::UpperCase(rtl::Trim(Str(A[1])));
    if (!ConvertTo(Type, A[0], nullptr)) Raise(104);
    if (AnyNull(A, 1)) return;
    ConvertTo(Type, A[0], &R);
}

void FnRowNum(const TArgs &, TZqExpression &AExpr, TZqExpressionNode &, Variant &R)
{
    IZqStanExpressionDataSource *DS = AExpr.GetDataSource();
    if (!DS) throw rtl::Exception("ROWNUM needs a data source");
    R = Variant(DS->GetRowNum());
}

template <int Code> void FnAggregate(const TArgs &, TZqExpression &, TZqExpressionNode &, Variant &R)
{
    R = Variant(Code);
}

} // namespace

void FnIif(const TArgs &, TZqExpression &, TZqExpressionNode &, Variant &)
{
    // IIF is evaluated lazily by the evaluator; reaching this is our fault.
    throw std::logic_error("IIF evaluated through its entry");
}

void CheckCallAtParse(const TZqExpressionNode &ACall, const TZqFuncDesc &ADesc)
{
    if (ADesc.Evaluator == FnConvert && ACall.Args.size() == 2 && ACall.Args[1]->Kind == nkConst) {
        std::string Type = rtl::UpperCase(rtl::Trim(rtl::VarToStr(ACall.Args[1]->Value)));
        if (!ConvertTo(Type, Variant(), nullptr)) Raise(104);
    }
}

void RegisterBuiltinFunctions(TZqFunctionRegistry &G)
{
    constexpr int Many = ZqUnboundedArgs;
    // name, kind, scope argument, evaluator, max, min, type argument, fixed type
    auto Str1 = [&](const char *N, TZqFuncEvaluator F, int Max, int Min) { G.Add(N, ckUnknown, 0, F, Max, Min, 0, dtUnknown); };
    auto Typed = [&](const char *N, TZqFuncEvaluator F, int Max, int Min, TZqDataType T) { G.Add(N, ckUnknown, 0, F, Max, Min, -1, T); };
    auto Const = [&](const char *N, TZqFuncEvaluator F, TZqDataType T) { G.Add(N, ckConst, -1, F, 0, 0, -1, T); };

    // strings
    Str1("UPPER", FnUpper, 1, 1);
    Str1("UCASE", FnUpper, 1, 1);
    Str1("LOWER", FnLower, 1, 1);
    Str1("LCASE", FnLower, 1, 1);
    Str1("SUBSTRING", FnSubstring, 3, 2);
    Str1("SUBSTR", FnSubstring, 3, 2);
    Str1("TRIM", FnTrim, 2, 1);
    Str1("TRIMLEFT", FnTrimLeft, 2, 1);
    Str1("LTRIM", FnTrimLeft, 2, 1);
    Str1("TRIMRIGHT", FnTrimRight, 2, 1);
    Str1("RTRIM", FnTrimRight, 2, 1);
    Str1("CONCAT", FnConcat, 2, 2);
    Str1("INITCAP", FnInitCap, 1, 1);
    Str1("LPAD", FnLPad, 3, 2);
    Str1("RPAD", FnRPad, 3, 2);
    Str1("REPLACE", FnReplace, 3, 2);
    Str1("TRANSLATE", FnTranslate, 3, 3);
    Typed("SOUNDEX", FnSoundex, 1, 1, dtAnsiString);
    Typed("DIFFERENCE", FnDifference, 2, 2, dtInt16);
    Typed("ASCII", FnAscii, 1, 1, dtInt32);
    Typed("CHR", FnChr, 1, 1, dtAnsiString);
    Typed("CHAR", FnChr, 1, 1, dtAnsiString);
    Typed("LENGTH", FnLength, 1, 1, dtInt32);
    Typed("CHAR_LENGTH", FnLength, 1, 1, dtInt32);
    Typed("CHARACTER_LENGTH", FnLength, 1, 1, dtInt32);
    Typed("OCTET_LENGTH", FnOctetLength, 1, 1, dtInt16);
    Typed("INSTR", FnInstr, 4, 2, dtInt32);
    Typed("POSITION", FnPosition, 2, 2, dtInt32);
    Typed("LOCATE", FnLocate, 3, 2, dtInt32);
    Typed("INSERT", FnInsert, 4, 4, dtAnsiString);
    Typed("LEFT", FnLeft, 2, 2, dtAnsiString);
    Typed("RIGHT", FnRight, 2, 2, dtAnsiString);
    Typed("REPEAT", FnRepeat, 2, 2, dtAnsiString);
    Typed("SPACE", FnSpace, 1, 1, dtAnsiString);
    Typed("REGEXP_LIKE", FnRegExpLike, 2, 2, dtBoolean);

    // dates and times
    Typed("YEAR", FnPart<dpYear>, 1, 1, dtInt16);
    Typed("MONTH", FnPart<dpMonth>, 1, 1, dtInt16);
    Typed("DAY", FnPart<dpDay>, 1, 1, dtInt16);
    Typed("DAYOFMONTH", FnPart<dpDay>, 1, 1, dtInt16);
    Typed("HOUR", FnPart<dpHour>, 1, 1, dtInt16);
    Typed("MINUTE", FnPart<dpMinute>, 1, 1, dtInt16);
    Typed("SECOND", FnPart<dpSecond>, 1, 1, dtInt16);
    for (const char *N : {"GETDATE", "SYSDATE", "TODAY", "NOW", "CURRENT_TIMESTAMP"}) Const(N, FnNow, dtDateTime);
    Const("CURRENT_DATE", FnCurrentDate, dtDateTime);
    Const("CURDATE", FnCurrentDate, dtDateTime);
    Const("CURRENT_TIME", FnCurrentTime, dtDateTime);
    Const("CURTIME", FnCurrentTime, dtDateTime);
    Typed("DATE", FnDate, 1, 1, dtDateTime);
    Typed("TIME", FnTime, 1, 1, dtDateTime);
    Typed("ADD_MONTHS", FnAddMonths, 2, 2, dtDateTime);
    // A real: the months between two dates are rarely whole.
    Typed("MONTHS_BETWEEN", FnMonthsBetween, 2, 2, dtDouble);
    Typed("LAST_DAY", FnLastDay, 1, 1, dtDateTime);
    Typed("FIRST_DAY", FnFirstDay, 1, 1, dtDateTime);
    Typed("NEXT_DAY", FnNextDay, 2, 2, dtDateTime);
    Typed("DAYNAME", FnDayName, 1, 1, dtAnsiString);
    Typed("MONTHNAME", FnMonthName, 1, 1, dtAnsiString);
    Typed("DAYOFWEEK", FnDayOfWeek, 1, 1, dtInt16);
    Typed("DAYOFYEAR", FnDayOfYear, 1, 1, dtInt16);
    Typed("WEEK", FnWeek, 1, 1, dtInt16);
    Typed("QUARTER", FnQuarter, 1, 1, dtInt16);
    G.Add("EXTRACT", ckUnknown, 1, FnExtract, 2, 2, -1, dtInt32);
    G.Add("TIMESTAMPADD", ckUnknown, 2, FnTimestampAdd, 3, 3, -1, dtDateTime);
    G.Add("TIMESTAMPDIFF", ckUnknown, 1, FnTimestampDiff, 3, 3, -1, dtInt32);
    Typed("TO_CHAR", FnToChar, 2, 1, dtAnsiString);
    Typed("TO_DATE", FnToDate, 2, 1, dtDateTime);

    // numbers
    Typed("ABS", FnAbs, 1, 1, dtDouble);
    Typed("CEIL", FnCeil, 1, 1, dtInt32);
    Typed("CEILING", FnCeil, 1, 1, dtInt32);
    Typed("FLOOR", FnFloor, 1, 1, dtInt32);
    Typed("ROUND", FnRound, 2, 1, dtDouble);
    Typed("TRUNC", FnTrunc, 2, 1, dtDouble);
    Typed("TRUNCATE", FnTrunc, 2, 1, dtDouble);
    Typed("SIGN", FnSign, 1, 1, dtInt32);
    Typed("MOD", FnMod, 2, 2, dtInt32);
    Typed("POWER", FnPower, 2, 2, dtDouble);
    Typed("EXP", FnExp, 1, 1, dtDouble);
    Typed("LN", FnLn, 1, 1, dtDouble);
    Typed("SQRT", FnSqrt, 1, 1, dtDouble);
    Typed("LOG", FnLog, 2, 2, dtDouble);
    Typed("LOG10", FnLog10, 1, 1, dtDouble);
    Typed("SIN", Unary<DSin>, 1, 1, dtDouble);
    Typed("COS", Unary<DCos>, 1, 1, dtDouble);
    Typed("TAN", Unary<DTan>, 1, 1, dtDouble);
    Typed("ASIN", Unary<DAsin>, 1, 1, dtDouble);
    Typed("ACOS", Unary<DAcos>, 1, 1, dtDouble);
    Typed("ATAN", Unary<DAtan>, 1, 1, dtDouble);
    Typed("SINH", Unary<DSinh>, 1, 1, dtDouble);
    Typed("COSH", Unary<DCosh>, 1, 1, dtDouble);
    Typed("TANH", Unary<DTanh>, 1, 1, dtDouble);
    Typed("COT", FnCot, 1, 1, dtDouble);
    Typed("ATAN2", FnAtan2, 2, 2, dtDouble);
    Typed("DEGREES", Unary<DDegrees>, 1, 1, dtDouble);
    Typed("RADIANS", Unary<DRadians>, 1, 1, dtDouble);
    Const("PI", FnPi, dtDouble);
    Str1("RAND", FnRand, 2, 0);

    // conditions and conversions
    G.Add("IIF", ckUnknown, 1, FnIif, 3, 3, 1, dtUnknown);
    G.Add("IF", ckUnknown, 1, FnIif, 3, 3, 1, dtUnknown);
    G.Add("DECODE", ckUnknown, 2, FnDecode, Many, 3, 2, dtUnknown);
    Str1("NVL", FnNvl, 2, 2);
    Str1("IFNULL", FnNvl, 2, 2);
    Str1("GREATEST", FnGreatest, Many, 1);
    Str1("LEAST", FnLeast, Many, 1);
    Typed("TO_NUMBER", FnToNumber, 2, 1, dtDouble);
    G.Add("CONVERT", ckUnknown, 0, FnConvert, 2, 2, -1, dtUnknown);
    G.Add("ROWNUM", ckField, -1, FnRowNum, 0, 0, -1, dtInt32);

    // aggregates: their values come from the data source; the entry only
    // answers the aggregate's code
    G.Add("SUM", ckAggregate, -1, FnAggregate<agSum>, 1, 1, -1, dtDouble);
    G.Add("AVG", ckAggregate, -1, FnAggregate<agAvg>, 1, 1, -1, dtDouble);
    G.Add("COUNT", ckAggregate, -1, FnAggregate<agCount>, 1, 0, -1, dtInt32);
    G.Add("MIN", ckAggregate, -1, FnAggregate<agMin>, 1, 1, 0, dtUnknown);
    G.Add("MAX", ckAggregate, -1, FnAggregate<agMax>, 1, 1, 0, dtUnknown);
    G.Add("TFIRST", ckAggregate, -1, FnAggregate<agFirst>, 1, 1, 0, dtUnknown);
    G.Add("TLAST", ckAggregate, -1, FnAggregate<agLast>, 1, 1, 0, dtUnknown);
}

} // namespace zqexpr
