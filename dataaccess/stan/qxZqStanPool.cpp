// qxZqStanPool: the resource pool, its worker and its allocator.
#include "dataaccess/stan/qxZqStanPool.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>

#include "dataaccess/stan/qxZqStanDef.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanUtil.h"

namespace {

using TClock = std::chrono::steady_clock;

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now().time_since_epoch()).count();
}


// A manual-reset event for one waiting caller.
class TRequestEvent {
public:
    void Set()
    {
        std::lock_guard<std::mutex> G(FLock);
        FSet = true;
        FCond.notify_all();
    }
    bool WaitFor(int AMilliseconds)
    {
        std::unique_lock<std::mutex> L(FLock);
        return FCond.wait_for(L, std::chrono::milliseconds(AMilliseconds), [&] { return FSet; });
    }

private:
    std::mutex FLock;
    std::condition_variable FCond;
    bool FSet = false;
};

} // namespace

// One waiting caller's request.
struct TZqPoolRequest {
    TRequestEvent Event;
    TZqIntfPtr<IZqStanObject> Item;
    int64_t StartTime = 0;
    int64_t WaitedTime = 0;
    bool ServedAtOnce = false;
};
using TZqPoolRequestPtr = std::shared_ptr<TZqPoolRequest>;

// ---- threads ----------------------------------------------------------------------

class TZqPoolThread : public TZqThread {
public:
    explicit TZqPoolThread(TZqResourcePool &APool) : FPool(APool) {}
    // Lets the thread end although its own condition does not hold (Close
    // after its bounded wait).
    void ForceStop() { FForced.store(true); }

protected:
    TZqResourcePool &FPool; // the pool owns and stops this thread
    std::atomic<bool> FForced{false};
};

class TZqPoolWorker : public TZqPoolThread {
public:
    using TZqPoolThread::TZqPoolThread;
    ~TZqPoolWorker() override { Shutdown(true); }

    void HandleGet(const TZqPoolRequestPtr &ARequest);
    void HandleGetTimeout(const TZqPoolRequestPtr &ARequest);
    void HandlePut(const TZqIntfPtr<IZqStanObject> &AItem);

protected:
    bool AllowTerminate() override
    {
        if (FForced.load())
            return true;
        std::lock_guard<std::mutex> G(FPool.FBusy.Lock);
        return FPool.FWaiting.load() == 0 && FPool.FBusy.Items.empty();
    }
    void DoActiveChanged() override
    {
        if (Active() && !FStarted) {
            FStarted = true;
            FLastDecision = TClock::now();
            FPool.RequestNewItems(FPool.FOptimalItems);
        }
    }
    void DoIdle() override;

private:
    TZqIntfPtr<IZqStanObject> TakeFreeItem();
    std::deque<TZqPoolRequestPtr> FQueue; // touched on this thread only
    bool FStarted = false;
    TClock::time_point FLastDecision;
    int64_t FBusySum = 0;
    int64_t FFreeSum = 0;
};

class TZqPoolAllocator : public TZqPoolThread {
public:
    using TZqPoolThread::TZqPoolThread;
    ~TZqPoolAllocator() override { Shutdown(true); }

    void CreateItems(int64_t ACount);
    void FreeItems(int64_t ACount);

protected:
    bool AllowTerminate() override
    {
        return FForced.load() || (FPool.FreeCount() == 0 && FPool.BusyCount() == 0);
    }
};

namespace {

class TWorkerGetMsg : public TZqThreadMsgBase {
public:
    explicit TWorkerGetMsg(TZqPoolRequestPtr AReq) : FReq(std::move(AReq)) {}
    bool Perform(TZqThread &T) override
    {
        static_cast<TZqPoolWorker &>(T).HandleGet(FReq);
        return true;
    }

private:
    TZqPoolRequestPtr FReq;
};

class TWorkerGetTimeoutMsg : public TZqThreadMsgBase {
public:
    explicit TWorkerGetTimeoutMsg(TZqPoolRequestPtr AReq) : FReq(std::move(AReq)) {}
    bool Perform(TZqThread &T) override
    {
        static_cast<TZqPoolWorker &>(T).HandleGetTimeout(FReq);
        return true;
    }

private:
    TZqPoolRequestPtr FReq;
};

class TWorkerPutMsg : public TZqThreadMsgBase {
public:
    // The message holds its own reference to the item until it is performed.
    explicit TWorkerPutMsg(TZqIntfPtr<IZqStanObject> AItem) : FItem(std::move(AItem)) {}
    bool Perform(TZqThread &T) override
    {
        static_cast<TZqPoolWorker &>(T).HandlePut(FItem);
        return true;
    }

private:
    TZqIntfPtr<IZqStanObject> FItem;
};

class TAllocatorNewItemMsg : public TZqThreadMsgBase {
public:
    explicit TAllocatorNewItemMsg(int64_t ACount) : FCount(ACount) {}
    bool Perform(TZqThread &T) override
    {
        static_cast<TZqPoolAllocator &>(T).CreateItems(FCount);
        return true;
    }

private:
    int64_t FCount;
};

class TAllocatorFreeItemMsg : public TZqThreadMsgBase {
public:
    explicit TAllocatorFreeItemMsg(int64_t ACount) : FCount(ACount) {}
    bool Perform(TZqThread &T) override
    {
        static_cast<TZqPoolAllocator &>(T).FreeItems(FCount);
        return true;
    }

private:
    int64_t FCount;
};

} // namespace

