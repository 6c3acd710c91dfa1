// TTextFileReader: lines and numbers of the text files operators bring.
#include "platform/rtl/TTextFileReader.h"

#include "platform/rtl/CLocaleText.h"
#include "platform/rtl/Classes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace rtl {

namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char C) { return (unsigned char)C <= ' '; }
bool IsDigit(char C) { return C >= '0' && C <= '9'; }

void AppendUtf8(std::string &Out, uint32_t C)
{
    if (C < 0x80) {
        Out += char(C);
    } else if (C < 0x800) {
        Out += char(0xC0 | C >> 6);
        Out += char(0x80 | (C & 0x3F));
    } else if (C < 0x10000) {
        Out += char(0xE0 | C >> 12);
        Out += char(0x80 | (C >> 6 & 0x3F));
        Out += char(0x80 | (C & 0x3F));
    } else {
        Out += char(0xF0 | C >> 18);
        Out += char(0x80 | (C >> 12 & 0x3F));
        Out += char(0x80 | (C >> 6 & 0x3F));
        Out += char(0x80 | (C & 0x3F));
    }
}

std::string FromUtf16(std::string_view B, bool BigEndian)
{
    const auto Unit = [&](size_t At) {
        const uint32_t Hi = (unsigned char)B[At + (BigEndian ? 0 : 1)], Lo = (unsigned char)B[At + (BigEndian ? 1 : 0)];
        return Hi << 8 | Lo;
    };
    std::string Out;
    Out.reserve(B.size());
    size_t I = 0;
    for (; I + 1 < B.size(); I += 2) {
        uint32_t C = Unit(I);
        if (C >= 0xD800 && C < 0xDC00 && I + 3 < B.size() && Unit(I + 2) >= 0xDC00 && Unit(I + 2) < 0xE000) {
            C = 0x10000 + ((C - 0xD800) << 10) + (Unit(I + 2) - 0xDC00);
            I += 2;
        }
        AppendUtf8(Out, C);
    }
    if (I < B.size())
        Out += '\xFF'; // an odd byte at the end: no UTF-8 either
    return Out;
}

// Bytes from At that make one UTF-8 character, 0 when they make none: no
// overlong form, no surrogate, nothing past U+10FFFF.
size_t Utf8Length(std::string_view S, size_t At)
{
    const unsigned char B = (unsigned char)S[At];
    if (B < 0x80)
        return 1;
    size_t N;
    unsigned char Lo = 0x80, Hi = 0xBF; // the range of the second byte
    if (B >= 0xC2 && B <= 0xDF)
        N = 2;
    else if (B >= 0xE0 && B <= 0xEF)
        N = 3, Lo = B == 0xE0 ? 0xA0 : 0x80, Hi = B == 0xED ? 0x9F : 0xBF;
    else if (B >= 0xF0 && B <= 0xF4)
        N = 4, Lo = B == 0xF0 ? 0x90 : 0x80, Hi = B == 0xF4 ? 0x8F : 0xBF;
    else
        return 0;
    if (At + N > S.size())
        return 0;
    for (size_t K = 1; K < N; ++K) {
        const unsigned char C = (unsigned char)S[At + K];
        if (C < (K == 1 ? Lo : 0x80) || C > (K == 1 ? Hi : 0xBF))
            return 0;
    }
    return N;
}

} // namespace

std::string InOutErrorText(int Code)
{
    switch (Code) {
    case 2: return "File not found";
    case 5: return "File access denied";
    case 100: return "Read beyond end of file";
    case 106: return "Invalid numeric input";
    default: return "I/O error " + std::to_string(Code);
    }
}

bool ReadTextFile(const std::string &FileName, std::string &Text, TTextEncoding *Encoding)
{
    Text.clear();
    // A folder opens as a file here and reads as an empty one: it is no
    // text file at all.
    std::error_code Ec;
    if (std::filesystem::is_directory(FileName, Ec))
        return false;
    // The program's own files (settings, thresholds) as their last
    // replacement left them.
    if (!ReadReplacedFile(FileName, Text))
        return false;
    TTextEncoding E = TTextEncoding::Utf8;
    if (Text.compare(0, ByteOrderMark.size(), ByteOrderMark) == 0) {
        E = TTextEncoding::Utf8Mark;
        Text.erase(0, ByteOrderMark.size());
    } else if (Text.compare(0, 2, "\xFF\xFE") == 0 || Text.compare(0, 2, "\xFE\xFF") == 0) {
        E = Text[0] == '\xFF' ? TTextEncoding::Utf16LE : TTextEncoding::Utf16BE;
        Text = FromUtf16(std::string_view(Text).substr(2), E == TTextEncoding::Utf16BE);
    }
    if (Encoding)
        *Encoding = E;
    return true;
}

