// The manager component: the automatic manager and its replacement, the
// connection registry with connections made on demand by name, the use
// count, activation, and what a disconnect does to the attached clients.
#include "tests/comp_client/client_fixture.h"

#include <cstdio>
#include <fstream>
#include <unistd.h>

using client_test::Raised;

namespace {

// A dataset attached to a connection as a client, recording how it was
// told to let go.
class TClientDataSet : public TZqDataSet {
public:
    explicit TClientDataSet(TZqCustomCommand *AOptions) : FOptions(AOptions) {}
    TZqFetchOptions *GetFetchOptions() override { return FOptions->FetchOptions(); }
    TZqFormatOptions *GetFormatOptions() override { return FOptions->FormatOptions(); }
    TZqUpdateOptions *GetUpdateOptions() override { return FOptions->UpdateOptions(); }
    TZqResourceOptions *GetResourceOptions() override { return FOptions->ResourceOptions(); }
    void Disconnect(bool AAbortJob) override { Calls += AAbortJob ? "abort " : "plain "; }
    std::string Calls;

private:
    TZqCustomCommand *FOptions;
};

} // namespace

class ManagerRegistry : public ClientFixture {};

TEST_F(ManagerRegistry, ConnectionsJoinTheAutomaticManager)
{
    EXPECT_EQ(ZqCurrentManager(), nullptr);
    auto C = FakeConnection("Main");
    ASSERT_NE(ZqCurrentManager(), nullptr);
    EXPECT_TRUE(ZqManager()->AutoCreated());
    EXPECT_EQ(ZqManager()->ConnectionCount(), 1);
    EXPECT_EQ(ZqManager()->FindConnection("main"), C.get()); // the name is matched without case
    C.reset();
    EXPECT_EQ(ZqManager()->ConnectionCount(), 0);
}

TEST_F(ManagerRegistry, DroppedManagerTakesOverAndASecondFails)
{
    auto C = FakeConnection("Main");
    TZqCustomManager *Auto = ZqManager();
    ASSERT_TRUE(Auto->AutoCreated());
    auto M = std::make_unique<TZqManager>();
    EXPECT_EQ(ZqManager(), M.get());
    EXPECT_FALSE(M->AutoCreated());
    EXPECT_EQ(M->FindConnection("Main"), C.get());
    auto R = Raised([] { TZqManager Second; });
    EXPECT_EQ(R.Code, 500);
    EXPECT_EQ(R.Message, "[Vexa][Comp][Clnt]-500. Application must have only single Zq manager");
    EXPECT_EQ(ZqManager(), M.get());
    C.reset();
    EXPECT_EQ(M->ConnectionCount(), 0);
    M.reset();
    EXPECT_EQ(ZqCurrentManager(), nullptr);
}

TEST_F(ManagerRegistry, ConnectionNamesAreUnique)
{
    auto A = FakeConnection("Main");
    auto B = FakeConnection();
    auto R = Raised([&] { B->SetConnectionName("MAIN"); });
    EXPECT_EQ(R.Code, 503);
    EXPECT_EQ(R.Message, "[Vexa][Comp][Clnt]-503. Connection name [MAIN] must be unique");
    EXPECT_EQ(B->ConnectionName(), "");
    A.reset();
    B->SetConnectionName("MAIN");
    EXPECT_EQ(B->ConnectionName(), "MAIN");
}

TEST_F(ManagerRegistry, CommandByNameMakesATemporaryConnection)
{
    client_test::AddDefinition("X", "FakeDrv");
    ZqManager()->SetKeepConnections(false);
    TZqCommand Cmd;
    Cmd.SetConnectionName("X");
    Cmd.CommandText().Add("UPDATE T SET A = 1");
    Cmd.Execute();
    TZqCustomConnection *Made = ZqManager()->FindConnection("X");
    ASSERT_NE(Made, nullptr);
    EXPECT_TRUE(Made->Temporary());
    EXPECT_TRUE(Made->Connected());
    EXPECT_EQ(Made->Owner(), ZqManager());
    EXPECT_EQ(Cmd.Connection(), Made);
    EXPECT_EQ(Cmd.FetchOptions()->Mode(), Made->FetchOptions()->Mode());
    // The last use going frees it when the manager does not keep connections.
    Cmd.Unprepare();
    EXPECT_EQ(ZqManager()->FindConnection("X"), nullptr);
    EXPECT_EQ(Cmd.Connection(), nullptr);
    EXPECT_NE(Log().find("disconnect"), std::string::npos);
}

TEST_F(ManagerRegistry, KeptTemporaryConnectionStaysOpenAndIsReused)
{
    client_test::AddDefinition("X", "FakeDrv");
    TZqCommand A, B;
    A.SetConnectionName("X");
    B.SetConnectionName("X");
    A.CommandText().Add("UPDATE T SET A = 1");
    B.CommandText().Add("UPDATE T SET A = 2");
    A.Execute();
    B.Execute();
    EXPECT_EQ(A.Connection(), B.Connection());
    EXPECT_EQ(ZqManager()->ConnectionCount(), 1);
    A.Unprepare();
    B.Unprepare();
    TZqCustomConnection *Kept = ZqManager()->FindConnection("X");
    ASSERT_NE(Kept, nullptr);
    EXPECT_TRUE(Kept->Connected());
    EXPECT_EQ(Kept->RefCount(), 0);
    // Deactivating frees the temporary one and closes the others.
    auto Own = FakeConnection("Own");
    Own->Open();
    ZqManager()->SetActive(false);
    EXPECT_EQ(ZqManager()->FindConnection("X"), nullptr);
    EXPECT_FALSE(Own->Connected());
    EXPECT_EQ(ZqManager()->ConnectionCount(), 1);
    EXPECT_FALSE(ZqManager()->Active());
    EXPECT_EQ(Raised([] { ZqManager()->CheckActive(); }).Code, 502);
    // Connecting starts the driver manager again.
    Own->Open();
    EXPECT_TRUE(ZqManager()->Active());
}

