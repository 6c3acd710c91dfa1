// The command component: prepare on demand through the manager, open and
// execute through the driver command with their events, the text change
// rules, the shared parameter list, option inheritance and the error road.
#include "tests/comp_client/client_fixture.h"

#include "dataaccess/phys/qxZqPhysManager.h"

using namespace ZqCursors;

using client_test::Raised;

class CommandRun : public ClientFixture {};

TEST_F(CommandRun, ExecutePreparesAndOpensTheConnectionFirst)
{
    auto C = FakeConnection();
    auto Cmd = CommandOn(C.get(), "UPDATE T SET A = 1");
    std::string Events;
    Cmd->BeforeExecute = [&](rtl::TObject *) { Events += "before:" + std::to_string(Cmd->RowsAffected()) + " "; };
    Cmd->AfterExecute = [&](rtl::TObject *) { Events += "after:" + std::to_string(Cmd->RowsAffected()); };
    EXPECT_FALSE(C->Connected());
    EXPECT_EQ(Cmd->RowsAffected(), -1);
    Cmd->Execute(0, 0);
    EXPECT_TRUE(C->Connected());
    EXPECT_TRUE(Cmd->Prepared());
    EXPECT_EQ(Events, "before:-1 after:1");
    EXPECT_EQ(Cmd->CommandKind(), skUpdate);
    EXPECT_LT(Log().find("prepare"), Log().find("row:0")) << Log();
    EXPECT_NE(Log().find("row:0"), std::string::npos) << Log();
}

TEST_F(CommandRun, ActiveTrueThenFalseRunsTheStatement)
{
    auto C = FakeConnection();
    C->Open();
    fake::Log().clear();
    auto Cmd = CommandOn(C.get(), "SELECT ID, NAME FROM T");
    std::string Events;
    Cmd->BeforeOpen = [&](rtl::TObject *) { Events += "bo "; };
    Cmd->AfterOpen = [&](rtl::TObject *) { Events += "ao "; };
    Cmd->BeforeClose = [&](rtl::TObject *) { Events += "bc "; };
    Cmd->AfterClose = [&](rtl::TObject *) { Events += "ac"; };
    Cmd->SetActive(true);
    EXPECT_TRUE(Cmd->Active());
    Cmd->SetActive(true); // no change: no events
    Cmd->SetActive(false);
    EXPECT_FALSE(Cmd->Active());
    EXPECT_TRUE(Cmd->Prepared());
    EXPECT_EQ(Events, "bo ao bc ac");
    EXPECT_EQ(Log(), "prepare open close");
}

TEST_F(CommandRun, WriteWhileLoadingOnlyRecords)
{
    auto C = FakeConnection();
    auto Cmd = CommandOn(C.get(), "SELECT ID, NAME FROM T");
    Cmd->SetState(rtl::csLoading, true);
    Cmd->SetActive(true);
    EXPECT_FALSE(Cmd->Prepared());
    EXPECT_FALSE(C->Connected());
    Cmd->Loaded();
    EXPECT_TRUE(Cmd->Active());
}

TEST_F(CommandRun, FailedExecuteRollsBackAndRaisesWithThePrefix)
{
    auto C = FakeConnection();
    auto Cmd = CommandOn(C.get(), "UPDATE T SET A = 1");
    int After = 0;
    Cmd->AfterExecute = [&](rtl::TObject *) { ++After; };
    fake::Script().FailingRows = {0};
    fake::Script().FailTimes = 100;
    auto R = Raised([&] { Cmd->Execute(0, 0); });
    EXPECT_NE(R.Code, 0);
    EXPECT_EQ(R.Message.rfind("[Vexa][Phys][Fake]", 0), 0u) << R.Message;
    EXPECT_EQ(After, 0);
    EXPECT_NE(Log().find("begin"), std::string::npos) << Log();
    EXPECT_NE(Log().find("rollback"), std::string::npos) << Log();
    EXPECT_FALSE(C->InTransaction());
    // The command stays usable.
    fake::Script().FailingRows.clear();
    Cmd->Execute(0, 0);
    EXPECT_EQ(After, 1);
}

