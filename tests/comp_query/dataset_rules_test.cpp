// Rules of the adapted datasets beyond the main road: preparing on its own,
// the cached-updates-only settings, the provider operations, update objects,
// schema adapters sharing one in-memory manager, and the provider flags of
// the fields deciding which columns identify a row in a generated UPDATE.
#include <string>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "platform/dataset/TField.h"
#include "tests/support/query_fixture.h"

using namespace querytest;

namespace {

class TCountingUpdateObject : public TZqCustomUpdateObject {
public:
    using TZqCustomUpdateObject::TZqCustomUpdateObject;
    void AttachToAdapter() override { ++Attached; }
    void DetachFromAdapter() override { ++Detached; }
    void Apply(TZqPhysRequest, TZqErrorAction &, TZqPhysUpdateRowOptions) override {}
    int Attached = 0;
    int Detached = 0;
};

} // namespace

using DataSetRules = StationDb;

TEST_F(DataSetRules, PreparedWithoutOpeningAndBack)
{
    TZqQuery *Q = New("Select * from Ships");
    Q->SetPrepared(true);
    EXPECT_TRUE(Q->Prepared());
    EXPECT_FALSE(Q->Active());
    EXPECT_TRUE(Q->IsPreparedStored());
    Q->Open();
    EXPECT_FALSE(Q->IsPreparedStored());
    Q->Close();
    EXPECT_TRUE(Q->Prepared());
    Q->SetPrepared(false);
    EXPECT_FALSE(Q->Prepared());
    EXPECT_EQ(Q->Command()->CommandIntf(), nullptr);
}

TEST_F(DataSetRules, UpdateRecordTypesNeedCachedUpdates)
{
    TZqQuery *Q = New("Select * from Ships");
    EXPECT_EQ(ErrorCodeOf([&] { Q->SetUpdateRecordTypes(rtModified); }), 511);
    Q->SetCachedUpdates(true);
    EXPECT_EQ(ErrorCodeOf([&] { Q->SetUpdateRecordTypes(rtModified); }), 0);
    EXPECT_EQ(Q->UpdateRecordTypes(), rtModified);
}

TEST_F(DataSetRules, ProviderStatementsRunOnTheSameConnection)
{
    TZqQuery *Q = New("Select * from Ships");
    EXPECT_EQ(Q->PSExecuteStatement("UPDATE Cast_Titles SET FDT = 2 WHERE ID_Cruise = 1", nullptr),
              int(Sql("select 1 from Cast_Titles where ID_Cruise = 1").size()));
    std::unique_ptr<TZqDataSet> R;
    EXPECT_EQ(Q->PSExecuteStatement("Select count(*) from Cast_Titles where FDT = 2", nullptr, &R), -1);
    ASSERT_TRUE(R && R->Active());
    EXPECT_EQ(R->Fields()[0]->AsString(), Sql("select count(*) from Cast_Titles where FDT = 2")[0][0]);
    R.reset();
    EXPECT_TRUE(Q->PSIsSQLBased());
    EXPECT_FALSE(Q->PSInTransaction());
}

TEST(DataSetRulesAlone, ProviderStatementWithoutAdapterIsRefused)
{
    InitServices();
    TZqCustomClientDataSet D(nullptr);
    EXPECT_EQ(MessageOf([&] { D.PSExecuteStatement("select 1", nullptr); }),
              "Cant execute statement. No adapter assigned");
    // Without a command the dataset's own options stand in.
    EXPECT_EQ(D.FetchOptions()->Mode(), fmAll);
}

TEST_F(DataSetRules, UpdateObjectAttachesThroughTheDatasetAndLetsGoOnRemoval)
{
    TZqQuery *Q = New("Select * from Ships");
    auto *U = new TCountingUpdateObject(Owner.get());
    U->SetDataSet(Q);
    EXPECT_EQ(Q->UpdateObject(), U);
    EXPECT_EQ(U->Attached, 1);
    auto *Other = New("Select * from Countries");
    Q->SetUpdateObject(nullptr);
    EXPECT_EQ(U->DataSet(), nullptr);
    U->SetDataSet(Other);
    EXPECT_EQ(Other->UpdateObject(), U);
    delete Other;
    EXPECT_EQ(U->DataSet(), nullptr);
}

