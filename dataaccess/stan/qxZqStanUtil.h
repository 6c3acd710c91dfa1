// qxZqStanUtil: what every layer needs beside interfaces and errors: the
// worker thread driven by posted messages, a block allocator, the library's
// string list, and small routines for text, wildcard matching, delimited
// lists, variables in file names, registry settings, date and time storage
// forms, decimal and integer text, and timeouts.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "dataaccess/stan/qxZqStanFastCode.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/FMTBcd.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/Variant.h"

// ---- the worker thread ------------------------------------------------------

class TZqThread;

// A message: posted to one thread, performed there once, then freed.
class TZqThreadMsgBase {
public:
    virtual ~TZqThreadMsgBase() = default;
    // True lets the thread go on with the next message of the same pass.
    virtual bool Perform(TZqThread &AThread) = 0;
};

// Signals the thread's reply event.
class TZqThreadStartMsg : public TZqThreadMsgBase {
public:
    bool Perform(TZqThread &AThread) override;
};
class TZqThreadStopMsg : public TZqThreadStartMsg {};
// Marks the thread terminated and ends the pass.
class TZqThreadTerminateMsg : public TZqThreadMsgBase {
public:
    bool Perform(TZqThread &AThread) override;
};

// An auto-reset event.
class TZqEvent {
public:
    void SetEvent();
    // True when signalled within AMilliseconds (the signal is consumed).
    bool WaitFor(uint32_t AMilliseconds);

private:
    std::mutex FLock;
    std::condition_variable FCond;
    bool FSignalled = false;
};

// A worker thread driven by posted messages, on std::thread.
//
// States and the routines behind them:
//   created    nothing runs yet (the thread starts with the first SetActive
//              or Post).
//   running    Execute waits up to Timeout ms for messages; it performs
//              them in order, running DoIdle after each and whenever the
//              wait times out.
//   active     SetActive(true) posts the start message and waits up to
//              Timeout ms for its reply; SetActive(false) the stop message.
//   terminated Shutdown (or a terminate message) marks it; the loop ends
//              when AllowTerminate agrees; Shutdown(true) joins it.
// The owner owns the object: the destructor shuts the thread down and joins
// it. A subclass whose DoIdle or DoActiveChanged touch its own members must
// call Shutdown(true) in its own destructor, before those members go.
class TZqThread {
public:
    TZqThread();
    virtual ~TZqThread();
    TZqThread(const TZqThread &) = delete;
    TZqThread &operator=(const TZqThread &) = delete;

    bool Active() const { return FActive.load(); }
    void SetActive(bool AValue);
    uint32_t Timeout() const { return FTimeout.load(); }
    void SetTimeout(uint32_t AValue) { FTimeout.store(AValue); }
    bool Terminated() const { return FTerminated.load(); }
    void Terminate() { FTerminated.store(true); WakeUp(); }

    // Any thread may post; the message is performed on the worker.
    void Post(std::unique_ptr<TZqThreadMsgBase> AMsg);
    void WakeUp() { FMsgEvent.SetEvent(); }
    // From another thread: stop, mark terminated and, with AWait, join.
    // From the worker itself: only mark terminated.
    void Shutdown(bool AWait);
    // After Shutdown(false): True when the worker has ended within
    // AMilliseconds (it is then joined); False when it is still running.
    bool WaitForEnd(uint32_t AMilliseconds);
    bool IsWorkerThread() const { return std::this_thread::get_id() == FWorkerId.load(); }

    TZqEvent &ReplyEvent() { return FReplyEvent; }

protected:
    virtual bool AllowTerminate() { return true; }
    virtual void DoIdle() {}
    virtual void DoActiveChanged() {}
    virtual std::unique_ptr<TZqThreadMsgBase> CreateStartMsg() { return std::make_unique<TZqThreadStartMsg>(); }
    virtual std::unique_ptr<TZqThreadMsgBase> CreateStopMsg() { return std::make_unique<TZqThreadStopMsg>(); }
    virtual std::unique_ptr<TZqThreadMsgBase> CreateTerminateMsg()
    {
        return std::make_unique<TZqThreadTerminateMsg>();
    }
    // The loop; see the class comment.
    virtual void Execute();

private:
    void StartIfSuspended();
    void Join();
    std::atomic<bool> FStarted{false};
    void IdleStep();
    std::atomic<bool> FActive{false};
    std::atomic<uint32_t> FTimeout{100};
    std::atomic<bool> FTerminated{false};
    std::mutex FListLock;
    std::vector<std::unique_ptr<TZqThreadMsgBase>> FMessages;
    TZqEvent FReplyEvent;
    TZqEvent FMsgEvent;
    std::mutex FStartLock;
    std::thread FThread;
    std::atomic<std::thread::id> FWorkerId{};
    TZqEvent FEndEvent;
    std::atomic<bool> FEnded{false};
};

