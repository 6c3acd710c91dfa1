// qxZqStanPool: a pool of ready-made service objects. The driver layer
// pools the physical connections of a connection definition whose Pooled
// parameter is true, so that opening a connection takes an existing one
// instead of logging in again. The user of the pool supplies the item host
// that creates the items; the pool runs two threads of its own: the worker,
// which hands items to waiting callers and grows or shrinks the pool by
// observed demand, and the allocator, which creates and frees items.
//
// Pool states: closed (after creation or Close) and open (after Open).
// Opening starts both threads and fills the pool to OptimalItems in the
// background; closing frees the free items, waits (a bounded time) until
// every busy item has come back, then stops the threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanIntf.h"
#include "dataaccess/stan/qxZqStanUtil.h"

class IZqStanDefinition;

// Implemented by the user of the pool.
class IZqStanObjectHost : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanObjectHost;
    // What the items are, in messages ("connection").
    virtual std::string GetObjectKindName() = 0;
    // A new item; may leave AObject nil or raise.
    virtual void CreateObject(TZqIntfPtr<IZqStanObject> &AObject) = 0;
};

class IZqStanObjectFactory : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanObjectFactory;
    // Reads the POOL_ parameters of ADefinition (may be nil). Error 702 when open.
    virtual void Open(const TZqIntfPtr<IZqStanObjectHost> &AHost, const TZqIntfPtr<IZqStanDefinition> &ADefinition) = 0;
    // Error 703 when closed.
    virtual void Close() = 0;
    // An item, waiting at most MaxWaitForItemTime: error 708 with the reason
    // when none comes, error 703 when the pool is not running.
    virtual void Acquire(TZqIntfPtr<IZqStanObject> &AObject) = 0;
    virtual void Release(const TZqIntfPtr<IZqStanObject> &AObject) = 0;
};

// The pool's figures since it was opened; times in nanoseconds.
struct TZqPoolStatistics {
    int32_t Acquisitions = 0;
    int32_t ServedAtOnce = 0;
    int64_t AcquireTime = 0;
    int32_t AcquireTimeouts = 0;
    int64_t QueueTime = 0;
    int32_t ItemsCreated = 0;
    int32_t ItemsFreed = 0;
};

class TZqPoolWorker;
class TZqPoolAllocator;

class TZqResourcePool : public TZqObject, public virtual IZqStanObjectFactory {
public:
    TZqResourcePool();
    ~TZqResourcePool() override;
    std::string ClassName() const override { return "TZqResourcePool"; }

    void Open(const TZqIntfPtr<IZqStanObjectHost> &AHost, const TZqIntfPtr<IZqStanDefinition> &ADefinition) override;
    void Close() override;
    void Acquire(TZqIntfPtr<IZqStanObject> &AObject) override;
    void Release(const TZqIntfPtr<IZqStanObject> &AObject) override;

    TZqPoolStatistics Statistics();
    int FreeCount();
    int BusyCount();
    // Free + busy + pending creations - pending removals.
    int64_t PoolSize();
    int MaximumItems() const { return FMaximumItems; }
    int OptimalItems() const { return FOptimalItems; }
    int PoolGrowDelta() const { return FPoolGrowDelta; }
    int WorkerTimeout() const { return FWorkerTimeout; }
    int MaxWaitForItemTime() const { return FMaxWaitForItemTime; }
    int GCLatencyPeriod() const { return FGCLatencyPeriod; }

private:
    friend class TZqPoolWorker;
    friend class TZqPoolAllocator;
    struct TItemList {
        std::mutex Lock;
        std::vector<TZqIntfPtr<IZqStanObject>> Items;
    };
    void RequestNewItems(int64_t ACount);
    void RequestFreeItems(int64_t ACount);
    bool WorkerRuns();
    bool PostToWorker(std::unique_ptr<TZqThreadMsgBase> AMsg);
    void SetLastError(const std::string &AText);
    std::string LastError();

    TZqIntfPtr<IZqStanObjectHost> FHost;
    std::atomic<int32_t> FOpenCount{0};
    TItemList FFree;
    TItemList FBusy;
    std::atomic<int32_t> FWaiting{0};
    std::atomic<int64_t> FPendingCreations{0};
    std::atomic<int64_t> FPendingRemovals{0};
    std::unique_ptr<TZqPoolWorker> FWorker;
    std::unique_ptr<TZqPoolAllocator> FAllocator;
    int FMaximumItems = 50;
    int FOptimalItems = 10;
    int FPoolGrowDelta = 10;
    int FWorkerTimeout = 100;
    int FMaxWaitForItemTime = 10000;
    int FGCLatencyPeriod = 30000;
    std::mutex FErrorLock;
    std::string FLastError;
    std::mutex FStatLock;
    TZqPoolStatistics FStats;
    std::mutex FOpenLock;   // Open and Close one at a time
    std::mutex FThreadLock; // the thread pointers, against Close on another thread
};

// Registers the pool factory.
void RegisterStanPool();