TEST_F(DataSetRules, QueriesOnOneSchemaAdapterShareItsManager)
{
    auto *S = new TZqCustomSchemaAdapter(Owner.get());
    TZqQuery *A = New("Select * from Ships");
    TZqQuery *B = New("Select * from Countries");
    A->Adapter()->SetSchemaAdapter(S);
    B->Adapter()->SetSchemaAdapter(S);
    EXPECT_EQ(A->DatSManager(), S->DatSManager());
    EXPECT_EQ(B->DatSManager(), S->DatSManager());
    A->Open();
    B->Open();
    EXPECT_EQ(A->Table()->Manager(), S->DatSManager());
    EXPECT_EQ(B->Table()->Manager(), S->DatSManager());
    EXPECT_EQ(A->RecordCount(), int(Sql("select 1 from Ships").size()));
    EXPECT_EQ(B->RecordCount(), int(Sql("select 1 from Countries").size()));
    // Closing one leaves the other's table in the shared manager.
    A->Close();
    EXPECT_TRUE(B->Active());
    EXPECT_EQ(B->Table()->Manager(), S->DatSManager());
    B->Close();
    A->Adapter()->SetSchemaAdapter(nullptr);
    EXPECT_NE(A->DatSManager(), S->DatSManager());
    A->Open();
    EXPECT_EQ(A->RecordCount(), int(Sql("select 1 from Ships").size()));
}

TEST_F(DataSetRules, ProviderFlagsOfTheFieldsDecideTheKeyOfTheUpdate)
{
    const auto Ids = Sql("select ID_Cast from Cast_Titles where ID_Cruise = 5 order by ID_Cast");
    TZqQuery *Q = New("Select * from Cast_Titles where ID_Cruise = 5 order by ID_Cast");
    Q->UpdateOptions()->SetUpdateMode(upWhereKeyOnly);
    // As the program's data query: no re-read after a post.
    Q->UpdateOptions()->SetRefreshMode(rmManual);
    // What the describe step last said of ID_Cast: 'k' key, 'n' no key.
    char Seen = '-';
    Q->Adapter()->OnDescribeColumn = [&](TZqCustomTableAdapter *, dats::TZqDatSColumn *AColumn, std::string &,
                                         TZqDataAttributes &, TZqDataOptions &AOptions) {
        if (AColumn->Name() == "ID_Cast")
            Seen = AOptions.Contains(coInKey) ? 'k' : 'n';
    };
    Q->Open();
    // The field is told it is no key: the dataset says so to the generator.
    Q->FieldByName("ID_Cast")->SetProviderFlags(pfInUpdate | pfInWhere);
    Q->Edit();
    Q->FieldByName("FDT")->SetAsInteger(6);
    Q->Post();
    EXPECT_EQ(Seen, 'n');
    EXPECT_EQ(Sql("select FDT from Cast_Titles where ID_Cast = " + Ids[0][0])[0][0], "6");
    // The field is the key.
    Q->Next();
    Q->FieldByName("ID_Cast")->SetProviderFlags(pfInUpdate | pfInWhere | pfInKey);
    Q->Edit();
    Q->FieldByName("Velosity")->SetAsFloat(6.75);
    Q->Post();
    EXPECT_EQ(Seen, 'k');
    EXPECT_EQ(Sql("select Velosity from Cast_Titles where ID_Cast = " + Ids[1][0])[0][0], "6.75");
    // Without provider flags the fields are not asked: what the database
    // says of its key stands.
    Q->UpdateOptions()->SetUseProviderFlags(false);
    Q->FieldByName("ID_Cast")->SetProviderFlags(pfInUpdate);
    Q->Next();
    Q->Edit();
    Q->FieldByName("FD")->SetAsInteger(9);
    Q->Post();
    EXPECT_EQ(Seen, 'k');
    EXPECT_EQ(Sql("select FD from Cast_Titles where ID_Cast = " + Ids[2][0])[0][0], "9");
}
