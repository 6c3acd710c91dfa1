// Jet date/time values: days since 1899-12-30 in a double, the way Jet stores
// them in a station database. The integer part is the day (negative before
// 1899-12-30); the time of day is a positive fraction counted forward from
// midnight, so 1899-12-29 06:00 is -1.25. Also the parsers for the date texts
// that reach the driver: #m/d/yyyy hh:mm:ss# literals, time literals written
// with dots, ODBC escape texts and CDate/DateValue arguments.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace jet {

struct TJetDateTime {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// Day number relative to 1899-12-30 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(int AYear, int AMonth, int ADay);
void CivilFromDays(std::int64_t ADays, int &AYear, int &AMonth, int &ADay);
bool ValidDate(int AYear, int AMonth, int ADay);

double EncodeJetDate(const TJetDateTime &AValue);
// Rounded to the millisecond, which is the finest unit the driver hands out.
TJetDateTime DecodeJetDate(double AValue);
// Whole calendar day and milliseconds since midnight of a Jet value.
void SplitJetDate(double AValue, std::int64_t &ADay, std::int64_t &AMsOfDay);
double JoinJetDate(std::int64_t ADay, std::int64_t AMsOfDay);

enum class TJetDateParts { None, DateOnly, TimeOnly, DateTime };

// Parses the text of a date literal as Jet reads it: m/d/yyyy (US order),
// yyyy-m-d, m-d-yyyy, with an optional time h:m[:s[.fff]] or h.m.s and an
// optional AM/PM; or a time alone. Two-digit years 00-29 are 20xx, 30-99 19xx.
TJetDateParts ParseJetDateText(std::string_view AText, TJetDateTime &AValue);
// A text stored where a date belongs (another tool wrote '1991-03-02' or
// '06:00:00' into a DATETIME column), read as the driver reads it wherever
// it meets one: its day number; false for a text that is no date.
bool ReadJetDateText(std::string_view AText, double &ADays);

// "yyyy-mm-dd hh:mm:ss" with ".fff" when there are milliseconds (the ODBC
// canonical text of a timestamp).
std::string FormatJetDateCanonical(double AValue);
// Jet's general date text ("3/7/2007 2:05:09 PM"): the date alone at
// midnight, the time alone on day 0.
std::string FormatJetDateGeneral(double AValue);

} // namespace jet
