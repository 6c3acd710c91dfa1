// FMTBcd: the toolkit's packed decimal (TBcd), the scaled 64-bit Currency
// and the SQL time stamp record, the exact numeric and date forms that
// columns, parameters and variants carry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rtl/SysUtils.h"

namespace rtl {

// 34 bytes: the number of digits, the sign (bit 7) and decimal places
// (bits 0-5), and the digits packed two per byte, high nibble first. The
// value is the Precision digits with Places of them after the point.
struct TBcd {
    uint8_t Precision = 0;
    uint8_t SignSpecialPlaces = 0;
    uint8_t Fraction[32] = {};
};
static_assert(sizeof(TBcd) == 34, "TBcd is a 34-byte record");

constexpr int MaxFMTBcdFractionSize = 64;

class EBcdException : public Exception {
public:
    using Exception::Exception;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EBcdException>(*this); }
};
class EBcdOverflowException : public EBcdException {
public:
    using EBcdException::EBcdException;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EBcdOverflowException>(*this); }
};

inline bool IsBcdNegative(const TBcd &B) { return (B.SignSpecialPlaces & 0x80) != 0; }
inline int BcdScale(const TBcd &B) { return B.SignSpecialPlaces & 0x3F; }
int BcdPrecision(const TBcd &B); // significant integer digits + places
// The digit at 0-based position I (I < Precision).
int BcdDigit(const TBcd &B, int I);

// Text with the current decimal separator, optional sign, blanks trimmed.
bool TryStrToBcd(std::string_view S, TBcd &B);
TBcd StrToBcd(std::string_view S); // EBcdException "'%s' is not a valid BCD value"
// Shortest text: no leading zeros, no trailing fraction zeros.
std::string BcdToStr(const TBcd &B);
double BcdToDouble(const TBcd &B);
TBcd DoubleToBcd(double Value);
TBcd IntegerToBcd(int64_t Value);
// Truncates the fraction; EBcdOverflowException when it does not fit 64 bits.
int64_t BcdToInt64(const TBcd &B);
int BcdCompare(const TBcd &A, const TBcd &B);
TBcd NullBcd();
// Keeps the value, rewrites it with the given precision and places
// (rounding half away from zero); False when the integer digits do not fit.
bool NormalizeBcd(const TBcd &In, TBcd &Out, int Precision, int Places);

// Currency: a 64-bit integer of ten-thousandths.
struct Currency {
    int64_t Value = 0; // units of 1/10000

    static Currency FromRaw(int64_t Raw) { Currency C; C.Value = Raw; return C; }
    static Currency FromDouble(double D); // rounds half away from zero; EOverflow when out of range
    static Currency FromInt(int64_t I) { return FromRaw(I * 10000); }
    double ToDouble() const { return double(Value) / 10000.0; }

    friend bool operator==(Currency A, Currency B) { return A.Value == B.Value; }
    friend auto operator<=>(Currency A, Currency B) { return A.Value <=> B.Value; }
    friend Currency operator+(Currency A, Currency B) { return FromRaw(A.Value + B.Value); }
    friend Currency operator-(Currency A, Currency B) { return FromRaw(A.Value - B.Value); }
    friend Currency operator-(Currency A) { return FromRaw(-A.Value); }
};

std::string CurrToStr(Currency C); // exact, trailing fraction zeros dropped
bool TryStrToCurr(std::string_view S, Currency &C);
Currency StrToCurr(std::string_view S);
bool BcdToCurr(const TBcd &B, Currency &C);
TBcd CurrToBcd(Currency C);

// The SQL time stamp record; Fractions are milliseconds.
struct TSQLTimeStamp {
    int16_t Year = 0;
    uint16_t Month = 0;
    uint16_t Day = 0;
    uint16_t Hour = 0;
    uint16_t Minute = 0;
    uint16_t Second = 0;
    uint32_t Fractions = 0;
    friend bool operator==(const TSQLTimeStamp &, const TSQLTimeStamp &) = default;
};

TSQLTimeStamp DateTimeToSQLTimeStamp(TDateTime DateTime);
TDateTime SQLTimeStampToDateTime(const TSQLTimeStamp &TS); // EConvertError on an invalid record
std::string SQLTimeStampToStr(std::string_view Format, const TSQLTimeStamp &TS);

} // namespace rtl