// ---- block allocator ----------------------------------------------------------

// Fixed-size blocks from the general allocator; holds nothing between calls.
class TZqMemPool {
public:
    explicit TZqMemPool(size_t ABlockSize, int = 0, int = 0) : FBlockSize(ABlockSize) {}
    void *Alloc() { return ::operator new(FBlockSize); }
    void Release(void *ABlock) { ::operator delete(ABlock); }
    size_t BlockSize() const { return FBlockSize; }

private:
    size_t FBlockSize;
};

// ---- the library's string list ------------------------------------------------------

// Case-insensitive lists compare through ZqCompareText (a-z folded only).
class TZqStringList : public rtl::TStringList {
public:
    using rtl::TStringList::TStringList;
    int CompareStrings(std::string_view S1, std::string_view S2) const override;
};

// ---- syntax characters ------------------------------------------------------------

// Item delimiter, quote, open and close ('\0': none).
struct TZqSyntax {
    char Delimiter;
    char Quote;
    char Open;
    char Close;
};
constexpr TZqSyntax ZqConnStrSyntax{';', '"', '{', '}'};
constexpr TZqSyntax ZqListSyntax{';', '\0', '\0', '\0'};
constexpr TZqSyntax ZqBlankSyntax{' ', '\0', '\0', '\0'};

// ---- text and lists -----------------------------------------------------------------

// Wildcard match. A mask of the one character AMulti matches everything
// (the empty text too); otherwise an empty text or mask matches nothing.
// AEscape makes the next mask character literal.
bool ZqStrLike(std::string_view AStr, std::string_view AMask, bool ANoCase = false, char AEscape = '\0',
               char ASingle = '_', char AMulti = '%');
// 1-based position of ASub in AStr at or after AFrom (below 1 counts as 1); 0 when absent.
int ZqPosFrom(std::string_view ASub, std::string_view AStr, int AFrom);
// 1-based position of the last ASub in AStr; 0 when absent or longer.
int ZqStrRPos(std::string_view AStr, std::string_view ASub);
char ZqUpCase(char C);
char ZqLowCase(char C);
size_t ZqWideStrLen(const char16_t *AStr);
// The next item from the 1-based APos: quotes and the open/close pair
// protect delimiters. The item is trimmed; APos moves past the delimiter
// (or to the end + 1). Callers loop while APos <= size.
void ZqExtractDelimitedItem(std::string_view AText, int &APos, const TZqSyntax &ASyntax, std::string &AItem);
void ZqExtractListItem(std::string_view AText, int &APos, std::string &AItem);
std::string ZqGetValueFromIndex(const rtl::TStrings &AList, int AIndex);
inline void *ZqPtrAdd(void *P, ptrdiff_t ACount) { return static_cast<char *>(P) + ACount; }
inline const void *ZqPtrAdd(const void *P, ptrdiff_t ACount) { return static_cast<const char *>(P) + ACount; }
// Index of the first of the first ACount entries equal to AValue (-1: all); -1 when absent.
template <typename T> int ZqIndexOfPtr(const std::vector<T> &AArray, int ACount, const T &AValue)
{
    size_t N = ACount < 0 ? AArray.size() : std::min(AArray.size(), size_t(ACount));
    for (size_t I = 0; I < N; ++I)
        if (AArray[I] == AValue) return int(I);
    return -1;
}
// The system's text for the calling thread's last error (errno).
std::string ZqLastSystemErrorMessage();

// ---- files, variables, settings ---------------------------------------------------------

