// UTF-8 code points: the one decoder and encoder of the driver (SQLite text
// is UTF-8; SQL_C_WCHAR and the Jet text functions work on characters), and
// text compared as Jet compares it, without regard to case.
#pragma once

#include <cstddef>
#include <string>

namespace jet {

// Malformed sequences read as U+FFFD.
std::u32string DecodeUtf8(const char *AText, size_t ABytes);
void AppendUtf8(std::string &AOut, char32_t ACodePoint);
// The first AMaxUnits UTF-16 units of a UTF-8 text (a character of two
// units whole or not at all), and in ATotalUnits the units of all of it: a
// long text is counted, not converted whole.
std::u16string Utf8ToUtf16(const char *AText, size_t ABytes, size_t AMaxUnits, size_t &ATotalUnits);

// Two UTF-8 texts compared code point by code point with case folded:
// negative, zero or positive. On ASCII it orders exactly as SQLite's NOCASE.
int CompareFolded(const char *A, size_t ABytes, const char *B, size_t BBytes);
// LIKE with case folded: % any run of characters, _ one character, and
// the character after AEscape (0 for none) literally.
bool LikeFolded(const char *APattern, size_t APatternBytes, const char *AText, size_t ATextBytes, char32_t AEscape);

} // namespace jet
