// qxZqPhysCmdPreprocessor: the one-pass scanner over a command text.
//
// Positions: FSourcePos counts the characters read, so Source[FSourcePos-1]
// is the current one; FSourceCopied counts the leading characters already
// dealt with (copied to the output or replaced). Flush copies what lies
// between them; Write replaces it.
#include "dataaccess/phys/qxZqPhysCmdPreprocessor.h"

#include <array>

#include "dataaccess/stan/qxZqStanParam.h"
#include "platform/rtl/SysUtils.h"

namespace {

bool IsNameChar(unsigned char C)
{
    // Bytes from 128 on belong to names too: names with national letters
    // arrive as UTF-8 here, whose bytes all lie above 127.
    return C == '#' || C == '$' || C == '_' || (C >= '0' && C <= '9') || (C >= 'A' && C <= 'Z') ||
           (C >= 'a' && C <= 'z') || C >= 128;
}

bool IsGuidChar(char C)
{
    return C == '$' || C == '-' || (C >= '0' && C <= '9') || (C >= 'A' && C <= 'F') || (C >= 'a' && C <= 'f');
}

bool IsAsciiLetter(char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); }

// Macro texts that hold macro references are preprocessed again; a chain of
// macros naming each other is followed this deep and no further.
constexpr int MaxMacroDepth = 32;
thread_local int MacroDepth = 0;

} // namespace

void TZqPhysPreprocessor::Error(int32_t ACode, const std::vector<rtl::Variant> &AArgs)
{
    ZqRaiseError(nullptr, {"Phys"}, ACode, AArgs);
    throw rtl::EAbort();
}

char TZqPhysPreprocessor::NextChar()
{
    if (FSourcePos >= int(Source.size())) {
        FSourcePos = int(Source.size()) + 1;
        return 0;
    }
    return Source[FSourcePos++];
}

char TZqPhysPreprocessor::PeekChar() const
{
    return FSourcePos < int(Source.size()) ? Source[FSourcePos] : 0;
}

void TZqPhysPreprocessor::SkipSpaces()
{
    char C;
    do
        C = NextChar();
    while (C >= 1 && C <= 32);
    if (C != 0) PutBack();
}

void TZqPhysPreprocessor::Flush(int ADelta)
{
    const int End = std::min(FSourcePos + ADelta, int(Source.size()));
    if (End > FSourceCopied) FDestination.append(Source, size_t(FSourceCopied), size_t(End - FSourceCopied));
    FSourceCopied = std::min(FSourcePos, int(Source.size()));
}

void TZqPhysPreprocessor::Write(const std::string &AText)
{
    FDestination += AText;
    FSourceCopied = std::min(FSourcePos, int(Source.size()));
}

bool TZqPhysPreprocessor::Free() const
{
    return !(FStates.InBlockComment || FStates.InLineComment || FStates.InString || FStates.InDoubleQuoted ||
             FStates.InQuotedName);
}

std::string TZqPhysPreprocessor::ReadName(bool &AQuoted)
{
    std::string Name;
    AQuoted = false;
    if (ConnMetadata && FNameQuote1 && PeekChar() == FNameQuote1) {
        AQuoted = true;
        NextChar();
        for (;;) {
            const char C = NextChar();
            if (C == 0) Error(323); // an unclosed quoted name
            if (C == FNameQuote2) break;
            Name += C;
            if (Name.size() > 255) Error(323);
        }
        return Name;
    }
    for (;;) {
        const char C = NextChar();
        if (C == 0) break;
        if (!IsNameChar(static_cast<unsigned char>(C))) {
            PutBack();
            break;
        }
        Name += C;
        if (Name.size() > 255) Error(323);
    }
    return rtl::AnsiUpperCase(Name);
}