// The running program's folder (from /proc/self/exe), no trailing "/".
std::string ZqAppDir();
std::string ZqGetEnvVar(const std::string &AName);
// Settings under "\Software\Quillor\Vexa": the environment variable of the
// name, else the user's $XDG_CONFIG_HOME/Quillor/Vexa.ini (or ~/.config),
// else /etc/xdg/Quillor/Vexa.ini, section [Vexa]. "" when absent.
std::string ZqReadRegistryValue(const std::string &AName);
// "$(NAME)" references: cached variables, RAND, NEXT (file numbering),
// else the environment or the settings above.
std::string ZqExpandVariables(std::string_view AText);
std::string ZqExpandFileName(const std::string &AExplicit, const std::string &AGlobal, const std::string &ADefault);
// Forgets the cached variable values (tests and reconfiguration).
void ZqClearVariables();

// ---- time, dates, numbers -----------------------------------------------------------------

rtl::TSQLTimeStamp ZqDateTimeToTimeStamp(rtl::TDateTime AValue);
rtl::TDateTime ZqTimeStampToDateTime(const rtl::TSQLTimeStamp &AValue);
// dtTime storage: milliseconds since midnight.
int32_t ZqTimeStampToTime(const rtl::TSQLTimeStamp &AValue);
rtl::TSQLTimeStamp ZqTimeToTimeStamp(int32_t AMSecs);
// dtDate storage: day number, 0001-01-01 is 1.
int32_t ZqTimeStampToDate(const rtl::TSQLTimeStamp &AValue);
rtl::TSQLTimeStamp ZqDateToTimeStamp(int32_t ADays);
int32_t ZqTimeToMSecs(double AFraction);
double ZqMSecsToTime(int32_t AMSecs);
int32_t ZqDateToDays(rtl::TDateTime AValue);
rtl::TDateTime ZqDaysToDate(int32_t ADays);
// The toolkit date-time value of 0001-01-01.
rtl::TDateTime ZqBaseDate();

// Decimal text to the packed decimal. ALength -1: up to a terminating zero.
// "0" or empty: zero of precision 8, 2 places; 67 or more significant
// characters: that zero too. False (and zero) for a character that is no
// digit or separator.
bool ZqStrToBcd(const char *AText, int ALength, rtl::TBcd &ABcd, char ADecimalSeparator);
std::string ZqBcdToStr(const rtl::TBcd &ABcd, char ADecimalSeparator);
void ZqBcdToStr(const rtl::TBcd &ABcd, std::string &AText, int &ALength, char ADecimalSeparator);
// Decimal text to an integer of ASize bytes (1, 2, 4, 8) at ADest, with
// no overflow check; the sign is ignored for unsigned targets.
void ZqStrToInt(const char *AText, int ALength, void *ADest, bool AUnsigned, int ASize);

void ZqVarAdd(const rtl::Variant &A, const rtl::Variant &B, rtl::Variant &AResult);
void ZqVarSub(const rtl::Variant &A, const rtl::Variant &B, rtl::Variant &AResult);
// The quotient with "." as the decimal separator while it is computed.
void ZqVarDiv(const rtl::Variant &A, const rtl::Variant &B, rtl::Variant &AResult);

// The order of two references (an address with a count) the in-memory
// tables use: non-negative counts first, larger count first, then larger
// address first; two negative counts: smaller count first, then smaller
// address first.
int ZqCompareRefs(uintptr_t APtr1, int32_t ACount1, uintptr_t APtr2, int32_t ACount2);
inline int ZqCompareRefs(const void *APtr1, int32_t ACount1, const void *APtr2, int32_t ACount2)
{
    return ZqCompareRefs(reinterpret_cast<uintptr_t>(APtr1), ACount1, reinterpret_cast<uintptr_t>(APtr2), ACount2);
}

// True when ATimeout ms have passed since the tick count AStart; the 32-bit
// count may have wrapped once.
bool ZqTimeoutElapsed(uint32_t AStart, uint32_t ATimeout);
bool ZqTimeoutElapsed(uint32_t AStart, uint32_t ATimeout, uint32_t ANow);

// The program's application-wide exception display; nothing when none is
// installed.
using TZqExceptionHook = std::function<void(const std::exception &)>;
void ZqSetApplicationExceptionHook(TZqExceptionHook AHook);
// Shows the exception being handled (call inside a catch block).
void ZqHandleException();
void ZqHandleException(const std::exception &AException);
