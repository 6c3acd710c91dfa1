// Applying a table's cached changes through its adapter and reconciling the
// rows that failed.
#include <map>

#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "tests/dapt/dapt_fixture.h"

using namespace dats;

namespace {

// Answers each failed row by its ID; rows it has no answer for are merged.
class TReconciler : public TZqObject, public virtual IZqDAptUpdateHandler {
public:
    void ReconcileRowHandler(TZqDatSRow *ARow, TZqDAptReconcileAction &AAction) override
    {
        EXPECT_EQ(AAction, raMerge);
        EXPECT_TRUE(ARow->HasErrors());
        const int ID = ARow->GetDataAsVariant(0).AsInteger();
        Asked.push_back(ID);
        auto It = Answers.find(ID);
        if (It != Answers.end()) AAction = It->second;
    }
    void UpdateRowHandler(TZqDatSRow *, TZqPhysRequest, TZqErrorAction &, TZqPhysUpdateRowOptions) override {}
    std::map<int, TZqDAptReconcileAction> Answers;
    std::vector<int> Asked;
};

class JournalApply : public DaptConnection {
protected:
    void SetUp() override
    {
        DaptConnection::SetUp();
        Select = NewSelect();
        ZqCreateInterface(Adapter);
        Adapter->SetSelectCommand(Select);
        T = Load(Adapter.Get());
    }
    void TearDown() override
    {
        Adapter.Reset();
        Select.Reset();
        DaptConnection::TearDown();
    }
    // Rows 1 and 2 modified, row 3 deleted, row 4 inserted: four posts.
    void ChangeAll()
    {
        Edit(Row(T, 0), "one");
        Edit(Row(T, 1), "two");
        Row(T, 2)->Delete();
        Insert(T, 4, "four");
    }
    TReconciler *Reconciler()
    {
        auto *H = new TReconciler();
        Adapter->SetUpdateHandler(TZqIntfPtr<IZqDAptUpdateHandler>(H));
        return H;
    }
    TZqIntfPtr<IZqPhysCommand> Select;
    TZqIntfPtr<IZqDAptTableAdapter> Adapter;
    TZqDatSTable *T = nullptr;
};

TEST_F(JournalApply, PostsEveryChangeInJournalOrderAndKeepsThemForCommit)
{
    ChangeAll();
    EXPECT_EQ(Adapter->ApplyUpdates(-1), 0);
    EXPECT_EQ(Verbs(), (std::vector<std::string>{"exec:UPDATE", "exec:UPDATE", "exec:DELETE", "exec:INSERT"}));
    // A deleted row is found by the key it was read with.
    EXPECT_EQ(daptfake::Log()[2], "exec:DELETE FROM T WHERE ID = ?|OLD_ID=3");
    // Posting leaves the changes for the dataset's commit.
    EXPECT_TRUE(T->Journal()->HasChanges());
    EXPECT_EQ(Row(T, 0)->RowState(), rsModified);
}

TEST_F(JournalApply, AJournalOfUnchangedRowsPostsNothing)
{
    EXPECT_EQ(Adapter->ApplyUpdates(0), 0);
    EXPECT_TRUE(daptfake::Log().empty());
    EXPECT_TRUE(Adapter->Reconcile());
}

TEST_F(JournalApply, MaximumErrorsStopsAfterOneMoreFailure)
{
    daptfake::Script().FailKeys = {1, 2, 3, 4};
    struct Case {
        int Max, Failed, Posts;
    };
    // -1: everything is tried; N: stop once N + 1 rows failed.
    for (Case C : {Case{-1, 4, 4}, Case{0, 1, 1}, Case{2, 3, 3}, Case{9, 4, 4}}) {
        ChangeAll();
        daptfake::Log().clear();
        EXPECT_EQ(Adapter->ApplyUpdates(C.Max), C.Failed) << C.Max;
        EXPECT_EQ(int(daptfake::Log().size()), C.Posts) << C.Max;
        while (TZqDatSRow *R = T->Journal()->FirstChange(T)) R->RejectChanges();
    }
}

TEST_F(JournalApply, AFailedRowIsCountedNotRaisedAndKeepsItsError)
{
    ChangeAll();
    daptfake::Script().FailKeys = {2};
    int Failed = -1;
    EXPECT_NO_THROW(Failed = Adapter->ApplyUpdates(-1));
    EXPECT_EQ(Failed, 1);
    EXPECT_EQ(daptfake::Log().size(), 4u);
    EXPECT_FALSE(Row(T, 0)->HasErrors());
    ASSERT_TRUE(Row(T, 1)->HasErrors());
    EXPECT_EQ(Row(T, 1)->GetRowError()->ErrorCode(), 2627);
    EXPECT_EQ(Row(T, 1)->RowState(), rsModified);
}

TEST_F(JournalApply, ARowThatFailedOnItsCountIsOfferedToReconcile)
{
    Edit(Row(T, 0), "one");
    daptfake::Script().Affected = 0;
    EXPECT_EQ(Adapter->ApplyUpdates(-1), 1);
    ASSERT_TRUE(Row(T, 0)->HasErrors());
    EXPECT_EQ(Row(T, 0)->GetRowError()->ErrorCode(), 400);
    TReconciler *H = Reconciler();
    H->Answers = {{1, raCancel}};
    EXPECT_TRUE(Adapter->Reconcile());
    EXPECT_EQ(H->Asked, (std::vector<int>{1}));
    EXPECT_EQ(Row(T, 0)->GetDataAsVariant(1).AsString(), "alpha");
}

TEST_F(JournalApply, TheErrorHandlerSeesEachFailedRowOnceAndMaySkipIt)
{
    struct THandler : TZqObject, virtual IZqStanErrorHandler {
        void HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator,
                             std::unique_ptr<rtl::Exception> &AException) override
        {
            auto *U = dynamic_cast<EZqDAptRowUpdateException *>(AException.get());
            if (!U) return;
            ++Calls;
            EXPECT_TRUE(AInitiator);
            Requests.push_back(U->Request);
            U->Action = eaSkip;
        }
        int Calls = 0;
        std::vector<TZqPhysRequest> Requests;
    };
    auto *H = new THandler();
    Adapter->SetErrorHandler(TZqIntfPtr<IZqStanErrorHandler>(H));
    ChangeAll();
    daptfake::Script().FailKeys = {3, 4};
    EXPECT_EQ(Adapter->ApplyUpdates(0), 0); // skipped rows are not failures
    EXPECT_EQ(H->Calls, 2);
    EXPECT_EQ(H->Requests, (std::vector<TZqPhysRequest>{arDelete, arInsert}));
}

