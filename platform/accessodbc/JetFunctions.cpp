// Jet's scalar and aggregate functions over SQLite values.
#include "platform/accessodbc/JetFunctions.h"

#include "platform/accessodbc/JetDate.h"
#include "platform/accessodbc/JetText.h"
#include "platform/rtl/CLocaleText.h"

#include <sqlite3.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwctype>
#include <locale.h>
#include <string>
#include <vector>

namespace jet {

namespace {

using TArgs = sqlite3_value **;

// ------------------------------------------------------------ UTF-8 text

std::u32string Decode(const unsigned char *S, int N)
{
    return DecodeUtf8(reinterpret_cast<const char *>(S), static_cast<size_t>(N));
}

std::string Encode(const std::u32string &S)
{
    std::string R;
    R.reserve(S.size());
    for (char32_t C : S)
        AppendUtf8(R, C);
    return R;
}

char32_t Up(char32_t C) { return rtl::CWideUpCase(C); }
char32_t Low(char32_t C) { return rtl::CWideLowCase(C); }

std::u32string Text(sqlite3_value *V)
{
    const unsigned char *S = sqlite3_value_text(V);
    return Decode(S, sqlite3_value_bytes(V));
}

void ResultText(sqlite3_context *C, const std::u32string &S)
{
    const std::string U = Encode(S);
    sqlite3_result_text(C, U.data(), static_cast<int>(U.size()), SQLITE_TRANSIENT);
}

bool AnyNull(int N, TArgs A)
{
    for (int i = 0; i < N; ++i)
        if (sqlite3_value_type(A[i]) == SQLITE_NULL)
            return true;
    return false;
}

// Numbers as Jet writes them into text: at most 15 significant digits.
std::string NumberText(sqlite3_value *V)
{
    if (sqlite3_value_type(V) == SQLITE_INTEGER)
        return std::to_string(sqlite3_value_int64(V));
    return rtl::CFloatText(sqlite3_value_double(V), 'g', 15);
}

std::string AsText(sqlite3_value *V)
{
    switch (sqlite3_value_type(V)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        return NumberText(V);
    case SQLITE_NULL:
        return {};
    default:
        return std::string(reinterpret_cast<const char *>(sqlite3_value_text(V)),
                           static_cast<size_t>(sqlite3_value_bytes(V)));
    }
}

// A date argument: a Jet day number, or a text Jet can read as a date.
bool DateArg(sqlite3_context *C, sqlite3_value *V, double &AOut)
{
    const int T = sqlite3_value_type(V);
    if (T == SQLITE_INTEGER || T == SQLITE_FLOAT) {
        AOut = sqlite3_value_double(V);
        return true;
    }
    if (T == SQLITE_TEXT &&
        ReadJetDateText(std::string_view(reinterpret_cast<const char *>(sqlite3_value_text(V)),
                                         static_cast<size_t>(sqlite3_value_bytes(V))),
                        AOut))
        return true;
    sqlite3_result_error(C, "Data type mismatch in criteria expression: the value is no date.", -1);
    return false;
}

// A DATETIME column's value where a statement computes with it or compares
// it (the translator writes jet_datecol(column) there): the date the fetch
// hands out for it, so that the SQL and the fetch read one value. A day
// number stays as stored; a date text is its day number; what the fetch
// finds no date in (another text, bytes, an infinite number) is Null.
void DateColumnValue(sqlite3_context *C, int, TArgs A)
{
    double D;
    switch (sqlite3_value_type(A[0])) {
    case SQLITE_INTEGER:
        return sqlite3_result_value(C, A[0]);
    case SQLITE_FLOAT:
        if (std::isfinite(sqlite3_value_double(A[0])))
            return sqlite3_result_value(C, A[0]);
        return sqlite3_result_null(C);
    case SQLITE_TEXT:
        if (ReadJetDateText(std::string_view(reinterpret_cast<const char *>(sqlite3_value_text(A[0])),
                                             static_cast<size_t>(sqlite3_value_bytes(A[0]))),
                            D))
            return sqlite3_result_double(C, D);
        return sqlite3_result_null(C);
    default:
        return sqlite3_result_null(C);
    }
}

double BankersRound(double X, int ADigits)
{
    const double P = std::pow(10.0, ADigits);
    double V = X * P;
    double R = std::nearbyint(V); // FE_TONEAREST: halves go to even, as Jet rounds
    // Values such as 2.675 * 100 land a hair off the half; treat near-halves as halves.
    if (std::fabs(std::fabs(V - std::trunc(V)) - 0.5) < 1e-9)
        R = std::nearbyint(std::trunc(V) + std::copysign(0.5, V));
    return R / P;
}

// ------------------------------------------------------ date functions

using TDatePartFn = int (*)(const TJetDateTime &);

template <TDatePartFn F>
void DatePartFunc(sqlite3_context *C, int, TArgs A)
{
    if (sqlite3_value_type(A[0]) == SQLITE_NULL)
        return sqlite3_result_null(C);
    double D;
    if (DateArg(C, A[0], D))
        sqlite3_result_int(C, F(DecodeJetDate(D)));
}

int MonthOf(const TJetDateTime &V) { return V.Month; }
int YearOf(const TJetDateTime &V) { return V.Year; }
int DayOf(const TJetDateTime &V) { return V.Day; }
int HourOf(const TJetDateTime &V) { return V.Hour; }
int MinuteOf(const TJetDateTime &V) { return V.Minute; }
int SecondOf(const TJetDateTime &V) { return V.Second; }
int QuarterOf(const TJetDateTime &V) { return (V.Month - 1) / 3 + 1; }

int WeekdayOf(const TJetDateTime &V)
{
    // 1899-12-30 was a Saturday; Jet counts Sunday as 1.
    const std::int64_t Day = DaysFromCivil(V.Year, V.Month, V.Day);
    return static_cast<int>(((Day + 6) % 7 + 7) % 7) + 1;
}
int DayOfYear(const TJetDateTime &V)
{
    return static_cast<int>(DaysFromCivil(V.Year, V.Month, V.Day) - DaysFromCivil(V.Year, 1, 1)) + 1;
}
int WeekOfYear(const TJetDateTime &V)
{
    TJetDateTime J1{V.Year, 1, 1};
    return (DayOfYear(V) + WeekdayOf(J1) - 2) / 7 + 1;
}

std::string IntervalArg(sqlite3_value *V)
{
    std::string S = AsText(V);
    std::string U;
    for (char Ch : S)
        U += rtl::CLowCase(Ch);
    if (U.rfind("sql_tsi_", 0) == 0) {
        static const std::pair<const char *, const char *> Odbc[] = {
            {"sql_tsi_frac_second", "s"}, {"sql_tsi_second", "s"}, {"sql_tsi_minute", "n"}, {"sql_tsi_hour", "h"},
            {"sql_tsi_day", "d"}, {"sql_tsi_week", "ww"}, {"sql_tsi_month", "m"}, {"sql_tsi_quarter", "q"},
            {"sql_tsi_year", "yyyy"}};
        for (const auto &P : Odbc)
            if (U == P.first)
                return P.second;
    }
    return U;
}

std::int64_t LinearMs(double D)
{
    std::int64_t Day, Ms;
    SplitJetDate(D, Day, Ms);
    return Day * 86400000LL + Ms;
}
double FromLinearMs(std::int64_t L)
{
    std::int64_t Day = L >= 0 ? L / 86400000LL : -((-L + 86400000LL - 1) / 86400000LL);
    return JoinJetDate(Day, L - Day * 86400000LL);
}

void DatePart(sqlite3_context *C, int N, TArgs A)
{
    if (AnyNull(2, A))
        return sqlite3_result_null(C);
    double D;
    if (!DateArg(C, A[1], D))
        return;
    const std::string I = IntervalArg(A[0]);
    const TJetDateTime V = DecodeJetDate(D);
    int R;
    if (I == "yyyy") R = V.Year;
    else if (I == "q") R = (V.Month - 1) / 3 + 1;
    else if (I == "m") R = V.Month;
    else if (I == "y") R = DayOfYear(V);
    else if (I == "d") R = V.Day;
    else if (I == "w") {
        const int First = N > 2 && sqlite3_value_type(A[2]) != SQLITE_NULL ? sqlite3_value_int(A[2]) : 1;
        R = ((WeekdayOf(V) - std::max(First, 1)) % 7 + 7) % 7 + 1;
    } else if (I == "ww") R = WeekOfYear(V);
    else if (I == "h") R = V.Hour;
    else if (I == "n") R = V.Minute;
    else if (I == "s") R = V.Second;
    else
        return sqlite3_result_error(C, "Invalid procedure call: unknown DatePart interval.", -1);
    sqlite3_result_int(C, R);
}

void DateAdd(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(3, A))
        return sqlite3_result_null(C);
    double D;
    if (!DateArg(C, A[2], D))
        return;
    const std::string I = IntervalArg(A[0]);
    const double Nf = sqlite3_value_double(A[1]);
    const std::int64_t Nn = static_cast<std::int64_t>(std::trunc(Nf));
    if (I == "yyyy" || I == "q" || I == "m") {
        TJetDateTime V = DecodeJetDate(D);
        const std::int64_t Months = I == "yyyy" ? Nn * 12 : I == "q" ? Nn * 3 : Nn;
        std::int64_t M0 = V.Year * 12LL + (V.Month - 1) + Months;
        V.Year = static_cast<int>(M0 / 12);
        V.Month = static_cast<int>(M0 % 12) + 1;
        while (!ValidDate(V.Year, V.Month, V.Day) && V.Day > 28)
            --V.Day; // Jan 31 + 1 month is the last day of February
        if (!ValidDate(V.Year, V.Month, V.Day))
            return sqlite3_result_error(C, "Invalid procedure call: the date is out of range.", -1);
        return sqlite3_result_double(C, EncodeJetDate(V));
    }
    std::int64_t Step;
    if (I == "y" || I == "d" || I == "w") Step = 86400000LL;
    else if (I == "ww") Step = 7 * 86400000LL;
    else if (I == "h") Step = 3600000LL;
    else if (I == "n") Step = 60000LL;
    else if (I == "s") Step = 1000LL;
    else
        return sqlite3_result_error(C, "Invalid procedure call: unknown DateAdd interval.", -1);
    sqlite3_result_double(C, FromLinearMs(LinearMs(D) + Nn * Step));
}

std::int64_t FloorDiv(std::int64_t A, std::int64_t B) { return A >= 0 ? A / B : -((-A + B - 1) / B); }

void DateDiff(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(3, A))
        return sqlite3_result_null(C);
    double D1, D2;
    if (!DateArg(C, A[1], D1) || !DateArg(C, A[2], D2))
        return;
    const std::string I = IntervalArg(A[0]);
    const TJetDateTime V1 = DecodeJetDate(D1), V2 = DecodeJetDate(D2);
    const std::int64_t L1 = LinearMs(D1), L2 = LinearMs(D2);
    std::int64_t R;
    if (I == "yyyy") R = V2.Year - V1.Year;
    else if (I == "q") R = (V2.Year * 4 + (V2.Month - 1) / 3) - (V1.Year * 4 + (V1.Month - 1) / 3);
    else if (I == "m") R = (V2.Year * 12 + V2.Month) - (V1.Year * 12 + V1.Month);
    else if (I == "y" || I == "d") R = FloorDiv(L2, 86400000LL) - FloorDiv(L1, 86400000LL);
    else if (I == "w") R = (FloorDiv(L2, 86400000LL) - FloorDiv(L1, 86400000LL)) / 7;
    else if (I == "ww") R = FloorDiv(FloorDiv(L2, 86400000LL) + 6, 7) - FloorDiv(FloorDiv(L1, 86400000LL) + 6, 7);
    else if (I == "h") R = FloorDiv(L2, 3600000LL) - FloorDiv(L1, 3600000LL);
    else if (I == "n") R = FloorDiv(L2, 60000LL) - FloorDiv(L1, 60000LL);
    else if (I == "s") R = FloorDiv(L2, 1000LL) - FloorDiv(L1, 1000LL);
    else
        return sqlite3_result_error(C, "Invalid procedure call: unknown DateDiff interval.", -1);
    sqlite3_result_int64(C, R);
}

