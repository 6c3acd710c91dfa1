// The resource pool against a fake item host: defaults, filling, reuse,
// exhaustion, a failing host, closing, and the open/closed errors.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "dataaccess/stan/qxZqStanDef.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanPool.h"
#include "tests/services/services_env.h"

using namespace std::chrono_literals;

namespace {

class TFakeItem : public TZqObject, public virtual IZqStanObject {
public:
    std::string GetName() override { return "item"; }
    TZqIntfPtr<IZqStanObject> GetParent() override { return nullptr; }
    void PoolAcquired() override { ++FAcquired; }
    void PoolReleased() override { ++FReleased; }
    void SetOwner(rtl::TObject *, const std::string &) override {}
    std::atomic<int> FAcquired{0}, FReleased{0};
};

class TFakeHost : public TZqObject, public virtual IZqStanObjectHost {
public:
    std::string GetObjectKindName() override { return "connection"; }
    void CreateObject(TZqIntfPtr<IZqStanObject> &AObject) override
    {
        if (!FFailure.empty())
            ZqRaiseError(nullptr, {"Phys"}, 306, {});
        AObject = TZqIntfPtr<IZqStanObject>(new TFakeItem());
        ++FCreated;
    }
    std::atomic<int> FCreated{0};
    std::string FFailure;
};

class ResourcePool : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZqServicesTestSetup();
        ZqCreateInterface(FPool);
        ZqCreateInterface(FDef);
        FHost = TZqIntfPtr<TFakeHost>(new TFakeHost());
    }
    void Open()
    {
        FPool->Open(TZqIntfPtr<IZqStanObjectHost>(FHost.Get()), FDef);
    }
    TZqResourcePool &Pool() { return *dynamic_cast<TZqResourcePool *>(FPool.Get()); }
    bool WaitForFree(int AN)
    {
        for (int I = 0; I < 500 && Pool().FreeCount() < AN; ++I)
            std::this_thread::sleep_for(10ms);
        return Pool().FreeCount() >= AN;
    }

    TZqIntfPtr<IZqStanObjectFactory> FPool;
    TZqIntfPtr<IZqStanDefinition> FDef;
    TZqIntfPtr<TFakeHost> FHost;
};

} // namespace

TEST_F(ResourcePool, DefaultsAndFillingToOptimal)
{
    Open();
    EXPECT_EQ(Pool().MaxWaitForItemTime(), 10000);
    EXPECT_EQ(Pool().GCLatencyPeriod(), 30000);
    EXPECT_EQ(Pool().WorkerTimeout(), 100);
    EXPECT_EQ(Pool().MaximumItems(), 50);
    EXPECT_EQ(Pool().OptimalItems(), 10);
    EXPECT_EQ(Pool().PoolGrowDelta(), 10);
    ASSERT_TRUE(WaitForFree(10));
    TZqIntfPtr<IZqStanObject> Item;
    FPool->Acquire(Item);
    ASSERT_TRUE(Item);
    EXPECT_EQ(dynamic_cast<TFakeItem *>(Item.Get())->FAcquired, 1);
    EXPECT_EQ(Pool().Statistics().ServedAtOnce, 1);
    EXPECT_EQ(Pool().BusyCount(), 1);
    FPool->Release(Item);
    FPool->Close();
    EXPECT_EQ(Pool().FreeCount(), 0);
}

TEST_F(ResourcePool, ReleasedItemIsReusedFirst)
{
    FDef->SetAsInteger("POOL_OptimalItems", 3);
    Open();
    ASSERT_TRUE(WaitForFree(3));
    TZqIntfPtr<IZqStanObject> A, B;
    FPool->Acquire(A);
    FPool->Release(A);
    for (int I = 0; I < 200 && Pool().BusyCount() > 0; ++I)
        std::this_thread::sleep_for(5ms);
    FPool->Acquire(B);
    EXPECT_EQ(A.Get(), B.Get());
    EXPECT_EQ(dynamic_cast<TFakeItem *>(B.Get())->FReleased, 1);
    FPool->Release(B);
    FPool->Close();
}

