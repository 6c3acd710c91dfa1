// SysUtils: base exceptions, format settings, text/number conversion and
// the date encoding (see SysUtils.h for the conventions).
#include "platform/rtl/SysUtils.h"

#include "platform/rtl/CLocaleText.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace rtl {

TFormatSettings FormatSettings;

void Abort() { throw EAbort(); }

void Assert(bool Condition, const char *Unit, int Line, std::string_view Message)
{
    if (Condition) return;
    std::string M = Message.empty() ? std::string("Assertion failed") : std::string(Message);
    throw EAssertionFailed(M + " (" + (Unit ? Unit : "") + ", line " + std::to_string(Line) + ")");
}

std::string GUIDToString(const TGUID &G)
{
    char Buf[40];
    std::snprintf(Buf, sizeof Buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", unsigned(G.D1),
                  unsigned(G.D2), unsigned(G.D3), G.D4[0], G.D4[1], G.D4[2], G.D4[3], G.D4[4], G.D4[5], G.D4[6],
                  G.D4[7]);
    return Buf;
}

bool TryStringToGUID(std::string_view S, TGUID &G)
{
    if (S.size() != 38 || S[0] != '{' || S[37] != '}' || S[9] != '-' || S[14] != '-' || S[19] != '-' ||
        S[24] != '-')
        return false;
    auto Hex = [&](size_t From, size_t Len, uint64_t &Out) {
        Out = 0;
        for (size_t I = From; I < From + Len; ++I) {
            char C = S[I];
            int D = (C >= '0' && C <= '9') ? C - '0' : (C >= 'a' && C <= 'f') ? C - 'a' + 10
                    : (C >= 'A' && C <= 'F') ? C - 'A' + 10 : -1;
            if (D < 0) return false;
            Out = Out * 16 + uint64_t(D);
        }
        return true;
    };
    uint64_t V;
    TGUID R;
    if (!Hex(1, 8, V)) return false;
    R.D1 = uint32_t(V);
    if (!Hex(10, 4, V)) return false;
    R.D2 = uint16_t(V);
    if (!Hex(15, 4, V)) return false;
    R.D3 = uint16_t(V);
    const size_t Pos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int I = 0; I < 8; ++I) {
        if (!Hex(Pos[I], 2, V)) return false;
        R.D4[I] = uint8_t(V);
    }
    G = R;
    return true;
}

TGUID StringToGUID(std::string_view S)
{
    TGUID G;
    if (!TryStringToGUID(S, G)) throw EConvertError("'" + std::string(S) + "' is not a valid GUID value");
    return G;
}

namespace {

int Sign(int V) { return (V > 0) - (V < 0); }

} // namespace

// ---- text ---------------------------------------------------------------

std::string Trim(std::string_view S)
{
    size_t B = 0, E = S.size();
    while (B < E && (unsigned char)S[B] <= ' ') ++B;
    while (E > B && (unsigned char)S[E - 1] <= ' ') --E;
    return std::string(S.substr(B, E - B));
}

std::string TrimLeft(std::string_view S)
{
    size_t B = 0;
    while (B < S.size() && (unsigned char)S[B] <= ' ') ++B;
    return std::string(S.substr(B));
}

std::string TrimRight(std::string_view S)
{
    size_t E = S.size();
    while (E > 0 && (unsigned char)S[E - 1] <= ' ') --E;
    return std::string(S.substr(0, E));
}

std::string UpperCase(std::string_view S)
{
    std::string R(S);
    for (char &C : R) C = CUpCase(C);
    return R;
}

std::string LowerCase(std::string_view S)
{
    std::string R(S);
    for (char &C : R) C = CLowCase(C);
    return R;
}

std::string AnsiUpperCase(std::string_view S)
{
    std::string R(S);
    for (char &C : R) C = CUpCase(C);
    return R;
}

std::string AnsiLowerCase(std::string_view S)
{
    std::string R(S);
    for (char &C : R) C = CLowCase(C);
    return R;
}

int CompareStr(std::string_view S1, std::string_view S2)
{
    int R = S1.compare(S2);
    return Sign(R);
}

int CompareText(std::string_view S1, std::string_view S2)
{
    size_t N = std::min(S1.size(), S2.size());
    for (size_t I = 0; I < N; ++I) {
        unsigned char A = (unsigned char)CUpCase(S1[I]), B = (unsigned char)CUpCase(S2[I]);
        if (A != B) return A < B ? -1 : 1;
    }
    return Sign(int(S1.size() > S2.size()) - int(S1.size() < S2.size()));
}

bool SameText(std::string_view S1, std::string_view S2)
{
    return S1.size() == S2.size() && CompareText(S1, S2) == 0;
}

// The locale comparisons of the toolkit order punctuation before letters and
// compare letters of either case together; folding to lower case gives that
// order for the 8-bit texts the system handles.
int AnsiCompareStr(std::string_view S1, std::string_view S2)
{
    size_t N = std::min(S1.size(), S2.size());
    for (size_t I = 0; I < N; ++I) {
        unsigned char A = (unsigned char)CLowCase(S1[I]);
        unsigned char B = (unsigned char)CLowCase(S2[I]);
        if (A != B) return A < B ? -1 : 1;
    }
    for (size_t I = 0; I < N; ++I) {
        // Same letters: lower case sorts before upper case.
        unsigned char A = (unsigned char)S1[I], B = (unsigned char)S2[I];
        if (A != B) return A > B ? -1 : 1;
    }
    return Sign(int(S1.size() > S2.size()) - int(S1.size() < S2.size()));
}