TZqIntfPtr<IZqStanObject> TZqPoolWorker::TakeFreeItem()
{
    TZqIntfPtr<IZqStanObject> Item;
    {
        std::lock_guard<std::mutex> G(FPool.FFree.Lock);
        if (!FPool.FFree.Items.empty()) {
            // The most recently returned item is reused first.
            Item = std::move(FPool.FFree.Items.back());
            FPool.FFree.Items.pop_back();
        }
    }
    if (!Item) {
        if (FPool.FPendingCreations.load() == 0 && FPool.PoolSize() < FPool.FMaximumItems)
            FPool.RequestNewItems(1);
        return Item;
    }
    std::lock_guard<std::mutex> G(FPool.FBusy.Lock);
    FPool.FBusy.Items.push_back(Item);
    return Item;
}

void TZqPoolWorker::HandleGet(const TZqPoolRequestPtr &ARequest)
{
    bool AnyFree;
    {
        std::lock_guard<std::mutex> G(FPool.FFree.Lock);
        AnyFree = !FPool.FFree.Items.empty();
    }
    if (FQueue.empty() && AnyFree) {
        ARequest->ServedAtOnce = true;
        std::lock_guard<std::mutex> G(FPool.FStatLock);
        ++FPool.FStats.ServedAtOnce;
    } else {
        ARequest->StartTime = NowNs();
    }
    FQueue.push_back(ARequest);
}

void TZqPoolWorker::HandleGetTimeout(const TZqPoolRequestPtr &ARequest)
{
    for (auto It = FQueue.begin(); It != FQueue.end(); ++It)
        if (*It == ARequest) {
            FQueue.erase(It);
            break;
        }
    // Served just before the caller gave up: the item goes back, else it
    // would stay busy for ever.
    if (ARequest->Item) {
        HandlePut(ARequest->Item);
        ARequest->Item.Reset();
    }
}

void TZqPoolWorker::HandlePut(const TZqIntfPtr<IZqStanObject> &AItem)
{
    {
        std::lock_guard<std::mutex> G(FPool.FBusy.Lock);
        auto &B = FPool.FBusy.Items;
        auto It = std::find(B.begin(), B.end(), AItem);
        ZQ_ASSERT(It != B.end(), "qxZqStanPool");
        B.erase(It);
    }
    std::lock_guard<std::mutex> G(FPool.FFree.Lock);
    auto &F = FPool.FFree.Items;
    ZQ_ASSERT(std::find(F.begin(), F.end(), AItem) == F.end(), "qxZqStanPool");
    F.push_back(AItem);
}

void TZqPoolWorker::DoIdle()
{
    // 1. Serve the queue in arrival order.
    while (!FQueue.empty()) {
        TZqIntfPtr<IZqStanObject> Item = TakeFreeItem();
        if (!Item)
            break;
        TZqPoolRequestPtr R = FQueue.front();
        FQueue.pop_front();
        R->WaitedTime = R->ServedAtOnce ? 0 : NowNs() - R->StartTime;
        R->Item = Item;
        R->Event.Set();
    }
    // 2. Grow or shrink by the demand seen since the last decision.
    if (TClock::now() - FLastDecision >= std::chrono::milliseconds(FPool.FGCLatencyPeriod)) {
        if (FFreeSum * 2 < FBusySum && FPool.PoolSize() < FPool.FMaximumItems)
            FPool.RequestNewItems(FPool.FPoolGrowDelta);
        else if (FBusySum * 2 < FFreeSum && FPool.PoolSize() > FPool.FOptimalItems)
            FPool.RequestFreeItems(FPool.FPoolGrowDelta);
        FBusySum = FFreeSum = 0;
        FLastDecision = TClock::now();
    } else {
        FBusySum += FPool.BusyCount();
        FFreeSum += FPool.FreeCount();
    }
}

