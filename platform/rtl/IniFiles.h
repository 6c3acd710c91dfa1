// IniFiles: settings files of [sections] and key=value lines. Section and
// key names match without regard to case; a rewrite keeps the file's own
// lines (comments, blank lines, key spelling, order) and changes only the
// values written, adding new keys at the end of their section. The file is
// read as every text file is (ReadTextFile: UTF-8 or UTF-16 led by its
// mark) and replaced whole in the encoding it came in (ReplaceFile), so that
// no kill leaves it half written and no rewrite mixes two encodings.
//
// TMemIniFile works in memory and writes on UpdateFile; TIniFile writes
// every change through to the file at once and sees changes that others
// made to the file, and it strips one pair of enclosing quotes from values
// it reads, as the platform's profile routines do.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"

namespace rtl {

class TIniDocument;

class TCustomIniFile : public TObject {
public:
    explicit TCustomIniFile(std::string AFileName);
    ~TCustomIniFile() override;
    const std::string &FileName() const { return FFileName; }

    virtual std::string ReadString(std::string_view Section, std::string_view Ident, const std::string &Default);
    // EFCreateError with WriteRefusal's words when the file cannot take the value.
    virtual void WriteString(std::string_view Section, std::string_view Ident, const std::string &Value);
    // Why the file cannot take the value for the key, empty when it can: a
    // value that is not ASCII in a file holding a line of a legacy 8-bit
    // encoding other than the key's own.
    std::string WriteRefusal(std::string_view Section, std::string_view Ident, const std::string &Value);
    // Decimal or "$"/"0x" hexadecimal; the default for anything else.
    int ReadInteger(std::string_view Section, std::string_view Ident, int Default);
    void WriteInteger(std::string_view Section, std::string_view Ident, int Value);
    // An integer: 0 is False, any other is True; written as "1"/"0".
    bool ReadBool(std::string_view Section, std::string_view Ident, bool Default);
    void WriteBool(std::string_view Section, std::string_view Ident, bool Value);
    double ReadFloat(std::string_view Section, std::string_view Ident, double Default);
    void WriteFloat(std::string_view Section, std::string_view Ident, double Value);
    TDateTime ReadDateTime(std::string_view Section, std::string_view Ident, TDateTime Default);
    void WriteDateTime(std::string_view Section, std::string_view Ident, TDateTime Value);

    bool SectionExists(std::string_view Section);
    bool ValueExists(std::string_view Section, std::string_view Ident);
    // The 1-based line of the key that ReadString reads; 0 when there is none.
    int KeyLine(std::string_view Section, std::string_view Ident);
    // Key names of a section, in file order.
    void ReadSection(std::string_view Section, TStrings &Strings);
    void ReadSections(TStrings &Strings);
    // The section's key=value lines.
    void ReadSectionValues(std::string_view Section, TStrings &Strings);
    void EraseSection(std::string_view Section);
    void DeleteKey(std::string_view Section, std::string_view Ident);
    // The file replaced whole with the memory's lines (ReplaceFile, whose
    // note it returns).
    virtual std::string UpdateFile();

protected:
    virtual void BeforeRead() {}
    virtual void AfterWrite() {}
    TIniDocument &Doc() { return *FDoc; }
    void ListSection(std::string_view Section, TStrings &Strings, bool WithValues);
    std::string FFileName;
    std::unique_ptr<TIniDocument> FDoc;
};

class TMemIniFile : public TCustomIniFile {
public:
    explicit TMemIniFile(std::string AFileName);
    // The whole file as lines, and back.
    void GetStrings(TStrings &List);
    void SetStrings(const TStrings &List);
    void Clear();
    // Points at another file; with Reload, its contents replace the memory.
    void Rename(const std::string &AFileName, bool Reload);
};

class TIniFile : public TCustomIniFile {
public:
    explicit TIniFile(std::string AFileName);
    std::string ReadString(std::string_view Section, std::string_view Ident, const std::string &Default) override;

protected:
    void BeforeRead() override;
    void AfterWrite() override;

private:
    long long FStamp = -1; // file time and size seen at the last load
};

} // namespace rtl