int AnsiCompareText(std::string_view S1, std::string_view S2)
{
    size_t N = std::min(S1.size(), S2.size());
    for (size_t I = 0; I < N; ++I) {
        unsigned char A = (unsigned char)CLowCase(S1[I]);
        unsigned char B = (unsigned char)CLowCase(S2[I]);
        if (A != B) return A < B ? -1 : 1;
    }
    return Sign(int(S1.size() > S2.size()) - int(S1.size() < S2.size()));
}

bool AnsiSameText(std::string_view S1, std::string_view S2)
{
    return S1.size() == S2.size() && AnsiCompareText(S1, S2) == 0;
}

std::string StringReplace(std::string_view S, std::string_view OldPattern, std::string_view NewPattern,
                          bool ReplaceAll, bool IgnoreCase)
{
    if (OldPattern.empty()) return std::string(S);
    std::string Hay = IgnoreCase ? AnsiUpperCase(S) : std::string(S);
    std::string Pat = IgnoreCase ? AnsiUpperCase(OldPattern) : std::string(OldPattern);
    std::string R;
    size_t From = 0;
    while (true) {
        size_t P = Hay.find(Pat, From);
        if (P == std::string::npos) break;
        R.append(S.substr(From, P - From));
        R.append(NewPattern);
        From = P + Pat.size();
        if (!ReplaceAll) break;
    }
    R.append(S.substr(From));
    return R;
}

std::string QuotedStr(std::string_view S, char Quote)
{
    std::string R(1, Quote);
    for (char C : S) {
        R += C;
        if (C == Quote) R += C;
    }
    R += Quote;
    return R;
}

int Pos(std::string_view Sub, std::string_view S)
{
    if (Sub.empty()) return 0;
    size_t P = S.find(Sub);
    return P == std::string_view::npos ? 0 : int(P) + 1;
}

std::string Copy(std::string_view S, int Index, int Count)
{
    if (Index < 1) Index = 1;
    if (Count <= 0 || size_t(Index) > S.size()) return {};
    return std::string(S.substr(size_t(Index - 1), size_t(Count)));
}

// ---- numbers ------------------------------------------------------------

std::string IntToStr(int64_t Value) { return std::to_string(Value); }
std::string UIntToStr(uint64_t Value) { return std::to_string(Value); }

std::string IntToHex(uint64_t Value, int Digits)
{
    char Buf[32];
    std::snprintf(Buf, sizeof Buf, "%0*llX", Digits < 0 ? 0 : Digits, (unsigned long long)Value);
    return Buf;
}

bool TryStrToInt64(std::string_view S, int64_t &Value)
{
    std::string T = Trim(S);
    size_t I = 0;
    bool Neg = false;
    if (I < T.size() && (T[I] == '-' || T[I] == '+')) Neg = T[I++] == '-';
    int Base = 10;
    if (I < T.size() && T[I] == '$') {
        Base = 16;
        ++I;
    } else if (I + 1 < T.size() && T[I] == '0' && (T[I + 1] == 'x' || T[I + 1] == 'X')) {
        Base = 16;
        I += 2;
    }
    if (I >= T.size()) return false;
    uint64_t Acc = 0;
    const uint64_t Limit = Base == 16 ? UINT64_MAX : (Neg ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX));
    for (; I < T.size(); ++I) {
        int D;
        char C = T[I];
        if (C >= '0' && C <= '9') D = C - '0';
        else if (Base == 16 && C >= 'a' && C <= 'f') D = C - 'a' + 10;
        else if (Base == 16 && C >= 'A' && C <= 'F') D = C - 'A' + 10;
        else return false;
        if (Acc > (Limit - uint64_t(D)) / uint64_t(Base)) return false;
        Acc = Acc * uint64_t(Base) + uint64_t(D);
    }
    Value = Neg ? int64_t(0 - Acc) : int64_t(Acc);
    return true;
}

bool TryStrToInt(std::string_view S, int &Value)
{
    int64_t V;
    if (!TryStrToInt64(S, V)) return false;
    // Hexadecimal texts may name the full 32-bit pattern ($FFFFFFFF = -1).
    std::string T = Trim(S);
    bool Hex = T.find('$') != std::string::npos || T.find("0x") != std::string::npos ||
               T.find("0X") != std::string::npos;
    if (Hex && V >= 0 && V <= int64_t(UINT32_MAX)) {
        Value = int32_t(uint32_t(V));
        return true;
    }
    if (V < INT32_MIN || V > INT32_MAX) return false;
    Value = int(V);
    return true;
}

int StrToInt(std::string_view S)
{
    int V;
    if (!TryStrToInt(S, V)) throw EConvertError("'" + std::string(S) + "' is not a valid integer value");
    return V;
}

int64_t StrToInt64(std::string_view S)
{
    int64_t V;
    if (!TryStrToInt64(S, V)) throw EConvertError("'" + std::string(S) + "' is not a valid integer value");
    return V;
}

int StrToIntDef(std::string_view S, int Default)
{
    int V;
    return TryStrToInt(S, V) ? V : Default;
}

int64_t StrToInt64Def(std::string_view S, int64_t Default)
{
    int64_t V;
    return TryStrToInt64(S, V) ? V : Default;
}

