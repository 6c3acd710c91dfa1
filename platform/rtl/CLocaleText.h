// CLocaleText: number text and letter case exactly as the "C" locale has
// them, whatever locale the process runs in.
//
// The window toolkit sets the C library's locale from the environment when
// it starts (setlocale(LC_ALL, "")), and a client that loads our ODBC driver
// sets whatever it likes. Under de_DE, ru_RU or tr_TR, printf's "%f" writes a
// decimal comma and strtod stops at the point of "32.5"; under tr_TR toupper
// leaves "i" alone and tolower leaves "I". The program's texts (SQL, stored
// values, grids, files) always have "." and fold only a to z, so every number
// conversion of the program, the library and the driver goes through here
// (std::to_chars and std::from_chars, which never look at the locale), and
// every ASCII case fold through the two inline routines below.
#pragma once

#include <string>
#include <string_view>

namespace rtl {

// printf's "%.*f", "%.*e", "%.*E", "%.*g" or "%.*G" (Conversion 'f', 'e', 'E',
// 'g', 'G') of Value with Precision, as in the "C" locale: "." as the decimal
// point, at least two exponent digits. A negative Precision means 6.
std::string CFloatText(double Value, char Conversion, int Precision);

// strtod of the "C" locale at the start of [First, Last): an optional sign,
// decimal digits with an optional "." and exponent, or "inf", "infinity",
// "nan". No blanks are skipped and no hexadecimal form is read. Returns the
// end of the number read (First when there is none, Value unchanged); a
// number beyond the range of a double gives plus or minus HUGE_VAL, one
// below it zero, as strtod does.
const char *CScanFloat(const char *First, const char *Last, double &Value);

// The whole of Text is one number as CScanFloat reads it.
bool CTryTextToFloat(std::string_view Text, double &Value);

// The letter case of the "C" locale: only a to z and A to Z change.
inline char CUpCase(char C) { return C >= 'a' && C <= 'z' ? char(C - 'a' + 'A') : C; }
inline char CLowCase(char C) { return C >= 'A' && C <= 'Z' ? char(C - 'A' + 'a') : C; }

// The simple case mapping of one Unicode character as the "C.UTF-8" locale
// has it: no Turkish dotted capital I for "i", whatever the process's locale.
char32_t CWideUpCase(char32_t C);
char32_t CWideLowCase(char32_t C);

} // namespace rtl