void DateValue(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    double D;
    if (!DateArg(C, A[0], D))
        return;
    std::int64_t Day, Ms;
    SplitJetDate(D, Day, Ms);
    sqlite3_result_double(C, static_cast<double>(Day));
}
void TimeValue(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    double D;
    if (!DateArg(C, A[0], D))
        return;
    std::int64_t Day, Ms;
    SplitJetDate(D, Day, Ms);
    sqlite3_result_double(C, JoinJetDate(0, Ms));
}
void CDate(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    double D;
    if (DateArg(C, A[0], D))
        sqlite3_result_double(C, D);
}
void DateSerial(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(3, A))
        return sqlite3_result_null(C);
    // Jet lets month and day run over: DateSerial(2007, 14, 0) is 2008-01-31.
    std::int64_t M0 = sqlite3_value_int64(A[0]) * 12 + sqlite3_value_int64(A[1]) - 1;
    const int Y = static_cast<int>(FloorDiv(M0, 12));
    const int M = static_cast<int>(M0 - FloorDiv(M0, 12) * 12) + 1;
    if (!ValidDate(Y, M, 1))
        return sqlite3_result_error(C, "Invalid procedure call: the date is out of range.", -1);
    const std::int64_t Day = DaysFromCivil(Y, M, 1) + sqlite3_value_int64(A[2]) - 1;
    sqlite3_result_double(C, static_cast<double>(Day));
}
void TimeSerial(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(3, A))
        return sqlite3_result_null(C);
    const std::int64_t S = (sqlite3_value_int64(A[0]) * 60 + sqlite3_value_int64(A[1])) * 60 + sqlite3_value_int64(A[2]);
    sqlite3_result_double(C, FromLinearMs(S * 1000));
}