namespace {

// Significant digits of |Value| rounded to Precision digits, and the decimal
// exponent of the first one (Value = 0.D1D2... * 10^(Exp+1)).
void DecimalDigits(double Value, int Precision, std::string &Digits, int &Exp)
{
    const std::string Buf = CFloatText(std::fabs(Value), 'e', Precision - 1);
    // Buf is "d.ddddde[+-]xx"
    Digits.clear();
    const char *P = Buf.c_str();
    for (; *P && *P != 'e'; ++P)
        if (*P >= '0' && *P <= '9') Digits += *P;
    Exp = *P == 'e' ? std::atoi(P + 1) : 0;
    while (Digits.size() > 1 && Digits.back() == '0') Digits.pop_back();
}

std::string GeneralFormat(double Value, int Precision, char Dec)
{
    if (std::isnan(Value)) return "NAN";
    if (std::isinf(Value)) return Value > 0 ? "INF" : "-INF";
    if (Value == 0) return "0";
    std::string Digits;
    int Exp;
    DecimalDigits(Value, Precision, Digits, Exp);
    std::string R = Value < 0 ? "-" : "";
    if (Exp >= Precision || Exp < -5) {
        R += Digits[0];
        if (Digits.size() > 1) {
            R += Dec;
            R.append(Digits, 1, std::string::npos);
        }
        R += 'E';
        if (Exp < 0) R += '-';
        R += std::to_string(std::abs(Exp));
        return R;
    }
    if (Exp < 0) {
        R += '0';
        R += Dec;
        R.append(size_t(-Exp - 1), '0');
        R += Digits;
        return R;
    }
    if (int(Digits.size()) <= Exp + 1) {
        R += Digits;
        R.append(size_t(Exp + 1 - int(Digits.size())), '0');
        return R;
    }
    R.append(Digits, 0, size_t(Exp + 1));
    R += Dec;
    R.append(Digits, size_t(Exp + 1), std::string::npos);
    return R;
}

std::string FixedFormat(double Value, int Digits, char Dec, char Thousand)
{
    if (Digits < 0) Digits = 0;
    if (Digits > 18) Digits = 18;
    std::string S = CFloatText(Value, 'f', Digits);
    if (S == "-0" || (S.size() > 1 && S[0] == '-' && S.find_first_not_of("-0.") == std::string::npos))
        S.erase(0, 1); // no "-0.00"
    size_t Dot = S.find('.');
    if (Dot != std::string::npos) S[Dot] = Dec;
    if (Thousand) {
        size_t IntEnd = Dot == std::string::npos ? S.size() : Dot;
        size_t IntBeg = S[0] == '-' ? 1 : 0;
        for (int I = int(IntEnd) - 3; I > int(IntBeg); I -= 3) S.insert(size_t(I), 1, Thousand);
    }
    return S;
}

} // namespace

std::string FloatToStr(double Value) { return GeneralFormat(Value, 15, FormatSettings.DecimalSeparator); }

std::string FloatToStr(double Value, const TFormatSettings &Settings)
{
    return GeneralFormat(Value, 15, Settings.DecimalSeparator);
}

std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits)
{
    if (Precision < 1) Precision = 1;
    if (Precision > 18) Precision = 18;
    const char Dec = FormatSettings.DecimalSeparator;
    switch (Format) {
    case ffGeneral: return GeneralFormat(Value, Precision, Dec);
    case ffExponent: {
        std::string S = CFloatText(Value, 'E', Precision - 1);
        if (Value == 0 || !std::isfinite(Value)) return S;
        size_t E = S.find('E');
        size_t Dot = S.find('.');
        if (Dot != std::string::npos) S[Dot] = Dec;
        int Ex = std::atoi(S.c_str() + E + 1);
        std::string ExpText = std::to_string(std::abs(Ex));
        while (int(ExpText.size()) < Digits) ExpText.insert(0, "0");
        return S.substr(0, E) + "E" + (Ex < 0 ? "-" : "+") + ExpText;
    }
    case ffFixed:
        if (std::fabs(Value) >= 1e18) return GeneralFormat(Value, Precision, Dec);
        return FixedFormat(Value, Digits, Dec, 0);
    case ffNumber:
    case ffCurrency:
        if (std::fabs(Value) >= 1e18) return GeneralFormat(Value, Precision, Dec);
        return FixedFormat(Value, Digits, Dec, FormatSettings.ThousandSeparator);
    }
    return GeneralFormat(Value, Precision, Dec);
}