namespace {

// The reading of the last plain text: one without any character the pass
// acts on (markers, macros, escapes, carets, CRs), whose output is the text
// itself and whose analysis depends on nothing but the text and the
// dialect. A command reads each new text twice, the component on the change
// and the driver command on the prepare; a write-back sends a new text per
// level.
struct TPlainReading {
    bool Valid = false;
    std::string Source;
    TZqRDBMSKind Dialect = mkUnknown;
    char Quote1 = 0, Quote2 = 0;
    TZqPhysCommandKind Kind = skOther;
    std::string FromObjectName;
    int OrderByPos = 0, ValuesPos = 0;
};

bool IsPlainText(const std::string &AText)
{
    for (const char C : AText)
        switch (C) {
        case '\r': case ':': case '!': case '&': case '{': case '^': return false;
        default: break;
        }
    return true;
}

// A bare text holds nothing the pass or the analysis acts on: no marker,
// macro, escape, caret or CR, no string, quoted name or comment, no
// parenthesis. Its output is the text itself, and every word of it lies at
// the outer level, so a walk over its words alone finds what the full
// analysis finds. Most statements of a program are like this.
bool IsBareText(const std::string &AText, char AQuote1, char AQuote2)
{
    static const auto Acted = [] {
        std::array<bool, 256> T{};
        for (const unsigned char C : {'\0', '\r', ':', '!', '&', '{', '}', '^', '\'', '"', '(', ')', '`', '[', ']'})
            T[C] = true;
        return T;
    }();
    const size_t N = AText.size();
    const char *D = AText.data();
    for (size_t I = 0; I < N; ++I) {
        const char C = D[I];
        if (Acted[static_cast<unsigned char>(C)] || C == AQuote1 || C == AQuote2) return false;
        // A comment opens only with two characters.
        if ((C == '-' || C == '/') && I + 1 < N && (D[I + 1] == '-' || D[I + 1] == '*')) return false;
    }
    return true;
}

} // namespace

void TZqPhysPreprocessor::Execute()
{
    FCommandKind = skOther;
    FFromObjectName.clear();
    FOrderByPos = FValuesPos = 0;
    if (((Instrs & piMacroExpand) && !MacrosSource) || ((Instrs & piMacroCreate) && !Macros) ||
        ((Instrs & (piParamCreate | piParamExpand)) && !Params) ||
        ((Instrs & (piEscapeExpand | piAnalyze)) && !ConnMetadata))
        Error(322);
    FDestination.clear();
    if (Source.empty()) return;
    FNameQuote1 = ConnMetadata ? ConnMetadata->GetNameQuoteChar1() : 0;
    FNameQuote2 = ConnMetadata ? ConnMetadata->GetNameQuoteChar2() : 0;
    if (FNameQuote1 <= ' ' || FNameQuote2 <= ' ') FNameQuote1 = FNameQuote2 = 0;
    thread_local TPlainReading Last;
    auto Remember = [this] {
        Last.Source = Source;
        Last.Dialect = ConnMetadata->GetKind();
        Last.Quote1 = FNameQuote1;
        Last.Quote2 = FNameQuote2;
        Last.Kind = FCommandKind;
        Last.FromObjectName = FFromObjectName;
        Last.OrderByPos = FOrderByPos;
        Last.ValuesPos = FValuesPos;
        Last.Valid = true;
    };
    if (Instrs & piAnalyze) {
        // Only plain texts are kept, so an equal text is plain too.
        if (Last.Valid && Last.Dialect == ConnMetadata->GetKind() && Last.Quote1 == FNameQuote1 &&
            Last.Quote2 == FNameQuote2 && Last.Source == Source) {
            FDestination = Source;
            FCommandKind = Last.Kind;
            FFromObjectName = Last.FromObjectName;
            FOrderByPos = Last.OrderByPos;
            FValuesPos = Last.ValuesPos;
            return;
        }
        if (IsBareText(Source, FNameQuote1, FNameQuote2)) {
            FDestination = Source;
            AnalyzeBareText();
            Remember();
            return;
        }
    }
    const bool Plain = (Instrs & piAnalyze) && IsPlainText(Source);
    if (Plain) Last.Valid = false;
    FStates = TStates();
    FParenLevel = FEscapeDepth = 0;
    FSourcePos = FSourceCopied = 0;
    FParamNames.clear();
    const bool UseParams = (Instrs & (piParamCreate | piParamExpand)) != 0;
    if (UseParams) {
        for (int i = 0; i < Params->Count(); ++i)
            FParamNames.emplace(rtl::AnsiUpperCase(Params->Items(i)->Name()), Params->Items(i));
        FParamNumber = Params->Count();
        Params->BeginUpdate();
    }
    try {
        FDestination.reserve(Source.size() + 16);
        FDestination = ParseText();
    } catch (...) {
        if (UseParams) Params->EndUpdate();
        throw;
    }
    if (UseParams) Params->EndUpdate();
    if (Instrs & piAnalyze) {
        if (FEscapeDepth > 0) Error(321, {std::string("}")});
        AnalyzeCommand();
    }
    if (Plain && FDestination == Source) Remember();
}

