// The factory registry: first factory wins, missing factories, singletons,
// shutdown, aggregation and many threads creating services at once.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "dataaccess/stan/qxZqStanFactory.h"

namespace {

class IZqTestService : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = ZqIID(0x2F01);
    virtual int Answer() = 0;
};
class IZqTestOther : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = ZqIID(0x2F02);
    virtual int Other() = 0;
};
class IZqTestSingleton : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = ZqIID(0x2F03);
    virtual int Answer() = 0;
};
// Identifiers that nothing registers.
class IZqTestWaitCursor : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqGUIxWaitCursor;
};
class IZqTestAsyncDialog : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqGUIxAsyncExecuteDialog;
};
class IZqTestNotImplemented : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = ZqIID(0x2F04);
};

std::atomic<int> GInitialized{0};

class TZqTestFirst : public TZqObject, public virtual IZqTestService {
public:
    void Initialize() override { ++GInitialized; }
    int Answer() override { return 1; }
};
class TZqTestSecond : public TZqObject, public virtual IZqTestService {
public:
    int Answer() override { return 2; }
};
class TZqTestSingle : public TZqObject, public virtual IZqTestSingleton {
public:
    int Answer() override { return 3; }
};
class TZqTestOuter : public TZqObject, public virtual IZqTestOther {
public:
    int Other() override { return 42; }
};

class FactoryRegistry : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZqShutdownManager();
        ZqStartupManager();
        ZqRegisterMultiInstance<TZqTestFirst>(IZqTestService::IID);
        ZqRegisterMultiInstance<TZqTestSecond>(IZqTestService::IID);
        ZqRegisterSingleton<TZqTestSingle>(IZqTestSingleton::IID);
        ZqRegisterMultiInstance<TZqTestSecond>(IZqTestNotImplemented::IID);
    }
    void TearDown() override
    {
        ZqShutdownManager();
        ZqStartupManager();
    }
};

} // namespace

TEST(InterfaceIds, FamilyTextForm)
{
    EXPECT_EQ(rtl::GUIDToString(IID_IZqStanObject), "{3E9B315B-F456-4175-A864-B2573C4A2001}");
    EXPECT_EQ(rtl::GUIDToString(IID_IZqDataSetReference), "{3E9B315B-F456-4175-A864-B2573C4A2400}");
    EXPECT_TRUE(rtl::StringToGUID("{3e9b315b-f456-4175-a864-b2573c4a2101}") == IID_IZqPhysManager);
}

TEST_F(FactoryRegistry, FirstRegisteredFactoryWins)
{
    TZqIntfPtr<IZqTestService> S;
    int Before = GInitialized;
    ASSERT_TRUE(ZqCreateInterface(S));
    EXPECT_EQ(S->Answer(), 1);
    EXPECT_EQ(GInitialized, Before + 1); // Initialize runs after construction
}

TEST_F(FactoryRegistry, MultiInstanceGivesNewObjectsSingletonTheSame)
{
    TZqIntfPtr<IZqTestService> A, B;
    ZqCreateInterface(A);
    ZqCreateInterface(B);
    EXPECT_NE(A.Get(), B.Get());
    TZqIntfPtr<IZqTestSingleton> S1, S2;
    ZqCreateInterface(S1);
    ZqCreateInterface(S2);
    EXPECT_EQ(S1.Get(), S2.Get());
}