TJetDateTime LocalNow()
{
    const auto Now = std::chrono::system_clock::now();
    const std::time_t T = std::chrono::system_clock::to_time_t(Now);
    std::tm Tm{};
    localtime_r(&T, &Tm);
    TJetDateTime V{Tm.tm_year + 1900, Tm.tm_mon + 1, Tm.tm_mday, Tm.tm_hour, Tm.tm_min, Tm.tm_sec, 0};
    return V;
}
void NowFn(sqlite3_context *C, int, TArgs) { sqlite3_result_double(C, EncodeJetDate(LocalNow())); }
void DateFn(sqlite3_context *C, int, TArgs)
{
    TJetDateTime V = LocalNow();
    V.Hour = V.Minute = V.Second = 0;
    sqlite3_result_double(C, EncodeJetDate(V));
}
void TimeFn(sqlite3_context *C, int, TArgs)
{
    TJetDateTime V = LocalNow();
    V.Year = 1899, V.Month = 12, V.Day = 30;
    sqlite3_result_double(C, EncodeJetDate(V));
}
void MonthName(sqlite3_context *C, int, TArgs A)
{
    static const char *Names[] = {"January", "February", "March", "April", "May", "June", "July",
                                  "August", "September", "October", "November", "December"};
    double D;
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    if (DateArg(C, A[0], D))
        sqlite3_result_text(C, Names[DecodeJetDate(D).Month - 1], -1, SQLITE_STATIC);
}
void DayName(sqlite3_context *C, int, TArgs A)
{
    static const char *Names[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    double D;
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    if (DateArg(C, A[0], D))
        sqlite3_result_text(C, Names[WeekdayOf(DecodeJetDate(D)) - 1], -1, SQLITE_STATIC);
}

// ------------------------------------------------------ text functions

void Len(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    const std::string S = AsText(A[0]);
    // Counted in UTF-16 code units, the unit of a column's declared size.
    std::int64_t N = 0;
    for (unsigned char Ch : S) {
        if ((Ch & 0xC0) != 0x80)
            ++N;
        if ((Ch & 0xF8) == 0xF0)
            ++N;
    }
    sqlite3_result_int64(C, N);
}

void Mid(sqlite3_context *C, int N, TArgs A)
{
    if (AnyNull(2, A) || (N > 2 && sqlite3_value_type(A[2]) == SQLITE_NULL))
        return sqlite3_result_null(C);
    const std::u32string S = Decode(reinterpret_cast<const unsigned char *>(AsText(A[0]).c_str()),
                                    static_cast<int>(AsText(A[0]).size()));
    const std::int64_t Start = sqlite3_value_int64(A[1]);
    if (Start < 1)
        return sqlite3_result_error(C, "Invalid procedure call: Mid needs a start of 1 or more.", -1);
    std::int64_t Count = N > 2 ? sqlite3_value_int64(A[2]) : static_cast<std::int64_t>(S.size());
    if (Count < 0)
        return sqlite3_result_error(C, "Invalid procedure call: Mid needs a length of 0 or more.", -1);
    if (static_cast<size_t>(Start - 1) >= S.size())
        return sqlite3_result_text(C, "", 0, SQLITE_STATIC);
    ResultText(C, S.substr(static_cast<size_t>(Start - 1), static_cast<size_t>(Count)));
}
void Left(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(2, A))
        return sqlite3_result_null(C);
    const std::string T = AsText(A[0]);
    const std::u32string S = Decode(reinterpret_cast<const unsigned char *>(T.c_str()), static_cast<int>(T.size()));
    const std::int64_t K = sqlite3_value_int64(A[1]);
    if (K < 0)
        return sqlite3_result_error(C, "Invalid procedure call: Left needs a length of 0 or more.", -1);
    ResultText(C, S.substr(0, static_cast<size_t>(K)));
}
void Right(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(2, A))
        return sqlite3_result_null(C);
    const std::string T = AsText(A[0]);
    const std::u32string S = Decode(reinterpret_cast<const unsigned char *>(T.c_str()), static_cast<int>(T.size()));
    const std::int64_t K = sqlite3_value_int64(A[1]);
    if (K < 0)
        return sqlite3_result_error(C, "Invalid procedure call: Right needs a length of 0 or more.", -1);
    const size_t Keep = std::min(S.size(), static_cast<size_t>(K));
    ResultText(C, S.substr(S.size() - Keep));
}