TEST_F(JournalApply, ReconcileWithoutAnUpdateHandlerAnswersTrueAtOnce)
{
    ChangeAll();
    daptfake::Script().FailKeys = {1};
    Adapter->ApplyUpdates(-1);
    EXPECT_TRUE(Adapter->Reconcile());
    EXPECT_TRUE(Row(T, 0)->HasErrors());
}

TEST_F(JournalApply, ReconcileActionsSettleTheFailedRows)
{
    ChangeAll();
    daptfake::Script().FailKeys = {1, 2, 3, 4};
    EXPECT_EQ(Adapter->ApplyUpdates(-1), 4);
    TReconciler *H = Reconciler();
    H->Answers = {{1, raMerge}, {2, raCancel}, {3, raSkip}, {4, raCorrect}};
    EXPECT_FALSE(Adapter->Reconcile());
    EXPECT_EQ(H->Asked, (std::vector<int>{1, 2, 3, 4}));
    // Merge: the client values become the row's unchanged values.
    EXPECT_EQ(Row(T, 0)->RowState(), rsUnchanged);
    EXPECT_EQ(Row(T, 0)->GetDataAsVariant(1).AsString(), "one");
    EXPECT_FALSE(Row(T, 0)->HasErrors());
    // Cancel: the change is gone.
    EXPECT_EQ(Row(T, 1)->RowState(), rsUnchanged);
    EXPECT_EQ(Row(T, 1)->GetDataAsVariant(1).AsString(), "beta");
    // Skip: error and change stay.
    EXPECT_EQ(Row(T, 2)->RowState(), rsDeleted);
    EXPECT_TRUE(Row(T, 2)->HasErrors());
    // Correct: the error goes, the change waits for the next apply.
    EXPECT_EQ(Row(T, 3)->RowState(), rsInserted);
    EXPECT_FALSE(Row(T, 3)->HasErrors());

    // Now only the skipped row carries an error: answering it with merge
    // still leaves the corrected insert in the journal.
    H->Asked.clear();
    H->Answers = {};
    EXPECT_FALSE(Adapter->Reconcile());
    EXPECT_EQ(H->Asked, (std::vector<int>{3}));
    daptfake::Script().FailKeys.clear();
    daptfake::Log().clear();
    EXPECT_EQ(Adapter->ApplyUpdates(-1), 0);
    EXPECT_EQ(Verbs(), (std::vector<std::string>{"exec:INSERT"}));
}

