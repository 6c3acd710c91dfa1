// The worker thread: messages in order, a stopping message drops the rest
// of its pass, idle steps, start/stop replies and a joined shutdown.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dataaccess/stan/qxZqStanUtil.h"

namespace {

class TRecordingThread : public TZqThread {
public:
    ~TRecordingThread() override { Shutdown(true); }
    std::vector<std::string> Log()
    {
        std::lock_guard<std::mutex> G(FLock);
        return FLog;
    }
    void Add(const std::string &S)
    {
        std::lock_guard<std::mutex> G(FLock);
        FLog.push_back(S);
    }
    std::atomic<int> Idles{0};
    std::atomic<int> ActiveChanges{0};
    std::atomic<bool> Gate{true};

protected:
    void DoIdle() override { ++Idles; }
    void DoActiveChanged() override { ++ActiveChanges; }

private:
    std::mutex FLock;
    std::vector<std::string> FLog;
};

class TLogMsg : public TZqThreadMsgBase {
public:
    TLogMsg(std::string AText, bool AGoOn = true, bool AThrow = false)
        : FText(std::move(AText)), FGoOn(AGoOn), FThrow(AThrow) {}
    bool Perform(TZqThread &AThread) override
    {
        auto &T = static_cast<TRecordingThread &>(AThread);
        while (!T.Gate.load()) std::this_thread::yield();
        T.Add(FText);
        if (FThrow) throw std::runtime_error("message failed");
        return FGoOn;
    }

private:
    std::string FText;
    bool FGoOn, FThrow;
};

template <typename F> bool WaitUntil(F &&Cond)
{
    for (int I = 0; I < 2000; ++I) {
        if (Cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return Cond();
}

} // namespace

TEST(WorkerThread, PerformsPostedMessagesInOrder)
{
    TRecordingThread T;
    T.SetActive(true);
    EXPECT_EQ(T.ActiveChanges, 1);
    T.Post(std::make_unique<TLogMsg>("a"));
    T.Post(std::make_unique<TLogMsg>("b"));
    ASSERT_TRUE(WaitUntil([&] { return T.Log().size() == 2; }));
    EXPECT_EQ(T.Log(), (std::vector<std::string>{"a", "b"}));
}

TEST(WorkerThread, StoppingMessageDropsTheRestOfItsPass)
{
    TRecordingThread T;
    T.SetActive(true);
    // Hold the worker inside the first message so that the next three
    // arrive together in one pass.
    T.Gate = false;
    T.Post(std::make_unique<TLogMsg>("first"));
    ASSERT_TRUE(WaitUntil([&] { return true; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    T.Post(std::make_unique<TLogMsg>("stop", false));
    T.Post(std::make_unique<TLogMsg>("dropped"));
    T.Post(std::make_unique<TLogMsg>("dropped too"));
    T.Gate = true;
    ASSERT_TRUE(WaitUntil([&] { return T.Log().size() >= 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(T.Log(), (std::vector<std::string>{"first", "stop"}));
    // The thread goes on with later posts.
    T.Post(std::make_unique<TLogMsg>("later"));
    ASSERT_TRUE(WaitUntil([&] { return T.Log().size() == 3; }));
}

TEST(WorkerThread, ExceptionInAMessageDoesNotEndTheLoop)
{
    TRecordingThread T;
    T.Post(std::make_unique<TLogMsg>("boom", true, true));
    ASSERT_TRUE(WaitUntil([&] { return T.Log().size() == 1; }));
    T.Post(std::make_unique<TLogMsg>("after"));
    ASSERT_TRUE(WaitUntil([&] { return T.Log().size() == 2; }));
}

TEST(WorkerThread, IdleStepRunsWhenNoMessageComes)
{
    TRecordingThread T;
    T.SetTimeout(5);
    T.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return T.Idles.load() >= 3; }));
}

TEST(WorkerThread, ShutdownJoinsAndStopsIdling)
{
    TRecordingThread T;
    T.SetTimeout(5);
    T.SetActive(true);
    T.Shutdown(true);
    EXPECT_TRUE(T.Terminated());
    EXPECT_FALSE(T.Active());
    int Idles = T.Idles;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(T.Idles.load(), Idles);
    T.Shutdown(true); // a second shutdown is harmless
}

TEST(WorkerThread, TerminateMessageEndsTheThread)
{
    TRecordingThread T;
    T.Post(std::make_unique<TZqThreadTerminateMsg>());
    ASSERT_TRUE(WaitUntil([&] { return T.Terminated(); }));
}

TEST(WorkerThread, NeverStartedThreadIsDestroyedQuietly)
{
    TRecordingThread T;
    EXPECT_FALSE(T.Active());
}

TEST(MemPool, BlocksOfTheGivenSize)
{
    TZqMemPool P(64, 0, 0);
    void *B = P.Alloc();
    std::memset(B, 0xAB, 64);
    P.Release(B);
    EXPECT_EQ(P.BlockSize(), 64u);
}

namespace {

// A worker whose loop may not end until it is allowed to.
class TStubbornThread : public TRecordingThread {
public:
    ~TStubbornThread() override
    {
        Allow = true;
        Shutdown(true);
    }
    std::atomic<bool> Allow{false};

protected:
    bool AllowTerminate() override { return Allow.load(); }
};

} // namespace

TEST(WorkerThread, WaitForEndWithATimeLimit)
{
    TStubbornThread T;
    T.SetTimeout(5);
    T.SetActive(true);
    T.Shutdown(false);
    EXPECT_FALSE(T.WaitForEnd(30)); // the worker does not agree to end yet
    T.Allow = true;
    EXPECT_TRUE(T.WaitForEnd(5000));
}

namespace {

// Posts to itself on every idle step.
class TSelfPostingThread : public TRecordingThread {
protected:
    void DoIdle() override { Post(std::make_unique<TLogMsg>("self")); }
};

} // namespace

TEST(WorkerThread, ShutdownWhileTheWorkerPostsToItself)
{
    for (int I = 0; I < 20; ++I) {
        TSelfPostingThread T;
        T.SetTimeout(1);
        T.SetActive(true);
        T.Shutdown(true);
        EXPECT_TRUE(T.Terminated());
    }
}
