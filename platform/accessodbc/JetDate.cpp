// Jet date encoding and the date-text parsers of the driver.
#include "platform/accessodbc/JetDate.h"

#include "platform/rtl/CLocaleText.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

namespace jet {

namespace {

constexpr std::int64_t MsPerDay = 86400000;

// Days from 0000-03-01 style civil algorithm (H. Hinnant), shifted so that
// 1899-12-30 is day 0.
std::int64_t DaysFromEpoch1970(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

const std::int64_t Epoch1899 = DaysFromEpoch1970(1899, 12, 30);

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

struct TScanner {
    std::string_view S;
    size_t P = 0;
    void Blanks() { while (P < S.size() && (S[P] == ' ' || S[P] == '\t')) ++P; }
    bool Eof() const { return P >= S.size(); }
    char Peek() const { return P < S.size() ? S[P] : '\0'; }
    // Reads up to AMax digits; the count read goes to ACount.
    bool Number(int &AValue, int &ACount, int AMax = 9)
    {
        AValue = 0;
        ACount = 0;
        while (P < S.size() && std::isdigit(static_cast<unsigned char>(S[P])) && ACount < AMax) {
            AValue = AValue * 10 + (S[P] - '0');
            ++P;
            ++ACount;
        }
        return ACount > 0;
    }
};

int ExpandYear(int AYear, int ADigits)
{
    if (ADigits <= 2)
        return AYear < 30 ? 2000 + AYear : 1900 + AYear;
    return AYear;
}

// Time part: h:m[:s[.fff]] or h.m[.s] with optional AM/PM.
bool ParseTime(TScanner &Sc, TJetDateTime &V)
{
    int h, m = 0, s = 0, ms = 0, n;
    if (!Sc.Number(h, n, 2))
        return false;
    const char Sep = Sc.Peek();
    if (Sep != ':' && Sep != '.')
        return false;
    ++Sc.P;
    if (!Sc.Number(m, n, 2))
        return false;
    if (Sc.Peek() == Sep) {
        ++Sc.P;
        if (!Sc.Number(s, n, 2))
            return false;
        if (Sep == ':' && Sc.Peek() == '.') {
            ++Sc.P;
            int Frac, Digits;
            if (!Sc.Number(Frac, Digits, 9))
                return false;
            double F = Frac / std::pow(10.0, Digits);
            ms = static_cast<int>(std::lround(F * 1000.0));
            if (ms >= 1000)
                ms = 999;
        }
    }
    Sc.Blanks();
    if (!Sc.Eof()) {
        std::string Rest;
        for (size_t i = Sc.P; i < Sc.S.size(); ++i)
            Rest += rtl::CUpCase(Sc.S[i]);
        if (Rest == "AM" || Rest == "A" || Rest == "PM" || Rest == "P") {
            if (h < 1 || h > 12)
                return false;
            if (Rest[0] == 'A')
                h = h == 12 ? 0 : h;
            else
                h = h == 12 ? 12 : h + 12;
            Sc.P = Sc.S.size();
        }
    }
    if (h > 23 || m > 59 || s > 59)
        return false;
    V.Hour = h;
    V.Minute = m;
    V.Second = s;
    V.Millisecond = ms;
    return true;
}

bool ParseDate(TScanner &Sc, TJetDateTime &V)
{
    int a, b, c, na, nb, nc;
    const size_t Start = Sc.P;
    if (!Sc.Number(a, na, 4))
        return false;
    const char Sep = Sc.Peek();
    if (Sep != '/' && Sep != '-') {
        Sc.P = Start;
        return false;
    }
    ++Sc.P;
    if (!Sc.Number(b, nb, 2) || Sc.Peek() != Sep) {
        Sc.P = Start;
        return false;
    }
    ++Sc.P;
    if (!Sc.Number(c, nc, 4)) {
        Sc.P = Start;
        return false;
    }
    int y, m, d;
    if (na == 4) { // yyyy-m-d
        y = a; m = b; d = c;
    } else {       // m/d/yyyy, as Jet reads literals whatever the locale
        m = a; d = b; y = ExpandYear(c, nc);
    }
    if (!ValidDate(y, m, d)) {
        Sc.P = Start;
        return false;
    }
    V.Year = y;
    V.Month = m;
    V.Day = d;
    return true;
}

} // namespace

std::int64_t DaysFromCivil(int AYear, int AMonth, int ADay)
{
    return DaysFromEpoch1970(AYear, static_cast<unsigned>(AMonth), static_cast<unsigned>(ADay)) - Epoch1899;
}

void CivilFromDays(std::int64_t ADays, int &AYear, int &AMonth, int &ADay)
{
    std::int64_t z = ADays + Epoch1899 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    AYear = static_cast<int>(y + (m <= 2));
    AMonth = static_cast<int>(m);
    ADay = static_cast<int>(d);
}

bool ValidDate(int AYear, int AMonth, int ADay)
{
    static const int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (AYear < 100 || AYear > 9999 || AMonth < 1 || AMonth > 12 || ADay < 1)
        return false;
    const int Max = Days[AMonth - 1] + (AMonth == 2 && IsLeap(AYear) ? 1 : 0);
    return ADay <= Max;
}

double JoinJetDate(std::int64_t ADay, std::int64_t AMsOfDay)
{
    const double Frac = static_cast<double>(AMsOfDay) / static_cast<double>(MsPerDay);
    return ADay >= 0 ? static_cast<double>(ADay) + Frac : static_cast<double>(ADay) - Frac;
}

double EncodeJetDate(const TJetDateTime &V)
{
    const std::int64_t Day = DaysFromCivil(V.Year, V.Month, V.Day);
    const std::int64_t Ms = ((V.Hour * 60LL + V.Minute) * 60LL + V.Second) * 1000LL + V.Millisecond;
    return JoinJetDate(Day, Ms);
}

void SplitJetDate(double AValue, std::int64_t &ADay, std::int64_t &AMsOfDay)
{
    const double Whole = std::trunc(AValue);
    std::int64_t Day = static_cast<std::int64_t>(Whole);
    std::int64_t Ms = std::llround(std::fabs(AValue - Whole) * static_cast<double>(MsPerDay));
    if (Ms >= MsPerDay) { // rounding carried into the next calendar day
        Ms -= MsPerDay;
        Day += 1;
    }
    ADay = Day;
    AMsOfDay = Ms;
}

TJetDateTime DecodeJetDate(double AValue)
{
    std::int64_t Day, Ms;
    SplitJetDate(AValue, Day, Ms);
    TJetDateTime R;
    CivilFromDays(Day, R.Year, R.Month, R.Day);
    R.Millisecond = static_cast<int>(Ms % 1000);
    Ms /= 1000;
    R.Second = static_cast<int>(Ms % 60);
    Ms /= 60;
    R.Minute = static_cast<int>(Ms % 60);
    R.Hour = static_cast<int>(Ms / 60);
    return R;
}

TJetDateParts ParseJetDateText(std::string_view AText, TJetDateTime &AValue)
{
    TScanner Sc{AText};
    TJetDateTime V;
    Sc.Blanks();
    bool HasDate = ParseDate(Sc, V);
    bool HasTime = false;
    if (HasDate) {
        Sc.Blanks();
        if (!Sc.Eof()) {
            // ISO texts may separate the time with a 'T'.
            if (Sc.Peek() == 'T' || Sc.Peek() == 't')
                ++Sc.P;
            if (!ParseTime(Sc, V))
                return TJetDateParts::None;
            HasTime = true;
        }
    } else {
        if (!ParseTime(Sc, V))
            return TJetDateParts::None;
        HasTime = true;
    }
    Sc.Blanks();
    if (!Sc.Eof())
        return TJetDateParts::None;
    AValue = V;
    if (HasDate && HasTime)
        return TJetDateParts::DateTime;
    return HasDate ? TJetDateParts::DateOnly : TJetDateParts::TimeOnly;
}

bool ReadJetDateText(std::string_view AText, double &ADays)
{
    TJetDateTime V;
    if (ParseJetDateText(AText, V) == TJetDateParts::None)
        return false;
    ADays = EncodeJetDate(V);
    return true;
}

std::string FormatJetDateCanonical(double AValue)
{
    const TJetDateTime V = DecodeJetDate(AValue);
    char Buf[40];
    if (V.Millisecond)
        std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", V.Year, V.Month, V.Day,
                      V.Hour, V.Minute, V.Second, V.Millisecond);
    else
        std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02d %02d:%02d:%02d", V.Year, V.Month, V.Day, V.Hour,
                      V.Minute, V.Second);
    return Buf;
}

std::string FormatJetDateGeneral(double AValue)
{
    const TJetDateTime V = DecodeJetDate(AValue);
    const bool TimeOnly = V.Year == 1899 && V.Month == 12 && V.Day == 30;
    const bool DateOnly = V.Hour == 0 && V.Minute == 0 && V.Second == 0;
    char Buf[64];
    std::string R;
    if (!TimeOnly || DateOnly) {
        std::snprintf(Buf, sizeof Buf, "%d/%d/%d", V.Month, V.Day, V.Year);
        R = Buf;
    }
    if (!DateOnly) {
        const int H12 = V.Hour % 12 == 0 ? 12 : V.Hour % 12;
        std::snprintf(Buf, sizeof Buf, "%d:%02d:%02d %s", H12, V.Minute, V.Second, V.Hour < 12 ? "AM" : "PM");
        R += (R.empty() ? "" : " ") + std::string(Buf);
    }
    return R;
}

} // namespace jet
