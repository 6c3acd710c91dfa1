// Classes: lists, string lists, collections and components.
#include "platform/rtl/Classes.h"

#include "platform/rtl/TTextFileReader.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <typeinfo>
#include <unistd.h>

namespace rtl {

namespace {

// "rtl::TStringList" -> "TStringList"; template arguments are kept.
std::string BareName(const std::type_info &T)
{
    int Status = 0;
    char *D = abi::__cxa_demangle(T.name(), nullptr, nullptr, &Status);
    std::string N = (Status == 0 && D) ? D : T.name();
    std::free(D);
    size_t Angle = N.find('<');
    size_t Colon = N.rfind("::", Angle == std::string::npos ? std::string::npos : Angle);
    return Colon == std::string::npos ? N : N.substr(Colon + 2);
}

bool TypeInherits(const std::type_info &T, std::string_view AName, int Depth)
{
    if (Depth > 64) return false;
    if (SameText(BareName(T), AName)) return true;
    if (auto *Si = dynamic_cast<const abi::__si_class_type_info *>(&T)) return TypeInherits(*Si->__base_type, AName, Depth + 1);
    if (auto *Vmi = dynamic_cast<const abi::__vmi_class_type_info *>(&T))
        for (unsigned I = 0; I < Vmi->__base_count; ++I)
            if (TypeInherits(*Vmi->__base_info[I].__base_type, AName, Depth + 1)) return true;
    return false;
}

} // namespace

std::string TObject::ClassName() const { return BareName(typeid(*this)); }

bool TObject::InheritsFromName(std::string_view AName) const
{
    return SameText(AName, ClassName()) || TypeInherits(typeid(*this), AName, 0);
}

void TPersistent::Assign(const TPersistent &Source)
{
    throw EConvertError("Cannot assign a " + Source.ClassName() + " to a " + ClassName());
}

// ---- TList ----------------------------------------------------------------

void TList::Check(int Index) const
{
    if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

void *TList::Get(int Index) const { Check(Index); return FItems[size_t(Index)]; }
void TList::Put(int Index, void *Item) { Check(Index); FItems[size_t(Index)] = Item; }
int TList::Add(void *Item) { FItems.push_back(Item); return Count() - 1; }

void TList::Insert(int Index, void *Item)
{
    if (Index < 0 || Index > Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    FItems.insert(FItems.begin() + Index, Item);
}

void TList::Delete(int Index) { Check(Index); FItems.erase(FItems.begin() + Index); }

int TList::Remove(void *Item)
{
    int I = IndexOf(Item);
    if (I >= 0) Delete(I);
    return I;
}

int TList::IndexOf(const void *Item) const
{
    auto It = std::find(FItems.begin(), FItems.end(), Item);
    return It == FItems.end() ? -1 : int(It - FItems.begin());
}

void *TList::Extract(void *Item)
{
    int I = IndexOf(Item);
    if (I < 0) return nullptr;
    Delete(I);
    return Item;
}

void TList::Exchange(int Index1, int Index2)
{
    Check(Index1);
    Check(Index2);
    std::swap(FItems[size_t(Index1)], FItems[size_t(Index2)]);
}

void TList::Move(int CurIndex, int NewIndex)
{
    if (CurIndex == NewIndex) return;
    Check(CurIndex);
    Check(NewIndex);
    void *P = FItems[size_t(CurIndex)];
    FItems.erase(FItems.begin() + CurIndex);
    FItems.insert(FItems.begin() + NewIndex, P);
}

void TList::Pack() { FItems.erase(std::remove(FItems.begin(), FItems.end(), nullptr), FItems.end()); }

void TList::Sort(const std::function<int(void *, void *)> &Compare)
{
    std::stable_sort(FItems.begin(), FItems.end(), [&](void *A, void *B) { return Compare(A, B) < 0; });
}

void TThreadList::Add(void *Item)
{
    std::lock_guard<std::mutex> G(FLock);
    FList.Add(Item);
}

void TThreadList::Remove(void *Item)
{
    std::lock_guard<std::mutex> G(FLock);
    FList.Remove(Item);
}

void TThreadList::Clear()
{
    std::lock_guard<std::mutex> G(FLock);
    FList.Clear();
}

// ---- TStrings -----------------------------------------------------------------

TStrings::TStrings(const TStrings &Other)
    : TPersistent(Other), FItems(Other.FItems), FCaseSensitive(Other.FCaseSensitive),
      FNameValueSeparator(Other.FNameValueSeparator), FDelimiter(Other.FDelimiter), FQuoteChar(Other.FQuoteChar),
      FStrictDelimiter(Other.FStrictDelimiter), FLineBreak(Other.FLineBreak)
{
}

TStrings &TStrings::operator=(const TStrings &Other)
{
    if (this != &Other) Assign(Other);
    return *this;
}

void TStrings::CheckIndex(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
}

const std::string &TStrings::Strings(int Index) const
{
    CheckIndex(Index);
    return FItems[size_t(Index)].S;
}

void TStrings::Put(int Index, const std::string &S)
{
    CheckIndex(Index);
    Changing();
    FItems[size_t(Index)].S = S;
    Changed();
}

TObject *TStrings::Objects(int Index) const
{
    CheckIndex(Index);
    return FItems[size_t(Index)].Obj;
}

void TStrings::PutObject(int Index, TObject *AObject)
{
    CheckIndex(Index);
    Changing();
    FItems[size_t(Index)].Obj = AObject;
    Changed();
}

void TStrings::InsertItem(int Index, const std::string &S, TObject *AObject)
{
    if (Index < 0 || Index > Count())
        throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
    Changing();
    FItems.insert(FItems.begin() + Index, TItem{S, AObject});
    Changed();
}

int TStrings::Add(const std::string &S)
{
    int I = Count();
    Insert(I, S);
    return I;
}

int TStrings::AddObject(const std::string &S, TObject *AObject)
{
    int Before = Count();
    int I = Add(S);
    // A sorted list that ignored a duplicate keeps the existing line's object.
    if (Count() > Before && I >= 0 && I < Count()) FItems[size_t(I)].Obj = AObject;
    return I;
}

void TStrings::Insert(int Index, const std::string &S) { InsertItem(Index, S, nullptr); }

void TStrings::InsertObject(int Index, const std::string &S, TObject *AObject)
{
    Insert(Index, S);
    FItems[size_t(Index)].Obj = AObject;
}

void TStrings::Delete(int Index)
{
    CheckIndex(Index);
    Changing();
    FItems.erase(FItems.begin() + Index);
    Changed();
}

void TStrings::Clear()
{
    if (FItems.empty()) return;
    Changing();
    FItems.clear();
    Changed();
}

int TStrings::CompareStrings(std::string_view S1, std::string_view S2) const
{
    return FCaseSensitive ? AnsiCompareStr(S1, S2) : AnsiCompareText(S1, S2);
}

int TStrings::IndexOf(std::string_view S) const
{
    for (int I = 0; I < Count(); ++I)
        if (CompareStrings(FItems[size_t(I)].S, S) == 0) return I;
    return -1;
}

int TStrings::IndexOfName(std::string_view Name) const
{
    for (int I = 0; I < Count(); ++I) {
        const std::string &S = FItems[size_t(I)].S;
        size_t P = S.find(FNameValueSeparator);
        if (P != std::string::npos && CompareStrings(std::string_view(S).substr(0, P), Name) == 0) return I;
    }
    return -1;
}

int TStrings::IndexOfObject(const TObject *AObject) const
{
    for (int I = 0; I < Count(); ++I)
        if (FItems[size_t(I)].Obj == AObject) return I;
    return -1;
}

void TStrings::Exchange(int Index1, int Index2)
{
    CheckIndex(Index1);
    CheckIndex(Index2);
    Changing();
    std::swap(FItems[size_t(Index1)], FItems[size_t(Index2)]);
    Changed();
}

void TStrings::Move(int CurIndex, int NewIndex)
{
    if (CurIndex == NewIndex) return;
    CheckIndex(CurIndex);
    CheckIndex(NewIndex);
    // Moved in place: going through Delete would free an owned object.
    Changing();
    TItem It = std::move(FItems[size_t(CurIndex)]);
    FItems.erase(FItems.begin() + CurIndex);
    FItems.insert(FItems.begin() + NewIndex, std::move(It));
    Changed();
}

void TStrings::AddStrings(const TStrings &Strings)
{
    BeginUpdate();
    for (int I = 0; I < Strings.Count(); ++I) AddObject(Strings.FItems[size_t(I)].S, Strings.FItems[size_t(I)].Obj);
    EndUpdate();
}

void TStrings::Assign(const TPersistent &Source)
{
    auto *Src = dynamic_cast<const TStrings *>(&Source);
    if (!Src) {
        TPersistent::Assign(Source);
        return;
    }
    if (Src == this) return;
    BeginUpdate();
    Clear();
    FNameValueSeparator = Src->FNameValueSeparator;
    FDelimiter = Src->FDelimiter;
    FQuoteChar = Src->FQuoteChar;
    FStrictDelimiter = Src->FStrictDelimiter;
    AddStrings(*Src);
    EndUpdate();
}

bool TStrings::Equals(const TStrings &Strings) const
{
    if (Count() != Strings.Count()) return false;
    for (int I = 0; I < Count(); ++I)
        if (FItems[size_t(I)].S != Strings.FItems[size_t(I)].S) return false;
    return true;
}

std::string TStrings::Names(int Index) const
{
    const std::string &S = Strings(Index);
    size_t P = S.find(FNameValueSeparator);
    return P == std::string::npos ? std::string() : S.substr(0, P);
}

std::string TStrings::ValueFromIndex(int Index) const
{
    if (Index < 0) return {};
    const std::string &S = Strings(Index);
    size_t P = S.find(FNameValueSeparator);
    return P == std::string::npos ? std::string() : S.substr(P + 1);
}

void TStrings::SetValueFromIndex(int Index, const std::string &Value)
{
    if (Value.empty()) {
        if (Index >= 0) Delete(Index);
        return;
    }
    if (Index < 0) {
        Add(std::string(1, FNameValueSeparator) + Value);
        return;
    }
    Put(Index, Names(Index) + FNameValueSeparator + Value);
}

std::string TStrings::Values(std::string_view Name) const
{
    int I = IndexOfName(Name);
    return I >= 0 ? ValueFromIndex(I) : std::string();
}

void TStrings::SetValue(std::string_view Name, const std::string &Value)
{
    int I = IndexOfName(Name);
    if (Value.empty()) {
        if (I >= 0) Delete(I);
        return;
    }
    std::string Line = std::string(Name) + FNameValueSeparator + Value;
    if (I < 0) Add(Line);
    else Put(I, Line);
}

std::string TStrings::Text() const
{
    size_t Size = 0;
    for (const TItem &It : FItems)
        Size += It.S.size() + FLineBreak.size();
    std::string R;
    R.reserve(Size);
    for (const TItem &It : FItems) {
        R += It.S;
        R += FLineBreak;
    }
    return R;
}

void TStrings::SetText(std::string_view S)
{
    BeginUpdate();
    Clear();
    size_t I = 0;
    while (I < S.size()) {
        size_t E = I;
        while (E < S.size() && S[E] != '\r' && S[E] != '\n') ++E;
        Add(std::string(S.substr(I, E - I)));
        if (E < S.size() && S[E] == '\r') ++E;
        if (E < S.size() && S[E] == '\n') ++E;
        I = E;
    }
    EndUpdate();
}

std::string TStrings::DelimitedWith(char Delim, char Quote, bool QuoteBlanks) const
{
    if (Count() == 1 && FItems[0].S.empty()) return std::string(2, Quote);
    std::string R;
    for (int I = 0; I < Count(); ++I) {
        const std::string &S = FItems[size_t(I)].S;
        bool NeedQuote = false;
        for (char C : S)
            if (C == Quote || C == Delim || (QuoteBlanks && (unsigned char)C <= ' ')) {
                NeedQuote = true;
                break;
            }
        if (I > 0) R += Delim;
        R += NeedQuote ? QuotedStr(S, Quote) : S;
    }
    return R;
}

void TStrings::SetDelimitedWith(std::string_view S, char Delim, char Quote, bool Strict)
{
    BeginUpdate();
    Clear();
    size_t P = 0;
    auto IsBlank = [&](char C) { return C != '\0' && (unsigned char)C <= ' ' && C != Delim; };
    auto SkipBlanks = [&]() {
        if (!Strict)
            while (P < S.size() && IsBlank(S[P])) ++P;
    };
    SkipBlanks();
    while (P < S.size()) {
        std::string Item;
        if (S[P] == Quote) {
            ++P;
            while (P < S.size()) {
                if (S[P] == Quote) {
                    if (P + 1 < S.size() && S[P + 1] == Quote) {
                        Item += Quote;
                        P += 2;
                        continue;
                    }
                    ++P;
                    break;
                }
                Item += S[P++];
            }
        } else {
            size_t B = P;
            while (P < S.size() && S[P] != Delim && (Strict || (unsigned char)S[P] > ' ')) ++P;
            Item = std::string(S.substr(B, P - B));
        }
        Add(Item);
        SkipBlanks();
        if (P < S.size() && S[P] == Delim) {
            if (P + 1 == S.size()) Add("");
            ++P;
            SkipBlanks();
        }
    }
    EndUpdate();
}

std::string TStrings::CommaText() const { return DelimitedWith(',', '"', true); }
void TStrings::SetCommaText(std::string_view S) { SetDelimitedWith(S, ',', '"', false); }

std::string TStrings::DelimitedText() const
{
    return DelimitedWith(FDelimiter, FQuoteChar, !FStrictDelimiter);
}

void TStrings::SetDelimitedText(std::string_view S) { SetDelimitedWith(S, FDelimiter, FQuoteChar, FStrictDelimiter); }

void TStrings::BeginUpdate()
{
    if (FUpdateCount++ == 0) Changing();
}

void TStrings::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

void TStrings::Changed()
{
    if (FUpdateCount == 0 && OnChange) OnChange(this);
}

void TStrings::Changing()
{
    if (FUpdateCount == 0 && OnChanging) OnChanging(this);
}

void TStrings::LoadFromFile(const std::string &FileName)
{
    // Without the byte-order mark a Windows editor may have put first: it
    // would otherwise lead the first line's text.
    std::string Text;
    if (!ReadTextFile(FileName, Text)) throw EFOpenError("Cannot open file \"" + FileName + "\"");
    // Lines are taken as text (names, captions): bytes of another encoding
    // are refused, not shown as replacement marks.
    RequireUtf8(FileName, Text);
    SetText(Text);
}

std::string TStrings::SaveToFile(const std::string &FileName) const { return ReplaceFile(FileName, Text()); }

namespace {

const char ReplacementMark[] = ".~";
// The sidecar of a replacement whose file system refuses the rename: the
// new bytes, then a seal that says they are all there.
const char SidecarMark[] = ".~new";
const char SealMark[] = "\n#~sealed ";

void Step()
{
    if (ReplaceFileStepHook) ReplaceFileStepHook();
}

uint64_t Fnv1a(std::string_view Bytes)
{
    uint64_t H = 0xcbf29ce484222325ULL;
    for (unsigned char C : Bytes) H = (H ^ C) * 0x100000001b3ULL;
    return H;
}

// "\n#~sealed <length> <hash>\n": the length and FNV-1a hash of the bytes
// before it, in hexadecimal.
std::string Seal(std::string_view Bytes)
{
    char Text[64];
    std::snprintf(Text, sizeof Text, "%zx %016llx\n", Bytes.size(), (unsigned long long)Fnv1a(Bytes));
    return SealMark + std::string(Text);
}

// The bytes a sidecar holds when its seal is whole and matches them; a
// sidecar cut short by a kill or a power cut holds none.
bool Unseal(std::string &AFile)
{
    const size_t At = AFile.rfind(SealMark);
    if (At == std::string::npos) return false;
    const std::string_view Bytes(AFile.data(), At);
    if (AFile.compare(At, std::string::npos, Seal(Bytes)) != 0) return false;
    AFile.resize(At);
    return true;
}

bool ReadWholeFile(const std::string &APath, std::string &ABytes)
{
    std::ifstream In(APath, std::ios::binary);
    if (!In) return false;
    std::stringstream S;
    S << In.rdbuf();
    ABytes = S.str();
    return !In.bad();
}

// The sealed bytes of the sidecar of ATarget, while they are what the file
// holds: a replacement through the sidecar ended before it had written them
// over the file. The file written later than that (edited by hand, or
// replaced whole since) holds its own, and one removed since none: the
// sidecar is stale. Each write over the file from the sidecar stamps the
// sidecar first (StampSidecar), so that a write cut short is never later
// than its sidecar by more than the write's own time, where an edit comes
// seconds or days after it.
bool PendingSidecar(const std::filesystem::path &ATarget, std::string &ABytes)
{
    const std::string Sidecar = ATarget.string() + SidecarMark;
    if (!ReadWholeFile(Sidecar, ABytes) || !Unseal(ABytes)) return false;
    // A replacement goes through the sidecar only over a file: one removed
    // since holds nothing of it.
    struct stat File, Side;
    if (::stat(ATarget.c_str(), &File) != 0) return false;
    if (::stat(Sidecar.c_str(), &Side) != 0) return true;
    // The slack takes file systems that keep times to 2 s.
    const auto Ns = [](const timespec &T) { return int64_t(T.tv_sec) * 1000000000 + T.tv_nsec; };
    return Ns(File.st_mtim) - Ns(Side.st_mtim) <= int64_t(5) * 1000000000;
}

void StampSidecar(const std::string &ASidecar) { ::utimensat(AT_FDCWD, ASidecar.c_str(), nullptr, 0); }

// The whole of Bytes at the start of the open file, and nothing after them.
// One write covers what the file held before (ASpare, the line ends of
// Bytes' encoding, fills up to the old size): a kill before the cut leaves
// the new text followed by blank lines, never by the old text's tail.
bool WriteAll(int Fd, std::string_view Bytes)
{
    struct stat Old;
    std::string Padded(Bytes);
    if (::fstat(Fd, &Old) == 0 && off_t(Padded.size()) < Old.st_size) {
        const std::string_view Spare = Bytes.substr(0, 2) == "\xFF\xFE" ? std::string_view("\n\0", 2)
                                       : Bytes.substr(0, 2) == "\xFE\xFF" ? std::string_view("\0\n", 2)
                                                                           : std::string_view("\n");
        while (off_t(Padded.size()) < Old.st_size) Padded += Spare;
    }
    for (size_t At = 0; At < Padded.size();) {
        const ssize_t N = ::pwrite(Fd, Padded.data() + At, Padded.size() - At, off_t(At));
        Step();
        if (N <= 0) return false;
        At += size_t(N);
    }
    const bool Cut = ::ftruncate(Fd, off_t(Bytes.size())) == 0;
    Step();
    return Cut && ::fsync(Fd) == 0;
}

// The file written over in place, whole.
bool WriteInPlace(const std::string &APath, std::string_view Bytes)
{
    const int Fd = ::open(APath.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (Fd < 0) return false;
    const bool Written = WriteAll(Fd, Bytes);
    return ::close(Fd) == 0 && Written;
}

void SyncFolder(const std::filesystem::path &AFile)
{
    const std::string Folder = AFile.has_parent_path() ? AFile.parent_path().string() : ".";
    const int Dir = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Dir >= 0) {
        ::fsync(Dir); // the names in it
        ::close(Dir);
    }
    Step();
}

// A link stays a link: the file it names is the one replaced and read.
std::filesystem::path ReplacedPath(const std::string &FileName)
{
    std::error_code Ec;
    std::filesystem::path Target = std::filesystem::weakly_canonical(FileName, Ec);
    return Ec ? std::filesystem::path(FileName) : Target;
}

// The new file, made by this call alone: O_EXCL and O_NOFOLLOW refuse a
// file or link someone else put under its name. A file of that name is a
// stray of an ended program whose process id this one now has (a running
// program's own id is its own), removed once.
int CreateReplacement(const std::string &Temp, mode_t Mode)
{
    const auto Create = [&] { return ::open(Temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, Mode); };
    int Fd = Create();
    if (Fd < 0 && errno == EEXIST && ::unlink(Temp.c_str()) == 0) Fd = Create();
    return Fd;
}

} // namespace

int RefusedRenameErrno = 0;
void (*ReplaceFileStepHook)() = nullptr;

bool ReadReplacedFile(const std::string &FileName, std::string &Bytes)
{
    const std::filesystem::path Target = ReplacedPath(FileName);
    std::string Sidecar;
    if (PendingSidecar(Target, Sidecar)) {
        Bytes = std::move(Sidecar);
        return true;
    }
    return ReadWholeFile(FileName, Bytes);
}

std::string ReplaceFile(const std::string &FileName, std::string_view Bytes)
{
    const auto Refuse = [&](const std::string &What) {
        throw EFCreateError(What + " file \"" + FileName + "\"");
    };
    const std::filesystem::path Target = ReplacedPath(FileName);
    // A folder, or a file its owner made read-only, stays as it is, as it
    // would under a write in place.
    struct stat Old;
    const bool Exists = ::stat(Target.c_str(), &Old) == 0;
    if (Exists && (!S_ISREG(Old.st_mode) || ::access(Target.c_str(), W_OK) != 0)) Refuse("Cannot create");
    // A sealed sidecar is what the file holds (a replacement through it
    // ended before the file was written): it is the file's first, and goes.
    // A stale one (the file written since) only goes.
    const std::string Sidecar = Target.string() + SidecarMark;
    if (std::string Pending; Exists && PendingSidecar(Target, Pending)) {
        StampSidecar(Sidecar);
        if (!WriteInPlace(Target.string(), Pending)) Refuse("Cannot write");
        if (::unlink(Sidecar.c_str()) != 0) Refuse("Cannot write");
        SyncFolder(Target);
    } else if (Exists && ::unlink(Sidecar.c_str()) == 0) {
        SyncFolder(Target);
    }
    const std::string Temp = Target.string() + ReplacementMark + std::to_string(::getpid());
    // Nobody but this process opens the new file before it has the old
    // one's owner and rights.
    const int Fd = CreateReplacement(Temp, Exists ? 0600 : 0666);
    if (Fd < 0) {
        // No new file stands in for the old one: it is written over in one
        // write, and said.
        if (!Exists || (errno != EACCES && errno != EPERM && errno != EROFS)) Refuse("Cannot create");
        if (!WriteInPlace(Target.string(), Bytes)) Refuse("Cannot write");
        return "File \"" + FileName + "\" was written in place: its folder takes no new file";
    }
    struct stat New;
    // The owner first: a change of owner clears the set-id bits of the rights.
    const bool Owned = !Exists || (::fstat(Fd, &New) == 0 && ((New.st_uid == Old.st_uid && New.st_gid == Old.st_gid) ||
                                                              ::fchown(Fd, Old.st_uid, Old.st_gid) == 0));
    bool Written = Owned && (!Exists || ::fchmod(Fd, Old.st_mode & 07777) == 0) && WriteAll(Fd, Bytes);
    // On the disk before it takes the name (WriteAll syncs): a power cut
    // after the rename must not find the name on an empty file.
    Written = ::close(Fd) == 0 && Written;
    if (Owned && !Written) {
        ::unlink(Temp.c_str());
        Refuse("Cannot write");
    }
    bool Renamed = false;
    if (Owned) {
        Renamed = RefusedRenameErrno == 0 ? ::rename(Temp.c_str(), Target.c_str()) == 0
                                          : (errno = RefusedRenameErrno, false);
        Step();
    }
    if (!Renamed) {
        ::unlink(Temp.c_str());
        if (!Exists) Refuse("Cannot write");
        // A file of another user (whose owner a new file cannot keep), or a
        // file system that refuses a rename over a file (some shares; EPERM,
        // EACCES, EEXIST, EBUSY, ENOTSUP) while the file can be written: the
        // bytes go to the sidecar first, sealed and on the disk, and then
        // over the file. A reader finds the sealed sidecar first, so that a
        // kill or a power cut at any moment leaves it the old bytes or the
        // new ones, whole.
        const int Side = CreateReplacement(Sidecar, Old.st_mode & 0666);
        const bool Sealed = Side >= 0 && WriteAll(Side, std::string(Bytes) + Seal(Bytes));
        if (Side < 0 || ::close(Side) != 0 || !Sealed) {
            ::unlink(Sidecar.c_str());
            Refuse("Cannot write");
        }
        SyncFolder(Target);
        // The sealed sidecar holds the new bytes for every reader now; the
        // next replacement writes them over the file first.
        StampSidecar(Sidecar);
        if (!WriteInPlace(Target.string(), Bytes))
            return "File \"" + FileName + "\" could not be written: its new text is kept in \"" + Sidecar + "\"";
        ::unlink(Sidecar.c_str());
        SyncFolder(Target);
        return std::string();
    }
    // A sidecar left by a replacement killed before its seal holds nothing
    // any reader takes; one sealed since is older than this file.
    ::unlink(Sidecar.c_str());
    SyncFolder(Target);
    return std::string();
}

void RemoveStrayReplacements(const std::string &AFolder)
{
    std::error_code Ec;
    for (const auto &Entry : std::filesystem::directory_iterator(AFolder, Ec)) {
        const std::string Name = Entry.path().filename().string();
        const size_t Mark = Name.rfind(ReplacementMark);
        if (Mark == std::string::npos || Mark == 0 || Mark + 2 == Name.size() ||
            Name.find_first_not_of("0123456789", Mark + 2) != std::string::npos || !Entry.is_regular_file(Ec))
            continue;
        int64_t Pid = 0;
        // No such process: its program has ended. One of another user
        // (EPERM) still runs.
        if (TryStrToInt64(std::string_view(Name).substr(Mark + 2), Pid) && Pid > 0 && Pid != ::getpid() &&
            Pid <= INT32_MAX && ::kill(pid_t(Pid), 0) != 0 && errno == ESRCH)
            std::filesystem::remove(Entry.path(), Ec);
    }
}

// ---- TStringList --------------------------------------------------------------

TStringList::TStringList(const TStringList &Other)
    : TStrings(Other), FSorted(Other.FSorted), FDuplicates(Other.FDuplicates)
{
    // A copy never owns the objects of the original.
}

TStringList &TStringList::operator=(const TStringList &Other)
{
    if (this != &Other) {
        Clear();
        FSorted = false;
        Assign(Other);
        FDuplicates = Other.FDuplicates;
        SetSorted(Other.FSorted);
    }
    return *this;
}

TStringList::~TStringList()
{
    OnChange = nullptr;
    OnChanging = nullptr;
    if (FOwnsObjects)
        for (TItem &It : FItems) delete It.Obj;
}

bool TStringList::Find(std::string_view S, int &Index) const
{
    int L = 0, H = Count() - 1;
    bool Found = false;
    while (L <= H) {
        int M = (L + H) / 2;
        int C = CompareStrings(FItems[size_t(M)].S, S);
        if (C < 0) {
            L = M + 1;
        } else {
            H = M - 1;
            if (C == 0) {
                Found = true;
                if (FDuplicates != dupAccept) L = M;
            }
        }
    }
    Index = L;
    return Found;
}

int TStringList::Add(const std::string &S)
{
    if (!FSorted) return TStrings::Add(S);
    int I;
    if (Find(S, I)) {
        if (FDuplicates == dupIgnore) return I;
        if (FDuplicates == dupError) throw EStringListError("String list does not allow duplicates");
    }
    InsertItem(I, S, nullptr);
    return I;
}

void TStringList::Put(int Index, const std::string &S)
{
    if (FSorted) throw EStringListError("Operation not allowed on sorted list");
    TStrings::Put(Index, S);
}

void TStringList::Insert(int Index, const std::string &S)
{
    if (FSorted) throw EStringListError("Operation not allowed on sorted list");
    TStrings::Insert(Index, S);
}

void TStringList::Delete(int Index)
{
    CheckIndex(Index);
    TObject *Obj = FItems[size_t(Index)].Obj;
    TStrings::Delete(Index);
    if (FOwnsObjects) delete Obj;
}

void TStringList::Clear()
{
    if (FItems.empty()) return;
    std::vector<TItem> Old;
    Changing();
    Old.swap(FItems);
    Changed();
    if (FOwnsObjects)
        for (TItem &It : Old) delete It.Obj;
}

int TStringList::IndexOf(std::string_view S) const
{
    if (!FSorted) return TStrings::IndexOf(S);
    int I;
    return Find(S, I) ? I : -1;
}

void TStringList::Sort()
{
    CustomSort([](TStringList &L, int A, int B) { return L.CompareStrings(L.FItems[size_t(A)].S, L.FItems[size_t(B)].S); });
}

void TStringList::CustomSort(const std::function<int(TStringList &, int, int)> &Compare)
{
    if (Count() < 2) return;
    Changing();
    // Sort an index permutation so that the comparison sees the list's own
    // indexes, as a toolkit comparison routine expects.
    std::vector<int> Order(FItems.size());
    for (size_t I = 0; I < Order.size(); ++I) Order[I] = int(I);
    std::stable_sort(Order.begin(), Order.end(), [&](int A, int B) { return Compare(*this, A, B) < 0; });
    std::vector<TItem> Sorted;
    Sorted.reserve(FItems.size());
    for (int I : Order) Sorted.push_back(FItems[size_t(I)]);
    FItems.swap(Sorted);
    Changed();
}

void TStringList::SetSorted(bool B)
{
    if (FSorted == B) return;
    if (B) Sort();
    FSorted = B;
}

void TStringList::SetCaseSensitive(bool B)
{
    if (B == CaseSensitive()) return;
    TStrings::SetCaseSensitive(B);
    if (FSorted) Sort();
}

// ---- collections ----------------------------------------------------------------

void TCollectionItem::SetCollection(TCollection *ACollection)
{
    if (ACollection == FCollection) return;
    if (FCollection) FCollection->RemoveItem(this);
    if (ACollection) ACollection->InsertItem(this, ACollection->Count());
}

int TCollectionItem::Index() const
{
    if (!FCollection) return -1;
    auto &V = FCollection->FItems;
    auto It = std::find(V.begin(), V.end(), this);
    return It == V.end() ? -1 : int(It - V.begin());
}

void TCollectionItem::SetIndex(int Value)
{
    int Cur = Index();
    if (Cur < 0 || Cur == Value) return;
    auto &V = FCollection->FItems;
    if (Value < 0) Value = 0;
    if (Value >= int(V.size())) Value = int(V.size()) - 1;
    V.erase(V.begin() + Cur);
    V.insert(V.begin() + Value, this);
    Changed(true);
}

void TCollectionItem::Changed(bool AllItems)
{
    if (FCollection && FCollection->FUpdateCount == 0) FCollection->Update(AllItems ? nullptr : this);
}

TCollection::TCollection(TItemFactory AFactory) : FFactory(std::move(AFactory)) {}

TCollection::~TCollection()
{
    for (TCollectionItem *It : FItems) {
        It->FCollection = nullptr;
        delete It;
    }
}

TCollectionItem *TCollection::Items(int Index) const
{
    if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return FItems[size_t(Index)];
}

TCollectionItem *TCollection::Add() { return Insert(Count()); }

TCollectionItem *TCollection::Insert(int Index)
{
    std::unique_ptr<TCollectionItem> It = FFactory();
    TCollectionItem *P = It.release();
    InsertItem(P, Index);
    return P;
}

void TCollection::InsertItem(TCollectionItem *Item, int Index)
{
    if (Index < 0 || Index > Count()) Index = Count();
    Item->FCollection = this;
    Item->FID = FNextID++;
    FItems.insert(FItems.begin() + Index, Item);
    Notify(Item, cnAdded);
    Changed();
}

void TCollection::RemoveItem(TCollectionItem *Item)
{
    auto It = std::find(FItems.begin(), FItems.end(), Item);
    if (It == FItems.end()) return;
    Notify(Item, cnExtracting);
    FItems.erase(It);
    Item->FCollection = nullptr;
    Changed();
}

void TCollection::Delete(int Index)
{
    TCollectionItem *It = Items(Index);
    Notify(It, cnDeleting);
    FItems.erase(FItems.begin() + Index);
    It->FCollection = nullptr;
    delete It;
    Changed();
}

void TCollection::Clear()
{
    if (FItems.empty()) return;
    BeginUpdate();
    while (!FItems.empty()) Delete(Count() - 1);
    EndUpdate();
}

TCollectionItem *TCollection::FindItemID(int ID) const
{
    for (TCollectionItem *It : FItems)
        if (It->FID == ID) return It;
    return nullptr;
}

void TCollection::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

void TCollection::Changed()
{
    if (FUpdateCount == 0) Update(nullptr);
}

void TCollection::Assign(const TPersistent &Source)
{
    auto *Src = dynamic_cast<const TCollection *>(&Source);
    if (!Src) {
        TPersistent::Assign(Source);
        return;
    }
    if (Src == this) return;
    BeginUpdate();
    try {
        Clear();
        for (TCollectionItem *It : Src->FItems) Add()->Assign(*It);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

// ---- components ---------------------------------------------------------------

TComponent::TComponent(TComponent *AOwner)
{
    if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent()
{
    FComponentState |= csDestroying;
    // Tell everyone who asked, then free what we own (last created first).
    std::vector<TComponent *> Notifies;
    Notifies.swap(FFreeNotifies);
    for (TComponent *C : Notifies) {
        C->RemoveFreeNotification(this);
        C->Notification(this, opRemove);
    }
    while (!FComponents.empty()) {
        TComponent *C = FComponents.back();
        FComponents.pop_back();
        C->FOwner = nullptr;
        delete C;
    }
    if (FOwner) FOwner->RemoveComponent(this);
}

TComponent *TComponent::FindComponent(std::string_view AName) const
{
    if (AName.empty()) return nullptr;
    for (TComponent *C : FComponents)
        if (SameText(C->FName, AName)) return C;
    return nullptr;
}

void TComponent::InsertComponent(TComponent *AComponent)
{
    if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
    FComponents.push_back(AComponent);
    AComponent->FOwner = this;
    for (TComponent *C : FComponents)
        if (C != AComponent) C->Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent *AComponent)
{
    auto It = std::find(FComponents.begin(), FComponents.end(), AComponent);
    if (It == FComponents.end()) return;
    FComponents.erase(It);
    AComponent->FOwner = nullptr;
    if (!(FComponentState & csDestroying))
        for (TComponent *C : FComponents) C->Notification(AComponent, opRemove);
}

void TComponent::FreeNotification(TComponent *AComponent)
{
    if (!AComponent || AComponent == this) return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
        FFreeNotifies.push_back(AComponent);
    if (std::find(AComponent->FFreeNotifies.begin(), AComponent->FFreeNotifies.end(), this) ==
        AComponent->FFreeNotifies.end())
        AComponent->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent *AComponent)
{
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent), FFreeNotifies.end());
}

void TComponent::Notification(TComponent *AComponent, TOperation Operation)
{
    (void)AComponent;
    (void)Operation;
}

} // namespace rtl
