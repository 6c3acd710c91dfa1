// TTextFileReader: the one way the program reads the text files that
// operators bring (settings, contours, grids, maps, climatology, small
// tables), many of them made on Windows desktops or in decimal-comma
// locales. A file is UTF-8, its byte-order mark no part of its first line,
// or UTF-16 led by its mark (Notepad's "Unicode"), read as the same text;
// text with NUL bytes (UTF-16 without its mark) is no UTF-8 text and is
// refused, as is a folder; a
// line ends at LF, CR LF or a lone CR, none of which is part of the line;
// each line keeps its number, so that a refusal names the file and the line.
//
// Numbers are read as the run-time library's text files read them: words
// between blanks (a space, a tab or any other control character), each of
// which must be a whole number in the "." format, whatever the locale. A
// decimal comma makes a word no number ("30,5" is neither 30.5 nor 30 and
// 5), and the reader refuses it with the input-output error 106. What a
// format leaves unread on a line (a name after a square's four numbers,
// anything after a point's two) is the caller's to ignore.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/rtl/SysUtils.h"

namespace rtl {

// The run-time library's input-output error of text files: the code says
// what went wrong (2 file not found, 100 read beyond the end of the file,
// 106 invalid numeric input).
class EInOutError : public Exception {
public:
    EInOutError(int ACode, std::string AMessage) : Exception(std::move(AMessage)), ErrorCode(ACode) {}
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EInOutError>(*this); }
    int ErrorCode;
};
// The library's words for an input-output error code.
std::string InOutErrorText(int Code);

// What a text file holds: UTF-8 with or without its byte-order mark, or
// UTF-16 of either byte order led by its mark.
enum class TTextEncoding { Utf8, Utf8Mark, Utf16LE, Utf16BE };

// The whole file into Text as UTF-8, without its byte-order mark; Encoding
// tells what the file held. Half a UTF-16 surrogate pair keeps its code in
// three bytes that are no UTF-8, so that it is refused as such, or written
// back as it came. False when the file cannot be read or is a folder.
bool ReadTextFile(const std::string &FileName, std::string &Text, TTextEncoding *Encoding = nullptr);
// Text as a file of that encoding holds it, led by its mark. EInOutError
// when Text holds a NUL byte: it came from no text file.
std::string EncodeText(std::string_view Text, TTextEncoding Encoding);
// Text is UTF-8 throughout; LineNotUtf8 gives the 1-based number of the
// first line that is not (a NUL byte counts as no UTF-8), 0 when every
// line is.
bool IsUtf8(std::string_view Text);
int LineNotUtf8(std::string_view Text);
// EInOutError "File, line N: the file is not UTF-8" when some line of Text
// is not: the names of a legacy 8-bit file would show as replacement marks.
void RequireUtf8(const std::string &FileName, std::string_view Text);

// One number in the "." format: an optional sign, digits with at most one
// point among or after them, and an optional exponent ("e" or "E", an
// optional sign, digits); nothing else, not even a blank. A number past the
// double range is an infinity of its sign, one below it a zero. False for
// any other text.
bool TryReadNumber(std::string_view Word, double &Value);

class TTextFileReader {
public:
    // Reads the whole file; EInOutError 2 when it is not there, 5 when it
    // cannot be read (a folder), 106 naming the line when it holds NUL bytes.
    explicit TTextFileReader(std::string AFileName);

    const std::string &FileName() const { return FFileName; }
    // The next line becomes the current one; false at the end of the file,
    // where the line number moves one past the last line.
    bool NextLine();
    // The next line that holds more than blanks.
    bool NextNonBlankLine();
    // 1-based number of the current line; 0 before the first.
    int LineNo() const { return FLineNo; }
    // The current line, and what the numbers read from it so far left.
    std::string_view Line() const { return FLine; }
    std::string_view Rest() const { return FLine.substr(FPos); }
    // Only blanks are left of the current line.
    bool LineEnded() const;
    // The next word of the current line as a number; EInOutError 106 when
    // it is no number or the line has no word left.
    double ReadNumber();
    // The same, for a whole number within the int range.
    int ReadInteger();
    // "File, line N" of the current line.
    std::string Where() const;
    // EInOutError of the code, its message led by Where().
    [[noreturn]] void Fail(int Code) const;
    // EInOutError 106 saying why the current line is refused.
    [[noreturn]] void Refuse(const std::string &Why) const;

private:
    std::string FFileName;
    std::string FText;
    size_t FNext = 0;
    int FLineNo = 0;
    std::string_view FLine;
    size_t FPos = 0;
};

} // namespace rtl
