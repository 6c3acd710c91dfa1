// Asynchronous execution: inline by default under the wait cursor, a
// worker thread with a time limit (error 700, the worker joined first),
// failures passed to the caller, the asynchronous mode's handler, the
// optional dialog and the pump hook.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "dataaccess/stan/qxZqStanAsync.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "tests/services/services_env.h"

using namespace std::chrono_literals;

namespace {

// Counts the wait indication; registered once for the process.
std::atomic<int> GStarts{0}, GStops{0};

class TFakeWaitCursor : public TZqObject, public virtual IZqGUIxWaitCursor {
public:
    void StartWait() override { ++GStarts; }
    void StopWait() override { ++GStops; }
};

std::atomic<int> GDialogShows{0}, GDialogHides{0};

class TFakeDialog : public TZqObject, public virtual IZqGUIxAsyncExecuteDialog {
public:
    void Show(IZqStanAsyncExecutor *, bool AShow) override { AShow ? ++GDialogShows : ++GDialogHides; }
    bool IsFormActive() override { return false; }
};

void Setup()
{
    ZqServicesTestSetup();
    static std::once_flag Once;
    std::call_once(Once, [] { ZqRegisterSingleton<TFakeWaitCursor>(IID_IZqGUIxWaitCursor); });
}

// An operation that records where it ran, may fail, and may run until it is
// aborted (then goes on using its statement for a while, as a driver does
// while it cancels).
class TOperation : public TZqObject, public virtual IZqStanAsyncOperation {
public:
    enum TKind { okQuick, okFail, okUntilAborted, okAbortedDbError };
    explicit TOperation(TKind AKind = okQuick) : FKind(AKind) {}
    void Execute() override
    {
        FThread = std::this_thread::get_id();
        ++FRuns;
        if (FKind == okFail)
            ZqRaiseError(nullptr, {"Phys"}, 306, {});
        if (FKind == okUntilAborted || FKind == okAbortedDbError) {
            std::unique_lock<std::mutex> L(FLock);
            FCond.wait_for(L, 5s, [&] { return FAborted; });
            L.unlock();
            std::this_thread::sleep_for(50ms);
            FLetGo = true;
            if (FKind == okAbortedDbError) {
                EZqDBEngineException E(1, "cancelled");
                E.Append(std::make_unique<TZqDBError>(1, 0, "cancelled", "", ekCmdAborted, -1));
                throw E;
            }
        }
    }
    void AbortJob() override
    {
        std::lock_guard<std::mutex> G(FLock);
        FAborted = true;
        FCond.notify_all();
    }
    bool AbortSupported() override { return true; }

    TKind FKind;
    std::atomic<std::thread::id> FThread{};
    std::atomic<int> FRuns{0};
    std::atomic<bool> FLetGo{false};
    std::mutex FLock;
    std::condition_variable FCond;
    bool FAborted = false;
};

class THandler : public TZqObject, public virtual IZqStanAsyncHandler {
public:
    void HandleFinished(IInterface *AInitiator, uint8_t AState, const rtl::Exception *AException) override
    {
        std::lock_guard<std::mutex> G(FLock);
        ++FCalls;
        FState = AState;
        FInitiatorNil = AInitiator == nullptr;
        FThread = std::this_thread::get_id();
        FMessage = AException ? AException->Message() : "";
        FCond.notify_all();
    }
    bool WaitCalled()
    {
        std::unique_lock<std::mutex> L(FLock);
        return FCond.wait_for(L, 5s, [&] { return FCalls > 0; });
    }
    std::mutex FLock;
    std::condition_variable FCond;
    int FCalls = 0;
    uint8_t FState = 0;
    bool FInitiatorNil = false;
    std::thread::id FThread;
    std::string FMessage;
};

TZqIntfPtr<IZqStanAsyncExecutor> NewExecutor()
{
    Setup();
    TZqIntfPtr<IZqStanAsyncExecutor> E;
    ZqCreateInterface(E);
    return E;
}

} // namespace

