// UTF-8 code points: the one decoder and encoder of the driver (SQLite text
// is UTF-8; SQL_C_WCHAR and the Jet text functions work on characters).
#pragma once

#include <cstddef>
#include <string>

namespace jet {

// Malformed sequences read as U+FFFD.
std::u32string DecodeUtf8(const char *AText, size_t ABytes);
void AppendUtf8(std::string &AOut, char32_t ACodePoint);

} // namespace jet