// A singleton is looked up once per thread and registry: a registry started
// again makes its own object, even one at the old object's address is asked
// of the new factory, and a failed request before registration is not kept.
TEST_F(FactoryRegistry, SingletonOfARegistryStartedAgainIsItsOwn)
{
    TZqIntfPtr<IZqTestSingleton> First;
    ASSERT_TRUE(ZqCreateInterface(First));
    const int32_t HeldBefore = dynamic_cast<TZqObject *>(First.Get())->RefCount();
    {
        TZqIntfPtr<IZqTestSingleton> Again;
        ZqCreateInterface(Again);
        EXPECT_EQ(Again.Get(), First.Get());
        EXPECT_EQ(dynamic_cast<TZqObject *>(First.Get())->RefCount(), HeldBefore + 1);
    }
    EXPECT_EQ(dynamic_cast<TZqObject *>(First.Get())->RefCount(), HeldBefore);
    IZqTestSingleton *OnOtherThread = nullptr;
    std::thread([&] {
        TZqIntfPtr<IZqTestSingleton> S;
        ZqCreateInterface(S);
        OnOtherThread = S.Get();
    }).join();
    EXPECT_EQ(OnOtherThread, First.Get());

    First.Reset();
    ZqShutdownManager();
    ZqStartupManager();
    TZqIntfPtr<IZqTestSingleton> None;
    EXPECT_FALSE(ZqCreateInterface(None, false));
    ZqRegisterSingleton<TZqTestSingle>(IZqTestSingleton::IID);
    TZqIntfPtr<IZqTestSingleton> Second, SecondAgain;
    ASSERT_TRUE(ZqCreateInterface(Second));
    ZqCreateInterface(SecondAgain);
    EXPECT_EQ(Second.Get(), SecondAgain.Get());
    EXPECT_EQ(Second->Answer(), 3);
    // The new registry's factory holds its object: one reference of its own
    // and the two taken here.
    EXPECT_EQ(dynamic_cast<TZqObject *>(Second.Get())->RefCount(), 3);
}

TEST_F(FactoryRegistry, MissingFactory)
{
    TZqIntfPtr<IZqTestAsyncDialog> D;
    EXPECT_NO_THROW(ZqCreateInterface(D, false));
    EXPECT_FALSE(D);
    try {
        TZqIntfPtr<IZqTestAsyncDialog> R;
        ZqCreateInterface(R, true);
        FAIL();
    } catch (const rtl::Exception &E) {
        EXPECT_EQ(E.Message(), "Object factory for class {3E9B315B-F456-4175-A864-B2573C4A2202} missing");
    }
    try {
        TZqIntfPtr<IZqTestWaitCursor> W;
        ZqCreateInterface(W);
        FAIL();
    } catch (const rtl::Exception &E) {
        EXPECT_EQ(E.Message(), "Object factory for class {3E9B315B-F456-4175-A864-B2573C4A2201} missing.\r\n"
                               "To register it, you can drop component [TZqGUIxWaitCursor] into your project");
    }
}

TEST_F(FactoryRegistry, ObjectWithoutTheInterface)
{
    TZqIntfPtr<IZqTestNotImplemented> N;
    try {
        ZqCreateInterface(N);
        FAIL();
    } catch (const rtl::Exception &E) {
        EXPECT_EQ(E.Message(),
                  "Class [TZqTestSecond] does not implement interface [{3E9B315B-F456-4175-A864-B2573C4A2F04}]");
    }
}

TEST_F(FactoryRegistry, AfterShutdownEverythingIsNil)
{
    ZqShutdownManager();
    TZqIntfPtr<IZqTestService> S;
    EXPECT_FALSE(ZqCreateInterface(S));
    TZqIntfPtr<IZqTestWaitCursor> W;
    EXPECT_NO_THROW(ZqCreateInterface(W, true));
    EXPECT_FALSE(W);
}

TEST_F(FactoryRegistry, SingletonOutlivesTheRegistryWhileHeld)
{
    TZqIntfPtr<IZqTestSingleton> S;
    ZqCreateInterface(S);
    ZqShutdownManager(); // no warning during the registry's own shutdown
    EXPECT_EQ(S->Answer(), 3);
}

TEST_F(FactoryRegistry, LiveObjectCount)
{
    int N0 = qxZqStanFactory::Manager()->ObjectCount();
    {
        TZqIntfPtr<IZqTestService> A;
        ZqCreateInterface(A);
        EXPECT_EQ(qxZqStanFactory::Manager()->ObjectCount(), N0 + 1);
    }
    EXPECT_EQ(qxZqStanFactory::Manager()->ObjectCount(), N0);
}

