// The cached-updates side of the dataset: ApplyUpdates through the source,
// CommitUpdates, CancelUpdates, RevertRecord, Reconcile with its actions,
// the journal the table really uses and the row states it shows.
#include <gtest/gtest.h>

#include "dataaccess/dats/qxZqDatSManager.h"
#include "tests/comp_ds/ds_fixture.h"

using namespace comptest;
using namespace dstest;
using namespace dats;

namespace {

// A source that posts the journalled rows of its table the way the
// updates processor does: a row named "bad" fails and keeps an error, the
// others are posted and stay journalled until committed; processing stops
// once the failures exceed the maximum (-1: no maximum).
class TApplyDataSet : public TTestDataSet {
public:
    std::vector<std::pair<int, TZqDatSRowState>> Posted;
    int Refetched = 0;

    int ApplySourceUpdates(int AMaxErrors) override
    {
        TZqDatSUpdatesJournal *J = GetUpdates();
        int Errors = 0;
        for (TZqDatSRow *R = J->FirstChange(Table()); R;) {
            TZqDatSRow *Next = J->NextChange(R, Table());
            rtl::Variant Name = R->GetDataAsVariant(cNAME);
            if (!Name.IsClear() && Name.AsString() == "bad") {
                EZqException E(404, "Update post failed");
                R->SetRowError(&E);
                ++Errors;
                if (AMaxErrors != -1 && Errors > AMaxErrors)
                    break;
            } else {
                Posted.emplace_back(int(R->GetDataAsVariant(cID).AsInt64()), R->RowState());
            }
            R = Next;
        }
        return Errors;
    }

protected:
    bool FetchRowFromSource(TZqDatSRow *ARow, int AColumn, uint32_t) override
    {
        // The server's row: the original values come back as current.
        EXPECT_EQ(AColumn, -1);
        ++Refetched;
        ARow->RejectChanges();
        return true;
    }
};

class DataSetApply : public ::testing::Test {
protected:
    void SetUp() override
    {
        Table = MakeStations("STATIONS", FiveStations());
        DS = std::make_unique<TApplyDataSet>();
        DS->AttachTable(Table, nullptr);
        DS->SetCachedUpdates(true);
        DS->Open();
    }
    void TearDown() override
    {
        DS.reset();
        if (Table)
            Table->Release();
    }
    void SetName(int AId, const std::string &AName)
    {
        ASSERT_TRUE(DS->Locate("ID", AId));
        DS->Edit();
        DS->FieldByName("NAME")->SetAsString(AName);
        DS->Post();
    }
    void Insert(int AId, const std::string &AName)
    {
        DS->Append();
        DS->FieldByName("ID")->SetAsInteger(AId);
        DS->FieldByName("NAME")->SetAsString(AName);
        DS->Post();
    }
    std::string Name() { return DS->FieldByName("NAME")->AsString(); }
    TZqDatSTable *Table = nullptr;
    std::unique_ptr<TApplyDataSet> DS;
};

TEST_F(DataSetApply, ApplyPostsAPendingEditAndCountsFailures)
{
    SetName(1, "bad");
    Insert(9, "new");
    DS->Locate("ID", 2);
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("edited");
    EXPECT_EQ(DS->ApplyUpdates(), 1);
    EXPECT_EQ(DS->State(), dsBrowse);
    ASSERT_EQ(DS->Posted.size(), 2u);
    EXPECT_EQ(DS->Posted[0], std::make_pair(9, rsInserted));
    EXPECT_EQ(DS->Posted[1], std::make_pair(2, rsModified));
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 2) << "the cursor stays";
    EXPECT_TRUE(DS->UpdatesPending());
    EXPECT_EQ(DS->ChangeCount(), 3);
}

TEST_F(DataSetApply, MaximumErrorsReachTheSource)
{
    SetName(1, "bad");
    SetName(2, "bad");
    SetName(3, "ok");
    EXPECT_EQ(DS->ApplyUpdates(0), 1) << "stops after the first failure";
    EXPECT_TRUE(DS->Posted.empty());
    EXPECT_EQ(DS->ApplyUpdates(-1), 2);
    EXPECT_EQ(DS->Posted.size(), 1u);
}

TEST_F(DataSetApply, CommitTakesTheChangesAsTheRowsOwn)
{
    SetName(1, "Alfa");
    Insert(9, "new");
    DS->Locate("ID", 4);
    DS->Delete();
    DS->CommitUpdates();
    EXPECT_FALSE(DS->UpdatesPending());
    EXPECT_EQ(DS->ChangeCount(), 0);
    EXPECT_EQ(Ids(*DS), (std::vector<int>{1, 5, 2, 3, 9}));
    DS->Locate("ID", 1);
    EXPECT_EQ(Name(), "Alfa");
    EXPECT_EQ(DS->UpdateStatus(), usUnmodified);
    EXPECT_EQ(Table->Rows()->Count(), 5) << "the deleted row is gone for good";
}

