// The connection component: connect from parameter lines, definition
// resolution and its errors, the login step, transactions, and what a
// disconnect does to the commands and datasets attached to it.
#include "tests/comp_client/client_fixture.h"

using client_test::Raised;

class ConnectionConnect : public ClientFixture {};

TEST_F(ConnectionConnect, TwoParameterLinesOpenWithoutAnyDialog)
{
    auto C = FakeConnection();
    std::string Events;
    C->BeforeConnect = [&](rtl::TObject *) { Events += "before "; };
    C->AfterConnect = [&](rtl::TObject *) { Events += C->Connected() ? "after" : "after-closed"; };
    ASSERT_TRUE(C->LoginPrompt());
    C->SetConnected(true);
    EXPECT_TRUE(C->Connected());
    EXPECT_EQ(Events, "before after");
    EXPECT_EQ(Log(), "connect");
    EXPECT_EQ(client_test::LoginScript().Executions, 0);
    // A second True and a False on a closed component change nothing.
    C->SetConnected(true);
    EXPECT_EQ(Events, "before after");
    C->SetConnected(false);
    EXPECT_FALSE(C->Connected());
    EXPECT_EQ(C->ConnectionIntf(), nullptr);
    C->SetConnected(false);
    EXPECT_EQ(Log(), "connect disconnect");
}

TEST_F(ConnectionConnect, ReconnectAfterParameterChangeUsesNewLines)
{
    auto C = FakeConnection();
    C->Open();
    C->Close();
    C->Params().Clear();
    C->Params().Add("DriverID=FakeDrv");
    C->Params().Add("Database=other");
    C->Open();
    ASSERT_TRUE(C->Connected());
    EXPECT_EQ(C->ConnectionIntf()->GetConnectionDef()->GetDatabase(), "other");
}

TEST_F(ConnectionConnect, MissingDriverRaises340AndStaysDisconnected)
{
    TZqConnection C;
    C.Params().Add("Database=demo");
    auto R = Raised([&] { C.Open(); });
    EXPECT_EQ(R.Code, 340);
    EXPECT_EQ(R.Message.rfind("[Vexa][Comp][Clnt]-340. Driver ID is not defined.", 0), 0u) << R.Message;
    EXPECT_FALSE(C.Connected());
    EXPECT_EQ(C.ConnectionIntf(), nullptr);
    EXPECT_FALSE(C.ConnectionDef()->GetParentDefinition());
}

TEST_F(ConnectionConnect, UnknownDefinitionNameRaises254)
{
    TZqConnection C;
    C.SetConnectionDefName("Nowhere");
    EXPECT_EQ(Raised([&] { C.Open(); }).Code, 254);
    EXPECT_FALSE(C.Connected());
    EXPECT_FALSE(C.ConnectionDef()->GetParentDefinition());
}

TEST_F(ConnectionConnect, DefinitionByNameSuppliesTheDriverUntilDisconnect)
{
    client_test::AddDefinition("Station", "FakeDrv");
    TZqConnection C;
    C.SetConnectionDefName("Station");
    EXPECT_EQ(C.DriverName(), "");
    C.Open();
    ASSERT_TRUE(C.Connected());
    EXPECT_EQ(C.DriverName(), "FakeDrv"); // inherited from the named definition
    C.Close();
    EXPECT_FALSE(C.ConnectionDef()->GetParentDefinition());
    // Naming a driver drops the definition name, and the other way round.
    C.SetDriverName("FakeDrv");
    EXPECT_EQ(C.ConnectionDefName(), "");
    C.SetConnectionDefName("Station");
    EXPECT_EQ(C.Params().Values("DriverID"), "");
}

TEST_F(ConnectionConnect, PooledDefinitionAcceptsOnlyItsNameLine)
{
    // The driver manager's Close stops a connection pool while it holds its
    // own lock, and the pool's thread needs that lock to release the pooled
    // connection: the two wait on each other. Open until the driver manager
    // stops its pools outside the lock.
    client_test::AddDefinition("Pool", "FakeDrv", true);
    TZqConnection C;
    C.SetConnectionDefName("Pool");
    C.Open();
    EXPECT_TRUE(C.Connected());
    C.Close();
    C.Params().Add("Database=elsewhere");
    EXPECT_EQ(Raised([&] { C.Open(); }).Code, 507);
    EXPECT_FALSE(C.Connected());
}

TEST_F(ConnectionConnect, ParamsOfALiveConnectionAreRefused)
{
    auto C = FakeConnection();
    C->Open();
    auto R = Raised([&] { C->Params().Add("User_Name=x"); });
    EXPECT_EQ(R.Code, 504);
    EXPECT_NE(R.Message.find("Connection [$"), std::string::npos) << R.Message; // unnamed: "$" and its identity
    EXPECT_TRUE(C->Connected());
    EXPECT_EQ(C->Params().Values("User_Name"), "");
    // At design time the change closes the connection instead.
    C->SetState(rtl::csDesigning, true);
    C->Params().Add("User_Name=x");
    EXPECT_FALSE(C->Connected());
    EXPECT_EQ(C->Params().Values("User_Name"), "x");
}

TEST_F(ConnectionConnect, FailedConnectLeavesNoDriverConnection)
{
    auto C = FakeConnection();
    fake::Script().FailConnect = true;
    auto R = Raised([&] { C->Open(); });
    EXPECT_NE(R.Code, 0);
    EXPECT_EQ(R.Message.rfind("[Vexa]", 0), 0u) << R.Message;
    EXPECT_FALSE(C->Connected());
    EXPECT_EQ(C->ConnectionIntf(), nullptr);
    fake::Script().FailConnect = false;
    C->Open();
    EXPECT_TRUE(C->Connected());
}

