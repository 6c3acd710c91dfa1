// The adapter components: commands prepared lazily request by request,
// shared adapters through a schema adapter, removal of a command, and a
// client dataset reading through a table adapter of its own.
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "platform/dataset/TField.h"
#include "tests/support/query_fixture.h"

using namespace querytest;

using AdapterComponents = StationDb;

namespace {

TZqCommand *NewCommand(rtl::TComponent *AOwner, TZqConnection *AConn, const std::string &ASql)
{
    auto *C = new TZqCommand(AOwner);
    C->SetConnection(AConn);
    C->CommandText().Add(ASql);
    return C;
}

} // namespace

TEST_F(AdapterComponents, OnlyTheSelectCommandIsPreparedForDefineAndFetch)
{
    auto *A = new TZqTableAdapter(Owner.get());
    auto *Sel = NewCommand(Owner.get(), Conn, "Select * from Cruise_Titles");
    auto *Ins = NewCommand(Owner.get(), Conn, "INSERT INTO Cruise_Titles (ID_Cruise) VALUES (:NEW_ID_Cruise)");
    A->SetSelectCommand(Sel);
    A->SetInsertCommand(Ins);
    auto *M = new dats::TZqDatSManager();
    M->CountRef(1);
    A->SetDatSManager(M);
    dats::TZqDatSTable *T = A->Define();
    ASSERT_NE(T, nullptr);
    Sel->Open();
    EXPECT_EQ(A->Fetch(true), int(Sql("select 1 from Cruise_Titles").size()));
    EXPECT_EQ(T->Rows()->Count(), int(Sql("select 1 from Cruise_Titles").size()));
    EXPECT_TRUE(Sel->Prepared());
    EXPECT_FALSE(Ins->Prepared());
    EXPECT_EQ(A->Adapter()->GetInsertCommand().Get(), nullptr);
    // Asking for the insert request prepares that command (without the
    // driver's own prepare) and hands it over.
    A->PrepareCommands(ZqReq(arInsert));
    EXPECT_NE(Ins->CommandIntf(), nullptr);
    EXPECT_EQ(A->Adapter()->GetInsertCommand().Get(), Ins->CommandIntf());
    Sel->Close();
    A->SetDatSManager(nullptr);
    M->Release();
}

TEST_F(AdapterComponents, RemovingACommandComponentClearsTheAdaptersCommand)
{
    auto *A = new TZqTableAdapter(Owner.get());
    auto *Upd = NewCommand(Owner.get(), Conn, "UPDATE Cruise_Titles SET MAR = :NEW_MAR WHERE ID_Cruise = :OLD_ID_Cruise");
    A->SetUpdateCommand(Upd);
    A->PrepareCommands(ZqReq(arUpdate));
    ASSERT_NE(A->Adapter()->GetUpdateCommand().Get(), nullptr);
    delete Upd;
    EXPECT_EQ(A->UpdateCommand(), nullptr);
    EXPECT_EQ(A->Adapter()->GetUpdateCommand().Get(), nullptr);
}

TEST_F(AdapterComponents, SameSourceNameOnOneSchemaAdapterSharesTheAdapter)
{
    auto *S = new TZqCustomSchemaAdapter(Owner.get());
    auto *A1 = new TZqTableAdapter(Owner.get());
    auto *A2 = new TZqTableAdapter(Owner.get());
    auto *A3 = new TZqTableAdapter(Owner.get());
    A1->SetSchemaAdapter(S);
    A2->SetSchemaAdapter(S);
    A3->SetSchemaAdapter(S);
    A1->SetSourceRecordSetName("Cruises");
    A2->SetSourceRecordSetName("cruises");
    A3->SetSourceRecordSetName("Casts");
    EXPECT_EQ(A1->Adapter(), A2->Adapter());
    EXPECT_NE(A1->Adapter(), A3->Adapter());
    EXPECT_TRUE(A1->AdapterOwned());
    EXPECT_FALSE(A2->AdapterOwned());
    EXPECT_EQ(S->TableAdapters()->GetCount(), 2);
    EXPECT_EQ(A1->DatSManager(), S->DatSManager());
    // Leaving the schema: the shared one gets an adapter of its own.
    A2->SetSchemaAdapter(nullptr);
    EXPECT_NE(A2->Adapter(), A1->Adapter());
    EXPECT_EQ(S->TableAdapters()->GetCount(), 2);
}

TEST_F(AdapterComponents, ACallbackRunsTheDatasetsHandlerThenTheEvent)
{
    TZqQuery *Q = New("Select * from Cast_Titles where ID_Cruise = 2");
    std::string Order;
    Q->OnUpdateRecord = [&](TZqDataSet *, TZqPhysRequest, TZqErrorAction &AAction, TZqPhysUpdateRowOptions) {
        Order += "D";
        AAction = eaApplied;
    };
    Q->Adapter()->OnUpdateRow = [&](TZqCustomTableAdapter *, dats::TZqDatSRow *, TZqPhysRequest,
                                    TZqPhysUpdateRowOptions, TZqErrorAction &AAction) {
        Order += AAction == eaApplied ? "E" : "e";
    };
    Q->Open();
    const auto Before = Sql("select * from Cast_Titles where ID_Cruise = 2 order by ID_Cast");
    Q->Edit();
    Q->FieldByName("Velosity")->SetAsFloat(1234);
    Q->Post();
    ASSERT_GE(Order.size(), 2u);
    EXPECT_EQ(Order.substr(0, 2), "DE");
    // The handler took the requests over: nothing was written.
    EXPECT_EQ(Sql("select * from Cast_Titles where ID_Cruise = 2 order by ID_Cast"), Before);
}

TEST_F(AdapterComponents, AClientDatasetReadsThroughItsAdapterAndHandsItsOptionsOver)
{
    TZqCustomClientDataSet D(nullptr);
    D.FetchOptions()->SetRowsetSize(7);
    EXPECT_EQ(D.FetchOptions()->Mode(), fmAll);
    auto *A = new TZqTableAdapter(Owner.get());
    auto *Sel = NewCommand(Owner.get(), Conn, "Select * from Ships");
    A->SetSelectCommand(Sel);
    D.SetAdapter(A);
    EXPECT_EQ(D.FetchOptions(), Sel->FetchOptions());
    EXPECT_EQ(Sel->FetchOptions()->RowsetSize(), 7);
    D.Open();
    EXPECT_EQ(D.RecordCount(), int(Sql("select 1 from Ships").size()));
    D.Close();
    D.SetAdapter(nullptr);
}

TEST_F(AdapterComponents, FreeingTheAdapterOrItsSelectCommandClosesTheDatasetThatReadsThroughIt)
{
    TZqCustomClientDataSet D(nullptr);
    auto *A = new TZqTableAdapter(Owner.get());
    auto *Sel = NewCommand(Owner.get(), Conn, "Select * from Ships");
    A->SetSelectCommand(Sel);
    D.SetAdapter(A);
    D.Open();
    ASSERT_TRUE(D.Active());
    delete Sel;
    EXPECT_FALSE(D.Active());
    EXPECT_EQ(A->SelectCommand(), nullptr);
    // Without a command the dataset's own options stand in again.
    EXPECT_EQ(D.Adapter(), A);
    auto *Sel2 = NewCommand(Owner.get(), Conn, "Select * from Countries");
    A->SetSelectCommand(Sel2);
    D.Open();
    EXPECT_EQ(D.RecordCount(), int(Sql("select 1 from Countries").size()));
    delete A;
    EXPECT_FALSE(D.Active());
    EXPECT_EQ(D.Adapter(), nullptr);
}