std::string TZqPhysPreprocessor::ParseText()
{
    std::string Outer;
    Outer.swap(FDestination);
    const int EntryLevel = FParenLevel;
    const bool Params_ = (Instrs & (piParamCreate | piParamExpand)) != 0;
    const bool MacrosOn = (Instrs & (piMacroCreate | piMacroExpand)) != 0;
    const bool Escapes = (Instrs & piEscapeExpand) != 0;
    for (;;) {
        const char C = NextChar();
        if (C == 0) break;
        bool Stop = false;
        if (FNameQuote1 && (C == FNameQuote1 || C == FNameQuote2) &&
            !(InComment() || FStates.InString || FStates.InDoubleQuoted)) {
            if (FNameQuote1 == FNameQuote2)
                FStates.InQuotedName = !FStates.InQuotedName;
            else
                FStates.InQuotedName = C == FNameQuote1;
            continue;
        }
        switch (C) {
        case '/':
            if (Free() && PeekChar() == '*') {
                NextChar();
                if (ConnMetadata && ConnMetadata->GetKind() == mkMySQL && PeekChar() == '!') {
                    NextChar();
                    FStates.InConditionalComment = true;
                } else {
                    FStates.InBlockComment = true;
                }
            }
            break;
        case '*':
            if ((FStates.InBlockComment || FStates.InConditionalComment) && !FStates.InLineComment &&
                !FStates.InString && !FStates.InDoubleQuoted && !FStates.InQuotedName && PeekChar() == '/') {
                NextChar();
                if (FStates.InConditionalComment)
                    FStates.InConditionalComment = false;
                else
                    FStates.InBlockComment = false;
            }
            break;
        case '-':
            if (!(FStates.InBlockComment || FStates.InString || FStates.InDoubleQuoted || FStates.InQuotedName) &&
                PeekChar() == '-') {
                NextChar();
                FStates.InLineComment = true;
            }
            break;
        case '\n':
        case '\r':
            if (!FStates.InBlockComment) FStates.InLineComment = false;
            if (C == '\r') {
                Flush(-1); // a CR never reaches the output: CR LF becomes LF
            }
            break;
        case '\'':
            if (!(InComment() || FStates.InQuotedName || FStates.InDoubleQuoted))
                FStates.InString = !FStates.InString;
            break;
        case '"':
            if (FNameQuote1 != '"' && !(InComment() || FStates.InString || FStates.InQuotedName))
                FStates.InDoubleQuoted = !FStates.InDoubleQuoted;
            break;
        case '(':
            if (Free()) ++FParenLevel;
            break;
        case ')':
            if (Free()) {
                if (FEscapeDepth > 0 && FParenLevel == EntryLevel)
                    Stop = true;
                else
                    --FParenLevel;
            }
            break;
        case ',':
            if (Free() && EntryLevel > 0 && FParenLevel == EntryLevel && FEscapeDepth > 0) Stop = true;
            break;
        case '}':
            // Outside an escape a closing brace is ordinary text: stopping
            // there would cut the rest of the command off.
            if (Escapes && FEscapeDepth > 0 && !InComment() && !FStates.InString && !FStates.InDoubleQuoted &&
                !FStates.InQuotedName)
                Stop = true;
            break;
        case ':':
            if (Free() && Params_) ProcessParam();
            break;
        case '!':
        case '&':
            if (MacrosOn) ProcessMacro(C);
            break;
        case '{':
            if (Escapes) ProcessEscape();
            break;
        case '^':
            Flush(-1);
            if (NextChar() == 0) PutBack();
            break;
        default: break;
        }
        if (Stop) {
            PutBack();
            break;
        }
    }
    Flush(0);
    std::string Span;
    Span.swap(FDestination);
    FDestination.swap(Outer);
    return Span;
}

