// qxZqStanAsync: the asynchronous executor and the program's hooks.
#include "dataaccess/stan/qxZqStanAsync.h"

#include <chrono>

#include "dataaccess/stan/qxZqStanError.h"

namespace {

std::atomic<int> GDialogCount{0};
std::atomic<TZqMessagePumpHook> GPumpHook{nullptr};
std::atomic<TZqGUISilentHook> GSilentHook{nullptr};

// How often a waiting caller gives its message pump a turn.
constexpr auto CPumpInterval = std::chrono::milliseconds(10);

} // namespace

void ZqSetMessagePumpHook(TZqMessagePumpHook AHook) { GPumpHook.store(AHook); }
void ZqSetGUISilentHook(TZqGUISilentHook AHook) { GSilentHook.store(AHook); }

bool ZqIsGUISilentNow()
{
    TZqGUISilentHook H = GSilentHook.load();
    return H ? H() : true;
}

int TZqStanAsyncExecutor::DialogCount() { return GDialogCount.load(); }

TZqStanAsyncExecutor::~TZqStanAsyncExecutor()
{
    if (FThread.joinable()) {
        // In the asynchronous mode the worker may hold the last reference.
        if (FThread.get_id() == std::this_thread::get_id())
            FThread.detach();
        else
            FThread.join();
    }
    if (FCounted)
        GDialogCount.fetch_sub(1);
}

void TZqStanAsyncExecutor::SetStateBelow2(uint8_t AState)
{
    uint8_t Cur = FState.load();
    while (Cur < ZqAsyncFinished && !FState.compare_exchange_weak(Cur, AState)) {
    }
}

void TZqStanAsyncExecutor::Setup(const TZqIntfPtr<IZqStanAsyncOperation> &AOperation, TZqStanAsyncMode AMode,
                                 uint32_t ATimeout, const TZqIntfPtr<IZqStanAsyncHandler> &AHandler)
{
    ZQ_ASSERT(AOperation, "qxZqStanAsync");
    FOperation = AOperation;
    FMode = AMode;
    FTimeout = ATimeout;
    FHandler = AHandler;
    FState.store(ZqAsyncSetUp);
    if (FMode != amNonBlocking && FMode != amCancelDialog)
        return;
    if (ZqIsGUISilentNow()) {
        FMode = amBlocking;
        return;
    }
    if (GDialogCount.load() > 0)
        ZqRaiseError(this, {"Stan"}, 705, {});
    // The dialog is optional: nothing registers it, and without it the
    // operation simply blocks.
    ZqCreateInterface(FDialog, false);
    if (FDialog) {
        GDialogCount.fetch_add(1);
        FCounted = true;
    } else {
        FMode = amBlocking;
    }
}

void TZqStanAsyncExecutor::Clear()
{
    // The worker, when there was one, has ended with the join: nothing else
    // touches what is cleared here (a blocking run had no worker at all).
    if (FThread.joinable())
        FThread.join();
    FOperation.Reset();
    FHandler.Reset();
    FException.reset();
    FDone = false;
}

void TZqStanAsyncExecutor::AbortJob()
{
    FState.store(ZqAsyncAborted);
    FTerminated.store(true);
    if (FOperation)
        FOperation->AbortJob();
}

void TZqStanAsyncExecutor::ThreadProc()
{
    std::unique_ptr<rtl::Exception> Captured;
    try {
        FOperation->Execute();
    } catch (const rtl::Exception &E) {
        Captured = E.Clone();
    } catch (const std::exception &E) {
        Captured = std::make_unique<rtl::Exception>(E.what());
    } catch (...) {
        Captured = std::make_unique<rtl::Exception>("Unknown exception in an asynchronous operation");
    }
    if (Captured)
        SetStateBelow2(ZqAsyncFailed);
    SetStateBelow2(ZqAsyncFinished);
    {
        std::lock_guard<std::mutex> G(FLock);
        FException = std::move(Captured);
    }
    if (FMode == amAsync && FHandler) {
        try {
            FHandler->HandleFinished(nullptr, FState.load(), FException.get());
        } catch (...) {
            // Nothing on this thread could report it.
        }
    }
    {
        std::lock_guard<std::mutex> G(FLock);
        FDone = true;
    }
    FDoneCond.notify_all();
}