TEST_F(ResourcePool, AllBusyTimesOutWith708)
{
    FDef->SetAsInteger("POOL_MaximumItems", 2);
    FDef->SetAsInteger("POOL_OptimalItems", 2);
    FDef->SetAsInteger("POOL_MaxWaitForItemTime", 200);
    Open();
    // Both items made before they are taken: only the third waits.
    ASSERT_TRUE(WaitForFree(2));
    TZqIntfPtr<IZqStanObject> A, B, C;
    FPool->Acquire(A);
    FPool->Acquire(B);
    try {
        FPool->Acquire(C);
        FAIL() << "no time-out";
    } catch (const EZqException &E) {
        EXPECT_EQ(E.ErrorCode(), 708);
        std::string M = E.Message();
        EXPECT_NE(M.find("Timeout acquiring connection from pool"), std::string::npos) << M;
        EXPECT_EQ(M.substr(M.size() - 20), "All objects are busy");
    }
    EXPECT_EQ(Pool().Statistics().AcquireTimeouts, 1);
    EXPECT_EQ(FHost->FCreated, 2);
    FPool->Release(A);
    FPool->Release(B);
    FPool->Close();
}

TEST_F(ResourcePool, FailingHostGivesItsMessageAsTheReason)
{
    FHost->FFailure = "down";
    FDef->SetAsInteger("POOL_MaxWaitForItemTime", 300);
    Open();
    try {
        TZqIntfPtr<IZqStanObject> A;
        FPool->Acquire(A);
        FAIL() << "no time-out";
    } catch (const EZqException &E) {
        EXPECT_EQ(E.ErrorCode(), 708);
        std::string M = E.Message();
        EXPECT_NE(M.find("[Vexa][Phys]-306"), std::string::npos) << M;
    }
    // The failed creations left no count behind. A creation the last wait
    // asked for may still be on its way to the allocator (on a loaded
    // machine it runs after the time-out): it fails too and is taken back.
    const auto Deadline = std::chrono::steady_clock::now() + 5s;
    while (Pool().PoolSize() != 0 && std::chrono::steady_clock::now() < Deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(Pool().PoolSize(), 0);
    FPool->Close();
}

TEST_F(ResourcePool, CloseWaitsForBusyItems)
{
    FDef->SetAsInteger("POOL_OptimalItems", 1);
    Open();
    TZqIntfPtr<IZqStanObject> A;
    FPool->Acquire(A);
    std::thread Releaser([&] {
        std::this_thread::sleep_for(150ms);
        FPool->Release(A);
    });
    auto T0 = std::chrono::steady_clock::now();
    FPool->Close();
    EXPECT_GE(std::chrono::steady_clock::now() - T0, 140ms);
    Releaser.join();
    EXPECT_EQ(Pool().BusyCount(), 0);
}

TEST_F(ResourcePool, CloseGivesUpOnAnItemNeverReleased)
{
    FDef->SetAsInteger("POOL_OptimalItems", 1);
    FDef->SetAsInteger("POOL_MaxWaitForItemTime", 200);
    Open();
    TZqIntfPtr<IZqStanObject> Kept;
    FPool->Acquire(Kept);
    auto T0 = std::chrono::steady_clock::now();
    FPool->Close();
    auto Took = std::chrono::steady_clock::now() - T0;
    EXPECT_GE(Took, 190ms);
    EXPECT_LT(Took, 5s);
    EXPECT_EQ(Pool().BusyCount(), 0);
    // The caller's own reference still holds the item.
    EXPECT_EQ(Kept->GetName(), "item");
}

TEST_F(ResourcePool, OpenAndClosedErrors)
{
    TZqIntfPtr<IZqStanObject> A;
    EXPECT_EQ(CodeOf([&] { FPool->Acquire(A); }), 703);
    EXPECT_EQ(CodeOf([&] { FPool->Close(); }), 703);
    Open();
    EXPECT_EQ(CodeOf([&] { Open(); }), 702);
    FPool->Close();
    EXPECT_EQ(CodeOf([&] { FPool->Acquire(A); }), 703);
}