std::u32string Folded(const std::string &T)
{
    std::u32string S = Decode(reinterpret_cast<const unsigned char *>(T.c_str()), static_cast<int>(T.size()));
    for (auto &Ch : S)
        Ch = Low(Ch);
    return S;
}

// InStr([start,] s1, s2[, compare]): text comparison (case-insensitive) unless compare is 0.
void InStr(sqlite3_context *C, int N, TArgs A)
{
    int i = 0;
    std::int64_t Start = 1;
    if (N >= 3) {
        if (sqlite3_value_type(A[0]) == SQLITE_NULL)
            return sqlite3_result_null(C);
        Start = sqlite3_value_int64(A[0]);
        i = 1;
    }
    if (sqlite3_value_type(A[i]) == SQLITE_NULL || sqlite3_value_type(A[i + 1]) == SQLITE_NULL)
        return sqlite3_result_null(C);
    if (Start < 1)
        return sqlite3_result_error(C, "Invalid procedure call: InStr needs a start of 1 or more.", -1);
    const bool Binary = N == 4 && sqlite3_value_int(A[3]) == 0;
    const std::string T1 = AsText(A[i]), T2 = AsText(A[i + 1]);
    std::u32string S1 = Binary ? Decode(reinterpret_cast<const unsigned char *>(T1.c_str()), static_cast<int>(T1.size())) : Folded(T1);
    std::u32string S2 = Binary ? Decode(reinterpret_cast<const unsigned char *>(T2.c_str()), static_cast<int>(T2.size())) : Folded(T2);
    if (static_cast<size_t>(Start) > S1.size() + 1)
        return sqlite3_result_int(C, 0);
    const size_t P = S1.find(S2, static_cast<size_t>(Start - 1));
    sqlite3_result_int64(C, P == std::u32string::npos ? 0 : static_cast<std::int64_t>(P) + 1);
}
// ODBC LOCATE(needle, haystack[, start])
void Locate(sqlite3_context *C, int N, TArgs A)
{
    if (AnyNull(2, A))
        return sqlite3_result_null(C);
    const std::u32string H = Folded(AsText(A[1])), Nd = Folded(AsText(A[0]));
    const std::int64_t Start = N > 2 ? std::max<std::int64_t>(1, sqlite3_value_int64(A[2])) : 1;
    const size_t P = static_cast<size_t>(Start - 1) > H.size() ? std::u32string::npos : H.find(Nd, static_cast<size_t>(Start - 1));
    sqlite3_result_int64(C, P == std::u32string::npos ? 0 : static_cast<std::int64_t>(P) + 1);
}

template <bool AUpper>
void CaseFn(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    std::u32string S = Text(A[0]);
    for (auto &Ch : S)
        Ch = AUpper ? Up(Ch) : Low(Ch);
    ResultText(C, S);
}

template <bool ALeft, bool ARight>
void TrimFn(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    const std::string S = AsText(A[0]);
    size_t B = 0, E = S.size();
    if (ALeft)
        while (B < E && S[B] == ' ')
            ++B;
    if (ARight)
        while (E > B && S[E - 1] == ' ')
            --E;
    sqlite3_result_text(C, S.data() + B, static_cast<int>(E - B), SQLITE_TRANSIENT);
}