std::string FormatFloat(std::string_view Format, double Value)
{
    // Sections: positive;negative;zero. Only the first two matter here.
    std::string Fmt(Format);
    std::string Sect = Fmt;
    size_t Semi = Fmt.find(';');
    bool NegSection = false;
    if (Semi != std::string::npos) {
        Sect = Fmt.substr(0, Semi);
        if (Value < 0) {
            std::string Neg = Fmt.substr(Semi + 1);
            size_t Semi2 = Neg.find(';');
            if (Semi2 != std::string::npos) Neg = Neg.substr(0, Semi2);
            if (!Neg.empty()) {
                Sect = Neg;
                NegSection = true;
            }
        }
    }
    if (Sect.empty()) return FloatToStr(Value);
    // Split the section into prefix literal, number pattern and suffix.
    int IntZeros = 0, FracZeros = 0, FracHashes = 0, ExpDigits = -1;
    bool Thousands = false, SeenDot = false, ExpSign = false;
    std::string Prefix, Suffix;
    bool InNumber = false, AfterNumber = false;
    for (size_t I = 0; I < Sect.size(); ++I) {
        char C = Sect[I];
        if (C == '"' || C == '\'') {
            size_t E = Sect.find(C, I + 1);
            std::string Lit = Sect.substr(I + 1, (E == std::string::npos ? Sect.size() : E) - I - 1);
            (InNumber || AfterNumber ? Suffix : Prefix) += Lit;
            if (InNumber) { InNumber = false; AfterNumber = true; }
            I = E == std::string::npos ? Sect.size() : E;
            continue;
        }
        if (!AfterNumber && (C == '0' || C == '#' || C == '.' || C == ',')) {
            InNumber = true;
            if (C == '.') SeenDot = true;
            else if (C == ',') Thousands = true;
            else if (SeenDot) (C == '0' ? FracZeros : FracHashes) += 1;
            else if (C == '0') ++IntZeros;
            continue;
        }
        if (InNumber && (C == 'E' || C == 'e') && I + 1 < Sect.size() &&
            (Sect[I + 1] == '+' || Sect[I + 1] == '-')) {
            ExpSign = Sect[I + 1] == '+';
            ExpDigits = 0;
            I += 2;
            while (I < Sect.size() && Sect[I] == '0') { ++ExpDigits; ++I; }
            --I;
            InNumber = false;
            AfterNumber = true;
            continue;
        }
        if (InNumber) { InNumber = false; AfterNumber = true; }
        (AfterNumber ? Suffix : Prefix) += C;
    }
    const char Dec = FormatSettings.DecimalSeparator;
    double V = NegSection ? std::fabs(Value) : Value;
    std::string Body;
    int Decimals = FracZeros + FracHashes;
    if (ExpDigits >= 0) {
        int Ex = 0;
        double M = std::fabs(V);
        if (M != 0) {
            Ex = int(std::floor(std::log10(M))) - (IntZeros > 0 ? IntZeros - 1 : 0);
            M = M / std::pow(10.0, Ex);
            double Shown = 0;
            CTryTextToFloat(CFloatText(M, 'f', Decimals), Shown);
            if (Shown >= std::pow(10.0, IntZeros > 0 ? IntZeros : 1)) { M /= 10; ++Ex; }
        }
        Body = FixedFormat(V < 0 ? -M : M, Decimals, Dec, 0);
        std::string E = std::to_string(std::abs(Ex));
        while (int(E.size()) < ExpDigits) E.insert(0, "0");
        Body += "E";
        if (Ex < 0) Body += "-";
        else if (ExpSign) Body += "+";
        Body += E;
    } else {
        Body = FixedFormat(V, Decimals, Dec, Thousands ? FormatSettings.ThousandSeparator : 0);
    }
    // Drop optional fraction digits ("#") that are zero.
    size_t DP = Body.find(Dec);
    if (DP != std::string::npos && FracHashes > 0) {
        size_t ExpPos = Body.find('E');
        std::string Tail = ExpPos == std::string::npos ? "" : Body.substr(ExpPos);
        std::string Head = ExpPos == std::string::npos ? Body : Body.substr(0, ExpPos);
        int Removable = FracHashes;
        while (Removable > 0 && !Head.empty() && Head.back() == '0') { Head.pop_back(); --Removable; }
        if (!Head.empty() && Head.back() == Dec) Head.pop_back();
        Body = Head + Tail;
    }
    // Integer part: at least IntZeros digits; a lone "0" goes when the pattern has none.
    {
        bool Neg = !Body.empty() && Body[0] == '-';
        size_t B = Neg ? 1 : 0;
        size_t E = Body.find_first_of(std::string(1, Dec) + "E", B);
        if (E == std::string::npos) E = Body.size();
        std::string IntPart = Body.substr(B, E - B);
        std::string Digits;
        for (char C : IntPart) if (C >= '0' && C <= '9') Digits += C;
        if (IntZeros == 0 && Digits == "0") IntPart.clear();
        while (int(std::count_if(IntPart.begin(), IntPart.end(), [](char C) { return C >= '0' && C <= '9'; })) <
               IntZeros)
            IntPart.insert(0, "0");
        Body = (Neg ? "-" : "") + IntPart + Body.substr(E);
        if (Body == "-" || Body.empty()) Body = Body + "0";
        if (Neg && Body.find_first_not_of("-0.,E+" + std::string(1, Dec)) == std::string::npos) Body.erase(0, 1);
    }
    return Prefix + Body + Suffix;
}

bool TryStrToFloat(std::string_view S, double &Value, const TFormatSettings &Settings)
{
    std::string T = Trim(S);
    if (T.empty()) return false;
    std::string C;
    C.reserve(T.size());
    size_t I = 0;
    if (T[I] == '+' || T[I] == '-') C += T[I++];
    bool Digits = false, Dot = false;
    for (; I < T.size(); ++I) {
        char Ch = T[I];
        if (Ch >= '0' && Ch <= '9') { C += Ch; Digits = true; }
        else if (Ch == Settings.DecimalSeparator && !Dot) { C += '.'; Dot = true; }
        else break;
    }
    if (!Digits) return false;
    if (I < T.size() && (T[I] == 'e' || T[I] == 'E')) {
        C += 'e';
        ++I;
        if (I < T.size() && (T[I] == '+' || T[I] == '-')) C += T[I++];
        bool ExpDigits = false;
        for (; I < T.size() && T[I] >= '0' && T[I] <= '9'; ++I) { C += T[I]; ExpDigits = true; }
        if (!ExpDigits) return false;
    }
    if (I != T.size()) return false;
    double V;
    if (!CTryTextToFloat(C, V) || std::isinf(V)) return false;
    Value = V;
    return true;
}

bool TryStrToFloat(std::string_view S, double &Value) { return TryStrToFloat(S, Value, FormatSettings); }

double StrToFloat(std::string_view S)
{
    double V;
    if (!TryStrToFloat(S, V)) throw EConvertError("'" + std::string(S) + "' is not a valid floating point value");
    return V;
}