std::string EncodeText(std::string_view Text, TTextEncoding Encoding)
{
    // Text read from a file with NUL bytes (UTF-16 without its mark) is no
    // text of any encoding: writing it back with a changed line would leave
    // a file of two encodings.
    if (const size_t Nul = Text.find('\0'); Nul != std::string_view::npos)
        throw EInOutError(106, "line " + std::to_string(LineNotUtf8(Text.substr(0, Nul + 1))) +
                                   " holds NUL bytes: the text is not UTF-8 and is not written");
    if (Encoding == TTextEncoding::Utf8)
        return std::string(Text);
    if (Encoding == TTextEncoding::Utf8Mark)
        return std::string(ByteOrderMark).append(Text);
    const bool Big = Encoding == TTextEncoding::Utf16BE;
    std::string Out = Big ? "\xFE\xFF" : "\xFF\xFE";
    const auto Put = [&](uint32_t U) {
        Out += char(Big ? U >> 8 : U & 0xFF);
        Out += char(Big ? U & 0xFF : U >> 8);
    };
    for (size_t I = 0; I < Text.size();) {
        const unsigned char B = (unsigned char)Text[I];
        size_t N = Utf8Length(Text, I);
        uint32_t C = 0xFFFD; // a byte of no character
        if (N == 0 && B == 0xED && I + 2 < Text.size() && (Text[I + 1] & 0xC0) == 0x80 &&
            (Text[I + 2] & 0xC0) == 0x80) {
            N = 3; // half a surrogate pair, as it was read
            C = (B & 0x0F) << 12 | (Text[I + 1] & 0x3F) << 6 | (Text[I + 2] & 0x3F);
        } else if (N == 0) {
            N = 1;
        } else {
            C = N == 1 ? B : B & (0x7F >> N);
            for (size_t K = 1; K < N; ++K)
                C = C << 6 | (Text[I + K] & 0x3F);
        }
        if (C >= 0x10000) {
            Put(0xD800 + ((C - 0x10000) >> 10));
            Put(0xDC00 + ((C - 0x10000) & 0x3FF));
        } else {
            Put(C);
        }
        I += N;
    }
    return Out;
}

int LineNotUtf8(std::string_view Text)
{
    int Line = 1;
    for (size_t I = 0; I < Text.size();) {
        // A NUL byte is a character of UTF-8, but no text file holds one:
        // it marks UTF-16 without its byte-order mark.
        const size_t N = Text[I] == '\0' ? 0 : Utf8Length(Text, I);
        if (N == 0)
            return Line;
        if (Text[I] == '\n' || (Text[I] == '\r' && (I + 1 == Text.size() || Text[I + 1] != '\n')))
            ++Line;
        I += N;
    }
    return 0;
}

bool IsUtf8(std::string_view Text) { return LineNotUtf8(Text) == 0; }

void RequireUtf8(const std::string &FileName, std::string_view Text)
{
    if (const int Line = LineNotUtf8(Text))
        throw EInOutError(106, FileName + ", line " + std::to_string(Line) + ": the file is not UTF-8");
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
    if (!ReadTextFile(FFileName, FText)) {
        std::error_code Ec;
        const int Code = std::filesystem::exists(FFileName, Ec) ? 5 : 2;
        throw EInOutError(Code, FFileName + ": " + InOutErrorText(Code));
    }
    // Read on, NUL bytes would count as blanks and UTF-16 digits as words
    // of their own: "30.5" as "3 0 . 5".
    if (FText.find('\0') != std::string::npos)
        RequireUtf8(FFileName, FText);
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

void TTextFileReader::Refuse(const std::string &Why) const { throw EInOutError(106, Where() + ": " + Why); }

} // namespace rtl