void Concat(sqlite3_context *C, int N, TArgs A)
{
    // Jet's & treats Null as an empty text; only all-Null gives Null.
    std::string R;
    bool All = true;
    for (int i = 0; i < N; ++i) {
        if (sqlite3_value_type(A[i]) == SQLITE_NULL)
            continue;
        All = false;
        R += AsText(A[i]);
    }
    if (All)
        return sqlite3_result_null(C);
    sqlite3_result_text(C, R.data(), static_cast<int>(R.size()), SQLITE_TRANSIENT);
}

// The right side of / and Mod: Jet refuses to divide by zero.
void Divisor(sqlite3_context *C, int, TArgs A)
{
    const int T = sqlite3_value_type(A[0]);
    if ((T == SQLITE_INTEGER || T == SQLITE_FLOAT) && sqlite3_value_double(A[0]) == 0.0)
        return sqlite3_result_error(C, "Division by zero.", -1);
    sqlite3_result_value(C, A[0]);
}

// A date operand of &: Jet joins the date's text, not its day number.
void DateText(sqlite3_context *C, int, TArgs A)
{
    if (sqlite3_value_type(A[0]) == SQLITE_NULL)
        return sqlite3_result_null(C);
    double D;
    if (!DateArg(C, A[0], D))
        return;
    const std::string S = FormatJetDateGeneral(D);
    sqlite3_result_text(C, S.data(), static_cast<int>(S.size()), SQLITE_TRANSIENT);
}

void Space(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    const std::int64_t N = sqlite3_value_int64(A[0]);
    if (N < 0 || N > 65535)
        return sqlite3_result_error(C, "Invalid procedure call: Space needs 0 to 65535.", -1);
    const std::string S(static_cast<size_t>(N), ' ');
    sqlite3_result_text(C, S.data(), static_cast<int>(S.size()), SQLITE_TRANSIENT);
}
void Asc(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    const std::u32string S = Text(A[0]);
    if (S.empty())
        return sqlite3_result_error(C, "Invalid procedure call: Asc of an empty text.", -1);
    sqlite3_result_int64(C, S[0]);
}
void Chr(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    ResultText(C, std::u32string(1, static_cast<char32_t>(sqlite3_value_int64(A[0]))));
}
void StrComp(sqlite3_context *C, int N, TArgs A)
{
    if (AnyNull(2, A))
        return sqlite3_result_null(C);
    const bool Binary = N > 2 && sqlite3_value_int(A[2]) == 0;
    std::u32string S1 = Binary ? Text(A[0]) : Folded(AsText(A[0]));
    std::u32string S2 = Binary ? Text(A[1]) : Folded(AsText(A[1]));
    sqlite3_result_int(C, S1 < S2 ? -1 : S1 == S2 ? 0 : 1);
}
void Database(sqlite3_context *C, int, TArgs)
{
    sqlite3 *Db = sqlite3_context_db_handle(C);
    const char *F = sqlite3_db_filename(Db, "main");
    sqlite3_result_text(C, F ? F : "", -1, SQLITE_TRANSIENT);
}
void User(sqlite3_context *C, int, TArgs) { sqlite3_result_text(C, "admin", -1, SQLITE_STATIC); }

// --------------------------------------------------- number functions

bool NumArg(sqlite3_context *C, sqlite3_value *V, double &AOut)
{
    const int T = sqlite3_value_numeric_type(V);
    if (T == SQLITE_INTEGER || T == SQLITE_FLOAT) {
        AOut = sqlite3_value_double(V);
        return true;
    }
    sqlite3_result_error(C, "Data type mismatch in criteria expression: the value is no number.", -1);
    return false;
}

using TMathFn = double (*)(double);
template <TMathFn F, bool AKeepInteger>
void MathFn(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    if (AKeepInteger && sqlite3_value_numeric_type(A[0]) == SQLITE_INTEGER)
        return sqlite3_result_int64(C, static_cast<std::int64_t>(F(static_cast<double>(sqlite3_value_int64(A[0])))));
    double X;
    if (NumArg(C, A[0], X))
        sqlite3_result_double(C, F(X));
}

double Sgn(double X) { return X > 0 ? 1 : X < 0 ? -1 : 0; }
double Radians(double X) { return X * M_PI / 180.0; }
double Degrees(double X) { return X * 180.0 / M_PI; }

// A math function defined only on part of the line: outside it Jet raises
// "Invalid procedure call".
void CheckedMath(sqlite3_context *C, TArgs A, double (*AFn)(double), bool AStrict, const char *AError)
{
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    double X;
    if (!NumArg(C, A[0], X))
        return;
    if (X < 0 || (AStrict && X == 0))
        return sqlite3_result_error(C, AError, -1);
    sqlite3_result_double(C, AFn(X));
}
void LogFn(sqlite3_context *C, int, TArgs A)
{
    CheckedMath(C, A, std::log, true, "Invalid procedure call: Log needs a number above 0.");
}
void Log10Fn(sqlite3_context *C, int, TArgs A)
{
    CheckedMath(C, A, std::log10, true, "Invalid procedure call: Log10 needs a number above 0.");
}
void SqrFn(sqlite3_context *C, int, TArgs A)
{
    CheckedMath(C, A, std::sqrt, false, "Invalid procedure call: Sqr of a negative number.");
}
void Round(sqlite3_context *C, int N, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    double X;
    if (!NumArg(C, A[0], X))
        return;
    const int D = N > 1 ? sqlite3_value_int(A[1]) : 0;
    if (D == 0)
        return sqlite3_result_double(C, BankersRound(X, 0));
    sqlite3_result_double(C, BankersRound(X, D));
}
void Power(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(2, A))
        return sqlite3_result_null(C);
    sqlite3_result_double(C, std::pow(sqlite3_value_double(A[0]), sqlite3_value_double(A[1])));
}
void ModFn(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(2, A))
        return sqlite3_result_null(C);
    const std::int64_t B = static_cast<std::int64_t>(BankersRound(sqlite3_value_double(A[1]), 0));
    if (B == 0)
        return sqlite3_result_error(C, "Division by zero.", -1);
    sqlite3_result_int64(C, static_cast<std::int64_t>(BankersRound(sqlite3_value_double(A[0]), 0)) % B);
}
void Pi(sqlite3_context *C, int, TArgs) { sqlite3_result_double(C, M_PI); }

