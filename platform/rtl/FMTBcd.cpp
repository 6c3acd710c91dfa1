// FMTBcd: packed decimal, Currency and SQL time stamp conversions.
#include "platform/rtl/FMTBcd.h"

#include "platform/rtl/CLocaleText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace rtl {

namespace {

// A decimal as its digit characters: Digits holds integer and fraction
// digits, the last Places of them after the point.
struct TDecimal {
    bool Neg = false;
    std::string Digits;
    int Places = 0;
};

TDecimal Unpack(const TBcd &B)
{
    TDecimal D;
    D.Neg = IsBcdNegative(B);
    D.Places = BcdScale(B);
    int P = B.Precision > 64 ? 64 : B.Precision;
    for (int I = 0; I < P; ++I) D.Digits += char('0' + BcdDigit(B, I));
    if (D.Places > P) D.Digits.insert(0, size_t(D.Places - P), '0');
    return D;
}

bool Pack(TDecimal D, TBcd &B)
{
    // Drop leading integer zeros; keep at least one digit.
    int IntDigits = int(D.Digits.size()) - D.Places;
    size_t Lead = 0;
    while (IntDigits > 0 && Lead < D.Digits.size() && D.Digits[Lead] == '0') { ++Lead; --IntDigits; }
    D.Digits.erase(0, Lead);
    if (D.Places > 63) {
        D.Digits.resize(D.Digits.size() - size_t(D.Places - 63));
        D.Places = 63;
    }
    if (D.Digits.size() > 64) return false;
    if (D.Digits.empty()) D.Digits = "0";
    bool Zero = D.Digits.find_first_not_of('0') == std::string::npos;
    B = TBcd{};
    B.Precision = uint8_t(D.Digits.size());
    B.SignSpecialPlaces = uint8_t(D.Places) | ((D.Neg && !Zero) ? 0x80 : 0);
    for (size_t I = 0; I < D.Digits.size(); ++I) {
        uint8_t V = uint8_t(D.Digits[I] - '0');
        if (I % 2 == 0) B.Fraction[I / 2] = uint8_t(V << 4);
        else B.Fraction[I / 2] |= V;
    }
    return true;
}

std::string ToText(const TDecimal &D, char Sep)
{
    int IntDigits = int(D.Digits.size()) - D.Places;
    std::string Int = IntDigits > 0 ? D.Digits.substr(0, size_t(IntDigits)) : "";
    std::string Frac = D.Digits.substr(size_t(IntDigits > 0 ? IntDigits : 0));
    size_t NZ = Int.find_first_not_of('0');
    Int = NZ == std::string::npos ? "0" : Int.substr(NZ);
    while (!Frac.empty() && Frac.back() == '0') Frac.pop_back();
    std::string R = Int;
    if (!Frac.empty()) R += Sep + Frac;
    if (D.Neg && R != "0") R.insert(0, "-");
    return R;
}

bool Parse(std::string_view S, char Sep, TDecimal &D)
{
    std::string T = Trim(S);
    D = TDecimal{};
    size_t I = 0;
    if (I < T.size() && (T[I] == '-' || T[I] == '+')) D.Neg = T[I++] == '-';
    bool Dot = false, Any = false;
    for (; I < T.size(); ++I) {
        char C = T[I];
        if (C >= '0' && C <= '9') {
            D.Digits += C;
            if (Dot) ++D.Places;
            Any = true;
        } else if (C == Sep && !Dot) {
            Dot = true;
        } else {
            return false;
        }
    }
    return Any;
}

} // namespace

int BcdDigit(const TBcd &B, int I)
{
    uint8_t V = B.Fraction[I / 2];
    return (I % 2 == 0) ? (V >> 4) : (V & 0x0F);
}

int BcdPrecision(const TBcd &B)
{
    TDecimal D = Unpack(B);
    int IntDigits = int(D.Digits.size()) - D.Places;
    int Lead = 0;
    while (Lead < IntDigits && D.Digits[size_t(Lead)] == '0') ++Lead;
    return int(D.Digits.size()) - Lead;
}

bool TryStrToBcd(std::string_view S, TBcd &B)
{
    TDecimal D;
    if (!Parse(S, FormatSettings.DecimalSeparator, D)) return false;
    return Pack(D, B);
}

TBcd StrToBcd(std::string_view S)
{
    TBcd B;
    if (!TryStrToBcd(S, B)) throw EBcdException("'" + std::string(S) + "' is not a valid BCD value");
    return B;
}

std::string BcdToStr(const TBcd &B) { return ToText(Unpack(B), FormatSettings.DecimalSeparator); }

double BcdToDouble(const TBcd &B)
{
    std::string S = ToText(Unpack(B), '.');
    double V = 0;
    CTryTextToFloat(S, V);
    return V;
}

