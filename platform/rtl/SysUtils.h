// SysUtils: the runtime's base exceptions, process-wide format settings,
// text and number conversions and the date encoding every layer shares.
//
// TDateTime is the toolkit's date-time value: days since 1899-12-30 in a
// double, the fraction being the time of day. For days before 1899-12-30 the
// integer part is negative and the time still counts forward from midnight,
// so 1899-12-29 06:00 is -1.25 (the value is date - time there).
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rtl {

// ---- exceptions ---------------------------------------------------------

// The toolkit's plain exception: a message and a help context. Every error
// class of the program and the library derives from it.
class Exception : public std::exception {
public:
    Exception() = default;
    explicit Exception(std::string AMessage) : FMessage(std::move(AMessage)) {}
    ~Exception() override = default;

    const std::string &Message() const noexcept { return FMessage; }
    void SetMessage(std::string AValue) { FMessage = std::move(AValue); }
    int HelpContext() const noexcept { return FHelpContext; }
    void SetHelpContext(int AValue) noexcept { FHelpContext = AValue; }
    const char *what() const noexcept override { return FMessage.c_str(); }

    // Throw and copy with the dynamic type kept: code that holds an
    // exception object by base pointer (error handlers that may replace it)
    // raises it with Raise. Each class that is raised that way overrides both.
    [[noreturn]] virtual void Raise() const { throw *this; }
    virtual std::unique_ptr<Exception> Clone() const { return std::make_unique<Exception>(*this); }

private:
    std::string FMessage;
    int FHelpContext = 0;
};

// The silent abort: handlers that show errors to the user skip it.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
    explicit EAbort(std::string AMessage) : Exception(std::move(AMessage)) {}
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EAbort>(*this); }
};

class EConvertError : public Exception {
public:
    using Exception::Exception;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EConvertError>(*this); }
};

// A broken internal precondition: "Assertion failed (unit, line N)".
class EAssertionFailed : public Exception {
public:
    using Exception::Exception;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EAssertionFailed>(*this); }
};

class EOverflow : public Exception {
public:
    using Exception::Exception;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EOverflow>(*this); }
};

class EInvalidOp : public Exception {
public:
    using Exception::Exception;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EInvalidOp>(*this); }
};

class EZeroDivide : public Exception {
public:
    using Exception::Exception;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EZeroDivide>(*this); }
};

class EListError : public Exception {
public:
    using Exception::Exception;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EListError>(*this); }
};

// Raises EAbort.
[[noreturn]] void Abort();
// Raises EAssertionFailed naming the unit and line when Condition is false.
void Assert(bool Condition, const char *Unit, int Line, std::string_view Message = {});

// ---- GUIDs --------------------------------------------------------------

struct TGUID {
    uint32_t D1 = 0;
    uint16_t D2 = 0;
    uint16_t D3 = 0;
    uint8_t D4[8] = {};
    friend constexpr bool operator==(const TGUID &A, const TGUID &B)
    {
        if (A.D1 != B.D1 || A.D2 != B.D2 || A.D3 != B.D3) return false;
        for (int I = 0; I < 8; ++I)
            if (A.D4[I] != B.D4[I]) return false;
        return true;
    }
};
// "{3E9B315B-F456-4175-A864-B2573C4A2001}"
std::string GUIDToString(const TGUID &G);
bool TryStringToGUID(std::string_view S, TGUID &G);
TGUID StringToGUID(std::string_view S); // EConvertError on a malformed text

// ---- format settings ----------------------------------------------------

// One process-wide set, as the toolkit keeps it. The program sets "." and the
// "MM/dd/yyyy" / "hh:mm:ss" formats at start because its SQL date literals
// and number texts depend on them; these are also the defaults here.
struct TFormatSettings {
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
    char DateSeparator = '/';
    char TimeSeparator = ':';
    char ListSeparator = ',';
    std::string ShortDateFormat = "MM/dd/yyyy";
    std::string LongDateFormat = "dddd, MMMM d, yyyy";
    std::string ShortTimeFormat = "hh:mm:ss";
    std::string LongTimeFormat = "hh:mm:ss";
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    std::string ShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::string LongMonthNames[12] = {"January", "February", "March",     "April",
                                      "May",     "June",     "July",      "August",
                                      "September", "October", "November", "December"};
    std::string ShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::string LongDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                   "Thursday", "Friday", "Saturday"};
    // Two-digit years fall within this many years before the current year
    // and the rest of the century after it.
    int TwoDigitYearCenturyWindow = 50;
};