void Nz(sqlite3_context *C, int N, TArgs A)
{
    if (sqlite3_value_type(A[0]) != SQLITE_NULL)
        return sqlite3_result_value(C, A[0]);
    if (N > 1)
        return sqlite3_result_value(C, A[1]);
    sqlite3_result_text(C, "", 0, SQLITE_STATIC);
}
void IsNull(sqlite3_context *C, int, TArgs A) { sqlite3_result_int(C, sqlite3_value_type(A[0]) == SQLITE_NULL ? -1 : 0); }

void Val(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    const std::string S = AsText(A[0]);
    std::string Digits;
    for (char Ch : S)
        if (Ch != ' ' && Ch != '\t')
            Digits += Ch;
    double V = 0;
    rtl::CScanFloat(Digits.data(), Digits.data() + Digits.size(), V);
    sqlite3_result_double(C, V);
}
void CStr(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_error(C, "Invalid use of Null.", -1);
    const std::string S = AsText(A[0]);
    sqlite3_result_text(C, S.data(), static_cast<int>(S.size()), SQLITE_TRANSIENT);
}
template <std::int64_t AMin, std::int64_t AMax>
void CIntFn(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_error(C, "Invalid use of Null.", -1);
    double X;
    if (!NumArg(C, A[0], X))
        return;
    const double R = BankersRound(X, 0);
    if (R < static_cast<double>(AMin) || R > static_cast<double>(AMax))
        return sqlite3_result_error(C, "Overflow.", -1);
    sqlite3_result_int64(C, static_cast<std::int64_t>(R));
}
void CDbl(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_error(C, "Invalid use of Null.", -1);
    double X;
    if (NumArg(C, A[0], X))
        sqlite3_result_double(C, X);
}
void CSng(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_error(C, "Invalid use of Null.", -1);
    double X;
    if (NumArg(C, A[0], X))
        sqlite3_result_double(C, static_cast<double>(static_cast<float>(X)));
}
void CBool(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_error(C, "Invalid use of Null.", -1);
    double X;
    if (NumArg(C, A[0], X))
        sqlite3_result_int(C, X != 0 ? -1 : 0);
}
void Convert(sqlite3_context *C, int, TArgs A)
{
    if (sqlite3_value_type(A[0]) == SQLITE_NULL)
        return sqlite3_result_null(C);
    std::string T = AsText(A[1]);
    for (auto &Ch : T)
        Ch = rtl::CUpCase(Ch);
    if (T.find("CHAR") != std::string::npos) {
        const std::string S = AsText(A[0]);
        return sqlite3_result_text(C, S.data(), static_cast<int>(S.size()), SQLITE_TRANSIENT);
    }
    if (T == "SQL_INTEGER" || T == "SQL_SMALLINT" || T == "SQL_TINYINT" || T == "SQL_BIGINT" || T == "SQL_BIT")
        return sqlite3_result_int64(C, static_cast<std::int64_t>(BankersRound(sqlite3_value_double(A[0]), 0)));
    if (T == "SQL_DOUBLE" || T == "SQL_FLOAT" || T == "SQL_REAL" || T == "SQL_NUMERIC" || T == "SQL_DECIMAL")
        return sqlite3_result_double(C, sqlite3_value_double(A[0]));
    if (T.find("DATE") != std::string::npos || T.find("TIMESTAMP") != std::string::npos) {
        double D;
        if (DateArg(C, A[0], D))
            sqlite3_result_double(C, T.find("DATE") != std::string::npos && T.find("TIMESTAMP") == std::string::npos
                                         ? std::trunc(D) : D);
        return;
    }
    sqlite3_result_error(C, "The CONVERT target type is not supported.", -1);
}

// An amount written to a CURRENCY column: stored as an integer count of
// ten-thousandths, rounded half to even as Jet rounds currency.
void CurrencyIn(sqlite3_context *C, int, TArgs A)
{
    if (AnyNull(1, A))
        return sqlite3_result_null(C);
    double X;
    if (!NumArg(C, A[0], X))
        return;
    const double Scaled = BankersRound(X * 10000.0, 0);
    if (std::fabs(Scaled) > 9.2e18)
        return sqlite3_result_error(C, "Overflow: the amount does not fit a CURRENCY column.", -1);
    sqlite3_result_int64(C, static_cast<std::int64_t>(Scaled));
}

void Identity(sqlite3_context *C, int, TArgs)
{
    const auto *P = static_cast<const std::int64_t *>(sqlite3_user_data(C));
    sqlite3_result_int64(C, P ? *P : 0);
}

// ------------------------------------------------------- aggregates

