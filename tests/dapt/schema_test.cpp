// Several table adapters around one schema adapter: one DatS manager, one
// journal, applied together; tables that join or leave keep their rows.
#include "dataaccess/dats/qxZqDatSConstraints.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "tests/dapt/dapt_fixture.h"

using namespace dats;

namespace {

class SchemaAdapter : public DaptConnection {
protected:
    void SetUp() override
    {
        DaptConnection::SetUp();
        ZqCreateInterface(Schema);
        List = Schema->GetTableAdapters();
    }
    void TearDown() override
    {
        List.Reset();
        Schema.Reset();
        DaptConnection::TearDown();
    }
    TZqIntfPtr<IZqDAptTableAdapter> AddLoaded(const std::string &ADatSName)
    {
        TZqIntfPtr<IZqDAptTableAdapter> A = List->Add("", ADatSName, "");
        A->SetSelectCommand(NewSelect());
        Load(A.Get());
        return A;
    }
    TZqIntfPtr<IZqDAptSchemaAdapter> Schema;
    TZqIntfPtr<IZqDAptTableAdapters> List;
};

TEST_F(SchemaAdapter, MakesItsManagerOnceWithOneJournalForAllTables)
{
    TZqDatSManager *M = Schema->GetDatSManager();
    ASSERT_NE(M, nullptr);
    EXPECT_EQ(Schema->GetDatSManager(), M);
    EXPECT_TRUE(M->UpdatesRegistry());
}

TEST_F(SchemaAdapter, TwoAdaptersShareTheManagerAndJournalAndApplyTogether)
{
    TZqIntfPtr<IZqDAptTableAdapter> A = AddLoaded("Cruises");
    TZqIntfPtr<IZqDAptTableAdapter> B = AddLoaded("Casts");
    TZqDatSTable *TA = A->GetDatSTable(), *TB = B->GetDatSTable();
    ASSERT_NE(TA, TB);
    EXPECT_EQ(TA->Name(), "Cruises");
    EXPECT_EQ(TB->Name(), "Casts");
    EXPECT_EQ(TA->Manager(), Schema->GetDatSManager());
    EXPECT_EQ(TB->Manager(), Schema->GetDatSManager());
    EXPECT_EQ(A->GetDatSManager(), B->GetDatSManager());
    EXPECT_EQ(TA->Rows()->Count(), 3);
    EXPECT_EQ(TB->Rows()->Count(), 3);

    Edit(Row(TB, 0), "b-one");
    Edit(Row(TA, 1), "a-two");
    Row(TB, 2)->Delete();
    TZqDatSUpdatesJournal *J = Schema->GetDatSManager()->Journal();
    ASSERT_EQ(J->FirstChange(), Row(TB, 0));
    EXPECT_FALSE(TA->Journal()->HasChanges());

    B->SetUpdateTableName("CAST_TITLES");
    EXPECT_EQ(Schema->ApplyUpdates(-1), 0);
    ASSERT_EQ(daptfake::Log().size(), 3u);
    // In the order of the changes, each through its own adapter.
    EXPECT_EQ(daptfake::Log()[0].rfind("exec:UPDATE CAST_TITLES SET", 0), 0u) << daptfake::Log()[0];
    EXPECT_EQ(daptfake::Log()[1].rfind("exec:UPDATE T SET", 0), 0u) << daptfake::Log()[1];
    EXPECT_EQ(daptfake::Log()[2].rfind("exec:DELETE FROM CAST_TITLES", 0), 0u) << daptfake::Log()[2];
}

TEST_F(SchemaAdapter, HandlersOfTheSchemaServeAdaptersWithoutTheirOwn)
{
    struct TReconciler : TZqObject, virtual IZqDAptUpdateHandler {
        void ReconcileRowHandler(TZqDatSRow *, TZqDAptReconcileAction &AAction) override
        {
            ++Calls;
            AAction = raCancel;
        }
        void UpdateRowHandler(TZqDatSRow *, TZqPhysRequest, TZqErrorAction &, TZqPhysUpdateRowOptions) override {}
        int Calls = 0;
    };
    auto *H = new TReconciler();
    Schema->SetUpdateHandler(TZqIntfPtr<IZqDAptUpdateHandler>(H));
    TZqIntfPtr<IZqDAptTableAdapter> A = AddLoaded("Cruises");
    TZqIntfPtr<IZqDAptTableAdapter> B = AddLoaded("Casts");
    EXPECT_EQ(A->GetUpdateHandler().Get(), static_cast<IZqDAptUpdateHandler *>(H));
    Edit(Row(A->GetDatSTable(), 0), "x");
    Edit(Row(B->GetDatSTable(), 1), "y");
    daptfake::Script().FailKeys = {1, 2};
    EXPECT_EQ(Schema->ApplyUpdates(-1), 2);
    EXPECT_TRUE(Schema->Reconcile());
    EXPECT_EQ(H->Calls, 2);
    EXPECT_EQ(Row(B->GetDatSTable(), 1)->GetDataAsVariant(1).AsString(), "beta");
}

// Cancelling a parent row's change rejects its child rows' changes too: an
// inserted child row is freed while the walk would have gone on with it.
TEST_F(SchemaAdapter, ReconcilingAParentRowCascadesWithoutLosingTheWalk)
{
    struct TCanceller : TZqObject, virtual IZqDAptUpdateHandler {
        void ReconcileRowHandler(TZqDatSRow *ARow, TZqDAptReconcileAction &AAction) override
        {
            Asked.push_back(ARow->Table()->Name() + std::to_string(ARow->GetDataAsVariant(0).AsInteger()));
            AAction = raCancel;
        }
        void UpdateRowHandler(TZqDatSRow *, TZqPhysRequest, TZqErrorAction &, TZqPhysUpdateRowOptions) override {}
        std::vector<std::string> Asked;
    };
    TZqIntfPtr<IZqDAptTableAdapter> P = AddLoaded("P");
    TZqIntfPtr<IZqDAptTableAdapter> C = AddLoaded("C");
    TZqDatSTable *TP = P->GetDatSTable(), *TC = C->GetDatSTable();
    // C.ID refers to P.ID: the first rows of C are the children of the first of P.
    ZqAddForeignKey(TC->Constraints(), "FK", "ID", TP, "ID");
    Edit(Row(TP, 0), "parent");
    Insert(TC, 1, "child");
    Edit(Row(TC, 1), "other");
    daptfake::Script().FailKeys = {1, 2};
    EXPECT_EQ(Schema->ApplyUpdates(-1), 3);
    auto *H = new TCanceller();
    Schema->SetUpdateHandler(TZqIntfPtr<IZqDAptUpdateHandler>(H));
    EXPECT_TRUE(Schema->Reconcile());
    // The inserted child went with its parent's cancel; the other row is asked.
    EXPECT_EQ(H->Asked, (std::vector<std::string>{"P1", "C2"}));
    EXPECT_EQ(TC->Rows()->Count(), 3);
}

TEST_F(SchemaAdapter, LookupFindsAnAdapterByItsNamesWithoutRegardToCase)
{
    TZqIntfPtr<IZqDAptTableAdapter> A = List->Add("Cast_Titles", "Casts", "");
    TZqIntfPtr<IZqDAptTableAdapter> B = List->Add("Cruise_Titles", "", "");
    B->SetSourceRecordSetID(1);
    EXPECT_EQ(List->Lookup(TZqMappingKey("CASTS"), mkDatSName).Get(), A.Get());
    EXPECT_EQ(List->Lookup(TZqMappingKey("cast_titles"), mkSourceName).Get(), A.Get());
    // The DatS table name reads as the source name when it is not set.
    EXPECT_FALSE(List->Lookup(TZqMappingKey("cruise_titles"), mkDatSName));
    EXPECT_EQ(List->Lookup(TZqMappingKey(1), mkSourceID).Get(), B.Get());
    EXPECT_FALSE(List->Lookup(TZqMappingKey(7), mkSourceID));
    List->Remove(TZqMappingKey("casts"), mkDatSName);
    EXPECT_EQ(List->GetCount(), 1);
    EXPECT_FALSE(A->GetTableAdapters());
}

TEST_F(SchemaAdapter, MapColumnOfAnAdapterWithoutMappingsUsesTheNamesAsTheyAre)
{
    TZqIntfPtr<IZqDAptTableAdapter> A = AddLoaded("Cruises");
    auto H = TZqIntfPtr<IZqPhysMappingHandler>::Query(Schema);
    ASSERT_TRUE(H);
    TZqColumnMapResult R;
    EXPECT_EQ(H->MapColumn(TZqMappingKey(A->GetDatSTable()), mkDatSTable, TZqMappingKey("NAME"), mkSourceName, R), 0);
    EXPECT_EQ(H->MapColumn(TZqMappingKey("cruises"), mkDatSName, TZqMappingKey("NAME"), mkSourceName, R), 0);
    EXPECT_EQ(H->MapColumn(TZqMappingKey("Other"), mkDatSName, TZqMappingKey("NAME"), mkSourceName, R), 2);
    // With a mapping the adapter answers for the mapped column only.
    TZqDAptColumnMapping *M = A->GetColumnMappings()->Add();
    M->SetSourceColumnName("NAME");
    M->SetUpdateColumnName("CRUISE_NAME");
    EXPECT_EQ(H->MapColumn(TZqMappingKey("cruises"), mkDatSName, TZqMappingKey("NAME"), mkSourceName, R), 1);
    EXPECT_EQ(R.UpdateName, "CRUISE_NAME");
    EXPECT_EQ(H->MapColumn(TZqMappingKey("cruises"), mkDatSName, TZqMappingKey("ID"), mkSourceName, R), 2);
    TZqTableMapResult TR;
    EXPECT_EQ(H->MapTable(TZqMappingKey("CRUISES"), mkDatSName, TR), 1);
    EXPECT_EQ(TR.DatSTable, A->GetDatSTable());
    EXPECT_EQ(TR.DatSName, "Cruises");
    EXPECT_EQ(H->MapTable(TZqMappingKey("Other"), mkDatSName, TR), 2);
}

TEST_F(SchemaAdapter, AnAdapterJoiningBringsItsTableWithRowsAndChangesAndLeavingTakesItOut)
{
    // A free-standing adapter whose table lives in a manager of its own,
    // with one pending change.
    auto *Own = new TZqDatSManager();
    Own->CountRef(0);
    Own->SetUpdatesRegistry(true);
    TZqIntfPtr<IZqDAptTableAdapter> A;
    ZqCreateInterface(A);
    A->SetDatSManager(Own);
    A->SetSelectCommand(NewSelect());
    TZqDatSTable *T = Load(A.Get());
    Edit(Row(T, 0), "moved");
    ASSERT_EQ(Own->Journal()->FirstChange(), Row(T, 0));

    List->AddAdapter(A);
    EXPECT_EQ(List->GetCount(), 1);
    EXPECT_EQ(T->Manager(), Schema->GetDatSManager());
    EXPECT_EQ(Own->Tables()->Count(), 0);
    EXPECT_EQ(T->Rows()->Count(), 3);
    EXPECT_EQ(T->Columns()->Count(), 2);
    EXPECT_FALSE(Own->Journal()->HasChanges());
    EXPECT_EQ(Schema->GetDatSManager()->Journal()->FirstChange(), Row(T, 0));
    EXPECT_EQ(Schema->ApplyUpdates(-1), 0);
    EXPECT_EQ(Verbs(), (std::vector<std::string>{"exec:UPDATE"}));

    List->RemoveAdapter(A);
    EXPECT_EQ(List->GetCount(), 0);
    EXPECT_EQ(T->Manager(), nullptr);
    EXPECT_EQ(Schema->GetDatSManager()->Tables()->Count(), 0);
    EXPECT_EQ(A->GetDatSTable(), T);
    EXPECT_TRUE(T->Journal()->HasChanges());
    EXPECT_EQ(T->Rows()->Count(), 3);
    // Free-standing again, the adapter posts from the table's own journal.
    daptfake::Log().clear();
    EXPECT_EQ(A->ApplyUpdates(-1), 0);
    EXPECT_EQ(Verbs(), (std::vector<std::string>{"exec:UPDATE"}));
}

TEST_F(SchemaAdapter, AnotherManagerTakesOverTheAdaptersTables)
{
    TZqIntfPtr<IZqDAptTableAdapter> A = AddLoaded("Cruises");
    TZqDatSTable *T = A->GetDatSTable();
    Edit(Row(T, 2), "three");
    auto *M = new TZqDatSManager();
    M->CountRef(0);
    M->SetUpdatesRegistry(true);
    M->AddRef(); // the test's own reference
    Schema->SetDatSManager(M);
    EXPECT_EQ(Schema->GetDatSManager(), M);
    EXPECT_EQ(T->Manager(), M);
    EXPECT_EQ(M->Journal()->FirstChange(), Row(T, 2));
    EXPECT_EQ(Schema->ApplyUpdates(-1), 0);
    EXPECT_EQ(daptfake::Log().size(), 1u);
    A.Reset();
    Schema.Reset();
    List.Reset();
    // The schema let go of the manager; the test's reference keeps it and
    // its table.
    EXPECT_EQ(M->Tables()->Count(), 1);
    M->Release();
}

} // namespace