TEST_F(JournalApply, AbortStopsTheWalk)
{
    ChangeAll();
    daptfake::Script().FailKeys = {1, 2};
    Adapter->ApplyUpdates(-1);
    TReconciler *H = Reconciler();
    H->Answers = {{1, raAbort}};
    EXPECT_FALSE(Adapter->Reconcile());
    EXPECT_EQ(H->Asked, (std::vector<int>{1}));
    EXPECT_TRUE(Row(T, 1)->HasErrors());
}

TEST_F(JournalApply, RefreshDropsTheChangeAndRereadsTheServerValues)
{
    Edit(Row(T, 1), "two");
    daptfake::Script().FailKeys = {2};
    Adapter->ApplyUpdates(-1);
    daptfake::Script().FailKeys.clear();
    daptfake::Script().Rows[1].second = "beta on the server";
    TReconciler *H = Reconciler();
    H->Answers = {{2, raRefresh}};
    daptfake::Log().clear();
    EXPECT_TRUE(Adapter->Reconcile());
    ASSERT_EQ(Verbs(), (std::vector<std::string>{"open:SELECT"}));
    EXPECT_EQ(Row(T, 1)->RowState(), rsUnchanged);
    EXPECT_EQ(Row(T, 1)->GetDataAsVariant(1).AsString(), "beta on the server");
    EXPECT_FALSE(Row(T, 1)->HasErrors());
}

TEST_F(JournalApply, AFailedInsertIsUnlockedWithCancelAndItsTransactionRolledBack)
{
    Select->GetOptions()->GetUpdateOptions()->SetLockMode(lmPessimistic);
    Select->GetOptions()->GetUpdateOptions()->SetLockPoint(lpDeferred);
    Insert(T, 4, "four");
    daptfake::Script().FailKeys = {4};
    EXPECT_EQ(Adapter->ApplyUpdates(-1), 1);
    // The insert's lock reads nothing from the server, and neither does its unlock.
    EXPECT_EQ(Verbs(), (std::vector<std::string>{"begin", "exec:INSERT", "rollback"}));
    EXPECT_FALSE(Row(T, 3)->GetLocked());
    EXPECT_EQ(Row(T, 3)->RowState(), rsInserted);
}

TEST_F(JournalApply, APostedModificationUnderPessimisticLockingIsCommitted)
{
    Select->GetOptions()->GetUpdateOptions()->SetLockMode(lmPessimistic);
    Select->GetOptions()->GetUpdateOptions()->SetLockPoint(lpDeferred);
    Edit(Row(T, 0), "one");
    EXPECT_EQ(Adapter->ApplyUpdates(-1), 0);
    EXPECT_EQ(Verbs(), (std::vector<std::string>{"begin", "open:SELECT", "exec:UPDATE", "commit"}));
    EXPECT_FALSE(Row(T, 0)->GetLocked());
}

// Rows of a table in a manager that keeps no shared journal are recorded in
// the table's own journal, and that is where they must be looked for.
TEST_F(JournalApply, ATableInAManagerWithoutSharedJournalStillPostsItsChanges)
{
    auto *M = new TZqDatSManager();
    M->CountRef(0);
    TZqIntfPtr<IZqDAptTableAdapter> A;
    ZqCreateInterface(A);
    A->SetDatSManager(M);
    A->SetSelectCommand(NewSelect());
    TZqDatSTable *T2 = Load(A.Get());
    ASSERT_EQ(T2->Manager(), M);
    ASSERT_FALSE(M->UpdatesRegistry());
    Edit(Row(T2, 2), "three");
    EXPECT_EQ(A->ApplyUpdates(-1), 0);
    EXPECT_EQ(Verbs(), (std::vector<std::string>{"exec:UPDATE"}));
}

TEST_F(JournalApply, AnAdapterWithoutATableHasNothingToApply)
{
    TZqIntfPtr<IZqDAptTableAdapter> A;
    ZqCreateInterface(A);
    A->SetSelectCommand(NewSelect());
    EXPECT_EQ(A->ApplyUpdates(-1), 0);
    EXPECT_TRUE(A->Reconcile());
    TZqIntfPtr<IZqDAptTableAdapter> None;
    ZqCreateInterface(None);
    try {
        None->ApplyUpdates(-1);
        FAIL() << "no select command";
    } catch (const EZqException &E) {
        EXPECT_EQ(E.ErrorCode(), 402);
    }
}

} // namespace