struct TFirstLast { sqlite3_value *V; };
template <bool AFirst>
void FirstLastStep(sqlite3_context *C, int, TArgs A)
{
    auto *S = static_cast<TFirstLast *>(sqlite3_aggregate_context(C, sizeof(TFirstLast)));
    if (!S)
        return sqlite3_result_error_nomem(C);
    if (AFirst && S->V)
        return;
    if (S->V)
        sqlite3_value_free(S->V);
    S->V = sqlite3_value_dup(A[0]);
}
void FirstLastFinal(sqlite3_context *C)
{
    auto *S = static_cast<TFirstLast *>(sqlite3_aggregate_context(C, 0));
    if (!S || !S->V)
        return sqlite3_result_null(C);
    sqlite3_result_value(C, S->V);
    sqlite3_value_free(S->V);
    S->V = nullptr;
}

struct TVariance { std::int64_t N; double Mean, M2; };
void VarStep(sqlite3_context *C, int, TArgs A)
{
    if (sqlite3_value_type(A[0]) == SQLITE_NULL)
        return;
    auto *S = static_cast<TVariance *>(sqlite3_aggregate_context(C, sizeof(TVariance)));
    if (!S)
        return sqlite3_result_error_nomem(C);
    const double X = sqlite3_value_double(A[0]);
    ++S->N;
    const double D = X - S->Mean;
    S->Mean += D / static_cast<double>(S->N);
    S->M2 += D * (X - S->Mean);
}
template <bool ASample, bool ASqrt>
void VarFinal(sqlite3_context *C)
{
    auto *S = static_cast<TVariance *>(sqlite3_aggregate_context(C, 0));
    const std::int64_t Min = ASample ? 2 : 1;
    if (!S || S->N < Min)
        return sqlite3_result_null(C);
    const double V = S->M2 / static_cast<double>(ASample ? S->N - 1 : S->N);
    sqlite3_result_double(C, ASqrt ? std::sqrt(V) : V);
}

// Jet compares text without regard to case in every alphabet; SQLite's
// NOCASE and LIKE fold ASCII letters only. The translator marks text columns
// compared in conditions, groupings and orderings COLLATE JETNOCASE, and
// LIKE is replaced on the connection. The file keeps NOCASE in its schema
// and indexes, so plain SQLite tools still read and check it; an index
// ordered by NOCASE simply does not serve a JETNOCASE comparison.
int CompareNoCase(void *, int AN, const void *A, int BN, const void *B)
{
    return CompareFolded(static_cast<const char *>(A), static_cast<size_t>(AN), static_cast<const char *>(B),
                         static_cast<size_t>(BN));
}

// like(pattern, text[, escape]), as SQLite calls it for text LIKE pattern.
void Like(sqlite3_context *C, int N, TArgs A)
{
    const unsigned char *P = sqlite3_value_text(A[0]);
    const int PN = sqlite3_value_bytes(A[0]);
    const unsigned char *T = sqlite3_value_text(A[1]);
    const int TN = sqlite3_value_bytes(A[1]);
    if (PN > sqlite3_limit(sqlite3_context_db_handle(C), SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1))
        return sqlite3_result_error(C, "LIKE or GLOB pattern too complex", -1);
    char32_t Escape = 0;
    if (N == 3) {
        const unsigned char *E = sqlite3_value_text(A[2]);
        if (!E)
            return;
        const std::u32string Es = Decode(E, sqlite3_value_bytes(A[2]));
        if (Es.size() != 1)
            return sqlite3_result_error(C, "ESCAPE expression must be a single character", -1);
        Escape = Es[0];
    }
    if (P && T)
        sqlite3_result_int(C, LikeFolded(reinterpret_cast<const char *>(P), static_cast<size_t>(PN),
                                         reinterpret_cast<const char *>(T), static_cast<size_t>(TN), Escape));
}

struct TFn {
    const char *Name;
    int Args;
    void (*Fn)(sqlite3_context *, int, sqlite3_value **);
    bool Deterministic;
};

} // namespace