double StrToFloatDef(std::string_view S, double Default)
{
    double V;
    return TryStrToFloat(S, V) ? V : Default;
}

bool TryStrToBool(std::string_view S, bool &Value)
{
    std::string T = Trim(S);
    if (SameText(T, "True")) { Value = true; return true; }
    if (SameText(T, "False")) { Value = false; return true; }
    double D;
    if (TryStrToFloat(T, D)) { Value = D != 0; return true; }
    return false;
}

bool StrToBool(std::string_view S)
{
    bool B;
    if (!TryStrToBool(S, B)) throw EConvertError("'" + std::string(S) + "' is not a valid boolean value");
    return B;
}

std::string BoolToStr(bool B, bool UseBoolStrs)
{
    if (UseBoolStrs) return B ? "True" : "False";
    return B ? "-1" : "0";
}

// ---- dates and times ----------------------------------------------------

namespace {

const int MonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                              {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

// Days since 0001-01-01 (that day = 1) of a valid date.
int64_t DaysOf(int Y, int M, int D)
{
    const int *Tab = MonthDays[IsLeapYear(Y)];
    int64_t Days = D;
    for (int I = 0; I < M - 1; ++I) Days += Tab[I];
    int64_t Y1 = Y - 1;
    return Days + Y1 * 365 + Y1 / 4 - Y1 / 100 + Y1 / 400;
}

// Inverse of DaysOf for day numbers >= 1.
void DateOfDays(int64_t N, int &Y, int &M, int &D)
{
    const int D1 = 365, D4 = D1 * 4 + 1, D100 = D4 * 25 - 1, D400 = D100 * 4 + 1;
    int64_t T = N - 1;
    int64_t Year = 1;
    Year += (T / D400) * 400;
    T %= D400;
    int64_t I = T / D100, Dd = T % D100;
    if (I == 4) { --I; Dd += D100; }
    Year += I * 100;
    Year += (Dd / D4) * 4;
    Dd %= D4;
    I = Dd / D1;
    Dd %= D1;
    if (I == 4) { --I; Dd += D1; }
    Year += I;
    Y = int(Year);
    const int *Tab = MonthDays[IsLeapYear(Y)];
    M = 1;
    while (Dd >= Tab[M - 1]) { Dd -= Tab[M - 1]; ++M; }
    D = int(Dd + 1);
}

} // namespace

bool IsLeapYear(int Year) { return (Year % 4 == 0) && ((Year % 100 != 0) || (Year % 400 == 0)); }

int DaysInAMonth(int Year, int Month)
{
    if (Month < 1 || Month > 12) return 0;
    return MonthDays[IsLeapYear(Year)][Month - 1];
}

bool TryEncodeDate(int Year, int Month, int Day, TDateTime &Date)
{
    if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 || Day > DaysInAMonth(Year, Month))
        return false;
    Date = double(DaysOf(Year, Month, Day) - DateDelta);
    return true;
}

bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime &Time)
{
    if (Hour < 0 || Hour >= 24 || Min < 0 || Min >= 60 || Sec < 0 || Sec >= 60 || MSec < 0 || MSec >= 1000)
        return false;
    Time = double(((Hour * 60 + Min) * 60 + Sec) * 1000 + MSec) / MSecsPerDay;
    return true;
}

TDateTime EncodeDate(int Year, int Month, int Day)
{
    TDateTime D;
    if (!TryEncodeDate(Year, Month, Day, D)) throw EConvertError("Invalid argument to date encode");
    return D;
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec)
{
    TDateTime T;
    if (!TryEncodeTime(Hour, Min, Sec, MSec, T)) throw EConvertError("Invalid argument to time encode");
    return T;
}

TDateTime ComposeDateTime(TDateTime Date, TDateTime Time)
{
    return Date < 0 ? Date - Time : Date + Time;
}

TDateTime EncodeDateTime(int Year, int Month, int Day, int Hour, int Min, int Sec, int MSec)
{
    return ComposeDateTime(EncodeDate(Year, Month, Day), EncodeTime(Hour, Min, Sec, MSec));
}

TTimeStamp DateTimeToTimeStamp(TDateTime DateTime)
{
    // Rounding to the millisecond first keeps 23:59:59.9996 from showing as
    // 23:59:59.999 of a day that has in fact ended.
    int64_t Ms = std::llround(DateTime * MSecsPerDay);
    TTimeStamp R;
    R.Date = int(DateDelta + Ms / MSecsPerDay); // truncation toward zero
    R.Time = int(std::llabs(Ms) % MSecsPerDay);
    return R;
}

TDateTime TimeStampToDateTime(const TTimeStamp &TimeStamp)
{
    double D = double(TimeStamp.Date - DateDelta);
    double T = double(TimeStamp.Time) / MSecsPerDay;
    return D < 0 ? D - T : D + T;
}

double TimeStampToMSecs(const TTimeStamp &TimeStamp)
{
    return double(TimeStamp.Date) * MSecsPerDay + TimeStamp.Time;
}

TTimeStamp MSecsToTimeStamp(double MSecs)
{
    TTimeStamp R;
    R.Date = int(MSecs / MSecsPerDay);
    R.Time = int(MSecs - double(R.Date) * MSecsPerDay);
    return R;
}

void DecodeDate(TDateTime Date, int &Year, int &Month, int &Day)
{
    TTimeStamp TS = DateTimeToTimeStamp(Date);
    if (TS.Date <= 0) {
        Year = Month = Day = 0;
        return;
    }
    DateOfDays(TS.Date, Year, Month, Day);
}