void TZqStanAsyncExecutor::WaitForThread()
{
    using Clock = std::chrono::steady_clock;
    const auto Start = Clock::now();
    const bool Limited = FTimeout != CZqAsyncNoTimeout;
    const auto Deadline = Start + std::chrono::milliseconds(Limited ? FTimeout : 0);
    const bool UserInput = FMode != amBlocking;
    bool TimedOut = false;
    for (;;) {
        std::unique_lock<std::mutex> L(FLock);
        if (FDone)
            break;
        auto Slice = std::chrono::steady_clock::duration(CPumpInterval);
        if (Limited) {
            auto Left = Deadline - Clock::now();
            if (Left <= Clock::duration::zero()) {
                TimedOut = true;
                break;
            }
            Slice = std::min(Slice, Left);
        }
        if (FDoneCond.wait_for(L, Slice, [&] { return FDone; }))
            break;
        L.unlock();
        if (TZqMessagePumpHook Pump = GPumpHook.load())
            Pump(UserInput);
    }
    if (TimedOut) {
        AbortJob();
        FState.store(ZqAsyncTimedOut);
    }
    // The worker must let go of the command before the caller goes on with
    // it, so that no two threads ever use one statement.
    if (FThread.joinable())
        FThread.join();
}

void TZqStanAsyncExecutor::Run()
{
    ZQ_ASSERT(FState.load() == ZqAsyncSetUp && FOperation, "qxZqStanAsync");
    TZqIntfPtr<IZqStanAsyncExecutor> Self(this); // alive until the end of Run
    FCallerThread = std::this_thread::get_id();
    TZqIntfPtr<IZqGUIxWaitCursor> Cursor;
    if (FMode != amAsync) {
        ZqCreateInterface(Cursor, true);
        if (Cursor)
            Cursor->StartWait();
    }
    // The last step whatever happened: the wait cursor and the handler.
    struct TFinally {
        TZqStanAsyncExecutor &E;
        TZqIntfPtr<IZqGUIxWaitCursor> &Cursor;
        ~TFinally() noexcept(false)
        {
            if (E.FMode == amAsync)
                return;
            bool Unwinding = std::uncaught_exceptions() > 0;
            try {
                if (Cursor)
                    Cursor->StopWait();
                if (E.FHandler)
                    E.FHandler->HandleFinished(nullptr, E.FState.load(), E.FException.get());
            } catch (...) {
                if (!Unwinding)
                    throw;
            }
            E.FException.reset();
        }
    } Finally{*this, Cursor};

    if (FMode == amBlocking && FTimeout == CZqAsyncNoTimeout) {
        try {
            FOperation->Execute();
        } catch (...) {
            FState.store(ZqAsyncFailed);
            throw;
        }
        FState.store(ZqAsyncFinished);
        return;
    }

    if (FMode == amAsync) {
        // The worker keeps the executor alive until it has reported.
        FThread = std::thread([this, Keep = Self] { ThreadProc(); });
        return;
    }
    FThread = std::thread([this] { ThreadProc(); });
    if (FMode == amCancelDialog && FDialog)
        FDialog->Show(this, true);
    try {
        WaitForThread();
    } catch (...) {
        if (FThread.joinable())
            FThread.join();
        if (FMode == amCancelDialog && FDialog)
            FDialog->Show(nullptr, false);
        throw;
    }
    if (FMode == amCancelDialog && FDialog)
        FDialog->Show(nullptr, false);

    uint8_t State = FState.load();
    if (FException) {
        auto *DB = dynamic_cast<EZqDBEngineException *>(FException.get());
        bool Cancelled = DB && DB->Kind() == ekCmdAborted && (State == ZqAsyncAborted || State == ZqAsyncTimedOut);
        if (!Cancelled) {
            // A copy is thrown; the handler still sees the captured one.
            FState.store(ZqAsyncFailed);
            FException->Raise();
        }
    }
    if (State == ZqAsyncTimedOut)
        ZqRaiseError(this, {"Stan"}, 700, {});
    if (State == ZqAsyncAborted)
        rtl::Abort();
    SetStateBelow2(ZqAsyncFinished);
}

void RegisterStanAsync() { ZqRegisterMultiInstance<TZqStanAsyncExecutor>(IID_IZqStanAsyncExecutor); }
