// The driver manager: registration before and after Open, idle drivers
// finalised after 20 s of a clock the test controls, the shutdown wait and
// its error 334, and the manager's own errors.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "dataaccess/phys/qxZqPhysCmdGenerator.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "tests/support/fake_driver.h"
#include "tests/support/phys_fixture.h"

namespace {

class DriverManager : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::Services();
        fake::Script() = fake::TScript();
        Mgr = new TZqPhysManager();
        Manager = TZqIntfPtr<IZqPhysManager>(static_cast<IZqPhysManager *>(Mgr));
        Clock = 1000;
        Mgr->SetClock([this] { return Clock.load(); });
    }
    TZqPhysDriverHost *FakeHost()
    {
        for (int I = 0; I < Mgr->HostCount(); ++I)
            if (Mgr->Host(I)->DriverID() == "FakeDrv") return Mgr->Host(I);
        return nullptr;
    }
    TZqPhysManager *Mgr = nullptr;
    TZqIntfPtr<IZqPhysManager> Manager;
    std::atomic<uint32_t> Clock{0};
};

TEST_F(DriverManager, ClassRegisteredBeforeOpenIsRegisteredDuringOpen)
{
    fake::Register(Mgr);
    EXPECT_EQ(Mgr->HostCount(), 0);
    Manager->Open();
    ASSERT_NE(FakeHost(), nullptr);
    EXPECT_EQ(FakeHost()->State(), 2);
    Manager->Close(true);
}

TEST_F(DriverManager, IdleDriverIsFinalisedAfterTwentySecondsAndCreatedAgain)
{
    Manager->Open();
    fake::Register(Mgr);
    const int Before = fake::LiveDrivers();
    TZqIntfPtr<IZqPhysConnection> Conn;
    Manager->CreateConnection(std::string("DriverID=FakeDrv"), Conn);
    EXPECT_EQ(FakeHost()->State(), 4);
    EXPECT_EQ(fake::LiveDrivers(), Before + 1);
    Conn.Reset();
    EXPECT_EQ(FakeHost()->State(), 5);
    Clock += 19999;
    Mgr->ThreadTick();
    EXPECT_EQ(FakeHost()->State(), 5);
    Clock += 1;
    Mgr->ThreadTick();
    EXPECT_EQ(FakeHost()->State(), 2);
    EXPECT_EQ(fake::LiveDrivers(), Before);
    Manager->CreateConnection(std::string("DriverID=FakeDrv"), Conn);
    EXPECT_EQ(FakeHost()->State(), 4);
    Conn.Reset();
    Manager->Close(true);
    EXPECT_EQ(Manager->GetState(), 0);
}

TEST_F(DriverManager, CloseWaitingWhileAClientHoldsAConnectionRaises334)
{
    Manager->Open();
    fake::Register(Mgr);
    TZqIntfPtr<IZqPhysConnection> Conn;
    Manager->CreateConnection(std::string("DriverID=FakeDrv"), Conn);
    Conn->Open();
    // every look at the clock moves it one second on
    Mgr->SetClock([this] { return Clock += 1000; });
    EXPECT_EQ(RaisedCode([&] { Manager->Close(true); }), 334);
    EXPECT_EQ(Manager->GetState(), 2);
    EXPECT_EQ(Conn->GetState(), 1); // the driver closed it on the way
    Conn.Reset();
    Mgr->ThreadTick();
    EXPECT_EQ(Manager->GetState(), 0);
}

TEST_F(DriverManager, CreateConnectionOnAnInactiveManager)
{
    TZqIntfPtr<IZqPhysConnection> Conn;
    Manager->CreateConnection(std::string("DriverID=FakeDrv"), Conn, false);
    EXPECT_FALSE(Conn);
    EXPECT_EQ(RaisedCode([&] { Manager->CreateConnection(std::string("DriverID=FakeDrv"), Conn, true); }), 320);
}

TEST_F(DriverManager, UnknownAndEmptyDriverIDs)
{
    Manager->Open();
    TZqIntfPtr<IZqPhysConnection> Conn;
    EXPECT_EQ(RaisedCode([&] { Manager->CreateConnection(std::string("DriverID=Nope"), Conn); }), 300);
    EXPECT_EQ(RaisedCode([&] { Manager->CreateConnection(std::string("Database=x"), Conn); }), 340);
    EXPECT_EQ(RaisedCode([&] { Manager->Open(); }), 320);
    Manager->Close(true);
}

TEST_F(DriverManager, ParamInfoOffersPoolParametersOnlyWhenPooled)
{
    Manager->Open();
    fake::Register(Mgr);
    TZqIntfPtr<IZqPhysDriverMetadata> Meta;
    Mgr->GetDriverMetadata("FakeDrv", Meta);
    rtl::TStringList P;
    EXPECT_EQ(Meta->GetParamCount(&P), 7);
    P.Add("Pooled=True");
    EXPECT_EQ(Meta->GetParamCount(&P), 13);
    std::string Name, Type, Def, Cap;
    int Login;
    Meta->GetParamInfo(&P, 3, Name, Type, Def, Cap, Login);
    EXPECT_EQ(Name, "User_Name");
    EXPECT_EQ(Cap, "User name");
    EXPECT_EQ(Login, 0);
    Meta->GetParamInfo(&P, 0, Name, Type, Def, Cap, Login);
    EXPECT_EQ(Def, "FakeDrv");
    Meta.Reset();
    Manager->Close(true);
}

} // namespace

TEST_F(PhysFixture, ConnectionMakesTheGeneratorOfItsDialectForACommand)
{
    // The generator reads the command's options and the dialect of the
    // command's connection.
    TZqIntfPtr<IZqPhysCommandGenerator> Gen;
    Conn->CreateCommandGenerator(Gen, Cmd);
    ASSERT_TRUE(Gen);
    EXPECT_EQ(Gen->GetOptions(), Cmd->GetOptions());
    EXPECT_EQ(Gen->GetGenOptions(), 127);
}