// The process-wide settings. Not locked: the program sets them once at start.
extern TFormatSettings FormatSettings;

// ---- text ---------------------------------------------------------------

std::string Trim(std::string_view S);      // drops characters <= ' ' at both ends
std::string TrimLeft(std::string_view S);
std::string TrimRight(std::string_view S);
std::string UpperCase(std::string_view S); // folds a-z only
std::string LowerCase(std::string_view S); // folds A-Z only
// The toolkit's locale case mapping. The texts are UTF-8, in which the C
// library's byte mapping can fold no letter beyond ASCII, and under tr_TR
// it would leave "i" and "I" alone (names and field look-ups would no longer
// match): so these fold ASCII letters only, whatever the process's locale.
std::string AnsiUpperCase(std::string_view S);
std::string AnsiLowerCase(std::string_view S);
int CompareStr(std::string_view S1, std::string_view S2);  // ordinal
int CompareText(std::string_view S1, std::string_view S2); // a-z folded to A-Z
bool SameText(std::string_view S1, std::string_view S2);
int AnsiCompareStr(std::string_view S1, std::string_view S2);
int AnsiCompareText(std::string_view S1, std::string_view S2);
bool AnsiSameText(std::string_view S1, std::string_view S2);
std::string StringReplace(std::string_view S, std::string_view OldPattern, std::string_view NewPattern,
                          bool ReplaceAll = true, bool IgnoreCase = false);
std::string QuotedStr(std::string_view S, char Quote = '\'');
// 1-based position of Sub in S, 0 when absent.
int Pos(std::string_view Sub, std::string_view S);
// Delphi's Copy: 1-based Index, clipped to the string.
std::string Copy(std::string_view S, int Index, int Count);

// ---- numbers ------------------------------------------------------------

std::string IntToStr(int64_t Value);
std::string UIntToStr(uint64_t Value);
std::string IntToHex(uint64_t Value, int Digits);
// Decimal or "$"/"0x"-prefixed hexadecimal with optional sign, blanks trimmed.
bool TryStrToInt(std::string_view S, int &Value);
bool TryStrToInt64(std::string_view S, int64_t &Value);
int StrToInt(std::string_view S);       // EConvertError "'%s' is not a valid integer value"
int64_t StrToInt64(std::string_view S);
int StrToIntDef(std::string_view S, int Default);
int64_t StrToInt64Def(std::string_view S, int64_t Default);

// General format with 15 significant digits: fixed point when the value is
// at least 0.00001 and has at most 15 integer digits, else "1.5E-7" style.
std::string FloatToStr(double Value);
std::string FloatToStr(double Value, const TFormatSettings &Settings);
enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };
std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits);
// Format strings of "0", "#", ".", "," and "E+00" sections as the toolkit knows.
std::string FormatFloat(std::string_view Format, double Value);
// Accepts the current decimal separator, an exponent, surrounding blanks.
bool TryStrToFloat(std::string_view S, double &Value);
bool TryStrToFloat(std::string_view S, double &Value, const TFormatSettings &Settings);
double StrToFloat(std::string_view S); // EConvertError "'%s' is not a valid floating point value"
double StrToFloatDef(std::string_view S, double Default);
bool StrToBool(std::string_view S);    // "True"/"False" or a number; EConvertError otherwise
bool TryStrToBool(std::string_view S, bool &Value);
std::string BoolToStr(bool B, bool UseBoolStrs = false); // "-1"/"0" or "True"/"False"

// ---- dates and times ----------------------------------------------------

using TDateTime = double;