void TZqPhysPreprocessor::ProcessParam()
{
    const char N = PeekChar();
    if (N == 7 || N == 10 || N == 13 || N == 32 || N == '=' || N == 0) return;
    if (N == ':') {
        Flush(0);
        NextChar();
        FSourceCopied = FSourcePos;
        return;
    }
    if (!IsNameChar(static_cast<unsigned char>(N)) && !(FNameQuote1 && N == FNameQuote1)) return;
    Flush(-1);
    bool Quoted;
    const std::string Name = ReadName(Quoted);
    const std::string Key = rtl::AnsiUpperCase(Name);
    const auto Found = FParamNames.find(Key);
    const bool Named = !ConnMetadata || ConnMetadata->GetParamMark() == 1;
    const bool ByName = Params->BindMode() == 0;
    std::string Marker = ":" + Name;
    if (Instrs & piParamCreate) {
        if (Named && ByName && Found != FParamNames.end()) {
            Marker = ":" + Name;
        } else {
            const int L = ConnMetadata ? ConnMetadata->GetNameMaxLength() : 0;
            TZqParam *Existing = Params->FindParam(Name);
            if (L > 0 && int(Name.size()) >= L) {
                int Index = Params->Count() + 1;
                for (int i = 0; Existing && i < Params->Count(); ++i)
                    if (Params->Items(i) == Existing) Index = i + 1;
                const std::string Num = std::to_string(Index);
                const int Keep = std::max(0, L - 2 - int(Num.size()));
                Marker = ":" + Name.substr(0, size_t(Keep)) + "_" + Num;
            } else if (Quoted) {
                Marker = std::string(":") + FNameQuote1 + Name + FNameQuote2;
            }
            if (!(Existing && Named && ByName)) {
                TZqParam *P = Params->Add();
                P->SetName(Name);
                P->SetIsCaseSensitive(Quoted);
                if (!ByName) P->SetPosition(Params->Count());
                FParamNames.emplace(Key, P);
            }
        }
    }
    if (Instrs & piParamExpand) {
        const uint8_t Mark = ConnMetadata ? ConnMetadata->GetParamMark() : 1;
        if (Mark == 0)
            Marker = "?";
        else if (Mark == 2)
            Marker = std::to_string(FParamNumber++);
    }
    Write(Marker);
}

void TZqPhysPreprocessor::ProcessMacro(char AChar)
{
    if (PeekChar() == AChar) {
        Flush(0);
        NextChar();
        FSourceCopied = FSourcePos;
        return;
    }
    const int Start = FSourcePos - 1; // index of AChar
    const bool Expand = (Instrs & piMacroExpand) != 0;
    if (Expand) Flush(-1);
    bool Quoted;
    const std::string Name = ReadName(Quoted);
    const std::string AsWritten = Source.substr(size_t(Start), size_t(FSourcePos - Start));
    // A lone "&" is Jet's string concatenation, not a macro: it stays.
    if (Name.empty() && !Quoted) {
        if (Expand) Write(AsWritten);
        return;
    }
    if ((Instrs & piMacroCreate) && Macros && !Macros->FindMacro(Name)) {
        TZqMacro *M = Macros->Add();
        M->SetName(Name);
        M->SetDataType(AChar == '!' ? mdRaw : mdIdentifier);
    }
    if (!Expand) return;
    TZqMacro *M = MacrosSource->FindMacro(Name);
    // Only a macro that has a value replaces its reference; anything else
    // ("A&B" in a literal, a Jet concatenation "a &b") is kept as written,
    // so the preprocessor never loses text.
    if (!M || M->Value().IsClear()) {
        Write(AsWritten);
        return;
    }
    std::string Text = M->GetSQL();
    if (Text.find_first_of("!&:{") != std::string::npos && MacroDepth < MaxMacroDepth) {
        TZqPhysPreprocessor Inner;
        Inner.ConnMetadata = ConnMetadata;
        Inner.Params = Params;
        Inner.Macros = Macros;
        Inner.MacrosSource = MacrosSource;
        Inner.DesignTime = DesignTime;
        Inner.Instrs = uint8_t(Instrs & ~piAnalyze);
        Inner.Source = Text;
        ++MacroDepth;
        try {
            Inner.Execute();
        } catch (...) {
            --MacroDepth;
            throw;
        }
        --MacroDepth;
        Text = Inner.Destination();
    }
    Write(Text);
}