TEST_F(DataSetApply, CancelBringsEveryRecordBack)
{
    SetName(1, "Alfa");
    Insert(9, "new");
    DS->Locate("ID", 4);
    DS->Delete();
    DS->Locate("ID", 9);
    DS->CancelUpdates();
    EXPECT_FALSE(DS->UpdatesPending());
    EXPECT_EQ(Ids(*DS), (std::vector<int>{4, 1, 5, 2, 3}));
    DS->Locate("ID", 1);
    EXPECT_EQ(Name(), "Alpha");
}

TEST_F(DataSetApply, CancelWhileEditingDropsTheEditToo)
{
    SetName(3, "Charly");
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("half");
    DS->CancelUpdates();
    EXPECT_EQ(DS->State(), dsBrowse);
    EXPECT_EQ(Name(), "Charlie");
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 3);
}

TEST_F(DataSetApply, RevertRecordUndoesOnlyTheCurrentRecord)
{
    SetName(1, "Alfa");
    SetName(2, "Bravissimo");
    DS->RevertRecord();
    EXPECT_EQ(Name(), "Bravo");
    EXPECT_EQ(DS->ChangeCount(), 1);
    Insert(9, "new");
    DS->RevertRecord();
    EXPECT_EQ(DS->RecordCount(), 5);
    EXPECT_EQ(DS->ChangeCount(), 1);
    DS->Locate("ID", 1);
    EXPECT_EQ(Name(), "Alfa");
}

TEST_F(DataSetApply, UpdateStatusAndUpdateRecordTypes)
{
    SetName(1, "Alfa");
    EXPECT_EQ(DS->UpdateStatus(), usModified);
    Insert(9, "new");
    EXPECT_EQ(DS->UpdateStatus(), usInserted);
    DS->Locate("ID", 4);
    DS->Delete();
    DS->SetUpdateRecordTypes(rtDeleted);
    EXPECT_EQ(Ids(*DS), (std::vector<int>{4}));
    EXPECT_EQ(DS->UpdateStatus(), usDeleted);
    DS->SetUpdateRecordTypes(rtModified | rtInserted);
    EXPECT_EQ(Ids(*DS), (std::vector<int>{1, 9}));
    DS->SetUpdateRecordTypes(rtModified | rtInserted | rtUnmodified);
    EXPECT_EQ(DS->RecordCount(), 5);
}

TEST_F(DataSetApply, ReconcileActsOnEachFailedRowAsTheHandlerSays)
{
    SetName(1, "bad");
    SetName(2, "bad");
    SetName(3, "bad");
    Insert(9, "bad");
    ASSERT_EQ(DS->ApplyUpdates(), 4);
    std::vector<TUpdateKind> Kinds;
    DS->OnReconcileError = [&](TZqDataSet *D, EZqException *E, TUpdateKind K, TZqDAptReconcileAction &A) {
        Kinds.push_back(K);
        EXPECT_EQ(E->ErrorCode(), 404);
        // The handler reads the failed row through the fields.
        int Id = D->FieldByName("ID")->AsInteger();
        A = Id == 1 ? raMerge : Id == 2 ? raCancel : Id == 3 ? raCorrect : raSkip;
    };
    EXPECT_FALSE(DS->Reconcile()) << "a corrected and a skipped row are left";
    EXPECT_EQ(Kinds, (std::vector<TUpdateKind>{ukModify, ukModify, ukModify, ukInsert}));
    EXPECT_EQ(DS->ChangeCount(), 2);
    DS->Locate("ID", 1);
    EXPECT_EQ(Name(), "bad") << "merged: the client value stands";
    EXPECT_EQ(DS->UpdateStatus(), usUnmodified);
    DS->Locate("ID", 2);
    EXPECT_EQ(Name(), "Bravo") << "cancelled";
    Kinds.clear();
    DS->OnReconcileError = [&](TZqDataSet *, EZqException *, TUpdateKind K, TZqDAptReconcileAction &A) {
        Kinds.push_back(K);
        A = raAbort;
    };
    EXPECT_FALSE(DS->Reconcile());
    EXPECT_EQ(Kinds.size(), 1u) << "the walk stops at the first abort; the corrected row had no error left";
}

