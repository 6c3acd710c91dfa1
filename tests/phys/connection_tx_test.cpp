// Connection states, the transaction stack with savepoints and nested
// transactions, and closing with open transactions.
#include "tests/support/phys_fixture.h"

namespace {

using ConnectionTx = PhysFixture;

TEST_F(ConnectionTx, NestedStartWithSavepointsSetsSP1AndCommitsInOrder)
{
    EXPECT_EQ(Conn->StartTransaction(), 1);
    EXPECT_EQ(Conn->StartTransaction(), 2);
    EXPECT_EQ(ConnObj()->TxStack().back(), "SP_1");
    Conn->Commit();
    Conn->Commit();
    EXPECT_EQ(fake::LogText(), "begin save:SP_1 release:SP_1 commit");
    EXPECT_FALSE(Conn->GetInTransaction());
}

TEST_F(ConnectionTx, RollbackOfASavepointLevelUndoesToIt)
{
    Conn->StartTransaction();
    Conn->StartTransaction();
    Conn->StartTransaction();
    Conn->Rollback();
    Conn->Rollback();
    Conn->Commit();
    EXPECT_EQ(fake::LogText(), "begin save:SP_1 save:SP_2 undo:SP_2 undo:SP_1 commit");
}

TEST_F(ConnectionTx, NestedTransactionsBeginEachLevelWithItsOwnID)
{
    fake::Script().TxNested = true;
    Conn->StartTransaction();
    Conn->StartTransaction();
    auto Stack = ConnObj()->TxStack();
    ASSERT_EQ(Stack.size(), 2u);
    EXPECT_TRUE(isdigit(Stack[0][0]) && isdigit(Stack[1][0]));
    Conn->Commit();
    Conn->Commit();
    EXPECT_EQ(fake::LogText(), "begin begin commit commit");
}

TEST_F(ConnectionTx, NestingWithoutSavepointsRaises303)
{
    fake::Script().TxSavepoints = false;
    Conn->StartTransaction();
    EXPECT_EQ(RaisedCode([&] { Conn->StartTransaction(); }), 303);
}

TEST_F(ConnectionTx, CommitWithoutTransactionRaises304)
{
    EXPECT_EQ(RaisedCode([&] { Conn->Commit(); }), 304);
    EXPECT_EQ(RaisedCode([&] { Conn->Rollback(); }), 304);
}

TEST_F(ConnectionTx, StartOnAClosedConnectionRaises302)
{
    Conn->Close();
    EXPECT_EQ(RaisedCode([&] { Conn->StartTransaction(); }), 302);
}

TEST_F(ConnectionTx, CloseRollsBackEveryOpenLevel)
{
    Conn->StartTransaction();
    Conn->StartTransaction();
    Conn->Close();
    EXPECT_EQ(fake::LogText(), "begin save:SP_1 undo:SP_1 rollback disconnect");
    EXPECT_EQ(Conn->GetState(), 1);
}

TEST_F(ConnectionTx, OpenOfAnOpenConnectionRaises316)
{
    EXPECT_EQ(RaisedCode([&] { Conn->Open(); }), 316);
}

TEST_F(ConnectionTx, FailedConnectReturnsToClosed)
{
    Conn->Close();
    fake::Script().FailConnect = true;
    EXPECT_EQ(RaisedCode([&] { Conn->Open(); }), 2);
    EXPECT_EQ(Conn->GetState(), 1);
}

TEST_F(ConnectionTx, FailedDisconnectLeavesTheConnectionOpenAndClosableAgain)
{
    fake::Script().FailDisconnect = true;
    EXPECT_EQ(RaisedCode([&] { Conn->Close(); }), 3);
    EXPECT_EQ(Conn->GetState(), 3);
    fake::Script().FailDisconnect = false;
    Conn->Close();
    EXPECT_EQ(Conn->GetState(), 1);
}

TEST_F(ConnectionTx, CloseDisconnectsPreparedCommands)
{
    Cmd->Prepare();
    Conn->Close();
    EXPECT_EQ(Cmd->GetState(), 0);
    EXPECT_EQ(fake::LogText(), "prepare unprepare disconnect");
}

TEST_F(ConnectionTx, PrepareOnAClosedConnectionRaises302)
{
    Conn->Close();
    EXPECT_EQ(RaisedCode([&] { Cmd->Prepare(); }), 302);
    EXPECT_EQ(Cmd->GetState(), 0);
}

TEST_F(ConnectionTx, CommandOptionsInheritFromTheConnection)
{
    Conn->GetOptions()->GetFetchOptions()->SetRowsetSize(77);
    EXPECT_EQ(Cmd->GetOptions()->GetFetchOptions()->RowsetSize(), 77);
    Mgr->GetFetchOptions()->SetRecsMax(5);
    EXPECT_EQ(Cmd->GetOptions()->GetFetchOptions()->RecsMax(), 5);
}

} // namespace