void TZqPhysPreprocessor::ProcessEscape()
{
    // A GUID in braces is no escape: it is copied through its closing brace.
    int j = FSourcePos;
    while (j < int(Source.size()) && IsGuidChar(Source[size_t(j)])) ++j;
    if (j - FSourcePos >= 4) {
        FSourcePos = std::min(j + 1, int(Source.size()));
        return;
    }
    Flush(-1);
    ++FEscapeDepth;
    SkipSpaces();
    bool Quoted;
    std::string Kind = rtl::UpperCase(ReadName(Quoted));
    // A translation may repeat its arguments (Oracle's time literal holds
    // its value twice, REPEAT its text three times), so the text can grow by
    // that factor with every level of nesting. Past a depth that no command
    // is written with, the escape is refused instead of being expanded into
    // gigabytes.
    if (FEscapeDepth > MaxEscapeDepth)
        Error(332, {Kind, std::string("escapes nested more than ") + std::to_string(MaxEscapeDepth) + " deep"});
    SkipSpaces();
    TZqPhysEscapeData E;
    auto ReadArgs = [&](bool ADropEmptyLast) {
        if (NextChar() != '(') Error(321, {std::string("(")});
        ++FParenLevel;
        for (;;) {
            FSourceCopied = FSourcePos; // the escape's own syntax is not copied
            E.FArgs.push_back(rtl::Trim(ParseText()));
            const char C = NextChar();
            if (C == ',') continue;
            if (C == ')') break;
            Error(321, {std::string(")")});
        }
        --FParenLevel;
        if (ADropEmptyLast && !E.FArgs.empty() && E.FArgs.back().empty()) E.FArgs.pop_back();
        SkipSpaces();
    };
    if (Kind == "TS") Kind = "DT"; // the ODBC timestamp escape is the date-time escape
    if (Kind == "E" || Kind == "D" || Kind == "T" || Kind == "DT" || Kind == "ID" || Kind == "L") {
        E.FKind = Kind == "E"    ? eskFloat
                  : Kind == "D"  ? eskDate
                  : Kind == "T"  ? eskTime
                  : Kind == "DT" ? eskDateTime
                  : Kind == "ID" ? eskIdentifier
                                 : eskBoolean;
        FSourceCopied = FSourcePos;
        E.FArgs.push_back(rtl::Trim(ParseText()));
    } else if (Kind == "IF" || Kind == "IIF") {
        E.FKind = eskIF;
        ReadArgs(true);
    } else if (Kind == "ESCAPE") {
        E.FKind = eskEscape;
        SkipSpaces();
        if (NextChar() != '\'') Error(321, {std::string("'")});
        const char Esc = NextChar();
        if (Esc == 0) Error(321, {std::string("'")});
        if (NextChar() != '\'') Error(321, {std::string("'")});
        SkipSpaces();
        E.FArgs.push_back(std::string(1, Esc));
        FSourceCopied = FSourcePos;
        E.FArgs.push_back(rtl::Trim(ParseText()));
    } else if (Kind == "FN") {
        E.FKind = eskFunction;
        E.FName = ReadName(Quoted);
        SkipSpaces();
        ReadArgs(true);
    } else {
        Error(324, {Kind});
    }
    if (NextChar() != '}') Error(321, {std::string("}")});
    const std::string Text = ConnMetadata->TranslateEscape(E);
    Write(Text);
    --FEscapeDepth;
}

