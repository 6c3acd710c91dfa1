// qxZqStanAsync: runs one long operation (the execution, opening or
// fetching of a driver command) in one of four modes:
//   amBlocking      the caller waits; with no time limit the operation runs
//                   inline on the caller's thread and no thread is created;
//   amNonBlocking   the caller waits on a thread of its own and keeps its
//                   user interface working through the program's pump hook;
//   amCancelDialog  the same behind the cancel dialog;
//   amAsync         the caller does not wait; the handler learns of the end.
// With a time limit, or in the dialog modes, the operation runs on a worker
// thread. The dialog modes need the asynchronous-execution dialog, an
// optional service that no unit of the library registers: without it (or
// when the user interface is silent, or off the main thread) they run as
// amBlocking. Every mode but amAsync shows the wait cursor, a required
// service that the client components register.
//
// Executor states: 0 after Setup; 2 finished; 3 failed (the operation
// raised); 4 aborted (AbortJob); 5 timed out. An executor serves one Setup
// and one Run.
//
// The library includes no user-interface code: the program installs the
// message pump and the silent test as hooks.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanIntf.h"

class IZqStanAsyncExecutor;

// The executor states.
enum : uint8_t { ZqAsyncSetUp = 0, ZqAsyncFinished = 2, ZqAsyncFailed = 3, ZqAsyncAborted = 4, ZqAsyncTimedOut = 5 };

// The time limit that means none.
inline constexpr uint32_t CZqAsyncNoTimeout = 0xFFFFFFFFu;

class IZqStanAsyncOperation : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanAsyncOperation;
    virtual void Execute() = 0;
    // Called from the waiting thread while Execute runs on the worker.
    virtual void AbortJob() = 0;
    // Whether the operation can be aborted while it runs (not called by the executor).
    virtual bool AbortSupported() = 0;
};

class IZqStanAsyncHandler : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanAsyncHandler;
    // Called once when an operation ends; AInitiator is nil; AException is
    // nil unless the operation failed (it lives until the call returns).
    virtual void HandleFinished(IInterface *AInitiator, uint8_t AState, const rtl::Exception *AException) = 0;
};

class IZqStanAsyncExecutor : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanAsyncExecutor;
    virtual uint8_t GetState() = 0;
    virtual TZqStanAsyncMode GetMode() = 0;
    virtual uint32_t GetTimeout() = 0;
    virtual TZqIntfPtr<IZqStanAsyncOperation> GetOperation() = 0;
    virtual TZqIntfPtr<IZqStanAsyncHandler> GetHandler() = 0;
    // ATimeout in milliseconds, CZqAsyncNoTimeout for none; AHandler may be nil.
    virtual void Setup(const TZqIntfPtr<IZqStanAsyncOperation> &AOperation, TZqStanAsyncMode AMode,
                       uint32_t ATimeout, const TZqIntfPtr<IZqStanAsyncHandler> &AHandler) = 0;
    virtual void Run() = 0;
    virtual void AbortJob() = 0;
    // After a run: lets go of the operation, the handler and any captured
    // error, so that an executor kept for the next Setup holds nothing.
    virtual void Clear() = 0;
};

// The wait indication (the hourglass), registered by the client components.
class IZqGUIxWaitCursor : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqGUIxWaitCursor;
    virtual void StartWait() = 0;
    virtual void StopWait() = 0;
    // Shows the cursor again as SuspendWait found it (around a dialog).
    virtual void RestoreWait() {}
    // Remembers whether the cursor shows, then hides it.
    virtual void SuspendWait() {}
};

// The cancel dialog of the dialog modes (registered by no unit of the library).
class IZqGUIxAsyncExecuteDialog : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqGUIxAsyncExecuteDialog;
    // Shows the dialog for the executor (AShow True) or hides it (nil, False).
    virtual void Show(IZqStanAsyncExecutor *AExecutor, bool AShow) = 0;
    // Whether the dialog takes keyboard input now.
    virtual bool IsFormActive() = 0;
};

// ---- hooks the program installs ------------------------------------------------------

// Processes pending messages of the program's main loop. AUserInput False
// asks for posted messages only (the blocking mode keeps user input out).
using TZqMessagePumpHook = void (*)(bool AUserInput);
void ZqSetMessagePumpHook(TZqMessagePumpHook AHook);
// True when the user interface must not be shown to: the silent flag is set
// or the caller is not on the program's main thread.
using TZqGUISilentHook = bool (*)();
void ZqSetGUISilentHook(TZqGUISilentHook AHook);
// The installed answer; True when no hook is installed (no user interface).
bool ZqIsGUISilentNow();

class TZqStanAsyncExecutor : public TZqObject, public virtual IZqStanAsyncExecutor {
public:
    TZqStanAsyncExecutor() = default;
    ~TZqStanAsyncExecutor() override;
    std::string ClassName() const override { return "TZqStanAsyncExecutor"; }

    uint8_t GetState() override { return FState.load(); }
    TZqStanAsyncMode GetMode() override { return FMode; }
    uint32_t GetTimeout() override { return FTimeout; }
    TZqIntfPtr<IZqStanAsyncOperation> GetOperation() override { return FOperation; }
    TZqIntfPtr<IZqStanAsyncHandler> GetHandler() override { return FHandler; }
    void Setup(const TZqIntfPtr<IZqStanAsyncOperation> &AOperation, TZqStanAsyncMode AMode, uint32_t ATimeout,
               const TZqIntfPtr<IZqStanAsyncHandler> &AHandler) override;
    void Run() override;
    void AbortJob() override;
    void Clear() override;

    // Executors holding a dialog, in the whole process.
    static int DialogCount();

private:
    void ThreadProc();
    void WaitForThread();
    void SetStateBelow2(uint8_t AState);

    TZqIntfPtr<IZqStanAsyncOperation> FOperation;
    TZqIntfPtr<IZqStanAsyncHandler> FHandler;
    TZqIntfPtr<IZqGUIxAsyncExecuteDialog> FDialog;
    uint32_t FTimeout = CZqAsyncNoTimeout;
    std::atomic<uint8_t> FState{ZqAsyncSetUp};
    TZqStanAsyncMode FMode = amBlocking;
    bool FCounted = false;
    std::thread FThread;
    std::thread::id FCallerThread;
    std::atomic<bool> FTerminated{false};
    std::unique_ptr<rtl::Exception> FException; // captured on the worker, owned until raised or handed over
    std::mutex FLock;
    std::condition_variable FDoneCond;
    bool FDone = false;
};

// Registers the executor factory.
void RegisterStanAsync();