void DecodeTime(TDateTime Time, int &Hour, int &Min, int &Sec, int &MSec)
{
    TTimeStamp TS = DateTimeToTimeStamp(Time);
    int T = TS.Time;
    Hour = T / 3600000;
    T %= 3600000;
    Min = T / 60000;
    T %= 60000;
    Sec = T / 1000;
    MSec = T % 1000;
}

void DecodeDateTime(TDateTime Value, int &Year, int &Month, int &Day, int &Hour, int &Min, int &Sec, int &MSec)
{
    DecodeDate(Value, Year, Month, Day);
    DecodeTime(Value, Hour, Min, Sec, MSec);
}

int DayOfWeek(TDateTime Date)
{
    TTimeStamp TS = DateTimeToTimeStamp(Date);
    return TS.Date % 7 + 1; // day 1 (0001-01-01) was a Monday
}

TDateTime Now()
{
    using namespace std::chrono;
    auto T = system_clock::now();
    std::time_t Secs = system_clock::to_time_t(T);
    int Ms = int(duration_cast<milliseconds>(T.time_since_epoch()).count() % 1000);
    std::tm Tm{};
    localtime_r(&Secs, &Tm);
    return EncodeDateTime(Tm.tm_year + 1900, Tm.tm_mon + 1, Tm.tm_mday, Tm.tm_hour, Tm.tm_min,
                          Tm.tm_sec > 59 ? 59 : Tm.tm_sec, Ms);
}

TDateTime Date() { return std::trunc(Now()); }

TDateTime Time()
{
    TDateTime N = Now();
    return N - std::trunc(N);
}

namespace {

std::string Pad(int V, int Width)
{
    std::string S = std::to_string(V);
    while (int(S.size()) < Width) S.insert(0, "0");
    return S;
}

void AppendFormatted(std::string &R, std::string_view F, TDateTime DT, int Depth)
{
    const TFormatSettings &FS = FormatSettings;
    int Y, Mo, D, H, Mi, S, Ms;
    DecodeDateTime(DT, Y, Mo, D, H, Mi, S, Ms);
    bool PrevWasHour = false;
    // Does an am/pm marker appear anywhere? Then hours are on a 12-hour clock.
    std::string Lower = LowerCase(F);
    bool Clock12 = Lower.find("am/pm") != std::string::npos || Lower.find("a/p") != std::string::npos ||
                   Lower.find("ampm") != std::string::npos;
    size_t I = 0;
    auto Count = [&](char C) {
        size_t N = 0;
        while (I + N < F.size() && (F[I + N] == C || F[I + N] == char(C ^ 32))) ++N;
        return N;
    };
    while (I < F.size()) {
        char C = F[I];
        char L = CLowCase(C);
        if (C == '"' || C == '\'') {
            size_t E = F.find(C, I + 1);
            if (E == std::string_view::npos) E = F.size();
            R.append(F.substr(I + 1, E - I - 1));
            I = E + 1;
            continue;
        }
        switch (L) {
        case 'c':
            if (Depth < 2) {
                AppendFormatted(R, FS.ShortDateFormat, DT, Depth + 1);
                TTimeStamp TS = DateTimeToTimeStamp(DT);
                if (TS.Time != 0) {
                    R += ' ';
                    AppendFormatted(R, FS.LongTimeFormat, DT, Depth + 1);
                }
            }
            ++I;
            PrevWasHour = false;
            break;
        case 'y': {
            size_t N = Count('y');
            R += N <= 2 ? Pad(Y % 100, 2) : Pad(Y, 4);
            I += N;
            PrevWasHour = false;
            break;
        }
        case 'm': {
            size_t N = Count('m');
            if (PrevWasHour && N <= 2) R += Pad(Mi, N == 2 ? 2 : 1);
            else if (N == 1) R += std::to_string(Mo);
            else if (N == 2) R += Pad(Mo, 2);
            else if (N == 3) R += FS.ShortMonthNames[Mo - 1];
            else R += FS.LongMonthNames[Mo - 1];
            I += N;
            PrevWasHour = false;
            break;
        }
        case 'd': {
            size_t N = Count('d');
            if (N == 1) R += std::to_string(D);
            else if (N == 2) R += Pad(D, 2);
            else if (N == 3) R += FS.ShortDayNames[DayOfWeek(DT) - 1];
            else if (N == 4) R += FS.LongDayNames[DayOfWeek(DT) - 1];
            else if (N == 5) { if (Depth < 2) AppendFormatted(R, FS.ShortDateFormat, DT, Depth + 1); }
            else { if (Depth < 2) AppendFormatted(R, FS.LongDateFormat, DT, Depth + 1); }
            I += N;
            PrevWasHour = false;
            break;
        }
        case 'h': {
            size_t N = Count('h');
            int HH = H;
            if (Clock12) {
                HH = H % 12;
                if (HH == 0) HH = 12;
            }
            R += N >= 2 ? Pad(HH, 2) : std::to_string(HH);
            I += N;
            PrevWasHour = true;
            break;
        }
        case 'n': {
            size_t N = Count('n');
            R += N >= 2 ? Pad(Mi, 2) : std::to_string(Mi);
            I += N;
            PrevWasHour = false;
            break;
        }
        case 's': {
            size_t N = Count('s');
            R += N >= 2 ? Pad(S, 2) : std::to_string(S);
            I += N;
            PrevWasHour = false;
            break;
        }
        case 'z': {
            size_t N = Count('z');
            R += N >= 3 ? Pad(Ms, 3) : std::to_string(Ms);
            I += N;
            PrevWasHour = false;
            break;
        }
        case 't': {
            size_t N = Count('t');
            if (Depth < 2)
                AppendFormatted(R, N >= 2 ? FS.LongTimeFormat : FS.ShortTimeFormat, DT, Depth + 1);
            I += N;
            PrevWasHour = false;
            break;
        }
        case 'a': {
            std::string Rest = LowerCase(F.substr(I, 5));
            if (Rest == "am/pm") {
                std::string Tok(F.substr(I, 5));
                R += H < 12 ? Tok.substr(0, 2) : Tok.substr(3, 2);
                I += 5;
            } else if (Rest.substr(0, 3) == "a/p") {
                std::string Tok(F.substr(I, 3));
                R += H < 12 ? Tok[0] : Tok[2];
                I += 3;
            } else if (Rest.substr(0, 4) == "ampm") {
                R += H < 12 ? FS.TimeAMString : FS.TimePMString;
                I += 4;
            } else {
                R += C;
                ++I;
            }
            break;
        }
        case '/':
            R += FS.DateSeparator;
            ++I;
            break;
        case ':':
            R += FS.TimeSeparator;
            ++I;
            break;
        default:
            R += C;
            ++I;
            break;
        }
    }
}

} // namespace

