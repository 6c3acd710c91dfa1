// qxZqStanUtil: worker thread, string list and the small routines.
#include "dataaccess/stan/qxZqStanUtil.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <unistd.h>

#include "platform/rtl/CLocaleText.h"
#include "platform/rtl/IniFiles.h"

// ---- events and the worker thread ------------------------------------------------

void TZqEvent::SetEvent()
{
    {
        std::lock_guard<std::mutex> G(FLock);
        FSignalled = true;
    }
    FCond.notify_one();
}

bool TZqEvent::WaitFor(uint32_t AMilliseconds)
{
    std::unique_lock<std::mutex> G(FLock);
    if (!FCond.wait_for(G, std::chrono::milliseconds(AMilliseconds), [this] { return FSignalled; })) return false;
    FSignalled = false;
    return true;
}

bool TZqThreadStartMsg::Perform(TZqThread &AThread)
{
    AThread.ReplyEvent().SetEvent();
    return true;
}

bool TZqThreadTerminateMsg::Perform(TZqThread &AThread)
{
    AThread.Terminate();
    return false;
}

TZqThread::TZqThread() = default;

TZqThread::~TZqThread() { Shutdown(true); }

void TZqThread::StartIfSuspended()
{
    // The worker itself posts too: once started, no lock is taken here, so
    // a post from the worker never waits for a Shutdown that joins it.
    if (FStarted.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> G(FStartLock);
    if (FStarted.load() || FTerminated.load()) return;
    FStarted.store(true, std::memory_order_release);
    FThread = std::thread([this] {
        FWorkerId.store(std::this_thread::get_id());
        Execute();
        FEnded.store(true);
        FEndEvent.SetEvent();
    });
}

void TZqThread::Post(std::unique_ptr<TZqThreadMsgBase> AMsg)
{
    {
        std::lock_guard<std::mutex> G(FListLock);
        FMessages.push_back(std::move(AMsg));
    }
    StartIfSuspended();
    FMsgEvent.SetEvent();
}

void TZqThread::SetActive(bool AValue)
{
    if (FActive.load() == AValue) return;
    FActive.store(AValue);
    StartIfSuspended();
    Post(AValue ? CreateStartMsg() : CreateStopMsg());
    // The worker's reply is awaited at most Timeout ms; a late reply is no error.
    FReplyEvent.WaitFor(FTimeout.load());
    DoActiveChanged();
}

void TZqThread::Shutdown(bool AWait)
{
    if (IsWorkerThread()) {
        FTerminated.store(true);
        return;
    }
    bool Running = FStarted.load();
    if (Running && FActive.load()) {
        // Stop first, so that the stop message is answered before the
        // terminate message ends the worker's pass.
        SetActive(false);
        Post(CreateTerminateMsg());
    }
    {
        // Under the start lock, so that the thread cannot start after this.
        std::lock_guard<std::mutex> G(FStartLock);
        FTerminated.store(true);
    }
    FMsgEvent.SetEvent();
    if (AWait) Join();
}

void TZqThread::Join()
{
    std::thread T;
    {
        std::lock_guard<std::mutex> G(FStartLock);
        T = std::move(FThread);
    }
    if (T.joinable()) T.join();
}

bool TZqThread::WaitForEnd(uint32_t AMilliseconds)
{
    if (!FStarted.load()) return true;
    if (!FEnded.load() && !FEndEvent.WaitFor(AMilliseconds) && !FEnded.load()) return false;
    Join();
    return true;
}

void TZqThread::IdleStep()
{
    if (FTerminated.load() && AllowTerminate()) return;
    DoIdle();
}

void TZqThread::Execute()
{
    while (true) {
        if (FTerminated.load() && AllowTerminate()) break;
        bool Signalled = FMsgEvent.WaitFor(FTimeout.load());
        // The messages of this pass; those posted while they are performed
        // wait for the next pass.
        std::vector<std::unique_ptr<TZqThreadMsgBase>> Pass;
        try {
            if (!Signalled) {
                IdleStep();
                continue;
            }
            {
                std::lock_guard<std::mutex> G(FListLock);
                Pass.swap(FMessages);
            }
            if (Pass.empty()) {
                IdleStep();
                continue;
            }
            for (auto &Msg : Pass) {
                std::unique_ptr<TZqThreadMsgBase> M = std::move(Msg);
                bool Go = M->Perform(*this);
                M.reset();
                if (!Go) break; // the rest of the pass is dropped
                IdleStep();
            }
        } catch (...) {
            // A failing message or idle step never ends the loop.
        }
    }
}

// ---- string list ------------------------------------------------------------------------------

int TZqStringList::CompareStrings(std::string_view S1, std::string_view S2) const
{
    return CaseSensitive() ? rtl::AnsiCompareStr(S1, S2) : ZqCompareText(S1, S2);
}

// ---- wildcard matching ------------------------------------------------------------------------------

namespace {

// The match of Str against Mask from text position I and mask position J,
// with the results of the "%" continuations remembered so that no state is
// tried twice (the plain recursion is exponential in the number of "%").
class TLikeMatcher {
public:
    TLikeMatcher(std::string_view S, std::string_view M, char Esc, char Single, char Multi)
        : FS(S), FM(M), FEsc(Esc), FSingle(Single), FMulti(Multi) {}

    bool Match(size_t I, size_t J)
    {
        const size_t N = FS.size(), M = FM.size();
        // Walk text and mask together.
        while (I < N && J < M) {
            char C = FM[J];
            if (C == FMulti) break;
            if (C == FS[I] || C == FSingle) {
                ++I;
                ++J;
            } else if (FEsc && C == FEsc && J + 1 < M && FM[J + 1] == FS[I]) {
                ++I;
                J += 2;
            } else {
                break;
            }
        }
        if (J < M && FM[J] == FMulti) {
            while (J < M && (FM[J] == FMulti || FM[J] == FSingle)) {
                if (FM[J] == FSingle) {
                    if (I >= N) return false;
                    ++I;
                }
                ++J;
            }
            if (J == M) return true;
            // The character the rest must start with; an escaped one is
            // the character after the escape.
            char Lit = FM[J];
            char Alt = Lit;
            if (FEsc && Lit == FEsc && J + 1 < M) Lit = FM[J + 1];
            for (size_t K = I; K < N; ++K)
                if ((FS[K] == Lit || FS[K] == Alt) && Continue(K, J)) return true;
            return false;
        }
        return I == N && J == M;
    }

private:
    bool Continue(size_t I, size_t J)
    {
        size_t Cols = FM.size() + 1;
        if (FMemo.empty()) FMemo.assign((FS.size() + 1) * Cols, 0);
        uint8_t &Slot = FMemo[I * Cols + J];
        if (Slot) return Slot == 2;
        bool R = Match(I, J);
        Slot = R ? 2 : 1;
        return R;
    }
    std::string_view FS, FM;
    char FEsc, FSingle, FMulti;
    std::vector<uint8_t> FMemo; // 0 unknown, 1 no, 2 yes
};

} // namespace

bool ZqStrLike(std::string_view AStr, std::string_view AMask, bool ANoCase, char AEscape, char ASingle, char AMulti)
{
    if (AMask.size() == 1 && AMask[0] == AMulti) return true;
    if (AStr.empty() || AMask.empty()) return false;
    if (ANoCase) {
        std::string S = rtl::AnsiUpperCase(AStr), M = rtl::AnsiUpperCase(AMask);
        return TLikeMatcher(S, M, AEscape, ASingle, AMulti).Match(0, 0);
    }
    return TLikeMatcher(AStr, AMask, AEscape, ASingle, AMulti).Match(0, 0);
}

// ---- text and lists --------------------------------------------------------------------------------

int ZqPosFrom(std::string_view ASub, std::string_view AStr, int AFrom)
{
    if (AFrom < 1) AFrom = 1;
    if (ASub.empty() || size_t(AFrom) > AStr.size()) return 0;
    size_t P = AStr.find(ASub, size_t(AFrom - 1));
    return P == std::string_view::npos ? 0 : int(P) + 1;
}

int ZqStrRPos(std::string_view AStr, std::string_view ASub)
{
    if (ASub.empty() || ASub.size() > AStr.size()) return 0;
    size_t P = AStr.rfind(ASub);
    return P == std::string_view::npos ? 0 : int(P) + 1;
}

char ZqUpCase(char C) { return rtl::CUpCase(C); }
char ZqLowCase(char C) { return rtl::CLowCase(C); }

size_t ZqWideStrLen(const char16_t *AStr)
{
    if (!AStr) return 0;
    size_t N = 0;
    while (AStr[N]) ++N;
    return N;
}

void ZqExtractDelimitedItem(std::string_view AText, int &APos, const TZqSyntax &ASyntax, std::string &AItem)
{
    size_t Start = APos < 1 ? 0 : size_t(APos - 1);
    size_t I = Start;
    bool InQuote = false;
    int Depth = 0;
    bool Delimited = false;
    for (; I < AText.size(); ++I) {
        char C = AText[I];
        if (ASyntax.Quote && C == ASyntax.Quote) {
            InQuote = !InQuote;
        } else if (ASyntax.Open && C == ASyntax.Open) {
            ++Depth;
        } else if (ASyntax.Close && C == ASyntax.Close) {
            if (Depth > 0) --Depth;
        } else if (C == ASyntax.Delimiter && !InQuote && Depth == 0) {
            Delimited = true;
            break;
        }
    }
    AItem = Start < AText.size() ? rtl::Trim(AText.substr(Start, I - Start)) : std::string();
    APos = int(I) + 1 + (Delimited ? 1 : 0);
}

void ZqExtractListItem(std::string_view AText, int &APos, std::string &AItem)
{
    ZqExtractDelimitedItem(AText, APos, ZqConnStrSyntax, AItem);
}

std::string ZqGetValueFromIndex(const rtl::TStrings &AList, int AIndex)
{
    if (AIndex < 0) return {};
    return AList.ValueFromIndex(AIndex);
}

std::string ZqLastSystemErrorMessage()
{
    int E = errno;
    char Buf[256];
    // The GNU strerror_r returns the text, which may not be in Buf.
    const char *T = strerror_r(E, Buf, sizeof Buf);
    return T ? T : "";
}

// ---- files, variables and settings ----------------------------------------------------------------------

std::string ZqAppDir()
{
    std::error_code Ec;
    auto Exe = std::filesystem::read_symlink("/proc/self/exe", Ec);
    if (Ec) return std::filesystem::current_path().string();
    return Exe.parent_path().string();
}

std::string ZqGetEnvVar(const std::string &AName)
{
    const char *V = std::getenv(AName.c_str());
    return V ? V : "";
}

namespace {

std::string ReadIniValue(const std::string &AFile, const std::string &AName, bool &AFound)
{
    AFound = false;
    std::error_code Ec;
    if (!std::filesystem::exists(AFile, Ec)) return {};
    rtl::TMemIniFile Ini(AFile);
    if (!Ini.ValueExists("Vexa", AName)) return {};
    AFound = true;
    return Ini.ReadString("Vexa", AName, "");
}

} // namespace

std::string ZqReadRegistryValue(const std::string &AName)
{
    if (AName.empty()) return {};
    if (const char *V = std::getenv(AName.c_str())) return V;
    std::string Home = ZqGetEnvVar("XDG_CONFIG_HOME");
    if (Home.empty()) {
        std::string H = ZqGetEnvVar("HOME");
        if (!H.empty()) Home = H + "/.config";
    }
    bool Found = false;
    if (!Home.empty()) {
        std::string V = ReadIniValue(Home + "/Quillor/Vexa.ini", AName, Found);
        if (Found) return V;
    }
    return ReadIniValue("/etc/xdg/Quillor/Vexa.ini", AName, Found);
}

namespace {

// The process-wide cache of variable values (name=value, sorted, no duplicates).
std::mutex GVariablesLock;
TZqStringList &Variables()
{
    static TZqStringList L = [] {
        TZqStringList V;
        V.SetSorted(true);
        V.SetDuplicates(rtl::dupIgnore);
        return V;
    }();
    return L;
}

std::string ResolveVariable(const std::string &AName, bool &ANext)
{
    if (AName == "RAND") {
        static std::mt19937 Gen{std::random_device{}()};
        static std::mutex GenLock;
        std::lock_guard<std::mutex> G(GenLock);
        return std::to_string(std::uniform_int_distribution<int32_t>(0, 2147483646)(Gen));
    }
    if (AName == "NEXT") {
        ANext = true;
        return "*";
    }
    std::lock_guard<std::mutex> G(GVariablesLock);
    TZqStringList &L = Variables();
    int I = L.IndexOfName(AName);
    if (I >= 0) return L.ValueFromIndex(I);
    std::string V = ZqGetEnvVar(AName);
    if (V.empty()) V = ZqReadRegistryValue(AName);
    L.Add(AName + "=" + V);
    return V;
}

// "*" in a file pattern: the largest number found there among existing
// files, plus 1. The number is read from the bare file names, so a folder
// part in the pattern does not shift it.
std::string NumberPattern(const std::string &APattern)
{
    size_t Star = APattern.find('*');
    if (Star == std::string::npos) return APattern;
    std::filesystem::path P(APattern);
    std::string Dir = P.has_parent_path() ? P.parent_path().string() : std::string(".");
    std::string NamePat = P.filename().string();
    size_t NStar = NamePat.find('*');
    if (NStar == std::string::npos) return APattern; // the "*" is in the folder part
    std::string Prefix = NamePat.substr(0, NStar), Suffix = NamePat.substr(NStar + 1);
    long long Max = 0;
    std::error_code Ec;
    for (std::filesystem::directory_iterator It(Dir, Ec), End; !Ec && It != End; It.increment(Ec)) {
        std::string Name = It->path().filename().string();
        if (Name.size() < Prefix.size() + Suffix.size()) continue;
        if (!rtl::AnsiSameText(Name.substr(0, Prefix.size()), Prefix)) continue;
        if (!rtl::AnsiSameText(Name.substr(Name.size() - Suffix.size()), Suffix)) continue;
        std::string Mid = Name.substr(Prefix.size(), Name.size() - Prefix.size() - Suffix.size());
        long long N = 0;
        bool Digits = !Mid.empty() && Mid.size() < 18 && Mid.find_first_not_of("0123456789") == std::string::npos;
        if (Digits) N = std::atoll(Mid.c_str());
        if (N > Max) Max = N;
    }
    size_t GStar = APattern.rfind('*');
    return APattern.substr(0, GStar) + std::to_string(Max + 1) + APattern.substr(GStar + 1);
}

} // namespace

std::string ZqExpandVariables(std::string_view AText)
{
    std::string R(AText);
    bool Next = false;
    size_t From = 0;
    while (true) {
        size_t B = R.find("$(", From);
        if (B == std::string::npos) break;
        size_t E = R.find(')', B + 2);
        if (E == std::string::npos) break;
        std::string Name = rtl::UpperCase(R.substr(B + 2, E - B - 2));
        std::string Value = ResolveVariable(Name, Next);
        R.replace(B, E - B + 1, Value);
        // Go on after the inserted value: a value holding "$(" is text,
        // not another reference (else it could expand for ever).
        From = B + Value.size();
    }
    if (Next) R = NumberPattern(R);
    return R;
}

void ZqClearVariables()
{
    std::lock_guard<std::mutex> G(GVariablesLock);
    Variables().Clear();
}

std::string ZqExpandFileName(const std::string &AExplicit, const std::string &AGlobal, const std::string &ADefault)
{
    std::string Explicit = ZqExpandVariables(AExplicit);
    std::string Global = ZqExpandVariables(AGlobal);
    std::string Default = ZqExpandVariables(ADefault);
    if (!Explicit.empty()) {
        if (rtl::ExtractFilePath(Explicit).empty()) return ZqAppDir() + "/" + Explicit;
        return Explicit;
    }
    std::string InApp = ZqAppDir() + "/" + Default;
    std::error_code Ec;
    if (!Default.empty() && std::filesystem::is_regular_file(InApp, Ec)) return InApp;
    return Global;
}

// ---- time and dates --------------------------------------------------------------------------------

rtl::TDateTime ZqBaseDate()
{
    static const rtl::TDateTime Base = rtl::EncodeDate(1, 1, 1);
    return Base;
}

rtl::TSQLTimeStamp ZqDateTimeToTimeStamp(rtl::TDateTime AValue) { return rtl::DateTimeToSQLTimeStamp(AValue); }

rtl::TDateTime ZqTimeStampToDateTime(const rtl::TSQLTimeStamp &AValue) { return rtl::SQLTimeStampToDateTime(AValue); }

int32_t ZqTimeStampToTime(const rtl::TSQLTimeStamp &AValue)
{
    return ((int32_t(AValue.Hour) * 60 + AValue.Minute) * 60 + AValue.Second) * 1000 + int32_t(AValue.Fractions);
}

rtl::TSQLTimeStamp ZqTimeToTimeStamp(int32_t AMSecs) { return rtl::DateTimeToSQLTimeStamp(ZqMSecsToTime(AMSecs)); }

int32_t ZqTimeStampToDate(const rtl::TSQLTimeStamp &AValue)
{
    // From the date fields alone: before 1899-12-30 the time is subtracted
    // in the date-time value, and truncating that would give the day before.
    return int32_t(rtl::EncodeDate(AValue.Year, AValue.Month, AValue.Day) - ZqBaseDate()) + 1;
}

rtl::TSQLTimeStamp ZqDateToTimeStamp(int32_t ADays) { return rtl::DateTimeToSQLTimeStamp(ZqDaysToDate(ADays)); }

int32_t ZqTimeToMSecs(double AFraction) { return int32_t(std::trunc(AFraction * rtl::MSecsPerDay + 0.1)); }

double ZqMSecsToTime(int32_t AMSecs) { return double(AMSecs) / rtl::MSecsPerDay; }

int32_t ZqDateToDays(rtl::TDateTime AValue)
{
    return rtl::DateTimeToTimeStamp(AValue).Date; // the same numbering: 0001-01-01 is 1
}

rtl::TDateTime ZqDaysToDate(int32_t ADays) { return double(ADays - 1) + ZqBaseDate(); }

// ---- decimal and integer text ----------------------------------------------------------------------

namespace {

void BcdZero(rtl::TBcd &ABcd)
{
    ABcd = rtl::TBcd{};
    ABcd.Precision = 8;
    ABcd.SignSpecialPlaces = 2;
}

} // namespace

bool ZqStrToBcd(const char *AText, int ALength, rtl::TBcd &ABcd, char ADecimalSeparator)
{
    std::string_view T = AText ? (ALength < 0 ? std::string_view(AText) : std::string_view(AText, size_t(ALength)))
                               : std::string_view();
    if (T.empty() || T == "0") {
        BcdZero(ABcd);
        return true;
    }
    size_t B = 0, E = T.size();
    while (B < E && (T[B] == ' ' || T[B] == '0')) ++B;
    while (E > B && (unsigned char)T[E - 1] < '!') --E;
    bool Neg = false;
    if (B < E && T[B] == '-') {
        Neg = true;
        ++B;
    } else if (B < E && T[B] == '+') {
        ++B;
    }
    if (B < E && T[B] == '0') ++B;
    if (E - B >= 67) {
        BcdZero(ABcd);
        return true;
    }
    rtl::TBcd R{};
    int Digits = 0, Places = 0;
    bool AfterSep = false;
    for (size_t I = B; I < E; ++I) {
        char C = T[I];
        if (C == ADecimalSeparator && !AfterSep) {
            AfterSep = true;
            continue;
        }
        if (C < '0' || C > '9' || Digits >= 64) {
            BcdZero(ABcd);
            return false;
        }
        uint8_t V = uint8_t(C - '0');
        if (Digits % 2 == 0) R.Fraction[Digits / 2] = uint8_t(V << 4);
        else R.Fraction[Digits / 2] |= V;
        ++Digits;
        if (AfterSep) ++Places;
    }
    if (Digits == 0) {
        BcdZero(ABcd);
        return true;
    }
    R.Precision = uint8_t(Digits);
    R.SignSpecialPlaces = uint8_t(Places) | (Neg ? 0x80 : 0);
    ABcd = R;
    return true;
}

std::string ZqBcdToStr(const rtl::TBcd &ABcd, char ADecimalSeparator)
{
    int Prec = ABcd.Precision > 64 ? 64 : ABcd.Precision;
    int Places = rtl::BcdScale(ABcd);
    if (Places > Prec) Places = Prec;
    std::string Int, Frac;
    for (int I = 0; I < Prec; ++I) {
        char C = char('0' + rtl::BcdDigit(ABcd, I));
        if (I < Prec - Places) {
            if (!(Int.empty() && C == '0')) Int += C;
        } else {
            Frac += C;
        }
    }
    // Trailing zeros go from the fraction only (100 stays 100).
    while (!Frac.empty() && Frac.back() == '0') Frac.pop_back();
    if (Int.empty()) Int = "0";
    std::string R = Int;
    if (!Frac.empty()) R += ADecimalSeparator + Frac;
    if (rtl::IsBcdNegative(ABcd) && R != "0") R.insert(0, "-");
    return R;
}

void ZqBcdToStr(const rtl::TBcd &ABcd, std::string &AText, int &ALength, char ADecimalSeparator)
{
    AText = ZqBcdToStr(ABcd, ADecimalSeparator);
    ALength = int(AText.size());
}

void ZqStrToInt(const char *AText, int ALength, void *ADest, bool AUnsigned, int ASize)
{
    std::string_view T = AText ? (ALength < 0 ? std::string_view(AText) : std::string_view(AText, size_t(ALength)))
                               : std::string_view();
    size_t I = 0;
    while (I < T.size() && (unsigned char)T[I] <= ' ') ++I;
    bool Neg = false;
    if (I < T.size() && (T[I] == '-' || T[I] == '+')) Neg = T[I++] == '-';
    // Unsigned arithmetic: overflow wraps as the fixed-width accumulation does.
    uint64_t Acc64 = 0;
    uint32_t Acc32 = 0;
    for (; I < T.size() && T[I] >= '0' && T[I] <= '9'; ++I) {
        Acc64 = Acc64 * 10 + uint64_t(T[I] - '0');
        Acc32 = Acc32 * 10 + uint32_t(T[I] - '0');
    }
    if (Neg && !AUnsigned) {
        Acc64 = 0 - Acc64;
        Acc32 = 0 - Acc32;
    }
    switch (ASize) {
    case 1: { uint8_t V = uint8_t(Acc32); std::memcpy(ADest, &V, 1); break; }
    case 2: { uint16_t V = uint16_t(Acc32); std::memcpy(ADest, &V, 2); break; }
    case 8: std::memcpy(ADest, &Acc64, 8); break;
    default: std::memcpy(ADest, &Acc32, 4); break;
    }
}

// ---- variants, references, timeouts ---------------------------------------------------------------

void ZqVarAdd(const rtl::Variant &A, const rtl::Variant &B, rtl::Variant &AResult) { AResult = A + B; }
void ZqVarSub(const rtl::Variant &A, const rtl::Variant &B, rtl::Variant &AResult) { AResult = A - B; }

void ZqVarDiv(const rtl::Variant &A, const rtl::Variant &B, rtl::Variant &AResult)
{
    char Saved = rtl::FormatSettings.DecimalSeparator;
    rtl::FormatSettings.DecimalSeparator = '.';
    try {
        AResult = A / B;
    } catch (...) {
        rtl::FormatSettings.DecimalSeparator = Saved;
        throw;
    }
    rtl::FormatSettings.DecimalSeparator = Saved;
}

int ZqCompareRefs(uintptr_t APtr1, int32_t ACount1, uintptr_t APtr2, int32_t ACount2)
{
    if (ACount1 == ACount2 && APtr1 == APtr2) return 0;
    if (ACount1 >= 0 && ACount2 >= 0) {
        if (ACount1 != ACount2) return ACount1 > ACount2 ? -1 : 1;
        return APtr1 > APtr2 ? -1 : 1;
    }
    if (ACount1 < 0 && ACount2 >= 0) return 1;
    if (ACount1 >= 0 && ACount2 < 0) return -1;
    if (ACount1 == ACount2) return APtr1 < APtr2 ? -1 : 1;
    return ACount1 < ACount2 ? -1 : 1;
}

bool ZqTimeoutElapsed(uint32_t AStart, uint32_t ATimeout, uint32_t ANow)
{
    uint64_t Elapsed = AStart <= ANow ? uint64_t(ANow - AStart) : uint64_t(ANow) + (0xFFFFFFFFull - AStart);
    return Elapsed >= ATimeout;
}

bool ZqTimeoutElapsed(uint32_t AStart, uint32_t ATimeout)
{
    return ZqTimeoutElapsed(AStart, ATimeout, rtl::GetTickCount());
}

// ---- exception display ---------------------------------------------------------------------------------

namespace {
std::mutex GHookLock;
TZqExceptionHook GHook;
} // namespace

void ZqSetApplicationExceptionHook(TZqExceptionHook AHook)
{
    std::lock_guard<std::mutex> G(GHookLock);
    GHook = std::move(AHook);
}

void ZqHandleException(const std::exception &AException)
{
    TZqExceptionHook H;
    {
        std::lock_guard<std::mutex> G(GHookLock);
        H = GHook;
    }
    if (H) H(AException);
}

void ZqHandleException()
{
    std::exception_ptr P = std::current_exception();
    if (!P) return;
    try {
        std::rethrow_exception(P);
    } catch (const std::exception &E) {
        ZqHandleException(E);
    } catch (...) {
    }
}