TEST(AsyncExecutor, DefaultModeRunsInlineUnderTheWaitCursor)
{
    auto E = NewExecutor();
    TZqIntfPtr<TOperation> Op(new TOperation());
    TZqIntfPtr<THandler> H(new THandler());
    int Starts = GStarts, Stops = GStops;
    E->Setup(TZqIntfPtr<IZqStanAsyncOperation>(Op.Get()), amBlocking, CZqAsyncNoTimeout,
             TZqIntfPtr<IZqStanAsyncHandler>(H.Get()));
    E->Run();
    EXPECT_EQ(Op->FThread.load(), std::this_thread::get_id());
    EXPECT_EQ(E->GetState(), ZqAsyncFinished);
    EXPECT_EQ(GStarts - Starts, 1);
    EXPECT_EQ(GStops - Stops, 1);
    EXPECT_EQ(H->FCalls, 1);
    EXPECT_EQ(H->FState, ZqAsyncFinished);
    EXPECT_TRUE(H->FInitiatorNil);
}

// A command keeps its executor between statements: a cleared executor holds
// neither the last operation nor its handler (either could hold the command),
// and runs the next set-up as a new one would, after a failure too and in
// another mode.
TEST(AsyncExecutor, AClearedExecutorHoldsNothingAndRunsTheNextSetUpAsNew)
{
    auto E = NewExecutor();
    TZqIntfPtr<TOperation> Fails(new TOperation(TOperation::okFail));
    TZqIntfPtr<THandler> H1(new THandler());
    E->Setup(TZqIntfPtr<IZqStanAsyncOperation>(Fails.Get()), amBlocking, CZqAsyncNoTimeout,
             TZqIntfPtr<IZqStanAsyncHandler>(H1.Get()));
    EXPECT_EQ(CodeOf([&] { E->Run(); }), 306);
    E->Clear();
    EXPECT_FALSE(E->GetOperation());
    EXPECT_FALSE(E->GetHandler());
    EXPECT_EQ(Fails->RefCount(), 1);
    EXPECT_EQ(H1->RefCount(), 1);

    for (int Round = 0; Round < 3; ++Round) {
        TZqIntfPtr<TOperation> Op(new TOperation());
        TZqIntfPtr<THandler> H(new THandler());
        const int Starts = GStarts, Stops = GStops;
        E->Setup(TZqIntfPtr<IZqStanAsyncOperation>(Op.Get()), amBlocking, CZqAsyncNoTimeout,
                 TZqIntfPtr<IZqStanAsyncHandler>(H.Get()));
        E->Run();
        EXPECT_EQ(E->GetState(), ZqAsyncFinished);
        EXPECT_EQ(Op->FRuns, 1);
        EXPECT_EQ(H->FCalls, 1);
        EXPECT_EQ(H->FState, ZqAsyncFinished);
        EXPECT_TRUE(H->FMessage.empty()) << "the earlier failure leaked into run " << Round;
        EXPECT_EQ(GStarts - Starts, 1);
        EXPECT_EQ(GStops - Stops, 1);
        E->Clear();
    }

    // On to a worker thread with a time limit after the inline runs.
    TZqIntfPtr<TOperation> Op(new TOperation());
    E->Setup(TZqIntfPtr<IZqStanAsyncOperation>(Op.Get()), amBlocking, 5000, nullptr);
    E->Run();
    EXPECT_NE(Op->FThread.load(), std::this_thread::get_id());
    EXPECT_EQ(E->GetState(), ZqAsyncFinished);
    E->Clear();
    EXPECT_EQ(Op->RefCount(), 1);
}

