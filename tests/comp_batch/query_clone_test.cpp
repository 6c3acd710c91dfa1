// End to end on the station database: fetch counts reported through the
// select command, clones of queries, and the detail table's new rows.
#include <gtest/gtest.h>

#include "platform/dataset/TDataSource.h"
#include "tests/support/query_fixture.h"

using namespace querytest;

namespace {

using QueryBatch = StationDb;

TEST_F(QueryBatch, TheSelectCommandReportsTheRowsFetched)
{
    ASSERT_GT(Sql("select 1 from Cast_Titles").size(), 3u);
    TZqQuery *Q = New("Select * from Cast_Titles");
    Q->FetchOptions()->SetMode(fmOnDemand);
    Q->FetchOptions()->SetRowsetSize(3);
    Q->Open();
    EXPECT_EQ(Q->Command()->RowsAffected(), 3);
    Q->FetchAll();
    const int Total = int(Sql("select 1 from Cast_Titles").size());
    EXPECT_EQ(Q->RecordCount(), Total);
    EXPECT_EQ(Q->Command()->RowsAffected(), Total - 3);
}

TEST_F(QueryBatch, AQueryCloneReadsTheSourcesRowsWithoutAConnection)
{
    TZqQuery *Q = New("Select * from Cast_Titles order by ID_Cast");
    Q->Open();
    auto *C = new TZqQuery(Owner.get());
    C->CloneCursor(Q, true);
    EXPECT_EQ(C->RecordCount(), Q->RecordCount());
    EXPECT_EQ(C->DatSManager(), Q->DatSManager());
    C->Last();
    Q->Last();
    EXPECT_EQ(C->FieldByName("ID_Cast")->AsString(), Q->FieldByName("ID_Cast")->AsString());
    C->Close();
    EXPECT_NE(C->DatSManager(), Q->DatSManager());
    // Closing the clone leaves the source's rows alone.
    EXPECT_EQ(Q->RecordCount(), int(Sql("select 1 from Cast_Titles").size()));
}

TEST_F(QueryBatch, ANewDetailRowTakesTheMastersKey)
{
    TZqQuery *Master = New("Select * from Cruise_Titles order by ID_Cruise");
    TDataSource Src(Owner.get());
    Src.SetDataSet(Master);
    auto *Detail = New<TZqTable>();
    Detail->SetTableName("Cast_Titles");
    Detail->SetIndexFieldNames("ID_Cruise;Date_Cast;Time_Cast");
    Detail->SetMasterSource(&Src);
    Detail->SetMasterFields("ID_Cruise");
    Detail->SetCachedUpdates(true);
    Master->Open();
    Master->Next();
    Detail->Open();
    Detail->Append();
    EXPECT_EQ(Detail->FieldByName("ID_Cruise")->AsString(), Master->FieldByName("ID_Cruise")->AsString());
    Detail->Cancel();
}

TEST_F(QueryBatch, ChangesGoToTheUpdateTableWhenOneIsNamed)
{
    TZqQuery *Q = New("Select * from Cruise_Titles");
    Q->Open();
    const std::string Read = Q->PSGetTableName();
    EXPECT_FALSE(Read.empty());
    static_cast<TZqTableUpdateOptions *>(Q->UpdateOptions())->SetUpdateTableName("Cruise_Archive");
    EXPECT_EQ(Q->PSGetTableName(), "Cruise_Archive");
    static_cast<TZqTableUpdateOptions *>(Q->UpdateOptions())->SetUpdateTableName("");
    EXPECT_EQ(Q->PSGetTableName(), Read);
}

} // namespace