TEST_F(FactoryRegistry, EightThreadsCreateServicesAtOnce)
{
    std::vector<std::thread> Threads;
    std::atomic<int> Sum{0};
    std::vector<IZqTestSingleton *> Singles(8, nullptr);
    for (int T = 0; T < 8; ++T)
        Threads.emplace_back([&, T] {
            for (int I = 0; I < 200; ++I) {
                TZqIntfPtr<IZqTestService> S;
                ZqCreateInterface(S);
                TZqIntfPtr<IZqTestSingleton> One;
                ZqCreateInterface(One);
                Sum += S->Answer() + One->Answer();
                if (!Singles[size_t(T)]) Singles[size_t(T)] = One.Get();
                EXPECT_EQ(Singles[size_t(T)], One.Get());
            }
        });
    for (auto &T : Threads) T.join();
    EXPECT_EQ(Sum, 8 * 200 * 4);
    for (auto *P : Singles) EXPECT_EQ(P, Singles[0]);
}

TEST(ZqObject, ReferenceCountDeltas)
{
    TZqIntfPtr<IZqTestService> S(new TZqTestFirst);
    auto *O = dynamic_cast<TZqObject *>(S.Get());
    EXPECT_EQ(O->RefCount(), 1);
    EXPECT_EQ(O->IncRefCount(3), 4);
    EXPECT_EQ(O->DecRefCount(1), 3);
    EXPECT_EQ(O->DecRefCount(2), 1); // back to the smart pointer's own reference
    TZqIntfPtr<IZqTestService> Copy = S;
    EXPECT_EQ(O->RefCount(), 2);
}

TEST(ZqObject, AggregatedObjectAnswersWithTheOuter)
{
    TZqIntfPtr<IZqTestOther> Outer(new TZqTestOuter);
    TZqIntfPtr<IZqTestService> Inner(new TZqTestSecond);
    EXPECT_FALSE(TZqIntfPtr<IZqTestOther>::Query(Inner));
    auto Agg = TZqIntfPtr<IZqStanAggregated>::Query(Inner);
    ASSERT_TRUE(Agg);
    Agg->SetOuterObject(TZqIntfPtr<IInterface>(Outer));
    auto Via = TZqIntfPtr<IZqTestOther>::Query(Inner);
    ASSERT_TRUE(Via);
    EXPECT_EQ(Via.Get(), Outer.Get());
    EXPECT_EQ(Via->Other(), 42);
    // Its own interfaces still come first.
    EXPECT_EQ(TZqIntfPtr<IZqTestService>::Query(Inner).Get(), Inner.Get());
    Agg->SetOuterObject(nullptr); // break the cycle before both go
}

namespace {

class TTestApplication : public rtl::TComponent {
public:
    using rtl::TComponent::TComponent;
};
class TApplication : public TTestApplication {
public:
    using TTestApplication::TTestApplication;
};
class TMyForm : public rtl::TComponent {
public:
    using rtl::TComponent::TComponent;
};
class TIdentified : public rtl::TComponent, public virtual IZqStanObject {
public:
    using rtl::TComponent::TComponent;
    int32_t _AddRef() override { return 1; } // a component: its owner keeps it
    int32_t _Release() override { return 1; }
    std::string GetName() override { return "identified"; }
    TZqIntfPtr<IZqStanObject> GetParent() override { return nullptr; }
    void PoolAcquired() override {}
    void PoolReleased() override {}
    void SetOwner(rtl::TObject *, const std::string &) override {}
};

} // namespace