void RegisterJetFunctions(sqlite3 *Db, const std::int64_t *AIdentity)
{
    static const TFn Fns[] = {
        {"jet_month", 1, DatePartFunc<MonthOf>, true},
        {"jet_year", 1, DatePartFunc<YearOf>, true},
        {"jet_day", 1, DatePartFunc<DayOf>, true},
        {"jet_hour", 1, DatePartFunc<HourOf>, true},
        {"jet_minute", 1, DatePartFunc<MinuteOf>, true},
        {"jet_second", 1, DatePartFunc<SecondOf>, true},
        {"jet_weekday", 1, DatePartFunc<WeekdayOf>, true},
        {"jet_dayofyear", 1, DatePartFunc<DayOfYear>, true},
        {"jet_week", 1, DatePartFunc<WeekOfYear>, true},
        {"jet_quarter", 1, DatePartFunc<QuarterOf>, true},
        {"jet_monthname", 1, MonthName, true},
        {"jet_dayname", 1, DayName, true},
        {"jet_datevalue", 1, DateValue, true},
        {"jet_timevalue", 1, TimeValue, true},
        {"jet_cdate", 1, CDate, true},
        {"jet_datecol", 1, DateColumnValue, true},
        {"jet_datepart", 2, DatePart, true},
        {"jet_datepart", 3, DatePart, true},
        {"jet_dateadd", 3, DateAdd, true},
        {"jet_timestampadd", 3, DateAdd, true},
        {"jet_datediff", 3, DateDiff, true},
        {"jet_timestampdiff", 3, DateDiff, true},
        {"jet_dateserial", 3, DateSerial, true},
        {"jet_timeserial", 3, TimeSerial, true},
        {"jet_now", 0, NowFn, false},
        {"jet_date", 0, DateFn, false},
        {"jet_time", 0, TimeFn, false},
        {"jet_len", 1, Len, true},
        {"jet_mid", 2, Mid, true},
        {"jet_mid", 3, Mid, true},
        {"jet_left", 2, Left, true},
        {"jet_right", 2, Right, true},
        {"jet_instr", 2, InStr, true},
        {"jet_instr", 3, InStr, true},
        {"jet_instr", 4, InStr, true},
        {"jet_locate", 2, Locate, true},
        {"jet_locate", 3, Locate, true},
        {"jet_ucase", 1, CaseFn<true>, true},
        {"jet_lcase", 1, CaseFn<false>, true},
        {"jet_trim", 1, TrimFn<true, true>, true},
        {"jet_ltrim", 1, TrimFn<true, false>, true},
        {"jet_rtrim", 1, TrimFn<false, true>, true},
        {"jet_concat", -1, Concat, true},
        {"jet_datetext", 1, DateText, true},
        {"jet_divisor", 1, Divisor, true},
        {"jet_space", 1, Space, true},
        {"jet_asc", 1, Asc, true},
        {"jet_chr", 1, Chr, true},
        {"jet_strcomp", 2, StrComp, true},
        {"jet_strcomp", 3, StrComp, true},
        {"jet_database", 0, Database, true},
        {"jet_user", 0, User, true},
        {"jet_int", 1, MathFn<static_cast<double (*)(double)>(std::floor), true>, true},
        {"jet_fix", 1, MathFn<static_cast<double (*)(double)>(std::trunc), true>, true},
        {"jet_ceiling", 1, MathFn<static_cast<double (*)(double)>(std::ceil), true>, true},
        {"jet_abs", 1, MathFn<static_cast<double (*)(double)>(std::fabs), true>, true},
        {"jet_sgn", 1, MathFn<Sgn, true>, true},
        {"jet_exp", 1, MathFn<static_cast<double (*)(double)>(std::exp), false>, true},
        {"jet_sin", 1, MathFn<static_cast<double (*)(double)>(std::sin), false>, true},
        {"jet_cos", 1, MathFn<static_cast<double (*)(double)>(std::cos), false>, true},
        {"jet_tan", 1, MathFn<static_cast<double (*)(double)>(std::tan), false>, true},
        {"jet_atn", 1, MathFn<static_cast<double (*)(double)>(std::atan), false>, true},
        {"jet_radians", 1, MathFn<Radians, false>, true},
        {"jet_degrees", 1, MathFn<Degrees, false>, true},
        {"jet_log", 1, LogFn, true},
        {"jet_log10", 1, Log10Fn, true},
        {"jet_sqr", 1, SqrFn, true},
        {"jet_round", 1, Round, true},
        {"jet_round", 2, Round, true},
        {"jet_power", 2, Power, true},
        {"jet_mod", 2, ModFn, true},
        {"jet_pi", 0, Pi, true},
        {"jet_nz", 1, Nz, true},
        {"jet_nz", 2, Nz, true},
        {"jet_isnull", 1, IsNull, true},
        {"jet_val", 1, Val, true},
        {"jet_cstr", 1, CStr, true},
        {"jet_cint", 1, CIntFn<-32768, 32767>, true},
        {"jet_clng", 1, CIntFn<-2147483648LL, 2147483647LL>, true},
        {"jet_cdbl", 1, CDbl, true},
        {"jet_csng", 1, CSng, true},
        {"jet_cbool", 1, CBool, true},
        {"jet_convert", 2, Convert, true},
        {"jet_currency", 1, CurrencyIn, true},
    };
    for (const TFn &F : Fns)
        sqlite3_create_function_v2(Db, F.Name, F.Args, SQLITE_UTF8 | (F.Deterministic ? SQLITE_DETERMINISTIC : 0),
                                   nullptr, F.Fn, nullptr, nullptr, nullptr);
    for (int Args : {2, 3})
        sqlite3_create_function_v2(Db, "like", Args, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                   Like, nullptr, nullptr, nullptr);
    sqlite3_create_collation_v2(Db, "JETNOCASE", SQLITE_UTF8, nullptr, CompareNoCase, nullptr);
    sqlite3_create_function_v2(Db, "jet_identity", 0, SQLITE_UTF8, const_cast<std::int64_t *>(AIdentity), Identity,
                               nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(Db, "jet_first", 1, SQLITE_UTF8, nullptr, nullptr, FirstLastStep<true>,
                               FirstLastFinal, nullptr);
    sqlite3_create_function_v2(Db, "jet_last", 1, SQLITE_UTF8, nullptr, nullptr, FirstLastStep<false>,
                               FirstLastFinal, nullptr);
    sqlite3_create_function_v2(Db, "jet_stdev", 1, SQLITE_UTF8, nullptr, nullptr, VarStep, VarFinal<true, true>, nullptr);
    sqlite3_create_function_v2(Db, "jet_stdevp", 1, SQLITE_UTF8, nullptr, nullptr, VarStep, VarFinal<false, true>, nullptr);
    sqlite3_create_function_v2(Db, "jet_var", 1, SQLITE_UTF8, nullptr, nullptr, VarStep, VarFinal<true, false>, nullptr);
    sqlite3_create_function_v2(Db, "jet_varp", 1, SQLITE_UTF8, nullptr, nullptr, VarStep, VarFinal<false, false>, nullptr);
}

} // namespace jet
