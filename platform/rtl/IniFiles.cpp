// IniFiles: the line-preserving settings file.
#include "platform/rtl/IniFiles.h"

#include "platform/rtl/TTextFileReader.h"

#include <algorithm>
#include <filesystem>
#include <set>

namespace rtl {

// The file as sections of raw lines. Lines before the first section are
// kept as they are; a key line is "name=value" outside comments (";" or "#").
class TIniDocument {
public:
    struct TSection {
        std::string Header; // the "[Name]" line as written
        std::string Name;
        std::vector<std::string> Lines;
    };
    std::vector<std::string> Preamble;
    std::vector<TSection> Sections;
    std::string LineBreak = "\n";
    // The lines of the file as read that are not UTF-8, with their numbers.
    std::vector<std::pair<int, std::string>> NotUtf8AsRead;
    // The file is rewritten in the encoding it came in, its byte-order mark
    // (Notepad writes one) first: never a mixture of two encodings.
    TTextEncoding Encoding = TTextEncoding::Utf8;

    static bool KeyOf(const std::string &Line, std::string &Key, std::string &Value)
    {
        std::string T = TrimLeft(Line);
        if (T.empty() || T[0] == ';' || T[0] == '#') return false;
        size_t P = T.find('=');
        if (P == std::string::npos) return false;
        Key = Trim(std::string_view(T).substr(0, P));
        Value = Trim(std::string_view(T).substr(P + 1));
        return !Key.empty();
    }

    void Load(std::string_view Text, TTextEncoding AEncoding = TTextEncoding::Utf8)
    {
        Encoding = AEncoding;
        Preamble.clear();
        Sections.clear();
        LineBreak = Text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
        NotUtf8AsRead.clear();
        TStringList L;
        L.SetText(Text);
        for (int I = 0; I < L.Count(); ++I) {
            const std::string &Line = L[I];
            if (!IsUtf8(Line)) NotUtf8AsRead.emplace_back(I + 1, Line);
            std::string T = Trim(Line);
            if (T.size() >= 2 && T[0] == '[' && T.find(']') != std::string::npos) {
                TSection S;
                S.Header = Line;
                S.Name = Trim(std::string_view(T).substr(1, T.find(']') - 1));
                Sections.push_back(std::move(S));
            } else if (Sections.empty()) {
                Preamble.push_back(Line);
            } else {
                Sections.back().Lines.push_back(Line);
            }
        }
    }

    std::string Save() const
    {
        std::string R;
        for (const std::string &L : Preamble) R += L + LineBreak;
        for (const TSection &S : Sections) {
            R += S.Header + LineBreak;
            for (const std::string &L : S.Lines) R += L + LineBreak;
        }
        return R;
    }

    TSection *Find(std::string_view Name)
    {
        for (TSection &S : Sections)
            if (AnsiSameText(S.Name, Name)) return &S;
        return nullptr;
    }

    // A file of a legacy 8-bit encoding is read and rewritten byte for byte,
    // and takes no value that is not ASCII while a line of that encoding
    // stays in it: the value would be UTF-8 among them. The number of the
    // first such line in the file as read (the operator mends that file),
    // the lines deleted since and the key's own (the one a write replaces)
    // left out; 0 when there is none.
    int LineNotUtf8Besides(std::string_view Section, std::string_view Ident)
    {
        const TSection *Own = Find(Section);
        const int OwnLine = Own ? FindKey(*Own, Ident) : -1;
        std::multiset<std::string> Left;
        int Now = 0, FirstNow = 0; // a line written since counts where it stands
        const auto Take = [&](const std::string &L, bool Counts = true) {
            ++Now;
            if (Counts && !IsUtf8(L)) {
                Left.insert(L);
                FirstNow = FirstNow ? FirstNow : Now;
            }
        };
        for (const std::string &L : Preamble) Take(L);
        for (const TSection &S : Sections) {
            Take(S.Header);
            for (size_t I = 0; I < S.Lines.size(); ++I) Take(S.Lines[I], !(&S == Own && int(I) == OwnLine));
        }
        for (const auto &[Line, Text] : NotUtf8AsRead)
            if (Left.count(Text)) return Line;
        return FirstNow;
    }

    // Index of the key's line in the section, -1 when absent.
    static int FindKey(const TSection &S, std::string_view Ident, std::string *Value = nullptr)
    {
        std::string K, V;
        for (size_t I = 0; I < S.Lines.size(); ++I)
            if (KeyOf(S.Lines[I], K, V) && AnsiSameText(K, Ident)) {
                if (Value) *Value = V;
                return int(I);
            }
        return -1;
    }