void TZqPhysPreprocessor::AnalyzeCommand()
{
    const std::string &D = FDestination;
    const int Len = int(D.size());
    const char Q1 = FNameQuote1, Q2 = FNameQuote2;
    TStates S;
    int Level = 0;
    bool KindTaken = false;
    int LineFeeds = 0;
    auto Free = [&S]() {
        return !(S.InBlockComment || S.InLineComment || S.InString || S.InDoubleQuoted || S.InQuotedName);
    };
    for (int i = 0; i < Len; ++i) {
        const char C = D[size_t(i)];
        if (C == '\n') ++LineFeeds;
        if (Q1 && (C == Q1 || C == Q2) && !(S.InBlockComment || S.InLineComment || S.InString || S.InDoubleQuoted)) {
            S.InQuotedName = Q1 == Q2 ? !S.InQuotedName : C == Q1;
            continue;
        }
        if (C == '/' && Free() && i + 1 < Len && D[size_t(i + 1)] == '*') {
            S.InBlockComment = true;
            ++i;
            continue;
        }
        if (C == '*' && S.InBlockComment && i + 1 < Len && D[size_t(i + 1)] == '/') {
            S.InBlockComment = false;
            ++i;
            continue;
        }
        if (C == '-' && Free() && i + 1 < Len && D[size_t(i + 1)] == '-') {
            S.InLineComment = true;
            ++i;
            continue;
        }
        if (C == '\n' || C == '\r') {
            S.InLineComment = false;
            continue;
        }
        if (C == '\'' && !(S.InBlockComment || S.InLineComment || S.InQuotedName || S.InDoubleQuoted)) {
            S.InString = !S.InString;
            continue;
        }
        if (C == '"' && Q1 != '"' && !(S.InBlockComment || S.InLineComment || S.InQuotedName || S.InString)) {
            S.InDoubleQuoted = !S.InDoubleQuoted;
            continue;
        }
        if (!Free()) continue;
        if (C == '(') {
            ++Level;
            continue;
        }
        if (C == ')') {
            --Level;
            continue;
        }
        if (Level != 0 || !IsAsciiLetter(C) || (i > 0 && static_cast<unsigned char>(D[size_t(i - 1)]) > 32)) continue;
        AnalyzeWord(i, LineFeeds, KindTaken);
    }
}

void TZqPhysPreprocessor::AnalyzeBareText()
{
    const std::string &D = FDestination;
    const size_t Len = D.size();
    bool KindTaken = false;
    int LineFeeds = 0;
    for (size_t i = 0; i < Len; ++i) {
        const char C = D[i];
        if (C == '\n') ++LineFeeds;
        if (static_cast<unsigned char>(C) <= 32) continue;
        if (IsAsciiLetter(C)) AnalyzeWord(int(i), LineFeeds, KindTaken);
        // The rest of the word holds no word start.
        while (i + 1 < Len && static_cast<unsigned char>(D[i + 1]) > 32) ++i;
    }
}

void TZqPhysPreprocessor::AnalyzeWord(int AIndex, int ALineFeeds, bool &AKindTaken)
{
    const std::string &D = FDestination;
    const int i = AIndex;
    const int Len = int(D.size());
    const char Q1 = FNameQuote1, Q2 = FNameQuote2;
    auto Matches = [&](const char *AWord) {
        // Most words start with another letter: they are told apart by it.
        if ((D[size_t(i)] & ~0x20) != AWord[0]) return false;
        const int N = int(std::char_traits<char>::length(AWord));
        // Every word of every statement is tried: no copy of it is made.
        return i + N <= Len && rtl::SameText(std::string_view(D).substr(size_t(i), size_t(N)), AWord);
    };
    if (!AKindTaken) {
        int j = i;
        while (j < Len && IsAsciiLetter(D[size_t(j)])) ++j;
        FCommandKind = ConnMetadata->GetSQLCommandKind(rtl::UpperCase(D.substr(size_t(i), size_t(j - i))));
        AKindTaken = true;
    }
    if ((FCommandKind == skSelect || FCommandKind == skSelectForUpdate) && FFromObjectName.empty() &&
        Matches("FROM")) {
        int j = i + 4;
        while (j < Len && (D[size_t(j)] == 7 || D[size_t(j)] == 10 || D[size_t(j)] == 13 || D[size_t(j)] == 32))
            ++j;
        const int Start = j;
        if (j < Len && D[size_t(j)] == '(') {
            int Depth = 0;
            for (; j < Len; ++j) {
                if (D[size_t(j)] == '(') ++Depth;
                if (D[size_t(j)] == ')' && --Depth == 0) {
                    ++j;
                    break;
                }
            }
        } else {
            while (j < Len) {
                const char N = D[size_t(j)];
                if (Q1 && N == Q1) {
                    const size_t Close = D.find(Q2, size_t(j + 1));
                    j = Close == std::string::npos ? Len : int(Close) + 1;
                    continue;
                }
                if (static_cast<unsigned char>(N) <= 32 || N == ',') break;
                ++j;
            }
        }
        FFromObjectName = D.substr(size_t(Start), size_t(j - Start));
    }
    if (FOrderByPos == 0 && Matches("ORDER BY")) FOrderByPos = i + 1 + ALineFeeds;
    if (FValuesPos == 0 && Matches("VALUES")) FValuesPos = i + 1 + ALineFeeds;
}
