// CLocaleText: "C" locale number text through std::to_chars/std::from_chars.
#include "platform/rtl/CLocaleText.h"

#include <charconv>
#include <cmath>
#include <cwctype>
#include <locale.h>

namespace rtl {

namespace {

// Whether a decimal number that from_chars found out of range lies above the
// range of a double (else below it): the place of its first significant digit
// plus its exponent.
bool AboveRange(const char *P, const char *End)
{
    long Place = 0;
    bool Seen = false, Dot = false;
    for (; P != End && *P != 'e' && *P != 'E'; ++P) {
        if (*P == '.') Dot = true;
        else if (*P != '0') Seen = true;
        if (*P == '.' || (Seen && Dot)) continue;
        if (!Dot && Seen) ++Place;
        else if (Dot && !Seen) --Place;
    }
    long Exp = 0;
    if (P != End) {
        ++P;
        bool Neg = P != End && *P == '-';
        if (P != End && (*P == '-' || *P == '+')) ++P;
        for (; P != End && Exp < 100000; ++P) Exp = Exp * 10 + (*P - '0');
        if (Neg) Exp = -Exp;
    }
    return Place + Exp > 0;
}

locale_t Utf8()
{
    static const locale_t L = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    return L;
}

} // namespace

std::string CFloatText(double Value, char Conversion, int Precision)
{
    const bool Upper = Conversion >= 'A' && Conversion <= 'Z';
    const char Lower = CLowCase(Conversion);
    const std::chars_format Format = Lower == 'f'   ? std::chars_format::fixed
                                     : Lower == 'e' ? std::chars_format::scientific
                                                    : std::chars_format::general;
    if (Precision < 0) Precision = 6;
    char Buf[512];
    std::string S;
    auto R = std::to_chars(Buf, Buf + sizeof Buf, Value, Format, Precision);
    if (R.ec == std::errc()) {
        S.assign(Buf, R.ptr);
    } else {
        // A fixed text of a large value with many decimals.
        S.resize(size_t(330 + Precision));
        R = std::to_chars(S.data(), S.data() + S.size(), Value, Format, Precision);
        S.resize(size_t(R.ptr - S.data()));
    }
    if (Upper)
        for (char &C : S) C = CUpCase(C);
    return S;
}

const char *CScanFloat(const char *First, const char *Last, double &Value)
{
    const char *P = First;
    const bool Neg = P != Last && *P == '-';
    if (P != Last && (*P == '-' || *P == '+')) ++P;
    // from_chars reads a "-" of its own: a second sign is no number.
    if (P == Last || *P == '-' || *P == '+') return First;
    double V = 0;
    const auto R = std::from_chars(P, Last, V, std::chars_format::general);
    if (R.ec == std::errc::invalid_argument) return First;
    if (R.ec == std::errc::result_out_of_range) V = AboveRange(P, R.ptr) ? HUGE_VAL : 0.0;
    Value = Neg ? -V : V;
    return R.ptr;
}

bool CTryTextToFloat(std::string_view Text, double &Value)
{
    if (Text.empty()) return false;
    const char *End = Text.data() + Text.size();
    double V;
    if (CScanFloat(Text.data(), End, V) != End) return false;
    Value = V;
    return true;
}

char32_t CWideUpCase(char32_t C)
{
    if (Utf8()) return char32_t(towupper_l(wint_t(C), Utf8()));
    return C < 128 ? char32_t(CUpCase(char(C))) : C;
}

char32_t CWideLowCase(char32_t C)
{
    if (Utf8()) return char32_t(towlower_l(wint_t(C), Utf8()));
    return C < 128 ? char32_t(CLowCase(char(C))) : C;
}

} // namespace rtl