void TZqPoolAllocator::CreateItems(int64_t ACount)
{
    int64_t Made = 0;
    try {
        if (FPool.FOpenCount.load() > 0)
            for (int64_t I = 0; I < ACount && !Terminated(); ++I) {
                if (FPool.FreeCount() + FPool.BusyCount() >= FPool.FMaximumItems)
                    break;
                std::lock_guard<std::mutex> G(FPool.FFree.Lock);
                TZqIntfPtr<IZqStanObject> Item;
                FPool.FHost->CreateObject(Item);
                if (!Item)
                    break;
                FPool.FFree.Items.push_back(Item);
                FPool.SetLastError("");
                FPool.FPendingCreations.fetch_sub(1);
                ++Made;
                std::lock_guard<std::mutex> S(FPool.FStatLock);
                ++FPool.FStats.ItemsCreated;
            }
    } catch (const std::exception &E) {
        // Any failure of the host is the reason a waiting caller is given.
        FPool.SetLastError(E.what());
    } catch (...) {
        FPool.SetLastError("Unknown error creating a pool item");
    }
    FPool.FPendingCreations.fetch_sub(ACount - Made);
}

void TZqPoolAllocator::FreeItems(int64_t ACount)
{
    int64_t Removed = 0;
    while (Removed < ACount) {
        TZqIntfPtr<IZqStanObject> Item;
        {
            std::lock_guard<std::mutex> G(FPool.FFree.Lock);
            if (FPool.FFree.Items.empty())
                break;
            Item = std::move(FPool.FFree.Items.back());
            FPool.FFree.Items.pop_back();
        }
        FPool.FPendingRemovals.fetch_sub(1);
        ++Removed;
        std::lock_guard<std::mutex> S(FPool.FStatLock);
        ++FPool.FStats.ItemsFreed;
    }
    FPool.FPendingRemovals.fetch_sub(ACount - Removed);
}

// ---- TZqResourcePool ------------------------------------------------------------------

TZqResourcePool::TZqResourcePool() = default;

TZqResourcePool::~TZqResourcePool()
{
    if (FOpenCount.load() > 0) {
        try {
            Close();
        } catch (...) {
        }
    }
    FWorker.reset();
    FAllocator.reset();
}

int TZqResourcePool::FreeCount()
{
    std::lock_guard<std::mutex> G(FFree.Lock);
    return int(FFree.Items.size());
}

int TZqResourcePool::BusyCount()
{
    std::lock_guard<std::mutex> G(FBusy.Lock);
    return int(FBusy.Items.size());
}

int64_t TZqResourcePool::PoolSize()
{
    return FreeCount() + BusyCount() + FPendingCreations.load() - FPendingRemovals.load();
}

TZqPoolStatistics TZqResourcePool::Statistics()
{
    std::lock_guard<std::mutex> G(FStatLock);
    return FStats;
}

void TZqResourcePool::SetLastError(const std::string &AText)
{
    std::lock_guard<std::mutex> G(FErrorLock);
    FLastError = AText;
}

std::string TZqResourcePool::LastError()
{
    std::lock_guard<std::mutex> G(FErrorLock);
    return FLastError;
}

void TZqResourcePool::RequestNewItems(int64_t ACount)
{
    if (!FAllocator || ACount <= 0)
        return;
    FPendingCreations.fetch_add(ACount);
    FAllocator->Post(std::make_unique<TAllocatorNewItemMsg>(ACount));
}

void TZqResourcePool::RequestFreeItems(int64_t ACount)
{
    if (!FAllocator || ACount <= 0)
        return;
    FPendingRemovals.fetch_add(ACount);
    FAllocator->Post(std::make_unique<TAllocatorFreeItemMsg>(ACount));
}

bool TZqResourcePool::WorkerRuns()
{
    std::lock_guard<std::mutex> G(FThreadLock);
    return FOpenCount.load() > 0 && FWorker && !FWorker->Terminated();
}

bool TZqResourcePool::PostToWorker(std::unique_ptr<TZqThreadMsgBase> AMsg)
{
    std::lock_guard<std::mutex> G(FThreadLock);
    if (!FWorker || FWorker->Terminated())
        return false;
    FWorker->Post(std::move(AMsg));
    return true;
}