TEST(TraceNames, ComponentProxy)
{
    TApplication App(nullptr);
    auto *Form = new TMyForm(&App);
    Form->SetName("Form1");
    auto *Conn = new rtl::TComponent(Form);
    TZqIntfPtr<IZqStanObject> P(new TZqMoniAdapterComponentProxy(Conn));
    std::string Name = P->GetName();
    ASSERT_EQ(Name.size(), std::string("TComponent($12345678)").size()) << Name;
    EXPECT_EQ(Name.substr(0, 12), "TComponent($");
    EXPECT_EQ(Name.back(), ')');
    EXPECT_EQ(Name.substr(12, 8).find_first_not_of("0123456789ABCDEF"), std::string::npos);
    auto Parent = P->GetParent();
    ASSERT_TRUE(Parent);
    EXPECT_EQ(Parent->GetName(), "Form1");
    EXPECT_FALSE(Parent->GetParent()); // owned by the application object

    auto *Id = new TIdentified(Form);
    auto *Child = new rtl::TComponent(Id);
    Child->SetName("Child");
    TZqIntfPtr<IZqStanObject> C(new TZqMoniAdapterComponentProxy(Child));
    EXPECT_EQ(C->GetParent()->GetName(), "identified");
}

TEST(TraceNames, HelperNamesWithRole)
{
    rtl::TComponent Owner(nullptr);
    Owner.SetName("ZqConnection1");
    TZqIntfPtr<IZqTestService> Served(new TZqTestFirst);
    auto *Obj = dynamic_cast<rtl::TObject *>(Served.Get());
    TZqMoniAdapterHelper H(Obj, &Owner);
    H.SetOwner(&Owner, "Command");
    EXPECT_EQ(H.GetName(), "ZqConnection1: Command");
    H.SetOwner(nullptr, "");
    EXPECT_EQ(H.GetName().substr(0, 14), "TZqTestFirst($");
    EXPECT_FALSE(H.GetParent());
}

#include "dataaccess/stan/qxZqStanInit.h"

TEST(LayerStartup, RegistersTheLayersServicesOncePerRegistry)
{
    ZqShutdownManager();
    ZqStartupManager();
    ZqStanInitialize();
    ASSERT_NE(qxZqStanFactory::Manager()->FindFactory(IID_IZqStanExpressionParser), nullptr);
    ZqStanInitialize();
    ZqShutdownManager();
    ZqStanInitialize(); // a new registry after shutdown is filled again
    EXPECT_NE(qxZqStanFactory::Manager()->FindFactory(IID_IZqStanExpressionParser), nullptr);
}

TEST(LayerStartup, ARegistryRestartedAtTheSameAddressIsFilledAgain)
{
    // Without a sanitizer's quarantine the allocator hands a new registry
    // the block of the one just freed; each restart must still be filled.
    uint64_t Last = 0;
    for (int I = 0; I < 8; ++I) {
        ZqShutdownManager();
        ZqStanInitialize();
        ASSERT_NE(qxZqStanFactory::Manager()->FindFactory(IID_IZqStanExpressionParser), nullptr) << "restart " << I;
        EXPECT_GT(ZqManagerGeneration(), Last);
        Last = ZqManagerGeneration();
    }
    ZqShutdownManager();
    EXPECT_EQ(ZqManagerGeneration(), 0u);
    ZqStartupManager();
}

TEST(SingletonFactory, WarningOutsideShutdownGoesToStandardError)
{
    ZqStartupManager();
    TZqIntfPtr<IZqTestSingleton> Held;
    {
        TZqSingletonFactory F(ZqClass<TZqTestSingle>(), IZqTestSingleton::IID);
        Held = TZqIntfPtr<IZqTestSingleton>::Query(static_cast<IInterface *>(F.CreateObject()));
        testing::internal::CaptureStderr();
    }
    std::string Err = testing::internal::GetCapturedStderr();
    EXPECT_NE(Err.find("Class [TZqTestSingle] singleton factory has unreleased interfaces"), std::string::npos) << Err;
    EXPECT_EQ(Held->Answer(), 3); // the instance lives on while referenced
}
