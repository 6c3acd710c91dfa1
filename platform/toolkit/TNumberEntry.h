// Number entries: the grid's number cells and the program's number boxes.
//
// The program reads and writes every number with "." as its decimal
// separator, whatever the operator's locale. An entry that refuses a text
// with a decimal comma says how numbers are written, and the keypad's
// decimal key, which types "," on a German keypad, types "." there.
#pragma once

#include <string>

class QWidget;

// The refusal AMessage of AText, and when AText holds a comma how numbers
// are written.
std::string WithDecimalPointHint(const std::string &AMessage, const std::string &AText);

// From now on the keypad's decimal key types "." in AEntry (a line edit).
void TypeKeypadDecimalPoint(QWidget &AEntry);
