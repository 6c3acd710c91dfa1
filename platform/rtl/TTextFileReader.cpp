// TTextFileReader: lines and numbers of the text files operators bring.
#include "platform/rtl/TTextFileReader.h"

#include "platform/rtl/CLocaleText.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace rtl {

namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char C) { return (unsigned char)C <= ' '; }
bool IsDigit(char C) { return C >= '0' && C <= '9'; }

} // namespace

std::string InOutErrorText(int Code)
{
    switch (Code) {
    case 2: return "File not found";
    case 100: return "Read beyond end of file";
    case 106: return "Invalid numeric input";
    default: return "I/O error " + std::to_string(Code);
    }
}

bool ReadTextFile(const std::string &FileName, std::string &Text, bool *HadMark)
{
    Text.clear();
    std::ifstream In(FileName, std::ios::binary);
    if (!In)
        return false;
    std::stringstream S;
    S << In.rdbuf();
    Text = S.str();
    const bool Mark = Text.compare(0, ByteOrderMark.size(), ByteOrderMark) == 0;
    if (Mark)
        Text.erase(0, ByteOrderMark.size());
    if (HadMark)
        *HadMark = Mark;
    return true;
}

bool TryReadNumber(std::string_view W, double &Value)
{
    // Only digits, a point, an exponent and signs: the C-locale reading
    // would also take "inf" and "nan", which no file of ours holds.
    for (const char C : W)
        if (!IsDigit(C) && C != '.' && C != 'e' && C != 'E' && C != '+' && C != '-')
            return false;
    return CTryTextToFloat(W, Value);
}

TTextFileReader::TTextFileReader(std::string AFileName) : FFileName(std::move(AFileName))
{
    if (!ReadTextFile(FFileName, FText))
        throw EInOutError(2, FFileName + ": " + InOutErrorText(2));
}

bool TTextFileReader::NextLine()
{
    FPos = 0;
    if (FNext > FText.size())
        return false; // past the end already: the line number stays
    ++FLineNo;
    if (FNext == FText.size()) {
        FLine = std::string_view();
        FNext = FText.size() + 1;
        return false;
    }
    size_t End = FNext;
    while (End < FText.size() && FText[End] != '\n' && FText[End] != '\r')
        ++End;
    FLine = std::string_view(FText).substr(FNext, End - FNext);
    if (End < FText.size())
        End += FText[End] == '\r' && End + 1 < FText.size() && FText[End + 1] == '\n' ? 2 : 1;
    FNext = End;
    return true;
}

bool TTextFileReader::NextNonBlankLine()
{
    while (NextLine())
        if (!LineEnded())
            return true;
    return false;
}

bool TTextFileReader::LineEnded() const
{
    for (size_t I = FPos; I < FLine.size(); ++I)
        if (!IsBlank(FLine[I]))
            return false;
    return true;
}

double TTextFileReader::ReadNumber()
{
    while (FPos < FLine.size() && IsBlank(FLine[FPos]))
        ++FPos;
    const size_t Start = FPos;
    while (FPos < FLine.size() && !IsBlank(FLine[FPos]))
        ++FPos;
    double Value;
    if (!TryReadNumber(FLine.substr(Start, FPos - Start), Value))
        Fail(106);
    return Value;
}

int TTextFileReader::ReadInteger()
{
    const double Value = ReadNumber();
    if (!(Value >= INT_MIN && Value <= INT_MAX && Value == std::trunc(Value)))
        Fail(106);
    return int(Value);
}

std::string TTextFileReader::Where() const { return FFileName + ", line " + std::to_string(FLineNo); }

void TTextFileReader::Fail(int Code) const { throw EInOutError(Code, Where() + ": " + InOutErrorText(Code)); }

} // namespace rtl