TEST_F(ManagerRegistry, UseCountClosesWithoutKeepConnection)
{
    auto C = FakeConnection();
    C->SetKeepConnection(false);
    auto A = CommandOn(C.get(), "UPDATE T SET A = 1");
    auto B = CommandOn(C.get(), "UPDATE T SET A = 2");
    A->Prepare();
    B->Prepare();
    EXPECT_TRUE(C->Connected());
    EXPECT_EQ(C->CommandCount(), 2);
    A->Unprepare();
    EXPECT_TRUE(C->Connected());
    B->Unprepare();
    EXPECT_FALSE(C->Connected());
    EXPECT_EQ(C->RefCount(), 0);
    EXPECT_EQ(C->CommandCount(), 0);
}

TEST_F(ManagerRegistry, DisconnectClosesDatasetsAndCommands)
{
    auto C = FakeConnection();
    auto Open = CommandOn(C.get(), "SELECT ID, NAME FROM T");
    auto Ready = CommandOn(C.get(), "UPDATE T SET A = 1");
    Open->Open();
    Ready->Prepare();
    TClientDataSet DS(Open.get());
    C->AttachClient(&DS);
    ASSERT_EQ(C->DataSetCount(), 1);
    EXPECT_EQ(C->CommandCount(), 2);
    C->SetConnected(false);
    EXPECT_FALSE(C->Connected());
    EXPECT_EQ(DS.Calls, "abort ");
    EXPECT_FALSE(Open->Active());
    EXPECT_FALSE(Open->Prepared());
    EXPECT_FALSE(Ready->Prepared());
    EXPECT_EQ(C->CommandCount(), 0);
    EXPECT_EQ(C->RefCount(), 0);
    EXPECT_EQ(fake::Log().back(), "disconnect");
    C->DetachClient(&DS);
    EXPECT_EQ(C->DataSetCount(), 0);
    // The commands prepare again on the next use.
    Ready->Execute();
    EXPECT_TRUE(C->Connected());
}

TEST_F(ManagerRegistry, FreedConnectionLeavesItsCommandsUnbound)
{
    auto C = FakeConnection();
    auto Cmd = CommandOn(C.get(), "UPDATE T SET A = 1");
    Cmd->Prepare();
    C.reset();
    EXPECT_EQ(Cmd->Connection(), nullptr);
    EXPECT_FALSE(Cmd->Prepared());
    EXPECT_EQ(Raised([&] { Cmd->Execute(); }).Code, 512);
}

TEST_F(ManagerRegistry, DefinitionFileNamesTheConnection)
{
    const std::string Path = ::testing::TempDir() + "comp_client_defs_" + std::to_string(::getpid()) + ".ini";
    {
        std::ofstream F(Path);
        F << "[Station]\nDriverID=FakeDrv\nDatabase=from_file\n";
    }
    TZqCustomManager *M = ZqManager();
    int Before = 0, After = 0;
    M->SetBeforeLoadConnectionDefFile([&](IZqStanDefinitions *) { ++Before; });
    M->SetAfterLoadConnectionDefFile([&](IZqStanDefinitions *) { ++After; });
    M->SetConnectionDefFileName(Path);
    M->SetConnectionDefFileAutoLoad(true);
    EXPECT_EQ(M->ConnectionDefFileName(), Path);
    EXPECT_TRUE(M->ConnectionDefFileAutoLoad());
    TZqConnection C;
    C.SetConnectionDefName("Station");
    C.Open();
    ASSERT_TRUE(C.Connected());
    EXPECT_EQ(C.ConnectionIntf()->GetConnectionDef()->GetDatabase(), "from_file");
    EXPECT_EQ(Before, 1);
    EXPECT_EQ(After, 1);
    C.Close();
    M->SetConnectionDefFileAutoLoad(false);
    M->SetConnectionDefFileName("");
    M->SetBeforeLoadConnectionDefFile(nullptr);
    M->SetAfterLoadConnectionDefFile(nullptr);
    std::remove(Path.c_str());
}

TEST_F(ManagerRegistry, ActivationStartsAndStopsTheDriverManager)
{
    TZqCustomManager *M = ZqManager();
    std::string Events;
    M->OnStartup = [&](rtl::TObject *) { Events += M->Active() ? "up " : "up-inactive "; };
    M->OnShutdown = [&](rtl::TObject *) { Events += M->Active() ? "down-active" : "down"; };
    M->SetActive(true);
    EXPECT_TRUE(M->Active());
    EXPECT_EQ(Raised([&] { M->CheckInactive(); }).Code, 501);
    M->SetActive(true); // no change, no event
    M->SetActive(false);
    EXPECT_FALSE(M->Active());
    EXPECT_EQ(Events, "up down");
}

TEST_F(ManagerRegistry, FreeingTheManagerUnpreparesCommandsOnItsConnections)
{
    client_test::AddDefinition("X", "FakeDrv");
    TZqCommand Cmd;
    Cmd.SetConnectionName("X");
    Cmd.CommandText().Add("UPDATE T SET A = 1");
    Cmd.Prepare();
    ASSERT_NE(ZqManager()->FindConnection("X"), nullptr);
    delete ZqCurrentManager();
    EXPECT_EQ(ZqCurrentManager(), nullptr); // nothing made a new one on the way
    EXPECT_FALSE(Cmd.Prepared());
    EXPECT_EQ(Cmd.Connection(), nullptr);
    EXPECT_EQ(Cmd.ConnectionName(), "X");
}