TEST_F(CommandRun, DDLStatementEndsUnprepared)
{
    auto C = FakeConnection();
    auto Cmd = CommandOn(C.get(), "CREATE TABLE X (A INTEGER)");
    int After = 0;
    Cmd->AfterExecute = [&](rtl::TObject *) { ++After; };
    Cmd->Execute();
    EXPECT_EQ(After, 1);
    EXPECT_FALSE(Cmd->Prepared());
    EXPECT_EQ(Cmd->CommandIntf(), nullptr);
    EXPECT_EQ(Cmd->RowsAffected(), 1);
    EXPECT_TRUE(C->Connected()); // the connection is kept
}

TEST_F(CommandRun, HourglassShowsWhileTheStatementRuns)
{
    int Cursor = crDefault;
    TZqGUIxScreenHooks Hooks;
    Hooks.HasScreen = [] { return true; };
    Hooks.GetCursor = [&] { return Cursor; };
    Hooks.SetCursor = [&](int AValue) { Cursor = AValue; };
    Hooks.StartTimer = [](uint32_t, std::function<void()>) -> uintptr_t { return 1; };
    Hooks.KillTimer = [](uintptr_t) {};
    Hooks.Tick = [] { return uint32_t(0); };
    ZqSetGUIxScreenHooks(Hooks);
    ZqManager()->SetWaitCursor(gcrHourGlass);
    EXPECT_EQ(ZqManager()->WaitCursor(), gcrHourGlass);
    int During = 0;
    fake::Script().DuringExecute = [&] { During = Cursor; };
    auto C = FakeConnection();
    auto Cmd = CommandOn(C.get(), "UPDATE T SET A = 1");
    Cmd->Execute();
    EXPECT_EQ(During, crHourGlass);
    // Silent mode shows nothing.
    During = 0;
    Cursor = crDefault;
    ZqManager()->SetSilentMode(true);
    Cmd->Execute();
    EXPECT_EQ(During, crDefault);
    ZqManager()->SetSilentMode(false);
    ZqManager()->SetWaitCursor(gcrSQLWait);
    ZqSetGUIxScreenHooks({});
}

class CommandSettings : public ClientFixture {};

TEST_F(CommandSettings, TextChangeUnpreparesAndKeepsSameNamedValues)
{
    auto C = FakeConnection();
    auto Cmd = CommandOn(C.get(), "UPDATE T SET A = :A WHERE ID = :ID");
    ASSERT_EQ(Cmd->Params().Count(), 2);
    Cmd->Params().ParamByName("ID")->SetAsInteger(7);
    Cmd->Params().ParamByName("A")->SetAsInteger(3);
    Cmd->Prepare();
    ASSERT_TRUE(Cmd->Prepared());
    Cmd->CommandText().SetText("UPDATE T SET B = :B WHERE ID = :ID");
    EXPECT_FALSE(Cmd->Prepared());
    ASSERT_EQ(Cmd->Params().Count(), 2);
    EXPECT_EQ(Cmd->Params().ParamByName("ID")->AsInteger(), 7);
    EXPECT_TRUE(Cmd->Params().ParamByName("B")->IsNull());
    EXPECT_EQ(Cmd->Params().FindParam("A"), nullptr);
}

TEST_F(CommandSettings, PreparedCommandSharesTheDriverParameterList)
{
    auto C = FakeConnection();
    auto Cmd = CommandOn(C.get(), "UPDATE T SET A = :A");
    Cmd->Params().ParamByName("A")->SetAsString("x");
    Cmd->Prepare();
    EXPECT_EQ(&Cmd->Params(), Cmd->CommandIntf()->GetParams());
    Cmd->Params().ParamByName("A")->SetAsString("y"); // reaches the driver at once
    EXPECT_EQ(Cmd->CommandIntf()->GetParams()->ParamByName("A")->AsString(), "y");
    Cmd->Unprepare();
    EXPECT_EQ(Cmd->CommandIntf(), nullptr);
    ASSERT_EQ(Cmd->Params().Count(), 1);
    EXPECT_EQ(Cmd->Params().ParamByName("A")->AsString(), "y");
}

TEST_F(CommandSettings, NameSettersUnprepareOnlyOnChange)
{
    auto C = FakeConnection();
    auto Cmd = CommandOn(C.get(), "UPDATE T SET A = :A");
    Cmd->SetSchemaName("S");
    Cmd->Prepare();
    Cmd->SetSchemaName("S");
    EXPECT_TRUE(Cmd->Prepared());
    EXPECT_EQ(Cmd->Params().Count(), 1);
    Cmd->SetSchemaName("Other");
    EXPECT_FALSE(Cmd->Prepared());
    EXPECT_EQ(Cmd->Params().Count(), 0);
}