TEST_F(ConnectionConnect, WriteWhileLoadingIsAppliedByLoaded)
{
    auto C = FakeConnection();
    C->SetState(rtl::csLoading, true);
    C->SetConnected(true);
    EXPECT_FALSE(C->Connected());
    C->Loaded();
    EXPECT_TRUE(C->Connected());

    auto D = FakeConnection();
    D->SetConnectedAtRunTime(arInactive);
    D->SetState(rtl::csLoading, true);
    D->SetConnected(true);
    D->Loaded();
    EXPECT_FALSE(D->Connected()); // the streamed value is ignored at run time
}

TEST_F(ConnectionConnect, DisconnectOfAConnectionNotKeptRunsOnce)
{
    auto C = FakeConnection();
    C->SetKeepConnection(false);
    auto Cmd = CommandOn(C.get(), "UPDATE T SET A = 1");
    Cmd->Prepare();
    int Before = 0, After = 0;
    C->BeforeDisconnect = [&](rtl::TObject *) { ++Before; };
    C->AfterDisconnect = [&](rtl::TObject *) { ++After; };
    // Unpreparing the command gives the last use back in the middle of the
    // disconnect; that must not start a second one.
    C->Close();
    EXPECT_EQ(Before, 1);
    EXPECT_EQ(After, 1);
    EXPECT_FALSE(Cmd->Prepared());
    EXPECT_EQ(Log(), "connect prepare unprepare disconnect");
}

class ConnectionLogin : public ClientFixture {};

TEST_F(ConnectionLogin, OnLoginReplacesTheDialog)
{
    auto C = FakeConnection();
    client_test::LoginScript().Offer = true;
    int Calls = 0;
    C->OnLogin = [&](TZqCustomConnection *AConn, const TZqIntfPtr<IZqStanConnectionDef> &ADef) {
        ++Calls;
        EXPECT_EQ(AConn, C.get());
        EXPECT_EQ(ADef->GetDriverID(), "FakeDrv");
    };
    C->Open();
    EXPECT_EQ(Calls, 1);
    EXPECT_EQ(client_test::LoginScript().Executions, 0);
    EXPECT_TRUE(C->Connected()); // opened after the handler, which did not
}

TEST_F(ConnectionLogin, TypedPasswordIsNotKept)
{
    auto C = FakeConnection();
    auto &S = client_test::LoginScript();
    S.Offer = true;
    S.TypedPassword = "secret";
    C->Open();
    EXPECT_TRUE(C->Connected());
    EXPECT_EQ(S.Executions, 1);
    EXPECT_TRUE(S.HadDefinition);
    EXPECT_EQ(C->Params().Values("Password"), "");
    EXPECT_EQ(C->ConnectionDef()->GetPassword(), "");
}

TEST_F(ConnectionLogin, PasswordGivenInParamsStays)
{
    auto C = FakeConnection();
    C->Params().Add("Password=given");
    client_test::LoginScript().Offer = true;
    C->Open();
    EXPECT_EQ(C->Params().Values("Password"), "given");
}

TEST_F(ConnectionLogin, CancelledDialogRaises506WithTheName)
{
    auto C = FakeConnection("Main");
    auto &S = client_test::LoginScript();
    S.Offer = true;
    S.Proceed = false;
    auto R = Raised([&] { C->Open(); });
    EXPECT_EQ(R.Code, 506);
    EXPECT_EQ(R.Message, "[Vexa][Comp][Clnt]-506. Connection [Main] establishment is canceled");
    EXPECT_FALSE(C->Connected());
    EXPECT_EQ(C->ConnectionIntf(), nullptr);
}

TEST_F(ConnectionLogin, NoDialogWithoutPromptOrWhenSilent)
{
    auto &S = client_test::LoginScript();
    S.Offer = true;
    auto C = FakeConnection();
    C->SetLoginPrompt(false);
    C->Open();
    EXPECT_EQ(S.Executions, 0);
    C->Close();
    C->SetLoginPrompt(true);
    ZqManager()->SetSilentMode(true);
    C->Open();
    EXPECT_EQ(S.Executions, 0);
    EXPECT_TRUE(C->Connected());
}

TEST_F(ConnectionLogin, CancelStaysCancelledWhenTheErrorHandlerClearsTheError)
{
    auto C = FakeConnection("Main");
    auto &S = client_test::LoginScript();
    S.Offer = true;
    S.Proceed = false;
    int Handled = 0;
    C->OnError = [&](rtl::TObject *, const TZqIntfPtr<IZqStanObject> &, std::unique_ptr<rtl::Exception> &AExc) {
        ++Handled;
        AExc.reset();
    };
    EXPECT_EQ(Raised([&] { C->Open(); }).Code, 506);
    EXPECT_EQ(Handled, 1);
    EXPECT_FALSE(C->Connected());
    EXPECT_EQ(Log(), "");
}

class ConnectionTransactions : public ClientFixture {};

TEST_F(ConnectionTransactions, StartCommitRollbackReachTheDriver)
{
    auto C = FakeConnection();
    EXPECT_FALSE(C->InTransaction());
    auto R = Raised([&] { C->StartTransaction(); });
    EXPECT_EQ(R.Code, 505);
    C->Open();
    fake::Log().clear();
    C->StartTransaction();
    EXPECT_TRUE(C->InTransaction());
    C->Commit();
    EXPECT_FALSE(C->InTransaction());
    C->StartTransaction();
    C->Rollback();
    EXPECT_FALSE(C->InTransaction());
    EXPECT_NE(Log().find("begin"), std::string::npos);
    EXPECT_NE(Log().find("commit"), std::string::npos);
    EXPECT_NE(Log().find("rollback"), std::string::npos);
    EXPECT_LT(Log().find("commit"), Log().rfind("rollback"));
}