    void Write(std::string_view Section, std::string_view Ident, const std::string &Value)
    {
        TSection *S = Find(Section);
        if (!S) {
            // Keep a blank line between the last section and the new one.
            if (!Sections.empty() && !Sections.back().Lines.empty() && !Trim(Sections.back().Lines.back()).empty())
                Sections.back().Lines.push_back("");
            TSection N;
            N.Name = std::string(Section);
            N.Header = "[" + N.Name + "]";
            Sections.push_back(std::move(N));
            S = &Sections.back();
        }
        int I = FindKey(*S, Ident);
        if (I >= 0) {
            // Keep the key as the file spells it.
            std::string &Line = S->Lines[size_t(I)];
            size_t P = Line.find('=');
            Line = Line.substr(0, P + 1) + Value;
            return;
        }
        // New keys go after the section's last non-blank line.
        size_t At = S->Lines.size();
        while (At > 0 && Trim(S->Lines[At - 1]).empty()) --At;
        S->Lines.insert(S->Lines.begin() + long(At), std::string(Ident) + "=" + Value);
    }
};

namespace {

// The file's text as UTF-8 without its byte-order mark: a settings file
// saved by a Windows editor, in UTF-8 or UTF-16, reads as any other. A
// missing file reads as an empty one.
void LoadFile(TIniDocument &Doc, const std::string &Name)
{
    std::string Text;
    TTextEncoding Encoding = TTextEncoding::Utf8;
    ReadTextFile(Name, Text, &Encoding);
    Doc.Load(Text, Encoding);
}

long long FileStamp(const std::string &Name)
{
    std::error_code Ec;
    auto T = std::filesystem::last_write_time(Name, Ec);
    if (Ec) return -1;
    auto Size = std::filesystem::file_size(Name, Ec);
    if (Ec) return -1;
    return (long long)T.time_since_epoch().count() ^ ((long long)Size << 40);
}

} // namespace

TCustomIniFile::TCustomIniFile(std::string AFileName)
    : FFileName(std::move(AFileName)), FDoc(std::make_unique<TIniDocument>())
{
    LoadFile(*FDoc, FFileName);
}

TCustomIniFile::~TCustomIniFile() = default;

std::string TCustomIniFile::ReadString(std::string_view Section, std::string_view Ident, const std::string &Default)
{
    BeforeRead();
    TIniDocument::TSection *S = FDoc->Find(Section);
    std::string V;
    if (S && TIniDocument::FindKey(*S, Ident, &V) >= 0) return V;
    return Default;
}

std::string TCustomIniFile::WriteRefusal(std::string_view Section, std::string_view Ident, const std::string &Value)
{
    BeforeRead();
    if (std::all_of(Value.begin(), Value.end(), [](char C) { return (unsigned char)C < 0x80; }))
        return std::string();
    const int Line = FDoc->LineNotUtf8Besides(Section, Ident);
    return Line ? "Cannot write file \"" + FFileName + "\": line " + std::to_string(Line) + " is not UTF-8"
                : std::string();
}

void TCustomIniFile::WriteString(std::string_view Section, std::string_view Ident, const std::string &Value)
{
    if (const std::string Refusal = WriteRefusal(Section, Ident, Value); !Refusal.empty())
        throw EFCreateError(Refusal);
    FDoc->Write(Section, Ident, Value);
    AfterWrite();
}

int TCustomIniFile::ReadInteger(std::string_view Section, std::string_view Ident, int Default)
{
    std::string S = ReadString(Section, Ident, "");
    return StrToIntDef(S, Default);
}

void TCustomIniFile::WriteInteger(std::string_view Section, std::string_view Ident, int Value)
{
    WriteString(Section, Ident, IntToStr(Value));
}

bool TCustomIniFile::ReadBool(std::string_view Section, std::string_view Ident, bool Default)
{
    return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(std::string_view Section, std::string_view Ident, bool Value)
{
    WriteString(Section, Ident, Value ? "1" : "0");
}

double TCustomIniFile::ReadFloat(std::string_view Section, std::string_view Ident, double Default)
{
    return StrToFloatDef(ReadString(Section, Ident, ""), Default);
}

void TCustomIniFile::WriteFloat(std::string_view Section, std::string_view Ident, double Value)
{
    WriteString(Section, Ident, FloatToStr(Value));
}

TDateTime TCustomIniFile::ReadDateTime(std::string_view Section, std::string_view Ident, TDateTime Default)
{
    std::string S = ReadString(Section, Ident, "");
    TDateTime D;
    return TryStrToDateTime(S, D) ? D : Default;
}

void TCustomIniFile::WriteDateTime(std::string_view Section, std::string_view Ident, TDateTime Value)
{
    WriteString(Section, Ident, DateTimeToStr(Value));
}

bool TCustomIniFile::SectionExists(std::string_view Section)
{
    BeforeRead();
    return FDoc->Find(Section) != nullptr;
}

bool TCustomIniFile::ValueExists(std::string_view Section, std::string_view Ident)
{
    BeforeRead();
    TIniDocument::TSection *S = FDoc->Find(Section);
    return S && TIniDocument::FindKey(*S, Ident) >= 0;
}

int TCustomIniFile::KeyLine(std::string_view Section, std::string_view Ident)
{
    BeforeRead();
    int Line = int(FDoc->Preamble.size()) + 1; // the first section's header
    for (const TIniDocument::TSection &S : FDoc->Sections) {
        if (AnsiSameText(S.Name, Section)) {
            const int I = TIniDocument::FindKey(S, Ident);
            return I >= 0 ? Line + 1 + I : 0;
        }
        Line += 1 + int(S.Lines.size());
    }
    return 0;
}

void TCustomIniFile::ListSection(std::string_view Section, TStrings &Strings, bool WithValues)
{
    BeforeRead();
    Strings.BeginUpdate();
    Strings.Clear();
    if (TIniDocument::TSection *S = FDoc->Find(Section)) {
        std::string K, V;
        for (const std::string &L : S->Lines)
            if (TIniDocument::KeyOf(L, K, V)) Strings.Add(WithValues ? K + "=" + V : K);
    }
    Strings.EndUpdate();
}

void TCustomIniFile::ReadSection(std::string_view Section, TStrings &Strings) { ListSection(Section, Strings, false); }

void TCustomIniFile::ReadSections(TStrings &Strings)
{
    BeforeRead();
    Strings.BeginUpdate();
    Strings.Clear();
    for (const TIniDocument::TSection &S : FDoc->Sections) Strings.Add(S.Name);
    Strings.EndUpdate();
}

void TCustomIniFile::ReadSectionValues(std::string_view Section, TStrings &Strings)
{
    ListSection(Section, Strings, true);
}

void TCustomIniFile::EraseSection(std::string_view Section)
{
    BeforeRead();
    auto &Secs = FDoc->Sections;
    for (size_t I = 0; I < Secs.size();)
        if (AnsiSameText(Secs[I].Name, Section)) Secs.erase(Secs.begin() + long(I));
        else ++I;
    AfterWrite();
}

void TCustomIniFile::DeleteKey(std::string_view Section, std::string_view Ident)
{
    BeforeRead();
    if (TIniDocument::TSection *S = FDoc->Find(Section)) {
        int I = TIniDocument::FindKey(*S, Ident);
        if (I >= 0) S->Lines.erase(S->Lines.begin() + I);
    }
    AfterWrite();
}

std::string TCustomIniFile::UpdateFile()
{
    std::string Bytes;
    try {
        Bytes = EncodeText(FDoc->Save(), FDoc->Encoding);
    } catch (const EInOutError &E) {
        // The text knows its line, not its file: the operator mends a file.
        throw EInOutError(E.ErrorCode, FFileName + ", " + E.what());
    }
    return ReplaceFile(FFileName, Bytes);
}

// ---- TMemIniFile ----------------------------------------------------------------

TMemIniFile::TMemIniFile(std::string AFileName) : TCustomIniFile(std::move(AFileName)) {}

void TMemIniFile::GetStrings(TStrings &List)
{
    List.SetText(FDoc->Save());
}

void TMemIniFile::SetStrings(const TStrings &List)
{
    FDoc->Load(List.Text(), FDoc->Encoding);
}

void TMemIniFile::Clear() { FDoc->Load(""); }

void TMemIniFile::Rename(const std::string &AFileName, bool Reload)
{
    FFileName = AFileName;
    if (Reload)
        LoadFile(*FDoc, FFileName);
}

// ---- TIniFile ---------------------------------------------------------------------

TIniFile::TIniFile(std::string AFileName) : TCustomIniFile(std::move(AFileName)) { FStamp = FileStamp(FFileName); }

void TIniFile::BeforeRead()
{
    long long Now = FileStamp(FFileName);
    if (Now != FStamp) {
        LoadFile(*FDoc, FFileName);
        FStamp = Now;
    }
}

void TIniFile::AfterWrite()
{
    UpdateFile();
    FStamp = FileStamp(FFileName);
}

std::string TIniFile::ReadString(std::string_view Section, std::string_view Ident, const std::string &Default)
{
    std::string V = TCustomIniFile::ReadString(Section, Ident, Default);
    if (V.size() >= 2 && (V.front() == '"' || V.front() == '\'') && V.back() == V.front())
        V = V.substr(1, V.size() - 2);
    return V;
}

} // namespace rtl