void TZqResourcePool::Open(const TZqIntfPtr<IZqStanObjectHost> &AHost, const TZqIntfPtr<IZqStanDefinition> &ADefinition)
{
    ZQ_ASSERT(AHost, "qxZqStanPool");
    std::lock_guard<std::mutex> G(FOpenLock);
    if (FOpenCount.load() > 0)
        ZqRaiseError(this, {"Stan"}, 702, {});
    FHost = AHost;
    auto Param = [&](const char *AName, int ADefault) {
        int V = ADefinition ? ADefinition->GetAsInteger(AName) : 0;
        return V == 0 ? ADefault : V;
    };
    FMaxWaitForItemTime = Param("POOL_MaxWaitForItemTime", 10000);
    FGCLatencyPeriod = Param("POOL_GCLatencyPeriod", 30000);
    FWorkerTimeout = Param("POOL_WorkerTimeout", 100);
    FMaximumItems = Param("POOL_MaximumItems", 50);
    FOptimalItems = Param("POOL_OptimalItems", 10);
    FPoolGrowDelta = Param("POOL_PoolGrowDelta", 10);
    {
        std::lock_guard<std::mutex> S(FStatLock);
        FStats = TZqPoolStatistics();
    }
    SetLastError("");
    FPendingCreations.store(0);
    FPendingRemovals.store(0);
    FOpenCount.fetch_add(1);
    auto Allocator = std::make_unique<TZqPoolAllocator>(*this);
    Allocator->SetTimeout(uint32_t(FWorkerTimeout));
    auto Worker = std::make_unique<TZqPoolWorker>(*this);
    Worker->SetTimeout(uint32_t(FWorkerTimeout));
    {
        std::lock_guard<std::mutex> T(FThreadLock);
        FAllocator = std::move(Allocator);
        FWorker = std::move(Worker);
    }
    FAllocator->SetActive(true);
    FWorker->SetActive(true);
}

void TZqResourcePool::Close()
{
    std::lock_guard<std::mutex> G(FOpenLock);
    if (FOpenCount.load() <= 0)
        ZqRaiseError(this, {"Stan"}, 703, {});
    FOpenCount.fetch_sub(1);
    // Busy items get as long to come back as a caller waits for an item: one
    // that is never released must not hang the program at its end.
    const auto Deadline = TClock::now() + std::chrono::milliseconds(FMaxWaitForItemTime);
    RequestFreeItems(INT32_MAX);
    while (FreeCount() + BusyCount() > 0 && TClock::now() < Deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (FreeCount() > 0)
            RequestFreeItems(INT32_MAX);
    }
    std::unique_ptr<TZqPoolWorker> Worker;
    std::unique_ptr<TZqPoolAllocator> Allocator;
    {
        std::lock_guard<std::mutex> T(FThreadLock);
        Worker = std::move(FWorker);
        Allocator = std::move(FAllocator);
    }
    Worker->ForceStop();
    Allocator->ForceStop();
    Worker.reset();
    Allocator.reset();
    {
        std::lock_guard<std::mutex> F(FFree.Lock);
        FFree.Items.clear();
    }
    {
        std::lock_guard<std::mutex> B(FBusy.Lock);
        FBusy.Items.clear();
    }
    FHost.Reset();
}

void TZqResourcePool::Acquire(TZqIntfPtr<IZqStanObject> &AObject)
{
    AObject.Reset();
    const int64_t Start = NowNs();
    {
        std::lock_guard<std::mutex> S(FStatLock);
        ++FStats.Acquisitions;
    }
    FWaiting.fetch_add(1);
    struct TDone {
        TZqResourcePool &P;
        int64_t Start;
        ~TDone()
        {
            P.FWaiting.fetch_sub(1);
            std::lock_guard<std::mutex> S(P.FStatLock);
            P.FStats.AcquireTime += NowNs() - Start;
        }
    } Done{*this, Start};
    // A pool that does not run has nothing to give: say so instead of
    // answering with no item.
    if (!WorkerRuns())
        ZqRaiseError(this, {"Stan"}, 703, {});
    auto Req = std::make_shared<TZqPoolRequest>();
    if (!PostToWorker(std::make_unique<TWorkerGetMsg>(Req)))
        ZqRaiseError(this, {"Stan"}, 703, {});
    if (Req->Event.WaitFor(FMaxWaitForItemTime)) {
        {
            std::lock_guard<std::mutex> S(FStatLock);
            FStats.QueueTime += Req->WaitedTime;
        }
        AObject = Req->Item;
        Req->Item.Reset();
        AObject->PoolAcquired();
        return;
    }
    {
        std::lock_guard<std::mutex> S(FStatLock);
        ++FStats.AcquireTimeouts;
    }
    PostToWorker(std::make_unique<TWorkerGetTimeoutMsg>(Req));
    std::string Reason = LastError();
    if (Reason.empty())
        Reason = "All objects are busy";
    ZqRaiseError(this, {"Stan"}, 708, {FHost->GetObjectKindName(), Reason});
}

void TZqResourcePool::Release(const TZqIntfPtr<IZqStanObject> &AObject)
{
    if (!AObject)
        return;
    AObject->PoolReleased();
    // Also while the pool closes: Close waits for the busy items to come back.
    PostToWorker(std::make_unique<TWorkerPutMsg>(AObject));
}

void RegisterStanPool() { ZqRegisterMultiInstance<TZqResourcePool>(IID_IZqStanObjectFactory); }