constexpr int HoursPerDay = 24;
constexpr int MinsPerDay = 24 * 60;
constexpr int SecsPerDay = 24 * 60 * 60;
constexpr int MSecsPerDay = SecsPerDay * 1000;
// Days between 0001-01-01 (day 1 of the time stamp) and 1899-12-30.
constexpr int DateDelta = 693594;

// The toolkit's time stamp: milliseconds since midnight and days since
// 0001-01-01 counting that day as 1.
struct TTimeStamp {
    int Time = 0;
    int Date = 0;
};

bool IsLeapYear(int Year);
int DaysInAMonth(int Year, int Month);
bool TryEncodeDate(int Year, int Month, int Day, TDateTime &Date);
bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime &Time);
TDateTime EncodeDate(int Year, int Month, int Day); // EConvertError "Invalid argument to date encode"
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec); // EConvertError "Invalid argument to time encode"
void DecodeDate(TDateTime Date, int &Year, int &Month, int &Day);
void DecodeTime(TDateTime Time, int &Hour, int &Min, int &Sec, int &MSec);
// Date plus time as the toolkit composes them (date - time before 1899-12-30).
TDateTime ComposeDateTime(TDateTime Date, TDateTime Time);
TDateTime EncodeDateTime(int Year, int Month, int Day, int Hour, int Min, int Sec, int MSec);
void DecodeDateTime(TDateTime Value, int &Year, int &Month, int &Day, int &Hour, int &Min, int &Sec,
                    int &MSec);
int DayOfWeek(TDateTime Date); // 1 = Sunday
TTimeStamp DateTimeToTimeStamp(TDateTime DateTime);
TDateTime TimeStampToDateTime(const TTimeStamp &TimeStamp);
double TimeStampToMSecs(const TTimeStamp &TimeStamp);
TTimeStamp MSecsToTimeStamp(double MSecs);
TDateTime Now();
TDateTime Date();
TDateTime Time();

// Format letters: c d dd ddd dddd ddddd dddddd m mm mmm mmmm yy yyyy h hh n nn
// s ss z zzz t tt am/pm a/p ampm / : and quoted literals.
std::string FormatDateTime(std::string_view Format, TDateTime DateTime);
std::string DateToStr(TDateTime Date);
std::string TimeToStr(TDateTime Time);
// The date alone at midnight, the time alone on day 0, else both.
std::string DateTimeToStr(TDateTime DateTime);
// Parse by the order of ShortDateFormat with DateSeparator; time with
// TimeSeparator and an optional AM/PM. EConvertError on bad text.
bool TryStrToDate(std::string_view S, TDateTime &Value);
bool TryStrToTime(std::string_view S, TDateTime &Value);
bool TryStrToDateTime(std::string_view S, TDateTime &Value);
TDateTime StrToDate(std::string_view S);
TDateTime StrToTime(std::string_view S);
TDateTime StrToDateTime(std::string_view S);

// Milliseconds since an arbitrary start, 32 bits wrapping as the platform's
// tick count does.
uint32_t GetTickCount();

// ---- file names and files ----------------------------------------------

// Paths are written with "/"; names read from settings written on the
// original platform may hold "\", so both count as folder delimiters here.
constexpr char PathDelim = '/';
std::string ExtractFilePath(std::string_view FileName); // folder with its trailing delimiter
std::string ExtractFileDir(std::string_view FileName);  // folder without it
std::string ExtractFileName(std::string_view FileName);
std::string ExtractFileExt(std::string_view FileName);  // ".ext" or ""
std::string ChangeFileExt(std::string_view FileName, std::string_view Extension);
std::string IncludeTrailingPathDelimiter(std::string_view S);
std::string ExcludeTrailingPathDelimiter(std::string_view S);
bool FileExists(const std::string &FileName);      // a file, not a folder
bool DirectoryExists(const std::string &Directory);
bool ForceDirectories(const std::string &Directory);
bool DeleteFile(const std::string &FileName);
bool RenameFile(const std::string &OldName, const std::string &NewName);

} // namespace rtl