TBcd DoubleToBcd(double Value)
{
    if (!std::isfinite(Value)) throw EBcdOverflowException("BCD overflow");
    // 15 significant digits: what a double holds reliably.
    double Rounded = Value;
    CTryTextToFloat(CFloatText(Value, 'e', 14), Rounded);
    // Cut to 15 significant digits again to avoid binary noise digits.
    std::string S = CFloatText(Rounded, 'f', 63);
    TDecimal D;
    Parse(S, '.', D);
    size_t First = D.Digits.find_first_not_of('0');
    if (First != std::string::npos && D.Digits.size() - First > 15) {
        size_t Keep = First + 15;
        int Cut = int(D.Digits.size() - Keep);
        if (Cut <= D.Places) {
            D.Digits.resize(Keep);
            D.Places -= Cut;
        }
    }
    while (D.Places > 0 && D.Digits.back() == '0') { D.Digits.pop_back(); --D.Places; }
    TBcd B;
    if (!Pack(D, B)) throw EBcdOverflowException("BCD overflow");
    return B;
}

TBcd IntegerToBcd(int64_t Value)
{
    TDecimal D;
    D.Neg = Value < 0;
    uint64_t U = D.Neg ? uint64_t(0) - uint64_t(Value) : uint64_t(Value);
    D.Digits = std::to_string(U);
    TBcd B;
    Pack(D, B);
    return B;
}

int64_t BcdToInt64(const TBcd &B)
{
    TDecimal D = Unpack(B);
    int IntDigits = int(D.Digits.size()) - D.Places;
    uint64_t Acc = 0;
    const uint64_t Limit = D.Neg ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    for (int I = 0; I < IntDigits; ++I) {
        uint64_t Dg = uint64_t(D.Digits[size_t(I)] - '0');
        if (Acc > (Limit - Dg) / 10) throw EBcdOverflowException("BCD overflow");
        Acc = Acc * 10 + Dg;
    }
    return D.Neg ? int64_t(0 - Acc) : int64_t(Acc);
}

int BcdCompare(const TBcd &A, const TBcd &B)
{
    TDecimal X = Unpack(A), Y = Unpack(B);
    auto Norm = [](TDecimal &D, int Places) {
        D.Digits.append(size_t(Places - D.Places), '0');
        D.Places = Places;
        size_t NZ = D.Digits.find_first_not_of('0');
        D.Digits = NZ == std::string::npos ? "" : D.Digits.substr(NZ);
    };
    int Places = std::max(X.Places, Y.Places);
    Norm(X, Places);
    Norm(Y, Places);
    bool XZero = X.Digits.empty(), YZero = Y.Digits.empty();
    int XS = XZero ? 0 : (X.Neg ? -1 : 1), YS = YZero ? 0 : (Y.Neg ? -1 : 1);
    if (XS != YS) return XS < YS ? -1 : 1;
    if (XS == 0) return 0;
    int Mag;
    if (X.Digits.size() != Y.Digits.size()) Mag = X.Digits.size() < Y.Digits.size() ? -1 : 1;
    else Mag = X.Digits < Y.Digits ? -1 : (X.Digits > Y.Digits ? 1 : 0);
    return XS < 0 ? -Mag : Mag;
}

TBcd NullBcd() { return TBcd{}; }

bool NormalizeBcd(const TBcd &In, TBcd &Out, int Precision, int Places)
{
    TDecimal D = Unpack(In);
    if (D.Places > Places) {
        int Cut = D.Places - Places;
        bool Up = D.Digits[D.Digits.size() - size_t(Cut)] >= '5';
        D.Digits.resize(D.Digits.size() - size_t(Cut));
        D.Places = Places;
        if (Up) {
            int I = int(D.Digits.size()) - 1;
            while (I >= 0 && D.Digits[size_t(I)] == '9') D.Digits[size_t(I--)] = '0';
            if (I >= 0) ++D.Digits[size_t(I)];
            else D.Digits.insert(0, "1");
        }
    } else {
        D.Digits.append(size_t(Places - D.Places), '0');
        D.Places = Places;
    }
    int IntDigits = int(D.Digits.size()) - D.Places;
    while (IntDigits > Precision - Places && IntDigits > 0 && D.Digits[0] == '0') {
        D.Digits.erase(0, 1);
        --IntDigits;
    }
    if (IntDigits > Precision - Places) return false;
    D.Digits.insert(0, size_t(Precision - Places - IntDigits), '0');
    bool Zero = D.Digits.find_first_not_of('0') == std::string::npos;
    Out = TBcd{};
    Out.Precision = uint8_t(Precision);
    Out.SignSpecialPlaces = uint8_t(Places) | ((D.Neg && !Zero) ? 0x80 : 0);
    for (size_t I = 0; I < D.Digits.size() && I < 64; ++I) {
        uint8_t V = uint8_t(D.Digits[I] - '0');
        if (I % 2 == 0) Out.Fraction[I / 2] = uint8_t(V << 4);
        else Out.Fraction[I / 2] |= V;
    }
    return true;
}