TEST(AsyncExecutor, InlineFailureReachesTheCaller)
{
    auto E = NewExecutor();
    TZqIntfPtr<TOperation> Op(new TOperation(TOperation::okFail));
    int Stops = GStops;
    E->Setup(TZqIntfPtr<IZqStanAsyncOperation>(Op.Get()), amBlocking, CZqAsyncNoTimeout, nullptr);
    EXPECT_EQ(CodeOf([&] { E->Run(); }), 306);
    EXPECT_EQ(E->GetState(), ZqAsyncFailed);
    EXPECT_EQ(GStops - Stops, 1);
}

TEST(AsyncExecutor, TimeLimitAbortsRaises700AfterTheWorkerLetGo)
{
    auto E = NewExecutor();
    TZqIntfPtr<TOperation> Op(new TOperation(TOperation::okUntilAborted));
    E->Setup(TZqIntfPtr<IZqStanAsyncOperation>(Op.Get()), amBlocking, 100, nullptr);
    auto T0 = std::chrono::steady_clock::now();
    try {
        E->Run();
        FAIL() << "no time-out";
    } catch (const EZqException &X) {
        EXPECT_EQ(X.ErrorCode(), 700);
        EXPECT_NE(std::string(X.Message()).find("Timeout expired"), std::string::npos);
        // The operation had finished with its statement before the error.
        EXPECT_TRUE(Op->FLetGo.load());
    }
    EXPECT_GE(std::chrono::steady_clock::now() - T0, 100ms);
    EXPECT_NE(Op->FThread.load(), std::this_thread::get_id());
    EXPECT_EQ(E->GetState(), ZqAsyncTimedOut);
}

TEST(AsyncExecutor, CancelledDatabaseErrorAfterTimeoutGivesTheTimeout)
{
    auto E = NewExecutor();
    TZqIntfPtr<TOperation> Op(new TOperation(TOperation::okAbortedDbError));
    E->Setup(TZqIntfPtr<IZqStanAsyncOperation>(Op.Get()), amBlocking, 50, nullptr);
    EXPECT_EQ(CodeOf([&] { E->Run(); }), 700);
}

TEST(AsyncExecutor, FailureOnTheWorkerIsRaisedAgainInTheCaller)
{
    auto E = NewExecutor();
    TZqIntfPtr<TOperation> Op(new TOperation(TOperation::okFail));
    E->Setup(TZqIntfPtr<IZqStanAsyncOperation>(Op.Get()), amBlocking, 5000, nullptr);
    EXPECT_EQ(CodeOf([&] { E->Run(); }), 306);
    EXPECT_EQ(E->GetState(), ZqAsyncFailed);
    EXPECT_NE(Op->FThread.load(), std::this_thread::get_id());
}

TEST(AsyncExecutor, AsyncModeReportsThroughTheHandlerOnce)
{
    TZqIntfPtr<THandler> H(new THandler());
    TZqIntfPtr<TOperation> Op(new TOperation(TOperation::okUntilAborted));
    int Starts = GStarts;
    {
        auto E = NewExecutor();
        E->Setup(TZqIntfPtr<IZqStanAsyncOperation>(Op.Get()), amAsync, CZqAsyncNoTimeout,
                 TZqIntfPtr<IZqStanAsyncHandler>(H.Get()));
        E->Run();
        // Run came back while the operation still waits to be released.
        EXPECT_EQ(H->FCalls, 0);
        Op->AbortJob();
    }
    ASSERT_TRUE(H->WaitCalled());
    EXPECT_EQ(H->FCalls, 1);
    EXPECT_EQ(H->FState, ZqAsyncFinished);
    EXPECT_NE(H->FThread, std::this_thread::get_id());
    EXPECT_EQ(GStarts - Starts, 0);

    TZqIntfPtr<THandler> H2(new THandler());
    auto E2 = NewExecutor();
    E2->Setup(TZqIntfPtr<IZqStanAsyncOperation>(new TOperation(TOperation::okFail)), amAsync, CZqAsyncNoTimeout,
              TZqIntfPtr<IZqStanAsyncHandler>(H2.Get()));
    E2->Run();
    ASSERT_TRUE(H2->WaitCalled());
    EXPECT_EQ(H2->FState, ZqAsyncFailed);
    EXPECT_NE(H2->FMessage.find("306"), std::string::npos);
}