TEST_F(DataSetApply, ReconcileRefreshReadsTheRowAgain)
{
    SetName(5, "bad");
    ASSERT_EQ(DS->ApplyUpdates(), 1);
    DS->OnReconcileError = [](TZqDataSet *, EZqException *, TUpdateKind, TZqDAptReconcileAction &A) {
        A = raRefresh;
    };
    EXPECT_TRUE(DS->Reconcile());
    EXPECT_EQ(DS->Refetched, 1);
    DS->Locate("ID", 5);
    EXPECT_EQ(Name(), "echo");
}

TEST_F(DataSetApply, ReconcileWithoutAHandlerKeepsTheFailedChanges)
{
    SetName(1, "bad");
    ASSERT_EQ(DS->ApplyUpdates(), 1);
    EXPECT_FALSE(DS->Reconcile());
    EXPECT_EQ(DS->ChangeCount(), 1);
    DS->Locate("ID", 1);
    EXPECT_EQ(Name(), "bad");
}

TEST_F(DataSetApply, AHandlerThatRaisesSkipsTheRow)
{
    SetName(1, "bad");
    ASSERT_EQ(DS->ApplyUpdates(), 1);
    DS->OnReconcileError = [](TZqDataSet *, EZqException *, TUpdateKind, TZqDAptReconcileAction &) {
        throw std::runtime_error("handler failed");
    };
    EXPECT_FALSE(DS->Reconcile());
    EXPECT_EQ(DS->ChangeCount(), 1);
}

TEST_F(DataSetApply, TheManagersJournalHoldsTheChangesOfItsTables)
{
    DS.reset();
    Table->Release();
    Table = nullptr;
    TZqDatSManager M;
    TZqDatSTable *T = M.Tables()->AddTable("STATIONS");
    // Switched on after the table joined: its rows go to the manager's
    // journal all the same.
    M.SetUpdatesRegistry(true);
    T->Columns()->AddColumn("ID", dtInt32);
    T->Columns()->AddColumn("NAME", dtAnsiString, 20);
    auto D = std::make_unique<TApplyDataSet>();
    D->AttachTable(T, nullptr);
    D->SetCachedUpdates(true);
    D->Open();
    D->Append();
    D->FieldByName("ID")->SetAsInteger(1);
    D->FieldByName("NAME")->SetAsString("x");
    D->Post();
    ASSERT_EQ(D->GetUpdates(), M.Journal());
    EXPECT_TRUE(D->UpdatesPending());
    EXPECT_EQ(D->ApplyUpdates(), 0);
    EXPECT_EQ(D->Posted.size(), 1u);
    D->CommitUpdates();
    EXPECT_FALSE(M.Journal()->HasChanges(T));
    D.reset();
}

TEST_F(DataSetApply, CachedUpdatesCannotBeSwitchedOffWithChangesPending)
{
    SetName(1, "Alfa");
    EXPECT_THROW(DS->SetCachedUpdates(false), rtl::Exception);
    DS->CommitUpdates();
    DS->SetCachedUpdates(false);
    EXPECT_FALSE(DS->CachedUpdates());
}

} // namespace

namespace {

// A source of ten numbered stations, three per rowset.
class TRowsetDataSet : public TTestDataSet {
public:
    int Given = 0;

protected:
    int FetchFromSource(TZqDatSTable *ATable, bool AAll) override
    {
        int Want = AAll ? 10 - Given : std::min(3, 10 - Given);
        ATable->BeginLoadData(lmFetchRowset);
        for (int I = 0; I < Want; ++I) {
            TZqDatSRow *R = ATable->NewRow(false);
            PutInt(R, cID, ++Given);
            ATable->Rows()->Add(R);
        }
        ATable->EndLoadData();
        return Want;
    }
    void OpenSource(bool, bool, bool) override { Given = 0; }
};

TEST(DataSetUnidirectional, FetchingOnNeverDropsCachedChanges)
{
    TZqDatSTable *T = MakeStations("STATIONS", {});
    {
        TRowsetDataSet D;
        D.GetFetchOptions()->SetRowsetSize(3);
        D.SetUnidirectional(true);
        D.SetCachedUpdates(true);
        D.AttachTable(T, nullptr);
        D.Open();
        D.Edit();
        D.FieldByName("NAME")->SetAsString("changed");
        D.Post();
        D.Next();
        D.Next();
        EXPECT_EQ(ErrorCodeOf([&] { D.Next(); }), 205) << "the next rowset would free the changed row";
        D.CommitUpdates();
        D.Next();
        EXPECT_EQ(D.FieldByName("ID")->AsInteger(), 4);
    }
    T->Release();
}

} // namespace