// ---- Currency -----------------------------------------------------------

Currency Currency::FromDouble(double D)
{
    double Scaled = std::round(D * 10000.0);
    if (!std::isfinite(Scaled) || Scaled >= 9.2233720368547758e18 || Scaled < -9.2233720368547758e18)
        throw EOverflow("Floating point overflow");
    return FromRaw(int64_t(Scaled));
}

std::string CurrToStr(Currency C)
{
    bool Neg = C.Value < 0;
    uint64_t U = Neg ? uint64_t(0) - uint64_t(C.Value) : uint64_t(C.Value);
    std::string S = std::to_string(U / 10000);
    std::string F = std::to_string(U % 10000);
    while (F.size() < 4) F.insert(0, "0");
    while (!F.empty() && F.back() == '0') F.pop_back();
    if (!F.empty()) S += FormatSettings.DecimalSeparator + F;
    return Neg ? "-" + S : S;
}

bool TryStrToCurr(std::string_view S, Currency &C)
{
    TDecimal D;
    if (!Parse(S, FormatSettings.DecimalSeparator, D)) {
        double V;
        if (!TryStrToFloat(S, V)) return false;
        try {
            C = Currency::FromDouble(V);
        } catch (const EOverflow &) {
            return false;
        }
        return true;
    }
    TBcd B;
    if (!Pack(D, B)) return false;
    return BcdToCurr(B, C);
}

Currency StrToCurr(std::string_view S)
{
    Currency C;
    if (!TryStrToCurr(S, C)) throw EConvertError("'" + std::string(S) + "' is not a valid floating point value");
    return C;
}

bool BcdToCurr(const TBcd &B, Currency &C)
{
    TBcd N;
    TDecimal D = Unpack(B);
    int IntDigits = int(D.Digits.size()) - D.Places;
    if (!NormalizeBcd(B, N, std::max(IntDigits, 1) + 4, 4)) return false;
    TDecimal X = Unpack(N);
    uint64_t Acc = 0;
    const uint64_t Limit = X.Neg ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    for (char Ch : X.Digits) {
        uint64_t Dg = uint64_t(Ch - '0');
        if (Acc > (Limit - Dg) / 10) return false;
        Acc = Acc * 10 + Dg;
    }
    C = Currency::FromRaw(X.Neg ? int64_t(0 - Acc) : int64_t(Acc));
    return true;
}

TBcd CurrToBcd(Currency C)
{
    TDecimal D;
    D.Neg = C.Value < 0;
    uint64_t U = D.Neg ? uint64_t(0) - uint64_t(C.Value) : uint64_t(C.Value);
    D.Digits = std::to_string(U);
    if (D.Digits.size() < 5) D.Digits.insert(0, 5 - D.Digits.size(), '0');
    D.Places = 4;
    while (D.Places > 0 && D.Digits.back() == '0') { D.Digits.pop_back(); --D.Places; }
    TBcd B;
    Pack(D, B);
    return B;
}

// ---- SQL time stamp -----------------------------------------------------

TSQLTimeStamp DateTimeToSQLTimeStamp(TDateTime DateTime)
{
    int Y, Mo, D, H, Mi, S, Ms;
    DecodeDateTime(DateTime, Y, Mo, D, H, Mi, S, Ms);
    TSQLTimeStamp R;
    R.Year = int16_t(Y);
    R.Month = uint16_t(Mo);
    R.Day = uint16_t(D);
    R.Hour = uint16_t(H);
    R.Minute = uint16_t(Mi);
    R.Second = uint16_t(S);
    R.Fractions = uint32_t(Ms);
    return R;
}

TDateTime SQLTimeStampToDateTime(const TSQLTimeStamp &TS)
{
    if (TS.Year == 0 && TS.Month == 0 && TS.Day == 0) {
        TDateTime T;
        if (!TryEncodeTime(TS.Hour, TS.Minute, TS.Second, int(TS.Fractions), T))
            throw EConvertError("Invalid argument to time encode");
        return T;
    }
    return EncodeDateTime(TS.Year, TS.Month, TS.Day, TS.Hour, TS.Minute, TS.Second, int(TS.Fractions));
}

std::string SQLTimeStampToStr(std::string_view Format, const TSQLTimeStamp &TS)
{
    return FormatDateTime(Format.empty() ? std::string_view("c") : Format, SQLTimeStampToDateTime(TS));
}

} // namespace rtl