std::string FormatDateTime(std::string_view Format, TDateTime DateTime)
{
    std::string R;
    if (Format.empty()) Format = "c";
    AppendFormatted(R, Format, DateTime, 0);
    return R;
}

std::string DateToStr(TDateTime Date) { return FormatDateTime(FormatSettings.ShortDateFormat, Date); }
std::string TimeToStr(TDateTime Time) { return FormatDateTime(FormatSettings.LongTimeFormat, Time); }

std::string DateTimeToStr(TDateTime DateTime)
{
    TTimeStamp TS = DateTimeToTimeStamp(DateTime);
    if (TS.Date == DateDelta && TS.Time != 0) return TimeToStr(DateTime);
    return FormatDateTime("c", DateTime);
}

namespace {

struct TScanner {
    std::string_view S;
    size_t P = 0;
    void SkipBlanks() { while (P < S.size() && S[P] == ' ') ++P; }
    bool AtEnd() { SkipBlanks(); return P >= S.size(); }
    bool Number(int &V, int &Digits)
    {
        SkipBlanks();
        V = 0;
        Digits = 0;
        while (P < S.size() && S[P] >= '0' && S[P] <= '9' && Digits < 9) {
            V = V * 10 + (S[P] - '0');
            ++P;
            ++Digits;
        }
        return Digits > 0;
    }
    bool Char(char C)
    {
        SkipBlanks();
        if (P < S.size() && S[P] == C) { ++P; return true; }
        return false;
    }
};

// The order of day, month and year as ShortDateFormat writes them.
std::string DateOrder()
{
    std::string Order;
    for (char C : FormatSettings.ShortDateFormat) {
        char L = CLowCase(C);
        if ((L == 'd' || L == 'm' || L == 'y') && Order.find(L) == std::string::npos) Order += L;
    }
    if (Order.size() != 3) Order = "mdy";
    return Order;
}

int CurrentYear()
{
    int Y, M, D;
    DecodeDate(Now(), Y, M, D);
    return Y;
}

bool ScanDate(TScanner &Sc, TDateTime &Value)
{
    std::string Order = DateOrder();
    int N[3], Dig[3], Count = 0;
    char Sep = FormatSettings.DateSeparator;
    for (; Count < 3; ++Count) {
        if (Count > 0 && !Sc.Char(Sep)) break;
        if (!Sc.Number(N[Count], Dig[Count])) return false;
    }
    int Y = 0, M = 0, D = 0, YDigits = 4;
    if (Count == 3) {
        for (int I = 0; I < 3; ++I) {
            if (Order[size_t(I)] == 'y') { Y = N[I]; YDigits = Dig[I]; }
            else if (Order[size_t(I)] == 'm') M = N[I];
            else D = N[I];
        }
    } else if (Count == 2) {
        // Day and month of the current year, in the format's order.
        Y = CurrentYear();
        std::string DM;
        for (char C : Order) if (C != 'y') DM += C;
        M = DM[0] == 'm' ? N[0] : N[1];
        D = DM[0] == 'm' ? N[1] : N[0];
    } else {
        return false;
    }
    if (YDigits <= 2) {
        int Cur = CurrentYear();
        Y += Cur - Cur % 100;
        int Window = FormatSettings.TwoDigitYearCenturyWindow;
        if (Window > 0 && Y < Cur - Window) Y += 100;
        else if (Window > 0 && Y > Cur - Window + 100) Y -= 100;
    }
    return TryEncodeDate(Y, M, D, Value);
}

bool ScanTime(TScanner &Sc, TDateTime &Value)
{
    int H, Mi = 0, S = 0, Ms = 0, Dg;
    if (!Sc.Number(H, Dg)) return false;
    char Sep = FormatSettings.TimeSeparator;
    if (Sc.Char(Sep)) {
        if (!Sc.Number(Mi, Dg)) return false;
        if (Sc.Char(Sep)) {
            if (!Sc.Number(S, Dg)) return false;
            if (Sc.Char(FormatSettings.DecimalSeparator)) {
                if (!Sc.Number(Ms, Dg)) return false;
                while (Dg < 3) { Ms *= 10; ++Dg; }
                while (Dg > 3) { Ms /= 10; --Dg; }
            }
        }
    } else {
        // A bare number is an hour only when an AM/PM marker follows.
        Sc.SkipBlanks();
        std::string Rest = UpperCase(Sc.S.substr(Sc.P));
        if (Rest != UpperCase(FormatSettings.TimeAMString) && Rest != UpperCase(FormatSettings.TimePMString) &&
            Rest != "AM" && Rest != "PM")
            return false;
    }
    Sc.SkipBlanks();
    std::string Rest = UpperCase(Sc.S.substr(Sc.P));
    auto Marker = [&](const std::string &M) {
        return !M.empty() && Rest.compare(0, M.size(), UpperCase(M)) == 0 ? M.size() : size_t(0);
    };
    size_t L;
    if ((L = Marker(FormatSettings.TimeAMString)) || (L = Marker("AM"))) {
        if (H == 0 || H > 12) return false;
        if (H == 12) H = 0;
        Sc.P += L;
    } else if ((L = Marker(FormatSettings.TimePMString)) || (L = Marker("PM"))) {
        if (H == 0 || H > 12) return false;
        if (H < 12) H += 12;
        Sc.P += L;
    }
    return TryEncodeTime(H, Mi, S, Ms, Value);
}

} // namespace