TEST_F(CommandSettings, ChangesWhileActiveAreRefused)
{
    auto C = FakeConnection();
    auto Cmd = CommandOn(C.get(), "SELECT ID, NAME FROM T");
    Cmd->Open();
    EXPECT_EQ(Raised([&] { Cmd->SetCatalogName("C"); }).Code, 510);
    EXPECT_EQ(Raised([&] { Cmd->SetConnection(nullptr); }).Code, 510);
    EXPECT_TRUE(Cmd->Active());
    // Text changes always unprepare, even an open command.
    Cmd->CommandText().Add("");
    EXPECT_FALSE(Cmd->Prepared());
}

TEST_F(CommandSettings, NeitherConnectionNorNameRaises512)
{
    TZqCommand Cmd;
    Cmd.CommandText().Add("UPDATE T SET A = 1");
    auto R = Raised([&] { Cmd.Execute(); });
    EXPECT_EQ(R.Code, 512);
    EXPECT_FALSE(Cmd.Prepared());
    Cmd.SetConnectionName("Nobody");
    EXPECT_EQ(Raised([&] { Cmd.GetConnection(true); }).Code, 508);
}

TEST_F(CommandSettings, FetchModeSetOnTheConnectionReachesEveryCommand)
{
    auto C = FakeConnection();
    auto A = CommandOn(C.get(), "SELECT ID, NAME FROM T");
    auto B = CommandOn(C.get(), "SELECT ID, NAME FROM T");
    const TZqFetchMode Default = A->FetchOptions()->Mode();
    ASSERT_NE(Default, fmAll);
    C->FetchOptions()->SetMode(fmAll);
    EXPECT_EQ(A->FetchOptions()->Mode(), fmAll);
    EXPECT_EQ(B->FetchOptions()->Mode(), fmAll);
    B->FetchOptions()->SetMode(fmManual); // a command's own setting wins
    EXPECT_EQ(B->FetchOptions()->Mode(), fmManual);
    // The driver command reads through the component.
    A->Prepare();
    EXPECT_EQ(A->CommandIntf()->GetOptions()->GetFetchOptions()->Mode(), fmAll);
    // The manager is the root: what neither sets comes from it.
    ZqManager()->FetchOptions()->SetRowsetSize(7);
    EXPECT_EQ(A->FetchOptions()->RowsetSize(), 7);
    EXPECT_EQ(C->FetchOptions()->RowsetSize(), 7);
}

TEST_F(CommandSettings, OptionLinesOfTheDefinitionSetTheConnection)
{
    auto C = FakeConnection();
    C->Params().Add("FetchOptions.Mode=fmAll");
    auto Cmd = CommandOn(C.get(), "SELECT ID, NAME FROM T");
    C->Open();
    EXPECT_EQ(Cmd->FetchOptions()->Mode(), fmAll);
}

class CommandErrors : public ClientFixture {};

TEST_F(CommandErrors, DriverErrorReachesTheCommandThenTheConnection)
{
    auto C = FakeConnection();
    auto Cmd = CommandOn(C.get(), "UPDATE T SET A = 1");
    fake::Script().FailingRows = {0};
    fake::Script().FailTimes = 100;
    std::string Seen;
    C->OnError = [&](rtl::TObject *, const TZqIntfPtr<IZqStanObject> &AInitiator, std::unique_ptr<rtl::Exception> &) {
        Seen += "conn:" + (AInitiator ? AInitiator->GetName() : std::string("nil")) + " ";
    };
    Cmd->SetName("Cmd1");
    EXPECT_NE(Raised([&] { Cmd->Execute(); }).Code, 0);
    EXPECT_NE(Seen.find("conn:"), std::string::npos) << Seen;
    // A command's own handler takes the place of the connection's.
    Seen.clear();
    Cmd->OnError = [&](rtl::TObject *ASender, const TZqIntfPtr<IZqStanObject> &, std::unique_ptr<rtl::Exception> &) {
        EXPECT_EQ(ASender, Cmd.get());
        Seen += "cmd ";
    };
    EXPECT_NE(Raised([&] { Cmd->Execute(); }).Code, 0);
    EXPECT_EQ(Seen.find("conn:"), std::string::npos) << Seen;
    EXPECT_NE(Seen.find("cmd"), std::string::npos);
}
