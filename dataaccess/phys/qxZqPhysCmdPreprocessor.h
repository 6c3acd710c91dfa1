// qxZqPhysCmdPreprocessor: turns the SQL text a user writes into the text
// sent to the DBMS, in one left-to-right pass: ":name" parameter markers are
// collected and rewritten in the dialect's style, "!name" and "&name" macros
// are substituted, "{...}" escapes are expanded through the dialect, and at
// the end the command kind, the main object of a SELECT and the positions of
// its ORDER BY and VALUES clauses are found. Strings, quoted names and
// comments are recognised so that markers inside them stay as written.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "dataaccess/phys/qxZqPhysIntf.h"

class TZqParam;
class TZqParams;
class TZqMacros;

// What a run does (bit values as the callers pass them).
enum : uint8_t {
    piParamCreate = 1,
    piMacroCreate = 2,
    piParamExpand = 4,
    piMacroExpand = 8,
    piEscapeExpand = 16,
    piAnalyze = 32
};

class TZqPhysPreprocessor {
public:
    // Escapes nest at most this deep ({fn UCASE({fn LTRIM(x)})} is two).
    static constexpr int MaxEscapeDepth = 8;

    TZqPhysPreprocessor() = default;

    // Inputs.
    IZqPhysConnectionMetadata *ConnMetadata = nullptr; // may be nil when no option needs it
    TZqParams *Params = nullptr;
    TZqMacros *Macros = nullptr;
    TZqMacros *MacrosSource = nullptr;
    uint8_t Instrs = 0;
    bool DesignTime = false;
    std::string Source;

    void Execute();

    // Results.
    const std::string &Destination() const { return FDestination; }
    TZqPhysCommandKind CommandKind() const { return FCommandKind; }
    const std::string &FromObjectName() const { return FFromObjectName; }
    int OrderByPos() const { return FOrderByPos; }
    int ValuesPos() const { return FValuesPos; }

private:
    // The states of the scanner. At most one of the string/name/comment
    // states is set at a time; a MySQL conditional comment ("/*!") is read as
    // text, so it blocks nothing.
    struct TStates {
        bool InBlockComment = false, InLineComment = false, InString = false, InDoubleQuoted = false,
             InQuotedName = false, InConditionalComment = false;
    };

    char NextChar();
    char PeekChar() const;
    void PutBack() { --FSourcePos; }
    void SkipSpaces();
    void Flush(int ADelta);
    void Write(const std::string &AText);
    std::string ReadName(bool &AQuoted);
    std::string ParseText();
    void ProcessParam();
    void ProcessMacro(char AChar);
    void ProcessEscape();
    void AnalyzeCommand();
    void AnalyzeBareText();
    void AnalyzeWord(int AIndex, int ALineFeeds, bool &AKindTaken);
    bool Free() const;
    bool InComment() const { return FStates.InBlockComment || FStates.InLineComment; }
    [[noreturn]] void Error(int32_t ACode, const std::vector<rtl::Variant> &AArgs = {});

    std::string FDestination;
    int FSourcePos = 0;    // characters read (1-based index of the last one read)
    int FSourceCopied = 0; // leading characters already copied or replaced
    TStates FStates;
    int FEscapeDepth = 0;
    int FParenLevel = 0;
    int FParamNumber = 0;
    char FNameQuote1 = 0, FNameQuote2 = 0;
    std::multimap<std::string, TZqParam *> FParamNames;
    TZqPhysCommandKind FCommandKind = skOther;
    std::string FFromObjectName;
    int FOrderByPos = 0, FValuesPos = 0;
};