bool TryStrToDate(std::string_view S, TDateTime &Value)
{
    TScanner Sc{S};
    TDateTime D;
    if (!ScanDate(Sc, D) || !Sc.AtEnd()) return false;
    Value = D;
    return true;
}

bool TryStrToTime(std::string_view S, TDateTime &Value)
{
    TScanner Sc{S};
    TDateTime T;
    if (!ScanTime(Sc, T) || !Sc.AtEnd()) return false;
    Value = T;
    return true;
}

bool TryStrToDateTime(std::string_view S, TDateTime &Value)
{
    TScanner Sc{S};
    TDateTime D = 0, T = 0;
    size_t Start = Sc.P;
    if (ScanDate(Sc, D)) {
        if (Sc.AtEnd()) { Value = D; return true; }
        if (!ScanTime(Sc, T) || !Sc.AtEnd()) return false;
        Value = ComposeDateTime(D, T);
        return true;
    }
    Sc.P = Start;
    if (!ScanTime(Sc, T) || !Sc.AtEnd()) return false;
    Value = T;
    return true;
}

TDateTime StrToDate(std::string_view S)
{
    TDateTime V;
    if (!TryStrToDate(S, V)) throw EConvertError("'" + std::string(S) + "' is not a valid date");
    return V;
}

TDateTime StrToTime(std::string_view S)
{
    TDateTime V;
    if (!TryStrToTime(S, V)) throw EConvertError("'" + std::string(S) + "' is not a valid time");
    return V;
}

TDateTime StrToDateTime(std::string_view S)
{
    TDateTime V;
    if (!TryStrToDateTime(S, V)) throw EConvertError("'" + std::string(S) + "' is not a valid date and time");
    return V;
}

namespace {

size_t LastDelim(std::string_view S)
{
    size_t P = S.find_last_of("/\\");
    return P;
}

} // namespace

std::string ExtractFilePath(std::string_view FileName)
{
    size_t P = LastDelim(FileName);
    return P == std::string_view::npos ? std::string() : std::string(FileName.substr(0, P + 1));
}

std::string ExtractFileDir(std::string_view FileName)
{
    size_t P = LastDelim(FileName);
    if (P == std::string_view::npos) return {};
    return std::string(FileName.substr(0, P == 0 ? 1 : P));
}

std::string ExtractFileName(std::string_view FileName)
{
    size_t P = LastDelim(FileName);
    return std::string(P == std::string_view::npos ? FileName : FileName.substr(P + 1));
}

std::string ExtractFileExt(std::string_view FileName)
{
    std::string Name = ExtractFileName(FileName);
    size_t P = Name.rfind('.');
    return P == std::string::npos ? std::string() : Name.substr(P);
}

std::string ChangeFileExt(std::string_view FileName, std::string_view Extension)
{
    size_t Start = LastDelim(FileName);
    Start = Start == std::string_view::npos ? 0 : Start + 1;
    size_t P = FileName.rfind('.');
    std::string Base(P == std::string_view::npos || P < Start ? FileName : FileName.substr(0, P));
    return Base + std::string(Extension);
}

std::string IncludeTrailingPathDelimiter(std::string_view S)
{
    std::string R(S);
    if (R.empty() || (R.back() != '/' && R.back() != '\\')) R += PathDelim;
    return R;
}

std::string ExcludeTrailingPathDelimiter(std::string_view S)
{
    std::string R(S);
    if (R.size() > 1 && (R.back() == '/' || R.back() == '\\')) R.pop_back();
    return R;
}

bool FileExists(const std::string &FileName)
{
    std::error_code Ec;
    return !FileName.empty() && std::filesystem::is_regular_file(FileName, Ec);
}

bool DirectoryExists(const std::string &Directory)
{
    std::error_code Ec;
    return !Directory.empty() && std::filesystem::is_directory(Directory, Ec);
}

bool ForceDirectories(const std::string &Directory)
{
    if (Directory.empty()) return false;
    std::error_code Ec;
    std::filesystem::create_directories(Directory, Ec);
    return DirectoryExists(Directory);
}

bool DeleteFile(const std::string &FileName)
{
    std::error_code Ec;
    return FileExists(FileName) && std::filesystem::remove(FileName, Ec);
}

bool RenameFile(const std::string &OldName, const std::string &NewName)
{
    std::error_code Ec;
    if (std::filesystem::exists(NewName, Ec)) return false; // never replaces, as the toolkit's
    std::filesystem::rename(OldName, NewName, Ec);
    return !Ec;
}

uint32_t GetTickCount()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace rtl