namespace {
std::atomic<int> GPumps{0};
std::atomic<bool> GPumpUserInput{false};
void CountingPump(bool AUserInput)
{
    ++GPumps;
    GPumpUserInput = AUserInput;
}
bool NotSilent() { return false; }
} // namespace

TEST(AsyncExecutor, DialogModesNeedTheOptionalDialog)
{
    // No dialog registered: not an error, the operation blocks inline.
    auto E = NewExecutor();
    ZqSetGUISilentHook(&NotSilent);
    TZqIntfPtr<TOperation> Op(new TOperation());
    E->Setup(TZqIntfPtr<IZqStanAsyncOperation>(Op.Get()), amNonBlocking, CZqAsyncNoTimeout, nullptr);
    EXPECT_EQ(E->GetMode(), amBlocking);
    E->Run();
    EXPECT_EQ(Op->FThread.load(), std::this_thread::get_id());

    // With a dialog the operation runs on a thread while the caller pumps.
    ZqRegisterMultiInstance<TFakeDialog>(IID_IZqGUIxAsyncExecuteDialog);
    ZqSetMessagePumpHook(&CountingPump);
    auto D = NewExecutor();
    TZqIntfPtr<TOperation> Slow(new TOperation(TOperation::okUntilAborted));
    D->Setup(TZqIntfPtr<IZqStanAsyncOperation>(Slow.Get()), amCancelDialog, CZqAsyncNoTimeout, nullptr);
    EXPECT_EQ(D->GetMode(), amCancelDialog);
    EXPECT_EQ(TZqStanAsyncExecutor::DialogCount(), 1);
    auto Second = NewExecutor();
    EXPECT_EQ(CodeOf([&] {
                  Second->Setup(TZqIntfPtr<IZqStanAsyncOperation>(new TOperation()), amCancelDialog, 0, nullptr);
              }),
              705);
    std::thread Releaser([&] {
        std::this_thread::sleep_for(60ms);
        Slow->AbortJob();
    });
    int Shows = GDialogShows, Hides = GDialogHides;
    D->Run();
    Releaser.join();
    EXPECT_NE(Slow->FThread.load(), std::this_thread::get_id());
    EXPECT_GT(GPumps.load(), 0);
    EXPECT_TRUE(GPumpUserInput.load());
    EXPECT_EQ(GDialogShows - Shows, 1);
    EXPECT_EQ(GDialogHides - Hides, 1);
    D.Reset();
    EXPECT_EQ(TZqStanAsyncExecutor::DialogCount(), 0);

    // A silent interface (or another thread) turns the dialog modes into blocking.
    ZqSetGUISilentHook(nullptr);
    auto S = NewExecutor();
    S->Setup(TZqIntfPtr<IZqStanAsyncOperation>(new TOperation()), amNonBlocking, CZqAsyncNoTimeout, nullptr);
    EXPECT_EQ(S->GetMode(), amBlocking);
    ZqSetMessagePumpHook(nullptr);
}

TEST(AsyncExecutor, AbortFromAnotherThreadIsSilent)
{
    auto E = NewExecutor();
    TZqIntfPtr<TOperation> Op(new TOperation(TOperation::okUntilAborted));
    E->Setup(TZqIntfPtr<IZqStanAsyncOperation>(Op.Get()), amBlocking, 5000, nullptr);
    std::thread Aborter([&] {
        std::this_thread::sleep_for(30ms);
        E->AbortJob();
    });
    EXPECT_THROW(E->Run(), rtl::EAbort);
    Aborter.join();
    EXPECT_EQ(E->GetState(), ZqAsyncAborted);
}
