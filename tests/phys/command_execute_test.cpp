// Array execution with each answer of the error handler, the automatic
// transaction around it, offsets and abort.
#include "tests/support/phys_fixture.h"

#include <thread>

#include "dataaccess/stan/qxZqStanParam.h"

namespace {

class TArrayHandler : public TZqObject, public virtual IZqStanErrorHandler {
public:
    explicit TArrayHandler(TZqErrorAction AAction) : FAction(AAction) {}
    void HandleException(const TZqIntfPtr<IZqStanObject> &, std::unique_ptr<rtl::Exception> &AException) override
    {
        auto *E = dynamic_cast<EZqPhysArrayExecuteError *>(AException.get());
        ASSERT_NE(E, nullptr);
        Offsets.push_back(E->Offset);
        Times = E->Times;
        ASSERT_NE(E->Exception, nullptr);
        E->Action = FAction;
    }
    std::vector<int> Offsets;
    int Times = 0;

private:
    TZqErrorAction FAction;
};

class CommandExecute : public PhysFixture {
protected:
    void SetUp() override
    {
        PhysFixture::SetUp();
        Cmd->SetCommandText("INSERT INTO T VALUES (1)");
        Cmd->SetCommandKind(skInsert);
    }
    TZqIntfPtr<TArrayHandler> Handle(TZqErrorAction AAction)
    {
        TZqIntfPtr<TArrayHandler> H(new TArrayHandler(AAction));
        Cmd->SetErrorHandler(TZqIntfPtr<IZqStanErrorHandler>(H.Get()));
        return H;
    }
    static std::string Rows(int AFrom, int ATo, int ASkip = -1)
    {
        std::string R;
        for (int I = AFrom; I <= ATo; ++I)
            if (I != ASkip) R += " row:" + std::to_string(I);
        return R;
    }
};

TEST_F(CommandExecute, SingleExecuteRunsOneRowInAnAutomaticTransaction)
{
    Cmd->Execute(0, 0);
    EXPECT_EQ(fake::LogText(), "prepare begin row:0 commit");
    EXPECT_EQ(Cmd->GetRowsAffected(), 1);
    EXPECT_EQ(Cmd->GetState(), 1);
}

TEST_F(CommandExecute, TextGetsItsParametersAndPreparesThePreprocessedText)
{
    Cmd->SetCommandText("UPDATE T SET NAME = :N WHERE ID = :ID");
    ASSERT_EQ(Cmd->GetParams()->Count(), 2);
    EXPECT_EQ(Cmd->GetParams()->Items(1)->Name(), "ID");
    Cmd->GetParams()->Items(0)->SetAsString("x");
    Cmd->Prepare();
    auto *C = dynamic_cast<TZqPhysCommand *>(Cmd.Get());
    EXPECT_EQ(C->DbCommandText(), "UPDATE T SET NAME = ? WHERE ID = ?");
    // values given before preparing survive the second preprocessing run
    EXPECT_EQ(Cmd->GetParams()->Items(0)->AsString(), "x");
}

TEST_F(CommandExecute, OffsetAtTimesExecutesNothing)
{
    Cmd->Execute(5, 5);
    EXPECT_EQ(fake::LogText(), "prepare");
    EXPECT_EQ(Cmd->GetRowsAffected(), 0);
}

TEST_F(CommandExecute, SkipRunsEveryOtherRowAndCommits)
{
    fake::Script().FailingRows = {3};
    auto H = Handle(eaSkip);
    Cmd->Execute(10, 0);
    EXPECT_EQ(fake::LogText(), "prepare begin" + Rows(0, 2) + " fail:3" + Rows(4, 9) + " commit");
    EXPECT_EQ(H->Offsets, std::vector<int>{3});
    EXPECT_EQ(H->Times, 10);
    EXPECT_EQ(Cmd->GetRowsAffected(), 9);
    EXPECT_EQ(Cmd->GetErrorAction(), eaExitSuccess);
}

TEST_F(CommandExecute, AppliedCountsTheFailedRowAsDone)
{
    fake::Script().FailingRows = {3};
    Handle(eaApplied);
    Cmd->Execute(10, 0);
    EXPECT_EQ(Cmd->GetRowsAffected(), 10);
}

TEST_F(CommandExecute, RetryRunsTheFailedRowAgain)
{
    fake::Script().FailingRows = {3};
    fake::Script().FailTimes = 2;
    auto H = Handle(eaRetry);
    Cmd->Execute(5, 0);
    EXPECT_EQ(fake::LogText(), "prepare begin" + Rows(0, 2) + " fail:3 fail:3" + Rows(3, 4) + " commit");
    EXPECT_EQ(H->Offsets, (std::vector<int>{3, 3}));
    EXPECT_EQ(Cmd->GetRowsAffected(), 5);
}

TEST_F(CommandExecute, ExitFailureRollsBackAndRaisesNothing)
{
    fake::Script().FailingRows = {3};
    Handle(eaExitFailure);
    EXPECT_EQ(RaisedCode([&] { Cmd->Execute(10, 0); }), 0);
    EXPECT_EQ(fake::LogText(), "prepare begin" + Rows(0, 2) + " fail:3 rollback");
    EXPECT_EQ(Cmd->GetErrorAction(), eaExitFailure);
    EXPECT_EQ(Cmd->GetRowsAffected(), 3);
}

TEST_F(CommandExecute, ExitSuccessCommitsWhatRan)
{
    fake::Script().FailingRows = {3};
    Handle(eaExitSuccess);
    Cmd->Execute(10, 0);
    EXPECT_EQ(fake::LogText(), "prepare begin" + Rows(0, 2) + " fail:3 commit");
}

TEST_F(CommandExecute, FailWithoutHandlerRollsBackAndRaises)
{
    fake::Script().FailingRows = {1};
    EXPECT_EQ(RaisedCode([&] { Cmd->Execute(3, 0); }), 1);
    EXPECT_EQ(fake::LogText(), "prepare begin row:0 fail:1 rollback");
    EXPECT_EQ(Cmd->GetState(), 1);
}

TEST_F(CommandExecute, DefaultAnswerRaisesLikeFail)
{
    fake::Script().FailingRows = {0};
    Handle(eaDefault);
    EXPECT_EQ(RaisedCode([&] { Cmd->Execute(2, 0); }), 1);
}

TEST_F(CommandExecute, ParameterArrayShorterThanTimesRaises325)
{
    Cmd->GetOptions()->GetResourceOptions()->SetParamCreate(false);
    TZqParam *P = Cmd->GetParams()->Add();
    P->SetName("X");
    P->SetArraySize(2);
    EXPECT_EQ(RaisedCode([&] { Cmd->Execute(3, 0); }), 325);
    EXPECT_EQ(Cmd->GetState(), 1);
}

TEST_F(CommandExecute, InsideAUserTransactionNothingIsCommitted)
{
    Conn->StartTransaction();
    Cmd->Execute();
    EXPECT_EQ(fake::LogText(), "begin prepare row:0");
    EXPECT_TRUE(Conn->GetInTransaction());
}

TEST_F(CommandExecute, ServerAutoCommitLeavesTransactionsToTheServer)
{
    fake::Script().ServerAutoCommit = true;
    Conn->GetTxOptions()->SetAutoCommit(false);
    Cmd->Execute();
    EXPECT_EQ(fake::LogText(), "prepare txchanged row:0");
}

TEST_F(CommandExecute, AbortFromAnotherThreadEndsTheExecute)
{
    std::atomic<bool> Started{false};
    fake::Script().DuringExecute = [&] {
        Started = true;
        while (Cmd->GetState() != 5) std::this_thread::yield();
    };
    std::thread Aborter([&] {
        while (!Started) std::this_thread::yield();
        Cmd->AbortJob(true);
    });
    Cmd->Execute(3, 0);
    Aborter.join();
    EXPECT_EQ(Cmd->GetState(), 1);
    EXPECT_EQ(Cmd->GetRowsAffected(), 0);
}

TEST_F(CommandExecute, AbortOfADriverThatCannotCancelRaises303)
{
    fake::Script().AbortSupported = false;
    int Code = -1;
    fake::Script().DuringExecute = [&] { Code = RaisedCode([&] { Cmd->AbortJob(false); }); };
    Cmd->Execute();
    EXPECT_EQ(Code, 303);
}

} // namespace
